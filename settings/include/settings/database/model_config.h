// The model configuration file: an INI file beside the driver, named like
// the linked database file with the extension "cfg", in which an
// administrator presets or enforces settings per printer model (section =
// model name with ' ', '-' and '/' turned into '_', else "default").
#pragma once

#include "settings/database/ddd_file.h"
#include "settings/items/item_access.h"

// Flags of a configured option.
inline constexpr WORD kConfigPreset = 1;
inline constexpr WORD kConfigEnforced = 2;
inline constexpr WORD kConfigHide = 4;
inline constexpr WORD kConfigDimout = 8;
inline constexpr WORD kConfigShow = 0x10;

struct ConfigOptionEntry {
  WORD ddmid;
  INT value;  // configured value, before the item's value map
  WORD flags;
};
struct ConfigSwitchEntry {
  WORD id;
  INT value;
};

// Options and switches of one model, held in reverse table order (the last
// table row first). One GlobalAlloc'ed block: the arrays follow the head.
struct ConfigOptionSet {
  WORD option_count;
  WORD switch_count;
  ConfigOptionEntry* options;
  ConfigSwitchEntry* switches;
};

// Reads the model's section of `path`; null when the file is missing, the
// section is empty or nothing in it is recognised. Reloads the trace
// settings when the file exists.
ConfigOptionSet* LoadConfigOptions(LPCWSTR model, LPCWSTR path);
void FreeConfigOptionSet(ConfigOptionSet* set);

// Writes configured values into the settings: mode 0 preset and enforced,
// mode 1 enforced only (any other mode writes nothing). 0 without a set.
BOOL ApplyForcedSettings(const ConfigOptionSet* set, void* devmode, void* printer_data, INT mode);
// Configured value of one setting (preset or enforced) into a typed slot; 1
// when stored.
BOOL GetConfiguredItemValue(WORD ddmid, const ConfigOptionSet* set, ItemValue* slot, WORD type);
BOOL FindConfiguredItemFlags(WORD ddmid, const ConfigOptionSet* set, WORD* flags);
BOOL IsItemEnforced(WORD ddmid, const ConfigOptionSet* set);

// GlobalAlloc'ed path of the handle's configuration file: module directory
// + linked file name with "cfg" after its last '.'. A database without a
// linked file takes the main file's name instead (as the installer names
// the file); null when neither is known.
WCHAR* GetConfigFilePath(DddHandle* handle);
// The section to read for a model (GlobalAlloc'ed).
WCHAR* FindConfigSection(LPCWSTR path, LPCWSTR model);
// GlobalAlloc'ed "COMMENT" value of the model's section, or null.
WCHAR* ReadConfigComment(LPCWSTR model, LPCWSTR path);
// GlobalAlloc'ed text of a section (lines separated by NULs, ending in two
// NULs) sized from the file; null when the section is empty or missing.
WCHAR* ReadProfileSectionFile(LPCWSTR path, LPCWSTR section);
BOOL HasProfileSection(LPCWSTR path, LPCWSTR section);
DWORD GetFileSizeByName(LPCWSTR path);

// Key lookup in a section text: a line matches when it is longer than the
// key and starts with it, ignoring case; keys of 47 characters or more never
// match. Values longer than 32 characters are cut to 31. With `last` the
// last matching line wins; otherwise the first matching line at or after
// *line is taken and *line set to it. FALSE when none matches.
inline constexpr int kConfigValueChars = 32;
inline constexpr int kConfigValueBuffer = kConfigValueChars + 1;
BOOL FindNthKeyValue(LPCWSTR section, LPCWSTR key, BOOL last, INT* line, WCHAR value[kConfigValueBuffer]);

// Loads the handle's configuration and capability overrides after a
// successful open, and frees them at close; neither is required.
// `main_path` is kept in the handle.
void DddLoadModelSettings(DddHandle* handle, LPCWSTR main_path);
void DddFreeModelSettings(DddHandle* handle);
