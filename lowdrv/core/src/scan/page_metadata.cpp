// GenerateMetaData: the read result document of one call of the read loop. The template's shape
// comes from the driver's resource; the settings' part (source, image source and stream names,
// the stream's format, frame and tone flag) is found once per side and document source while a
// scan runs; the rest comes from the window and the read loop's counters.
#include "foundation/func_trace.h"
#include "foundation/xml_store.h"
#include "platform/text.h"
#include "scan/read_result.h"
#include "scan/scan_steps.h"

namespace rzd::lowdrv {

namespace {

const char kModuleAnchor = 0;

// An XPath string literal of `value` (quoted with the quote it does not hold).
std::u16string Literal(std::u16string_view value) {
  const char16_t quote = value.find(u'"') == std::u16string_view::npos ? u'"' : u'\'';
  return quote + std::u16string(value) + quote;
}

bool Missing(CRZDREduzidLLD& d, const char16_t* what) {
  RZD_LOG_ERROR_OF(ScanSteps::Log(d), u"GenerateMetaData failed because %s", what);
  return false;
}

// The ID of the item the store stands on; empty when it has none.
std::u16string ItemId(MSXML6StoreSTL& store) {
  std::u16string id;
  store.GetNodeAttribute(u"ID", id);
  return id;
}

std::u16string Current(MSXML6StoreSTL& store, std::u16string_view path) {
  std::u16string text;
  store.GetNodeText(std::u16string(path) + u"/Enum/Value[@IsCurrent=\"true\"]", text);
  return text;
}

// Selects the set image source of a side (any set one when that side has none) and its set
// stream below the document source at `sourcePath`.
bool SelectSide(MSXML6StoreSTL& store, const std::u16string& sourcePath, std::u16string_view type, bool anyFallback,
                std::u16string& image, std::u16string& stream) {
  if (!store.SelectNode(sourcePath)) return false;
  const std::u16string typed =
      u".//Item[@Name=\"ImageSource\"][@Type=" + Literal(type) + u"][@IsSet=\"true\"]";
  if (!store.SelectNode(typed)) {
    if (!anyFallback || !store.SelectNode(u".//Item[@Name=\"ImageSource\"][@IsSet=\"true\"]")) return false;
  }
  image = ItemId(store);
  if (!store.SelectNode(u".//Item[@Name=\"Stream\"][@IsSet=\"true\"]")) return false;
  stream = ItemId(store);
  return true;
}

// Finds what the metadata takes from the settings: for one side (`which` 0 front, 1 back) from
// the document the settings hand to the metadata, or for both sides in one transfer (2) from the
// current document.
bool FindSettings(CRZDREduzidLLD& d, std::u16string_view sourceId, int which, MetaSettings& m) {
  m.sourceId = std::u16string(sourceId);
  MSXML6StoreBSTR callerStore;
  callerStore.LoadFromString(u"<Result/>");
  callerStore.SelectRoot();
  const Bstr current = Bstr::Attach(which == 2 ? d.m_pSettings->GetCurrent()
                                               : d.m_pSettings->GetCurrentForSource(
                                                     sourceId, which == 1 ? u"Back" : u"Front", callerStore));
  if (!current) return Missing(d, u"GetCurrent() failed");
  MSXML6StoreSTL store;
  if (!store.LoadFromString(current.View())) return Missing(d, u"ParseXML(strCurrenSet) failed");
  Bstr threshold;
  if (callerStore.GetNodeText(u"/Result/ConvertToBWThreshold", threshold)) m.bwThreshold = threshold.View();

  // The names are the IDs of the selected items.
  const std::u16string sourcePath = u"//Item[@Name=\"DocumentSource\"][@ID=" + Literal(sourceId) + u"]";
  if (!store.SelectNode(sourcePath)) return Missing(d, u"strTemp.find(DocumentSources) failed");
  m.documentSource = ItemId(store);
  if (m.documentSource.empty()) return Missing(d, u"strTemp.find(DocumentSources ID) failed");
  if (which == 2) {
    if (!SelectSide(store, sourcePath, u"Front", false, m.imageSourceFront, m.streamFront) ||
        !SelectSide(store, sourcePath, u"Back", false, m.imageSourceBack, m.streamBack))
      return Missing(d, u"strTemp.find(ImageSources) failed");
    if (m.imageSourceFront.empty() || m.imageSourceBack.empty()) return Missing(d, u"strTemp.find(ImageSources ID) failed");
    if (m.streamFront.empty() || m.streamBack.empty()) return Missing(d, u"strTemp.find(Streams ID) failed");
    // The format of the front's stream stands for both.
    std::u16string image;
    std::u16string stream;
    SelectSide(store, sourcePath, u"Front", false, image, stream);
  } else {
    if (!store.SelectNode(sourcePath)) return Missing(d, u"strTemp.find(DocumentSources) failed");
    const std::u16string typed =
        u".//Item[@Name=\"ImageSource\"][@Type=" + Literal(which == 1 ? u"Back" : u"Front") + u"][@IsSet=\"true\"]";
    if (!store.SelectNode(typed) && !store.SelectNode(u".//Item[@Name=\"ImageSource\"][@IsSet=\"true\"]"))
      return Missing(d, u"strTemp.find(ImageSources) failed");
    m.imageSource = ItemId(store);
    if (m.imageSource.empty()) return Missing(d, u"strTemp.find(ImageSources ID) failed");
    if (!store.SelectNode(u".//Item[@Name=\"Stream\"][@IsSet=\"true\"]")) return Missing(d, u"strTemp.find(Streams) failed");
    m.stream = ItemId(store);
    if (m.stream.empty()) return Missing(d, u"strTemp.find(Streams ID) failed");
  }
  // The store stands on the stream: its format, frame and tone flag.
  std::u16string on;
  m.gammaApplied = store.GetNodeText(u".//UseVRSGammaTable/Enum/Value[.='On'][@IsCurrent='true']", on);
  std::u16string frame;
  if (store.GetNodeText(u"Frame/Left", frame)) m.frameLeft = WToI(frame);
  if (store.GetNodeText(u"Frame/Top", frame)) m.frameTop = WToI(frame);
  if (!store.SelectNode(u"Format")) return Missing(d, u"SetContext(Format) failed");
  std::u16string depth;
  store.GetNodeAttribute(u"BitDepth", depth);
  m.bitDepth = WToI(depth);
  m.pixels = Current(store, u"Pixels");
  if (m.pixels != u"SingleChannel") m.interleave = Current(store, u"Interleaves");
  m.alignment = store.GetNodeInt(u"Alignments/Range/Value", 0);
  if (m.alignment < 1) return Missing(d, u"GetInt(Alignment) failed");
  m.lineOrder = Current(store, u"LineOrders");
  m.pixelOrder = Current(store, u"PixelOrders");
  m.pixelGender = Current(store, u"PixelGenders");
  m.bitOrder = Current(store, u"BitOrders");
  m.found = true;
  return true;
}

std::u16string Number(uint64_t value) { return FormatW(u"%llu", static_cast<unsigned long long>(value)); }

// Writes the values into the document. The first element the template does not have is logged
// with its own line ("SetInt(<element>)" for numbers, "SetString(<element>)" for texts) and ends
// the writing: the call then fails.
class MetaWriter {
 public:
  MetaWriter(CRZDREduzidLLD& d, ReadResult& doc) : d_(d), doc_(doc) {}

  void Int(std::u16string_view path, uint64_t value) { Put(u"SetInt", path, Number(value)); }
  void Text(std::u16string_view path, std::u16string_view text) { Put(u"SetString", path, text); }
  bool Ok() const { return ok_; }

 private:
  void Put(const char16_t* setter, std::u16string_view path, std::u16string_view text) {
    if (!ok_ || doc_.Set(path, text)) return;
    ok_ = false;
    const size_t slash = path.rfind(u'/');
    const std::u16string element(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
    RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"GenerateMetaData failed because %s(%s) failed", setter, element.c_str());
  }

  CRZDREduzidLLD& d_;
  ReadResult& doc_;
  bool ok_ = true;
};

}  // namespace

bool ScanSteps::Metadata(CRZDREduzidLLD& d, const MetaCall& call, bool bothSides, BSTR* out) {
  if (!out || !call.window) return false;
  *out = nullptr;
  const ReadResultTemplate* shape = ReadResultTemplate::Get(&kModuleAnchor);
  if (!shape) return Missing(d, u"GetXMLfromResources() failed");
  return Metadata(d, call, bothSides, *shape, out);
}

bool ScanSteps::Metadata(CRZDREduzidLLD& d, const MetaCall& call, bool bothSides, const ReadResultTemplate& shape,
                         BSTR* out) {
  if (!out || !call.window) return false;
  *out = nullptr;
  ScanState& s = d.m_Scan;
  const WindowFacts f = FactsOf(*call.window);
  const uint32_t side = s.currentSide & 1;
  // What the settings give is looked up for the call's document source: a page read with another
  // description finds its own.
  MetaSettings& m = s.meta[bothSides ? 2 : side];
  if (!m.found || m.sourceId != call.sourceId) {
    m = MetaSettings{};
    if (!FindSettings(d, call.sourceId, bothSides ? 2 : static_cast<int>(side), m)) return false;
  }
  const ScanSide& cur = s.side[bothSides ? 0 : side];
  const CScannerSettings_AV& set = *d.m_pSettings;
  const ReduzidInq inq = CRZDScannerSettingsBase::InquiryCopy();

  ReadResult doc(shape);
  MetaWriter w(d, doc);
  if (!m.bwThreshold.empty()) doc.AddToRoot(u"ConvertToBWThreshold", m.bwThreshold);

  uint64_t estimate = 0;
  if (bothSides) {
    estimate = f.lineCountField / 2;
  } else if (!f.quarterTurn) {
    estimate = f.duplex ? f.lineCountField / 2 : f.lineCountField;
  } else {
    estimate = f.composition == 5 ? f.lineBytesField / 3 : f.composition == 0 ? uint64_t{f.lineBytesField} * 8 : f.lineBytesField;
  }
  uint64_t bytesPerLine = s.bytesPerLine;
  w.Int(u"EstimateLength", estimate);
  w.Int(u"EstimateImageSize", estimate * bytesPerLine);
  w.Int(u"Address/Page", d.m_ulPageNumber);
  w.Int(u"Address/Image", s.imageNumber);
  if (bothSides) {
    w.Text(u"Address/Side", u"Both");
  } else {
    bool back = side == 1;
    if (s.pagesInBatch == 1 && (s.mediaKindA || s.mediaKindB) && f.duplex && !set.m_bMediaStatusOverride) back = !back;
    w.Text(u"Address/Side", back ? u"Back" : u"Front");
  }
  const uint64_t lineOffset = cur.linesRead >= call.lines ? cur.linesRead - call.lines : 0;
  w.Int(u"Address/NumberOfLines", call.lines);
  w.Text(u"Address/ScanMode", f.duplex || bothSides ? u"Duplex" : u"Simplex");
  // The truncation length of the description the page is read with.
  const uint32_t frontTrunc = DescriptionOf(d, call.sourceId).FrontTruncLen;
  w.Text(u"Address/OverScan", (inq.AbilityEx5 & 0x04) && frontTrunc != 0 && f.fromFeeder ? u"On" : u"Off");
  w.Text(u"Address/Crop", f.autoWidth || f.quarterTurn ? u"On" : u"Off");
  if (call.endOfImage && f.autoWidth && call.autoWidth != 0) {
    const uint64_t px = call.autoWidth;
    bytesPerLine = f.composition <= 1 ? (px + 7) / 8 : f.composition == 5 ? px * 3 : px;
  }
  w.Int(u"Format/BytesPerLine", bytesPerLine);
  w.Int(u"Resolutions/X", f.xRes);
  w.Int(u"Resolutions/Y", f.yRes);
  w.Text(u"Address/DocumentSource", m.documentSource);
  if (bothSides) {
    w.Text(u"Address/ImageSource", u"");
    w.Text(u"Address/Stream", u"");
    w.Text(u"Address/ImageSourceFrontSide", m.imageSourceFront);
    w.Text(u"Address/ImageSourceBackSide", m.imageSourceBack);
    w.Text(u"Address/StreamFrontSide", m.streamFront);
    w.Text(u"Address/StreamBackSide", m.streamBack);
  } else {
    w.Text(u"Address/ImageSource", m.imageSource);
    w.Text(u"Address/Stream", m.stream);
  }
  const uint32_t kindPages = f.fromFeeder ? std::min(s.mediaKindPages, s.pagesInBatch) : 0;
  w.Int(u"Address/ImageFromTheStream", s.pagesInBatch - kindPages);
  w.Text(u"Format/Pixels", m.pixels);
  if (m.interleave.empty()) doc.Remove(u"Format/Interleave");
  else w.Text(u"Format/Interleave", m.interleave);
  w.Int(u"Format/Alignment", static_cast<uint64_t>(m.alignment));
  if (call.endOfImage) {
    w.Int(u"ImageDimensions/Length", call.sideLines);
    w.Int(u"ImageSize", call.sideBytes);
    w.Int(u"ImageDimensions/AddLines", cur.paddedLines);
  } else {
    w.Int(u"ImageDimensions/Length", 0);
    w.Int(u"ImageSize", 0);
  }
  if (d.m_errDFDErrWait != 0) {
    doc.AddToRoot(u"ErrorCode", Number(d.m_errDFDErrWait));
    doc.AddToRoot(u"Description", d.GetLastErrorString(d.m_errDFDErrWait));
  }
  w.Int(u"Address/LineOffset", f.jpeg ? 0 : lineOffset);
  w.Text(u"Format/Compression", f.jpeg ? u"JPG" : u"None");
  w.Text(u"Format/LineOrder", m.lineOrder);
  w.Text(u"Format/PixelOrder", m.pixelOrder);
  w.Text(u"Format/PixelGender", m.pixelGender);
  w.Text(u"Format/BitOrder", m.bitOrder);
  w.Int(u"Format/BitsPerPixel", static_cast<uint64_t>(std::max(m.bitDepth, 0)));
  if (f.jpeg) {
    // A JPEG side is as wide as the window.
    w.Int(u"ImageDimensions/Width", f.pixelsPerLine);
  } else if (m.bitDepth > 0) {
    w.Int(u"ImageDimensions/Width", bytesPerLine * 8 / static_cast<uint64_t>(m.bitDepth));
  }
  w.Int(u"ImageDimensions/Left", uint64_t{f.xRes} * static_cast<uint64_t>(std::max(m.frameLeft, 0)) / 1000);
  w.Int(u"ImageDimensions/Top", uint64_t{f.yRes} * static_cast<uint64_t>(std::max(m.frameTop, 0)) / 1000);
  if (!f.jpeg) {
    w.Int(u"Address/ByteOffset", bytesPerLine * lineOffset);
    w.Int(u"Address/NumberOfBytes", bytesPerLine * call.lines);
  } else {
    if (call.endOfImage) w.Int(u"Format/JPG_MCU", call.mcu);
    doc.Remove(u"Address/NumberOfLines");
    doc.Remove(u"Format/BytesPerLine");
    const uint64_t before = cur.bytesDelivered >= call.bytes ? cur.bytesDelivered - call.bytes : 0;
    w.Int(u"Address/LineOffset", before);
    w.Int(u"Address/ByteOffset", before);
    w.Int(u"Address/NumberOfBytes", call.bytes);
  }
  w.Text(u"GammaApplied", m.gammaApplied ? u"1" : u"0");
  if (call.blank) doc.AddToRoot(u"PageWasBlank", u"");
  if (!w.Ok()) return false;

  const std::u16string text = doc.Text();
  *out = SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
  return *out != nullptr;
}

namespace {

// Both forms trace themselves as "GenerateMetaData": the call's lines, its end mark and the
// document slot, and at the end the document written.
bool TracedMetadata(CRZDREduzidLLD& d, const ScanSteps::MetaCall& call, bool bothSides, BSTR* pstrMetaData) {
  bool result = false;
  RZD_FUNC_TRACE_OF(ScanSteps::Log(d), u"GenerateMetaData");
  RZD_TRACE_BOOL(&result, u"dwLines = %d, bEndOfImage = %d, pstrMetaData = 0x%X", static_cast<int>(call.lines),
                 call.endOfImage ? 1 : 0, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pstrMetaData)));
  if (pstrMetaData) RZD_TRACE_OUTPUT(u"*pstrMetaData = \r\n%s", pstrMetaData, kTraceText);
  result = ScanSteps::Metadata(d, call, bothSides, pstrMetaData);
  return result;
}

}  // namespace

bool CRZDREduzidLLD::GenerateMetaData(const ReduzidWindowDescriptor& window, uint32_t dwLines, uint32_t bytes,
                                      bool bEndOfImage, BSTR* pstrMetaData, std::u16string_view sourceId,
                                      uint32_t autoWidth, uint32_t sideLines, uint32_t sideBytes, bool blank,
                                      uint32_t mcu) {
  const bool duplex = (window.SetCapEx1 & 0x10) != 0;
  if (duplex && m_Scan.duplexTransferMode == 1 && window.CompressType == 0)
    return GenerateMetaDataBothSides(window, dwLines, bytes, bEndOfImage, pstrMetaData, sourceId, autoWidth,
                                     sideLines, sideBytes, blank, mcu);
  const ScanSteps::MetaCall call{&window, dwLines, bytes, bEndOfImage, sourceId, autoWidth, sideLines, sideBytes, blank, mcu};
  return TracedMetadata(*this, call, false, pstrMetaData);
}

bool CRZDREduzidLLD::GenerateMetaDataBothSides(const ReduzidWindowDescriptor& window, uint32_t dwLines, uint32_t bytes,
                                               bool bEndOfImage, BSTR* pstrMetaData, std::u16string_view sourceId,
                                               uint32_t autoWidth, uint32_t sideLines, uint32_t sideBytes, bool blank,
                                               uint32_t mcu) {
  const ScanSteps::MetaCall call{&window, dwLines, bytes, bEndOfImage, sourceId, autoWidth, sideLines, sideBytes, blank, mcu};
  return TracedMetadata(*this, call, true, pstrMetaData);
}

}  // namespace rzd::lowdrv
