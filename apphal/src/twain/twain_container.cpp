// Reading and filling capability containers, with every size and index from the source checked.
#include "apphal/twain_container.h"

#include <cstring>

namespace rzd::apphal {

namespace {

template <typename T>
T Load(std::span<const uint8_t> bytes, size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return value;
}

bool IsNumeric(TW_UINT16 itemType) { return itemType <= TWTY_FIX32; }
bool IsTextType(TW_UINT16 itemType) { return itemType >= TWTY_STR32 && itemType <= TWTY_STR255; }

// The number in the first bytes of `item` (at least TwainItemSize(itemType) bytes).
TwainNumber NumberAt(TW_UINT16 itemType, std::span<const uint8_t> item) {
  switch (itemType) {
    case TWTY_INT8: return TwainNumber::Integer(Load<int8_t>(item, 0));
    case TWTY_UINT8: return TwainNumber::Integer(Load<uint8_t>(item, 0));
    case TWTY_INT16: return TwainNumber::Integer(Load<int16_t>(item, 0));
    case TWTY_UINT16:
    case TWTY_BOOL: return TwainNumber::Integer(Load<uint16_t>(item, 0));
    case TWTY_INT32: return TwainNumber::Integer(Load<int32_t>(item, 0));
    case TWTY_UINT32: return TwainNumber::Integer(Load<uint32_t>(item, 0));
    case TWTY_FIX32: return TwainNumber::FromFix32(Load<TW_FIX32>(item, 0));
    default: return {};
  }
}

// The text of a fixed-width field: up to its terminator, or the whole field without one.
std::string TextAt(std::span<const uint8_t> field) {
  size_t length = 0;
  while (length < field.size() && field[length] != 0) ++length;
  return std::string(reinterpret_cast<const char*>(field.data()), length);
}

// Items of an enumeration or array: `count` items of the type's size from `offset`.
bool ReadItems(std::span<const uint8_t> bytes, size_t offset, TW_UINT16 itemType, uint32_t count,
               CapabilityContainer* container) {
  const size_t itemSize = TwainItemSize(itemType);
  if (itemSize == 0 || itemType == TWTY_FRAME || count > kMaxCapabilityItems) return false;
  if (offset > bytes.size() || (bytes.size() - offset) / itemSize < count) return false;
  for (uint32_t i = 0; i < count; ++i) {
    std::span<const uint8_t> item = bytes.subspan(offset + i * itemSize, itemSize);
    if (IsTextType(itemType)) {
      container->texts.push_back(TextAt(item));
    } else {
      container->numbers.push_back(NumberAt(itemType, item));
    }
  }
  return true;
}

}  // namespace

bool ReadContainer(TW_UINT16 conType, std::span<const uint8_t> bytes, CapabilityContainer* container) {
  *container = CapabilityContainer{};
  container->conType = conType;
  if (bytes.size() < sizeof(TW_UINT16)) return false;
  const TW_UINT16 itemType = Load<TW_UINT16>(bytes, 0);
  container->itemType = itemType;
  if (TwainItemSize(itemType) == 0 || itemType == TWTY_FRAME) return false;

  switch (conType) {
    case TWON_ONEVALUE: {
      // A text one-value holds its field in place of the 32-bit slot.
      const size_t slot = IsTextType(itemType) ? TwainItemSize(itemType) : sizeof(TW_UINT32);
      if (bytes.size() < offsetof(TW_ONEVALUE, Item) + slot) return false;
      return ReadItems(bytes, offsetof(TW_ONEVALUE, Item), itemType, 1, container);
    }
    case TWON_ENUMERATION: {
      if (bytes.size() < offsetof(TW_ENUMERATION, ItemList)) return false;
      const uint32_t count = Load<TW_UINT32>(bytes, offsetof(TW_ENUMERATION, NumItems));
      container->currentIndex = Load<TW_UINT32>(bytes, offsetof(TW_ENUMERATION, CurrentIndex));
      container->defaultIndex = Load<TW_UINT32>(bytes, offsetof(TW_ENUMERATION, DefaultIndex));
      if (count == 0 || container->currentIndex >= count || container->defaultIndex >= count) return false;
      return ReadItems(bytes, offsetof(TW_ENUMERATION, ItemList), itemType, count, container);
    }
    case TWON_ARRAY: {
      if (bytes.size() < offsetof(TW_ARRAY, ItemList)) return false;
      const uint32_t count = Load<TW_UINT32>(bytes, offsetof(TW_ARRAY, NumItems));
      return ReadItems(bytes, offsetof(TW_ARRAY, ItemList), itemType, count, container);
    }
    case TWON_RANGE: {
      if (!IsNumeric(itemType) || bytes.size() < sizeof(TW_RANGE)) return false;
      auto value = [&](size_t offset) { return NumberAt(itemType, bytes.subspan(offset, sizeof(TW_UINT32))); };
      container->minimum = value(offsetof(TW_RANGE, MinValue));
      container->maximum = value(offsetof(TW_RANGE, MaxValue));
      container->step = value(offsetof(TW_RANGE, StepSize));
      container->defaultValue = value(offsetof(TW_RANGE, DefaultValue));
      container->current = value(offsetof(TW_RANGE, CurrentValue));
      return container->step.Raw() > 0 && container->minimum <= container->maximum;
    }
    default: return false;
  }
}

bool CurrentNumber(const CapabilityContainer& container, TwainNumber* value) {
  if (container.IsText()) return false;
  switch (container.conType) {
    case TWON_ONEVALUE:
    case TWON_ARRAY:
      if (container.numbers.empty()) return false;
      *value = container.numbers.front();
      return true;
    case TWON_ENUMERATION:
      if (container.currentIndex >= container.numbers.size()) return false;
      *value = container.numbers[container.currentIndex];
      return true;
    case TWON_RANGE: *value = container.current; return true;
    default: return false;
  }
}

bool ListNumbers(const CapabilityContainer& container, std::vector<TwainNumber>* values) {
  values->clear();
  if (container.IsText()) return false;
  if (container.conType != TWON_RANGE) {
    *values = container.numbers;
    return true;
  }
  if (container.step.Raw() <= 0 || container.maximum < container.minimum) return false;
  // Count the steps before walking them: the list must stay within the limit.
  const __int128 span = __int128{container.maximum.FixedForm()} - container.minimum.FixedForm();
  if (span / container.step.FixedForm() >= static_cast<__int128>(kMaxCapabilityItems)) return false;
  for (TwainNumber v = container.minimum; v <= container.maximum; v = v + container.step) values->push_back(v);
  return true;
}

uint32_t ItemSlot(TW_UINT16 itemType, TwainNumber value) {
  switch (itemType) {
    case TWTY_INT8:
    case TWTY_UINT8: return static_cast<uint8_t>(value.ToInteger());
    case TWTY_INT16:
    case TWTY_UINT16: return static_cast<uint16_t>(value.ToInteger());
    case TWTY_BOOL: return value.Raw() != 0 ? 1u : 0u;
    case TWTY_FIX32: {
      TW_FIX32 fix = value.ToFix32();
      uint32_t slot;
      std::memcpy(&slot, &fix, sizeof(slot));
      return slot;
    }
    default: return static_cast<uint32_t>(value.ToInteger());
  }
}

bool FillContainer(TW_UINT16 conType, TW_UINT16 itemType, TwainNumber value, std::span<uint8_t> out) {
  if (!IsNumeric(itemType) || out.size() < kContainerBytes) return false;
  const uint32_t slot = ItemSlot(itemType, value);
  auto store = [&](size_t offset, const void* bytes, size_t size) { std::memcpy(out.data() + offset, bytes, size); };
  std::memset(out.data(), 0, kContainerBytes);
  store(0, &itemType, sizeof(itemType));
  switch (conType) {
    case TWON_ONEVALUE: store(offsetof(TW_ONEVALUE, Item), &slot, sizeof(slot)); return true;
    case TWON_ENUMERATION: {
      const TW_UINT32 one = 1;
      store(offsetof(TW_ENUMERATION, NumItems), &one, sizeof(one));
      store(offsetof(TW_ENUMERATION, ItemList), &slot, TwainItemSize(itemType));
      return true;
    }
    case TWON_RANGE:
      for (size_t offset : {offsetof(TW_RANGE, MinValue), offsetof(TW_RANGE, MaxValue), offsetof(TW_RANGE, StepSize),
                            offsetof(TW_RANGE, DefaultValue), offsetof(TW_RANGE, CurrentValue)}) {
        store(offset, &slot, sizeof(slot));
      }
      return true;
    case TWON_ARRAY: return true;  // NumItems 0: an empty array
    default: return false;
  }
}

}  // namespace rzd::apphal
