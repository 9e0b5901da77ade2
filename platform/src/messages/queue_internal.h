// What the pumping waits need from the queues.
#pragma once

#include "platform/kernel.h"
#include "platform/messages.h"

namespace rzd::messages_detail {

// The calling thread's "queue holds something" event (the queue is made if missing; a thread
// past its end gets an event that is never set).
Event QueueReadyEvent();
// The handler set with SetThreadMessageHandler on the calling thread.
const MessageHandler& ThreadHandler();

}  // namespace rzd::messages_detail
