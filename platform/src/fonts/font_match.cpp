// Font mapping: which installed face a LOGFONTW request is realised with,
// and what must be simulated.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "fonts/fonts_internal.h"
#include "win/strings.h"

namespace morva::platform::fonts {

namespace {

constexpr const char16_t* kSans = u"DejaVu Sans";
constexpr const char16_t* kSerif = u"DejaVu Serif";
constexpr const char16_t* kMono = u"DejaVu Sans Mono";
constexpr const char16_t* kGothic = u"IPAGothic";
constexpr const char16_t* kPGothic = u"IPAPGothic";

// Faces that documents commonly ask for and the machine does not have,
// with the installed family that stands in for each (as the font
// substitutes of the system do).
struct StandIn {
  const char16_t* name;
  const char16_t* family;
};
constexpr StandIn kStandIns[] = {
    {u"Arial", kSans},
    {u"Arial Black", kSans},
    {u"Arial Narrow", kSans},
    {u"Helvetica", kSans},
    {u"Helv", kSans},
    {u"Swiss", kSans},
    {u"Times New Roman", kSerif},
    {u"Times", kSerif},
    {u"Tms Rmn", kSerif},
    {u"Times Roman", kSerif},
    {u"Century", kSerif},
    {u"Century Schoolbook", kSerif},
    {u"Bookman Old Style", kSerif},
    {u"Book Antiqua", kSerif},
    {u"Courier New", kMono},
    {u"Courier", kMono},
    {u"ＭＳ ゴシック", kGothic},
    {u"ＭＳ 明朝", kGothic},
    {u"平成角ゴシック", kGothic},
    {u"平成明朝", kGothic},
    {u"ＭＳ Ｐゴシック", kPGothic},
    {u"ＭＳ Ｐ明朝", kPGothic},
};

bool is_far_east(BYTE charset) {
  return charset == SHIFTJIS_CHARSET || charset == HANGUL_CHARSET || charset == GB2312_CHARSET ||
         charset == CHINESEBIG5_CHARSET || charset == JOHAB_CHARSET;
}

bool family_has_charset(const std::vector<Face>& faces, BYTE charset) {
  for (const Face& face : faces)
    if (face_has_charset(*face, charset)) return true;
  return false;
}

// A family that has the character set, of the pitch asked for (FIXED_PITCH,
// VARIABLE_PITCH) where there is a choice.
std::vector<Face> family_for_charset(BYTE charset, BYTE pitch) {
  std::vector<Face> first;
  for (const Face& face : installed_faces()) {
    if (!face_has_charset(*face, charset)) continue;
    if (pitch == DEFAULT_PITCH || face->fixed_pitch == (pitch == FIXED_PITCH)) return family_faces(face->family);
    if (first.empty()) first = family_faces(face->family);
  }
  return first;
}

std::vector<Face> fallback_family(const LOGFONTW& request) {
  const BYTE pitch = request.lfPitchAndFamily & 0x3;
  const BYTE family = request.lfPitchAndFamily & 0xF0;
  if (is_far_east(request.lfCharSet)) {
    auto faces = family_for_charset(request.lfCharSet, pitch);
    if (!faces.empty()) return faces;
  }
  const char16_t* name = kSans;
  if (pitch == FIXED_PITCH || family == FF_MODERN) name = kMono;
  else if (family == FF_ROMAN) name = kSerif;
  auto faces = family_faces(name);
  if (faces.empty()) {
    auto all = installed_faces();
    if (!all.empty()) faces = family_faces(all.front()->family);
  }
  return faces;
}

}  // namespace

FontMatch match_font(const LOGFONTW& request) {
  std::u16string name(request.lfFaceName, u16len(request.lfFaceName) < LF_FACESIZE ? u16len(request.lfFaceName)
                                                                                    : LF_FACESIZE);
  if (!name.empty() && name[0] == u'@') name.erase(0, 1);  // vertical form of the same face
  FontMatch match;
  std::vector<Face> faces;
  if (!name.empty()) {
    faces = family_faces(name);
    if (faces.empty()) {
      for (const Face& face : installed_faces())
        if (u16_iequal(face->full_name, name)) faces = {face};
    }
    if (faces.empty()) {
      for (const StandIn& stand_in : kStandIns)
        if (u16_iequal(stand_in.name, name)) faces = family_faces(stand_in.family);
    }
  }
  if (faces.empty()) faces = fallback_family(request);
  // A family without the character set asked for gives way to one that has it.
  if (!faces.empty() && request.lfCharSet != DEFAULT_CHARSET && request.lfCharSet != ANSI_CHARSET &&
      charset_by_value(request.lfCharSet) && !family_has_charset(faces, request.lfCharSet)) {
    BYTE pitch = request.lfPitchAndFamily & 0x3;
    if (pitch == DEFAULT_PITCH) pitch = faces.front()->fixed_pitch ? FIXED_PITCH : VARIABLE_PITCH;
    auto other = family_for_charset(request.lfCharSet, pitch);
    if (!other.empty()) faces = std::move(other);
  }
  if (faces.empty()) return match;  // no font installed at all

  const LONG want = request.lfWeight == FW_DONTCARE ? FW_NORMAL : request.lfWeight;
  const bool italic = request.lfItalic != 0;
  long best = -1;
  for (const Face& face : faces) {
    long score = std::labs(static_cast<long>(face->weight) - want) + (face->italic != italic ? 10000 : 0);
    if (best < 0 || score < best) {
      best = score;
      match.face = face;
    }
  }
  match.simulate_bold = want >= FW_SEMIBOLD && match.face->weight <= FW_MEDIUM;
  match.simulate_italic = italic && !match.face->italic;
  match.charset = request.lfCharSet != DEFAULT_CHARSET && face_has_charset(*match.face, request.lfCharSet)
                      ? request.lfCharSet
                      : default_charset(*match.face);
  return match;
}

double em_height_for(const FaceInfo& face, LONG lfHeight, LONG dpi) {
  if (lfHeight < 0) return -static_cast<double>(lfHeight);
  if (lfHeight == 0) return 12.0 * dpi / 72.0;
  const int cell = face.win_ascent + face.win_descent;
  return cell > 0 ? static_cast<double>(lfHeight) * face.units_per_em / cell : lfHeight;
}

TEXTMETRICW text_metrics_for(const FontMatch& match, const FontScale& scale, LONG dpi) {
  TEXTMETRICW tm{};
  if (!match.face) return tm;
  const FaceInfo& face = *match.face;
  const double sy = scale.em_height / face.units_per_em;
  const double sx = (scale.em_width > 0 ? scale.em_width : scale.em_height) / face.units_per_em;
  const LONG bold = match.simulate_bold ? (embolden_strength(scale.em_height) + 63) / 64 : 0;
  tm.tmAscent = std::lround(face.win_ascent * sy);
  tm.tmDescent = std::lround(face.win_descent * sy);
  tm.tmHeight = tm.tmAscent + tm.tmDescent;
  tm.tmInternalLeading = std::max<LONG>(0, tm.tmHeight - std::lround(scale.em_height));
  const int hhea_height = face.hhea_ascender - face.hhea_descender;
  const int win_height = face.win_ascent + face.win_descent;
  tm.tmExternalLeading = std::max<LONG>(0, std::lround((face.hhea_line_gap - (win_height - hhea_height)) * sy));
  tm.tmAveCharWidth = std::lround(face.avg_char_width * sx) + bold;
  tm.tmMaxCharWidth = std::lround(face.max_advance * sx) + bold;
  tm.tmWeight = match.simulate_bold ? FW_BOLD : face.weight;
  tm.tmOverhang = 0;
  tm.tmDigitizedAspectX = dpi;
  tm.tmDigitizedAspectY = dpi;
  tm.tmFirstChar = face.first_char;
  tm.tmLastChar = face.last_char;
  tm.tmBreakChar = face.first_char <= 0x20 ? 0x20 : face.first_char;
  tm.tmDefaultChar = face.first_char <= 0x1F ? face.first_char : static_cast<WCHAR>(0x1F);
  tm.tmItalic = (face.italic || match.simulate_italic) ? 1 : 0;
  tm.tmPitchAndFamily = static_cast<BYTE>(face.family_class | TMPF_TRUETYPE | TMPF_VECTOR |
                                          (face.fixed_pitch ? 0 : TMPF_FIXED_PITCH));
  tm.tmCharSet = match.charset;
  return tm;
}

}  // namespace morva::platform::fonts
