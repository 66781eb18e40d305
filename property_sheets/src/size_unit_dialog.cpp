// The size-unit dialog of the detail settings page: a length (setting 470)
// with its unit choice, where a second setting (473) may force the unit:
// 1 inches, 2 millimetres, 3 the user's choice.
#include "control_handlers.h"
#include "property_sheets/document_pages.h"
#include "property_sheets/sheet_records.h"
#include "settings/items/item_access.h"
#include "win/controls.h"
#include "win/window.h"

namespace {

constexpr WORD kForcedUnit = 473, kLength = 470;
constexpr INT kUnitChoice = 4835, kUnitGroup = 3828, kMetric = 3826, kInch = 3827;

bool listed(const WORD* changed, WORD ddmid) {
  for (const WORD* p = changed; p && *p; ++p)
    if (*p == ddmid) return true;
  return false;
}

INT UnitForcingHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data) {
  const bool apply = IsNotifyCode(message, lParam, PSN_SETACTIVE) ||
                     (message == UM_REFRESH_CONTROLS && listed(reinterpret_cast<const WORD*>(lParam), kForcedUnit));
  SheetState* state = GetSheetState(event->window);
  if (apply && state && state->can_edit) {
    const LONG forced = GetEffectiveItemValue(event->devmode, event->printer_data, kForcedUnit);
    if (forced == 1) state->current_measurement = 1;
    if (forced == 2) state->current_measurement = 0;
    const bool free_choice = forced == 3;
    for (INT id : {kUnitGroup, kMetric, kInch}) EnableWindow(GetDlgItem(event->window, id), free_choice);
    CheckRadioButton(event->window, kMetric, kInch, state->current_measurement == 1 ? kInch : kMetric);
  }
  return DropDownListHandler(event, message, wParam, lParam, record, kind_data);
}

INT UnitRadioHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord* record,
                     const void*) {
  SheetState* state = GetSheetState(event->window);
  if (state && message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED)
    state->current_measurement = record->id == kInch ? 1 : 0;
  return 0;
}

constexpr WORD kKeepEnabled = kFlagKeepEnabled;
constexpr SettingRef kForced[] = {Bound(kForcedUnit)}, kLengthRef[] = {Bound(kLength)}, kSecond[] = {Bound(472)};
constexpr ControlRecord kRecords[] = {
    {4831, 1, kSecond, kControlEdit, nullptr, nullptr, 3830, 9319, nullptr},
    {kUnitChoice, 1, kForced, kControlDropDown, UnitForcingHandler, nullptr, 4834, 9320, nullptr},
    {3821, 1, kLengthRef, kControlEdit, nullptr, nullptr, kNone, 9315, nullptr},
    {kMetric, 0, nullptr, kControlRadioGroup, UnitRadioHandler, nullptr, kNone, 9316, &kKeepEnabled},
    {kInch, 0, nullptr, kControlRadioGroup, UnitRadioHandler, nullptr, kNone, 9317, &kKeepEnabled},
};
constexpr INT kHelp[] = {3829, 99560, 3830, 99560, 4831, 99560, 4832, 99560, 4833, 99570, 4834, 99570, 4835, 99570,
                         3824, 99510, 3821, 99510, 3823, 99510, 3825, 99510, 3828, 99520, 3826, 99530, 3827, 99540,
                         4836, 99580, 1090, 1540, 1092, 1520, 1091, 1530, 1341, 7777, 0, 0};

}  // namespace

const ControlSet kSizeUnitControls{kRecords, static_cast<INT>(std::size(kRecords)), 99550, kHelp, nullptr, 0};
