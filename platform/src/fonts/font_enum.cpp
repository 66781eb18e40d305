// Font enumeration over the installed faces, and the character-set
// translations.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fonts/fonts_internal.h"
#include "win/errors.h"
#include "win/strings.h"

namespace morva::platform::fonts {

namespace {

// Enumerated fonts describe themselves at a cell height of 16 pixels.
constexpr LONG kEnumCellHeight = 16;

void copy_name(WCHAR* dst, size_t size, std::u16string_view src) {
  const size_t n = std::min(src.size(), size - 1);
  std::copy_n(src.data(), n, dst);
  dst[n] = 0;
}

struct EnumEntry {
  ENUMLOGFONTEXW logfont{};
  NEWTEXTMETRICEXW metrics{};
};

EnumEntry describe(const Face& face, BYTE charset) {
  EnumEntry e;
  FontMatch match{face, false, false, charset};
  FontScale scale{em_height_for(*face, kEnumCellHeight), 0, 0};
  TEXTMETRICW tm = text_metrics_for(match, scale);
  LOGFONTW& lf = e.logfont.elfLogFont;
  lf.lfHeight = tm.tmHeight;
  lf.lfWidth = tm.tmAveCharWidth;
  lf.lfWeight = face->weight;
  lf.lfItalic = face->italic ? 1 : 0;
  lf.lfCharSet = charset;
  lf.lfOutPrecision = OUT_STROKE_PRECIS;
  lf.lfClipPrecision = CLIP_STROKE_PRECIS;
  lf.lfQuality = DRAFT_QUALITY;
  lf.lfPitchAndFamily = static_cast<BYTE>(face->family_class | (face->fixed_pitch ? FIXED_PITCH : VARIABLE_PITCH));
  copy_name(lf.lfFaceName, LF_FACESIZE, face->family);
  copy_name(e.logfont.elfFullName, LF_FULLFACESIZE, face->full_name);
  copy_name(e.logfont.elfStyle, LF_FACESIZE, face->style);
  const CharsetEntry* entry = charset_by_value(charset);
  copy_name(e.logfont.elfScript, LF_FACESIZE, entry ? entry->script : u"");
  NEWTEXTMETRICW& ntm = e.metrics.ntmTm;
  ntm.tm = tm;
  ntm.ntmFlags = (face->italic ? NTM_ITALIC : 0) | (face->weight >= FW_BOLD ? NTM_BOLD : 0);
  if (!ntm.ntmFlags) ntm.ntmFlags = NTM_REGULAR;
  ntm.ntmSizeEM = face->units_per_em;
  ntm.ntmCellHeight = static_cast<UINT>(face->win_ascent + face->win_descent);
  ntm.ntmAvgWidth = static_cast<UINT>(face->avg_char_width);
  e.metrics.ntmFontSig = face->signature;
  return e;
}

// The face that stands for its family: the upright face nearest to normal
// weight.
Face representative(const std::vector<Face>& faces, const std::u16string& family) {
  Face best;
  for (const Face& face : faces) {
    if (face->family != family) continue;
    auto rank = [](const Face& f) { return (f->italic ? 10000 : 0) + std::abs(static_cast<int>(f->weight) - FW_NORMAL); };
    if (!best || rank(face) < rank(best)) best = face;
  }
  return best;
}

std::vector<std::u16string> families_in_order(const std::vector<Face>& faces) {
  std::vector<std::u16string> families;
  for (const Face& face : faces)
    if (std::find(families.begin(), families.end(), face->family) == families.end()) families.push_back(face->family);
  return families;
}

int call(FONTENUMPROCW proc, const EnumEntry& e, LPARAM lParam) {
  return proc(&e.logfont.elfLogFont, &e.metrics.ntmTm.tm, TRUETYPE_FONTTYPE, lParam);
}

}  // namespace

}  // namespace morva::platform::fonts

using namespace morva::platform::fonts;

extern "C" int EnumFontFamiliesW(HDC, LPCWSTR family, FONTENUMPROCW proc, LPARAM lParam) {
  if (!proc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int result = 1;
  if (!family || !*family) {
    const auto faces = installed_faces();
    for (const auto& name : families_in_order(faces)) {
      const Face face = representative(faces, name);
      result = call(proc, describe(face, default_charset(*face)), lParam);
      if (!result) break;
    }
    return result;
  }
  for (const Face& face : family_faces(morva::u16view(family))) {
    result = call(proc, describe(face, default_charset(*face)), lParam);
    if (!result) break;
  }
  return result;
}

extern "C" int EnumFontFamiliesExW(HDC, LPLOGFONTW logfont, FONTENUMPROCW proc, LPARAM lParam, DWORD) {
  if (!logfont || !proc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const BYTE charset = logfont->lfCharSet;
  auto charsets_of = [charset](const Face& face) {
    std::vector<BYTE> out;
    for (BYTE c : face->charsets)
      if (charset == DEFAULT_CHARSET || c == charset) out.push_back(c);
    return out;
  };
  const size_t name_length = std::find(logfont->lfFaceName, logfont->lfFaceName + LF_FACESIZE, 0) - logfont->lfFaceName;
  const std::u16string_view name(logfont->lfFaceName, name_length);
  int result = 1;
  if (name.empty()) {
    const auto faces = installed_faces();
    for (const auto& family : families_in_order(faces)) {
      const Face face = representative(faces, family);
      for (BYTE c : charsets_of(face)) {
        result = call(proc, describe(face, c), lParam);
        if (!result) return result;
      }
    }
    return result;
  }
  for (const Face& face : family_faces(name)) {
    for (BYTE c : charsets_of(face)) {
      result = call(proc, describe(face, c), lParam);
      if (!result) return result;
    }
  }
  return result;
}

extern "C" BOOL TranslateCharsetInfo(DWORD* src, CHARSETINFO* cs, DWORD flags) {
  if (!cs) return FALSE;
  const CharsetEntry* entry = nullptr;
  switch (flags) {
    case TCI_SRCCHARSET:
      entry = charset_by_value(static_cast<BYTE>(reinterpret_cast<UINT_PTR>(src)));
      if (reinterpret_cast<UINT_PTR>(src) > 0xFF) entry = nullptr;
      break;
    case TCI_SRCCODEPAGE:
      entry = charset_by_code_page(static_cast<UINT>(reinterpret_cast<UINT_PTR>(src)));
      break;
    case TCI_SRCFONTSIG: {
      if (!src) return FALSE;
      size_t count = 0;
      const CharsetEntry* entries = charset_entries(&count);
      for (size_t i = 0; i < count && !entry; ++i)
        if (src[0] & (1u << entries[i].signature_bit)) entry = &entries[i];
      break;
    }
    default:
      return FALSE;
  }
  if (!entry) return FALSE;
  *cs = {};
  cs->ciCharset = entry->charset;
  cs->ciACP = entry->code_page;
  cs->fs.fsCsb[0] = 1u << entry->signature_bit;
  return TRUE;
}
