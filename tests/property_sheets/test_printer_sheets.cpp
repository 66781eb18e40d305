// The demo printer's document and device sheets as the spooler and
// applications open them: morvaui's exports run by the common
// property-sheet component, driven through the window system like a user.
// Paper size, orientation and two-sided printing are changed through the
// controls, a rule conflict is answered both ways, OK hands the DEVMODE
// back, Cancel restores, and the device sheet's settings are read by a
// second process.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "child_process.h"
#include "gfx_demo.h"
#include "settings/database/ddd_file.h"
#include "settings/devmode/driver_devmode.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_settings.h"
#include "sheet_ui_fixture.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

namespace ui = morva::platform::ui;
using morva::gfx_demo::kDemoPrinter;

constexpr DWORD kShortDevmode = 1604;

// Page tabs of the document sheet and the controls the tests use.
constexpr INT kPaperTab = 0, kColourTab = 1, kDetailsTab = 3;
constexpr INT kOptionsTab = 1;  // of the device sheet
constexpr INT kPaperSize = 1006, kPortrait = 3836, kLandscape = 3837, kTwoSided = 1766;
constexpr INT kColourMode = 1079, kCollation = 3311, kCollate = 8691;
constexpr INT kDuplexUnit = 4711;

LONG setting(void* devmode, void* printer_data, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  EXPECT_EQ(GetItemValue(ddmid, devmode, printer_data, &type, &size, &v), 0) << ddmid;
  return GetTypedValue(type, &v);
}

// Selects the item of a drop-down list whose text begins with `prefix`.
// (A change the sheet refuses shows the old item again.)
void choose(HWND sheet, INT id, const std::u16string& prefix) {
  HWND list = ui::find(sheet, id);
  ASSERT_NE(list, nullptr) << id;
  const auto items = ui::items(list);
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].rfind(prefix, 0) == 0) {
      ui::select(list, static_cast<INT>(i));
      return;
    }
  ADD_FAILURE() << "no item starting with the wanted text in control " << id;

}

std::u16string shown(HWND sheet, INT id) { return ui::text(ui::find(sheet, id)); }

class PrinterSheets : public morva::test::SheetUiTest {
 protected:
  struct Outcome {
    LONG answer = 0;
    DWORD result = 0;
    std::vector<BYTE> devmode;
  };
  // Opens the document sheet for an application asking for a DEVMODE; the
  // script acts on the sheet.
  Outcome document_sheet(ui::ModalScript script, DWORD out_size = kShortDevmode, DWORD fMode = DM_COPY | DM_PROMPT,
                         const DEVMODEW* input = nullptr) {
    Outcome o;
    o.devmode.assign(kShortDevmode, 0xEE);
    o.answer = run_document_sheet(std::move(script), o.devmode.data(), out_size, input, fMode, &o.result);
    return o;
  }
  Outcome device_sheet(ui::ModalScript script, WORD flags = 0) {
    Outcome o;
    o.answer = run_device_sheet(std::move(script), flags, &o.result);
    return o;
  }
  // A setting of a DEVMODE the sheet returned, read in the driver's full form.
  LONG returned(const Outcome& o, WORD ddmid) {
    std::vector<BYTE> full(5988);
    std::memcpy(full.data(), o.devmode.data(), kShortDevmode);
    std::vector<BYTE> block(kPrinterDataBlockSize);
    return setting(full.data(), block.data(), ddmid);
  }
  // The printer's stored settings as a fresh load reads them.
  LONG stored(WORD ddmid) {
    DddHandle* database = DddOpen(printer_);
    EXPECT_NE(database, nullptr);
    std::vector<BYTE> block(kPrinterDataBlockSize);
    EXPECT_EQ(ReadPrinterSettings(printer_, block.data(), database), 1);
    DddClose(database);
    return setting(nullptr, block.data(), ddmid);
  }
};

TEST_F(PrinterSheets, PaperOrientationAndTwoSidedChangedThroughTheControlsComeBackWithOk) {
  const Outcome o = document_sheet([](HWND sheet) {
    // The first page shows the printer's defaults.
    EXPECT_EQ(shown(sheet, kPaperSize).rfind(u"A4", 0), 0u);
    EXPECT_EQ(ui::state(ui::find(sheet, kPortrait)).check, BST_CHECKED);
    EXPECT_EQ(shown(sheet, kTwoSided), u"Off");
    // Letter prints in black and white only: the colour mode first.
    ASSERT_TRUE(ui::select(GetDlgItem(sheet, IDC_PS_TABCONTROL), kColourTab));
    choose(sheet, kColourMode, u"Black and White");
    ASSERT_TRUE(ui::select(GetDlgItem(sheet, IDC_PS_TABCONTROL), kPaperTab));
    choose(sheet, kPaperSize, u"Letter");
    ASSERT_TRUE(ui::click(ui::find(sheet, kLandscape)));
    choose(sheet, kTwoSided, u"Long Edge");
    EXPECT_EQ(shown(sheet, kPaperSize).rfind(u"Letter", 0), 0u);
    EXPECT_EQ(ui::state(ui::find(sheet, kLandscape)).check, BST_CHECKED);
    EXPECT_EQ(ui::state(ui::find(sheet, kPortrait)).check, BST_UNCHECKED);
    EXPECT_TRUE(ui::press_ok(sheet));
  });
  EXPECT_EQ(o.answer, CPSUI_OK);
  EXPECT_EQ(o.result, static_cast<DWORD>(CPSUI_OK));
  EXPECT_TRUE(morva::platform::message_box_log().empty());
  // The DEVMODE a job would be printed with carries the new settings.
  const auto* dm = reinterpret_cast<const DEVMODEW*>(o.devmode.data());
  EXPECT_EQ(dm->dmPaperSize, 1);    // letter
  EXPECT_EQ(dm->dmOrientation, 2);  // landscape
  EXPECT_EQ(dm->dmDuplex, 2);       // long edge
  EXPECT_EQ(returned(o, 8), 1);
  EXPECT_EQ(returned(o, 7), 2);
  EXPECT_EQ(returned(o, 16), 2);
  EXPECT_EQ(returned(o, 270), 1);
  EXPECT_EQ(o.devmode[kShortDevmode - 1] == 0xEE, false);
}

// Two-sided printing with the manual feed (the caller's DEVMODE asks for
// it) asks; OK moves the paper source to automatic, Cancel leaves both as
// they were.
TEST_F(PrinterSheets, ConflictQuestionAnsweredEachWay) {
  struct Case {
    INT answer;
    LONG two_sided, source;
    std::u16string list_shows;
  } const cases[] = {{IDOK, 2, 7, u"Long Edge"}, {IDCANCEL, 1, 4, u"Off"}};
  for (const Case& c : cases) {
    ui::reset();
    morva::platform::reset_message_boxes();
    morva::platform::script_message_box_answers({c.answer});
    DEVMODEW manual_feed{};
    manual_feed.dmSize = sizeof manual_feed;
    manual_feed.dmSpecVersion = DM_SPECVERSION;
    manual_feed.dmFields = DM_DEFAULTSOURCE;
    manual_feed.dmDefaultSource = 4;  // the manual feed
    const Outcome o = document_sheet(
        [&](HWND sheet) {
          choose(sheet, kTwoSided, u"Long Edge");
          EXPECT_EQ(shown(sheet, kTwoSided), c.list_shows);
          EXPECT_TRUE(ui::press_ok(sheet));
        },
        kShortDevmode, DM_COPY | DM_PROMPT, &manual_feed);
    const auto log = morva::platform::message_box_log();
    ASSERT_EQ(log.size(), 1u) << c.answer;
    EXPECT_EQ(log[0].style, static_cast<UINT>(MB_ICONINFORMATION | MB_OKCANCEL));
    EXPECT_NE(log[0].text.find(u"Two-Sided"), std::u16string::npos);
    EXPECT_EQ(o.answer, CPSUI_OK);
    EXPECT_EQ(returned(o, 16), c.two_sided) << c.answer;
    EXPECT_EQ(returned(o, 13), c.source) << c.answer;
  }
}

TEST_F(PrinterSheets, CancelRestoresAndHandsNothingBack) {
  const Outcome o = document_sheet([](HWND sheet) {
    ASSERT_TRUE(ui::click(ui::find(sheet, kLandscape)));
    EXPECT_TRUE(ui::press_cancel(sheet));
  });
  EXPECT_EQ(o.answer, CPSUI_CANCEL);
  EXPECT_EQ(o.result, static_cast<DWORD>(CPSUI_CANCEL));
  EXPECT_EQ(o.devmode, std::vector<BYTE>(kShortDevmode, 0xEE));
  // Opened again, the sheet shows what was there before.
  document_sheet([](HWND sheet) {
    EXPECT_EQ(ui::state(ui::find(sheet, kPortrait)).check, BST_CHECKED);
    ui::press_cancel(sheet);
  });
}

// Apply, then a dialog opened from a page where a change is cancelled,
// then a change on the page and Cancel: the applied settings are what the
// caller gets, without either cancelled change.
TEST_F(PrinterSheets, CancelAfterApplyAndAChildDialogKeepsOnlyTheAppliedSettings) {
  const Outcome o = document_sheet([&](HWND sheet) {
    HWND tabs = GetDlgItem(sheet, IDC_PS_TABCONTROL);
    ASSERT_TRUE(ui::click(ui::find(sheet, kLandscape)));
    SendMessageW(sheet, PSM_APPLY, 0, 0);
    ui::pump();
    ASSERT_TRUE(ui::select(tabs, kDetailsTab));
    bool seen = false;
    ui::script_modal([&](HWND dialog) {
      seen = true;
      EXPECT_EQ(ui::state(ui::find(dialog, kCollate)).check, BST_CHECKED);
      EXPECT_TRUE(ui::click(ui::find(dialog, kCollate)));
      EXPECT_EQ(ui::state(ui::find(dialog, kCollate)).check, BST_UNCHECKED);
      EXPECT_TRUE(ui::click(ui::find(dialog, 1091)));
    });
    ASSERT_TRUE(ui::click(ui::find(sheet, kCollation)));
    EXPECT_TRUE(seen);
    ASSERT_TRUE(ui::select(tabs, kPaperTab));
    ASSERT_TRUE(ui::click(ui::find(sheet, kPortrait)));
    EXPECT_TRUE(ui::press_cancel(sheet));
  });
  // The component keeps what Apply reported.
  EXPECT_EQ(o.result, static_cast<DWORD>(CPSUI_OK));
  EXPECT_EQ(returned(o, 7), 2);
  EXPECT_EQ(returned(o, 18), 1);
}

TEST_F(PrinterSheets, ChildDialogOkKeepsItsChange) {
  const Outcome o = document_sheet([&](HWND sheet) {
    ASSERT_TRUE(ui::select(GetDlgItem(sheet, IDC_PS_TABCONTROL), kDetailsTab));
    ui::script_modal([&](HWND dialog) {
      EXPECT_TRUE(ui::click(ui::find(dialog, kCollate)));
      EXPECT_TRUE(ui::click(ui::find(dialog, 1092)));
    });
    ASSERT_TRUE(ui::click(ui::find(sheet, kCollation)));
    EXPECT_TRUE(ui::press_ok(sheet));
  });
  EXPECT_EQ(o.answer, CPSUI_OK);
  EXPECT_EQ(returned(o, 18), 0);
}

TEST_F(PrinterSheets, DeviceSheetStoresItsSettingsForTheNextProcess) {
  EXPECT_EQ(stored(4103), 0);
  const Outcome o = device_sheet([](HWND sheet) {
    ASSERT_TRUE(ui::select(GetDlgItem(sheet, IDC_PS_TABCONTROL), kOptionsTab));
    EXPECT_EQ(ui::state(ui::find(sheet, kDuplexUnit)).check, BST_UNCHECKED);
    ASSERT_TRUE(ui::click(ui::find(sheet, kDuplexUnit)));
    EXPECT_EQ(ui::state(ui::find(sheet, kDuplexUnit)).check, BST_CHECKED);
    EXPECT_TRUE(ui::press_ok(sheet));
  });
  EXPECT_EQ(o.answer, CPSUI_OK);
  EXPECT_EQ(stored(4103), 1);
  EXPECT_EQ(morva::test::run_child_tests("PrinterSheetsChild.*", root_.path(), "reader"),
            0);
}

// An output buffer smaller than the DEVMODE gets no more than it holds.
TEST_F(PrinterSheets, OkFillsNoMoreThanTheCallersBuffer) {
  constexpr DWORD kSmall = 220;
  const Outcome o = document_sheet([](HWND sheet) { EXPECT_TRUE(ui::press_ok(sheet)); }, kSmall);
  EXPECT_EQ(o.answer, CPSUI_OK);
  EXPECT_EQ(reinterpret_cast<const DEVMODEW*>(o.devmode.data())->dmPaperSize, 9);
  EXPECT_EQ(std::vector<BYTE>(o.devmode.begin() + kSmall, o.devmode.end()),
            std::vector<BYTE>(kShortDevmode - kSmall, 0xEE));
}

// Without the right to change settings the controls are shown disabled,
// and the sheet of the user's defaults has no fax page.
TEST_F(PrinterSheets, ReadOnlySheetsShowTheirControlsDisabled) {
  device_sheet(
      [](HWND sheet) {
        ASSERT_TRUE(ui::select(GetDlgItem(sheet, IDC_PS_TABCONTROL), kOptionsTab));
        EXPECT_FALSE(ui::state(ui::find(sheet, kDuplexUnit)).enabled);
        EXPECT_TRUE(ui::state(ui::find(sheet, kDuplexUnit)).visible);
        ui::press_cancel(sheet);
      },
      DPS_NOPERMISSION);
  document_sheet(
      [](HWND sheet) {
        EXPECT_FALSE(ui::state(ui::find(sheet, kPaperSize)).enabled);
        EXPECT_EQ(ui::items(GetDlgItem(sheet, IDC_PS_TABCONTROL)).size(), 4u);
        EXPECT_FALSE(ui::click(ui::find(sheet, kLandscape)));
        ui::press_cancel(sheet);
      },
      kShortDevmode, DM_COPY | DM_PROMPT | DM_NOPERMISSION | DM_USER_DEFAULT);
}

// The second process of the device sheet test, on the same machine root.
TEST(PrinterSheetsChild, StoredDuplexUnitSeenByAnotherProcess) {
  if (morva::test::child_role() != "reader") GTEST_SKIP() << "runs as the second process of the device sheet test";
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kDemoPrinter), &printer, nullptr));
  DddHandle* database = DddOpen(printer);
  ASSERT_NE(database, nullptr);
  std::vector<BYTE> block(kPrinterDataBlockSize);
  EXPECT_EQ(ReadPrinterSettings(printer, block.data(), database), 1);
  EXPECT_EQ(setting(nullptr, block.data(), 4103), 1);
  DddClose(database);
  ClosePrinter(printer);
}

}  // namespace
