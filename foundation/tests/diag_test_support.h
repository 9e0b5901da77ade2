// Shared parts of the diagnostics sink's tests: the configuration stand-in (server library,
// emitter library, the rzd-diagconfig command) and the emitter's output.
#pragma once

#include "foundation/diag_sink.h"
#include "foundation/log_client.h"

#include "platform/process.h"
#include "platform/text.h"
#include "testsupport/eventually.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace rzd::test {

inline std::filesystem::path DiagTool() { return BinaryDir() / "rzd-diagconfig"; }
inline std::filesystem::path DiagServerLibrary() { return BinaryDir().parent_path() / "lib" / "cordiagconfig.so"; }
inline std::filesystem::path DiagEmitterLibrary() { return BinaryDir().parent_path() / "lib" / "cordiagemit.so"; }

// Runs rzd-diagconfig; its exit code (-1 when it could not run or did not end in time).
inline int DiagConfig(const std::vector<std::string>& args) {
  auto child = ChildProcess::Start(DiagTool(), args);
  if (!child) return -1;
  return child->Wait(60000).value_or(-1);
}

// One emitted record, split into its fields.
struct EmittedRecord {
  std::string company, level, processId, threadId, timeStamp, source, text;
};

class DiagSinkTest : public TempRoot {
 protected:
  void TearDown() override {
    StopDiagnostics();
    SetDiagnosticsStopWait(kDiagnosticsStopWaitMs);
  }

  std::filesystem::path Output() const { return RootPath() / "emitted.log"; }

  // Registers the server, points the emitter's output at Output() and, unless told otherwise,
  // names the emitter library.
  void Configure(bool withEmitter = true) {
    ASSERT_EQ(DiagConfig({"register", DiagServerLibrary().string()}), 0);
    ASSERT_EQ(DiagConfig({"output", Output().string()}), 0);
    if (withEmitter) {
      ASSERT_EQ(DiagConfig({"emitter", DiagEmitterLibrary().string()}), 0);
    }
  }

  std::vector<EmittedRecord> Records() const {
    std::vector<EmittedRecord> records;
    std::ifstream in(Output());
    std::string line;
    while (std::getline(in, line)) {
      std::vector<std::string> fields;
      size_t at = 0;
      for (;;) {
        size_t tab = line.find('\t', at);
        fields.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
        if (tab == std::string::npos) break;
        at = tab + 1;
      }
      if (fields.size() != 7) continue;
      records.push_back({fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]});
    }
    return records;
  }

  // The sink published now, or null.
  static _CorDiagSink* Published() { return dynamic_cast<_CorDiagSink*>(GetGlobalLogObject()->Get()); }
};

// A logging class of the kind every deliverable has.
class Feature : public CLogClient {
 public:
  explicit Feature(std::u16string name) : CLogClient(std::move(name)) {}
  void Info(const char16_t* text) { RZD_LOG_INFO(u"%s", text); }
  void Error(const char16_t* text) { RZD_LOG_ERROR(u"%s", text); }
};

}  // namespace rzd::test
