// List boxes and combo boxes (simple, drop-down with an edit field, and
// drop-down list; owner-drawn with fixed or variable item heights). Both
// keep their items in one ItemList.
//
// Rules kept from the real platform:
// - Messages that change the items or the selection (LB_/CB_SETCURSEL,
//   ADDSTRING, ...) send no notification; only the user's actions do.
// - List box: LBN_SELCHANGE (only with LBS_NOTIFY) when a click or a key
//   changed the selection, LBN_DBLCLK after the click of a double click;
//   LBN_SETFOCUS / LBN_KILLFOCUS always. With LBS_WANTKEYBOARDINPUT a key
//   first goes to the parent as WM_VKEYTOITEM: -2 means handled, -1 the
//   default action, an index selects that item.
// - Combo box, picking an item with the mouse: CBN_DROPDOWN when the list
//   opens, CBN_SELCHANGE when the selection changes, then CBN_SELENDOK and
//   CBN_CLOSEUP when the list closes on the pick. Closing without a pick
//   (Escape, losing the focus) sends CBN_SELENDCANCEL, then CBN_CLOSEUP.
//   An arrow key on a closed drop-down list selects the neighbouring item
//   and sends CBN_SELCHANGE, then CBN_SELENDOK.
// - Typing in the edit field of a drop-down combo box sends CBN_EDITUPDATE
//   then CBN_EDITCHANGE; a programmatic WM_SETTEXT sends neither.
//   CB_SETCURSEL puts the item's text in the edit field.
// - CBN_SETFOCUS / CBN_KILLFOCUS follow the focus.
// - Owner-drawn controls ask their parent for item heights with
//   WM_MEASUREITEM while they are created (combo boxes for the selection
//   field, itemID -1, and for the list items), variable ones again for each
//   item added.
// - Sorted lists (LBS_SORT, CBS_SORT) place an added string by a
//   case-insensitive comparison; INSERTSTRING never sorts. Searches
//   (FINDSTRING, SELECTSTRING) are case-insensitive prefix matches that
//   start after the given index and wrap around.
#include <algorithm>

#include "win/strings.h"
#include "windows/text_field.h"
#include "windows/window_internal.h"

namespace morva::platform::win {

// The driver's "pick item wParam from the dropped list" (a mouse click on
// the list of a combo box).
constexpr UINT kComboPick = 0x7FF0;

namespace {

struct Item {
  std::u16string text;
  LPARAM data = 0;
  bool selected = false;
  UINT height = 0;
};

struct ItemList {
  std::vector<Item> items;
  INT current = -1;  // single selection: the selected item; multiple: the caret
  INT top = 0;
  bool sorted = false;
  bool has_strings = true;

  INT count() const { return static_cast<INT>(items.size()); }
  bool valid(INT i) const { return i >= 0 && i < count(); }

  INT insert(INT at, Item item) {
    if (at < 0 || at > count()) at = count();
    items.insert(items.begin() + at, std::move(item));
    if (current >= at) ++current;
    return at;
  }
  INT add(Item item) {
    INT at = count();
    if (sorted && has_strings) {
      at = 0;
      while (at < count() && u16_icompare(items[at].text, item.text) <= 0) ++at;
    }
    return insert(at, std::move(item));
  }
  bool remove(INT i) {
    if (!valid(i)) return false;
    items.erase(items.begin() + i);
    if (current == i)
      current = -1;
    else if (current > i)
      --current;
    return true;
  }
  INT find(INT start, std::u16string_view text, bool exact) const {
    INT n = count();
    if (n == 0) return -1;
    INT from = valid(start) ? start + 1 : 0;
    for (INT k = 0; k < n; ++k) {
      const Item& it = items[(from + k) % n];
      if (!has_strings) {
        continue;
      }
      bool match = exact ? u16_iequal(it.text, text)
                         : it.text.size() >= text.size() && u16_iequal(std::u16string_view(it.text).substr(0, text.size()), text);
      if (match) return (from + k) % n;
    }
    return -1;
  }
};

Item make_item(bool has_strings, LPARAM value) {
  Item item;
  if (has_strings)
    item.text = text_of(reinterpret_cast<LPCWSTR>(value));
  else
    item.data = value;
  return item;
}

UINT measure(HWND h, UINT type, UINT item_id, LPARAM item_data, UINT fallback) {
  HWND parent = GetParent(h);
  RECT r;
  GetClientRect(h, &r);
  MEASUREITEMSTRUCT mi{type, static_cast<UINT>(GetDlgCtrlID(h)), item_id, static_cast<UINT>(r.right), fallback,
                       static_cast<ULONG_PTR>(item_data)};
  if (parent) SendMessageW(parent, WM_MEASUREITEM, static_cast<WPARAM>(mi.CtlID), reinterpret_cast<LPARAM>(&mi));
  return mi.itemHeight;
}

UINT default_item_height(HWND h) {
  Window* p = find(GetParent(h));
  return p && p->is_dialog ? static_cast<UINT>(p->base_y) : 16u;
}

// Messages both list kinds answer the same way, by table: the list box
// message, the combo box one.
enum class Op { kAdd, kInsert, kDelete, kReset, kCount, kGetText, kGetTextLen, kFind, kFindExact, kSelectString,
                kSetCurSel, kGetCurSel, kGetData, kSetData, kNone };
struct OpRow {
  Op op;
  UINT lb;
  UINT cb;
};
constexpr OpRow kOps[] = {
    {Op::kAdd, LB_ADDSTRING, CB_ADDSTRING},
    {Op::kInsert, LB_INSERTSTRING, CB_INSERTSTRING},
    {Op::kDelete, LB_DELETESTRING, CB_DELETESTRING},
    {Op::kReset, LB_RESETCONTENT, CB_RESETCONTENT},
    {Op::kCount, LB_GETCOUNT, CB_GETCOUNT},
    {Op::kGetText, LB_GETTEXT, CB_GETLBTEXT},
    {Op::kGetTextLen, LB_GETTEXTLEN, CB_GETLBTEXTLEN},
    {Op::kFind, LB_FINDSTRING, CB_FINDSTRING},
    {Op::kFindExact, LB_FINDSTRINGEXACT, CB_FINDSTRINGEXACT},
    {Op::kSelectString, LB_SELECTSTRING, CB_SELECTSTRING},
    {Op::kSetCurSel, LB_SETCURSEL, CB_SETCURSEL},
    {Op::kGetCurSel, LB_GETCURSEL, CB_GETCURSEL},
    {Op::kGetData, LB_GETITEMDATA, CB_GETITEMDATA},
    {Op::kSetData, LB_SETITEMDATA, CB_SETITEMDATA},
};

Op op_of(UINT message, bool combo) {
  for (const OpRow& r : kOps)
    if ((combo ? r.cb : r.lb) == message) return r.op;
  return Op::kNone;
}

// The common answer of a list operation; `select` applies a new current
// item (so a combo box can update its edit field), `added` reports a new item.
template <class Select, class Added>
LRESULT list_op(ItemList& l, Op op, WPARAM wParam, LPARAM lParam, bool multi, Select select, Added added) {
  INT i = static_cast<INT>(wParam);
  switch (op) {
    case Op::kAdd: {
      INT at = l.add(make_item(l.has_strings, lParam));
      added(at);
      return at;
    }
    case Op::kInsert: {
      INT at = l.insert(i, make_item(l.has_strings, lParam));
      added(at);
      return at;
    }
    case Op::kDelete: return l.remove(i) ? l.count() : LB_ERR;
    case Op::kReset:
      l.items.clear();
      l.current = -1;
      l.top = 0;
      return 0;
    case Op::kCount: return l.count();
    case Op::kGetText:
      if (!l.valid(i)) return LB_ERR;
      if (!l.has_strings) {
        if (lParam) *reinterpret_cast<LPARAM*>(lParam) = l.items[i].data;
        return sizeof(LPARAM);
      }
      return copy_text_out(l.items[i].text, l.items[i].text.size() + 1, lParam);
    case Op::kGetTextLen:
      if (!l.valid(i)) return LB_ERR;
      return l.has_strings ? static_cast<LRESULT>(l.items[i].text.size()) : static_cast<LRESULT>(sizeof(LPARAM));
    case Op::kFind:
    case Op::kFindExact: {
      INT at = l.find(i, text_of(reinterpret_cast<LPCWSTR>(lParam)), op == Op::kFindExact);
      return at < 0 ? LB_ERR : at;
    }
    case Op::kSelectString: {
      INT at = l.find(i, text_of(reinterpret_cast<LPCWSTR>(lParam)), false);
      if (at < 0) return LB_ERR;
      select(at);
      return at;
    }
    case Op::kSetCurSel:
      if (multi) return LB_ERR;
      select(l.valid(i) ? i : -1);
      return l.valid(i) ? i : LB_ERR;
    case Op::kGetCurSel:
      if (multi) return l.current;
      return l.valid(l.current) ? l.current : LB_ERR;
    case Op::kGetData: return l.valid(i) ? l.items[i].data : LB_ERR;
    case Op::kSetData:
      if (!l.valid(i)) return LB_ERR;
      l.items[i].data = lParam;
      return TRUE;
    default: return 0;
  }
}

// ---- list box ----

struct ListBoxData : ControlData {
  ItemList list;
  UINT item_height = 16;
  std::vector<INT> tabs;
  bool variable = false;
};

bool multi_select(HWND h) { return (GetWindowLongW(h, GWL_STYLE) & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0; }

void lb_notify(HWND h, UINT code) {
  if (GetWindowLongW(h, GWL_STYLE) & LBS_NOTIFY) notify_command(h, code);
}

void lb_select(HWND h, ListBoxData* d, INT i) {
  ItemList& l = d->list;
  if (multi_select(h)) {
    if (l.valid(i)) l.items[i].selected = !l.items[i].selected;
    l.current = i;
  } else {
    l.current = i;
  }
  if (l.valid(i)) {
    RECT r;
    GetClientRect(h, &r);
    INT visible = std::max<INT>(1, (r.bottom - r.top) / static_cast<INT>(std::max(1u, d->item_height)));
    if (i < l.top) l.top = i;
    if (i >= l.top + visible) l.top = i - visible + 1;
  }
}

INT item_at(ListBoxData* d, LPARAM point) {
  INT y = static_cast<SHORT>(HIWORD(point));
  if (y < 0) return -1;
  INT i = d->list.top + y / static_cast<INT>(std::max(1u, d->item_height));
  return d->list.valid(i) ? i : -1;
}

}  // namespace

LRESULT listbox_proc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* d = data_or_create<ListBoxData>(h);
  if (!d) return 0;
  ItemList& l = d->list;
  LONG style = GetWindowLongW(h, GWL_STYLE);
  bool owner_draw = (style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) != 0;
  Op op = op_of(message, false);
  if (op != Op::kNone) {
    return list_op(
        l, op, wParam, lParam, multi_select(h), [&](INT i) { lb_select(h, d, i); },
        [&](INT at) {
          if (d->variable) l.items[at].height = measure(h, ODT_LISTBOX, static_cast<UINT>(at), l.items[at].data, d->item_height);
        });
  }
  switch (message) {
    case WM_CREATE:
      l.sorted = (style & LBS_SORT) != 0;
      l.has_strings = !owner_draw || (style & LBS_HASSTRINGS);
      d->item_height = default_item_height(h);
      d->variable = (style & LBS_OWNERDRAWVARIABLE) != 0;
      if (style & LBS_OWNERDRAWFIXED) d->item_height = measure(h, ODT_LISTBOX, 0, 0, d->item_height);
      return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case LB_SETSEL: {
      if (!multi_select(h)) return LB_ERR;
      INT i = static_cast<INT>(lParam);
      if (i == -1) {
        for (Item& it : l.items) it.selected = wParam != 0;
        return 0;
      }
      if (!l.valid(i)) return LB_ERR;
      l.items[i].selected = wParam != 0;
      return 0;
    }
    case LB_GETSEL: {
      INT i = static_cast<INT>(wParam);
      if (!l.valid(i)) return LB_ERR;
      return multi_select(h) ? l.items[i].selected : (i == l.current);
    }
    case LB_GETSELCOUNT: {
      if (!multi_select(h)) return LB_ERR;
      return std::count_if(l.items.begin(), l.items.end(), [](const Item& it) { return it.selected; });
    }
    case LB_GETSELITEMS: {
      if (!multi_select(h)) return LB_ERR;
      auto* out = reinterpret_cast<INT*>(lParam);
      INT n = 0;
      for (INT i = 0; i < l.count() && n < static_cast<INT>(wParam); ++i)
        if (l.items[i].selected) out[n++] = i;
      return n;
    }
    case LB_GETTOPINDEX: return l.top;
    case LB_SETTOPINDEX:
      if (!l.valid(static_cast<INT>(wParam)) && wParam != 0) return LB_ERR;
      l.top = static_cast<INT>(wParam);
      return 0;
    case LB_SETTABSTOPS: {
      d->tabs.assign(reinterpret_cast<const INT*>(lParam), reinterpret_cast<const INT*>(lParam) + (lParam ? wParam : 0));
      return TRUE;
    }
    case LB_SETITEMHEIGHT:
      if (d->variable && l.valid(static_cast<INT>(wParam)))
        l.items[wParam].height = LOWORD(lParam);
      else
        d->item_height = LOWORD(lParam);
      return 0;
    case LB_GETITEMHEIGHT:
      if (d->variable && l.valid(static_cast<INT>(wParam))) return l.items[wParam].height;
      return d->item_height;
    case LB_GETITEMRECT: {
      INT i = static_cast<INT>(wParam);
      if (!l.valid(i) && !(i == 0 && l.count() == 0)) return LB_ERR;
      RECT r;
      GetClientRect(h, &r);
      INT top = (i - l.top) * static_cast<INT>(d->item_height);
      *reinterpret_cast<RECT*>(lParam) = RECT{0, top, r.right, top + static_cast<INT>(d->item_height)};
      return 1;
    }
    case LB_SETCARETINDEX:
      if (!l.valid(static_cast<INT>(wParam))) return LB_ERR;
      if (multi_select(h)) l.current = static_cast<INT>(wParam);
      return 0;
    case LB_GETCARETINDEX: return l.valid(l.current) ? l.current : 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      SetFocus(h);
      d = data<ListBoxData>(h);
      if (!d) return 0;
      INT i = item_at(d, lParam);
      if (i < 0) return 0;
      INT before = d->list.current;
      bool was_selected = d->list.valid(i) && d->list.items[i].selected;
      lb_select(h, d, i);
      if (before != i || multi_select(h) != was_selected) lb_notify(h, LBN_SELCHANGE);
      if (message == WM_LBUTTONDBLCLK) lb_notify(h, LBN_DBLCLK);
      return 0;
    }
    case WM_KEYDOWN: {
      INT target = -1;
      if (style & LBS_WANTKEYBOARDINPUT) {
        LRESULT r = SendMessageW(GetParent(h), WM_VKEYTOITEM, MAKEWPARAM(wParam, std::max(l.current, 0)),
                                 reinterpret_cast<LPARAM>(h));
        if (r == -2) return 0;
        if (r >= 0) target = static_cast<INT>(r);
      }
      d = data<ListBoxData>(h);
      if (!d) return 0;
      ItemList& list = d->list;
      if (target < 0) {
        INT cur = list.current;
        switch (wParam) {
          case VK_UP:
          case VK_LEFT: target = cur > 0 ? cur - 1 : 0; break;
          case VK_DOWN:
          case VK_RIGHT: target = cur < 0 ? 0 : std::min(cur + 1, list.count() - 1); break;
          case VK_HOME:
          case VK_PRIOR: target = 0; break;
          case VK_END:
          case VK_NEXT: target = list.count() - 1; break;
          default: return DefWindowProcW(h, message, wParam, lParam);
        }
      }
      if (!list.valid(target) || target == list.current) return 0;
      if (multi_select(h))
        list.current = target;
      else
        lb_select(h, d, target);
      lb_notify(h, LBN_SELCHANGE);
      return 0;
    }
    case WM_SETFOCUS: notify_command(h, LBN_SETFOCUS); return 0;
    case WM_KILLFOCUS: notify_command(h, LBN_KILLFOCUS); return 0;
    default: return DefWindowProcW(h, message, wParam, lParam);
  }
}

// ---- combo box ----

namespace {

struct ComboData : ControlData {
  ItemList list;
  TextField edit;
  bool dropped = false;
  INT before_drop = -1;
  UINT field_height = 16;
  UINT item_height = 16;
  INT min_visible = 30;
  bool extended_ui = false;
};

LONG combo_type(HWND h) { return GetWindowLongW(h, GWL_STYLE) & 3; }
bool editable(HWND h) { return combo_type(h) != CBS_DROPDOWNLIST; }

void cb_select(HWND h, ComboData* d, INT i) {
  d->list.current = d->list.valid(i) ? i : -1;
  if (editable(h)) {
    d->edit.text = d->list.valid(i) ? d->list.items[i].text : std::u16string();
    d->edit.set_selection(0, -1);
  }
}

void open_list(HWND h) {
  auto* d = data<ComboData>(h);
  if (!d || d->dropped || combo_type(h) == CBS_SIMPLE) return;
  notify_command(h, CBN_DROPDOWN);
  if ((d = data<ComboData>(h))) {
    d->dropped = true;
    d->before_drop = d->list.current;
  }
}

void close_list(HWND h, bool ok) {
  auto* d = data<ComboData>(h);
  if (!d || !d->dropped) return;
  d->dropped = false;
  notify_command(h, ok ? CBN_SELENDOK : CBN_SELENDCANCEL);
  notify_command(h, CBN_CLOSEUP);
}

void user_select(HWND h, INT i, bool end_ok) {
  auto* d = data<ComboData>(h);
  if (!d || !d->list.valid(i)) return;
  if (i != d->list.current) {
    cb_select(h, d, i);
    notify_command(h, CBN_SELCHANGE);
  }
  if (end_ok && !(data<ComboData>(h) && data<ComboData>(h)->dropped)) notify_command(h, CBN_SELENDOK);
}

}  // namespace

LRESULT combobox_proc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* d = data_or_create<ComboData>(h);
  if (!d) return 0;
  ItemList& l = d->list;
  LONG style = GetWindowLongW(h, GWL_STYLE);
  bool owner_draw = (style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) != 0;
  Op op = op_of(message, true);
  if (op != Op::kNone) {
    LRESULT r = list_op(
        l, op, wParam, lParam, false, [&](INT i) { cb_select(h, d, i); },
        [&](INT at) {
          if (style & CBS_OWNERDRAWVARIABLE) l.items[at].height = measure(h, ODT_COMBOBOX, static_cast<UINT>(at), l.items[at].data, d->item_height);
        });
    if (op == Op::kReset && editable(h)) d->edit.reset(u"");
    return r;
  }
  switch (message) {
    case WM_CREATE:
      l.sorted = (style & CBS_SORT) != 0;
      l.has_strings = !owner_draw || (style & CBS_HASSTRINGS);
      d->item_height = d->field_height = default_item_height(h);
      if (style & CBS_OWNERDRAWFIXED) {
        d->field_height = measure(h, ODT_COMBOBOX, static_cast<UINT>(-1), 0, d->field_height);
        d->item_height = measure(h, ODT_COMBOBOX, 0, 0, d->item_height);
      } else if (style & CBS_OWNERDRAWVARIABLE) {
        d->field_height = measure(h, ODT_COMBOBOX, static_cast<UINT>(-1), 0, d->field_height);
      }
      return 0;
    case WM_NCCREATE: return TRUE;
    case WM_SETTEXT:
      if (!editable(h)) {
        INT at = l.find(-1, text_of(reinterpret_cast<LPCWSTR>(lParam)), true);
        if (at < 0) return CB_ERR;
        l.current = at;
        return TRUE;
      }
      d->edit.reset(text_of(reinterpret_cast<LPCWSTR>(lParam)));
      return TRUE;
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: {
      std::u16string t = editable(h) ? d->edit.text : (l.valid(l.current) ? l.items[l.current].text : std::u16string());
      return message == WM_GETTEXT ? copy_text_out(t, wParam, lParam) : static_cast<LRESULT>(t.size());
    }
    case WM_GETDLGCODE: {
      if (d->dropped) return DLGC_WANTALLKEYS;
      LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
      if (editable(h)) code |= DLGC_HASSETSEL;
      return code;
    }
    case CB_LIMITTEXT:
      if (!editable(h)) return CB_ERR;
      d->edit.limit = wParam ? static_cast<std::size_t>(wParam) : 0x7FFFFFFE;
      return TRUE;
    case CB_SETEDITSEL:
      if (!editable(h)) return CB_ERR;
      d->edit.set_selection(static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam)));
      return TRUE;
    case CB_GETEDITSEL:
      if (!editable(h)) return CB_ERR;
      if (wParam) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(d->edit.lo());
      if (lParam) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(d->edit.hi());
      return MAKELONG(d->edit.lo(), d->edit.hi());
    case CB_SHOWDROPDOWN:
      if (wParam)
        open_list(h);
      else
        close_list(h, false);
      return TRUE;
    case CB_GETDROPPEDSTATE: return d->dropped ? TRUE : FALSE;
    case CB_SETMINVISIBLE:
      if (static_cast<INT>(wParam) <= 0) return FALSE;
      d->min_visible = static_cast<INT>(wParam);
      return TRUE;
    case CB_GETMINVISIBLE: return d->min_visible;
    case CB_SETEXTENDEDUI: d->extended_ui = wParam != 0; return CB_OKAY;
    case CB_SETITEMHEIGHT:
      if (static_cast<INT>(wParam) == -1)
        d->field_height = LOWORD(lParam);
      else if ((style & CBS_OWNERDRAWVARIABLE) && l.valid(static_cast<INT>(wParam)))
        l.items[wParam].height = LOWORD(lParam);
      else
        d->item_height = LOWORD(lParam);
      return 0;
    case CB_GETITEMHEIGHT:
      if (static_cast<INT>(wParam) == -1) return d->field_height;
      if ((style & CBS_OWNERDRAWVARIABLE) && l.valid(static_cast<INT>(wParam))) return l.items[wParam].height;
      return d->item_height;
    case WM_LBUTTONDOWN:
      if (GetFocus() != h) SetFocus(h);
      if (!data<ComboData>(h)) return 0;
      if (data<ComboData>(h)->dropped)
        close_list(h, true);
      else
        open_list(h);
      return 0;
    case kComboPick: {
      // A click on item wParam of the dropped list.
      open_list(h);
      user_select(h, static_cast<INT>(wParam), false);
      close_list(h, true);
      return 0;
    }
    case WM_KEYDOWN: {
      bool alt_down = (wParam == VK_DOWN || wParam == VK_UP) && (GetKeyState(VK_MENU) & 0x8000);
      if (wParam == VK_F4 || alt_down) {
        if (d->dropped)
          close_list(h, true);
        else
          open_list(h);
        return 0;
      }
      if (d->dropped && (wParam == VK_RETURN || wParam == VK_ESCAPE)) {
        close_list(h, wParam == VK_RETURN);
        return 0;
      }
      INT cur = l.current, target = -1;
      switch (wParam) {
        case VK_UP:
        case VK_LEFT:
          if (editable(h) && wParam == VK_LEFT) return 0;
          target = cur > 0 ? cur - 1 : 0;
          break;
        case VK_DOWN:
        case VK_RIGHT:
          if (editable(h) && wParam == VK_RIGHT) return 0;
          target = cur < 0 ? 0 : std::min(cur + 1, l.count() - 1);
          break;
        case VK_HOME: target = editable(h) ? -1 : 0; break;
        case VK_END: target = editable(h) ? -1 : l.count() - 1; break;
        default: return DefWindowProcW(h, message, wParam, lParam);
      }
      if (l.valid(target) && target != cur) user_select(h, target, true);
      return 0;
    }
    case WM_CHAR: {
      WCHAR c = static_cast<WCHAR>(wParam);
      if (!editable(h)) {
        if (c < 0x20) return 0;
        INT at = l.find(l.current, std::u16string(1, c), false);
        if (at >= 0 && at != l.current) user_select(h, at, true);
        return 0;
      }
      TextField& f = d->edit;
      bool change = false;
      if (c == VK_BACK) {
        if (f.lo() == f.hi() && f.sel_end > 0) f.sel_start = f.sel_end - 1;
        change = f.replace_selection(u"", true);
      } else if (c >= 0x20) {
        std::size_t after = f.text.size() - (f.hi() - f.lo()) + 1;
        if (after > f.limit) return 0;
        change = f.replace_selection(std::u16string(1, c), true);
      }
      if (change) {
        notify_command(h, CBN_EDITUPDATE);
        notify_command(h, CBN_EDITCHANGE);
      }
      return 0;
    }
    case WM_SETFOCUS:
      if (editable(h)) d->edit.set_selection(0, -1);
      notify_command(h, CBN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      close_list(h, false);
      notify_command(h, CBN_KILLFOCUS);
      return 0;
    default: return DefWindowProcW(h, message, wParam, lParam);
  }
}

bool combo_dropped(HWND h) {
  auto* d = data<ComboData>(h);
  return d && d->dropped;
}

}  // namespace morva::platform::win
