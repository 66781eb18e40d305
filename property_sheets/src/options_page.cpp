// The installable-options page of the device sheet: the options the
// printer has, and the button that reads them, with the trays and the
// printer's network address, from the device itself.
#include <cstring>
#include <string>

#include "device_pages.h"
#include "property_sheets/device_query.h"
#include "property_sheets/sheet_engine.h"
#include "property_sheets/sheet_records.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/item_access.h"
#include "win/codepage.h"
#include "win/msgbox.h"
#include "win/win.h"

namespace {

constexpr INT kCaption = 265;
constexpr INT kOptionsNotConfirmed = 4638;
constexpr INT kFaxLineChanged = 5023;
constexpr INT kNoFaxOption = 5215;
constexpr INT kAddressTooLong = 9214;
constexpr INT kDeviceInfoButton = 1749;
constexpr INT kAddressField = 1750;
constexpr WORD kDeviceNameId = 1;
constexpr WORD kFaxCardType = 4369;
constexpr WORD kSipFax = 4142;
constexpr WORD kHardDisk = 4099;
constexpr WORD kFaxLine = 4111;
// The library file beside the driver, unless global field 36 of the
// database names another.
constexpr WORD kLibraryNameField = 36;
constexpr const char16_t kDefaultLibrary[] = u"mvredore.dll";

std::string ansi(const std::u16string& text) {
  if (text.empty()) return {};
  const int n =
      WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

bool read_setting(ControlEvent* event, WORD ddmid, WORD* type, DWORD* size, ItemValue* value) {
  return GetItemValue(ddmid, event->devmode, event->printer_data, type, size, value) == 0;
}

std::u16string read_text(ControlEvent* event, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (!read_setting(event, ddmid, &type, &size, &v) || type != 6) return {};
  return ItemText(v, size);
}

bool write_text(ControlEvent* event, WORD ddmid, const std::u16string& text) {
  const char16_t* p = text.c_str();
  return SetItemValue(ddmid, event->devmode, event->printer_data, static_cast<DWORD>(2 * text.size() + 2), 6, &p);
}

void warn(ControlEvent* event, INT text_id) {
  ShowResourceMessageBox(event->window, kCaption, nullptr, MB_ICONWARNING | MB_OK, text_id, nullptr);
}

// A text answer is stored only whole: a setting that cannot hold all of
// it keeps its old text and the user is told.
bool store_text_record(ControlEvent* event, const SettingValueRecord& r) {
  const std::u16string old = read_text(event, r.ddmid);
  if (write_text(event, r.ddmid, r.text) && read_text(event, r.ddmid) == r.text) return true;
  write_text(event, r.ddmid, old);
  return false;
}

bool store_record(ControlEvent* event, const SettingValueRecord& r) {
  if (r.type == 6) return store_text_record(event, r);
  return SetItemValue(r.ddmid, event->devmode, event->printer_data, r.size, r.type, &r.value);
}

// An answered option goes through the change flow as a user's change
// would; a setting the sheet does not show is written as it is.
WORD change_option(ControlEvent* event, const SettingValueRecord& r) {
  SettingSlot slot{};
  slot.choice = -1;
  slot.ddmid = r.ddmid;
  if (!read_setting(event, r.ddmid, &slot.type, &slot.size, &slot.value)) return 0;
  WORD* changed = nullptr;
  const INT result = OnControlValueChanged(event, nullptr, &slot, r.type, &r.value, &changed);
  WORD first = 0;
  if (result == 1 && changed) first = changed[0];
  if (changed) GlobalFree(changed);
  if (result == -1) store_record(event, r);
  return first;
}

std::u16string library_path(SheetState* state) {
  WCHAR directory[MAX_PATH * 2] = {};
  if (!GetModuleDirectory(directory, sizeof directory)) return {};
  std::u16string path = directory;
  WCHAR* named = state->database ? DddGetFieldString(&state->database->main, kLibraryNameField, 0) : nullptr;
  path += named && named[0] ? named : kDefaultLibrary;
  if (named) GlobalFree(named);
  return path;
}

// The names of the query for this sheet; FALSE when one is missing.
bool query_names(ControlEvent* event, SheetState* state, DeviceQueryNames* names) {
  CachePortName(state);
  if (!state->port_name || !state->database) return false;
  DddStatus status = 0;
  WCHAR* model = DddGetModelName(state->database, &status);
  if (!model) return false;
  names->model = ansi(model);
  GlobalFree(model);
  names->port = ansi(state->port_name);
  names->device = ansi(read_text(event, kDeviceNameId));
  names->library = ansi(library_path(state));
  return !names->library.empty();
}

DWORD language_id() {
  WCHAR text[8] = {};
  if (LoadStringW(GetResourceModule(), 5146, text, 5) <= 0) return 0;
  DWORD n = 0;
  for (const WCHAR* p = text; *p >= u'0' && *p <= u'9'; ++p) n = n * 10 + static_cast<DWORD>(*p - u'0');
  return n;
}

// The user paper sizes the trays may be matched with.
std::vector<UserPaperSlot> user_paper_slots(ControlEvent* event) {
  static constexpr WORD kIds[] = {262, 263, 264, 265, 266, 287, 288, 289, 290, 291,
                                  292, 293, 294, 295, 296, 297, 298, 299, 300, 301};
  std::vector<UserPaperSlot> slots;
  for (WORD n = 0; n < 20; ++n) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue a{}, b{};
    UserPaperSlot s{kIds[n], 0, 0};
    if (read_setting(event, static_cast<WORD>(5889 + n), &type, &size, &a)) s.a = a.w;
    if (read_setting(event, static_cast<WORD>(5909 + n), &type, &size, &b)) s.b = b.w;
    slots.push_back(s);
  }
  return slots;
}

}  // namespace

INT ApplyDeviceConfiguration(ControlEvent* event, const ControlRecord*, BOOL* no_device) {
  if (no_device) *no_device = FALSE;
  SheetState* state = GetSheetState(event->window);
  if (!state || !event->printer_data) return 0;
  SetDlgItemTextW(event->window, kAddressField, u"");
  DeviceQueryInput in;
  in.window = event->window;
  in.database = state->database;
  in.printer_data = event->printer_data;
  in.mode = kQueryReadConfiguration;
  in.flags.community = TestCapabilityBit(&state->capabilities, 0xFFFF0031);
  in.flags.snmp_version = TestCapabilityBit(&state->capabilities, 0xFFFF0039);
  in.flags.second_names = TestCapabilityBit(&state->capabilities, 0xFFFF0036);
  in.language = language_id();
  in.slots = user_paper_slots(event);
  if (in.flags.community) in.community = ansi(read_text(event, kCommunityNameId));
  if (!query_names(event, state, &in.names)) return 0;
  DeviceQueryResult result;
  if (!QueryDeviceConfiguration(in, &result, no_device)) return 0;

  if (!store_record(event, result.address)) warn(event, kAddressTooLong);
  if (in.flags.community) store_record(event, result.community);
  if (in.flags.snmp_version) store_record(event, result.snmp_version);

  const auto& first = result.first_options;
  size_t from = 0;
  bool go_on = true;
  if (!first.empty() && !TestCapabilityBit(&state->capabilities, 0xFFFF0040) && first[0].ddmid != kFaxCardType) {
    // The device must confirm the first option (and the hard disk).
    const bool disk_follows = first.size() > 1 && first[1].ddmid == kHardDisk;
    if (first[0].value == 0 || (disk_follows && first[1].value == 0)) {
      warn(event, kOptionsNotConfirmed);
      go_on = false;
    }
    from = disk_follows ? 2 : 1;
  } else if (!first.empty()) {
    bool fax = false;
    for (const SettingValueRecord& r : first)
      if ((r.ddmid == kFaxCardType && (r.value & 0xFF)) || (r.ddmid == kSipFax && r.value)) fax = true;
    if (!fax) warn(event, kOptionsNotConfirmed);
  }
  if (go_on) {
    for (size_t i = from; i < first.size(); ++i) {
      if (!first[i].ddmid) continue;
      if (change_option(event, first[i]) == kFaxLine && first[i].value) warn(event, kFaxLineChanged);
    }
    for (const SettingValueRecord& r : result.other_options)
      if (r.ddmid) change_option(event, r);
    for (const SettingValueRecord& r : result.trays)
      if (r.ddmid) store_record(event, r);
  }
  SetDlgItemTextW(event->window, kAddressField, read_text(event, kNetworkAddressId).c_str());
  return 1;
}

INT DeviceInfoButtonHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                            const ControlRecord* record, const void* kind_data) {
  const INT result =
      event->default_handler ? event->default_handler(event, message, wParam, lParam, record, kind_data) : 0;
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return result;
  BOOL no_device = FALSE;
  if (!ApplyDeviceConfiguration(event, record, &no_device) && no_device) {
    // Only a definite "no such device" answer discards the address and
    // community name; any other failure leaves what the user entered.
    write_text(event, kNetworkAddressId, u"");
    write_text(event, kCommunityNameId, u"");
  }
  SetRefreshRequest(event, 1, nullptr, record);
  RefreshPageControls(event, nullptr);
  SetRefreshRequest(event, 0, nullptr, nullptr);
  return result;
}

INT NetworkAddressFieldHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                               const ControlRecord* record, const void* kind_data) {
  if (message == UM_REFRESH_CONTROLS && event->changed) {
    // A hand-edited option or tray discards the address and community name
    // of the last reading from the device.
    bool hand_edit = false;
    for (const WORD* p = event->changed; *p; ++p) hand_edit = hand_edit || IsTrayOrOptionSetting(*p);
    if (hand_edit) {
      write_text(event, kNetworkAddressId, u"");
      write_text(event, kCommunityNameId, u"");
    }
  }
  const INT result =
      event->default_handler ? event->default_handler(event, message, wParam, lParam, record, kind_data) : 0;
  if (message == WM_INITDIALOG || message == UM_REFRESH_CONTROLS ||
      (message == WM_NOTIFY && lParam && reinterpret_cast<const NMHDR*>(lParam)->code == PSN_SETACTIVE))
    SetDlgItemTextW(event->window, record->id, read_text(event, kNetworkAddressId).c_str());
  return result;
}

INT OptionsPageCheckHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                            const ControlRecord* record, const void* kind_data) {
  if (message == WM_NOTIFY && lParam && reinterpret_cast<const NMHDR*>(lParam)->code == PSN_KILLACTIVE) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue card{}, sip{};
    if (read_setting(event, kFaxCardType, &type, &size, &card) && read_setting(event, kSipFax, &type, &size, &sip) &&
        card.b == 0 && sip.dw == 0) {
      const INT answer = ShowResourceMessageBox(event->window, kCaption, nullptr, MB_ICONINFORMATION | MB_OKCANCEL,
                                                kNoFaxOption, nullptr);
      return answer == IDCANCEL ? 1 : 0;
    }
    return 0;
  }
  return event->default_handler ? event->default_handler(event, message, wParam, lParam, record, kind_data) : 0;
}

BOOL IsTrayOrOptionSetting(WORD ddmid) {
  static constexpr WORD kRanges[][2] = {{4097, 4371}, {6145, 6159}, {6160, 6174}, {6175, 6189}, {6401, 6410},
                                        {6220, 6234}, {6235, 6249}, {6250, 6264}, {6295, 6324}, {6411, 6420}};
  for (const auto& r : kRanges)
    if (ddmid >= r[0] && ddmid <= r[1]) return TRUE;
  return FALSE;
}

BOOL OpenPrinterWebPage(HWND window) {
  SheetState* state = GetSheetState(window);
  SheetContext* context = GetSheetContext(window);
  if (!state || !context) return FALSE;
  ControlEvent event{};
  event.window = window;
  event.devmode = context->current.devmode;
  event.printer_data = context->current.printer_data;
  const std::u16string stored = read_text(&event, kNetworkAddressId);
  if (stored.empty()) return FALSE;
  DeviceQueryInput in;
  in.window = window;
  in.database = state->database;
  in.printer_data = event.printer_data;
  in.address = ansi(stored);
  in.flags.snmp_version = TestCapabilityBit(&state->capabilities, 0xFFFF0039);
  in.language = language_id();
  if (in.flags.snmp_version) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    if (read_setting(&event, kSnmpVersionId, &type, &size, &v)) in.stored_snmp_version = v.b;
  }
  if (!query_names(&event, state, &in.names)) return FALSE;
  std::string address;
  if (!QueryPrinterAddress(in, &address)) return FALSE;
  const std::wstring url = DeviceWebPageUrl(address);
  if (url.empty()) return FALSE;
  const std::u16string wide(url.begin(), url.end());
  return reinterpret_cast<INT_PTR>(ShellExecuteW(window, u"open", wide.c_str(), u"", u"", SW_SHOW)) > 32;
}

namespace {

constexpr SettingRef kDuplexUnit[] = {Bound(4103)};
constexpr SettingRef kDeviceInfo[] = {Bound(36895)};
constexpr SettingRef kNetworkAddress[] = {Bound(kNetworkAddressId)};

constexpr ControlRecord kOptionsRecords[] = {
    {kDialogRecordId, 0, nullptr, 0, OptionsPageCheckHandler, nullptr, kNone, kNone, nullptr},
    {4711, 1, kDuplexUnit, kControlCheckBox, nullptr, nullptr, kNone, kNone, nullptr},
    {kDeviceInfoButton, 1, kDeviceInfo, kControlCommand, DeviceInfoButtonHandler, nullptr, kNone, kNone, nullptr},
    {kAddressField, 1, kNetworkAddress, kControlEdit, NetworkAddressFieldHandler, nullptr, 1751, kNone, nullptr},
};
constexpr INT kOptionsHelp[] = {1050, 5000, 4711, 4110, 1749, 50020, 1751, 50070, 1750, 50070, 1090, 1540, 0, 0};
constexpr INT kOptionsReadOnly[] = {1050, kNone};

}  // namespace

const ControlSet kOptionsPageControls{kOptionsRecords, 4, 9999, kOptionsHelp, kOptionsReadOnly, 0};
