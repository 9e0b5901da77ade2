// The small widgets of the panel: CHPanel, the plug-in's panel widget that reports being shown,
// hidden and resized, and CCmbBox, a combo box whose list can open below its corner.
#pragma once

#include <QComboBox>
#include <QWidget>

namespace rzd::panel {

class CHPanel : public QWidget {
  Q_OBJECT
 public:
  explicit CHPanel(QWidget* parent = nullptr) : QWidget(parent) {}

 signals:
  void shown();
  void hidden();
  void resized();
  void viewChanged(bool visible);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
};

class CCmbBox : public QComboBox {
  Q_OBJECT
 public:
  explicit CCmbBox(QWidget* parent = nullptr) : QComboBox(parent) {}
  // With the flag set, the list opens at the box's bottom-left corner.
  void setPopupBelow(bool below) { popupBelow_ = below; }
  void showPopup() override;

 private:
  bool popupBelow_ = false;
};

}  // namespace rzd::panel
