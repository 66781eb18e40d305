// Paper margins that must leave room on their paper: the check of one
// typed value, and the start-up check that resets the stored margins of
// custom and user-defined papers that no longer fit and tells the user.
#pragma once

#include "settings/stores/paper_margin_store.h"
#include "win/types.h"

struct DddHandle;
struct SheetContext;
struct SheetState;
struct PendingWarnings;
struct ConflictMessageOptions;

// What a margin check reads: the sheet's database, printer and settings.
struct MarginCheckContext {
  DddHandle* database;
  HANDLE printer;
  void* devmode;
  void* printer_data;
};

// Papers checked at start-up: 21 slots, 0 = unused.
inline constexpr int kBadPaperSlots = 21;
struct BadPaperList {
  WORD ids[kBadPaperSlots];
};

// Whether the margins across one side leave room on the paper: 1 they fit,
// -1 they do not, 0 error.
// With `from_store` the paper's stored margins are used (through `array`
// and `store_flag`), `index` names a side (0 width, 1 length) and
// `dimensions` gives that side's length in [index]. Without it `margins`
// are used as given, `index` names a margin (0-3) and the paper's size
// comes from its record or slot.
INT CheckPaperMargins(const MarginCheckContext* context, WORD paper, INT index, const PaperMargin* margins,
                      const LONG* dimensions, const PaperMarginArray* array, BOOL store_flag, BOOL from_store);

// The custom and user papers (database order, at most 21) whose stored
// margins do not fit: 1 all fit, -1 some do not (listed), 0 error.
INT FindPapersWithBadMargins(const MarginCheckContext* context, BOOL store_flag, BadPaperList* out);
// Gives every listed paper the default margins (the per-user key with
// `to_registry`, else the printer's array) and records the flag in DDMID
// 463. 1 or 0.
INT ResetBadPaperMargins(const MarginCheckContext* context, BOOL to_registry, const BadPaperList* list);
// "4.6 mm": the default margin with its unit. The length written.
INT FormatDefaultMarginText(LPWSTR out, INT chars);
// The paper's name for the message: the custom paper's record name, or a
// user paper's name with its size, then the reset remark. 1 or 0.
INT FormatPaperDisplayName(const MarginCheckContext* context, WORD paper, LPWSTR out, INT chars);
// One line per listed paper; a new text (at most 1024 characters) with
// message id -3, else the lines inside message `message_id`; with
// `append` added to the text already in *text. 1 or 0.
INT BuildMarginWarningText(const MarginCheckContext* context, INT message_id, const BadPaperList* list, LPWSTR* text,
                           BOOL append);

// Flags of CollectApplyWarnings.
inline constexpr DWORD kWarnValidate = 0x1;
inline constexpr DWORD kWarnImagePlacement = 0x2;
// Collects the texts a sheet shows once into a new holder: the whole
// settings check (flag 0x1), the margin check with reset (when
// `check_margins` allows it), the image-placement check (flag 0x2).
// `host_class` is the class of the sheet's host window (margins go to the
// user's key when it is not 0), or -1 without a sheet window (the check
// runs only when DDMID 463 is 1). *out is null when there is nothing to
// show; `options` shape the whole-settings check's texts. 1 or 0 (nothing
// kept).
INT CollectApplyWarnings(const MarginCheckContext* context, DWORD flags, BOOL check_margins, INT message_id,
                         INT host_class, PendingWarnings** out, const ConflictMessageOptions* options = nullptr);
// The text of slot i: status 0, or 1 with null for an index above 1.
INT GetPendingWarning(const PendingWarnings* holder, INT index, LPCWSTR* text);

// The start-up warnings of a sheet, collected the first time only: 1 when
// collected now (the holder, kept in the SheetState, may be null), 0 when
// they were collected before or the collection failed.
INT QueueStartupWarnings(SheetContext* context, DWORD flags, INT message_id, INT host_class,
                         const ConflictMessageOptions* options = nullptr);

// The class of a sheet's host window (0 the printer's own sheet from the
// printer folder); the print side that knows the host windows registers it.
using SheetHostClassifier = INT (*)(HWND window, LPCWSTR printer_name, WORD sheet_mode);
void SetSheetHostClassifier(SheetHostClassifier classifier);
// The host class of the sheet's window (through the registered classifier).
INT SheetHostClass(const SheetContext* context);
// Before the start-up checks: the printer's own sheet (a device sheet whose
// DEVMODE does not hold the user's settings, or another sheet opened by the
// printer's own window) takes the job-type section of the machine-wide
// user record into its current settings. 1 when taken in.
INT LoadStartupUserSettings(SheetContext* context);
// Once per sheet, when one of its dialogs is initialised: takes in the
// printer's own user settings, then collects the start-up warnings and, when there is one to show, posts UM_SHOW_WARNINGS
// to the dialog. 1 when collected now, 0 otherwise.
INT QueueSheetStartupWarnings(HWND dialog);
// UM_SHOW_WARNINGS: the queued warnings in message boxes owned by the
// dialog, then freed. The number shown.
INT ShowStartupWarnings(HWND dialog);
