// The process-wide feature-to-level map and the list of registered feature names.
#include "foundation/log_interface.h"

#include "foundation/module_objects.h"

#include <map>
#include <mutex>

namespace rzd {

namespace {

struct FeatureTable {
  std::mutex lock;  // the logger lock: lives as long as the process
  std::map<std::u16string, FeatureLevel> levels;
  std::vector<std::u16string> names;
};

FeatureTable& Table() {
  // A module object: level pointers handed out stay valid until the deliverable's unload.
  static ModuleObject<FeatureTable> table;
  return table.Get();
}

}  // namespace

CLogInterface::~CLogInterface() = default;

FeatureLevel* CLogInterface::GetFeatureLevel(const std::u16string& featureName) {
  return LookupFeatureLevel(featureName);
}

FeatureLevel* CLogInterface::LookupFeatureLevel(const std::u16string& featureName) {
  FeatureTable& table = Table();
  std::lock_guard guard(table.lock);
  auto [entry, inserted] = table.levels.try_emplace(featureName, 0);
  if (inserted) table.names.push_back(featureName);
  return &entry->second;
}

std::vector<std::u16string> CLogInterface::GetRegisteredFeatureNames() {
  FeatureTable& table = Table();
  std::lock_guard guard(table.lock);
  return table.names;
}

}  // namespace rzd
