// The scanner HAL object: IRZDHAL::Read, the image transfer into the client's shared buffers.
//
// The client owns both buffers; the service opens them by name, lays a raster-block manager over
// the raster buffer and lets the driver's Read write straight into one region of the current
// block at a time (no copy of its own). Each read's page document describes the block and is
// collected into one Operation document, which the metadata record carries with the background
// data when the read ends.
#include "hal/page_meta.h"
#include "hal/page_values.h"
#include "hal/process_state.h"
#include "hal/scanner_base.h"

#include "foundation/func_trace.h"
#include "foundation/xml_store.h"
#include "platform/com.h"
#include "platform/errors.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace rzd::scanhost {

namespace {

constexpr DWORD kComponentContext = 0x17;
constexpr HRESULT kNotLocked = MakeHr(0xE0010001);
constexpr HRESULT kUnknownLevel = MakeHr(0xE0010007);
constexpr HRESULT kRecordTooLarge = HRESULT_FROM_WIN32(122);  // ERROR_INSUFFICIENT_BUFFER
constexpr int32_t kRetryRead = 77;         // no data; read again (into a larger region)
constexpr int32_t kNoBackground = 0x8007;  // the driver keeps no background data
constexpr uint32_t kLastLevel = 6;
constexpr int32_t kDefaultLinesPerSide = 16;
constexpr uint64_t kSmallestRegion = 64;
// The most background data the service takes from the driver.
constexpr uint32_t kMaxBackground = 64u << 20;

bool IsNone(BSTR name) { return BstrView(name) == u"None"; }

}  // namespace

DriverAnswer CRZDHALScannerBase::ReadFromLLD(uint8_t* region, uint32_t* size, BSTR* metadata, uint32_t* boundary) {
  DriverAnswer answer = driver_.Read(handle_.load(), region, size, metadata, boundary);
  if (*boundary >= kLastLevel) UpdateCountersInRegistry(handle_.load());
  return answer;
}

HRESULT CRZDHALScannerBase::raw_Read(BSTR strMMRasterName, BSTR strMMMetaData, LONG lSessionBoundary) {
  HRESULT hr = S_OK;
  RZD_FUNC_TRACE(u"CRZDHALScannerBase::raw_Read");
  RZD_TRACE_HRESULT(&hr, u"strMMRasterName = %s, strMMMetaData = %s, lSessionBoundary = 0x%08X",
                    strMMRasterName != nullptr ? strMMRasterName : u"NULL",
                    strMMMetaData != nullptr ? strMMMetaData : u"NULL", static_cast<uint32_t>(lSessionBoundary));
  if (!locked_.load()) {
    RZD_LOG_ERROR(u"raw_Read HAL is not locked");
    return hr = kNotLocked;
  }
  if (lSessionBoundary < 1 || lSessionBoundary > static_cast<LONG>(kLastLevel)) {
    RZD_LOG_ERROR(u"raw_Read Unknown session level 0x%08X", static_cast<uint32_t>(lSessionBoundary));
    return hr = kUnknownLevel;
  }
  const uint32_t wanted = static_cast<uint32_t>(lSessionBoundary);

  ComPtr<IVBuffer> raster;
  if (FAILED(hr = CoCreateInstance(CLSID_VBuffer, nullptr, kComponentContext, IID_IVBuffer, raster.OutVoid())) ||
      FAILED(hr = raster->Open(strMMRasterName))) {
    RZD_LOG_ERROR(u"raw_Read failed to create VBuffer");
    return hr;
  }
  ComPtr<IVBuffer> meta;
  if (FAILED(hr = CoCreateInstance(CLSID_VBuffer, nullptr, kComponentContext, IID_IVBuffer, meta.OutVoid()))) {
    RZD_LOG_ERROR(u"raw_Read failed to create Meta VBuffer");
    return hr;
  }
  const bool wantsRecord = !IsNone(strMMMetaData);
  // A metadata buffer that cannot be opened ends the read: its record would be lost unseen.
  if (wantsRecord && FAILED(hr = meta->Open(strMMMetaData))) {
    RZD_LOG_ERROR(u"raw_Read failed to open Meta VBuffer: 0x%08X", static_cast<uint32_t>(hr));
    return hr;
  }
  ComPtr<IRasterBlocks> blocks;
  if (FAILED(hr = CoCreateInstance(CLSID_RasterBlocks, nullptr, kComponentContext, IID_IRasterBlocks, blocks.OutVoid()))) {
    RZD_LOG_ERROR(u"raw_Read failed to create RasterBlocks");
    return hr;
  }
  hal_process::BeginScan(this, ownerProcessId_.load());
  if (FAILED(hr = blocks->Attach(raster.Get()))) return hr;
  ComPtr<IRasterBlockDescriptor> work;
  // Without a work descriptor no block could be described: the read ends here.
  if (FAILED(hr = CoCreateInstance(CLSID_RasterBlockDescriptor, nullptr, kComponentContext, IID_IRasterBlockDescriptor,
                                   work.OutVoid()))) {
    RZD_LOG_ERROR(u"raw_Read failed to create RasterBlock Descriptor");
    return hr;
  }
  ComPtr<IRasterBlockDescriptor> own;
  if (FAILED(hr = blocks.As(IID_IRasterBlockDescriptor, &own))) return hr;
  ComPtr<IRasterLineSize> lineSize;
  LONG pad = 0;
  if (SUCCEEDED(blocks.As(IID_IRasterLineSize, &lineSize))) {
    lineSize->GetLinePad(&pad);
  } else {
    lineSize.Reset();
  }
  if (FAILED(hr = blocks->Begin())) return hr;

  uint32_t reached = 1;
  bool duplex = false;
  bool padApplied = false;
  bool backgroundFetched = false;
  std::vector<uint8_t> background;
  bool writeRecord = true;
  bool stop = false;
  // Each read's page text, kept for the Operation document: it is built once the reads are done,
  // so that no document work lies between two reads of the driver.
  std::vector<Bstr> pages;
  PageValues values;
  uint64_t sideKind = SideKindOf(nullptr);
  while (!stop) {
    ULONGLONG blockSize = 0;
    if (FAILED(blocks->BlockSize(&blockSize))) {
      hr = E_OUTOFMEMORY;
      writeRecord = false;
      break;
    }
    if (HRESULT set = blocks->SetFill(0); FAILED(set)) {
      hr = set;
      writeRecord = false;
      break;
    }
    uint64_t free = blockSize;
    bool first = true;
    uint64_t minimum = kSmallestRegion;
    LONG side = -1;
    for (;;) {
      // The driver takes a 32-bit size: a larger region is offered in parts.
      const uint64_t regionSize = std::min<uint64_t>(free, std::numeric_limits<uint32_t>::max());
      void* region = nullptr;
      if (FAILED(blocks->MapRegion(blockSize - free, regionSize, &region))) {
        hr = E_OUTOFMEMORY;
        writeRecord = false;
        stop = true;
        break;
      }
      if (region == nullptr) {
        RZD_LOG_ERROR(u"raw_Read failed to map the current RasterBlock");
        hr = E_OUTOFMEMORY;
        stop = true;
        break;
      }
      auto size = static_cast<uint32_t>(regionSize);
      Bstr page;  // a fresh, empty slot for every read; freed after it
      uint32_t boundary = reached;
      DriverAnswer answer = ReadFromLLD(static_cast<uint8_t*>(region), &size, page.Out(), &boundary);
      blocks->UnmapRegion(region);
      if (!answer.ok) {
        const int32_t code = answer.ErrorCode();
        if (answer.bound && code == kRetryRead) {
          // No data this time: the block loop goes on, or stops, by the level the driver gave,
          // which the block carries so that the client sees where the data end.
          if (boundary != reached) {
            reached = boundary;
            own->SetBoundary(static_cast<LONG>(reached));
            blocks->SetBoundary(static_cast<LONG>(reached));
          }
          break;
        }
        hr = E_FAIL;
        MSXML6StoreSTL error;
        std::u16string description;
        if (answer.error && error.LoadFromString(answer.error.View())) error.GetNodeText(u"/Result/Description", description);
        own->SetError(code);
        RZD_LOG_ERROR(u"raw_Read failed to read from the LLD: Error=0x%08X Description=%s", static_cast<uint32_t>(code),
                      description.c_str());
        reached = answer.bound ? boundary : kLastLevel;
        own->SetBoundary(static_cast<LONG>(reached));
        blocks->SetBoundary(static_cast<LONG>(reached));
        stop = true;
        break;
      }
      reached = boundary;
      ULONGLONG fill = 0;
      blocks->GetFill(&fill);
      if (HRESULT set = blocks->SetFill(fill + size); FAILED(set)) {
        hr = set;
        writeRecord = false;
        stop = true;
        break;
      }
      // The values come from one pass over the page text; a text of another shape is parsed.
      if (!page || !values.ReadAnyShape(page.View())) {
        RZD_LOG_ERROR(u"raw_Read failed to parse LLD meta data");
        hr = E_FAIL;
        stop = true;
        break;
      }
      if (pages.empty()) sideKind = SideKindOf(&values);
      pages.push_back(std::move(page));  // `values` still points into it
      if (!CopyMetaToRasterBlock(values, work.Get(), first, &duplex, *this)) {
        RZD_LOG_ERROR(u"raw_Read failed to copy the meta data to a RasterBlock Descriptor");
        hr = E_FAIL;
        stop = true;
        break;
      }
      first = false;
      free -= std::min<uint64_t>(free, size);
      LONG bytesPerLine = 0;
      work->get_Side(&side);
      work->get_BytesPerLine(&bytesPerLine);
      if (side == 2) {
        const int64_t linesPerSide = values.Int(u"/Result/Address/LinesPerSide", kDefaultLinesPerSide);
        if (static_cast<int64_t>(free) < linesPerSide * bytesPerLine * 2) free = 0;
      }
      int64_t line = bytesPerLine;
      if (line < 1) {
        LONG width = 0;
        LONG bits = 0;
        work->get_Width(&width);
        work->get_BitsPerPixel(&bits);
        line = int64_t{width} * bits / 8;
      }
      minimum = std::max<uint64_t>(kSmallestRegion, static_cast<uint64_t>(std::max<int64_t>(0, line)) * (duplex ? 2 : 1) +
                                                        (padApplied ? static_cast<uint64_t>(std::max<LONG>(0, pad)) : 0));
      if (free < minimum) free = 0;
      work->SetBoundary(static_cast<LONG>(reached));
      if (HRESULT copied = own->CopyFrom(work.Get()); FAILED(copied)) {
        RZD_LOG_ERROR(u"raw_Read failed to copy the RasterBlock Descriptor");
        hr = copied;
        stop = true;
        break;
      }
      blocks->SetBoundary(static_cast<LONG>(reached));
      if (hr == S_OK && !backgroundFetched && values.Int(u"/Result/Address/ImageFromTheStream", 1) == 1) {
        backgroundFetched = true;
        if (!FetchBackground(&background, own.Get())) {
          hr = E_FAIL;
          stop = true;
          break;
        }
      }
      if (reached != 1 || free == 0) break;
      if (duplex && side != 2) break;
    }
    if (stop) break;
    if (lineSize && side != 2 && duplex && hr == S_OK && reached < wanted) {
      lineSize->SetLineSize(static_cast<LONG>(std::min<uint64_t>(minimum, std::numeric_limits<LONG>::max())));
      padApplied = true;
    }
    if (hr != S_OK || reached >= wanted) break;
    hr = blocks->NextBlock();
    if (hr != S_OK) break;
  }

  if (writeRecord && wantsRecord) {
    const std::vector<uint8_t> record = MakeMetaRecord(MakeOperationText(pages), background, sideKind);
    ULONGLONG capacity = 0;
    void* view = nullptr;
    if (FAILED(meta->Size(&capacity)) || record.size() > capacity) {
      // The record does not fit the client's buffer: nothing is written, the image data stay.
      RZD_LOG_ERROR(u"raw_Read the meta data record (%llu bytes) does not fit its buffer (%llu bytes)",
                    static_cast<unsigned long long>(record.size()), static_cast<unsigned long long>(capacity));
      if (SUCCEEDED(hr)) hr = kRecordTooLarge;
    } else if (SUCCEEDED(meta->Map(0, record.size(), &view)) && view != nullptr) {
      std::memcpy(view, record.data(), record.size());
      meta->Unmap(view);
    }
  }
  if (hr == S_FALSE) hr = S_OK;
  return hr;
}

bool CRZDHALScannerBase::FetchBackground(std::vector<uint8_t>* data, IRasterBlockDescriptor* own) {
  // The code requires a BSTR result slot (the driver refuses the call without one, before it
  // tells the length); the first call, without a buffer, fails and tells the stored length.
  uint32_t length = 0;
  Bstr unusedFirst;
  DriverAnswer asked = driver_.Control(handle_.load(), driver_code::kBackgroundData, nullptr, unusedFirst.Out(), nullptr, 0,
                                       nullptr, &length);
  // No length, or the driver's "nothing stored": this scan has no background data.
  if (length == 0 || (!asked.ok && asked.ErrorCode() == kNoBackground)) return true;
  if (length > kMaxBackground) {
    RZD_LOG_ERROR(u"raw_Read background data of %u bytes is above %u; not taken", length, kMaxBackground);
    return true;
  }
  data->assign(length, 0);
  Bstr unused;
  DriverAnswer answer =
      driver_.Control(handle_.load(), driver_code::kBackgroundData, nullptr, unused.Out(), nullptr, 0, data->data(), &length);
  if (answer.ok) {
    data->resize(std::min<size_t>(data->size(), length));
    return true;
  }
  data->clear();
  const int32_t code = answer.ErrorCode();
  own->SetError(code);
  MSXML6StoreSTL error;
  std::u16string description;
  if (answer.error && error.LoadFromString(answer.error.View())) error.GetNodeText(u"/Result/Description", description);
  RZD_LOG_ERROR(u"raw_Read failed to read from the LLD: Error=0x%08X Description=%s", static_cast<uint32_t>(code),
                description.c_str());
  return false;
}

}  // namespace rzd::scanhost
