// The device-database builder: descriptions it refuses, and the demo
// printer's description read back through the reader.
#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "ddd_builder.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_host.h"
#include "settings/database/ddd_records.h"
#include "temp_root.h"

namespace morva::test {
namespace {

using nlohmann::json;

json base() { return json{{"main", {{"file", "T.DDD"}, {"records", json::array()}}}}; }

TEST(DddBuild, RefusesInvalidDescriptions) {
  struct Case {
    const char* what;
    json patch;  // merged into base()
    const char* message;
  } cases[] = {
      {"no global field 42", {{"main", {{"fields", {{"42", 1}}}}}}, "no global field 42"},
      {"field 0 is computed", {{"main", {{"fields", {{"0", 1}}}}}}, "no global field 0"},
      {"word field too large", {{"main", {{"fields", {{"4", 70000}}}}}}, "value too large"},
      {"list field given a number", {{"main", {{"fields", {{"3", 1}}}}}}, "must be a list"},
      {"model text too long", {{"main", {{"model", std::string(64, 'm')}}}}, "longer than 63"},
      {"text outside Windows-1252", {{"main", {{"model", "\u4e2d"}}}}, "not representable"},
      {"kind without table", {{"main", {{"records", {{{"kind", 2}}}}}}}, "has no table"},
      {"record in a missing linked file", {{"main", {{"records", {{{"kind", 17}, {"in", "linked"}}}}}}},
       "no linked file"},
      {"dimension pair of three", {{"main", {{"records", {{{"kind", 17}, {"first", {1, 2, 3}}}}}}}}, "needs 2"},
      {"typed value without type", {{"main", {{"records", {{{"kind", 13}, {"value", {{"value", 1}}}}}}}}},
       "needs a type"},
      {"odd hex", {{"main", {{"records", {{{"kind", 18}, {"bytes", "ABC"}}}}}}}, "odd number"},
  };
  for (const auto& c : cases) {
    json d = base();
    d.merge_patch(c.patch);
    try {
      ddd_build::build_images(d);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const ddd_build::BuildError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.what << ": " << e.what();
    }
  }
  EXPECT_THROW(ddd_build::build_file("/nonexistent/x.json", "/tmp"), ddd_build::BuildError);
}

TEST(DddBuild, DemoDatabaseOpensWithItsStrings) {
  TempRoot root;
  ddd_build::build_file(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json",
                        root.file("drive_c/drivers"));
  settings::ddd_set_module_directory(u"C:\\drivers\\");
  DddStatus status = 0;
  DddHandle* h = DddOpenPath(u"C:\\drivers\\MVDEMO.DDD", &status);
  ASSERT_NE(h, nullptr) << status;

  // The paper-size item and its choices, named through the string library.
  DddValue* v = nullptr;
  ASSERT_EQ(DddLoadRecord(DDD_LOAD_FULL, &h->main, &h->linked, DDD_KIND_ITEM_ALT, 8, 0, &v), DDD_OK);
  auto* item = static_cast<DddItem*>(v);
  EXPECT_EQ(std::u16string(item->name), u"Paper Size");
  const WORD count = item->choices.count;
  DddFreeValue(&v, 0xFFFF);
  ASSERT_GE(count, 2);
  const char16_t* names[] = {u"A4", u"Letter"};
  for (WORD n = 1; n <= 2; ++n) {
    ASSERT_EQ(DddLoadRecord(DDD_LOAD_FULL, &h->main, &h->linked, DDD_KIND_ITEM_ALT, 8, n, &v), DDD_OK);
    auto* choice = static_cast<DddChoice*>(v);
    EXPECT_EQ(std::u16string(choice->name), names[n - 1]);
    const WORD target = choice->target_id;
    DddFreeValue(&v, 0xFFFF);
    ASSERT_EQ(DddLoadRecord(DDD_LOAD_FULL, &h->main, &h->linked, DDD_KIND_PAPER, target, 0, &v), DDD_OK);
    EXPECT_GT(static_cast<DddPaper*>(v)->size.first, 2000);
    DddFreeValue(&v, 0xFFFF);
  }
  EXPECT_TRUE(h->main.pool->retry);
  DddClose(h);
  settings::ddd_set_module_directory(u"");
}

}  // namespace
}  // namespace morva::test
