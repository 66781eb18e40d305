#include "images.h"

#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

namespace morva::print_host {

namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

bool load_png(FILE* file, Image* out, std::string* error) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    *error = "out of memory";
    return false;
  }
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    *error = "not a readable PNG file";
    return false;
  }
  png_init_io(png, file);
  png_read_info(png, info);
  const png_byte color = png_get_color_type(png, info);
  out->has_alpha = (color & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
  // Every PNG becomes 8-bit RGBA.
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  out->width = static_cast<LONG>(png_get_image_width(png, info));
  out->height = static_cast<LONG>(png_get_image_height(png, info));
  if (out->width <= 0 || out->height <= 0 || out->width > 20000 || out->height > 20000) {
    png_destroy_read_struct(&png, &info, nullptr);
    *error = "image size out of range";
    return false;
  }
  out->rgba.assign(static_cast<size_t>(out->width) * out->height * 4, 0);
  rows.resize(out->height);
  for (LONG y = 0; y < out->height; ++y) rows[y] = out->rgba.data() + static_cast<size_t>(y) * out->width * 4;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

struct JpegError {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

bool load_jpeg(FILE* file, Image* out, std::string* error) {
  jpeg_decompress_struct cinfo;
  JpegError jerr;
  cinfo.err = jpeg_std_error(&jerr.base);
  jerr.base.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1); };
  if (setjmp(jerr.jump)) {
    jpeg_destroy_decompress(&cinfo);
    *error = "not a readable JPEG file";
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, file);
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  out->width = static_cast<LONG>(cinfo.output_width);
  out->height = static_cast<LONG>(cinfo.output_height);
  if (out->width > 20000 || out->height > 20000) {
    jpeg_destroy_decompress(&cinfo);
    *error = "image size out of range";
    return false;
  }
  out->has_alpha = false;
  out->rgba.assign(static_cast<size_t>(out->width) * out->height * 4, 0xFF);
  std::vector<BYTE> row(static_cast<size_t>(out->width) * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW line = row.data();
    const LONG y = static_cast<LONG>(cinfo.output_scanline);
    jpeg_read_scanlines(&cinfo, &line, 1);
    for (LONG x = 0; x < out->width; ++x)
      std::memcpy(out->rgba.data() + (static_cast<size_t>(y) * out->width + x) * 4, row.data() + 3 * x, 3);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

// The 16 standard colours of a 4-bit bitmap, as 0x00RRGGBB.
constexpr ULONG kSixteen[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                                0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

ULONG nearest(const ULONG* palette, size_t n, BYTE r, BYTE g, BYTE b) {
  ULONG best = 0;
  long best_d = -1;
  for (size_t i = 0; i < n; ++i) {
    const long dr = static_cast<long>((palette[i] >> 16) & 0xFF) - r, dg = static_cast<long>((palette[i] >> 8) & 0xFF) - g,
               db = static_cast<long>(palette[i] & 0xFF) - b;
    const long d = dr * dr + dg * dg + db * db;
    if (best_d < 0 || d < best_d) {
      best_d = d;
      best = static_cast<ULONG>(i);
    }
  }
  return best;
}

}  // namespace

bool load_image(const std::string& path, Image* out, std::string* error) {
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    *error = "cannot open " + path;
    return false;
  }
  unsigned char magic[8] = {};
  const size_t n = std::fread(magic, 1, 8, file.get());
  std::rewind(file.get());
  if (n == 8 && png_sig_cmp(magic, 0, 8) == 0) return load_png(file.get(), out, error);
  if (n >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) return load_jpeg(file.get(), out, error);
  *error = path + " is neither a PNG nor a JPEG file";
  return false;
}

ImageBitmap::~ImageBitmap() {
  if (surface) EngDeleteSurface(surface);
  if (mask) EngDeleteSurface(mask);
  platform::engine::delete_xlate(xlate);
}

bool make_bitmap(const Image& image, int bpp, bool want_mask, ImageBitmap* out) {
  ULONG format = 0;
  switch (bpp) {
    case 1: format = BMF_1BPP; break;
    case 4: format = BMF_4BPP; break;
    case 8: format = BMF_8BPP; break;
    case 16: format = BMF_16BPP; break;
    case 24: format = BMF_24BPP; break;
    case 32: format = BMF_32BPP; break;
    default: return false;
  }
  if (image.width <= 0 || image.height <= 0) return false;
  out->surface = reinterpret_cast<HSURF>(EngCreateBitmap({image.width, image.height}, 0, format, BMF_TOPDOWN, nullptr));
  if (!out->surface) return false;
  SURFOBJ* so = EngLockSurface(out->surface);
  std::vector<ULONG> palette;
  if (bpp == 1) palette = {0x000000, 0xFFFFFF};
  if (bpp == 4) palette.assign(kSixteen, kSixteen + 16);
  if (bpp == 8) {
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b) palette.push_back((r * 51u << 16) | (g * 51u << 8) | b * 51u);
    palette.resize(256, 0);
  }
  for (LONG y = 0; y < image.height; ++y) {
    BYTE* row = static_cast<BYTE*>(so->pvScan0) + y * so->lDelta;
    for (LONG x = 0; x < image.width; ++x) {
      const BYTE* p = image.rgba.data() + (static_cast<size_t>(y) * image.width + x) * 4;
      const BYTE r = p[0], g = p[1], b = p[2];
      switch (bpp) {
        case 1:
          if ((r * 30 + g * 59 + b * 11) / 100 >= 128) row[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
          break;
        case 4: row[x / 2] |= static_cast<BYTE>(nearest(palette.data(), 16, r, g, b) << ((x & 1) ? 0 : 4)); break;
        case 8: row[x] = static_cast<BYTE>(((r + 25) / 51) * 36 + ((g + 25) / 51) * 6 + (b + 25) / 51); break;
        case 16: {
          const WORD v = static_cast<WORD>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
          row[2 * x] = static_cast<BYTE>(v);
          row[2 * x + 1] = static_cast<BYTE>(v >> 8);
          break;
        }
        case 24:
          row[3 * x] = b;
          row[3 * x + 1] = g;
          row[3 * x + 2] = r;
          break;
        case 32:
          row[4 * x] = b;
          row[4 * x + 1] = g;
          row[4 * x + 2] = r;
          row[4 * x + 3] = 0;
          break;
      }
    }
  }
  if (bpp <= 8) out->xlate = platform::engine::create_xlate_table(palette);
  else if (bpp == 16) out->xlate = platform::engine::create_xlate_bitfields(0x7C00, 0x03E0, 0x001F);
  else out->xlate = platform::engine::create_xlate_trivial();
  if (want_mask && image.has_alpha) {
    out->mask = reinterpret_cast<HSURF>(EngCreateBitmap({image.width, image.height}, 0, BMF_1BPP, BMF_TOPDOWN, nullptr));
    SURFOBJ* mo = EngLockSurface(out->mask);
    for (LONG y = 0; y < image.height; ++y) {
      BYTE* row = static_cast<BYTE*>(mo->pvScan0) + y * mo->lDelta;
      for (LONG x = 0; x < image.width; ++x)
        if (image.rgba[(static_cast<size_t>(y) * image.width + x) * 4 + 3] >= 128)
          row[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    }
  }
  return true;
}

}  // namespace morva::print_host
