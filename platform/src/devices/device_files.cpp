#include "devices/device_files.h"

#include "ipc/file_lock.h"
#include "platform/root.h"
#include "platform/text.h"

#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <fstream>
#include <system_error>

namespace rzd::devices {

namespace {

constexpr std::u16string_view kPathPrefix = u"\\\\?\\";
constexpr std::string_view kHeader = "rzd-device 1";
constexpr size_t kMaxFileName = 250;      // file systems allow 255 bytes per name
constexpr size_t kMaxEntryFile = 64 * 1024;

bool KeptInFileName(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '#' || c == '&' || c == '_' ||
         c == '{' || c == '}' || c == '-';
}

void AppendPercent(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out.push_back('%');
  out.push_back(kHex[c >> 4]);
  out.push_back(kHex[c & 0x0F]);
}

// Decodes %XX sequences; nullopt on a malformed one when `strict`, else kept literally.
std::optional<std::string> PercentDecode(std::string_view text, bool strict) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      int hi = HexDigitValue(static_cast<unsigned char>(text[i + 1]));
      int lo = HexDigitValue(static_cast<unsigned char>(text[i + 2]));
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    if (text[i] == '%' && strict) return std::nullopt;
    out.push_back(text[i]);
  }
  return out;
}

std::string EscapeValue(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
      AppendPercent(out, static_cast<unsigned char>(c));
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string EscapeValue(std::u16string_view text) { return EscapeValue(ToUtf8(text)); }

std::u16string UnescapeWide(std::string_view text) { return FromUtf8(*PercentDecode(text, false)); }

void AddLine(std::string& out, std::string_view key, std::string_view value) {
  out.append(key);
  out.push_back('\t');
  out.append(value);
  out.push_back('\n');
}

}  // namespace

std::filesystem::path TableFolder() {
  std::filesystem::path folder = SystemRoot() / "devices";
  EnsurePrivateFolder(folder);
  return folder;
}

std::optional<GUID> ClassOfInterfacePath(std::u16string_view interfacePath) {
  size_t hash = interfacePath.rfind(u'#');
  if (hash == std::u16string_view::npos) return std::nullopt;
  return ParseGuid(interfacePath.substr(hash + 1));
}

std::optional<std::string> EntryFileName(std::u16string_view interfacePath) {
  if (interfacePath.size() <= kPathPrefix.size() || interfacePath.substr(0, kPathPrefix.size()) != kPathPrefix) {
    return std::nullopt;
  }
  if (!ClassOfInterfacePath(interfacePath)) return std::nullopt;
  std::optional<std::string> utf8 = TryToUtf8(ToLower(interfacePath.substr(kPathPrefix.size())));
  if (!utf8) return std::nullopt;
  std::string name;
  for (char ch : *utf8) {
    auto c = static_cast<unsigned char>(ch);
    if (KeptInFileName(c)) {
      name.push_back(static_cast<char>(c));
    } else {
      AppendPercent(name, c);
    }
  }
  name.append(kEntrySuffix);
  if (name.size() > kMaxFileName) return std::nullopt;
  return name;
}

std::optional<std::u16string> InterfacePathFromFileName(std::string_view fileName) {
  if (fileName.size() <= kEntrySuffix.size() || fileName.front() == '.' || !fileName.ends_with(kEntrySuffix)) {
    return std::nullopt;
  }
  std::optional<std::string> decoded = PercentDecode(fileName.substr(0, fileName.size() - kEntrySuffix.size()), true);
  if (!decoded) return std::nullopt;
  std::u16string path(kPathPrefix);
  path += FromUtf8(*decoded);
  if (!ClassOfInterfacePath(path)) return std::nullopt;
  return path;
}

std::string SerializeEntry(const DeviceEntry& entry) {
  std::string out(kHeader);
  out.push_back('\n');
  AddLine(out, "path", EscapeValue(entry.interfacePath));
  AddLine(out, "class", FormatGuidA(entry.classGuid));
  for (const std::u16string& id : entry.hardwareIds) AddLine(out, "hardware_id", EscapeValue(id));
  AddLine(out, "driver_key", EscapeValue(entry.driverKey));
  AddLine(out, "started", entry.started ? "1" : "0");
  AddLine(out, "friendly_name", EscapeValue(entry.friendlyName));
  AddLine(out, "serial_number", EscapeValue(entry.serialNumber));
  AddLine(out, "backend", EscapeValue(entry.backend));
  AddLine(out, "address", EscapeValue(entry.address));
  for (const auto& [name, value] : entry.hardwareValues) {
    if (const auto* text = std::get_if<std::u16string>(&value)) {
      AddLine(out, "value_sz", EscapeValue(name) + "\t" + EscapeValue(*text));
    } else {
      AddLine(out, "value_dword", EscapeValue(name) + "\t" + std::to_string(std::get<uint32_t>(value)));
    }
  }
  return out;
}

std::optional<DeviceEntry> ParseEntry(std::string_view text) {
  size_t lineEnd = text.find('\n');
  if (text.substr(0, lineEnd) != kHeader) return std::nullopt;
  DeviceEntry entry;
  bool havePath = false;
  bool haveClass = false;
  size_t pos = lineEnd == std::string_view::npos ? text.size() : lineEnd + 1;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    size_t tab = line.find('\t');
    if (tab == std::string_view::npos) continue;
    std::string_view key = line.substr(0, tab);
    std::string_view value = line.substr(tab + 1);
    if (key == "path") {
      entry.interfacePath = UnescapeWide(value);
      havePath = true;
    } else if (key == "class") {
      if (auto guid = ParseGuid(value)) {
        entry.classGuid = *guid;
        haveClass = true;
      }
    } else if (key == "hardware_id") {
      entry.hardwareIds.push_back(UnescapeWide(value));
    } else if (key == "driver_key") {
      entry.driverKey = UnescapeWide(value);
    } else if (key == "started") {
      entry.started = value == "1";
    } else if (key == "friendly_name") {
      entry.friendlyName = UnescapeWide(value);
    } else if (key == "serial_number") {
      entry.serialNumber = UnescapeWide(value);
    } else if (key == "backend") {
      entry.backend = *PercentDecode(value, false);
    } else if (key == "address") {
      entry.address = *PercentDecode(value, false);
    } else if (key == "value_sz" || key == "value_dword") {
      size_t sep = value.find('\t');
      if (sep == std::string_view::npos) continue;
      std::u16string name = UnescapeWide(value.substr(0, sep));
      std::string_view data = value.substr(sep + 1);
      if (key == "value_sz") {
        entry.hardwareValues.emplace_back(std::move(name), UnescapeWide(data));
      } else {
        uint32_t number = 0;
        auto [end2, ec] = std::from_chars(data.data(), data.data() + data.size(), number);
        if (ec != std::errc() || end2 != data.data() + data.size()) continue;
        entry.hardwareValues.emplace_back(std::move(name), number);
      }
    }
    // Unknown keys are skipped, so an older reader accepts a newer entry.
  }
  if (!havePath || !haveClass) return std::nullopt;
  return entry;
}

std::optional<DeviceEntry> ReadEntryFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(kMaxEntryFile + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  size_t got = static_cast<size_t>(in.gcount());
  if (got > kMaxEntryFile) return std::nullopt;
  text.resize(got);
  return ParseEntry(text);
}

TableLock::TableLock(const std::filesystem::path& folder) {
  fd_ = ipc::OpenLockFile(folder / ".lock");
  if (fd_ >= 0) {
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
}

TableLock::~TableLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace rzd::devices
