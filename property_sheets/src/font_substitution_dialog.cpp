// The font substitution dialog: for each TrueType family installed on the
// screen the user picks a device font of the printer, or none. The rows
// show the printer's substitution table; OK writes the edited table back
// as the printer's data, where the graphics driver reads it for the next
// job.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "property_sheets/document_pages.h"
#include "property_sheets/sheet_fonts.h"
#include "property_sheets/sheet_records.h"
#include "settings/stores/font_substitution.h"
#include "settings/common/module_state.h"
#include "win/controls.h"
#include "win/msgbox.h"
#include "win/fonts.h"
#include "win/gdi.h"
#include "win/memory.h"
#include "win/resources.h"
#include "win/spooler.h"

namespace {

constexpr INT kRows = 1223, kDeviceFonts = 1268, kDeviceFontLabel = 1303, kFaceHeading = 1318,
              kFontHeading = 1319;
constexpr INT kOkButton = 1307, kCancelButton = 1308, kDefaultsButton = 1309;
constexpr UINT kNoSubstitution = 81, kTabPosition = 2010, kWriteFailed = 9397;

struct Family {
  std::u16string face;
  INT index = 0;  // 0 no substitution, n the n-th device font
};

struct FontSubstitutionState {
  std::vector<Family> families;
  WCHAR* table = nullptr;  // GlobalAlloc'ed pair list
  std::vector<std::u16string> device_fonts;
  ~FontSubstitutionState() { SafeGlobalFree(table); }
};

// One state per open dialog.
std::map<HWND, std::unique_ptr<FontSubstitutionState>>& states() {
  static std::map<HWND, std::unique_ptr<FontSubstitutionState>> open;
  return open;
}
FontSubstitutionState* state_of(HWND dialog) {
  auto it = states().find(dialog);
  return it == states().end() ? nullptr : it->second.get();
}
void free_state(HWND dialog) { states().erase(dialog); }

int CALLBACK collect_family(const LOGFONTW* font, const TEXTMETRICW*, DWORD type, LPARAM lParam) {
  auto* families = reinterpret_cast<std::vector<Family>*>(lParam);
  if (!(type & TRUETYPE_FONTTYPE) || font->lfFaceName[0] == u'@') return 1;
  const std::u16string face(font->lfFaceName);
  const bool known = std::any_of(families->begin(), families->end(), [&](const Family& f) { return f.face == face; });
  if (!known) families->push_back(Family{face, 0});
  return 1;
}

std::unique_ptr<FontSubstitutionState> build_state(const SheetState* sheet) {
  auto s = std::make_unique<FontSubstitutionState>();
  HDC dc = GetDC(nullptr);
  LOGFONTW all{};
  all.lfCharSet = DEFAULT_CHARSET;
  EnumFontFamiliesExW(dc, &all, collect_family, reinterpret_cast<LPARAM>(&s->families), 0);
  ReleaseDC(nullptr, dc);
  s->table = GetFontSubstitutionTable(sheet->printer);
  if (!s->table) return nullptr;
  if (!ReadDeviceFontNames(sheet->database, &s->device_fonts, false)) return nullptr;
  return s;
}

// Each family's index: the device font its table entry names exactly, or 0.
void map_families(FontSubstitutionState* s) {
  for (Family& f : s->families) {
    f.index = 0;
    const WCHAR* value = FindMultiSzPairValue(s->table, f.face.c_str());
    if (!value) continue;
    for (size_t i = 0; i < s->device_fonts.size(); ++i)
      if (s->device_fonts[i] == value) {
        f.index = static_cast<INT>(i + 1);
        break;
      }
  }
}

std::u16string choice_text(HWND dialog, INT index) {
  HWND list = GetDlgItem(dialog, kDeviceFonts);
  const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return {};
  std::u16string text(static_cast<size_t>(length) + 1, u'\0');
  SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return text;
}

void fill_device_fonts(HWND dialog, const FontSubstitutionState* s) {
  HWND list = GetDlgItem(dialog, kDeviceFonts);
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  WCHAR none[256] = {};
  LoadStringW(GetResourceModule(), kNoSubstitution, none, 256);
  SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(none));
  for (const std::u16string& name : s->device_fonts)
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  SendMessageW(list, CB_SETCURSEL, 0, 0);
}

std::u16string row_text(HWND dialog, const Family& f) { return f.face + u"\t" + choice_text(dialog, f.index); }

void select_row(HWND dialog, const FontSubstitutionState* s, INT row, BOOL editable) {
  if (row < 0 || row >= static_cast<INT>(s->families.size())) return;
  SendMessageW(GetDlgItem(dialog, kRows), LB_SETCURSEL, static_cast<WPARAM>(row), 0);
  SendMessageW(GetDlgItem(dialog, kDeviceFonts), CB_SETCURSEL, static_cast<WPARAM>(s->families[row].index), 0);
  EnableWindow(GetDlgItem(dialog, kDeviceFonts), editable);
  EnableWindow(GetDlgItem(dialog, kDeviceFontLabel), editable);
}

void fill_rows(HWND dialog, const FontSubstitutionState* s) {
  WCHAR tab_text[16] = {};
  LoadStringW(GetResourceModule(), kTabPosition, tab_text, 16);
  LONG tab = 0;
  for (const WCHAR* p = tab_text; *p >= u'0' && *p <= u'9'; ++p) tab = tab * 10 + (*p - u'0');
  RECT units{0, 0, tab, 0};
  MapDialogRect(dialog, &units);
  const INT pixels = units.right;
  HWND face = GetDlgItem(dialog, kFaceHeading), font = GetDlgItem(dialog, kFontHeading);
  RECT a{}, b{};
  if (face && font && GetWindowRect(face, &a) && GetWindowRect(font, &b)) {
    POINT origin{0, 0};
    ClientToScreen(dialog, &origin);
    MoveWindow(face, a.left - origin.x, a.top - origin.y, pixels, a.bottom - a.top, TRUE);
    const INT left = a.left - origin.x + pixels - 2;
    MoveWindow(font, left, b.top - origin.y, b.right - origin.x - left, b.bottom - b.top, TRUE);
  }
  HWND rows = GetDlgItem(dialog, kRows);
  SendMessageW(rows, LB_RESETCONTENT, 0, 0);
  INT stop = tab;  // list box tab stops are in dialog units
  SendMessageW(rows, LB_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&stop));
  for (size_t i = 0; i < s->families.size(); ++i) {
    const std::u16string text = row_text(dialog, s->families[i]);
    const LRESULT at = SendMessageW(rows, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (at >= 0) SendMessageW(rows, LB_SETITEMDATA, static_cast<WPARAM>(at), static_cast<LPARAM>(i));
  }
  SendMessageW(rows, LB_SETCURSEL, 0, 0);
}

// The row's family gets `index`: its table entry is replaced by the chosen
// device font, or removed for no substitution; the row shows the choice.
void update_row(HWND dialog, FontSubstitutionState* s, INT row, INT index, BOOL editable) {
  HWND rows = GetDlgItem(dialog, kRows);
  const LRESULT item = SendMessageW(rows, LB_GETITEMDATA, static_cast<WPARAM>(row), 0);
  if (item < 0 || item >= static_cast<LRESULT>(s->families.size())) return;
  Family& f = s->families[static_cast<size_t>(item)];
  const std::u16string font = index > 0 ? s->device_fonts[static_cast<size_t>(index - 1)] : std::u16string();
  WCHAR* edited = EditMultiSzPairList(s->table, f.face.c_str(), index > 0 ? font.c_str() : nullptr);
  if (!edited) return;
  SafeGlobalFree(s->table);
  s->table = edited;
  f.index = index;
  const std::u16string text = row_text(dialog, f);
  SendMessageW(rows, LB_DELETESTRING, static_cast<WPARAM>(row), 0);
  SendMessageW(rows, LB_INSERTSTRING, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text.c_str()));
  SendMessageW(rows, LB_SETITEMDATA, static_cast<WPARAM>(row), item);
  select_row(dialog, s, row, editable);
}

INT selected_row(HWND dialog) {
  return static_cast<INT>(SendMessageW(GetDlgItem(dialog, kRows), LB_GETCURSEL, 0, 0));
}

INT RowListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  FontSubstitutionState* s = state_of(event->window);
  if (!s || message != WM_COMMAND) return 0;
  const INT row = selected_row(event->window);
  if (row < 0) return 0;
  if (HIWORD(wParam) == LBN_SELCHANGE) {
    select_row(event->window, s, row, event->permission);
  } else if (HIWORD(wParam) == LBN_DBLCLK && event->permission) {
    const INT item = static_cast<INT>(SendMessageW(GetDlgItem(event->window, kRows), LB_GETITEMDATA, static_cast<WPARAM>(row), 0));
    if (item < 0 || item >= static_cast<INT>(s->families.size())) return 0;
    const INT next = (s->families[static_cast<size_t>(item)].index + 1) % (static_cast<INT>(s->device_fonts.size()) + 1);
    update_row(event->window, s, row, next, event->permission);
  }
  return 0;
}

INT DeviceFontListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*,
                          const void*) {
  FontSubstitutionState* s = state_of(event->window);
  if (!s || message != WM_COMMAND || HIWORD(wParam) != CBN_SELCHANGE || !event->permission) return 0;
  const INT row = selected_row(event->window);
  const INT index = static_cast<INT>(SendMessageW(GetDlgItem(event->window, kDeviceFonts), CB_GETCURSEL, 0, 0));
  if (row >= 0 && index >= 0) update_row(event->window, s, row, index, event->permission);
  return 0;
}

// OK: the table goes to the printer. A printer that cannot be opened for
// changes, or a refused write, is reported and the dialog stays open.
INT OkHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  FontSubstitutionState* s = state_of(event->window);
  SheetState* sheet = GetSheetState(event->window);
  if (s && sheet && event->permission) {
    HANDLE printer = document_pages::OpenPrinterForChanges(sheet);
    const INT written = printer ? WriteFontSubstitutionTable(printer, s->table) : 0;
    if (printer) ClosePrinter(printer);
    if (written != 1) {
      document_pages::Warn(event->window, kWriteFailed);
      return 0;
    }
  }
  free_state(event->window);
  EndDialog(event->window, kOkButton);
  return 0;
}

INT CloseHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  free_state(event->window);
  EndDialog(event->window, kCancelButton);
  return 0;
}

INT DefaultsHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  FontSubstitutionState* s = state_of(event->window);
  SheetState* sheet = GetSheetState(event->window);
  if (!s || !sheet) return 0;
  SetFocus(GetDlgItem(event->window, kDefaultsButton));
  WCHAR* defaults = BuildFontSubstitutionTable(sheet->database);
  if (!defaults) return 0;
  SafeGlobalFree(s->table);
  s->table = defaults;
  map_families(s);
  fill_rows(event->window, s);
  select_row(event->window, s, 0, event->permission);
  return 0;
}

constexpr WORD kKeepEnabled = kFlagKeepEnabled;
constexpr INT kHelp[] = {1267, 4100, 1223, 4100, 1318, 4105, 1319, 4108, 1303, 4110, 1268, 4110,
                         1307, 4120, 1308, 4130, 1309, 4140, 1341, 7777, 0, 0};
constexpr ControlRecord kRecords[] = {
    {kRows, 0, nullptr, kControlListBox, RowListHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kDeviceFonts, 0, nullptr, kControlListBox, DeviceFontListHandler, nullptr, kNone, kNone, nullptr},
    {kOkButton, 0, nullptr, kControlCommand, OkHandler, nullptr, kNone, kNone, nullptr},
    {kCancelButton, 0, nullptr, kControlCommand, CloseHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kDefaultsButton, 0, nullptr, kControlCommand, DefaultsHandler, nullptr, kNone, kNone, nullptr},
};

}  // namespace

const ControlSet kFontSubstitutionControls{kRecords, static_cast<INT>(std::size(kRecords)), 4150, kHelp, nullptr, 0};

INT_PTR FontSubstitutionDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* context = reinterpret_cast<SheetContext*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    if (context && context->state) {
      if (auto built = build_state(context->state)) {
        FontSubstitutionState* s = built.get();
        states()[window] = std::move(built);
        fill_device_fonts(window, s);
        map_families(s);
        fill_rows(window, s);
        select_row(window, s, 0, context->state->can_edit);
      }
    }
  } else if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    free_state(window);
  } else if (message == WM_DESTROY) {
    free_state(window);
  }
  return RunEngineDialog(window, message, wParam, lParam, 23, kDialogTypeDialog);
}
