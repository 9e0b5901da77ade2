#include "registry/key_ref.h"

#include "registry/store.h"

namespace rzd::registry {

namespace {
Name KeyName(std::u16string_view text) {
  Name name;
  if (MakeKeyName(text, &name) != ERROR_SUCCESS) throw DbError{ERROR_INVALID_PARAMETER};
  return name;
}

// Follows fixed names from `key`, creating them when `create` is set; 0 when one is missing.
int64_t FollowFixed(Database& db, int64_t key, std::initializer_list<std::u16string_view> names, bool create) {
  for (auto text : names) {
    if (key == 0) return 0;
    Name name = KeyName(text);
    key = create ? FindOrCreateChild(db, key, name) : FindChild(db, key, name);
  }
  return key;
}
}  // namespace

uint32_t HiveRoot(Database& db, Hive hive, bool create, KeyRef* out) {
  *out = KeyRef{};
  out->root = true;
  std::u16string user = CurrentUserKeyName();
  switch (hive) {
    case Hive::LocalMachine:
      out->machine = db.MachineRoot();
      break;
    case Hive::Users:
      out->machine = db.UsersRoot();
      break;
    case Hive::CurrentUser:
      out->machine = FollowFixed(db, db.UsersRoot(), {user}, create);
      break;
    case Hive::ClassesRoot:
      out->classes = true;
      out->machine = FollowFixed(db, db.MachineRoot(), {u"SOFTWARE", u"Classes"}, create);
      out->user = FollowFixed(db, db.UsersRoot(), {user, u"Software", u"Classes"}, false);
      return out->machine != 0 || out->user != 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  }
  return out->machine != 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

uint32_t Live(Database& db, KeyRef* ref) {
  if (ref->machine != 0 && !KeyAlive(db, ref->machine)) ref->machine = 0;
  if (ref->user != 0 && !KeyAlive(db, ref->user)) ref->user = 0;
  return ref->machine != 0 || ref->user != 0 ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

uint32_t Walk(Database& db, const KeyRef& from, const std::vector<Name>& path, bool create, KeyRef* out,
              bool* created) {
  KeyRef at = from;
  bool made = false;
  for (const Name& name : path) {
    int64_t machine = at.machine != 0 ? FindChild(db, at.machine, name) : 0;
    int64_t user = at.user != 0 ? FindChild(db, at.user, name) : 0;
    made = false;
    if (machine == 0 && user == 0) {
      if (!create) return ERROR_FILE_NOT_FOUND;
      if (at.machine != 0) {
        machine = CreateChild(db, at.machine, name);
      } else {
        user = CreateChild(db, at.user, name);
      }
      made = true;
    }
    at.machine = machine;
    at.user = user;
    at.root = false;
  }
  *out = at;
  if (created) *created = made;
  return ERROR_SUCCESS;
}

std::vector<int64_t> ReadOrder(const KeyRef& ref) {
  std::vector<int64_t> ids;
  if (ref.user != 0) ids.push_back(ref.user);
  if (ref.machine != 0) ids.push_back(ref.machine);
  return ids;
}

int64_t WriteTarget(const KeyRef& ref) { return ref.machine != 0 ? ref.machine : ref.user; }

}  // namespace rzd::registry
