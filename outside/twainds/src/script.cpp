// Paths, triplet names, the script builder and the log reader of the scripted data source.
#include "twainds/script.h"

#include "engine/page_pattern.h"

#include "platform/ini.h"
#include "platform/root.h"
#include "platform/text.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <utility>

namespace rzd::twainds {

namespace {

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%0*X", digits, value);
  return text;
}

const char* DataGroupName(TW_UINT32 dataGroup) {
  switch (dataGroup) {
    case DG_CONTROL: return "DG_CONTROL";
    case DG_IMAGE: return "DG_IMAGE";
    default: return nullptr;
  }
}

const char* DataArgumentTypeName(TW_UINT32 dataGroup, TW_UINT16 dat) {
  switch (dat) {
    case DAT_NULL: return "DAT_NULL";
    case DAT_CAPABILITY: return "DAT_CAPABILITY";
    case DAT_EVENT: return "DAT_EVENT";
    case DAT_IDENTITY: return "DAT_IDENTITY";
    case DAT_PENDINGXFERS: return "DAT_PENDINGXFERS";
    case DAT_SETUPMEMXFER: return "DAT_SETUPMEMXFER";
    case DAT_STATUS: return "DAT_STATUS";
    case DAT_USERINTERFACE: return "DAT_USERINTERFACE";
    case DAT_CUSTOMDSDATA: return "DAT_CUSTOMDSDATA";
    case DAT_CALLBACK: return "DAT_CALLBACK";
    case DAT_ENTRYPOINT: return "DAT_ENTRYPOINT";
    case DAT_IMAGEINFO: return "DAT_IMAGEINFO";
    case DAT_IMAGELAYOUT: return "DAT_IMAGELAYOUT";
    case DAT_IMAGEMEMXFER: return "DAT_IMAGEMEMXFER";
    case DAT_GRAYRESPONSE: return "DAT_GRAYRESPONSE";
    case DAT_RGBRESPONSE: return "DAT_RGBRESPONSE";
    case DAT_EXTIMAGEINFO_DS: return dataGroup == DG_IMAGE ? "DAT_EXTIMAGEINFO_DS" : nullptr;
    default: return nullptr;
  }
}

const char* MessageName(TW_UINT16 dat, TW_UINT16 msg) {
  switch (msg) {
    case MSG_NULL: return "MSG_NULL";
    case MSG_GET: return "MSG_GET";
    case MSG_GETCURRENT: return "MSG_GETCURRENT";
    case MSG_GETDEFAULT: return "MSG_GETDEFAULT";
    case MSG_SET: return "MSG_SET";
    case MSG_RESET: return "MSG_RESET";
    case MSG_XFERREADY: return "MSG_XFERREADY";
    case MSG_CLOSEDSREQ: return "MSG_CLOSEDSREQ";
    case MSG_CLOSEDSOK: return "MSG_CLOSEDSOK";
    case MSG_OPENDS: return "MSG_OPENDS";
    case MSG_CLOSEDS: return "MSG_CLOSEDS";
    case MSG_DISABLEDS: return "MSG_DISABLEDS";
    case MSG_ENABLEDS: return "MSG_ENABLEDS";
    case MSG_PROCESSEVENT: return "MSG_PROCESSEVENT";
    case MSG_ENDXFER: return "MSG_ENDXFER";
    case MSG_INVOKE_CALLBACK: return "MSG_INVOKE_CALLBACK";
    case MSG_DS_GETIDENTITY: return dat == DAT_IDENTITY ? "MSG_DS_GETIDENTITY" : nullptr;
    case MSG_DS_USER2: return dat == DAT_USERINTERFACE ? "MSG_DS_USER2" : nullptr;
    case MSG_DS_USER3: return dat == DAT_USERINTERFACE ? "MSG_DS_USER3" : nullptr;
    case MSG_DS_NETWAIT: return dat == DAT_USERINTERFACE ? "MSG_DS_NETWAIT" : nullptr;
    default: return nullptr;
  }
}

// Reads "rc=<n>" and the like.
uint16_t NumberAfter(const std::string& token, const char* prefix) {
  const size_t length = std::char_traits<char>::length(prefix);
  if (token.compare(0, length, prefix) != 0) return 0;
  return static_cast<uint16_t>(std::strtoul(token.c_str() + length, nullptr, 10));
}

}  // namespace

std::filesystem::path DataFolder() { return SystemRoot() / "twainds"; }
std::filesystem::path ScriptPath() { return DataFolder() / "script.ini"; }
std::filesystem::path LogPath() { return DataFolder() / "triplets.log"; }

std::string TripletName(TW_UINT32 dataGroup, TW_UINT16 dataArgumentType, TW_UINT16 message) {
  const char* dg = DataGroupName(dataGroup);
  const char* dat = DataArgumentTypeName(dataGroup, dataArgumentType);
  const char* msg = MessageName(dataArgumentType, message);
  return (dg ? std::string(dg) : Hex(dataGroup, 4)) + "/" + (dat ? std::string(dat) : Hex(dataArgumentType, 4)) +
         "/" + (msg ? std::string(msg) : Hex(message, 4));
}

std::string CapabilityTripletName(TW_UINT16 message, TW_UINT16 capability) {
  return TripletName(DG_CONTROL, DAT_CAPABILITY, message) + "#" + Hex(capability, 4);
}

std::string TripletNumbers(TW_UINT32 dataGroup, TW_UINT16 dataArgumentType, TW_UINT16 message) {
  return Hex(dataGroup, 4) + "/" + Hex(dataArgumentType, 4) + "/" + Hex(message, 4);
}

std::string CapabilityTripletNumbers(TW_UINT16 message, TW_UINT16 capability) {
  return TripletNumbers(DG_CONTROL, DAT_CAPABILITY, message) + "#" + Hex(capability, 4);
}

void FillSourceLine(uint32_t sheet, uint32_t side, uint32_t line, uint8_t* out, uint32_t bytesPerRow, uint32_t width,
                    uint32_t bitsPerPixel) {
  engine::FillPattern(sheet, side, line, 0, out, bytesPerRow);
  if (bitsPerPixel != 24) return;
  for (uint32_t x = 0; x < width && x * 3 + 2 < bytesPerRow; ++x) std::swap(out[x * 3], out[x * 3 + 2]);
}

std::vector<uint8_t> SourceLine(uint32_t sheet, uint32_t side, uint32_t line, uint32_t bytesPerRow, uint32_t width,
                                uint32_t bitsPerPixel) {
  std::vector<uint8_t> bytes(bytesPerRow);
  FillSourceLine(sheet, side, line, bytes.data(), bytesPerRow, width, bitsPerPixel);
  return bytes;
}

ScriptBuilder& ScriptBuilder::Source(std::string_view key, std::string_view value) {
  source_.emplace_back(key, value);
  return *this;
}

ScriptBuilder& ScriptBuilder::Fail(std::string_view triplet, std::string_view answer) {
  fail_.emplace_back(triplet, answer);
  return *this;
}

ScriptBuilder& ScriptBuilder::Broken(TW_UINT16 capability, std::string_view kind) {
  broken_.emplace_back(Hex(capability, 4), kind);
  return *this;
}

bool ScriptBuilder::Write() const {
  std::error_code error;
  std::filesystem::create_directories(DataFolder(), error);
  std::filesystem::remove(ScriptPath(), error);
  const std::filesystem::path file = ScriptPath();
  auto write = [&](const char16_t* section, const std::vector<std::pair<std::string, std::string>>& entries) {
    for (const auto& [key, value] : entries) {
      if (!WritePrivateProfileString(section, FromUtf8(key), FromUtf8(value), file)) return false;
    }
    return true;
  };
  return EnsureUnicodeProfileFile(file) && write(u"Source", source_) && write(u"Fail", fail_) &&
         write(u"Broken", broken_);
}

std::vector<LoggedTriplet> ReadTripletLog() {
  std::vector<LoggedTriplet> lines;
  std::ifstream file(LogPath());
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream words(line);
    LoggedTriplet entry;
    std::string word;
    words >> word;
    if (word == "callback") {
      entry.callback = true;
      words >> word;
    }
    entry.triplet = word;
    words >> entry.name;
    std::string rc, cc;
    words >> rc;
    entry.rc = NumberAfter(rc, "rc=");
    if (!entry.callback) {
      words >> cc;
      entry.cc = NumberAfter(cc, "cc=");
    }
    std::getline(words >> std::ws, entry.detail);
    lines.push_back(std::move(entry));
  }
  return lines;
}

void ClearTripletLog() {
  std::error_code error;
  std::filesystem::remove(LogPath(), error);
}

}  // namespace rzd::twainds
