// The bridge's tests: a root of their own, COM, the IRZDHAL proxy/stub, the raster-block library
// registered, the scripted scanner service registered as instance 0 (and 1), a capture of what the
// bridge logs, and a bridge object made from the library's code.
#pragma once

#include "m48tz_inproc.h"
#include "scan_script.h"

#include "interfaces/rzdhal_proxy_stub.h"
#include "platform/com.h"
#include "platform/modules.h"
#include "platform/process.h"
#include "platform/text.h"
#include "rasterblocks/block_reader.h"
#include "scanhost/instance_ids.h"
#include "test_server.h"
#include "testsupport/log_capture.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace rzd::nethal::test {

// What the bridge logs: every level of the bridge's features on while it lives.
class BridgeLogCapture : public rzd::test::LogCapture {
 public:
  static constexpr char16_t kFeature[] = u"CRZDHALScannerInProc Interface";
  BridgeLogCapture() : LogCapture(WithData({kFeature})) {}
  // A line at `level` holding `part`.
  bool Has(uint32_t level, const std::u16string& part) const {
    const std::vector<Line> lines = Lines();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const Line& l) { return l.level == level && l.text.find(part) != std::u16string::npos; });
  }
};

inline CLSID InstanceClass(uint32_t instance) { return scanhost::kInstanceClasses[instance]; }
inline std::u16string InstanceClassText(uint32_t instance) { return FormatGuid(InstanceClass(instance)); }

// The document of code 14 as the panel sends it: line breaks and a tab around the class.
inline std::u16string HalClsidDocument(uint32_t instance) {
  return u"<HAL_CLSID>\n\t" + InstanceClassText(instance) + u"\n</HAL_CLSID>";
}

class BridgeTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Ok());
    ASSERT_EQ(RegisterRzdHalProxyStub(), S_OK);
    auto rasterBlocks = Module::Load(RZD_RASTERBLOCKS_LIBRARY);
    ASSERT_TRUE(rasterBlocks);
    ASSERT_EQ(rasterBlocks->Bind<HRESULT (*)()>("DllRegisterServer")(), S_OK);
    rzd::test::RegisterScriptedService(InstanceClass(0));
    rzd::test::RegisterScriptedService(InstanceClass(1));
    bridge_ = MakeComObject<CRZDHALM48tzInProc>();
    ASSERT_TRUE(bridge_);
  }
  void TearDown() override {
    bridge_.Reset();
    rzd::test::KillTestServers();
  }

  // A control code with empty buffers; *out gets the output document.
  HRESULT Control(LONG code, std::u16string_view in, std::u16string* out = nullptr, VARIANT* bufIn = nullptr) {
    LocalVariant emptyIn;
    LocalVariant outValue;
    Bstr text(in);
    Bstr answer;
    const HRESULT hr = bridge_->Control(code, in.empty() ? nullptr : text.Get(), answer.Out(),
                                       bufIn != nullptr ? bufIn : &emptyIn.value, &outValue.value);
    if (out != nullptr) *out = answer.Str();
    return hr;
  }

  HRESULT Open(uint32_t instance = 0) { return Control(14, HalClsidDocument(instance)); }

  HRESULT Lock() {
    LONG status = -1;
    return bridge_->LockScanner(static_cast<LONG>(CurrentProcessId()), &status, 5000);
  }

  // The scripted service's calls of one kind ("control 14", "read", ...).
  static std::vector<std::string> Calls(const std::string& start) {
    std::vector<std::string> found;
    for (const std::string& call : rzd::test::ScanCalls()) {
      if (call.rfind(start, 0) == 0) found.push_back(call);
    }
    return found;
  }

  ComInit com_{COINIT_MULTITHREADED};
  BridgeLogCapture log_;
  ComPtr<CRZDHALM48tzInProc> bridge_;
};

}  // namespace rzd::nethal::test
