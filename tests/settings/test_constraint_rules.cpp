#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ddd_fixture.h"
#include "ddm/ddmid.h"
#include "settings/constraints/conflict_apply.h"
#include "settings/constraints/conflict_check.h"
#include "rule_json.h"
#include "settings/constraints/constraint_rules.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/default_settings.h"
#include "settings/items/item_access.h"
#include "win/win.h"

namespace {

using morva::test::json;
using namespace morva::test;
using namespace morva::ddm;

const HANDLE kPrinter = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x5150));

// A condition whose value type differs from its setting's: evaluating it is
// an error, so a test sees whether it was evaluated.
json poisoned(int connector) { return cond(271, 1, {{"type", 2}, {"value", 1}}, connector); }
json dims(int id, std::pair<int, int> smallest, std::pair<int, int> largest) {
  return {{"kind", 17}, {"id", id}, {"first", {smallest.first, smallest.second}},
          {"second", {largest.first, largest.second}}};
}
json tray(int id, int dimension, std::vector<long> ddmids = {262}) {
  return {{"kind", 5}, {"id", id}, {"name", "Tray " + std::to_string(id)}, {"dimension", dimension}, {"ddmids", ddmids}};
}

class RulesTest : public morva::test::DddTest {
 protected:
  std::vector<BYTE> dm = std::vector<BYTE>(kPrivateDevmodeSize);
  std::vector<BYTE> pd = std::vector<BYTE>(kPrinterDataSize);

  SettingsTarget target() { return {handle, dm.data(), pd.data()}; }

  void reopen(const json& records) {
    if (handle) DddClose(handle);
    handle = nullptr;
    open(morva::test::one_file(records));
  }

  void set(WORD ddmid, DWORD value) {
    const DdmidDescriptor* d = dma_Descriptor(ddmid);
    ASSERT_NE(d, nullptr) << ddmid;
    const DWORD size = dma_TypeSize(d->type);
    ASSERT_EQ(SetItemValueRaw(ddmid, dm.data(), pd.data(), d->type, size, &value), kDdmOk) << ddmid;
  }
  void set_text(WORD ddmid, const char16_t* text) {
    const DWORD size = static_cast<DWORD>((std::char_traits<char16_t>::length(text) + 1) * 2);
    ASSERT_EQ(SetItemValueRaw(ddmid, dm.data(), pd.data(), kTypeString, size, &text), kDdmOk);
  }
  LONG get(WORD ddmid) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    EXPECT_EQ(GetItemValue(ddmid, dm.data(), pd.data(), &type, &size, &v), kDdmOk) << ddmid;
    return GetTypedValue(type, &v);
  }

  // Loads rule n of kind 7 or 8.
  DddRule* load_rule(WORD kind, WORD n) {
    DddValue* v = nullptr;
    EXPECT_EQ(DddLoadValue(DDD_LOAD_FULL, &handle->main, &handle->linked, kind, n, &v), DDD_OK);
    return static_cast<DddRule*>(v);
  }
  void release(DddRule*& rule) {
    DddValue* v = rule;
    DddFreeValue(&v, 0xFFFF);
    rule = nullptr;
  }

  // The check of a change, with the handed-out list copied.
  struct Outcome {
    INT result;
    WORD kind;
    WORD flags;
    std::vector<WORD> rules, rules_alt, ddmids, out;
  };
  Outcome check(WORD mode, WORD ddmid, const WORD* value, WORD by_value = 0, const WORD* filter = nullptr,
                ConflictReport* report = nullptr) {
    ConflictReport* own = report ? nullptr : NewConflictReport();
    ConflictReport* r = report ? report : own;
    WORD* out = nullptr;
    const DdmidDescriptor* d = dma_Descriptor(ddmid);
    Outcome o{};
    o.result = CheckSettingChange(mode, kPrinter, handle, dm.data(), pd.data(), filter, ddmid, d ? d->type : 3, value, r,
                                  &out, by_value);
    o.kind = r->kind;
    o.flags = r->flags;
    o.rules.assign(r->rules.ids, r->rules.ids + r->rules.count);
    o.rules_alt.assign(r->rules_alt.ids, r->rules_alt.ids + r->rules_alt.count);
    o.ddmids.assign(r->ddmids.ids, r->ddmids.ids + r->ddmids.count);
    if (out) {
      for (WORD* p = out;; ++p) {
        o.out.push_back(*p);
        if (!*p) break;
      }
      GlobalFree(out);
    }
    FreeConflictReport(own);
    return o;
  }
};

// ------------------------------------------------------------ comparisons

TEST(RuleValues, CompareByOperatorAndType) {
  const SHORT minus_one = -1, zero = 0, ten = 10, nine = 9;
  const WORD big = 0xFFFF, small = 1;
  const DWORD dbig = 0x80000000u, dsmall = 1;
  const LONG lneg = -5, lpos = 5;
  const BYTE b1 = 1, b2 = 2;
  const DWORD flag1 = 1, flag0 = 0;
  const char16_t* fine = u"fine";
  const char16_t* fine2 = u"fine";
  const char16_t* draft = u"draft";
  struct Case {
    BYTE op;
    WORD rule_type;
    const void* rule;
    WORD setting_type;
    const void* setting;
    INT expected;
  } cases[] = {
      // Operator 3 with value 10: S < V.
      {3, 2, &ten, 2, &nine, kCompareTrue},
      {3, 2, &ten, 2, &ten, kCompareFalse},
      {4, 2, &ten, 2, &ten, kCompareTrue},
      {5, 2, &nine, 2, &ten, kCompareTrue},
      {6, 2, &ten, 2, &nine, kCompareFalse},
      {2, 2, &ten, 2, &nine, kCompareTrue},
      // The equal-operators.
      {0, 2, &ten, 2, &ten, kCompareTrue},
      {1, 2, &ten, 2, &nine, kCompareFalse},
      {7, 2, &ten, 2, &ten, kCompareTrue},
      {12, 2, &ten, 2, &ten, kCompareTrue},
      // Signedness follows the type.
      {3, 2, &zero, 2, &minus_one, kCompareTrue},
      {3, 3, &small, 3, &big, kCompareFalse},
      {5, 5, &dsmall, 5, &dbig, kCompareTrue},
      {3, 4, &lpos, 4, &lneg, kCompareTrue},
      {3, 10, &lpos, 10, &lneg, kCompareTrue},
      {4, 8, &b2, 8, &b1, kCompareTrue},
      // Types 1 and 6 know only = and !=.
      {1, 1, &flag1, 1, &flag1, kCompareTrue},
      {2, 1, &flag1, 1, &flag0, kCompareTrue},
      {3, 1, &flag1, 1, &flag0, kCompareNotApplicable},
      {1, 6, fine, 6, fine2, kCompareTrue},
      {2, 6, fine, 6, draft, kCompareTrue},
      {1, 6, fine, 6, draft, kCompareFalse},
      {5, 6, fine, 6, draft, kCompareNotApplicable},
      {1, 6, nullptr, 6, draft, kCompareMissing},
      // Operators without a comparison, other types, mixed types.
      {9, 2, &ten, 2, &ten, kCompareNotApplicable},
      {13, 3, &small, 3, &small, kCompareNotApplicable},
      {20, 3, &small, 3, &small, kCompareNotApplicable},
      {1, 2, &ten, 3, &small, kCompareTypesDiffer},
      {1, 7, &flag1, 7, &flag1, kCompareUnsupported},
      {1, 9, &flag1, 9, &flag1, kCompareUnsupported},
      {1, 3, nullptr, 3, &small, kCompareMissing},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CompareRuleValue(c.op, c.rule_type, c.rule, c.setting_type, c.setting), c.expected)
        << "op " << int(c.op) << " type " << c.rule_type;
}

// ------------------------------------------------------------ conditions

// Settings every condition case reads: 271 = 1, 407 = 2, 408 = 3, 409 = 4.
TEST_F(RulesTest, ConditionGroupsAndConnectors) {
  json t271 = cond(271, 1, word(1), 0), f271 = cond(271, 1, word(9), 0);
  auto with = [](json c, int connector) {
    c["connector"] = connector;
    return c;
  };
  struct Case {
    const char* what;
    json conditions;
    INT expected;
  };
  const std::vector<Case> cases = {
      {"A(2) true passes over B and C; D decides (true)",
       {with(t271, 2), poisoned(2), poisoned(1), cond(409, 1, word(4), 4)}, 1},
      {"A(2) true passes over B and C; D decides (false)",
       {with(t271, 2), poisoned(2), poisoned(1), cond(409, 1, word(5), 4)}, 0},
      {"A(1) false skips B; C starts the second group",
       {with(f271, 1), poisoned(3), cond(408, 1, word(3), 1), cond(409, 1, word(4), 4)}, 1},
      {"A and B true without an end: no group completes", {with(t271, 1), cond(407, 1, word(2), 0)}, 0},
      {"a false alternative lets the next decide",
       {with(f271, 2), cond(407, 1, word(2), 1), cond(408, 1, word(3), 4)}, 1},
      {"every alternative false fails the group", {with(f271, 2), cond(407, 1, word(7), 4)}, 0},
      {"a failed group is cleared; the next group fires",
       {with(t271, 1), cond(407, 1, word(9), 3), cond(408, 1, word(3), 4)}, 1},
      {"the end of an OR-run at the last condition", {with(t271, 2), poisoned(2)}, 0},
      {"an error is reported", {poisoned(4)}, 2},
  };
  for (const auto& c : cases) {
    reopen(json::array({rule7(c.conditions, 3)}));
    set(271, 1), set(407, 2), set(408, 3), set(409, 4);
    DddRule* rule = load_rule(7, 1);
    ASSERT_NE(rule, nullptr) << c.what;
    const SettingsTarget t = target();
    WORD flags = 0;
    EXPECT_EQ(EvaluateRuleConditions(kCheckModeAll, kPrinter, &t, rule, nullptr, nullptr, nullptr, &flags), c.expected)
        << c.what;
    release(rule);
  }
}

TEST_F(RulesTest, EveryFiringGroupIsCollectedWhenAskedFor) {
  reopen(json::array({rule7({cond(271, 1, word(1), 3), cond(407, 1, word(9), 3), cond(408, 1, word(3), 1),
                             cond(409, 1, word(4), 4)},
                            3)}));
  set(271, 1), set(407, 2), set(408, 3), set(409, 4);
  DddRule* rule = load_rule(7, 1);
  ASSERT_NE(rule, nullptr);
  const SettingsTarget t = target();
  WORD inline_ids[kCheckDdmidRoom];
  WORD* ids = inline_ids;
  WORD count = 0;
  const DdmidListRef groups{&ids, &count, kCheckDdmidRoom, inline_ids};
  WORD flags = 0;
  EXPECT_EQ(EvaluateRuleConditions(kCheckModeAll, kPrinter, &t, rule, nullptr, nullptr, &groups, &flags), 1);
  EXPECT_EQ(std::vector<WORD>(ids, ids + count), (std::vector<WORD>{271, 408, 409}));
  ClearDdmidList(&groups);
  release(rule);
}

TEST_F(RulesTest, ConditionValuesAndOperators) {
  struct Case {
    const char* what;
    json condition;
    LONG setting;
    INT expected;
  } const cases[] = {
      {"!= {1, 2} with 3", cond(271, 2, table_ref(1), 4), 3, 1},
      {"!= {1, 2} with 2", cond(271, 2, table_ref(1), 4), 2, 0},
      {"= {1, 2} with 2", cond(271, 1, table_ref(1), 4), 2, 1},
      {"= {1, 2} with 3", cond(271, 1, table_ref(1), 4), 3, 0},
      {"< 10 with 9", cond(271, 3, word(10), 4), 9, 1},
      {"< 10 with 10", cond(271, 3, word(10), 4), 10, 0},
      {">= 10 with 10", cond(271, 6, word(10), 4), 10, 1},
      {"= without values", cond(271, 1, no_value(), 4), 1, 0},
      {"!= without values", cond(271, 2, no_value(), 4), 1, 1},
      {"< without values", cond(271, 3, no_value(), 4), 1, 2},
      {"a setting that does not exist", cond(9999, 1, word(1), 4), 1, 0},
  };
  ASSERT_EQ(dma_Descriptor(9999), nullptr);
  for (const auto& c : cases) {
    reopen(json::array({rule7({c.condition}, 3), table(1, {1, 2})}));
    set(271, static_cast<DWORD>(c.setting));
    DddRule* rule = load_rule(7, 1);
    ASSERT_NE(rule, nullptr) << c.what;
    const SettingsTarget t = target();
    WORD flags = 0;
    EXPECT_EQ(EvaluateRuleCondition(&t, nullptr, &rule->conditions.items[0], nullptr, &flags), c.expected) << c.what;
    release(rule);
  }
}

TEST_F(RulesTest, TextConditionsAndTheChangedValue) {
  reopen(json::array({rule7({cond(297, 1, {{"type", 6}, {"value", "Draft"}}, 4)}, 3),
                      rule7({cond(271, 1, word(5), 4)}, 3)}));
  set_text(297, u"Draft");
  set(271, 1);
  const SettingsTarget t = target();
  DddRule* text_rule = load_rule(7, 1);
  DddRule* word_rule = load_rule(7, 2);
  ASSERT_TRUE(text_rule && word_rule);
  EXPECT_EQ(EvaluateRuleCondition(&t, nullptr, &text_rule->conditions.items[0], nullptr, nullptr), 1);
  const char16_t* other = u"Secret";
  const SettingChange text_change{297, kTypeString, other};
  EXPECT_EQ(EvaluateRuleCondition(&t, &text_change, &text_rule->conditions.items[0], nullptr, nullptr), 0);
  // The new value of the changed item stands in for the stored one.
  const WORD five = 5;
  const SettingChange change{271, kTypeWord, &five};
  EXPECT_EQ(EvaluateRuleCondition(&t, nullptr, &word_rule->conditions.items[0], nullptr, nullptr), 0);
  EXPECT_EQ(EvaluateRuleCondition(&t, &change, &word_rule->conditions.items[0], nullptr, nullptr), 1);
  release(text_rule);
  release(word_rule);
}

// ------------------------------------------------------------ mode gates

TEST_F(RulesTest, FlagWordGatesRulesByCheckMode) {
  struct Case {
    WORD flags;
    INT fires[4];  // modes 0-3
  } const cases[] = {
      {0x0003, {3, 3, 3, 0}},
      {0x0103, {3, 3, 0, 0}},
      {0x0203, {3, 0, 3, 0}},
      {0x4003, {3, 0, 0, 3}},
  };
  for (const auto& c : cases) {
    reopen(json::array({rule7(json::array(), c.flags), rule7({cond(271, 1, word(1), 4)}, c.flags)}));
    set(271, 1);
    const SettingsTarget t = target();
    DddRule* bare = load_rule(7, 1);
    DddRule* conditioned = load_rule(7, 2);
    ASSERT_TRUE(bare && conditioned);
    for (WORD mode = 0; mode < 4; ++mode) {
      WORD flags = 0;
      EXPECT_EQ(CheckConstraintRule(mode, kPrinter, &t, bare, nullptr, nullptr, nullptr, nullptr, nullptr, &flags),
                c.fires[mode])
          << std::hex << c.flags << " mode " << mode;
      EXPECT_EQ(CheckConstraintRule(mode, kPrinter, &t, conditioned, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    &flags),
                c.fires[mode] ? 1 : 0)
          << std::hex << c.flags << " mode " << mode;
    }
    release(bare);
    release(conditioned);
  }
}

// ------------------------------------------------------------ the walk and the check

TEST_F(RulesTest, HeadValuesDecideThePasses) {
  // Item 333's own rules (the record is looked up without the new value).
  reopen(json::array({
      item(333, {1, 2, 3}, {1, 2}, {1}),
      choice(1, 1), choice(2, 2), choice(3, 3),
      rule7(json::array(), 2, {{"ddmid", 333}, {"op", 1}, {"value", table_ref(1)}}),
      rule7({cond(271, 1, word(1), 4)}, 9, {{"ddmid", 333}, {"op", 2}, {"value", word(2)}}),
      rule8({{"ddmid", 333}, {"op", 1}, {"value", word(3)}}, 6),
      table(1, {1, 2, 3}),
  }));
  set(271, 1);
  struct Case {
    WORD value;
    WORD kind;
    std::vector<WORD> rules, rules_alt;
  } const cases[] = {
      {2, 2, {1}, {}},        // the pass of the value 2 only; 2 is not "!= 2"
      {3, 6, {1, 2}, {1}},    // 6 outranks 2 and 9
      {5, 9, {2}, {}},        // no head value equals 5
  };
  for (const auto& c : cases) {
    const Outcome o = check(kCheckModeAll, 333, &c.value, 1);
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.kind, c.kind) << c.value;
    EXPECT_EQ(o.rules, c.rules) << c.value;
    EXPECT_EQ(o.rules_alt, c.rules_alt) << c.value;
  }
  // Involved DDMIDs: the conditions of type-7 rules, the head of type-8.
  const WORD three = 3;
  const Outcome o = check(kCheckModeAll, 333, &three, 1);
  EXPECT_EQ(o.ddmids, (std::vector<WORD>{271, 333}));
  EXPECT_EQ(o.out, (std::vector<WORD>{271, 333, 0}));
}

TEST_F(RulesTest, ChoiceRulesAndTheHandedOutList) {
  reopen(json::array({
      item(333, {1, 2}),
      choice(1, 1, {1}), choice(2, 2),
      rule7({cond(271, 1, word(1), 1), cond(407, 1, word(2), 4)}, 13),
  }));
  set(271, 1), set(407, 2);
  const WORD one = 1, two = 2;
  Outcome o = check(kCheckModeAll, 333, &one);
  EXPECT_EQ(o.kind, 13);
  EXPECT_EQ(o.rules, std::vector<WORD>{1});
  EXPECT_EQ(o.out, (std::vector<WORD>{271, 407, 333, 0}));
  o = check(kCheckModeAll, 333, &two);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.kind, 0);
  EXPECT_TRUE(o.out.empty());
  // A value with no choice: no record, nothing applies.
  const WORD seven = 7;
  o = check(kCheckModeAll, 333, &seven);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.kind, 0);
}

TEST_F(RulesTest, ChangeModeDisregardsGroupsWhoseItemsAreBlocked) {
  reopen(json::array({
      item(333, {1}, {1}), choice(1, 1),
      item(271, {2}, {2}), choice(2, 1),
      rule7({cond(271, 1, word(1), 4)}, 3),
      rule7(json::array(), 1),  // 271 itself is unavailable
  }));
  set(271, 1), set(333, 1);
  EXPECT_EQ(check(kCheckModeAll, 333, nullptr).kind, 3);
  EXPECT_EQ(check(kCheckModeChange, 333, nullptr).kind, 0);
}

TEST_F(RulesTest, CurrentValueInBlockingConflictMayChange) {
  reopen(json::array({
      item(333, {1, 2}, {1}), choice(1, 1), choice(2, 2, {2}),
      rule7(json::array(), 7),
      rule7(json::array(), 3),
  }));
  const WORD two = 2;
  // Mode 0 sees the new value's rule.
  EXPECT_EQ(check(kCheckModeAll, 333, &two).kind, 3);
  // Mode 1 first checks the current value: kind 7 lets the change through.
  const Outcome o = check(kCheckModeChange, 333, &two);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.kind, 0);
  EXPECT_TRUE(o.out.empty());
}

TEST_F(RulesTest, FilterKeepsThePreviousReport) {
  reopen(json::array({item(270, {1}, {1}), choice(1, 1), rule7(json::array(), 3)}));
  ConflictReport* report = NewConflictReport();
  report->kind = 9;
  ASSERT_EQ(AddToIdList(&report->ddmids, 8), 0);
  const WORD filter[] = {5, 0};
  Outcome o = check(kCheckModeAll, 270, nullptr, 0, filter, report);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.kind, 9);
  EXPECT_EQ(o.ddmids, std::vector<WORD>{8});
  // A filter naming the item lets the check run.
  const WORD named[] = {270, 0};
  o = check(kCheckModeAll, 270, nullptr, 0, named, report);
  EXPECT_EQ(o.kind, 3);
  FreeConflictReport(report);
}

TEST_F(RulesTest, SpecialItemRules) {
  reopen(json::array({item(8, {1}), choice(1, 9)}));
  set_text(297, u"Confidential");
  const WORD a4_rotated = 308, a4 = 9;
  Outcome o = check(kCheckModeAll, 8, &a4_rotated);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.kind, 3);
  EXPECT_EQ(o.out, (std::vector<WORD>{297, 8, 0}));
  o = check(kCheckModeAll, 8, &a4);
  EXPECT_EQ(o.kind, 0);
  EXPECT_TRUE(o.out.empty());
  set_text(297, u"");
  EXPECT_EQ(check(kCheckModeAll, 8, &a4_rotated).kind, 0);

  // Stamps switched off: a stamp command is unavailable; its followers are
  // the stamp settings.
  set(321, 1);
  o = check(kCheckModeAll, 36866, nullptr);
  EXPECT_EQ(o.kind, 1);
  EXPECT_EQ(o.ddmids, (std::vector<WORD>{296, 297}));
  EXPECT_EQ(o.out, (std::vector<WORD>{296, 297, 36866, 0}));
  EXPECT_EQ(check(kCheckModeAll, 1284, nullptr).kind, 6);

  // The fixed rules without a new value, by item; -1: no rule applies.
  set(321, 0);
  set_text(297, u"Confidential");
  struct Case {
    WORD ddmid;
    WORD stamps_off;
    INT kind;
    std::vector<WORD> out;
  } const cases[] = {
      {5186, 0, 6, {}},               // no outside prompt component: hidden
      {5163, 0, -1, {}},              // needs the component
      {5204, 0, -1, {}},
      {1333, 0, 0, {}},
      {1341, 0, 6, {}},               // a current platform
      {36865, 0, 0, {}},              // room for a new stamp
      {36865, 1, 1, {296, 36865, 0}},
      {36867, 0, 1, {296, 297, 36867, 0}},  // the store does not hold it (built-in names are never deletable)
      {36867, 1, 1, {296, 297, 36867, 0}},
      {1286, 0, 0, {}},
      {36903, 0, 6, {}},              // no security-marking plug-in
  };
  for (const auto& c : cases) {
    set(321, c.stamps_off);
    ConflictReport* special = NewConflictReport();
    const SettingsTarget t = target();
    const SettingChange change{c.ddmid, 0, nullptr};
    WORD inline_ids[kCheckDdmidRoom];
    WORD* ids = inline_ids;
    WORD count = 0;
    const DdmidListRef out{&ids, &count, kCheckDdmidRoom, inline_ids};
    const INT r = CheckSpecialItemRules(kPrinter, &t, &change, nullptr, special, &out);
    EXPECT_EQ(r, c.kind < 0 ? 6 : 0) << c.ddmid;
    if (c.kind >= 0) {
      EXPECT_EQ(special->kind, c.kind) << c.ddmid;
    }
    ClearDdmidList(&out);
    FreeConflictReport(special);
    const Outcome o = check(kCheckModeAll, c.ddmid, nullptr);
    EXPECT_EQ(o.result, 0) << c.ddmid;
    EXPECT_EQ(o.out, c.out) << c.ddmid;
  }
  set(321, 0);
  // The platform setting 293 is refused only on the oldest systems.
  const WORD three = 3;
  ConflictReport* platform = NewConflictReport();
  EXPECT_EQ(CheckSettingChange(kCheckModeAll, kPrinter, handle, dm.data(), pd.data(), nullptr, 293, kTypeWord, &three,
                               platform, nullptr, 0),
            0);
  EXPECT_EQ(platform->kind, 0);
  FreeConflictReport(platform);

  // No printer handle: the check cannot run.
  ConflictReport* report = NewConflictReport();
  EXPECT_EQ(CheckSettingChange(kCheckModeAll, nullptr, handle, dm.data(), pd.data(), nullptr, 8, 2, &a4, report,
                               nullptr, 0),
            1);
  EXPECT_EQ(CheckSettingChange(kCheckModeAll, kPrinter, nullptr, dm.data(), pd.data(), nullptr, 8, 2, &a4, report,
                               nullptr, 0),
            1);
  FreeConflictReport(report);
}

// ------------------------------------------------------------ papers

// User paper slot 0 is code 262, slot 1 code 263; the custom paper is 256.
TEST_F(RulesTest, PaperRangeConditions) {
  reopen(json::array({
      item(271, {1}), choice(1, 1, json::array(), json::array(), 5),
      dims(5, {1000, 1480}, {2970, 4200}),
      {{"kind", 10}, {"id", 9}, {"name", "A4"}, {"size", 6}, {"area", 6}, {"margin", 6}},
      dims(6, {2100, 2970}, {2100, 2970}),
      rule7({cond(271, 9, word(1), 4)}, 3),
      rule7({cond(271, 13, word(1), 4)}, 3),
  }));
  const SettingsTarget t = target();
  DddRule* output = load_rule(7, 1);
  DddRule* input = load_rule(7, 2);
  ASSERT_TRUE(output && input);
  struct Case {
    const char* what;
    DWORD out_paper, in_paper, width0, length0, width1, length1, custom_w, custom_l;
    INT output_expected;
    WORD output_flags;
    INT input_expected;
    WORD input_flags;
  } const cases[] = {
      {"user paper too narrow", 262, 9, 900, 2000, 0, 0, 0, 0, 1, 0x2, 0, 0},
      {"user paper within", 262, 9, 1200, 2000, 0, 0, 0, 0, 0, 0, 0, 0},
      {"bounds included", 262, 9, 1000, 4200, 0, 0, 0, 0, 0, 0, 0, 0},
      {"a database paper is not tested", 9, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {"same as input: the custom paper", 267, 256, 0, 0, 0, 0, 3000, 3000, 1, 0x2, 1, 0x1},
      {"input user paper too long", 9, 263, 0, 0, 1200, 5000, 0, 0, 0, 0, 1, 0x1},
  };
  for (const auto& c : cases) {
    set(262, c.out_paper), set(8, c.in_paper);
    set(5889, c.width0), set(5909, c.length0), set(5890, c.width1), set(5910, c.length1);
    set(1863, c.custom_w), set(1864, c.custom_l);
    WORD flags = 0;
    EXPECT_EQ(EvaluateRuleCondition(&t, nullptr, &output->conditions.items[0], nullptr, &flags), c.output_expected)
        << c.what;
    EXPECT_EQ(flags, c.output_flags) << c.what;
    flags = 0;
    EXPECT_EQ(EvaluateRuleCondition(&t, nullptr, &input->conditions.items[0], nullptr, &flags), c.input_expected)
        << c.what;
    EXPECT_EQ(flags, c.input_flags) << c.what;
  }
  // The PJL paper-range test reads the same range.
  set(262, 262), set(5889, 900), set(5909, 2000);
  EXPECT_EQ(CheckPaperRangeRule(kPrinter, &t, &output->conditions.items[0]), 1);
  set(5889, 1200);
  EXPECT_EQ(CheckPaperRangeRule(kPrinter, &t, &output->conditions.items[0]), 0);
  EXPECT_EQ(CheckPaperRangeRule(kPrinter, &t, &input->conditions.items[0]), 2);
  // Following the input paper: a printer without forms leaves its stored value.
  set(262, 267), set(8, 262);
  EXPECT_EQ(CheckPaperRangeRule(kPrinter, &t, &output->conditions.items[0]), 0);
  set(5889, 900);
  EXPECT_EQ(CheckPaperRangeRule(kPrinter, &t, &output->conditions.items[0]), 1);
  release(output);
  release(input);
}

TEST_F(RulesTest, SourceSizeConditionsAndPostChecks) {
  reopen(json::array({
      tray(4, 5), tray(7, 6), tray(8, 5, {8}),
      dims(5, {1000, 1480}, {2970, 4200}),
      dims(6, {500, 500}, {2500, 1500}),
      rule7({cond(271, 7, word(1), 4)}, 3),
      rule7({cond(271, 12, word(1), 4)}, 3),
      rule7(json::array(), 0x0400 | 3),  // post-check 1: the tray's range
  }));
  set(271, 1);
  set(262, 262), set(5889, 1200), set(5909, 2000);
  const SettingsTarget t = target();
  DddRule* normal = load_rule(7, 1);
  DddRule* either = load_rule(7, 2);
  DddRule* post = load_rule(7, 3);
  ASSERT_TRUE(normal && either && post);
  struct Case {
    const char* what;
    DWORD tray, source;
    INT normal_expected, either_expected, post_expected;
    WORD flags;
  } const cases[] = {
      {"within the tray's range", 4, 0, 0, 0, 0, 0},
      {"outside; fits turned", 7, 0, 1, 0, 1, 0x2 | 0x8},
      {"a tray without an entry for 262", 8, 0, 1, 1, 1, 0x2 | 0x8},
      {"the paper source's tray", 258, 4, 0, 0, 0, 0},
      {"the paper source's tray, outside", 258, 7, 1, 0, 1, 0x2 | 0x4 | 0x8},
  };
  for (const auto& c : cases) {
    set(265, c.tray), set(13, c.source);
    WORD flags = 0;
    EXPECT_EQ(EvaluateRuleCondition(&t, nullptr, &normal->conditions.items[0], nullptr, &flags), c.normal_expected)
        << c.what;
    EXPECT_EQ(flags, c.normal_expected ? c.flags : 0) << c.what;
    EXPECT_EQ(EvaluateRuleCondition(&t, nullptr, &either->conditions.items[0], nullptr, nullptr), c.either_expected)
        << c.what;
    flags = 0x4000;
    const INT kept = CheckSourceSizePostCondition(kCheckModeAll, &t, post, nullptr, &flags);
    EXPECT_EQ(kept, c.post_expected) << c.what;
    EXPECT_EQ(flags, kept ? (0x4000 | c.flags) : 0) << c.what;
  }
  // A database paper is no source-size matter for conditions.
  set(262, 9);
  EXPECT_EQ(EvaluateRuleCondition(&t, nullptr, &normal->conditions.items[0], nullptr, nullptr), 0);
  release(normal);
  release(either);
  release(post);
}

TEST_F(RulesTest, SourceSizePostCheckKinds) {
  json records = json::array({dims(9, {1000, 1000}, {2000, 3000}), tray(4, 9), tray(264, 9), tray(5, 9), tray(6, 9),
                              {{"kind", 6}, {"id", 1}, {"name", "Finisher"}, {"dimension", 9}, {"ddmids", {262}}}});
  for (int kind = 1; kind <= 9; ++kind) records.push_back(rule7(json::array(), (kind << 10) | 3));
  reopen(records);
  set(262, 262), set(410, 263), set(411, 264);  // user paper slots 0, 1 and 2
  set(265, 4), set(389, 5), set(333, 6), set(266, 1), set(407, 4), set(409, 264);
  const SettingsTarget t = target();
  struct Case {
    WORD kind;
    WORD flags;              // reported when the paper does not fit
    bool uses_output_paper;  // else the paper of 410 or 411
  } const cases[] = {
      {2, 0x12, true}, {3, 0x22, true}, {5, 0x140, false}, {6, 0x480, false},
      {7, 0xA0, false}, {8, 0x60, false}, {9, 0x802, true},
  };
  auto sizes = [&](DWORD output_length, DWORD other_length) {
    set(5889, 1500), set(5909, output_length);
    set(5890, 1500), set(5910, other_length);
    set(5891, 1500), set(5911, other_length);
  };
  for (const bool enabled : {true, false}) {
    set(1313, enabled), set(332, enabled);
    for (const auto& c : cases) {
      DddRule* rule = load_rule(7, c.kind);
      ASSERT_NE(rule, nullptr);
      const bool switchable = c.kind == 2 || c.kind == 9;
      for (const bool output_outside : {false, true}) {
        sizes(output_outside ? 3500 : 2500, output_outside ? 2500 : 3500);
        const bool outside = output_outside == c.uses_output_paper;
        const bool kept = outside && (enabled || !switchable);
        WORD flags = 0x8000;
        EXPECT_EQ(CheckSourceSizePostCondition(kCheckModeAll, &t, rule, nullptr, &flags), kept ? 1 : 0)
            << "kind " << c.kind << " enabled " << enabled << " output outside " << output_outside;
        EXPECT_EQ(flags, kept ? (0x8000 | c.flags) : 0) << "kind " << c.kind;
      }
      release(rule);
    }
  }
}

TEST_F(RulesTest, PaperLimitsPostCheckAndTheWalk) {
  reopen(json::array({
      item(333, {1}), choice(1, 1, {1}),
      {{"kind", 10}, {"id", 262}, {"name", "User 1"}, {"size", 5}, {"area", 5}, {"margin", 5}},
      dims(5, {1000, 1000}, {2000, 3000}),
      rule7(json::array(), 0x1000 | 5),  // post-check 4, kind 5
  }));
  set(262, 262), set(5889, 1500), set(5909, 2500);
  const WORD one = 1;
  Outcome o = check(kCheckModeAll, 333, &one);
  EXPECT_EQ(o.kind, 0);
  EXPECT_TRUE(o.rules.empty());
  set(5909, 3500);
  o = check(kCheckModeAll, 333, &one);
  EXPECT_EQ(o.kind, 5);
  EXPECT_EQ(o.flags, 0x2);
  EXPECT_EQ(o.rules, std::vector<WORD>{1});
}

// ------------------------------------------------------------ actions

TEST_F(RulesTest, ActionsWriteValuesAndRecordThem) {
  reopen(json::array({
      item(407, {1, 2}), choice(1, 7), choice(2, 8),
      item(8, {3}), choice(3, 9),
      rule7(json::array(), 3, {{"op", 0}, {"value", no_value()}},
            {{{"ddmid", 271}, {"value", word(5)}}, {{"ddmid", 407}, {"value", word(0x8000)}},
             {{"ddmid", 408}, {"value", word(0x8001)}}}),
      rule7(json::array(), 0x0103, {{"op", 0}, {"value", no_value()}}, {{{"ddmid", 271}, {"value", word(6)}}}),
      rule7(json::array(), 3, {{"op", 0}, {"value", no_value()}}, {{{"ddmid", 271}, {"value", word(6)}}}),
      rule7(json::array(), 3),
  }));
  const SettingsTarget t = target();
  WORD inline_ids[kChangedItemRoom];
  WORD* ids = inline_ids;
  WORD count = 0;
  const DdmidListRef changed{&ids, &count, kChangedItemRoom, inline_ids};

  DddRule* rule = load_rule(7, 1);
  ASSERT_NE(rule, nullptr);
  EXPECT_EQ(ApplyRuleActionList(&t, rule, &changed), 4);
  EXPECT_EQ(get(271), 5);
  EXPECT_EQ(get(407), 7);  // the item's own default
  EXPECT_EQ(get(408), 9);  // the paper size's default
  EXPECT_EQ(std::vector<WORD>(ids, ids + count), (std::vector<WORD>{271, 407, 408}));
  release(rule);

  // An already changed item is written again unless the flag word is 3.
  rule = load_rule(7, 3);
  EXPECT_EQ(ApplyRuleActionList(&t, rule, &changed), 4);
  EXPECT_EQ(get(271), 5);
  release(rule);
  rule = load_rule(7, 2);
  EXPECT_EQ(ApplyRuleActionList(&t, rule, &changed), 4);
  EXPECT_EQ(get(271), 6);
  release(rule);
  rule = load_rule(7, 4);
  EXPECT_EQ(ApplyRuleActionList(&t, rule, &changed), 3);
  release(rule);
  ClearDdmidList(&changed);

  // The walk in apply mode runs the actions of every rule that fires.
  reopen(json::array({
      item(333, {1}), choice(1, 1, {1, 2}),
      rule7({cond(271, 1, word(1), 4)}, 3, {{"op", 0}, {"value", no_value()}}, {{{"ddmid", 409}, {"value", word(4)}}}),
      rule7({cond(271, 1, word(2), 4)}, 3, {{"op", 0}, {"value", no_value()}}, {{{"ddmid", 410}, {"value", word(4)}}}),
  }));
  set(271, 1);
  const SettingsTarget t2 = target();
  DddValue* choice_record = nullptr;
  WORD kind = 0;
  const WORD one = 1;
  ASSERT_EQ(DddGetItemValue(DDD_LOAD_FULL, &handle->main, &handle->linked, 333, &one, &kind, &choice_record), DDD_OK);
  const SettingChange change{333, kTypeWord, &one};
  EXPECT_EQ(WalkConstraintRules(kCheckModeAll, FALSE, 0, kPrinter, &t2, &change, nullptr, choice_record, &changed,
                                nullptr),
            0);
  EXPECT_EQ(get(409), 4);
  EXPECT_EQ(get(410), 0);
  EXPECT_EQ(std::vector<WORD>(ids, ids + count), std::vector<WORD>{409});
  // Apply mode needs the list, collect mode the report.
  EXPECT_EQ(WalkConstraintRules(kCheckModeAll, FALSE, 0, kPrinter, &t2, &change, nullptr, choice_record, nullptr,
                                nullptr),
            1);
  EXPECT_EQ(WalkConstraintRules(kCheckModeAll, TRUE, 0, kPrinter, &t2, &change, nullptr, choice_record, nullptr,
                                nullptr),
            1);
  DddFreeValue(&choice_record, 0xFFFF);
  ClearDdmidList(&changed);
}

}  // namespace

namespace {

// The demo printer's rule: two-sided printing does not take the manual feed.
TEST_F(RulesTest, DemoPrinterTwoSidedAndManualFeed) {
  open_demo();
  if (HasFatalFailure()) return;
  ASSERT_TRUE(FillDefaultSettings(handle, dm.data(), pd.data(), u"Demo Printer"));
  const WORD long_edge = 2;
  EXPECT_EQ(check(kCheckModeChange, 16, &long_edge).kind, 0);
  set(13, 4);
  const Outcome o = check(kCheckModeChange, 16, &long_edge);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.kind, 3);
  EXPECT_EQ(o.rules, std::vector<WORD>{1});
  EXPECT_EQ(o.out, (std::vector<WORD>{13, 16, 0}));

  // Its action moves the paper source back to automatic selection.
  DddRule* rule = load_rule(7, 1);
  ASSERT_NE(rule, nullptr);
  const SettingsTarget t = target();
  EXPECT_EQ(ApplyRuleActionList(&t, rule, nullptr), 4);
  EXPECT_EQ(get(13), 7);
  release(rule);
}

}  // namespace

namespace {

// Out of memory at any allocation of a check: a failure result, nothing
// handed out, nothing leaked; otherwise the full answer.
TEST_F(RulesTest, CheckSurvivesEveryAllocationFailure) {
  const WORD ddmids[] = {389, 407, 408, 409, 410, 411, 262, 265, 266, 271, 333, 296};
  json conditions = json::array();
  for (WORD d : ddmids) conditions.push_back(cond(d, 1, word(0), d == 296 ? 4 : 1));
  reopen(json::array({item(8, {1}), choice(1, 9, {1, 2}), rule7(conditions, 3), rule7(json::array(), 13)}));
  const WORD a4 = 9;
  ConflictReport* report = NewConflictReport();
  ASSERT_NE(report, nullptr);
  bool complete = false;
  for (int skip = 0; skip < 400 && !complete; ++skip) {
    ResetConflictReport(report);
    WORD* out = nullptr;
    morva::platform::inject_allocation_failure(skip, 1);
    const INT r = CheckSettingChange(kCheckModeChange, kPrinter, handle, dm.data(), pd.data(), nullptr, 8, kTypeShort,
                                     &a4, report, &out, 0);
    morva::platform::inject_allocation_failure(0, 0);
    if (r != 0) {
      EXPECT_TRUE(r == 1 || r == 2) << "skip " << skip << " result " << r;
      EXPECT_EQ(out, nullptr) << "skip " << skip;
      continue;
    }
    ASSERT_NE(out, nullptr) << "skip " << skip;
    std::vector<WORD> handed;
    for (WORD* p = out; *p; ++p) handed.push_back(*p);
    GlobalFree(out);
    EXPECT_EQ(report->kind, 13) << "skip " << skip;
    EXPECT_EQ(handed.size(), 13u) << "skip " << skip;
    EXPECT_EQ(handed.back(), 8);
    EXPECT_EQ(report->ddmids.count, 12);
    complete = true;
  }
  EXPECT_TRUE(complete);
  FreeConflictReport(report);
}

}  // namespace

namespace {

TEST_F(RulesTest, ApplyingTheRulesOfAReportAndExtraItems) {
  reopen(json::array({
      item(333, {1}), choice(1, 1, {1, 2}, {1}),
      rule7(json::array(), 3, {{"op", 0}, {"value", no_value()}}, {{{"ddmid", 271}, {"value", word(5)}}}),
      rule7(json::array(), 9),
      {{"kind", 8},
       {"head", {{"ddmid", 333}, {"op", 1}, {"value", word(1)}}},
       {"flags", 2},
       {"actions", {{{"ddmid", 407}, {"value", word(6)}}}}},
  }));
  const WORD one = 1;
  ConflictReport* report = NewConflictReport();
  ASSERT_EQ(CheckSettingChange(kCheckModeAll, kPrinter, handle, dm.data(), pd.data(), nullptr, 333, kTypeWord, &one,
                               report, nullptr, 0),
            0);
  EXPECT_EQ(report->rules.count, 2);
  EXPECT_EQ(report->rules_alt.count, 1);
  EXPECT_EQ(report->kind, 2);  // 2 outranks 3 and 9

  const SettingsTarget t = target();
  WORD inline_ids[kChangedItemRoom];
  WORD* ids = inline_ids;
  WORD count = 0;
  const DdmidListRef changed{&ids, &count, kChangedItemRoom, inline_ids};
  EXPECT_EQ(ApplyReportRuleActions(&t, report, &changed), 4);
  EXPECT_EQ(get(271), 5);
  EXPECT_EQ(get(407), 6);
  EXPECT_EQ(std::vector<WORD>(ids, ids + count), (std::vector<WORD>{271, 407}));

  // A rule without actions applies nothing; a rule that is not there fails.
  const WORD quiet[] = {2}, missing[] = {1, 7};
  EXPECT_EQ(ApplyRuleActions(1, &t, &changed, 1, quiet), 3);
  EXPECT_EQ(ApplyRuleActions(1, &t, &changed, 2, missing), 1);

  // Extra items: a number and a text held in its cell.
  const WORD seven = 7;
  auto* text = static_cast<WCHAR*>(GlobalAlloc(GPTR, 16));
  std::char_traits<char16_t>::copy(text, u"Stamp", 6);
  auto** cell = static_cast<WCHAR**>(GlobalAlloc(GPTR, sizeof(WCHAR*)));
  *cell = text;
  const ConflictItem items[] = {{409, kTypeWord, 2, const_cast<WORD*>(&seven)}, {297, kTypeString, 12, cell}};
  EXPECT_EQ(ApplyItemValues(&t, &changed, 2, items), 4);
  EXPECT_EQ(get(409), 7);
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  ASSERT_EQ(GetItemValue(297, dm.data(), pd.data(), &type, &size, &v), kDdmOk);
  EXPECT_EQ(ItemText(v, size), u"Stamp");
  EXPECT_EQ(std::vector<WORD>(ids, ids + count), (std::vector<WORD>{271, 407, 409, 297}));
  EXPECT_EQ(ApplyItemValues(&t, &changed, 0, items), 3);
  EXPECT_EQ(ApplyItemValues(nullptr, &changed, 2, items), 1);
  const DdmidListRef no_count{&ids, nullptr, kChangedItemRoom, inline_ids};
  EXPECT_EQ(ApplyItemValues(&t, &no_count, 2, items), 1);
  GlobalFree(text);
  GlobalFree(cell);
  ClearDdmidList(&changed);
  FreeConflictReport(report);
}

}  // namespace
