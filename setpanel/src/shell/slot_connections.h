// Connects the slots of `receiver` named "on_<object name>_<signal name>" to the signals of the
// objects below `root` that carry that name (QMetaObject::connectSlotsByName looks only below
// the receiver itself; the plug-in's forms live in panels that are not its children).
#pragma once

class QObject;

namespace rzd::panel {

void ConnectSlotsByName(QObject* receiver, QObject* root);

}  // namespace rzd::panel
