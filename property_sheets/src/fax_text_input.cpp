// Text checks and multi-line edit helpers of the fax dialogs.
#include "property_sheets/fax_text_input.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "property_sheets/sheet_texts.h"
#include "settings/common/module_state.h"
#include "win/controls.h"
#include "win/edit_word_break.h"
#include "win/win.h"

namespace {

std::u16string resource_text(UINT id, INT chars = 257) {
  std::vector<WCHAR> buffer(static_cast<size_t>(chars), 0);
  const INT n = LoadStringW(GetResourceModule(), id, buffer.data(), chars);
  return n > 0 ? std::u16string(buffer.data(), static_cast<size_t>(n)) : std::u16string();
}

// The byte values of a list of resource strings (hexadecimal numbers
// separated by commas), ended by four zero bytes.
std::vector<BYTE> char_class_table(const UINT* ids) {
  std::vector<BYTE> table;
  for (const UINT* id = ids; id && *id; ++id) {
    const std::u16string text = resource_text(*id);
    std::string number;
    for (size_t i = 0; i <= text.size(); ++i) {
      const char16_t c = i < text.size() ? text[i] : u',';
      if (c == u',') {
        if (!number.empty()) table.push_back(static_cast<BYTE>(std::stoul(number, nullptr, 16)));
        number.clear();
      } else if (c != u' ' && c != u'\t' && number.size() < 8) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return {0, 0, 0, 0};
        number += static_cast<char>(c);
      }
    }
  }
  table.insert(table.end(), 4, 0);
  return table;
}

bool in_sbcs_ranges(const std::vector<BYTE>& t, BYTE b) {
  for (size_t i = 0; i + 1 < t.size() && t[i]; i += 2)
    if (t[i] <= b && b <= t[i + 1]) return true;
  return false;
}
bool in_sbcs_list(const std::vector<BYTE>& t, BYTE b) {
  for (size_t i = 0; i < t.size() && t[i]; ++i)
    if (t[i] == b) return true;
  return false;
}
bool in_dbcs_ranges(const std::vector<BYTE>& t, WORD c) {
  for (size_t i = 0; i + 3 < t.size() && t[i]; i += 4)
    if (((t[i] << 8) | t[i + 1]) <= c && c <= ((t[i + 2] << 8) | t[i + 3])) return true;
  return false;
}
bool in_dbcs_list(const std::vector<BYTE>& t, WORD c) {
  for (size_t i = 0; i + 1 < t.size() && t[i]; i += 2)
    if (((t[i] << 8) | t[i + 1]) == c) return true;
  return false;
}

bool ansi_of(const std::u16string& text, std::string* out) {
  out->clear();
  if (text.empty()) return true;
  LPSTR bytes = nullptr;
  INT length = 0;
  if (!WideToMultiByteStrict(text.c_str(), &bytes, &length) || !bytes) return false;
  out->assign(bytes, static_cast<size_t>(length));
  GlobalFree(bytes);
  return true;
}

std::u16string wide_of(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(std::max(n, 0)), u'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

BYTE first_ansi_byte(UINT id) {
  std::string a;
  return ansi_of(resource_text(id, 7), &a) && !a.empty() ? static_cast<BYTE>(a[0]) : 0;
}

// The sign and decimal separator handling of numeric texts; false when the
// text is refused.
bool prepare_numeric(std::string* text, WORD flags, INT max_decimals) {
  if (flags & kTextSign) {
    const BYTE plus = first_ansi_byte(9239), minus = first_ansi_byte(9240);
    if (!text->empty() && ((plus && BYTE((*text)[0]) == plus) || (minus && BYTE((*text)[0]) == minus))) {
      if (flags & kTextDropSign) text->erase(0, 1);
      else if (flags & kTextRefuseSign) return false;
    }
  }
  if (flags & kTextDecimal) {
    const BYTE separator = first_ansi_byte(9241);
    const size_t at = separator ? text->find(static_cast<char>(separator)) : std::string::npos;
    if (at != std::string::npos) {
      if (text->find(static_cast<char>(separator), at + 1) != std::string::npos) return false;
      if (!(flags & kTextEmptyValid) && static_cast<INT>(text->size() - at - 1) > max_decimals) return false;
      text->erase(at, 1);
    }
  }
  return !text->empty();
}

// Breaks of the wrapped layout: where each line starts in the ANSI text
// and whether it starts after a line end of the text (true) or because the
// line before ran full (false).
struct Line {
  size_t start;
  bool hard;
};

std::vector<Line> lay_out(const std::string& a, INT bytes) {
  std::vector<Line> lines{{0, true}};
  INT used = 0;
  for (size_t i = 0; i < a.size();) {
    if (a[i] == '\r' && i + 1 < a.size() && a[i + 1] == '\n') {
      i += 2;
      lines.push_back({i, true});
      used = 0;
      continue;
    }
    const INT width = IsDBCSLeadByte(static_cast<BYTE>(a[i])) && i + 1 < a.size() ? 2 : 1;
    if (used + width > bytes) {
      lines.push_back({i, false});
      used = 0;
    }
    used += width;
    i += static_cast<size_t>(width);
  }
  return lines;
}

const WCHAR kFontProp[] = u"MorvaCompanyFont";

}  // namespace

INT ValidateTextInput(LPCWSTR text, const UINT* sbcs_ranges, const UINT* dbcs_ranges, const UINT* sbcs_forbidden,
                      const UINT* dbcs_forbidden, WORD flags, INT max_decimals) {
  if (!text) return 0;
  std::string a;
  if (!ansi_of(text, &a)) return 0;
  if (a.empty()) return (flags & kTextEmptyValid) ? 1 : 0;
  if ((flags & (kTextSign | kTextDecimal)) && !prepare_numeric(&a, flags, max_decimals)) return 0;
  const std::vector<BYTE> ranges = char_class_table(sbcs_ranges), wide_ranges = char_class_table(dbcs_ranges);
  const std::vector<BYTE> forbidden = char_class_table(sbcs_forbidden), wide_forbidden = char_class_table(dbcs_forbidden);
  static const UINT kBlank[] = {9236, 0};
  const std::vector<BYTE> blank = char_class_table(kBlank);
  size_t blanks = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const BYTE b = static_cast<BYTE>(a[i]);
    if (IsDBCSLeadByte(b) && i + 1 < a.size()) {
      const BYTE trail = static_cast<BYTE>(a[++i]);
      const WORD c = static_cast<WORD>((b << 8) | trail);
      if (dbcs_ranges && !in_dbcs_ranges(wide_ranges, c)) return 0;
      if (dbcs_forbidden && in_dbcs_list(wide_forbidden, c)) return 0;
      if (blank[0] && blank[0] == b && blank[1] == trail) blanks += 2;
      continue;
    }
    if (sbcs_ranges && !in_sbcs_ranges(ranges, b)) return 0;
    if (sbcs_forbidden && in_sbcs_list(forbidden, b)) return 0;
    if (b < 0x80 && std::isspace(b)) ++blanks;
  }
  return (flags & kTextNotBlank) && blanks == a.size() ? 0 : 1;
}

INT WrapTextToLines(const std::u16string& text, INT bytes, INT lines, std::u16string* wrapped) {
  std::string a;
  if (bytes <= 0 || lines <= 0 || !ansi_of(text, &a)) return 1;
  if (static_cast<INT>(a.size()) > 2 * lines * (bytes + 2) - 2) return 1;
  const std::vector<Line> layout = lay_out(a, bytes);
  if (static_cast<INT>(layout.size()) > lines) return 1;
  bool soft = false;
  for (const Line& l : layout) soft = soft || !l.hard;
  if (!soft) return 0;
  std::string out;
  for (size_t n = 0; n < layout.size(); ++n) {
    if (!layout[n].hard) out += "\r\n";
    const size_t end = n + 1 < layout.size() ? layout[n + 1].start : a.size();
    out.append(a, layout[n].start, end - layout[n].start);
  }
  if (wrapped) *wrapped = wide_of(out);
  return 2;
}

INT FitEditTextToLines(HWND dialog, INT edit_id, INT bytes, INT lines) {
  HWND edit = GetDlgItem(dialog, edit_id);
  if (!edit) return 0;
  const INT length = GetWindowTextLengthW(edit);
  std::u16string text(static_cast<size_t>(length) + 1, u'\0');
  text.resize(static_cast<size_t>(std::max(GetWindowTextW(edit, text.data(), length + 1), 0)));
  std::u16string wrapped;
  const INT fit = WrapTextToLines(text, bytes, lines, &wrapped);
  if (fit != 2) return fit;
  // The caret stays behind the same character: every break put in before
  // it moves it on by two.
  DWORD caret = 0;
  SendMessageW(edit, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&caret));
  DWORD moved = caret;
  for (size_t i = 0, j = 0; i < caret && j < wrapped.size(); ++j) {
    if (wrapped[j] == text[i]) ++i;
    else ++moved;
  }
  SetWindowTextW(edit, wrapped.c_str());
  SendMessageW(edit, EM_SETSEL, moved, static_cast<LPARAM>(moved));
  return 0;
}

void UndoEditIfRefused(HWND dialog, INT edit_id, BOOL refused) {
  HWND edit = GetDlgItem(dialog, edit_id);
  if (!edit) return;
  if (refused && SendMessageW(edit, EM_CANUNDO, 0, 0)) SendMessageW(edit, EM_UNDO, 0, 0);
  SendMessageW(edit, EM_EMPTYUNDOBUFFER, 0, 0);
}

INT CALLBACK NoDelimiterWordBreak(LPWSTR, INT position, INT, INT action) {
  if (action == WB_RIGHT) return position - 1;
  if (action == WB_ISDELIMITER) return FALSE;
  return position;
}

BOOL SetCompanyEditFont(HWND dialog, INT edit_id) {
  HWND edit = GetDlgItem(dialog, edit_id);
  if (!edit) return FALSE;
  SendMessageW(edit, EM_SETWORDBREAKPROC, 0, reinterpret_cast<LPARAM>(&NoDelimiterWordBreak));
  LOGFONTW font{};
  auto dialog_font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  if (!dialog_font || !GetObjectW(dialog_font, sizeof font, &font)) return FALSE;
  const std::u16string face = resource_text(5096, LF_FACESIZE);
  if (face.empty()) return FALSE;
  std::memset(font.lfFaceName, 0, sizeof font.lfFaceName);
  std::memcpy(font.lfFaceName, face.c_str(), std::min<size_t>(face.size(), LF_FACESIZE - 1) * sizeof(WCHAR));
  INT language = 0;
  if (ReadResourceNumber(&language) && language == 1041) {
    if (font.lfHeight % 2) font.lfHeight += font.lfHeight < 0 ? -1 : 1;
  } else {
    HDC dc = GetDC(edit);
    const INT dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ReleaseDC(edit, dc);
    const std::u16string height = resource_text(dpi == 96 ? 4646 : 4647, 16);
    if (height.empty()) return FALSE;
    font.lfHeight = std::stoi(std::string(height.begin(), height.end()));
  }
  HFONT made = CreateFontIndirectW(&font);
  if (!made) return FALSE;
  FreeCompanyEditFont(dialog, edit_id);
  SetPropW(edit, kFontProp, made);
  SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(made), TRUE);
  return TRUE;
}

void FreeCompanyEditFont(HWND dialog, INT edit_id) {
  HWND edit = GetDlgItem(dialog, edit_id);
  if (HANDLE font = edit ? RemovePropW(edit, kFontProp) : nullptr) {
    SendMessageW(edit, WM_SETFONT, 0, FALSE);
    DeleteObject(static_cast<HFONT>(font));
  }
}

void SetCompanyEditMargins(HWND dialog, INT edit_id) {
  HWND edit = GetDlgItem(dialog, edit_id);
  if (!edit) return;
  HDC dc = GetDC(edit);
  const INT dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
  if (dc) ReleaseDC(edit, dc);
  if (dpi == 96) return;
  const std::u16string right = resource_text(4648, 16);
  if (right.empty()) return;
  RECT area{};
  GetClientRect(edit, &area);
  area.right = std::stoi(std::string(right.begin(), right.end()));
  SendMessageW(edit, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&area));
}
