// The demo printer as a fax device: a copy of its database with the fax
// fields set, written under the test's folder and installed with its
// DEVMODE as the printer's default; and the destination list of the fax
// address file.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "ddd_builder.h"
#include "gfx_demo.h"

namespace morva::test {

// The fax fields of a device database: device class 2, the fax attribute
// line's room, the cover's device fonts and, when asked, the standard cover
// sheet's file name.
inline void MakeFaxDevice(nlohmann::json& d, bool cover_file) {
  d["main"]["fields"]["23"] = 1;
  d["main"]["fields"]["24"] = 100;
  d["main"]["fields"]["25"] = 600;
  d["main"]["fields"]["27"] = nlohmann::json::array({0x0100, 0x0200});
  if (cover_file) d["main"]["fields"]["28"] = nlohmann::json::array({"FAXCOVER.BIN"});
}

inline bool install_fax_device_printer(const std::string& root, bool cover_file, std::string* error) {
  std::ifstream in(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json");
  nlohmann::json d = nlohmann::json::parse(in);
  MakeFaxDevice(d, cover_file);
  const std::string folder = root + "/fax_database";
  std::filesystem::create_directories(folder);
  morva::ddd_build::write_images(morva::ddd_build::build_images(d), folder);
  return morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, error, folder) &&
         morva::gfx_demo::make_dc_devmode_default(morva::gfx_demo::kDemoPrinter, error);
}

// A "DFAX002" destination list as the fax address file holds it: the
// 1442-byte head (tag, count, subject at 18, comment at 100), then one
// 820-byte entry per destination (number at 2, name at 262); entries are
// (name, number).
inline std::string FaxDestinationList(const std::vector<std::pair<std::u16string, std::u16string>>& entries,
                                      const std::u16string& subject = {}, const std::u16string& comment = {}) {
  std::string blob(1442 + 820 * entries.size(), '\0');
  auto put_text = [&](std::size_t at, const std::u16string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      blob[at + 2 * i] = static_cast<char>(text[i] & 0xFF);
      blob[at + 2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
  };
  put_text(0, u"DFAX002");
  blob[16] = static_cast<char>(entries.size());
  put_text(18, subject);
  put_text(100, comment);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    put_text(1442 + 820 * i + 2, entries[i].second);
    put_text(1442 + 820 * i + 262, entries[i].first);
  }
  return blob;
}

}  // namespace morva::test
