// Thread message queues and waits that keep servicing them.
//
// A thread has a message queue from its first call to EnsureMessageQueue, PeekThreadMessage,
// MsgWaitForObjects or WaitPumping; the queue ends with the thread. Posting to a thread without
// a queue (or to an id that is no thread of this process) fails with ERROR_INVALID_THREAD_ID.
// A thread that calls these functions after its end has begun (the main thread does so from
// static destructors and library unloads at the end of the process) has no queue and gets none:
// its waits see no message and its peeks find none.
// Queues are per process: messages are posted between threads of one process.
#pragma once

#include "platform/errors.h"
#include "platform/kernel.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// Message ids the platform gives a meaning.
constexpr uint32_t WM_NULL = 0x0000;
constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_USER = 0x0400;
constexpr uint32_t WM_APP = 0x8000;

namespace rzd {

// Most messages one queue holds; a post beyond it fails with ERROR_NOT_ENOUGH_QUOTA.
constexpr size_t kMaxQueuedMessages = 10000;

struct ThreadMessage {
  uint32_t id = 0;
  uint64_t wparam = 0;
  int64_t lparam = 0;
};

// Gives the calling thread its message queue if it has none yet.
void EnsureMessageQueue();

// Appends a message to the queue of thread `threadId` (as CurrentThreadId() / Thread::Id()
// name it). 0, ERROR_INVALID_THREAD_ID, or ERROR_NOT_ENOUGH_QUOTA when the queue is full.
uint32_t PostThreadMessage(uint32_t threadId, uint32_t id, uint64_t wparam = 0, int64_t lparam = 0);

// Asks the calling thread's message loop to end: once every message posted before or after it
// has been taken, the queue gives WM_QUIT with wparam = exitCode (once).
void PostQuitMessage(uint32_t exitCode);

// Looks at the calling thread's queue: the oldest message, removed when `remove` is set;
// nullopt when the queue is empty.
std::optional<ThreadMessage> PeekThreadMessage(bool remove = true);

// Handler the pumping waits of the calling thread hand each message to. An empty handler (the
// default) drops the messages. Returns the previous handler.
using MessageHandler = std::function<void(const ThreadMessage&)>;
MessageHandler SetThreadMessageHandler(MessageHandler handler);

// Hands one message taken from the queue to the calling thread's handler (nothing happens
// without one), as a message loop does with each message it takes itself.
void DispatchThreadMessage(const ThreadMessage& message);

// Waits until one of `objects` is signalled or the calling thread's queue holds a message.
// WAIT_OBJECT_0 + i / WAIT_ABANDONED_0 + i for an object (objects are looked at before the
// queue, and taken as in WaitAny), WAIT_OBJECT_0 + objects.size() when a message is waiting
// (the message is left in the queue), WAIT_TIMEOUT, or WAIT_FAILED. `objects` may be empty.
uint32_t MsgWaitForObjects(const std::vector<WaitHandle>& objects, uint32_t timeoutMs);

// Waits for any of `objects` while servicing the calling thread's queue: every message that
// arrives meanwhile is removed and handed to `handler` (or to the thread's handler when none is
// given). Returns WAIT_OBJECT_0 + i, WAIT_ABANDONED_0 + i, WAIT_FAILED, or WAIT_TIMEOUT once
// `timeoutMs` has passed since the call, however many messages arrive. A WM_QUIT met on the way
// is not handed out: it is posted again (PostQuitMessage) when the wait returns, so the thread's
// own message loop still sees it.
uint32_t WaitPumping(const std::vector<WaitHandle>& objects, uint32_t timeoutMs);
uint32_t WaitPumping(const std::vector<WaitHandle>& objects, uint32_t timeoutMs, const MessageHandler& handler);

}  // namespace rzd
