// The module protocol: Configure (the settings, the metadata buffer, the produce callback) and
// Produce (one page into the caller's raster blocks, the metadata record handed on, the abort).
#include "bridge_fixture.h"

#include "platform/com_object.h"

#include <atomic>
#include <functional>
#include <sstream>
#include <thread>

namespace rzd::nethal::test {
namespace {

class AbortCallback final : public ComObject<ProduceCallback> {
 public:
  explicit AbortCallback(bool abort) : abort_(abort) {}
  HRESULT QueryAbort(VARIANT_BOOL* answer) override {
    ++asked;
    *answer = abort_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  int asked = 0;

 protected:
  void* FindInterface(const IID& iid) override {
    return iid == IID_ProduceCallback ? static_cast<ProduceCallback*>(this) : nullptr;
  }

 private:
  bool abort_;
};

class BridgeModuleTest : public BridgeTest {
 protected:
  // Opened, locked, and configured with the scripted document (colour, both sides, raw).
  void Ready(IUnknown* callback = nullptr) {
    ASSERT_EQ(Open(0), S_OK);
    ASSERT_EQ(Lock(), S_OK);
    ASSERT_EQ(Configure(callback), S_OK);
  }
  HRESULT Configure(IUnknown* callback = nullptr) {
    Bstr settings(Raw(rzd::test::ScriptedSupportedSettings()));
    return bridge_->Configure(0, nullptr, 0, callback, settings.Get());
  }
  // The scripted document with raw transfer.
  static std::u16string Raw(std::u16string document) {
    constexpr std::u16string_view kOn = u"<Value IsCurrent=\"true\" IsDefault=\"true\">On</Value>";
    for (size_t at; (at = document.find(kOn)) != document.npos;)
      document.replace(at, kOn.size(), u"<Value IsCurrent=\"true\" IsDefault=\"true\">Off</Value>");
    return document;
  }

  // A payload of `count` blocks of `blockSize` bytes, registered with the service.
  ComPtr<IRasterBlocks> Payload(uint64_t blockSize = 1 << 16, ULONG count = 8) {
    ComPtr<IRasterBlocks> payload;
    EXPECT_EQ(CoCreateInstance(CLSID_RasterBlocks, nullptr, 0x17, IID_IRasterBlocks, payload.OutVoid()), S_OK);
    EXPECT_EQ(payload->Allocate(blockSize, count), S_OK);
    return payload;
  }

  static std::u16string OperationText(IRasterBlocks* payload) {
    ComPtr<IRasterBlockReader> reader;
    EXPECT_EQ(payload->QueryInterface(IID_IRasterBlockReader, reader.OutVoid()), S_OK);
    Bstr text;
    EXPECT_EQ(reader->GetOperationText(text.Out()), S_OK);
    return text ? text.Str() : u"(none)";
  }

  static std::vector<uint8_t> SideData(IRasterBlocks* payload, LONG side) {
    ComPtr<IRasterBlockReader> reader;
    EXPECT_EQ(payload->QueryInterface(IID_IRasterBlockReader, reader.OutVoid()), S_OK);
    const BYTE* data = nullptr;
    ULONGLONG size = 0;
    EXPECT_EQ(reader->GetSideData(side, &data, &size), S_OK);
    return std::vector<uint8_t>(data, data + size);
  }

  // Every block the payload holds now: (side, boundary, bytes).
  struct Block {
    LONG side;
    LONG boundary;
    uint64_t bytes;
  };
  static std::vector<Block> Drain(IRasterBlocks* payload) {
    ComPtr<IRasterBlockReader> reader;
    EXPECT_EQ(payload->QueryInterface(IID_IRasterBlockReader, reader.OutVoid()), S_OK);
    std::vector<Block> blocks;
    RasterBlockInfo info;
    const BYTE* data = nullptr;
    while (reader->WaitBlock(0, &info, &data) == S_OK) {
      blocks.push_back({info.properties[kRasterSide], info.boundary, info.fill});
      reader->ReleaseBlock();
    }
    return blocks;
  }
};

TEST_F(BridgeModuleTest, ConfigureRefusesAPrecursorAndMissingSettings) {
  ComPtr<AbortCallback> callback = MakeComObject<AbortCallback>(false);
  Bstr settings(u"<Scanner/>");
  EXPECT_EQ(bridge_->Configure(0, callback.Get(), 0, nullptr, settings.Get()), E_INVALIDARG);
  EXPECT_TRUE(log_.Has(1, u"Source module with a Precursor is not a valid configuration"));
  EXPECT_EQ(bridge_->Configure(0, nullptr, 0, nullptr, nullptr), E_INVALIDARG);
  EXPECT_TRUE(log_.Has(1, u"No configuration information provided"));
}

TEST_F(BridgeModuleTest, TheFirstConfigureAnswersTheSettingsFailureAndStillMakesTheMetadataBuffer) {
  ASSERT_EQ(Open(0), S_OK);
  rzd::test::WriteScanScript({"settings=0x80004005"});
  EXPECT_EQ(Configure(), E_FAIL);  // not the buffer's success
  EXPECT_TRUE(log_.Has(1, u"Failed setting current HAL Configuration"));
  EXPECT_EQ(Configure(), E_FAIL);
  rzd::test::WriteScanScript({});
  EXPECT_EQ(Configure(), S_OK);
  // The buffer exists: a read names it, not "None".
  ASSERT_EQ(Lock(), S_OK);
  ComPtr<IRasterBlocks> payload = Payload();
  ASSERT_EQ(bridge_->Produce(payload.Get()), S_OK);
  const std::string read = Calls("read").back();
  EXPECT_NE(read.find(" Global\\Meta-" + std::to_string(CurrentProcessId()) + "-"), std::string::npos) << read;
}

TEST_F(BridgeModuleTest, ProducePassesOnePageIntoThePayloadAndHandsTheMetadataOn) {
  rzd::test::WriteScanScript({"sheets=2", "lines=40", "chunk-lines=16", "background=1001"});
  Ready();
  ComPtr<IRasterBlocks> payload = Payload();
  ASSERT_EQ(bridge_->Produce(payload.Get()), S_OK);
  const std::string read = Calls("read").back();
  EXPECT_NE(read.find(" 3 -> 0x00000000"), std::string::npos) << read;  // up to the page's end
  // Duplex: the sides alternate read by read, each in a block of its own; the page ends with 3.
  const std::vector<Block> blocks = Drain(payload.Get());
  ASSERT_EQ(blocks.size(), 6u);
  for (size_t i = 0; i < blocks.size(); ++i) {
    EXPECT_EQ(blocks[i].side, static_cast<LONG>(i % 2)) << i;
    EXPECT_EQ(blocks[i].bytes, (i < 4 ? 16u : 8u) * 150) << i;
  }
  EXPECT_EQ(blocks[4].boundary, 2);
  EXPECT_EQ(blocks[5].boundary, 3);
  const std::u16string text = OperationText(payload.Get());
  EXPECT_EQ(text.rfind(u"<Operation><Result>", 0), 0u);
  EXPECT_NE(text.find(u"<Side>Back</Side>"), std::u16string::npos);
  // Kind 2 with 1001 bytes: 500 to each side.
  EXPECT_EQ(SideData(payload.Get(), 0), std::vector<uint8_t>(500, 0xF0));
  EXPECT_EQ(SideData(payload.Get(), 1), std::vector<uint8_t>(500, 0xF0));

  // The second page ends the scan.
  ASSERT_EQ(bridge_->Produce(payload.Get()), S_OK);
  EXPECT_EQ(Drain(payload.Get()).back().boundary, 6);
}

// A one-sided scan's record (kind 0 front, 1 back) hands its data whole to that side's data.
TEST_F(BridgeModuleTest, AOneSidedRecordHandsItsDataWholeToItsSide) {
  const struct {
    const char16_t* unset;  // the image source not scanned
    LONG side;              // the side that gets the data
    const char16_t* scanned;
  } kCases[] = {{u"Back1", 0, u"<Side>Front</Side>"}, {u"Front1", 1, u"<Side>Back</Side>"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(ToUtf8(c.unset));
    rzd::test::WriteScanScript({"sheets=1", "lines=16", "background=1001"});
    bridge_ = MakeComObject<CRZDHALM48tzInProc>();
    ASSERT_EQ(Open(0), S_OK);
    ASSERT_EQ(Lock(), S_OK);
    std::u16string settings = Raw(rzd::test::ScriptedSupportedSettings());
    constexpr std::u16string_view kIsSet = u" IsSet=\"true\"";
    const std::u16string source = u"ID=\"" + std::u16string(c.unset) + u"\" Type=\"" +
                                  (c.side == 0 ? u"Back" : u"Front") + u"\"" + std::u16string(kIsSet);
    const size_t at = settings.find(source);
    ASSERT_NE(at, std::u16string::npos);
    settings.erase(at + source.size() - kIsSet.size(), kIsSet.size());
    Bstr text(settings);
    ASSERT_EQ(bridge_->Configure(0, nullptr, 0, nullptr, text.Get()), S_OK);
    ComPtr<IRasterBlocks> payload = Payload();
    ASSERT_EQ(bridge_->Produce(payload.Get()), S_OK);
    EXPECT_NE(OperationText(payload.Get()).find(c.scanned), std::u16string::npos);
    EXPECT_EQ(SideData(payload.Get(), c.side), std::vector<uint8_t>(1001, 0xF0));
    EXPECT_TRUE(SideData(payload.Get(), 1 - c.side).empty());
  }
}

TEST_F(BridgeModuleTest, WithoutConfigureTheReadGetsNoMetadataBuffer) {
  ASSERT_EQ(Open(0), S_OK);
  ASSERT_EQ(Lock(), S_OK);
  ComPtr<IRasterBlocks> payload = Payload();
  bridge_->Produce(payload.Get());
  const std::string read = Calls("read").back();
  EXPECT_NE(read.find(" None 3 -> "), std::string::npos) << read;
  EXPECT_EQ(OperationText(payload.Get()), u"(none)");
}

TEST_F(BridgeModuleTest, ARecordOutsideTheBufferOrWithoutItsEndIsNotHandedOn) {
  for (const char* form : {"bad-kind", "bad-offset", "unterminated", "past-end"}) {
    rzd::test::WriteScanScript({"sheets=1", std::string("meta=") + form, "background=10"});
    bridge_ = MakeComObject<CRZDHALM48tzInProc>();
    Ready();
    ComPtr<IRasterBlocks> payload = Payload();
    EXPECT_EQ(bridge_->Produce(payload.Get()), HRESULT_FROM_WIN32(ERROR_INVALID_DATA)) << form;
    EXPECT_EQ(OperationText(payload.Get()), u"(none)") << form;
    EXPECT_TRUE(SideData(payload.Get(), 0).empty()) << form;
    EXPECT_TRUE(log_.Has(1, u"The meta data block is invalid")) << form;
    EXPECT_FALSE(Drain(payload.Get()).empty()) << form;  // the image data stays
  }
}

TEST_F(BridgeModuleTest, ARecordFromAnEarlierReadIsNeverHandedOnAgain) {
  rzd::test::WriteScanScript({"sheets=2", "lines=16"});
  Ready();
  ComPtr<IRasterBlocks> first = Payload();
  ASSERT_EQ(bridge_->Produce(first.Get()), S_OK);
  EXPECT_NE(OperationText(first.Get()), u"(none)");
  // The next read writes no record: the one the first left in the buffer is not handed on.
  rzd::test::WriteScanScript({"sheets=2", "lines=16", "meta=skip"});
  ComPtr<IRasterBlocks> second = Payload();
  ASSERT_EQ(bridge_->Produce(second.Get()), S_OK);
  EXPECT_FALSE(Drain(second.Get()).empty());
  EXPECT_EQ(OperationText(second.Get()), u"(none)");
}

TEST_F(BridgeModuleTest, AReadFailureKeepsItsResultAndStillHandsTheRecordOn) {
  rzd::test::WriteScanScript({"sheets=1", "fail-sheet=1", "fail-code=7"});
  Ready();
  ComPtr<IRasterBlocks> payload = Payload();
  EXPECT_EQ(bridge_->Produce(payload.Get()), E_FAIL);
  EXPECT_EQ(OperationText(payload.Get()), u"<Operation></Operation>");
  ComPtr<IRasterBlockReader> reader;
  ASSERT_EQ(payload.As(IID_IRasterBlockReader, &reader), S_OK);
  RasterBlockInfo info;
  const BYTE* data = nullptr;
  ASSERT_EQ(reader->WaitBlock(0, &info, &data), S_OK);
  EXPECT_EQ(info.error, 7);  // where the data ends and why
  EXPECT_EQ(info.boundary, 6);
}

TEST_F(BridgeModuleTest, ACallbackThatAbortsCancelsTheScanAndEndsThePayload) {
  rzd::test::WriteScanScript({"sheets=3"});
  ComPtr<AbortCallback> keepGoing = MakeComObject<AbortCallback>(false);
  ComPtr<AbortCallback> stop = MakeComObject<AbortCallback>(true);
  Ready(keepGoing.Get());
  ComPtr<IRasterBlocks> payload = Payload();
  ASSERT_EQ(bridge_->Produce(payload.Get()), S_OK);
  Drain(payload.Get());
  EXPECT_EQ(keepGoing->asked, 1);
  EXPECT_TRUE(Calls("control 11").empty());
  // A new callback with the next Configure.
  ASSERT_EQ(Configure(stop.Get()), S_OK);
  EXPECT_EQ(bridge_->Produce(payload.Get()), E_ABORT);
  EXPECT_EQ(stop->asked, 1);
  EXPECT_EQ(keepGoing->asked, 1);
  EXPECT_EQ(Calls("control 11").size(), 1u);
  ComPtr<IRasterBlockReader> reader;
  ASSERT_EQ(payload.As(IID_IRasterBlockReader, &reader), S_OK);
  RasterBlockInfo info;
  const BYTE* data = nullptr;
  HRESULT hr = S_OK;
  while ((hr = reader->WaitBlock(0, &info, &data)) == S_OK) reader->ReleaseBlock();
  EXPECT_EQ(hr, S_FALSE);  // the stream ended
}

TEST_F(BridgeModuleTest, AnInvalidPayloadIsRefused) {
  ASSERT_EQ(Open(0), S_OK);
  ASSERT_EQ(Lock(), S_OK);
  EXPECT_EQ(bridge_->Produce(nullptr), E_INVALIDARG);
  ComPtr<AbortCallback> notBlocks = MakeComObject<AbortCallback>(false);
  EXPECT_EQ(bridge_->Produce(notBlocks.Get()), E_INVALIDARG);
  EXPECT_TRUE(log_.Has(1, u"The Payload is invalid"));
  ComPtr<IRasterBlocks> empty;
  ASSERT_EQ(CoCreateInstance(CLSID_RasterBlocks, nullptr, 0x17, IID_IRasterBlocks, empty.OutVoid()), S_OK);
  EXPECT_EQ(bridge_->Produce(empty.Get()), E_INVALIDARG);
  EXPECT_TRUE(log_.Has(1, u"The Payload contains an invalid virtual buffer"));
  EXPECT_TRUE(Calls("read").empty());
}

// Code 14 and Configure swap the object's fields under its lock: callers racing on one object
// share one service and one metadata buffer, and none of them fails.
TEST_F(BridgeModuleTest, RacingOpensAndConfiguresShareOneServiceAndOneMetadataBuffer) {
  constexpr size_t kThreads = 8;
  const auto race = [&](const std::function<HRESULT()>& call) {
    std::atomic<size_t> failures{0};
    std::vector<std::thread> threads;
    for (size_t i = 0; i < kThreads; ++i) {
      threads.emplace_back([&] {
        ComInit com(COINIT_MULTITHREADED);
        if (call() != S_OK) ++failures;
      });
    }
    for (std::thread& t : threads) t.join();
    return failures.load();
  };
  EXPECT_EQ(race([&] { return Open(0); }), 0u);
  EXPECT_EQ(Calls("control 14").size(), kThreads);
  EXPECT_EQ(rzd::test::StartedTestServers().size(), 1u);
  ASSERT_EQ(Lock(), S_OK);
  EXPECT_EQ(Calls("lock").size(), 1u);

  rzd::test::WriteScanScript({"sheets=2"});
  EXPECT_EQ(race([&] { return Configure(); }), 0u);
  EXPECT_EQ(Calls("control 8").size(), kThreads);
  ComPtr<IRasterBlocks> payload = Payload();
  for (int page = 0; page < 2; ++page) {
    ASSERT_EQ(bridge_->Produce(payload.Get()), S_OK);
    Drain(payload.Get());
  }
  const std::vector<std::string> reads = Calls("read");
  ASSERT_GE(reads.size(), 2u);
  // "read <raster> <meta> <level> -> <hresult>": both reads name the same buffer.
  const auto metaName = [](const std::string& read) {
    std::istringstream words(read);
    std::string word;
    for (int i = 0; i < 3; ++i) words >> word;
    return word;
  };
  EXPECT_EQ(metaName(reads[0]).rfind("Global\\Meta-", 0), 0u) << reads[0];
  EXPECT_EQ(metaName(reads[0]), metaName(reads.back()));
}

}  // namespace
}  // namespace rzd::nethal::test
