// Loading of system libraries by name, through the platform's loader.
#include "snmp/socket_api.h"
#include "win/errors.h"
#include "win/modules.h"
#include "win/sysinfo.h"

HMODULE pmc_load_system_library(const char* name, int mode) {
  if (!name) return nullptr;
  if (mode == 1) return LoadLibraryA(name);
  if (mode == 2) return LoadLibraryExA(name, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  HMODULE m = LoadLibraryA(name);
  return m ? m : LoadLibraryExA(name, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

int pmc_free_system_library(HMODULE module, int mode) {
  if (mode == 0) return FreeLibrary(module);
  if (mode != 1) return 0;
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return 0;
  if (info.dwPlatformId != 2) return 1;  // not Windows NT: the library stays
  return FreeLibrary(module);
}

FARPROC pmc_get_proc_address(HMODULE module, const char* name) { return GetProcAddress(module, name); }
