// Where the tests' fake driver library keeps its script and its journal: files in the system
// root, so the fake answers alike in the test process and in a service started by the tests.
//
// Script, one rule per line (codes and results in hex with 0x, or decimal):
//   fail <code> <result> [<count>]  the next <count> calls of <code> (all, without a count) fail
//                                   with driver result <result>
//   block <code> <file>             calls of <code> wait until <file> exists
// Journal, one line per call, written when the call enters the driver:
//   Control <handle> <code> <value> <slot>   <value>: the 4-byte input as hex, or "-";
//                                            <slot>: "clean" when the error slot was null
//   Read <handle> <slot>
// and "done <code> <result>" when it returns. Handles are "0" for none, else "h<n>".
#pragma once

#include "platform/root.h"

#include <filesystem>

namespace rzd::scanhost::test {

inline std::filesystem::path FakeDriverFolder() { return SystemRoot() / "fakedrv"; }
inline std::filesystem::path FakeDriverScript() { return FakeDriverFolder() / "script"; }
inline std::filesystem::path FakeDriverJournal() { return FakeDriverFolder() / "journal"; }

}  // namespace rzd::scanhost::test
