// Scroll bars, up-down controls and trackbars over a number setting: the
// control shows the value as a position in the setting's range, and the
// user's scrolling becomes a change of the setting.
#include <algorithm>

#include "settings/common/common_utils.h"
#include "value_controls.h"
#include "win/controls.h"

namespace {

constexpr WORD kTypeLongValue = 4;

LONG converted(const SettingSlot* slot, INT direction, LONG value) {
  LONG out = value;
  if (slot) ConvertSettingUnits(direction, slot->ddmid, kTypeLongValue, &value, &out);
  return out;
}

// The setting's value as a control shows it: in the shown unit when the
// control converts.
LONG shown_number(const SettingSlot* slot, bool convert) {
  return convert ? converted(slot, 2, SlotNumber(slot)) : SlotNumber(slot);
}

// The setting's range as a control shows it, for the range set-up on
// activation; FALSE without a setting or a range.
bool shown_range(ControlEvent* event, const ControlRecord* record, bool convert, LONG* low, LONG* high) {
  const SettingSlot* slot = ReloadedSlot(event, record);
  if (!slot || !GetControlValueRange(event, record, low, high)) return false;
  if (convert) {
    *low = converted(slot, 2, *low);
    *high = converted(slot, 2, *high);
  }
  return true;
}

// ---- scroll bars ----

void scroll_range(ControlEvent* event, const ControlRecord* record, HWND bar) {
  LONG low = 0, high = 0;
  if (!GetControlValueRange(event, record, &low, &high)) return;
  if (low < 0) SetScrollRange(bar, SB_CTL, 0, high - low, FALSE);
  else SetScrollRange(bar, SB_CTL, low, high, FALSE);
}

void scroll_position(ControlEvent* event, const ControlRecord* record, HWND bar) {
  const SettingSlot* slot = ReloadedSlot(event, record);
  const INT kind = ControlAvailability(event, record);
  if (event->permission) ApplyGenericState(event, bar, kind);
  else ApplyReadOnlyState(record, bar);
  if (!slot || kind == 1 || kind == 6) return;
  LONG low = 0, high = 0;
  GetControlValueRange(event, record, &low, &high);
  const LONG value = SlotNumber(slot);
  SetScrollPos(bar, SB_CTL, low < 0 ? value - low : value, TRUE);
}

}  // namespace

INT ScrollBarHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                     const void* kind_data) {
  const auto* data = static_cast<const ScrollBarData*>(kind_data);
  HWND bar = GetDlgItem(event->window, record->id);
  if (!bar) return 0;
  if (IsNotify(message, lParam, PSN_SETACTIVE)) {
    scroll_range(event, record, bar);
    scroll_position(event, record, bar);
    return 0;
  }
  if (message == UM_REFRESH_CONTROLS || message == UM_RESTORE_CONTROLS) {
    scroll_position(event, record, bar);
    return 0;
  }
  if (message != WM_HSCROLL && message != WM_VSCROLL) return 0;
  const SettingSlot* slot = ReloadedSlot(event, record);
  LONG low = 0, high = 0;
  if (!slot || !GetControlValueRange(event, record, &low, &high)) return 1;
  const bool top_is_max = !data || data->direction == 0;
  const LONG page = data ? data->page : 1;
  const LONG value = SlotNumber(slot);
  LONG next = value;
  switch (LOWORD(wParam)) {
    case SB_TOP: next = top_is_max ? high : low; break;
    case SB_BOTTOM: next = top_is_max ? low : high; break;
    case SB_LINEUP: next = top_is_max ? value + 1 : value - 1; break;
    case SB_LINEDOWN: next = top_is_max ? value - 1 : value + 1; break;
    case SB_PAGEUP: next = top_is_max ? value + page : value - page; break;
    case SB_PAGEDOWN: next = top_is_max ? value - page : value + page; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: next = static_cast<SHORT>(HIWORD(wParam)) + (low < 0 ? low : 0); break;
    default: return 1;
  }
  next = std::clamp(next, low, high);
  return StoreNumber(event, record, next) == 1 ? 0 : 1;
}

namespace {

// ---- up-down controls ----

// Steps the setting from the buddy field's typed value or from the current
// value by the distance the control moved.
void spin_step(ControlEvent* event, const ControlRecord* record, const UpDownData* data, INT position) {
  HWND spin = GetDlgItem(event->window, record->id);
  const ControlRecord* buddy = FindBoundControl(event, event->window, record, kControlEdit);
  HWND field = buddy ? GetDlgItem(event->window, buddy->id) : nullptr;
  if (field && (GetWindowLongW(field, GWL_STYLE) & ES_READONLY)) return;
  const auto* edit = buddy ? static_cast<const EditFieldData*>(buddy->kind_data) : nullptr;
  const SettingSlot* slot = ReloadedSlot(event, record);
  LONG low = 0, high = 0;
  if (!slot || !GetControlValueRange(event, record, &low, &high)) return;
  const bool convert = data && data->convert;
  const SheetState* state = GetSheetState(event->window);
  // Lengths of a field that stores each keystroke step in hundredths of an
  // inch while the sheet shows inches.
  const bool inches = edit && (edit->flags & kEditStoreEachKey) && state && state->current_measurement == 1;
  auto shown = [&](LONG v) { return inches ? MetricToInch(v, nullptr) : convert ? converted(slot, 2, v) : v; };
  auto stored = [&](LONG v) { return inches ? InchToMetric(v) : convert ? converted(slot, 1, v) : v; };
  const LONG current = shown(SlotNumber(slot));
  const LONG shown_low = shown(low), shown_high = shown(high);
  if (buddy) SetEditBusy(event, buddy, TRUE);
  if (field) SetFocus(field);
  LONG typed = 0;
  bool has_typed = false;
  // A control that keeps its buddy's number (UDS_SETBUDDYINT) has already
  // stepped from the typed value and written the result there: its position
  // is the value, and the buddy's text is no longer what the user typed.
  const bool owns_buddy = spin && (GetWindowLongW(spin, GWL_STYLE) & UDS_SETBUDDYINT);
  if (buddy && edit && !owns_buddy) {
    LONG parsed = 0;
    has_typed = ParseEditText(event, buddy, edit, TRUE, &parsed) == 0;
    // A length typed in the shown unit steps in the same unit.
    typed = parsed;
  }
  LONG pos = position;
  if (pos == current) {
    if (has_typed && typed != current) {
      if (current == shown_low) pos = current - 1;
      else if (current == shown_high) pos = current + 1;
    }
    if (pos == current) {
      if (buddy && edit) ShowEditValue(event, buddy, edit);
      if (buddy) SetEditBusy(event, buddy, FALSE);
      return;
    }
  }
  const LONG start = has_typed && typed >= shown_low && typed <= shown_high ? typed : current;
  const LONG next = std::clamp(stored(start + (pos - current)), low, high);
  INT result = 2;
  LONG value = next;
  if (!(edit && edit->callback) || edit->callback(edit, event, WM_VSCROLL, buddy, edit, 0, &value) == 1)
    result = StoreNumber(event, record, value);
  if (buddy) SetEditBusy(event, buddy, FALSE);
  if (result != 1) {
    SendMessageW(spin, UDM_SETPOS, 0, MAKELONG(static_cast<SHORT>(current), 0));
    if (buddy && edit) ShowEditValue(event, buddy, edit);
  }
}

void spin_position(ControlEvent* event, const ControlRecord* record, const UpDownData* data, HWND spin) {
  const SettingSlot* slot = ReloadedSlot(event, record);
  if (!slot) return;
  const LONG value = shown_number(slot, data && data->convert);
  SendMessageW(spin, UDM_SETPOS, 0, MAKELONG(static_cast<SHORT>(value), 0));
  if (event->permission) ApplyGenericState(event, spin, ControlAvailability(event, record));
  else ApplyReadOnlyState(record, spin);
}

// ---- trackbars ----

void track_position(ControlEvent* event, const ControlRecord* record, const TrackbarData* data, HWND bar) {
  const SettingSlot* slot = ReloadedSlot(event, record);
  const INT kind = ControlAvailability(event, record);
  if (event->permission) ApplyGenericState(event, bar, kind);
  else ApplyReadOnlyState(record, bar);
  if (!slot || kind == 1 || kind == 6) return;
  SendMessageW(bar, TBM_SETPOS, TRUE, shown_number(slot, data && data->convert));
}

}  // namespace

INT SpinControlHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data) {
  const auto* data = static_cast<const UpDownData*>(kind_data);
  HWND spin = GetDlgItem(event->window, record->id);
  if (!spin) return 0;
  if (IsNotify(message, lParam, PSN_SETACTIVE)) {
    LONG low = 0, high = 0;
    if (shown_range(event, record, data && data->convert, &low, &high))
      SendMessageW(spin, UDM_SETRANGE, 0, MAKELONG(static_cast<SHORT>(high), static_cast<SHORT>(low)));
    spin_position(event, record, data, spin);
    return 0;
  }
  if (message == UM_REFRESH_CONTROLS || message == UM_RESTORE_CONTROLS) {
    spin_position(event, record, data, spin);
    return 0;
  }
  // A step arrives as the thumb position the control moved to; the end of
  // the step that follows carries nothing new.
  if (message == WM_VSCROLL && LOWORD(wParam) == SB_THUMBPOSITION)
    spin_step(event, record, data, static_cast<SHORT>(HIWORD(wParam)));
  return 0;
}

INT TrackbarHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                    const void* kind_data) {
  const auto* data = static_cast<const TrackbarData*>(kind_data);
  HWND bar = GetDlgItem(event->window, record->id);
  if (!bar) return 0;
  if (IsNotify(message, lParam, PSN_SETACTIVE)) {
    LONG low = 0, high = 0;
    if (shown_range(event, record, data && data->convert, &low, &high))
      SendMessageW(bar, TBM_SETRANGE, TRUE, MAKELONG(static_cast<SHORT>(low), static_cast<SHORT>(high)));
    if (data) {
      SendMessageW(bar, TBM_SETPAGESIZE, 0, data->page);
      if (data->ticks) SendMessageW(bar, TBM_SETTICFREQ, data->ticks, 0);
    }
    track_position(event, record, data, bar);
    return 0;
  }
  if (message == UM_REFRESH_CONTROLS || message == UM_RESTORE_CONTROLS) {
    track_position(event, record, data, bar);
    return 0;
  }
  if (message != WM_HSCROLL && message != WM_VSCROLL) return 0;
  switch (LOWORD(wParam)) {
    case TB_LINEUP:
    case TB_LINEDOWN:
    case TB_THUMBPOSITION:
    case TB_THUMBTRACK:
    case TB_ENDTRACK: break;
    default: return 1;  // page steps and jumps to the ends wait for their TB_ENDTRACK
  }
  const SettingSlot* slot = ReloadedSlot(event, record);
  if (!slot) return 1;
  LONG value = static_cast<LONG>(SendMessageW(bar, TBM_GETPOS, 0, 0));
  if (data && data->convert) value = converted(slot, 1, value);
  const INT result = StoreNumber(event, record, value);
  if (result == 2) track_position(event, record, data, bar);
  return 0;
}
