// Commit on OK and Apply, restoring on Cancel, and the snapshots they keep.
#include <algorithm>

#include "control_handlers.h"
#include "pi/security_marking.h"
#include "property_sheets/sheet_engine.h"
#include "property_sheets/sheet_texts.h"
#include "settings/constraints/settings_validation.h"
#include "settings/database/ddd_file.h"
#include "settings/devmode/driver_devmode.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_data_kinds.h"
#include "settings/stores/user_registry_values.h"
#include "win/memory.h"
#include "win/msgbox.h"
#include "win/registry.h"

namespace {

constexpr WORD kMarkingSwitch = 1339;
constexpr WORD kMarkingBlock = 259;
constexpr INT kMarkingAccepted = 1;
constexpr INT kMarkingConflict = 4;

void report_ok(SheetState* state) {
  state->result_flag = TRUE;
  auto callback = reinterpret_cast<PFNCOMPROPSHEET>(state->compstui_callback);
  if (callback && state->page_handles)
    callback(state->compstui_handle, CPSFUNC_SET_RESULT, reinterpret_cast<LPARAM>(state->page_handles[0]), CPSUI_OK);
}

// The security-marking check of a commit: 1 go on, 2 refused.
INT check_marking(HWND window, SheetContext* context) {
  SheetState* state = context->state;
  SheetSnapshot& now = context->current;
  INT answer = -101;
  BYTE* info = AllocGetPrinter(state->printer, 1);
  WORD type = 0;
  DWORD size = 0;
  ItemValue block{};
  const bool have_block = GetItemValue(kMarkingBlock, now.devmode, now.printer_data, &type, &size, &block) == 0;
  if (info && have_block && type == 6 && block.ptr) {
    SealmarkSession* session = nullptr;
    if (Sealmark_OpenSession(reinterpret_cast<PRINTER_INFO_1W*>(info)->pName, static_cast<LPCWSTR>(block.ptr), 0,
                             &session) == 1) {
      SealmarkIdList list{};
      if (Sealmark_CollectDriverSettings(session, now.devmode, now.printer_data, &list) == 1) {
        const SealmarkSettings settings{now.marking_size, now.marking, 0, nullptr};
        answer = Sealmark_CheckConflict(window, session, &list, &settings);
      }
      // The collected list is freed whatever the check answered.
      Sealmark_FreeIdList(&list);
      Sealmark_CloseSession(session);
    }
  }
  SafeGlobalFree(info);
  if (answer == kMarkingAccepted) return 1;
  if (answer == kMarkingConflict) return 2;
  // The check could not run: the user is told that marking is off for
  // these settings, and the opening marking data comes back.
  ShowResourceMessageBox(window, 265, nullptr, MB_ICONWARNING, 3904, nullptr);
  const DWORD off = 0;
  SetItemValueRaw(kMarkingSwitch, now.devmode, now.printer_data, 1, 4, &off);
  SafeGlobalFree(now.marking);
  now.marking = nullptr;
  now.marking_size = 0;
  const SheetSnapshot& opening = context->initial;
  if (opening.marking && opening.marking_size) {
    now.marking = static_cast<BYTE*>(GlobalAlloc(GPTR, opening.marking_size));
    if (now.marking) {
      std::copy(opening.marking, opening.marking + opening.marking_size, now.marking);
      now.marking_size = opening.marking_size;
    }
  }
  return 1;
}

}  // namespace

INT RestoreCurrentSnapshot(SheetContext* context, BOOL use_opening) {
  if (!context) return 0;
  const SheetSnapshot* source = (!use_opening && context->applied.devmode) ? &context->applied : &context->initial;
  return CopySnapshot(&context->current, source);
}

INT SaveAppliedSnapshot(SheetContext* context) {
  return context ? CopySnapshot(&context->applied, &context->current) : 0;
}

INT FinalizeSettings(HWND window, void* devmode, void* printer_data) {
  const SheetState* state = GetSheetState(window);
  DddHandle* database = state ? state->database : nullptr;
  if (!database) return 1;
  WORD type = 0;
  DWORD size = 0;
  ItemValue paper{};
  if (GetItemValue(8, devmode, printer_data, &type, &size, &paper)) return 0;
  const bool custom = GetTypedValue(type, &paper) == 256;
  if (custom && !CopyStoredCustomSize(0, devmode, printer_data)) return 0;
  if (custom) {
    ItemValue fields{};
    if (GetItemValue(6, devmode, printer_data, &type, &size, &fields)) return 0;
    DWORD f = static_cast<DWORD>(GetTypedValue(type, &fields)) | 0x0C;
    if (!SetItemValue(6, devmode, printer_data, static_cast<DWORD>(-1), type, &f)) return 0;
  }
  const SettingsTarget target{database, devmode, printer_data};
  if (CheckFormNameItem(state->printer, &target) == 1 || !SyncTrueTypeOption(devmode, printer_data, 0) ||
      !UpdateCollateFieldBit(database, devmode, printer_data) || !SyncColorSettings(devmode, printer_data) ||
      !SyncIcmMethod(devmode, printer_data) || !SyncScaleFieldBit(devmode, printer_data))
    return 0;
  if (!custom && !SyncPaperDimensionBits(devmode, printer_data)) return 0;
  return 1;
}

INT CommitSheet(ControlEvent* event, HWND window, UINT message, WPARAM wParam, PSHNOTIFY* notify,
                const ControlRecord* records, INT count, WORD type) {
  SheetContext* context = GetSheetContext(window);
  SheetState* state = context ? context->state : nullptr;
  if (!state) return 0;
  if (type != kDialogTypePage) state->dialog_tooltip = nullptr;
  if (!state->commit_flag) {
    if (type == kDialogTypePage) {
      WORD vtype = 0;
      DWORD size = 0;
      ItemValue marking{};
      if (GetItemValue(kMarkingSwitch, context->current.devmode, context->current.printer_data, &vtype, &size, &marking))
        return 0;
      if (GetTypedValue(vtype, &marking) && check_marking(window, context) == 2) return 2;
      HKEY favorite = nullptr;
      if (OpenUserRegistryKey(state->printer, state->database, u"Favorite", &favorite) == 1 && favorite) {
        RegDeleteValueW(favorite, u"SelPosition");
        RegCloseKey(favorite);
      }
      FinalizeSettings(window, context->current.devmode, context->current.printer_data);
      report_ok(state);
      if (notify && !notify->lParam && !SaveAppliedSnapshot(context)) return 0;
    } else if (event && event->owner) {
      SendMessageW(GetParent(event->owner), PSM_CHANGED, reinterpret_cast<WPARAM>(event->owner), 0);
    }
    state->commit_flag = TRUE;
  }
  INT result = 0;
  if (event && event->kind >= 0 && event->kind < kDialogKindCount) {
    PSHNOTIFY apply{};
    if (notify) apply = *notify;
    apply.hdr.code = PSN_APPLY;
    result = DispatchToControls(event, message, wParam, reinterpret_cast<LPARAM>(&apply), records, count, 0);
    ReleaseControlStates(event, records, count);
    if (ControlSet* set = GetDialogControlSet(window, event->kind)) set->rebuild = 1;
  }
  return result;
}

void ResetSheet(ControlEvent* event, HWND window, UINT message, WPARAM wParam, NMHDR* notify,
                const ControlRecord* records, INT count, WORD type) {
  SheetContext* context = GetSheetContext(window);
  SheetState* state = context ? context->state : nullptr;
  if (!state) return;
  if (type == kDialogTypePage)
    state->page_tooltip = nullptr;
  else
    state->dialog_tooltip = nullptr;
  if (!state->commit_flag) {
    RestoreCurrentSnapshot(context, FALSE);
    state->commit_flag = TRUE;
    if (type == kDialogTypePage && state->result_flag) report_ok(state);
  }
  if (event && event->kind >= 0 && event->kind < kDialogKindCount) {
    // The event's settings pair points at the restored snapshot now.
    event->devmode = context->current.devmode;
    event->printer_data = context->current.printer_data;
    DispatchToControls(event, UM_RESTORE_CONTROLS, wParam, reinterpret_cast<LPARAM>(notify), records, count, 0);
    NMHDR reset{};
    if (notify) reset = *notify;
    reset.code = PSN_RESET;
    DispatchToControls(event, message, wParam, reinterpret_cast<LPARAM>(&reset), records, count, 0);
    ReleaseControlStates(event, records, count);
    if (ControlSet* set = GetDialogControlSet(window, event->kind)) set->rebuild = 1;
  }
}
