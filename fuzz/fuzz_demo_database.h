// The demo printer's device database, built into the fuzzing machine root's
// C:\drivers\ once and kept open for the whole run, so that readers which
// look up items, papers and the driver's identity get past those look-ups.
// Targets that use it link morva_ddd_builder.
#pragma once

#include <cstdlib>
#include <string>

#include "ddd_builder.h"
#include "fuzz_machine_root.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_host.h"

namespace morva::fuzz {

inline DddHandle* demo_database() {
  static DddHandle* handle = [] {
    const std::string drivers = machine_root() + "/drive_c/drivers";
    morva::ddd_build::build_file(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json", drivers);
    morva::settings::ddd_set_module_directory(u"C:\\drivers\\");
    DddStatus status = 0;
    DddHandle* h = DddOpenPath(u"C:\\drivers\\MVDEMO.DDD", &status);
    if (!h) std::abort();  // a target without its database tests nothing
    return h;
  }();
  return handle;
}

}  // namespace morva::fuzz
