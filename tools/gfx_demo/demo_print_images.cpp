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

#include "gfx_demo.h"
#include "image_test_pictures.h"
#include "pdl_decode.h"
#include "png_file.h"
#include "print_job.h"
#include "win/machine_root.h"
#include "win/spooler.h"

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
  // The photo a camera would leave, and a picture with a transparent circle.
  using namespace morva::test;
  if (!write_jpeg_file(folder + "/photo.jpg", 480, 320, gradient(480, 320), 75) ||
      !write_rgba_png(folder + "/picture.png", 200, 150, rgba_of(gradient(200, 150), alpha_with_hole(200, 150)))) {
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
