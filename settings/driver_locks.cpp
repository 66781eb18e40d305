#include "settings/driver_locks.h"

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

LockSlot g_locks[kDriverLockCount];
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

}  // namespace

BOOL InitDriverLock(UINT id) {
  if (id >= kDriverLockCount) return FALSE;
  pthread_mutex_lock(&g_creation);
  LockSlot& slot = g_locks[id];
  // A slot already on its fallback keeps it until deletion: a thread may
  // hold it right now.
  BOOL ok = slot.state.load(std::memory_order_acquire) == kFallback ? FALSE : create_locked(slot);
  pthread_mutex_unlock(&g_creation);
  return ok;
}

BOOL InitDriverLocks() {
  BOOL all = TRUE;
  for (UINT id = 0; id < kDriverLockCount; ++id)
    if (!InitDriverLock(id)) all = FALSE;
  return all;
}

void EnterDriverLock(UINT id) {
  if (id >= kDriverLockCount) return;
  LockSlot& slot = g_locks[id];
  int state = slot.state.load(std::memory_order_acquire);
  if (state == kNone) {
    pthread_mutex_lock(&g_creation);
    if (slot.state.load(std::memory_order_acquire) == kNone && !create_locked(slot))
      slot.state.store(kFallback, std::memory_order_release);
    state = slot.state.load(std::memory_order_acquire);
    pthread_mutex_unlock(&g_creation);
  }
  if (state == kCreated)
    EnterCriticalSection(&slot.cs);
  else
    pthread_mutex_lock(&slot.fallback);
}

void LeaveDriverLock(UINT id) {
  if (id >= kDriverLockCount) return;
  LockSlot& slot = g_locks[id];
  int state = slot.state.load(std::memory_order_acquire);
  if (state == kCreated)
    LeaveCriticalSection(&slot.cs);
  else if (state == kFallback)
    pthread_mutex_unlock(&slot.fallback);
}

void DeleteDriverLocks() {
  pthread_mutex_lock(&g_creation);
  for (LockSlot& slot : g_locks) {
    if (slot.state.load(std::memory_order_acquire) == kCreated) DeleteCriticalSection(&slot.cs);
    slot.state.store(kNone, std::memory_order_release);
  }
  pthread_mutex_unlock(&g_creation);
}

namespace morva::settings {
void set_lock_creator_for_test(LockCreator creator) {
  pthread_mutex_lock(&g_creation);
  g_creator = creator;
  pthread_mutex_unlock(&g_creation);
}
int driver_lock_state_for_test(UINT id) {
  return id < kDriverLockCount ? g_locks[id].state.load(std::memory_order_acquire) : kNone;
}
}  // namespace morva::settings
