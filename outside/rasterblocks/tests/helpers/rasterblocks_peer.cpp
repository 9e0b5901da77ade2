// The other process of the raster-block tests. It creates the classes through their registration
// (class context 0x17, as the service and the bridge do), so the library is loaded from the
// registry here too. The root comes from $RZD_ROOT.
//
//   rasterblocks_peer write <buffer name> <blocks> <bytes> <last boundary>
//       writes <blocks> blocks of <bytes> bytes (byte j of block i: (i * 31 + j * 7) & 0xFF), each
//       described by a work descriptor copied into the manager's (Page i + 1, Side i % 2,
//       BytesPerLine <bytes>), boundary 1 and <last boundary> on the last; 0 when all went well
//   rasterblocks_peer write-until-end <buffer name> <bytes>
//       writes blocks until the manager says no block follows (exit 0), the reader is gone
//       (exit 3) or anything else fails (exit 4)
//   rasterblocks_peer read <name file> <block size> <blocks>
//       allocates blocks, writes the buffer's name into <name file> and sleeps until it is killed
#include "rasterblocks/block_reader.h"

#include "platform/com.h"
#include "platform/root.h"
#include "platform/text.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using rzd::ComPtr;
constexpr DWORD kContext = 0x17;

uint8_t PatternByte(uint64_t block, uint64_t index) { return static_cast<uint8_t>((block * 31 + index * 7) & 0xFF); }

ComPtr<IRasterBlocks> AttachTo(const std::string& name) {
  ComPtr<IVBuffer> buffer;
  ComPtr<IRasterBlocks> blocks;
  if (FAILED(CoCreateInstance(CLSID_VBuffer, nullptr, kContext, IID_IVBuffer, buffer.OutVoid()))) return nullptr;
  rzd::Bstr text(rzd::FromUtf8(name));
  if (FAILED(buffer->Open(text.Get()))) return nullptr;
  if (FAILED(CoCreateInstance(CLSID_RasterBlocks, nullptr, kContext, IID_IRasterBlocks, blocks.OutVoid()))) return nullptr;
  if (FAILED(blocks->Attach(buffer.Get()))) return nullptr;
  return blocks;
}

// Fills the block being written with block `index`'s pattern.
bool Fill(IRasterBlocks* blocks, uint64_t index, uint64_t bytes) {
  void* region = nullptr;
  if (blocks->MapRegion(0, bytes, &region) != S_OK || region == nullptr) return false;
  auto* out = static_cast<uint8_t*>(region);
  for (uint64_t j = 0; j < bytes; ++j) out[j] = PatternByte(index, j);
  return blocks->UnmapRegion(region) == S_OK && blocks->SetFill(bytes) == S_OK;
}

int Write(const std::string& name, uint64_t count, uint64_t bytes, LONG lastBoundary) {
  ComPtr<IRasterBlocks> blocks = AttachTo(name);
  if (!blocks) return 20;
  ComPtr<IRasterBlockDescriptor> work;
  ComPtr<IRasterBlockDescriptor> own;
  if (FAILED(CoCreateInstance(CLSID_RasterBlockDescriptor, nullptr, kContext, IID_IRasterBlockDescriptor,
                              work.OutVoid())))
    return 21;
  if (FAILED(blocks.As(IID_IRasterBlockDescriptor, &own))) return 22;
  if (blocks->Begin() != S_OK) return 23;
  for (uint64_t i = 0; i < count; ++i) {
    if (!Fill(blocks.Get(), i, bytes)) return 24;
    work->put_Page(static_cast<LONG>(i + 1));
    work->put_Side(static_cast<LONG>(i % 2));
    work->put_BytesPerLine(static_cast<LONG>(bytes));
    if (own->CopyFrom(work.Get()) != S_OK) return 25;
    const LONG boundary = i + 1 == count ? lastBoundary : 1;
    if (own->SetBoundary(boundary) != S_OK || blocks->SetBoundary(boundary) != S_OK) return 26;
    if (i + 1 < count && blocks->NextBlock() != S_OK) return 27;
  }
  return 0;  // the last block goes to the reader with the manager's release
}

int WriteUntilEnd(const std::string& name, uint64_t bytes) {
  ComPtr<IRasterBlocks> blocks = AttachTo(name);
  if (!blocks) return 20;
  if (blocks->Begin() != S_OK) return 23;
  for (uint64_t i = 0; i < 1000000; ++i) {
    if (!Fill(blocks.Get(), i, bytes)) return 24;
    const HRESULT hr = blocks->NextBlock();
    if (hr == S_FALSE) return 0;
    if (hr == HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE)) return 3;
    if (hr != S_OK) return 4;
  }
  return 5;
}

int Read(const std::string& nameFile, uint64_t blockSize, ULONG count) {
  ComPtr<IRasterBlocks> blocks;
  if (FAILED(CoCreateInstance(CLSID_RasterBlocks, nullptr, kContext, IID_IRasterBlocks, blocks.OutVoid()))) return 20;
  if (blocks->Allocate(blockSize, count) != S_OK) return 21;
  ComPtr<IUnknown> unknown;
  ComPtr<IVBuffer> buffer;
  if (blocks->GetVBuffer(unknown.Out()) != S_OK || FAILED(unknown.As(IID_IVBuffer, &buffer))) return 22;
  rzd::Bstr name;
  if (buffer->GetName(name.Out()) != S_OK) return 23;
  {
    std::ofstream out(nameFile + ".part");
    out << rzd::ToUtf8(name.View());
  }
  std::filesystem::rename(nameFile + ".part", nameFile);
  const std::filesystem::path root = rzd::SystemRoot();
  for (;;) {  // ends when killed, or once the test's root is gone
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::error_code ec;
    if (!std::filesystem::exists(root, ec)) return 0;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  rzd::ComInit com(COINIT_MULTITHREADED);
  if (!com.Ok()) return 10;
  auto number = [&](size_t i) { return std::strtoull(args[i].c_str(), nullptr, 10); };
  if (args.size() == 5 && args[0] == "write") return Write(args[1], number(2), number(3), static_cast<LONG>(number(4)));
  if (args.size() == 3 && args[0] == "write-until-end") return WriteUntilEnd(args[1], number(2));
  if (args.size() == 4 && args[0] == "read") return Read(args[1], number(2), static_cast<ULONG>(number(3)));
  return 2;
}
