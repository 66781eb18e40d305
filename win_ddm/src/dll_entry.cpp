// The DLL entry of the settings data manager. The module keeps no state and
// needs no start-up: every call works on buffers its caller owns.
#include "win/types.h"

MORVA_EXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
