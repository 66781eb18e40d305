// The button, check box, radio, static, title, icon and availability
// controls of the sheets; the shared item handlers of unit labels, unit
// radios and per-user defaults; the label texts with access keys; the
// tooltips of pages and dialogs with the tray tips and the summary icons;
// and the drawing of the tray and option list rows with the choice icons.
#pragma once

#include "property_sheets/sheet_engine.h"
#include "win/gdi.h"

// ---- control kinds -------------------------------------------------------------

// Kind data of a radio group (kind 5): the button ids in choice order. A
// group holds at most kMaxRadioButtons (the stamp positions need nine); a
// count beyond that is read as the maximum.
inline constexpr INT kMaxRadioButtons = 9;
struct RadioGroupData {
  INT count;
  INT buttons[kMaxRadioButtons];
};
inline INT RadioButtonCount(const RadioGroupData* group) {
  return !group || group->count < 0 ? 0 : group->count > kMaxRadioButtons ? kMaxRadioButtons : group->count;
}

// Kind data of a static text (kind 10).
inline constexpr INT kStaticChoiceText = 1;  // the text of the current choice
inline constexpr INT kStaticString = 2;      // a string resource
inline constexpr INT kStaticStateOnly = 3;   // no text, availability only
struct StaticTextData {
  INT type;
  INT string_id;
};

// Kind data of a title (kind 11): the id of the control whose current
// setting the title follows, or kNone.
struct TitleData {
  INT follow_id;
};

// Kind data of a choice icon (kind 13): flag 1 subclasses the control so
// that it paints the icon of the current choice.
struct ChoiceIconData {
  WORD flag;
};

INT TitleHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                 const void* kind_data);
INT ChoiceIconHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                      const void* kind_data);
INT AvailabilityHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                        const ControlRecord* record, const void* kind_data);

// Shows a control by a conflict kind: 6 hidden and disabled, 1 and 15
// disabled, anything else shown and enabled.
void ShowControlByKind(HWND control, INT kind);

// ---- shared item handlers --------------------------------------------------------

// Sets string 461 (unit 1) or 460 as the text of every listed control
// (ids ended by 0). 1, 0 when the dialog or the text is missing.
INT SetUnitLabels(HWND dialog, WORD unit, const INT* ids);
INT UnitLabelHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                     const void* kind_data);
// Kind data: a RadioGroupData of two buttons, millimetres first.
INT UnitRadioHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                     const void* kind_data);
// The range of a length or number as "(lower - upper unit)": the bounds
// arrive upper first, in the stored form; with unit 1 they are shown in
// inches (user-paper sizes rounded to whole tens with the tenths option).
// `out` holds kLabelTextChars characters. 1 or 0.
INT FormatRangeText(HWND dialog, INT control, WORD ddmid, LONG upper, LONG lower, WORD unit, LPWSTR out);
// A numeric setting's label with its range inserted, on activation and
// refresh; then the kind's default handler.
INT RangeLabelHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                      const void* kind_data);
// Without the right to change the printer's settings, resets the dialog's
// per-user settings to their defaults; otherwise the button's command.
INT DefaultsButtonHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                          const ControlRecord* record, const void* kind_data);

struct ControlPairInfo {
  INT control_id;
  WORD ddmid;
  WORD compare;  // 1: the value must match too
  DWORD value;
  INT label_id;  // kNone: no label
};
// 1 when the control with `control_id` has no current setting, or its
// current setting is `ddmid` (with an equal value when `compare` is 1).
INT MatchControlSetting(ControlEvent* event, const ControlPairInfo* info, INT* result);
// Shows and enables the record's control (and the label) on a match, hides
// and disables them otherwise. 1, 0 when an argument or control is missing.
INT ShowControlPair(ControlEvent* event, HWND dialog, const ControlRecord* record, const ControlPairInfo* info);
// Rebuilds the sheet's cached choice list of `ddmid` with one new
// constraint report per choice. 1 or 0.
INT RefreshItemInfo(HWND dialog, const ControlRecord* record, WORD ddmid);

// ---- label texts -----------------------------------------------------------------

// Room of every label text buffer, terminator included.
inline constexpr INT kLabelTextChars = 320;
// The text with each "&" doubled (at most 253 characters of the result),
// an "&" before the first letter that the access-key text marks (after
// string 5188), then the inserted text, the access-key text when no "&"
// was inserted, and the suffix. `out` holds kLabelTextChars characters.
INT BuildLabelText(HMODULE module, LPWSTR out, LPCWSTR text, INT access_key_id, INT suffix_id, LPCWSTR inserted);
INT BuildLabelTextFromString(HMODULE module, LPWSTR out, INT text_id, INT access_key_id, INT suffix_id,
                             LPCWSTR inserted);
// The setting's name from the device database as the text.
INT BuildItemLabel(HWND dialog, LPWSTR out, WORD ddmid, INT access_key_id, INT suffix_id, LPCWSTR inserted);

// ---- tooltips --------------------------------------------------------------------

HWND CreateTooltipWindow(HWND owner, INT max_width);
INT AddTooltip(HWND dialog, HWND tooltip, UINT tool_id, UINT flags, LPCWSTR text);
INT UpdateTooltipText(HWND dialog, HWND tooltip, UINT tool_id, UINT flags, LPCWSTR text);
INT SetTooltipRect(HWND dialog, HWND tooltip, UINT tool_id, UINT flags, LONG left, LONG top, LONG right,
                   LONG bottom);

// The tips that name the paper of each installed input tray over the
// device picture (control 1187), one record per sheet.
inline constexpr INT kTrayTooltipRows = 13;
struct TrayTooltipRecord {
  HWND tooltip;
  DWORD installed;
  WCHAR texts[kTrayTooltipRows][128];
};
// The installed-source bits of the device database's paper sources.
DWORD GetInstalledSourceBits(DddHandle* database);
// 1 when the sheet has its record (made now when missing); 0 without the
// page tooltip window.
INT CreateTrayTooltips(HWND dialog);
INT AddTrayTools(HWND dialog);
// Places each installed tray's tip over the device picture and words it by
// the tray's paper. 1, 0 when something fails (the rest is left as it is).
INT UpdateTrayTooltips(ControlEvent* event, HWND dialog);

inline constexpr INT kSummaryIconCount = 6;
inline constexpr UINT kSummaryIconFirstTool = 7000;
struct SummaryIconEntry {
  DWORD shown;
  WCHAR text[256];
};
struct SummaryIconSet {
  SummaryIconEntry icons[kSummaryIconCount];
};
struct PreviewSettings;
INT CreateSummaryIcons(ControlEvent* event);
// The six icon texts of a settings snapshot. 1, 0 when a text failed (that
// icon is emptied and the later ones are left as they are).
INT BuildSummaryIconTexts(DddHandle* database, void* devmode, const PreviewSettings* settings,
                          SummaryIconSet* set);
INT UpdateSummaryIcons(ControlEvent* event, INT picture_id);

// ---- tray and option list rows --------------------------------------------------

// Draws `text` in the column from `left` to `right` at `top`, cut and
// ended by the suffix of string 477 ("..." without it) when too wide.
INT DrawTextEllipsis(HDC dc, LPCWSTR text, LONG left, LONG top, LONG right, LONG bottom);
// The tray's paper, feed-orientation and media-type settings. 1 or 0.
INT GetTrayColumnIds(WORD key, WORD* paper, WORD* feed, WORD* media);

// Row drawers as the owner-drawn lists call them after drawing the row's
// background: (event, record, DRAWITEMSTRUCT*, variant, text x, text y).
INT DrawTabbedListItem(ControlEvent* event, const ControlRecord* record, const DRAWITEMSTRUCT* item, INT variant,
                       INT x, INT y);
INT DrawTrayListItem(ControlEvent* event, const ControlRecord* record, const DRAWITEMSTRUCT* item, INT variant,
                     INT x, INT y);
// The head of a list's kind data as the row drawers read it: the list
// mode, the row format flags and the value column of two-column rows
// (dialog units).
struct ListDataHead {
  WORD mode;
  WORD row_flags;
  WORD value_column;
};
// Draw hooks of the option list (1046) and the tray list (1739): the row's
// background and selection, then the row drawer. The option list's record
// carries kind data that begins with a ListDataHead.
INT OptionListDrawHook(ControlEvent* event, DRAWITEMSTRUCT* item, const ControlRecord* record,
                       const void* kind_data, INT variant);
INT TrayListDrawHook(ControlEvent* event, DRAWITEMSTRUCT* item, const ControlRecord* record, const void* kind_data,
                     INT variant);

// Choice icon callbacks: (control id, choice value, DEVMODE, PrinterData)
// → icon resource id, 0 for none.
using ChoiceIconCallback = WORD (*)(INT control, const LONG* key, void* devmode, void* printer_data);
WORD ChoiceIconFor295(INT control, const LONG* key, void* devmode, void* printer_data);
WORD ChoiceIconFor264(INT control, const LONG* key, void* devmode, void* printer_data);
WORD ChoiceIconFor270(INT control, const LONG* key, void* devmode, void* printer_data);
WORD ChoiceIconFor291(INT control, const LONG* key, void* devmode, void* printer_data);
WORD ChoiceIconByLayout(INT control, const LONG* key, void* devmode, void* printer_data);
INT IsIconListControl(INT control);
// Draws the choice's icon (at the rectangle's top-left, one pixel lower)
// for the icon lists; 1 when an icon was drawn.
INT DrawChoiceIcon(ControlEvent* event, HDC dc, INT control, const LONG* key, LONG x, LONG y,
                   ChoiceIconCallback callback);
