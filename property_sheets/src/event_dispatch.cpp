// The event map and the dialog dispatch: which handler a window message
// has for a dialog type, the ControlEvent of one message, the routing of
// control messages to their records, and the standard handlers that
// initialise, activate, deactivate, commit and reset dialogs.
#include <cstring>

#include "control_handlers.h"
#include "property_sheets/margin_checks.h"
#include "property_sheets/sheet_engine.h"
#include "settings/common/module_state.h"
#include "settings/constraints/settings_validation.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "win/msgbox.h"
#include "win/memory.h"

namespace {

constexpr UINT kNotifyMessage = WM_NOTIFY;

struct EventRow {
  UINT message;
  UINT code;  // WM_NOTIFY rows: the notification code
  INT event;
};

// The window messages the engine handles, with their event numbers.
constexpr EventRow kEventMap[] = {
    {WM_COMMAND, 0, 0},
    {WM_INITDIALOG, 0, 1},
    {WM_NOTIFY, PSN_SETACTIVE, 2},
    {WM_NOTIFY, PSN_KILLACTIVE, 3},
    {WM_NOTIFY, PSN_RESET, 4},
    {WM_NOTIFY, PSN_APPLY, 5},
    {WM_NOTIFY, PSN_HELP, 6},
    {WM_NOTIFY, static_cast<UINT>(-551), 7},
    {WM_NOTIFY, static_cast<UINT>(-101), 8},
    {WM_NOTIFY, static_cast<UINT>(-3), 9},
    {WM_NOTIFY, static_cast<UINT>(-7), 10},
    {WM_WINDOWPOSCHANGED, 0, 11},
    {2534, 0, 12},
    {2535, 0, 13},
    {WM_SETTEXT, 0, 14},
    {2536, 0, 15},
    {2537, 0, 16},
    {WM_TIMER, 0, 17},
    {WM_VSCROLL, 0, 18},
    {WM_HSCROLL, 0, 19},
    {WM_HELP, 0, 20},
    {WM_CONTEXTMENU, 0, 21},
    {WM_MEASUREITEM, 0, 22},
    {WM_DRAWITEM, 0, 23},
    {WM_ERASEBKGND, 0, 24},
    {WM_VKEYTOITEM, 0, 25},
    {WM_QUERYNEWPALETTE, 0, 26},
    {WM_PALETTECHANGED, 0, 27},
    {WM_PAINT, 0, 28},
    {WM_MOUSEMOVE, 0, 29},
    {WM_DESTROY, 0, 30},
    {WM_CTLCOLORSTATIC, 0, 31},
    {UM_QUERY_DIALOG_KIND, 0, 32},
    {UM_GET_KIND_DATA, 0, 33},
    {2531, 0, 34},
    {UM_SHOW_WARNINGS, 0, 35},
    {UM_CYCLE_CHOICE, 0, 36},
    {2533, 0, 37},
    {0, 0, 0},
};
constexpr INT kEventCount = 38;

// ---- routing -------------------------------------------------------------------------

// The control id a message names, or false when the message names none.
bool message_control_id(UINT message, WPARAM wParam, INT* id) {
  switch (message) {
    case WM_COMMAND: *id = LOWORD(wParam); return true;
    case WM_SETTEXT:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_NOTIFY: *id = static_cast<INT>(wParam); return true;
    case WM_WINDOWPOSCHANGED:
    case WM_TIMER: *id = kDialogRecordId; return true;
    default:
      if (message >= 2530 && message <= 2537) {
        *id = static_cast<INT>(wParam);
        return true;
      }
      return false;
  }
}

const ControlRecord* find_record(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                 const DialogEventFrame* frame) {
  INT id = 0;
  if (message_control_id(message, wParam, &id)) {
    for (INT i = 0; i < frame->count; ++i)
      if (frame->records[i].id == id) return &frame->records[i];
    INT common = 0;
    const ControlRecord* records = CommonControlRecords(&common);
    for (INT i = 0; i < common; ++i)
      if (records[i].id == id) return &records[i];
    return nullptr;
  }
  if (message == WM_VKEYTOITEM || message == WM_HSCROLL || message == WM_VSCROLL) {
    for (INT i = 0; i < frame->count; ++i)
      if (frame->records[i].id != kDialogRecordId &&
          GetDlgItem(window, frame->records[i].id) == reinterpret_cast<HWND>(lParam))
        return &frame->records[i];
  }
  return nullptr;
}

INT call_record(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record) {
  event->default_handler = FindControlKindHandler(record->kind);
  ControlHandler handler = record->handler ? record->handler : event->default_handler;
  INT result = 0;
  if (handler) {
    event->message = message;
    result = handler(event, message, wParam, lParam, record, record->kind_data);
  }
  return result;
}

void run_requested_refresh(ControlEvent* event) {
  if (event->refresh != 1) return;
  RefreshPageControls(event, event->changed);
  event->refresh = 0;
  SafeGlobalFree(event->changed);
  event->changed = nullptr;
}

INT RouteToControl(HWND window, UINT message, WPARAM wParam, LPARAM lParam, INT, DialogEventFrame* frame) {
  const ControlRecord* record = find_record(window, message, wParam, lParam, frame);
  if (!record) return message == WM_SETTEXT ? 0 : 1;
  const INT result = call_record(frame->event, message, wParam, lParam, record);
  run_requested_refresh(frame->event);
  frame->event->default_handler = nullptr;
  return result;
}

INT OnPageCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam, INT kind, DialogEventFrame* frame) {
  // The sheet's Cancel reaches the pages as PSN_RESET, not as IDCANCEL.
  if (wParam == IDCANCEL) return 0;
  return RouteToControl(window, message, wParam, lParam, kind, frame);
}

// ---- initialisation ---------------------------------------------------------------

void fill_event(ControlEvent* event, HWND window, HWND owner, INT kind, UINT message, WORD type) {
  *event = ControlEvent{};
  event->window = window;
  event->owner = owner;
  event->kind = kind;
  event->message = message;
  event->type = type;
  SheetContext* context = GetSheetContext(window);
  if (context && context->state) {
    event->permission = context->state->can_edit ? 1 : 0;
    event->database = context->state->database;
    event->devmode = context->current.devmode;
    event->printer_data = context->current.printer_data;
  }
}

HWND owner_of(HWND window, WORD type) {
  if (type == kDialogTypePage) return GetParent(window);
  SheetContext* context = GetSheetContext(window);
  return context ? context->sheet_window : nullptr;
}

INT InitDialogCommon(HWND window, UINT message, WPARAM wParam, LPARAM lParam, INT kind, DialogEventFrame* frame) {
  SheetContext* context = nullptr;
  if (frame->type == kDialogTypePage || frame->type == kDialogTypeNestedPage) {
    const auto* page = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
    context = page ? reinterpret_cast<SheetContext*>(page->lParam) : nullptr;
  } else {
    context = reinterpret_cast<SheetContext*>(lParam);
  }
  SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(context));
  if (!context) return 0;
  if (!context->sheet_window) context->sheet_window = GetParent(window);
  SheetState* state = context->state;
  if (state && state->dialog_title_id && state->database) {
    WCHAR* text = nullptr;
    if (DddGetItemString(&state->database->main, &state->database->linked,
                         static_cast<WORD>(state->dialog_title_id), nullptr, &text) == 0 &&
        text) {
      WCHAR* out = text;
      for (WCHAR* p = text; *p; ++p)
        if (*p != u'\n') *out++ = *p;
      *out = 0;
      SetWindowTextW(window, text);
    }
    if (text) GlobalFree(text);
    state->dialog_title_id = 0;
  }
  const ControlSet* set = GetDialogControlSet(window, kind);
  frame->records = set ? set->records : nullptr;
  frame->count = set ? set->count : 0;
  fill_event(frame->event, window, owner_of(window, frame->type), kind, message, frame->type);
  QueueSheetStartupWarnings(window);
  if (!frame->records) return 0;
  if (!CreateControlStates(window, frame->event, frame->records, frame->count)) return 0;
  return DispatchToControls(frame->event, message, wParam, lParam, frame->records, frame->count, 0);
}

void clear_rebuild(HWND window, INT kind) {
  if (ControlSet* set = GetDialogControlSet(window, kind)) set->rebuild = 0;
}

INT OnPageInitDialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam, INT kind, DialogEventFrame* frame) {
  const INT result = InitDialogCommon(window, message, wParam, lParam, kind, frame);
  clear_rebuild(window, kind);
  return result;
}

INT OnDialogInitDialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam, INT kind, DialogEventFrame* frame) {
  InitDialogCommon(window, message, wParam, lParam, kind, frame);
  clear_rebuild(window, kind);
  NMHDR activate{window, 0, PSN_SETACTIVE};
  return ActivateDialog(window, 0, reinterpret_cast<LPARAM>(&activate), frame);
}

// ---- notifications --------------------------------------------------------------------

INT answer_notify(HWND window, INT result) {
  SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
  return TRUE;
}

INT OnPageSetActive(HWND window, UINT, WPARAM wParam, LPARAM lParam, INT, DialogEventFrame* frame) {
  ActivateDialog(window, wParam, lParam, frame);
  return answer_notify(window, 0);
}

INT OnPageKillActive(HWND window, UINT, WPARAM wParam, LPARAM lParam, INT, DialogEventFrame* frame) {
  return answer_notify(window, DeactivateDialog(window, wParam, lParam, frame));
}

INT OnPageApply(HWND window, UINT message, WPARAM wParam, LPARAM lParam, INT, DialogEventFrame* frame) {
  const INT result = CommitSheet(frame->event, window, message, wParam, reinterpret_cast<PSHNOTIFY*>(lParam),
                                 frame->records, frame->count, frame->type);
  return answer_notify(window, result ? PSNRET_INVALID : PSNRET_NOERROR);
}

INT OnPageReset(HWND window, UINT message, WPARAM wParam, LPARAM lParam, INT, DialogEventFrame* frame) {
  ResetSheet(frame->event, window, message, wParam, reinterpret_cast<NMHDR*>(lParam), frame->records, frame->count,
             frame->type);
  return answer_notify(window, 0);
}

INT OnHelpMessage(HWND, UINT, WPARAM, LPARAM, INT, DialogEventFrame*) {
  // The help viewer is not part of this system: nothing opens.
  return 1;
}

INT ForwardToControls(HWND, UINT message, WPARAM wParam, LPARAM lParam, INT, DialogEventFrame* frame) {
  return DispatchToControls(frame->event, message, wParam, lParam, frame->records, frame->count, 0);
}

INT OnDialogDestroy(HWND window, UINT message, WPARAM wParam, LPARAM lParam, INT, DialogEventFrame* frame) {
  DispatchToControls(frame->event, message, wParam, lParam, frame->records, frame->count, 0);
  ReleaseControlStates(frame->event, frame->records, frame->count);
  SetWindowLongPtrW(window, DWLP_USER, 0);
  return 0;
}

INT OnQueryDialogKind(HWND, UINT, WPARAM, LPARAM lParam, INT kind, DialogEventFrame*) {
  if (lParam) *reinterpret_cast<INT*>(lParam) = kind;
  return 0;
}

INT OnShowWarnings(HWND window, UINT, WPARAM, LPARAM, INT, DialogEventFrame*) {
  ShowStartupWarnings(window);
  return 0;
}

// Handlers by event number for pages, nested pages and dialogs.
struct HandlerRow {
  EventHandler page;
  EventHandler nested;
  EventHandler dialog;
};
constexpr HandlerRow kHandlers[kEventCount] = {
    {OnPageCommand, RouteToControl, RouteToControl},
    {OnPageInitDialog, OnPageInitDialog, OnDialogInitDialog},
    {OnPageSetActive, OnPageSetActive, OnPageSetActive},
    {OnPageKillActive, OnPageKillActive, OnPageKillActive},
    {OnPageReset, OnPageReset, OnPageReset},
    {OnPageApply, OnPageApply, OnPageApply},
    {OnHelpMessage, OnHelpMessage, OnHelpMessage},
    {nullptr, nullptr, nullptr},
    {RouteToControl, RouteToControl, RouteToControl},
    {RouteToControl, RouteToControl, RouteToControl},
    {RouteToControl, RouteToControl, RouteToControl},
    {RouteToControl, RouteToControl, RouteToControl},
    {RouteToControl, RouteToControl, RouteToControl},
    {RouteToControl, RouteToControl, RouteToControl},
    {RouteToControl, RouteToControl, RouteToControl},
    {RouteToControl, RouteToControl, RouteToControl},
    {RouteToControl, RouteToControl, RouteToControl},
    {RouteToControl, RouteToControl, RouteToControl},
    {RouteToControl, RouteToControl, RouteToControl},
    {RouteToControl, RouteToControl, RouteToControl},
    {OnHelpMessage, OnHelpMessage, OnHelpMessage},
    {OnHelpMessage, OnHelpMessage, OnHelpMessage},
    {nullptr, nullptr, nullptr},
    {RouteToControl, RouteToControl, RouteToControl},
    {nullptr, nullptr, nullptr},
    {RouteToControl, RouteToControl, RouteToControl},
    {ForwardToControls, ForwardToControls, ForwardToControls},
    {ForwardToControls, ForwardToControls, ForwardToControls},
    {ForwardToControls, ForwardToControls, ForwardToControls},
    {nullptr, nullptr, nullptr},
    {OnDialogDestroy, OnDialogDestroy, OnDialogDestroy},
    {nullptr, nullptr, nullptr},
    {OnQueryDialogKind, OnQueryDialogKind, OnQueryDialogKind},
    {RouteToControl, RouteToControl, RouteToControl},
    {RouteToControl, RouteToControl, RouteToControl},
    {OnShowWarnings, OnShowWarnings, OnShowWarnings},
    {RouteToControl, RouteToControl, RouteToControl},
    {RouteToControl, RouteToControl, RouteToControl},
};

}  // namespace

INT FindDialogHandler(UINT message, WPARAM, LPARAM lParam, WORD type, EventHandler* handler, INT* event) {
  if (handler) *handler = nullptr;
  const EventRow* row = kEventMap;
  while (row->message && row->message != message) ++row;
  if (!row->message) return 0;
  if (message == kNotifyMessage) {
    const auto* nm = reinterpret_cast<const NMHDR*>(lParam);
    if (!nm) return 0;
    while (row->message == kNotifyMessage && row->code != nm->code) ++row;
    if (row->message != kNotifyMessage) return 0;
  }
  const HandlerRow& h = kHandlers[row->event];
  EventHandler chosen = type == kDialogTypePage ? h.page
                        : type == kDialogTypeNestedPage ? h.nested
                        : type == kDialogTypeDialog ? h.dialog
                                                    : nullptr;
  if (type != kDialogTypePage && type != kDialogTypeNestedPage && type != kDialogTypeDialog) return 0;
  if (handler) *handler = chosen;
  if (event) *event = row->event;
  return 1;
}

INT_PTR DispatchDialogMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, INT kind, WORD type,
                              EventHandler handler) {
  if (!handler) return 0;
  ControlEvent event{};
  DialogEventFrame frame{&event, nullptr, 0, type};
  if (GetSheetContext(window)) {
    if (const ControlSet* set = GetDialogControlSet(window, kind)) {
      frame.records = set->records;
      frame.count = set->count;
    }
  }
  fill_event(&event, window, owner_of(window, type), kind, message, type);
  const INT result = handler(window, message, wParam, lParam, kind, &frame);
  SafeGlobalFree(event.changed);
  return result;
}

INT_PTR RunEngineDialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam, INT kind, WORD type) {
  EventHandler handler = nullptr;
  if (!FindDialogHandler(message, wParam, lParam, type, &handler, nullptr)) return FALSE;
  return DispatchDialogMessage(window, message, wParam, lParam, kind, type, handler);
}

INT DispatchToControls(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                       const ControlRecord* records, INT count, INT initial) {
  INT result = initial;
  if (!event || !records) return result;
  for (INT i = 0; i < count; ++i) {
    const INT r = call_record(event, message, wParam, lParam, &records[i]);
    if (r != initial) {
      if (message == UM_VALIDATE_CONTROLS) return r;
      result = r;
    }
  }
  event->default_handler = nullptr;
  return result;
}

INT ActivateDialog(HWND window, WPARAM wParam, LPARAM lParam, DialogEventFrame* frame) {
  SheetContext* context = GetSheetContext(window);
  ControlEvent* event = frame->event;
  if (!context || !context->state || !event->database || !event->devmode || event->kind == kNoKind) return 0;
  SheetState* state = context->state;
  state->active_page = event->kind;
  if (static_cast<INT>(wParam) != -201) state->current_measurement = state->measurement;
  state->page_scratch = 0;
  ControlSet* set = GetDialogControlSet(window, event->kind);
  bool rebuilt = false;
  if (set && set->rebuild) {
    if (!CreateControlStates(window, event, frame->records, frame->count)) return 0;
    set->rebuild = 0;
    rebuilt = true;
  }
  // Every activation starts a new commit cycle, so that a Cancel after an
  // earlier Apply (or inside a dialog opened after it) restores again.
  state->commit_flag = FALSE;
  if (rebuilt) {
    const SettingsTarget target{event->database, event->devmode, event->printer_data};
    CheckFormNameItem(state->printer, &target);
  }
  if (!ReloadControlValues(event, frame->records, frame->count) ||
      !SelectCurrentChoices(event, frame->records, frame->count) ||
      !RecheckControlConstraints(event, frame->records, frame->count, kRecheckOnActivate) ||
      !SelectCurrentChoices(event, frame->records, frame->count))
    return 0;
  DispatchToControls(event, WM_NOTIFY, wParam, lParam, frame->records, frame->count, 0);
  return 0;
}

INT DeactivateDialog(HWND window, WPARAM wParam, LPARAM lParam, DialogEventFrame* frame) {
  ControlEvent* event = frame->event;
  if (event->kind == kNoKind || !frame->records) return 0;
  const INT result = DispatchToControls(event, WM_NOTIFY, wParam, lParam, frame->records, frame->count, 0);
  if (result == 1) {
    NMHDR again{window, 0, PSN_SETACTIVE};
    ActivateDialog(window, static_cast<WPARAM>(-201), reinterpret_cast<LPARAM>(&again), frame);
  }
  return result;
}

void SetRefreshRequest(ControlEvent* event, INT flag, WORD* list, const ControlRecord* record) {
  if (!event) return;
  if (event->changed && event->changed != list) GlobalFree(event->changed);
  event->changed = list;
  event->refresh = flag;
  event->refresh_record = record;
}
