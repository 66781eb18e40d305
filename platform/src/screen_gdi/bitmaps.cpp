// Bitmaps and DIBs: device bitmaps, DIB sections, and the transfers
// between DIB memory and bitmaps.
//
// Rules of the real platform kept here:
// - A compatible bitmap has the format of what the DC draws on: the
//   screen's 32 bits for the screen and window DCs, the selected bitmap's
//   format for a memory DC (monochrome for a fresh one; a DIB section of
//   the same layout when a DIB section is selected). A zero width or
//   height gives the 1 x 1 monochrome stock bitmap.
// - DIB scan lines are numbered from the bottom for bottom-up DIBs
//   (positive height) and from the top for top-down ones; GetDIBits and
//   SetDIBits answer the number of lines copied.
// - GetDIBits with a bit count of 0 only fills in the header; without a
//   bits buffer it fills the header and the colour table. Colour tables of
//   1, 4 and 8 bits that the bitmap does not have itself are the default
//   palettes, and pixels are mapped to their nearest entries.
// - With DIB_PAL_COLORS the colour table holds 16-bit indices into the
//   DC's selected palette.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "screen_gdi/gdi_internal.h"

namespace morva::platform::gdi {

bool same_format(const Bitmap& a, const Bitmap& b) {
  if (a.bpp != b.bpp) return false;
  if (a.bpp > 8) return a.bpp == 24 || std::memcmp(a.masks, b.masks, sizeof(a.masks)) == 0;
  if (a.colours.size() != b.colours.size()) return false;
  for (std::size_t i = 0; i < a.colours.size(); ++i)
    if (a.colours[i].rgbRed != b.colours[i].rgbRed || a.colours[i].rgbGreen != b.colours[i].rgbGreen ||
        a.colours[i].rgbBlue != b.colours[i].rgbBlue)
      return false;
  return true;
}

std::uint32_t RawOf::operator()(COLORREF c) {
  if (b_.bpp > 8) return b_.raw_of(c);
  for (const auto& [k, v] : cache_)
    if (k == c) return v;
  std::uint32_t v = b_.raw_of(c);
  if (cache_.size() > 64) cache_.erase(cache_.begin());
  cache_.emplace_back(c, v);
  return v;
}

void convert_pixels(const Bitmap& src, int sx, int sy, Bitmap& dst, int dx, int dy, int w, int h) {
  const bool same = same_format(src, dst);
  RawOf raw(dst);
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      std::uint32_t v = src.get(sx + i, sy + j);
      dst.put(dx + i, dy + j, same ? v : raw(src.colour_of(v)));
    }
}

bool read_dib_format(const BITMAPINFO* info, UINT usage, const Dc* dc, DibFormat& f) {
  if (!info) return false;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 || h.biWidth > 0x8000 ||
      h.biHeight > 0x8000 || h.biHeight < -0x8000)
    return false;
  int bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  if (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && (bpp == 16 || bpp == 32))) return false;
  f.width = h.biWidth;
  f.height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  f.top_down = h.biHeight < 0;
  f.bpp = bpp;
  f.stride = ((f.width * bpp + 31) / 32) * 4;
  f.compression = h.biCompression;
  const BYTE* after = reinterpret_cast<const BYTE*>(info) + h.biSize;
  f.header_bytes = h.biSize;
  if (bpp == 16) {
    f.masks[0] = 0x7C00, f.masks[1] = 0x03E0, f.masks[2] = 0x001F;
  } else if (bpp == 32) {
    f.masks[0] = 0x00FF0000, f.masks[1] = 0x0000FF00, f.masks[2] = 0x000000FF;
  }
  if (h.biCompression == BI_BITFIELDS) {
    // Masks follow a plain header; later header versions carry them inside.
    const BYTE* m = h.biSize == sizeof(BITMAPINFOHEADER) ? after : reinterpret_cast<const BYTE*>(info) + 40;
    std::memcpy(f.masks, m, sizeof(f.masks));
    if (h.biSize == sizeof(BITMAPINFOHEADER)) {
      after += 12;
      f.header_bytes += 12;
    }
    if (!f.masks[0] || !f.masks[1] || !f.masks[2]) return false;
  }
  f.colours.clear();
  if (bpp <= 8) {
    std::size_t n = h.biClrUsed ? std::min<std::size_t>(h.biClrUsed, std::size_t{1} << bpp) : (std::size_t{1} << bpp);
    if (usage == DIB_PAL_COLORS) {
      const Palette* pal = dc ? dc->s.palette.get() : nullptr;
      for (std::size_t i = 0; i < n; ++i) {
        WORD index;
        std::memcpy(&index, after + i * 2, 2);
        PALETTEENTRY e = pal && index < pal->entries.size() ? pal->entries[index] : PALETTEENTRY{0, 0, 0, 0};
        f.colours.push_back(RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0});
      }
      f.header_bytes += n * 2;
    } else {
      f.colours.resize(n);
      std::memcpy(f.colours.data(), after, n * sizeof(RGBQUAD));
      f.header_bytes += n * sizeof(RGBQUAD);
    }
  }
  return true;
}

std::shared_ptr<Bitmap> bitmap_from_dib(const DibFormat& f, const void* bits) {
  auto b = make_bitmap(f.width, f.height, f.bpp, true, f.top_down, f.colours);
  if (!b) return nullptr;
  if (f.bpp == 16 || f.bpp == 32) std::memcpy(b->masks, f.masks, sizeof(b->masks));
  if (bits) std::memcpy(b->bits, bits, static_cast<std::size_t>(b->stride) * static_cast<std::size_t>(b->height));
  return b;
}

namespace {

// A bitmap of the format that a DC draws on.
std::shared_ptr<Bitmap> compatible_bitmap(const Dc* dc, int width, int height) {
  const Bitmap* like = dc && dc->type == Dc::Type::memory ? dc->s.bitmap.get() : nullptr;
  if (like && like->bpp != 32) {
    auto b = make_bitmap(width, height, like->bpp, like->dib, true, like->colours);
    if (b) std::memcpy(b->masks, like->masks, sizeof(b->masks));
    return b;
  }
  return make_bitmap(width, height, 32, like && like->dib, true, {});
}

}  // namespace
}  // namespace morva::platform::gdi

using namespace morva::platform::gdi;

extern "C" {

HBITMAP CreateBitmap(INT width, INT height, UINT planes, UINT bpp, LPCVOID bits) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  if (planes != 1 || (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (width == 0 || height == 0) return static_cast<HBITMAP>(default_bitmap()->handle);
  auto b = make_bitmap(width, height, static_cast<int>(bpp), false, true, {});
  if (!b) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (bits) {
    // Rows of the caller's bits are WORD-aligned.
    int row_bytes = ((width * static_cast<int>(bpp) + 15) / 16) * 2;
    for (int y = 0; y < height; ++y)
      std::memcpy(b->row(y), static_cast<const BYTE*>(bits) + static_cast<std::size_t>(y) * row_bytes, static_cast<std::size_t>(row_bytes));
  }
  return static_cast<HBITMAP>(insert(b));
}

HBITMAP CreateCompatibleBitmap(HDC hdc, INT width, INT height) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (!dc) return nullptr;
  if (width == 0 || height == 0) return static_cast<HBITMAP>(default_bitmap()->handle);
  auto b = compatible_bitmap(dc.get(), width, height);
  if (!b) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return static_cast<HBITMAP>(insert(b));
}

HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, LPVOID* bits, HANDLE section, DWORD) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = hdc ? find_dc(hdc) : nullptr;
  DibFormat f;
  if (section || !read_dib_format(info, usage, dc.get(), f)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    if (bits) *bits = nullptr;
    return nullptr;
  }
  auto b = bitmap_from_dib(f, nullptr);
  if (!b) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    if (bits) *bits = nullptr;
    return nullptr;
  }
  if (bits) *bits = b->bits;
  return static_cast<HBITMAP>(insert(b));
}

HBITMAP CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* header, DWORD init, LPCVOID bits, const BITMAPINFO* info, UINT usage) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  if (!header || header->biWidth <= 0 || header->biHeight == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto dc = hdc ? find_dc(hdc) : nullptr;
  int height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
  auto b = compatible_bitmap(dc.get(), header->biWidth, height);
  if (!b) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  b->dib = false;
  HBITMAP h = static_cast<HBITMAP>(insert(b));
  if ((init & CBM_INIT) && bits && info && SetDIBits(hdc, h, 0, static_cast<UINT>(height), bits, info, usage) == 0) {
    DeleteObject(h);
    return nullptr;
  }
  return h;
}

INT GetDIBits(HDC hdc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, BITMAPINFO* info, UINT usage) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  auto bm = find_bitmap(bitmap);
  if (!dc || !bm || !info || info->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biBitCount == 0) {
    h.biWidth = bm->width;
    h.biHeight = bm->height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(bm->bpp);
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<DWORD>(bm->stride * bm->height);
    h.biClrUsed = 0;
    h.biClrImportant = 0;
    return 1;
  }
  int bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (h.biWidth <= 0) h.biWidth = bm->width;
  if (h.biHeight == 0) h.biHeight = bm->height;
  bool top_down = h.biHeight < 0;
  int rows = top_down ? -h.biHeight : h.biHeight;
  std::vector<RGBQUAD> colours = bpp <= 8 ? (bm->bpp == bpp ? bm->colours : default_colours(bpp)) : std::vector<RGBQUAD>{};
  auto out = make_bitmap(h.biWidth, rows, bpp, true, top_down, colours);
  if (!out) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  h.biPlanes = 1;
  h.biSizeImage = static_cast<DWORD>(out->stride * rows);
  if (bpp <= 8) {
    h.biClrUsed = 0;
    if (usage == DIB_RGB_COLORS) std::memcpy(info->bmiColors, out->colours.data(), out->colours.size() * sizeof(RGBQUAD));
  } else if (h.biCompression == BI_BITFIELDS) {
    std::memcpy(info->bmiColors, out->masks, sizeof(out->masks));
  } else {
    h.biCompression = BI_RGB;
  }
  if (!bits) return 1;
  // The caller's buffer gets the scan lines start .. start + lines, in its
  // own order.
  int copied = 0;
  for (UINT i = 0; i < lines; ++i) {
    int scan = static_cast<int>(start + i);
    if (scan >= rows || scan >= bm->height) break;
    int sy = top_down ? scan : bm->height - 1 - scan;
    int oy = top_down ? scan : rows - 1 - scan;
    convert_pixels(*bm, 0, sy, *out, 0, oy, std::min(bm->width, out->width), 1);
    std::memcpy(static_cast<BYTE*>(bits) + static_cast<std::size_t>(i) * out->stride, out->row(oy), static_cast<std::size_t>(out->stride));
    ++copied;
  }
  return copied;
}

INT SetDIBits(HDC hdc, HBITMAP bitmap, UINT start, UINT lines, LPCVOID bits, const BITMAPINFO* info, UINT usage) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = hdc ? find_dc(hdc) : nullptr;
  auto bm = find_bitmap(bitmap);
  DibFormat f;
  if (!bm || !bits || !read_dib_format(info, usage, dc.get(), f)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // One scan line at a time through a one-row DIB of the caller's format.
  DibFormat one = f;
  one.height = 1;
  auto line = bitmap_from_dib(one, nullptr);
  if (!line) return 0;
  int copied = 0;
  for (UINT i = 0; i < lines; ++i) {
    int scan = static_cast<int>(start + i);
    if (scan >= f.height || scan >= bm->height) break;
    std::memcpy(line->bits, static_cast<const BYTE*>(bits) + static_cast<std::size_t>(i) * f.stride, static_cast<std::size_t>(f.stride));
    int dy = f.top_down ? scan : bm->height - 1 - scan;
    convert_pixels(*line, 0, 0, *bm, 0, dy, std::min(bm->width, f.width), 1);
    ++copied;
  }
  return copied;
}

COLORREF GetPixel(HDC hdc, INT x, INT y) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  Target t;
  if (!dc || !target_of(*dc, t)) return CLR_INVALID;
  POINT p = to_device(dc->s, POINT{x, y});
  int sx = p.x + t.ox, sy = p.y + t.oy;
  if (!t.clip.contains(sx, sy)) return CLR_INVALID;
  return t.bm->colour_of(t.bm->get(sx, sy));
}

COLORREF SetPixel(HDC hdc, INT x, INT y, COLORREF colour) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  Target t;
  if (!dc || !target_of(*dc, t)) return CLR_INVALID;
  POINT p = to_device(dc->s, POINT{x, y});
  int sx = p.x + t.ox, sy = p.y + t.oy;
  if (!t.clip.contains(sx, sy)) return CLR_INVALID;
  std::uint32_t raw = t.bm->raw_of(resolve(*dc, colour));
  t.bm->put(sx, sy, raw);
  return t.bm->colour_of(raw);
}

}  // extern "C"
