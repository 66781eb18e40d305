// The device sheet's font substitution and user-defined paper sizes
// dialogs, opened on the demo printer's sheet data and driven like a user:
// the substitution chosen reaches the next job's font selection, the paper
// sizes become spooler forms that another process sees, and a printer that
// cannot be changed is reported without closing the dialog.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "ddd_builder.h"

#include "child_process.h"
#include "dialog_sheet_fixture.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "property_sheets/document_pages.h"
#include "settings/database/ddd_file.h"
#include "settings/items/item_access.h"
#include "settings/stores/font_substitution.h"
#include "settings/stores/printer_settings.h"

namespace {

namespace ui = morva::platform::ui;
using morva::gfx_demo::kDemoPrinter;

constexpr UINT kFontDialog = 513, kPaperDialog = 514;
constexpr INT kRows = 1223, kDeviceFonts = 1268, kFontOk = 1307, kFontCancel = 1308, kFontDefaults = 1309;
constexpr INT kSlots = 1286, kWidth = 1010, kHeight = 1011, kInch = 1566, kName = 1204, kPaperDefaults = 1304,
              kPaperOk = 1306, kPaperCancel = 1305;

// The row of a list that starts with `prefix`, or -1.
INT row_of(HWND list, const std::u16string& prefix) {
  const auto rows = ui::items(list);
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].rfind(prefix, 0) == 0) return static_cast<INT>(i);
  return -1;
}

std::u16string stored_substitute(HANDLE printer, const std::u16string& face) {
  WCHAR* table = GetFontSubstitutionTable(printer);
  const WCHAR* value = table ? FindMultiSzPairValue(table, face.c_str()) : nullptr;
  std::u16string out = value ? value : u"";
  if (table) GlobalFree(table);
  return out;
}

std::string png_path(const std::string& name) { return std::string(MORVA_BIN_DIR) + "/" + name; }

class DeviceDialogs : public morva::test::DialogSheet {
 protected:
  // The device-font code of the text run a job with TrueType faces
  // replaced by device fonts prints "DejaVu Serif" in.
  std::int64_t printed_font_code() {
    std::string error;
    EXPECT_TRUE(morva::gfx_demo::make_dc_devmode_default(kDemoPrinter, &error)) << error;
    const std::string json = R"({"printer": "Morva Demo Printer", "document": "Fonts", "units": "px",
      "devmode": {"dmTTOption": 3}, "pages": [{"ops": [{"op": "font", "face": "DejaVu Serif", "size": 12},
      {"op": "text", "x": 100, "y": 200, "text": "Text"}]}]})";
    morva::print_host::Document doc;
    EXPECT_TRUE(morva::print_host::parse_document(json, "doc.json", root_.path(), &doc, &error)) << error;
    const auto r = morva::print_host::print_document(doc);
    EXPECT_TRUE(r.ok) << r.error;
    if (!r.ok) return -1;
    const auto decoded = morva::tools::DecodeSpoolFilePath(morva::platform::job_spool_file(r.job_id));
    for (const auto& item : decoded.items)
      if (item.kind == morva::tools::PdlItem::Operator && item.text == "DA" && !item.operands.empty())
        return item.operands[0].i;
    return -1;
  }
};

TEST_F(DeviceDialogs, ChosenSubstitutionIsStoredAndUsedByTheNextJob) {
  ASSERT_NE(sheet(), nullptr);
  EXPECT_EQ(printed_font_code(), 0x0201);  // the database's default: CS Times Roman
  const INT_PTR result = open(kFontDialog, FontSubstitutionDialogProc, [&](HWND dialog) {
    HWND rows = ui::find(dialog, kRows);
    const INT row = row_of(rows, u"DejaVu Serif\t");
    ASSERT_GE(row, 0);
    EXPECT_EQ(ui::items(rows)[static_cast<size_t>(row)], u"DejaVu Serif\tCS Times Roman");
    ASSERT_TRUE(ui::select(rows, row));
    EXPECT_EQ(ui::text(ui::find(dialog, kDeviceFonts)), u"CS Times Roman");
    ASSERT_TRUE(ui::select_text(ui::find(dialog, kDeviceFonts), u"CS Courier"));
    EXPECT_EQ(ui::items(rows)[static_cast<size_t>(row)], u"DejaVu Serif\tCS Courier");
    EXPECT_TRUE(ui::write_png(dialog, png_path("font-substitution-dialog.png")));
    EXPECT_TRUE(ui::click(ui::find(dialog, kFontOk)));
  });
  EXPECT_EQ(result, kFontOk);
  EXPECT_TRUE(morva::platform::message_box_log().empty());
  EXPECT_EQ(stored_substitute(printer_, u"DejaVu Serif"), u"CS Courier");
  EXPECT_EQ(printed_font_code(), 0x0101);
}

TEST_F(DeviceDialogs, SubstitutionRowsCycleRemoveAndRestoreDefaults) {
  ASSERT_NE(sheet(), nullptr);
  open(kFontDialog, FontSubstitutionDialogProc, [&](HWND dialog) {
    HWND rows = ui::find(dialog, kRows);
    const INT row = row_of(rows, u"DejaVu Serif\t");
    ASSERT_GE(row, 0);
    // Double clicks step through the device fonts and back to none.
    const std::vector<std::u16string> steps = {u"CS Triumvirate", u"QZ Gothic", u"(No substitution)", u"CS Courier"};
    for (const auto& want : steps) {
      ASSERT_TRUE(ui::select(rows, row));
      ASSERT_TRUE(ui::double_click(rows));
      EXPECT_EQ(ui::items(rows)[static_cast<size_t>(row)], u"DejaVu Serif\t" + want);
    }
    ASSERT_TRUE(ui::click(ui::find(dialog, kFontDefaults)));
    EXPECT_EQ(ui::items(rows)[static_cast<size_t>(row)], u"DejaVu Serif\tCS Times Roman");
    ASSERT_TRUE(ui::select(rows, row));
    ASSERT_TRUE(ui::select_text(ui::find(dialog, kDeviceFonts), u"(No substitution)"));
    EXPECT_TRUE(ui::click(ui::find(dialog, kFontOk)));
  });
  EXPECT_EQ(stored_substitute(printer_, u"DejaVu Serif"), u"");
  EXPECT_EQ(stored_substitute(printer_, u"DejaVu Sans"), u"CS Triumvirate");
  // Cancel keeps what is stored.
  open(kFontDialog, FontSubstitutionDialogProc, [&](HWND dialog) {
    ASSERT_TRUE(ui::click(ui::find(dialog, kFontDefaults)));
    EXPECT_TRUE(ui::click(ui::find(dialog, kFontCancel)));
  });
  EXPECT_EQ(stored_substitute(printer_, u"DejaVu Serif"), u"");
}

TEST_F(DeviceDialogs, ReadOnlySheetChangesNoSubstitution) {
  ASSERT_NE(sheet(kSheetTypeDevice, FALSE), nullptr);
  open(kFontDialog, FontSubstitutionDialogProc, [&](HWND dialog) {
    HWND rows = ui::find(dialog, kRows);
    const INT row = row_of(rows, u"DejaVu Serif\t");
    ASSERT_TRUE(ui::select(rows, row));
    ui::double_click(rows);
    EXPECT_EQ(ui::items(rows)[static_cast<size_t>(row)], u"DejaVu Serif\tCS Times Roman");
    EXPECT_FALSE(ui::state(ui::find(dialog, kDeviceFonts)).enabled);
    ui::click(ui::find(dialog, kFontOk));
  });
  EXPECT_EQ(stored_substitute(printer_, u"DejaVu Serif"), u"CS Times Roman");
}

// A printer that cannot be opened for changes: the user is told, the
// dialog stays open and nothing is stored.
TEST_F(DeviceDialogs, RefusedPrinterIsReportedAndTheDialogsStayOpen) {
  ASSERT_NE(sheet(), nullptr);
  morva::platform::inject_printer_access_denied(true);
  bool still_open = false;
  INT_PTR result = open(kFontDialog, FontSubstitutionDialogProc, [&](HWND dialog) {
    HWND rows = ui::find(dialog, kRows);
    ASSERT_TRUE(ui::select(rows, row_of(rows, u"DejaVu Serif\t")));
    ASSERT_TRUE(ui::select_text(ui::find(dialog, kDeviceFonts), u"CS Courier"));
    ui::click(ui::find(dialog, kFontOk));
    still_open = IsWindow(dialog) && ui::state(ui::find(dialog, kRows)).visible;
    EXPECT_TRUE(ui::click(ui::find(dialog, kFontCancel)));
  });
  EXPECT_TRUE(still_open);
  EXPECT_EQ(result, kFontCancel);
  ASSERT_EQ(morva::platform::message_box_log().size(), 1u);
  EXPECT_EQ(morva::platform::message_box_log()[0].text, u"The font substitution table could not be stored on the printer.");
  morva::platform::inject_printer_access_denied(false);
  EXPECT_EQ(stored_substitute(printer_, u"DejaVu Serif"), u"CS Times Roman");

  morva::platform::reset_message_boxes();
  morva::platform::inject_printer_access_denied(true);
  still_open = false;
  result = open(kPaperDialog, UserPaperDialogProc, [&](HWND dialog) {
    ASSERT_TRUE(ui::enter_text(ui::find(dialog, kName), u"Refused"));
    ui::click(ui::find(dialog, kPaperOk));
    still_open = ui::state(ui::find(dialog, kSlots)).visible;
    EXPECT_TRUE(ui::click(ui::find(dialog, kPaperCancel)));
  });
  EXPECT_TRUE(still_open);
  EXPECT_EQ(result, kPaperCancel);
  EXPECT_EQ(morva::platform::message_box_log().size(), 1u);
}

// Reads the printer's settings as a fresh process does.
LONG stored_number(HANDLE printer, WORD ddmid) {
  DddHandle* database = DddOpen(printer);
  std::vector<BYTE> block(kPrinterDataBlockSize);
  EXPECT_EQ(ReadPrinterSettings(printer, block.data(), database), 1);
  DddClose(database);
  return GetEffectiveItemValue(nullptr, block.data(), ddmid);
}

TEST_F(DeviceDialogs, UserPaperSizeBecomesASpoolerFormAndIsRemovedAgain) {
  ASSERT_NE(sheet(), nullptr);
  INT_PTR result = open(kPaperDialog, UserPaperDialogProc, [&](HWND dialog) {
    HWND slots = ui::find(dialog, kSlots);
    ASSERT_EQ(ui::items(slots).size(), 20u);
    EXPECT_EQ(ui::text(ui::find(dialog, kWidth)), u"210.0");
    EXPECT_EQ(ui::text(ui::find(dialog, kHeight)), u"297.0");
    ASSERT_TRUE(ui::select(slots, 1));
    ASSERT_TRUE(ui::enter_text(ui::find(dialog, kWidth), u"150"));
    ASSERT_TRUE(ui::enter_text(ui::find(dialog, kHeight), u"200.5"));
    ASSERT_TRUE(ui::enter_text(ui::find(dialog, kName), u"Postcard large"));
    EXPECT_NE(ui::items(slots)[1].find(u"150 x 200 mm\tPostcard large"), std::u16string::npos);
    // The same slot in inches.
    ASSERT_TRUE(ui::click(ui::find(dialog, kInch)));
    EXPECT_EQ(ui::text(ui::find(dialog, kWidth)), u"5.91");
    EXPECT_EQ(ui::text(ui::find(dialog, kHeight)), u"7.89");
    ASSERT_TRUE(ui::enter_text(ui::find(dialog, kWidth), u"6"));
    EXPECT_TRUE(ui::write_png(dialog, png_path("user-paper-sizes-dialog.png")));
    EXPECT_TRUE(ui::click(ui::find(dialog, kPaperOk)));
  });
  EXPECT_EQ(result, kPaperOk);
  EXPECT_TRUE(morva::platform::message_box_log().empty());
  EXPECT_EQ(stored_number(printer_, 5890), 1524);  // 6 in
  EXPECT_EQ(stored_number(printer_, 5910), 2005);
  EXPECT_EQ(morva::test::run_child_tests("UserPaperChild.*", root_.path(), "form 1524 2005 Postcard large"), 0);

  // Defaults give every slot A4 and its own name again: the form goes.
  result = open(kPaperDialog, UserPaperDialogProc, [&](HWND dialog) {
    ASSERT_TRUE(ui::select(ui::find(dialog, kSlots), 1));
    EXPECT_EQ(ui::text(ui::find(dialog, kName)), u"Postcard large");
    ASSERT_TRUE(ui::click(ui::find(dialog, kPaperDefaults)));
    EXPECT_TRUE(ui::click(ui::find(dialog, kPaperOk)));
  });
  EXPECT_EQ(result, kPaperOk);
  EXPECT_EQ(morva::test::run_child_tests("UserPaperChild.*", root_.path(), "no form"), 0);
}

TEST_F(DeviceDialogs, UserPaperEntriesAreCheckedBeforeTheyAreTaken) {
  ASSERT_NE(sheet(), nullptr);
  const INT_PTR result = open(kPaperDialog, UserPaperDialogProc, [&](HWND dialog) {
    struct Case {
      INT field;
      std::u16string typed, shown;
      bool warned;
    } const cases[] = {
        {kWidth, u"120.55", u"210.0", true},   // two decimals in millimetres
        {kWidth, u"12a", u"210.0", true},
        {kWidth, u"50", u"210.0", true},       // below the smallest width
        {kHeight, u"1300", u"297.0", true},    // above the largest height
        {kWidth, u"300", u"300.0", false},
    };
    for (const Case& c : cases) {
      morva::platform::reset_message_boxes();
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, c.field), c.typed));
      // Leaving the field checks it; a refused value keeps the focus there.
      EXPECT_EQ(ui::focus(ui::find(dialog, kName)), !c.warned);
      EXPECT_EQ(ui::text(ui::find(dialog, c.field)), c.shown) << std::string(c.typed.begin(), c.typed.end());
      EXPECT_EQ(morva::platform::message_box_log().size(), c.warned ? 1u : 0u);
    }
    // Wider than high: OK turns the slot and stays open.
    morva::platform::reset_message_boxes();
    ui::click(ui::find(dialog, kPaperOk));
    ASSERT_EQ(morva::platform::message_box_log().size(), 1u);
    EXPECT_EQ(ui::text(ui::find(dialog, kWidth)), u"297.0");
    EXPECT_EQ(ui::text(ui::find(dialog, kHeight)), u"300.0");
    // A name of 14 characters is kept whole.
    ASSERT_TRUE(ui::enter_text(ui::find(dialog, kName), u"ABCDEFGHIJKLMN"));
    EXPECT_TRUE(ui::click(ui::find(dialog, kPaperOk)));
  });
  EXPECT_EQ(result, kPaperOk);
  DddHandle* database = DddOpen(printer_);
  std::vector<BYTE> block(kPrinterDataBlockSize);
  ASSERT_EQ(ReadPrinterSettings(printer_, block.data(), database), 1);
  DddClose(database);
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  ASSERT_EQ(GetItemValue(5929, nullptr, block.data(), &type, &size, &v), 0);
  EXPECT_EQ(ItemText(v, size), u"ABCDEFGHIJKLMN");
}

// The second process of the paper size test: role "form W H NAME" or "no form".
TEST(UserPaperChild, FormAsAnotherProcessSeesIt) {
  const std::string role = morva::test::child_role();
  if (role.empty()) GTEST_SKIP() << "runs as the second process of the user paper test";
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kDemoPrinter), &printer, nullptr));
  WCHAR name[40] = {};
  FormatUserPaperName(1, name, 40);
  DWORD needed = 0;
  GetFormW(printer, name, 1, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed ? needed : 1);
  const BOOL found = needed && GetFormW(printer, name, 1, buffer.data(), needed, &needed);
  if (role == "no form") {
    EXPECT_FALSE(found);
  } else {
    ASSERT_TRUE(found);
    const auto* form = reinterpret_cast<const FORM_INFO_1W*>(buffer.data());
    EXPECT_EQ(form->Size.cx, 152400);
    EXPECT_EQ(form->Size.cy, 200500);
    EXPECT_EQ(form->Flags, static_cast<DWORD>(FORM_PRINTER));
    DddHandle* database = DddOpen(printer);
    std::vector<BYTE> block(kPrinterDataBlockSize);
    EXPECT_EQ(ReadPrinterSettings(printer, block.data(), database), 1);
    DddClose(database);
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    ASSERT_EQ(GetItemValue(5930, nullptr, block.data(), &type, &size, &v), 0);
    EXPECT_EQ(ItemText(v, size), u"Postcard large");
  }
  ClosePrinter(printer);
}

// A model with two items to place on the page, each at one of six
// positions.
class ItemPlacement : public morva::test::DialogSheet {
 protected:
  std::string model() override {
    std::ifstream in(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json");
    nlohmann::json d = nlohmann::json::parse(in);
    auto& records = d["main"]["records"];
    int choices = 0;
    for (const auto& r : records) choices += r.value("kind", 0) == 14 ? 1 : 0;
    auto choice = [&](const std::string& name, int type, int value) {
      records.push_back({{"kind", 14}, {"name", name}, {"value", {{"type", type}, {"value", value}}}});
      return ++choices;
    };
    const int off = choice("Off", 1, 0), on = choice("On", 1, 1);
    std::vector<int> places;
    for (const char* name : {"Top Left", "Top Centre", "Top Right", "Bottom Left", "Bottom Centre", "Bottom Right"})
      places.push_back(choice(name, 3, static_cast<int>(places.size()) + 1));
    const char* names[] = {"Date", "Page Number"};
    for (int k = 0; k < 2; ++k) {
      records.push_back({{"kind", 4}, {"id", 1296 + k}, {"name", names[k]}, {"default", 1}, {"choices", {off, on}}});
      records.push_back({{"kind", 4}, {"id", 351 + k}, {"name", "Position"}, {"default", 1}, {"choices", places}});
    }
    const std::string folder = root_.file("placement_model");
    morva::ddd_build::write_images(morva::ddd_build::build_images(d), folder);
    return folder;
  }
  LONG current(WORD ddmid) { return GetEffectiveItemValue(context_->current.devmode, context_->current.printer_data, ddmid); }
};

TEST_F(ItemPlacement, CheckAndPositionEditTheItemSelectedInTheList) {
  constexpr UINT kDialog = 536;
  constexpr INT kList = 1578, kCheck = 1369, kTopRight = 1605;
  ASSERT_NE(sheet(kSheetTypeDocument), nullptr);
  const INT_PTR result = open(kDialog, EngineDialogProc<25, kDialogTypeDialog>, [&](HWND dialog) {
    HWND list = ui::find(dialog, kList);
    EXPECT_EQ(ui::items(list), (std::vector<std::u16string>{u"Date\tOff\tTop Left", u"Page Number\tOff\tTop Left"}));
    ASSERT_TRUE(ui::select(list, 1));
    ASSERT_TRUE(ui::click(ui::find(dialog, kCheck)));
    ASSERT_TRUE(ui::click(ui::find(dialog, kTopRight)));
    EXPECT_EQ(ui::items(list)[1], u"Page Number\tOn\tTop Right");
    EXPECT_EQ(ui::items(list)[0], u"Date\tOff\tTop Left");
    // Back on the first item the controls show its own state.
    ASSERT_TRUE(ui::select(list, 0));
    EXPECT_EQ(ui::state(ui::find(dialog, kCheck)).check, BST_UNCHECKED);
    EXPECT_EQ(ui::state(ui::find(dialog, 1603)).check, BST_CHECKED);
    EXPECT_TRUE(ui::write_png(dialog, png_path("item-placement-dialog.png")));
    EXPECT_TRUE(ui::click(ui::find(dialog, 1092)));
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(current(1297), 1);
  EXPECT_EQ(current(352), 3);
  EXPECT_EQ(current(1296), 0);
}

// Locked for applications by the administrator: every control is shown
// disabled.
TEST_F(ItemPlacement, LockedSettingsAreShownDisabled) {
  ASSERT_NE(sheet(kSheetTypeDocument), nullptr);
  const BYTE locked = 1;
  ASSERT_EQ(SetItemValueRaw(5138, context_->current.devmode, context_->current.printer_data, 8, 1, &locked), 0);
  open(536, EngineDialogProc<25, kDialogTypeDialog>, [&](HWND dialog) {
    for (INT id : {1369, 1603, 1608, 1614}) {
      EXPECT_TRUE(ui::state(ui::find(dialog, id)).visible) << id;
      EXPECT_FALSE(ui::state(ui::find(dialog, id)).enabled) << id;
    }
    ui::click(ui::find(dialog, 1091));
  });
  EXPECT_EQ(current(1296), 0);
}

// The item font as the screen's enumeration describes the family.
LOGFONTW enumerated_family(const std::u16string& face) {
  LOGFONTW found{};
  EnumFontFamiliesW(nullptr, face.c_str(),
                    [](const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM out) {
                      *reinterpret_cast<LOGFONTW*>(out) = *font;
                      return 0;
                    },
                    reinterpret_cast<LPARAM>(&found));
  return found;
}

// The item font is checked when the dialog opens: a face the screen no
// longer has is replaced by the default face with its settings; a face
// that is installed, or a device font of the printer, stays as stored.
TEST_F(ItemPlacement, AStoredFaceThatIsNotInstalledIsReplacedAtStart) {
  constexpr WORD kFace = 358, kCharset = 367, kPitch = 371;
  const LOGFONTW fallback = enumerated_family(u"DejaVu Sans");
  ASSERT_EQ(std::u16string(fallback.lfFaceName), u"DejaVu Sans");
  struct Case {
    std::u16string stored, expected;
    bool replaced;
  } cases[] = {
      {u"DejaVu Serif", u"DejaVu Serif", false},
      {u"CS Courier", u"CS Courier", false},
      {u"Gone Sans", u"DejaVu Sans", true},
  };
  for (const Case& c : cases) {
    ASSERT_NE(sheet(kSheetTypeDocument), nullptr);
    void* dm = context_->current.devmode;
    void* pd = context_->current.printer_data;
    const WCHAR* text = c.stored.c_str();
    ASSERT_EQ(SetItemValueRaw(kFace, dm, pd, 6, static_cast<DWORD>((c.stored.size() + 1) * 2), &text), 0);
    const BYTE marker = 77;
    ASSERT_EQ(SetItemValueRaw(kCharset, dm, pd, 8, 1, &marker), 0);
    ASSERT_EQ(SetItemValueRaw(kPitch, dm, pd, 8, 1, &marker), 0);
    std::vector<std::u16string> faces;
    open(536, EngineDialogProc<25, kDialogTypeDialog>, [&](HWND dialog) {
      faces = ui::items(ui::find(dialog, 1581));
      ui::click(ui::find(dialog, 1092));
    });
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    ASSERT_EQ(GetItemValue(kFace, context_->current.devmode, context_->current.printer_data, &type, &size, &v), 0);
    EXPECT_EQ(ItemText(v, size), c.expected) << morva::u16_to_utf8(c.stored);
    EXPECT_EQ(current(kCharset), c.replaced ? fallback.lfCharSet : marker) << morva::u16_to_utf8(c.stored);
    EXPECT_EQ(current(kPitch), c.replaced ? fallback.lfPitchAndFamily : marker) << morva::u16_to_utf8(c.stored);
    // The face list: the installed families, then the printer's fonts.
    ASSERT_FALSE(faces.empty());
    EXPECT_NE(std::find(faces.begin(), faces.end(), u"DejaVu Sans Mono"), faces.end());
    EXPECT_EQ(faces.back(), u"QZ Gothic");
  }
}

// Choosing a face sets the font's other settings: an installed family its
// own, a device font the character set and pitch the printer gives it.
TEST_F(ItemPlacement, ChoosingAFaceSetsItsCharacterSetAndPitch) {
  constexpr WORD kCharset = 367, kPitch = 371;
  const LOGFONTW mono = enumerated_family(u"DejaVu Sans Mono");
  ASSERT_EQ(std::u16string(mono.lfFaceName), u"DejaVu Sans Mono");
  struct Case {
    std::u16string face;
    LONG charset, pitch;
  } cases[] = {
      {u"DejaVu Sans Mono", mono.lfCharSet, mono.lfPitchAndFamily},
      // Stored pitch byte 48: family 0x30, fixed pitch.
      {u"QZ Gothic", SHIFTJIS_CHARSET, 0x31},
  };
  for (const Case& c : cases) {
    ASSERT_NE(sheet(kSheetTypeDocument), nullptr);
    open(536, EngineDialogProc<25, kDialogTypeDialog>, [&](HWND dialog) {
      EXPECT_TRUE(ui::select_text(ui::find(dialog, 1581), c.face));
      ui::click(ui::find(dialog, 1092));
    });
    EXPECT_EQ(current(kCharset), c.charset) << morva::u16_to_utf8(c.face);
    EXPECT_EQ(current(kPitch), c.pitch) << morva::u16_to_utf8(c.face);
  }
}

// A model with the detail settings that bring controls of their own: the
// job-monitor switch (1321) with its note, and the number mode (474) whose
// value says which of its two number entries applies.
class DetailSelection : public morva::test::DialogSheet {
 protected:
  std::string model() override {
    std::ifstream in(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json");
    nlohmann::json d = nlohmann::json::parse(in);
    auto& records = d["main"]["records"];
    int choices = 0;
    for (const auto& r : records) choices += r.value("kind", 0) == 14 ? 1 : 0;
    // The number mode is stored as a byte.
    auto choice = [&](const std::string& name, int value) {
      records.push_back({{"kind", 14}, {"name", name}, {"value", {{"type", 8}, {"value", value}}}});
      return ++choices;
    };
    std::vector<int> modes;
    for (const char* name : {"None", "First Only", "Second Only", "Both"})
      modes.push_back(choice(name, static_cast<int>(modes.size())));
    records.push_back({{"kind", 4}, {"id", 474}, {"name", "Number Mode"}, {"default", 1}, {"choices", modes}});
    records.push_back({{"kind", 4}, {"id", 1321}, {"name", "Job Monitor"}, {"default", 1},
                       {"choices", {choice("Off", 0), choice("On", 1)}}});
    const std::string folder = root_.file("detail_model");
    morva::ddd_build::write_images(morva::ddd_build::build_images(d), folder);
    return folder;
  }
};

// Each selection shows the controls that belong to it and hides the
// others; the number mode's value picks the entries that apply.
TEST_F(DetailSelection, TheSelectionShowsItsOwnControls) {
  constexpr INT kSelector = 3300, kSelected = 3303, kMonitorNote = 3302, kNote = 3309, kFirst = 3315, kSecond = 3317;
  ASSERT_NE(sheet(kSheetTypeDocument), nullptr);
  context_->state->job_monitor_available = TRUE;
  open(504, EngineDialogProc<13, kDialogTypeDialog>, [&](HWND dialog) {
    HWND selector = ui::find(dialog, kSelector);
    auto pick = [&](const std::u16string& name) {
      const INT row = row_of(selector, name + u"\t");
      ASSERT_GE(row, 0) << morva::u16_to_utf8(name);
      ASSERT_TRUE(ui::select(selector, row));
    };
    auto visible = [&](INT id) { return ui::state(ui::find(dialog, id)).visible; };
    pick(u"Job Monitor");
    EXPECT_TRUE(visible(kMonitorNote));
    EXPECT_TRUE(visible(kNote));
    EXPECT_FALSE(visible(kFirst));
    EXPECT_FALSE(visible(kSecond));
    pick(u"Number Mode");
    EXPECT_FALSE(visible(kMonitorNote));
    struct Case {
      std::u16string mode;
      bool first, second;
    } cases[] = {
        {u"None", false, false},
        {u"First Only", false, true},
        {u"Second Only", true, false},
        {u"Both", true, true},
    };
    for (const Case& c : cases) {
      ASSERT_TRUE(ui::select_text(ui::find(dialog, kSelected), c.mode));
      EXPECT_EQ(visible(kFirst), c.first) << morva::u16_to_utf8(c.mode);
      EXPECT_EQ(visible(kSecond), c.second) << morva::u16_to_utf8(c.mode);
      EXPECT_EQ(visible(3314), c.first) << morva::u16_to_utf8(c.mode);
      EXPECT_EQ(visible(3316), c.second) << morva::u16_to_utf8(c.mode);
    }
    EXPECT_TRUE(ui::write_png(dialog, png_path("detail-page-number-mode.png")));
    EndDialog(dialog, IDCANCEL);
  });
}

// The demo model has no zoom setting: the paper page shows no zoom edit.
class PaperPageWithoutZoom : public morva::test::DialogSheet {};

TEST_F(PaperPageWithoutZoom, TheZoomEditIsHidden) {
  ASSERT_NE(sheet(kSheetTypeDocument), nullptr);
  open(4701, EngineDialogProc<1, kDialogTypeDialog>, [&](HWND dialog) {
    for (INT id : {1010, 1177, 1184, 1185}) EXPECT_FALSE(ui::state(ui::find(dialog, id)).visible) << id;
    EXPECT_TRUE(ui::state(ui::find(dialog, 1006)).visible);
    EXPECT_TRUE(ui::write_png(dialog, png_path("paper-page-without-zoom.png")));
    EndDialog(dialog, IDCANCEL);
  });
}

// The resource module holds every margin icon, the two whole-sheet ones
// among them.
TEST_F(PaperPageWithoutZoom, TheMarginIconsAreInTheResourceModule) {
  for (UINT id : {876u, 877u, 878u, 879u, 880u, 881u, 882u, 883u, 884u, 900u}) {
    HICON icon = LoadIconW(GetResourceModule(), MAKEINTRESOURCEW(id));
    EXPECT_NE(icon, nullptr) << id;
    if (icon) DestroyIcon(icon);
  }
}

}  // namespace
