// The reading side of the raster-block manager: how the process that allocated a RasterBlocks
// object takes the blocks the writer (the scanner service, another process) finished, in order,
// and gives each back so the writer can fill it again. The manager answers this interface
// besides IRasterBlocks, its own descriptor and the line-size interface.
//
// The blocks, their fill, boundary, error and description live in the shared buffer; the page
// texts and side data the bridge hands on (SetOperationText on the manager's descriptor,
// PutFrontData, PutBackData) stay in this process and are read here.
#pragma once

#include "interfaces/raster_buffers.h"

#include <cstdint>

// The descriptor's properties in their order, X(Name) for each: the one list the enum, the
// descriptor's get_/put_ methods and its CopyFrom are made from.
#define RZD_RASTER_PROPERTIES(X)                                                               \
  X(Compression) X(Pixels) X(Interleave) X(LineOrder) X(PixelOrder) X(PixelGender) X(BitOrder) \
  X(Side) X(LinesPerSide) X(SideOrder) X(Alignment) X(BytesPerLine) X(Page) X(Image) X(Left)   \
  X(Top) X(Width) X(Length) X(XResolution) X(YResolution) X(BitsPerPixel) X(LineOffset)        \
  X(NumberOfLines)

// The description of a block, in the order of the descriptor's properties.
enum RasterProperty : uint32_t {
#define RZD_RASTER_ENUMERATOR(Name) kRaster##Name,
  RZD_RASTER_PROPERTIES(RZD_RASTER_ENUMERATOR)
#undef RZD_RASTER_ENUMERATOR
  kRasterPropertyCount
};

// One finished block.
struct RasterBlockInfo {
  ULONGLONG sequence = 0;  // blocks finished before this one since the buffer was allocated
  ULONGLONG fill = 0;      // bytes written (never more than the block size)
  LONG boundary = 0;       // the boundary level the writer reached with this block (1 to 6; 0 none)
  LONG error = 0;          // the driver error the writer set (0 none)
  LONG properties[kRasterPropertyCount] = {};
};

struct IRasterBlockReader : IUnknown {
  // Waits up to `timeoutMs` for the next finished block. S_OK: *info describes it and *data
  // points at its bytes, both valid until ReleaseBlock. S_FALSE: the stream was ended
  // (SetBoundary on this manager) and every finished block has been taken.
  // HRESULT_FROM_WIN32(WAIT_TIMEOUT) at the time-out. E_UNEXPECTED without a buffer or while a
  // block is taken and not released.
  virtual HRESULT WaitBlock(DWORD timeoutMs, RasterBlockInfo* info, const BYTE** data) = 0;
  // Gives the taken block back to the writer; E_UNEXPECTED when none is taken.
  virtual HRESULT ReleaseBlock() = 0;
  // The last text handed to the manager's descriptor with SetOperationText (a new BSTR, null
  // when none was).
  virtual HRESULT GetOperationText(BSTR* text) = 0;
  // The last data handed on for a side (0 front, 1 back); valid until the next PutFrontData or
  // PutBackData. E_INVALIDARG for another side.
  virtual HRESULT GetSideData(LONG side, const BYTE** data, ULONGLONG* size) = 0;

 protected:
  ~IRasterBlockReader() = default;
};

// {6E2B4C91-3D7A-4F08-B5C2-9A1E7D3F4B60}
constexpr IID IID_IRasterBlockReader{0x6E2B4C91, 0x3D7A, 0x4F08, {0xB5, 0xC2, 0x9A, 0x1E, 0x7D, 0x3F, 0x4B, 0x60}};

// The library that serves the three classes (its DllRegisterServer records them).
inline constexpr char kRasterBlocksLibraryName[] = "librzdrasterblocks.so";
