// Entry checks of edit fields, the stamp checks and the image placement
// check: the settings-model side of a property sheet's value change.
#pragma once

#include "settings/constraints/conflict_apply.h"
#include "settings/constraints/conflict_messages.h"
#include "settings/constraints/constraint_rules.h"

// Answers shared with the property sheets.
inline constexpr INT kAnswerGoAhead = 9;
inline constexpr INT kAnswerRefused = 3;
inline constexpr INT kAnswerRefusedAfterNote = 10;
inline constexpr INT kAnswerShowMessage = 11;
inline constexpr INT kAnswerApplied = 4;
inline constexpr INT kAnswerError = 1;
inline constexpr INT kAnswerFits = 12;

// Message codes that an entry check answering 11 gives the sheet: 1 the
// conflict message of the report's kind; 2 the range warning with the
// bounds of the EntryCheckState; 3 the stamp-limit warning; 4 the conflict
// message and then the image placement dialog.
inline constexpr INT kMessageConflict = 1;
inline constexpr INT kMessageRange = 2;
inline constexpr INT kMessageStampLimit = 3;
inline constexpr INT kMessageImagePlacement = 4;

// Field flags of an EntryCheckState.
inline constexpr WORD kFieldConvertedUnits = 0x1;
inline constexpr WORD kFieldAdjustmentSteps = 0x2;
inline constexpr WORD kFieldFixedRange = 0x4;

// The record of one edit field that the property sheet owns.
struct EntryCheckState {
  WCHAR text[kConflictTextChars];  // item text of the range warning; empty: the item's name
  LONG smallest;
  LONG largest;
  WORD type;          // value type of the two bounds
  LONG integer_only;  // for showing them
  WORD divisor;
  WORD field_flags;   // kField*, set by the sheet
  LONG step_switch;   // 1: adjustment values shown as steps
  LONG decimals;      // decimal places of the field
};

// The largest value of a number setting whose database item gives only
// its smallest: the timed print's hour (23) and minute (59), bounded by the
// clock. False for any other setting.
bool ClockSettingLargest(WORD ddmid, LONG* largest);

// Check kinds (the sheet keeps one per setting): 8 range, 12 range and then
// the conflict message, 16 the stamp limit, 1 nothing to check, 4, 36 and
// 132 the conflict message, 68 and 100 the conflict message and the image
// placement dialog. 9, 11 (see *message), 3 or 1.
INT CheckEnteredValue(HANDLE printer, const SettingsTarget* target, const SettingChange* change,
                      const ConflictReport* report, WORD check_kind, INT* message, EntryCheckState* state);
// 9 in range, 11 out of range (message 2, bounds in `state`), 3 no value,
// 1 error or an item it does not handle.
INT CheckNumericItemRange(const SettingsTarget* target, const SettingChange* change, const ConflictReport* report,
                          INT* message, EntryCheckState* state);
// The add-stamp pseudo setting (36865): 3 room for another stamp, 11 with
// message 3 when 32 are stored; 272 answers 9; 1 otherwise.
INT CheckStampCount(HANDLE printer, const SettingsTarget* target, const SettingChange* change,
                    const ConflictReport* report, INT* message);
// 0 done (the extras filled when the stamp conflicts), 1 error or another
// item, 2 out of memory.
INT CheckStampItemConflict(const SettingsTarget* target, const SettingChange* change, ConflictExtras* extras);
// The lines naming the stamp and the two items that clear it. 0, 1 a read
// failed, 2 out of memory (nothing left allocated).
INT BuildStampConflictTexts(void* devmode, void* printer_data, ConflictExtras* extras);
// Frees everything an extras record holds and zeroes it.
void FreeConflictExtras(ConflictExtras* extras);

// Printable width and length (tenths of a millimetre) of a paper. 0, 1 error.
INT GetPaperPrintableArea(const SettingsTarget* target, WORD paper, LONG* width, LONG* length);
// `size` bytes of the change's new value when it changes `ddmid`, else the
// current value. 1 read, 0 failed.
INT ReadChangedOrCurrentValue(const SettingsTarget* target, const SettingChange* change, WORD ddmid, DWORD size,
                              void* out);
// Whether the placed image fits the paper: 0 fits, 13 or 14 (with *list a
// GlobalAlloc'ed 0-terminated list of the items involved), 1 error.
INT CheckImageFitsPaper(const SettingsTarget* target, const SettingChange* change, WORD** list);
// The placement check of the settings as they are, as a text: 12 fits, 11
// with *text a GlobalAlloc'ed buffer of 1024 characters, 1 error.
INT CheckImageFitsPaperText(HMODULE module, DddHandle* database, void* devmode, void* printer_data,
                            const ConflictMessageOptions* options, LPWSTR* text);
// 9 the item's current value equals the first value, 10 it does not, 1 a
// read error; other comparison results as they are.
INT TestItemRuleValue(const SettingsTarget* target, const SettingChange* item);
