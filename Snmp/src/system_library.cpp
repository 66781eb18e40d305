// Loading of system libraries by name.
//
// Until the platform's module loader (LoadLibraryA / GetProcAddress) is in
// place, the built-in socket libraries are resolved here directly from the
// platform's WinSock stand-in; this file is the only place that changes when
// the loader arrives.
#include <cstring>
#include <strings.h>

#include "snmp/socket_api.h"
#include "win/errors.h"

namespace {

// Which socket libraries "exist" (test hook): 0 both, 1 legacy only, 2 none.
int g_available = 0;

HMODULE const kWs2 = reinterpret_cast<HMODULE>(static_cast<UINT_PTR>(0x5753));
HMODULE const kWsock = reinterpret_cast<HMODULE>(static_cast<UINT_PTR>(0x5754));

HMODULE open_builtin(const char* name) {
  if (strcasecmp(name, "ws2_32.dll") == 0 && g_available == 0) return kWs2;
  if (strcasecmp(name, "wsock32.dll") == 0 && g_available <= 1) return kWsock;
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

}  // namespace

void pmc_system_library_set_available(int available) { g_available = available; }

HMODULE pmc_load_system_library(const char* name, int mode) {
  if (!name) return nullptr;
  // Every mode ends in the same lookup: built-in modules have no search path.
  (void)mode;
  return open_builtin(name);
}

int pmc_free_system_library(HMODULE module, int mode) {
  if (mode != 0 && mode != 1) return 0;
  return (module == kWs2 || module == kWsock) ? 1 : 0;
}

FARPROC pmc_get_proc_address(HMODULE module, const char* name) {
  if (module != kWs2 && module != kWsock) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  FARPROC p = morva::platform::winsock_proc(name, module == kWsock);
  if (!p) SetLastError(ERROR_PROC_NOT_FOUND);
  return p;
}
