// The rzd-engine program around a unit: command line, control client, start and cooperative
// stop. The program's main() hands it the factory of its unit; a test program can hand another.
#pragma once

#include "engine/unit_port.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace rzd::engine {

struct EngineOptions {
  std::string serialNumber = "QM48TZ000001";  // [A-Za-z0-9._-], 1 to 24 characters
  uint32_t instance = 0;                      // driver key number, 0 to 9999
  std::optional<std::string> paper;           // --paper, as given
  std::string friendlyName;                   // empty: the model's name
  std::string lcdDir;                         // --lcd-dir: empty for none
};

// Makes the unit; nullptr with a message in `error` when the options do not suit it.
using UnitFactory = std::function<std::unique_ptr<UnitPort>(const EngineOptions& options, std::string* error)>;

// Runs the program: parses `argv`, then prints help, sends a control line, or serves the unit
// until SIGTERM or SIGINT. Returns the exit code.
int RunEngine(int argc, char** argv, const UnitFactory& makeUnit);

}  // namespace rzd::engine
