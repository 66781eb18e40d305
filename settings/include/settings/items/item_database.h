// The few device-database and model-configuration answers the setting
// items, defaults and the DEVMODE merge need, in the value shapes the
// value engine uses. Without a database every answer is "none".
#pragma once

#include "settings/items/item_access.h"
#include "win/types.h"

struct DddHandle;

// TRUE when the database item of `ddmid` has a choice of this value (a
// value as GetItemValue reads it, `size` bytes for a text).
BOOL ItemDbHasValue(DddHandle* database, WORD ddmid, WORD type, DWORD size, const ItemValue* value);
// The database item's default: 1 with a value (types 6 and 9 in a
// GlobalAlloc'ed block), 2 when the item has none, -1 on failure.
INT ItemDbDefault(DddHandle* database, WORD ddmid, ItemValue* value, WORD* type, DWORD* size);
// The model's maximum copies; 0 when unknown.
INT ItemDbMaxCopies(DddHandle* database);
// Database feature byte (global field 7); -1 when it cannot be read.
INT ItemDbFeatureFlagByte(DddHandle* database);
// The database text the driver's own DEVMODE carries in DDMID 259; FALSE
// when the database has none.
BOOL ItemDbSignatureText(DddHandle* database, LPWSTR buffer, DWORD chars);
// Width and length (tenths of a millimetre) of the paper behind the A4
// choice of the paper-size item; FALSE when the database has none.
BOOL ItemDbA4Size(DddHandle* database, WORD* width, WORD* length);
// Width, length (tenths of a millimetre) and name of the paper behind the
// default choice of the paper-size item; FALSE when the database has none.
BOOL ItemDbDefaultPaper(DddHandle* database, WORD* width, WORD* length, LPWSTR name, DWORD chars);
// Applies the model's enforced values (mode 1) to the buffers; TRUE when
// done or nothing to do.
BOOL ItemDbApplyForcedSettings(DddHandle* database, void* devmode, void* printer_data);
// A configured default or enforced value of the model for this setting
// replaces `value`; FALSE when the model configures none.
BOOL ItemDbConfiguredValue(DddHandle* database, WORD ddmid, WORD type, ItemValue* value);
