// Builds a database from a JSON description into a fresh machine root and
// opens it, for the reader's tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "ddd_builder.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_host.h"
#include "settings/database/ddd_records.h"
#include "temp_root.h"
#include "win/memory.h"

namespace morva::test {

using nlohmann::json;

// A minimal one-file description at `level` with `records`.
inline json one_file(json records, unsigned level = 0x2000, json fields = json::object()) {
  return json{{"main",
               {{"file", "T.DDD"},
                {"title", "test"},
                {"version", "T:1.2.3"},
                {"level", level},
                {"model", "Model X"},
                {"fields", fields},
                {"records", records}}}};
}

class DddTest : public ::testing::Test {
 protected:
  TempRoot root;
  DddHandle* handle = nullptr;

  void TearDown() override {
    if (handle) DddClose(handle);
    morva::settings::ddd_set_module_directory(u"");
  }

  std::string dir() const { return root.file("drive_c/drivers"); }

  void write(const ddd_build::Images& images) { ddd_build::write_images(images, dir()); }

  // Builds, writes and opens; fails the test when the open fails.
  void open(const json& description, const char16_t* path = u"C:\\drivers\\T.DDD") {
    write(ddd_build::build_images(description));
    DddStatus status = 0;
    handle = DddOpenPath(path, &status);
    ASSERT_NE(handle, nullptr) << "status " << status;
    // String libraries lie beside the database.
    morva::settings::ddd_set_module_directory(u"C:\\drivers\\");
  }

  // Builds the demo printer's database as the installer ships it and opens
  // it; fails the test when the open fails.
  void open_demo() {
    ddd_build::build_file(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json", dir());
    morva::settings::ddd_set_module_directory(u"C:\\drivers\\");
    DddStatus status = 0;
    handle = DddOpenPath(u"C:\\drivers\\MVDEMO.DDD", &status);
    ASSERT_NE(handle, nullptr) << "status " << status;
  }

  DddStatus open_status(const char16_t* path = u"C:\\drivers\\T.DDD") {
    DddStatus status = 0;
    DddHandle* h = DddOpenPath(path, &status);
    if (h) DddClose(h);
    return status;
  }

  template <typename V>
  V* load(WORD kind, WORD id, WORD mode = DDD_LOAD_FULL, DddStatus expect = DDD_OK) {
    DddValue* v = nullptr;
    DddStatus s = DddLoadRecord(mode, &handle->main, &handle->linked, kind, id, 0, &v);
    EXPECT_EQ(s, expect) << "kind " << kind << " id " << id;
    return static_cast<V*>(v);
  }
};

inline std::u16string wide(const WCHAR* text) { return text ? std::u16string(text) : std::u16string(); }

// Frees a value through DddFreeValue with its own kind.
template <typename V>
void free_value(V*& v) {
  DddValue* p = v;
  EXPECT_EQ(DddFreeValue(&p, 0xFFFF), 0);
  v = nullptr;
}

}  // namespace morva::test
