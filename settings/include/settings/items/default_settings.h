// Default settings: the default of one setting, the fill of a fresh
// settings pair and the summary setting of the position group.
#pragma once

#include "settings/items/item_access.h"
#include "win/types.h"

struct DddHandle;

// 1 a default exists (types 6 and 9 in a new block, see
// ReleaseItemDefault), 2 the item has none, -1 failure. `printer_name`
// and `printer_data` are what a handler's default may use.
INT GetItemDefault(DddHandle* database, WORD ddmid, ItemValue* value, WORD* type, DWORD* size,
                   LPCWSTR printer_name = nullptr, void* printer_data = nullptr);
// Frees a text or block default.
void ReleaseItemDefault(WORD ddmid, ItemValue* value, WORD type);
// 1 done (also without a default), 0 when writing failed.
BOOL ResetItemToDefault(DddHandle* database, void* devmode, WORD ddmid, void* printer_data);
// Clears and fills the DEVMODE (5988 bytes) and/or the PrinterData block
// with every item's default. 1 filled, 0 failure.
BOOL FillDefaultSettings(DddHandle* database, void* devmode, void* printer_data, LPCWSTR printer_name);
// Writes the model's DEVMODE defaults for the running program (the
// database's key/value set of kind 24 whose name matches it) once per
// settings pair, when DDMID 1356 asks for it; DDMID 466 records the set
// applied. 1 done or nothing to do, 0 failure.
BOOL ApplyDeviceOptionDefaults(DddHandle* database, void* devmode, void* printer_data);
// 1-based index of the first kind-24 set whose name equals the program's
// file name (case-insensitive) or, starting with "*", whose rest occurs in
// it; 0 when none.
BYTE FindProcessInDatabaseList(DddHandle* database);
// DDMID 273 from the position settings 274-285; TRUE when it was written.
BOOL ApplyPositionGroup(void* devmode, void* printer_data);
