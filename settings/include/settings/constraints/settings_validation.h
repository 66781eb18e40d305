// Whole-settings validation: repairs a DEVMODE and PrinterData pair into
// one that the database rules accept, and reports the items it changed.
#pragma once

#include "settings/constraints/conflict_messages.h"
#include "settings/constraints/constraint_rules.h"

// Ranges of DDMIDs whose rules the validation applies {first, last}.
struct ValidationRange {
  WORD first;
  WORD last;
};

// 3 validated without a report, 4 validated with *text (GlobalAlloc'ed, the
// caller frees it) naming the changed items in template `template_id` (-3:
// the lines alone), 1 a missing argument or a failed step, 0 the output
// destination could not be chosen. `form_name` resolves the paper through
// its spooler form name first.
INT ValidateSettings(BOOL form_name, HMODULE module, HANDLE printer, DddHandle* database, void* devmode,
                     void* printer_data, INT template_id, const ConflictMessageOptions* options, LPWSTR* text);

// The paper size (8) made valid: 0 valid or replaced by the database
// default (recorded in `changed`), 1 error.
INT CheckPaperSizeItem(const SettingsTarget* target, BOOL form_name, HANDLE printer, const DdmidListRef* changed);
// Item 8 resolved through the paper-size list or the spooler form's name;
// 0 resolved, non-zero not.
INT CheckFormNameItem(HANDLE printer, const SettingsTarget* target);
// Applies the type-7 and type-8 rules of every DDMID of the ranges in apply
// mode, then derives the finishing positions again. 1 fatal, otherwise 0.
INT ApplyRangeRules(HANDLE printer, const SettingsTarget* target, const DdmidListRef* changed, const ValidationRange* ranges,
                    WORD range_count);
// With capability 0xFFFF0028 (and item 4359 not 15): the output destination
// from the finisher and the rules of its new value. 1 ok or not applicable,
// 0 failure.
INT CheckOutputTrayRules(DddHandle* database, void* devmode, void* printer_data);
// Item 266 from the finisher configuration: 1 written or already so, 0 not.
INT ChooseOutputDestination(DddHandle* database, void* devmode, void* printer_data, WORD* value);
