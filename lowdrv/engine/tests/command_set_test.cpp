// The engine command set over scripted pipes: every SEND's block and record, the two-step reads,
// image-data ends, the background check and the set-specific operations.
#include "engine_script.h"
#include "lowdrv/engine/command_blocks.h"
#include "lowdrv/engine/reduzid_interface.h"
#include "value_copy.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace rzd::lowdrv {
namespace {

using test::EngineScript;
using test::NewSense;
using test::Reply;
using test::ScriptedPipes;
using test::SenseData;

using ByteList = std::vector<uint8_t>;

ByteList Cat(ByteList a, const ByteList& b) {
  ByteList out(a.size() + b.size());
  std::copy(a.begin(), a.end(), out.begin());
  std::copy(b.begin(), b.end(), out.begin() + static_cast<std::ptrdiff_t>(a.size()));
  return out;
}

ByteList Cdb12(uint8_t opcode, uint16_t type, uint32_t length) {
  ByteList c(12, 0);
  c[0] = opcode;
  PutBE16(&c[3], type);
  PutBE32(&c[7], length);
  return c;
}

ByteList Cdb10(uint8_t opcode, uint8_t type, uint16_t qualifier, uint32_t length) {
  ByteList c(10, 0);
  c[0] = opcode;
  c[2] = type;
  PutBE16(&c[4], qualifier);
  PutBE24(&c[6], length);
  return c;
}

class Engine {
 public:
  explicit Engine(bool newSet) : pipes(newSet) {
    script.Attach(pipes);
    iface.m_bNewCommandSet = newSet ? 1 : 0;
    iface.SetDevice(&pipes, kDeviceKindUsb);
  }
  ScriptedPipes pipes;
  EngineScript script;
  CReduzidInterface iface;
};

struct SendCase {
  const char* name;
  bool newSet;
  bool longSense;
  std::function<BOOL(CReduzidInterface&)> call;
  ByteList cdb;
  ByteList data;
};

TEST(CommandSetTest, EverySendAsExactBlockAndRecord) {
  static const uint16_t matrix[9] = {1, 2, 3, 4, 0x105, 6, 7, 8, 9};
  static uint8_t tables[128];
  for (int i = 0; i < 128; ++i) tables[i] = static_cast<uint8_t>(i + 1);
  static uint8_t ip[68] = {};
  ip[10] = 0x5A;
  static uint8_t param[39] = {};
  param[7] = 0x01;  // host-order 32-bit value 1 at bytes 7-10
  static uint8_t lcdString[265] = {};
  lcdString[0] = 0x02;  // string number 2 in host order
  static const uint8_t led[8] = {4, 0, 0, 0, 0, 0, 0, 0};
  static const uint8_t flash[4] = {0xDE, 0xAD, 0xBE, 0xEF};
  static const uint8_t page[9] = {0, 0, 1, 9, 0, 0, 0, 0x17, 0};
  ReduzidNVMData nvm{};
  nvm.BornDay = 7;
  ByteList nvmWire(167, 0);
  nvmWire[31] = 7;
  ByteList lcdScreens(10 + 1086, 0);
  lcdScreens[7] = 0xA1, lcdScreens[8] = 0x0F, lcdScreens[9] = 1, lcdScreens[10] = 0x33;
  ByteList lcdWire = lcdScreens;
  lcdWire[2] = 2;
  PutBE32(&lcdWire[3], 1096);
  lcdWire[7] = 0x0F, lcdWire[8] = 0xA1;

  const SendCase cases[] = {
      {"power saving", true, false, [](auto& i) { return i.SendPowerSavingTime(15); }, Cdb12(0xAA, 0x105, 6), {0, 0, 0, 6, 0, 15}},
      {"power saving", false, false, [](auto& i) { return i.SendPowerSavingTime(15); }, Cdb10(0x2A, 0xA2, 0, 2), {0, 15}},
      {"power off", true, false, [](auto& i) { return i.SendPowerOffTime(240); }, Cdb12(0xAA, 0x106, 6), {0, 0, 0, 6, 0, 240}},
      {"power off", false, false, [](auto& i) { return i.SendPowerOffTime(240); }, Cdb10(0x2A, 0xA9, 0, 2), {0, 240}},
      {"ERP time", true, false, [](auto& i) { return i.SendERPTimeNew(0x0102); }, Cdb12(0xAA, 0x10F, 6), {0, 0, 0, 6, 1, 2}},
      {"tray height", true, false, [](auto& i) { return i.SendTrayHeight(3); }, Cdb12(0xAA, 0xD5, 6), {0, 0, 0, 6, 0, 3}},
      {"LED", true, false, [](auto& i) { return i.SendLEDNumNew(4); }, Cdb12(0xAA, 0xA4, 12), {0, 0, 2, 12, 4, 0, 0, 0, 0, 0, 0, 0}},
      {"LED", false, false, [](auto& i) { return i.SendLEDNumClassic(led); }, Cdb10(0x2A, 0xA4, 0x0A0D, 8), ByteList(led, led + 8)},
      {"matrix", true, false, [](auto& i) { return i.SendMatrix(matrix); }, Cdb12(0xAA, 0x83, 22),
       {0, 0, 2, 22, 1, 0, 2, 0, 3, 0, 4, 0, 5, 1, 6, 0, 7, 0, 8, 0, 9, 0}},
      {"matrix", false, false, [](auto& i) { return i.SendMatrix(matrix); }, Cdb10(0x2A, 0x83, 0x0D0A, 18),
       {0, 1, 0, 2, 0, 3, 0, 4, 1, 5, 0, 6, 0, 7, 0, 8, 0, 9}},
      {"NVRAM", true, false, [&](auto& i) { return i.SendNVRAM(nvm); }, Cdb12(0xAA, 0x85, 174),
       Cat({0, 0, 2, 0, 174, 0, 0x12}, nvmWire)},
      {"NVRAM", false, false, [&](auto& i) { return i.SendNVRAM(nvm); }, Cdb10(0x2A, 0x85, 0x0012, 167), nvmWire},
      {"NVRAM field", true, false, [](auto& i) { return i.SendNVRAMFieldNew(3); }, Cdb12(0xAA, 0x99, 7), {0, 0, 2, 3, 0, 0, 0}},
      {"flash", true, false, [](auto& i) { return i.SendFlashRAM(flash, 4); }, Cdb12(0xAA, 0x86, 13),
       {0, 0, 2, 0, 0, 0, 4, 0, 2, 0xDE, 0xAD, 0xBE, 0xEF}},
      {"flash", false, false, [](auto& i) { return i.SendFlashRAM(flash, 4); }, Cdb10(0x2A, 0x86, 0x0002, 4),
       ByteList(flash, flash + 4)},
      {"JPEG tables", true, false, [](auto& i) { return i.SendJPEGQuantizationTables(tables); }, Cdb12(0xAA, 0x8B, 132),
       Cat({0, 0, 0x64, 0x84}, ByteList(tables, tables + 128))},
      {"JPEG tables", false, false, [](auto& i) { return i.SendJPEGQuantizationTables(tables); },
       Cdb10(0x2A, 0x8B, 0x0A0D, 128), ByteList(tables, tables + 128)},
      {"ultrasonic", true, false, [](auto& i) { return i.SendControlIndividualUltrasonicSensorNew(0x000105); },
       Cdb12(0xAA, 0x8E, 7), {0, 0, 1, 7, 5, 1, 0}},
      {"truncation head", true, false, [](auto& i) { return i.SendTruncLen(false, 200, 100); }, Cdb12(0xAA, 0x96, 10),
       {0, 0, 0x64, 10, 0, 1, 0, 200, 0, 0}},
      {"truncation tail", true, false, [](auto& i) { return i.SendTruncLen(true, 200, 100); }, Cdb12(0xAA, 0x95, 10),
       {0, 0, 0x64, 10, 0, 1, 0, 200, 0, 0}},
      {"truncation head", false, false, [](auto& i) { return i.SendTruncLen(false, 200, 100); },
       Cdb10(0x2A, 0x96, 0x0001, 4), {0, 200, 0, 100}},
      {"truncation tail, long sense", false, true, [](auto& i) { return i.SendTruncLen(true, 200, 100); },
       Cdb10(0x2A, 0x95, 0x0001, 2), {0, 200}},
      {"image processing", true, false, [](auto& i) { return i.SendIP(ip); }, Cdb12(0xAA, 0x98, 68),
       [] {
         ByteList b(68, 0);
         b[2] = 0x02, b[3] = 0x44, b[10] = 0x5A;
         return b;
       }()},
      {"reset DFD", true, false, [](auto& i) { return i.SendResetDFDSelection(); }, Cdb12(0xAA, 0xFF, 12),
       {0, 0, 1, 0x0C, 1, 0, 0, 0, 0, 0, 0, 0}},
      {"LCD string", true, false, [](auto& i) { return i.SendLCDSpecifyStringDataNew(lcdString); }, Cdb12(0xAA, 0xE2, 265),
       [] {
         ByteList b(265, 0);
         b[1] = 0x02, b[2] = 2, b[3] = 0x01, b[4] = 0x09;
         return b;
       }()},
      {"LCD screens", true, false, [&](auto& i) { return i.SendLCDDisplayData(lcdScreens.data(), lcdScreens.size()); },
       Cdb12(0xAA, 0xF0, 1096), lcdWire},
      {"imprinter parameters", true, false, [](auto& i) { return i.SetImprParameterNew(param); }, Cdb12(0xAA, 0x202, 39),
       [] {
         ByteList b(39, 0);
         b[2] = 1, b[6] = 39, b[10] = 0x01;
         return b;
       }()},
      {"imprinter page setting", true, false, [](auto& i) { return i.SetImprPageSettingNew(page, sizeof page); },
       Cdb12(0xAA, 0x203, 9), {0, 0, 1, 0, 0, 0, 9, 0x17, 0}},
      {"imprinter enable", true, false, [](auto& i) { return i.EnableImprinterNew(); }, Cdb12(0xAA, 0x20C, 8), {0, 0, 1, 0, 0, 0, 8, 1}},
      {"imprinter disable", true, false, [](auto& i) { return i.DisableImprinter(); }, Cdb12(0xAA, 0x20C, 8), {0, 0, 1, 0, 0, 0, 8, 0}},
      {"imprinter start", true, false, [](auto& i) { return i.StartImprinterNew(); }, Cdb12(0xAA, 0x20D, 8), {0, 0, 1, 0, 0, 0, 8, 1}},
      {"imprinter stop", true, false, [](auto& i) { return i.StopImprinter(); }, Cdb12(0xAA, 0x20D, 8), {0, 0, 1, 0, 0, 0, 8, 2}},
      {"imprinter clean", true, false, [](auto& i) { return i.CleanImprinterNew(); }, Cdb12(0xAA, 0x211, 8), {0, 0, 1, 0, 0, 0, 8, 1}},
      {"generic send", true, false, [](auto& i) { const uint8_t d[3] = {7, 8, 9}; return i.SendNew(0x205, d, 3); },
       Cdb12(0xAA, 0x205, 3), {7, 8, 9}},
      {"lamp on", false, false, [](auto& i) { return i.LampControl(true); }, Cdb10(0x2A, 0xA0, 0, 1), {1}},
      {"window", true, false, [](auto& i) { ReduzidWindowDesc w{}; return i.SetWindow(w); }, {0xE4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 96, 0},
       [] {
         ByteList b(96, 0);
         b[2] = 2, b[4] = 96, b[5] = 0x04, b[6] = 0xB0, b[42] = 1, b[50] = 128, b[51] = 128;  // line art: mode 1
         return b;
       }()},
  };
  for (const SendCase& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.newSet ? " (new set)" : " (classic set)"));
    Engine e(c.newSet);
    e.iface.m_bLongSense = c.longSense ? 1 : 0;
    EXPECT_TRUE(c.call(e.iface));
    ASSERT_EQ(e.pipes.commands.size(), 1u);
    EXPECT_EQ(e.pipes.commands[0].cdb, c.cdb);
    EXPECT_EQ(e.pipes.commands[0].dataOut, c.data);
  }
}

TEST(CommandSetTest, GammaTablesGoRedGreenBlueAndStopAtTheFirstFailure) {
  const uint8_t red[2] = {1, 2}, green[2] = {3, 4}, blue[2] = {5, 6};
  for (bool newSet : {true, false}) {
    Engine e(newSet);
    EXPECT_TRUE(e.iface.SendGammaTables(red, green, blue, 2));
    ASSERT_EQ(e.pipes.commands.size(), 3u);
    if (newSet) {
      EXPECT_EQ(e.pipes.commands[1].cdb, Cdb12(0xAA, 0x81, 10));
      EXPECT_EQ(e.pipes.commands[1].dataOut, ByteList({0, 0, 0, 0, 10, 0, 1, 0x10, 3, 4}));
      EXPECT_EQ(e.pipes.commands[2].dataOut, ByteList({0, 0, 0, 0, 10, 0, 2, 0x10, 5, 6}));
    } else {
      EXPECT_EQ(e.pipes.commands[0].cdb, Cdb10(0x2A, 0x81, 0, 2));
      EXPECT_EQ(e.pipes.commands[2].cdb, Cdb10(0x2A, 0x81, 2, 2));
      EXPECT_EQ(e.pipes.commands[2].dataOut, ByteList({5, 6}));
    }
    Engine failing(newSet);
    const uint8_t send = newSet ? op::kNewSend : op::kSend10;
    failing.script.On(send, Reply{});
    failing.script.On(send, Reply{{}, 0, 0, WAIT_TIMEOUT});  // green fails
    EXPECT_FALSE(failing.iface.SendGammaTables(red, green, blue, 2));
    EXPECT_EQ(failing.pipes.commands.size(), 2u);  // blue is not sent
    EXPECT_EQ(failing.iface.m_ulLastError, lld::kTimeout);
  }
}

TEST(CommandSetTest, UltrasonicSensorCommandReportsItsRealResult) {
  Engine e(true);
  e.script.On(op::kNewSend, Reply{{}, 2});
  e.script.Sense({0x05, 0x26, 0x00});
  EXPECT_FALSE(e.iface.SendControlIndividualUltrasonicSensorNew(7));
  EXPECT_EQ(e.iface.m_ulLastError, 12u);
}

TEST(CommandSetTest, NewInquiryWithAShortSizeSendsOneCommand) {
  Engine e(true);
  e.script.On(op::kNewInquiry, Reply{{0, 0, 0, 0, 5}});
  e.iface.ReduzidInq.AENC = 0x42;
  EXPECT_TRUE(e.iface.Inquiry());
  EXPECT_EQ(e.pipes.commands.size(), 1u);
  EXPECT_EQ(e.pipes.commands[0].cdb, ByteList({0xE2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0}));
  EXPECT_EQ(e.iface.ReduzidInq.AENC, 0x42);
  EXPECT_EQ(e.iface.ReduzidInq.AbilityEx3, 0);  // not translated
}

TEST(CommandSetTest, NewInquiryAsksForAtMost255BytesAndTranslatesWhatArrived) {
  Engine e(true);
  ByteList answer(120, 0);
  PutBE16(&answer[3], 300);  // states more than one allocation byte can ask for
  answer[5] = 6;
  answer[72] = 3;
  PutBE16(&answer[8], 130);   // vendor text beyond the bytes that arrive, within the 255 asked for
  PutBE16(&answer[66], 118);  // halftone list: its count byte and one number arrive
  answer[118] = 5;
  answer[119] = 0x21;
  e.script.On(op::kNewInquiry, Reply{ByteList(answer.begin(), answer.begin() + 5)});
  e.script.On(op::kNewInquiry, Reply{answer});  // only 120 bytes arrive
  std::memcpy(e.iface.ReduzidInq.VendorIdent, "KEEPME!!", 8);
  EXPECT_TRUE(e.iface.Inquiry());
  ASSERT_EQ(e.pipes.commands.size(), 2u);
  EXPECT_EQ(e.pipes.commands[1].cdb[10], 255);
  EXPECT_EQ(e.iface.ReduzidInq.ProductQualifier, 6);
  EXPECT_EQ(e.iface.ReduzidInq.ColorPixelBound, 3);
  EXPECT_TRUE(e.iface.ReduzidInq.AbilityEx3 & 0x10);
  // Translated as 120 bytes, not as the 255 asked for.
  EXPECT_EQ(std::string(e.iface.ReduzidInq.VendorIdent, 8), "KEEPME!!");
  EXPECT_EQ(e.iface.ReduzidInq.HalftoneNum, 1);
  EXPECT_EQ(e.iface.ReduzidInq.HalftoneIndex[0], 0x21);
}

TEST(CommandSetTest, ClassicInquiryReadsAtMost159Bytes) {
  Engine e(false);
  ByteList record(159, 0);
  record[0] = 6;
  record[4] = 200;
  record[40] = 0x02, record[41] = 0x58;
  e.script.On(op::kInquiry, Reply{ByteList(record.begin(), record.begin() + 5)});
  e.script.On(op::kInquiry, Reply{record});
  e.iface.ReduzidInq.OverscanWidth = 0;
  EXPECT_TRUE(e.iface.Inquiry());
  ASSERT_EQ(e.pipes.commands.size(), 2u);
  EXPECT_EQ(e.pipes.commands[0].cdb, ByteList({0x12, 0, 0, 0, 5, 0, 0, 0, 0, 0}));
  EXPECT_EQ(e.pipes.commands[1].cdb[4], 159);
  EXPECT_EQ(Copy(e.iface.ReduzidInq.MaxGrayXRes), 600);
  for (size_t i = 159; i < 167; ++i) EXPECT_EQ(InqBytes(e.iface.ReduzidInq)[i], 0) << i;

  Engine other(false);
  other.script.On(op::kInquiry, Reply{{3, 0, 0, 0, 40}});  // not a scanner: no second read
  EXPECT_TRUE(other.iface.Inquiry());
  EXPECT_EQ(other.pipes.commands.size(), 1u);
}

TEST(CommandSetTest, OpenWithTheCachedInquiryTakesCapabilitiesAndCalibrationToo) {
  Engine first(true);
  ByteList answer(200, 0);
  PutBE16(&answer[3], 200);
  answer[5] = 6;
  answer[97] = 0x07;
  answer[121] = 0x80;
  answer[111] = 99;
  first.script.On(op::kNewInquiry, Reply{ByteList(answer.begin(), answer.begin() + 5)});
  first.script.On(op::kNewInquiry, Reply{answer});
  ASSERT_TRUE(first.iface.SetDevice(&first.pipes, nullptr, 0));
  const EngineInquiryCache cache = first.iface.GetInquiryCache();

  Engine second(true);
  ASSERT_TRUE(second.iface.SetDevice(&second.pipes, &cache, 2000));
  EXPECT_TRUE(second.pipes.commands.empty());
  EXPECT_EQ(second.iface.ReduzidInq.ProductQualifier, 6);
  EXPECT_EQ(second.iface.m_Caps.Imprinter, 1);
  EXPECT_EQ(second.iface.m_Caps.ExtendedMultifeed, 1);
  EXPECT_EQ(second.iface.m_Caps.WindowByte66, 1);
  EXPECT_EQ(second.iface.m_Caps.Calibration[8], 99);
}

TEST(CommandSetTest, OpenWithoutCacheChecksReadinessAndAsksTwiceForANonScanner) {
  Engine e(true);
  e.script.On(op::kNewRequestSense, Reply{NewSense({})});
  e.script.On(op::kNewInquiry, Reply{{0, 0, 0, 0, 5}});
  e.iface.m_ulCmdTimeout = 4000;
  EXPECT_FALSE(e.iface.SetDevice(&e.pipes, nullptr, 1500));
  EXPECT_EQ(e.pipes.Opcodes(), ByteList({0xE3, 0xE2, 0xE2}));
  EXPECT_EQ(e.pipes.commands[0].timeoutMs, 1500u);
  EXPECT_EQ(e.pipes.commands[1].timeoutMs, 4000u);
  EXPECT_EQ(e.iface.m_ulCmdTimeout, 4000u);
  CDevice notUsb;
  EXPECT_FALSE(e.iface.SetDevice(&notUsb, nullptr, 0));
}

TEST(CommandSetTest, NewNvramReadTakesTheRecordFromItsOffset) {
  struct Case {
    ByteList head;
    size_t offset;
  };
  const Case cases[] = {{{0, 0, 2, 0, 172}, 5}, {{0, 0, 1, 171, 0}, 4}};
  for (const Case& c : cases) {
    Engine e(true);
    const size_t size = c.offset + 167;
    ByteList answer(size, 0);
    answer[c.offset + 31] = 7;  // BornDay
    answer[c.offset + 46] = 'Q';
    e.script.On(op::kNewRead, Reply{c.head});
    e.script.On(op::kNewRead, Reply{answer});
    ReduzidNVMData nvm;
    std::memset(&nvm, 0xFF, sizeof nvm);
    EXPECT_TRUE(e.iface.ReadNVRAM(nvm));
    ASSERT_EQ(e.pipes.commands.size(), 2u);
    EXPECT_EQ(e.pipes.commands[0].cdb, Cdb12(0xA8, 0x69, 5));
    EXPECT_EQ(e.pipes.commands[1].cdb, Cdb12(0xA8, 0x69, static_cast<uint32_t>(size)));
    EXPECT_EQ(Copy(nvm.BornDay), 7);
    EXPECT_EQ(nvm.SerialNumber[0], 'Q');
  }
  // A short answer: what arrived is copied, the rest stays 0.
  Engine shortAnswer(true);
  ByteList partial(40, 0x01);
  shortAnswer.script.On(op::kNewRead, Reply{{0, 0, 2, 0, 172}});
  shortAnswer.script.On(op::kNewRead, Reply{partial});
  ReduzidNVMData nvm;
  EXPECT_TRUE(shortAnswer.iface.ReadNVRAM(nvm));
  EXPECT_EQ(Copy(nvm.BornDay), 0x0101);
  EXPECT_EQ(Copy(nvm.PowerSavingTime), 0);
  // A size of 5 or less: success with the record clear.
  Engine empty(true);
  empty.script.On(op::kNewRead, Reply{{0, 0, 2, 0, 5}});
  std::memset(&nvm, 0xFF, sizeof nvm);
  EXPECT_TRUE(empty.iface.ReadNVRAM(nvm));
  EXPECT_EQ(empty.pipes.commands.size(), 1u);
  EXPECT_EQ(Copy(nvm.BornDay), 0);
}

TEST(CommandSetTest, ClassicNvramReadIsOneRead) {
  Engine e(false);
  ByteList wire(167, 0);
  wire[0] = 0, wire[1] = 0, wire[2] = 1, wire[3] = 0;
  e.script.On(op::kRead10, Reply{wire});
  ReduzidNVMData nvm{};
  EXPECT_TRUE(e.iface.ReadNVRAM(nvm));
  EXPECT_EQ(e.pipes.commands[0].cdb, Cdb10(0x28, 0x69, 0x0A0D, 167));
  EXPECT_EQ(Copy(nvm.PadScanCount), 256u);
}

struct EndCase {
  const char* name;
  SenseData sense;
  uint32_t delivered;
  uint8_t endIn;
  BOOL result;
  uint32_t actual;
  uint8_t endOut;
  uint8_t second;
};

TEST(CommandSetTest, ImageDataEndHandling) {
  const EndCase cases[] = {
      {"side end, count delivered", {0x03, 0x80, 0x04, 100, 0x010203, 0x040506, 0x0708}, 100, 0, TRUE, 100, 1, 0},
      {"side end, count not delivered", {0x03, 0x80, 0x04, 100}, 3996, 1, TRUE, 3996, 1, 0},
      {"incorrect length bit alone", {0x20, 0x80, 0x04, 50}, 50, 0, TRUE, 50, 1, 0},
      {"count beyond the request", {0x03, 0x80, 0x04, 5000}, 4096, 0, TRUE, 4096, 1, 0},
      {"count beyond what arrived", {0x03, 0x80, 0x04, 300}, 200, 0, TRUE, 200, 1, 0},
      {"blank side", {0x03, 0x80, 0x21, 10}, 10, 0, FALSE, 10, 1, 0},
      {"other side ended", {0x03, 0x80, 0x22, 64}, 64, 0, TRUE, 64, 0, 1},
      {"other sense", {0x03, 0x80, 0x05, 64}, 64, 0, FALSE, 0, 0, 0},
      {"wrong key", {0x02, 0x80, 0x04, 64}, 64, 0, FALSE, 0, 0, 0},
  };
  for (bool newSet : {true, false}) {
    for (const EndCase& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (newSet ? " (new set)" : " (classic set)"));
      Engine e(newSet);
      e.iface.m_bLongSense = 1;  // the classic values at sense bytes 22-31 come with the long form only
      e.script.On(newSet ? op::kNewRead : op::kRead10, Reply{ByteList(c.delivered, 0x44), 2});
      e.script.Sense(c.sense);
      std::vector<uint8_t> buffer(4096);
      uint8_t end = c.endIn;
      ImageReadResult r;
      EXPECT_EQ(e.iface.ReadImageData(buffer.data(), 4096, end, r), c.result);
      EXPECT_EQ(r.actualLength, c.actual);
      EXPECT_EQ(end, c.endOut);
      EXPECT_EQ(r.secondFlag, c.second);
      EXPECT_EQ(r.transferred, c.delivered);
      EXPECT_EQ(r.value1, c.sense.value1);
      EXPECT_EQ(r.value2, c.sense.value2);
      EXPECT_EQ(r.value3, c.sense.value3);
    }
  }
}

TEST(CommandSetTest, ImageDataSuccessReportsWhatArrived) {
  Engine e(true);
  e.script.On(op::kNewRead, Reply{ByteList(1000, 0x10)});
  std::vector<uint8_t> buffer(4096);
  uint8_t end = 1;
  ImageReadResult r;
  r.secondFlag = 1;
  EXPECT_TRUE(e.iface.ReadImageData(buffer.data(), 4096, end, r));
  EXPECT_EQ(e.pipes.commands[0].cdb, Cdb12(0xA8, 0, 4096));
  EXPECT_EQ(r.actualLength, 1000u);
  EXPECT_EQ(end, 0);
  EXPECT_EQ(r.secondFlag, 0);
  EXPECT_EQ(r.transferred, 0u);
}

TEST(CommandSetTest, BackgroundCheckComparesTheUnsignedCalibrationMean) {
  struct Case {
    bool flatbed;
    uint8_t calibration;
    bool cleared;
  };
  const Case cases[] = {{true, 30, true}, {true, 200, false}, {false, 30, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "flatbed " << c.flatbed << " calibration " << int(c.calibration));
    Engine e(true);
    e.iface.m_Caps.Calibration[6] = e.iface.m_Caps.Calibration[7] = e.iface.m_Caps.Calibration[8] = c.calibration;
    ReduzidWindowDesc w{};
    w.Desc.ADF = c.flatbed ? 0x00 : 0x80;
    ASSERT_TRUE(e.iface.SetWindow(w));
    EXPECT_EQ(e.iface.m_bBackgroundCheck, c.flatbed ? 1 : 0);
    e.script.On(op::kNewRead, Reply{ByteList(200, 0xF0)});  // a bright raster
    std::vector<uint8_t> raster(200, 0);
    EXPECT_TRUE(e.iface.ReadBackgroundRaster(raster.data(), 200));
    EXPECT_EQ(raster[0], c.cleared ? 0 : 0xF0);
    EXPECT_EQ(raster[199], c.cleared ? 0 : 0xF0);
  }
}

TEST(CommandSetTest, NewMediaCheckDecodesTheFollowingSense) {
  struct Case {
    uint8_t status;
    SenseData sense;
    BOOL result;
    LLDError code;
    size_t commands;
  };
  const Case cases[] = {
      {0, {0x03, 0x80, 0x05}, FALSE, 10, 2},
      {0, {0x00, 0x00, 0x00}, TRUE, 0, 2},
      {1, {0x03, 0x80, 0x05}, TRUE, 0, 1},
  };
  for (const Case& c : cases) {
    Engine e(true);
    e.script.On(op::kNewMediaCheck, Reply{{0, 0, 0, 0, c.status}});
    e.script.On(op::kNewRequestSense, Reply{NewSense(c.sense)});
    uint8_t status = 0xFF;
    EXPECT_EQ(e.iface.MediaCheck(0, &status), c.result);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(e.iface.m_ulLastError, c.code);
    EXPECT_EQ(e.pipes.commands.size(), c.commands);
  }
  Engine classic(false);
  classic.script.On(op::kMediaCheck, Reply{{0x05}});
  uint8_t status = 0;
  EXPECT_TRUE(classic.iface.MediaCheck(2, &status));
  EXPECT_EQ(status, 5);
  EXPECT_EQ(classic.pipes.commands[0].cdb, ByteList({0x08, 0, 0, 2, 1, 0, 0, 0, 0, 0}));
}

TEST(CommandSetTest, ImprinterNvmDataIs521BytesOnTheWireFor520InTheRecord) {
  Engine e(true);
  ByteList answer(521, 0);
  answer[17] = 0x01;          // 32-bit field, big-endian
  answer[55] = 0x02;          // 16-bit field, big-endian
  answer[519] = 0x77;
  answer[520] = 0xEE;         // the extra byte stays out of the record
  e.script.On(op::kNewRead, Reply{answer});
  uint8_t record[520];
  EXPECT_TRUE(e.iface.GetImprNVMDataNew(record));
  EXPECT_EQ(e.pipes.commands[0].cdb, Cdb12(0xA8, 0x20B, 521));
  EXPECT_EQ(record[20], 0x01);
  EXPECT_EQ(record[56], 0x02);
  EXPECT_EQ(record[519], 0x77);
}

TEST(CommandSetTest, FixedAnswersAreTakenFromTheirOffsets) {
  Engine e(true);
  ByteList calibration(36, 0);
  calibration[4] = 0x13, calibration[5] = 0xEC;
  ByteList buttons(20, 0);
  buttons[4] = 1, buttons[10] = 3;
  e.script.On(op::kNewRead, Reply{calibration});
  e.script.On(op::kNewRead, Reply{buttons});
  e.script.On(op::kNewRead, Reply{{0, 0, 0, 0, 0, 0x01, 0x02}});
  e.script.On(op::kNewRead, Reply{[] {
                ByteList b(32, 0);
                b[30] = 0x01, b[31] = 0x2C;
                return b;
              }()});
  e.script.On(op::kNewRead, Reply{{0, 0, 0, 0, 0x1, 0x2, 0x3, 0x4}});
  e.script.On(op::kNewRead, Reply{{0, 0, 0, 0, 0, 0, 0, 55, 66}});
  e.script.On(op::kNewRead, Reply{{0, 0, 0, 0, 1}});
  ReduzidCalibFormat format{};
  EXPECT_TRUE(e.iface.ReadCalibrationFormat(format));
  EXPECT_EQ(Copy(format.PixelPerLine), 5100);
  ButtonReport report{};
  EXPECT_TRUE(e.iface.ReadButtonStatus(report));
  EXPECT_EQ(report.Status, 1);
  EXPECT_EQ(report.FuncNum, 3);
  uint8_t duplex[7];
  EXPECT_TRUE(e.iface.ReadDuplexTransferMode(duplex));
  EXPECT_EQ(duplex[5], 0x02);
  EXPECT_EQ(duplex[6], 0x01);
  uint16_t tray[14];
  EXPECT_TRUE(e.iface.ReadInputTrayAbility(tray));
  EXPECT_EQ(tray[13], 300);
  uint32_t value = 0;
  EXPECT_TRUE(e.iface.ReadEngineValue6F(&value));
  EXPECT_EQ(value, 0x1234u);
  uint8_t ink1 = 0, ink2 = 0;
  EXPECT_TRUE(e.iface.ReadImprInkRemaining(&ink1, &ink2));
  EXPECT_EQ(ink1, 55);
  EXPECT_EQ(ink2, 66);
  uint8_t lamp = 0;
  EXPECT_TRUE(e.iface.ReadLampStatus(&lamp));
  EXPECT_EQ(lamp, 1);
  const ByteList types = {0x60, 0xA1, 0xB2, 0xD5, 0x6F, 0x0F, 0xA0};
  const uint32_t lengths[] = {36, 20, 7, 32, 8, 9, 5};
  ASSERT_EQ(e.pipes.commands.size(), types.size());
  for (size_t i = 0; i < types.size(); ++i) {
    const uint16_t type = types[i] == 0x0F ? 0x20F : types[i];
    EXPECT_EQ(e.pipes.commands[i].cdb, Cdb12(0xA8, type, lengths[i]));
  }
}

TEST(CommandSetTest, CalibrationPollStartsOnceUntilTheEngineIsIdle) {
  Engine e(true);
  e.script.On(op::kNewRead, Reply{{0, 0, 0, 0, 1, 0, 0, 0}});
  e.script.On(op::kNewRead, Reply{{0, 0, 0, 0, 0, 0, 0, 0}});
  e.script.On(op::kNewRead, Reply{{0, 0, 0, 0, 1, 0, 0, 0}});
  uint8_t answer[8];
  EXPECT_TRUE(e.iface.PollEngineState6D(answer));
  EXPECT_TRUE(e.iface.PollEngineState6D(answer));
  EXPECT_EQ(e.iface.m_bCalibPollStarted, 0);
  EXPECT_TRUE(e.iface.PollEngineState6D(answer));
  const ByteList expected = {0xAA, 0xA8, 0xA8, 0xAA, 0xA8};
  EXPECT_EQ(e.pipes.Opcodes(), expected);
  EXPECT_EQ(e.pipes.commands[0].cdb, Cdb12(0xAA, 0x60, 8));
  EXPECT_EQ(e.pipes.commands[0].dataOut, ByteList({0, 0, 0, 8, 0, 0, 0, 0}));
  EXPECT_EQ(e.pipes.commands[1].cdb, Cdb12(0xA8, 0x6D, 8));
}

TEST(CommandSetTest, LcdReadsConvertOnlyWithinWhatArrived) {
  Engine e(true);
  ByteList header(20, 0);
  header[0] = 0x00, header[1] = 0x03, header[4] = 0, header[5] = 0, header[6] = 0x02, header[7] = 0x0B;
  e.script.On(op::kNewRead, Reply{header});
  uint8_t h[20];
  EXPECT_TRUE(e.iface.ReadLCDStringInfoHeaderNew(h));
  EXPECT_EQ(GetLE16(h), 3);
  EXPECT_EQ(GetLE32(h + 4), 0x020Bu);

  // Two entries stated, but only the first arrived.
  Engine strings(true);
  ByteList all(7 + 260 + 10, 0);
  all[3] = 0, all[4] = 0, all[5] = 0x02, all[6] = 0x0F;  // 527 = two entries
  all[7] = 0x00, all[8] = 0x05;
  all[267] = 0x00, all[268] = 0x09;  // the second entry's head arrived, the entry did not
  strings.script.On(op::kNewRead, Reply{all});
  ByteList buffer(600, 0xCC);
  EXPECT_TRUE(strings.iface.ReadLCDSpecifyStringDataAllNew(buffer.data(), 600));
  EXPECT_EQ(GetLE16(&buffer[7]), 5);
  EXPECT_EQ(buffer[267], 0x00);  // the second entry did not arrive whole: not converted
  EXPECT_EQ(buffer[268], 0x09);

  // Header fields that did not arrive whole are left as the caller's bytes were.
  Engine shortHeader(true);
  shortHeader.script.On(op::kNewRead, Reply{ByteList{0x00, 0x03, 0x00, 0x00, 0x02}});
  uint8_t partial[20];
  std::memset(partial, 0xCC, sizeof partial);
  EXPECT_TRUE(shortHeader.iface.ReadLCDStringInfoHeaderNew(partial));
  EXPECT_EQ(GetLE16(partial), 3);  // the count arrived
  EXPECT_EQ(partial[4], 0x02);     // the length did not arrive whole: as it came
  EXPECT_EQ(partial[5], 0xCC);
  EXPECT_EQ(partial[8], 0xCC);
  Engine shortTable(true);
  shortTable.script.On(op::kNewRead, Reply{ByteList{0x00, 0x01, 0x00, 0x00, 0x01}});
  ByteList table(600, 0xCC);
  EXPECT_TRUE(shortTable.iface.ReadLCDSpecifyStringDataAllNew(table.data(), 600));
  EXPECT_EQ(GetLE16(table.data()), 1);
  EXPECT_EQ(table[4], 0x01);
  for (size_t i = 5; i < table.size(); ++i) ASSERT_EQ(table[i], 0xCC) << i;
}

TEST(CommandSetTest, ClassicWindowSendsTheLengthByteAndPadsBeyondTheRecord) {
  Engine e(false);
  ReduzidWindowDesc w{};
  w.Data.Length = 0x1A0;
  w.Desc.XRes = 300;
  w.Desc.ModelBytes[81] = 0x99;  // the record's last byte
  EXPECT_TRUE(e.iface.SetWindow(w));
  ASSERT_EQ(e.pipes.commands.size(), 1u);
  EXPECT_EQ(e.pipes.commands[0].cdb, ByteList({0x24, 0, 0, 0, 0, 0, 0, 0, 0xA8, 0}));
  const ByteList& data = e.pipes.commands[0].dataOut;
  ASSERT_EQ(data.size(), 0xA8u);
  EXPECT_EQ(data[6], 0x01);
  EXPECT_EQ(data[7], 0xA0);
  EXPECT_EQ(data[10], 0x01);
  EXPECT_EQ(data[11], 0x2C);
  EXPECT_EQ(data[154], 0x99);
  for (size_t i = 155; i < data.size(); ++i) EXPECT_EQ(data[i], 0) << i;
  EXPECT_EQ(Copy(w.Desc.XRes), 300);  // the caller's record stays in host order
}

TEST(CommandSetTest, ClassicWindowWhoseLengthTheBlockCannotNameIsRefused) {
  // The length byte holds the low byte of the descriptor length plus 8: up to 0xF7 it names what
  // goes out; from 0xF8 on it would name 0 to 7 bytes while 256 or more went out.
  struct Case {
    uint16_t length;
    bool sent;
  };
  for (const Case c : {Case{0xF7, true}, Case{0x1F7, true}, Case{0xF8, false}, Case{0xFF, false}, Case{0x2FA, false}}) {
    SCOPED_TRACE(c.length);
    Engine e(false);
    ReduzidWindowDesc w{};
    w.Data.Length = c.length;
    e.iface.m_ulLastError = 0;
    EXPECT_EQ(e.iface.SetWindow(w), c.sent ? TRUE : FALSE);
    if (c.sent) {
      ASSERT_EQ(e.pipes.commands.size(), 1u);
      EXPECT_EQ(e.pipes.commands[0].cdb[8], (c.length & 0xFF) + 8);
      EXPECT_EQ(e.pipes.commands[0].dataOut.size(), static_cast<size_t>((c.length & 0xFF) + 8));
    } else {
      EXPECT_TRUE(e.pipes.commands.empty());
      EXPECT_EQ(e.iface.m_ulLastError, 0x8005u);
    }
  }
}

TEST(CommandSetTest, NewSetOnlyOperationsRefuseUnderTheClassicSet) {
  Engine e(false);
  uint8_t ip[68] = {};
  uint8_t record71[71];
  uint8_t page[9] = {0, 0, 1, 9};
  const std::vector<std::function<BOOL()>> calls = {
      [&] { return e.iface.CleanImprinterNew(); },
      [&] { return e.iface.ReadImprInkRemaining(nullptr, nullptr); },
      [&] { return e.iface.StopImprinter(); },
      [&] { return e.iface.DisableImprinter(); },
      [&] { return e.iface.SetImprPageSettingNew(page, sizeof page); },
      [&] { return e.iface.SendIP(ip); },
      [&] { return e.iface.SendResetDFDSelection(); },
      [&] { return e.iface.GetImprInquiry(record71); },
      [&] { return e.iface.SendERPTimeNew(5); },
      [&] { return e.iface.PollEngineState6D(nullptr); },
  };
  for (const auto& call : calls) {
    e.iface.m_ulLastError = 0;
    EXPECT_FALSE(call());
    EXPECT_EQ(e.iface.m_ulLastError, lld::kInvalidCommand);
  }
  EXPECT_TRUE(e.pipes.commands.empty());
}

TEST(CommandSetTest, OperationsWithoutANewSetCommand) {
  Engine e(true);
  EXPECT_TRUE(e.iface.ObjectPosition());
  EXPECT_TRUE(e.iface.LampControl(true));
  EXPECT_TRUE(e.pipes.commands.empty());
  EXPECT_TRUE(e.iface.ResetUnit());
  EXPECT_EQ(e.pipes.commands[0].cdb, ByteList({0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  // The classic SCAN has no new-set form: refused, nothing sent.
  EXPECT_FALSE(e.iface.Scan());
  EXPECT_EQ(e.iface.m_ulLastError, lld::kInvalidCommand);
  EXPECT_EQ(e.pipes.commands.size(), 1u);
  Engine classic(false);
  EXPECT_TRUE(classic.iface.ObjectPosition());
  EXPECT_TRUE(classic.iface.Scan());
  EXPECT_TRUE(classic.iface.ResetUnit());
  EXPECT_TRUE(classic.iface.ReleaseUnit(2));
  EXPECT_EQ(classic.pipes.Opcodes(), ByteList({0x31, 0x1B, 0x00, 0x17}));
  EXPECT_EQ(classic.pipes.commands[2].cdb[5], 0x01);
}

TEST(CommandSetTest, ImprinterPageSettingLongerThanItsBufferIsNotSent) {
  Engine e(true);
  const uint8_t record[9] = {0, 0, 1, 200, 0, 0, 0, 0x17, 0};
  EXPECT_FALSE(e.iface.SetImprPageSettingNew(record, sizeof record));
  EXPECT_EQ(e.iface.m_ulLastError, lld::kInternal);
  EXPECT_TRUE(e.pipes.commands.empty());
}

}  // namespace
}  // namespace rzd::lowdrv

namespace rzd::lowdrv {
namespace {

TEST(CommandSetTest, ARefusedReadIsNotTakenForTheSideEndOfAnEarlierOne) {
  Engine e(false);
  e.iface.m_bLongSense = 1;
  e.script.On(op::kRead10, Reply{ByteList(64, 1), 2});
  e.script.Sense({0x03, 0x80, 0x04, 64});
  std::vector<uint8_t> buffer(64);
  uint8_t end = 0;
  ImageReadResult r;
  ASSERT_TRUE(e.iface.ReadImageData(buffer.data(), 64, end, r));
  ASSERT_EQ(end, 1);
  // A length the classic block cannot carry is refused without a command.
  end = 0;
  EXPECT_FALSE(e.iface.ReadImageData(buffer.data(), 0x1000000, end, r));
  EXPECT_EQ(e.iface.m_ulLastError, lld::kInternal);
  EXPECT_EQ(end, 0);
  EXPECT_EQ(r.actualLength, 0u);
  EXPECT_EQ(r.transferred, 0u);
  EXPECT_EQ(e.pipes.commands.size(), 2u);
}

}  // namespace
}  // namespace rzd::lowdrv
