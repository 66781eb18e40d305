// The DLL entry and lock table of the graphics library (morvagfx only: the
// printer-interface library has an entry of its own).
#include "settings/common/driver_locks.h"
#include "settings/gfx/graphics_module.h"
#include "settings/common/module_state.h"

namespace {

// The common code's roles on the graphics library's slots. The job-context
// list and the document-properties query flag have no use here; they keep
// slots of their own above the numbered table. Scheduled-job times share
// the job-time slot.
constexpr DriverLockLayout kGraphicsLayout = {
    kGraphicsLockCount,
    {
        kSlotDatabase,     // kLockDatabase
        kSlotModule,       // kLockModule
        8,                 // kLockJobContexts
        9,                 // kLockDocPropQuery
        kSlotJobTimes,     // kLockJobMonitor
        kSlotOsVersion,    // kLockOsVersion
        kSlotLocale,       // kLockLocale
    }};
static_assert(kGraphicsLockCount + 2 <= kDriverLockSlotCapacity);

}  // namespace

void UseGraphicsLockLayout() { SelectDriverLockLayout(&kGraphicsLayout); }

BOOL InitLockSlot(UINT slot) { return slot < kGraphicsLockCount ? InitDriverLockSlot(slot) : FALSE; }

UINT EnterLockSlot(UINT slot) {
  if (slot < kGraphicsLockCount) EnterDriverLockSlot(slot);
  return slot;
}

UINT LeaveLockSlot(UINT slot) {
  if (slot < kGraphicsLockCount) LeaveDriverLockSlot(slot);
  return slot;
}

void DeleteLockSlot(UINT slot) {
  if (slot < kGraphicsLockCount) DeleteDriverLockSlot(slot);
}

// The slots themselves are created when the driver is enabled; the entry
// only makes sure every later use finds the graphics numbering.
MORVA_EXPORT BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    UseGraphicsLockLayout();
    UseDataManagerFrontEnd();
    SetDriverModuleHandle(module);
  } else if (reason == DLL_PROCESS_DETACH) {
    ModuleProcessDetach();
  }
  return TRUE;
}
