// Pictures of bitmaps and DCs as PNG files (libpng), so that what a
// window, a page or a test drew can be looked at. A DC's picture is its
// drawing area: the selected bitmap of a memory DC, the visible part of a
// window's surface, the whole screen for the screen DC.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

#include "screen_gdi/gdi_internal.h"

namespace {

// libpng reports errors by longjmp: nothing set after setjmp is read after it.
bool encode(FILE* f, int w, int h, const std::vector<png_byte>& rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) png_write_row(png, const_cast<png_byte*>(&rows[static_cast<std::size_t>(y) * w * 3]));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

namespace morva::platform {

bool write_png(HGDIOBJ handle, const std::string& path) {
  using namespace gdi;
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto o = find(handle);
  const Bitmap* bm = nullptr;
  RECT area{};
  if (auto dc = std::dynamic_pointer_cast<Dc>(o)) {
    bm = dc->target();
    if (bm) area = dc->type == Dc::Type::surface ? dc->visible : RECT{0, 0, bm->width, bm->height};
  } else if (auto b = std::dynamic_pointer_cast<Bitmap>(o)) {
    bm = b.get();
    area = RECT{0, 0, bm->width, bm->height};
  }
  if (!bm) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  area = RECT{std::max(area.left, 0), std::max(area.top, 0), std::min(area.right, bm->width), std::min(area.bottom, bm->height)};
  const int w = area.right - area.left, h = area.bottom - area.top;
  if (w <= 0 || h <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::vector<png_byte> rows(static_cast<std::size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      COLORREF c = bm->colour_of(bm->get(area.left + x, area.top + y));
      png_byte* p = &rows[(static_cast<std::size_t>(y) * w + x) * 3];
      p[0] = GetRValue(c);
      p[1] = GetGValue(c);
      p[2] = GetBValue(c);
    }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  bool ok = encode(f, w, h, rows);
  if (std::fclose(f) != 0) ok = false;
  if (!ok) {
    std::remove(path.c_str());
    SetLastError(ERROR_WRITE_FAULT);
  }
  return ok;
}

}  // namespace morva::platform

extern "C" BOOL MorvaWriteBitmapPng(HGDIOBJ bitmap_or_dc, const char* native_path) {
  if (!native_path) return FALSE;
  return morva::platform::write_png(bitmap_or_dc, native_path) ? TRUE : FALSE;
}
