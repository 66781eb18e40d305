// Binding controls to settings while a dialog is open: the ControlStates
// with their setting slots, the sheet's shared ItemInfos, the constraint
// state of each setting and choice, the change of a setting from a
// control, and the refresh of the dialog after it.
#include <cstring>

#include "control_handlers.h"
#include "fax/key_list.h"
#include "property_sheets/sheet_engine.h"
#include "property_sheets/sheet_fonts.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/module_state.h"
#include "settings/constraints/conflict_check.h"
#include "settings/constraints/conflict_messages.h"
#include "settings/constraints/conflict_report.h"
#include "settings/constraints/settings_validation.h"
#include "settings/database/ddd_file.h"
#include "settings/database/model_config.h"
#include "settings/items/item_info.h"
#include "settings/items/setting_items.h"
#include "win/memory.h"

namespace {

constexpr INT kStatesList = 3;
constexpr INT kConstraintsList = 4;
constexpr WORD kTypeText = 6;

struct ConstraintEntry {
  WORD ddmid;
  INT choices;
  ConflictReport* report;
  ConflictReport** choice_reports;
};

KeyList* context_list(HWND window, INT which) {
  SheetContext* context = GetSheetContext(window);
  return context ? context->lists[which] : nullptr;
}

KeyList* item_cache(HWND window) {
  const SheetState* state = GetSheetState(window);
  return state && state->dialog_tables ? state->dialog_tables->item_infos : nullptr;
}

ItemInfo* acquire_item(HWND window, ControlEvent* event, WORD ddmid) {
  KeyList* cache = item_cache(window);
  if (!cache) return nullptr;
  if (auto* entry = static_cast<CachedItem*>(KeyList_FindData(cache, ddmid, kKeyListAnyKey2))) {
    ++entry->references;
    return entry->info;
  }
  const SheetState* state = GetSheetState(window);
  ConflictMessageOptions options{};
  GetConflictMessageOptions(state, &options);
  ItemInfoOptions item_options{};
  item_options.inches = options.inches;
  item_options.tenths = options.tenths;
  item_options.printer = state->printer;
  AddSheetFaceChoices(state, ddmid, &item_options);
  ItemInfo* info = BuildItemInfo(event->database, ddmid, event->devmode, event->printer_data, GetResourceModule(),
                                 &item_options);
  if (!info) return nullptr;
  auto* entry = static_cast<CachedItem*>(GlobalAlloc(GPTR, sizeof(CachedItem)));
  if (!entry || !KeyList_Push(cache, ddmid, 0xFFFF, entry)) {
    SafeGlobalFree(entry);
    ItemInfo_Free(info);
    return nullptr;
  }
  *entry = CachedItem{ddmid, info, 1};
  return info;
}

void release_item(HWND window, WORD ddmid) {
  KeyList* cache = item_cache(window);
  auto* entry = static_cast<CachedItem*>(KeyList_FindData(cache, ddmid, kKeyListAnyKey2));
  if (!entry || --entry->references > 0) return;
  ItemInfo_Free(entry->info);
  KeyList_Remove(cache, ddmid, kKeyListAnyKey2);
  GlobalFree(entry);
}

void free_constraint(ConstraintEntry* entry) {
  FreeConflictReport(entry->report);
  if (entry->choice_reports) {
    for (INT i = 0; i < entry->choices; ++i) FreeConflictReport(entry->choice_reports[i]);
    GlobalFree(entry->choice_reports);
  }
  GlobalFree(entry);
}

bool create_constraint(HWND window, WORD ddmid, INT choices) {
  KeyList* list = context_list(window, kConstraintsList);
  if (!list) return false;
  if (KeyList_FindData(list, ddmid, kKeyListAnyKey2)) return true;
  auto* entry = static_cast<ConstraintEntry*>(GlobalAlloc(GPTR, sizeof(ConstraintEntry)));
  if (!entry) return false;
  entry->ddmid = ddmid;
  entry->choices = choices > 0 ? choices : 0;
  entry->report = NewConflictReport();
  bool ok = entry->report != nullptr;
  if (ok && entry->choices) {
    entry->choice_reports =
        static_cast<ConflictReport**>(GlobalAlloc(GPTR, sizeof(ConflictReport*) * static_cast<SIZE_T>(entry->choices)));
    ok = entry->choice_reports != nullptr;
    for (INT i = 0; ok && i < entry->choices; ++i) ok = (entry->choice_reports[i] = NewConflictReport()) != nullptr;
  }
  if (!ok || !KeyList_Push(list, ddmid, 0xFFFF, entry)) {
    free_constraint(entry);
    return false;
  }
  return true;
}

ConstraintEntry* find_constraint(HWND window, WORD ddmid) {
  return static_cast<ConstraintEntry*>(KeyList_FindData(context_list(window, kConstraintsList), ddmid, kKeyListAnyKey2));
}

void free_state(ControlState* state) {
  if (!state) return;
  SafeGlobalFree(state->slots);
  GlobalFree(state);
}

// Evaluates one setting (and its choices) into its constraint entry.
bool recheck_setting(ControlEvent* event, WORD ddmid, WORD flag, const SettingSlot* slot) {
  ItemInfo* info = GetItemInfo(event->window, ddmid);
  ConstraintEntry* entry = find_constraint(event->window, ddmid);
  const SheetState* state = GetSheetState(event->window);
  if (!info || !entry || !state) return true;
  if (CheckSettingChange(kCheckModeAll, state->printer, event->database, event->devmode, event->printer_data,
                         event->changed, ddmid, info->value_type, nullptr, entry->report, nullptr, 0))
    return false;
  if (info->kind == kItemKindUnusable) return false;
  if (info->kind == kItemKindNumber || info->kind == kItemKindText) return true;
  for (INT i = 0; i < entry->choices && i < info->count; ++i) {
    if (flag == kRecheckOnChange && (!slot || slot->choice != i)) continue;
    CheckSettingChange(kCheckModeView, state->printer, event->database, event->devmode, event->printer_data,
                       event->changed, ddmid, info->value_type, ItemInfo_GetChoiceAt(info, i), entry->choice_reports[i],
                       nullptr, 0);
  }
  return true;
}

bool usable_kind(INT kind) { return kind == 0 || kind == 14 || kind == 15; }

}  // namespace

ItemInfo* GetItemInfo(HWND window, WORD ddmid) {
  auto* entry = static_cast<CachedItem*>(KeyList_FindData(item_cache(window), ddmid, kKeyListAnyKey2));
  return entry ? entry->info : nullptr;
}

INT RebuildItemInfo(ControlEvent* event, WORD ddmid) {
  KeyList* cache = item_cache(event->window);
  auto* entry = cache ? static_cast<CachedItem*>(KeyList_FindData(cache, ddmid, kKeyListAnyKey2)) : nullptr;
  if (!entry) return 0;
  const SheetState* state = GetSheetState(event->window);
  ConflictMessageOptions options{};
  GetConflictMessageOptions(state, &options);
  ItemInfoOptions item_options{};
  item_options.inches = options.inches;
  item_options.tenths = options.tenths;
  item_options.printer = state->printer;
  AddSheetFaceChoices(state, ddmid, &item_options);
  ItemInfo* info = BuildItemInfo(event->database, ddmid, event->devmode, event->printer_data, GetResourceModule(),
                                 &item_options);
  if (!info) return 0;
  ItemInfo_Free(entry->info);
  entry->info = info;
  return 1;
}

ConflictReport* GetSettingReport(HWND window, WORD ddmid) {
  ConstraintEntry* entry = find_constraint(window, ddmid);
  return entry ? entry->report : nullptr;
}

ConflictReport* GetChoiceReport(HWND window, WORD ddmid, INT choice) {
  ConstraintEntry* entry = find_constraint(window, ddmid);
  if (!entry || choice < 0 || choice >= entry->choices) return nullptr;
  return entry->choice_reports[choice];
}

INT GetSettingAvailability(HWND window, WORD ddmid) {
  const SheetState* state = GetSheetState(window);
  if (state && state->database && state->database->config) {
    WORD flags = 0;
    if (FindConfiguredItemFlags(ddmid, state->database->config, &flags)) {
      if (flags & 0x4) return 6;
      if (flags & 0x8) return 1;
      if (flags & 0x10) return 0;
    }
  }
  const ConflictReport* report = GetSettingReport(window, ddmid);
  return report ? report->kind : -1;
}

ControlState* FindControlState(HWND window, const ControlRecord* record) {
  if (!record) return nullptr;
  return static_cast<ControlState*>(KeyList_FindData(context_list(window, kStatesList), static_cast<DWORD>(record->id),
                                                     static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(window))));
}

INT CreateControlStates(HWND window, ControlEvent* event, const ControlRecord* records, INT count) {
  KeyList* states = context_list(window, kStatesList);
  if (!states || !records) return 0;
  const DWORD key2 = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(window));
  for (INT r = 0; r < count; ++r) {
    const ControlRecord& record = records[r];
    if (!record.setting_count) continue;
    if (!FindControlState(window, &record)) {
      auto* state = static_cast<ControlState*>(GlobalAlloc(GPTR, sizeof(ControlState)));
      if (state) {
        state->id = record.id;
        state->current = kNoCurrent;
        state->slots = static_cast<SettingSlot*>(
            GlobalAlloc(GPTR, sizeof(SettingSlot) * static_cast<SIZE_T>(record.setting_count)));
      }
      if (!state || !state->slots || !KeyList_Push(states, static_cast<DWORD>(record.id), key2, state)) {
        free_state(state);
        ReleaseControlStates(event, records, r);
        return 0;
      }
      for (INT i = 0; i < record.setting_count; ++i) {
        state->slots[i].ddmid = RefDdmid(record.settings[i]);
        state->slots[i].choice = -1;
      }
    }
    for (INT i = 0; i < record.setting_count; ++i) {
      const WORD ddmid = RefDdmid(record.settings[i]);
      ItemInfo* info = acquire_item(window, event, ddmid);
      // A setting the model does not have is skipped without error.
      if (info && !create_constraint(window, ddmid, info->count)) {
        ReleaseControlStates(event, records, r + 1);
        return 0;
      }
    }
  }
  return 1;
}

void ReleaseControlStates(ControlEvent* event, const ControlRecord* records, INT count) {
  if (!event || !records) return;
  HWND window = event->window;
  const DWORD key2 = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(window));
  KeyList* states = context_list(window, kStatesList);
  KeyList* constraints = context_list(window, kConstraintsList);
  for (INT r = 0; r < count; ++r) {
    const ControlRecord& record = records[r];
    if (!record.setting_count) continue;
    ControlState* state = FindControlState(window, &record);
    if (!state) continue;
    free_state(state);
    KeyList_Remove(states, static_cast<DWORD>(record.id), key2);
    for (INT i = 0; i < record.setting_count; ++i) {
      const WORD ddmid = RefDdmid(record.settings[i]);
      if (!GetItemInfo(window, ddmid)) continue;
      release_item(window, ddmid);
      if (auto* entry = static_cast<ConstraintEntry*>(KeyList_FindData(constraints, ddmid, kKeyListAnyKey2))) {
        free_constraint(entry);
        KeyList_Remove(constraints, ddmid, kKeyListAnyKey2);
      }
    }
  }
}

INT GetCurrentRefIndex(HWND window, const ControlRecord* record) {
  if (!record) return -1;
  if (record->setting_count == 1) return 0;
  const ControlState* state = FindControlState(window, record);
  return state ? state->current : -1;
}

SettingSlot* GetCurrentSlot(HWND window, const ControlRecord* record) {
  ControlState* state = FindControlState(window, record);
  const INT i = GetCurrentRefIndex(window, record);
  if (!state || i < 0 || i >= record->setting_count) return nullptr;
  return &state->slots[i];
}

INT ReloadControlValues(ControlEvent* event, const ControlRecord* records, INT count) {
  if (!event || !records) return 0;
  for (INT r = 0; r < count; ++r) {
    ControlState* state = FindControlState(event->window, &records[r]);
    if (!state) continue;
    for (INT i = 0; i < records[r].setting_count; ++i) {
      SettingSlot& slot = state->slots[i];
      if (slot.ddmid >= kPseudoSettingBase) continue;
      if (GetItemValue(slot.ddmid, event->devmode, event->printer_data, &slot.type, &slot.size, &slot.value))
        return 0;
    }
  }
  return 1;
}

INT SelectCurrentChoices(ControlEvent* event, const ControlRecord* records, INT count) {
  if (!event || !records) return 0;
  HWND window = event->window;
  for (INT r = 0; r < count; ++r) {
    ControlState* state = FindControlState(window, &records[r]);
    if (!state) continue;
    if (state->current != kNoCurrent &&
        !usable_kind(GetSettingAvailability(window, state->slots[state->current].ddmid)))
      state->current = kNoCurrent;
    for (INT i = 0; i < records[r].setting_count; ++i) {
      SettingSlot& slot = state->slots[i];
      ItemInfo* info = GetItemInfo(window, slot.ddmid);
      if (!info) continue;
      if (state->current == kNoCurrent && usable_kind(GetSettingAvailability(window, slot.ddmid))) state->current = i;
      slot.choice = -1;
      if (info->kind == kItemKindList || info->kind == kItemKindNumberedList)
        for (LONG c = 0; c < info->count; ++c)
          // A text choice is matched with the text the slot points to.
          if (info->value_type == kTypeText
                  ? ItemText(slot.value, slot.size) == static_cast<LPCWSTR>(ItemInfo_GetChoiceAt(info, c))
                  : GetTypeCompare(info->value_type, ItemInfo_GetChoiceAt(info, c), &slot.value) == 0) {
            slot.choice = static_cast<INT>(c);
            break;
          }
    }
    if (state->current == kNoCurrent && records[r].setting_count == 1) state->current = 0;
  }
  return 1;
}

INT RecheckControlConstraints(ControlEvent* event, const ControlRecord* records, INT count, WORD flag) {
  if (!event || !records) return 0;
  for (INT r = 0; r < count; ++r) {
    const ControlState* state = FindControlState(event->window, &records[r]);
    if (!state) continue;
    for (INT i = 0; i < records[r].setting_count; ++i)
      if ((RefFlags(records[r].settings[i]) & flag) && !recheck_setting(event, state->slots[i].ddmid, flag, &state->slots[i]))
        return 0;
  }
  return 1;
}

INT RefreshPageControls(ControlEvent* event, const WORD* changed) {
  if (!event) return 0;
  HWND window = event->window;
  event->message = UM_REFRESH_CONTROLS;
  if (event->type == kDialogTypePage)
    SendMessageW(GetParent(window), PSM_CHANGED, reinterpret_cast<WPARAM>(window), 0);
  const ControlSet* set = GetDialogControlSet(window, event->kind);
  if (!set) return 0;
  if (!ReloadControlValues(event, set->records, set->count) || !SelectCurrentChoices(event, set->records, set->count) ||
      !RecheckControlConstraints(event, set->records, set->count, kRecheckOnChange) ||
      !SelectCurrentChoices(event, set->records, set->count))
    return 0;
  DispatchToControls(event, UM_REFRESH_CONTROLS, 0, reinterpret_cast<LPARAM>(changed), set->records, set->count, 0);
  return 1;
}

INT OnControlValueChanged(ControlEvent* event, const ControlRecord* record, const SettingSlot* slot, WORD type,
                          const void* value, WORD** changed) {
  return OnValueChangedAsItem(event, record, slot, type, value, changed, nullptr);
}

INT OnValueChangedAsItem(ControlEvent* event, const ControlRecord* /*record*/, const SettingSlot* slot, WORD type,
                         const void* value, WORD** changed, const ItemInfo* as_item) {
  if (!event || !slot || !value || !changed) return -1;
  *changed = nullptr;
  SheetState* state = GetSheetState(event->window);
  if (!event->window || !state) return -1;
  if (state->change_guard) return 2;
  state->change_guard = TRUE;
  struct Guard {
    SheetState* s;
    ~Guard() { s->change_guard = FALSE; }
  } guard{state};
  if (state->database && IsItemEnforced(slot->ddmid, state->database->config)) return 2;
  // A number goes to the settings in the type the setting stores.
  const void* choice_value = value;
  ItemValue converted{};
  if (type != kTypeText && slot->type && slot->type != kTypeText && slot->type != type) {
    const LONG n = GetTypedValue(type, value);
    if (slot->size == 1)
      converted.b = static_cast<BYTE>(n);
    else if (slot->size == 2)
      converted.w = static_cast<WORD>(n);
    else
      converted.l = n;
    value = &converted;
    type = slot->type;
  }
  // A text is compared with the text the slot points to.
  if (type == kTypeText ? ItemText(slot->value, slot->size) == static_cast<LPCWSTR>(value)
                        : GetTypeCompare(type, value, &slot->value) == 0)
    return 3;
  const ItemInfo* info = as_item ? as_item : GetItemInfo(event->window, slot->ddmid);
  ConstraintEntry* entry = find_constraint(event->window, slot->ddmid);
  if (!info || !entry || !event->devmode || !event->printer_data) return -1;
  ConflictReport* report = nullptr;
  WORD check_mode = kCheckModeChange;
  if (info->kind == kItemKindUnusable) return -1;
  if (info->kind == kItemKindNumber || info->kind == kItemKindText) {
    report = entry->report;
  } else {
    INT found = -1;
    for (LONG c = 0; c < info->count && found < 0; ++c)
      if (GetTypeCompare(info->value_type, ItemInfo_GetChoiceAt(info, c), choice_value) == 0) found = static_cast<INT>(c);
    if (found < 0 || found >= entry->choices) return -1;
    report = entry->choice_reports[found];
    check_mode = kCheckModeView;
  }
  if (CheckSettingChange(check_mode, state->printer, event->database, event->devmode, event->printer_data, nullptr,
                         slot->ddmid, type, value, report, nullptr, 0))
    return -1;
  const INT code = ResolveSettingChange(event->window, state->printer, FALSE, event->database, event->devmode,
                                        event->printer_data, slot->ddmid, type, value, changed, report);
  if (code == 4) {
    // What resolution stored stays stored and is reported (so that the
    // dialog shows it) even when the tray rules then fail.
    CheckOutputTrayRules(event->database, event->devmode, event->printer_data);
    if (state->database) ApplyForcedSettings(state->database->config, event->devmode, event->printer_data, 1);
    // A stored change opens a new commit cycle: a later Cancel restores.
    state->commit_flag = FALSE;
    return 1;
  }
  return code == 1 ? -1 : 2;
}
