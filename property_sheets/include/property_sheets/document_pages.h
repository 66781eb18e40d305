// The document sheet's paper and detail pages and the dialogs they open:
// the custom paper size, the user-defined paper sizes kept as spooler
// forms, and the printer's font substitution table. The dialog tables
// refer to the control sets and procedures declared here.
#pragma once

#include "property_sheets/sheet_engine.h"

// Font substitution dialog (template 513).
extern const ControlSet kFontSubstitutionControls;
INT_PTR FontSubstitutionDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// User-defined paper sizes dialog (template 514).
extern const ControlSet kUserPaperControls;
INT_PTR UserPaperDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Paper margin dialog (template 2440).
extern const ControlSet kMarginControls;

// Custom paper size dialog (template 3790) and the paper page that opens it.
extern const ControlSet kCustomSizeControls;
extern const ControlSet kPaperPageControls;

// Detail settings page (template 504) and its size-unit dialog (3820).
extern const ControlSet kDetailPageControls;
extern const ControlSet kSizeUnitControls;

// Item placement dialog (template 536).
extern const ControlSet kItemPlacementControls;

// What the pages and dialogs above share.
namespace document_pages {

// A warning box owned by `owner` with the sheet's caption (string 265) and
// text string `text_id`, or `text` when it is given.
void Warn(HWND owner, UINT text_id, LPCWSTR text = nullptr);
// Opens the sheet's printer by name with full access; null when refused.
HANDLE OpenPrinterForChanges(const SheetState* state);
// A number of tenths of a millimetre as shown: "210.0" in millimetres, or
// inches with two decimals ("8.27") when `inch` is set.
void FormatLength(LONG tenths_mm, BOOL inch, LPWSTR out, INT chars);
// Typed text as tenths of a millimetre: digits, then the decimal separator
// and at most one (millimetres) or two (inches) digits. FALSE when the
// text is not such a number.
BOOL ParseLength(LPCWSTR text, BOOL inch, LONG* tenths_mm);
// Writes a number into a setting in the setting's own value type, without
// a rule check. FALSE when the setting cannot be read or written.
BOOL SetNumberSetting(void* devmode, void* printer_data, WORD ddmid, LONG value);

}  // namespace document_pages
