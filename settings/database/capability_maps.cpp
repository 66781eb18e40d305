// Capability value maps of section "DME,<n>" of the model configuration file.
#include "settings/database/capability_maps.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "settings/common/common_utils.h"
#include "settings/items/item_access.h"
#include "settings/database/model_config.h"
#include "win/files.h"
#include "win/memory.h"

namespace {

struct NamedValue {
  const char16_t* name;
  INT value;
};

constexpr NamedValue kFieldNames[] = {
    {u"ORIENTATION", 1},       {u"PAPERSIZE", 2},        {u"PAPERLENGTH", 4},       {u"PAPERWIDTH", 8},
    {u"SCALE", 16},            {u"COPIES", 256},         {u"DEFAULTSOURCE", 512},   {u"PRINTQUALITY", 1024},
    {u"COLOR", 2048},          {u"DUPLEX", 4096},        {u"YRESOLUTION", 8192},    {u"TTOPTION", 16384},
    {u"COLLATE", 32768},       {u"FORMNAME", 65536},     {u"ICMMETHOD", 0x800000},  {u"ICMINTENT", 0x1000000},
    {u"MEDIATYPE", 0x2000000}, {u"DITHERTYPE", 0x4000000},
};
constexpr NamedValue kCollateNames[] = {{u"COLLATE_TRUE", 1}, {u"COLLATE_FALSE", 0}};
constexpr NamedValue kBinNames[] = {
    {u"AUTO", 7},           {u"TRAY1", 1},           {u"TRAY2", 3},           {u"TRAY3", 2},
    {u"TRAY4", 257},        {u"PRINTER", 259},       {u"MANUAL", 4},          {u"MANUAL_CONFIRM", 260},
    {u"LARGECAPACITY", 11}, {u"LARGECAPACITY2", 268}, {u"TRAY3_LARGE", 261},  {u"TRAY4_LARGE", 262},
    {u"INTERPORSER", 264},  {u"TRAY2-1", 265},       {u"TRAY2-2", 266},       {u"TRAY2-3", 267},
    {u"TRAY1_LCASSETTE", 269}, {u"TRAY2_LCASSETTE", 270}, {u"TRAY1_LARGE", 272}, {u"TRAY2_LARGE", 271},
};
constexpr NamedValue kMediaNames[] = {
    {u"PAPER_NORMAL", 0},   {u"PAPER_THICK", 1},    {u"PAPER_SUPERTHICK", 2}, {u"PAPER_OHP", 3},
    {u"PAPER_DEFINE1", 13}, {u"PAPER_DEFINE2", 14}, {u"PAPER_DEFINE3", 15},   {u"PAPER_DEFINE4", 16},
    {u"PAPER_DEFINE5", 17},
};

// Windows value tables, {device, Windows}. DMBIN_LARGECAPACITY (11) keeps
// its own large-capacity source: sending it to manual feed (4) would stop a
// job that asked for the large tray at the bypass.
struct DeviceWindows {
  INT device;
  INT windows;
};
constexpr DeviceWindows kBinWindowsTable[] = {
    {7, 7},     {1, 14},    {1, 8},     {1, 9},     {3, 3},     {2, 2},     {257, 257}, {259, 259}, {4, 4},
    {4, 5},     {4, 6},     {4, 10},    {260, 260}, {11, 11},   {268, 268}, {261, 261}, {262, 262}, {264, 264},
    {265, 265}, {266, 266}, {267, 267}, {269, 269}, {270, 270}, {272, 272}, {271, 271},
};
constexpr DeviceWindows kMediaWindowsTable[] = {
    {0, 1}, {1, 3}, {2, 2}, {3, 2}, {13, 13}, {14, 14}, {15, 15}, {16, 16}, {17, 17},
};

enum SettingMask : WORD { kMerge = 1, kMode = 2, kDefault = 4, kWindowsValue = 8 };
struct SettingName {
  WORD bit;
  const char16_t* name;
};
constexpr SettingName kSettingNames[] = {
    {kMerge, u"merge"}, {kMode, u"mode"}, {kDefault, u"default"}, {kWindowsValue, u"WindowsValue"}};

enum class EntryRule { None, LastLine, EveryLine };

struct GroupSchema {
  WORD ddmid;
  const char16_t* name;
  WORD accepted;
  SHORT merge, default_value, mode, windows_value;
  const NamedValue* names;
  size_t name_count;
  bool entries_at_start;  // the named values are the group's first entries
  EntryRule rule;
  const DeviceWindows* windows_table;
  size_t windows_count;
};

constexpr GroupSchema kSchema[kCapabilityGroupCount] = {
    {6, u"fields", 0, -1, -1, -1, -1, kFieldNames, std::size(kFieldNames), true, EntryRule::LastLine, nullptr, 0},
    {18, u"collate", kMerge | kDefault, 1, 0, -1, -1, kCollateNames, std::size(kCollateNames), true,
     EntryRule::LastLine, nullptr, 0},
    {14, u"resolution", kMerge | kMode | kDefault, 1, 0, 0, -1, nullptr, 0, false, EntryRule::None, nullptr, 0},
    {13, u"bin", kMerge | kDefault | kWindowsValue, 1, 0, -1, 0, kBinNames, std::size(kBinNames), true,
     EntryRule::EveryLine, kBinWindowsTable, std::size(kBinWindowsTable)},
    {24, u"media", kMerge | kDefault | kWindowsValue, 0, 0, -1, 0, kMediaNames, std::size(kMediaNames), true,
     EntryRule::EveryLine, kMediaWindowsTable, std::size(kMediaWindowsTable)},
    {15, u"color", kMode, -1, -1, 0, -1, nullptr, 0, false, EntryRule::None, nullptr, 0},
};

void add_entry(CapabilityGroup& g, INT device, INT windows) {
  if (g.count >= kCapabilityMaxEntries) return;
  g.entries[g.count++] = {device, windows, static_cast<BYTE>(device != windows)};
}

void init_group(CapabilityGroup& g, const GroupSchema& s, int index) {
  g = {};
  g.ddmid = s.ddmid;
  g.merge = s.merge;
  g.default_value = s.default_value;
  g.mode = s.mode;
  g.windows_value = s.windows_value;
  if (!s.entries_at_start) return;
  for (size_t i = 0; i < s.name_count; ++i)
    add_entry(g, s.names[i].value, index == kCapFields ? 0 : s.names[i].value);
  // The fields group's entries carry actions, not values: none overridden.
  if (index == kCapFields)
    for (WORD i = 0; i < g.count; ++i) g.entries[i].override_flag = 0;
}

std::u16string dme_key(const char16_t* group, const char16_t* name) {
  return std::u16string(group) + u"." + name + u"=";
}

bool parse_number(const WCHAR* text, DWORD* out) { return ParseNumberString(text, out) != FALSE; }

bool last_number(const WCHAR* section, const std::u16string& key, DWORD* out) {
  WCHAR value[kConfigValueBuffer];
  return FindNthKeyValue(section, key.c_str(), TRUE, nullptr, value) && parse_number(value, out);
}

// Windows value `windows` now maps to `device`.
void set_entry(CapabilityGroup& g, INT device, INT windows) {
  for (WORD i = 0; i < g.count; ++i)
    if (g.entries[i].windows == windows) {
      g.entries[i].device = device;
      g.entries[i].override_flag = static_cast<BYTE>(device != windows);
      return;
    }
  add_entry(g, device, windows);
}

void read_group(CapabilityGroup& g, const GroupSchema& s, const WCHAR* section) {
  for (const SettingName& setting : kSettingNames) {
    if (!(s.accepted & setting.bit)) continue;
    DWORD v = 0;
    if (!last_number(section, dme_key(s.name, setting.name), &v)) continue;
    auto value = static_cast<SHORT>(static_cast<WORD>(v));
    switch (setting.bit) {
      case kMerge: g.merge = value; break;
      case kMode: g.mode = value; break;
      case kDefault: g.default_value = value; break;
      default: g.windows_value = value; break;
    }
    g.changed = 1;
  }
  if (g.windows_value == 1 && s.windows_table) {
    g.count = 0;
    for (size_t i = 0; i < s.windows_count; ++i) add_entry(g, s.windows_table[i].device, s.windows_table[i].windows);
  }
  for (size_t n = 0; n < s.name_count; ++n) {
    const std::u16string key = dme_key(s.name, s.names[n].name);
    const INT device = s.names[n].value;
    if (s.rule == EntryRule::LastLine) {
      DWORD v = 0;
      if (!last_number(section, key, &v)) continue;
      for (WORD i = 0; i < g.count; ++i)
        if (g.entries[i].device == device) {
          g.entries[i].windows = static_cast<INT>(v);
          if (&s != &kSchema[kCapFields]) g.entries[i].override_flag = static_cast<BYTE>(device != g.entries[i].windows);
          g.changed = 1;
          break;
        }
    } else if (s.rule == EntryRule::EveryLine) {
      WCHAR value[kConfigValueBuffer];
      for (INT line = 0; FindNthKeyValue(section, key.c_str(), FALSE, &line, value); ++line) {
        DWORD v = 0;
        if (!parse_number(value, &v)) continue;
        set_entry(g, device, static_cast<INT>(v));
        g.changed = 1;
      }
    }
  }
}

const CapabilityValueMap& default_map() {
  static const CapabilityValueMap map = [] {
    CapabilityValueMap m;
    InitCapabilityValueMap(&m);
    return m;
  }();
  return map;
}

bool file_exists(LPCWSTR path) {
  DWORD a = GetFileAttributesW(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

void InitCapabilityValueMap(CapabilityValueMap* map) {
  if (!map) return;
  map->section_found = 0;
  map->paper_list = 0;
  map->group_count = kCapabilityGroupCount;
  for (int i = 0; i < kCapabilityGroupCount; ++i) init_group(map->groups[i], kSchema[i], i);
}

CapabilityValueMap* LoadCapabilityOverrides(LPCWSTR path, INT number) {
  if (!path || !file_exists(path)) return nullptr;
  auto* map = static_cast<CapabilityValueMap*>(GlobalAlloc(GPTR, sizeof(CapabilityValueMap)));
  if (!map) return nullptr;
  InitCapabilityValueMap(map);
  const std::string digits = std::to_string(number);
  const std::u16string section_name = u"DME," + std::u16string(digits.begin(), digits.end());
  if (!HasProfileSection(path, section_name.c_str())) return map;
  map->section_found = 1;
  WCHAR* section = ReadProfileSectionFile(path, section_name.c_str());
  if (!section) return map;
  for (int i = 0; i < kCapabilityGroupCount; ++i) read_group(map->groups[i], kSchema[i], section);
  DWORD v = 0;
  if (last_number(section, dme_key(u"formdb", u"mode"), &v)) map->paper_list = static_cast<BYTE>(v & 0xFF);
  GlobalFree(section);
  return map;
}

void FreeCapabilityValueMap(CapabilityValueMap* map) {
  if (map) GlobalFree(map);
}

BOOL HasCapabilityOverrides(const CapabilityValueMap* map) { return map ? map->section_found != 0 : FALSE; }

BOOL IsFormDbEnabled(const CapabilityValueMap* map) { return map && map->paper_list == 1; }

INT GetCapabilityMerge(const CapabilityValueMap* map, INT group, SHORT* out) {
  if (group < kCapCollate || group > kCapMedia) return -2;
  if (!map || !out) return -1;
  *out = map->groups[group].merge;
  return 1;
}

INT GetCapabilityMode(const CapabilityValueMap* map, INT group, SHORT* out) {
  if (group != kCapResolution && group != kCapColor) return -2;
  if (!map || !out) return -1;
  *out = map->groups[group].mode;
  return 1;
}

INT MapCapabilityValue(const CapabilityValueMap* map, INT group, INT windows) {
  if (group < 0 || group >= kCapabilityGroupCount) return windows;
  const CapabilityGroup& g = (map ? *map : default_map()).groups[group];
  for (WORD i = 0; i < g.count; ++i)
    if (g.entries[i].override_flag && g.entries[i].windows == windows) return g.entries[i].device;
  for (WORD i = 0; i < g.count; ++i)
    if (g.entries[i].windows == windows) return g.entries[i].device;
  return g.default_value != 0 ? g.default_value : windows;
}

INT ApplyCapabilityMaps(const CapabilityValueMap* map, void* devmode) {
  if (!devmode) return -1;
  constexpr int kMapped[] = {kCapCollate, kCapBin, kCapMedia};
  const CapabilityValueMap& m = map ? *map : default_map();
  for (int group : kMapped) {
    WORD ddmid = m.groups[group].ddmid;
    WORD type = 0;
    DWORD size = 0;
    ItemValue value{};
    if (GetItemValue(ddmid, devmode, nullptr, &type, &size, &value) != 0 || size > 4) return -5;
    INT mapped = MapCapabilityValue(&m, group, GetTypedValue(type, &value));
    if (SetItemValueRaw(ddmid, devmode, nullptr, type, size, &mapped) != 0) return -5;
  }
  return 1;
}

DWORD ComputeDmFields(const CapabilityValueMap* map, DWORD f, INT collate) {
  const CapabilityValueMap& m = map ? *map : default_map();
  const CapabilityGroup& fields = m.groups[kCapFields];
  for (WORD i = 0; i < fields.count; ++i) {
    DWORD bit = static_cast<DWORD>(fields.entries[i].device);
    if (fields.entries[i].windows == 1) f &= ~bit;
    else if (fields.entries[i].windows == 2) f |= bit;
  }
  constexpr DWORD kCollate = 0x8000, kQuality = 0x2400, kSource = 0x200, kMedia = 0x2000000;
  switch (m.groups[kCapCollate].merge) {
    case 0: f &= ~kCollate; break;
    case 1: f |= kCollate; break;
    case 2: f = MapCapabilityValue(&m, kCapCollate, collate) == 0 ? f | kCollate : f & ~kCollate; break;
    default: break;
  }
  struct MergeBits {
    int group;
    DWORD bits;
  };
  constexpr MergeBits kMergeBits[] = {{kCapResolution, kQuality}, {kCapBin, kSource}, {kCapMedia, kMedia}};
  for (const MergeBits& mb : kMergeBits) f = m.groups[mb.group].merge == 1 ? f | mb.bits : f & ~mb.bits;
  return f;
}

INT GetCapabilityMapEntries(const CapabilityValueMap* map, INT group, WORD* count, INT** pairs) {
  if (count) *count = 0;
  if (pairs) *pairs = nullptr;
  if (group != kCapCollate && group != kCapBin && group != kCapMedia) return -2;
  if (!map || !count || !pairs) return -1;
  const CapabilityGroup& g = map->groups[group];
  WORD n = 0;
  for (WORD i = 0; i < g.count; ++i) n += g.entries[i].override_flag ? 1 : 0;
  if (n == 0) return 1;
  auto* out = static_cast<INT*>(GlobalAlloc(GPTR, n * 2 * sizeof(INT)));
  if (!out) return -3;
  WORD k = 0;
  for (WORD i = 0; i < g.count; ++i)
    if (g.entries[i].override_flag) {
      out[k * 2] = g.entries[i].device;
      out[k * 2 + 1] = g.entries[i].windows;
      ++k;
    }
  *count = n;
  *pairs = out;
  return 1;
}

WCHAR* GetDmeKeyName(LPCWSTR name, LPCWSTR group) {
  if (!name || !group) return nullptr;
  std::u16string key = dme_key(group, name);
  auto* out = static_cast<WCHAR*>(GlobalAlloc(GPTR, (key.size() + 1) * sizeof(WCHAR)));
  if (out) std::memcpy(out, key.data(), key.size() * sizeof(WCHAR));
  return out;
}
