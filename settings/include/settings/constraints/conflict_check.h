// The conflict check of one setting change: a few fixed rules for single
// items and the model's database rules, answered in a ConflictReport.
#pragma once

#include "settings/common/common_utils.h"
#include "settings/constraints/constraint_rules.h"

// Checks a change of `ddmid` to the value at `value` (null: the current
// value) against the rest of the settings and fills `report`. `mode` is a
// check mode (kCheckMode*). `filter` is a 0-terminated DDMID list or null.
// With `out_list` given, the DDMIDs the conflict involves come back there
// as a GlobalAlloc'ed 0-terminated array ending with `ddmid`, or null when
// there are none. With `record_by_value` 1 the item's database record is
// looked up without the new value. 0 done (the report says the outcome),
// 1 error, 2 out of memory.
INT CheckSettingChange(WORD mode, HANDLE printer, DddHandle* database, void* devmode, void* printer_data,
                       const WORD* filter, WORD ddmid, WORD type, const void* value, ConflictReport* report,
                       WORD** out_list, WORD record_by_value);

// The database rules of the changed item: 0 done, 6 not applicable (the
// filter excludes it or the database has no record for it), or the walk's
// error.
INT CheckItemConstraints(WORD mode, HANDLE printer, const SettingsTarget* target, const SettingChange* change,
                         const WORD* filter, const ConflictReport* previous, ConflictReport* report,
                         const DdmidListRef* out, WORD record_by_value);

// Whether security marking is available for a printer: 1 yes, 0 no, -1 bad
// arguments (the model's capability bits, the printer's name). The check
// belongs to the security-marking client, which registers it in every library
// that links the client; without one, marking is never available.
using SecurityMarkingCheck = INT (*)(const DeviceCapabilityBits* bits, LPCWSTR printer);
void SetSecurityMarkingCheck(SecurityMarkingCheck check);

// The fixed rules of single items: 0 applied (the report holds the kind),
// 6 not applicable, 1 error, 2 out of memory.
INT CheckSpecialItemRules(HANDLE printer, const SettingsTarget* target, const SettingChange* change,
                          const ConflictReport* previous, ConflictReport* report, const DdmidListRef* out);
