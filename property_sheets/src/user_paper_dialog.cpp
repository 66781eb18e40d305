// The user-defined paper sizes dialog: twenty paper sizes of the printer,
// each a spooler form named after its slot plus a width, a height and a
// display name in the printer's settings. The dialog edits a working copy
// of the slots and stores forms and settings itself on OK.
//
// A slot left at the default size (A4) with its default name is not kept
// as a form: saving deletes its form, so that a size is "removed" by
// setting it back. Any other slot is written as its form, added when the
// printer has none of that name yet.
#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "property_sheets/document_pages.h"
#include "property_sheets/margin_checks.h"
#include "property_sheets/sheet_records.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_records.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_settings.h"
#include "settings/common/module_state.h"
#include "win/controls.h"
#include "win/msgbox.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/registry.h"
#include "win/resources.h"
#include "win/spooler.h"

namespace {

constexpr INT kSlots = 20;
constexpr WORD kWidthBase = 5889, kHeightBase = 5909, kNameBase = 5929;
constexpr LONG kDefaultWidth = 2100, kDefaultHeight = 2970;
constexpr size_t kNameChars = 14;  // the setting holds 30 bytes with the terminator
constexpr size_t kFormNameChars = 31;

constexpr INT kList = 1286, kWidth = 1010, kWidthSpin = 1029, kHeight = 1011, kHeightSpin = 1030, kMetric = 1565,
              kInch = 1566, kNameLabel = 1274, kName = 1204, kDefaults = 1304, kSave = 1306, kCancel = 1305,
              kWidthLabel = 1275, kHeightLabel = 1276, kWidthUnit = 1278, kHeightUnit = 1279;
constexpr UINT kRangeMessage = 700, kMarginsNoRoom = 728, kCorrected = 9392, kSwapped = 9393, kSizeMetric = 9254,
               kSizeInch = 9255, kSaveFailed = 9396, kWidthRange = 9398, kHeightRange = 9399, kWidthName = 9400,
               kHeightName = 9401, kNameInvalid = 9402;

struct Slot {
  std::u16string form;
  WORD paper = 0;
  LONG width = kDefaultWidth, height = kDefaultHeight;
  std::u16string name;
};

struct UserPapers {
  std::array<Slot, kSlots> slots;
  LONG min_w = 1, min_h = 1, max_w = 32767, max_h = 32767;
  INT last_spin[2] = {0, 0};
  BOOL message_shown = FALSE;
  WORD unit = 0;  // 0 millimetres, 1 inches
  BOOL admin = FALSE;
  INT selected = 0;
};

std::map<HWND, std::unique_ptr<UserPapers>>& open_dialogs() {
  static std::map<HWND, std::unique_ptr<UserPapers>> open;
  return open;
}
UserPapers* papers_of(HWND dialog) {
  auto it = open_dialogs().find(dialog);
  return it == open_dialogs().end() ? nullptr : it->second.get();
}
// The row selected last, across dialogs of the process.
INT g_remembered_row = 0;

std::u16string resource(UINT id, const char16_t* fallback) {
  WCHAR text[256] = {};
  return LoadStringW(GetResourceModule(), id, text, 256) > 0 ? std::u16string(text) : std::u16string(fallback);
}

std::u16string length_text(LONG tenths, WORD unit) {
  WCHAR text[32] = {};
  document_pages::FormatLength(tenths, unit == 1, text, 32);
  return text;
}

std::u16string formatted(UINT id, const std::u16string& a, const std::u16string& b, const std::u16string& c = {}) {
  LPWSTR out = nullptr;
  if (!FormatResourceStringV(&out, 512, id, a.c_str(), b.c_str(), c.c_str()) || !out) return {};
  std::u16string text(out);
  GlobalFree(out);
  return text;
}

BOOL IsMachineKeyWritable() {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return FALSE;
  RegCloseKey(key);
  return TRUE;
}

std::u16string text_setting(void* devmode, void* printer_data, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &v) != 0 || type != 6) return {};
  return ItemText(v, size);
}

std::unique_ptr<UserPapers> load_slots(const SheetState* sheet, void* devmode, void* printer_data) {
  auto p = std::make_unique<UserPapers>();
  INT found = 0;
  for (WORD position = 1; sheet->database; ++position) {
    DddValue* value = nullptr;
    const DddStatus status =
        DddLoadValue(DDD_LOAD_FULL, &sheet->database->main, &sheet->database->linked, DDD_KIND_PAPER, position, &value);
    if (status == DDD_NOT_FOUND || status != DDD_OK || !value) {
      DddFreeValue(&value, 0xFFFF);
      break;
    }
    const auto* paper = static_cast<const DddPaper*>(value);
    if (paper->id != 256 && paper->size.first != paper->size_max.first && paper->size.second != paper->size_max.second) {
      if (found < kSlots) p->slots[static_cast<size_t>(found++)].paper = paper->id;
      p->min_w = paper->size.first, p->min_h = paper->size.second;
      p->max_w = paper->size_max.first, p->max_h = paper->size_max.second;
    }
    DddFreeValue(&value, 0xFFFF);
  }
  p->unit = sheet->measurement;
  p->admin = IsMachineKeyWritable();
  for (INT i = 0; i < kSlots; ++i) {
    Slot& s = p->slots[static_cast<size_t>(i)];
    WCHAR form[40] = {};
    FormatUserPaperName(i, form, 40);
    s.form = form;
    DWORD needed = 0;
    GetFormW(sheet->printer, form, 1, nullptr, 0, &needed);
    std::string buffer(needed, '\0');
    if (needed && GetFormW(sheet->printer, form, 1, reinterpret_cast<LPBYTE>(buffer.data()), needed, &needed)) {
      const auto* info = reinterpret_cast<const FORM_INFO_1W*>(buffer.data());
      s.width = info->Size.cx / 100;
      s.height = info->Size.cy / 100;
    }
    s.name = text_setting(devmode, printer_data, static_cast<WORD>(kNameBase + i));
  }
  return p;
}

// One row per slot: form name, size, display name. Millimetres show whole
// numbers three wide, inches two decimals.
std::u16string row_text(const UserPapers* p, const Slot& s) {
  const auto whole = [](LONG v) {
    std::string n = std::to_string(v / 10);
    while (n.size() < 3) n.insert(n.begin(), ' ');
    return std::u16string(n.begin(), n.end());
  };
  const bool inch = p->unit == 1;
  const std::u16string w = inch ? length_text(s.width, 1) : whole(s.width);
  const std::u16string h = inch ? length_text(s.height, 1) : whole(s.height);
  return s.form + u"\t" + formatted(inch ? kSizeInch : kSizeMetric, w, h) + u"\t" + s.name;
}

void fill_list(HWND dialog, const UserPapers* p) {
  HWND list = GetDlgItem(dialog, kList);
  const LRESULT top = SendMessageW(list, LB_GETTOPINDEX, 0, 0);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  INT stops[2] = {70, 120};
  SendMessageW(list, LB_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(stops));
  for (const Slot& s : p->slots) {
    const std::u16string text = row_text(p, s);
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(p->selected), 0);
  if (top > 0) SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);
}

void show_ranges(HWND dialog, const UserPapers* p) {
  SetDlgItemTextW(dialog, kWidthLabel,
                  formatted(kWidthRange, length_text(p->min_w, p->unit), length_text(p->max_w, p->unit)).c_str());
  SetDlgItemTextW(dialog, kHeightLabel,
                  formatted(kHeightRange, length_text(p->min_h, p->unit), length_text(p->max_h, p->unit)).c_str());
  const char16_t* unit = p->unit == 1 ? u"in" : u"mm";
  SetDlgItemTextW(dialog, kWidthUnit, unit);
  SetDlgItemTextW(dialog, kHeightUnit, unit);
}

void show_slot(HWND dialog, const UserPapers* p, const SheetState* sheet) {
  const Slot& s = p->slots[static_cast<size_t>(p->selected)];
  SetDlgItemTextW(dialog, kWidth, length_text(s.width, p->unit).c_str());
  SetDlgItemTextW(dialog, kHeight, length_text(s.height, p->unit).c_str());
  SetDlgItemTextW(dialog, kName, s.name.c_str());
  const BOOL editable = sheet && sheet->can_edit;
  EnableWindow(GetDlgItem(dialog, kName), editable);
  EnableWindow(GetDlgItem(dialog, kNameLabel), editable);
}

// A slot wider than high is warned about and turned. TRUE when it turned.
BOOL check_orientation(HWND dialog, Slot& s) {
  if (s.width <= s.height) return FALSE;
  document_pages::Warn(dialog, kSwapped);
  std::swap(s.width, s.height);
  return TRUE;
}

// The paper's margins must leave room on a side of `length`.
BOOL margins_fit(HWND dialog, const Slot& s, INT side, LONG length) {
  SheetContext* context = GetSheetContext(dialog);
  if (!context || !s.paper) return TRUE;
  const MarginCheckContext check{context->state->database, context->state->printer, context->current.devmode,
                                 context->current.printer_data};
  LONG dimensions[2] = {s.width, s.height};
  dimensions[side] = length;
  return CheckPaperMargins(&check, s.paper, side, nullptr, dimensions, nullptr, FALSE, TRUE) != -1;
}

std::u16string field_text(HWND dialog, INT id) {
  WCHAR text[64] = {};
  GetDlgItemTextW(dialog, id, text, 64);
  return text;
}

// Takes the typed width (side 0) or height (side 1) of the selected slot;
// FALSE after a message.
BOOL validate_side(HWND dialog, UserPapers* p, INT side) {
  Slot& s = p->slots[static_cast<size_t>(p->selected)];
  LONG& current = side == 0 ? s.width : s.height;
  const LONG lo = side == 0 ? p->min_w : p->min_h, hi = side == 0 ? p->max_w : p->max_h;
  const INT field = side == 0 ? kWidth : kHeight;
  const std::u16string name = resource(side == 0 ? kWidthName : kHeightName, side == 0 ? u"Width" : u"Height");
  LONG typed = 0;
  const BOOL parsed = document_pages::ParseLength(field_text(dialog, field).c_str(), p->unit == 1, &typed);
  std::u16string message;
  UINT warning = 0;
  if (!parsed) {
    message = formatted(kRangeMessage, name, length_text(lo, p->unit), length_text(hi, p->unit));
  } else if ((current < lo || current > hi) && (typed < lo || typed > hi)) {
    const LONG corrected = typed < lo ? lo : hi;
    message = formatted(kCorrected, name, field_text(dialog, field), length_text(corrected, p->unit));
    current = corrected;
  } else if (typed < lo || typed > hi) {
    message = formatted(kRangeMessage, name, length_text(lo, p->unit), length_text(hi, p->unit));
  } else if (!margins_fit(dialog, s, side, typed)) {
    warning = kMarginsNoRoom;
  } else {
    current = typed;
    SetDlgItemTextW(dialog, field, length_text(current, p->unit).c_str());
    fill_list(dialog, p);
    return TRUE;
  }
  p->message_shown = TRUE;
  if (warning) document_pages::Warn(dialog, warning);
  else document_pages::Warn(dialog, 0, message.c_str());
  p->message_shown = FALSE;
  SetDlgItemTextW(dialog, field, length_text(current, p->unit).c_str());
  fill_list(dialog, p);
  SetFocus(GetDlgItem(dialog, field));
  return FALSE;
}

BOOL validate_name(HWND dialog, UserPapers* p) {
  const std::u16string text = field_text(dialog, kName);
  const bool bad = text.size() > kNameChars ||
                   std::any_of(text.begin(), text.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; });
  if (!bad) return TRUE;
  p->message_shown = TRUE;
  document_pages::Warn(dialog, kNameInvalid);
  p->message_shown = FALSE;
  SetFocus(GetDlgItem(dialog, kName));
  return FALSE;
}

INT ListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  UserPapers* p = papers_of(event->window);
  if (!p || message != WM_COMMAND || HIWORD(wParam) != LBN_SELCHANGE) return 0;
  const INT row = static_cast<INT>(SendMessageW(GetDlgItem(event->window, kList), LB_GETCURSEL, 0, 0));
  if (row < 0 || row >= kSlots) return 0;
  if (check_orientation(event->window, p->slots[static_cast<size_t>(p->selected)])) {
    fill_list(event->window, p);
    return 0;
  }
  p->selected = row;
  g_remembered_row = row;
  show_slot(event->window, p, GetSheetState(event->window));
  return 0;
}

INT SideHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord* record, const void*) {
  UserPapers* p = papers_of(event->window);
  if (!p || message != WM_COMMAND || HIWORD(wParam) != EN_KILLFOCUS) return 0;
  if (p->message_shown) return 0;
  validate_side(event->window, p, record->id == kWidth ? 0 : 1);
  return 0;
}

INT SpinHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord* record, const void*) {
  UserPapers* p = papers_of(event->window);
  if (!p || message != WM_VSCROLL) return 0;
  const INT side = record->id == kWidthSpin ? 0 : 1;
  if (LOWORD(wParam) == SB_ENDSCROLL) {
    fill_list(event->window, p);
    return 0;
  }
  if (LOWORD(wParam) != SB_THUMBPOSITION) return 0;
  const INT position = static_cast<SHORT>(HIWORD(wParam));
  const bool down = position < p->last_spin[side];
  p->last_spin[side] = position;
  Slot& s = p->slots[static_cast<size_t>(p->selected)];
  LONG& current = side == 0 ? s.width : s.height;
  const INT field = side == 0 ? kWidth : kHeight;
  LONG value = current;
  document_pages::ParseLength(field_text(event->window, field).c_str(), p->unit == 1, &value);
  // One step of the display: a tenth of a millimetre or a hundredth of an inch.
  if (p->unit == 1) {
    const LONG hundredths = MetricToInch(value, nullptr) + (down ? -1 : 1);
    value = InchToMetric(hundredths);
  } else {
    value += down ? -1 : 1;
  }
  const LONG lo = side == 0 ? p->min_w : p->min_h, hi = side == 0 ? p->max_w : p->max_h;
  value = std::clamp(value, lo, hi);
  if (!margins_fit(event->window, s, side, value)) {
    document_pages::Warn(event->window, kMarginsNoRoom);
  } else {
    current = value;
  }
  SetDlgItemTextW(event->window, field, length_text(current, p->unit).c_str());
  return 0;
}

INT UnitHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord* record, const void*) {
  UserPapers* p = papers_of(event->window);
  if (!p || message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  p->unit = record->id == kInch ? 1 : 0;
  show_ranges(event->window, p);
  show_slot(event->window, p, GetSheetState(event->window));
  fill_list(event->window, p);
  return 0;
}

INT NameHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  UserPapers* p = papers_of(event->window);
  if (!p) return 0;
  if (message == UM_VALIDATE_CONTROLS) return validate_name(event->window, p) ? 0 : 1;
  if (message != WM_COMMAND) return 0;
  if (HIWORD(wParam) == EN_CHANGE) {
    std::u16string text = field_text(event->window, kName);
    text.resize(std::min(text.size(), kNameChars));
    Slot& s = p->slots[static_cast<size_t>(p->selected)];
    if (text != s.name) {
      s.name = text;
      fill_list(event->window, p);
    }
  } else if (HIWORD(wParam) == EN_KILLFOCUS && !p->message_shown) {
    validate_name(event->window, p);
  }
  return 0;
}

INT DefaultsHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  UserPapers* p = papers_of(event->window);
  SheetState* sheet = GetSheetState(event->window);
  if (!p || !sheet || message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  SetFocus(GetDlgItem(event->window, kDefaults));
  p->unit = sheet->measurement;
  p->last_spin[0] = p->last_spin[1] = 0;
  p->message_shown = FALSE;
  for (Slot& s : p->slots) {
    if (p->admin) s.width = kDefaultWidth, s.height = kDefaultHeight;
    s.name = s.form.substr(0, kNameChars);
  }
  p->selected = 0;
  fill_list(event->window, p);
  show_slot(event->window, p, sheet);
  CheckRadioButton(event->window, kMetric, kInch, p->unit == 1 ? kInch : kMetric);
  show_ranges(event->window, p);
  SendDlgItemMessageW(event->window, kWidthSpin, UDM_SETPOS32, 0, 0);
  SendDlgItemMessageW(event->window, kHeightSpin, UDM_SETPOS32, 0, 0);
  return 0;
}

bool is_default(const Slot& s) {
  return s.width == kDefaultWidth && s.height == kDefaultHeight && (s.name.empty() || s.name == s.form.substr(0, kNameChars));
}

// Writes or removes the slot's form. FALSE when the printer refused.
bool store_form(HANDLE printer, const Slot& s) {
  std::u16string name = s.form.substr(0, kFormNameChars);
  if (is_default(s)) {
    if (DeleteFormW(printer, name.data())) return true;
    return GetLastError() == ERROR_INVALID_FORM_NAME;  // there was none
  }
  FORM_INFO_1W form{};
  form.Flags = FORM_PRINTER;
  form.pName = name.data();
  form.Size = {s.width * 100, s.height * 100};
  form.ImageableArea = {0, 0, s.width * 100, s.height * 100};
  if (SetFormW(printer, name.data(), 1, reinterpret_cast<LPBYTE>(&form))) return true;
  return GetLastError() == ERROR_INVALID_FORM_NAME && AddFormW(printer, 1, reinterpret_cast<LPBYTE>(&form));
}

bool write_number(void* printer_data, WORD ddmid, LONG value) {
  const SHORT v = static_cast<SHORT>(value);
  return SetItemValueRaw(ddmid, nullptr, printer_data, 3, 2, &v) == 0;
}

// The name within its 30-byte setting: at most 14 characters and the
// terminator.
bool write_name(void* printer_data, WORD ddmid, const std::u16string& name) {
  const std::u16string kept = name.substr(0, kNameChars);
  const WCHAR* text = kept.c_str();
  return SetItemValueRaw(ddmid, nullptr, printer_data, 6, static_cast<DWORD>((kept.size() + 1) * sizeof(WCHAR)),
                         &text) == 0;
}

// The forms (with the administrator's right), then the sizes and names in
// the printer's settings and the sheet's. FALSE when the printer cannot be
// opened for changes or refuses a form or the settings.
bool save(HWND dialog, UserPapers* p) {
  SheetContext* context = GetSheetContext(dialog);
  if (!context || !context->state) return false;
  SheetState* sheet = context->state;
  HANDLE printer = document_pages::OpenPrinterForChanges(sheet);
  if (!printer) return false;
  bool ok = true;
  if (p->admin)
    for (const Slot& s : p->slots) ok = store_form(printer, s) && ok;
  void* block = ok ? GlobalAlloc(GPTR, kPrinterDataBlockSize) : nullptr;
  ok = ok && block && ReadPrinterSettings(printer, block, sheet->database);
  for (INT i = 0; ok && i < kSlots; ++i) {
    const Slot& s = p->slots[static_cast<size_t>(i)];
    for (void* target : {block, context->current.printer_data}) {
      if (p->admin)
        ok = ok && write_number(target, static_cast<WORD>(kWidthBase + i), s.width) &&
             write_number(target, static_cast<WORD>(kHeightBase + i), s.height);
      ok = ok && write_name(target, static_cast<WORD>(kNameBase + i), s.name);
    }
  }
  ok = ok && InitializePrinterSettings(printer, block, sheet->database, TRUE) == 1;
  SafeGlobalFree(block);
  ClosePrinter(printer);
  return ok;
}

INT SaveHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  UserPapers* p = papers_of(event->window);
  if (!p || message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  HWND focus = GetFocus();
  if (focus == GetDlgItem(event->window, kWidth) && !validate_side(event->window, p, 0)) return 0;
  if (focus == GetDlgItem(event->window, kHeight) && !validate_side(event->window, p, 1)) return 0;
  if (focus == GetDlgItem(event->window, kName) && !validate_name(event->window, p)) return 0;
  if (check_orientation(event->window, p->slots[static_cast<size_t>(p->selected)])) {
    show_slot(event->window, p, GetSheetState(event->window));
    fill_list(event->window, p);
    return 0;
  }
  // Without the right to change settings OK closes without storing.
  const SheetState* sheet = GetSheetState(event->window);
  if (sheet && sheet->can_edit && !save(event->window, p)) {
    document_pages::Warn(event->window, kSaveFailed);
    return 0;
  }
  open_dialogs().erase(event->window);
  EndDialog(event->window, kSave);
  return 0;
}

INT CancelHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*, const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  open_dialogs().erase(event->window);
  EndDialog(event->window, kCancel);
  return 0;
}

constexpr WORD kKeepEnabled = kFlagKeepEnabled;
constexpr INT kHelp[] = {1273, 4200, 1286, 4200, 1320, 4205, 1275, 4210, 1010, 4210, 1029, 4210, 1278, 4210,
                         1276, 4220, 1011, 4220, 1030, 4220, 1279, 4220, 1274, 4230, 1204, 4230, 1564, 42000,
                         1565, 42010, 1566, 42020, 1304, 4240, 1306, 4250, 1305, 4260, 1341, 7777, 0, 0};
constexpr INT kReadOnly[] = {1320, kNone};
constexpr ControlRecord kRecords[] = {
    {kList, 0, nullptr, kControlListBox, ListHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kWidth, 0, nullptr, kControlEdit, SideHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kWidthSpin, 0, nullptr, 0, SpinHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kHeight, 0, nullptr, kControlEdit, SideHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kHeightSpin, 0, nullptr, 0, SpinHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kMetric, 0, nullptr, kControlRadioGroup, UnitHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kInch, 0, nullptr, kControlRadioGroup, UnitHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kNameLabel, 0, nullptr, kControlStatic, NameHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kName, 0, nullptr, kControlEdit, NameHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kDefaults, 0, nullptr, kControlCommand, DefaultsHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kSave, 0, nullptr, kControlCommand, SaveHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {kCancel, 0, nullptr, kControlCommand, CancelHandler, nullptr, kNone, kNone, &kKeepEnabled},
};

void init_dialog(HWND dialog, SheetContext* context) {
  SheetState* sheet = context->state;
  auto loaded = load_slots(sheet, context->current.devmode, context->current.printer_data);
  UserPapers* p = loaded.get();
  open_dialogs()[dialog] = std::move(loaded);
  p->selected = 0;
  g_remembered_row = 0;
  SendDlgItemMessageW(dialog, kWidth, EM_LIMITTEXT, 20, 0);
  SendDlgItemMessageW(dialog, kHeight, EM_LIMITTEXT, 20, 0);
  SendDlgItemMessageW(dialog, kName, EM_LIMITTEXT, kNameChars, 0);
  for (INT spin : {kWidthSpin, kHeightSpin}) {
    SendDlgItemMessageW(dialog, spin, UDM_SETRANGE32, static_cast<WPARAM>(-30000), 30000);
    SendDlgItemMessageW(dialog, spin, UDM_SETPOS32, 0, 0);
  }
  CheckRadioButton(dialog, kMetric, kInch, p->unit == 1 ? kInch : kMetric);
  show_ranges(dialog, p);
  fill_list(dialog, p);
  show_slot(dialog, p, sheet);
  if (!p->admin)
    for (INT id : {kWidth, kWidthSpin, kWidthLabel, kWidthUnit, kHeight, kHeightSpin, kHeightLabel, kHeightUnit})
      EnableWindow(GetDlgItem(dialog, id), FALSE);
}

}  // namespace

const ControlSet kUserPaperControls{kRecords, static_cast<INT>(std::size(kRecords)), 4270, kHelp, kReadOnly, 0};

INT_PTR UserPaperDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const INT_PTR result = RunEngineDialog(window, message, wParam, lParam, 24, kDialogTypeDialog);
    if (auto* context = reinterpret_cast<SheetContext*>(lParam); context && context->state) init_dialog(window, context);
    return result;
  }
  if ((message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) || message == WM_DESTROY) open_dialogs().erase(window);
  return RunEngineDialog(window, message, wParam, lParam, 24, kDialogTypeDialog);
}
