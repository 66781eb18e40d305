// The sheet's font lists and the font settings written from a chosen face.
#include "stamp_fonts.h"

#include <algorithm>
#include <cstring>

#include "settings/common/module_state.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/database/ddd_records.h"
#include "settings/items/item_access.h"
#include "settings/items/item_info.h"
#include "win/gdi.h"
#include "win/memory.h"
#include "win/resources.h"
#include "win/window.h"

namespace {

constexpr WORD kTypeText = 6;
constexpr WORD kTypeByte = 8;
constexpr WORD kTypeLong = 10;
constexpr size_t kFontNameChars = 32;
constexpr WORD kStampFace = 305;
constexpr WORD kItemFace = 358;

// Printer-font names with a screen face of their own, and the fallback face.
constexpr UINT kMappedFontA = 731, kMappedFontB = 732;
constexpr UINT kScreenFaceA = 733, kScreenFaceB = 734, kFallbackFace = 735;

int CALLBACK collect_truetype(const LOGFONTW* font, const TEXTMETRICW*, DWORD type, LPARAM lParam) {
  if (!(type & TRUETYPE_FONTTYPE)) return 1;
  LOGFONTW copy = *font;
  copy.lfWidth = 0;
  reinterpret_cast<std::vector<LOGFONTW>*>(lParam)->push_back(copy);
  return 1;
}

std::u16string load_string(UINT id) {
  WCHAR text[64] = {};
  const INT n = LoadStringW(GetResourceModule(), id, text, 64);
  return n > 0 ? std::u16string(text, static_cast<size_t>(n)) : std::u16string();
}

// The screen face a printer font is shown in: its own display name, else
// the face that strings 731-735 give its name.
std::u16string display_name(const WCHAR* given, const std::u16string& name) {
  if (given && *given) return std::u16string(given).substr(0, kFontNameChars);
  if (name == load_string(kMappedFontA)) return load_string(kScreenFaceA);
  if (name == load_string(kMappedFontB)) return load_string(kScreenFaceB);
  return load_string(kFallbackFace);
}

std::u16string read_face(ControlEvent* event, WORD ddmid, bool* ok) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  *ok = GetItemValue(ddmid, event->devmode, event->printer_data, &type, &size, &value) == 0 && type == kTypeText;
  return *ok ? ItemText(value, size) : std::u16string();
}

// The character set and pitch of the printer font named `face`: false when
// the database has no such font or its record carries no attributes.
enum class PrinterFont { kNone, kFound, kNoAttributes };
PrinterFont printer_font(DddHandle* database, const std::u16string& face, std::u16string* shown, BYTE* charset,
                         BYTE* pitch_and_family) {
  if (!database) return PrinterFont::kNone;
  const WORD count = DddGetRecordCount(&database->main, DDD_KIND_DEVICE_FONT);
  for (WORD id = 1; id <= count; ++id) {
    DddValue* value = nullptr;
    if (DddLoadValue(DDD_LOAD_FULL, &database->main, &database->linked, DDD_KIND_DEVICE_FONT, id, &value) != DDD_OK ||
        !value)
      continue;
    const auto* font = static_cast<const DddDeviceFont*>(value);
    if (!font->name || face != font->name) {
      DddFreeValue(&value, 0xFFFF);
      continue;
    }
    *shown = display_name(font->family, face);
    PrinterFont result = PrinterFont::kNoAttributes;
    // The font's attributes: its character set and its pitch and family.
    if (font->data && font->data_size > 30) {
      const BYTE set = font->data[25], pitch = font->data[30];
      *charset = set == 200 ? 0 : set;
      *pitch_and_family = static_cast<BYTE>((pitch & 0xF0) + ((pitch & 1) ? VARIABLE_PITCH : FIXED_PITCH));
      result = PrinterFont::kFound;
    }
    DddFreeValue(&value, 0xFFFF);
    return result;
  }
  return PrinterFont::kNone;
}

struct FontGroup {
  WORD face, underline, strike_out, charset, out_precision, clip_precision, quality, pitch, width;
};
constexpr FontGroup kGroups[] = {{305, 312, 313, 314, 315, 316, 317, 318, 319},
                                 {358, 365, 366, 367, 368, 369, 370, 371, 372}};

bool write_byte(ControlEvent* event, WORD ddmid, BYTE value) {
  return SetItemValueRaw(ddmid, event->devmode, event->printer_data, kTypeByte, 1, &value) == 0;
}

}  // namespace

bool BuildFontList(DddHandle* database, FontList* out) {
  if (!out) return false;
  *out = FontList{};
  HWND desktop = GetDesktopWindow();
  HDC dc = GetDC(desktop);
  if (!dc) return false;
  EnumFontFamiliesW(dc, nullptr, collect_truetype, reinterpret_cast<LPARAM>(&out->families));
  ReleaseDC(desktop, dc);
  if (!database) return true;
  const WORD count = DddGetRecordCount(&database->main, DDD_KIND_DEVICE_FONT);
  for (WORD id = 1; id <= count; ++id) {
    DddValue* value = nullptr;
    if (DddLoadValue(DDD_LOAD_FULL, &database->main, &database->linked, DDD_KIND_DEVICE_FONT, id, &value) != DDD_OK) {
      *out = FontList{};
      return false;
    }
    const WCHAR* name = DddGetValueName(value);
    std::u16string kept = name ? std::u16string(name).substr(0, kFontNameChars) : std::u16string();
    DddFreeValue(&value, 0xFFFF);
    if (out->database_names.empty() || out->database_names.back() != kept) out->database_names.push_back(kept);
  }
  return true;
}

const LOGFONTW* FindFontEntryByName(const FontEntryArray* fonts, LPCWSTR name, SHORT* status) {
  SHORT local = 0;
  SHORT* s = status ? status : &local;
  if (!name) {
    *s = kFontNullArgument;
    return nullptr;
  }
  if (!fonts || !fonts->entries) {
    *s = kFontNoArray;
    return nullptr;
  }
  for (INT i = 0; i < fonts->count; ++i)
    if (std::u16string_view(fonts->entries[i].lfFaceName) == std::u16string_view(name)) {
      *s = kFontFound;
      return &fonts->entries[i];
    }
  *s = kFontNotFound;
  return nullptr;
}

const LOGFONTW* ResolveFontSelection(ControlEvent* event, const FontEntryArray* fonts, WORD ddmid, SHORT* status,
                                     BYTE* charset, BYTE* pitch_and_family) {
  if (!event || !status || !charset || !pitch_and_family) return nullptr;
  bool ok = false;
  const std::u16string face = read_face(event, ddmid, &ok);
  if (!ok) return nullptr;
  SHORT found = 0;
  if (const LOGFONTW* font = FindFontEntryByName(fonts, face.c_str(), &found)) {
    *status = 1;
    return font;
  }
  if (found != kFontNotFound) return nullptr;
  std::u16string shown;
  const PrinterFont printer = printer_font(event->database, face, &shown, charset, pitch_and_family);
  if (printer == PrinterFont::kNoAttributes) return nullptr;
  SHORT result = 3;
  if (printer == PrinterFont::kNone) {
    shown = load_string(kFallbackFace);
    result = 2;
  }
  if (const LOGFONTW* font = FindFontEntryByName(fonts, shown.c_str(), &found)) {
    *status = result;
    return font;
  }
  const std::u16string fallback = load_string(kFallbackFace);
  if (const LOGFONTW* font = FindFontEntryByName(fonts, fallback.c_str(), &found)) {
    *status = 4;
    return font;
  }
  *status = 0;
  return nullptr;
}

INT ApplyFontSelection(ControlEvent* event, WORD** changed, INT* count, INT group) {
  if (!event || !changed || !count || group < 1 || group > 2) return 0;
  *changed = nullptr;
  *count = 0;
  const FontGroup& g = kGroups[group - 1];
  const SheetState* state = GetSheetState(event->window);
  const FontEntryArray* fonts = state ? state->font_entries : nullptr;
  SHORT status = 0;
  BYTE charset = 0, pitch = 0;
  const LOGFONTW* resolved = ResolveFontSelection(event, fonts, g.face, &status, &charset, &pitch);
  // Nothing usable: the first font of the sheet, as if named.
  if (!resolved) {
    if (!fonts || fonts->count < 1) return 0;
    resolved = &fonts->entries[0];
    status = 1;
  }
  LOGFONTW font = *resolved;
  const bool printer_face = status == 3 || status == 4;
  if (printer_face) {
    font.lfCharSet = charset;
    font.lfPitchAndFamily = pitch;
  }
  auto* list = static_cast<WORD*>(GlobalAlloc(GPTR, sizeof(WORD) * 10));
  if (!list) return 0;
  INT n = 0;
  bool ok = true;
  if (!printer_face) {
    WCHAR face[LF_FACESIZE] = {};
    std::memcpy(face, font.lfFaceName, sizeof(WCHAR) * (LF_FACESIZE - 1));
    const WCHAR* p = face;
    ok = SetItemValueRaw(g.face, event->devmode, event->printer_data, kTypeText, sizeof face, &p) == 0;
    list[n++] = g.face;
  }
  const std::pair<WORD, BYTE> bytes[] = {{g.underline, font.lfUnderline},
                                         {g.strike_out, font.lfStrikeOut},
                                         {g.charset, font.lfCharSet},
                                         {g.out_precision, font.lfOutPrecision},
                                         {g.clip_precision, font.lfClipPrecision},
                                         {g.quality, font.lfQuality},
                                         {g.pitch, font.lfPitchAndFamily}};
  for (const auto& [ddmid, value] : bytes) {
    if (!ok) break;
    ok = write_byte(event, ddmid, value);
    list[n++] = ddmid;
  }
  if (ok) {
    ok = SetItemValueRaw(g.width, event->devmode, event->printer_data, kTypeLong, 4, &font.lfWidth) == 0;
    list[n++] = g.width;
  }
  if (!ok) {
    GlobalFree(list);
    return 0;
  }
  *changed = list;
  *count = n;
  return 1;
}

INT BuildStampFontLists(HWND page) {
  SheetState* state = GetSheetState(page);
  if (!state) return 0;
  FontList fonts;
  if (!BuildFontList(state->database, &fonts)) return 0;
  std::vector<LOGFONTW> usable;
  for (const LOGFONTW& f : fonts.families)
    if (f.lfFaceName[0] != u'@') usable.push_back(f);
  // The face choices: the TrueType faces, then the printer's own fonts
  // that are not among them.
  std::vector<std::u16string> names;
  for (const LOGFONTW& f : usable) names.emplace_back(f.lfFaceName);
  for (const std::u16string& name : fonts.database_names)
    if (!name.empty() && name[0] != u'@' && std::find(names.begin(), names.end(), name) == names.end())
      names.push_back(name);
  ReleaseStampFontLists(page);
  auto* array = static_cast<FontEntryArray*>(GlobalAlloc(GPTR, sizeof(FontEntryArray)));
  if (!array) return 0;
  array->count = static_cast<INT>(usable.size());
  array->entries = static_cast<LOGFONTW*>(GlobalAlloc(GPTR, sizeof(LOGFONTW) * (usable.size() + 1)));
  if (!array->entries) {
    GlobalFree(array);
    return 0;
  }
  std::copy(usable.begin(), usable.end(), array->entries);
  state->font_entries = array;
  std::vector<LPCWSTR> list;
  for (const std::u16string& name : names) list.push_back(name.c_str());
  ItemInfo* info = nullptr;
  for (WORD ddmid : {kStampFace, kItemFace})
    if (AcquireItemInfo(page, ddmid, static_cast<LONG>(list.size()), list.data(), &info) == -1) {
      ReleaseStampFontLists(page);
      return 0;
    }
  return 1;
}

void ReleaseStampFontLists(HWND page) {
  SheetState* state = GetSheetState(page);
  if (!state || !state->font_entries) return;
  for (WORD ddmid : {kStampFace, kItemFace}) {
    ReleaseItemInfo(page, ddmid);
    RemoveConstraintEntry(page, ddmid);
  }
  SafeGlobalFree(state->font_entries->entries);
  GlobalFree(state->font_entries);
  state->font_entries = nullptr;
}

INT SetupLabelFonts(HWND dialog, const INT controls[2]) {
  SheetState* state = GetSheetState(dialog);
  if (!state || !controls) return 0;
  DeleteLabelFonts(dialog);
  HDC dc = GetDC(dialog);
  const INT height = -MulDiv(dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96, 10, 72);
  if (dc) ReleaseDC(dialog, dc);
  for (INT i = 0; i < 2; ++i) {
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWeight = FW_BOLD;
    font.lfItalic = i == 1;
    std::memcpy(font.lfFaceName, u"Times New Roman", sizeof(u"Times New Roman"));
    state->label_fonts[i] = CreateFontIndirectW(&font);
    if (!state->label_fonts[i]) {
      DeleteLabelFonts(dialog);
      return 0;
    }
    if (HWND control = GetDlgItem(dialog, controls[i]))
      SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(state->label_fonts[i]), TRUE);
  }
  return 1;
}

void DeleteLabelFonts(HWND dialog) {
  SheetState* state = GetSheetState(dialog);
  if (!state) return;
  for (HFONT& font : state->label_fonts) {
    if (font) DeleteObject(font);
    font = nullptr;
  }
}
