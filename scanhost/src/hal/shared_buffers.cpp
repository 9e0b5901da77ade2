// The scanner HAL object: the shared buffers a client opens for the service (codes 20 and 21) and
// the raster-block manager the service allocates for a client (codes 16 and 17). The buffer map
// and the manager are changed only under buffersLock_, which is never held across a driver call.
#include "hal/control_codes.h"
#include "hal/scanner_base.h"

#include "foundation/xml_escape.h"
#include "foundation/xml_store.h"
#include "platform/com.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace rzd::scanhost {

namespace {

constexpr DWORD kComponentContext = 0x17;
constexpr int32_t kNotGiven = -1;
// The most memory code 16 lets a client ask for.
constexpr int64_t kMaxRasterMemory = int64_t{1} << 30;
constexpr HRESULT kAlreadyExists = MakeHr(0x80070050);
constexpr HRESULT kNotFound = MakeHr(0x80070002);

// The `Parameters` document of codes 20 and 21: its buffer name (empty when missing) and size.
bool ReadParameters(BSTR strXMLIn, std::u16string* name, int32_t* size) {
  MSXML6StoreSTL store;
  if (strXMLIn == nullptr || !store.LoadFromString(BstrView(strXMLIn))) return false;
  store.GetNodeText(u"/Parameters/MMFName", *name);
  *size = store.GetNodeInt(u"/Parameters/ReqSize", kNotGiven);
  return true;
}

}  // namespace

HRESULT CRZDHALScannerBase::AllocateRasterBlocks(BSTR strXMLIn, BSTR* strXMLOut) {
  ComPtr<IRasterBlocks> previous;
  {
    std::lock_guard guard(buffersLock_);
    previous = std::move(rasterBlocks_);
  }
  previous.Reset();  // its own release runs outside the lock
  ComPtr<IRasterBlocks> blocks;
  HRESULT hr = CoCreateInstance(CLSID_RasterBlocks, nullptr, kComponentContext, IID_IRasterBlocks, blocks.OutVoid());
  if (FAILED(hr)) return hr;
  MSXML6StoreSTL store;
  if (strXMLIn == nullptr || !store.LoadFromString(BstrView(strXMLIn))) {
    RZD_LOG_ERROR(u"RZDHAL_CC_ALLOCATE_RBLOCKS problem with strXMLIn");
    return E_INVALIDARG;
  }
  const int64_t memSize = store.GetNodeInt(u"/Allocate/MemSize", kNotGiven);
  const int64_t blockSize = store.GetNodeInt(u"/Allocate/BlockSize", kNotGiven);
  if (memSize == kNotGiven || blockSize == kNotGiven) {
    std::lock_guard guard(buffersLock_);
    rasterBlocks_ = std::move(blocks);
    return S_OK;
  }
  // A block size of 0 or below would divide by nothing or allocate nonsense; the memory is
  // bounded and must hold one block at least.
  if (blockSize <= 0 || memSize <= 0 || memSize > kMaxRasterMemory || memSize / blockSize == 0) {
    RZD_LOG_ERROR(u"RZDHAL_CC_ALLOCATE_RBLOCKS problem with strXMLIn");
    return E_INVALIDARG;
  }
  hr = blocks->Allocate(static_cast<ULONGLONG>(blockSize), static_cast<ULONG>(memSize / blockSize));
  if (FAILED(hr)) return hr;
  // Without the buffer's name the answer is the error of the step that failed (the components
  // answer their errors as HRESULTs; there is no thread error of their own to read), E_FAIL when
  // none failed with one (no buffer).
  ComPtr<IUnknown> buffer;
  ComPtr<IVBufferName> named;
  Bstr name;
  hr = blocks->GetVBuffer(buffer.Out());
  if (SUCCEEDED(hr) && buffer) hr = buffer.As(IID_IVBufferName, &named);
  if (SUCCEEDED(hr) && named) hr = named->GetName(name.Out());
  if (FAILED(hr) || !named) {
    RZD_LOG_ERROR(u"RZDHAL_CC_ALLOCATE_RBLOCKS failed to extract VBuffer name");
    return FAILED(hr) ? hr : E_FAIL;
  }
  *strXMLOut = AllocBstr(u"<Buffer><Name>" + EscapeXmlText(name.View()) + u"</Name></Buffer>");
  std::lock_guard guard(buffersLock_);
  rasterBlocks_ = std::move(blocks);
  return S_OK;
}

HRESULT CRZDHALScannerBase::ReleaseRasterBlocks() {
  ComPtr<IRasterBlocks> released;
  {
    std::lock_guard guard(buffersLock_);
    released = std::move(rasterBlocks_);
  }
  return S_OK;
}

HRESULT CRZDHALScannerBase::OpenSharedBuffer(BSTR strXMLIn) {
  std::u16string name;
  int32_t size = kNotGiven;
  if (!ReadParameters(strXMLIn, &name, &size) || name.empty() || size == kNotGiven) {
    RZD_LOG_ERROR(u"RZDHAL_CC_ALLOCATEVBUFF Unable to parse XMLIn: \"%s\"", strXMLIn != nullptr ? strXMLIn : u"NULL");
    return E_INVALIDARG;
  }
  std::lock_guard guard(buffersLock_);
  if (sharedBuffers_.count(name) != 0) {
    RZD_LOG_ERROR(u"RZDHAL_CC_ALLOCATEVBUFF VBuffer already exists: \"%s\"", name.c_str());
    return kAlreadyExists;
  }
  ObjectResult<FileMapping> opened = FileMapping::Open(std::u16string_view(name));
  if (!opened) {
    const HRESULT hr = opened.error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(opened.error) : E_OUTOFMEMORY;
    RZD_LOG_ERROR(u"RZDHAL_CC_ALLOCATEVBUFF Failed to create VBuffer: \"%s\", Result=0x%08X", name.c_str(),
                  static_cast<uint32_t>(hr));
    return hr;
  }
  sharedBuffers_.emplace(std::move(name), std::move(opened.handle));
  return S_OK;
}

HRESULT CRZDHALScannerBase::CloseSharedBuffer(BSTR strXMLIn) {
  std::u16string name;
  int32_t size = kNotGiven;
  if (!ReadParameters(strXMLIn, &name, &size)) {
    RZD_LOG_ERROR(u"RZDHAL_CC_RELEASEVBUFF Unable to parse XMLIn: \"%s\"", strXMLIn != nullptr ? strXMLIn : u"NULL");
    return E_INVALIDARG;
  }
  std::lock_guard guard(buffersLock_);
  auto found = sharedBuffers_.find(name);
  if (found == sharedBuffers_.end()) {
    RZD_LOG_ERROR(u"RZDHAL_CC_RELEASEVBUFF VBuffer not found: \"%s\"", name.c_str());
    return kNotFound;
  }
  if (!found->second) RZD_LOG_WARN(u"RZDHAL_CC_RELEASEVBUFF NULL VBuffer found: \"%s\"", name.c_str());
  sharedBuffers_.erase(found);
  return S_OK;
}

void CRZDHALScannerBase::ReleaseAllBuffers() {
  ComPtr<IRasterBlocks> blocks;
  std::map<std::u16string, FileMapping> buffers;
  {
    std::lock_guard guard(buffersLock_);
    blocks = std::move(rasterBlocks_);
    buffers.swap(sharedBuffers_);
  }
  for (auto& [name, mapping] : buffers) {
    RZD_LOG_INFO(u"Closing orphaned MMFile: %s", name.c_str());
    mapping.Close();
  }
}

}  // namespace rzd::scanhost
