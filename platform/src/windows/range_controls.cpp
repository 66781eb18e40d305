// Range controls: scroll bars, up-down controls and trackbars.
//
// Rules kept from the real platform:
// - Setting a position by message (SBM_SETPOS, UDM_SETPOS, TBM_SETPOS)
//   sends no notification and clamps to the range.
// - Scroll bar: the user's keys send WM_HSCROLL/WM_VSCROLL (SB_LINEUP, ...)
//   then SB_ENDSCROLL to the parent; the bar does not move itself, the
//   parent sets the new position.
// - Up-down: the default range runs from 100 (lower) to 0 (upper); the up
//   arrow moves towards the upper bound. A click asks the parent first with
//   UDN_DELTAPOS (NMUPDOWN with the current position and the signed change;
//   a non-zero answer refuses), then moves (wrapping with UDS_WRAP, else
//   stopping at the bound), writes the buddy's text with UDS_SETBUDDYINT,
//   and sends WM_VSCROLL (WM_HSCROLL with UDS_HORZ) SB_THUMBPOSITION with
//   the new position (also when it stayed at a bound), then SB_ENDSCROLL. UDM_GETPOS reads the buddy's text
//   first when it shows the number, and reports an error in the high word
//   when that text is not a number in range. UDS_AUTOBUDDY takes the
//   previous control in the dialog's order.
// - Trackbar: the default range is 0 to 100, line size 1, page size 20. A
//   key moves the thumb and sends WM_HSCROLL (WM_VSCROLL with TBS_VERT)
//   TB_LINEUP/TB_LINEDOWN/TB_PAGEUP/TB_PAGEDOWN/TB_TOP/TB_BOTTOM, then
//   TB_ENDTRACK; a drag sends TB_THUMBTRACK for each position passed, then
//   TB_THUMBPOSITION at the end, then TB_ENDTRACK. The position has moved
//   before each notification.
#include <algorithm>
#include <string>

#include "win/strings.h"
#include "windows/window_internal.h"

namespace morva::platform::win {

constexpr UINT kTrackbarDrag = 0x7FF1;  // the driver's drag to position wParam
constexpr UINT kUpDownSpin = 0x7FF2;    // the driver's click on the up (wParam 1) or down arrow

namespace {

// ---- scroll bars ----

struct ScrollData : ControlData {
  INT min = 0, max = 100, pos = 0;
  UINT page = 0;
};

INT clamp_scroll(INT pos, INT min, INT max, UINT page) {
  INT top = page ? max - static_cast<INT>(page) + 1 : max;
  return std::clamp(pos, min, std::max(min, top));
}

void send_scroll(HWND control, bool vertical, UINT code, INT pos) {
  HWND parent = GetParent(control);
  if (parent)
    SendMessageW(parent, vertical ? WM_VSCROLL : WM_HSCROLL, MAKEWPARAM(code, pos), reinterpret_cast<LPARAM>(control));
}

}  // namespace

LRESULT scrollbar_proc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* d = data_or_create<ScrollData>(h);
  if (!d) return 0;
  bool vertical = (GetWindowLongW(h, GWL_STYLE) & SBS_VERT) != 0;
  switch (message) {
    case SBM_SETPOS: {
      INT old = d->pos;
      d->pos = clamp_scroll(static_cast<INT>(wParam), d->min, d->max, d->page);
      return old;
    }
    case SBM_GETPOS: return d->pos;
    case SBM_SETRANGE: {
      INT old = d->pos;
      d->min = static_cast<INT>(wParam);
      d->max = static_cast<INT>(lParam);
      d->pos = clamp_scroll(d->pos, d->min, d->max, d->page);
      return old;
    }
    case SBM_GETRANGE:
      if (wParam) *reinterpret_cast<INT*>(wParam) = d->min;
      if (lParam) *reinterpret_cast<INT*>(lParam) = d->max;
      return 0;
    case SBM_SETSCROLLINFO: {
      auto* si = reinterpret_cast<const SCROLLINFO*>(lParam);
      if (!si) return d->pos;
      if (si->fMask & SIF_RANGE) {
        d->min = si->nMin;
        d->max = si->nMax;
      }
      if (si->fMask & SIF_PAGE) d->page = si->nPage;
      if (si->fMask & SIF_POS) d->pos = si->nPos;
      d->pos = clamp_scroll(d->pos, d->min, d->max, d->page);
      return d->pos;
    }
    case SBM_GETSCROLLINFO: {
      auto* si = reinterpret_cast<SCROLLINFO*>(lParam);
      if (!si) return FALSE;
      if (si->fMask & SIF_RANGE) {
        si->nMin = d->min;
        si->nMax = d->max;
      }
      if (si->fMask & SIF_PAGE) si->nPage = d->page;
      if (si->fMask & SIF_POS) si->nPos = d->pos;
      if (si->fMask & SIF_TRACKPOS) si->nTrackPos = d->pos;
      return TRUE;
    }
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_LBUTTONDOWN: SetFocus(h); return 0;
    case WM_KEYDOWN: {
      UINT code;
      switch (wParam) {
        case VK_UP:
        case VK_LEFT: code = SB_LINEUP; break;
        case VK_DOWN:
        case VK_RIGHT: code = SB_LINEDOWN; break;
        case VK_PRIOR: code = SB_PAGEUP; break;
        case VK_NEXT: code = SB_PAGEDOWN; break;
        case VK_HOME: code = SB_TOP; break;
        case VK_END: code = SB_BOTTOM; break;
        default: return DefWindowProcW(h, message, wParam, lParam);
      }
      send_scroll(h, vertical, code, 0);
      send_scroll(h, vertical, SB_ENDSCROLL, 0);
      return 0;
    }
    default: return DefWindowProcW(h, message, wParam, lParam);
  }
}

// ---- up-down controls ----

namespace {

struct UpDownData : ControlData {
  INT lower = 100, upper = 0, pos = 0;
  HWND buddy = nullptr;
  INT base = 10;
};

INT clamp_range(INT v, INT a, INT b) { return std::clamp(v, std::min(a, b), std::max(a, b)); }

std::u16string format_number(INT v, INT base, bool thousands) {
  if (base == 16) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", static_cast<unsigned>(v));
    return utf8_to_u16(buf);
  }
  std::string digits = std::to_string(v < 0 ? -static_cast<long long>(v) : static_cast<long long>(v));
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (thousands && i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return utf8_to_u16((v < 0 ? "-" : "") + out);
}

void write_buddy(HWND h, UpDownData* d) {
  if (!d->buddy || !(GetWindowLongW(h, GWL_STYLE) & UDS_SETBUDDYINT)) return;
  std::u16string t = format_number(d->pos, d->base, !(GetWindowLongW(h, GWL_STYLE) & UDS_NOTHOUSANDS));
  SetWindowTextW(d->buddy, t.c_str());
}

// Reads the buddy's number; false when its text is not a number in range.
bool read_buddy(HWND h, UpDownData* d) {
  if (!d->buddy || !(GetWindowLongW(h, GWL_STYLE) & UDS_SETBUDDYINT)) return true;
  WCHAR buf[64];
  GetWindowTextW(d->buddy, buf, 64);
  std::u16string t;
  for (const WCHAR* p = buf; *p; ++p)
    if (*p != u',' && *p != u' ') t += *p;
  std::size_t used = 0;
  long long v = u16_to_integer(t, d->base == 16 ? 16 : 10, &used);
  if (t.empty() || used != t.size() || v < std::min(d->lower, d->upper) || v > std::max(d->lower, d->upper))
    return false;
  d->pos = static_cast<INT>(v);
  return true;
}

void spin(HWND h, bool up) {
  auto* d = data<UpDownData>(h);
  if (!d) return;
  read_buddy(h, d);
  INT step = (d->upper >= d->lower) ? 1 : -1;
  NMUPDOWN nm{};
  nm.iPos = d->pos;
  nm.iDelta = up ? step : -step;
  if (notify_parent(h, &nm.hdr, UDN_DELTAPOS)) return;
  if (!(d = data<UpDownData>(h))) return;
  INT lo = std::min(d->lower, d->upper), hi = std::max(d->lower, d->upper);
  INT next = d->pos + nm.iDelta;
  if (next < lo || next > hi) {
    if (GetWindowLongW(h, GWL_STYLE) & UDS_WRAP)
      next = next < lo ? hi : lo;
    else
      next = std::clamp(next, lo, hi);
  }
  bool vertical = !(GetWindowLongW(h, GWL_STYLE) & UDS_HORZ);
  if (next != d->pos) {
    d->pos = next;
    write_buddy(h, d);
  }
  // Sent also when the position stays at a bound, so that the parent sees
  // every click of an arrow.
  send_scroll(h, vertical, SB_THUMBPOSITION, next);
  send_scroll(h, vertical, SB_ENDSCROLL, next);
}

}  // namespace

LRESULT updown_proc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* d = data_or_create<UpDownData>(h);
  if (!d) return 0;
  switch (message) {
    case WM_CREATE:
      if (GetWindowLongW(h, GWL_STYLE) & UDS_AUTOBUDDY) d->buddy = GetWindow(h, GW_HWNDPREV);
      return 0;
    case UDM_SETRANGE:
      d->upper = static_cast<SHORT>(LOWORD(lParam));
      d->lower = static_cast<SHORT>(HIWORD(lParam));
      d->pos = clamp_range(d->pos, d->lower, d->upper);
      return 0;
    case UDM_GETRANGE: return MAKELONG(d->upper, d->lower);
    case UDM_SETRANGE32:
      d->lower = static_cast<INT>(wParam);
      d->upper = static_cast<INT>(lParam);
      d->pos = clamp_range(d->pos, d->lower, d->upper);
      return 0;
    case UDM_GETRANGE32:
      if (wParam) *reinterpret_cast<INT*>(wParam) = d->lower;
      if (lParam) *reinterpret_cast<INT*>(lParam) = d->upper;
      return 0;
    case UDM_SETPOS:
    case UDM_SETPOS32: {
      INT old = d->pos;
      INT v = message == UDM_SETPOS ? static_cast<SHORT>(LOWORD(lParam)) : static_cast<INT>(lParam);
      d->pos = clamp_range(v, d->lower, d->upper);
      write_buddy(h, d);
      return old;
    }
    case UDM_GETPOS: {
      bool ok = read_buddy(h, d);
      return MAKELONG(d->pos, ok ? 0 : 1);
    }
    case UDM_GETPOS32: {
      bool ok = read_buddy(h, d);
      if (lParam) *reinterpret_cast<BOOL*>(lParam) = ok ? FALSE : TRUE;
      return d->pos;
    }
    case UDM_SETBUDDY: {
      HWND old = d->buddy;
      d->buddy = reinterpret_cast<HWND>(wParam);
      return reinterpret_cast<LRESULT>(old);
    }
    case UDM_GETBUDDY: return reinterpret_cast<LRESULT>(d->buddy);
    case UDM_SETBASE: {
      if (wParam != 10 && wParam != 16) return 0;
      INT old = d->base;
      d->base = static_cast<INT>(wParam);
      return old;
    }
    case UDM_GETBASE: return d->base;
    case UDM_SETACCEL: return TRUE;
    case UDM_GETACCEL: return 0;
    case kUpDownSpin: spin(h, wParam != 0); return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_KEYDOWN:
      if (wParam == VK_UP || wParam == VK_DOWN) {
        spin(h, wParam == VK_UP);
        return 0;
      }
      return DefWindowProcW(h, message, wParam, lParam);
    default: return DefWindowProcW(h, message, wParam, lParam);
  }
}

// ---- trackbars ----

namespace {

struct TrackData : ControlData {
  INT min = 0, max = 100, pos = 0;
  INT line = 1, page = 20, tic_freq = 1;
  std::vector<INT> tics;
};

void track_notify(HWND h, UINT code, INT pos) {
  bool vertical = (GetWindowLongW(h, GWL_STYLE) & TBS_VERT) != 0;
  send_scroll(h, vertical, code, (code == TB_THUMBTRACK || code == TB_THUMBPOSITION) ? pos : 0);
}

}  // namespace

LRESULT trackbar_proc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* d = data_or_create<TrackData>(h);
  if (!d) return 0;
  switch (message) {
    case TBM_GETPOS: return d->pos;
    case TBM_SETPOS:
    case TBM_SETPOSNOTIFY:
      d->pos = std::clamp(static_cast<INT>(lParam), d->min, std::max(d->min, d->max));
      if (message == TBM_SETPOSNOTIFY) track_notify(h, TB_THUMBPOSITION, d->pos);
      return 0;
    case TBM_SETRANGE:
      d->min = static_cast<SHORT>(LOWORD(lParam));
      d->max = static_cast<SHORT>(HIWORD(lParam));
      d->pos = std::clamp(d->pos, d->min, std::max(d->min, d->max));
      return 0;
    case TBM_SETRANGEMIN:
    case TBM_SETRANGEMAX:
      (message == TBM_SETRANGEMIN ? d->min : d->max) = static_cast<INT>(lParam);
      d->pos = std::clamp(d->pos, d->min, std::max(d->min, d->max));
      return 0;
    case TBM_GETRANGEMIN: return d->min;
    case TBM_GETRANGEMAX: return d->max;
    case TBM_SETTICFREQ: d->tic_freq = static_cast<INT>(wParam); return 0;
    case TBM_SETTIC: d->tics.push_back(static_cast<INT>(lParam)); return TRUE;
    case TBM_CLEARTICS: d->tics.clear(); return 0;
    case TBM_SETPAGESIZE: {
      INT old = d->page;
      d->page = static_cast<INT>(lParam);
      return old;
    }
    case TBM_GETPAGESIZE: return d->page;
    case TBM_SETLINESIZE: {
      INT old = d->line;
      d->line = static_cast<INT>(lParam);
      return old;
    }
    case TBM_GETLINESIZE: return d->line;
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_LBUTTONDOWN: SetFocus(h); return 0;
    case kTrackbarDrag: {
      INT target = std::clamp(static_cast<INT>(wParam), d->min, std::max(d->min, d->max));
      SetFocus(h);
      for (;;) {
        d = data<TrackData>(h);
        if (!d || d->pos == target) break;
        d->pos += d->pos < target ? 1 : -1;
        track_notify(h, TB_THUMBTRACK, d->pos);
      }
      if (!(d = data<TrackData>(h))) return 0;
      track_notify(h, TB_THUMBPOSITION, d->pos);
      track_notify(h, TB_ENDTRACK, 0);
      return 0;
    }
    case WM_KEYDOWN: {
      UINT code;
      INT next = d->pos;
      switch (wParam) {
        case VK_LEFT:
        case VK_UP: code = TB_LINEUP; next -= d->line; break;
        case VK_RIGHT:
        case VK_DOWN: code = TB_LINEDOWN; next += d->line; break;
        case VK_PRIOR: code = TB_PAGEUP; next -= d->page; break;
        case VK_NEXT: code = TB_PAGEDOWN; next += d->page; break;
        case VK_HOME: code = TB_TOP; next = d->min; break;
        case VK_END: code = TB_BOTTOM; next = d->max; break;
        default: return DefWindowProcW(h, message, wParam, lParam);
      }
      d->pos = std::clamp(next, d->min, std::max(d->min, d->max));
      track_notify(h, code, d->pos);
      track_notify(h, TB_ENDTRACK, 0);
      return 0;
    }
    default: return DefWindowProcW(h, message, wParam, lParam);
  }
}

}  // namespace morva::platform::win

using namespace morva::platform::win;

extern "C" {

// SB_CTL goes to the scroll bar control; SB_HORZ and SB_VERT are the
// window's own bars, kept with the window.
INT SetScrollPos(HWND window, INT bar, INT pos, BOOL redraw) {
  if (bar == SB_CTL) return static_cast<INT>(SendMessageW(window, SBM_SETPOS, static_cast<WPARAM>(pos), redraw));
  Window* w = find(window);
  if (!w || bar < 0 || bar > 1) return 0;
  INT old = w->scroll_pos[bar];
  w->scroll_pos[bar] = std::clamp(pos, w->scroll_min[bar], std::max(w->scroll_min[bar], w->scroll_max[bar]));
  return old;
}

INT GetScrollPos(HWND window, INT bar) {
  if (bar == SB_CTL) return static_cast<INT>(SendMessageW(window, SBM_GETPOS, 0, 0));
  Window* w = find(window);
  return w && bar >= 0 && bar <= 1 ? w->scroll_pos[bar] : 0;
}

BOOL SetScrollRange(HWND window, INT bar, INT min, INT max, BOOL) {
  if (bar == SB_CTL) {
    if (!find(window)) return FALSE;
    SendMessageW(window, SBM_SETRANGE, static_cast<WPARAM>(min), max);
    return TRUE;
  }
  Window* w = find(window);
  if (!w || bar < 0 || bar > 1) return FALSE;
  w->scroll_min[bar] = min;
  w->scroll_max[bar] = max;
  w->scroll_pos[bar] = std::clamp(w->scroll_pos[bar], min, std::max(min, max));
  return TRUE;
}

BOOL GetScrollRange(HWND window, INT bar, INT* min, INT* max) {
  if (bar == SB_CTL) {
    if (!find(window)) return FALSE;
    SendMessageW(window, SBM_GETRANGE, reinterpret_cast<WPARAM>(min), reinterpret_cast<LPARAM>(max));
    return TRUE;
  }
  Window* w = find(window);
  if (!w || bar < 0 || bar > 1) return FALSE;
  if (min) *min = w->scroll_min[bar];
  if (max) *max = w->scroll_max[bar];
  return TRUE;
}

INT SetScrollInfo(HWND window, INT bar, const SCROLLINFO* info, BOOL redraw) {
  if (bar == SB_CTL) return static_cast<INT>(SendMessageW(window, SBM_SETSCROLLINFO, redraw, reinterpret_cast<LPARAM>(info)));
  Window* w = find(window);
  if (!w || !info || bar < 0 || bar > 1) return 0;
  if (info->fMask & SIF_RANGE) {
    w->scroll_min[bar] = info->nMin;
    w->scroll_max[bar] = info->nMax;
  }
  if (info->fMask & SIF_PAGE) w->scroll_page[bar] = info->nPage;
  if (info->fMask & SIF_POS) w->scroll_pos[bar] = info->nPos;
  w->scroll_pos[bar] = clamp_scroll(w->scroll_pos[bar], w->scroll_min[bar], w->scroll_max[bar], w->scroll_page[bar]);
  return w->scroll_pos[bar];
}

BOOL GetScrollInfo(HWND window, INT bar, LPSCROLLINFO info) {
  if (bar == SB_CTL) return static_cast<BOOL>(SendMessageW(window, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(info)));
  Window* w = find(window);
  if (!w || !info || bar < 0 || bar > 1) return FALSE;
  if (info->fMask & SIF_RANGE) {
    info->nMin = w->scroll_min[bar];
    info->nMax = w->scroll_max[bar];
  }
  if (info->fMask & SIF_PAGE) info->nPage = w->scroll_page[bar];
  if (info->fMask & (SIF_POS | SIF_TRACKPOS)) info->nPos = info->nTrackPos = w->scroll_pos[bar];
  return TRUE;
}

}  // extern "C"
