// VBuffer: unique real names, opening by name, regions of one mapping, refusals.
#include "blocks_fixture.h"

#include <cstring>

namespace rzd::rasterblocks::test {
namespace {

using VBufferTest = BlocksTest;

TEST_F(VBufferTest, CreateMakesAUniqueRealNameFromTheOneAskedFor) {
  // Two clients both asking for "Meta" must never share a buffer.
  ComPtr<VBuffer> first = MakeComObject<VBuffer>();
  ComPtr<VBuffer> second = MakeComObject<VBuffer>();
  Bstr meta(u"Meta");
  ASSERT_EQ(first->Create(4096, meta.Get()), S_OK);
  ASSERT_EQ(second->Create(4096, meta.Get()), S_OK);
  Bstr a;
  Bstr b;
  ASSERT_EQ(first->GetName(a.Out()), S_OK);
  ASSERT_EQ(second->GetName(b.Out()), S_OK);
  const std::u16string expectedStart = FormatW(u"Global\\Meta-%u-", CurrentProcessId());
  EXPECT_EQ(a.View().substr(0, expectedStart.size()), expectedStart);
  EXPECT_EQ(b.View().substr(0, expectedStart.size()), expectedStart);
  EXPECT_NE(a.Str(), b.Str());

  // A name left by an earlier process with the same id is skipped, not shared.
  ComPtr<VBuffer> third = MakeComObject<VBuffer>();
  const uint32_t next = static_cast<uint32_t>(std::stoul(ToUtf8(b.View().substr(b.View().rfind(u'-') + 1)))) + 1;
  auto squatter = FileMapping::Create(expectedStart + FormatW(u"%u", next), 64);
  ASSERT_TRUE(squatter);
  ASSERT_EQ(third->Create(4096, meta.Get()), S_OK);
  Bstr c;
  ASSERT_EQ(third->GetName(c.Out()), S_OK);
  EXPECT_NE(c.Str(), expectedStart + FormatW(u"%u", next));
  ULONGLONG size = 0;
  ASSERT_EQ(third->Size(&size), S_OK);
  EXPECT_EQ(size, 4096u);

  // A name with its own namespace keeps it; an empty one gets a name all the same.
  ComPtr<VBuffer> local = MakeComObject<VBuffer>();
  Bstr localName(u"Local\\Raster");
  ASSERT_EQ(local->Create(64, localName.Get()), S_OK);
  Bstr d;
  ASSERT_EQ(local->GetName(d.Out()), S_OK);
  EXPECT_EQ(d.View().substr(0, 13), u"Local\\Raster-");
  ComPtr<VBuffer> unnamed = MakeComObject<VBuffer>();
  ASSERT_EQ(unnamed->Create(64, nullptr), S_OK);
  Bstr e;
  ASSERT_EQ(unnamed->GetName(e.Out()), S_OK);
  EXPECT_EQ(e.View().substr(0, 15), u"Global\\VBuffer-");
}

TEST_F(VBufferTest, AnotherObjectOpensTheBufferByItsNameAndSeesTheSameBytes) {
  ComPtr<VBuffer> made = MakeComObject<VBuffer>();
  Bstr raster(u"Raster");
  ASSERT_EQ(made->Create(3 * 4096 + 10, raster.Get()), S_OK);
  Bstr name;
  ASSERT_EQ(made->GetName(name.Out()), S_OK);
  void* writeAt = nullptr;
  ASSERT_EQ(made->Map(4100, 6, &writeAt), S_OK);
  std::memcpy(writeAt, "shared", 6);

  ComPtr<IVBuffer> opened = OpenBuffer(name.Str());
  ULONGLONG size = 0;
  ASSERT_EQ(opened->Size(&size), S_OK);
  EXPECT_EQ(size, 3u * 4096 + 10);
  void* whole = nullptr;
  void* part = nullptr;
  ASSERT_EQ(opened->Map(0, 0, &whole), S_OK);
  ASSERT_EQ(opened->Map(4100, 6, &part), S_OK);
  // Regions of one mapping of the data: no mapping of its own per region.
  EXPECT_EQ(static_cast<uint8_t*>(whole) + 4100, part);
  EXPECT_EQ(std::memcmp(part, "shared", 6), 0);
  EXPECT_EQ(opened->Unmap(part), S_OK);
  EXPECT_EQ(opened->Unmap(part), E_INVALIDARG);  // each region is ended once
  EXPECT_EQ(opened->Unmap(whole), S_OK);
  EXPECT_EQ(made->Unmap(writeAt), S_OK);
}

TEST_F(VBufferTest, RefusalsCarryTheirReasons) {
  ComPtr<VBuffer> buffer = MakeComObject<VBuffer>();
  Bstr missing(u"Global\\NoSuchBuffer");
  Bstr any(u"Any");
  ULONGLONG size = 0;
  void* view = nullptr;
  Bstr name;
  EXPECT_EQ(buffer->Open(missing.Get()), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(buffer->Open(nullptr), E_INVALIDARG);
  EXPECT_EQ(buffer->Size(&size), E_UNEXPECTED);
  EXPECT_EQ(buffer->Map(0, 1, &view), E_UNEXPECTED);
  EXPECT_EQ(buffer->GetName(name.Out()), E_UNEXPECTED);
  EXPECT_EQ(buffer->Create(0, any.Get()), E_INVALIDARG);
  EXPECT_EQ(buffer->Create(uint64_t{1} << 41, any.Get()), HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER));

  ASSERT_EQ(buffer->Create(100, any.Get()), S_OK);
  EXPECT_EQ(buffer->Create(100, any.Get()), E_UNEXPECTED);  // one buffer per object
  EXPECT_EQ(buffer->Map(50, 51, &view), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  EXPECT_EQ(view, nullptr);
  EXPECT_EQ(buffer->Map(100, 1, &view), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  EXPECT_EQ(buffer->Unmap(&size), E_INVALIDARG);
  EXPECT_EQ(buffer->Map(0, 1, nullptr), E_POINTER);
}

}  // namespace
}  // namespace rzd::rasterblocks::test
