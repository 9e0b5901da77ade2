// Dump files: large texts written to files in the dump folder, announced by one log line.
#include "foundation/log_client.h"

#include "platform/root.h"
#include "platform/text.h"

#include <fstream>

namespace rzd {

namespace {

// A caller's name part of a dump file name: path separators and ".." cannot leave the dump
// folder, and control characters do not enter a file name.
std::u16string SafeNamePart(std::u16string_view text) {
  std::u16string safe;
  safe.reserve(text.size());
  for (char16_t c : text) safe.push_back((c == u'/' || c == u'\\' || c < 0x20) ? u'_' : c);
  for (size_t at = safe.find(u".."); at != std::u16string::npos; at = safe.find(u"..", at)) {
    safe[at] = u'_';
    safe[at + 1] = u'_';
  }
  return safe;
}

}  // namespace

void CLogClient::_LogLargeFile(const char16_t* name, const char16_t* text, const char16_t* extension,
                               LogEntryClass entryClass) const {
  try {
    LargeFile(name, text, extension, entryClass);
  } catch (...) {
    OutputDebugText(u"Unhandled exception in _LogLargeFile\n");
  }
}

void CLogClient::LargeFile(const char16_t* name, const char16_t* text, const char16_t* extension,
                           LogEntryClass entryClass) const {
  if (name == nullptr || text == nullptr || extension == nullptr) return;
  GetLogObject();  // the dump prefix is made by the initialisation
  std::filesystem::path prefix;
  {
    std::lock_guard guard(initLock_);
    if (!dumpsEnabled_) return;
    prefix = dumpPrefix_;
  }
  std::u16string pathText;
  std::u16string_view body(text);
  if (!body.empty()) {
    uint32_t number = dumpCounter_.fetch_add(1);
    std::u16string suffix = FormatW(u"-%04d-%s-%s.%s", static_cast<int>(number), SafeNamePart(featureName_).c_str(),
                                    SafeNamePart(name).c_str(), SafeNamePart(extension).c_str());
    std::filesystem::path path(prefix.native() + ToUtf8(suffix));
    pathText = FromUtf8(path.native());
    // The text is written as it stands (UTF-8); a file that cannot be opened is skipped.
    EnsurePrivateFile(path);  // the user's alone, whatever the umask
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file) {
      std::string bytes = ToUtf8(body);
      file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
  } else if ((_getFeatureFlag() & LOG_LEVEL_INFO) != 0 && GetLogObject() != nullptr) {
    _LogFmtInfo(u"%s", u"<NULLSTRING>");
  }
  Announce(entryClass, pathText);
}

void CLogClient::Announce(LogEntryClass entryClass, const std::u16string& path) const {
  uint32_t bit = static_cast<uint32_t>(entryClass);
  if (bit != LOG_LEVEL_ERROR && bit != LOG_LEVEL_WARN && bit != LOG_LEVEL_INFO) return;
  if ((_getDataFlag() & bit) == 0 || GetLogObject() == nullptr) return;
  switch (bit) {
    case LOG_LEVEL_ERROR: _LogDataFmtError(u"LARGE FILE %s", path.c_str()); break;
    case LOG_LEVEL_WARN: _LogDataFmtWarn(u"LARGE FILE %s", path.c_str()); break;
    default: _LogDataFmtInfo(u"LARGE FILE %s", path.c_str()); break;
  }
}

void CLogClient::_LogDataFile(const char16_t* name, const char16_t* text, LogEntryClass entryClass) const {
  _LogLargeFile(name, text, u"txt", entryClass);
}

void CLogClient::_LogDataFileXML(const char16_t* name, const char16_t* text, LogEntryClass entryClass) const {
  _LogLargeFile(name, text, u"xml", entryClass);
}

}  // namespace rzd
