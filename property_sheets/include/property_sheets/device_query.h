// Device-configuration query of the device sheet: the printer's installed
// options, input trays and loaded media are read through the outside
// device-configuration library (pi/device_config.h) and turned into
// setting values by the option keys and tray rules of the device database.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "win/types.h"

struct DddHandle;

// One answer of the query: a setting and the value to give it. Numbers of
// at most four bytes sit in `value`; a text (type 6) in `text`, with `size`
// = 2 x length + 2.
struct SettingValueRecord {
  WORD ddmid = 0;
  WORD type = 0;
  DWORD size = 0;
  DWORD value = 0;
  std::u16string text;
};

inline constexpr WORD kNetworkAddressId = 8213;
inline constexpr WORD kCommunityNameId = 8212;
inline constexpr WORD kSnmpVersionId = 8214;
inline constexpr WORD kNoSettingId = 36923;

// Query modes handed to the library.
inline constexpr DWORD kQueryReadConfiguration = 1;
inline constexpr DWORD kQueryLocateByAddress = 2;
inline constexpr DWORD kQueryStoredValues = 3;

// The library's value kinds (a key's source kind for a direct answer).
inline constexpr WORD kDeviceValueBoolean = 1;
inline constexpr WORD kDeviceValueInteger = 4;
inline constexpr WORD kDeviceValueUInteger = 5;
inline constexpr WORD kDeviceValueString = 6;
inline constexpr WORD kSourceMapped = 0x81;

// Flag word of an option key.
inline constexpr DWORD kKeyPassIndex = 0x0001;
inline constexpr DWORD kKeyNoValue = 0x0008;
inline constexpr DWORD kKeyVersionThreshold = 0x0040;
inline constexpr DWORD kKeyExactWord = 0x0080;
inline constexpr DWORD kKeyAtLeast = 0x0100;
inline constexpr DWORD kKeyExactByte = 0x0200;
inline constexpr DWORD kKeyFlagSet = 0x0400;
inline constexpr DWORD kKeyMasked = 0x0800;
inline constexpr DWORD kKeyBitTest = 0x1000;

// One row of an option key's value map: a device answer and the setting
// value it stands for, each with its value type.
struct OptionMapRow {
  DWORD device_value = 0;
  WORD device_type = 0;
  DWORD setting_value = 0;
  WORD setting_type = 0;
};

// An installable-option key of the device database: which device values
// to ask and how the answers become the value of setting `ddmid`.
struct OptionKey {
  WORD key_kind = 0;  // 3: first result list, any other: second
  WORD ddmid = 0;
  WORD type = 0;
  WORD size = 0;
  WORD source = 0;  // kSourceMapped or the value kind of a direct answer
  WORD index = 0;   // answer index, passed with kKeyPassIndex
  DWORD flags = 0;
  std::vector<std::u16string> names;  // device values to ask, in order
  std::vector<OptionMapRow> map;
  bool map_valid = false;  // false: the map entries were odd or unreadable
};

// Reads one device value: a number into `number` (kinds 1, 4, 5) or a text
// into `text` (kind 6). TRUE when the library answered.
using DeviceValueReader =
    std::function<BOOL(WORD kind, const std::u16string& name, DWORD index, DWORD* number, std::u16string* text)>;

// The setting record of one key in mode 1 (answers from `read`) or mode 3
// (the setting's current value in `printer_data`). FALSE: no record.
BOOL EvaluateOptionKey(const OptionKey& key, DWORD mode, const DeviceValueReader& read, void* printer_data,
                       SettingValueRecord* out);
// Loads the `position`-th (1-based) option key of the database. FALSE when
// it cannot be loaded.
BOOL LoadOptionKey(DddHandle* database, WORD position, OptionKey* out);

// ---------------------------------------------------------------- trays

// One input tray as the library reports it.
struct DeviceTrayEntry {
  DWORD number = 0;  // index + 1
  DWORD shape = 0;   // 3 first size larger, 2 smaller, 1 equal
  LONG first = 0;    // sizes in hundredths of the database paper unit
  LONG second = 0;
  std::u16string name;   // media type name
  std::u16string name2;  // second media attribute (with second names only)
};

struct PaperSizeEntry {
  WORD id = 0;
  WORD short_side = 0;
  WORD long_side = 0;
};

// A media name of the database: types 13-17 (or second attributes 11-15)
// are custom entries whose tray names carry a name of their own in
// brackets.
struct MediaNameEntry {
  WORD id = 0;
  std::u16string name;
  bool custom = false;
};

// A condition on the options the device reported.
struct OptionCondition {
  BYTE op = 0;
  WORD ddmid = 0;
  WORD type = 0;
  std::vector<BYTE> value;  // empty: no value, the condition is false
  BYTE connector = 0;       // 2 OR, 3 and 4 end of a group, other AND
};

// A driver tray: its key, the paper sizes it takes (whole units), the
// papers allowed in it and the device tray it stands for (0: none).
struct TrayRule {
  WORD tray_key = 0;  // the paper source value that names its settings
  WORD min_short = 0, min_long = 0, max_short = 0, max_long = 0;
  std::vector<WORD> papers;
  WORD device_tray = 0;
};

// A rule that ties driver trays to device tray numbers while its
// conditions hold.
struct TrayMapRule {
  std::vector<OptionCondition> conditions;
  std::vector<std::pair<WORD, WORD>> map;  // {driver tray key, device tray number}
};

struct UserPaperSlot {
  WORD id = 0;
  WORD a = 0;  // short side, whole units
  WORD b = 0;  // long side
};

// Settings of one driver tray.
struct TrayColumns {
  WORD paper, feed, media, second, short_side, long_side;
};
// The settings of the driver tray with this key (a paper source value);
// FALSE for a key without settings of its own.
BOOL TrayColumnIds(WORD tray_key, TrayColumns* out);
// Custom-name settings: media types 13-17 and second attributes 11-15;
// kNoSettingId for any other value.
WORD MediaCustomNameId(WORD media_type);
WORD SecondCustomNameId(WORD attribute);

// Positive when true, 0 false, negative on error (an option the device did
// not report, mismatched types, an unknown operator).
INT EvaluateConditionList(const std::vector<OptionCondition>& conditions,
                          const std::vector<SettingValueRecord>& options);
WORD ResolveDeviceTrayNumber(const std::vector<TrayMapRule>& rules, WORD tray_key,
                             const std::vector<SettingValueRecord>& options);

struct TrayPaperMatch {
  WORD paper = 0;
  WORD short_side = 0;  // whole units
  WORD long_side = 0;
};
TrayPaperMatch MatchTrayPaper(const DeviceTrayEntry& tray, const std::vector<PaperSizeEntry>& papers,
                              const std::vector<UserPaperSlot>& slots, const TrayRule& rule);
// Media type of a tray name (28 when none fits; for the second attribute
// 17) and the custom name found in brackets.
WORD MatchMediaName(const std::u16string& tray_name, const std::vector<MediaNameEntry>& table, bool second,
                    std::u16string* custom_name);

// Everything the tray mapping needs from the database.
struct TrayTables {
  std::vector<PaperSizeEntry> papers;
  std::vector<MediaNameEntry> media;
  std::vector<MediaNameEntry> second;  // with second names only
  std::vector<TrayRule> rules;         // device trays resolved
  LONG orientation_sign = 0;           // negative: the larger first size feeds long edge
};
// Up to eight records per device tray, appended to `out`.
void MapDeviceTrays(const std::vector<DeviceTrayEntry>& trays, const TrayTables& tables,
                    const std::vector<UserPaperSlot>& slots, bool second_names, std::vector<SettingValueRecord>* out);
// Reads papers, media names, tray rules and tray-map rules from the
// database and resolves the device trays with the reported options.
BOOL LoadTrayTables(DddHandle* database, bool second_names, const std::vector<SettingValueRecord>& options,
                    TrayTables* out);

// ---------------------------------------------------------------- query

// The texts handed to the library (ANSI).
struct DeviceQueryNames {
  std::string port;
  std::string model;
  std::string device;
  std::string library;
  std::string open1;
  std::string open2;
  std::string selection;
};

// Device capabilities that change the query.
struct DeviceQueryFlags {
  bool community = false;     // the device needs a community name
  bool snmp_version = false;  // the SNMP version is stored and sent
  bool second_names = false;  // trays report a second media attribute
};

struct DeviceQueryInput {
  HWND window = nullptr;
  DddHandle* database = nullptr;
  DeviceQueryNames names;
  DeviceQueryFlags flags;
  void* printer_data = nullptr;
  DWORD mode = kQueryReadConfiguration;
  std::string address;      // mode 2 and 3: the stored address
  std::string community;    // with flags.community
  BYTE stored_snmp_version = 0;
  DWORD language = 0;
  std::vector<UserPaperSlot> slots;
};

struct DeviceQueryResult {
  SettingValueRecord address, community, snmp_version;  // ddmid 0 when not asked
  std::vector<SettingValueRecord> first_options;        // keys of kind 3
  std::vector<SettingValueRecord> trays;
  std::vector<SettingValueRecord> other_options;
};

// Connects to the library and selects the device; the handle, or null
// (the connection closed again) on any failure. `no_device` is set when
// the library was reached and answered that it found no such device.
HANDLE ConfigureDeviceQuery(const DeviceQueryInput& in, BOOL* no_device = nullptr);
// One value of the library: kinds 1, 4, 5 as numbers, 6 as a text shorter
// than 256 characters. FALSE otherwise.
BOOL ReadDeviceValue(HANDLE device, WORD kind, const std::u16string& name, DWORD index, DWORD* number,
                     std::u16string* text);
BOOL ReadDeviceTrays(HANDLE device, bool second_names, std::vector<DeviceTrayEntry>* out);
// The whole query. FALSE leaves `out` empty.
BOOL QueryDeviceConfiguration(const DeviceQueryInput& in, DeviceQueryResult* out, BOOL* no_device = nullptr);
// Mode 2: the device's network address for its web page.
BOOL QueryPrinterAddress(DeviceQueryInput in, std::string* address);
// "http://<address>/" when `address` is a host name or an IP literal;
// empty otherwise.
std::wstring DeviceWebPageUrl(const std::string& address);
