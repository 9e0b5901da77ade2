// The wait between enabling the source and the transfer: the caller's queue is pumped through
// the source, and the event its callback signals is watched in every round.
#include "apphal/scan_records.h"
#include "apphal/twain_session.h"

namespace rzd::apphal {

namespace {

// How long one round waits for a message or the event before it counts as idle.
constexpr uint32_t kWaitStepMs = 10;

TwainWaitResult Cancelled() { return {TwainWaitOutcome::Cancelled, ZQHARDWARE_STATUS_USERCANCEL}; }
TwainWaitResult Ready() { return {TwainWaitOutcome::TransferReady, 0}; }

}  // namespace

TwainWaitResult CTwainSession::WaitForDataSource(uint32_t idleLimitMs) {
  EnsureMessageQueue();
  // The event was signalled by the callback: a transfer when its message says so, else the
  // source asked to close (or sent something the wait cannot go on with).
  auto signalled = [this] { return m_lastMessage.load() == MSG_XFERREADY ? Ready() : Cancelled(); };

  uint32_t idle = 0;
  for (;;) {
    if (std::optional<ThreadMessage> message = PeekThreadMessage(true)) {
      if (message->id == WM_QUIT) {
        PostQuitMessage(static_cast<uint32_t>(message->wparam));  // the thread's own loop still sees it
        return Cancelled();
      }
      TW_UINT16 twMessage = MSG_NULL;
      bool isEvent = false;
      const uint32_t result = ProcessEvent(*message, &twMessage, &isEvent);
      if (result != 0) return {TwainWaitOutcome::Failed, result};
      if (isEvent) {
        if (twMessage == MSG_XFERREADY) return Ready();
        if (twMessage == MSG_CLOSEDSREQ || twMessage == MSG_CLOSEDSOK) return Cancelled();
      } else {
        DispatchThreadMessage(*message);
      }
      const uint32_t polled = m_event.Wait(0);
      if (polled == WAIT_TIMEOUT) continue;
      return polled == WAIT_OBJECT_0 ? signalled() : Cancelled();
    }
    // Nothing queued: wait a little for a message or the event, whichever comes first.
    const uint32_t waited = MsgWaitForObjects({m_event}, kWaitStepMs);
    if (waited == WAIT_OBJECT_0) return signalled();
    if (waited == WAIT_OBJECT_0 + 1) continue;
    if (waited != WAIT_TIMEOUT) return Cancelled();
    idle += kWaitStepMs;
    if (idle > idleLimitMs) return Cancelled();
  }
}

}  // namespace rzd::apphal
