#include "platform/registrar.h"

#include "platform/text.h"
#include "registrar/script.h"
#include "registrar/script_apply.h"

namespace rzd {

void Registrar::AddReplacement(std::u16string_view name, std::u16string_view value) {
  replacements_[FoldCase(name)] = std::u16string(value);
}

void Registrar::ClearReplacements() { replacements_.clear(); }

HRESULT Registrar::Register(std::u16string_view script) { return Run(script, true); }

HRESULT Registrar::Unregister(std::u16string_view script) { return Run(script, false); }

HRESULT Registrar::Run(std::u16string_view script, bool doRegister) {
  error_.clear();
  std::vector<registrar::ScriptRoot> roots;
  if (!registrar::ParseScript(script, replacements_, &roots, &error_)) return E_FAIL;
  return doRegister ? registrar::ApplyRegister(roots, perUser_, &error_)
                    : registrar::ApplyUnregister(roots, perUser_, &error_);
}

}  // namespace rzd
