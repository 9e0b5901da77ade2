// The client's side of a Read, made in this process as a client process makes it (the
// image-transfer buffer components registered): the raster buffer it allocates and reads, and
// the metadata buffer, each of which the service opens by its name.
#pragma once

#include "interfaces/raster_buffers.h"
#include "platform/com.h"
#include "rasterblocks/block_reader.h"

#include <gtest/gtest.h>

namespace rzd::scanhost::test {

// A raster buffer of `count` blocks of `blockSize` bytes: its manager, the reader that takes
// the finished blocks, and the buffer's name.
inline void AllocateClientRaster(ULONGLONG blockSize, ULONG count, ComPtr<IRasterBlocks>* blocks,
                                 ComPtr<IRasterBlockReader>* reader, Bstr* name) {
  ASSERT_EQ(CoCreateInstance(CLSID_RasterBlocks, nullptr, 0x17, IID_IRasterBlocks, blocks->OutVoid()), S_OK);
  ASSERT_EQ((*blocks)->Allocate(blockSize, count), S_OK);
  ASSERT_EQ(blocks->As(IID_IRasterBlockReader, reader), S_OK);
  ComPtr<IUnknown> buffer;
  ComPtr<IVBuffer> raster;
  ASSERT_EQ((*blocks)->GetVBuffer(buffer.Out()), S_OK);
  ASSERT_EQ(buffer.As(IID_IVBuffer, &raster), S_OK);
  ASSERT_EQ(raster->GetName(name->Out()), S_OK);
}

// A metadata buffer of `size` bytes and its name.
inline void CreateClientMeta(ULONGLONG size, ComPtr<IVBuffer>* meta, Bstr* name) {
  Bstr wanted(u"Meta");
  ASSERT_EQ(CoCreateInstance(CLSID_VBuffer, nullptr, 0x17, IID_IVBuffer, meta->OutVoid()), S_OK);
  ASSERT_EQ((*meta)->Create(size, wanted.Get()), S_OK);
  ASSERT_EQ((*meta)->GetName(name->Out()), S_OK);
}

}  // namespace rzd::scanhost::test
