// The machine's persistent state (registry, printers, printer data, forms,
// jobs) lives in one SQLite database in the machine root. A call that
// returned success has committed its change: another process sees it.
//
// Test hooks: an in-memory database, and injected faults that make the next
// writes fail as a full disk, a read-only root or a failing device would.
#pragma once

#include <string>

#include "win/types.h"

namespace morva::platform {

// File name of the database inside the machine root.
inline constexpr const char* kMachineStoreFile = "machine.db";

// When on, the process uses a private in-memory database in place of the
// file (fresh each time it is switched on). For unit tests.
MORVA_WIN_API void use_in_memory_store(bool on);

enum class StoreFault {
  access_denied,  // the root is read-only: ERROR_ACCESS_DENIED
  write_failure,  // the device fails: ERROR_WRITE_FAULT
  disk_full,      // no room left: ERROR_DISK_FULL
};

// After `skip` successful writes, the next `count` writes (count < 0: all
// until cleared) fail with `fault` and change nothing.
MORVA_WIN_API void inject_store_fault(StoreFault fault, int skip = 0, int count = -1);
MORVA_WIN_API void clear_store_faults();

// Closes the process's connection (the next call reopens it).
MORVA_WIN_API void close_machine_store();

}  // namespace morva::platform
