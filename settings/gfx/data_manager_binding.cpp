// The graphics library's binding to the settings data manager: loaded from
// this library's folder by the first PDEV, counted, freed by the last.
#include <atomic>
#include <string>

#include "settings/gfx/graphics_module.h"
#include "settings/items/item_access.h"
#include "settings/common/module_state.h"
#include "win/win.h"

namespace {

using GetValueFn = WORD (*)(WORD, void*, void*, WORD*, DWORD*, void*, WORD*);
using SetValueFn = WORD (*)(WORD, void*, void*, WORD, DWORD, const void*);

constexpr UINT kDataManagerNameId = 32766;
// The file name when this module carries no string for it.
constexpr char16_t kDefaultDataManagerName[] = u"morvadat.dll";
constexpr DWORD kModuleDirectoryBytes = 520;
constexpr INT kNameChars = MAX_PATH;
constexpr SIZE_T kExtensionOffset = 1604;
constexpr WORD kTypeString = 6;
constexpr WORD kTypeLogFont = 9;
constexpr WORD kTypeInvalid = 7;

// All of it changes under kSlotDataManager; the bound addresses are read
// without it by callers that hold a reference.
WORD g_count = 0;
HMODULE g_library = nullptr;
std::atomic<GetValueFn> g_get{nullptr};
std::atomic<SetValueFn> g_set{nullptr};

void unbind_locked() {
  g_get.store(nullptr);
  g_set.store(nullptr);
  if (g_library) FreeLibrary(g_library);
  g_library = nullptr;
}

}  // namespace

BOOL LoadDataManager(HMODULE module) {
  LockSlotGuard g(kSlotDataManager);
  if (g_count > 0) {
    if (g_count == 0xFFFF) return FALSE;  // the count would wrap
    ++g_count;
    return TRUE;
  }
  if (!module) return FALSE;
  WCHAR directory[kModuleDirectoryBytes / sizeof(WCHAR)] = {};
  if (!GetModuleDirectory(directory, kModuleDirectoryBytes)) return FALSE;
  WCHAR name[kNameChars + 1] = {};
  std::u16string file = LoadStringW(module, kDataManagerNameId, name, kNameChars + 1) > 0
                            ? std::u16string(name)
                            : std::u16string(kDefaultDataManagerName);
  std::u16string path = std::u16string(directory) + file;
  g_library = LoadLibraryW(path.c_str());
  if (!g_library) return FALSE;
  auto get = morva_proc_as<GetValueFn>(GetProcAddress(g_library, "dma_GetValue"));
  auto set = morva_proc_as<SetValueFn>(GetProcAddress(g_library, "dma_SetValue"));
  if (!get || !set) {
    unbind_locked();
    return FALSE;
  }
  g_get.store(get);
  g_set.store(set);
  g_count = 1;
  return TRUE;
}

void ReleaseDataManager() {
  LockSlotGuard g(kSlotDataManager);
  if (g_count == 0) return;
  if (--g_count == 0) unbind_locked();
}

// For strings and LOGFONT blocks the engine answers an offset into one of
// the caller's stores; the value becomes the address inside that store, so
// the value is pointer-sized here.
WORD GetDdmValue(WORD ddmid, void* devmode, void* printer_data, WORD* type, DWORD* size, DWORD_PTR* value) {
  if (ddmid == kDdmidAlwaysZero) {
    if (!type || !size || !value) return kDdmNotBound;
    *type = 1;
    *size = 4;
    *value = 0;
    return 0;
  }
  GetValueFn get = g_get.load();
  if (!get) return kDdmNotBound;
  // The engine's answers go to locals first so that a call it refuses
  // early leaves the caller's outputs as they were.
  DWORD raw = 0;
  WORD selector = 0;
  WORD answered = kTypeInvalid;
  WORD status = get(ddmid, devmode, printer_data, type ? &answered : nullptr, size, value ? &raw : nullptr, &selector);
  if (type && answered != kTypeInvalid) *type = answered;
  if (!value) return status;
  if (answered == kTypeString || answered == kTypeLogFont) {
    DWORD_PTR base = selector == 0   ? reinterpret_cast<DWORD_PTR>(devmode)
                     : selector == 1 ? reinterpret_cast<DWORD_PTR>(devmode) + kExtensionOffset
                                     : reinterpret_cast<DWORD_PTR>(printer_data);
    *value = base + raw;
  } else if (status == 0) {
    *value = raw;
  }
  return status;
}

WORD SetDdmValue(WORD ddmid, void* devmode, void* printer_data, WORD type, DWORD size, const void* value) {
  SetValueFn set = g_set.load();
  if (!set) return kDdmNotBound;
  return set(ddmid, devmode, printer_data, type, size, value);
}

WORD SetDdmValueByType(WORD ddmid, void* devmode, void* printer_data, WORD type, DWORD value) {
  DWORD size = type >= 1 && type <= 3 ? 2 : type >= 4 && type <= 6 ? 4 : type == 8 ? 1 : 0;
  return SetDdmValue(ddmid, devmode, printer_data, type, size, &value);
}

namespace morva::gfx {
UINT data_manager_count_for_test() {
  LockSlotGuard g(kSlotDataManager);
  return g_count;
}
bool data_manager_loaded_for_test() {
  LockSlotGuard g(kSlotDataManager);
  return g_library != nullptr;
}
}  // namespace morva::gfx

namespace {

// The common settings code's front end over the binding: reads and writes
// go to the loaded data manager, strings come back as addresses inside the
// caller's buffers.
WORD bound_get(WORD ddmid, void* devmode, void* printer_data, WORD* type, DWORD* size, ItemValue* value) {
  DWORD_PTR answer = 0;
  WORD answered = kTypeInvalid;
  const WORD status = GetDdmValue(ddmid, devmode, printer_data, type ? &answered : nullptr, size,
                                  value ? &answer : nullptr);
  if (type && answered != kTypeInvalid) *type = answered;
  if (value) {
    value->raw = 0;
    if (answered == kTypeString || answered == kTypeLogFont)
      value->ptr = reinterpret_cast<const void*>(answer);
    else
      value->dw = static_cast<DWORD>(answer);
  }
  return status;
}

const SettingsFrontEnd kBoundFrontEnd = {bound_get, SetDdmValue};

}  // namespace

void UseDataManagerFrontEnd() { UseSettingsFrontEnd(&kBoundFrontEnd); }
