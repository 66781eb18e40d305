// Kind data of the list, edit and range controls of the property sheets,
// and the helpers those control kinds share with the pages' own item
// handlers.
#pragma once

#include <string>

#include "win/types.h"
#include "win/window.h"

struct ControlEvent;
struct ControlRecord;
struct ItemChoice;
struct DRAWITEMSTRUCT;

// ---- edit fields (control kind 4) ----------------------------------------------------

// EditFieldData flags.
inline constexpr WORD kEditNumeric = 0x1;
inline constexpr WORD kEditText = 0x2;
inline constexpr WORD kEditStoreEachKey = 0x4;   // every accepted keystroke is validated and stored
inline constexpr WORD kEditRounding = 0x10;
inline constexpr WORD kEditProtect = 0x20;       // a text is stored in its protected form
inline constexpr WORD kEditFixedPoint = 0x40;    // a number with the unit record's decimals
inline constexpr WORD kEditLenient = 0x200;      // numbers: surplus decimals cut; texts: empty accepted
inline constexpr WORD kEditLength = 0x400;       // a length shown by the sheet's measurement
inline constexpr WORD kEditShowProtected = 0x2000;

// Validation mask bits: when a field validates what it shows.
inline constexpr DWORD kValidateOnKillActive = 1u << 2;
inline constexpr DWORD kValidateOnKillFocus = 1u << 3;
inline constexpr DWORD kValidateOnCommand = 1u << 4;

// Character classes of a text field: four zero-ended lists of string ids
// (single-byte ranges, double-byte ranges, single-byte forbidden,
// double-byte forbidden; null = no restriction), then the string id of the
// message shown for an invalid text (-3 none).
struct TextRule {
  const UINT* lists[4];
  INT message_id;
};
// Whether every single-byte character of the text lies in the rule's
// ranges and is none of its forbidden characters (null rule: any text).
bool TextPassesRule(const std::u16string& text, const TextRule* rule);

// Decimals of a number and whether it is converted between its stored and
// shown form (ConvertSettingUnits).
struct UnitRecord {
  WORD decimals;
  DWORD converts;
};

struct EditFieldData;
// Decides on a value before it is stored: 1 go on, 2 refused (the field
// shows the setting again and keeps the focus), others returned as they are.
using EditValidateCallback = INT (*)(const EditFieldData* data, ControlEvent* event, UINT message,
                                     const ControlRecord* record, const void* kind_data, DWORD mask_bit, LONG* value);

struct EditFieldData {
  WORD flags;
  DWORD max_chars;
  const TextRule* rule;
  const UnitRecord* unit;
  DWORD validate_mask;
  EditValidateCallback callback;
};

// ---- list controls (control kinds 1 and 2) ------------------------------------------

inline constexpr WORD kListChoices = 1;   // the choices of the current setting
inline constexpr WORD kListSettings = 2;  // one row per setting of the record

// Row format of a settings list.
inline constexpr WORD kRowName = 0x1;
inline constexpr WORD kRowValue = 0x2;

// ListControlData behaviour flags.
inline constexpr WORD kListStepOnDoubleClick = 0x1;
inline constexpr WORD kListOnOff = 0x2;
inline constexpr WORD kListConflictIcons = 0x4;
inline constexpr WORD kListEditable = 0x8;
inline constexpr WORD kListOwnFill = 0x10;
inline constexpr WORD kListOwnDraw = 0x20;
inline constexpr WORD kListKeepOnRefresh = 0x40;
inline constexpr WORD kListReplaceChangedRows = 0x80;
inline constexpr WORD kListSwatches = 0x100;
inline constexpr WORD kListChoiceIcons = 0x200;

// Icons of the rows.
inline constexpr UINT kIconWarning = 859;
inline constexpr UINT kIconNote = 384;
inline constexpr UINT kIconOff = 252;
inline constexpr UINT kIconOn = 253;

struct ListControlData;
// Variant index: 0 list box, 1 drop-down list.
using ListFillCallback = INT (*)(ControlEvent* event, const ControlRecord* record, const ListControlData* data,
                                 INT variant);
using ListDrawCallback = INT (*)(ControlEvent* event, DRAWITEMSTRUCT* item, const ControlRecord* record,
                                 const ListControlData* data, INT variant);
using ListIconCallback = UINT (*)(INT control_id, const ItemChoice* choice, void* devmode, void* printer_data);
// Draws the row's text in place of the engine (x, y: where the text starts).
using ListRowDrawer = void (*)(ControlEvent* event, const ControlRecord* record, DRAWITEMSTRUCT* item, INT variant,
                               INT x, INT y);

struct ListControlData {
  WORD mode;
  WORD row_format;
  WORD tab_stop;
  WORD flags;
  const EditFieldData* edit;  // kListEditable
  ListFillCallback fill;      // kListOwnFill
  ListDrawCallback draw;      // kListOwnDraw
  ListIconCallback icon;      // kListChoiceIcons
};

// ---- range controls (kinds 8, 9 and 12) ----------------------------------------------

struct ScrollBarData {
  INT direction;  // 0: the top or left end is the maximum
  INT page;
};

struct UpDownData {
  INT convert;  // non-zero: range and value converted between stored and shown form
};

struct TrackbarData {
  WORD page;
  WORD ticks;  // 0: none
  INT convert;
};

// ---- shared helpers ------------------------------------------------------------------

// The range of the record's current setting: fixed ranges of a few
// drop-down lists, 1..count for numbered lists, choices 0 and 1 of value
// items. 1, 0 when the setting has none (the outputs are left unchanged
// for drop-down lists without a range).
INT GetControlValueRange(ControlEvent* event, const ControlRecord* record, LONG* minimum, LONG* maximum);
// The first record of the event's dialog kind of that control kind sharing
// the record's setting array (the edit field of an up-down control).
const ControlRecord* FindBoundControl(ControlEvent* event, HWND window, const ControlRecord* record, INT kind);
// Decimals a length is shown with in the unit (1 inch, else millimetres);
// 1, 0 when the setting is not a length.
INT GetDisplayDecimals(WORD ddmid, INT unit, INT* decimals);
// The field's text as a value in shown form: 0 valid, -2 invalid, -1
// error; `validate` checks the characters first.
INT ParseEditText(ControlEvent* event, const ControlRecord* record, const EditFieldData* data, BOOL validate,
                  LONG* value);
// Validates the field's text and stores it: 1 stored, 2 refused, 3 the
// field is disabled, -1 error.
INT ValidateAndStoreEdit(ControlEvent* event, const ControlRecord* record, const EditFieldData* data, UINT message,
                         DWORD mask_bit);
// Shows the record's setting in the field.
INT ShowEditValue(ControlEvent* event, const ControlRecord* record, const EditFieldData* data);
// Marks the field's edit buffer busy (or not), so that its loss of focus
// does not validate.
void SetEditBusy(ControlEvent* event, const ControlRecord* record, BOOL busy);
// Decimals and field flags of the first numeric edit field of the active
// page bound to the setting (in default mode any of its settings, else its
// current one): 1 found; 0 not found.
INT FindNumericField(HWND window, WORD ddmid, BOOL default_mode, LONG* decimals, WORD* field_flags);

INT DropDownListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void* kind_data);
INT ListBoxHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                   const void* kind_data);
INT NumericEditHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data);
// The item handler of editable combo boxes used as text fields.
INT TextEditHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                    const void* kind_data);
INT ScrollBarHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                     const void* kind_data);
INT SpinControlHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data);
INT TrackbarHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                    const void* kind_data);
// Draws one row of a list as the engine does, the text by `drawer` when given.
INT DrawListItem(ControlEvent* event, DRAWITEMSTRUCT* item, const ControlRecord* record, const ListControlData* data,
                 INT variant, ListRowDrawer drawer);
