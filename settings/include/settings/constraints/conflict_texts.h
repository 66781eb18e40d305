// The texts of conflict messages and questions: item and value texts, the
// lines that list the settings a conflict involves, and whole messages
// built from the resource module's templates. Nothing here changes a
// setting. Every text is bounded by its buffer: item names and value texts
// are cut to the work buffer, and a message whose lines would not fit its
// buffer is not built at all (the builder answers 0), so that no message
// is shown with settings missing from it.
#pragma once

#include "settings/constraints/conflict_messages.h"
#include "settings/constraints/conflict_report.h"
#include "settings/constraints/constraint_rules.h"

// Room of the collected lines of one message, in characters: 512, and 640
// for the condition lines and the action lines of a conflict question.
inline constexpr INT kConflictLinesChars = 512;
inline constexpr INT kConflictLongLinesChars = 640;
// Room of one item line ("name: value").
inline constexpr INT kConflictLineChars = 2 * kConflictTextChars + 16;
// At most this many actions are listed in one message.
inline constexpr WORD kListedActionRoom = 20;

// A text that lines are appended to: `text` holds `capacity` characters
// with the terminator; `count` counts the lines appended.
struct ConflictLines {
  LPWSTR text;
  INT capacity;
  INT count;
};

// A value to show: `type` and, for scalars, the value's bytes (little
// endian, the type's width), for type 6 the text.
struct ShownValue {
  WORD type;
  const void* value;
};

// The size range of tray or bin `value` (record kind 5 or 6) as template
// 704 in millimetres. 1 made; 0 with `out` empty.
INT FormatRangeText(HMODULE module, DddHandle* database, WORD kind, WORD value, LPWSTR out);
// The name of item `ddmid` (null `value`) or the text of one of its values,
// at most kConflictTextChars characters with the terminator. 1 made, 0 a
// missing name, an unreadable setting or a bad value.
INT FormatItemValueText(BOOL with_range, HMODULE module, const SettingsTarget* target, LPWSTR out, WORD ddmid,
                        const ShownValue* value, const ConflictMessageOptions* options);
// One line (template 706) of the item's name and value text into `out`
// (`capacity` characters). An item whose name begins with "!" is hidden:
// the line is empty and the result 1.
INT FormatItemLine(BOOL with_range, HMODULE module, const SettingsTarget* target, LPWSTR out, INT capacity, WORD ddmid,
                   const ShownValue* value, const ConflictMessageOptions* options);

// Line collectors: 1 done, 0 failed (a line that does not fit fails).
// The actions of type-7 rules `ids` in order; a DDMID set twice shows the
// first rule's value unless a later rule's flag word is exactly 4; at most
// 20 actions.
INT AppendRuleActionLines(BOOL with_range, HMODULE module, const SettingsTarget* target, ConflictLines* lines,
                          WORD count, const WORD* ids, const ConflictMessageOptions* options);
// The items of the condition groups that hold in the type-7 rules `ids`
// (rules with flag word 4 are passed over); `listed` is a 0-terminated list
// of kListedDdmidRoom that keeps items from being listed twice.
INT AppendConditionItemLines(BOOL with_range, HMODULE module, const SettingsTarget* target,
                             const SettingChange* change, ConflictLines* lines, WORD count, const WORD* ids,
                             WORD* listed, const ConflictMessageOptions* options);
// The items of the set conflict flags (kConflictFlag*), with range texts.
INT AppendFlaggedItemLines(ConflictLines* lines, WORD* listed, HMODULE module, const SettingsTarget* target,
                           WORD changed_ddmid, WORD flags, const ConflictMessageOptions* options);
// The items of a DDMID list (`count` entries, or 0 for a 0-terminated one)
// with their current values.
INT AppendItemListLines(const SettingsTarget* target, ConflictLines* lines, HMODULE module, const WORD* ddmids,
                        WORD count, const ConflictMessageOptions* options);
// AppendItemListLines; 1 only when the text is not empty.
INT BuildItemListText(const SettingsTarget* target, ConflictLines* lines, HMODULE module, const WORD* ddmids,
                      WORD count, const ConflictMessageOptions* options);

// Message builders: *out receives a GlobalAlloc'ed message that the caller
// frees (null when none is made). 1 made, 0 not.
INT BuildRangeWarningText(HMODULE module, const SettingsTarget* target, LONG divisor, BOOL integer_only, WORD ddmid,
                          LPCWSTR item_text, WORD type, LONG smallest, LONG largest,
                          const ConflictMessageOptions* options, LPWSTR* out);
INT BuildValueWarningText(HMODULE module, const SettingsTarget* target, const SettingChange* change,
                          const ConflictReport* report, const ConflictMessageOptions* options, LPWSTR* out);
INT BuildConflictQuestionText(BOOL with_actions, HMODULE module, const SettingsTarget* target,
                              const SettingChange* change, LPCWSTR extra_condition, LPCWSTR extra_action,
                              LPCWSTR name_override, LPCWSTR value_override, const ConflictReport* report,
                              const ConflictMessageOptions* options, LPWSTR* out);
INT BuildFinishingPositionText(HMODULE module, const SettingsTarget* target, const SettingChange* change,
                               const ConflictReport* report, const ConflictMessageOptions* options, LPWSTR* out);
INT BuildConflictNoteText(HMODULE module, const SettingsTarget* target, const SettingChange* change,
                          const ConflictReport* report, const ConflictMessageOptions* options, LPWSTR* out);
// Answers 1 with *out null when no rule of the report has the flag word 9.
INT BuildRuleWarningText(HMODULE module, const SettingsTarget* target, const ConflictReport* report,
                         const ConflictMessageOptions* options, LPWSTR* out);
// Answers 1 with *out null when the list gives no lines.
INT BuildConfirmChangesText(HMODULE module, const SettingsTarget* target, const WORD* ddmids, WORD count,
                            const ConflictMessageOptions* options, LPWSTR* out);
// Template `template_id` with the item lines; -3 gives the lines alone.
INT BuildChangeReport(HMODULE module, const SettingsTarget* target, const WORD* ddmids, WORD count, INT template_id,
                      const ConflictMessageOptions* options, LPWSTR* out);
// Kind (flags & 0xF) 0: template 716, 1: 715 (name, new value, lines);
// 2: 714, 3: 713 (lines only).
INT BuildConstraintText(WORD kind_flags, HMODULE module, const SettingsTarget* target, const SettingChange* change,
                        LPCWSTR name_override, LPCWSTR value_override, const WORD* ddmids,
                        const ConflictMessageOptions* options, LPWSTR* out);
