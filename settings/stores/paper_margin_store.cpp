// The paper-margin store: the printer's PaperMarginArray and the user's
// "Paper Margin" registry values.
#include "settings/stores/paper_margin_store.h"

#include <cstring>
#include <string>
#include <vector>

#include "settings/database/ddd_file.h"
#include "settings/database/ddd_records.h"
#include "settings/stores/printer_data_kinds.h"
#include "settings/stores/user_registry_values.h"
#include "win/endian.h"
#include "win/errors.h"
#include "win/memory.h"

namespace {

constexpr char16_t kPaperMarginSubKey[] = u"Paper Margin";

void put_entry(BYTE* out, const PaperMarginEntry& e) {
  morva::store_le16(out, e.paper);
  morva::store_le16(out + 2, 0);
  for (int i = 0; i < 4; ++i) morva::store_le32(out + 4 + 4 * i, static_cast<DWORD>(e.margins.m[i]));
}

PaperMarginEntry get_entry(const BYTE* in) {
  PaperMarginEntry e{};
  e.paper = morva::load_le16(in);
  for (int i = 0; i < 4; ++i) e.margins.m[i] = static_cast<LONG>(morva::load_le32(in + 4 + 4 * i));
  return e;
}

bool good_orientation(INT orientation) { return orientation == 1 || orientation == 2; }

// Global field 30 of the database: the machine-wide base path.
std::u16string machine_base(DddHandle* database, LPCWSTR base_path) {
  if (base_path) return base_path;
  if (!database) return {};
  WCHAR* text = nullptr;
  if (DddReadFieldString(&database->main, 30, 0, &text) != DDD_OK || !text) return {};
  std::u16string out = text;
  GlobalFree(text);
  return out;
}

std::u16string value_name(WORD paper) {
  const std::string n = std::to_string(paper);
  return std::u16string(n.begin(), n.end());
}

}  // namespace

INT RotatePaperMargins(INT direction, INT orientation, PaperMargin* stored, PaperMargin* caller) {
  if (!stored || !caller || !good_orientation(orientation)) return kMarginBadArgument;
  if (direction != kMarginsToStored && direction != kMarginsToCaller) return kMarginBadArgument;
  // Both permutations are their own inverse: the same exchange serves either way.
  static constexpr int kPortrait[4] = {0, 1, 3, 2};
  static constexpr int kLandscape[4] = {2, 3, 0, 1};
  const int* map = orientation == 1 ? kPortrait : kLandscape;
  const PaperMargin from = direction == kMarginsToStored ? *caller : *stored;
  PaperMargin* to = direction == kMarginsToStored ? stored : caller;
  for (int i = 0; i < 4; ++i) to->m[i] = from.m[map[i]];
  return kMarginOk;
}

void InitDefaultPaperMargins(PaperMargin* margins) {
  if (margins)
    for (LONG& m : margins->m) m = kDefaultPaperMargin;
}

INT GetDefaultPaperMargins(PaperMargin* margins, INT orientation) {
  if (!margins) return kMarginBadArgument;
  (void)orientation;  // all four are equal
  InitDefaultPaperMargins(margins);
  return kMarginOk;
}

PaperMarginArray* LoadPaperMarginArray(HANDLE printer) {
  auto* array = static_cast<PaperMarginArray*>(GlobalAlloc(GPTR, sizeof(PaperMarginArray)));
  if (!array) return nullptr;
  DWORD size = 0;
  if (!printer || !ReadPrinterDataKind(printer, kPrinterDataPaperMarginArray, nullptr, &size) || size == 0 ||
      size % sizeof(PaperMarginEntry) != 0)
    return array;
  std::vector<BYTE> blob(size);
  if (!ReadPrinterDataKind(printer, kPrinterDataPaperMarginArray, blob.data(), &size) ||
      size % sizeof(PaperMarginEntry) != 0 || size == 0)
    return array;
  auto* entries = static_cast<PaperMarginEntry*>(GlobalAlloc(GPTR, size));
  if (!entries) return array;
  const DWORD count = size / sizeof(PaperMarginEntry);
  for (DWORD i = 0; i < count; ++i) entries[i] = get_entry(&blob[i * sizeof(PaperMarginEntry)]);
  array->entries = entries;
  array->count = count;
  array->bytes = size;
  return array;
}

INT SavePaperMarginArray(HANDLE printer, const PaperMarginArray* array) {
  if (!printer || !array || !array->entries || array->count == 0) return kMarginBadArgument;
  std::vector<BYTE> blob(array->count * sizeof(PaperMarginEntry));
  for (DWORD i = 0; i < array->count; ++i) put_entry(&blob[i * sizeof(PaperMarginEntry)], array->entries[i]);
  return WritePrinterDataKind(printer, blob.data(), static_cast<DWORD>(blob.size()), kPrinterDataPaperMarginArray)
             ? kMarginOk
             : kMarginWriteFailed;
}

INT FreePaperMarginArray(PaperMarginArray* array) {
  if (!array) return kMarginNotFound;
  if (array->entries) GlobalFree(array->entries);
  GlobalFree(array);
  return kMarginOk;
}

INT FindPaperMargin(const PaperMarginArray* array, WORD paper, PaperMargin* margins) {
  if (!array || !margins) return kMarginNotFound;
  for (DWORD i = 0; i < array->count; ++i)
    if (array->entries[i].paper == paper) {
      *margins = array->entries[i].margins;
      return kMarginOk;
    }
  return kMarginNotFound;
}

INT SetPaperMargin(PaperMarginArray* array, WORD paper, const PaperMargin* margins) {
  if (!array || !margins) return kMarginNotFound;
  for (DWORD i = 0; i < array->count; ++i)
    if (array->entries[i].paper == paper) {
      array->entries[i].margins = *margins;
      return kMarginOk;
    }
  const DWORD count = array->count + 1;
  auto* entries = static_cast<PaperMarginEntry*>(GlobalAlloc(GPTR, count * sizeof(PaperMarginEntry)));
  if (!entries) return kMarginNotFound;
  if (array->count) std::memcpy(entries, array->entries, array->count * sizeof(PaperMarginEntry));
  entries[array->count] = PaperMarginEntry{paper, 0, *margins};
  if (array->entries) GlobalFree(array->entries);
  array->entries = entries;
  array->count = count;
  array->bytes = count * sizeof(PaperMarginEntry);
  return kMarginOk;
}

INT StoreTemporaryPaperMargin(PaperMarginArray* array, WORD paper, const PaperMargin* caller, INT orientation) {
  if (!caller) return kMarginBadArgument;
  PaperMargin stored{};
  PaperMargin in = *caller;
  const INT rotated = RotatePaperMargins(kMarginsToStored, orientation, &stored, &in);
  if (rotated != kMarginOk) return rotated;
  return SetPaperMargin(array, paper, &stored);
}

INT FindPaperMarginRotated(const PaperMarginArray* array, WORD paper, INT orientation, PaperMargin* caller) {
  PaperMargin stored{};
  const INT found = FindPaperMargin(array, paper, &stored);
  if (found != kMarginOk) return found;
  return RotatePaperMargins(kMarginsToCaller, orientation, &stored, caller);
}

INT OpenPaperMarginKey(HANDLE printer, DddHandle* database, LPCWSTR base_path, HKEY* key, LPWSTR path) {
  if (!key) return kMarginNotFound;
  *key = nullptr;
  WCHAR own[kUserKeyPathChars] = {};
  if (!GetPaperMarginKeyPath(printer, database, own, kUserKeyPathChars)) return kMarginNotFound;
  if (path) std::memcpy(path, own, sizeof own);
  if (RegOpenKeyExW(HKEY_CURRENT_USER, own, 0, KEY_ALL_ACCESS, key) == ERROR_SUCCESS) return kMarginOk;
  const LSTATUS created = RegCreateKeyExW(HKEY_CURRENT_USER, own, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key, nullptr);
  if (created != ERROR_SUCCESS) {
    *key = nullptr;
    return static_cast<INT>(created);
  }
  // A new user key starts from the machine-wide margins when there are any.
  const std::u16string base = machine_base(database, base_path);
  if (!base.empty()) {
    HKEY machine = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (base + kPaperMarginSubKey).c_str(), 0, KEY_READ, &machine) ==
        ERROR_SUCCESS) {
      CopyRegistryTree(*key, machine);
      RegCloseKey(machine);
    }
  }
  return kMarginOk;
}

INT ReadPaperMargin(HANDLE printer, DddHandle* database, LPCWSTR base_path, WORD paper, PaperMargin* margins) {
  if (!margins) return kMarginMissing;
  HKEY key = nullptr;
  if (OpenPaperMarginKey(printer, database, base_path, &key) != kMarginOk) return kMarginMissing;
  BYTE data[kPaperMarginValueBytes] = {};
  DWORD type = 0, size = sizeof data;
  const LSTATUS status = RegQueryValueExW(key, value_name(paper).c_str(), nullptr, &type, data, &size);
  RegCloseKey(key);
  // A value of another type or size is treated as absent.
  if (status != ERROR_SUCCESS || type != REG_BINARY || size != kPaperMarginValueBytes) return kMarginMissing;
  for (int i = 0; i < 4; ++i) margins->m[i] = static_cast<LONG>(morva::load_le32(data + 4 + 4 * i));
  return kMarginOk;
}

INT WritePaperMargin(HANDLE printer, DddHandle* database, LPCWSTR base_path, WORD paper, const PaperMargin* margins) {
  if (!margins) return kMarginWriteFailed;
  HKEY key = nullptr;
  if (OpenPaperMarginKey(printer, database, base_path, &key) != kMarginOk) return kMarginWriteFailed;
  BYTE data[kPaperMarginValueBytes] = {};
  morva::store_le32(data, paper);
  for (int i = 0; i < 4; ++i) morva::store_le32(data + 4 + 4 * i, static_cast<DWORD>(margins->m[i]));
  const LSTATUS status = RegSetValueExW(key, value_name(paper).c_str(), 0, REG_BINARY, data, sizeof data);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? kMarginOk : kMarginWriteFailed;
}

INT ReadPaperMarginRotated(HANDLE printer, DddHandle* database, LPCWSTR base_path, WORD paper, INT orientation,
                           PaperMargin* caller) {
  PaperMargin stored{};
  const INT read = ReadPaperMargin(printer, database, base_path, paper, &stored);
  if (read != kMarginOk) return read;
  return RotatePaperMargins(kMarginsToCaller, orientation, &stored, caller);
}

INT SavePaperMargin(HANDLE printer, DddHandle* database, LPCWSTR base_path, WORD paper, const PaperMargin* caller,
                    INT orientation) {
  if (!caller) return kMarginBadArgument;
  PaperMargin stored{}, in = *caller;
  const INT rotated = RotatePaperMargins(kMarginsToStored, orientation, &stored, &in);
  if (rotated != kMarginOk) return rotated;
  return WritePaperMargin(printer, database, base_path, paper, &stored);
}

INT ResetPaperMargins(HANDLE printer, DddHandle* database, LPCWSTR base_path, INT flag) {
  if (flag == 0) return DeletePrinterDataKind(printer, kPrinterDataPaperMarginArray) ? kMarginOk : kMarginNotFound;
  WCHAR path[kUserKeyPathChars] = {};
  if (!GetPaperMarginKeyPath(printer, database, path, kUserKeyPathChars)) return kMarginNotFound;
  RegDeleteTreeW(HKEY_CURRENT_USER, path);
  RegDeleteKeyW(HKEY_CURRENT_USER, path);
  // Created again empty, without the machine-wide seed.
  HKEY key = nullptr;
  const LSTATUS created = RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (created != ERROR_SUCCESS) return static_cast<INT>(created);
  RegCloseKey(key);
  (void)base_path;
  return kMarginOk;
}

INT GetStoredPaperMargins(HANDLE printer, DddHandle* database, LPCWSTR base_path, WORD paper, PaperMargin* caller,
                          BOOL use_registry, const PaperMarginArray* array, INT orientation) {
  if (!caller || !good_orientation(orientation)) return kMarginBadArgument;
  PaperMargin stored{};
  if (!(use_registry && ReadPaperMargin(printer, database, base_path, paper, &stored) == kMarginOk) &&
      FindPaperMargin(array, paper, &stored) != kMarginOk)
    InitDefaultPaperMargins(&stored);
  return RotatePaperMargins(kMarginsToCaller, orientation, &stored, caller);
}
