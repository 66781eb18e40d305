// Pictures for the image tests and the image demo: photo-like gradients,
// patterns of a few colours, RGBA bytes with or without transparent parts,
// and JPEG files of them (a camera's pictures) read back again.
// Header-only; its users link libjpeg.
#pragma once

#include <jpeglib.h>

#include <cstdio>
#include <string>
#include <vector>

namespace morva::test {

struct Rgb {
  unsigned char r, g, b;
  bool operator==(const Rgb&) const = default;
};

// A smooth photo-like gradient: red across, green down, blue along the
// diagonal.
inline std::vector<Rgb> gradient(int w, int h) {
  std::vector<Rgb> px;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      px.push_back({static_cast<unsigned char>(x * 255 / w), static_cast<unsigned char>(y * 255 / h),
                    static_cast<unsigned char>((x + y) * 127 / (w + h))});
  return px;
}

// The colours laid out in a repeating diagonal pattern.
inline std::vector<Rgb> pattern(int w, int h, const std::vector<Rgb>& colours) {
  std::vector<Rgb> px;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) px.push_back(colours[static_cast<std::size_t>(x * 7 + y * 3) % colours.size()]);
  return px;
}

// Alpha clear inside a centred circle a third of the height across.
inline std::vector<unsigned char> alpha_with_hole(int w, int h) {
  std::vector<unsigned char> alpha;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int dx = x - w / 2, dy = y - h / 2;
      alpha.push_back(dx * dx + dy * dy < (h / 3) * (h / 3) ? 0 : 255);
    }
  return alpha;
}

// RGBA bytes of the pixels, alpha 255 unless given.
inline std::vector<unsigned char> rgba_of(const std::vector<Rgb>& px, const std::vector<unsigned char>& alpha = {}) {
  std::vector<unsigned char> rgba;
  for (std::size_t i = 0; i < px.size(); ++i)
    rgba.insert(rgba.end(), {px[i].r, px[i].g, px[i].b, alpha.empty() ? static_cast<unsigned char>(255) : alpha[i]});
  return rgba;
}

// A JPEG file of the pixels at the given quality, as a camera would leave
// it; false when the file cannot be written.
inline bool write_jpeg_file(const std::string& path, int w, int h, const std::vector<Rgb>& px, int quality) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = static_cast<JDIMENSION>(w);
  cinfo.image_height = static_cast<JDIMENSION>(h);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  for (int y = 0; y < h; ++y) {
    JSAMPROW row = const_cast<unsigned char*>(&px[static_cast<std::size_t>(y) * w].r);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return std::fclose(f) == 0;
}

// Decodes JPEG data: the pixels with their size and components.
inline std::vector<unsigned char> decode_jpeg(const std::vector<unsigned char>& coded, int* w, int* h,
                                              int* components) {
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, coded.data(), coded.size());
  jpeg_read_header(&cinfo, TRUE);
  jpeg_start_decompress(&cinfo);
  *w = static_cast<int>(cinfo.output_width);
  *h = static_cast<int>(cinfo.output_height);
  *components = cinfo.output_components;
  std::vector<unsigned char> out(static_cast<std::size_t>(*w) * *h * *components);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out.data() + static_cast<std::size_t>(cinfo.output_scanline) * *w * *components;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return out;
}

}  // namespace morva::test
