#include "panel_widgets.h"

#include <QShowEvent>

namespace rzd::panel {

void CHPanel::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  emit shown();
  emit viewChanged(true);
}

void CHPanel::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  emit hidden();
  emit viewChanged(false);
}

void CHPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  emit resized();
}

void CCmbBox::showPopup() {
  QComboBox::showPopup();
  if (!popupBelow_) return;
  // The list's frame is the popup window; it moves, its size stays.
  if (QWidget* frame = findChild<QFrame*>()) {
    QWidget* window = frame->window();
    window->move(mapToGlobal(rect().bottomLeft()));
  }
}

}  // namespace rzd::panel
