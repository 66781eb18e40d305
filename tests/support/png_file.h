// Writes an RGBA picture as a PNG file: the test documents' bitmaps, read
// back by the print host like any picture an application would print; and
// reads a picture back.
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

// Reads a PNG file in `format` (PNG_FORMAT_RGB, PNG_FORMAT_GRAY, ...):
// `image` gets its size, `pixels` its rows.
inline bool read_png_file(const std::string& path, png_uint_32 format, png_image* image,
                          std::vector<unsigned char>* pixels) {
  *image = png_image{};
  image->version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(image, path.c_str())) return false;
  image->format = format;
  pixels->resize(PNG_IMAGE_SIZE(*image));
  return png_image_finish_read(image, nullptr, pixels->data(), 0, nullptr) != 0;
}

// Two 16 x 16 pictures in `folder`: colour.png of 256 colours (more than a
// page's colour set holds) and grey.png of 256 greys.
inline bool write_colour_and_grey_pngs(const std::string& folder, std::string* colour_path, std::string* grey_path) {
  std::vector<unsigned char> colour, grey;
  for (int i = 0; i < 16 * 16; ++i) {
    colour.insert(colour.end(), {static_cast<unsigned char>(i * 13), static_cast<unsigned char>(i * 7),
                                 static_cast<unsigned char>(255 - i), 255});
    const auto g = static_cast<unsigned char>(i);
    grey.insert(grey.end(), {g, g, g, 255});
  }
  *colour_path = folder + "/colour.png";
  *grey_path = folder + "/grey.png";
  return write_rgba_png(*colour_path, 16, 16, colour) && write_rgba_png(*grey_path, 16, 16, grey);
}

}  // namespace morva::test
