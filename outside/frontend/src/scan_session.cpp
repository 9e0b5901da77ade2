#include "scan_session.h"

#include "block_consumer.h"
#include "fault_text.h"
#include "image_files.h"
#include "settings_choice.h"
#include "unit_list.h"

#include "foundation/xml_store.h"
#include "interfaces/rzd_module.h"
#include "interfaces/rzdhal_codes.h"
#include "interfaces/rzdhal.h"
#include "interfaces/rzdhal_unit.h"
#include "nethal/bridge.h"
#include "platform/com.h"
#include "platform/process.h"
#include "platform/text.h"
#include "rasterblocks/block_reader.h"

#include <unistd.h>

#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <optional>

namespace rzd::frontend {

namespace {

constexpr DWORD kLockTimeoutMs = 3000;
constexpr DWORD kBufferContext = 0x17;
// The transfer buffer: eight blocks of 4 MiB.
constexpr ULONGLONG kBlockSize = 4u << 20;
constexpr ULONG kBlockCount = 8;
// Reads in a row that bring no page before the scan counts as stuck.
constexpr int kMostEmptyReads = 3;
constexpr uint32_t kValueAdjusted = 0x800C;

void Say(FILE* err, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::fputs("rzd-scan: ", err);
  std::vfprintf(err, format, args);
  std::fputc('\n', err);
  va_end(args);
}

// A control code with empty buffers; *out gets the output document.
HRESULT Call(IRZDHAL* hal, LONG code, const std::u16string& in, std::u16string* out = nullptr) {
  LocalVariant bufIn;
  LocalVariant bufOut;
  Bstr text(in);
  Bstr answer;
  const HRESULT hr = hal->Control(code, in.empty() ? nullptr : text.Get(), answer.Out(), &bufIn.value, &bufOut.value);
  if (out != nullptr) *out = answer.Str();
  return hr;
}

// The bridge, loaded into this process as a data source loads it.
ComPtr<IRZDHAL> CreateBridge(FILE* err) {
  ComPtr<IRZDHAL> bridge;
  const HRESULT hr = CoCreateInstance(CLSID_RZDHALM48tzInProc, nullptr, CLSCTX_INPROC_SERVER, IID_IRZDHAL, bridge.OutVoid());
  if (hr == REGDB_E_CLASSNOTREG) {
    Say(err, "the scanner bridge is not registered (run rzd-install)");
  } else if (FAILED(hr)) {
    Say(err, "the scanner bridge could not be loaded (0x%08X)", static_cast<uint32_t>(hr));
  }
  return bridge;
}

std::optional<std::vector<Unit>> ListUnits(IRZDHAL* bridge, FILE* err) {
  std::u16string list;
  const HRESULT hr = Call(bridge, RZDHAL_CC_GET_SCANNERS, u"", &list);
  std::optional<std::vector<std::u16string>> classes;
  if (SUCCEEDED(hr)) classes = ParseHalIdList(list);
  if (!classes) {
    Say(err, "the scanner bridge gave no list of units (0x%08X)", static_cast<uint32_t>(hr));
    return std::nullopt;
  }
  return InstalledUnits(*classes);
}

// The error code of a driver's error document (0 when it has none).
uint32_t ErrorCodeOf(const std::u16string& document, std::u16string* description) {
  MSXML6StoreSTL store;
  std::u16string code;
  if (!store.LoadFromString(document) || !store.GetNodeText(u"/Result/ErrorCode", code)) return 0;
  store.GetNodeText(u"/Result/Description", *description);
  return static_cast<uint32_t>(WToI64(code));
}

// Prints each side's progress: a line when a side ends, and on a terminal the bytes as they come.
PageAssembler::Progress ProgressPrinter(FILE* err) {
  const bool terminal = isatty(fileno(err)) != 0;
  return [err, terminal](uint32_t page, int side, uint64_t bytes, bool ended) {
    const char* name = side == 0 ? "front" : "back";
    const double megabytes = static_cast<double>(bytes) / 1e6;
    if (ended) {
      std::fprintf(err, "%spage %u %s: %.1f MB\n", terminal ? "\r\033[K" : "", page, name, megabytes);
    } else if (terminal) {
      std::fprintf(err, "\r\033[Kpage %u %s: %.1f MB ...", page, name, megabytes);
    }
    std::fflush(err);
  };
}

// The scan through an opened and locked bridge.
class Batch {
 public:
  Batch(IRZDHAL* hal, const ScanOptions& options, FILE* out, FILE* err) : hal_(hal), options_(options), out_(out), err_(err) {}

  int Run(const std::u16string& settings) {
    ComPtr<IRZDModule> module;
    ComPtr<IRZDMemMgr> memory;
    if (FAILED(hal_->QueryInterface(IID_IRZDModule, module.OutVoid())) ||
        FAILED(hal_->QueryInterface(IID_IRZDMemMgr, memory.OutVoid()))) {
      Say(err_, "the scanner bridge lacks its module interfaces");
      return kExitFault;
    }
    if (int status = Apply(module.Get(), settings); status != kExitOk) return status;
    ComPtr<IRasterBlocks> payload;
    ComPtr<IRasterBlockReader> reader;
    HRESULT hr = CoCreateInstance(CLSID_RasterBlocks, nullptr, kBufferContext, IID_IRasterBlocks, payload.OutVoid());
    if (SUCCEEDED(hr)) hr = payload->Allocate(kBlockSize, kBlockCount);
    if (SUCCEEDED(hr)) hr = payload.As(IID_IRasterBlockReader, &reader);
    Bstr name;
    if (SUCCEEDED(hr)) hr = BufferName(payload.Get(), &name);
    if (SUCCEEDED(hr)) hr = memory->CreateMMFile(name.Get(), static_cast<LONG>(kBlockSize * kBlockCount));
    if (FAILED(hr)) {
      Say(err_, "the transfer buffer could not be made (0x%08X)", static_cast<uint32_t>(hr));
      return kExitFault;
    }
    int status = kExitOk;
    {
      BlockConsumer consumer(reader, ProgressPrinter(err_));
      status = Pages(module.Get(), payload.Get(), reader.Get(), consumer);
    }
    memory->ReleaseMMFile(name.Get());
    return status;
  }

 private:
  static HRESULT BufferName(IRasterBlocks* payload, Bstr* name) {
    ComPtr<IUnknown> unknown;
    ComPtr<IVBuffer> buffer;
    HRESULT hr = payload->GetVBuffer(unknown.Out());
    if (SUCCEEDED(hr)) hr = unknown.As(IID_IVBuffer, &buffer);
    if (SUCCEEDED(hr)) hr = buffer->GetName(name->Out());
    return hr;
  }

  // The settings, first through code 8 itself (its answer says what the unit made of them), then
  // through Configure, which also makes the metadata buffer.
  int Apply(IRZDModule* module, const std::u16string& settings) {
    std::u16string answer;
    HRESULT hr = Call(hal_, RZDHAL_CC_SET_CURRENT, settings, &answer);
    bool adjusted = false;
    if (hr == kHalBusy) {
      Say(err_, "%s", CallFailureText(hr).c_str());
      return kExitFault;
    }
    if (hr != S_OK) {
      std::u16string description;
      const uint32_t code = ErrorCodeOf(answer, &description);
      adjusted = code == kValueAdjusted;
      if (!adjusted) {
        if (code != 0) {
          Say(err_, "the unit refused the settings: %s (error %u)", ToUtf8(description).c_str(), code);
        } else {
          Say(err_, "the unit refused the settings: %s", CallFailureText(hr).c_str());
        }
        return kExitFault;
      }
    }
    Bstr text(settings);
    hr = module->Configure(0, nullptr, 0, nullptr, text.Get());
    if (hr != S_OK && !(adjusted && SUCCEEDED(hr))) {
      Say(err_, "the scan could not be configured: %s", CallFailureText(hr).c_str());
      return kExitFault;
    }
    return kExitOk;
  }

  int Pages(IRZDModule* module, IRasterBlocks* payload, IRasterBlockReader* reader, BlockConsumer& consumer) {
    uint32_t written = 0;
    int emptyReads = 0;
    for (;;) {
      const HRESULT hr = module->Produce(payload);
      consumer.WaitDrained();
      Bstr operation;
      reader->GetOperationText(operation.Out());
      bool ended = false;
      const std::vector<ScannedPage> pages = consumer.TakeCompleted();
      for (const ScannedPage& page : pages) {
        if (page.error != 0) {
          Say(err_, "%s", DriverErrorText(page.error).c_str());
          return kExitFault;
        }
        if (!WritePage(page, operation.Str())) return kExitFault;
        ++written;
        ended = page.boundary >= 6;
        if (!ended && options_.pages && written == *options_.pages) {
          Call(hal_, RZDHAL_CC_CANCEL_OPERATION, u"");  // enough pages: the rest of the batch stays in the feeder
          ended = true;
        }
        if (ended) break;
      }
      if (FAILED(hr)) {
        const LONG error = consumer.LastError();
        Say(err_, "%s", error != 0 ? DriverErrorText(error).c_str() : CallFailureText(hr).c_str());
        return kExitFault;
      }
      if (HRESULT failure = consumer.ReaderFailure(); failure != S_OK) {
        Say(err_, "the transfer buffer failed (0x%08X)", static_cast<uint32_t>(failure));
        return kExitFault;
      }
      if (ended) break;
      if (!pages.empty()) {
        emptyReads = 0;
      } else if (++emptyReads == kMostEmptyReads) {
        Say(err_, "the unit delivered no page");
        return kExitFault;
      }
    }
    if (!WriteBackground(reader)) return kExitFault;
    std::fprintf(out_, "scanned %u page%s into %s\n", written, written == 1 ? "" : "s", options_.out.c_str());
    return kExitOk;
  }

  // The background data the bridge handed on (the unit's background of each side, for the
  // scan's image processing), as they stand after the last page: background-front.raw and
  // background-back.raw, raw bytes. Nothing for a side without any.
  bool WriteBackground(IRasterBlockReader* reader) {
    for (LONG side = 0; side < 2; ++side) {
      const BYTE* data = nullptr;
      ULONGLONG size = 0;
      if (FAILED(reader->GetSideData(side, &data, &size)) || size == 0 || data == nullptr) continue;
      const std::filesystem::path file = options_.out / (side == 0 ? "background-front.raw" : "background-back.raw");
      std::ofstream stream(file, std::ios::binary | std::ios::trunc);
      stream.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
      stream.close();
      if (!stream) {
        Say(err_, "cannot write %s", file.c_str());
        return false;
      }
      std::fprintf(out_, "wrote %s (%llu bytes of background data)\n", file.c_str(), static_cast<unsigned long long>(size));
    }
    std::fflush(out_);
    return true;
  }

  bool WritePage(const ScannedPage& page, const std::u16string& operation) {
    const std::optional<SideImage>* sides[2] = {&page.front, &page.back};
    for (int side = 0; side < 2; ++side) {
      if (!sides[side]->has_value()) continue;
      const SideImage& image = **sides[side];
      const std::string stem = SideFileStem(page.sequence, side);
      const std::filesystem::path imageFile = options_.out / (stem + (image.Jpeg() ? ".jpg" : ".png"));
      const std::filesystem::path metaFile = options_.out / (stem + ".xml");
      ImageSize size;
      std::string error;
      if (!WriteSideImage(imageFile, image, &size, &error) ||
          !WriteSideMetadata(metaFile, operation, side, image, &error)) {
        Say(err_, "%s", error.c_str());
        return false;
      }
      std::fprintf(out_, "wrote %s (%u x %u)\nwrote %s\n", imageFile.c_str(), size.width, size.height, metaFile.c_str());
    }
    std::fflush(out_);
    return true;
  }

  IRZDHAL* hal_;
  const ScanOptions& options_;
  FILE* out_;
  FILE* err_;
};

}  // namespace

int RunList(FILE* out, FILE* err) {
  ComInit com(COINIT_MULTITHREADED);
  ComPtr<IRZDHAL> bridge = CreateBridge(err);
  if (!bridge) return kExitFault;
  std::optional<std::vector<Unit>> units = ListUnits(bridge.Get(), err);
  if (!units) return kExitFault;
  if (units->empty()) Say(err, "no units are installed");
  for (const Unit& unit : *units) {
    std::fprintf(out, "%u  %s  %s\n", unit.number, ToUtf8(unit.friendlyName).c_str(), ToUtf8(unit.instanceClass).c_str());
  }
  return kExitOk;
}

int RunScan(const ScanOptions& options, FILE* out, FILE* err) {
  std::error_code ec;
  std::filesystem::create_directories(options.out, ec);
  if (ec || !std::filesystem::is_directory(options.out)) {
    Say(err, "cannot make the folder %s: %s", options.out.c_str(), ec ? ec.message().c_str() : "not a folder");
    return kExitFault;
  }
  ComInit com(COINIT_MULTITHREADED);
  ComPtr<IRZDHAL> bridge = CreateBridge(err);
  if (!bridge) return kExitFault;
  std::optional<std::vector<Unit>> units = ListUnits(bridge.Get(), err);
  if (!units) return kExitFault;
  const Unit* unit = nullptr;
  for (const Unit& u : *units) {
    if (!options.unit || u.number == *options.unit) {
      unit = &u;
      break;
    }
  }
  if (unit == nullptr) {
    if (options.unit) {
      Say(err, "unit %u is not installed", *options.unit);
    } else {
      Say(err, "no units are installed");
    }
    return kExitFault;
  }

  HRESULT hr = ConnectHalUnit(bridge.Get(), unit->instanceClass);
  if (hr != S_OK) {
    Say(err, "%s", CallFailureText(hr).c_str());
    return kExitFault;
  }
  LONG status = 0;
  hr = bridge->LockScanner(static_cast<LONG>(CurrentProcessId()), &status, kLockTimeoutMs);
  int result = kExitOk;
  if (hr != S_OK) {
    Say(err, "%s", CallFailureText(hr).c_str());
    result = kExitFault;
  } else {
    std::u16string supported;
    hr = Call(bridge.Get(), RZDHAL_CC_GET_SUPPORTED, u"", &supported);
    ChosenSettings chosen;
    if (hr != S_OK) {
      chosen.error = "the unit's settings could not be read: " + CallFailureText(hr);
    } else {
      chosen = ChooseSettings(supported, options);
    }
    if (!chosen.error.empty()) {
      Say(err, "%s", chosen.error.c_str());
      result = kExitFault;
    } else {
      result = Batch(bridge.Get(), options, out, err).Run(chosen.document);
    }
    bridge->UnlockScanner(&status);
  }
  DisconnectHalUnit(bridge.Get());
  return result;
}

}  // namespace rzd::frontend
