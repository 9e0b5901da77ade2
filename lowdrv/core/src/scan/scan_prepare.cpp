// PrepareScan: brings the engine from idle, or from between two pages, to scanning the next page.
// ReadBackground: the separate background scan of engines without a background raster.
// GetGammaTables: the tone tables the preparation sends.
#include "buttons/button_table.h"
#include "foundation/func_trace.h"
#include "scan/jpeg_header.h"
#include "scan/scan_steps.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace rzd::lowdrv {

namespace {

constexpr uint32_t kLampReady = 1;
constexpr LLDError kLampFailure = 42;
constexpr LLDError kFeederCable = 75;
constexpr uint16_t kWindowDescriptorLength = 62;

// The preparation's own view of the driver.
class Preparation {
 public:
  Preparation(CRZDREduzidLLD& d, uint8_t* media)
      : d_(d), s_(d.m_Scan), eng_(d.m_ReduzidScanner), set_(*d.m_pSettings), media_(*media) {}

  void Run();

 private:
  [[noreturn]] void Fail(const char16_t* line, LLDError code) {
    RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"PrepareScan failed because %s", line);
    throw ScanFailure{code};
  }
  [[noreturn]] void EngineFail(const char16_t* line) { Fail(line, EngineError()); }
  LLDError EngineError() const { return eng_.m_ulLastError != 0 ? eng_.m_ulLastError : lld::kInternal; }

  void Build();
  bool WindowChanged() const {
    return record_.Desc.XRes != s_.previousXRes || record_.Desc.ImageComp != s_.previousComposition ||
           (record_.Desc.SetCapEx1 & 0x98) != s_.previousWindowFlags;
  }
  void SwitchDescription();
  void CheckFeeder();
  void CheckLamp();
  void ResetBetweenPages();
  void BackgroundScan();
  void WindowSteps();
  void SendMatrix();
  void SendTablesAndLengths();
  void BackgroundRaster();
  void StopImprinter();
  // The background block of `size` bytes (0, or above kMaxBackgroundBytes: refused).
  void AllocateBackground(uint64_t size);
  const uint8_t* Inq() const { return InqBytes(inq_); }
  // The engine supplies a background raster; without one the background is scanned.
  bool Raster() const { return caps::IsSet(Inq(), sizeof inq_, caps::kInqBackgroundRaster); }

  CRZDREduzidLLD& d_;
  ScanState& s_;
  CReduzidInterface& eng_;
  CScannerSettings_AV& set_;
  uint8_t& media_;
  ReduzidInq inq_ = CRZDScannerSettingsBase::InquiryCopy();
  ReduzidWindowDesc record_{};
  uint32_t boundary_ = 6;
  uint32_t dfdWait_ = 0;
  bool fromFeeder_ = false;
};

void Preparation::Build() {
  const ReduzidWindowDescriptor* current = ScanSteps::CurrentWindow(d_);
  if (!current) Fail(u"GetWindowDescription() failed", lld::kInternal);
  record_ = {};
  record_.Data.Length = kWindowDescriptorLength;
  record_.Desc = *current;
  DescByte(record_.Desc, desc::kFixedLength) = 0;
  fromFeeder_ = (record_.Desc.ADF & 0x80) != 0;
  // A window without bytes per line would divide by zero later on.
  const WindowFacts facts = FactsOf(*current);
  if (facts.bytesPerLine == 0) Fail(u"the window has no bytes per line", lld::kInvalidXmlValue);
}

void Preparation::SwitchDescription() {
  SelectNextDescription(set_);
  Build();
}

void Preparation::CheckFeeder() {
  if (set_.m_bDFDResetOption && d_.m_bDFDResetPending) {
    d_.m_bDFDResetPending = 0;
    if (!eng_.SendResetDFDSelection()) EngineFail(u"SendResetDFDSelection() failed");
  }
  if (media_ != 0) {
    eng_.m_ulCmdTimeout = d_.m_ulCmdTimeout;
    LLDError r = d_.MediaCheck(&media_, 0);
    if (r == kFeederCable) {
      r = 0;
      media_ = 0;
    }
    if (r != 0) Fail(u"MediaCheck() failed", r);
  }
  if (!(media_ & caps::kFeederPaper) && !(boundary_ == 6 && set_.m_bMediaStatusOverride && set_.m_bAlternateDefined)) {
    s_.pagesSinceMediaCheck = 0;
    Fail(u"ADF is empty", lld::kNoPaper);
  }
  if (set_.m_bMediaStatusOverride) {
    s_.mediaKindA = (media_ & caps::kFeederPaper) != 0;
    s_.mediaKindB = false;
  } else {
    const uint8_t kind = media_ & caps::kFeederMediaKindMask;
    s_.mediaKindA = kind == caps::kFeederMediaKindA && s_.pagesSinceMediaCheck == 0;
    s_.mediaKindB = kind == caps::kFeederMediaKindB && s_.pagesSinceMediaCheck == 0;
  }
}

void Preparation::CheckLamp() {
  if (Inq()[50] & 0x80) {
    eng_.m_ulCmdTimeout = d_.m_ulCmdTimeout;
    if (!d_.m_bNewCommandSet && !eng_.LampControl(true)) EngineFail(u"LampControl() failed");
  }
  eng_.m_ulCmdTimeout = d_.m_ulCmdTimeout;
  uint8_t status = 0;
  if (!eng_.ReadLampStatus(&status)) EngineFail(u"ReadLampStatus() failed");
  if (status == kLampReady) return;
  if (status == 0 || status == 2) Fail(u"lamp is warming up", lld::kLampWarmingUp);
  RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"PrepareScan failed because ReadLampStatus returned byStatus = %d",
                   static_cast<int>(status));
  throw ScanFailure{kLampFailure};
}

void Preparation::StopImprinter() { ScanSteps::StopImprinter(d_); }

void Preparation::ResetBetweenPages() {
  eng_.m_ulCmdTimeout = d_.m_ulCmdTimeout;
  if (!eng_.ResetUnit()) EngineFail(u"ResetUnit() failed");
  eng_.m_ulCmdTimeout = d_.m_ulReleaseTimeout;
  if (!eng_.ReleaseUnit(0)) EngineFail(u"ReleaseUnit() failed");
  if (d_.m_bBatchReservation) {
    d_.m_bUnitReserved = 0;
    if (!eng_.ReleaseUnit(2)) {
      // The batch reservation could not be given back: the unit is in an unknown state, so the
      // preparation fails with the engine's code rather than going on as if nothing happened.
      const LLDError code = EngineError();
      RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"CancelOperation failed because m_ReduzidScanner.ReleaseUnit(1) failed with %d",
                       static_cast<int>(code));
      throw ScanFailure{code};
    }
    StopImprinter();
  }
  boundary_ = 6;
  d_.m_ulSubState = 6;
}

void Preparation::AllocateBackground(uint64_t size) {
  if (size == 0 || size > kMaxBackgroundBytes) Fail(u"the background size is out of range", lld::kInvalidXmlValue);
  try {
    d_.m_Background.assign(static_cast<size_t>(size), 0);
  } catch (const std::bad_alloc&) {
    d_.m_Background.clear();
    RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"ReadBackground failed because malloc(%d) failed", static_cast<int>(size));
    throw ScanFailure{lld::kNoMemory};
  }
}

void Preparation::BackgroundScan() {
  const uint16_t feederWidth = inq_.ADFMaxWidth;
  uint64_t width = static_cast<uint64_t>(record_.Desc.XRes) * feederWidth / 300 / 8 * 8;
  uint64_t size = record_.Desc.ImageComp == 5 ? width * 3 : record_.Desc.ImageComp == 0 ? (width + 7) / 8 : width;
  size *= 2;
  AllocateBackground(size);
  uint32_t given = static_cast<uint32_t>(size);
  const LLDError r = d_.ReadBackground(d_.m_Background.data(), &given);
  if (r != 0) Fail(u"ReadBackground() failed", r);
}

void Preparation::SendMatrix() {
  uint16_t matrix[kMatrixValues] = {};
  set_.GetCurrentMatrix(matrix);
  if (Inq()[52] & 0x10) {
    eng_.m_ulCmdTimeout = d_.m_ulShortTimeout;
    if (!eng_.SendMatrix(matrix)) EngineFail(u"SendMatrix() failed");
  }
}

void Preparation::WindowSteps() {
  eng_.m_ulCmdTimeout = d_.m_ulCmdTimeout;
  record_.Desc.BackgroundLines = Raster() && fromFeeder_ ? 1 : 0;
  uint32_t scale = 100;
  if (record_.Desc.CompressType != 0) {
    // A quality outside 1..100 is held there (0 would divide, above 100 the scale goes negative).
    scale = jpeg::ScaleForQuality(DescByte(record_.Desc, desc::kQuality));
    DescByte(record_.Desc, desc::kQuality) = 0x80;
  }
  d_.LLDHookA(record_);
  if (eng_.m_Caps.Ultrasonic) {
    const uint32_t mask = static_cast<uint32_t>(set_.m_byDFDSensorLeft) |
                          (static_cast<uint32_t>(set_.m_byDFDSensorCenter) << 8) |
                          (static_cast<uint32_t>(set_.m_byDFDSensorRight) << 16);
    if (!eng_.SendControlIndividualUltrasonicSensorNew(mask)) EngineFail(u"SendControlIndividualUltrasonicSensor() failed");
  }
  if (eng_.m_Caps.ExtendedMultifeed && set_.m_bUltrasonicOption) record_.Desc.MFDenable |= 0x02;
  if (d_.m_bImprinterFound && set_.ImprinterOptionOn()) {
    if (set_.ImprinterCleaningOn()) eng_.CleanImprinterNew();
    d_.SendImprinterPageSettings();
    if (!d_.m_bImprinterStarted) {
      eng_.StartImprinterNew();
      eng_.EnableImprinterNew();
      d_.m_bImprinterStarted = 1;
    } else {
      d_.m_bImprinterStarted = 0;
    }
  }
  eng_.m_ulCmdTimeout = d_.m_ulCmdTimeout;
  if (!eng_.SetWindow(record_)) EngineFail(u"SetWindow() failed");
  if (record_.Desc.CompressType != 0) {
    uint8_t tables[kJPEGTablesSize] = {};
    if (!d_.ChrominanceQuantizationTable(scale, tables)) EngineFail(u"ChrominanceQuantizationTable() failed");
    std::memcpy(s_.luminance.data(), tables, s_.luminance.size());
    std::memcpy(s_.chrominance.data(), tables + s_.luminance.size(), s_.chrominance.size());
  }
  if (d_.m_bBatchReservation) {
    uint8_t answer[7] = {};
    if (!eng_.ReadDuplexTransferMode(answer)) EngineFail(u"ReadDuplexTransferMode() failed");
    s_.transferModeByte = answer[4];
    std::memcpy(&s_.transferCount, answer + 5, sizeof s_.transferCount);
    s_.duplexBlockCount = 1;
    switch (s_.transferModeByte) {
      case caps::kDuplexAlternateReads:
      case caps::kDuplexAlternateReads7:
        s_.duplexTransferMode = 0;
        s_.sideFlags = {1, 0};
        break;
      case caps::kDuplexBlocks:
        // The transfers alternate: the first flag is set whatever an earlier mode left there.
        s_.duplexTransferMode = 1;
        s_.duplexBlockCount = std::max<uint32_t>(s_.transferCount, 1);
        s_.sideFlags = {1, 0};
        break;
      case caps::kDuplexFrontThenBack:
        s_.duplexTransferMode = 0;
        s_.sideFlags = {0, 0};
        break;
      case caps::kDuplexRestartPoints:
        s_.duplexTransferMode = 0;
        s_.sideFlags = {1, 1};
        break;
      default: break;
    }
  }
  ReduzidCalibFormat format{};
  if (!eng_.ReadCalibrationFormat(format)) EngineFail(u"ReadCalibrationFormat() failed");
}

void Preparation::SendTablesAndLengths() {
  uint8_t* red = nullptr;
  uint8_t* green = nullptr;
  uint8_t* blue = nullptr;
  uint16_t length = 0;
  d_.GetGammaTables(&red, &green, &blue, &length);
  eng_.m_ulCmdTimeout = d_.m_ulShortTimeout;
  if (!eng_.SendGammaTables(red, green, blue, length)) EngineFail(u"SendGammaTables() failed");
  if (caps::IsSet(Inq(), sizeof inq_, caps::kInqTruncation)) {
    const RZDWindowDescription& current = d_.m_pSettings->SelectedDescription();
    eng_.m_ulCmdTimeout = d_.m_ulShortTimeout;
    if (!eng_.SendTruncLen(false, static_cast<uint16_t>(current.BackTruncLen), 0)) EngineFail(u"SendTruncLen(false) failed");
    eng_.m_ulCmdTimeout = d_.m_ulShortTimeout;
    if (!eng_.SendTruncLen(true, static_cast<uint16_t>(current.FrontTruncLen), 0)) EngineFail(u"SendTruncLen(true) failed");
  }
  SendMatrix();
}

void Preparation::BackgroundRaster() {
  const WindowFacts facts = FactsOf(record_.Desc);
  uint64_t size = facts.lineBytesField;
  if (facts.duplex) size *= 2;
  AllocateBackground(size);
  eng_.m_ulCmdTimeout = d_.m_ulCmdTimeout;
  const LLDError r = d_.ReadBackgroundRaster(d_.m_Background.data(), static_cast<uint32_t>(size));
  if (r != 0) {
    RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"ReadBackground failed because ReadImageData() failed");
    throw ScanFailure{r};
  }
}

void Preparation::Run() {
  dfdWait_ = d_.m_errDFDErrWait;
  d_.m_errDFDErrWait = 0;
  boundary_ = ScanSteps::BoundaryState(d_);
  if (boundary_ == 6) {
    buttons::ClearTable();
    s_.deferredError = false;
    set_.m_bAlternateSelected = 0;
    set_.m_bThirdSelected = 0;
    d_.m_bImprinterStarted = 0;
  }
  Build();

  eng_.m_ulCmdTimeout = d_.m_ulShortTimeout;
  if (dfdWait_ == 0) {
    const LLDError r = eng_.WaitForUnitReady();
    if (r != 0 && r != lld::kMultifeed) Fail(u"WaitForUnitReady() failed", r);
  }
  if (fromFeeder_) CheckFeeder();
  if (boundary_ == 6) CheckLamp();

  if (d_.m_bBatchReservation && (boundary_ == 6 || (boundary_ == 3 && s_.reReserve))) {
    s_.reReserve = false;
    eng_.m_ulCmdTimeout = d_.m_ulReserveTimeout;
    if (!d_.m_bUnitReserved) {
      if (!eng_.ReserveUnit(2)) EngineFail(u"ReserveUnit() failed");
      d_.m_bUnitReserved = 1;
    }
    eng_.m_ulCmdTimeout = d_.m_ulCmdTimeout;
    if (Inq()[160] || Inq()[161] || Inq()[162] || Inq()[163]) {
      uint8_t block[kIPBlockSize] = {};
      std::memcpy(block, &DescByte(record_.Desc, desc::kImageProcessing), sizeof block);
      if (!eng_.SendIP(block)) EngineFail(u"SendIP() failed");
    }
  }

  if (set_.m_bThirdDefined && s_.mediaKindB) {
    set_.m_bAlternateSelected = set_.m_bAlternateDefined;
    Build();
  }
  if (boundary_ == 6 && (s_.mediaKindA || s_.mediaKindB) && !set_.m_bMediaStatusOverride) {
    uint8_t& sides = record_.Desc.SetCapEx1;
    if (!(sides & 0x18)) {
      sides = static_cast<uint8_t>((sides | 0x08) & ~0x80);
    } else {
      sides = static_cast<uint8_t>(sides & ~0x88);
    }
    record_.Desc.PagesPerJob = 1;
  }
  if ((boundary_ == 6 && set_.m_bAlternateDefined && !s_.mediaKindA && !s_.mediaKindB) ||
      (boundary_ == 3 && set_.m_bAlternateDefined && s_.pagesSinceMediaCheck != 0 && !set_.m_bMediaStatusOverride)) {
    SwitchDescription();
  }
  if (boundary_ == 3 && (media_ & caps::kFeederMediaKindMask) == caps::kFeederMediaKindA &&
      s_.pagesSinceMediaCheck == 1 && WindowChanged()) {
    ResetBetweenPages();
  }
  if (boundary_ == 6 && !Raster() && dfdWait_ == 0 && WindowChanged()) BackgroundScan();

  s_.previousXRes = record_.Desc.XRes;
  s_.previousComposition = record_.Desc.ImageComp;
  s_.previousWindowFlags = static_cast<uint8_t>(record_.Desc.SetCapEx1 & 0x98);

  if (boundary_ == 6 || !(Inq()[50] & 0x02) || dfdWait_ != 0) WindowSteps();
  SendMatrix();
  if (boundary_ == 6 || dfdWait_ != 0) SendTablesAndLengths();
  if (Raster() && boundary_ == 6) BackgroundRaster();

  eng_.m_ulCmdTimeout = d_.m_ulReserveTimeout;
  if (!eng_.ReserveUnit(0)) EngineFail(u"ReserveUnit() failed");
  eng_.m_ulCmdTimeout = d_.m_ulCmdTimeout;
  if (!d_.m_bNewCommandSet && !eng_.Scan()) {
    const LLDError kept = EngineError();
    eng_.m_ulCmdTimeout = d_.m_ulReleaseTimeout;
    eng_.ReleaseUnit(0);
    if (d_.m_bBatchReservation) {
      d_.m_bUnitReserved = 0;
      eng_.ReleaseUnit(2);
    }
    StopImprinter();
    Fail(u"Scan() failed", kept);
  }

  // The window the engine scans with; the read loop takes the fixed-length mark from the
  // description itself.
  s_.window = record_.Desc;
  if (const ReduzidWindowDescriptor* current = ScanSteps::CurrentWindow(d_))
    DescByte(s_.window, desc::kFixedLength) = DescByte(*current, desc::kFixedLength);
  s_.windowSent = true;
  // The selection the window was built from: the page's documents name its source, also after
  // the read loop switched the description at the page's end.
  s_.windowSource = set_.GetCurrentImageSourceID();
}

// The separate background scan: one line of each side with a window of the feeder's width.
class BackgroundRead {
 public:
  BackgroundRead(CRZDREduzidLLD& d) : d_(d), eng_(d.m_ReduzidScanner) {}

  LLDError Run(uint8_t* buffer, uint32_t* size);

 private:
  LLDError Fail(const char16_t* line) {
    const LLDError code = eng_.m_ulLastError != 0 ? eng_.m_ulLastError : lld::kInternal;
    RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"ReadBackground failed because %s", line);
    eng_.m_ulCmdTimeout = d_.m_ulReleaseTimeout;
    eng_.ReleaseUnit(0);
    return code;
  }

  CRZDREduzidLLD& d_;
  CReduzidInterface& eng_;
};

LLDError BackgroundRead::Run(uint8_t* buffer, uint32_t* size) {
  if (!buffer || !size) {
    RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"ReadBackground failed because of invalid parameter.");
    return lld::kWrongParameter;
  }
  const ReduzidWindowDescriptor* current = ScanSteps::CurrentWindow(d_);
  if (!current) {
    RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"ReadBackground failed because of invalid parameter.");
    return lld::kWrongParameter;
  }
  ReduzidWindowDesc record{};
  record.Data.Length = kWindowDescriptorLength;
  record.Desc = *current;
  const ReduzidInq inq = CRZDScannerSettingsBase::InquiryCopy();
  const uint64_t width = static_cast<uint64_t>(record.Desc.XRes) * inq.ADFMaxWidth / 300 / 8 * 8;
  const uint64_t lineBytes =
      record.Desc.ImageComp == 5 ? width * 3 : record.Desc.ImageComp == 0 ? (width + 7) / 8 : width;
  if (lineBytes == 0 || lineBytes > *size / 2) {
    RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"ReadBackground failed because buffer size is not enough");
    return lld::kWrongParameter;
  }
  ReduzidWindowDescriptor& w = record.Desc;
  w.Width = static_cast<uint32_t>(inq.ADFMaxWidth) * 4;
  w.XStart = 0;
  w.YStart = 0;
  w.PixelNum = static_cast<uint16_t>(lineBytes);
  w.HiBytePixelNum = static_cast<uint8_t>(lineBytes >> 16);
  w.LineNum = 1;
  w.HiByteLineNum = 0;
  w.BackgroundLines = 0;
  w.PagesPerJob = 1;
  w.MFDenable = 0x40;
  w.SetCapEx1 = static_cast<uint8_t>((w.SetCapEx1 & 0x67) | 0x10);
  DescByte(w, desc::kFixedLength) = 0;

  eng_.m_ulCmdTimeout = d_.m_ulCmdTimeout;
  if (!eng_.SetWindow(record)) return Fail(u"SetWindow()");
  ReduzidCalibFormat format{};
  if (!eng_.ReadCalibrationFormat(format)) return Fail(u"ReadCalibrationFormat()");
  uint16_t matrix[kMatrixValues] = {};
  d_.m_pSettings->GetCurrentMatrix(matrix);
  if (InqBytes(inq)[52] & 0x10) {
    eng_.m_ulCmdTimeout = d_.m_ulShortTimeout;
    if (!eng_.SendMatrix(matrix)) return Fail(u"SendMatrix()");
  }
  uint8_t* red = nullptr;
  uint8_t* green = nullptr;
  uint8_t* blue = nullptr;
  uint16_t length = 0;
  d_.GetGammaTables(&red, &green, &blue, &length);
  eng_.m_ulCmdTimeout = d_.m_ulShortTimeout;
  if (!eng_.SendGammaTables(red, green, blue, length)) return Fail(u"SendGammaTables()");
  eng_.m_ulCmdTimeout = d_.m_ulReserveTimeout;
  if (!eng_.ReserveUnit(0)) return Fail(u"ReserveUnit()");
  eng_.m_ulCmdTimeout = d_.m_ulShortTimeout;
  if (!d_.m_bNewCommandSet && !eng_.Scan()) return Fail(u"Scan()");

  eng_.m_ulCmdTimeout = d_.m_ulCmdTimeout;
  const uint32_t line = static_cast<uint32_t>(lineBytes);
  const uint32_t half = *size / 2;
  uint8_t endFlag = 0;
  ImageReadResult result;
  if (d_.ReadEngineImageData(buffer, line, endFlag, result) != 0) return Fail(u"ReadImageData()");
  endFlag = 0;
  if (d_.ReadEngineImageData(buffer + half, line, endFlag, result) != 0) return Fail(u"back side ReadImageData()");

  eng_.m_ulCmdTimeout = d_.m_ulReleaseTimeout;
  if (!eng_.ReleaseUnit(0)) {
    RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"ReadBackground failed because ReleaseUnit() failed");
    return eng_.m_ulLastError != 0 ? eng_.m_ulLastError : lld::kInternal;
  }
  return 0;
}

}  // namespace

LLDError ScanSteps::Prepare(CRZDREduzidLLD& d, uint8_t* media) {
  if (!media) return lld::kInvalidParameter;
  Preparation(d, media).Run();
  return 0;
}

LLDError ScanSteps::Background(CRZDREduzidLLD& d, uint8_t* buffer, uint32_t* size) {
  return BackgroundRead(d).Run(buffer, size);
}

uint32_t ScanSteps::BoundaryState(const CRZDREduzidLLD& d) {
  const uint32_t b = d.m_ulSubState;
  return b == 1 || b == 2 || b == 3 ? b : 6;
}

const ReduzidWindowDescriptor* ScanSteps::CurrentWindow(CRZDREduzidLLD& d) {
  return d.m_pSettings ? d.m_pSettings->GetWindowDescription() : nullptr;
}

void ScanSteps::StopImprinter(CRZDREduzidLLD& d) {
  if (d.m_pSettings->ImprinterOptionOn() && d.m_bImprinterStarted) {
    d.m_ReduzidScanner.DisableImprinter();
    d.m_ReduzidScanner.StopImprinter();
  }
  d.m_bImprinterStarted = 0;
}

const RZDWindowDescription& ScanSteps::DescriptionOf(CRZDREduzidLLD& d, std::u16string_view sourceId) {
  const CScannerSettings_AV& set = *d.m_pSettings;
  if (set.m_bThirdDefined && set.m_Third.ImageSourceID == sourceId) return set.m_Third;
  if (set.m_bAlternateDefined && set.m_Alternate.ImageSourceID == sourceId) return set.m_Alternate;
  if (set.m_Primary.ImageSourceID == sourceId) return set.m_Primary;
  return d.m_pSettings->SelectedDescription();
}

LLDError CRZDREduzidLLD::PrepareScan(uint8_t* pbyMedia) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"PrepareScan");
  RZD_TRACE_DWORD(&result, u"media = %d", pbyMedia ? static_cast<int>(*pbyMedia) : -1);
  try {
    result = ScanSteps::Prepare(*this, pbyMedia);
  } catch (const ScanFailure& failure) {
    result = failure.code;
  }
  return result;
}

LLDError CRZDREduzidLLD::ReadBackground(uint8_t* pbyBuffer, uint32_t* pSize) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"ReadBackground");
  RZD_TRACE_DWORD(&result, u"pbyBuffer = 0x%llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pbyBuffer)));
  result = ScanSteps::Background(*this, pbyBuffer, pSize);
  return result;
}

void CRZDREduzidLLD::GetGammaTables(uint8_t** ppbyRed, uint8_t** ppbyGreen, uint8_t** ppbyBlue, uint16_t* pwLength) {
  const uint16_t length = m_pSettings->IsGammaTable512() ? 0x200 : 0x100;
  if (m_pSettings->m_bThirdSelected) {
    uint8_t* tables = m_pSettings->m_Third.Gamma;
    if (ppbyRed) *ppbyRed = tables;
    if (ppbyGreen) *ppbyGreen = tables + 0x200;
    if (ppbyBlue) *ppbyBlue = tables + 0x400;
  } else {
    uint16_t ignored = 0;
    m_pSettings->GetGammaTable(ppbyRed, ppbyGreen, ppbyBlue, &ignored);
  }
  if (pwLength) *pwLength = length;
}

}  // namespace rzd::lowdrv
