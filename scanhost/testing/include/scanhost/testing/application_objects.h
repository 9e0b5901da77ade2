// The desktop application's side of the button events, as tests make it: the long-press event,
// the channel semaphore and the two channel events it creates and waits on.
#pragma once

#include "platform/kernel.h"
#include "scanhost/buttons/button_events.h"

#include <gtest/gtest.h>

#include <string>

namespace rzd::scanhost::test {

struct ApplicationObjects {
  explicit ApplicationObjects(const std::u16string& friendlyName, bool withSemaphore = true, bool withChannels = true,
                              int32_t initialCount = 4, int32_t maximumCount = 9) {
    longPress = Event::Create(buttons::LongPressEventName(friendlyName), false, false).handle;
    if (withSemaphore) {
      channel = Semaphore::Create(buttons::ChannelSemaphoreName(friendlyName), initialCount, maximumCount).handle;
      EXPECT_TRUE(channel);
    }
    if (withChannels) {
      simplex = Event::Create(buttons::ChannelEventName(friendlyName, false), false, false).handle;
      duplex = Event::Create(buttons::ChannelEventName(friendlyName, true), false, false).handle;
    }
  }

  // The semaphore's count, taken and given back (the application would take it).
  int32_t Count() const {
    int32_t count = 0;
    while (channel.Wait(0) == WAIT_OBJECT_0) ++count;
    if (count > 0) channel.Release(count);
    return count;
  }
  static bool Signalled(const Event& event) { return event.Wait(0) == WAIT_OBJECT_0; }

  Event longPress;
  Semaphore channel;
  Event simplex;
  Event duplex;
};

}  // namespace rzd::scanhost::test
