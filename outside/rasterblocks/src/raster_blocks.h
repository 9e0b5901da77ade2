// RasterBlocks: the raster-block manager over a VBuffer. The process that allocates it reads the
// blocks (IRasterBlockReader); a manager in another process attaches to the same buffer by name
// and writes them (Begin, MapRegion, SetFill, NextBlock ...). Every block's state lives in the
// buffer (shared_layout.h); a block the writer is filling is handed to the reader by NextBlock, or
// when the writer lets go of the buffer (its last release, another Attach or Allocate) with
// anything in it (data, a boundary or an error).
//
// The manager's own descriptor (QueryInterface for IRasterBlockDescriptor) is the description of
// the block being written; on a manager that writes nothing it keeps its properties in this
// process.
#pragma once

#include "block_descriptor.h"
#include "rasterblocks/block_reader.h"
#include "shared_layout.h"

#include "platform/com_object.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace rzd::rasterblocks {

class RasterBlocks final : public ComObject<IRasterBlocks, IRasterLineSize, IRasterBlockReader> {
 public:
  RasterBlocks();
  ~RasterBlocks() override;

  // ---- IRasterBlocks.
  // A new buffer of `blockCount` blocks of `blockSize` bytes, read by this process.
  // E_INVALIDARG for a size or count of 0 or more than 65536 blocks.
  HRESULT Allocate(ULONGLONG blockSize, ULONG blockCount) override;
  HRESULT GetVBuffer(IUnknown** buffer) override;
  // Works on `buffer` (a VBuffer another process allocated blocks in): its header is copied once
  // and must describe blocks that fit the buffer, else HRESULT_FROM_WIN32(ERROR_INVALID_DATA).
  // The buffer this manager holds already: S_OK, nothing changes. Called on a call from another
  // process (the service's Read), that caller counts as a reader besides the one the header
  // names: the writer gives up when either is gone, so a header naming another live process
  // never keeps it waiting for a client that has ended.
  HRESULT Attach(IUnknown* buffer) override;
  // Takes the next block to write, waiting until the reader gave it back. E_ABORT when the reader
  // ended the stream, HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE) when the reading process is gone.
  HRESULT Begin() override;
  // Hands the block to the reader and takes the next one: S_OK, S_FALSE when the reader ended the
  // stream, HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE) when the reading process is gone.
  HRESULT NextBlock() override;
  HRESULT BlockSize(ULONGLONG* size) override;
  HRESULT GetFill(ULONGLONG* fill) override;
  HRESULT SetFill(ULONGLONG fill) override;
  // A region of the block being written (no system call). E_INVALIDARG (null region) for a
  // region past the block's end, E_UNEXPECTED while no block is being written.
  HRESULT MapRegion(ULONGLONG offset, ULONGLONG size, void** region) override;
  HRESULT UnmapRegion(void* region) override;
  // While writing: the boundary level of the block. On the reading side: ends the stream at that
  // level (0 lets it go on); the writer's next wait answers that none follows.
  HRESULT SetBoundary(LONG level) override;
  HRESULT PutFrontData(const void* data, ULONGLONG size) override;
  HRESULT PutBackData(const void* data, ULONGLONG size) override;

  // ---- IRasterLineSize: the pad is 0, and a line size changes nothing: every block reaches the
  // reader as written. E_UNEXPECTED without a buffer.
  HRESULT SetLineSize(LONG minimum) override;
  HRESULT GetLinePad(LONG* pad) override;

  // ---- IRasterBlockReader.
  HRESULT WaitBlock(DWORD timeoutMs, RasterBlockInfo* info, const BYTE** data) override;
  HRESULT ReleaseBlock() override;
  HRESULT GetOperationText(BSTR* text) override;
  HRESULT GetSideData(LONG side, const BYTE** data, ULONGLONG* size) override;

 protected:
  void* FindInterface(const IID& iid) override;
  void FinalRelease() override;

 private:
  struct Buffer;

  // The manager's own descriptor, sharing the manager's identity and count.
  class ManagerDescriptor final : public DescriptorMethods {
   public:
    explicit ManagerDescriptor(RasterBlocks* owner) : owner_(owner) {}
    HRESULT QueryInterface(const IID& iid, void** object) override { return owner_->QueryInterface(iid, object); }
    ULONG AddRef() override { return owner_->AddRef(); }
    ULONG Release() override { return owner_->Release(); }
    HRESULT SetError(LONG errorCode) override;
    HRESULT SetBoundary(LONG level) override;
    HRESULT SetOperationText(BSTR text) override;

   protected:
    HRESULT GetProperty(RasterProperty property, LONG* value) override;
    HRESULT PutProperty(RasterProperty property, LONG value) override;

   private:
    RasterBlocks* owner_;
  };

  // The record of the block being written, or null; the caller holds lock_.
  BlockRecord* WritingRecord() const;
  // Takes `buffer` in place of the present one (handing over a block being written first).
  void Replace(std::shared_ptr<Buffer> buffer);
  // Hands the block being written to the reader when anything is in it (or `always`); the caller
  // holds lock_.
  void FinishWriting(bool always = false);
  // Waits for block `sequence` of `buffer` to be free, then starts writing it.
  HRESULT TakeBlock(const std::shared_ptr<Buffer>& buffer, uint32_t sequence);

  mutable std::mutex lock_;
  std::shared_ptr<Buffer> buffer_;
  // Writing.
  bool writing_ = false;
  uint32_t writeSequence_ = 0;  // its fill, boundary and error are in its record
  // Reading.
  std::shared_ptr<Buffer> taken_;  // the buffer of the block taken, while one is
  uint32_t readSequence_ = 0;
  uint64_t blocksRead_ = 0;
  // The descriptor's properties while nothing is written (an error or boundary set then goes
  // nowhere), and what the bridge hands on.
  LONG values_[kRasterPropertyCount] = {};
  bool hasText_ = false;
  std::u16string text_;
  std::vector<uint8_t> front_;
  std::vector<uint8_t> back_;
  ManagerDescriptor descriptor_{this};
};

}  // namespace rzd::rasterblocks
