#include "win/registry.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "store.h"
#include "win/errors.h"
#include "win/machine_settings.h"

namespace {

using morva::platform::store::Stmt;
namespace st = morva::platform::store;

constexpr std::int64_t kMachineKeyId = 1;
constexpr std::int64_t kUserKeyId = 2;
constexpr std::size_t kMaxKeyName = 255;
constexpr std::size_t kMaxValueName = 16383;

struct OpenKey {
  std::int64_t id;
  REGSAM access;
};

std::mutex g_handles_lock;
std::unordered_map<std::uintptr_t, OpenKey> g_handles;
std::uintptr_t g_next_handle = 0x1000;

// Generic rights map onto the key rights they stand for.
REGSAM normalise_access(REGSAM sam) {
  REGSAM out = sam & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  if (sam & 0x80000000u) out |= KEY_READ;       // GENERIC_READ
  if (sam & 0x40000000u) out |= KEY_WRITE;      // GENERIC_WRITE
  if (sam & 0x20000000u) out |= KEY_EXECUTE;    // GENERIC_EXECUTE
  if (sam & 0x10000000u) out |= KEY_ALL_ACCESS; // GENERIC_ALL
  if (sam & 0x02000000u) out |= KEY_ALL_ACCESS; // MAXIMUM_ALLOWED
  return out;
}

// HKEY_CURRENT_USER is the hive of the machine's current user
// ("user_name" of machine.cfg). The default user's hive is the fixed key
// 2; another user's hive is a top-level key "HKEY_USERS\<name>", made the
// first time that user opens it. 0 when it cannot be made.
std::int64_t current_user_hive() {
  const std::u16string user = st::from_utf8(morva::platform::machine_setting("user_name", "user"));
  if (st::fold(user) == st::fold(u"user")) return kUserKeyId;
  const std::u16string name = u"HKEY_USERS\\" + user;
  const std::string utf8 = st::to_utf8(name), fold = st::fold(name);
  auto find = [&](sqlite3* db) -> std::int64_t {
    Stmt s(db, "SELECT id FROM reg_keys WHERE parent = 0 AND fold = ?");
    s.bind(1, fold);
    return s.step() ? s.i64(0) : 0;
  };
  std::int64_t id = 0;
  st::read([&](sqlite3* db) -> DWORD {
    id = find(db);
    return ERROR_SUCCESS;
  });
  if (id) return id;
  const DWORD err = st::write([&](sqlite3* db) -> DWORD {
    if (!(id = find(db))) {
      Stmt ins(db, "INSERT INTO reg_keys(parent, name, fold, written) VALUES (0, ?, ?, ?)");
      ins.bind(1, utf8).bind(2, fold).bind(3, st::filetime_now());
      ins.run();
      id = st::last_insert_id(db);
    }
    return ERROR_SUCCESS;
  });
  return err == ERROR_SUCCESS ? id : 0;
}

// The top-level keys (the machine's and every user's hive) are never
// deleted.
bool is_hive(sqlite3* db, std::int64_t id) {
  Stmt s(db, "SELECT parent FROM reg_keys WHERE id = ?");
  s.bind(1, id);
  return s.step() && s.i64(0) == 0;
}

bool resolve(HKEY key, OpenKey& out) {
  auto v = reinterpret_cast<std::uintptr_t>(key);
  if (key == HKEY_LOCAL_MACHINE) {
    out = {kMachineKeyId, KEY_ALL_ACCESS};
    return true;
  }
  if (key == HKEY_CURRENT_USER) {
    out = {current_user_hive(), KEY_ALL_ACCESS};
    return out.id != 0;
  }
  std::lock_guard<std::mutex> g(g_handles_lock);
  auto it = g_handles.find(v);
  if (it == g_handles.end()) return false;
  out = it->second;
  return true;
}

HKEY new_handle(std::int64_t id, REGSAM access) {
  std::lock_guard<std::mutex> g(g_handles_lock);
  std::uintptr_t v = g_next_handle;
  g_next_handle += 4;
  g_handles[v] = {id, access};
  return reinterpret_cast<HKEY>(v);
}

struct PathPart {
  std::string name;
  std::string fold;
};

// Splits a sub-key path at backslashes; empty parts are skipped.
bool split_path(LPCWSTR sub_key, std::vector<PathPart>& parts) {
  std::u16string path = st::wstr(sub_key);
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(u'\\', start);
    if (end == std::u16string::npos) end = path.size();
    if (end > start) {
      std::u16string_view part(path.data() + start, end - start);
      if (part.size() > kMaxKeyName) return false;
      parts.push_back({st::to_utf8(part), st::fold(part)});
    }
    start = end + 1;
  }
  return true;
}

bool key_exists(sqlite3* db, std::int64_t id) {
  Stmt s(db, "SELECT 1 FROM reg_keys WHERE id = ?");
  s.bind(1, id);
  return s.step();
}

std::int64_t find_child(sqlite3* db, std::int64_t parent, const std::string& fold) {
  Stmt s(db, "SELECT id FROM reg_keys WHERE parent = ? AND fold = ?");
  s.bind(1, parent).bind(2, fold);
  return s.step() ? s.i64(0) : 0;
}

void touch(sqlite3* db, std::int64_t id) {
  Stmt s(db, "UPDATE reg_keys SET written = ? WHERE id = ?");
  s.bind(1, st::filetime_now()).bind(2, id);
  s.run();
}

// Walks `parts` down from `id`; 0 when a part is missing.
std::int64_t walk(sqlite3* db, std::int64_t id, const std::vector<PathPart>& parts) {
  for (const auto& p : parts) {
    id = find_child(db, id, p.fold);
    if (!id) return 0;
  }
  return id;
}

bool has_access(const OpenKey& k, REGSAM needed) { return (k.access & needed) == needed; }

// Deletes everything below `id` and its values; `include_self` deletes the
// key as well.
void delete_tree(sqlite3* db, std::int64_t id, bool include_self) {
  const char* tree_sql =
      "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM reg_keys k JOIN t ON k.parent = t.id) ";
  // The key's own values go in both cases; only the key itself may stay.
  std::string values = std::string(tree_sql) + "DELETE FROM reg_values WHERE key IN (SELECT id FROM t)";
  std::string keys = std::string(tree_sql) + "DELETE FROM reg_keys WHERE id IN (SELECT id FROM t) AND id <> ?1";
  Stmt v(db, values.c_str());
  v.bind(1, id);
  v.run();
  Stmt k(db, keys.c_str());
  k.bind(1, id);
  k.run();
  if (include_self) {
    Stmt self(db, "DELETE FROM reg_keys WHERE id = ?");
    self.bind(1, id);
    self.run();
  }
}

std::string value_fold(LPCWSTR name) { return st::fold(st::wstr(name)); }

// Copies a name with its terminator into a caller buffer of `chars`
// characters; false when it does not fit.
bool copy_name(const std::string& utf8, LPWSTR out, LPDWORD chars) {
  std::u16string name = st::from_utf8(utf8);
  if (!out || !chars || *chars < name.size() + 1) return false;
  std::memcpy(out, name.data(), name.size() * sizeof(WCHAR));
  out[name.size()] = 0;
  *chars = static_cast<DWORD>(name.size());
  return true;
}

void to_filetime(std::int64_t t, FILETIME* ft) {
  if (!ft) return;
  ft->dwLowDateTime = static_cast<DWORD>(t);
  ft->dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(t) >> 32);
}

LSTATUS open_or_create(HKEY key, LPCWSTR sub_key, REGSAM sam, bool create, PHKEY result, LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  OpenKey parent;
  if (!resolve(key, parent)) return ERROR_INVALID_HANDLE;
  std::vector<PathPart> parts;
  if (!split_path(sub_key, parts)) return ERROR_INVALID_PARAMETER;
  std::int64_t found = 0;
  DWORD err = st::read([&](sqlite3* db) -> DWORD {
    if (!key_exists(db, parent.id)) return ERROR_KEY_DELETED;
    found = walk(db, parent.id, parts);
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) return static_cast<LSTATUS>(err);
  if (found) {
    if (disposition) *disposition = REG_OPENED_EXISTING_KEY;
    *result = new_handle(found, normalise_access(sam));
    return ERROR_SUCCESS;
  }
  if (!create) return ERROR_FILE_NOT_FOUND;
  if (!has_access(parent, KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
  bool created = false;
  err = st::write([&](sqlite3* db) -> DWORD {
    if (!key_exists(db, parent.id)) return ERROR_KEY_DELETED;
    std::int64_t id = parent.id;
    created = false;
    for (const auto& p : parts) {
      std::int64_t child = find_child(db, id, p.fold);
      if (!child) {
        Stmt ins(db, "INSERT INTO reg_keys(parent, name, fold, written) VALUES (?, ?, ?, ?)");
        ins.bind(1, id).bind(2, p.name).bind(3, p.fold).bind(4, st::filetime_now());
        ins.run();
        touch(db, id);
        child = st::last_insert_id(db);
        created = true;
      }
      id = child;
    }
    found = id;
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) return static_cast<LSTATUS>(err);
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = new_handle(found, normalise_access(sam));
  return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR sub_key, DWORD, LPWSTR, DWORD, REGSAM sam, const SECURITY_ATTRIBUTES*,
                        PHKEY result, LPDWORD disposition) {
  if (!sub_key) return ERROR_INVALID_PARAMETER;
  return open_or_create(key, sub_key, sam, true, result, disposition);
}

LSTATUS RegCreateKeyW(HKEY key, LPCWSTR sub_key, PHKEY result) {
  return open_or_create(key, sub_key, KEY_ALL_ACCESS, true, result, nullptr);
}

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD, REGSAM sam, PHKEY result) {
  return open_or_create(key, sub_key, sam, false, result, nullptr);
}

LSTATUS RegOpenKeyW(HKEY key, LPCWSTR sub_key, PHKEY result) {
  return open_or_create(key, sub_key, KEY_ALL_ACCESS, false, result, nullptr);
}

LSTATUS RegCloseKey(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  std::lock_guard<std::mutex> g(g_handles_lock);
  return g_handles.erase(reinterpret_cast<std::uintptr_t>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegFlushKey(HKEY key) {
  OpenKey k;
  // Every successful write is already committed.
  return resolve(key, k) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  OpenKey k;
  if (!resolve(key, k)) return ERROR_INVALID_HANDLE;
  if (data && !size) return ERROR_INVALID_PARAMETER;
  if (!has_access(k, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  std::string f = value_fold(name);
  DWORD value_type = 0;
  std::vector<BYTE> bytes;
  DWORD err = st::read([&](sqlite3* db) -> DWORD {
    if (!key_exists(db, k.id)) return ERROR_KEY_DELETED;
    Stmt s(db, "SELECT type, data FROM reg_values WHERE key = ? AND fold = ?");
    s.bind(1, k.id).bind(2, f);
    if (!s.step()) return ERROR_FILE_NOT_FOUND;
    value_type = static_cast<DWORD>(s.i64(0));
    bytes = s.blob(1);
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) return static_cast<LSTATUS>(err);
  if (type) *type = value_type;
  if (!size) return ERROR_SUCCESS;
  auto needed = static_cast<DWORD>(bytes.size());
  if (!data) {
    *size = needed;
    return ERROR_SUCCESS;
  }
  if (*size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (needed) std::memcpy(data, bytes.data(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  OpenKey k;
  if (!resolve(key, k)) return ERROR_INVALID_HANDLE;
  if (!data && size) return ERROR_NOACCESS;
  if (st::wlen(name) > kMaxValueName) return ERROR_INVALID_PARAMETER;
  if (!has_access(k, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  std::u16string n = st::wstr(name);
  return static_cast<LSTATUS>(st::write([&](sqlite3* db) -> DWORD {
    if (!key_exists(db, k.id)) return ERROR_KEY_DELETED;
    Stmt s(db,
           "INSERT INTO reg_values(key, name, fold, type, data) VALUES (?, ?, ?, ?, ?) "
           "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
    s.bind(1, k.id).bind(2, st::to_utf8(n)).bind(3, st::fold(n)).bind(4, type).bind_blob(5, data, size);
    s.run();
    touch(db, k.id);
    return ERROR_SUCCESS;
  }));
}

LSTATUS RegSetValueW(HKEY key, LPCWSTR sub_key, DWORD type, LPCWSTR data, DWORD) {
  if (type != REG_SZ || !data) return ERROR_INVALID_PARAMETER;
  HKEY target = key;
  if (sub_key && *sub_key) {
    LSTATUS rc = RegCreateKeyExW(key, sub_key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &target, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
  }
  auto bytes = static_cast<DWORD>((st::wlen(data) + 1) * sizeof(WCHAR));
  LSTATUS rc = RegSetValueExW(target, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), bytes);
  if (target != key) RegCloseKey(target);
  return rc;
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR name) {
  OpenKey k;
  if (!resolve(key, k)) return ERROR_INVALID_HANDLE;
  if (!has_access(k, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  std::string f = value_fold(name);
  // A missing value is found by a read, so that it costs no write.
  DWORD err = st::read([&](sqlite3* db) -> DWORD {
    if (!key_exists(db, k.id)) return ERROR_KEY_DELETED;
    Stmt s(db, "SELECT 1 FROM reg_values WHERE key = ? AND fold = ?");
    s.bind(1, k.id).bind(2, f);
    return s.step() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
  if (err != ERROR_SUCCESS) return static_cast<LSTATUS>(err);
  return static_cast<LSTATUS>(st::write([&](sqlite3* db) -> DWORD {
    Stmt s(db, "DELETE FROM reg_values WHERE key = ? AND fold = ?");
    s.bind(1, k.id).bind(2, f);
    s.run();
    if (st::changes(db) == 0) return ERROR_FILE_NOT_FOUND;
    touch(db, k.id);
    return ERROR_SUCCESS;
  }));
}

LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR sub_key) {
  OpenKey k;
  if (!resolve(key, k)) return ERROR_INVALID_HANDLE;
  if (!sub_key) return ERROR_INVALID_PARAMETER;
  std::vector<PathPart> parts;
  if (!split_path(sub_key, parts)) return ERROR_INVALID_PARAMETER;
  return static_cast<LSTATUS>(st::write([&](sqlite3* db) -> DWORD {
    if (!key_exists(db, k.id)) return ERROR_KEY_DELETED;
    std::int64_t id = walk(db, k.id, parts);
    if (!id) return ERROR_FILE_NOT_FOUND;
    if (is_hive(db, id)) return ERROR_ACCESS_DENIED;
    Stmt children(db, "SELECT 1 FROM reg_keys WHERE parent = ? LIMIT 1");
    children.bind(1, id);
    if (children.step()) return ERROR_ACCESS_DENIED;
    Stmt parent(db, "SELECT parent FROM reg_keys WHERE id = ?");
    parent.bind(1, id);
    std::int64_t parent_id = parent.step() ? parent.i64(0) : 0;
    delete_tree(db, id, true);
    if (parent_id) touch(db, parent_id);
    return ERROR_SUCCESS;
  }));
}

LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR sub_key) {
  OpenKey k;
  if (!resolve(key, k)) return ERROR_INVALID_HANDLE;
  std::vector<PathPart> parts;
  if (!split_path(sub_key, parts)) return ERROR_INVALID_PARAMETER;
  bool whole = sub_key != nullptr;
  return static_cast<LSTATUS>(st::write([&](sqlite3* db) -> DWORD {
    if (!key_exists(db, k.id)) return ERROR_KEY_DELETED;
    std::int64_t id = walk(db, k.id, parts);
    if (!id) return ERROR_FILE_NOT_FOUND;
    bool self = whole && !parts.empty();
    if (self && is_hive(db, id)) return ERROR_ACCESS_DENIED;
    Stmt parent(db, "SELECT parent FROM reg_keys WHERE id = ?");
    parent.bind(1, id);
    std::int64_t parent_id = parent.step() ? parent.i64(0) : 0;
    delete_tree(db, id, self);
    touch(db, self ? parent_id : id);
    return ERROR_SUCCESS;
  }));
}

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_chars, LPDWORD, LPWSTR class_name,
                      LPDWORD class_chars, FILETIME* last_write) {
  OpenKey k;
  if (!resolve(key, k)) return ERROR_INVALID_HANDLE;
  if (!name || !name_chars) return ERROR_INVALID_PARAMETER;
  if (!has_access(k, KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  std::string found;
  std::int64_t written = 0;
  DWORD err = st::read([&](sqlite3* db) -> DWORD {
    if (!key_exists(db, k.id)) return ERROR_KEY_DELETED;
    Stmt s(db, "SELECT name, written FROM reg_keys WHERE parent = ? ORDER BY fold LIMIT 1 OFFSET ?");
    s.bind(1, k.id).bind(2, static_cast<std::int64_t>(index));
    if (!s.step()) return ERROR_NO_MORE_ITEMS;
    found = s.text(0);
    written = s.i64(1);
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) return static_cast<LSTATUS>(err);
  if (!copy_name(found, name, name_chars)) return ERROR_MORE_DATA;
  if (class_name && class_chars && *class_chars) class_name[0] = 0;
  if (class_chars) *class_chars = 0;
  to_filetime(written, last_write);
  return ERROR_SUCCESS;
}

LSTATUS RegEnumKeyW(HKEY key, DWORD index, LPWSTR name, DWORD name_chars) {
  return RegEnumKeyExW(key, index, name, &name_chars, nullptr, nullptr, nullptr, nullptr);
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_chars, LPDWORD, LPDWORD type, LPBYTE data,
                      LPDWORD size) {
  OpenKey k;
  if (!resolve(key, k)) return ERROR_INVALID_HANDLE;
  if (!name || !name_chars) return ERROR_INVALID_PARAMETER;
  if (data && !size) return ERROR_INVALID_PARAMETER;
  if (!has_access(k, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  std::string found;
  DWORD value_type = 0;
  std::vector<BYTE> bytes;
  DWORD err = st::read([&](sqlite3* db) -> DWORD {
    if (!key_exists(db, k.id)) return ERROR_KEY_DELETED;
    Stmt s(db, "SELECT name, type, data FROM reg_values WHERE key = ? ORDER BY id LIMIT 1 OFFSET ?");
    s.bind(1, k.id).bind(2, static_cast<std::int64_t>(index));
    if (!s.step()) return ERROR_NO_MORE_ITEMS;
    found = s.text(0);
    value_type = static_cast<DWORD>(s.i64(1));
    bytes = s.blob(2);
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) return static_cast<LSTATUS>(err);
  if (!copy_name(found, name, name_chars)) return ERROR_MORE_DATA;
  if (type) *type = value_type;
  if (!size) return ERROR_SUCCESS;
  auto needed = static_cast<DWORD>(bytes.size());
  if (data && *size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (data && needed) std::memcpy(data, bytes.data(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

LSTATUS RegQueryInfoKeyW(HKEY key, LPWSTR class_name, LPDWORD class_chars, LPDWORD, LPDWORD sub_keys,
                         LPDWORD max_sub_key_len, LPDWORD max_class_len, LPDWORD values, LPDWORD max_value_name_len,
                         LPDWORD max_value_len, LPDWORD security_descriptor, FILETIME* last_write) {
  OpenKey k;
  if (!resolve(key, k)) return ERROR_INVALID_HANDLE;
  if (!has_access(k, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  DWORD n_keys = 0, n_values = 0, key_len = 0, name_len = 0, data_len = 0;
  std::int64_t written = 0;
  DWORD err = st::read([&](sqlite3* db) -> DWORD {
    Stmt self(db, "SELECT written FROM reg_keys WHERE id = ?");
    self.bind(1, k.id);
    if (!self.step()) return ERROR_KEY_DELETED;
    written = self.i64(0);
    Stmt keys(db, "SELECT name FROM reg_keys WHERE parent = ?");
    keys.bind(1, k.id);
    while (keys.step()) {
      ++n_keys;
      key_len = std::max<DWORD>(key_len, static_cast<DWORD>(st::from_utf8(keys.text(0)).size()));
    }
    Stmt vals(db, "SELECT name, length(data) FROM reg_values WHERE key = ?");
    vals.bind(1, k.id);
    while (vals.step()) {
      ++n_values;
      name_len = std::max<DWORD>(name_len, static_cast<DWORD>(st::from_utf8(vals.text(0)).size()));
      data_len = std::max<DWORD>(data_len, static_cast<DWORD>(vals.i64(1)));
    }
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) return static_cast<LSTATUS>(err);
  if (class_name && class_chars && *class_chars) class_name[0] = 0;
  if (class_chars) *class_chars = 0;
  if (sub_keys) *sub_keys = n_keys;
  if (max_sub_key_len) *max_sub_key_len = key_len;
  if (max_class_len) *max_class_len = 0;
  if (values) *values = n_values;
  if (max_value_name_len) *max_value_name_len = name_len;
  if (max_value_len) *max_value_len = data_len;
  if (security_descriptor) *security_descriptor = 0;
  to_filetime(written, last_write);
  return ERROR_SUCCESS;
}

}  // extern "C"
