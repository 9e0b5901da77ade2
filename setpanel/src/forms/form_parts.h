// Small builders the three forms share.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QWidget>

namespace rzd::panel {

// A child widget of `parent` with its object name (the name the panel's slots are connected by).
template <class W>
W* Named(QWidget* parent, const char* name) {
  W* widget = new W(parent);
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

// A read-only box for a number, right-aligned.
QLineEdit* CounterBox(QWidget* parent, const char* name);
// A small push button that keeps its width to its text.
QPushButton* RowButton(QWidget* parent, const char* name);
// A label that shows a value (selectable text).
QLabel* ValueLabel(QWidget* parent, const char* name);
// A picture from the plug-in's resources, scaled to `height` pixels.
QLabel* PictureLabel(QWidget* parent, const char* name, const QString& resource, int height);

// Every child and then the form itself take their size hints (adjustSize).
void AdjustLayout(QWidget* form);

}  // namespace rzd::panel
