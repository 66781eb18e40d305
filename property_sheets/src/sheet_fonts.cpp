// The sheet's fonts: what the screen has installed, what the printer holds
// as device fonts, and how a stored face name becomes a usable font. A face
// that is no longer installed is replaced by one that is, so that the
// stored font settings never name a font the printer cannot be sent.
#include "property_sheets/sheet_fonts.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "property_sheets/sheet_controls.h"
#include "property_sheets/sheet_engine.h"
#include "property_sheets/sheet_records.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/database/ddd_records.h"
#include "settings/items/item_access.h"
#include "settings/items/item_info.h"
#include "win/fonts.h"
#include "win/memory.h"
#include "win/resources.h"
#include "win/window.h"

namespace {

constexpr size_t kFontNameChars = 32;
constexpr UINT kFirstSpecialName = 731, kSecondSpecialName = 732, kFirstSpecialFace = 733,
               kSecondSpecialFace = 734, kDefaultFace = 735;
constexpr WORD kTypeText = 6, kTypeByte = 8, kTypeLong = 10;
// Byte offsets in a device font's data block.
constexpr DWORD kCharsetByte = 25, kPitchFamilyByte = 30;

std::u16string resource_text(UINT id) {
  WCHAR text[64] = {};
  LoadStringW(GetResourceModule(), id, text, 64);
  return text;
}

int CALLBACK collect_truetype(const LOGFONTW* font, const TEXTMETRICW*, DWORD type, LPARAM lParam) {
  if (!(type & TRUETYPE_FONTTYPE)) return 1;
  LOGFONTW copy = *font;
  copy.lfWidth = 0;
  reinterpret_cast<std::vector<LOGFONTW>*>(lParam)->push_back(copy);
  return 1;
}

// One font group: the face-name setting and the eight companions in the
// order they are written.
struct FontGroup {
  WORD face, underline, strike_out, charset, out_precision, clip_precision, quality, pitch_family, width;
};
constexpr FontGroup kGroups[] = {
    {305, 312, 313, 314, 315, 316, 317, 318, 319},
    {358, 365, 366, 367, 368, 369, 370, 371, 372},
};

// The lists one sheet holds while a page or dialog needs them.
struct SheetFonts {
  FontEntryArray entries;
  std::vector<std::u16string> faces;
  std::vector<LPCWSTR> face_pointers;
  INT users = 0;
};
std::map<const SheetState*, std::unique_ptr<SheetFonts>>& sheet_fonts() {
  static std::map<const SheetState*, std::unique_ptr<SheetFonts>> held;
  return held;
}
SheetFonts* fonts_of(const SheetState* state) {
  auto it = sheet_fonts().find(state);
  return it == sheet_fonts().end() ? nullptr : it->second.get();
}

struct LabelFonts {
  HFONT fonts[2];
  INT controls[2];
};
std::map<HWND, LabelFonts>& label_fonts() {
  static std::map<HWND, LabelFonts> held;
  return held;
}

std::u16string read_text(ControlEvent* event, WORD ddmid, bool* ok) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  *ok = GetItemValue(ddmid, event->devmode, event->printer_data, &type, &size, &value) == 0 && type == kTypeText;
  return *ok ? ItemText(value, size) : std::u16string{};
}

// The face a device font is shown in: its own family name when the record
// gives one apart from its name; else the faces that stand for two known
// device fonts, or the default face.
std::u16string display_face(const DddDeviceFont* font) {
  const std::u16string name = font->name ? font->name : u"";
  if (font->family && *font->family && name != font->family) return std::u16string(font->family).substr(0, kFontNameChars);
  if (name == resource_text(kFirstSpecialName)) return resource_text(kFirstSpecialFace);
  if (name == resource_text(kSecondSpecialName)) return resource_text(kSecondSpecialFace);
  return resource_text(kDefaultFace);
}

}  // namespace

bool ReadDeviceFontNames(DddHandle* database, std::vector<std::u16string>* out, bool skip_repeats) {
  out->clear();
  for (WORD position = 1; database; ++position) {
    DddValue* value = nullptr;
    const DddStatus status =
        DddLoadValue(DDD_LOAD_FULL, &database->main, &database->linked, DDD_KIND_DEVICE_FONT, position, &value);
    if (status == DDD_NOT_FOUND) break;
    const WCHAR* name = status == DDD_OK && value ? DddGetValueName(value) : nullptr;
    if (!name) {
      DddFreeValue(&value, 0xFFFF);
      out->clear();
      return false;
    }
    std::u16string kept(name);
    kept.resize(std::min(kept.size(), kFontNameChars));
    if (!skip_repeats || out->empty() || out->back() != kept) out->push_back(kept);
    DddFreeValue(&value, 0xFFFF);
  }
  return true;
}

bool BuildFontList(DddHandle* database, FontList* out) {
  *out = FontList{};
  HWND desktop = GetDesktopWindow();
  HDC dc = GetDC(desktop);
  EnumFontFamiliesW(dc, nullptr, collect_truetype, reinterpret_cast<LPARAM>(&out->families));
  ReleaseDC(desktop, dc);
  if (!ReadDeviceFontNames(database, &out->device_fonts, true)) {
    *out = FontList{};
    return false;
  }
  return true;
}

const LOGFONTW* FindFontEntryByName(const FontEntryArray* array, LPCWSTR name, SHORT* status) {
  if (!name || !status) {
    if (status) *status = 2;
    return nullptr;
  }
  if (!array) {
    *status = 10;
    return nullptr;
  }
  const std::u16string wanted(name);
  for (const LOGFONTW& entry : array->entries)
    if (wanted == entry.lfFaceName) {
      *status = 0;
      return &entry;
    }
  *status = 11;
  return nullptr;
}

const LOGFONTW* ResolveFontSelection(ControlEvent* event, const FontEntryArray* array, WORD ddmid, SHORT* status,
                                     BYTE* charset, BYTE* pitch_family) {
  bool ok = false;
  const std::u16string face = read_text(event, ddmid, &ok);
  if (!ok) return nullptr;
  const LOGFONTW* found = FindFontEntryByName(array, face.c_str(), status);
  if (found) {
    *status = 1;
    return found;
  }
  if (*status != 11) return nullptr;
  // A device font's name: the face it is shown in, with its character set
  // and pitch.
  std::u16string display = resource_text(kDefaultFace);
  SHORT outcome = 2;
  for (WORD position = 1; event->database; ++position) {
    DddValue* value = nullptr;
    const DddStatus read = DddLoadValue(DDD_LOAD_FULL, &event->database->main, &event->database->linked,
                                        DDD_KIND_DEVICE_FONT, position, &value);
    if (read != DDD_OK || !value) {
      DddFreeValue(&value, 0xFFFF);
      break;
    }
    const auto* font = static_cast<const DddDeviceFont*>(value);
    if (font->name && face == font->name) {
      DWORD size = 0;
      const BYTE* data = DddGetDeviceFontData(value, &size);
      if (!data || size <= kPitchFamilyByte) {
        DddFreeValue(&value, 0xFFFF);
        return nullptr;
      }
      display = display_face(font);
      *charset = data[kCharsetByte] == 200 ? 0 : data[kCharsetByte];
      const BYTE stored = data[kPitchFamilyByte];
      *pitch_family = static_cast<BYTE>((stored & 0xF0) + ((stored & 1) ? 2 : 1));
      outcome = 3;
      DddFreeValue(&value, 0xFFFF);
      break;
    }
    DddFreeValue(&value, 0xFFFF);
  }
  if ((found = FindFontEntryByName(array, display.c_str(), status))) {
    *status = outcome;
    return found;
  }
  if ((found = FindFontEntryByName(array, resource_text(kDefaultFace).c_str(), status))) {
    *status = 4;
    return found;
  }
  *status = 0;
  return nullptr;
}

INT ApplyFontSelection(ControlEvent* event, WORD** changed, INT* count, INT group) {
  if (!event || !changed || !count || (group != 1 && group != 2)) return 0;
  *changed = nullptr;
  *count = 0;
  const FontGroup& g = kGroups[group - 1];
  const SheetState* state = GetSheetState(event->window);
  const FontEntryArray* array = state ? GetSheetFontEntries(state) : nullptr;
  SHORT status = 0;
  BYTE charset = 0, pitch_family = 0;
  const LOGFONTW* chosen = ResolveFontSelection(event, array, g.face, &status, &charset, &pitch_family);
  if (!chosen) {
    if (!array || array->entries.empty()) return 0;
    chosen = &array->entries.front();
    status = 1;
  }
  LOGFONTW font = *chosen;
  const bool device_font = status == 3 || status == 4;
  if (device_font) {
    font.lfCharSet = charset;
    font.lfPitchAndFamily = pitch_family;
  }
  auto* list = static_cast<WORD*>(GlobalAlloc(GPTR, sizeof(WORD) * 10));
  if (!list) return 0;
  INT written = 0;
  auto write = [&](WORD ddmid, WORD type, DWORD size, const void* value) {
    if (SetItemValueRaw(ddmid, event->devmode, event->printer_data, type, size, value) != 0) return false;
    list[written++] = ddmid;
    return true;
  };
  const WCHAR* face = font.lfFaceName;
  const LONG width = font.lfWidth;
  const bool ok =
      (device_font || write(g.face, kTypeText, LF_FACESIZE * sizeof(WCHAR), &face)) &&
      write(g.underline, kTypeByte, 1, &font.lfUnderline) && write(g.strike_out, kTypeByte, 1, &font.lfStrikeOut) &&
      write(g.charset, kTypeByte, 1, &font.lfCharSet) && write(g.out_precision, kTypeByte, 1, &font.lfOutPrecision) &&
      write(g.clip_precision, kTypeByte, 1, &font.lfClipPrecision) &&
      write(g.quality, kTypeByte, 1, &font.lfQuality) && write(g.pitch_family, kTypeByte, 1, &font.lfPitchAndFamily) &&
      write(g.width, kTypeLong, 4, &width);
  if (!ok) {
    GlobalFree(list);
    return 0;
  }
  *changed = list;
  *count = written;
  return 1;
}

INT BuildStampFontLists(HWND window) {
  const SheetState* state = GetSheetState(window);
  if (!state) return 0;
  if (SheetFonts* held = fonts_of(state)) {
    ++held->users;
    return 1;
  }
  FontList list;
  if (!BuildFontList(state->database, &list)) return 0;
  auto fonts = std::make_unique<SheetFonts>();
  for (const LOGFONTW& family : list.families) {
    if (family.lfFaceName[0] == u'@') continue;
    fonts->entries.entries.push_back(family);
    const std::u16string name(family.lfFaceName);
    if (std::find(fonts->faces.begin(), fonts->faces.end(), name) == fonts->faces.end()) fonts->faces.push_back(name);
  }
  for (const std::u16string& name : list.device_fonts)
    if (!name.empty() && name[0] != u'@' && std::find(fonts->faces.begin(), fonts->faces.end(), name) == fonts->faces.end())
      fonts->faces.push_back(name);
  for (const std::u16string& name : fonts->faces) fonts->face_pointers.push_back(name.c_str());
  fonts->users = 1;
  sheet_fonts()[state] = std::move(fonts);
  return 1;
}

void ReleaseStampFontLists(HWND window) {
  const SheetState* state = GetSheetState(window);
  SheetFonts* held = state ? fonts_of(state) : nullptr;
  if (held && --held->users <= 0) sheet_fonts().erase(state);
}

namespace {
std::set<HWND>& dialogs_holding_lists() {
  static std::set<HWND> held;
  return held;
}
}  // namespace

INT HoldDialogFontLists(HWND dialog, INT kind, INT face_control, WORD face_ddmid) {
  const SheetState* state = GetSheetState(dialog);
  if (!state || HasSheetFontLists(state) || !BuildStampFontLists(dialog)) return 0;
  dialogs_holding_lists().insert(dialog);
  const ControlSet* set = GetDialogControlSet(dialog, kind);
  for (INT i = 0; set && i < set->count; ++i)
    if (set->records[i].id == face_control) RefreshItemInfo(dialog, &set->records[i], face_ddmid);
  return 1;
}

void LetGoDialogFontLists(HWND dialog) {
  if (dialogs_holding_lists().erase(dialog)) ReleaseStampFontLists(dialog);
}

const FontEntryArray* GetSheetFontEntries(const SheetState* state) {
  SheetFonts* held = fonts_of(state);
  return held ? &held->entries : nullptr;
}

bool HasSheetFontLists(const SheetState* state) { return fonts_of(state) != nullptr; }

void AddSheetFaceChoices(const SheetState* state, WORD ddmid, ItemInfoOptions* options) {
  if (ddmid != kGroups[0].face && ddmid != kGroups[1].face) return;
  const SheetFonts* held = fonts_of(state);
  if (!held || !options) return;
  options->list_count = static_cast<LONG>(held->face_pointers.size());
  options->list = held->face_pointers.data();
}

INT AppendChangedSettings(ControlEvent* event, const WORD* ddmids, INT count) {
  INT have = 0;
  if (event->changed)
    while (event->changed[have]) ++have;
  auto* list = static_cast<WORD*>(GlobalAlloc(GPTR, sizeof(WORD) * static_cast<SIZE_T>(have + count + 1)));
  if (!list) return 0;
  if (have) std::memcpy(list, event->changed, sizeof(WORD) * static_cast<SIZE_T>(have));
  if (count) std::memcpy(list + have, ddmids, sizeof(WORD) * static_cast<SIZE_T>(count));
  SetRefreshRequest(event, 1, list, event->refresh_record);
  return 1;
}

INT SetupLabelFonts(HWND dialog, const INT controls[2]) {
  ReleaseLabelFonts(dialog);
  HDC dc = GetDC(dialog);
  const INT dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
  if (dc) ReleaseDC(dialog, dc);
  LOGFONTW font{};
  font.lfHeight = -MulDiv(dpi, 10, 72);
  font.lfWeight = FW_BOLD;
  const std::u16string face = u"Times New Roman";
  std::copy(face.begin(), face.end(), font.lfFaceName);
  HFONT bold = CreateFontIndirectW(&font);
  font.lfItalic = TRUE;
  HFONT italic = CreateFontIndirectW(&font);
  if (!bold || !italic) {
    if (bold) DeleteObject(bold);
    if (italic) DeleteObject(italic);
    return 0;
  }
  label_fonts()[dialog] = LabelFonts{{bold, italic}, {controls[0], controls[1]}};
  SendDlgItemMessageW(dialog, controls[0], WM_SETFONT, reinterpret_cast<WPARAM>(bold), TRUE);
  SendDlgItemMessageW(dialog, controls[1], WM_SETFONT, reinterpret_cast<WPARAM>(italic), TRUE);
  return 1;
}

void ReleaseLabelFonts(HWND dialog) {
  auto it = label_fonts().find(dialog);
  if (it == label_fonts().end()) return;
  // The controls go back to the dialog's font before theirs is deleted.
  for (INT i = 0; i < 2; ++i) {
    SendDlgItemMessageW(dialog, it->second.controls[i], WM_SETFONT, 0, FALSE);
    DeleteObject(it->second.fonts[i]);
  }
  label_fonts().erase(it);
}
