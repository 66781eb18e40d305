#include "render/pdl_writer.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "render/pdl_operators.h"
#include "win/memory.h"
#include "win/codepage.h"

namespace morva::gfx {

using namespace morva::render;

namespace {

constexpr DWORD kShortAddressVersion = 0x1010801;

bool cached(const PdlWriter* w) { return w->cache.enabled != 0; }

// Reals are compared by value; a cache switched off never matches.
template <typename T>
bool same(const PdlWriter* w, const T& a, const T& b) {
  return cached(w) && a == b;
}

bool fix_fits(POINTFIX p) {
  const PdlPoint q{p.x, p.y};
  return Pdl_FixPointsFitWords(&q, 1) != 0;
}

}  // namespace

void GraphicsStateCache_Reset(GraphicsStateCache* c) {
  std::memset(c->matrix, 0, sizeof c->matrix);
  c->line_width = 0;
  c->line_join = -1;
  c->line_cap = -1;
  c->miter_limit = -1.0f;
  c->flag_ai = -1;
  c->fill_rule = 0;
  c->paint_mode = 0;
  c->rop_kind = 0;
  c->rop_code = 0;
  c->colour_target = c->colour_space = 0;
  c->colour = 0xFFFFFFFF;
  c->dash_kind = 255;
  c->ff[0] = c->ff[1] = -1;
  c->palette_entries = 0;
  c->palette_format = 0;
  c->palette_bytes = 0;
  GraphicsStateCache_ForgetPattern(c);
}

void GraphicsStateCache_ResetPageLevel(GraphicsStateCache* c) {
  c->fa_quality = c->fa_other = 0;
  c->font_code = 0;
  std::memset(c->text_matrix, 0, sizeof c->text_matrix);
  c->fh[0] = c->fh[1] = -1;
}

PdlWriter* PdlWriter_Create(PdlSink* sink, DWORD pdl_version, DWORD glyph_download_off, DWORD capacity) {
  auto* w = static_cast<PdlWriter*>(GlobalAlloc(GPTR, sizeof(PdlWriter)));
  if (!w) return nullptr;
  w->first_mode = 1;
  w->page_forget = 1;
  w->sink = sink;
  w->pdl_version = pdl_version;
  w->short_address = pdl_version >= kShortAddressVersion ? 1 : 0;
  w->glyph_download_off = glyph_download_off ? 1 : 0;
  w->glyph_capacity = w->glyph_download_off ? 0 : capacity;
  w->cache.enabled = 1;
  GraphicsStateCache_Reset(&w->cache);
  GraphicsStateCache_ResetPageLevel(&w->cache);
  if (PdlWriter_OpenGlyphCache(w, w->glyph_capacity) != 0) {
    GlobalFree(w);
    return nullptr;
  }
  return w;
}

void PdlWriter_Destroy(PdlWriter* w) {
  if (!w) return;
  PdlWriter_CloseGlyphCache(w);
  GraphicsStateCache_ForgetPattern(&w->cache);
  GlobalFree(w);
}

void PdlWriter_SetPdlVersion(PdlWriter* w, DWORD pdl_version) {
  if (!w) return;
  w->pdl_version = pdl_version;
  w->short_address = pdl_version >= kShortAddressVersion ? 1 : 0;
}

void PdlWriter_SetMode(PdlWriter* w, DWORD first, DWORD page_forget) {
  w->first_mode = first;
  w->page_forget = page_forget;
}

int PdlWriter_ResetForPage(PdlWriter* w) {
  if (!w) return -1;
  if (w->page_forget == 1) {
    if (w->glyph_cache_open) {
      PdlWriter_CloseGlyphCache(w);
      if (PdlWriter_OpenGlyphCache(w, w->glyph_capacity) != 0) return -1;
    }
    GraphicsStateCache_ResetPageLevel(&w->cache);
  }
  GraphicsStateCache_Reset(&w->cache);
  w->has_point = 0;
  return 0;
}

DWORD PdlWriter_EnableCache(PdlWriter* w, DWORD on) {
  DWORD old = w->cache.enabled;
  w->cache.enabled = on;
  return old;
}

int PdlWriter_SetMatrix(PdlWriter* w, const float m[6]) {
  if (cached(w) && std::memcmp(w->cache.matrix, m, sizeof w->cache.matrix) == 0) return 0;
  if (Pdl_OpMatrix(w->sink, m) != 0) return -1;
  std::memcpy(w->cache.matrix, m, sizeof w->cache.matrix);
  return 0;
}

int PdlWriter_SetLineWidth(PdlWriter* w, float width) {
  if (same(w, w->cache.line_width, width)) return 0;
  int r = Pdl_RealsFitWords(&width, 1) ? Pdl_OpLineWidth(w->sink, static_cast<LONG>(width))
                                        : Pdl_OpLineWidthReal(w->sink, width);
  if (r == 0) w->cache.line_width = width;
  return r;
}

int PdlWriter_SetMiterLimit(PdlWriter* w, float limit) {
  if (same(w, w->cache.miter_limit, limit)) return 0;
  bool whole = limit == std::floor(limit) && limit >= -128.0f && limit <= 127.0f;
  int r = whole ? Pdl_OpMiterLimit(w->sink, static_cast<LONG>(limit)) : Pdl_OpMiterLimitReal(w->sink, limit);
  if (r == 0) w->cache.miter_limit = limit;
  return r;
}

namespace {
// A one-byte page-state operator, left out while the cache holds its value.
template <class Slot>
int put_cached_byte(PdlWriter* w, Slot& slot, BYTE value, int (*op)(PdlSink*, BYTE)) {
  if (same(w, slot, static_cast<Slot>(value))) return 0;
  if (op(w->sink, value) != 0) return -1;
  slot = value;
  return 0;
}
}  // namespace

int PdlWriter_SetLineCap(PdlWriter* w, BYTE cap) { return put_cached_byte(w, w->cache.line_cap, cap, Pdl_OpLineCap); }
int PdlWriter_SetLineJoin(PdlWriter* w, BYTE join) {
  return put_cached_byte(w, w->cache.line_join, join, Pdl_OpLineJoin);
}
int PdlWriter_SetFillRule(PdlWriter* w, BYTE rule) {
  return put_cached_byte(w, w->cache.fill_rule, rule, Pdl_OpFillRule);
}
int PdlWriter_SetPaintMode(PdlWriter* w, BYTE mode) {
  return put_cached_byte(w, w->cache.paint_mode, mode, Pdl_OpPaintMode);
}

int PdlWriter_SetRasterOp(PdlWriter* w, BYTE kind, DWORD code) {
  if (cached(w) && w->cache.rop_kind == kind && w->cache.rop_code == code) return 0;
  if (Pdl_OpRasterOp(w->sink, kind, code) != 0) return -1;
  w->cache.rop_kind = kind;
  w->cache.rop_code = code;
  // The printer derives the drawing colour anew after a raster operation.
  w->cache.colour = 0xFFFFFFFF;
  return 0;
}

int PdlWriter_SetColour(PdlWriter* w, BYTE target, BYTE space, const BYTE* colour) {
  DWORD packed = Pdl_PackColour(colour, space);
  if (cached(w) && w->cache.colour_target == target && w->cache.colour_space == space && w->cache.colour == packed)
    return 0;
  if (Pdl_OpSetColour(w->sink, target, space, packed) != 0) return -1;
  w->cache.colour_target = target;
  w->cache.colour_space = space;
  w->cache.colour = packed;
  GraphicsStateCache_ForgetPattern(&w->cache);
  return 0;
}

int PdlWriter_SetDash(PdlWriter* w, BYTE kind, float offset, std::size_t n, const float* lengths) {
  if (kind != 6) {
    if (same(w, w->cache.dash_kind, kind)) return 0;
    if (Pdl_OpDash(w->sink, kind, 0, 0, nullptr) != 0) return -1;
    w->cache.dash_kind = kind;
    return 0;
  }
  int r;
  bool words = Pdl_RealsFitWords(&offset, 1) && Pdl_RealsFitWords(lengths, n);
  if (words) {
    std::vector<LONG> ints(n);
    for (std::size_t i = 0; i < n; ++i) ints[i] = static_cast<LONG>(lengths[i]);
    r = Pdl_OpDash(w->sink, 6, static_cast<LONG>(offset), n, ints.data());
  } else {
    r = Pdl_OpDashReal(w->sink, 6, offset, n, lengths);
  }
  w->cache.dash_kind = 255;
  return r;
}

int PdlWriter_SetFA(PdlWriter* w, BYTE selector, WORD value) {
  WORD& slot = selector == 1 ? w->cache.fa_quality : w->cache.fa_other;
  if (same(w, slot, value)) return 0;
  if (Pdl_OpSetValue(w->sink, selector, value) != 0) return -1;
  slot = value;
  return 0;
}

int PdlWriter_ResetClip(PdlWriter* w) { return Pdl_OpResetClip(w->sink); }
int PdlWriter_ClipToPath(PdlWriter* w) { return Pdl_OpClipToPath(w->sink); }

int PdlWriter_SetClipRect(PdlWriter* w, const RECTL& r) {
  const PdlRect rect{r.left, r.top, r.right, r.bottom};
  if (Pdl_RectFitsWords(rect)) return Pdl_OpClipRect(w->sink, rect);
  const float f[4] = {static_cast<float>(r.left), static_cast<float>(r.top), static_cast<float>(r.right),
                      static_cast<float>(r.bottom)};
  return Pdl_OpClipRectReal(w->sink, f);
}

int PdlWriter_NewPath(PdlWriter* w) { return Pdl_OpNewPath(w->sink); }

int PdlWriter_CloseSubpath(PdlWriter* w) {
  w->has_point = 0;
  return Pdl_OpCloseSubpath(w->sink);
}

int PdlWriter_PaintPath(PdlWriter* w) {
  w->has_point = 0;
  return Pdl_OpPaintPath(w->sink);
}

int PdlWriter_MoveTo(PdlWriter* w, POINTFIX p) {
  w->has_point = 0;
  if (fix_fits(p)) {
    LONG x = p.x >> 4, y = p.y >> 4;
    if (Pdl_OpMoveTo(w->sink, x, y) != 0) return -1;
    w->has_point = 1;
    w->point_x = x;
    w->point_y = y;
    return 0;
  }
  return Pdl_OpMoveToReal(w->sink, p.x * 0.0625f, p.y * 0.0625f);
}

int PdlWriter_LineTo(PdlWriter* w, std::size_t n, const POINTFIX* points) {
  if (n == 0) return 0;
  std::vector<PdlPoint> fix(n);
  for (std::size_t i = 0; i < n; ++i) fix[i] = {points[i].x, points[i].y};
  if (Pdl_FixPointsFitWords(fix.data(), n)) {
    std::vector<PdlPoint> whole(n);
    Pdl_FixToWhole(whole.data(), n, fix.data());
    const PdlPoint current{w->point_x, w->point_y};
    int r = w->has_point && Pdl_DeltasFitWords(n, current, whole.data())
                ? Pdl_OpLineToRelative(w->sink, current, n, whole.data())
                : Pdl_OpLineTo(w->sink, n, whole.data());
    if (r != 0) {
      w->has_point = 0;
      return -1;
    }
    w->has_point = 1;
    w->point_x = whole[n - 1].x;
    w->point_y = whole[n - 1].y;
    return 0;
  }
  std::vector<PdlPointF> reals(n);
  for (std::size_t i = 0; i < n; ++i) reals[i] = {points[i].x * 0.0625f, points[i].y * 0.0625f};
  w->has_point = 0;
  return Pdl_OpLineToReal(w->sink, n, reals.data());
}

int PdlWriter_CurveTo(PdlWriter* w, std::size_t segments, const POINTFIX* points) {
  std::size_t n = segments * 3;
  if (n == 0) return 0;
  std::vector<PdlPoint> fix(n);
  for (std::size_t i = 0; i < n; ++i) fix[i] = {points[i].x, points[i].y};
  if (Pdl_FixPointsFitWords(fix.data(), n)) {
    std::vector<PdlPoint> whole(n);
    Pdl_FixToWhole(whole.data(), n, fix.data());
    if (Pdl_OpCurveTo(w->sink, segments, whole.data()) != 0) {
      w->has_point = 0;
      return -1;
    }
    w->has_point = 1;
    w->point_x = whole[n - 1].x;
    w->point_y = whole[n - 1].y;
    return 0;
  }
  std::vector<PdlPointF> reals(n);
  for (std::size_t i = 0; i < n; ++i) reals[i] = {points[i].x * 0.0625f, points[i].y * 0.0625f};
  w->has_point = 0;
  return Pdl_OpCurveToReal(w->sink, segments, reals.data());
}

int PdlWriter_RectangleFix(PdlWriter* w, const RECTFX& r) {
  const PdlRect fix{r.xLeft, r.yTop, r.xRight, r.yBottom};
  if (Pdl_FixRectFitsWords(fix))
    return Pdl_OpRectangle(w->sink, {r.xLeft >> 4, r.yTop >> 4, r.xRight >> 4, r.yBottom >> 4});
  const float f[4] = {r.xLeft * 0.0625f, r.yTop * 0.0625f, r.xRight * 0.0625f, r.yBottom * 0.0625f};
  return Pdl_OpRectangleReal(w->sink, f);
}

int PdlWriter_Rectangle(PdlWriter* w, const RECTL& r) {
  const PdlRect rect{r.left, r.top, r.right, r.bottom};
  if (Pdl_RectFitsWords(rect)) return Pdl_OpRectangle(w->sink, rect);
  const float f[4] = {static_cast<float>(r.left), static_cast<float>(r.top), static_cast<float>(r.right),
                      static_cast<float>(r.bottom)};
  return Pdl_OpRectangleReal(w->sink, f);
}

int PdlWriter_Ellipse(PdlWriter* w, const float e[6]) { return Pdl_OpEllipse(w->sink, e); }

int PdlWriter_BeginPage(PdlWriter* w, BYTE colour, BYTE source, BYTE size_code, float width, float height) {
  const float size[2] = {width, height};
  return Pdl_OpBeginPage(w->sink, colour, source, size_code, size);
}
int PdlWriter_EndPage(PdlWriter* w) { return Pdl_OpEndPage(w->sink); }
int PdlWriter_PutEA(PdlWriter* w, BYTE p, BYTE q, BYTE r) {
  return Pdl_OpJobMode(w->sink, static_cast<BYTE>((p << 6) | (q << 4) | r));
}
int PdlWriter_PutEB(PdlWriter* w) { return Pdl_OpJobEnd(w->sink); }
int PdlWriter_PutFB(PdlWriter* w) { return Pdl_OpSheetEnd(w->sink); }
int PdlWriter_SetOrientation(PdlWriter* w, int type) { return Pdl_OpOrientation(w->sink, type); }

namespace {
// Text in the ANSI code page, measured up to its first NUL; a text that
// cannot be converted goes out empty.
std::vector<char> to_ansi(std::size_t n, const WCHAR* text) {
  int bytes = text && n ? WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(n), nullptr, 0, nullptr, nullptr) : 0;
  std::vector<char> out(static_cast<std::size_t>(bytes > 0 ? bytes : 0) + 1, 0);
  if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(n), out.data(), bytes, nullptr, nullptr);
  return out;
}
}  // namespace

int PdlWriter_PutTextEE(PdlWriter* w, std::size_t n, const WCHAR* text) {
  auto a = to_ansi(n, text);
  return Pdl_OpStoreName(w->sink, a.data(), std::strlen(a.data()));
}

int PdlWriter_PutTextEH(PdlWriter* w, std::size_t n, const WCHAR* text) {
  auto a = to_ansi(n, text);
  return Pdl_OpAnnotation(w->sink, a.data(), std::strlen(a.data()));
}

int PdlWriter_PutTextEg(PdlWriter* w, std::size_t n, const WCHAR* text, const float m[6], BYTE kind, BYTE sub,
                        float width_tenths, float height_tenths) {
  auto a = to_ansi(n, text);
  return Pdl_OpTextWithMatrix(w->sink, a.data(), std::strlen(a.data()), m, kind, sub, width_tenths, height_tenths);
}

int PdlWriter_PutComment(PdlWriter* w, BYTE length, const char* text) {
  return Pdl_OpComment(w->sink, text, length);
}

int PdlWriter_WriteText(PdlWriter* w, std::size_t n, const char* text) { return Pdl_PutText(w->sink, text, n); }

}  // namespace morva::gfx
