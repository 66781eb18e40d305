// Setting items: the table of every setting the driver defaults, checks or
// shows, the handlers that know a few settings' defaults and valid values,
// the per-type comparison used by every check and the platform feature
// mask of the dmFields bits the driver supports.
#pragma once

#include "settings/items/item_access.h"
#include "win/types.h"

struct DddHandle;
struct ItemInfo;
struct ItemInfoOptions;

// Handler modes (also the bits of a handler record's mode mask).
inline constexpr WORD kItemModeDefault = 0x1;
inline constexpr WORD kItemModeCheck = 0x2;         // against the device database
inline constexpr WORD kItemModeKind = 0x4;
inline constexpr WORD kItemModeChoice = 0x8;
inline constexpr WORD kItemModeCheckDevmode = 0x10;  // against the DEVMODE rules only
inline constexpr DWORD kItemModeAll = 0xFFFF;

// What a handler receives. Check modes fill value/type/size and the
// buffers; mode 1 fills the printer name and the out slots.
struct ItemHandlerContext {
  const ItemValue* value = nullptr;
  WORD type = 0;
  DWORD size = 0;
  void* devmode = nullptr;
  void* printer_data = nullptr;
  LPCWSTR printer_name = nullptr;
  WORD* out_type = nullptr;
  ItemValue* out_value = nullptr;  // types 6 and 9: a GlobalAlloc'ed block
  // A default handler sets *out_type to 7 (invalid) when the setting has
  // no default.
  DWORD* out_size = nullptr;
  // Modes 4 and 8: the ItemInfo under construction (its kind and count
  // come in from the database item, when it has one), the choice to fill,
  // the module of texts and icons, and the caller's options.
  ItemInfo* info = nullptr;
  LONG index = 0;
  HMODULE resources = nullptr;
  const ItemInfoOptions* options = nullptr;
};

using ItemHandlerFn = BOOL (*)(DddHandle* database, WORD mode, WORD ddmid, ItemHandlerContext* context);

// A constant default: {flags (0x1 gives the default), type, length, value}.
struct ItemConstantDefault {
  WORD flags;
  WORD type;
  DWORD length;
  DWORD value;
};

struct ItemHandlerRecord {
  const ItemConstantDefault* constant;
  ItemHandlerFn handler;
  DWORD mode_mask;
};

struct SettingItem {
  WORD ddmid;
  const ItemHandlerRecord* handler;  // null: the database alone
};

// One group of the item table; the group whose id is 13 ends the table.
struct SettingItemGroup {
  DWORD id;
  const SettingItem* items;
  WORD count;
  WORD store_kind;  // 0 DEVMODE base, 1 extension block, 2 PrinterData
  WORD lowest;
  WORD highest;
};

inline constexpr DWORD kItemGroupEnd = 13;
inline constexpr int kItemGroupCount = 13;

// The 13 groups in scan order, then the closing group.
const SettingItemGroup* GetItemGroups();
// The item of a DDMID, or null.
const SettingItem* FindItem(WORD ddmid);

// TRUE when the value of the setting in the buffers is valid in `mode`
// (kItemModeCheck or kItemModeCheckDevmode). No item, an unreadable value
// or an unknown mode give FALSE.
BOOL CallItemHandler(DddHandle* database, WORD ddmid, void* devmode, void* printer_data, WORD mode);

// Compares two values of a type: 0 equal, 1 first greater, -1 (0xFFFF)
// smaller, 2 for another type or a null pointer or string.
SHORT GetTypeCompare(WORD type, const void* a, const void* b);

// dmFields bits the driver supports: use 1 the defaults' dmFields, use 2
// the fields a DEVMODE merge may take. 1 with the mask, 0 (mask 0) when the
// platform cannot be told.
BOOL GetOsFeatureFlags(DddHandle* database, DWORD* mask, WORD use);

// The value as decimal text (types 1-5, 8, 10) or a copy of the string
// (type 6) into `buffer` of `chars` characters; null for other types.
LPWSTR FormatTypedValue(WORD type, const void* value, LPWSTR buffer, DWORD chars);

// A zeroed 800-byte block (GlobalFree it).
void* AllocItemBuffer();
