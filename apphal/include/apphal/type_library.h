// The type library of the desktop-application interface: its model (the class, the interface
// with its methods, the records with their fields and offsets, the enumerations with their
// members), the text form it is carried in as the module's resource TYPELIB 1, and its
// registration under HKEY_CLASSES_ROOT\TypeLib.
//
// Text form, one item a line, blanks between the words, "quoted" words keep their blanks:
//   RZDTLB 1
//   library <name> <{id}> <major>.<minor> <locale in hex>
//   importlib <file>
//   coclass <name> <{id}> "<help text>" <default interface>
//   interface <name> <{id}> "<help text>" <base>
//   method <method|propget> <name>               (belongs to the interface above)
//   param <in|out|in,out|out,retval> <type> <name> (belongs to the method above)
//   record <name> <size> <alignment>
//   field <name> <type> <offset> <size>           (belongs to the record above)
//   enum <name>
//   member <name> <value in hex>                  (belongs to the enumeration above)
// Types appear in the library's order.
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rzd::apphal {

struct TypeLibParam {
  std::string direction;
  std::string type;
  std::string name;
  friend bool operator==(const TypeLibParam&, const TypeLibParam&) = default;
};

struct TypeLibMethod {
  std::string kind;  // "method" or "propget"
  std::string name;
  std::vector<TypeLibParam> params;
  friend bool operator==(const TypeLibMethod&, const TypeLibMethod&) = default;
};

struct TypeLibField {
  std::string name;
  std::string type;
  uint32_t offset = 0;
  uint32_t size = 0;
  friend bool operator==(const TypeLibField&, const TypeLibField&) = default;
};

struct TypeLibMember {
  std::string name;
  uint32_t value = 0;
  friend bool operator==(const TypeLibMember&, const TypeLibMember&) = default;
};

enum class TypeKind { Coclass, Interface, Record, Enum };

// One type of the library; the fields that do not belong to its kind stay empty.
struct TypeLibType {
  TypeKind kind = TypeKind::Record;
  std::string name;
  GUID id = GUID_NULL;           // coclass, interface
  std::string help;              // coclass, interface
  std::string related;           // coclass: default interface; interface: base
  std::vector<TypeLibMethod> methods;
  uint32_t size = 0;             // record
  uint32_t alignment = 0;        // record
  std::vector<TypeLibField> fields;
  std::vector<TypeLibMember> members;
  friend bool operator==(const TypeLibType&, const TypeLibType&) = default;
};

struct TypeLibrary {
  std::string name;
  GUID id = GUID_NULL;
  uint16_t major = 0;
  uint16_t minor = 0;
  uint32_t locale = 0;
  std::string importLib;
  std::vector<TypeLibType> types;
  const TypeLibType* Find(std::string_view name) const;
  friend bool operator==(const TypeLibrary&, const TypeLibrary&) = default;
};

// Limits of the text form.
constexpr size_t kMaxTypeLibraryBytes = 1 << 20;
constexpr size_t kMaxTypeLibraryItems = 4096;  // types, and methods, params, fields or members of one type

// The library of this model, from the record and enumeration declarations (scan_records.h) and
// the interface's method table.
TypeLibrary BuildModelTypeLibrary();

std::string WriteTypeLibrary(const TypeLibrary& library);
// nullopt for text that breaks the form (`error` gets "line N: why").
std::optional<TypeLibrary> ParseTypeLibrary(std::string_view text, std::string* error = nullptr);

// The library carried by a module (TYPELIB 1), named by its file or an address inside it.
std::optional<TypeLibrary> LoadTypeLibrary(const std::filesystem::path& module);
std::optional<TypeLibrary> LoadTypeLibrary(const void* addressInModule);

// Registers the module's library: HKCR\TypeLib\{id}\<major>.<minor> (default value the name) with
// <locale>\win64 (win32 in a 32-bit build) = the module's path, FLAGS "0" and HELPDIR the module's
// folder; per user under HKCU\Software\Classes. TYPE_E_CANTLOADLIBRARY when the module carries
// no readable library, else the registrar's result.
HRESULT RegisterTypeLibrary(const std::filesystem::path& module, bool perUser);
// Removes what RegisterTypeLibrary wrote; the library's key goes when no other version is left.
HRESULT UnregisterTypeLibrary(const std::filesystem::path& module, bool perUser);
constexpr HRESULT TYPE_E_CANTLOADLIBRARY = MakeHr(0x80029C4A);

}  // namespace rzd::apphal
