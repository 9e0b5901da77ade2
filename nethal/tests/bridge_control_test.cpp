// The bridge's forwarding: the instance list it answers itself, opening an instance (and the
// process id sent again after a failure), lock and unlock, reads, and which codes reach the
// service.
#include "bridge_fixture.h"

#include "foundation/xml_store.h"
#include "platform/registry.h"

namespace rzd::nethal::test {
namespace {

using BridgeControlTest = BridgeTest;

TEST_F(BridgeControlTest, CodeZeroAnswersTheInstanceListWithDoubleBracesAndNeedsNoService) {
  std::u16string expected = u"<HALIDList ScannerModel=\"M48tz\">";
  for (int id = 0; id < 10; ++id) {
    expected += std::u16string(31, u' ') + u"<HALGUID ID=\"" + FromUtf8(std::to_string(id)) + u"\">{" +
                InstanceClassText(id) + u"}</HALGUID>";
  }
  expected += std::u16string(31, u' ') + u"</HALIDList>";
  for (LONG code : {0x0, 0x100}) {  // the value bits do not matter
    std::u16string list;
    ASSERT_EQ(Control(code, u"", &list), S_OK);
    EXPECT_EQ(list, expected);
    EXPECT_EQ(list.size(), 1045u);
    EXPECT_EQ(list.find(u"{{D5BE08B1-6646-45E2-BA71-D556CB1C272E}}"), 79u);
  }
  EXPECT_TRUE(rzd::test::ScanCalls().empty());  // never forwarded, no service started
}

TEST_F(BridgeControlTest, CodeFourteenOpensTheInstanceSendsTheProcessIdAndForwardsTheDocument) {
  ASSERT_EQ(Open(0), S_OK);
  const std::vector<std::string> calls = rzd::test::ScanCalls();
  ASSERT_EQ(calls.size(), 2u) << testing::PrintToString(calls);
  EXPECT_EQ(calls[0], "control 35 in= bufin=19:" + std::to_string(CurrentProcessId()));
  EXPECT_EQ(calls[1], "control 14 in=<HAL_CLSID>\\n\\t{D5BE08B1-6646-45E2-BA71-D556CB1C272E}\\n</HAL_CLSID> bufin=0:0");
  EXPECT_TRUE(log_.Has(4, u"HAL Service Opened - \"{D5BE08B1-6646-45E2-BA71-D556CB1C272E}\""));

  // A second code 14 naming another instance goes to the instance already open.
  ASSERT_EQ(Open(1), S_OK);
  EXPECT_EQ(Calls("control 14").size(), 2u);
  EXPECT_EQ(Calls("control 35").size(), 1u);
  EXPECT_EQ(rzd::test::StartedTestServers().size(), 1u);
}

TEST_F(BridgeControlTest, DocumentsWithoutAClassAreRefused) {
  const struct {
    const char16_t* document;
    const char16_t* line;
  } kCases[] = {
      {u"<HAL_CLSID>{D5BE08B1-6646-45E2-BA71-D556CB1C272X}</HAL_CLSID>", u"Couldn't parse a CLSID from XML"},
      {u"<HAL_CLSID>D5BE08B1-6646-45E2-BA71-D556CB1C272E</HAL_CLSID>", u"Couldn't parse a CLSID from XML"},
      {u"not a document", u"Couldn't seek to XML root"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Control(14, c.document), E_FAIL) << ToUtf8(c.document);
    EXPECT_TRUE(log_.Has(1, c.line)) << ToUtf8(c.document);
  }
  EXPECT_TRUE(rzd::test::ScanCalls().empty());
  // An instance nobody serves: the activation's failure comes back.
  rzd::RegKey::DeleteTree(rzd::Hive::LocalMachine, u"SOFTWARE\\Classes\\CLSID\\" + FormatGuid(InstanceClass(2)));
  EXPECT_EQ(Open(2), REGDB_E_CLASSNOTREG);
  EXPECT_TRUE(log_.Has(1, u"Couldn't CoCreate a \"" + InstanceClassText(2) + u"\""));
}

TEST_F(BridgeControlTest, AProcessIdTheServiceRefusedIsSentAgainWithTheNextCodeFourteen) {
  rzd::test::WriteScanScript({"pid-failures=1"});
  EXPECT_EQ(Open(0), E_FAIL);
  EXPECT_TRUE(log_.Has(1, u"Couldn't CoCreate a"));
  EXPECT_EQ(Calls("control 14").size(), 0u);
  // Without the process id the service could never lock for this process.
  ASSERT_EQ(Open(0), S_OK);
  EXPECT_EQ(Calls("control 35").size(), 2u);
  EXPECT_EQ(Calls("control 14").size(), 1u);
  EXPECT_EQ(rzd::test::StartedTestServers().size(), 1u);  // the same service
  EXPECT_EQ(Lock(), S_OK);
}

TEST_F(BridgeControlTest, ABusyUnitAnswersOneSeventyThroughCodeFourteen) {
  rzd::test::WriteScanScript({"connect=170"});
  EXPECT_EQ(Open(0), 170);
}

TEST_F(BridgeControlTest, LockAndUnlockFollowTheBridgesOwnRules) {
  LONG status = -1;
  EXPECT_EQ(bridge_->LockScanner(0, &status, 100), E_INVALIDARG);
  EXPECT_EQ(bridge_->LockScanner(1, nullptr, 100), E_INVALIDARG);
  EXPECT_EQ(bridge_->LockScanner(1, &status, 100), E_NOTIMPL);  // no service
  EXPECT_EQ(bridge_->UnlockScanner(&status), E_FAIL);           // never locked
  EXPECT_EQ(bridge_->UnlockScanner(nullptr), E_INVALIDARG);

  ASSERT_EQ(Open(0), S_OK);
  EXPECT_EQ(bridge_->UnlockScanner(&status), E_FAIL);  // still not locked: the service is not asked
  EXPECT_TRUE(Calls("unlock").empty());

  // A busy unit: 170 (a success code) with a status of 0, and the bridge counts itself locked, so
  // a read goes to the service.
  rzd::test::WriteScanScript({"lock=170"});
  status = -1;
  EXPECT_EQ(bridge_->LockScanner(static_cast<LONG>(CurrentProcessId()), &status, 2500), 170);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Calls("lock").back(), "lock " + std::to_string(CurrentProcessId()) + " 2500");
  Bstr raster(u"Raster");
  Bstr meta(u"None");
  bridge_->Read(raster.Get(), meta.Get(), 3);
  EXPECT_EQ(Calls("read").size(), 1u);
  EXPECT_EQ(bridge_->UnlockScanner(&status), S_OK);
  EXPECT_EQ(Calls("unlock").size(), 1u);
  EXPECT_EQ(bridge_->UnlockScanner(&status), E_FAIL);
  EXPECT_TRUE(log_.Has(4, u"LockScanner Exit. [0x00000000]"));
}

TEST_F(BridgeControlTest, ReadsAreCheckedInOrderBeforeTheyReachTheService) {
  Bstr raster(u"Raster");
  Bstr meta(u"None");
  EXPECT_EQ(bridge_->Read(raster.Get(), meta.Get(), 0), kNotLocked);  // not locked comes first
  ASSERT_EQ(Open(0), S_OK);
  ASSERT_EQ(Lock(), S_OK);
  EXPECT_EQ(bridge_->Read(raster.Get(), meta.Get(), 0), kBadBoundary);
  EXPECT_EQ(bridge_->Read(raster.Get(), meta.Get(), 7), kBadBoundary);
  EXPECT_TRUE(Calls("read").empty());
  // A name that opens nothing: the service's answer comes back unchanged.
  EXPECT_EQ(bridge_->Read(raster.Get(), meta.Get(), 6), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Calls("read").size(), 1u);
}

TEST_F(BridgeControlTest, CodesReachTheServiceByTheirBits) {
  const struct {
    uint32_t code;
    HRESULT withoutService;
    bool forwarded;
  } kCases[] = {
      {4, E_NOTIMPL, true},            // a standard code
      {0x0100010B, E_NOTIMPL, true},   // value and flags go along unchanged
      {0x80000004, E_FAIL, true},      // bit 31 alone
      {0xC0000004, E_NOTIMPL, false},  // bits 31 and 30
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Control(static_cast<LONG>(c.code), u""), c.withoutService) << std::hex << c.code;
  }
  EXPECT_TRUE(log_.Has(1, u"No HAL Service opened"));
  ASSERT_EQ(Open(0), S_OK);
  for (const auto& c : kCases) {
    const size_t before = rzd::test::ScanCalls().size();
    const HRESULT hr = Control(static_cast<LONG>(c.code), u"");
    EXPECT_EQ(hr, c.forwarded ? S_OK : E_NOTIMPL) << std::hex << c.code;
    const std::vector<std::string> calls = rzd::test::ScanCalls();
    EXPECT_EQ(calls.size(), before + (c.forwarded ? 1 : 0)) << std::hex << c.code;
    if (c.forwarded) {
      EXPECT_EQ(calls.back(), "control " + std::to_string(static_cast<LONG>(c.code)) + " in= bufin=0:0");
    }
  }
  Bstr out;
  VARIANT value;
  VariantInit(&value);
  EXPECT_EQ(bridge_->Control(4, nullptr, nullptr, &value, &value), E_FAIL);
  EXPECT_EQ(bridge_->Control(4, nullptr, out.Out(), nullptr, &value), E_FAIL);
  EXPECT_EQ(bridge_->Control(4, nullptr, out.Out(), &value, nullptr), E_FAIL);
  EXPECT_TRUE(log_.Has(1, u"NULL argument error"));
}

TEST_F(BridgeControlTest, TransferBufferNamesArriveAsTheyWereGiven) {
  ASSERT_EQ(Open(0), S_OK);
  Bstr name(u"Raster<1> & \"2\"");
  EXPECT_EQ(bridge_->CreateMMFile(name.Get(), 4096), S_OK);
  EXPECT_EQ(bridge_->ReleaseMMFile(name.Get()), S_OK);
  const std::vector<std::string> created = Calls("control 20");
  const std::vector<std::string> released = Calls("control 21");
  ASSERT_EQ(created.size(), 1u);
  ASSERT_EQ(released.size(), 1u);
  EXPECT_EQ(created[0],
            "control 20 in=<Parameters><MMFName>Raster&lt;1&gt; &amp; \"2\"</MMFName><ReqSize>4096</ReqSize></Parameters> "
            "bufin=0:0");
  EXPECT_EQ(released[0], "control 21 in=<Parameters><MMFName>Raster&lt;1&gt; &amp; \"2\"</MMFName></Parameters> bufin=0:0");
  // The service reads the name back exactly.
  MSXML6StoreSTL store;
  const std::string document = created[0].substr(14, created[0].size() - 14 - 10);
  ASSERT_TRUE(store.LoadFromString(FromUtf8(document)));
  std::u16string read;
  ASSERT_TRUE(store.GetNodeText(u"/Parameters/MMFName", read));
  EXPECT_EQ(read, name.Str());
}

}  // namespace
}  // namespace rzd::nethal::test
