#include "lowdrv/core/driver_base.h"

#include "bstr_out.h"
#include "foundation/func_trace.h"
#include "foundation/module_info.h"
#include "lowdrv/core/driver_system.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform/text.h"
#include "process_state.h"

#include <cstring>

namespace rzd::lowdrv {

namespace {

// Registry buffers of the device class key lookup (bytes).
constexpr uint32_t kRegistryBufferBytes = 1024;
constexpr size_t kMaxSubKeyName = 255;

// A string value read as into a buffer of `bufferBytes`: nullopt when missing, of another type or
// larger than the buffer.
std::optional<std::u16string> ReadBoundedString(const RegKey& key, std::u16string_view name, uint32_t bufferBytes) {
  uint32_t type = 0;
  uint32_t size = 0;
  if (key.QueryValue(name, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  if ((type != REG_SZ && type != REG_EXPAND_SZ) || size > bufferBytes) return std::nullopt;
  std::vector<uint8_t> bytes;
  if (key.QueryValue(name, &type, &bytes) != ERROR_SUCCESS) return std::nullopt;
  return DecodeRegString(bytes);
}

}  // namespace

const char16_t* DriverResultText(LLDError code) {
  switch (code) {
    case 2: return u"An item is jammed in the scanner.";
    case 75: return u"The ADF cable is not securely plugged into the base of the scanner.";
    case 0x8000: return u"Cannot connect to the scanner.";
    case 0x8001: return u"The scanner did not respond within a specified time period.";
    case 0x8002: return u"The LLD has stopped responding or an unexpected error has occurred.";
    case 0x8003: return u"An invalid device handle has been passed to the LLD.";
    case 0x8004: return u"An invalid XML string has been passed to the LLD.";
    case 0x8005: return u"An LLD function has received an invalid parameter.";
    case 0x8006: return u"An XML string has an invalid value.";
    case 0x8007: return u"Wrong command sequence";
    case 0x8008: return u"The scanner is in use by another application.";
    case 0x8009: return u"The LLD cannot allocate enough memory to complete the operation.";
    case 0x800A: return u"The requested function is not implemented in the LLD.";
    case 0x800B: return u"The scanner lamp is warming up.";
    case 0x800C: return u"The LLD accepted the settings but at least one value was adjusted to an allowed value.";
    default: return nullptr;
  }
}

std::u16string ResultDocument(LLDError code, std::u16string_view text) {
  return u"<Result><ErrorCode>" + FormatW(u"%d", static_cast<int32_t>(code)) + u"</ErrorCode><Description>" +
         std::u16string(text) + u"</Description></Result>";
}

CRZDBaseLLD::CRZDBaseLLD(std::u16string_view devicePath)
    : CLogClient(u"RZD Base LLD"), m_strDevicePath(devicePath) {
  m_strFriendlyName = FindDeviceRegistryValue(m_strDevicePath, u"FriendlyName");
  m_strHalModel = FindDeviceRegistryValue(m_strDevicePath, u"HAL_MODEL");
  m_strTwainDSVersion =
      GetFileVersionString(FindDeviceRegistryValue(m_strDevicePath, Is64BitWindows() ? u"TWAIN_64_PATH" : u"TWAIN_DS_PATH"));
  const std::filesystem::path library = ModulePathOf(reinterpret_cast<const void*>(&DriverResultText));
  m_strDriverVersion = GetFileVersionString(library.filename().u16string());
}

CRZDBaseLLD::~CRZDBaseLLD() { CloseScannerSemaphore(); }

LLDError CRZDBaseLLD::DoControlCode(uint32_t dwControlCode, const char16_t* /*strIn*/, BSTR* pstrOut,
                                    void* /*pbyBufferIn*/, uint32_t /*stSizeIn*/, void* pbyBufferOut,
                                    uint32_t* pstActualSizeOut) {
  switch (dwControlCode) {
    case cc::kFirmwareVersion:
      return GetFirmwareVersion(pstrOut);
    case cc::kBackgroundData: {
      // The size pointer is required: it says how large the buffer is and receives the length.
      if (!pstActualSizeOut) {
        RZD_LOG_ERROR_OF(BaseLog(), u"GetBackgroundData failed because pstOutBuffSize = NULL");
        return lld::kInvalidParameter;
      }
      const LLDError result = GetBackgroundData(pbyBufferOut, pstActualSizeOut, pstrOut);
      if (!m_Background.empty() && m_bstrBackgroundMeta) *pstActualSizeOut = static_cast<uint32_t>(m_Background.size());
      return result;
    }
    default:
      return lld::kNotImplemented;
  }
}

LLDError CRZDBaseLLD::Read(uint8_t* /*pbyBufferOut*/, uint32_t* /*pstActualSizeOut*/, BSTR* /*pstrMetaOut*/,
                           uint32_t* /*pdwBoundary*/) {
  return lld::kNotImplemented;
}

BOOL CRZDBaseLLD::ControlCodeHook() { return TRUE; }

uint32_t CRZDBaseLLD::LoadPowerTimeoutLimits() {
  // The limits are the process's: every driver object of the process sees the last ones found.
  RZDPowerTimeoutLimits limits = driver_process::PowerLimits();
  const uint32_t found =
      LoadPowerTimeoutLimitsFrom(reinterpret_cast<const void*>(&DriverResultText), m_strHalModel, limits);
  driver_process::StorePowerLimits(limits);
  return found;
}

BSTR CRZDBaseLLD::GetLastError(LLDError error) {
  RZD_FUNC_TRACE_OF(BaseLog(), u"GetLastError");
  RZD_TRACE_LOG(u"error = %d", static_cast<int32_t>(error));
  std::u16string text = u"Unknown Error Code";
  if (const char16_t* known = DriverResultText(error)) {
    text = known;
  } else {
    text = GetLastErrorString(error);
  }
  const std::u16string document = ResultDocument(error, text);
  return SysAllocStringLen(document.data(), static_cast<uint32_t>(document.size()));
}

std::u16string CRZDBaseLLD::GetLastErrorString(LLDError /*error*/) { return u"Unknown Error Code"; }

bool CRZDBaseLLD::GetXMLfromResources(const void* addressInModule, uint32_t id, BSTR* pstrOut) {
  if (!pstrOut) return false;
  const std::optional<std::span<const uint8_t>> bytes = FindResource(addressInModule, kResourceTypeXml, id);
  if (!bytes || bytes->size() < 2) return false;
  if ((*bytes)[0] != 0xFF || (*bytes)[1] != 0xFE) return false;
  // The rest of the resource as UTF-16 text: its size less the mark, in whole characters.
  const size_t characters = (bytes->size() - 2) / sizeof(char16_t);
  std::u16string text(characters, u'\0');
  std::memcpy(text.data(), bytes->data() + 2, characters * sizeof(char16_t));
  // A terminating NUL inside the resource ends the text.
  if (const size_t nul = text.find(u'\0'); nul != std::u16string::npos) text.resize(nul);
  *pstrOut = SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
  return *pstrOut != nullptr;
}

LLDError CRZDBaseLLD::GetBackgroundData(void* pOut, uint32_t* pstOutBuffSize, BSTR* pstrOut) {
  RZD_FUNC_TRACE_OF(BaseLog(), u"GetBackgroundData");
  RZD_TRACE_LOG(u"pOut = 0x%X, *pstOutBuffSize = %d", static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pOut)),
                pstOutBuffSize ? static_cast<int32_t>(*pstOutBuffSize) : 0);
  if (m_Background.empty() || !m_bstrBackgroundMeta) {
    RZD_LOG_ERROR_OF(BaseLog(), u"GetBackgroundData failed because no background data is stored");
    return lld::kWrongSequence;
  }
  if (!pstOutBuffSize) {
    RZD_LOG_ERROR_OF(BaseLog(), u"GetBackgroundData failed because pstOutBuffSize = NULL");
    return lld::kInvalidParameter;
  }
  const uint32_t given = *pstOutBuffSize;
  *pstOutBuffSize = static_cast<uint32_t>(m_Background.size());
  if (given < m_Background.size()) {
    RZD_LOG_ERROR_OF(BaseLog(), u"GetBackgroundData failed because buffer size %d is below %d",
                     static_cast<int32_t>(given), static_cast<int32_t>(m_Background.size()));
    return lld::kInvalidParameter;
  }
  if (!pOut) {
    RZD_LOG_ERROR_OF(BaseLog(), u"GetBackgroundData failed because pOut = NULL");
    return lld::kInvalidParameter;
  }
  std::memcpy(pOut, m_Background.data(), m_Background.size());
  SetBstrOut(pstrOut, m_bstrBackgroundMeta.View());
  return 0;
}

LLDError CRZDBaseLLD::GetFirmwareVersion(BSTR* pstrOut) {
  RZD_FUNC_TRACE_OF(BaseLog(), u"GetFirmwareVersion");
  RZD_TRACE_LOG(u"pstrOut = 0x%X", static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pstrOut)));
  if (!pstrOut) return lld::kInvalidParameter;
  SetBstrOut(pstrOut, m_strFirmwareVersion);
  RZD_TRACE_LOG(u"*pstrOut = \r\n%s", m_strFirmwareVersion.c_str());
  return 0;
}

std::u16string CRZDBaseLLD::FindDeviceRegistryValue(std::u16string_view devicePath, std::u16string_view valueName) {
  RegKey classKey;
  if (RegKey::Open(Hive::LocalMachine, kImageClassKey, &classKey) != ERROR_SUCCESS) return {};
  std::vector<std::u16string> subKeys;
  if (classKey.EnumKeys(&subKeys) != ERROR_SUCCESS) return {};
  for (const std::u16string& name : subKeys) {
    if (name.size() > kMaxSubKeyName) break;
    RegKey unit;
    if (classKey.OpenSubKey(name, &unit) != ERROR_SUCCESS) break;
    const std::optional<std::u16string> symbolicName = ReadBoundedString(unit, u"SymbolicName", kRegistryBufferBytes);
    if (!symbolicName || *symbolicName != devicePath) continue;
    return ReadBoundedString(unit, valueName, kRegistryBufferBytes).value_or(std::u16string());
  }
  return {};
}

}  // namespace rzd::lowdrv
