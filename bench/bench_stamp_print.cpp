// A page stamped with "DRAFT" repeated over the whole sheet, printed on the
// demo printer through the print host, the interface DLL's stamp drawing and
// the real graphics driver, beside a page of the same text drawn by the
// program itself 2000 times. Both are timed per placed glyph (the glyph
// draw operators of the spool); the ratio of the two is printed.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_print_machine.h"
#include "gfx_demo.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "win/machine_root.h"
#include "win/spooler.h"

namespace {

struct Totals {
  double seconds = 0;
  double glyphs = 0;
};
Totals g_stamp, g_text;

std::string document(const std::string& settings, int texts) {
  std::string json = R"({"printer": "Morva Demo Printer", "document": "Stamp", "units": "px", )";
  if (!settings.empty()) json += R"("ddmid": {)" + settings + "}, ";
  json += R"("pages": [{"ops": [{"op": "font", "face": "DejaVu Sans", "size": 10})";
  for (int i = 0; i < texts; ++i)
    json += R"(, {"op": "text", "x": )" + std::to_string(100 + i % 40 * 110) + R"(, "y": )" +
            std::to_string(100 + i / 40 * 120) + R"(, "text": "DRAFT"})";
  return json + "]}]}";
}

void print(benchmark::State& state, const std::string& json, Totals* totals) {
  morva::bench::DemoMachine s;
  morva::print_host::Document doc;
  std::string error = s.error;
  if (!error.empty() || !morva::print_host::parse_document(json, "bench.json", s.root, &doc, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    auto r = morva::print_host::print_document(doc);
    totals->seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!r.ok) {
      state.SkipWithError(r.error.c_str());
      return;
    }
    const std::string file = morva::platform::job_spool_file(r.job_id);
    std::ifstream in(file, std::ios::binary);
    const std::vector<unsigned char> spool{std::istreambuf_iterator<char>(in), {}};
    const auto decoded = morva::tools::DecodeSpoolFile(spool.data(), spool.size());
    for (const auto& item : decoded.items)
      if (item.kind == morva::tools::PdlItem::Operator && (item.text == "DI" || item.text == "DM")) ++totals->glyphs;
    std::filesystem::remove(file);
  }
  state.counters["glyphs/s"] = benchmark::Counter(totals->glyphs / totals->seconds);
}

void stamped_sheet(benchmark::State& state) {
  print(state, document(R"("1333": 1, "297": "Mark", "299": "DRAFT", "1288": 1)", 1), &g_stamp);
}
BENCHMARK(stamped_sheet)->Iterations(3)->Unit(benchmark::kMillisecond);

void program_text(benchmark::State& state) { print(state, document("", 2000), &g_text); }
BENCHMARK(program_text)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return morva::bench::RunBenchmarks(argc, argv, [] {
    if (g_stamp.glyphs > 0 && g_text.glyphs > 0) {
      const double stamp_rate = g_stamp.glyphs / g_stamp.seconds, text_rate = g_text.glyphs / g_text.seconds;
      std::printf("stamp: %.0f glyphs/s over the sheet; program text %.0f glyphs/s; ratio %.3g\n", stamp_rate,
                  text_rate, stamp_rate / text_rate);
    }
  });
}
