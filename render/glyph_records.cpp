// Glyph records and the operator layer's text and glyph calls: the glyph
// cache it owns, downloads and draws by address, inline glyphs, device
// font selection and text runs.
#include "render/glyph_records.h"

#include <cmath>
#include <cstring>

#include "render/glyph_cache.h"
#include "render/pdl_operators.h"
#include "win/ddi_engine.h"

namespace morva::gfx {

using namespace morva::render;

namespace {

constexpr DWORD kBitmapHeader = 0x400000;
constexpr DWORD kBitmapSizeMask = 0x3FFFFF;
constexpr DWORD kOutlineSizeMask = 0x3FFFF;
constexpr DWORD kOutlineReals = 0x200000;
constexpr DWORD kOutlineThin = 0x1000000;
constexpr DWORD kOutlineBoldBounds = 0x38000000;
constexpr DWORD kBitmapCompressed = 0x2000000;
// The em box's commands: a move and a close, twice.
constexpr BYTE kEmBoxCommands = 0x15;

}  // namespace

DWORD BitmapGlyphSize(std::size_t bitmap_bytes) { return static_cast<DWORD>((bitmap_bytes + 21) & ~std::size_t{3}); }

DWORD OutlineGlyphSize(std::size_t points, std::size_t coordinate_bytes, std::size_t commands) {
  return static_cast<DWORD>((points * coordinate_bytes + (commands + 1) / 2 + 11) & ~std::size_t{3});
}

bool GetBitmapGlyph(FONTOBJ* pfo, HGLYPH hg, GlyphRecord* out) {
  GLYPHDATA* gd = nullptr;
  HGLYPH one = hg;
  if (FONTOBJ_cGetGlyphs(pfo, FO_GLYPHBITS, 1, &one, reinterpret_cast<PVOID*>(&gd)) != 1 || !gd || !gd->gdf.pgb)
    return false;
  const GLYPHBITS* gb = gd->gdf.pgb;
  const LONG width = gb->sizlBitmap.cx, height = gb->sizlBitmap.cy;
  const LONG row = (width + 7) / 8;
  if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF || row > 0xFF) return false;
  const std::size_t bytes = static_cast<std::size_t>(row) * static_cast<std::size_t>(height);
  if (BitmapGlyphSize(bytes) > kBitmapSizeMask) return false;
  *out = GlyphRecord{};
  out->origin_x = static_cast<float>(gb->ptlOrigin.x);
  out->origin_y = static_cast<float>(gb->ptlOrigin.y);
  out->width = static_cast<WORD>(width);
  out->height = static_cast<WORD>(height);
  out->row_bytes = static_cast<BYTE>(row);
  out->bits.assign(gb->aj, gb->aj + bytes);
  out->size = BitmapGlyphSize(bytes);
  return true;
}

bool PathToGlyphCommands(PATHOBJ* ppo, std::vector<POINTFIX>* points, std::vector<BYTE>* commands) {
  points->clear();
  commands->clear();
  PATHOBJ_vEnumStart(ppo);
  PATHDATA pd{};
  BOOL more;
  do {
    more = PATHOBJ_bEnum(ppo, &pd);
    if (more == static_cast<BOOL>(DDI_ERROR)) return false;
    ULONG i = 0;
    if (pd.flags & PD_BEGINSUBPATH) {
      if (pd.count == 0) return false;
      points->push_back(pd.pptfx[0]);
      commands->push_back(kGlyphCmdStart);
      i = 1;
    }
    const ULONG rest = pd.count - i;
    if (pd.flags & PD_BEZIERS) {
      if (rest % 3) return false;
      for (ULONG k = 0; k < rest / 3; ++k) commands->push_back(kGlyphCmdCurve);
    } else {
      for (ULONG k = 0; k < rest; ++k) commands->push_back(kGlyphCmdLine);
    }
    points->insert(points->end(), pd.pptfx + i, pd.pptfx + pd.count);
    if ((pd.flags & PD_ENDSUBPATH) && (pd.flags & PD_CLOSEFIGURE)) commands->push_back(kGlyphCmdClose);
  } while (more);
  commands->push_back(kGlyphCmdEnd);
  return true;
}

bool OutlineGlyphFromPath(PATHOBJ* ppo, const OutlineOptions& how, GlyphRecord* out) {
  *out = GlyphRecord{};
  out->outline = true;
  if (!PathToGlyphCommands(ppo, &out->points, &out->commands)) return false;
  out->thin = how.thin_points != 0 && out->points.size() >= how.thin_points;
  if (how.bold_bounds) {
    // Older systems widen a simulated-bold glyph from its bounds, put
    // first as a figure of its own, with the em height as the second point.
    RECTFX bounds{};
    PATHOBJ_vGetBounds(ppo, &bounds);
    const FIX em = static_cast<FIX>(std::lround(how.em_points * 16.0f));
    out->points.insert(out->points.begin(), {POINTFIX{bounds.xLeft, bounds.yTop}, POINTFIX{em, em}});
    out->commands.insert(out->commands.begin(), {kGlyphCmdStart, kGlyphCmdClose, kGlyphCmdStart, kGlyphCmdClose});
    out->bold_bounds = true;
  }
  bool reals = how.reals || how.em_box;
  // Word coordinates are 1/64 pixel: a glyph that does not fit goes as reals.
  if (!reals)
    for (const POINTFIX& p : out->points)
      if (std::abs(static_cast<long>(p.x) * 4) > 32767 || std::abs(static_cast<long>(p.y) * 4) > 32767) reals = true;
  out->reals = reals;
  // The em box counts as two points and four commands.
  const std::size_t extra_points = how.em_box ? 2 : 0, extra_commands = how.em_box ? 4 : 0;
  if (how.em_box) out->em_box = how.em_points;
  const std::size_t points = out->points.size() + extra_points, commands = out->commands.size() + extra_commands;
  if (points > 0xFFFF || commands > 0xFFFF) return false;
  out->size = OutlineGlyphSize(points, reals ? 8 : 4, commands);
  return out->size <= kOutlineSizeMask;
}

bool GetOutlineGlyph(FONTOBJ* pfo, HGLYPH hg, const OutlineOptions& how, GlyphRecord* out) {
  GLYPHDATA* gd = nullptr;
  HGLYPH one = hg;
  if (FONTOBJ_cGetGlyphs(pfo, FO_PATHOBJ, 1, &one, reinterpret_cast<PVOID*>(&gd)) != 1 || !gd || !gd->gdf.ppo)
    return false;
  return OutlineGlyphFromPath(gd->gdf.ppo, how, out);
}

bool CompressGlyphBits(const render::CompressPlugin* plugin, GlyphRecord* r) {
  if (!plugin || r->outline || r->bits.empty()) return false;
  const INT rows = r->height, width = r->width, row_bytes = r->row_bytes;
  DWORD size = 0;
  bool used = false;
  if (render::CompressPlugin_Init(plugin, 2, width, rows, row_bytes) == 0 &&
      render::CompressPlugin_Compress(plugin, r->bits.data(), rows, &size) == 0 && size > 0 && size <= r->bits.size()) {
    std::vector<BYTE> coded(size);
    if (render::CompressPlugin_Get(plugin, coded.data()) == 0) {
      r->bits = std::move(coded);
      r->compressed = true;
      r->size = BitmapGlyphSize(r->bits.size());
      used = true;
    }
  }
  render::CompressPlugin_Finish(plugin);
  return used;
}

int WriteGlyphRecord(PdlWriter* w, const GlyphRecord& r) {
  int rc = 0;
  if (!r.outline) {
    const DWORD header = kBitmapHeader | (r.compressed ? kBitmapCompressed : 0) | r.size;
    const BYTE one = 1;
    rc |= PdlWriter_PutGlyphValue(w, 14, &header, 4);
    rc |= PdlWriter_PutGlyphValue(w, 3, &r.origin_x, 4);
    rc |= PdlWriter_PutGlyphValue(w, 3, &r.origin_y, 4);
    rc |= PdlWriter_PutGlyphValue(w, 4, &r.height, 2);
    rc |= PdlWriter_PutGlyphValue(w, 5, &r.width, 2);
    rc |= PdlWriter_PutGlyphValue(w, 6, &r.row_bytes, 1);
    rc |= PdlWriter_PutGlyphValue(w, 7, &one, 1);
    if (!r.bits.empty()) rc |= PdlWriter_PutGlyphValue(w, 8, r.bits.data(), r.bits.size());
    const std::size_t pad = r.size - r.bits.size() - 18;
    if (pad) {
      std::vector<BYTE> fill(pad, 0x11);
      rc |= PdlWriter_PutGlyphValue(w, 8, fill.data(), pad);
    }
    return rc ? -1 : 0;
  }
  const DWORD header = r.size | (r.reals ? kOutlineReals : 0) | (r.thin ? kOutlineThin : 0) |
                       (r.bold_bounds ? kOutlineBoldBounds : 0);
  const bool em_box = r.em_box != 0;
  const WORD points = static_cast<WORD>(r.points.size() + (em_box ? 2 : 0));
  const WORD commands = static_cast<WORD>(r.commands.size() + (em_box ? 4 : 0));
  rc |= PdlWriter_PutGlyphValue(w, 14, &header, 4);
  rc |= PdlWriter_PutGlyphValue(w, 9, &points, 2);
  rc |= PdlWriter_PutGlyphValue(w, 10, &commands, 2);
  if (em_box)
    for (int i = 0; i < 4; ++i) rc |= PdlWriter_PutGlyphValue(w, 11, &r.em_box, 4);
  for (const POINTFIX& p : r.points) {
    if (r.reals) {
      const float x = static_cast<float>(p.x) / 16.0f, y = static_cast<float>(p.y) / 16.0f;
      rc |= PdlWriter_PutGlyphValue(w, 11, &x, 4);
      rc |= PdlWriter_PutGlyphValue(w, 11, &y, 4);
    } else {
      const WORD x = static_cast<WORD>(p.x * 4), y = static_cast<WORD>(p.y * 4);
      rc |= PdlWriter_PutGlyphValue(w, 13, &x, 2);
      rc |= PdlWriter_PutGlyphValue(w, 13, &y, 2);
    }
  }
  if (em_box)
    for (int i = 0; i < 2; ++i) rc |= PdlWriter_PutGlyphValue(w, 12, &kEmBoxCommands, 1);
  for (std::size_t i = 0; i < r.commands.size(); i += 2) {
    const BYTE b = static_cast<BYTE>((r.commands[i] << 4) | (i + 1 < r.commands.size() ? r.commands[i + 1] : 0));
    rc |= PdlWriter_PutGlyphValue(w, 12, &b, 1);
  }
  const std::size_t used = std::size_t{points} * (r.reals ? 8 : 4) + (std::size_t{commands} + 1) / 2 + 8;
  if (r.size > used) {
    std::vector<BYTE> fill(r.size - used, 0x22);
    rc |= PdlWriter_PutGlyphValue(w, 8, fill.data(), fill.size());
  }
  return rc ? -1 : 0;
}

// ---- the operator layer's glyph cache and text calls ---------------------------

int PdlWriter_OpenGlyphCache(PdlWriter* w, DWORD capacity) {
  if (!w) return -1;
  w->glyph_cache_open = 0;
  if (capacity == 0) return 0;
  GlyphCache* cache = nullptr;
  if (CreateDownloadCache(&cache, capacity) != kCacheOk) return -1;
  w->glyph_cache = cache;
  w->glyph_cache_open = 1;
  return 0;
}

void PdlWriter_CloseGlyphCache(PdlWriter* w) {
  if (!w) return;
  if (w->glyph_cache) DestroyDownloadCache(w->glyph_cache);
  w->glyph_cache = nullptr;
  w->glyph_cache_open = 0;
}

int PdlWriter_ResetGlyphCache(PdlWriter* w) {
  if (!w || !w->glyph_cache_open) return 0;
  PdlWriter_CloseGlyphCache(w);
  return PdlWriter_OpenGlyphCache(w, w->glyph_capacity);
}

BOOL PdlWriter_HasGlyphCache(const PdlWriter* w) { return w && w->glyph_cache_open && w->glyph_cache; }

LONG PdlWriter_FindGlyph(PdlWriter* w, WORD code, WORD font_id, BYTE kind) {
  DWORD address = 0;
  if (!PdlWriter_HasGlyphCache(w) || LookupDownloadCache(w->glyph_cache, code, font_id, kind, &address) != kCacheOk)
    return -1;
  return static_cast<LONG>(address);
}

LONG PdlWriter_AllocGlyph(PdlWriter* w, WORD code, WORD font_id, BYTE kind, DWORD bytes, int commit) {
  DWORD address = 0, flag = 0;
  if (!PdlWriter_HasGlyphCache(w) ||
      AllocateDownloadCache(w->glyph_cache, code, font_id, kind, &address, &flag, bytes, commit) != kCacheOk)
    return -1;
  return static_cast<LONG>(address);
}

int PdlWriter_DownloadAt(PdlWriter* w, DWORD address) {
  if (w->short_address) return Pdl_OpDownloadGlyphShort(w->sink, address);
  return Pdl_OpDownloadGlyph(w->sink, address);
}

int PdlWriter_DrawCachedGlyph(PdlWriter* w, float x, float y, DWORD address) {
  const float xy[2] = {x, y};
  const bool words = Pdl_RealsFitWords(xy, 2) != 0;
  if (w->short_address) {
    if (address > kPdlMaxShortAddress) return -1;
    return words ? Pdl_OpDrawGlyphShort(w->sink, static_cast<LONG>(x), static_cast<LONG>(y), address)
                 : Pdl_OpDrawGlyphShortReal(w->sink, x, y, address);
  }
  return words ? Pdl_OpDrawGlyph(w->sink, static_cast<LONG>(x), static_cast<LONG>(y), address)
               : Pdl_OpDrawGlyphReal(w->sink, x, y, address);
}

int PdlWriter_DrawInlineGlyph(PdlWriter* w, float x, float y, WORD last) {
  const float xy[2] = {x, y};
  if (Pdl_RealsFitWords(xy, 2)) return Pdl_OpInlineGlyph(w->sink, static_cast<LONG>(x), static_cast<LONG>(y), 0, 0, last);
  return Pdl_OpInlineGlyphReal(w->sink, x, y, 0, 0, last);
}

int PdlWriter_DrawInlineGlyphArray(PdlWriter* w, float x, float y, BYTE flags, std::size_t n, const float* dx,
                                   const float* dy, WORD last) {
  const float xy[2] = {x, y};
  bool words = Pdl_RealsFitWords(xy, 2) && (!(flags & 1) || Pdl_RealsFitWords(dx, n)) &&
               (!(flags & 2) || Pdl_RealsFitWords(dy, n));
  if (!words) return Pdl_OpInlineGlyphArrayReal(w->sink, x, y, flags, n, dx, dy, last);
  std::vector<LONG> ix, iy;
  if (flags & 1) ix.assign(dx, dx + n);
  if (flags & 2) iy.assign(dy, dy + n);
  return Pdl_OpInlineGlyphArray(w->sink, static_cast<LONG>(x), static_cast<LONG>(y), flags, n, ix.data(), iy.data(),
                                last);
}

int PdlWriter_PutGlyphValue(PdlWriter* w, int type, const void* data, std::size_t n) {
  return Pdl_PutTypedValue(w->sink, type, data, n);
}

int PdlWriter_SelectDeviceFont(PdlWriter* w, WORD code) {
  if (w->cache.enabled && w->cache.font_code == code) return 0;
  if (Pdl_OpSelectFont(w->sink, code) != 0) return -1;
  w->cache.font_code = code;
  return 0;
}

int PdlWriter_SetTextMatrix(PdlWriter* w, const float m[6]) {
  if (w->cache.enabled && std::memcmp(w->cache.text_matrix, m, sizeof w->cache.text_matrix) == 0) return 0;
  if (Pdl_OpTextMatrix(w->sink, m) != 0) return -1;
  std::memcpy(w->cache.text_matrix, m, sizeof w->cache.text_matrix);
  return 0;
}

int PdlWriter_PutText(PdlWriter* w, int position_kind, POINTL position, std::size_t m, const WORD* codes,
                      int advance_kind, std::size_t n_advances, const float* advances) {
  return Pdl_OpText(w->sink, position_kind, {position.x, position.y}, m, codes, advance_kind, n_advances, advances);
}

}  // namespace morva::gfx
