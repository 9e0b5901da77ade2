// The argument contract of Control and Read: for each code, which argument missing or zero gives
// which result, the BOOL the export answers, and whether the error slot (for Read: the metadata
// slot) was written. One table per export; the table is printed with the test's output.
#include "api_fixture.h"

#include <cstdio>
#include <functional>
#include <string>

namespace rzd::lowdrv::test {
namespace {

constexpr uint32_t kUnknownLocalCode = 0x00000001;
constexpr uint32_t kUnknownBstrLocalCode = 0x20000001;
constexpr uint32_t kUnknownDeviceCode = 0x80000063;

// The arguments of one Control call, complete by default.
struct ControlArgs {
  void* handle = nullptr;
  const char16_t* str = u"<Scanner/>";
  bool bstrOut = true;
  bool bufferIn = true;
  uint32_t inSize = 8;
  bool bufferOut = true;
  bool sizePtr = true;
  uint32_t size = 16;
  bool errorPtr = true;
};

enum class HandleKind { Open, Null, Unknown, Busy };

struct ControlRow {
  const char* what;
  uint32_t code;
  HandleKind handle;
  std::function<void(ControlArgs&)> change;
  LLDError result;
  bool errorWritten;
  bool driverCalled;
};

void None(ControlArgs&) {}

std::string Hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", v);
  return text;
}

class ContractTest : public ApiTest {
 protected:
  struct Outcome {
    LLDError result = 0;
    BOOL ok = FALSE;
    bool errorWritten = false;
    std::optional<int32_t> documentCode;
    int driverCalls = 0;
    std::u16string bstrOut;
  };

  // Runs the row once through the export (for the BOOL) and once through its worker (for the
  // result code), each with fresh arguments; both must agree on what was written.
  Outcome Run(const ControlRow& row, bool throughExport) {
    ControlArgs a;
    a.handle = HandleFor(row.handle);
    row.change(a);
    uint8_t in[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    uint8_t out[16] = {};
    uint32_t size = a.size;
    BSTR result = nullptr;
    BSTR error = nullptr;
    api::DeviceLease busy;
    if (row.handle == HandleKind::Busy) {
      EXPECT_EQ(api::DeviceTable::Instance().Lock(handle_, false, busy), 0u);
    }
    const int callsBefore = state_->controls.load();
    Outcome o;
    if (throughExport) {
      o.ok = Control(a.handle, row.code, a.str, a.bstrOut ? &result : nullptr, a.bufferIn ? in : nullptr, a.inSize,
                     a.bufferOut ? out : nullptr, a.sizePtr ? &size : nullptr, a.errorPtr ? &error : nullptr);
    } else {
      o.result = api::ControlCall(a.handle, row.code, a.str, a.bstrOut ? &result : nullptr, a.bufferIn ? in : nullptr,
                                  a.inSize, a.bufferOut ? out : nullptr, a.sizePtr ? &size : nullptr,
                                  a.errorPtr ? &error : nullptr);
    }
    busy.Release();
    o.driverCalls = state_->controls.load() - callsBefore;
    o.errorWritten = error != nullptr;
    if (error) o.documentCode = ErrorCodeOf(BstrView(error));
    o.bstrOut = std::u16string(BstrView(result));
    SysFreeString(error);
    SysFreeString(result);
    return o;
  }

  void* HandleFor(HandleKind kind) {
    switch (kind) {
      case HandleKind::Open:
      case HandleKind::Busy: return handle_;
      case HandleKind::Null: return nullptr;
      case HandleKind::Unknown: return &unknown_;
    }
    return nullptr;
  }

  void* handle_ = nullptr;
  int unknown_ = 0;
};

const ControlRow kControlRows[] = {
    // code 0x8000000F: refused before anything is looked at.
    {"hardware reset, all given", cc::kResetHardware, HandleKind::Open, None, 0x800A, false, false},
    {"hardware reset, no handle, no error slot", cc::kResetHardware, HandleKind::Null,
     [](ControlArgs& a) { a.errorPtr = false; }, 0x800A, false, false},
    // No error slot: nothing happens, whatever the code.
    {"device code, no error slot", cc::kCurrentSettings, HandleKind::Open, [](ControlArgs& a) { a.errorPtr = false; },
     0x8005, false, false},
    {"device list, no error slot", cc::kDeviceList, HandleKind::Null, [](ControlArgs& a) { a.errorPtr = false; },
     0x8005, false, false},
    // The handle bit.
    {"status, null handle", cc::kStatus, HandleKind::Null, None, 0x8003, false, false},
    {"status, handle not in the list", cc::kStatus, HandleKind::Unknown, None, 0x8003, false, false},
    {"status, handle in use", cc::kStatus, HandleKind::Busy, None, 0x8008, false, false},
    {"notification (force), handle in use", cc::kSessionStateChanged, HandleKind::Busy, None, 0, true, true},
    {"close, null handle", cc::kClose, HandleKind::Null, None, 0x8003, false, false},
    {"close, handle not in the list", cc::kClose, HandleKind::Unknown, None, 0x8003, false, false},
    // The argument bits, checked after the lock: the object is at hand, so a document is written.
    {"set settings, no string", cc::kSetCurrentSettings, HandleKind::Open, [](ControlArgs& a) { a.str = nullptr; },
     0x8005, true, false},
    {"current settings, no BSTR result", cc::kCurrentSettings, HandleKind::Open,
     [](ControlArgs& a) { a.bstrOut = false; }, 0x8005, true, false},
    {"lock, no input buffer", cc::kLock, HandleKind::Open, [](ControlArgs& a) { a.bufferIn = false; }, 0x8005, true,
     false},
    {"lock, input size 0", cc::kLock, HandleKind::Open, [](ControlArgs& a) { a.inSize = 0; }, 0x8005, true, false},
    {"status, no output buffer", cc::kStatus, HandleKind::Open, [](ControlArgs& a) { a.bufferOut = false; }, 0x8005,
     true, false},
    {"status, no size pointer", cc::kStatus, HandleKind::Open, [](ControlArgs& a) { a.sizePtr = false; }, 0x8005, true,
     false},
    {"status, size 0", cc::kStatus, HandleKind::Open, [](ControlArgs& a) { a.size = 0; }, 0x8005, true, false},
    {"calibration status, no input buffer and size 0", cc::kCalibrationStatus, HandleKind::Open,
     [](ControlArgs& a) {
       a.bufferIn = false;
       a.size = 0;
     },
     0x8005, true, false},
    // Passed on to the driver object, also codes the list does not know.
    {"status, all given", cc::kStatus, HandleKind::Open, None, 0, true, true},
    {"current settings, no buffers (not asked for)", cc::kCurrentSettings, HandleKind::Open,
     [](ControlArgs& a) {
       a.bufferIn = false;
       a.bufferOut = false;
       a.sizePtr = false;
       a.str = nullptr;
     },
     0, true, true},
    {"unknown device code", kUnknownDeviceCode, HandleKind::Open, None, 0, true, true},
    // Local codes: no driver object, so never a document.
    {"device list, no BSTR result", cc::kDeviceList, HandleKind::Null, [](ControlArgs& a) { a.bstrOut = false; }, 0x8005,
     false, false},
    {"device list, all given", cc::kDeviceList, HandleKind::Null, None, 0, false, false},
    {"namespace list, no BSTR result", cc::kNamespaceList, HandleKind::Null, [](ControlArgs& a) { a.bstrOut = false; },
     0x8005, false, false},
    {"namespace list, all given", cc::kNamespaceList, HandleKind::Null, None, 0, false, false},
    {"schema, no string", cc::kSchema, HandleKind::Null, [](ControlArgs& a) { a.str = nullptr; }, 0x8005, false, false},
    {"schema, no BSTR result", cc::kSchema, HandleKind::Null, [](ControlArgs& a) { a.bstrOut = false; }, 0x8005, false,
     false},
    {"schema, unknown namespace", cc::kSchema, HandleKind::Null, None, 0x8005, false, false},
    {"schema, known namespace (not carried)", cc::kSchema, HandleKind::Null,
     [](ControlArgs& a) { a.str = u"http://www.corvanite.com/xmlschemas/1.0/Scanner"; }, 0x8002, false, false},
    {"open, no string", cc::kOpen, HandleKind::Null, [](ControlArgs& a) { a.str = nullptr; }, 0x8005, false, false},
    {"open, no output buffer", cc::kOpen, HandleKind::Null, [](ControlArgs& a) { a.bufferOut = false; }, 0x8005, false,
     false},
    {"open, no size pointer", cc::kOpen, HandleKind::Null, [](ControlArgs& a) { a.sizePtr = false; }, 0x8005, false,
     false},
    {"open, size 0", cc::kOpen, HandleKind::Null, [](ControlArgs& a) { a.size = 0; }, 0x8005, false, false},
    {"open, size 7 (below one pointer)", cc::kOpen, HandleKind::Null, [](ControlArgs& a) { a.size = 7; }, 0x8005, false,
     false},
    {"open, path of no online unit", cc::kOpen, HandleKind::Null, None, 0x8000, false, false},
    {"unknown local code", kUnknownLocalCode, HandleKind::Null, None, 0x800A, false, false},
    {"unknown local code with BSTR bit", kUnknownBstrLocalCode, HandleKind::Null, None, 0x800A, false, false},
    // Supported settings without a usable handle: the device description, no document.
    {"supported settings, handle not in the list", cc::kSupportedSettings, HandleKind::Unknown, None, 0, false, false},
    {"supported settings, handle in use", cc::kSupportedSettings, HandleKind::Busy, None, 0, false, false},
    {"supported settings, unknown handle, no BSTR result", cc::kSupportedSettings, HandleKind::Unknown,
     [](ControlArgs& a) { a.bstrOut = false; }, 0x8003, false, false},
    {"supported settings, open handle", cc::kSupportedSettings, HandleKind::Open, None, 0, true, true},
};

TEST_F(ContractTest, ControlArgumentTable) {
  handle_ = Open();
  ASSERT_NE(handle_, nullptr);
  std::printf("%-62s %-10s %-8s %-5s %-13s\n", "Control: code, argument", "code", "result", "BOOL", "error slot");
  for (const ControlRow& row : kControlRows) {
    SCOPED_TRACE(row.what);
    const Outcome worker = Run(row, false);
    const Outcome exported = Run(row, true);
    EXPECT_EQ(worker.result, row.result);
    EXPECT_EQ(exported.ok, row.result == 0 ? TRUE : FALSE);
    EXPECT_EQ(worker.errorWritten, row.errorWritten);
    EXPECT_EQ(exported.errorWritten, row.errorWritten);
    if (row.errorWritten) {
      EXPECT_EQ(worker.documentCode, static_cast<int32_t>(row.result));
      EXPECT_EQ(exported.documentCode, static_cast<int32_t>(row.result));
    }
    EXPECT_EQ(worker.driverCalls, row.driverCalled ? 1 : 0);
    EXPECT_EQ(exported.driverCalls, row.driverCalled ? 1 : 0);
    std::printf("%-62s %-10s %-8s %-5s %-13s\n", row.what, Hex(row.code).c_str(), Hex(worker.result).c_str(),
                exported.ok ? "TRUE" : "FALSE", worker.errorWritten ? "written" : "untouched");
  }
  // The handle is still open and idle after every row.
  EXPECT_EQ(api::DeviceTable::Instance().Count(), 1u);
  EXPECT_FALSE(api::DeviceTable::Instance().IsMarkedInUse(handle_));
  EXPECT_EQ(api::DeviceTable::Instance().CallsInFlight(handle_), 0u);
}

TEST_F(ContractTest, SupportedSettingsWithoutAHandleIsTheDeviceDescription) {
  BSTR result = nullptr;
  BSTR error = nullptr;
  int unknown = 0;
  EXPECT_TRUE(Control(&unknown, cc::kSupportedSettings, nullptr, &result, nullptr, 0, nullptr, nullptr, &error));
  EXPECT_EQ(error, nullptr);
  ASSERT_NE(result, nullptr);
  const std::u16string text(BstrView(result));
  EXPECT_NE(text.find(u"<Scanner"), std::u16string::npos) << ToUtf8(text.substr(0, 200));
  EXPECT_NE(text.front(), u'\xFEFF');  // the byte-order mark is not part of the text
  SysFreeString(result);
}

TEST_F(ContractTest, ErrorSlotAlreadyHoldingABstrIsReplacedNotFreed) {
  handle_ = Open();
  // The caller passes the slot empty; a BSTR left there stays the caller's (it is not freed).
  rzd::Bstr callersOwn(u"left by the caller");
  BSTR slot = callersOwn.Get();
  uint32_t status = 0;
  uint32_t size = sizeof status;
  EXPECT_TRUE(Control(handle_, cc::kStatus, nullptr, nullptr, nullptr, 0, &status, &size, &slot));
  ASSERT_NE(slot, callersOwn.Get());
  EXPECT_EQ(ErrorCodeOf(BstrView(slot)), 0);
  EXPECT_EQ(callersOwn.View(), u"left by the caller");
  SysFreeString(slot);
}

// ---- Read.

struct ReadArgs {
  void* handle = nullptr;
  bool buffer = true;
  bool sizePtr = true;
  uint32_t size = 16;
  bool metaPtr = true;
  bool boundaryPtr = true;
};

struct ReadRow {
  const char* what;
  HandleKind handle;
  std::function<void(ReadArgs&)> change;
  LLDError driverResult;
  LLDError result;
  bool metaWritten;
  bool driverCalled;
};

void NoRead(ReadArgs&) {}

const ReadRow kReadRows[] = {
    {"null handle", HandleKind::Null, NoRead, 0, 0x8003, false, false},
    {"null handle and no buffer (handle first)", HandleKind::Null, [](ReadArgs& a) { a.buffer = false; }, 0, 0x8003,
     false, false},
    {"no buffer", HandleKind::Open, [](ReadArgs& a) { a.buffer = false; }, 0, 0x8005, false, false},
    {"no size pointer", HandleKind::Open, [](ReadArgs& a) { a.sizePtr = false; }, 0, 0x8005, false, false},
    {"size 0", HandleKind::Open, [](ReadArgs& a) { a.size = 0; }, 0, 0x8005, false, false},
    {"no metadata slot", HandleKind::Open, [](ReadArgs& a) { a.metaPtr = false; }, 0, 0x8005, false, false},
    {"no boundary pointer", HandleKind::Open, [](ReadArgs& a) { a.boundaryPtr = false; }, 0, 0x8005, false, false},
    {"handle not in the list", HandleKind::Unknown, NoRead, 0, 0x8003, false, false},
    {"handle in use", HandleKind::Busy, NoRead, 0, 0x8008, false, false},
    {"driver read fails", HandleKind::Open, NoRead, 0x8007, 0x8007, true, true},
    {"driver read succeeds", HandleKind::Open, NoRead, 0, 0, false, true},
};

TEST_F(ContractTest, ReadArgumentTable) {
  handle_ = Open();
  ASSERT_NE(handle_, nullptr);
  LLDError driverResult = 0;
  state_->onRead = [&](uint8_t* buffer, uint32_t* size, BSTR*, uint32_t* boundary) {
    buffer[0] = 0x5A;
    *size = 1;
    *boundary = 6;
    return driverResult;
  };
  std::printf("%-45s %-8s %-5s %-13s\n", "Read: argument", "result", "BOOL", "metadata slot");
  for (const ReadRow& row : kReadRows) {
    SCOPED_TRACE(row.what);
    driverResult = row.driverResult;
    for (const bool throughExport : {false, true}) {
      ReadArgs a;
      a.handle = HandleFor(row.handle);
      row.change(a);
      uint8_t buffer[16] = {};
      uint32_t size = a.size;
      uint32_t boundary = 0;
      // A BSTR already in the slot: kept when nothing is written, freed when replaced.
      BSTR previous = AllocBstr(u"previous");
      BSTR meta = previous;
      api::DeviceLease busy;
      if (row.handle == HandleKind::Busy) {
        ASSERT_EQ(api::DeviceTable::Instance().Lock(handle_, false, busy), 0u);
      }
      const int readsBefore = state_->reads.load();
      LLDError result = 0;
      BOOL ok = FALSE;
      if (throughExport) {
        ok = Read(a.handle, a.buffer ? buffer : nullptr, a.sizePtr ? &size : nullptr, a.metaPtr ? &meta : nullptr,
                  a.boundaryPtr ? &boundary : nullptr);
      } else {
        result = api::ReadCall(a.handle, a.buffer ? buffer : nullptr, a.sizePtr ? &size : nullptr,
                               a.metaPtr ? &meta : nullptr, a.boundaryPtr ? &boundary : nullptr);
        EXPECT_EQ(result, row.result);
      }
      busy.Release();
      if (throughExport) {
        EXPECT_EQ(ok, row.result == 0 ? TRUE : FALSE);
      }
      EXPECT_EQ(state_->reads.load() - readsBefore, row.driverCalled ? 1 : 0);
      const bool written = meta != previous;
      EXPECT_EQ(written, row.metaWritten);
      if (written) {
        EXPECT_EQ(ErrorCodeOf(BstrView(meta)), static_cast<int32_t>(row.result));
        SysFreeString(meta);  // `previous` was freed by Read
      } else {
        EXPECT_EQ(BstrView(meta), u"previous");
        SysFreeString(previous);
      }
      if (row.driverCalled && row.result == 0) {
        EXPECT_EQ(buffer[0], 0x5A);
        EXPECT_EQ(size, 1u);
        EXPECT_EQ(boundary, 6u);
      }
      if (!throughExport) {
        std::printf("%-45s %-8s %-5s %-13s\n", row.what, Hex(result).c_str(), result == 0 ? "TRUE" : "FALSE",
                    written ? "written" : "untouched");
      }
    }
  }
  EXPECT_FALSE(api::DeviceTable::Instance().IsMarkedInUse(handle_));
}

}  // namespace
}  // namespace rzd::lowdrv::test
