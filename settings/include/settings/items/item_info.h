// The user-interface view of one setting: its name, control kind and
// choices with texts, icons and data, built from the setting's handler or
// its device-database item; and the texts that paper choices carry.
#pragma once

#include "settings/items/item_access.h"
#include "win/types.h"

struct DddHandle;

// Control kinds: 0 unusable, 1 and 2 choice lists, 4 and 6 values without
// a choice list (their choices 0 and 1 are the minimum and maximum).
inline constexpr WORD kItemKindUnusable = 0;
inline constexpr WORD kItemKindList = 1;
inline constexpr WORD kItemKindNumberedList = 2;
inline constexpr WORD kItemKindNumber = 4;
inline constexpr WORD kItemKindText = 6;

// One choice. Everything it points to is owned by the ItemInfo.
struct ItemChoice {
  ItemValue value;  // a number stored by the value type, or (type 6) its own text
  LPWSTR text;
  HICON icon;       // null when the choice has none or its icon is missing
  void* data;       // a database choice's blob (DddBlob, kind 522), or null
};

struct ItemInfo {
  WORD ddmid;
  LPWSTR name;
  WORD kind;
  WORD value_type;      // of the choices
  LONG count;           // -1 when there are none
  ItemChoice* choices;  // `count` entries
};

// How BuildItemInfo words paper sizes, and the choices a page gives the
// handlers of the font-name settings (305, 358) in place of their own.
struct ItemInfoOptions {
  BOOL inches;  // paper sizes in inches, else millimetres
  BOOL tenths;  // inches with one decimal, else two
  LONG list_count;
  const LPCWSTR* list;
  // The printer whose stored stamps the stamp-name choices (298) list;
  // null lists none.
  HANDLE printer = nullptr;
};

// A new ItemInfo of the setting, or null when it has no item, neither its
// handler nor the database describes it, or anything fails (nothing is
// left allocated then). `devmode` and `printer_data` give the stored sizes
// that paper choice texts show; `resources` the texts and icons. Null
// options: millimetres, no page list.
ItemInfo* BuildItemInfo(DddHandle* database, WORD ddmid, void* devmode, void* printer_data, HMODULE resources,
                        const ItemInfoOptions* options = nullptr);
// Frees the ItemInfo and everything it owns; TRUE, FALSE for null.
BOOL ItemInfo_Free(ItemInfo* info);

LPCWSTR ItemInfo_GetName(const ItemInfo* info);
WORD ItemInfo_GetKind(const ItemInfo* info);  // 0 for null
BOOL ItemInfo_SetKind(ItemInfo* info, WORD kind);
LONG ItemInfo_GetChoiceCount(const ItemInfo* info);  // -1 for none or null
// Index checked against the count: null outside it.
const ItemChoice* ItemInfo_GetChoice(const ItemInfo* info, LONG index);
// The choice's value as GetTypeCompare takes it with the info's value
// type: the text itself for type 6, else the value slot.
const void* ItemInfo_GetChoiceAt(const ItemInfo* info, LONG index);
LPCWSTR ItemInfo_GetChoiceText(const ItemInfo* info, LONG index);
HICON ItemInfo_GetChoiceIcon(const ItemInfo* info, LONG index);
const void* ItemInfo_GetChoiceData(const ItemInfo* info, LONG index);
// The first choice whose text begins with `text` (compared over the length
// of `text`); null when none or for a null argument.
const ItemChoice* ItemInfo_FindChoiceByText(const ItemInfo* info, LPCWSTR text);

// ---- building blocks for the handlers (modes 4 and 8) ----------------------

// Gives the info `count` zeroed choices (none for 0). FALSE when out of
// memory or a list is already there.
BOOL ItemInfoAllocChoices(ItemInfo* info, LONG count);
// Fills choice `index`: the value of `type` at `value` (a text for type 6)
// and the text, both copied; the icon `icon_id` from `resources` when it
// is not 0 and the module has it. FALSE on a bad index or type, or when
// out of memory.
BOOL ItemInfoSetChoice(ItemInfo* info, LONG index, WORD type, const void* value, LPCWSTR text,
                       HMODULE resources, WORD icon_id);
// Choice `index` from the database item's choice index + 1.
BOOL ItemInfoSetDatabaseChoice(DddHandle* database, ItemInfo* info, LONG index);

// ---- paper choice texts -----------------------------------------------------

// `name`, the separator text, then the size as "width x length" in the
// caller's unit: millimetres as whole numbers, inches with one or two
// decimals. Sizes in tenths of a millimetre. A new GlobalAlloc'ed text,
// null when out of memory.
LPWSTR PaperChoiceText(HMODULE resources, LPCWSTR name, WORD width, WORD length, const ItemInfoOptions* options);
// The first choice of value 256 (the custom size) gets its own text with
// the stored custom size (1863, 1864). TRUE when done or nothing to do.
BOOL AddCustomSizeChoiceText(ItemInfo* info, void* devmode, void* printer_data, HMODULE resources,
                             const ItemInfoOptions* options);
// Each choice that is the paper code of a user paper slot gets the slot's
// stored name and size. TRUE when done or nothing to do.
BOOL AddUserPaperChoiceTexts(ItemInfo* info, void* devmode, void* printer_data, HMODULE resources,
                             const ItemInfoOptions* options);
// The first choice of value 275 (the tray's own size) gets the size the
// paper source stores for it (GetSourceSizeSettingIds of the info's DDMID).
// TRUE when done or nothing to do.
BOOL AddTraySizeChoiceText(ItemInfo* info, void* devmode, void* printer_data, HMODULE resources,
                           const ItemInfoOptions* options);
