// Where the tests' fake driver library keeps its script and its journal: files in the system
// root, so the fake answers alike in the test process and in a service started by the tests.
//
// Script, one rule per line (codes and results in hex with 0x, or decimal). The fail and block
// rules apply to calls that passed the code's argument check (a call the driver refuses there is
// refused the same way, and uses up no counted rule):
//   fail <code> <result> [<count>]  the next <count> calls of <code> (all, without a count) fail
//                                   with driver result <result>
//   block <code> <file>             calls of <code> wait until <file> exists
//   read <result> <boundary> [<count>]  the next <count> reads (all, without a count) answer
//                                   <result> with boundary level <boundary>; a failure delivers
//                                   no bytes and its error document in the metadata slot; the
//                                   first rule with reads left counts
// Without a rule a read answers success and level 6, with the page of the folder's page.xml (its
// first line the byte count, then the page document) or no bytes. Control answers the folder's
// info.xml to the scanner information code and its answer.xml to every other code with a BSTR
// result (none without the file), and writes the number 42 into the output buffer of every code
// that has one (but the open).
// Journal, one line per call, written when the call enters the driver:
//   Control <handle> <code> <value> <slot> in=<n> bytes=<hex> out=<n> bstr=<0|1> text=<text>
//     <value>: the 4-byte input as hex, or "-"; <slot>: "clean" when the error slot was null;
//     in: the input size, bytes: the input (up to 32 bytes), out: the output size, bstr: a BSTR
//     result slot was given, text: the string argument to the line's end (line breaks as \n);
//     "-" for what was not given
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
