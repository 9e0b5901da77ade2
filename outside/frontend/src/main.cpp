// rzd-scan: the smallest data source. It loads the in-process bridge as a data source does, lists
// the installed units, and scans a batch through the scanner service into files.
#include "scan_options.h"
#include "scan_session.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  using namespace rzd::frontend;
  const ParsedCommand parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.command) {
    std::fprintf(stderr, "rzd-scan: %s\n%s", parsed.error.c_str(), Usage());
    return kExitUsage;
  }
  if (parsed.command->kind == Command::Help) {
    std::fputs(Usage(), stdout);
    return kExitOk;
  }
  if (parsed.command->kind == Command::List) return RunList(stdout, stderr);
  return RunScan(parsed.command->scan, stdout, stderr);
}
