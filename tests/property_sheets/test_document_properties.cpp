// Document and printer properties as applications and the printer folder
// ask for them through morvaui's exports: DrvDocumentProperties in each
// combination of buffers and prompt, DrvAdvancedDocumentProperties,
// PrinterProperties with and without write access, the fax-only sheet,
// and where a document sheet's OK stores the settings by the window that
// hosts it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gfx_demo.h"
#include "pi/document_properties.h"
#include "sheet_ui_fixture.h"
#include "property_sheets/sheet_records.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_file.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_data_kinds.h"
#include "settings/stores/printer_settings.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

namespace ui = morva::platform::ui;
using morva::gfx_demo::kDemoPrinter;

constexpr DWORD kShortDevmode = 1604, kFullDevmode = 5988;
constexpr INT kPortrait = 3836, kLandscape = 3837;
constexpr INT kOptionsTab = 1, kDuplexUnit = 4711;  // the duplex unit is on the device sheet's options page
constexpr INT kFaxKind = 4016, kFaxNumber = 4018, kFaxName = 4019, kFaxAdd = 4003;

using DocumentPropertiesFn = LONG (*)(HWND, HANDLE, LPWSTR, PDEVMODEW, PDEVMODEW, DWORD);
using AdvancedFn = LONG (*)(HWND, HANDLE, LPWSTR, PDEVMODEW, PDEVMODEW);
using PrinterPropertiesFn = BOOL (*)(HWND, HANDLE);
using FaxSheetFn = LONG (*)(PROPSHEETUI_INFO*, LPARAM);

LONG setting(void* devmode, void* printer_data, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  EXPECT_EQ(GetItemValue(ddmid, devmode, printer_data, &type, &size, &v), 0) << ddmid;
  return GetTypedValue(type, &v);
}

std::u16string text_setting(void* devmode, WORD ddmid) {
  std::vector<BYTE> block(kPrinterDataBlockSize);
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, devmode, block.data(), &type, &size, &v) || type != 6) return u"<unreadable>";
  return ItemText(v, size);
}

class DocumentProperties : public morva::test::SheetUiTest {
 protected:
  void SetUp() override {
    SheetUiTest::SetUp();
    if (HasFatalFailure()) return;
    properties_ = ui_export<DocumentPropertiesFn>("DrvDocumentProperties");
    advanced_ = ui_export<AdvancedFn>("DrvAdvancedDocumentProperties");
    printer_properties_ = ui_export<PrinterPropertiesFn>("PrinterProperties");
    ASSERT_NE(properties_, nullptr);
    ASSERT_NE(advanced_, nullptr);
    ASSERT_NE(printer_properties_, nullptr);
  }

  DocumentPropertiesFn properties_ = nullptr;
  AdvancedFn advanced_ = nullptr;
  PrinterPropertiesFn printer_properties_ = nullptr;
};

// Each combination of output buffer, input buffer and prompt; the sheet is
// answered by script where one opens.
TEST_F(DocumentProperties, EachModeCombination) {
  enum Script { kNone, kOk, kCancel, kLandscapeOk };
  struct Case {
    const char* what;
    DWORD fMode;
    bool out, in_landscape;
    Script script;
    LONG answer;
    bool filled;
    SHORT orientation;
  } const cases[] = {
      {"size query", 0, true, false, kNone, 1604, false, 0},
      {"no output buffer", DM_COPY, false, false, kNone, 1604, false, 0},
      {"copy without prompt", DM_COPY, true, false, kNone, IDOK, true, DMORIENT_PORTRAIT},
      {"input merged without prompt", DM_COPY | DM_MODIFY, true, true, kNone, IDOK, true, DMORIENT_LANDSCAPE},
      {"modify alone", DM_MODIFY, true, true, kNone, -1, false, 0},
      {"prompt, OK", DM_COPY | DM_PROMPT, true, false, kOk, IDOK, true, DMORIENT_PORTRAIT},
      {"prompt, Cancel", DM_COPY | DM_PROMPT, true, false, kCancel, IDCANCEL, false, 0},
      {"prompt over the input, changed", DM_COPY | DM_PROMPT | DM_MODIFY, true, true, kLandscapeOk, IDOK, true,
       DMORIENT_PORTRAIT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ui::reset();
    std::vector<BYTE> out(kShortDevmode, 0xEE);
    // The input is what an application got from the driver before.
    std::vector<BYTE> in(kShortDevmode, 0);
    ASSERT_EQ(properties_(nullptr, printer_, const_cast<LPWSTR>(kDemoPrinter), reinterpret_cast<PDEVMODEW>(in.data()),
                          nullptr, DM_COPY),
              IDOK);
    auto* in_dm = reinterpret_cast<DEVMODEW*>(in.data());
    if (c.in_landscape) {
      in_dm->dmOrientation = DMORIENT_LANDSCAPE;
      in_dm->dmFields |= DM_ORIENTATION;
    }
    bool shown = false;
    if (c.script != kNone) {
      ui::script_modal([&](HWND sheet) {
        shown = true;
        // The sheet starts from the input it was given.
        const bool landscape = ui::state(ui::find(sheet, kLandscape)).check == BST_CHECKED;
        EXPECT_EQ(landscape, c.in_landscape);
        if (c.script == kLandscapeOk) ui::click(ui::find(sheet, kPortrait));
        if (c.script == kCancel) ui::press_cancel(sheet);
        else ui::press_ok(sheet);
      });
    }
    const LONG r = properties_(nullptr, printer_, const_cast<LPWSTR>(kDemoPrinter),
                               c.out ? reinterpret_cast<PDEVMODEW>(out.data()) : nullptr,
                               c.in_landscape ? in_dm : nullptr, c.fMode);
    EXPECT_EQ(r, c.answer);
    EXPECT_EQ(shown, c.script != kNone);
    const auto* dm = reinterpret_cast<const DEVMODEW*>(out.data());
    if (c.filled) {
      EXPECT_EQ(dm->dmSize + dm->dmDriverExtra, kShortDevmode);
      EXPECT_EQ(dm->dmOrientation, c.orientation);
    } else {
      EXPECT_EQ(out[0], 0xEE);
    }
  }
}

// An application that keeps only the public fields gives and gets a
// 220-byte DEVMODE: nothing is written past it.
TEST_F(DocumentProperties, APublicOnlyDevmodeComesBackInItsOwnForm) {
  std::vector<BYTE> in(220, 0), out(220, 0xEE);
  auto* in_dm = reinterpret_cast<DEVMODEW*>(in.data());
  std::memcpy(in_dm->dmDeviceName, kDemoPrinter, std::char_traits<char16_t>::length(kDemoPrinter) * 2);
  in_dm->dmSpecVersion = DM_SPECVERSION;
  in_dm->dmSize = 220;
  in_dm->dmFields = DM_ORIENTATION;
  in_dm->dmOrientation = DMORIENT_LANDSCAPE;
  EXPECT_EQ(properties_(nullptr, printer_, const_cast<LPWSTR>(kDemoPrinter), reinterpret_cast<PDEVMODEW>(out.data()),
                        in_dm, DM_COPY | DM_MODIFY),
            IDOK);
  const auto* dm = reinterpret_cast<const DEVMODEW*>(out.data());
  EXPECT_EQ(dm->dmSize, 220);
  EXPECT_EQ(dm->dmDriverExtra, 0);
  EXPECT_EQ(dm->dmOrientation, DMORIENT_LANDSCAPE);
}

TEST_F(DocumentProperties, AdvancedPropertiesAnswerWhetherTheSheetEndedWithOk) {
  EXPECT_EQ(advanced_(nullptr, printer_, const_cast<LPWSTR>(kDemoPrinter), nullptr, nullptr), 1);
  EXPECT_TRUE(ui::modal_log().empty());
  for (bool ok : {true, false}) {
    std::vector<BYTE> out(kShortDevmode, 0xEE);
    ui::script_modal([&](HWND sheet) {
      ui::click(ui::find(sheet, kLandscape));
      if (ok) ui::press_ok(sheet);
      else ui::press_cancel(sheet);
    });
    EXPECT_EQ(advanced_(nullptr, printer_, const_cast<LPWSTR>(kDemoPrinter), reinterpret_cast<PDEVMODEW>(out.data()),
                        nullptr),
              ok ? 1 : 0);
    EXPECT_EQ(reinterpret_cast<DEVMODEW*>(out.data())->dmOrientation, ok ? DMORIENT_LANDSCAPE : static_cast<SHORT>(0xEEEE));
  }
}

// With write access the device sheet is editable and OK stores its settings
// and publishes the capabilities; without, it opens read-only.
TEST_F(DocumentProperties, PrinterPropertiesWithAndWithoutWriteAccess) {
  HANDLE admin = nullptr;
  PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kDemoPrinter), &admin, &all));
  ui::script_modal([](HWND sheet) {
    ASSERT_TRUE(ui::select(GetDlgItem(sheet, IDC_PS_TABCONTROL), kOptionsTab));
    EXPECT_TRUE(ui::state(ui::find(sheet, kDuplexUnit)).enabled);
    ASSERT_TRUE(ui::click(ui::find(sheet, kDuplexUnit)));
    ui::press_ok(sheet);
  });
  EXPECT_TRUE(printer_properties_(nullptr, admin));
  BYTE value = 0xEE;
  DWORD type = 0, needed = 0;
  EXPECT_EQ(GetPrinterDataExW(admin, u"DsDriver", u"printDuplexSupported", &type, &value, 1, &needed),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(value, 1);
  EXPECT_EQ(GetPrinterDataExW(admin, u"DsDriver", u"printStaplingSupported", &type, &value, 1, &needed),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(value, 0);
  ClosePrinter(admin);

  ui::script_modal([](HWND sheet) {
    ASSERT_TRUE(ui::select(GetDlgItem(sheet, IDC_PS_TABCONTROL), kOptionsTab));
    EXPECT_TRUE(ui::state(ui::find(sheet, kDuplexUnit)).visible);
    EXPECT_FALSE(ui::state(ui::find(sheet, kDuplexUnit)).enabled);
    ui::press_cancel(sheet);
  });
  EXPECT_FALSE(printer_properties_(nullptr, printer_));
  ASSERT_EQ(ui::modal_log().size(), 2u);
}

// OK of a document sheet stores by its host: an application's sheet into a
// settings file its DEVMODE names, the printer folder's default-settings
// sheet (not in a preferences window) into the printer's own settings.
TEST_F(DocumentProperties, WhereOkStoresFollowsTheHostWindow) {
  struct Case {
    const char* what;
    DWORD fMode;
    LONG per_user;
    bool names_file;
  } const cases[] = {
      {"application", DM_COPY | DM_PROMPT, 1, true},
      {"printer folder", DM_COPY | DM_PROMPT | DM_USER_DEFAULT, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ui::reset();
    std::vector<BYTE> out(kFullDevmode, 0);
    ui::script_modal([](HWND sheet) { ui::press_ok(sheet); });
    EXPECT_EQ(properties_(nullptr, printer_, const_cast<LPWSTR>(kDemoPrinter), reinterpret_cast<PDEVMODEW>(out.data()),
                          nullptr, c.fMode),
              IDOK);
    std::vector<BYTE> block(kPrinterDataBlockSize);
    EXPECT_EQ(setting(out.data(), block.data(), 439), c.per_user);
    const std::u16string file = text_setting(out.data(), 374);
    EXPECT_EQ(!file.empty(), c.names_file);
    if (c.names_file) {
      EXPECT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
      EXPECT_NE(file.find(u"QZF"), std::u16string::npos);
    }
  }
}

// The classification of a host window by the caption of its outermost
// window below the top: a printer-folder sheet (mode bit 0x10) in a
// preferences window stores per user, elsewhere the printer's settings; an
// application's sheet always uses its settings file. A pattern that the
// printer's name holds counts only when it appears once more.
TEST(HostWindow, ClassifiedByCaption) {
  morva::test::TempRoot root;
  ui::reset();
  LoadResourceModule();
  ASSERT_NE(GetResourceModule(), nullptr);
  struct Case {
    const char* what;
    const char16_t* caption;
    const char16_t* printer;
    WORD mode;
    INT expected;
  } const cases[] = {
      {"application sheet", u"Anything", u"Morva Demo Printer", kSheetModeDocument, 1},
      {"preferences", u"Morva Demo Printer Printing Preferences", u"Morva Demo Printer", kSheetModeUserDefault, 2},
      {"preferences in German", u"Druckeinstellungen für Morva Demo Printer", u"Morva Demo Printer",
       kSheetModeUserDefault, 3},
      {"properties", u"Morva Demo Printer Properties", u"Morva Demo Printer", kSheetModeUserDefault, 0},
      {"pattern only in the name", u"Printing Preferences Lab Properties", u"Printing Preferences Lab",
       kSheetModeUserDefault, 0},
      {"pattern once more", u"Printing Preferences Lab Printing Preferences", u"Printing Preferences Lab",
       kSheetModeUserDefault, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HWND top = CreateWindowExW(0, u"STATIC", u"Top", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    HWND host = CreateWindowExW(0, u"STATIC", c.caption, WS_CHILD, 0, 0, 50, 50, top, nullptr, nullptr, nullptr);
    HWND sheet = CreateWindowExW(0, u"STATIC", u"Sheet", WS_CHILD, 0, 0, 20, 20, host, nullptr, nullptr, nullptr);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(ClassifyHostWindow(sheet, c.printer, c.mode), c.expected);
    DestroyWindow(top);
  }
  ReleaseResourceModule();
}

TEST(SheetTempFile, MadeInTheTemporaryFolder) {
  morva::test::TempRoot root;
  WCHAR name[MAX_PATH] = {};
  MakeSheetTempFileName(name, 4);
  const std::u16string made = name;
  EXPECT_NE(made.find(u"QZF"), std::u16string::npos);
  EXPECT_NE(GetFileAttributesW(name), INVALID_FILE_ATTRIBUTES);
}

}  // namespace

namespace {

// The fax-only sheet a fax job opens when it has no destinations yet: the
// user adds one on its fax page (the page refuses OK with an empty list),
// and OK writes the destination list to a new file named in the DEVMODE
// handed back whole; Cancel hands nothing back.
TEST_F(DocumentProperties, FaxOnlySheet) {
  // The administrator switches direct fax on, with a fax card that takes
  // typed numbers.
  switch_direct_fax_on(2);
  for (bool ok : {true, false}) {
    SCOPED_TRACE(ok);
    ui::reset();
    std::vector<BYTE> out(kFullDevmode, 0xEE);
    std::u16string title;
    ui::script_modal([&](HWND sheet) {
      title = ui::text(sheet);
      ASSERT_TRUE(ui::select(ui::find(sheet, kFaxKind), 0));
      ASSERT_TRUE(ui::enter_text(ui::find(sheet, kFaxNumber), u"0123456789"));
      ASSERT_TRUE(ui::enter_text(ui::find(sheet, kFaxName), u"Alice"));
      EXPECT_TRUE(ui::click(ui::find(sheet, kFaxAdd)));
      if (ok) ui::press_ok(sheet);
      else ui::press_cancel(sheet);
    });
    const LONG r = RunFaxSheet(nullptr, printer_, u"Quarterly report", reinterpret_cast<PDEVMODEW>(out.data()), nullptr,
                               DM_COPY | DM_PROMPT | DM_MODIFY);
    EXPECT_NE(title.find(u"Quarterly report"), std::u16string::npos);
    if (!ok) {
      EXPECT_EQ(r, CPSUI_CANCEL);
      EXPECT_EQ(out[0], 0xEE);
      continue;
    }
    ASSERT_EQ(r, CPSUI_OK);
    const auto* dm = reinterpret_cast<const DEVMODEW*>(out.data());
    EXPECT_EQ(dm->dmSize + dm->dmDriverExtra, kShortDevmode);
    EXPECT_NE(out[kFullDevmode - 1], 0xEE);  // the extension block came too
    const std::u16string file = text_setting(out.data(), 375);
    ASSERT_NE(file.find(u"QZF"), std::u16string::npos);
    HANDLE f = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    char16_t head[8] = {};
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(f, head, 14, &read, nullptr));
    CloseHandle(f);
    EXPECT_EQ(std::u16string(head, 7), u"DFAX002");
  }
}

}  // namespace
