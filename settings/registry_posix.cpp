#include <sqlite3.h>

#include <cstdlib>
#include <cstring>

#include "settings/registry.h"
#include "settings/registry_file.h"

namespace gw {
namespace {

// Concurrent users (the host's thread, check threads, other processes) wait
// for each other rather than fail; every statement is its own transaction.
constexpr int kBusyTimeoutMs = 10000;

const char* const kSchema =
    "PRAGMA journal_mode=WAL;"
    "CREATE TABLE IF NOT EXISTS registry_keys(path TEXT PRIMARY KEY COLLATE NOCASE);"
    "CREATE TABLE IF NOT EXISTS registry_values("
    " path TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(path, name));";

class Database {
 public:
  Database(const std::string& file, int flags) {
    if (sqlite3_open_v2(file.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
      error_ = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      db_ = nullptr;
      return;
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  }
  ~Database() { sqlite3_close(db_); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  sqlite3* get() const { return db_; }
  const std::string& error() const { return error_; }

 private:
  sqlite3* db_ = nullptr;
  std::string error_;
};

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    if (db) sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return stmt_ != nullptr; }
  Statement& Text(int i, const std::string& s) {
    sqlite3_bind_text(stmt_, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& Int(int i, int64_t v) {
    sqlite3_bind_int64(stmt_, i, v);
    return *this;
  }
  Statement& Blob(int i, const void* p, uint32_t n) {
    // A zero-length value must stay a zero-length blob, never NULL.
    sqlite3_bind_blob(stmt_, i, n ? p : "", static_cast<int>(n), SQLITE_TRANSIENT);
    return *this;
  }
  int Step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// SQLite's reasons for a refused write in the form a Windows user would see
// for the same cause from the registry.
HResult HResultFromSqlite(int code) {
  switch (code & 0xFF) {
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN: return HResultFromWin32(5);      // access denied
    case SQLITE_FULL: return HResultFromWin32(112);         // disk full
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return HResultFromWin32(33);        // lock violation
    case SQLITE_NOMEM: return kEOutOfMemory;
    default: return kEFail;
  }
}

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

class SqliteRegistryKey final : public RegistryKey {
 public:
  SqliteRegistryKey(std::unique_ptr<Database> db, std::string path) : db_(std::move(db)), path_(std::move(path)) {}

  std::optional<uint32_t> QuerySize(WideView name) override {
    Statement q(db_->get(), "SELECT length(data) FROM registry_values WHERE path=?1 AND name=?2");
    q.Text(1, path_).Text(2, WideToUtf8(name));
    if (q.Step() != SQLITE_ROW) return std::nullopt;
    return static_cast<uint32_t>(sqlite3_column_int64(q.get(), 0));
  }

  bool Read(WideView name, void* buffer, uint32_t capacity, uint32_t* size) override {
    Statement q(db_->get(), "SELECT data FROM registry_values WHERE path=?1 AND name=?2");
    q.Text(1, path_).Text(2, WideToUtf8(name));
    if (q.Step() != SQLITE_ROW) return false;
    auto n = static_cast<uint32_t>(sqlite3_column_bytes(q.get(), 0));
    if (n > capacity) return false;
    if (n) std::memcpy(buffer, sqlite3_column_blob(q.get(), 0), n);
    *size = n;
    return true;
  }

  HResult Write(WideView name, uint32_t type, const void* data, uint32_t size) override {
    // One statement, so the write is atomic, and it lands only while the key
    // still exists: a key deleted meanwhile makes the write fail.
    Statement q(db_->get(),
                "INSERT INTO registry_values(path, name, type, data)"
                " SELECT path, ?2, ?3, ?4 FROM registry_keys WHERE path=?1"
                " ON CONFLICT(path, name) DO UPDATE SET type=excluded.type, data=excluded.data");
    if (!q.ok()) return HResultFromSqlite(sqlite3_errcode(db_->get()));
    q.Text(1, path_).Text(2, WideToUtf8(name)).Int(3, type).Blob(4, data, size);
    int rc = q.Step();
    if (rc != SQLITE_DONE) return HResultFromSqlite(rc);
    // The key was deleted meanwhile, as the registry reports it.
    return sqlite3_changes(db_->get()) == 1 ? kSOk : HResultFromWin32(1018);
  }

 private:
  std::unique_ptr<Database> db_;
  std::string path_;
};

bool KeyExists(sqlite3* db, const std::string& path) {
  Statement q(db, "SELECT 1 FROM registry_keys WHERE path=?1");
  q.Text(1, path);
  return q.Step() == SQLITE_ROW;
}

}  // namespace

std::unique_ptr<RegistryKey> OpenRegistryKey(RegistryRoot, WideView path) {
  const char* file = std::getenv(kRegistryEnvironment);
  if (file == nullptr || *file == '\0') return nullptr;
  auto db = std::make_unique<Database>(file, SQLITE_OPEN_READWRITE);
  std::string key = WideToUtf8(path);
  if (db->get() == nullptr || !KeyExists(db->get(), key)) return nullptr;
  return std::make_unique<SqliteRegistryKey>(std::move(db), std::move(key));
}

bool CreateRegistryFile(const std::string& file, std::string* error) {
  Database db(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  if (!db.get()) return Fail(error, file + ": " + db.error());
  char* message = nullptr;
  if (sqlite3_exec(db.get(), kSchema, nullptr, nullptr, &message) != SQLITE_OK) {
    std::string why = file + ": " + (message ? message : "cannot create the registry");
    sqlite3_free(message);
    return Fail(error, why);
  }
  return true;
}

bool CreateRegistryKey(const std::string& file, WideView key, std::string* error) {
  Database db(file, SQLITE_OPEN_READWRITE);
  Statement q(db.get(), "INSERT OR IGNORE INTO registry_keys(path) VALUES(?1)");
  if (!q.ok()) return Fail(error, file + ": not a registry file");
  q.Text(1, WideToUtf8(key));
  return q.Step() == SQLITE_DONE || Fail(error, file + ": " + sqlite3_errmsg(db.get()));
}

bool DeleteRegistryKey(const std::string& file, WideView key, std::string* error) {
  Database db(file, SQLITE_OPEN_READWRITE);
  Statement values(db.get(), "DELETE FROM registry_values WHERE path=?1");
  Statement keys(db.get(), "DELETE FROM registry_keys WHERE path=?1");
  if (!values.ok() || !keys.ok()) return Fail(error, file + ": not a registry file");
  std::string path = WideToUtf8(key);
  values.Text(1, path);
  keys.Text(1, path);
  return (keys.Step() == SQLITE_DONE && values.Step() == SQLITE_DONE) ||
         Fail(error, file + ": " + sqlite3_errmsg(db.get()));
}

bool ListRegistryValues(const std::string& file, WideView key, std::vector<RegistryEntry>* out,
                        std::string* error) {
  Database db(file, SQLITE_OPEN_READONLY);
  if (!db.get()) return Fail(error, file + ": " + db.error());
  std::string path = WideToUtf8(key);
  if (!KeyExists(db.get(), path)) return Fail(error, "the settings key does not exist in " + file);
  Statement q(db.get(), "SELECT name, type, data FROM registry_values WHERE path=?1 ORDER BY rowid");
  q.Text(1, path);
  out->clear();
  while (q.Step() == SQLITE_ROW) {
    RegistryEntry e;
    e.name = Utf8ToWide(reinterpret_cast<const char*>(sqlite3_column_text(q.get(), 0)));
    e.type = static_cast<uint32_t>(sqlite3_column_int64(q.get(), 1));
    auto* p = static_cast<const char*>(sqlite3_column_blob(q.get(), 2));
    e.data.assign(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(q.get(), 2)));
    out->push_back(std::move(e));
  }
  return true;
}

}  // namespace gw
