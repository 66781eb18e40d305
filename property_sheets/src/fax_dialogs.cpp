// What the fax page and its dialogs share: the sheet's fax words, setting
// access, message boxes and the plain text checks.
#include "fax_dialogs.h"

#include <cstring>
#include <map>
#include <mutex>

#include "fax/fax_list.h"
#include "fax/fax_registry_lists.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/items/item_access.h"
#include "win/win.h"

using namespace morva::fax;

namespace fax_ui {
namespace {

constexpr INT kCaption = 265;

std::mutex g_words_lock;
std::map<SheetState*, FaxSheetWords> g_words;

SheetContext* context_of(HWND window) {
  SheetContext* c = GetSheetContext(window);
  return c && c->current.devmode ? c : nullptr;
}

}  // namespace

FaxSheetWords* SheetWords(HWND window) {
  SheetState* state = GetSheetState(window);
  if (!state) return nullptr;
  std::lock_guard<std::mutex> hold(g_words_lock);
  return &g_words[state];
}

void ForgetSheetWords(HWND window) {
  SheetState* state = GetSheetState(window);
  std::lock_guard<std::mutex> hold(g_words_lock);
  g_words.erase(state);
}

bool ReadNumber(HWND window, WORD ddmid, LONG* value) {
  SheetContext* c = context_of(window);
  if (!c) return false;
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, c->current.devmode, c->current.printer_data, &type, &size, &v)) return false;
  *value = GetTypedValue(type, &v);
  return true;
}

LONG NumberOr(HWND window, WORD ddmid, LONG fallback) {
  LONG v = 0;
  return ReadNumber(window, ddmid, &v) ? v : fallback;
}

bool ReadText(HWND window, WORD ddmid, std::u16string* text) {
  SheetContext* c = context_of(window);
  if (!c) return false;
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, c->current.devmode, c->current.printer_data, &type, &size, &v) || type != 6) return false;
  *text = v.ptr ? std::u16string(static_cast<LPCWSTR>(v.ptr)) : std::u16string();
  return true;
}

bool WriteNumber(HWND window, WORD ddmid, WORD type, DWORD size, LONG value) {
  SheetContext* c = context_of(window);
  const DWORD v = static_cast<DWORD>(value);
  return c && SetItemValueRaw(ddmid, c->current.devmode, c->current.printer_data, type, size, &v) == 0;
}

bool WriteText(HWND window, WORD ddmid, const std::u16string& text, DWORD max_bytes) {
  SheetContext* c = context_of(window);
  if (!c) return false;
  std::u16string cut = text.substr(0, max_bytes / 2 - 1);
  LPCWSTR p = cut.c_str();
  const DWORD bytes = static_cast<DWORD>((cut.size() + 1) * sizeof(WCHAR));
  return SetItemValueRaw(ddmid, c->current.devmode, c->current.printer_data, 6, bytes, &p) == 0;
}

bool ReadLineSettings(HWND window, FaxLineSettings* line) {
  FaxLineSettings s{};
  std::u16string outside, extension;
  LONG w4111 = 0, w5142 = 0, w5144 = 0, w5145 = 0, w4142 = 0;
  if (!ReadNumber(window, 4111, &w4111) || !ReadNumber(window, 5142, &w5142) || !ReadNumber(window, 5144, &w5144) ||
      !ReadNumber(window, 5145, &w5145) || !ReadNumber(window, 4142, &w4142) || !ReadText(window, 5141, &outside) ||
      !ReadText(window, 5143, &extension))
    return false;
  s.Word4111 = static_cast<WORD>(w4111);
  s.OutsideLineDial = static_cast<WORD>(w5142);
  s.ExtensionDial = static_cast<WORD>(w5144);
  s.DirectDial = static_cast<WORD>(w5145);
  s.Word4142 = static_cast<WORD>(w4142);
  std::memcpy(s.OutsideLinePrefix, outside.c_str(), std::min<size_t>(outside.size(), 5) * sizeof(WCHAR));
  std::memcpy(s.ExtensionPrefix, extension.c_str(), std::min<size_t>(extension.size(), 5) * sizeof(WCHAR));
  *line = s;
  return true;
}

WORD FaxMode(HWND window) {
  SheetContext* c = context_of(window);
  if (!c) return 0;
  const BOOL unit = c->state && TestCapabilityBit(&c->state->capabilities, 0xFFFF0029);
  WORD mode = 0;
  return GetDirectFaxMode(unit, c->current.devmode, c->current.printer_data, &mode) ? mode : 0;
}

BOOL SipFaxOn(HWND window) { return NumberOr(window, 4142, 0) == 1; }

std::u16string FaxUserKey(HWND window, UINT tail_id) {
  const SheetState* state = GetSheetState(window);
  WCHAR key[morva::fax::kFaxUserKeyChars] = {};
  const std::u16string tail = ResourceText(tail_id);
  if (!state || tail.empty() ||
      !morva::fax::GetFaxUserKeyPath(state->database, 1, tail.c_str(), key, morva::fax::kFaxUserKeyChars))
    return {};
  return key;
}

std::u16string ResourceText(UINT id) {
  WCHAR buffer[1024] = {};
  HMODULE module = GetResourceModule();
  const INT n = module ? LoadStringW(module, id, buffer, 1024) : 0;
  return std::u16string(buffer, static_cast<size_t>(n > 0 ? n : 0));
}

INT Warn(HWND owner, UINT id) {
  return ShowResourceMessageBox(owner, kCaption, nullptr, MB_ICONWARNING, static_cast<INT>(id), nullptr);
}

INT Ask(HWND owner, UINT id, UINT buttons) {
  return ShowResourceMessageBox(owner, kCaption, nullptr, buttons | MB_ICONINFORMATION, static_cast<INT>(id),
                                nullptr);
}

INT AskText(HWND owner, const std::u16string& text, UINT buttons) {
  return ShowResourceMessageBox(owner, kCaption, nullptr, buttons, -3, text.c_str());
}

std::u16string ItemText(HWND window, INT id) {
  WCHAR buffer[1024] = {};
  const INT n = GetDlgItemTextW(window, id, buffer, 1024);
  return std::u16string(buffer, static_cast<size_t>(n > 0 ? n : 0));
}

INT ValidateDialog(ControlEvent* event) {
  const ControlSet* set = GetDialogControlSet(event->window, event->kind);
  if (!set) return 0;
  return DispatchToControls(event, UM_VALIDATE_CONTROLS, 0, 0, set->records, set->count, 0);
}

void RequestRefresh(ControlEvent* event, const WORD* settings) {
  INT n = 0;
  while (settings[n]) ++n;
  auto* list = static_cast<WORD*>(GlobalAlloc(GPTR, (n + 1) * sizeof(WORD)));
  if (!list) return;
  std::memcpy(list, settings, n * sizeof(WORD));
  RefreshPageControls(event, list);
  GlobalFree(list);
}

}  // namespace fax_ui

// ---- plain checks -------------------------------------------------------------------

namespace {

std::string to_ansi(const std::u16string& text, bool* ok) {
  *ok = true;
  if (text.empty()) return {};
  BOOL lost = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, &lost);
  if (n <= 0 || lost) {
    *ok = false;
    return {};
  }
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::u16string from_ansi(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

bool lead_byte(char c) { return IsDBCSLeadByte(static_cast<BYTE>(c)) != 0; }

}  // namespace

INT CheckRelayNumbers(const std::u16string& t) {
  INT commas = 0;
  INT chars = 0;
  const size_t n = t.size();
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = t[i];
    const char16_t next = i + 1 < n ? t[i + 1] : 0;
    if (c == u',') {
      if (chars == 0) return 1;
      if (++commas > 19) return 2;
      chars = 0;
      continue;
    }
    if (c == u'#') {
      if (chars != 0 || !next || next == u'#' || next == u'*' || next == u',' || next == u'0') return 1;
      chars = 1;
      continue;
    }
    if (c == u'0' && chars == 0) {
      if (!next || next == u',' || next == u'0') return 1;
      chars = 1;
      continue;
    }
    if (c == u'*' && next && next != u',' && next != u'*') return 1;
    if (++chars > 2) return 1;
  }
  return 0;
}

BOOL IsRefusedMailboxPassword(const std::u16string& text) { return !text.empty() && text.size() < 4; }

std::u16string FaxDisplayNumber(const FaxDestination& d, const std::u16string& outside, const std::u16string& extension,
                                BOOL four_digits, const std::u16string& speed_suffix, const std::u16string& ip_suffix) {
  const std::u16string number(d.Number);
  switch (d.Kind) {
    case kFaxKindSpeedDial: {
      std::u16string padded = number;
      const size_t width = four_digits ? 4 : 3;
      if (padded.size() < width) padded.insert(0, width - padded.size(), u'0');
      return padded + speed_suffix;
    }
    case kFaxKindIpAddress: return number + ip_suffix;
    default: return (d.Line == 2 ? outside : d.Line == 1 ? extension : std::u16string()) + number;
  }
}

std::u16string FitTextToBytes(const std::u16string& text, INT bytes, BOOL pad) {
  bool ok = true;
  std::string a = to_ansi(text.substr(0, text.find(u'\r')), &ok);
  if (!ok || bytes < 0) return {};
  if (static_cast<INT>(a.size()) > bytes) {
    const INT room = std::max(bytes - 3, 0);
    INT cut = 0;
    while (cut < room) {
      const INT step = lead_byte(a[static_cast<size_t>(cut)]) ? 2 : 1;
      if (cut + step > room) break;
      cut += step;
    }
    a = a.substr(0, static_cast<size_t>(cut)) + std::string("...").substr(0, static_cast<size_t>(bytes - cut));
  } else if (pad) {
    a.append(static_cast<size_t>(bytes) - a.size(), ' ');
  }
  return from_ansi(a);
}

INT SplitFormPath(const std::u16string& path, std::u16string* folder, std::u16string* name) {
  const size_t slash = path.rfind(u'\\');
  const std::u16string tail = slash == std::u16string::npos ? path : path.substr(slash + 1);
  if (folder) *folder = slash == std::u16string::npos ? path : path.substr(0, slash);
  if (name) *name = tail.substr(0, tail.find(u'.'));
  return static_cast<INT>(tail.size());
}

INT IsValidFormFileName(const std::u16string& path) {
  const size_t dot = path.find(u'.');
  if (dot == std::u16string::npos || path.find(u'.', dot + 1) != std::u16string::npos) return 1;
  std::u16string name;
  SplitFormPath(path, nullptr, &name);
  return name.size() <= 8 ? 0 : 1;
}

BOOL TextFitsLines(const std::u16string& text, INT bytes, INT lines) {
  bool ok = true;
  const std::string a = to_ansi(text, &ok);
  if (!ok) return FALSE;
  if (static_cast<INT>(a.size()) > 2 * lines * (bytes + 2) - 2) return FALSE;
  INT line = 1, used = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] == '\r' && i + 1 < a.size() && a[i + 1] == '\n') {
      ++i;
      ++line;
      used = 0;
      continue;
    }
    const INT width = lead_byte(a[i]) && i + 1 < a.size() ? 2 : 1;
    if (used + width > bytes) {
      ++line;
      used = 0;
    }
    used += width;
    if (width == 2) ++i;
    if (line > lines) return FALSE;
  }
  return line <= lines;
}
