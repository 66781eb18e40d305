// The fax dialogs' per-user registry lists and the small shared helpers
// that go with them.
//
// Beyond the lists' own rules: writers clear every number above the new
// list up to 10 rather than stopping at the first gap, and refuse to write
// in protected mode instead of pretending to have written.
#include "fax/fax_registry_lists.h"

#include <cstring>
#include <string>
#include <vector>

#include "settings/common/module_state.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_identity.h"
#include "settings/stores/user_registry_values.h"
#include "win/win.h"

namespace morva::fax {
namespace {

constexpr WORD kSettingHistorySwitch = 1367;
constexpr WORD kSettingFaxCardType = 4369;

struct SenderField {
  WORD ddmid;
  size_t offset;
  DWORD bytes;
};
constexpr SenderField kSenderFields[] = {
    {1819, offsetof(SenderRecord, SenderName), 82}, {1820, offsetof(SenderRecord, Text1820), 82},
    {1821, offsetof(SenderRecord, Text1821), 418},  {1822, offsetof(SenderRecord, Text1822), 62},
    {1823, offsetof(SenderRecord, Text1823), 62},   {1876, offsetof(SenderRecord, Text1876), 258},
};

std::u16string value_name(LPCWSTR prefix, INT n, FaxListNaming naming) {
  return format_w(naming == FaxListNaming::kHistory ? u"%s%2d" : u"%s%d", prefix, n);
}

// The text of a field up to its terminator, never past the field.
std::u16string field_text(const WCHAR* field, size_t chars) {
  size_t n = 0;
  while (n < chars && field[n]) ++n;
  return std::u16string(field, n);
}

// Copies text into a field of `chars` characters, cut and zero-filled.
void put_field(WCHAR* field, size_t chars, const std::u16string& text) {
  std::memset(field, 0, chars * sizeof(WCHAR));
  std::memcpy(field, text.data(), std::min(text.size(), chars - 1) * sizeof(WCHAR));
}

bool refused_in_protected_mode() {
  if (!IsIEProtectedModeProcess()) return false;
  SetLastError(ERROR_ACCESS_DENIED);
  return true;
}

// A whole value (any size) and its type; false when it cannot be read.
bool read_value(HKEY key, const std::u16string& name, std::vector<BYTE>* data, DWORD* type) {
  DWORD size = 0;
  if (RegQueryValueExW(key, name.c_str(), nullptr, type, nullptr, &size) != ERROR_SUCCESS) return false;
  data->assign(size, 0);
  if (RegQueryValueExW(key, name.c_str(), nullptr, type, data->data(), &size) != ERROR_SUCCESS) return false;
  data->resize(size);
  return true;
}

// Deletes the numbers from `first` up to 10.
void delete_numbers_above(HKEY key, LPCWSTR prefix, INT first, FaxListNaming naming) {
  for (INT n = first; n <= kFaxListMaxEntries; ++n) RegDeleteValueW(key, value_name(prefix, n, naming).c_str());
}

HKEY open_for_writing(LPCWSTR keyPath) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return nullptr;
  return key;
}

INT read_strings(HKEY key, LPCWSTR prefix, LPWSTR* buffers, DWORD capacityBytes, INT count, FaxListNaming naming) {
  const size_t chars = capacityBytes / sizeof(WCHAR);
  INT n = 0;
  for (; n < count; ++n) {
    std::vector<BYTE> data;
    DWORD type = 0;
    if (!read_value(key, value_name(prefix, n + 1, naming), &data, &type) || type != REG_SZ) break;
    std::u16string text(data.size() / 2, u'\0');
    std::memcpy(text.data(), data.data(), text.size() * 2);
    put_field(buffers[n], chars, field_text(text.data(), text.size()));
  }
  return n;
}

INT write_strings(HKEY key, LPCWSTR prefix, const LPCWSTR* strings, INT count, FaxListNaming naming) {
  for (INT n = 0; n < count; ++n) {
    const LPCWSTR text = strings[n] ? strings[n] : u"";
    const DWORD bytes = static_cast<DWORD>((std::char_traits<char16_t>::length(text) + 1) * sizeof(WCHAR));
    if (RegSetValueExW(key, value_name(prefix, n + 1, naming).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(text), bytes) != ERROR_SUCCESS)
      return 0;
  }
  delete_numbers_above(key, prefix, count + 1, naming);
  return 1;
}

bool read_setting_text(void* devmode, void* printerData, WORD ddmid, std::u16string* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, devmode, printerData, &type, &size, &value) != 0 || type != 6) return false;
  *out = ItemText(value, size);
  return true;
}

WCHAR* sender_field(SenderRecord* record, const SenderField& f) {
  return reinterpret_cast<WCHAR*>(reinterpret_cast<BYTE*>(record) + f.offset);
}
const WCHAR* sender_field(const SenderRecord* record, const SenderField& f) {
  return reinterpret_cast<const WCHAR*>(reinterpret_cast<const BYTE*>(record) + f.offset);
}

}  // namespace

int GetFaxUserKeyPath(DddHandle* database, int which, LPCWSTR tail, LPWSTR out, DWORD capacity) {
  if (!out || !database || capacity == 0 || (which != 0 && which != 1)) return 0;
  WCHAR* base = nullptr;
  if (DddGetProductString(&database->main, static_cast<WORD>(which), &base) != DDD_OK || !base) return 0;
  std::u16string path = base;
  GlobalFree(base);
  if (tail) path += tail;
  if (path.size() >= capacity) return 0;
  std::memcpy(out, path.c_str(), sizeof(WCHAR) * (path.size() + 1));
  return 1;
}

INT ReadNumberedStrings(LPCWSTR keyPath, LPCWSTR prefix, LPWSTR* buffers, DWORD capacityBytes, INT count,
                        FaxListNaming naming) {
  if (!keyPath || !prefix || !buffers || capacityBytes < sizeof(WCHAR) || count < 0) return -1;
  for (INT i = 0; i < count; ++i)
    if (!buffers[i]) return -1;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  const INT n = read_strings(key, prefix, buffers, capacityBytes, count, naming);
  RegCloseKey(key);
  return n;
}

INT WriteNumberedStrings(LPCWSTR keyPath, LPCWSTR prefix, const LPCWSTR* strings, INT count, FaxListNaming naming) {
  if (!keyPath || !prefix || count < 0 || count > kFaxListMaxEntries || (count > 0 && !strings)) return 0;
  if (refused_in_protected_mode()) return 0;
  HKEY key = open_for_writing(keyPath);
  if (!key) return 0;
  const INT done = write_strings(key, prefix, strings, count, naming);
  RegCloseKey(key);
  return done;
}

INT ReadSenderRecords(LPCWSTR keyPath, LPCWSTR prefix, SenderRecord* records, INT count) {
  if (!keyPath || !prefix || !records || count < 0) return -1;
  HKEY heads = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &heads) != ERROR_SUCCESS) return 0;
  INT n = 0;
  for (; n < count; ++n) {
    std::vector<BYTE> data;
    DWORD type = 0;
    if (!read_value(heads, value_name(prefix, n + 1, FaxListNaming::kPlain), &data, &type)) break;
    std::memset(&records[n], 0, sizeof(SenderRecord));
    std::memcpy(&records[n], data.data(), std::min<size_t>(data.size(), kSenderHeadBytes));
    records[n].Confirmed = 1;
  }
  RegCloseKey(heads);

  std::vector<SenderRecord> full;
  HKEY whole = nullptr;
  const std::u16string wholePath = std::u16string(keyPath) + u"2";
  if (RegOpenKeyExW(HKEY_CURRENT_USER, wholePath.c_str(), 0, KEY_READ, &whole) == ERROR_SUCCESS) {
    for (INT i = 0; i < n; ++i) {
      std::vector<BYTE> data;
      DWORD type = 0;
      if (!read_value(whole, value_name(prefix, i + 1, FaxListNaming::kPlain), &data, &type)) continue;
      SenderRecord r{};
      std::memcpy(&r, data.data(), std::min(data.size(), sizeof(r)));
      full.push_back(r);
    }
    RegCloseKey(whole);
  }
  for (INT i = 0; i < n; ++i) {
    SenderRecord& r = records[i];
    const std::u16string name = field_text(r.SenderName, std::size(r.SenderName));
    for (const SenderRecord& f : full) {
      if (field_text(f.SenderName, std::size(f.SenderName)) != name) continue;
      const std::u16string text = field_text(f.Text1876, std::size(f.Text1876) - 1);
      put_field(r.Text1876, std::size(r.Text1876), text);
      if (!text.empty() && (std::memcmp(&r, &f, kSenderHeadBytes) != 0 || f.Confirmed == 0)) r.Confirmed = 0;
      break;
    }
  }
  return n;
}

INT WriteSenderRecords(LPCWSTR keyPath, LPCWSTR prefix, const SenderRecord* records, INT count) {
  if (!keyPath || !prefix || count < 0 || count > kFaxListMaxEntries || (count > 0 && !records)) return 0;
  if (refused_in_protected_mode()) return 0;
  HKEY heads = open_for_writing(keyPath);
  if (!heads) return 0;
  const std::u16string wholePath = std::u16string(keyPath) + u"2";
  HKEY whole = open_for_writing(wholePath.c_str());
  if (!whole) {
    RegCloseKey(heads);
    return 0;
  }
  INT done = 1;
  for (INT n = 0; n < count && done; ++n) {
    const std::u16string name = value_name(prefix, n + 1, FaxListNaming::kPlain);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&records[n]);
    if (RegSetValueExW(heads, name.c_str(), 0, REG_BINARY, bytes, kSenderHeadBytes) != ERROR_SUCCESS ||
        RegSetValueExW(whole, name.c_str(), 0, REG_BINARY, bytes, sizeof(SenderRecord)) != ERROR_SUCCESS)
      done = 0;
  }
  if (done) {
    delete_numbers_above(heads, prefix, count + 1, FaxListNaming::kPlain);
    delete_numbers_above(whole, prefix, count + 1, FaxListNaming::kPlain);
  }
  RegCloseKey(whole);
  RegCloseKey(heads);
  return done;
}

BOOL ApplySenderRecord(void* devmode, void* printerData, const SenderRecord* record) {
  if (!record) return FALSE;
  for (const SenderField& f : kSenderFields) {
    const std::u16string text = field_text(sender_field(record, f), f.bytes / sizeof(WCHAR) - 1);
    const WCHAR* pointer = text.c_str();
    if (SetItemValueRaw(f.ddmid, devmode, printerData, 6, f.bytes, &pointer) != 0) return FALSE;
  }
  return TRUE;
}

BOOL CaptureSenderRecord(void* devmode, void* printerData, SenderRecord* record) {
  if (!record) return FALSE;
  for (const SenderField& f : kSenderFields) {
    std::u16string text;
    if (!read_setting_text(devmode, printerData, f.ddmid, &text)) return FALSE;
    put_field(sender_field(record, f), f.bytes / sizeof(WCHAR), text);
  }
  return TRUE;
}

INT CompareSenderWithSettings(const SenderRecord* record, void* devmode, void* printerData) {
  if (!record) return -1;
  for (const SenderField& f : kSenderFields) {
    std::u16string text;
    if (!read_setting_text(devmode, printerData, f.ddmid, &text)) return -1;
    if (field_text(sender_field(record, f), f.bytes / sizeof(WCHAR)) != text) return 1;
  }
  return 0;
}

INT GetAddressHistoryKeyPath(HANDLE printer, DddHandle* database, LPWSTR out) {
  if (!printer || !database || !out) return 0;
  BYTE id[16] = {};
  if (!ReadPrinterId(printer, id)) {
    if (!CreatePrinterId(printer, id) || !WritePrinterId(printer, id) || !ReadPrinterId(printer, id)) return 0;
  }
  WCHAR base[kFaxUserKeyChars];
  if (!GetFaxUserKeyPath(database, 1, nullptr, base, kFaxUserKeyChars)) return 0;
  if (!BuildUserRegistryKey(base, id, kAddressHistoryKeyTail, out, kFaxUserKeyChars)) return 0;
  // A path without the tail (it did not fit) is no history key.
  const std::u16string path = out;
  const std::u16string tail = kAddressHistoryKeyTail;
  return path.size() > tail.size() && path.compare(path.size() - tail.size(), tail.size(), tail) == 0 ? 1 : 0;
}

INT LoadAddressHistorySwitch(LPCWSTR keyPath, void* devmode, void* printerData) {
  if (!keyPath) return 0;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return 1;
  DWORD value = 0;
  DWORD size = sizeof(value);
  DWORD type = 0;
  const LSTATUS rc =
      RegQueryValueExW(key, kHistorySwitchValue, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) value = 0;  // missing counts as off
  else if (type != REG_DWORD || size != sizeof(value)) return 0;
  if (value > 1) return 0;
  return SetItemValueRaw(kSettingHistorySwitch, devmode, printerData, 1, 4, &value) == 0 ? 1 : 0;
}

INT ReadAddressHistory(LPCWSTR keyPath, WCHAR (*entries)[kHistoryEntryChars]) {
  if (!keyPath || !entries) return -1;
  LPWSTR buffers[kFaxListMaxEntries];
  for (INT i = 0; i < kFaxListMaxEntries; ++i) buffers[i] = entries[i];
  return ReadNumberedStrings(keyPath, kHistoryValuePrefix, buffers, kHistoryEntryChars * sizeof(WCHAR),
                             kFaxListMaxEntries, FaxListNaming::kHistory);
}

INT StoreAddressHistory(LPCWSTR keyPath, void* devmode, void* printerData, const LPCWSTR* entries, INT count) {
  if (!keyPath || count < 0 || count > kFaxListMaxEntries || (count > 0 && !entries)) return 0;
  WORD type = 0;
  DWORD size = 0;
  ItemValue on{};
  if (GetItemValue(kSettingHistorySwitch, devmode, printerData, &type, &size, &on) != 0) return 0;
  if (refused_in_protected_mode()) return 0;
  HKEY key = open_for_writing(keyPath);
  if (!key) return 0;
  const bool keep = on.dw != 0;
  INT done = write_strings(key, kHistoryValuePrefix, entries, keep ? count : 0, FaxListNaming::kHistory);
  const DWORD flag = keep ? 1 : 0;
  if (done && RegSetValueExW(key, kHistorySwitchValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flag),
                             sizeof(flag)) != ERROR_SUCCESS)
    done = 0;
  RegCloseKey(key);
  return done;
}

INT GetDirectFaxMode(BOOL faxUnitOption, void* devmode, void* printerData, WORD* mode) {
  if (!mode) return 0;
  if (faxUnitOption) {
    *mode = 1;
    return 1;
  }
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(kSettingFaxCardType, devmode, printerData, &type, &size, &value) != 0) return 0;
  switch (value.b) {
    case 0: *mode = 3; return 1;
    case 1: *mode = 2; return 1;
    case 2: *mode = 0; return 1;
    default: return 0;
  }
}

INT IsSpaceOnlyText(LPCWSTR text) {
  if (!text) return 0;
  for (; *text; ++text)
    if (*text != u' ') return 0;
  return 1;
}

}  // namespace morva::fax
