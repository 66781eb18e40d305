#include "settings/items/stamp_defaults.h"

#include <cstring>
#include <string>

#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "win/resources.h"

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

}  // namespace

BOOL DefaultStampFont(LOGFONTW* font) {
  if (!font) return FALSE;
  ResourceModuleRef ref;
  HMODULE module = GetResourceInstance();
  const StampFontEntry& e = kNewStampFont;
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
  std::u16string face = resource_text(module, e.face_id, LF_FACESIZE - 1);
  if (face.empty()) face = kUndefined;
  face.copy(font->lfFaceName, face.size());
  return TRUE;
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
