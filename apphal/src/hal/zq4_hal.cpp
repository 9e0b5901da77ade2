// CZQ4RZDHAL: construction, the hardware operations forwarded to the wrapper, and the command
// dispatch of ScanCommand and Scan.
#include "apphal/zq4_hal.h"

#include "platform/registry.h"
#include "platform/text.h"

#include <algorithm>
#include <cstring>

namespace rzd::apphal {

namespace {

constexpr char16_t kFeatureName[] = u"ZQ4RZDHAL Interface";
// The longest text read through a record's Value (event names, colour corrections).
constexpr size_t kMaxValueText = 4096;

std::string_view ValueText(intptr_t value) {
  if (value == 0) return {};
  const char* text = reinterpret_cast<const char*>(value);
  return std::string_view(text, strnlen(text, kMaxValueText));
}

}  // namespace

void CopyNetworkName(std::string_view name, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return;
  const size_t length = std::min(name.size(), size - 1);
  std::memcpy(buffer, name.data(), length);
  buffer[length] = '\0';
}

void ConfigureGeometry(ZQSCANINFO* pinfo) {
  pinfo->WidthPixels = pinfo->Window.xExtent - pinfo->Window.xPos;
  pinfo->Lines = pinfo->Window.yExtent - pinfo->Window.yPos;
  switch (pinfo->DataType) {
    case ZQSCANMODE_GREY: pinfo->PixelBits = 8; break;
    case ZQSCANMODE_COLOR: pinfo->PixelBits = 24; break;
    default: pinfo->PixelBits = 1; break;
  }
  pinfo->WidthBytes = static_cast<int32_t>((static_cast<int64_t>(pinfo->WidthPixels) * pinfo->PixelBits + 7) / 8);
}

CZQ4RZDHAL::CZQ4RZDHAL() : CLogClient(kFeatureName) {}

CZQ4RZDHAL::~CZQ4RZDHAL() {
  m_wrapper.reset();
  SysFreeString(m_friendlyName);
  SysFreeString(m_imageCaps);
  SysFreeString(m_errorMessage);
}

void CZQ4RZDHAL::SetFriendlyName(std::u16string_view name) {
  SysFreeString(m_friendlyName);
  m_friendlyName = AllocBstr(name);
}

CTWAINwrap& CZQ4RZDHAL::EnsureWrapper() {
  if (!m_wrapper) m_wrapper = std::make_unique<CTWAINwrap>();
  return *m_wrapper;
}

uint32_t CZQ4RZDHAL::ShowNetWaitDialog(ZQSCANINFO* /*pinfo*/) { return EnsureWrapper().ShowNetWaitDialog(); }

uint32_t CZQ4RZDHAL::Initialize(ZQSCANINFO* pinfo) {
  return EnsureWrapper().Initialize(pinfo, std::filesystem::path(m_dataSourcePath));
}

uint32_t CZQ4RZDHAL::Uninitialize(ZQSCANINFO* /*pinfo*/) {
  return m_wrapper ? m_wrapper->Uninitialize() : ZQHARDWARE_STATUS_FAIL;
}

uint32_t CZQ4RZDHAL::GetADFStatus() { return m_wrapper ? m_wrapper->GetADFStatus() : ZQHARDWARE_STATUS_FAIL; }

uint32_t CZQ4RZDHAL::Configure(ZQSCANINFO* pinfo) {
  m_endOfData = false;
  pinfo->PagesScanned = 0;
  if (!m_wrapper) return ZQHARDWARE_STATUS_FAIL;
  if (pinfo->DataType == ZQSCANMODE_DSDATA) return m_wrapper->ConfigureDSData(pinfo);
  m_duplex = pinfo->Duplex != 0;
  ConfigureGeometry(pinfo);
  return m_wrapper->Configure(pinfo);
}

uint32_t CZQ4RZDHAL::StartScan(ZQSCANINFO* pinfo) {
  m_endOfData = false;
  if (!m_wrapper) return ZQHARDWARE_STATUS_FAIL;
  return m_wrapper->StartScan(pinfo, m_colourCorrection);
}

int32_t CZQ4RZDHAL::ReadScan(ZQSCANINFO* pinfo, uint8_t* buffer, int32_t size, uint32_t* status) {
  *status = ZQHARDWARE_STATUS_OK;
  // The read after the one that brought the page's last bytes ends the page without a call.
  if (m_endOfData) {
    m_endOfData = false;
    m_lastStatus = 0;
    return 0;
  }
  if (!m_wrapper) {
    *status = ZQHARDWARE_STATUS_FAIL;
    m_lastStatus = static_cast<int32_t>(*status);
    return 0;
  }
  bool last = false;
  const int32_t written = m_wrapper->ReadScan(pinfo, buffer, size, status, &last);
  if (last && written != 0) m_endOfData = true;
  if (*status != ZQHARDWARE_STATUS_OK && *status != ZQHARDWARE_STATUS_BACKSIDE) {
    m_lastStatus = static_cast<int32_t>(*status);
  }
  return written;
}

uint32_t CZQ4RZDHAL::FinishScan(ZQSCANINFO* pinfo) {
  pinfo->LinesScanned = 0;
  m_endOfData = false;
  return m_wrapper ? m_wrapper->FinishScan(pinfo) : ZQHARDWARE_STATUS_FAIL;
}

uint32_t CZQ4RZDHAL::CancelScan() { return m_wrapper ? m_wrapper->CancelScan() : ZQHARDWARE_STATUS_FAIL; }

uint32_t CZQ4RZDHAL::CustomizeEvent(const char* name, ZQSCANINFO* pinfo) {
  if (name == nullptr || pinfo == nullptr) return ZQHARDWARE_STATUS_OK;
  const std::string_view event(name, strnlen(name, 16));
  if (event == "DUPLEX") pinfo->Duplex = 1;
  if (event == "SIMPLEX") pinfo->Duplex = 0;
  return ZQHARDWARE_STATUS_OK;
}

std::string CZQ4RZDHAL::GetNetworkName() {
  if (m_deviceKeyPath.empty()) return {};
  RegKey key;
  std::u16string name;
  if (RegKey::Open(Hive::LocalMachine, m_deviceKeyPath, &key) != ERROR_SUCCESS ||
      key.GetString(kValueNetName, &name) != ERROR_SUCCESS) {
    return {};
  }
  if (name.size() >= kRegistryTextChars) name.resize(kRegistryTextChars - 1);
  return ToAnsi(name);
}

uint32_t CZQ4RZDHAL::Command(_ZQSCANCOMMAND cmd, ZQSCANINFO* pinfo) {
  switch (cmd) {
    case ZQSCAN_INITIALIZE: return Initialize(pinfo);
    case ZQSCAN_UNINITIALIZE: return Uninitialize(pinfo);
    case ZQSCAN_GETADFSTATUS:
    case ZQSCAN_GETADFSTATUSEX: return GetADFStatus();
    case ZQSCAN_CANCELSCAN: return CancelScan();
    case ZQSCAN_CUSTOMIZE_EVENT: return CustomizeEvent(reinterpret_cast<const char*>(pinfo->Value), pinfo);
    case ZQSCAN_GETBORDERFILLSUPPORT:
    case ZQSCAN_ISBORDERFILLENABLED:
    case ZQSCAN_CONTROLBORDERFILL: pinfo->Value = 0; return 0;
    case ZQSCAN_GETMINHEIGHT: pinfo->Value = m_minHeight; return 0;
    case ZQSCAN_GETMINWIDTH: pinfo->Value = m_minWidth; return 0;
    case ZQSCAN_PUT_LIST_IN_FRIENDLY_NAME: BuildProfileList(); return 0;
    case ZQSCAN_SET_FRIENDLY_NUMBER: {
      m_friendlyNumber = static_cast<int32_t>(pinfo->Value);
      SetFriendlyName(m_friendlyNumber == 0 ? m_baseFriendlyName
                                            : FormatW(u"%s #%i", m_baseFriendlyName.c_str(), m_friendlyNumber));
      LONG found = 0;
      FindDevice(&found);
      return 0;
    }
    case ZQSCAN_GET_NETWORKNAME:
      CopyNetworkName(GetNetworkName(), reinterpret_cast<char*>(pinfo->Value), pinfo->Value != 0 ? kNetworkNameBytes : 0);
      return 0;
    case ZQSCAN_GET_MIN_ADF_LONG_DOC_LIMIT: pinfo->Value = m_longDocLimit; return 0;
    case ZQSCAN_GET_SCANNER_TYPE: pinfo->Value = m_networkUnit ? 2 : 1; return 0;
    case ZQSCAN_SHOW_NET_WAIT_DIALOG: return ShowNetWaitDialog(pinfo);
    case ZQSCAN_SET_COLOR_CORRECTION:
      if (pinfo->Value != 0) m_colourCorrection = std::string(ValueText(pinfo->Value));
      return 0;
    default: return 0;
  }
}

HRESULT CZQ4RZDHAL::ScanOperation(_ZQSCANCOMMAND cmd, ZQSCANINFO* pinfo, int32_t size, uint8_t* buffer,
                                  LONG* written) {
  switch (cmd) {
    case ZQSCAN_CONFIG: {
      m_lastScanStatus = 0;
      const uint32_t status = Configure(pinfo);
      *written = static_cast<LONG>(status);
      return IsZqFailure(status) && status != ZQHARDWARE_STATUS_LAMPWARMUP ? E_FAIL : S_OK;
    }
    case ZQSCAN_START: {
      m_lastScanStatus = 0;
      const uint32_t status = StartScan(pinfo);
      if (IsZqFailure(status)) {
        m_lastScanStatus = status;
        return static_cast<HRESULT>(status);
      }
      [[fallthrough]];
    }
    case ZQSCAN_SCAN: {
      uint32_t status = 0;
      *written = ReadScan(pinfo, buffer, size, &status);
      if (IsZqFailure(status)) {
        m_lastScanStatus = status;
        return static_cast<HRESULT>(status);
      }
      return S_OK;
    }
    case ZQSCAN_FINISH: {
      *written = 0;
      const uint32_t status = FinishScan(pinfo);
      if (!IsZqFailure(status)) return S_OK;
      return static_cast<HRESULT>(m_lastScanStatus == ZQHARDWARE_STATUS_DOCSKEW ? ZQHARDWARE_STATUS_DOCSKEW : status);
    }
    default: return S_OK;
  }
}

}  // namespace rzd::apphal
