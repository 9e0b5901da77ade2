#include "registry/database.h"

#include "platform/errors.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "registry/names.h"
#include "registry/store.h"

#include <unistd.h>

#include <chrono>
#include <new>
#include <system_error>
#include <thread>

namespace rzd::registry {

namespace {

constexpr int kBusyTimeoutMs = 10000;

// Keys form a tree by parent id (0 for the hive roots). Names are kept as first created; `fold`
// is the case-folded name that lookups and uniqueness use. Ids are never reused, so a handle to
// a deleted key can never reach a newer key. Values keep their creation order in `id`.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER NOT NULL,
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  UNIQUE(parent, fold));
CREATE TABLE IF NOT EXISTS vals(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  key INTEGER NOT NULL,
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  UNIQUE(key, fold));
)sql";

void Check(int rc) {
  if (rc != SQLITE_OK) throw DbError{ErrorFromSqlite(rc)};
}

Name KeyName(std::u16string_view text) {
  Name name;
  if (MakeKeyName(text, &name) != ERROR_SUCCESS) throw DbError{ERROR_INVALID_PARAMETER};
  return name;
}

// The database is the root's user's alone. SQLite makes a new database 0644 less the umask, and
// its journal, write-ahead log and shared-memory index with the database's own mode: so the
// database is made 0600 before SQLite opens it, and files an earlier build left open to others
// are narrowed. A file that cannot be made here is SQLite's to report when it opens it.
void MakeFilesPrivate(const std::filesystem::path& file) {
  EnsurePrivateFile(file);
  for (const char* side : {"-wal", "-shm", "-journal"}) {
    std::filesystem::path path = file;
    path += side;
    MakeOwnerOnly(path);
  }
}

}  // namespace

uint32_t ErrorFromSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return ERROR_SUCCESS;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ERROR_BUSY;
    case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN:
      return ERROR_ACCESS_DENIED;
    case SQLITE_TOOBIG:
      return ERROR_INVALID_PARAMETER;
    default:
      return ERROR_GEN_FAILURE;
  }
}

// ---- Statement

Statement::~Statement() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

void Statement::Bind(int index, int64_t value) { Check(sqlite3_bind_int64(stmt_, index, value)); }

void Statement::Bind(int index, const std::string& text) {
  Check(sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
}

void Statement::BindBlob(int index, std::span<const uint8_t> data) {
  if (data.empty()) {
    Check(sqlite3_bind_zeroblob(stmt_, index, 0));  // an empty blob, not NULL
  } else {
    Check(sqlite3_bind_blob64(stmt_, index, data.data(), data.size(), SQLITE_TRANSIENT));
  }
}

bool Statement::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  throw DbError{ErrorFromSqlite(rc)};
}

int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string Statement::Text(int column) const {
  auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
  int size = sqlite3_column_bytes(stmt_, column);
  return text ? std::string(text, static_cast<size_t>(size)) : std::string();
}

std::vector<uint8_t> Statement::Blob(int column) const {
  auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, column));
  int size = sqlite3_column_bytes(stmt_, column);
  return data ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>();
}

// ---- Database

std::shared_ptr<Database> Database::Current() {
  struct Cache {
    std::mutex mutex;
    std::shared_ptr<Database> db;
  };
  // Never destroyed: registry calls made while the process exits must still find it.
  static Cache* cache = new Cache;
  std::filesystem::path root = SystemRoot();
  std::lock_guard<std::mutex> lock(cache->mutex);
  if (cache->db && cache->db->pid_ != getpid()) {
    // A connection inherited through fork() must be neither used nor closed by the child.
    new std::shared_ptr<Database>(std::move(cache->db));
  }
  if (!cache->db || cache->db->root_ != root) cache->db = Open(root);
  return cache->db;
}

std::shared_ptr<Database> Database::Open(const std::filesystem::path& root) {
  CreatePrivateFolders(root);
  const std::filesystem::path file = root / "registry.db";
  MakeFilesPrivate(file);
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(file.c_str(), &raw,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(raw);
    throw DbError{ErrorFromSqlite(rc)};
  }
  std::shared_ptr<Database> db(new Database(root, raw, getpid()));
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, kBusyTimeoutMs);
  db->Prepare();
  return db;
}

void Database::Prepare() {
  // Switching a new file to WAL takes a short exclusive lock; another process opening the same
  // new file at the same moment may hold it, so retry within the busy time-out.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  while (true) {
    int rc = sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) break;
    int primary = rc & 0xFF;
    if ((primary != SQLITE_BUSY && primary != SQLITE_LOCKED) || std::chrono::steady_clock::now() > deadline) {
      throw DbError{ErrorFromSqlite(rc)};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // In WAL mode NORMAL keeps every committed transaction across a crash of the process; only a
  // power loss may drop the last ones.
  Exec("PRAGMA synchronous=NORMAL");
  // Nearly every process finds the schema and the hive roots in place: it looks them up in a read
  // transaction, which a writer holding the database (even one stopped inside its transaction)
  // does not block. Only a database that lacks some of them is written, and only what it lacks.
  uint32_t err = Read([this] { return FindRoots() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND; });
  if (err == ERROR_FILE_NOT_FOUND) {
    err = Write([this] {
      Exec(kSchema);
      for (const RootKey& root : RootKeys()) {
        const int64_t id = FindOrCreateChild(*this, root.parent ? this->*root.parent : 0, KeyName(root.name));
        if (root.id) this->*root.id = id;
      }
      return ERROR_SUCCESS;
    });
  }
  if (err != ERROR_SUCCESS) throw DbError{err};
}

std::vector<Database::RootKey> Database::RootKeys() {
  // A parent before its children.
  return {{nullptr, u"HKEY_LOCAL_MACHINE", &Database::machineRoot_},
          {nullptr, u"HKEY_USERS", &Database::usersRoot_},
          {&Database::machineRoot_, u"SOFTWARE", &Database::softwareKey_},
          {&Database::softwareKey_, u"Classes", nullptr},
          {&Database::machineRoot_, u"SYSTEM", nullptr},
          {&Database::usersRoot_, CurrentUserKeyName(), nullptr}};
}

bool Database::FindRoots() {
  {
    Statement tables = Query("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN ('keys', 'vals')");
    if (!tables.Step() || tables.Int(0) != 2) return false;
  }
  for (const RootKey& root : RootKeys()) {
    const int64_t id = FindChild(*this, root.parent ? this->*root.parent : 0, KeyName(root.name));
    if (id == 0) return false;
    if (root.id) this->*root.id = id;
  }
  return true;
}

Database::~Database() {
  for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
  sqlite3_close_v2(db_);
}

void Database::Exec(const char* sql) { Check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr)); }

Statement Database::Query(const char* sql) {
  auto it = statements_.find(sql);
  if (it == statements_.end()) {
    sqlite3_stmt* stmt = nullptr;
    Check(sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr));
    it = statements_.emplace(sql, stmt).first;
  }
  return Statement(db_, it->second);
}

int64_t Database::LastInsertId() const { return sqlite3_last_insert_rowid(db_); }

int Database::Changes() const { return sqlite3_changes(db_); }

uint32_t Database::Run(bool write, const std::function<uint32_t()>& fn) {
  std::lock_guard<std::mutex> lock(mutex_);
  uint32_t result = ERROR_SUCCESS;
  try {
    Exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
  } catch (const DbError& e) {
    return e.code;
  }
  try {
    result = fn();
    if (result == ERROR_SUCCESS) {
      Exec("COMMIT");
      return ERROR_SUCCESS;
    }
  } catch (const DbError& e) {
    result = e.code;
  } catch (const std::bad_alloc&) {
    result = ERROR_NOT_ENOUGH_MEMORY;
  }
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  return result;
}

}  // namespace rzd::registry
