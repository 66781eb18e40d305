// The colour page of the document sheet in its two forms: with buttons that
// open the image, colour balance and profile pages in a nested sheet, or
// with two colour channels on the page itself.
#include <iterator>

#include "control_handlers.h"
#include "document_pictures.h"
#include "property_sheets/document_pages.h"
#include "property_sheets/picture_handlers.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/module_state.h"
#include "win/codepage.h"
#include "win/controls.h"
#include "win/memory.h"
#include "win/resources.h"

namespace {

constexpr WORD kColourMode = 270;
constexpr WORD kColourType = 271;
constexpr WORD kAdjustment = 293;
constexpr WORD kPaperColourNote = 4104;
constexpr WORD kJobType = 334;
constexpr UINT kNestedCaption = 76;

bool read_number(ControlEvent* event, WORD ddmid, LONG* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, event->devmode, event->printer_data, &type, &size, &value) != 0) return false;
  *out = GetTypedValue(type, &value);
  return true;
}

// Makes the record's reference to `ddmid` its current one.
void select_reference(ControlEvent* event, const ControlRecord* record, WORD ddmid) {
  INT index = 0;
  if (!FindSettingRefIndex(record, ddmid, &index)) return;
  if (ControlState* state = FindControlState(event->window, record)) state->current = index;
}

// The detail list edits the setting the colour adjustment asks for.
INT ColourDetailListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                            const ControlRecord* record, const void*) {
  if (ShowsAgain(message, lParam)) {
    LONG adjustment = 0;
    if (!read_number(event, kAdjustment, &adjustment)) return 1;
    select_reference(event, record, adjustment == 2 ? 390 : adjustment == 3 ? 23 : kEmptyPseudoSetting);
  }
  return ChainDefaultHandler(event, message, wParam, lParam, record);
}

// The detail title names the setting the list edits.
INT ColourDetailTitleHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                             const ControlRecord* record, const void*) {
  if (!ShowsAgain(message, lParam)) return ChainDefaultHandler(event, message, wParam, lParam, record);
  LONG adjustment = 0;
  if (!read_number(event, kAdjustment, &adjustment)) return 1;
  WORD ddmid = 0;
  switch (adjustment) {
    case 1:
    case 4: ddmid = kAdjustment; break;
    case 2: ddmid = 390; break;
    case 3: ddmid = 23; break;
    default: return 0;
  }
  select_reference(event, record, ddmid);
  const INT result = ChainDefaultHandler(event, message, wParam, lParam, record);
  if (HWND title = GetDlgItem(event->window, record->id)) {
    ShowWindow(title, SW_SHOW);
    EnableWindow(title, event->permission != 0);
  }
  return result;
}

// The note shows for one combination only: plain paper (4104 = 0) with
// colour mode 3 and colour type 513.
INT ColourNoteHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                      const void*) {
  const INT result = ChainDefaultHandler(event, message, wParam, lParam, record);
  if (!ShowsAgain(message, lParam)) return result;
  HWND note = GetDlgItem(event->window, record->id);
  if (!note) return result;
  LONG paper = -1, mode = -1, type = -1;
  const bool shown = read_number(event, kPaperColourNote, &paper) && read_number(event, kColourMode, &mode) &&
                     read_number(event, kColourType, &type) && paper == 0 && mode == 3 && type == 513;
  ShowWindow(note, shown ? SW_SHOW : SW_HIDE);
  if (shown) EnableWindow(note, event->permission != 0);
  return result;
}

// Restoring the defaults is not offered for job type 5.
INT ColourButtonHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                        const ControlRecord* record, const void* kind_data) {
  if (IsNotifyCode(message, lParam, PSN_SETACTIVE)) {
    LONG job_type = 0;
    if (HWND button = GetDlgItem(event->window, record->id)) {
      EnableWindow(button, !(read_number(event, kJobType, &job_type) && job_type == 5));
      ShowWindow(button, SW_SHOW);
    }
  }
  return CommandButtonHandler(event, message, wParam, lParam, record, kind_data);
}

// The colour-mode picture follows the colour settings.
INT ColourModePictureHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord* record,
                             const void*) {
  if (message == WM_INITDIALOG)
    SubclassColourModePicture(event->window, static_cast<UINT>(record->id));
  else if (ShowsAgain(message, lParam))
    InvalidateDocumentPicture(event->window, static_cast<UINT>(record->id));
  return 0;
}

// ---- the nested sheet of the colour dialogs -------------------------------------

constexpr UINT kNestedResources[] = {506, 512, 507};
constexpr DLGPROC kNestedProcs[] = {EngineDialogProc<11, kDialogTypeNestedPage>,
                                    EngineDialogProc<26, kDialogTypeNestedPage>,
                                    EngineDialogProc<27, kDialogTypeNestedPage>};

// Opens the image, colour balance and profile pages in a sheet of their own
// on `start`; what is applied there comes back to the page.
INT open_colour_sheet(ControlEvent* event, INT start) {
  SheetContext* opener = GetSheetContext(event->window);
  if (!opener) return 1;
  SheetSnapshot snapshot = opener->current;
  snapshot.devmode = event->devmode;
  snapshot.printer_data = event->printer_data;
  SheetContext* child = CreateSheetContext(event->window, opener->state, &snapshot, nullptr);
  if (!child) return 1;
  PROPSHEETPAGEW pages[3] = {};
  for (INT i = 0; i < 3; ++i) {
    pages[i].dwSize = sizeof(PROPSHEETPAGEW);
    pages[i].hInstance = GetResourceModule();
    pages[i].pszTemplate = MAKEINTRESOURCEW(kNestedResources[i]);
    pages[i].pfnDlgProc = kNestedProcs[i];
    pages[i].lParam = reinterpret_cast<LPARAM>(child);
  }
  WCHAR caption[128] = {};
  LoadStringW(GetResourceModule(), kNestedCaption, caption, 128);
  PROPSHEETHEADERW header{};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
  header.hwndParent = event->window;
  header.hInstance = GetResourceModule();
  header.pszCaption = caption;
  header.nPages = 3;
  header.nStartPage = static_cast<UINT>(start);
  header.ppsp = pages;
  const INT_PTR applied = PropertySheetW(&header);
  opener->state->commit_flag = FALSE;
  const bool copied = applied > 0 && CopySnapshot(&opener->current, &child->current) != 0;
  DestroySheetContext(&child);
  if (copied) {
    event->devmode = opener->current.devmode;
    event->printer_data = opener->current.printer_data;
    RefreshPageControls(event, nullptr);
  }
  return 0;
}

INT ColourDialogsButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                        const ControlRecord* record, const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return ChainDefaultHandler(event, message, wParam, lParam, record);
  return open_colour_sheet(event, record->id == 1087 ? 0 : record->id == 1091 ? 1 : 2);
}

// ---- tables ---------------------------------------------------------------------------

constexpr WORD kFollow = kFlagFollowControl;
constexpr WORD kKeepEnabled = kFlagKeepEnabled;
constexpr INT kTitleKind = 11;
constexpr INT kAvailabilityKind = 15;
constexpr INT kUpDownKind = 9;
constexpr INT kTrackbarKind = 12;

constexpr SettingRef kModeRef[] = {Bound(kColourMode)};
constexpr SettingRef kTypeRef[] = {Bound(kColourType)};
constexpr SettingRef kAdjustmentRef[] = {Bound(kAdjustment)};
constexpr SettingRef kDetailRefs[] = {Bound(kEmptyPseudoSetting), Bound(23), Bound(390)};
constexpr SettingRef kTitleRefs[] = {Bound(kAdjustment), Bound(23), Bound(390)};
constexpr SettingRef kGreyRef[] = {Bound(1289)};
constexpr SettingRef kAvailabilityRef[] = {Bound(36879)};
constexpr SettingRef kProcessingRef[] = {Bound(291)};
constexpr SettingRef kImageRef[] = {Bound(36907)};
constexpr SettingRef kBalanceRef[] = {Bound(36908)};
constexpr SettingRef kProfilesRef[] = {Bound(36909)};
constexpr CommandItem kDefaults{kCommandDefaults, nullptr};

constexpr ControlRecord kRecords[] = {
    {1079, 1, kModeRef, kControlDropDown, nullptr, nullptr, 1075, 9048, nullptr},
    {1080, 1, kTypeRef, kControlDropDown, nullptr, nullptr, 1077, 9049, nullptr},
    {1093, 1, kAdjustmentRef, kControlDropDown, nullptr, nullptr, 1082, 9050, nullptr},
    {1224, 3, kDetailRefs, kControlListBox, ColourDetailListHandler, nullptr, 1084, 9051, nullptr},
    {1353, 1, kGreyRef, kControlCheckBox, nullptr, nullptr, 1353, 9052, nullptr},
    {1094, 1, kAvailabilityRef, kAvailabilityKind, nullptr, nullptr, kNone, kNone, nullptr},
    {1086, 3, kTitleRefs, kTitleKind, ColourDetailTitleHandler, nullptr, kNone, kNone, &kFollow},
    {1225, 1, kProcessingRef, kControlListBox, nullptr, nullptr, 1170, 9053, nullptr},
    {1087, 1, kImageRef, kControlCommand, ColourDialogsButton, nullptr, kNone, kNone, &kFollow},
    {1091, 1, kBalanceRef, kControlCommand, ColourDialogsButton, nullptr, kNone, kNone, &kFollow},
    {1088, 1, kProfilesRef, kControlCommand, ColourDialogsButton, nullptr, kNone, kNone, &kFollow},
    {1285, 0, nullptr, 0, ColourModePictureHandler, nullptr, kNone, kNone, nullptr},
    {1092, 0, nullptr, kControlStatic, ColourNoteHandler, nullptr, kNone, kNone, &kFollow},
    {1090, 0, nullptr, kControlCommand, ColourButtonHandler, &kDefaults, kNone, kNone, nullptr},
};
constexpr INT kHelp[] = {1075, 2000, 1079, 2000, 1353, 2005, 1077, 2010, 1080, 2010, 1082, 2015, 1093, 2015,
                         1084, 2020, 1224, 2020, 1575, 2030, 1087, 2050, 1091, 2060, 1088, 2070, 1285, 2090,
                         1170, 20000, 1225, 20000, 1090, 1540, 0, 0};
constexpr INT kReadOnly[] = {1575, kNone};

constexpr SettingRef kProfileChoiceRef[] = {Bound(1346)};
constexpr SettingRef kPerObjectRef[] = {Bound(1314)};
constexpr SettingRef kObjectRef[] = {Bound(272)};
constexpr SettingRef kBrightnessRefs[] = {Bound(275), Bound(276), Bound(277), Bound(274)};
constexpr SettingRef kContrastRefs[] = {Bound(283), Bound(284), Bound(285), Bound(282)};
constexpr RadioGroupData kPerObjectButtons{2, {1317, 1311}};

constexpr ControlRecord kSmallRecords[] = {
    {1080, 1, kTypeRef, kControlDropDown, nullptr, nullptr, 1077, 9054, nullptr},
    {1081, 1, kProfileChoiceRef, kControlDropDown, nullptr, nullptr, 1078, 9281, nullptr},
    {1311, 1, kPerObjectRef, kControlRadioGroup, nullptr, &kPerObjectButtons, kNone, kNone, nullptr},
    {1317, 1, kPerObjectRef, kControlRadioGroup, nullptr, &kPerObjectButtons, kNone, kNone, nullptr},
    {1098, 1, kObjectRef, kControlListBox, nullptr, nullptr, 3560, 9055, nullptr},
    {1094, 4, kBrightnessRefs, kControlEdit, ChannelSettingHandler, nullptr, 1173, 9056, nullptr},
    {1103, 4, kContrastRefs, kControlEdit, ChannelSettingHandler, nullptr, 1107, 9057, nullptr},
    {3563, 4, kBrightnessRefs, kUpDownKind, ChannelSettingHandler, nullptr, kNone, kNone, nullptr},
    {3562, 4, kContrastRefs, kUpDownKind, ChannelSettingHandler, nullptr, kNone, kNone, nullptr},
    {1097, 4, kBrightnessRefs, kTrackbarKind, ChannelSettingHandler, nullptr, kNone, kNone, nullptr},
    {1104, 4, kContrastRefs, kTrackbarKind, ChannelSettingHandler, nullptr, kNone, kNone, nullptr},
    {1147, 4, kBrightnessRefs, kControlStatic, ChannelSettingHandler, nullptr, kNone, kNone, nullptr},
    {1146, 4, kBrightnessRefs, kControlStatic, ChannelSettingHandler, nullptr, kNone, kNone, nullptr},
    {1151, 4, kContrastRefs, kControlStatic, ChannelSettingHandler, nullptr, kNone, kNone, nullptr},
    {1150, 4, kContrastRefs, kControlStatic, ChannelSettingHandler, nullptr, kNone, kNone, nullptr},
    {1100, 0, nullptr, 0, SampleBitmapHandler, nullptr, kNone, kNone, nullptr},
    {1110, 0, nullptr, 0, SampleBitmapHandler, nullptr, kNone, kNone, nullptr},
    {1282, 0, nullptr, 0, PicturePageHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {1090, 0, nullptr, kControlCommand, ColourButtonHandler, &kDefaults, kNone, kNone, nullptr},
};
constexpr INT kSmallHelp[] = {1077, 2010, 1080, 2010, 1078, 20030, 1081, 20030, 3561, 20020, 1317, 2500, 1311, 2510,
                              1098, 2510, 3560, 2510, 1100, 2520, 1173, 2520, 1146, 2520, 1097, 2520, 1147, 2520,
                              1094, 2520, 3563, 2520, 1110, 2540, 1107, 2540, 1150, 2540, 1104, 2540, 1151, 2540,
                              1103, 2540, 3562, 2540, 1282, 2550, 1090, 1540, 0, 0};
constexpr INT kSmallReadOnly[] = {3561, kNone};

}  // namespace

const ControlSet kColourPageControls{kRecords, static_cast<INT>(std::size(kRecords)), 9999, kHelp, kReadOnly, 0};
const ControlSet kColourPageSmallControls{kSmallRecords, static_cast<INT>(std::size(kSmallRecords)), 9999,
                                          kSmallHelp, kSmallReadOnly, 0};
