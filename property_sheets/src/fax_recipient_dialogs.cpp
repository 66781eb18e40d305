// The recipient details of the destination being edited (the full dialog
// and the reduced one of the fax-unit mode), the notice shown when sender
// data is missing and the dialog in which a number is typed a second time.
#include <cstring>

#include "fax/fax_destination.h"
#include "fax_dialogs.h"
#include "fax_sender_list.h"
#include "property_sheets/fax_pages.h"
#include "win/controls.h"
#include "win/win.h"

using namespace fax_ui;

namespace {

constexpr INT kLinePrefix = 4422, kCommMode = 4401, kMailboxId = 4404, kPassword = 4405, kRelayId = 4407;
constexpr INT kRelayPrint = 4408, kRelayNumbers = 4409, kFCode = 4411, kFCodePassword = 4412;
constexpr INT kBoxNone = 4402, kBoxMailbox = 4403, kBoxRelay = 4406;

bool wants_display(UINT message, LPARAM lParam) {
  return IsNotifyCode(message, lParam, PSN_SETACTIVE) || message == UM_REFRESH_CONTROLS ||
         message == UM_RESTORE_CONTROLS;
}
bool clicked(UINT message, WPARAM wParam) { return message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED; }

std::u16string decimal(LONG v) {
  std::u16string out;
  for (char c : std::to_string(v)) out += static_cast<char16_t>(c);
  return out;
}

// ---- fields --------------------------------------------------------------------------

// An edit bound to a text (bytes > 0) or a number (bytes 0) setting.
struct Field {
  WORD ddmid;
  DWORD bytes;
  INT limit;
};
constexpr Field kMailboxIdField{1812, 0, 5};
constexpr Field kPasswordField{1813, 10, 4};
constexpr Field kRelayIdField{1814, 0, 5};
constexpr Field kRelayNumbersField{1816, 120, 59};
constexpr Field kFCodeField{1817, 42, 20};
constexpr Field kFCodePasswordField{1818, 42, 20};

std::u16string field_text(HWND window, const Field* f) {
  std::u16string text;
  if (f->bytes) ReadText(window, f->ddmid, &text);
  else text = decimal(NumberOr(window, f->ddmid, 0));
  return text;
}

void commit_field(HWND window, const Field* f, const std::u16string& text) {
  if (f->bytes) {
    WriteText(window, f->ddmid, text, f->bytes);
    return;
  }
  LONG v = 0;
  for (char16_t c : text)
    if (c >= u'0' && c <= u'9') v = v * 10 + (c - u'0');
  WriteNumber(window, f->ddmid, 3, 2, v);
}

INT FieldHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                 const void* kind_data) {
  const auto* f = static_cast<const Field*>(kind_data);
  HWND window = event->window;
  if (message == WM_INITDIALOG) {
    SendDlgItemMessageW(window, record->id, EM_LIMITTEXT, static_cast<WPARAM>(f->limit), 0);
    return 0;
  }
  if (wants_display(message, lParam)) {
    const std::u16string text = field_text(window, f);
    if (ItemText(window, record->id) != text) SetDlgItemTextW(window, record->id, text.c_str());
    EnableWindow(GetDlgItem(window, record->id), event->permission);
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE && !(record->id == kPassword || record->id == kRelayNumbers))
    commit_field(window, f, ItemText(window, record->id));
  return 0;
}

// The relay numbers and the mailbox password are checked when the edit is
// left and when the dialog validates: a refused text is taken back to the
// one before it, also when its message cannot be shown.
INT CheckedFieldHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void* kind_data) {
  const bool leaving = message == WM_COMMAND && HIWORD(wParam) == EN_KILLFOCUS;
  if (!leaving && message != UM_VALIDATE_CONTROLS) return FieldHandler(event, message, wParam, lParam, record, kind_data);
  const auto* f = static_cast<const Field*>(kind_data);
  HWND window = event->window;
  const std::u16string previous = field_text(window, f);
  const std::u16string typed = ItemText(window, record->id);
  commit_field(window, f, typed);
  INT refusal = 0;
  if (record->id == kRelayNumbers) refusal = CheckRelayNumbers(typed);
  else refusal = IsRefusedMailboxPassword(typed) ? 1 : 0;
  if (!refusal) return 0;
  if (message == UM_VALIDATE_CONTROLS) {
    SetFocus(GetDlgItem(window, kBoxMailbox));
  } else if (record->id == kRelayNumbers) {
    Warn(window, refusal == 2 ? 5013 : 5012);
  } else {
    std::u16string text = ResourceText(5011);
    const UINT parts[] = {5077, 5078, 5079};
    for (INT i = 0; i < 3; ++i) {
      const std::u16string mark = u"%" + decimal(i + 1) + u"s";
      const size_t at = text.find(mark);
      if (at != std::u16string::npos) text.replace(at, mark.size(), ResourceText(parts[i]));
    }
    AskText(window, text, MB_ICONWARNING);
  }
  commit_field(window, f, previous);
  SetDlgItemTextW(window, record->id, previous.c_str());
  SetFocus(GetDlgItem(window, record->id));
  return 1;
}

// A drop-down of fixed choices 0..n-1 for a word setting, its texts from
// consecutive resource strings.
struct Choices {
  WORD ddmid;
  UINT first_text;
  INT count;
};
constexpr Choices kLineChoices{1796, 5072, 3};
constexpr Choices kCommChoices{1810, 5065, 3};
constexpr Choices kRelayPrintChoices{1815, 4680, 2};

// A row of the owner-drawn line-prefix list; item data 1 marks the greyed
// choice.
void DrawLinePrefixItem(const DRAWITEMSTRUCT* item) {
  if (!item || !item->hDC) return;
  FillOwnerDrawnRow(item);
  if (item->itemID == static_cast<UINT>(-1)) return;
  const INT length = static_cast<INT>(SendMessageW(item->hwndItem, CB_GETLBTEXTLEN, item->itemID, 0));
  if (length <= 0) return;
  std::u16string text(static_cast<size_t>(length) + 1, u'\0');
  SendMessageW(item->hwndItem, CB_GETLBTEXT, item->itemID, reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  DrawOwnerDrawnRowText(item, text, 2, item->itemData == 1);
}

INT ChoiceListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                      const void* kind_data) {
  const auto* c = static_cast<const Choices*>(kind_data);
  HWND window = event->window;
  HWND control = GetDlgItem(window, record->id);
  if (message == WM_INITDIALOG && record->id == kLinePrefix) {
    if (FaxSheetWords* words = SheetWords(window)) words->line_prefix = NumberOr(window, 1796, 0) == 0 ? 1 : 0;
    return 0;
  }
  if (message == WM_DRAWITEM && record->id == kLinePrefix) {
    DrawLinePrefixItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    return 1;
  }
  if (wants_display(message, lParam)) {
    SendMessageW(control, CB_RESETCONTENT, 0, 0);
    const LONG current = NumberOr(window, c->ddmid, 0);
    // A destination that had a line prefix when the dialog opened shows
    // its current prefix greyed: the prefix was not the user's choice here.
    const FaxSheetWords* words = record->id == kLinePrefix ? SheetWords(window) : nullptr;
    const LONG greyed = words && words->line_prefix == 0 ? current : -1;
    for (INT i = 0; i < c->count; ++i) {
      const std::u16string text = ResourceText(c->first_text + static_cast<UINT>(i));
      const LRESULT at = SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
      if (at >= 0) SendMessageW(control, CB_SETITEMDATA, static_cast<WPARAM>(at), i == greyed ? 1 : 0);
    }
    SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(current), 0);
    EnableWindow(control, event->permission);
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == CBN_SELCHANGE) {
    const LONG v = static_cast<LONG>(SendMessageW(control, CB_GETCURSEL, 0, 0));
    if (v >= 0) WriteNumber(window, c->ddmid, 3, 2, v);
  }
  return 0;
}

// Setting 1811 as three buttons: none, mailbox, relay.
INT BoxModeHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord*,
                   const void*) {
  HWND window = event->window;
  const INT buttons[] = {kBoxNone, kBoxMailbox, kBoxRelay};
  if (wants_display(message, lParam)) {
    const LONG mode = NumberOr(window, 1811, 0);
    for (INT i = 0; i < 3; ++i) {
      CheckDlgButton(window, buttons[i], i == mode ? BST_CHECKED : BST_UNCHECKED);
      EnableWindow(GetDlgItem(window, buttons[i]), event->permission);
    }
    return 0;
  }
  if (clicked(message, wParam))
    for (INT i = 0; i < 3; ++i)
      if (LOWORD(wParam) == buttons[i]) WriteNumber(window, 1811, 3, 2, i);
  return 0;
}

constexpr CommandItem kOkCommand{kCommandOk, nullptr};

INT RecipientOkButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                      const void*) {
  if (!clicked(message, wParam)) return 0;
  HWND window = event->window;
  if (ValidateDialog(event)) return 0;
  std::u16string relay;
  ReadText(window, 1816, &relay);
  if (relay.empty() && NumberOr(window, 1811, 0) == 2 && GetDlgItem(window, kRelayNumbers)) {
    Warn(window, 5012);
    SetFocus(GetDlgItem(window, kRelayNumbers));
    return 0;
  }
  FaxSheetWords* words = SheetWords(window);
  if (words && words->line_prefix == 1 && NumberOr(window, 1796, 0) != 0 &&
      Ask(window, 4651, MB_OKCANCEL) != IDOK) {
    SetFocus(GetDlgItem(window, kLinePrefix));
    return 0;
  }
  return RunCommandItem(event, message, wParam, lParam, record, &kOkCommand);
}

constexpr ControlRecord kRecipientRecords[] = {
    {kLinePrefix, 0, nullptr, kControlDropDown, ChoiceListHandler, &kLineChoices, 4421, 9161, nullptr},
    {kCommMode, 0, nullptr, kControlDropDown, ChoiceListHandler, &kCommChoices, 4410, 9172, nullptr},
    {kBoxNone, 0, nullptr, kControlRadioGroup, BoxModeHandler, nullptr, kNone, kNone, nullptr},
    {kBoxMailbox, 0, nullptr, kControlRadioGroup, BoxModeHandler, nullptr, kNone, kNone, nullptr},
    {kBoxRelay, 0, nullptr, kControlRadioGroup, BoxModeHandler, nullptr, kNone, kNone, nullptr},
    {kMailboxId, 0, nullptr, kControlEdit, FieldHandler, &kMailboxIdField, 4414, 9173, nullptr},
    {kPassword, 0, nullptr, kControlEdit, CheckedFieldHandler, &kPasswordField, 4415, 9174, nullptr},
    {kRelayId, 0, nullptr, kControlEdit, FieldHandler, &kRelayIdField, 4416, 9175, nullptr},
    {kRelayPrint, 0, nullptr, kControlDropDown, ChoiceListHandler, &kRelayPrintChoices, 4417, 9176, nullptr},
    {kRelayNumbers, 0, nullptr, kControlEdit, CheckedFieldHandler, &kRelayNumbersField, 4418, 9177, nullptr},
    {kFCode, 0, nullptr, kControlEdit, FieldHandler, &kFCodeField, 4419, 9178, nullptr},
    {kFCodePassword, 0, nullptr, kControlEdit, FieldHandler, &kFCodePasswordField, 4420, 9179, nullptr},
    {1092, 0, nullptr, kControlCommand, RecipientOkButton, nullptr, kNone, kNone, nullptr},
};
constexpr ControlRecord kReducedRecords[] = {
    {kLinePrefix, 0, nullptr, kControlDropDown, ChoiceListHandler, &kLineChoices, 4421, 9161, nullptr},
    {kCommMode, 0, nullptr, kControlDropDown, ChoiceListHandler, &kCommChoices, 4410, 9172, nullptr},
    {kFCode, 0, nullptr, kControlEdit, FieldHandler, &kFCodeField, 4419, 9178, nullptr},
    {kFCodePassword, 0, nullptr, kControlEdit, FieldHandler, &kFCodePasswordField, 4420, 9179, nullptr},
    {1092, 0, nullptr, kControlCommand, RecipientOkButton, nullptr, kNone, kNone, nullptr},
};
constexpr INT kRecipientHelp[] = {kLinePrefix, 30900, kCommMode, 38200, kBoxNone, 38400, kBoxMailbox, 38500,
                                  kBoxRelay, 38800, kMailboxId, 38600, kPassword, 38700, kRelayId, 38900,
                                  kRelayPrint, 39100, kRelayNumbers, 39200, kFCode, 39300, kFCodePassword, 39400,
                                  4413, 38300, 1092, 1520, 0, 0};

// ---- the sender notice and the number confirmation --------------------------------------

constexpr INT kEndNotice = 11;

INT NoticeHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  if (message == WM_INITDIALOG) SetDlgItemTextW(event->window, 4879, ResourceText(5217).c_str());
  if (clicked(message, wParam) && LOWORD(wParam) == 1092) EndDialog(event->window, kEndNotice);
  return 0;
}

constexpr ControlRecord kNoticeRecords[] = {
    {kDialogRecordId, 0, nullptr, 0, NoticeHandler, nullptr, kNone, kNone, nullptr},
    {1092, 0, nullptr, kControlCommand, NoticeHandler, nullptr, kNone, kNone, nullptr},
};

INT ConfirmHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  HWND window = event->window;
  if (message == WM_INITDIALOG) {
    const LONG kind = NumberOr(window, 1794, -1);
    const UINT titles[] = {5232, 5233, 5234};
    const INT limits[] = {100, SipFaxOn(window) ? 4 : 3, 128};
    if (kind < 0 || kind > 2) return 0;
    const std::u16string title = ResourceText(titles[kind]);
    SendDlgItemMessageW(window, 1096, EM_LIMITTEXT, static_cast<WPARAM>(limits[kind]), 0);
    SetDlgItemTextW(window, 1093, title.c_str());
    std::u16string number;
    ReadText(window, 1795, &number);
    if (number.size() >= 44) {
      std::u16string lines;
      for (size_t at = 0; at < number.size(); at += 43) lines += (at ? u"\n" : u"") + number.substr(at, 43);
      SetDlgItemTextW(window, 1094, lines.c_str());
    }
    std::u16string prompt = ResourceText(5235);
    const size_t at = prompt.find(u"%1s");
    if (at != std::u16string::npos) prompt.replace(at, 3, title);
    SetDlgItemTextW(window, 1095, prompt.c_str());
    return 0;
  }
  if (clicked(message, wParam) && LOWORD(wParam) == 1092) {
    std::u16string number;
    ReadText(window, 1795, &number);
    if (ItemText(window, 1096) != number) {
      if (Warn(window, 5230) == IDOK) {
        SetDlgItemTextW(window, 1096, u"");
        SetFocus(GetDlgItem(window, 1096));
      }
      return 0;
    }
    if (FaxSheetWords* words = SheetWords(window)) words->confirmed = 1;
    EndDialog(window, kEndNotice);
  }
  return 0;
}

constexpr ControlRecord kConfirmRecords[] = {
    {kDialogRecordId, 0, nullptr, 0, ConfirmHandler, nullptr, kNone, kNone, nullptr},
    {1092, 0, nullptr, kControlCommand, ConfirmHandler, nullptr, kNone, kNone, nullptr},
};
constexpr INT kNoHelp[] = {0, 0};

}  // namespace

const ControlSet kRecipientSet{kRecipientRecords, static_cast<INT>(sizeof kRecipientRecords / sizeof kRecipientRecords[0]),
                               39500, kRecipientHelp, nullptr, 0};
const ControlSet kRecipientReducedSet{kReducedRecords, static_cast<INT>(sizeof kReducedRecords / sizeof kReducedRecords[0]),
                                      39500, kRecipientHelp, nullptr, 0};
const ControlSet kSenderNoticeSet{kNoticeRecords, 2, 0, kNoHelp, nullptr, 0};
const ControlSet kConfirmNumberSet{kConfirmRecords, 2, 50300, kNoHelp, nullptr, 0};
