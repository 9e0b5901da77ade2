// Loading a module's type library from its resource, and registering it.
#include "apphal/model_ids.h"
#include "apphal/type_library.h"
#include "platform/registrar.h"
#include "platform/resources.h"
#include "platform/text.h"

#include <cstdio>

namespace rzd::apphal {

namespace {

constexpr char16_t kScript[] = uR"(HKCR
{
  NoRemove TypeLib
  {
    '%LIBID%'
    {
      '%VERSION%' = s '%NAME%'
      {
        '%LOCALE%'
        {
          %PLATFORM% = s '%MODULE%'
        }
        FLAGS = s '0'
        HELPDIR = s '%HELPDIR%'
      }
    }
  }
}
)";

std::optional<TypeLibrary> FromResource(std::optional<std::span<const uint8_t>> bytes) {
  if (!bytes) return std::nullopt;
  return ParseTypeLibrary(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

HRESULT Apply(const std::filesystem::path& module, bool perUser, bool doRegister) {
  std::optional<TypeLibrary> library = LoadTypeLibrary(module);
  if (!library) return TYPE_E_CANTLOADLIBRARY;
  char version[16], locale[16];
  std::snprintf(version, sizeof(version), "%u.%u", library->major, library->minor);
  std::snprintf(locale, sizeof(locale), "%x", library->locale);
  Registrar registrar;
  registrar.SetPerUser(perUser);
  registrar.AddReplacement(u"LIBID", FormatGuid(library->id));
  registrar.AddReplacement(u"VERSION", FromUtf8(version));
  registrar.AddReplacement(u"NAME", FromUtf8(library->name));
  registrar.AddReplacement(u"LOCALE", FromUtf8(locale));
  registrar.AddReplacement(u"PLATFORM", sizeof(void*) == 8 ? u"win64" : u"win32");
  registrar.AddReplacement(u"MODULE", module.u16string());
  registrar.AddReplacement(u"HELPDIR", module.parent_path().u16string());
  return doRegister ? registrar.Register(kScript) : registrar.Unregister(kScript);
}

}  // namespace

std::optional<TypeLibrary> LoadTypeLibrary(const std::filesystem::path& module) {
  return FromResource(FindResource(module, kResourceTypeTypeLib, kTypeLibraryResource));
}

std::optional<TypeLibrary> LoadTypeLibrary(const void* addressInModule) {
  return FromResource(FindResource(addressInModule, kResourceTypeTypeLib, kTypeLibraryResource));
}

HRESULT RegisterTypeLibrary(const std::filesystem::path& module, bool perUser) {
  return Apply(module, perUser, true);
}

HRESULT UnregisterTypeLibrary(const std::filesystem::path& module, bool perUser) {
  return Apply(module, perUser, false);
}

}  // namespace rzd::apphal
