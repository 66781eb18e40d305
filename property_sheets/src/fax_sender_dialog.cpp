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
#include "fax_sender_list.h"
#include "property_sheets/fax_text_input.h"
#include "property_sheets/fax_pages.h"
#include "settings/common/module_state.h"
#include "win/controls.h"
#include "win/win.h"

using namespace morva::fax;
using namespace fax_ui;

namespace {

constexpr INT kList = 4301, kEdit = 4321, kDelete = 4318, kRegister = 4320, kNew = 4319;
constexpr INT kNoticeIcon = 4323, kNoticeText = 4324;

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

// The list's helpers bound to this dialog's drop-down.
INT item_count(HWND window) { return SenderItemCount(window, kList); }
INT selection(HWND window) { return SenderSelection(window, kList); }
SenderRecord* record_at(HWND window, INT i) { return SenderItemRecord(window, kList, i); }
bool stored_selected(HWND window) { return StoredSenderSelected(window, kList); }
HWND list_of(HWND window) { return GetDlgItem(window, kList); }

// The notice of a selected record that is not confirmed yet.
void show_notice(HWND window) {
  const FaxSheetWords* words = SheetWords(window);
  const SenderRecord* r = stored_selected(window) ? record_at(window, selection(window)) : nullptr;
  const bool notice = r && !r->Confirmed && !(words && (words->sender_mask & 0x40));
  SetDlgItemTextW(window, kNoticeText, notice ? ResourceText(5219).c_str() : u"");
  ShowWindow(GetDlgItem(window, kNoticeIcon), notice ? SW_SHOW : SW_HIDE);
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
  show_notice(window);
}

bool wants_display(UINT message, LPARAM lParam) {
  return IsNotifyCode(message, lParam, PSN_SETACTIVE) || message == UM_REFRESH_CONTROLS ||
         message == UM_RESTORE_CONTROLS;
}
bool clicked(UINT message, WPARAM wParam) { return message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED; }

// A stored record, or the placeholder, was chosen: the settings take its
// values and the buttons their state.
void on_selection(ControlEvent* event) {
  HWND window = event->window;
  const INT at = selection(window);
  if (const SenderRecord* r = at >= 0 ? record_at(window, at) : nullptr) ApplySenderToSettings(window, *r);
  set_button_state(event, stored_selected(window) ? 1 : 0);
}

void delete_or_edit(ControlEvent* event, bool edit);

INT SenderDialogHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord*,
                        const void*) {
  HWND window = event->window;
  if (message == WM_INITDIALOG) {
    if (!SetCompanyEditFont(window, 4304)) return 0;
    // The notice shows the note icon of the list's unconfirmed records.
    SendDlgItemMessageW(window, kNoticeIcon, STM_SETICON,
                        reinterpret_cast<WPARAM>(LoadIconW(GetResourceModule(), MAKEINTRESOURCEW(860))), 0);
    SetSenderItemHeight(window, kList);
    const INT found = FillSenderList(window, kList, 0);
    if (found == 1) on_selection(event);
    else if (found == 0) delete_or_edit(event, false);
    return 0;
  }
  if (message == WM_WINDOWPOSCHANGED) {
    const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
    FaxSheetWords* words = SheetWords(window);
    if (pos && (pos->flags & SWP_SHOWWINDOW) && words && words->sender_prompt == 2) {
      // The cover sheet's check asks for the unconfirmed record to be edited.
      words->sender_prompt = 0;
      SendMessageW(window, WM_COMMAND, MAKEWPARAM(kEdit, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, kEdit)));
      SetFocus(GetDlgItem(window, 4317));
      SendDlgItemMessageW(window, 4317, EM_SETSEL, 0, -1);
    }
    return 0;
  }
  if (wants_display(message, lParam)) {
    show_notice(window);
    return 0;
  }
  if (message == WM_DESTROY || IsNotifyCode(message, lParam, PSN_RESET)) {
    FreeSenderListData(window, kList);
    FreeCompanyEditFont(window, 4304);
    if (auto icon = reinterpret_cast<HICON>(SendDlgItemMessageW(window, kNoticeIcon, STM_SETICON, 0, 0)))
      DestroyIcon(icon);
  }
  return 0;
}

INT SenderListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord*,
                      const void*) {
  HWND window = event->window;
  if (message == WM_COMMAND && HIWORD(wParam) == CBN_SELENDOK) on_selection(event);
  if (message == WM_COMMAND && HIWORD(wParam) == CBN_CLOSEUP) ReselectCurrentSender(window, kList);
  if (message == WM_DRAWITEM) {
    DrawSenderItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    return 1;
  }
  return 0;
}

INT SenderFieldHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data) {
  const auto* f = static_cast<const SenderField*>(kind_data);
  HWND window = event->window;
  if (message == WM_INITDIALOG) {
    SendDlgItemMessageW(window, f->id, EM_LIMITTEXT, static_cast<WPARAM>(f->bytes / 2 - 1), 0);
    if (f->ddmid == 1821) SetCompanyEditMargins(window, f->id);
    return 0;
  }
  if (wants_display(message, lParam)) {
    std::u16string text;
    ReadText(window, f->ddmid, &text);
    if (ItemText(window, f->id) != text) SetDlgItemTextW(window, f->id, text.c_str());
    FaxSheetWords* words = SheetWords(window);
    EnableWindow(GetDlgItem(window, f->id), words && (words->sender_mask & f->bit) != 0);
    if (f->ddmid == 1819 && words && (words->sender_mask & 0x80)) {
      words->sender_mask &= static_cast<WORD>(~0x80);
      SetFocus(GetDlgItem(window, f->id));
      SendDlgItemMessageW(window, f->id, EM_SETSEL, 0, -1);
    }
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) {
    if (f->ddmid == 1821) {
      // A sixth line, or a 41st byte in the fifth line, is taken back; a
      // full line goes on in the next one.
      const INT refused = FitEditTextToLines(window, record->id, 40, 5);
      UndoEditIfRefused(window, record->id, refused);
      if (refused) return 0;
    }
    const std::u16string text = ItemText(window, record->id);
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
  if (name.empty() || !ValidateTextInput(name.c_str(), nullptr, nullptr, nullptr, nullptr, kTextNotBlank, 0)) {
    Warn(window, 5021);
    SetFocus(GetDlgItem(window, 4302));
    return 0;
  }
  for (INT i = 0; i + 1 < item_count(window); ++i) {
    if (name != record_at(window, i)->SenderName) continue;
    if (Ask(window, 5019, MB_OKCANCEL) != IDOK) return 0;
    DeleteSenderItem(window, kList, i);
    break;
  }
  SenderRecord record{};
  SheetContext* c = GetSheetContext(window);
  if (!c || !CaptureSenderRecord(c->current.devmode, c->current.printer_data, &record)) return 0;
  record.Confirmed = 1;
  const INT at = InsertSenderItem(window, kList, 0, record);
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
  SelectSenderPlaceholder(window, kList);
  set_button_state(event, 4);
  return 0;
}

// Delete drops the selected record and empties the fields; Edit drops it
// too but keeps its values in the settings for typing them again.
void delete_or_edit(ControlEvent* event, bool edit) {
  HWND window = event->window;
  if (stored_selected(window)) DeleteSenderItem(window, kList, selection(window));
  if (edit) SendMessageW(list_of(window), CB_SETCURSEL, static_cast<WPARAM>(item_count(window) - 1), 0);
  else SelectSenderPlaceholder(window, kList);
  set_button_state(event, edit ? 2 : 5);
  if (!edit) SetFocus(list_of(window));
}

INT DeleteOrEditButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord* record,
                       const void*) {
  if (clicked(message, wParam)) delete_or_edit(event, record->id == kEdit);
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
  MoveSenderToTop(window, kList, -1);
  SaveSenderList(window, kList);
  return RunCommandItem(event, message, wParam, lParam, record, &kOkCommand);
}

INT SenderDefaultsButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                         const void*) {
  if (!clicked(message, wParam)) return 0;
  SelectSenderPlaceholder(event->window, kList);
  set_button_state(event, 0);
  return RunCommandItem(event, message, wParam, lParam, record, &kDefaultsCommand);
}

constexpr ControlRecord kSenderRecords[] = {
    {kDialogRecordId, 0, nullptr, 0, SenderDialogHandler, nullptr, kNone, kNone, nullptr},
    {kList, 0, nullptr, kControlDropDown, SenderListHandler, nullptr, 4307, kNone, nullptr},
    {4302, 0, nullptr, kControlEdit, SenderFieldHandler, &kFields[0], 4311, 9197, nullptr},
    {4303, 0, nullptr, kControlEdit, SenderFieldHandler, &kFields[1], 4312, 9198, nullptr},
    {4304, 0, nullptr, kControlEdit, SenderFieldHandler, &kFields[2], 4313, 9199, nullptr},
    {4305, 0, nullptr, kControlEdit, SenderFieldHandler, &kFields[3], 4314, 9200, nullptr},
    {4306, 0, nullptr, kControlEdit, SenderFieldHandler, &kFields[4], 4315, 9201, nullptr},
    {4317, 0, nullptr, kControlEdit, SenderFieldHandler, &kFields[5], 4316, 9287, nullptr},
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
