// The cover-sheet dialog: the cover-sheet kind, the subject and comment of
// the destination list, the sender taken from the stored sender records,
// and a preview drawn from the same positioned texts the graphics driver
// prints. Also the sender check the fax page runs before it applies.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "fax/fax_cover_sheet.h"
#include "fax/fax_list.h"
#include "fax/fax_registry_lists.h"
#include "fax/fax_store.h"
#include "fax_dialogs.h"
#include "fax_sender_list.h"
#include "property_sheets/fax_cover_preview.h"
#include "property_sheets/fax_text_input.h"
#include "property_sheets/pictures.h"
#include "settings/common/common_utils.h"
#include "settings/items/default_settings.h"
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
constexpr INT kPageX = 7, kPageY = 7, kPageWidth = 203, kPageHeight = 293;
constexpr INT kPictureX = 5, kPictureY = 5;
constexpr WORD kFormPicture = 5060, kCoverPicture = 5061, kCoverVariantPicture = 5065;
constexpr DWORD kCoverVariantCapability = 0xFFFF0040;

bool wants_display(UINT message, LPARAM lParam) {
  return IsNotifyCode(message, lParam, PSN_SETACTIVE) || message == UM_REFRESH_CONTROLS ||
         message == UM_RESTORE_CONTROLS;
}

SheetSnapshot* snapshot_of(HWND window) {
  SheetContext* c = GetSheetContext(window);
  return c ? &c->current : nullptr;
}

void redraw_preview(HWND window) { InvalidateRect(GetDlgItem(window, kPreview), nullptr, FALSE); }

bool japanese_ui() {
  INT language = 0;
  return ReadResourceNumber(&language) && language == 1041;
}

// ---- preview --------------------------------------------------------------------------

struct FamilySearch {
  bool any_charset;
  bool found;
  LOGFONTW font;
};

int CALLBACK KeepFamily(const LOGFONTW* font, const TEXTMETRICW*, DWORD type, LPARAM lParam) {
  auto* search = reinterpret_cast<FamilySearch*>(lParam);
  if (!(type & DEVICE_FONTTYPE) && (search->any_charset || font->lfCharSet == ANSI_CHARSET)) {
    search->font = *font;
    search->found = true;
  }
  return 1;
}

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

// The sheet behind the cover texts: the form picture for a cover of the
// user's own, else the built-in cover's picture (a variant of it on
// devices that have one). Without the picture the page is drawn plain.
void draw_background(HWND dialog, HDC dc, const RECT& client, SheetState* state) {
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  const WORD id = NumberOr(dialog, 377, 0) != 0                                             ? kFormPicture
                  : state && HasDeviceCapability(state->database, kCoverVariantCapability) ? kCoverVariantPicture
                                                                                            : kCoverPicture;
  HMODULE module = GetResourceModule();
  PreviewImage* list = nullptr;
  HPALETTE palette = nullptr;
  bool drawn = LoadPictureBitmap(module, nullptr, id, &list, &palette) == 0;
  if (drawn) {
    list[0].x = kPictureX;
    list[0].y = kPictureY;
    drawn = DrawPreviewImages(module, nullptr, dc, 0, 0, client.right, client.bottom, list, palette, TRUE, TRUE,
                              GetSysColor(COLOR_BTNFACE)) == 0;
  }
  if (list) FreePreviewImages(list);
  if (palette) DeleteObject(palette);
  if (drawn) return;
  RECT page{kPageX, kPageY, kPageX + kPageWidth, kPageY + kPageHeight};
  FillRect(dc, &page, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  FrameRect(dc, &page, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
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
  SheetState* state = GetSheetState(dialog);
  draw_background(dialog, dc, client, state);
  CoverSheetDestination destination{};
  CoverSheetRecord record{};
  FaxLineSettings line{};
  CoverSheetItem* items = nullptr;
  INT count = 0;
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
    const bool any_charset = japanese_ui();
    LOGFONTW faces[2] = {CoverPreviewFamily(dc, ResourceText(5097).c_str(), any_charset),
                         CoverPreviewFamily(dc, ResourceText(5096).c_str(), any_charset)};
    for (INT i = 0; i < count && ok; ++i) {
      const CoverSheetItem& item = items[i];
      LOGFONTW lf = faces[item.Style == 1 ? 1 : 0];
      lf.lfHeight = -static_cast<INT>(MulDiv(item.Size / 10, r, 72) * f);
      lf.lfWidth = 0;
      lf.lfEscapement = lf.lfOrientation = 0;
      lf.lfWeight = FW_NORMAL;
      lf.lfItalic = FALSE;
      HFONT font = CreateFontIndirectW(&lf);
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

// Subject and comment: texts of the destination list, checked when they
// are left and when the dialog closes; a refused text gives way to the one
// before it, also when its message cannot be shown.
struct ListText {
  INT limit;               // characters
  INT lines;               // 0: one line of `limit` ANSI bytes
  const UINT* sbcs_ranges;
};
constexpr UINT kSubjectRanges[] = {9235, 9220, 9234, 9221, 0};
constexpr UINT kCommentRanges[] = {9231, 9235, 9220, 9234, 9221, 0};
constexpr UINT kWideRanges[] = {9232, 0};
constexpr ListText kSubjectText{40, 0, kSubjectRanges};
constexpr ListText kCommentText{670, 16, kCommentRanges};

template <size_t N>
std::u16string field_text(const WCHAR (&field)[N]) {
  return std::u16string(field, std::find(field, field + N, u'\0'));
}

// The subject's ANSI form holds at most 40 bytes: a longer text is cut
// there, one without an ANSI form gives way to the one before.
void fit_subject(HWND window, INT id, const std::u16string& previous) {
  const std::u16string text = ItemText(window, id);
  std::u16string kept;
  INT bytes = 0;
  for (char16_t c : text) {
    LPSTR ansi = nullptr;
    INT n = 0;
    const std::u16string one(1, c);
    if (!WideToMultiByteStrict(one.c_str(), &ansi, &n) || !ansi) {
      SetDlgItemTextW(window, id, previous.c_str());
      SendDlgItemMessageW(window, id, EM_SETSEL, previous.size(), static_cast<LPARAM>(previous.size()));
      return;
    }
    GlobalFree(ansi);
    if (bytes + n > 40) break;
    bytes += n;
    kept += c;
  }
  if (kept.size() == text.size()) {
    SendDlgItemMessageW(window, id, EM_EMPTYUNDOBUFFER, 0, 0);
    return;
  }
  SetDlgItemTextW(window, id, kept.c_str());
  SendDlgItemMessageW(window, id, EM_SETSEL, kept.size(), static_cast<LPARAM>(kept.size()));
}

INT ListTextHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord* record,
                    const void* kind_data) {
  const auto* t = static_cast<const ListText*>(kind_data);
  HWND window = event->window;
  FaxDestinationList* fax = GetDialogFaxList(window);
  if (!fax) return 0;
  const bool subject = record->id == kSubject;
  const std::u16string stored = subject ? field_text(fax->Subject) : field_text(fax->Comment);
  if (message == WM_INITDIALOG) {
    SendDlgItemMessageW(window, record->id, EM_LIMITTEXT, static_cast<WPARAM>(t->limit), 0);
    if (!subject) {
      SetCompanyEditFont(window, record->id);
      SetCompanyEditMargins(window, record->id);
    }
    SetDlgItemTextW(window, record->id, stored.c_str());
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) {
    if (subject) {
      fit_subject(window, record->id, stored);
    } else {
      // A comment that needs a 17th line is taken back; a full line goes
      // on in the next one.
      UndoEditIfRefused(window, record->id, FitEditTextToLines(window, record->id, 40, t->lines));
    }
    redraw_preview(window);
    return 0;
  }
  const bool validating = message == UM_VALIDATE_CONTROLS;
  if (!validating && !(message == WM_COMMAND && HIWORD(wParam) == EN_KILLFOCUS)) return 0;
  const std::u16string text = ItemText(window, record->id);
  if (ValidateTextInput(text.c_str(), t->sbcs_ranges, kWideRanges, nullptr, nullptr, kTextEmptyValid, 0)) {
    if (subject) copy_text(fax->Subject, text);
    else copy_text(fax->Comment, text);
    return 0;
  }
  if (!validating) Warn(window, 5006);
  SetDlgItemTextW(window, record->id, stored.c_str());
  redraw_preview(window);
  SetFocus(GetDlgItem(window, validating ? kPreview : record->id));
  return 1;
}

// The sender drop-down: the stored records and the placeholder last.
INT SenderListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord*,
                      const void*) {
  HWND window = event->window;
  if (message == WM_INITDIALOG) {
    SetSenderItemHeight(window, kSenderList);
    FillSenderList(window, kSenderList, 1);
    return 0;
  }
  if (message == WM_DRAWITEM) {
    DrawSenderItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    return 1;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == CBN_SELENDOK) {
    const INT at = SenderSelection(window, kSenderList);
    if (const SenderRecord* chosen = at >= 0 ? SenderItemRecord(window, kSenderList, at) : nullptr)
      ApplySenderToSettings(window, *chosen);
    const WORD changed[] = {1819, 0};
    RequestRefresh(event, changed);
    redraw_preview(window);
  } else if (message == WM_COMMAND && HIWORD(wParam) == CBN_CLOSEUP) {
    // Back to the item of the current name, or to the placeholder.
    std::u16string name;
    ReadText(window, 1819, &name);
    INT at = SenderItemCount(window, kSenderList) - 1;
    for (INT i = 0; i + 1 < SenderItemCount(window, kSenderList); ++i)
      if (const SenderRecord* r = SenderItemRecord(window, kSenderList, i); r && name == r->SenderName) {
        at = i;
        break;
      }
    SendDlgItemMessageW(window, kSenderList, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
  } else if (IsNotifyCode(message, lParam, PSN_RESET)) {
    FreeSenderListData(window, kSenderList);
  }
  return 0;
}

// ---- options --------------------------------------------------------------------------

// A cover-sheet option bound to a setting: a drop-down of fixed choices, an
// edit or a check box.
struct Option {
  WORD ddmid;
  INT label;                // the label shown and hidden with it, or kNone
  bool japanese_only;       // hidden outside the 1041 user interface
  const UINT* choice_texts; // drop-down: the text of each value, 0-ended
  bool hide_first_outside_japanese;
  DWORD text_bytes;         // edit: the setting's size
};
constexpr UINT kLayoutTexts[] = {1774, 1775, 0};
constexpr UINT kRemarkATexts[] = {4686, 1770, 1771, 1769, 0};
constexpr UINT kRemarkBTexts[] = {4686, 1772, 1773, 1768, 0};
constexpr Option kLayoutOption{1804, 4119, false, kLayoutTexts, true, 0};
constexpr Option kTitleOption{1805, 4120, false, nullptr, false, 10};
constexpr Option kOneJobOption{379, kNone, false, nullptr, false, 0};
constexpr Option kRecipientOption{1806, 4125, false, nullptr, false, 58};
constexpr Option kRemarkBOption{1808, 4126, true, kRemarkBTexts, false, 0};
constexpr Option kRemarkAOption{1807, 4127, true, kRemarkATexts, false, 0};
constexpr Option kPrefixOption{1809, kNone, false, nullptr, false, 0};

bool names(LPARAM changed, WORD a, WORD b) {
  for (const WORD* c = reinterpret_cast<const WORD*>(changed); c && *c; ++c)
    if (*c == a || *c == b) return true;
  return false;
}

void show_option(ControlEvent* event, const ControlRecord* record, const Option* o, UINT message, LPARAM lParam) {
  HWND window = event->window;
  HWND control = GetDlgItem(window, record->id);
  const bool shown = !o->japanese_only || japanese_ui();
  ShowWindow(control, shown ? SW_SHOW : SW_HIDE);
  if (o->label != kNone) ShowWindow(GetDlgItem(window, o->label), shown ? SW_SHOW : SW_HIDE);
  EnableWindow(control, event->permission);
  const LONG value = NumberOr(window, o->ddmid, 0);
  if (record->kind == kControlCheckBox) {
    CheckDlgButton(window, record->id, value ? BST_CHECKED : BST_UNCHECKED);
  } else if (record->kind == kControlDropDown) {
    SendMessageW(control, CB_RESETCONTENT, 0, 0);
    for (INT v = 0; o->choice_texts[v]; ++v) {
      if (v == 0 && o->hide_first_outside_japanese && !japanese_ui()) continue;
      const std::u16string text = ResourceText(o->choice_texts[v]);
      const auto at = SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
      SendMessageW(control, CB_SETITEMDATA, static_cast<WPARAM>(at), v);
      if (v == value) SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
    }
  } else {
    std::u16string stored;
    ReadText(window, o->ddmid, &stored);
    std::u16string text = stored;
    if (o->ddmid == 1806) {
      // The recipient text follows the layout while one job goes to all.
      if (!NumberOr(window, 379, 0)) text.clear();
      else if (message == UM_REFRESH_CONTROLS && names(lParam, 379, 1804))
        text = ResourceText(NumberOr(window, 1804, 0) == 0 ? 5093 : 5094).substr(0, 28);
      if (text != stored) WriteText(window, 1806, text, o->text_bytes);
    }
    if (ItemText(window, record->id) != text) SetDlgItemTextW(window, record->id, text.c_str());
  }
}

INT OptionHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                  const void* kind_data) {
  const auto* o = static_cast<const Option*>(kind_data);
  HWND window = event->window;
  if (message == WM_INITDIALOG && o->text_bytes)
    SendDlgItemMessageW(window, record->id, EM_LIMITTEXT, static_cast<WPARAM>(o->text_bytes / 2 - 1), 0);
  if (wants_display(message, lParam)) {
    show_option(event, record, o, message, lParam);
    return 0;
  }
  const bool leaving = message == UM_VALIDATE_CONTROLS || (message == WM_COMMAND && HIWORD(wParam) == EN_KILLFOCUS);
  if (o->ddmid == 1805 && leaving) {
    // A title of zeros only would read as no title: it becomes a blank.
    const std::u16string text = ItemText(window, record->id);
    if (!text.empty() && text.find_first_not_of(u'0') == std::u16string::npos) SetDlgItemTextW(window, record->id, u" ");
    return 0;
  }
  if (message != WM_COMMAND) return 0;
  const UINT code = HIWORD(wParam);
  bool changed = false;
  if (record->kind == kControlCheckBox && code == BN_CLICKED) {
    const LONG on = IsDlgButtonChecked(window, record->id) == BST_CHECKED ? 1 : 0;
    changed = WriteNumber(window, o->ddmid, o->ddmid == 379 ? 8 : 3, o->ddmid == 379 ? 1 : 2, on);
  } else if (record->kind == kControlDropDown && code == CBN_SELENDOK) {
    const auto at = SendDlgItemMessageW(window, record->id, CB_GETCURSEL, 0, 0);
    if (at >= 0)
      changed = WriteNumber(window, o->ddmid, 3, 2,
                            static_cast<LONG>(SendDlgItemMessageW(window, record->id, CB_GETITEMDATA, at, 0)));
  } else if (record->kind == kControlEdit && code == EN_CHANGE) {
    const std::u16string text = ItemText(window, record->id);
    std::u16string stored;
    ReadText(window, o->ddmid, &stored);
    if (text != stored) WriteText(window, o->ddmid, text, o->text_bytes);
    redraw_preview(window);
    return 0;
  }
  if (changed) {
    const WORD list[] = {o->ddmid, 0};
    RequestRefresh(event, list);
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
      FillSenderList(window, kSenderList, 1);
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(kSendersButton, BN_CLICKED), reinterpret_cast<LPARAM>(senders));
      return 0;
    case 2: FillSenderList(window, kSenderList, 1); break;
    case 3:
      if (FaxSheetWords* words = SheetWords(window)) words->sender_prompt = 2;
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(kSendersButton, BN_CLICKED), reinterpret_cast<LPARAM>(senders));
      return 0;
    default: return 0;
  }
  print_sample(window);
  return 0;
}

// The buttons that open a child dialog, and what the cover sheet shows
// again after it: the notice of a missing sender (3880), the form list
// (4200, then the chosen form) and the sender records (4300, then the
// sender list filled again from what was stored).
struct ChildButton {
  ChildDialogTemplate dialog;
  WORD refresh[3];
  bool refill_senders;
};
constexpr ChildButton kNoticeChild{{3880, EngineDialogProc<57, kDialogTypeDialog>, 57, kNone, 0}, {0}, false};
constexpr ChildButton kFormListChild{{4200, EngineDialogProc<33, kDialogTypeDialog>, 33, kNone, 0}, {1830, 377, 0}, false};
constexpr ChildButton kSenderChild{{4300, EngineDialogProc<32, kDialogTypeDialog>, 32, kNone, 0}, {1819, 0}, true};

INT ChildButtonHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data) {
  const auto* child = static_cast<const ChildButton*>(kind_data);
  HWND window = event->window;
  if (child->refill_senders && wants_display(message, lParam)) {
    // The sender records cannot be changed while the sheet's lock is on.
    const SheetState* state = GetSheetState(window);
    EnableWindow(GetDlgItem(window, record->id), !(state && state->stamp_lock));
    return 0;
  }
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  const ChildDialogCommand open{&child->dialog, 0, 0};
  const CommandItem command{kCommandChildDialog, &open};
  const INT result = RunCommandItem(event, message, wParam, lParam, record, &command);
  if (child->refill_senders) FillSenderList(window, kSenderList, 1);
  if (child->refresh[0]) RequestRefresh(event, child->refresh);
  redraw_preview(window);
  return child->refresh[0] || child->refill_senders ? 0 : result;
}

constexpr CommandItem kOkCommand{kCommandOk, nullptr};
constexpr CommandItem kDefaultsCommand{kCommandDefaults, nullptr};

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
  FreeSenderListData(window, kSenderList);
  return RunCommandItem(event, message, wParam, lParam, record, &kOkCommand);
}

// No sender, no subject and no comment, and the options back to their
// defaults.
INT CoverDefaultsButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  HWND window = event->window;
  SelectSenderPlaceholder(window, kSenderList);
  SetDlgItemTextW(window, kSubject, u"");
  SetDlgItemTextW(window, kComment, u"");
  if (FaxDestinationList* fax = GetDialogFaxList(window)) {
    copy_text(fax->Subject, u"");
    copy_text(fax->Comment, u"");
  }
  if (SheetContext* c = GetSheetContext(window); c && c->state && c->current.devmode)
    for (WORD ddmid : {WORD(377), WORD(1830), WORD(1804), WORD(1805), WORD(379), WORD(1806), WORD(1807), WORD(1808),
                       WORD(1809)})
      ResetItemToDefault(c->state->database, c->current.devmode, ddmid, c->current.printer_data);
  const INT result = RunCommandItem(event, message, wParam, lParam, record, &kDefaultsCommand);
  const WORD changed[] = {377, 1830, 1804, 1805, 379, 1806, 1807, 1808, 1809, 1819, 0};
  RequestRefresh(event, changed);
  redraw_preview(window);
  return result;
}

// The dialog itself: a pending request for the sender dialog is served
// once the dialog shows; the sender records and the comment's font go
// with it. The preview is drawn again when the palette changes.
INT CoverDialogHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord*,
                       const void*) {
  HWND window = event->window;
  if (message == WM_QUERYNEWPALETTE ||
      (message == WM_PALETTECHANGED && reinterpret_cast<HWND>(wParam) != GetDlgItem(window, kPreview))) {
    redraw_preview(window);
  } else if (message == WM_WINDOWPOSCHANGED) {
    const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
    FaxSheetWords* words = SheetWords(window);
    if (!pos || !(pos->flags & SWP_SHOWWINDOW) || !words || !words->sender_prompt) return 0;
    // A request to edit is left for the sender dialog to serve.
    if (words->sender_prompt == 1) words->sender_prompt = 0;
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(kSendersButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, kSendersButton)));
  } else if (message == WM_DESTROY) {
    FreeSenderListData(window, kSenderList);
    FreeCompanyEditFont(window, kComment);
  }
  return 0;
}

constexpr ControlRecord kCoverRecords[] = {
    {kDialogRecordId, 0, nullptr, 0, CoverDialogHandler, nullptr, kNone, kNone, nullptr},
    {kKindList, 0, nullptr, kControlDropDown, KindListHandler, nullptr, 4102, 9182, nullptr},
    {kSubject, 0, nullptr, kControlEdit, ListTextHandler, &kSubjectText, 4122, kNone, nullptr},
    {kComment, 0, nullptr, kControlEdit, ListTextHandler, &kCommentText, 4123, kNone, nullptr},
    {kSenderList, 0, nullptr, kControlDropDown, SenderListHandler, nullptr, 4118, kNone, nullptr},
    {kSendersButton, 0, nullptr, kControlCommand, ChildButtonHandler, &kSenderChild, kNone, kNone, nullptr},
    {4115, 0, nullptr, kControlDropDown, OptionHandler, &kLayoutOption, 4119, 9188, nullptr},
    {4114, 0, nullptr, kControlEdit, OptionHandler, &kTitleOption, 4120, 9189, nullptr},
    {4109, 0, nullptr, kControlCheckBox, OptionHandler, &kOneJobOption, kNone, 9191, nullptr},
    {4110, 0, nullptr, kControlEdit, OptionHandler, &kRecipientOption, 4125, 9192, nullptr},
    {4112, 0, nullptr, kControlDropDown, OptionHandler, &kRemarkBOption, 4126, 9193, nullptr},
    {4111, 0, nullptr, kControlDropDown, OptionHandler, &kRemarkAOption, 4127, 9194, nullptr},
    {4113, 0, nullptr, kControlCheckBox, OptionHandler, &kPrefixOption, kNone, kNone, nullptr},
    {1092, 0, nullptr, kControlCommand, CoverOkButton, nullptr, kNone, kNone, nullptr},
    {1090, 0, nullptr, kControlCommand, CoverDefaultsButton, nullptr, kNone, kNone, nullptr},
    {kTestPrint, 0, nullptr, kControlCommand, TestPrintButton, nullptr, kNone, kNone, nullptr},
    {4105, 0, nullptr, kControlCommand, ChildButtonHandler, &kFormListChild, kNone, 9184, nullptr},
    {kNoticeButton, 0, nullptr, kControlCommand, ChildButtonHandler, &kNoticeChild, kNone, kNone, nullptr},
};
constexpr INT kCoverHelp[] = {kKindList, 39600, kFormName, 36300, kPreview, 36500, kSubject, 37100, kComment, 37200,
                              kSenderList, 36600, kSendersButton, 36700, 4115, 36800, 4114, 36900, 4109, 37400,
                              4110, 37500, 4112, 37600, 4111, 37700, 4113, 37800, kTestPrint, 37900, 4105, 36400,
                              1092, 1520, 1090, 1540, 0, 0};

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
  if (ReadStoredSenders(window, &records) < 0) return -1;
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
      WriteStoredSenders(window, records);
      return 2;
    }
    return answer == IDNO ? 3 : 4;
  }
  const SenderRecord none{};
  ApplySenderRecord(s->devmode, s->printer_data, &none);
  return 1;
}

LOGFONTW CoverPreviewFamily(HDC dc, LPCWSTR face, bool any_charset, bool* found) {
  FamilySearch search{any_charset, false, {}};
  if (face && *face) EnumFontFamiliesW(dc, face, KeepFamily, reinterpret_cast<LPARAM>(&search));
  if (found) *found = search.found;
  if (search.found) return search.font;
  // No family of the face qualifies: the font mapper is asked for the face
  // in the character set the preview would have taken.
  LOGFONTW font{};
  if (face) std::copy_n(face, std::min<size_t>(std::char_traits<char16_t>::length(face), LF_FACESIZE - 1), font.lfFaceName);
  font.lfCharSet = any_charset ? DEFAULT_CHARSET : ANSI_CHARSET;
  return font;
}
