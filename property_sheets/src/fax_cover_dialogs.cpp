// The cover-sheet dialog: the cover-sheet kind, the subject and comment of
// the destination list, the sender taken from the stored sender records,
// and a preview drawn from the same positioned texts the graphics driver
// prints. Also the sender check the fax page runs before it applies.
#include <cmath>
#include <cstring>
#include <vector>

#include "fax/fax_cover_sheet.h"
#include "fax/fax_list.h"
#include "fax/fax_registry_lists.h"
#include "fax_dialogs.h"
#include "property_sheets/fax_pages.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_queries.h"
#include "win/controls.h"
#include "win/win.h"

using namespace morva::fax;
using namespace fax_ui;

namespace {

constexpr INT kKindList = 4103, kFormName = 4104, kPreview = 4117, kSubject = 4107, kComment = 4108;
constexpr INT kSenderList = 4116;
constexpr UINT kKindTexts = 4683;   // 4683 to 4685
constexpr UINT kPlaceholder = 5095;  // the sender list's "no sender" item
constexpr INT kPageX = 7, kPageY = 7, kPageWidth = 203, kPageHeight = 293;

bool wants_display(UINT message, LPARAM lParam) {
  return IsNotifyCode(message, lParam, PSN_SETACTIVE) || message == UM_REFRESH_CONTROLS ||
         message == UM_RESTORE_CONTROLS;
}

bool sender_key(HWND window, WCHAR* key) {
  SheetState* state = GetSheetState(window);
  return state && GetFaxUserKeyPath(state->database, 0, kSenderInfoKeyTail, key, kFaxUserKeyChars) != 0;
}

INT read_senders(HWND window, std::vector<SenderRecord>* records) {
  WCHAR key[kFaxUserKeyChars] = {};
  if (!sender_key(window, key)) return -1;
  records->assign(11, SenderRecord{});
  const INT n = ReadSenderRecords(key, kSenderValuePrefix, records->data(), 11);
  records->resize(static_cast<size_t>(std::max(n, 0)));
  return n;
}

SheetSnapshot* snapshot_of(HWND window) {
  SheetContext* c = GetSheetContext(window);
  return c ? &c->current : nullptr;
}

void redraw_preview(HWND window) { InvalidateRect(GetDlgItem(window, kPreview), nullptr, FALSE); }

// ---- preview --------------------------------------------------------------------------

template <size_t N>
void copy_text(WCHAR (&field)[N], const std::u16string& text) {
  std::memset(field, 0, sizeof field);
  std::memcpy(field, text.c_str(), std::min(text.size(), N - 1) * sizeof(WCHAR));
}

bool gather_preview(HWND dialog, CoverSheetDestination* destination, CoverSheetRecord* record,
                    FaxLineSettings* line) {
  FaxDestinationList* fax = GetDialogFaxList(dialog);
  *destination = CoverSheetDestination{};
  if (const FaxDestination* first = FaxList_GetAt(fax, 0)) destination->Destination = *first;
  copy_text(destination->Subject, ItemText(dialog, kSubject));
  copy_text(destination->Comment, ItemText(dialog, kComment));
  *record = CoverSheetRecord{};
  LONG v = 0;
  std::u16string t;
  if (!ReadNumber(dialog, 1804, &v)) return false;
  record->Variant = static_cast<WORD>(v);
  if (!ReadText(dialog, 1805, &t)) return false;
  copy_text(record->Title, t);
  record->OneJob = FaxList_Count(fax) < 2 ? 0 : static_cast<WORD>(NumberOr(dialog, 379, 0));
  if (!ReadText(dialog, 1806, &t)) return false;
  copy_text(record->Recipient, t);
  record->ChoiceA = static_cast<WORD>(NumberOr(dialog, 1807, 0));
  record->ChoiceB = static_cast<WORD>(NumberOr(dialog, 1808, 0));
  record->LinePrefix = static_cast<WORD>(NumberOr(dialog, 1809, 0));
  const struct {
    WORD ddmid;
    WCHAR* field;
    size_t chars;
  } texts[] = {{1820, record->Sender1820, 41}, {1821, record->Sender1821, 209}, {1822, record->Sender1822, 31},
               {1823, record->Sender1823, 31}, {1876, record->Sender1876, 129}};
  for (const auto& s : texts) {
    if (!ReadText(dialog, s.ddmid, &t)) return false;
    std::memcpy(s.field, t.c_str(), std::min(t.size(), s.chars - 1) * sizeof(WCHAR));
  }
  return ReadLineSettings(dialog, line);
}

void paint_preview(HWND control) {
  HWND dialog = GetParent(control);
  PAINTSTRUCT ps{};
  HDC target = BeginPaint(control, &ps);
  RECT client{};
  GetClientRect(control, &client);
  HDC dc = CreateCompatibleDC(target);
  HBITMAP bitmap = CreateCompatibleBitmap(target, client.right, client.bottom);
  HGDIOBJ old_bitmap = SelectObject(dc, bitmap);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  RECT page{kPageX, kPageY, kPageX + kPageWidth, kPageY + kPageHeight};
  FillRect(dc, &page, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  FrameRect(dc, &page, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  CoverSheetDestination destination{};
  CoverSheetRecord record{};
  FaxLineSettings line{};
  CoverSheetItem* items = nullptr;
  INT count = 0;
  SheetState* state = GetSheetState(dialog);
  WORD type = 0;
  DWORD size = 0;
  ItemValue resolution{};
  SheetSnapshot* s = snapshot_of(dialog);
  bool ok = s && state && gather_preview(dialog, &destination, &record, &line) &&
            GetItemValue(20, s->devmode, s->printer_data, &type, &size, &resolution) == 0 && type == 2 &&
            BuildCoverSheetItems(&destination, &record, &line, &items, &count, NumberOr(dialog, 377, 0),
                                 &state->capabilities, GetResourceModule());
  // The resolution cancels out of the scale; a DEVMODE that leaves it 0
  // is drawn at 600 dpi rather than divided by.
  LONG r = ok ? GetTypedValue(type, &resolution) : 0;
  if (r <= 0) r = 600;
  if (ok) {
    const double f = kPageWidth / (r * 7.952756);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    const std::u16string faces[2] = {ResourceText(5097), ResourceText(5096)};
    for (INT i = 0; i < count && ok; ++i) {
      const CoverSheetItem& item = items[i];
      const INT height = -static_cast<INT>(MulDiv(item.Size / 10, r, 72) * f);
      HFONT font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                               faces[item.Style == 1 ? 1 : 0].c_str());
      if (!font) {
        ok = false;
        break;
      }
      HGDIOBJ old_font = SelectObject(dc, font);
      const INT x = static_cast<INT>((item.X / 10) * r * 0.03937008 * f) + kPageX;
      const INT y = static_cast<INT>((item.Y / 10) * r * 0.03937008 * f) + kPageY;
      TextOutW(dc, x, y, item.Text, static_cast<INT>(std::char_traits<char16_t>::length(item.Text)));
      SelectObject(dc, old_font);
      DeleteObject(font);
    }
  }
  if (items) GlobalFree(items);
  if (ok) BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
  SelectObject(dc, old_bitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
  EndPaint(control, &ps);
}

LRESULT CALLBACK PreviewProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
  FaxSheetWords* words = SheetWords(GetParent(control));
  if (message == WM_PAINT) {
    paint_preview(control);
    return 0;
  }
  if (message == WM_ERASEBKGND) return 1;
  const auto old = words ? reinterpret_cast<WNDPROC>(words->preview_proc) : nullptr;
  return old ? CallWindowProcW(old, control, message, wParam, lParam) : DefWindowProcW(control, message, wParam, lParam);
}

// ---- controls -------------------------------------------------------------------------

INT KindListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord*,
                    const void*) {
  HWND window = event->window;
  HWND control = GetDlgItem(window, kKindList);
  if (wants_display(message, lParam)) {
    SendMessageW(control, CB_RESETCONTENT, 0, 0);
    for (UINT i = 0; i < 3; ++i) {
      const std::u16string text = ResourceText(kKindTexts + i);
      SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    const LONG kind = NumberOr(window, 377, 0);
    SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(kind), 0);
    std::u16string path, name;
    if (kind != 0 && ReadText(window, 1830, &path)) SplitFormPath(path, nullptr, &name);
    SetDlgItemTextW(window, kFormName, name.c_str());
    EnableWindow(control, event->permission);
    redraw_preview(window);
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == CBN_SELCHANGE) {
    const LONG kind = static_cast<LONG>(SendMessageW(control, CB_GETCURSEL, 0, 0));
    if (kind >= 0) WriteNumber(window, 377, 8, 1, kind);
    const WORD changed[] = {377, 0};
    RequestRefresh(event, changed);
  }
  return 0;
}

// Subject and comment: texts of the destination list.
INT ListTextHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord* record,
                    const void*) {
  HWND window = event->window;
  FaxDestinationList* fax = GetDialogFaxList(window);
  const bool subject = record->id == kSubject;
  if (message == WM_INITDIALOG && fax) {
    SendDlgItemMessageW(window, record->id, EM_LIMITTEXT, subject ? 40 : 670, 0);
    SetDlgItemTextW(window, record->id, subject ? fax->Subject : fax->Comment);
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) {
    const std::u16string text = ItemText(window, record->id);
    if (!subject && !TextFitsLines(text, 40, 16)) {
      // A comment that needs more than 16 lines of 40 bytes is taken back.
      SendDlgItemMessageW(window, record->id, EM_UNDO, 0, 0);
      SendDlgItemMessageW(window, record->id, EM_EMPTYUNDOBUFFER, 0, 0);
      return 0;
    }
    if (fax) {
      if (subject) copy_text(fax->Subject, text);
      else copy_text(fax->Comment, text);
    }
    redraw_preview(window);
  }
  return 0;
}

// The sender drop-down: the stored records and the placeholder last.
void fill_senders(HWND window) {
  HWND control = GetDlgItem(window, kSenderList);
  SendMessageW(control, CB_RESETCONTENT, 0, 0);
  std::vector<SenderRecord> records;
  read_senders(window, &records);
  std::u16string name;
  ReadText(window, 1819, &name);
  INT selected = -1;
  for (size_t i = 0; i < records.size(); ++i) {
    SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(records[i].SenderName));
    if (selected < 0 && name == records[i].SenderName) selected = static_cast<INT>(i);
  }
  const std::u16string placeholder = ResourceText(kPlaceholder);
  const LRESULT last = SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(placeholder.c_str()));
  SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(selected >= 0 ? selected : last), 0);
  SheetSnapshot* s = snapshot_of(window);
  if (!s) return;
  if (selected >= 0) {
    if (CompareSenderWithSettings(&records[static_cast<size_t>(selected)], s->devmode, s->printer_data) != 0)
      ApplySenderRecord(s->devmode, s->printer_data, &records[static_cast<size_t>(selected)]);
  } else {
    const SenderRecord none{};
    ApplySenderRecord(s->devmode, s->printer_data, &none);
    if (!name.empty()) Warn(window, 5044);
  }
}

INT SenderListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  HWND window = event->window;
  if (message == WM_INITDIALOG) {
    fill_senders(window);
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == CBN_SELCHANGE) {
    std::vector<SenderRecord> records;
    read_senders(window, &records);
    const LRESULT at = SendDlgItemMessageW(window, kSenderList, CB_GETCURSEL, 0, 0);
    SenderRecord chosen{};
    if (at >= 0 && static_cast<size_t>(at) < records.size()) chosen = records[static_cast<size_t>(at)];
    if (SheetSnapshot* s = snapshot_of(window)) ApplySenderRecord(s->devmode, s->printer_data, &chosen);
    const WORD changed[] = {1819, 0};
    RequestRefresh(event, changed);
    redraw_preview(window);
  }
  return 0;
}

constexpr CommandItem kOkCommand{kCommandOk, nullptr};
constexpr ChildDialogTemplate kSenderDialog[] = {{4300, EngineDialogProc<32, kDialogTypeDialog>, 32, kNone, 0}};
constexpr ChildDialogCommand kOpenSender{kSenderDialog, 0, 0};
constexpr CommandItem kSenderCommand{kCommandChildDialog, &kOpenSender};

// The sender dialog, then the sender list filled again from what it stored.
INT SenderButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                 const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  RunCommandItem(event, message, wParam, lParam, record, &kSenderCommand);

  fill_senders(event->window);
  redraw_preview(event->window);
  return 0;
}

INT CoverOkButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                  const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  HWND window = event->window;
  if (ValidateDialog(event)) return 0;
  const LONG kind = NumberOr(window, 377, 0);
  if (kind == 1 || kind == 2) {
    std::u16string path;
    ReadText(window, 1830, &path);
    HANDLE file = path.empty() ? INVALID_HANDLE_VALUE
                               : CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                             nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      Warn(window, 5018);
      return 0;
    }
    CloseHandle(file);
  }
  return RunCommandItem(event, message, wParam, lParam, record, &kOkCommand);
}

constexpr ControlRecord kCoverRecords[] = {
    {kKindList, 0, nullptr, kControlDropDown, KindListHandler, nullptr, 4102, kNone, nullptr},
    {kSubject, 0, nullptr, kControlEdit, ListTextHandler, nullptr, 4122, kNone, nullptr},
    {kComment, 0, nullptr, kControlEdit, ListTextHandler, nullptr, 4123, kNone, nullptr},
    {kSenderList, 0, nullptr, kControlDropDown, SenderListHandler, nullptr, 4118, kNone, nullptr},
    {4106, 0, nullptr, kControlCommand, SenderButton, nullptr, kNone, kNone, nullptr},
    {1092, 0, nullptr, kControlCommand, CoverOkButton, nullptr, kNone, kNone, nullptr},
};
constexpr INT kCoverHelp[] = {kKindList, 39600, kFormName, 36300, kPreview, 36500, kSubject, 37100, kComment, 37200,
                              kSenderList, 36600, 4106, 36700, 1092, 1520, 0, 0};

}  // namespace

const ControlSet kCoverSheetSet{kCoverRecords, static_cast<INT>(sizeof kCoverRecords / sizeof kCoverRecords[0]),
                                38100, kCoverHelp, nullptr, 0};

INT_PTR CoverSheetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const INT_PTR result = RunEngineDialog(window, message, wParam, lParam, 30, kDialogTypeDialog);
  if (message == WM_INITDIALOG) {
    if (FaxSheetWords* words = SheetWords(window)) {
      HWND preview = GetDlgItem(window, kPreview);
      words->preview_proc = SetWindowLongPtrW(preview, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PreviewProc));
    }
  }
  return result;
}

INT CheckCoverSheetSender(HWND window) {
  std::u16string name;
  if (!ReadText(window, 1819, &name)) return -1;
  if (name.empty()) return 0;
  std::vector<SenderRecord> records;
  if (read_senders(window, &records) < 0) return -1;
  SheetSnapshot* s = snapshot_of(window);
  if (!s) return -1;
  for (SenderRecord& record : records) {
    if (name != record.SenderName) continue;
    if (record.Confirmed) {
      const INT differs = CompareSenderWithSettings(&record, s->devmode, s->printer_data);
      if (differs < 0) return -1;
      if (differs) ApplySenderRecord(s->devmode, s->printer_data, &record);
      return 0;
    }
    LPWSTR question = nullptr;
    FormatResourceStringV(&question, 0, 5218, record.SenderName, record.Text1876);
    const INT answer = question ? AskText(window, question, MB_YESNOCANCEL | MB_ICONINFORMATION) : -1;
    if (question) GlobalFree(question);
    if (answer == IDYES) {
      ApplySenderRecord(s->devmode, s->printer_data, &record);
      record.Confirmed = 1;
      WCHAR key[kFaxUserKeyChars] = {};
      if (sender_key(window, key))
        WriteSenderRecords(key, kSenderValuePrefix, records.data(), static_cast<INT>(records.size()));
      return 2;
    }
    return answer == IDNO ? 3 : 4;
  }
  const SenderRecord none{};
  ApplySenderRecord(s->devmode, s->printer_data, &none);
  return 1;
}
