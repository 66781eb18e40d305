// Blits: BitBlt, PatBlt, StretchBlt, MaskBlt, TransparentBlt and the DIB
// transfers to a DC, all through one ternary raster operation loop; and the
// brush patterns shared with the shape fills.
//
// Rules of the real platform kept here:
// - A ternary raster operation is evaluated bit by bit on the raw pixel
//   values of the destination's format (colour-table indices for 1 to 8
//   bits), with the source and the brush first converted to that format.
// - Monochrome device bitmap to colour: 0 bits take the destination DC's
//   text colour, 1 bits its background colour. Colour to monochrome:
//   pixels of the source DC's background colour become 1 (white), all
//   others 0. A monochrome pattern brush paints 0 bits in the text colour
//   and 1 bits in the background colour.
// - Hatch brushes paint their lines in the brush colour and the gaps in the
//   background colour; in shape fills a TRANSPARENT background mode leaves
//   the gaps alone. Patterns are aligned to the brush origin.
// - StretchBlt samples the source pixel under each destination pixel's
//   centre. When it shrinks, BLACKONWHITE ANDs and WHITEONBLACK ORs the
//   dropped pixels into the kept ones, COLORONCOLOR drops them, HALFTONE
//   averages them. A negative width or height on one side mirrors.
// - StretchDIBits and SetDIBitsToDevice count the source y of a bottom-up
//   DIB from its bottom row.
// - Source pixels outside the source bitmap are not drawn. A blit within
//   one bitmap reads the source as it was before the blit.
// - TransparentBlt leaves the destination where the source has the
//   transparent colour. MaskBlt uses the foreground operation where the
//   monochrome mask has 1 bits and the background operation where it has
//   0 bits.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "screen_gdi/gdi_internal.h"

namespace morva::platform::gdi {
namespace {

int pos_mod(int a, int m) {
  int r = a % m;
  return r < 0 ? r + m : r;
}

bool hatch_hit(int style, int x, int y) {
  switch (style) {
    case HS_HORIZONTAL: return y == 7;
    case HS_VERTICAL: return x == 7;
    case HS_FDIAGONAL: return x == y;
    case HS_BDIAGONAL: return x + y == 7;
    case HS_CROSS: return x == 7 || y == 7;
    case HS_DIAGCROSS: return x == y || x + y == 7;
    default: return false;
  }
}

// Converts source raw values to destination raw values by the rules above.
class SourceConv {
 public:
  SourceConv(const Dc& dest, const Bitmap& d, const BlitSource& src) : raw_(d) {
    const Bitmap& s = *src.bm;
    if (same_format(s, d) || (s.bpp == 1 && d.bpp == 1 && s.mono_ddb() == d.mono_ddb())) {
      mode_ = Mode::same;
    } else if (s.mono_ddb()) {
      mode_ = Mode::lut;
      lut_.push_back(d.raw_of(resolve(dest, dest.s.text)));
      lut_.push_back(d.raw_of(resolve(dest, dest.s.bk)));
    } else if (d.mono_ddb()) {
      mode_ = Mode::to_mono;
      bk_ = s.raw_of(src.bk);
    } else if (s.bpp <= 8) {
      mode_ = Mode::lut;
      for (const RGBQUAD& c : s.colours) lut_.push_back(d.raw_of(RGB(c.rgbRed, c.rgbGreen, c.rgbBlue)));
    } else {
      mode_ = Mode::colour;
      s_ = &s;
    }
  }
  std::uint32_t operator()(std::uint32_t v) {
    switch (mode_) {
      case Mode::same: return v;
      case Mode::lut: return v < lut_.size() ? lut_[v] : 0;
      case Mode::to_mono: return v == bk_ ? 1u : 0u;
      default: return raw_(s_->colour_of(v));
    }
  }

 private:
  enum class Mode { same, lut, to_mono, colour } mode_ = Mode::same;
  std::vector<std::uint32_t> lut_;
  std::uint32_t bk_ = 0;
  const Bitmap* s_ = nullptr;
  RawOf raw_;
};

// Nearest-pixel sampling: source index under each destination pixel's
// centre, mirrored when asked; -1 outside the source bitmap.
std::vector<int> sample_axis(int dst_len, int src_start, int src_len, bool mirror, int src_limit) {
  std::vector<int> out(static_cast<std::size_t>(dst_len));
  for (int i = 0; i < dst_len; ++i) {
    long long k = (static_cast<long long>(2 * i + 1) * src_len) / (2LL * dst_len);
    int s = src_start + static_cast<int>(mirror ? src_len - 1 - k : k);
    out[static_cast<std::size_t>(i)] = (s >= 0 && s < src_limit) ? s : -1;
  }
  return out;
}

// A rectangle from an origin and a signed size: normalised, with whether
// it was flipped.
struct Span {
  int start, len;
  bool flip;
};
Span norm(int start, int len) { return len < 0 ? Span{start + len, -len, true} : Span{start, len, false}; }

// The source rectangle (source bitmap pixels) squeezed or stretched to
// w x h by the BLACKONWHITE / WHITEONBLACK / HALFTONE rules, as a new
// bitmap; null when plain sampling will do (COLORONCOLOR, or no shrink for
// the AND / OR modes).
std::shared_ptr<Bitmap> stretch_source(const Bitmap& s, int sx, int sy, int sw, int sh, int w, int h, int mode) {
  bool shrink = sw > w || sh > h;
  if (mode == COLORONCOLOR || (!shrink && mode != HALFTONE) || (sw == w && sh == h)) return nullptr;
  // Clamp the source to the bitmap; the rest stays outside.
  int x0 = std::max(sx, 0), y0 = std::max(sy, 0), x1 = std::min(sx + sw, s.width), y1 = std::min(sy + sh, s.height);
  if (x0 >= x1 || y0 >= y1) return nullptr;
  if (mode == HALFTONE) {
    // pixman averages (box filter) when shrinking and interpolates when
    // enlarging.
    std::vector<std::uint32_t> in(static_cast<std::size_t>(sw) * sh, 0xFFFFFFFFu), out(static_cast<std::size_t>(w) * h);
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        COLORREF c = s.colour_of(s.get(x, y));
        in[static_cast<std::size_t>(y - sy) * sw + (x - sx)] =
            0xFF000000u | (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
      }
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, sw, sh, in.data(), sw * 4);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, out.data(), w * 4);
    pixman_transform_t tr;
    pixman_transform_init_scale(&tr, pixman_double_to_fixed(static_cast<double>(sw) / w),
                                pixman_double_to_fixed(static_cast<double>(sh) / h));
    pixman_image_set_transform(src, &tr);
    pixman_image_set_repeat(src, PIXMAN_REPEAT_PAD);
    if (shrink) {
      int n = 0;
      pixman_fixed_t* params = pixman_filter_create_separable_convolution(
          &n, pixman_double_to_fixed(std::max(1.0, static_cast<double>(sw) / w)),
          pixman_double_to_fixed(std::max(1.0, static_cast<double>(sh) / h)), PIXMAN_KERNEL_IMPULSE, PIXMAN_KERNEL_IMPULSE,
          PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, 4, 4);
      pixman_image_set_filter(src, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, n);
      free(params);
    } else {
      pixman_image_set_filter(src, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    }
    pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, w, h);
    pixman_image_unref(src);
    pixman_image_unref(dst);
    auto b = make_bitmap(w, h, 32, false, true, {});
    if (!b) return nullptr;
    for (int y = 0; y < h; ++y) std::memcpy(b->row(y), out.data() + static_cast<std::size_t>(y) * w, static_cast<std::size_t>(w) * 4);
    return b;
  }
  // AND / OR of every source pixel that falls on one destination pixel:
  // on raw bits for monochrome bitmaps, on colours otherwise.
  const bool and_mode = mode == BLACKONWHITE;
  auto b = s.mono_ddb() ? make_bitmap(w, h, 1, false, true, {}) : make_bitmap(w, h, 32, false, true, {});
  if (!b) return nullptr;
  for (int j = 0; j < h; ++j) {
    int ya = sy + static_cast<int>(static_cast<long long>(j) * sh / h);
    int yb = std::max(ya + 1, sy + static_cast<int>(static_cast<long long>(j + 1) * sh / h));
    for (int i = 0; i < w; ++i) {
      int xa = sx + static_cast<int>(static_cast<long long>(i) * sw / w);
      int xb = std::max(xa + 1, sx + static_cast<int>(static_cast<long long>(i + 1) * sw / w));
      std::uint32_t acc = and_mode ? 0xFFFFFFFFu : 0;
      for (int y = std::max(ya, y0); y < std::min(yb, y1); ++y)
        for (int x = std::max(xa, x0); x < std::min(xb, x1); ++x) {
          std::uint32_t v = s.mono_ddb() ? s.get(x, y) : s.colour_of(s.get(x, y));
          acc = and_mode ? (acc & v) : (acc | v);
        }
      b->put(i, j, s.mono_ddb() ? (acc & 1) : b->raw_of(acc & 0xFFFFFF));
    }
  }
  return b;
}

// Source and destination rectangles of a blit in device and bitmap pixels.
struct BlitPlan {
  RECT dest{};
  BlitSource src;
  std::shared_ptr<Bitmap> temp;  // the stretched source, when one was made
};

bool plan_blit(Dc& d, int x, int y, int w, int h, const Dc* s, const Bitmap* sbm, int sox, int soy, int sx, int sy,
               int sw, int sh, bool stretch, BlitPlan& plan) {
  Span dx = norm(x, w), dy = norm(y, h), ssx = norm(sx, sw), ssy = norm(sy, sh);
  plan.dest = RECT{dx.start, dy.start, dx.start + dx.len, dy.start + dy.len};
  if (!sbm) return true;
  plan.src.bm = sbm;
  if (s) {
    plan.src.text = resolve(*s, s->s.text);
    plan.src.bk = resolve(*s, s->s.bk);
  }
  int ssx0 = ssx.start + sox, ssy0 = ssy.start + soy;
  if (sbm == d.target()) {
    // Source and destination share a bitmap (scrolling): read from a copy,
    // so overlapping rectangles move as a whole.
    auto copy = make_bitmap(sbm->width, sbm->height, sbm->bpp, sbm->dib, true, sbm->colours);
    if (!copy) return false;
    std::memcpy(copy->masks, sbm->masks, sizeof(copy->masks));
    for (int row = 0; row < sbm->height; ++row) std::memcpy(copy->row(row), sbm->row(row), static_cast<std::size_t>(sbm->stride));
    plan.temp = copy;
    plan.src.bm = sbm = copy.get();
  }
  if (stretch && (ssx.len != dx.len || ssy.len != dy.len)) {
    auto stretched = stretch_source(*sbm, ssx0, ssy0, ssx.len, ssy.len, dx.len, dy.len, d.s.stretch);
    if (stretched) {
      plan.temp = stretched;
      plan.src.bm = stretched.get();
      ssx0 = ssy0 = 0;
      ssx.len = dx.len;
      ssy.len = dy.len;
    }
  }
  plan.src.xs = sample_axis(dx.len, ssx0, ssx.len, dx.flip != ssx.flip, plan.src.bm->width);
  plan.src.ys = sample_axis(dy.len, ssy0, ssy.len, dy.flip != ssy.flip, plan.src.bm->height);
  return true;
}

// The source device rectangle of a DC in its bitmap's pixels.
bool source_of(const Dc& s, int& x, int& y, int& w, int& h, int& ox, int& oy) {
  if (!s.target()) return false;
  POINT a = to_device(s.s, POINT{x, y}), b = to_device(s.s, POINT{x + w, y + h});
  x = a.x;
  y = a.y;
  w = b.x - a.x;
  h = b.y - a.y;
  ox = s.origin.x;
  oy = s.origin.y;
  return true;
}

// The destination rectangle of a DC in device pixels (signed sizes kept).
void dest_of(const Dc& d, int& x, int& y, int& w, int& h) {
  POINT a = to_device(d.s, POINT{x, y}), b = to_device(d.s, POINT{x + w, y + h});
  x = a.x;
  y = a.y;
  w = b.x - a.x;
  h = b.y - a.y;
}

BOOL stretch_blt(HDC hdest, INT x, INT y, INT w, INT h, HDC hsrc, INT sx, INT sy, INT sw, INT sh, DWORD rop,
                 bool stretch, const Bitmap* mask = nullptr, int mx = 0, int my = 0) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto d = find_dc(hdest);
  if (!d) return FALSE;
  BYTE fore = static_cast<BYTE>(rop >> 16), back = static_cast<BYTE>(rop >> 24);
  bool needs_src = rop_uses_source(fore) || (mask && rop_uses_source(back));
  std::shared_ptr<Dc> s;
  if (needs_src) {
    s = find_dc(hsrc);
    if (!s) return FALSE;
  }
  dest_of(*d, x, y, w, h);
  int sox = 0, soy = 0;
  if (s && !source_of(*s, sx, sy, sw, sh, sox, soy)) return FALSE;
  if (!stretch) {
    sw = w;
    sh = h;
  }
  if (w == 0 || h == 0 || (s && (sw == 0 || sh == 0))) return TRUE;
  BlitPlan plan;
  if (!plan_blit(*d, x, y, w, h, s.get(), s ? s->target() : nullptr, sox, soy, sx, sy, sw, sh, stretch, plan)) return FALSE;
  return rop_blit(*d, plan.dest, s ? &plan.src : nullptr, rop & 0x00FFFFFFu, mask, mx, my, back) ? TRUE : FALSE;
}

}  // namespace

BrushPaint::BrushPaint(const Dc& dc, const Brush* brush, const Bitmap& t, bool opaque) {
  org_ = dc.s.brush_org;
  if (!brush || brush->style == BS_NULL) {
    null_ = true;
    return;
  }
  style_ = brush->style;
  COLORREF colour = resolve(dc, brush->dc_brush ? dc.s.dc_brush : brush->colour);
  fore_ = t.raw_of(colour);
  if (style_ == BS_HATCHED) {
    hatch_ = brush->hatch;
    back_ = t.raw_of(resolve(dc, dc.s.bk));
    opaque_ = opaque || dc.s.bk_mode == OPAQUE;
  } else if (style_ == BS_PATTERN && brush->pattern) {
    const Bitmap& p = *brush->pattern;
    pw_ = p.width;
    ph_ = p.height;
    RawOf raw(t);
    std::uint32_t text = t.raw_of(resolve(dc, dc.s.text)), bk = t.raw_of(resolve(dc, dc.s.bk));
    pattern_.resize(static_cast<std::size_t>(pw_) * ph_);
    for (int y = 0; y < ph_; ++y)
      for (int x = 0; x < pw_; ++x) {
        std::uint32_t v = p.get(x, y);
        pattern_[static_cast<std::size_t>(y) * pw_ + x] = p.mono_ddb() ? (v ? bk : text) : raw(p.colour_of(v));
      }
  } else {
    style_ = BS_SOLID;
  }
}

bool BrushPaint::at(int x, int y, std::uint32_t& raw) const {
  if (null_) return false;
  if (style_ == BS_SOLID) {
    raw = fore_;
    return true;
  }
  if (style_ == BS_HATCHED) {
    if (hatch_hit(hatch_, pos_mod(x - org_.x, 8), pos_mod(y - org_.y, 8))) {
      raw = fore_;
      return true;
    }
    raw = back_;
    return opaque_;
  }
  raw = pattern_[static_cast<std::size_t>(pos_mod(y - org_.y, ph_)) * pw_ + pos_mod(x - org_.x, pw_)];
  return true;
}

void paint_area(Target& t, const Region& area, std::uint32_t raw, int code) {
  Region r = area;
  r.offset(t.ox, t.oy);
  r.intersect(t.clip);
  RECT box = r.box();
  const std::uint32_t vm = t.bm->value_mask();
  for (int y = box.top; y < box.bottom; ++y)
    r.spans(y, box.left, box.right, [&](int yy, int x0, int x1) {
      for (int x = x0; x < x1; ++x) t.bm->put(x, yy, rop2(code, raw, t.bm->get(x, yy)) & vm);
    });
}

void fill_area(const Dc& dc, Target& t, const Region& area, const Brush* brush) {
  BrushPaint bp(dc, brush, *t.bm);
  if (bp.null()) return;
  Region r = area;
  r.offset(t.ox, t.oy);
  r.intersect(t.clip);
  RECT box = r.box();
  const std::uint32_t vm = t.bm->value_mask();
  const int code = dc.s.rop2;
  for (int y = box.top; y < box.bottom; ++y)
    r.spans(y, box.left, box.right, [&](int yy, int x0, int x1) {
      for (int x = x0; x < x1; ++x) {
        std::uint32_t p;
        if (bp.at(x - t.ox, yy - t.oy, p)) t.bm->put(x, yy, rop2(code, p, t.bm->get(x, yy)) & vm);
      }
    });
}

bool rop_blit(Dc& dest, RECT r, const BlitSource* src, DWORD rop, const Bitmap* mask, int mask_x, int mask_y, BYTE back) {
  Target t;
  if (!target_of(dest, t)) return false;
  const BYTE fore = static_cast<BYTE>(rop >> 16);
  if (!mask) back = fore;
  const bool pat = rop_uses_pattern(fore) || rop_uses_pattern(back);
  BrushPaint bp(dest, dest.s.brush.get(), *t.bm, true);
  std::optional<SourceConv> conv;
  if (src) conv.emplace(dest, *t.bm, *src);
  Region area(RECT{r.left + t.ox, r.top + t.oy, r.right + t.ox, r.bottom + t.oy});
  area.intersect(t.clip);
  RECT box = area.box();
  const std::uint32_t vm = t.bm->value_mask();
  for (int y = box.top; y < box.bottom; ++y) {
    const int j = y - (r.top + t.oy);
    const int sy = src ? src->ys[static_cast<std::size_t>(j)] : 0;
    if (sy < 0) continue;
    area.spans(y, box.left, box.right, [&](int yy, int x0, int x1) {
      for (int x = x0; x < x1; ++x) {
        const int i = x - (r.left + t.ox);
        std::uint32_t s = 0, p = 0;
        if (src) {
          int sx = src->xs[static_cast<std::size_t>(i)];
          if (sx < 0) continue;
          s = (*conv)(src->bm->get(sx, sy));
        }
        if (pat && !bp.at(x - t.ox, yy - t.oy, p)) p = 0;  // a null brush patterns as 0
        BYTE code = fore;
        if (mask) {
          int mx = mask_x + i, my = mask_y + j;
          bool on = mx >= 0 && my >= 0 && mx < mask->width && my < mask->height && mask->get(mx, my) != 0;
          code = on ? fore : back;
        }
        t.bm->put(x, yy, rop3(code, p, s, t.bm->get(x, yy)) & vm);
      }
    });
  }
  return true;
}

}  // namespace morva::platform::gdi

using namespace morva::platform::gdi;

extern "C" {

BOOL BitBlt(HDC dest, INT x, INT y, INT w, INT h, HDC src, INT sx, INT sy, DWORD rop) {
  return stretch_blt(dest, x, y, w, h, src, sx, sy, w, h, rop, false);
}

BOOL PatBlt(HDC dc, INT x, INT y, INT w, INT h, DWORD rop) {
  if (rop_uses_source(static_cast<BYTE>(rop >> 16))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return stretch_blt(dc, x, y, w, h, nullptr, 0, 0, 0, 0, rop, false);
}

BOOL StretchBlt(HDC dest, INT x, INT y, INT w, INT h, HDC src, INT sx, INT sy, INT sw, INT sh, DWORD rop) {
  return stretch_blt(dest, x, y, w, h, src, sx, sy, sw, sh, rop, true);
}

BOOL MaskBlt(HDC dest, INT x, INT y, INT w, INT h, HDC src, INT sx, INT sy, HBITMAP hmask, INT mx, INT my, DWORD rop4) {
  if (!hmask) return stretch_blt(dest, x, y, w, h, src, sx, sy, w, h, rop4 & 0x00FFFFFFu, false);
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto mask = find_bitmap(hmask);
  if (!mask || mask->bpp != 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return stretch_blt(dest, x, y, w, h, src, sx, sy, w, h, rop4, false, mask.get(), mx, my);
}

BOOL TransparentBlt(HDC hdest, INT x, INT y, INT w, INT h, HDC hsrc, INT sx, INT sy, INT sw, INT sh, UINT transparent) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto d = find_dc(hdest);
  auto s = find_dc(hsrc);
  if (!d || !s || w <= 0 || h <= 0 || sw <= 0 || sh <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  dest_of(*d, x, y, w, h);
  int sox = 0, soy = 0;
  if (!source_of(*s, sx, sy, sw, sh, sox, soy)) return FALSE;
  const Bitmap* sbm = s->target();
  // A monochrome mask of the source: 1 where the pixel keeps the
  // destination, then MaskBlt-style: SRCCOPY where 0, keep where 1.
  auto mask = make_bitmap(w, h, 1, false, true, {});
  if (!mask) return FALSE;
  BlitPlan plan;
  if (!plan_blit(*d, x, y, w, h, s.get(), sbm, sox, soy, sx, sy, sw, sh, false, plan)) return FALSE;
  sbm = plan.src.bm;
  COLORREF key = resolve(*s, transparent);
  for (int j = 0; j < plan.dest.bottom - plan.dest.top; ++j)
    for (int i = 0; i < plan.dest.right - plan.dest.left; ++i) {
      int ax = plan.src.xs[static_cast<std::size_t>(i)], ay = plan.src.ys[static_cast<std::size_t>(j)];
      bool keep = ax < 0 || ay < 0 || sbm->colour_of(sbm->get(ax, ay)) == key;
      mask->put(i, j, keep ? 0u : 1u);
    }
  // Foreground SRCCOPY where the mask is 1, background keeps the destination.
  return rop_blit(*d, plan.dest, &plan.src, SRCCOPY, mask.get(), 0, 0, 0xAA) ? TRUE : FALSE;
}

namespace {

// Draws rows of a DIB: `band_first`..`band_last` are the DIB's scan lines
// present in `bits` (numbered as GetDIBits numbers them).
INT dib_to_device(HDC hdc, INT x, INT y, INT w, INT h, INT sx, INT sy, INT sw, INT sh, LPCVOID bits,
                  const BITMAPINFO* info, UINT usage, DWORD rop, bool stretch, UINT start, UINT lines) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto d = find_dc(hdc);
  DibFormat f;
  if (!d || !bits || !read_dib_format(info, usage, d.get(), f)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // The scan lines that are present, as a full-height DIB; lines outside
  // the band are masked off.
  auto full = make_bitmap(f.width, f.height, f.bpp, true, true, f.colours);
  auto present = make_bitmap(f.width, f.height, 1, false, true, {});
  if (!full || !present) return 0;
  if (f.bpp == 16 || f.bpp == 32) std::memcpy(full->masks, f.masks, sizeof(full->masks));
  UINT n = 0;
  for (UINT i = 0; i < lines; ++i) {
    int scan = static_cast<int>(start + i);
    if (scan >= f.height) break;
    int row = f.top_down ? scan : f.height - 1 - scan;
    std::memcpy(full->row(row), static_cast<const BYTE*>(bits) + static_cast<std::size_t>(i) * f.stride, static_cast<std::size_t>(f.stride));
    std::memset(present->row(row), 0xFF, static_cast<std::size_t>(present->stride));
    ++n;
  }
  // A bottom-up DIB's source y counts from its bottom row.
  int top = f.top_down ? sy : f.height - sy - sh;
  dest_of(*d, x, y, w, h);
  if (w == 0 || h == 0 || sw == 0 || sh == 0) return static_cast<INT>(n);
  BlitPlan plan;
  if (!plan_blit(*d, x, y, w, h, nullptr, full.get(), 0, 0, sx, top, sw, sh, stretch, plan)) return 0;
  // The band mask follows the same sampling.
  auto mask = make_bitmap(plan.dest.right - plan.dest.left, plan.dest.bottom - plan.dest.top, 1, false, true, {});
  if (!mask) return 0;
  auto xs = sample_axis(mask->width, sx, sw < 0 ? -sw : sw, false, f.width);
  auto ys = sample_axis(mask->height, top, sh < 0 ? -sh : sh, false, f.height);
  for (int j = 0; j < mask->height; ++j)
    for (int i = 0; i < mask->width; ++i) {
      int ax = xs[static_cast<std::size_t>(i)], ay = ys[static_cast<std::size_t>(j)];
      mask->put(i, j, (ax >= 0 && ay >= 0 && present->get(ax, ay)) ? 1u : 0u);
    }
  rop_blit(*d, plan.dest, &plan.src, rop & 0x00FFFFFFu, mask.get(), 0, 0, 0xAA);
  return stretch ? static_cast<INT>(f.height) : static_cast<INT>(n);
}

}  // namespace

INT StretchDIBits(HDC dc, INT x, INT y, INT w, INT h, INT sx, INT sy, INT sw, INT sh, LPCVOID bits,
                  const BITMAPINFO* info, UINT usage, DWORD rop) {
  if (!info) return 0;
  UINT rows = static_cast<UINT>(info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight);
  return dib_to_device(dc, x, y, w, h, sx, sy, sw, sh, bits, info, usage, rop, true, 0, rows);
}

INT SetDIBitsToDevice(HDC dc, INT x, INT y, DWORD w, DWORD h, INT sx, INT sy, UINT start, UINT lines, LPCVOID bits,
                      const BITMAPINFO* info, UINT usage) {
  return dib_to_device(dc, x, y, static_cast<INT>(w), static_cast<INT>(h), sx, sy, static_cast<INT>(w),
                       static_cast<INT>(h), bits, info, usage, SRCCOPY, false, start, lines);
}

}  // extern "C"
