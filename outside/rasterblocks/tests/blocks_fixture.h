// The raster-block tests' fixture: a root of their own, COM, the library registered, and the
// two sides of a buffer (the reader that allocates it, a writer that opens it by name).
#pragma once

#include "block_descriptor.h"
#include "raster_blocks.h"
#include "registration.h"
#include "vbuffer.h"

#include "platform/com.h"
#include "platform/process.h"
#include "platform/text.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rzd::rasterblocks::test {

class BlocksTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Ok());
    ASSERT_EQ(RegisterLibrary(RZD_RASTERBLOCKS_LIBRARY), S_OK);
  }

  static ComPtr<RasterBlocks> Reader(uint64_t blockSize, ULONG count) {
    ComPtr<RasterBlocks> reader = MakeComObject<RasterBlocks>();
    EXPECT_EQ(reader->Allocate(blockSize, count), S_OK);
    return reader;
  }

  static std::u16string NameOf(IRasterBlocks* blocks) {
    ComPtr<IUnknown> unknown;
    ComPtr<IVBuffer> buffer;
    EXPECT_EQ(blocks->GetVBuffer(unknown.Out()), S_OK);
    EXPECT_EQ(unknown.As(IID_IVBuffer, &buffer), S_OK);
    Bstr name;
    EXPECT_EQ(buffer->GetName(name.Out()), S_OK);
    return name.Str();
  }

  static ComPtr<IVBuffer> OpenBuffer(const std::u16string& name) {
    ComPtr<VBuffer> buffer = MakeComObject<VBuffer>();
    Bstr text(name);
    EXPECT_EQ(buffer->Open(text.Get()), S_OK);
    return ComPtr<IVBuffer>(buffer.Get());
  }

  // A manager working on the buffer of that name, as the writing process makes one.
  static ComPtr<RasterBlocks> Writer(const std::u16string& name) {
    ComPtr<RasterBlocks> writer = MakeComObject<RasterBlocks>();
    EXPECT_EQ(writer->Attach(OpenBuffer(name).Get()), S_OK);
    return writer;
  }

  // Writes `bytes` bytes of `value` into the block being written and sets its fill.
  static void FillBlock(IRasterBlocks* writer, uint64_t bytes, uint8_t value) {
    void* region = nullptr;
    ASSERT_EQ(writer->MapRegion(0, bytes, &region), S_OK);
    std::vector<uint8_t> data(bytes, value);
    std::copy(data.begin(), data.end(), static_cast<uint8_t*>(region));
    ASSERT_EQ(writer->UnmapRegion(region), S_OK);
    ASSERT_EQ(writer->SetFill(bytes), S_OK);
  }

  // The next block of the reader (waiting at most `timeoutMs`), released again at once.
  struct Taken {
    HRESULT hr = E_FAIL;
    RasterBlockInfo info;
    std::vector<uint8_t> data;
  };
  static Taken Take(IRasterBlockReader* reader, DWORD timeoutMs = 30000) {
    Taken taken;
    const BYTE* data = nullptr;
    taken.hr = reader->WaitBlock(timeoutMs, &taken.info, &data);
    if (taken.hr == S_OK) {
      taken.data.assign(data, data + taken.info.fill);
      EXPECT_EQ(reader->ReleaseBlock(), S_OK);
    }
    return taken;
  }

  static std::filesystem::path Peer() { return rzd::test::BinaryDir() / "rasterblocks_peer"; }

  ComInit com_{COINIT_MULTITHREADED};
};

}  // namespace rzd::rasterblocks::test
