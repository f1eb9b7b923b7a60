#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

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

// Asked when a key is opened and before its values are listed.
const char* const kKeyExists = "SELECT 1 FROM registry_keys WHERE path=?1";

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

// A statement prepared once for a connection that stays open, finalized
// with it.
class Prepared {
 public:
  Prepared(sqlite3* db, const char* sql) {
    if (db) sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
  }
  ~Prepared() { sqlite3_finalize(stmt_); }
  Prepared(const Prepared&) = delete;
  Prepared& operator=(const Prepared&) = delete;

  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// One use of a statement: prepared here and finalized at the end, or one
// prepared earlier, which is reset at the end. The reset matters: a
// statement left standing on a row keeps its read transaction open, and the
// connection would go on seeing the values as they were then.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : owned_(true) {
    if (db) sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
  }
  explicit Statement(const Prepared& prepared) : stmt_(prepared.get()), owned_(false) {}
  ~Statement() {
    if (owned_) {
      sqlite3_finalize(stmt_);
    } else if (stmt_) {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
  }
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
  bool owned_;
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

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity& o) const { return device == o.device && inode == o.inode; }
};

std::optional<FileIdentity> IdentityOf(const std::string& file) {
  struct stat st;
  if (stat(file.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{st.st_dev, st.st_ino};
}

// Pages the log may hold before it is folded back into the file.
constexpr int kLogPages = 32;

int FoldLongLog(void*, sqlite3* db, const char* name, int pages) {
  // Truncating, not just folding: a process that opens the file alone reads
  // the whole log through, and a log folded but left standing would be taken
  // for new pages and folded again by every process after it.
  if (pages >= kLogPages) sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
  return SQLITE_OK;
}

// The write-ahead log keeps the file whole through a crash whatever these
// settings; a power cut may lose the last writes, as it may on Windows,
// whose registry also writes to disk lazily. So values are not flushed to
// disk one by one, and a process that closes the file leaves the log as it
// is rather than folding it back: folding waits for the disk, and the next
// process would create the log again and flush it and its folder, which
// would cost a short-lived process such as a check from the stand-in host
// more than all else it does with the file. The log is folded back and
// emptied once it holds kLogPages pages, a few dozen checks' worth.
void KeepWriteAheadLog(sqlite3* db) {
  sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  sqlite3_wal_hook(db, FoldLongLog, nullptr);
}

// One open connection to a registry file, with the statements that keys
// use. SQLite connections may be shared between threads, but a prepared
// statement and the connection's last change count may not: every key
// operation holds `mutex` for its one statement.
class Connection {
 public:
  Connection(const std::string& file, FileIdentity identity)
      : file_(file), identity_(identity), owner_(getpid()), db_(file, SQLITE_OPEN_READWRITE) {
    if (db_.get()) KeepWriteAheadLog(db_.get());
  }

  bool ok() const { return keyExists_.get() && querySize_.get() && read_.get() && write_.get(); }
  sqlite3* db() const { return db_.get(); }
  pid_t owner() const { return owner_; }

  // Still the file that the environment names, not replaced or removed
  // since it was opened.
  bool Serves(const std::string& file) const { return file == file_ && IdentityOf(file) == identity_; }

  const Prepared& keyExists() const { return keyExists_; }
  const Prepared& querySize() const { return querySize_; }
  const Prepared& read() const { return read_; }
  const Prepared& write() const { return write_; }

  std::mutex mutex;

 private:
  std::string file_;
  FileIdentity identity_;
  pid_t owner_;
  Database db_;
  // Declared after the database, so that they are finalized before it closes.
  Prepared keyExists_{db_.get(), kKeyExists};
  Prepared querySize_{db_.get(), "SELECT length(data) FROM registry_values WHERE path=?1 AND name=?2"};
  Prepared read_{db_.get(), "SELECT data FROM registry_values WHERE path=?1 AND name=?2"};
  // One statement, so the write is atomic, and it lands only while the key
  // still exists: a key deleted meanwhile makes the write fail.
  Prepared write_{db_.get(),
                  "INSERT INTO registry_values(path, name, type, data)"
                  " SELECT path, ?2, ?3, ?4 FROM registry_keys WHERE path=?1"
                  " ON CONFLICT(path, name) DO UPDATE SET type=excluded.type, data=excluded.data"};
};

std::shared_ptr<Connection> ConnectTo(const std::string& file) {
  auto identity = IdentityOf(file);
  if (!identity) return nullptr;
  auto connection = std::make_shared<Connection>(file, *identity);
  return connection->ok() ? connection : nullptr;
}

class SqliteRegistryKey final : public RegistryKey {
 public:
  SqliteRegistryKey(std::shared_ptr<Connection> connection, std::string path)
      : connection_(std::move(connection)), path_(std::move(path)) {}

  std::optional<uint32_t> QuerySize(WideView name) override {
    const std::string utf8 = WideToUtf8(name);
    std::lock_guard<std::mutex> hold(connection_->mutex);
    Statement q(connection_->querySize());
    q.Text(1, path_).Text(2, utf8);
    if (q.Step() != SQLITE_ROW) return std::nullopt;
    return static_cast<uint32_t>(sqlite3_column_int64(q.get(), 0));
  }

  bool Read(WideView name, void* buffer, uint32_t capacity, uint32_t* size) override {
    const std::string utf8 = WideToUtf8(name);
    std::lock_guard<std::mutex> hold(connection_->mutex);
    Statement q(connection_->read());
    q.Text(1, path_).Text(2, utf8);
    if (q.Step() != SQLITE_ROW) return false;
    auto n = static_cast<uint32_t>(sqlite3_column_bytes(q.get(), 0));
    if (n > capacity) return false;
    if (n) std::memcpy(buffer, sqlite3_column_blob(q.get(), 0), n);
    *size = n;
    return true;
  }

  HResult Write(WideView name, uint32_t type, const void* data, uint32_t size) override {
    const std::string utf8 = WideToUtf8(name);
    std::lock_guard<std::mutex> hold(connection_->mutex);
    Statement q(connection_->write());
    q.Text(1, path_).Text(2, utf8).Int(3, type).Blob(4, data, size);
    int rc = q.Step();
    if (rc != SQLITE_DONE) return HResultFromSqlite(rc);
    // The key was deleted meanwhile, as the registry reports it.
    return sqlite3_changes(connection_->db()) == 1 ? kSOk : HResultFromWin32(1018);
  }

 private:
  std::shared_ptr<Connection> connection_;
  std::string path_;
};

bool KeyExists(sqlite3* db, const std::string& path) {
  Statement q(db, kKeyExists);
  q.Text(1, path);
  return q.Step() == SQLITE_ROW;
}

std::unique_ptr<RegistryKey> OpenKeyOn(std::shared_ptr<Connection> connection, std::string path) {
  {
    std::lock_guard<std::mutex> hold(connection->mutex);
    Statement q(connection->keyExists());
    q.Text(1, path);
    if (q.Step() != SQLITE_ROW) return nullptr;
  }
  return std::make_unique<SqliteRegistryKey>(std::move(connection), std::move(path));
}

std::string RegistryFile() {
  const char* file = std::getenv(kRegistryEnvironment);
  return file ? file : "";
}

// The connection that an opener keeps between its calls. It is opened again
// when the environment names another file, or the file was replaced.
class KeptConnection {
 public:
  std::shared_ptr<Connection> For(const std::string& file) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (connection_ && connection_->owner() != getpid()) {
      // Inherited through fork(): SQLite forbids any use of it in the child,
      // closing included, so the child leaves it be.
      new std::shared_ptr<Connection>(std::move(connection_));
    }
    if (!connection_ || !connection_->Serves(file)) connection_ = ConnectTo(file);
    return connection_;
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<Connection> connection_;
};

}  // namespace

std::unique_ptr<RegistryKey> OpenRegistryKey(RegistryRoot, WideView path) {
  auto connection = ConnectTo(RegistryFile());
  return connection ? OpenKeyOn(std::move(connection), WideToUtf8(path)) : nullptr;
}

RegistryKeyOpener MakeRegistryKeyOpener(RegistryRoot, WideString path) {
  auto kept = std::make_shared<KeptConnection>();
  return [kept, key = WideToUtf8(path)]() -> std::unique_ptr<RegistryKey> {
    const std::string file = RegistryFile();
    if (file.empty()) return nullptr;
    auto connection = kept->For(file);
    return connection ? OpenKeyOn(std::move(connection), key) : nullptr;
  };
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
