// The configuration's registry key: levels, emitter, failing and hanging operations, registration.
#include "diagconfig/config_store.h"

#include "foundation/cor_diag_config.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "platform/text.h"

namespace cordiag {

namespace {

using rzd::Hive;
using rzd::RegKey;

std::u16string ProductKey(std::u16string_view product) {
  std::u16string path(kConfigKey);
  path += u"\\Products\\";
  path += product;
  return path;
}

uint32_t OpenConfig(RegKey* key) { return RegKey::Open(Hive::LocalMachine, kConfigKey, key); }

uint32_t CreateConfig(RegKey* key) { return RegKey::Create(Hive::LocalMachine, kConfigKey, key); }

std::u16string ReadString(std::u16string_view name) {
  RegKey key;
  std::u16string value;
  if (OpenConfig(&key) == ERROR_SUCCESS) key.GetString(name, &value);
  return value;
}

uint32_t WriteString(std::u16string_view name, std::u16string_view value) {
  RegKey key;
  uint32_t error = CreateConfig(&key);
  if (error != ERROR_SUCCESS) return error;
  if (value.empty()) {
    error = key.DeleteValue(name);
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
  }
  return key.SetString(name, value);
}

uint32_t WriteList(std::u16string_view name, const std::vector<std::u16string>& items) {
  RegKey key;
  uint32_t error = CreateConfig(&key);
  if (error != ERROR_SUCCESS) return error;
  std::vector<std::u16string> kept;
  for (const auto& item : items) {
    if (!item.empty()) kept.push_back(item);
  }
  if (kept.empty()) {
    error = key.DeleteValue(name);
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
  }
  return key.SetMultiString(name, kept);
}

bool ListHas(std::u16string_view name, std::u16string_view item) {
  RegKey key;
  std::vector<std::u16string> items;
  if (OpenConfig(&key) != ERROR_SUCCESS || key.GetMultiString(name, &items) != ERROR_SUCCESS) return false;
  for (const auto& entry : items) {
    if (rzd::EqualsNoCase(entry, item)) return true;
  }
  return false;
}

}  // namespace

uint32_t SetFeatureLevel(std::u16string_view product, std::u16string_view feature, uint32_t level) {
  if (product.empty() || feature.empty()) return ERROR_INVALID_PARAMETER;
  RegKey key;
  uint32_t error = RegKey::Create(Hive::LocalMachine, ProductKey(product), &key);
  if (error != ERROR_SUCCESS) return error;
  return key.SetDword(feature, level);
}

uint32_t RemoveFeature(std::u16string_view product, std::u16string_view feature) {
  RegKey key;
  uint32_t error = RegKey::Open(Hive::LocalMachine, ProductKey(product), &key);
  if (error != ERROR_SUCCESS) return error;
  return key.DeleteValue(feature);
}

std::optional<uint32_t> ConfiguredLevel(std::u16string_view product, std::u16string_view feature) {
  if (product.empty() || feature.empty()) return std::nullopt;
  RegKey key;
  uint32_t level = 0;
  if (RegKey::Open(Hive::LocalMachine, ProductKey(product), &key) != ERROR_SUCCESS) return std::nullopt;
  if (key.GetDword(feature, &level) != ERROR_SUCCESS) return std::nullopt;
  return level;
}

uint32_t EffectiveLevel(std::u16string_view product, std::u16string_view feature) {
  if (feature != kDefaultFeature) {
    if (auto level = ConfiguredLevel(product, feature)) return *level;
  }
  return ConfiguredLevel(product, kDefaultFeature).value_or(0);
}

std::vector<std::u16string> ConfiguredFeatures(std::u16string_view product) {
  std::vector<std::u16string> names;
  RegKey key;
  std::vector<rzd::RegValue> values;
  if (product.empty() || RegKey::Open(Hive::LocalMachine, ProductKey(product), &key) != ERROR_SUCCESS ||
      key.EnumValues(&values) != ERROR_SUCCESS) {
    return names;
  }
  for (const auto& value : values) {
    if (value.type == REG_DWORD && !value.name.empty() && value.name != kDefaultFeature) names.push_back(value.name);
  }
  return names;
}

uint32_t SetEmitterPath(std::u16string_view path) { return WriteString(u"EmitterPath", path); }

std::u16string EmitterPath() { return ReadString(u"EmitterPath"); }

uint32_t SetEmitterOutput(std::u16string_view file) { return WriteString(u"EmitterOutput", file); }

std::filesystem::path EmitterOutput() {
  std::u16string configured = ReadString(u"EmitterOutput");
  if (!configured.empty()) return std::filesystem::path(rzd::ToUtf8(configured));
  return rzd::KnownFolderPath(rzd::KnownFolder::CommonAppData) / "CorDiag" / "Diagnostics.log";
}

uint32_t SetFailingOperations(const std::vector<std::u16string>& operations) { return WriteList(u"Fail", operations); }

bool OperationFails(std::u16string_view operation) { return ListHas(u"Fail", operation); }

uint32_t SetHangingOperations(const std::vector<std::u16string>& operations) {
  uint32_t error = WriteList(u"Hang", operations);
  if (error != ERROR_SUCCESS || operations.empty()) return error;
  // Re-arm: events a former release left signalled (while still held) start over.
  for (const char* name : {"CorDiagConfigHanging", "CorDiagConfigRelease"}) {
    auto opened = rzd::Event::Open(std::string_view(name));
    if (opened) opened.handle.Reset();
  }
  return ERROR_SUCCESS;
}

bool OperationHangs(std::u16string_view operation) { return ListHas(u"Hang", operation); }

uint32_t RegisterServer(const std::filesystem::path& library) {
  const std::u16string classKey = u"SOFTWARE\\Classes\\CLSID\\" + rzd::FormatGuid(CLSID_CorDiagConfig);
  RegKey key;
  uint32_t error = RegKey::Create(Hive::LocalMachine, classKey, &key);
  if (error == ERROR_SUCCESS) error = key.SetString(u"", u"CorDiagConfig Class");
  RegKey server;
  if (error == ERROR_SUCCESS) error = key.CreateSubKey(u"InprocServer32", &server);
  if (error == ERROR_SUCCESS) error = server.SetString(u"", rzd::FromUtf8(library.string()));
  if (error == ERROR_SUCCESS) error = server.SetString(u"ThreadingModel", u"Both");
  return error;
}

uint32_t UnregisterServer() {
  const std::u16string classKey = u"SOFTWARE\\Classes\\CLSID\\" + rzd::FormatGuid(CLSID_CorDiagConfig);
  uint32_t error = RegKey::DeleteTree(Hive::LocalMachine, classKey);
  if (error != ERROR_SUCCESS) return error;
  error = RegKey::DeleteKey(Hive::LocalMachine, classKey);
  return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
}

}  // namespace cordiag
