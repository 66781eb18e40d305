// The paper page's job type: a list of the model's job types and the
// button that opens the detail dialog of the chosen one. Choosing a job
// type that needs details opens its dialog at once, through that button,
// which the page shows only while such a job type is chosen.
#include "control_handlers.h"
#include "property_sheets/document_pages.h"
#include "win/controls.h"

namespace document_pages {

namespace {

constexpr WORD kJobType = 334;
constexpr UINT kOpenJobDetails = 2533;

bool wants_display(UINT message, LPARAM lParam) {
  return IsNotifyCode(message, lParam, PSN_SETACTIVE) || message == UM_REFRESH_CONTROLS ||
         message == UM_RESTORE_CONTROLS;
}

bool listed(const WORD* changed, WORD ddmid) {
  for (const WORD* p = changed; p && *p; ++p)
    if (*p == ddmid) return true;
  return false;
}

// The command item that opens the detail dialog of a job type; null for a
// job type without details.
const CommandItem* details_command(LONG job_type) {
  static const ChildDialogTemplate templates[] = {
      {JobTypeDialogResource(22), JobTypeDialogProc(22), 22, kNone, 0},
      {JobTypeDialogResource(42), JobTypeDialogProc(42), 42, kNone, 0},
      {JobTypeDialogResource(44), JobTypeDialogProc(44), 44, kNone, 0},
      {JobTypeDialogResource(43), JobTypeDialogProc(43), 43, kNone, 0},
  };
  static const ChildDialogCommand commands[] = {{&templates[0], 0, 0}, {&templates[1], 0, 0},
                                                {&templates[2], 0, 0}, {&templates[3], 0, 0}};
  static const CommandItem items[] = {{kCommandChildDialog, &commands[0]}, {kCommandChildDialog, &commands[1]},
                                      {kCommandChildDialog, &commands[2]}, {kCommandChildDialog, &commands[3]}};
  const INT kind = JobTypeDialogKind(job_type);
  for (INT i = 0; i < 4; ++i)
    if (templates[i].kind == kind) return &items[i];
  return nullptr;
}

LONG current_job_type(const ControlEvent* event) {
  return GetEffectiveItemValue(event->devmode, event->printer_data, kJobType);
}

}  // namespace

INT JobTypeDialogKind(LONG job_type) {
  switch (job_type) {
    case 1: return 22;  // an identifier with its code
    case 2: return 42;  // an identifier with a name
    case 3: return 44;  // a number with its code and a user name
    case 4: return 43;  // an hour and a minute
    default: return 0;
  }
}

UINT JobTypeDialogResource(INT kind) {
  switch (kind) {
    case 22: return 533;
    case 42: return 3340;
    case 43: return 3377;
    case 44: return 3400;
    default: return 0;
  }
}

INT JobTypeListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data) {
  if (message == kOpenJobDetails) {
    const ControlRecord* button = FindControlById(event->window, event->kind, kJobDetailsButton);
    if (!button || !details_command(current_job_type(event))) return 0;
    return button->handler(event, WM_COMMAND, MAKEWPARAM(kJobDetailsButton, BN_CLICKED), 0, button,
                           button->kind_data);
  }
  const INT result = DropDownListHandler(event, message, wParam, lParam, record, kind_data);
  // A job type that was just chosen and needs details asks for them.
  if (message == UM_REFRESH_CONTROLS && event->refresh_record == record &&
      listed(reinterpret_cast<const WORD*>(lParam), kJobType) && details_command(current_job_type(event)))
    PostMessageW(event->window, kOpenJobDetails, static_cast<WPARAM>(record->id), 0);
  return result;
}

INT JobDetailsButtonHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                            const ControlRecord* record, const void*) {
  const CommandItem* command = details_command(current_job_type(event));
  if (wants_display(message, lParam)) {
    HWND button = GetDlgItem(event->window, record->id);
    ShowWindow(button, command ? SW_SHOW : SW_HIDE);
    EnableWindow(button, command && event->permission);
    return 0;
  }
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED || !command) return 0;
  return RunCommandItem(event, message, wParam, lParam, record, command);
}

}  // namespace document_pages
