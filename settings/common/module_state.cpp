#include "settings/common/module_state.h"

#include <string>

#include "settings/common/driver_locks.h"
#include "win/resources.h"
#include "win/strings.h"

namespace {

// Module state; all of it under kLockModule.
HMODULE g_module = nullptr;
std::u16string g_module_directory;  // ends with a backslash once known
HMODULE g_resource_module = nullptr;
UINT g_resource_count = 0;

constexpr UINT kResourceModuleNameId = 32767;
// The resource module's name when this module carries no string for it.
constexpr char16_t kDefaultResourceModuleName[] = u"morvares.xrs";

HMODULE load_resource_file(const std::u16string& path) {
  return LoadLibraryExW(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES | LOAD_WITH_ALTERED_SEARCH_PATH);
}

void free_resource_file() {
  if (g_resource_module) FreeLibrary(g_resource_module);
  g_resource_module = nullptr;
}

bool module_directory_locked(std::u16string* out) {
  if (g_module_directory.empty()) {
    WCHAR path[MAX_PATH + 2] = {};
    // Without a recorded handle (no entry call yet) the module is the one
    // holding this code.
    HMODULE module = g_module ? g_module : morva::platform::module_from_address(reinterpret_cast<const void*>(&GetModuleDirectory));
    DWORD n = GetModuleFileNameW(module, path, MAX_PATH + 2);
    if (n == 0 || n > MAX_PATH + 1) return false;
    std::u16string_view p(path, n);
    size_t slash = p.find_last_of(u'\\');
    if (slash == std::u16string_view::npos || slash + 1 > MAX_PATH) return false;
    g_module_directory.assign(p.substr(0, slash + 1));
  }
  *out = g_module_directory;
  return true;
}

}  // namespace

void SetDriverModuleHandle(HMODULE module) {
  DriverLockGuard g(kLockModule);
  g_module = module;
}

HMODULE GetDriverModuleHandle() {
  DriverLockGuard g(kLockModule);
  return g_module;
}

void ModuleProcessAttach(HMODULE module) {
  InitDriverLocks();
  SetDriverModuleHandle(module);
}

void ModuleProcessDetach() {
  {
    DriverLockGuard g(kLockModule);
    // A reference still held at unload would keep the resource module
    // loaded for good: free it with this module.
    free_resource_file();
    g_resource_count = 0;
    g_module_directory.clear();
    g_module = nullptr;
  }
  DeleteDriverLocks();
}

BOOL GetModuleDirectory(LPWSTR buffer, DWORD size_bytes) {
  if (!buffer || size_bytes < 2 * MAX_PATH) return FALSE;
  std::u16string dir;
  {
    DriverLockGuard g(kLockModule);
    if (!module_directory_locked(&dir)) return FALSE;
  }
  lstrcpynW(buffer, dir.c_str(), static_cast<int>(size_bytes / 2));
  return TRUE;
}

void LoadResourceModule() {
  DriverLockGuard g(kLockModule);
  if (g_resource_count == 0 && !g_resource_module) {
    WCHAR name[MAX_PATH + 1] = {};
    int n = LoadStringW(g_module, kResourceModuleNameId, name, MAX_PATH + 1);
    std::u16string file = n > 0 ? std::u16string(name, static_cast<size_t>(n)) : std::u16string(kDefaultResourceModuleName);
    std::u16string dir;
    if (module_directory_locked(&dir) && dir.size() + file.size() <= MAX_PATH) {
      std::u16string path = dir + file;
      g_resource_module = load_resource_file(path);
    }
  }
  if (g_resource_module) ++g_resource_count;
}

void ReleaseResourceModule() {
  DriverLockGuard g(kLockModule);
  if (g_resource_count == 1 && g_resource_module) free_resource_file();
  if (g_resource_count > 0) --g_resource_count;
}

HMODULE GetResourceModule() {
  DriverLockGuard g(kLockModule);  // recursive: LoadResourceModule takes it again
  if (!g_resource_module) LoadResourceModule();
  return g_resource_module;
}

HMODULE GetResourceInstance() { return GetResourceModule(); }

namespace morva::settings {
void set_module_directory_for_test(LPCWSTR directory) {
  DriverLockGuard g(kLockModule);
  g_module_directory = directory ? std::u16string(directory) : std::u16string();
}
UINT resource_module_count_for_test() {
  DriverLockGuard g(kLockModule);
  return g_resource_count;
}
}  // namespace morva::settings
