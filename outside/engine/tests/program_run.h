// Runs a program through the shell and collects what it prints, for tests of command lines.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace rzd::engine::test {

// Output (standard output and error together) and exit code of a program run.
struct ProgramRun {
  std::string output;
  int exitCode = -1;
};

inline ProgramRun RunProgram(const std::string& commandLine) {
  ProgramRun run;
  FILE* pipe = ::popen((commandLine + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  const int status = ::pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace rzd::engine::test
