// The item placement dialog: six items printed on the page (settings
// 1296-1301), each switched on or off and placed at one of six positions
// (351-356), with the font they are printed in. The list shows the items
// with their state and position; the check box and the position buttons
// edit the item selected in the list. Where the administrator has locked
// these settings for applications (setting 5138), everything is shown
// disabled.
#include <map>
#include <string>

#include "control_handlers.h"
#include "property_sheets/sheet_controls.h"
#include "property_sheets/document_pages.h"
#include "property_sheets/sheet_fonts.h"
#include "property_sheets/sheet_records.h"
#include "settings/common/module_state.h"
#include "settings/items/item_access.h"
#include "settings/items/item_info.h"
#include "win/controls.h"
#include "win/memory.h"
#include "win/resources.h"
#include "win/spooler.h"

namespace {

constexpr WORD kFirstItem = 1296, kFirstPosition = 351, kLockSetting = 5138;
constexpr INT kItems = 6;
constexpr INT kList = 1578, kCheck = 1369, kFirstButton = 1603, kDefaults = 1614;
constexpr INT kPositionLabels[] = {1609, 1612, 1610, 1611, 1613};
constexpr UINT kNoItems = 391;
constexpr WORD kFace = 358;
constexpr INT kFaceList = 1581, kItemFontGroup = 2;
constexpr INT kLabelControls[2] = {1584, 1585};

bool wants_display(UINT message, LPARAM lParam) {
  return IsNotifyCode(message, lParam, PSN_SETACTIVE) || message == UM_REFRESH_CONTROLS || message == UM_RESTORE_CONTROLS;
}

// The item selected in the list, per dialog window.
std::map<HWND, INT>& selections() {
  static std::map<HWND, INT> selected;
  return selected;
}
INT selected_item(HWND dialog) {
  auto it = selections().find(dialog);
  return it == selections().end() ? 0 : it->second;
}

BOOL IsPrinterWritable(const SheetState* state) {
  HANDLE printer = document_pages::OpenPrinterForChanges(state);
  if (!printer) return FALSE;
  ClosePrinter(printer);
  return TRUE;
}

// -1 error, 1 locked, 0 not locked. The printer's own sheets (mode bit 0
// clear) are never locked; an application's sheet (the document sheet of
// an application) is locked by setting 5138 even for an administrator,
// other sheets only for users who cannot change the printer.
INT IsItemDialogLocked(ControlEvent* event) {
  const SheetState* state = GetSheetState(event->window);
  if (!state) return -1;
  if (!(state->mode & 1)) return 0;
  if (state->mode != kSheetModeDocument && IsPrinterWritable(state)) return 0;
  return GetEffectiveItemValue(event->devmode, event->printer_data, kLockSetting) == 1 ? 1 : 0;
}

void lock_control(ControlEvent* event, INT id) {
  if (IsItemDialogLocked(event) != 1) return;
  HWND control = GetDlgItem(event->window, id);
  ShowWindow(control, SW_SHOW);
  EnableWindow(control, FALSE);
}

std::u16string choice_text(HWND window, WORD ddmid, LONG value) {
  const ItemInfo* info = GetItemInfo(window, ddmid);
  for (LONG c = 0; info && c < info->count; ++c)
    if (GetTypedValue(info->value_type, ItemInfo_GetChoiceAt(info, c)) == value) {
      std::u16string text = ItemInfo_GetChoiceText(info, c) ? ItemInfo_GetChoiceText(info, c) : u"";
      const size_t cut = text.rfind(u'\r');
      return cut == std::u16string::npos ? text : text.substr(0, cut);
    }
  return {};
}

// One row per item that is neither disabled nor hidden: name, state,
// position; string 391 alone when there is none.
INT FillItemRows(ControlEvent* event) {
  HWND list = GetDlgItem(event->window, kList);
  if (!list) return 0;
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  INT stops[2] = {70, 100};
  SendMessageW(list, LB_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(stops));
  INT added = 0;
  for (INT k = 0; k < kItems; ++k) {
    const WORD item = static_cast<WORD>(kFirstItem + k), position = static_cast<WORD>(kFirstPosition + k);
    const ItemInfo* info = GetItemInfo(event->window, item);
    const INT availability = GetSettingAvailability(event->window, item);
    if (!info || availability == 1 || availability == 6) continue;
    std::u16string row = std::u16string(info->name ? info->name : u"") + u"\t" +
                         choice_text(event->window, item, GetEffectiveItemValue(event->devmode, event->printer_data, item)) +
                         u"\t";
    if (GetItemInfo(event->window, position))
      row += choice_text(event->window, position, GetEffectiveItemValue(event->devmode, event->printer_data, position));
    const LRESULT at = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
    if (at < 0) return 0;
    SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(at), k);
    if (k == selected_item(event->window)) SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
    ++added;
  }
  if (!added) {
    WCHAR none[256] = {};
    LoadStringW(GetResourceModule(), kNoItems, none, 256);
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(none));
    SendMessageW(list, LB_SETITEMDATA, 0, -1);
  } else if (SendMessageW(list, LB_GETCURSEL, 0, 0) < 0) {
    SendMessageW(list, LB_SETCURSEL, 0, 0);
    selections()[event->window] = static_cast<INT>(SendMessageW(list, LB_GETITEMDATA, 0, 0));
  }
  return 1;
}

INT ItemListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord*,
                    const void*) {
  if (wants_display(message, lParam)) {
    FillItemRows(event);
    return 0;
  }
  if (message == WM_DESTROY) selections().erase(event->window);
  if (message != WM_COMMAND) return 0;
  if (HIWORD(wParam) == LBN_DBLCLK && IsItemDialogLocked(event) != 0) return 0;
  if (HIWORD(wParam) != LBN_SELCHANGE) return 0;
  HWND list = GetDlgItem(event->window, kList);
  const LRESULT row = SendMessageW(list, LB_GETCURSEL, 0, 0);
  const INT item = row < 0 ? -1 : static_cast<INT>(SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(row), 0));
  if (item < 0 || item >= kItems) return 0;
  selections()[event->window] = item;
  // The check box and the buttons follow the selected item.
  const ControlSet* set = GetDialogControlSet(event->window, event->kind);
  if (set) DispatchToControls(event, UM_REFRESH_CONTROLS, 0, 0, set->records, set->count, 0);
  return 0;
}

// Binds the record to setting reference `k` of its list.
void follow_item(ControlEvent* event, const ControlRecord* record) {
  if (ControlState* cs = FindControlState(event->window, record)) {
    const INT k = selected_item(event->window);
    if (k >= 0 && k < record->setting_count) cs->current = k;
  }
}

INT ItemCheckHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                     const void* kind_data) {
  if (wants_display(message, lParam)) follow_item(event, record);
  const INT result = CheckBoxHandler(event, message, wParam, lParam, record, kind_data);
  if (wants_display(message, lParam)) lock_control(event, record->id);
  return result;
}

INT ItemPositionHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void* kind_data) {
  if (wants_display(message, lParam)) follow_item(event, record);
  const INT result = RadioGroupHandler(event, message, wParam, lParam, record, kind_data);
  if (wants_display(message, lParam)) {
    const bool locked = IsItemDialogLocked(event) == 1;
    const bool enabled = IsWindowEnabled(GetDlgItem(event->window, kFirstButton)) && !locked;
    for (INT id : kPositionLabels) EnableWindow(GetDlgItem(event->window, id), enabled);
    for (INT i = 0; i < kItems; ++i) lock_control(event, kFirstButton + i);
  }
  return result;
}

INT LockedItemHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                      const void* kind_data) {
  ControlHandler standard = FindControlKindHandler(record->kind);
  const INT result = standard ? standard(event, message, wParam, lParam, record, kind_data) : 0;
  if (wants_display(message, lParam)) lock_control(event, record->id);
  return result;
}

INT LockedButtonHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void* kind_data) {
  if (wants_display(message, lParam)) {
    lock_control(event, record->id);
    return 0;
  }
  if (IsItemDialogLocked(event) == 1) return 0;
  return CommandButtonHandler(event, message, wParam, lParam, record, kind_data);
}

// A stored face that none of the face list's names begins with is no
// longer installed: the font is resolved again and its settings replaced.
void check_stored_face(ControlEvent* event) {
  const ItemInfo* info = GetItemInfo(event->window, kFace);
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (!info || GetItemValue(kFace, event->devmode, event->printer_data, &type, &size, &value) != 0) return;
  const std::u16string face = ItemText(value, size);
  if (ItemInfo_FindChoiceByText(info, face.c_str())) return;
  WORD* changed = nullptr;
  INT count = 0;
  if (ApplyFontSelection(event, &changed, &count, kItemFontGroup)) GlobalFree(changed);
}

INT ItemDialogHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord*, const void*) {
  HWND dialog = event->window;
  if (message == WM_INITDIALOG) {
    // The face list of setting 358 comes from the sheet's font lists.
    HoldDialogFontLists(dialog, event->kind, kFaceList, kFace);
    check_stored_face(event);
  } else if (IsNotifyCode(message, lParam, PSN_SETACTIVE)) {
    SetupLabelFonts(dialog, kLabelControls);
  } else if (IsNotifyCode(message, lParam, PSN_KILLACTIVE) || IsNotifyCode(message, lParam, PSN_APPLY) ||
             IsNotifyCode(message, lParam, PSN_RESET)) {
    ReleaseLabelFonts(dialog);
  } else if (message == WM_DESTROY) {
    ReleaseLabelFonts(dialog);
    LetGoDialogFontLists(dialog);
  }
  return 0;
}

bool lists_setting(LPARAM changed, WORD ddmid) {
  for (const WORD* p = reinterpret_cast<const WORD*>(changed); p && *p; ++p)
    if (*p == ddmid) return true;
  return false;
}

// A new face brings the font's other settings with it.
INT ItemFontHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                    const void* kind_data) {
  if (message == UM_REFRESH_CONTROLS && !lists_setting(lParam, kFace)) return 0;
  const INT result = LockedItemHandler(event, message, wParam, lParam, record, kind_data);
  if (message != WM_COMMAND || event->refresh != 1) return result;
  WORD* changed = nullptr;
  INT count = 0;
  if (ApplyFontSelection(event, &changed, &count, kItemFontGroup)) {
    AppendChangedSettings(event, changed, count);
    GlobalFree(changed);
  }
  return result;
}

constexpr SettingRef kItemRefs[] = {Bound(1296), Bound(1297), Bound(1298), Bound(1299), Bound(1300), Bound(1301)};
constexpr SettingRef kPositionRefs[] = {Bound(351), Bound(352), Bound(353), Bound(354), Bound(355), Bound(356)};
constexpr SettingRef kFontRef[] = {Bound(357)}, kColour[] = {Bound(373)}, kFaceRef[] = {Bound(358)},
                     kSize[] = {Bound(359)}, kBold[] = {Bound(360)}, kItalic[] = {Bound(361)};
constexpr RadioGroupData kPositionButtons{6, {1603, 1604, 1605, 1606, 1607, 1608}};
constexpr CommandItem kDefaultsCommand{kCommandDefaults, nullptr};

constexpr ControlRecord kRecords[] = {
    {kDialogRecordId, 0, nullptr, 0, ItemDialogHandler, nullptr, kNone, kNone, nullptr},
    {1579, 1, kFontRef, 0, nullptr, nullptr, kNone, kNone, nullptr},
    {kList, kItems, kItemRefs, kControlListBox, ItemListHandler, nullptr, kNone, kNone, nullptr},
    {kCheck, kItems, kItemRefs, kControlCheckBox, ItemCheckHandler, nullptr, kNone, kNone, nullptr},
    {1603, kItems, kPositionRefs, kControlRadioGroup, ItemPositionHandler, &kPositionButtons, kNone, kNone, nullptr},
    {1604, kItems, kPositionRefs, kControlRadioGroup, ItemPositionHandler, &kPositionButtons, kNone, kNone, nullptr},
    {1605, kItems, kPositionRefs, kControlRadioGroup, ItemPositionHandler, &kPositionButtons, kNone, kNone, nullptr},
    {1606, kItems, kPositionRefs, kControlRadioGroup, ItemPositionHandler, &kPositionButtons, kNone, kNone, nullptr},
    {1607, kItems, kPositionRefs, kControlRadioGroup, ItemPositionHandler, &kPositionButtons, kNone, kNone, nullptr},
    {1608, kItems, kPositionRefs, kControlRadioGroup, ItemPositionHandler, &kPositionButtons, kNone, kNone, nullptr},
    {1587, 1, kColour, kControlDropDown, LockedItemHandler, nullptr, 1586, 9058, nullptr},
    {kFaceList, 1, kFaceRef, kControlDropDown, ItemFontHandler, nullptr, 1580, 9318, nullptr},
    {1583, 1, kSize, kControlDropDown, LockedItemHandler, nullptr, 1582, 9196, nullptr},
    {1584, 1, kBold, kControlCheckBox, LockedItemHandler, nullptr, kNone, kNone, nullptr},
    {1585, 1, kItalic, kControlCheckBox, LockedItemHandler, nullptr, kNone, kNone, nullptr},
    {kDefaults, 0, nullptr, kControlCommand, LockedButtonHandler, &kDefaultsCommand, kNone, kNone, nullptr},
};
constexpr INT kHelp[] = {1396, 9210, 1578, 9210, 1579, 9220, 1580, 9225, 1581, 9225, 1586, 9230, 1587, 9230,
                         1369, 9235, 1603, 9240, 1604, 9240, 1605, 9240, 1606, 9240, 1607, 9240, 1608, 9240,
                         1609, 9240, 1610, 9240, 1611, 9240, 1612, 9240, 1613, 9240, 1582, 9245, 1583, 9245,
                         1584, 9250, 1585, 9255, 1092, 1520, 1091, 1530, 1614, 1540, 1341, 7777, 0, 0};
constexpr INT kReadOnly[] = {1396, 1609, 1612, 1610, 1611, 1613, kNone};

}  // namespace

const ControlSet kItemPlacementControls{kRecords, static_cast<INT>(std::size(kRecords)), 9260, kHelp, kReadOnly, 0};
