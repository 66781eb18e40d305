// DrvTextOut: every string is cut into runs. Characters a resident font of
// the printer can print go as character codes under a device-font
// selection; the others go as TrueType glyphs, downloaded into the
// printer's glyph memory and drawn by address, or drawn inline.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "output/document_control.h"
#include "render/drawing_core.h"
#include "render/glyph_cache.h"
#include "render/glyph_compression.h"
#include "render/glyph_records.h"
#include "render/images.h"
#include "render/text_output.h"
#include "settings/database/ddd_queries.h"
#include "settings/gfx/graphics_module.h"
#include "win/codepage.h"
#include "win/ddi_engine.h"
#include "win/errors.h"
#include "win/fonts.h"
#include "win/gdi.h"

namespace morva::gfx {

namespace {

// Most codes one text operator carries: their byte count is a word.
constexpr std::size_t kMaxCodesPerOp = 32767;
constexpr WORD kNoCode = 0xFFFF;
// Keys of glyphs drawn from a glyph-index string carry the handle, not a
// character: their kind is marked so that the two never meet.
constexpr BYTE kGlyphIndexKey = 0x80;
// dmTTOption: TrueType as bitmaps, or substituted by device fonts.
constexpr LONG kTtBitmap = 1;
constexpr LONG kTtSubstituteDevice = 3;

struct TextCall {
  PDEV* pdev;
  PdlWriter* w;
  FONTOBJ* pfo;
  STROBJ* pstro;
  IFIMETRICS* ifi;
  BRUSHOBJ* fore;
  MIX mix;
  bool device_object;
  LONG tt_option;  // dmTTOption
};

bool is_device(FONTOBJ* pfo) { return (pfo->flFontType & FO_TYPE_DEVICE) != 0; }

DeviceFontSet* fonts_of(PDEV* pdev) { return pdev->device_fonts; }

DeviceFontBlock* block_of_face(PDEV* pdev, ULONG face) {
  DeviceFontSet* set = fonts_of(pdev);
  if (!set || face == 0 || face > set->reported) return nullptr;
  return set->blocks[face - 1].get();
}

DeviceFontBlock* reported_block_with_id(PDEV* pdev, WORD id) {
  DeviceFontSet* set = fonts_of(pdev);
  for (ULONG i = 0; set && i < set->reported; ++i)
    if (set->blocks[i]->font_id == id) return set->blocks[i].get();
  return nullptr;
}

bool italic(const TextCall& c) {
  return (c.pfo->flFontType & FO_SIM_ITALIC) || (c.ifi && (c.ifi->fsSelection & FM_SEL_ITALIC));
}

WORD raise_class(WORD code, int by) {
  const int cls = std::min(15, ((code >> 4) & 0xF) + by);
  return static_cast<WORD>((code & ~0xF0) | (cls << 4));
}

WORD DeviceFontCode(const TextCall& c) {
  DeviceFontBlock* b = block_of_face(c.pdev, c.pfo->iFace);
  if (!b) return 0;
  WORD code = static_cast<WORD>(b->font_id);
  if (italic(c)) code |= 0x8;
  if ((c.pfo->flFontType & FO_SIM_BOLD) || (c.ifi && (c.ifi->fsSelection & FM_SEL_BOLD))) code = raise_class(code, 3);
  return code;
}

WORD DeviceFontCodeForRecord(const TextCall& c, std::size_t record, bool plain) {
  WORD code = fonts_of(c.pdev)->names[record].code;
  if (plain) return code;
  if (italic(c)) code |= 0x8;
  const bool sim_bold = (c.pfo->flFontType & FO_SIM_BOLD) != 0;
  if (!sim_bold && c.ifi && (c.ifi->fsSelection & FM_SEL_BOLD))
    code = static_cast<WORD>((code & ~0xF0) | ((std::min(15, c.ifi->usWinWeight / 100)) << 4));
  if (sim_bold) code = raise_class(code, 3);
  return code;
}

// The device font code standing in for a TrueType font object: kNoCode when
// none applies; false when the choice failed.
bool FindDeviceFontForTrueType(const TextCall& c, bool plain, WORD* code) {
  *code = kNoCode;
  DeviceFontSet* set = fonts_of(c.pdev);
  if (c.device_object || !set || set->names.empty() || c.tt_option != kTtSubstituteDevice) return true;
  const LONG how = PdevGetNumber(c.pdev, 292);
  if (how != 2 && how != 0) return true;
  if (!set->substitution) LoadFontSubstitutionList(c.pdev);
  const WCHAR* face = c.ifi ? reinterpret_cast<const WCHAR*>(reinterpret_cast<const BYTE*>(c.ifi) + c.ifi->dpwszFamilyName)
                            : nullptr;
  static const WCHAR kEmpty[] = {0};
  // The name-group table the document chose for the device's fonts.
  const UINT table = CurrentFontSubstitutionTable(nullptr) == 1 ? kSubstTableLatin : kSubstTableFull;
  SubstituteRequest r{set->substitution ? set->substitution : kEmpty, face, c.ifi,
                      (c.pfo->flFontType & FO_SIM_ITALIC) != 0, set->names.data(), set->names.size(), table};
  std::size_t index = 0;
  const int found = how == 2 ? FindSubstituteFont(r, &index) : SelectSubstituteFont(r, &index);
  if (found == kSubstFound) {
    *code = DeviceFontCodeForRecord(c, index, plain);
    return true;
  }
  return how == 2 && found == kSubstNotApplicable;
}

int layout_kind(const TextCall& c, std::size_t n, const GLYPHPOS* gp) {
  if (n < 2) return 0;
  if (c.pstro->flAccel & SO_HORIZONTAL) return 1;
  if (c.pstro->flAccel & SO_VERTICAL) return 2;
  bool same_y = true, same_x = true;
  for (std::size_t i = 1; i < n; ++i) {
    same_y = same_y && gp[i].ptl.y == gp[0].ptl.y;
    same_x = same_x && gp[i].ptl.x == gp[0].ptl.x;
  }
  return same_y ? 1 : same_x ? 2 : 0;
}

// ---- device-font runs -------------------------------------------------------------

int EmitTextRun(const TextCall& c, WORD code, std::vector<WORD> codes, const GLYPHPOS* gp) {
  const bool sjis = c.ifi && c.ifi->jWinCharSet == SHIFTJIS_CHARSET;
  for (WORD& v : codes) {
    if (!sjis && v > 0xEFFF) v &= 0x0FFF;
    if (sjis && v == 0xA5) v = 0x5C;
    if (sjis && v == 0xA0) v = 0x20;
  }
  XFORML x{};
  XFORMOBJ* pxo = FONTOBJ_pxoGetXform(c.pfo);
  if (!pxo || !XFORMOBJ_iGetXform(pxo, &x)) return -1;
  const float em = c.ifi ? static_cast<float>(c.ifi->fwdUnitsPerEm) : 1000.0f;
  const float m[6] = {x.eM11 * em, x.eM12 * em, x.eM21 * -em, x.eM22 * -em, 0, 0};
  if (PdlWriter_SelectDeviceFont(c.w, static_cast<WORD>(code | 1)) != 0 || PdlWriter_SetTextMatrix(c.w, m) != 0)
    return -1;
  const std::size_t n = codes.size();
  if (layout_kind(c, n, gp) == 1) {
    // One operator per chunk of at most kMaxCodesPerOp codes, each at the
    // position of its first glyph.
    for (std::size_t at = 0; at < n; at += kMaxCodesPerOp) {
      const std::size_t k = std::min(kMaxCodesPerOp, n - at);
      std::vector<float> gaps;
      bool equal = true;
      for (std::size_t i = 1; i < k; ++i) {
        gaps.push_back(static_cast<float>(gp[at + i].ptl.x - gp[at + i - 1].ptl.x));
        equal = equal && gaps.back() == gaps.front();
      }
      int r;
      if (k > 2 && !equal)
        r = PdlWriter_PutText(c.w, 1, gp[at].ptl, k, codes.data() + at, 1, gaps.size(), gaps.data());
      else {
        const float one = gaps.empty() ? 0.0f : gaps.front();
        r = PdlWriter_PutText(c.w, 1, gp[at].ptl, k, codes.data() + at, 0, 1, &one);
      }
      if (r != 0) return -1;
    }
    return 0;
  }
  for (std::size_t i = 0; i < n; ++i) {
    const float zero = 0;
    if (PdlWriter_PutText(c.w, 1, gp[i].ptl, 1, &codes[i], 0, 1, &zero) != 0) return -1;
  }
  return 0;
}

// ---- TrueType runs -------------------------------------------------------------------

// The page matrix maps device pixels to points (72 / resolution a pixel on
// a plain page); never written yet, it is the printer's plain default.
bool page_matrix_unset(const float* m) { return m[0] == 0 && m[1] == 0 && m[2] == 0 && m[3] == 0; }

// How many device pixels of a plain page one pixel becomes down the page.
float PageScale(const TextCall& c) {
  const float* m = c.w->cache.matrix;
  if (page_matrix_unset(m)) return 1.0f;
  return std::hypot(m[2], m[3]) * static_cast<float>(DeviceResolution(c.pdev, 21)) / 72.0f;
}

bool IsPlainPageMatrix(const TextCall& c) {
  // Neither turned nor skewed, and 72 / resolution in both directions.
  const float* m = c.w->cache.matrix;
  if (page_matrix_unset(m)) return true;
  if (m[1] != 0 || m[2] != 0) return false;
  auto plain = [&](float v, int id) {
    return std::fabs(static_cast<float>(DeviceResolution(c.pdev, static_cast<WORD>(id))) * std::fabs(v) - 72.0f) <= 0.0109f;
  };
  return plain(m[0], 20) && plain(m[3], 21);
}

// The font's em height in device pixels (28.4 length / 16).
float EmPixels(const TextCall& c) {
  XFORMOBJ* pxo = FONTOBJ_pxoGetXform(c.pfo);
  if (!pxo || !c.ifi) return 0;
  POINTL in{0, c.ifi->fwdUnitsPerEm};
  POINTFIX out{};
  XFORMOBJ_bApplyXform(pxo, XF_LTOFX, 1, &in, &out);
  return static_cast<float>(VectorLength(out.x, out.y)) / 16.0f;
}

LONG FontPointSize(const TextCall& c) {
  return MulDiv(static_cast<LONG>(EmPixels(c)), 72, DeviceResolution(c.pdev, 21));
}

bool UseOutlineGlyphs(const TextCall& c) {
  if (PdevGetNumber(c.pdev, 1335)) return false;
  if ((c.pfo->flFontType & FO_TYPE_RASTER) && !(c.pfo->flFontType & FO_TYPE_TRUETYPE)) return false;
  const DWORD caps = c.pdev->database ? DddGetFieldValue(&c.pdev->database->main, 26, 4, 0) : 0;
  if ((caps & 0x2000) || !IsPlainPageMatrix(c) || (c.pfo->flFontType & FO_SIM_BOLD)) return true;
  return FontPointSize(c) > (PdevGetEffective(c.pdev, 346) & 0xFF);
}

// Word coordinates while no plug-in draws and the font is small enough for
// 1/64 pixel words.
bool UseWordCoordinates(const TextCall& c) {
  if (IsRenderPluginOn(c.pdev)) return false;
  const LONG res = DeviceResolution(c.pdev, 21);
  const LONG limit = res > 600 ? 24000 / res : 40;
  const LONG xres = DeviceResolution(c.pdev, 20);
  const LONG widest = xres > 600 ? 333 : xres * 40 / 72;
  return FontPointSize(c) <= limit && static_cast<LONG>(c.pfo->cxMax) <= widest;
}

bool black_text(const TextCall& c) {
  return c.fore && (c.fore->iSolidColor == 0xFFFFFFFF || (c.fore->iSolidColor & 0xFFFFFF) == 0);
}

bool thin_kind(const TextCall& c) { return PdevGetNumber(c.pdev, 1307) != 0 && c.fore && (c.fore->iSolidColor & 0xFFFFFF) == 0; }

// The default of a database item as a number; `missing` without one.
LONG ItemDefault(const TextCall& c, WORD id, LONG missing) {
  WORD type = 0;
  DWORD_PTR value = 0;
  if (!c.pdev->database || !DddGetItemDefaultValue(c.pdev->database, id, &type, &value, nullptr) || type == 6)
    return missing;
  return static_cast<LONG>(value);
}

// The points from which a glyph of this call takes the thin-line hint: black
// text copied onto the page in a font that is not bold, at a height on the
// page between the database's two limits; 0 when the hint does not apply.
std::size_t ThinLinePoints(const TextCall& c) {
  if (!PdevGetNumber(c.pdev, 1307) || (c.mix & 0xFF) != R2_COPYPEN || !black_text(c)) return 0;
  if ((c.pfo->flFontType & FO_SIM_BOLD) || (c.ifi && (c.ifi->fsSelection & FM_SEL_BOLD))) return 0;
  const float height = EmPixels(c) * PageScale(c);
  if (!(height > static_cast<float>(ItemDefault(c, 0x8008, 7)) && height < static_cast<float>(ItemDefault(c, 0x8009, 16))))
    return 0;
  return static_cast<std::size_t>(std::max<LONG>(1, ItemDefault(c, 0x800A, 50)));
}

bool older_system(const TextCall& c) {
  const DocumentControl* d = c.pdev->document;
  return d && (d->job.os_major < 5 || (d->job.os_major == 5 && d->job.os_minor < 1));
}

OutlineOptions outline_options(const TextCall& c) {
  OutlineOptions o;
  o.reals = !UseWordCoordinates(c);
  o.em_points = EmPixels(c) * 72.0f / static_cast<float>(DeviceResolution(c.pdev, 21));
  o.em_box = IsRenderPluginOn(c.pdev) != FALSE;
  o.bold_bounds = (c.pfo->flFontType & FO_SIM_BOLD) && older_system(c);
  o.thin_points = ThinLinePoints(c);
  return o;
}

bool fetch(const TextCall& c, HGLYPH hg, bool outline, GlyphRecord* r) {
  if (outline) return GetOutlineGlyph(c.pfo, hg, outline_options(c), r);
  if (!GetBitmapGlyph(c.pfo, hg, r)) return false;
  CompressGlyphBits(DocumentGlyphCompressor(c.pdev), r);
  return true;
}

int inline_glyph(const TextCall& c, const GLYPHPOS& g, const GlyphRecord& r, BYTE kind) {
  if (PdlWriter_DrawInlineGlyph(c.w, static_cast<float>(g.ptl.x), static_cast<float>(g.ptl.y), kind) != 0) return -1;
  return WriteGlyphRecord(c.w, r);
}

// Glyphs drawn once, from records in the stream: each distinct glyph of
// the run goes once, at all its places. A glyph met once is drawn with the
// single form; one met again with the array form, whose arrays hold the
// further places as distances from the first: x distances along a
// horizontal run, y distances down a vertical one, both otherwise.
int InlineGlyphRun(const TextCall& c, std::size_t n, const GLYPHPOS* gp) {
  const bool raster = (c.pfo->flFontType & FO_TYPE_RASTER) && !(c.pfo->flFontType & FO_TYPE_TRUETYPE);
  const bool outline = !raster;
  const BYTE kind = outline ? kGlyphKindOutline : kGlyphKindBitmap;
  const int layout = layout_kind(c, n, gp);
  const BYTE flags = layout == 1 ? 1 : layout == 2 ? 2 : 3;
  // Places of each glyph, in the order the glyphs first appear.
  std::vector<std::vector<std::size_t>> places;
  {
    std::unordered_map<HGLYPH, std::size_t> seen;  // glyph, index into places
    for (std::size_t i = 0; i < n; ++i) {
      const auto [it, fresh] = seen.try_emplace(gp[i].hg, places.size());
      if (fresh) places.emplace_back();
      places[it->second].push_back(i);
    }
  }
  for (const std::vector<std::size_t>& at : places) {
    GlyphRecord r;
    if (!fetch(c, gp[at[0]].hg, outline, &r)) return -1;
    // At most 32767 further places an operator, so that the count word holds both arrays.
    for (std::size_t from = 0; from < at.size(); from += kMaxCodesPerOp + 1) {
      const std::size_t k = std::min(at.size() - from, kMaxCodesPerOp + 1);
      const GLYPHPOS& first = gp[at[from]];
      int rc;
      if (k == 1) {
        rc = inline_glyph(c, first, r, kind);
      } else {
        std::vector<float> dx, dy;
        for (std::size_t j = from + 1; j < from + k; ++j) {
          dx.push_back(static_cast<float>(gp[at[j]].ptl.x - first.ptl.x));
          dy.push_back(static_cast<float>(gp[at[j]].ptl.y - first.ptl.y));
        }
        rc = PdlWriter_DrawInlineGlyphArray(c.w, static_cast<float>(first.ptl.x), static_cast<float>(first.ptl.y),
                                            flags, k - 1, (flags & 1) ? dx.data() : nullptr,
                                            (flags & 2) ? dy.data() : nullptr, kind);
        if (rc == 0) rc = WriteGlyphRecord(c.w, r);
      }
      if (rc != 0) return -1;
    }
  }
  return 0;
}

int CachedGlyphRun(const TextCall& c, std::size_t n, const GLYPHPOS* gp, const WCHAR* chars) {
  bool outline = UseOutlineGlyphs(c);
  const WORD font_id = static_cast<WORD>(c.pfo->iUniq);
  for (std::size_t i = 0; i < n; ++i) {
    const WORD code = chars ? static_cast<WORD>(chars[i]) : static_cast<WORD>(gp[i].hg);
    const BYTE mark = chars ? 0 : kGlyphIndexKey;
    const float x = static_cast<float>(gp[i].ptl.x), y = static_cast<float>(gp[i].ptl.y);
    BYTE kind;
    LONG address;
    GlyphRecord r;
    for (;;) {
      kind = !outline ? kGlyphKindBitmap : thin_kind(c) ? kGlyphKindOutlineThin : kGlyphKindOutline;
      address = PdlWriter_FindGlyph(c.w, code, font_id, static_cast<BYTE>(kind | mark));
      if (address >= 0 || fetch(c, gp[i].hg, outline, &r)) break;
      if (!outline) return -1;
      outline = false;  // this and the following glyphs go as bitmaps
    }
    if (address >= 0) {
      if (PdlWriter_DrawCachedGlyph(c.w, x, y, static_cast<DWORD>(address)) != 0) return -1;
      continue;
    }
    const LONG at = PdlWriter_AllocGlyph(c.w, code, font_id, static_cast<BYTE>(kind | mark), r.size, 0);
    if (at < 0) {  // no room in the printer's memory: drawn once, inline
      if (inline_glyph(c, gp[i], r, kind) != 0) return -1;
      continue;
    }
    if (PdlWriter_DownloadAt(c.w, static_cast<DWORD>(at)) != 0 || WriteGlyphRecord(c.w, r) != 0) return -1;
    if (PdlWriter_AllocGlyph(c.w, code, font_id, static_cast<BYTE>(kind | mark), r.size, 1) != at) {
      if (PdlWriter_ResetGlyphCache(c.w) != 0 || inline_glyph(c, gp[i], r, kind) != 0) return -1;
      continue;
    }
    if (PdlWriter_DrawCachedGlyph(c.w, x, y, static_cast<DWORD>(at)) != 0) return -1;
  }
  return 0;
}

int EmitTrueTypeRun(const TextCall& c, std::size_t n, const GLYPHPOS* gp, const WCHAR* chars) {
  if (n == 0) return 0;
  if (PdlWriter_HasGlyphCache(c.w)) return CachedGlyphRun(c, n, gp, chars);
  return InlineGlyphRun(c, n, gp);
}

int EmitDeviceFontRun(const TextCall& c, std::size_t n, const GLYPHPOS* gp, const WCHAR* chars,
                      const std::vector<WORD>& codes) {
  if (n == 0) return 0;
  // A device font has no shapes GDI could give as glyphs: its text goes as
  // character codes even in store mode, where TrueType text is never
  // replaced by device fonts.
  const bool store_mode = c.pdev->document && c.pdev->document->job.store_mode;
  WORD code = kNoCode;
  if (c.device_object) {
    code = DeviceFontCode(c);
    if (code == 0) return -1;
  } else if (!store_mode && chars && !(c.pstro->flAccel & SO_GLYPHINDEX_TEXTOUT) && c.tt_option != kTtBitmap) {
    if (!FindDeviceFontForTrueType(c, false, &code)) return -1;
  }
  if (code != kNoCode) return EmitTextRun(c, code, codes, gp);
  return EmitTrueTypeRun(c, n, gp, chars);
}

UINT font_code_page(const IFIMETRICS* ifi) {
  if (!ifi || ifi->jWinCharSet == ANSI_CHARSET || ifi->jWinCharSet == DEFAULT_CHARSET) return CP_ACP;
  if (ifi->jWinCharSet == SYMBOL_CHARSET) return CP_SYMBOL;
  CHARSETINFO info{};
  DWORD cs = ifi->jWinCharSet;
  return TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<UINT_PTR>(cs)), &info, TCI_SRCCHARSET) ? info.ciACP
                                                                                                          : CP_ACP;
}

int SplitGlyphRun(const TextCall& c, std::size_t n, GLYPHPOS* gp, const WCHAR* chars) {
  if (n == 0) return 0;
  if (c.pstro->ulCharInc && n > 1) {
    const LONG inc = static_cast<LONG>(c.pstro->ulCharInc) * ((c.pstro->flAccel & SO_REVERSED) ? -1 : 1);
    for (std::size_t i = 1; i < n; ++i) {
      if (c.pstro->flAccel & SO_HORIZONTAL) gp[i].ptl.x = gp[i - 1].ptl.x + inc;
      if (c.pstro->flAccel & SO_VERTICAL) gp[i].ptl.y = gp[i - 1].ptl.y + inc;
    }
  }
  const bool consider = c.device_object || (!IsRenderPluginOn(c.pdev) && PdevGetNumber(c.pdev, 292) != 1);
  if (!consider) return EmitTrueTypeRun(c, n, gp, chars);
  DeviceFontBlock* check = nullptr;
  if (c.device_object) {
    check = block_of_face(c.pdev, c.pfo->iFace);
  } else if (c.tt_option != kTtBitmap && chars) {
    WORD code = kNoCode;
    if (!FindDeviceFontForTrueType(c, true, &code)) return -1;
    if (code != kNoCode) check = reported_block_with_id(c.pdev, code);
  }
  // Class of each character: device (true) or TrueType.
  std::vector<WORD> codes(n, 0);
  std::vector<char> device(n, 0);
  const IFIMETRICS* check_ifi = check ? check->metrics_record() : nullptr;
  const UINT cp = font_code_page(c.device_object ? c.ifi : check_ifi);
  const bool sjis = check_ifi && check_ifi->jWinCharSet == SHIFTJIS_CHARSET;
  for (std::size_t i = 0; i < n; ++i) {
    if (!chars) {
      // A glyph-index string: a device font's handles are its codes.
      codes[i] = static_cast<WORD>(gp[i].hg);
      device[i] = c.device_object;
      continue;
    }
    WCHAR ch = chars[i];
    if (!sjis && ch > 0xEFFF) ch &= 0x0FFF;
    char bytes[2] = {0, 0};
    BOOL used_default = FALSE;
    const int got = WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, &ch, 1, bytes, 2, nullptr, &used_default);
    if (got <= 0) {
      device[i] = c.device_object;
      codes[i] = ch;
      continue;
    }
    codes[i] = got == 2 ? static_cast<WORD>((static_cast<BYTE>(bytes[0]) << 8) | static_cast<BYTE>(bytes[1]))
                        : static_cast<BYTE>(bytes[0]);
    bool known = false;
    if (check)
      known = check->lookup_ok ? LookupDeviceFontGlyph(&check->lookup, codes[i]) > 0
                               : got == 1 && check->widths[codes[i] & 0xFF] > 0;
    device[i] = !used_default && known;
  }
  for (std::size_t at = 0; at < n;) {
    std::size_t end = at + 1;
    while (end < n && device[end] == device[at]) ++end;
    std::vector<WORD> part(codes.begin() + static_cast<std::ptrdiff_t>(at), codes.begin() + static_cast<std::ptrdiff_t>(end));
    const WCHAR* part_chars = chars ? chars + at : nullptr;
    const int r = device[at] ? EmitDeviceFontRun(c, end - at, gp + at, part_chars, part)
                             : EmitTrueTypeRun(c, end - at, gp + at, part_chars);
    if (r != 0) return -1;
    at = end;
  }
  return 0;
}

// ---- colour and rectangles ------------------------------------------------------------

// The colour of target 2 as the printer gets it (AM).
int write_colour(PdlWriter* w, BYTE space, DWORD packed) {
  BYTE bytes[3] = {static_cast<BYTE>(packed >> 16), static_cast<BYTE>(packed >> 8), static_cast<BYTE>(packed)};
  if (space == render::kPdlSpaceGrey) bytes[0] = static_cast<BYTE>(packed);
  return PdlWriter_SetColour(w, 2, space, bytes);
}

// The text colour: the foreground brush's solid colour (black when it has
// none), seen by the page colour detection and converted for text.
int SetTextColour(const TextCall& c) {
  int r = PdlWriter_SetRasterOp(c.w, 1, static_cast<DWORD>(c.mix & 0xFF));
  const ULONG rgb = c.fore->iSolidColor == 0xFFFFFFFF ? 0 : c.fore->iSolidColor & 0xFFFFFF;
  BYTE space;
  DWORD packed;
  if (ConvertTextColour(c.pdev, rgb, &space, &packed) != 0) return -1;
  return r | write_colour(c.w, space, packed);
}

// The opaque rectangle (its brush's colour) or the extra rectangles (the
// text colour) of a string.
int FillRectangles(const TextCall& c, BRUSHOBJ* brush, bool text_brush, const RECTL* rects, std::size_t n,
                   bool until_empty) {
  PdlWriter* w = c.w;
  int r = PdlWriter_SetRasterOp(w, 1, static_cast<DWORD>(c.mix & 0xFF));
  const ULONG rgb = brush->iSolidColor == 0xFFFFFFFF ? 0 : brush->iSolidColor & 0xFFFFFF;
  BYTE space;
  DWORD packed;
  if ((text_brush ? ConvertTextColour(c.pdev, rgb, &space, &packed) : ConvertSolidColour(c.pdev, rgb, &space, &packed)) != 0)
    return -1;
  r |= write_colour(w, space, packed);
  r |= PdlWriter_SetFillRule(w, 1);
  r |= PdlWriter_SetPaintMode(w, 2);
  for (std::size_t i = 0; i < n; ++i) {
    const RECTL& q = rects[i];
    if (until_empty && q.left == 0 && q.top == 0 && q.right == 0 && q.bottom == 0) break;
    r |= PdlWriter_Rectangle(w, q);
  }
  return r ? -1 : 0;
}

}  // namespace

BOOL TextOutImpl(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra, RECTL* prclOpaque,
                 BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL*, MIX mix) {
  if (!pso || !pstro || !pfo || !pboFore) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  PDEV* pdev = PdevOf(pso);
  if (!IsValidPdev(pdev)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (pdev->flags & kPdevDocFailed) return FALSE;
  if (pdev->device_class_flag && PdevGetNumber(pdev, 381) == 1) return TRUE;
  if (EnsurePageStarted(pdev) != 0 || FlushQueuedImages(pdev, FALSE) != 0 || !pdev->writer) return FALSE;
  if (!ApplyClip(pdev, pco, &pstro->rclBkGround)) return FALSE;
  TextCall c{pdev, pdev->writer, pfo, pstro, FONTOBJ_pifi(pfo), pboFore, mix, is_device(pfo),
             PdevGetNumber(pdev, 17)};
  if (prclOpaque && pboOpaque && FillRectangles(c, pboOpaque, false, prclOpaque, 1, false) != 0) return FALSE;
  if (PdlWriter_SetPaintMode(c.w, 2) != 0 || SetTextColour(c) != 0) return FALSE;
  if (pstro->pgp) {
    std::vector<GLYPHPOS> glyphs(pstro->pgp, pstro->pgp + pstro->cGlyphs);
    if (SplitGlyphRun(c, glyphs.size(), glyphs.data(), pstro->pwszOrg) != 0) return FALSE;
  } else {
    STROBJ_vEnumStart(pstro);
    std::size_t done = 0;
    BOOL more;
    do {
      ULONG n = 0;
      GLYPHPOS* batch = nullptr;
      more = STROBJ_bEnum(pstro, &n, &batch);
      if (more == static_cast<BOOL>(DDI_ERROR)) return FALSE;
      std::vector<GLYPHPOS> glyphs(batch, batch + n);
      if (SplitGlyphRun(c, n, glyphs.data(), pstro->pwszOrg ? pstro->pwszOrg + done : nullptr) != 0) return FALSE;
      done += n;
    } while (more);
  }
  if (prclExtra) {
    std::size_t n = 0;
    while (prclExtra[n].left || prclExtra[n].top || prclExtra[n].right || prclExtra[n].bottom) ++n;
    if (n && FillRectangles(c, pboFore, true, prclExtra, n, true) != 0) return FALSE;
  }
  return TRUE;
}

}  // namespace morva::gfx
