// A 10-page vector document printed on the demo printer through the print
// host and the real graphics driver, beside copying the same spool bytes
// with memcpy into a buffer. Prints pages per second, bytes per page and the
// ratio of the two byte rates, measured in the same run.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_print_machine.h"
#include "gfx_demo.h"
#include "print_job.h"
#include "win/machine_root.h"
#include "win/spooler.h"

namespace {

constexpr int kPages = 10;

struct Totals {
  double seconds = 0;
  double bytes = 0;
  double pages = 0;
};
Totals g_print, g_copy;
std::vector<char> g_spool;

// The machine and the document it prints.
struct Scratch {
  morva::bench::DemoMachine machine;
  morva::print_host::Document doc;
  Scratch() {
    std::string error = machine.error;
    if (!error.empty() || !morva::print_host::parse_document(
                              morva::gfx_demo::sample_vector_document(morva::gfx_demo::kDemoPrinter, kPages),
                              "bench.json", machine.root, &doc, &error))
      std::fprintf(stderr, "bench_vector_print: %s\n", error.c_str());
  }
};

void print_document(benchmark::State& state) {
  Scratch s;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    auto r = morva::print_host::print_document(s.doc);
    g_print.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!r.ok) {
      state.SkipWithError(r.error.c_str());
      return;
    }
    std::ifstream in(morva::platform::job_spool_file(r.job_id), std::ios::binary);
    g_spool.assign(std::istreambuf_iterator<char>(in), {});
    g_print.bytes += static_cast<double>(g_spool.size());
    g_print.pages += kPages;
    std::filesystem::remove(morva::platform::job_spool_file(r.job_id));
  }
  state.counters["pages/s"] = benchmark::Counter(g_print.pages / g_print.seconds);
  state.counters["bytes/page"] = benchmark::Counter(g_print.bytes / g_print.pages);
}
BENCHMARK(print_document)->Iterations(20)->Unit(benchmark::kMillisecond);

void memcpy_same_bytes(benchmark::State& state) {
  std::vector<char> buffer(g_spool.size());
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    std::memcpy(buffer.data(), g_spool.data(), g_spool.size());
    benchmark::ClobberMemory();
    g_copy.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    g_copy.bytes += static_cast<double>(g_spool.size());
  }
}
BENCHMARK(memcpy_same_bytes)->Iterations(20000);

}  // namespace

int main(int argc, char** argv) {
  return morva::bench::RunBenchmarks(argc, argv, [] {
    if (g_print.seconds > 0 && g_copy.seconds > 0 && g_copy.bytes > 0) {
      double print_rate = g_print.bytes / g_print.seconds, copy_rate = g_copy.bytes / g_copy.seconds;
      std::printf("vector print: %.1f pages/s, %.0f bytes/page; memcpy of the same bytes %.3g bytes/s; ratio %.3g\n",
                  g_print.pages / g_print.seconds, g_print.bytes / g_print.pages, copy_rate, print_rate / copy_rate);
    }
  });
}
