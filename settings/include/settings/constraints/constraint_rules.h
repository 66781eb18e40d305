// Evaluation of the device database's constraint rules (records of kinds 7
// and 8): value comparisons, conditions and their groups, paper-size
// conditions, post-checks, the walk over an item's rules (collecting
// conflicts or applying the rules' actions) and action lists.
#pragma once

#include <string>

#include "settings/constraints/conflict_report.h"
#include "settings/database/ddd_records.h"
#include "win/types.h"

struct DddHandle;

// Where every evaluation reads and writes settings.
struct SettingsTarget {
  DddHandle* database;
  void* devmode;       // the driver DEVMODE (5988 bytes)
  void* printer_data;  // the PrinterData block
};

// The setting about to change. A null value stands for the value now in
// the settings. Scalars point at a value of the type's width, texts (type
// 6) at the NUL-terminated UTF-16 text.
struct SettingChange {
  WORD ddmid;
  WORD type;
  const void* value;
};

// Check modes: 0 evaluates every rule; 1 and 2 skip the rules whose flag
// word excludes them; 3 evaluates only the rules marked for it.
inline constexpr WORD kCheckModeAll = 0;
inline constexpr WORD kCheckModeChange = 1;
inline constexpr WORD kCheckModeView = 2;
inline constexpr WORD kCheckModeDefault = 3;

// Bits of a rule's flag word.
inline constexpr WORD kRuleKindMask = 0x00FF;
inline constexpr WORD kRuleSkipMode2 = 0x0100;
inline constexpr WORD kRuleSkipMode1 = 0x0200;
inline constexpr WORD kRuleOnlyMode3 = 0x4000;
inline constexpr WORD kRulePostCheckMask = 0x3C00;
inline constexpr int kRulePostCheckShift = 10;

// Results of CompareRuleValue.
inline constexpr INT kCompareTrue = 9;
inline constexpr INT kCompareFalse = 10;
inline constexpr INT kCompareNotApplicable = 11;
inline constexpr INT kCompareMissing = 6;
inline constexpr INT kCompareTypesDiffer = 7;
inline constexpr INT kCompareUnsupported = 8;

// Compares a setting's value S with a rule's value V by `op`: 0, 1, 7, 8,
// 10-12 S = V; 2 S != V; 3 S < V; 4 S <= V; 5 S > V; 6 S >= V. Types 1 and 6
// know only = and !=. Answers 9 true, 10 false, 11 operator not applicable,
// 6 missing value, 7 types differ, 8 type not supported.
INT CompareRuleValue(BYTE op, WORD rule_type, const void* rule_value, WORD setting_type, const void* setting_value);
INT CompareSignedValues(BYTE op, LONG setting, LONG rule);
INT CompareUnsignedValues(BYTE op, DWORD setting, DWORD rule);

// Width and length (tenths of a millimetre) of a paper: the user paper
// slots from their settings, the custom paper 256 from the stored custom
// size, any other id from its database paper record. FALSE when unknown.
BOOL GetPaperDimensions(const SettingsTarget* target, WORD paper, DddPair* size);

// The values the paper conditions and post-checks look at; `mask` has a
// conflict flag set for each item read (kConflictFlag*).
struct PaperSnapshot {
  WORD output_paper;  // 262, or 8 when 262 says "same as the input paper"
  WORD tray;          // 265, or 13 when 265 says "the paper source"
  WORD item389;
  DWORD item1313;
  WORD item333;
  WORD item332;
  WORD item266;
  WORD item410;
  WORD item411;
  WORD mask;
};
BOOL CollectPaperSnapshot(const SettingsTarget* target, const SettingChange* change, PaperSnapshot* out);

// Size range that the kind-5 or kind-6 record `id` gives item 262:
// 0 found, 1 the record cannot be loaded, 2 it has no entry for item 262.
INT GetSourceSizeRange(DddHandle* database, WORD kind, WORD id, DddPair* smallest, DddPair* largest);

// Writes a value of the type (4 bytes for types 1, 4, 5 and 10, 2 for 2 and
// 3, 1 for 8, a text with its terminator for 6). 0 written, 1 refused or
// failed (types 7 and 9 are refused).
INT SetTargetItemValue(const SettingsTarget* target, WORD ddmid, WORD type, const void* value);

// One condition: 1 true, 0 false, 2 error; `flags` receives the conflict
// flags a paper condition reports. `item` is the database record of the
// changed item (kind 3, 4, 13 or 14) or null.
INT EvaluateRuleCondition(const SettingsTarget* target, const SettingChange* change, const DddCondition* condition,
                          const DddValue* item, WORD* flags);

// A growing list of DDMIDs owned by the caller (see AddChangedItem).
struct DdmidListRef {
  WORD** ids;
  WORD* count;
  WORD room;
  WORD* inline_ids;  // the list's inline array (room entries)
};
// Empties such a list, freeing a grown array.
void ClearDdmidList(const DdmidListRef* list);

// The conditions of a rule under the check mode: 1 fires, 0 not, 2 error.
// `groups` (may be null) receives the DDMIDs of every group that fired;
// without it the first firing group ends the evaluation.
INT EvaluateRuleConditions(WORD mode, HANDLE printer, const SettingsTarget* target, const DddRule* rule,
                           const SettingChange* change, const DddValue* item, const DdmidListRef* groups, WORD* flags);

// One rule in one pass of its head: 0 does not apply, 1 or 3 fires, 2
// error. `head_value` is the pass's head value (null when the head has
// none). In collect mode (`report` given) the rule's DDMIDs go to list 3.
INT CheckConstraintRule(WORD mode, HANDLE printer, const SettingsTarget* target, const DddRule* rule,
                        const void* head_value, const SettingChange* change, const DddValue* item,
                        ConflictReport* report, const DdmidListRef* groups, WORD* flags);

// Post-checks of a firing rule: 1 the rule stays, 0 it is dropped (and
// *flags cleared), 2 error.
INT CheckSourceSizePostCondition(WORD mode, const SettingsTarget* target, const DddRule* rule,
                                 const SettingChange* change, WORD* flags);
INT CheckPaperLimitsPostCondition(WORD mode, const SettingsTarget* target, const DddRule* rule,
                                  const SettingChange* change, WORD* flags);

// Walks the item's type-7 (selector 0) or type-8 (selector 1) rules. With
// `collect` 1 firing rules go into `report`; with 0 their actions are
// applied and the changed DDMIDs recorded in `changed`. 0 done, 1 error
// (what was applied stays applied).
INT WalkConstraintRules(WORD mode, BOOL collect, WORD selector, HANDLE printer, const SettingsTarget* target,
                        const SettingChange* change, ConflictReport* report, const DddValue* item,
                        const DdmidListRef* changed, const DdmidListRef* groups);

// The value an action writes, with table references loaded and the
// placeholders 0x8000 (the action's own item's default) and 0x8001 (the
// paper size's default) resolved: `text` for type 6, else `value`.
struct ResolvedAction {
  WORD ddmid = 0;
  WORD type = 0;
  BYTE value[4] = {};
  std::u16string text;
};
// 0 resolved, 1 error.
INT ResolveActionValue(const SettingsTarget* target, const DddRule* rule, const DddOperand* action,
                       ResolvedAction* out);

// Applies the rule's actions in order: 4 done, 3 the rule has none, 1
// error. `changed` may be null (a local list is used).
INT ApplyRuleActionList(const SettingsTarget* target, const DddRule* rule, const DdmidListRef* changed);

// The paper-range test of an operator-9 condition for the job's paper (the
// paper of DDMID 8 resolved through the printer's form of that number when
// DDMID 262 follows it): 1 out of range, 0 in range (or no record), 2 error
// or another operator.
INT CheckPaperRangeRule(HANDLE printer, const SettingsTarget* target, const DddCondition* condition);

// Mode-0 checks of each DDMID on the same settings: 0 none conflicts, 1
// one has conflict kind 1, 2 error (conflict_check.cpp).
INT RecheckGroupItems(const SettingsTarget* target, HANDLE printer, const WORD* ddmids, WORD count);
