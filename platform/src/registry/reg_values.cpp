// RegKey: values, enumeration and key information.
#include "platform/registry.h"
#include "platform/text.h"
#include "registry/database.h"
#include "registry/key_ref.h"
#include "registry/store.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <optional>
#include <set>

namespace rzd {

using registry::Database;
using registry::KeyRef;
using registry::Name;

namespace {

enum class Access { kRead, kWrite };

// Runs `body(db, ref)` in a reading or writing transaction of the handle's database; `ref` is the
// handle's key without its deleted sides (ERROR_KEY_DELETED when none is left).
template <class Body>
uint32_t OnLiveKey(const RegKey::State& state, Access access, Body&& body) {
  Database& db = *state.db;
  auto run = [&]() -> uint32_t {
    KeyRef ref = state.key;
    if (uint32_t err = registry::Live(db, &ref)) return err;
    return body(db, ref);
  };
  return access == Access::kWrite ? db.Write(run) : db.Read(run);
}

// Reads one value through the handle's read order.
uint32_t Fetch(const RegKey::State& state, std::u16string_view name, uint32_t* type, std::vector<uint8_t>* data) {
  Name value;
  if (uint32_t err = registry::MakeValueName(name, &value)) return err;
  return OnLiveKey(state, Access::kRead, [&](Database& db, const KeyRef& ref) -> uint32_t {
    for (int64_t id : registry::ReadOrder(ref)) {
      if (registry::GetValue(db, id, value.fold, type, data)) return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
  });
}

std::vector<uint8_t> LittleEndian(uint64_t value, size_t size) {
  std::vector<uint8_t> out(size);
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
  return out;
}

uint64_t FromLittleEndian(const std::vector<uint8_t>& data) {
  uint64_t value = 0;
  for (size_t i = 0; i < data.size(); ++i) value |= static_cast<uint64_t>(data[i]) << (8 * i);
  return value;
}

// The data of value `name` when its type is one of `types` and, where `size` is given, its data
// has that size; ERROR_UNSUPPORTED_TYPE otherwise.
uint32_t QueryTyped(const RegKey& key, std::u16string_view name, std::initializer_list<uint32_t> types,
                    std::optional<size_t> size, std::vector<uint8_t>* data) {
  uint32_t type = REG_NONE;
  if (uint32_t err = key.QueryValue(name, &type, data)) return err;
  if (std::find(types.begin(), types.end(), type) == types.end()) return ERROR_UNSUPPORTED_TYPE;
  if (size && data->size() != *size) return ERROR_UNSUPPORTED_TYPE;
  return ERROR_SUCCESS;
}

// Merged view of the subkeys: every folded name once, the user side's spelling first.
std::vector<registry::KeyEntry> MergedKeys(Database& db, const KeyRef& ref) {
  std::vector<registry::KeyEntry> out;
  std::set<std::u16string> seen;
  for (int64_t id : registry::ReadOrder(ref)) {
    for (auto& entry : registry::ChildKeys(db, id)) {
      if (seen.insert(entry.fold).second) out.push_back(std::move(entry));
    }
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.fold < b.fold; });
  return out;
}

// Merged view of the values: the user side's first, then the machine side's not shadowed.
std::vector<RegValue> MergedValues(Database& db, const KeyRef& ref) {
  std::vector<RegValue> out;
  std::set<std::u16string> seen;
  for (int64_t id : registry::ReadOrder(ref)) {
    for (auto& value : registry::Values(db, id)) {
      if (seen.insert(FoldCase(value.name)).second) out.push_back(std::move(value));
    }
  }
  return out;
}

}  // namespace

uint32_t RegKey::QueryValue(std::u16string_view name, uint32_t* type, std::vector<uint8_t>* data) const {
  if (!state_) return ERROR_INVALID_HANDLE;
  uint32_t foundType = REG_NONE;
  std::vector<uint8_t> bytes;
  if (uint32_t err = Fetch(*state_, name, &foundType, &bytes)) return err;
  if (type) *type = foundType;
  if (data) *data = std::move(bytes);
  return ERROR_SUCCESS;
}

uint32_t RegKey::QueryValue(std::u16string_view name, uint32_t* type, void* data, uint32_t* size) const {
  if (!state_) return ERROR_INVALID_HANDLE;
  if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
  std::vector<uint8_t> bytes;
  if (uint32_t err = QueryValue(name, type, &bytes)) return err;
  if (bytes.size() > std::numeric_limits<uint32_t>::max()) return ERROR_GEN_FAILURE;
  uint32_t needed = static_cast<uint32_t>(bytes.size());
  if (data == nullptr) {
    if (size) *size = needed;
    return ERROR_SUCCESS;
  }
  if (*size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (needed > 0) std::memcpy(data, bytes.data(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

uint32_t RegKey::SetValue(std::u16string_view name, uint32_t type, std::span<const uint8_t> data) const {
  if (!state_) return ERROR_INVALID_HANDLE;
  if (data.size() > std::numeric_limits<uint32_t>::max()) return ERROR_INVALID_PARAMETER;
  Name value;
  if (uint32_t err = registry::MakeValueName(name, &value)) return err;
  return OnLiveKey(*state_, Access::kWrite, [&](Database& db, const KeyRef& ref) -> uint32_t {
    registry::PutValue(db, registry::WriteTarget(ref), value, type, data);
    return ERROR_SUCCESS;
  });
}

uint32_t RegKey::GetString(std::u16string_view name, std::u16string* value) const {
  std::vector<uint8_t> data;
  if (uint32_t err = QueryTyped(*this, name, {REG_SZ, REG_EXPAND_SZ}, std::nullopt, &data)) return err;
  *value = DecodeRegString(data);
  return ERROR_SUCCESS;
}

uint32_t RegKey::GetDword(std::u16string_view name, uint32_t* value) const {
  std::vector<uint8_t> data;
  if (uint32_t err = QueryTyped(*this, name, {REG_DWORD}, 4, &data)) return err;
  *value = static_cast<uint32_t>(FromLittleEndian(data));
  return ERROR_SUCCESS;
}

uint32_t RegKey::GetQword(std::u16string_view name, uint64_t* value) const {
  std::vector<uint8_t> data;
  if (uint32_t err = QueryTyped(*this, name, {REG_QWORD}, 8, &data)) return err;
  *value = FromLittleEndian(data);
  return ERROR_SUCCESS;
}

uint32_t RegKey::GetMultiString(std::u16string_view name, std::vector<std::u16string>* value) const {
  std::vector<uint8_t> data;
  if (uint32_t err = QueryTyped(*this, name, {REG_MULTI_SZ}, std::nullopt, &data)) return err;
  *value = DecodeRegMultiString(data);
  return ERROR_SUCCESS;
}

uint32_t RegKey::GetBinary(std::u16string_view name, std::vector<uint8_t>* value) const {
  std::vector<uint8_t> data;
  if (uint32_t err = QueryTyped(*this, name, {REG_BINARY}, std::nullopt, &data)) return err;
  *value = std::move(data);
  return ERROR_SUCCESS;
}

uint32_t RegKey::SetString(std::u16string_view name, std::u16string_view value) const {
  return SetValue(name, REG_SZ, EncodeRegString(value));
}

uint32_t RegKey::SetExpandString(std::u16string_view name, std::u16string_view value) const {
  return SetValue(name, REG_EXPAND_SZ, EncodeRegString(value));
}

uint32_t RegKey::SetDword(std::u16string_view name, uint32_t value) const {
  return SetValue(name, REG_DWORD, LittleEndian(value, 4));
}

uint32_t RegKey::SetQword(std::u16string_view name, uint64_t value) const {
  return SetValue(name, REG_QWORD, LittleEndian(value, 8));
}

uint32_t RegKey::SetMultiString(std::u16string_view name, const std::vector<std::u16string>& value) const {
  for (const auto& s : value) {
    if (s.empty() || s.find(u'\0') != std::u16string::npos) return ERROR_INVALID_PARAMETER;
  }
  return SetValue(name, REG_MULTI_SZ, EncodeRegMultiString(value));
}

uint32_t RegKey::SetBinary(std::u16string_view name, std::span<const uint8_t> value) const {
  return SetValue(name, REG_BINARY, value);
}

uint32_t RegKey::DeleteValue(std::u16string_view name) const {
  if (!state_) return ERROR_INVALID_HANDLE;
  Name value;
  if (uint32_t err = registry::MakeValueName(name, &value)) return err;
  return OnLiveKey(*state_, Access::kWrite, [&](Database& db, const KeyRef& ref) -> uint32_t {
    bool removed = false;
    for (int64_t id : registry::ReadOrder(ref)) removed = registry::RemoveValue(db, id, value.fold) || removed;
    return removed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
}

uint32_t RegKey::EnumKeys(std::vector<std::u16string>* names) const {
  if (!state_) return ERROR_INVALID_HANDLE;
  return OnLiveKey(*state_, Access::kRead, [&](Database& db, const KeyRef& ref) -> uint32_t {
    names->clear();
    for (auto& entry : MergedKeys(db, ref)) names->push_back(std::move(entry.name));
    return ERROR_SUCCESS;
  });
}

uint32_t RegKey::EnumValues(std::vector<RegValue>* values) const {
  if (!state_) return ERROR_INVALID_HANDLE;
  return OnLiveKey(*state_, Access::kRead, [&](Database& db, const KeyRef& ref) -> uint32_t {
    *values = MergedValues(db, ref);
    return ERROR_SUCCESS;
  });
}

uint32_t RegKey::QueryInfo(RegKeyInfo* info) const {
  if (!state_) return ERROR_INVALID_HANDLE;
  return OnLiveKey(*state_, Access::kRead, [&](Database& db, const KeyRef& ref) -> uint32_t {
    RegKeyInfo out;
    auto keys = MergedKeys(db, ref);
    auto values = MergedValues(db, ref);
    out.subKeys = static_cast<uint32_t>(keys.size());
    out.values = static_cast<uint32_t>(values.size());
    for (const auto& k : keys) out.maxSubKeyNameLength = std::max(out.maxSubKeyNameLength, static_cast<uint32_t>(k.name.size()));
    for (const auto& v : values) {
      out.maxValueNameLength = std::max(out.maxValueNameLength, static_cast<uint32_t>(v.name.size()));
      out.maxValueDataSize = std::max(out.maxValueDataSize, static_cast<uint32_t>(v.data.size()));
    }
    *info = out;
    return ERROR_SUCCESS;
  });
}

}  // namespace rzd
