#include "hal/driver_link.h"

#include "foundation/xml_store.h"
#include "platform/errors.h"
#include "platform/text.h"

#include <mutex>

namespace rzd::scanhost {

namespace {

// A bare file name is looked for beside the running executable, then beside the stack's own
// libraries (the folder of the platform library), then on the system's library search path.
std::unique_ptr<Module> LoadByName(const std::u16string& fileName) {
  const std::filesystem::path name(fileName);
  if (!name.has_parent_path()) {
    const std::filesystem::path folders[] = {ExecutablePath().parent_path(),
                                             ModulePathOf(reinterpret_cast<const void*>(&ExecutablePath)).parent_path()};
    for (const std::filesystem::path& folder : folders) {
      std::error_code ec;
      if (std::filesystem::exists(folder / name, ec)) return Module::Load(folder / name);
    }
  }
  return Module::Load(name);
}

}  // namespace

int32_t DriverAnswer::ErrorCode() const {
  if (!error) return -1;
  MSXML6StoreSTL store;
  if (!store.LoadFromString(error.View())) return -1;
  return store.GetNodeInt(u"/Result/ErrorCode", -1);
}

std::u16string DriverAnswer::ErrorText() const { return error ? std::u16string(error.View()) : u"NULL"; }

bool DriverLink::Load(const std::u16string& fileName, const CLogClient& log) {
  std::unique_lock guard(lock_);
  RZD_LOG_INFO_OF(log, u"Attempting to load LLD named %s", fileName.c_str());
  std::unique_ptr<Module> library = LoadByName(fileName);
  if (!library) {
    RZD_LOG_ERROR_OF(log, u"Failed to Load LLD Name: %s, GetLastError=0x%08X", fileName.c_str(), ERROR_MOD_NOT_FOUND);
    return false;
  }
  auto control = library->Bind<ControlFunction>("Control");
  if (control == nullptr) {
    RZD_LOG_ERROR_OF(log, u"Failed to import Control function, GetLastError=0x%08X", ERROR_PROC_NOT_FOUND);
  }
  auto read = library->Bind<ReadFunction>("Read");
  if (read == nullptr) RZD_LOG_ERROR_OF(log, u"Failed to import Read function, GetLastError=0x%08X", ERROR_PROC_NOT_FOUND);
  if (control == nullptr || read == nullptr) return false;  // the library is unloaded here
  library_ = std::move(library);
  control_ = control;
  read_ = read;
  return true;
}

void DriverLink::Unload() {
  std::unique_ptr<Module> library;
  {
    std::unique_lock guard(lock_);
    control_ = nullptr;
    read_ = nullptr;
    library = std::move(library_);
  }
  // No call can reach the library any more; it goes now.
}

bool DriverLink::Bound() const {
  std::shared_lock guard(lock_);
  return control_ != nullptr && read_ != nullptr;
}

DriverAnswer DriverLink::Control(void* handle, uint32_t code, const char16_t* text, BSTR* result, void* input,
                                 uint32_t inputSize, void* output, uint32_t* outputSize) const {
  DriverAnswer answer;
  std::shared_lock guard(lock_);
  if (control_ == nullptr) return answer;
  answer.bound = true;
  answer.ok = control_(handle, code, text, result, input, inputSize, output, outputSize, answer.error.Out()) != FALSE;
  return answer;
}

DriverAnswer DriverLink::ControlWithValue(void* handle, uint32_t code, uint32_t value) const {
  return Control(handle, code, nullptr, nullptr, &value, sizeof value, nullptr, nullptr);
}

DriverAnswer DriverLink::Read(void* handle, uint8_t* buffer, uint32_t* size, BSTR* metadata,
                              uint32_t* boundary) const {
  DriverAnswer answer;
  std::shared_lock guard(lock_);
  if (read_ == nullptr) return answer;
  answer.bound = true;
  answer.ok = read_(handle, buffer, size, metadata, boundary) != FALSE;
  // A failed read leaves its error document where the page document goes: it is the answer's.
  if (!answer.ok && metadata != nullptr && *metadata != nullptr) {
    *answer.error.Out() = *metadata;
    *metadata = nullptr;
  }
  return answer;
}

}  // namespace rzd::scanhost
