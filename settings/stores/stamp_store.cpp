// The stamp store under the printer's per-user "Stamps" key.
#include "settings/stores/stamp_store.h"

#include <cstring>
#include <string>
#include <vector>

#include "settings/database/ddd_file.h"
#include "settings/database/ddd_records.h"
#include "settings/stores/user_registry_values.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/strings.h"

namespace {

constexpr char16_t kStampsSubKey[] = u"Stamps";
constexpr char16_t kStampVersionName[] = u"Stamp Version";
constexpr char16_t kStampVersion[] = u"0.01";
constexpr DWORD kValueNameChars = 261;

struct KeyCloser {
  HKEY key = nullptr;
  ~KeyCloser() {
    if (key) RegCloseKey(key);
  }
};

// The name field of a record, never read beyond its 33 characters.
std::u16string record_name(const StampRecord& record) {
  size_t n = 0;
  while (n < 33 && record.name[n]) ++n;
  return std::u16string(record.name, n);
}

bool same_name(const std::u16string& a, LPCWSTR b) { return lstrcmpiW(a.c_str(), b) == 0; }

// Calls `visit(value name, record or null)` for every REG_BINARY value of
// the key; `record` is set for values of exactly 308 bytes. The visit
// answers false to stop. ERROR_SUCCESS when the walk ended normally.
template <typename Visit>
LSTATUS walk_stamps(HKEY key, Visit visit) {
  for (DWORD index = 0;; ++index) {
    WCHAR name[kValueNameChars] = {};
    DWORD name_chars = kValueNameChars, type = 0;
    StampRecord record{};
    DWORD size = sizeof record;
    LSTATUS status = RegEnumValueW(key, index, name, &name_chars, nullptr, &type, reinterpret_cast<BYTE*>(&record), &size);
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status == ERROR_MORE_DATA) {
      // A value larger than a record: count it, but it holds no stamp.
      if (type == 0) {
        name_chars = kValueNameChars;
        size = 0;
        status = RegEnumValueW(key, index, name, &name_chars, nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS) return status;
      }
      if (type == REG_BINARY && !visit(std::u16string(name), static_cast<const StampRecord*>(nullptr))) return ERROR_SUCCESS;
      continue;
    }
    if (status != ERROR_SUCCESS) return status;
    if (type != REG_BINARY) continue;
    if (!visit(std::u16string(name), size == sizeof record ? &record : nullptr)) return ERROR_SUCCESS;
  }
}

// The stored stamp whose record name is `name`: 1 found, 99 not stored,
// 9 registry error.
INT find_stored(HKEY key, LPCWSTR name, StampRecord* out, std::u16string* value_name = nullptr) {
  bool found = false;
  const LSTATUS status = walk_stamps(key, [&](const std::u16string& value, const StampRecord* record) {
    if (!record || !same_name(record_name(*record), name)) return true;
    if (out) *out = *record;
    if (value_name) *value_name = value;
    found = true;
    return false;
  });
  if (status != ERROR_SUCCESS) return kStampRegistryError;
  return found ? kStampOk : kStampNotFound;
}

// The built-in stamp (entries 1-6) of that name: TRUE with the record.
BOOL built_in_by_name(LPCWSTR name, StampRecord* out) {
  for (INT i = 1; i <= kBuiltInStampCount; ++i) {
    StampRecord record;
    if (BuiltInStampToRecord(i, &record) && lstrcmpiW(record.name, name) == 0) {
      if (out) *out = record;
      return TRUE;
    }
  }
  return FALSE;
}

INT count_in(HKEY key, DWORD* count) {
  DWORD n = 0;
  const LSTATUS status = walk_stamps(key, [&](const std::u16string&, const StampRecord*) {
    ++n;
    return true;
  });
  if (status != ERROR_SUCCESS) return kStampRegistryError;
  *count = n;
  return kStampOk;
}

bool value_exists(HKEY key, LPCWSTR name) {
  DWORD type = 0, size = 0;
  const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
  return (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) && type == REG_BINARY;
}

// Appends names to a double-zero-ended list while they fit; `needed` gets
// the bytes of the whole list.
INT put_names(const std::vector<std::u16string>& names, LPWSTR buffer, DWORD* size) {
  DWORD needed = sizeof(WCHAR);
  for (const auto& n : names) needed += static_cast<DWORD>((n.size() + 1) * sizeof(WCHAR));
  const DWORD room = *size;
  *size = needed;
  if (!buffer) return kStampBufferTooSmall;
  DWORD used = 0;  // characters
  const DWORD room_chars = room / sizeof(WCHAR);
  for (const auto& n : names) {
    if (used + n.size() + 2 > room_chars) break;
    std::memcpy(buffer + used, n.c_str(), (n.size() + 1) * sizeof(WCHAR));
    used += static_cast<DWORD>(n.size() + 1);
  }
  if (used < room_chars) buffer[used] = 0;
  return needed > room ? kStampBufferTooSmall : kStampOk;
}

}  // namespace

INT CreateDefaultStamps(HANDLE printer, DddHandle* database) {
  WCHAR stamps[kUserKeyPathChars] = {}, others[kUserKeyPathChars] = {};
  if (!GetStampsKeyPath(printer, database, stamps, kUserKeyPathChars, 0) ||
      !GetStampsKeyPath(printer, database, others, kUserKeyPathChars, 1))
    return kStampNotFound;
  KeyCloser stamps_key, others_key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, stamps, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &stamps_key.key, nullptr) !=
      ERROR_SUCCESS)
    return kStampNotFound;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, others, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &others_key.key, nullptr) !=
      ERROR_SUCCESS) {
    RegCloseKey(stamps_key.key);
    stamps_key.key = nullptr;
    RegDeleteTreeW(HKEY_CURRENT_USER, stamps);
    RegDeleteKeyW(HKEY_CURRENT_USER, stamps);
    return kStampNotFound;
  }
  // The version is a terminated REG_SZ.
  bool ok = RegSetValueExW(others_key.key, kStampVersionName, 0, REG_SZ, reinterpret_cast<const BYTE*>(kStampVersion),
                           sizeof kStampVersion) == ERROR_SUCCESS;
  for (INT i = 1; ok && i <= kBuiltInStampCount; ++i) {
    StampRecord record;
    ok = BuiltInStampToRecord(i, &record) &&
         RegSetValueExW(stamps_key.key, record.name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&record),
                        sizeof record) == ERROR_SUCCESS;
  }
  if (ok) return kStampOk;
  RegCloseKey(others_key.key);
  RegCloseKey(stamps_key.key);
  others_key.key = stamps_key.key = nullptr;
  RegDeleteTreeW(HKEY_CURRENT_USER, stamps);
  RegDeleteKeyW(HKEY_CURRENT_USER, stamps);
  return kStampWriteFailed;
}

INT OpenStampsKey(HANDLE printer, DddHandle* database, HKEY* key) {
  if (!key) return kStampNotFound;
  *key = nullptr;
  WCHAR path[kUserKeyPathChars] = {};
  if (!GetStampsKeyPath(printer, database, path, kUserKeyPathChars, 0)) return kStampNotFound;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, key) == ERROR_SUCCESS) return kStampOk;
  *key = nullptr;
  // A machine-wide set of stamps is copied for the user; otherwise the
  // user starts with the built-in stamps.
  WCHAR* base = nullptr;
  HKEY machine = nullptr;
  if (DddReadFieldString(&database->main, 30, 0, &base) == DDD_OK && base) {
    const std::u16string machine_path = std::u16string(base) + kStampsSubKey;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, machine_path.c_str(), 0, KEY_READ, &machine) != ERROR_SUCCESS)
      machine = nullptr;
  }
  if (base) GlobalFree(base);
  if (machine) {
    HKEY created = nullptr;
    INT result = kStampNoKey;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr) ==
        ERROR_SUCCESS) {
      if (CopyRegistryTree(created, machine)) {
        *key = created;
        result = kStampOk;
      } else {
        RegCloseKey(created);
      }
    }
    RegCloseKey(machine);
    return result;
  }
  if (CreateDefaultStamps(printer, database) != kStampOk) return kStampNoKey;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, key) != ERROR_SUCCESS) {
    *key = nullptr;
    return kStampNoKey;
  }
  return kStampOk;
}

INT ReadStamp(HANDLE printer, LPCWSTR name, StampRecord* record, BOOL built_in_only, DddHandle* database) {
  if (!record) return kStampNotFound;
  if (!name || !name[0]) return BuiltInStampToRecord(0, record) ? kStampOk : kStampNotFound;
  if (built_in_only) {
    if (!built_in_by_name(name, record) && !BuiltInStampToRecord(0, record)) return kStampNotFound;
    return kStampOk;
  }
  KeyCloser key;
  if (OpenStampsKey(printer, database, &key.key) != kStampOk) return built_in_by_name(name, record) ? kStampOk : kStampNoKey;
  return find_stored(key.key, name, record);
}

INT ListBuiltInStampNames(LPWSTR buffer, DWORD* count, DWORD* size) {
  if (!size) return kStampNotFound;
  if (!buffer && !count) {
    std::vector<std::u16string> names;
    for (INT i = 1; i <= kBuiltInStampCount; ++i) {
      StampRecord record;
      if (BuiltInStampToRecord(i, &record)) names.emplace_back(record.name);
    }
    put_names(names, nullptr, size);
    return kStampOk;
  }
  if (!count) return kStampNotFound;
  std::vector<std::u16string> names;
  for (INT i = 1; i <= kBuiltInStampCount; ++i) {
    StampRecord record;
    if (BuiltInStampToRecord(i, &record)) names.emplace_back(record.name);
  }
  *count = static_cast<DWORD>(names.size());
  return put_names(names, buffer, size);
}

INT ListStampNames(HANDLE printer, LPWSTR buffer, DWORD* count, DWORD* size, DddHandle* database) {
  if (!size) return kStampNotFound;
  KeyCloser key;
  if (OpenStampsKey(printer, database, &key.key) != kStampOk) return ListBuiltInStampNames(buffer, count, size);
  std::vector<std::u16string> names;
  const LSTATUS status = walk_stamps(key.key, [&](const std::u16string& value, const StampRecord*) {
    names.push_back(value);
    return names.size() < kMaxUserStamps;
  });
  if (status != ERROR_SUCCESS) return kStampRegistryError;
  if (count) *count = static_cast<DWORD>(names.size());
  return put_names(names, buffer, size);
}

INT StampExists(HANDLE printer, LPCWSTR name, DddHandle* database) {
  if (!name || !name[0]) return kStampNotFound;
  if (IsBuiltInStampName(name)) return kStampBuiltInName;
  KeyCloser key;
  const INT opened = OpenStampsKey(printer, database, &key.key);
  if (opened != kStampOk) return opened;
  return find_stored(key.key, name, nullptr);
}

INT DeleteStamp(HANDLE printer, LPCWSTR name, DddHandle* database) {
  if (!name || !name[0]) return kStampNotFound;
  if (IsBuiltInStampName(name)) return kStampBuiltInName;
  KeyCloser key;
  const INT opened = OpenStampsKey(printer, database, &key.key);
  if (opened != kStampOk) return opened;
  std::u16string value;
  const INT found = find_stored(key.key, name, nullptr, &value);
  if (found != kStampOk) return found;
  return RegDeleteValueW(key.key, value.c_str()) == ERROR_SUCCESS ? kStampOk : kStampDeleteFailed;
}

INT CheckNewStampName(HANDLE printer, LPCWSTR name, DddHandle* database) {
  KeyCloser key;
  const INT opened = OpenStampsKey(printer, database, &key.key);
  if (opened != kStampOk) return opened;
  if (name && name[0]) {
    if (IsBuiltInStampName(name) || value_exists(key.key, name)) return kStampNameTaken;
    const INT found = find_stored(key.key, name, nullptr);
    if (found == kStampOk) return kStampNameTaken;
    if (found == kStampRegistryError) return found;
  }
  DWORD count = 0;
  const INT counted = count_in(key.key, &count);
  if (counted != kStampOk) return counted;
  return count >= kMaxUserStamps ? kStampStoreFull : kStampOk;
}

INT SaveStamp(HANDLE printer, const StampRecord* record, DddHandle* database) {
  if (!record) return kStampNotFound;
  const std::u16string name = record_name(*record);
  if (name.empty()) return kStampNotFound;
  // The built-in stamps belong to the driver: a user's stamp cannot take
  // their names, as it could not be deleted again.
  if (IsBuiltInStampName(name.c_str())) return kStampBuiltInName;
  KeyCloser key;
  const INT opened = OpenStampsKey(printer, database, &key.key);
  if (opened != kStampOk) return opened;
  if (!value_exists(key.key, name.c_str())) {
    DWORD count = 0;
    const INT counted = count_in(key.key, &count);
    if (counted != kStampOk) return counted;
    if (count >= kMaxUserStamps) return kStampStoreFull;
  }
  StampRecord stored = *record;
  stored.name[32] = 0;
  stored.text[64] = 0;
  stored.font.lfFaceName[LF_FACESIZE - 1] = 0;
  return RegSetValueExW(key.key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(&stored), sizeof stored) ==
                 ERROR_SUCCESS
             ? kStampOk
             : kStampWriteFailed;
}

INT CompareStoredStamp(HANDLE printer, const StampRecord* record, DddHandle* database) {
  if (!record) return kStampNotFound;
  KeyCloser key;
  const INT opened = OpenStampsKey(printer, database, &key.key);
  if (opened != kStampOk) return opened;
  StampRecord stored{};
  const std::u16string name = record_name(*record);
  const INT found = find_stored(key.key, name.c_str(), &stored);
  if (found == kStampNotFound) return kStampNotStored;
  if (found != kStampOk) return found;
  auto text_of = [](const WCHAR* t, size_t room) {
    size_t n = 0;
    while (n < room && t[n]) ++n;
    return std::u16string(t, n);
  };
  const LOGFONTW& a = stored.font;
  const LOGFONTW& b = record->font;
  const bool same = text_of(stored.text, 65) == text_of(record->text, 65) && stored.colour == record->colour &&
                    stored.field200 == record->field200 && stored.field204 == record->field204 &&
                    stored.frame == record->frame && stored.placement == record->placement &&
                    stored.field212 == record->field212 && a.lfHeight == b.lfHeight && a.lfWidth == b.lfWidth &&
                    a.lfEscapement == b.lfEscapement && a.lfOrientation == b.lfOrientation &&
                    a.lfWeight == b.lfWeight && a.lfItalic == b.lfItalic && a.lfUnderline == b.lfUnderline &&
                    a.lfStrikeOut == b.lfStrikeOut && a.lfCharSet == b.lfCharSet &&
                    a.lfOutPrecision == b.lfOutPrecision && a.lfClipPrecision == b.lfClipPrecision &&
                    a.lfPitchAndFamily == b.lfPitchAndFamily &&
                    text_of(a.lfFaceName, LF_FACESIZE) == text_of(b.lfFaceName, LF_FACESIZE);
  return same ? kStampOk : kStampDiffers;
}

INT CountStoredStamps(HANDLE printer, DWORD* count, DddHandle* database) {
  if (!count) return kStampNotFound;
  KeyCloser key;
  const INT opened = OpenStampsKey(printer, database, &key.key);
  if (opened != kStampOk) return opened;
  return count_in(key.key, count);
}
