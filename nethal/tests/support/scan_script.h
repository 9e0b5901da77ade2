// The scripted scanner service: an IRZDHAL in a process of its own that answers like the scanner
// service and writes page data and metadata records into the client's shared buffers the way the
// service does, from a script in the root. The bridge and rzd-scan are tested against it.
//
// Script: <root>/scan-script.txt, "key=value" lines, read at every call (unknown keys ignored):
//   connect=<hresult>        code 14's answer (default 0; 170 a busy unit)
//   pid-failures=<n>         so many code 35s fail with E_FAIL before one succeeds
//   lock=<hresult>           LockScanner's answer
//   settings=<hresult>       code 8's answer
//   sheets=<n>               sheets in the feeder (default 1)
//   width=<pixels>           (default 50)  lines=<n> lines of each side (default 40)
//   chunk-lines=<n>          lines per driver read (default 16)
//   jpeg-bytes=<n>           JPEG stream bytes per side (default 700; stream n + sheet + side)
//   both=1                   duplex raster as one stream of both sides in 16-line groups
//   fail-sheet=<k> fail-code=<c>   the driver fails with code c where sheet k would start
//   die-sheet=<k>            the process ends in the middle of sheet k
//   meta=<form>              record (default) | bad-kind | bad-offset | unterminated | past-end |
//                            skip (no record written)
//   background=<n>           background data bytes in the record (0xF0 each)
//   read-answer=<hresult>    Read answers this instead of its own result (image data kept)
// What the image is comes from the settings the client sent with code 8: the image sources set
// (Front1, Back1), the stream set for them (Color, Gray, Mono), its current resolution and
// JPEGTransfer.
//
// Calls are appended to <root>/scan-calls.log, one line each:
//   control <code> in=<text, line breaks and tabs as \n and \t> bufin=<vt>:<value>
//   lock <pid> <timeout>    unlock
//   read <raster> <meta> <level> -> <hresult>      release
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace rzd::test {

struct ScanScript {
  std::map<std::string, std::string> values;

  static ScanScript Load();
  int64_t Number(const std::string& key, int64_t fallback) const;
  std::string Text(const std::string& key, const std::string& fallback) const;
};

// Writes the script (one "key=value" per entry) into the root.
void WriteScanScript(const std::vector<std::string>& lines);
std::filesystem::path ScanScriptPath();
std::filesystem::path ScanCallsPath();
// The logged calls, in order.
std::vector<std::string> ScanCalls();
void LogScanCall(const std::string& line);

// The supported-settings document the scripted service answers to code 6: the image sources
// Front1 and Back1, each with the streams Color, Gray and Mono (numbered 1 front, 2 back), their
// resolutions and JPEGTransfer, in the places the unit's own document has them.
std::u16string ScriptedSupportedSettings();

// Registers the scripted service as the local server of `clsid` (the test server's program with
// --scan), with the root's script.
void RegisterScriptedService(const CLSID& clsid);

}  // namespace rzd::test
