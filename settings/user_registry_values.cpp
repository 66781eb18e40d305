// Per-user registry values of a printer.
#include "settings/user_registry_values.h"

#include <string>

#include "settings/ddd_file.h"
#include "settings/ddd_queries.h"
#include "settings/ddd_records.h"
#include "settings/printer_identity.h"
#include "win/endian.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/spooler.h"
#include "win/strings.h"

namespace {

// The per-user base path: the database's product string 1 (global field 33).
WCHAR* user_base_path(DddHandle* database) {
  if (database == nullptr) return nullptr;
  WCHAR* base = nullptr;
  if (DddGetProductString(&database->main, 1, &base) != DDD_OK) return nullptr;
  return base;
}

// The printer's key path, with the identity the printer has (or, with
// `create`, one made and stored now). 1 done, 0 no identity, -1 error.
INT user_key_path(HANDLE printer, DddHandle* database, LPCWSTR sub_key, bool create, WCHAR* path) {
  BYTE id[kPrinterIdBytes] = {};
  if (!ReadPrinterId(printer, id)) {
    if (!create) return 0;
    if (!CreatePrinterId(printer, id) || !WritePrinterId(printer, id) || !ReadPrinterId(printer, id)) return 0;
  }
  WCHAR* base = user_base_path(database);
  if (base == nullptr) return -1;
  const INT built = BuildUserRegistryKey(base, id, sub_key, path, kUserKeyPathChars);
  GlobalFree(base);
  return built ? 1 : -1;
}

}  // namespace

INT BuildUserRegistryKey(LPCWSTR base, const BYTE* prnid, LPCWSTR sub_key, LPWSTR destination, DWORD capacity) {
  if (base == nullptr || prnid == nullptr || destination == nullptr || capacity == 0) return 0;
  std::u16string path(base);
  if (path.size() >= capacity) path.resize(capacity - 1);
  if (path.size() + kPrinterIdTextChars < capacity) {
    WCHAR hex[kPrinterIdTextChars] = {};
    FormatPrinterIdHex(prnid, hex, kPrinterIdTextChars);
    path += hex;
    if (sub_key) {
      const std::u16string sub(sub_key);
      if (sub.size() + path.size() + 1 < capacity) path += u"\\" + sub;
    }
  }
  path.copy(destination, path.size());
  destination[path.size()] = 0;
  return 1;
}

INT RecordPrinterAttributes(HANDLE printer, HKEY key) {
  if (printer == nullptr || key == nullptr) return 0;
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) return 1;
  DWORD attributes = 0;
  bool found = false;
  for (DWORD level : {4u, 5u}) {
    DWORD needed = 0;
    GetPrinterW(printer, level, nullptr, 0, &needed);
    if (needed == 0) continue;
    auto* info = static_cast<BYTE*>(GlobalAlloc(GPTR, needed));
    if (info == nullptr) return 0;
    if (GetPrinterW(printer, level, info, needed, &needed)) {
      attributes = level == 4 ? reinterpret_cast<PRINTER_INFO_4W*>(info)->Attributes
                              : reinterpret_cast<PRINTER_INFO_5W*>(info)->Attributes;
      found = true;
    }
    GlobalFree(info);
    if (found) break;
  }
  if (!found) return 0;
  BYTE bytes[4];
  morva::store_le32(bytes, attributes);
  return RegSetValueExW(key, nullptr, 0, REG_BINARY, bytes, sizeof bytes) == ERROR_SUCCESS ? 1 : 0;
}

INT ReadUserRegistryValueAlloc(HANDLE printer, BYTE** block, DWORD* size, DWORD type, LPCWSTR sub_key,
                               LPCWSTR name, DddHandle* database) {
  if (block) *block = nullptr;
  if (size) *size = 0;
  if (printer == nullptr || block == nullptr || size == nullptr || database == nullptr) return -1;
  WCHAR path[kUserKeyPathChars] = {};
  const INT got = user_key_path(printer, database, sub_key, false, path);
  if (got != 1) return got == 0 ? 1 : -1;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return 1;
  INT result = 1;
  DWORD stored_type = 0, bytes = 0;
  if (RegQueryValueExW(key, name, nullptr, &stored_type, nullptr, &bytes) == ERROR_SUCCESS && stored_type == type) {
    auto* data = static_cast<BYTE*>(GlobalAlloc(GPTR, bytes ? bytes : 1));
    if (data == nullptr) {
      result = -1;
    } else if (RegQueryValueExW(key, name, nullptr, &stored_type, data, &bytes) == ERROR_SUCCESS &&
               stored_type == type) {
      *block = data;
      *size = bytes;
      result = 0;
    } else {
      GlobalFree(data);
    }
  }
  RegCloseKey(key);
  return result;
}

INT WriteUserRegistryValue(HANDLE printer, DddHandle* database, const void* data, DWORD size, DWORD type,
                           LPCWSTR sub_key, LPCWSTR name) {
  if (printer == nullptr || database == nullptr || (data == nullptr && size != 0)) return 0;
  WCHAR path[kUserKeyPathChars] = {};
  if (user_key_path(printer, database, sub_key, true, path) != 1) return 0;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return 0;
  }
  // Keys of printers that are gone go before anything new is written.
  DeleteUserRegistryKeys(nullptr, database);
  INT result = 0;
  if (RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS) {
    if (sub_key == nullptr) {
      result = RecordPrinterAttributes(printer, key);
    } else {
      // The attributes belong to the printer's own key.
      WCHAR own[kUserKeyPathChars] = {};
      HKEY printer_key = nullptr;
      if (user_key_path(printer, database, nullptr, false, own) == 1 &&
          RegCreateKeyExW(HKEY_CURRENT_USER, own, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &printer_key, nullptr) ==
              ERROR_SUCCESS) {
        result = RecordPrinterAttributes(printer, printer_key);
        RegCloseKey(printer_key);
      }
    }
  }
  RegCloseKey(key);
  return result;
}
