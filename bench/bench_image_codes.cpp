// Throughput of the image paths that touch every pixel: the run-length
// coder on a band of a page (photo-like content and plain white) and on a
// whole A4 page at 600 dpi, each beside JPEG (libjpeg, through the driver's
// own JPEG path) on the same pixels in the same run, and the colour
// conversion in matrix and grid mode. Rates are in bytes of input.
// "jpeg_over_rl" is JPEG's time over the run-length coder's.
// Targets: run-length coding of photo-like RGB rows at 200 MB/s or more,
// colour conversion at 20 M pixels/s or more, so that a 600 dpi A4 page
// (35 M pixels) costs a few seconds at most.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "render/icc_transform.h"
#include "render/image_compression.h"
#include "render/run_length_code.h"
#include "win/memory.h"

using namespace morva::render;

namespace {

constexpr DWORD kWidth = 2400;
constexpr DWORD kRows = 64;

// Photo-like content: smooth gradients with a little noise in every
// component, as a scanned photo has.
std::vector<BYTE> Photo(DWORD width, DWORD rows) {
  std::vector<BYTE> b(std::size_t{width} * rows * 3);
  std::mt19937 rng(5);
  for (DWORD y = 0; y < rows; ++y)
    for (DWORD x = 0; x < width; ++x)
      for (DWORD c = 0; c < 3; ++c)
        b[(std::size_t{y} * width + x) * 3 + c] = static_cast<BYTE>((x / 3 + y * 2 + c * 60) + (rng() % 4));
  return b;
}

std::vector<BYTE> Band(bool photo) {
  if (photo) return Photo(kWidth, kRows);
  return std::vector<BYTE>(std::size_t{kWidth} * kRows * 3, 0xFF);
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Run-length codes an RGB image; answers the coded bytes or -1.
long RunLength(const std::vector<BYTE>& image, DWORD width, DWORD rows, std::vector<BYTE>& out) {
  RunLengthCoder* coder = RunLengthCoder_Create(width, rows, 24);
  std::size_t total = 0;
  for (DWORD y = 0; y < rows; ++y) {
    const LONG n = RunLengthCoder_EncodeRow(coder, image.data() + std::size_t{y} * width * 3, out.data() + total,
                                            static_cast<DWORD>(out.size() - total));
    if (n < 0) {
      RunLengthCoder_Finish(coder, nullptr, 0);
      return -1;
    }
    total += static_cast<std::size_t>(n);
  }
  const LONG n = RunLengthCoder_Finish(coder, out.data() + total, static_cast<DWORD>(out.size() - total));
  return n < 0 ? -1 : static_cast<long>(total) + n;
}

// Seconds of the driver's JPEG path on a copy of the image (the copy is
// not timed).
double JpegSeconds(const std::vector<BYTE>& image, DWORD width, DWORD rows, std::vector<BYTE>& work) {
  work.assign(image.begin(), image.end());
  BYTE method = 0, format = kImageRgb24;
  DWORD length = static_cast<DWORD>(work.size());
  MemoryImageScratch scratch;
  ImageCompressionRecord record{};
  record.has_data = TRUE;
  record.bits_per_pixel = 24;
  record.width = static_cast<WORD>(width);
  record.height = static_cast<WORD>(rows);
  record.method = &method;
  record.format = &format;
  record.length = &length;
  record.scratch = &scratch;
  const auto t0 = std::chrono::steady_clock::now();
  const INT r = EncodeJpeg(&record, work.data());
  const double t = Seconds(t0);
  return r == kCompressDone ? t : -1.0;
}

// Each iteration codes the band once; the quickest counts. JPEG on the same
// band is timed after the loop, the quickest of five.
void BM_RunLengthRgb(benchmark::State& state) {
  const std::vector<BYTE> band = Band(state.range(0) != 0);
  std::vector<BYTE> out(band.size()), work;
  double best = 1e30;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(RunLength(band, kWidth, kRows, out));
    best = std::min(best, Seconds(t0));
  }
  double jpeg = 1e30;
  for (int i = 0; i < 5; ++i) jpeg = std::min(jpeg, JpegSeconds(band, kWidth, kRows, work));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(band.size()));
  state.counters["rl_MBps"] = static_cast<double>(band.size()) / best * 1e-6;
  state.counters["jpeg_over_rl"] = jpeg / best;
}
BENCHMARK(BM_RunLengthRgb)->Arg(0)->Arg(1);

// A whole A4 page at 600 dpi (4960 x 7016 RGB pixels, 104 MB) of photo
// content: the run-length coder against JPEG, each the quickest of the
// iterations.
void BM_A4PagePhoto(benchmark::State& state) {
  constexpr DWORD kPageWidth = 4960, kPageRows = 7016;
  static const std::vector<BYTE> page = Photo(kPageWidth, kPageRows);
  std::vector<BYTE> out(page.size()), work;
  double rl = 1e30, jpeg = 1e30;
  long coded = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    coded = RunLength(page, kPageWidth, kPageRows, out);
    rl = std::min(rl, Seconds(t0));
    jpeg = std::min(jpeg, JpegSeconds(page, kPageWidth, kPageRows, work));
  }
  if (coded < 0 || jpeg < 0) state.SkipWithError("a coder failed");
  state.counters["rl_ms"] = rl * 1e3;
  state.counters["jpeg_ms"] = jpeg * 1e3;
  state.counters["rl_MBps"] = static_cast<double>(page.size()) / rl * 1e-6;
  state.counters["jpeg_over_rl"] = jpeg / rl;
}
BENCHMARK(BM_A4PagePhoto)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_ConvertPixels(benchmark::State& state) {
  IccTransform t;
  InitIccTransform(&t);
  if (state.range(0) == 0) {
    SelectColourTemperature(&t, 5000, 0x16);
  } else {
    // A grid mode transform with identity curves and a smooth grid.
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 256; ++i) t.input_curves[c][i] = static_cast<WORD>(i * 257);
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, kIccGridEntries * sizeof(WORD));
    t.grid = static_cast<WORD*>(GlobalLock(h));
    for (std::size_t i = 0; i < kIccGridEntries; ++i) t.grid[i] = static_cast<WORD>((i * 977) & 0xFFFF);
    t.mode = kIccModeGrid;
  }
  std::vector<BYTE> pixels = Band(true);
  const DWORD count = static_cast<DWORD>(pixels.size() / 3);
  for (auto _ : state) {
    ConvertPixelsGrid(&t, pixels.data(), pixels.data(), count);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * count);
  FreeIccTransform(&t);
}
BENCHMARK(BM_ConvertPixels)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
