// Modules: shared libraries loaded by their Windows names, data files
// loaded for their resources, and built-in stand-ins of system DLLs.
//
// "x.dll" is the file "libx.so" (the exact name is tried first). A bare
// name is looked for, in order, in the folder of the calling library, the
// folder of the platform library (the build's bin folder), the program's
// folder, the machine's System32 and Windows folders and the top of the
// machine root; a built-in module of that name answers when no file does.
// A name with a path is taken as it stands. A bare name that a loaded
// library already answers gives that library, wherever it came from. A library's exported
// "DllMain", when it has one, is called on first load and last free.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "win/types.h"

#define DONT_RESOLVE_DLL_REFERENCES 0x00000001u
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002u
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008u
#define LOAD_IGNORE_CODE_AUTHZ_LEVEL 0x00000010u
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020u
#define LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE 0x00000040u
#define LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR 0x00000100u
#define LOAD_LIBRARY_SEARCH_APPLICATION_DIR 0x00000200u
#define LOAD_LIBRARY_SEARCH_USER_DIRS 0x00000400u
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800u
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000u

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001u
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002u
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004u

#define DLL_PROCESS_DETACH 0u
#define DLL_PROCESS_ATTACH 1u
#define DLL_THREAD_ATTACH 2u
#define DLL_THREAD_DETACH 3u

extern "C" {
MORVA_WIN_API HMODULE LoadLibraryW(LPCWSTR name);
MORVA_WIN_API HMODULE LoadLibraryA(LPCSTR name);
// Data-file loads (LOAD_LIBRARY_AS_DATAFILE, _EXCLUSIVE, AS_IMAGE_RESOURCE)
// map any file; its bytes are available through module_image. A file that
// is no shared library loaded with DONT_RESOLVE_DLL_REFERENCES is loaded
// the same way, for its resources.
MORVA_WIN_API HMODULE LoadLibraryExW(LPCWSTR name, HANDLE file, DWORD flags);
MORVA_WIN_API HMODULE LoadLibraryExA(LPCSTR name, HANDLE file, DWORD flags);
MORVA_WIN_API BOOL FreeLibrary(HMODULE module);
// Only the module's own exports are found, never those of its dependencies.
// A decorated name with '@' ("_f@28"), which a shared library cannot
// export, is found under the same name with '$' in its place ("_f$28").
MORVA_WIN_API FARPROC GetProcAddress(HMODULE module, LPCSTR name);
MORVA_WIN_API HMODULE GetModuleHandleW(LPCWSTR name);
MORVA_WIN_API HMODULE GetModuleHandleA(LPCSTR name);
// With GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, `name` is an address inside
// the module. Unless UNCHANGED_REFCOUNT is given, a module loaded through
// LoadLibrary gains a reference that FreeLibrary must give back.
MORVA_WIN_API BOOL GetModuleHandleExW(DWORD flags, LPCWSTR name, HMODULE* module);
MORVA_WIN_API BOOL DisableThreadLibraryCalls(HMODULE module);
// The Windows name of the module's file (see windows_path); truncated to
// size-1 characters with ERROR_INSUFFICIENT_BUFFER when it does not fit.
MORVA_WIN_API DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);
MORVA_WIN_API DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
}

namespace morva::platform {

struct BuiltinExport {
  const char* name;
  FARPROC proc;
};

// Makes `name` ("ws2_32.dll") a built-in module with these exports; a
// second registration of the same name replaces the exports. Built-in
// modules are always loaded, as the system's own DLLs are.
MORVA_WIN_API HMODULE register_builtin_module(std::u16string_view name, const std::vector<BuiltinExport>& exports);
// Removes a built-in module (tests of callers that must cope without it).
MORVA_WIN_API void unregister_builtin_module(std::u16string_view name);

// The bytes of a data-file module; false for any other module.
MORVA_WIN_API bool module_image(HMODULE module, const BYTE** data, SIZE_T* size);

// The module (loaded shared library or program) holding an address, e.g.
// a library's own HMODULE from the address of one of its functions.
MORVA_WIN_API HMODULE module_from_address(const void* address);

// The native path of a module's file; empty for built-in modules.
MORVA_WIN_API std::string module_native_path(HMODULE module);

// Why the last failed load on this thread failed, as the loader said.
MORVA_WIN_API std::string last_load_error();

}  // namespace morva::platform

// Casts between any function and FARPROC (through void(*)(), which the
// compiler accepts as the generic function pointer).
template <class F>
inline FARPROC morva_proc(F* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}
template <class F>
inline F morva_proc_as(FARPROC proc) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
}
