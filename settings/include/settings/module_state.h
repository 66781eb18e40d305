// Process-wide module services of the printer-interface library: the DLL
// entry, the module handle and directory, and the reference-counted
// resource module.
#pragma once

#include "win/types.h"

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1

// The DLL entry. Attach creates locks 0-6 and records the module handle;
// detach releases a resource module still held and deletes the locks.
// Other reasons do nothing. Always TRUE.
MORVA_EXPORT BOOL WINAPI DllInitialize(HINSTANCE module, DWORD reason, LPVOID reserved);

// The module handle recorded at attach (under lock 1).
void SetDriverModuleHandle(HMODULE module);
HMODULE GetDriverModuleHandle();
