// The numbered process-wide locks of a library that links the common code:
// seven for the printer-interface library (the default layout), eight, with
// other numbers, for the graphics library (it selects its layout at load).
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

// Storage for the largest numbered table (eight slots) and for the roles
// that a layout keeps outside its numbered table.
inline constexpr UINT kDriverLockSlotCapacity = 10;

// How one library numbers its locks: the slots it creates at start-up
// (0 to slot_count - 1) and the slot that guards each DriverLockId role.
// A role may share a slot with another or sit above slot_count, where it
// is created on first use.
struct DriverLockLayout {
  UINT slot_count;
  UINT role_slot[kDriverLockCount];
};

// Selects the layout of this library's lock table (each library linking
// the common code has its own copy); null returns to the seven-lock layout.
// Must be called before any lock is used: the DLL entry does it.
void SelectDriverLockLayout(const DriverLockLayout* layout);
// The number of numbered slots of the selected layout.
UINT DriverLockSlotCount();

// Slot-level access by number. InitDriverLockSlot refuses a slot at or
// above the layout's slot count (FALSE); enter and leave ignore a slot
// beyond the storage and otherwise behave as EnterDriverLock (a slot not
// created yet is created, with the fallback mutex when that fails).
BOOL InitDriverLockSlot(UINT slot);
void EnterDriverLockSlot(UINT slot);
void LeaveDriverLockSlot(UINT slot);
// Deletes one created slot and clears its flag.
void DeleteDriverLockSlot(UINT slot);

// Creates the lock of one role; ids above 6 are refused (FALSE). A lock
// already created is left as it is (TRUE).
BOOL InitDriverLock(UINT id);
// Creates the layout's numbered slots in order; FALSE when any creation
// failed.
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
// Test views of the lock of a role and of a slot: 0 not created, 1
// created, 2 guarded by the fallback mutex.
int driver_lock_state_for_test(UINT id);
int driver_lock_slot_state_for_test(UINT slot);
}  // namespace morva::settings
