// VBuffer: a named file mapping that other processes open by name. Its data is mapped once per
// process (platform FileMapping); Map answers a region of that mapping without a system call.
#pragma once

#include "interfaces/raster_buffers.h"
#include "platform/com_object.h"
#include "platform/kernel.h"

#include "registration.h"

#include <mutex>
#include <string>
#include <unordered_map>

namespace rzd::rasterblocks {

class VBuffer final : public ComObject<IVBuffer, IVBufferName> {
 public:
  VBuffer() : ComObject(&LibraryModule()) {}

  // Creates a mapping of `size` bytes under a new name made from `name` (or "VBuffer" when it is
  // empty): "Global\<name>-<process id>-<n>", unique across the processes of the root, so two
  // clients asking for the same name never share a buffer. GetName answers the name made.
  // E_INVALIDARG for a size of 0; E_UNEXPECTED when this object holds a buffer already.
  HRESULT Create(ULONGLONG size, BSTR name) override;
  // Opens the mapping of that exact name; HRESULT_FROM_WIN32 of the failure (2 when none).
  HRESULT Open(BSTR name) override;
  HRESULT Size(ULONGLONG* size) override;
  // A region of `size` bytes from `offset` (size 0: to the end); Unmap ends it.
  HRESULT Map(ULONGLONG offset, ULONGLONG size, void** view) override;
  // E_INVALIDARG for a pointer Map did not answer.
  HRESULT Unmap(void* view) override;
  HRESULT GetName(BSTR* name) override;

 protected:
  void* FindInterface(const IID& iid) override;

 private:
  HRESULT Hold(FileMapping mapping, std::u16string name);

  std::mutex lock_;
  FileMapping mapping_;
  std::u16string name_;
  std::unordered_multimap<void*, MappedView> views_;
};

}  // namespace rzd::rasterblocks
