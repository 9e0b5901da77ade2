// The road tests' client that names another live process as the reader of its buffers (the
// scanhost test client's "read-forged" step), for the service's guards and its stop.
#pragma once

#include "platform/process.h"

#include <filesystem>
#include <optional>

namespace rzd::test {

// A test client that connects, locks the unit and reads, naming this (live) test process in
// its buffer header as the reader; it takes one block and never gives it back. Returned once
// it has stalled so, its steps written to `steps`; nothing when it did not get there.
std::optional<ChildProcess> StartStalledForgedReader(const std::filesystem::path& steps);

}  // namespace rzd::test
