// The test server's identity: ten instance classes with their application identifiers, and what
// the file name of a per-unit copy ("<base>_NNNN_N") says, read the way the service reads its own.
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rzd::test {

// {5C0F7E30-1A2B-4C3D-8E9F-00000000000n} and {5C0F7E31-1A2B-4C3D-8E9F-00000000000n}.
CLSID TestServerClass(uint32_t instance);
GUID TestServerAppId(uint32_t instance);

struct ServerName {
  std::u16string service;                // the file name
  std::u16string subkey;                 // the four characters after the second-last underscore
  std::optional<uint32_t> instance;      // the digit after the last underscore
};
ServerName ParseServerName(const std::filesystem::path& program);

// The log every test server process appends "start <pid> <mode>" and "lost <pid>" lines to.
std::filesystem::path TestServerLog();
// Process ids of the test servers started in the root so far.
std::vector<uint32_t> StartedTestServers();
// Ends every test server of the root that still runs (services are asked to stop first).
void KillTestServers();

}  // namespace rzd::test
