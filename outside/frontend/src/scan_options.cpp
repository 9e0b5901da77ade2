#include "scan_options.h"

#include "platform/text.h"

namespace rzd::frontend {

namespace {

std::optional<uint32_t> Number(const std::string& text, uint32_t least, uint32_t most) {
  const std::optional<uint32_t> value = ParseUInt32(text);
  if (!value || *value < least || *value > most) return std::nullopt;
  return value;
}

bool AsksForHelp(const std::string& word) { return word == "--help" || word == "-h"; }

}  // namespace

const char* Usage() {
  return "usage: rzd-scan list\n"
         "       rzd-scan scan --out DIR [--unit N] [--source front|back|duplex] [--mode lineart|gray|color]\n"
         "                     [--dpi N] [--jpeg] [--pages N]\n"
         "       rzd-scan help | --help | -h\n";
}

const char* SourceName(Source source) {
  switch (source) {
    case Source::Front: return "front";
    case Source::Back: return "back";
    case Source::Duplex: return "duplex";
  }
  return "";
}

const char* ModeName(Mode mode) {
  switch (mode) {
    case Mode::LineArt: return "lineart";
    case Mode::Gray: return "gray";
    case Mode::Color: return "color";
  }
  return "";
}

ParsedCommand ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommand parsed;
  if (args.empty()) {
    parsed.error = "no command given";
    return parsed;
  }
  Command command;
  if (args[0] == "help" || AsksForHelp(args[0])) {
    command.kind = Command::Help;
    parsed.command = command;
    return parsed;
  }
  if (args[0] == "list") {
    if (args.size() == 2 && AsksForHelp(args[1])) {
      command.kind = Command::Help;
    } else if (args.size() != 1) {
      parsed.error = "list takes no options";
      return parsed;
    }
    parsed.command = command;
    return parsed;
  }
  if (args[0] != "scan") {
    parsed.error = "unknown command '" + args[0] + "'";
    return parsed;
  }
  command.kind = Command::Scan;
  ScanOptions& o = command.scan;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (AsksForHelp(option)) {
      command.kind = Command::Help;
      parsed.command = command;
      return parsed;
    }
    if (option == "--jpeg") {
      o.jpeg = true;
      continue;
    }
    if (option != "--out" && option != "--unit" && option != "--source" && option != "--mode" && option != "--dpi" &&
        option != "--pages") {
      parsed.error = "unknown option '" + option + "'";
      return parsed;
    }
    if (i + 1 == args.size()) {
      parsed.error = option + " needs a value";
      return parsed;
    }
    const std::string& value = args[++i];
    if (option == "--out") {
      o.out = value;
    } else if (option == "--unit") {
      if (!(o.unit = Number(value, 0, 9))) parsed.error = "--unit takes a number from 0 to 9";
    } else if (option == "--source") {
      if (value == "front") o.source = Source::Front;
      else if (value == "back") o.source = Source::Back;
      else if (value == "duplex") o.source = Source::Duplex;
      else parsed.error = "--source takes front, back or duplex";
    } else if (option == "--mode") {
      if (value == "lineart") o.mode = Mode::LineArt;
      else if (value == "gray") o.mode = Mode::Gray;
      else if (value == "color") o.mode = Mode::Color;
      else parsed.error = "--mode takes lineart, gray or color";
    } else if (option == "--dpi") {
      if (!(o.dpi = Number(value, 1, 100000))) parsed.error = "--dpi takes a positive number";
    } else if (option == "--pages") {
      if (!(o.pages = Number(value, 1, 100000))) parsed.error = "--pages takes a positive number";
    }
    if (!parsed.error.empty()) return parsed;
  }
  if (o.out.empty()) {
    parsed.error = "scan needs --out DIR";
    return parsed;
  }
  if (o.jpeg && o.mode == Mode::LineArt) {
    parsed.error = "--jpeg needs --mode gray or color";
    return parsed;
  }
  parsed.command = command;
  return parsed;
}

}  // namespace rzd::frontend
