// The fax page's entry and list as a user sees them, on the demo printer
// with direct fax switched on and the stand-in address-book library: the
// company field's own font and its two lines of 40 bytes, the rows' kind
// icons, the address-book status with the file's path as its tip, and the
// list taking the focus back after a removal, and the address-book
// dialog's typed path and Browse button. The page's picture is written for
// a person to look at (fax-page-sheet.png in the bin folder).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ddd_builder.h"
#include "gfx_demo.h"
#include "settings/database/ddd_file.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_data_kinds.h"
#include "settings/stores/printer_settings.h"
#include "sheet_ui_fixture.h"
#include "temp_root.h"
#include "win/commdlg.h"
#include "win/win.h"

namespace {

namespace ui = morva::platform::ui;
using morva::gfx_demo::kDemoPrinter;

constexpr DWORD kShortDevmode = 1604;
constexpr INT kKind = 4016, kNumber = 4018, kName = 4019, kCompany = 4021, kAdd = 4003, kList = 4002;
constexpr INT kRemove = 4006, kStatus = 4035, kBookButton = 4049;
constexpr INT kDeviceBook = 4910, kFileBook = 4911, kFiles = 4008, kRun = 4005, kBrowse = 4009;

class FaxPageSheet : public morva::test::SheetUiTest {
 protected:
  // The demo database naming the stand-in address-book library.
  std::string database_folder() override {
    std::ifstream in(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json");
    nlohmann::json d = nlohmann::json::parse(in);
    d["main"]["fields"]["36"] = nlohmann::json::array({"", "mvporthelp.dll", "", "", "mvfaxval.dll"});
    const std::string folder = root_.path() + "/book_database";
    std::filesystem::create_directories(folder);
    morva::ddd_build::write_images(morva::ddd_build::build_images(d), folder);
    return folder;
  }
  void SetUp() override {
    SheetUiTest::SetUp();
    if (HasFatalFailure()) return;
    switch_direct_fax_on();
  }
  void TearDown() override {
    unsetenv("FAXBOOK_MODE");
    SheetUiTest::TearDown();
  }
  // Runs the document sheet; the script acts on its fax page.
  void run_sheet(ui::ModalScript script) {
    std::vector<BYTE> devmode(kShortDevmode, 0);
    run_document_sheet(std::move(script), devmode.data(), kShortDevmode);
  }
};

std::u16string cell(HWND list, INT row, INT column) { return morva::test::ListCell(list, row, column); }

INT icon(HWND list, INT row) {
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  item.iImage = -1;
  SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return item.iImage;
}

std::u16string face_of(HWND control) {
  LOGFONTW font{};
  auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  if (!handle || !GetObjectW(handle, sizeof font, &font)) return {};
  return font.lfFaceName;
}

// The company field has its own face and height; a 41st byte goes on in a
// second line, and a text that needs a third line is not taken: the row
// shows the last company that fitted, its line break as one blank.
TEST_F(FaxPageSheet, CompanyFieldKeepsTwoLinesOfFortyBytesInItsOwnFont) {
  run_sheet([&](HWND sheet) {
    HWND company = ui::find(sheet, kCompany);
    ASSERT_NE(company, nullptr);
    EXPECT_EQ(face_of(company), u"DejaVu Sans");
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(company, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(font.lfHeight, -12) << "the height for 96 dpi screens";
    const std::u16string forty(40, u'x');
    ASSERT_TRUE(ui::enter_text(company, forty + u"yyyyy"));
    EXPECT_EQ(ui::text(company), forty + u"\r\nyyyyy");
    ASSERT_TRUE(ui::type(u"zz"));
    EXPECT_EQ(ui::text(company), forty + u"\r\nyyyyyzz") << "the caret stayed behind the typed text";
    SetWindowTextW(company, u"one\r\ntwo\r\nthree");
    ASSERT_TRUE(ui::select(ui::find(sheet, kKind), 0));
    ASSERT_TRUE(ui::enter_text(ui::find(sheet, kNumber), u"0312345678"));
    ASSERT_TRUE(ui::enter_text(ui::find(sheet, kName), u"Alice"));
    EXPECT_TRUE(ui::click(ui::find(sheet, kAdd)));
    HWND list = ui::find(sheet, kList);
    ASSERT_EQ(ui::state(list).count, 1);
    EXPECT_EQ(cell(list, 0, 3), forty + u" yyyyyzz");
    EXPECT_EQ(face_of(list), u"DejaVu Sans") << "the list shows the company in the field's font";
    EXPECT_TRUE(ui::press_cancel(sheet));
  });
}

// Rows show their kind's icon (a fax number, a speed-dial number, an entry
// of the device's address book); the address-book file names the list
// with its full path as the tip until a destination is typed in; a
// removal gives the list the focus with its first row focused.
TEST_F(FaxPageSheet, RowsShowTheirKindAndTheStatusNamesTheAddressBook) {
  setenv("FAXBOOK_MODE", "book-entry", 1);
  const std::string png = std::string(MORVA_BIN_DIR) + "/fax-page-sheet.png";
  std::filesystem::remove(png);
  run_sheet([&](HWND sheet) {
    HWND list = ui::find(sheet, kList);
    HWND status = ui::find(sheet, kStatus);
    ASSERT_NE(list, nullptr);
    const auto icons = reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    EXPECT_EQ(ImageList_GetImageCount(icons), 4) << "the four row icons";
    ui::script_modal([&](HWND book) {
      EXPECT_TRUE(ui::click(ui::find(book, kFileBook)));
      ASSERT_TRUE(ui::enter_text(ui::find(book, kFiles), u"C:\\books\\team.fab"));
      EXPECT_TRUE(ui::click(ui::find(book, kRun)));
    });
    EXPECT_TRUE(ui::click(ui::find(sheet, kBookButton)));
    ASSERT_EQ(ui::state(list).count, 2);
    EXPECT_EQ(cell(list, 1, 2), u"Gina");
    EXPECT_EQ(ui::text(status), u"Address book: team.fab");
    EXPECT_EQ(ui::hover(status), u"C:\\books\\team.fab");
    ASSERT_TRUE(ui::select(ui::find(sheet, kKind), 0));
    ASSERT_TRUE(ui::enter_text(ui::find(sheet, kNumber), u"0312345678"));
    ASSERT_TRUE(ui::enter_text(ui::find(sheet, kName), u"Alice"));
    EXPECT_TRUE(ui::click(ui::find(sheet, kAdd)));
    ASSERT_TRUE(ui::select(ui::find(sheet, kKind), 1));
    ASSERT_TRUE(ui::enter_text(ui::find(sheet, kNumber), u"***"));
    EXPECT_TRUE(ui::click(ui::find(sheet, kAdd)));
    ASSERT_EQ(ui::state(list).count, 4);
    const INT kinds[] = {0, 3, 0, 1};
    for (INT row = 0; row < 4; ++row) EXPECT_EQ(icon(list, row), kinds[row]) << row;
    EXPECT_EQ(ui::text(status), u"") << "a typed destination clears the status";
    EXPECT_EQ(ui::hover(status), u"");
    EXPECT_TRUE(ui::write_png(ui::current_page(sheet), png));
    // The focused row goes; the list takes the focus with the first row.
    ASSERT_TRUE(ui::select(list, 1));
    EXPECT_TRUE(ui::click(ui::find(sheet, kRemove)));
    EXPECT_EQ(ui::state(list).count, 3);
    EXPECT_TRUE(ui::state(list).focused);
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 0);
    EXPECT_TRUE(ui::press_cancel(sheet));
  });
  EXPECT_TRUE(std::filesystem::exists(png));
}

// The typed path of the address-book dialog: a character without an ANSI
// form is taken back, a path stops at 260 bytes, and each accepted change
// tells the page that something changed. A path set without typing is
// checked when the focus leaves (warning 5041).
TEST_F(FaxPageSheet, AddressBookPathIsCheckedAsItIsTyped) {
  INT changes = 0;
  run_sheet([&](HWND sheet) {
    ui::script_modal([&](HWND book) {
      HWND files = ui::find(book, kFiles);
      EXPECT_TRUE(ui::click(ui::find(book, kFileBook)));
      ui::trace_messages([&](const ui::Delivered& d) {
        if (d.message == PSM_CHANGED && d.window == GetParent(book) && reinterpret_cast<HWND>(d.wParam) == book)
          ++changes;
      });
      ASSERT_TRUE(ui::enter_text(files, u"C:\\books\\a"));
      EXPECT_EQ(changes, 10) << "one for each accepted key, to the dialog's parent";
      ASSERT_TRUE(ui::type(u"\u0101"));
      EXPECT_EQ(ui::text(files), u"C:\\books\\a") << "no ANSI form: taken back";
      EXPECT_EQ(changes, 10);
      EXPECT_TRUE(morva::platform::message_box_log().empty());
      const std::u16string long_path = u"C:\\" + std::u16string(300, u'p');
      SetWindowTextW(files, long_path.substr(0, 259).c_str());
      SendMessageW(files, CB_SETEDITSEL, 0, MAKELPARAM(259, 259));
      ASSERT_TRUE(ui::type(u"qqq"));
      EXPECT_EQ(ui::text(files), long_path.substr(0, 259) + u"q") << "cut at 260 bytes";
      // Set without typing, the path is checked as the focus leaves.
      SetWindowTextW(files, u"C:\\b\u0101d.fab");
      EXPECT_TRUE(ui::click(ui::find(book, kFileBook)));
      const auto log = morva::platform::message_box_log();
      ASSERT_EQ(log.size(), 1u);
      EXPECT_EQ(log[0].text, u"The address-book file name holds a character that cannot be used.");
      EXPECT_EQ(log[0].style & MB_ICONWARNING, static_cast<UINT>(MB_ICONWARNING));
      EXPECT_TRUE(ui::state(files).focused);
      ui::trace_messages(nullptr);
      EXPECT_TRUE(ui::click(ui::find(book, 1091)));
    });
    EXPECT_TRUE(ui::click(ui::find(sheet, kBookButton)));
    EXPECT_TRUE(ui::press_cancel(sheet));
  });
}

// Browse starts the file dialog from the path without its leading ":" and
// makes the chosen file the one the address book runs on; a cancelled
// dialog leaves the file as it was.
TEST_F(FaxPageSheet, BrowseChoosesTheAddressBookFile) {
  const std::string log_file = root_.file("faxbook.log");
  setenv("FAXBOOK_LOG", log_file.c_str(), 1);
  setenv("FAXBOOK_MODE", "keep", 1);
  run_sheet([&](HWND sheet) {
    ui::script_modal([&](HWND book) {
      HWND files = ui::find(book, kFiles);
      EXPECT_TRUE(ui::click(ui::find(book, kFileBook)));
      ASSERT_TRUE(ui::enter_text(files, u":C:\\books\\old.fab"));
      morva::platform::reset_common_dialogs();
      morva::platform::script_common_dialog_answers({{false, u""}, {true, u"C:\\books\\new.fab"}});
      EXPECT_TRUE(ui::click(ui::find(book, kBrowse)));
      EXPECT_EQ(ui::text(files), u":C:\\books\\old.fab") << "cancelled: the file stays";
      EXPECT_TRUE(ui::click(ui::find(book, kBrowse)));
      const auto dialogs = morva::platform::common_dialog_log();
      ASSERT_EQ(dialogs.size(), 2u);
      EXPECT_EQ(dialogs[0].kind, morva::platform::CommonDialogRecord::kOpenFile);
      EXPECT_EQ(dialogs[1].text, u"C:\\books\\old.fab") << "the dialog starts without the colon";
      EXPECT_EQ(ui::text(files), u"C:\\books\\new.fab");
      EXPECT_TRUE(ui::write_png(book, std::string(MORVA_BIN_DIR) + "/fax-address-book-dialog.png"));
      EXPECT_TRUE(ui::click(ui::find(book, kRun)));
    });
    EXPECT_TRUE(ui::click(ui::find(sheet, kBookButton)));
    EXPECT_TRUE(ui::press_cancel(sheet));
  });
  unsetenv("FAXBOOK_LOG");
  EXPECT_NE(morva::test::read_file(log_file).find("file=C:\\books\\new.fab"), std::string::npos)
      << morva::test::read_file(log_file);
}

}  // namespace
