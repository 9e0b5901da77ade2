// The button poll: the worker thread of the service's own scanner HAL object. It runs from the
// unit's arrival (or a resume, or the service's start with the unit present) to its removal (or
// a suspend, or the service's stop), and polls every 500 ms while no client of the console
// session holds the unit. The thread's start, the poll cycle (lock, LCD refresh, poll, unlock)
// and the named button events are ButtonPoller's (scanhost/buttons).
#include "hal/scanner.h"

namespace rzd::scanhost {

uint32_t CRZDHALScanner::ThreadBody() { return poller_->Run(); }

}  // namespace rzd::scanhost
