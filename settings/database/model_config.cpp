// The model configuration file: presets, enforced values and switches per
// printer model.
#include "settings/database/model_config.h"

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "settings/database/capability_maps.h"
#include "settings/database/ddd_host.h"
#include "settings/database/ddd_queries.h"
#include "settings/database/ddd_records.h"
#include "settings/common/trace_log.h"
#include "win/files.h"
#include "win/memory.h"
#include "win/profile.h"
#include "win/strings.h"

namespace {

// ---------------------------------------------------------------- tables

struct ValueName {
  const char16_t* name;
  INT value;
};
constexpr ValueName kValueNames[] = {
    {u"on", 1}, {u"off", 0}, {u"true", 1}, {u"false", 0},
    {u"auto_color", 0}, {u"gray", 1}, {u"color", 2},
    {u"hide", 0}, {u"dimout", 1}, {u"show", 2},
    {u"normal_print", 0}, {u"secure_print", 1}, {u"sample_print", 2}, {u"box_print", 3}, {u"delay_print", 4},
    {u"hole2", 0}, {u"hole3", 1},
    {u"ab13in_series", 0}, {u"ab_series", 1}, {u"ab8k16k_series", 2}, {u"ab13in14in_series", 3},
    {u"inch_series", 4}, {u"trad", 0}, {u"simp", 1},
    {u"option0", 0}, {u"option1", 1}, {u"option2", 2}, {u"option3", 3}, {u"option4", 4},
    {u"option5", 5}, {u"option6", 6}, {u"option7", 7}, {u"option8", 8}, {u"option9", 9},
    {u"LightFinisher", 1}, {u"FinisherA", 10}, {u"FinisherB", 2}, {u"FinisherC", 3}, {u"FinisherD", 4},
    {u"FinisherC_Booklet", 5}, {u"FinisherD_CZFold", 6}, {u"FinisherSB", 7},
    {u"None", 0}, {u"FaxMini", 1}, {u"PCC", 2},
};
static_assert(std::size(kValueNames) == 45);

struct OptionRow {
  const char16_t* name;
  WORD ddmid;
};
// Option_Punch sets the punch item (4363), as Punch_Hole does: on the
// finisher item (4359) its values 0-3 would name finishers and undo an
// Option_Finisher line of the same file.
constexpr OptionRow kOptions[] = {
    {u"Special1", 5153}, {u"ColorMode", 270}, {u"JobType", 334}, {u"duplex", 16}, {u"banner", 332},
    {u"BannerSheet", 458}, {u"staple", 320}, {u"punch", 341}, {u"fonttype", 1335}, {u"font_subst", 292},
    {u"AccountMode", 5163}, {u"popup_admin", 5164}, {u"popup_user", 5165}, {u"Option_HiCapacityTray", 4362},
    {u"Option_SideTray", 4108}, {u"Option_FoldedPaperTray", 4121}, {u"Option_BookletTray", 4122},
    {u"Option_Interposer", 4110}, {u"Punch_Hole", 4363}, {u"Option_Duplex", 4103}, {u"Option_OCT", 4098},
    {u"Option_HardDisk", 4099}, {u"Option_MemorySelect", 4355}, {u"Option_FaxKit", 4125},
    {u"Paper_Setting", 4356}, {u"Paper_Switch_8K16K", 4358}, {u"Option_Glossy", 4127}, {u"Option_Exit2", 4126},
    {u"Option_PBExp", 4113}, {u"Option_InTray", 4357}, {u"Option_Finisher", 4359}, {u"Option_HCS", 4368},
    {u"Option_FaxCardType", 4369}, {u"Option_SIPFax", 4142}, {u"Option_Punch", 4363},
};
static_assert(std::size(kOptions) == 35);

struct SwitchItem {
  WORD ddmid;
  INT value;
  WORD flags;
};
struct SwitchRow {
  const char16_t* name;
  WORD id;
  SwitchItem items[2];
  int item_count;
};
constexpr WORD kLogSwitch = 999;
constexpr SwitchRow kSwitches[] = {
    {u"USE_SPECIAL1", 0, {{5153, 1, 0x12}}, 1},
    {u"MONOCOLOR_PRINT", 1, {{270, 1, 0xA}, {4129, 0, 2}}, 2},
    {u"SECURE_PRINT", 2, {{334, 1, 0xA}, {4099, 1, 2}}, 2},
    {u"BANNER_PRINT", 3, {{458, 1, 0xA}}, 1},
    {u"DUPLEX_PRINT_LONG", 4, {{16, 1, 0xA}, {4103, 1, 1}}, 2},
    {u"DUPLEX_PRINT_SHORT", 5, {{16, 2, 0xA}, {4103, 1, 1}}, 2},
    {u"LOG", kLogSwitch, {}, 0},
};

// Configured value -> item value; the first pair whose configured value
// matches is used, a value without a pair is not applied.
struct ValuePair {
  INT from;
  INT to;
};
constexpr ValuePair kMapOnOff[] = {{1, 1}, {0, 0}};
constexpr ValuePair kMapColor[] = {{0, 0}, {2, 2}, {1, 1}};
constexpr ValuePair kMap0to2[] = {{0, 0}, {1, 1}, {2, 2}};
constexpr ValuePair kMap0to3[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}};
constexpr ValuePair kMap0to4[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}};
constexpr ValuePair kMap0to5[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}};
constexpr ValuePair kMap0to9[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}, {8, 8}, {9, 9}};
constexpr ValuePair kMapDuplex[] = {{0, 1}, {1, 2}, {2, 3}};
constexpr ValuePair kMapStaple[] = {{0, 0},  {1, 1},  {2, 2},  {3, 3},  {4, 4},  {5, 5},  {6, 6},  {7, 7},
                                    {8, 8},  {9, 10}, {10, 9}, {11, 11}, {12, 12}, {13, 13}, {14, 14}, {15, 15}};
constexpr ValuePair kMapFontSubst[] = {{0, 2}, {1, 1}, {2, 0}};
constexpr ValuePair kMapFinisher[] = {{0, 0}, {1, 1}, {10, 10}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}};

struct ValueMapRow {
  WORD ddmid;
  const ValuePair* pairs;
  size_t count;
};
#define MAP_ROW(id, table) {id, table, std::size(table)}
constexpr ValueMapRow kValueMap[] = {
    MAP_ROW(5153, kMapOnOff),    MAP_ROW(4129, kMapOnOff),   MAP_ROW(1335, kMapOnOff),
    MAP_ROW(270, kMapColor),     MAP_ROW(334, kMap0to4),     MAP_ROW(16, kMapDuplex),
    MAP_ROW(332, kMap0to2),      MAP_ROW(458, kMap0to2),     MAP_ROW(4369, kMap0to2),
    MAP_ROW(320, kMapStaple),    MAP_ROW(341, kMap0to5),     MAP_ROW(4357, kMap0to5),
    MAP_ROW(292, kMapFontSubst), MAP_ROW(5163, kMapOnOff),   MAP_ROW(5164, kMapOnOff),
    MAP_ROW(5165, kMapOnOff),    MAP_ROW(4358, kMapOnOff),   MAP_ROW(4362, kMap0to5),
    MAP_ROW(4368, kMap0to5),     MAP_ROW(4363, kMap0to3),    MAP_ROW(4108, kMapOnOff),
    MAP_ROW(4121, kMapOnOff),    MAP_ROW(4122, kMapOnOff),   MAP_ROW(4110, kMapOnOff),
    MAP_ROW(4103, kMapOnOff),    MAP_ROW(4099, kMapOnOff),   MAP_ROW(4125, kMapOnOff),
    MAP_ROW(4098, kMapOnOff),    MAP_ROW(4127, kMapOnOff),   MAP_ROW(4126, kMapOnOff),
    MAP_ROW(4113, kMapOnOff),    MAP_ROW(4142, kMapOnOff),   MAP_ROW(4356, kMap0to4),
    MAP_ROW(4355, kMap0to9),     MAP_ROW(4359, kMapFinisher),
};
#undef MAP_ROW
static_assert(std::size(kValueMap) == 35);

constexpr int kMaxKeyChars = 47;

// ---------------------------------------------------------------- helpers

WCHAR* alloc_copy(const std::u16string& s) {
  auto* out = static_cast<WCHAR*>(GlobalAlloc(GPTR, (s.size() + 1) * sizeof(WCHAR)));
  if (out) std::memcpy(out, s.data(), s.size() * sizeof(WCHAR));
  return out;
}

char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool equal_ignore_case(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

// Digits up to the first non-digit; a text that starts with no digit is no
// number.
bool parse_config_number(std::u16string_view text, INT* out) {
  if (text.empty() || text[0] < u'0' || text[0] > u'9') return false;
  long long v = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') break;
    v = v * 10 + (c - u'0');
    if (v > 0x7FFFFFFF) return false;  // beyond any configured value
  }
  *out = static_cast<INT>(v);
  return true;
}

bool map_config_value(std::u16string_view text, INT* out) {
  for (const ValueName& n : kValueNames)
    if (equal_ignore_case(text, n.name)) {
      *out = n.value;
      return true;
    }
  return parse_config_number(text, out);
}

bool map_option_value(WORD ddmid, INT configured, INT* out) {
  for (const ValueMapRow& row : kValueMap) {
    if (row.ddmid != ddmid) continue;
    for (size_t i = 0; i < row.count; ++i)
      if (row.pairs[i].from == configured) {
        *out = row.pairs[i].to;
        return true;
      }
    return false;
  }
  return false;
}

bool suits_mode(WORD flags, INT mode) {
  if (mode == 0) return flags & (kConfigPreset | kConfigEnforced);
  if (mode == 1) return flags & kConfigEnforced;
  return false;
}

void write_forced(WORD ddmid, INT configured, void* devmode, void* printer_data) {
  INT mapped = 0;
  if (!map_option_value(ddmid, configured, &mapped)) return;
  WORD type = 0;
  DWORD size = 0;
  ItemValue current{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &current) != 0) return;
  if (type == 6 || type == 9) return;  // texts and fonts are never forced
  DWORD value = static_cast<DWORD>(mapped);
  SetItemValueRaw(ddmid, devmode, printer_data, type, size, &value);
}

// Looks a key up in the section text.
bool find_value(const WCHAR* section, const std::u16string& key, std::u16string* value) {
  WCHAR buffer[kConfigValueBuffer];
  if (!FindNthKeyValue(section, key.c_str(), TRUE, nullptr, buffer)) return false;
  *value = buffer;
  return true;
}

std::u16string option_key(const char16_t* name, const char16_t* what) {
  return std::u16string(name) + u"." + what + u"=";
}

ConfigOptionSet* read_config_option_set(const WCHAR* section) {
  std::vector<ConfigOptionEntry> options;
  std::vector<ConfigSwitchEntry> switches;
  for (const OptionRow& row : kOptions) {
    WORD flags = 0;
    INT value = 0;
    std::u16string text;
    // A value that is neither a name nor a number is ignored, so that a
    // misspelt enforced value does not force 0 and the preset still counts.
    if (find_value(section, option_key(row.name, u"enforced"), &text) && map_config_value(text, &value))
      flags = kConfigEnforced;
    else if (find_value(section, option_key(row.name, u"default"), &text) && map_config_value(text, &value))
      flags = kConfigPreset;
    else
      value = 0;
    INT display = 0;
    if (find_value(section, option_key(row.name, u"display"), &text) && map_config_value(text, &display)) {
      constexpr WORD kDisplayFlags[] = {kConfigHide, kConfigDimout, kConfigShow};
      if (display >= 0 && display < 3) flags |= kDisplayFlags[display];
    }
    if (flags) options.push_back({row.ddmid, value, flags});
  }
  for (const SwitchRow& row : kSwitches) {
    std::u16string text;
    INT value = 0;
    if (find_value(section, std::u16string(row.name) + u"=", &text) && map_config_value(text, &value))
      switches.push_back({row.id, value});
  }
  if (options.empty() && switches.empty()) return nullptr;
  size_t bytes = sizeof(ConfigOptionSet) + options.size() * sizeof(ConfigOptionEntry) +
                 switches.size() * sizeof(ConfigSwitchEntry);
  auto* set = static_cast<ConfigOptionSet*>(GlobalAlloc(GPTR, bytes));
  if (!set) return nullptr;
  set->option_count = static_cast<WORD>(options.size());
  set->switch_count = static_cast<WORD>(switches.size());
  set->options = reinterpret_cast<ConfigOptionEntry*>(set + 1);
  set->switches = reinterpret_cast<ConfigSwitchEntry*>(set->options + options.size());
  for (size_t i = 0; i < options.size(); ++i) set->options[i] = options[options.size() - 1 - i];
  for (size_t i = 0; i < switches.size(); ++i) set->switches[i] = switches[switches.size() - 1 - i];
  return set;
}

const SwitchRow* switch_row(WORD id) {
  for (const SwitchRow& row : kSwitches)
    if (row.id == id) return &row;
  return nullptr;
}

// The first configured entry of a setting: items of switches set to 1 first,
// then the options.
bool find_entry(WORD ddmid, const ConfigOptionSet* set, INT* value, WORD* flags) {
  if (!set) return false;
  for (WORD i = 0; i < set->switch_count; ++i) {
    if (set->switches[i].value != 1) continue;
    const SwitchRow* row = switch_row(set->switches[i].id);
    for (int k = 0; row && k < row->item_count; ++k)
      if (row->items[k].ddmid == ddmid) {
        *value = row->items[k].value;
        *flags = row->items[k].flags;
        return true;
      }
  }
  for (WORD i = 0; i < set->option_count; ++i)
    if (set->options[i].ddmid == ddmid) {
      *value = set->options[i].value;
      *flags = set->options[i].flags;
      return true;
    }
  return false;
}

bool file_exists(LPCWSTR path) {
  DWORD a = GetFileAttributesW(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

// ---------------------------------------------------------------- file access

DWORD GetFileSizeByName(LPCWSTR path) {
  if (!path) return 0;
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 0;
  DWORD size = GetFileSize(f, nullptr);
  CloseHandle(f);
  return size == INVALID_FILE_SIZE ? 0 : size;
}

BOOL HasProfileSection(LPCWSTR path, LPCWSTR section) {
  if (!path || !section) return FALSE;
  DWORD size = GetFileSizeByName(path);
  if (size == 0) return FALSE;
  std::vector<WCHAR> names(static_cast<size_t>(size) + 2);
  DWORD n = GetPrivateProfileSectionNamesW(names.data(), static_cast<DWORD>(names.size()), path);
  for (DWORD i = 0; i < n && names[i];) {
    std::u16string_view name(&names[i]);
    if (equal_ignore_case(name, section)) return TRUE;
    i += static_cast<DWORD>(name.size()) + 1;
  }
  return FALSE;
}

WCHAR* ReadProfileSectionFile(LPCWSTR path, LPCWSTR section) {
  if (!path || !section) return nullptr;
  DWORD size = GetFileSizeByName(path);
  if (size == 0) return nullptr;
  // Twice the file's bytes in characters holds any section of it.
  DWORD chars = size * 2 + 2;
  auto* text = static_cast<WCHAR*>(GlobalAlloc(GPTR, chars * sizeof(WCHAR)));
  if (!text) return nullptr;
  if (GetPrivateProfileSectionW(section, text, chars, path) == 0) {
    GlobalFree(text);
    return nullptr;
  }
  return text;
}

BOOL FindNthKeyValue(LPCWSTR section, LPCWSTR key, BOOL last, INT* line, WCHAR value[kConfigValueBuffer]) {
  if (!section || !key || !value) return FALSE;
  value[0] = 0;
  std::u16string_view k(key);
  if (k.empty() || k.size() >= kMaxKeyChars) return FALSE;
  INT start = line && !last ? *line : 0;
  bool found = false;
  INT number = 0;
  for (const WCHAR* p = section; *p; ++number) {
    std::u16string_view l(p);
    p += l.size() + 1;
    if (number < start || l.size() <= k.size() || !equal_ignore_case(l.substr(0, k.size()), k)) continue;
    std::u16string_view v = l.substr(k.size());
    if (v.size() > kConfigValueChars) v = v.substr(0, kConfigValueChars - 1);
    std::memcpy(value, v.data(), v.size() * sizeof(WCHAR));
    value[v.size()] = 0;
    found = true;
    if (line) *line = number;
    if (!last) break;
  }
  return found;
}

WCHAR* FindConfigSection(LPCWSTR path, LPCWSTR model) {
  std::u16string name = model ? model : u"";
  for (char16_t& c : name)
    if (c == u' ' || c == u'-' || c == u'/') c = u'_';
  if (name.empty() || !HasProfileSection(path, name.c_str())) name = u"default";
  return alloc_copy(name);
}

WCHAR* GetConfigFilePath(DddHandle* handle) {
  if (!handle || !handle->main.open) return nullptr;
  BYTE linked[DDD_HEADER_TEXT_SIZE];
  DddFile copy = handle->main;
  if (DddSeek(&copy, FALSE, DDD_HEADER_LINKED) || DddRead(&copy, linked, sizeof(linked))) return nullptr;
  DWORD chars = 0;
  WCHAR* wide = DddAnsiToWide(reinterpret_cast<const char*>(linked), sizeof(linked), &chars);
  if (!wide) return nullptr;
  std::u16string name(wide, chars);
  GlobalFree(wide);
  if (name.empty() && handle->main_path) {
    name = handle->main_path;
    size_t slash = name.find_last_of(u"\\/");
    if (slash != std::u16string::npos) name.erase(0, slash + 1);
  }
  if (name.empty()) return nullptr;
  size_t dot = name.rfind(u'.');
  name = (dot == std::u16string::npos ? name + u"." : name.substr(0, dot + 1)) + u"cfg";
  WCHAR dir[MAX_PATH];
  if (!DddGetModuleDirectory(dir, sizeof(dir))) return nullptr;
  std::u16string path = std::u16string(dir) + name;
  if (path.size() >= MAX_PATH) return nullptr;
  return alloc_copy(path);
}

WCHAR* ReadConfigComment(LPCWSTR model, LPCWSTR path) {
  if (!path || !file_exists(path)) return nullptr;
  WCHAR* section = FindConfigSection(path, model);
  if (!section) return nullptr;
  WCHAR* result = nullptr;
  DWORD size = GetFileSizeByName(path) + 2;
  std::vector<WCHAR> text(size);
  DWORD n = GetPrivateProfileStringW(section, u"COMMENT", u"", text.data(), size, path);
  if (n) result = alloc_copy(std::u16string(text.data(), n));
  GlobalFree(section);
  return result;
}

// ---------------------------------------------------------------- option set

ConfigOptionSet* LoadConfigOptions(LPCWSTR model, LPCWSTR path) {
  if (!path || !file_exists(path)) return nullptr;
  ConfigOptionSet* set = nullptr;
  if (WCHAR* section = FindConfigSection(path, model)) {
    if (WCHAR* text = ReadProfileSectionFile(path, section)) {
      set = read_config_option_set(text);
      GlobalFree(text);
    }
    GlobalFree(section);
  }
  ReloadTraceSettings();
  return set;
}

void FreeConfigOptionSet(ConfigOptionSet* set) {
  if (set) GlobalFree(set);
}

BOOL ApplyForcedSettings(const ConfigOptionSet* set, void* devmode, void* printer_data, INT mode) {
  if (!set) return FALSE;
  for (WORD i = 0; i < set->option_count; ++i)
    if (suits_mode(set->options[i].flags, mode))
      write_forced(set->options[i].ddmid, set->options[i].value, devmode, printer_data);
  for (WORD i = 0; i < set->switch_count; ++i) {
    if (set->switches[i].value != 1 || set->switches[i].id == kLogSwitch) continue;
    const SwitchRow* row = switch_row(set->switches[i].id);
    for (int k = 0; row && k < row->item_count; ++k)
      if (suits_mode(row->items[k].flags, mode))
        write_forced(row->items[k].ddmid, row->items[k].value, devmode, printer_data);
  }
  return TRUE;
}

BOOL GetConfiguredItemValue(WORD ddmid, const ConfigOptionSet* set, ItemValue* slot, WORD type) {
  INT configured = 0, mapped = 0;
  WORD flags = 0;
  if (!slot || !find_entry(ddmid, set, &configured, &flags)) return FALSE;
  if (!suits_mode(flags, 0) || !map_option_value(ddmid, configured, &mapped)) return FALSE;
  if (type == 6 || type == 9) return FALSE;  // a number is no text
  DWORD value = static_cast<DWORD>(mapped);
  return StoreTypedValue(type, slot, &value);
}

BOOL FindConfiguredItemFlags(WORD ddmid, const ConfigOptionSet* set, WORD* flags) {
  INT value = 0;
  WORD f = 0;
  if (flags) *flags = 0;
  if (!find_entry(ddmid, set, &value, &f)) return FALSE;
  if (flags) *flags = f;
  return TRUE;
}

BOOL IsItemEnforced(WORD ddmid, const ConfigOptionSet* set) {
  WORD flags = 0;
  return FindConfiguredItemFlags(ddmid, set, &flags) && (flags & kConfigEnforced);
}

// ---------------------------------------------------------------- database open

void DddLoadModelSettings(DddHandle* handle, LPCWSTR main_path) {
  if (!handle) return;
  if (main_path) handle->main_path = alloc_copy(main_path);
  WCHAR* path = GetConfigFilePath(handle);
  if (!path) return;
  DddStatus status = 0;
  WCHAR* model = DddGetModelName(handle, &status);
  handle->config = LoadConfigOptions(model, path);
  handle->capabilities = LoadCapabilityOverrides(path, 1);
  if (model) GlobalFree(model);
  GlobalFree(path);
}

void DddFreeModelSettings(DddHandle* handle) {
  if (!handle) return;
  FreeConfigOptionSet(handle->config);
  handle->config = nullptr;
  FreeCapabilityValueMap(handle->capabilities);
  handle->capabilities = nullptr;
  if (handle->main_path) GlobalFree(handle->main_path);
  handle->main_path = nullptr;
}
