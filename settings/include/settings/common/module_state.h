// Process-wide module services of the printer-interface library: the module
// handle and directory, the reference-counted resource module, and the
// attach and detach work of the DLL entry.
#pragma once

#include "win/modules.h"
#include "win/types.h"

// The DLL entry of morvaui (in morvaui_entry): attach and detach below;
// other reasons do nothing; always TRUE.
MORVA_EXPORT BOOL WINAPI DllInitialize(HINSTANCE module, DWORD reason, LPVOID reserved);

// Process attach: creates locks 0-6 and records the module handle.
void ModuleProcessAttach(HMODULE module);
// Process detach: frees a resource module still held and deletes the locks.
void ModuleProcessDetach();

// The module handle recorded at attach (under lock 1).
void SetDriverModuleHandle(HMODULE module);
HMODULE GetDriverModuleHandle();

// The directory of this module, ending with a backslash. FALSE for a
// buffer of 519 bytes or less or when the module's path is unknown; the
// copy holds at most size/2 characters and is always terminated.
BOOL GetModuleDirectory(LPWSTR buffer, DWORD size_bytes);

// The resource module "morvares.xrs" beside this module, loaded on the
// first reference and freed when the last one is dropped.
void LoadResourceModule();     // takes one reference (none when loading fails)
void ReleaseResourceModule();  // drops one; a count of 0 stays 0
// The resource module's handle, loading it (and leaving the count at 1)
// when no reference is held. Null when it cannot be loaded.
HMODULE GetResourceModule();
HMODULE GetResourceInstance();

// Holds one resource-module reference for the life of a scope.
class ResourceModuleRef {
 public:
  ResourceModuleRef() { LoadResourceModule(); }
  ~ResourceModuleRef() { ReleaseResourceModule(); }
  ResourceModuleRef(const ResourceModuleRef&) = delete;
  ResourceModuleRef& operator=(const ResourceModuleRef&) = delete;
};

namespace morva::settings {
// Test seams: the module directory (null returns to the module's own) and
// a view of the resource-module reference count.
void set_module_directory_for_test(LPCWSTR directory);
UINT resource_module_count_for_test();
}  // namespace morva::settings

// Texts from the resource module.
// "%s%d" of resource string 16 (at most 32 characters; a built-in text
// when it is missing) and n + 1: the name of user paper n. Returns the
// length written (`out` holds `chars` characters).
INT FormatUserPaperName(INT n, LPWSTR out, INT chars);
// Resource string 5146 (at most 4 characters) as a number; 0 when missing.
BOOL ReadResourceNumber(INT* out);
// TRUE when this process is an IE protected-mode process (Vista and later,
// asked of ieframe.dll); FALSE when that cannot be asked.
BOOL IsIEProtectedModeProcess();
