// Benchmarks that print through the print host: a machine of their own in a
// new folder under /tmp (removed again at the end) with the demo printer
// installed from the benchmark program's folder, and the common main that
// runs the benchmarks and then prints the ratios they measured.
#pragma once

#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <string>

#include "gfx_demo.h"
#include "win/machine_root.h"

namespace morva::bench {

// Installs the printer on the machine rooted at `root` from the libraries
// in `bin`; false with *error on failure.
using InstallPrinter = std::function<bool(const std::string& root, const std::string& bin, std::string* error)>;

struct DemoMachine {
  std::string root;
  std::string error;  // empty when the printer is ready

  // The demo printer as it ships, or as `install` sets it up; its DC
  // DEVMODE becomes the default.
  explicit DemoMachine(const InstallPrinter& install = {}) {
    char folder[] = "/tmp/morva-bench-XXXXXX";
    root = mkdtemp(folder) ? folder : "/tmp";
    std::filesystem::create_directories(root + "/drive_c");
    platform::set_machine_root(root);
    const std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
    const bool installed = install ? install(root, bin, &error) : gfx_demo::install_demo_printer(bin, &error);
    if (installed) gfx_demo::make_dc_devmode_default(gfx_demo::kDemoPrinter, &error);
    else if (error.empty()) error = "the printer could not be installed";
  }
  ~DemoMachine() { std::filesystem::remove_all(root); }
  DemoMachine(const DemoMachine&) = delete;
  DemoMachine& operator=(const DemoMachine&) = delete;
};

// The benchmarks named on the command line, then `report`.
inline int RunBenchmarks(int argc, char** argv, const std::function<void()>& report) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  report();
  return 0;
}

}  // namespace morva::bench
