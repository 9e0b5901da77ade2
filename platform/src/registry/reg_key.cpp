// RegKey: handles, opening, creating and deleting keys.
#include "platform/registry.h"
#include "registry/database.h"
#include "registry/key_ref.h"
#include "registry/store.h"

namespace rzd {

using registry::Database;
using registry::DbError;
using registry::KeyRef;
using registry::Name;

RegKey::RegKey() = default;
RegKey::~RegKey() = default;
RegKey::RegKey(RegKey&& other) noexcept = default;
RegKey& RegKey::operator=(RegKey&& other) noexcept = default;
RegKey::RegKey(std::unique_ptr<State> state) : state_(std::move(state)) {}

void RegKey::Close() { state_.reset(); }

namespace {

// Opens or creates `path` below `from` (a hive's root when `from` is null).
uint32_t OpenOrCreate(const std::shared_ptr<Database>& db, const KeyRef* from, Hive hive, std::u16string_view path,
                      bool create, KeyRef* out, uint32_t* disposition) {
  std::vector<Name> names;
  if (uint32_t err = registry::SplitKeyPath(path, &names)) return err;
  auto body = [&]() -> uint32_t {
    KeyRef start;
    if (from != nullptr) {
      start = *from;
      if (uint32_t err = registry::Live(*db, &start)) return err;
    } else if (uint32_t err = registry::HiveRoot(*db, hive, create, &start)) {
      return err;
    }
    bool created = false;
    if (uint32_t err = registry::Walk(*db, start, names, create, out, &created)) return err;
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  };
  return create ? db->Write(body) : db->Read(body);
}

// Runs `body(db, target, names)` in a write transaction, `target` being the live key that `path`
// (split into `names`) names below the key of `from`.
template <class Body>
uint32_t WriteAtPath(const RegKey::State& from, std::u16string_view path, Body&& body) {
  std::vector<Name> names;
  if (uint32_t err = registry::SplitKeyPath(path, &names)) return err;
  Database& db = *from.db;
  return db.Write([&]() -> uint32_t {
    KeyRef target = from.key;
    if (uint32_t err = registry::Live(db, &target)) return err;
    if (uint32_t err = registry::Walk(db, target, names, false, &target, nullptr)) return err;
    return body(db, target, names);
  });
}

uint32_t CurrentDatabase(std::shared_ptr<Database>* db) {
  try {
    *db = Database::Current();
    return ERROR_SUCCESS;
  } catch (const DbError& e) {
    return e.code;
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

}  // namespace

uint32_t RegKey::Open(Hive hive, std::u16string_view path, RegKey* key) {
  key->Close();
  auto state = std::make_unique<State>();
  if (uint32_t err = CurrentDatabase(&state->db)) return err;
  if (uint32_t err = OpenOrCreate(state->db, nullptr, hive, path, false, &state->key, nullptr)) return err;
  *key = RegKey(std::move(state));
  return ERROR_SUCCESS;
}

uint32_t RegKey::Create(Hive hive, std::u16string_view path, RegKey* key, uint32_t* disposition) {
  key->Close();
  auto state = std::make_unique<State>();
  if (uint32_t err = CurrentDatabase(&state->db)) return err;
  if (uint32_t err = OpenOrCreate(state->db, nullptr, hive, path, true, &state->key, disposition)) return err;
  *key = RegKey(std::move(state));
  return ERROR_SUCCESS;
}

uint32_t RegKey::OpenSubKey(std::u16string_view path, RegKey* key) const {
  if (!state_) return ERROR_INVALID_HANDLE;
  auto state = std::make_unique<State>();
  state->db = state_->db;
  if (uint32_t err = OpenOrCreate(state->db, &state_->key, Hive::LocalMachine, path, false, &state->key, nullptr)) {
    return err;
  }
  *key = RegKey(std::move(state));
  return ERROR_SUCCESS;
}

uint32_t RegKey::CreateSubKey(std::u16string_view path, RegKey* key, uint32_t* disposition) const {
  if (!state_) return ERROR_INVALID_HANDLE;
  auto state = std::make_unique<State>();
  state->db = state_->db;
  if (uint32_t err =
          OpenOrCreate(state->db, &state_->key, Hive::LocalMachine, path, true, &state->key, disposition)) {
    return err;
  }
  *key = RegKey(std::move(state));
  return ERROR_SUCCESS;
}

uint32_t RegKey::DeleteSubKey(std::u16string_view path) const {
  if (!state_) return ERROR_INVALID_HANDLE;
  return WriteAtPath(*state_, path, [](Database& db, const KeyRef& target, const std::vector<Name>&) -> uint32_t {
    if (target.root) return ERROR_ACCESS_DENIED;
    auto sides = registry::ReadOrder(target);
    for (int64_t id : sides) {
      if (registry::ChildCount(db, id) > 0) return ERROR_ACCESS_DENIED;
    }
    for (int64_t id : sides) registry::RemoveTree(db, id, true);
    return ERROR_SUCCESS;
  });
}

uint32_t RegKey::DeleteTree(std::u16string_view path) const {
  if (!state_) return ERROR_INVALID_HANDLE;
  return WriteAtPath(*state_, path, [](Database& db, const KeyRef& target, const std::vector<Name>& names) -> uint32_t {
    bool includeKey = !names.empty();
    for (int64_t id : registry::ReadOrder(target)) registry::RemoveTree(db, id, includeKey);
    return ERROR_SUCCESS;
  });
}

uint32_t RegKey::DeleteKey(Hive hive, std::u16string_view path) {
  RegKey root;
  if (uint32_t err = Open(hive, u"", &root)) return err;
  return root.DeleteSubKey(path);
}

uint32_t RegKey::DeleteTree(Hive hive, std::u16string_view path) {
  RegKey root;
  if (uint32_t err = Open(hive, u"", &root)) return err;
  return root.DeleteTree(path);
}

}  // namespace rzd
