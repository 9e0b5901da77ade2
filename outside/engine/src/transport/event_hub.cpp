#include "transport/server_parts.h"

#include "platform/errors.h"

#include <algorithm>

namespace rzd::engine::transport {

namespace {

usbsim::FrameHeader Answer(uint32_t id, uint32_t status) {
  usbsim::FrameHeader header;
  header.id = id;
  header.op = usbsim::Op::WaitEvent;
  header.status = status;
  return header;
}

}  // namespace

void EventHub::Wait(const std::shared_ptr<Connection>& connection, uint32_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!queued_.empty()) {
    Report report = queued_.front();
    queued_.pop_front();
    connection->Send(Answer(id, ERROR_SUCCESS), report);
    return;
  }
  waiters_.push_back({connection, id});
}

bool EventHub::Cancel(Connection& connection, uint32_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find_if(waiters_.begin(), waiters_.end(), [&](const Waiter& w) {
    return w.id == id && w.connection.lock().get() == &connection;
  });
  if (it == waiters_.end()) return false;
  waiters_.erase(it);
  connection.Send(Answer(id, ERROR_OPERATION_ABORTED));
  return true;
}

void EventHub::Deliver(std::span<const uint8_t> bytes) {
  const Report report(bytes.begin(), bytes.begin() + std::min(bytes.size(), usbsim::kEventReportSize));
  std::lock_guard<std::mutex> lock(mutex_);
  if (!plugged_) return;
  while (!waiters_.empty()) {
    Waiter waiter = waiters_.front();
    waiters_.pop_front();
    std::shared_ptr<Connection> connection = waiter.connection.lock();
    // A waiter whose connection ended, or that cannot take the answer, does not get the report.
    if (connection && !connection->finished.load() && connection->Send(Answer(waiter.id, ERROR_SUCCESS), report)) {
      return;
    }
  }
  if (queued_.size() == kMaxQueued) queued_.pop_front();
  queued_.push_back(report);
}

void EventHub::SetPlugged(bool plugged) {
  std::lock_guard<std::mutex> lock(mutex_);
  plugged_ = plugged;
  if (!plugged) {
    waiters_.clear();
    queued_.clear();
  }
}

}  // namespace rzd::engine::transport
