// A small device database for the fax tests: the per-user key bases
// (strings 30 and 33) and the largest destination count (field 25), built
// into the machine root and opened.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "ddd_builder.h"
#include "settings/database/ddd_file.h"
#include "temp_root.h"

namespace morva::test {

inline constexpr char16_t kFaxBase30[] = u"Software\\Morva\\Fax Test\\";
inline constexpr char16_t kFaxBase33[] = u"Software\\Morva\\Fax Test\\Users\\";

// Opens a database with the two key bases and `fields` beside them; null
// (and a test failure) when it cannot be built or opened.
inline DddHandle* open_fax_database(const TempRoot& root, nlohmann::json fields = nlohmann::json::object()) {
  fields["30"] = "Software\\Morva\\Fax Test\\";
  fields["33"] = "Software\\Morva\\Fax Test\\Users\\";
  const nlohmann::json description = {{"main",
                                       {{"file", "FAX.DDD"},
                                        {"title", "fax"},
                                        {"version", "F:1.0.0"},
                                        {"level", 0x2000},
                                        {"model", "Fax Model"},
                                        {"fields", fields},
                                        {"records", nlohmann::json::array()}}}};
  ddd_build::write_images(ddd_build::build_images(description), root.file("drive_c/drivers"));
  DddStatus status = 0;
  DddHandle* handle = DddOpenPath(u"C:\\drivers\\FAX.DDD", &status);
  EXPECT_NE(handle, nullptr) << "status " << status;
  return handle;
}

}  // namespace morva::test
