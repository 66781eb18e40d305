// The start-up warnings of a sheet: collected when its first dialog is
// initialised (the printer's own settings of the user's record are taken
// in, margins of user papers that no longer fit are reset, the settings
// and the image placement are checked) and shown once, after the dialog
// has come up, through UM_SHOW_WARNINGS.
#include <vector>

#include "property_sheets/margin_checks.h"
#include "property_sheets/sheet_engine.h"
#include "property_sheets/sheet_records.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/module_state.h"
#include "settings/constraints/conflict_messages.h"
#include "settings/items/item_access.h"
#include "settings/stores/user_setting_info.h"
#include "win/msgbox.h"
#include "win/resources.h"

namespace {

constexpr INT kChangedSettingsMessage = 711;
constexpr UINT kWarningCaption = 265;
// Set in a device sheet's DEVMODE when its settings are the user's own.
constexpr WORD kPerUserSettings = 439;
// The record's machine-wide copy of the job-type section, which the
// printer's own sheet stores.
constexpr DWORD kMachineJobSection = kUserRecordMachineWide | 2;

SheetHostClassifier g_classifier = nullptr;

}  // namespace

// Without the print side's classifier: a sheet opened from the printer
// folder is the printer's own (0), any other is an application's (1).
INT SheetHostClass(const SheetContext* context) {
  if (!context || !context->state) return 0;
  const SheetState* state = context->state;
  if (g_classifier) return g_classifier(context->sheet_window, state->printer_name, state->mode);
  return (state->mode & kSheetModePrinterFolder) ? 0 : 1;
}

void SetSheetHostClassifier(SheetHostClassifier classifier) { g_classifier = classifier; }

INT LoadStartupUserSettings(SheetContext* context) {
  if (!context || !context->state) return 0;
  const SheetState* state = context->state;
  const bool device_sheet = (state->mode & 0x2) != 0;
  const bool wanted = device_sheet ? ReadItemNumber(context->current.devmode, context->current.printer_data,
                                                    kPerUserSettings) == 0
                                   : SheetHostClass(context) == 0;
  if (!wanted) return 0;
  std::vector<BYTE> record(kUserRecordSize);
  if (!ReadUserSettingInfo(state->printer, state->database, record.data(), kMachineJobSection, FALSE)) return 0;
  return ApplyUserSettingInfo(context->current.printer_data, record.data(), kMachineJobSection);
}

INT QueueSheetStartupWarnings(HWND dialog) {
  SheetContext* context = GetSheetContext(dialog);
  if (!context || !context->state || context->state->startup_warning_shown) return 0;
  LoadStartupUserSettings(context);
  // Every sheet checks its whole settings (repairing what no longer holds)
  // and the stored margins; document sheets also say when the placed
  // image does not fit the paper.
  const DWORD flags = kWarnValidate | ((context->state->mode & 0x1) ? kWarnImagePlacement : 0);
  ConflictMessageOptions options{};
  GetConflictMessageOptions(context->state, &options);
  if (!QueueStartupWarnings(context, flags, kChangedSettingsMessage, SheetHostClass(context), &options)) return 0;
  LPCWSTR first = nullptr;
  if (GetPendingWarning(context->state->pending_warnings, 0, &first) == 0 && first)
    PostMessageW(dialog, UM_SHOW_WARNINGS, 0, 0);
  return 1;
}

INT ShowStartupWarnings(HWND dialog) {
  SheetState* state = GetSheetState(dialog);
  if (!state || !state->pending_warnings) return 0;
  WCHAR caption[128] = {};
  LoadStringW(GetResourceModule(), kWarningCaption, caption, 128);
  INT shown = 0;
  for (INT i = 0; i < 2; ++i) {
    LPCWSTR text = nullptr;
    if (GetPendingWarning(state->pending_warnings, i, &text) != 0 || !text) continue;
    MessageBoxW(dialog, text, caption, MB_OK | MB_ICONWARNING);
    ++shown;
  }
  FreePendingWarnings(&state->pending_warnings);
  return shown;
}
