// The colour profile page (no profile, the default or a profile file of the
// user's for the source and for the output) and the pattern page of the
// document sheet's nested sheets.
#include <algorithm>
#include <iterator>
#include <string>

#include "control_handlers.h"
#include "property_sheets/document_pages.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/module_state.h"
#include "settings/devmode/placement_colour.h"
#include "settings/items/item_info.h"
#include "settings/items/default_settings.h"
#include "win/codepage.h"
#include "win/commdlg.h"
#include "win/controls.h"
#include "win/memory.h"
#include "win/msgbox.h"
#include "win/resources.h"

namespace {

constexpr WORD kTypeNumber32 = 1;
constexpr WORD kTypeText = 6;
constexpr DWORD kPathBytes = 258;
constexpr INT kCaptionText = 265;
constexpr UINT kDefaultText = 79;
constexpr UINT kSameAsSourceText = 80;
constexpr UINT kNotAProfile = 381;
constexpr UINT kProfileUnreadable = 388;
constexpr UINT kProfileFilter = 469;
constexpr INT kSourceList = 1081;
constexpr INT kOutputList = 1082;

bool read_number(ControlEvent* event, WORD ddmid, LONG* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, event->devmode, event->printer_data, &type, &size, &value) != 0 || type == kTypeText)
    return false;
  *out = GetTypedValue(type, &value);
  return true;
}
std::u16string read_text(ControlEvent* event, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, event->devmode, event->printer_data, &type, &size, &value) != 0 || type != kTypeText)
    return {};
  return ItemText(value, size);
}
bool write_number(ControlEvent* event, WORD ddmid, LONG number) {
  return SetItemValueRaw(ddmid, event->devmode, event->printer_data, kTypeNumber32, 4, &number) == 0;
}
// A path is written, and cleared, over the setting's whole room.
bool write_path(ControlEvent* event, WORD ddmid, const std::u16string& path) {
  std::u16string room(kPathBytes / sizeof(WCHAR), u'\0');
  std::copy_n(path.begin(), std::min(path.size(), room.size() - 1), room.begin());
  const WCHAR* p = room.c_str();
  return SetItemValueRaw(ddmid, event->devmode, event->printer_data, kTypeText, kPathBytes, &p) == 0;
}
void add_changed(ControlEvent* event, std::initializer_list<WORD> ids) {
  INT have = 0;
  if (event->changed)
    while (event->changed[have]) ++have;
  auto* list = static_cast<WORD*>(GlobalAlloc(GPTR, sizeof(WORD) * (static_cast<SIZE_T>(have) + ids.size() + 1)));
  if (!list) return;
  std::copy_n(event->changed ? event->changed : list, have, list);
  std::copy(ids.begin(), ids.end(), list + have);
  SetRefreshRequest(event, 1, list, event->refresh_record);
}
std::u16string resource_text(UINT id) {
  WCHAR text[256] = {};
  const INT n = LoadStringW(GetResourceModule(), id, text, 256);
  return n > 0 ? std::u16string(text, static_cast<size_t>(n)) : std::u16string();
}

// The two lists: the settings that choose the file and the path.
struct ProfileList {
  INT id;
  WORD on;
  WORD same;  // 0: none (source list)
  WORD path;
  INT file_item;
};
constexpr ProfileList kSource{kSourceList, 1303, 0, 1832, 1};
constexpr ProfileList kOutput{kOutputList, 1304, 1305, 1833, 2};

const ProfileList& list_of(INT id) { return id == kSourceList ? kSource : kOutput; }

// The item the settings choose: the file, the default or (output) the same
// profile as the source.
INT chosen_item(ControlEvent* event, const ProfileList& list) {
  LONG on = 0, same = 0;
  read_number(event, list.on, &on);
  if (list.same) read_number(event, list.same, &same);
  if (!list.same) return on == 1 ? 1 : 0;
  if (on == 1 && same == 0) return 2;
  return on == 0 && same == 0 ? 1 : 0;
}

// Writes the settings of an item.
void choose_item(ControlEvent* event, const ProfileList& list, INT item) {
  if (!list.same) {
    write_number(event, list.on, item == 1 ? 1 : 0);
    return;
  }
  write_number(event, list.on, item == 1 ? 0 : 1);
  write_number(event, list.same, item == 0 ? 1 : 0);
}

// The item that shows the chosen file, replaced by `name` or removed.
void set_file_item(HWND control, const ProfileList& list, const std::u16string& name) {
  while (SendMessageW(control, CB_GETCOUNT, 0, 0) > list.file_item)
    SendMessageW(control, CB_DELETESTRING, static_cast<WPARAM>(list.file_item), 0);
  if (!name.empty()) SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
}

}  // namespace

INT CheckProfileFile(HWND window, LPCWSTR path) {
  if (!path || !*path) return 0;
  char ansi[129] = {};
  if (WideCharToMultiByte(GetACP(), 0, path, -1, ansi, 128, nullptr, nullptr) <= 0) return 0;
  const INT result = CheckIccProfile(ansi);
  if (result >= 0) return 1;
  if (result == -2) {
    LPWSTR text = nullptr;
    if (FormatResourceStringV(&text, 0, kNotAProfile, GetFileNamePart(path)) && text) {
      ShowResourceMessageBox(window, kCaptionText, nullptr, MB_ICONWARNING, kNone, text);
      GlobalFree(text);
    }
  } else {
    ShowResourceMessageBox(window, kCaptionText, nullptr, MB_ICONWARNING, static_cast<INT>(kProfileUnreadable),
                           nullptr);
  }
  return 0;
}

namespace {

// The two profile lists fill themselves: the fixed items, then the file
// item while a path is set.
INT ProfileListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void*) {
  const ProfileList& list = list_of(record->id);
  HWND control = GetDlgItem(event->window, record->id);
  const bool init = message == WM_INITDIALOG;
  const bool picked = message == WM_COMMAND && LOWORD(wParam) == record->id && HIWORD(wParam) == CBN_SELCHANGE;
  const bool refresh = ShowsAgain(message, lParam);
  if (!control || !(init || picked || refresh)) return 0;
  if (init) {
    SendMessageW(control, CB_RESETCONTENT, 0, 0);
    if (list.same) {
      SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(resource_text(kSameAsSourceText).c_str()));
      SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(resource_text(kDefaultText).c_str()));
      SendMessageW(control, CB_SETCURSEL, chosen_item(event, list) == 1 ? 1 : 0, 0);
    } else {
      SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(resource_text(kDefaultText).c_str()));
      SendMessageW(control, CB_SETCURSEL, 0, 0);
    }
  }
  const INT before = static_cast<INT>(SendMessageW(control, CB_GETCURSEL, 0, 0));
  const std::u16string path = read_text(event, list.path);
  const std::u16string name = path.empty() ? std::u16string() : GetFileNamePart(path.c_str());
  set_file_item(control, list, name);
  if (!name.empty() && init) {
    if (!CheckProfileFile(event->window, path.c_str())) {
      // A stored profile that no longer passes is forgotten.
      write_path(event, list.path, u"");
      choose_item(event, list, 0);
      set_file_item(control, list, u"");
      SendMessageW(control, CB_SETCURSEL, 0, 0);
    } else if (chosen_item(event, list) == list.file_item) {
      SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(list.file_item), 0);
    }
  }
  if (picked) {
    if (before >= 0) SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(before), 0);
  } else if (refresh && chosen_item(event, list) == list.file_item && !name.empty()) {
    SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(list.file_item), 0);
  } else if (refresh) {
    const INT item = chosen_item(event, list);
    SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(item == list.file_item ? 0 : item), 0);
  }
  INT current = static_cast<INT>(SendMessageW(control, CB_GETCURSEL, 0, 0));
  if (current < 0) current = 0;
  if (current != chosen_item(event, list)) {
    choose_item(event, list, current);
    if (picked) {
      if (list.same)
        add_changed(event, {list.on, list.same});
      else
        add_changed(event, {list.on});
    }
  }
  SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(current), 0);
  if (refresh) {
    if (ControlState* state = FindControlState(event->window, record)) state->current = 0;
    const INT kind = GetSettingAvailability(event->window, list.on);
    ShowWindow(control, kind == 6 ? SW_HIDE : SW_SHOW);
    EnableWindow(control, event->permission && kind != 1 && kind != 6 && kind != 15);
  }
  return 0;
}

// Browse: a profile file for the list beside the button.
INT ProfileBrowseButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord* record,
                        const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  const ProfileList& list = record->id == 1000 ? kSource : kOutput;
  WCHAR file[MAX_PATH] = {};
  std::u16string filter = resource_text(kProfileFilter);
  std::replace(filter.begin(), filter.end(), u'|', u'\0');
  filter.push_back(u'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = event->window;
  ofn.lpstrFilter = filter.c_str();
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_EXPLORER;
  if (!GetOpenFileNameW(&ofn) || !CheckProfileFile(event->window, file)) return 0;
  if (!write_path(event, list.path, file)) return 0;
  choose_item(event, list, list.file_item);
  if (list.same)
    add_changed(event, {list.on, list.same, list.path});
  else
    add_changed(event, {list.on, list.path});
  return 0;
}

// The state labels follow their list's setting.
INT ProfileStateHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord* record,
                        const void*) {
  if (!ShowsAgain(message, lParam)) return 0;
  ControlState* state = FindControlState(event->window, record);
  HWND control = GetDlgItem(event->window, record->id);
  if (!state || !control) return 1;
  state->current = 0;
  const INT kind = GetSettingAvailability(event->window, RefDdmid(record->settings[0]));
  ShowWindow(control, kind == 6 ? SW_HIDE : SW_SHOW);
  EnableWindow(control, event->permission && kind != 1 && kind != 6 && kind != 15);
  return 0;
}

// Defaults: the page's settings from the database, both lists on their
// first item.
INT ProfileDefaultsHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*,
                           const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  for (WORD ddmid : {286, 287, 288, 1303, 1304, 1305})
    ResetItemToDefault(event->database, event->devmode, ddmid, event->printer_data);
  write_path(event, 1832, u"");
  write_path(event, 1833, u"");
  for (INT id : {kSourceList, kOutputList})
    if (HWND control = GetDlgItem(event->window, id)) SendMessageW(control, CB_SETCURSEL, 0, 0);
  choose_item(event, kSource, 0);
  choose_item(event, kOutput, 0);
  add_changed(event, {286, 287, 288, 1303, 1304, 1305, 1832, 1833});
  return 0;
}

// ---- the pattern page -----------------------------------------------------------------

constexpr WORD kPatternMode = 459;
constexpr WORD kPattern = 382;
constexpr WORD kBindingKind = 437;
constexpr INT kModeControls[] = {2781, 2782, 2785, 2784, 2771, 2772};

bool names(LPARAM changed, WORD ddmid) {
  for (const WORD* p = reinterpret_cast<const WORD*>(changed); p && *p; ++p)
    if (*p == ddmid) return true;
  return false;
}

// The size controls are offered in mode 1 only.
INT PatternModeHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord*,
                       const void*) {
  const bool due = message == UM_REFRESH_CONTROLS ? names(lParam, kPatternMode)
                                                  : IsNotifyCode(message, lParam, PSN_SETACTIVE);
  if (!due) return 0;
  LONG mode = -1;
  read_number(event, kPatternMode, &mode);
  const INT mask = mode == 0 ? 1 : mode == 1 ? 2 : 0;
  for (INT id : kModeControls)
    if (HWND control = GetDlgItem(event->window, id)) {
      const bool on = (mask & 2) != 0;
      EnableWindow(control, on);
      ShowWindow(control, on ? SW_SHOW : SW_HIDE);
    }
  return 0;
}

// The icon of the chosen pattern (setting 382): on a sheet (1645) or as a
// swatch (1646), in the variant the binding kind (437) calls for. 0 with
// the icon's id, 1 for a value that is none of the five patterns, 6 when
// the setting has no choices, 3 when a read fails.
INT pattern_icon(ControlEvent* event, INT control, UINT* icon) {
  static constexpr UINT kSheetIcons[2][5] = {{893, 875, 896, 890, 887}, {1003, 1001, 1004, 1002, 1005}};
  static constexpr UINT kSwatchIcons[2][5] = {{891, 897, 894, 888, 885}, {892, 898, 895, 889, 886}};
  const ItemInfo* choices = GetItemInfo(event->window, kPattern);
  if (!choices || choices->count <= 0) return 6;
  LONG kind = 0, value = 0;
  if (!read_number(event, kBindingKind, &kind) || !read_number(event, kPattern, &value)) return 3;
  const LONG keys = std::min<LONG>(choices->count, 5);
  if (value < 0 || value >= keys) return 1;
  const bool sheet = control == 1645;
  const INT variant = sheet ? (kind == 2 || kind == 3) : (kind == 1 || kind == 3);
  *icon = (sheet ? kSheetIcons : kSwatchIcons)[variant][value];
  return 0;
}

INT PatternIconHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord* record,
                       const void*) {
  HWND control = GetDlgItem(event->window, record->id);
  if (!control) return 0;
  // The control keeps the icon it shows; the one it showed before goes.
  if (message == WM_DESTROY) {
    if (auto old = reinterpret_cast<HICON>(SendMessageW(control, STM_SETICON, 0, 0))) DestroyIcon(old);
    return 0;
  }
  if (!ShowsAgain(message, lParam)) return 0;
  UINT id = 0;
  if (pattern_icon(event, record->id, &id) != 0) return 0;
  HICON icon = LoadIconW(GetResourceModule(), MAKEINTRESOURCEW(id));
  if (!icon) return 0;
  if (auto old = reinterpret_cast<HICON>(SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0)))
    DestroyIcon(old);
  return 0;
}

// ---- tables ---------------------------------------------------------------------------

constexpr INT kUpDownKind = 9;
constexpr INT kAvailabilityKind = 15;

constexpr SettingRef kCorrectionRef[] = {Bound(286)};
constexpr SettingRef kTemperatureRef[] = {Bound(287)};
constexpr SettingRef kToneRef[] = {Bound(288)};
constexpr SettingRef kSourceOnRef[] = {Bound(1303)};
constexpr SettingRef kOutputOnRef[] = {Bound(1304)};
constexpr SettingRef kSourceRefs[] = {Bound(1303), Bound(1832)};
constexpr SettingRef kOutputRefs[] = {Bound(1304), Bound(1305), Bound(1833)};
constexpr RadioGroupData kCorrectionButtons{3, {1190, 1191, 1192}};

constexpr ControlRecord kProfileRecords[] = {
    {1190, 1, kCorrectionRef, kControlRadioGroup, nullptr, &kCorrectionButtons, kNone, kNone, nullptr},
    {1191, 1, kCorrectionRef, kControlRadioGroup, nullptr, &kCorrectionButtons, kNone, kNone, nullptr},
    {1192, 1, kCorrectionRef, kControlRadioGroup, nullptr, &kCorrectionButtons, kNone, kNone, nullptr},
    {1196, 1, kTemperatureRef, kControlDropDown, nullptr, nullptr, kNone, kNone, nullptr},
    {1195, 1, kToneRef, kControlDropDown, nullptr, nullptr, kNone, kNone, nullptr},
    {1000, 1, kSourceOnRef, kControlCommand, ProfileBrowseButton, nullptr, kNone, kNone, nullptr},
    {1001, 1, kOutputOnRef, kControlCommand, ProfileBrowseButton, nullptr, kNone, kNone, nullptr},
    {kSourceList, 2, kSourceRefs, kControlDropDown, ProfileListHandler, nullptr, kNone, kNone, nullptr},
    {kOutputList, 3, kOutputRefs, kControlDropDown, ProfileListHandler, nullptr, kNone, kNone, nullptr},
    {1193, 1, kTemperatureRef, kControlStatic, nullptr, nullptr, 1193, 9136, nullptr},
    {1194, 1, kToneRef, kControlStatic, nullptr, nullptr, 1194, 9137, nullptr},
    {1076, 1, kSourceOnRef, kControlStatic, ProfileStateHandler, nullptr, kNone, kNone, nullptr},
    {1078, 1, kOutputOnRef, kControlStatic, ProfileStateHandler, nullptr, kNone, kNone, nullptr},
    {1090, 0, nullptr, kControlCommand, ProfileDefaultsHandler, nullptr, kNone, kNone, nullptr},
};
constexpr INT kProfileHelp[] = {1190, 2700, 1191, 2710, 1192, 2720, 1193, 2730, 1196, 2730, 1194, 2740, 1195, 2740,
                                1076, 2750, 1081, 2750, 1000, 2760, 1001, 2760, 1078, 2770, 1082, 2770, 1090, 1540,
                                0, 0};
constexpr INT kNoReadOnly[] = {kNone};

constexpr SettingRef kPatternRef[] = {Bound(kPattern)};
constexpr SettingRef kModeRef[] = {Bound(kPatternMode)};
constexpr SettingRef kWidthRef[] = {Bound(460)};
constexpr SettingRef kHeightRef[] = {Bound(461)};
constexpr RadioGroupData kModeButtons{2, {2787, 2786}};
constexpr ControlRecord kPatternRecords[] = {
    {1648, 1, kPatternRef, kControlDropDown, nullptr, nullptr, 1647, 9138, nullptr},
    {1645, 1, kPatternRef, 0, PatternIconHandler, nullptr, kNone, kNone, nullptr},
    {1646, 1, kPatternRef, 0, PatternIconHandler, nullptr, kNone, kNone, nullptr},
    {2787, 1, kModeRef, kControlRadioGroup, nullptr, &kModeButtons, kNone, kNone, nullptr},
    {2786, 1, kModeRef, kControlRadioGroup, nullptr, &kModeButtons, kNone, kNone, nullptr},
    {2774, 1, kWidthRef, kControlEdit, nullptr, nullptr, 2773, kNone, nullptr},
    {2778, 1, kHeightRef, kControlEdit, nullptr, nullptr, 2777, kNone, nullptr},
    {2775, 1, kWidthRef, kUpDownKind, nullptr, nullptr, kNone, kNone, nullptr},
    {2779, 1, kHeightRef, kUpDownKind, nullptr, nullptr, kNone, kNone, nullptr},
    {2782, 1, kModeRef, kAvailabilityKind, nullptr, nullptr, kNone, kNone, nullptr},
    {2785, 1, kModeRef, kAvailabilityKind, nullptr, nullptr, kNone, kNone, nullptr},
    {kDialogRecordId, 0, nullptr, 0, PatternModeHandler, nullptr, kNone, kNone, nullptr},
};
constexpr INT kPatternHelp[] = {1645, 8010, 1646, 8020, 1649, 8025, 1647, 8030, 1648, 8030, 1092, 1520, 1091, 1530,
                                1090, 1540, 1341, 7777, 2787, 8050, 2786, 8060, 2781, 8070, 2782, 8080, 2785, 8090,
                                2784, 8100, 2771, 8110, 2773, 8120, 2774, 8120, 2775, 8120, 2776, 8120, 2772, 8130,
                                2777, 8140, 2778, 8140, 2779, 8140, 2780, 8140, 0, 0};

}  // namespace

const ControlSet kColourProfileControls{kProfileRecords, static_cast<INT>(std::size(kProfileRecords)), 8888,
                                        kProfileHelp, kNoReadOnly, 0};
const ControlSet kPatternControls{kPatternRecords, static_cast<INT>(std::size(kPatternRecords)), 8040, kPatternHelp,
                                  nullptr, 0};
