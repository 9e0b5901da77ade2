// CM48tz_Scanner: the model's facts and IHardwareInterface over the command core.
#include "apphal/m48tz_scanner.h"

#include "lowdrv/engine/model_ids.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform/text.h"

#include <cstring>

namespace rzd::apphal {

namespace {

constexpr char16_t kImageCaps[] =
    u"CUSTOMDSDATA,MOIRE,INVERT,MULTITWAIN,MULTISCANNER,DUPLEX,FLIPBACKSIDE,DOUBLEFD,LCDPROFILES,CHANNELID";
constexpr char16_t kEventNames[] = u"SIMPLEX:DUPLEX:F1,F2,F3,F4,F5,F6,F7,F8,F9";
constexpr char16_t kResolutions[] = u"100,150,200,300,400,500,600";
constexpr char16_t kShortName[] = u"M48tz";
constexpr int16_t kEventCount = 9;
constexpr int32_t kPictureSide = 36;
constexpr int32_t kIconSide = 48;

// A new BSTR for the caller.
HRESULT ReturnText(std::u16string_view text, BSTR* out) {
  if (out == nullptr) return E_POINTER;
  *out = AllocBstr(text);
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT ReturnCopy(BSTR text, BSTR* out) {
  if (out == nullptr) return E_POINTER;
  if (text == nullptr) {
    *out = nullptr;
    return S_OK;
  }
  *out = SysAllocStringLen(text, SysStringLen(text));
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// The resources of the module this code is linked into.
std::optional<std::span<const uint8_t>> OwnResource(std::u16string_view type, uint32_t id) {
  return FindResource(reinterpret_cast<const void*>(&ApphalModule), type, id);
}

}  // namespace

ComModule& ApphalModule() {
  static ComModule module;
  return module;
}

CM48tz_Scanner::CM48tz_Scanner() : ComObject(&ApphalModule()) {
  m_imageCaps = AllocBstr(kImageCaps);
  m_baseFriendlyName = lowdrv::kModelFriendlyNameW;
  SetFriendlyName(m_baseFriendlyName);
  m_deviceId = FormatW(u"USB\\VID_%04X&PID_%04X", lowdrv::kModelUsbVendorId, lowdrv::kModelUsbProductId);
  m_minWidth = 290;
  m_minHeight = 200;
  m_longDocLimit = 14000;
  m_defaults = ZqScanInfoDefaults();
}

void* CM48tz_Scanner::FindInterface(const IID& iid) {
  return iid == IID_IHardwareInterface ? static_cast<IHardwareInterface*>(this) : nullptr;
}

uint32_t CM48tz_Scanner::Initialize(ZQSCANINFO* pinfo) {
  if (!m_wrapper) m_wrapper = std::make_unique<CTWAINwrapOver>();
  return CZQ4RZDHAL::Initialize(pinfo);
}

HRESULT CM48tz_Scanner::get_HasISISSupport(LONG* /*pVal*/) { return E_NOTIMPL; }

HRESULT CM48tz_Scanner::get_FriendlyName(BSTR* pVal) { return ReturnCopy(m_friendlyName, pVal); }

HRESULT CM48tz_Scanner::get_ISISDriverName(BSTR* /*pVal*/) { return E_NOTIMPL; }

HRESULT CM48tz_Scanner::IsInstalled(LONG* Status) {
  LONG found = 0;
  const HRESULT hr = FindDevice(&found);
  if (Status != nullptr) *Status = found != 0 ? 1 : 0;
  return FAILED(hr) ? E_FAIL : S_OK;
}

HRESULT CM48tz_Scanner::get_EventCount(int16_t* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = kEventCount;
  return S_OK;
}

HRESULT CM48tz_Scanner::get_EventNames(BSTR* pVal) { return ReturnText(kEventNames, pVal); }

HRESULT CM48tz_Scanner::get_SupportedResolutions(BSTR* pVal) { return ReturnText(kResolutions, pVal); }

HRESULT CM48tz_Scanner::GetPresentation(ULONG index, IPicture** picon) {
  if (index > 2) return E_INVALIDARG;
  if (picon == nullptr) return E_POINTER;
  *picon = nullptr;
  std::shared_ptr<Icon> icon;
  if (index < 2) {
    // The strip of 36 x 36 pictures, white around each.
    std::optional<std::span<const uint8_t>> strip = OwnResource(kResourceTypeBitmap, kPictureStripResource);
    std::shared_ptr<gdi::Bitmap> bitmap = strip ? ReadBitmapFile(*strip) : nullptr;
    if (bitmap) {
      ImageList images(kPictureSide, kPictureSide, 2, 2);
      images.AddMasked(*bitmap, gdi::kWhite);
      icon = images.GetIcon(static_cast<int32_t>(index));
    }
  } else if (std::optional<std::span<const uint8_t>> group = OwnResource(kResourceTypeGroupIcon, kIconResource)) {
    icon = ReadIconFile(*group, kIconSide);
  }
  if (!icon) {
    RZD_LOG_ERROR(u"GetPresentation failed because picture %u cannot be loaded", index);
    return E_FAIL;
  }
  return CreateIconPicture(std::move(icon), IID_IPicture, reinterpret_cast<void**>(picon));
}

HRESULT CM48tz_Scanner::GetInterface(GUID* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = CLSID_Scanner_M48tz;
  return S_OK;
}

HRESULT CM48tz_Scanner::GetDefaults(_ZQSCANINFO** pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = static_cast<_ZQSCANINFO*>(CoTaskMemAlloc(sizeof(_ZQSCANINFO)));
  if (*pVal == nullptr) return E_OUTOFMEMORY;
  std::memcpy(static_cast<void*>(*pVal), &m_defaults, sizeof(_ZQSCANINFO));
  return S_OK;
}

HRESULT CM48tz_Scanner::ScanCommand(_ZQSCANCOMMAND cmd, _ZQSCANINFO* pinfo, _ZQSTATUS* Status) {
  // Every command reads or writes the record, and the status goes back through Status.
  if (Status == nullptr || pinfo == nullptr) return E_POINTER;
  *Status = ZQHARDWARE_STATUS_OK;
  *Status = static_cast<_ZQSTATUS>(Command(cmd, pinfo));
  SetLastStatus(static_cast<int32_t>(*Status));

  if (cmd == ZQSCAN_SET_FRIENDLY_NUMBER && !DeviceKeyPath().empty()) {
    // Without the unit's own double-feed skip, the recovery from a double feed is not offered.
    RegKey key;
    if (RegKey::Open(Hive::LocalMachine, DeviceKeyPath(), &key) == ERROR_SUCCESS) {
      uint32_t skip = 0;
      if (key.GetDword(kValueDfdSkip, &skip) != ERROR_SUCCESS) skip = 0;
      if (skip == 0) {
        constexpr auto kRecovery = static_cast<int32_t>(ZQSCANMODE_SUPPORT_RZD_DFDRECOVERY);
        pinfo->SupportedDataTypes &= ~kRecovery;
        m_defaults.SupportedDataTypes &= ~kRecovery;
      }
    }
  }
  return S_OK;
}

HRESULT CM48tz_Scanner::Scan(_ZQSCANCOMMAND cmd, _ZQSCANINFO* pinfo, LONG size, unsigned char* pBuf, LONG* written) {
  if (pinfo == nullptr || written == nullptr) return E_POINTER;
  if (cmd == ZQSCAN_START || cmd == ZQSCAN_SCAN) {
    // Image bytes go into the caller's buffer: it must be there and hold something.
    if (pBuf == nullptr) return E_POINTER;
    if (size <= 0) return E_INVALIDARG;
  }
  return ScanOperation(cmd, pinfo, size, pBuf, written);
}

HRESULT CM48tz_Scanner::GetLastError(LONG* error, BSTR* errormsg) {
  if (error == nullptr || errormsg == nullptr) return E_POINTER;
  *error = LastStatus();
  *errormsg = nullptr;
  return S_OK;
}

HRESULT CM48tz_Scanner::get_HasMFButton(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = 1;
  return S_OK;
}

HRESULT CM48tz_Scanner::get_SupportedImageCaps(BSTR* pVal) { return ReturnCopy(m_imageCaps, pVal); }

HRESULT CM48tz_Scanner::get_ShortName(BSTR* pVal) { return ReturnText(kShortName, pVal); }

HRESULT CM48tz_Scanner::GetDevicePoperties(GUID* guid) { return GetInterface(guid); }

}  // namespace rzd::apphal
