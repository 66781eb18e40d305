// The cover-sheet form list: the last ten form files the user chose, shown
// by name, the chosen one written to the form-file setting and kept first
// in the stored list when the dialog closes with OK.
#include <map>
#include <string>
#include <vector>

#include "fax/fax_registry_lists.h"
#include "fax_dialogs.h"
#include "property_sheets/fax_pages.h"
#include "win/controls.h"
#include "win/win.h"

using namespace morva::fax;
using namespace fax_ui;

namespace {

constexpr INT kForms = 4202, kFolder = 4201, kBrowse = 4209;
constexpr WORD kFormFile = 1830;
constexpr DWORD kFormFileBytes = 258;
constexpr INT kMaxForms = 10;
constexpr DWORD kPathChars = kFormFileBytes / sizeof(WCHAR);

// The paths behind the drop-down's items, by dialog window.
std::map<HWND, std::vector<std::u16string>>& paths_by_dialog() {
  static std::map<HWND, std::vector<std::u16string>> m;
  return m;
}

std::u16string forms_key(HWND window) {
  const SheetState* state = GetSheetState(window);
  WCHAR key[kFaxUserKeyChars] = {};
  if (!state || !GetFaxUserKeyPath(state->database, 1, kCoverSheetFormsKeyTail, key, kFaxUserKeyChars)) return {};
  return key;
}

std::vector<std::u16string> stored_forms(HWND window) {
  const std::u16string key = forms_key(window);
  std::vector<std::u16string> out;
  if (key.empty()) return out;
  WCHAR texts[kMaxForms][kPathChars] = {};
  LPWSTR buffers[kMaxForms];
  for (INT i = 0; i < kMaxForms; ++i) buffers[i] = texts[i];
  const INT n = ReadNumberedStrings(key.c_str(), kFormPathValuePrefix, buffers, kFormFileBytes, kMaxForms);
  for (INT i = 0; i < n; ++i) out.push_back(texts[i]);
  return out;
}

// Shows the paths by name and selects `selected` (-1: none).
void show_forms(HWND window, const std::vector<std::u16string>& paths, INT selected) {
  paths_by_dialog()[window] = paths;
  HWND combo = GetDlgItem(window, kForms);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const std::u16string& path : paths) {
    std::u16string name;
    SplitFormPath(path, nullptr, &name);
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  }
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  std::u16string folder;
  if (selected >= 0 && static_cast<size_t>(selected) < paths.size())
    SplitFormPath(paths[static_cast<size_t>(selected)], &folder, nullptr);
  SetDlgItemTextW(window, kFolder, folder.c_str());
}

INT index_of(const std::vector<std::u16string>& paths, const std::u16string& path) {
  for (size_t i = 0; i < paths.size(); ++i)
    if (paths[i] == path) return static_cast<INT>(i);
  return -1;
}

// The chosen path first, then the others; a new path on a full list drops
// the last one.
std::vector<std::u16string> with_first(std::vector<std::u16string> paths, const std::u16string& path) {
  const INT at = index_of(paths, path);
  if (at >= 0) paths.erase(paths.begin() + at);
  paths.insert(paths.begin(), path);
  if (paths.size() > kMaxForms) paths.resize(kMaxForms);
  return paths;
}

bool readable(const std::u16string& path) {
  if (path.empty()) return false;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

INT FormListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord*,
                    const void*) {
  HWND window = event->window;
  if (message == WM_INITDIALOG) {
    std::u16string current;
    ReadText(window, kFormFile, &current);
    std::vector<std::u16string> paths = stored_forms(window);
    if (current.empty()) show_forms(window, paths, -1);
    else show_forms(window, with_first(paths, current), 0);
    return 0;
  }
  if (message == WM_COMMAND && (HIWORD(wParam) == CBN_SELENDOK || HIWORD(wParam) == CBN_SELCHANGE)) {
    const std::vector<std::u16string>& paths = paths_by_dialog()[window];
    const INT at = static_cast<INT>(SendDlgItemMessageW(window, kForms, CB_GETCURSEL, 0, 0));
    if (at < 0 || static_cast<size_t>(at) >= paths.size()) return 0;
    WriteText(window, kFormFile, paths[static_cast<size_t>(at)], kFormFileBytes);
    show_forms(window, paths, at);
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == CBN_CLOSEUP) {
    std::u16string current;
    ReadText(window, kFormFile, &current);
    const std::vector<std::u16string> paths = paths_by_dialog()[window];
    show_forms(window, paths, index_of(paths, current));
    return 0;
  }
  if (IsNotifyCode(message, lParam, PSN_RESET) || message == WM_DESTROY) paths_by_dialog().erase(window);
  return 0;
}

constexpr FileDialogCommand kBrowseFile{4620, kNone, 1, 0, 0, 258, kNone, kNone, kFormFile, kNone, 0,
                                        4622, -1, 4621, nullptr, 0, 0, kFormFile, 0, nullptr, nullptr, 0};
constexpr CommandItem kBrowseCommand{kCommandOpenFile, &kBrowseFile};

// Browse: a new form file must have a name of at most eight characters and
// one extension; a listed one is selected, another goes first.
INT BrowseButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                 const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  HWND window = event->window;
  std::u16string before, after;
  ReadText(window, kFormFile, &before);
  RunCommandItem(event, message, wParam, lParam, record, &kBrowseCommand);
  ReadText(window, kFormFile, &after);
  if (after == before) return 0;
  if (IsValidFormFileName(after) != 0) {
    Warn(window, 5032);
    WriteText(window, kFormFile, before, kFormFileBytes);
    return 0;
  }
  const std::vector<std::u16string> paths = paths_by_dialog()[window];
  const INT at = index_of(paths, after);
  if (at >= 0) show_forms(window, paths, at);
  else show_forms(window, with_first(paths, after), 0);
  return 0;
}

constexpr CommandItem kOkCommand{kCommandOk, nullptr};
constexpr CommandItem kDefaultsCommand{kCommandDefaults, nullptr};

// OK: the chosen file must open; it goes first in the stored list.
INT FormOkButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                 const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  HWND window = event->window;
  std::u16string current;
  ReadText(window, kFormFile, &current);
  if (!readable(current)) {
    Warn(window, 5033);
    return 0;
  }
  const std::vector<std::u16string> paths = with_first(paths_by_dialog()[window], current);
  std::vector<LPCWSTR> strings;
  for (const std::u16string& p : paths) strings.push_back(p.c_str());
  const std::u16string key = forms_key(window);
  if (!key.empty())
    WriteNumberedStrings(key.c_str(), kFormPathValuePrefix, strings.data(), static_cast<INT>(strings.size()));
  paths_by_dialog().erase(window);
  return RunCommandItem(event, message, wParam, lParam, record, &kOkCommand);
}

INT FormDefaultsButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  HWND window = event->window;
  SendDlgItemMessageW(window, kForms, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  SetDlgItemTextW(window, kFolder, u"");
  WriteText(window, kFormFile, u"", kFormFileBytes);
  return RunCommandItem(event, message, wParam, lParam, record, &kDefaultsCommand);
}

constexpr ControlRecord kFormRecords[] = {
    {kForms, 0, nullptr, kControlDropDown, FormListHandler, nullptr, 4205, kNone, nullptr},
    {kBrowse, 0, nullptr, kControlCommand, BrowseButton, nullptr, kNone, kNone, nullptr},
    {1092, 0, nullptr, kControlCommand, FormOkButton, nullptr, kNone, kNone, nullptr},
    {1090, 0, nullptr, kControlCommand, FormDefaultsButton, nullptr, kNone, kNone, nullptr},
};
constexpr INT kFormHelp[] = {kForms, 37000, kFolder, 35000, kBrowse, 36000, 4206, 34000, 4203, 34000, 0, 0};

}  // namespace

const ControlSet kFormListSet{kFormRecords, static_cast<INT>(sizeof kFormRecords / sizeof kFormRecords[0]), 38000,
                              kFormHelp, nullptr, 0};
