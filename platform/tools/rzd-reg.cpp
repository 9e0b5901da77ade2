// rzd-reg: look at and change the registry of the system root ($RZD_ROOT).
//
//   rzd-reg dump [KEY]                 the key (default: HKLM and HKU) with everything beneath
//   rzd-reg query KEY [NAME]           the key's values, or one value
//   rzd-reg set KEY NAME TYPE DATA     write a value (the key is created when missing)
//   rzd-reg delete KEY [NAME]          delete the key with everything beneath, or one value
//   rzd-reg register FILE [VAR=VALUE...]    apply a registry script (UTF-8) with replacements
//   rzd-reg unregister FILE [VAR=VALUE...]  remove what the script registers
//
// KEY starts with a hive (HKLM, HKU, HKCU, HKCR or the long names), e.g. HKLM\SOFTWARE\Corvanite.
// NAME "" is the default value. TYPE is REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_QWORD (DATA decimal
// or 0x hex), REG_BINARY (DATA hex digits) or REG_MULTI_SZ (strings separated by \0).
#include "platform/registrar.h"
#include "platform/registry.h"
#include "platform/text.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <optional>
#include <string>
#include <vector>

namespace {

using rzd::FromUtf8;
using rzd::RegKey;
using rzd::ToUtf8;

struct KeyPath {
  rzd::Hive hive;
  std::u16string path;  // below the hive
};

std::optional<KeyPath> ParseKey(const std::string& text) {
  std::u16string key = FromUtf8(text);
  size_t slash = key.find(u'\\');
  auto hive = rzd::ParseHive(key.substr(0, slash));
  if (!hive) return std::nullopt;
  return KeyPath{*hive, slash == std::u16string::npos ? std::u16string() : key.substr(slash + 1)};
}

std::string FullName(const KeyPath& key) {
  std::u16string name = rzd::HiveName(key.hive);
  if (!key.path.empty()) name += u"\\" + key.path;
  return ToUtf8(name);
}

int Fail(const std::string& what, uint32_t err) {
  std::cerr << "rzd-reg: " << what << ": error " << err << "\n";
  return 1;
}

std::string TypeName(uint32_t type) {
  switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_QWORD: return "REG_QWORD";
    default: return "REG_TYPE_" + std::to_string(type);
  }
}

std::optional<uint32_t> ParseType(const std::string& text) {
  for (uint32_t type : {REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_QWORD}) {
    if (rzd::EqualsNoCase(FromUtf8(text), FromUtf8(TypeName(type)))) return type;
  }
  return std::nullopt;
}

std::string Hex(const std::vector<uint8_t>& data) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (uint8_t b : data) {
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 15]);
  }
  return out;
}

std::string FormatData(uint32_t type, const std::vector<uint8_t>& data) {
  uint64_t number = 0;
  for (size_t i = 0; i < data.size() && i < 8; ++i) number |= static_cast<uint64_t>(data[i]) << (8 * i);
  char buffer[32];
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return ToUtf8(rzd::DecodeRegString(data));
    case REG_MULTI_SZ: {
      std::string out;
      for (const auto& s : rzd::DecodeRegMultiString(data)) out += (out.empty() ? "" : "\\0") + ToUtf8(s);
      return out;
    }
    case REG_DWORD:
    case REG_QWORD:
      if (data.size() != (type == REG_DWORD ? 4u : 8u)) return Hex(data);
      std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(number));
      return buffer;
    default:
      return Hex(data);
  }
}

void PrintValue(const rzd::RegValue& value) {
  std::string name = value.name.empty() ? "(Default)" : ToUtf8(value.name);
  std::cout << "    " << name << "    " << TypeName(value.type) << "    " << FormatData(value.type, value.data) << "\n";
}

uint32_t Dump(const RegKey& key, const std::string& name) {
  std::vector<rzd::RegValue> values;
  std::vector<std::u16string> subkeys;
  if (uint32_t err = key.EnumValues(&values)) return err;
  if (uint32_t err = key.EnumKeys(&subkeys)) return err;
  std::cout << name << "\n";
  for (const auto& value : values) PrintValue(value);
  std::cout << "\n";
  for (const auto& sub : subkeys) {
    RegKey child;
    if (key.OpenSubKey(sub, &child) != ERROR_SUCCESS) continue;  // deleted meanwhile
    if (uint32_t err = Dump(child, name + "\\" + ToUtf8(sub))) return err;
  }
  return ERROR_SUCCESS;
}

std::optional<std::vector<uint8_t>> ParseData(uint32_t type, const std::string& text) {
  std::u16string wide = FromUtf8(text);
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return rzd::EncodeRegString(wide);
    case REG_MULTI_SZ: {
      std::vector<std::u16string> strings;
      size_t start = 0;
      while (!wide.empty()) {
        size_t end = wide.find(u"\\0", start);
        strings.push_back(wide.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start));
        if (strings.back().empty()) return std::nullopt;
        if (end == std::u16string::npos) break;
        start = end + 2;
      }
      return rzd::EncodeRegMultiString(strings);
    }
    case REG_DWORD:
    case REG_QWORD: {
      char* end = nullptr;
      errno = 0;
      unsigned long long number = std::strtoull(text.c_str(), &end, 0);
      if (text.empty() || *end != '\0' || errno != 0 || text[0] == '-' ||
          (type == REG_DWORD && number > 0xFFFFFFFFull)) {
        return std::nullopt;
      }
      std::vector<uint8_t> out;
      for (int i = 0; i < (type == REG_DWORD ? 4 : 8); ++i) out.push_back(static_cast<uint8_t>(number >> (8 * i)));
      return out;
    }
    default: {
      if (text.size() % 2 != 0) return std::nullopt;
      std::vector<uint8_t> out;
      for (size_t i = 0; i < text.size(); i += 2) {
        char* end = nullptr;
        std::string pair = text.substr(i, 2);
        unsigned long byte = std::strtoul(pair.c_str(), &end, 16);
        if (*end != '\0' || !std::isxdigit(static_cast<unsigned char>(pair[0]))) return std::nullopt;
        out.push_back(static_cast<uint8_t>(byte));
      }
      return out;
    }
  }
}

int Usage() {
  std::cerr << "usage: rzd-reg dump [KEY]\n"
               "       rzd-reg query KEY [NAME]\n"
               "       rzd-reg set KEY NAME TYPE DATA\n"
               "       rzd-reg delete KEY [NAME]\n"
               "       rzd-reg register FILE [VAR=VALUE...]\n"
               "       rzd-reg unregister FILE [VAR=VALUE...]\n";
  return 2;
}

// register / unregister: the script file, then VAR=VALUE replacements.
int RunScript(const std::vector<std::string>& args) {
  std::ifstream in(args[1], std::ios::binary);
  if (!in) {
    std::cerr << "rzd-reg: cannot read " << args[1] << "\n";
    return 1;
  }
  std::stringstream text;
  text << in.rdbuf();
  rzd::Registrar registrar;
  for (size_t i = 2; i < args.size(); ++i) {
    size_t eq = args[i].find('=');
    if (eq == std::string::npos) return Usage();
    registrar.AddReplacement(FromUtf8(args[i].substr(0, eq)), FromUtf8(args[i].substr(eq + 1)));
  }
  std::u16string script = FromUtf8(text.str());
  HRESULT hr = args[0] == "register" ? registrar.Register(script) : registrar.Unregister(script);
  if (FAILED(hr)) {
    std::cerr << "rzd-reg: " << args[0] << " failed (0x" << std::hex << static_cast<uint32_t>(hr) << std::dec
              << "): " << registrar.LastError() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage();
  const std::string& command = args[0];
  if (command == "dump" && args.size() <= 2) {
    std::vector<KeyPath> keys;
    if (args.size() == 2) {
      auto key = ParseKey(args[1]);
      if (!key) return Usage();
      keys.push_back(*key);
    } else {
      keys = {{rzd::Hive::LocalMachine, {}}, {rzd::Hive::Users, {}}};
    }
    for (const auto& key : keys) {
      RegKey handle;
      if (uint32_t err = RegKey::Open(key.hive, key.path, &handle)) return Fail(FullName(key), err);
      if (uint32_t err = Dump(handle, FullName(key))) return Fail(FullName(key), err);
    }
    return 0;
  }
  if (args.size() < 2) return Usage();
  if (command == "register" || command == "unregister") return RunScript(args);
  auto key = ParseKey(args[1]);
  if (!key) return Usage();
  if (command == "query" && args.size() <= 3) {
    RegKey handle;
    if (uint32_t err = RegKey::Open(key->hive, key->path, &handle)) return Fail(FullName(*key), err);
    std::vector<rzd::RegValue> values;
    if (uint32_t err = handle.EnumValues(&values)) return Fail(FullName(*key), err);
    if (args.size() == 3) {
      std::u16string name = FromUtf8(args[2]);
      std::erase_if(values, [&](const rzd::RegValue& v) { return !rzd::EqualsNoCase(v.name, name); });
      if (values.empty()) return Fail(args[2], ERROR_FILE_NOT_FOUND);
    }
    std::cout << FullName(*key) << "\n";
    for (const auto& value : values) PrintValue(value);
    return 0;
  }
  if (command == "set" && args.size() == 5) {
    auto type = ParseType(args[3]);
    if (!type) return Usage();
    auto data = ParseData(*type, args[4]);
    if (!data) {
      std::cerr << "rzd-reg: invalid data for " << args[3] << ": " << args[4] << "\n";
      return 2;
    }
    RegKey handle;
    if (uint32_t err = RegKey::Create(key->hive, key->path, &handle)) return Fail(FullName(*key), err);
    if (uint32_t err = handle.SetValue(FromUtf8(args[2]), *type, *data)) return Fail(args[2], err);
    return 0;
  }
  if (command == "delete" && args.size() <= 3) {
    if (args.size() == 3) {
      RegKey handle;
      if (uint32_t err = RegKey::Open(key->hive, key->path, &handle)) return Fail(FullName(*key), err);
      if (uint32_t err = handle.DeleteValue(FromUtf8(args[2]))) return Fail(args[2], err);
      return 0;
    }
    if (key->path.empty()) {
      std::cerr << "rzd-reg: refusing to delete a whole hive\n";
      return 2;
    }
    if (uint32_t err = RegKey::DeleteTree(key->hive, key->path)) return Fail(FullName(*key), err);
    return 0;
  }
  return Usage();
}
