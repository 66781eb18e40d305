// The seven numbered process-wide locks of the printer-interface library.
#pragma once

#include "win/memory.h"
#include "win/types.h"

// What each lock guards.
enum DriverLockId : UINT {
  kLockDatabase = 0,      // loading and caching of device-database files
  kLockModule = 1,        // module handle, module directory, resource module
  kLockJobContexts = 2,   // the JobContext list (may take kLockDatabase inside)
  kLockDocPropQuery = 3,  // the one-time document-properties query flag
  kLockJobMonitor = 4,    // job-monitor record and scheduled-job times
  kLockOsVersion = 5,     // cached Windows-version answers
  kLockLocale = 6,        // cached locale values
};
inline constexpr UINT kDriverLockCount = 7;
inline constexpr DWORD kDriverLockSpinCount = 4000;

// Creates one lock; ids above 6 are refused (FALSE). A lock already created
// is left as it is (TRUE).
BOOL InitDriverLock(UINT id);
// Creates locks 0-6 in order; FALSE when any creation failed.
BOOL InitDriverLocks();
// Enter and leave a lock; ids above 6 do nothing. A lock whose creation
// failed (or that was never created) is created now, and when that fails
// too a built-in fallback mutex guards it, so guarded code never runs
// unguarded.
void EnterDriverLock(UINT id);
void LeaveDriverLock(UINT id);
// Deletes every created lock and clears its flag.
void DeleteDriverLocks();

// Scoped holder of one driver lock.
class DriverLockGuard {
 public:
  explicit DriverLockGuard(UINT id) : id_(id) { EnterDriverLock(id_); }
  ~DriverLockGuard() { LeaveDriverLock(id_); }
  DriverLockGuard(const DriverLockGuard&) = delete;
  DriverLockGuard& operator=(const DriverLockGuard&) = delete;

 private:
  UINT id_;
};

namespace morva::settings {
// Test seam: replaces the critical-section creator (nullptr restores the
// platform's InitializeCriticalSectionAndSpinCount).
using LockCreator = BOOL (*)(LPCRITICAL_SECTION, DWORD);
void set_lock_creator_for_test(LockCreator creator);
// Test view: 0 not created, 1 created, 2 guarded by the fallback mutex.
int driver_lock_state_for_test(UINT id);
}  // namespace morva::settings
