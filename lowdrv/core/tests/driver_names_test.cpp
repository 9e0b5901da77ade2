// Names of the driver's kernel objects, made from the device path and the friendly name.
#include "lowdrv/core/driver_names.h"

#include <gtest/gtest.h>

namespace rzd::lowdrv {
namespace {

const std::u16string kPath = u"\\\\?\\usb#vid_2e5a&pid_0148#qm48tz000001#{6bdd1fc6-810f-11d0-bec7-08002be2092f}";

TEST(DriverNamesTest, InstanceNameIsThePathPartAfterPid) {
  struct Case {
    std::u16string path;
    std::u16string instance;
  };
  const Case cases[] = {
      {kPath, u"qm48tz000001"},
      {u"\\\\?\\usb#vid_2e5a&pid_0148#5&1a2b&0&1#{6bdd1fc6-810f-11d0-bec7-08002be2092f}", u"5&1a2b&0&1"},
      {u"x#pid_0148#last", u"last"},           // no "#" after it: to the end
      {u"\\\\?\\USB#VID_2E5A&PID_0148#ABC#{x}", u""},  // "pid_" is searched in lower case only
      {u"vid_2e5a&pid_0148", u""},             // nothing after a "#"
      {u"", u""},
  };
  for (const Case& c : cases) EXPECT_EQ(InstanceNameFromPath(c.path), c.instance);
}

TEST(DriverNamesTest, ReducingKeepsLettersAndDigitsOnly) {
  EXPECT_EQ(LettersAndDigits(kPath), u"usbvid2e5apid0148qm48tz0000016bdd1fc6810f11d0bec708002be2092f");
  EXPECT_EQ(LettersAndDigits(u"a-Z_9 \u00e9\u0416!"), u"aZ9");
  EXPECT_EQ(WithoutFirstHash(u"Scanner #2 #3"), u"Scanner 2 #3");
  EXPECT_EQ(WithoutFirstHash(u"Scanner"), u"Scanner");
}

TEST(DriverNamesTest, TheFourNamesOfAUnit) {
  EXPECT_EQ(UnitSemaphoreName(kModelSemaphorePrefix, kPath), u"Global\\M48tzLLD_qm48tz000001");
  EXPECT_EQ(WakeupEventName(kModelSemaphorePrefix, u"Quarx M48tz Scanner #1"),
            u"Global\\M48tzLLD_WakeupTransactionQuarx M48tz Scanner 1");
  EXPECT_EQ(ButtonThreadEventName(kPath),
            u"Global\\usbvid2e5apid0148qm48tz0000016bdd1fc6810f11d0bec708002be2092f_ButtonThreadEvent");
  EXPECT_EQ(OldDriverEventName(kModelOldDriverEventPrefix, kPath),
            u"RORuz2006OZIDODusbvid2e5apid0148qm48tz0000016bdd1fc6810f11d0bec708002be2092f");
}

}  // namespace
}  // namespace rzd::lowdrv
