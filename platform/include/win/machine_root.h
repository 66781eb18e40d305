// The machine root: the folder that stands for one Windows machine (its
// drive C:, registry and spooler state, spool output). Named by the
// environment variable MORVA_ROOT unless a test or tool sets it.
#pragma once

#include <string>

#include "win/types.h"

namespace morva::platform {

// The current machine root as a native path without a trailing slash.
// Empty when none is set.
MORVA_WIN_API std::string machine_root();

// Sets the machine root for this process (overrides MORVA_ROOT); an empty
// path returns to the environment variable.
MORVA_WIN_API void set_machine_root(const std::string& path);

}  // namespace morva::platform
