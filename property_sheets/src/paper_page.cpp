// The document sheet's paper page: paper size, output paper and zoom,
// orientation, two-sided printing, pages per sheet with their order,
// borders and binding side, the job type, the layout preview and the
// settings summary, and the buttons that open the custom paper size, the
// margin and the job detail dialogs. Choosing the custom paper in the
// paper list opens the custom size dialog at once (through the same button,
// which the page shows only while the custom paper is chosen).
#include <set>
#include <string>

#include "control_handlers.h"
#include "paper_preview.h"
#include "property_sheets/document_pages.h"
#include "property_sheets/settings_summary.h"
#include "property_sheets/sheet_records.h"
#include "settings/common/module_state.h"
#include "settings/constraints/conflict_boxes.h"
#include "settings/items/item_info.h"
#include "settings/items/item_access.h"
#include "win/controls.h"
#include "win/window.h"

namespace {

constexpr WORD kPaper = 8, kCustomPaper = 256, kZoomSetting = 263, kFixedZoom = 1281;
constexpr INT kPaperList = 1006, kCustomSizeButton = 1816, kPreview = 1186, kSummary = 3838;
constexpr INT kZoomEdit = 1010, kFixedZoomBox = 1184, kNoFocus = -3;
constexpr WORD kTypeWord = 3, kTypeLong = 4;
constexpr UINT kOpenCustomSize = 2533;

bool wants_display(UINT message, LPARAM lParam) {
  return IsNotifyCode(message, lParam, PSN_SETACTIVE) || message == UM_REFRESH_CONTROLS || message == UM_RESTORE_CONTROLS;
}
bool listed(const WORD* changed, WORD ddmid) {
  for (const WORD* p = changed; p && *p; ++p)
    if (*p == ddmid) return true;
  return false;
}
bool custom_paper_chosen(const ControlEvent* event) {
  return GetEffectiveItemValue(event->devmode, event->printer_data, kPaper) == kCustomPaper;
}

INT NoOpHandler(ControlEvent*, UINT, WPARAM, LPARAM, const ControlRecord*, const void*) { return 0; }

// The paper lists: after a change to the custom paper the page is asked to
// open the custom size dialog; that request runs the custom size button.
INT PaperListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                     const void* kind_data) {
  if (message == kOpenCustomSize) {
    const ControlRecord* button = FindControlById(event->window, event->kind, kCustomSizeButton);
    if (button && custom_paper_chosen(event))
      return CommandButtonHandler(event, WM_COMMAND, MAKEWPARAM(kCustomSizeButton, BN_CLICKED), 0, button,
                                  button->kind_data);
    return 0;
  }
  // The paper lists show stored sizes (the custom paper's among them):
  // their choices are built again whenever the page is shown.
  if (IsNotifyCode(message, lParam, PSN_SETACTIVE))
    if (const SettingSlot* slot = GetCurrentSlot(event->window, record)) RebuildItemInfo(event, slot->ddmid);
  const INT result = DropDownListHandler(event, message, wParam, lParam, record, kind_data);
  if (message == UM_REFRESH_CONTROLS && record->id == kPaperList &&
      listed(reinterpret_cast<const WORD*>(lParam), kPaper) && custom_paper_chosen(event))
    PostMessageW(event->window, kOpenCustomSize, kPaperList, 0);
  return result;
}

// Page order: its icons follow the orientation, so its choices are drawn
// again on every refresh, its own changes included.
INT RefillListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                      const void* kind_data) {
  if (message == UM_REFRESH_CONTROLS && event->refresh_record == record) {
    const ControlRecord* cause = event->refresh_record;
    event->refresh_record = FindControlById(event->window, event->kind, kDialogRecordId);
    const INT result = event->refresh_record
                           ? DropDownListHandler(event, message, wParam, lParam, record, kind_data)
                           : DropDownListHandler(event, UM_RESTORE_CONTROLS, wParam, lParam, record, kind_data);
    event->refresh_record = cause;
    return result;
  }
  return DropDownListHandler(event, message, wParam, lParam, record, kind_data);
}

// The sheets whose zoom edit runs the image-fit check now: the check's own
// message box takes the focus from the edit, which must not start it again.
std::set<const SheetState*>& fit_checks_running() {
  static std::set<const SheetState*> running;
  return running;
}

// Before the zoom edit shows its value: with the fixed zoom just switched
// on, the zoom starts again from 100 %; with it off the zoom is the one that
// fits the document paper onto the output paper. False when the records
// the edit needs are missing.
bool synchronise_zoom(ControlEvent* event, UINT message, LPARAM lParam, const ControlRecord* record) {
  SettingSlot* slot = GetCurrentSlot(event->window, record);
  ItemInfo* info = slot ? GetItemInfo(event->window, slot->ddmid) : nullptr;
  const SheetContext* context = GetSheetContext(event->window);
  if (!slot || !info || !context || !event->devmode || !event->printer_data) return false;
  if (GetEffectiveItemValue(event->devmode, event->printer_data, kFixedZoom)) {
    if (message == UM_REFRESH_CONTROLS && listed(reinterpret_cast<const WORD*>(lParam), kFixedZoom)) {
      SetFocus(GetDlgItem(event->window, record->id));
      if (!document_pages::SetNumberSetting(event->devmode, event->printer_data, slot->ddmid, 100)) return false;
      slot->value.l = 0;
      slot->value.w = 100;
    }
    return true;
  }
  const INT availability = GetSettingAvailability(event->window, slot->ddmid);
  if (availability != 0 && availability != 14) return true;
  INT percent = 0;
  if (!GetSummaryZoom(context, &percent)) return true;
  ItemValue value{};
  value.l = percent;
  WORD* changed = nullptr;
  const INT result = OnControlValueChanged(event, record, slot, kTypeLong, &value, &changed);
  // The refresh that runs now shows the rest; this one only keeps the value.
  SafeGlobalFree(changed);
  if (result == 1) {
    slot->value = ItemValue{};
    if (slot->size == 1)
      slot->value.b = static_cast<BYTE>(percent);
    else if (slot->size == 2)
      slot->value.w = static_cast<WORD>(percent);
    else
      slot->value.l = percent;
  }
  return true;
}

// A model without a zoom setting shows none of the zoom's controls. True
// when the control was hidden.
bool hide_without_zoom(ControlEvent* event, INT id) {
  if (GetItemInfo(event->window, kZoomSetting)) return false;
  HWND control = GetDlgItem(event->window, id);
  ShowWindow(control, SW_HIDE);
  EnableWindow(control, FALSE);
  return true;
}

// The fixed-zoom box and the zoom's labels go with the zoom.
INT ZoomPartHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                    const void*) {
  const INT result = ChainDefaultHandler(event, message, wParam, lParam, record);
  if (ShowsAgain(message, lParam)) hide_without_zoom(event, record->id);
  return result;
}

// The zoom percentage. Leaving the edit (for anything but the fixed-zoom
// box, whose change rewrites the zoom anyway) checks that the image still
// fits the paper; the check's answer changes nothing here.
INT ZoomEditHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                    const void* kind_data) {
  HWND focus = GetFocus();
  const INT focused = focus && GetParent(focus) == event->window ? GetDlgCtrlID(focus) : kNoFocus;
  const bool leaving_page = IsNotifyCode(message, lParam, PSN_KILLACTIVE) && focused == record->id;
  bool check_due = leaving_page;
  if (message == WM_COMMAND && HIWORD(wParam) == EN_KILLFOCUS && focused != kFixedZoomBox) check_due = true;
  if (ShowsAgain(message, lParam) && !synchronise_zoom(event, message, lParam, record)) {
    hide_without_zoom(event, record->id);
    return 0;
  }
  const INT result = NumericEditHandler(event, message, wParam, lParam, record, kind_data);
  SheetState* state = GetSheetState(event->window);
  auto& running = fit_checks_running();
  if (check_due && state && !running.count(state)) {
    running.insert(state);
    SettingsTarget target{event->database, event->devmode, event->printer_data};
    const LONG zoom = GetEffectiveItemValue(event->devmode, event->printer_data, kZoomSetting);
    const WORD value = static_cast<WORD>(zoom);
    SettingChange change{kZoomSetting, kTypeWord, &value};
    CheckImageFitsPaperDialog(event->window, &target, &change);
    if (!leaving_page) running.erase(state);
  } else if (state && !leaving_page) {
    running.erase(state);
  }
  if (message == WM_DESTROY && state) running.erase(state);
  return result;
}

// Shown while the custom paper is chosen.
INT CustomSizeButtonHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                            const ControlRecord* record, const void* kind_data) {
  if (wants_display(message, lParam)) {
    HWND button = GetDlgItem(event->window, record->id);
    const bool shown = custom_paper_chosen(event);
    ShowWindow(button, shown ? SW_SHOW : SW_HIDE);
    EnableWindow(button, shown && event->permission);
    return 0;
  }
  return CommandButtonHandler(event, message, wParam, lParam, record, kind_data);
}

INT SummaryHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                   const void* kind_data) {
  return SummaryTextHandler(event, message, wParam, lParam, record, kind_data);
}

constexpr WORD kKeepEnabled = kFlagKeepEnabled;
constexpr SettingRef kFitToPaper[] = {Bound(1281)};
constexpr SettingRef kZoom[] = {Bound(263)};
constexpr SettingRef kPaperSize[] = {Bound(kPaper)};
constexpr SettingRef kOrientation[] = {Bound(7)};
constexpr SettingRef kOutputPaper[] = {Bound(262)};
constexpr SettingRef kTwoSided[] = {Bound(16)};
constexpr SettingRef kPagesPerSheet[] = {Bound(295)};
constexpr SettingRef kPageOrder[] = {Bound(264)};
constexpr SettingRef kBindingSide[] = {Bound(437)};
constexpr SettingRef kPageBorders[] = {Bound(294)};
constexpr SettingRef kJobTypeSetting[] = {Bound(334)};
constexpr RadioGroupData kOrientationButtons{2, {3836, 3837}};
constexpr StaticTextData kStateOnly{kStaticStateOnly, 0};
constexpr UnitRecord kWholeNumber{0, 0};
constexpr EditFieldData kZoomField{kEditNumeric, 3, nullptr, &kWholeNumber, 0xFFFF, nullptr};

// The icon lists draw each choice's icon beside its text.
UINT PagesPerSheetIcon(INT control, const ItemChoice* choice, void* devmode, void* printer_data) {
  const LONG key = choice ? choice->value.b : 0;
  return ChoiceIconFor295(control, &key, devmode, printer_data);
}
UINT PageOrderIcon(INT control, const ItemChoice* choice, void* devmode, void* printer_data) {
  const LONG key = choice ? choice->value.b : 0;
  return ChoiceIconFor264(control, &key, devmode, printer_data);
}
constexpr ListControlData kPagesPerSheetList{kListChoices, 0, 0, kListChoiceIcons, nullptr, nullptr, nullptr,
                                             PagesPerSheetIcon};
constexpr ListControlData kPageOrderList{kListChoices, 0, 0, kListChoiceIcons, nullptr, nullptr, nullptr,
                                         PageOrderIcon};

constexpr ChildDialogTemplate kCustomSizeDialog[] = {
    {3790, EngineDialogProc<55, kDialogTypeDialog>, 55, kNone, 0}};
constexpr ChildDialogCommand kOpenCustomSizeDialog{kCustomSizeDialog, 0, 0};
constexpr CommandItem kCustomSizeCommand{kCommandChildDialog, &kOpenCustomSizeDialog};
// The margins of each paper: a dialog of its own, whose OK stores them.
constexpr ChildDialogTemplate kMarginDialog[] = {{2440, EngineDialogProc<28, kDialogTypeDialog>, 28, kNone, 0}};
constexpr ChildDialogCommand kOpenMarginDialog{kMarginDialog, 0, 0};
constexpr CommandItem kMarginCommand{kCommandChildDialog, &kOpenMarginDialog};

constexpr ControlRecord kRecords[] = {
    {kDialogRecordId, 0, nullptr, 0, NoOpHandler, nullptr, kNone, kNone, nullptr},
    {kFixedZoomBox, 1, kFitToPaper, kControlCheckBox, ZoomPartHandler, nullptr, 1184, 9110, nullptr},
    {kZoomEdit, 1, kZoom, kControlEdit, ZoomEditHandler, &kZoomField, kNone, kNone, nullptr},
    {1177, 1, kZoom, kControlStatic, ZoomPartHandler, &kStateOnly, 1177, 9111, nullptr},
    {1185, 1, kZoom, kControlStatic, ZoomPartHandler, &kStateOnly, kNone, kNone, nullptr},
    {kPaperList, 1, kPaperSize, kControlDropDown, PaperListHandler, nullptr, 1174, 9113, nullptr},
    {3836, 1, kOrientation, kControlRadioGroup, nullptr, &kOrientationButtons, kNone, kNone, nullptr},
    {3837, 1, kOrientation, kControlRadioGroup, nullptr, &kOrientationButtons, kNone, kNone, nullptr},
    {1008, 1, kOutputPaper, kControlDropDown, PaperListHandler, nullptr, 1175, 9114, nullptr},
    {1351, 1, kPagesPerSheet, kControlDropDown, nullptr, &kPagesPerSheetList, 1350, 9115, nullptr},
    {1107, 1, kPageOrder, kControlDropDown, RefillListHandler, &kPageOrderList, 1176, 9116, nullptr},
    {kPreview, 0, nullptr, 0, document_pages::PreviewFrameHandler, nullptr, kNone, kNone, nullptr},
    {1353, 1, kBindingSide, kControlDropDown, nullptr, nullptr, 3842, 9122, nullptr},
    {1009, 1, kPageBorders, kControlDropDown, nullptr, nullptr, 1178, 9203, nullptr},
    {1766, 1, kTwoSided, kControlDropDown, nullptr, nullptr, 1765, kNone, nullptr},
    {document_pages::kJobTypeList, 1, kJobTypeSetting, kControlDropDown, document_pages::JobTypeListHandler, nullptr,
     3847, kNone, nullptr},
    {document_pages::kJobDetailsButton, 1, kJobTypeSetting, kControlCommand, document_pages::JobDetailsButtonHandler,
     nullptr, kNone, kNone, nullptr},
    {kCustomSizeButton, 1, kPaperSize, kControlCommand, CustomSizeButtonHandler, &kCustomSizeCommand, kNone, kNone,
     nullptr},
    {1354, 0, nullptr, kControlCommand, nullptr, &kMarginCommand, 1354, 9124, nullptr},
    {kSummary, 0, nullptr, kControlStatic, SummaryHandler, nullptr, kNone, kNone, &kKeepEnabled},
};

constexpr INT kHelp[] = {1186, 1000, 1187, 1010, 1327, 1020, 1011, 1020, 1029, 1020, 1174, 1030, 1006, 1030,
                         1175, 1040, 1008, 1040, 1184, 1050, 1177, 1060, 1010, 1065, 1185, 1065, 1179, 1100,
                         1012, 1100, 1350, 1080, 1351, 1080, 1176, 1195, 1107, 1195, 1352, 1095, 1698, 10090,
                         1699, 10090, 3833, 10100, 3831, 10110, 1354, 10120, 1353, 10080, 3842, 10080, 1009, 18110,
                         1178, 18110, 1090, 1190, 3835, 10140, 3836, 10150, 3837, 10160, 3838, 10130, 1091, 1191,
                         1765, 1090, 1766, 1090, 3846, 1090, 3847, 1090, 3848, 1090, 0, 0};
constexpr INT kReadOnly[] = {3835, kNone};

}  // namespace

const ControlSet kPaperPageControls{kRecords, static_cast<INT>(std::size(kRecords)), 9999, kHelp, kReadOnly, 0};
