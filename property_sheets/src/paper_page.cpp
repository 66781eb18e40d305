// The document sheet's paper page: paper size, orientation, two-sided
// printing, the layout preview and the settings summary, and the button
// that opens the custom paper size dialog. Choosing the custom paper in
// the paper list opens that dialog at once (through the same button, which
// the page shows only while the custom paper is chosen).
#include <string>

#include "control_handlers.h"
#include "paper_preview.h"
#include "property_sheets/document_pages.h"
#include "property_sheets/settings_summary.h"
#include "property_sheets/sheet_records.h"
#include "settings/common/module_state.h"
#include "settings/items/item_access.h"
#include "win/controls.h"
#include "win/window.h"

namespace {

constexpr WORD kPaper = 8, kCustomPaper = 256;
constexpr INT kPaperList = 1006, kCustomSizeButton = 1816, kPreview = 1186, kSummary = 3838;
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

INT SummaryHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord* record,
                   const void*) {
  if (!wants_display(message, lParam)) return 0;
  const SheetContext* context = GetSheetContext(event->window);
  WCHAR text[128] = {};
  if (context && BuildSettingsSummary(context, text, 128)) SetDlgItemTextW(event->window, record->id, text);
  return 0;
}

constexpr WORD kKeepEnabled = kFlagKeepEnabled;
constexpr SettingRef kFitToPaper[] = {Bound(1281)};
constexpr SettingRef kZoom[] = {Bound(263)};
constexpr SettingRef kPaperSize[] = {Bound(kPaper)};
constexpr SettingRef kOrientation[] = {Bound(7)};
constexpr SettingRef kOutputPaper[] = {Bound(262)};
constexpr SettingRef kTwoSided[] = {Bound(16)};
constexpr RadioGroupData kOrientationButtons{2, {3836, 3837}};

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
    {1184, 1, kFitToPaper, kControlCheckBox, nullptr, nullptr, 1184, 9110, nullptr},
    {1177, 1, kZoom, kControlStatic, nullptr, nullptr, 1177, 9111, nullptr},
    {kPaperList, 1, kPaperSize, kControlDropDown, PaperListHandler, nullptr, 1174, 9113, nullptr},
    {3836, 1, kOrientation, kControlRadioGroup, nullptr, &kOrientationButtons, kNone, kNone, nullptr},
    {3837, 1, kOrientation, kControlRadioGroup, nullptr, &kOrientationButtons, kNone, kNone, nullptr},
    {1008, 1, kOutputPaper, kControlDropDown, PaperListHandler, nullptr, 1175, 9114, nullptr},
    {kPreview, 0, nullptr, 0, document_pages::PreviewFrameHandler, nullptr, kNone, kNone, nullptr},
    {1766, 1, kTwoSided, kControlDropDown, nullptr, nullptr, 1765, kNone, nullptr},
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
                         1765, 1090, 1766, 1090, 0, 0};
constexpr INT kReadOnly[] = {3835, kNone};

}  // namespace

const ControlSet kPaperPageControls{kRecords, static_cast<INT>(std::size(kRecords)), 9999, kHelp, kReadOnly, 0};
