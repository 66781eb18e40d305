// The operator layer's image and brush writers.
#include <cstring>

#include "render/pdl_writer.h"
#include "win/memory.h"

namespace morva::gfx {

namespace {

constexpr DWORD kPaletteOperatorVersion = 0x101FFFF;

bool word_origin(POINTL p) { return p.x >= -32768 && p.x <= 32767 && p.y >= -32768 && p.y <= 32767; }

void forget_colour(PdlWriter* w) { w->cache.colour = 0xFFFFFFFF; }

}  // namespace

void GraphicsStateCache_ForgetPattern(GraphicsStateCache* c) {
  if (c->pattern_data) GlobalFree(c->pattern_data);
  c->pattern_data = nullptr;
  c->pattern_bytes = 0;
}

int PdlWriter_BeginImage(PdlWriter* w, render::PdlImageHeader* h) {
  if (!w || !h) return -1;
  const bool indexed = h->source_kind == 2 && (h->format == 10 || h->format == 11);
  if (!indexed || w->pdl_version <= kPaletteOperatorVersion || h->palette_bytes > sizeof w->cache.palette)
    return render::Pdl_OpImage(w->sink, *h);
  GraphicsStateCache& c = w->cache;
  const bool same = c.enabled && c.palette_entries == h->entries && c.palette_format == h->format &&
                    c.palette_bytes == h->palette_bytes &&
                    std::memcmp(c.palette, h->palette, h->palette_bytes) == 0;
  if (!same) {
    if (render::Pdl_OpPalette(w->sink, h->format, h->entry_bits, h->entries, h->palette_bytes, h->palette) != 0)
      return -1;
    c.palette_entries = static_cast<WORD>(h->entries);
    c.palette_format = h->format;
    c.palette_bytes = static_cast<WORD>(h->palette_bytes);
    std::memcpy(c.palette, h->palette, h->palette_bytes);
  }
  const BYTE format = h->format;
  h->format = 15;
  int r = render::Pdl_OpImage(w->sink, *h);
  h->format = format;
  return r;
}

int PdlWriter_PutStencil(PdlWriter* w, float x, float y, std::size_t width, std::size_t height, BYTE polarity,
                         const float m[6], DWORD n) {
  return w ? render::Pdl_OpStencil(w->sink, x, y, width, height, polarity, m, n) : -1;
}

int PdlWriter_WriteData(PdlWriter* w, const void* bytes, std::size_t n) {
  if (!w || (n && !bytes)) return -1;
  return n ? render::Pdl_PutBytes(w->sink, bytes, n) : 0;
}

void PdlWriter_GetRasterOp(const PdlWriter* w, BYTE* kind, DWORD* code) {
  if (kind) *kind = w ? static_cast<BYTE>(w->cache.rop_kind) : 0;
  if (code) *code = w ? w->cache.rop_code : 0;
}

int PdlWriter_SetHatchBrush(PdlWriter* w, POINTL o, BYTE target, BYTE space, BYTE style, DWORD colour) {
  if (!w) return -1;
  int r = word_origin(o) ? render::Pdl_OpHatchBrush(w->sink, o.x, o.y, target, space, colour, style)
                         : render::Pdl_OpHatchBrushReal(w->sink, static_cast<float>(o.x), static_cast<float>(o.y),
                                                        target, space, colour, style);
  forget_colour(w);
  GraphicsStateCache_ForgetPattern(&w->cache);
  return r;
}

int PdlWriter_SetMaskBrush(PdlWriter* w, POINTL o, BYTE target, BYTE space, DWORD colour, std::size_t width,
                           std::size_t height, const BYTE* bits) {
  if (!w) return -1;
  int r = word_origin(o)
              ? render::Pdl_OpMaskBrush(w->sink, o.x, o.y, target, space, colour, width, height, bits)
              : render::Pdl_OpMaskBrushReal(w->sink, static_cast<float>(o.x), static_cast<float>(o.y), target, space,
                                            colour, width, height, bits);
  forget_colour(w);
  GraphicsStateCache_ForgetPattern(&w->cache);
  return r;
}

int PdlWriter_SetPatternBrush(PdlWriter* w, POINTL o, BYTE target, BYTE space, std::size_t width,
                              std::size_t height, DWORD n, const BYTE* data) {
  if (!w || (n && !data)) return -1;
  // The same pattern at the same place is not sent again.
  GraphicsStateCache& c = w->cache;
  if (c.enabled && c.pattern_data && c.pattern_x == o.x && c.pattern_y == o.y && c.pattern_target == target &&
      c.pattern_space == space && c.pattern_width == width && c.pattern_height == height && c.pattern_bytes == n &&
      std::memcmp(c.pattern_data, data, n) == 0)
    return 0;
  int r = render::Pdl_OpPatternBrush(w->sink, o.x, o.y, target, space, 8, width, height, 1, n, data);
  forget_colour(w);
  GraphicsStateCache_ForgetPattern(&c);
  if (r != 0) return r;
  // A pattern whose copy cannot be had is sent but not cached.
  if (auto* copy = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, n ? n : 1))) {
    if (n) std::memcpy(copy, data, n);
    c.pattern_data = copy;
    c.pattern_x = o.x;
    c.pattern_y = o.y;
    c.pattern_target = target;
    c.pattern_space = space;
    c.pattern_width = width;
    c.pattern_height = height;
    c.pattern_bytes = n;
  }
  return 0;
}

int PdlWriter_SetBrushBackground(PdlWriter* w, BYTE target, BYTE mode, BYTE space, DWORD colour) {
  if (!w) return -1;
  return render::Pdl_OpBrushBackground(w->sink, target, mode, space, colour);
}

}  // namespace morva::gfx
