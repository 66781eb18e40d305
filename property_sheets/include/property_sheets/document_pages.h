// The document sheet's paper and detail pages and the dialogs they open:
// the custom paper size, the user-defined paper sizes kept as spooler
// forms, and the printer's font substitution table. The dialog tables
// refer to the control sets and procedures declared here.
#pragma once

#include "property_sheets/sheet_engine.h"
#include "settings/stores/stamp_store.h"

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

// The colour, image, profile, pattern, job-type and stamp pages and dialogs
// of the document sheet: their control sets for the dialog tables, and the
// stamp operations the stamp page and its dialogs share.

// Control sets by dialog kind.
extern const ControlSet kColourPageControls;       // kind 3, template 505
extern const ControlSet kColourPageSmallControls;  // kind 3, template 537
extern const ControlSet kColourBalanceControls;    // kind 26
extern const ControlSet kImageAdjustControls;      // kind 11
extern const ControlSet kImageOptionControls;      // kind 14
extern const ControlSet kColourProfileControls;    // kind 27
extern const ControlSet kPatternControls;          // kind 29
extern const ControlSet kJobIdentifierControls;    // kind 22
extern const ControlSet kJobNameControls;          // kind 42
extern const ControlSet kJobPairControls;          // kind 43
extern const ControlSet kJobNumberControls;        // kind 44
extern const ControlSet kStampPageControls;        // kind 17
extern const ControlSet kStampDialogControls;      // kinds 18 and 19

// The stamp page's dialog procedure: the engine's, with the font lists of
// the stamp dialogs kept from the page's activation until it is left.
INT_PTR CALLBACK StampPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The stamp dialogs as the stamp page opens them.
extern const ChildDialogTemplate kNewStampDialog[];
extern const ChildDialogTemplate kEditStampDialog[];

// The nine stamp settings read into a record: 1, 0 at the first failure.
INT CaptureStampRecord(void* devmode, void* printer_data, StampRecord* record);
// Writes a record into the nine stamp settings: 1, 0 at the first failure.
INT ApplyStampRecord(void* devmode, void* printer_data, const StampRecord* record);
// Loads a stamp into the settings. Modes 0 and 1 read the stored stamp of
// `name` (without a name the built-in default), mode 2 only the built-in
// stamps; mode 0 empties the name and the text first. 0, -3 when the stamp
// cannot be read, -1 when a setting cannot be written.
INT LoadStampIntoSettings(HWND window, INT mode, HANDLE printer, DddHandle* database, void* devmode,
                          void* printer_data, LPCWSTR name);
// Adds the stamp settings to the event's changed settings and asks for a
// refresh.
void RequestStampRefresh(ControlEvent* event);

// Handlers the colour page shares with the image page: a colour channel's
// controls edit the setting of the selected object (or the common one), and
// the sample bitmaps are stretched over their controls.
INT ChannelSettingHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                          const ControlRecord* record, const void* kind_data);
INT SampleBitmapHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                        const ControlRecord* record, const void* kind_data);

// The colour balance grid: the colour of a cell of `level` (1-3) for
// `colorant` (0-3), white when not filled; and how many of a level's seven
// cells a level value fills (the position of its first set bit).
COLORREF GetGridCellColour(INT colorant, INT level, BOOL filled);
INT FilledBalanceCells(LONG value, INT level);

// Checks a colour profile file; a file that cannot be used is said (a
// warning box) and answers 0, a usable one 1.
INT CheckProfileFile(HWND window, LPCWSTR path);

// The dialog procedure of a job-type detail dialog (kinds 22, 42, 43, 44);
// null for another kind.
DLGPROC JobTypeDialogProc(INT kind);
// Leaving a job-type dialog without its required detail: the job type goes
// back to its choice of value 0 and the user is told. 1, 0 without window
// or sheet.
INT ResetJobTypeWithNotice(ControlEvent* event);
// Says that the identifier is required for the current job type. 1.
INT ShowJobDetailRequiredNotice(ControlEvent* event);
// Shows the hour and minute with two digits. 1.
INT ShowTwoDigitPair(ControlEvent* event);
// The number field of the number dialog: 1 accepted, 0 refused (said).
INT ValidateNumberField(ControlEvent* event, const ControlRecord* record);

// The stamp page's re-send button (control 1543): sends the job file named
// by the page's folder and file name again; says when there is no name or
// the file cannot be opened.
INT ResendStoredJobButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                          const ControlRecord* record, const void* kind_data);
// The paper page's job type list and the button that opens the detail
// dialog of the chosen job type.
namespace document_pages {

inline constexpr INT kJobTypeList = 3846;
inline constexpr INT kJobDetailsButton = 3848;
// The detail dialog kind of a job type (22, 42, 43 or 44); 0 when the job
// type needs no details.
INT JobTypeDialogKind(LONG job_type);
// The template of a detail dialog kind; 0 for another kind.
UINT JobTypeDialogResource(INT kind);
INT JobTypeListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data);
INT JobDetailsButtonHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                            const ControlRecord* record, const void* kind_data);

}  // namespace document_pages
