#include "form_parts.h"

#include <QPixmap>

namespace rzd::panel {

QLineEdit* CounterBox(QWidget* parent, const char* name) {
  QLineEdit* box = Named<QLineEdit>(parent, name);
  box->setReadOnly(true);
  box->setFocusPolicy(Qt::NoFocus);
  box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  box->setMinimumWidth(90);
  box->setMaximumWidth(110);
  return box;
}

QPushButton* RowButton(QWidget* parent, const char* name) {
  QPushButton* button = Named<QPushButton>(parent, name);
  button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  button->setAutoDefault(false);
  return button;
}

QLabel* ValueLabel(QWidget* parent, const char* name) {
  QLabel* label = Named<QLabel>(parent, name);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setMinimumWidth(140);
  return label;
}

QLabel* PictureLabel(QWidget* parent, const char* name, const QString& resource, int height) {
  QLabel* label = Named<QLabel>(parent, name);
  const QPixmap picture(resource);
  if (!picture.isNull()) label->setPixmap(picture.scaledToHeight(height, Qt::SmoothTransformation));
  label->setAlignment(Qt::AlignCenter);
  return label;
}

void AdjustLayout(QWidget* form) {
  for (QWidget* child : form->findChildren<QWidget*>()) child->adjustSize();
  form->adjustSize();
}

}  // namespace rzd::panel
