// The fax page of the demo printer's document sheet, driven as a user
// would: destinations are typed and added (one speed-dial number is
// refused), a cover sheet is chosen and previewed, OK hands back the
// DEVMODE whose settings file holds the list, which a second process reads
// and turns into fax job-attribute lines. The plain checks of the fax
// dialogs are tested by tables of cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include <cstring>
#include <string>
#include <vector>

#include "child_process.h"
#include "fax/fax_job_attr.h"
#include "fax/fax_list.h"
#include "fax/fax_registry_lists.h"
#include "fax/fax_store.h"
#include "gfx_demo.h"
#include "property_sheets/fax_pages.h"
#include "settings/database/ddd_file.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_data_kinds.h"
#include "settings/stores/printer_settings.h"
#include "sheet_ui_fixture.h"
#include "temp_root.h"
#include "win/paths.h"
#include "win/win.h"

namespace {

namespace ui = morva::platform::ui;
using namespace morva::fax;
using morva::gfx_demo::kDemoPrinter;

constexpr DWORD kShortDevmode = 1604;
constexpr INT kKind = 4016, kNumber = 4018, kName = 4019, kAdd = 4003, kList = 4002, kRemove = 4006;
constexpr INT kOk = 1092, kDefaults = 1090;
constexpr INT kCover = 4023, kCoverButton = 4024, kSubject = 4107, kSenders = 4106, kCoverSender = 4116;
constexpr INT kSenderList = 4301, kSenderName = 4302, kSenderCompany = 4303, kRegisterSender = 4320, kNewSender = 4319;

std::u16string cell(HWND list, INT row, INT column) { return morva::test::ListCell(list, row, column); }

TEST(FaxChecks, RelayNumbers) {
  struct Case {
    std::u16string text;
    INT expected;
  } const cases[] = {
      {u"", 0},          {u"1,2,03,#5,**", 0}, {u"12,", 0},  {u",1", 1},   {u"1,,2", 1}, {u"123", 1},
      {u"0", 1},         {u"00", 1},           {u"#0", 1},   {u"5#", 1},   {u"*1", 1},   {u"#", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckRelayNumbers(c.text), c.expected);
  std::u16string items = u"1";
  for (int i = 0; i < 20; ++i) items += u",1";
  EXPECT_EQ(CheckRelayNumbers(items), 2);  // 21 items
  EXPECT_EQ(CheckRelayNumbers(items.substr(2)), 0);
}

TEST(FaxChecks, PasswordsFormNamesAndFittedTexts) {
  EXPECT_FALSE(IsRefusedMailboxPassword(u""));
  EXPECT_TRUE(IsRefusedMailboxPassword(u"123"));
  EXPECT_FALSE(IsRefusedMailboxPassword(u"1234"));
  struct Form {
    std::u16string path;
    INT expected;
  } const forms[] = {{u"C:\\forms\\cover123.frm", 0}, {u"C:\\forms\\cover1234.frm", 1}, {u"C:\\a.b\\cover.frm", 1},
                     {u"C:\\forms\\cover", 1},         {u"", 1}};
  for (const Form& f : forms) EXPECT_EQ(IsValidFormFileName(f.path), f.expected);
  std::u16string folder, name;
  EXPECT_EQ(SplitFormPath(u"C:\\forms\\cover.frm", &folder, &name), 9);
  EXPECT_EQ(folder, u"C:\\forms");
  EXPECT_EQ(name, u"cover");
  EXPECT_EQ(FitTextToBytes(u"Alice Example\rsecond", 8, FALSE), u"Alice...");
  EXPECT_EQ(FitTextToBytes(u"Bob", 6, TRUE), u"Bob   ");
  EXPECT_TRUE(TextFitsLines(u"line one\r\nline two", 40, 2));
  EXPECT_FALSE(TextFitsLines(std::u16string(41, u'x'), 40, 1));
  EXPECT_TRUE(TextFitsLines(std::u16string(80, u'x'), 40, 2));
}

TEST(FaxChecks, DisplayedNumbers) {
  FaxDestination d{};
  d.Kind = kFaxKindSpeedDial;
  std::memcpy(d.Number, u"7", 2 * sizeof(WCHAR));
  EXPECT_EQ(FaxDisplayNumber(d, u"0", u"9", FALSE, u" (speed dial)", u""), u"007 (speed dial)");
  EXPECT_EQ(FaxDisplayNumber(d, u"0", u"9", TRUE, u"", u""), u"0007");
  d.Kind = kFaxKindNumber;
  d.Line = 2;
  EXPECT_EQ(FaxDisplayNumber(d, u"0", u"9", FALSE, u"", u""), u"07");
  d.Kind = kFaxKindIpAddress;
  EXPECT_EQ(FaxDisplayNumber(d, u"0", u"9", FALSE, u"", u" (IP)"), u"7 (IP)");
}

class FaxPage : public morva::test::SheetUiTest {
 protected:
  void SetUp() override {
    SheetUiTest::SetUp();
    if (HasFatalFailure()) return;
    // The administrator switches direct fax on, with the fax card of mode 0.
    switch_direct_fax_on(2);
  }
};

void add(HWND sheet, INT kind, const std::u16string& number, const std::u16string& name) {
  ASSERT_TRUE(ui::select(ui::find(sheet, kKind), kind));
  ASSERT_TRUE(ui::enter_text(ui::find(sheet, kNumber), number));
  ASSERT_TRUE(ui::enter_text(ui::find(sheet, kName), name));
  EXPECT_TRUE(ui::click(ui::find(sheet, kAdd)));
}

TEST_F(FaxPage, DestinationsAndCoverSheetGoWithTheDevmodeToTheNextProcess) {
  std::vector<BYTE> devmode(kShortDevmode, 0);
  DOCUMENTPROPERTYHEADER header = document_header(devmode.data(), kShortDevmode);
  const std::string png = root_.path() + "/fax-cover-sheet.png";
  ui::script_modal([&](HWND sheet) {
    HWND list = ui::find(sheet, kList);
    ASSERT_NE(list, nullptr) << "the fax page is the first page";
    add(sheet, 0, u"0123456789", u"Alice");
    add(sheet, 0, u"0301234567", u"Bob");
    // A speed-dial number of two digits is refused and leaves the list as it was.
    add(sheet, 1, u"12", u"Carol");
    EXPECT_EQ(ui::text(ui::find(sheet, kNumber)), u"");
    add(sheet, 0, u"0405550100", u"Dave");
    ASSERT_EQ(ui::state(list).count, 3);
    EXPECT_EQ(cell(list, 0, 1), u"0123456789");
    EXPECT_EQ(cell(list, 1, 2), u"Bob");
    EXPECT_EQ(cell(list, 2, 2), u"Dave");
    // Taking a row out and adding it again keeps it.
    ASSERT_TRUE(ui::select(list, 1));
    EXPECT_TRUE(ui::state(ui::find(sheet, kRemove)).enabled);
    EXPECT_TRUE(ui::click(ui::find(sheet, kCover)));
    ui::script_modal([&](HWND dialog) {
      EXPECT_TRUE(ui::enter_text(ui::find(dialog, kSubject), u"Quarterly figures"));
      // A sender is registered in the sender dialog and chosen for the cover sheet.
      ui::script_modal([](HWND senders) {
        EXPECT_FALSE(ui::state(ui::find(senders, kSenderName)).enabled);
        EXPECT_TRUE(ui::click(ui::find(senders, kNewSender)));
        EXPECT_TRUE(ui::enter_text(ui::find(senders, kSenderName), u"Erin Sender"));
        EXPECT_TRUE(ui::enter_text(ui::find(senders, kSenderCompany), u"Morva Works"));
        EXPECT_TRUE(ui::click(ui::find(senders, kRegisterSender)));
        EXPECT_EQ(ui::text(ui::find(senders, kSenderList)), u"Erin Sender");
        EXPECT_TRUE(ui::press_ok(senders));
      });
      EXPECT_TRUE(ui::click(ui::find(dialog, kSenders)));
      EXPECT_EQ(ui::text(ui::find(dialog, kCoverSender)), u"Erin Sender");
      EXPECT_TRUE(ui::write_png(dialog, png));
      EXPECT_TRUE(ui::click(ui::find(dialog, kOk)));
    });
    EXPECT_TRUE(ui::click(ui::find(sheet, kCoverButton)));
    EXPECT_TRUE(ui::press_ok(sheet));
  });
  EXPECT_EQ(show_document_sheet(header), CPSUI_OK);
  const auto log = morva::platform::message_box_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].text, u"Type a speed-dial number of three digits.");
  EXPECT_EQ(log[0].style, static_cast<UINT>(MB_ICONWARNING));
  // The sheet's DEVMODE names the settings file that holds the list.
  std::vector<BYTE> full(5988);
  std::memcpy(full.data(), devmode.data(), kShortDevmode);
  std::vector<BYTE> block(kPrinterDataBlockSize);
  WORD type = 0;
  DWORD size = 0;
  ItemValue file{};
  ASSERT_EQ(GetItemValue(374, full.data(), block.data(), &type, &size, &file), 0);
  ASSERT_NE(file.ptr, nullptr);
  const std::u16string name(static_cast<LPCWSTR>(file.ptr));
  EXPECT_FALSE(name.empty());
  std::string native;
  for (char16_t c : name) native += static_cast<char>(c);
  EXPECT_EQ(morva::test::run_child_tests("FaxPageChild.*", root_.path(), "reader:" + native), 0);
}

// The user's column widths of the destination list are stored when the
// sheet applies and come back in the next sheet; the first sheet shows
// the default widths, and restoring the defaults gives them back.
TEST_F(FaxPage, ColumnWidthsAreKeptForTheNextSheet) {
  std::vector<BYTE> devmode(kShortDevmode, 0);
  DOCUMENTPROPERTYHEADER header = document_header(devmode.data(), kShortDevmode);
  auto width = [](HWND list, INT c) { return SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0); };
  LRESULT kept[4] = {};
  const std::function<void(HWND)> sheets[] = {
      [&](HWND list) {
        EXPECT_EQ(width(list, 0), 25) << "the default width of the first column";
        EXPECT_EQ(width(list, 1), width(list, 2)) << "the second and third share a third each";
        EXPECT_TRUE(SendMessageW(list, LVM_SETCOLUMNWIDTH, 2, MAKELPARAM(77, 0)));
        for (INT c = 0; c < 4; ++c) kept[c] = width(list, c);
      },
      [&](HWND list) {
        for (INT c = 0; c < 4; ++c) EXPECT_EQ(width(list, c), kept[c]) << c;
        // Restoring the defaults gives the columns their first widths again.
        EXPECT_TRUE(ui::click(ui::find(GetParent(list), kDefaults)));
        EXPECT_EQ(width(list, 0), 25);
        EXPECT_EQ(width(list, 2), width(list, 1));
      }};
  for (const auto& act : sheets) {
    ui::script_modal([&](HWND sheet) {
      HWND list = ui::find(sheet, kList);
      ASSERT_NE(list, nullptr);
      act(list);
      EXPECT_TRUE(ui::press_ok(sheet));
    });
    EXPECT_EQ(show_document_sheet(header), CPSUI_OK);
  }
  EXPECT_EQ(kept[2], 77);
}

// The sending time: the hour and minute show two digits, a step past an
// end goes round, and OK keeps the four settings for the next sheet.
TEST_F(FaxPage, SendingTimeShowsTwoDigitsAndGoesRound) {
  constexpr INT kSendLater = 4010, kHour = 4011, kDay = 4013, kMinuteSpin = 4014, kMinute = 4015;
  std::vector<BYTE> devmode(kShortDevmode, 0);
  DOCUMENTPROPERTYHEADER header = document_header(devmode.data(), kShortDevmode);
  const std::string png = std::string(MORVA_BIN_DIR) + "/fax-page-sending-time.png";
  ui::script_modal([&](HWND sheet) {
    EXPECT_EQ(ui::text(ui::find(sheet, kHour)), u"00");
    EXPECT_EQ(ui::items(ui::find(sheet, kDay)), (std::vector<std::u16string>{u"Today", u"Tomorrow"}));
    EXPECT_TRUE(ui::click(ui::find(sheet, kSendLater)));
    ASSERT_TRUE(ui::enter_text(ui::find(sheet, kHour), u"7"));
    ASSERT_TRUE(ui::focus(ui::find(sheet, kMinute)));
    EXPECT_EQ(ui::text(ui::find(sheet, kHour)), u"07");
    // Down from the lowest minute goes round to the highest, and up again.
    EXPECT_TRUE(ui::spin(ui::find(sheet, kMinuteSpin), false));
    EXPECT_EQ(ui::text(ui::find(sheet, kMinute)), u"59");
    EXPECT_TRUE(ui::spin(ui::find(sheet, kMinuteSpin), true));
    EXPECT_EQ(ui::text(ui::find(sheet, kMinute)), u"00");
    EXPECT_TRUE(ui::spin(ui::find(sheet, kMinuteSpin), true));
    EXPECT_EQ(ui::text(ui::find(sheet, kMinute)), u"01");
    EXPECT_TRUE(ui::select(ui::find(sheet, kDay), 1));
    EXPECT_TRUE(ui::write_png(sheet, png));
    EXPECT_TRUE(ui::press_ok(sheet));
  });
  EXPECT_EQ(show_document_sheet(header), CPSUI_OK);
  // The application hands the DEVMODE back to the next sheet.
  std::vector<BYTE> kept = devmode;
  header.pdmIn = reinterpret_cast<PDEVMODEW>(kept.data());
  header.fMode = DM_COPY | DM_PROMPT | DM_MODIFY;
  ui::script_modal([&](HWND sheet) {
    EXPECT_EQ(ui::state(ui::find(sheet, kSendLater)).check, BST_CHECKED);
    EXPECT_EQ(ui::text(ui::find(sheet, kHour)), u"07");
    EXPECT_EQ(ui::text(ui::find(sheet, kMinute)), u"01");
    EXPECT_EQ(ui::text(ui::find(sheet, kDay)), u"Tomorrow");
    EXPECT_TRUE(ui::press_cancel(sheet));
  });
  show_document_sheet(header);
  EXPECT_TRUE(morva::platform::message_box_log().empty());
}

// A stored list goes back to the page as the device can take it: a list
// built while speed-dial numbers had three digits is dropped whole, with
// its message, when the device now numbers them with four digits.
TEST_F(FaxPage, AStoredListIsDroppedWhenTheDigitCountChanged) {
  std::vector<BYTE> devmode(kShortDevmode, 0);
  DOCUMENTPROPERTYHEADER header = document_header(devmode.data(), kShortDevmode);
  ui::script_modal([&](HWND sheet) {
    add(sheet, 0, u"0123456789", u"Alice");
    add(sheet, 0, u"0301234567", u"Bob");
    EXPECT_TRUE(ui::press_ok(sheet));
  });
  ASSERT_EQ(show_document_sheet(header), CPSUI_OK);
  // The application hands the DEVMODE back to the next sheets.
  const std::vector<BYTE> kept = devmode;
  header.pdmIn = reinterpret_cast<PDEVMODEW>(const_cast<BYTE*>(kept.data()));
  header.fMode = DM_COPY | DM_PROMPT | DM_MODIFY;
  struct Case {
    DWORD card;  // 2: three digits (mode 0), 1: four digits (mode 2)
    INT rows;
    std::vector<std::u16string> messages;
  } const cases[] = {
      {2, 2, {}},
      {1, 0, {u"The speed-dial numbers of the device changed their digit count: the destination list was emptied."}},
  };
  for (const Case& c : cases) {
    switch_direct_fax_on(c.card);
    morva::platform::reset_message_boxes();
    INT rows = -1;
    ui::script_modal([&](HWND sheet) {
      ui::pump();
      rows = ui::state(ui::find(sheet, kList)).count;
      EXPECT_TRUE(ui::press_cancel(sheet));
    });
    show_document_sheet(header);
    EXPECT_EQ(rows, c.rows) << c.card;
    std::vector<std::u16string> shown;
    for (const auto& m : morva::platform::message_box_log()) shown.push_back(m.text);
    EXPECT_EQ(shown, c.messages) << c.card;
  }
}

// The entry goes into a phonebook file through the outside phonebook tool
// (the stand-in program), while the tool-wait dialog waits for it; a tool
// the user stops leaves the phonebook as it was. Without the tool both
// buttons say so.
TEST_F(FaxPage, PhonebookButtonsRunTheToolAndWaitForIt) {
  constexpr INT kAddToPhonebook = 4046, kPhonebookTool = 4041, kStop = 1092;
  std::vector<BYTE> devmode(kShortDevmode, 0);
  DOCUMENTPROPERTYHEADER header = document_header(devmode.data(), kShortDevmode);
  const std::string book = root_.file("drive_c/books/office.pbk");
  std::filesystem::create_directories(root_.file("drive_c/books"));
  auto run_sheet = [&](const std::function<void(HWND)>& act) {
    ui::script_modal([&](HWND sheet) {
      ASSERT_TRUE(ui::enter_text(ui::find(sheet, kNumber), u"0312345678"));
      ASSERT_TRUE(ui::enter_text(ui::find(sheet, kName), u"Alice"));
      act(sheet);
      EXPECT_TRUE(ui::press_cancel(sheet));
    });
    show_document_sheet(header);
  };
  // No tool installed.
  run_sheet([&](HWND sheet) {
    EXPECT_TRUE(ui::click(ui::find(sheet, kPhonebookTool)));
    EXPECT_TRUE(ui::click(ui::find(sheet, kAddToPhonebook)));
  });
  auto log = morva::platform::message_box_log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].text, u"The phonebook tool could not be started.");
  EXPECT_EQ(log[1].text, u"The phonebook tool is not installed.");
  morva::platform::reset_message_boxes();

  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Morva\\Fax Phonebook Tool", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::u16string dir = morva::platform::windows_path(MORVA_BIN_DIR);
  const std::u16string version = u"60100";
  RegSetValueExW(key, u"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                 static_cast<DWORD>((dir.size() + 1) * 2));
  RegSetValueExW(key, u"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                 static_cast<DWORD>((version.size() + 1) * 2));
  RegCloseKey(key);

  struct Case {
    const char* mode;  // what the stand-in tool does
    bool stop;         // the user stops the tool in the wait dialog
  } const cases[] = {{"merge", false}, {"hang", true}};
  for (const Case& c : cases) {
    setenv("PBTOOL_MODE", c.mode, 1);
    const std::string before = std::filesystem::exists(book) ? morva::test::read_file(book) : std::string();
    bool waited = false;
    run_sheet([&](HWND sheet) {
      EXPECT_TRUE(ui::state(ui::find(sheet, kAddToPhonebook)).enabled);
      morva::platform::script_common_dialog_answers({{true, u"C:\\books\\office.pbk"}});
      morva::platform::script_message_box_answers({IDYES});  // a new phonebook may be made
      ui::script_modal([&](HWND wait) {
        waited = true;
        if (c.stop) {
          EXPECT_TRUE(ui::click(ui::find(wait, kStop)));
          return;
        }
        // The dialog polls the tool twice a second.
        for (int i = 0; i < 20; ++i) ui::advance_time(500);
      });
      EXPECT_TRUE(ui::click(ui::find(sheet, kAddToPhonebook)));
    });
    EXPECT_TRUE(waited) << c.mode;
    const auto modals = ui::modal_log();
    ASSERT_FALSE(modals.empty());
    const auto& wait = *std::find_if(modals.rbegin(), modals.rend(), [](const ui::ModalRecord& r) {
      return r.title == u"Phonebook";
    });
    EXPECT_EQ(wait.result, 11) << c.mode << ": the dialog ends by itself or by the stop button";
    EXPECT_FALSE(wait.forced) << c.mode;
    const std::string after = std::filesystem::exists(book) ? morva::test::read_file(book) : std::string();
    if (c.stop)
      EXPECT_EQ(after, before) << "the stopped tool's phonebook is put back";
    else
      EXPECT_NE(after.find("[None]0312345678"), std::string::npos) << after;
  }
  unsetenv("PBTOOL_MODE");
  morva::platform::reset_message_boxes();
  run_sheet([&](HWND sheet) {
    EXPECT_TRUE(ui::click(ui::find(sheet, kPhonebookTool)));
    EXPECT_TRUE(ui::select(ui::find(sheet, kKind), 1));
    EXPECT_FALSE(ui::state(ui::find(sheet, kAddToPhonebook)).enabled) << "a speed-dial number";
  });
  for (const auto& m : morva::platform::message_box_log()) ADD_FAILURE() << std::string(m.text.begin(), m.text.end());
  bool shell_opened = false;
  for (const auto& r : morva::platform::common_dialog_log())
    if (r.kind == morva::platform::CommonDialogRecord::kShellExecute &&
        r.text.find(u"PhonebookTool.exe") != std::u16string::npos)
      shell_opened = true;
  EXPECT_TRUE(shell_opened);
}

// The second process: the settings file of the sheet's DEVMODE holds the
// three destinations, the cover sheet's subject and count, and each
// destination becomes a job-attribute line.
TEST(FaxPageChild, ListReadByAnotherProcess) {
  const std::string role = morva::test::child_role();
  if (role.rfind("reader:", 0) != 0) GTEST_SKIP() << "runs as the second process of the fax page test";
  std::u16string name;
  for (char c : role.substr(7)) name += static_cast<char16_t>(c);
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kDemoPrinter), &printer, nullptr));
  DddHandle* database = DddOpen(printer);
  ASSERT_NE(database, nullptr);
  FaxDestinationList* list = FaxList_Create();
  std::vector<BYTE> extension(kFaxExtensionBlockSize);
  BYTE* wpk = nullptr;
  BYTE* sp = nullptr;
  DWORD wpk_size = 0, sp_size = 0;
  ASSERT_EQ(LoadSettingsWithFaxList(printer, database, name.c_str(), 1, list, extension.data(), &wpk, &wpk_size, &sp,
                                    &sp_size),
            1);
  ASSERT_EQ(FaxList_Count(list), 3);
  // The sender registered in the sheet is stored for the user.
  WCHAR key[kFaxUserKeyChars] = {};
  ASSERT_TRUE(GetFaxUserKeyPath(database, 0, kSenderInfoKeyTail, key, kFaxUserKeyChars));
  SenderRecord senders[11] = {};
  ASSERT_EQ(ReadSenderRecords(key, kSenderValuePrefix, senders, 11), 1);
  EXPECT_EQ(std::u16string(senders[0].SenderName), u"Erin Sender");
  EXPECT_EQ(std::u16string(senders[0].Text1820), u"Morva Works");
  EXPECT_EQ(senders[0].Confirmed, 1u);
  EXPECT_EQ(std::u16string(list->Subject), u"Quarterly figures");
  const char* expected[] = {"0123456789", "0301234567", "0405550100"};
  for (INT i = 0; i < 3; ++i) {
    const FaxDestination* d = FaxList_GetAt(list, i);
    FaxLineSettings line{};
    char text[513] = {};
    LONG length = 0;
    ASSERT_TRUE(BuildFaxJobAttr(1, d, &line, 512, TRUE, nullptr, text, &length, 0));
    EXPECT_NE(std::string(text).find(expected[i]), std::string::npos) << text;
  }
  if (wpk) GlobalFree(wpk);
  if (sp) GlobalFree(sp);
  FaxList_Destroy(list);
  DddClose(database);
  ClosePrinter(printer);
}

}  // namespace

namespace {

// The recipient details of the entry: a refused relay list or mailbox
// password is taken back also when its message box fails, and relay
// broadcast without relay numbers cannot be closed with OK.
TEST_F(FaxPage, RefusedRecipientDetailsAreTakenBack) {
  constexpr INT kDetails = 4022, kBoxRelay = 4406, kPassword = 4405, kRelayNumbers = 4409, kEntryOptions = 4020;
  std::vector<BYTE> devmode(kShortDevmode, 0);
  DOCUMENTPROPERTYHEADER header = document_header(devmode.data(), kShortDevmode);
  ui::script_modal([&](HWND sheet) {
    ASSERT_TRUE(ui::enter_text(ui::find(sheet, kNumber), u"0123456789"));
    ui::script_modal([&](HWND dialog) {
      ASSERT_TRUE(ui::click(ui::find(dialog, kBoxRelay)));
      // The box of the refused list cannot be shown (-1): the list goes all the same.
      morva::platform::script_message_box_answers({-1});
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, kRelayNumbers), u"1,123"));
      // Leaving the edit is refused: the focus stays and the text is the one before.
      EXPECT_FALSE(ui::focus(ui::find(dialog, kPassword)));
      EXPECT_TRUE(ui::state(ui::find(dialog, kRelayNumbers)).focused);
      EXPECT_EQ(ui::text(ui::find(dialog, kRelayNumbers)), u"");
      // Relay broadcast without numbers keeps the dialog open.
      EXPECT_TRUE(ui::click(ui::find(dialog, kOk)));
      EXPECT_TRUE(IsWindow(dialog));
      // A password of three characters is refused and the empty one comes back.
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, kPassword), u"123"));
      EXPECT_FALSE(ui::focus(ui::find(dialog, kRelayNumbers)));
      EXPECT_EQ(ui::text(ui::find(dialog, kPassword)), u"");
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, kRelayNumbers), u"1,03,#5,**"));
      ASSERT_TRUE(ui::focus(ui::find(dialog, kPassword)));
      EXPECT_EQ(ui::text(ui::find(dialog, kRelayNumbers)), u"1,03,#5,**");
      EXPECT_TRUE(ui::click(ui::find(dialog, kOk)));
    });
    EXPECT_TRUE(ui::click(ui::find(sheet, kDetails)));
    EXPECT_NE(ui::text(ui::find(sheet, kEntryOptions)).find(u"Relay broadcast"), std::u16string::npos)
        << "the entry's options show the relay broadcast";
    EXPECT_TRUE(ui::press_cancel(sheet));
  });
  show_document_sheet(header);
  const auto log = morva::platform::message_box_log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].answer, -1);
  EXPECT_NE(log[0].text.find(u"relay destination numbers are not valid"), std::u16string::npos);
  EXPECT_NE(log[1].text.find(u"relay destination numbers are not valid"), std::u16string::npos);  // OK refused
  EXPECT_EQ(log[2].text, u"The mailbox password must have no characters, four characters or more than four characters.");
}

}  // namespace

namespace {

// With the number history switched on for the printer, the numbers added
// are offered again by the next sheet, newest first and at most ten; its
// last item empties the history after the question.
// The number edit takes what the entry kind allows, key by key: a refused
// character is answered with the kind's message and taken back, and a
// speed-dial number stops at three digits.
TEST_F(FaxPage, TheNumberEditFollowsTheEntryKind) {
  struct Case {
    INT kind;
    std::u16string typed, shown, message;
  } const cases[] = {
      {0, u"03-12 34", u"03-12 34", u""},
      {0, u"03<12", u"0312", u"The fax number holds a character that cannot be used."},
      {1, u"1a2", u"12", u"Type a speed-dial number of three digits."},
      {1, u"12*4", u"12*", u""},
  };
  std::vector<BYTE> devmode(kShortDevmode, 0);
  DOCUMENTPROPERTYHEADER header = document_header(devmode.data(), kShortDevmode);
  ui::script_modal([&](HWND sheet) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.typed.begin(), c.typed.end()));
      morva::platform::reset_message_boxes();
      ASSERT_TRUE(ui::select(ui::find(sheet, kKind), c.kind));
      ASSERT_TRUE(ui::enter_text(ui::find(sheet, kNumber), c.typed));
      EXPECT_EQ(ui::text(ui::find(sheet, kNumber)), c.shown);
      const auto log = morva::platform::message_box_log();
      ASSERT_EQ(log.size(), c.message.empty() ? 0u : 1u);
      if (!c.message.empty()) {
        EXPECT_EQ(log[0].text, c.message);
      }
    }
    EXPECT_TRUE(ui::press_cancel(sheet));
  });
  show_document_sheet(header);
}

// The address-book dialog offers the stored files, takes the first one as
// the file when none is set, lets a file be used only with the file
// source, and keeps the file run first in the stored list.
TEST_F(FaxPage, AddressBookDialogKeepsTheFileRunFirst) {
  constexpr INT kBookButton = 4049, kDeviceBook = 4910, kFileBook = 4911, kFiles = 4008, kRun = 4005;
  DddHandle* database = DddOpen(printer_);
  ASSERT_NE(database, nullptr);
  WCHAR key[kFaxUserKeyChars] = {};
  ASSERT_EQ(GetFaxUserKeyPath(database, 1, u"DirectFax\\AddressBookFiles", key, kFaxUserKeyChars), 1);
  DddClose(database);
  const LPCWSTR stored[] = {u"C:\\books\\a.csv", u"C:\\books\\b.csv"};
  ASSERT_EQ(WriteNumberedStrings(key, kAddressBookValuePrefix, stored, 2), 1);
  std::vector<BYTE> devmode(kShortDevmode, 0);
  DOCUMENTPROPERTYHEADER header = document_header(devmode.data(), kShortDevmode);
  ui::script_modal([&](HWND sheet) {
    ui::script_modal([&](HWND book) {
      HWND files = ui::find(book, kFiles);
      EXPECT_EQ(ui::items(files),
                (std::vector<std::u16string>{u"C:\\books\\a.csv", u"C:\\books\\b.csv", u"(Clear history)"}));
      // The device's book needs no file.
      EXPECT_TRUE(ui::click(ui::find(book, kDeviceBook)));
      EXPECT_FALSE(ui::state(files).enabled);
      EXPECT_TRUE(ui::state(ui::find(book, kRun)).enabled);
      EXPECT_TRUE(ui::click(ui::find(book, kFileBook)));
      EXPECT_TRUE(ui::state(files).enabled);
      EXPECT_EQ(ui::text(files), u"C:\\books\\a.csv") << "the first stored file is taken";
      EXPECT_TRUE(ui::state(ui::find(book, kRun)).enabled);
      ASSERT_TRUE(ui::select(files, 1));
      EXPECT_TRUE(ui::click(ui::find(book, kRun)));  // the demo device has no address-book library
      EXPECT_TRUE(ui::click(ui::find(book, 1091)));  // Cancel
    });
    EXPECT_TRUE(ui::click(ui::find(sheet, kBookButton)));
    EXPECT_TRUE(ui::press_cancel(sheet));
  });
  show_document_sheet(header);
  WCHAR first[261] = {}, second[261] = {};
  LPWSTR buffers[] = {first, second};
  ASSERT_EQ(ReadNumberedStrings(key, kAddressBookValuePrefix, buffers, sizeof first, 2), 2);
  EXPECT_EQ(std::u16string(first), u"C:\\books\\b.csv");
  EXPECT_EQ(std::u16string(second), u"C:\\books\\a.csv");
}

TEST_F(FaxPage, NumberHistoryKeepsTheTenNewestNumbers) {
  constexpr INT kHistory = 4045;
  DddHandle* database = DddOpen(printer_);
  ASSERT_NE(database, nullptr);
  WCHAR key[kFaxUserKeyChars] = {};
  ASSERT_EQ(GetAddressHistoryKeyPath(printer_, database, key), 1);
  DddClose(database);
  HKEY hkey = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hkey, nullptr),
            ERROR_SUCCESS);
  const DWORD on = 1;
  ASSERT_EQ(RegSetValueExW(hkey, kHistorySwitchValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on),
            ERROR_SUCCESS);
  RegCloseKey(hkey);
  std::vector<BYTE> devmode(kShortDevmode, 0);
  DOCUMENTPROPERTYHEADER header = document_header(devmode.data(), kShortDevmode);
  const auto number = [](int i) {
    return u"03000000" + std::u16string{static_cast<char16_t>(u'0' + i / 10), static_cast<char16_t>(u'0' + i % 10)};
  };
  const std::function<void(HWND)> sheets[] = {
      [&](HWND sheet) {
        HWND history = ui::find(sheet, kHistory);
        ASSERT_TRUE(ui::state(history).visible) << "the drop-down takes the edit's place";
        EXPECT_FALSE(ui::state(ui::find(sheet, kNumber)).visible);
        for (int i = 0; i < 11; ++i) {
          ASSERT_TRUE(ui::enter_text(history, number(i)));
          EXPECT_TRUE(ui::click(ui::find(sheet, kAdd)));
        }
        EXPECT_EQ(ui::state(ui::find(sheet, kList)).count, 11);
        EXPECT_TRUE(ui::press_ok(sheet));
      },
      [&](HWND sheet) {
        HWND history = ui::find(sheet, kHistory);
        const auto items = ui::items(history);
        ASSERT_EQ(items.size(), 11u) << "ten numbers and the clearing item";
        EXPECT_EQ(items[0], number(10));
        EXPECT_EQ(items[9], number(1)) << "the oldest number went";
        EXPECT_EQ(items[10], u"(Clear history)");
        // Picking a number puts it into the entry.
        ui::select(history, 3);
        EXPECT_TRUE(ui::state(ui::find(sheet, kAdd)).enabled);
        morva::platform::script_message_box_answers({IDYES});
        ui::select(history, 10);
        EXPECT_EQ(ui::items(history), std::vector<std::u16string>{u"(Clear history)"});
        EXPECT_TRUE(ui::press_cancel(sheet));
      }};
  for (const auto& act : sheets) {
    ui::script_modal(act);
    show_document_sheet(header);
  }
  const auto log = morva::platform::message_box_log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().answer, IDYES);
}

}  // namespace

namespace {

// Without a fax card direct fax sends to IP-fax addresses only: with SIP fax
// off the page says so as it opens, and nothing can be added.
TEST_F(FaxPage, IpFaxModeWithoutSipFaxWarnsAtOpening) {
  switch_direct_fax_on(0);
  std::vector<BYTE> devmode(kShortDevmode, 0);
  DOCUMENTPROPERTYHEADER header = document_header(devmode.data(), kShortDevmode);
  ui::script_modal([&](HWND sheet) {
    ASSERT_NE(ui::find(sheet, kList), nullptr);
    EXPECT_FALSE(ui::state(ui::find(sheet, kAdd)).enabled);
    EXPECT_TRUE(ui::press_cancel(sheet));
  });
  show_document_sheet(header);
  const auto log = morva::platform::message_box_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].text, u"IP fax is switched off: the destinations cannot be sent.");
  EXPECT_EQ(log[0].style, static_cast<UINT>(MB_ICONWARNING));
}

}  // namespace

namespace {

// The cover-sheet form list shows the stored form files by name; a file
// that cannot be opened is refused on OK, and the chosen one is stored
// first and shown by the cover-sheet dialog once a form is used.
TEST_F(FaxPage, FormListKeepsTheChosenFormFirst) {
  constexpr INT kForms = 4202, kFormsButton = 4105, kCoverKind = 4103, kFormName = 4104;
  morva::test::write_file(morva::platform::native_path(u"C:\\forms\\cover1.frm"), "form");
  DddHandle* database = DddOpen(printer_);
  ASSERT_NE(database, nullptr);
  WCHAR key[kFaxUserKeyChars] = {};
  ASSERT_TRUE(GetFaxUserKeyPath(database, 1, kCoverSheetFormsKeyTail, key, kFaxUserKeyChars));
  DddClose(database);
  LPCWSTR stored[] = {u"C:\\missing\\cover2.frm", u"C:\\forms\\cover1.frm"};
  ASSERT_EQ(WriteNumberedStrings(key, kFormPathValuePrefix, stored, 2), 1);
  std::vector<BYTE> devmode(kShortDevmode, 0);
  DOCUMENTPROPERTYHEADER header = document_header(devmode.data(), kShortDevmode);
  ui::script_modal([&](HWND sheet) {
    EXPECT_TRUE(ui::click(ui::find(sheet, kCover)));
    ui::script_modal([&](HWND cover) {
      ui::script_modal([&](HWND forms) {
        HWND list = ui::find(forms, kForms);
        EXPECT_EQ(ui::items(list), (std::vector<std::u16string>{u"cover2", u"cover1"}));
        EXPECT_TRUE(ui::select(list, 0));
        EXPECT_EQ(ui::text(ui::find(forms, 4201)), u"C:\\missing");
        EXPECT_TRUE(ui::click(ui::find(forms, kOk)));
        ASSERT_TRUE(IsWindow(forms)) << "a form that cannot be opened is refused";
        EXPECT_TRUE(ui::select(list, 1));
        EXPECT_TRUE(ui::click(ui::find(forms, kOk)));
      });
      EXPECT_TRUE(ui::click(ui::find(cover, kFormsButton)));
      EXPECT_EQ(ui::text(ui::find(cover, kFormName)), u"") << "the standard cover sheet uses no form";
      EXPECT_TRUE(ui::select(ui::find(cover, kCoverKind), 1));
      EXPECT_EQ(ui::text(ui::find(cover, kFormName)), u"cover1");
    });
    EXPECT_TRUE(ui::click(ui::find(sheet, kCoverButton)));
    EXPECT_TRUE(ui::press_cancel(sheet));
  });
  show_document_sheet(header);
  const auto log = morva::platform::message_box_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].text, u"The cover-sheet form cannot be opened.");
  WCHAR texts[2][129] = {};
  LPWSTR buffers[2] = {texts[0], texts[1]};
  ASSERT_EQ(ReadNumberedStrings(key, kFormPathValuePrefix, buffers, sizeof texts[0], 2), 2);
  EXPECT_EQ(std::u16string(texts[0]), u"C:\\forms\\cover1.frm");
  EXPECT_EQ(std::u16string(texts[1]), u"C:\\missing\\cover2.frm");
}

}  // namespace
