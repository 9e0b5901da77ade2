// The stand-in emitter library: `Emit` appends each record as one line to the file the
// configuration names (EmitterOutput), so tests and users can read what the system logged.
//
// A line holds the fields company, level, process id, thread id, time stamp, source and text,
// separated by tabs, in UTF-8. Tabs, line breaks and backslashes inside a field are written as
// \t, \n, \r and \\, so every record stays on one line.
#include "diagconfig/config_store.h"

#include "platform/text.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace {

void AppendField(std::string* line, const char16_t* text) {
  if (text == nullptr) return;
  for (char c : rzd::ToUtf8(text)) {
    switch (c) {
      case '\t': *line += "\\t"; break;
      case '\n': *line += "\\n"; break;
      case '\r': *line += "\\r"; break;
      case '\\': *line += "\\\\"; break;
      default: *line += c;
    }
  }
}

// The output file, read from the configuration once per load of the library.
const std::filesystem::path& OutputFile() {
  static const std::filesystem::path file = [] {
    std::filesystem::path configured = cordiag::EmitterOutput();
    std::error_code error;
    std::filesystem::create_directories(configured.parent_path(), error);
    return configured;
  }();
  return file;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void Emit(const char16_t* company, uint32_t level, uint32_t processId,
                                                            uint32_t threadId, const char16_t* timeStamp,
                                                            const char16_t* source, const char16_t* text) {
  try {
    std::string line;
    AppendField(&line, company);
    line += '\t' + std::to_string(level) + '\t' + std::to_string(processId) + '\t' + std::to_string(threadId) + '\t';
    AppendField(&line, timeStamp);
    line += '\t';
    AppendField(&line, source);
    line += '\t';
    AppendField(&line, text);
    line += '\n';
    // One write per record on a file opened for appending: records of several threads and
    // processes never interleave.
    int fd = ::open(OutputFile().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);  // the user's alone
    if (fd < 0) return;
    const char* data = line.data();
    size_t left = line.size();
    while (left > 0) {
      ssize_t written = ::write(fd, data, left);
      if (written <= 0) break;
      data += written;
      left -= static_cast<size_t>(written);
    }
    ::close(fd);
  } catch (...) {
    // A record that cannot be written is dropped; the caller expects nothing back.
  }
}
