// CZQ4RZDHAL, the scanner command core behind IHardwareInterface: the stored values of the
// commands, the hardware operations that forward to the TWAIN wrapper, the discovery of the
// installed unit through the image device class and its device class key, and the friendly-name
// list with the numbered units' scan profiles.
//
// The core runs on the caller's thread and keeps no locks: the object is apartment-threaded.
#pragma once

#include "apphal/scan_records.h"
#include "apphal/twain_wrap.h"
#include "foundation/log_client.h"
#include "platform/types.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace rzd::apphal {

// The device class keys of the units: this path followed by the device's driver key name.
inline constexpr char16_t kDeviceClassKeyRoot[] = u"SYSTEM\\CurrentControlSet\\Control\\Class\\";
// The values discovery and the commands read there.
inline constexpr char16_t kValueFriendlyName[] = u"FriendlyName";
inline constexpr char16_t kValueTwainDsPath[] = u"TWAIN_DS_PATH";
inline constexpr char16_t kValueInprocClsid[] = u"INPROC_CLSID";
inline constexpr char16_t kValueHalClsid[] = u"HAL_CLSID";
inline constexpr char16_t kValueDfdSkip[] = u"DFD_Skip";
inline constexpr char16_t kValueNetName[] = u"Net_Name";
inline constexpr char16_t kValueUninstalled[] = u"Uninstalled";
// Reads of a value that is not there yet, and the pause between them.
constexpr int kDiscoveryReads = 6;
constexpr uint32_t kDiscoveryRetryMs = 500;
// Registry strings are read into buffers of this many characters, the terminator included.
constexpr size_t kRegistryTextChars = 260;

// The caller's buffer of ZQSCAN_GET_NETWORKNAME.
constexpr size_t kNetworkNameBytes = 14;
// Copies `name` into `buffer` of `size` bytes: at most size - 1 characters and a terminator.
void CopyNetworkName(std::string_view name, char* buffer, size_t size);

// <Program Files>/Corvanite/Quickarc 4.0/Profiles, and a friendly name's profile in it.
std::filesystem::path ProfileFolder();
std::filesystem::path ProfilePath(std::u16string_view friendlyName);
// True when a friendly name can name a file of that folder: not empty, without a separator and
// without "..".
bool IsProfileFileName(std::u16string_view friendlyName);

// The unit's device path from its USB interface's symbolic name: "\\?" and the name from its
// "\USB" on, in lower case, with the USB device interface class replaced by the image class.
// Empty when the name holds no "\USB".
std::u16string DevicePathFromSymbolicName(std::u16string_view symbolicName);

// The geometry Configure writes into the record before the wrapper sees it: WidthPixels,
// Lines, PixelBits (1 bitonal, 8 grey, 24 colour, 1 otherwise) and WidthBytes (whole bytes of
// one line).
void ConfigureGeometry(ZQSCANINFO* pinfo);

class CZQ4RZDHAL : public CLogClient {
 public:
  CZQ4RZDHAL();
  // The wrapper (and so the data source) goes first.
  ~CZQ4RZDHAL() override;
  CZQ4RZDHAL(const CZQ4RZDHAL&) = delete;
  CZQ4RZDHAL& operator=(const CZQ4RZDHAL&) = delete;

  // ---- Operations 15 to 25. Every operation that needs the unit answers
  // ZQHARDWARE_STATUS_FAIL while no wrapper exists.
  virtual uint32_t ShowNetWaitDialog(ZQSCANINFO* pinfo);
  virtual uint32_t Initialize(ZQSCANINFO* pinfo);
  virtual uint32_t Uninitialize(ZQSCANINFO* pinfo);
  virtual uint32_t GetADFStatus();
  virtual uint32_t Configure(ZQSCANINFO* pinfo);
  virtual uint32_t StartScan(ZQSCANINFO* pinfo);
  virtual int32_t ReadScan(ZQSCANINFO* pinfo, uint8_t* buffer, int32_t size, uint32_t* status);
  virtual uint32_t FinishScan(ZQSCANINFO* pinfo);
  virtual uint32_t CancelScan();
  virtual uint32_t CustomizeEvent(const char* name, ZQSCANINFO* pinfo);
  virtual std::string GetNetworkName();

  // ---- Discovery and profiles.
  // Finds the unit; *found is 1 when one matched. S_OK (also when none matched), or E_FAIL.
  HRESULT FindDevice(LONG* found, bool optional = false);
  // Mode 1: FriendlyName alone; mode 0: TWAIN_DS_PATH, INPROC_CLSID and HAL_CLSID, true only
  // when all three were read. False for a key that cannot be opened.
  bool ReadDeviceKey(std::u16string_view keyPath, std::u16string* friendlyName, std::u16string* dataSourcePath,
                     std::u16string* inprocClsid, std::u16string* halClsid, int mode) const;
  // ZQSCAN_PUT_LIST_IN_FRIENDLY_NAME.
  void BuildProfileList();

  // ---- The commands of ScanCommand (the status) and Scan (the HRESULT).
  uint32_t Command(_ZQSCANCOMMAND cmd, ZQSCANINFO* pinfo);
  HRESULT ScanOperation(_ZQSCANCOMMAND cmd, ZQSCANINFO* pinfo, int32_t size, uint8_t* buffer, LONG* written);

  // ---- What the core holds (for the class and tests).
  int32_t LastStatus() const { return m_lastStatus; }
  void SetLastStatus(int32_t status) { m_lastStatus = status; }
  int32_t FriendlyNumber() const { return m_friendlyNumber; }
  BSTR FriendlyNameBstr() const { return m_friendlyName; }
  BSTR ImageCapsBstr() const { return m_imageCaps; }
  BSTR ErrorMessageBstr() const { return m_errorMessage; }
  const std::u16string& DeviceId() const { return m_deviceId; }
  const std::u16string& DevicePath() const { return m_devicePath; }
  const std::u16string& DataSourcePath() const { return m_dataSourcePath; }
  const std::u16string& InprocClsid() const { return m_inprocClsid; }
  const std::u16string& HalClsid() const { return m_halClsid; }
  const std::u16string& DeviceKeyPath() const { return m_deviceKeyPath; }
  const ZQSCANINFO& Defaults() const { return m_defaults; }
  bool NetworkUnit() const { return m_networkUnit; }
  CTWAINwrap* Wrapper() const { return m_wrapper.get(); }
  // The pauses the last discovery made while waiting for values to appear.
  int DiscoveryWaits() const { return m_discoveryWaits; }

 protected:
  // Creates the base wrapper when none exists.
  CTWAINwrap& EnsureWrapper();
  void SetFriendlyName(std::u16string_view name);

  int32_t m_lastStatus = 0;
  int32_t m_friendlyNumber = 0;
  std::u16string m_baseFriendlyName;
  BSTR m_friendlyName = nullptr;
  BSTR m_imageCaps = nullptr;
  BSTR m_errorMessage = nullptr;
  std::u16string m_deviceId;
  std::u16string m_devicePath;
  std::u16string m_dataSourcePath;
  std::u16string m_inprocClsid;
  std::u16string m_halClsid;
  std::u16string m_networkHardwareId;
  std::u16string m_deviceKeyPath;
  ZQSCANINFO m_defaults{};
  int32_t m_minWidth = 350;
  int32_t m_minHeight = 250;
  int32_t m_longDocLimit = 0;
  uint32_t m_lastScanStatus = 0;
  bool m_duplex = false;
  bool m_endOfData = false;
  bool m_networkUnit = false;
  std::string m_colourCorrection;
  std::unique_ptr<CTWAINwrap> m_wrapper;
  int m_discoveryWaits = 0;
};

}  // namespace rzd::apphal
