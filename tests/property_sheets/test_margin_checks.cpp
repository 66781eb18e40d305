// Paper margins against their paper and the start-up warnings of a sheet.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../settings/demo_printer_fixture.h"
#include "../settings/setting_values.h"
#include "property_sheets/margin_checks.h"
#include "property_sheets/sheet_engine.h"
#include "property_sheets/sheet_records.h"
#include "settings/common/module_state.h"
#include "settings/items/item_access.h"
#include "settings/stores/user_setting_info.h"
#include "win/win.h"

namespace morva::settings {
void set_module_directory_for_test(LPCWSTR directory);
}

namespace {

using morva::test::put;

class MarginChecks : public morva::test::DemoPrinterTest {
 protected:
  std::vector<BYTE> dm, pd;
  MarginCheckContext c{};

  void SetUp() override {
    DemoPrinterTest::SetUp();
    std::filesystem::create_directories(root.file("drive_c/driver"));
    std::filesystem::copy_file(std::string(MORVA_BIN_DIR) + "/morvares.xrs", root.file("drive_c/driver/morvares.xrs"));
    morva::settings::set_module_directory_for_test(u"C:\\driver\\");
    fill_defaults(dm, pd);
    c = MarginCheckContext{database, printer, dm.data(), pd.data()};
    set(7, 1);
    // User paper 262 (slot 0): "Card", 100.0 x 148.0 mm; the custom paper A4-sized.
    set(5889, 1000);
    set(5909, 1480);
    const char16_t* name = u"Card";
    ASSERT_TRUE(SetItemValue(5929, dm.data(), pd.data(), 0xFFFFFFFFu, 6, &name));
    set(1863, 2100);
    set(1864, 2970);
  }
  void TearDown() override {
    ReleaseResourceModule();
    morva::settings::set_module_directory_for_test(nullptr);
    DemoPrinterTest::TearDown();
  }
  void set(WORD ddmid, LONG v) { put(dm.data(), pd.data(), ddmid, v); }
  // Stores margins of a paper in the printer's array, in the caller's order.
  void store(WORD paper, PaperMargin caller) {
    PaperMarginArray* array = LoadPaperMarginArray(printer);
    ASSERT_NE(array, nullptr);
    ASSERT_EQ(StoreTemporaryPaperMargin(array, paper, &caller, 1), 1);
    ASSERT_EQ(SavePaperMarginArray(printer, array), 1);
    FreePaperMarginArray(array);
  }
};

TEST_F(MarginChecks, TypedMarginsAgainstTheSideTheyCross) {
  struct Case {
    LONG orientation;
    INT index;
    PaperMargin margins;
    INT result;
  } cases[] = {
      {1, 0, {{1000, 10, 1100, 10}}, -1},  // A4: 210.0 mm taken up exactly
      {1, 0, {{1000, 10, 1099, 10}}, 1},
      {1, 2, {{1000, 10, 1100, 10}}, -1},
      {1, 1, {{1000, 10, 1100, 10}}, 1},   // the second and fourth cross the length
      {2, 0, {{1000, 10, 1100, 10}}, 1},   // landscape: across the length
      {2, 1, {{10, 1500, 10, 1470}}, -1},  // and the second pair across the width
      {1, 4, {{0, 0, 0, 0}}, 0},
  };
  for (const Case& k : cases) {
    set(7, k.orientation);
    EXPECT_EQ(CheckPaperMargins(&c, 9, k.index, &k.margins, nullptr, nullptr, FALSE, FALSE), k.result)
        << k.orientation << "/" << k.index;
  }
}

TEST_F(MarginChecks, StoredMarginsThatDoNotFitAreResetOnceAndReported) {
  store(262, PaperMargin{{10, 10, 500, 500}});  // 50.0 mm on either side of a 100.0 mm paper
  BadPaperList bad{};
  ASSERT_EQ(FindPapersWithBadMargins(&c, FALSE, &bad), -1);
  EXPECT_EQ(bad.ids[0], 262);
  EXPECT_EQ(bad.ids[1], 0);

  // The start-up check: the margin place (463) 1 lets it run without a
  // sheet window; the paper is reset to 4.6 mm and named once.
  set(463, 1);
  SheetState state{};
  state.printer = printer;
  state.database = database;
  SheetSnapshot snapshot{dm.data(), pd.data(), nullptr, 0, nullptr, nullptr, 0};
  SheetContext* sheet = CreateSheetContext(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7301)), &state, &snapshot,
                                           nullptr);
  ASSERT_NE(sheet, nullptr);
  ASSERT_EQ(QueueStartupWarnings(sheet, 0, -3, -1), 1);
  ASSERT_NE(state.pending_warnings, nullptr);
  LPCWSTR text = nullptr;
  ASSERT_EQ(GetPendingWarning(state.pending_warnings, 0, &text), 0);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::u16string(text), u"Card (100 x 148mm) (margins reset): 4.6 mm\n");
  EXPECT_EQ(GetPendingWarning(state.pending_warnings, 2, &text), 1);
  EXPECT_EQ(text, nullptr);
  // Shown once per sheet.
  EXPECT_EQ(QueueStartupWarnings(sheet, 0, -3, -1), 0);
  ResetStartupWarningFlag(&state);

  // The margins now kept in the user's key fit, so nothing more is said.
  const MarginCheckContext now{database, printer, sheet->current.devmode, sheet->current.printer_data};
  ASSERT_EQ(FindPapersWithBadMargins(&now, TRUE, &bad), 1);
  ASSERT_EQ(QueueStartupWarnings(sheet, 0, -3, -1), 1);
  EXPECT_EQ(state.pending_warnings, nullptr);
  DestroySheetContext(&sheet);
}

// A custom paper whose size was never given has no margins to reset, so
// no sheet starts with a warning about it.
TEST_F(MarginChecks, APaperWithoutASizeIsNotChecked) {
  set(1863, 0);
  set(1864, 0);
  BadPaperList bad{};
  EXPECT_EQ(FindPapersWithBadMargins(&c, FALSE, &bad), 1);
  EXPECT_EQ(bad.ids[0], 0);
  set(1863, 300);  // 30.0 mm: the default margins of 4.6 mm on either side fit
  set(1864, 80);   // 8.0 mm: they do not
  EXPECT_EQ(FindPapersWithBadMargins(&c, FALSE, &bad), -1);
  EXPECT_EQ(bad.ids[0], 256);
}

INT printer_folder_host(HWND, LPCWSTR, WORD) { return 0; }
INT application_host(HWND, LPCWSTR, WORD) { return 1; }

constexpr WORD kJobType = 334, kIdentifier = 5129;

// A sheet of two pages on the fixture's settings, as the dialog engine
// keeps it: one state, one context, both pages pointing at it.
struct TwoPageSheet {
  SheetState state{};
  HWND pages[2]{};
  SheetContext* context = nullptr;
  TwoPageSheet(DddHandle* database, HANDLE printer, WORD mode, std::vector<BYTE>& dm, std::vector<BYTE>& pd) {
    state.printer = printer;
    state.database = database;
    state.mode = mode;
    SheetSnapshot snapshot{dm.data(), pd.data(), nullptr, 0, nullptr, nullptr, 0};
    for (HWND& page : pages)
      page = CreateWindowExW(0, u"STATIC", u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    context = CreateSheetContext(pages[0], &state, &snapshot, nullptr);
    for (HWND page : pages) SetSheetContext(page, context);
  }
  ~TwoPageSheet() {
    for (HWND page : pages) {
      SetSheetContext(page, nullptr);
      DestroyWindow(page);
    }
    FreePendingWarnings(&state.pending_warnings);
    DestroySheetContext(&context);
  }
  LONG now(WORD ddmid) { return ReadItemNumber(context->current.devmode, context->current.printer_data, ddmid); }
  std::u16string text(WORD ddmid) {
    return morva::test::text(context->current.devmode, context->current.printer_data, ddmid);
  }
};

// Every dialog of a sheet asks for the start-up warnings when it is
// initialised; they are collected and posted for showing once per sheet,
// and shown once, with the sheet's caption, owned by the dialog.
TEST_F(MarginChecks, StartUpWarningsAreShownOncePerSheet) {
  store(262, PaperMargin{{10, 10, 500, 500}});
  morva::platform::reset_message_boxes();
  SetSheetHostClassifier(printer_folder_host);  // margins kept in the printer's array
  {
    TwoPageSheet sheet(database, printer, kSheetModeDocument, dm, pd);
    ASSERT_NE(sheet.context, nullptr);
    EXPECT_EQ(QueueSheetStartupWarnings(sheet.pages[0]), 1);
    EXPECT_EQ(QueueSheetStartupWarnings(sheet.pages[1]), 0);  // the second page of the same sheet
    MSG posted{};
    ASSERT_TRUE(PeekMessageW(&posted, sheet.pages[0], 0, 0, PM_REMOVE));
    EXPECT_EQ(posted.message, UM_SHOW_WARNINGS);
    EXPECT_FALSE(PeekMessageW(&posted, nullptr, 0, 0, PM_REMOVE));

    EXPECT_EQ(ShowStartupWarnings(sheet.pages[0]), 1);
    EXPECT_EQ(sheet.state.pending_warnings, nullptr);
    EXPECT_EQ(ShowStartupWarnings(sheet.pages[0]), 0);
  }
  const auto log = morva::platform::message_box_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].caption, u"Printing Preferences");
  EXPECT_EQ(log[0].style, static_cast<UINT>(MB_OK | MB_ICONWARNING));
  EXPECT_NE(log[0].text.find(u"Card (100 x 148mm)"), std::u16string::npos);
  SetSheetHostClassifier(nullptr);
}

// Settings that no longer hold together (Locked Print without its
// identifier) are repaired by the sheet's first dialog, and the user is
// told what changed, in the same message as the reset margins. The check
// runs once per sheet: what a later page finds is left to the user.
TEST_F(MarginChecks, StartUpCheckRepairsTheSettingsOncePerSheet) {
  store(262, PaperMargin{{10, 10, 500, 500}});
  set(kJobType, 1);
  morva::platform::reset_message_boxes();
  SetSheetHostClassifier(application_host);
  {
    TwoPageSheet sheet(database, printer, kSheetModeDocument, dm, pd);
    ASSERT_NE(sheet.context, nullptr);
    ASSERT_EQ(QueueSheetStartupWarnings(sheet.pages[0]), 1);
    EXPECT_EQ(sheet.now(kJobType), 0);
    EXPECT_EQ(morva::test::number(dm.data(), pd.data(), kJobType), 1);  // the caller's settings stay as they were
    put(sheet.context->current.devmode, sheet.context->current.printer_data, kJobType, 1);
    EXPECT_EQ(QueueSheetStartupWarnings(sheet.pages[1]), 0);
    EXPECT_EQ(sheet.now(kJobType), 1);
    EXPECT_EQ(ShowStartupWarnings(sheet.pages[0]), 1);
  }
  const auto log = morva::platform::message_box_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].text.find(u"Job Type"), std::u16string::npos) << std::string(log[0].text.begin(), log[0].text.end());
  EXPECT_NE(log[0].text.find(u"Card (100 x 148mm)"), std::u16string::npos);

  // Valid settings start without a word.
  morva::platform::reset_message_boxes();
  const char16_t* identifier = u"A17";
  ASSERT_TRUE(SetItemValue(kIdentifier, dm.data(), pd.data(), 0xFFFFFFFFu, 6, &identifier));
  {
    TwoPageSheet sheet(database, printer, kSheetModeDocument, dm, pd);
    ASSERT_EQ(QueueSheetStartupWarnings(sheet.pages[0]), 1);
    EXPECT_EQ(sheet.now(kJobType), 1);
    EXPECT_EQ(sheet.state.pending_warnings, nullptr);
  }
  SetSheetHostClassifier(nullptr);
}

// The printer's own sheet starts from the job-type section that the
// printer's own sheet stored machine-wide: a device sheet whose DEVMODE
// does not hold the user's settings (439 = 0), or another sheet opened
// by the printer's own window (host class 0). Other sheets keep the
// settings they were given.
TEST_F(MarginChecks, ThePrintersOwnSheetStartsFromTheMachineWideUserSettings) {
  std::vector<BYTE> record(kUserRecordSize);
  const char16_t* stored = u"MW1";
  ASSERT_TRUE(SetItemValue(kIdentifier, dm.data(), pd.data(), 0xFFFFFFFFu, 6, &stored));
  ASSERT_EQ(FillUserSettingInfoFromSettings(printer, database, pd.data(), record.data()), 1);
  ASSERT_EQ(WriteUserSettingInfo(printer, database, record.data(), kUserRecordMachineWide | 2), 1);
  const char16_t* given = u"";
  ASSERT_TRUE(SetItemValue(kIdentifier, dm.data(), pd.data(), 0xFFFFFFFFu, 6, &given));

  struct Case {
    WORD mode;
    SheetHostClassifier host;
    LONG per_user;  // 439
    bool taken;
  } const cases[] = {
      {kSheetModeDevice, application_host, 0, true},
      {kSheetModeDevice, printer_folder_host, 1, false},
      {kSheetModeDocument, printer_folder_host, 1, true},
      {kSheetModeDocument, application_host, 0, false},
      {kSheetModeUserDefault, printer_folder_host, 0, true},
  };
  for (const Case& k : cases) {
    set(439, k.per_user);
    SetSheetHostClassifier(k.host);
    TwoPageSheet sheet(database, printer, k.mode, dm, pd);
    ASSERT_NE(sheet.context, nullptr);
    EXPECT_EQ(QueueSheetStartupWarnings(sheet.pages[0]), 1);
    EXPECT_EQ(sheet.text(kIdentifier), k.taken ? u"MW1" : u"") << k.mode << "/" << k.per_user;
  }
  SetSheetHostClassifier(nullptr);
}

TEST_F(MarginChecks, WithoutASheetWindowTheMarginPlaceDecides) {
  store(262, PaperMargin{{10, 10, 500, 500}});
  set(463, 0);
  PendingWarnings* holder = reinterpret_cast<PendingWarnings*>(1);
  ASSERT_EQ(CollectApplyWarnings(&c, 0, TRUE, -3, -1, &holder), 1);
  EXPECT_EQ(holder, nullptr);
  // A sheet window of class 0 keeps the margins in the printer's array.
  ASSERT_EQ(CollectApplyWarnings(&c, 0, TRUE, -3, 0, &holder), 1);
  ASSERT_NE(holder, nullptr);
  FreePendingWarnings(&holder);
  BadPaperList bad{};
  EXPECT_EQ(FindPapersWithBadMargins(&c, FALSE, &bad), 1);
}

TEST_F(MarginChecks, DefaultMarginAndPaperNames) {
  WCHAR text[64] = {};
  EXPECT_EQ(FormatDefaultMarginText(text, 64), 6);
  EXPECT_EQ(std::u16string(text), u"4.6 mm");
  ASSERT_EQ(FormatPaperDisplayName(&c, 256, text, 64), 1);
  EXPECT_EQ(std::u16string(text), u"Custom Size (margins reset)");
  EXPECT_EQ(FormatPaperDisplayName(&c, 9, text, 64), 0);  // not a user paper
}

}  // namespace
