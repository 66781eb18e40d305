// Tooltips, list views and tab controls, as far as the system uses them.
//
// Rules kept from the real platform:
// - Tooltips: a tool is a window (TTF_IDISHWND, uId the window) or a
//   rectangle of a window (uId an id, rect in that window's client area).
//   A tip whose text is LPSTR_TEXTCALLBACKW is asked for with
//   TTN_GETDISPINFOW (WM_NOTIFY to the tool's window) each time it shows;
//   a text given as a resource id is loaded from hinst. TTM_SETMAXTIPWIDTH
//   answers the previous width (-1 at first). An inactive tooltip
//   (TTM_ACTIVATE FALSE) shows nothing. Showing sends TTN_SHOW.
// - List view: every change of an item's state, by message or by the user,
//   sends LVN_ITEMCHANGING (a non-zero answer refuses) and then
//   LVN_ITEMCHANGED. With LVS_SINGLESEL selecting an item first deselects
//   the one selected before. A click selects and focuses the item, then
//   sends NM_CLICK; a double click then sends NM_DBLCLK. Gaining and
//   losing the focus send NM_SETFOCUS and NM_KILLFOCUS.
// - List view image lists: LVM_SETIMAGELIST answers the list set before;
//   the list view destroys its lists with itself unless the style has
//   LVS_SHAREIMAGELISTS. In report view the small image of an item is
//   drawn at the left of its first column.
// - Tab control: the first tab inserted becomes the current one; a user's
//   change sends TCN_SELCHANGING (a non-zero answer refuses) and then
//   TCN_SELCHANGE; TCM_SETCURSEL sends nothing.
#include <algorithm>

#include "win/resources.h"
#include "win/ui_driver.h"
#include "windows/window_internal.h"

namespace morva::platform::win {

constexpr UINT kListViewPick = 0x7FF3;  // the driver's click on item wParam (lParam 1: double click)
constexpr UINT kTabPick = 0x7FF4;       // the driver's click on tab wParam
constexpr UINT kListViewColumns = 0x7FF5;  // the number of columns, for the painter

namespace {

// ---- tooltips ----

struct Tool {
  UINT flags = 0;
  HWND window = nullptr;
  UINT_PTR id = 0;
  RECT rect{};
  HINSTANCE instance = nullptr;
  bool callback = false;
  std::u16string text;
  LPARAM param = 0;
};

struct TooltipData : ControlData {
  std::vector<Tool> tools;
  INT max_width = -1;
  bool active = true;
};

std::vector<HWND>& tooltip_windows() {
  static auto* v = new std::vector<HWND>;
  return *v;
}

constexpr std::size_t kToolInfoMin = offsetof(TOOLINFOW, lParam);

bool tool_text(const TOOLINFOW* ti, Tool& t) {
  t.callback = ti->lpszText == LPSTR_TEXTCALLBACKW;
  t.text.clear();
  if (t.callback || !ti->lpszText) return true;
  if (IS_INTRESOURCE(ti->lpszText)) {
    WCHAR buf[1024];
    INT n = LoadStringW(ti->hinst, static_cast<UINT>(reinterpret_cast<ULONG_PTR>(ti->lpszText)), buf, 1024);
    t.text.assign(buf, static_cast<std::size_t>(std::max(n, 0)));
  } else {
    t.text = text_of(ti->lpszText);
  }
  return true;
}

Tool* find_tool(TooltipData* d, const TOOLINFOW* ti) {
  if (!ti) return nullptr;
  for (Tool& t : d->tools)
    if (t.window == ti->hwnd && t.id == ti->uId) return &t;
  return nullptr;
}

std::u16string show_tip(HWND tooltip, Tool tool) {
  std::u16string text = tool.text;
  if (tool.callback) {
    NMTTDISPINFOW di{};
    di.hdr.hwndFrom = tooltip;
    di.hdr.idFrom = tool.id;
    di.hdr.code = TTN_GETDISPINFOW;
    di.hinst = nullptr;
    di.uFlags = tool.flags;
    di.lParam = tool.param;
    SendMessageW(tool.window, WM_NOTIFY, tool.id, reinterpret_cast<LPARAM>(&di));
    if (di.hinst && di.lpszText && IS_INTRESOURCE(di.lpszText)) {
      WCHAR buf[1024];
      INT n = LoadStringW(di.hinst, static_cast<UINT>(reinterpret_cast<ULONG_PTR>(di.lpszText)), buf, 1024);
      text.assign(buf, static_cast<std::size_t>(std::max(n, 0)));
    } else if (di.lpszText) {
      text = text_of(di.lpszText);
    } else {
      text = text_of(di.szText);
    }
  }
  NMHDR show{tooltip, tool.id, TTN_SHOW};
  if (find(tool.window)) SendMessageW(tool.window, WM_NOTIFY, tool.id, reinterpret_cast<LPARAM>(&show));
  return text;
}

}  // namespace

LRESULT tooltip_proc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* d = data_or_create<TooltipData>(h);
  if (!d) return 0;
  auto* ti = reinterpret_cast<TOOLINFOW*>(lParam);
  bool tool_message = message == TTM_ADDTOOLW || message == TTM_DELTOOLW || message == TTM_NEWTOOLRECTW ||
                      message == TTM_UPDATETIPTEXTW || message == TTM_SETTOOLINFOW || message == TTM_GETTOOLINFOW ||
                      message == TTM_GETTEXTW;
  bool info_ok = tool_message && ti && ti->cbSize >= kToolInfoMin;
  switch (message) {
    case WM_CREATE: tooltip_windows().push_back(h); return 0;
    case WM_NCDESTROY: std::erase(tooltip_windows(), h); return 0;
    case TTM_ADDTOOLW: {
      if (!info_ok) return FALSE;
      Tool t;
      t.flags = ti->uFlags;
      t.window = ti->hwnd;
      t.id = ti->uId;
      t.rect = ti->rect;
      t.instance = ti->hinst;
      t.param = ti->cbSize >= offsetof(TOOLINFOW, lpReserved) ? ti->lParam : 0;
      tool_text(ti, t);
      if (Tool* old = find_tool(d, ti))
        *old = std::move(t);
      else
        d->tools.push_back(std::move(t));
      return TRUE;
    }
    case TTM_DELTOOLW:
      if (info_ok) std::erase_if(d->tools, [&](const Tool& t) { return t.window == ti->hwnd && t.id == ti->uId; });
      return 0;
    case TTM_NEWTOOLRECTW:
      if (Tool* t = info_ok ? find_tool(d, ti) : nullptr) t->rect = ti->rect;
      return 0;
    case TTM_UPDATETIPTEXTW:
      if (Tool* t = info_ok ? find_tool(d, ti) : nullptr) {
        t->instance = ti->hinst;
        tool_text(ti, *t);
      }
      return 0;
    case TTM_SETTOOLINFOW:
      if (Tool* t = info_ok ? find_tool(d, ti) : nullptr) {
        t->flags = ti->uFlags;
        t->rect = ti->rect;
        t->instance = ti->hinst;
        tool_text(ti, *t);
      }
      return 0;
    case TTM_GETTOOLINFOW: {
      Tool* t = info_ok ? find_tool(d, ti) : nullptr;
      if (!t) return FALSE;
      ti->uFlags = t->flags;
      ti->rect = t->rect;
      ti->hinst = t->instance;
      return TRUE;
    }
    case TTM_GETTEXTW: {
      Tool* t = info_ok ? find_tool(d, ti) : nullptr;
      if (!t || !ti->lpszText) return 0;
      copy_text_out(t->text, wParam ? wParam : 80, reinterpret_cast<LPARAM>(ti->lpszText));
      return 0;
    }
    case TTM_GETTOOLCOUNT: return static_cast<LRESULT>(d->tools.size());
    case TTM_SETMAXTIPWIDTH: {
      INT old = d->max_width;
      d->max_width = static_cast<INT>(lParam);
      return old;
    }
    case TTM_GETMAXTIPWIDTH: return d->max_width;
    case TTM_ACTIVATE: d->active = wParam != 0; return 0;
    case TTM_POP:
    case TTM_SETDELAYTIME: return 0;
    default: return DefWindowProcW(h, message, wParam, lParam);
  }
}

std::u16string tooltip_hover(HWND control) {
  RECT cr;
  if (!GetWindowRect(control, &cr)) return {};
  POINT centre{(cr.left + cr.right) / 2, (cr.top + cr.bottom) / 2};
  std::vector<HWND> tips = tooltip_windows();
  for (auto it = tips.rbegin(); it != tips.rend(); ++it) {
    auto* d = data<TooltipData>(*it);
    if (!d || !d->active) continue;
    for (const Tool& t : d->tools) {
      bool hit = false;
      if (t.flags & TTF_IDISHWND) {
        hit = reinterpret_cast<HWND>(t.id) == control;
      } else if (t.window == control || IsChild(t.window, control)) {
        POINT local = centre;
        ScreenToClient(t.window, &local);
        hit = PtInRect(&t.rect, local) || (t.window == control && IsRectEmpty(&t.rect));
      }
      if (hit) return show_tip(*it, t);
    }
  }
  return {};
}

// ---- list views ----

namespace {

struct LvItem {
  std::vector<std::u16string> texts;  // by subitem
  UINT state = 0;
  LPARAM param = 0;
  INT image = 0;
};

struct LvColumn {
  INT width = 0;
  std::u16string header;
};

struct ListViewData : ControlData {
  std::vector<LvItem> items;
  std::vector<LvColumn> columns;
  DWORD ex_style = 0;
  HIMAGELIST images[2] = {};  // LVSIL_NORMAL, LVSIL_SMALL
  bool shared_images = false;  // LVS_SHAREIMAGELISTS: the lists stay the owner's
  ~ListViewData() override {
    if (shared_images) return;
    for (HIMAGELIST list : images)
      if (list) ImageList_Destroy(list);
  }
};

// The width that shows every text of column `c` (and its header when
// `header`), measured in the control's font.
INT fitting_width(HWND h, const ListViewData& d, std::size_t c, bool header) {
  HDC dc = GetDC(h);
  if (!dc) return 0;
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(h, WM_GETFONT, 0, 0)));
  auto extent = [&](const std::u16string& s) {
    SIZE size{};
    if (!s.empty()) GetTextExtentPoint32W(dc, s.c_str(), static_cast<INT>(s.size()), &size);
    return static_cast<INT>(size.cx);
  };
  INT widest = header ? extent(d.columns[c].header) : 0;
  for (const LvItem& item : d.items)
    if (c < item.texts.size()) widest = std::max(widest, extent(item.texts[c]));
  if (old) SelectObject(dc, old);
  ReleaseDC(h, dc);
  return widest + 12;  // the text's margins on both sides
}

// Changes an item's state bits under `mask`; false when the parent refused.
bool set_state(HWND h, INT i, UINT state, UINT mask) {
  auto* d = data<ListViewData>(h);
  if (!d || i < 0 || i >= static_cast<INT>(d->items.size())) return false;
  UINT old = d->items[i].state;
  UINT now = (old & ~mask) | (state & mask);
  if (now == old) return true;
  NMLISTVIEW nm{};
  nm.iItem = i;
  nm.uNewState = now;
  nm.uOldState = old;
  nm.uChanged = LVIF_STATE;
  nm.lParam = d->items[i].param;
  if (notify_parent(h, &nm.hdr, LVN_ITEMCHANGING)) return false;
  d = data<ListViewData>(h);
  if (!d || i >= static_cast<INT>(d->items.size())) return false;
  d->items[i].state = now;
  nm = NMLISTVIEW{};
  nm.iItem = i;
  nm.uNewState = now;
  nm.uOldState = old;
  nm.uChanged = LVIF_STATE;
  nm.lParam = d->items[i].param;
  notify_parent(h, &nm.hdr, LVN_ITEMCHANGED);
  return true;
}

void select_item(HWND h, INT i) {
  auto* d = data<ListViewData>(h);
  if (!d) return;
  // A plain click leaves only the clicked item selected, in either mode.
  for (INT k = 0; d && k < static_cast<INT>(d->items.size()); ++k) {
    if (k == i) continue;
    UINT mask = LVIS_FOCUSED | LVIS_SELECTED;
    if (d->items[k].state & mask) set_state(h, k, 0, mask);
    d = data<ListViewData>(h);
  }
  set_state(h, i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

INT next_item(ListViewData* d, INT start, UINT flags) {
  for (INT i = start + 1; i < static_cast<INT>(d->items.size()); ++i) {
    if (flags == LVNI_ALL) return i;
    if ((flags & LVNI_SELECTED) && !(d->items[i].state & LVIS_SELECTED)) continue;
    if ((flags & LVNI_FOCUSED) && !(d->items[i].state & LVIS_FOCUSED)) continue;
    return i;
  }
  return -1;
}

void store_item(LvItem& item, const LVITEMW* lv, bool with_state) {
  if (lv->mask & LVIF_TEXT) {
    std::size_t sub = static_cast<std::size_t>(std::max(lv->iSubItem, 0));
    if (item.texts.size() <= sub) item.texts.resize(sub + 1);
    item.texts[sub] = lv->pszText == LPSTR_TEXTCALLBACKW ? std::u16string() : text_of(lv->pszText);
  }
  if (lv->mask & LVIF_PARAM) item.param = lv->lParam;
  if (lv->mask & LVIF_IMAGE) item.image = lv->iImage;
  if (with_state && (lv->mask & LVIF_STATE)) item.state = (item.state & ~lv->stateMask) | (lv->state & lv->stateMask);
}

}  // namespace

LRESULT listview_proc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* d = data_or_create<ListViewData>(h);
  if (!d) return 0;
  auto* lv = reinterpret_cast<LVITEMW*>(lParam);
  INT count = static_cast<INT>(d->items.size());
  INT i = static_cast<INT>(wParam);
  switch (message) {
    case LVM_GETITEMCOUNT: return count;
    case LVM_INSERTCOLUMNW: {
      const auto* column = reinterpret_cast<const LVCOLUMNW*>(lParam);
      if (!column) return -1;
      const INT at = std::clamp(i, 0, static_cast<INT>(d->columns.size()));
      LvColumn c;
      if (column->mask & LVCF_WIDTH) c.width = std::max(column->cx, 0);
      if ((column->mask & LVCF_TEXT) && column->pszText) c.header = text_of(column->pszText);
      d->columns.insert(d->columns.begin() + at, std::move(c));
      return at;
    }
    case LVM_DELETECOLUMN:
      if (i < 0 || i >= static_cast<INT>(d->columns.size())) return FALSE;
      d->columns.erase(d->columns.begin() + i);
      return TRUE;
    case kListViewColumns: return static_cast<LRESULT>(d->columns.size());
    case LVM_GETCOLUMNWIDTH: return i >= 0 && i < static_cast<INT>(d->columns.size()) ? d->columns[i].width : 0;
    case LVM_SETCOLUMNWIDTH: {
      if (i < 0 || i >= static_cast<INT>(d->columns.size())) return FALSE;
      const INT width = static_cast<SHORT>(LOWORD(lParam));
      if (width == LVSCW_AUTOSIZE || width == LVSCW_AUTOSIZE_USEHEADER) {
        INT fit = fitting_width(h, *d, static_cast<std::size_t>(i), width == LVSCW_AUTOSIZE_USEHEADER);
        // The last column, sized to its header, fills the rest of the row.
        if (width == LVSCW_AUTOSIZE_USEHEADER && i + 1 == static_cast<INT>(d->columns.size())) {
          RECT client{};
          GetClientRect(h, &client);
          INT left = 0;
          for (INT c = 0; c < i; ++c) left += d->columns[c].width;
          fit = std::max(fit, static_cast<INT>(client.right - client.left) - left);
        }
        d->columns[i].width = fit;
      } else {
        d->columns[i].width = std::max(width, 0);
      }
      InvalidateRect(h, nullptr, TRUE);
      return TRUE;
    }
    case LVM_INSERTITEMW: {
      if (!lv) return -1;
      INT at = std::clamp(lv->iItem, 0, count);
      LvItem item;
      store_item(item, lv, true);
      d->items.insert(d->items.begin() + at, std::move(item));
      return at;
    }
    case LVM_SETITEMW: {
      if (!lv || lv->iItem < 0 || lv->iItem >= count) return FALSE;
      LVITEMW copy = *lv;
      copy.mask &= ~static_cast<UINT>(LVIF_STATE);
      store_item(d->items[lv->iItem], &copy, false);
      if (lv->mask & LVIF_STATE) set_state(h, lv->iItem, lv->state, lv->stateMask);
      return TRUE;
    }
    case LVM_GETITEMW: {
      if (!lv || lv->iItem < 0 || lv->iItem >= count) return FALSE;
      const LvItem& item = d->items[lv->iItem];
      if ((lv->mask & LVIF_TEXT) && lv->pszText && lv->cchTextMax > 0) {
        std::size_t sub = static_cast<std::size_t>(std::max(lv->iSubItem, 0));
        copy_text_out(sub < item.texts.size() ? item.texts[sub] : std::u16string(), static_cast<WPARAM>(lv->cchTextMax),
                      reinterpret_cast<LPARAM>(lv->pszText));
      }
      if (lv->mask & LVIF_PARAM) lv->lParam = item.param;
      if (lv->mask & LVIF_IMAGE) lv->iImage = item.image;
      if (lv->mask & LVIF_STATE) lv->state = item.state & lv->stateMask;
      return TRUE;
    }
    case LVM_SETITEMTEXTW: {
      if (!lv || i < 0 || i >= count) return FALSE;
      LVITEMW copy = *lv;
      copy.mask = LVIF_TEXT;
      store_item(d->items[i], &copy, false);
      return TRUE;
    }
    case LVM_GETITEMTEXTW: {
      if (!lv || i < 0 || i >= count || !lv->pszText) return 0;
      std::size_t sub = static_cast<std::size_t>(std::max(lv->iSubItem, 0));
      const auto& texts = d->items[i].texts;
      return copy_text_out(sub < texts.size() ? texts[sub] : std::u16string(), static_cast<WPARAM>(lv->cchTextMax),
                           reinterpret_cast<LPARAM>(lv->pszText));
    }
    case LVM_DELETEITEM:
      if (i < 0 || i >= count) return FALSE;
      d->items.erase(d->items.begin() + i);
      return TRUE;
    case LVM_DELETEALLITEMS: d->items.clear(); return TRUE;
    case LVM_SETITEMSTATE: {
      if (!lv) return FALSE;
      if (i == -1) {
        for (INT k = 0; k < count; ++k) set_state(h, k, lv->state, lv->stateMask);
        return TRUE;
      }
      if (i < 0 || i >= count) return FALSE;
      return set_state(h, i, lv->state, lv->stateMask) ? TRUE : FALSE;
    }
    case LVM_GETITEMSTATE: return i >= 0 && i < count ? d->items[i].state & static_cast<UINT>(lParam) : 0;
    case LVM_GETNEXTITEM: return next_item(d, i, static_cast<UINT>(LOWORD(lParam)));
    case LVM_GETSELECTEDCOUNT:
      return std::count_if(d->items.begin(), d->items.end(), [](const LvItem& it) { return it.state & LVIS_SELECTED; });
    case LVM_ENSUREVISIBLE: return i >= 0 && i < count;
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
      DWORD old = d->ex_style;
      DWORD mask = wParam ? static_cast<DWORD>(wParam) : 0xFFFFFFFFu;
      d->ex_style = (d->ex_style & ~mask) | (static_cast<DWORD>(lParam) & mask);
      return old;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE: return d->ex_style;
    case LVM_SETIMAGELIST: {
      if (wParam > LVSIL_SMALL) return 0;
      HIMAGELIST old = d->images[wParam];
      d->images[wParam] = reinterpret_cast<HIMAGELIST>(lParam);
      d->shared_images = (GetWindowLongW(h, GWL_STYLE) & LVS_SHAREIMAGELISTS) != 0;
      InvalidateRect(h, nullptr, TRUE);
      return reinterpret_cast<LRESULT>(old);
    }
    case LVM_GETIMAGELIST: return wParam > LVSIL_SMALL ? 0 : reinterpret_cast<LRESULT>(d->images[wParam]);
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case kListViewPick: {
      if (i < 0 || i >= count) return 0;
      SetFocus(h);
      select_item(h, i);
      NMITEMACTIVATE nm{};
      nm.iItem = i;
      notify_parent(h, &nm.hdr, NM_CLICK);
      if (lParam) {
        nm = NMITEMACTIVATE{};
        nm.iItem = i;
        notify_parent(h, &nm.hdr, NM_DBLCLK);
      }
      return 0;
    }
    case WM_KEYDOWN: {
      INT cur = next_item(d, -1, LVNI_FOCUSED);
      INT target;
      switch (wParam) {
        case VK_UP: target = cur > 0 ? cur - 1 : 0; break;
        case VK_DOWN: target = cur < 0 ? 0 : std::min(cur + 1, count - 1); break;
        case VK_HOME: target = 0; break;
        case VK_END: target = count - 1; break;
        default: return DefWindowProcW(h, message, wParam, lParam);
      }
      if (target >= 0 && target != cur) select_item(h, target);
      return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      NMHDR nm{};
      notify_parent(h, &nm, message == WM_SETFOCUS ? NM_SETFOCUS : NM_KILLFOCUS);
      return 0;
    }
    default: return DefWindowProcW(h, message, wParam, lParam);
  }
}

// ---- tab controls ----

namespace {

struct TabItem {
  std::u16string text;
  LPARAM param = 0;
};

struct TabData : ControlData {
  std::vector<TabItem> items;
  INT current = -1;
};

void user_tab(HWND h, INT i) {
  auto* d = data<TabData>(h);
  if (!d || i < 0 || i >= static_cast<INT>(d->items.size()) || i == d->current) return;
  NMHDR nm{};
  if (notify_parent(h, &nm, TCN_SELCHANGING)) return;
  if (!(d = data<TabData>(h))) return;
  d->current = i;
  nm = NMHDR{};
  notify_parent(h, &nm, TCN_SELCHANGE);
}

}  // namespace

LRESULT tabcontrol_proc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* d = data_or_create<TabData>(h);
  if (!d) return 0;
  auto* tc = reinterpret_cast<TCITEMW*>(lParam);
  INT count = static_cast<INT>(d->items.size());
  INT i = static_cast<INT>(wParam);
  switch (message) {
    case TCM_GETITEMCOUNT: return count;
    case TCM_INSERTITEMW: {
      if (!tc || i < 0) return -1;
      INT at = std::min(i, count);
      TabItem item;
      if (tc->mask & TCIF_TEXT) item.text = text_of(tc->pszText);
      if (tc->mask & TCIF_PARAM) item.param = tc->lParam;
      d->items.insert(d->items.begin() + at, std::move(item));
      if (d->current < 0)
        d->current = 0;
      else if (at <= d->current)
        ++d->current;
      return at;
    }
    case TCM_SETITEMW:
      if (!tc || i < 0 || i >= count) return FALSE;
      if (tc->mask & TCIF_TEXT) d->items[i].text = text_of(tc->pszText);
      if (tc->mask & TCIF_PARAM) d->items[i].param = tc->lParam;
      return TRUE;
    case TCM_GETITEMW:
      if (!tc || i < 0 || i >= count) return FALSE;
      if ((tc->mask & TCIF_TEXT) && tc->pszText)
        copy_text_out(d->items[i].text, static_cast<WPARAM>(tc->cchTextMax), reinterpret_cast<LPARAM>(tc->pszText));
      if (tc->mask & TCIF_PARAM) tc->lParam = d->items[i].param;
      return TRUE;
    case TCM_DELETEITEM:
      if (i < 0 || i >= count) return FALSE;
      d->items.erase(d->items.begin() + i);
      if (d->current >= static_cast<INT>(d->items.size())) d->current = static_cast<INT>(d->items.size()) - 1;
      return TRUE;
    case TCM_DELETEALLITEMS:
      d->items.clear();
      d->current = -1;
      return TRUE;
    case TCM_GETCURSEL: return d->current;
    case TCM_SETCURSEL: {
      if (i < 0 || i >= count) return -1;
      INT old = d->current;
      d->current = i;
      return old;
    }
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case kTabPick: SetFocus(h); user_tab(h, i); return 0;
    case WM_KEYDOWN:
      if (wParam == VK_LEFT || wParam == VK_RIGHT) {
        user_tab(h, d->current + (wParam == VK_LEFT ? -1 : 1));
        return 0;
      }
      return DefWindowProcW(h, message, wParam, lParam);
    default: return DefWindowProcW(h, message, wParam, lParam);
  }
}

}  // namespace morva::platform::win

extern "C" {
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
  if (!init || init->dwSize != sizeof(INITCOMMONCONTROLSEX)) return FALSE;
  morva::platform::win::ensure_system_classes();
  return TRUE;
}
void InitCommonControls() { morva::platform::win::ensure_system_classes(); }
}
