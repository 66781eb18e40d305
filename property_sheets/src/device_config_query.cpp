// The device-configuration query: connection set-up with the outside
// library, the option keys of the device database and the query that
// gathers network address, options and trays into one result.
#include <cctype>
#include <cstring>

#include "pi/device_config.h"
#include "property_sheets/device_query.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/database/ddd_records.h"
#include "settings/items/item_access.h"
#include "win/codepage.h"

namespace {

bool library_ok(DWORD result) { return result == 0 || result == 8; }

std::string to_ansi(const std::u16string& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                    nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::u16string from_ansi(const char* text, size_t bytes) {
  if (bytes == 0) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(bytes), nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(bytes), out.data(), n);
  return out;
}

SettingValueRecord text_record(WORD ddmid, std::u16string text) {
  SettingValueRecord r;
  r.ddmid = ddmid;
  r.type = 6;
  r.size = static_cast<DWORD>(2 * text.size() + 2);
  r.text = std::move(text);
  return r;
}

SettingValueRecord number_record(WORD ddmid, WORD type, DWORD size, DWORD value) {
  SettingValueRecord r;
  r.ddmid = ddmid;
  r.type = type;
  r.size = size;
  r.value = value;
  return r;
}

// Typed comparison of a device answer with a map row's device value.
bool same_by_type(WORD type, DWORD a, DWORD b) {
  if (type == 8) return static_cast<BYTE>(a) == static_cast<BYTE>(b);
  if (type == 2 || type == 3) return static_cast<WORD>(a) == static_cast<WORD>(b);
  return a == b;
}

// The mapped value of a key whose answers come through the value map.
BOOL evaluate_mapped(const OptionKey& key, const DeviceValueReader& read, SettingValueRecord* out) {
  if (!key.map_valid || key.map.empty()) return FALSE;
  const DWORD index = (key.flags & kKeyPassIndex) ? key.index : 0;
  auto ask = [&](WORD kind, size_t n, DWORD* v) { return read(kind, key.names[n], index, v, nullptr); };
  auto record = [&](DWORD value) {
    *out = number_record(key.ddmid, key.type, key.size, value);
    return TRUE;
  };
  const DWORD flags = key.flags;
  if (flags & kKeyVersionThreshold) {
    if (key.names.size() != 3) return FALSE;
    DWORD part[3];
    for (size_t n = 0; n < 3; ++n)
      if (!ask(kDeviceValueInteger, n, &part[n])) return FALSE;
    const DWORD packed = ((part[0] * 256 + part[1]) * 256 + part[2]);
    for (const OptionMapRow& row : key.map)
      if (static_cast<LONG>(row.device_value) > static_cast<LONG>(packed)) return record(row.setting_value);
    return record(key.map.back().setting_value);
  }
  if (flags & (kKeyExactWord | kKeyAtLeast)) {
    if (key.names.size() != 1) return FALSE;
    DWORD answer = 0;
    if (!ask(kDeviceValueInteger, 0, &answer)) return FALSE;
    for (const OptionMapRow& row : key.map) {
      const bool hit = (flags & kKeyExactWord) ? row.device_value == answer
                                               : static_cast<LONG>(row.device_value) >= static_cast<LONG>(answer);
      if (hit) return record(static_cast<WORD>(row.setting_value));
    }
    if (flags & kKeyExactWord) return FALSE;
    return record(static_cast<WORD>(key.map.back().setting_value));
  }
  if (flags & kKeyFlagSet) {
    if (key.names.empty() || key.names.size() > 32) return FALSE;
    DWORD mask = 0;
    for (size_t n = 0; n < key.names.size(); ++n) {
      DWORD on = 0;
      if (!ask(kDeviceValueBoolean, n, &on)) return FALSE;
      if (on) mask |= 1u << n;
    }
    for (const OptionMapRow& row : key.map)
      if (row.device_value == mask) return record(static_cast<BYTE>(row.setting_value));
    return record(0);
  }
  if (flags & kKeyExactByte) {
    if (key.names.size() != 1) return FALSE;
    DWORD answer = 0;
    if (!ask(kDeviceValueInteger, 0, &answer)) return FALSE;
    for (const OptionMapRow& row : key.map)
      if (row.device_value == answer) return record(static_cast<BYTE>(row.setting_value));
    return FALSE;
  }
  if (flags & kKeyMasked) {
    if (key.names.size() != 1) return FALSE;
    const OptionMapRow& first = key.map.front();
    WORD kind = 0;
    switch (first.device_type) {
      case 1: kind = kDeviceValueBoolean; break;
      case 5: kind = kDeviceValueUInteger; break;
      case 4: kind = kDeviceValueInteger; break;
      default: return FALSE;
    }
    DWORD answer = 0;
    if (!ask(kind, 0, &answer)) return FALSE;
    if (flags & kKeyBitTest) return record((answer & first.device_value) == 0 ? 1 : 0);
    for (const OptionMapRow& row : key.map)
      if (same_by_type(row.device_type, answer, row.device_value)) return record(row.setting_value);
    return FALSE;
  }
  return FALSE;
}

}  // namespace

BOOL EvaluateOptionKey(const OptionKey& key, DWORD mode, const DeviceValueReader& read, void* printer_data,
                       SettingValueRecord* out) {
  if (!out) return FALSE;
  if (mode == kQueryStoredValues) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    if (GetItemValue(key.ddmid, nullptr, printer_data, &type, &size, &v) != 0) return FALSE;
    if (key.type == 6) {
      *out = text_record(key.ddmid, ItemText(v, size));
    } else {
      *out = number_record(key.ddmid, key.type, key.size, v.dw);
    }
    return TRUE;
  }
  if (mode != kQueryReadConfiguration || !read) return FALSE;
  if (key.source == kSourceMapped) return evaluate_mapped(key, read, out);
  if (key.names.size() != 1) return FALSE;
  DWORD number = 0;
  std::u16string text;
  const DWORD index = (key.flags & kKeyPassIndex) ? key.index : 0;
  if (!read(key.source, key.names[0], index, &number, &text)) return FALSE;
  if (key.source == kDeviceValueString) {
    SettingValueRecord r = text_record(key.ddmid, (key.flags & kKeyNoValue) ? std::u16string() : text);
    r.type = key.type;
    r.size = static_cast<DWORD>(2 * text.size() + 2);
    *out = std::move(r);
  } else {
    *out = number_record(key.ddmid, key.type, key.size, (key.flags & kKeyNoValue) ? 0 : number);
  }
  return TRUE;
}

BOOL LoadOptionKey(DddHandle* database, WORD position, OptionKey* out) {
  if (!database || !out) return FALSE;
  DddValue* value = nullptr;
  if (DddLoadValue(DDD_LOAD_FULL, &database->main, &database->linked, DDD_KIND_DEVICE_CONFIG, position, &value) !=
          DDD_OK ||
      !value)
    return FALSE;
  const auto* k = static_cast<const DddDeviceConfigKey*>(value);
  OptionKey key;
  // word1 key kind, word2 setting, byte source kind, word3 answer index,
  // word4 the flag word.
  key.key_kind = k->word1;
  key.ddmid = k->word2;
  key.type = k->value_type;
  key.size = k->value_size;
  key.source = k->byte;
  key.index = k->word3;
  key.flags = k->word4;
  for (WORD n = 0; n < k->strings.count; ++n) {
    const DddStringElement& s = k->strings.items[n];
    key.names.emplace_back(s.text ? std::u16string(s.text) : std::u16string());
  }
  // The value map: pairs of {device value, setting value}.
  key.map_valid = k->values.count % 2 == 0;
  for (WORD n = 0; key.map_valid && n + 1 < k->values.count; n += 2) {
    const DddInlineValue& d = k->values.items[n];
    const DddInlineValue& s = k->values.items[n + 1];
    if (d.type == 6 || s.type == 6) {
      key.map_valid = false;
      break;
    }
    OptionMapRow row;
    row.device_type = d.type;
    row.setting_type = s.type;
    row.device_value = static_cast<DWORD>(GetTypedValue(d.type, d.inline_value));
    row.setting_value = static_cast<DWORD>(GetTypedValue(s.type, s.inline_value));
    key.map.push_back(row);
  }
  DddFreeValue(&value, DDD_KIND_DEVICE_CONFIG);
  *out = std::move(key);
  return TRUE;
}

// ---------------------------------------------------------------- library

HANDLE ConfigureDeviceQuery(const DeviceQueryInput& in, BOOL* no_device) {
  if (no_device) *no_device = FALSE;
  const DeviceQueryNames& names = in.names;
  if (!DevConfig_SetLibraryName(names.library.c_str())) return nullptr;
  HANDLE device = DevConfig_OpenDevice(names.open1.c_str(), names.open2.c_str(), 0);
  if (!device) return nullptr;
  auto fail = [&]() -> HANDLE {
    DevConfig_CloseDevice(device);
    return nullptr;
  };
  const DWORD language = in.language;
  if (!library_ok(DevConfig_SetAttribute(device, "_REDORE_LangId", &language))) return fail();
  const DWORD mode = in.mode;
  // Only a plain 0 counts for the mode.
  if (DevConfig_SetAttribute(device, "_REDORE_Mode", &mode) != 0) return fail();
  if ((mode == kQueryLocateByAddress || mode == kQueryStoredValues) && !in.address.empty()) {
    DevConfig_SetAttribute(device, "_REDORE_EWSTryAddress", in.address.c_str());
    if (in.flags.snmp_version) {
      const DWORD version = in.stored_snmp_version;
      DevConfig_SetAttribute(device, "_REDORE_SNMPVersion", &version);
    }
    if (mode == kQueryStoredValues) {
      const DWORD timeout = 1, retries = 0;
      DevConfig_SetAttribute(device, "_REDORE_RetrTimeout", &timeout);
      DevConfig_SetAttribute(device, "_REDORE_RetrRetries", &retries);
    }
  }
  if (in.flags.community) DevConfig_SetAttribute(device, "_REDORE_CommunityName", in.community.c_str());
  if (!library_ok(DevConfig_SelectDevice(device, in.window, names.port.c_str(), names.model.c_str(),
                                         names.selection.c_str()))) {
    if (no_device) *no_device = TRUE;
    return fail();
  }
  return device;
}

BOOL ReadDeviceValue(HANDLE device, WORD kind, const std::u16string& name, DWORD index, DWORD* number,
                     std::u16string* text) {
  const std::string ansi = to_ansi(name);
  switch (kind) {
    case kDeviceValueBoolean:
    case kDeviceValueUInteger: {
      DWORD v = 0;
      const DWORD r = kind == kDeviceValueBoolean ? DevConfig_GetValueBoolean(device, ansi.c_str(), index, &v)
                                                  : DevConfig_GetValueUInteger(device, ansi.c_str(), index, &v);
      if (!library_ok(r) || !number) return FALSE;
      *number = v;
      return TRUE;
    }
    case kDeviceValueInteger: {
      INT v = 0;
      if (!library_ok(DevConfig_GetValueInteger(device, ansi.c_str(), index, &v)) || !number) return FALSE;
      *number = static_cast<DWORD>(v);
      return TRUE;
    }
    case kDeviceValueString: {
      char buffer[kDeviceValueStringSize] = {};
      if (!library_ok(DevConfig_GetValueString(device, ansi.c_str(), index, buffer)) || !text) return FALSE;
      // The binding ends the buffer; the text is taken only within it.
      std::u16string wide = from_ansi(buffer, strnlen(buffer, sizeof buffer));
      if (wide.size() >= 256) return FALSE;
      *text = std::move(wide);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

BOOL ReadDeviceTrays(HANDLE device, bool second_names, std::vector<DeviceTrayEntry>* out) {
  DWORD count = 0;
  if (!out || !library_ok(DevConfig_GetNumberOfInputTrayInfo(device, &count))) return FALSE;
  out->clear();
  for (DWORD i = 0; i < count; ++i) {
    BYTE record[kDeviceTrayInfoSize] = {};
    if (!library_ok(DevConfig_GetInputTrayInfo(device, i, record))) return FALSE;
    DeviceTrayEntry e;
    e.number = i + 1;
    std::memcpy(&e.first, record + 8, 4);
    std::memcpy(&e.second, record + 12, 4);
    e.shape = e.first > e.second ? 3 : e.first < e.second ? 2 : 1;
    // Each name ends within its 64 bytes; one that does not is cut there.
    auto name_at = [&](size_t offset) {
      const char* s = reinterpret_cast<const char*>(record + offset);
      std::u16string w = from_ansi(s, strnlen(s, 64));
      if (w.size() > 255) w.resize(255);
      return w;
    };
    e.name = name_at(424);
    if (second_names) e.name2 = name_at(488);
    out->push_back(std::move(e));
  }
  return TRUE;
}

BOOL QueryDeviceConfiguration(const DeviceQueryInput& in, DeviceQueryResult* out, BOOL* no_device) {
  if (no_device) *no_device = FALSE;
  if (!out) return FALSE;
  *out = {};
  HANDLE device = ConfigureDeviceQuery(in, no_device);
  if (!device) return FALSE;
  DeviceQueryResult result;
  auto read_text = [&](const char16_t* name, WORD ddmid, SettingValueRecord* r) {
    std::u16string text;
    if (!ReadDeviceValue(device, kDeviceValueString, name, 0, nullptr, &text)) return false;
    *r = text_record(ddmid, std::move(text));
    return true;
  };
  bool ok = true;
  if (in.mode == kQueryReadConfiguration) {
    ok = read_text(u"_REDORE_NetworkAddress", kNetworkAddressId, &result.address);
    if (ok && in.flags.community) ok = read_text(u"_REDORE_CommunityName", kCommunityNameId, &result.community);
    if (ok && in.flags.snmp_version) {
      DWORD version = 0;
      ok = ReadDeviceValue(device, kDeviceValueInteger, u"_REDORE_SNMPVersion", 0, &version, nullptr);
      if (ok) result.snmp_version = number_record(kSnmpVersionId, 8, 1, version & 0xFF);
    }
  }
  if (ok && in.mode != kQueryLocateByAddress) {
    DeviceValueReader reader = [&](WORD kind, const std::u16string& name, DWORD index, DWORD* number,
                                   std::u16string* text) {
      return ReadDeviceValue(device, kind, name, index, number, text);
    };
    const WORD keys = in.database ? DddGetRecordCount(&in.database->main, DDD_KIND_DEVICE_CONFIG) : 0;
    for (WORD n = 1; n <= keys; ++n) {
      OptionKey key;
      if (!LoadOptionKey(in.database, n, &key)) continue;
      SettingValueRecord r;
      if (!EvaluateOptionKey(key, in.mode, reader, in.printer_data, &r)) continue;
      (key.key_kind == 3 ? result.first_options : result.other_options).push_back(std::move(r));
    }
  }
  if (ok && in.mode == kQueryReadConfiguration) {
    TrayTables tables;
    std::vector<DeviceTrayEntry> trays;
    ok = LoadTrayTables(in.database, in.flags.second_names, result.first_options, &tables) &&
         ReadDeviceTrays(device, in.flags.second_names, &trays);
    if (ok) MapDeviceTrays(trays, tables, in.slots, in.flags.second_names, &result.trays);
  }
  DevConfig_CloseDevice(device);
  if (!ok) return FALSE;
  *out = std::move(result);
  return TRUE;
}

BOOL QueryPrinterAddress(DeviceQueryInput in, std::string* address) {
  if (!address || in.address.empty()) return FALSE;
  in.mode = kQueryLocateByAddress;
  HANDLE device = ConfigureDeviceQuery(in);
  if (!device) return FALSE;
  std::u16string text;
  const BOOL ok = ReadDeviceValue(device, kDeviceValueString, u"_REDORE_NetworkAddress", 0, nullptr, &text);
  DevConfig_CloseDevice(device);
  if (!ok) return FALSE;
  *address = to_ansi(text);
  return TRUE;
}

std::wstring DeviceWebPageUrl(const std::string& address) {
  // A host name (letters, digits, '-' and '.'), an IPv4 literal, or an
  // IPv6 literal in brackets; nothing that could carry a path, a query,
  // credentials or a scheme of its own.
  if (address.empty() || address.size() > 253) return {};
  bool ok = true;
  if (address.front() == '[') {
    ok = address.back() == ']' && address.size() > 2;
    for (size_t i = 1; ok && i + 1 < address.size(); ++i) {
      const char c = address[i];
      ok = std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
    }
  } else {
    for (char c : address) ok = ok && (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.');
    ok = ok && address.front() != '-' && address.front() != '.';
  }
  if (!ok) return {};
  std::wstring url = L"http://";
  url.append(address.begin(), address.end());
  url += L"/";
  return url;
}
