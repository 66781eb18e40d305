#include "settings/items/stamp_defaults.h"

#include "settings/stores/stamp_store.h"

#include <cstring>
#include <string>

#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "win/resources.h"
#include "win/strings.h"

namespace {

// A font of the built-in stamp table: numbers and names are resource
// strings named by their id.
struct StampFontEntry {
  WORD size_id;  // points
  WORD width;
  WORD escapement_id;
  WORD orientation_id;
  WORD weight;
  BYTE italic;
  BYTE underline;
  BYTE strike_out;
  BYTE reserved;
  WORD charset_id;
  BYTE out_precision;
  BYTE clip_precision;
  BYTE quality;
  BYTE pitch_and_family;
  WORD face_id;
};

constexpr StampFontEntry kNewStampFont = {5156, 0, 5172, 5173, 400, 0, 0, 0, 0, 1790, 0, 0, 2, 0, 1812};

// One entry of the built-in stamp table: names and texts are resource
// strings named by their id.
struct BuiltInStamp {
  WORD name_id;
  WORD text_id;
  LONG colour;
  LONG field200;
  LONG field204;
  WORD frame;
  WORD placement;
  LONG field212;
  StampFontEntry font;
};

constexpr StampFontEntry stamp_font(WORD size_id, WORD escapement_id, WORD orientation_id, WORD weight, WORD face_id) {
  return {size_id, 0, escapement_id, orientation_id, weight, 0, 0, 0, 0, 1790, 0, 0, 2, 0, face_id};
}

// Entry 0 is the default record, 1-6 the built-in stamps.
constexpr BuiltInStamp kBuiltInStamps[] = {
    {1791, 1792, 13311, 1, 1, 0, 0x202, 0, stamp_font(5149, 5158, 5159, 700, 1793)},
    {1794, 1795, 13311, 1, 1, 2, 0x202, 0, stamp_font(5150, 5160, 5161, 0, 1796)},
    {1797, 1798, 13311, 1, 0, 1, 0x301, 0, stamp_font(5151, 5162, 5163, 700, 1799)},
    {1800, 1801, 13311, 1, 0, 1, 0x301, 0, stamp_font(5152, 5164, 5165, 700, 1802)},
    {1803, 1804, 13311, 1, 0, 1, 0x301, 0, stamp_font(5153, 5166, 5167, 700, 1805)},
    {1806, 1807, 13311, 1, 1, 0, 0x202, 0, stamp_font(5154, 5168, 5169, 0, 1808)},
    {1809, 1810, 13311, 1, 1, 0, 0x202, 0, stamp_font(5155, 5170, 5171, 0, 1811)},
};
constexpr INT kBuiltInTableSize = static_cast<INT>(sizeof kBuiltInStamps / sizeof kBuiltInStamps[0]);

constexpr char16_t kUndefined[] = u"Undefined";

std::u16string resource_text(HMODULE module, UINT id, int max_chars) {
  std::u16string text(static_cast<size_t>(max_chars) + 1, u'\0');
  int n = module ? LoadStringW(module, id, text.data(), max_chars + 1) : 0;
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

LONG resource_number(HMODULE module, UINT id) {
  std::u16string text = resource_text(module, id, 15);
  return text.empty() ? 0 : WStrToInt(text.c_str());
}

// The seven stamp colours, found by key (position + 1); key 8 has none.
constexpr INT kColourKeys[] = {1, 2, 3, 4, 5, 6, 7, 8};
constexpr DWORD kStampColours[] = {0x0033FF, 0x3399FF, 0x00CCFF, 0x658963, 0xCC6633, 0x93518D, 0x000000};
constexpr INT kStampColourCount = static_cast<INT>(sizeof kStampColours / sizeof kStampColours[0]);

// A resource text of at most `max_chars`, "Undefined" when missing, copied
// with its terminator.
void copy_text_or_undefined(HMODULE module, UINT id, WCHAR* out, int max_chars) {
  std::u16string text = resource_text(module, id, max_chars);
  if (text.empty()) text = kUndefined;
  text.copy(out, text.size());
  out[text.size()] = 0;
}

void font_from_entry(HMODULE module, const StampFontEntry& e, LOGFONTW* font) {
  std::memset(font, 0, sizeof *font);
  font->lfHeight = resource_number(module, e.size_id);
  font->lfWidth = e.width;
  font->lfEscapement = resource_number(module, e.escapement_id);
  font->lfOrientation = resource_number(module, e.orientation_id);
  font->lfWeight = e.weight;
  font->lfItalic = e.italic;
  font->lfUnderline = e.underline;
  font->lfStrikeOut = e.strike_out;
  font->lfCharSet = static_cast<BYTE>(resource_number(module, e.charset_id));
  font->lfOutPrecision = e.out_precision;
  font->lfClipPrecision = e.clip_precision;
  font->lfQuality = e.quality;
  font->lfPitchAndFamily = e.pitch_and_family;
  copy_text_or_undefined(module, e.face_id, font->lfFaceName, LF_FACESIZE - 1);
}

}  // namespace

BOOL DefaultStampFont(LOGFONTW* font) {
  if (!font) return FALSE;
  ResourceModuleRef ref;
  font_from_entry(GetResourceInstance(), kNewStampFont, font);
  return TRUE;
}

BOOL BuiltInStampToRecord(INT index, StampRecord* record) {
  if (!record || index < 0 || index >= kBuiltInTableSize) return FALSE;
  ResourceModuleRef ref;
  HMODULE module = GetResourceInstance();
  const BuiltInStamp& e = kBuiltInStamps[index];
  std::memset(record, 0, sizeof *record);
  copy_text_or_undefined(module, e.name_id, record->name, 32);
  copy_text_or_undefined(module, e.text_id, record->text, 64);
  record->colour = static_cast<DWORD>(e.colour);
  record->field200 = e.field200;
  record->field204 = e.field204;
  record->frame = e.frame;
  record->placement = e.placement;
  record->field212 = e.field212;
  font_from_entry(module, e.font, &record->font);
  return TRUE;
}

BOOL IsBuiltInStampName(LPCWSTR name) {
  if (!name || !name[0]) return FALSE;
  for (INT i = 0; i < kBuiltInTableSize; ++i) {
    StampRecord record;
    if (BuiltInStampToRecord(i, &record) && lstrcmpiW(record.name, name) == 0) return TRUE;
  }
  return FALSE;
}

INT LookupKeyedConstant(INT key, DWORD* out, INT index) {
  if (!out) return 0;
  if (index == -1) {
    for (INT i = 0; i < static_cast<INT>(sizeof kColourKeys / sizeof kColourKeys[0]); ++i)
      if (kColourKeys[i] == key) index = i;
    if (index == -1) return 0;
  }
  if (index < 0 || index >= kStampColourCount) return 0;
  *out = kStampColours[index];
  return 1;
}
