// Writes numbered values into one registry key, each in its own transaction, for the
// cross-process registry tests.
//
//   registry_writer KEY PREFIX COUNT SIZE GO_FILE PROGRESS_FILE
//
// KEY is below HKLM. Value PREFIX<i> (i from 0; COUNT 0 means until killed) is REG_BINARY of
// SIZE bytes (at least 4) from RegistryWriterPattern. When GO_FILE is not "-", waits for that
// file to exist first. When PROGRESS_FILE is not "-", appends the line "<i>" to it after value i
// was written. Exit code 0 when every value was written, 1 on an error.
#include "platform/registry.h"
#include "platform/text.h"

#include "../registry_writer_pattern.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  if (argc != 7) {
    std::cerr << "usage: registry_writer KEY PREFIX COUNT SIZE GO_FILE PROGRESS_FILE\n";
    return 1;
  }
  std::u16string keyPath = rzd::FromUtf8(argv[1]);
  std::u16string prefix = rzd::FromUtf8(argv[2]);
  long count = std::strtol(argv[3], nullptr, 10);
  size_t size = std::strtoul(argv[4], nullptr, 10);
  std::string goFile = argv[5];
  std::string progressFile = argv[6];
  if (count < 0 || size < 4 || size > (1u << 20)) return 1;

  if (goFile != "-") {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!std::filesystem::exists(goFile)) {
      if (std::chrono::steady_clock::now() > deadline) return 1;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  std::ofstream progress;
  if (progressFile != "-") progress.open(progressFile, std::ios::app);

  rzd::RegKey key;
  if (uint32_t err = rzd::RegKey::Create(rzd::Hive::LocalMachine, keyPath, &key)) {
    std::cerr << "registry_writer: create failed with " << err << "\n";
    return 1;
  }
  const uint32_t limit = count == 0 ? 10000000 : static_cast<uint32_t>(count);
  for (uint32_t i = 0; i < limit; ++i) {
    std::u16string name = prefix + rzd::FromUtf8(std::to_string(i));
    if (uint32_t err = key.SetBinary(name, rzd::test::RegistryWriterPattern(i, size))) {
      std::cerr << "registry_writer: value " << i << " failed with " << err << "\n";
      return 1;
    }
    if (progress.is_open()) progress << i << "\n" << std::flush;
  }
  return 0;
}
