#include "raster_blocks.h"

#include "vbuffer.h"

#include "platform/com_remote.h"
#include "platform/kernel.h"
#include "platform/process.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace rzd::rasterblocks {

namespace {

// How often a writer waiting for a block looks whether the reading process still runs.
constexpr uint32_t kReaderLookMs = 100;
// The most side data a manager keeps (what the bridge hands on comes from a 2 MiB buffer).
constexpr uint64_t kMaxSideData = 64ull << 20;

const HRESULT kReaderGone = HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE);
const HRESULT kBadHeader = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

// The same object behind two interface pointers.
bool SameObject(IUnknown* a, IUnknown* b) {
  ComPtr<IUnknown> x;
  ComPtr<IUnknown> y;
  if (FAILED(a->QueryInterface(IID_IUnknown, x.OutVoid())) || FAILED(b->QueryInterface(IID_IUnknown, y.OutVoid())))
    return false;
  return x.Get() == y.Get();
}

}  // namespace

// A buffer the manager works on: the VBuffer, one region of all of it, and the geometry this
// process keeps for itself.
struct RasterBlocks::Buffer {
  ComPtr<IVBuffer> vbuffer;
  void* base = nullptr;
  Geometry geometry;
  // The process whose call attached the writer (the service's Read for a client): its end ends
  // the stream whatever the header says, since the header is the client's to write.
  std::optional<ProcessIdentity> caller;

  ~Buffer() {
    if (base != nullptr) vbuffer->Unmap(base);
  }
  SharedHeader* Header() const { return HeaderOf(base); }
  BlockRecord* Record(uint32_t sequence) const { return RecordOf(base, geometry, sequence); }
  uint8_t* Data(uint32_t sequence) const { return BlockDataOf(base, geometry, sequence); }

  // The reading process still runs: the caller that attached the writer, when there was one, and
  // the process the header names (the one that allocated the buffer).
  bool ReaderRuns() const {
    if (caller && !caller->Runs()) return false;
    if (geometry.readerPid == 0) return false;
    if (geometry.readerStart == 0) return IsProcessAlive(geometry.readerPid);
    return ProcessIdentity{geometry.readerPid, geometry.readerStart}.Runs();
  }

  // Lets the other side look again.
  static void Signal(std::atomic<uint32_t>& word) {
    word.fetch_add(1, std::memory_order_release);
    WakeBySharedAddress(&word);
  }

  // Waits until block `sequence` may be written: S_OK, E_ABORT (the stream was ended) or
  // kReaderGone. The reader's liveness is looked at whenever a wait passed without a signal.
  HRESULT WaitForFree(uint32_t sequence) const {
    SharedHeader* h = Header();
    for (;;) {
      const uint32_t signal = h->writerSignal.load(std::memory_order_acquire);
      if (h->endLevel.load(std::memory_order_acquire) != 0) return E_ABORT;
      if (sequence - h->consumed.load(std::memory_order_acquire) < geometry.blockCount) return S_OK;
      WaitOnSharedAddress(&h->writerSignal, signal, kReaderLookMs);
      if (h->writerSignal.load(std::memory_order_acquire) == signal && !ReaderRuns()) return kReaderGone;
    }
  }
};

RasterBlocks::RasterBlocks() : ComObject(&LibraryModule()) {}

RasterBlocks::~RasterBlocks() = default;

void* RasterBlocks::FindInterface(const IID& iid) {
  if (iid == IID_IRasterBlocks) return static_cast<IRasterBlocks*>(this);
  if (iid == IID_IRasterLineSize) return static_cast<IRasterLineSize*>(this);
  if (iid == IID_IRasterBlockReader) return static_cast<IRasterBlockReader*>(this);
  if (iid == IID_IRasterBlockDescriptor) return static_cast<IRasterBlockDescriptor*>(&descriptor_);
  return nullptr;
}

void RasterBlocks::FinalRelease() {
  std::lock_guard guard(lock_);
  FinishWriting();
  taken_.reset();
  buffer_.reset();
}

BlockRecord* RasterBlocks::WritingRecord() const {
  return writing_ && buffer_ ? buffer_->Record(writeSequence_) : nullptr;
}

void RasterBlocks::FinishWriting(bool always) {
  BlockRecord* record = WritingRecord();
  writing_ = false;
  if (record == nullptr) return;
  if (!always && record->fill.load() == 0 && record->boundary.load() == 0 && record->error.load() == 0) return;
  SharedHeader* h = buffer_->Header();
  h->produced.store(writeSequence_ + 1, std::memory_order_release);
  Buffer::Signal(h->readerSignal);
}

void RasterBlocks::Replace(std::shared_ptr<Buffer> buffer) {
  std::lock_guard guard(lock_);
  FinishWriting();
  buffer_ = std::move(buffer);
  readSequence_ = buffer_->Header()->consumed.load(std::memory_order_acquire);
  blocksRead_ = 0;
}

HRESULT RasterBlocks::Allocate(ULONGLONG blockSize, ULONG blockCount) {
  std::optional<Geometry> geometry = PlanGeometry(blockSize, blockCount);
  if (!geometry) return E_INVALIDARG;
  geometry->readerPid = CurrentProcessId();
  geometry->readerStart = ProcessStartTime(geometry->readerPid).value_or(0);
  ComPtr<VBuffer> vbuffer = MakeComObject<VBuffer>();
  if (!vbuffer) return E_OUTOFMEMORY;
  Bstr prefix(u"RasterBlocks");
  if (HRESULT hr = vbuffer->Create(geometry->totalSize, prefix.Get()); FAILED(hr)) return hr;
  auto buffer = std::make_shared<Buffer>();
  buffer->vbuffer = ComPtr<IVBuffer>(vbuffer.Get());
  if (HRESULT hr = vbuffer->Map(0, geometry->totalSize, &buffer->base); FAILED(hr)) return hr;
  buffer->geometry = *geometry;
  WriteHeader(buffer->base, *geometry);
  Replace(std::move(buffer));
  return S_OK;
}

HRESULT RasterBlocks::GetVBuffer(IUnknown** buffer) {
  if (buffer == nullptr) return E_POINTER;
  *buffer = nullptr;
  std::lock_guard guard(lock_);
  if (!buffer_) return E_UNEXPECTED;
  return buffer_->vbuffer->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(buffer));
}

HRESULT RasterBlocks::Attach(IUnknown* buffer) {
  if (buffer == nullptr) return E_POINTER;
  ComPtr<IVBuffer> vbuffer;
  if (HRESULT hr = buffer->QueryInterface(IID_IVBuffer, vbuffer.OutVoid()); FAILED(hr)) return hr;
  {
    std::lock_guard guard(lock_);
    if (buffer_ && SameObject(buffer_->vbuffer.Get(), vbuffer.Get())) return S_OK;
  }
  ULONGLONG size = 0;
  if (HRESULT hr = vbuffer->Size(&size); FAILED(hr)) return hr;
  auto attached = std::make_shared<Buffer>();
  attached->vbuffer = vbuffer;
  if (HRESULT hr = vbuffer->Map(0, size, &attached->base); FAILED(hr)) return hr;
  std::optional<Geometry> geometry = ReadGeometry(attached->base, size);
  if (!geometry) return kBadHeader;
  attached->geometry = *geometry;
  // Attached on a call from another process: that process is a reader the client cannot name
  // falsely (the connection's peer, with its start time).
  if (CallerIdentity peer; GetCallerIdentity(&peer) && peer.processId != CurrentProcessId()) {
    attached->caller = ProcessIdentity::Of(peer.processId);
  }
  Replace(std::move(attached));
  return S_OK;
}

HRESULT RasterBlocks::TakeBlock(const std::shared_ptr<Buffer>& buffer, uint32_t sequence) {
  if (HRESULT hr = buffer->WaitForFree(sequence); hr != S_OK) return hr;
  BlockRecord* record = buffer->Record(sequence);
  record->fill.store(0, std::memory_order_relaxed);
  record->boundary.store(0, std::memory_order_relaxed);
  record->error.store(0, std::memory_order_relaxed);
  for (auto& value : record->properties) value.store(0, std::memory_order_relaxed);
  std::lock_guard guard(lock_);
  if (buffer_ != buffer) return E_UNEXPECTED;  // attached elsewhere meanwhile
  writing_ = true;
  writeSequence_ = sequence;
  return S_OK;
}

HRESULT RasterBlocks::Begin() {
  std::shared_ptr<Buffer> buffer;
  {
    std::lock_guard guard(lock_);
    if (!buffer_) return E_UNEXPECTED;
    if (writing_) return S_OK;
    buffer = buffer_;
  }
  return TakeBlock(buffer, buffer->Header()->produced.load(std::memory_order_acquire));
}

HRESULT RasterBlocks::NextBlock() {
  std::shared_ptr<Buffer> buffer;
  uint32_t next = 0;
  {
    std::lock_guard guard(lock_);
    if (!writing_) return E_UNEXPECTED;
    buffer = buffer_;
    next = writeSequence_ + 1;
    FinishWriting(true);
  }
  const HRESULT hr = TakeBlock(buffer, next);
  return hr == E_ABORT ? S_FALSE : hr;
}

HRESULT RasterBlocks::BlockSize(ULONGLONG* size) {
  if (size == nullptr) return E_POINTER;
  std::lock_guard guard(lock_);
  if (!buffer_) return E_UNEXPECTED;
  *size = buffer_->geometry.blockSize;
  return S_OK;
}

HRESULT RasterBlocks::GetFill(ULONGLONG* fill) {
  if (fill == nullptr) return E_POINTER;
  std::lock_guard guard(lock_);
  const BlockRecord* record = WritingRecord();
  if (record == nullptr) return E_UNEXPECTED;
  *fill = record->fill.load(std::memory_order_relaxed);
  return S_OK;
}

HRESULT RasterBlocks::SetFill(ULONGLONG fill) {
  std::lock_guard guard(lock_);
  BlockRecord* record = WritingRecord();
  if (record == nullptr) return E_UNEXPECTED;
  if (fill > buffer_->geometry.blockSize) return E_INVALIDARG;
  record->fill.store(fill, std::memory_order_relaxed);
  return S_OK;
}

HRESULT RasterBlocks::MapRegion(ULONGLONG offset, ULONGLONG size, void** region) {
  if (region == nullptr) return E_POINTER;
  *region = nullptr;
  std::lock_guard guard(lock_);
  if (WritingRecord() == nullptr) return E_UNEXPECTED;
  const uint64_t blockSize = buffer_->geometry.blockSize;
  if (offset > blockSize || size > blockSize - offset) return E_INVALIDARG;
  *region = buffer_->Data(writeSequence_) + offset;
  return S_OK;
}

HRESULT RasterBlocks::UnmapRegion(void* region) {
  std::lock_guard guard(lock_);
  if (WritingRecord() == nullptr) return E_UNEXPECTED;
  const auto* start = buffer_->Data(writeSequence_);
  const auto* at = static_cast<const uint8_t*>(region);
  if (at < start || at > start + buffer_->geometry.blockSize) return E_INVALIDARG;
  return S_OK;
}

HRESULT RasterBlocks::SetBoundary(LONG level) {
  std::lock_guard guard(lock_);
  if (BlockRecord* record = WritingRecord()) {
    record->boundary.store(level, std::memory_order_relaxed);
    return S_OK;
  }
  if (!buffer_) return E_UNEXPECTED;
  SharedHeader* h = buffer_->Header();
  h->endLevel.store(level > 0 ? static_cast<uint32_t>(level) : 0, std::memory_order_release);
  Buffer::Signal(h->writerSignal);
  Buffer::Signal(h->readerSignal);
  return S_OK;
}

HRESULT RasterBlocks::PutFrontData(const void* data, ULONGLONG size) {
  if (size > kMaxSideData) return E_INVALIDARG;
  if (data == nullptr && size != 0) return E_POINTER;
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::lock_guard guard(lock_);
  front_.assign(bytes, bytes + size);
  return S_OK;
}

HRESULT RasterBlocks::PutBackData(const void* data, ULONGLONG size) {
  if (size > kMaxSideData) return E_INVALIDARG;
  if (data == nullptr && size != 0) return E_POINTER;
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::lock_guard guard(lock_);
  back_.assign(bytes, bytes + size);
  return S_OK;
}

HRESULT RasterBlocks::SetLineSize(LONG /*minimum*/) {
  std::lock_guard guard(lock_);
  return buffer_ ? S_OK : E_UNEXPECTED;
}

HRESULT RasterBlocks::GetLinePad(LONG* pad) {
  if (pad == nullptr) return E_POINTER;
  *pad = 0;
  return S_OK;
}

HRESULT RasterBlocks::WaitBlock(DWORD timeoutMs, RasterBlockInfo* info, const BYTE** data) {
  if (info == nullptr || data == nullptr) return E_POINTER;
  *data = nullptr;
  std::shared_ptr<Buffer> buffer;
  uint32_t sequence = 0;
  {
    std::lock_guard guard(lock_);
    if (!buffer_ || taken_) return E_UNEXPECTED;
    buffer = buffer_;
    sequence = readSequence_;
  }
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  SharedHeader* h = buffer->Header();
  const Geometry& g = buffer->geometry;
  for (;;) {
    const uint32_t signal = h->readerSignal.load(std::memory_order_acquire);
    const uint32_t produced = h->produced.load(std::memory_order_acquire);
    if (produced != sequence) {
      if (produced - sequence > g.blockCount) return kBadHeader;  // counters no writer makes
      const BlockRecord* record = buffer->Record(sequence);
      info->fill = std::min<uint64_t>(record->fill.load(std::memory_order_relaxed), g.blockSize);
      info->boundary = record->boundary.load(std::memory_order_relaxed);
      info->error = record->error.load(std::memory_order_relaxed);
      for (uint32_t p = 0; p < kRasterPropertyCount; ++p)
        info->properties[p] = record->properties[p].load(std::memory_order_relaxed);
      std::lock_guard guard(lock_);
      if (buffer_ != buffer || taken_) return E_UNEXPECTED;  // attached elsewhere meanwhile
      info->sequence = blocksRead_;
      taken_ = buffer;
      *data = buffer->Data(sequence);
      return S_OK;
    }
    if (h->endLevel.load(std::memory_order_acquire) != 0) return S_FALSE;
    uint32_t waitMs = INFINITE;
    if (timeoutMs != INFINITE) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return HRESULT_FROM_WIN32(WAIT_TIMEOUT);
      waitMs = static_cast<uint32_t>(left);
    }
    WaitOnSharedAddress(&h->readerSignal, signal, waitMs);
  }
}

HRESULT RasterBlocks::ReleaseBlock() {
  std::lock_guard guard(lock_);
  if (!taken_) return E_UNEXPECTED;
  const std::shared_ptr<Buffer> buffer = std::move(taken_);
  taken_.reset();
  if (buffer != buffer_) return S_OK;  // a buffer let go meanwhile: nobody writes it any more
  ++readSequence_;
  ++blocksRead_;
  SharedHeader* h = buffer->Header();
  h->consumed.store(readSequence_, std::memory_order_release);
  Buffer::Signal(h->writerSignal);
  return S_OK;
}

HRESULT RasterBlocks::GetOperationText(BSTR* text) {
  if (text == nullptr) return E_POINTER;
  std::lock_guard guard(lock_);
  *text = hasText_ ? AllocBstr(text_) : nullptr;
  return hasText_ && *text == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT RasterBlocks::GetSideData(LONG side, const BYTE** data, ULONGLONG* size) {
  if (data == nullptr || size == nullptr) return E_POINTER;
  if (side != 0 && side != 1) return E_INVALIDARG;
  std::lock_guard guard(lock_);
  const std::vector<uint8_t>& bytes = side == 0 ? front_ : back_;
  *data = bytes.data();
  *size = bytes.size();
  return S_OK;
}

// ---- The manager's descriptor.

HRESULT RasterBlocks::ManagerDescriptor::GetProperty(RasterProperty property, LONG* value) {
  std::lock_guard guard(owner_->lock_);
  const BlockRecord* record = owner_->WritingRecord();
  *value = record != nullptr ? record->properties[property].load(std::memory_order_relaxed) : owner_->values_[property];
  return S_OK;
}

HRESULT RasterBlocks::ManagerDescriptor::PutProperty(RasterProperty property, LONG value) {
  std::lock_guard guard(owner_->lock_);
  if (BlockRecord* record = owner_->WritingRecord()) {
    record->properties[property].store(value, std::memory_order_relaxed);
  } else {
    owner_->values_[property] = value;
  }
  return S_OK;
}

HRESULT RasterBlocks::ManagerDescriptor::SetError(LONG errorCode) {
  std::lock_guard guard(owner_->lock_);
  if (BlockRecord* record = owner_->WritingRecord()) record->error.store(errorCode, std::memory_order_relaxed);
  return S_OK;
}

HRESULT RasterBlocks::ManagerDescriptor::SetBoundary(LONG level) {
  std::lock_guard guard(owner_->lock_);
  if (BlockRecord* record = owner_->WritingRecord()) record->boundary.store(level, std::memory_order_relaxed);
  return S_OK;
}

HRESULT RasterBlocks::ManagerDescriptor::SetOperationText(BSTR text) {
  std::lock_guard guard(owner_->lock_);
  owner_->text_.assign(BstrView(text));
  owner_->hasText_ = true;
  return S_OK;
}

}  // namespace rzd::rasterblocks
