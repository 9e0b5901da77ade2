// Key and value rows of the registry database. Every function runs inside a transaction of
// Database::Read or Database::Write and throws DbError on a database failure.
#pragma once

#include "platform/registry.h"
#include "registry/database.h"
#include "registry/names.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace rzd::registry {

struct KeyEntry {
  std::u16string name;
  std::u16string fold;
};

bool KeyAlive(Database& db, int64_t key);
// Id of the child key `name` of `parent`, or 0.
int64_t FindChild(Database& db, int64_t parent, const Name& name);
int64_t CreateChild(Database& db, int64_t parent, const Name& name);
int64_t FindOrCreateChild(Database& db, int64_t parent, const Name& name);
std::vector<KeyEntry> ChildKeys(Database& db, int64_t key);
int64_t ChildCount(Database& db, int64_t key);

// Reads a value by its folded name; false when missing.
bool GetValue(Database& db, int64_t key, const std::string& fold, uint32_t* type, std::vector<uint8_t>* data);
// Writes a value; an existing value keeps its name's case and its place in the order.
void PutValue(Database& db, int64_t key, const Name& name, uint32_t type, std::span<const uint8_t> data);
bool RemoveValue(Database& db, int64_t key, const std::string& fold);
std::vector<RegValue> Values(Database& db, int64_t key);

// Deletes every key below `key` and every value of them and of `key`; and `key` itself when
// `includeKey` is set.
void RemoveTree(Database& db, int64_t key, bool includeKey);

}  // namespace rzd::registry
