// Per-thread message queues. Each queue has an in-process manual-reset event that is signalled
// while the queue holds something, so a wait on kernel objects can include "a message arrived".
#include "platform/messages.h"

#include "messages/queue_internal.h"
#include "platform/process.h"

#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace rzd {

namespace {

struct Queue {
  std::mutex mutex;
  std::deque<ThreadMessage> messages;
  bool quitPending = false;
  uint32_t quitCode = 0;
  Event ready = Event::Unnamed(true, false);

  bool EmptyLocked() const { return messages.empty() && !quitPending; }
};

struct Registry {
  std::mutex mutex;
  std::unordered_map<uint32_t, std::shared_ptr<Queue>> queues;
};

// Never destroyed: threads may end after static destruction has begun.
Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

// The calling thread's queue and handler; the queue leaves the registry when the thread ends.
struct ThreadState {
  std::shared_ptr<Queue> queue;
  uint32_t tid = 0;
  MessageHandler handler;

  ~ThreadState() {
    if (!queue) return;
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto it = registry.queues.find(tid);
    if (it != registry.queues.end() && it->second == queue) registry.queues.erase(it);
  }
};

// The state is reached through a plain pointer, readable for the whole life of the thread. The
// thread's end destroys the state and leaves the pointer null; a thread that still calls a message
// function after that (the main thread does, from static destructors and library unloads at the
// end of the process) finds no queue rather than a destroyed one, and gets no new one.
thread_local ThreadState* t_state = nullptr;
thread_local bool t_ended = false;

struct ThreadEnd {
  bool armed = false;
  ~ThreadEnd() {
    delete t_state;
    t_state = nullptr;
    t_ended = true;
  }
};
thread_local ThreadEnd t_end;

// The calling thread's state, made at first use; null once the thread's end has taken it.
ThreadState* OwnState() {
  if (t_state == nullptr && !t_ended) {
    t_end.armed = true;  // its destructor now runs at the thread's end
    t_state = new ThreadState;
  }
  return t_state;
}

// The calling thread's queue, made at first use; null once the thread's end has taken it.
Queue* OwnQueue() {
  ThreadState* state = OwnState();
  if (state == nullptr) return nullptr;
  if (!state->queue) {
    auto queue = std::make_shared<Queue>();
    const uint32_t tid = CurrentThreadId();
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    registry.queues[tid] = queue;
    state->queue = std::move(queue);
    state->tid = tid;
  }
  return state->queue.get();
}

std::shared_ptr<Queue> FindQueue(uint32_t threadId) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  auto it = registry.queues.find(threadId);
  return it == registry.queues.end() ? nullptr : it->second;
}

}  // namespace

void EnsureMessageQueue() { OwnQueue(); }

uint32_t PostThreadMessage(uint32_t threadId, uint32_t id, uint64_t wparam, int64_t lparam) {
  std::shared_ptr<Queue> queue = FindQueue(threadId);
  if (!queue) return ERROR_INVALID_THREAD_ID;
  std::lock_guard lock(queue->mutex);
  if (queue->messages.size() >= kMaxQueuedMessages) return ERROR_NOT_ENOUGH_QUOTA;
  bool wasEmpty = queue->EmptyLocked();
  queue->messages.push_back(ThreadMessage{id, wparam, lparam});
  if (wasEmpty) queue->ready.Set();
  return ERROR_SUCCESS;
}

void PostQuitMessage(uint32_t exitCode) {
  Queue* queue = OwnQueue();
  if (queue == nullptr) return;
  std::lock_guard lock(queue->mutex);
  bool wasEmpty = queue->EmptyLocked();
  queue->quitPending = true;
  queue->quitCode = exitCode;
  if (wasEmpty) queue->ready.Set();
}

std::optional<ThreadMessage> PeekThreadMessage(bool remove) {
  Queue* queue = OwnQueue();
  if (queue == nullptr) return std::nullopt;
  std::lock_guard lock(queue->mutex);
  std::optional<ThreadMessage> message;
  if (!queue->messages.empty()) {
    message = queue->messages.front();
    if (remove) queue->messages.pop_front();
  } else if (queue->quitPending) {
    message = ThreadMessage{WM_QUIT, queue->quitCode, 0};
    if (remove) queue->quitPending = false;
  }
  if (remove && message && queue->EmptyLocked()) queue->ready.Reset();
  return message;
}

MessageHandler SetThreadMessageHandler(MessageHandler handler) {
  ThreadState* state = OwnState();
  if (state == nullptr) return {};
  MessageHandler previous = std::move(state->handler);
  state->handler = std::move(handler);
  return previous;
}

void DispatchThreadMessage(const ThreadMessage& message) {
  ThreadState* state = OwnState();
  if (state == nullptr) return;
  // A copy, so a handler that replaces itself while it runs stays alive for this call.
  MessageHandler handler = state->handler;
  if (handler) handler(message);
}

namespace messages_detail {

Event QueueReadyEvent() {
  Queue* queue = OwnQueue();
  // A thread past its end has no queue: an event that is never set stands for "no message".
  return queue != nullptr ? queue->ready : Event::Unnamed(true, false);
}

const MessageHandler& ThreadHandler() {
  static const MessageHandler* const none = new MessageHandler();
  ThreadState* state = OwnState();
  return state != nullptr ? state->handler : *none;
}

}  // namespace messages_detail

}  // namespace rzd
