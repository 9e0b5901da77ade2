#include "platform/resources.h"

#include "platform/text.h"

#include <dlfcn.h>

#include <algorithm>
#include <mutex>

namespace rzd {
namespace {

struct Entry {
  uint64_t token;
  const void* moduleBase;         // the module's load address: its identity while it is loaded
  std::filesystem::path modulePath;
  std::u16string type;            // folded
  uint32_t id;
  const uint8_t* data;
  size_t size;
};

struct Table {
  std::mutex lock;
  std::vector<Entry> entries;  // registration order; the last match wins
  uint64_t nextToken = 1;
};

// Never destroyed: registrations of modules unloaded during process exit may still withdraw.
Table& TheTable() {
  static Table* table = new Table;
  return *table;
}

struct ModuleId {
  const void* base = nullptr;
  std::filesystem::path path;
};

std::optional<ModuleId> ModuleOf(const void* address) {
  Dl_info info{};
  if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fbase == nullptr) return std::nullopt;
  ModuleId id;
  id.base = info.dli_fbase;
  if (info.dli_fname != nullptr && info.dli_fname[0] != '\0') {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(info.dli_fname, ec);
    id.path = ec ? std::filesystem::path(info.dli_fname) : path.lexically_normal();
  }
  return id;
}

template <class Match>
std::optional<std::span<const uint8_t>> Find(std::u16string_view type, uint32_t id, Match&& match) {
  const std::u16string folded = FoldCase(type);
  Table& table = TheTable();
  std::lock_guard<std::mutex> guard(table.lock);
  for (auto it = table.entries.rbegin(); it != table.entries.rend(); ++it) {
    if (it->id == id && it->type == folded && match(*it)) return std::span<const uint8_t>(it->data, it->size);
  }
  return std::nullopt;
}

}  // namespace

ResourceRegistration::ResourceRegistration(const void* addressInModule, std::u16string_view type, uint32_t id,
                                           const void* data, size_t size) noexcept {
  try {
    std::optional<ModuleId> module = ModuleOf(addressInModule);
    if (!module || data == nullptr) return;
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock);
    token_ = table.nextToken++;
    table.entries.push_back(Entry{token_, module->base, module->path, FoldCase(type), id,
                                  static_cast<const uint8_t*>(data), size});
  } catch (...) {
    token_ = 0;  // out of memory at load time: the resource is simply not found
  }
}

ResourceRegistration::~ResourceRegistration() {
  if (token_ == 0) return;
  Table& table = TheTable();
  std::lock_guard<std::mutex> guard(table.lock);
  std::erase_if(table.entries, [this](const Entry& e) { return e.token == token_; });
}

std::optional<std::span<const uint8_t>> FindResource(const void* addressInModule, std::u16string_view type,
                                                     uint32_t id) {
  std::optional<ModuleId> module = ModuleOf(addressInModule);
  if (!module) return std::nullopt;
  return Find(type, id, [&](const Entry& e) { return e.moduleBase == module->base; });
}

std::optional<std::span<const uint8_t>> FindResource(const std::filesystem::path& module, std::u16string_view type,
                                                     uint32_t id) {
  if (module.empty()) return std::nullopt;
  const bool bareName = !module.has_parent_path();
  std::filesystem::path wanted = module;
  if (!bareName) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(module, ec);
    if (!ec) wanted = absolute.lexically_normal();
  }
  return Find(type, id, [&](const Entry& e) {
    return bareName ? e.modulePath.filename() == wanted : e.modulePath == wanted;
  });
}

std::optional<std::u16string> FindUtf16TextResource(const void* addressInModule, std::u16string_view type,
                                                    uint32_t id) {
  std::optional<std::span<const uint8_t>> bytes = FindResource(addressInModule, type, id);
  if (!bytes || bytes->size() < 2 || bytes->size() % 2 != 0) return std::nullopt;
  if ((*bytes)[0] != 0xFF || (*bytes)[1] != 0xFE) return std::nullopt;
  std::u16string text;
  text.reserve(bytes->size() / 2 - 1);
  for (size_t i = 2; i + 1 < bytes->size(); i += 2) {
    const char16_t c = static_cast<char16_t>((*bytes)[i] | ((*bytes)[i + 1] << 8));
    if (c == u'\0') break;
    text.push_back(c);
  }
  return text;
}

std::vector<uint32_t> ListResources(const void* addressInModule, std::u16string_view type) {
  std::vector<uint32_t> ids;
  std::optional<ModuleId> module = ModuleOf(addressInModule);
  if (!module) return ids;
  const std::u16string folded = FoldCase(type);
  Table& table = TheTable();
  {
    std::lock_guard<std::mutex> guard(table.lock);
    for (const Entry& e : table.entries)
      if (e.moduleBase == module->base && e.type == folded) ids.push_back(e.id);
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

}  // namespace rzd
