// Load-call-free binding to the outside device-configuration library.
#include <cstring>

#include "pi/device_config.h"
#include "win/modules.h"

namespace {

using LoadLibraryExAFn = HMODULE (*)(LPCSTR, HANDLE, DWORD);
using FreeLibraryFn = BOOL (*)(HMODULE);
using GetProcAddressFn = FARPROC (*)(HMODULE, LPCSTR);

// The stored library path; at most kMaxName characters and a terminator.
constexpr size_t kMaxName = 259;
char g_library[kMaxName + 1];

struct Loader {
  bool tried = false;
  LoadLibraryExAFn load = nullptr;
  FreeLibraryFn free = nullptr;
  GetProcAddressFn find = nullptr;
};
Loader g_loader;

// Loads the library, finds `export_name` and calls it with `call`; the
// library is freed again before returning. `missing` when anything is
// absent.
template <class Fn, class R, class Call>
R with_export(const char* export_name, R missing, Call call) {
  if (!DevConfig_BindLoader() || g_library[0] == '\0') return missing;
  HMODULE library = g_loader.load(g_library, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!library) return missing;
  R answer = missing;
  if (FARPROC proc = g_loader.find(library, export_name)) answer = call(morva_proc_as<Fn>(proc));
  g_loader.free(library);
  return answer;
}

}  // namespace

BOOL DevConfig_BindLoader() {
  if (!g_loader.tried) {
    g_loader.tried = true;
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    if (kernel) {
      g_loader.load = morva_proc_as<LoadLibraryExAFn>(GetProcAddress(kernel, "LoadLibraryExA"));
      g_loader.free = morva_proc_as<FreeLibraryFn>(GetProcAddress(kernel, "FreeLibrary"));
      g_loader.find = morva_proc_as<GetProcAddressFn>(GetProcAddress(kernel, "GetProcAddress"));
    }
    if (!g_loader.load || !g_loader.free || !g_loader.find) g_loader = Loader{true, nullptr, nullptr, nullptr};
  }
  return g_loader.load != nullptr;
}

BOOL DevConfig_SetLibraryName(LPCSTR name) {
  if (!name) return FALSE;
  if (g_library[0] == '\0') {
    if (name[0] == '\0') return FALSE;
    std::strncpy(g_library, name, kMaxName);
    g_library[kMaxName] = '\0';
    return TRUE;
  }
  return std::strncmp(g_library, name, kMaxName) == 0 ? TRUE : FALSE;
}

HANDLE DevConfig_OpenDevice(LPCSTR name1, LPCSTR name2, DWORD reserved) {
  return with_export<RedoreOpenDeviceFn>("REDORE_OpenDevice", HANDLE{nullptr},
                                         [&](RedoreOpenDeviceFn f) { return f(name1, name2, reserved); });
}

DWORD DevConfig_CloseDevice(HANDLE device) {
  return with_export<RedoreCloseDeviceFn>("REDORE_CloseDevice", DWORD{1},
                                          [&](RedoreCloseDeviceFn f) { return f(device); });
}

DWORD DevConfig_SelectDevice(HANDLE device, HWND owner, LPCSTR port, LPCSTR model, LPCSTR selection) {
  return with_export<RedoreSelectDeviceFn>("REDORE_SelectDevice", DWORD{1}, [&](RedoreSelectDeviceFn f) {
    return f(device, owner, port, model, selection);
  });
}

DWORD DevConfig_SetAttribute(HANDLE device, LPCSTR name, const void* value) {
  return with_export<RedoreSetAttributeFn>("REDORE_SetAttribute", DWORD{1},
                                           [&](RedoreSetAttributeFn f) { return f(device, name, value); });
}

DWORD DevConfig_GetValueBoolean(HANDLE device, LPCSTR name, DWORD index, DWORD* value) {
  return with_export<RedoreGetValueBooleanFn>("REDORE_GetValueBoolean", DWORD{1},
                                              [&](RedoreGetValueBooleanFn f) { return f(device, name, index, value); });
}

DWORD DevConfig_GetValueInteger(HANDLE device, LPCSTR name, DWORD index, INT* value) {
  return with_export<RedoreGetValueIntegerFn>("REDORE_GetValueInteger", DWORD{1},
                                              [&](RedoreGetValueIntegerFn f) { return f(device, name, index, value); });
}

DWORD DevConfig_GetValueUInteger(HANDLE device, LPCSTR name, DWORD index, DWORD* value) {
  return with_export<RedoreGetValueUIntegerFn>(
      "REDORE_GetValueUInteger", DWORD{1}, [&](RedoreGetValueUIntegerFn f) { return f(device, name, index, value); });
}

DWORD DevConfig_GetValueString(HANDLE device, LPCSTR name, DWORD index, LPSTR buffer) {
  const DWORD answer = with_export<RedoreGetValueStringFn>(
      "REDORE_GetValueString", DWORD{1}, [&](RedoreGetValueStringFn f) { return f(device, name, index, buffer); });
  // The library's text is outside input: never let a reader run past the
  // buffer for want of a terminator.
  if (buffer) buffer[kDeviceValueStringSize - 1] = '\0';
  return answer;
}

DWORD DevConfig_GetNumberOfInputTrayInfo(HANDLE device, DWORD* count) {
  return with_export<RedoreGetNumberOfInputTrayInfoFn>(
      "REDORE_GetNumberOfInputTrayInfo", DWORD{1}, [&](RedoreGetNumberOfInputTrayInfoFn f) { return f(device, count); });
}

DWORD DevConfig_GetInputTrayInfo(HANDLE device, DWORD index, void* record) {
  return with_export<RedoreGetInputTrayInfoFn>(
      "REDORE_GetInputTrayInfo", DWORD{1}, [&](RedoreGetInputTrayInfoFn f) { return f(device, index, record); });
}

namespace morva::pi {
void reset_device_config_for_test() {
  g_library[0] = '\0';
  g_loader = Loader{};
}
}  // namespace morva::pi
