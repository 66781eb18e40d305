// The line-dialing dialog (how each fax line dials) and the dialog that
// waits for the outside phonebook tool, which the user can stop.
#include "fax_dialogs.h"
#include "property_sheets/fax_page_dialogs.h"
#include "property_sheets/sheet_fonts.h"
#include "win/controls.h"
#include "win/win.h"

using namespace fax_ui;

namespace {

bool clicked(UINT message, WPARAM wParam) { return message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED; }

// ---- line dialing ---------------------------------------------------------------------

constexpr WORD kLineKind = 4111, kExtensionDial = 5144;

// After the defaults, a device whose line setting is 1 dials its extension
// line the second way.
INT LineDialDefaultsButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                           const ControlRecord* record, const void*) {
  const INT result = ChainDefaultHandler(event, message, wParam, lParam, record);
  if (clicked(message, wParam) && event->command_result == 0 && NumberOr(event->window, kLineKind, 0) == 1 &&
      WriteNumber(event->window, kExtensionDial, 3, 2, 1)) {
    const WORD changed[] = {kExtensionDial};
    AppendChangedSettings(event, changed, 1);
  }
  return result;
}

constexpr SettingRef kOutsideRef[] = {Bound(5142)};
constexpr SettingRef kExtensionRef[] = {Bound(kExtensionDial)};
constexpr SettingRef kDirectRef[] = {Bound(5145)};
constexpr CommandItem kDefaults{kCommandDefaults, nullptr};

constexpr ControlRecord kLineDialRecords[] = {
    {4801, 1, kOutsideRef, kControlDropDown, nullptr, nullptr, 4804, 9067, nullptr},
    {4802, 1, kExtensionRef, kControlDropDown, nullptr, nullptr, 4805, 9068, nullptr},
    {4803, 1, kDirectRef, kControlDropDown, nullptr, nullptr, 4806, 9069, nullptr},
    {1090, 0, nullptr, kControlCommand, LineDialDefaultsButton, &kDefaults, kNone, kNone, nullptr},
};
constexpr INT kLineDialHelp[] = {4801, 40040, 4802, 40050, 4803, 40060, 0, 0};

// ---- waiting for the phonebook tool -----------------------------------------------------

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 500;
constexpr INT kStop = 1092;

INT ToolWaitDialogHandler(ControlEvent* event, UINT message, WPARAM, LPARAM, const ControlRecord*, const void*) {
  if (message == WM_INITDIALOG) {
    SetDlgItemTextW(event->window, 4909, ResourceText(5225).c_str());
    SetTimer(event->window, kPollTimer, kPollMs, nullptr);
  }
  return 0;
}

// Stops the tool (a tool that has ended is left as it is) and ends the
// dialog; the stop is remembered as a failed run.
INT StopToolButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  if (!clicked(message, wParam)) return 0;
  FaxSheetWords* words = SheetWords(event->window);
  DWORD code = 0;
  if (words && words->tool.hProcess && GetExitCodeProcess(words->tool.hProcess, &code)) {
    if (code == STILL_ACTIVE) TerminateProcess(words->tool.hProcess, code);
    words->tool_failed = TRUE;
  }
  KillTimer(event->window, kPollTimer);
  EndDialog(event->window, 11);
  return 0;
}

constexpr ControlRecord kToolWaitRecords[] = {
    {kDialogRecordId, 0, nullptr, 0, ToolWaitDialogHandler, nullptr, kNone, kNone, nullptr},
    {kStop, 0, nullptr, kControlCommand, StopToolButton, nullptr, kNone, kNone, nullptr},
};
constexpr INT kNoHelp[] = {0, 0};

}  // namespace

namespace fax_ui {

INT_PTR ToolWaitProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kPollTimer) {
    FaxSheetWords* words = SheetWords(window);
    HANDLE process = words ? words->tool.hProcess : nullptr;
    // The tool's own end closes the dialog as a finished run.
    if (!process || WaitForSingleObject(process, kPollMs) != WAIT_TIMEOUT) {
      SendMessageW(window, WM_COMMAND, MAKEWPARAM(kStop, BN_CLICKED), 0);
      if ((words = SheetWords(window))) words->tool_failed = FALSE;
    }
    return TRUE;
  }
  if (message == WM_DESTROY) KillTimer(window, kPollTimer);
  return RunEngineDialog(window, message, wParam, lParam, 58, kDialogTypeDialog);
}

}  // namespace fax_ui

const ControlSet kLineDialSet{kLineDialRecords, static_cast<INT>(sizeof kLineDialRecords / sizeof kLineDialRecords[0]),
                              41300, kLineDialHelp, nullptr, 0};
const ControlSet kToolWaitSet{kToolWaitRecords, 2, 0, kNoHelp, nullptr, 0};
