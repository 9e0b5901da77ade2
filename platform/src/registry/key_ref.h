// What a key handle points at, and finding keys by path.
//
// A key of HKEY_CLASSES_ROOT may exist on the machine side (HKLM\SOFTWARE\Classes\...), on the
// user side (HKCU\Software\Classes\...) or on both. Reads look at the user side first. Writes go
// to the machine side when the key exists there, else to the user side. A new key goes to the
// side of its parent, the machine side when the parent exists on both. Deletes act on both sides,
// so a deleted name leaves the merged view.
#pragma once

#include "platform/registry.h"
#include "registry/database.h"
#include "registry/names.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace rzd::registry {

struct KeyRef {
  int64_t machine = 0;   // the key (outside the classes view always set)
  int64_t user = 0;      // classes view only: the user side, or 0
  bool classes = false;  // a key of the merged classes view
  bool root = false;     // a hive's root: never deleted through a handle
};

// Inside a transaction of `db` (all of these throw DbError).
// The root of `hive`; `create` makes its missing keys (the current user's key, the machine's
// SOFTWARE\Classes). ERROR_FILE_NOT_FOUND when it is missing and not created.
uint32_t HiveRoot(Database& db, Hive hive, bool create, KeyRef* out);
// Drops the deleted sides of `ref`; ERROR_KEY_DELETED when nothing is left.
uint32_t Live(Database& db, KeyRef* ref);
// Follows `path` from `from`; with `create`, makes the missing keys (`created` tells whether the
// last one was made). ERROR_FILE_NOT_FOUND when a key is missing and not created.
uint32_t Walk(Database& db, const KeyRef& from, const std::vector<Name>& path, bool create, KeyRef* out,
              bool* created);
// The key ids to read from, in order (user side first).
std::vector<int64_t> ReadOrder(const KeyRef& ref);
// The key id that a write of a value goes to.
int64_t WriteTarget(const KeyRef& ref);

}  // namespace rzd::registry

namespace rzd {
struct RegKey::State {
  std::shared_ptr<registry::Database> db;
  registry::KeyRef key;
};
}  // namespace rzd
