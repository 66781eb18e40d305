// Printer data: values under keys of one printer, as the spooler keeps them
// in the printer's registry key. The plain functions use "PrinterDriverData".
#include "spooler_internal.h"

using namespace morva::platform::spooler;
namespace st = morva::platform::store;
using morva::platform::store::Stmt;

namespace {

constexpr const char16_t* kDriverDataKey = u"PrinterDriverData";

struct Target {
  std::shared_ptr<PrinterHandle> handle;
  DWORD error = ERROR_SUCCESS;
};

Target target(HANDLE printer) {
  Target t;
  t.handle = find_handle(printer);
  if (!t.handle || !t.handle->printer_id) t.error = ERROR_INVALID_HANDLE;
  return t;
}

bool printer_exists(sqlite3* db, std::int64_t id) {
  Stmt s(db, "SELECT 1 FROM printers WHERE id = ?");
  s.bind(1, id);
  return s.step();
}

DWORD get_data(HANDLE printer, const std::u16string& key, LPCWSTR name, LPDWORD type, LPBYTE data, DWORD size,
               LPDWORD needed) {
  Target t = target(printer);
  if (t.error) return t.error;
  if (key.empty()) return ERROR_INVALID_PARAMETER;
  DWORD value_type = 0;
  std::vector<BYTE> bytes;
  DWORD err = st::read([&](sqlite3* db) -> DWORD {
    if (!printer_exists(db, t.handle->printer_id)) return ERROR_PRINTER_DELETED;
    Stmt s(db, "SELECT type, data FROM printer_data WHERE printer = ? AND key_fold = ? AND fold = ?");
    s.bind(1, t.handle->printer_id).bind(2, fold_key(key)).bind(3, st::fold(st::wstr(name)));
    if (!s.step()) return ERROR_FILE_NOT_FOUND;
    value_type = static_cast<DWORD>(s.i64(0));
    bytes = s.blob(1);
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) return err;
  if (type) *type = value_type;
  if (needed) *needed = static_cast<DWORD>(bytes.size());
  if (size < bytes.size() || (!data && !bytes.empty())) return ERROR_MORE_DATA;
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  return ERROR_SUCCESS;
}

DWORD set_data(HANDLE printer, const std::u16string& key, LPCWSTR name, DWORD type, const BYTE* data, DWORD size) {
  Target t = target(printer);
  if (t.error) return t.error;
  if (key.empty()) return ERROR_INVALID_PARAMETER;
  if (!data && size) return ERROR_INVALID_PARAMETER;
  if (!is_admin(*t.handle)) return ERROR_ACCESS_DENIED;
  std::u16string n = st::wstr(name);
  return st::write([&](sqlite3* db) -> DWORD {
    if (!printer_exists(db, t.handle->printer_id)) return ERROR_PRINTER_DELETED;
    Stmt s(db,
           "INSERT INTO printer_data(printer, key, key_fold, name, fold, type, data) VALUES (?, ?, ?, ?, ?, ?, ?) "
           "ON CONFLICT(printer, key_fold, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
    s.bind(1, t.handle->printer_id).bind(2, st::to_utf8(key)).bind(3, fold_key(key));
    s.bind(4, st::to_utf8(n)).bind(5, st::fold(n)).bind(6, type).bind_blob(7, data, size);
    s.run();
    return ERROR_SUCCESS;
  });
}

DWORD delete_data(HANDLE printer, const std::u16string& key, LPCWSTR name) {
  Target t = target(printer);
  if (t.error) return t.error;
  if (key.empty()) return ERROR_INVALID_PARAMETER;
  if (!is_admin(*t.handle)) return ERROR_ACCESS_DENIED;
  std::string k = fold_key(key), n = st::fold(st::wstr(name));
  DWORD err = st::read([&](sqlite3* db) -> DWORD {
    Stmt s(db, "SELECT 1 FROM printer_data WHERE printer = ? AND key_fold = ? AND fold = ?");
    s.bind(1, t.handle->printer_id).bind(2, k).bind(3, n);
    return s.step() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
  if (err != ERROR_SUCCESS) return err;
  return st::write([&](sqlite3* db) -> DWORD {
    Stmt s(db, "DELETE FROM printer_data WHERE printer = ? AND key_fold = ? AND fold = ?");
    s.bind(1, t.handle->printer_id).bind(2, k).bind(3, n);
    s.run();
    return st::changes(db) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
}

}  // namespace

extern "C" {

DWORD GetPrinterDataW(HANDLE printer, LPWSTR name, LPDWORD type, LPBYTE data, DWORD size, LPDWORD needed) {
  return get_data(printer, kDriverDataKey, name, type, data, size, needed);
}

DWORD SetPrinterDataW(HANDLE printer, LPWSTR name, DWORD type, LPBYTE data, DWORD size) {
  return set_data(printer, kDriverDataKey, name, type, data, size);
}

DWORD DeletePrinterDataW(HANDLE printer, LPWSTR name) { return delete_data(printer, kDriverDataKey, name); }

DWORD GetPrinterDataExW(HANDLE printer, LPCWSTR key, LPCWSTR name, LPDWORD type, LPBYTE data, DWORD size,
                        LPDWORD needed) {
  return get_data(printer, st::wstr(key), name, type, data, size, needed);
}

DWORD SetPrinterDataExW(HANDLE printer, LPCWSTR key, LPCWSTR name, DWORD type, LPBYTE data, DWORD size) {
  return set_data(printer, st::wstr(key), name, type, data, size);
}

DWORD DeletePrinterDataExW(HANDLE printer, LPCWSTR key, LPCWSTR name) {
  return delete_data(printer, st::wstr(key), name);
}

DWORD EnumPrinterDataExW(HANDLE printer, LPCWSTR key, LPBYTE buffer, DWORD size, LPDWORD needed,
                         LPDWORD returned) {
  if (returned) *returned = 0;
  Target t = target(printer);
  if (t.error) return t.error;
  std::u16string k = st::wstr(key);
  if (k.empty()) return ERROR_INVALID_PARAMETER;
  struct Value {
    std::u16string name;
    DWORD type;
    std::vector<BYTE> data;
  };
  std::vector<Value> values;
  DWORD err = st::read([&](sqlite3* db) -> DWORD {
    Stmt s(db, "SELECT name, type, data FROM printer_data WHERE printer = ? AND key_fold = ? ORDER BY id");
    s.bind(1, t.handle->printer_id).bind(2, fold_key(k));
    while (s.step()) values.push_back({st::from_utf8(s.text(0)), static_cast<DWORD>(s.i64(1)), s.blob(2)});
    return values.empty() ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) return err;
  std::size_t fixed = values.size() * sizeof(PRINTER_ENUM_VALUESW);
  if (!pack(fixed, buffer, size, needed, [&](Packer& pk) {
        for (std::size_t i = 0; i < values.size(); ++i) {
          PRINTER_ENUM_VALUESW r{};
          r.pValueName = pk.str(values[i].name);
          r.cbValueName = static_cast<DWORD>((values[i].name.size() + 1) * sizeof(WCHAR));
          r.dwType = values[i].type;
          r.pData = pk.bytes(values[i].data.data(), values[i].data.size(), 8);
          r.cbData = static_cast<DWORD>(values[i].data.size());
          if (pk.filling()) std::memcpy(pk.slot(i * sizeof r), &r, sizeof r);
        }
      }))
    return ERROR_MORE_DATA;
  if (returned) *returned = static_cast<DWORD>(values.size());
  return ERROR_SUCCESS;
}

DWORD DeletePrinterKeyW(HANDLE printer, LPCWSTR key) {
  Target t = target(printer);
  if (t.error) return t.error;
  std::u16string k = st::wstr(key);
  if (k.empty()) return ERROR_INVALID_PARAMETER;
  if (!is_admin(*t.handle)) return ERROR_ACCESS_DENIED;
  std::string f = fold_key(k);
  return st::write([&](sqlite3* db) -> DWORD {
    Stmt s(db, "DELETE FROM printer_data WHERE printer = ? AND (key_fold = ? OR substr(key_fold, 1, ?) = ?)");
    s.bind(1, t.handle->printer_id).bind(2, f).bind(3, static_cast<std::int64_t>(f.size() + 1)).bind(4, f + "\\");
    s.run();
    return st::changes(db) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
}

}  // extern "C"
