// The DLL entry of the printer-interface library (morvaui only: the
// graphics library has an entry of its own).
#include "settings/common/module_state.h"

// Attach creates the seven locks and records the module handle; detach
// frees what is still held and deletes the locks. Always TRUE.
MORVA_EXPORT BOOL WINAPI DllInitialize(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH)
    ModuleProcessAttach(module);
  else if (reason == DLL_PROCESS_DETACH)
    ModuleProcessDetach();
  return TRUE;
}

// The platform's loader calls an exported DllMain on first load and last
// free, as the system calls a DLL's entry point.
MORVA_EXPORT BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  return DllInitialize(module, reason, reserved);
}
