// CM48tz_Scanner, the class Scanner_M48tz: IHardwareInterface over the scanner command core,
// with the model's facts (events, resolutions, capability words, short name, pictures, default
// record) and its wrapper, CTWAINwrapOver. An apartment-threaded object that can be aggregated.
#pragma once

#include "apphal/hardware_interface.h"
#include "apphal/zq4_hal.h"
#include "platform/com_object.h"

#include <filesystem>

namespace rzd::apphal {

// The lock count of the library (its objects and its server locks).
ComModule& ApphalModule();

class CM48tz_Scanner final : public ComObject<IHardwareInterface>, public CZQ4RZDHAL {
 public:
  static constexpr bool kAggregatable = true;
  CM48tz_Scanner();

  // ---- IHardwareInterface.
  HRESULT get_HasISISSupport(LONG* pVal) override;
  HRESULT get_FriendlyName(BSTR* pVal) override;
  HRESULT get_ISISDriverName(BSTR* pVal) override;
  HRESULT IsInstalled(LONG* Status) override;
  HRESULT get_EventCount(int16_t* pVal) override;
  HRESULT get_EventNames(BSTR* pVal) override;
  HRESULT get_SupportedResolutions(BSTR* pVal) override;
  HRESULT GetPresentation(ULONG index, IPicture** picon) override;
  HRESULT GetInterface(GUID* pVal) override;
  HRESULT GetDefaults(_ZQSCANINFO** pVal) override;
  HRESULT ScanCommand(_ZQSCANCOMMAND cmd, _ZQSCANINFO* pinfo, _ZQSTATUS* Status) override;
  HRESULT Scan(_ZQSCANCOMMAND cmd, _ZQSCANINFO* pinfo, LONG size, unsigned char* pBuf, LONG* written) override;
  HRESULT GetLastError(LONG* error, BSTR* errormsg) override;
  HRESULT get_HasMFButton(LONG* pVal) override;
  HRESULT get_SupportedImageCaps(BSTR* pVal) override;
  HRESULT get_ShortName(BSTR* pVal) override;
  HRESULT GetDevicePoperties(GUID* guid) override;

  // Operation 16: the model's wrapper first.
  uint32_t Initialize(ZQSCANINFO* pinfo) override;

 protected:
  void* FindInterface(const IID& iid) override;
};

// Registration of the library at `module`: the application id script, the class script and the
// type library; per user under HKCU\Software\Classes. The first failure, or S_OK.
HRESULT RegisterApphal(const std::filesystem::path& module, bool perUser);
// Removes the class and the type library, then the application id entries.
HRESULT UnregisterApphal(const std::filesystem::path& module, bool perUser);
// {904B3B21-9D05-4558-932A-E3AA93585FCD}
constexpr GUID APPID_Apphal{0x904B3B21, 0x9D05, 0x4558, {0x93, 0x2A, 0xE3, 0xAA, 0x93, 0x58, 0x5F, 0xCD}};
// {7E8EE208-5384-4bcf-8DA0-5F4ECA43D2A0}
constexpr GUID CATID_ZQ4Module{0x7E8EE208, 0x5384, 0x4BCF, {0x8D, 0xA0, 0x5F, 0x4E, 0xCA, 0x43, 0xD2, 0xA0}};

}  // namespace rzd::apphal
