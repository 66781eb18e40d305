// Clean-up of the per-user keys of printers that are gone.
#include <algorithm>
#include <string>
#include <vector>

#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/stores/printer_identity.h"
#include "settings/stores/user_registry_values.h"
#include "win/endian.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/spooler.h"

namespace {

constexpr DWORD kLocalAttribute = PRINTER_ATTRIBUTE_LOCAL;
constexpr DWORD kIdentityKeyChars = 32;

// The identities (as hex text) of the local printers. False when the
// printers cannot be listed or one of them cannot be opened: then no key
// can safely be called stale.
bool list_local_printer_ids(std::vector<std::u16string>* ids) {
  DWORD needed = 0, count = 0;
  if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed, &count)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  }
  if (needed == 0) return true;
  std::vector<BYTE> buffer(needed);
  if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, buffer.data(), needed, &needed, &count)) return false;
  const auto* printers = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    HANDLE printer = nullptr;
    if (!OpenPrinterW(printers[i].pPrinterName, &printer, nullptr)) return false;
    BYTE id[kPrinterIdBytes];
    if (ReadPrinterId(printer, id)) {
      WCHAR hex[kPrinterIdTextChars] = {};
      FormatPrinterIdHex(id, hex, kPrinterIdTextChars);
      ids->push_back(hex);
    }
    ClosePrinter(printer);
  }
  return true;
}

bool same_text_ignoring_case(const std::u16string& a, const std::u16string& b) {
  auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) {
           return lower(x) == lower(y);
         });
}

}  // namespace

INT DeleteRegistryTree(HKEY key, LPCWSTR sub_key) {
  if (key == nullptr || sub_key == nullptr) return 0;
  HKEY opened = nullptr;
  if (RegOpenKeyExW(key, sub_key, 0, KEY_ALL_ACCESS, &opened) != ERROR_SUCCESS) return 0;
  WCHAR name[256];
  for (;;) {
    DWORD chars = static_cast<DWORD>(std::size(name));
    if (RegEnumKeyExW(opened, 0, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (!DeleteRegistryTree(opened, name)) {  // a sub-key that stays would be listed again forever
      RegCloseKey(opened);
      return 0;
    }
  }
  RegCloseKey(opened);
  return RegDeleteKeyW(key, sub_key) == ERROR_SUCCESS ? 1 : 0;
}

INT DeleteUserKeyOfPrinter(LPCWSTR name, LPCWSTR base, DWORD mask) {
  if (name == nullptr || base == nullptr) return 0;
  const std::u16string path = std::u16string(base) + name;
  if (mask != 0) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    BYTE bytes[4] = {};
    DWORD type = 0, size = sizeof bytes;
    const bool read = RegQueryValueExW(key, nullptr, nullptr, &type, bytes, &size) == ERROR_SUCCESS && size == 4;
    RegCloseKey(key);
    if (!read || (morva::load_le32(bytes) & mask) == 0) return 0;
  }
  return DeleteRegistryTree(HKEY_CURRENT_USER, path.c_str());
}

DWORD PurgeStaleUserKeys(LPCWSTR base) {
  if (base == nullptr) return 0;
  std::vector<std::u16string> live;
  if (!list_local_printer_ids(&live)) return 0;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, base, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  std::vector<std::u16string> stale;
  WCHAR name[256];
  for (DWORD index = 0;; ++index) {
    DWORD chars = static_cast<DWORD>(std::size(name));
    const LSTATUS status = RegEnumKeyExW(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_MORE_DATA) continue;  // longer than an identity
    if (status != ERROR_SUCCESS) break;
    const std::u16string n(name, chars);
    if (n.size() > kIdentityKeyChars) continue;
    if (std::none_of(live.begin(), live.end(), [&](const std::u16string& id) { return same_text_ignoring_case(id, n); })) {
      stale.push_back(n);
    }
  }
  RegCloseKey(key);
  DWORD deleted = 0;
  for (const std::u16string& n : stale) deleted += DeleteUserKeyOfPrinter(n.c_str(), base, kLocalAttribute) ? 1 : 0;
  return deleted;
}

INT DeleteUserRegistryKeys(HANDLE printer, DddHandle* database) {
  if (database == nullptr) return 0;
  WCHAR* base = nullptr;
  if (DddGetProductString(&database->main, 1, &base) != DDD_OK || base == nullptr) return 0;
  if (printer == nullptr) {
    PurgeStaleUserKeys(base);
  } else {
    BYTE id[kPrinterIdBytes];
    if (ReadPrinterId(printer, id)) {
      WCHAR hex[kPrinterIdTextChars] = {};
      FormatPrinterIdHex(id, hex, kPrinterIdTextChars);
      DeleteUserKeyOfPrinter(hex, base, kLocalAttribute);
    }
  }
  GlobalFree(base);
  return 1;
}
