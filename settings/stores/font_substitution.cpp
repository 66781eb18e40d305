// The font substitution list: building it from the database, storing it in
// printer data and editing its pairs.
#include "settings/stores/font_substitution.h"

#include <cstring>
#include <string>
#include <string_view>

#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/database/ddd_records.h"
#include "settings/stores/printer_data_kinds.h"
#include "win/memory.h"

namespace {

constexpr DWORD kInitialTableBytes = 1279;
constexpr DWORD kTableGrowth = 1280;

std::size_t wide_length(const WCHAR* s) { return std::char_traits<char16_t>::length(s); }

// The list's table while it is built: a zeroed global block that grows by
// 1280 bytes whenever fewer than 2 bytes (the final empty string) would be
// left after an append.
struct TableBuffer {
  BYTE* block = nullptr;
  DWORD capacity = 0;
  DWORD used = 0;

  bool append(const WCHAR* text) {
    const DWORD bytes = static_cast<DWORD>((wide_length(text) + 1) * sizeof(WCHAR));
    DWORD wanted = capacity;
    while (wanted - used < bytes + sizeof(WCHAR)) wanted += kTableGrowth;
    if (wanted != capacity) {
      auto* grown = static_cast<BYTE*>(GlobalAlloc(GPTR, wanted));
      if (grown == nullptr) return false;
      std::memcpy(grown, block, used);
      GlobalFree(block);
      block = grown;
      capacity = wanted;
    }
    std::memcpy(block + used, text, bytes);
    used += bytes;
    return true;
  }
};

// Appends the pairs of one device font. False when its record is unusable.
bool append_font(TableBuffer& table, const DddValue* value) {
  const auto* font = static_cast<const DddDeviceFont*>(value);
  const WCHAR* name = DddGetValueName(value);
  if (name == nullptr || name[0] == 0) return false;
  for (WORD n = 1; n <= font->faces.count; ++n) {
    const WCHAR* face = DddGetFontFace(value, n);
    if (face == nullptr) return false;
    if (!table.append(face) || !table.append(name)) return false;
  }
  return true;
}

WCHAR* copy_list(const std::u16string& chars) {
  auto* out = static_cast<WCHAR*>(GlobalAlloc(GPTR, chars.size() * sizeof(WCHAR)));
  if (out) std::memcpy(out, chars.data(), chars.size() * sizeof(WCHAR));
  return out;
}

}  // namespace

WCHAR* BuildFontSubstitutionTable(DddHandle* database) {
  if (database == nullptr) return nullptr;
  TableBuffer table;
  table.block = static_cast<BYTE*>(GlobalAlloc(GPTR, kInitialTableBytes));
  if (table.block == nullptr) return nullptr;
  table.capacity = kInitialTableBytes;
  for (WORD position = 1;; ++position) {
    DddValue* value = nullptr;
    const DddStatus status =
        DddLoadValue(DDD_LOAD_FULL, &database->main, &database->linked, DDD_KIND_DEVICE_FONT, position, &value);
    if (status == DDD_NOT_FOUND) break;
    const bool ok = status == DDD_OK && value != nullptr && append_font(table, value);
    DddFreeValue(&value, 0xFFFF);
    if (!ok || position == 0xFFFF) {
      GlobalFree(table.block);
      return nullptr;
    }
  }
  // The block is zeroed: the final empty string is already there.
  return reinterpret_cast<WCHAR*>(table.block);
}

DWORD MultiSzPairListChars(const WCHAR* list, DWORD max_chars) {
  if (list == nullptr) return 0;
  DWORD i = 0;
  for (;;) {
    if (i >= max_chars) return 0;
    if (list[i] == 0) return i + 1;
    for (int part = 0; part < 2; ++part) {  // face, then font
      while (i < max_chars && list[i] != 0) ++i;
      if (i >= max_chars) return 0;
      ++i;
    }
  }
}

WCHAR* ReadStoredFontSubstitutionTable(HANDLE printer) {
  DWORD size = 0;
  if (!ReadPrinterDataKind(printer, kPrinterDataFontSubTable, nullptr, &size) || size < sizeof(WCHAR)) return nullptr;
  auto* list = static_cast<WCHAR*>(GlobalAlloc(GPTR, size));
  if (list == nullptr) return nullptr;
  if (!ReadPrinterDataKind(printer, kPrinterDataFontSubTable, list, &size) ||
      MultiSzPairListChars(list, size / sizeof(WCHAR)) == 0) {
    GlobalFree(list);
    return nullptr;
  }
  return list;
}

WCHAR* GetFontSubstitutionTable(HANDLE printer) {
  if (WCHAR* stored = ReadStoredFontSubstitutionTable(printer)) return stored;
  DddHandle* database = DddOpen(printer);
  if (database == nullptr) return nullptr;
  WCHAR* built = BuildFontSubstitutionTable(database);
  DddClose(database);
  return built;
}

WCHAR* GetFontSubstitutionTable(HANDLE printer, DWORD) { return GetFontSubstitutionTable(printer); }

INT WriteFontSubstitutionTable(HANDLE printer, const WCHAR* list) {
  if (list == nullptr) return 0;
  const DWORD chars = MultiSzPairListChars(list, 0xFFFFFFFFu / sizeof(WCHAR));
  if (chars == 0) return 0;
  return WritePrinterDataKind(printer, list, chars * sizeof(WCHAR), kPrinterDataFontSubTable);
}

INT WriteFontSubstitutionTable(HANDLE printer, DWORD, const WCHAR* list) {
  return WriteFontSubstitutionTable(printer, list);
}

INT EnsureFontSubstitutionTable(HANDLE printer, DddHandle* database) {
  if (WCHAR* stored = ReadStoredFontSubstitutionTable(printer)) {
    GlobalFree(stored);
    return 1;
  }
  WCHAR* built = BuildFontSubstitutionTable(database);
  if (built == nullptr) return 0;
  const INT written = WriteFontSubstitutionTable(printer, built);
  GlobalFree(built);
  return written;
}

const WCHAR* FindMultiSzPairValue(const WCHAR* list, const WCHAR* key) {
  if (list == nullptr || key == nullptr) return nullptr;
  while (*list) {
    const WCHAR* value = list + wide_length(list) + 1;
    if (std::u16string_view(list) == std::u16string_view(key)) return value;
    list = value + wide_length(value) + 1;
  }
  return nullptr;
}

WCHAR* EditMultiSzPairList(const WCHAR* list, const WCHAR* key, const WCHAR* value) {
  if (key == nullptr) return nullptr;
  if (value && wide_length(key) + 1 + wide_length(value) + 1 > kFontPairMaxChars) return nullptr;
  std::u16string out;
  bool found = false;
  for (const WCHAR* p = list; p && *p;) {
    const std::u16string face(p);
    const WCHAR* v = p + face.size() + 1;
    const std::u16string font(v);
    p = v + font.size() + 1;
    if (!found && face == key) {
      found = true;
      if (value == nullptr) continue;  // removed
      out += face;
      out += u'\0';
      out += value;
      out += u'\0';
      continue;
    }
    out += face;
    out += u'\0';
    out += font;
    out += u'\0';
  }
  if (!found && value) {
    out += key;
    out += u'\0';
    out += value;
    out += u'\0';
  }
  out += u'\0';
  return copy_list(out);
}
