// Edit controls: text with a limit, read-only mode, selection, one level of
// undo, and the notifications of each change.
//
// Rules kept from the real platform:
// - Every change of the text, typed or programmatic (WM_SETTEXT,
//   EM_REPLACESEL, undo), sends EN_UPDATE and then EN_CHANGE.
// - WM_SETTEXT is not held to the limit and empties the undo buffer and
//   the modified flag; typing and EM_REPLACESEL are cut to the limit and a
//   keystroke that does not fit sends EN_MAXTEXT and changes nothing.
// - The default limit is 32767 characters; EM_LIMITTEXT 0 sets the largest.
// - A read-only edit refuses typing and deletion (with a beep) but still
//   takes WM_SETTEXT.
// - ES_NUMBER refuses typed characters other than digits; ES_UPPERCASE and
//   ES_LOWERCASE convert what is typed.
// - EN_SETFOCUS follows WM_SETFOCUS; EN_KILLFOCUS is sent from
//   WM_KILLFOCUS, when the focus has already moved to the other window.
// - Ctrl+Z (0x1A) undoes and Ctrl+A (0x01) selects all.
#include "win/edit_word_break.h"
#include "win/msgbox.h"
#include "win/strings.h"
#include "windows/text_field.h"
#include "windows/window_internal.h"

namespace morva::platform::win {
namespace {

struct EditData : ControlData {
  TextField field;
  RECT format{};
  bool has_format = false;
  WCHAR password = 0;
  EDITWORDBREAKPROCW word_break = nullptr;  // kept for the owner; the stand-in does not wrap
  EditData() { field.limit = 32767; }
};

void changed(HWND h) {
  notify_command(h, EN_UPDATE);
  notify_command(h, EN_CHANGE);
}

bool read_only(HWND h) { return (GetWindowLongW(h, GWL_STYLE) & ES_READONLY) != 0; }

void type_char(HWND h, EditData* d, WCHAR c) {
  LONG style = GetWindowLongW(h, GWL_STYLE);
  if (c == 0x1A) {  // Ctrl+Z
    if (d->field.undo()) changed(h);
    return;
  }
  if (c == 0x01) {  // Ctrl+A
    d->field.set_selection(0, -1);
    return;
  }
  if (read_only(h)) {
    MessageBeep(0);
    return;
  }
  if (c == VK_BACK) {
    if (d->field.lo() == d->field.hi()) {
      if (d->field.sel_end == 0) return;
      d->field.sel_start = d->field.sel_end - 1;
    }
    d->field.replace_selection(u"", true);
    changed(h);
    return;
  }
  if (c == u'\r' && !(style & ES_MULTILINE)) return;
  if (c < 0x20 && c != u'\r' && c != u'\t') return;
  if ((style & ES_NUMBER) && (c < u'0' || c > u'9')) {
    MessageBeep(0);
    return;
  }
  if (style & ES_UPPERCASE) c = u16_upper(c);
  if (style & ES_LOWERCASE) c = u16_lower(c);
  std::u16string insert = c == u'\r' ? std::u16string(u"\r\n") : std::u16string(1, c);
  bool truncated = false;
  if (insert.size() + d->field.text.size() - (d->field.hi() - d->field.lo()) > d->field.limit) {
    notify_command(h, EN_MAXTEXT);
    return;
  }
  if (d->field.replace_selection(insert, true, &truncated)) changed(h);
}

}  // namespace

LRESULT edit_proc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* d = data_or_create<EditData>(h);
  if (!d) return 0;
  TextField& f = d->field;
  switch (message) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      f.reset(cs ? text_of(cs->lpszName) : std::u16string());
      return TRUE;
    }
    case WM_SETTEXT:
      f.reset(text_of(reinterpret_cast<LPCWSTR>(lParam)));
      changed(h);
      return TRUE;
    case WM_GETTEXT: return copy_text_out(f.text, wParam, lParam);
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(f.text.size());
    case WM_GETDLGCODE: {
      LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
      if ((GetWindowLongW(h, GWL_STYLE) & (ES_MULTILINE | ES_WANTRETURN)) == (ES_MULTILINE | ES_WANTRETURN))
        code |= DLGC_WANTALLKEYS;
      return code;
    }
    case WM_CHAR: type_char(h, d, static_cast<WCHAR>(wParam)); return 0;
    case WM_KEYDOWN: {
      bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
      std::size_t caret = f.sel_end;
      switch (wParam) {
        case VK_DELETE:
          if (read_only(h)) {
            MessageBeep(0);
            return 0;
          }
          if (f.lo() == f.hi()) {
            if (f.sel_end >= f.text.size()) return 0;
            f.sel_start = f.sel_end + 1;
          }
          f.replace_selection(u"", true);
          changed(h);
          return 0;
        case VK_LEFT: caret = caret ? caret - 1 : 0; break;
        case VK_RIGHT: caret = std::min(caret + 1, f.text.size()); break;
        case VK_HOME: caret = 0; break;
        case VK_END: caret = f.text.size(); break;
        default: return DefWindowProcW(h, message, wParam, lParam);
      }
      f.sel_end = caret;
      if (!shift) f.sel_start = caret;
      return 0;
    }
    case WM_LBUTTONDOWN: SetFocus(h); return 0;
    case WM_SETFOCUS: notify_command(h, EN_SETFOCUS); return 0;
    case WM_KILLFOCUS: notify_command(h, EN_KILLFOCUS); return 0;
    case EM_GETSEL: {
      if (wParam) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(f.lo());
      if (lParam) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(f.hi());
      return f.hi() > 0xFFFF ? -1 : MAKELONG(f.lo(), f.hi());
    }
    case EM_SETSEL: f.set_selection(static_cast<LONG>(wParam), static_cast<LONG>(lParam)); return 0;
    case EM_REPLACESEL: {
      bool truncated = false;
      if (f.replace_selection(text_of(reinterpret_cast<LPCWSTR>(lParam)), wParam != 0, &truncated)) changed(h);
      if (truncated) notify_command(h, EN_MAXTEXT);
      return 0;
    }
    case EM_LIMITTEXT: f.limit = wParam ? static_cast<std::size_t>(wParam) : 0x7FFFFFFE; return 0;
    case EM_GETLIMITTEXT: return static_cast<LRESULT>(f.limit);
    case EM_GETMODIFY: return f.modified ? TRUE : FALSE;
    case EM_SETMODIFY: f.modified = wParam != 0; return 0;
    case EM_CANUNDO: return f.can_undo ? TRUE : FALSE;
    case EM_UNDO:
    case WM_UNDO:
      if (!f.undo()) return FALSE;
      changed(h);
      return TRUE;
    case EM_EMPTYUNDOBUFFER:
      f.can_undo = false;
      f.undo_text.clear();
      return 0;
    case EM_SETREADONLY: {
      LONG style = GetWindowLongW(h, GWL_STYLE);
      SetWindowLongW(h, GWL_STYLE, wParam ? style | ES_READONLY : style & ~ES_READONLY);
      return TRUE;
    }
    case EM_SETPASSWORDCHAR: d->password = static_cast<WCHAR>(wParam); return 0;
    case EM_GETLINECOUNT: return 1 + static_cast<LRESULT>(std::count(f.text.begin(), f.text.end(), u'\n'));
    case EM_LINELENGTH: {
      std::size_t at = static_cast<LONG>(wParam) < 0 ? f.lo() : std::min<std::size_t>(wParam, f.text.size());
      std::size_t b = f.text.rfind(u'\n', at ? at - 1 : 0);
      b = (b == std::u16string::npos || b >= at) ? 0 : b + 1;
      std::size_t e = f.text.find(u'\r', b);
      return static_cast<LRESULT>((e == std::u16string::npos ? f.text.size() : e) - b);
    }
    case EM_SETRECT:
    case EM_SETRECTNP:
      if (lParam) {
        d->format = *reinterpret_cast<const RECT*>(lParam);
        d->has_format = true;
      } else {
        d->has_format = false;
      }
      return 0;
    case EM_GETRECT:
      if (lParam) {
        if (d->has_format)
          *reinterpret_cast<RECT*>(lParam) = d->format;
        else
          GetClientRect(h, reinterpret_cast<RECT*>(lParam));
      }
      return 0;
    case EM_SETMARGINS: return 0;
    case EM_SETWORDBREAKPROC: d->word_break = reinterpret_cast<EDITWORDBREAKPROCW>(lParam); return 0;
    case EM_GETWORDBREAKPROC: return reinterpret_cast<LRESULT>(d->word_break);
    default: return DefWindowProcW(h, message, wParam, lParam);
  }
}

}  // namespace morva::platform::win
