// Property sheets: pages from PROPSHEETPAGEW records or HPROPSHEETPAGE
// handles in a frame with a tab control and OK, Cancel, Apply and Help.
//
// Rules kept from the real platform:
// - CreatePropertySheetPageW copies dwSize bytes of the record (a caller's
//   data appended to it included) and calls a PSP_USECALLBACK callback with
//   PSPCB_ADDREF; PSPCB_CREATE comes just before the page's window is made
//   (0 refuses the page) and PSPCB_RELEASE when the handle is destroyed.
//   The sheet destroys the pages it was given when it closes.
// - A page's window is created when the page is first shown; its
//   WM_INITDIALOG gets the address of the sheet's copy of its record.
// - Changing pages: PSN_KILLACTIVE to the current page (a non-zero answer
//   keeps it), then the new page is created if needed and gets
//   PSN_SETACTIVE, then it is shown and the old one hidden.
// - OK: PSN_KILLACTIVE to the current page, then PSN_APPLY (lParam TRUE) to
//   every page whose window exists, in page order; PSNRET_INVALID makes
//   that page current and keeps the sheet open, PSNRET_INVALID_NOCHANGEPAGE
//   keeps it open on the current page. Apply does the same with lParam
//   FALSE, leaves the sheet open and disables the Apply button. Pages never
//   shown get no PSN_APPLY (nor PSN_RESET).
// - Cancel (the button, Escape, closing the frame): PSN_QUERYCANCEL to the
//   current page (non-zero keeps the sheet open), then PSN_RESET to every
//   created page.
// - Help: PSN_HELP to the current page; the Help button is enabled only
//   for a page with PSP_HASHELP.
// - PSM_CHANGED enables Apply; PSM_UNCHANGED disables it again when no
//   page is left changed. Every notification's NMHDR comes from the frame.
// - A modal sheet answers 1 when changes were applied (OK, or Apply before
//   Cancel), 0 when not, ID_PSRESTARTWINDOWS / ID_PSREBOOTSYSTEM when a page
//   asked for it and the sheet was closed with OK.
// - Records given by template pointer (PSP_DLGINDIRECT) are not supported
//   here: such a page cannot be created.
#include <algorithm>
#include <cstring>
#include <set>

#include "win/dialog_template.h"
#include "win/errors.h"
#include "win/msgbox.h"
#include "win/prsht.h"
#include "win/resources.h"
#include "win/strings.h"
#include "windows/window_internal.h"

struct _PSP {
  std::vector<BYTE> storage;  // the caller's record, dwSize bytes (at least sizeof(PROPSHEETPAGEW))
  std::u16string template_name, title;
  PROPSHEETPAGEW* page() { return reinterpret_cast<PROPSHEETPAGEW*>(storage.data()); }
};

namespace morva::platform::win {

HWND create_dialog_from_resource(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param,
                                 DWORD add_style, DWORD remove_style);
constexpr UINT kTabPick = 0x7FF4;

namespace {

std::set<_PSP*>& live_pages() {
  static auto* s = new std::set<_PSP*>;
  return *s;
}

std::u16string resource_text(HINSTANCE instance, LPCWSTR text) {
  if (!text) return {};
  if (!IS_INTRESOURCE(text)) return std::u16string(u16view(text));
  WCHAR buf[512];
  INT n = LoadStringW(instance, static_cast<UINT>(reinterpret_cast<ULONG_PTR>(text)), buf, 512);
  return std::u16string(buf, static_cast<std::size_t>(std::max(n, 0)));
}

bool read_page_template(_PSP* p, DialogTemplate& t) {
  PROPSHEETPAGEW* pg = p->page();
  if (pg->dwFlags & PSP_DLGINDIRECT) return false;
  HRSRC res = FindResourceW(pg->hInstance, pg->pszTemplate, RT_DIALOG);
  if (!res) return false;
  const void* bytes = LockResource(LoadResource(pg->hInstance, res));
  return bytes && parse_dialog_template(bytes, SizeofResource(pg->hInstance, res), t);
}

struct SheetPage {
  HPROPSHEETPAGE handle = nullptr;
  HWND window = nullptr;
  bool changed = false;
};

struct Sheet {
  HWND frame = nullptr;
  HWND tab = nullptr;
  std::vector<SheetPage> pages;
  INT current = -1;
  DWORD flags = 0;
  bool modal = true;
  bool applied = false;
  INT restart = 0;  // ID_PSRESTARTWINDOWS / ID_PSREBOOTSYSTEM asked for
  RECT page_rect{};
};

std::map<HWND, std::unique_ptr<Sheet>>& sheets() {
  static auto* m = new std::map<HWND, std::unique_ptr<Sheet>>;
  return *m;
}

Sheet* sheet_of(HWND frame) {
  auto it = sheets().find(frame);
  return it == sheets().end() ? nullptr : it->second.get();
}

LRESULT notify_page(Sheet* s, INT index, UINT code, LPARAM param = 0) {
  if (index < 0 || index >= static_cast<INT>(s->pages.size())) return 0;
  HWND page = s->pages[index].window;
  if (!page || !IsWindow(page)) return 0;
  PSHNOTIFY n{};
  n.hdr.hwndFrom = s->frame;
  n.hdr.idFrom = 0;
  n.hdr.code = code;
  n.lParam = param;
  return SendMessageW(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&n));
}

bool create_page(Sheet* s, INT index) {
  SheetPage& sp = s->pages[index];
  if (sp.window) return true;
  PROPSHEETPAGEW* pg = sp.handle->page();
  if (pg->dwFlags & PSP_DLGINDIRECT) return false;
  if ((pg->dwFlags & PSP_USECALLBACK) && pg->pfnCallback && pg->pfnCallback(nullptr, PSPCB_CREATE, pg) == 0) return false;
  HWND frame = s->frame;
  HWND page = create_dialog_from_resource(pg->hInstance, pg->pszTemplate, frame, pg->pfnDlgProc,
                                          reinterpret_cast<LPARAM>(pg), WS_CHILD | DS_CONTROL,
                                          WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_MODALFRAME);
  s = sheet_of(frame);
  if (!s || !page) return false;
  s->pages[index].window = page;
  // Pages follow the tab control in the frame's tab order.
  SetWindowPos(page, s->tab, s->page_rect.left, s->page_rect.top, s->page_rect.right - s->page_rect.left,
               s->page_rect.bottom - s->page_rect.top, SWP_NOACTIVATE);
  return true;
}

void update_help(Sheet* s) {
  HWND help = GetDlgItem(s->frame, IDHELP);
  if (!help || s->current < 0) return;
  EnableWindow(help, (s->pages[s->current].handle->page()->dwFlags & PSP_HASHELP) ? TRUE : FALSE);
}

// Makes page `index` current; false when the current page refused to be
// left or the new page could not be created.
bool activate(HWND frame, INT index, bool check_leave) {
  Sheet* s = sheet_of(frame);
  if (!s || index < 0 || index >= static_cast<INT>(s->pages.size())) return false;
  if (index == s->current) return true;
  if (check_leave && s->current >= 0 && notify_page(s, s->current, PSN_KILLACTIVE)) return false;
  if (!(s = sheet_of(frame)) || !create_page(s, index)) return false;
  if (!(s = sheet_of(frame))) return false;
  INT old = s->current;
  s->current = index;
  notify_page(s, index, PSN_SETACTIVE);
  if (!(s = sheet_of(frame))) return false;
  if (s->pages[index].window) ShowWindow(s->pages[index].window, SW_SHOW);
  if (old >= 0 && old != index && s->pages[old].window) ShowWindow(s->pages[old].window, SW_HIDE);
  SendMessageW(s->tab, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
  update_help(s);
  return true;
}

void close_sheet(HWND frame, INT_PTR result) {
  Sheet* s = sheet_of(frame);
  if (!s) return;
  if (s->modal) {
    EndDialog(frame, result);
  } else {
    ShowWindow(frame, SW_HIDE);
    s->current = -1;
  }
}

// OK (closing) or Apply: false when a page kept the sheet from applying.
bool apply(HWND frame, bool closing) {
  Sheet* s = sheet_of(frame);
  if (!s) return false;
  if (s->current >= 0 && notify_page(s, s->current, PSN_KILLACTIVE)) return false;
  for (INT i = 0; (s = sheet_of(frame)) && i < static_cast<INT>(s->pages.size()); ++i) {
    if (!s->pages[i].window) continue;
    LRESULT r = notify_page(s, i, PSN_APPLY, closing ? TRUE : FALSE);
    if (r == PSNRET_INVALID) {
      activate(frame, i, false);
      return false;
    }
    if (r == PSNRET_INVALID_NOCHANGEPAGE) return false;
  }
  if (!(s = sheet_of(frame))) return false;
  s->applied = true;
  for (SheetPage& p : s->pages) p.changed = false;
  if (HWND b = GetDlgItem(frame, ID_APPLY_NOW)) EnableWindow(b, FALSE);
  return true;
}

void cancel(HWND frame) {
  Sheet* s = sheet_of(frame);
  if (!s) return;
  if (s->current >= 0 && notify_page(s, s->current, PSN_QUERYCANCEL)) return;
  for (INT i = 0; (s = sheet_of(frame)) && i < static_cast<INT>(s->pages.size()); ++i)
    if (s->pages[i].window) notify_page(s, i, PSN_RESET, FALSE);
  if ((s = sheet_of(frame))) close_sheet(frame, s->applied ? 1 : 0);
}

void press(HWND frame, INT id) {
  Sheet* s = sheet_of(frame);
  if (!s) return;
  switch (id) {
    case IDOK:
      if (apply(frame, true) && (s = sheet_of(frame))) close_sheet(frame, s->restart ? s->restart : 1);
      break;
    case IDCANCEL: cancel(frame); break;
    case ID_APPLY_NOW: apply(frame, false); break;
    case IDHELP: notify_page(s, s->current, PSN_HELP); break;
    default: break;
  }
}

INT page_index(Sheet* s, HPROPSHEETPAGE h) {
  for (std::size_t i = 0; i < s->pages.size(); ++i)
    if (s->pages[i].handle == h) return static_cast<INT>(i);
  return -1;
}

INT_PTR answer(HWND frame, LRESULT value) {
  SetWindowLongPtrW(frame, DWLP_MSGRESULT, value);
  return TRUE;
}

void add_tab(Sheet* s, INT index) {
  _PSP* p = s->pages[index].handle;
  PROPSHEETPAGEW* pg = p->page();
  std::u16string title;
  if (pg->dwFlags & PSP_USETITLE) {
    title = resource_text(pg->hInstance, pg->pszTitle);
  } else {
    DialogTemplate t;
    if (read_page_template(p, t)) title = t.title;
  }
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = title.data();
  SendMessageW(s->tab, TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

INT_PTR sheet_proc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
  Sheet* s = sheet_of(frame);
  if (!s) return FALSE;
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) press(frame, LOWORD(wParam));
      return TRUE;
    case WM_NOTIFY: {
      auto* nm = reinterpret_cast<const NMHDR*>(lParam);
      if (!nm || nm->hwndFrom != s->tab) return FALSE;
      if (nm->code == TCN_SELCHANGING)
        return answer(frame, s->current >= 0 && notify_page(s, s->current, PSN_KILLACTIVE) ? TRUE : FALSE);
      if (nm->code == TCN_SELCHANGE) {
        INT want = static_cast<INT>(SendMessageW(s->tab, TCM_GETCURSEL, 0, 0));
        INT was = s->current;
        if (!activate(frame, want, false) && (s = sheet_of(frame))) SendMessageW(s->tab, TCM_SETCURSEL, static_cast<WPARAM>(was), 0);
      }
      return FALSE;
    }
    case PSM_SETCURSEL: {
      INT index = lParam ? page_index(s, reinterpret_cast<HPROPSHEETPAGE>(lParam)) : static_cast<INT>(wParam);
      return answer(frame, activate(frame, index, true));
    }
    case PSM_SETCURSELID: {
      for (INT i = 0; i < static_cast<INT>(s->pages.size()); ++i) {
        LPCWSTR name = s->pages[i].handle->page()->pszTemplate;
        if (IS_INTRESOURCE(name) && reinterpret_cast<ULONG_PTR>(name) == static_cast<ULONG_PTR>(lParam))
          return answer(frame, activate(frame, i, true));
      }
      return answer(frame, FALSE);
    }
    case PSM_CHANGED:
    case PSM_UNCHANGED: {
      for (SheetPage& p : s->pages)
        if (p.window == reinterpret_cast<HWND>(wParam)) p.changed = message == PSM_CHANGED;
      bool any = std::any_of(s->pages.begin(), s->pages.end(), [](const SheetPage& p) { return p.changed; });
      if (HWND b = GetDlgItem(frame, ID_APPLY_NOW)) EnableWindow(b, any ? TRUE : FALSE);
      return answer(frame, 0);
    }
    case PSM_CANCELTOCLOSE:
      if (HWND c = GetDlgItem(frame, IDCANCEL)) EnableWindow(c, FALSE);
      if (HWND ok = GetDlgItem(frame, IDOK)) SetWindowTextW(ok, u"Close");
      return answer(frame, 0);
    case PSM_RESTARTWINDOWS: s->restart = std::max(s->restart, ID_PSRESTARTWINDOWS); return answer(frame, 0);
    case PSM_REBOOTSYSTEM: s->restart = ID_PSREBOOTSYSTEM; return answer(frame, 0);
    case PSM_QUERYSIBLINGS:
      for (INT i = 0; (s = sheet_of(frame)) && i < static_cast<INT>(s->pages.size()); ++i) {
        HWND page = s->pages[i].window;
        if (!page) continue;
        LRESULT r = SendMessageW(page, PSM_QUERYSIBLINGS, wParam, lParam);
        if (r) return answer(frame, r);
      }
      return answer(frame, 0);
    case PSM_PRESSBUTTON: {
      static constexpr INT kIds[] = {0, 0, 0, IDOK, ID_APPLY_NOW, IDCANCEL, IDHELP};
      if (wParam < std::size(kIds) && kIds[wParam]) press(frame, kIds[wParam]);
      return answer(frame, 0);
    }
    case PSM_APPLY: return answer(frame, apply(frame, false));
    case PSM_GETCURRENTPAGEHWND:
      return answer(frame, reinterpret_cast<LRESULT>(s->current >= 0 ? s->pages[s->current].window : nullptr));
    case PSM_GETTABCONTROL: return answer(frame, reinterpret_cast<LRESULT>(s->tab));
    case PSM_ISDIALOGMESSAGE: return answer(frame, IsDialogMessageW(frame, reinterpret_cast<LPMSG>(lParam)));
    case PSM_SETTITLEW: {
      std::u16string title = resource_text(nullptr, reinterpret_cast<LPCWSTR>(lParam));
      if (wParam & PSH_PROPTITLE) title += u" Properties";
      SetWindowTextW(frame, title.c_str());
      return answer(frame, 0);
    }
    case PSM_INDEXTOPAGE: {
      INT i = static_cast<INT>(wParam);
      return answer(frame, i >= 0 && i < static_cast<INT>(s->pages.size()) ? reinterpret_cast<LRESULT>(s->pages[i].handle) : 0);
    }
    case PSM_PAGETOINDEX: return answer(frame, page_index(s, reinterpret_cast<HPROPSHEETPAGE>(lParam)));
    case PSM_ADDPAGE: {
      auto h = reinterpret_cast<HPROPSHEETPAGE>(lParam);
      if (!live_pages().count(h)) return answer(frame, FALSE);
      s->pages.push_back(SheetPage{h});
      add_tab(s, static_cast<INT>(s->pages.size()) - 1);
      return answer(frame, TRUE);
    }
    case PSM_REMOVEPAGE: {
      INT i = lParam ? page_index(s, reinterpret_cast<HPROPSHEETPAGE>(lParam)) : static_cast<INT>(wParam);
      if (i < 0 || i >= static_cast<INT>(s->pages.size())) return answer(frame, FALSE);
      if (i == s->current) {
        INT other = i + 1 < static_cast<INT>(s->pages.size()) ? i + 1 : i - 1;
        if (other >= 0) activate(frame, other, false);
        if (!(s = sheet_of(frame))) return TRUE;
      }
      SheetPage gone = s->pages[i];
      s->pages.erase(s->pages.begin() + i);
      if (s->current > i) --s->current;
      if (s->current == i) s->current = -1;
      SendMessageW(s->tab, TCM_DELETEITEM, static_cast<WPARAM>(i), 0);
      if (gone.window) DestroyWindow(gone.window);
      DestroyPropertySheetPage(gone.handle);
      return answer(frame, TRUE);
    }
    case WM_NCDESTROY: {
      std::unique_ptr<Sheet> dead = std::move(sheets()[frame]);
      sheets().erase(frame);
      for (SheetPage& p : dead->pages) DestroyPropertySheetPage(p.handle);
      return FALSE;
    }
    default: return FALSE;
  }
}

}  // namespace

bool is_sheet_frame(HWND window) { return sheet_of(window) != nullptr; }

HWND sheet_current_page(HWND frame) {
  Sheet* s = sheet_of(frame);
  return s && s->current >= 0 ? s->pages[s->current].window : nullptr;
}

HWND sheet_tab(HWND frame) {
  Sheet* s = sheet_of(frame);
  return s ? s->tab : nullptr;
}

bool sheet_select_page(HWND frame, INT index) {
  Sheet* s = sheet_of(frame);
  if (!s || index < 0 || index >= static_cast<INT>(s->pages.size())) return false;
  SendMessageW(s->tab, kTabPick, static_cast<WPARAM>(index), 0);
  s = sheet_of(frame);
  return s && s->current == index;
}

}  // namespace morva::platform::win

using namespace morva;
using namespace morva::platform;
using namespace morva::platform::win;

extern "C" {

HPROPSHEETPAGE CreatePropertySheetPageW(LPCPROPSHEETPAGEW page) {
  if (!page || page->dwSize < PROPSHEETPAGEW_V1_SIZE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* p = new _PSP;
  p->storage.assign(std::max<std::size_t>(page->dwSize, sizeof(PROPSHEETPAGEW)), 0);
  std::memcpy(p->storage.data(), page, page->dwSize);
  PROPSHEETPAGEW* pg = p->page();
  // Names given as strings are the caller's; keep copies.
  if (!(pg->dwFlags & PSP_DLGINDIRECT) && pg->pszTemplate && !IS_INTRESOURCE(pg->pszTemplate)) {
    p->template_name = u16view(pg->pszTemplate);
    pg->pszTemplate = p->template_name.c_str();
  }
  if ((pg->dwFlags & PSP_USETITLE) && pg->pszTitle && !IS_INTRESOURCE(pg->pszTitle)) {
    p->title = u16view(pg->pszTitle);
    pg->pszTitle = p->title.c_str();
  }
  live_pages().insert(p);
  if ((pg->dwFlags & PSP_USECALLBACK) && pg->pfnCallback) pg->pfnCallback(nullptr, PSPCB_ADDREF, pg);
  return p;
}

BOOL DestroyPropertySheetPage(HPROPSHEETPAGE page) {
  if (!page || !live_pages().erase(page)) return FALSE;
  PROPSHEETPAGEW* pg = page->page();
  if ((pg->dwFlags & PSP_USECALLBACK) && pg->pfnCallback) pg->pfnCallback(nullptr, PSPCB_RELEASE, pg);
  delete page;
  return TRUE;
}

INT_PTR PropertySheetW(LPCPROPSHEETHEADERW header) {
  if (!header || header->dwSize < offsetof(PROPSHEETHEADERW, pfnCallback)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  auto s = std::make_unique<Sheet>();
  s->flags = header->dwFlags;
  s->modal = !(header->dwFlags & PSH_MODELESS);
  for (UINT i = 0; i < header->nPages; ++i) {
    HPROPSHEETPAGE h;
    if (header->dwFlags & PSH_PROPSHEETPAGE) {
      // Records follow one another, each dwSize bytes long.
      const BYTE* at = reinterpret_cast<const BYTE*>(header->ppsp);
      for (UINT k = 0; k < i; ++k) at += reinterpret_cast<LPCPROPSHEETPAGEW>(at)->dwSize;
      auto* rec = reinterpret_cast<LPCPROPSHEETPAGEW>(at);
      h = CreatePropertySheetPageW(rec);
    } else {
      h = header->phpage[i];
      if (!live_pages().count(h)) h = nullptr;
    }
    if (!h) {
      for (SheetPage& p : s->pages) DestroyPropertySheetPage(p.handle);
      SetLastError(ERROR_INVALID_PARAMETER);
      return -1;
    }
    s->pages.push_back(SheetPage{h});
  }
  // The frame: the largest page, the tab control around it, the buttons below.
  constexpr INT bx = 6, by = 13;  // base units of the frame's 8-point font
  INT pw = 0, ph = 0;
  for (SheetPage& p : s->pages) {
    DialogTemplate t;
    if (!read_page_template(p.handle, t)) continue;
    INT pbx = bx, pby = by;
    if (t.has_font) {
      pby = scale(t.point_size, 96, 72) + 2;
      pbx = std::max(1, scale(pby, 6, 13));
    }
    pw = std::max(pw, scale(t.cx, pbx, 4));
    ph = std::max(ph, scale(t.cy, pby, 8));
  }
  INT margin = scale(7, bx, 4), tab_head = 24, button_w = scale(50, bx, 4), button_h = scale(14, by, 8);
  RECT tab{margin, margin, margin + pw + 8, margin + ph + tab_head + 4};
  s->page_rect = RECT{tab.left + 4, tab.top + tab_head, tab.left + 4 + pw, tab.top + tab_head + ph};
  INT width = tab.right + margin, height = tab.bottom + margin + button_h + margin;
  POINT at{0, 0};
  if (header->hwndParent) ClientToScreen(header->hwndParent, &at);
  RECT frame_rect{at.x + 20, at.y + 20, at.x + 20 + width, at.y + 20 + height};
  std::u16string caption = resource_text(header->hInstance, header->pszCaption);
  if (header->dwFlags & PSH_PROPTITLE) caption += u" Properties";
  HWND frame = create_dialog_window(header->hInstance, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, WS_EX_CONTROLPARENT,
                                    frame_rect, caption, header->hwndParent, &sheet_proc, 0);
  if (!frame) {
    for (SheetPage& p : s->pages) DestroyPropertySheetPage(p.handle);
    return -1;
  }
  s->frame = frame;
  Sheet* sheet = s.get();
  sheets()[frame] = std::move(s);
  find(frame)->base_x = bx;
  find(frame)->base_y = by;
  sheet->tab = CreateWindowExW(0, WC_TABCONTROLW, u"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, tab.left, tab.top,
                               tab.right - tab.left, tab.bottom - tab.top, frame,
                               reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(IDC_PS_TABCONTROL)), header->hInstance, nullptr);
  struct ButtonRow {
    INT id;
    const char16_t* text;
    DWORD style;
  };
  bool help = (header->dwFlags & PSH_HASHELP) ||
              std::any_of(sheet->pages.begin(), sheet->pages.end(),
                          [](const SheetPage& p) { return (p.handle->page()->dwFlags & PSP_HASHELP) != 0; });
  std::vector<ButtonRow> buttons = {{IDOK, u"OK", BS_DEFPUSHBUTTON}, {IDCANCEL, u"Cancel", BS_PUSHBUTTON}};
  if (!(header->dwFlags & PSH_NOAPPLYNOW)) buttons.push_back({ID_APPLY_NOW, u"&Apply", BS_PUSHBUTTON | WS_DISABLED});
  if (help) buttons.push_back({IDHELP, u"Help", BS_PUSHBUTTON});
  INT x = width - margin - static_cast<INT>(buttons.size()) * (button_w + 4) + 4;
  for (const ButtonRow& b : buttons) {
    CreateWindowExW(0, WC_BUTTONW, b.text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | b.style, x, tab.bottom + margin, button_w,
                    button_h, frame, reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(b.id)), header->hInstance, nullptr);
    x += button_w + 4;
  }
  SendMessageW(frame, DM_SETDEFID, IDOK, 0);
  for (INT i = 0; i < static_cast<INT>(sheet->pages.size()); ++i) add_tab(sheet, i);
  if ((header->dwFlags & PSH_USECALLBACK) && header->pfnCallback) header->pfnCallback(frame, PSCB_INITIALIZED, 0);
  INT start = 0;
  if (header->dwFlags & PSH_USEPSTARTPAGE) {
    for (INT i = 0; i < static_cast<INT>(sheet->pages.size()); ++i) {
      PROPSHEETPAGEW* pg = sheet->pages[i].handle->page();
      if (header->pStartPage && pg->dwFlags & PSP_USETITLE && resource_text(pg->hInstance, pg->pszTitle) == u16view(header->pStartPage))
        start = i;
    }
  } else if (header->nStartPage < sheet->pages.size()) {
    start = static_cast<INT>(header->nStartPage);
  }
  if (sheet->pages.empty() || !activate(frame, start, false)) {
    DestroyWindow(frame);
    return -1;
  }
  if (Sheet* again = sheet_of(frame); again && again->current >= 0) {
    if (HWND first = GetNextDlgTabItem(again->pages[again->current].window, nullptr, FALSE)) SetFocus(first);
  }
  if (!(header->dwFlags & PSH_MODELESS)) return run_modal(frame);
  ShowWindow(frame, SW_SHOW);
  return reinterpret_cast<INT_PTR>(frame);
}

}  // extern "C"
