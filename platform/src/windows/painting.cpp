// Drawing windows into the screen GDI: window DCs, BeginPaint/EndPaint,
// and the plain look of the standard and common controls (frame, text,
// check marks, selection, focus), drawn from what each control answers to
// its own messages.
//
// A window is drawn on demand (ui::write_png): the window and then its
// visible children, each through a DC on one bitmap clipped to the window
// and its parents, with WM_ERASEBKGND and then WM_PAINT. Children are
// drawn after their parent, the lowest of the z-order first. Owner-drawn
// buttons, list boxes and combo boxes ask their parent with WM_DRAWITEM;
// static controls and edits ask it for their colours with WM_CTLCOLOR*.
#include <algorithm>

#include "win/gdi.h"
#include "win/resources.h"
#include "win/strings.h"
#include "win/ui_driver.h"
#include "windows/window_internal.h"

namespace morva::platform::win {
namespace {

// The DC of the window being drawn (BeginPaint answers it).
std::map<HWND, HDC>& paint_dcs() {
  static auto* m = new std::map<HWND, HDC>;
  return *m;
}

// The bitmap a top-level window was last drawn into, for GetDC.
struct Surface {
  HBITMAP bitmap = nullptr;
  HWND root = nullptr;
};
Surface& last_surface() {
  static Surface s;
  return s;
}

std::u16string window_text(HWND h) {
  INT n = GetWindowTextLengthW(h);
  std::u16string t(static_cast<std::size_t>(std::max(n, 0)) + 1, u'\0');
  t.resize(static_cast<std::size_t>(std::max(GetWindowTextW(h, t.data(), n + 1), 0)));
  return t;
}

void fill(HDC dc, RECT r, COLORREF colour) {
  HBRUSH b = CreateSolidBrush(colour);
  FillRect(dc, &r, b);
  DeleteObject(b);
}

void frame(HDC dc, RECT r, COLORREF colour) {
  HBRUSH b = CreateSolidBrush(colour);
  FrameRect(dc, &r, b);
  DeleteObject(b);
}

void text(HDC dc, const std::u16string& s, RECT r, UINT format, COLORREF colour) {
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, colour);
  DrawTextW(dc, s.c_str(), static_cast<INT>(s.size()), &r, format);
}

void line(HDC dc, INT x0, INT y0, INT x1, INT y1, COLORREF colour, INT width = 1) {
  HPEN pen = CreatePen(PS_SOLID, width, colour);
  HGDIOBJ old = SelectObject(dc, pen);
  MoveToEx(dc, x0, y0, nullptr);
  LineTo(dc, x1, y1);
  SelectObject(dc, old);
  DeleteObject(pen);
}

COLORREF text_colour(HWND h) { return GetSysColor(IsWindowEnabled(h) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT); }

RECT client(HWND h) {
  RECT r;
  GetClientRect(h, &r);
  return r;
}

// The background a static-like control gets from its parent, or the face colour.
void ctl_background(HWND h, HDC dc, UINT message, COLORREF fallback) {
  HWND parent = GetParent(h);
  auto brush = parent ? reinterpret_cast<HBRUSH>(SendMessageW(parent, message, reinterpret_cast<WPARAM>(dc),
                                                              reinterpret_cast<LPARAM>(h)))
                      : nullptr;
  RECT r = client(h);
  if (brush)
    FillRect(dc, &r, brush);
  else
    fill(dc, r, fallback);
}

void draw_item(HWND h, HDC dc, UINT type, INT item, RECT r, UINT state, ULONG_PTR data) {
  HWND parent = GetParent(h);
  if (!parent) return;
  DRAWITEMSTRUCT di{type, static_cast<UINT>(GetDlgCtrlID(h)), static_cast<UINT>(item), ODA_DRAWENTIRE, state, h, dc, r, data};
  SendMessageW(parent, WM_DRAWITEM, di.CtlID, reinterpret_cast<LPARAM>(&di));
}

void paint_button(HWND h, HDC dc) {
  LONG style = GetWindowLongW(h, GWL_STYLE);
  LONG type = style & BS_TYPEMASK;
  RECT r = client(h);
  std::u16string label = window_text(h);
  UINT check = static_cast<UINT>(SendMessageW(h, BM_GETCHECK, 0, 0));
  bool focused = GetFocus() == h;
  if (type == BS_OWNERDRAW) {
    UINT state = (focused ? ODS_FOCUS : 0) | (IsWindowEnabled(h) ? 0 : ODS_DISABLED) |
                 ((SendMessageW(h, BM_GETSTATE, 0, 0) & BST_PUSHED) ? ODS_SELECTED : 0);
    draw_item(h, dc, ODT_BUTTON, 0, r, state, 0);
    return;
  }
  if (type != BS_GROUPBOX) ctl_background(h, dc, WM_CTLCOLORBTN, GetSysColor(COLOR_BTNFACE));
  if (type == BS_GROUPBOX) {
    // A group box leaves its inside to the controls it groups.
    RECT box{r.left, r.top + 6, r.right, r.bottom};
    DrawEdge(dc, &box, EDGE_ETCHED, BF_RECT);
    SIZE size{};
    GetTextExtentPoint32W(dc, label.c_str(), static_cast<INT>(label.size()), &size);
    RECT t{r.left + 6, r.top, r.left + 10 + size.cx, r.top + size.cy};
    fill(dc, t, GetSysColor(COLOR_BTNFACE));
    text(dc, label, RECT{t.left + 2, t.top, t.right, t.bottom}, DT_LEFT | DT_SINGLELINE, text_colour(h));
    return;
  }
  if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) {
    RECT e = r;
    if (type == BS_DEFPUSHBUTTON) {
      frame(dc, e, RGB(0, 0, 0));
      InflateRect(&e, -1, -1);
    }
    DrawEdge(dc, &e, (SendMessageW(h, BM_GETSTATE, 0, 0) & BST_PUSHED) ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_MIDDLE);
    text(dc, label, r, DT_CENTER | DT_VCENTER | DT_SINGLELINE, text_colour(h));
    if (focused) {
      RECT f = r;
      InflateRect(&f, -4, -4);
      DrawFocusRect(dc, &f);
    }
    return;
  }
  // Check boxes and radio buttons: a 13-pixel box, then the label.
  INT box = 13;
  RECT b{r.left, (r.top + r.bottom - box) / 2, r.left + box, (r.top + r.bottom - box) / 2 + box};
  fill(dc, b, GetSysColor(IsWindowEnabled(h) ? COLOR_WINDOW : COLOR_BTNFACE));
  bool radio = type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
  if (radio) {
    HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
    HGDIOBJ old_pen = SelectObject(dc, pen);
    Ellipse(dc, b.left, b.top, b.right, b.bottom);
    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    DeleteObject(pen);
    if (check) {
      HBRUSH dot = CreateSolidBrush(text_colour(h));
      HGDIOBJ ob = SelectObject(dc, dot);
      Ellipse(dc, b.left + 4, b.top + 4, b.right - 4, b.bottom - 4);
      SelectObject(dc, ob);
      DeleteObject(dot);
    }
  } else {
    DrawEdge(dc, &b, EDGE_SUNKEN, BF_RECT);
    if (check == BST_CHECKED || check == BST_INDETERMINATE) {
      COLORREF c = check == BST_INDETERMINATE ? GetSysColor(COLOR_GRAYTEXT) : text_colour(h);
      line(dc, b.left + 3, b.top + 6, b.left + 5, b.top + 9, c, 2);
      line(dc, b.left + 5, b.top + 9, b.left + 10, b.top + 3, c, 2);
    }
  }
  RECT t{r.left + box + 4, r.top, r.right, r.bottom};
  text(dc, label, t, DT_LEFT | DT_VCENTER | DT_SINGLELINE, text_colour(h));
  if (focused) {
    SIZE size{};
    GetTextExtentPoint32W(dc, label.c_str(), static_cast<INT>(label.size()), &size);
    RECT f{t.left - 1, (r.top + r.bottom - size.cy) / 2 - 1, t.left + size.cx + 1, (r.top + r.bottom + size.cy) / 2 + 1};
    DrawFocusRect(dc, &f);
  }
}

void paint_static(HWND h, HDC dc) {
  LONG style = GetWindowLongW(h, GWL_STYLE);
  LONG type = style & SS_TYPEMASK;
  RECT r = client(h);
  if (type == SS_OWNERDRAW) {
    draw_item(h, dc, ODT_STATIC, 0, r, 0, 0);
    return;
  }
  ctl_background(h, dc, WM_CTLCOLORSTATIC, GetSysColor(COLOR_BTNFACE));
  if (type == SS_ICON) {
    auto icon = reinterpret_cast<HICON>(SendMessageW(h, STM_GETICON, 0, 0));
    if (icon) DrawIconEx(dc, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
    return;
  }
  if (type == SS_BITMAP || type == SS_BLACKRECT || type == SS_GRAYRECT || type == SS_WHITERECT || type == SS_BLACKFRAME) {
    if (type == SS_BLACKRECT) fill(dc, r, RGB(0, 0, 0));
    if (type == SS_GRAYRECT) fill(dc, r, GetSysColor(COLOR_BTNSHADOW));
    if (type == SS_WHITERECT) fill(dc, r, RGB(255, 255, 255));
    auto image = type == SS_BITMAP ? reinterpret_cast<HBITMAP>(SendMessageW(h, STM_GETIMAGE, IMAGE_BITMAP, 0)) : nullptr;
    BITMAP shape{};
    if (image && GetObjectW(image, sizeof shape, &shape) == static_cast<INT>(sizeof shape)) {
      // The bitmap at the top left, or centred with SS_CENTERIMAGE.
      const bool centred = (style & SS_CENTERIMAGE) != 0;
      HDC memory = CreateCompatibleDC(dc);
      HGDIOBJ old = SelectObject(memory, image);
      BitBlt(dc, centred ? (r.right - shape.bmWidth) / 2 : 0, centred ? (r.bottom - shape.bmHeight) / 2 : 0,
             shape.bmWidth, shape.bmHeight, memory, 0, 0, SRCCOPY);
      SelectObject(memory, old);
      DeleteDC(memory);
      return;
    }
    if (type == SS_BLACKFRAME || type == SS_BITMAP) frame(dc, r, GetSysColor(COLOR_BTNSHADOW));
    return;
  }
  if (type == SS_ETCHEDHORZ || type == SS_ETCHEDFRAME) {
    DrawEdge(dc, &r, EDGE_ETCHED, type == SS_ETCHEDHORZ ? BF_TOP : BF_RECT);
    return;
  }
  UINT format = (type == SS_CENTER ? DT_CENTER : type == SS_RIGHT ? DT_RIGHT : DT_LEFT) |
                (type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP ? DT_SINGLELINE : DT_WORDBREAK) |
                ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0) | ((style & SS_CENTERIMAGE) ? DT_VCENTER | DT_SINGLELINE : 0);
  if (style & SS_SUNKEN) DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  text(dc, window_text(h), r, format, text_colour(h));
}

// A sunken white field, as edits, lists and combo boxes have.
RECT field(HWND h, HDC dc, bool read_only) {
  RECT r = client(h);
  fill(dc, r, GetSysColor(read_only || !IsWindowEnabled(h) ? COLOR_BTNFACE : COLOR_WINDOW));
  if ((GetWindowLongW(h, GWL_STYLE) & WS_BORDER) || (GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) ||
      is_class(h, WC_COMBOBOXW))
    DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  return r;
}

void paint_edit(HWND h, HDC dc) {
  LONG style = GetWindowLongW(h, GWL_STYLE);
  ctl_background(h, dc, WM_CTLCOLOREDIT, GetSysColor(COLOR_WINDOW));
  RECT r = field(h, dc, (style & ES_READONLY) != 0);
  InflateRect(&r, -2, -1);
  std::u16string s = window_text(h);
  if (style & ES_PASSWORD) s.assign(s.size(), u'*');
  DWORD start = 0, end = 0;
  SendMessageW(h, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  UINT align = (style & ES_RIGHT) ? DT_RIGHT : (style & ES_CENTER) ? DT_CENTER : DT_LEFT;
  bool multi = (style & ES_MULTILINE) != 0;
  text(dc, s, r, align | DT_NOPREFIX | (multi ? DT_WORDBREAK : DT_SINGLELINE | DT_VCENTER), text_colour(h));
  if (GetFocus() != h || multi) return;
  SIZE before{}, upto{};
  GetTextExtentPoint32W(dc, s.c_str(), static_cast<INT>(start), &before);
  GetTextExtentPoint32W(dc, s.c_str(), static_cast<INT>(end), &upto);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  INT top = (r.top + r.bottom - tm.tmHeight) / 2;
  if (end > start) {
    RECT sel{r.left + before.cx, top, r.left + upto.cx, top + tm.tmHeight};
    fill(dc, sel, GetSysColor(COLOR_HIGHLIGHT));
    text(dc, s.substr(start, end - start), sel, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX, GetSysColor(COLOR_HIGHLIGHTTEXT));
  } else {
    line(dc, r.left + upto.cx, top, r.left + upto.cx, top + tm.tmHeight, RGB(0, 0, 0));
  }
}

// One row of a list: owner-drawn by the parent, or text on the selection colour.
void list_row(HWND h, HDC dc, UINT type, INT index, RECT row, bool selected, bool focus_row, bool owner_draw,
              const std::u16string& s, ULONG_PTR data) {
  if (owner_draw) {
    UINT state = (selected ? ODS_SELECTED : 0) | (focus_row ? ODS_FOCUS : 0) | (IsWindowEnabled(h) ? 0 : ODS_DISABLED) |
                 (index < 0 || (type == ODT_COMBOBOX && !selected && focus_row) ? 0 : 0);
    draw_item(h, dc, type, index, row, state, data);
    return;
  }
  if (selected) fill(dc, row, GetSysColor(COLOR_HIGHLIGHT));
  RECT t = row;
  t.left += 2;
  text(dc, s, t, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_EXPANDTABS,
       selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : text_colour(h));
  if (focus_row) DrawFocusRect(dc, &row);
}

std::u16string list_text(HWND h, UINT len_msg, UINT text_msg, INT i) {
  LRESULT n = SendMessageW(h, len_msg, static_cast<WPARAM>(i), 0);
  if (n < 0) return {};
  std::u16string s(static_cast<std::size_t>(n) + 8, u'\0');
  SendMessageW(h, text_msg, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(s.data()));
  s.resize(u16len(s.c_str()));
  return s;
}

void paint_listbox(HWND h, HDC dc) {
  LONG style = GetWindowLongW(h, GWL_STYLE);
  RECT r = field(h, dc, false);
  bool owner = (style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) != 0;
  bool strings = !owner || (style & LBS_HASSTRINGS);
  bool multi = (style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0;
  INT count = static_cast<INT>(SendMessageW(h, LB_GETCOUNT, 0, 0));
  INT cur = static_cast<INT>(SendMessageW(h, multi ? LB_GETCARETINDEX : LB_GETCURSEL, 0, 0));
  INT height = static_cast<INT>(SendMessageW(h, LB_GETITEMHEIGHT, 0, 0));
  INT top = static_cast<INT>(SendMessageW(h, LB_GETTOPINDEX, 0, 0));
  for (INT i = top, y = r.top; i < count && y < r.bottom; ++i, y += height) {
    RECT row{r.left, y, r.right, y + height};
    bool selected = SendMessageW(h, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0;
    list_row(h, dc, ODT_LISTBOX, i, row, selected, GetFocus() == h && i == cur, owner,
             strings ? list_text(h, LB_GETTEXTLEN, LB_GETTEXT, i) : std::u16string(),
             static_cast<ULONG_PTR>(SendMessageW(h, LB_GETITEMDATA, static_cast<WPARAM>(i), 0)));
  }
}

void arrow(HDC dc, RECT b, bool down, COLORREF colour) {
  INT cx = (b.left + b.right) / 2, cy = (b.top + b.bottom) / 2;
  POINT p[3] = {{cx - 3, down ? cy - 1 : cy + 2}, {cx + 4, down ? cy - 1 : cy + 2}, {cx, down ? cy + 3 : cy - 2}};
  HBRUSH brush = CreateSolidBrush(colour);
  HPEN pen = CreatePen(PS_SOLID, 1, colour);
  HGDIOBJ ob = SelectObject(dc, brush), op = SelectObject(dc, pen);
  Polygon(dc, p, 3);
  SelectObject(dc, ob);
  SelectObject(dc, op);
  DeleteObject(brush);
  DeleteObject(pen);
}

void paint_combobox(HWND h, HDC dc) {
  LONG style = GetWindowLongW(h, GWL_STYLE);
  RECT whole = client(h);
  INT field_h = static_cast<INT>(SendMessageW(h, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0)) + 6;
  // Only the selection field: the rest of the window's height is the room
  // of the list when it drops down.
  RECT r{whole.left, whole.top, whole.right, std::min(whole.bottom, whole.top + field_h)};
  fill(dc, r, GetSysColor(IsWindowEnabled(h) ? COLOR_WINDOW : COLOR_BTNFACE));
  DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  RECT button{r.right - 16, r.top, r.right, r.bottom};
  DrawEdge(dc, &button, EDGE_RAISED, BF_RECT | BF_MIDDLE);
  arrow(dc, button, true, text_colour(h));
  RECT value{r.left + 1, r.top + 1, button.left - 1, r.bottom - 1};
  INT cur = static_cast<INT>(SendMessageW(h, CB_GETCURSEL, 0, 0));
  bool owner = (style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) != 0;
  bool list_only = (style & 3) == CBS_DROPDOWNLIST;
  bool focused = GetFocus() == h;
  if (owner) {
    draw_item(h, dc, ODT_COMBOBOX, cur, value, (focused ? ODS_SELECTED | ODS_FOCUS : 0) | ODS_COMBOBOXEDIT |
                                                   (IsWindowEnabled(h) ? 0 : ODS_DISABLED),
              cur >= 0 ? static_cast<ULONG_PTR>(SendMessageW(h, CB_GETITEMDATA, static_cast<WPARAM>(cur), 0)) : 0);
    return;
  }
  list_row(h, dc, ODT_COMBOBOX, cur, value, focused && list_only, focused && list_only, false, window_text(h), 0);
}

void paint_trackbar(HWND h, HDC dc) {
  RECT r = client(h);
  fill(dc, r, GetSysColor(COLOR_BTNFACE));
  bool vertical = (GetWindowLongW(h, GWL_STYLE) & TBS_VERT) != 0;
  INT lo = static_cast<INT>(SendMessageW(h, TBM_GETRANGEMIN, 0, 0));
  INT hi = static_cast<INT>(SendMessageW(h, TBM_GETRANGEMAX, 0, 0));
  INT pos = static_cast<INT>(SendMessageW(h, TBM_GETPOS, 0, 0));
  INT length = (vertical ? r.bottom - r.top : r.right - r.left) - 12;
  INT at = 6 + (hi > lo ? MulDiv(pos - lo, length, hi - lo) : 0);
  RECT channel = vertical ? RECT{r.right / 2 - 2, r.top + 6, r.right / 2 + 2, r.bottom - 6}
                          : RECT{r.left + 6, r.bottom / 2 - 2, r.right - 6, r.bottom / 2 + 2};
  DrawEdge(dc, &channel, EDGE_SUNKEN, BF_RECT);
  RECT thumb = vertical ? RECT{r.left + 2, at - 4, r.right - 2, at + 5} : RECT{at - 4, r.top + 2, at + 5, r.bottom - 2};
  DrawEdge(dc, &thumb, EDGE_RAISED, BF_RECT | BF_MIDDLE);
  if (GetFocus() == h) DrawFocusRect(dc, &r);
}

void paint_updown(HWND h, HDC dc) {
  RECT r = client(h);
  bool horizontal = (GetWindowLongW(h, GWL_STYLE) & UDS_HORZ) != 0;
  RECT a = r, b = r;
  if (horizontal)
    a.right = b.left = (r.left + r.right) / 2;
  else
    a.bottom = b.top = (r.top + r.bottom) / 2;
  DrawEdge(dc, &a, EDGE_RAISED, BF_RECT | BF_MIDDLE);
  DrawEdge(dc, &b, EDGE_RAISED, BF_RECT | BF_MIDDLE);
  arrow(dc, a, false, text_colour(h));
  arrow(dc, b, true, text_colour(h));
}

void paint_scrollbar(HWND h, HDC dc) {
  RECT r = client(h);
  fill(dc, r, GetSysColor(COLOR_SCROLLBAR));
  bool vertical = (GetWindowLongW(h, GWL_STYLE) & SBS_VERT) != 0;
  INT lo = 0, hi = 0;
  GetScrollRange(h, SB_CTL, &lo, &hi);
  INT pos = GetScrollPos(h, SB_CTL);
  INT span = vertical ? r.bottom - r.top : r.right - r.left;
  INT thumb = std::max(8, span / 8);
  INT at = hi > lo ? MulDiv(pos - lo, span - thumb, hi - lo) : 0;
  RECT t = vertical ? RECT{r.left, at, r.right, at + thumb} : RECT{at, r.top, at + thumb, r.bottom};
  DrawEdge(dc, &t, EDGE_RAISED, BF_RECT | BF_MIDDLE);
}

void paint_tabs(HWND h, HDC dc) {
  RECT r = client(h);
  // The body is left to the page shown in it (which lies under the tab
  // control in the tab order); only the tab strip is filled.
  INT count = static_cast<INT>(SendMessageW(h, TCM_GETITEMCOUNT, 0, 0));
  INT cur = static_cast<INT>(SendMessageW(h, TCM_GETCURSEL, 0, 0));
  INT tab_h = 20;
  fill(dc, RECT{r.left, r.top, r.right, r.top + tab_h}, GetSysColor(COLOR_BTNFACE));
  RECT body{r.left, r.top + tab_h, r.right, r.bottom};
  DrawEdge(dc, &body, EDGE_RAISED, BF_RECT);
  INT x = r.left + 2;
  for (INT i = 0; i < count; ++i) {
    WCHAR buf[128] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = buf;
    item.cchTextMax = 128;
    SendMessageW(h, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    SIZE size{};
    GetTextExtentPoint32W(dc, buf, static_cast<INT>(u16len(buf)), &size);
    RECT tab{x, r.top + (i == cur ? 0 : 2), x + size.cx + 12, r.top + tab_h + (i == cur ? 1 : 0)};
    fill(dc, tab, GetSysColor(COLOR_BTNFACE));
    DrawEdge(dc, &tab, EDGE_RAISED, BF_LEFT | BF_TOP | BF_RIGHT);
    text(dc, buf, tab, DT_CENTER | DT_VCENTER | DT_SINGLELINE, text_colour(h));
    if (i == cur && GetFocus() == h) {
      RECT f = tab;
      InflateRect(&f, -3, -3);
      DrawFocusRect(dc, &f);
    }
    x = tab.right;
  }
}

// Rows of a list view. With columns, each column's text (the item's or a
// subitem's) is drawn within the column's width, cut at its right edge,
// the item's small image before the first column's text; without columns
// the item text takes the whole row.
void paint_listview(HWND h, HDC dc) {
  RECT r = field(h, dc, false);
  INT count = static_cast<INT>(SendMessageW(h, LVM_GETITEMCOUNT, 0, 0));
  constexpr UINT kListViewColumns = 0x7FF5;  // the list view's number of columns
  std::vector<INT> widths(static_cast<std::size_t>(SendMessageW(h, kListViewColumns, 0, 0)));
  for (std::size_t c = 0; c < widths.size(); ++c)
    widths[c] = static_cast<INT>(SendMessageW(h, LVM_GETCOLUMNWIDTH, c, 0));
  auto cell = [&](INT i, INT sub) {
    WCHAR buf[256] = {};
    LVITEMW item{};
    item.iSubItem = sub;
    item.pszText = buf;
    item.cchTextMax = 256;
    SendMessageW(h, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    return std::u16string(buf);
  };
  INT height = 17;
  const auto images = reinterpret_cast<HIMAGELIST>(SendMessageW(h, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
  for (INT i = 0, y = r.top; i < count && y < r.bottom; ++i, y += height) {
    UINT state = static_cast<UINT>(SendMessageW(h, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_SELECTED | LVIS_FOCUSED));
    const bool selected = (state & LVIS_SELECTED) != 0;
    const bool focus_row = GetFocus() == h && (state & LVIS_FOCUSED);
    const RECT row{r.left, y, r.right, y + height};
    if (widths.empty()) {
      list_row(h, dc, 0, i, row, selected, focus_row, false, cell(i, 0), 0);
      continue;
    }
    if (selected) fill(dc, row, GetSysColor(COLOR_HIGHLIGHT));
    LONG x = r.left;
    for (std::size_t c = 0; c < widths.size() && x < r.right; ++c) {
      RECT t{x + 2, y, std::min<LONG>(x + widths[c], r.right) - 2, y + height};
      x += widths[c];
      if (c == 0 && images) {
        // The item's small image leads its first column.
        LVITEMW item{};
        item.mask = LVIF_IMAGE;
        item.iItem = i;
        INT cx = 0, cy = 0;
        if (SendMessageW(h, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) &&
            ImageList_GetIconSize(images, &cx, &cy) && t.left + cx <= t.right) {
          ImageList_Draw(images, item.iImage, dc, t.left, y + (height - cy) / 2, ILD_TRANSPARENT);
          t.left += cx + 2;
        }
      }
      if (t.right <= t.left) continue;
      text(dc, cell(i, static_cast<INT>(c)), t, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS,
           selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : text_colour(h));
    }
    if (focus_row) DrawFocusRect(dc, &row);
  }
}

struct Painter {
  const char16_t* class_name;
  void (*paint)(HWND, HDC);
};
constexpr Painter kPainters[] = {
    {WC_BUTTONW, &paint_button},       {WC_STATICW, &paint_static},     {WC_EDITW, &paint_edit},
    {WC_LISTBOXW, &paint_listbox},     {WC_COMBOBOXW, &paint_combobox}, {TRACKBAR_CLASSW, &paint_trackbar},
    {UPDOWN_CLASSW, &paint_updown},    {WC_SCROLLBARW, &paint_scrollbar}, {WC_TABCONTROLW, &paint_tabs},
    {WC_LISTVIEWW, &paint_listview},
};

HDC window_dc(HWND window) {
  Surface& s = last_surface();
  if (!s.bitmap || !IsWindow(s.root) || (window != s.root && !IsChild(s.root, window))) return nullptr;
  POINT at{0, 0};
  MapWindowPoints(window, s.root, &at, 1);
  RECT c = client(window);
  RECT visible{at.x, at.y, at.x + c.right, at.y + c.bottom};
  return create_surface_dc(s.bitmap, at, visible);
}

void draw_tree(HWND h, HWND root, HBITMAP surface, RECT clip) {
  if (!(GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) && h != root) return;
  POINT at{0, 0};
  MapWindowPoints(h, root, &at, 1);
  RECT c = client(h);
  RECT mine{at.x, at.y, at.x + c.right, at.y + c.bottom}, visible;
  if (!IntersectRect(&visible, &mine, &clip)) return;
  HDC dc = create_surface_dc(surface, at, visible);
  if (!dc) return;
  paint_dcs()[h] = dc;
  SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(h, WM_GETFONT, 0, 0)) ? reinterpret_cast<HGDIOBJ>(SendMessageW(h, WM_GETFONT, 0, 0))
                                                                               : GetStockObject(DEFAULT_GUI_FONT));
  if (IsWindow(h)) SendMessageW(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  if (IsWindow(h)) SendMessageW(h, WM_PAINT, 0, 0);
  paint_dcs().erase(h);
  DeleteDC(dc);
  std::vector<HWND> kids;
  for (HWND k = GetWindow(h, GW_CHILD); k; k = GetWindow(k, GW_HWNDNEXT)) kids.push_back(k);
  for (auto it = kids.rbegin(); it != kids.rend(); ++it) draw_tree(*it, root, surface, visible);
}

}  // namespace

bool paint_standard(HWND h, UINT message, WPARAM wParam) {
  Window* w = find(h);
  if (!w || !w->cls) return false;
  if (message == WM_ERASEBKGND) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    RECT r = client(h);
    if (w->is_dialog) {
      auto brush = reinterpret_cast<HBRUSH>(SendMessageW(h, WM_CTLCOLORDLG, wParam, reinterpret_cast<LPARAM>(h)));
      if (brush)
        FillRect(dc, &r, brush);
      else
        fill(dc, r, GetSysColor(COLOR_BTNFACE));
      return true;
    }
    if (w->cls->background) {
      FillRect(dc, &r, w->cls->background);
      return true;
    }
    return false;
  }
  for (const Painter& p : kPainters) {
    if (!u16_iequal(w->cls->name, p.class_name)) continue;
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(h, &ps);
    if (dc) p.paint(h, dc);
    EndPaint(h, &ps);
    return true;
  }
  PAINTSTRUCT ps{};
  BeginPaint(h, &ps);
  EndPaint(h, &ps);
  return true;
}

void install_window_dcs() {
  static bool done = false;
  if (done) return;
  done = true;
  set_window_dc_source(&window_dc);
}

}  // namespace morva::platform::win

using namespace morva::platform::win;

extern "C" {

HDC BeginPaint(HWND window, LPPAINTSTRUCT ps) {
  if (!ps || !IsWindow(window)) return nullptr;
  *ps = PAINTSTRUCT{};
  auto it = paint_dcs().find(window);
  ps->hdc = it != paint_dcs().end() ? it->second : nullptr;
  GetClientRect(window, &ps->rcPaint);
  return ps->hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT*) { return TRUE; }

}  // extern "C"

namespace morva::platform::ui {

bool write_png(HWND window, const std::string& native_path) {
  using namespace morva::platform::win;
  if (!IsWindow(window)) return false;
  install_window_dcs();
  RECT c;
  GetClientRect(window, &c);
  if (c.right <= 0 || c.bottom <= 0) return false;
  HDC screen = GetDC(nullptr);
  HBITMAP surface = CreateCompatibleBitmap(screen, c.right, c.bottom);
  ReleaseDC(nullptr, screen);
  if (!surface) return false;
  Surface& s = last_surface();
  if (s.bitmap) DeleteObject(s.bitmap);
  s.bitmap = surface;
  s.root = window;
  draw_tree(window, window, surface, c);
  return morva::platform::write_png(surface, native_path);
}

}  // namespace morva::platform::ui
