// What rzd-scan does: list the units, or scan a batch through the bridge into files. Messages go
// to `err` as one line each ("rzd-scan: ..."), what was written to `out`.
#pragma once

#include "scan_options.h"

#include <cstdio>

namespace rzd::frontend {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFault = 1;
inline constexpr int kExitUsage = 2;

int RunList(FILE* out, FILE* err);
int RunScan(const ScanOptions& options, FILE* out, FILE* err);

}  // namespace rzd::frontend
