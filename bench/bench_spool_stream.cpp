// Spool stream: the PDL encoder's one-to-a-few-byte writes gathered by the
// 2048-byte buffer, and large image writes passed on without copying, into
// a store file of a scratch machine root.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "output/spool_stream.h"
#include "win/win.h"

namespace {

struct Scratch {
  std::string root;
  SpoolStream* stream = nullptr;
  Scratch() {
    char folder[] = "/tmp/morva-bench-XXXXXX";
    root = mkdtemp(folder) ? folder : "/tmp";
    std::filesystem::create_directories(root + "/drive_c");
    morva::platform::set_machine_root(root);
    stream = CreateSpoolStream(nullptr);
    DWORD size = 0;
    OpenStoreFile(stream, u"C:\\bench.prn", &size, kFileCreateAlways);
  }
  ~Scratch() {
    DWORD size = 0;
    CloseStoreFile(stream, &size);
    DestroySpoolStream(stream);
    std::filesystem::remove_all(root);
  }
};

void small_writes(benchmark::State& state) {
  Scratch s;
  const auto n = static_cast<DWORD>(state.range(0));
  std::vector<BYTE> bytes(n, 0x41);
  for (auto _ : state) benchmark::DoNotOptimize(WriteSpoolStream(s.stream, n, bytes.data()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
}
// Fixed iteration counts keep the scratch file small.
BENCHMARK(small_writes)->Arg(1)->Arg(3)->Arg(8)->Iterations(4000000);

void image_writes(benchmark::State& state) {
  Scratch s;
  std::vector<BYTE> bytes(64 * 1024, 0x5A);
  for (auto _ : state)
    benchmark::DoNotOptimize(WriteSpoolStream(s.stream, static_cast<DWORD>(bytes.size()), bytes.data()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(image_writes)->Iterations(1000);

}  // namespace

BENCHMARK_MAIN();
