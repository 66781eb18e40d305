// One machine root for a whole fuzzing run: made on first use, removed at
// exit, with files written into its C: drive for each input.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "win/machine_root.h"

namespace morva::fuzz {

// The root's path. It is never destroyed, so the exit handler can still
// read it, and a root that could not be made is never removed.
inline const std::string& machine_root() {
  static const std::string* path = [] {
    char templ[] = "/tmp/morva-fuzz-XXXXXX";
    auto* p = new std::string(mkdtemp(templ) ? templ : "/tmp");
    mkdir((*p + "/drive_c").c_str(), 0700);
    morva::platform::set_machine_root(*p);
    std::atexit([] {
      std::error_code ignored;
      if (*path != "/tmp") std::filesystem::remove_all(*path, ignored);
    });
    return p;
  }();
  return *path;
}

// Writes `bytes` to C:\<name> of the root (folders below C: are made);
// false when the file cannot be written.
inline bool write_drive_c_file(std::string_view name, std::string_view bytes) {
  std::filesystem::path file = std::filesystem::path(machine_root()) / "drive_c" / name;
  std::error_code ignored;
  std::filesystem::create_directories(file.parent_path(), ignored);
  std::FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) return false;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return true;
}

}  // namespace morva::fuzz
