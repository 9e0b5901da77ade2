// The raster-block manager: blocks pass from writer to reader in order with their description,
// the ring waits for the reader, the stream ends, the writer's refusals, and a header the reading
// process wrote is not trusted.
#include "blocks_fixture.h"

#include <cstring>
#include <future>
#include <thread>

namespace rzd::rasterblocks::test {
namespace {

using RasterBlocksTest = BlocksTest;

TEST_F(RasterBlocksTest, BlocksPassInOrderWithTheirFillBoundaryErrorAndDescription) {
  ComPtr<RasterBlocks> reader = Reader(4096, 4);
  ComPtr<RasterBlocks> writer = Writer(NameOf(reader.Get()));
  ComPtr<IRasterBlockDescriptor> own;
  ASSERT_EQ(writer.As(IID_IRasterBlockDescriptor, &own), S_OK);
  ComPtr<BlockDescriptor> work = MakeComObject<BlockDescriptor>();

  ULONGLONG blockSize = 0;
  ASSERT_EQ(writer->BlockSize(&blockSize), S_OK);
  EXPECT_EQ(blockSize, 4096u);
  ASSERT_EQ(writer->Begin(), S_OK);
  const struct {
    uint64_t fill;
    LONG side;
    LONG boundary;
    LONG error;
  } kBlocks[] = {{4096, 0, 1, 0}, {100, 1, 2, 0}, {0, 0, 6, 2}};
  for (size_t i = 0; i < std::size(kBlocks); ++i) {
    if (kBlocks[i].fill != 0) FillBlock(writer.Get(), kBlocks[i].fill, static_cast<uint8_t>(0xA0 + i));
    ULONGLONG fill = 0;
    ASSERT_EQ(writer->GetFill(&fill), S_OK);
    EXPECT_EQ(fill, kBlocks[i].fill);
    work->put_Side(kBlocks[i].side);
    work->put_Page(7);
    work->put_NumberOfLines(static_cast<LONG>(i + 10));
    ASSERT_EQ(own->CopyFrom(work.Get()), S_OK);
    ASSERT_EQ(own->SetBoundary(kBlocks[i].boundary), S_OK);
    if (kBlocks[i].error != 0) {
      ASSERT_EQ(own->SetError(kBlocks[i].error), S_OK);
    }
    if (i + 1 < std::size(kBlocks)) {
      ASSERT_EQ(writer->NextBlock(), S_OK);
    }
  }
  own.Reset();
  writer.Reset();  // the last block goes over with the writer's last release

  for (size_t i = 0; i < std::size(kBlocks); ++i) {
    Taken taken = Take(reader.Get());
    ASSERT_EQ(taken.hr, S_OK) << i;
    EXPECT_EQ(taken.info.sequence, i);
    EXPECT_EQ(taken.info.fill, kBlocks[i].fill);
    EXPECT_EQ(taken.info.boundary, kBlocks[i].boundary);
    EXPECT_EQ(taken.info.error, kBlocks[i].error);
    EXPECT_EQ(taken.info.properties[kRasterSide], kBlocks[i].side);
    EXPECT_EQ(taken.info.properties[kRasterPage], 7);
    EXPECT_EQ(taken.info.properties[kRasterNumberOfLines], static_cast<LONG>(i + 10));
    EXPECT_EQ(taken.data, std::vector<uint8_t>(kBlocks[i].fill, static_cast<uint8_t>(0xA0 + i)));
  }
  EXPECT_EQ(Take(reader.Get(), 0).hr, HRESULT_FROM_WIN32(WAIT_TIMEOUT));
}

TEST_F(RasterBlocksTest, TheWriterWaitsForTheReaderOnceEveryBlockIsFull) {
  // Two blocks, eight to write: the writer can only go on as the reader gives blocks back, and
  // every block arrives whole and in order.
  ComPtr<RasterBlocks> reader = Reader(1024, 2);
  const std::u16string name = NameOf(reader.Get());
  auto written = std::async(std::launch::async, [name] {
    ComPtr<RasterBlocks> writer = Writer(name);
    if (writer->Begin() != S_OK) return false;
    for (int i = 0; i < 8; ++i) {
      void* region = nullptr;
      if (writer->MapRegion(0, 1024, &region) != S_OK) return false;
      std::memset(region, i, 1024);
      writer->SetFill(1024);
      if (i < 7 && writer->NextBlock() != S_OK) return false;
    }
    return true;
  });
  for (int i = 0; i < 8; ++i) {
    Taken taken = Take(reader.Get());
    ASSERT_EQ(taken.hr, S_OK) << i;
    EXPECT_EQ(taken.data, std::vector<uint8_t>(1024, static_cast<uint8_t>(i)));
    if (i == 0) {
      // Two blocks finished and one taken: the writer waits for a free one.
      EXPECT_EQ(written.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    }
  }
  EXPECT_TRUE(written.get());
}

TEST_F(RasterBlocksTest, AReaderThatEndsTheStreamStopsTheWriterAndDrainsWhatWasFinished) {
  ComPtr<RasterBlocks> reader = Reader(256, 2);
  ComPtr<RasterBlocks> writer = Writer(NameOf(reader.Get()));
  ASSERT_EQ(writer->Begin(), S_OK);
  FillBlock(writer.Get(), 10, 1);
  ASSERT_EQ(writer->NextBlock(), S_OK);
  FillBlock(writer.Get(), 20, 2);
  // The writer waits for a third block; the reader ends the stream instead of taking any.
  auto next = std::async(std::launch::async, [&] { return writer->NextBlock(); });
  EXPECT_EQ(next.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  ASSERT_EQ(reader->SetBoundary(6), S_OK);
  EXPECT_EQ(next.get(), S_FALSE);  // none follows
  EXPECT_EQ(Take(reader.Get()).data, std::vector<uint8_t>(10, 1));
  EXPECT_EQ(Take(reader.Get()).data, std::vector<uint8_t>(20, 2));
  EXPECT_EQ(Take(reader.Get()).hr, S_FALSE);
  // A new writer is turned away at once.
  ComPtr<RasterBlocks> late = Writer(NameOf(reader.Get()));
  EXPECT_EQ(late->Begin(), E_ABORT);
}

TEST_F(RasterBlocksTest, AWritersReleaseHandsOverOnlyABlockWithSomethingInIt) {
  ComPtr<RasterBlocks> reader = Reader(256, 4);
  const std::u16string name = NameOf(reader.Get());
  {
    ComPtr<RasterBlocks> writer = Writer(name);
    ASSERT_EQ(writer->Begin(), S_OK);  // nothing written
  }
  EXPECT_EQ(Take(reader.Get(), 0).hr, HRESULT_FROM_WIN32(WAIT_TIMEOUT));
  {
    // Only an error and a boundary: the reader must learn where the data ended and why.
    ComPtr<RasterBlocks> writer = Writer(name);
    ComPtr<IRasterBlockDescriptor> own;
    ASSERT_EQ(writer.As(IID_IRasterBlockDescriptor, &own), S_OK);
    ASSERT_EQ(writer->Begin(), S_OK);
    ASSERT_EQ(own->SetError(7), S_OK);
    ASSERT_EQ(writer->SetBoundary(6), S_OK);
  }
  Taken taken = Take(reader.Get());
  ASSERT_EQ(taken.hr, S_OK);
  EXPECT_EQ(taken.info.fill, 0u);
  EXPECT_EQ(taken.info.error, 7);
  EXPECT_EQ(taken.info.boundary, 6);
  {
    // The next read of the same buffer starts at the next block.
    ComPtr<RasterBlocks> writer = Writer(name);
    ASSERT_EQ(writer->Begin(), S_OK);
    FillBlock(writer.Get(), 5, 9);
  }
  taken = Take(reader.Get());
  EXPECT_EQ(taken.info.sequence, 1u);
  EXPECT_EQ(taken.data, std::vector<uint8_t>(5, 9));
}

TEST_F(RasterBlocksTest, WriterCallsOutsideTheirBlockAreRefused) {
  ComPtr<RasterBlocks> reader = Reader(1000, 2);
  ComPtr<RasterBlocks> writer = Writer(NameOf(reader.Get()));
  void* region = &region;
  ULONGLONG fill = 0;
  EXPECT_EQ(writer->MapRegion(0, 10, &region), E_UNEXPECTED);  // before Begin
  EXPECT_EQ(region, nullptr);
  EXPECT_EQ(writer->SetFill(1), E_UNEXPECTED);
  EXPECT_EQ(writer->GetFill(&fill), E_UNEXPECTED);
  EXPECT_EQ(writer->NextBlock(), E_UNEXPECTED);
  ASSERT_EQ(writer->Begin(), S_OK);
  EXPECT_EQ(writer->MapRegion(999, 2, &region), E_INVALIDARG);
  EXPECT_EQ(region, nullptr);
  EXPECT_EQ(writer->MapRegion(~0ull, 2, &region), E_INVALIDARG);
  EXPECT_EQ(writer->MapRegion(10, ~0ull, &region), E_INVALIDARG);
  ASSERT_EQ(writer->MapRegion(990, 10, &region), S_OK);
  EXPECT_EQ(writer->UnmapRegion(region), S_OK);
  EXPECT_EQ(writer->UnmapRegion(&fill), E_INVALIDARG);
  EXPECT_EQ(writer->SetFill(1001), E_INVALIDARG);
  EXPECT_EQ(writer->SetFill(1000), S_OK);

  ComPtr<RasterBlocks> empty = MakeComObject<RasterBlocks>();
  ULONGLONG size = 0;
  EXPECT_EQ(empty->Begin(), E_UNEXPECTED);
  EXPECT_EQ(empty->BlockSize(&size), E_UNEXPECTED);
  EXPECT_EQ(empty->SetBoundary(6), E_UNEXPECTED);
  EXPECT_EQ(empty->Allocate(0, 4), E_INVALIDARG);
  EXPECT_EQ(empty->Allocate(4096, 0), E_INVALIDARG);
  EXPECT_EQ(empty->Allocate(4096, 65537), E_INVALIDARG);
  EXPECT_EQ(empty->Allocate(~0ull, 2), E_INVALIDARG);
  EXPECT_EQ(empty->Attach(nullptr), E_POINTER);
}

// ---- A header written by the reading process is checked once and never read again.

struct HeaderCase {
  const char* name;
  std::function<void(HeaderFields&)> change;
};

class ForgedHeaderTest : public BlocksTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(ForgedHeaderTest, IsRefusedBeforeAnyBlockIsTouched) {
  ComPtr<RasterBlocks> reader = Reader(4096, 4);
  const std::u16string name = NameOf(reader.Get());
  ComPtr<IVBuffer> buffer = OpenBuffer(name);
  void* base = nullptr;
  ASSERT_EQ(buffer->Map(0, 0, &base), S_OK);
  HeaderFields fields;
  std::memcpy(&fields, base, sizeof fields);
  GetParam().change(fields);
  std::memcpy(base, &fields, sizeof fields);

  ComPtr<RasterBlocks> writer = MakeComObject<RasterBlocks>();
  EXPECT_EQ(writer->Attach(buffer.Get()), HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
  EXPECT_EQ(writer->Begin(), E_UNEXPECTED);
  buffer->Unmap(base);
}

const HeaderCase kForgedHeaders[] = {
    {"BlocksPastTheMapping", [](HeaderFields& f) { f.blockCount = 5; }},
    {"LargerBlocksThanTheMapping", [](HeaderFields& f) { f.blockSize = 4097; }},
    {"AProductThatWraps", [](HeaderFields& f) { f.blockSize = (~0ull / 4) + 2; }},
    {"NoBlocks", [](HeaderFields& f) { f.blockCount = 0; }},
    {"EmptyBlocks", [](HeaderFields& f) { f.blockSize = 0; }},
    {"TooManyBlocks", [](HeaderFields& f) { f.blockCount = 70000; }},
    {"DataOffsetInsideTheRecords", [](HeaderFields& f) { f.dataOffset = 200; }},
    {"RecordsMoved", [](HeaderFields& f) { f.recordsOffset = 64; }},
    {"AnotherMagic", [](HeaderFields& f) { f.magic ^= 1; }},
    {"AnotherVersion", [](HeaderFields& f) { f.version = 2; }},
};
INSTANTIATE_TEST_SUITE_P(Headers, ForgedHeaderTest, ::testing::ValuesIn(kForgedHeaders),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RasterBlocksTest, AHeaderChangedAfterTheAttachDoesNotMoveTheWriter) {
  ComPtr<RasterBlocks> reader = Reader(4096, 2);
  const std::u16string name = NameOf(reader.Get());
  ComPtr<IVBuffer> buffer = OpenBuffer(name);
  ComPtr<RasterBlocks> writer = MakeComObject<RasterBlocks>();
  ASSERT_EQ(writer->Attach(buffer.Get()), S_OK);
  void* base = nullptr;
  ASSERT_EQ(buffer->Map(0, 0, &base), S_OK);
  HeaderFields fields;
  std::memcpy(&fields, base, sizeof fields);
  fields.blockSize = 1ull << 40;
  fields.blockCount = 60000;
  std::memcpy(base, &fields, sizeof fields);

  ULONGLONG size = 0;
  ASSERT_EQ(writer->BlockSize(&size), S_OK);
  EXPECT_EQ(size, 4096u);
  ASSERT_EQ(writer->Begin(), S_OK);
  void* region = nullptr;
  EXPECT_EQ(writer->MapRegion(0, 4097, &region), E_INVALIDARG);
  // The ring keeps its two blocks: the third waits for the reader.
  FillBlock(writer.Get(), 1, 1);
  ASSERT_EQ(writer->NextBlock(), S_OK);
  FillBlock(writer.Get(), 1, 2);
  auto third = std::async(std::launch::async, [&] { return writer->NextBlock(); });
  EXPECT_EQ(third.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  EXPECT_EQ(Take(reader.Get()).data, std::vector<uint8_t>(1, 1));
  EXPECT_EQ(third.get(), S_OK);
  buffer->Unmap(base);
}

TEST_F(RasterBlocksTest, TheManagersDescriptorIsTheManagerAndKeepsTheBridgesHandOns) {
  ComPtr<RasterBlocks> reader = Reader(64, 1);
  ComPtr<IRasterBlockDescriptor> own;
  ASSERT_EQ(reader.As(IID_IRasterBlockDescriptor, &own), S_OK);
  ComPtr<IUnknown> a;
  ComPtr<IUnknown> b;
  ASSERT_EQ(own->QueryInterface(IID_IUnknown, a.OutVoid()), S_OK);
  ASSERT_EQ(reader->QueryInterface(IID_IUnknown, b.OutVoid()), S_OK);
  EXPECT_EQ(a.Get(), b.Get());
  ComPtr<IRasterLineSize> lineSize;
  ASSERT_EQ(own->QueryInterface(IID_IRasterLineSize, lineSize.OutVoid()), S_OK);
  LONG pad = -1;
  EXPECT_EQ(lineSize->GetLinePad(&pad), S_OK);
  EXPECT_EQ(pad, 0);
  EXPECT_EQ(lineSize->SetLineSize(5100), S_OK);

  Bstr text;
  ASSERT_EQ(reader->GetOperationText(text.Out()), S_OK);
  EXPECT_FALSE(text);
  Bstr operation(u"<Operation><Result/></Operation>");
  ASSERT_EQ(own->SetOperationText(operation.Get()), S_OK);
  ASSERT_EQ(reader->GetOperationText(text.Out()), S_OK);
  EXPECT_EQ(text.Str(), operation.Str());

  const uint8_t front[] = {1, 2, 3};
  const uint8_t back[] = {4, 5};
  ASSERT_EQ(reader->PutFrontData(front, sizeof front), S_OK);
  ASSERT_EQ(reader->PutBackData(back, sizeof back), S_OK);
  const BYTE* data = nullptr;
  ULONGLONG size = 0;
  ASSERT_EQ(reader->GetSideData(0, &data, &size), S_OK);
  EXPECT_EQ(std::vector<uint8_t>(data, data + size), std::vector<uint8_t>(front, front + 3));
  ASSERT_EQ(reader->GetSideData(1, &data, &size), S_OK);
  EXPECT_EQ(std::vector<uint8_t>(data, data + size), std::vector<uint8_t>(back, back + 2));
  EXPECT_EQ(reader->GetSideData(2, &data, &size), E_INVALIDARG);
  EXPECT_EQ(reader->PutFrontData(nullptr, 5), E_POINTER);
  EXPECT_EQ(reader->PutBackData(front, (64ull << 20) + 1), E_INVALIDARG);

  // Handing the manager its own buffer again changes nothing.
  ComPtr<IUnknown> buffer;
  ASSERT_EQ(reader->GetVBuffer(buffer.Out()), S_OK);
  EXPECT_EQ(reader->Attach(buffer.Get()), S_OK);
  ULONGLONG blockSize = 0;
  ASSERT_EQ(reader->BlockSize(&blockSize), S_OK);
  EXPECT_EQ(blockSize, 64u);
}

TEST_F(RasterBlocksTest, ALineSizeLeavesEveryBlockAsWritten) {
  EXPECT_EQ(MakeComObject<RasterBlocks>()->SetLineSize(100), E_UNEXPECTED);  // no buffer yet

  ComPtr<RasterBlocks> reader = Reader(64, 3);
  ComPtr<RasterBlocks> writer = Writer(NameOf(reader.Get()));
  ASSERT_EQ(writer->Begin(), S_OK);
  // A line size above what the block holds, then one between its fill and its size: neither
  // pads, cuts or holds back what the reader takes.
  ASSERT_EQ(writer->SetLineSize(5100), S_OK);
  FillBlock(writer.Get(), 10, 7);
  ASSERT_EQ(writer->NextBlock(), S_OK);
  ASSERT_EQ(writer->SetLineSize(48), S_OK);
  FillBlock(writer.Get(), 3, 9);
  ASSERT_EQ(writer->NextBlock(), S_OK);

  for (RasterBlocks* side : {reader.Get(), writer.Get()}) {
    LONG pad = -1;
    ASSERT_EQ(side->GetLinePad(&pad), S_OK);
    EXPECT_EQ(pad, 0);
  }
  Taken first = Take(reader.Get());
  ASSERT_EQ(first.hr, S_OK);
  EXPECT_EQ(first.info.fill, 10u);
  EXPECT_EQ(first.data, std::vector<uint8_t>(10, 7));
  Taken second = Take(reader.Get());
  ASSERT_EQ(second.hr, S_OK);
  EXPECT_EQ(second.info.fill, 3u);
  EXPECT_EQ(second.data, std::vector<uint8_t>(3, 9));
}

TEST_F(RasterBlocksTest, AReaderHoldsOneBlockAtATime) {
  ComPtr<RasterBlocks> reader = Reader(64, 2);
  {
    ComPtr<RasterBlocks> writer = Writer(NameOf(reader.Get()));
    ASSERT_EQ(writer->Begin(), S_OK);
    FillBlock(writer.Get(), 1, 1);
    ASSERT_EQ(writer->NextBlock(), S_OK);
    FillBlock(writer.Get(), 1, 2);
  }
  RasterBlockInfo info;
  const BYTE* data = nullptr;
  EXPECT_EQ(reader->ReleaseBlock(), E_UNEXPECTED);
  ASSERT_EQ(reader->WaitBlock(0, &info, &data), S_OK);
  EXPECT_EQ(reader->WaitBlock(0, &info, &data), E_UNEXPECTED);
  EXPECT_EQ(reader->ReleaseBlock(), S_OK);
  EXPECT_EQ(reader->WaitBlock(0, nullptr, &data), E_POINTER);
  ASSERT_EQ(reader->WaitBlock(0, &info, &data), S_OK);
  EXPECT_EQ(data[0], 2);
}

}  // namespace
}  // namespace rzd::rasterblocks::test
