// Buttons (push, default push, check, three-state, radio, group box,
// owner-drawn) and static controls (text, icon, bitmap).
//
// Rules kept from the real platform:
// - A click (button down inside, up inside) first gives the button the
//   focus, then updates the check state of automatic buttons (a check box
//   toggles, a three-state box steps unchecked, checked, indeterminate; an
//   automatic radio button is checked and the other automatic radio
//   buttons of its group are unchecked) and only then sends BN_CLICKED.
//   Space pressed and released on a focused button clicks it too.
// - BM_SETCHECK changes the state without any notification; on a radio
//   button it also sets WS_TABSTOP when checked and clears it when not.
// - BN_SETFOCUS / BN_KILLFOCUS are sent only with BS_NOTIFY.
// - BM_CLICK acts as a click of the user's, on an enabled button only.
// - Group boxes never take the focus and send nothing.
// - Static controls with SS_ICON or SS_BITMAP load the image the template
//   names from the dialog's module; STM_SETIMAGE / STM_SETICON answer the
//   previous image; a bitmap static without SS_CENTERIMAGE takes the size
//   of the bitmap it is given, and paints it at its top left (centred with
//   SS_CENTERIMAGE). With SS_NOTIFY a click sends STN_CLICKED.
#include "win/resources.h"
#include "windows/window_internal.h"

namespace morva::platform::win {
namespace {

struct ButtonData : ControlData {
  UINT check = BST_UNCHECKED;
  bool pushed = false;
  bool captured = false;
  HANDLE image = nullptr;
};

struct StaticData : ControlData {
  HANDLE image = nullptr;
};

LONG type_of(HWND button) { return GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK; }

bool is_radio(LONG type) { return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON; }

void set_check(HWND button, UINT check) {
  auto* d = data_or_create<ButtonData>(button);
  LONG type = type_of(button);
  if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_GROUPBOX || type == BS_OWNERDRAW) return;
  if (check == BST_INDETERMINATE && type != BS_3STATE && type != BS_AUTO3STATE) check = BST_CHECKED;
  d->check = check > BST_INDETERMINATE ? BST_CHECKED : check;
  if (is_radio(type)) {
    LONG style = GetWindowLongW(button, GWL_STYLE);
    SetWindowLongW(button, GWL_STYLE, d->check ? style | WS_TABSTOP : style & ~WS_TABSTOP);
  }
}

void click(HWND button) {
  LONG type = type_of(button);
  auto* d = data_or_create<ButtonData>(button);
  switch (type) {
    case BS_AUTOCHECKBOX: set_check(button, d->check ? BST_UNCHECKED : BST_CHECKED); break;
    case BS_AUTO3STATE: set_check(button, (d->check + 1) % 3); break;
    case BS_AUTORADIOBUTTON:
      set_check(button, BST_CHECKED);
      click_radio_in_group(button);
      break;
    default: break;
  }
  notify_command(button, BN_CLICKED);
}

}  // namespace

LRESULT button_proc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* d = data_or_create<ButtonData>(h);
  if (!d) return 0;
  LONG type = type_of(h);
  switch (message) {
    case WM_GETDLGCODE:
      switch (type) {
        case BS_DEFPUSHBUTTON: return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        case BS_PUSHBUTTON:
        case BS_OWNERDRAW: return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON: return DLGC_BUTTON | DLGC_RADIOBUTTON;
        case BS_GROUPBOX: return DLGC_STATIC;
        default: return DLGC_BUTTON;
      }
    case BM_GETCHECK: return d->check;
    case BM_SETCHECK: set_check(h, static_cast<UINT>(wParam)); return 0;
    case BM_GETSTATE:
      return d->check | (d->pushed ? BST_PUSHED : 0) | (GetFocus() == h ? BST_FOCUS : 0);
    case BM_SETSTATE: d->pushed = wParam != 0; return 0;
    case BM_SETSTYLE: {
      LONG style = GetWindowLongW(h, GWL_STYLE);
      SetWindowLongW(h, GWL_STYLE, (style & ~0xFFFF) | static_cast<LONG>(wParam & 0xFFFF));
      return 0;
    }
    case BM_CLICK:
      if (!IsWindowEnabled(h)) return 0;
      SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, 0);
      SendMessageW(h, WM_LBUTTONUP, 0, 0);
      return 0;
    case BM_SETIMAGE: {
      HANDLE old = d->image;
      d->image = reinterpret_cast<HANDLE>(lParam);
      return reinterpret_cast<LRESULT>(old);
    }
    case BM_GETIMAGE: return reinterpret_cast<LRESULT>(d->image);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (type == BS_GROUPBOX) return 0;
      SetFocus(h);
      if (auto* again = data<ButtonData>(h)) {
        again->pushed = true;
        again->captured = true;
      }
      if (message == WM_LBUTTONDBLCLK && (is_radio(type) || type == BS_OWNERDRAW || (GetWindowLongW(h, GWL_STYLE) & BS_NOTIFY)))
        notify_command(h, BN_DOUBLECLICKED);
      return 0;
    case WM_LBUTTONUP:
      if (!d->captured) return 0;
      d->captured = false;
      d->pushed = false;
      click(h);
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_SPACE && type != BS_GROUPBOX) d->pushed = true;
      return DefWindowProcW(h, message, wParam, lParam);
    case WM_KEYUP:
      if (wParam == VK_SPACE && d->pushed) {
        d->pushed = false;
        click(h);
      }
      return 0;
    case WM_SETFOCUS:
      if (GetWindowLongW(h, GWL_STYLE) & BS_NOTIFY) notify_command(h, BN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      d->pushed = false;
      d->captured = false;
      if (GetWindowLongW(h, GWL_STYLE) & BS_NOTIFY) notify_command(h, BN_KILLFOCUS);
      return 0;
    default: return DefWindowProcW(h, message, wParam, lParam);
  }
}

LRESULT static_proc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* d = data_or_create<StaticData>(h);
  if (!d) return 0;
  LONG type = GetWindowLongW(h, GWL_STYLE) & SS_TYPEMASK;
  switch (message) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      if (cs && cs->lpszName && (type == SS_ICON || type == SS_BITMAP)) {
        // The title names the image; an ordinal or a name in the module.
        d->image = type == SS_ICON ? static_cast<HANDLE>(LoadIconW(cs->hInstance, cs->lpszName))
                                   : static_cast<HANDLE>(LoadBitmapW(cs->hInstance, cs->lpszName));
        return TRUE;
      }
      return DefWindowProcW(h, message, wParam, lParam);
    }
    case WM_GETDLGCODE: return DLGC_STATIC;
    case STM_SETICON:
    case STM_SETIMAGE: {
      HANDLE old = d->image;
      d->image = reinterpret_cast<HANDLE>(message == STM_SETICON ? static_cast<LPARAM>(wParam) : lParam);
      // A bitmap static takes the size of its new bitmap, unless it centres
      // the bitmap in its own size.
      BITMAP shape{};
      if (type == SS_BITMAP && message == STM_SETIMAGE && wParam == IMAGE_BITMAP && d->image &&
          !(GetWindowLongW(h, GWL_STYLE) & SS_CENTERIMAGE) &&
          GetObjectW(d->image, sizeof shape, &shape) == static_cast<INT>(sizeof shape))
        SetWindowPos(h, nullptr, 0, 0, shape.bmWidth, shape.bmHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      InvalidateRect(h, nullptr, TRUE);
      return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETICON:
    case STM_GETIMAGE: return reinterpret_cast<LRESULT>(d->image);
    case WM_LBUTTONDOWN:
      if (GetWindowLongW(h, GWL_STYLE) & SS_NOTIFY) notify_command(h, STN_CLICKED);
      return 0;
    case WM_LBUTTONDBLCLK:
      if (GetWindowLongW(h, GWL_STYLE) & SS_NOTIFY) notify_command(h, STN_DBLCLK);
      return 0;
    default: return DefWindowProcW(h, message, wParam, lParam);
  }
}

}  // namespace morva::platform::win
