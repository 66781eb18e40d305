// The job-type detail dialogs: the details some job types need (an
// identifier with a code, a name, an hour and minute pair, a number with
// its code), with the checks that keep a required detail from staying
// empty and set the job type back when the user leaves without it.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#include "control_handlers.h"
#include "property_sheets/document_pages.h"
#include "property_sheets/dialog_helpers.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/database/model_config.h"
#include "settings/items/item_info.h"
#include "win/controls.h"
#include "win/memory.h"
#include "win/msgbox.h"
#include "win/resources.h"

namespace {

constexpr WORD kTypeWord = 3;
constexpr WORD kTypeText = 6;
constexpr INT kCaptionText = 265;
constexpr WORD kJobType = 334;
constexpr WORD kIdentifier = 5129;
constexpr WORD kPlainCode = 5130;
constexpr WORD kProtectedCode = 5159;
constexpr WORD kNumber = 435;
constexpr WORD kHour = 451;
constexpr WORD kMinute = 452;
constexpr DWORD kLongIdentifiers = 2;
constexpr DWORD kProtectedCodes = 0x40000000;
constexpr DWORD kNoEmptyChecks = 0xFFFF002E;
constexpr INT kHeading = 1555;
constexpr INT kNameField = 1552;
constexpr INT kHourEdit = 3371, kMinuteEdit = 3374;

constexpr UINT kNoneText = 306;
constexpr UINT kLineText = 706;
constexpr UINT kChangedText = 711;
constexpr UINT kCannotSetText = 701;
constexpr UINT kNumberRangeText = 446;
constexpr UINT kNameRequiredText = 4723;
constexpr UINT kCodeLengthText = 9743;

bool read_number(ControlEvent* event, WORD ddmid, LONG* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, event->devmode, event->printer_data, &type, &size, &value) != 0 || type == kTypeText)
    return false;
  *out = GetTypedValue(type, &value);
  return true;
}
bool option_on(ControlEvent* event, DWORD option) { return HasDeviceCapability(event->database, option) != 0; }

std::u16string control_text(HWND window, INT id, INT limit = 256) {
  std::u16string text(static_cast<size_t>(limit) + 1, u'\0');
  const INT n = GetDlgItemTextW(window, id, text.data(), limit + 1);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

bool field_empty(HWND window, INT id) { return control_text(window, id, 24).empty(); }

std::u16string resource_text(UINT id) {
  WCHAR text[256] = {};
  const INT n = LoadStringW(GetResourceModule(), id, text, 256);
  return n > 0 ? std::u16string(text, static_cast<size_t>(n)) : std::u16string();
}

// The parts of a choice text around its last carriage return: the name
// before it and the description after it.
std::u16string before_last_return(const std::u16string& text) {
  const size_t at = text.rfind(u'\r');
  return at == std::u16string::npos ? text : text.substr(0, at);
}
std::u16string after_last_return(const std::u16string& text) {
  const size_t at = text.rfind(u'\r');
  return at == std::u16string::npos ? text : text.substr(at + 1);
}

// The name and choices of a setting, for texts.
struct Item {
  ItemInfo* info = nullptr;
  explicit Item(ControlEvent* event, WORD ddmid) {
    const SheetState* state = GetSheetState(event->window);
    ItemInfoOptions options{};
    options.printer = state ? state->printer : nullptr;
    info = BuildItemInfo(event->database, ddmid, event->devmode, event->printer_data, GetResourceModule(), &options);
  }
  ~Item() { ItemInfo_Free(info); }
  Item(const Item&) = delete;
  Item& operator=(const Item&) = delete;
  std::u16string name() const { return info && info->name ? std::u16string(info->name) : std::u16string(); }
  // The text of the choice whose value is `value`.
  std::u16string text_of(LONG value) const {
    for (LONG i = 0; info && i < info->count; ++i)
      if (GetTypedValue(info->value_type, ItemInfo_GetChoiceAt(info, i)) == value)
        if (LPCWSTR t = ItemInfo_GetChoiceText(info, i)) return t;
    return {};
  }
  std::u16string text_at(LONG index) const {
    LPCWSTR t = info && index < info->count ? ItemInfo_GetChoiceText(info, index) : nullptr;
    return t ? std::u16string(t) : std::u16string();
  }
};

void warn(HWND window, LPCWSTR text) {
  if (text) ShowResourceMessageBox(window, kCaptionText, nullptr, MB_OK | MB_ICONWARNING, kNone, text);
}

// ---- what the fields accept ---------------------------------------------------------

constexpr DWORD kValidateAlways = kValidateOnKillActive | kValidateOnKillFocus | kValidateOnCommand;
constexpr WORD kTextField = kEditText | 0x100;

// Character classes (resource strings of byte ranges).
constexpr UINT kPrintable[] = {9279, 0};
constexpr UINT kWideDoubleBytes[] = {9280, 0};
constexpr UINT kNarrowDoubleBytes[] = {9233, 0};
constexpr UINT kCodeBytes[] = {9219, 0};
constexpr UINT kDigits[] = {9235, 0};
constexpr TextRule kLongNameRule{{kPrintable, kWideDoubleBytes, nullptr, nullptr}, 425};
constexpr TextRule kShortNameRule{{kPrintable, kNarrowDoubleBytes, nullptr, nullptr}, 445};
constexpr TextRule kCodeRule{{kCodeBytes, kNarrowDoubleBytes, nullptr, nullptr}, 743};
constexpr TextRule kNumberRule{{kDigits, nullptr, nullptr, nullptr}, kNone};

// The identifier and the name: an empty text passes the field (the
// required checks are the handlers' own).
constexpr EditFieldData kLongIdentifierField{kTextField | kEditLenient, 24, &kLongNameRule, nullptr, kValidateAlways,
                                             nullptr};
constexpr EditFieldData kShortIdentifierField{kTextField | kEditLenient, 8, &kShortNameRule, nullptr, kValidateAlways,
                                              nullptr};
constexpr EditFieldData kLongNameField{kEditText | kEditLenient, 24, &kLongNameRule, nullptr, kValidateAlways, nullptr};
constexpr EditFieldData kShortNameField{kEditText | kEditLenient, 12, &kShortNameRule, nullptr, kValidateAlways,
                                        nullptr};
// The codes, in plain or protected form.
constexpr EditFieldData kPlainCodeField{kEditText | kEditLenient, 4, &kCodeRule, nullptr,
                                        kValidateAlways, nullptr};
constexpr EditFieldData kProtectedCodeField{kEditText | kEditLenient | kEditShowProtected, 12, &kCodeRule,
                                            nullptr, kValidateAlways, nullptr};
constexpr EditFieldData kProtectedSecondCodeField{kEditText | kEditLenient | kEditShowProtected, 20,
                                                  &kCodeRule, nullptr, kValidateAlways, nullptr};
// The number is kept as a text of digits; an empty one passes only where
// the model turns the empty checks off.
constexpr EditFieldData kNumberField{kTextField, 3, &kNumberRule, nullptr, kValidateAlways, nullptr};
constexpr EditFieldData kLenientNumberField{kTextField | kEditLenient, 3, &kNumberRule, nullptr, kValidateAlways,
                                            nullptr};
// Hour and minute: whole numbers of two digits (their range is checked
// when they are stored).
constexpr UnitRecord kWhole{0, 0};
constexpr EditFieldData kPairField{kEditNumeric, 2, nullptr, &kWhole, kValidateAlways, nullptr};

// Passes the message on to the edit kind with the field data the handler
// chose.
INT chain_edit(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
               const EditFieldData* data) {
  return event->default_handler ? event->default_handler(event, message, wParam, lParam, record, data) : 0;
}

}  // namespace

// Leaving without a required detail: the job type goes back to its choice of
// value 0, and the user is told.
INT ResetJobTypeWithNotice(ControlEvent* event) {
  if (!event || !event->window || !GetSheetState(event->window)) return 0;
  const Item job(event, kJobType);
  const std::u16string plain = before_last_return(job.text_of(0));
  LPWSTR line = nullptr;
  LPWSTR text = nullptr;
  if (FormatResourceStringV(&line, 0, kLineText, job.name().c_str(), plain.c_str()) && line &&
      FormatResourceStringV(&text, 0, kChangedText, line))
    warn(event->window, text);
  SafeGlobalFree(line);
  SafeGlobalFree(text);
  const SheetState* state = GetSheetState(event->window);
  if (!state->database || !IsItemEnforced(kJobType, state->database->config)) {
    const WORD zero = 0;
    SetItemValueRaw(kJobType, event->devmode, event->printer_data, kTypeWord, 2, &zero);
  }
  return 1;
}

// OK without a required identifier: the user is told what is missing.
INT ShowJobDetailRequiredNotice(ControlEvent* event) {
  const Item identifier(event, kIdentifier);
  const Item job(event, kJobType);
  LONG current = 0;
  read_number(event, kJobType, &current);
  LPWSTR line = nullptr;
  LPWSTR text = nullptr;
  const std::u16string none = resource_text(kNoneText);
  if (FormatResourceStringV(&line, 0, kLineText, identifier.name().c_str(), none.c_str()) && line &&
      FormatResourceStringV(&text, 0, kCannotSetText, job.name().c_str(),
                            before_last_return(job.text_of(current)).c_str(), line))
    warn(event->window, text);
  SafeGlobalFree(line);
  SafeGlobalFree(text);
  return 1;
}

INT ShowTwoDigitPair(ControlEvent* event) {
  for (auto [ddmid, id] : {std::pair{kHour, kHourEdit}, std::pair{kMinute, kMinuteEdit}}) {
    LONG value = 0;
    if (!read_number(event, ddmid, &value)) continue;
    char text[16];
    std::snprintf(text, sizeof text, value < 10 ? "0%ld" : "%ld", static_cast<long>(value));
    std::u16string wide(text, text + std::char_traits<char>::length(text));
    SetDlgItemTextW(event->window, id, wide.c_str());
  }
  return 1;
}

namespace {

// The heading names the job type.
void show_heading(HWND window) {
  ControlEvent event{};
  event.window = window;
  SheetContext* context = GetSheetContext(window);
  if (!context || !context->state) return;
  event.database = context->state->database;
  event.devmode = context->current.devmode;
  event.printer_data = context->current.printer_data;
  LONG current = 0;
  if (!read_number(&event, kJobType, &current)) return;
  const Item job(&event, kJobType);
  SetDlgItemTextW(window, kHeading, after_last_return(job.text_of(current)).c_str());
}

template <INT Kind>
INT_PTR JobTypeDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const INT_PTR result = RunEngineDialog(window, message, wParam, lParam, Kind, kDialogTypeDialog);
  if (message == WM_INITDIALOG) show_heading(window);
  return result;
}

// The identifier: required unless the model turns the check off.
INT IdentifierFieldHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                           const ControlRecord* record, const void*) {
  const bool long_ids = !GetSheetState(event->window) || option_on(event, kLongIdentifiers);
  const EditFieldData* data = long_ids ? &kLongIdentifierField : &kShortIdentifierField;
  const bool checks = !option_on(event, kNoEmptyChecks);
  if (ShowsAgain(message, lParam)) {
    const INT result = chain_edit(event, message, wParam, lParam, record, data);
    SendDlgItemMessageW(event->window, record->id, EM_LIMITTEXT, data->max_chars, 0);
    if (field_empty(event->window, record->id)) {
      const WCHAR* empty = u"";
      SetItemValueRaw(option_on(event, kProtectedCodes) ? kProtectedCode : kPlainCode, event->devmode,
                      event->printer_data, kTypeText, 2, &empty);
    }
    return result;
  }
  if (IsNotifyCode(message, lParam, PSN_RESET) && checks && field_empty(event->window, record->id)) {
    ResetJobTypeWithNotice(event);
    return chain_edit(event, message, wParam, lParam, record, data);
  }
  if (message == UM_VALIDATE_CONTROLS && checks && field_empty(event->window, record->id)) {
    ShowJobDetailRequiredNotice(event);
    SetFocus(GetDlgItem(event->window, record->id));
    return 1;
  }
  return chain_edit(event, message, wParam, lParam, record, data);
}

// The code: its length lies between the model's minimum and the maximum of
// its form.
INT JobCodeFieldHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void*) {
  const bool protected_codes = option_on(event, kProtectedCodes);
  const WORD ddmid = protected_codes ? kProtectedCode : kPlainCode;
  const EditFieldData* data = protected_codes ? &kProtectedCodeField : &kPlainCodeField;
  if (ShowsAgain(message, lParam)) {
    if (ControlState* state = FindControlState(event->window, record)) {
      INT index = 0;
      if (FindSettingRefIndex(record, ddmid, &index)) state->current = index;
    }
    const INT result = chain_edit(event, message, wParam, lParam, record, data);
    SendDlgItemMessageW(event->window, record->id, EM_LIMITTEXT, data->max_chars, 0);
    return result;
  }
  if (message == UM_VALIDATE_CONTROLS && !option_on(event, kNoEmptyChecks)) {
    INT maximum = 0, minimum = 0;
    if (!CheckCodeLength(event->devmode, event->printer_data, protected_codes, &maximum, &minimum)) {
      const Item code(event, ddmid);
      LPWSTR text = nullptr;
      if (!code.name().empty() &&
          FormatResourceStringV(&text, 0, kCodeLengthText, code.name().c_str(), minimum, maximum)) {
        warn(event->window, text);
        GlobalFree(text);
        return 1;
      }
    }
  }
  return chain_edit(event, message, wParam, lParam, record, data);
}

INT SecondCodeFieldHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                           const ControlRecord* record, const void*) {
  const bool protected_codes = option_on(event, kProtectedCodes);
  const EditFieldData* data = protected_codes ? &kProtectedSecondCodeField : &kPlainCodeField;
  if (ShowsAgain(message, lParam)) {
    if (ControlState* state = FindControlState(event->window, record)) {
      INT index = 0;
      if (FindSettingRefIndex(record, protected_codes ? 1858 : 436, &index)) state->current = index;
    }
    const INT result = chain_edit(event, message, wParam, lParam, record, data);
    SendDlgItemMessageW(event->window, record->id, EM_LIMITTEXT, data->max_chars, 0);
    return result;
  }
  return chain_edit(event, message, wParam, lParam, record, data);
}

INT NameFieldHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                     const void*) {
  LONG job = 0;
  read_number(event, kJobType, &job);
  const bool long_names = job == 3 || option_on(event, kLongIdentifiers);
  const EditFieldData* data = long_names ? &kLongNameField : &kShortNameField;
  const INT result = chain_edit(event, message, wParam, lParam, record, data);
  if (ShowsAgain(message, lParam) || message == WM_COMMAND)
    SendDlgItemMessageW(event->window, record->id, EM_LIMITTEXT, data->max_chars, 0);
  return result;
}

// The hour and minute show two digits; the arrows wrap around.
INT JobPairEditHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void*) {
  const INT result = ChainDefaultHandler(event, message, wParam, lParam, record);
  if (ShowsAgain(message, lParam) ||
      (message == WM_COMMAND && LOWORD(wParam) == record->id && HIWORD(wParam) == EN_KILLFOCUS))
    ShowTwoDigitPair(event);
  return result;
}

// The up-down kind writes its position into its buddy field whenever it
// shows the setting, so the pair is shown with two digits again after it.
INT JobPairSpinHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void*) {
  if (message != WM_VSCROLL) {
    const INT result = ChainDefaultHandler(event, message, wParam, lParam, record);
    if (ShowsAgain(message, lParam) || message == UM_RESTORE_CONTROLS) ShowTwoDigitPair(event);
    return result;
  }
  HWND updown = GetDlgItem(event->window, record->id);
  if (LOWORD(wParam) == SB_THUMBPOSITION && updown) {
    LONG value = 0;
    INT low = 0, high = 0;
    SendMessageW(updown, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
    const INT position = static_cast<SHORT>(HIWORD(wParam));
    if (read_number(event, RefDdmid(record->settings[0]), &value) && low != high) {
      // A step past an end wraps around: the kind's step goes to the
      // other end.
      INT wrapped = position;
      if (position == low && value == low)
        wrapped = high;
      else if (position == high && value == high)
        wrapped = low;
      if (wrapped != position) {
        SendMessageW(updown, UDM_SETPOS32, 0, wrapped);
        wParam = MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(wrapped));
      }
    }
  }
  const INT result = ChainDefaultHandler(event, message, wParam, lParam, record);
  ShowTwoDigitPair(event);
  return result;
}

}  // namespace

// The number: from 1 to the maximum its second choice names (500 when it
// names none); an empty field passes. 1 accepted, 0 refused (said).
INT ValidateNumberField(ControlEvent* event, const ControlRecord* record) {
  const std::u16string typed = control_text(event->window, record->id);
  if (typed.empty()) return 1;
  const Item number(event, kNumber);
  INT maximum = 500;
  {
    const std::u16string tail = after_last_return(number.text_at(1));
    const std::string ascii(tail.begin(), tail.end());
    INT parsed = 0;
    if (!tail.empty() && ParseDecimalText(ascii.c_str(), &parsed) && parsed > 0) maximum = parsed;
  }
  const std::string ascii(typed.begin(), typed.end());
  INT value = 0;
  const bool digits = std::all_of(typed.begin(), typed.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
  if (digits && ParseDecimalText(ascii.c_str(), &value) && value >= 1 && value <= maximum) return 1;
  LPWSTR text = nullptr;
  if (FormatResourceStringV(&text, 0, kNumberRangeText, number.name().c_str(), 1, maximum)) {
    warn(event->window, text);
    GlobalFree(text);
  }
  LONG stored = 0;
  if (read_number(event, kNumber, &stored)) SetDlgItemInt(event->window, record->id, static_cast<UINT>(stored), FALSE);
  SetFocus(GetDlgItem(event->window, record->id));
  return 0;
}

namespace {

INT NumberFieldHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void*) {
  const bool checks = !option_on(event, kNoEmptyChecks);
  if (IsNotifyCode(message, lParam, PSN_RESET) && checks && field_empty(event->window, record->id))
    ResetJobTypeWithNotice(event);
  const bool leaving = message == WM_COMMAND && LOWORD(wParam) == record->id && HIWORD(wParam) == EN_KILLFOCUS;
  if ((leaving || message == UM_VALIDATE_CONTROLS) && !ValidateNumberField(event, record)) return 1;
  return chain_edit(event, message, wParam, lParam, record, checks ? &kNumberField : &kLenientNumberField);
}

// OK of the number dialog: job type 3 needs the user name.
INT NumberDialogOkHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                          const ControlRecord* record, const void* kind_data) {
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    LONG job = 0;
    HWND name = GetDlgItem(event->window, kNameField);
    if (read_number(event, kJobType, &job) && job == 3 && name && IsWindowEnabled(name) &&
        field_empty(event->window, kNameField)) {
      ShowResourceMessageBox(event->window, kCaptionText, nullptr, MB_OK | MB_ICONWARNING,
                             static_cast<INT>(kNameRequiredText), nullptr);
      SetFocus(name);
      return 1;
    }
  }
  return CommandButtonHandler(event, message, wParam, lParam, record, kind_data);
}

// ---- tables ---------------------------------------------------------------------------

constexpr INT kUpDownKind = 9;
constexpr WORD kKeepEnabled = kFlagKeepEnabled;

constexpr SettingRef kIdentifierRef[] = {Bound(kIdentifier)};
constexpr SettingRef kCodeRefs[] = {Bound(kPlainCode), Bound(kProtectedCode)};
constexpr SettingRef kHourRef[] = {Bound(kHour)};
constexpr SettingRef kMinuteRef[] = {Bound(kMinute)};
constexpr SettingRef kNumberRef[] = {Bound(kNumber)};
constexpr SettingRef kSecondCodeRefs[] = {Bound(436), Bound(1858)};
constexpr SettingRef kHandlingRef[] = {Bound(335)};
constexpr SettingRef kNameRef[] = {Bound(1831)};
constexpr CommandItem kDefaults{kCommandDefaults, nullptr};
constexpr CommandItem kOk{kCommandOk, nullptr};

#define MORVA_COMMON_FIELDS                                                                     \
  {1553, 1, kHandlingRef, kControlDropDown, nullptr, nullptr, 1547, 9210, nullptr},             \
      {kNameField, 1, kNameRef, kControlEdit, NameFieldHandler, nullptr, 1548, 9211, nullptr}
#define MORVA_IDENTIFIER \
  {1549, 1, kIdentifierRef, kControlEdit, IdentifierFieldHandler, nullptr, 1545, 9209, nullptr}
#define MORVA_DEFAULTS {1090, 0, nullptr, kControlCommand, nullptr, &kDefaults, kNone, kNone, nullptr}

constexpr ControlRecord kIdentifierRecords[] = {
    MORVA_IDENTIFIER,
    {1550, 2, kCodeRefs, kControlEdit, JobCodeFieldHandler, nullptr, kNone, kNone, nullptr},
    MORVA_COMMON_FIELDS,
    MORVA_DEFAULTS,
};
constexpr ControlRecord kNameRecords[] = {MORVA_IDENTIFIER, MORVA_COMMON_FIELDS, MORVA_DEFAULTS};
constexpr ControlRecord kPairRecords[] = {
    {kHourEdit, 1, kHourRef, kControlEdit, JobPairEditHandler, &kPairField, 3370, 9022, nullptr},
    {3372, 1, kHourRef, kUpDownKind, JobPairSpinHandler, nullptr, kNone, kNone, nullptr},
    {kMinuteEdit, 1, kMinuteRef, kControlEdit, JobPairEditHandler, &kPairField, 3373, 9023, nullptr},
    {3375, 1, kMinuteRef, kUpDownKind, JobPairSpinHandler, nullptr, kNone, kNone, nullptr},
    MORVA_COMMON_FIELDS,
};
constexpr ControlRecord kNumberRecords[] = {
    {1557, 1, kNumberRef, kControlEdit, NumberFieldHandler, nullptr, 1551, 9070, nullptr},
    {1558, 2, kSecondCodeRefs, kControlEdit, SecondCodeFieldHandler, nullptr, 1556, 9071, nullptr},
    MORVA_COMMON_FIELDS,
    {1092, 0, nullptr, kControlCommand, NumberDialogOkHandler, &kOk, kNone, kNone, &kKeepEnabled},
};
#undef MORVA_COMMON_FIELDS
#undef MORVA_IDENTIFIER
#undef MORVA_DEFAULTS

constexpr INT kHelp[] = {1545, 90010, 1549, 90010, 1546, 90020, 1550, 90020, 1547, 90030, 1553, 90030, 1548, 90060,
                         1552, 90060, 1554, 90070, 3370, 90130, 3371, 90130, 3372, 90130, 3373, 90140, 3374, 90140,
                         3375, 90140, 1551, 90120, 1557, 90120, 1559, 90120, 1556, 90110, 1558, 90110, 1560, 90110,
                         1092, 1520, 1091, 1530, 1090, 1540, 1341, 7777, 0, 0};

}  // namespace

const ControlSet kJobIdentifierControls{kIdentifierRecords, static_cast<INT>(std::size(kIdentifierRecords)), 90080,
                                        kHelp, nullptr, 0};
const ControlSet kJobNameControls{kNameRecords, static_cast<INT>(std::size(kNameRecords)), 90150, kHelp, nullptr, 0};
const ControlSet kJobPairControls{kPairRecords, static_cast<INT>(std::size(kPairRecords)), 90160, kHelp, nullptr, 0};
const ControlSet kJobNumberControls{kNumberRecords, static_cast<INT>(std::size(kNumberRecords)), 90170, kHelp,
                                    nullptr, 0};

DLGPROC JobTypeDialogProc(INT kind) {
  switch (kind) {
    case 22: return JobTypeDialogProc<22>;
    case 42: return JobTypeDialogProc<42>;
    case 43: return JobTypeDialogProc<43>;
    case 44: return JobTypeDialogProc<44>;
    default: return nullptr;
  }
}
