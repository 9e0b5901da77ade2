#include "forged_reader.h"

#include "platform/text.h"
#include "scanhost/instance_ids.h"
#include "testsupport/eventually.h"
#include "testsupport/file_bytes.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <string>

namespace rzd::test {

std::optional<ChildProcess> StartStalledForgedReader(const std::filesystem::path& steps) {
  std::optional<ChildProcess> client = ChildProcess::Start(
      BinaryDir() / "scanhost_test_client",
      {FormatGuidA(scanhost::kInstanceClasses[0]), steps.string(), std::to_string(CurrentProcessId()), "pid",
       "connect", "lock", "read-forged:" + std::to_string(CurrentProcessId())});
  if (!client) return std::nullopt;
  if (!Eventually([&] { return ReadBytes(steps).find("stalled 00000000") != std::string::npos; })) {
    ADD_FAILURE() << "the service did not fill the client's block: " << ReadBytes(steps);
    client->Kill();
    return std::nullopt;
  }
  return client;
}

}  // namespace rzd::test
