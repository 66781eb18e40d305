// The sheets' buttons, check boxes, radio groups, statics and command items
// on a real engine dialog made from its template and driven like a user:
// a radio click the rules refuse, a value that is no choice, a child dialog
// left with Cancel or OK, restoring defaults confirmed and declined; the
// label texts with access keys; tooltips and summary icons; and the
// owner-drawn tray and option list rows, with a picture of the dialog.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ddd_builder.h"
#include "ddm/ddmid.h"
#include "printer_install.h"
#include "property_sheets/preview.h"
#include "property_sheets/sheet_controls.h"
#include "property_sheets/sheet_engine.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_file.h"
#include "settings/items/default_settings.h"
#include "settings/items/item_access.h"
#include "settings/items/item_info.h"
#include "../settings/setting_values.h"
#include "temp_root.h"
#include "win/win.h"

namespace morva::settings {
void set_module_directory_for_test(LPCWSTR directory);
}

namespace {

namespace ui = morva::platform::ui;
using json = nlohmann::json;

// Dialog kinds the tables leave free, for the test dialogs.
constexpr INT kPageKind = 2;
constexpr INT kChildKind = 7;
constexpr UINT kPageTemplate = 7950;
constexpr UINT kChildTemplate = 7951;

constexpr INT kPortrait = 3836, kLandscape = 3837, kCollate = 8691, kTwoSidedButton = 7965;
constexpr INT kSourceText = 7961, kStringText = 7962, kTitle = 7963, kPicture = 7964, kDetails = 7966;
constexpr INT kUnitLabel = 7967, kMillimetres = 7968, kInches = 7969, kLabel = 7970;
constexpr INT kTrayList = 7971, kOptionList = 7972, kPagesList = 7973, kBrowse = 7974, kAdvanced = 7975;
constexpr INT kCopiesPageKind = 9, kLayoutPageKind = 10;
constexpr INT kRangeLabel = 7976;
constexpr INT kDefaults = 1090, kOk = 1092, kCancel = 1091;

// ---- the test dialogs' tables ----------------------------------------------------------

// Fills a list box with the choices of its setting and leaves the rows to
// the draw hook of the record's kind data (the tray or option rows).
using DrawHook = INT (*)(ControlEvent*, DRAWITEMSTRUCT*, const ControlRecord*, const void*, INT);
INT fill_and_draw(ControlEvent* event, UINT message, LPARAM lParam, const ControlRecord* record,
                  const void* kind_data, DrawHook hook, const std::vector<std::u16string>& fixed_rows) {
  HWND list = GetDlgItem(event->window, record->id);
  const bool show = message == UM_REFRESH_CONTROLS ||
                    (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == PSN_SETACTIVE);
  if (show && list) {
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    SendMessageW(list, LB_SETITEMHEIGHT, 0, 15);
    std::vector<std::u16string> rows = fixed_rows;
    if (const SettingSlot* slot = record->setting_count ? GetCurrentSlot(event->window, record) : nullptr)
      if (ItemInfo* info = GetItemInfo(event->window, slot->ddmid))
        for (LONG c = 0; c < info->count; ++c) rows.push_back(ItemInfo_GetChoiceText(info, c));
    for (const auto& row : rows) SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
    SendMessageW(list, LB_SETCURSEL, 1, 0);
  }
  if (message == WM_DRAWITEM) return hook(event, reinterpret_cast<DRAWITEMSTRUCT*>(lParam), record, kind_data, 0);
  return 0;
}

INT TrayRows(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord* record, const void* data) {
  return fill_and_draw(event, message, lParam, record, data, TrayListDrawHook, {});
}

INT OptionRows(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord* record,
               const void* data) {
  return fill_and_draw(event, message, lParam, record, data, OptionListDrawHook,
                       {u"Duplex Unit\tInstalled", u"Hard Disk\tNot Installed",
                        u"Envelope feeder for the second paper tray\tInstalled in the lower drawer of the printer"});
}

// The pages-per-sheet list draws each row's choice icon before its text,
// in rows high enough for the icons.
INT PageRowDrawer(ControlEvent* event, const ControlRecord*, const DRAWITEMSTRUCT* item, INT, INT x, INT) {
  WCHAR text[128] = {};
  SendMessageW(item->hwndItem, LB_GETTEXT, item->itemID, reinterpret_cast<LPARAM>(text));
  const LONG key = static_cast<LONG>(SendMessageW(item->hwndItem, LB_GETITEMDATA, item->itemID, 0));
  DrawChoiceIcon(event, item->hDC, 1351, &key, x, item->rcItem.top, ChoiceIconFor295);
  TEXTMETRICW metrics{};
  GetTextMetricsW(item->hDC, &metrics);
  TextOutW(item->hDC, x + 27, (item->rcItem.top + item->rcItem.bottom - metrics.tmHeight) / 2, text,
           static_cast<INT>(std::char_traits<char16_t>::length(text)));
  return 0;
}

INT PageRows(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord* record, const void*) {
  HWND list = GetDlgItem(event->window, record->id);
  const SettingSlot* slot = GetCurrentSlot(event->window, record);
  ItemInfo* info = slot ? GetItemInfo(event->window, slot->ddmid) : nullptr;
  if (message == UM_REFRESH_CONTROLS ||
      (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == PSN_SETACTIVE)) {
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    SendMessageW(list, LB_SETITEMHEIGHT, 0, 26);
    for (LONG c = 0; info && c < info->count; ++c) {
      const LRESULT at = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ItemInfo_GetChoiceText(info, c)));
      SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(at),
                   GetTypedValue(info->value_type, ItemInfo_GetChoiceAt(info, c)));
      if (c == slot->choice) SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
    }
  }
  if (message != WM_DRAWITEM) return 0;
  auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
  const bool selected = (item->itemState & ODS_SELECTED) != 0;
  FillRect(item->hDC, &item->rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  SetTextColor(item->hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  SetBkMode(item->hDC, TRANSPARENT);
  return PageRowDrawer(event, record, item, 0, item->rcItem.left + 4, 0);
}

constexpr SettingRef kOrientation[] = {Bound(7)};
constexpr SettingRef kCollateSetting[] = {Bound(18)};
constexpr SettingRef kSource[] = {Bound(13)};
constexpr SettingRef kTwoSided[] = {Bound(16)};
constexpr SettingRef kMedia[] = {Bound(6175)};
constexpr SettingRef kPages[] = {Bound(295)};
constexpr SettingRef kCustomWidth[] = {Bound(1863)};
constexpr RadioGroupData kOrientationButtons{2, {kPortrait, kLandscape}};
constexpr RadioGroupData kUnitButtons{2, {kMillimetres, kInches}};
constexpr StaticTextData kChoiceText{kStaticChoiceText, kNone};
constexpr StaticTextData kString{kStaticString, 5316};
constexpr TitleData kTitleData{kNone};
constexpr CommandItem kNothing{kCommandNone, nullptr};
constexpr ListDataHead kOptionColumns{2, 3, 96};
constexpr ChildDialogTemplate kChildDialog[] = {
    {kChildTemplate, EngineDialogProc<kChildKind, kDialogTypeDialog>, kChildKind, kNone, 0}};
constexpr ChildDialogCommand kOpenChild{kChildDialog, 0, 0};
constexpr CommandItem kOpenChildCommand{kCommandChildDialog, &kOpenChild};
constexpr WORD kKeep = kFlagNoDefaults;
// A stamp picture: a file name of at most 8 characters (its extension cut
// off) goes to setting 338, its folder (at most 127) to 1829.
constexpr FileDialogCommand kChooseStamp{449, kNone, 1, 8, 127, 0, 448, kNone, 0, kNone, 0, 726, -1, 451, nullptr,
                                         1829, 338, 0, 0x2C, nullptr, nullptr, 0};
constexpr CommandItem kChooseStampCommand{kCommandOpenFile, &kChooseStamp};
// A nested sheet of two pages that opens at its second page.
constexpr ChildDialogTemplate kNestedPages[] = {
    {7952, EngineDialogProc<kCopiesPageKind, kDialogTypeNestedPage>, kCopiesPageKind, kNone, 0},
    {7953, EngineDialogProc<kLayoutPageKind, kDialogTypeNestedPage>, kLayoutPageKind, kNone, 0}};
constexpr NestedSheetCommand kOpenNested{kNestedPages, 2, 7953, {0, 0}, 7993, 0};
constexpr CommandItem kOpenNestedCommand{kCommandNestedSheet, &kOpenNested};

constexpr ControlRecord kPageRecords[] = {
    {kDialogRecordId, 0, nullptr, 0, nullptr, nullptr, kNone, kNone, nullptr},
    {kPortrait, 1, kOrientation, kControlRadioGroup, nullptr, &kOrientationButtons, kNone, kNone, nullptr},
    {kLandscape, 1, kOrientation, kControlRadioGroup, nullptr, &kOrientationButtons, kNone, kNone, nullptr},
    {kCollate, 1, kCollateSetting, kControlCheckBox, nullptr, nullptr, kNone, kNone, nullptr},
    {kTwoSidedButton, 1, kTwoSided, kControlCommand, nullptr, &kNothing, kNone, kNone, &kKeep},
    {kSourceText, 1, kSource, kControlStatic, nullptr, &kChoiceText, kNone, kNone, &kKeep},
    {kStringText, 0, nullptr, kControlStatic, nullptr, &kString, kNone, kNone, nullptr},
    {kTitle, 1, kMedia, kControlTitle, nullptr, &kTitleData, kNone, kNone, &kKeep},
    {kUnitLabel, 0, nullptr, kControlStatic, UnitLabelHandler, nullptr, kNone, kNone, nullptr},
    {kMillimetres, 0, nullptr, kControlAvailability, UnitRadioHandler, &kUnitButtons, kNone, kNone, nullptr},
    {kInches, 0, nullptr, kControlAvailability, UnitRadioHandler, &kUnitButtons, kNone, kNone, nullptr},
    {kTrayList, 1, kSource, 0, TrayRows, nullptr, kNone, kNone, &kKeep},
    {kOptionList, 0, nullptr, 0, OptionRows, &kOptionColumns, kNone, kNone, nullptr},
    {kDetails, 0, nullptr, kControlCommand, nullptr, &kOpenChildCommand, kNone, kNone, nullptr},
    {kPagesList, 1, kPages, 0, PageRows, nullptr, kNone, kNone, &kKeep},
    {kBrowse, 0, nullptr, kControlCommand, nullptr, &kChooseStampCommand, kNone, kNone, nullptr},
    {kAdvanced, 0, nullptr, kControlCommand, nullptr, &kOpenNestedCommand, kNone, kNone, nullptr},
    {kRangeLabel, 1, kCustomWidth, kControlStatic, RangeLabelHandler, nullptr, kNone, kNone, &kKeep},
};
constexpr INT kNoHelp[] = {0, 0};
constexpr ControlSet kPageSet{kPageRecords, static_cast<INT>(std::size(kPageRecords)), 0, kNoHelp, nullptr, 0};

constexpr ControlRecord kChildRecords[] = {
    {kCollate, 1, kCollateSetting, kControlCheckBox, nullptr, nullptr, kNone, kNone, nullptr},
    {kLandscape, 1, kOrientation, kControlCheckBox, nullptr, nullptr, kNone, kNone, nullptr},
};
constexpr ControlSet kChildSet{kChildRecords, 2, 0, kNoHelp, nullptr, 0};

constexpr ControlSet kCopiesSet{kChildRecords, 1, 0, kNoHelp, nullptr, 0};
constexpr ControlSet kLayoutSet{kChildRecords + 1, 1, 0, kNoHelp, nullptr, 0};

constexpr DialogDescriptor kPageDescriptor{kPageKind, &kPageSet, nullptr};
constexpr DialogDescriptor kChildDescriptor{kChildKind, &kChildSet, nullptr};
constexpr DialogDescriptor kCopiesDescriptor{kCopiesPageKind, &kCopiesSet, nullptr};
constexpr DialogDescriptor kLayoutDescriptor{kLayoutPageKind, &kLayoutSet, nullptr};
const DialogDescriptor* const kDescriptors[] = {&kPageDescriptor, &kChildDescriptor, &kCopiesDescriptor,
                                                &kLayoutDescriptor};

// ---- the printer ------------------------------------------------------------------------

// The demo database with the paper, feed and media settings of tray 1 and
// the media settings of the manual and automatic feeds.
json tray_records(size_t first_choice) {
  json records = json::array();
  size_t next = first_choice;
  auto item = [&](WORD id, const char* name, WORD type, std::vector<std::pair<const char*, LONG>> choices,
                  int flags = 1) {
    json ids = json::array();
    for (size_t i = 0; i < choices.size(); ++i) ids.push_back(next + i);
    records.push_back({{"kind", 4}, {"id", id}, {"name", name}, {"flags", flags}, {"default", 1}, {"choices", ids},
                       {"name2", name}});
    for (const auto& [text, value] : choices)
      records.push_back({{"kind", 14}, {"name", text}, {"value", {{"type", type}, {"value", value}}}});
    next += choices.size();
  };
  item(6145, "Tray 1 Paper", 3,
       {{"A4 (210 x 297 mm)", 9}, {"Letter (8.5 x 11 in)", 1}, {"No Paper", 273}, {"Tray Size (A5 Wide)", 275}});
  item(6160, "Tray 1 Feed", 2, {{"Long Edge", 1}, {"Short Edge", 2}});
  item(6175, "Tray 1 Media", 2,
       {{"Plain Paper", 1}, {"Labels\rHeavy Paper (106-163 g/m2) Sheets", 2}, {"Custom Type 1", 13}});
  item(6295, "Tray 1 Surface", 2, {{"Smooth", 1}, {"Recycled", 2}, {"None", 17}});
  item(388, "Manual Feed Media", 2, {{"Plain Paper", 1}, {"Envelope", 5}});
  item(453, "Automatic Media", 2, {{"Any Media", 0}, {"Plain Paper", 1}});
  item(265, "Input Tray", 2, {{"Tray 1", 1}, {"Manual Feed Slot", 4}});
  item(1863, "Custom Width", 2, {{"Narrowest", 900}, {"Widest", 3000}}, 4);
  item(295, "Pages per Sheet", 2,
       {{"1 page", 1}, {"2 pages", 2}, {"4 pages", 4}, {"8 pages", 8}, {"16 pages", 16}, {"32 pages", 32}});
  return records;
}

class SheetControls : public ::testing::Test {
 protected:
  morva::test::TempRoot root;
  HANDLE printer = nullptr;
  DddHandle* database = nullptr;
  std::vector<BYTE> dm, pd;
  SheetState state{};
  SheetContext* context = nullptr;

  void SetUp() override {
    namespace fs = std::filesystem;
    ui::reset();
    morva::platform::reset_message_boxes();
    json description;
    std::ifstream(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json") >> description;
    json& records = description["main"]["records"];
    size_t choices = 0;
    for (const json& r : records) choices += r["kind"] == 14 ? 1 : 0;
    // The fixture's tray items stand in the place of the database's own
    // items of the same ids (the first record of an id is the one read).
    for (json& r : tray_records(choices + 1)) {
      auto same = std::find_if(records.begin(), records.end(), [&](const json& d) {
        return r["kind"] == 4 && d["kind"] == 4 && d.contains("id") && d["id"] == r["id"];
      });
      if (same != records.end()) *same = r;
      else records.push_back(r);
    }
    // A rule the defaults cannot mend: collation is off while the duplex
    // unit is installed (a device setting, which restoring leaves alone),
    // and collation's default is on.
    size_t rules = 0;
    for (const json& r : records) rules += r["kind"] == 7 ? 1 : 0;
    records.push_back({{"kind", 7},
                       {"head", {{"op", 0}, {"value", {{"type", 3}, {"hex", ""}}}}},
                       {"flags", 3},
                       {"text", "Collation is not offered with the duplex unit"},
                       {"conditions", json::array({{{"ddmid", 4103}, {"op", 1}, {"value", {{"type", 1}, {"value", 1}}}, {"connector", 4}}})},
                       {"actions", json::array({{{"ddmid", 18}, {"value", {{"type", 2}, {"value", 0}}}}})}});
    for (json& r : records)
      if (r["kind"] == 14 && r["name"] == "On" && r.contains("rules")) r["rules"].push_back(rules + 1);
    // Paper sources: trays 1 and 2 of the demo database and the manual feed
    // are fitted; A4 is worded by its paper and media type. The tips of tray
    // 1 and the manual feed have a place on the device picture when their
    // settings hold 1.
    auto count = [&](int kind) {
      size_t n = 0;
      for (const json& r : records) n += r["kind"] == kind ? 1 : 0;
      return n;
    };
    const size_t dimensions = count(17), fitted = count(14);
    auto range = [&](int id, const char* name, int word) {
      return json{{"kind", 5}, {"id", id}, {"name", name}, {"dimension", dimensions + 3}, {"word", word},
                  {"ddmids", json::array()}, {"second", json::array()}};
    };
    records.push_back(range(4, "Manual Feed", 0));
    records.push_back(range(9, "A4", 3));
    records.push_back({{"kind", 17}, {"first", {10, 4}}, {"second", {40, 20}}});
    records.push_back({{"kind", 17}, {"first", {50, 4}}, {"second", {80, 20}}});
    records.push_back({{"kind", 17}, {"first", {0, 0}}, {"second", {3000, 3000}}});
    for (int i = 0; i < 2; ++i) {
      const int id = i ? 4613 : 4609;
      records.push_back({{"kind", 4}, {"id", id}, {"name", "Tray place"}, {"default", 1},
                         {"choices", {fitted + 1 + i}}, {"name2", "Tray place"}});
      records.push_back({{"kind", 14}, {"name", "Fitted"}, {"value", {{"type", 1}, {"value", 1}}},
                         {"dimension", dimensions + 1 + i}});
    }
    const std::string built = root.file("build/printer");
    fs::create_directories(built);
    std::ofstream(built + "/database.json") << description.dump();
    morva::ddd_build::build_file(built + "/database.json", built);
    morva::install::PrinterSetup setup;
    setup.name = u"Controls Printer";
    setup.database = built + "/MVDEMO.DDD";
    const std::string linked = morva::install::linked_database_name(setup.database);
    for (const auto& e : fs::directory_iterator(built)) {
      const std::string name = e.path().filename().string();
      if (name != "MVDEMO.DDD" && name != linked && name != "database.json") setup.files.push_back(e.path().string());
    }
    const auto installed = morva::install::install_printer(setup);
    ASSERT_TRUE(installed.ok) << installed.message;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    std::u16string name = setup.name;
    ASSERT_TRUE(OpenPrinterW(name.data(), &printer, &defaults));
    database = DddOpen(printer);
    ASSERT_NE(database, nullptr);
    fs::create_directories(root.file("drive_c/driver"));
    fs::copy_file(std::string(MORVA_BIN_DIR) + "/morvares.xrs", root.file("drive_c/driver/morvares.xrs"));
    morva::settings::set_module_directory_for_test(u"C:\\driver\\");
    ASSERT_NE(GetResourceModule(), nullptr);
    dm.assign(morva::ddm::kPrivateDevmodeSize, 0);
    pd.assign(morva::ddm::kPrinterDataSize, 0);
    ASSERT_TRUE(FillDefaultSettings(database, dm.data(), pd.data(), name.c_str()));
    state.printer = printer;
    state.database = database;
    state.can_edit = TRUE;
    state.dialog_tables = CreateDialogTables(kDescriptors, 4);
    ASSERT_NE(state.dialog_tables, nullptr);
  }
  void TearDown() override {
    ui::reset();
    morva::platform::reset_message_boxes();
    if (context) DestroySheetContext(&context);
    if (state.dialog_tables) DestroyDialogTables(state.dialog_tables);
    if (state.summary_icons) GlobalFree(state.summary_icons);
    ReleaseResourceModule();
    morva::settings::set_module_directory_for_test(nullptr);
    if (database) DddClose(database);
    if (printer) ClosePrinter(printer);
  }

  void set(WORD ddmid, LONG value) { morva::test::put(dm.data(), pd.data(), ddmid, value); }
  // The settings as the dialog left them.
  LONG value(WORD ddmid) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    EXPECT_EQ(GetItemValue(ddmid, context->current.devmode, context->current.printer_data, &type, &size, &v), 0);
    return GetTypedValue(type, &v);
  }
  // Opens the test dialog on the settings `dm` / `pd`; the script acts on it.
  INT_PTR run(ui::ModalScript script) {
    if (context) DestroySheetContext(&context);
    SheetSnapshot snapshot{dm.data(), pd.data(), nullptr, 0, nullptr, nullptr, 0};
    context = CreateSheetContext(nullptr, &state, &snapshot, nullptr);
    EXPECT_NE(context, nullptr);
    ui::script_modal(std::move(script));
    return DialogBoxParamW(GetResourceModule(), MAKEINTRESOURCEW(kPageTemplate), nullptr,
                           EngineDialogProc<kPageKind, kDialogTypeDialog>, reinterpret_cast<LPARAM>(context));
  }
};

INT check(HWND dialog, INT id) { return ui::state(ui::find(dialog, id)).check; }

// ---- buttons ----------------------------------------------------------------------------

TEST_F(SheetControls, ControlsShowTheirSettingsWhenTheDialogOpens) {
  set(13, 4);
  set(6175, 2);
  run([](HWND dialog) {
    EXPECT_EQ(check(dialog, kPortrait), BST_CHECKED);
    EXPECT_EQ(check(dialog, kLandscape), BST_UNCHECKED);
    EXPECT_EQ(check(dialog, kCollate), BST_CHECKED);
    EXPECT_EQ(ui::text(ui::find(dialog, kSourceText)), u"Manual Feed");
    EXPECT_EQ(ui::text(ui::find(dialog, kStringText)), u"On");
    // The title is what follows the choice text's carriage return.
    EXPECT_EQ(ui::text(ui::find(dialog, kTitle)), u"Heavy Paper (106-163 g/m2) Sheets");
    EXPECT_EQ(ui::text(ui::find(dialog, kUnitLabel)), u"mm");
    EXPECT_EQ(check(dialog, kMillimetres), BST_CHECKED);
    ui::press_cancel(dialog);
  });
  // A title whose choice has no carriage return is empty.
  set(6175, 1);
  run([](HWND dialog) {
    EXPECT_EQ(ui::text(ui::find(dialog, kTitle)), u"");
    ui::press_cancel(dialog);
  });
}

// A check box whose setting holds a value that is none of its choices
// keeps the mark it has.
TEST_F(SheetControls, CheckBoxFollowsItsTwoChoicesOnly) {
  struct Case {
    LONG collate;
    INT shown;
  } const cases[] = {{1, BST_CHECKED}, {0, BST_UNCHECKED}, {7, BST_UNCHECKED}};
  for (const Case& c : cases) {
    set(18, c.collate);
    run([&](HWND dialog) {
      EXPECT_EQ(check(dialog, kCollate), c.shown) << c.collate;
      ui::press_cancel(dialog);
    });
  }
}

// Landscape conflicts with the manual feed: the question answered with
// Cancel refuses the click, and the portrait button is checked again.
TEST_F(SheetControls, RadioClickTheRulesRefuseRechecksTheStoredChoice) {
  set(13, 4);
  morva::platform::script_message_box_answers({IDCANCEL});
  run([](HWND dialog) {
    EXPECT_TRUE(ui::click(ui::find(dialog, kLandscape)));
    EXPECT_EQ(check(dialog, kPortrait), BST_CHECKED);
    EXPECT_EQ(check(dialog, kLandscape), BST_UNCHECKED);
    ui::press_ok(dialog);
  });
  EXPECT_EQ(morva::platform::message_box_log().size(), 1u);
  EXPECT_EQ(value(7), 1);
  // Without the conflict the click is stored.
  set(13, 7);
  morva::platform::reset_message_boxes();
  run([](HWND dialog) {
    EXPECT_TRUE(ui::click(ui::find(dialog, kLandscape)));
    EXPECT_EQ(check(dialog, kPortrait), BST_UNCHECKED);
    EXPECT_TRUE(ui::click(ui::find(dialog, kOk)));
  });
  EXPECT_TRUE(morva::platform::message_box_log().empty());
  EXPECT_EQ(value(7), 2);
}

// A child dialog works on a copy: Cancel after a change leaves the opener's
// settings and controls as they were, OK brings the change back.
TEST_F(SheetControls, ChildDialogCancelledAfterAChangeRestoresTheSettings) {
  struct Case {
    INT button;
    LONG collate, orientation;
    INT landscape_shown;
  } const cases[] = {{kCancel, 1, 1, BST_UNCHECKED}, {kOk, 0, 2, BST_CHECKED}};
  for (const Case& c : cases) {
    run([&](HWND dialog) {
      ui::script_modal([&](HWND child) {
        EXPECT_TRUE(ui::click(ui::find(child, kCollate)));
        EXPECT_TRUE(ui::click(ui::find(child, kLandscape)));
        EXPECT_EQ(check(child, kLandscape), BST_CHECKED);
        EXPECT_TRUE(ui::click(ui::find(child, c.button)));
      });
      EXPECT_TRUE(ui::click(ui::find(dialog, kDetails)));
      EXPECT_EQ(check(dialog, kLandscape), c.landscape_shown) << c.button;
      EXPECT_EQ(check(dialog, kCollate), c.collate ? BST_CHECKED : BST_UNCHECKED) << c.button;
      EXPECT_TRUE(ui::click(ui::find(dialog, kOk)));
    });
    EXPECT_EQ(value(18), c.collate) << c.button;
    EXPECT_EQ(value(7), c.orientation) << c.button;
  }
}

// The nested sheet opens at the page its command names, with its caption;
// OK brings its change back to the opener, Cancel leaves the opener alone.
TEST_F(SheetControls, NestedSheetOpensAtItsStartPageAndWorksOnACopy) {
  struct Case {
    bool ok;
    LONG orientation;
  } const cases[] = {{true, 2}, {false, 1}};
  for (const Case& c : cases) {
    run([&](HWND dialog) {
      bool seen = false;
      ui::script_modal([&](HWND sheet) {
        seen = true;
        EXPECT_EQ(ui::text(sheet), u"Advanced Options");
        EXPECT_EQ(ui::find(sheet, kCollate), nullptr);
        EXPECT_TRUE(ui::click(ui::find(sheet, kLandscape)));
        EXPECT_TRUE(c.ok ? ui::press_ok(sheet) : ui::press_cancel(sheet));
      });
      EXPECT_TRUE(ui::click(ui::find(dialog, kAdvanced)));
      EXPECT_TRUE(seen);
      EXPECT_EQ(check(dialog, kLandscape), c.orientation == 2 ? BST_CHECKED : BST_UNCHECKED) << c.ok;
      EXPECT_TRUE(ui::click(ui::find(dialog, kOk)));
    });
    EXPECT_EQ(value(7), c.orientation) << c.ok;
  }
}

// Restoring defaults with a two-sided setting the button keeps: collation
// comes back on, which short-edge binding forbids, so the self-check
// changes more and the user is asked; declining puts everything back.
TEST_F(SheetControls, RestoreDefaultsConfirmedAndDeclined) {
  struct Case {
    INT answer;
    LONG orientation, collate, two_sided;
  } const cases[] = {{IDOK, 1, 1, 1}, {IDCANCEL, 2, 0, 3}};
  for (const Case& c : cases) {
    set(7, 2);
    set(16, 3);
    set(18, 0);
    morva::platform::reset_message_boxes();
    morva::platform::script_message_box_answers({c.answer});
    run([&](HWND dialog) {
      EXPECT_TRUE(ui::click(ui::find(dialog, kDefaults)));
      EXPECT_EQ(check(dialog, kPortrait), c.orientation == 1 ? BST_CHECKED : BST_UNCHECKED) << c.answer;
      EXPECT_EQ(check(dialog, kCollate), c.collate ? BST_CHECKED : BST_UNCHECKED) << c.answer;
      EXPECT_TRUE(ui::click(ui::find(dialog, kOk)));
    });
    const auto log = morva::platform::message_box_log();
    ASSERT_EQ(log.size(), 1u) << c.answer;
    EXPECT_EQ(value(7), c.orientation) << c.answer;
    EXPECT_EQ(value(18), c.collate) << c.answer;
    EXPECT_EQ(value(16), c.two_sided) << c.answer;
  }
}

// When the self-check keeps failing on what the defaults bring back, the
// restore ends (rather than checking again for ever) and every setting is
// as it was before the button was pressed.
TEST_F(SheetControls, RestoreDefaultsEndsWhenTheSelfCheckCannotSettle) {
  set(4103, 1);
  set(7, 2);
  set(18, 0);
  run([](HWND dialog) {
    EXPECT_TRUE(ui::click(ui::find(dialog, kDefaults)));
    EXPECT_EQ(check(dialog, kLandscape), BST_CHECKED);
    EXPECT_EQ(check(dialog, kCollate), BST_UNCHECKED);
    EXPECT_TRUE(ui::click(ui::find(dialog, kOk)));
  });
  EXPECT_EQ(value(7), 2);
  EXPECT_EQ(value(18), 0);
  EXPECT_EQ(value(4103), 1);
  // The self-check's own error box says which setting kept failing; no
  // confirmation was asked.
  const auto log = morva::platform::message_box_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].style & MB_ICONERROR, static_cast<UINT>(MB_ICONERROR));
}

TEST_F(SheetControls, RestoreDefaultsWithoutConflictsAsksNothing) {
  set(7, 2);
  set(18, 0);
  run([](HWND dialog) {
    EXPECT_TRUE(ui::click(ui::find(dialog, kDefaults)));
    EXPECT_EQ(check(dialog, kPortrait), BST_CHECKED);
    EXPECT_EQ(check(dialog, kCollate), BST_CHECKED);
    EXPECT_TRUE(ui::click(ui::find(dialog, kOk)));
  });
  EXPECT_TRUE(morva::platform::message_box_log().empty());
  EXPECT_EQ(value(7), 1);
  EXPECT_EQ(value(18), 1);
}

TEST_F(SheetControls, UnitRadioRelabelsTheUnitAndRangeLabels) {
  run([](HWND dialog) {
    EXPECT_EQ(ui::text(ui::find(dialog, kRangeLabel)), u"Custom Width (90.0 - 300.0 mm):");
    EXPECT_TRUE(ui::click(ui::find(dialog, kInches)));
    EXPECT_EQ(ui::text(ui::find(dialog, kUnitLabel)), u"inch");
    EXPECT_EQ(ui::text(ui::find(dialog, kRangeLabel)), u"Custom Width (3.54 - 11.81 inch):");
    EXPECT_EQ(check(dialog, kInches), BST_CHECKED);
    EXPECT_TRUE(ui::click(ui::find(dialog, kMillimetres)));
    EXPECT_EQ(ui::text(ui::find(dialog, kUnitLabel)), u"mm");
    ui::press_cancel(dialog);
  });
}

// In a sheet the user may not change, a push button in conflict is shown
// disabled, a hidden setting hides it, and an available one stays usable.
TEST_F(SheetControls, ReadOnlySheetKeepsAvailablePushButtonsUsable) {
  state.can_edit = FALSE;
  run([](HWND dialog) {
    const auto button = ui::state(ui::find(dialog, kTwoSidedButton));
    EXPECT_TRUE(button.visible);
    EXPECT_TRUE(button.enabled);
    EXPECT_FALSE(ui::state(ui::find(dialog, kCollate)).enabled);
    EXPECT_TRUE(ui::state(ui::find(dialog, kDetails)).enabled);
    ui::press_cancel(dialog);
  });
}

// A name longer than its limit is refused with message 448 and the file
// dialog opens again; the accepted name goes to the settings without its
// extension, beside its folder.
TEST_F(SheetControls, FileCommandRefusesALongNameAndAsksAgain) {
  morva::platform::reset_common_dialogs();
  morva::platform::script_common_dialog_answers(
      {{true, u"C:\\stamps\\company-logo.bmp"}, {true, u"C:\\stamps\\logo.bmp"}});
  run([](HWND dialog) {
    EXPECT_TRUE(ui::click(ui::find(dialog, kBrowse)));
    EXPECT_TRUE(ui::click(ui::find(dialog, kOk)));
  });
  EXPECT_EQ(morva::platform::common_dialog_log().size(), 2u);
  const auto boxes = morva::platform::message_box_log();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find(u"at most 8 characters"), std::u16string::npos) << std::string(boxes[0].text.begin(), boxes[0].text.end());
  EXPECT_EQ(morva::test::text(context->current.devmode, context->current.printer_data, 338), u"logo");
  EXPECT_EQ(morva::test::text(context->current.devmode, context->current.printer_data, 1829), u"C:\\stamps");
  // Cancelled, nothing changes.
  morva::platform::reset_common_dialogs();
  run([](HWND dialog) {
    EXPECT_TRUE(ui::click(ui::find(dialog, kBrowse)));
    EXPECT_TRUE(ui::click(ui::find(dialog, kOk)));
  });
  EXPECT_EQ(morva::platform::common_dialog_log().size(), 1u);
  EXPECT_EQ(morva::test::text(context->current.devmode, context->current.printer_data, 338), u"");
}

// A control shown in a pair follows the other control's current setting
// and value; the rebuilt choice list of a setting is there again after.
TEST_F(SheetControls, ControlPairsAndRebuiltChoiceLists) {
  struct Case {
    LONG collate;
    bool shown;
  } const cases[] = {{1, true}, {0, false}};
  for (const Case& c : cases) {
    set(18, c.collate);
    run([&](HWND dialog) {
      ControlEvent event{};
      event.window = dialog;
      event.kind = kPageKind;
      const ControlRecord* shown = FindControlById(dialog, kPageKind, kStringText);
      ASSERT_NE(shown, nullptr);
      const ControlPairInfo info{kCollate, 18, 1, 1, kLabel};
      ASSERT_EQ(ShowControlPair(&event, dialog, shown, &info), 1);
      EXPECT_EQ(ui::state(ui::find(dialog, kStringText)).visible, c.shown) << c.collate;
      EXPECT_EQ(ui::state(ui::find(dialog, kLabel)).visible, c.shown) << c.collate;
      const ControlPairInfo missing{kCollate, 18, 1, 1, 4242};
      EXPECT_EQ(ShowControlPair(&event, dialog, shown, &missing), 0);
      const ControlRecord* tray = FindControlById(dialog, kPageKind, kTrayList);
      ASSERT_EQ(RefreshItemInfo(dialog, tray, 13), 1);
      ASSERT_NE(GetItemInfo(dialog, 13), nullptr);
      EXPECT_EQ(GetItemInfo(dialog, 13)->count, 3);
      EXPECT_EQ(RefreshItemInfo(dialog, tray, 4242), 0);
      ui::press_cancel(dialog);
    });
  }
}

// ---- label texts ------------------------------------------------------------------------

TEST_F(SheetControls, LabelTextsDoubleAmpersandsAndPlaceTheAccessKey) {
  struct Case {
    const char16_t* text;
    INT access;
    INT suffix;
    const char16_t* inserted;
    const char16_t* label;
  } const cases[] = {
      {u"Paper & Quality", 7990, 466, nullptr, u"Paper && &Quality:"},
      {u"Paper & quality", 7990, kNone, u" (1-9)", u"Paper && &quality (1-9)"},
      {u"Paper & Tray", 7991, 466, nullptr, u"Paper && Tray(&Z):"},
      {u"Tone", kNone, kNone, nullptr, u"Tone"},
  };
  WCHAR out[kLabelTextChars];
  for (const Case& c : cases) {
    ASSERT_EQ(BuildLabelText(GetResourceModule(), out, c.text, c.access, c.suffix, c.inserted), 1);
    EXPECT_EQ(std::u16string(out), c.label);
  }
  ASSERT_EQ(BuildLabelTextFromString(GetResourceModule(), out, 7992, 7990, 466, nullptr), 1);
  EXPECT_EQ(std::u16string(out), u"Print &&&Quality:");
}

// However many "&" the text holds, the label stays within its buffer and
// never ends in half of a doubled pair.
TEST_F(SheetControls, LabelTextOfManyAmpersandsIsBounded) {
  for (size_t n : {126u, 127u, 300u, 1000u}) {
    const std::u16string text(n, u'&');
    std::vector<WCHAR> out(kLabelTextChars + 8, u'#');
    ASSERT_EQ(BuildLabelText(GetResourceModule(), out.data(), text.c_str(), 7991, 466, u"inserted"), 1);
    const std::u16string label(out.data());
    EXPECT_EQ(out[kLabelTextChars], u'#') << n;
    const size_t amps = label.find_first_not_of(u'&');
    EXPECT_EQ(amps % 2, 0u) << n;
    EXPECT_LE(amps, 253u) << n;
    EXPECT_EQ(label.substr(amps), u"inserted(&Z):") << n;
  }
}

// ---- tooltips and summary icons ------------------------------------------------------------

TEST_F(SheetControls, TooltipsOverControlsShowUpdateAndDisappear) {
  run([](HWND dialog) {
    HWND tip = CreateTooltipWindow(dialog, 256);
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(SendMessageW(tip, TTM_GETMAXTIPWIDTH, 0, 0), 256);
    HWND picture = ui::find(dialog, kPicture);
    RECT r{};
    GetWindowRect(picture, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(AddTooltip(dialog, tip, 41, TTF_SUBCLASS, nullptr), 0);
    ASSERT_EQ(AddTooltip(dialog, tip, 41, TTF_SUBCLASS, u"Paper: A4"), 1);
    ASSERT_EQ(SetTooltipRect(dialog, tip, 41, TTF_SUBCLASS, r.left, r.top, r.right, r.bottom), 1);
    EXPECT_EQ(ui::hover(picture), u"Paper: A4");
    ASSERT_EQ(UpdateTooltipText(dialog, tip, 41, TTF_SUBCLASS, u"Paper: Letter"), 1);
    EXPECT_EQ(ui::hover(picture), u"Paper: Letter");
    SetTooltipRect(dialog, tip, 41, TTF_SUBCLASS, 0, 0, 0, 0);
    EXPECT_EQ(ui::hover(picture), u"");
    ui::press_cancel(dialog);
  });
}

TEST_F(SheetControls, TrayTipsNameEachInstalledTraysPaperOverTheDevicePicture) {
  set(4609, 1);
  set(4613, 1);
  set(6145, 9);
  set(6175, 1);
  run([&](HWND dialog) {
    auto tip = [&](UINT tool, RECT* rect) {
      WCHAR text[128] = {};
      TOOLINFOW info{};
      info.cbSize = sizeof info;
      info.hwnd = dialog;
      info.uId = tool;
      info.lpszText = text;
      EXPECT_TRUE(SendMessageW(state.page_tooltip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&info))) << tool;
      *rect = info.rect;
      SendMessageW(state.page_tooltip, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&info));
      return std::u16string(text);
    };
    EXPECT_EQ(CreateTrayTooltips(dialog), 0);  // no page tooltip window yet
    state.page_tooltip = CreateTooltipWindow(dialog, 256);
    ASSERT_EQ(CreateTrayTooltips(dialog), 1);
    EXPECT_EQ(static_cast<TrayTooltipRecord*>(state.scratch)->installed, 0x805u);
    ASSERT_EQ(AddTrayTools(dialog), 1);
    // Only the fitted trays have tools (none for tray 265).
    EXPECT_EQ(SendMessageW(state.page_tooltip, TTM_GETTOOLCOUNT, 0, 0), 3);
    ControlEvent event{};
    event.window = dialog;
    event.devmode = context->current.devmode;
    event.printer_data = context->current.printer_data;
    ASSERT_EQ(UpdateTrayTooltips(&event, dialog), 1);
    RECT picture{};
    GetWindowRect(ui::find(dialog, 1187), &picture);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&picture), 2);
    RECT rect{};
    EXPECT_EQ(tip(1, &rect), u"A4 (210 x 297 mm) Plain Paper");
    EXPECT_EQ(rect.left, picture.left + 10);
    EXPECT_EQ(rect.bottom, picture.top + 20);
    EXPECT_EQ(tip(4, &rect), u"Manual Feed Slot");
    EXPECT_EQ(rect.left, picture.left + 50);
    // Tray 2 is fitted, but its setting gives its tip no place.
    tip(2, &rect);
    EXPECT_TRUE(IsRectEmpty(&rect));
    // A tray whose setting is 0 has no place for its tip.
    morva::test::put(context->current.devmode, context->current.printer_data, 4609, 0);
    ASSERT_EQ(UpdateTrayTooltips(&event, dialog), 1);
    tip(1, &rect);
    EXPECT_TRUE(IsRectEmpty(&rect));
    ui::press_cancel(dialog);
  });
  FreeSheetScratch(&state);
}

TEST_F(SheetControls, SummaryIconTextsSpellOutTheirSettings) {
  PreviewSettings s;
  s.orientation = 2;
  s.flag18 = 1;
  SummaryIconSet set{};
  ASSERT_EQ(BuildSummaryIconTexts(database, dm.data(), &s, &set), 1);
  EXPECT_EQ(std::u16string(set.icons[0].text), u"Orientation: Landscape");
  EXPECT_EQ(set.icons[0].shown, 1u);
  EXPECT_EQ(std::u16string(set.icons[1].text), u"Collate: On");
  for (INT i = 2; i < kSummaryIconCount; ++i) EXPECT_EQ(set.icons[i].shown, 0u) << i;
  // A value the setting does not offer empties that icon and stops.
  s.orientation = 9;
  EXPECT_EQ(BuildSummaryIconTexts(database, dm.data(), &s, &set), 0);
  EXPECT_EQ(set.icons[0].shown, 0u);
}

TEST_F(SheetControls, SummaryIconsStandInTwoColumnsOverThePicture) {
  run([&](HWND dialog) {
    ControlEvent event{};
    event.window = dialog;
    event.type = kDialogTypeDialog;
    ASSERT_EQ(CreateSummaryIcons(&event), 1);
    ASSERT_NE(state.dialog_tooltip, nullptr);
    ASSERT_EQ(UpdateSummaryIcons(&event, kPicture), 1);
    RECT picture{};
    GetWindowRect(ui::find(dialog, kPicture), &picture);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&picture), 2);
    for (UINT i : {0u, 1u}) {
      TOOLINFOW info{};
      info.cbSize = sizeof info;
      info.hwnd = dialog;
      info.uId = kSummaryIconFirstTool + i;
      ASSERT_TRUE(SendMessageW(state.dialog_tooltip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&info)));
      EXPECT_EQ(info.rect.left, picture.left + 2) << i;
      EXPECT_EQ(info.rect.top, picture.top + static_cast<LONG>(i) * 32) << i;
      EXPECT_EQ(info.rect.right - info.rect.left, 32) << i;
    }
    ui::press_cancel(dialog);
  });
}

// ---- tray and option list rows -------------------------------------------------------------

// The paper column of the tray row holds the feed icon and the paper text
// unless the tray holds no paper (273).
TEST_F(SheetControls, TrayRowWithoutPaperLeavesItsPaperColumnEmpty) {
  struct Case {
    LONG paper;
    bool drawn;
  } const cases[] = {{9, true}, {273, false}, {275, true}};
  for (const Case& c : cases) {
    set(6145, c.paper);
    run([&](HWND dialog) {
      HWND list = ui::find(dialog, kTrayList);
      RECT row{};
      ASSERT_NE(SendMessageW(list, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row)), LB_ERR);
      HDC dc = CreateCompatibleDC(nullptr);
      HBITMAP bitmap = CreateCompatibleBitmap(GetDC(nullptr), row.right, row.bottom);
      HGDIOBJ old = SelectObject(dc, bitmap);
      DRAWITEMSTRUCT item{ODT_LISTBOX, static_cast<UINT>(kTrayList), 1, ODA_DRAWENTIRE, 0, list, dc, row, 0};
      SendMessageW(dialog, WM_DRAWITEM, kTrayList, reinterpret_cast<LPARAM>(&item));
      RECT paper_column{0, row.top, 0, row.bottom};
      RECT units{71, 0, 123, 0};
      MapDialogRect(dialog, &units);
      paper_column.left = units.left;
      paper_column.right = units.right;
      bool ink = false;
      for (LONG y = paper_column.top; y < paper_column.bottom && !ink; ++y)
        for (LONG x = paper_column.left; x < paper_column.right && !ink; ++x) ink = GetPixel(dc, x, y) != GetSysColor(COLOR_WINDOW);
      EXPECT_EQ(ink, c.drawn) << c.paper;
      SelectObject(dc, old);
      DeleteObject(bitmap);
      DeleteDC(dc);
      ui::press_cancel(dialog);
    });
  }
}

TEST_F(SheetControls, ChoiceIconsFollowTheOrientation) {
  struct Case {
    LONG orientation, layout, pages;
    WORD (*callback)(INT, const LONG*, void*, void*);
    LONG key;
    WORD icon;
  } const cases[] = {
      {1, 0, 1, ChoiceIconFor295, 2, 2358}, {2, 0, 1, ChoiceIconFor295, 2, 2359},
      {3, 0, 1, ChoiceIconFor295, 2, 0},    {2, 0, 1, ChoiceIconFor264, 1, 2371},
      {1, 0, 1, ChoiceIconFor264, 0, 0},    {1, 0, 1, ChoiceIconFor270, 2, 2378},
      {1, 0, 1, ChoiceIconFor291, 6, 2404}, {1, 0, 1, ChoiceIconFor291, 1, 0},
      {1, 0, 1, ChoiceIconByLayout, 1, 2354},  // one page per sheet keeps portrait
      {1, 0, 2, ChoiceIconByLayout, 1, 2405},  // two pages turn the sheet
      {1, 2, 2, ChoiceIconByLayout, 3, 2356},  // unless the layout mode is 2
  };
  for (const Case& c : cases) {
    set(7, c.orientation);
    set(321, c.layout);
    set(295, c.pages);
    EXPECT_EQ(c.callback(1351, &c.key, dm.data(), pd.data()), c.icon) << c.orientation << " " << c.key;
  }
  const LONG key = 1;
  EXPECT_EQ(ChoiceIconFor295(1351, &key, nullptr, pd.data()), 0);
  EXPECT_EQ(IsIconListControl(1225), 1);
  EXPECT_EQ(IsIconListControl(1046), 0);
}

// A picture of the dialog with every control kind: radio buttons, check
// box, push buttons, statics and title, unit radios, the owner-drawn tray
// list (paper, feed icon, media) and option list (name and value columns),
// left under the build's pictures/ for looking at.
TEST_F(SheetControls, PictureOfTheControls) {
  set(13, 4);
  set(295, 4);
  set(6145, 275);
  set(6190, 1480);
  set(6205, 2100);
  set(6175, 2);
  state.capabilities.words[1] = 1u << (0x36 - 32);
  const std::string folder = std::string(MORVA_BIN_DIR) + "/pictures";
  std::filesystem::create_directories(folder);
  bool written = false;
  run([&](HWND dialog) {
    WCHAR label[kLabelTextChars];
    ASSERT_EQ(BuildLabelText(GetResourceModule(), label, u"Paper & Quality", 7990, 466, nullptr), 1);
    SetWindowTextW(ui::find(dialog, kLabel), label);
    written = ui::write_png(dialog, folder + "/sheet-controls.png");
    ui::press_cancel(dialog);
  });
  EXPECT_TRUE(written);
}

}  // namespace
