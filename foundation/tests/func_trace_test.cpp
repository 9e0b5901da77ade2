#include "foundation/func_trace.h"
#include "recording_logger.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace rzd {
namespace {

using test::PublishedLogger;

int g_evaluations = 0;
int Evaluated(int value) {
  ++g_evaluations;
  return value;
}

class CTraced : public CLogClient {
 public:
  CTraced(const std::u16string& name, CLogInterfacePtr slot) : CLogClient(name, slot) {}

  HRESULT Lock(int32_t lPID, int32_t* lpStatus, uint32_t dwTimeout) {
    HRESULT hr = S_OK;
    RZD_FUNC_TRACE(u"CTraced::Lock");
    RZD_TRACE_HRESULT(&hr, u"LONG lPID = 0x%08X, DWORD dwTimeout = %d", Evaluated(lPID), dwTimeout);
    RZD_TRACE_OUTPUT(u"*lpStatus = 0x%08X", lpStatus, kTraceUInt32);
    *lpStatus = 0x2A;
    hr = E_FAIL;
    return hr;
  }
};

class FuncTrace : public testing::Test {
 protected:
  // A fresh feature with the given levels, and a trace object logging to the recorder.
  std::u16string Feature(const char16_t* name, int32_t feature, int32_t data) {
    CLogInterface::LookupFeatureLevel(name)->store(feature);
    CLogInterface::LookupFeatureLevel(std::u16string(name) + u".Data")->store(data);
    return name;
  }
  std::vector<std::u16string> Lines() { return published_.Logger().Texts(); }
  PublishedLogger published_;
};

TEST_F(FuncTrace, OnlyTheDataLevelWritesInputOutputAndExitButNoEntry) {
  CTraced traced(Feature(u"Trace.DataOnly", 0, 4), published_.Slot());
  int32_t status = 0;
  EXPECT_EQ(traced.Lock(7, &status, 500), E_FAIL);
  auto lines = published_.Logger().Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].text, u"CTraced::Lock: LONG lPID = 0x00000007, DWORD dwTimeout = 500");
  EXPECT_EQ(lines[0].feature, u"Trace.DataOnly.Data");
  EXPECT_EQ(lines[1].text, u"CTraced::Lock: *lpStatus = 0x0000002A");
  EXPECT_EQ(lines[1].feature, u"Trace.DataOnly.Data");
  EXPECT_EQ(lines[2].text, u"CTraced::Lock Exited: (0x80004005)");
  EXPECT_EQ(lines[2].feature, u"Trace.DataOnly");
  for (const auto& line : lines) EXPECT_EQ(line.level, 4u);
}

TEST_F(FuncTrace, OnlyTheFeatureLevelWritesEntryAndExit) {
  CTraced traced(Feature(u"Trace.FeatureOnly", 4, 0), published_.Slot());
  int32_t status = 0;
  g_evaluations = 0;
  traced.Lock(7, &status, 500);
  EXPECT_EQ(g_evaluations, 0);  // input parameters belong to the data level
  EXPECT_EQ(Lines(), (std::vector<std::u16string>{u"CTraced::Lock Entered.", u"CTraced::Lock Exited."}));
}

TEST_F(FuncTrace, NothingIsBuiltWhenBitFourIsOff) {
  CTraced traced(Feature(u"Trace.Off", 3, 3), published_.Slot());
  EXPECT_EQ(CreateFuncTrace(traced, u"CTraced::Lock"), nullptr);
  int32_t status = 0;
  g_evaluations = 0;
  traced.Lock(7, &status, 500);
  EXPECT_EQ(g_evaluations, 0);
  EXPECT_TRUE(Lines().empty());
}

TEST_F(FuncTrace, NothingIsBuiltWithoutALogger) {
  Feature(u"Trace.NoLogger", 4, 4);
  LogObjectSlot empty;
  CTraced traced(u"Trace.NoLogger", &empty);
  EXPECT_EQ(CreateFuncTrace(traced, u"CTraced::Lock"), nullptr);
}

TEST_F(FuncTrace, OutputParameterTypeCodes) {
  CLogClient owner(Feature(u"Trace.Types", 0, 4), published_.Slot());
  uint8_t u8 = 0xF0;
  int8_t i8 = -5;
  uint16_t u16 = 0xBEEF;
  int32_t i32 = -123456;
  uint16_t i16Bits = 0xFFFF;  // read as signed 16-bit
  uint32_t u32 = 0xDEADBEEF;
  float f = 1.5f;
  double d = -2.25;
  int64_t i64 = -5000000000LL;
  uint64_t u64 = 0x123456789ABCDEF0ULL;
  std::u16string text = u"wide";
  void* pointer = reinterpret_cast<void*>(uintptr_t{0x123456789ABCDEF0ULL});
  const char16_t* raw = u"raw";
  struct Case {
    const char16_t* format;
    const void* value;
    int type;
    const char16_t* expected;
  };
  const Case cases[] = {
      {u"%u", &u8, 0, u"240"},
      {u"%d", &i8, 1, u"-5"},
      {u"%02X", &u8, 2, u"F0"},
      {u"%04X", &u16, 3, u"BEEF"},
      {u"%d", &i32, 4, u"-123456"},
      {u"%d", &i16Bits, 5, u"-1"},
      {u"0x%08X", &u32, 6, u"0xDEADBEEF"},
      {u"%.2f", &f, 7, u"1.50"},
      {u"%.3f", &d, 8, u"-2.250"},
      {u"%I64d", &i64, 9, u"-5000000000"},
      {u"%I64X", &u64, 10, u"123456789ABCDEF0"},
      {u"%s", &text, 11, u"wide"},
      {u"%p", &pointer, 12, u"123456789ABCDEF0"},
      {u"%d", &i32, 13, u"[Unknown Param Type]"},
      {u"%s", &raw, 32, u"raw"},
  };
  for (const Case& c : cases) {
    published_.Logger().Clear();
    {
      CFuncTraceHolder holder(CreateFuncTrace(owner, u"C::M"));
      ASSERT_TRUE(holder);
      holder->AddOutputParams(c.format, c.value, c.type, kTraceEnd);
    }
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 2u) << c.type;
    EXPECT_EQ(lines[0], u"C::M: " + std::u16string(c.expected)) << c.type;
  }
}

TEST_F(FuncTrace, OutputParametersAreReadAtExitInOrderAndListsStopAtNull) {
  CLogClient owner(Feature(u"Trace.Outputs", 0, 4), published_.Slot());
  int32_t a = 1;
  int32_t b = 2;
  int32_t c = 3;
  {
    CFuncTraceHolder holder(CreateFuncTrace(owner, u"C::M"));
    ASSERT_TRUE(holder);
    holder->AddOutputParams(u"a=%d", &a, kTraceInt32, u"b=%d", &b, kTraceInt32, u"c=%d", &c, kTraceInt32, kTraceEnd);
    // A second list numbers from 0 again: it replaces a and b and keeps c. It stops at the null pointer.
    holder->AddOutputParams(u"A=%d", &a, kTraceInt32, u"bad=%d", static_cast<const void*>(nullptr), kTraceInt32,
                            u"never=%d", &b, kTraceInt32, kTraceEnd);
    a = 10;  // read when the trace ends
    c = 30;
  }
  EXPECT_EQ(Lines()[0], u"C::M: A=10, b=2, c=30");
}

TEST_F(FuncTrace, AnUnknownTypeCodeKeepsTheOtherEntries) {
  CLogClient owner(Feature(u"Trace.Unknown", 0, 4), published_.Slot());
  int32_t a = 1;
  int32_t b = 2;
  {
    CFuncTraceHolder holder(CreateFuncTrace(owner, u"C::M"));
    holder->AddOutputParams(u"a=%d", &a, kTraceInt32, u"x=%d", &a, 13, u"b=%d", &b, kTraceInt32, kTraceEnd);
  }
  EXPECT_EQ(Lines()[0], u"C::M: a=1, [Unknown Param Type], b=2");
}

TEST_F(FuncTrace, ResultSlotsAndTheirExitFormats) {
  CLogClient owner(Feature(u"Trace.Results", 4, 0), published_.Slot());
  HRESULT hr = MakeHr(0x80004005);
  bool yes = true;
  bool no = false;
  int32_t number = -7;
  std::u16string text = u"done";
  void* pointer = reinterpret_cast<void*>(uintptr_t{0x123456789ABCDEF0ULL});
  void* small = reinterpret_cast<void*>(uintptr_t{0x1234});
  uint32_t dword = 0xAB;
  uint16_t word = 0xC;
  float f = 0.5f;
  struct Case {
    std::function<void(CFuncTrace&)> set;
    const char16_t* expected;
  };
  const Case cases[] = {
      {[&](CFuncTrace& t) { t.SetHResultReturn(&hr); }, u"C::M Exited: (0x80004005)"},
      {[&](CFuncTrace& t) { t.SetBoolReturn(&yes); }, u"C::M Exited: (TRUE)"},
      {[&](CFuncTrace& t) { t.SetBoolReturn(&no); }, u"C::M Exited: (FALSE)"},
      {[&](CFuncTrace& t) { t.SetIntReturn(&number); }, u"C::M Exited: (-7)"},
      {[&](CFuncTrace& t) { t.SetStringReturn(&text); }, u"C::M Exited: (done)"},
      {[&](CFuncTrace& t) { t.SetPointerReturn(&pointer); }, u"C::M Exited: (0x123456789ABCDEF0)"},
      {[&](CFuncTrace& t) { t.SetPointerReturn(&small); }, u"C::M Exited: (0x    1234)"},
      {[&](CFuncTrace& t) { t.SetDWordReturn(&dword); }, u"C::M Exited: (0x      AB)"},
      {[&](CFuncTrace& t) { t.SetWordReturn(&word); }, u"C::M Exited: (0x   C)"},
      {[&](CFuncTrace& t) { t.SetFloatReturn(&f); }, u"C::M Exited: (0.500000)"},
      {[&](CFuncTrace&) {}, u"C::M Exited."},
      // The first slot in precedence order wins, whatever order they were set in.
      {[&](CFuncTrace& t) {
         t.SetFloatReturn(&f);
         t.SetIntReturn(&number);
         t.SetBoolReturn(&no);
       },
       u"C::M Exited: (FALSE)"},
  };
  for (const Case& c : cases) {
    published_.Logger().Clear();
    {
      CFuncTraceHolder holder(CreateFuncTrace(owner, u"C::M"));
      ASSERT_TRUE(holder);
      c.set(*holder.Get());
    }
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], u"C::M Entered.");
    EXPECT_EQ(lines[1], c.expected);
  }
}

TEST_F(FuncTrace, ALoggerWithdrawnDuringTheCallGetsNoMoreLines) {
  Feature(u"Trace.Withdrawn", 4, 4);
  test::RecordingLogger logger;
  LogObjectSlot slot;
  slot.Publish(&logger);
  CLogClient owner(u"Trace.Withdrawn", &slot);
  {
    CFuncTraceHolder holder(CreateFuncTrace(owner, u"C::M"));
    ASSERT_TRUE(holder);
    slot.Withdraw();
  }
  EXPECT_EQ(logger.Texts(), std::vector<std::u16string>{u"C::M Entered."});
}

}  // namespace
}  // namespace rzd
