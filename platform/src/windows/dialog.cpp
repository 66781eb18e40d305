// The dialog manager: dialogs built from RT_DIALOG templates, the default
// dialog procedure, the modal loop with its script, and keyboard handling
// (tab, groups, Enter, Escape) through IsDialogMessageW.
//
// Rules kept from the real platform:
// - Creation: the dialog window, then WM_SETFONT to the dialog (templates
//   with DS_SETFONT), then each control in template order, each followed by
//   WM_SETFONT; owner-drawn list and combo boxes ask WM_MEASUREITEM while
//   they are created, so it comes before WM_INITDIALOG. WM_INITDIALOG gets
//   the first tab stop in wParam; a TRUE answer gives that control the
//   focus. A template with WS_VISIBLE is shown after WM_INITDIALOG.
// - The dialog procedure's TRUE answer makes DefDlgProcW answer
//   DWLP_MSGRESULT, except for WM_INITDIALOG, WM_CTLCOLOR*, WM_COMPAREITEM,
//   WM_VKEYTOITEM and WM_CHARTOITEM, whose answer is the procedure's own.
// - The default button is the first BS_DEFPUSHBUTTON until DM_SETDEFID;
//   Enter clicks the focused push button, else the default button (IDOK
//   when there is none); a disabled default button does nothing. Escape and
//   WM_CLOSE send IDCANCEL (nothing when the Cancel button is disabled).
// - Tab moves among visible, enabled WS_TABSTOP controls in template order,
//   entering child dialogs with WS_EX_CONTROLPARENT (property pages);
//   arrow keys move within a WS_GROUP group and click an automatic radio
//   button they reach. Tabbing into an edit selects all its text.
// - A control that answers WM_GETDLGCODE with DLGC_WANTALLKEYS gets every
//   key itself; DLGC_WANTTAB keeps Tab, DLGC_WANTARROWS the arrows.
// - A modal dialog disables its owner until it ends; EndDialog only marks
//   the dialog, which the modal loop then destroys.
#include <algorithm>
#include <deque>

#include "win/errors.h"
#include "win/msgbox.h"
#include "win/resources.h"
#include "win/dialog_template.h"
#include "win/strings.h"
#include "win/ui_driver.h"
#include "windows/window_internal.h"

namespace morva::platform::win {

LRESULT button_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT edit_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT static_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT listbox_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT combobox_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT scrollbar_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT updown_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT trackbar_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT tooltip_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT listview_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT tabcontrol_proc(HWND, UINT, WPARAM, LPARAM);

namespace {

constexpr const char16_t* kDialogClass = u"#32770";

// Per-dialog state beyond the window's slots.
struct DialogData : ControlData {
  INT def_id = 0;
};

struct ModalState {
  std::deque<ui::ModalScript> scripts;
  ui::ModalScript handler;
  std::vector<ui::ModalRecord> log;
};
ModalState& modal() {
  static ModalState* s = new ModalState;
  return *s;
}

// Fonts handed out by WM_SETFONT: one screen-GDI font per description,
// kept for the life of the process as the system's dialog fonts are.
struct KeptFont {
  FontInfo info;
  HFONT font;
};
std::vector<KeptFont>& fonts() {
  static auto* f = new std::vector<KeptFont>;
  return *f;
}

HFONT font_handle(const FontInfo& info) {
  for (const KeptFont& k : fonts())
    if (k.info.face == info.face && k.info.point_size == info.point_size && k.info.weight == info.weight &&
        k.info.italic == info.italic)
      return k.font;
  LOGFONTW lf{};
  lf.lfHeight = -scale(info.point_size, 96, 72);
  lf.lfWeight = info.weight;
  lf.lfItalic = info.italic ? 1 : 0;
  std::size_t n = std::min<std::size_t>(info.face.size(), LF_FACESIZE - 1);
  std::copy_n(info.face.begin(), n, lf.lfFaceName);
  HFONT font = CreateFontIndirectW(&lf);
  fonts().push_back(KeptFont{info, font});
  return font;
}

const char16_t* ordinal_class(WORD ordinal) {
  switch (ordinal) {
    case 0x80: return WC_BUTTONW;
    case 0x81: return WC_EDITW;
    case 0x82: return WC_STATICW;
    case 0x83: return WC_LISTBOXW;
    case 0x84: return WC_SCROLLBARW;
    case 0x85: return WC_COMBOBOXW;
    default: return nullptr;
  }
}

UINT dlg_code(HWND control, const MSG* msg = nullptr) {
  return static_cast<UINT>(SendMessageW(control, WM_GETDLGCODE, msg ? msg->wParam : 0, reinterpret_cast<LPARAM>(msg)));
}

// The control's own style decides, as the dialog may not be shown yet.
bool can_take_focus(HWND h) {
  Window* w = find(h);
  return w && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED);
}

// Every control of a dialog in template order, descending into child
// dialogs that are control parents (property pages).
void collect_controls(HWND parent, std::vector<HWND>& out) {
  Window* p = find(parent);
  if (!p) return;
  for (HWND c : p->children) {
    Window* w = find(c);
    if (!w) continue;
    if (w->ex_style & WS_EX_CONTROLPARENT) {
      if (can_take_focus(c)) collect_controls(c, out);
    } else {
      out.push_back(c);
    }
  }
}

void set_dialog_focus(HWND control) {
  if (!control) return;
  SetFocus(control);
  if (GetFocus() == control && (dlg_code(control) & DLGC_HASSETSEL)) SendMessageW(control, 0x00B1 /* EM_SETSEL */, 0, -1);
}

HWND default_button(HWND dialog, INT* id_out) {
  LRESULT def = SendMessageW(dialog, DM_GETDEFID, 0, 0);
  INT id = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : IDOK;
  if (id_out) *id_out = id;
  std::vector<HWND> all;
  collect_controls(dialog, all);
  for (HWND c : all)
    if (GetDlgCtrlID(c) == id) return c;
  return nullptr;
}

}  // namespace

void ensure_system_classes() {
  static bool done = false;
  if (done) return;
  done = true;
  register_system_class(kDialogClass, &DefDlgProcW);
  register_system_class(WC_BUTTONW, &button_proc);
  register_system_class(WC_EDITW, &edit_proc);
  register_system_class(WC_STATICW, &static_proc);
  register_system_class(WC_LISTBOXW, &listbox_proc);
  register_system_class(WC_COMBOBOXW, &combobox_proc);
  register_system_class(WC_SCROLLBARW, &scrollbar_proc);
  register_system_class(UPDOWN_CLASSW, &updown_proc);
  register_system_class(TRACKBAR_CLASSW, &trackbar_proc);
  register_system_class(TOOLTIPS_CLASSW, &tooltip_proc);
  register_system_class(WC_LISTVIEWW, &listview_proc);
  register_system_class(WC_TABCONTROLW, &tabcontrol_proc);
  install_window_dcs();
}

HWND create_dialog_window(HINSTANCE instance, DWORD style, DWORD ex_style, const RECT& px, const std::u16string& title,
                          HWND parent, DLGPROC proc, LPARAM) {
  ensure_system_classes();
  // A top-level dialog takes the focus from its owner, which gets it back
  // when the dialog goes.
  if (Window* o = find(top_level(parent)); o && !(style & WS_CHILD)) {
    HWND f = GetFocus();
    if (f && (f == o->handle || IsChild(o->handle, f))) o->saved_focus = f;
  }
  if (style & DS_CONTROL) {
    style &= ~static_cast<DWORD>(WS_CAPTION | WS_SYSMENU);
    ex_style |= WS_EX_CONTROLPARENT;
  }
  HWND h = CreateWindowExW(ex_style, kDialogClass, title.c_str(), style & ~static_cast<DWORD>(WS_VISIBLE), px.left,
                           px.top, px.right - px.left, px.bottom - px.top, parent, nullptr, instance, nullptr);
  if (!h) return nullptr;
  Window* w = find(h);
  w->is_dialog = true;
  w->extra.resize(std::max<std::size_t>(w->extra.size(), DLGWINDOWEXTRA), 0);
  w->data = std::make_unique<DialogData>();
  SetWindowLongPtrW(h, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
  return h;
}

HWND dialog_of(HWND window) {
  HWND found = nullptr;
  for (Window* w = find(window); w; w = (w->style & WS_CHILD) ? find(w->parent) : nullptr) {
    if (w->is_dialog)
      found = w->handle;
    else if (found)
      break;
  }
  return found;
}

void click_radio_in_group(HWND button) {
  Window* b = find(button);
  if (!b || !b->parent) return;
  HWND dialog = b->parent;
  for (HWND other = GetNextDlgGroupItem(dialog, button, FALSE); other && other != button;
       other = GetNextDlgGroupItem(dialog, other, FALSE)) {
    Window* o = find(other);
    if (o && is_class(other, WC_BUTTONW) && (o->style & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
      SendMessageW(other, BM_SETCHECK, BST_UNCHECKED, 0);
  }
  // Group items skip hidden and disabled buttons; uncheck those too.
  Window* p = find(dialog);
  if (!p) return;
  auto it = std::find(p->children.begin(), p->children.end(), button);
  if (it == p->children.end()) return;
  auto start = it;
  while (start != p->children.begin() && !(find(*start) && (find(*start)->style & WS_GROUP))) --start;
  for (auto at = start; at != p->children.end(); ++at) {
    if (at != start && find(*at) && (find(*at)->style & WS_GROUP)) break;
    Window* o = find(*at);
    if (*at != button && o && is_class(*at, WC_BUTTONW) && (o->style & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
      SendMessageW(*at, BM_SETCHECK, BST_UNCHECKED, 0);
  }
}

HFONT dialog_font(const FontInfo& info) { return font_handle(info); }

INT_PTR run_modal(HWND dialog) {
  Window* d = find(dialog);
  if (!d) return -1;
  HWND owner = d->owner;
  bool owner_was_enabled = owner && IsWindowEnabled(owner);
  if (owner_was_enabled) EnableWindow(owner, FALSE);
  ShowWindow(dialog, SW_SHOW);
  ui::pump();

  auto ended = [&] {
    Window* x = find(dialog);
    return !x || x->modal_ended;
  };
  ui::ModalScript script;
  bool scripted = false;
  if (!ended()) {
    if (!modal().scripts.empty()) {
      script = std::move(modal().scripts.front());
      modal().scripts.pop_front();
    } else {
      script = modal().handler;
    }
    if (script) {
      scripted = true;
      script(dialog);
      ui::pump();
    }
  }
  (void)scripted;
  bool forced = false;
  if (!ended()) ui::press_key(VK_ESCAPE);
  if (!ended()) {
    forced = true;
    EndDialog(dialog, IDCANCEL);
  }
  INT_PTR result = -1;
  std::u16string title;
  if (Window* x = find(dialog)) {
    result = x->modal_result;
    title = x->text;
  }
  modal().log.push_back(ui::ModalRecord{title, result, forced});
  if (owner_was_enabled && find(owner)) EnableWindow(owner, TRUE);
  if (find(dialog)) DestroyWindow(dialog);
  if (Window* o = find(owner); o && o->saved_focus && find(o->saved_focus)) {
    SetFocus(o->saved_focus);
    o->saved_focus = nullptr;
  }
  return result;
}

}  // namespace morva::platform::win

using namespace morva;
using namespace morva::platform::win;

namespace {

HWND build_dialog(HINSTANCE instance, const morva::platform::DialogTemplate& t, HWND parent, DLGPROC proc, LPARAM param) {
  FontInfo font;
  INT bx = 8, by = 16;  // the system font's base units
  if (t.has_font) {
    font.face = t.face;
    font.point_size = t.point_size;
    font.weight = t.weight ? t.weight : 400;
    font.italic = t.italic != 0;
    // The character cell of the template's font at 96 dpi: height = em + 2
    // pixels of leading, average width 6/13 of it.
    by = scale(t.point_size, 96, 72) + 2;
    bx = std::max(1, scale(by, 6, 13));
  }
  RECT px{scale(t.x, bx, 4), scale(t.y, by, 8), 0, 0};
  px.right = px.left + scale(t.cx, bx, 4);
  px.bottom = px.top + scale(t.cy, by, 8);
  DWORD style = t.style;
  if (!(style & WS_CHILD) && parent) {
    // A top-level dialog is placed relative to its owner's client area.
    POINT o{0, 0};
    ClientToScreen(parent, &o);
    OffsetRect(&px, o.x, o.y);
  }
  HWND dialog = create_dialog_window(instance, style, t.ex_style, px, t.title, parent, proc, param);
  if (!dialog) return nullptr;
  Window* d = find(dialog);
  d->base_x = bx;
  d->base_y = by;
  HFONT hfont = t.has_font ? font_handle(font) : nullptr;
  if (hfont) SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(hfont), FALSE);
  INT def_id = 0;
  for (const auto& item : t.items) {
    std::u16string cls = item.class_name.is_ordinal ? (ordinal_class(item.class_name.ordinal) ? ordinal_class(item.class_name.ordinal) : u"")
                                                     : item.class_name.text;
    LPCWSTR title = item.title.is_ordinal ? MAKEINTRESOURCEW(item.title.ordinal) : item.title.text.c_str();
    HWND c = CreateWindowExW(item.ex_style, cls.c_str(), title, item.style | WS_CHILD, scale(item.x, bx, 4),
                             scale(item.y, by, 8), scale(item.cx, bx, 4), scale(item.cy, by, 8), dialog,
                             reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(item.id)), instance,
                             item.creation_data.empty() ? nullptr : const_cast<BYTE*>(item.creation_data.data()));
    if (!find(dialog)) return nullptr;
    if (!c) {
      if (t.style & DS_NOFAILCREATE) continue;
      DestroyWindow(dialog);
      return nullptr;
    }
    if (hfont) SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(hfont), FALSE);
    if (!def_id && u16_iequal(cls, WC_BUTTONW) && (item.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
      def_id = static_cast<INT>(item.id);
  }
  if (auto* dd = data<DialogData>(dialog)) dd->def_id = def_id;
  HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
  LRESULT r = SendMessageW(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
  if (!find(dialog)) return nullptr;
  if (r && first && find(first) && !(find(dialog)->modal_ended)) set_dialog_focus(first);
  if ((style & WS_VISIBLE) && find(dialog)) ShowWindow(dialog, SW_SHOW);
  return find(dialog) ? dialog : nullptr;
}

bool load_template(HINSTANCE instance, LPCWSTR name, morva::platform::DialogTemplate& t) {
  HRSRC res = FindResourceW(instance, name, RT_DIALOG);
  if (!res) return false;
  HGLOBAL g = LoadResource(instance, res);
  const void* p = LockResource(g);
  DWORD size = SizeofResource(instance, res);
  if (!p || !morva::platform::parse_dialog_template(p, size, t)) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return false;
  }
  return true;
}

}  // namespace

namespace morva::platform::win {
HWND create_dialog_from_resource(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param,
                                 DWORD add_style, DWORD remove_style) {
  DialogTemplate t;
  if (!load_template(instance, name, t)) return nullptr;
  t.style = (t.style | add_style) & ~remove_style;
  return build_dialog(instance, t, parent, proc, param);
}
}  // namespace morva::platform::win

extern "C" {

HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param) {
  return create_dialog_from_resource(instance, name, parent, proc, param, 0, 0);
}

INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param) {
  morva::platform::DialogTemplate t;
  if (!load_template(instance, name, t)) return -1;
  t.style &= ~static_cast<DWORD>(WS_CHILD | WS_VISIBLE);
  t.style |= WS_POPUP;
  HWND dialog = build_dialog(instance, t, parent, proc, param);
  if (!dialog) return -1;
  return run_modal(dialog);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  Window* w = find(dialog);
  if (!w || !w->is_dialog) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  w->modal_ended = true;
  w->modal_result = result;
  ShowWindow(dialog, SW_HIDE);
  return TRUE;
}

LRESULT DefDlgProcW(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = find(dialog);
  if (!w) return 0;
  auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(dialog, DWLP_DLGPROC));
  INT_PTR r = proc && w->is_dialog ? proc(dialog, message, wParam, lParam) : 0;
  w = find(dialog);
  if (!w) return r;
  if (r) {
    switch (message) {
      case WM_INITDIALOG:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORLISTBOX:
      case WM_CTLCOLORBTN:
      case WM_CTLCOLORDLG:
      case WM_CTLCOLORSTATIC:
      case WM_COMPAREITEM:
      case WM_VKEYTOITEM:
      case WM_CHARTOITEM: return r;
      default: return GetWindowLongPtrW(dialog, DWLP_MSGRESULT);
    }
  }
  auto* dd = data<DialogData>(dialog);
  switch (message) {
    case DM_GETDEFID:
      return dd && dd->def_id ? MAKELONG(dd->def_id, DC_HASDEFID) : 0;
    case DM_SETDEFID: {
      if (!dd) return FALSE;
      INT old = dd->def_id;
      dd->def_id = static_cast<INT>(wParam);
      std::vector<HWND> all;
      collect_controls(dialog, all);
      for (HWND c : all) {
        if (!is_class(c, WC_BUTTONW)) continue;
        INT id = GetDlgCtrlID(c);
        LONG type = GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK;
        if (id == old && type == BS_DEFPUSHBUTTON) SendMessageW(c, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
        if (id == dd->def_id && type == BS_PUSHBUTTON) SendMessageW(c, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
      }
      return TRUE;
    }
    case WM_CLOSE: {
      HWND cancel = GetDlgItem(dialog, IDCANCEL);
      if (cancel && !IsWindowEnabled(cancel)) {
        MessageBeep(0);
        return 0;
      }
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
      return 0;
    }
    case WM_NEXTDLGCTL: {
      HWND target = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                   : GetNextDlgTabItem(dialog, GetFocus(), wParam != 0);
      set_dialog_focus(target);
      return 0;
    }
    case WM_SETFOCUS: {
      HWND target = w->saved_focus && IsChild(dialog, w->saved_focus) ? w->saved_focus : GetNextDlgTabItem(dialog, nullptr, FALSE);
      if (target) set_dialog_focus(target);
      return 0;
    }
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_INITDIALOG:
      return 0;
    default:
      return DefWindowProcW(dialog, message, wParam, lParam);
  }
}

HWND GetDlgItem(HWND dialog, INT id) {
  Window* d = find(dialog);
  if (!d) return nullptr;
  for (HWND c : d->children)
    if (Window* w = find(c); w && static_cast<INT>(w->id) == id) return c;
  return nullptr;
}

INT GetDlgCtrlID(HWND window) {
  Window* w = find(window);
  return w && (w->style & WS_CHILD) ? static_cast<INT>(w->id) : 0;
}

LRESULT SendDlgItemMessageW(HWND dialog, INT id, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND c = GetDlgItem(dialog, id);
  return c ? SendMessageW(c, message, wParam, lParam) : 0;
}

BOOL SetDlgItemTextW(HWND dialog, INT id, LPCWSTR text) {
  HWND c = GetDlgItem(dialog, id);
  return c ? SetWindowTextW(c, text) : FALSE;
}

UINT GetDlgItemTextW(HWND dialog, INT id, LPWSTR buffer, INT size) {
  HWND c = GetDlgItem(dialog, id);
  if (!c) {
    if (buffer && size > 0) buffer[0] = 0;
    return 0;
  }
  return static_cast<UINT>(GetWindowTextW(c, buffer, size));
}

BOOL SetDlgItemInt(HWND dialog, INT id, UINT value, BOOL is_signed) {
  std::string s = is_signed ? std::to_string(static_cast<INT>(value)) : std::to_string(value);
  std::u16string t = utf8_to_u16(s);
  return SetDlgItemTextW(dialog, id, t.c_str());
}

UINT GetDlgItemInt(HWND dialog, INT id, BOOL* translated, BOOL is_signed) {
  if (translated) *translated = FALSE;
  HWND c = GetDlgItem(dialog, id);
  if (!c) return 0;
  WCHAR buf[64];
  GetWindowTextW(c, buf, 64);
  std::u16string_view s = u16view(buf);
  std::size_t i = 0;
  while (i < s.size() && (s[i] == u' ' || s[i] == u'\t')) ++i;
  bool negative = false;
  if (is_signed && i < s.size() && s[i] == u'-') {
    negative = true;
    ++i;
  }
  std::size_t start = i;
  unsigned long long v = 0;
  for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
    v = v * 10 + static_cast<unsigned>(s[i] - u'0');
    if (v > 0xFFFFFFFFull) return 0;
  }
  while (i < s.size() && (s[i] == u' ' || s[i] == u'\t')) ++i;
  if (i == start || i != s.size()) return 0;
  if (is_signed && (negative ? v > 0x80000000ull : v > 0x7FFFFFFFull)) return 0;
  if (translated) *translated = TRUE;
  return negative ? static_cast<UINT>(-static_cast<long long>(v)) : static_cast<UINT>(v);
}

BOOL CheckDlgButton(HWND dialog, INT id, UINT check) {
  HWND c = GetDlgItem(dialog, id);
  if (!c) return FALSE;
  SendMessageW(c, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, INT id) {
  return static_cast<UINT>(SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0));
}

BOOL CheckRadioButton(HWND dialog, INT first, INT last, INT check) {
  if (!find(dialog)) return FALSE;
  for (INT id = first; id <= last; ++id) CheckDlgButton(dialog, id, id == check ? BST_CHECKED : BST_UNCHECKED);
  return TRUE;
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
  std::vector<HWND> all;
  collect_controls(dialog, all);
  if (all.empty()) return nullptr;
  auto candidate = [](HWND h) { return can_take_focus(h) && (GetWindowLongW(h, GWL_STYLE) & WS_TABSTOP); };
  std::ptrdiff_t n = static_cast<std::ptrdiff_t>(all.size());
  std::ptrdiff_t at = std::find(all.begin(), all.end(), control) - all.begin();
  if (at == n) at = previous ? 0 : n - 1;  // start before the first (after the last)
  for (std::ptrdiff_t step = 1; step <= n; ++step) {
    std::ptrdiff_t i = ((at + (previous ? -step : step)) % n + n) % n;
    if (candidate(all[i])) return all[i];
  }
  return nullptr;
}

HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous) {
  Window* c = find(control);
  Window* p = c ? find(c->parent) : find(dialog);
  if (!p) return nullptr;
  if (!c) return GetNextDlgTabItem(dialog, nullptr, previous);
  auto& kids = p->children;
  auto it = std::find(kids.begin(), kids.end(), control);
  if (it == kids.end()) return nullptr;
  // The group: from the last WS_GROUP at or before the control to the next one.
  auto begin = it;
  while (begin != kids.begin() && !(find(*begin) && (find(*begin)->style & WS_GROUP))) --begin;
  auto end = it + 1;
  while (end != kids.end() && !(find(*end) && (find(*end)->style & WS_GROUP))) ++end;
  std::vector<HWND> group(begin, end);
  std::ptrdiff_t n = static_cast<std::ptrdiff_t>(group.size());
  std::ptrdiff_t at = std::find(group.begin(), group.end(), control) - group.begin();
  for (std::ptrdiff_t step = 1; step < n; ++step) {
    std::ptrdiff_t i = ((at + (previous ? -step : step)) % n + n) % n;
    if (can_take_focus(group[i])) return group[i];
  }
  return control;
}

BOOL IsDialogMessageW(HWND dialog, LPMSG msg) {
  if (!msg || !find(dialog)) return FALSE;
  if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)) return FALSE;
  HWND focus = GetFocus();
  if (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) {
    UINT code = dlg_code(msg->hwnd, msg);
    if (msg->message == WM_KEYDOWN && !(code & DLGC_WANTALLKEYS)) {
      switch (msg->wParam) {
        case VK_TAB:
          if (code & DLGC_WANTTAB) break;
          set_dialog_focus(GetNextDlgTabItem(dialog, focus, (GetKeyState(VK_SHIFT) & 0x8000) != 0));
          return TRUE;
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN: {
          if (code & DLGC_WANTARROWS) break;
          HWND next = GetNextDlgGroupItem(dialog, focus, msg->wParam == VK_LEFT || msg->wParam == VK_UP);
          if (next && next != focus) {
            set_dialog_focus(next);
            if (dlg_code(next) & DLGC_RADIOBUTTON) {
              LONG type = GetWindowLongW(next, GWL_STYLE) & BS_TYPEMASK;
              if (type == BS_AUTORADIOBUTTON) SendMessageW(next, BM_CLICK, 0, 0);
            }
          }
          return TRUE;
        }
        case VK_RETURN: {
          HWND target;
          INT id;
          if (focus && (dlg_code(focus) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) {
            target = focus;
            id = GetDlgCtrlID(focus);
          } else {
            target = default_button(dialog, &id);
          }
          if (target && !IsWindowEnabled(target)) {
            MessageBeep(0);
            return TRUE;
          }
          SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(target));
          return TRUE;
        }
        case VK_ESCAPE: {
          HWND cancel = nullptr;
          std::vector<HWND> all;
          collect_controls(dialog, all);
          for (HWND c : all)
            if (GetDlgCtrlID(c) == IDCANCEL) cancel = c;
          if (cancel && !IsWindowEnabled(cancel)) return TRUE;
          SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
          return TRUE;
        }
        default: break;
      }
    } else if (msg->message == WM_KEYUP && !(code & DLGC_WANTALLKEYS) &&
               (msg->wParam == VK_TAB || msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE)) {
      return TRUE;
    }
  }
  DispatchMessageW(msg);
  return TRUE;
}

BOOL MapDialogRect(HWND dialog, RECT* rect) {
  Window* d = find(dialog);
  if (!d || !rect) return FALSE;
  rect->left = scale(rect->left, d->base_x, 4);
  rect->right = scale(rect->right, d->base_x, 4);
  rect->top = scale(rect->top, d->base_y, 8);
  rect->bottom = scale(rect->bottom, d->base_y, 8);
  return TRUE;
}

LONG GetDialogBaseUnits() { return MAKELONG(8, 16); }

}  // extern "C"

namespace morva::platform::ui {

void script_modal(ModalScript script) { modal().scripts.push_back(std::move(script)); }
void set_modal_handler(ModalScript handler) { modal().handler = std::move(handler); }
std::vector<ModalRecord> modal_log() { return modal().log; }

void reset_modal() {
  modal().scripts.clear();
  modal().handler = nullptr;
  modal().log.clear();
}

}  // namespace morva::platform::ui
