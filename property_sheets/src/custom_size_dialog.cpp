// The custom paper size dialog: width and height of the custom paper
// (settings 1863 and 1864, tenths of a millimetre) entered in millimetres
// or inches. Each side is checked against the model's custom size range
// and against the margins of the custom paper; OK turns a paper wider than
// high, and checks the paper setting against the rules once more before
// the dialog closes.
#include <algorithm>
#include <string>

#include "control_handlers.h"
#include "settings/common/module_state.h"
#include "property_sheets/document_pages.h"
#include "property_sheets/margin_checks.h"
#include "property_sheets/sheet_records.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/common_utils.h"
#include "settings/constraints/conflict_check.h"
#include "settings/constraints/conflict_report.h"
#include "settings/constraints/constraint_rules.h"
#include "settings/devmode/paper_size_list.h"
#include "settings/items/item_access.h"
#include "win/controls.h"
#include "win/memory.h"
#include "win/msgbox.h"
#include "win/resources.h"

namespace {

constexpr WORD kPaper = 8, kCustomPaper = 256, kWidthSetting = 1863, kHeightSetting = 1864;
constexpr INT kWidthEdit = 3791, kHeightEdit = 3792, kWidthSpin = 3793, kHeightSpin = 3794, kWidthRange = 3795,
              kHeightRange = 3796, kWidthUnit = 3797, kHeightUnit = 3798, kMetric = 3804, kInch = 3805, kOk = 1092;
constexpr UINT kRangeMessage = 700, kMarginsNoRoom = 728, kSwapped = 9393, kWidthRangeText = 9398,
               kHeightRangeText = 9399, kWidthName = 9400, kHeightName = 9401;

// Blocks a second check while the first one's warning is shown.
bool g_warning_shown = false;

struct Side {
  INT edit;
  WORD ddmid;
  INT index;  // 0 width, 1 height
};
constexpr Side kSides[] = {{kWidthEdit, kWidthSetting, 0}, {kHeightEdit, kHeightSetting, 1}};

const Side* side_of(INT id) {
  for (const Side& s : kSides)
    if (s.edit == id || s.edit + 2 == id) return &s;  // the edit or its up-down
  return nullptr;
}

bool wants_display(UINT message, LPARAM lParam) {
  return IsNotifyCode(message, lParam, PSN_SETACTIVE) || message == UM_REFRESH_CONTROLS || message == UM_RESTORE_CONTROLS;
}

BOOL inch(HWND dialog) {
  const SheetState* state = GetSheetState(dialog);
  return state && state->current_measurement == 1;
}

LONG read_side(ControlEvent* event, WORD ddmid) {
  return GetEffectiveItemValue(event->devmode, event->printer_data, ddmid);
}

bool write_side(ControlEvent* event, WORD ddmid, LONG value) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, event->devmode, event->printer_data, &type, &size, &v) != 0) return false;
  if (type == 3 || type == 2) {
    const SHORT s = static_cast<SHORT>(value);
    return SetItemValueRaw(ddmid, event->devmode, event->printer_data, type, 2, &s) == 0;
  }
  const LONG l = value;
  return SetItemValueRaw(ddmid, event->devmode, event->printer_data, type, 4, &l) == 0;
}

CustomSizeRange range_of(ControlEvent* event) {
  CustomSizeRange range{1, 1, 32767, 32767};
  GetCustomSizeRange(event->database, &range);
  return range;
}
void limits(ControlEvent* event, INT index, LONG* lo, LONG* hi) {
  const CustomSizeRange r = range_of(event);
  *lo = index == 0 ? r.min_width : r.min_length;
  *hi = index == 0 ? r.max_width : r.max_length;
}

std::u16string length_text(LONG tenths, BOOL in_inches) {
  WCHAR text[32] = {};
  document_pages::FormatLength(tenths, in_inches, text, 32);
  return text;
}

std::u16string field_text(HWND dialog, INT id) {
  WCHAR text[32] = {};
  GetDlgItemTextW(dialog, id, text, 32);
  return text;
}

void show_side(ControlEvent* event, const Side& side) {
  SetDlgItemTextW(event->window, side.edit, length_text(read_side(event, side.ddmid), inch(event->window)).c_str());
}

void show_labels(ControlEvent* event) {
  const BOOL in_inches = inch(event->window);
  for (const Side& side : kSides) {
    LONG lo = 0, hi = 0;
    limits(event, side.index, &lo, &hi);
    LPWSTR text = nullptr;
    const std::u16string a = length_text(lo, in_inches), b = length_text(hi, in_inches);
    if (FormatResourceStringV(&text, 128, side.index == 0 ? kWidthRangeText : kHeightRangeText, a.c_str(), b.c_str()) &&
        text) {
      SetDlgItemTextW(event->window, side.index == 0 ? kWidthRange : kHeightRange, text);
      GlobalFree(text);
    }
    SetDlgItemTextW(event->window, side.index == 0 ? kWidthUnit : kHeightUnit, in_inches ? u"in" : u"mm");
  }
  CheckRadioButton(event->window, kMetric, kInch, in_inches ? kInch : kMetric);
}

void warn(ControlEvent* event, UINT id, LPCWSTR text = nullptr) {
  g_warning_shown = true;
  document_pages::Warn(event->window, id, text);
  g_warning_shown = false;
}

// Whether the custom paper's margins leave room on a side of `length`.
bool margins_fit(ControlEvent* event, INT index, LONG length) {
  SheetState* state = GetSheetState(event->window);
  const MarginCheckContext check{event->database, state ? state->printer : nullptr, event->devmode,
                                 event->printer_data};
  LONG dimensions[2] = {read_side(event, kWidthSetting), read_side(event, kHeightSetting)};
  dimensions[index] = length;
  return CheckPaperMargins(&check, kCustomPaper, index, nullptr, dimensions, nullptr, FALSE, TRUE) != -1;
}

// Checks and stores the side's typed value: 0 taken, 1 refused (after a
// message; the field shows the stored value again and takes the focus
// back), 2 while a refusal is under way. With `edited_only` a field that
// still shows the stored value is left alone.
INT check_field(ControlEvent* event, const Side& side, bool edited_only) {
  if (g_warning_shown) return 2;
  const BOOL in_inches = inch(event->window);
  const LONG stored = read_side(event, side.ddmid);
  const std::u16string typed = field_text(event->window, side.edit);
  if (edited_only && typed == length_text(stored, in_inches)) return 0;
  LONG lo = 0, hi = 0;
  limits(event, side.index, &lo, &hi);
  LONG value = 0;
  // A value shown and not edited since maps back to the stored value, so
  // that inch rounding does not move it.
  const bool unchanged = typed == length_text(stored, in_inches);
  const bool parsed = unchanged ? (value = stored, true) : document_pages::ParseLength(typed.c_str(), in_inches, &value);
  if (parsed && in_inches && !unchanged) value = std::clamp(value, lo, hi);  // inch rounding at the bounds
  if (!parsed || value < lo || value > hi) {
    WCHAR name[64] = {};
    LoadStringW(GetResourceModule(), side.index == 0 ? kWidthName : kHeightName, name, 64);
    const std::u16string a = length_text(lo, in_inches), b = length_text(hi, in_inches);
    LPWSTR text = nullptr;
    FormatResourceStringV(&text, 512, kRangeMessage, name, a.c_str(), b.c_str());
    warn(event, 0, text);
    SafeGlobalFree(text);
  } else if (!margins_fit(event, side.index, value)) {
    warn(event, kMarginsNoRoom);
  } else {
    if (value != stored && !write_side(event, side.ddmid, value)) return 1;
    show_side(event, side);
    return 0;
  }
  show_side(event, side);
  // Taking the focus back makes the other field lose it: no check of its
  // own runs meanwhile.
  g_warning_shown = true;
  SetFocus(GetDlgItem(event->window, side.edit));
  g_warning_shown = false;
  return 1;
}

INT SizeEditHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                    const void*) {
  const Side* side = side_of(record->id);
  if (!side) return 0;
  if (message == WM_INITDIALOG) SendDlgItemMessageW(event->window, side->edit, EM_LIMITTEXT, 5, 0);
  if (wants_display(message, lParam)) {
    show_side(event, *side);
    return 0;
  }
  if (message == UM_VALIDATE_CONTROLS) return check_field(event, *side, false) == 0 ? 0 : 1;
  if (message == WM_COMMAND && HIWORD(wParam) == EN_KILLFOCUS) check_field(event, *side, true);
  return 0;
}

// One step of the display unit up or down from the field's value.
INT SizeSpinHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord* record,
                    const void*) {
  const Side* side = side_of(record->id);
  if (!side || message != WM_VSCROLL || LOWORD(wParam) != SB_THUMBPOSITION) return 0;
  static INT last[2] = {0, 0};
  const INT position = static_cast<SHORT>(HIWORD(wParam));
  const bool down = position < last[side->index];
  last[side->index] = position;
  const BOOL in_inches = inch(event->window);
  LONG value = read_side(event, side->ddmid);
  value = in_inches ? InchToMetric(MetricToInch(value, nullptr) + (down ? -1 : 1)) : value + (down ? -1 : 1);
  LONG lo = 0, hi = 0;
  limits(event, side->index, &lo, &hi);
  value = std::clamp(value, lo, hi);
  if (!margins_fit(event, side->index, value)) warn(event, kMarginsNoRoom);
  else write_side(event, side->ddmid, value);
  show_side(event, *side);
  return 0;
}

INT LabelHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord*, const void*) {
  if (wants_display(message, lParam)) show_labels(event);
  return 0;
}

INT UnitHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                const void*) {
  SheetState* state = GetSheetState(event->window);
  if (!state) return 0;
  if (wants_display(message, lParam)) {
    EnableWindow(GetDlgItem(event->window, record->id), TRUE);
    return 0;
  }
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  state->current_measurement = record->id == kInch ? 1 : 0;
  show_labels(event);
  for (const Side& side : kSides) show_side(event, side);
  return 0;
}

constexpr CommandItem kOkCommand{kCommandOk, nullptr};

INT OkHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
              const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  const ControlSet* set = GetDialogControlSet(event->window, event->kind);
  if (!set || DispatchToControls(event, UM_VALIDATE_CONTROLS, wParam, 0, set->records, set->count, 0)) return 0;
  LONG width = read_side(event, kWidthSetting), height = read_side(event, kHeightSetting);
  if (width <= 0 || height <= 0) return 0;
  if (height < width) {
    warn(event, kSwapped);
    write_side(event, kWidthSetting, height);
    write_side(event, kHeightSetting, width);
    for (const Side& side : kSides) show_side(event, side);
    return 0;
  }
  // The paper setting with the new size, through the rules once more.
  SheetState* state = GetSheetState(event->window);
  WORD type = 0;
  DWORD size = 0;
  ItemValue paper{};
  if (!state || GetItemValue(kPaper, event->devmode, event->printer_data, &type, &size, &paper) != 0) return 0;
  ConflictReport* report = NewConflictReport();
  if (!report) return 0;
  WORD* changed = nullptr;
  INT code = 1;
  if (CheckSettingChange(kCheckModeChange, state->printer, event->database, event->devmode, event->printer_data,
                         nullptr, kPaper, type, &paper, report, nullptr, 0) == 0)
    code = ResolveConflict(event->window, state->printer, FALSE, event->database, event->devmode, event->printer_data,
                           kPaper, type, &paper, &changed, report);
  FreeConflictReport(report);
  SafeGlobalFree(changed);
  if (code != 4) return 0;
  return CommandButtonHandler(event, message, wParam, lParam, record, &kOkCommand);
}

constexpr SettingRef kWidthRef[] = {Bound(kWidthSetting, 0)};
constexpr SettingRef kHeightRef[] = {Bound(kHeightSetting, 0)};
constexpr WORD kKeepEnabled = kFlagKeepEnabled;
constexpr INT kHelp[] = {3795, 4300, 3791, 4300, 3793, 4300, 3797, 4300, 3796, 4310, 3792, 4310, 3794, 4310,
                         3798, 4310, 3803, 42100, 3804, 42110, 3805, 42120, 3806, 4320, 3807, 4320, 3808, 4320,
                         1090, 1540, 1092, 1520, 1091, 1530, 1341, 7777, 0, 0};
constexpr ControlRecord kRecords[] = {
    {kWidthEdit, 1, kWidthRef, kControlEdit, SizeEditHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kWidthSpin, 1, kWidthRef, 0, SizeSpinHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kWidthRange, 1, kWidthRef, kControlStatic, LabelHandler, nullptr, kNone, 9310, &kKeepEnabled},
    {kHeightEdit, 1, kHeightRef, kControlEdit, SizeEditHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kHeightSpin, 1, kHeightRef, 0, SizeSpinHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kHeightRange, 1, kHeightRef, kControlStatic, nullptr, nullptr, kNone, 9311, &kKeepEnabled},
    {kMetric, 0, nullptr, kControlRadioGroup, UnitHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kInch, 0, nullptr, kControlRadioGroup, UnitHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kOk, 0, nullptr, kControlCommand, OkHandler, nullptr, kNone, kNone, &kKeepEnabled},
};

}  // namespace

const ControlSet kCustomSizeControls{kRecords, static_cast<INT>(std::size(kRecords)), 43200, kHelp, nullptr, 0};
