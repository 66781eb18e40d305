// Recorded pages played back: a 100-page booklet, 10 collated copies of a
// 20-page document and a 20-page job played last page first, each printed
// on the demo printer through the print host and the real graphics driver,
// beside the same pages printed straight to the spooler and beside writing
// the job's output bytes once to a file. Prints the time, output bytes and
// the most the driver's temp files held of each, and the ratios of each
// playback's time to both anchors, measured in the same run.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench_temp_watch.h"
#include "ddd_builder.h"
#include "bench_print_machine.h"
#include "gfx_demo.h"
#include "print_job.h"
#include "settings/database/ddd_file.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_settings.h"
#include "win/machine_root.h"
#include "win/spooler.h"

namespace {

struct Totals {
  double seconds = 0;
  double bytes = 0;
  double copy_seconds = 0;  // writing the same output bytes once
  double temp_bytes = 0;    // the most the driver's temp files held
  int runs = 0;
};
std::map<std::string, Totals> g_totals;

// The demo database with the capability bits of driver collation, and the
// printer's PDL version at which the driver collates copies itself.
bool make_collating(const std::string& root, const std::string& bin, std::string* error) {
  std::ifstream in(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json");
  nlohmann::json d = nlohmann::json::parse(in);
  d["main"]["fields"]["26"] = d["main"]["fields"]["26"].get<long>() | 0x30000;
  const std::string folder = root + "/collating_database";
  std::filesystem::create_directories(folder);
  morva::ddd_build::write_images(morva::ddd_build::build_images(d), folder);
  if (!morva::gfx_demo::install_demo_printer(bin, error, folder)) return false;
  std::u16string name = morva::gfx_demo::kDemoPrinter;
  HANDLE h = nullptr;
  PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (!OpenPrinterW(name.data(), &h, &access)) return false;
  DddHandle* db = DddOpen(h);
  bool ok = db != nullptr;
  if (db) {
    std::vector<BYTE> block(7972), devmode(5988);
    DWORD version = 0x01010903;
    ok = ReadPrinterSettings(h, block.data(), db) == 1 &&
         SetItemValue(8205, devmode.data(), block.data(), sizeof version, 5, &version) &&
         InitializePrinterSettings(h, block.data(), db, TRUE) == 1;
    DddClose(db);
  }
  ClosePrinter(h);
  return ok;
}

void run(benchmark::State& state, const std::string& name, int pages, const std::string& settings,
         bool collating = false) {
  morva::bench::DemoMachine s(collating ? morva::bench::InstallPrinter(make_collating) : nullptr);
  std::string json = morva::gfx_demo::sample_vector_document(morva::gfx_demo::kDemoPrinter, pages);
  if (!settings.empty()) json.insert(json.find("\"pages\""), "\"ddmid\": {" + settings + "}, ");
  morva::print_host::Document doc;
  std::string error = s.error;
  if (!error.empty() || !morva::print_host::parse_document(json, "bench.json", s.root, &doc, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  Totals& t = g_totals[name];
  for (auto _ : state) {
    morva::bench::TempFileWatch watch;
    auto start = std::chrono::steady_clock::now();
    auto r = morva::print_host::print_document(doc);
    t.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    t.temp_bytes += static_cast<double>(watch.peak());
    if (!r.ok) {
      state.SkipWithError(r.error.c_str());
      return;
    }
    std::string spool = morva::platform::job_spool_file(r.job_id);
    t.bytes += static_cast<double>(std::filesystem::file_size(spool));
    {
      std::ifstream in(spool, std::ios::binary);
      const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      const auto copy_start = std::chrono::steady_clock::now();
      {
        std::ofstream out(s.root + "/copy.bin", std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      }
      t.copy_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - copy_start).count();
    }
    ++t.runs;
    std::filesystem::remove(spool);
  }
}

void booklet_100(benchmark::State& state) { run(state, "booklet", 100, "\"321\": 2"); }
void straight_100(benchmark::State& state) { run(state, "straight 100", 100, ""); }
void copies_20(benchmark::State& state) { run(state, "copies", 20, "\"12\": 10, \"18\": 1", true); }
void reverse_20(benchmark::State& state) { run(state, "reverse", 20, "\"1312\": 1"); }
void straight_20(benchmark::State& state) { run(state, "straight 20", 20, ""); }
BENCHMARK(booklet_100)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(straight_100)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(copies_20)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(reverse_20)->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(straight_20)->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return morva::bench::RunBenchmarks(argc, argv, [] {
    auto report = [](const char* what, const Totals& played, const Totals& straight) {
      if (played.runs == 0 || straight.runs == 0 || straight.seconds <= 0) return;
      double a = played.seconds / played.runs, b = straight.seconds / straight.runs;
      double c = played.copy_seconds / played.runs;
      std::printf("%s: %.1f ms, %.0f output bytes, %.0f temp-file bytes at most; straight print %.1f ms, %.0f bytes; "
                  "ratio %.3g; writing its bytes once %.2f ms, ratio %.3g\n",
                  what, a * 1000, played.bytes / played.runs, played.temp_bytes / played.runs, b * 1000,
                  straight.bytes / straight.runs, a / b, c * 1000, c > 0 ? a / c : 0.0);
    };
    report("100-page booklet", g_totals["booklet"], g_totals["straight 100"]);
    report("10 collated copies of 20 pages", g_totals["copies"], g_totals["straight 20"]);
    report("20 pages last first", g_totals["reverse"], g_totals["straight 20"]);
  });
}
