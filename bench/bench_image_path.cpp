// A full 600-dpi A4 page image (24 bits, about 104 MB) through the graphics
// driver's image path on the demo printer, raw, with the run-length code
// and with JPEG, each beside its anchor measured in the same run: memcpy of
// the page's bytes, and for JPEG libjpeg compressing the same pixels alone.
// The same page also goes through the paths that change its pixels on the
// way: reduced to 300 dpi, colour corrected (a colour-temperature preset),
// turned a quarter, and as an 8-bit palette image; each is printed beside
// the same memcpy anchor.
//
// Like for like: the program's bitmap is made before the clock starts, and
// only the driver's drawing call (DrvBitBlt with the whole page: reading
// the bitmap, classification, colour conversion, compression and the
// spool output) is timed. The peak memory is what the drawing call adds to
// the process above what it held before the call (the bitmap included).
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>

#include "bench_print_machine.h"
#include "gfx_demo.h"
#include "images.h"
#include "print_job.h"
#include "printer_dc.h"
#include "win/machine_root.h"
#include "win/spooler.h"

namespace {

using morva::print_host::PrinterDc;

constexpr int kWidth = 4960, kHeight = 7016;  // A4 at 600 dpi
constexpr double kPageBytes = 3.0 * kWidth * kHeight;

std::vector<unsigned char> g_rgb;  // the page, 3 bytes a pixel
double g_jpeg_alone = 0;
double g_memcpy = 0;

// The paths: the page as it is, and the ones that change its pixels.
enum Kind { kPlain, kReduced, kCorrected, kTurned, kIndexed, kKinds };
const char* const kKindNames[kKinds] = {"page image", "reduced", "colour corrected", "turned", "8-bit palette"};
// Settings of each path beside the compression (330).
const std::vector<std::pair<std::string, std::string>> kKindSettings[kKinds] = {
    {},
    {{"1302", "1"}, {"350", "300"}},
    {{"293", "2"}, {"286", "1"}, {"287", "1"}, {"288", "0"}},
    {{"326", "257"}},
    {},
};
const char* const kMethodNames[3] = {"raw", "run length", "JPEG"};
double g_seconds[kKinds][3] = {};  // per path and compression
double g_peak_mb[kKinds][3] = {};  // what each drawing call added

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

// Resident and peak resident size of the process in kB; writing 5 to
// clear_refs starts the peak again from the current size.
long status_kb(const char* key) {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
  return 0;
}
void reset_peak() { std::ofstream("/proc/self/clear_refs") << "5"; }

struct Scratch {
  morva::bench::DemoMachine machine;
  std::string& error = machine.error;
  morva::print_host::ImageBitmap bitmap, indexed;
  Scratch() {
    make_page();
    if (!error.empty()) return;
    // The bitmap a program would hand GDI: 24 bits, BGR.
    morva::print_host::Image image;
    image.width = kWidth;
    image.height = kHeight;
    image.rgba.resize(static_cast<std::size_t>(kWidth) * kHeight * 4);
    for (std::size_t i = 0, n = static_cast<std::size_t>(kWidth) * kHeight; i < n; ++i) {
      std::memcpy(&image.rgba[4 * i], &g_rgb[3 * i], 3);
      image.rgba[4 * i + 3] = 255;
    }
    if (!morva::print_host::make_bitmap(image, 24, false, &bitmap) ||
        !morva::print_host::make_bitmap(image, 8, false, &indexed))
      error = "cannot make the page bitmaps";
  }
};

void print_page(benchmark::State& state) {
  static Scratch s;
  if (!s.error.empty()) {
    state.SkipWithError(s.error.c_str());
    return;
  }
  const int compression = static_cast<int>(state.range(0));
  const int kind = static_cast<int>(state.range(1));
  std::map<WORD, std::string> settings{{330, std::to_string(compression)}};
  for (const auto& [id, value] : kKindSettings[kind]) settings[static_cast<WORD>(std::stoi(id))] = value;
  std::vector<BYTE> devmode;
  std::string error;
  if (!morva::print_host::build_devmode(morva::gfx_demo::kDemoPrinter, {}, settings, &devmode, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    auto dc = PrinterDc::create(morva::gfx_demo::kDemoPrinter, reinterpret_cast<const DEVMODEW*>(devmode.data()),
                                &error);
    if (!dc || !dc->start_doc(u"Page image") || !dc->start_page()) {
      state.SkipWithError(dc ? dc->failed_entry().c_str() : error.c_str());
      return;
    }
    const long before_kb = status_kb("VmRSS:");
    reset_peak();
    state.ResumeTiming();
    auto start = std::chrono::steady_clock::now();
    const bool drawn =
        dc->draw_bitmap(kind == kIndexed ? s.indexed : s.bitmap, RECTL{0, 0, kWidth, kHeight}, 0xCCCC);
    g_seconds[kind][compression] += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.PauseTiming();
    g_peak_mb[kind][compression] =
        std::max(g_peak_mb[kind][compression], (status_kb("VmHWM:") - before_kb) / 1024.0);
    if (!drawn || !dc->end_page() || !dc->end_doc()) {
      state.SkipWithError(dc->failed_entry().c_str());
      return;
    }
    std::filesystem::remove(morva::platform::job_spool_file(dc->job_id()));
    dc.reset();
    state.ResumeTiming();
  }
  g_seconds[kind][compression] /= static_cast<double>(state.iterations());
}
BENCHMARK(print_page)
    ->ArgNames({"compression", "path"})
    ->Args({0, kPlain})
    ->Args({1, kPlain})
    ->Args({2, kPlain})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
// The paths that change the pixels, raw and run-length coded.
BENCHMARK(print_page)
    ->ArgNames({"compression", "path"})
    ->ArgsProduct({{0, 1}, {kReduced, kCorrected, kTurned, kIndexed}})
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

void memcpy_page(benchmark::State& state) {
  make_page();
  std::vector<unsigned char> copy(g_rgb.size());
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    std::memcpy(copy.data(), g_rgb.data(), g_rgb.size());
    benchmark::ClobberMemory();
    g_memcpy += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  g_memcpy /= static_cast<double>(state.iterations());
}
BENCHMARK(memcpy_page)->Iterations(5)->Unit(benchmark::kMillisecond);

// libjpeg alone on the same pixels (RGB rows in memory), with the settings
// the driver uses, into memory.
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
BENCHMARK(jpeg_alone)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return morva::bench::RunBenchmarks(argc, argv, [] {
    const double mb = kPageBytes / 1e6;
    if (g_memcpy > 0) {
      const double copy_rate = mb / g_memcpy;
      for (int k = 0; k < kKinds; ++k)
        for (int i = 0; i < 3; ++i)
          if (g_seconds[k][i] > 0)
            std::printf("%s %s: %.1f MB/s; memcpy of the page %.0f MB/s; ratio %.3g\n", kKindNames[k], kMethodNames[i],
                        mb / g_seconds[k][i], copy_rate, (mb / g_seconds[k][i]) / copy_rate);
    }
    if (g_seconds[kPlain][2] > 0 && g_jpeg_alone > 0)
      std::printf("JPEG path %.1f ms against libjpeg alone %.1f ms: ratio %.3g (goal at most 1.2)\n",
                  1e3 * g_seconds[kPlain][2], 1e3 * g_jpeg_alone, g_seconds[kPlain][2] / g_jpeg_alone);
    for (int k = 0; k < kKinds; ++k)
      for (int i = 0; i < 3; ++i)
        if (g_seconds[k][i] > 0)
          std::printf("peak memory of the %s %s path: %.0f MB above the bitmap, %.2f page images\n", kKindNames[k],
                      kMethodNames[i], g_peak_mb[k][i], g_peak_mb[k][i] * 1048576.0 / kPageBytes);
  });
}
