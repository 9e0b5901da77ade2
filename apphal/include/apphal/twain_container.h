// Capability containers: reading the bytes a data source hands back in TW_CAPABILITY.hContainer,
// and filling the container the session sends with MSG_SET.
//
// Everything read comes from the source and is checked before use: the container must fit the
// memory it came in (header, NumItems items of the item type's size), CurrentIndex and
// DefaultIndex must name an item, a range needs a positive step and min <= max, and no list may
// hold more than kMaxCapabilityItems values; a text item ends at its terminator or at the end of
// its fixed-width field, whichever comes first.
#pragma once

#include "apphal/twain_number.h"
#include "apphal/twain_protocol.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace rzd::apphal {

// Most values one capability list may hold (a range is counted by its steps).
constexpr size_t kMaxCapabilityItems = 10000;

// A container as read: numbers for the numeric item types (TWTY_INT8 to TWTY_FIX32), texts for
// TWTY_STR32 to TWTY_STR255.
struct CapabilityContainer {
  TW_UINT16 conType = 0;
  TW_UINT16 itemType = 0;
  std::vector<TwainNumber> numbers;  // one-value: 1; enumeration and array: every item
  std::vector<std::string> texts;
  uint32_t currentIndex = 0;  // enumeration
  uint32_t defaultIndex = 0;  // enumeration
  TwainNumber minimum, maximum, step, defaultValue, current;  // range
  bool IsText() const { return itemType >= TWTY_STR32 && itemType <= TWTY_STR255; }
};

// Reads the container of kind `conType` from the bytes of its memory. False for a container
// that does not fit, has an unknown kind or item type (frames, or texts in a range), an index
// outside the items, more than kMaxCapabilityItems items, or a range with a step of 0 or below,
// or with min > max.
bool ReadContainer(TW_UINT16 conType, std::span<const uint8_t> bytes, CapabilityContainer* container);

// The current value: the one value, the current item, the range's current value, or an array's
// first item. False when there is none (an empty array) or the items are texts.
bool CurrentNumber(const CapabilityContainer& container, TwainNumber* value);

// Every value: the items, or a range's values from minimum to maximum by step. False for texts
// and for a range of more than kMaxCapabilityItems values (a step of 0 included).
bool ListNumbers(const CapabilityContainer& container, std::vector<TwainNumber>* values);

// A number as an item of `itemType`, in the 32-bit slot of a one-value or range (smaller types
// in its first bytes, little-endian): 8- and 16-bit types and 32-bit integers take the value
// rounded when it is fixed, TW_BOOL 1 for any value but 0, TW_FIX32 Whole and Frac.
uint32_t ItemSlot(TW_UINT16 itemType, TwainNumber value);

// The bytes of the container the session sends: an item type of TWTY_INT8 to TWTY_FIX32 and
// one of the kinds TWON_ONEVALUE, TWON_ENUMERATION (one item, current and default index 0),
// TWON_RANGE (every value the same) or TWON_ARRAY (no items). `out` must hold 22 bytes (the
// size of the largest, a range). False for another item type or kind.
bool FillContainer(TW_UINT16 conType, TW_UINT16 itemType, TwainNumber value, std::span<uint8_t> out);
constexpr size_t kContainerBytes = sizeof(TW_RANGE);

}  // namespace rzd::apphal
