// Recorded pages played back: a 100-page booklet and a 20-page job played
// last page first, each printed on the demo printer through the print host
// and the real graphics driver, beside the same pages printed straight to
// the spooler. Prints the time and output bytes of each and the ratio of
// each playback's time to its straight print, measured in the same run.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "gfx_demo.h"
#include "print_job.h"
#include "win/machine_root.h"
#include "win/spooler.h"

namespace {

struct Totals {
  double seconds = 0;
  double bytes = 0;
  int runs = 0;
};
std::map<std::string, Totals> g_totals;

struct Scratch {
  std::string root;
  Scratch() {
    char folder[] = "/tmp/morva-bench-XXXXXX";
    root = mkdtemp(folder) ? folder : "/tmp";
    std::filesystem::create_directories(root + "/drive_c");
    morva::platform::set_machine_root(root);
    std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
    std::string error;
    if (!morva::gfx_demo::install_demo_printer(bin, &error) ||
        !morva::gfx_demo::make_dc_devmode_default(morva::gfx_demo::kDemoPrinter, &error))
      std::fprintf(stderr, "bench_recorded_pages: %s\n", error.c_str());
  }
  ~Scratch() { std::filesystem::remove_all(root); }
};

void run(benchmark::State& state, const std::string& name, int pages, const std::string& settings) {
  Scratch s;
  std::string json = morva::gfx_demo::sample_vector_document(morva::gfx_demo::kDemoPrinter, pages);
  if (!settings.empty()) json.insert(json.find("\"pages\""), "\"ddmid\": {" + settings + "}, ");
  morva::print_host::Document doc;
  std::string error;
  if (!morva::print_host::parse_document(json, "bench.json", s.root, &doc, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  Totals& t = g_totals[name];
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    auto r = morva::print_host::print_document(doc);
    t.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!r.ok) {
      state.SkipWithError(r.error.c_str());
      return;
    }
    std::string spool = morva::platform::job_spool_file(r.job_id);
    t.bytes += static_cast<double>(std::filesystem::file_size(spool));
    ++t.runs;
    std::filesystem::remove(spool);
  }
}

void booklet_100(benchmark::State& state) { run(state, "booklet", 100, "\"321\": 2"); }
void straight_100(benchmark::State& state) { run(state, "straight 100", 100, ""); }
void reverse_20(benchmark::State& state) { run(state, "reverse", 20, "\"1312\": 1"); }
void straight_20(benchmark::State& state) { run(state, "straight 20", 20, ""); }
BENCHMARK(booklet_100)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(straight_100)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(reverse_20)->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(straight_20)->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  auto report = [](const char* what, const Totals& played, const Totals& straight) {
    if (played.runs == 0 || straight.runs == 0 || straight.seconds <= 0) return;
    double a = played.seconds / played.runs, b = straight.seconds / straight.runs;
    std::printf("%s: %.1f ms, %.0f output bytes; straight print %.1f ms, %.0f bytes; ratio %.3g\n", what, a * 1000,
                played.bytes / played.runs, b * 1000, straight.bytes / straight.runs, a / b);
  };
  report("100-page booklet", g_totals["booklet"], g_totals["straight 100"]);
  report("20 pages last first", g_totals["reverse"], g_totals["straight 20"]);
  return 0;
}
