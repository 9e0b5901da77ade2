#include "scripted_scan_hal.h"

#include "scan_script.h"

#include "engine/page_pattern.h"
#include "foundation/xml_store.h"
#include "interfaces/raster_buffers.h"
#include "interfaces/rzdhal.h"
#include "interfaces/rzdhal_codes.h"
#include "platform/com_object.h"
#include "platform/text.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

namespace rzd::test {

namespace {

constexpr DWORD kContext = 0x17;
constexpr uint32_t kGroupLines = 16;  // lines per side in a group of a "Both" stream

std::string Hex(HRESULT hr) { return FormatA("0x%08X", static_cast<uint32_t>(hr)); }

// A text on one log line: line breaks and tabs written as \n and \t.
std::string OneLine(BSTR text) {
  std::string line;
  for (char c : ToUtf8(BstrView(text))) {
    if (c == '\n') {
      line += "\\n";
    } else if (c == '\t') {
      line += "\\t";
    } else {
      line.push_back(c);
    }
  }
  return line;
}

// What the client chose with code 8.
struct Choice {
  bool front = true;
  bool back = true;
  const char16_t* kind = u"Color";
  int dpi = 300;
  bool jpeg = false;
};

Choice ReadChoice(std::u16string_view settings) {
  Choice choice;
  MSXML6StoreSTL store;
  if (!store.LoadFromString(settings)) return choice;
  std::u16string ignored;
  choice.front = store.SelectNode(u"//Item[@ID='Front1'][@IsSet='true']");
  choice.back = store.SelectNode(u"//Item[@ID='Back1'][@IsSet='true']");
  const std::u16string n = choice.front ? u"1" : u"2";
  for (const char16_t* kind : {u"Color", u"Gray", u"Mono"}) {
    const std::u16string item = u"//Item[@ID='" + std::u16string(kind) + n + u"'][@IsSet='true']";
    if (!store.SelectNode(item)) continue;
    choice.kind = kind;
    std::u16string text;
    if (store.GetNodeText(item + u"/Resolutions/Enum/Value[@IsCurrent='true']", text)) choice.dpi = WToI(text);
    text.clear();
    choice.jpeg = store.GetNodeText(item + u"/Format/JPEGTransfer/Enum/Value[@IsCurrent='true']", text) && text == u"On";
  }
  return choice;
}

// One driver read: bytes of one side (or of both, interleaved) with its page document.
struct Chunk {
  uint32_t sheet = 0;
  LONG side = 0;  // 0 front, 1 back, 2 both
  uint32_t lineOffset = 0;
  uint32_t lines = 0;
  std::vector<uint8_t> bytes;
  LONG boundary = 1;
  bool endsSide = false;
};

class ScriptedScanHal final : public DispatchWithoutTypeInfo<ComObject<IRZDHAL>> {
 public:

  HRESULT LockScanner(LONG lPID, LONG* lpStatus, DWORD dwTimeout) override {
    LogScanCall(FormatA("lock %d %u", lPID, dwTimeout));
    if (lpStatus != nullptr) *lpStatus = 0;
    return static_cast<HRESULT>(ScanScript::Load().Number("lock", 0));
  }

  HRESULT UnlockScanner(LONG* lpStatus) override {
    LogScanCall("unlock");
    if (lpStatus != nullptr) *lpStatus = 0;
    return S_OK;
  }

  HRESULT Control(LONG lCC, BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn, VARIANT* /*pvBufOut*/) override {
    std::string bufIn = "none";
    if (pvBufIn != nullptr) bufIn = FormatA("%u:%u", pvBufIn->vt, pvBufIn->ulVal);
    LogScanCall(FormatA("control %d in=%s bufin=%s", lCC, OneLine(strXMLIn).c_str(), bufIn.c_str()));
    const ScanScript script = ScanScript::Load();
    std::lock_guard guard(lock_);
    switch (lCC & 0xFF) {
      case RZDHAL_CC_CONNECT: return static_cast<HRESULT>(script.Number("connect", 0));
      case RZDHAL_CC_SET_PROCESS_ID:
        if (pidFailures_ < script.Number("pid-failures", 0)) {
          ++pidFailures_;
          return E_FAIL;
        }
        return S_OK;
      case RZDHAL_CC_GET_SUPPORTED:
      case RZDHAL_CC_GET_CURRENT:
        if (strXMLOut != nullptr) *strXMLOut = AllocBstr(lCC == RZDHAL_CC_GET_CURRENT && !settings_.empty() ? settings_ : ScriptedSupportedSettings());
        return S_OK;
      case RZDHAL_CC_SET_CURRENT:
        settings_.assign(BstrView(strXMLIn));
        choice_ = ReadChoice(settings_);
        chunks_.clear();
        started_ = false;
        if (strXMLOut != nullptr) *strXMLOut = AllocBstr(u"<Result><ErrorCode>0</ErrorCode></Result>");
        return static_cast<HRESULT>(script.Number("settings", 0));
      case RZDHAL_CC_CANCEL_OPERATION:
        chunks_.clear();
        started_ = false;
        return S_OK;
      default: return S_OK;
    }
  }

  HRESULT Read(BSTR strMMRasterName, BSTR strMMMetaData, LONG lSessionBoundary) override {
    const ScanScript script = ScanScript::Load();
    HRESULT hr = ReadBlocks(script, strMMRasterName, strMMMetaData, lSessionBoundary);
    if (script.values.count("read-answer") != 0) hr = static_cast<HRESULT>(script.Number("read-answer", 0));
    LogScanCall(FormatA("read %s %s %d -> %s", ToUtf8(BstrView(strMMRasterName)).c_str(),
                        ToUtf8(BstrView(strMMMetaData)).c_str(), lSessionBoundary, Hex(hr).c_str()));
    return hr;
  }

 protected:
  void* FindInterface(const IID& iid) override {
    if (iid == IID_IRZDHAL || iid == IID_IDispatch) return static_cast<IRZDHAL*>(this);
    return nullptr;
  }
  void FinalRelease() override { LogScanCall("release"); }

 private:
  uint32_t BytesPerLine(uint32_t width) const {
    if (std::u16string_view(choice_.kind) == u"Color") return width * 3;
    if (std::u16string_view(choice_.kind) == u"Gray") return width;
    return (width + 7) / 8;
  }

  // Every driver read of the scan, in order: the sheets' sides in pieces, alternating while both
  // sides have data.
  void PlanScan(const ScanScript& script) {
    const uint32_t sheets = static_cast<uint32_t>(script.Number("sheets", 1));
    const uint32_t width = static_cast<uint32_t>(script.Number("width", 50));
    const uint32_t lines = static_cast<uint32_t>(script.Number("lines", 40));
    const uint32_t chunkLines = std::max<uint32_t>(1, static_cast<uint32_t>(script.Number("chunk-lines", 16)));
    const bool both = script.Number("both", 0) != 0 && choice_.front && choice_.back && !choice_.jpeg;
    const uint32_t bpl = BytesPerLine(width);
    width_ = width;
    bytesPerLine_ = bpl;
    for (uint32_t sheet = 1; sheet <= sheets; ++sheet) {
      std::vector<std::deque<Chunk>> sides;
      auto sideChunks = [&](LONG side) {
        std::deque<Chunk> pieces;
        if (choice_.jpeg) {
          const auto size = static_cast<size_t>(script.Number("jpeg-bytes", 700) + sheet + side);
          std::vector<uint8_t> stream(size);
          for (size_t i = 0; i < size; ++i) stream[i] = engine::PatternByte(sheet, side, 0, i + 6);
          stream[0] = 0xFF, stream[1] = 0xD8, stream[size - 2] = 0xFF, stream[size - 1] = 0xD9;
          for (size_t at = 0; at < size; at += 256) {
            Chunk c{sheet, side, 0, lines, {}, 1, false};
            c.bytes.assign(stream.begin() + at, stream.begin() + std::min(size, at + 256));
            pieces.push_back(std::move(c));
          }
        } else {
          for (uint32_t at = 0; at < lines; at += chunkLines) {
            Chunk c{sheet, side, at, std::min(chunkLines, lines - at), {}, 1, false};
            for (uint32_t l = at; l < at + c.lines; ++l) {
              const std::vector<uint8_t> line = engine::PatternLine(sheet, static_cast<uint32_t>(side), l, bpl);
              c.bytes.insert(c.bytes.end(), line.begin(), line.end());
            }
            pieces.push_back(std::move(c));
          }
        }
        pieces.back().endsSide = true;
        return pieces;
      };
      if (both) {
        // Groups of 16 lines, front first, as one side "Both" of twice the lines.
        std::deque<Chunk> pieces;
        for (uint32_t at = 0; at < lines; at += kGroupLines) {
          Chunk c{sheet, 2, 2 * at, 0, {}, 1, false};
          for (LONG side = 0; side < 2; ++side) {
            for (uint32_t l = at; l < std::min(lines, at + kGroupLines); ++l) {
              const std::vector<uint8_t> line = engine::PatternLine(sheet, static_cast<uint32_t>(side), l, bpl);
              c.bytes.insert(c.bytes.end(), line.begin(), line.end());
              ++c.lines;
            }
          }
          pieces.push_back(std::move(c));
        }
        pieces.back().endsSide = true;
        sides.push_back(std::move(pieces));
      } else {
        if (choice_.front) sides.push_back(sideChunks(0));
        if (choice_.back) sides.push_back(sideChunks(1));
      }
      // Alternate between the sides while both have data.
      std::vector<Chunk> page;
      for (size_t turn = 0; !std::all_of(sides.begin(), sides.end(), [](auto& s) { return s.empty(); }); ++turn) {
        auto& from = sides[turn % sides.size()];
        if (from.empty()) continue;
        page.push_back(std::move(from.front()));
        from.pop_front();
        if (page.back().endsSide) {
          const bool otherLeft = std::any_of(sides.begin(), sides.end(), [](auto& s) { return !s.empty(); });
          page.back().boundary = otherLeft ? 2 : (sheet == sheets ? 6 : 3);
        }
      }
      for (Chunk& c : page) chunks_.push_back(std::move(c));
    }
  }

  std::u16string PageDocument(const Chunk& c) const {
    static const char16_t* kSides[] = {u"Front", u"Back", u"Both"};
    const bool duplex = choice_.front && choice_.back;
    const int bits = std::u16string_view(choice_.kind) == u"Color" ? 24 : std::u16string_view(choice_.kind) == u"Gray" ? 8 : 1;
    return FormatW(
        u"<Result><Address><Page>%u</Page><Image>1</Image><Side>%s</Side><ScanMode>%s</ScanMode>"
        u"<LineOffset>%u</LineOffset><NumberOfLines>%u</NumberOfLines><LinesPerSide>%u</LinesPerSide>"
        u"<SideOrder>0</SideOrder><ImageFromTheStream>0</ImageFromTheStream></Address>"
        u"<Format><Pixels>%s</Pixels><Interleave>Pixel</Interleave><Alignment>1</Alignment>"
        u"<Compression>%s</Compression><LineOrder>TopDown</LineOrder><PixelOrder>LeftRight</PixelOrder>"
        u"<PixelGender>BlackIsZero</PixelGender><BitOrder>MSBFirst</BitOrder><BytesPerLine>%u</BytesPerLine>"
        u"<BitsPerPixel>%d</BitsPerPixel></Format><ImageDimensions><Top>0</Top><Left>0</Left><Width>%u</Width>"
        u"<Length>%u</Length></ImageDimensions><Resolutions><X>%d</X><Y>%d</Y></Resolutions></Result>",
        c.sheet, kSides[c.side], duplex ? u"Duplex" : u"Simplex", c.lineOffset, c.lines, kGroupLines,
        bits == 24 ? u"RGB" : u"SingleChannel", choice_.jpeg ? u"JPG" : u"None", bytesPerLine_, bits, width_,
        c.side == 2 ? (c.lineOffset + c.lines) / 2 : c.lineOffset + c.lines, choice_.dpi, choice_.dpi);
  }

  static void Describe(IRasterBlockDescriptor* d, const Chunk& c, const Choice& choice, uint32_t bpl, uint32_t width,
                       LONG linesInBlock) {
    d->put_Compression(choice.jpeg ? 1 : 0);
    d->put_Pixels(std::u16string_view(choice.kind) == u"Color" ? 0 : 2);
    d->put_PixelGender(0);
    d->put_Side(c.side);
    d->put_LinesPerSide(static_cast<LONG>(kGroupLines));
    d->put_SideOrder(0);
    d->put_BytesPerLine(static_cast<LONG>(bpl));
    d->put_Page(static_cast<LONG>(c.sheet));
    d->put_Width(static_cast<LONG>(width));
    d->put_Length(static_cast<LONG>(c.lineOffset + c.lines));
    d->put_XResolution(choice.dpi);
    d->put_YResolution(choice.dpi);
    d->put_BitsPerPixel(std::u16string_view(choice.kind) == u"Color" ? 24 : std::u16string_view(choice.kind) == u"Gray" ? 8 : 1);
    d->put_NumberOfLines(linesInBlock);
  }

  void WriteRecord(const ScanScript& script, BSTR metaName, const std::u16string& operation) {
    if (BstrView(metaName) == u"None" || script.Text("meta", "record") == "skip") return;
    ComPtr<IVBuffer> meta;
    if (FAILED(CoCreateInstance(CLSID_VBuffer, nullptr, kContext, IID_IVBuffer, meta.OutVoid()))) return;
    if (FAILED(meta->Open(metaName))) return;
    const std::string form = script.Text("meta", "record");
    const uint64_t background = static_cast<uint64_t>(script.Number("background", 0));
    const uint64_t textSize = 2 * operation.size() + 2;
    uint64_t fields[5] = {40, textSize, 40 + textSize, background, choice_.front && choice_.back ? 2u : choice_.back ? 1u : 0u};
    if (form == "bad-kind") fields[4] = 3;
    if (form == "bad-offset") fields[0] = 1ull << 40;
    if (form == "past-end") fields[3] = 1ull << 30;
    if (form == "unterminated") fields[1] = 2 * operation.size();
    void* view = nullptr;
    if (FAILED(meta->Map(0, 40 + textSize + background, &view))) return;
    auto* bytes = static_cast<uint8_t*>(view);
    std::memcpy(bytes, fields, sizeof fields);
    std::memcpy(bytes + 40, operation.c_str(), textSize);
    if (form == "unterminated") std::memset(bytes + 40 + textSize - 2, 'x', 2);
    std::memset(bytes + 40 + textSize, 0xF0, background);
    meta->Unmap(view);
  }

  HRESULT ReadBlocks(const ScanScript& script, BSTR rasterName, BSTR metaName, LONG level) {
    if (level < 1 || level > 6) return MakeHr(0xE0010007);
    std::lock_guard guard(lock_);
    if (!started_) {
      PlanScan(script);
      started_ = true;
      sheetsStarted_ = 0;
    }
    ComPtr<IVBuffer> raster;
    ComPtr<IRasterBlocks> blocks;
    ComPtr<IRasterBlockDescriptor> own;
    ComPtr<IRasterBlockDescriptor> work;
    if (HRESULT hr = CoCreateInstance(CLSID_VBuffer, nullptr, kContext, IID_IVBuffer, raster.OutVoid()); FAILED(hr)) return hr;
    if (HRESULT hr = raster->Open(rasterName); FAILED(hr)) return hr;
    if (HRESULT hr = CoCreateInstance(CLSID_RasterBlocks, nullptr, kContext, IID_IRasterBlocks, blocks.OutVoid()); FAILED(hr)) return hr;
    if (HRESULT hr = blocks->Attach(raster.Get()); FAILED(hr)) return hr;
    CoCreateInstance(CLSID_RasterBlockDescriptor, nullptr, kContext, IID_IRasterBlockDescriptor, work.OutVoid());
    blocks.As(IID_IRasterBlockDescriptor, &own);
    if (HRESULT hr = blocks->Begin(); FAILED(hr)) return hr;
    ULONGLONG blockSize = 0;
    blocks->BlockSize(&blockSize);
    std::u16string operation = u"<Operation>";
    HRESULT result = S_OK;
    uint64_t fill = 0;
    LONG linesInBlock = 0;
    LONG reached = 0;
    const bool duplex = choice_.front && choice_.back;
    while (!chunks_.empty()) {
      Chunk& c = chunks_.front();
      if (c.sheet > sheetsStarted_) {
        sheetsStarted_ = c.sheet;
        if (script.Number("fail-sheet", 0) == c.sheet) {
          own->SetError(static_cast<LONG>(script.Number("fail-code", 2)));
          own->SetBoundary(6);
          blocks->SetBoundary(6);
          chunks_.clear();
          result = E_FAIL;
          break;
        }
      }
      const uint64_t unit = choice_.jpeg ? 1 : bytesPerLine_;
      if (blockSize < unit) {  // not one line fits a block
        result = E_OUTOFMEMORY;
        break;
      }
      // A duplex read goes into a block of its own; otherwise a block takes reads while a line fits.
      if ((duplex && c.side != 2 && fill != 0) || blockSize - fill < std::min<uint64_t>(unit, c.bytes.size())) {
        const HRESULT next = blocks->NextBlock();
        if (next == S_FALSE) break;
        if (FAILED(next)) {
          result = next;
          break;
        }
        fill = 0;
        linesInBlock = 0;
      }
      if (script.Number("die-sheet", 0) == c.sheet) {
        void* region = nullptr;
        blocks->MapRegion(fill, 1, &region);
        std::_Exit(9);  // the service ends in the middle of a page
      }
      const uint64_t take = std::min<uint64_t>(c.bytes.size(), (blockSize - fill) / unit * unit);
      void* region = nullptr;
      if (FAILED(blocks->MapRegion(fill, take, &region)) || region == nullptr) {
        result = E_OUTOFMEMORY;
        break;
      }
      std::memcpy(region, c.bytes.data(), take);
      blocks->UnmapRegion(region);
      fill += take;
      blocks->SetFill(fill);
      const bool whole = take == c.bytes.size();
      Chunk part = c;
      if (!choice_.jpeg) {
        part.lines = static_cast<uint32_t>(take / bytesPerLine_);
        c.lineOffset += part.lines;
        c.lines -= part.lines;
      }
      part.bytes.resize(take);
      part.boundary = whole ? c.boundary : 1;
      c.bytes.erase(c.bytes.begin(), c.bytes.begin() + static_cast<ptrdiff_t>(take));
      linesInBlock += static_cast<LONG>(part.lines);
      operation += PageDocument(part);
      if (work) {
        Describe(work.Get(), part, choice_, bytesPerLine_, width_, linesInBlock);
        own->CopyFrom(work.Get());
      }
      reached = part.boundary;
      own->SetBoundary(reached);
      blocks->SetBoundary(reached);
      if (whole) chunks_.pop_front();
      if (reached >= level) break;
    }
    if (chunks_.empty()) started_ = false;
    operation += u"</Operation>";
    WriteRecord(script, metaName, operation);
    return result;
  }

  std::mutex lock_;
  int64_t pidFailures_ = 0;
  std::u16string settings_;
  Choice choice_;
  std::deque<Chunk> chunks_;
  bool started_ = false;
  uint32_t sheetsStarted_ = 0;
  uint32_t width_ = 0;
  uint32_t bytesPerLine_ = 0;
};

}  // namespace

HRESULT CreateScriptedScanHal(IUnknown* outer, const IID& iid, void** object) {
  return CreateComObject<ScriptedScanHal>(outer, iid, object);
}

}  // namespace rzd::test
