// rzd-scan's command line.
//
//   rzd-scan list
//   rzd-scan scan --out DIR [--unit N] [--source front|back|duplex] [--mode lineart|gray|color]
//                 [--dpi N] [--jpeg] [--pages N]
//   rzd-scan help        (also --help or -h, and --help or -h after list or scan): the usage
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rzd::frontend {

enum class Source { Front, Back, Duplex };
enum class Mode { LineArt, Gray, Color };

struct ScanOptions {
  std::filesystem::path out;
  std::optional<uint32_t> unit;  // the first installed unit when not given
  Source source = Source::Front;
  Mode mode = Mode::Color;
  std::optional<uint32_t> dpi;   // the unit's current resolution when not given
  bool jpeg = false;
  std::optional<uint32_t> pages;  // every sheet in the feeder when not given
};

struct Command {
  enum Kind { List, Scan, Help } kind = List;
  ScanOptions scan;
};

// The command, or the reason the line is wrong (one line, for the user).
struct ParsedCommand {
  std::optional<Command> command;
  std::string error;
};
ParsedCommand ParseCommandLine(const std::vector<std::string>& args);

const char* SourceName(Source source);
const char* ModeName(Mode mode);

// The usage text.
const char* Usage();

}  // namespace rzd::frontend
