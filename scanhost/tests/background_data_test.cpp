// Reads through the real driver library from the simulated unit: the background data the unit
// delivers at the start of a batch reach the metadata record of the read that asks for them.
#include "client_buffers.h"
#include "scanner_fixture.h"

#include "engine/page_pattern.h"
#include "foundation/xml_store.h"
#include "lowdrv/engine/unit_names.h"
#include "platform/com.h"
#include "platform/kernel.h"
#include "platform/modules.h"
#include "rasterblocks/block_reader.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <ostream>
#include <thread>
#include <utility>

namespace rzd::scanhost::test {
namespace {

// The unit's supported settings with raw (not JPEG) transfer on both sides, which are set by
// default: a duplex colour scan from the feeder; without `front` or `back` that side is not set.
std::u16string RawSettings(std::u16string_view supported, bool front, bool back) {
  MSXML6StoreSTL store;
  EXPECT_TRUE(store.LoadFromString(supported));
  for (const auto& [side, taken] : {std::pair{u"Front1", front}, std::pair{u"Back1", back}}) {
    if (taken) continue;
    EXPECT_TRUE(store.SelectNode(u"//Item[@ID='" + std::u16string(side) + u"']"));
    store.RemoveAttribute(u"IsSet");
  }
  for (const char16_t* stream : {u"Color1", u"Color2"}) {
    const std::u16string values = u"//Item[@ID='" + std::u16string(stream) + u"']/Format/JPEGTransfer/Enum/Value";
    EXPECT_TRUE(store.SelectNode(values));
    do {
      std::u16string text;
      store.GetText(text);
      if (text == u"Off") {
        store.SetAttribute(u"IsCurrent", u"true");
      } else {
        store.RemoveAttribute(u"IsCurrent");
      }
    } while (store.MoveToNextNode());
  }
  std::u16string document;
  store.GetDocumentXML(document);
  return document;
}

// The reading side of the client's raster buffer: a thread that takes every finished block.
class BlockDrain {
 public:
  explicit BlockDrain(ComPtr<IRasterBlockReader> reader) : reader_(std::move(reader)), thread_([this] { Run(); }) {}
  ~BlockDrain() {
    stop_.store(true);
    thread_.join();
  }
  // The bytes taken once at least one block has come, or after `timeout` without one: the read
  // returns once its blocks are handed over, and this thread takes them in its own time.
  uint64_t BytesOnceSome(std::chrono::milliseconds timeout) const {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (bytes_.load() == 0 && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return bytes_.load();
  }

 private:
  void Run() {
    while (!stop_.load()) {
      RasterBlockInfo info;
      const BYTE* data = nullptr;
      if (reader_->WaitBlock(10, &info, &data) == S_OK) {
        bytes_ += info.fill;
        reader_->ReleaseBlock();
      }
    }
  }
  ComPtr<IRasterBlockReader> reader_;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> bytes_{0};
  std::thread thread_;
};

struct MetaRecord {
  uint64_t fields[5] = {};
  std::u16string text;
  std::vector<uint8_t> data;
};

class BackgroundDataTest : public ScannerTest {
 protected:
  void SetUp() override {
    ScannerTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(RegisterRasterBlocks());
    StartUnit(kSerial, 3);
    WriteClassKey("0003", UnitPath());
    parent_.classKey = std::u16string(lowdrv::kImageClassKey) + u"\\0003";
    online_ = Event::Create(*lowdrv::DeviceOnlineEventName(UnitPath()), true, true).handle;
    scanner_ = MakeScanner(false, RZD_REAL_DRIVER);
    ASSERT_EQ(Code(*scanner_, 14), S_OK);
    ASSERT_NO_FATAL_FAILURE(LockAs(*scanner_, CurrentProcessId()));

    ComPtr<IRasterBlockReader> reader;
    ASSERT_NO_FATAL_FAILURE(AllocateClientRaster(1 << 18, 8, &blocks_, &reader, &rasterName_));
    drain_.emplace(reader);
    ASSERT_NO_FATAL_FAILURE(CreateClientMeta(8u << 20, &meta_, &metaName_));
  }
  void TearDown() override {
    drain_.reset();
    blocks_.Reset();
    meta_.Reset();
    scanner_.reset();
    ScannerTest::TearDown();
  }

  // Applies the raw settings of the sides `front` and `back`.
  HRESULT Settings(bool front, bool back) {
    VARIANT in;
    VARIANT out;
    VariantInit(&in);
    VariantInit(&out);
    Bstr supported;
    if (HRESULT hr = scanner_->raw_Control(6, nullptr, supported.Out(), &in, &out); hr != S_OK) return hr;
    Bstr settings(RawSettings(supported.View(), front, back));
    Bstr answer;
    return scanner_->raw_Control(8, settings.Get(), answer.Out(), &in, &out);
  }
  MetaRecord Record() {
    MetaRecord record;
    ULONGLONG size = 0;
    EXPECT_EQ(meta_->Size(&size), S_OK);
    void* view = nullptr;
    EXPECT_EQ(meta_->Map(0, size, &view), S_OK);
    const auto* bytes = static_cast<const uint8_t*>(view);
    std::memcpy(record.fields, bytes, sizeof record.fields);
    if (record.fields[0] == 40 && record.fields[1] >= 2 && 40 + record.fields[1] + record.fields[3] <= size) {
      record.text.assign(reinterpret_cast<const char16_t*>(bytes + 40), record.fields[1] / 2 - 1);
      record.data.assign(bytes + record.fields[2], bytes + record.fields[2] + record.fields[3]);
    }
    std::memset(view, 0, 40);  // the next read writes its own
    meta_->Unmap(view);
    return record;
  }
  // /Result/Format/BytesPerLine of the record's first page.
  static int32_t BytesPerLine(const MetaRecord& record) {
    MSXML6StoreSTL store;
    EXPECT_TRUE(store.LoadFromString(record.text));
    return store.GetNodeInt(u"/Operation/Result/Format/BytesPerLine", -1);
  }

  ComInit com_;
  Event online_;
  std::shared_ptr<CRZDHALScanner> scanner_;
  ComPtr<IRasterBlocks> blocks_;
  std::optional<BlockDrain> drain_;
  ComPtr<IVBuffer> meta_;
  Bstr rasterName_;
  Bstr metaName_;
};

// The sides a scan takes, and the record's side kind for them.
struct SidesCase {
  const char* name;
  bool front;
  bool back;
  uint64_t kind;  // 0 simplex front, 1 simplex back, 2 duplex (the bridge splits it in halves)
};
const SidesCase kSidesCases[] = {
    {"Duplex", true, true, 2},
    {"FrontOnly", true, false, 0},
    {"BackOnly", false, true, 1},
};
void PrintTo(const SidesCase& c, std::ostream* out) { *out << c.name; }

class BackgroundSidesTest : public BackgroundDataTest, public ::testing::WithParamInterface<SidesCase> {};

TEST_P(BackgroundSidesTest, TheUnitsBackgroundDataFillTheDataPartOfTheRecord) {
  const SidesCase& c = GetParam();
  ASSERT_EQ(Settings(c.front, c.back), S_OK);
  ASSERT_EQ(UnitControl(3, "load 2 duplex lines=48").rfind("ok", 0), 0u);

  // The first page's read: its pages ask for the background data (ImageFromTheStream 1), which
  // the unit delivered at the batch's start: its background raster of each side the scan takes,
  // one line of each, the front's first, is the record's data part. Each side's raster has its
  // own bytes, so a swap shows.
  ASSERT_EQ(scanner_->raw_Read(rasterName_.Get(), metaName_.Get(), 3), S_OK);
  const MetaRecord record = Record();
  ASSERT_NE(record.text.find(u"<ImageFromTheStream>1</ImageFromTheStream>"), std::u16string::npos);
  const int32_t line = BytesPerLine(record);
  ASSERT_GT(line, 0);
  EXPECT_EQ(record.fields[4], c.kind);
  EXPECT_EQ(record.fields[2], 40 + record.fields[1]);
  std::vector<uint8_t> expected;
  if (c.front) expected.resize(static_cast<size_t>(line), engine::kBackgroundByte);
  if (c.back) expected.resize(expected.size() + static_cast<size_t>(line), engine::kBackBackgroundByte);
  ASSERT_EQ(record.fields[3], expected.size());
  EXPECT_TRUE(record.data == expected) << "first byte " << (record.data.empty() ? -1 : int{record.data.front()})
                                       << ", last " << (record.data.empty() ? -1 : int{record.data.back()});
  EXPECT_GT(drain_->BytesOnceSome(std::chrono::seconds(5)), 0u);
}

INSTANTIATE_TEST_SUITE_P(Sides, BackgroundSidesTest, ::testing::ValuesIn(kSidesCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace rzd::scanhost::test
