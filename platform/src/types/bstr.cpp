#include "platform/types.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// Layout: [uint32 byte length][characters][two zero bytes]; the BSTR points at the characters.
constexpr size_t kPrefix = sizeof(uint32_t);

BSTR AllocBytes(const void* data, uint32_t byteLength) {
  if (byteLength > std::numeric_limits<uint32_t>::max() - kPrefix - 2 * sizeof(OLECHAR)) {
    return nullptr;
  }
  // Round the text up to whole characters plus a terminator, so an odd byte length still ends
  // in a NUL character.
  size_t total = kPrefix + byteLength + 2 * sizeof(OLECHAR);
  auto* block = static_cast<uint8_t*>(std::malloc(total));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &byteLength, kPrefix);
  if (data != nullptr) {
    std::memcpy(block + kPrefix, data, byteLength);
  } else {
    std::memset(block + kPrefix, 0, byteLength);
  }
  std::memset(block + kPrefix + byteLength, 0, 2 * sizeof(OLECHAR));
  return reinterpret_cast<BSTR>(block + kPrefix);
}

uint8_t* BlockOf(BSTR text) { return reinterpret_cast<uint8_t*>(text) - kPrefix; }

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  size_t length = std::char_traits<char16_t>::length(text);
  if (length > std::numeric_limits<uint32_t>::max() / sizeof(OLECHAR)) return nullptr;
  return SysAllocStringLen(text, static_cast<uint32_t>(length));
}

BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length) {
  if (length > std::numeric_limits<uint32_t>::max() / sizeof(OLECHAR)) return nullptr;
  return AllocBytes(text, length * static_cast<uint32_t>(sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(const char* bytes, uint32_t byteLength) { return AllocBytes(bytes, byteLength); }

void SysFreeString(BSTR text) {
  if (text != nullptr) std::free(BlockOf(text));
}

uint32_t SysStringByteLen(BSTR text) {
  if (text == nullptr) return 0;
  uint32_t bytes;
  std::memcpy(&bytes, BlockOf(text), kPrefix);
  return bytes;
}

uint32_t SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }

bool SysReAllocString(BSTR* target, const OLECHAR* text) {
  if (target == nullptr) return false;
  BSTR copy = SysAllocString(text);
  if (copy == nullptr && text != nullptr) return false;
  SysFreeString(*target);
  *target = copy;
  return true;
}

namespace rzd {

BSTR AllocBstr(std::u16string_view text) {
  if (text.size() > std::numeric_limits<uint32_t>::max() / sizeof(OLECHAR)) return nullptr;
  return SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
}

std::u16string_view BstrView(BSTR text) {
  if (text == nullptr) return {};
  return std::u16string_view(text, SysStringLen(text));
}

}  // namespace rzd
