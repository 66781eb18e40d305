#include "store.h"

#include <chrono>
#include <mutex>

#include "win/machine_root.h"
#include "win/strings.h"

namespace morva::platform::store {

void seed_standard_forms(sqlite3* db);  // spooler_forms.cpp

namespace {

std::recursive_mutex g_lock;
sqlite3* g_db = nullptr;
std::string g_db_path;  // root the connection belongs to, or ":memory:"
bool g_in_memory = false;

struct Fault {
  bool armed = false;
  StoreFault kind = StoreFault::write_failure;
  int skip = 0;
  int count = 0;  // < 0: until cleared
} g_fault;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS meta(k TEXT PRIMARY KEY, v);
CREATE TABLE IF NOT EXISTS reg_keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL, name TEXT NOT NULL,
  fold TEXT NOT NULL, written INTEGER NOT NULL, UNIQUE(parent, fold));
CREATE TABLE IF NOT EXISTS reg_values(
  id INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER NOT NULL, name TEXT NOT NULL,
  fold TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, fold));
CREATE TABLE IF NOT EXISTS drivers(
  id INTEGER PRIMARY KEY, name TEXT NOT NULL, fold TEXT NOT NULL UNIQUE,
  environment TEXT NOT NULL, version INTEGER NOT NULL, driver_path TEXT NOT NULL,
  data_file TEXT NOT NULL, config_file TEXT NOT NULL, help_file TEXT NOT NULL,
  dependent_files TEXT NOT NULL, monitor TEXT NOT NULL, default_datatype TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS printers(
  id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL, fold TEXT NOT NULL UNIQUE,
  share TEXT NOT NULL, port TEXT NOT NULL, driver TEXT NOT NULL, comment TEXT NOT NULL,
  location TEXT NOT NULL, datatype TEXT NOT NULL, print_processor TEXT NOT NULL,
  parameters TEXT NOT NULL, attributes INTEGER NOT NULL, priority INTEGER NOT NULL,
  status INTEGER NOT NULL, devmode BLOB, created INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS printer_data(
  id INTEGER PRIMARY KEY AUTOINCREMENT, printer INTEGER NOT NULL, key TEXT NOT NULL,
  key_fold TEXT NOT NULL, name TEXT NOT NULL, fold TEXT NOT NULL, type INTEGER NOT NULL,
  data BLOB NOT NULL, UNIQUE(printer, key_fold, fold));
CREATE TABLE IF NOT EXISTS forms(
  id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL, fold TEXT NOT NULL UNIQUE,
  flags INTEGER NOT NULL, cx INTEGER NOT NULL, cy INTEGER NOT NULL, left INTEGER NOT NULL,
  top INTEGER NOT NULL, right INTEGER NOT NULL, bottom INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS jobs(
  id INTEGER PRIMARY KEY AUTOINCREMENT, printer INTEGER NOT NULL, document TEXT NOT NULL,
  user TEXT NOT NULL, machine TEXT NOT NULL, datatype TEXT NOT NULL, status INTEGER NOT NULL,
  pages INTEGER NOT NULL, size INTEGER NOT NULL, submitted INTEGER NOT NULL,
  spool_file TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS connections(fold TEXT PRIMARY KEY, name TEXT NOT NULL);
INSERT OR IGNORE INTO reg_keys(id, parent, name, fold, written)
  VALUES (1, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE', 0),
         (2, 0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER', 0);
)sql";

void exec(sqlite3* db, const char* sql) {
  int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) throw SqlError{rc};
}

void ensure_schema(sqlite3* db) {
  exec(db, "BEGIN IMMEDIATE");
  try {
    exec(db, kSchema);
    Stmt seeded(db, "SELECT v FROM meta WHERE k = 'forms_seeded'");
    if (!seeded.step()) {
      seed_standard_forms(db);
      exec(db, "INSERT INTO meta(k, v) VALUES ('forms_seeded', 1)");
    }
    exec(db, "COMMIT");
  } catch (...) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

void close_locked() {
  if (g_db) sqlite3_close_v2(g_db);
  g_db = nullptr;
  g_db_path.clear();
}

// The open connection for the current machine root, opened (and the schema
// made) on first use or when the root changed.
sqlite3* connection(DWORD& error) {
  error = ERROR_SUCCESS;
  std::string path;
  if (g_in_memory) {
    path = ":memory:";
  } else {
    std::string root = machine_root();
    if (root.empty()) {
      error = ERROR_PATH_NOT_FOUND;
      return nullptr;
    }
    path = root + "/" + kMachineStoreFile;
  }
  if (g_db && g_db_path == path) return g_db;
  close_locked();
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    if (db) sqlite3_close_v2(db);
    error = error_from_sqlite(rc, true);
    return nullptr;
  }
  sqlite3_busy_timeout(db, 15000);
  try {
    if (!g_in_memory) {
      // WAL lets readers in other processes run beside a writer; FULL makes
      // every commit reach the disk before the call returns.
      exec(db, "PRAGMA journal_mode=WAL");
      exec(db, "PRAGMA synchronous=FULL");
    }
    ensure_schema(db);
  } catch (const SqlError& e) {
    sqlite3_close_v2(db);
    error = error_from_sqlite(e.rc, true);
    return nullptr;
  }
  g_db = db;
  g_db_path = path;
  return g_db;
}

bool take_fault(StoreFault& kind) {
  if (!g_fault.armed) return false;
  if (g_fault.skip > 0) {
    --g_fault.skip;
    return false;
  }
  kind = g_fault.kind;
  if (g_fault.count > 0 && --g_fault.count == 0) g_fault.armed = false;
  return true;
}

DWORD run(const std::function<DWORD(sqlite3*)>& body, bool writing) {
  std::lock_guard<std::recursive_mutex> g(g_lock);
  DWORD error;
  sqlite3* db = connection(error);
  if (!db) return error;
  if (writing) {
    StoreFault kind;
    if (take_fault(kind)) {
      switch (kind) {
        case StoreFault::access_denied: return ERROR_ACCESS_DENIED;
        case StoreFault::disk_full: return ERROR_DISK_FULL;
        case StoreFault::write_failure: return ERROR_WRITE_FAULT;
      }
    }
  }
  int rc = sqlite3_exec(db, writing ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return error_from_sqlite(rc, writing);
  DWORD result;
  try {
    result = body(db);
  } catch (const SqlError& e) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return error_from_sqlite(e.rc, writing);
  }
  if (result != ERROR_SUCCESS) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return result;
  }
  rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return error_from_sqlite(rc, writing);
  }
  return ERROR_SUCCESS;
}

}  // namespace

Stmt::Stmt(sqlite3* db, const char* sql) : db_(db) {
  int rc = sqlite3_prepare_v2(db, sql, -1, &s_, nullptr);
  if (rc != SQLITE_OK) throw SqlError{rc};
}
Stmt::~Stmt() { sqlite3_finalize(s_); }

Stmt& Stmt::bind(int i, std::int64_t v) {
  if (sqlite3_bind_int64(s_, i, v) != SQLITE_OK) throw SqlError{sqlite3_errcode(db_)};
  return *this;
}
Stmt& Stmt::bind(int i, const std::string& text) {
  if (sqlite3_bind_text(s_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) != SQLITE_OK)
    throw SqlError{sqlite3_errcode(db_)};
  return *this;
}
Stmt& Stmt::bind_blob(int i, const void* data, std::size_t size) {
  static const BYTE empty = 0;
  if (sqlite3_bind_blob64(s_, i, size ? data : &empty, size, SQLITE_TRANSIENT) != SQLITE_OK)
    throw SqlError{sqlite3_errcode(db_)};
  return *this;
}
Stmt& Stmt::bind_null(int i) {
  if (sqlite3_bind_null(s_, i) != SQLITE_OK) throw SqlError{sqlite3_errcode(db_)};
  return *this;
}
bool Stmt::step() {
  int rc = sqlite3_step(s_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  throw SqlError{rc};
}
void Stmt::reset() {
  sqlite3_reset(s_);
  sqlite3_clear_bindings(s_);
}
std::int64_t Stmt::i64(int col) const { return sqlite3_column_int64(s_, col); }
std::string Stmt::text(int col) const {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s_, col));
  int n = sqlite3_column_bytes(s_, col);
  return p ? std::string(p, static_cast<std::size_t>(n)) : std::string();
}
std::vector<BYTE> Stmt::blob(int col) const {
  const auto* p = static_cast<const BYTE*>(sqlite3_column_blob(s_, col));
  int n = sqlite3_column_bytes(s_, col);
  return p ? std::vector<BYTE>(p, p + n) : std::vector<BYTE>();
}
bool Stmt::is_null(int col) const { return sqlite3_column_type(s_, col) == SQLITE_NULL; }

DWORD read(const std::function<DWORD(sqlite3*)>& body) { return run(body, false); }
DWORD write(const std::function<DWORD(sqlite3*)>& body) { return run(body, true); }

DWORD error_from_sqlite(int rc, bool writing) {
  switch (rc & 0xff) {
    case SQLITE_FULL: return ERROR_DISK_FULL;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
    case SQLITE_CANTOPEN: return ERROR_CANTOPEN;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return ERROR_SHARING_VIOLATION;
    case SQLITE_NOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return ERROR_BADDB;
    default: return writing ? ERROR_WRITE_FAULT : ERROR_READ_FAULT;
  }
}

std::int64_t last_insert_id(sqlite3* db) { return sqlite3_last_insert_rowid(db); }
std::int64_t changes(sqlite3* db) { return sqlite3_changes(db); }

std::string to_utf8(std::u16string_view s) { return morva::u16_to_utf8(s); }

std::u16string from_utf8(std::string_view s) { return morva::utf8_to_u16(s); }

std::size_t wlen(const WCHAR* s) { return morva::u16len(s); }

std::u16string wstr(const WCHAR* s) { return s ? std::u16string(s, wlen(s)) : std::u16string(); }

// Names compare as the upper case the string helpers give, as
// CharUpperW does.
std::string fold(std::u16string_view s) { return morva::u16_to_utf8(morva::u16_to_upper(s)); }

std::int64_t filetime_now() {
  using namespace std::chrono;
  auto since_unix = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count() / 100;
  return since_unix + 116444736000000000LL;
}

}  // namespace morva::platform::store

namespace morva::platform {

void use_in_memory_store(bool on) {
  std::lock_guard<std::recursive_mutex> g(store::g_lock);
  store::close_locked();
  store::g_in_memory = on;
}

void inject_store_fault(StoreFault fault, int skip, int count) {
  std::lock_guard<std::recursive_mutex> g(store::g_lock);
  store::g_fault = {count != 0, fault, skip, count};
}

void clear_store_faults() {
  std::lock_guard<std::recursive_mutex> g(store::g_lock);
  store::g_fault = {};
}

void close_machine_store() {
  std::lock_guard<std::recursive_mutex> g(store::g_lock);
  store::close_locked();
}

}  // namespace morva::platform
