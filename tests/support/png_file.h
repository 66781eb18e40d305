// Writes an RGBA picture as a PNG file: the test documents' bitmaps, read
// back by the print host like any picture an application would print.
// Header-only; the test links libpng.
#pragma once

#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

namespace morva::test {

inline bool write_rgba_png(const std::string& path, int w, int h, const std::vector<unsigned char>& rgba) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) png_write_row(png, const_cast<unsigned char*>(rgba.data() + y * w * 4));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

}  // namespace morva::test
