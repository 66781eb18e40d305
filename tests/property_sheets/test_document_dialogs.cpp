// The job-type detail dialogs and the pattern page of the document sheet,
// opened on a sheet's settings of the demo printer and driven like a user:
// a required detail left empty keeps the dialog open or, on Cancel, sets
// the job type back with a notice; hour and minute show two digits; the
// pattern page offers its size controls in one mode only. Also the colour
// balance grid's cells.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../settings/demo_printer_fixture.h"
#include "../settings/setting_values.h"
#include "property_sheets/document_pages.h"
#include "property_sheets/sheet_engine.h"
#include "property_sheets/sheet_records.h"
#include "settings/common/module_state.h"
#include "settings/items/item_access.h"
#include "win/win.h"

namespace morva::settings {
void set_module_directory_for_test(LPCWSTR directory);
}

namespace {

namespace ui = morva::platform::ui;
using morva::test::put;

constexpr WORD kJobType = 334;
constexpr INT kOk = 1092, kCancel = 1091;

std::string picture(const std::string& name) {
  std::filesystem::create_directories(std::string(MORVA_BIN_DIR) + "/pictures");
  return std::string(MORVA_BIN_DIR) + "/pictures/" + name;
}

bool log_has(UINT style, const std::u16string& part) {
  for (const auto& m : morva::platform::message_box_log())
    if (m.style == style && m.text.find(part) != std::u16string::npos) return true;
  return false;
}

class DocumentDialogs : public morva::test::DemoPrinterTest {
 protected:
  std::vector<BYTE> dm, pd;
  SheetState state{};
  const DialogDescriptor** list = nullptr;
  SheetContext* context = nullptr;

  void SetUp() override {
    DemoPrinterTest::SetUp();
    std::filesystem::create_directories(root.file("drive_c/driver"));
    std::filesystem::copy_file(std::string(MORVA_BIN_DIR) + "/morvares.xrs", root.file("drive_c/driver/morvares.xrs"));
    morva::settings::set_module_directory_for_test(u"C:\\driver\\");
    ui::reset();
    morva::platform::reset_message_boxes();
    fill_defaults(dm, pd);
    state.printer = printer;
    state.database = database;
    state.can_edit = TRUE;
    state.mode = kSheetModeDocument;
    state.active_page = -1;
    INT count = 0;
    list = AllocatePageList(kSheetTypeDocument, &state, &count, FALSE, 1);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(CollectSheetDialogs(kSheetTypeDocument, &state, list, FALSE, 1), 1);
    state.dialog_tables = CreateDialogTables(list, count);
    ASSERT_NE(state.dialog_tables, nullptr);
  }
  void TearDown() override {
    DestroySheetContext(&context);
    DestroyDialogTables(state.dialog_tables);
    SafeGlobalFree(list);
    ui::reset();
    morva::platform::reset_message_boxes();
    ReleaseResourceModule();
    morva::settings::set_module_directory_for_test(nullptr);
    DemoPrinterTest::TearDown();
  }
  void set(WORD ddmid, LONG v) { put(dm.data(), pd.data(), ddmid, v); }
  LONG now(WORD ddmid) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    EXPECT_EQ(GetItemValue(ddmid, context->current.devmode, context->current.printer_data, &type, &size, &v), 0);
    return GetTypedValue(type, &v);
  }
  void fresh_context() {
    SheetSnapshot snapshot{dm.data(), pd.data(), nullptr, 0, nullptr, nullptr, 0};
    DestroySheetContext(&context);
    context = CreateSheetContext(nullptr, &state, &snapshot, nullptr);
    EXPECT_NE(context, nullptr);
  }
  // Runs one page in a sheet of its own on the settings.
  void page(UINT resource, DLGPROC proc, ui::ModalScript script) {
    fresh_context();
    PROPSHEETPAGEW one{};
    one.dwSize = sizeof one;
    one.hInstance = GetResourceModule();
    one.pszTemplate = MAKEINTRESOURCEW(resource);
    one.pfnDlgProc = proc;
    one.lParam = reinterpret_cast<LPARAM>(context);
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
    header.hInstance = GetResourceModule();
    header.pszCaption = u"Page";
    header.nPages = 1;
    header.ppsp = &one;
    ui::script_modal(std::move(script));
    PropertySheetW(&header);
  }
  // Runs a job-type dialog on the settings; its EndDialog answer.
  INT_PTR run(INT kind, UINT resource, ui::ModalScript script) {
    fresh_context();
    ui::script_modal(std::move(script));
    return DialogBoxParamW(GetResourceModule(), MAKEINTRESOURCEW(resource), nullptr, JobTypeDialogProc(kind),
                           reinterpret_cast<LPARAM>(context));
  }
};

// The stored-job dialog: OK without the user name is refused with its
// warning; Cancel with the number still empty sets the job type back to
// its first choice and says so.
TEST_F(DocumentDialogs, NumberDialogNeedsTheNameAndCancelSetsTheJobTypeBack) {
  set(kJobType, 3);
  bool open_after_ok = false;
  std::u16string heading;
  const INT_PTR answer = run(44, 3400, [&](HWND dialog) {
    heading = ui::text(ui::find(dialog, 1555));
    EXPECT_TRUE(ui::write_png(dialog, picture("doc_job_number_dialog.png")));
    ASSERT_TRUE(ui::click(ui::find(dialog, kOk)));
    open_after_ok = IsWindowVisible(dialog);
    EXPECT_TRUE(ui::state(ui::find(dialog, 1552)).focused);
    ASSERT_TRUE(ui::click(ui::find(dialog, kCancel)));
  });
  EXPECT_EQ(answer, 2);
  EXPECT_TRUE(open_after_ok);
  EXPECT_EQ(heading, u"Stored job: enter the user name.");
  EXPECT_TRUE(log_has(MB_OK | MB_ICONWARNING, u"Enter the user name"));
  EXPECT_TRUE(log_has(MB_OK | MB_ICONWARNING, u"Job Type: Normal Print"));
  EXPECT_EQ(now(kJobType), 0);
}

// A number above the maximum (500 when the choices name none) is refused
// and the dialog stays open; one inside closes it.
TEST_F(DocumentDialogs, NumberAboveItsMaximumIsRefused) {
  set(kJobType, 3);
  struct Case {
    std::u16string number;
    bool closes;
  } const cases[] = {{u"501", false}, {u"0", false}, {u"12", true}, {u"500", true}};
  for (const Case& c : cases) {
    morva::platform::reset_message_boxes();
    bool open_after_ok = false;
    run(44, 3400, [&](HWND dialog) {
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, 1552), u"Ada"));
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, 1557), c.number));
      ASSERT_TRUE(ui::click(ui::find(dialog, kOk)));
      open_after_ok = IsWindowVisible(dialog);
      if (open_after_ok) ui::press_cancel(dialog);
    });
    EXPECT_EQ(open_after_ok, !c.closes) << std::string(c.number.begin(), c.number.end());
    EXPECT_EQ(log_has(MB_OK | MB_ICONWARNING, u"between 1 and 500"), !c.closes);
  }
}

// OK of the identifier dialog with the identifier emptied says what is
// missing and keeps the dialog open; with an identifier it closes. The
// sheet starts from valid settings, so its start-up check changes nothing.
TEST_F(DocumentDialogs, IdentifierIsRequiredOnOk) {
  set(kJobType, 1);
  const char16_t* identifier = u"B20";
  ASSERT_TRUE(SetItemValue(5129, dm.data(), pd.data(), 0xFFFFFFFFu, 6, &identifier));
  bool open_after_ok = false;
  const INT_PTR answer = run(22, 533, [&](HWND dialog) {
    EXPECT_TRUE(ui::write_png(dialog, picture("doc_job_identifier_dialog.png")));
    ASSERT_TRUE(ui::enter_text(ui::find(dialog, 1549), u""));
    ASSERT_TRUE(ui::click(ui::find(dialog, kOk)));
    open_after_ok = IsWindowVisible(dialog);
    ASSERT_TRUE(ui::enter_text(ui::find(dialog, 1549), u"A17"));
    ASSERT_TRUE(ui::click(ui::find(dialog, kOk)));
  });
  EXPECT_TRUE(open_after_ok);
  EXPECT_EQ(answer, 1);
  EXPECT_TRUE(log_has(MB_OK | MB_ICONWARNING, u"Job Type cannot be set to Locked Print"));
  EXPECT_TRUE(log_has(MB_OK | MB_ICONWARNING, u"Identifier: (none)"));
  EXPECT_EQ(now(kJobType), 1);
}

// What is typed into a field of a job-type dialog is stored in its setting
// by OK, within the field's length.
TEST_F(DocumentDialogs, TypedDetailsAreStoredInTheirSettings) {
  struct Case {
    INT kind;
    UINT resource;
    LONG job_type;
    INT control;
    std::u16string typed;
    WORD ddmid;
    std::u16string stored;
  } const cases[] = {
      {22, 533, 1, 1549, u"A17", 5129, u"A17"},
      {22, 533, 1, 1549, u"ABCDEFGHIJ", 5129, u"ABCDEFGH"},  // eight characters without device option 2
      {22, 533, 1, 1550, u"4711", 5130, u"4711"},
      {42, 3340, 2, 1552, u"Ada", 1831, u"Ada"},
      {44, 3400, 3, 1552, u"Grace", 1831, u"Grace"},
  };
  for (const Case& c : cases) {
    set(kJobType, c.job_type);
    const std::string label = std::to_string(c.control) + " " + std::string(c.typed.begin(), c.typed.end());
    const INT_PTR answer = run(c.kind, c.resource, [&](HWND dialog) {
      if (c.kind != 44 && c.control != 1549) {
        ASSERT_TRUE(ui::enter_text(ui::find(dialog, 1549), u"ID"));
      }
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, c.control), c.typed));
      ASSERT_TRUE(ui::click(ui::find(dialog, kOk)));
    });
    EXPECT_EQ(answer, 1) << label;
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    ASSERT_EQ(GetItemValue(c.ddmid, context->current.devmode, context->current.printer_data, &type, &size, &v), 0);
    EXPECT_EQ(ItemText(v, size), c.stored) << label;
  }
}

TEST_F(DocumentDialogs, HourAndMinuteShowTwoDigits) {
  set(kJobType, 4);
  set(451, 7);
  set(452, 5);
  std::u16string hour, minute;
  run(43, 3377, [&](HWND dialog) {
    hour = ui::text(ui::find(dialog, 3371));
    minute = ui::text(ui::find(dialog, 3374));
    EXPECT_TRUE(ui::write_png(dialog, picture("doc_job_time_dialog.png")));
    ui::press_cancel(dialog);
  });
  EXPECT_EQ(hour, u"07");
  EXPECT_EQ(minute, u"05");
}

// The pattern page offers its cell size controls in mode 1 only.
TEST_F(DocumentDialogs, PatternPageShowsTheSizeControlsInOneModeOnly) {
  for (LONG mode : {0, 1}) {
    set(459, mode);
    std::vector<bool> shown;
    page(2770, EngineDialogProc<29, kDialogTypeNestedPage>, [&](HWND sheet) {
      for (INT id : {2781, 2782, 2785, 2784, 2771, 2772}) shown.push_back(ui::state(ui::find(sheet, id)).visible);
      if (mode == 1) {
        EXPECT_TRUE(ui::write_png(sheet, picture("doc_pattern_page.png")));
      }
      ui::press_cancel(sheet);
    });
    EXPECT_EQ(shown, std::vector<bool>(6, mode == 1)) << mode;
  }
}

// The pattern page lists the five patterns; both pictures show the chosen
// one, on a sheet and as a swatch, whatever the binding kind.
TEST_F(DocumentDialogs, PatternPicturesShowTheChosenPattern) {
  for (LONG kind : {0, 3}) {
    set(437, kind);
    set(382, 4);
    std::vector<std::u16string> patterns;
    std::vector<bool> icons;
    page(2770, EngineDialogProc<29, kDialogTypeNestedPage>, [&](HWND sheet) {
      patterns = ui::items(ui::find(sheet, 1648));
      for (INT id : {1645, 1646}) icons.push_back(SendMessageW(ui::find(sheet, id), STM_GETICON, 0, 0) != 0);
      EXPECT_TRUE(ui::write_png(sheet, picture("doc_pattern_icons_" + std::to_string(kind) + ".png")));
      ui::press_cancel(sheet);
    });
    EXPECT_EQ(patterns, (std::vector<std::u16string>{u"None", u"Dots", u"Lines", u"Diagonal Lines", u"Cross-Hatch"}));
    EXPECT_EQ(icons, std::vector<bool>(2, true)) << kind;
  }
}

// With the colour channels per object, the first channel edits the
// setting of the selected object; otherwise the common one.
TEST_F(DocumentDialogs, ColourChannelsFollowTheModeAndTheSelectedObject) {
  struct Case {
    LONG per_object, object;
    LONG shown;
  } const cases[] = {{1, 2, 33}, {1, 0, 11}, {0, 2, 44}};
  set(275, 11);
  set(276, 22);
  set(277, 33);
  set(274, 44);
  for (const Case& c : cases) {
    set(1314, c.per_object);
    set(272, c.object);
    INT current = -1;
    page(506, EngineDialogProc<11, kDialogTypeNestedPage>, [&](HWND sheet) {
      const ControlSet* set = GetDialogControlSet(ui::current_page(sheet), 11);
      ASSERT_NE(set, nullptr);
      for (INT i = 0; i < set->count; ++i)
        if (set->records[i].id == 1094) current = GetCurrentRefIndex(ui::current_page(sheet), &set->records[i]);
      if (c.per_object && c.object == 2) {
        EXPECT_TRUE(ui::write_png(sheet, picture("doc_image_page.png")));
      }
      ui::press_cancel(sheet);
    });
    const WORD expected = c.per_object ? static_cast<WORD>(275 + c.object) : 274;
    ASSERT_GE(current, 0);
    EXPECT_EQ(RefDdmid(kImageAdjustControls.records[3].settings[current]), expected) << c.per_object << c.object;
  }
}

// The small colour page shows the colour sample; the image options show
// the binding position icon of the chosen placement.
TEST_F(DocumentDialogs, PicturesOfTheSmallColourPageAndTheImageOptions) {
  page(537, EngineDialogProc<3, kDialogTypePage>, [&](HWND sheet) {
    EXPECT_TRUE(ui::write_png(sheet, picture("doc_colour_page_small.png")));
    ui::press_cancel(sheet);
  });
  set(267, 1);
  bool icon = false;
  page(508, EngineDialogProc<14, kDialogTypeNestedPage>, [&](HWND sheet) {
    icon = SendMessageW(ui::find(sheet, 1199), STM_GETICON, 0, 0) != 0;
    EXPECT_TRUE(ui::write_png(sheet, picture("doc_image_options.png")));
    ui::press_cancel(sheet);
  });
  EXPECT_TRUE(icon);
}

TEST(ColourBalanceGrid, CellsFilledUpToTheFirstSetBitInTheColorantsColours) {
  struct Case {
    LONG value;
    INT level, filled;
  } const cases[] = {{8, 1, 4}, {0x0800, 2, 4}, {0, 1, 0}, {0x40, 1, 7}, {0x010000, 3, 1}, {0x0C0000, 3, 3},
                     {0x7F, 2, 0}, {8, 4, 0}};
  for (const Case& c : cases) EXPECT_EQ(FilledBalanceCells(c.value, c.level), c.filled) << c.value << "/" << c.level;
  EXPECT_EQ(GetGridCellColour(1, 1, TRUE), 0xF9F9A4u);
  EXPECT_EQ(GetGridCellColour(3, 3, TRUE), 0x30CDCDu);
  EXPECT_EQ(GetGridCellColour(0, 3, TRUE), 0u);
  EXPECT_EQ(GetGridCellColour(2, 2, FALSE), 0xFFFFFFu);
  EXPECT_EQ(GetGridCellColour(4, 1, TRUE), 0xFFFFFFu);
}

}  // namespace
