// The sender records of the cover sheet: a drop-down of up to ten named
// records (the most recent first, a "no sender" item last) whose data the
// six sender settings show, with buttons to register, start, edit and
// delete records. The stored list changes only when the dialog closes
// with OK.
#include <cstring>
#include <vector>

#include "fax/fax_phonebook.h"
#include "fax/fax_registry_lists.h"
#include "fax_dialogs.h"
#include "property_sheets/fax_pages.h"
#include "win/controls.h"
#include "win/win.h"

using namespace morva::fax;
using namespace fax_ui;

namespace {

constexpr INT kList = 4301, kEdit = 4321, kDelete = 4318, kRegister = 4320, kNew = 4319;
constexpr INT kNoticeIcon = 4323, kNoticeText = 4324;
constexpr UINT kPlaceholder = 5095;

struct SenderField {
  INT id;
  WORD ddmid;
  DWORD bytes;
  WORD bit;
};
constexpr SenderField kFields[] = {{4302, 1819, 82, 0x1},  {4303, 1820, 82, 0x2},  {4304, 1821, 418, 0x4},
                                   {4305, 1822, 62, 0x8},  {4306, 1823, 62, 0x10}, {4317, 1876, 258, 0x100}};
constexpr WORD kSenderSettings[] = {1819, 1820, 1821, 1822, 1823, 1876, 0};

// Buttons Edit, Delete, Register, New and the field mask of each state.
struct ButtonState {
  bool edit, remove, reg, add;
  WORD mask;
};
constexpr ButtonState kStates[] = {{false, false, false, true, 0x20}, {true, true, false, true, 0x20},
                                   {false, false, true, true, 0x1FF},  {true, true, false, true, 0x20},
                                   {false, false, true, true, 0x13F},  {false, false, false, true, 0x20}};

HWND list_of(HWND window) { return GetDlgItem(window, kList); }
INT item_count(HWND window) { return static_cast<INT>(SendMessageW(list_of(window), CB_GETCOUNT, 0, 0)); }
INT selection(HWND window) { return static_cast<INT>(SendMessageW(list_of(window), CB_GETCURSEL, 0, 0)); }
SenderRecord* record_at(HWND window, INT i) {
  const LRESULT data = SendMessageW(list_of(window), CB_GETITEMDATA, static_cast<WPARAM>(i), 0);
  return data == CB_ERR ? nullptr : reinterpret_cast<SenderRecord*>(data);
}
// A stored record is selected (not the placeholder, which is always last).
bool stored_selected(HWND window) {
  const INT at = selection(window);
  return at >= 0 && at + 1 < item_count(window);
}

void apply_record(HWND window, const SenderRecord* record) {
  SheetContext* c = GetSheetContext(window);
  if (c && record) ApplySenderRecord(c->current.devmode, c->current.printer_data, record);
}

void set_button_state(ControlEvent* event, INT n) {
  HWND window = event->window;
  const bool editable = event->permission != 0;
  const ButtonState& s = kStates[n];
  EnableWindow(GetDlgItem(window, kEdit), editable && s.edit);
  EnableWindow(GetDlgItem(window, kDelete), editable && s.remove);
  EnableWindow(GetDlgItem(window, kRegister), editable && s.reg);
  EnableWindow(GetDlgItem(window, kNew), editable && s.add);
  if (FaxSheetWords* words = SheetWords(window)) words->sender_mask = editable ? s.mask : 0x20;
  RequestRefresh(event, kSenderSettings);
}

INT insert_item(HWND window, INT at, const SenderRecord& record) {
  auto* copy = static_cast<SenderRecord*>(GlobalAlloc(GPTR, sizeof(SenderRecord)));
  if (!copy) return -1;
  *copy = record;
  const LPCWSTR text = record.SenderName[0] ? record.SenderName : nullptr;
  const std::u16string placeholder = ResourceText(kPlaceholder);
  const INT i = static_cast<INT>(SendMessageW(list_of(window), CB_INSERTSTRING, static_cast<WPARAM>(at),
                                              reinterpret_cast<LPARAM>(text ? text : placeholder.c_str())));
  if (i < 0) {
    GlobalFree(copy);
    return -1;
  }
  SendMessageW(list_of(window), CB_SETITEMDATA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(copy));
  return i;
}

void delete_item(HWND window, INT i) {
  if (SenderRecord* r = record_at(window, i)) GlobalFree(r);
  SendMessageW(list_of(window), CB_DELETESTRING, static_cast<WPARAM>(i), 0);
}

void free_items(HWND window) {
  for (INT i = item_count(window) - 1; i >= 0; --i) delete_item(window, i);
}

void select_placeholder(HWND window) {
  SendMessageW(list_of(window), CB_SETCURSEL, static_cast<WPARAM>(item_count(window) - 1), 0);
  const SenderRecord none{};
  apply_record(window, &none);
}

void move_to_top(HWND window, INT i) {
  if (i < 0 || i + 1 >= item_count(window) || i == 0) return;
  const SenderRecord record = *record_at(window, i);
  delete_item(window, i);
  insert_item(window, 0, record);
  SendMessageW(list_of(window), CB_SETCURSEL, 0, 0);
}

bool key_path(HWND window, WCHAR* key) {
  SheetState* state = GetSheetState(window);
  return state && GetFaxUserKeyPath(state->database, 0, kSenderInfoKeyTail, key, kFaxUserKeyChars) != 0;
}

// Fills the drop-down from the stored records; the state to start in, -1
// when the stored list cannot be read.
INT fill_list(HWND window) {
  WCHAR key[kFaxUserKeyChars] = {};
  std::vector<SenderRecord> records(11);
  const INT n = key_path(window, key) ? ReadSenderRecords(key, kSenderValuePrefix, records.data(), 11) : -1;
  if (n < 0) return -1;
  SendMessageW(list_of(window), CB_RESETCONTENT, 0, 0);
  for (INT i = 0; i < n; ++i) insert_item(window, i, records[static_cast<size_t>(i)]);
  insert_item(window, n, SenderRecord{});
  std::u16string name;
  ReadText(window, 1819, &name);
  for (INT i = 0; i < n; ++i) {
    if (name != records[static_cast<size_t>(i)].SenderName) continue;
    SendMessageW(list_of(window), CB_SETCURSEL, static_cast<WPARAM>(i), 0);
    move_to_top(window, i);
    apply_record(window, record_at(window, 0));
    return 1;
  }
  select_placeholder(window);
  if (!name.empty()) Warn(window, 5216);
  return 0;
}

bool wants_display(UINT message, LPARAM lParam) {
  return IsNotifyCode(message, lParam, PSN_SETACTIVE) || message == UM_REFRESH_CONTROLS ||
         message == UM_RESTORE_CONTROLS;
}
bool clicked(UINT message, WPARAM wParam) { return message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED; }

INT SenderDialogHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord*, const void*) {
  HWND window = event->window;
  if (message == WM_INITDIALOG) {
    const INT start = fill_list(window);
    if (start >= 0) set_button_state(event, start);
    return 0;
  }
  if (wants_display(message, lParam)) {
    const SenderRecord* r = stored_selected(window) ? record_at(window, selection(window)) : nullptr;
    const bool notice = r && !r->Confirmed;
    SetDlgItemTextW(window, kNoticeText, notice ? ResourceText(5219).c_str() : u"");
    ShowWindow(GetDlgItem(window, kNoticeIcon), notice ? SW_SHOW : SW_HIDE);
    return 0;
  }
  if (message == WM_DESTROY) free_items(window);
  return 0;
}

INT SenderListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  HWND window = event->window;
  if (message == WM_COMMAND && HIWORD(wParam) == CBN_SELCHANGE) {
    const INT at = selection(window);
    if (at >= 0) apply_record(window, record_at(window, at));
    set_button_state(event, stored_selected(window) ? 1 : 0);
  }
  return 0;
}

INT SenderFieldHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data) {
  const auto* f = static_cast<const SenderField*>(kind_data);
  HWND window = event->window;
  if (message == WM_INITDIALOG) {
    SendDlgItemMessageW(window, f->id, EM_LIMITTEXT, static_cast<WPARAM>(f->bytes / 2 - 1), 0);
    return 0;
  }
  if (wants_display(message, lParam)) {
    std::u16string text;
    ReadText(window, f->ddmid, &text);
    if (ItemText(window, f->id) != text) SetDlgItemTextW(window, f->id, text.c_str());
    const FaxSheetWords* words = SheetWords(window);
    EnableWindow(GetDlgItem(window, f->id), words && (words->sender_mask & f->bit) != 0);
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) {
    const std::u16string text = ItemText(window, record->id);
    if (f->ddmid == 1821 && !TextFitsLines(text, 40, 5)) {
      // A sixth line, or a 41st byte in a line, is taken back.
      SendDlgItemMessageW(window, record->id, EM_UNDO, 0, 0);
      SendDlgItemMessageW(window, record->id, EM_EMPTYUNDOBUFFER, 0, 0);
      return 0;
    }
    std::u16string stored;
    ReadText(window, f->ddmid, &stored);
    if (stored != text) WriteText(window, f->ddmid, text, f->bytes);
  }
  return 0;
}

INT RegisterButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  if (!clicked(message, wParam)) return 0;
  HWND window = event->window;
  std::u16string name;
  ReadText(window, 1819, &name);
  if (name.empty() || IsBlankText(name.c_str())) {
    Warn(window, 5021);
    SetFocus(GetDlgItem(window, 4302));
    return 0;
  }
  for (INT i = 0; i + 1 < item_count(window); ++i) {
    if (name != record_at(window, i)->SenderName) continue;
    if (Ask(window, 5019, MB_OKCANCEL) != IDOK) return 0;
    delete_item(window, i);
    break;
  }
  SenderRecord record{};
  SheetContext* c = GetSheetContext(window);
  if (!c || !CaptureSenderRecord(c->current.devmode, c->current.printer_data, &record)) return 0;
  record.Confirmed = 1;
  const INT at = insert_item(window, 0, record);
  if (at < 0) return 0;
  SendMessageW(list_of(window), CB_SETCURSEL, static_cast<WPARAM>(at), 0);
  set_button_state(event, 3);
  SetFocus(list_of(window));
  return 0;
}

INT NewButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  if (!clicked(message, wParam)) return 0;
  HWND window = event->window;
  if (item_count(window) > 10) {
    Warn(window, 5027);
    SetFocus(GetDlgItem(window, kNew));
    return 0;
  }
  select_placeholder(window);
  set_button_state(event, 4);
  return 0;
}

INT DeleteOrEditButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord* record,
                       const void*) {
  if (!clicked(message, wParam)) return 0;
  HWND window = event->window;
  const bool edit = record->id == kEdit;
  if (stored_selected(window)) delete_item(window, selection(window));
  // Edit keeps the record's values in the settings for typing them again.
  if (edit) SendMessageW(list_of(window), CB_SETCURSEL, static_cast<WPARAM>(item_count(window) - 1), 0);
  else select_placeholder(window);
  set_button_state(event, edit ? 2 : 5);
  SetFocus(GetDlgItem(window, edit ? 4302 : kList));
  return 0;
}

constexpr CommandItem kOkCommand{kCommandOk, nullptr};
constexpr CommandItem kDefaultsCommand{kCommandDefaults, nullptr};

INT SenderOkButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                   const void*) {
  if (!clicked(message, wParam)) return 0;
  HWND window = event->window;
  if (ValidateDialog(event)) return 0;
  if (IsWindowEnabled(GetDlgItem(window, 4303))) {
    // Typed data that was not registered.
    if (Ask(window, 5020, MB_YESNO) != IDYES) return 0;
    for (const SenderField& f : kFields) {
      SetDlgItemTextW(window, f.id, u"");
      WriteText(window, f.ddmid, u"", f.bytes);
    }
  }
  move_to_top(window, selection(window));
  std::vector<SenderRecord> keep;
  for (INT i = 0; i < item_count(window); ++i)
    if (const SenderRecord* r = record_at(window, i); r && r->SenderName[0]) keep.push_back(*r);
  WCHAR key[kFaxUserKeyChars] = {};
  if (key_path(window, key)) WriteSenderRecords(key, kSenderValuePrefix, keep.data(), static_cast<INT>(keep.size()));
  return RunCommandItem(event, message, wParam, lParam, record, &kOkCommand);
}

INT SenderDefaultsButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                         const void*) {
  if (!clicked(message, wParam)) return 0;
  select_placeholder(event->window);
  set_button_state(event, 0);
  return RunCommandItem(event, message, wParam, lParam, record, &kDefaultsCommand);
}

constexpr ControlRecord kSenderRecords[] = {
    {kDialogRecordId, 0, nullptr, 0, SenderDialogHandler, nullptr, kNone, kNone, nullptr},
    {kList, 0, nullptr, kControlDropDown, SenderListHandler, nullptr, 4307, kNone, nullptr},
    {4302, 0, nullptr, kControlEdit, SenderFieldHandler, &kFields[0], 4311, kNone, nullptr},
    {4303, 0, nullptr, kControlEdit, SenderFieldHandler, &kFields[1], 4312, kNone, nullptr},
    {4304, 0, nullptr, kControlEdit, SenderFieldHandler, &kFields[2], 4313, kNone, nullptr},
    {4305, 0, nullptr, kControlEdit, SenderFieldHandler, &kFields[3], 4314, kNone, nullptr},
    {4306, 0, nullptr, kControlEdit, SenderFieldHandler, &kFields[4], 4315, kNone, nullptr},
    {4317, 0, nullptr, kControlEdit, SenderFieldHandler, &kFields[5], 4316, kNone, nullptr},
    {kEdit, 0, nullptr, kControlCommand, DeleteOrEditButton, nullptr, kNone, kNone, nullptr},
    {kDelete, 0, nullptr, kControlCommand, DeleteOrEditButton, nullptr, kNone, kNone, nullptr},
    {kRegister, 0, nullptr, kControlCommand, RegisterButton, nullptr, kNone, kNone, nullptr},
    {kNew, 0, nullptr, kControlCommand, NewButton, nullptr, kNone, kNone, nullptr},
    {1092, 0, nullptr, kControlCommand, SenderOkButton, nullptr, kNone, kNone, nullptr},
    {1090, 0, nullptr, kControlCommand, SenderDefaultsButton, nullptr, kNone, kNone, nullptr},
};
constexpr INT kSenderHelp[] = {kList, 31100, 4302, 31700, 4303, 31800, 4304, 31900, 4305, 32100, 4306, 32200,
                               4317, 32400, kEdit, 31300, kDelete, 31200, kRegister, 31400, kNew, 31500,
                               1092, 1520, 1090, 1540, 4310, 31600, 1091, 1530, 1341, 7777, 0, 0};

}  // namespace

const ControlSet kSenderSet{kSenderRecords, static_cast<INT>(sizeof kSenderRecords / sizeof kSenderRecords[0]), 32300,
                            kSenderHelp, nullptr, 0};
