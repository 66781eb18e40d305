// The settings targets' common start: the fuzzing machine root with an
// in-memory store and the demo database, and that database's default
// DEVMODE, each made once for the whole run.
#pragma once

#include <cstdint>
#include <vector>

#include "ddm/ddmid.h"
#include "fuzz_demo_database.h"
#include "settings/items/default_settings.h"
#include "win/machine_store.h"

namespace morva::fuzz {

inline DddHandle* settings_environment() {
  static DddHandle* handle = [] {
    machine_root();
    morva::platform::use_in_memory_store(true);
    return demo_database();
  }();
  return handle;
}

inline const std::vector<std::uint8_t>& demo_default_devmode() {
  static const std::vector<std::uint8_t> devmode = [] {
    std::vector<std::uint8_t> d(morva::ddm::kPrivateDevmodeSize);
    FillDefaultSettings(settings_environment(), d.data(), nullptr, u"Fuzz");
    return d;
  }();
  return devmode;
}

}  // namespace morva::fuzz
