// Applying the outcome of a conflict check: the actions of the rules that
// fired and the extra items a conflict message asks for.
#pragma once

#include "settings/constraints/constraint_rules.h"

// An extra item to write: for type 6 `value` points to a GlobalAlloc'ed
// cell holding the pointer to a GlobalAlloc'ed text, otherwise to the value.
struct ConflictItem {
  WORD ddmid;
  WORD type;
  DWORD size;
  void* value;
};

// What a conflict message adds to a report: the lines of the conflict
// texts and the items to write. Everything is GlobalAlloc'ed and freed by
// its owner.
struct ConflictExtras {
  LPWSTR condition_line;
  LPWSTR action_line;
  WORD item_count;
  ConflictItem* items;
};

// Runs the action lists of the rules `ids` (positions in the database's
// type-7 rules for selector 1, type-8 rules for selector 0) in order; the
// changed DDMIDs go to `changed`. 4 at least one rule applied actions, 3
// none did, 1 error (what was written before it stays written).
INT ApplyRuleActions(WORD selector, const SettingsTarget* target, const DdmidListRef* changed, WORD count,
                     const WORD* ids);
// Both rule lists of a report: list 1 (type-7 rules), then list 2 (type-8
// rules). 4, 3 or 1 as above.
INT ApplyReportRuleActions(const SettingsTarget* target, const ConflictReport* report, const DdmidListRef* changed);
// Writes the items in order and records their DDMIDs. 4 written, 3 no
// items, 1 error or bad arguments.
INT ApplyItemValues(const SettingsTarget* target, const DdmidListRef* changed, WORD count, const ConflictItem* items);
