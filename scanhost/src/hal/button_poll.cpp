// The button poll: the worker thread of the service's own scanner HAL object. It runs from the
// unit's arrival (or a resume, or the service's start with the unit present) to its removal (or
// a suspend, or the service's stop), and polls every kButtonPollWaitMs while no client of the
// console session holds the unit. The poll cycle itself (lock, poll, unlock, the named button
// events) lives in PollButtonsOnce.
#include "hal/scanner.h"

#include "platform/com.h"

namespace rzd::scanhost {

uint32_t CRZDHALScanner::ThreadBody() {
  ClearRunning();
  ComInit com(COINIT_MULTITHREADED);
  Parent()->ReapDeadClients();
  SignalStarted();
  uint32_t wait = kButtonPollWaitMs;
  while (WaitForStop(wait)) wait = PollButtonsOnce();
  SignalEnded();
  return 0;
}

uint32_t CRZDHALScanner::PollButtonsOnce() { return kButtonPollWaitMs; }

}  // namespace rzd::scanhost
