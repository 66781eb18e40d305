// The owner-drawn drop-down of stored sender records shared by the sender
// dialog and the cover-sheet dialog.
#include "fax_sender_list.h"

#include <algorithm>
#include <string>

#include "fax_dialogs.h"
#include "property_sheets/fax_pages.h"
#include "property_sheets/sheet_engine.h"
#include "settings/common/module_state.h"
#include "win/controls.h"

using namespace morva::fax;

namespace fax_ui {
namespace {

constexpr UINT kPlaceholderText = 5095;
constexpr UINT kNoteIcon = 860;
constexpr INT kTextIndent = 20, kIconSize = 16, kItemHeight = 18;

HWND list_window(HWND dialog, INT list) { return GetDlgItem(dialog, list); }

bool key_path(HWND window, WCHAR* key) {
  SheetState* state = GetSheetState(window);
  return state && GetFaxUserKeyPath(state->database, 0, kSenderInfoKeyTail, key, kFaxUserKeyChars) != 0;
}

}  // namespace

INT ReadStoredSenders(HWND window, std::vector<SenderRecord>* records) {
  WCHAR key[kFaxUserKeyChars] = {};
  if (!key_path(window, key)) return -1;
  records->assign(11, SenderRecord{});
  const INT n = ReadSenderRecords(key, kSenderValuePrefix, records->data(), 11);
  records->resize(static_cast<size_t>(std::max(n, 0)));
  return n;
}

bool WriteStoredSenders(HWND window, const std::vector<SenderRecord>& records) {
  WCHAR key[kFaxUserKeyChars] = {};
  return key_path(window, key) &&
         WriteSenderRecords(key, kSenderValuePrefix, records.data(), static_cast<INT>(records.size())) != 0;
}

INT SenderItemCount(HWND dialog, INT list) {
  return static_cast<INT>(SendMessageW(list_window(dialog, list), CB_GETCOUNT, 0, 0));
}

INT SenderSelection(HWND dialog, INT list) {
  return static_cast<INT>(SendMessageW(list_window(dialog, list), CB_GETCURSEL, 0, 0));
}

SenderRecord* SenderItemRecord(HWND dialog, INT list, INT index) {
  const LRESULT data = SendMessageW(list_window(dialog, list), CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
  return data == CB_ERR ? nullptr : reinterpret_cast<SenderRecord*>(data);
}

bool StoredSenderSelected(HWND dialog, INT list) {
  const INT at = SenderSelection(dialog, list);
  return at >= 0 && at + 1 < SenderItemCount(dialog, list);
}

INT InsertSenderItem(HWND dialog, INT list, INT at, const SenderRecord& record) {
  auto* copy = static_cast<SenderRecord*>(GlobalAlloc(GPTR, sizeof(SenderRecord)));
  if (!copy) return -1;
  *copy = record;
  const std::u16string text = record.SenderName[0] ? std::u16string(record.SenderName) : ResourceText(kPlaceholderText);
  HWND control = list_window(dialog, list);
  const auto i = static_cast<INT>(
      SendMessageW(control, CB_INSERTSTRING, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(text.c_str())));
  if (i < 0) {
    GlobalFree(copy);
    return -1;
  }
  SendMessageW(control, CB_SETITEMDATA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(copy));
  return i;
}

void DeleteSenderItem(HWND dialog, INT list, INT index) {
  if (SenderRecord* r = SenderItemRecord(dialog, list, index)) GlobalFree(r);
  SendMessageW(list_window(dialog, list), CB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void FreeSenderListData(HWND dialog, INT list) {
  for (INT i = SenderItemCount(dialog, list) - 1; i >= 0; --i) DeleteSenderItem(dialog, list, i);
}

void ApplySenderToSettings(HWND dialog, const SenderRecord& record) {
  SheetContext* c = GetSheetContext(dialog);
  if (c && c->current.devmode) ApplySenderRecord(c->current.devmode, c->current.printer_data, &record);
}

void SelectSenderPlaceholder(HWND dialog, INT list) {
  SendMessageW(list_window(dialog, list), CB_SETCURSEL, static_cast<WPARAM>(SenderItemCount(dialog, list) - 1), 0);
  ApplySenderToSettings(dialog, SenderRecord{});
}

void MoveSenderToTop(HWND dialog, INT list, INT index) {
  const INT i = index < 0 ? SenderSelection(dialog, list) : index;
  const SenderRecord* r = SenderItemRecord(dialog, list, i);
  if (i <= 0 || i + 1 >= SenderItemCount(dialog, list) || !r) return;
  const SenderRecord record = *r;
  DeleteSenderItem(dialog, list, i);
  InsertSenderItem(dialog, list, 0, record);
  SendMessageW(list_window(dialog, list), CB_SETCURSEL, 0, 0);
}

INT FillSenderList(HWND dialog, INT list, INT mode) {
  FreeSenderListData(dialog, list);
  std::vector<SenderRecord> records;
  const INT n = ReadStoredSenders(dialog, &records);
  if (n < 0) return -1;
  for (INT i = 0; i < n; ++i) InsertSenderItem(dialog, list, i, records[static_cast<size_t>(i)]);
  InsertSenderItem(dialog, list, n, SenderRecord{});
  std::u16string name;
  ReadText(dialog, 1819, &name);
  for (INT i = 0; i < n && !name.empty(); ++i) {
    if (name != records[static_cast<size_t>(i)].SenderName) continue;
    SendMessageW(list_window(dialog, list), CB_SETCURSEL, static_cast<WPARAM>(i), 0);
    if (mode == 0) MoveSenderToTop(dialog, list, i);
    SheetContext* c = GetSheetContext(dialog);
    SenderRecord& found = records[static_cast<size_t>(i)];
    if (c && c->current.devmode && CompareSenderWithSettings(&found, c->current.devmode, c->current.printer_data) != 0)
      ApplySenderToSettings(dialog, found);
    return mode == 0 ? 1 : 0;
  }
  SelectSenderPlaceholder(dialog, list);
  if (!name.empty()) Warn(dialog, mode == 0 ? 5216 : 5044);
  return 0;
}

bool SaveSenderList(HWND dialog, INT list) {
  std::vector<SenderRecord> keep;
  for (INT i = 0; i < SenderItemCount(dialog, list); ++i)
    if (const SenderRecord* r = SenderItemRecord(dialog, list, i); r && r->SenderName[0]) keep.push_back(*r);
  const bool stored = WriteStoredSenders(dialog, keep);
  FreeSenderListData(dialog, list);
  return stored;
}

void ReselectCurrentSender(HWND dialog, INT list) {
  std::u16string name;
  if (!ReadText(dialog, 1819, &name)) return;
  for (INT i = 0; i < SenderItemCount(dialog, list); ++i) {
    const SenderRecord* r = SenderItemRecord(dialog, list, i);
    if (r && name == r->SenderName) {
      SendMessageW(list_window(dialog, list), CB_SETCURSEL, static_cast<WPARAM>(i), 0);
      return;
    }
  }
}

void FillOwnerDrawnRow(const DRAWITEMSTRUCT* item) {
  RECT r = item->rcItem;
  const bool selected = (item->itemState & ODS_SELECTED) != 0;
  const bool disabled = (item->itemState & ODS_DISABLED) != 0;
  FillRect(item->hDC, &r, GetSysColorBrush(disabled ? COLOR_BTNFACE : selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
}

void DrawOwnerDrawnRowText(const DRAWITEMSTRUCT* item, const std::u16string& text, INT indent, bool greyed) {
  HDC dc = item->hDC;
  const bool selected = (item->itemState & ODS_SELECTED) != 0;
  greyed = greyed || (item->itemState & ODS_DISABLED) != 0;
  const INT old_mode = SetBkMode(dc, TRANSPARENT);
  const COLORREF old_colour =
      SetTextColor(dc, GetSysColor(greyed ? COLOR_GRAYTEXT : selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  RECT area{item->rcItem.left + indent, item->rcItem.top, item->rcItem.right, item->rcItem.bottom};
  DrawTextW(dc, text.c_str(), static_cast<INT>(text.size()), &area, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SetTextColor(dc, old_colour);
  SetBkMode(dc, old_mode);
}

void DrawSenderItem(const DRAWITEMSTRUCT* item) {
  if (!item || !item->hDC) return;
  FillOwnerDrawnRow(item);
  if (item->itemID == static_cast<UINT>(-1)) return;
  const RECT r = item->rcItem;
  const auto* record = reinterpret_cast<const SenderRecord*>(item->itemData);
  const bool named = record && record->SenderName[0];
  if (named && !record->Confirmed) {
    if (HICON icon = LoadIconW(GetResourceModule(), MAKEINTRESOURCEW(kNoteIcon))) {
      const INT size = std::min<INT>(kIconSize, r.bottom - r.top);
      DrawIconEx(item->hDC, r.left, r.top + (r.bottom - r.top - size) / 2, icon, size, size, 0, nullptr, DI_NORMAL);
      DestroyIcon(icon);
    }
  }
  DrawOwnerDrawnRowText(item, named ? std::u16string(record->SenderName) : ResourceText(kPlaceholderText),
                        kTextIndent, false);
}

void SetSenderItemHeight(HWND dialog, INT list) {
  HWND control = list_window(dialog, list);
  SendMessageW(control, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), kItemHeight);
  SendMessageW(control, CB_SETITEMHEIGHT, 0, kItemHeight);
}

}  // namespace fax_ui
