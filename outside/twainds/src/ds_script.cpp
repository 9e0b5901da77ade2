// Reading the data source's script.
#include "ds_script.h"

#include "platform/ini.h"
#include "platform/text.h"
#include "twainds/script.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace rzd::twainds {

namespace {

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, ',')) {
    size_t first = part.find_first_not_of(" \t");
    size_t last = part.find_last_not_of(" \t");
    parts.push_back(first == std::string::npos ? std::string() : part.substr(first, last - first + 1));
  }
  return parts;
}

long Number(const std::string& text) { return std::strtol(text.c_str(), nullptr, 0); }

FailRule ParseRule(const std::string& text) {
  FailRule rule;
  std::vector<std::string> parts = SplitList(text);
  if (!parts.empty() && UpperAscii(parts[0]) == "THROW") {
    rule.raise = true;
    if (parts.size() > 1) rule.nth = static_cast<int>(Number(parts[1]));
    return rule;
  }
  if (parts.size() > 0) rule.rc = static_cast<TW_UINT16>(Number(parts[0]));
  rule.cc = parts.size() > 1 ? static_cast<TW_UINT16>(Number(parts[1])) : TWCC_SUCCESS;
  if (parts.size() > 2) rule.nth = static_cast<int>(Number(parts[2]));
  return rule;
}

}  // namespace

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

DsScript LoadScript() {
  DsScript script;
  const std::filesystem::path file = ScriptPath();
  auto value = [&](const char16_t* key) { return ToUtf8(GetPrivateProfileString(u"Source", key, u"", file)); };

  if (std::string v = value(u"Sheets"); !v.empty()) script.sheets = static_cast<int>(Number(v));
  if (std::string v = value(u"Duplex"); !v.empty()) script.duplex = Number(v) != 0;
  if (std::string v = value(u"PixelType"); !v.empty()) script.pixelType = static_cast<TW_UINT16>(Number(v));
  if (std::string v = value(u"BitDepth"); !v.empty()) script.bitDepth = static_cast<int>(Number(v));
  if (std::string v = value(u"Compression"); !v.empty()) script.compression = static_cast<TW_UINT16>(Number(v));
  if (std::string v = value(u"Resolution"); !v.empty()) script.resolution = std::strtod(v.c_str(), nullptr);
  if (std::string v = value(u"Frame"); !v.empty()) {
    std::vector<std::string> edges = SplitList(v);
    for (size_t i = 0; i < 4 && i < edges.size(); ++i) script.frame[i] = std::strtod(edges[i].c_str(), nullptr);
  }
  if (std::string v = value(u"Units"); !v.empty()) {
    script.units.clear();
    for (const std::string& unit : SplitList(v)) script.units.push_back(static_cast<TW_UINT16>(Number(unit)));
  }
  for (const std::string& id : SplitList(value(u"Unsupported"))) {
    if (!id.empty()) script.unsupported.insert(static_cast<TW_UINT16>(Number(id)));
  }
  const std::string signal = UpperAscii(value(u"Signal"));
  if (signal == "CALLBACK") script.signal = Signal::Callback;
  if (signal == "INVOKE") script.signal = Signal::Invoke;
  if (signal == "NONE") script.signal = Signal::None;
  if (UpperAscii(value(u"Announce")) == "CLOSEDSREQ") script.announce = MSG_CLOSEDSREQ;
  script.noDs2 = Number(value(u"NoDS2")) != 0;
  if (std::string v = value(u"ReportedWidth"); !v.empty()) script.reportedWidth = Number(v);
  if (std::string v = value(u"ReportedLength"); !v.empty()) script.reportedLength = Number(v);
  script.claimExtraBytes = static_cast<uint32_t>(std::max(0L, Number(value(u"ClaimExtraBytes"))));
  for (const std::string& name : SplitList(value(u"SourceNames"))) {
    if (!name.empty()) script.sourceNames.push_back(name);
  }
  if (std::string v = value(u"SourceNameType"); !v.empty()) script.sourceNameType = static_cast<TW_UINT16>(Number(v));
  for (const std::string& name : SplitList(value(u"CameraEnabled"))) {
    if (!name.empty()) script.cameraEnabled.insert(name);
  }
  script.printerText = value(u"PrinterText");
  for (const std::string& id : SplitList(value(u"UnavailableInfo"))) {
    if (!id.empty()) script.unavailableInfo.insert(static_cast<TW_UINT16>(Number(id)));
  }

  for (const std::u16string& key : GetPrivateProfileKeyNames(u"Fail", file)) {
    script.fails[UpperAscii(ToUtf8(key))] = ParseRule(ToUtf8(GetPrivateProfileString(u"Fail", key, u"", file)));
  }
  for (const std::u16string& key : GetPrivateProfileKeyNames(u"Broken", file)) {
    script.broken[static_cast<TW_UINT16>(Number(ToUtf8(key)))] =
        UpperAscii(ToUtf8(GetPrivateProfileString(u"Broken", key, u"", file)));
  }
  return script;
}

std::optional<FailRule> FindRule(const DsScript& script, const std::string& numbers, int count) {
  auto it = script.fails.find(UpperAscii(numbers));
  if (it == script.fails.end()) return std::nullopt;
  if (it->second.nth != 0 && it->second.nth != count) return std::nullopt;
  return it->second;
}

}  // namespace rzd::twainds
