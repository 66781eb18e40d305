#include "win/modules.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>

#include "win/codepage.h"
#include "win/errors.h"
#include "win/machine_root.h"
#include "win/machine_settings.h"
#include "win/paths.h"
#include "win/strings.h"
#include "win/sysinfo.h"

namespace morva::platform {
namespace {

using DllMainProc = BOOL (*)(HINSTANCE, DWORD, LPVOID);

struct Module {
  enum Kind { kNative, kBuiltin, kData } kind;
  HMODULE handle = nullptr;
  int refs = 0;
  std::string native;   // file of a native or data module
  std::u16string name;  // built-in name, lower case
  void* dl = nullptr;
  std::unique_ptr<BYTE[]> bytes;
  SIZE_T size = 0;
  std::map<std::string, FARPROC, std::less<>> exports;
};

// The loader lock: recursive, as DllMain and library constructors may
// load further modules. Lock and table are never destroyed, so libraries
// may still free modules from their exit handlers.
std::recursive_mutex& lock() {
  static auto* m = new std::recursive_mutex;
  return *m;
}
std::vector<std::unique_ptr<Module>>& modules() {
  static auto* table = new std::vector<std::unique_ptr<Module>>;
  return *table;
}
thread_local std::string t_load_error;

std::u16string lower(std::u16string_view s) { return u16_to_lower(s); }

bool ends_with_ci(std::u16string_view s, std::u16string_view tail) {
  return s.size() >= tail.size() && u16_iequal(s.substr(s.size() - tail.size()), tail);
}

std::u16string base_name(std::u16string_view path) {
  size_t cut = path.find_last_of(u"\\/");
  return std::u16string(cut == std::u16string_view::npos ? path : path.substr(cut + 1));
}

// "x.dll" and "x" stand for "x.dll"; the built-in table uses that form.
std::u16string builtin_key(std::u16string_view name) {
  std::u16string b = lower(base_name(name));
  if (b.find(u'.') == std::u16string::npos) b += u".dll";
  return b;
}

// Whether a native file name (libx.so, x.dll, ...) answers a Windows name.
bool file_answers(const std::string& native_file, std::u16string_view wanted) {
  std::u16string file = lower(utf8_to_u16(std::filesystem::path(native_file).filename().string()));
  std::u16string want = lower(base_name(wanted));
  if (file == want) return true;
  std::u16string stem = want;
  if (ends_with_ci(stem, u".dll"))
    stem.resize(stem.size() - 4);
  else if (stem.find(u'.') != std::u16string::npos)
    return false;
  return file == u"lib" + stem + u".so";
}

HMODULE base_of(const link_map* lm) {
  Dl_info info{};
  if (lm && dladdr(lm->l_ld, &info) && info.dli_fbase) return static_cast<HMODULE>(info.dli_fbase);
  return nullptr;
}

HMODULE base_of_handle(void* dl) {
  link_map* lm = nullptr;
  if (dlinfo(dl, RTLD_DI_LINKMAP, &lm) != 0) return nullptr;
  return base_of(lm);
}

std::string dir_of_address(const void* address) {
  Dl_info info{};
  if (!address || !dladdr(address, &info) || !info.dli_fname || !*info.dli_fname) return {};
  std::string f = info.dli_fname;
  if (f.find('/') == std::string::npos) return {};
  return std::filesystem::path(f).parent_path().string();
}

std::string program_path() {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
}

// Loaded objects the dynamic linker knows of, with their base and file.
struct LoadedObject {
  HMODULE base;
  std::string path;
};
std::vector<LoadedObject> loaded_objects() {
  std::vector<LoadedObject> out;
  void* self = dlopen(nullptr, RTLD_NOW);
  link_map* lm = nullptr;
  if (self && dlinfo(self, RTLD_DI_LINKMAP, &lm) == 0) {
    while (lm && lm->l_prev) lm = lm->l_prev;
    for (; lm; lm = lm->l_next) {
      HMODULE base = base_of(lm);
      std::string path = (lm->l_name && *lm->l_name) ? lm->l_name : program_path();
      if (base) out.push_back({base, path});
    }
  }
  if (self) dlclose(self);
  return out;
}

Module* find_by_handle(HMODULE h) {
  for (auto& m : modules())
    if (m->handle == h) return m.get();
  return nullptr;
}

Module* find_builtin(std::u16string_view name) {
  std::u16string key = builtin_key(name);
  for (auto& m : modules())
    if (m->kind == Module::kBuiltin && m->name == key) return m.get();
  return nullptr;
}

bool is_file(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool is_elf(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  char magic[4] = {};
  in.read(magic, 4);
  return in.gcount() == 4 && std::memcmp(magic, "\x7f" "ELF", 4) == 0;
}

// Candidate file names in one native folder for a Windows module name.
void add_candidates(const std::string& dir, std::u16string_view name, std::vector<std::string>* out) {
  if (dir.empty()) return;
  std::string exact = u16_to_utf8(name);
  std::u16string stem(name);
  bool has_ext = stem.find(u'.') != std::u16string::npos;
  if (ends_with_ci(stem, u".dll")) stem.resize(stem.size() - 4);
  out->push_back(dir + "/" + exact);
  if (!has_ext) out->push_back(dir + "/" + exact + ".dll");
  if (!has_ext || ends_with_ci(name, u".dll")) {
    out->push_back(dir + "/lib" + u16_to_utf8(stem) + ".so");
    out->push_back(dir + "/lib" + u16_to_utf8(lower(stem)) + ".so");
  }
}

// The native file a Windows module name resolves to; empty when none.
std::string resolve_file(std::u16string_view name, const void* caller) {
  std::vector<std::string> candidates;
  if (name.find_first_of(u"\\/:") != std::u16string_view::npos) {
    std::string native;
    if (!native_path(name, &native)) return {};
    std::string dir = std::filesystem::path(native).parent_path().string();
    add_candidates(dir, utf8_to_u16(std::filesystem::path(native).filename().string()), &candidates);
  } else {
    std::vector<std::string> dirs = {dir_of_address(caller), dir_of_address(reinterpret_cast<const void*>(&LoadLibraryW)),
                                     std::filesystem::path(program_path()).parent_path().string()};
    std::u16string windir = utf8_to_u16(machine_setting("windows_dir", "C:\\Windows"));
    dirs.push_back(native_path(windir + u"\\System32"));
    dirs.push_back(native_path(windir));
    dirs.push_back(machine_root());
    for (const auto& d : dirs) add_candidates(d, name, &candidates);
  }
  for (const auto& c : candidates)
    if (is_file(c)) return std::filesystem::weakly_canonical(c).string();
  return {};
}

void fail(DWORD error, std::string why) {
  t_load_error = std::move(why);
  SetLastError(error);
}

HMODULE load_data(const std::string& native) {
  for (auto& m : modules())
    if (m->kind == Module::kData && m->native == native) {
      ++m->refs;
      return m->handle;
    }
  std::ifstream in(native, std::ios::binary | std::ios::ate);
  if (!in) {
    fail(ERROR_ACCESS_DENIED, "cannot read " + native);
    return nullptr;
  }
  auto m = std::make_unique<Module>();
  m->kind = Module::kData;
  m->native = native;
  m->size = static_cast<SIZE_T>(in.tellg());
  m->bytes.reset(new (std::nothrow) BYTE[m->size + 1]);
  if (!m->bytes) {
    fail(ERROR_NOT_ENOUGH_MEMORY, "out of memory");
    return nullptr;
  }
  in.seekg(0);
  in.read(reinterpret_cast<char*>(m->bytes.get()), static_cast<std::streamsize>(m->size));
  if (static_cast<SIZE_T>(in.gcount()) != m->size) {
    fail(ERROR_READ_FAULT, "short read of " + native);
    return nullptr;
  }
  // A data-file handle has its low bit set, as on Windows, so it is never
  // mistaken for a loaded library.
  m->handle = reinterpret_cast<HMODULE>(m->bytes.get() + 1);
  m->refs = 1;
  HMODULE h = m->handle;
  modules().push_back(std::move(m));
  return h;
}

DllMainProc own_dll_main(void* dl, HMODULE base) {
  void* sym = dlsym(dl, "DllMain");
  Dl_info info{};
  if (!sym || !dladdr(sym, &info) || info.dli_fbase != base) return nullptr;
  return reinterpret_cast<DllMainProc>(reinterpret_cast<void (*)()>(reinterpret_cast<UINT_PTR>(sym)));
}

HMODULE load_native(const std::string& native) {
  void* dl = dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!dl) {
    const char* why = dlerror();
    fail(ERROR_MOD_NOT_FOUND, why ? why : "dlopen failed");
    return nullptr;
  }
  HMODULE base = base_of_handle(dl);
  for (auto& m : modules())
    if (m->kind == Module::kNative && m->handle == base) {
      dlclose(dl);  // the table already holds one reference
      ++m->refs;
      return m->handle;
    }
  auto m = std::make_unique<Module>();
  m->kind = Module::kNative;
  m->native = native;
  m->dl = dl;
  m->handle = base;
  m->refs = 1;
  Module* raw = m.get();
  modules().push_back(std::move(m));
  if (DllMainProc entry = own_dll_main(dl, base)) {
    if (!entry(base, DLL_PROCESS_ATTACH, nullptr)) {
      for (auto it = modules().begin(); it != modules().end(); ++it)
        if (it->get() == raw) {
          modules().erase(it);
          break;
        }
      dlclose(dl);
      fail(ERROR_DLL_INIT_FAILED, native + ": DllMain refused to attach");
      return nullptr;
    }
  }
  return base;
}

HMODULE load(std::u16string_view name, DWORD flags, const void* caller) {
  if (name.empty()) {
    fail(ERROR_INVALID_PARAMETER, "empty name");
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> g(lock());
  bool as_data = flags & (LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!as_data && name.find_first_of(u"\\/:") == std::u16string_view::npos) {
    // As on Windows, a bare name that a loaded library already answers is
    // that library, wherever it was loaded from: never a second copy.
    for (auto& m : modules())
      if (m->kind == Module::kNative && file_answers(m->native, name)) {
        ++m->refs;
        return m->handle;
      }
  }
  std::string file = resolve_file(name, caller);
  if (file.empty()) {
    if (!as_data) {
      if (Module* b = find_builtin(name)) {
        ++b->refs;
        return b->handle;
      }
    }
    fail(ERROR_MOD_NOT_FOUND, "no module file for " + u16_to_utf8(name));
    return nullptr;
  }
  if (as_data) return load_data(file);
  if (!is_elf(file)) {
    if (flags & DONT_RESOLVE_DLL_REFERENCES) return load_data(file);
    fail(ERROR_BAD_EXE_FORMAT, file + " is not a shared library");
    return nullptr;
  }
  return load_native(file);
}

HMODULE main_module() {
  void* self = dlopen(nullptr, RTLD_NOW);
  HMODULE base = self ? base_of_handle(self) : nullptr;
  if (self) dlclose(self);
  return base;
}

std::string path_of(HMODULE h) {
  if (!h) return program_path();
  {
    std::lock_guard<std::recursive_mutex> g(lock());
    if (Module* m = find_by_handle(h)) return m->native;
  }
  for (const auto& o : loaded_objects())
    if (o.base == h) return o.path;
  return {};
}

}  // namespace

HMODULE register_builtin_module(std::u16string_view name, const std::vector<BuiltinExport>& exports) {
  std::lock_guard<std::recursive_mutex> g(lock());
  Module* m = find_builtin(name);
  if (!m) {
    auto fresh = std::make_unique<Module>();
    fresh->kind = Module::kBuiltin;
    fresh->name = builtin_key(name);
    fresh->handle = reinterpret_cast<HMODULE>(fresh.get());
    fresh->refs = 1;
    m = fresh.get();
    modules().push_back(std::move(fresh));
  }
  m->exports.clear();
  for (const auto& e : exports)
    if (e.name) m->exports[e.name] = e.proc;
  return m->handle;
}

void unregister_builtin_module(std::u16string_view name) {
  std::lock_guard<std::recursive_mutex> g(lock());
  Module* m = find_builtin(name);
  for (auto it = modules().begin(); it != modules().end(); ++it)
    if (it->get() == m) {
      modules().erase(it);
      return;
    }
}

bool module_image(HMODULE module, const BYTE** data, SIZE_T* size) {
  std::lock_guard<std::recursive_mutex> g(lock());
  Module* m = find_by_handle(module);
  if (!m || m->kind != Module::kData) return false;
  if (data) *data = m->bytes.get();
  if (size) *size = m->size;
  return true;
}

HMODULE module_from_address(const void* address) {
  Dl_info info{};
  if (!address || !dladdr(address, &info)) return nullptr;
  return static_cast<HMODULE>(info.dli_fbase);
}

std::string module_native_path(HMODULE module) { return path_of(module); }

std::string last_load_error() { return t_load_error; }

}  // namespace morva::platform

using namespace morva::platform;

extern "C" {

HMODULE LoadLibraryExW(LPCWSTR name, HANDLE, DWORD flags) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return load(morva::u16view(name), flags, __builtin_return_address(0));
}

HMODULE LoadLibraryW(LPCWSTR name) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return load(morva::u16view(name), 0, __builtin_return_address(0));
}

HMODULE LoadLibraryExA(LPCSTR name, HANDLE, DWORD flags) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return load(morva::ansi_to_u16(name), flags, __builtin_return_address(0));
}

HMODULE LoadLibraryA(LPCSTR name) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return load(morva::ansi_to_u16(name), 0, __builtin_return_address(0));
}

BOOL FreeLibrary(HMODULE module) {
  std::unique_lock<std::recursive_mutex> g(lock());
  Module* m = find_by_handle(module);
  if (!m) {
    for (const auto& o : loaded_objects())
      if (o.base == module && module) return TRUE;  // linked at start-up: never unloaded
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (m->kind == Module::kBuiltin) {
    if (m->refs > 1) --m->refs;
    return TRUE;
  }
  if (--m->refs > 0) return TRUE;
  void* dl = m->dl;
  HMODULE base = m->handle;
  DllMainProc entry = dl ? own_dll_main(dl, base) : nullptr;
  for (auto it = modules().begin(); it != modules().end(); ++it)
    if (it->get() == m) {
      modules().erase(it);
      break;
    }
  if (entry) entry(base, DLL_PROCESS_DETACH, nullptr);
  if (dl) dlclose(dl);
  return TRUE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  if (!name || reinterpret_cast<UINT_PTR>(name) < 0x10000) {
    // No module here exports by ordinal.
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  if (!module) module = main_module();
  std::string path;
  {
    std::lock_guard<std::recursive_mutex> g(lock());
    if (Module* m = find_by_handle(module)) {
      if (m->kind == Module::kBuiltin) {
        auto it = m->exports.find(name);
        if (it != m->exports.end()) return it->second;
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
      }
      if (m->kind == Module::kData) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
      }
      void* sym = dlsym(m->dl, name);
      if (!sym && std::strchr(name, '@')) {
        // A shared library cannot export a name holding '@' (the linker
        // reads it as a symbol version): such a name ("_f@28") is exported
        // with '$' in its place ("_f$28").
        std::string elf_name = name;
        std::replace(elf_name.begin(), elf_name.end(), '@', '$');
        sym = dlsym(m->dl, elf_name.c_str());
      }
      Dl_info info{};
      if (sym && dladdr(sym, &info) && info.dli_fbase == module) return reinterpret_cast<FARPROC>(sym);
      SetLastError(ERROR_PROC_NOT_FOUND);
      return nullptr;
    }
  }
  // A library or program linked at start-up.
  path = path_of(module);
  if (path.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  void* dl = module == main_module() ? dlopen(nullptr, RTLD_NOW) : dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  void* sym = dl ? dlsym(dl, name) : nullptr;
  if (dl) dlclose(dl);
  Dl_info info{};
  if (sym && dladdr(sym, &info) && info.dli_fbase == module) return reinterpret_cast<FARPROC>(sym);
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

HMODULE GetModuleHandleW(LPCWSTR name) {
  if (!name) return main_module();
  std::u16string_view want = morva::u16view(name);
  bool has_path = want.find_first_of(u"\\/:") != std::u16string_view::npos;
  std::string want_native = has_path ? native_path(want) : std::string();
  {
    std::lock_guard<std::recursive_mutex> g(lock());
    for (auto& m : modules()) {
      if (m->kind == Module::kData) continue;  // data files are not modules to this call
      if (m->kind == Module::kBuiltin) {
        if (!has_path && m->name == builtin_key(want)) return m->handle;
        continue;
      }
      if (has_path ? m->native == want_native : file_answers(m->native, want)) return m->handle;
    }
  }
  for (const auto& o : loaded_objects())
    if (has_path ? o.path == want_native : file_answers(o.path, want)) return o.base;
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

BOOL GetModuleHandleExW(DWORD flags, LPCWSTR name, HMODULE* module) {
  if (!module) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *module = nullptr;
  if ((flags & GET_MODULE_HANDLE_EX_FLAG_PIN) && (flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  HMODULE h = (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) ? module_from_address(name) : GetModuleHandleW(name);
  if (!h) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  if (!(flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT)) {
    std::lock_guard<std::recursive_mutex> g(lock());
    if (Module* m = find_by_handle(h); m && m->kind == Module::kNative) m->refs += (flags & GET_MODULE_HANDLE_EX_FLAG_PIN) ? 1 << 20 : 1;
  }
  *module = h;
  return TRUE;
}

BOOL DisableThreadLibraryCalls(HMODULE) { return TRUE; }  // thread notifications are never sent

HMODULE GetModuleHandleA(LPCSTR name) {
  if (!name) return main_module();
  std::u16string wide = morva::ansi_to_u16(name);
  return GetModuleHandleW(wide.c_str());
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
  std::u16string name;
  {
    std::lock_guard<std::recursive_mutex> g(lock());
    Module* m = find_by_handle(module);
    if (m && m->kind == Module::kBuiltin) {
      name = morva::utf8_to_u16(machine_setting("windows_dir", "C:\\Windows")) + u"\\System32\\" + m->name;
    }
  }
  if (name.empty()) {
    std::string path = path_of(module);
    if (path.empty()) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return 0;
    }
    name = windows_path(path);
  }
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (name.size() < size) {
    std::memcpy(buffer, name.c_str(), (name.size() + 1) * 2);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(name.size());
  }
  std::memcpy(buffer, name.data(), (size - 1) * 2);
  buffer[size - 1] = 0;
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  WCHAR wide[4096];
  DWORD n = GetModuleFileNameW(module, wide, 4096);
  if (!n) return 0;
  std::string text = morva::u16_to_ansi(std::u16string_view(wide, n));
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (text.size() < size) {
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
  }
  std::memcpy(buffer, text.data(), size - 1);
  buffer[size - 1] = 0;
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

}  // extern "C"

namespace {
// KERNEL32 is always there: its loader functions are what callers bind at
// run time before anything else.
const HMODULE g_kernel32 = register_builtin_module(
    u"kernel32.dll", {{"LoadLibraryA", morva_proc(&LoadLibraryA)},
                      {"LoadLibraryW", morva_proc(&LoadLibraryW)},
                      {"LoadLibraryExA", morva_proc(&LoadLibraryExA)},
                      {"LoadLibraryExW", morva_proc(&LoadLibraryExW)},
                      {"FreeLibrary", morva_proc(&FreeLibrary)},
                      {"GetProcAddress", morva_proc(&GetProcAddress)},
                      {"GetModuleHandleA", morva_proc(&GetModuleHandleA)},
                      {"GetModuleHandleW", morva_proc(&GetModuleHandleW)},
                      {"GetModuleFileNameA", morva_proc(&GetModuleFileNameA)},
                      {"GetModuleFileNameW", morva_proc(&GetModuleFileNameW)},
                      {"GetVersionExA", morva_proc(&GetVersionExA)},
                      {"GetVersionExW", morva_proc(&GetVersionExW)},
                      {"GetLastError", morva_proc(&GetLastError)},
                      {"SetLastError", morva_proc(&SetLastError)}});
}  // namespace
