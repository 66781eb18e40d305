// The cover-sheet and sender dialogs of the demo printer's fax page, driven
// as a user would: the cover-sheet options, the subject and comment checks
// (a refused text gives way to the one before, also when its message cannot
// be shown), the comment's line wrapping, Defaults, the owner-drawn sender
// lists with the note of an unconfirmed record, and the sender dialog that
// opens in Edit mode after the test print's sender question. The text
// checks themselves are tested by tables of cases.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "fax/fax_blob.h"
#include "fax/fax_list.h"
#include "fax/fax_registry_lists.h"
#include "gfx_demo.h"
#include "property_sheets/fax_cover_preview.h"
#include "property_sheets/fax_text_input.h"
#include "sheet_ui_fixture.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_file.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_data_kinds.h"
#include "settings/stores/printer_settings.h"
#include "temp_root.h"
#include "win/edit_word_break.h"
#include "win/paths.h"
#include "win/win.h"

namespace morva::settings {
void set_module_directory_for_test(LPCWSTR directory);
}

namespace {

namespace ui = morva::platform::ui;
using namespace morva::fax;
using morva::gfx_demo::kDemoPrinter;

// ---- the text checks ----------------------------------------------------------------

class FaxTextChecks : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(root_.file("drive_c/driver"));
    std::filesystem::copy_file(std::string(MORVA_BIN_DIR) + "/morvares.xrs", root_.file("drive_c/driver/morvares.xrs"));
    morva::settings::set_module_directory_for_test(u"C:\\driver\\");
    ASSERT_NE(GetResourceModule(), nullptr);
  }
  morva::test::TempRoot root_;
};

TEST_F(FaxTextChecks, ValidateTextInput) {
  static const UINT kSubject[] = {9235, 9220, 9234, 9221, 0};
  static const UINT kComment[] = {9231, 9235, 9220, 9234, 9221, 0};
  static const UINT kDigits[] = {9235, 0};
  static const UINT kWide[] = {9232, 0};
  struct Case {
    const char16_t* text;
    const UINT* ranges;
    WORD flags;
    INT expected;
  } cases[] = {
      {u"   ", nullptr, kTextNotBlank, 0},
      {u" x ", nullptr, kTextNotBlank, 1},
      {u"", nullptr, 0, 0},
      {u"", nullptr, kTextEmptyValid, 1},
      {u"Quarterly figures 2026", kSubject, 0x202, 1},
      {u"caf\u00e9", kSubject, 0x202, 1},
      {u"Price 5 \u20ac", kSubject, 0x202, 0},   // 0x80 lies in no range
      {u"a\tb", kSubject, 0x202, 0},
      {u"line\r\nbreak", kSubject, 0x202, 0},
      {u"line\r\nbreak", kComment, 0x202, 1},
      {u"\u65e5\u672c", kSubject, 0x202, 0},     // no ANSI form
      {u"1.23", kDigits, kTextDecimal, 1},
      {u"1.234", kDigits, kTextDecimal, 0},
      {u"1.2.3", kDigits, kTextDecimal, 0},
      {u"1.2345", kDigits, kTextDecimal | kTextEmptyValid, 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ValidateTextInput(c.text, c.ranges, kWide, nullptr, nullptr, c.flags, 2), c.expected)
        << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
  static const UINT kForbidden[] = {9233, 0};  // blank and double quote
  EXPECT_EQ(ValidateTextInput(u"say \"hi\"", nullptr, nullptr, kForbidden, nullptr, 0, 0), 0);
  EXPECT_EQ(ValidateTextInput(u"say-hi", nullptr, nullptr, kForbidden, nullptr, 0, 0), 1);
}

TEST(FaxTextLines, WrapTextToLines) {
  const std::u16string forty(40, u'a');
  struct Case {
    std::u16string text;
    INT lines;
    INT expected;
    std::u16string wrapped;
  } cases[] = {
      {u"short\r\nlines", 5, 0, u""},
      {forty, 1, 0, u""},
      {forty + u"b", 2, 2, forty + u"\r\nb"},
      {forty + u"b", 1, 1, u""},                                         // a 41st byte in the last line
      {forty + forty + u"cc", 3, 2, forty + u"\r\n" + forty + u"\r\ncc"},
      {u"1\r\n2\r\n3\r\n4\r\n5\r\n6", 5, 1, u""},                        // a sixth line
      {forty + u"\r\nx", 2, 0, u""},                                     // a full line then a line end
      {u"\u65e5", 5, 1, u""},                                            // no ANSI form
  };
  for (const Case& c : cases) {
    std::u16string wrapped;
    EXPECT_EQ(WrapTextToLines(c.text, 40, c.lines, &wrapped), c.expected) << c.text.size();
    if (c.expected == 2) {
      EXPECT_EQ(wrapped, c.wrapped);
    }
  }
  // Longer than the buffer of 2 x lines x (bytes + 2) - 2 bytes.
  EXPECT_EQ(WrapTextToLines(std::u16string(2 * 2 * 42 - 1, u'\n'), 40, 2, nullptr), 1);
  EXPECT_EQ(NoDelimiterWordBreak(nullptr, 7, 10, WB_RIGHT), 6);
  EXPECT_EQ(NoDelimiterWordBreak(nullptr, 7, 10, WB_ISDELIMITER), FALSE);
  EXPECT_EQ(NoDelimiterWordBreak(nullptr, 7, 10, WB_LEFT), 7);
}

// The preview draws each face in the last family that enumeration reports
// for it. Outside the 1041 user interface only families in the ANSI
// character set count: on a Japanese code page the Japanese face comes in
// its Japanese set only, so there it is left to the font mapper in ANSI.
TEST_F(FaxTextChecks, PreviewFontFamilies) {
  ASSERT_TRUE(morva::platform::set_machine_setting("acp", "932"));
  struct Case {
    const char16_t* face;
    bool any_charset;
    bool found;
    BYTE charset;
    LONG weight;  // of the last family reported; 0 when none was
  } const cases[] = {
      {u"IPAGothic", true, true, SHIFTJIS_CHARSET, FW_NORMAL},
      {u"IPAGothic", false, false, ANSI_CHARSET, 0},
      {u"DejaVu Sans", false, true, ANSI_CHARSET, FW_BOLD},
      {u"DejaVu Sans", true, true, ANSI_CHARSET, FW_BOLD},
      {u"No Such Face", true, false, DEFAULT_CHARSET, 0},
  };
  HDC screen = GetDC(nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.face, c.face + std::char_traits<char16_t>::length(c.face)) +
                 (c.any_charset ? " any" : " ANSI"));
    bool found = !c.found;
    const LOGFONTW font = CoverPreviewFamily(screen, c.face, c.any_charset, &found);
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(std::u16string(font.lfFaceName), c.face);
    EXPECT_EQ(font.lfCharSet, c.charset);
    EXPECT_EQ(font.lfWeight, c.weight);
  }
  ReleaseDC(nullptr, screen);
}

// ---- the dialogs through the document sheet -----------------------------------------

constexpr DWORD kShortDevmode = 1604;
constexpr INT kKind = 4016, kNumber = 4018, kName = 4019, kAdd = 4003, kOk = 1092, kDefaults = 1090;
constexpr INT kCoverOn = 4023, kCoverButton = 4024, kSubject = 4107, kComment = 4108, kCoverSender = 4116, kSenders = 4106;
constexpr INT kLayout = 4115, kTitle = 4114, kOneJob = 4109, kRecipients = 4110, kRemarkB = 4112, kRemarkA = 4111;
constexpr INT kTestPrint = 4101;
constexpr INT kSenderList = 4301, kSenderCompany = 4303, kSenderAddress = 4304, kSenderMail = 4317;

class FaxCover : public morva::test::SheetUiTest {
 protected:
  void SetUp() override {
    SheetUiTest::SetUp();
    if (HasFatalFailure()) return;
    switch_direct_fax_on();
  }
  // Stores sender records for the user, as an earlier sheet would have.
  void store_senders(const std::vector<SenderRecord>& records) {
    DddHandle* database = DddOpen(printer_);
    ASSERT_NE(database, nullptr);
    WCHAR key[kFaxUserKeyChars] = {};
    ASSERT_TRUE(GetFaxUserKeyPath(database, 0, kSenderInfoKeyTail, key, kFaxUserKeyChars));
    ASSERT_TRUE(WriteSenderRecords(key, kSenderValuePrefix, records.data(), static_cast<INT>(records.size())));
    DddClose(database);
  }
  // Runs the document sheet with the script; the sheet is left with Cancel.
  void run_sheet(const ui::ModalScript& script) {
    std::vector<BYTE> devmode(kShortDevmode, 0);
    EXPECT_EQ(run_document_sheet(script, devmode.data(), kShortDevmode), CPSUI_CANCEL);
  }
  void test_print_with_sender(int row, const std::u16string& name, const std::function<void(HWND dialog)>& before);
  // A place for the pictures: MORVA_PNG_DIR keeps them for a look.
  std::string picture(const std::string& name) const {
    const char* keep = std::getenv("MORVA_PNG_DIR");
    return (keep ? std::string(keep) : root_.path()) + "/" + name;
  }
};

void add(HWND sheet, const std::u16string& number, const std::u16string& name) {
  ASSERT_TRUE(ui::select(ui::find(sheet, kKind), 0));
  ASSERT_TRUE(ui::enter_text(ui::find(sheet, kNumber), number));
  ASSERT_TRUE(ui::enter_text(ui::find(sheet, kName), name));
  EXPECT_TRUE(ui::click(ui::find(sheet, kAdd)));
}

// Switches the cover sheet on and opens its dialog.
void open_cover_sheet(HWND sheet) {
  EXPECT_TRUE(ui::click(ui::find(sheet, kCoverOn)));
  EXPECT_TRUE(ui::click(ui::find(sheet, kCoverButton)));
}

// The sheet with one destination: the cover dialog picks sender `row`
// (named `name`), `before` queues what the test print will open, and the
// test print runs before both are left with Cancel.
void FaxCover::test_print_with_sender(int row, const std::u16string& name,
                                      const std::function<void(HWND dialog)>& before) {
  run_sheet([&](HWND sheet) {
    add(sheet, u"0123456789", u"Alice");
    ui::script_modal([&](HWND dialog) {
      ASSERT_TRUE(ui::select(ui::find(dialog, kCoverSender), row));
      EXPECT_EQ(ui::text(ui::find(dialog, kCoverSender)), name);
      before(dialog);
      EXPECT_TRUE(ui::click(ui::find(dialog, kTestPrint)));
      ui::pump();
      EXPECT_TRUE(ui::press_cancel(dialog));
    });
    open_cover_sheet(sheet);
    EXPECT_TRUE(ui::press_cancel(sheet));
  });
}

SenderRecord sender(const std::u16string& name, const std::u16string& company, DWORD confirmed) {
  SenderRecord r{};
  std::copy(name.begin(), name.end(), r.SenderName);
  std::copy(company.begin(), company.end(), r.Text1820);
  // A record is kept unconfirmed only with an e-mail address.
  const std::u16string mail = u"office@example.org";
  std::copy(mail.begin(), mail.end(), r.Text1876);
  r.Confirmed = confirmed;
  return r;
}

// The options follow the user interface and each other, the subject and
// comment are checked and wrapped, and Defaults empties the sender and the
// texts.
TEST_F(FaxCover, OptionsTextChecksAndDefaults) {
  store_senders({sender(u"Erin Sender", u"Morva Works", 1)});
  run_sheet([&](HWND sheet) {
    add(sheet, u"0123456789", u"Alice");
    add(sheet, u"0301234567", u"Bob");
    ui::script_modal([&](HWND dialog) {
      // Outside the 1041 user interface the two remark lists are hidden and
      // the layout offers no choice of value 0.
      EXPECT_FALSE(ui::state(ui::find(dialog, kRemarkA)).visible);
      EXPECT_FALSE(ui::state(ui::find(dialog, kRemarkB)).visible);
      EXPECT_EQ(ui::items(ui::find(dialog, kLayout)), std::vector<std::u16string>{u"Facsimile"});
      // A title of zeros only becomes a blank when it is left.
      const std::pair<std::u16string, std::u16string> titles[] = {{u"00", u" "}, {u"007", u"007"}};
      for (const auto& [typed, kept] : titles) {
        ASSERT_TRUE(ui::enter_text(ui::find(dialog, kTitle), typed));
        ASSERT_TRUE(ui::focus(ui::find(dialog, kRecipients)));
        EXPECT_EQ(ui::text(ui::find(dialog, kTitle)), kept);
      }
      // One job for all destinations names them all in the words of the
      // layout; off again, the text goes.
      ASSERT_TRUE(ui::select(ui::find(dialog, kLayout), 0));
      EXPECT_TRUE(ui::click(ui::find(dialog, kOneJob)));
      EXPECT_EQ(ui::text(ui::find(dialog, kRecipients)), u"All recipients of this fax");
      EXPECT_TRUE(ui::click(ui::find(dialog, kOneJob)));
      EXPECT_EQ(ui::text(ui::find(dialog, kRecipients)), u"");
      // A subject the cover sheet cannot carry is refused when it is left,
      // even though its message cannot be shown: the one before comes back.
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, kSubject), u"Figures"));
      ASSERT_TRUE(ui::focus(ui::find(dialog, kComment)));
      morva::platform::script_message_box_answers({-1});
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, kSubject), u"Price 5 \u20ac"));
      EXPECT_FALSE(ui::focus(ui::find(dialog, kComment)));
      EXPECT_EQ(ui::text(ui::find(dialog, kSubject)), u"Figures");
      // A full comment line goes on in the next line; a 17th line is taken back.
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, kComment), std::u16string(45, u'c')));
      EXPECT_EQ(ui::text(ui::find(dialog, kComment)), std::u16string(40, u'c') + u"\r\n" + std::u16string(5, u'c'));
      std::u16string sixteen;
      for (INT i = 0; i < 15; ++i) sixteen += u"x\r";
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, kComment), sixteen + u"y\r"));
      EXPECT_EQ(ui::text(ui::find(dialog, kComment)).size(), 15u * 3 + 1) << "the 17th line is undone";
      EXPECT_EQ(ui::text(ui::find(dialog, kCoverSender)), u"(No sender)");
      ASSERT_TRUE(ui::select(ui::find(dialog, kCoverSender), 0));
      EXPECT_EQ(ui::text(ui::find(dialog, kCoverSender)), u"Erin Sender");
      EXPECT_TRUE(ui::write_png(dialog, picture("fax_cover_dialog.png")));
      // Defaults: no sender, no subject, no comment.
      EXPECT_TRUE(ui::click(ui::find(dialog, kDefaults)));
      EXPECT_EQ(ui::text(ui::find(dialog, kCoverSender)), u"(No sender)");
      EXPECT_EQ(ui::text(ui::find(dialog, kSubject)), u"");
      EXPECT_EQ(ui::text(ui::find(dialog, kComment)), u"");
      EXPECT_EQ(ui::state(ui::find(dialog, kOneJob)).check, BST_UNCHECKED);
      EXPECT_TRUE(ui::click(ui::find(dialog, kOk)));
    });
    open_cover_sheet(sheet);
    EXPECT_TRUE(ui::press_cancel(sheet));
  });
  const auto log = morva::platform::message_box_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].answer, -1);
  EXPECT_EQ(log[0].style, static_cast<UINT>(MB_ICONWARNING));
  EXPECT_EQ(log[0].text, u"The text holds characters that cannot be sent on a fax cover sheet. Type it again.");
}

// A stored record the user has not confirmed carries the note icon in both
// sender lists. Declining to confirm it at the test print opens the sender
// dialog in Edit mode with the e-mail field ready for typing; the address
// field wraps full lines and refuses a sixth line.
TEST_F(FaxCover, UnconfirmedSenderIsNotedAndOpenedForEditing) {
  store_senders({sender(u"Frank Unchecked", u"Trial Ltd", 0), sender(u"Erin Sender", u"Morva Works", 1)});
  test_print_with_sender(0, u"Frank Unchecked", [&](HWND dialog) {
    EXPECT_TRUE(ui::write_png(dialog, picture("fax_cover_unconfirmed_sender.png")));
    // The sender question is answered No: the sender dialog opens to edit.
    morva::platform::script_message_box_answers({IDNO});
    ui::script_modal([&](HWND senders) {
      EXPECT_EQ(ui::state(ui::find(senders, kSenderList)).count, 2) << "the edited record is taken out";
      EXPECT_TRUE(ui::state(ui::find(senders, kSenderCompany)).enabled);
      EXPECT_TRUE(ui::state(ui::find(senders, kSenderMail)).focused);
      EXPECT_EQ(ui::text(ui::find(senders, kSenderCompany)), u"Trial Ltd");
      ASSERT_TRUE(ui::enter_text(ui::find(senders, kSenderAddress), std::u16string(42, u'a')));
      EXPECT_EQ(ui::text(ui::find(senders, kSenderAddress)), std::u16string(40, u'a') + u"\r\naa");
      ASSERT_TRUE(ui::type(u"\r1\r2\r3\r"));
      EXPECT_EQ(ui::text(ui::find(senders, kSenderAddress)),
                std::u16string(40, u'a') + u"\r\naa\r\n1\r\n2\r\n3")
          << "a sixth line is undone";
      EXPECT_TRUE(ui::press_cancel(senders));
    });
  });
  const auto log = morva::platform::message_box_log();
  ASSERT_GE(log.size(), 1u);
  EXPECT_EQ(log[0].text, u"Use the sender Frank Unchecked (office@example.org) for the cover sheet?");
  EXPECT_EQ(log[0].style, static_cast<UINT>(MB_YESNOCANCEL | MB_ICONINFORMATION));
  const auto modals = ui::modal_log();
  EXPECT_GE(modals.size(), 3u) << "sheet, cover sheet and sender dialog";
}

// The sender dialog's own list draws the note of the unconfirmed record and
// shows the notice while it is selected.
TEST_F(FaxCover, SenderDialogNotesTheUnconfirmedRecord) {
  store_senders({sender(u"Frank Unchecked", u"Trial Ltd", 0), sender(u"Erin Sender", u"Morva Works", 1)});
  run_sheet([&](HWND sheet) {
    ui::script_modal([&](HWND dialog) {
      ui::script_modal([&](HWND senders) {
        ASSERT_TRUE(ui::select(ui::find(senders, kSenderList), 0));
        EXPECT_EQ(ui::text(ui::find(senders, 4324)), u"Confirm this sender before it is used.");
        EXPECT_TRUE(ui::state(ui::find(senders, 4323)).visible);
        EXPECT_TRUE(ui::write_png(senders, picture("fax_sender_dialog.png")));
        ASSERT_TRUE(ui::select(ui::find(senders, kSenderList), 1));
        EXPECT_EQ(ui::text(ui::find(senders, 4324)), u"");
        EXPECT_FALSE(ui::state(ui::find(senders, 4323)).visible);
        EXPECT_TRUE(ui::press_cancel(senders));
      });
      EXPECT_TRUE(ui::click(ui::find(dialog, kSenders)));
      EXPECT_TRUE(ui::press_cancel(dialog));
    });
    open_cover_sheet(sheet);
    EXPECT_TRUE(ui::press_cancel(sheet));
  });
}

// Ten stored records: New is refused; a record taken out with Edit and
// registered again comes first; registering a name that exists replaces
// it after the question; OK with typed but unregistered data asks, drops
// the data and stores the list.
TEST_F(FaxCover, SenderRecordsAreKeptToTenAndReplacedByName) {
  std::vector<SenderRecord> ten;
  for (INT i = 0; i < 10; ++i) {
    SenderRecord r{};
    const std::u16string name = u"Sender " + std::u16string(1, static_cast<char16_t>(u'0' + i));
    std::copy(name.begin(), name.end(), r.SenderName);
    r.Confirmed = 1;
    ten.push_back(r);
  }
  store_senders(ten);
  morva::platform::script_message_box_answers({IDOK, IDOK, IDYES});
  run_sheet([&](HWND sheet) {
    ui::script_modal([&](HWND dialog) {
      ui::script_modal([&](HWND senders) {
        HWND list = ui::find(senders, kSenderList);
        EXPECT_EQ(ui::state(list).count, 11);
        EXPECT_TRUE(ui::click(ui::find(senders, 4319)));  // New: the list is full
        EXPECT_EQ(ui::state(list).count, 11);
        ASSERT_TRUE(ui::select(list, 3));
        EXPECT_TRUE(ui::click(ui::find(senders, 4321)));  // Edit takes it out
        EXPECT_EQ(ui::state(list).count, 10);
        EXPECT_EQ(ui::text(ui::find(senders, 4302)), u"Sender 3");
        EXPECT_TRUE(ui::click(ui::find(senders, 4320)));  // and Register puts it first
        EXPECT_EQ(ui::state(list).count, 11);
        EXPECT_EQ(ui::items(list)[0], u"Sender 3");
        ASSERT_TRUE(ui::select(list, 5));
        EXPECT_EQ(ui::text(list), u"Sender 5");
        EXPECT_TRUE(ui::click(ui::find(senders, 4321)));
        ASSERT_TRUE(ui::enter_text(ui::find(senders, 4302), u"Sender 1"));
        EXPECT_TRUE(ui::click(ui::find(senders, 4320)));  // replaces the stored Sender 1
        EXPECT_EQ(ui::state(list).count, 10);
        EXPECT_EQ(ui::items(list)[0], u"Sender 1");
        EXPECT_TRUE(ui::click(ui::find(senders, 4319)));
        ASSERT_TRUE(ui::enter_text(ui::find(senders, 4302), u"Typed Only"));
        EXPECT_TRUE(ui::press_ok(senders));
      });
      EXPECT_TRUE(ui::click(ui::find(dialog, kSenders)));
      EXPECT_TRUE(ui::press_cancel(dialog));
    });
    open_cover_sheet(sheet);
    EXPECT_TRUE(ui::press_cancel(sheet));
  });
  const auto log = morva::platform::message_box_log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].text, u"Up to ten senders can be stored. Delete one first.");
  EXPECT_EQ(log[0].style, static_cast<UINT>(MB_ICONWARNING));
  EXPECT_EQ(log[1].text, u"A sender of this name is stored already. Replace it?");
  EXPECT_EQ(log[1].style, static_cast<UINT>(MB_OKCANCEL | MB_ICONINFORMATION));
  EXPECT_EQ(log[2].text, u"The sender typed has not been registered. Close without it?");
  EXPECT_EQ(log[2].style, static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION));
  DddHandle* database = DddOpen(printer_);
  ASSERT_NE(database, nullptr);
  WCHAR key[kFaxUserKeyChars] = {};
  ASSERT_TRUE(GetFaxUserKeyPath(database, 0, kSenderInfoKeyTail, key, kFaxUserKeyChars));
  DddClose(database);
  SenderRecord stored[11] = {};
  ASSERT_EQ(ReadSenderRecords(key, kSenderValuePrefix, stored, 11), 9);
  const char16_t* order[] = {u"Sender 1", u"Sender 3", u"Sender 0", u"Sender 2", u"Sender 4",
                             u"Sender 6", u"Sender 7", u"Sender 8", u"Sender 9"};
  for (INT i = 0; i < 9; ++i) EXPECT_EQ(std::u16string(stored[i].SenderName), order[i]) << i;
}

// The preview draws the built-in cover's sheet, with its header band, and
// for a cover of the user's own the form sheet with its mark; the cover
// texts go on top.
TEST_F(FaxCover, PreviewShowsTheSheetOfTheCoverKind) {
  constexpr INT kKindList = 4103, kPreview = 4117;
  const COLORREF face = GetSysColor(COLOR_BTNFACE), band = RGB(20, 40, 120), mark = RGB(40, 90, 200);
  struct Look {
    COLORREF corner, band, mark;
  };
  std::vector<Look> looks;
  run_sheet([&](HWND sheet) {
    add(sheet, u"0123456789", u"Alice");
    ui::script_modal([&](HWND dialog) {
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, kSubject), u"Quarterly figures"));
      for (INT kind : {0, 1}) {
        ASSERT_TRUE(ui::select(ui::find(dialog, kKindList), kind));
        HWND preview = ui::find(dialog, kPreview);
        EXPECT_TRUE(ui::write_png(preview, picture("fax_cover_preview_" + std::to_string(kind) + ".png")));
        HDC dc = GetDC(preview);
        looks.push_back({GetPixel(dc, 1, 1), GetPixel(dc, 100, 14), GetPixel(dc, 193, 281)});
        ReleaseDC(preview, dc);
      }
    });
    open_cover_sheet(sheet);
    EXPECT_TRUE(ui::press_cancel(sheet));
  });
  ASSERT_EQ(looks.size(), 2u);
  EXPECT_EQ(looks[0].corner, face);
  EXPECT_EQ(looks[0].band, band);
  EXPECT_NE(looks[0].mark, mark);
  EXPECT_EQ(looks[1].corner, face);
  EXPECT_NE(looks[1].band, band);
  EXPECT_EQ(looks[1].mark, mark);
}

// A sender named in the settings but no longer stored (here: taken out by
// another program while the dialog is open) stops the test print: the
// sender notice comes first, then the sender dialog with the fields emptied.
TEST_F(FaxCover, TestPrintOfAnUnstoredSenderOpensTheNoticeAndTheSenderDialog) {
  constexpr INT kNoticeText = 4879, kSenderName = 4302;
  store_senders({sender(u"Erin Sender", u"Morva Works", 1)});
  std::vector<std::u16string> opened;  // what each dialog showed, in order
  test_print_with_sender(0, u"Erin Sender", [&](HWND) {
    store_senders({});
    ui::script_modal([&](HWND notice) {
      opened.push_back(ui::find(notice, kNoticeText) ? u"notice" : u"?");
      EXPECT_TRUE(ui::press_ok(notice));
    });
    ui::script_modal([&](HWND senders) {
      opened.push_back(ui::find(senders, kSenderList) ? u"senders: " + ui::text(ui::find(senders, kSenderName))
                                                      : u"?");
      EXPECT_TRUE(ui::press_cancel(senders));
    });
  });
  EXPECT_EQ(opened, (std::vector<std::u16string>{u"notice", u"senders: "}));
  EXPECT_TRUE(morva::platform::message_box_log().empty()) << "no test-print question";
}

// With no destination in the list the test print still runs: while its
// question is up, the address file it wrote holds one placeholder
// destination (mailbox and relay numbers 1, everything else 0) behind the
// subject; afterwards its temporary files are gone.
TEST_F(FaxCover, TestPrintWithoutDestinationsSendsAPlaceholder) {
  WCHAR temp[MAX_PATH] = {};
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  const std::string folder = morva::platform::native_path(temp);
  auto samples = [&] {
    std::vector<std::filesystem::path> found;
    if (std::filesystem::exists(folder))
      for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string().rfind("QZF", 0) == 0) found.push_back(e.path());
    return found;
  };
  const size_t before = samples().size();
  std::vector<std::vector<char>> written;
  morva::platform::set_message_box_handler([&](const morva::platform::MessageBoxRecord&) {
    for (const auto& file : samples()) {
      std::ifstream in(file, std::ios::binary);
      written.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return IDCANCEL;
  });
  run_sheet([&](HWND sheet) {
    ui::script_modal([&](HWND dialog) {
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, kSubject), u"Sample"));
      EXPECT_TRUE(ui::click(ui::find(dialog, kTestPrint)));
      EXPECT_TRUE(ui::press_cancel(dialog));
    });
    open_cover_sheet(sheet);
    EXPECT_TRUE(ui::press_cancel(sheet));
  });
  EXPECT_EQ(morva::platform::message_box_log().size(), 1u) << "the test print's question";
  ASSERT_EQ(written.size(), before + 1) << "the address file alone while asking";
  const auto& blob = written.back();
  ASSERT_EQ(blob.size(), kFaxBookHeaderSize + kFaxEntrySize);
  FaxDestinationList* list = FaxList_Create();
  ASSERT_TRUE(UnpackFaxSendList(list, reinterpret_cast<const BYTE*>(blob.data()), static_cast<DWORD>(blob.size())));
  ASSERT_EQ(FaxList_Count(list), 1);
  EXPECT_EQ(std::u16string(list->Subject), u"Sample");
  const FaxDestination& d = *FaxList_GetAt(list, 0);
  EXPECT_EQ(std::vector<WORD>({d.Kind, d.Line, d.CommMode, d.BoxMode, d.MailboxId, d.RelayId, d.RelayPrint}),
            std::vector<WORD>({0, 0, 0, 0, 1, 1, 0}));
  FaxList_Destroy(list);
  EXPECT_EQ(samples().size(), before) << "the sample's temporary files are deleted";
}

// The recipient details show the destination's line prefix greyed when it
// was already set as the dialog opened; a prefix the user adds here stays
// plain and is confirmed at OK.
TEST_F(FaxCover, LinePrefixSetBeforeOpeningIsGreyed) {
  constexpr INT kDetails = 4022, kLinePrefix = 4422;
  // Item data of each line-prefix row, per opening of the dialog.
  std::vector<std::vector<LRESULT>> rows;
  auto look = [&](HWND dialog) {
    HWND list = ui::find(dialog, kLinePrefix);
    EXPECT_TRUE(IsWindowEnabled(list)) << "the grey marks a choice, not the list";
    std::vector<LRESULT> data;
    const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) data.push_back(SendMessageW(list, CB_GETITEMDATA, static_cast<WPARAM>(i), 0));
    rows.push_back(data);
  };
  run_sheet([&](HWND sheet) {
    ASSERT_TRUE(ui::enter_text(ui::find(sheet, kNumber), u"0123456789"));
    ui::script_modal([&](HWND dialog) {
      look(dialog);
      ASSERT_TRUE(ui::select(ui::find(dialog, kLinePrefix), 1));
      morva::platform::script_message_box_answers({IDOK});
      EXPECT_TRUE(ui::click(ui::find(dialog, kOk)));
    });
    EXPECT_TRUE(ui::click(ui::find(sheet, kDetails)));
    ui::script_modal([&](HWND dialog) {
      look(dialog);
      EXPECT_TRUE(ui::write_png(dialog, picture("fax_recipient_details.png")));
      EXPECT_TRUE(ui::click(ui::find(dialog, kOk)));
    });
    EXPECT_TRUE(ui::click(ui::find(sheet, kDetails)));
    EXPECT_TRUE(ui::press_cancel(sheet));
  });
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<LRESULT>{0, 0, 0}));
  EXPECT_EQ(rows[1], (std::vector<LRESULT>{0, 1, 0}));
  // Only the first OK asked about the added prefix.
  const auto log = morva::platform::message_box_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].answer, IDOK);
}

}  // namespace
