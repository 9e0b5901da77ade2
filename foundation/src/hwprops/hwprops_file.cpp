// HwPropsFile: where HWProps.ini lies, reading with defaults, writing with the byte-order mark.
#include "foundation/hwprops.h"

#include "platform/errors.h"
#include "platform/ini.h"
#include "platform/root.h"
#include "platform/text.h"

#include <system_error>

namespace fs = std::filesystem;

namespace rzd {

namespace {

// A model name must name exactly one folder below the maker's folder.
bool IsPlainFolderName(std::u16string_view name) {
  return !name.empty() && name != u"." && name != u".." && name.find_first_of(u"/\\") == std::u16string_view::npos &&
         name.find(u'\0') == std::u16string_view::npos;
}

}  // namespace

HwPropsFile::HwPropsFile(std::u16string_view modelName) {
  if (!IsPlainFolderName(modelName)) return;
  path_ = KnownFolderPath(KnownFolder::ProgramFilesX86) / ToUtf8(kHwPropsMakerFolder) / ToUtf8(modelName) /
          ToUtf8(kHwPropsFileName);
}

HwPropsFile HwPropsFile::AtPath(fs::path file) {
  HwPropsFile result;
  result.path_ = std::move(file);
  return result;
}

int32_t HwPropsFile::ReadInt(HwProp prop) const {
  const HwPropInfo& info = GetHwPropInfo(prop);
  return ReadInt(info.section, info.key, info.defaultInt);
}

int32_t HwPropsFile::ReadInt(std::u16string_view section, std::u16string_view key, int32_t defaultValue) const {
  if (path_.empty()) return defaultValue;
  return GetPrivateProfileInt(section, key, defaultValue, path_);
}

std::u16string HwPropsFile::ReadString(HwProp prop) const {
  const HwPropInfo& info = GetHwPropInfo(prop);
  std::u16string fallback = info.defaultText ? std::u16string(info.defaultText) : FormatW(u"%d", info.defaultInt);
  return ReadString(info.section, info.key, fallback);
}

std::u16string HwPropsFile::ReadString(std::u16string_view section, std::u16string_view key,
                                       std::u16string_view defaultValue) const {
  std::u16string value;
  if (!path_.empty()) value = GetPrivateProfileString(section, key, u"", path_);
  if (value.size() > kHwPropsMaxText) value.resize(kHwPropsMaxText);
  return value.empty() ? std::u16string(defaultValue) : value;
}

bool HwPropsFile::IsOn(HwProp prop) const {
  int32_t value = ReadInt(prop);
  return prop == HwProp::MaintenanceWarning ? value == 1 : value != 0;
}

bool HwPropsFile::EnsureMarked() const {
  if (path_.empty()) return false;
  if (CreatePrivateFolders(path_.parent_path()) != ERROR_SUCCESS) return false;
  return EnsureUnicodeProfileFile(path_);
}

bool HwPropsFile::Write(std::u16string_view section, std::u16string_view key, std::u16string_view value) const {
  if (!EnsureMarked()) return false;
  return WritePrivateProfileString(section, key, value, path_);
}

bool HwPropsFile::WriteInt(HwProp prop, int32_t value) const {
  const HwPropInfo& info = GetHwPropInfo(prop);
  return Write(info.section, info.key, FormatW(u"%d", value));
}

bool HwPropsFile::WriteString(HwProp prop, std::u16string_view value) const {
  const HwPropInfo& info = GetHwPropInfo(prop);
  return Write(info.section, info.key, value);
}

fs::path HwPropsFile::VirtualStoreCopy(const fs::path& localAppData) const {
  if (path_.empty()) return {};
  fs::path root = SystemRoot().lexically_normal();
  fs::path relative = path_.lexically_normal().lexically_relative(root);
  if (relative.empty() || *relative.begin() == "..") return {};
  return localAppData / "VirtualStore" / relative;
}

bool HwPropsFile::DeleteVirtualStoreCopy(const fs::path& localAppData) const {
  fs::path copy = VirtualStoreCopy(localAppData);
  if (copy.empty()) return true;  // nothing can be redirected
  std::error_code ec;
  fs::remove(copy, ec);
  return !ec;
}

}  // namespace rzd
