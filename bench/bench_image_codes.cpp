// Throughput of the image paths that touch every pixel: the run-length
// coder on a band of a page (photo-like content and plain white) and the
// colour conversion in matrix and grid mode. Rates are in bytes of input.
// Target: run-length coding of photo-like RGB rows at 30 MB/s or more, colour
// conversion at 20 M pixels/s or more, so that a 600 dpi A4 page
// (35 M pixels) costs a few seconds at most.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "render/icc_transform.h"
#include "render/run_length_code.h"
#include "win/memory.h"

using namespace morva::render;

namespace {

constexpr DWORD kWidth = 2400;
constexpr DWORD kRows = 64;

std::vector<BYTE> Band(bool photo) {
  std::vector<BYTE> b(std::size_t{kWidth} * kRows * 3, 0xFF);
  if (!photo) return b;
  std::mt19937 rng(5);
  for (DWORD y = 0; y < kRows; ++y)
    for (DWORD x = 0; x < kWidth; ++x)
      for (DWORD c = 0; c < 3; ++c)
        b[(std::size_t{y} * kWidth + x) * 3 + c] = static_cast<BYTE>((x / 3 + y * 2 + c * 60) + (rng() % 4));
  return b;
}

void BM_RunLengthRgb(benchmark::State& state) {
  const std::vector<BYTE> band = Band(state.range(0) != 0);
  std::vector<BYTE> out(band.size());
  for (auto _ : state) {
    RunLengthCoder* coder = RunLengthCoder_Create(kWidth, kRows, 24);
    DWORD total = 0;
    for (DWORD y = 0; y < kRows; ++y) {
      const LONG n = RunLengthCoder_EncodeRow(coder, band.data() + std::size_t{y} * kWidth * 3, out.data() + total,
                                              static_cast<DWORD>(out.size()) - total);
      if (n < 0) break;
      total += static_cast<DWORD>(n);
    }
    benchmark::DoNotOptimize(RunLengthCoder_Finish(coder, out.data() + total, static_cast<DWORD>(out.size()) - total));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(band.size()));
}
BENCHMARK(BM_RunLengthRgb)->Arg(0)->Arg(1);

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
