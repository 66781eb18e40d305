// The self-check of a settings pair: every item's current value is run
// through the constraint check, and what keeps failing is reported.
#pragma once

#include "win/types.h"

struct DddHandle;

// One entry of the caller's table of settings that failed twice in a row.
struct DefaultCheckEntry {
  WORD ddmid;  // 0: a free slot
  DWORD flag;  // set when the entry's setting failed again in this call
};
inline constexpr WORD kDefaultCheckEntries = 100;

// Checks the current value of every item (in the order of the item
// groups). The caller calls again, after applying the returned change
// list, until it gets 1 or -1, and keeps `table` (100 entries) and
// `last_ddmid` across the calls.
// 1: every value passes. 2: a value conflicts; *last_ddmid names it and
// *change_list (GlobalAlloc'ed, 0-terminated, may be null) holds the
// settings its rules name; a setting that conflicts twice in a row is
// entered in the table and passed over from then on. -1: failure, or
// settings of the table failed again; each of those is shown in an error
// message box owned by `owner`.
INT CheckDefaultSettings(HMODULE resources, HANDLE printer, DddHandle* database, void* devmode, void* printer_data,
                         WORD** change_list, HWND owner, DefaultCheckEntry* table, WORD* last_ddmid);
