// A full 600-dpi A4 page image (24 bits, about 104 MB) printed on the demo
// printer through the print host and the real graphics driver, raw, with
// the run-length code and with JPEG, each beside its anchor measured in
// the same run: memcpy of the page's bytes for the raw and run-length
// paths, libjpeg compressing the same pixels alone for the JPEG path. The
// printing time includes the host's reading of the PNG file and its
// bitmap, as a program printing a picture would see it. Peak memory is the
// process's maximum resident size.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "gfx_demo.h"
#include "print_job.h"
#include "win/machine_root.h"
#include "win/spooler.h"

namespace {

constexpr int kWidth = 4960, kHeight = 7016;  // A4 at 600 dpi
constexpr double kPageBytes = 3.0 * kWidth * kHeight;

std::vector<unsigned char> g_rgb;  // the page, 3 bytes a pixel
double g_seconds[4] = {};          // raw, run length, JPEG, memcpy
double g_jpeg_alone = 0;
long g_peak_kb = 0;

void make_page() {
  if (!g_rgb.empty()) return;
  g_rgb.resize(static_cast<std::size_t>(kPageBytes));
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      unsigned char* p = g_rgb.data() + (static_cast<std::size_t>(y) * kWidth + x) * 3;
      p[0] = static_cast<unsigned char>(x * 255 / kWidth);
      p[1] = static_cast<unsigned char>(y * 255 / kHeight);
      p[2] = static_cast<unsigned char>(((x / 64 + y / 64) % 2) * 120 + 60);
    }
}

bool write_png(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < kHeight; ++y) png_write_row(png, g_rgb.data() + static_cast<std::size_t>(y) * kWidth * 3);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

struct Scratch {
  std::string root;
  std::string error;
  Scratch() {
    char folder[] = "/tmp/morva-bench-XXXXXX";
    root = mkdtemp(folder) ? folder : "/tmp";
    std::filesystem::create_directories(root + "/drive_c");
    morva::platform::set_machine_root(root);
    std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
    make_page();
    if (!morva::gfx_demo::install_demo_printer(bin, &error) ||
        !morva::gfx_demo::make_dc_devmode_default(morva::gfx_demo::kDemoPrinter, &error))
      return;
    if (!write_png(root + "/page.png")) error = "cannot write the page picture";
  }
  ~Scratch() { std::filesystem::remove_all(root); }
};

void print_page(benchmark::State& state) {
  static Scratch s;
  if (!s.error.empty()) {
    state.SkipWithError(s.error.c_str());
    return;
  }
  const int compression = static_cast<int>(state.range(0));
  std::string json = R"({"printer": "Morva Demo Printer", "document": "Page image", "units": "px", "ddmid": {"330": )" +
                     std::to_string(compression) + R"(}, "pages": [{"ops": [{"op": "image", "file": "page.png", "rect": [0, 0, )" +
                     std::to_string(kWidth) + ", " + std::to_string(kHeight) + R"(], "bpp": 24}]}]})";
  morva::print_host::Document doc;
  std::string error;
  if (!morva::print_host::parse_document(json, "page.json", s.root, &doc, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    auto r = morva::print_host::print_document(doc);
    g_seconds[compression] += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!r.ok) {
      state.SkipWithError(r.error.c_str());
      return;
    }
    std::filesystem::remove(morva::platform::job_spool_file(r.job_id));
  }
  g_seconds[compression] /= static_cast<double>(state.iterations());
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  g_peak_kb = u.ru_maxrss;
}
BENCHMARK(print_page)->Arg(0)->Arg(1)->Arg(2)->Iterations(2)->Unit(benchmark::kMillisecond);

void memcpy_page(benchmark::State& state) {
  make_page();
  std::vector<unsigned char> copy(g_rgb.size());
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    std::memcpy(copy.data(), g_rgb.data(), g_rgb.size());
    benchmark::ClobberMemory();
    g_seconds[3] += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  g_seconds[3] /= static_cast<double>(state.iterations());
}
BENCHMARK(memcpy_page)->Iterations(5)->Unit(benchmark::kMillisecond);

// libjpeg alone on the same pixels, with the settings the driver uses.
void jpeg_alone(benchmark::State& state) {
  make_page();
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = kWidth;
    cinfo.image_height = kHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    cinfo.dct_method = JDCT_IFAST;
    jpeg_set_quality(&cinfo, 83, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    for (int y = 0; y < kHeight; ++y) {
      JSAMPROW row = g_rgb.data() + static_cast<std::size_t>(y) * kWidth * 3;
      jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    free(out);
    g_jpeg_alone += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  g_jpeg_alone /= static_cast<double>(state.iterations());
}
BENCHMARK(jpeg_alone)->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const double mb = kPageBytes / 1e6;
  if (g_seconds[3] > 0) {
    const double copy_rate = mb / g_seconds[3];
    const char* names[3] = {"raw", "run length", "JPEG"};
    for (int i = 0; i < 3; ++i)
      if (g_seconds[i] > 0)
        std::printf("page image %s: %.1f MB/s; memcpy of the page %.0f MB/s; ratio %.3g\n", names[i], mb / g_seconds[i],
                    copy_rate, (mb / g_seconds[i]) / copy_rate);
  }
  if (g_seconds[2] > 0 && g_jpeg_alone > 0)
    std::printf("JPEG path %.2f s against libjpeg alone %.2f s: ratio %.3g (goal at most 1.2)\n", g_seconds[2],
                g_jpeg_alone, g_seconds[2] / g_jpeg_alone);
  if (g_peak_kb > 0)
    std::printf("peak memory %.0f MB, %.2f page images\n", g_peak_kb / 1024.0, g_peak_kb * 1024.0 / kPageBytes);
  return 0;
}
