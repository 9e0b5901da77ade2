#include "registry/store.h"

#include "platform/text.h"

namespace rzd::registry {

bool KeyAlive(Database& db, int64_t key) {
  Statement q = db.Query("SELECT 1 FROM keys WHERE id = ?1");
  q.Bind(1, key);
  return q.Step();
}

int64_t FindChild(Database& db, int64_t parent, const Name& name) {
  Statement q = db.Query("SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
  q.Bind(1, parent);
  q.Bind(2, name.fold);
  return q.Step() ? q.Int(0) : 0;
}

int64_t CreateChild(Database& db, int64_t parent, const Name& name) {
  Statement q = db.Query("INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)");
  q.Bind(1, parent);
  q.Bind(2, name.utf8);
  q.Bind(3, name.fold);
  q.Step();
  return db.LastInsertId();
}

int64_t FindOrCreateChild(Database& db, int64_t parent, const Name& name) {
  int64_t id = FindChild(db, parent, name);
  return id != 0 ? id : CreateChild(db, parent, name);
}

std::vector<KeyEntry> ChildKeys(Database& db, int64_t key) {
  Statement q = db.Query("SELECT name, fold FROM keys WHERE parent = ?1");
  q.Bind(1, key);
  std::vector<KeyEntry> out;
  while (q.Step()) out.push_back({FromUtf8(q.Text(0)), FromUtf8(q.Text(1))});
  return out;
}

int64_t ChildCount(Database& db, int64_t key) {
  Statement q = db.Query("SELECT count(*) FROM keys WHERE parent = ?1");
  q.Bind(1, key);
  q.Step();
  return q.Int(0);
}

bool GetValue(Database& db, int64_t key, const std::string& fold, uint32_t* type, std::vector<uint8_t>* data) {
  Statement q = db.Query("SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2");
  q.Bind(1, key);
  q.Bind(2, fold);
  if (!q.Step()) return false;
  *type = static_cast<uint32_t>(q.Int(0));
  *data = q.Blob(1);
  return true;
}

void PutValue(Database& db, int64_t key, const Name& name, uint32_t type, std::span<const uint8_t> data) {
  Statement q = db.Query(
      "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
      "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
  q.Bind(1, key);
  q.Bind(2, name.utf8);
  q.Bind(3, name.fold);
  q.Bind(4, static_cast<int64_t>(type));
  q.BindBlob(5, data);
  q.Step();
}

bool RemoveValue(Database& db, int64_t key, const std::string& fold) {
  Statement q = db.Query("DELETE FROM vals WHERE key = ?1 AND fold = ?2");
  q.Bind(1, key);
  q.Bind(2, fold);
  q.Step();
  return db.Changes() > 0;
}

std::vector<RegValue> Values(Database& db, int64_t key) {
  Statement q = db.Query("SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id");
  q.Bind(1, key);
  std::vector<RegValue> out;
  while (q.Step()) out.push_back({FromUtf8(q.Text(0)), static_cast<uint32_t>(q.Int(1)), q.Blob(2)});
  return out;
}

void RemoveTree(Database& db, int64_t key, bool includeKey) {
  {
    Statement q = db.Query(
        "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT keys.id FROM keys JOIN sub ON keys.parent = sub.id) "
        "DELETE FROM vals WHERE key IN (SELECT id FROM sub)");
    q.Bind(1, key);
    q.Step();
  }
  Statement q = db.Query(
      "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT keys.id FROM keys JOIN sub ON keys.parent = sub.id) "
      "DELETE FROM keys WHERE id IN (SELECT id FROM sub) AND (?2 OR id <> ?1)");
  q.Bind(1, key);
  q.Bind(2, includeKey ? 1 : 0);
  q.Step();
}

}  // namespace rzd::registry
