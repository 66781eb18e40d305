#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ddd_fixture.h"
#include "ddm/ddmid.h"
#include "settings/database/ddd_host.h"
#include "settings/items/default_check.h"
#include "settings/items/default_settings.h"
#include "settings/items/item_access.h"
#include "win/win.h"

namespace {

using morva::test::json;
using namespace morva::ddm;

const HANDLE kPrinter = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x5150));

json word(long v) { return {{"type", 3}, {"value", v}}; }
json list_item(int ddmid, json choices, json rules = json::array()) {
  return {{"kind", 4},         {"id", ddmid},        {"name", "Item " + std::to_string(ddmid)},
          {"flags", 1},        {"default", 1},       {"choices", choices},
          {"rules", rules}};
}
json choice(int id, long value, json rules = json::array()) {
  return {{"kind", 14}, {"id", id}, {"name", "Choice " + std::to_string(id)}, {"value", word(value)}, {"rules", rules}};
}
json conflict_rule(int ddmid, long value) {
  return {{"kind", 7},
          {"head", {{"op", 0}, {"value", {{"type", 3}, {"hex", ""}}}}},
          {"flags", 3},
          {"conditions", {{{"ddmid", ddmid}, {"op", 1}, {"value", word(value)}, {"connector", 4}}}}};
}

// Every model has a paper size; the settings pair holds A4.
json paper_records() {
  return json::array({
      {{"kind", 4}, {"id", 8}, {"name", "Paper Size"}, {"flags", 1}, {"default", 1}, {"choices", {10}}},
      {{"kind", 14}, {"id", 10}, {"name", "A4"}, {"target_kind", 10}, {"target_id", 9},
       {"value", {{"type", 2}, {"value", 9}}}},
      {{"kind", 10}, {"id", 9}, {"name", "A4"}, {"size", 20}, {"area", 20}, {"margin", 20}},
      {{"kind", 17}, {"id", 20}, {"first", {2100, 2970}}, {"second", {2100, 2970}}},
  });
}

json with_paper(json records) {
  for (const auto& r : paper_records()) records.push_back(r);
  return morva::test::one_file(records);
}

class DefaultCheck : public morva::test::DddTest {
 protected:
  std::vector<BYTE> dm = std::vector<BYTE>(kPrivateDevmodeSize);
  std::vector<BYTE> pd = std::vector<BYTE>(kPrinterDataSize);
  DefaultCheckEntry table[kDefaultCheckEntries] = {};
  WORD last = 0;
  HMODULE resources = nullptr;

  void SetUp() override {
    morva::platform::reset_message_boxes();
    std::filesystem::create_directories(root.file("drive_c/driver"));
    std::filesystem::copy_file(std::string(MORVA_BIN_DIR) + "/morvares.xrs", root.file("drive_c/driver/morvares.xrs"));
    resources = LoadLibraryExW(u"C:\\driver\\morvares.xrs", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(resources, nullptr);
  }
  void TearDown() override {
    if (resources) FreeLibrary(resources);
    morva::platform::reset_message_boxes();
    DddTest::TearDown();
  }

  void set(WORD ddmid, DWORD value) {
    const DdmidDescriptor* d = dma_Descriptor(ddmid);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(SetItemValueRaw(ddmid, dm.data(), pd.data(), d->type, dma_TypeSize(d->type), &value), kDdmOk);
  }

  // One call; the change list comes back as a vector.
  INT run(std::vector<WORD>* changes = nullptr) {
    WORD* list = nullptr;
    const INT r = CheckDefaultSettings(resources, kPrinter, handle, dm.data(), pd.data(), &list, nullptr, table, &last);
    if (changes) changes->clear();
    if (list) {
      for (WORD* p = list; changes; ++p) {
        changes->push_back(*p);
        if (!*p) break;
      }
      GlobalFree(list);
    }
    return r;
  }
};

TEST_F(DefaultCheck, ConflictOnceTwiceAndReported) {
  // 333 = 1 conflicts while 271 is 1.
  open(with_paper(json::array({list_item(333, {1, 2}), choice(1, 1, {1}), choice(2, 2),
                                          list_item(271, {3, 4}), choice(3, 1), choice(4, 2),
                                          conflict_rule(271, 1)})));
  set(8, 9), set(333, 1), set(271, 1);

  std::vector<WORD> changes;
  EXPECT_EQ(run(&changes), 2);
  EXPECT_EQ(last, 333);
  EXPECT_EQ(changes, (std::vector<WORD>{271, 333, 0}));
  EXPECT_EQ(table[0].ddmid, 0);

  // The same conflict again: entered in the table.
  EXPECT_EQ(run(&changes), 2);
  EXPECT_EQ(last, 333);
  EXPECT_EQ(table[0].ddmid, 333);
  EXPECT_EQ(table[0].flag, 1u);
  EXPECT_TRUE(morva::platform::message_box_log().empty());

  // From then on it is passed over, and reported when the walk ends.
  EXPECT_EQ(run(), -1);
  const auto boxes = morva::platform::message_box_log();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, u"Default Set Err");
  EXPECT_EQ(boxes[0].style & MB_ICONMASK, MB_ICONERROR);
  WCHAR text[109] = {};
  ASSERT_GT(LoadStringW(resources, 389, text, 109), 0);
  EXPECT_EQ(boxes[0].text, u"DDMID = 0x14d" + std::u16string(text));

  // Mended: every value passes, and the table's flags are cleared.
  set(271, 2);
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(table[0].flag, 0u);
}

TEST_F(DefaultCheck, AMendedConflictIsNotEntered) {
  open(with_paper(json::array({list_item(333, {1}), choice(1, 1, {1}), list_item(407, {2}),
                                          choice(2, 5, {2}), conflict_rule(271, 1), conflict_rule(271, 2)})));
  set(8, 9), set(333, 1), set(407, 5), set(271, 1);
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(last, 333);
  // The caller's change mends 333, but now 407 conflicts.
  set(271, 2);
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(last, 407);
  EXPECT_EQ(table[0].ddmid, 0);
  set(271, 3);
  EXPECT_EQ(run(), 1);
  EXPECT_TRUE(morva::platform::message_box_log().empty());
}

TEST_F(DefaultCheck, FreshDemoPairPasses) {
  open_demo();
  if (HasFatalFailure()) return;
  ASSERT_TRUE(FillDefaultSettings(handle, dm.data(), pd.data(), u"Demo Printer"));
  EXPECT_EQ(run(), 1);
  EXPECT_TRUE(morva::platform::message_box_log().empty());
}

}  // namespace
