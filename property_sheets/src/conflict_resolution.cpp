// Resolution of one setting change on a sheet: the check policy of the
// setting, the entry check, the question or warning the rules ask for, and
// the store of the value with what the rules' actions demand.
#include "control_handlers.h"
#include "property_sheets/sheet_engine.h"
#include "property_sheets/sheet_texts.h"
#include "settings/constraints/conflict_boxes.h"
#include "settings/constraints/conflict_report.h"
#include "settings/constraints/entry_checks.h"
#include "settings/devmode/placement_colour.h"
#include "settings/items/item_access.h"
#include "win/memory.h"
#include "win/msgbox.h"

namespace {

constexpr WORD kPolicyNumericField = 0x8;
constexpr WORD kPolicyStampCheck = 0x20;
constexpr WORD kPolicyFinishing = 0x80;
constexpr WORD kPolicySameAsWithout = 0x2;
constexpr WORD kDefaultPolicy = 4;

struct PolicyRow {
  WORD ddmid;
  WORD without_value;
  WORD with_value;
};

constexpr PolicyRow kPolicies[] = {
    {11, 12, 12},   {12, 12, 12},   {1814, 12, 12}, {1801, 12, 12}, {1802, 12, 12}, {1812, 12, 12},
    {8210, 12, 12}, {323, 12, 12},  {475, 12, 12},  {477, 12, 12},  {472, 12, 12},
    {451, 8, 8},    {452, 8, 8},    {268, 8, 8},    {269, 8, 8},    {460, 8, 8},    {461, 8, 8},
    {274, 8, 8},    {275, 8, 8},    {276, 8, 8},    {277, 8, 8},    {278, 8, 8},    {279, 8, 8},
    {280, 8, 8},    {281, 8, 8},    {282, 8, 8},    {283, 8, 8},    {284, 8, 8},    {285, 8, 8},
    {324, 8, 8},    {401, 8, 8},    {392, 8, 8},    {395, 8, 8},    {398, 8, 8},    {393, 8, 8},
    {402, 8, 8},    {396, 8, 8},    {399, 8, 8},    {403, 8, 8},    {394, 8, 8},    {397, 8, 8},
    {400, 8, 8},    {263, 8, 8},    {306, 8, 8},    {359, 8, 8},    {385, 8, 8},    {311, 8, 8},
    {309, 8, 8},    {310, 8, 8},    {1863, 8, 8},   {1864, 8, 8},   {470, 8, 8},    {1856, 8, 8},
    {36865, 16, 16}, {272, 16, 16}, {296, 36, 68},  {321, 100, 100}, {262, 68, 68}, {8, 100, 100},
    {295, 1, 132},  {7, 1, 132},
};

// Message kinds of an entry check that asks.
constexpr INT kMessageKindRangeNote = 3;

bool read_word(const SettingsTarget* t, WORD ddmid, WORD* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, t->devmode, t->printer_data, &type, &size, &v)) return false;
  *out = static_cast<WORD>(GetTypedValue(type, &v));
  return true;
}

// Settings 267, 320 and 341 again after 295 or 7 changed.
void derive_finishing(const SettingsTarget* t, WORD ddmid, const void* value) {
  WORD page_class = 0, orientation = 0, code = 0, derived = 0;
  if (!read_word(t, 295, &page_class) || !read_word(t, 7, &orientation)) return;
  const WORD now = static_cast<WORD>(GetTypedValue(ddmid == 7 ? 2 : 3, value));
  if (ddmid == 295)
    page_class = now;
  else if (ddmid == 7)
    orientation = now;
  else
    return;
  FinishingContext c{orientation, page_class, 0, 0};
  if (!read_word(t, 325, &code)) return;
  c.positionCode = code;
  if (DeriveFinishingItem267(&c, &derived) || SetTargetItemValue(t, 267, 3, &derived)) return;
  const WORD pairs[2][2] = {{326, 320}, {344, 341}};
  for (const auto& p : pairs) {
    if (!read_word(t, p[0], &code)) return;
    c.positionCode = code;
    if (DeriveFinishingPositionItem(p[1], &c, &derived) || SetTargetItemValue(t, p[1], 3, &derived)) return;
  }
}

// The zero-ended list of what changed, in a buffer of its own.
WORD* finish_list(const WORD* ids, WORD count) {
  auto* list = static_cast<WORD*>(GlobalAlloc(GPTR, sizeof(WORD) * (static_cast<SIZE_T>(count) + 1)));
  if (!list) return nullptr;
  for (WORD i = 0; i < count; ++i) list[i] = ids[i];
  return list;
}

}  // namespace

INT GetResolutionPolicy(WORD* flags, WORD ddmid, BOOL value_given) {
  if (!flags || !ddmid) return 0;
  *flags = kDefaultPolicy;
  for (const PolicyRow& row : kPolicies)
    if (row.ddmid == ddmid) {
      *flags = value_given && !(row.with_value & kPolicySameAsWithout) ? row.with_value : row.without_value;
      break;
    }
  return 1;
}

namespace {

INT resolve_conflict(HWND window, HANDLE printer, BOOL default_mode, DddHandle* database, void* devmode,
                     void* printer_data, WORD ddmid, WORD type, const void* value, WORD** changed,
                     ConflictReport* report) {
  if (!report || !printer_data || !database || !devmode || !changed) return 1;
  WORD flags = kDefaultPolicy;
  GetResolutionPolicy(&flags, ddmid, value != nullptr);
  const SettingsTarget target{database, devmode, printer_data};
  const SettingChange change{ddmid, type, value};
  EntryCheckState work{};
  SheetState* state = GetSheetState(window);
  if ((flags & kPolicyNumericField) && state) {
    // The range message speaks in the unit and decimals of the field the
    // value was typed into.
    work.step_switch = state->current_measurement;
    FindNumericField(window, ddmid, default_mode, &work.decimals, &work.field_flags);
  }
  INT message = 0;
  INT code = CheckEnteredValue(printer, &target, &change, report, flags, &message, &work);
  if (code == kAnswerError) return 1;
  ConflictExtras extras{};
  if (code == kAnswerShowMessage) {
    ConflictMessageOptions options{};
    if (!GetConflictMessageOptions(state, &options)) return 1;
    const bool stamp = (flags & kPolicyStampCheck) && CheckStampItemConflict(&target, &change, &extras) == 0 &&
                       (extras.condition_line || extras.item_count);
    switch (message) {
      case kMessageConflict:
        code = ShowConflictMessageByKind(window, &target, &change, stamp ? &extras : nullptr, report);
        break;
      case kMessageRange:
        ShowConflictWarning(window, &target, &work, ddmid, &options);
        code = kAnswerRefused;
        break;
      case kMessageKindRangeNote:
        ShowResourceMessageBox(window, 265, nullptr, MB_ICONWARNING, 427, nullptr);
        code = kAnswerRefusedAfterNote;
        break;
      case kMessageImagePlacement:
        code = ShowConflictMessageByKind(window, &target, &change, nullptr, report);
        if (code == kAnswerGoAhead) code = CheckImageFitsPaperDialog(window, &target, &change);
        break;
      default: code = kAnswerRefused; break;
    }
  }
  WORD inline_ids[kChangedItemRoom] = {};
  WORD* ids = inline_ids;
  WORD count = 0;
  const DdmidListRef list{&ids, &count, kChangedItemRoom, inline_ids};
  if (code == kAnswerGoAhead) {
    // Without a value there is nothing of its own to write: only what the
    // rules demand.
    // Written with a value, or by the rules' actions: stored (4).
    if (value)
      code = ApplySettingChange(window, &target, &change, report, extras.item_count ? &extras : nullptr, &list);
    else
      code = report->kind ? ApplyReportRuleActions(&target, report, &list) : kAnswerRefused;
    if (code != kAnswerError && (value || report->kind)) code = kAnswerApplied;
    if (code == kAnswerApplied && value && (flags & kPolicyFinishing)) derive_finishing(&target, ddmid, value);
  }
  FreeConflictExtras(&extras);
  if (code == 2) code = 1;
  if (code == kAnswerApplied) {
    *changed = finish_list(ids, count);
    ClearDdmidList(&list);
    return *changed ? kAnswerApplied : 1;
  }
  ClearDdmidList(&list);
  *changed = nullptr;
  return code;
}

}  // namespace

INT ResolveSettingChange(HWND window, HANDLE printer, BOOL default_mode, DddHandle* database, void* devmode,
                         void* printer_data, WORD ddmid, WORD type, const void* value, WORD** changed,
                         ConflictReport* report) {
  if (!report || !database || !devmode || !printer_data || !window || !changed) return 1;
  if (value) {
    const SettingsTarget target{database, devmode, printer_data};
    const SettingChange item{ddmid, type, value};
    const INT same = TestItemRuleValue(&target, &item);
    if (same == kAnswerError) return 1;
    if (same == kAnswerGoAhead && ddmid != 263 && ddmid != 266) return kAnswerRefused;
  }
  *changed = nullptr;
  return resolve_conflict(window, printer, default_mode, database, devmode, printer_data, ddmid, type, value, changed,
                          report);
}

INT ResolveConflict(HWND window, HANDLE printer, BOOL default_mode, DddHandle* database, void* devmode,
                    void* printer_data, WORD ddmid, WORD type, const void* value, WORD** changed,
                    ConflictReport* report) {
  if (!window || !changed) return 1;
  *changed = nullptr;
  return resolve_conflict(window, printer, default_mode, database, devmode, printer_data, ddmid, type, value, changed,
                          report);
}
