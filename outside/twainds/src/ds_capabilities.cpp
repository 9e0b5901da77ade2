// The data source's capability values and containers.
#include "ds_capabilities.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace rzd::twainds {

namespace {

double UnitFactor(TW_UINT16 unit) {
  switch (unit) {
    case TWUN_CENTIMETERS: return 2.54;
    case TWUN_PICAS: return 6;
    case TWUN_POINTS: return 72;
    case TWUN_TWIPS: return 1440;
    case TWUN_MILLIMETERS: return 25.4;
    default: return 1;  // inches (and pixels, which this source does not scale)
  }
}

// The 32-bit slot of a one-value or range item.
uint32_t Slot(TW_UINT16 itemType, double value) {
  if (itemType == TWTY_FIX32) {
    const auto raw = static_cast<int64_t>(std::llround(value * 65536.0));
    TW_FIX32 fix{static_cast<TW_INT16>(raw >> 16), static_cast<TW_UINT16>(raw & 0xFFFF)};
    uint32_t slot;
    std::memcpy(&slot, &fix, sizeof(slot));
    return slot;
  }
  return static_cast<uint32_t>(static_cast<int64_t>(std::llround(value)));
}

double FromSlot(TW_UINT16 itemType, const uint8_t* item) {
  switch (itemType) {
    case TWTY_INT8: return static_cast<int8_t>(item[0]);
    case TWTY_UINT8: return item[0];
    case TWTY_INT16: {
      int16_t v;
      std::memcpy(&v, item, 2);
      return v;
    }
    case TWTY_UINT16:
    case TWTY_BOOL: {
      uint16_t v;
      std::memcpy(&v, item, 2);
      return v;
    }
    case TWTY_INT32: {
      int32_t v;
      std::memcpy(&v, item, 4);
      return v;
    }
    case TWTY_FIX32: {
      TW_FIX32 v;
      std::memcpy(&v, item, 4);
      return v.Whole + v.Frac / 65536.0;
    }
    default: {
      uint32_t v;
      std::memcpy(&v, item, 4);
      return v;
    }
  }
}

// Allocates and fills a container; nullptr when the memory cannot be had.
template <typename Fill>
TW_HANDLE MakeContainer(const Memory& memory, size_t bytes, Fill fill) {
  TW_HANDLE handle = memory.allocate(static_cast<TW_UINT32>(bytes));
  if (handle == nullptr) return nullptr;
  auto* data = static_cast<uint8_t*>(memory.lock(handle));
  if (data == nullptr) {
    memory.free(handle);
    return nullptr;
  }
  std::memset(data, 0, bytes);
  fill(data);
  memory.unlock(handle);
  return handle;
}

template <typename T>
void Put(uint8_t* data, size_t offset, T value) {
  std::memcpy(data + offset, &value, sizeof(T));
}

CapabilityEntry Enumerated(TW_UINT16 itemType, std::vector<double> values, double current,
                           Conversion conversion = Conversion::None) {
  CapabilityEntry entry;
  entry.itemType = itemType;
  entry.kind = CapabilityEntry::Kind::Enumeration;
  entry.values = std::move(values);
  entry.current = entry.defaultValue = current;
  entry.conversion = conversion;
  return entry;
}

CapabilityEntry Ranged(TW_UINT16 itemType, double minimum, double maximum, double step, double current) {
  CapabilityEntry entry;
  entry.itemType = itemType;
  entry.kind = CapabilityEntry::Kind::Range;
  entry.minimum = minimum;
  entry.maximum = maximum;
  entry.step = step;
  entry.current = entry.defaultValue = current;
  return entry;
}

CapabilityEntry Single(TW_UINT16 itemType, double value, Conversion conversion = Conversion::None,
                       bool readOnly = false) {
  CapabilityEntry entry;
  entry.itemType = itemType;
  entry.current = entry.defaultValue = value;
  entry.conversion = conversion;
  entry.readOnly = readOnly;
  return entry;
}

std::string Describe(TW_UINT16 itemType, double value) {
  char text[64];
  if (itemType == TWTY_FIX32) {
    std::snprintf(text, sizeof(text), "value=%.2f", value);
  } else {
    std::snprintf(text, sizeof(text), "value=%lld", static_cast<long long>(std::llround(value)));
  }
  return text;
}

bool IsText(TW_UINT16 itemType) { return itemType >= TWTY_STR32 && itemType <= TWTY_STR255; }

}  // namespace

double ToUnit(double value, Conversion conversion, TW_UINT16 unit) {
  switch (conversion) {
    case Conversion::Length: return value * UnitFactor(unit);
    case Conversion::Resolution: return value / UnitFactor(unit);
    default: return value;
  }
}

double FromUnit(double value, Conversion conversion, TW_UINT16 unit) {
  switch (conversion) {
    case Conversion::Length: return value / UnitFactor(unit);
    case Conversion::Resolution: return value * UnitFactor(unit);
    default: return value;
  }
}

void Capabilities::Reset(const DsScript& script) {
  entries_.clear();
  const std::vector<double> resolutions{100, 150, 200, 300, 400, 500, 600};
  std::vector<double> units(script.units.begin(), script.units.end());
  const double unit = units.empty() ? TWUN_INCHES : units.front();
  entries_[CAP_XFERCOUNT] = Single(TWTY_INT16, -1);
  entries_[ICAP_COMPRESSION] = Enumerated(TWTY_UINT16, {TWCP_NONE, TWCP_JPEG}, script.compression);
  entries_[ICAP_PIXELTYPE] = Enumerated(TWTY_UINT16, {TWPT_BW, TWPT_GRAY, TWPT_RGB}, script.pixelType);
  entries_[ICAP_UNITS] = Enumerated(TWTY_UINT16, units, unit);
  entries_[ICAP_XFERMECH] = Enumerated(TWTY_UINT16, {TWSX_NATIVE, TWSX_MEMORY}, TWSX_NATIVE);
  entries_[CAP_INDICATORS] = Enumerated(TWTY_BOOL, {0, 1}, 1);
  entries_[CAP_FEEDERENABLED] = Enumerated(TWTY_BOOL, {0, 1}, 1);
  entries_[CAP_FEEDERLOADED] = Single(TWTY_BOOL, script.sheets > 0 ? 1 : 0, Conversion::None, true);
  entries_[CAP_AUTOFEED] = Enumerated(TWTY_BOOL, {0, 1}, 1);
  entries_[CAP_DUPLEXENABLED] = Enumerated(TWTY_BOOL, {0, 1}, script.duplex ? 1 : 0);
  entries_[CAP_AUTOMATICSENSEMEDIUM] = Enumerated(TWTY_BOOL, {0, 1}, 0);
  entries_[ICAP_XRESOLUTION] = Enumerated(TWTY_FIX32, resolutions, script.resolution, Conversion::Resolution);
  entries_[ICAP_YRESOLUTION] = Enumerated(TWTY_FIX32, resolutions, script.resolution, Conversion::Resolution);
  entries_[ICAP_XNATIVERESOLUTION] = Single(TWTY_FIX32, 600, Conversion::Resolution, true);
  entries_[ICAP_YNATIVERESOLUTION] = Single(TWTY_FIX32, 600, Conversion::Resolution, true);
  entries_[ICAP_PHYSICALWIDTH] = Single(TWTY_FIX32, 8.5, Conversion::Length, true);
  entries_[ICAP_PHYSICALHEIGHT] = Single(TWTY_FIX32, 236, Conversion::Length, true);
  entries_[ICAP_MINIMUMWIDTH] = Single(TWTY_FIX32, 1, Conversion::Length, true);
  entries_[ICAP_MINIMUMHEIGHT] = Single(TWTY_FIX32, 1, Conversion::Length, true);
  entries_[ICAP_BRIGHTNESS] = Ranged(TWTY_FIX32, -1000, 1000, 1, 0);
  entries_[ICAP_CONTRAST] = Ranged(TWTY_FIX32, -1000, 1000, 1, 0);
  entries_[ICAP_THRESHOLD] = Ranged(TWTY_FIX32, 0, 255, 1, 128);
  entries_[ICAP_JPEGQUALITY] = Ranged(TWTY_INT16, 1, 100, 1, 75);
  // A strict source: the overscan is a TW_UINT16 of the TWOV_ values, nothing else.
  entries_[ICAP_OVERSCAN] =
      Enumerated(TWTY_UINT16, {TWOV_NONE, TWOV_AUTO, TWOV_TOPBOTTOM, TWOV_LEFTRIGHT, TWOV_ALL}, TWOV_NONE);
  entries_[CAP_CAMERAENABLED] = Single(TWTY_BOOL, 0);
  if (!script.sourceNames.empty()) {
    CapabilityEntry names;
    names.itemType = script.sourceNameType;
    names.kind = CapabilityEntry::Kind::Enumeration;
    names.texts = script.sourceNames;
    entries_[kCapDsSourceName] = names;
  }
}

std::string Capabilities::CurrentText(TW_UINT16 id) const {
  const CapabilityEntry* entry = Find(id);
  if (entry == nullptr) return {};
  if (entry->texts.empty()) return entry->text;
  const auto index = static_cast<size_t>(entry->current);
  return index < entry->texts.size() ? entry->texts[index] : std::string();
}

CapabilityEntry* Capabilities::Find(TW_UINT16 id) {
  auto it = entries_.find(id);
  return it == entries_.end() ? nullptr : &it->second;
}

const CapabilityEntry* Capabilities::Find(TW_UINT16 id) const {
  auto it = entries_.find(id);
  return it == entries_.end() ? nullptr : &it->second;
}

double Capabilities::Current(TW_UINT16 id) const {
  const CapabilityEntry* entry = Find(id);
  return entry == nullptr ? 0 : entry->current;
}

TW_UINT16 Capabilities::Answer(TW_UINT16 id, TW_UINT16 message, const Memory& memory, TW_CAPABILITY* capability) {
  const CapabilityEntry* entry = Find(id);
  if (entry == nullptr) return TWCC_CAPUNSUPPORTED;
  const TW_UINT16 unit = Unit();
  const TW_UINT16 type = entry->itemType;
  auto travel = [&](double value) { return Slot(type, ToUnit(value, entry->conversion, unit)); };
  TW_HANDLE handle = nullptr;

  if (IsText(type) && !entry->texts.empty() && message == MSG_GET) {
    // A text enumeration: its fields one after the other.
    const size_t field = TwainItemSize(type);
    handle = MakeContainer(memory, offsetof(TW_ENUMERATION, ItemList) + field * entry->texts.size(),
                           [&](uint8_t* data) {
                             Put(data, 0, type);
                             Put(data, offsetof(TW_ENUMERATION, NumItems), static_cast<TW_UINT32>(entry->texts.size()));
                             Put(data, offsetof(TW_ENUMERATION, CurrentIndex), static_cast<TW_UINT32>(entry->current));
                             Put(data, offsetof(TW_ENUMERATION, DefaultIndex),
                                 static_cast<TW_UINT32>(entry->defaultValue));
                             for (size_t i = 0; i < entry->texts.size(); ++i) {
                               const std::string& text = entry->texts[i];
                               std::memcpy(data + offsetof(TW_ENUMERATION, ItemList) + i * field, text.data(),
                                           std::min(text.size(), field - 1));
                             }
                           });
    capability->ConType = TWON_ENUMERATION;
  } else if (IsText(type)) {
    // A text travels as a one-value holding its field.
    const size_t field = TwainItemSize(type);
    const std::string text = CurrentText(id);
    handle = MakeContainer(memory, offsetof(TW_ONEVALUE, Item) + field, [&](uint8_t* data) {
      Put(data, 0, type);
      std::memcpy(data + offsetof(TW_ONEVALUE, Item), text.data(), std::min(text.size(), field - 1));
    });
    capability->ConType = TWON_ONEVALUE;
  } else if (message != MSG_GET || entry->kind == CapabilityEntry::Kind::OneValue) {
    const double value = message == MSG_GETDEFAULT ? entry->defaultValue : entry->current;
    handle = MakeContainer(memory, sizeof(TW_ONEVALUE), [&](uint8_t* data) {
      Put(data, 0, type);
      Put(data, offsetof(TW_ONEVALUE, Item), travel(value));
    });
    capability->ConType = TWON_ONEVALUE;
  } else if (entry->kind == CapabilityEntry::Kind::Range) {
    handle = MakeContainer(memory, sizeof(TW_RANGE), [&](uint8_t* data) {
      Put(data, 0, type);
      Put(data, offsetof(TW_RANGE, MinValue), travel(entry->minimum));
      Put(data, offsetof(TW_RANGE, MaxValue), travel(entry->maximum));
      Put(data, offsetof(TW_RANGE, StepSize), Slot(type, entry->step));
      Put(data, offsetof(TW_RANGE, DefaultValue), travel(entry->defaultValue));
      Put(data, offsetof(TW_RANGE, CurrentValue), travel(entry->current));
    });
    capability->ConType = TWON_RANGE;
  } else {
    const size_t itemSize = TwainItemSize(type);
    auto indexOf = [&](double value) {
      auto it = std::find(entry->values.begin(), entry->values.end(), value);
      return static_cast<TW_UINT32>(it == entry->values.end() ? 0 : it - entry->values.begin());
    };
    handle = MakeContainer(memory, offsetof(TW_ENUMERATION, ItemList) + itemSize * entry->values.size(),
                           [&](uint8_t* data) {
                             Put(data, 0, type);
                             Put(data, offsetof(TW_ENUMERATION, NumItems), static_cast<TW_UINT32>(entry->values.size()));
                             Put(data, offsetof(TW_ENUMERATION, CurrentIndex), indexOf(entry->current));
                             Put(data, offsetof(TW_ENUMERATION, DefaultIndex), indexOf(entry->defaultValue));
                             for (size_t i = 0; i < entry->values.size(); ++i) {
                               const uint32_t slot = travel(entry->values[i]);
                               std::memcpy(data + offsetof(TW_ENUMERATION, ItemList) + i * itemSize, &slot, itemSize);
                             }
                           });
    capability->ConType = TWON_ENUMERATION;
  }
  if (handle == nullptr) return TWCC_LOWMEMORY;
  capability->hContainer = handle;
  return TWCC_SUCCESS;
}

TW_UINT16 Capabilities::Set(const TW_CAPABILITY& capability, const Memory& memory, std::string* detail) {
  if (capability.hContainer == nullptr) return TWCC_BADVALUE;
  auto* data = static_cast<const uint8_t*>(memory.lock(capability.hContainer));
  if (data == nullptr) return TWCC_BADVALUE;
  TW_UINT16 itemType;
  std::memcpy(&itemType, data, sizeof(itemType));
  const uint8_t* item = nullptr;
  std::string text;
  switch (capability.ConType) {
    case TWON_ONEVALUE: item = data + offsetof(TW_ONEVALUE, Item); break;
    case TWON_RANGE: item = data + offsetof(TW_RANGE, CurrentValue); break;
    case TWON_ENUMERATION: {
      TW_UINT32 index, count;
      std::memcpy(&index, data + offsetof(TW_ENUMERATION, CurrentIndex), sizeof(index));
      std::memcpy(&count, data + offsetof(TW_ENUMERATION, NumItems), sizeof(count));
      if (index >= count || TwainItemSize(itemType) == 0) {
        memory.unlock(capability.hContainer);
        return TWCC_BADVALUE;
      }
      item = data + offsetof(TW_ENUMERATION, ItemList) + index * TwainItemSize(itemType);
      break;
    }
    case TWON_ARRAY: break;  // an empty array: nothing to take but the type
    default: memory.unlock(capability.hContainer); return TWCC_BADVALUE;
  }
  if (IsText(itemType) && item != nullptr) {
    const size_t field = TwainItemSize(itemType);
    text.assign(reinterpret_cast<const char*>(item), strnlen(reinterpret_cast<const char*>(item), field));
  }
  const double value = item == nullptr || IsText(itemType) ? 0 : FromSlot(itemType, item);
  memory.unlock(capability.hContainer);

  CapabilityEntry* entry = Find(capability.Cap);
  if (entry == nullptr || entry->stored) {
    // Not one of ours: kept as given, so the application reads back what it set.
    CapabilityEntry stored = Single(itemType, value);
    stored.stored = true;
    stored.text = text;
    entries_[capability.Cap] = stored;
    *detail = IsText(itemType) ? "text=" + text : Describe(itemType, value);
    return TWCC_SUCCESS;
  }
  if (entry->readOnly) return TWCC_CAPSEQERROR;
  if (itemType != entry->itemType || item == nullptr) {
    *detail = "type=" + std::to_string(itemType);
    return TWCC_BADVALUE;
  }
  if (!entry->texts.empty()) {
    // A scan source is chosen by its name.
    *detail = "text=" + text;
    auto match = std::find(entry->texts.begin(), entry->texts.end(), text);
    if (match == entry->texts.end()) return TWCC_BADVALUE;
    entry->current = static_cast<double>(match - entry->texts.begin());
    return TWCC_SUCCESS;
  }
  *detail = Describe(itemType, value);
  const double taken = FromUnit(value, entry->conversion, Unit());
  if (entry->kind == CapabilityEntry::Kind::Enumeration) {
    auto match = std::find_if(entry->values.begin(), entry->values.end(),
                              [&](double v) { return std::fabs(v - taken) < 0.01; });
    if (match == entry->values.end()) return TWCC_BADVALUE;
    entry->current = *match;
  } else if (entry->kind == CapabilityEntry::Kind::Range) {
    if (taken < entry->minimum || taken > entry->maximum) return TWCC_BADVALUE;
    entry->current = taken;
  } else {
    entry->current = taken;
  }
  // Square pixels: the vertical resolution follows the horizontal one.
  if (capability.Cap == ICAP_XRESOLUTION) {
    if (CapabilityEntry* vertical = Find(ICAP_YRESOLUTION)) vertical->current = entry->current;
  }
  return TWCC_SUCCESS;
}

TW_UINT16 Capabilities::ResetOne(TW_UINT16 id) {
  CapabilityEntry* entry = Find(id);
  if (entry == nullptr) return TWCC_CAPUNSUPPORTED;
  entry->current = entry->defaultValue;
  return TWCC_SUCCESS;
}

std::optional<TW_HANDLE> BrokenContainer(const std::string& kind, const Memory& memory, TW_UINT16* conType) {
  static uint8_t notGlobalMemory[64];
  if (kind == "FOREIGN") {
    *conType = TWON_ONEVALUE;
    return static_cast<TW_HANDLE>(notGlobalMemory);
  }
  if (kind == "ZEROSTEP") {
    *conType = TWON_RANGE;
    return MakeContainer(memory, sizeof(TW_RANGE), [](uint8_t* data) {
      Put(data, 0, TWTY_UINT16);
      Put(data, offsetof(TW_RANGE, MaxValue), TW_UINT32{10});
    });
  }
  if (kind == "HUGECOUNT" || kind == "BADINDEX" || kind == "SHORTHANDLE") {
    *conType = TWON_ENUMERATION;
    const TW_UINT32 count = kind == "HUGECOUNT" ? 0x7FFFFFFF : kind == "SHORTHANDLE" ? 100 : 2;
    const TW_UINT32 current = kind == "BADINDEX" ? 5 : 0;
    return MakeContainer(memory, offsetof(TW_ENUMERATION, ItemList) + 3 * sizeof(TW_UINT16), [&](uint8_t* data) {
      Put(data, 0, TWTY_UINT16);
      Put(data, offsetof(TW_ENUMERATION, NumItems), count);
      Put(data, offsetof(TW_ENUMERATION, CurrentIndex), current);
    });
  }
  if (kind == "HUGERANGE") {
    *conType = TWON_RANGE;
    return MakeContainer(memory, sizeof(TW_RANGE), [](uint8_t* data) {
      Put(data, 0, TWTY_UINT32);
      Put(data, offsetof(TW_RANGE, MaxValue), TW_UINT32{0xFFFFFFF0});
      Put(data, offsetof(TW_RANGE, StepSize), TW_UINT32{1});
      Put(data, offsetof(TW_RANGE, CurrentValue), TW_UINT32{7});
    });
  }
  if (kind == "UNTERMINATED") {
    *conType = TWON_ENUMERATION;
    return MakeContainer(memory, offsetof(TW_ENUMERATION, ItemList) + 2 * sizeof(TW_STR32), [](uint8_t* data) {
      std::memset(data, 'A', offsetof(TW_ENUMERATION, ItemList) + 2 * sizeof(TW_STR32));
      Put(data, 0, TWTY_STR32);
      Put(data, offsetof(TW_ENUMERATION, NumItems), TW_UINT32{2});
      Put(data, offsetof(TW_ENUMERATION, CurrentIndex), TW_UINT32{1});
      Put(data, offsetof(TW_ENUMERATION, DefaultIndex), TW_UINT32{0});
    });
  }
  return std::nullopt;
}

}  // namespace rzd::twainds
