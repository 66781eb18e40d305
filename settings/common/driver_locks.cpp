#include "settings/common/driver_locks.h"

#include <pthread.h>

#include <atomic>

namespace {

enum SlotState : int { kNone = 0, kCreated = 1, kFallback = 2 };

struct LockSlot {
  CRITICAL_SECTION cs;
  std::atomic<int> state{kNone};
  // Used when creating the critical section failed: a statically
  // initialised recursive mutex, which cannot fail.
  pthread_mutex_t fallback = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
};

// The printer-interface library's numbering: one slot per role.
constexpr DriverLockLayout kDefaultLayout = {kDriverLockCount, {0, 1, 2, 3, 4, 5, 6}};

LockSlot g_locks[kDriverLockSlotCapacity];
std::atomic<const DriverLockLayout*> g_layout{&kDefaultLayout};
// Serialises creation and deletion of the slots (a slot changes state at
// most once between creation and deletion, so enter and leave agree).
pthread_mutex_t g_creation = PTHREAD_MUTEX_INITIALIZER;
morva::settings::LockCreator g_creator = nullptr;

BOOL create_locked(LockSlot& slot) {
  if (slot.state.load(std::memory_order_acquire) == kCreated) return TRUE;
  auto creator = g_creator ? g_creator : InitializeCriticalSectionAndSpinCount;
  if (creator(&slot.cs, kDriverLockSpinCount)) {
    slot.state.store(kCreated, std::memory_order_release);
    return TRUE;
  }
  return FALSE;
}

UINT role_slot(UINT id) { return g_layout.load(std::memory_order_acquire)->role_slot[id]; }

BOOL init_slot(UINT slot) {
  if (slot >= kDriverLockSlotCapacity) return FALSE;
  pthread_mutex_lock(&g_creation);
  LockSlot& lock = g_locks[slot];
  // A slot already on its fallback keeps it until deletion: a thread may
  // hold it right now.
  BOOL ok = lock.state.load(std::memory_order_acquire) == kFallback ? FALSE : create_locked(lock);
  pthread_mutex_unlock(&g_creation);
  return ok;
}

}  // namespace

void SelectDriverLockLayout(const DriverLockLayout* layout) {
  bool valid = layout && layout->slot_count <= kDriverLockSlotCapacity;
  for (UINT id = 0; valid && id < kDriverLockCount; ++id)
    if (layout->role_slot[id] >= kDriverLockSlotCapacity) valid = false;
  g_layout.store(valid ? layout : &kDefaultLayout, std::memory_order_release);
}

UINT DriverLockSlotCount() { return g_layout.load(std::memory_order_acquire)->slot_count; }

BOOL InitDriverLock(UINT id) {
  if (id >= kDriverLockCount) return FALSE;
  return init_slot(role_slot(id));
}

BOOL InitDriverLockSlot(UINT slot) {
  if (slot >= DriverLockSlotCount()) return FALSE;
  return init_slot(slot);
}

BOOL InitDriverLocks() {
  BOOL all = TRUE;
  for (UINT slot = 0; slot < DriverLockSlotCount(); ++slot)
    if (!init_slot(slot)) all = FALSE;
  return all;
}

void EnterDriverLockSlot(UINT slot) {
  if (slot >= kDriverLockSlotCapacity) return;
  LockSlot& lock = g_locks[slot];
  int state = lock.state.load(std::memory_order_acquire);
  if (state == kNone) {
    pthread_mutex_lock(&g_creation);
    if (lock.state.load(std::memory_order_acquire) == kNone && !create_locked(lock))
      lock.state.store(kFallback, std::memory_order_release);
    state = lock.state.load(std::memory_order_acquire);
    pthread_mutex_unlock(&g_creation);
  }
  if (state == kCreated)
    EnterCriticalSection(&lock.cs);
  else
    pthread_mutex_lock(&lock.fallback);
}

void LeaveDriverLockSlot(UINT slot) {
  if (slot >= kDriverLockSlotCapacity) return;
  LockSlot& lock = g_locks[slot];
  int state = lock.state.load(std::memory_order_acquire);
  if (state == kCreated)
    LeaveCriticalSection(&lock.cs);
  else if (state == kFallback)
    pthread_mutex_unlock(&lock.fallback);
}

void EnterDriverLock(UINT id) {
  if (id < kDriverLockCount) EnterDriverLockSlot(role_slot(id));
}

void LeaveDriverLock(UINT id) {
  if (id < kDriverLockCount) LeaveDriverLockSlot(role_slot(id));
}

void DeleteDriverLockSlot(UINT slot) {
  if (slot >= kDriverLockSlotCapacity) return;
  pthread_mutex_lock(&g_creation);
  LockSlot& lock = g_locks[slot];
  if (lock.state.load(std::memory_order_acquire) == kCreated) DeleteCriticalSection(&lock.cs);
  lock.state.store(kNone, std::memory_order_release);
  pthread_mutex_unlock(&g_creation);
}

void DeleteDriverLocks() {
  for (UINT slot = 0; slot < kDriverLockSlotCapacity; ++slot) DeleteDriverLockSlot(slot);
}

namespace morva::settings {
void set_lock_creator_for_test(LockCreator creator) {
  pthread_mutex_lock(&g_creation);
  g_creator = creator;
  pthread_mutex_unlock(&g_creation);
}
int driver_lock_state_for_test(UINT id) {
  return id < kDriverLockCount ? driver_lock_slot_state_for_test(role_slot(id)) : kNone;
}
int driver_lock_slot_state_for_test(UINT slot) {
  return slot < kDriverLockSlotCapacity ? g_locks[slot].state.load(std::memory_order_acquire) : kNone;
}
}  // namespace morva::settings
