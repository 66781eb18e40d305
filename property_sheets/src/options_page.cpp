// The installable-options page of the device sheet: the options the
// printer has, and the button that reads them, with the trays and the
// printer's network address, from the device itself.
#include <cstring>
#include <iterator>
#include <string>

#include "property_sheets/device_pages.h"
#include "property_sheets/device_query.h"
#include "property_sheets/picture_handlers.h"
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
constexpr WORD kSelectedTrayId = 8208;
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

void ApplyOptionSideEffects(ControlEvent* event, WORD changed, WORD shown) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  auto value = [&](WORD ddmid) -> LONG {
    if (!read_setting(event, ddmid, &type, &size, &v)) return -1;
    return GetTypedValue(type, &v);
  };
  auto raw = [&](WORD ddmid, WORD t, DWORD n, DWORD number) {
    SetItemValueRaw(ddmid, event->devmode, event->printer_data, t, n, &number);
  };
  auto empty_text = [&](WORD ddmid) {
    const char16_t* p = u"";
    SetItemValueRaw(ddmid, event->devmode, event->printer_data, 6, 2, &p);
  };
  if (changed == kFaxLine || changed == 4161) {
    if ((shown == kFaxLine || shown == 4161) && value(kFaxLine) > 0) warn(event, kFaxLineChanged);
    return;
  }
  if (changed == kFaxCardType) {
    const LONG card = value(kFaxCardType);
    if (card >= 0) raw(4125, 1, 4, (card & 0xFF) != 0);
    if (shown == kFaxCardType && (card & 0xFF) == 0) {
      empty_text(5141);
      empty_text(5143);
    }
  }
  if (changed == kFaxCardType || changed == kSipFax) {
    if ((shown == kFaxCardType || shown == kSipFax) && (value(kFaxCardType) & 0xFF) == 0 && value(kSipFax) == 0) {
      raw(5210, 1, 4, 0);
      raw(5211, 8, 1, 0);
      raw(5212, 1, 4, 0);
    }
  }
}

namespace {

// The record of another control of the same page.
const ControlRecord* page_record(ControlEvent* event, INT id) { return FindControlById(event->window, event->kind, id); }

LONG shown_value(ControlEvent* event, INT id) {
  const ControlRecord* r = page_record(event, id);
  const SettingSlot* slot = r ? GetCurrentSlot(event->window, r) : nullptr;
  return slot ? GetTypedValue(slot->type, &slot->value) : -1;
}

WORD shown_setting(ControlEvent* event, INT id) {
  const ControlRecord* r = page_record(event, id);
  const SettingSlot* slot = r ? GetCurrentSlot(event->window, r) : nullptr;
  return slot ? slot->ddmid : 0;
}

void select_setting(ControlEvent* event, const ControlRecord* record, WORD ddmid) {
  INT index = 0;
  ControlState* state = FindControlState(event->window, record);
  if (state && ddmid && FindSettingRefIndex(record, ddmid, &index)) state->current = index;
}

bool shows(UINT message, LPARAM lParam) {
  return message == UM_REFRESH_CONTROLS ||
         (message == WM_NOTIFY && lParam && reinterpret_cast<const NMHDR*>(lParam)->code == PSN_SETACTIVE);
}

INT chain(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
          const void* kind_data) {
  return event->default_handler ? event->default_handler(event, message, wParam, lParam, record, kind_data) : 0;
}

}  // namespace

INT OptionValueHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data) {
  if (shows(message, lParam)) {
    // The value list edits the option chosen in the option list.
    HWND list = GetDlgItem(event->window, 1046);
    const LRESULT at = list ? SendMessageW(list, LB_GETCURSEL, 0, 0) : LB_ERR;
    if (at != LB_ERR) {
      const LRESULT data = SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(at), 0);
      INT index = 0;
      if (data > 0 && FindSettingRefIndex(record, static_cast<WORD>(data), &index))
        select_setting(event, record, static_cast<WORD>(data));
    }
  }
  const INT result = chain(event, message, wParam, lParam, record, kind_data);
  if (message == UM_REFRESH_CONTROLS && event->changed && event->changed[0])
    ApplyOptionSideEffects(event, event->changed[0], shown_setting(event, record->id));
  return result;
}

INT TrayColumnHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                      const void* kind_data) {
  if (shows(message, lParam)) {
    const SheetState* state = GetSheetState(event->window);
    WORD type = 0;
    DWORD size = 0;
    ItemValue key{};
    TrayColumns c{};
    if (state && read_setting(event, kSelectedTrayId, &type, &size, &key) &&
        TrayColumnIds(static_cast<WORD>(GetTypedValue(type, &key)), &c)) {
      WORD ddmid = 0;
      switch (record->id) {
        case 1743: ddmid = c.paper; break;
        case 1744: ddmid = c.feed; break;
        case 1741: ddmid = c.media; break;
        case 5055: ddmid = c.second; break;
      }
      select_setting(event, record, ddmid);
    }
  }
  return chain(event, message, wParam, lParam, record, kind_data);
}

INT CustomNameHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                      const void* kind_data) {
  const bool media = record->id == 1752;
  if (shows(message, lParam)) {
    const LONG shown = shown_value(event, media ? 1741 : 5055);
    const WORD ddmid = media ? MediaCustomNameId(static_cast<WORD>(shown)) : SecondCustomNameId(static_cast<WORD>(shown));
    select_setting(event, record, ddmid);
  }
  const INT result = chain(event, message, wParam, lParam, record, kind_data);
  if (media && shows(message, lParam)) {
    // The custom name is shown greyed beside its media type, and only
    // while the media type list is shown.
    const INT kind = GetSettingAvailability(event->window, shown_setting(event, 1741));
    HWND edit = GetDlgItem(event->window, record->id), label = GetDlgItem(event->window, 1748);
    const bool hidden = kind == 6 || kind < 0;
    ShowWindow(edit, hidden ? SW_HIDE : SW_SHOW);
    ShowWindow(label, hidden ? SW_HIDE : SW_SHOW);
    EnableWindow(edit, FALSE);
    EnableWindow(label, FALSE);
    const LONG shown = shown_value(event, 1741);
    const WORD name = MediaCustomNameId(static_cast<WORD>(shown));
    SetWindowTextW(edit, name == kNoSettingId ? u"" : read_text(event, name).c_str());
  }
  return result;
}

INT HiddenCheckHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data) {
  const INT result = chain(event, message, wParam, lParam, record, kind_data);
  if (shows(message, lParam)) {
    ShowWindow(GetDlgItem(event->window, record->id), SW_HIDE);
    EnableWindow(GetDlgItem(event->window, record->id), FALSE);
  }
  return result;
}

namespace {

#define OPTION_IDS                                                                                              \
  Bound(4369), Bound(4142), Bound(4112), Bound(4111), Bound(4161), Bound(4113), Bound(4356), Bound(4358),     \
      Bound(4366), Bound(4367), Bound(4355), Bound(4097), Bound(4362), Bound(4098), Bound(4359), Bound(4099), \
      Bound(4101), Bound(4102), Bound(4103), Bound(4105), Bound(4106), Bound(4107), Bound(4108), Bound(4109), \
      Bound(4110), Bound(4125), Bound(4114), Bound(4115), Bound(4116), Bound(4117), Bound(4118), Bound(4119), \
      Bound(4120), Bound(4363), Bound(4121), Bound(4122), Bound(4364), Bound(4100), Bound(4130), Bound(4131), \
      Bound(4132), Bound(4133), Bound(4134), Bound(4135), Bound(4136), Bound(4137), Bound(4138), Bound(4139), \
      Bound(4368), Bound(4124), Bound(4126), Bound(4127), Bound(4128), Bound(4360), Bound(4361), Bound(4353), \
      Bound(4354), Bound(4357), Bound(4365), Bound(4140)
constexpr SettingRef kOptions[] = {OPTION_IDS};
#undef OPTION_IDS

// Per-tray settings of 15 trays (and the second range of 15 beside them).
template <WORD First, WORD Second, size_t N = 30>
constexpr auto tray_refs() {
  struct Refs {
    SettingRef r[N];
  } refs{};
  for (size_t i = 0; i < N; ++i)
    refs.r[i] = Bound(static_cast<WORD>(i < 15 ? First + i : Second + i - 15));
  return refs;
}
constexpr auto kTrayPaper = tray_refs<6145, 6220>();
constexpr auto kTrayFeed = tray_refs<6160, 6235>();
constexpr auto kTrayMedia = tray_refs<6175, 6250>();
constexpr auto kTraySecond = tray_refs<6295, 6310>();
constexpr SettingRef kMediaNames[] = {Bound(kNoSettingId), Bound(6401), Bound(6402), Bound(6403), Bound(6404),
                                      Bound(6405)};
constexpr SettingRef kSecondNames[] = {Bound(kNoSettingId), Bound(6411), Bound(6412), Bound(6413), Bound(6414),
                                       Bound(6415)};
constexpr SettingRef kSelectedTray[] = {Bound(kSelectedTrayId)};
constexpr SettingRef kDuplexUnit[] = {Bound(4103)};
constexpr SettingRef kDeviceInfo[] = {Bound(36895)};
constexpr SettingRef kNetworkAddress[] = {Bound(kNetworkAddressId)};
constexpr SettingRef kHiddenCheck[] = {Bound(5199)};
constexpr SettingRef kFaxData[] = {Bound(8210)};
constexpr SettingRef k4129[] = {Bound(4129)};
constexpr SettingRef kFaxOptions[] = {Bound(4609), Bound(4610), Bound(4611), Bound(4612), Bound(4614),
                                      Bound(4615), Bound(4616), Bound(4617), Bound(4618), Bound(4619),
                                      Bound(4613), Bound(4621), Bound(4622)};
constexpr INT kOptionCount = static_cast<INT>(std::size(kOptions));

constexpr ControlRecord kOptionsRecords[] = {
    {kDialogRecordId, 0, nullptr, 0, OptionsPageCheckHandler, nullptr, kNone, kNone, nullptr},
    {1046, kOptionCount, kOptions, kControlListBox, nullptr, nullptr, kNone, kNone, nullptr},
    {3742, kOptionCount, kOptions, kControlDropDown, OptionValueHandler, nullptr, 3741, 9088, nullptr},
    {4711, 1, kDuplexUnit, kControlCheckBox, nullptr, nullptr, kNone, kNone, nullptr},
    {1739, 1, kSelectedTray, kControlListBox, nullptr, nullptr, 1740, 9089, nullptr},
    {1743, 30, kTrayPaper.r, kControlDropDown, TrayColumnHandler, nullptr, 1745, 9090, nullptr},
    {1744, 30, kTrayFeed.r, kControlDropDown, TrayColumnHandler, nullptr, 1746, 9091, nullptr},
    {1741, 30, kTrayMedia.r, kControlDropDown, TrayColumnHandler, nullptr, 1747, 9092, nullptr},
    {1752, 6, kMediaNames, kControlEdit, CustomNameHandler, nullptr, kNone, kNone, nullptr},
    {5055, 30, kTraySecond.r, kControlDropDown, TrayColumnHandler, nullptr, kNone, kNone, nullptr},
    {5056, 6, kSecondNames, kControlEdit, CustomNameHandler, nullptr, kNone, kNone, nullptr},
    {kDeviceInfoButton, 1, kDeviceInfo, kControlCommand, DeviceInfoButtonHandler, nullptr, kNone, kNone, nullptr},
    {kAddressField, 1, kNetworkAddress, kControlEdit, NetworkAddressFieldHandler, nullptr, 1751, kNone, nullptr},
    {1753, 1, kHiddenCheck, kControlCheckBox, HiddenCheckHandler, nullptr, 1753, 9312, nullptr},
    {1310, 0, nullptr, 0, PicturePageHandler, nullptr, kNone, kNone, nullptr},
    {kDialogRecordId, 1, kFaxData, 0, nullptr, nullptr, kNone, kNone, nullptr},
    {1013, 1, k4129, 0, nullptr, nullptr, kNone, kNone, nullptr},
    {1189, static_cast<INT>(std::size(kFaxOptions)), kFaxOptions, 0, nullptr, nullptr, kNone, kNone, nullptr},
};
constexpr INT kOptionsHelp[] = {1050, 5000,  1046, 5000,  3740, 50080, 3741, 50080, 3742, 50080, 1310, 5010,
                                1330, 5010,  1740, 50010, 1739, 50010, 1749, 50020, 1745, 50030, 1743, 50030,
                                1746, 50040, 1744, 50040, 1747, 50050, 1741, 50050, 1748, 50060, 1752, 50060,
                                1751, 50070, 1750, 50070, 1753, 50090, 1090, 1540,  4711, 4110,  0,    0};
constexpr INT kOptionsReadOnly[] = {1050, 3740, 1748, kNone};

}  // namespace

const ControlSet kOptionsPageControls{kOptionsRecords, static_cast<INT>(std::size(kOptionsRecords)), 9999,
                                      kOptionsHelp, kOptionsReadOnly, 0};
