#include "registry/names.h"

#include "platform/errors.h"
#include "platform/text.h"

namespace rzd::registry {

namespace {
uint32_t MakeName(std::u16string_view text, size_t maxLength, Name* name) {
  if (text.size() > maxLength || text.find(u'\0') != std::u16string_view::npos) return ERROR_INVALID_PARAMETER;
  auto utf8 = TryToUtf8(text);
  auto fold = TryToUtf8(FoldCase(text));
  if (!utf8 || !fold) return ERROR_INVALID_PARAMETER;
  name->text = std::u16string(text);
  name->utf8 = std::move(*utf8);
  name->fold = std::move(*fold);
  return ERROR_SUCCESS;
}
}  // namespace

uint32_t MakeKeyName(std::u16string_view text, Name* name) {
  if (text.empty() || text.find(u'\\') != std::u16string_view::npos) return ERROR_INVALID_PARAMETER;
  return MakeName(text, kMaxKeyNameLength, name);
}

uint32_t MakeValueName(std::u16string_view text, Name* name) {
  return MakeName(text, kMaxValueNameLength, name);
}

uint32_t SplitKeyPath(std::u16string_view path, std::vector<Name>* names) {
  names->clear();
  if (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  if (path.empty()) return ERROR_SUCCESS;
  size_t start = 0;
  while (true) {
    size_t end = path.find(u'\\', start);
    std::u16string_view part = path.substr(start, end == std::u16string_view::npos ? path.size() - start : end - start);
    Name name;
    if (uint32_t err = MakeKeyName(part, &name)) return err;
    names->push_back(std::move(name));
    if (end == std::u16string_view::npos) return ERROR_SUCCESS;
    start = end + 1;
  }
}

}  // namespace rzd::registry
