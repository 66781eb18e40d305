// Client of the security-marking plug-in. The plug-in module is loaded by
// a session's open and freed by its close (or by a failed open); its entry
// points are looked up by name at each call.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>
#include <string>

#include "pi/security_marking.h"
#include "settings/constraints/conflict_check.h"
#include "settings/items/item_access.h"
#include "settings/common/module_state.h"
#include "win/codepage.h"
#include "win/files.h"
#include "win/handles.h"
#include "win/memory.h"
#include "win/modules.h"
#include "win/msgbox.h"
#include "win/registry.h"

namespace {

constexpr char kPluginKey[] = "SOFTWARE\\Selmar Quillan\\Sealmark Basic";
constexpr char kPrintersKey[] = "SOFTWARE\\Selmar Quillan\\Sealmark Basic\\PRINTERS";
constexpr DWORD kCapabilitySealmark = 0xFFFF0024;  // capability bit 36
constexpr DWORD kExtensionVersion = 21072;
constexpr const char* kPdlKeys[] = {"VANTIQ", "PCLXL"};

using LoadLibraryExAFn = HMODULE (*)(LPCSTR, HANDLE, DWORD);
using FreeLibraryFn = BOOL (*)(HMODULE);
using GetProcAddressFn = FARPROC (*)(HMODULE, LPCSTR);

struct Loader {
  LoadLibraryExAFn load = nullptr;
  FreeLibraryFn free = nullptr;
  GetProcAddressFn find = nullptr;
};
Loader g_loader;
HMODULE g_plugin = nullptr;

bool bind_loader() {
  if (g_loader.load) return true;
  if (HMODULE kernel = GetModuleHandleA("KERNEL32.DLL")) {
    g_loader.load = morva_proc_as<LoadLibraryExAFn>(GetProcAddress(kernel, "LoadLibraryExA"));
    g_loader.free = morva_proc_as<FreeLibraryFn>(GetProcAddress(kernel, "FreeLibrary"));
    g_loader.find = morva_proc_as<GetProcAddressFn>(GetProcAddress(kernel, "GetProcAddress"));
  }
  if (!g_loader.load || !g_loader.free || !g_loader.find) g_loader = Loader{};
  return g_loader.load != nullptr;
}

template <class Fn>
Fn entry(const char* name) {
  if (!g_plugin || !g_loader.find) return nullptr;
  return morva_proc_as<Fn>(g_loader.find(g_plugin, name));
}

void free_plugin() {
  if (g_plugin && g_loader.free) g_loader.free(g_plugin);
  g_plugin = nullptr;
}

// The plug-in file named in the registry, when it names one (< 256 bytes).
bool plugin_path(std::string* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPluginKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  char buffer[257] = {};
  DWORD size = 256;
  DWORD type = 0;
  const LSTATUS status =
      RegQueryValueExA(key, "DRVIFInstallPath", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  buffer[size < 256 ? size : 256] = '\0';
  *path = buffer;
  return !path->empty();
}

bool plugin_installed(std::string* path) {
  if (!plugin_path(path)) return false;
  HANDLE file = CreateFileA(path->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE || !file) return false;
  CloseHandle(file);
  return true;
}

bool to_ansi(LPCWSTR text, std::string* out) {
  const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  out->assign(static_cast<size_t>(n), '\0');
  if (WideCharToMultiByte(CP_ACP, 0, text, -1, out->data(), n, nullptr, nullptr) != n) return false;
  out->resize(static_cast<size_t>(n - 1));
  return true;
}

// A value of PRINTERS registers the printer when its name holds "TYPE_"
// and a digit as its sixth character, and its data holds the quoted name
// with the opening quote past the first character.
bool printer_registered(const std::string& printer) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPrintersKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  const std::string quoted = "\"" + printer + "\"";
  bool found = false;
  for (DWORD index = 0; !found; ++index) {
    char16_t wide_name[256];
    DWORD name_chars = 256;
    if (RegEnumValueW(key, index, wide_name, &name_chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    std::string name;
    if (!to_ansi(wide_name, &name)) continue;
    if (name.find("TYPE_") == std::string::npos || name.size() < 6 || name[5] < '0' || name[5] > '9') continue;
    DWORD size = 0;
    DWORD type = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) continue;
    if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
    std::string data(size, '\0');
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
      continue;
    data.resize(std::min<size_t>(size, data.size()));
    data = data.c_str();  // the text ends at its first terminator
    const size_t at = data.find(quoted, 1);
    found = at != std::string::npos;
  }
  RegCloseKey(key);
  return found;
}

void warn_unexpected(HWND window) {
  if (!window) return;
  MessageBoxW(window,
              u"An unexpected error occured.\nChanges on Deterrent Effect settings will be discarded.",
              u"Warning", MB_OK | MB_ICONWARNING);
}

// The setting's value as the plug-in takes it: numbers only.
bool read_setting(WORD ddmid, void* devmode, void* printer_data, DWORD* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &value) != 0) return false;
  switch (type) {
    case 1: case 4: case 10: *out = static_cast<DWORD>(value.l); return true;
    case 5: *out = value.dw; return true;
    case 2: *out = static_cast<DWORD>(static_cast<LONG>(value.s)); return true;
    case 3: *out = value.w; return true;
    case 8: *out = value.b; return true;
    default: return false;
  }
}

}  // namespace

// The conflict check of the common settings code asks the plug-in through
// this check in every library that links the client.
namespace {
[[maybe_unused]] const bool g_check_registered = (SetSecurityMarkingCheck(&Sealmark_IsAvailable), true);
}  // namespace

INT Sealmark_IsAvailable(const DeviceCapabilityBits* bits, LPCWSTR printer) {
  if (!bits || !printer) return kSealmarkBadArgument;
  if (!TestCapabilityBit(bits, kCapabilitySealmark)) return 0;
  std::string path;
  std::string name;
  if (!plugin_installed(&path) || !to_ansi(printer, &name)) return 0;
  return printer_registered(name) ? 1 : 0;
}

INT Sealmark_OpenSession(LPCWSTR text1, LPCWSTR printer, DWORD pdl, SealmarkSession** session) {
  if (!text1 || !printer || !session || pdl >= std::size(kPdlKeys)) return kSealmarkBadArgument;
  *session = nullptr;
  INT number = 0;
  if (!ReadResourceNumber(&number)) return kSealmarkNoResourceNumber;
  std::string text, name;
  if (!to_ansi(text1, &text) || !to_ansi(printer, &name)) return kSealmarkTextConversion;
  std::string path;
  if (!bind_loader() || !plugin_path(&path)) return kSealmarkPluginFailed;
  auto* block = static_cast<SealmarkSession*>(GlobalAlloc(GPTR, sizeof(SealmarkSession)));
  if (!block) return kSealmarkNoMemory;
  // One module slot per process: a module still held is given back only
  // after the new reference is taken, so it is never unloaded under a
  // session still open.
  HMODULE previous = g_plugin;
  g_plugin = g_loader.load(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (previous) g_loader.free(previous);
  auto create = entry<QzwpkCreateHandleFn>("QZWPK_CreateHandle");
  HANDLE handle = create ? create(text.c_str(), name.c_str(), kPdlKeys[pdl], number) : nullptr;
  if (!handle) {
    free_plugin();
    GlobalFree(block);
    return kSealmarkPluginFailed;
  }
  block->handle = handle;
  *session = block;
  return kSealmarkOk;
}

INT Sealmark_CloseSession(SealmarkSession* session) {
  if (!session) return kSealmarkBadArgument;
  INT result = kSealmarkNoHandle;
  if (session->handle) {
    auto release = entry<QzwpkReleaseHandleFn>("QZWPK_ReleaseHandle");
    result = release && release(session->handle) ? kSealmarkOk : kSealmarkPluginFailed;
    free_plugin();
  }
  GlobalFree(session);
  return result;
}

INT Sealmark_GetOutputCount(SealmarkSession* session, const SealmarkSettings* settings, DWORD* count) {
  if (!session || !settings || !count) return kSealmarkBadArgument;
  if (!session->handle) return kSealmarkNoHandle;
  auto set = entry<QzwpkSetWpkSettingsFn>("QZWPK_SetWPKSettings");
  if (!set || !set(session->handle, settings->data, settings->size, settings->extra_data, settings->extra_size))
    return kSealmarkPluginFailed;
  auto outputs = entry<QzwpkGetNumOfOutputsFn>("QZWPK_GetNumOfOutputs");
  const INT n = outputs ? outputs(session->handle) : -1;
  if (n < 0) return kSealmarkPluginFailed;
  session->output_count = static_cast<DWORD>(n);
  *count = static_cast<DWORD>(n);
  return kSealmarkOk;
}

INT Sealmark_CollectDriverSettings(SealmarkSession* session, void* devmode, void* printer_data,
                                   SealmarkIdList* list) {
  if (!session || !devmode || !printer_data || !list) return kSealmarkBadArgument;
  if (!session->handle) return kSealmarkNoHandle;
  list->count = 0;
  list->items = nullptr;
  auto count_ids = entry<QzwpkGetNumOfIdsFn>("QZWPK_GetNumOfIDs");
  const INT n = count_ids ? count_ids(session->handle) : -1;
  // The count is the plug-in's word: it must fit the list's WORD count.
  if (n < 0 || n > 0xFFFF) return kSealmarkPluginFailed;
  if (n == 0) return kSealmarkEmptyList;
  auto* items = new (std::nothrow) SealmarkIdItem[static_cast<size_t>(n)];
  if (!items) return kSealmarkNoMemory;
  for (INT i = 0; i < n; ++i) items[i] = SealmarkIdItem{sizeof(SealmarkIdItem), 0, 0, 0};
  auto get_ids = entry<QzwpkGetIdListFn>("QZWPK_GetIDList");
  if (!get_ids || !get_ids(session->handle, items)) {
    delete[] items;
    return kSealmarkPluginFailed;
  }
  for (INT i = 0; i < n; ++i) {
    WORD ddmid = 0;
    if (!MapLegacyCode(items[i].id, &ddmid, kExtensionVersion)) {
      delete[] items;
      return kSealmarkMappingFailed;
    }
    if (!read_setting(ddmid, devmode, printer_data, &items[i].value)) {
      delete[] items;
      return kSealmarkSettingUnreadable;
    }
  }
  list->count = static_cast<WORD>(n);
  list->items = items;
  return kSealmarkOk;
}

INT Sealmark_SetDriverSettings(SealmarkSession* session, SealmarkIdList* list) {
  if (!session || !list) return kSealmarkBadArgument;
  if (!session->handle) return kSealmarkNoHandle;
  auto set = entry<QzwpkSetDriverSettingsFn>("QZWPK_SetDriverSettings");
  return set && set(session->handle, list->items) ? kSealmarkOk : kSealmarkPluginFailed;
}

INT Sealmark_CheckConflict(HWND window, SealmarkSession* session, SealmarkIdList* list,
                           const SealmarkSettings* settings) {
  if (!session || !list || !settings) return kSealmarkBadArgument;
  if (!session->handle) return kSealmarkNoHandle;
  auto check = entry<QzwpkCheckConflictFn>("QZWPK_CheckConflict");
  const INT answer = check ? check(session->handle, list->items, settings->data, settings->size, window) : -1;
  if (answer == 1) return kSealmarkOk;
  if (answer == 0) return kSealmarkConflict;
  if (answer == -1) {
    warn_unexpected(window);
    return kSealmarkPluginError;
  }
  return kSealmarkPluginFailed;
}

INT Sealmark_ShowSettingsUI(HWND window, SealmarkSession* session, const SealmarkSettings* settings,
                            DWORD* blob_size, BYTE** blob, BYTE* changed) {
  if (!session || !settings || !blob_size || !blob || !changed) return kSealmarkBadArgument;
  if (!session->handle) return kSealmarkNoHandle;
  auto size_of = entry<QzwpkGetSizeOfSettingsFn>("QZWPK_GetSizeOfSettings");
  const INT size = size_of ? size_of(session->handle) : -1;
  if (size <= 0) return kSealmarkMappingFailed;
  auto* buffer = new (std::nothrow) BYTE[static_cast<size_t>(size)]();
  if (!buffer) return kSealmarkNoMemory;
  auto set = entry<QzwpkSetWpkSettingsFn>("QZWPK_SetWPKSettings");
  if (!set || !set(session->handle, settings->data, settings->size, nullptr, 0)) {
    delete[] buffer;
    return kSealmarkPluginFailed;
  }
  auto display = entry<QzwpkDisplayUiFn>("QZWPK_DisplayUI");
  BYTE flag = 0;
  const INT answer = display ? display(session->handle, window, buffer, static_cast<DWORD>(size), &flag) : -1;
  if (answer == 1) {
    *blob = buffer;
    *blob_size = static_cast<DWORD>(size);
    *changed = flag;
    return kSealmarkChanged;
  }
  delete[] buffer;
  if (answer == 2) return kSealmarkCancelled;
  if (answer == -1) {
    warn_unexpected(window);
    return kSealmarkPluginError;
  }
  return kSealmarkPluginFailed;
}

INT Sealmark_FreeIdList(SealmarkIdList* list) {
  if (!list) return kSealmarkBadArgument;
  delete[] list->items;
  list->items = nullptr;
  list->count = 0;
  return kSealmarkOk;
}

namespace morva::pi {
HMODULE sealmark_module_for_test() { return g_plugin; }
}  // namespace morva::pi
