// The paper margin dialog: the four margins of each paper, chosen in a
// paper list. With the own-margins switch (setting 387) on, the margins are
// kept per paper and typed or stepped in the four entries; off, the
// entries show the paper's margins from the device database (or none when
// setting 383 is 1) and cannot be changed. Every margin is checked against
// the margin range and against the paper, and the margins are stored when
// the dialog is closed with OK.
//
// The margins of an entry are addressed by an index 0-3 (settings 1825,
// 1827, 1826, 1828); the listed margins of a paper are kept in that order.
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "control_handlers.h"
#include "property_sheets/document_pages.h"
#include "property_sheets/margin_checks.h"
#include "property_sheets/sheet_records.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_records.h"
#include "settings/items/item_access.h"
#include "settings/items/item_info.h"
#include "settings/stores/paper_margin_store.h"
#include "win/controls.h"
#include "win/memory.h"
#include "win/msgbox.h"
#include "win/resources.h"

namespace {

constexpr WORD kOrientation = 7, kPaper = 8, kOwnMargins = 387, kNoMargins = 383, kMarginPlace = 463,
               kMarginPaper = 1824;
constexpr WORD kMarginSettings[4] = {1825, 1827, 1826, 1828};
constexpr INT kEntries[4] = {1666, 1676, 1681, 1686};
constexpr INT kSpins[4] = {1667, 1677, 1682, 1687};
constexpr INT kRangeLabels[4] = {1665, 1675, 1680, 1685};
constexpr INT kUnitLabels[4] = {1668, 1678, 1683, 1688};
constexpr INT kPaperList = 1361, kMetric = 1674, kInch = 1690, kResetAll = 1090;
constexpr UINT kRangeMessage = 700, kNoRoom = 727, kMarginNames[4] = {9403, 9404, 9405, 9406},
               kMarginRangeText = 9407;
constexpr LONG kDefaultLowest = 0, kDefaultHighest = 500;

struct MarginState {
  BOOL reset = FALSE;
  LONG lowest = kDefaultLowest, highest = kDefaultHighest;
  std::map<WORD, PaperMargin> listed;    // paper id -> margins in index order
  std::map<WORD, PaperMargin> database;  // the papers' own margins, index order
  bool checking = false;                 // a warning or a check is under way
};

std::map<HWND, std::unique_ptr<MarginState>>& open_dialogs() {
  static std::map<HWND, std::unique_ptr<MarginState>> open;
  return open;
}
MarginState* state_of(HWND dialog) {
  auto it = open_dialogs().find(dialog);
  return it == open_dialogs().end() ? nullptr : it->second.get();
}

bool wants_display(UINT message, LPARAM lParam) {
  return IsNotifyCode(message, lParam, PSN_SETACTIVE) || message == UM_REFRESH_CONTROLS || message == UM_RESTORE_CONTROLS;
}

LONG number(ControlEvent* event, WORD ddmid) { return GetEffectiveItemValue(event->devmode, event->printer_data, ddmid); }
INT index_of(const INT (&ids)[4], INT id) {
  for (INT i = 0; i < 4; ++i)
    if (ids[i] == id) return i;
  return -1;
}
BOOL inch(HWND dialog) {
  const SheetState* s = GetSheetState(dialog);
  return s && s->current_measurement == 1;
}
std::u16string length_text(LONG tenths, BOOL in_inches) {
  WCHAR text[32] = {};
  document_pages::FormatLength(tenths, in_inches, text, 32);
  return text;
}

// Stored order (as the stores keep them) to index order and back.
PaperMargin to_index_order(const PaperMargin& c) { return PaperMargin{{c.m[3], c.m[0], c.m[2], c.m[1]}}; }
PaperMargin to_caller_order(const PaperMargin& e) { return PaperMargin{{e.m[1], e.m[3], e.m[2], e.m[0]}}; }

// The papers of the paper list (setting 1824's choices).
std::vector<WORD> listed_papers(HWND window) {
  std::vector<WORD> papers;
  const ItemInfo* info = GetItemInfo(window, kMarginPaper);
  for (LONG c = 0; info && c < info->count; ++c)
    if (const void* v = ItemInfo_GetChoiceAt(info, c)) papers.push_back(static_cast<WORD>(GetTypedValue(info->value_type, v)));
  return papers;
}

std::unique_ptr<MarginState> build_state(ControlEvent* event) {
  SheetState* sheet = GetSheetState(event->window);
  auto s = std::make_unique<MarginState>();
  if (const ItemInfo* info = GetItemInfo(event->window, kMarginSettings[0]); info && info->count >= 2) {
    s->lowest = GetTypedValue(info->value_type, ItemInfo_GetChoiceAt(info, 0));
    s->highest = GetTypedValue(info->value_type, ItemInfo_GetChoiceAt(info, 1));
  }
  const INT orientation = static_cast<INT>(number(event, kOrientation));
  PaperMarginArray* array = LoadPaperMarginArray(sheet->printer);
  const BOOL per_user = number(event, kMarginPlace) == 1;
  for (WORD paper : listed_papers(event->window)) {
    PaperMargin caller{};
    if (GetStoredPaperMargins(sheet->printer, sheet->database, nullptr, paper, &caller, per_user, array, orientation) != 1)
      GetDefaultPaperMargins(&caller, orientation);
    s->listed[paper] = to_index_order(caller);
    DddValue* value = nullptr;
    if (DddLoadRecord(DDD_LOAD_FULL, &sheet->database->main, &sheet->database->linked, DDD_KIND_PAPER, paper, 0,
                      &value) == DDD_OK && value) {
      const auto* p = static_cast<const DddPaper*>(value);
      PaperMargin stored{{p->margin_lb.first, p->margin_lb.second, p->margin_rt.first, p->margin_rt.second}};
      PaperMargin turned{};
      if (RotatePaperMargins(kMarginsToCaller, orientation, &stored, &turned) == 1) s->database[paper] = to_index_order(turned);
    }
    DddFreeValue(&value, 0xFFFF);
  }
  if (array) FreePaperMarginArray(array);
  return s;
}

WORD selected_paper(ControlEvent* event) { return static_cast<WORD>(number(event, kMarginPaper)); }

bool write_margin(ControlEvent* event, INT index, LONG value) {
  return document_pages::SetNumberSetting(event->devmode, event->printer_data, kMarginSettings[index], value);
}

// What entry `index` shows: the listed margin with own margins on, else
// none (setting 383 = 1) or the paper's own.
LONG shown_margin(ControlEvent* event, MarginState* s, INT index) {
  const WORD paper = selected_paper(event);
  if (number(event, kOwnMargins) == 1) return s->listed.count(paper) ? s->listed[paper].m[index] : 0;
  if (number(event, kNoMargins) == 1) return 0;
  return s->database.count(paper) ? s->database[paper].m[index] : 0;
}

void show_entry(ControlEvent* event, MarginState* s, INT index) {
  const LONG value = shown_margin(event, s, index);
  if (number(event, kMarginSettings[index]) != value) write_margin(event, index, value);
  SetDlgItemTextW(event->window, kEntries[index], length_text(value, inch(event->window)).c_str());
  const BOOL own = number(event, kOwnMargins) == 1;
  HWND entry = GetDlgItem(event->window, kEntries[index]);
  SendMessageW(entry, EM_SETREADONLY, !own, 0);
  EnableWindow(entry, TRUE);
  EnableWindow(GetDlgItem(event->window, kSpins[index]), own && event->permission);
}

void warn(ControlEvent* event, MarginState* s, UINT id, LPCWSTR text = nullptr) {
  s->checking = true;
  document_pages::Warn(event->window, id, text);
  s->checking = false;
}

// 1 fits, -2 outside the margin range, -1 no room left on the paper.
INT check_margin(ControlEvent* event, MarginState* s, INT index, LONG value) {
  if (value < s->lowest || value > s->highest) return -2;
  SheetState* sheet = GetSheetState(event->window);
  PaperMargin m = s->listed[selected_paper(event)];
  m.m[index] = value;
  const MarginCheckContext check{event->database, sheet->printer, event->devmode, event->printer_data};
  return CheckPaperMargins(&check, selected_paper(event), index, &m, nullptr, nullptr, FALSE, FALSE) == -1 ? -1 : 1;
}

void refuse(ControlEvent* event, MarginState* s, INT index, INT code) {
  const BOOL in_inches = inch(event->window);
  SetDlgItemTextW(event->window, kEntries[index], length_text(shown_margin(event, s, index), in_inches).c_str());
  if (code == -1) {
    warn(event, s, kNoRoom);
  } else {
    WCHAR name[64] = {};
    LoadStringW(GetResourceModule(), kMarginNames[index], name, 64);
    LPWSTR text = nullptr;
    const std::u16string lo = length_text(s->lowest, in_inches), hi = length_text(s->highest, in_inches);
    FormatResourceStringV(&text, 512, kRangeMessage, name, lo.c_str(), hi.c_str());
    warn(event, s, 0, text);
    SafeGlobalFree(text);
  }
  s->checking = true;
  SetFocus(GetDlgItem(event->window, kEntries[index]));
  s->checking = false;
}

// Takes the typed margin: 0 taken (or nothing to take), 1 refused.
INT take_entry(ControlEvent* event, MarginState* s, INT index) {
  if (s->checking || number(event, kOwnMargins) != 1) return 0;
  WCHAR text[32] = {};
  GetDlgItemTextW(event->window, kEntries[index], text, 32);
  const BOOL in_inches = inch(event->window);
  if (text == length_text(shown_margin(event, s, index), in_inches)) return 0;
  LONG value = 0;
  const INT code = document_pages::ParseLength(text, in_inches, &value) ? check_margin(event, s, index, value) : -2;
  if (code != 1) {
    refuse(event, s, index, code);
    return 1;
  }
  s->listed[selected_paper(event)].m[index] = value;
  write_margin(event, index, value);
  SetDlgItemTextW(event->window, kEntries[index], length_text(value, in_inches).c_str());
  return 0;
}

INT MarginEntryHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void*) {
  MarginState* s = state_of(event->window);
  const INT index = index_of(kEntries, record->id);
  if (!s || index < 0) return 0;
  if (wants_display(message, lParam)) {
    show_entry(event, s, index);
    return 0;
  }
  if (message == UM_VALIDATE_CONTROLS || IsNotifyCode(message, lParam, PSN_KILLACTIVE)) return take_entry(event, s, index);
  if (message == WM_COMMAND && HIWORD(wParam) == EN_KILLFOCUS) take_entry(event, s, index);
  return 0;
}

// A step of the up-down: one tenth of a millimetre (a hundredth of an
// inch), undone with a warning when it leaves no room on the paper.
INT MarginUpDownHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void*) {
  MarginState* s = state_of(event->window);
  const INT index = index_of(kSpins, record->id);
  if (!s || index < 0) return 0;
  if (wants_display(message, lParam)) {
    EnableWindow(GetDlgItem(event->window, record->id), number(event, kOwnMargins) == 1 && event->permission);
    return 0;
  }
  if (message != WM_VSCROLL || LOWORD(wParam) != SB_THUMBPOSITION || number(event, kOwnMargins) != 1) return 0;
  static INT last[4] = {0, 0, 0, 0};
  const INT position = static_cast<SHORT>(HIWORD(wParam));
  const bool down = position < last[index];
  last[index] = position;
  const BOOL in_inches = inch(event->window);
  const LONG current = s->listed[selected_paper(event)].m[index];
  LONG value = in_inches ? InchToMetric(MetricToInch(current, nullptr) + (down ? -1 : 1)) : current + (down ? -1 : 1);
  value = std::clamp(value, s->lowest, s->highest);
  if (check_margin(event, s, index, value) == -1) {
    last[index] += down ? 1 : -1;
    SendDlgItemMessageW(event->window, record->id, UDM_SETPOS32, 0, last[index]);
    warn(event, s, kNoRoom);
  } else {
    s->listed[selected_paper(event)].m[index] = value;
    write_margin(event, index, value);
  }
  SetDlgItemTextW(event->window, kEntries[index], length_text(s->listed[selected_paper(event)].m[index], in_inches).c_str());
  return 0;
}

void show_labels(ControlEvent* event, MarginState* s) {
  const BOOL in_inches = inch(event->window);
  for (INT i = 0; i < 4; ++i) {
    WCHAR name[64] = {};
    LoadStringW(GetResourceModule(), kMarginNames[i], name, 64);
    LPWSTR text = nullptr;
    const std::u16string lo = length_text(s->lowest, in_inches), hi = length_text(s->highest, in_inches);
    if (FormatResourceStringV(&text, 128, kMarginRangeText, name, lo.c_str(), hi.c_str()) && text) {
      SetDlgItemTextW(event->window, kRangeLabels[i], text);
      GlobalFree(text);
    }
    SetDlgItemTextW(event->window, kUnitLabels[i], in_inches ? u"in" : u"mm");
  }
  CheckRadioButton(event->window, kMetric, kInch, in_inches ? kInch : kMetric);
}

// The paper list starts at the document's paper.
INT MarginPaperListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                           const ControlRecord* record, const void* kind_data) {
  if (IsNotifyCode(message, lParam, PSN_SETACTIVE) && !state_of(event->window)->listed.empty()) {
    const LONG paper = number(event, kPaper);
    if (number(event, kMarginPaper) != paper)
      document_pages::SetNumberSetting(event->devmode, event->printer_data, kMarginPaper, paper);
  }
  return DropDownListHandler(event, message, wParam, lParam, record, kind_data);
}

INT UnitHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                const void*) {
  MarginState* s = state_of(event->window);
  SheetState* sheet = GetSheetState(event->window);
  if (!s || !sheet) return 0;
  if (wants_display(message, lParam)) {
    show_labels(event, s);
    return 0;
  }
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  sheet->current_measurement = record->id == kInch ? 1 : 0;
  show_labels(event, s);
  for (INT i = 0; i < 4; ++i) show_entry(event, s, i);
  return 0;
}

INT ResetAllHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  MarginState* s = state_of(event->window);
  if (!s || message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  s->reset = TRUE;
  PaperMargin defaults{};
  GetDefaultPaperMargins(&defaults, static_cast<INT>(number(event, kOrientation)));
  for (auto& [paper, margins] : s->listed) margins = to_index_order(defaults);
  for (INT i = 0; i < 4; ++i) show_entry(event, s, i);
  return 0;
}

// OK: the margins go to the user's store (a sheet of an application) or
// the printer's (the printer's own sheets).
bool save_margins(ControlEvent* event, MarginState* s) {
  SheetState* sheet = GetSheetState(event->window);
  const BOOL per_user = sheet->mode == kSheetModeDocument;
  if (s->reset && ResetPaperMargins(sheet->printer, sheet->database, nullptr, per_user ? 1 : 0) != 1) return false;
  if (number(event, kOwnMargins) != 1) return true;
  const INT orientation = static_cast<INT>(number(event, kOrientation));
  PaperMarginArray* array = per_user ? nullptr : LoadPaperMarginArray(sheet->printer);
  bool ok = per_user || array;
  for (const auto& [paper, margins] : s->listed) {
    const PaperMargin caller = to_caller_order(margins);
    if (per_user) ok = ok && SavePaperMargin(sheet->printer, sheet->database, nullptr, paper, &caller, orientation) == 1;
    else ok = ok && StoreTemporaryPaperMargin(array, paper, &caller, orientation) == 1;
  }
  if (array) {
    ok = ok && SavePaperMarginArray(sheet->printer, array) == 1;
    FreePaperMarginArray(array);
  }
  document_pages::SetNumberSetting(event->devmode, event->printer_data, kMarginPlace, per_user ? 1 : 0);
  return ok;
}

INT MarginDialogHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord*, const void*) {
  if (message == WM_INITDIALOG) {
    open_dialogs()[event->window] = build_state(event);
  } else if (IsNotifyCode(message, lParam, PSN_APPLY)) {
    if (MarginState* s = state_of(event->window); s && !save_margins(event, s)) {
      document_pages::Warn(event->window, 9408);
      return 1;
    }
    open_dialogs().erase(event->window);
  } else if (IsNotifyCode(message, lParam, PSN_RESET) || message == WM_DESTROY) {
    open_dialogs().erase(event->window);
  }
  return 0;
}

// The edge icons beside the entries: which edge of the page each margin
// lies at in the current orientation, none when the model offers more than
// portrait and landscape.
struct EdgeIcons {
  INT control;
  UINT portrait, landscape;
};
constexpr EdgeIcons kEdgeIcons[] = {{1661, 876, 900}, {1662, 882, 881}, {1663, 884, 883}, {1664, 880, 879}};
constexpr WORD kLandscape = 2;

INT MarginIconHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord* record,
                      const void*) {
  HWND control = GetDlgItem(event->window, record->id);
  // The control keeps the icon it shows; the one it showed before goes.
  if (message == WM_DESTROY && control) {
    if (auto old = reinterpret_cast<HICON>(SendMessageW(control, STM_SETICON, 0, 0))) DestroyIcon(old);
    return 0;
  }
  if (message != WM_INITDIALOG && !ShowsAgain(message, lParam)) return 0;
  const ItemInfo* orientation = GetItemInfo(event->window, kOrientation);
  if (!control || (orientation && orientation->count > 2)) return 0;
  const bool landscape = GetEffectiveItemValue(event->devmode, event->printer_data, kOrientation) == kLandscape;
  for (const EdgeIcons& e : kEdgeIcons) {
    if (e.control != record->id) continue;
    HICON icon = LoadIconW(GetResourceModule(), MAKEINTRESOURCEW(landscape ? e.landscape : e.portrait));
    if (!icon) return 0;
    if (auto old = reinterpret_cast<HICON>(SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0)))
      DestroyIcon(old);
  }
  return 0;
}

constexpr WORD kKeepEnabled = kFlagKeepEnabled;
constexpr SettingRef kOwn[] = {Bound(kOwnMargins)};
constexpr SettingRef kPaperRef[] = {Bound(kMarginPaper)};
constexpr SettingRef kTop[] = {Bound(1825, 0)}, kBottom[] = {Bound(1826, 0)}, kLeft[] = {Bound(1827, 0)},
                     kRight[] = {Bound(1828, 0)};
constexpr CommandItem kDefaultsCommand{kCommandDefaults, nullptr};

constexpr INT kHelp[] = {1658, 9035, 1660, 9040, 1361, 9040, 1673, 9045, 1674, 9050, 1690, 9055, 1670, 9120,
                         1661, 9065, 1665, 9070, 1666, 9070, 1667, 9070, 1668, 9070, 1321, 9070, 1662, 9075,
                         1680, 9080, 1681, 9080, 1682, 9080, 1683, 9080, 1322, 9080, 1663, 9085, 1675, 9090,
                         1676, 9090, 1677, 9090, 1678, 9090, 1323, 9090, 1664, 9095, 1685, 9110, 1686, 9110,
                         1687, 9110, 1688, 9110, 1324, 9110, 1092, 1520, 1091, 1530, 1090, 1540, 1341, 7777, 0, 0};
constexpr INT kReadOnly[] = {1652, 1659, 1665, 1680, 1675, 1685, kNone};
constexpr ControlRecord kRecords[] = {
    {kDialogRecordId, 0, nullptr, 0, MarginDialogHandler, nullptr, kNone, kNone, nullptr},
    {1658, 1, kOwn, kControlCheckBox, nullptr, nullptr, 1658, 9038, nullptr},
    {kPaperList, 1, kPaperRef, kControlDropDown, MarginPaperListHandler, nullptr, 1660, 9039, nullptr},
    {kMetric, 0, nullptr, kControlRadioGroup, UnitHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kInch, 0, nullptr, kControlRadioGroup, UnitHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {1666, 1, kTop, kControlEdit, MarginEntryHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {1681, 1, kBottom, kControlEdit, MarginEntryHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {1676, 1, kLeft, kControlEdit, MarginEntryHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {1686, 1, kRight, kControlEdit, MarginEntryHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {1667, 1, kTop, 0, MarginUpDownHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {1682, 1, kBottom, 0, MarginUpDownHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {1677, 1, kLeft, 0, MarginUpDownHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {1687, 1, kRight, 0, MarginUpDownHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {1661, 0, nullptr, 0, MarginIconHandler, nullptr, kNone, kNone, nullptr},
    {1662, 0, nullptr, 0, MarginIconHandler, nullptr, kNone, kNone, nullptr},
    {1663, 0, nullptr, 0, MarginIconHandler, nullptr, kNone, kNone, nullptr},
    {1664, 0, nullptr, 0, MarginIconHandler, nullptr, kNone, kNone, nullptr},
    {kResetAll, 0, nullptr, kControlCommand, ResetAllHandler, &kDefaultsCommand, kNone, kNone, nullptr},
};

}  // namespace

const ControlSet kMarginControls{kRecords, static_cast<INT>(std::size(kRecords)), 9060, kHelp, kReadOnly, 0};
