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
#include "fax/fax_store.h"
#include "fax_dialogs.h"
#include "property_sheets/fax_pages.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_data_kinds.h"
#include "settings/stores/printer_settings.h"
#include "win/controls.h"
#include "win/printer_dc.h"
#include "win/win.h"

using namespace morva::fax;
using namespace fax_ui;

INT CheckCoverSheetSender(HWND window);

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

// ---- test print ------------------------------------------------------------------------

constexpr INT kTestPrint = 4101, kNoticeButton = 4130, kSendersButton = 4106;
// The sheet's DEVMODE with its extension block, the extension's offset.
constexpr DWORD kDevmodeBytes = 5988, kShortDevmodeSize = 1604, kPrinterDataBytes = kPrinterDataBlockSize;

// A new temporary file for the sample page: in the temp folder, else the
// Windows, system or current folder, else a fixed name.
void make_sample_temp_file(WCHAR (&path)[MAX_PATH]) {
  WCHAR folder[MAX_PATH] = {};
  const auto made = [&](DWORD length) {
    return length > 0 && length < MAX_PATH && GetTempFileNameW(folder, u"QZF", 0, path) != 0;
  };
  if (made(GetTempPathW(MAX_PATH, folder)) || made(GetWindowsDirectoryW(folder, MAX_PATH)) ||
      made(GetSystemDirectoryW(folder, MAX_PATH)) || made(GetCurrentDirectoryW(MAX_PATH, folder)))
    return;
  std::memset(path, 0, sizeof path);
  std::memcpy(path, u"c:\\qzfot.tmp", 12 * sizeof(WCHAR));
}

bool set_text(BYTE* devmode, BYTE* printer_data, WORD ddmid, LPCWSTR text) {
  const DWORD bytes = static_cast<DWORD>((std::char_traits<char16_t>::length(text) + 1) * sizeof(WCHAR));
  return SetItemValueRaw(ddmid, devmode, printer_data, 6, bytes, &text) == 0;
}

bool set_word(BYTE* devmode, BYTE* printer_data, WORD ddmid, DWORD value) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue current{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &current)) return false;
  return SetItemValue(ddmid, devmode, printer_data, static_cast<DWORD>(-1), type, &value) != 0;
}

// The first and second line of a company text: split at its first line
// end, or after 40 characters when no line end comes first.
void company_lines(const std::u16string& company, std::u16string* first, std::u16string* second) {
  const size_t crlf = company.find(u"\r\n");
  if (crlf != std::u16string::npos && crlf <= 40) {
    *first = company.substr(0, crlf);
    *second = company.substr(crlf + 2);
  } else {
    *first = company.substr(0, 40);
    *second = company.size() > 40 ? company.substr(40) : std::u16string();
  }
  const size_t end = second->find(u"\r\n");
  if (end != std::u16string::npos) second->resize(end);
}

// The printer's name and port, from level 5 or else level 2.
bool printer_and_port(HANDLE printer, std::u16string* name, std::u16string* port) {
  if (BYTE* info = AllocGetPrinter(printer, 5)) {
    const auto* p5 = reinterpret_cast<const PRINTER_INFO_5W*>(info);
    *name = p5->pPrinterName ? p5->pPrinterName : u"";
    *port = p5->pPortName ? p5->pPortName : u"";
    GlobalFree(info);
    if (!name->empty()) return true;
  }
  if (BYTE* info = AllocGetPrinter(printer, 2)) {
    const auto* p2 = reinterpret_cast<const PRINTER_INFO_2W*>(info);
    *name = p2->pPrinterName ? p2->pPrinterName : u"";
    *port = p2->pPortName ? p2->pPortName : u"";
    GlobalFree(info);
    return !name->empty();
  }
  return false;
}

// One page holding a blank, printed on the printer with the sheet's
// settings as a cover-only fax job to the first destination (or to a
// placeholder destination when the list is empty).
void print_sample(HWND window) {
  SheetContext* context = GetSheetContext(window);
  FaxDestinationList* fax = GetDialogFaxList(window);
  if (!context || !context->state || !context->current.devmode || !fax) return;
  SheetState* state = context->state;
  std::vector<BYTE> devmode(kDevmodeBytes), printer_data(kPrinterDataBytes);
  std::memcpy(devmode.data(), context->current.devmode, kDevmodeBytes);
  std::memcpy(printer_data.data(), context->current.printer_data, kPrinterDataBytes);
  WCHAR addresses[MAX_PATH] = {}, settings[MAX_PATH] = {};
  make_sample_temp_file(addresses);
  const INT count = FaxList_Count(fax);
  FaxDestinationList* sample = FaxList_Create();
  bool ok = sample && set_text(devmode.data(), printer_data.data(), 375, addresses) &&
            set_word(devmode.data(), printer_data.data(), 381, 1) &&
            set_word(devmode.data(), printer_data.data(), 380, count > 0 ? static_cast<DWORD>(count) : 1);
  FaxDestination destination{};
  if (const FaxDestination* first = FaxList_GetAt(fax, 0)) {
    destination = *first;
  } else {
    destination.MailboxId = 1;
    destination.RelayId = 1;
  }
  if (ok) {
    std::memcpy(sample->Subject, fax->Subject, sizeof sample->Subject);
    std::memcpy(sample->Comment, fax->Comment, sizeof sample->Comment);
    ok = FaxList_Append(sample, destination) && FaxList_WriteFile(state->printer, nullptr, addresses, sample);
  }
  std::u16string printer, port;
  ok = ok && printer_and_port(state->printer, &printer, &port);
  INT answer = 0;
  if (ok) {
    std::u16string line1, line2;
    company_lines(destination.Company, &line1, &line2);
    const std::u16string number = FitTextToBytes(destination.Number, 40, FALSE);
    const std::u16string name = FitTextToBytes(destination.Name, 40, FALSE);
    LPWSTR question = nullptr;
    FormatResourceStringV(&question, 0, 5029, port.c_str(), number.c_str(), name.c_str(), line1.c_str(),
                          line2.c_str());
    answer = question ? AskText(window, question, MB_OKCANCEL | MB_ICONINFORMATION) : -1;
    if (question) GlobalFree(question);
  }
  if (ok && answer == IDOK) {
    make_sample_temp_file(settings);
    if (set_text(devmode.data(), printer_data.data(), 374, settings) &&
        SaveSettingsWithFaxList(state->printer, state->database, settings, 1, nullptr, devmode.data() + kShortDevmodeSize,
                                context->current.marking, context->current.marking_size, context->current.spinfo,
                                context->current.spinfo_size)) {
      HDC dc = CreateDCW(u"WINSPOOL", printer.c_str(), nullptr, reinterpret_cast<const DEVMODEW*>(devmode.data()));
      if (dc) {
        DOCINFOW info{sizeof info, u"SamplePrint", port.c_str(), nullptr, 0};
        if (StartDocW(dc, &info) > 0) {
          StartPage(dc);
          ExtTextOutW(dc, 100, 100, ETO_CLIPPED, nullptr, u" ", 1, nullptr);
          EndPage(dc);
          EndDoc(dc);
        }
        DeleteDC(dc);
      }
    }
    DeleteFileW(settings);
  }
  DeleteFileW(addresses);
  FaxList_Destroy(sample);
}

INT TestPrintButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  HWND window = event->window;
  HWND senders = GetDlgItem(window, kSendersButton);
  switch (CheckCoverSheetSender(window)) {
    case 0: break;
    case 1:
      // No stored sender of that name: the notice, then the sender dialog.
      SendMessageW(window, WM_COMMAND, MAKEWPARAM(kNoticeButton, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(window, kNoticeButton)));
      fill_senders(window);
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(kSendersButton, BN_CLICKED), reinterpret_cast<LPARAM>(senders));
      return 0;
    case 2: fill_senders(window); break;
    case 3:
      if (FaxSheetWords* words = SheetWords(window)) words->sender_prompt = 2;
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(kSendersButton, BN_CLICKED), reinterpret_cast<LPARAM>(senders));
      return 0;
    default: return 0;
  }
  print_sample(window);
  return 0;
}

constexpr ChildDialogTemplate kNoticeDialog[] = {{3880, EngineDialogProc<57, kDialogTypeDialog>, 57, kNone, 0}};
constexpr ChildDialogCommand kOpenNotice{kNoticeDialog, 0, 0};
constexpr CommandItem kNoticeCommand{kCommandChildDialog, &kOpenNotice};

INT NoticeButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                 const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  return RunCommandItem(event, message, wParam, lParam, record, &kNoticeCommand);
}

constexpr CommandItem kOkCommand{kCommandOk, nullptr};
constexpr ChildDialogTemplate kFormListDialog[] = {{4200, EngineDialogProc<33, kDialogTypeDialog>, 33, kNone, 0}};
constexpr ChildDialogCommand kOpenFormList{kFormListDialog, 0, 0};
constexpr CommandItem kFormListCommand{kCommandChildDialog, &kOpenFormList};

// The form list, then the cover sheet shows the chosen form.
INT FormListButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                   const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  RunCommandItem(event, message, wParam, lParam, record, &kFormListCommand);
  const WORD changed[] = {1830, 377, 0};
  RequestRefresh(event, changed);
  return 0;
}

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
    {kTestPrint, 0, nullptr, kControlCommand, TestPrintButton, nullptr, kNone, kNone, nullptr},
    {4105, 0, nullptr, kControlCommand, FormListButton, nullptr, kNone, kNone, nullptr},
    {kNoticeButton, 0, nullptr, kControlCommand, NoticeButton, nullptr, kNone, kNone, nullptr},
};
constexpr INT kCoverHelp[] = {kKindList, 39600, kFormName, 36300, kPreview, 36500, kSubject, 37100, kComment, 37200,
                              kSenderList, 36600, 4106, 36700, kTestPrint, 37900, 4105, 36400, 1092, 1520, 0, 0};

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
