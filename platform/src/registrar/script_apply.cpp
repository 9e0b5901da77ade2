#include "registrar/script_apply.h"

#include "platform/text.h"

namespace rzd::registrar {

namespace {

struct ApplyError {
  uint32_t code;
  std::string message;
};

void Check(uint32_t err, int line, const std::string& what) {
  if (err != ERROR_SUCCESS) {
    throw ApplyError{err, "line " + std::to_string(line) + ": " + what + " failed with registry error " +
                              std::to_string(err)};
  }
}

// Opens (or, for register, creates) the key a root of the script stands for.
uint32_t OpenRoot(const ScriptRoot& root, bool perUser, bool create, RegKey* key) {
  Hive hive = root.hive;
  std::u16string_view path;
  if (perUser && hive == Hive::ClassesRoot) {
    hive = Hive::CurrentUser;
    path = u"Software\\Classes";
  }
  return create ? RegKey::Create(hive, path, key) : RegKey::Open(hive, path, key);
}

void RegisterBody(const RegKey& key, const ScriptKey& body) {
  for (const auto& value : body.values) {
    Check(key.SetValue(value.name, value.type, value.data), value.line, "writing value '" + ToUtf8(value.name) + "'");
  }
  for (const auto& sub : body.subkeys) {
    std::string name = "'" + ToUtf8(sub.name) + "'";
    if (sub.flag == KeyFlag::Delete || sub.flag == KeyFlag::ForceRemove) {
      uint32_t err = key.DeleteTree(sub.name);
      if (err != ERROR_FILE_NOT_FOUND) Check(err, sub.line, "deleting key " + name);
      if (sub.flag == KeyFlag::Delete) continue;
    }
    RegKey child;
    Check(key.CreateSubKey(sub.name, &child), sub.line, "creating key " + name);
    if (sub.defaultValue) {
      Check(child.SetValue(u"", sub.defaultValue->type, sub.defaultValue->data), sub.line,
            "writing the default value of " + name);
    }
    RegisterBody(child, sub);
  }
}

void UnregisterBody(const RegKey& key, const ScriptKey& body) {
  for (const auto& sub : body.subkeys) {
    if (sub.flag == KeyFlag::Delete) continue;
    std::string name = "'" + ToUtf8(sub.name) + "'";
    RegKey child;
    uint32_t err = key.OpenSubKey(sub.name, &child);
    if (err == ERROR_FILE_NOT_FOUND) continue;
    Check(err, sub.line, "opening key " + name);
    UnregisterBody(child, sub);
    if (sub.flag == KeyFlag::NoRemove) continue;
    err = key.DeleteSubKey(sub.name);
    if (err == ERROR_ACCESS_DENIED) {
      // Other subkeys are left: the key stays, without the default value the script gave it.
      if (sub.defaultValue) {
        err = child.DeleteValue(u"");
        if (err != ERROR_FILE_NOT_FOUND) Check(err, sub.line, "deleting the default value of " + name);
      }
    } else if (err != ERROR_FILE_NOT_FOUND) {
      Check(err, sub.line, "deleting key " + name);
    }
  }
  for (const auto& value : body.values) {
    if (value.noRemove) continue;
    uint32_t err = key.DeleteValue(value.name);
    if (err != ERROR_FILE_NOT_FOUND) Check(err, value.line, "deleting value '" + ToUtf8(value.name) + "'");
  }
}

}  // namespace

HRESULT ApplyRegister(const std::vector<ScriptRoot>& roots, bool perUser, std::string* error) {
  try {
    for (const auto& root : roots) {
      RegKey key;
      Check(OpenRoot(root, perUser, true, &key), root.body.line, "opening the root key");
      RegisterBody(key, root.body);
    }
    return S_OK;
  } catch (const ApplyError& e) {
    *error = e.message;
    return HRESULT_FROM_WIN32(e.code);
  }
}

HRESULT ApplyUnregister(const std::vector<ScriptRoot>& roots, bool perUser, std::string* error) {
  try {
    for (const auto& root : roots) {
      RegKey key;
      uint32_t err = OpenRoot(root, perUser, false, &key);
      if (err == ERROR_FILE_NOT_FOUND) continue;
      Check(err, root.body.line, "opening the root key");
      UnregisterBody(key, root.body);
    }
    return S_OK;
  } catch (const ApplyError& e) {
    *error = e.message;
    return HRESULT_FROM_WIN32(e.code);
  }
}

}  // namespace rzd::registrar
