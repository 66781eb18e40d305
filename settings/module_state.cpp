#include "settings/module_state.h"

#include "settings/driver_locks.h"

namespace {
HMODULE g_module = nullptr;
}  // namespace

void SetDriverModuleHandle(HMODULE module) {
  DriverLockGuard g(kLockModule);
  g_module = module;
}

HMODULE GetDriverModuleHandle() {
  DriverLockGuard g(kLockModule);
  return g_module;
}

BOOL WINAPI DllInitialize(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    InitDriverLocks();
    SetDriverModuleHandle(module);
  } else if (reason == DLL_PROCESS_DETACH) {
    DeleteDriverLocks();
  }
  return TRUE;
}
