// CTWAINwrap: initialisation, the feeder status, and the cycle of start, memory transfers,
// finish and cancel.
#include "apphal/twain_wrap.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace rzd::apphal {

namespace {

constexpr char16_t kFeatureName[] = u"CTWAINwrap Interface";

void CopyText(char* field, size_t size, const char* text) {
  std::memset(field, 0, size);
  std::snprintf(field, size, "%s", text);
}

TwainNumber True() { return TwainNumber::Integer(TW_TRUE); }

// True when the entry holds a handle of the source's global memory rather than its value: an
// answered entry of more than one item, of a text, of a handle, or of items wider than Item.
bool HoldsHandle(const TW_INFO& info) {
  if (info.ReturnCode != TWRC_SUCCESS) return false;
  const TW_UINT16 itemType = info.ItemType;
  return itemType == TWTY_HANDLE || info.NumItems > 1 || TwainItemSize(itemType) > sizeof(TW_UINTPTR);
}

// The one number an answered entry for `id` carries: a single integer item (the page number and
// side are integers), which fits in Item and so is never a handle.
bool ExtendedInfoNumber(const TW_INFO& info, TW_UINT16 id, TW_UINTPTR* value) {
  const TW_UINT16 itemType = info.ItemType;
  if (info.InfoID != id || info.ReturnCode != TWRC_SUCCESS || info.NumItems != 1 || itemType > TWTY_UINT32) {
    return false;
  }
  *value = info.Item;
  return true;
}

void ReleaseExtendedInfo(const TW_INFO& info) {
  const TW_UINTPTR item = info.Item;
  if (item != 0 && HoldsHandle(info)) TwainMemFree(reinterpret_cast<TW_HANDLE>(item));
}

#pragma pack(push, 2)
struct ExtendedInfoRecord {
  TW_UINT32 NumInfos;
  TW_INFO Info[std::size(kExtendedInfoIds)];
};
#pragma pack(pop)
static_assert(offsetof(ExtendedInfoRecord, Info) == offsetof(TW_EXTIMAGEINFO, Info));

}  // namespace

CTWAINwrap::CTWAINwrap() : CLogClient(kFeatureName) {}

CTWAINwrap::~CTWAINwrap() { Uninitialize(); }

CTWAINwrapOver::CTWAINwrapOver() = default;

std::shared_ptr<CTwainSession> CTWAINwrap::Session() const {
  if (m_sessionId == 0) return nullptr;
  return TwainSessionMap::Instance().Find(m_sessionId);
}

TW_IDENTITY CTWAINwrap::ApplicationIdentity(int32_t sessionId) const {
  TW_IDENTITY identity{};
  identity.Id = static_cast<TW_UINT32>(sessionId);
  identity.Version.MajorNum = 5;
  identity.Version.MinorNum = 1;
  identity.Version.Language = TWLG_USA;
  identity.Version.Country = TWCY_USA;
  CopyText(identity.Version.Info, sizeof(identity.Version.Info), "5.1 VI4reRIZUZ");
  identity.ProtocolMajor = 2;
  identity.ProtocolMinor = 2;
  identity.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2;
  CopyText(identity.Manufacturer, sizeof(identity.Manufacturer), "Corvanite");
  CopyText(identity.ProductFamily, sizeof(identity.ProductFamily), "VI4reRIZUZ");
  char name[sizeof(identity.ProductName)];
  std::snprintf(name, sizeof(name), "%s%d", "VI4reRIZUZ", sessionId);
  CopyText(identity.ProductName, sizeof(identity.ProductName), name);
  return identity;
}

void CTWAINwrap::CloseAfterFault(CTwainSession& session) {
  session.CloseDS();
  session.CloseDSM();
  m_started = false;
  m_morePending = false;
}

uint32_t CTWAINwrap::Initialize(ZQSCANINFO* /*pinfo*/, const std::filesystem::path& dataSourcePath) {
  // A second initialisation starts from a closed source: the first session is not left open.
  if (m_sessionId != 0) Uninitialize();

  // The session is entered in the map under the first free id from 1; entering it reserves the
  // id, so two wrappers on different threads never take the same one.
  std::shared_ptr<CTwainSession> session;
  int32_t id = 1;
  for (;; ++id) {
    if (id == std::numeric_limits<int32_t>::max()) return ZQHARDWARE_STATUS_FAIL;
    if (TwainSessionMap::Instance().Contains(id)) continue;
    try {
      session = std::make_shared<CTwainSession>(id);
    } catch (const std::bad_alloc&) {
      return ZQHARDWARE_STATUS_OUT_OF_MEMORY;
    }
    if (TwainSessionMap::Instance().Insert(id, session)) break;
  }
  auto fail = [&](uint32_t status) {
    TwainSessionMap::Instance().Remove(id);
    RZD_LOG_ERROR(u"Initialize failed because of status 0x%08X", status);
    return status;
  };
  if (!session->SessionEvent() || session->State() != kTwainStateManagerLoaded) return fail(ZQHARDWARE_STATUS_FAIL);

  session->OpenDSM(ApplicationIdentity(id));
  if (const uint32_t opened = session->OpenDS(dataSourcePath); opened != 0) {
    session->CloseDSM();
    if (opened == TwainResult(TWCC_MAXCONNECTIONS, TWRC_FAILURE)) return fail(ZQHARDWARE_STATUS_DRIVERBUSY);
    if (opened == TwainResult(TWCC_CHECKDEVICEONLINE, TWRC_FAILURE)) return fail(ZQHARDWARE_STATUS_NOTFOUND);
    return fail(ZQHARDWARE_STATUS_FAIL);
  }
  // Only a fault inside the source stops the initialisation here.
  if (session->SetCapability(CAP_FEEDERENABLED, TWTY_BOOL, TWON_ONEVALUE, True()) == kTwainBummer) {
    session->CloseDS();
    session->CloseDSM();
    return fail(ZQHARDWARE_STATUS_FAIL);
  }
  session->SetCapability(CAP_AUTOMATICSENSEMEDIUM, TWTY_BOOL, TWON_ONEVALUE, True());
  session->SetCapability(kCapDsCustomData, TWTY_BOOL, TWON_ONEVALUE, True());
  m_sessionId = id;
  RZD_LOG_INFO(u"Initialize opened the data source as session %d", id);
  return ZQHARDWARE_STATUS_OK;
}

uint32_t CTWAINwrap::Uninitialize() {
  m_started = false;
  m_batchOver = false;
  m_morePending = false;
  if (m_sessionId == 0) return ZQHARDWARE_STATUS_OK;
  if (std::shared_ptr<CTwainSession> session = Session()) {
    bool more = false;
    uint32_t extra = 0;
    session->EndTransfer(&more, &extra);
    session->ResetTransfers();
    session->DisableDS();
    session->CloseDS();
    session->CloseDSM();
  }
  TwainSessionMap::Instance().Remove(m_sessionId);
  m_sessionId = 0;
  return ZQHARDWARE_STATUS_OK;
}

uint32_t CTWAINwrap::GetADFStatus() {
  std::shared_ptr<CTwainSession> session = Session();
  if (!session) return ZQHARDWARE_STATUS_FAIL;
  if (m_started) return m_morePending ? ZQHARDWARE_STATUS_ADF_PAGE : ZQHARDWARE_STATUS_ADF_EMPTY;
  if (m_batchOver) return ZQHARDWARE_STATUS_ADF_EMPTY;

  TwainNumber value;
  TW_UINT16 itemType = 0;
  uint32_t result = session->GetCapability(CAP_FEEDERENABLED, &value, &itemType);
  if (result == kTwainBummer) return ZQHARDWARE_STATUS_FAIL;
  if (result != 0 || itemType != TWTY_BOOL || value.Raw() == 0) return ZQHARDWARE_STATUS_ADF_PAGE;
  result = session->GetCapability(CAP_FEEDERLOADED, &value, &itemType);
  if (result == kTwainBummer) return ZQHARDWARE_STATUS_FAIL;
  if (result != 0) return ZQHARDWARE_STATUS_ADF_PAGE;
  if (itemType == TWTY_BOOL && value.Raw() == 0) return ZQHARDWARE_STATUS_ADF_EMPTY;
  return ZQHARDWARE_STATUS_ADF_PAGE;
}

uint32_t CTWAINwrap::ShowNetWaitDialog() {
  std::shared_ptr<CTwainSession> session = Session();
  if (!session) return ZQHARDWARE_STATUS_FAIL;
  const uint32_t result = session->UserInterfaceMessage(MSG_DS_NETWAIT, nullptr);
  if (result == TWRC_CANCEL || result == TwainResult(TWCC_MAXCONNECTIONS, TWRC_FAILURE)) return MapTwainStatus(result);
  if (result == kTwainBummer) return ZQHARDWARE_STATUS_FAIL;
  return ZQHARDWARE_STATUS_OK;
}

void CTWAINwrap::ReadPageValues(CTwainSession& session) {
  TwainNumber value;
  TW_UINT16 itemType = 0;
  for (TW_UINT16 capability : {kCapDsPageRecord, ICAP_SUPPORTEDSIZES, ICAP_ORIENTATION}) {
    session.GetCapability(capability, &value, &itemType);
  }
}

void CTWAINwrap::GatherExtendedInfo(CTwainSession& session, ZQSCANINFO* pinfo) {
  if ((static_cast<uint32_t>(pinfo->SupportedDataTypes) & ZQSCANMODE_SUPPORT_DSDATA) == 0) return;
  ExtendedInfoRecord record{};
  record.NumInfos = std::size(kExtendedInfoIds);
  for (size_t i = 0; i < std::size(kExtendedInfoIds); ++i) record.Info[i].InfoID = kExtendedInfoIds[i];
  if (session.GetExtImageInfo(&record) != 0) return;  // a refused request hands out nothing
  // The page number and side, each only from an entry the source answered with one number.
  TW_UINTPTR value = 0;
  if (ExtendedInfoNumber(record.Info[2], TWEI_PAGENUMBER, &value)) pinfo->PagesScanned = static_cast<int32_t>(value);
  if (ExtendedInfoNumber(record.Info[3], TWEI_PAGESIDE, &value)) pinfo->ActiveSide = value == TWCS_BOTTOM ? 1 : 0;
  // Every handle the source put into an answered entry (its texts) is the application's to free;
  // the values are not kept (the application's page record is not filled).
  for (const TW_INFO& info : record.Info) ReleaseExtendedInfo(info);
}

uint32_t CTWAINwrap::StartScan(ZQSCANINFO* pinfo, std::string colourCorrection) {
  std::shared_ptr<CTwainSession> session = Session();
  if (!session || pinfo == nullptr) return ZQHARDWARE_STATUS_FAIL;

  if (!m_started) {
    // The application's pointers travel to the source's own messages as they are.
    uint32_t result = session->UserInterfaceMessage(MSG_DS_USER2, reinterpret_cast<TW_MEMREF>(pinfo->ScanDirection));
    if (result != kTwainBummer && pinfo->RawDataFormat != 0) {
      result = session->UserInterfaceMessage(MSG_DS_USER3, reinterpret_cast<TW_MEMREF>(pinfo->RawDataFormat));
    }
    if (result == kTwainBummer) {
      CloseAfterFault(*session);
      return ZQHARDWARE_STATUS_FAIL;
    }
    if (!colourCorrection.empty()) session->SetCapabilityString(kCapDsColourCorrection, TWTY_STR255, colourCorrection);
    ReadPageValues(*session);

    m_started = true;
    const uint32_t enabled = MapTwainStatus(session->EnableDS(nullptr));
    if (IsZqFailure(enabled)) {
      // A refused start leaves no cycle behind: the next start enables the source again.
      m_started = false;
      RZD_LOG_ERROR(u"StartScan failed because the data source was not enabled (0x%08X)", enabled);
      return enabled;
    }
    const TwainWaitResult waited = session->WaitForDataSource();
    if (waited.outcome == TwainWaitOutcome::Cancelled) return ZQHARDWARE_STATUS_USERCANCEL;
    if (waited.outcome == TwainWaitOutcome::Failed) return MapTwainStatus(waited.result);
    TW_SETUPMEMXFER setup{};
    session->GetSetupMemXfer(&setup);
  }

  TW_IMAGEINFO info{};
  const uint32_t infoStatus = MapTwainStatus(session->GetImageInfo(&info));
  if (IsZqFailure(infoStatus)) return infoStatus;
  // A page of no width or no depth cannot be read line by line.
  const int64_t widthBytes = (static_cast<int64_t>(info.BitsPerPixel) * info.ImageWidth + 7) / 8 + 3;
  if (info.ImageWidth <= 0 || info.ImageLength < 0 || info.BitsPerPixel <= 0 ||
      widthBytes / 4 * 4 > std::numeric_limits<int32_t>::max()) {
    RZD_LOG_ERROR(u"StartScan failed because the page is %d pixels of %d bits wide", info.ImageWidth,
                  info.BitsPerPixel);
    return ZQHARDWARE_STATUS_FAIL;
  }
  pinfo->WidthPixels = info.ImageWidth;
  pinfo->PixelBits = info.BitsPerPixel;
  pinfo->WidthBytes = static_cast<int32_t>(widthBytes / 4 * 4);
  pinfo->Lines = info.ImageLength;
  auto rounded = [](TW_FIX32 value) { return value.Whole + ((value.Frac & 0x8000) != 0 ? 1 : 0); };
  pinfo->Xresolution = rounded(info.XResolution);
  pinfo->Yresolution = rounded(info.YResolution);
  switch (info.PixelType) {
    case TWPT_BW: pinfo->DataType = ZQSCANMODE_BITONAL; break;
    case TWPT_GRAY: pinfo->DataType = info.BitsPerPixel <= 8 ? ZQSCANMODE_GREY : ZQSCANMODE_GREY16; break;
    case TWPT_RGB: pinfo->DataType = info.BitsPerPixel <= 24 ? ZQSCANMODE_COLOR : ZQSCANMODE_COLOR48; break;
    default: break;
  }
  m_compressed = info.Compression == TWCP_JPEG;
  if (m_compressed) {
    pinfo->Compression |= 1;
  } else {
    pinfo->Compression = 0;
  }

  pinfo->LinesScanned = 0;
  if (pinfo->PagesScanned != 0 && pinfo->Duplex != 0) pinfo->ActiveSide = pinfo->ActiveSide == 0 ? 1 : 0;

  GatherExtendedInfo(*session, pinfo);
  if (pinfo->ADF > 1 || pinfo->Sheetfed > 1) {
    TwainNumber duplex;
    TW_UINT16 itemType = 0;
    if (session->GetCapability(CAP_DUPLEXENABLED, &duplex, &itemType) == 0) pinfo->Duplex = duplex.Raw() != 0 ? 1 : 0;
  } else {
    pinfo->Duplex = 0;
  }
  m_widthBytes = pinfo->WidthBytes;
  m_widthPixels = pinfo->WidthPixels;
  m_bitsPerPixel = pinfo->PixelBits;
  m_transferDone = false;
  m_bytesDelivered = 0;
  // 64 bits: a 236-inch page at 600 dpi in colour passes 2^31 bytes.
  m_bytesExpected = static_cast<uint64_t>(pinfo->Lines) * static_cast<uint64_t>(pinfo->WidthBytes);
  return ZQHARDWARE_STATUS_OK;
}

void CTWAINwrap::SwapRedBlue(uint8_t* data, size_t bytes) const {
  const size_t lineBytes = static_cast<size_t>(m_widthBytes);
  const size_t pixelBytes = std::min(static_cast<size_t>(m_widthPixels) * 3, lineBytes);
  for (size_t line = 0; line + lineBytes <= bytes; line += lineBytes) {
    for (size_t pixel = 0; pixel + 3 <= pixelBytes; pixel += 3) std::swap(data[line + pixel], data[line + pixel + 2]);
  }
}

int32_t CTWAINwrap::ReadScan(ZQSCANINFO* pinfo, uint8_t* buffer, int32_t size, uint32_t* status, bool* last) {
  uint32_t ignoredStatus = 0;
  bool ignoredLast = false;
  if (status == nullptr) status = &ignoredStatus;
  if (last == nullptr) last = &ignoredLast;
  *status = ZQHARDWARE_STATUS_OK;
  *last = false;
  std::shared_ptr<CTwainSession> session = Session();
  if (!session || pinfo == nullptr || buffer == nullptr) {
    *status = ZQHARDWARE_STATUS_FAIL;
    return 0;
  }
  // A raw page ends with its expected bytes; a compressed one when the source says so.
  if (m_compressed ? m_transferDone : m_bytesDelivered >= m_bytesExpected) {
    *last = true;
    return 0;
  }
  // Whole lines only: a buffer smaller than one line cannot take any.
  if (m_widthBytes <= 0 || size < m_widthBytes) {
    RZD_LOG_ERROR(u"ReadScan failed because %d bytes do not hold a line of %d bytes", size, m_widthBytes);
    *status = ZQHARDWARE_STATUS_FAIL;
    m_lastReadStatus = *status;
    return 0;
  }
  const uint32_t length =
      m_compressed ? static_cast<uint32_t>(size) : static_cast<uint32_t>(m_widthBytes * (size / m_widthBytes));
  TW_IMAGEMEMXFER transfer{};
  transfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, length, buffer};
  const uint32_t result = session->MemoryTransfer(&transfer);
  const uint32_t mapped = MapTwainStatus(result);
  // Never more than the source was given, whatever it says it wrote.
  const uint32_t reported = transfer.BytesWritten;  // copied out of the packed record
  const uint32_t written = std::min(reported, length);
  if (IsZqFailure(mapped)) {
    *status = mapped;
    m_lastReadStatus = mapped;
    RZD_LOG_ERROR(u"ReadScan failed because the transfer answered 0x%08X", result);
    return 0;
  }
  m_bytesDelivered += written;
  // Only 24-bit pixels come blue first; 32- and 48-bit data pass as they are.
  if (!m_compressed && m_bitsPerPixel == 24) SwapRedBlue(buffer, written);
  pinfo->LinesScanned =
      static_cast<int32_t>(std::min<uint64_t>(m_bytesDelivered / static_cast<uint64_t>(m_widthBytes),
                                              std::numeric_limits<int32_t>::max()));
  if (result == TWRC_XFERDONE) {
    ReadPageValues(*session);
    m_bytesDelivered = std::max(m_bytesDelivered, m_bytesExpected);
    m_transferDone = true;
    *last = true;
    GatherExtendedInfo(*session, pinfo);
  }
  *status = mapped;
  m_lastReadStatus = mapped;
  return static_cast<int32_t>(written);
}

uint32_t CTWAINwrap::FinishScan(ZQSCANINFO* pinfo) {
  std::shared_ptr<CTwainSession> session = Session();
  if (!session || pinfo == nullptr) return ZQHARDWARE_STATUS_FAIL;
  pinfo->Value = 0;
  if (static_cast<uintptr_t>(pinfo->ScanDirection) > 100) {
    if (session->UserInterfaceMessage(MSG_DS_USER2, reinterpret_cast<TW_MEMREF>(pinfo->ScanDirection)) ==
        kTwainBummer) {
      CloseAfterFault(*session);
      return ZQHARDWARE_STATUS_FAIL;
    }
  }
  bool more = false;
  uint32_t extra = 0;
  const uint32_t ended = MapTwainStatus(session->EndTransfer(&more, &extra));
  if (!IsZqFailure(ended)) pinfo->Endorser = static_cast<int32_t>(extra);
  m_morePending = !IsZqFailure(ended) && more;
  if (m_morePending && ended == ZQHARDWARE_STATUS_OK) return ZQHARDWARE_STATUS_OK;  // the next start reads on

  m_started = false;
  if (ended == ZQHARDWARE_STATUS_OK && m_lastReadStatus == ZQHARDWARE_STATUS_OK) {
    m_batchOver = true;
    pinfo->Value = 1;
  }
  session->DisableDS();
  return ended;
}

uint32_t CTWAINwrap::CancelScan() {
  std::shared_ptr<CTwainSession> session = Session();
  if (!session) return ZQHARDWARE_STATUS_FAIL;
  bool more = false;
  uint32_t extra = 0;
  session->EndTransfer(&more, &extra);
  session->ResetTransfers();
  session->DisableDS();
  m_started = false;
  m_batchOver = true;
  m_morePending = false;
  return ZQHARDWARE_STATUS_OK;
}

}  // namespace rzd::apphal
