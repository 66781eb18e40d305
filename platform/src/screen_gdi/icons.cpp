// Icons: DrawIconEx and DrawIcon over the icons of the resource reader
// (LoadIconW, LoadImageW), which keep each icon as a packed DIB of its
// colour rows followed by its monochrome AND mask.
//
// Rules of the real platform kept here:
// - DI_NORMAL ANDs the mask onto the destination and then XORs the colour
//   image onto it: where the mask is 1 and the image black the destination
//   shows through. DI_MASK alone copies the mask, DI_IMAGE alone copies the
//   image.
// - A 32-bit icon with any alpha is blended by its alpha (the mask is not
//   used then).
// - A width or height of 0 means the icon's own size, or the system icon
//   size (32) with DI_DEFAULTSIZE; the icon is stretched to the size given.
// - With a flicker-free brush the rectangle is first filled with it.
#include <algorithm>

#include "screen_gdi/gdi_internal.h"
#include "win/resources.h"

using namespace morva::platform::gdi;

extern "C" {

BOOL DrawIconEx(HDC hdc, INT x, INT y, HICON icon, INT cx, INT cy, UINT, HBRUSH flicker_free, UINT flags) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  const morva::platform::ResourceImage* img = morva::platform::resource_image(icon);
  Target t;
  if (!dc || !img || img->type != IMAGE_ICON || !target_of(*dc, t)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // The colour rows, read as a DIB of the icon's own height.
  std::vector<BYTE> header(img->dib.begin(), img->dib.begin() + std::min<std::size_t>(img->dib.size(), 40 + 256 * 4 + 12));
  auto* bih = reinterpret_cast<BITMAPINFOHEADER*>(header.data());
  bih->biHeight = img->height;
  DibFormat f;
  if (!read_dib_format(reinterpret_cast<const BITMAPINFO*>(header.data()), DIB_RGB_COLORS, nullptr, f)) return FALSE;
  auto colour = bitmap_from_dib(f, img->dib.data() + f.header_bytes);
  DibFormat mf;
  mf.width = f.width;
  mf.height = f.height;
  mf.bpp = 1;
  mf.stride = ((f.width + 31) / 32) * 4;
  mf.colours = default_colours(1);
  auto mask = bitmap_from_dib(mf, img->dib.data() + f.header_bytes + static_cast<std::size_t>(f.stride) * f.height);
  if (!colour || !mask) return FALSE;
  bool alpha = false;
  if (f.bpp == 32)
    for (int j = 0; j < f.height && !alpha; ++j)
      for (int i = 0; i < f.width && !alpha; ++i) alpha = (colour->get(i, j) >> 24) != 0;

  int w = cx ? cx : ((flags & DI_DEFAULTSIZE) ? 32 : img->width);
  int h = cy ? cy : ((flags & DI_DEFAULTSIZE) ? 32 : img->height);
  if (w <= 0 || h <= 0) return FALSE;
  POINT p = to_device(dc->s, POINT{x, y});
  RECT r{p.x, p.y, p.x + w, p.y + h};
  if (flicker_free) {
    auto b = brush_arg(flicker_free);
    if (b) fill_area(*dc, t, Region(r), b.get());
  }
  Region area(RECT{r.left + t.ox, r.top + t.oy, r.right + t.ox, r.bottom + t.oy});
  area.intersect(t.clip);
  RECT box = area.box();
  RawOf raw(*t.bm);
  const std::uint32_t vm = t.bm->value_mask(), white = t.bm->raw_of(RGB(255, 255, 255)), black = t.bm->raw_of(0);
  for (int yy = box.top; yy < box.bottom; ++yy) {
    int sj = static_cast<int>((static_cast<long long>(yy - r.top - t.oy) * 2 + 1) * f.height / (2LL * h));
    area.spans(yy, box.left, box.right, [&](int row, int x0, int x1) {
      for (int xx = x0; xx < x1; ++xx) {
        int si = static_cast<int>((static_cast<long long>(xx - r.left - t.ox) * 2 + 1) * f.width / (2LL * w));
        std::uint32_t c = colour->get(si, sj);
        COLORREF rgb = colour->colour_of(c);
        std::uint32_t d = t.bm->get(xx, row);
        if (alpha && (flags & DI_NORMAL) == DI_NORMAL) {
          unsigned a = c >> 24;
          COLORREF under = t.bm->colour_of(d);
          auto mix = [a](unsigned s, unsigned u) { return (s * a + u * (255 - a) + 127) / 255; };
          t.bm->put(xx, row, raw(RGB(mix(GetRValue(rgb), GetRValue(under)), mix(GetGValue(rgb), GetGValue(under)),
                                     mix(GetBValue(rgb), GetBValue(under)))));
          continue;
        }
        bool m = mask->get(si, sj) != 0;
        std::uint32_t out = d;
        if ((flags & DI_NORMAL) == DI_NORMAL) out = ((d & (m ? vm : 0)) ^ raw(rgb)) & vm;
        else if (flags & DI_MASK) out = m ? white : black;
        else if (flags & DI_IMAGE) out = raw(rgb);
        t.bm->put(xx, row, out);
      }
    });
  }
  return TRUE;
}

BOOL DrawIcon(HDC hdc, INT x, INT y, HICON icon) {
  return DrawIconEx(hdc, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL | DI_COMPAT | DI_DEFAULTSIZE);
}

}  // extern "C"
