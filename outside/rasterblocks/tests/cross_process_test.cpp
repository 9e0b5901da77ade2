// The raster blocks between processes, with the classes loaded through their registration: a
// writer in another process, a reader that ends the stream, a reader that is killed, and the
// library's registration.
#include "blocks_fixture.h"

#include "platform/modules.h"
#include "platform/registry.h"
#include "testsupport/eventually.h"

#include <fstream>
#include <future>
#include <thread>

namespace rzd::rasterblocks::test {
namespace {

using CrossProcessBlocksTest = BlocksTest;

uint8_t PatternByte(uint64_t block, uint64_t index) { return static_cast<uint8_t>((block * 31 + index * 7) & 0xFF); }

TEST_F(CrossProcessBlocksTest, AWriterInAnotherProcessFillsTheBlocksThisProcessReads) {
  // Six blocks through a ring of three: the writer waits for this reader twice over.
  ComPtr<IRasterBlocks> created;
  ASSERT_EQ(CoCreateInstance(CLSID_RasterBlocks, nullptr, 0x17, IID_IRasterBlocks, created.OutVoid()), S_OK);
  ASSERT_EQ(created->Allocate(8192, 3), S_OK);
  ComPtr<IRasterBlockReader> reader;
  ASSERT_EQ(created.As(IID_IRasterBlockReader, &reader), S_OK);
  const std::string name = ToUtf8(NameOf(created.Get()));
  auto peer = ChildProcess::Start(Peer(), {"write", name, "6", "5000", "3"});
  ASSERT_TRUE(peer);
  for (uint64_t i = 0; i < 6; ++i) {
    Taken taken = Take(reader.Get());
    ASSERT_EQ(taken.hr, S_OK) << i;
    EXPECT_EQ(taken.info.fill, 5000u);
    EXPECT_EQ(taken.info.boundary, i == 5 ? 3 : 1);
    EXPECT_EQ(taken.info.properties[kRasterPage], static_cast<LONG>(i + 1));
    EXPECT_EQ(taken.info.properties[kRasterSide], static_cast<LONG>(i % 2));
    EXPECT_EQ(taken.info.properties[kRasterBytesPerLine], 5000);
    bool same = true;
    for (uint64_t j = 0; j < taken.data.size(); ++j) same = same && taken.data[j] == PatternByte(i, j);
    EXPECT_TRUE(same) << "block " << i;
  }
  EXPECT_EQ(peer->Wait(60000), 0);
  EXPECT_EQ(Take(reader.Get(), 0).hr, HRESULT_FROM_WIN32(WAIT_TIMEOUT));
}

TEST_F(CrossProcessBlocksTest, AReaderThatEndsTheStreamEndsTheWaitingWriterInAnotherProcess) {
  ComPtr<RasterBlocks> reader = Reader(512, 2);
  auto peer = ChildProcess::Start(Peer(), {"write-until-end", ToUtf8(NameOf(reader.Get())), "512"});
  ASSERT_TRUE(peer);
  // Once the writer has filled both blocks it waits; then the stream ends.
  EXPECT_EQ(Take(reader.Get()).hr, S_OK);
  EXPECT_EQ(Take(reader.Get()).hr, S_OK);
  ASSERT_EQ(reader->SetBoundary(6), S_OK);
  EXPECT_EQ(peer->Wait(60000), 0);
}

TEST_F(CrossProcessBlocksTest, AWriterWaitingForAKilledReaderStopsWaiting) {
  const std::filesystem::path nameFile = RootPath() / "buffer-name";
  auto peer = ChildProcess::Start(Peer(), {"read", nameFile.string(), "256", "2"});
  ASSERT_TRUE(peer);
  rzd::test::Eventually([&] { return std::filesystem::exists(nameFile); }, std::chrono::seconds(30));
  std::string name;
  std::ifstream(nameFile) >> name;
  ASSERT_FALSE(name.empty());
  ComPtr<RasterBlocks> writer = Writer(FromUtf8(name));
  ASSERT_EQ(writer->Begin(), S_OK);
  FillBlock(writer.Get(), 256, 1);
  ASSERT_EQ(writer->NextBlock(), S_OK);
  FillBlock(writer.Get(), 256, 2);
  auto next = std::async(std::launch::async, [&] { return writer->NextBlock(); });
  EXPECT_EQ(next.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  peer->Kill();
  EXPECT_EQ(next.get(), HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE));
  // A later writer finds the reader gone before it takes a block.
  ComPtr<RasterBlocks> late = Writer(FromUtf8(name));
  EXPECT_EQ(late->Begin(), HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE));
}

TEST_F(CrossProcessBlocksTest, TheLibraryRegistersItsThreeClassesAsInProcessServers) {
  auto library = Module::Load(RZD_RASTERBLOCKS_LIBRARY);
  ASSERT_TRUE(library);
  using Entry = HRESULT (*)();
  ASSERT_EQ(UnregisterLibrary(RZD_RASTERBLOCKS_LIBRARY), S_OK);  // the fixture's registration
  ASSERT_EQ(library->Bind<Entry>("DllRegisterServer")(), S_OK);
  for (const CLSID& clsid : {CLSID_VBuffer, CLSID_RasterBlocks, CLSID_RasterBlockDescriptor}) {
    RegKey server;
    ASSERT_EQ(RegKey::Open(Hive::ClassesRoot, u"CLSID\\" + FormatGuid(clsid) + u"\\InprocServer32", &server),
              ERROR_SUCCESS);
    std::u16string path;
    std::u16string threading;
    EXPECT_EQ(server.GetString(u"", &path), ERROR_SUCCESS);
    EXPECT_EQ(std::filesystem::path(ToUtf8(path)), std::filesystem::path(RZD_RASTERBLOCKS_LIBRARY));
    EXPECT_EQ(server.GetString(u"ThreadingModel", &threading), ERROR_SUCCESS);
    EXPECT_EQ(threading, u"Both");
    ComPtr<IUnknown> object;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, 0x17, IID_IUnknown, object.OutVoid()), S_OK);
  }
  auto canUnload = library->Bind<Entry>("DllCanUnloadNow");
  {
    ComPtr<IRasterBlocks> alive;
    ASSERT_EQ(CoCreateInstance(CLSID_RasterBlocks, nullptr, 0x17, IID_IRasterBlocks, alive.OutVoid()), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);
  }
  EXPECT_EQ(canUnload(), S_OK);
  ASSERT_EQ(library->Bind<Entry>("DllUnregisterServer")(), S_OK);
  RegKey gone;
  EXPECT_EQ(RegKey::Open(Hive::ClassesRoot, u"CLSID\\" + FormatGuid(CLSID_VBuffer), &gone), ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace rzd::rasterblocks::test
