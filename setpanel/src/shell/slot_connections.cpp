#include "slot_connections.h"

#include <QMetaMethod>
#include <QObject>

namespace rzd::panel {

void ConnectSlotsByName(QObject* receiver, QObject* root) {
  const QMetaObject* meta = receiver->metaObject();
  const QList<QObject*> objects = root->findChildren<QObject*>();
  for (int m = 0; m < meta->methodCount(); ++m) {
    const QMetaMethod slot = meta->method(m);
    const QByteArray signature = slot.methodSignature();
    if (!signature.startsWith("on_")) continue;
    for (QObject* object : objects) {
      const QByteArray name = object->objectName().toLatin1();
      if (name.isEmpty()) continue;
      const QByteArray prefix = "on_" + name + "_";
      if (!signature.startsWith(prefix)) continue;
      const QByteArray wanted = signature.mid(prefix.size());
      const QMetaObject* objectMeta = object->metaObject();
      for (int s = 0; s < objectMeta->methodCount(); ++s) {
        const QMetaMethod signal = objectMeta->method(s);
        if (signal.methodType() == QMetaMethod::Signal && signal.methodSignature() == wanted) {
          QObject::connect(object, signal, receiver, slot);
          break;
        }
      }
    }
  }
}

}  // namespace rzd::panel
