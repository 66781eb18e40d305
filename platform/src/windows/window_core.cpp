// The window system's core: classes, windows and their procedures, the
// posted queue and the virtual clock of timers, focus, show and enable,
// text, rectangles, cursors, metrics and colours.
//
// Rules kept from the real platform:
// - SendMessageW calls the procedure at once; PostMessageW queues, and the
//   queue is drained by PeekMessageW/GetMessageW + DispatchMessageW or by
//   ui::pump. WM_TIMER is made only when the queue holds nothing else.
// - Focus: the focus has already moved when WM_KILLFOCUS reaches the old
//   window (wParam = the new one); WM_SETFOCUS follows to the new window
//   (wParam = the old one). A focused window that is disabled, hidden with
//   its dialog or destroyed loses the focus.
// - DestroyWindow sends WM_DESTROY to the window before its children and
//   WM_NCDESTROY to the children before the window; timers and properties
//   go with it.
// - DefWindowProcW passes WM_HELP and WM_CONTEXTMENU of a child window on to
//   its parent, and F1 on a window becomes WM_HELP for it.
// - Windows here have no frame or caption: the client area is the window.
// - A destroyed window's record stays readable until the outermost message
//   call returns, so a procedure that ends its own window (a click that
//   closes the dialog) never touches freed state.
#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <unordered_map>

#include "win/errors.h"
#include "win/modules.h"
#include "win/resources.h"
#include "win/strings.h"
#include "win/ui_driver.h"
#include "windows/window_internal.h"

namespace morva::platform::win {
namespace {

struct Timer {
  HWND window;
  UINT_PTR id;
  UINT elapse;
  TIMERPROC proc;
  DWORD due;
};

struct State {
  std::map<std::u16string, std::unique_ptr<WindowClass>> classes;  // by lower-case name
  std::map<ATOM, std::u16string> atoms;
  ATOM next_atom = 0xC000;
  std::unordered_map<HWND, std::unique_ptr<Window>> windows;
  std::vector<HWND> top_levels;  // creation order
  std::vector<std::unique_ptr<Window>> graveyard;
  UINT_PTR next_handle = 0x10020;
  std::deque<MSG> queue;
  HWND focus = nullptr;
  HWND active = nullptr;
  std::vector<Timer> timers;
  UINT_PTR next_timer_id = 0x7FF0;
  DWORD clock = 0;
  HCURSOR cursor = nullptr;
  POINT cursor_pos{0, 0};
  int depth = 0;
  int send_depth = 0;
  std::function<void(const ui::Delivered&)> tracer;
  bool keys[256] = {};
};

State& st() {
  static State* s = new State;  // lives as long as the process: windows may outlive static destructors
  return *s;
}

std::u16string class_key(LPCWSTR name) {
  if (!name) return {};
  if (IS_INTRESOURCE(name)) {
    auto it = st().atoms.find(static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name)));
    return it == st().atoms.end() ? std::u16string() : it->second;
  }
  return u16_to_lower(u16view(name));
}

void bury(std::unique_ptr<Window> w) {
  st().graveyard.push_back(std::move(w));
}

void leave_call() {
  if (--st().depth == 0) st().graveyard.clear();
}

void trace(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto& t = st().tracer;
  if (!t) return;
  UINT code = 0;
  if (message == WM_COMMAND) code = HIWORD(wParam);
  if (message == WM_NOTIFY && lParam) code = reinterpret_cast<const NMHDR*>(lParam)->code;
  t(ui::Delivered{window, message, wParam, lParam, code});
}

POINT origin(HWND window) {
  POINT p{0, 0};
  for (Window* w = find(window); w; w = find(w->parent)) {
    p.x += w->rect.left;
    p.y += w->rect.top;
    if (!(w->style & WS_CHILD)) break;
  }
  return p;
}

bool contains(HWND ancestor, HWND window) {
  for (Window* w = find(window); w; w = find(w->parent))
    if (w->handle == ancestor) return true;
  return false;
}

// Default metrics of a 96-dpi screen with the classic look.
struct Metric {
  INT index;
  INT value;
};
constexpr Metric kMetrics[] = {
    {SM_CXSCREEN, 1280}, {SM_CYSCREEN, 1024}, {SM_CXVSCROLL, 17}, {SM_CYHSCROLL, 17}, {SM_CYCAPTION, 23},
    {SM_CXBORDER, 1},    {SM_CYBORDER, 1},    {SM_CXDLGFRAME, 3}, {SM_CYDLGFRAME, 3}, {SM_CXICON, 32},
    {SM_CYICON, 32},     {SM_CXCURSOR, 32},   {SM_CYCURSOR, 32},  {SM_CYMENU, 20},    {SM_CXDOUBLECLK, 4},
    {SM_CYDOUBLECLK, 4}, {SM_CXEDGE, 2},      {SM_CYEDGE, 2},     {SM_CXSMICON, 16},  {SM_CYSMICON, 16},
    {SM_CXMENUCHECK, 13}, {SM_CYMENUCHECK, 13},
};

// The classic colour scheme, indexed by COLOR_ value.
constexpr COLORREF kSysColors[] = {
    RGB(212, 208, 200), RGB(58, 110, 165),  RGB(10, 36, 106),   RGB(128, 128, 128), RGB(212, 208, 200),
    RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(255, 255, 255),
    RGB(212, 208, 200), RGB(212, 208, 200), RGB(128, 128, 128), RGB(10, 36, 106),   RGB(255, 255, 255),
    RGB(212, 208, 200), RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(212, 208, 200),
    RGB(255, 255, 255), RGB(64, 64, 64),    RGB(212, 208, 200), RGB(0, 0, 0),       RGB(255, 255, 225),
    RGB(181, 181, 181), RGB(0, 0, 128),     RGB(166, 202, 240), RGB(192, 192, 192), RGB(49, 106, 197),
    RGB(236, 233, 216),
};

bool take_message(MSG* msg, HWND window, UINT first, UINT last, bool remove) {
  auto& q = st().queue;
  for (auto it = q.begin(); it != q.end(); ++it) {
    bool window_ok = !window || it->hwnd == window || (window != reinterpret_cast<HWND>(-1) && contains(window, it->hwnd));
    if (window == reinterpret_cast<HWND>(-1)) window_ok = it->hwnd == nullptr;
    bool range_ok = (first == 0 && last == 0) || (it->message >= first && it->message <= last);
    if (!window_ok || !range_ok) continue;
    if (msg) *msg = *it;
    if (remove) q.erase(it);
    return true;
  }
  // Nothing queued: a due timer makes a WM_TIMER.
  if ((first == 0 && last == 0) || (WM_TIMER >= first && WM_TIMER <= last)) {
    for (Timer& t : st().timers) {
      if (t.due > st().clock) continue;
      if (window && t.window != window) continue;
      if (msg) *msg = MSG{t.window, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc), st().clock, st().cursor_pos};
      if (remove) t.due = st().clock + t.elapse;
      return true;
    }
  }
  return false;
}

}  // namespace

Window* find(HWND window) {
  if (!window) return nullptr;
  auto it = st().windows.find(window);
  return it == st().windows.end() ? nullptr : it->second.get();
}

bool is_class(HWND window, const char16_t* class_name) {
  Window* w = find(window);
  return w && w->cls && u16_iequal(w->cls->name, class_name);
}

Window* find_class_window(HWND window, const char16_t* class_name) {
  return is_class(window, class_name) ? find(window) : nullptr;
}

void register_system_class(const char16_t* name, WNDPROC proc, UINT style) {
  auto key = u16_to_lower(name);
  if (st().classes.count(key)) return;
  auto c = std::make_unique<WindowClass>();
  c->name = name;
  c->proc = proc;
  c->style = style;
  c->system = true;
  st().classes[key] = std::move(c);
}

HWND top_level(HWND window) {
  Window* w = find(window);
  while (w && (w->style & WS_CHILD) && find(w->parent)) w = find(w->parent);
  return w ? w->handle : nullptr;
}

INT scale(INT value, INT num, INT den) {
  if (den == 0) return -1;
  long long p = static_cast<long long>(value) * num;
  long long half = (den < 0 ? -den : den) / 2;
  long long r = (p >= 0) == (den > 0) ? (p + (p >= 0 ? half : -half)) / den : (p + (p >= 0 ? half : -half)) / den;
  return static_cast<INT>(r);
}

LRESULT notify_command(HWND control, UINT code) {
  Window* w = find(control);
  if (!w || !w->parent) return 0;
  return SendMessageW(w->parent, WM_COMMAND, MAKEWPARAM(w->id, code), reinterpret_cast<LPARAM>(control));
}

LRESULT notify_parent(HWND control, NMHDR* header, UINT code) {
  Window* w = find(control);
  if (!w || !w->parent) return 0;
  header->hwndFrom = control;
  header->idFrom = static_cast<UINT_PTR>(w->id);
  header->code = code;
  return SendMessageW(w->parent, WM_NOTIFY, static_cast<WPARAM>(w->id), reinterpret_cast<LPARAM>(header));
}

LRESULT copy_text_out(const std::u16string& text, WPARAM size, LPARAM buffer) {
  auto* out = reinterpret_cast<LPWSTR>(buffer);
  if (!out || size == 0) return 0;
  std::size_t n = std::min<std::size_t>(text.size(), size - 1);
  std::memcpy(out, text.data(), n * sizeof(WCHAR));
  out[n] = 0;
  return static_cast<LRESULT>(n);
}

std::u16string text_of(LPCWSTR text) {
  if (!text || IS_INTRESOURCE(text)) return {};
  return std::u16string(u16view(text));
}

void set_key_state(UINT vk, bool down) { st().keys[vk & 0xFF] = down; }

}  // namespace morva::platform::win

using namespace morva;
using namespace morva::platform::win;

extern "C" {

ATOM RegisterClassExW(const WNDCLASSEXW* wc) {
  ensure_system_classes();
  if (!wc || !wc->lpszClassName || !wc->lpfnWndProc || wc->cbWndExtra < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto key = class_key(wc->lpszClassName);
  if (st().classes.count(key) && !st().classes[key]->system) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  auto c = std::make_unique<WindowClass>();
  c->name = text_of(wc->lpszClassName);
  c->style = wc->style;
  c->proc = wc->lpfnWndProc;
  c->wnd_extra = wc->cbWndExtra;
  c->instance = wc->hInstance;
  c->cursor = wc->hCursor;
  c->background = wc->hbrBackground;
  st().classes[key] = std::move(c);
  ATOM atom = st().next_atom++;
  st().atoms[atom] = key;
  return atom;
}

BOOL UnregisterClassW(LPCWSTR name, HINSTANCE) {
  auto key = class_key(name);
  auto it = st().classes.find(key);
  if (it == st().classes.end() || it->second->system) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  for (auto& [h, w] : st().windows)
    if (w->cls == it->second.get()) return FALSE;  // still in use
  st().classes.erase(it);
  return TRUE;
}

BOOL GetClassInfoExW(HINSTANCE, LPCWSTR name, WNDCLASSEXW* out) {
  ensure_system_classes();
  auto it = st().classes.find(class_key(name));
  if (it == st().classes.end() || !out) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  const WindowClass& c = *it->second;
  out->style = c.style;
  out->lpfnWndProc = c.proc;
  out->cbClsExtra = 0;
  out->cbWndExtra = c.wnd_extra;
  out->hInstance = c.instance;
  out->hIcon = nullptr;
  out->hCursor = c.cursor;
  out->hbrBackground = c.background;
  out->lpszMenuName = nullptr;
  out->lpszClassName = name;
  out->hIconSm = nullptr;
  return TRUE;
}

INT GetClassNameW(HWND window, LPWSTR buffer, INT size) {
  Window* w = find(window);
  if (!w || size <= 0) return 0;
  return static_cast<INT>(copy_text_out(w->cls->name, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

HWND CreateWindowExW(DWORD ex_style, LPCWSTR class_name, LPCWSTR title, DWORD style, INT x, INT y, INT cx, INT cy,
                     HWND parent, HMENU menu_or_id, HINSTANCE instance, LPVOID param) {
  ensure_system_classes();
  auto it = st().classes.find(class_key(class_name));
  if (it == st().classes.end()) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  if (parent && !find(parent)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if ((style & WS_CHILD) && !parent) {
    SetLastError(ERROR_TLW_WITH_WSCHILD);
    return nullptr;
  }
  auto w = std::make_unique<Window>();
  HWND h = reinterpret_cast<HWND>(st().next_handle);
  st().next_handle += 4;
  w->handle = h;
  w->cls = it->second.get();
  w->proc = w->cls->proc;
  w->style = style;
  w->ex_style = ex_style;
  if (style & WS_CHILD) {
    w->parent = parent;
    w->id = static_cast<LONG_PTR>(reinterpret_cast<ULONG_PTR>(menu_or_id));
  } else {
    w->owner = parent ? top_level(parent) : nullptr;
  }
  if (x == CW_USEDEFAULT) x = y = 0;
  if (cx == CW_USEDEFAULT) cx = cy = 0;
  w->rect = RECT{x, y, x + std::max(cx, 0), y + std::max(cy, 0)};
  w->instance = instance;
  w->extra.assign(static_cast<std::size_t>(w->cls->wnd_extra), 0);
  st().windows[h] = std::move(w);
  if (style & WS_CHILD)
    find(parent)->children.push_back(h);
  else
    st().top_levels.push_back(h);

  CREATESTRUCTW cs{param, instance, menu_or_id, parent, cy, cx, y, x, static_cast<LONG>(style), title, class_name, ex_style};
  ++st().depth;
  bool ok = SendMessageW(h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) != 0 && find(h) &&
            SendMessageW(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) != -1;
  leave_call();
  if (!ok) {
    if (find(h)) DestroyWindow(h);
    return nullptr;
  }
  if (!(style & WS_CHILD) && (style & WS_VISIBLE)) st().active = h;
  return find(h) ? h : nullptr;
}

BOOL DestroyWindow(HWND window) {
  Window* w = find(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (w->destroying) return TRUE;
  w->destroying = true;
  ++st().depth;
  // Owned top-level windows go first.
  std::vector<HWND> owned;
  for (HWND t : st().top_levels)
    if (Window* o = find(t); o && o->owner == window) owned.push_back(t);
  for (HWND o : owned) DestroyWindow(o);
  if (st().focus && contains(window, st().focus)) st().focus = nullptr;
  std::function<void(HWND)> destroy_tree = [&](HWND h) {
    SendMessageW(h, WM_DESTROY, 0, 0);
    Window* x = find(h);
    if (!x) return;
    std::vector<HWND> kids = x->children;
    for (HWND k : kids) {
      if (Window* kw = find(k)) kw->destroying = true;
      destroy_tree(k);
    }
  };
  destroy_tree(window);
  std::function<void(HWND)> remove_tree = [&](HWND h) {
    Window* x = find(h);
    if (!x) return;
    std::vector<HWND> kids = x->children;
    for (HWND k : kids) remove_tree(k);
    SendMessageW(h, WM_NCDESTROY, 0, 0);
    auto& timers = st().timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.window == h; }), timers.end());
    auto node = st().windows.find(h);
    if (node == st().windows.end()) return;
    std::unique_ptr<Window> dead = std::move(node->second);
    st().windows.erase(node);
    if (Window* p = find(dead->parent)) std::erase(p->children, h);
    std::erase(st().top_levels, h);
    bury(std::move(dead));
  };
  HWND owner = w->owner;
  bool was_active = st().active == window;
  remove_tree(window);
  // Posted messages for the dead windows are dropped.
  std::erase_if(st().queue, [](const MSG& m) { return m.hwnd && !find(m.hwnd); });
  if (was_active) {
    st().active = owner;
    if (Window* o = find(owner); o && o->saved_focus && find(o->saved_focus)) SetFocus(o->saved_focus);
  }
  leave_call();
  return TRUE;
}

BOOL IsWindow(HWND window) { return find(window) ? TRUE : FALSE; }

HWND GetParent(HWND window) {
  Window* w = find(window);
  if (!w) return nullptr;
  return (w->style & WS_CHILD) ? w->parent : w->owner;
}

HWND SetParent(HWND child, HWND parent) {
  Window* w = find(child);
  if (!w || (parent && !find(parent))) return nullptr;
  HWND old = w->parent;
  if (Window* p = find(old)) std::erase(p->children, child);
  w->parent = parent;
  if (Window* p = find(parent)) p->children.push_back(child);
  return old;
}

HWND GetAncestor(HWND window, UINT flags) {
  Window* w = find(window);
  if (!w) return nullptr;
  if (flags == GA_PARENT) return (w->style & WS_CHILD) ? w->parent : GetDesktopWindow();
  return top_level(window);
}

HWND GetWindow(HWND window, UINT relation) {
  Window* w = find(window);
  if (!w) return nullptr;
  if (relation == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
  if (relation == GW_OWNER) return w->owner;
  const std::vector<HWND>* siblings = &st().top_levels;
  if (Window* p = find(w->parent); p && (w->style & WS_CHILD)) siblings = &p->children;
  auto it = std::find(siblings->begin(), siblings->end(), window);
  if (it == siblings->end()) return nullptr;
  switch (relation) {
    case GW_HWNDFIRST: return siblings->front();
    case GW_HWNDLAST: return siblings->back();
    case GW_HWNDNEXT: return it + 1 == siblings->end() ? nullptr : *(it + 1);
    case GW_HWNDPREV: return it == siblings->begin() ? nullptr : *(it - 1);
    default: return nullptr;
  }
}

BOOL IsChild(HWND parent, HWND window) { return window != parent && contains(parent, window) ? TRUE : FALSE; }

HWND GetDesktopWindow() { return reinterpret_cast<HWND>(0x10010); }
HWND GetActiveWindow() { return find(st().active) ? st().active : nullptr; }
HWND SetActiveWindow(HWND window) {
  HWND old = GetActiveWindow();
  if (find(window)) st().active = top_level(window);
  return old;
}
HWND GetForegroundWindow() { return GetActiveWindow(); }
BOOL SetForegroundWindow(HWND window) { return SetActiveWindow(window) || find(window) ? TRUE : FALSE; }

HWND FindWindowW(LPCWSTR class_name, LPCWSTR title) {
  for (auto it = st().top_levels.rbegin(); it != st().top_levels.rend(); ++it) {
    Window* w = find(*it);
    if (!w) continue;
    if (class_name && !u16_iequal(w->cls->name, class_key(class_name)) && class_key(class_name) != u16_to_lower(w->cls->name))
      continue;
    if (title && w->text != u16view(title)) continue;
    return *it;
  }
  return nullptr;
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = find(window);
  if (!w) return 0;
  switch (message) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      if (cs) w->text = text_of(cs->lpszName);
      return TRUE;
    }
    case WM_SETTEXT:
      w->text = text_of(reinterpret_cast<LPCWSTR>(lParam));
      return TRUE;
    case WM_GETTEXT: return copy_text_out(w->text, wParam, lParam);
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w->text.size());
    case WM_SETFONT: w->font = reinterpret_cast<HFONT>(wParam); return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(w->font);
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_ERASEBKGND:
    case WM_PAINT: return paint_standard(window, message, wParam) ? 1 : 0;
    case WM_HELP:
    case WM_CONTEXTMENU:
      if ((w->style & WS_CHILD) && w->parent) return SendMessageW(w->parent, message, wParam, lParam);
      if (message == WM_HELP && w->owner) return SendMessageW(w->owner, message, wParam, lParam);
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_F1) {
        HELPINFO hi{sizeof(HELPINFO), HELPINFO_WINDOW, static_cast<INT>(w->id), window, 0, st().cursor_pos};
        SendMessageW(window, WM_HELP, 0, reinterpret_cast<LPARAM>(&hi));
      }
      return 0;
    case WM_WINDOWPOSCHANGED: {
      auto* wp = reinterpret_cast<const WINDOWPOS*>(lParam);
      if (wp && !(wp->flags & SWP_NOMOVE)) SendMessageW(window, WM_MOVE, 0, MAKELPARAM(wp->x, wp->y));
      if (wp && !(wp->flags & SWP_NOSIZE)) SendMessageW(window, WM_SIZE, 0, MAKELPARAM(wp->cx, wp->cy));
      return 0;
    }
    default: return 0;
  }
}

LRESULT CallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!proc) return 0;
  ++st().depth;
  LRESULT r = proc(window, message, wParam, lParam);
  leave_call();
  return r;
}

LONG_PTR GetWindowLongPtrW(HWND window, INT index) {
  Window* w = find(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(GetParent(window));
    case GWLP_ID: return w->id;
    case GWL_STYLE: return static_cast<LONG_PTR>(static_cast<LONG>(w->style));
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(static_cast<LONG>(w->ex_style));
    case GWLP_USERDATA: return w->user_data;
    default: break;
  }
  if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > w->extra.size()) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  LONG_PTR v;
  std::memcpy(&v, w->extra.data() + index, sizeof v);
  return v;
}

LONG_PTR SetWindowLongPtrW(HWND window, INT index, LONG_PTR value) {
  Window* w = find(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LONG_PTR old = GetWindowLongPtrW(window, index);
  switch (index) {
    case GWLP_WNDPROC: w->proc = reinterpret_cast<WNDPROC>(value); return old;
    case GWLP_HINSTANCE: w->instance = reinterpret_cast<HINSTANCE>(value); return old;
    case GWLP_HWNDPARENT: w->owner = reinterpret_cast<HWND>(value); return old;
    case GWLP_ID: w->id = value; return old;
    case GWL_STYLE: w->style = static_cast<DWORD>(value); return old;
    case GWL_EXSTYLE: w->ex_style = static_cast<DWORD>(value); return old;
    case GWLP_USERDATA: w->user_data = value; return old;
    default: break;
  }
  if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > w->extra.size()) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  std::memcpy(w->extra.data() + index, &value, sizeof value);
  return old;
}

LONG GetWindowLongW(HWND window, INT index) { return static_cast<LONG>(GetWindowLongPtrW(window, index)); }
LONG SetWindowLongW(HWND window, INT index, LONG value) {
  return static_cast<LONG>(SetWindowLongPtrW(window, index, value));
}

BOOL SetPropW(HWND window, LPCWSTR name, HANDLE data) {
  Window* w = find(window);
  if (!w || !name) return FALSE;
  std::u16string key = IS_INTRESOURCE(name) ? u"#" + utf8_to_u16(std::to_string(reinterpret_cast<ULONG_PTR>(name)))
                                            : u16_to_lower(u16view(name));
  w->props[key] = data;
  return TRUE;
}

static std::u16string prop_key(LPCWSTR name) {
  return IS_INTRESOURCE(name) ? u"#" + utf8_to_u16(std::to_string(reinterpret_cast<ULONG_PTR>(name)))
                              : u16_to_lower(u16view(name));
}

HANDLE GetPropW(HWND window, LPCWSTR name) {
  Window* w = find(window);
  if (!w || !name) return nullptr;
  auto it = w->props.find(prop_key(name));
  return it == w->props.end() ? nullptr : it->second;
}

HANDLE RemovePropW(HWND window, LPCWSTR name) {
  Window* w = find(window);
  if (!w || !name) return nullptr;
  auto it = w->props.find(prop_key(name));
  if (it == w->props.end()) return nullptr;
  HANDLE h = it->second;
  w->props.erase(it);
  return h;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = find(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  trace(window, message, wParam, lParam);
  WNDPROC proc = w->proc;
  ++st().depth;
  ++st().send_depth;
  LRESULT r = proc ? proc(window, message, wParam, lParam) : 0;
  --st().send_depth;
  leave_call();
  return r;
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window && !find(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  st().queue.push_back(MSG{window, message, wParam, lParam, st().clock, st().cursor_pos});
  return TRUE;
}

void PostQuitMessage(INT exit_code) {
  st().queue.push_back(MSG{nullptr, 0x0012 /* WM_QUIT */, static_cast<WPARAM>(exit_code), 0, st().clock, st().cursor_pos});
}

BOOL PeekMessageW(LPMSG msg, HWND window, UINT first, UINT last, UINT remove) {
  return take_message(msg, window, first, last, (remove & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL GetMessageW(LPMSG msg, HWND window, UINT first, UINT last) {
  if (!msg) return -1;
  if (!take_message(msg, window, first, last, true)) {
    *msg = MSG{nullptr, 0x0012, 0, 0, st().clock, st().cursor_pos};
    return FALSE;
  }
  return msg->message == 0x0012 ? FALSE : TRUE;
}

BOOL TranslateMessage(const MSG*) {
  // Characters reach the queue as WM_CHAR from the input itself (the
  // driver types them); no key message needs translating.
  return FALSE;
}

LRESULT DispatchMessageW(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
    ++st().depth;
    proc(msg->hwnd, WM_TIMER, msg->wParam, st().clock);
    leave_call();
    return 0;
  }
  Window* w = find(msg->hwnd);
  if (!w) return 0;
  trace(msg->hwnd, msg->message, msg->wParam, msg->lParam);
  return CallWindowProcW(w->proc, msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL InSendMessage() { return FALSE; }

namespace {

// Shows or hides the window (WM_SHOWWINDOW when that changes it); whether
// it changed.
bool set_visible(HWND window, Window* w, INT command) {
  bool was = (w->style & WS_VISIBLE) != 0;
  bool show = command != SW_HIDE;
  if (show != was) {
    if (show)
      w->style |= WS_VISIBLE;
    else
      w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    SendMessageW(window, WM_SHOWWINDOW, show, 0);
  }
  if (show && !(w->style & WS_CHILD) && command != SW_SHOWNA) st().active = window;
  return show != was;
}

}  // namespace

// A change of visibility also tells the window through WM_WINDOWPOSCHANGED
// with SWP_SHOWWINDOW or SWP_HIDEWINDOW, as the real platform does.
BOOL ShowWindow(HWND window, INT command) {
  Window* w = find(window);
  if (!w) return FALSE;
  bool was = (w->style & WS_VISIBLE) != 0;
  if (set_visible(window, w, command) && (w = find(window))) {
    const RECT r = w->rect;
    WINDOWPOS wp{window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 static_cast<UINT>(SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | (command != SW_HIDE ? SWP_SHOWWINDOW : SWP_HIDEWINDOW))};
    SendMessageW(window, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
  }
  return was ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND window) {
  Window* w = find(window);
  if (!w) return FALSE;
  for (; w; w = (w->style & WS_CHILD) ? find(w->parent) : nullptr)
    if (!(w->style & WS_VISIBLE)) return FALSE;
  return TRUE;
}

BOOL EnableWindow(HWND window, BOOL enable) {
  Window* w = find(window);
  if (!w) return FALSE;
  bool was_disabled = (w->style & WS_DISABLED) != 0;
  if (was_disabled == !enable) return was_disabled;
  if (enable) {
    w->style &= ~static_cast<DWORD>(WS_DISABLED);
  } else {
    w->style |= WS_DISABLED;
    if (st().focus && contains(window, st().focus)) SetFocus(nullptr);
  }
  SendMessageW(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
  return was_disabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND window) {
  Window* w = find(window);
  return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

HWND SetFocus(HWND window) {
  if (window && !find(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  HWND old = find(st().focus) ? st().focus : nullptr;
  if (old == window) return old;
  st().focus = window;
  if (window) st().active = top_level(window);
  if (old) SendMessageW(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
  if (window && st().focus == window && find(window))
    SendMessageW(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return old;
}

HWND GetFocus() { return find(st().focus) ? st().focus : nullptr; }

SHORT GetKeyState(INT key) { return st().keys[key & 0xFF] ? static_cast<SHORT>(0x8000) : 0; }

BOOL SetWindowTextW(HWND window, LPCWSTR text) {
  return SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

INT GetWindowTextW(HWND window, LPWSTR buffer, INT size) {
  if (!buffer || size <= 0) return 0;
  buffer[0] = 0;
  return static_cast<INT>(SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

INT GetWindowTextLengthW(HWND window) { return static_cast<INT>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)); }

BOOL InvalidateRect(HWND window, const RECT*, BOOL) { return !window || find(window) ? TRUE : FALSE; }
BOOL UpdateWindow(HWND window) { return find(window) ? TRUE : FALSE; }

BOOL GetWindowRect(HWND window, RECT* rect) {
  Window* w = find(window);
  if (!w || !rect) return FALSE;
  POINT o = origin(window);
  *rect = RECT{o.x, o.y, o.x + (w->rect.right - w->rect.left), o.y + (w->rect.bottom - w->rect.top)};
  return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect) {
  Window* w = find(window);
  if (!w || !rect) return FALSE;
  *rect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  return TRUE;
}

BOOL SetWindowPos(HWND window, HWND after, INT x, INT y, INT cx, INT cy, UINT flags) {
  Window* w = find(window);
  if (!w) return FALSE;
  if (!(flags & SWP_NOZORDER)) {
    // The z-order is the order of the siblings, first on top.
    std::vector<HWND>& siblings = (w->style & WS_CHILD) && find(w->parent) ? find(w->parent)->children : st().top_levels;
    if (after != window && (after == HWND_TOP || after == HWND_BOTTOM || std::count(siblings.begin(), siblings.end(), after))) {
      std::erase(siblings, window);
      if (after == HWND_TOP)
        siblings.insert(siblings.begin(), window);
      else if (after == HWND_BOTTOM)
        siblings.push_back(window);
      else
        siblings.insert(std::find(siblings.begin(), siblings.end(), after) + 1, window);
    }
  }
  RECT r = w->rect;
  if (!(flags & SWP_NOMOVE)) {
    r.right += x - r.left;
    r.bottom += y - r.top;
    r.left = x;
    r.top = y;
  }
  if (!(flags & SWP_NOSIZE)) {
    r.right = r.left + std::max(cx, 0);
    r.bottom = r.top + std::max(cy, 0);
  }
  w->rect = r;
  if (flags & SWP_SHOWWINDOW) set_visible(window, w, SW_SHOWNA);
  if ((flags & SWP_HIDEWINDOW) && (w = find(window))) set_visible(window, w, SW_HIDE);
  WINDOWPOS wp{window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, flags};
  SendMessageW(window, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
  return TRUE;
}

BOOL MoveWindow(HWND window, INT x, INT y, INT cx, INT cy, BOOL) {
  return SetWindowPos(window, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL ClientToScreen(HWND window, POINT* point) {
  if (!find(window) || !point) return FALSE;
  POINT o = origin(window);
  point->x += o.x;
  point->y += o.y;
  return TRUE;
}

BOOL ScreenToClient(HWND window, POINT* point) {
  if (!find(window) || !point) return FALSE;
  POINT o = origin(window);
  point->x -= o.x;
  point->y -= o.y;
  return TRUE;
}

INT MapWindowPoints(HWND from, HWND to, POINT* points, UINT count) {
  POINT a = from && find(from) ? origin(from) : POINT{0, 0};
  POINT b = to && find(to) ? origin(to) : POINT{0, 0};
  for (UINT i = 0; i < count; ++i) {
    points[i].x += a.x - b.x;
    points[i].y += a.y - b.y;
  }
  return MAKELONG(a.x - b.x, a.y - b.y);
}

HWND ChildWindowFromPoint(HWND parent, POINT point) {
  Window* w = find(parent);
  if (!w) return nullptr;
  for (HWND c : w->children) {
    Window* cw = find(c);
    if (cw && PtInRect(&cw->rect, point)) return c;
  }
  RECT client;
  GetClientRect(parent, &client);
  return PtInRect(&client, point) ? parent : nullptr;
}

HWND WindowFromPoint(POINT point) {
  for (auto it = st().top_levels.rbegin(); it != st().top_levels.rend(); ++it) {
    if (!IsWindowVisible(*it)) continue;
    RECT r;
    GetWindowRect(*it, &r);
    if (!PtInRect(&r, point)) continue;
    HWND at = *it;
    for (;;) {
      POINT local = point;
      ScreenToClient(at, &local);
      HWND next = nullptr;
      for (HWND c : find(at)->children) {
        Window* cw = find(c);
        if (cw && (cw->style & WS_VISIBLE) && PtInRect(&cw->rect, local)) {
          next = c;
          break;
        }
      }
      if (!next) return at;
      at = next;
    }
  }
  return nullptr;
}

BOOL SetRect(RECT* rect, INT left, INT top, INT right, INT bottom) {
  if (!rect) return FALSE;
  *rect = RECT{left, top, right, bottom};
  return TRUE;
}
BOOL SetRectEmpty(RECT* rect) { return SetRect(rect, 0, 0, 0, 0); }
BOOL IsRectEmpty(const RECT* rect) { return !rect || rect->right <= rect->left || rect->bottom <= rect->top; }
BOOL PtInRect(const RECT* rect, POINT p) {
  return rect && p.x >= rect->left && p.x < rect->right && p.y >= rect->top && p.y < rect->bottom;
}
BOOL OffsetRect(RECT* rect, INT dx, INT dy) {
  if (!rect) return FALSE;
  rect->left += dx;
  rect->right += dx;
  rect->top += dy;
  rect->bottom += dy;
  return TRUE;
}
BOOL InflateRect(RECT* rect, INT dx, INT dy) {
  if (!rect) return FALSE;
  rect->left -= dx;
  rect->right += dx;
  rect->top -= dy;
  rect->bottom += dy;
  return TRUE;
}
BOOL IntersectRect(RECT* out, const RECT* a, const RECT* b) {
  if (!out || !a || !b) return FALSE;
  RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right), std::min(a->bottom, b->bottom)};
  if (IsRectEmpty(&r)) {
    SetRectEmpty(out);
    return FALSE;
  }
  *out = r;
  return TRUE;
}
BOOL UnionRect(RECT* out, const RECT* a, const RECT* b) {
  if (!out || !a || !b) return FALSE;
  if (IsRectEmpty(a)) {
    *out = *b;
  } else if (IsRectEmpty(b)) {
    *out = *a;
  } else {
    *out = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right), std::max(a->bottom, b->bottom)};
  }
  return !IsRectEmpty(out);
}
BOOL EqualRect(const RECT* a, const RECT* b) {
  return a && b && a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}
BOOL CopyRect(RECT* out, const RECT* in) {
  if (!out || !in) return FALSE;
  *out = *in;
  return TRUE;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  if (window && !find(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  elapse = std::clamp<UINT>(elapse, 10, 0x7FFFFFFF);  // the platform's minimum period is 10 ms
  if (!window) id = st().next_timer_id++;
  auto& timers = st().timers;
  auto it = std::find_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.window == window && t.id == id; });
  Timer t{window, id, elapse, proc, st().clock + elapse};
  if (it != timers.end())
    *it = t;
  else
    timers.push_back(t);
  return window ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  auto& timers = st().timers;
  auto n = std::erase_if(timers, [&](const Timer& t) { return t.window == window && t.id == id; });
  // A WM_TIMER already queued for it is withdrawn too.
  std::erase_if(st().queue, [&](const MSG& m) { return m.message == WM_TIMER && m.hwnd == window && m.wParam == id; });
  return n ? TRUE : FALSE;
}

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name) {
  if (instance || !IS_INTRESOURCE(name)) {
    return reinterpret_cast<HCURSOR>(LoadImageW(instance, name, IMAGE_CURSOR, 0, 0, LR_DEFAULTCOLOR));
  }
  WORD id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
  if (id < 32512 || id > 32651) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  // The system's cursors are shared handles that stand for themselves.
  return reinterpret_cast<HCURSOR>(static_cast<ULONG_PTR>(0x00C00000u | id));
}

HCURSOR SetCursor(HCURSOR cursor) {
  HCURSOR old = st().cursor;
  st().cursor = cursor;
  return old;
}
HCURSOR GetCursor() { return st().cursor; }
BOOL GetCursorPos(POINT* point) {
  if (!point) return FALSE;
  *point = st().cursor_pos;
  return TRUE;
}
BOOL SetCursorPos(INT x, INT y) {
  st().cursor_pos = POINT{x, y};
  return TRUE;
}

INT GetSystemMetrics(INT index) {
  for (const Metric& m : kMetrics)
    if (m.index == index) return m.value;
  return 0;
}

DWORD GetSysColor(INT index) {
  if (index < 0 || static_cast<std::size_t>(index) >= std::size(kSysColors)) return 0;
  return kSysColors[index];
}

}  // extern "C"

namespace {
// Code that binds the window queries at run time by module and export
// name (as the fax temporary-file sweep does) finds them under "user32.dll".
const HMODULE g_user32 = morva::platform::register_builtin_module(
    u"user32.dll", {{"IsWindow", morva_proc(&IsWindow)},
                    {"GetParent", morva_proc(&GetParent)},
                    {"GetWindowLongPtrW", morva_proc(&GetWindowLongPtrW)}});
}  // namespace

namespace morva::platform::ui {

int pump() {
  int count = 0;
  MSG m;
  // Bounded: a window that posts to itself for ever would otherwise never end.
  while (count < 100000 && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    ++count;
    if (m.message == 0x0012) continue;  // WM_QUIT: nothing to end here
    HWND dialog = m.hwnd ? dialog_of(m.hwnd) : nullptr;
    if (dialog && IsDialogMessageW(dialog, &m)) continue;
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return count;
}

void advance_time(DWORD milliseconds) {
  DWORD target = st().clock + milliseconds;
  for (;;) {
    pump();
    DWORD next = target;
    bool any = false;
    for (const Timer& t : st().timers)
      if (t.due <= target && (!any || t.due < next)) {
        next = t.due;
        any = true;
      }
    if (!any) break;
    st().clock = std::max(st().clock, next);
    pump();
  }
  st().clock = target;
  pump();
}

DWORD now() { return st().clock; }

void trace_messages(std::function<void(const Delivered&)> tracer) { st().tracer = std::move(tracer); }

void reset_core() {
  for (;;) {
    auto& tl = st().top_levels;
    if (tl.empty()) break;
    HWND h = tl.back();
    if (!DestroyWindow(h)) std::erase(tl, h);
  }
  st().queue.clear();
  st().timers.clear();
  st().focus = nullptr;
  st().active = nullptr;
  st().clock = 0;
  st().tracer = nullptr;
  std::fill(std::begin(st().keys), std::end(st().keys), false);
  if (st().depth == 0) st().graveyard.clear();
}

}  // namespace morva::platform::ui
