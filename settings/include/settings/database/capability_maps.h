// Capability value maps: how the public DEVMODE fields dmFields, dmCollate,
// dmDefaultSource and dmMediaType relate to the device's own values, as a
// model's configuration file may adjust them in section "DME,<n>".
#pragma once

#include "win/types.h"

inline constexpr int kCapabilityGroupCount = 6;
// Entries a group holds: its start entries, a Windows value table and the
// lines of the file; further lines are ignored.
inline constexpr int kCapabilityMaxEntries = 64;

enum CapabilityGroupIndex : int {
  kCapFields = 0,
  kCapCollate = 1,
  kCapResolution = 2,
  kCapBin = 3,
  kCapMedia = 4,
  kCapColor = 5,
};

struct CapabilityEntry {
  INT device;   // device value
  INT windows;  // Windows value; for the fields group the action (1 clear, 2 set)
  BYTE override_flag;
};

struct CapabilityGroup {
  WORD ddmid;
  DWORD changed;  // 1 when any setting of the group came from the file
  SHORT merge;    // -1 not set
  SHORT default_value;
  SHORT mode;
  SHORT windows_value;
  WORD count;
  CapabilityEntry entries[kCapabilityMaxEntries];
};

struct CapabilityValueMap {
  DWORD section_found;
  BYTE paper_list;  // formdb.mode
  WORD group_count;
  CapabilityGroup groups[kCapabilityGroupCount];
};

// Null when the file is missing or memory runs out; the default map with
// section_found 0 when the file lacks the section.
CapabilityValueMap* LoadCapabilityOverrides(LPCWSTR path, INT number);
void FreeCapabilityValueMap(CapabilityValueMap* map);
// Fills `map` with the six default groups.
void InitCapabilityValueMap(CapabilityValueMap* map);

BOOL HasCapabilityOverrides(const CapabilityValueMap* map);
BOOL IsFormDbEnabled(const CapabilityValueMap* map);
// -2 for another group (merge: 1-4; mode: 2 and 5), -1 without a map, 1.
INT GetCapabilityMerge(const CapabilityValueMap* map, INT group, SHORT* out);
INT GetCapabilityMode(const CapabilityValueMap* map, INT group, SHORT* out);
// Device value of a Windows value: the first overridden entry with that
// Windows value, else the first entry with it, else the group's default
// when not 0, else the value itself. A null map uses the default groups.
INT MapCapabilityValue(const CapabilityValueMap* map, INT group, INT windows);
// Maps collate, paper source and media type of a DEVMODE in place: 1, -5
// when a value cannot be read or written, -1 without a DEVMODE.
INT ApplyCapabilityMaps(const CapabilityValueMap* map, void* devmode);
// dmFields as the model reports them.
DWORD ComputeDmFields(const CapabilityValueMap* map, DWORD fields, INT collate);
// GlobalAlloc'ed {device, Windows} pairs of the overridden entries of group
// 1, 3 or 4: 1, -2 for another group, -1 without a map, -3 out of memory.
INT GetCapabilityMapEntries(const CapabilityValueMap* map, INT group, WORD* count, INT** pairs);
// GlobalAlloc'ed "<group>.<name>=".
WCHAR* GetDmeKeyName(LPCWSTR name, LPCWSTR group);
