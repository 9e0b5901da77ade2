// The data source's capabilities: their values (lengths in inches, resolutions per inch), how
// they are offered (enumeration, range or one value), and the containers they travel in.
#pragma once

#include "apphal/twain_protocol.h"
#include "ds_script.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace rzd::twainds {

enum class Conversion { None, Length, Resolution };

struct CapabilityEntry {
  TW_UINT16 itemType = TWTY_UINT16;
  enum class Kind { Enumeration, Range, OneValue } kind = Kind::OneValue;
  std::vector<double> values;                   // enumeration
  double minimum = 0, maximum = 0, step = 1;    // range
  double current = 0, defaultValue = 0;
  Conversion conversion = Conversion::None;
  bool readOnly = false;
  bool stored = false;  // not one of the source's own: kept as the application last set it
  std::string text;  // text item types
  // A text enumeration (the scan sources): its texts, `current` and `defaultValue` as indexes.
  std::vector<std::string> texts;
};

// The global-memory functions the source manager handed over.
struct Memory {
  DSM_MEMALLOCATE allocate = nullptr;
  DSM_MEMFREE free = nullptr;
  DSM_MEMLOCK lock = nullptr;
  DSM_MEMUNLOCK unlock = nullptr;
  bool Ready() const { return allocate && free && lock && unlock; }
};

// A value as it travels: a length or resolution in the current unit.
double ToUnit(double value, Conversion conversion, TW_UINT16 unit);
double FromUnit(double value, Conversion conversion, TW_UINT16 unit);

class Capabilities {
 public:
  void Reset(const DsScript& script);
  bool Known(TW_UINT16 id) const { return entries_.count(id) != 0; }
  CapabilityEntry* Find(TW_UINT16 id);
  const CapabilityEntry* Find(TW_UINT16 id) const;
  double Current(TW_UINT16 id) const;
  TW_UINT16 Unit() const { return static_cast<TW_UINT16>(Current(ICAP_UNITS)); }
  // The current text of a text enumeration; empty for none.
  std::string CurrentText(TW_UINT16 id) const;

  // The container for MSG_GET (`all` true: the whole offer) or MSG_GETCURRENT / MSG_GETDEFAULT.
  // A capability not known is stored as the application last set it (one value), and answers
  // TWCC_CAPUNSUPPORTED until then. 0 or the condition code.
  TW_UINT16 Answer(TW_UINT16 id, TW_UINT16 message, const Memory& memory, TW_CAPABILITY* capability);
  // MSG_SET from the application's container. 0 or the condition code; `detail` describes the
  // value taken, for the log.
  TW_UINT16 Set(const TW_CAPABILITY& capability, const Memory& memory, std::string* detail);
  // MSG_RESET: back to the default.
  TW_UINT16 ResetOne(TW_UINT16 id);

 private:
  std::map<TW_UINT16, CapabilityEntry> entries_;
};

// A container that breaks the rules in the way the script names; nullopt for an unknown kind.
std::optional<TW_HANDLE> BrokenContainer(const std::string& kind, const Memory& memory, TW_UINT16* conType);

}  // namespace rzd::twainds
