// Applying rule actions and extra items after a conflict check.
#include "settings/constraints/conflict_apply.h"

#include "ddm/ddmid.h"
#include "settings/database/ddd_file.h"

using namespace morva::ddm;

INT ApplyRuleActions(WORD selector, const SettingsTarget* target, const DdmidListRef* changed, WORD count,
                     const WORD* ids) {
  if (!target || !target->database || (count && !ids)) return 1;
  // The ids are the references the item records hold: positions in the
  // kind table, as the walk loads them.
  const WORD kind = selector == 1 ? DDD_KIND_RULE : DDD_KIND_RULE_ALT;
  INT result = 3;
  for (WORD i = 0; i < count; ++i) {
    DddValue* rule = nullptr;
    if (DddLoadValue(DDD_LOAD_FULL, &target->database->main, &target->database->linked, kind, ids[i], &rule) !=
            DDD_OK ||
        !rule)
      return 1;
    const INT r = ApplyRuleActionList(target, static_cast<const DddRule*>(rule), changed);
    DddFreeValue(&rule, 0xFFFF);
    if (r == 1) return 1;
    if (r == 4) result = 4;
  }
  return result;
}

INT ApplyReportRuleActions(const SettingsTarget* target, const ConflictReport* report, const DdmidListRef* changed) {
  if (!report) return 1;
  const INT first = ApplyRuleActions(1, target, changed, report->rules.count, report->rules.ids);
  if (first == 1) return 1;
  const INT second = ApplyRuleActions(0, target, changed, report->rules_alt.count, report->rules_alt.ids);
  if (second == 1) return 1;
  return first == 4 || second == 4 ? 4 : 3;
}

INT ApplyItemValues(const SettingsTarget* target, const DdmidListRef* changed, WORD count, const ConflictItem* items) {
  if (!target || (changed && (!changed->ids || !changed->count))) return 1;
  if (count == 0) return 3;
  if (!items) return 1;
  for (WORD i = 0; i < count; ++i) {
    const ConflictItem& item = items[i];
    if (!item.value) return 1;
    const void* value = item.value;
    if (item.type == kTypeString) value = *static_cast<const WCHAR* const*>(item.value);
    if (SetTargetItemValue(target, item.ddmid, item.type, value)) return 1;
    if (changed && AddChangedItem(item.ddmid, changed->room, changed->ids, changed->count)) return 1;
  }
  return 4;
}
