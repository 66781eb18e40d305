// Internal access to the machine database: one connection per process,
// statements, transactions with injected faults, and the name helpers that
// the registry and the spooler share.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "win/errors.h"
#include "win/machine_store.h"
#include "win/types.h"

namespace morva::platform::store {

// Thrown inside a transaction body when SQLite fails; the transaction maps
// it to a Windows error and rolls back.
struct SqlError {
  int rc;
};

class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql);
  ~Stmt();
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  Stmt& bind(int i, std::int64_t v);
  Stmt& bind(int i, const std::string& text);
  Stmt& bind_blob(int i, const void* data, std::size_t size);
  Stmt& bind_null(int i);
  // true while a row is available; throws SqlError on failure.
  bool step();
  void run() { while (step()) {} }
  void reset();

  std::int64_t i64(int col) const;
  std::string text(int col) const;
  std::vector<BYTE> blob(int col) const;
  bool is_null(int col) const;

 private:
  sqlite3* db_;
  sqlite3_stmt* s_ = nullptr;
};

// Runs `body` under the store lock inside a read transaction. Returns the
// body's Windows error, or the error that opening or reading gave.
DWORD read(const std::function<DWORD(sqlite3*)>& body);
// The same inside a write transaction: committed when the body returns
// ERROR_SUCCESS, rolled back otherwise. An injected fault fails it before
// the body runs.
DWORD write(const std::function<DWORD(sqlite3*)>& body);

// Windows error for a SQLite result code met while writing or reading.
DWORD error_from_sqlite(int rc, bool writing);

std::int64_t last_insert_id(sqlite3* db);
std::int64_t changes(sqlite3* db);

// UTF-16 <-> UTF-8 for names kept as SQLite text (invalid input becomes
// U+FFFD).
std::string to_utf8(std::u16string_view s);
std::u16string from_utf8(std::string_view s);
// Length of a NUL-terminated UTF-16 string; 0 for null.
std::size_t wlen(const WCHAR* s);
std::u16string wstr(const WCHAR* s);
// Name as compared case-insensitively (upper-cased), as UTF-8 text.
std::string fold(std::u16string_view s);

// Current time as a FILETIME count (100 ns since 1601).
std::int64_t filetime_now();

}  // namespace morva::platform::store
