// Images for the print host: PNG (libpng) and JPEG (libjpeg) files read
// into RGBA, and an image turned into an engine bitmap of a chosen depth
// with the colour translation and mask GDI would hand the driver.
#pragma once

#include <string>
#include <vector>

#include "win/ddi_engine.h"

namespace morva::print_host {

struct Image {
  LONG width = 0, height = 0;
  std::vector<BYTE> rgba;  // rows top down, 4 bytes a pixel
  bool has_alpha = false;
};

// Reads a PNG or JPEG file (told apart by their first bytes). False with
// the reason in *error.
bool load_image(const std::string& path, Image* out, std::string* error);

// A bitmap of the image at 1, 4, 8, 16, 24 or 32 bits per pixel, as a
// program would select into a memory DC: 1 bit black and white, 4 bits the
// 16 standard colours, 8 bits a 6x6x6 colour cube, 16 bits 5-5-5, 24 and
// 32 bits BGR. xlate maps its pixels to device colours; mask (when asked
// for and the image has alpha) is 1 where alpha is at least half.
struct ImageBitmap {
  HSURF surface = nullptr;
  XLATEOBJ* xlate = nullptr;
  HSURF mask = nullptr;
  ImageBitmap() = default;
  ImageBitmap(const ImageBitmap&) = delete;
  ImageBitmap& operator=(const ImageBitmap&) = delete;
  ~ImageBitmap();
};
bool make_bitmap(const Image& image, int bpp, bool want_mask, ImageBitmap* out);

}  // namespace morva::print_host
