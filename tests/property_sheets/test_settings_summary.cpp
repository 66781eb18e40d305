// The settings summary line and the zoom onto the output paper.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../settings/demo_printer_fixture.h"
#include "../settings/setting_values.h"
#include "property_sheets/settings_summary.h"
#include "property_sheets/sheet_records.h"
#include "settings/common/module_state.h"
#include "win/win.h"

namespace morva::settings {
void set_module_directory_for_test(LPCWSTR directory);
}

namespace {

using morva::test::put;

constexpr PaperAreas kA4{{2100, 2970}, {2016, 2886}, {42, 42}, {42, 42}};

TEST(SummaryZoom, PlacedAreaOnTheOutputPaper) {
  struct Case {
    const char* name;
    BOOL whole;
    PlacementSettings p;
    LONG width, length;
  } cases[] = {
      {"printable area", FALSE, {}, 2016, 2886},
      {"whole paper", TRUE, {}, 2100, 2970},
      {"binding margin wider than the left margin", FALSE, {1, 1, 100}, 1958, 2886},
      {"binding margin narrower than the margin", FALSE, {1, 3, 30}, 2016, 2886},
      {"binding margin off", FALSE, {0, 1, 100}, 2016, 2886},
      {"binding at the right", FALSE, {1, 7, 100}, 1958, 2886},
      {"binding at the top, whole paper", TRUE, {1, 4, 100}, 2100, 2870},
      {"binding at the bottom", FALSE, {1, 6, 100}, 2016, 2828},
      {"layout 258 turns and doubles", FALSE, {0, 0, 0, 1, 258}, 2886, 4032},
      {"layout 2 x 3", FALSE, {0, 0, 0, 1, 0x0203}, 4032, 8658},
  };
  for (const Case& c : cases) {
    LONG w = 0, l = 0;
    ASSERT_EQ(GetPlacedArea(&kA4, c.whole, &c.p, &w, &l), 1) << c.name;
    EXPECT_EQ(w, c.width) << c.name;
    EXPECT_EQ(l, c.length) << c.name;
  }
}

TEST(SummaryZoom, PercentAndZeroSizes) {
  struct Case {
    LONG w1, l1, w2, l2;
    INT result, percent;
  } cases[] = {
      {2100, 2970, 2100, 2970, 1, 100},  // the same paper
      {2100, 2970, 2970, 4200, 1, 141},  // A4 onto A3
      {2016, 2886, 2075, 2710, 1, 94},   // A4 onto Letter, printable areas
      {0, 2970, 2100, 2970, 0, -1},      // no source width: no zoom
      {2100, 0, 2100, 2970, 0, -1},
  };
  for (const Case& c : cases) {
    INT percent = -1;
    EXPECT_EQ(ComputeZoomFromAreas(c.w1, c.l1, c.w2, c.l2, &percent), c.result) << c.w1 << "x" << c.l1;
    EXPECT_EQ(percent, c.percent) << c.w1 << "x" << c.l1;
  }
}

class SummarySheet : public morva::test::DemoPrinterTest {
 protected:
  std::vector<BYTE> dm, pd;
  SheetState state{};
  SheetContext* context = nullptr;

  void SetUp() override {
    DemoPrinterTest::SetUp();
    std::filesystem::create_directories(root.file("drive_c/driver"));
    std::filesystem::copy_file(std::string(MORVA_BIN_DIR) + "/morvares.xrs", root.file("drive_c/driver/morvares.xrs"));
    morva::settings::set_module_directory_for_test(u"C:\\driver\\");
    fill_defaults(dm, pd);
    state.printer = printer;
    state.database = database;
  }
  void TearDown() override {
    DestroySheetContext(&context);
    ReleaseResourceModule();
    morva::settings::set_module_directory_for_test(nullptr);
    DemoPrinterTest::TearDown();
  }
  void set(WORD ddmid, LONG v) { put(dm.data(), pd.data(), ddmid, v); }
  const SheetContext* sheet() {
    DestroySheetContext(&context);
    SheetSnapshot snapshot{dm.data(), pd.data(), nullptr, 0, nullptr, nullptr, 0};
    context = CreateSheetContext(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7201)), &state, &snapshot, nullptr);
    return context;
  }
  std::u16string summary() {
    WCHAR text[128] = u"unchanged";
    EXPECT_EQ(BuildSettingsSummary(sheet(), text, 128), 1);
    return text;
  }
};

TEST_F(SummarySheet, ZoomAndSummaryFollowThePapers) {
  set(8, 9);       // A4
  set(262, 267);   // output: the document paper
  set(1281, 0);
  set(383, 0);
  set(1283, 0);
  set(321, 0);
  set(295, 1);
  INT zoom = 0;
  ASSERT_EQ(GetSummaryZoom(sheet(), &zoom), 1);
  EXPECT_EQ(zoom, 100);
  EXPECT_EQ(summary(), u"A4 (100%)");

  set(262, 1);  // onto Letter
  ASSERT_EQ(GetSummaryZoom(sheet(), &zoom), 1);
  EXPECT_EQ(zoom, 94);
  EXPECT_EQ(summary(), u"A4 -> Letter (94%)");

  set(1281, 1);  // a fixed zoom
  set(263, 75);
  ASSERT_EQ(GetSummaryZoom(sheet(), &zoom), 1);
  EXPECT_EQ(zoom, 75);

  set(295, 2);  // imposed pages show the remark
  EXPECT_EQ(summary(), u"A4 -> Letter (pages imposed)");
}

TEST_F(SummarySheet, ACustomPaperWithoutASizeGivesNoZoom) {
  set(8, 256);
  set(262, 1);
  set(1281, 0);
  set(383, 1);  // the whole paper: the custom size itself
  set(1863, 0);
  set(1864, 0);
  INT zoom = -1;
  EXPECT_EQ(GetSummaryZoom(sheet(), &zoom), 0);
  EXPECT_EQ(zoom, -1);
  WCHAR text[32] = u"unchanged";
  set(295, 1);
  set(321, 0);
  EXPECT_EQ(BuildSettingsSummary(sheet(), text, 32), 0);
  EXPECT_EQ(std::u16string(text), u"unchanged");
}

}  // namespace
