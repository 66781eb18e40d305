// Conflict message boxes and the resolution of a property sheet's change.
#include "settings/constraints/conflict_boxes.h"

#include "property_sheets/sheet_records.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/constraints/conflict_texts.h"
#include "win/memory.h"
#include "win/msgbox.h"
#include "win/resources.h"

namespace {

constexpr UINT kCaptionId = 265;
constexpr INT kCaptionChars = 128;
constexpr DWORD kNoItemsWarning = 0xFFFF0030;

// The sheet's options; false when the window has no sheet.
bool sheet_options(HWND window, ConflictMessageOptions* options) {
  const SheetState* state = GetSheetState(window);
  return state && GetConflictMessageOptions(state, options);
}

// Shows `text` (freed here) with the caption; the box's answer, or -1
// without a text.
INT show(HWND window, HMODULE module, LPWSTR text, UINT style) {
  if (!text) return -1;
  WCHAR caption[kCaptionChars] = {};
  if (module) LoadStringW(module, kCaptionId, caption, kCaptionChars);
  const INT answer = MessageBoxW(window, text, caption, style);
  GlobalFree(text);
  return answer;
}

// A warning box of a built text: 0 shown, 1 no text.
template <typename Build>
INT warning(HWND window, Build build) {
  ConflictMessageOptions options{};
  if (!sheet_options(window, &options)) return 1;
  HMODULE module = GetResourceModule();
  LPWSTR text = nullptr;
  if (!build(module, &options, &text) || !text) return 1;
  show(window, module, text, MB_ICONWARNING);
  return 0;
}

// An OK/Cancel question: 0 OK, 1 otherwise.
template <typename Build>
INT question(HWND window, Build build) {
  ConflictMessageOptions options{};
  if (!sheet_options(window, &options)) return 1;
  HMODULE module = GetResourceModule();
  LPWSTR text = nullptr;
  if (!build(module, &options, &text) || !text) return 1;
  return show(window, module, text, MB_ICONINFORMATION | MB_OKCANCEL) == IDOK ? 0 : 1;
}

}  // namespace

INT ShowConflictWarning(HWND window, const SettingsTarget* target, const EntryCheckState* state, WORD ddmid,
                        const ConflictMessageOptions* options) {
  if (!GetSheetState(window) || !state) return 1;
  HMODULE module = GetResourceModule();
  LPWSTR text = nullptr;
  if (!BuildRangeWarningText(module, target, state->divisor ? state->divisor : 1, state->integer_only, ddmid,
                             state->text, state->type, state->smallest, state->largest, options, &text) ||
      !text)
    return 1;
  show(window, module, text, MB_ICONWARNING);
  return 0;
}

INT ShowConflictItemsWarning(HWND window, const SettingsTarget* target, const SettingChange* change,
                             LPCWSTR extra_condition, const ConflictReport* report) {
  return warning(window, [&](HMODULE module, const ConflictMessageOptions* options, LPWSTR* text) {
    return BuildConflictQuestionText(FALSE, module, target, change, extra_condition, nullptr, nullptr, nullptr, report,
                                     options, text);
  });
}

INT ShowConflictQuestion(HWND window, const SettingsTarget* target, const SettingChange* change,
                         LPCWSTR extra_condition, LPCWSTR extra_action, const ConflictReport* report) {
  return question(window, [&](HMODULE module, const ConflictMessageOptions* options, LPWSTR* text) {
    return BuildConflictQuestionText(TRUE, module, target, change, extra_condition, extra_action, nullptr, nullptr,
                                     report, options, text);
  });
}

INT ShowValueWarning(HWND window, const SettingsTarget* target, const SettingChange* change,
                     const ConflictReport* report) {
  return warning(window, [&](HMODULE module, const ConflictMessageOptions* options, LPWSTR* text) {
    return BuildValueWarningText(module, target, change, report, options, text);
  });
}

INT ShowFinishingPositionQuestion(HWND window, const SettingsTarget* target, const SettingChange* change,
                                  const ConflictReport* report) {
  return question(window, [&](HMODULE module, const ConflictMessageOptions* options, LPWSTR* text) {
    return BuildFinishingPositionText(module, target, change, report, options, text);
  });
}

INT ShowConflictNote(HWND window, const SettingsTarget* target, const SettingChange* change,
                     const ConflictReport* report) {
  return warning(window, [&](HMODULE module, const ConflictMessageOptions* options, LPWSTR* text) {
    return BuildConflictNoteText(module, target, change, report, options, text);
  });
}

INT ShowConfirmChanges(HWND window, const SettingsTarget* target, const WORD* ddmids, WORD count) {
  ConflictMessageOptions options{};
  if (!sheet_options(window, &options)) return 1;
  HMODULE module = GetResourceModule();
  LPWSTR text = nullptr;
  if (!BuildConfirmChangesText(module, target, ddmids, count, &options, &text)) return 1;
  if (!text) return 0;  // nothing to confirm
  return show(window, module, text, MB_ICONINFORMATION | MB_OKCANCEL) == IDOK ? 0 : 8;
}

INT ShowConstraintMessage(HWND window, WORD kind_flags, const SettingsTarget* target, const SettingChange* change,
                          const WORD* ddmids) {
  auto build = [&](HMODULE module, const ConflictMessageOptions* options, LPWSTR* text) {
    return BuildConstraintText(kind_flags, module, target, change, nullptr, nullptr, ddmids, options, text);
  };
  return kind_flags & 0x10 ? warning(window, build) : question(window, build);
}

INT ShowRuleActionWarning(HWND window, const SettingsTarget* target, const ConflictReport* report) {
  return warning(window, [&](HMODULE module, const ConflictMessageOptions* options, LPWSTR* text) {
    return BuildRuleWarningText(module, target, report, options, text);
  });
}

INT ShowConflictMessageByKind(HWND window, const SettingsTarget* target, const SettingChange* change,
                              const ConflictExtras* extras, const ConflictReport* report) {
  if (!target || !change || !report) return kAnswerError;
  const LPCWSTR condition = extras ? extras->condition_line : nullptr;
  const LPCWSTR action = extras ? extras->action_line : nullptr;
  switch (report->kind) {
    case 0:
    case 4:
    case 9: return kAnswerGoAhead;
    case 2:
      if (!HasDeviceCapability(target->database, kNoItemsWarning))
        ShowConflictItemsWarning(window, target, change, condition, report);
      return kAnswerRefused;
    case 3:
      return ShowConflictQuestion(window, target, change, condition, action, report) == 0 ? kAnswerGoAhead
                                                                                         : kAnswerRefused;
    case 5:
      return ShowFinishingPositionQuestion(window, target, change, report) == 0 ? kAnswerGoAhead : kAnswerRefused;
    case 7:
      ShowConflictNote(window, target, change, report);
      return kAnswerRefusedAfterNote;
    case 8:
      return ShowConflictQuestion(window, target, change, condition, action, report) == 0 ? kAnswerGoAhead
                                                                                         : kAnswerRefusedAfterNote;
    case 10:
    case 11:
    case 12:
    case 13:
      ShowValueWarning(window, target, change, report);
      return kAnswerRefused;
    default: return kAnswerError;
  }
}

INT ShowItemConflictWarning(HWND window, const SettingsTarget* target, const SettingChange* change,
                            const ConflictReport* report) {
  (void)change;
  ShowRuleActionWarning(window, target, report);
  return kAnswerApplied;
}

INT CheckImageFitsPaperDialog(HWND window, const SettingsTarget* target, const SettingChange* change) {
  WORD* list = nullptr;
  const INT fits = CheckImageFitsPaper(target, change, &list);
  INT result = kAnswerError;
  if (fits == 0) {
    result = kAnswerGoAhead;
  } else if (fits == 13 || fits == 14) {
    result = ShowConstraintMessage(window, fits == 13 ? 17 : 16, target, change, list) == 0 ? kAnswerGoAhead
                                                                                          : kAnswerRefused;
  }
  if (list) GlobalFree(list);
  return result;
}

INT ConfirmSettingChange(HWND window, DddHandle* database, void* devmode, void* printer_data, const WORD* ddmids,
                         WORD count) {
  if (!window || !database || !devmode || !printer_data || !ddmids || !count) return 1;
  const SettingsTarget target{database, devmode, printer_data};
  return ShowConfirmChanges(window, &target, ddmids, count);
}

INT ApplySettingChange(HWND window, const SettingsTarget* target, const SettingChange* change,
                       const ConflictReport* report, const ConflictExtras* extras, const DdmidListRef* changed) {
  if (!target || !change || !change->value || !report || !changed) return kAnswerError;
  if (SetTargetItemValue(target, change->ddmid, change->type, change->value)) return kAnswerError;
  if (AddChangedItem(change->ddmid, changed->room, changed->ids, changed->count)) return kAnswerError;
  if (report->kind == 0) return kAnswerRefused;
  const INT first = ApplyRuleActions(1, target, changed, report->rules.count, report->rules.ids);
  if (first == kAnswerError) return kAnswerError;
  const INT second = ApplyRuleActions(0, target, changed, report->rules_alt.count, report->rules_alt.ids);
  if (second == kAnswerError) return kAnswerError;
  const INT items = extras ? ApplyItemValues(target, changed, extras->item_count, extras->items) : kAnswerRefused;
  if (items == kAnswerError) return kAnswerError;
  const bool applied = first == kAnswerApplied || second == kAnswerApplied || items == kAnswerApplied;
  if (applied && report->kind == 9) ShowItemConflictWarning(window, target, change, report);
  return applied ? kAnswerApplied : kAnswerRefused;
}
