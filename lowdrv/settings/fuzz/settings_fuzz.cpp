// libFuzzer target: arbitrary client settings documents (UTF-8 bytes) applied with SetCurrent to
// the model's settings object (configured and fed the engine records as the settings tests do),
// initialised once from the embedded device description.
//
// Besides the sanitizers, each input checks the promises of SetCurrent: the result is one of its
// codes; after a failure the supported and current documents are exactly as before and the NVRAM
// time-outs did not move; after success both documents exist and the supported one parses.
//
// Run (from a build configured with the fuzz preset):
//   settings_fuzz -max_total_time=60 -dict=<src>/lowdrv/settings/fuzz/settings.dict \
//                 <corpus-dir> <src>/lowdrv/settings/fuzz/corpus
#include "foundation/xml_store.h"
#include "lowdrv/settings/m48tz_settings.h"
#include "model_fixture.h"
#include "platform/text.h"
#include "testsupport/temp_root.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using rzd::Bstr;
using rzd::lowdrv::CM48tzScannerSettings;
using rzd::lowdrv::ReduzidNVMData;
using rzd::lowdrv::fixtures::ConfigureAsModel;
using rzd::lowdrv::fixtures::ModelInquiry;
using rzd::lowdrv::fixtures::ModelNvm;

void Fail(const char* what) {
  std::fprintf(stderr, "settings_fuzz: %s\n", what);
  std::abort();
}

struct NvTimes {
  uint16_t sleep, off, erp;
  bool operator==(const NvTimes&) const = default;
};

NvTimes Times() {
  ReduzidNVMData nvm = CM48tzScannerSettings::NVMDataCopy();
  return {nvm.PowerSavingTime, nvm.PowerOffTime, nvm.ERPTime};
}

class FuzzSettings : public CM48tzScannerSettings {
 public:
  std::u16string Supported() { return Bstr::Attach(GetSupported()).Str(); }
  std::u16string Current() { return Bstr::Attach(GetCurrent()).Str(); }
};

struct World {
  World() {
    ConfigureAsModel(settings);
    if (!settings.Init(ModelInquiry(), ModelNvm(), nullptr, u"1, 0, 0, 0", u"1, 0, 0, 0")) Fail("Init failed");
    Snapshot();
  }
  // What a refused document must leave as it is. Taken after Init and after each Reset only: a
  // refused document changes nothing (checked), so the snapshot stays valid until one is accepted.
  void Snapshot() {
    supported = settings.Supported();
    current = settings.Current();
    times = Times();
  }
  rzd::test::ScopedRoot root;  // the registry and the model folder live in a throw-away root
  FuzzSettings settings;
  bool dirty = false;          // the last input changed the documents; Reset before the next
  std::u16string supported;
  std::u16string current;
  NvTimes times{};
};

// Equal documents, compared as bytes: a comparison by characters runs under comparison tracing
// for every one of the tens of thousands of characters and was most of each input's time.
bool SameDocument(const std::u16string& a, const std::u16string& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
}

World& TheWorld() {
  static World world;
  return world;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  World& world = TheWorld();
  FuzzSettings& settings = world.settings;
  if (world.dirty) {
    CM48tzScannerSettings::SetNVMDataCopy(ModelNvm());
    if (!settings.Reset()) Fail("Reset failed");
    world.Snapshot();
    world.dirty = false;
  }

  const std::u16string text = rzd::FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
  const uint32_t code = settings.SetCurrent(text);

  switch (code) {
    case 0:
    case 0x800C: {
      world.dirty = true;
      const std::u16string after = settings.Supported();
      rzd::MSXML6StoreSTL check;
      if (after.empty() || !check.LoadFromString(after)) Fail("accepted settings left no readable supported document");
      if (settings.Current().empty()) Fail("accepted settings left no current document");
      break;
    }
    case 0x8002:
    case 0x8004:
    case 0x8006:
      if (!SameDocument(settings.Supported(), world.supported)) Fail("a refused document changed the supported document");
      if (!SameDocument(settings.Current(), world.current)) Fail("a refused document changed the current document");
      if (!(Times() == world.times)) Fail("a refused document changed the NVRAM time-outs");
      break;
    default:
      Fail("unknown result code");
  }
  return 0;
}
