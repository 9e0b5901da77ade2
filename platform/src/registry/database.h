// The registry database of one system root: one SQLite connection per process and root, in WAL
// mode with a busy time-out, so many processes read and write it at once. Calls are serialised
// by a mutex; each call runs as one transaction.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace rzd::registry {

// A database failure, carrying the Win32 error number the caller gets.
struct DbError {
  uint32_t code;
};

// A prepared statement from the connection's cache; reset when it goes out of scope.
class Statement {
 public:
  Statement(sqlite3* db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void Bind(int index, int64_t value);
  void Bind(int index, const std::string& text);
  void BindBlob(int index, std::span<const uint8_t> data);
  // True when a row is available; false when the statement is done.
  bool Step();
  int64_t Int(int column) const;
  std::string Text(int column) const;
  std::vector<uint8_t> Blob(int column) const;

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_;
};

class Database {
 public:
  // The connection for the current SystemRoot(); opens (and prepares) the database when the root
  // changed since the last call. Throws DbError.
  static std::shared_ptr<Database> Current();

  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Runs `fn` under the connection's mutex inside a transaction (a write transaction takes the
  // database's write lock at once). Commits when `fn` answers 0, else rolls back. Answers the
  // result of `fn`, or the error of a database failure.
  uint32_t Read(const std::function<uint32_t()>& fn) { return Run(false, fn); }
  uint32_t Write(const std::function<uint32_t()>& fn) { return Run(true, fn); }

  // Only inside Read/Write.
  Statement Query(const char* sql);
  int64_t LastInsertId() const;
  int Changes() const;

  int64_t MachineRoot() const { return machineRoot_; }
  int64_t UsersRoot() const { return usersRoot_; }

 private:
  Database(std::filesystem::path root, sqlite3* db, int pid) : root_(std::move(root)), db_(db), pid_(pid) {}
  static std::shared_ptr<Database> Open(const std::filesystem::path& root);
  void Prepare();
  // The keys every database has: the hive roots and the keys below them that others rely on.
  // `parent` and `id` name the members that hold the parent's id (none: a hive root) and this
  // key's id (none: not kept).
  struct RootKey {
    int64_t Database::*parent;
    std::u16string name;
    int64_t Database::*id;
  };
  static std::vector<RootKey> RootKeys();
  // Inside a transaction: true when the schema and every root key exist (their ids are kept).
  bool FindRoots();
  void Exec(const char* sql);
  uint32_t Run(bool write, const std::function<uint32_t()>& fn);

  std::filesystem::path root_;
  sqlite3* db_;
  int pid_;
  std::mutex mutex_;
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
  int64_t machineRoot_ = 0;
  int64_t usersRoot_ = 0;
  int64_t softwareKey_ = 0;
};

// Maps a SQLite result code to the Win32 error number reported to callers.
uint32_t ErrorFromSqlite(int rc);

}  // namespace rzd::registry
