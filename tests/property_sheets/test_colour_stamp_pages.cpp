// The colour and stamp pages of the demo printer's document sheet as an
// application opens them (morvaui's DrvDocumentPropertySheets run by the
// common property-sheet component, driven like a user): stamps kept in
// line with the user's stamp store (and seen by another process), the
// stamp dialogs, the colour balance and colour profile pages of the nested
// colour sheet, and pictures of the pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "gfx_demo.h"
#include "settings/database/ddd_file.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_settings.h"
#include "settings/stores/stamp_store.h"
#include "sheet_ui_fixture.h"
#include "temp_root.h"
#include "win/commdlg.h"
#include "win/registry.h"
#include "win/win.h"

namespace {

namespace ui = morva::platform::ui;
using morva::gfx_demo::kDemoPrinter;

constexpr DWORD kFullDevmode = 5988;
constexpr INT kColourTab = 1, kStampTab = 2;
constexpr INT kNewStamp = 1358, kEditStamp = 1359, kDeleteStamp = 1360, kStampOkButton = 1408, kStampName = 1369;
constexpr INT kStampList = 1361, kStampTextField = 1388, kResend = 1543, kFileNameField = 1542;
constexpr INT kBalanceButton = 1091, kProfilesButton = 1088;
constexpr WORD kNameSetting = 297, kTextSetting = 299;
constexpr INT kStampFaceList = 1371, kCustomColourButton = 1424, kMarkingButton = 1547;
constexpr INT kStampColourList = 1372, kCircleFrame = 1392, kBottomRight = 1445, kStampSizeList = 1390;

std::string picture(const std::string& name) {
  std::filesystem::create_directories(std::string(MORVA_BIN_DIR) + "/pictures");
  return std::string(MORVA_BIN_DIR) + "/pictures/" + name;
}

// Settings of a full DEVMODE (the private part holds every one used here).
std::vector<BYTE> g_scratch(kPrinterDataBlockSize);
LONG number(std::vector<BYTE>& devmode, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  EXPECT_EQ(GetItemValue(ddmid, devmode.data(), g_scratch.data(), &type, &size, &v), 0) << ddmid;
  return GetTypedValue(type, &v);
}
std::u16string text(std::vector<BYTE>& devmode, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  EXPECT_EQ(GetItemValue(ddmid, devmode.data(), g_scratch.data(), &type, &size, &v), 0) << ddmid;
  return type == 6 ? ItemText(v, size) : std::u16string();
}
void set_text(std::vector<BYTE>& devmode, WORD ddmid, const std::u16string& value, DWORD bytes) {
  std::u16string room(bytes / 2, u'\0');
  std::memcpy(room.data(), value.data(), value.size() * 2);
  const WCHAR* p = room.c_str();
  ASSERT_EQ(SetItemValueRaw(ddmid, devmode.data(), g_scratch.data(), 6, bytes, &p), 0) << ddmid;
}
void set_number(std::vector<BYTE>& devmode, WORD ddmid, LONG value) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  ASSERT_EQ(GetItemValue(ddmid, devmode.data(), g_scratch.data(), &type, &size, &v), 0) << ddmid;
  ASSERT_EQ(SetItemValueRaw(ddmid, devmode.data(), g_scratch.data(), type, size, &value), 0) << ddmid;
}

bool log_has(UINT style, const std::u16string& part) {
  for (const auto& m : morva::platform::message_box_log())
    if (m.style == style && m.text.find(part) != std::u16string::npos) return true;
  return false;
}

// A colour profile header the profile check accepts (a monitor profile).
std::string usable_profile() {
  std::string h(132, '\0');
  std::memcpy(&h[12], "mntr", 4);
  std::memcpy(&h[16], "RGB ", 4);
  std::memcpy(&h[20], "XYZ ", 4);
  std::memcpy(&h[36], "acsp", 4);
  return h;
}

class DocumentPages : public morva::test::SheetUiTest {
 protected:
  void SetUp() override {
    SheetUiTest::SetUp();
    if (HasFatalFailure()) return;
    database_ = DddOpen(printer_);
    ASSERT_NE(database_, nullptr);
  }
  void TearDown() override {
    if (database_) DddClose(database_);
    SheetUiTest::TearDown();
  }
  // Full access: the printer's per-user identity (under which the stamps
  // are kept) is made on first use.
  DWORD printer_access() const override { return PRINTER_ALL_ACCESS; }

  // Opens the document sheet with `input` (or none) as the application's
  // DEVMODE; the script acts on the sheet; the full DEVMODE comes back.
  std::vector<BYTE> sheet(ui::ModalScript script, const std::vector<BYTE>* input = nullptr, LONG* answer = nullptr) {
    std::vector<BYTE> out(kFullDevmode, 0);
    const LONG a = run_document_sheet(std::move(script), out.data(), kFullDevmode, input ? input->data() : nullptr);
    if (answer) *answer = a;
    return out;
  }
  // The printer's settings as an application gets them, to start from.
  std::vector<BYTE> defaults() {
    return sheet([](HWND s) { ui::press_ok(s); });
  }
  // The settings naming a stamp with a text.
  std::vector<BYTE> naming(const std::u16string& name, const std::u16string& stamp_text) {
    std::vector<BYTE> d = defaults();
    set_text(d, kNameSetting, name, 66);
    set_text(d, kTextSetting, stamp_text, 130);
    return d;
  }
  static void to_tab(HWND s, INT tab) { ASSERT_TRUE(ui::select(GetDlgItem(s, IDC_PS_TABCONTROL), tab)); }

  INT stored(const std::u16string& name, StampRecord* record = nullptr) {
    StampRecord r{};
    const INT result = ReadStamp(printer_, name.c_str(), &r, FALSE, database_);
    if (record) *record = r;
    return result;
  }
  void store(const std::u16string& name, const std::u16string& stamp_text) {
    StampRecord r{};
    ASSERT_EQ(ReadStamp(printer_, nullptr, &r, FALSE, database_), kStampOk);
    std::memset(r.name, 0, sizeof r.name);
    std::memset(r.text, 0, sizeof r.text);
    std::memcpy(r.name, name.data(), name.size() * 2);
    std::memcpy(r.text, stamp_text.data(), stamp_text.size() * 2);
    ASSERT_EQ(SaveStamp(printer_, &r, database_), kStampOk);
  }
  void fill_store() {
    DWORD count = 0;
    ASSERT_EQ(CountStoredStamps(printer_, &count, database_), kStampOk);
    for (DWORD i = count; i < kMaxUserStamps; ++i) store(u"Filler " + std::u16string(1, u'A' + i), u"X");
  }

  DddHandle* database_ = nullptr;
};

// A stamp the settings name but the store lacks is stored when the stamp
// page opens (and another process reads it); with 32 stamps stored the
// settings fall back to the default stamp with an empty name.
TEST_F(DocumentPages, StampOfTheSettingsIsStoredWhenThePageOpens) {
  std::vector<BYTE> input = naming(u"Quarterly", u"CONFIDENTIAL");
  std::vector<BYTE> out = sheet(
      [&](HWND s) {
        to_tab(s, kStampTab);
        EXPECT_TRUE(ui::write_png(s, picture("doc_stamp_page.png")));
        ui::press_ok(s);
      },
      &input);
  EXPECT_TRUE(log_has(MB_OK | MB_ICONWARNING, u"Quarterly"));
  StampRecord record{};
  ASSERT_EQ(stored(u"Quarterly", &record), kStampOk);
  EXPECT_EQ(std::u16string(record.text), u"CONFIDENTIAL");
  EXPECT_EQ(text(out, kNameSetting), u"Quarterly");
  EXPECT_EQ(morva::test::run_child_tests("DocumentPagesChild.*", root_.path(), "stamp reader"), 0);

  morva::platform::reset_message_boxes();
  fill_store();
  input = naming(u"Monthly", u"DRAFT");
  out = sheet(
      [&](HWND s) {
        to_tab(s, kStampTab);
        ui::press_ok(s);
      },
      &input);
  EXPECT_TRUE(log_has(MB_OK | MB_ICONWARNING, u"cannot be added"));
  EXPECT_EQ(stored(u"Monthly"), kStampNotFound);
  EXPECT_EQ(text(out, kNameSetting), u"");
  EXPECT_EQ(text(out, kTextSetting), u"");
}

// The stamp list shows "None", the built-in stamps and the user's stored
// stamps, with the settings' stamp selected, also one the page's check has
// just stored; choosing a row takes that stamp into the settings.
TEST_F(DocumentPages, StampListShowsTheStoredStampsAndSelectsTheSettingsStamp) {
  const std::vector<std::u16string> listed = {u"None",   u"Confidential",      u"Draft",  u"Copy", u"Urgent",
                                              u"Internal Use Only", u"Sample", u"Alpha", u"Beta"};
  struct Case {
    std::u16string settings_name, settings_text;
    std::vector<std::u16string> extra_rows;
    INT selected;
  } const cases[] = {
      {u"Beta", u"SECOND", {}, 8},
      {u"", u"", {}, 0},
      {u"Gamma", u"THIRD", {u"Gamma"}, 9},  // stored by the page's check
  };
  store(u"Alpha", u"FIRST");
  store(u"Beta", u"SECOND");
  for (const Case& c : cases) {
    std::vector<BYTE> input = c.settings_name.empty() ? defaults() : naming(c.settings_name, c.settings_text);
    morva::platform::reset_message_boxes();
    std::vector<std::u16string> rows;
    INT selected = -1;
    std::vector<BYTE> out = sheet(
        [&](HWND s) {
          to_tab(s, kStampTab);
          HWND list = ui::find(s, kStampList);
          rows = ui::items(list);
          selected = ui::state(list).selection;
          if (c.settings_name == u"Beta") {
            EXPECT_TRUE(ui::write_png(s, picture("doc_stamp_list.png")));
            ASSERT_TRUE(ui::select_text(list, u"Alpha"));
          }
          ui::press_ok(s);
        },
        &input);
    std::vector<std::u16string> expected = listed;
    expected.insert(expected.end(), c.extra_rows.begin(), c.extra_rows.end());
    const std::string label(c.settings_name.begin(), c.settings_name.end());
    EXPECT_EQ(rows, expected) << label;
    EXPECT_EQ(selected, c.selected) << label;
    if (c.settings_name == u"Beta") {
      EXPECT_EQ(text(out, kNameSetting), u"Alpha");
      EXPECT_EQ(text(out, kTextSetting), u"FIRST");
    }
  }
}

// The settings' stamp differs from its stored twin: OK stores the settings'
// text over it, Cancel takes the stored stamp into the settings.
TEST_F(DocumentPages, StampThatDiffersFromItsStoredTwinAsks) {
  struct Case {
    INT answer;
    std::u16string stored_after, settings_after;
  } const cases[] = {{IDOK, u"FINAL", u"FINAL"}, {IDCANCEL, u"DRAFT", u"DRAFT"}};
  for (const Case& c : cases) {
    store(u"Review", u"DRAFT");
    std::vector<BYTE> input = naming(u"Review", u"FINAL");
    morva::platform::reset_message_boxes();
    morva::platform::script_message_box_answers({c.answer});
    std::vector<BYTE> out = sheet(
        [&](HWND s) {
          to_tab(s, kStampTab);
          ui::press_ok(s);
        },
        &input);
    EXPECT_TRUE(log_has(MB_OKCANCEL | MB_ICONWARNING, u"differs")) << c.answer;
    StampRecord record{};
    ASSERT_EQ(stored(u"Review", &record), kStampOk);
    EXPECT_EQ(std::u16string(record.text), c.stored_after) << c.answer;
    EXPECT_EQ(text(out, kTextSetting), c.settings_after) << c.answer;
  }
}

TEST_F(DocumentPages, DeleteRemovesTheSelectedStampAndSelectsTheDefault) {
  store(u"Obsolete", u"OLD");
  std::vector<BYTE> input = naming(u"Obsolete", u"OLD");
  std::vector<BYTE> out = sheet(
      [&](HWND s) {
        to_tab(s, kStampTab);
        ASSERT_TRUE(ui::click(ui::find(s, kDeleteStamp)));
        ui::press_ok(s);
      },
      &input);
  EXPECT_TRUE(log_has(MB_OKCANCEL | MB_ICONWARNING, u"Delete the stamp \"Obsolete\""));
  EXPECT_EQ(stored(u"Obsolete"), kStampNotFound);
  EXPECT_EQ(text(out, kNameSetting), u"");
}

// Editing a stored stamp without renaming it stores it without a question.
TEST_F(DocumentPages, EditDialogStoresAStampKeptUnderItsName) {
  std::vector<BYTE> input = naming(u"Weekly", u"WEEKLY");
  input = sheet(
      [&](HWND s) {
        to_tab(s, kStampTab);
        ui::press_ok(s);
      },
      &input);
  ASSERT_EQ(stored(u"Weekly"), kStampOk);
  ASSERT_EQ(DeleteStamp(printer_, u"Weekly", database_), kStampOk);
  morva::platform::reset_message_boxes();
  bool shown = false;
  sheet(
      [&](HWND s) {
        to_tab(s, kStampTab);
        // Stored again by the page's check; then edited.
        morva::platform::reset_message_boxes();
        ui::script_modal([&](HWND dialog) {
          shown = true;
          EXPECT_EQ(ui::text(dialog), u"Edit Stamp");
          EXPECT_TRUE(ui::write_png(dialog, picture("doc_stamp_edit_dialog.png")));
          ASSERT_TRUE(ui::click(ui::find(dialog, kStampOkButton)));
          EXPECT_FALSE(IsWindowVisible(dialog));
        });
        ASSERT_TRUE(ui::click(ui::find(s, kEditStamp)));
        EXPECT_TRUE(morva::platform::message_box_log().empty());
        ui::press_ok(s);
      },
      &input);
  EXPECT_TRUE(shown);
  EXPECT_EQ(stored(u"Weekly"), kStampOk);
}

// A new stamp whose text is typed first takes the text as its name (cut
// to 32 bytes) and is stored under it by OK; the list then shows it.
TEST_F(DocumentPages, NewStampTakesItsTypedTextAsItsName) {
  const std::u16string typed = u"FOR REVIEW BY THE BOARD OF DIRECTORS";
  const std::u16string name = typed.substr(0, 32);
  std::vector<std::u16string> rows;
  std::vector<BYTE> out = sheet([&](HWND s) {
    to_tab(s, kStampTab);
    ui::script_modal([&](HWND dialog) {
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, kStampTextField), typed));
      ASSERT_TRUE(ui::tab());
      EXPECT_EQ(ui::text(ui::find(dialog, kStampName)), name);
      ASSERT_TRUE(ui::click(ui::find(dialog, kStampOkButton)));
      EXPECT_FALSE(IsWindowVisible(dialog));
    });
    ASSERT_TRUE(ui::click(ui::find(s, kNewStamp)));
    rows = ui::items(ui::find(s, kStampList));
    ui::press_ok(s);
  });
  StampRecord record{};
  ASSERT_EQ(stored(name, &record), kStampOk);
  EXPECT_EQ(std::u16string(record.text), typed);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows.back(), name);
  EXPECT_EQ(text(out, kNameSetting), name);
}

// Re-send without a file name asks for one; a stored job file that is not
// there is said with its path. Either way the file name gets the focus.
TEST_F(DocumentPages, ResendSaysWhatIsMissing) {
  struct Case {
    std::u16string file_name, message;
  } const cases[] = {
      {u"", u"Enter a value between"},
      {u"GONE", u"cannot be opened:\nGONE.PRN"},
  };
  for (const Case& c : cases) {
    std::vector<BYTE> input = defaults();
    set_text(input, 338, c.file_name, 18);
    morva::platform::reset_message_boxes();
    bool focused = false;
    sheet(
        [&](HWND s) {
          to_tab(s, kStampTab);
          ASSERT_TRUE(ui::click(ui::find(s, kResend)));
          focused = ui::state(ui::find(s, kFileNameField)).focused;
          ui::press_ok(s);
        },
        &input);
    const std::string label(c.file_name.begin(), c.file_name.end());
    EXPECT_TRUE(log_has(MB_OK | MB_ICONWARNING, c.message)) << label;
    EXPECT_TRUE(focused) << label;
  }
}

// A new stamp whose name cannot be stored (here the built-in default's
// name, to be replaced after the question) is not lost: the user is told
// and the dialog stays open.
TEST_F(DocumentPages, NewStampThatCannotBeStoredKeepsTheDialogOpen) {
  morva::platform::script_message_box_answers({IDOK, IDOK});
  bool open_after_ok = false;
  sheet([&](HWND s) {
    to_tab(s, kStampTab);
    ui::script_modal([&](HWND dialog) {
      EXPECT_EQ(ui::text(dialog), u"New Stamp");
      EXPECT_TRUE(ui::write_png(dialog, picture("doc_stamp_new_dialog.png")));
      ASSERT_TRUE(ui::click(ui::find(dialog, kStampOkButton)));
      open_after_ok = IsWindow(dialog) && IsWindowVisible(dialog);
      EXPECT_TRUE(ui::state(ui::find(dialog, kStampName)).focused);
      ui::press_cancel(dialog);
    });
    ASSERT_TRUE(ui::click(ui::find(s, kNewStamp)));
    ui::press_ok(s);
  });
  EXPECT_TRUE(open_after_ok);
  EXPECT_TRUE(log_has(MB_OKCANCEL | MB_ICONWARNING, u"exists already"));
  EXPECT_TRUE(log_has(MB_OK | MB_ICONWARNING, u"could not be saved"));
}

// The stamp dialog's faces are the screen's TrueType faces followed by the
// printer's own fonts. A stored stamp whose face is not installed gets a
// usable face when it is edited; a printer font chosen keeps its name and
// brings its own character set and pitch into the stored stamp.
TEST_F(DocumentPages, StampFontFacesListScreenAndPrinterFonts) {
  StampRecord odd{};
  ASSERT_EQ(ReadStamp(printer_, nullptr, &odd, FALSE, database_), kStampOk);
  const std::u16string name = u"Odd Face", face = u"Missing Face";
  std::memset(odd.name, 0, sizeof odd.name);
  std::memcpy(odd.name, name.data(), name.size() * 2);
  std::memset(odd.font.lfFaceName, 0, sizeof odd.font.lfFaceName);
  std::memcpy(odd.font.lfFaceName, face.data(), face.size() * 2);
  ASSERT_EQ(SaveStamp(printer_, &odd, database_), kStampOk);
  std::vector<std::u16string> faces;
  std::u16string substitute;
  sheet([&](HWND s) {
    to_tab(s, kStampTab);
    ASSERT_TRUE(ui::select_text(ui::find(s, kStampList), name));
    ui::script_modal([&](HWND dialog) {
      HWND list = ui::find(dialog, kStampFaceList);
      faces = ui::items(list);
      substitute = ui::text(list);
      ASSERT_TRUE(ui::select_text(list, u"CS Courier"));
      ASSERT_TRUE(ui::click(ui::find(dialog, kStampOkButton)));
    });
    ASSERT_TRUE(ui::click(ui::find(s, kEditStamp)));
    ui::press_ok(s);
  });
  EXPECT_EQ(substitute, u"DejaVu Sans");
  const auto at = [&](const std::u16string& f) { return std::find(faces.begin(), faces.end(), f) - faces.begin(); };
  for (std::u16string f : {u"DejaVu Sans", u"DejaVu Serif", u"CS Courier", u"QZ Gothic"})
    EXPECT_EQ(std::count(faces.begin(), faces.end(), f), 1) << std::string(f.begin(), f.end());
  EXPECT_LT(at(u"DejaVu Serif"), at(u"CS Courier"));
  EXPECT_LT(at(u"CS Courier"), at(u"QZ Gothic"));
  EXPECT_EQ(std::count_if(faces.begin(), faces.end(), [](const std::u16string& f) { return !f.empty() && f[0] == u'@'; }),
            0);
  StampRecord stored_stamp{};
  ASSERT_EQ(stored(name, &stored_stamp), kStampOk);
  EXPECT_EQ(std::u16string(stored_stamp.font.lfFaceName), u"CS Courier");
  EXPECT_EQ(stored_stamp.font.lfPitchAndFamily, 0x31);  // the printer font's modern family, fixed pitch
  EXPECT_EQ(stored_stamp.font.lfCharSet, 0);
}

// An Apply that leaves the sheet open lets the stamp page's font lists go;
// a stamp dialog opened after it (New, then Edit) still lists the faces.
TEST_F(DocumentPages, StampDialogsListFacesAfterApply) {
  std::vector<std::u16string> after_new, after_edit;
  sheet([&](HWND s) {
    to_tab(s, kStampTab);
    // The document sheet has no Apply button; the sheet applies on request.
    ASSERT_TRUE(SendMessageW(s, PSM_APPLY, 0, 0));
    ui::script_modal([&](HWND dialog) {
      after_new = ui::items(ui::find(dialog, kStampFaceList));
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, kStampTextField), u"APPLIED"));
      ASSERT_TRUE(ui::tab());
      ASSERT_TRUE(ui::click(ui::find(dialog, kStampOkButton)));
    });
    ASSERT_TRUE(ui::click(ui::find(s, kNewStamp)));
    ui::script_modal([&](HWND dialog) {
      after_edit = ui::items(ui::find(dialog, kStampFaceList));
      ui::press_cancel(dialog);
    });
    ASSERT_TRUE(ui::click(ui::find(s, kEditStamp)));
    ui::press_ok(s);
  });
  for (const auto* faces : {&after_new, &after_edit}) {
    EXPECT_EQ(std::count(faces->begin(), faces->end(), u"DejaVu Sans"), 1);
    EXPECT_EQ(std::count(faces->begin(), faces->end(), u"CS Courier"), 1);
  }
  StampRecord record{};
  ASSERT_EQ(stored(u"APPLIED", &record), kStampOk);
  EXPECT_NE(std::u16string(record.font.lfFaceName), u"");
}

// The custom colour button opens the colour chooser at the custom colour;
// a colour chosen becomes the custom colour (the next chooser starts from
// it) and the stamp's colour; a cancelled chooser changes neither.
TEST_F(DocumentPages, CustomColourChosenBecomesTheStampColour) {
  struct Case {
    bool accept;
    std::u16string text;
  } const cases[] = {{true, u"TEAL"}, {false, u"PLAIN"}};
  StampRecord builtin{};
  ASSERT_EQ(ReadStamp(printer_, nullptr, &builtin, TRUE, database_), kStampOk);
  for (const Case& c : cases) {
    morva::platform::reset_common_dialogs();
    morva::platform::script_common_dialog_answers({{c.accept, u"", 0x808000, 0}, {false, u"", 0, 0}});
    sheet([&](HWND s) {
      to_tab(s, kStampTab);
      ui::script_modal([&](HWND dialog) {
        ASSERT_TRUE(ui::enter_text(ui::find(dialog, kStampTextField), c.text));
        ASSERT_TRUE(ui::tab());
        ASSERT_TRUE(ui::click(ui::find(dialog, kCustomColourButton)));
        ASSERT_TRUE(ui::click(ui::find(dialog, kCustomColourButton)));
        ASSERT_TRUE(ui::click(ui::find(dialog, kStampOkButton)));
      });
      ASSERT_TRUE(ui::click(ui::find(s, kNewStamp)));
      ui::press_ok(s);
    });
    const auto log = morva::platform::common_dialog_log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].kind, morva::platform::CommonDialogRecord::kChooseColor);
    EXPECT_EQ(log[0].flags, static_cast<DWORD>(CC_RGBINIT | CC_FULLOPEN));
    EXPECT_EQ(log[1].data, c.accept ? 0x808000u : log[0].data) << c.accept;
    StampRecord record{};
    ASSERT_EQ(stored(c.text, &record), kStampOk);
    EXPECT_EQ(record.colour, c.accept ? 0x808000u : builtin.colour) << c.accept;
  }
}

// A fixed colour, a size, a frame and a position chosen in the stamp
// dialog are stored with the stamp: the colour choice brings its own colour.
TEST_F(DocumentPages, StampColourFrameAndPositionAreStored) {
  std::vector<std::u16string> sizes;
  std::u16string first_size;
  sheet([&](HWND s) {
    to_tab(s, kStampTab);
    ui::script_modal([&](HWND dialog) {
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, kStampTextField), u"FRAMED"));
      ASSERT_TRUE(ui::tab());
      ASSERT_TRUE(ui::select_text(ui::find(dialog, kStampColourList), u"Blue"));
      sizes = ui::items(ui::find(dialog, kStampSizeList));
      first_size = ui::text(ui::find(dialog, kStampSizeList));
      ASSERT_TRUE(ui::select_text(ui::find(dialog, kStampSizeList), u"36"));
      ASSERT_TRUE(ui::click(ui::find(dialog, kCircleFrame)));
      ASSERT_TRUE(ui::click(ui::find(dialog, kBottomRight)));
      EXPECT_TRUE(ui::write_png(dialog, picture("doc_stamp_framed_dialog.png")));
      ASSERT_TRUE(ui::click(ui::find(dialog, kStampOkButton)));
    });
    ASSERT_TRUE(ui::click(ui::find(s, kNewStamp)));
    ui::press_ok(s);
  });
  StampRecord record{};
  ASSERT_EQ(stored(u"FRAMED", &record), kStampOk);
  EXPECT_EQ(record.field200, 5);
  EXPECT_EQ(record.colour, 0xCC6633u);
  EXPECT_EQ(record.frame, 2);
  EXPECT_EQ(record.placement, 0x303);
  EXPECT_EQ(record.font.lfHeight, 36);
  EXPECT_EQ(first_size, u"72");  // the built-in default stamp's size
  ASSERT_FALSE(sizes.empty());
  EXPECT_EQ(sizes.front(), u"8");
  EXPECT_EQ(sizes.back(), u"144");
}

// The security-marking button opens the plug-in's settings dialog for this
// printer and model, after passing it the driver settings it asks for; the
// settings it returns are the ones the next session starts from, and its
// answer switches marking on.
TEST_F(DocumentPages, SecurityMarkingButtonOpensThePluginSettings) {
  std::string plugin = "Z:";
  for (char ch : std::string(MORVA_BIN_DIR) + "/libmvsealmark.so") plugin += ch == '/' ? '\\' : ch;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Selmar Quillan\\Sealmark Basic", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "DRVIFInstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(plugin.c_str()),
                           static_cast<DWORD>(plugin.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(key);
  const std::string log_path = root_.file("sealmark.log");
  setenv("MV_SEALMARK_LOG", log_path.c_str(), 1);
  setenv("MV_SEALMARK_IDS", "7", 1);
  std::vector<BYTE> out = sheet([&](HWND s) {
    to_tab(s, kStampTab);
    // The demo model lacks the marking capability, so the button is
    // hidden: its command is sent as a click would send it.
    HWND button = ui::find(s, kMarkingButton);
    ASSERT_NE(button, nullptr);
    for (int i = 0; i < 2; ++i)
      SendMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(kMarkingButton, BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
    ui::press_cancel(s);
  });
  unsetenv("MV_SEALMARK_LOG");
  unsetenv("MV_SEALMARK_IDS");
  std::vector<std::string> log;
  std::ifstream in(log_path);
  for (std::string line; std::getline(in, line);) log.push_back(line);
  const auto has = [&](const std::string& part) {
    return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
  };
  EXPECT_TRUE(has("create Morva Demo Printer ")) << "the printer name, then the model";
  EXPECT_TRUE(has("driver 7="));
  EXPECT_TRUE(has("dialog"));
  EXPECT_TRUE(has("settings MARK16")) << "the second session starts from the returned settings";
  EXPECT_EQ(std::count(log.begin(), log.end(), std::string("release")), 2);
}

// The colour balance page of the nested colour sheet: the balance switched
// on for cyan comes back in the settings; the levels show as exponents and
// a typed exponent is stored as its step's bit of the level (one above the
// last step is refused).
TEST_F(DocumentPages, ColourBalanceSetInTheNestedSheetComesBack) {
  std::vector<BYTE> input = defaults();
  set_number(input, 392, 8);  // cyan, light: the fourth step
  set_number(input, 395, 2);  // magenta, light: kept apart from cyan
  bool shown = false;
  struct Typed {
    INT control;
    std::u16string text;
  } const typed[] = {{2601, u"-1"}, {2602, u"3"}, {2600, u"2"}, {2600, u"4"}};
  std::vector<std::u16string> levels;
  std::vector<BYTE> out = sheet(
      [&](HWND s) {
        to_tab(s, kColourTab);
        EXPECT_TRUE(ui::write_png(s, picture("doc_colour_page.png")));
        ui::script_modal([&](HWND nested) {
          shown = true;
          EXPECT_EQ(ui::text(nested).find(u"Colour Settings"), 0u);
          ASSERT_TRUE(ui::click(ui::find(nested, 1227)));
          ASSERT_TRUE(ui::select_text(ui::find(nested, 1228), u"Cyan"));
          // Levels show as exponents of their step: 8 is step 0.
          EXPECT_EQ(ui::text(ui::find(nested, 2600)), u"0");
          for (const Typed& t : typed) {
            ASSERT_TRUE(ui::enter_text(ui::find(nested, t.control), t.text));
            ASSERT_TRUE(ui::tab());
          }
          for (INT id : {2600, 2601, 2602}) levels.push_back(ui::text(ui::find(nested, id)));
          EXPECT_TRUE(ui::write_png(nested, picture("doc_colour_balance.png")));
          ui::press_ok(nested);
        });
        ASSERT_TRUE(ui::click(ui::find(s, kBalanceButton)));
        ui::press_ok(s);
      },
      &input);
  EXPECT_TRUE(shown);
  EXPECT_EQ(number(out, 1315), 1);
  EXPECT_EQ(number(out, 391), 1);
  EXPECT_EQ(levels, (std::vector<std::u16string>{u"2", u"-1", u"3"}));
  EXPECT_TRUE(log_has(MB_ICONWARNING, u"between -4 and 3"));
  EXPECT_EQ(number(out, 392), 32);
  EXPECT_EQ(number(out, 393), 1024);
  EXPECT_EQ(number(out, 394), 4194304);
  EXPECT_EQ(number(out, 395), 2);
}

// A profile file chosen on the profile page comes back with its switch; a
// chosen profile that no longer passes the check is forgotten, with a
// warning, when the page opens again.
TEST_F(DocumentPages, ProfileChosenThroughTheFileDialogAndForgottenWhenItGoes) {
  morva::test::write_file(root_.file("drive_c/profiles/source.icc"), usable_profile());
  std::vector<BYTE> input = defaults();
  set_number(input, 286, 2);
  morva::platform::script_common_dialog_answers({{true, u"C:\\profiles\\source.icc", 0, 0}});
  std::vector<std::u16string> reopened;
  std::vector<BYTE> out = sheet(
      [&](HWND s) {
        to_tab(s, kColourTab);
        ui::script_modal([&](HWND nested) {
          EXPECT_EQ(ui::items(ui::find(nested, 1081)), std::vector<std::u16string>{u"Default"});
          ASSERT_TRUE(ui::click(ui::find(nested, 1000)));
          EXPECT_EQ(ui::text(ui::find(nested, 1081)), u"source.icc");
          EXPECT_TRUE(ui::write_png(nested, picture("doc_colour_profiles.png")));
          ui::press_ok(nested);
        });
        ASSERT_TRUE(ui::click(ui::find(s, kProfilesButton)));
        const auto log = morva::platform::common_dialog_log();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_NE(log[0].extra.find(u"*.icc"), std::u16string::npos);
        EXPECT_TRUE(morva::platform::message_box_log().empty());
        std::filesystem::remove(root_.file("drive_c/profiles/source.icc"));
        ui::script_modal([&](HWND nested) {
          reopened = ui::items(ui::find(nested, 1081));
          ui::press_ok(nested);
        });
        ASSERT_TRUE(ui::click(ui::find(s, kProfilesButton)));
        ui::press_ok(s);
      },
      &input);
  EXPECT_EQ(reopened, std::vector<std::u16string>{u"Default"});
  EXPECT_TRUE(log_has(MB_ICONWARNING, u"source.icc"));
  EXPECT_EQ(number(out, 286), 2);
  EXPECT_EQ(number(out, 1303), 0);
}

// The second process of the stamp test, on the same machine root.
TEST(DocumentPagesChild, StoredStampSeenByAnotherProcess) {
  if (morva::test::child_role() != "stamp reader") GTEST_SKIP() << "runs as the second process of the stamp test";
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kDemoPrinter), &printer, nullptr));
  DddHandle* database = DddOpen(printer);
  ASSERT_NE(database, nullptr);
  StampRecord record{};
  EXPECT_EQ(ReadStamp(printer, u"Quarterly", &record, FALSE, database), kStampOk);
  EXPECT_EQ(std::u16string(record.text), u"CONFIDENTIAL");
  DddClose(database);
  ClosePrinter(printer);
}

}  // namespace
