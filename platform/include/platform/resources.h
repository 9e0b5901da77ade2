// Resources of a module: byte blocks (XML texts with a byte-order mark, bitmaps, binaries, string
// tables) compiled into a shared library or executable and found by module, type and id.
//
// A module's resources are generated at build time into C++ arrays (rzd_embed_resource in
// cmake/rzd.cmake). Each generated file holds a ResourceRegistration object that enters the
// array into the process-wide table when the module is loaded and withdraws it when the module
// is unloaded, so a module's bytes are never handed out after it is gone.
//
// A module is named either by an address inside it (a function or object of the module: the
// stand-in for its instance handle) or by its file (full path, or only the file name). Types are
// names compared without case ("XML", "BITMAP", "RCDATA", "STRING"); ids are numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rzd {

// Resource type names of the system.
inline constexpr char16_t kResourceTypeXml[] = u"XML";
inline constexpr char16_t kResourceTypeBitmap[] = u"BITMAP";
inline constexpr char16_t kResourceTypeRcData[] = u"RCDATA";
inline constexpr char16_t kResourceTypeString[] = u"STRING";

// Enters one resource for the module that contains `addressInModule` (normally `data` itself)
// for the lifetime of the object. A second registration of the same module, type and id hides
// the first until it is withdrawn.
class ResourceRegistration {
 public:
  ResourceRegistration(const void* addressInModule, std::u16string_view type, uint32_t id, const void* data,
                       size_t size) noexcept;
  ~ResourceRegistration();
  ResourceRegistration(const ResourceRegistration&) = delete;
  ResourceRegistration& operator=(const ResourceRegistration&) = delete;

 private:
  uint64_t token_ = 0;
};

// The bytes of a resource of the module that contains `addressInModule`; nullopt when that
// module has no such resource (or the address lies in no module).
std::optional<std::span<const uint8_t>> FindResource(const void* addressInModule, std::u16string_view type,
                                                     uint32_t id);
// The same for a module named by its file: a full path, or a bare file name matched against the
// file names of the loaded modules.
std::optional<std::span<const uint8_t>> FindResource(const std::filesystem::path& module, std::u16string_view type,
                                                     uint32_t id);

// A UTF-16LE text resource that starts with the byte-order mark FF FE: its text without the mark
// (up to the first NUL character, if any). nullopt when the resource is missing, has no mark, or
// has an odd number of bytes.
std::optional<std::u16string> FindUtf16TextResource(const void* addressInModule, std::u16string_view type,
                                                    uint32_t id);

// The ids of the resources of one type that the module has, ascending (for diagnostics and tests).
std::vector<uint32_t> ListResources(const void* addressInModule, std::u16string_view type);

}  // namespace rzd
