// The address-book dialog of the fax page: the source (an address-book file
// or the device's own address book), the file, and the button that runs the
// outside address-book library over the destination list.
#include <string>
#include <vector>

#include "fax/fax_address_book.h"
#include "fax/fax_list.h"
#include "fax/fax_phonebook.h"
#include "fax/fax_registry_lists.h"
#include "fax_dialogs.h"
#include "property_sheets/fax_pages.h"
#include "property_sheets/fax_text_input.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/common_utils.h"
#include "win/controls.h"
#include "win/win.h"

using namespace morva::fax;
using namespace fax_ui;

namespace {

constexpr INT kDeviceSource = 4910, kFileSource = 4911, kFile = 4008, kFileLabel = 4050, kRun = 4005, kBrowse = 4009;

bool wants_display(UINT message, LPARAM lParam) {
  return IsNotifyCode(message, lParam, PSN_SETACTIVE) || message == UM_REFRESH_CONTROLS ||
         message == UM_RESTORE_CONTROLS;
}
bool clicked(UINT message, WPARAM wParam) { return message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED; }

constexpr INT kMaxFiles = 10;
constexpr DWORD kFileBytes = 522;
constexpr INT kPathLimit = 260;  // characters of a typed path, and its ANSI bytes
constexpr UINT kClearFiles = 5223, kClearFilesQuestion = 5224, UM_SELECT_FILE = 2536, kBadPath = 5041;

bool blank(const std::u16string& text) { return text.empty() || IsBlankText(text.c_str()); }
bool same(const std::u16string& a, const std::u16string& b) { return lstrcmpiW(a.c_str(), b.c_str()) == 0; }

// The user's key of the stored address-book files.
std::u16string files_key(HWND window) { return FaxUserKey(window, 4649); }

// The paths of the drop-down (its last item clears them).
std::vector<std::u16string> file_items(HWND window) {
  HWND combo = GetDlgItem(window, kFile);
  std::vector<std::u16string> out;
  const INT n = static_cast<INT>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (INT i = 0; i + 1 < n; ++i) {
    std::u16string text(static_cast<size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0)), u'\0');
    std::vector<WCHAR> buffer(text.size() + 1);
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer.data()));
    out.emplace_back(buffer.data());
  }
  return out;
}

// The drop-down's edit text, at most `limit` characters.
std::u16string typed_path(HWND window, INT limit) {
  std::vector<WCHAR> text(static_cast<size_t>(limit) + 1, 0);
  GetDlgItemTextW(window, kFile, text.data(), limit + 1);
  return text.data();
}

void put_path(HWND window, const std::u16string& text) {
  HWND combo = GetDlgItem(window, kFile);
  SetWindowTextW(combo, text.c_str());
  const WORD end = static_cast<WORD>(text.size());
  SendMessageW(combo, CB_SETEDITSEL, 0, MAKELPARAM(end, end));
}

// A typed path must have an ANSI form of at most 260 bytes: a longer one
// is cut there (a double-byte character stays whole), one without an ANSI
// form gives way to the text accepted before. 0 accepted, 1 taken back,
// 2 cut.
INT check_typed_path(HWND window, const std::u16string& previous) {
  const std::u16string text = ItemText(window, kFile);
  LPSTR bytes = nullptr;
  INT length = 0;
  if (!text.empty() && (!WideToMultiByteStrict(text.c_str(), &bytes, &length) || !bytes)) {
    put_path(window, previous);
    return 1;
  }
  if (length <= kPathLimit) {
    if (bytes) GlobalFree(bytes);
    return 0;
  }
  INT cut = 0;
  while (cut < length) {
    const INT width = IsDBCSLeadByte(static_cast<BYTE>(bytes[cut])) && cut + 1 < length ? 2 : 1;
    if (cut + width > kPathLimit) break;
    cut += width;
  }
  std::u16string kept(static_cast<size_t>(cut), u'\0');
  const INT n = MultiByteToWideChar(CP_ACP, 0, bytes, cut, kept.data(), cut);
  GlobalFree(bytes);
  kept.resize(static_cast<size_t>(std::max(n, 0)));
  put_path(window, kept);
  return 2;
}

// The run button: with a file source it needs a path and files allowed.
void enable_run(HWND window) {
  if (NumberOr(window, 1890, 0) != 1) return;
  std::u16string path;
  ReadText(window, 1799, &path);
  EnableWindow(GetDlgItem(window, kRun), !blank(path) && NumberOr(window, 5211, 0) != 1);
}

// Which controls the source leaves usable.
void apply_source(HWND window) {
  const LONG source = NumberOr(window, 1890, 0);
  const bool no_files = NumberOr(window, 5211, 0) == 1;
  const bool file = source != 0 && !no_files;
  EnableWindow(GetDlgItem(window, kFileLabel), file);
  EnableWindow(GetDlgItem(window, kFile), file);
  EnableWindow(GetDlgItem(window, kRun), source == 0 || file);
  enable_run(window);
}

// Selects the item naming the file setting, else shows the setting's text.
void select_file(HWND window) {
  std::u16string path;
  ReadText(window, 1799, &path);
  HWND combo = GetDlgItem(window, kFile);
  const std::vector<std::u16string> items = file_items(window);
  INT at = -1;
  for (size_t i = 0; i < items.size() && at < 0; ++i)
    if (same(items[i], path)) at = static_cast<INT>(i);
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
  if (at < 0) SetWindowTextW(combo, path.c_str());
  enable_run(window);
}

// The stored files (the setting's file among them, first unless a stored
// one replaces it), then the item that clears them.
void fill_files(HWND window) {
  HWND combo = GetDlgItem(window, kFile);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  std::vector<std::u16string> stored;
  const std::u16string key = files_key(window);
  if (!key.empty()) {
    std::vector<std::vector<WCHAR>> texts(kMaxFiles, std::vector<WCHAR>(kFileBytes / sizeof(WCHAR)));
    LPWSTR buffers[kMaxFiles];
    for (INT i = 0; i < kMaxFiles; ++i) buffers[i] = texts[static_cast<size_t>(i)].data();
    const INT n = ReadNumberedStrings(key.c_str(), kAddressBookValuePrefix, buffers, kFileBytes, kMaxFiles);
    for (INT i = 0; i < n; ++i) stored.emplace_back(buffers[i]);
  }
  std::u16string path;
  ReadText(window, 1799, &path);
  std::vector<std::u16string> items;
  for (const std::u16string& s : stored)
    if (!same(s, path)) items.push_back(s);
  const bool replace = (path.empty() || path[0] != u':') && !stored.empty() && !same(stored[0], path);
  if (blank(path)) {
    if (stored.empty() && NumberOr(window, 1890, 0) == 1) EnableWindow(GetDlgItem(window, kRun), FALSE);
  } else {
    items.insert(items.begin() + (replace && !items.empty() ? 1 : 0), path);
    if (items.size() > kMaxFiles) items.resize(kMaxFiles);
  }
  for (const std::u16string& item : items) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  const std::u16string clear = ResourceText(kClearFiles);
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(clear.c_str()));
  if (!items.empty()) SendMessageW(combo, CB_SETCURSEL, 0, 0);
  if (replace) WriteText(window, 1799, stored[0], kFileBytes);
}

// Keeps the chosen file first in the stored list.
void save_files(HWND window) {
  std::u16string path;
  ReadText(window, 1799, &path);
  std::vector<std::u16string> items = file_items(window);
  std::vector<std::u16string> list;
  if (!blank(path)) list.push_back(path);
  for (const std::u16string& item : items)
    if (list.size() < kMaxFiles && !(!blank(path) && same(item, path))) list.push_back(item);
  std::vector<LPCWSTR> strings;
  for (const std::u16string& s : list) strings.push_back(s.c_str());
  const std::u16string key = files_key(window);
  if (!key.empty())
    WriteNumberedStrings(key.c_str(), kAddressBookValuePrefix, strings.data(), static_cast<INT>(strings.size()));
}

INT AddressBookDialogHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord*,
                             const void*) {
  HWND window = event->window;
  SheetState* state = GetSheetState(window);
  if (message == WM_INITDIALOG && state && state->mode == kSheetModeUserDefault) {
    // The sheet of the user's defaults has no device to ask.
    ShowWindow(GetDlgItem(window, kDeviceSource), SW_HIDE);
    ShowWindow(GetDlgItem(window, kFileSource), SW_HIDE);
  }
  if (message == WM_INITDIALOG || wants_display(message, lParam)) apply_source(window);
  if (IsNotifyCode(message, lParam, PSN_KILLACTIVE)) save_files(window);
  return 0;
}

INT SourceHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord*,
                  const void*) {
  HWND window = event->window;
  if (wants_display(message, lParam)) {
    const LONG source = NumberOr(window, 1890, 0);
    CheckDlgButton(window, kDeviceSource, source == 1 ? BST_UNCHECKED : BST_CHECKED);
    CheckDlgButton(window, kFileSource, source == 1 ? BST_CHECKED : BST_UNCHECKED);
    return 0;
  }
  SheetState* state = GetSheetState(window);
  if (clicked(message, wParam) && !(state && state->mode == kSheetModeUserDefault)) {
    WriteNumber(window, 1890, 3, 2, LOWORD(wParam) == kFileSource ? 1 : 0);
    apply_source(window);
  }
  return 0;
}

INT FileHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord*, const void*) {
  HWND window = event->window;
  HWND combo = GetDlgItem(window, kFile);
  if (message == WM_INITDIALOG) {
    fill_files(window);
    return 0;
  }
  if (wants_display(message, lParam) || message == UM_SELECT_FILE) {
    select_file(window);
    return 0;
  }
  if (message == UM_VALIDATE_CONTROLS ||
      (message == WM_COMMAND && HIWORD(wParam) == CBN_KILLFOCUS && IsWindowEnabled(combo))) {
    // A path without an ANSI form is refused; a good one becomes the file.
    const std::u16string typed = typed_path(window, kPathLimit);
    if (!ValidateTextInput(typed.c_str(), nullptr, nullptr, nullptr, nullptr, kTextEmptyValid, 0)) {
      if (message != UM_VALIDATE_CONTROLS) Warn(window, kBadPath);
      SetFocus(combo);
      return 1;
    }
    std::u16string path;
    ReadText(window, 1799, &path);
    if (!same(typed, path)) WriteText(window, 1799, typed, kFileBytes);
    select_file(window);
    return 0;
  }
  if (message != WM_COMMAND) return 0;
  const WORD code = HIWORD(wParam);
  if (code == CBN_EDITCHANGE || code == EN_CHANGE) {
    std::u16string path;
    ReadText(window, 1799, &path);
    if (check_typed_path(window, path) == 0) {
      WriteText(window, 1799, typed_path(window, kPathLimit), kFileBytes);
      SendMessageW(GetParent(window), PSM_CHANGED, reinterpret_cast<WPARAM>(window), 0);
    }
    enable_run(window);
  } else if (code == CBN_CLOSEUP) {
    select_file(window);
  } else if (code == CBN_SELENDOK || code == CBN_SELCHANGE) {
    const INT at = static_cast<INT>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
    const INT count = static_cast<INT>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    if (at < 0) return 0;
    if (at == count - 1) {
      // The clearing item: the typed path stays the file.
      if (Ask(window, kClearFilesQuestion, MB_YESNO) == IDYES)
        while (SendMessageW(combo, CB_GETCOUNT, 0, 0) > 1) SendMessageW(combo, CB_DELETESTRING, 0, 0);
      PostMessageW(combo, UM_SELECT_FILE, 0, 0);
      select_file(window);
      return 0;
    }
    const std::vector<std::u16string> items = file_items(window);
    std::u16string path;
    ReadText(window, 1799, &path);
    if (static_cast<size_t>(at) < items.size() && !same(items[static_cast<size_t>(at)], path)) {
      WriteText(window, 1799, items[static_cast<size_t>(at)], kFileBytes);
      const WORD changed[] = {1799, 0};
      RequestRefresh(event, changed);
    }
    enable_run(window);
  }
  return 0;
}

constexpr CommandItem kOkCommand{kCommandOk, nullptr};

constexpr FileDialogCommand kBrowseFile{4523, kNone, 1, kPathLimit, kPathLimit, kPathLimit, 4541, kNone, 1799,
                                        kNone, 0, 4525, -1, 4524, nullptr, 0, 0, 1799, 0, nullptr, nullptr, 0};
constexpr CommandItem kBrowseCommand{kCommandOpenFile, &kBrowseFile};

// Browse: the typed path is checked first; the file dialog starts from the
// path without its leading ":"; a cancelled dialog leaves the file as it was.
INT BrowseButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                 const void*) {
  if (!clicked(message, wParam)) return 0;
  HWND window = event->window;
  if (FileHandler(event, UM_VALIDATE_CONTROLS, 0, 0, record, nullptr)) return 0;
  std::u16string before;
  ReadText(window, 1799, &before);
  if (!before.empty() && before[0] == u':') WriteText(window, 1799, before.substr(1), kFileBytes);
  RunCommandItem(event, message, wParam, lParam, record, &kBrowseCommand);
  if (event->command_result != 1) {
    WriteText(window, 1799, before, kFileBytes);
    return 0;
  }
  const WORD changed[] = {1799, 0};
  RequestRefresh(event, changed);
  std::u16string path;
  ReadText(window, 1799, &path);
  if (blank(path)) EnableWindow(GetDlgItem(window, kRun), NumberOr(window, 1890, 0) != 1);
  select_file(window);
  return 0;
}

INT RunButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
              const void*) {
  if (!clicked(message, wParam)) return 0;
  HWND window = event->window;
  SheetContext* c = GetSheetContext(window);
  if (!c || !c->state) return 0;
  const bool file = NumberOr(window, 1890, 0) == 1;
  std::u16string path;
  if (file) {
    if (ValidateDialog(event)) return 0;
    save_files(window);
    ReadText(window, 1799, &path);
    if (!path.empty() && path[0] == u':') path.erase(0, 1);  // the colon is not part of the name
  }
  AddressBookRequest request{{window, c->state->database, c->state->port_name, c->current.devmode,
                              c->current.printer_data, c->current.fax_list},
                             file ? path.c_str() : nullptr,
                             c->state->help_file[0] ? c->state->help_file : nullptr,
                             TestCapabilityBit(&c->state->capabilities, 0xFFFF0029),
                             TestCapabilityBit(&c->state->capabilities, 0xFFFF0040),
                             nullptr};
  INT closes = 1;
  const INT ran = RunAddressBook(request, &closes);
  if (FaxSheetWords* words = SheetWords(window)) words->address_book_result = ran == 1 ? 1 : 0;
  if (!closes && !file) SetFocus(GetDlgItem(window, kFile));
  if (closes) RunCommandItem(event, message, wParam, lParam, record, &kOkCommand);
  return 0;
}

constexpr ControlRecord kAddressBookRecords[] = {
    {kDialogRecordId, 0, nullptr, 0, AddressBookDialogHandler, nullptr, kNone, kNone, nullptr},
    {kDeviceSource, 0, nullptr, kControlRadioGroup, SourceHandler, nullptr, kNone, kNone, nullptr},
    {kFileSource, 0, nullptr, kControlRadioGroup, SourceHandler, nullptr, kNone, kNone, nullptr},
    {kFile, 0, nullptr, kControlDropDown, FileHandler, nullptr, kFileLabel, kNone, nullptr},
    {kBrowse, 0, nullptr, kControlCommand, BrowseButton, nullptr, kNone, kNone, nullptr},
    {kRun, 0, nullptr, kControlCommand, RunButton, nullptr, kNone, kNone, nullptr},
};
constexpr INT kAddressBookHelp[] = {kDeviceSource, 50400, kFileSource, 50500, kFile, 30150, kFileLabel, 30150,
                                    4009, 30160, kRun, 50600, 0, 0};

}  // namespace

const ControlSet kAddressBookSet{kAddressBookRecords,
                                 static_cast<INT>(sizeof kAddressBookRecords / sizeof kAddressBookRecords[0]), 0,
                                 kAddressBookHelp, nullptr, 0};
