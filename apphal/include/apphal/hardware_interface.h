// IHardwareInterface: the interface through which the desktop scanning application drives the
// unit (class Scanner_M48tz, library libapphal.so). Its methods, in this order after IUnknown's
// three, are the ones the type library describes (typelib_builder.cpp); `long` is 32 bits.
#pragma once

#include "apphal/model_ids.h"
#include "apphal/scan_records.h"
#include "platform/picture.h"
#include "platform/unknown.h"

struct IHardwareInterface : IUnknown {
  virtual HRESULT get_HasISISSupport(LONG* pVal) = 0;
  virtual HRESULT get_FriendlyName(BSTR* pVal) = 0;
  virtual HRESULT get_ISISDriverName(BSTR* pVal) = 0;
  virtual HRESULT IsInstalled(LONG* Status) = 0;
  virtual HRESULT get_EventCount(int16_t* pVal) = 0;
  virtual HRESULT get_EventNames(BSTR* pVal) = 0;
  virtual HRESULT get_SupportedResolutions(BSTR* pVal) = 0;
  virtual HRESULT GetPresentation(ULONG index, rzd::IPicture** picon) = 0;
  virtual HRESULT GetInterface(GUID* pVal) = 0;
  virtual HRESULT GetDefaults(_ZQSCANINFO** pVal) = 0;
  virtual HRESULT ScanCommand(_ZQSCANCOMMAND cmd, _ZQSCANINFO* pinfo, _ZQSTATUS* Status) = 0;
  virtual HRESULT Scan(_ZQSCANCOMMAND cmd, _ZQSCANINFO* pinfo, LONG size, unsigned char* pBuf, LONG* written) = 0;
  virtual HRESULT GetLastError(LONG* error, BSTR* errormsg) = 0;
  virtual HRESULT get_HasMFButton(LONG* pVal) = 0;
  virtual HRESULT get_SupportedImageCaps(BSTR* pVal) = 0;
  virtual HRESULT get_ShortName(BSTR* pVal) = 0;
  virtual HRESULT GetDevicePoperties(GUID* guid) = 0;

 protected:
  ~IHardwareInterface() = default;
};
