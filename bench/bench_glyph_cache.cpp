// A dense Japanese page through the model of the printer's glyph memory:
// 6000 glyphs of 2500 distinct characters (records of 300-1500 bytes, the
// sizes of outline records of 10-point to 14-point ideographs), at glyph
// memories from 64 KB to 4 MB. Prints glyphs per second and the bytes sent
// (downloads and draws by address) at each size, beside the same page with
// every glyph already resident, measured in the same run, and their ratio.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <vector>

#include "render/glyph_cache.h"

namespace {

using namespace morva::gfx;

constexpr int kGlyphs = 6000;
constexpr int kDistinct = 2500;
constexpr DWORD kDrawBytes = 8;  // a draw by address

struct Page {
  std::vector<WORD> codes;
  std::vector<DWORD> sizes;  // by distinct index
  Page() {
    std::mt19937 rng(28);
    std::uniform_int_distribution<DWORD> size(300, 1500);
    for (int i = 0; i < kDistinct; ++i) sizes.push_back(size(rng));
    // Common characters recur: a skewed choice over the distinct ones.
    std::geometric_distribution<int> pick(0.002);
    for (int i = 0; i < kGlyphs; ++i) codes.push_back(static_cast<WORD>(pick(rng) % kDistinct));
  }
};
const Page g_page;

struct Result {
  double seconds = 0, glyphs = 0, bytes = 0;
};
std::map<long, Result> g_results;  // by capacity; 0 = all resident

// One page through the cache: find, else probe, download and commit.
double run_page(GlyphCache* cache) {
  double bytes = 0;
  for (WORD code : g_page.codes) {
    DWORD at = 0, flag = 0;
    if (LookupDownloadCache(cache, code, 1, kGlyphKindOutline, &at) != kCacheOk) {
      const DWORD size = g_page.sizes[code];
      if (AllocateDownloadCache(cache, code, 1, kGlyphKindOutline, &at, &flag, size, 0) == kCacheOk &&
          AllocateDownloadCache(cache, code, 1, kGlyphKindOutline, &at, &flag, size, 1) == kCacheOk)
        bytes += size + 4;
      else
        bytes += size + 7;  // drawn inline
    }
    bytes += kDrawBytes;
  }
  return bytes;
}

void glyph_memory(benchmark::State& state) {
  const long capacity = state.range(0);
  Result& r = g_results[capacity];
  for (auto _ : state) {
    GlyphCache* cache = nullptr;
    CreateDownloadCache(&cache, capacity ? static_cast<DWORD>(capacity) : 64u << 20);
    if (capacity == 0) run_page(cache);  // every glyph resident before the page
    const auto start = std::chrono::steady_clock::now();
    r.bytes += run_page(cache);
    r.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.glyphs += kGlyphs;
    DestroyDownloadCache(cache);
  }
  state.counters["glyphs/s"] = benchmark::Counter(r.glyphs / r.seconds);
  state.counters["bytes/page"] = benchmark::Counter(r.bytes * kGlyphs / r.glyphs);
}
BENCHMARK(glyph_memory)->Arg(0)->Arg(64 << 10)->Arg(256 << 10)->Arg(1 << 20)->Arg(4 << 20)->Iterations(10)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const Result& resident = g_results[0];
  if (resident.seconds <= 0) return 0;
  const double anchor = resident.glyphs / resident.seconds;
  std::printf("all resident: %.3g glyphs/s, %.0f bytes/page\n", anchor, resident.bytes * kGlyphs / resident.glyphs);
  for (const auto& [capacity, r] : g_results) {
    if (capacity == 0 || r.seconds <= 0) continue;
    const double rate = r.glyphs / r.seconds;
    std::printf("glyph memory %ld KB: %.3g glyphs/s, %.0f bytes/page; ratio to all resident %.3g\n", capacity / 1024,
                rate, r.bytes * kGlyphs / r.glyphs, rate / anchor);
  }
  return 0;
}
