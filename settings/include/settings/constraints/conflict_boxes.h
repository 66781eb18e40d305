// The message boxes of conflicts and the resolution of one setting change
// on a property sheet. Every box takes the sheet's window: without the
// sheet's state (or its message options) nothing is shown and the answer
// is 1. Captions are resource string 265; texts come from conflict_texts.h.
// These belong to morvaui's property sheets (library morva_conflict_ui).
#pragma once

#include "settings/constraints/conflict_apply.h"
#include "settings/constraints/entry_checks.h"

// The range warning of an entry check (template 700): 0 shown, 1 no text.
INT ShowConflictWarning(HWND window, const SettingsTarget* target, const EntryCheckState* state, WORD ddmid,
                        const ConflictMessageOptions* options);
// 0 shown, 1 no text.
INT ShowConflictItemsWarning(HWND window, const SettingsTarget* target, const SettingChange* change,
                             LPCWSTR extra_condition, const ConflictReport* report);
// OK/Cancel: 0 OK; 1 any other answer or no text.
INT ShowConflictQuestion(HWND window, const SettingsTarget* target, const SettingChange* change,
                         LPCWSTR extra_condition, LPCWSTR extra_action, const ConflictReport* report);
INT ShowValueWarning(HWND window, const SettingsTarget* target, const SettingChange* change,
                     const ConflictReport* report);
INT ShowFinishingPositionQuestion(HWND window, const SettingsTarget* target, const SettingChange* change,
                                  const ConflictReport* report);
INT ShowConflictNote(HWND window, const SettingsTarget* target, const SettingChange* change,
                     const ConflictReport* report);
// 0 OK or nothing to confirm; 8 any other answer; 1 no text.
INT ShowConfirmChanges(HWND window, const SettingsTarget* target, const WORD* ddmids, WORD count);
// Flag 0x10: a warning (0 shown); otherwise OK/Cancel (0 OK). 1 otherwise.
INT ShowConstraintMessage(HWND window, WORD kind_flags, const SettingsTarget* target, const SettingChange* change,
                          const WORD* ddmids);
// 0 shown, 1 no text (also when no rule of the report has flag word 9).
INT ShowRuleActionWarning(HWND window, const SettingsTarget* target, const ConflictReport* report);

// The message of the report's conflict kind and its answer: 9 go ahead, 3
// the change is not made, 10 not made after a note or a cancelled
// question, 1 error or a kind that has no message.
INT ShowConflictMessageByKind(HWND window, const SettingsTarget* target, const SettingChange* change,
                              const ConflictExtras* extras, const ConflictReport* report);
// After a change of report kind 9 was applied: the rule action warning; 4.
INT ShowItemConflictWarning(HWND window, const SettingsTarget* target, const SettingChange* change,
                            const ConflictReport* report);
// The image placement check with its message: 9 fits or accepted, 3 not,
// 1 error.
INT CheckImageFitsPaperDialog(HWND window, const SettingsTarget* target, const SettingChange* change);
// ShowConfirmChanges on the three; 1 on a missing argument or count 0.
INT ConfirmSettingChange(HWND window, DddHandle* database, void* devmode, void* printer_data, const WORD* ddmids,
                         WORD count);

// The whole change as a sheet makes it: writes the new value and records
// it, then, when the report has a conflict, applies the rule actions of
// list 1 and list 2 and the extra items, in that order (kind 9 then shows
// the rule action warning). 4 applied with changes, 3 only the item
// itself, 1 error (what was written before stays).
INT ApplySettingChange(HWND window, const SettingsTarget* target, const SettingChange* change,
                       const ConflictReport* report, const ConflictExtras* extras, const DdmidListRef* changed);
