// demo-33-print-images <machine root>: prints a page of images (a JPEG
// photo, PNG pictures at several depths, a black-and-white scan drawn as a
// stencil, a picture with a mask) and hatch and pattern brushes on the
// demo printer, then shows the decoder's summary of the spool file and its
// image operators. The decoder reads operators but does not render pages,
// so no picture of the page is written.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "gfx_demo.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "win/machine_root.h"
#include "win/spooler.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A picture: colour bands under a diagonal shade; alpha clear in a circle.
Bytes picture(int w, int h, bool alpha_hole) {
  Bytes rgba;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int dx = x - w / 2, dy = y - h / 2;
      rgba.push_back(static_cast<unsigned char>(x * 255 / w));
      rgba.push_back(static_cast<unsigned char>(y * 255 / h));
      rgba.push_back(static_cast<unsigned char>(255 - (x + y) * 255 / (w + h)));
      rgba.push_back(alpha_hole && dx * dx + dy * dy < (h / 3) * (h / 3) ? 0 : 255);
    }
  return rgba;
}

bool write_png(const std::string& path, int w, int h, const Bytes& rgba) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) png_write_row(png, const_cast<unsigned char*>(rgba.data() + y * w * 4));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

bool write_jpeg(const std::string& path, int w, int h, const Bytes& rgba) {
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
  jpeg_start_compress(&cinfo, TRUE);
  Bytes row(static_cast<std::size_t>(w) * 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) row[3 * x + c] = rgba[(static_cast<std::size_t>(y) * w + x) * 4 + c];
    JSAMPROW p = row.data();
    jpeg_write_scanlines(&cinfo, &p, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: demo-33-print-images <machine root>\n");
    return 2;
  }
  morva::platform::set_machine_root(argv[1]);
  using namespace morva::gfx_demo;
  std::string error;
  if (!make_dc_devmode_default(kDemoPrinter, &error)) {
    std::fprintf(stderr, "demo-33-print-images: %s\n", error.c_str());
    return 1;
  }
  const std::string folder = std::string(argv[1]) + "/demo-images";
  std::filesystem::create_directories(folder);
  if (!write_jpeg(folder + "/photo.jpg", 480, 320, picture(480, 320, false)) ||
      !write_png(folder + "/picture.png", 200, 150, picture(200, 150, true))) {
    std::fprintf(stderr, "demo-33-print-images: cannot write the sample pictures in %s\n", folder.c_str());
    return 1;
  }
  const std::string json = R"({"printer": "Morva Demo Printer", "document": "Image sample", "units": "px",
    "ddmid": {"330": 2},
    "pages": [{"ops": [
      {"op": "image", "file": "photo.jpg", "rect": [300, 300, 2700, 1900], "bpp": 24},
      {"op": "image", "file": "picture.png", "rect": [300, 2000, 700, 2300], "bpp": 8},
      {"op": "image", "file": "picture.png", "rect": [800, 2000, 1200, 2300], "bpp": 4},
      {"op": "image", "file": "picture.png", "rect": [1300, 2000, 1700, 2300], "bpp": 16},
      {"op": "brush", "style": "solid", "color": "#003399"},
      {"op": "image", "file": "picture.png", "rect": [1800, 2000, 2000, 2150], "bpp": 1, "rop": "B8B8"},
      {"op": "image", "file": "picture.png", "rect": [2100, 2000, 2500, 2300], "bpp": 24, "mask": true},
      {"op": "brush", "style": "hatch", "hatch": "diagcross", "color": "#CC0000"},
      {"op": "rectangle", "rect": [300, 2500, 1300, 3000]},
      {"op": "brush", "style": "pattern", "file": "picture.png", "bpp": 8},
      {"op": "rectangle", "rect": [1500, 2500, 2500, 3000]}
    ]}]})";
  morva::print_host::Document doc;
  if (!morva::print_host::parse_document(json, "image-sample.json", folder, &doc, &error)) {
    std::fprintf(stderr, "demo-33-print-images: %s\n", error.c_str());
    return 1;
  }
  auto result = morva::print_host::print_document(doc);
  if (!result.ok) {
    std::fprintf(stderr, "demo-33-print-images: printing failed: %s %s\n", result.error.c_str(),
                 result.failed_entry.c_str());
    return 1;
  }
  const std::string spool = morva::platform::job_spool_file(result.job_id);
  std::printf("printed \"Image sample\" on \"Morva Demo Printer\" as job %u: %s (%ju bytes)\n",
              static_cast<unsigned>(result.job_id), spool.c_str(),
              static_cast<uintmax_t>(std::filesystem::file_size(spool)));
  auto decoded = morva::tools::DecodeSpoolFilePath(spool);
  morva::tools::PrintSummary(decoded, std::cout);
  std::printf("The decoder reads operators and does not render pages; the images it found:\n");
  for (const auto& item : decoded.items) {
    if (item.kind != morva::tools::PdlItem::Operator || (item.text != "Cq" && item.text != "Cp")) continue;
    const auto& v = item.operands;
    if (item.text == "Cp") {
      std::printf("  stencil %lld x %lld at (%.0f, %.0f)\n", static_cast<long long>(v[2].i),
                  static_cast<long long>(v[3].i), v[0].f, v[1].f);
      continue;
    }
    // x, y, six matrix values, width, height, mask kind [, 0, mask bytes],
    // source kind, format ... method, data bytes.
    const long long mask = v[10].i;
    const std::size_t format_at = mask == 2 ? 14 : 12;
    static const char* const kMethods[] = {"", "raw", "", "", "JPEG", "", "coder 6", "coder 7", "run length"};
    const long long method = v[v.size() - 2].i;
    std::printf("  image %lld x %lld at (%.0f, %.0f), format %lld%s, %s, %lld bytes\n", static_cast<long long>(v[8].i),
                static_cast<long long>(v[9].i), v[0].f, v[1].f, static_cast<long long>(v[format_at].i),
                mask == 2 ? " with a mask" : "", method >= 0 && method <= 8 ? kMethods[method] : "?",
                static_cast<long long>(v.back().i));
  }
  return decoded.ok ? 0 : 1;
}
