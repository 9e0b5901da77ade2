// The data source's script as it reads it at the start of each session (see twainds/script.h).
#pragma once

#include "apphal/twain_protocol.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace rzd::twainds {

enum class Signal { Message, Callback, Invoke, None };

// A scripted answer for one triplet.
struct FailRule {
  TW_UINT16 rc = TWRC_FAILURE;
  TW_UINT16 cc = TWCC_BUMMER;
  bool raise = false;  // throw instead of answering
  int nth = 0;         // only the n-th call (from 1); 0: every call
};

struct DsScript {
  int sheets = 1;
  bool duplex = false;
  TW_UINT16 pixelType = TWPT_RGB;
  int bitDepth = 0;  // 0: by pixel type
  TW_UINT16 compression = TWCP_NONE;
  double resolution = 300;
  std::array<double, 4> frame{0, 0, 8.5, 11};
  std::vector<TW_UINT16> units{TWUN_INCHES, TWUN_CENTIMETERS, TWUN_PICAS, TWUN_POINTS,
                               TWUN_TWIPS,  TWUN_PIXELS,      TWUN_MILLIMETERS};
  std::set<TW_UINT16> unsupported;
  Signal signal = Signal::Message;
  TW_UINT16 announce = MSG_XFERREADY;
  bool noDs2 = false;
  uint32_t claimExtraBytes = 0;  // added to every BytesWritten
  int64_t reportedWidth = -1;    // the ImageWidth image information answers; -1: the true one
  int64_t reportedLength = -1;   // the ImageLength likewise
  // Scan sources (kCapDsSourceName): a text enumeration of this item type, the first current;
  // none when empty (the capability is then kept as the application sets it).
  std::vector<std::string> sourceNames;
  TW_UINT16 sourceNameType = TWTY_STR255;
  std::set<std::string> cameraEnabled;  // the sources for which CAP_CAMERAENABLED reads TRUE
  std::string printerText;              // TWEI_PRINTERTEXT of every page; none when empty
  std::set<TW_UINT16> unavailableInfo;  // extended information answered TWRC_DATANOTAVAILABLE
  std::map<std::string, FailRule> fails;     // by upper-cased triplet
  std::map<TW_UINT16, std::string> broken;   // by capability
};

// The script in ScriptPath(); the defaults where it is missing.
DsScript LoadScript();

// The scripted answer for a triplet's n-th call (`count` from 1), if any: a rule keyed by the
// triplet's numbers.
std::optional<FailRule> FindRule(const DsScript& script, const std::string& numbers, int count);

// ASCII upper case (triplet keys compare without case).
std::string UpperAscii(std::string text);

}  // namespace rzd::twainds
