// A setting change on a sheet that breaks a database rule: the message box
// the user sees (its text checked against the resource template), and per
// answer either the rule's actions applied or the change refused, leaving
// settings that pass the check. Also the entry checks of edit fields.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ddd_fixture.h"
#include "ddm/ddmid.h"
#include "property_sheets/sheet_records.h"
#include "rule_json.h"
#include "settings/common/module_state.h"
#include "settings/constraints/conflict_boxes.h"
#include "settings/constraints/conflict_check.h"
#include "settings/constraints/conflict_texts.h"
#include "settings/constraints/entry_checks.h"
#include "settings/items/item_access.h"
#include "win/win.h"

namespace morva::settings {
void set_module_directory_for_test(LPCWSTR directory);
}

namespace {

using namespace morva::test;
using namespace morva::ddm;

const HANDLE kPrinter = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x5150));
const HWND kSheet = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7001));
const HWND kNoSheet = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7002));

json named_item(int ddmid, const char* name, json choices) {
  json j = item(ddmid, choices);
  j["name"] = name;
  return j;
}
json named_choice(int id, const char* name, int type, long value, json rules = json::array()) {
  json j = choice(id, value, rules);
  j["name"] = name;
  j["value"] = {{"type", type}, {"value", value}};
  return j;
}
json set_to(int ddmid, int type, long value) { return {{"ddmid", ddmid}, {"value", {{"type", type}, {"value", value}}}}; }
json when(int ddmid, int type, long value) { return cond(ddmid, 1, {{"type", type}, {"value", value}}, 4); }

// Two-sided printing, paper source, collate, orientation and colour mode,
// with one rule of each kind the sheet answers differently.
json rules_database() {
  const json no_head = {{"op", 0}, {"value", no_value()}};
  return one_file(json::array({
      named_item(16, "Two-Sided", {161, 162}),
      named_choice(161, "Off", 2, 1),
      named_choice(162, "Long Edge", 2, 2, {1}),
      named_item(13, "Paper Source", {131, 132, 133}),
      named_choice(131, "Automatic", 2, 7),
      named_choice(132, "Tray 1", 2, 1),
      named_choice(133, "Manual Feed", 2, 4),
      named_item(18, "Collate", {181, 182}),
      named_choice(181, "Off", 2, 0),
      named_choice(182, "On", 2, 1, {2}),
      named_item(7, "Orientation", {71, 72}),
      named_choice(71, "Portrait", 2, 1),
      named_choice(72, "Landscape", 2, 2, {3}),
      named_item(270, "Colour Mode", {2701, 2702}),
      named_choice(2701, "Black and White", 3, 1, {4}),
      named_choice(2702, "Colour", 3, 2),
      // 1: a question; OK moves the paper source off the manual feed.
      rule7({when(13, 2, 4)}, 3, no_head, {set_to(13, 2, 7)}),
      // 2: a question whose cancel is a refusal after a note.
      rule7({when(7, 2, 2)}, 8, no_head, {set_to(7, 2, 1)}),
      // 3: a note: never made.
      rule7({when(18, 2, 1)}, 7),
      // 4: a value warning.
      rule7({when(16, 2, 2)}, 10),
  }));
}

// Fills %1s..%9s of a template.
std::u16string fill(std::u16string text, const std::vector<std::u16string>& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::u16string mark = u"%" + std::u16string(1, static_cast<char16_t>(u'1' + i)) + u"s";
    const size_t at = text.find(mark);
    if (at != std::u16string::npos) text.replace(at, mark.size(), args[i]);
  }
  return text;
}

class ConflictResolution : public DddTest {
 protected:
  std::vector<BYTE> dm = std::vector<BYTE>(kPrivateDevmodeSize);
  std::vector<BYTE> pd = std::vector<BYTE>(kPrinterDataSize);
  SheetState state{};
  SheetContext context{};
  std::optional<ResourceModuleRef> resources;

  void SetUp() override {
    morva::platform::reset_message_boxes();
    std::filesystem::create_directories(root.file("drive_c/driver"));
    std::filesystem::copy_file(std::string(MORVA_BIN_DIR) + "/morvares.xrs", root.file("drive_c/driver/morvares.xrs"));
    morva::settings::set_module_directory_for_test(u"C:\\driver\\");
    resources.emplace();
    ASSERT_NE(GetResourceModule(), nullptr);
    open(rules_database());
    context.state = &state;
    SetSheetContext(kSheet, &context);
    baseline();
  }
  // Settings that break no rule.
  void baseline() { set(16, 1), set(13, 1), set(18, 0), set(7, 1), set(270, 2); }
  void TearDown() override {
    SetSheetContext(kSheet, nullptr);
    resources.reset();
    morva::settings::set_module_directory_for_test(nullptr);
    morva::platform::reset_message_boxes();
    DddTest::TearDown();
  }

  SettingsTarget target() { return {handle, dm.data(), pd.data()}; }
  void set(WORD ddmid, DWORD value) {
    const DdmidDescriptor* d = dma_Descriptor(ddmid);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(SetItemValueRaw(ddmid, dm.data(), pd.data(), d->type, dma_TypeSize(d->type), &value), kDdmOk);
  }
  LONG get(WORD ddmid) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    EXPECT_EQ(GetItemValue(ddmid, dm.data(), pd.data(), &type, &size, &v), kDdmOk);
    return GetTypedValue(type, &v);
  }
  std::u16string resource(UINT id) {
    WCHAR text[1024] = {};
    const INT n = LoadStringW(GetResourceModule(), id, text, 1024);
    return std::u16string(text, n > 0 ? static_cast<size_t>(n) : 0);
  }
  // The conflict kind of setting `ddmid` to `value` (null: as it is).
  WORD check(WORD ddmid, const WORD* value, ConflictReport* report) {
    ResetConflictReport(report);
    EXPECT_EQ(CheckSettingChange(kCheckModeChange, kPrinter, handle, dm.data(), pd.data(), nullptr, ddmid, 2, value,
                                 report, nullptr, 0),
              0);
    return report->kind;
  }

  // What a sheet does with one change: check, ask, apply. The answer of
  // the message, and the items written.
  struct Outcome {
    INT answer;
    INT applied;
    std::vector<WORD> changed;
  };
  Outcome change_on_sheet(WORD ddmid, WORD value) {
    ConflictReport* report = NewConflictReport();
    check(ddmid, &value, report);
    const SettingsTarget t = target();
    const SettingChange change{ddmid, 2, &value};
    Outcome o{};
    o.answer = ShowConflictMessageByKind(kSheet, &t, &change, nullptr, report);
    if (o.answer == kAnswerGoAhead) {
      WORD inline_ids[kChangedItemRoom];
      WORD* ids = inline_ids;
      WORD count = 0;
      const DdmidListRef changed{&ids, &count, kChangedItemRoom, inline_ids};
      o.applied = ApplySettingChange(kSheet, &t, &change, report, nullptr, &changed);
      o.changed.assign(ids, ids + count);
      ClearDdmidList(&changed);
    }
    FreeConflictReport(report);
    return o;
  }
  // The settings as they stand pass the check of every item of the database.
  void expect_consistent() {
    ConflictReport* report = NewConflictReport();
    for (WORD ddmid : {16, 13, 18, 7}) EXPECT_EQ(check(ddmid, nullptr, report), 0) << ddmid;
    FreeConflictReport(report);
  }
};

TEST_F(ConflictResolution, QuestionAnsweredOkAppliesTheRuleActions) {
  set(13, 4);  // manual feed
  morva::platform::script_message_box_answers({IDOK});
  const Outcome o = change_on_sheet(16, 2);
  EXPECT_EQ(o.answer, kAnswerGoAhead);
  EXPECT_EQ(o.applied, kAnswerApplied);
  EXPECT_EQ(o.changed, (std::vector<WORD>{16, 13}));
  const auto log = morva::platform::message_box_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].caption, resource(265));
  EXPECT_EQ(log[0].text, fill(resource(705), {u"Two-Sided", u"Long Edge", u"Paper Source: Manual Feed\n",
                                              u"Paper Source: Automatic\n"}));
  EXPECT_EQ(log[0].style, MB_ICONINFORMATION | MB_OKCANCEL);
  EXPECT_EQ(log[0].answer, IDOK);
  EXPECT_EQ(get(16), 2);
  EXPECT_EQ(get(13), 7);
  expect_consistent();
}

// Per kind and answer: the box's style, the sheet's answer and whether the
// change was made; the settings stay consistent either way.
TEST_F(ConflictResolution, EachKindAndAnswer) {
  struct Case {
    const char* what;
    WORD before_ddmid, before_value;  // makes the rule fire
    WORD ddmid, value;
    INT scripted;
    UINT style;
    INT answer;
    UINT template_id;
    std::vector<std::u16string> fillers;
  } const cases[] = {
      {"question cancelled", 13, 4, 16, 2, IDCANCEL, MB_ICONINFORMATION | MB_OKCANCEL, kAnswerRefused, 705,
       {u"Two-Sided", u"Long Edge", u"Paper Source: Manual Feed\n", u"Paper Source: Automatic\n"}},
      {"kind 8 cancelled", 7, 2, 18, 1, IDCANCEL, MB_ICONINFORMATION | MB_OKCANCEL, kAnswerRefusedAfterNote, 705,
       {u"Collate", u"On", u"Orientation: Landscape\n", u"Orientation: Portrait\n"}},
      {"note", 18, 1, 7, 2, IDOK, MB_ICONWARNING, kAnswerRefusedAfterNote, 710, {u"Orientation", u"Collate: On\n"}},
      {"value warning", 16, 2, 270, 1, IDOK, MB_ICONWARNING, kAnswerRefused, 708, {u"Colour Mode", u"Black and White"}},
  };
  for (const Case& c : cases) {
    baseline();
    morva::platform::reset_message_boxes();
    set(c.before_ddmid, c.before_value);
    const LONG old_value = get(c.ddmid);
    morva::platform::script_message_box_answers({c.scripted});
    const Outcome o = change_on_sheet(c.ddmid, c.value);
    EXPECT_EQ(o.answer, c.answer) << c.what;
    const auto log = morva::platform::message_box_log();
    ASSERT_EQ(log.size(), 1u) << c.what;
    EXPECT_EQ(log[0].style, c.style) << c.what;
    EXPECT_EQ(log[0].text, fill(resource(c.template_id), c.fillers)) << c.what;
    EXPECT_EQ(get(c.ddmid), old_value) << c.what;  // refused: nothing written
    expect_consistent();
  }
}

TEST_F(ConflictResolution, KindEightAnsweredOkChangesTheOrientation) {
  set(7, 2);
  morva::platform::script_message_box_answers({IDOK});
  const Outcome o = change_on_sheet(18, 1);
  EXPECT_EQ(o.answer, kAnswerGoAhead);
  EXPECT_EQ(o.applied, kAnswerApplied);
  EXPECT_EQ(get(18), 1);
  EXPECT_EQ(get(7), 1);
  expect_consistent();
}

TEST_F(ConflictResolution, NoSheetNoBox) {
  set(13, 4);
  ConflictReport* report = NewConflictReport();
  const WORD value = 2;
  ASSERT_EQ(check(16, &value, report), 3);
  const SettingsTarget t = target();
  const SettingChange change{16, 2, &value};
  EXPECT_EQ(ShowConflictQuestion(kNoSheet, &t, &change, nullptr, nullptr, report), 1);
  EXPECT_EQ(ShowConflictMessageByKind(kNoSheet, &t, &change, nullptr, report), kAnswerRefused);
  EXPECT_TRUE(morva::platform::message_box_log().empty());
  // Kinds without a message.
  for (WORD kind : {0, 4, 9, 1, 6, 14}) {
    report->kind = kind;
    EXPECT_EQ(ShowConflictMessageByKind(kSheet, &t, &change, nullptr, report),
              kind == 0 || kind == 4 || kind == 9 ? kAnswerGoAhead : kAnswerError)
        << kind;
  }
  EXPECT_TRUE(morva::platform::message_box_log().empty());
  FreeConflictReport(report);
}

// A database name longer than every buffer is cut, never written past; a
// question whose lines cannot fit is not asked.
TEST_F(ConflictResolution, LongNamesStayInTheirBuffers) {
  json db = rules_database();
  const std::string long_name(3000, 'N');
  db["main"]["records"][3]["name"] = long_name;  // "Paper Source"
  db["main"]["records"][6]["name"] = long_name;  // "Manual Feed"
  DddClose(handle);
  handle = nullptr;
  open(db);
  set(13, 4);
  const SettingsTarget t = target();
  WCHAR text[kConflictTextChars];
  ASSERT_EQ(FormatItemValueText(FALSE, GetResourceModule(), &t, text, 13, nullptr, nullptr), 1);
  EXPECT_EQ(std::u16string(text), std::u16string(kConflictTextChars - 1, u'N'));

  WORD listed[kListedDdmidRoom] = {};
  std::vector<WCHAR> small(40, 0);
  ConflictLines lines{small.data(), 40, 0};
  const WORD rule = 1;
  EXPECT_EQ(AppendConditionItemLines(FALSE, GetResourceModule(), &t, nullptr, &lines, 1, &rule, listed, nullptr), 0);
  EXPECT_EQ(small[39], 0);

  morva::platform::script_message_box_answers({IDOK});
  const Outcome o = change_on_sheet(16, 2);
  EXPECT_EQ(o.answer, kAnswerGoAhead);  // the question fits once the names are cut
  const auto log = morva::platform::message_box_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_LT(log[0].text.size(), static_cast<size_t>(kConflictMessageChars));
}

TEST_F(ConflictResolution, EntryChecks) {
  struct Case {
    WORD ddmid, type;
    LONG value;
    WORD field_flags;
    WORD check_kind;
    INT result, message;
    LONG smallest, largest;
    WORD divisor;
  } const cases[] = {
      {306, 3, 6, kFieldFixedRange, 8, kAnswerShowMessage, kMessageRange, 7, 600, 1},
      {306, 3, 7, kFieldFixedRange, 8, kAnswerGoAhead, kMessageConflict, 0, 0, 0},
      {385, 3, 250, kFieldFixedRange, 8, kAnswerShowMessage, kMessageRange, 5, 24, 1},
      {385, 3, 240, kFieldFixedRange, 12, kAnswerShowMessage, kMessageConflict, 0, 0, 0},
      {309, 4, -901, kFieldFixedRange, 8, kAnswerShowMessage, kMessageRange, -900, 900, 10},
      {311, 4, 900, kFieldFixedRange, 8, kAnswerGoAhead, kMessageConflict, 0, 0, 0},
      {16, 2, 1, kFieldFixedRange, 8, kAnswerError, kMessageConflict, 0, 0, 0},
      {263, 2, 5000, 0, 8, kAnswerGoAhead, kMessageConflict, 0, 0, 0},  // flag 1281 clear: not looked at
      {16, 2, 1, 0, 1, kAnswerRefused, kMessageConflict, 0, 0, 0},
      {16, 2, 1, 0, 36, kAnswerShowMessage, kMessageConflict, 0, 0, 0},
      {16, 2, 1, 0, 100, kAnswerShowMessage, kMessageImagePlacement, 0, 0, 0},
      {16, 2, 1, 0, 7, kAnswerError, kMessageConflict, 0, 0, 0},
  };
  const SettingsTarget t = target();
  ConflictReport* report = NewConflictReport();
  for (const Case& c : cases) {
    EntryCheckState state{};
    state.field_flags = c.field_flags;
    INT message = 0;
    const SettingChange change{c.ddmid, c.type, &c.value};
    EXPECT_EQ(CheckEnteredValue(kPrinter, &t, &change, report, c.check_kind, &message, &state), c.result) << c.ddmid;
    EXPECT_EQ(message, c.message) << c.ddmid;
    if (c.message != kMessageRange) continue;
    EXPECT_EQ(state.smallest, c.smallest) << c.ddmid;
    EXPECT_EQ(state.largest, c.largest) << c.ddmid;
    EXPECT_EQ(state.divisor, c.divisor) << c.ddmid;
    // The range warning shows the bounds as the state gives them.
    morva::platform::reset_message_boxes();
    ASSERT_EQ(ShowConflictWarning(kSheet, &t, &state, c.ddmid, nullptr), 0) << c.ddmid;
    const auto log = morva::platform::message_box_log();
    ASSERT_EQ(log.size(), 1u);
    WCHAR low[kConflictTextChars], high[kConflictTextChars];
    ASSERT_TRUE(FormatScaledNumber(&state.smallest, state.divisor, state.type, state.integer_only, low));
    ASSERT_TRUE(FormatScaledNumber(&state.largest, state.divisor, state.type, state.integer_only, high));
    EXPECT_EQ(log[0].text, fill(resource(700), {state.text, low, high})) << c.ddmid;
    EXPECT_EQ(log[0].style, MB_ICONWARNING);
  }
  const SettingChange no_value{306, 3, nullptr};
  EntryCheckState state{};
  INT message = 0;
  EXPECT_EQ(CheckEnteredValue(kPrinter, &t, &no_value, report, 8, &message, &state), kAnswerRefused);
  FreeConflictReport(report);
}


TEST_F(ConflictResolution, StampConflictTextsAndTheirItems) {
  const SettingsTarget t = target();
  const WORD placed_paper = 307;
  const SettingChange change{8, 2, &placed_paper};
  ConflictExtras extras{};
  auto set_name = [&](const char16_t* name) {
    ASSERT_EQ(SetItemValueRaw(297, dm.data(), pd.data(), kTypeString,
                              static_cast<DWORD>((std::char_traits<char16_t>::length(name) + 1) * 2), &name),
              kDdmOk);
  };
  set_name(u"");
  EXPECT_EQ(CheckStampItemConflict(&t, &change, &extras), 0);
  EXPECT_EQ(extras.condition_line, nullptr);
  EXPECT_EQ(extras.item_count, 0);

  set_name(u"Mine");
  const WORD plain_paper = 9;
  const SettingChange other{8, 2, &plain_paper};
  EXPECT_EQ(CheckStampItemConflict(&t, &other, &extras), 0);
  EXPECT_EQ(extras.condition_line, nullptr);
  const SettingChange unrelated{16, 2, &plain_paper};
  EXPECT_EQ(CheckStampItemConflict(&t, &unrelated, &extras), 1);

  ASSERT_EQ(CheckStampItemConflict(&t, &change, &extras), 0);
  ASSERT_NE(extras.condition_line, nullptr);
  EXPECT_EQ(std::u16string(extras.condition_line), fill(resource(706), {resource(302), u"Mine"}));
  EXPECT_EQ(std::u16string(extras.action_line), fill(resource(706), {resource(302), resource(426)}));
  ASSERT_EQ(extras.item_count, 2);
  EXPECT_EQ(extras.items[0].ddmid, 297);
  EXPECT_EQ(extras.items[1].ddmid, 299);
  EXPECT_EQ(ApplyItemValues(&t, nullptr, extras.item_count, extras.items), kAnswerApplied);
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  ASSERT_EQ(GetItemValue(297, dm.data(), pd.data(), &type, &size, &v), kDdmOk);
  EXPECT_EQ(ItemText(v, size), u"");
  FreeConflictExtras(&extras);
  EXPECT_EQ(extras.items, nullptr);
}

}  // namespace
