// The demo printer as a fax device: a copy of its database with the fax
// fields set (device class 2, the fax attribute line's room, the cover's
// device fonts and, when asked, the standard cover sheet's file name),
// written under the test's folder and installed with its DEVMODE as the
// printer's default.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "ddd_builder.h"
#include "gfx_demo.h"

namespace morva::test {

inline bool install_fax_device_printer(const std::string& root, bool cover_file, std::string* error) {
  std::ifstream in(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json");
  nlohmann::json d = nlohmann::json::parse(in);
  d["main"]["fields"]["23"] = 1;
  d["main"]["fields"]["24"] = 100;
  d["main"]["fields"]["25"] = 600;
  d["main"]["fields"]["27"] = nlohmann::json::array({0x0100, 0x0200});
  if (cover_file) d["main"]["fields"]["28"] = nlohmann::json::array({"FAXCOVER.BIN"});
  const std::string folder = root + "/fax_database";
  std::filesystem::create_directories(folder);
  morva::ddd_build::write_images(morva::ddd_build::build_images(d), folder);
  return morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, error, folder) &&
         morva::gfx_demo::make_dc_devmode_default(morva::gfx_demo::kDemoPrinter, error);
}

}  // namespace morva::test
