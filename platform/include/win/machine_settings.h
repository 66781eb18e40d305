// Settings of the machine a machine root stands for: its code pages,
// locale, version, names and environment. They live in "machine.cfg" at
// the top of the machine root, one "key=value" line each (UTF-8, '#'
// starts a comment line); a missing key takes the default of the caller.
#pragma once

#include <string>
#include <string_view>

#include "win/types.h"

namespace morva::platform {

// The value of `key` for the current machine root, or `fallback`.
MORVA_WIN_API std::string machine_setting(std::string_view key, std::string_view fallback = {});
// The value as a number (decimal, or hexadecimal with 0x), or `fallback`
// when missing or not a number.
MORVA_WIN_API long long machine_setting_number(std::string_view key, long long fallback);

// Writes `key` into the current machine root's settings file (an empty
// value removes it). Tools and tests use it to configure the machine.
// Returns false when there is no machine root or the file cannot be written.
MORVA_WIN_API bool set_machine_setting(std::string_view key, std::string_view value);

}  // namespace morva::platform
