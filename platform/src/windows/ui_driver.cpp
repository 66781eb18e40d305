// The user's side of the window system for tests and hosts
// (win/ui_driver.h): input as mouse and key messages through the queue,
// and the state of any control read back through its own messages.
#include <algorithm>

#include "win/commdlg.h"
#include "win/msgbox.h"
#include "win/prsht.h"
#include "win/strings.h"
#include "win/ui_driver.h"
#include "windows/window_internal.h"

namespace morva::platform::win {
constexpr UINT kComboPick = 0x7FF0;
constexpr UINT kTrackbarDrag = 0x7FF1;
constexpr UINT kUpDownSpin = 0x7FF2;
constexpr UINT kListViewPick = 0x7FF3;
constexpr UINT kTabPick = 0x7FF4;
}  // namespace morva::platform::win

namespace morva::platform::ui {

void reset_core();
void reset_modal();

namespace {

using namespace morva::platform::win;

// A window the user can reach: shown, and neither it nor a parent disabled.
bool reachable(HWND h) {
  if (!IsWindow(h) || !IsWindowVisible(h)) return false;
  for (HWND at = h; at; at = (GetWindowLongW(at, GWL_STYLE) & WS_CHILD) ? GetParent(at) : nullptr)
    if (!IsWindowEnabled(at)) return false;
  return true;
}

LPARAM centre(HWND h) {
  RECT r;
  GetClientRect(h, &r);
  return MAKELPARAM(r.right / 2, r.bottom / 2);
}

bool is(HWND h, const char16_t* cls) { return is_class(h, cls); }

INT item_count(HWND h) {
  if (is(h, WC_LISTBOXW)) return static_cast<INT>(SendMessageW(h, LB_GETCOUNT, 0, 0));
  if (is(h, WC_COMBOBOXW)) return static_cast<INT>(SendMessageW(h, CB_GETCOUNT, 0, 0));
  if (is(h, WC_TABCONTROLW)) return static_cast<INT>(SendMessageW(h, TCM_GETITEMCOUNT, 0, 0));
  if (is(h, WC_LISTVIEWW)) return static_cast<INT>(SendMessageW(h, LVM_GETITEMCOUNT, 0, 0));
  if (is_sheet_frame(h)) return item_count(sheet_tab(h));
  return 0;
}

INT selection_of(HWND h) {
  if (is(h, WC_LISTBOXW)) return static_cast<INT>(SendMessageW(h, LB_GETCURSEL, 0, 0));
  if (is(h, WC_COMBOBOXW)) return static_cast<INT>(SendMessageW(h, CB_GETCURSEL, 0, 0));
  if (is(h, WC_TABCONTROLW)) return static_cast<INT>(SendMessageW(h, TCM_GETCURSEL, 0, 0));
  if (is(h, WC_LISTVIEWW)) return static_cast<INT>(SendMessageW(h, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (is(h, TRACKBAR_CLASSW)) return static_cast<INT>(SendMessageW(h, TBM_GETPOS, 0, 0));
  if (is(h, UPDOWN_CLASSW)) return static_cast<INT>(SendMessageW(h, UDM_GETPOS32, 0, 0));
  if (is(h, WC_SCROLLBARW)) return static_cast<INT>(SendMessageW(h, SBM_GETPOS, 0, 0));
  if (is_sheet_frame(h)) return selection_of(sheet_tab(h));
  return -1;
}

bool post_and_pump(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  PostMessageW(h, message, wParam, lParam);
  pump();
  return true;
}

void clear_keys() {
  set_key_state(VK_SHIFT, false);
  set_key_state(VK_CONTROL, false);
}

}  // namespace

bool click(HWND control) {
  if (!reachable(control)) return false;
  LPARAM at = centre(control);
  PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(control, WM_LBUTTONUP, 0, at);
  pump();
  return true;
}

bool double_click(HWND control) {
  if (!reachable(control)) return false;
  if (is(control, WC_LISTVIEWW)) {
    INT i = selection_of(control);
    return post_and_pump(control, kListViewPick, static_cast<WPARAM>(std::max(i, 0)), 1);
  }
  LPARAM at = centre(control);
  if (is(control, WC_LISTBOXW)) {
    INT i = std::max(selection_of(control), 0);
    RECT r{};
    SendMessageW(control, LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
    at = MAKELPARAM(1, r.top + 1);
  }
  PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(control, WM_LBUTTONUP, 0, at);
  PostMessageW(control, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  PostMessageW(control, WM_LBUTTONUP, 0, at);
  pump();
  return true;
}

bool click(HWND dialog, INT id) { return click(find(dialog, id)); }

bool focus(HWND control) {
  if (!reachable(control)) return false;
  SetFocus(control);
  pump();
  return GetFocus() == control;
}

bool type(const std::u16string& text) {
  for (char16_t c : text) {
    HWND f = GetFocus();
    if (!f) return false;
    post_and_pump(f, WM_CHAR, c, 1);
  }
  return true;
}

bool enter_text(HWND control, const std::u16string& text) {
  if (!focus(control)) return false;
  if (is(control, WC_COMBOBOXW))
    SendMessageW(control, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
  else
    SendMessageW(control, EM_SETSEL, 0, -1);
  if (text.empty()) return post_and_pump(control, WM_CHAR, VK_BACK, 1);
  return type(text);
}

bool press_key(UINT vk, bool shift, bool control) {
  HWND target = GetFocus();
  if (!target) target = GetActiveWindow();
  if (!target) return false;
  set_key_state(VK_SHIFT, shift);
  set_key_state(VK_CONTROL, control);
  PostMessageW(target, WM_KEYDOWN, vk, 1);
  pump();
  // The key-up goes to whichever window has the focus now.
  HWND up = GetFocus() ? GetFocus() : GetActiveWindow();
  if (up) PostMessageW(up, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
  pump();
  clear_keys();
  return true;
}

bool tab(bool backwards) { return press_key(VK_TAB, backwards); }

bool select(HWND control, INT index) {
  if (!reachable(control) || index < 0 || index >= item_count(control)) return false;
  if (is_sheet_frame(control)) return sheet_select_page(control, index);
  if (is(control, WC_LISTBOXW)) {
    RECT client, item{};
    GetClientRect(control, &client);
    SendMessageW(control, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    if (item.top < 0 || item.bottom > client.bottom) {
      // The user scrolls the row into view first.
      SendMessageW(control, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
      SendMessageW(control, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    }
    LPARAM at = MAKELPARAM(1, item.top + 1);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(control, WM_LBUTTONUP, 0, at);
    pump();
    return true;
  }
  if (is(control, WC_COMBOBOXW)) {
    if (GetFocus() != control) SetFocus(control);
    return post_and_pump(control, kComboPick, static_cast<WPARAM>(index), 0) && selection_of(control) == index;
  }
  if (is(control, WC_LISTVIEWW)) return post_and_pump(control, kListViewPick, static_cast<WPARAM>(index), 0);
  if (is(control, WC_TABCONTROLW)) return post_and_pump(control, kTabPick, static_cast<WPARAM>(index), 0);
  return false;
}

bool select_text(HWND control, const std::u16string& wanted) {
  std::vector<std::u16string> all = items(control);
  auto it = std::find_if(all.begin(), all.end(), [&](const std::u16string& s) { return u16_iequal(s, wanted); });
  return it != all.end() && select(control, static_cast<INT>(it - all.begin()));
}

bool drag_trackbar(HWND trackbar, INT position) {
  if (!reachable(trackbar) || !is(trackbar, TRACKBAR_CLASSW)) return false;
  return post_and_pump(trackbar, kTrackbarDrag, static_cast<WPARAM>(position), 0);
}

bool spin(HWND updown, bool up) {
  if (!reachable(updown) || !is(updown, UPDOWN_CLASSW)) return false;
  return post_and_pump(updown, kUpDownSpin, up ? 1 : 0, 0);
}

std::u16string hover(HWND control) {
  if (!IsWindow(control) || !IsWindowVisible(control)) return {};
  std::u16string t = tooltip_hover(control);
  pump();
  return t;
}

namespace {
bool press_button_or_key(HWND dialog, INT id, UINT vk) {
  if (!IsWindow(dialog)) return false;
  HWND button = GetDlgItem(dialog, id);
  if (button && reachable(button)) return click(button);
  if (button) return false;  // there, but hidden or disabled
  HWND f = GetFocus();
  if (!f || (f != dialog && !IsChild(dialog, f))) SetFocus(dialog);
  return press_key(vk);
}
}  // namespace

bool press_ok(HWND dialog) { return press_button_or_key(dialog, IDOK, VK_RETURN); }
bool press_cancel(HWND dialog) { return press_button_or_key(dialog, IDCANCEL, VK_ESCAPE); }
bool press_apply(HWND sheet) { return click(GetDlgItem(sheet, ID_APPLY_NOW)); }
bool press_help(HWND sheet) { return click(GetDlgItem(sheet, IDHELP)); }

ControlState state(HWND control) {
  ControlState s;
  if (!IsWindow(control)) return s;
  WCHAR name[64];
  GetClassNameW(control, name, 64);
  s.class_name = u16view(name);
  s.text = text(control);
  s.id = GetDlgCtrlID(control);
  if (is(control, WC_BUTTONW)) s.check = static_cast<INT>(SendMessageW(control, BM_GETCHECK, 0, 0));
  s.selection = selection_of(control);
  s.count = item_count(control);
  s.enabled = IsWindowEnabled(control) != 0;
  s.visible = IsWindowVisible(control) != 0;
  s.focused = GetFocus() == control;
  return s;
}

std::u16string text(HWND control) {
  INT n = GetWindowTextLengthW(control);
  std::u16string t(static_cast<std::size_t>(std::max(n, 0)) + 1, u'\0');
  INT got = GetWindowTextW(control, t.data(), n + 1);
  t.resize(static_cast<std::size_t>(std::max(got, 0)));
  return t;
}

std::vector<std::u16string> items(HWND control) {
  std::vector<std::u16string> out;
  INT n = item_count(control);
  if (is_sheet_frame(control)) return items(sheet_tab(control));
  for (INT i = 0; i < n; ++i) {
    std::u16string t(1024, u'\0');
    if (is(control, WC_LISTBOXW) || is(control, WC_COMBOBOXW)) {
      bool lb = is(control, WC_LISTBOXW);
      LRESULT len = SendMessageW(control, lb ? LB_GETTEXTLEN : CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
      t.assign(static_cast<std::size_t>(std::max<LRESULT>(len, 0)) + 4, u'\0');
      SendMessageW(control, lb ? LB_GETTEXT : CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(t.data()));
    } else if (is(control, WC_TABCONTROLW)) {
      TCITEMW item{};
      item.mask = TCIF_TEXT;
      item.pszText = t.data();
      item.cchTextMax = static_cast<INT>(t.size());
      SendMessageW(control, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    } else if (is(control, WC_LISTVIEWW)) {
      LVITEMW item{};
      item.pszText = t.data();
      item.cchTextMax = static_cast<INT>(t.size());
      SendMessageW(control, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
    t.resize(u16len(t.c_str()));
    out.push_back(t);
  }
  return out;
}

HWND find(HWND dialog, INT id) {
  if (HWND h = GetDlgItem(dialog, id)) return h;
  if (is_sheet_frame(dialog))
    if (HWND h = GetDlgItem(sheet_current_page(dialog), id)) return h;
  // Any descendant.
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (HWND h = find(c, id)) return h;
  return nullptr;
}

HWND current_page(HWND sheet) { return sheet_current_page(sheet); }

HWND find_window(const std::u16string& title) { return FindWindowW(nullptr, title.c_str()); }

void reset() {
  reset_core();
  reset_modal();
  reset_common_dialogs();
}

}  // namespace morva::platform::ui
