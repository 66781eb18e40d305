// What the database reader needs from its host module and the platform:
// lock 0 of the driver's lock table, the module directory, ANSI-to-UTF-16
// conversion, whole-file reads and string libraries. Kept in one place so
// that each can follow the module's own services as they arrive.
#pragma once

#include <string>

#include "win/types.h"

// Lock 0 of the module: loading of database files and the process-wide
// format level.
void DddEnterLock();
void DddLeaveLock();

// The module directory, ending with a separator; FALSE when unknown.
BOOL DddGetModuleDirectory(WCHAR* buffer, DWORD bytes);

// Converts `length` ANSI bytes (no terminator needed) to a GlobalAlloc'ed,
// zero-terminated UTF-16 text; null when out of memory. `chars` receives the
// number of characters without the terminator.
WCHAR* DddAnsiToWide(const char* text, DWORD length, DWORD* chars);

// Reads the whole file at `path` into a zeroed GlobalAlloc'ed block.
// 0 success, 1 the file cannot be opened or read, 4 out of memory.
WORD DddReadWholeFile(LPCWSTR path, BYTE** image, DWORD* size);

// String libraries are resource modules: loaded by path (LoadLibraryExW
// with DONT_RESOLVE_DLL_REFERENCES | LOAD_WITH_ALTERED_SEARCH_PATH), read
// with LoadStringW (at most `chars` characters including the terminator;
// the number copied, 0 when the library has no such string), freed.
HMODULE DddLoadStringLibrary(LPCWSTR path);
int DddLoadLibraryString(HMODULE library, UINT id, WCHAR* buffer, int chars);
void DddFreeStringLibrary(HMODULE library);

namespace morva::settings {
// Test hook: the directory that string libraries are loaded from (a native
// path or a Windows path); empty returns to the module's own directory.
void ddd_set_module_directory(const std::u16string& directory);

}  // namespace morva::settings
