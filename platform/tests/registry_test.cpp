#include "platform/registry.h"

#include "platform/process.h"
#include "platform/text.h"
#include "registry_tree.h"
#include "registry_writer_pattern.h"
#include "testsupport/file_modes.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace rzd {
namespace {

using test::RegistryTree;

class RegistryTest : public test::TempRoot {};

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
  std::vector<uint8_t> out;
  for (int b : list) out.push_back(static_cast<uint8_t>(b));
  return out;
}

std::vector<std::u16string> ValueNames(const RegKey& key) {
  std::vector<RegValue> values;
  EXPECT_EQ(key.EnumValues(&values), ERROR_SUCCESS);
  std::vector<std::u16string> names;
  for (const auto& v : values) names.push_back(v.name);
  return names;
}

std::vector<std::u16string> KeyNames(const RegKey& key) {
  std::vector<std::u16string> names;
  EXPECT_EQ(key.EnumKeys(&names), ERROR_SUCCESS);
  return names;
}

// ---- Names

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
  struct Case {
    std::u16string created;
    std::u16string other;
    bool same;
  };
  const Case cases[] = {
      {u"Corvanite", u"CORVANITE", true},
      {u"m48tz_0003", u"M48TZ_0003", true},
      {u"\u00C4nderung", u"\u00E4NDERUNG", true},  // Latin-1 letters fold too
      {u"na\u00EFve", u"NA\u00CFVE", true},
      {u"\u00FFend", u"\u0178END", true},          // y with diaeresis and its capital outside Latin-1
      {u"\u0451\u043B\u043A\u0430", u"\u0401\u041B\u041A\u0410", true},  // Cyrillic
      {u"Stra\u00DFe", u"STRASSE", false},         // no multi-letter folding
      {u"trailing ", u"trailing", false},
      {u"{6bdd1fc6-810f-11d0-bec7-08002be2092f}", u"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.created) + " / " + ToUtf8(c.other));
    RegKey parent;
    ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"SOFTWARE\\Names", &parent), ERROR_SUCCESS);
    ASSERT_EQ(parent.DeleteTree(u""), ERROR_SUCCESS);

    // Keys.
    RegKey key;
    uint32_t disposition = 0;
    ASSERT_EQ(parent.CreateSubKey(c.created, &key, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<uint32_t>(REG_CREATED_NEW_KEY));
    RegKey other;
    EXPECT_EQ(parent.OpenSubKey(c.other, &other), c.same ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(parent.CreateSubKey(c.other, &other, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<uint32_t>(c.same ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY));
    std::vector<std::u16string> expectedKeys{c.created};
    if (!c.same) expectedKeys = CompareNoCase(c.created, c.other) < 0 ? std::vector{c.created, c.other}
                                                                     : std::vector{c.other, c.created};
    EXPECT_EQ(KeyNames(parent), expectedKeys);

    // Values.
    ASSERT_EQ(key.SetDword(c.created, 1), ERROR_SUCCESS);
    ASSERT_EQ(key.SetDword(c.other, 2), ERROR_SUCCESS);
    uint32_t value = 0;
    ASSERT_EQ(key.GetDword(c.created, &value), ERROR_SUCCESS);
    EXPECT_EQ(value, c.same ? 2u : 1u);
    const std::vector<std::u16string> expectedValues =
        c.same ? std::vector{c.created} : std::vector{c.created, c.other};
    EXPECT_EQ(ValueNames(key), expectedValues);
  }
}

TEST_F(RegistryTest, InvalidNamesAreRefused) {
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"SOFTWARE\\Valid", &key), ERROR_SUCCESS);
  const std::u16string lone = std::u16string(u"x") + char16_t(0xD800);
  const std::u16string nul(u"nul\0x", 5);
  for (const auto& path : {std::u16string(u"\\Leading"), std::u16string(u"a\\\\b"), std::u16string(256, u'k'), lone, nul}) {
    SCOPED_TRACE(ToUtf8(path));
    RegKey bad;
    EXPECT_EQ(key.CreateSubKey(path, &bad), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegKey::Open(Hive::LocalMachine, path, &bad), ERROR_INVALID_PARAMETER);
  }
  for (const auto& name : {std::u16string(16384, u'v'), lone, nul}) {
    EXPECT_EQ(key.SetString(name, u"x"), ERROR_INVALID_PARAMETER);
  }
  RegKey ok;
  EXPECT_EQ(key.CreateSubKey(std::u16string(255, u'k'), &ok), ERROR_SUCCESS);
  EXPECT_EQ(key.CreateSubKey(u"Trailing\\", &ok), ERROR_SUCCESS);  // one trailing backslash is accepted
  EXPECT_EQ(key.SetString(std::u16string(16383, u'v'), u"x"), ERROR_SUCCESS);
  EXPECT_EQ(key.SetString(u"back\\slash", u"x"), ERROR_SUCCESS);  // allowed in value names
}

// ---- Order

TEST_F(RegistryTest, SubkeysEnumerateSortedWithoutCaseAndValuesInCreationOrder) {
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"SOFTWARE\\Order", &key), ERROR_SUCCESS);
  for (const char16_t* name : {u"b", u"C", u"a", u"_x", u"\u00C4", u"Z", u"\u00E4", u"a1"}) {
    RegKey sub;
    ASSERT_EQ(key.CreateSubKey(name, &sub), ERROR_SUCCESS);
  }
  // Compared as upper case: '_' sorts after the letters, A-umlaut after ASCII.
  EXPECT_EQ(KeyNames(key), (std::vector<std::u16string>{u"a", u"a1", u"b", u"C", u"Z", u"_x", u"\u00C4"}));

  for (const char16_t* name : {u"zeta", u"Alpha", u"mid", u""}) ASSERT_EQ(key.SetString(name, name), ERROR_SUCCESS);
  ASSERT_EQ(key.SetDword(u"ALPHA", 7), ERROR_SUCCESS);  // overwriting keeps place and spelling
  ASSERT_EQ(key.DeleteValue(u"ZETA"), ERROR_SUCCESS);
  ASSERT_EQ(key.SetString(u"Zeta", u"again"), ERROR_SUCCESS);  // re-created: goes last
  EXPECT_EQ(ValueNames(key), (std::vector<std::u16string>{u"Alpha", u"mid", u"", u"Zeta"}));
  uint32_t alpha = 0;
  EXPECT_EQ(key.GetDword(u"alpha", &alpha), ERROR_SUCCESS);
  EXPECT_EQ(alpha, 7u);

  RegKeyInfo info;
  ASSERT_EQ(key.QueryInfo(&info), ERROR_SUCCESS);
  EXPECT_EQ(info.subKeys, 7u);
  EXPECT_EQ(info.values, 4u);
  EXPECT_EQ(info.maxSubKeyNameLength, 2u);
  EXPECT_EQ(info.maxValueNameLength, 5u);
  EXPECT_EQ(info.maxValueDataSize, 12u);  // "again" with its terminator
}

// ---- Values

TEST_F(RegistryTest, TypedValuesAreStoredAsWindowsBytes) {
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"SOFTWARE\\Types", &key), ERROR_SUCCESS);
  ASSERT_EQ(key.SetString(u"sz", u"ab"), ERROR_SUCCESS);
  ASSERT_EQ(key.SetExpandString(u"expand", u"%P%"), ERROR_SUCCESS);
  ASSERT_EQ(key.SetDword(u"dword", 0x12345678), ERROR_SUCCESS);
  ASSERT_EQ(key.SetQword(u"qword", 0x0102030405060708ull), ERROR_SUCCESS);
  ASSERT_EQ(key.SetMultiString(u"multi", {u"a", u"bc"}), ERROR_SUCCESS);
  ASSERT_EQ(key.SetMultiString(u"empty multi", {}), ERROR_SUCCESS);
  ASSERT_EQ(key.SetBinary(u"binary", Bytes({0, 0xFF, 7})), ERROR_SUCCESS);
  ASSERT_EQ(key.SetBinary(u"empty binary", {}), ERROR_SUCCESS);
  ASSERT_EQ(key.SetValue(u"raw sz", REG_SZ, Bytes({'h', 0, 'i', 0})), ERROR_SUCCESS);  // stored as given
  ASSERT_EQ(key.SetString(u"\u00E9t\u00E9", u"\u00E9\U0001F600"), ERROR_SUCCESS);

  struct Expect {
    const char16_t* name;
    uint32_t type;
    std::vector<uint8_t> bytes;
  };
  const Expect expected[] = {
      {u"sz", REG_SZ, Bytes({'a', 0, 'b', 0, 0, 0})},
      {u"expand", REG_EXPAND_SZ, Bytes({'%', 0, 'P', 0, '%', 0, 0, 0})},
      {u"dword", REG_DWORD, Bytes({0x78, 0x56, 0x34, 0x12})},
      {u"qword", REG_QWORD, Bytes({8, 7, 6, 5, 4, 3, 2, 1})},
      {u"multi", REG_MULTI_SZ, Bytes({'a', 0, 0, 0, 'b', 0, 'c', 0, 0, 0, 0, 0})},
      {u"empty multi", REG_MULTI_SZ, Bytes({0, 0})},
      {u"binary", REG_BINARY, Bytes({0, 0xFF, 7})},
      {u"empty binary", REG_BINARY, {}},
      {u"raw sz", REG_SZ, Bytes({'h', 0, 'i', 0})},
      {u"\u00C9T\u00C9", REG_SZ, Bytes({0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE, 0, 0})},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(ToUtf8(e.name));
    uint32_t type = 0;
    std::vector<uint8_t> data;
    ASSERT_EQ(key.QueryValue(e.name, &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(type, e.type);
    EXPECT_EQ(data, e.bytes);
  }

  std::u16string text;
  uint32_t dword = 0;
  uint64_t qword = 0;
  std::vector<std::u16string> multi;
  std::vector<uint8_t> binary;
  EXPECT_EQ(key.GetString(u"expand", &text), ERROR_SUCCESS);
  EXPECT_EQ(text, u"%P%");
  EXPECT_EQ(key.GetString(u"raw sz", &text), ERROR_SUCCESS);
  EXPECT_EQ(text, u"hi");
  EXPECT_EQ(key.GetQword(u"qword", &qword), ERROR_SUCCESS);
  EXPECT_EQ(qword, 0x0102030405060708ull);
  EXPECT_EQ(key.GetMultiString(u"multi", &multi), ERROR_SUCCESS);
  EXPECT_EQ(multi, (std::vector<std::u16string>{u"a", u"bc"}));
  EXPECT_EQ(key.GetMultiString(u"empty multi", &multi), ERROR_SUCCESS);
  EXPECT_TRUE(multi.empty());
  // Typed getters refuse other types; missing values are "not found".
  EXPECT_EQ(key.GetString(u"dword", &text), ERROR_UNSUPPORTED_TYPE);
  EXPECT_EQ(key.GetDword(u"qword", &dword), ERROR_UNSUPPORTED_TYPE);
  EXPECT_EQ(key.GetQword(u"dword", &qword), ERROR_UNSUPPORTED_TYPE);
  EXPECT_EQ(key.GetBinary(u"sz", &binary), ERROR_UNSUPPORTED_TYPE);
  EXPECT_EQ(key.GetMultiString(u"sz", &multi), ERROR_UNSUPPORTED_TYPE);
  EXPECT_EQ(key.GetDword(u"missing", &dword), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(key.SetValue(u"short dword", REG_DWORD, Bytes({1, 2})), ERROR_SUCCESS);
  EXPECT_EQ(key.GetDword(u"short dword", &dword), ERROR_UNSUPPORTED_TYPE);
  // A multi-string cannot hold an empty string.
  EXPECT_EQ(key.SetMultiString(u"bad multi", {u"a", u""}), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, QueryValueWithACallerBufferAnswersMoreDataLikeWindows) {
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"SOFTWARE\\Buffers", &key), ERROR_SUCCESS);
  ASSERT_EQ(key.SetString(u"FriendlyName", u"Quarx M48tz Scanner"), ERROR_SUCCESS);  // 40 bytes
  const uint32_t needed = 40;
  struct Case {
    uint32_t given;
    bool withBuffer;
    uint32_t result;
  };
  const Case cases[] = {
      {0, false, ERROR_SUCCESS},        // size query only
      {0, true, ERROR_MORE_DATA},
      {needed - 2, true, ERROR_MORE_DATA},  // room for everything but the terminator
      {needed, true, ERROR_SUCCESS},
      {needed + 10, true, ERROR_SUCCESS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.given);
    std::vector<uint8_t> buffer(64, 0xAA);
    uint32_t type = 0;
    uint32_t size = c.given;
    EXPECT_EQ(key.QueryValue(u"friendlyname", &type, c.withBuffer ? buffer.data() : nullptr, &size), c.result);
    EXPECT_EQ(type, static_cast<uint32_t>(REG_SZ));
    EXPECT_EQ(size, needed);
    if (c.result == ERROR_SUCCESS && c.withBuffer) {
      EXPECT_EQ(DecodeRegString(std::span(buffer.data(), size)), u"Quarx M48tz Scanner");
      EXPECT_EQ(buffer[needed], 0xAA);  // nothing written past the value
    } else {
      EXPECT_EQ(buffer[0], 0xAA);  // nothing copied
    }
  }
  uint32_t size = 4;
  EXPECT_EQ(key.QueryValue(u"missing", nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  uint8_t byte = 0;
  EXPECT_EQ(key.QueryValue(u"FriendlyName", nullptr, &byte, nullptr), ERROR_INVALID_PARAMETER);
}

// ---- Keys

TEST_F(RegistryTest, CreateOpenAndDeleteKeysWithWindowsErrorNumbers) {
  RegKey key;
  EXPECT_EQ(RegKey::Open(Hive::LocalMachine, u"SOFTWARE\\Corvanite\\M48tz", &key), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(key.IsOpen());
  uint32_t disposition = 0;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"SOFTWARE\\Corvanite\\M48tz\\Counters", &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<uint32_t>(REG_CREATED_NEW_KEY));
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"software\\corvanite\\m48tz", &key, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<uint32_t>(REG_OPENED_EXISTING_KEY));
  ASSERT_EQ(key.SetDword(u"SleepTime", 15), ERROR_SUCCESS);

  // A key with subkeys cannot be deleted alone; a tree delete takes everything.
  EXPECT_EQ(RegKey::DeleteKey(Hive::LocalMachine, u"SOFTWARE\\Corvanite\\M48tz"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegistryTree(Hive::LocalMachine, u"SOFTWARE\\Corvanite"),
            "\nM48tz\nM48tz : SleepTime = d 0F000000\nM48tz\\Counters\n");
  EXPECT_EQ(key.DeleteSubKey(u"Counters"), ERROR_SUCCESS);
  EXPECT_EQ(key.DeleteSubKey(u"Counters"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.DeleteValue(u"SleepTime"), ERROR_SUCCESS);
  EXPECT_EQ(key.DeleteValue(u"SleepTime"), ERROR_FILE_NOT_FOUND);

  RegKey deep;
  ASSERT_EQ(key.CreateSubKey(u"A\\B\\C", &deep), ERROR_SUCCESS);
  ASSERT_EQ(deep.SetString(u"", u"default"), ERROR_SUCCESS);
  EXPECT_EQ(RegKey::DeleteTree(Hive::LocalMachine, u"SOFTWARE\\Corvanite\\M48tz\\A"), ERROR_SUCCESS);
  EXPECT_EQ(RegistryTree(Hive::LocalMachine, u"SOFTWARE\\Corvanite"), "\nM48tz\n");
  // The handle of a deleted key answers "key deleted"; a new key of that name is another key.
  std::u16string text;
  EXPECT_EQ(deep.GetString(u"", &text), ERROR_KEY_DELETED);
  EXPECT_EQ(deep.SetString(u"x", u"y"), ERROR_KEY_DELETED);
  RegKey again;
  ASSERT_EQ(key.CreateSubKey(u"A\\B\\C", &again), ERROR_SUCCESS);
  EXPECT_EQ(deep.GetString(u"", &text), ERROR_KEY_DELETED);

  // A tree delete of the empty path empties the key and keeps it.
  ASSERT_EQ(key.SetDword(u"v", 1), ERROR_SUCCESS);
  ASSERT_EQ(key.DeleteTree(u""), ERROR_SUCCESS);
  EXPECT_EQ(RegistryTree(Hive::LocalMachine, u"SOFTWARE\\Corvanite"), "\nM48tz\n");
  // Deleting the key itself through its handle; roots are never deleted.
  EXPECT_EQ(key.DeleteSubKey(u""), ERROR_SUCCESS);
  EXPECT_EQ(key.SetDword(u"v", 1), ERROR_KEY_DELETED);
  RegKey root;
  ASSERT_EQ(RegKey::Open(Hive::CurrentUser, u"", &root), ERROR_SUCCESS);
  EXPECT_EQ(root.DeleteSubKey(u""), ERROR_ACCESS_DENIED);

  RegKey closed;
  EXPECT_EQ(closed.SetDword(u"v", 1), ERROR_INVALID_HANDLE);
  EXPECT_EQ(closed.EnumKeys(nullptr), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, HivesAndTheCurrentUser) {
  EXPECT_EQ(ParseHive(u"hklm"), Hive::LocalMachine);
  EXPECT_EQ(ParseHive(u"HKEY_CLASSES_ROOT"), Hive::ClassesRoot);
  EXPECT_EQ(ParseHive(u"HKCU"), Hive::CurrentUser);
  EXPECT_EQ(ParseHive(u"hku"), Hive::Users);
  EXPECT_EQ(ParseHive(u"HKEY_LOCAL"), std::nullopt);
  EXPECT_EQ(HiveName(Hive::Users), u"HKEY_USERS");
  EXPECT_EQ(CurrentUserKeyName().rfind(u"S-1-5-21-", 0), 0u);

  RegKey user;
  ASSERT_EQ(RegKey::Create(Hive::CurrentUser, u"Software\\Corvanite", &user), ERROR_SUCCESS);
  ASSERT_EQ(user.SetDword(u"Mine", 1), ERROR_SUCCESS);
  uint32_t mine = 0;
  RegKey viaUsers;
  ASSERT_EQ(RegKey::Open(Hive::Users, CurrentUserKeyName() + u"\\SOFTWARE\\CORVANITE", &viaUsers), ERROR_SUCCESS);
  EXPECT_EQ(viaUsers.GetDword(u"mine", &mine), ERROR_SUCCESS);
  EXPECT_EQ(mine, 1u);
  // One view for 32- and 64-bit programs: Wow6432Node is an ordinary key name.
  RegKey wow;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"SOFTWARE\\Wow6432Node\\Corvanite", &wow), ERROR_SUCCESS);
  EXPECT_EQ(RegKey::Open(Hive::LocalMachine, u"SOFTWARE\\Corvanite", &wow), ERROR_FILE_NOT_FOUND);
}

// ---- HKEY_CLASSES_ROOT

TEST_F(RegistryTest, ClassesRootMergesTheUserClassesOverTheMachineClasses) {
  RegKey machine, user;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"SOFTWARE\\Classes\\Both", &machine), ERROR_SUCCESS);
  ASSERT_EQ(RegKey::Create(Hive::CurrentUser, u"Software\\Classes\\both", &user), ERROR_SUCCESS);
  ASSERT_EQ(machine.SetString(u"", u"machine default"), ERROR_SUCCESS);
  ASSERT_EQ(machine.SetString(u"Shared", u"machine"), ERROR_SUCCESS);
  ASSERT_EQ(machine.SetString(u"MachineOnly", u"m"), ERROR_SUCCESS);
  ASSERT_EQ(user.SetString(u"shared", u"user"), ERROR_SUCCESS);
  ASSERT_EQ(user.SetString(u"UserOnly", u"u"), ERROR_SUCCESS);
  RegKey tmp;
  ASSERT_EQ(machine.CreateSubKey(u"MachineSub", &tmp), ERROR_SUCCESS);
  ASSERT_EQ(user.CreateSubKey(u"UserSub", &tmp), ERROR_SUCCESS);
  ASSERT_EQ(RegKey::Create(Hive::CurrentUser, u"Software\\Classes\\UserKey", &tmp), ERROR_SUCCESS);

  // Reads: the user side first, then the machine side.
  RegKey merged;
  ASSERT_EQ(RegKey::Open(Hive::ClassesRoot, u"BOTH", &merged), ERROR_SUCCESS);
  std::u16string text;
  ASSERT_EQ(merged.GetString(u"Shared", &text), ERROR_SUCCESS);
  EXPECT_EQ(text, u"user");
  ASSERT_EQ(merged.GetString(u"", &text), ERROR_SUCCESS);
  EXPECT_EQ(text, u"machine default");
  EXPECT_EQ(ValueNames(merged), (std::vector<std::u16string>{u"shared", u"UserOnly", u"", u"MachineOnly"}));
  EXPECT_EQ(KeyNames(merged), (std::vector<std::u16string>{u"MachineSub", u"UserSub"}));
  RegKey classesRoot;
  ASSERT_EQ(RegKey::Open(Hive::ClassesRoot, u"", &classesRoot), ERROR_SUCCESS);
  EXPECT_EQ(KeyNames(classesRoot), (std::vector<std::u16string>{u"both", u"UserKey"}));

  // Writes: to the machine side when the key exists there (or is new), else to the user side.
  ASSERT_EQ(merged.SetString(u"Written", u"w"), ERROR_SUCCESS);
  RegKey userKey;
  ASSERT_EQ(RegKey::Open(Hive::ClassesRoot, u"UserKey", &userKey), ERROR_SUCCESS);
  ASSERT_EQ(userKey.SetString(u"Written", u"w"), ERROR_SUCCESS);
  RegKey created;
  uint32_t disposition = 0;
  ASSERT_EQ(RegKey::Create(Hive::ClassesRoot, u"NewKey\\Sub", &created, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<uint32_t>(REG_CREATED_NEW_KEY));
  ASSERT_EQ(RegKey::Create(Hive::ClassesRoot, u"UserKey\\NewUnderUser", &created), ERROR_SUCCESS);
  ASSERT_EQ(RegKey::Create(Hive::ClassesRoot, u"Both\\NewUnderBoth", &created), ERROR_SUCCESS);
  EXPECT_EQ(RegistryTree(Hive::LocalMachine, u"SOFTWARE\\Classes"),
            "\nBoth\nBoth : @ = s 'machine default'\nBoth : Shared = s 'machine'\nBoth : MachineOnly = s 'm'\n"
            "Both : Written = s 'w'\nBoth\\MachineSub\nBoth\\NewUnderBoth\nNewKey\nNewKey\\Sub\n");
  EXPECT_EQ(RegistryTree(Hive::CurrentUser, u"Software\\Classes"),
            "\nboth\nboth : shared = s 'user'\nboth : UserOnly = s 'u'\nboth\\UserSub\nUserKey\n"
            "UserKey : Written = s 'w'\nUserKey\\NewUnderUser\n");

  // Deletes act on both sides, so the name leaves the merged view.
  ASSERT_EQ(merged.DeleteValue(u"shared"), ERROR_SUCCESS);
  EXPECT_EQ(merged.GetString(u"Shared", &text), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegKey::DeleteKey(Hive::ClassesRoot, u"Both"), ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegKey::DeleteTree(Hive::ClassesRoot, u"both"), ERROR_SUCCESS);
  EXPECT_EQ(RegKey::Open(Hive::ClassesRoot, u"Both", &tmp), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegKey::Open(Hive::LocalMachine, u"SOFTWARE\\Classes\\Both", &tmp), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegKey::Open(Hive::CurrentUser, u"Software\\Classes\\Both", &tmp), ERROR_FILE_NOT_FOUND);
}

// ---- Roots, threads and processes

TEST_F(RegistryTest, AHandleStaysInItsRootWhenTheRootChanges) {
  RegKey first;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"SOFTWARE\\RootTest", &first), ERROR_SUCCESS);
  ASSERT_EQ(first.SetDword(u"Root", 1), ERROR_SUCCESS);
  {
    test::ScopedRoot second;
    RegKey other;
    EXPECT_EQ(RegKey::Open(Hive::LocalMachine, u"SOFTWARE\\RootTest", &other), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"SOFTWARE\\RootTest", &other), ERROR_SUCCESS);
    ASSERT_EQ(other.SetDword(u"Root", 2), ERROR_SUCCESS);
    ASSERT_EQ(first.SetDword(u"Later", 3), ERROR_SUCCESS);  // still the first root's key
    EXPECT_TRUE(std::filesystem::exists(second.Path() / "registry.db"));
  }
  RegKey back;
  ASSERT_EQ(RegKey::Open(Hive::LocalMachine, u"SOFTWARE\\RootTest", &back), ERROR_SUCCESS);
  uint32_t root = 0, later = 0;
  EXPECT_EQ(back.GetDword(u"Root", &root), ERROR_SUCCESS);
  EXPECT_EQ(root, 1u);
  EXPECT_EQ(back.GetDword(u"Later", &later), ERROR_SUCCESS);
  EXPECT_EQ(later, 3u);
}

// Under a common umask the database, and the write-ahead log and shared-memory index SQLite keeps
// beside it (with the database's mode), are the user's alone. Those an earlier build made open to
// others, still in use by one of its processes, are narrowed when the registry opens them.
TEST_F(RegistryTest, TheDatabaseWithItsLogAndIndexIsTheUsersAloneAlsoOneAnEarlierBuildLeftOpen) {
  const test::ScopedUmask commonMask(022);
  const char* const files[] = {"registry.db", "registry.db-wal", "registry.db-shm"};
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"SOFTWARE\\Modes", &key), ERROR_SUCCESS);
  ASSERT_EQ(key.SetDword(u"Made", 1), ERROR_SUCCESS);
  for (const char* file : files) EXPECT_EQ(test::ModeOf(RootPath() / file), 0600u) << file;

  test::ScopedRoot earlier;
  sqlite3* old = nullptr;
  ASSERT_EQ(sqlite3_open((earlier.Path() / "registry.db").c_str(), &old), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(old, "PRAGMA journal_mode=WAL; CREATE TABLE earlier(x)", nullptr, nullptr, nullptr),
            SQLITE_OK);
  for (const char* file : files) ASSERT_EQ(test::ModeOf(earlier.Path() / file), 0644u) << file;
  RegKey other;
  EXPECT_EQ(RegKey::Create(Hive::LocalMachine, u"SOFTWARE\\Modes", &other), ERROR_SUCCESS);
  EXPECT_EQ(other.SetDword(u"Narrowed", 1), ERROR_SUCCESS);
  for (const char* file : files) EXPECT_EQ(test::ModeOf(earlier.Path() / file), 0600u) << file;
  sqlite3_close(old);
}

std::optional<ChildProcess> StartWriter(const std::string& key, const std::string& prefix, int count, int size,
                                        const std::string& goFile, const std::string& progressFile) {
  return ChildProcess::Start(test::BinaryDir() / "registry_writer",
                             {key, prefix, std::to_string(count), std::to_string(size), goFile, progressFile});
}

void ExpectWrittenValues(const RegKey& key, const std::u16string& prefix, uint32_t count, size_t size) {
  for (uint32_t i = 0; i < count; ++i) {
    std::vector<uint8_t> data;
    uint32_t type = 0;
    ASSERT_EQ(key.QueryValue(prefix + FromUtf8(std::to_string(i)), &type, &data), ERROR_SUCCESS)
        << ToUtf8(prefix) << i;
    ASSERT_EQ(type, static_cast<uint32_t>(REG_BINARY));
    ASSERT_EQ(data, test::RegistryWriterPattern(i, size)) << ToUtf8(prefix) << i;
  }
}

TEST_F(RegistryTest, ConcurrentWritersInTwoProcessesAndFourThreadsLoseNothing) {
  const std::string go = (RootPath() / "go").string();
  auto a = StartWriter("SOFTWARE\\Shared", "a", 1000, 64, go, "-");
  auto b = StartWriter("SOFTWARE\\Shared", "b", 1000, 64, go, "-");
  ASSERT_TRUE(a && b);
  std::ofstream(go).put('1');

  // Meanwhile four threads of this process write through one handle.
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"SOFTWARE\\Shared", &key), ERROR_SUCCESS);
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (uint32_t i = 0; i < 250; ++i) {
        std::u16string name = u"t" + FromUtf8(std::to_string(t)) + u"_" + FromUtf8(std::to_string(i));
        if (key.SetDword(name, i) != ERROR_SUCCESS) ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(a->Wait(120000), 0);
  EXPECT_EQ(b->Wait(120000), 0);

  RegKeyInfo info;
  ASSERT_EQ(key.QueryInfo(&info), ERROR_SUCCESS);
  EXPECT_EQ(info.values, 3000u);
  ExpectWrittenValues(key, u"a", 1000, 64);
  ExpectWrittenValues(key, u"b", 1000, 64);
  for (int t = 0; t < 4; ++t) {
    for (uint32_t i = 0; i < 250; i += 1) {
      uint32_t value = 0;
      ASSERT_EQ(key.GetDword(u"t" + FromUtf8(std::to_string(t)) + u"_" + FromUtf8(std::to_string(i)), &value),
                ERROR_SUCCESS);
      ASSERT_EQ(value, i);
    }
  }
}

// The last complete line of the progress file: the highest index known to be committed.
std::optional<uint32_t> LastCommitted(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t end = content.rfind('\n');
  if (end == std::string::npos) return std::nullopt;
  size_t start = content.rfind('\n', end - 1);
  start = start == std::string::npos ? 0 : start + 1;
  return static_cast<uint32_t>(std::stoul(content.substr(start, end - start)));
}

TEST_F(RegistryTest, AWriterKilledMidWayLeavesEveryCommittedValue) {
  const size_t size = 16 * 1024;  // large values keep each transaction busy for a while
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    const std::string prefix = "r" + std::to_string(round) + "_";
    const auto progress = RootPath() / ("progress" + std::to_string(round));
    auto writer = StartWriter("SOFTWARE\\Crash", prefix, 0, size, "-", progress.string());
    ASSERT_TRUE(writer);
    // Kill it at a different point each round, once it has committed a fair number of values.
    const uint32_t target = 100 + 97 * round;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (LastCommitted(progress).value_or(0) < target) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "writer made no progress";
      ASSERT_FALSE(writer->Wait(0).has_value()) << "writer ended early";
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    writer->Kill();
    const uint32_t committed = *LastCommitted(progress);

    RegKey key;
    ASSERT_EQ(RegKey::Open(Hive::LocalMachine, u"SOFTWARE\\Crash", &key), ERROR_SUCCESS);
    ExpectWrittenValues(key, FromUtf8(prefix), committed + 1, size);
    // At most the one value after the last recorded one may have been committed as well.
    std::vector<RegValue> values;
    ASSERT_EQ(key.EnumValues(&values), ERROR_SUCCESS);
    size_t ofRound = 0;
    for (const auto& v : values) ofRound += ToUtf8(v.name).rfind(prefix, 0) == 0 ? 1 : 0;
    EXPECT_GE(ofRound, committed + 1);
    EXPECT_LE(ofRound, committed + 2);
    // The database still takes writes.
    ASSERT_EQ(key.SetDword(FromUtf8(prefix + "after"), 1), ERROR_SUCCESS);
  }
}

// ---- rzd-reg

std::string RunTool(const std::filesystem::path& out, const std::string& arguments) {
  std::string command = "'" + (test::BinaryDir() / "rzd-reg").string() + "' " + arguments + " > '" + out.string() + "' 2>&1";
  auto child = ChildProcess::Start("/bin/sh", {"-c", command});
  EXPECT_TRUE(child);
  if (!child) return {};
  std::optional<int> code = child->Wait(60000);
  std::ifstream in(out);
  std::stringstream text;
  text << in.rdbuf();
  return "exit " + std::to_string(code.value_or(-1000)) + "\n" + text.str();
}

TEST_F(RegistryTest, TheRegToolSetsQueriesDeletesAndDumps) {
  auto out = RootPath() / "tool.txt";
  EXPECT_EQ(RunTool(out, "set 'HKLM\\SOFTWARE\\Corvanite\\M48tz' '' REG_SZ 'Quarx M48tz'"), "exit 0\n");
  EXPECT_EQ(RunTool(out, "set 'HKLM\\SOFTWARE\\Corvanite\\M48tz' SleepTime REG_DWORD 0x1e"), "exit 0\n");
  EXPECT_EQ(RunTool(out, "set 'HKLM\\SOFTWARE\\Corvanite\\M48tz' Ids REG_MULTI_SZ 'a\\0b'"), "exit 0\n");
  EXPECT_EQ(RunTool(out, "set 'HKLM\\SOFTWARE\\Corvanite\\M48tz\\Blob' Data REG_BINARY 00ff10"), "exit 0\n");

  // What the tool wrote is what the library reads.
  RegKey key;
  ASSERT_EQ(RegKey::Open(Hive::LocalMachine, u"SOFTWARE\\Corvanite\\M48tz", &key), ERROR_SUCCESS);
  uint32_t sleep = 0;
  EXPECT_EQ(key.GetDword(u"SleepTime", &sleep), ERROR_SUCCESS);
  EXPECT_EQ(sleep, 30u);

  EXPECT_EQ(RunTool(out, "query 'HKLM\\SOFTWARE\\Corvanite\\M48tz' sleeptime"),
            "exit 0\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Corvanite\\M48tz\n    SleepTime    REG_DWORD    0x1e\n");
  EXPECT_EQ(RunTool(out, "dump 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvanite'"),
            "exit 0\n"
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvanite\n\n"
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvanite\\M48tz\n"
            "    (Default)    REG_SZ    Quarx M48tz\n"
            "    SleepTime    REG_DWORD    0x1e\n"
            "    Ids    REG_MULTI_SZ    a\\0b\n\n"
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvanite\\M48tz\\Blob\n"
            "    Data    REG_BINARY    00FF10\n\n");
  EXPECT_EQ(RunTool(out, "query 'HKLM\\SOFTWARE\\Corvanite\\M48tz' Missing"), "exit 1\nrzd-reg: Missing: error 2\n");
  EXPECT_EQ(RunTool(out, "delete 'HKLM\\SOFTWARE\\Corvanite\\M48tz'"), "exit 0\n");
  EXPECT_EQ(RegistryTree(Hive::LocalMachine, u"SOFTWARE\\Corvanite"), "\n");
  EXPECT_EQ(RunTool(out, "set 'HKLM\\X' Y REG_DWORD notanumber").substr(0, 7), "exit 2\n");
}


// A connection of another program that holds the database's write lock (BEGIN IMMEDIATE) until
// it is destroyed, as a writer stopped inside its transaction does.
class WriteLockHolder {
 public:
  explicit WriteLockHolder(const std::filesystem::path& root) {
    EXPECT_EQ(sqlite3_open((root / "registry.db").c_str(), &db_), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  }
  ~WriteLockHolder() {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db_);
  }
  WriteLockHolder(const WriteLockHolder&) = delete;
  WriteLockHolder& operator=(const WriteLockHolder&) = delete;

 private:
  sqlite3* db_ = nullptr;
};

TEST_F(RegistryTest, ANewProcessReadsWhileAWriterHoldsTheDatabase) {
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"SOFTWARE\\Corvanite\\M48tz", &key), ERROR_SUCCESS);
  ASSERT_EQ(key.SetDword(u"SleepTime", 30), ERROR_SUCCESS);
  WriteLockHolder holder(RootPath());
  // The tool is a new process: its first registry access finds everything in place and needs no
  // write, so the held lock does not keep it waiting (it failed with 170 after the busy time-out).
  EXPECT_EQ(RunTool(RootPath() / "tool.txt", "query 'HKLM\\SOFTWARE\\Corvanite\\M48tz' SleepTime"),
            "exit 0\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Corvanite\\M48tz\n    SleepTime    REG_DWORD    0x1e\n");
  // This process reads too.
  uint32_t sleep = 0;
  EXPECT_EQ(key.GetDword(u"SleepTime", &sleep), ERROR_SUCCESS);
  EXPECT_EQ(sleep, 30u);
}

TEST_F(RegistryTest, AWriteWhileAnotherWriterHoldsTheDatabaseFailsWithBusyAfterTheBusyTimeOut) {
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"SOFTWARE\\Corvanite\\M48tz", &key), ERROR_SUCCESS);
  {
    WriteLockHolder holder(RootPath());
    EXPECT_EQ(key.SetDword(u"SleepTime", 30), ERROR_BUSY);
    EXPECT_EQ(ERROR_BUSY, 170u);
  }
  uint32_t sleep = 0;
  EXPECT_EQ(key.GetDword(u"SleepTime", &sleep), ERROR_FILE_NOT_FOUND);  // the failed write left nothing
  EXPECT_EQ(key.SetDword(u"SleepTime", 30), ERROR_SUCCESS);
}

}  // namespace
}  // namespace rzd
