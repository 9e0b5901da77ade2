// A temporary system root for one benchmark: made in the setup, in force through $RZD_ROOT while
// the benchmark runs, and removed (with the former $RZD_ROOT put back) at the end.
#pragma once

#include "platform/process.h"
#include "platform/root.h"

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace rzd::bench {

class BenchRoot {
 public:
  BenchRoot() : previous_(GetEnv("RZD_ROOT")), folder_(CreateUniqueTempFolder("rzd-bench-")) {
    SetEnv("RZD_ROOT", folder_.string());
  }
  ~BenchRoot() {
    if (previous_) {
      SetEnv("RZD_ROOT", *previous_);
    } else {
      UnsetEnv("RZD_ROOT");
    }
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  BenchRoot(const BenchRoot&) = delete;
  BenchRoot& operator=(const BenchRoot&) = delete;

  const std::filesystem::path& Folder() const { return folder_; }

 private:
  std::optional<std::string> previous_;
  std::filesystem::path folder_;
};

}  // namespace rzd::bench
