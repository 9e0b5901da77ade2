// Capability operations of CTwainSession: containers built and read through global memory, and
// lengths and resolutions converted between inches and the source's unit.
#include "apphal/twain_session.h"

#include "platform/twain.h"

#include <algorithm>
#include <cstring>

namespace rzd::apphal {

namespace {

enum class Conversion { None, Length, Resolution };

// Lengths and resolutions travel in the source's unit when their item type is TW_FIX32.
Conversion ConversionOf(TW_UINT16 capability, TW_UINT16 itemType) {
  if (itemType != TWTY_FIX32) return Conversion::None;
  switch (capability) {
    case ICAP_PHYSICALWIDTH:
    case ICAP_PHYSICALHEIGHT:
    case ICAP_MINIMUMHEIGHT:
    case ICAP_MINIMUMWIDTH: return Conversion::Length;
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION:
    case ICAP_XNATIVERESOLUTION:
    case ICAP_YNATIVERESOLUTION: return Conversion::Resolution;
    default: return Conversion::None;
  }
}

TwainNumber ToSource(TwainNumber value, Conversion conversion, TW_UINT16 unit) {
  switch (conversion) {
    case Conversion::Length: return InchesToUnit(value, unit);
    case Conversion::Resolution: return PerInchToPerUnit(value, unit);
    default: return value;
  }
}

TwainNumber FromSource(TwainNumber value, Conversion conversion, TW_UINT16 unit) {
  switch (conversion) {
    case Conversion::Length: return UnitToInches(value, unit);
    case Conversion::Resolution: return PerUnitToPerInch(value, unit);
    default: return value;
  }
}

// Global memory of the session's own container, freed when the holder goes.
class OwnedBlock {
 public:
  explicit OwnedBlock(size_t bytes) : handle_(GlobalAlloc(kGlobalMovable | kGlobalZeroInit, bytes)) {}
  ~OwnedBlock() { GlobalFree(handle_); }
  OwnedBlock(const OwnedBlock&) = delete;
  OwnedBlock& operator=(const OwnedBlock&) = delete;
  HGLOBAL Handle() const { return handle_; }

 private:
  HGLOBAL handle_;
};

// Frees a container the source handed over, if it is ours to free.
void ReleaseSourceContainer(TW_HANDLE handle) {
  if (handle != nullptr && IsGlobalHandle(handle)) GlobalFree(handle);
}

constexpr size_t TextLimit(TW_UINT16 itemType) { return TwainItemSize(itemType) - (itemType == TWTY_STR255 ? 1 : 2); }
static_assert(TextLimit(TWTY_STR32) == 32 && TextLimit(TWTY_STR64) == 64 && TextLimit(TWTY_STR128) == 128 &&
              TextLimit(TWTY_STR255) == 255);

}  // namespace

uint32_t CTwainSession::ReadContainerOf(TwainOperation operation, TW_UINT16 capability, TW_UINT16 message,
                                        CapabilityContainer* container) {
  TW_CAPABILITY request{capability, TWON_DONTCARE16, nullptr};
  const uint32_t result = Send(operation, &request, message);
  if (result != 0) {
    ReleaseSourceContainer(request.hContainer);
    return result;
  }
  // The container must be global memory of ours: its size bounds everything read from it.
  const size_t size = GlobalSize(request.hContainer);
  const auto* bytes = static_cast<const uint8_t*>(GlobalLock(request.hContainer));
  if (bytes == nullptr) return kTwainLowMemory;
  const bool read = ReadContainer(request.ConType, std::span<const uint8_t>(bytes, size), container);
  GlobalUnlock(request.hContainer);
  GlobalFree(request.hContainer);
  return read ? 0 : kTwainBadValue;
}

uint32_t CTwainSession::GetCapability(TW_UINT16 capability, TwainNumber* value, TW_UINT16* itemType) {
  CapabilityContainer container;
  const uint32_t result = ReadContainerOf(TwainOperation::GetCapability, capability, MSG_NULL, &container);
  if (result != 0) return result;
  TwainNumber current;
  if (!CurrentNumber(container, &current)) return kTwainBadValue;
  *itemType = container.itemType;
  *value = FromSource(current, ConversionOf(capability, container.itemType), m_unit);
  return 0;
}

uint32_t CTwainSession::GetCapabilityList(TW_UINT16 capability, std::vector<TwainNumber>* values) {
  values->clear();
  CapabilityContainer container;
  const uint32_t result = ReadContainerOf(TwainOperation::GetCapabilityList, capability, MSG_NULL, &container);
  if (result != 0) return result;
  std::vector<TwainNumber> listed;
  if (!ListNumbers(container, &listed)) return kTwainBadValue;
  const Conversion conversion = ConversionOf(capability, container.itemType);
  for (TwainNumber value : listed) values->push_back(FromSource(value, conversion, m_unit));
  return 0;
}

uint32_t CTwainSession::GetCapabilityStrings(TW_UINT16 capability, std::vector<std::string>* texts,
                                             uint32_t* current, TW_UINT16* itemType) {
  texts->clear();
  *current = 0;
  if (itemType != nullptr) *itemType = 0;
  CapabilityContainer container;
  const uint32_t result = ReadContainerOf(TwainOperation::GetCapabilityStrings, capability, MSG_NULL, &container);
  if (result != 0) return result;
  if (!container.IsText()) return kTwainBadValue;
  *texts = std::move(container.texts);
  if (container.conType == TWON_ENUMERATION) *current = container.currentIndex;
  if (itemType != nullptr) *itemType = container.itemType;
  return 0;
}

uint32_t CTwainSession::SetCapability(TW_UINT16 capability, TW_UINT16 itemType, TW_UINT16 conType,
                                      TwainNumber value) {
  if (!StateAllows(TwainOperation::SetCapability)) return kTwainSeqError;
  if (itemType > TWTY_FIX32) return kTwainBadValue;
  const TwainNumber sent = ToSource(value, ConversionOf(capability, itemType), m_unit);

  OwnedBlock block(kContainerBytes);
  auto* bytes = static_cast<uint8_t*>(GlobalLock(block.Handle()));
  if (bytes == nullptr) return kTwainLowMemory;
  const bool filled = FillContainer(conType, itemType, sent, std::span<uint8_t>(bytes, kContainerBytes));
  GlobalUnlock(block.Handle());
  if (!filled) return kTwainBadValue;

  TW_CAPABILITY request{capability, conType, block.Handle()};
  const uint32_t result = Send(TwainOperation::SetCapability, &request);
  if (result == 0) m_capabilities[capability] = value;
  return result;
}

uint32_t CTwainSession::SetCapabilityString(TW_UINT16 capability, TW_UINT16 itemType, std::string_view text) {
  if (!StateAllows(TwainOperation::SetCapabilityString)) return kTwainSeqError;
  if (itemType < TWTY_STR32 || itemType > TWTY_STR255) return kTwainBadValue;
  const size_t fieldSize = TwainItemSize(itemType);
  const size_t bytesNeeded = offsetof(TW_ONEVALUE, Item) + fieldSize;

  OwnedBlock block(bytesNeeded);
  auto* bytes = static_cast<uint8_t*>(GlobalLock(block.Handle()));
  if (bytes == nullptr) return kTwainLowMemory;
  std::memcpy(bytes, &itemType, sizeof(itemType));
  const size_t length = std::min(text.size(), TextLimit(itemType));
  std::memcpy(bytes + offsetof(TW_ONEVALUE, Item), text.data(), length);  // the rest stays zero
  GlobalUnlock(block.Handle());

  TW_CAPABILITY request{capability, TWON_ONEVALUE, block.Handle()};
  return Send(TwainOperation::SetCapabilityString, &request);
}

}  // namespace rzd::apphal
