// Per-user registry values of a printer.
#include "settings/stores/user_registry_values.h"

#include <cstring>
#include <string>
#include <vector>

#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/database/ddd_records.h"
#include "settings/stores/printer_identity.h"
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
INT user_key_path(HANDLE printer, DddHandle* database, LPCWSTR sub_key, bool create, WCHAR* path,
                  DWORD capacity = kUserKeyPathChars) {
  BYTE id[kPrinterIdBytes] = {};
  if (!ReadPrinterId(printer, id)) {
    if (!create) return 0;
    if (!CreatePrinterId(printer, id) || !WritePrinterId(printer, id) || !ReadPrinterId(printer, id)) return 0;
  }
  WCHAR* base = user_base_path(database);
  if (base == nullptr) return -1;
  const INT built = BuildUserRegistryKey(base, id, sub_key, path, capacity);
  GlobalFree(base);
  return built ? 1 : -1;
}

// A key path of the printer whose identity is made now when missing.
INT sub_key_path(HANDLE printer, DddHandle* database, LPCWSTR sub_key, LPWSTR destination, DWORD capacity) {
  if (printer == nullptr || database == nullptr || destination == nullptr || capacity == 0) return 0;
  return user_key_path(printer, database, sub_key, true, destination, capacity) == 1 ? 1 : 0;
}

}  // namespace

INT GetStampsKeyPath(HANDLE printer, DddHandle* database, LPWSTR destination, DWORD capacity, INT kind) {
  if (kind != 0 && kind != 1) return 0;
  return sub_key_path(printer, database, kind == 0 ? kUserSubKeyStamps : kUserSubKeyOtherStamps, destination,
                      capacity);
}

INT GetPaperMarginKeyPath(HANDLE printer, DddHandle* database, LPWSTR destination, DWORD capacity) {
  return sub_key_path(printer, database, kUserSubKeyPaperMargin, destination, capacity);
}

INT OpenUserRegistryKey(HANDLE printer, DddHandle* database, LPCWSTR sub_key, HKEY* key) {
  if (key) *key = nullptr;
  if (key == nullptr) return 0;
  WCHAR path[kUserKeyPathChars] = {};
  if (!sub_key_path(printer, database, sub_key, path, kUserKeyPathChars)) return 0;
  return RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key, nullptr) ==
                 ERROR_SUCCESS
             ? 1
             : 0;
}

INT ReadUserRegistryValue(HANDLE printer, DddHandle* database, void* destination, DWORD capacity, DWORD type,
                          LPCWSTR sub_key, LPCWSTR name, DWORD* copied) {
  if (copied) *copied = 0;
  if (destination == nullptr && capacity != 0) return -1;
  BYTE* block = nullptr;
  DWORD size = 0;
  const INT got = ReadUserRegistryValueAlloc(printer, &block, &size, type, sub_key, name, database);
  if (got != 0) return got;
  const DWORD n = size < capacity ? size : capacity;
  if (n) std::memcpy(destination, block, n);
  if (copied) *copied = n;
  GlobalFree(block);
  return 0;
}

INT DeleteUserSettingInfoValue(HANDLE printer, DddHandle* database) {
  if (printer == nullptr || database == nullptr) return 0;
  WCHAR path[kUserKeyPathChars] = {};
  if (user_key_path(printer, database, nullptr, false, path) != 1) return 0;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return 0;
  const bool deleted = RegDeleteValueW(key, u"UserSettingInfo") == ERROR_SUCCESS;
  RegCloseKey(key);
  return deleted ? 1 : 0;
}

INT CopyRegistryTree(HKEY destination, HKEY source) {
  if (destination == nullptr || source == nullptr) return 0;
  WCHAR name[kUserKeyPathChars + 1];
  for (DWORD index = 0;; ++index) {
    DWORD chars = kUserKeyPathChars + 1;
    const LSTATUS status = RegEnumValueW(source, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) return 0;  // a name longer than 260 characters, or a failing read
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(source, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return 0;
    std::vector<BYTE> data(size ? size : 1);
    DWORD read = size;
    if (RegQueryValueExW(source, name, nullptr, &type, data.data(), &read) != ERROR_SUCCESS) return 0;
    if (RegSetValueExW(destination, name, 0, type, data.data(), read) != ERROR_SUCCESS) return 0;
  }
  for (DWORD index = 0;; ++index) {
    DWORD chars = kUserKeyPathChars + 1;
    const LSTATUS status = RegEnumKeyExW(source, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) return 0;
    HKEY from = nullptr, to = nullptr;
    if (RegOpenKeyExW(source, name, 0, KEY_READ, &from) != ERROR_SUCCESS) return 0;
    if (RegCreateKeyExW(destination, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &to, nullptr) != ERROR_SUCCESS) {
      RegCloseKey(from);
      return 0;
    }
    const INT copied = CopyRegistryTree(to, from);
    RegCloseKey(to);
    RegCloseKey(from);
    if (!copied) return 0;
  }
  return 1;
}

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
