// Number access shared by the DEVMODE code: a setting read or written as a
// number of its stored type.
#pragma once

#include "win/types.h"

namespace devmode_detail {
BOOL read_number(WORD ddmid, void* devmode, void* printer_data, LONG* out);
BOOL write_number(WORD ddmid, void* devmode, void* printer_data, LONG value);
// dmFields := (dmFields & ~clear) | set.
BOOL change_fields(void* devmode, void* printer_data, DWORD set, DWORD clear);
}  // namespace devmode_detail
