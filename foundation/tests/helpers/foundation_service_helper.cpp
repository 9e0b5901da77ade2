// Stands in for a running service in the service tests: records itself as running under the
// name it is given and waits to be stopped (at most a minute). With "ignore-stop" it ignores the
// stop request, so only ending the process stops it.
#include "platform/process.h"
#include "platform/service.h"
#include "platform/text.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  if (argc > 2 && std::strcmp(argv[2], "ignore-stop") == 0) std::signal(SIGTERM, SIG_IGN);
  if (rzd::SetServiceRunStatus(rzd::FromUtf8(argv[1]), {SERVICE_RUNNING, rzd::CurrentProcessId()}) != 0) return 3;
  for (int i = 0; i < 600; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return 0;
}
