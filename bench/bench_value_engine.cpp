// Value engine: get and set of a scalar, a flag and a string setting, and
// a sweep over every DDMID that reports the slowest against the fastest
// (target: within 1.5x).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "ddm/ddmid.h"

using namespace morva::ddm;

namespace {

struct Stores {
  std::vector<BYTE> dm = std::vector<BYTE>(kPrivateDevmodeSize);
  std::vector<BYTE> pd = std::vector<BYTE>(kPrinterDataSize);
};

void get_one(benchmark::State& state, WORD id) {
  Stores s;
  WORD type, selector;
  DWORD size, value;
  for (auto _ : state) {
    benchmark::DoNotOptimize(dma_GetValue(id, s.dm.data(), s.pd.data(), &type, &size, &value, &selector));
    benchmark::DoNotOptimize(value);
  }
}

void BM_GetScalar(benchmark::State& state) { get_one(state, 5123); }
void BM_GetFlag(benchmark::State& state) { get_one(state, 2400); }
void BM_GetString(benchmark::State& state) { get_one(state, 5129); }

void BM_SetScalar(benchmark::State& state) {
  Stores s;
  DWORD v = 0;
  for (auto _ : state) {
    ++v;
    benchmark::DoNotOptimize(dma_SetValue(5123, s.dm.data(), s.pd.data(), kTypeWord, 2, &v));
    v &= 0xFFFF;
  }
}

void BM_SetFlag(benchmark::State& state) {
  Stores s;
  DWORD v = 0;
  for (auto _ : state) {
    v ^= 1;
    benchmark::DoNotOptimize(dma_SetValue(2400, s.dm.data(), s.pd.data(), kTypeLong, 4, &v));
  }
}

void BM_SetString(benchmark::State& state) {
  Stores s;
  const char16_t* text = u"Quarterly report";
  for (auto _ : state) {
    benchmark::DoNotOptimize(dma_SetValue(5129, s.dm.data(), s.pd.data(), kTypeString, 50, &text));
  }
}

// Times every DDMID in short batches, many passes over all of them, and
// keeps each one's quickest batch, so that a busy machine disturbs all
// DDMIDs alike; reports the fastest and slowest DDMID and their ratio.
void BM_EveryDdmid(benchmark::State& state) {
  Stores s;
  std::vector<WORD> ids;
  for (const DdmidRange* r = dma_RangeTable(); r->list != nullptr; ++r) {
    for (const DdmidDescriptor* d = r->list; d->ddmid != 0; ++d) {
      if (d->ddmid != 311) ids.push_back(d->ddmid);
    }
  }
  constexpr int kCalls = 200;
  constexpr int kPasses = 20;
  std::vector<double> quickest(ids.size());
  for (auto _ : state) {
    std::fill(quickest.begin(), quickest.end(), 1e30);
    for (int pass = 0; pass < kPasses; ++pass) {
      for (std::size_t k = 0; k < ids.size(); ++k) {
        WORD type, selector;
        DWORD size, value;
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < kCalls; ++i) {
          benchmark::DoNotOptimize(
              dma_GetValue(ids[k], s.dm.data(), s.pd.data(), &type, &size, &value, &selector));
          benchmark::ClobberMemory();
        }
        const auto t1 = std::chrono::steady_clock::now();
        quickest[k] = std::min(quickest[k], std::chrono::duration<double, std::nano>(t1 - t0).count() / kCalls);
      }
    }
  }
  const auto [best, worst] = std::minmax_element(quickest.begin(), quickest.end());
  state.counters["best_ns"] = *best;
  state.counters["worst_ns"] = *worst;
  state.counters["worst_over_best"] = *worst / *best;
}

}  // namespace

BENCHMARK(BM_GetScalar);
BENCHMARK(BM_GetFlag);
BENCHMARK(BM_GetString);
BENCHMARK(BM_SetScalar);
BENCHMARK(BM_SetFlag);
BENCHMARK(BM_SetString);
BENCHMARK(BM_EveryDdmid)->Iterations(3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
