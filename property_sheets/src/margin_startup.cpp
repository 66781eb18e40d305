// The start-up warnings of a sheet: collected when its first dialog is
// initialised (margins of user papers that no longer fit are reset, the
// settings and the image placement are checked) and shown once, after the
// dialog has come up, through UM_SHOW_WARNINGS.
#include "property_sheets/margin_checks.h"
#include "property_sheets/sheet_engine.h"
#include "property_sheets/sheet_records.h"
#include "settings/common/module_state.h"
#include "win/msgbox.h"
#include "win/resources.h"

namespace {

constexpr INT kChangedSettingsMessage = 711;
constexpr UINT kWarningCaption = 265;

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

INT QueueSheetStartupWarnings(HWND dialog) {
  SheetContext* context = GetSheetContext(dialog);
  if (!context || !context->state || context->state->startup_warning_shown) return 0;
  // Every sheet checks the stored margins; document sheets also say when
  // the placed image does not fit the paper. The whole-settings check is
  // left to the commit, where its changes are made.
  const DWORD flags = (context->state->mode & 0x1) ? kWarnImagePlacement : 0;
  if (!QueueStartupWarnings(context, flags, kChangedSettingsMessage, SheetHostClass(context))) return 0;
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
