// The fax page: one destination is edited at a time in the entry controls
// (settings 1794 to 1818) and added to the destination list shown in the
// list view; rows are taken back into the entry or removed; leaving and
// applying the page check the typed entry and store the list's count and
// mode.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fax/fax_address_records.h"
#include "fax/fax_destination_checks.h"
#include "fax/fax_list.h"
#include "fax/fax_phonebook.h"
#include "fax/fax_registry_lists.h"
#include "fax_dialogs.h"
#include "property_sheets/control_data.h"
#include "property_sheets/fax_pages.h"
#include "property_sheets/fax_text_input.h"
#include "property_sheets/picture_control.h"
#include "property_sheets/sheet_controls.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "win/controls.h"
#include "win/win.h"

using namespace morva::fax;
using namespace fax_ui;

// The cover-sheet check of the cover-sheet dialog, run before the page applies.
INT CheckCoverSheetSender(HWND window);
// The cover-sheet dialog's procedure.
INT_PTR CoverSheetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

namespace {

// Controls of the page.
constexpr INT kList = 4002, kRowOptions = 4007, kRemove = 4006, kEdit = 4004, kAdd = 4003;
constexpr INT kKind = 4016, kNumber = 4018, kName = 4019, kCompany = 4021, kEntryOptions = 4020;
constexpr INT kDetails = 4022, kCover = 4023, kCoverButton = 4024, kNotice = 4044, kConfirm = 4048;
constexpr INT kPhonebookStatus = 4035, kAddressBook = 4049, kHistory = 4045;
constexpr INT kAddToPhonebook = 4046, kPhonebookTool = 4041, kToolWait = 4047;
constexpr INT kHistoryMax = 10, kNumberLimit = 128;
constexpr INT kSendLater = 4010, kHourEdit = 4011, kHourSpin = 4012, kSendDay = 4013, kMinuteSpin = 4014,
              kMinuteEdit = 4015;
// The page's own message: the pending warnings.
constexpr UINT UM_PENDING_MESSAGES = 2534;
// Asks the history drop-down to show the number setting again.
constexpr UINT UM_SELECT_HISTORY = 2536;
// Asks the phonebook button to decide again whether the entry can go into a
// phonebook.
constexpr UINT UM_PHONEBOOK_STATE = 2537;
constexpr UINT kClearHistory = 5223, kClearHistoryQuestion = 5224;

// Texts of the page.
constexpr UINT kKindTexts = 4670;  // 4670 fax number, 4671 speed dial, 4672 IP fax
constexpr UINT kSpeedDialSuffix = 4650, kIpSuffix = 5231;
constexpr UINT kColumnTitles = 5210;  // 5210 to 5212

// Entry settings and their stored sizes.
struct EntryField {
  WORD ddmid;
  DWORD bytes;  // 0: a word
};
constexpr EntryField kEntry[] = {{1794, 0}, {1795, 258}, {1796, 0},  {1797, 82},  {1798, 166},
                                 {1810, 0}, {1811, 0},   {1812, 0},  {1813, 10},  {1814, 0},
                                 {1815, 0}, {1816, 120}, {1817, 42}, {1818, 42}};
constexpr WORD kEntryRefresh[] = {1794, 1795, 1797, 1798, 1796, 0};

template <size_t N>
void put(WCHAR (&field)[N], const std::u16string& text) {
  std::memset(field, 0, sizeof field);
  std::memcpy(field, text.c_str(), std::min(text.size(), N - 1) * sizeof(WCHAR));
}

WCHAR* text_field(FaxDestination& d, WORD ddmid, size_t* chars) {
  switch (ddmid) {
    case 1795: *chars = 129; return d.Number;
    case 1797: *chars = 41; return d.Name;
    case 1798: *chars = 83; return d.Company;
    case 1813: *chars = 9; return d.MailboxPassword;
    case 1816: *chars = 60; return d.RelayNumbers;
    case 1817: *chars = 21; return d.FCode;
    case 1818: *chars = 21; return d.FCodePassword;
    default: return nullptr;
  }
}

WORD* word_field(FaxDestination& d, WORD ddmid) {
  switch (ddmid) {
    case 1794: return &d.Kind;
    case 1796: return &d.Line;
    case 1810: return &d.CommMode;
    case 1811: return &d.BoxMode;
    case 1812: return &d.MailboxId;
    case 1814: return &d.RelayId;
    case 1815: return &d.RelayPrint;
    default: return nullptr;
  }
}

// The entry settings as a record; false when a setting cannot be read.
bool read_entry(HWND window, FaxDestination* out) {
  FaxDestination d{};
  for (const EntryField& f : kEntry) {
    if (f.bytes) {
      std::u16string text;
      size_t chars = 0;
      WCHAR* field = text_field(d, f.ddmid, &chars);
      if (!ReadText(window, f.ddmid, &text)) return false;
      std::memcpy(field, text.c_str(), std::min(text.size(), chars - 1) * sizeof(WCHAR));
    } else {
      LONG v = 0;
      if (!ReadNumber(window, f.ddmid, &v)) return false;
      *word_field(d, f.ddmid) = static_cast<WORD>(v);
    }
  }
  *out = d;
  return true;
}

bool write_entry(HWND window, FaxDestination d, bool keep_kind) {
  bool ok = true;
  for (const EntryField& f : kEntry) {
    if (f.ddmid == 1794 && keep_kind) continue;
    size_t chars = 0;
    if (f.bytes) ok = WriteText(window, f.ddmid, text_field(d, f.ddmid, &chars), f.bytes) && ok;
    else ok = WriteNumber(window, f.ddmid, 3, 2, *word_field(d, f.ddmid)) && ok;
  }
  return ok;
}

bool blank(const std::u16string& text) { return IsBlankText(text.c_str()) != 0; }

BOOL fax_sheet(HWND window) {
  SheetState* state = GetSheetState(window);
  return state && state->mode == kSheetModeFaxOnly;
}

FaxDeviceRules rules_of(HWND window, bool* loaded = nullptr) {
  FaxDeviceRules rules{};
  SheetContext* c = GetSheetContext(window);
  const bool ok = c && c->state &&
                  LoadFaxDeviceRules(TestCapabilityBit(&c->state->capabilities, 0xFFFF0029), c->current.devmode,
                                     c->current.printer_data, c->state->database, &rules) == 1;
  if (loaded) *loaded = ok;
  return rules;
}

// ---- the list view ------------------------------------------------------------------

std::u16string row_number(HWND window, const FaxDestination& d) {
  std::u16string outside, extension;
  ReadText(window, 5141, &outside);
  ReadText(window, 5143, &extension);
  const BOOL four = FaxMode(window) == 2 || SipFaxOn(window);
  return FaxDisplayNumber(d, outside, extension, four, ResourceText(kSpeedDialSuffix), ResourceText(kIpSuffix));
}

void set_cell(HWND list, INT row, INT column, const std::u16string& text) {
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = const_cast<LPWSTR>(text.c_str());
  SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void add_row(HWND window, const FaxDestination& d, INT row) {
  HWND list = GetDlgItem(window, kList);
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE;
  item.iItem = row;
  item.iImage = d.SourceKind == 1 && d.SourceValue == 0 ? 3 : d.Kind;
  item.pszText = const_cast<LPWSTR>(u"");
  const INT at = static_cast<INT>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  if (at < 0) return;
  std::u16string company(d.Company);
  const size_t crlf = company.find(u"\r\n");
  if (crlf != std::u16string::npos) company.replace(crlf, 2, u" ");
  set_cell(list, at, 1, row_number(window, d));
  set_cell(list, at, 2, d.Name);
  set_cell(list, at, 3, company);
}

void fill_rows(HWND window) {
  HWND list = GetDlgItem(window, kList);
  SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
  FaxDestinationList* fax = GetDialogFaxList(window);
  for (INT i = 0; i < FaxList_Count(fax); ++i) add_row(window, *FaxList_GetAt(fax, i), i);
}

// The rows' icons: a fax number, a speed-dial number, an IP-fax address,
// a destination of the device's address book.
constexpr UINT kRowIcons = 4521;  // 4521 to 4524
constexpr INT kRowIconCount = 4, kRowIconSize = 16;

// The list view's full-row select, its row icons (made once; the list view
// destroys them with itself) and the company field's font.
void give_list_view_looks(HWND window) {
  HWND list = GetDlgItem(window, kList);
  if (!list) return;
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  if (const LRESULT font = SendDlgItemMessageW(window, kCompany, WM_GETFONT, 0, 0))
    SendMessageW(list, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
  if (SendMessageW(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0)) return;
  HIMAGELIST icons = ImageList_Create(kRowIconSize, kRowIconSize, ILC_COLOR32 | ILC_MASK, kRowIconCount, 0);
  if (!icons) return;
  for (INT i = 0; i < kRowIconCount; ++i) {
    auto icon = static_cast<HICON>(LoadImageW(GetResourceModule(), MAKEINTRESOURCEW(kRowIcons + i), IMAGE_ICON,
                                              kRowIconSize, kRowIconSize, 0));
    const INT added = icon ? ImageList_AddIcon(icons, icon) : -1;
    if (icon) DestroyIcon(icon);
    if (added != i) {
      // Without all four the rows' indices would name the wrong pictures.
      ImageList_Destroy(icons);
      return;
    }
  }
  SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(icons));
}

// Rebuilds the rows after the destinations the device can no longer take
// are dropped; what was dropped becomes the pending messages. Only a
// marked refresh reports dropped fax numbers and IP-fax addresses.
void refresh_rows(HWND window) {
  FaxSheetWords* words = SheetWords(window);
  FaxDestinationList* fax = GetDialogFaxList(window);
  bool loaded = false;
  const FaxDeviceRules rules = rules_of(window, &loaded);
  if (words && fax) {
    // Rules that cannot be read drop nothing.
    words->pending = loaded ? FilterStoredDestinations(rules, fax, words->refresh_mark,
                                                       static_cast<BYTE>(NumberOr(window, 1881, 0)))
                            : 0;
    words->refresh_mark = FALSE;
  }
  give_list_view_looks(window);
  fill_rows(window);
}

INT selected_count(HWND window) {
  return static_cast<INT>(SendDlgItemMessageW(window, kList, LVM_GETSELECTEDCOUNT, 0, 0));
}

INT first_selected(HWND window) {
  return static_cast<INT>(SendDlgItemMessageW(window, kList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// The options text of a destination: parts joined by blanks (the entry) or
// by line ends (a row).
std::u16string options_text(HWND window, const FaxDestination& d, bool lines) {
  std::u16string parts[5];
  INT n = 0;
  const UINT comm = d.CommMode == 0 ? 5065 : d.CommMode == 1 ? (FaxMode(window) == 1 ? 5198 : 5066) : 5067;
  parts[n++] = ResourceText(comm);
  if (d.BoxMode == 1) {
    std::u16string box = ResourceText(5068);
    const size_t at = box.find(u"%1d");
    std::u16string id;
    for (char c : std::to_string(d.MailboxId)) id += static_cast<char16_t>(c);
    if (at != std::u16string::npos) box.replace(at, 3, id);
    parts[n++] = box;
  } else if (d.BoxMode == 2) {
    parts[n++] = ResourceText(5069);
  }
  if (d.FCode[0]) parts[n++] = ResourceText(5070);
  if (d.FCodePassword[0]) parts[n++] = ResourceText(5071);
  if (d.Kind == kFaxKindNumber && d.Line <= 2) parts[n++] = ResourceText(5072 + d.Line);
  std::u16string out;
  for (INT i = 0; i < n; ++i) {
    if (i) out += lines ? u"\r\n" : u" ";
    out += parts[i];
  }
  return out;
}

void show_row_options(HWND window) {
  FaxDestinationList* fax = GetDialogFaxList(window);
  std::u16string text;
  if (selected_count(window) == 1) {
    const FaxDestination* d = FaxList_GetAt(fax, first_selected(window));
    if (d && !(d->Kind == kFaxKindSpeedDial && d->SourceKind == 0)) text = options_text(window, *d, true);
  }
  SetDlgItemTextW(window, kRowOptions, text.c_str());
}

void update_buttons(HWND window) {
  const INT selected = selected_count(window);
  EnableWindow(GetDlgItem(window, kRemove), selected > 0);
  EnableWindow(GetDlgItem(window, kEdit), selected == 1 && NumberOr(window, 5211, 0) != 2);
  std::u16string number;
  ReadText(window, 1795, &number);
  const bool no_sip = FaxMode(window) == 3 && !SipFaxOn(window);
  EnableWindow(GetDlgItem(window, kAdd), !number.empty() && !blank(number) && !no_sip);
  SendMessageW(window, UM_PHONEBOOK_STATE, 0, 0);
}

// The entry can go into a phonebook when it is not a speed-dial number and
// both its number and its name hold more than blanks.
void update_phonebook_button(HWND window) {
  std::u16string number, name;
  const bool read = ReadText(window, 1795, &number) && ReadText(window, 1797, &name);
  EnableWindow(GetDlgItem(window, kAddToPhonebook), read && NumberOr(window, 1794, 0) != kFaxKindSpeedDial &&
                                                        !number.empty() && !blank(number) && !name.empty() &&
                                                        !blank(name));
}

// The phonebook status text and its tooltip (the full path of the
// address-book file; none for an empty tip).
void set_phonebook_status(HWND window, const std::u16string& text, const std::u16string& tip = {}) {
  SetDlgItemTextW(window, kPhonebookStatus, text.c_str());
  FaxSheetWords* words = SheetWords(window);
  HWND status = GetDlgItem(window, kPhonebookStatus);
  if (!words || !status) return;
  if (!words->status_tip) {
    if (tip.empty()) return;
    words->status_tip = CreateTooltipWindow(window, 0);
    RECT r{};
    GetWindowRect(status, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    AddTooltip(window, words->status_tip, kPhonebookStatus, 0, u"");
    SetTooltipRect(window, words->status_tip, kPhonebookStatus, 0, r.left, r.top, r.right, r.bottom);
  }
  UpdateTooltipText(window, words->status_tip, kPhonebookStatus, 0, tip.c_str());
  SendMessageW(words->status_tip, TTM_ACTIVATE, !tip.empty(), 0);
}

// The text under the list that names where the destinations came from:
// the device's address book, or the address-book file (its name, without
// the leading ":" and the folder).
void show_phonebook_status(HWND window) {
  FaxDestinationList* fax = GetDialogFaxList(window);
  std::u16string text, path;
  if (FaxList_Count(fax) > 0) {
    if (FaxList_GetAt(fax, 0)->SourceKind == 1) {
      text = ResourceText(5243);
    } else if (NumberOr(window, 1891, 1) == 0 && ReadText(window, 1799, &path) && !path.empty()) {
      if (path[0] == u':') path.erase(0, 1);
      const size_t slash = path.rfind(u'\\');
      text = ResourceText(5244) + (slash == std::u16string::npos ? path : path.substr(slash + 1));
    } else {
      path.clear();
    }
  } else {
    WriteNumber(window, 1891, 1, 4, 0);
  }
  set_phonebook_status(window, text, path);
}

void after_list_change(HWND window) {
  show_row_options(window);
  update_buttons(window);
}

// ---- number history -------------------------------------------------------------------

bool history_on(HWND window) { return NumberOr(window, 1367, 0) != 0; }

// What the number controls accept for the entry kind being typed.
FaxNumberRule number_rule(HWND window) {
  return GetFaxNumberRule(rules_of(window), static_cast<WORD>(NumberOr(window, 1794, 0)));
}

bool number_accepted(const FaxNumberRule& r, const std::u16string& text) {
  if (!r.checked) return true;
  const UINT single[] = {r.singleByte[0], r.singleByte[1], 0};
  const UINT refused[] = {r.refused, 0};
  const TextRule rule{{single, nullptr, refused, nullptr}, static_cast<INT>(r.message)};
  return text.size() <= r.limit && TextPassesRule(text, &rule);
}

// Both number controls take the kind's length limit; the text shown is the
// one accepted last.
void limit_number_controls(HWND window) {
  const FaxNumberRule r = number_rule(window);
  SendDlgItemMessageW(window, kNumber, EM_LIMITTEXT, r.limit, 0);
  SendDlgItemMessageW(window, kHistory, CB_LIMITTEXT, r.limit, 0);
  if (FaxSheetWords* words = SheetWords(window)) ReadText(window, 1795, &words->accepted_number);
}

// A typed number the kind's character check refuses is answered with the
// kind's message and replaced by the text accepted last; an accepted one is
// stored. True when the text was accepted.
bool take_number(HWND window, HWND control, const std::u16string& typed) {
  FaxSheetWords* words = SheetWords(window);
  const FaxNumberRule r = number_rule(window);
  if (words && !number_accepted(r, typed)) {
    const std::u16string back = words->accepted_number;
    WriteText(window, 1795, back, 258);
    SetWindowTextW(control, back.c_str());
    const LPARAM end = static_cast<LPARAM>(back.size());
    if (control == GetDlgItem(window, kHistory)) SendMessageW(control, CB_SETEDITSEL, 0, MAKELPARAM(end, end));
    else SendMessageW(control, EM_SETSEL, static_cast<WPARAM>(end), end);
    Warn(window, r.message);
    return false;
  }
  if (words) words->accepted_number = typed;
  WriteText(window, 1795, typed, 258);
  return true;
}

// The key of the printer's number history; empty without one.
std::u16string history_key(HWND window) {
  const SheetState* state = GetSheetState(window);
  WCHAR key[kFaxUserKeyChars] = {};
  if (!state || !GetAddressHistoryKeyPath(state->printer, state->database, key)) return {};
  return key;
}

// The numbers of the history drop-down (its last item clears the history).
std::vector<std::u16string> history_items(HWND window) {
  HWND combo = GetDlgItem(window, kHistory);
  std::vector<std::u16string> out;
  const INT n = static_cast<INT>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (INT i = 0; i + 1 < n; ++i) {
    WCHAR text[kHistoryEntryChars] = {};
    if (SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) >= kHistoryEntryChars) continue;
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    out.push_back(text);
  }
  return out;
}

void set_history_items(HWND window, const std::vector<std::u16string>& numbers) {
  HWND combo = GetDlgItem(window, kHistory);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const std::u16string& n : numbers) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n.c_str()));
  const std::u16string clear = ResourceText(kClearHistory);
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(clear.c_str()));
}

bool same_text(const std::u16string& a, const std::u16string& b) {
  return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

// The history item equal to the number setting, else the setting's text.
void show_history_number(HWND window) {
  std::u16string number;
  ReadText(window, 1795, &number);
  const std::vector<std::u16string> items = history_items(window);
  HWND combo = GetDlgItem(window, kHistory);
  for (size_t i = 0; i < items.size(); ++i)
    if (same_text(items[i], number)) {
      SendMessageW(combo, CB_SETCURSEL, i, 0);
      return;
    }
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  SetWindowTextW(combo, number.c_str());
}

void load_history(HWND window) {
  const std::u16string key = history_key(window);
  std::vector<std::u16string> numbers;
  WCHAR entries[kHistoryMax][kHistoryEntryChars] = {};
  const INT n = key.empty() ? 0 : ReadAddressHistory(key.c_str(), entries);
  for (INT i = 0; i < n && i < kHistoryMax; ++i) numbers.push_back(entries[i]);
  set_history_items(window, numbers);
  show_history_number(window);
}

// The number used last goes first; an equal item moves, the eleventh goes.
void remember_number(HWND window, const std::u16string& number) {
  std::vector<std::u16string> numbers = history_items(window);
  std::erase_if(numbers, [&](const std::u16string& n) { return same_text(n, number); });
  numbers.insert(numbers.begin(), number);
  if (numbers.size() > kHistoryMax) numbers.resize(kHistoryMax);
  set_history_items(window, numbers);
}

void store_history(HWND window) {
  SheetContext* c = GetSheetContext(window);
  const std::u16string key = history_key(window);
  if (!c || key.empty()) return;
  const std::vector<std::u16string> numbers = history_items(window);
  std::vector<LPCWSTR> entries;
  for (const std::u16string& n : numbers) entries.push_back(n.c_str());
  StoreAddressHistory(key.c_str(), c->current.devmode, c->current.printer_data, entries.data(),
                      static_cast<INT>(entries.size()));
}

// The control the number is typed into.
HWND number_control(HWND window) { return GetDlgItem(window, history_on(window) ? kHistory : kNumber); }

// ---- entry --------------------------------------------------------------------------

void reset_entry(ControlEvent* event) {
  HWND window = event->window;
  FaxSheetWords* words = SheetWords(window);
  if (!words) return;
  SheetState* state = GetSheetState(window);
  const bool keep_kind = state && TestCapabilityBit(&state->capabilities, 0xFFFF0040);
  write_entry(window, words->default_entry, keep_kind);
  RequestRefresh(event, kEntryRefresh);
  if (history_on(window)) show_history_number(window);
  after_list_change(window);
  SetFocus(number_control(window));
}

// Puts the destination last into the list and the list view. 0 when the
// user keeps the list (device address-book entries) or memory runs out.
INT append_destination(HWND window, const FaxDestination& d) {
  FaxDestinationList* fax = GetDialogFaxList(window);
  if (!fax) return 0;
  const FaxDestination* first = FaxList_GetAt(fax, 0);
  if (first && first->SourceKind == 1) {
    if (Ask(window, 5249, MB_YESNO) != IDYES) {
      SetFocus(number_control(window));
      return 0;
    }
    while (FaxList_Count(fax) > 0) FaxList_RemoveAt(fax, 0);
    SendDlgItemMessageW(window, kList, LVM_DELETEALLITEMS, 0, 0);
  }
  if (!FaxList_Append(fax, d)) return 0;
  add_row(window, d, FaxList_Count(fax) - 1);
  if (NumberOr(window, 1891, 0) == 0) WriteNumber(window, 1891, 1, 4, 1);
  set_phonebook_status(window, {});
  if (history_on(window)) remember_number(window, d.Number);
  return 1;
}

// The messages of a refused add, by the check's code.
UINT add_refusal_message(WORD code, bool leaving) {
  switch (code) {
    case kFaxAddListFull: return leaving ? 5034 : 5001;
    case kFaxAddDuplicate: return leaving ? 5036 : 5000;
    case kFaxAddTooLong: return leaving ? 5014 : 5002;
    case kFaxAddUnitLimit: return 5195;
    case kFaxAddDeviceListFull: return leaving ? 5204 : 5207;
    case kFaxAddTooManyUnits: return leaving ? 5205 : 5203;
    default: return 0;
  }
}

UINT restriction_message(WORD code) {
  return code == kFaxRestrictRelay ? 5237 : code == kFaxRestrictSecond ? 5236 : 5239;
}

// Opens the confirmation dialog when setting 5210 asks for it; true when
// the number may be added.
bool confirmed(ControlEvent* event) {
  if (NumberOr(event->window, 5210, 0) == 0) return true;
  FaxSheetWords* words = SheetWords(event->window);
  if (!words) return false;
  words->confirmed = 0;
  SendMessageW(event->window, WM_COMMAND, MAKEWPARAM(kConfirm, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(event->window, kConfirm)));
  return words->confirmed == 1;
}

// Adds the entry as the add button does; 1 added, 0 not.
INT add_entry(ControlEvent* event) {
  HWND window = event->window;
  if (ValidateDialog(event)) return 0;
  FaxDestination d{};
  if (!read_entry(window, &d) || !d.Number[0]) return 0;
  const FaxDeviceRules rules = rules_of(window);
  FaxDestinationList* fax = GetDialogFaxList(window);
  if (NumberOr(window, 5212, 0)) {
    WORD code = 0;
    if (!CheckRestrictedDestination(FaxList_Count(fax), &d, &code)) {
      Warn(window, restriction_message(code));
      SetFocus(GetDlgItem(window, kNumber));
      return 0;
    }
  }
  FaxLineSettings line{};
  ReadLineSettings(window, &line);
  WORD code = 0;
  if (!CheckNewDestination(rules, fax, &d, &line, &code)) {
    if (code == kFaxAddDuplicate) {
      if (Ask(window, 5000, MB_OKCANCEL) != IDOK) {
        SetFocus(GetDlgItem(window, kNumber));
        return 0;
      }
    } else if (code == kFaxAddTooLong) {
      Warn(window, 5002);
      SetFocus(GetDlgItem(window, kAdd));
      return 0;
    } else {
      if (code == kFaxAddTooManyUnits) {
        DWORD units = 0;
        SumDestinationUnits(rules, fax, &units);
        std::u16string text = ResourceText(5203);
        const size_t at = text.find(u"%1d");
        std::u16string n;
        for (char c : std::to_string(units)) n += static_cast<char16_t>(c);
        if (at != std::u16string::npos) text.replace(at, 3, n);
        AskText(window, text, MB_ICONWARNING);
      } else if (const UINT message = add_refusal_message(code, false)) {
        Warn(window, message);
      }
      SetFocus(GetDlgItem(window, kNumber));
      return 0;
    }
  }
  if (!confirmed(event)) return 0;
  if (!append_destination(window, d)) return 0;
  reset_entry(event);
  return 1;
}

// ---- handlers -------------------------------------------------------------------------

bool wants_display(UINT message, LPARAM lParam) {
  return IsNotifyCode(message, lParam, PSN_SETACTIVE) || message == UM_REFRESH_CONTROLS ||
         message == UM_RESTORE_CONTROLS;
}

constexpr UINT kColumnWidthKeyTail = 5209;

// The user's key of the list's column widths; empty without one.
std::u16string column_width_key(HWND window) { return FaxUserKey(window, kColumnWidthKeyTail); }

// The four stored column widths; FALSE unless all four are there as
// decimal numbers.
BOOL read_column_widths(HWND window, INT* widths) {
  const std::u16string key = column_width_key(window);
  if (key.empty()) return FALSE;
  WCHAR texts[kColumnWidthCount][16] = {};
  LPWSTR buffers[kColumnWidthCount];
  for (INT c = 0; c < kColumnWidthCount; ++c) buffers[c] = texts[c];
  if (ReadNumberedStrings(key.c_str(), kColumnWidthValuePrefix, buffers, sizeof texts[0], kColumnWidthCount) !=
      kColumnWidthCount)
    return FALSE;
  for (INT c = 0; c < kColumnWidthCount; ++c) {
    INT value = 0;
    const WCHAR* p = texts[c];
    if (!*p) return FALSE;
    for (; *p; ++p) {
      if (*p < u'0' || *p > u'9' || value > 100000) return FALSE;
      value = value * 10 + (*p - u'0');
    }
    widths[c] = value;
  }
  return TRUE;
}

void store_column_widths(HWND window) {
  const std::u16string key = column_width_key(window);
  if (key.empty()) return;
  std::u16string texts[kColumnWidthCount];
  LPCWSTR strings[kColumnWidthCount];
  for (INT c = 0; c < kColumnWidthCount; ++c) {
    const LRESULT width = SendDlgItemMessageW(window, kList, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0);
    for (char ch : std::to_string(std::max<LRESULT>(width, 0))) texts[c] += static_cast<char16_t>(ch);
    strings[c] = texts[c].c_str();
  }
  WriteNumberedStrings(key.c_str(), kColumnWidthValuePrefix, strings, kColumnWidthCount);
}

// The widths the list starts with: 25 pixels for the icon, a third of the
// list for the number and the name, the rest less 25 for the company.
void default_column_widths(HWND window, INT* widths) {
  RECT r{};
  GetClientRect(GetDlgItem(window, kList), &r);
  const INT third = (r.right - r.left) / 3;
  widths[0] = 25;
  widths[1] = widths[2] = third;
  widths[3] = std::max<INT>(r.right - r.left - 25 - 2 * third - 25, 0);
}

void setup_list_view(HWND window) {
  HWND list = GetDlgItem(window, kList);
  give_list_view_looks(window);
  INT widths[kColumnWidthCount] = {};
  default_column_widths(window, widths);
  read_column_widths(window, widths);  // the user's own widths, when stored
  for (INT c = 0; c < 4; ++c) {
    std::u16string title = c ? ResourceText(kColumnTitles + c - 1) : std::u16string();
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = widths[c];
    column.iSubItem = c;
    column.pszText = title.data();
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
  }
}

// The warnings the page owes the user: IP fax switched off in the IP-fax
// mode, else what the last list refresh changed. The flags are cleared.
void show_pending_messages(HWND window) {
  FaxSheetWords* words = SheetWords(window);
  if (!words) return;
  const WORD flags = words->pending;
  words->pending = 0;
  if (FaxMode(window) == 3 && !SipFaxOn(window)) {
    Warn(window, 5206);
    return;
  }
  if (flags & 0x4) Warn(window, 5220);
  else if (flags & 0x8) Warn(window, 5240);
  else if (flags & 0x10) Warn(window, 5241);
  else if (flags & 0x1) {
    Warn(window, 5221);
    if (flags & 0x2) Warn(window, 5222);
  } else if (flags & 0x2) Warn(window, 5222);
}

// An entry kind the device cannot send becomes one it can: a fax number
// without a fax card an IP-fax address (SIP fax on) or a speed-dial number;
// an IP-fax address with SIP fax off a fax number (with a card) or a
// speed-dial number. A change empties the number.
void adjust_entry_kind(ControlEvent* event) {
  HWND window = event->window;
  const LONG kind = NumberOr(window, 1794, 0);
  const bool card = NumberOr(window, 4369, 0) != 0;
  const bool sip = SipFaxOn(window);
  LONG next = kind;
  if (kind == kFaxKindNumber && !card) next = sip ? kFaxKindIpAddress : kFaxKindSpeedDial;
  else if (kind == kFaxKindIpAddress && !sip) next = card ? kFaxKindNumber : kFaxKindSpeedDial;
  if (next == kind) return;
  WriteNumber(window, 1794, 3, 2, next);
  WriteText(window, 1795, u"", 258);
  const WORD changed[] = {1794, 1795, 0};
  RequestRefresh(event, changed);
}

// What leaving the page checks; 1 keeps the page.
INT leave_page(ControlEvent* event) {
  HWND window = event->window;
  FaxSheetWords* words = SheetWords(window);
  if (!words) return 0;
  // A child dialog opening is not the page being left.
  if (words->button_flag) return 0;
  if (ValidateDialog(event)) return 1;
  const FaxDeviceRules rules = rules_of(window);
  FaxDestinationList* fax = GetDialogFaxList(window);
  const BOOL on_fax_sheet = fax_sheet(window);
  if (on_fax_sheet) {
    WriteNumber(window, 1881, 8, 1, ListModeFromRules(rules));
    words->refresh_mark = TRUE;
    refresh_rows(window);
    after_list_change(window);
    adjust_entry_kind(event);
  }
  WriteNumber(window, 380, 3, 2, FaxList_Count(fax));
  std::u16string number;
  ReadText(window, 1795, &number);
  if (number.empty() || blank(number)) {
    if (on_fax_sheet && FaxList_Count(fax) == 0) {
      Warn(window, 5015);
      return 1;
    }
    if (on_fax_sheet && CheckBroadcastOptions(window, GetResourceModule(), rules, fax) == 0) return 1;
    WORD code = 0;
    if (!CheckUnitLimit(rules, fax, &code) && code == kFaxAddUnitLimit) {
      Warn(window, 5195);
      return 1;
    }
    // Device address-book entries go only once the device confirmed them;
    // the rows then show what the validator marked.
    const FaxDestination* first = FaxList_GetAt(fax, 0);
    if (on_fax_sheet && first && first->SourceKind == 1) {
      SheetContext* c = GetSheetContext(window);
      if (!c || !c->state) return 1;
      const INT keep = CheckDeviceDestinations(
          {window, c->state->database, c->state->port_name, c->current.devmode, c->current.printer_data, fax},
          GetResourceModule());
      fill_rows(window);
      return keep;
    }
    return 0;
  }
  if (rules.Mode == 3 && !rules.SipFax) {
    WriteText(window, 1795, u"", 258);
    SetDlgItemTextW(window, kNumber, u"");
    if (on_fax_sheet) {
      Warn(window, 5015);
      return 1;
    }
    return 0;
  }
  FaxDestination d{};
  if (!read_entry(window, &d)) return 1;
  if (NumberOr(window, 5212, 0)) {
    WORD code = 0;
    if (!CheckRestrictedDestination(FaxList_Count(fax), &d, &code)) {
      Warn(window, restriction_message(code));
      SetFocus(GetDlgItem(window, kNumber));
      return 1;
    }
  }
  FaxLineSettings line{};
  ReadLineSettings(window, &line);
  WORD code = 0;
  if (!CheckNewDestination(rules, fax, &d, &line, &code)) {
    if (code == kFaxAddUnitLimit) {
      Warn(window, 5195);
      return 1;
    }
    const UINT message = add_refusal_message(code, true);
    if (message && Ask(window, message, MB_OKCANCEL) == IDOK) {
      reset_entry(event);
      return 0;
    }
    SetFocus(GetDlgItem(window, kNumber));
    return 1;
  }
  if (Ask(window, 5005, MB_OKCANCEL) != IDOK) return 1;
  if (!confirmed(event) || !append_destination(window, d)) return 1;
  reset_entry(event);
  WriteNumber(window, 380, 3, 2, FaxList_Count(fax));
  EnableWindow(GetDlgItem(window, kRemove), TRUE);
  if (on_fax_sheet && CheckBroadcastOptions(window, GetResourceModule(), rules, fax) == 0) return 1;
  return 0;
}

INT PageDialogHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord*, const void*) {
  HWND window = event->window;
  if (message == WM_INITDIALOG) {
    FaxSheetWords* words = SheetWords(window);
    if (!words) return 0;
    const LONG restriction = NumberOr(window, 5211, 0);
    if (restriction == 2) EnableWindow(GetDlgItem(window, kEntryOptions), FALSE);
    if (restriction == 1 && NumberOr(window, 1794, 0) == kFaxKindSpeedDial) {
      // Under this restriction a speed-dial number is not kept from before.
      WriteText(window, 1795, u"", 258);
      SetDlgItemTextW(window, kNumber, u"");
    }
    setup_list_view(window);
    if (fax_sheet(window)) {
      // The fax sheet's own buttons send or cancel the fax.
      HWND frame = GetAncestor(window, GA_ROOT);
      SetDlgItemTextW(frame, IDOK, ResourceText(5075).c_str());
      SetDlgItemTextW(frame, IDCANCEL, ResourceText(5076).c_str());
      SetActiveWindow(frame);
    }
    if (SheetContext* c = GetSheetContext(window)) {
      const std::u16string key = history_key(window);
      if (!key.empty()) LoadAddressHistorySwitch(key.c_str(), c->current.devmode, c->current.printer_data);
    }
    words->reload_history = TRUE;
    // The entry the page comes back to after each add.
    words->has_default = read_entry(window, &words->default_entry);
    words->pending = 0;
    words->refresh_mark = TRUE;
    if (words->has_default) PostMessageW(window, UM_PENDING_MESSAGES, 0, 0);
    return 0;
  }
  if (IsNotifyCode(message, lParam, PSN_SETACTIVE)) {
    const bool history = history_on(window);
    ShowWindow(GetDlgItem(window, kNumber), history ? SW_HIDE : SW_SHOW);
    ShowWindow(GetDlgItem(window, kHistory), history ? SW_SHOW : SW_HIDE);
    FaxSheetWords* w = SheetWords(window);
    if (history && w && w->reload_history) {
      load_history(window);
      w->reload_history = FALSE;
    }
    refresh_rows(window);
    if (FaxList_Count(GetDialogFaxList(window)) == 0) WriteNumber(window, 1891, 1, 4, 0);
    after_list_change(window);
    show_phonebook_status(window);
    if (FaxSheetWords* words = SheetWords(window)) words->button_flag = FALSE;
    return 0;
  }
  if (IsNotifyCode(message, lParam, PSN_KILLACTIVE)) return leave_page(event);
  if (message == WM_DESTROY) {
    FreeCompanyEditFont(window, kCompany);
    if (FaxSheetWords* words = SheetWords(window); words && words->status_tip) {
      DestroyWindow(words->status_tip);
      words->status_tip = nullptr;
    }
    ForgetSheetWords(window);
  }
  return 0;
}

INT ListViewHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord*, const void*) {
  if (message != WM_NOTIFY || !lParam) return 0;
  const UINT code = reinterpret_cast<const NMHDR*>(lParam)->code;
  if (code == NM_DBLCLK && NumberOr(event->window, 5211, 0) != 2) {
    SendMessageW(event->window, WM_COMMAND, MAKEWPARAM(kEdit, BN_CLICKED), 0);
    return 0;
  }
  if (code == NM_CLICK || code == LVN_ITEMCHANGED) after_list_change(event->window);
  if (code == NM_SETFOCUS) {
    // The focused row (the first when none is) shows the focus again.
    HWND list = GetDlgItem(event->window, kList);
    if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) <= 0) return 0;
    const INT focused =
        static_cast<INT>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    LVITEMW state{};
    state.stateMask = LVIS_FOCUSED;
    state.state = LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(std::max(focused, 0)), reinterpret_cast<LPARAM>(&state));
  }
  return 0;
}

bool clicked(UINT message, WPARAM wParam) { return message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED; }

INT AddButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  if (clicked(message, wParam)) add_entry(event);
  return 0;
}

INT EditButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  if (!clicked(message, wParam)) return 0;
  HWND window = event->window;
  FaxDestinationList* fax = GetDialogFaxList(window);
  if (selected_count(window) != 1) return 0;
  const INT row = first_selected(window);
  const FaxDestination* d = FaxList_GetAt(fax, row);
  if (!d) return 0;
  if (d->SourceKind == 1) {
    Warn(window, 5253);
    return 0;
  }
  const FaxDestination taken = *d;
  write_entry(window, taken, false);
  FaxList_RemoveAt(fax, row);
  SendDlgItemMessageW(window, kList, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
  RequestRefresh(event, kEntryRefresh);
  after_list_change(window);
  SetFocus(GetDlgItem(window, kNumber));
  return 0;
}

INT RemoveButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  if (!clicked(message, wParam)) return 0;
  HWND window = event->window;
  FaxDestinationList* fax = GetDialogFaxList(window);
  HWND list = GetDlgItem(window, kList);
  for (INT row = static_cast<INT>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) - 1; row >= 0; --row) {
    if (!(SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) & LVIS_SELECTED)) continue;
    FaxList_RemoveAt(fax, row);
    SendMessageW(list, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
  }
  after_list_change(window);
  SetFocus(list);
  if (FaxList_Count(fax) == 0) {
    WriteNumber(window, 1891, 1, 4, 0);
    set_phonebook_status(window, {});
  }
  return 0;
}

constexpr CommandItem kDefaultsCommand{kCommandDefaults, nullptr};

INT ClearButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                const void*) {
  if (!clicked(message, wParam)) return 0;
  HWND window = event->window;
  FaxDestinationList* fax = GetDialogFaxList(window);
  while (FaxList_Count(fax) > 0) FaxList_RemoveAt(fax, 0);
  SendDlgItemMessageW(window, kList, LVM_DELETEALLITEMS, 0, 0);
  set_phonebook_status(window, {});
  SetDlgItemTextW(window, kRowOptions, u"");
  update_buttons(window);
  INT widths[kColumnWidthCount] = {};
  default_column_widths(window, widths);
  for (INT c = 0; c < kColumnWidthCount; ++c)
    SendDlgItemMessageW(window, kList, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c), MAKELPARAM(widths[c], 0));
  return RunCommandItem(event, message, wParam, lParam, record, &kDefaultsCommand);
}

// The entry kind: fax number, speed dial or IP fax.
INT KindListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord*,
                    const void*) {
  HWND window = event->window;
  HWND control = GetDlgItem(window, kKind);
  if (wants_display(message, lParam)) {
    SendMessageW(control, CB_RESETCONTENT, 0, 0);
    for (UINT i = 0; i < 3; ++i) {
      const std::u16string text = ResourceText(kKindTexts + i);
      SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(NumberOr(window, 1794, 0)), 0);
    EnableWindow(control, event->permission);
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == CBN_SELCHANGE) {
    const LONG kind = static_cast<LONG>(SendMessageW(control, CB_GETCURSEL, 0, 0));
    if (kind < 0 || kind == NumberOr(window, 1794, -1)) return 0;
    WriteNumber(window, 1794, 3, 2, kind);
    WriteText(window, 1795, u"", 258);
    const WORD changed[] = {1794, 1795, 0};
    RequestRefresh(event, changed);
  }
  return 0;
}

// An edit control showing and writing a text setting.
struct TextField {
  WORD ddmid;
  DWORD bytes;
  INT limit;
};
constexpr TextField kNumberField{1795, 258, kNumberLimit};
constexpr TextField kNameField{1797, 82, 40};
constexpr TextField kCompanyField{1798, 166, 82};
constexpr INT kCompanyLineBytes = 40, kCompanyLines = 2;

void show_field(HWND window, INT id, const TextField* field) {
  std::u16string text;
  ReadText(window, field->ddmid, &text);
  if (ItemText(window, id) != text) SetDlgItemTextW(window, id, text.c_str());
}

INT TextFieldHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                     const void* kind_data) {
  const auto* field = static_cast<const TextField*>(kind_data);
  HWND window = event->window;
  if (message == WM_INITDIALOG) {
    SendDlgItemMessageW(window, record->id, EM_LIMITTEXT, static_cast<WPARAM>(field->limit), 0);
    if (record->id == kCompany) {
      SetCompanyEditFont(window, kCompany);
      SetCompanyEditMargins(window, kCompany);
    }
    return 0;
  }
  if (wants_display(message, lParam)) {
    show_field(window, record->id, field);
    EnableWindow(GetDlgItem(window, record->id), event->permission);
    if (record->id == kNumber) {
      limit_number_controls(window);
      update_buttons(window);
    }
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) {
    if (record->id == kCompany) {
      // The company takes two lines of 40 bytes: a full line goes on in
      // the next one, a third line is taken back.
      const INT refused = FitEditTextToLines(window, kCompany, kCompanyLineBytes, kCompanyLines);
      UndoEditIfRefused(window, kCompany, refused);
      if (refused) return 0;
    }
    std::u16string stored;
    ReadText(window, field->ddmid, &stored);
    const std::u16string typed = ItemText(window, record->id);
    if (typed != stored && record->id == kNumber) take_number(window, GetDlgItem(window, kNumber), typed);
    else if (typed != stored) WriteText(window, field->ddmid, typed, field->bytes);
    if (record->id == kNumber) update_buttons(window);
    else update_phonebook_button(window);
    return 0;
  }
  if (message == UM_VALIDATE_CONTROLS && record->id == kNumber) {
    FaxSheetWords* words = SheetWords(window);
    if (words && words->button_flag) return 0;
    if (NumberOr(window, 1794, 0) != kFaxKindSpeedDial) return 0;
    std::u16string number;
    ReadText(window, 1795, &number);
    if (number.empty()) return 0;
    const FaxDeviceRules rules = rules_of(window);
    DWORD refusal = 0;
    if (number.size() <= 2 && (rules.Mode == 0 || rules.Mode == 1) && !IsFourDigitMode(rules)) {
      refusal = rules.Mode == 0 ? kMsgSpeedDialMode0 : kMsgSpeedDialMode1;
    } else {
      std::string ansi;
      for (char16_t c : number) ansi += c < 0x80 ? static_cast<char>(c) : '?';
      ValidateSpeedDialNumber(rules, ansi.c_str(), &refusal);
    }
    if (!refusal) return 0;
    // The refused number goes whether or not its message could be shown.
    Warn(window, refusal);
    if (words) words->accepted_number.clear();
    WriteText(window, 1795, u"", 258);
    SetDlgItemTextW(window, kNumber, u"");
    update_buttons(window);
    SetFocus(GetDlgItem(window, kNumber));
    return 1;
  }
  return 0;
}

// The number drop-down with the last numbers used; its last item clears
// them after a question.
INT HistoryHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord*,
                   const void*) {
  HWND window = event->window;
  HWND combo = GetDlgItem(window, kHistory);
  if (message == WM_INITDIALOG) {
    SendMessageW(combo, CB_LIMITTEXT, kNumberLimit, 0);
    return 0;
  }
  if (!history_on(window)) return 0;
  if (wants_display(message, lParam) || message == UM_SELECT_HISTORY) {
    show_history_number(window);
    limit_number_controls(window);
    EnableWindow(combo, event->permission);
    update_buttons(window);
    return 0;
  }
  if (message != WM_COMMAND) return 0;
  const WORD code = HIWORD(wParam);
  if (code == CBN_EDITCHANGE) {
    WCHAR text[kHistoryEntryChars] = {};
    GetWindowTextW(combo, text, kHistoryEntryChars);
    take_number(window, combo, text);
    update_buttons(window);
  } else if (code == CBN_SELENDOK || code == CBN_SELCHANGE) {
    const INT at = static_cast<INT>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
    const INT count = static_cast<INT>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    if (at < 0) return 0;
    if (at == count - 1) {
      if (Ask(window, kClearHistoryQuestion, MB_YESNO) == IDYES) set_history_items(window, {});
      PostMessageW(combo, UM_SELECT_HISTORY, 0, 0);
      show_history_number(window);
      return 0;
    }
    const std::vector<std::u16string> items = history_items(window);
    std::u16string number;
    ReadText(window, 1795, &number);
    if (static_cast<size_t>(at) < items.size() && !same_text(items[static_cast<size_t>(at)], number)) {
      WriteText(window, 1795, items[static_cast<size_t>(at)], 258);
      const WORD changed[] = {1795, 0};
      RequestRefresh(event, changed);
    }
    update_buttons(window);
  } else if (code == CBN_CLOSEUP) {
    show_history_number(window);
  }
  return 0;
}

INT EntryOptionsHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord*, const void*) {
  if (!wants_display(message, lParam)) return 0;
  FaxDestination d{};
  std::u16string text;
  if (read_entry(event->window, &d) && d.Kind != kFaxKindSpeedDial) text = options_text(event->window, d, false);
  SetDlgItemTextW(event->window, kEntryOptions, text.c_str());
  return 0;
}

// Setting 376: the cover sheet on or off.
INT CoverCheckHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord*,
                      const void*) {
  HWND window = event->window;
  if (wants_display(message, lParam)) {
    CheckDlgButton(window, kCover, NumberOr(window, 376, 0) == 1 ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(GetDlgItem(window, kCover), event->permission);
    EnableWindow(GetDlgItem(window, kCoverButton), NumberOr(window, 376, 0) == 1);
    return 0;
  }
  if (clicked(message, wParam)) {
    WriteNumber(window, 376, 8, 1, IsDlgButtonChecked(window, kCover) == BST_CHECKED ? 1 : 0);
    EnableWindow(GetDlgItem(window, kCoverButton), NumberOr(window, 376, 0) == 1);
    const WORD changed[] = {376, 0};
    RequestRefresh(event, changed);
  }
  return 0;
}

// Buttons that open a child dialog: the page's leave checks stand aside.
INT ChildDialogButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                      const void* kind_data) {
  if (!clicked(message, wParam)) return 0;
  FaxSheetWords* words = SheetWords(event->window);
  if (words) words->button_flag = TRUE;
  const CommandItem* item = static_cast<const CommandItem*>(kind_data);
  // The recipient details come in two variants by the direct-fax mode.
  if (record->id == kDetails && FaxMode(event->window) == 1) item = static_cast<const CommandItem*>(item[1].data);
  RunCommandItem(event, message, wParam, lParam, record, item);
  words = SheetWords(event->window);
  if (words) words->button_flag = FALSE;
  if (record->id == kAddressBook) {
    // The run replaced the list (or left it whole when it failed).
    fill_rows(event->window);
    after_list_change(event->window);
    show_phonebook_status(event->window);
  }
  return 0;
}

// ---- phonebook ------------------------------------------------------------------------

constexpr FileDialogCommand kPhonebookFile{4625, kNone, 1, 260, 260, 260, kNone, kNone, 1799, kNone, 0, 4626,
                                           OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NONETWORKBUTTON, 4627, nullptr,
                                           0, 0, 1799, 0, nullptr, nullptr, 0};
constexpr CommandItem kPhonebookFileCommand{kCommandSaveFile, &kPhonebookFile};

// Puts the entry into a phonebook file the user chooses, through the
// outside phonebook tool, waiting for it in the tool-wait dialog.
INT AddToPhonebookButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                         const void*) {
  HWND window = event->window;
  if (wants_display(message, lParam)) {
    update_phonebook_button(window);
    return 0;
  }
  if (!clicked(message, wParam)) return 0;
  std::u16string executable;
  if (!CheckPhonebookTool(window, GetResourceModule(), &executable)) return 0;
  if (ValidateDialog(event)) return 0;
  std::u16string kept;
  ReadText(window, 1799, &kept);
  // The file dialog starts from the plain path.
  if (!kept.empty() && kept[0] == u':') WriteText(window, 1799, kept.substr(1), 522);
  FaxSheetWords* words = SheetWords(window);
  if (!words) return 0;
  words->button_flag = TRUE;
  RunCommandItem(event, message, wParam, lParam, record, &kPhonebookFileCommand);
  words = SheetWords(window);
  if (words) words->button_flag = FALSE;
  if (event->command_result != 1 || !words) {
    WriteText(window, 1799, kept, 522);
    return 0;
  }
  const WORD changed[] = {1799, 0};
  RequestRefresh(event, changed);
  FaxDestination d{};
  std::u16string phonebook;
  if (!read_entry(window, &d) || !d.Number[0] || !ReadText(window, 1799, &phonebook)) return 0;
  SheetState* state = GetSheetState(window);
  PhonebookRequest request{window, GetResourceModule(), state ? state->database : nullptr, phonebook, 0};
  request.wait = [window](PROCESS_INFORMATION* process) {
    FaxSheetWords* w = SheetWords(window);
    if (!w) return false;
    w->tool = *process;
    w->tool_failed = FALSE;
    w->button_flag = TRUE;
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(kToolWait, BN_CLICKED), 0);
    w = SheetWords(window);
    if (!w) return true;
    w->button_flag = FALSE;
    w->tool = {};
    return w->tool_failed != FALSE;
  };
  AddToPhonebook(request, &d);
  return 0;
}

// Starts the phonebook tool on its own.
INT PhonebookToolButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  if (clicked(message, wParam) && !LaunchPhonebookTool(GetResourceModule())) Warn(event->window, kMsgToolNotLaunched);
  return 0;
}

// ---- sending time ---------------------------------------------------------------------

// Shows the number of the record's setting in the field with two digits
// ("07").
void show_two_digits(ControlEvent* event, INT field, SettingRef ref) {
  LONG value = 0;
  if (!ReadNumber(event->window, RefDdmid(ref), &value)) return;
  char text[16];
  std::snprintf(text, sizeof text, value >= 0 && value < 10 ? "0%ld" : "%ld", static_cast<long>(value));
  const std::u16string wide(text, text + std::strlen(text));
  if (ItemText(event->window, field) != wide) SetDlgItemTextW(event->window, field, wide.c_str());
}

// The hour and minute fields show two digits once shown or left.
INT TwoDigitEditHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void*) {
  const INT result = ChainDefaultHandler(event, message, wParam, lParam, record);
  if (ShowsAgain(message, lParam) || message == UM_RESTORE_CONTROLS ||
      (message == WM_COMMAND && LOWORD(wParam) == record->id && HIWORD(wParam) == EN_KILLFOCUS))
    show_two_digits(event, record->id, record->settings[0]);
  return result;
}

// The arrows of the hour and minute: a step past an end goes round to the
// other end, and the field shows two digits after every step.
INT TwoDigitSpinHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void*) {
  HWND spin = GetDlgItem(event->window, record->id);
  if (message == WM_VSCROLL && LOWORD(wParam) == SB_THUMBPOSITION && spin) {
    INT low = 0, high = 0;
    SendMessageW(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
    const INT position = static_cast<SHORT>(HIWORD(wParam));
    LONG value = 0;
    if (low != high && ReadNumber(event->window, RefDdmid(record->settings[0]), &value)) {
      INT wrapped = position;
      if (position == low && value == low) wrapped = high;
      else if (position == high && value == high) wrapped = low;
      if (wrapped != position) {
        SendMessageW(spin, UDM_SETPOS32, 0, wrapped);
        wParam = MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(wrapped));
      }
    }
  }
  const INT result = ChainDefaultHandler(event, message, wParam, lParam, record);
  if (message == WM_VSCROLL || ShowsAgain(message, lParam) || message == UM_RESTORE_CONTROLS)
    if (const ControlRecord* field = FindBoundControl(event, event->window, record, kControlEdit))
      show_two_digits(event, field->id, record->settings[0]);
  return result;
}

// ---- pictures -------------------------------------------------------------------------

// The pictures beside the address-book status, the cover sheet and the
// sending time: bitmaps of the resource module on the page's background.
constexpr PictureKindData kAddressBookPicture{nullptr, 4026, nullptr, 0, TRUE, kPictureBackgroundParent, FALSE};
constexpr PictureKindData kCoverPicture{nullptr, 4027, nullptr, 0, TRUE, kPictureBackgroundParent, FALSE};
constexpr PictureKindData kClockPicture{nullptr, 4028, nullptr, 0, TRUE, kPictureBackgroundParent, FALSE};

INT PagePictureHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data) {
  const UINT id = static_cast<UINT>(record->id);
  if (message == WM_INITDIALOG) {
    SubclassPictureControl(event->window, id, static_cast<const PictureKindData*>(kind_data), GetResourceModule());
  } else if (ShowsAgain(message, lParam) || message == WM_QUERYNEWPALETTE ||
             (message == WM_PALETTECHANGED && reinterpret_cast<HWND>(wParam) != GetDlgItem(event->window, record->id))) {
    InvalidatePicture(event->window, id);
  }
  return 0;
}

// ---- child dialogs of the page --------------------------------------------------------

constexpr ChildDialogTemplate kRecipientDialog[] = {{4400, EngineDialogProc<31, kDialogTypeDialog>, 31, kNone, 0}};
constexpr ChildDialogTemplate kReducedDialog[] = {{4423, EngineDialogProc<49, kDialogTypeDialog>, 49, kNone, 0}};
constexpr ChildDialogTemplate kCoverDialog[] = {{4100, CoverSheetProc, 30, kNone, 0}};
constexpr ChildDialogTemplate kNoticeDialog[] = {{3880, EngineDialogProc<57, kDialogTypeDialog>, 57, kNone, 0}};
constexpr ChildDialogTemplate kAddressBookDialog[] = {{3911, EngineDialogProc<60, kDialogTypeDialog>, 60, kNone, 0}};
constexpr ChildDialogCommand kOpenAddressBook{kAddressBookDialog, 0, 0};
constexpr CommandItem kAddressBookCommand{kCommandChildDialog, &kOpenAddressBook};
constexpr ChildDialogTemplate kToolWaitDialog[] = {{3909, ToolWaitProc, 58, kNone, 0}};
constexpr ChildDialogCommand kOpenToolWait{kToolWaitDialog, 0, 0};
constexpr CommandItem kToolWaitCommand{kCommandChildDialog, &kOpenToolWait};
constexpr ChildDialogTemplate kConfirmDialog[] = {{3910, EngineDialogProc<59, kDialogTypeDialog>, 59, kNone, 0}};
constexpr ChildDialogCommand kOpenRecipient{kRecipientDialog, 0, 0};
constexpr ChildDialogCommand kOpenReduced{kReducedDialog, 0, 0};
constexpr ChildDialogCommand kOpenCover{kCoverDialog, 0, 0};
constexpr ChildDialogCommand kOpenNotice{kNoticeDialog, 0, 0};
constexpr ChildDialogCommand kOpenConfirm{kConfirmDialog, 0, 0};
constexpr CommandItem kReducedCommand{kCommandChildDialog, &kOpenReduced};
// The details button's item, then (as its second entry) the reduced variant.
constexpr CommandItem kDetailsCommands[] = {{kCommandChildDialog, &kOpenRecipient}, {kCommandNone, &kReducedCommand}};
constexpr CommandItem kCoverCommand{kCommandChildDialog, &kOpenCover};
constexpr CommandItem kNoticeCommand{kCommandChildDialog, &kOpenNotice};
constexpr CommandItem kConfirmCommand{kCommandChildDialog, &kOpenConfirm};

constexpr WORD kKeepEnabled = kFlagKeepEnabled;

// The sending time: on or off, hour, minute and the day choice.
constexpr SettingRef kSendLaterRef[] = {Bound(1800)};
constexpr SettingRef kHourRef[] = {Bound(1801)};
constexpr SettingRef kMinuteRef[] = {Bound(1802)};
constexpr SettingRef kSendDayRef[] = {Bound(1803)};
constexpr UnitRecord kWholeNumber{0, 0};
constexpr EditFieldData kTwoDigitField{kEditNumeric, 2, nullptr, &kWholeNumber,
                                       kValidateOnKillActive | kValidateOnKillFocus | kValidateOnCommand, nullptr};

constexpr ControlRecord kPageRecords[] = {
    {kDialogRecordId, 0, nullptr, 0, PageDialogHandler, nullptr, kNone, kNone, nullptr},
    {kList, 0, nullptr, kControlListBox, ListViewHandler, nullptr, kNone, kNone, nullptr},
    {kRemove, 0, nullptr, kControlCommand, RemoveButton, nullptr, kNone, kNone, nullptr},
    {kEdit, 0, nullptr, kControlCommand, EditButton, nullptr, kNone, kNone, nullptr},
    {kAdd, 0, nullptr, kControlCommand, AddButton, nullptr, kNone, kNone, nullptr},
    {kKind, 0, nullptr, kControlDropDown, KindListHandler, nullptr, 4030, kNone, nullptr},
    {kNumber, 0, nullptr, kControlEdit, TextFieldHandler, &kNumberField, 4031, kNone, nullptr},
    {kHistory, 0, nullptr, kControlDropDown, HistoryHandler, nullptr, 4031, kNone, nullptr},
    {kName, 0, nullptr, kControlEdit, TextFieldHandler, &kNameField, 4033, kNone, nullptr},
    {kCompany, 0, nullptr, kControlEdit, TextFieldHandler, &kCompanyField, 4034, kNone, nullptr},
    {kEntryOptions, 0, nullptr, 0, EntryOptionsHandler, nullptr, kNone, kNone, nullptr},
    {kDetails, 0, nullptr, kControlCommand, ChildDialogButton, kDetailsCommands, kNone, kNone, nullptr},
    {kCover, 0, nullptr, kControlCheckBox, CoverCheckHandler, nullptr, kNone, kNone, nullptr},
    {kCoverButton, 0, nullptr, kControlCommand, ChildDialogButton, &kCoverCommand, kNone, kNone, nullptr},
    {kAddressBook, 0, nullptr, kControlCommand, ChildDialogButton, &kAddressBookCommand, kNone, kNone, nullptr},
    {kNotice, 0, nullptr, kControlCommand, ChildDialogButton, &kNoticeCommand, kNone, kNone, &kKeepEnabled},
    {kConfirm, 0, nullptr, kControlCommand, ChildDialogButton, &kConfirmCommand, kNone, kNone, &kKeepEnabled},
    {1090, 0, nullptr, kControlCommand, ClearButton, nullptr, kNone, kNone, nullptr},
    {kAddToPhonebook, 0, nullptr, kControlCommand, AddToPhonebookButton, nullptr, kNone, kNone, nullptr},
    {kPhonebookTool, 0, nullptr, kControlCommand, PhonebookToolButton, nullptr, kNone, kNone, &kKeepEnabled},
    {kToolWait, 0, nullptr, kControlCommand, nullptr, &kToolWaitCommand, kNone, kNone, &kKeepEnabled},
    {kSendLater, 1, kSendLaterRef, kControlCheckBox, nullptr, nullptr, kNone, 9168, nullptr},
    {kHourSpin, 1, kHourRef, kControlUpDown, TwoDigitSpinHandler, nullptr, kNone, kNone, nullptr},
    {kHourEdit, 1, kHourRef, kControlEdit, TwoDigitEditHandler, &kTwoDigitField, 4032, 9249, nullptr},
    {kMinuteSpin, 1, kMinuteRef, kControlUpDown, TwoDigitSpinHandler, nullptr, kNone, kNone, nullptr},
    {kMinuteEdit, 1, kMinuteRef, kControlEdit, TwoDigitEditHandler, &kTwoDigitField, 4036, 9250, nullptr},
    {kSendDay, 1, kSendDayRef, kControlDropDown, nullptr, nullptr, 4037, 9169, nullptr},
    {4026, 0, nullptr, 0, PagePictureHandler, &kAddressBookPicture, kNone, kNone, &kKeepEnabled},
    {4027, 0, nullptr, 0, PagePictureHandler, &kCoverPicture, kNone, kNone, &kKeepEnabled},
    {4028, 0, nullptr, 0, PagePictureHandler, &kClockPicture, kNone, kNone, &kKeepEnabled},
};
constexpr INT kPageHelp[] = {0, 0};

}  // namespace

const ControlSet kFaxPageSet{kPageRecords, static_cast<INT>(sizeof kPageRecords / sizeof kPageRecords[0]), 9999,
                             kPageHelp, nullptr, 0};

FaxDestinationList* GetDialogFaxList(HWND window) {
  SheetContext* context = GetSheetContext(window);
  return context ? context->current.fax_list : nullptr;
}

INT_PTR FaxPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == UM_PENDING_MESSAGES) {
    show_pending_messages(window);
    return TRUE;
  }
  if (message == UM_PHONEBOOK_STATE) {
    update_phonebook_button(window);
    return TRUE;
  }
  if (message == WM_NOTIFY && lParam && reinterpret_cast<const NMHDR*>(lParam)->code == PSN_APPLY &&
      GetSheetContext(window)) {
    store_column_widths(window);
    WriteNumber(window, 1881, 8, 1, ListModeFromRules(rules_of(window)));
    if (NumberOr(window, 376, 0) == 1) {
      const INT check = CheckCoverSheetSender(window);
      if (check == -1) return TRUE;
      if (check == 1 || check == 3 || check == 4) {
        FaxSheetWords* words = SheetWords(window);
        if (check == 1) {
          SendMessageW(window, WM_COMMAND, MAKEWPARAM(kNotice, BN_CLICKED), 0);
          if (words) words->cover_word = 1;
        }
        if (check == 3 && words) words->cover_word = 2;
        if (check != 4) PostMessageW(window, WM_COMMAND, MAKEWPARAM(kCoverButton, BN_CLICKED), 0);
        SetWindowLongPtrW(window, DWLP_MSGRESULT, PSNRET_INVALID_NOCHANGEPAGE);
        return TRUE;
      }
    }
    if (history_on(window)) {
      store_history(window);
      if (FaxSheetWords* words = SheetWords(window)) words->reload_history = TRUE;
    }
  }
  return RunEngineDialog(window, message, wParam, lParam, 0, kDialogTypePage);
}
