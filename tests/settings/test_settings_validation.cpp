// Whole-settings validation on the demo printer: broken pairs are repaired
// into pairs that the rules accept, the changed items are reported, and
// validating a repaired pair changes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "demo_printer_fixture.h"
#include "settings/common/module_state.h"
#include "settings/constraints/conflict_check.h"
#include "settings/constraints/entry_checks.h"
#include "settings/constraints/settings_validation.h"
#include "settings/items/item_access.h"
#include "win/win.h"

namespace morva::settings {
void set_module_directory_for_test(LPCWSTR directory);
}

namespace {

using namespace morva::ddm;

std::u16string fill(std::u16string text, const std::u16string& lines) {
  const size_t at = text.find(u"%1s");
  if (at != std::u16string::npos) text.replace(at, 3, lines);
  return text;
}

class Validation : public morva::test::DemoPrinterTest {
 protected:
  std::vector<BYTE> dm, pd;
  std::optional<ResourceModuleRef> resources;

  void SetUp() override {
    DemoPrinterTest::SetUp();
    std::filesystem::create_directories(root.file("drive_c/driver"));
    std::filesystem::copy_file(std::string(MORVA_BIN_DIR) + "/morvares.xrs", root.file("drive_c/driver/morvares.xrs"));
    morva::settings::set_module_directory_for_test(u"C:\\driver\\");
    resources.emplace();
    ASSERT_NE(GetResourceModule(), nullptr);
    fill_defaults(dm, pd);
  }
  void TearDown() override {
    resources.reset();
    morva::settings::set_module_directory_for_test(nullptr);
    DemoPrinterTest::TearDown();
  }
  void set(WORD ddmid, DWORD value) {
    const DdmidDescriptor* d = dma_Descriptor(ddmid);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(SetItemValueRaw(ddmid, dm.data(), pd.data(), d->type, dma_TypeSize(d->type), &value), kDdmOk);
  }
  LONG get(WORD ddmid) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    EXPECT_EQ(GetItemValue(ddmid, dm.data(), pd.data(), &type, &size, &v), kDdmOk);
    return GetTypedValue(type, &v);
  }
  INT validate(std::u16string* report) {
    LPWSTR text = nullptr;
    const INT r = ValidateSettings(FALSE, GetResourceModule(), printer, database, dm.data(), pd.data(), 714, nullptr,
                                   &text);
    report->clear();
    if (text) {
      *report = text;
      GlobalFree(text);
    }
    return r;
  }
  std::u16string resource(UINT id) {
    WCHAR text[1024] = {};
    const INT n = LoadStringW(GetResourceModule(), id, text, 1024);
    return std::u16string(text, n > 0 ? static_cast<size_t>(n) : 0);
  }
  // A validated pair validates to itself and passes the check of every item.
  void expect_fixed_point() {
    const std::vector<BYTE> dm_before = dm, pd_before = pd;
    std::u16string report;
    EXPECT_EQ(validate(&report), 3) << std::string(report.begin(), report.end());
    EXPECT_TRUE(report.empty());
    EXPECT_TRUE(dm == dm_before);
    EXPECT_TRUE(pd == pd_before);
    ConflictReport* r = NewConflictReport();
    for (WORD ddmid : {8, 16, 13, 7, 18, 270}) {
      ResetConflictReport(r);
      ASSERT_EQ(CheckSettingChange(kCheckModeView, printer, database, dm.data(), pd.data(), nullptr, ddmid, 2, nullptr,
                                   r, nullptr, 0),
                0);
      EXPECT_EQ(r->kind, 0) << ddmid;
    }
    FreeConflictReport(r);
  }
};

TEST_F(Validation, DefaultsNeedNothing) {
  std::u16string report;
  const std::vector<BYTE> before = dm;
  EXPECT_EQ(validate(&report), 3);
  EXPECT_TRUE(report.empty());
  EXPECT_TRUE(dm == before);
  LPWSTR text = nullptr;
  EXPECT_EQ(ValidateSettings(FALSE, GetResourceModule(), nullptr, database, dm.data(), pd.data(), 714, nullptr, &text),
            1);
  EXPECT_EQ(ValidateSettings(FALSE, GetResourceModule(), printer, database, dm.data(), nullptr, 714, nullptr, &text),
            1);
}

TEST_F(Validation, BrokenPairsAreRepairedAndReported) {
  struct Case {
    const char* what;
    std::vector<std::pair<WORD, DWORD>> settings;
    std::vector<std::pair<WORD, LONG>> expected;
    std::u16string lines;
  } const cases[] = {
      {"unknown paper", {{8, 77}}, {{8, 9}}, u"Paper Size: A4\n"},
      {"landscape on the manual feed: the rule's portrait stays", {{13, 4}, {7, 2}}, {{7, 1}, {13, 4}},
       u"Orientation: Portrait\n"},
      {"letter on the manual feed, in colour", {{8, 1}, {13, 4}, {270, 2}}, {{13, 7}, {270, 1}, {8, 1}}, u""},
      {"short edge in portrait, collated", {{16, 3}, {18, 1}}, {{16, 2}, {18, 1}}, u"Two-Sided: Long Edge\n"},
      {"long edge on the manual feed", {{16, 2}, {13, 4}}, {{13, 7}, {16, 2}}, u"Paper Source: Automatic\n"},
  };
  for (const Case& c : cases) {
    fill_defaults(dm, pd);
    for (const auto& [ddmid, value] : c.settings) set(ddmid, value);
    std::u16string report;
    EXPECT_EQ(validate(&report), 4) << c.what;
    for (const auto& [ddmid, value] : c.expected) EXPECT_EQ(get(ddmid), value) << c.what << " " << ddmid;
    if (!c.lines.empty()) {
      EXPECT_EQ(report, fill(resource(714), c.lines)) << c.what;
    }
    expect_fixed_point();
  }
}

TEST_F(Validation, UnusableJobTypeIsCleared) {
  set(334, 2);  // a job type that needs the text 5129, which is empty
  std::u16string report;
  // Cleared, and reported by the item's name.
  EXPECT_EQ(validate(&report), 4);
  EXPECT_NE(report.find(u"Job Type"), std::u16string::npos);
  EXPECT_EQ(get(334), 0);
  expect_fixed_point();
}


// The placed image against the printable area of A4 (2016 x 2886 tenths of
// a millimetre), one cell (296 = 0x0101), at scale 263.
TEST_F(Validation, ImagePlacementCheck) {
  struct Case {
    DWORD placing, flag;
    DWORD scale;
    INT expected;
  } const cases[] = {
      {1, 1, 100, 0}, {1, 1, 101, 13}, {1, 1, 0, 14}, {0, 1, 101, 0}, {1, 0, 101, 0},
  };
  const SettingsTarget t{database, dm.data(), pd.data()};
  for (const Case& c : cases) {
    set(8, 9);
    set(262, 267);  // the output paper follows the input paper
    set(296, 0x0101);
    set(321, c.placing);
    set(1281, c.flag);
    set(263, c.scale);
    WORD* list = nullptr;
    EXPECT_EQ(CheckImageFitsPaper(&t, nullptr, &list), c.expected) << c.scale;
    if (c.expected) {
      ASSERT_NE(list, nullptr);
      std::vector<WORD> items;
      for (WORD* p = list; *p; ++p) items.push_back(*p);
      EXPECT_EQ(items, (std::vector<WORD>{8, 262, 296, 1281, 263}));
      GlobalFree(list);
    } else {
      EXPECT_EQ(list, nullptr);
    }
  }
  // A change of the scale is judged by its new value, and is left out of the list.
  set(1281, 1);
  set(263, 150);  // the stored scale does not fit; the new one does
  const WORD fits = 100;
  const SettingChange change{263, 2, &fits};
  WORD* list = nullptr;
  EXPECT_EQ(CheckImageFitsPaper(&t, &change, &list), 0);
  set(263, 100);  // the stored scale fits; the new one does not
  const WORD too_big = 150;
  const SettingChange bigger{263, 2, &too_big};
  ASSERT_EQ(CheckImageFitsPaper(&t, &bigger, &list), 13);
  std::vector<WORD> items;
  for (WORD* p = list; *p; ++p) items.push_back(*p);
  EXPECT_EQ(items, (std::vector<WORD>{8, 262, 296, 1281}));
  GlobalFree(list);
}

}  // namespace
