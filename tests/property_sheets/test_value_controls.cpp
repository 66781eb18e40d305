// The list, edit and range controls of the sheet engine in a real dialog
// made from a template, bound to the demo printer's settings and driven
// through the window system as a user would: numbers typed in millimetres
// and inches with either decimal separator, values outside their range and
// the message that says so, spinning past the ends of a range, a trackbar
// that stores when its tracking ends, the keys of list boxes, and an
// editable drop-down list checked as a number.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "../settings/setting_values.h"
#include "ddd_builder.h"
#include "fax/key_list.h"
#include "printer_install.h"
#include "property_sheets/control_data.h"
#include "property_sheets/sheet_engine.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_file.h"
#include "settings/items/default_settings.h"
#include "settings/items/item_info.h"
#include "settings/constraints/conflict_report.h"
#include "temp_root.h"
#include "win/win.h"
#include "xrs_compiler.h"

namespace morva::settings {
void set_module_directory_for_test(LPCWSTR directory);
}

namespace {

namespace ui = morva::platform::ui;
using morva::test::number;
using morva::test::put;

constexpr char16_t kPrinter[] = u"Morva Demo Printer";
constexpr INT kKind = 2;  // a dialog kind no sheet uses

// Controls of the template VALUE_CONTROLS_TEST.
constexpr INT kWidth = 1101, kCopies = 1103, kCopiesSpin = 1104, kOffsetTrack = 1105, kOffsetBar = 1106;
constexpr INT kToneList = 1107, kSwitchList = 1108, kPaperList = 1109, kFontSize = 1110, kUserName = 1111;

// ---- the dialog's tables ----

constexpr SettingRef kWidthRef[] = {Bound(1863)};
constexpr SettingRef kCopiesRef[] = {Bound(12)};
constexpr SettingRef kTrackRef[] = {Bound(309)};
constexpr SettingRef kBarRef[] = {Bound(309)};
constexpr SettingRef kToneRef[] = {Bound(288)};
constexpr SettingRef kSwitchRefs[] = {Bound(18), Bound(1370)};
constexpr SettingRef kPaperRef[] = {Bound(8)};
constexpr SettingRef kFontRef[] = {Bound(306)};
constexpr SettingRef kNameRef[] = {Bound(5147)};

constexpr UnitRecord kTenths{1, 0};
constexpr UnitRecord kWhole{0, 0};
constexpr EditFieldData kWidthField{kEditNumeric | kEditFixedPoint | kEditLength, 8, nullptr, &kTenths, 0xFFFF,
                                    nullptr};
constexpr EditFieldData kCopiesField{kEditNumeric, 3, nullptr, &kWhole, 0xFFFF, nullptr};
constexpr TextRule kNameRule{{nullptr, nullptr, nullptr, nullptr}, 743};
constexpr EditFieldData kNameField{kEditText, 8, &kNameRule, nullptr, 0xFFFF, nullptr};
constexpr EditFieldData kFontField{kEditNumeric, 3, nullptr, &kWhole, 0xFFFF, nullptr};
constexpr UpDownData kSpin{0};
constexpr TrackbarData kTrack{25, 25, 0};
constexpr ScrollBarData kBar{1, 10};
constexpr ListControlData kToneList_{kListChoices, 0, 0, 0, nullptr, nullptr, nullptr, nullptr};
constexpr ListControlData kSwitches{kListSettings, kRowName | kRowValue, 80, kListStepOnDoubleClick | kListOnOff,
                                    nullptr, nullptr, nullptr, nullptr};
constexpr ListControlData kPapers{kListChoices, 0, 0, kListConflictIcons, nullptr, nullptr, nullptr, nullptr};
constexpr ListControlData kFonts{kListChoices, 0, 0, kListEditable, &kFontField, nullptr, nullptr, nullptr};

constexpr ControlRecord kRecords[] = {
    {kDialogRecordId, 0, nullptr, 0, nullptr, nullptr, kNone, kNone, nullptr},
    {kWidth, 1, kWidthRef, kControlEdit, nullptr, &kWidthField, kNone, kNone, nullptr},
    {kCopies, 1, kCopiesRef, kControlEdit, nullptr, &kCopiesField, kNone, kNone, nullptr},
    {kCopiesSpin, 1, kCopiesRef, kControlUpDown, nullptr, &kSpin, kNone, kNone, nullptr},
    {kOffsetTrack, 1, kTrackRef, kControlTrackbar, nullptr, &kTrack, kNone, kNone, nullptr},
    {kOffsetBar, 1, kBarRef, kControlScrollBar, nullptr, &kBar, kNone, kNone, nullptr},
    {kToneList, 1, kToneRef, kControlListBox, nullptr, &kToneList_, kNone, kNone, nullptr},
    {kSwitchList, 2, kSwitchRefs, kControlListBox, nullptr, &kSwitches, kNone, kNone, nullptr},
    {kPaperList, 1, kPaperRef, kControlDropDown, nullptr, &kPapers, kNone, kNone, nullptr},
    {kFontSize, 1, kFontRef, kControlDropDown, nullptr, &kFonts, kNone, kNone, nullptr},
    {kUserName, 1, kNameRef, kControlEdit, nullptr, &kNameField, kNone, kNone, nullptr},
};
constexpr INT kNoHelp[] = {0, 0};

// The demo printer's database with number items for the fields: the custom
// width, copies, an offset from -900 to 900 and a font size list.
nlohmann::json test_database(bool with_text) {
  std::ifstream in(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json");
  nlohmann::json d = nlohmann::json::parse(in);
  d["main"]["fields"]["4"] = 99;  // the most copies
  auto& records = d["main"]["records"];
  int choices = 0;
  for (const auto& r : records)
    if (r["kind"] == 14) ++choices;
  auto number_item = [&](int id, const char* name, int type, int low, int high) {
    records.push_back({{"kind", 4}, {"id", id}, {"name", name}, {"flags", 4}, {"default", 1}, {"choices", {choices + 1, choices + 2}}});
    records.push_back({{"kind", 14}, {"name", "minimum"}, {"value", {{"type", type}, {"value", low}}}});
    records.push_back({{"kind", 14}, {"name", "maximum"}, {"value", {{"type", type}, {"value", high}}}});
    choices += 2;
  };
  number_item(1863, "Custom Width", 2, 900, 3048);
  number_item(12, "Copies", 2, 1, 99);
  number_item(309, "Offset", 10, -900, 900);
  // A name of 1 to 8 characters (the database gives it no default: the
  // settings start from a database without it).
  if (with_text) {
    records.push_back({{"kind", 4}, {"id", 5147}, {"name", "User Name"}, {"flags", 6},
                       {"choices", {choices + 1, choices + 2}}});
    for (int bound : {1, 8})
      records.push_back({{"kind", 14}, {"name", std::to_string(bound)}, {"value", {{"type", 3}, {"value", bound}}}});
    choices += 2;
  }
  records.push_back({{"kind", 4}, {"id", 306}, {"name", "Font Size"}, {"default", 2},
                     {"choices", {choices + 1, choices + 2, choices + 3}}});
  for (int size : {8, 10, 12})
    records.push_back({{"kind", 14}, {"name", std::to_string(size)}, {"value", {{"type", 10}, {"value", size}}}});
  return d;
}

// The resource module with the decimal separator `separator`.
std::vector<std::string> resource_sources(const morva::test::TempRoot& root, const std::string& separator) {
  namespace fs = std::filesystem;
  std::vector<std::string> sources;
  for (const auto& e : fs::directory_iterator(std::string(MORVA_SOURCE_DIR) + "/resources/morvares")) {
    if (e.path().extension() != ".json" || e.path().filename() == "strings_settings.json") continue;
    sources.push_back(e.path().string());
  }
  std::ifstream in(std::string(MORVA_SOURCE_DIR) + "/resources/morvares/strings_settings.json");
  nlohmann::json strings = nlohmann::json::parse(in);
  for (auto& table : strings["strings"]) table["table"]["9241"] = separator;
  const std::string path = root.file("sources/strings_settings.json");
  fs::create_directories(root.file("sources"));
  std::ofstream(path) << strings.dump();
  sources.push_back(path);
  return sources;
}

class ValueControls : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    ui::reset();
    morva::platform::reset_message_boxes();
    const std::string built = root_.file("build/demo_printer");
    fs::create_directories(built);
    morva::ddd_build::write_images(morva::ddd_build::build_images(test_database(true)), built);
    morva::install::PrinterSetup setup;
    setup.name = kPrinter;
    setup.database = built + "/MVDEMO.DDD";
    const std::string linked = morva::install::linked_database_name(setup.database);
    for (const auto& e : fs::directory_iterator(built)) {
      const std::string name = e.path().filename().string();
      if (name != "MVDEMO.DDD" && name != linked) setup.files.push_back(e.path().string());
    }
    const auto installed = morva::install::install_printer(setup);
    ASSERT_TRUE(installed.ok) << installed.message;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    std::u16string name = kPrinter;
    ASSERT_TRUE(OpenPrinterW(name.data(), &printer_, &defaults));
    database_ = DddOpen(printer_);
    ASSERT_NE(database_, nullptr);
    devmode_.assign(morva::ddm::kPrivateDevmodeSize, 0);
    printer_data_.assign(morva::ddm::kPrinterDataSize, 0);
    morva::ddd_build::write_images(morva::ddd_build::build_images(test_database(false)), root_.file("drive_c/plain"));
    DddStatus status = 0;
    DddHandle* plain = DddOpenPath(u"C:\\plain\\MVDEMO.DDD", &status);
    ASSERT_NE(plain, nullptr) << status;
    EXPECT_TRUE(FillDefaultSettings(plain, devmode_.data(), printer_data_.data(), kPrinter));
    DddClose(plain);
    set(1863, 1500);
    set(12, 20);
    set(309, 0);
    set(306, 10);
  }
  void TearDown() override {
    close();
    resources_.reset();
    morva::settings::set_module_directory_for_test(nullptr);
    morva::platform::reset_message_boxes();
    ui::reset();
    if (database_) DddClose(database_);
    if (printer_) ClosePrinter(printer_);
  }

  void set(WORD ddmid, LONG v) { put(devmode_.data(), printer_data_.data(), ddmid, v); }
  LONG setting(WORD ddmid) { return number(context_->current.devmode, context_->current.printer_data, ddmid); }

  // Opens the dialog on a sheet of the given measurement (0 millimetres,
  // 1 inches) whose resource module has the given decimal separator.
  HWND open(WORD measurement = 0, const std::string& separator = ".") {
    const auto compiled = morva::xrs::compile_resources(resource_sources(root_, separator));
    EXPECT_TRUE(compiled.error.empty()) << compiled.error;
    std::filesystem::create_directories(root_.file("drive_c/driver"));
    std::ofstream(root_.file("drive_c/driver/morvares.xrs"), std::ios::binary)
        .write(reinterpret_cast<const char*>(compiled.container.data()),
               static_cast<std::streamsize>(compiled.container.size()));
    morva::settings::set_module_directory_for_test(u"C:\\driver\\");
    resources_.emplace();
    state_.printer = printer_;
    state_.database = database_;
    state_.can_edit = TRUE;
    state_.measurement = state_.current_measurement = measurement;
    set_ = ControlSet{kRecords, static_cast<INT>(std::size(kRecords)), 9999, kNoHelp, nullptr, 0};
    tables_.sets[kKind] = &set_;
    tables_.item_infos = KeyList_Create();
    state_.dialog_tables = &tables_;
    SheetSnapshot start{};
    start.devmode = devmode_.data();
    start.printer_data = printer_data_.data();
    context_ = CreateSheetContext(nullptr, &state_, &start, nullptr);
    EXPECT_NE(context_, nullptr);
    dialog_ = CreateDialogParamW(GetResourceModule(), u"VALUE_CONTROLS_TEST", nullptr,
                                 EngineDialogProc<kKind, kDialogTypeDialog>, reinterpret_cast<LPARAM>(context_));
    EXPECT_NE(dialog_, nullptr);
    ShowWindow(dialog_, SW_SHOW);
    ui::pump();
    return dialog_;
  }
  void close() {
    if (dialog_) DestroyWindow(dialog_);
    dialog_ = nullptr;
    if (context_) {
      // Every dialog released its items.
      EXPECT_EQ(KeyList_Count(tables_.item_infos), 0);
      DestroySheetContext(&context_);
    }
    if (tables_.item_infos) KeyList_Destroy(&tables_.item_infos);
  }
  HWND item(INT id) { return GetDlgItem(dialog_, id); }
  std::vector<morva::platform::MessageBoxRecord> boxes() { return morva::platform::message_box_log(); }

  morva::test::TempRoot root_;
  HANDLE printer_ = nullptr;
  DddHandle* database_ = nullptr;
  std::vector<BYTE> devmode_, printer_data_;
  std::optional<ResourceModuleRef> resources_;
  SheetState state_{};
  DialogTableSet tables_{};
  ControlSet set_{};
  SheetContext* context_ = nullptr;
  HWND dialog_ = nullptr;
};

TEST_F(ValueControls, ShowsTheSettingsWhenOpened) {
  open();
  EXPECT_EQ(ui::text(item(kWidth)), u"150.0");
  EXPECT_EQ(ui::text(item(kCopies)), u"20");
  EXPECT_EQ(ui::state(item(kOffsetTrack)).selection, 0);
  EXPECT_EQ(SendMessageW(item(kOffsetTrack), TBM_GETRANGEMAX, 0, 0), 900);
  EXPECT_EQ(ui::items(item(kToneList)).size(), 5u);
  EXPECT_EQ(ui::items(item(kSwitchList)), (std::vector<std::u16string>{u"Collate\tOn", u"Crop Images to Clip\tOff"}));
  EXPECT_EQ(ui::text(item(kFontSize)), u"10");
  EXPECT_TRUE(boxes().empty());
}

// A width typed in the sheet's unit with the resource module's separator
// is stored in tenths of a millimetre; what cannot be read, or lies outside
// 90.0 to 304.8 mm, is refused with the range message and the field shows
// the stored width again.
TEST_F(ValueControls, WidthTypedInEachUnitAndSeparator) {
  struct Case {
    WORD measurement;
    const char* separator;
    std::u16string typed;
    LONG stored;  // 1500: refused
    std::u16string shown;
    bool message;
  } const cases[] = {
      {0, ".", u"150.5", 1505, u"150.5", false},
      {0, ".", u"200", 2000, u"200.0", false},
      {0, ",", u"150,5", 1505, u"150,5", false},
      {0, ",", u"1,2,3", 1500, u"150,0", true},   // two separators
      {0, ",", u"150.5", 1500, u"150,0", true},   // the other separator
      {0, ".", u"150.55", 1500, u"150.0", true},  // more decimals than shown
      {0, ".", u"abc", 1500, u"150.0", true},
      {0, ".", u"", 1500, u"150.0", true},
      {0, ".", u"50", 1500, u"150.0", true},      // below the range
      {0, ".", u"304.9", 1500, u"150.0", true},   // above it
      {1, ".", u"5.00", 1270, u"5.00", false},    // inches in hundredths
      {1, ".", u"5.5", 1397, u"5.50", false},
      {1, ",", u"10,25", 2604, u"10,25", false},
      {1, ".", u"2", 1500, u"5.91", true},        // 2 inches is below 90 mm
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.typed.begin(), c.typed.end()) + " in unit " + std::to_string(c.measurement));
    morva::platform::reset_message_boxes();
    open(c.measurement, c.separator);
    ASSERT_TRUE(ui::enter_text(item(kWidth), c.typed));
    ui::focus(item(kCopies));  // leaving the field checks it
    EXPECT_EQ(setting(1863), c.stored);
    EXPECT_EQ(ui::text(item(kWidth)), c.shown);
    EXPECT_EQ(boxes().size(), c.message ? 1u : 0u);
    const auto shown_boxes = boxes();
    if (c.message && !shown_boxes.empty()) {
      EXPECT_EQ(shown_boxes[0].style & MB_ICONWARNING, static_cast<UINT>(MB_ICONWARNING));
      // The range in the field's own unit and separator.
      const std::u16string& text = shown_boxes[0].text;
      const std::u16string separator(1, static_cast<char16_t>(c.separator[0]));
      const std::u16string low = c.measurement ? u"3" + separator + u"54" : u"90" + separator + u"0";
      const std::u16string high = c.measurement ? u"12" + separator + u"00" : u"304" + separator + u"8";
      EXPECT_NE(text.find(low + u" and " + high), std::u16string::npos) << std::string(text.begin(), text.end());
      // A refused field keeps the focus.
      EXPECT_EQ(GetFocus(), item(kWidth));
    }
    close();
  }
}

// The arrows of the copies field (1 to 99) step from what is typed into
// the field when it is a number in range, else from the stored value; at
// the ends a click steps back into the range only from a typed value.
TEST_F(ValueControls, SpinningStepsFromTheTypedValueAndStopsAtTheEnds) {
  struct Case {
    LONG stored;
    std::u16string typed;  // empty: nothing typed
    bool up;
    LONG expected;
  } const cases[] = {
      {20, u"", true, 21},   {20, u"", false, 19},  {20, u"150", true, 21},  // 150 is out of range
      {20, u"50", true, 51}, {20, u"50", false, 49}, {99, u"", true, 99},    {1, u"", false, 1},
      {99, u"50", true, 51}, {1, u"50", false, 49},  {99, u"98", false, 97},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.stored) + " typed " + std::string(c.typed.begin(), c.typed.end()));
    morva::platform::reset_message_boxes();
    set(12, c.stored);
    open();
    if (!c.typed.empty()) {
      ASSERT_TRUE(ui::enter_text(item(kCopies), c.typed));
    }
    ASSERT_TRUE(ui::spin(item(kCopiesSpin), c.up));
    EXPECT_EQ(setting(12), c.expected);
    EXPECT_EQ(ui::text(item(kCopies)), std::u16string(u"") + [&] {
      const std::string n = std::to_string(c.expected);
      return std::u16string(n.begin(), n.end());
    }());
    EXPECT_TRUE(boxes().empty());
    close();
  }
}

TEST_F(ValueControls, SpinningWithAReadOnlyFieldChangesNothing) {
  open();
  SendMessageW(item(kCopies), EM_SETREADONLY, TRUE, 0);
  ASSERT_TRUE(ui::spin(item(kCopiesSpin), true));
  EXPECT_EQ(setting(12), 20);
}

// The trackbar stores its position when a line step or a drag moves it;
// a page step waits for the TB_ENDTRACK that ends it.
TEST_F(ValueControls, TrackbarStoresPageStepsWhenTrackingEnds) {
  open();
  std::vector<std::pair<UINT, LONG>> seen;  // scroll code, setting when the dialog got it
  ui::trace_messages([&](const ui::Delivered& d) {
    if (d.window == dialog_ && d.message == WM_HSCROLL && reinterpret_cast<HWND>(d.lParam) == item(kOffsetTrack))
      seen.push_back({LOWORD(d.wParam), setting(309)});
  });
  ASSERT_TRUE(ui::focus(item(kOffsetTrack)));
  ASSERT_TRUE(ui::press_key(VK_NEXT));
  EXPECT_EQ(seen, (std::vector<std::pair<UINT, LONG>>{{TB_PAGEDOWN, 0}, {TB_ENDTRACK, 0}}));
  EXPECT_EQ(setting(309), 25);
  seen.clear();
  ASSERT_TRUE(ui::press_key(VK_LEFT));
  EXPECT_EQ(seen, (std::vector<std::pair<UINT, LONG>>{{TB_LINEUP, 25}, {TB_ENDTRACK, 24}}));
  ASSERT_TRUE(ui::drag_trackbar(item(kOffsetTrack), -3));
  EXPECT_EQ(setting(309), -3);
  ui::trace_messages(nullptr);
  // The scroll bar over the same setting runs from 0 for -900; its right
  // end is the maximum.
  EXPECT_EQ(GetScrollPos(item(kOffsetBar), SB_CTL), 897);
  ASSERT_TRUE(ui::focus(item(kOffsetBar)));
  ASSERT_TRUE(ui::press_key(VK_RIGHT));
  EXPECT_EQ(setting(309), -2);
  ASSERT_TRUE(ui::press_key(VK_HOME));
  EXPECT_EQ(setting(309), -900);
  EXPECT_EQ(GetScrollPos(item(kOffsetBar), SB_CTL), 0);
  EXPECT_EQ(ui::state(item(kOffsetTrack)).selection, -900);
}

// Keys of a choice list: Home, End, Page Up and Down go to the ends, the
// arrows to the neighbours; a key past an end, or one the list does not
// handle, changes nothing.
TEST_F(ValueControls, ChoiceListKeys) {
  open();
  EXPECT_EQ(ui::items(item(kToneList)),
            (std::vector<std::u16string>{u"Gamma 1.0", u"Gamma 1.4", u"Gamma 1.8", u"Gamma 2.2", u"Gamma 2.6"}));
  ASSERT_TRUE(ui::focus(item(kToneList)));
  struct Step {
    UINT key;
    LONG tone;
  } const steps[] = {{VK_HOME, 0}, {VK_UP, 0},   {VK_DOWN, 1},  {VK_RIGHT, 2}, {VK_END, 4}, {VK_DOWN, 4},
                     {VK_LEFT, 3}, {VK_PRIOR, 0}, {VK_NEXT, 4}, {'A', 4},      {VK_SPACE, 4}};
  for (const Step& step : steps) {
    ASSERT_TRUE(ui::press_key(step.key));
    EXPECT_EQ(setting(288), step.tone) << step.key;
    EXPECT_EQ(ui::state(item(kToneList)).selection, step.tone) << step.key;
  }
  // A click picks too.
  ASSERT_TRUE(ui::select(item(kToneList), 2));
  EXPECT_EQ(setting(288), 2);
}

// A list of on/off settings: the arrows move between rows, Space and a
// double-click switch the row's setting.
TEST_F(ValueControls, SettingsListKeysAndDoubleClick) {
  open();
  HWND list = item(kSwitchList);
  ASSERT_TRUE(ui::focus(list));
  ASSERT_TRUE(ui::press_key(VK_DOWN));
  EXPECT_EQ(ui::state(list).selection, 1);
  EXPECT_EQ(setting(18), 1);
  EXPECT_EQ(setting(1370), 0);
  ASSERT_TRUE(ui::press_key(VK_SPACE));
  EXPECT_EQ(setting(1370), 1);
  EXPECT_EQ(ui::items(list), (std::vector<std::u16string>{u"Collate\tOn", u"Crop Images to Clip\tOn"}));
  EXPECT_EQ(ui::state(list).selection, 1);
  ASSERT_TRUE(ui::press_key(VK_HOME));
  EXPECT_EQ(ui::state(list).selection, 0);
  EXPECT_EQ(setting(18), 1);
  ASSERT_TRUE(ui::double_click(list));
  // The double-click on the first row steps collation to its next choice.
  EXPECT_EQ(setting(18), 0);
  EXPECT_EQ(setting(1370), 1);
  EXPECT_EQ(ui::items(list), (std::vector<std::u16string>{u"Collate\tOff", u"Crop Images to Clip\tOn"}));
}

// The editable font size list checks its text as a number from 7 to 600
// when the field is left. The sheet's shared item stays a choice list all
// the while, also while the range message is shown.
TEST_F(ValueControls, EditableListTextCheckedAsANumber) {
  open();
  ASSERT_TRUE(ui::enter_text(item(kUserName), u"Ada"));  // so that OK finds every field valid
  const ItemInfo* shared = GetItemInfo(dialog_, 306);
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(shared->kind, kItemKindList);
  std::vector<WORD> kinds_seen;
  morva::platform::set_message_box_handler([&](const morva::platform::MessageBoxRecord&) {
    kinds_seen.push_back(GetItemInfo(dialog_, 306)->kind);
    return IDOK;
  });
  ASSERT_TRUE(ui::enter_text(item(kFontSize), u"700"));
  ui::focus(item(kCopies));
  EXPECT_EQ(kinds_seen, std::vector<WORD>{kItemKindList});
  EXPECT_EQ(setting(306), 10);
  EXPECT_EQ(ui::text(item(kFontSize)), u"10");
  EXPECT_EQ(GetFocus(), item(kFontSize));
  EXPECT_EQ(GetItemInfo(dialog_, 306)->kind, kItemKindList);
  // A size that is not one of the choices is taken, also when OK is what
  // leaves the field.
  ASSERT_TRUE(ui::enter_text(item(kFontSize), u"15"));
  ASSERT_TRUE(ui::click(item(1092)));
  EXPECT_EQ(setting(306), 15);
  EXPECT_EQ(kinds_seen.size(), 1u);
}

// Choices in conflict with the settings carry the warning icon (rule
// kinds 2 and 10 to 13) or the note icon (3 and 5) in a list with conflict
// icons, drawn before their text; the dialog's picture shows every kind.
TEST_F(ValueControls, ChoicesInConflictCarryTheirIcons) {
  set(13, 4);   // the manual feed: Letter paper is in conflict with it
  set(270, 1);  // black and white, which Letter asks for
  open();
  HWND list = item(kPaperList);
  const auto rows = ui::items(list);
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[0].rfind(u"A4", 0), 0u);
  EXPECT_EQ(rows[1].rfind(u"Letter", 0), 0u);
  EXPECT_EQ(SendMessageW(list, CB_GETITEMDATA, 0, 0), 0);
  EXPECT_NE(SendMessageW(list, CB_GETITEMDATA, 1, 0), 0);
  EXPECT_EQ(GetChoiceReport(dialog_, 8, 1)->kind, 10);
  std::filesystem::create_directories(std::string(MORVA_BIN_DIR) + "/pictures");
  ASSERT_TRUE(ui::focus(item(kToneList)));
  EXPECT_TRUE(ui::write_png(dialog_, std::string(MORVA_BIN_DIR) + "/pictures/value_controls.png"));
}

// A text field stores what is typed at once, cut to its length limit in
// ANSI bytes; a character the code page cannot hold is refused; leaving
// the field with a text outside 1 to 8 characters shows the length message.
TEST_F(ValueControls, TextFieldStoresEachKeystrokeWithinItsLimits) {
  open();
  auto name = [&] { return morva::test::text(context_->current.devmode, context_->current.printer_data, 5147); };
  ASSERT_TRUE(ui::enter_text(item(kUserName), u"Ada"));
  EXPECT_EQ(name(), u"Ada");
  ASSERT_TRUE(ui::type(u"\u03A9"));  // not in the code page
  EXPECT_EQ(ui::text(item(kUserName)), u"Ada");
  EXPECT_EQ(name(), u"Ada");
  ASSERT_TRUE(ui::type(u"Lovelace"));  // 11 characters, 8 kept
  EXPECT_EQ(ui::text(item(kUserName)), u"AdaLovel");
  EXPECT_EQ(name(), u"AdaLovel");
  EXPECT_TRUE(boxes().empty());
  ASSERT_TRUE(ui::enter_text(item(kUserName), u""));
  ui::focus(item(kCopies));
  const auto shown = boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, u"Enter between 1 and 8 characters.");
  EXPECT_EQ(GetFocus(), item(kUserName));
}

// A choice whose change the user declines in the conflict message leaves
// the settings as they were and the list shows the stored choice again.
TEST_F(ValueControls, DeclinedChoiceShowsTheStoredChoiceAgain) {
  set(13, 4);
  set(270, 1);
  open();
  morva::platform::script_message_box_answers({IDCANCEL});
  ui::select(item(kPaperList), 1);
  EXPECT_EQ(boxes().size(), 1u);
  EXPECT_EQ(setting(8), 9);
  EXPECT_EQ(setting(13), 4);
  EXPECT_EQ(ui::text(item(kPaperList)).rfind(u"A4", 0), 0u);
}

}  // namespace
