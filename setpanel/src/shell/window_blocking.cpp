#include "window_blocking.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace rzd::panel {

void FixQTCrash() {
  for (QEvent::Type type : {QEvent::WindowBlocked, QEvent::WindowUnblocked}) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      QEvent event(type);
      QCoreApplication::sendEvent(window, &event);
    }
  }
}

}  // namespace rzd::panel
