#include "scan_script.h"

#include "platform/registry.h"
#include "platform/root.h"
#include "platform/text.h"
#include "testsupport/temp_root.h"

#include <fstream>
#include <mutex>

namespace rzd::test {

std::filesystem::path ScanScriptPath() { return SystemRoot() / "scan-script.txt"; }
std::filesystem::path ScanCallsPath() { return SystemRoot() / "scan-calls.log"; }

ScanScript ScanScript::Load() {
  ScanScript script;
  std::ifstream in(ScanScriptPath());
  std::string line;
  while (std::getline(in, line)) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos) script.values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return script;
}

int64_t ScanScript::Number(const std::string& key, int64_t fallback) const {
  auto found = values.find(key);
  return found == values.end() ? fallback : std::stoll(found->second, nullptr, 0);
}

std::string ScanScript::Text(const std::string& key, const std::string& fallback) const {
  auto found = values.find(key);
  return found == values.end() ? fallback : found->second;
}

void WriteScanScript(const std::vector<std::string>& lines) {
  std::ofstream out(ScanScriptPath(), std::ios::trunc);
  for (const std::string& line : lines) out << line << '\n';
}

std::vector<std::string> ScanCalls() {
  std::vector<std::string> calls;
  std::ifstream in(ScanCallsPath());
  std::string line;
  while (std::getline(in, line)) calls.push_back(line);
  return calls;
}

void LogScanCall(const std::string& line) {
  // The service answers calls on several threads; a long line must not be cut by another.
  static std::mutex lock;
  std::lock_guard guard(lock);
  std::ofstream out(ScanCallsPath(), std::ios::app);
  out << line << '\n';
}

namespace {

std::u16string Stream(const char16_t* kind, int side, int bitDepth, bool set) {
  std::u16string item = FormatW(u"<Item Name=\"Stream\" ID=\"%s%d\" Type=\"%s\" BitDepth=\"%d\"%s><Format BitDepth=\"%d\">",
                                kind, side, kind, bitDepth, set ? u" IsSet=\"true\"" : u"", bitDepth);
  if (bitDepth != 1) {
    item += u"<JPEGTransfer Scope=\"DocumentSource\"><Enum><Value>Off</Value>"
            u"<Value IsCurrent=\"true\" IsDefault=\"true\">On</Value></Enum></JPEGTransfer>";
  }
  item += u"</Format><Resolutions Scope=\"DocumentSource\"><Enum><Value>100</Value><Value>150</Value>"
          u"<Value>200</Value><Value IsCurrent=\"true\" IsDefault=\"true\">300</Value><Value>400</Value>"
          u"<Value>600</Value></Enum></Resolutions></Item>";
  return item;
}

std::u16string ImageSource(const char16_t* id, const char16_t* type, int side) {
  return FormatW(u"<Item Name=\"ImageSource\" ID=\"%s\" Type=\"%s\" IsSet=\"true\"><Streams><List>", id, type) +
         Stream(u"Color", side, 24, true) + Stream(u"Gray", side, 8, false) + Stream(u"Mono", side, 1, false) +
         u"</List></Streams></Item>";
}

}  // namespace

std::u16string ScriptedSupportedSettings() {
  return u"<Scanner><DocumentSources><List><Item Name=\"DocumentSource\" ID=\"ADF\" Type=\"ADF\" IsSet=\"true\">"
         u"<ImageSources><List>" +
         ImageSource(u"Front1", u"Front", 1) + ImageSource(u"Back1", u"Back", 2) +
         u"</List></ImageSources></Item></List></DocumentSources></Scanner>";
}

void RegisterScriptedService(const CLSID& clsid) {
  const std::string line = "\"" + (BinaryDir() / "scripted_scanhost").string() + "\" --clsid " + FormatGuidA(clsid);
  RegKey key;
  RegKey::Create(Hive::LocalMachine, u"SOFTWARE\\Classes\\CLSID\\" + FormatGuid(clsid) + u"\\LocalServer32", &key);
  key.SetString(u"", FromUtf8(line));
}

}  // namespace rzd::test
