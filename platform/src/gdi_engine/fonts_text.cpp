// Font and string objects. A TrueType font object is realised by the
// engine through the font layer: its IFIMETRICS, its notional-to-device
// transform, and glyph bitmaps or outlines on request. A device font
// object carries the driver's own IFIMETRICS; its glyphs are the driver's.
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <new>

#include "gdi_engine/engine_internal.h"
#include "win/errors.h"

namespace morva::platform::engine {

namespace {

constexpr std::uint32_t kFontMagic = 0x464F4E54;    // "FONT"
constexpr std::uint32_t kStringMagic = 0x53545249;  // "STRI"
constexpr double kPi = 3.14159265358979323846;

struct FontObject {
  FONTOBJ head{};
  std::uint32_t magic = kFontMagic;
  std::shared_ptr<fonts::FontInstance> font;
  std::vector<BYTE> ifi_block;  // a TrueType font's IFIMETRICS with its names
  IFIMETRICS* ifi = nullptr;
  XFORMOBJ* xform = nullptr;
  // The answer of the last FONTOBJ_cGetGlyphs, valid until the next call.
  GLYPHDATA data{};
  std::vector<BYTE> bits;
  PATHOBJ* path = nullptr;
};

FontObject* font_of(FONTOBJ* pfo) {
  auto* object = reinterpret_cast<FontObject*>(pfo);
  return object && object->magic == kFontMagic ? object : nullptr;
}

ULONG next_uniq() {
  static std::atomic<ULONG> counter{1};
  return counter++;
}

LONG round_div(LONG v, LONG d) { return static_cast<LONG>(std::lround(static_cast<double>(v) / d)); }

// GLYPHBITS of a glyph (a blank pixel for a glyph without ink) and the
// glyph's metrics in GLYPHDATA.
bool render_glyph_bits(fonts::FontInstance* font, HGLYPH hg, std::vector<BYTE>* block, GLYPHDATA* data) {
  fonts::GlyphBitmap bitmap;
  fonts::GlyphMetrics metrics;
  if (!font->render(hg, true, &bitmap) || !font->glyph_metrics(hg, &metrics)) return false;
  const LONG width = std::max<LONG>(bitmap.width, 1), height = std::max<LONG>(bitmap.height, 1);
  const LONG row = (width + 7) / 8;
  block->assign(offsetof(GLYPHBITS, aj) + std::max<size_t>(static_cast<size_t>(row) * height, 1), 0);
  auto* gb = reinterpret_cast<GLYPHBITS*>(block->data());
  gb->ptlOrigin = {bitmap.width ? bitmap.left : 0, bitmap.height ? -bitmap.top : 0};
  gb->sizlBitmap = {width, height};
  for (LONG y = 0; y < bitmap.height; ++y)
    std::memcpy(gb->aj + y * row, bitmap.bits.data() + y * bitmap.pitch, bitmap.pitch);
  if (data) {
    *data = {};
    data->hg = hg;
    data->fxD = round_div(metrics.advance_x, 4);
    data->fxA = gb->ptlOrigin.x * 16;
    data->fxAB = (gb->ptlOrigin.x + width) * 16;
    data->fxInkTop = -gb->ptlOrigin.y * 16;
    data->fxInkBottom = -(gb->ptlOrigin.y + height) * 16;
    data->rclInk = {gb->ptlOrigin.x, gb->ptlOrigin.y, gb->ptlOrigin.x + width, gb->ptlOrigin.y + height};
    data->ptqD.x.u.HighPart = round_div(metrics.advance_x, 4);
    data->ptqD.y.u.HighPart = round_div(metrics.advance_y, 4);
  }
  return true;
}

void put_name(std::vector<BYTE>* block, PTRDIFF* field, const std::u16string& name) {
  while (block->size() % 2) block->push_back(0);
  *field = static_cast<PTRDIFF>(block->size());
  const size_t at = block->size();
  block->resize(at + (name.size() + 1) * 2, 0);
  std::memcpy(block->data() + at, name.data(), name.size() * 2);
}

// The IFIMETRICS of a TrueType face, names after the record.
std::vector<BYTE> truetype_ifimetrics(const fonts::FontMatch& match) {
  const fonts::FaceInfo& face = *match.face;
  IFIMETRICS ifi{};
  ifi.jWinCharSet = match.charset;
  ifi.jWinPitchAndFamily = static_cast<BYTE>(face.family_class | (face.fixed_pitch ? FIXED_PITCH : VARIABLE_PITCH));
  ifi.usWinWeight = static_cast<USHORT>(face.weight);
  ifi.flInfo = FM_INFO_TECH_TRUETYPE | FM_INFO_ARB_XFORMS | FM_INFO_RETURNS_OUTLINES | FM_INFO_RETURNS_BITMAPS |
               FM_INFO_1BPP | FM_INFO_RIGHT_HANDED;
  if (face.fixed_pitch) ifi.flInfo |= FM_INFO_CONSTANT_WIDTH | FM_INFO_OPTICALLY_FIXED_PITCH;
  ifi.fsSelection = static_cast<USHORT>(face.fs_selection & 0x7F);
  ifi.fsType = face.fs_type;
  ifi.fwdUnitsPerEm = static_cast<FWORD>(face.units_per_em);
  ifi.fwdLowestPPEm = 9;
  ifi.fwdWinAscender = face.win_ascent;
  ifi.fwdWinDescender = face.win_descent;
  ifi.fwdMacAscender = face.hhea_ascender;
  ifi.fwdMacDescender = face.hhea_descender;
  ifi.fwdMacLineGap = face.hhea_line_gap;
  ifi.fwdTypoAscender = face.typo_ascender;
  ifi.fwdTypoDescender = face.typo_descender;
  ifi.fwdTypoLineGap = face.typo_line_gap;
  ifi.fwdAveCharWidth = face.avg_char_width;
  ifi.fwdMaxCharInc = face.max_advance;
  ifi.fwdCapHeight = face.cap_height;
  ifi.fwdXHeight = face.x_height;
  ifi.fwdSubscriptXSize = face.subscript_x_size;
  ifi.fwdSubscriptYSize = face.subscript_y_size;
  ifi.fwdSubscriptXOffset = face.subscript_x_offset;
  ifi.fwdSubscriptYOffset = face.subscript_y_offset;
  ifi.fwdSuperscriptXSize = face.superscript_x_size;
  ifi.fwdSuperscriptYSize = face.superscript_y_size;
  ifi.fwdSuperscriptXOffset = face.superscript_x_offset;
  ifi.fwdSuperscriptYOffset = face.superscript_y_offset;
  ifi.fwdUnderscoreSize = face.underline_thickness;
  ifi.fwdUnderscorePosition = face.underline_position;
  ifi.fwdStrikeoutSize = face.strikeout_size;
  ifi.fwdStrikeoutPosition = face.strikeout_position;
  ifi.chFirstChar = 0x20;
  ifi.chLastChar = 0xFF;
  ifi.chDefaultChar = 0x1F;
  ifi.chBreakChar = 0x20;
  ifi.wcFirstChar = face.first_char;
  ifi.wcLastChar = face.last_char;
  ifi.wcDefaultChar = 0x1F;
  ifi.wcBreakChar = 0x20;
  ifi.ptlBaseline = {1, 0};
  ifi.ptlAspect = {1, 1};
  ifi.ptlCaret = {0, 1};
  ifi.rclFontBox = {face.x_min, face.y_max, face.x_max, face.y_min};
  std::memcpy(ifi.achVendId, face.vendor, 4);
  std::memcpy(&ifi.panose, face.panose, sizeof(ifi.panose));
  std::vector<BYTE> block(sizeof(IFIMETRICS));
  put_name(&block, &ifi.dpwszFamilyName, face.family);
  put_name(&block, &ifi.dpwszStyleName, face.style);
  put_name(&block, &ifi.dpwszFaceName, face.full_name);
  put_name(&block, &ifi.dpwszUniqueName, face.full_name);
  while (block.size() % 4) block.push_back(0);
  ifi.cjThis = static_cast<ULONG>(block.size());
  std::memcpy(block.data(), &ifi, sizeof(ifi));
  return block;
}

struct StringObject {
  STROBJ head{};
  std::uint32_t magic = kStringMagic;
  FontObject* font = nullptr;
  std::vector<GLYPHPOS> glyphs;
  std::vector<GLYPHDEF> defs;
  std::map<HGLYPH, std::vector<BYTE>> bits;  // one GLYPHBITS block per glyph
  std::u16string text;
  ULONG batch = 0;
  size_t next = 0;
};

StringObject* string_of(STROBJ* pstro) {
  auto* object = reinterpret_cast<StringObject*>(pstro);
  return object && object->magic == kStringMagic ? object : nullptr;
}

// Points the glyphs [from, to) at their bitmaps, rendering each once.
void fill_glyph_bits(StringObject* str, size_t from, size_t to) {
  if (!str->font || !str->font->font) return;
  for (size_t i = from; i < to; ++i) {
    const HGLYPH hg = str->glyphs[i].hg;
    auto it = str->bits.find(hg);
    if (it == str->bits.end()) {
      std::vector<BYTE> block;
      if (!render_glyph_bits(str->font->font.get(), hg, &block, nullptr)) continue;
      it = str->bits.emplace(hg, std::move(block)).first;
    }
    str->defs[i].pgb = reinterpret_cast<GLYPHBITS*>(it->second.data());
    str->glyphs[i].pgdf = &str->defs[i];
  }
}

}  // namespace

FONTOBJ* create_font_truetype(std::shared_ptr<fonts::FontInstance> font, LONG dpi) {
  if (!font || !font->match().face) return nullptr;
  auto* object = new FontObject;
  const fonts::FontMatch& match = font->match();
  const fonts::FontScale& scale = font->scale();
  object->ifi_block = truetype_ifimetrics(match);
  object->ifi = reinterpret_cast<IFIMETRICS*>(object->ifi_block.data());
  const double upem = match.face->units_per_em;
  const double sy = scale.em_height / upem;
  const double sx = (scale.em_width > 0 ? scale.em_width : scale.em_height) / upem;
  const double a = scale.angle / 10.0 * kPi / 180.0;
  // Notional space runs with y downward, as device space does.
  XFORML m{static_cast<FLOATL>(sx * std::cos(a)), static_cast<FLOATL>(-sx * std::sin(a)),
           static_cast<FLOATL>(sy * std::sin(a)), static_cast<FLOATL>(sy * std::cos(a)), 0, 0};
  object->xform = create_xform(m);
  FONTOBJ& fo = object->head;
  fo.iUniq = next_uniq();
  fo.iFace = 0;
  fo.cxMax = static_cast<ULONG>(font->text_metrics().tmMaxCharWidth);
  fo.flFontType = FO_TYPE_TRUETYPE | (match.simulate_bold ? FO_SIM_BOLD : 0) |
                  (match.simulate_italic ? FO_SIM_ITALIC : 0);
  fo.iTTUniq = fo.iUniq;
  fo.iFile = reinterpret_cast<ULONG_PTR>(match.face.get());
  fo.sizLogResPpi = {dpi, dpi};
  fo.ulStyleSize = static_cast<ULONG>(std::lround(scale.em_height * 72.0 / (dpi > 0 ? dpi : 96)));
  object->font = std::move(font);
  return &fo;
}

FONTOBJ* create_font_device(ULONG face, IFIMETRICS* ifi, const XFORML& xform, LONG dpi, FLONG simulations) {
  auto* object = new FontObject;
  object->ifi = ifi;
  object->xform = create_xform(xform);
  FONTOBJ& fo = object->head;
  fo.iUniq = next_uniq();
  fo.iFace = face;
  fo.flFontType = FO_TYPE_DEVICE | (simulations & (FO_SIM_BOLD | FO_SIM_ITALIC));
  fo.sizLogResPpi = {dpi, dpi};
  if (ifi) {
    const double height = std::hypot(xform.eM21, xform.eM22) * ifi->fwdUnitsPerEm;
    fo.ulStyleSize = static_cast<ULONG>(std::lround(height * 72.0 / (dpi > 0 ? dpi : 96)));
    fo.cxMax = static_cast<ULONG>(std::lround(std::hypot(xform.eM11, xform.eM12) * ifi->fwdMaxCharInc));
  }
  return &fo;
}

void delete_font(FONTOBJ* pfo) {
  FontObject* object = font_of(pfo);
  if (!object) return;
  if (object->path) EngDeletePath(object->path);
  delete_xform(object->xform);
  delete object;
}

fonts::FontInstance* font_instance(FONTOBJ* pfo) {
  FontObject* object = font_of(pfo);
  return object ? object->font.get() : nullptr;
}

STROBJ* create_string(FONTOBJ* pfo, const std::vector<GLYPHPOS>& glyphs, const std::u16string& text, FLONG accel,
                      ULONG char_inc, const RECTL& background, ULONG batch) {
  auto* str = new StringObject;
  str->font = font_of(pfo);
  str->glyphs = glyphs;
  str->defs.assign(glyphs.size(), GLYPHDEF{});
  str->text = text;
  str->batch = batch;
  STROBJ& so = str->head;
  so.cGlyphs = static_cast<ULONG>(glyphs.size());
  so.flAccel = accel;
  so.ulCharInc = char_inc;
  so.rclBkGround = background;
  so.pwszOrg = str->text.empty() ? nullptr : str->text.data();
  if (batch == 0) {
    fill_glyph_bits(str, 0, str->glyphs.size());
    so.pgp = str->glyphs.data();
  }
  return &so;
}

void delete_string(STROBJ* pstro) { delete string_of(pstro); }

}  // namespace morva::platform::engine

using namespace morva::platform;
using namespace morva::platform::engine;

extern "C" XFORMOBJ* FONTOBJ_pxoGetXform(FONTOBJ* pfo) {
  FontObject* object = font_of(pfo);
  return object ? object->xform : nullptr;
}

extern "C" IFIMETRICS* FONTOBJ_pifi(FONTOBJ* pfo) {
  FontObject* object = font_of(pfo);
  return object ? object->ifi : nullptr;
}

extern "C" ULONG FONTOBJ_cGetGlyphs(FONTOBJ* pfo, ULONG iMode, ULONG cGlyph, HGLYPH* phg, PVOID* ppvGlyph) {
  FontObject* object = font_of(pfo);
  if (!object || !object->font || cGlyph == 0 || !phg || !ppvGlyph) return 0;
  if (object->path) {
    EngDeletePath(object->path);
    object->path = nullptr;
  }
  const HGLYPH hg = phg[0];
  if (iMode == FO_GLYPHBITS) {
    if (!render_glyph_bits(object->font.get(), hg, &object->bits, &object->data)) return 0;
    object->data.gdf.pgb = reinterpret_cast<GLYPHBITS*>(object->bits.data());
  } else if (iMode == FO_PATHOBJ) {
    fonts::GlyphOutline outline;
    fonts::GlyphMetrics metrics;
    if (!object->font->outline(hg, &outline) || !object->font->glyph_metrics(hg, &metrics)) return 0;
    object->path = EngCreatePath();
    // 1/64 pixel to 28.4.
    auto fix = [](const POINT& p) { return POINTFIX{round_div(p.x, 4), round_div(p.y, 4)}; };
    for (size_t i = 0; i < outline.points.size();) {
      const BYTE type = outline.types[i] & ~PT_CLOSEFIGURE;
      if (type == PT_MOVETO) {
        PATHOBJ_bMoveTo(object->path, fix(outline.points[i]));
        ++i;
      } else if (type == PT_BEZIERTO && i + 2 < outline.points.size()) {
        POINTFIX curve[3] = {fix(outline.points[i]), fix(outline.points[i + 1]), fix(outline.points[i + 2])};
        PATHOBJ_bPolyBezierTo(object->path, curve, 3);
        i += 3;
      } else {
        POINTFIX line = fix(outline.points[i]);
        PATHOBJ_bPolyLineTo(object->path, &line, 1);
        ++i;
      }
      if (outline.types[i - 1] & PT_CLOSEFIGURE) PATHOBJ_bCloseFigure(object->path);
    }
    object->data = {};
    object->data.hg = hg;
    object->data.gdf.ppo = object->path;
    object->data.fxD = round_div(metrics.advance_x, 4);
    object->data.ptqD.x.u.HighPart = object->data.fxD;
    object->data.ptqD.y.u.HighPart = round_div(metrics.advance_y, 4);
    object->data.rclInk = metrics.box;
  } else {
    return 0;
  }
  *ppvGlyph = &object->data;
  return 1;
}

extern "C" void STROBJ_vEnumStart(STROBJ* pstro) {
  if (StringObject* str = string_of(pstro)) str->next = 0;
}

extern "C" BOOL STROBJ_bEnum(STROBJ* pstro, ULONG* pc, GLYPHPOS** ppgpos) {
  StringObject* str = string_of(pstro);
  if (!str || !pc || !ppgpos) return DDI_ERROR;
  if (str->head.pgp || str->batch == 0) {
    *pc = str->head.cGlyphs;
    *ppgpos = str->glyphs.data();
    return FALSE;
  }
  const size_t from = str->next;
  const size_t to = std::min(str->glyphs.size(), from + str->batch);
  fill_glyph_bits(str, from, to);
  *pc = static_cast<ULONG>(to - from);
  *ppgpos = str->glyphs.data() + from;
  str->next = to;
  return to < str->glyphs.size() ? TRUE : FALSE;
}
