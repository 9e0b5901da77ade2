// The scripted data source: every triplet is answered, counted against the script and logged.
#include "data_source.h"

#include "platform/messages.h"
#include "platform/process.h"
#include "platform/root.h"
#include "twainds/script.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace rzd::twainds {

namespace {

void CopyText(char* field, size_t size, const char* text) {
  std::memset(field, 0, size);
  std::strncpy(field, text, size - 1);
}

TW_FIX32 ToFix32(double value) {
  const auto raw = static_cast<int64_t>(std::llround(value * 65536.0));
  return TW_FIX32{static_cast<TW_INT16>(raw >> 16), static_cast<TW_UINT16>(raw & 0xFFFF)};
}

double FromFix32(TW_FIX32 value) { return value.Whole + value.Frac / 65536.0; }

// Ends with the library: the announcer thread, the only other writer, is joined before.
std::mutex& LogMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  return text;
}

}  // namespace

void AppendLog(const std::string& line) {
  std::lock_guard lock(LogMutex());
  CreatePrivateFolders(DataFolder());
  EnsurePrivateFile(LogPath());
  std::ofstream file(LogPath(), std::ios::app);
  file << line << '\n';
}

DataSource& DataSource::Instance() {
  static DataSource source;
  return source;
}

DataSource::~DataSource() { StopAnnouncer(); }

TW_UINT16 DataSource::Entry(TW_IDENTITY* origin, TW_UINT32 dataGroup, TW_UINT16 dat, TW_UINT16 message,
                            TW_MEMREF data) {
  std::unique_lock lock(mutex_);
  // Each session begins by asking for the identity: the script is read anew then.
  if (origin == nullptr && dataGroup == DG_CONTROL && dat == DAT_IDENTITY && message == MSG_DS_GETIDENTITY) {
    script_ = LoadScript();
    counts_.clear();
  }
  std::string numbers = TripletNumbers(dataGroup, dat, message);
  std::string name = TripletName(dataGroup, dat, message);
  if (dataGroup == DG_CONTROL && dat == DAT_CAPABILITY && data != nullptr) {
    numbers = CapabilityTripletNumbers(message, static_cast<TW_CAPABILITY*>(data)->Cap);
    name = CapabilityTripletName(message, static_cast<TW_CAPABILITY*>(data)->Cap);
  }
  const std::string triplet = numbers + " " + name;
  const int count = ++counts_[numbers];
  const std::optional<FailRule> rule = FindRule(script_, numbers, count);

  Answer answer;
  if (rule && rule->raise) {
    AppendLog(triplet + " rc=1 cc=1 throw");
    throw std::runtime_error("scripted failure in " + name);
  }
  if (rule && (rule->rc == TWRC_FAILURE || rule->rc == TWRC_CANCEL)) {
    answer = Answer{rule->rc, rule->cc, "scripted"};
  } else {
    answer = Dispatch(origin, dataGroup, dat, message, data);
    if (rule && answer.rc == TWRC_SUCCESS) answer = Answer{rule->rc, rule->cc, answer.detail + " scripted"};
  }
  if (!(dataGroup == DG_CONTROL && dat == DAT_STATUS)) condition_ = answer.cc;
  AppendLog(triplet + Format(" rc=%u cc=%u", answer.rc, answer.cc) + (answer.detail.empty() ? "" : " " + answer.detail));

  const bool announce = dataGroup == DG_CONTROL && dat == DAT_USERINTERFACE && message == MSG_ENABLEDS &&
                        (answer.rc == TWRC_SUCCESS || answer.rc == TWRC_CHECKSTATUS);
  if (announce) Announce();
  return answer.rc;
}

DataSource::Answer DataSource::Dispatch(TW_IDENTITY* origin, TW_UINT32 dataGroup, TW_UINT16 dat, TW_UINT16 message,
                                        TW_MEMREF data) {
  if (data == nullptr && !(dat == DAT_USERINTERFACE && message >= MSG_DS_USER2)) return Fail(TWCC_BADVALUE);
  if (dataGroup == DG_CONTROL) {
    switch (dat) {
      case DAT_IDENTITY: return Identity(origin, message, data);
      case DAT_ENTRYPOINT: {
        auto* entry = static_cast<TW_ENTRYPOINT*>(data);
        if (message != MSG_SET || entry->Size != sizeof(TW_ENTRYPOINT)) return Fail(TWCC_BADVALUE);
        dsm_ = entry->DSM_Entry;
        memory_ = Memory{entry->DSM_MemAllocate, entry->DSM_MemFree, entry->DSM_MemLock, entry->DSM_MemUnlock};
        return Answer{TWRC_SUCCESS, TWCC_SUCCESS, Format("size=%u", entry->Size)};
      }
      case DAT_STATUS: {
        if (message != MSG_GET) return Fail(TWCC_BADVALUE);
        auto* status = static_cast<TW_STATUS*>(data);
        *status = TW_STATUS{condition_, 0};
        return Answer{TWRC_SUCCESS, TWCC_SUCCESS, Format("condition=%u", condition_)};
      }
      case DAT_CAPABILITY: return Capability(message, static_cast<TW_CAPABILITY*>(data));
      case DAT_USERINTERFACE: return UserInterface(message, data);
      case DAT_EVENT:
        if (message != MSG_PROCESSEVENT) return Fail(TWCC_BADVALUE);
        return ProcessEvent(static_cast<TW_EVENT*>(data));
      case DAT_PENDINGXFERS: return PendingTransfers(message, static_cast<TW_PENDINGXFERS*>(data));
      case DAT_SETUPMEMXFER: {
        if (state_ < 4) return Fail(TWCC_SEQERROR);
        const uint32_t row = std::max<uint32_t>(1, NextGeometry().BytesPerRow());
        *static_cast<TW_SETUPMEMXFER*>(data) = TW_SETUPMEMXFER{row, 1u << 20, std::max<uint32_t>(row, 65536 / row * row)};
        return Answer{};
      }
      case DAT_CUSTOMDSDATA: {
        if (message != MSG_SET || state_ != 4) return Fail(TWCC_SEQERROR);
        return CustomData(static_cast<TW_CUSTOMDSDATA*>(data));
      }
      default: return Fail(TWCC_BUMMER);
    }
  }
  if (dataGroup == DG_IMAGE) {
    switch (dat) {
      case DAT_IMAGELAYOUT: return ImageLayout(message, static_cast<TW_IMAGELAYOUT*>(data));
      case DAT_IMAGEINFO: return ImageInfo(static_cast<TW_IMAGEINFO*>(data));
      case DAT_IMAGEMEMXFER: return MemoryTransfer(static_cast<TW_IMAGEMEMXFER*>(data));
      case DAT_EXTIMAGEINFO_DS: return ExtImageInfo(static_cast<TW_EXTIMAGEINFO*>(data));
      case DAT_GRAYRESPONSE:
      case DAT_RGBRESPONSE: {
        if (message != MSG_SET || state_ != 4) return Fail(TWCC_SEQERROR);
        const TW_ELEMENT8& first = static_cast<TW_RESPONSETABLE*>(data)->Response[0];
        const TW_ELEMENT8& last = static_cast<TW_RESPONSETABLE*>(data)->Response[255];
        return Answer{TWRC_SUCCESS, TWCC_SUCCESS,
                      Format("first=%u,%u,%u,%u last=%u,%u,%u,%u", first.Index, first.Channel1, first.Channel2,
                             first.Channel3, last.Index, last.Channel1, last.Channel2, last.Channel3)};
      }
      default: return Fail(TWCC_BUMMER);
    }
  }
  return Fail(TWCC_BUMMER);
}

DataSource::Answer DataSource::Identity(TW_IDENTITY* origin, TW_UINT16 message, TW_MEMREF data) {
  auto* identity = static_cast<TW_IDENTITY*>(data);
  switch (message) {
    case MSG_DS_GETIDENTITY: {
      TW_IDENTITY own{};
      own.Version = TW_VERSION{1, 0, TWLG_USA, TWCY_USA, {}};
      CopyText(own.Version.Info, sizeof(own.Version.Info), "1.0 M48tz");
      own.ProtocolMajor = 2;
      own.ProtocolMinor = 2;
      own.SupportedGroups = DG_CONTROL | DG_IMAGE | (script_.noDs2 ? 0 : DF_DS2);
      CopyText(own.Manufacturer, sizeof(own.Manufacturer), "Corvanite");
      CopyText(own.ProductFamily, sizeof(own.ProductFamily), "M48tz");
      CopyText(own.ProductName, sizeof(own.ProductName), "M48tz Scanner");
      *identity = own;
      return Answer{};
    }
    case MSG_OPENDS:
      if (state_ != 3) return Fail(TWCC_MAXCONNECTIONS);
      if (origin == nullptr || !memory_.Ready() || dsm_ == nullptr) return Fail(TWCC_BUMMER);
      OpenConnection(*origin, identity->Id);
      return Answer{TWRC_SUCCESS, TWCC_SUCCESS, Format("id=%u", identity->Id)};
    case MSG_CLOSEDS:
      if (state_ < 4) return Fail(TWCC_SEQERROR);
      StopAnnouncer();
      state_ = 3;
      return Answer{};
    default: return Fail(TWCC_BADVALUE);
  }
}

void DataSource::OpenConnection(const TW_IDENTITY& application, TW_UINT32 ownId) {
  application_ = application;
  self_.Id = ownId;
  state_ = 4;
  capabilities_.Reset(script_);
  frame_ = script_.frame;
  sheetsLeft_ = std::max(0, script_.sheets);
  sheetNumber_ = 0;
  imageActive_ = false;
}

DataSource::Answer DataSource::Capability(TW_UINT16 message, TW_CAPABILITY* capability) {
  if (state_ < 4) return Fail(TWCC_SEQERROR);
  const TW_UINT16 id = capability->Cap;
  if (script_.unsupported.count(id) != 0) return Fail(TWCC_CAPUNSUPPORTED);
  switch (message) {
    case MSG_GET:
    case MSG_GETCURRENT:
    case MSG_GETDEFAULT: {
      if (auto broken = script_.broken.find(id); broken != script_.broken.end()) {
        TW_UINT16 conType = 0;
        std::optional<TW_HANDLE> handle = BrokenContainer(broken->second, memory_, &conType);
        if (handle) {
          capability->ConType = conType;
          capability->hContainer = *handle;
          return Answer{TWRC_SUCCESS, TWCC_SUCCESS, "broken=" + broken->second};
        }
      }
      if (CapabilityEntry* loaded = capabilities_.Find(CAP_FEEDERLOADED)) loaded->current = sheetsLeft_ > 0 ? 1 : 0;
      if (CapabilityEntry* camera = capabilities_.Find(CAP_CAMERAENABLED)) {
        camera->current = script_.cameraEnabled.count(capabilities_.CurrentText(kCapDsSourceName)) != 0 ? 1 : 0;
      }
      const TW_UINT16 cc = capabilities_.Answer(id, message, memory_, capability);
      return cc == TWCC_SUCCESS ? Answer{} : Fail(cc);
    }
    case MSG_SET: {
      if (state_ != 4) return Fail(TWCC_SEQERROR);
      std::string detail;
      const TW_UINT16 cc = capabilities_.Set(*capability, memory_, &detail);
      return cc == TWCC_SUCCESS ? Answer{TWRC_SUCCESS, TWCC_SUCCESS, detail} : Answer{TWRC_FAILURE, cc, detail};
    }
    case MSG_RESET: {
      if (state_ != 4) return Fail(TWCC_SEQERROR);
      TW_UINT16 cc = capabilities_.ResetOne(id);
      if (cc == TWCC_SUCCESS) cc = capabilities_.Answer(id, MSG_GETCURRENT, memory_, capability);
      return cc == TWCC_SUCCESS ? Answer{} : Fail(cc);
    }
    default: return Fail(TWCC_BADVALUE);
  }
}

ImageGeometry DataSource::NextGeometry() const {
  ImageGeometry geometry;
  geometry.pixelType = static_cast<TW_UINT16>(capabilities_.Current(ICAP_PIXELTYPE));
  geometry.bitsPerPixel = script_.bitDepth > 0 ? static_cast<uint32_t>(script_.bitDepth)
                          : geometry.pixelType == TWPT_BW  ? 1
                          : geometry.pixelType == TWPT_GRAY ? 8
                                                            : 24;
  geometry.compression = static_cast<TW_UINT16>(capabilities_.Current(ICAP_COMPRESSION));
  geometry.xResolution = capabilities_.Current(ICAP_XRESOLUTION);
  geometry.yResolution = capabilities_.Current(ICAP_YRESOLUTION);
  geometry.jpegQuality = static_cast<int>(capabilities_.Current(ICAP_JPEGQUALITY));
  const double width = std::llround((frame_[2] - frame_[0]) * geometry.xResolution);
  const double lines = std::llround((frame_[3] - frame_[1]) * geometry.yResolution);
  geometry.width = width < 1 || width > kMaxImageWidth ? 0 : static_cast<uint32_t>(width);
  geometry.lines = lines < 1 || lines > kMaxImageLines ? 0 : static_cast<uint32_t>(lines);
  return geometry;
}

// The next side: the back of the sheet in the feeder path, or the front of the next sheet.
bool DataSource::StartSheetImage() {
  ImageGeometry geometry = NextGeometry();
  if (geometry.width == 0 || geometry.lines == 0) return false;
  const bool duplex = capabilities_.Current(CAP_DUPLEXENABLED) != 0;
  uint32_t side = 0;
  if (imageActive_ && duplex && image_.Side() == 0) {
    side = 1;
  } else {
    if (sheetsLeft_ == 0) return false;
    --sheetsLeft_;
    ++sheetNumber_;
  }
  imageActive_ = image_.Start(geometry, sheetNumber_, side);
  return imageActive_;
}

uint32_t DataSource::PendingImages() const {
  if (!imageActive_) return 0;
  const uint32_t sides = capabilities_.Current(CAP_DUPLEXENABLED) != 0 ? 2 : 1;
  return (sides - image_.Side()) + static_cast<uint32_t>(sheetsLeft_) * sides;
}

// The application's settings block: InfoLength bytes in the global memory of hData.
DataSource::Answer DataSource::CustomData(const TW_CUSTOMDSDATA* custom) {
  const TW_UINT32 length = custom->InfoLength;
  const TW_HANDLE handle = custom->hData;
  const auto* bytes = static_cast<const char*>(memory_.lock(handle));
  if (bytes == nullptr) return Answer{TWRC_FAILURE, TWCC_BADVALUE, Format("length=%u data=unreadable", length)};
  std::string text(bytes, strnlen(bytes, length));
  memory_.unlock(handle);
  return Answer{TWRC_SUCCESS, TWCC_SUCCESS, Format("length=%u data=", length) + text};
}

DataSource::Answer DataSource::UserInterface(TW_UINT16 message, TW_MEMREF data) {
  switch (message) {
    case MSG_ENABLEDS:
      if (state_ != 4) return Fail(TWCC_SEQERROR);
      if (capabilities_.Current(CAP_FEEDERENABLED) != 0 && sheetsLeft_ == 0 && !imageActive_) return Fail(TWCC_NOMEDIA);
      StopAnnouncer();
      if (!imageActive_ && !StartSheetImage()) return Fail(TWCC_BADVALUE);
      applicationThread_ = CurrentThreadId();
      state_ = 5;
      return Answer{TWRC_SUCCESS, TWCC_SUCCESS, Format("sheet=%u side=%u", sheetNumber_, image_.Side())};
    case MSG_DISABLEDS:
      if (state_ < 5) return Fail(TWCC_SEQERROR);
      StopAnnouncer();
      state_ = 4;
      return Answer{};
    case MSG_DS_USER2:
    case MSG_DS_USER3:
    case MSG_DS_NETWAIT:
      if (state_ < 4) return Fail(TWCC_SEQERROR);
      // The application's pointer, as it arrived.
      return Answer{TWRC_SUCCESS, TWCC_SUCCESS,
                    Format("data=0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(data)))};
    default: return Fail(TWCC_BADVALUE);
  }
}

void DataSource::Announce() {
  const TW_UINT16 announced = script_.announce;
  switch (script_.signal) {
    case Signal::Message:
      PostThreadMessage(applicationThread_, kDsEventMessage, kDsEventMagic, announced);
      return;
    case Signal::Callback:
    case Signal::Invoke: {
      // From a thread of the source's own, with copies of what the call needs.
      DSMENTRYPROC dsm = dsm_;
      TW_IDENTITY self = self_;
      TW_IDENTITY application = application_;
      const bool invoke = script_.signal == Signal::Invoke;
      announcer_ = std::thread([=]() mutable {
        TW_UINT16 rc;
        if (invoke) {
          TW_CALLBACK callback{};
          callback.Message = static_cast<TW_INT16>(announced);
          rc = dsm(&self, &application, DG_CONTROL, DAT_CALLBACK, MSG_INVOKE_CALLBACK, &callback);
          AppendLog("callback " + TripletNumbers(DG_CONTROL, DAT_CALLBACK, MSG_INVOKE_CALLBACK) + " " +
                    TripletName(DG_CONTROL, DAT_CALLBACK, MSG_INVOKE_CALLBACK) + Format(" rc=%u", rc) + " " +
                    TripletNumbers(DG_CONTROL, DAT_NULL, announced));
        } else {
          rc = dsm(&self, &application, DG_CONTROL, DAT_NULL, announced, nullptr);
          AppendLog("callback " + TripletNumbers(DG_CONTROL, DAT_NULL, announced) + " " +
                    TripletName(DG_CONTROL, DAT_NULL, announced) + Format(" rc=%u", rc));
        }
      });
      return;
    }
    case Signal::None: return;
  }
}

void DataSource::StopAnnouncer() {
  if (announcer_.joinable()) announcer_.join();
}

DataSource::Answer DataSource::ProcessEvent(TW_EVENT* event) {
  auto* message = static_cast<const ThreadMessage*>(event->pEvent);
  if (state_ < 5 || message == nullptr || message->id != kDsEventMessage || message->wparam != kDsEventMagic) {
    event->TWMessage = MSG_NULL;
    return Answer{TWRC_NOTDSEVENT, TWCC_SUCCESS, {}};
  }
  event->TWMessage = static_cast<TW_UINT16>(message->lparam);
  if (event->TWMessage == MSG_XFERREADY) state_ = 6;
  return Answer{TWRC_DSEVENT, TWCC_SUCCESS, "message=" + TripletName(DG_CONTROL, DAT_NULL, event->TWMessage)};
}

DataSource::Answer DataSource::PendingTransfers(TW_UINT16 message, TW_PENDINGXFERS* pending) {
  switch (message) {
    case MSG_ENDXFER: {
      if (state_ < 6) return Fail(TWCC_SEQERROR);
      imageActive_ = imageActive_ && StartSheetImage();
      pending->Count = static_cast<TW_UINT16>(PendingImages());
      pending->Extra = 0;
      state_ = pending->Count != 0 ? 6 : 5;
      return Answer{TWRC_SUCCESS, TWCC_SUCCESS, Format("count=%u", pending->Count)};
    }
    case MSG_RESET:
      if (state_ < 5) return Fail(TWCC_SEQERROR);
      imageActive_ = false;  // the sheet in the path is ejected; the others stay in the feeder
      pending->Count = 0;
      state_ = 5;
      return Answer{TWRC_SUCCESS, TWCC_SUCCESS, "count=0"};
    default: return Fail(TWCC_BADVALUE);
  }
}

DataSource::Answer DataSource::ImageLayout(TW_UINT16 message, TW_IMAGELAYOUT* layout) {
  if (state_ < 4) return Fail(TWCC_SEQERROR);
  const TW_UINT16 unit = capabilities_.Unit();
  auto toUnit = [&](double inches) { return ToFix32(ToUnit(inches, Conversion::Length, unit)); };
  switch (message) {
    case MSG_SET: {
      if (state_ != 4) return Fail(TWCC_SEQERROR);
      const TW_FRAME& f = layout->Frame;
      const double edges[4] = {FromFix32(f.Left), FromFix32(f.Top), FromFix32(f.Right), FromFix32(f.Bottom)};
      const std::string detail = Format("frame=%.2f,%.2f,%.2f,%.2f", edges[0], edges[1], edges[2], edges[3]);
      std::array<double, 4> inches{};
      for (int i = 0; i < 4; ++i) inches[i] = FromUnit(edges[i], Conversion::Length, unit);
      if (inches[0] < 0 || inches[1] < 0 || inches[2] <= inches[0] || inches[3] <= inches[1]) {
        return Answer{TWRC_FAILURE, TWCC_BADVALUE, detail};
      }
      frame_ = inches;
      return Answer{TWRC_SUCCESS, TWCC_SUCCESS, detail};
    }
    case MSG_RESET: frame_ = script_.frame; [[fallthrough]];
    case MSG_GET:
    case MSG_GETCURRENT:
    case MSG_GETDEFAULT: {
      const std::array<double, 4>& edges = message == MSG_GETDEFAULT ? script_.frame : frame_;
      layout->Frame = TW_FRAME{toUnit(edges[0]), toUnit(edges[1]), toUnit(edges[2]), toUnit(edges[3])};
      layout->DocumentNumber = 1;
      layout->PageNumber = sheetNumber_ == 0 ? 1 : sheetNumber_;
      layout->FrameNumber = 1;
      return Answer{};
    }
    default: return Fail(TWCC_BADVALUE);
  }
}

DataSource::Answer DataSource::ImageInfo(TW_IMAGEINFO* info) {
  if (state_ < 6 || !imageActive_) return Fail(TWCC_SEQERROR);
  const ImageGeometry& g = image_.Geometry();
  std::memset(static_cast<void*>(info), 0, sizeof(*info));
  info->XResolution = ToFix32(g.xResolution);
  info->YResolution = ToFix32(g.yResolution);
  info->ImageWidth = script_.reportedWidth >= 0 ? static_cast<TW_INT32>(script_.reportedWidth) : static_cast<TW_INT32>(g.width);
  info->ImageLength =
      script_.reportedLength >= 0 ? static_cast<TW_INT32>(script_.reportedLength) : static_cast<TW_INT32>(g.lines);
  info->SamplesPerPixel = g.pixelType == TWPT_RGB ? 3 : 1;
  for (int i = 0; i < info->SamplesPerPixel; ++i) {
    info->BitsPerSample[i] = static_cast<TW_INT16>(g.bitsPerPixel / info->SamplesPerPixel);
  }
  info->BitsPerPixel = static_cast<TW_INT16>(g.bitsPerPixel);
  info->Planar = TW_FALSE;
  info->PixelType = static_cast<TW_INT16>(g.pixelType);
  info->Compression = g.compression;
  return Answer{TWRC_SUCCESS, TWCC_SUCCESS,
                Format("sheet=%u side=%u width=%u lines=%u bits=%u", image_.Sheet(), image_.Side(), g.width, g.lines,
                       g.bitsPerPixel)};
}

DataSource::Answer DataSource::MemoryTransfer(TW_IMAGEMEMXFER* transfer) {
  if (state_ < 6 || !imageActive_ || image_.Done()) return Fail(TWCC_SEQERROR);
  if (capabilities_.Current(ICAP_XFERMECH) != TWSX_MEMORY) return Fail(TWCC_SEQERROR);
  const TW_MEMORY memory = transfer->Memory;
  if ((memory.Flags & (TWMF_APPOWNS | TWMF_POINTER)) != (TWMF_APPOWNS | TWMF_POINTER) || memory.TheMem == nullptr) {
    return Fail(TWCC_BADVALUE);
  }
  uint32_t rows = 0, bytes = 0, firstRow = 0;
  if (!image_.Deliver(static_cast<uint8_t*>(memory.TheMem), memory.Length, &rows, &bytes, &firstRow)) {
    return Fail(TWCC_BADVALUE);
  }
  const ImageGeometry& g = image_.Geometry();
  transfer->Compression = g.compression;
  transfer->BytesPerRow = g.compression == TWCP_JPEG ? 0 : g.BytesPerRow();
  transfer->Columns = g.width;
  transfer->Rows = rows;
  transfer->XOffset = 0;
  transfer->YOffset = firstRow;
  transfer->BytesWritten = bytes + script_.claimExtraBytes;
  state_ = 7;
  return Answer{image_.Done() ? TWRC_XFERDONE : TWRC_SUCCESS, TWCC_SUCCESS, Format("rows=%u bytes=%u", rows, bytes)};
}

DataSource::Answer DataSource::ExtImageInfo(TW_EXTIMAGEINFO* record) {
  if (state_ < 6 || !imageActive_) return Fail(TWCC_SEQERROR);
  if (record->NumInfos > 100) return Fail(TWCC_BADVALUE);
  uint32_t handles = 0;
  for (TW_UINT32 i = 0; i < record->NumInfos; ++i) {
    TW_INFO& info = record->Info[i];
    info.NumItems = 1;
    info.ReturnCode = TWRC_SUCCESS;
    if (script_.unavailableInfo.count(info.InfoID) != 0) {
      info.ItemType = TWTY_UINT32;
      info.ReturnCode = TWRC_DATANOTAVAILABLE;
      info.Item = 0xBAD0BAD;  // nothing the application may use
      continue;
    }
    switch (info.InfoID) {
      case TWEI_PAGENUMBER: info.ItemType = TWTY_UINT32; info.Item = image_.Sheet(); break;
      case TWEI_PAGESIDE:
        info.ItemType = TWTY_UINT16;
        info.Item = image_.Side() == 0 ? TWCS_TOP : TWCS_BOTTOM;
        break;
      case TWEI_PRINTERTEXT:
        if (!script_.printerText.empty()) {
          // A text does not fit in Item: a handle of the source's global memory, the
          // application's to free.
          const size_t field = TwainItemSize(TWTY_STR255);
          TW_HANDLE handle = memory_.allocate(static_cast<TW_UINT32>(field));
          auto* text = static_cast<char*>(handle == nullptr ? nullptr : memory_.lock(handle));
          if (text != nullptr) {
            std::memset(text, 0, field);
            std::memcpy(text, script_.printerText.data(), std::min(script_.printerText.size(), field - 1));
            memory_.unlock(handle);
            info.ItemType = TWTY_STR255;
            info.Item = reinterpret_cast<TW_UINTPTR>(handle);
            ++handles;
            break;
          }
          if (handle != nullptr) memory_.free(handle);
        }
        [[fallthrough]];
      default:
        info.NumItems = 0;
        info.ReturnCode = TWRC_INFONOTSUPPORTED;
        info.Item = 0;
        break;
    }
  }
  return Answer{TWRC_SUCCESS, TWCC_SUCCESS, Format("infos=%u handles=%u", record->NumInfos, handles)};
}

}  // namespace rzd::twainds
