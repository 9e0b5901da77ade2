// CRZDHALScannerInProc: the bridge object, independent of the model. It lists the service's ten
// instance classes, opens one of them as a local server, and forwards lock, unlock, control codes
// and reads to it; it sends a few codes of its own (process id, settings, cancel, transfer
// buffers), runs the module protocol (Configure once, Produce per page into the caller's raster
// blocks) and names the settings panel's library.
//
// Locking: lock and unlock run in the object's critical section; the fields that code 14 and
// Configure set (the service, the opened class, the process-id flag, the produce callback, the
// metadata buffer) change under a lock of their own, which no call into the service or a
// callback holds; every other call works on its own references.
#pragma once

#include "foundation/log_client.h"
#include "interfaces/raster_buffers.h"
#include "interfaces/rzd_module.h"
#include "interfaces/rzdhal.h"
#include "platform/com.h"

#include <array>
#include <atomic>
#include <mutex>
#include <string>

namespace rzd::nethal {

// Results of the bridge's own.
inline constexpr HRESULT kNotLocked = MakeHr(0xE0010001);
inline constexpr HRESULT kBadBoundary = MakeHr(0xE0010007);

// What the model's class fills in.
struct ModelFacts {
  std::u16string modelName;
  std::array<std::u16string, 10> instanceClasses;  // braced
  std::u16string bridgeLibraryName;                // the file name of this library
  std::u16string panelLibraryName;                 // the settings panel's, beside it
};

class CRZDHALScannerInProc : public CLogClient {
 public:
  explicit CRZDHALScannerInProc(ModelFacts facts);
  ~CRZDHALScannerInProc() override;
  CRZDHALScannerInProc(const CRZDHALScannerInProc&) = delete;
  CRZDHALScannerInProc& operator=(const CRZDHALScannerInProc&) = delete;

  // The object's own memory manager (no reference added); the base has none.
  virtual IRZDMemMgr* GetMemMgr();
  virtual HRESULT raw_LockScanner(LONG lPID, LONG* lpStatus, DWORD dwTimeout);
  virtual HRESULT raw_UnlockScanner(LONG* lpStatus);
  virtual HRESULT raw_Read(BSTR strMMRasterName, BSTR strMMMetaData, LONG lSessionBoundary);
  virtual HRESULT raw_Control(LONG lCC, BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn, VARIANT* pvBufOut);
  virtual HRESULT Configure(LONG lReserved1, IUnknown* modPrecursor, LONG lReserved2, IUnknown* callback,
                            BSTR strSettings);
  virtual HRESULT Produce(IUnknown* plData);
  virtual HRESULT CreateMMFile(BSTR strName, LONG lReqSize);
  virtual HRESULT ReleaseMMFile(BSTR strName);
  virtual HRESULT raw_DLLPath(BSTR* strDLLPath);

  // The name the metadata buffer is asked for and its size.
  static constexpr char16_t kMetaBufferName[] = u"Meta";
  static constexpr ULONGLONG kMetaBufferSize = 0x200000;

 protected:
  // Sends one of the bridge's own codes through raw_Control and drops any output document.
  HRESULT SendHALControl(LONG lControlCode, BSTR strXMLIn);

 private:
  HRESULT Open(LONG lCC, BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn, VARIANT* pvBufOut);
  HRESULT SendProcessId(IRZDHAL* service);
  ComPtr<IRZDHAL> Service() const;
  // Hands the metadata record of the last read to the payload; the first failure, S_OK when
  // there was nothing to hand on.
  HRESULT HandOnMetadata(IVBuffer* meta, IRasterBlocks* blocks, IRasterBlockDescriptor* descriptor);
  // Zeros the record's header so a read that writes none leaves nothing to hand on.
  void ClearMetadataHeader(IVBuffer* meta);

  const ModelFacts facts_;
  std::recursive_mutex lock_;  // the critical section of lock and unlock
  std::atomic<bool> locked_{false};
  mutable std::mutex fieldsLock_;
  ComPtr<IRZDHAL> service_;
  bool processIdSent_ = false;
  GUID openedClass_ = GUID_NULL;
  ComPtr<ProduceCallback> callback_;
  ComPtr<IUnknown> callbackSource_;  // what Configure was last given, to tell a new callback
  ComPtr<IVBuffer> meta_;
};

}  // namespace rzd::nethal
