// The image-transfer buffer components: a named buffer shared by processes (VBuffer), the
// raster-block manager over it (RasterBlocks) and the description of a block (RasterBlock
// Descriptor). The service writes image data into blocks of the client's buffer; the bridge
// reads them. They are created with class context 0x17 but live in the process that uses them:
// nothing of them is marshalled (the data lies in shared memory). Every operation answers an
// HRESULT; a negative one is a failure.
#pragma once

#include "platform/com.h"

// A named file mapping that other processes open by name.
struct IVBuffer : IUnknown {
  virtual HRESULT Create(ULONGLONG size, BSTR name) = 0;
  virtual HRESULT Open(BSTR name) = 0;
  virtual HRESULT Size(ULONGLONG* size) = 0;
  // A view of `size` bytes from `offset`; Unmap ends it.
  virtual HRESULT Map(ULONGLONG offset, ULONGLONG size, void** view) = 0;
  virtual HRESULT Unmap(void* view) = 0;
  virtual HRESULT GetName(BSTR* name) = 0;

 protected:
  ~IVBuffer() = default;
};

// The buffer's name as the service asks for it.
struct IVBufferName : IUnknown {
  virtual HRESULT GetName(BSTR* name) = 0;

 protected:
  ~IVBufferName() = default;
};

// Blocks of a VBuffer, written one after the other.
struct IRasterBlocks : IUnknown {
  // Creates its own VBuffer of `blockCount` blocks of `blockSize` bytes.
  virtual HRESULT Allocate(ULONGLONG blockSize, ULONG blockCount) = 0;
  virtual HRESULT GetVBuffer(IUnknown** buffer) = 0;
  virtual HRESULT Attach(IUnknown* buffer) = 0;
  virtual HRESULT Begin() = 0;
  // S_OK while a block is ready, S_FALSE when none follows.
  virtual HRESULT NextBlock() = 0;
  virtual HRESULT BlockSize(ULONGLONG* size) = 0;
  virtual HRESULT GetFill(ULONGLONG* fill) = 0;
  virtual HRESULT SetFill(ULONGLONG fill) = 0;
  // A region of the current block (null *region when it cannot be mapped); UnmapRegion ends it.
  virtual HRESULT MapRegion(ULONGLONG offset, ULONGLONG size, void** region) = 0;
  virtual HRESULT UnmapRegion(void* region) = 0;
  virtual HRESULT SetBoundary(LONG level) = 0;
  // A page's front-side and back-side data.
  virtual HRESULT PutFrontData(const void* data, ULONGLONG size) = 0;
  virtual HRESULT PutBackData(const void* data, ULONGLONG size) = 0;

 protected:
  ~IRasterBlocks() = default;
};

// The description of a block: 32-bit properties, each read (get_) and written (put_).
struct IRasterBlockDescriptor : IUnknown {
  virtual HRESULT get_Compression(LONG* value) = 0;
  virtual HRESULT put_Compression(LONG value) = 0;
  virtual HRESULT get_Pixels(LONG* value) = 0;
  virtual HRESULT put_Pixels(LONG value) = 0;
  virtual HRESULT get_Interleave(LONG* value) = 0;
  virtual HRESULT put_Interleave(LONG value) = 0;
  virtual HRESULT get_LineOrder(LONG* value) = 0;
  virtual HRESULT put_LineOrder(LONG value) = 0;
  virtual HRESULT get_PixelOrder(LONG* value) = 0;
  virtual HRESULT put_PixelOrder(LONG value) = 0;
  virtual HRESULT get_PixelGender(LONG* value) = 0;
  virtual HRESULT put_PixelGender(LONG value) = 0;
  virtual HRESULT get_BitOrder(LONG* value) = 0;
  virtual HRESULT put_BitOrder(LONG value) = 0;
  virtual HRESULT get_Side(LONG* value) = 0;
  virtual HRESULT put_Side(LONG value) = 0;
  virtual HRESULT get_LinesPerSide(LONG* value) = 0;
  virtual HRESULT put_LinesPerSide(LONG value) = 0;
  virtual HRESULT get_SideOrder(LONG* value) = 0;
  virtual HRESULT put_SideOrder(LONG value) = 0;
  virtual HRESULT get_Alignment(LONG* value) = 0;
  virtual HRESULT put_Alignment(LONG value) = 0;
  virtual HRESULT get_BytesPerLine(LONG* value) = 0;
  virtual HRESULT put_BytesPerLine(LONG value) = 0;
  virtual HRESULT get_Page(LONG* value) = 0;
  virtual HRESULT put_Page(LONG value) = 0;
  virtual HRESULT get_Image(LONG* value) = 0;
  virtual HRESULT put_Image(LONG value) = 0;
  virtual HRESULT get_Left(LONG* value) = 0;
  virtual HRESULT put_Left(LONG value) = 0;
  virtual HRESULT get_Top(LONG* value) = 0;
  virtual HRESULT put_Top(LONG value) = 0;
  virtual HRESULT get_Width(LONG* value) = 0;
  virtual HRESULT put_Width(LONG value) = 0;
  virtual HRESULT get_Length(LONG* value) = 0;
  virtual HRESULT put_Length(LONG value) = 0;
  virtual HRESULT get_XResolution(LONG* value) = 0;
  virtual HRESULT put_XResolution(LONG value) = 0;
  virtual HRESULT get_YResolution(LONG* value) = 0;
  virtual HRESULT put_YResolution(LONG value) = 0;
  virtual HRESULT get_BitsPerPixel(LONG* value) = 0;
  virtual HRESULT put_BitsPerPixel(LONG value) = 0;
  virtual HRESULT get_LineOffset(LONG* value) = 0;
  virtual HRESULT put_LineOffset(LONG value) = 0;
  virtual HRESULT get_NumberOfLines(LONG* value) = 0;
  virtual HRESULT put_NumberOfLines(LONG value) = 0;
  virtual HRESULT SetError(LONG errorCode) = 0;
  virtual HRESULT SetBoundary(LONG level) = 0;
  virtual HRESULT CopyFrom(IRasterBlockDescriptor* source) = 0;
  // A page's Operation document.
  virtual HRESULT SetOperationText(BSTR text) = 0;

 protected:
  ~IRasterBlockDescriptor() = default;
};

// The line size of the raster-block manager: the smallest region the writer fills, and the pad
// the writer adds to it.
struct IRasterLineSize : IUnknown {
  virtual HRESULT SetLineSize(LONG minimum) = 0;
  virtual HRESULT GetLinePad(LONG* pad) = 0;

 protected:
  ~IRasterLineSize() = default;
};

// {C289EC9A-8AE8-4068-8DF3-D45BE383F8FD}
constexpr CLSID CLSID_VBuffer{0xC289EC9A, 0x8AE8, 0x4068, {0x8D, 0xF3, 0xD4, 0x5B, 0xE3, 0x83, 0xF8, 0xFD}};
// {9CE93572-5035-42B7-8CA1-167896CFF395}
constexpr IID IID_IVBuffer{0x9CE93572, 0x5035, 0x42B7, {0x8C, 0xA1, 0x16, 0x78, 0x96, 0xCF, 0xF3, 0x95}};
// {27A951DB-DDA0-4EC8-9CA7-B5A1D444897D}
constexpr IID IID_IVBufferName{0x27A951DB, 0xDDA0, 0x4EC8, {0x9C, 0xA7, 0xB5, 0xA1, 0xD4, 0x44, 0x89, 0x7D}};
// {8B4AE5ED-4BC2-4F21-8BCC-75B66F8F954F}
constexpr CLSID CLSID_RasterBlocks{0x8B4AE5ED, 0x4BC2, 0x4F21, {0x8B, 0xCC, 0x75, 0xB6, 0x6F, 0x8F, 0x95, 0x4F}};
// {2F15DFE8-4E39-42D9-9EEA-9B3E2811EF50}
constexpr IID IID_IRasterBlocks{0x2F15DFE8, 0x4E39, 0x42D9, {0x9E, 0xEA, 0x9B, 0x3E, 0x28, 0x11, 0xEF, 0x50}};
// {1760550B-E0AB-45DD-89F8-CC018A39AB61}
constexpr CLSID CLSID_RasterBlockDescriptor{0x1760550B, 0xE0AB, 0x45DD, {0x89, 0xF8, 0xCC, 0x01, 0x8A, 0x39, 0xAB, 0x61}};
// {74C40AE0-274B-49AF-99BA-F3DFCC744A8D}
constexpr IID IID_IRasterBlockDescriptor{0x74C40AE0, 0x274B, 0x49AF, {0x99, 0xBA, 0xF3, 0xDF, 0xCC, 0x74, 0x4A, 0x8D}};
// {0FB2B54B-11D5-43E1-ACD5-6AA93AF404CF}
constexpr IID IID_IRasterLineSize{0x0FB2B54B, 0x11D5, 0x43E1, {0xAC, 0xD5, 0x6A, 0xA9, 0x3A, 0xF4, 0x04, 0xCF}};
