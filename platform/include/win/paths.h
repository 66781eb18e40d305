// Windows paths inside the machine root. Drive X: is the folder
// "<root>/drive_x" (C: is "<root>/drive_c"); drive Z: is the host's whole
// file system, so native files outside the root (the build's libraries)
// still have a Windows name; "\\server\share\x" is "<root>/unc/server/share/x".
// Both separators are accepted, "." and ".." are resolved, trailing dots
// and blanks of a name are dropped, and each existing name is looked up
// case-insensitively as Windows does.
#pragma once

#include <string>
#include <string_view>

#include "win/types.h"

extern "C" {
MORVA_WIN_API DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer);
MORVA_WIN_API BOOL SetCurrentDirectoryW(LPCWSTR path);
MORVA_WIN_API DWORD GetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR buffer, LPWSTR* filePart);
}

namespace morva::platform {

// The absolute Windows form of a path ("C:\a\b"), relative paths taken
// from the current directory. False with *error set (ERROR_INVALID_NAME,
// ERROR_PATH_NOT_FOUND) for a path that names nothing.
MORVA_WIN_API bool full_windows_path(std::u16string_view path, std::u16string* out, DWORD* error = nullptr);

// The native path a Windows path stands for, existing names spelt as they
// are on disk. False with *error set when the path is invalid or there is
// no machine root for its drive.
MORVA_WIN_API bool native_path(std::u16string_view path, std::string* out, DWORD* error = nullptr);
// As above; empty on failure.
MORVA_WIN_API std::string native_path(std::u16string_view path);

// The Windows name of a native path: "C:\..." inside the root's drive_c
// (likewise for other drives), "Z:\..." elsewhere.
MORVA_WIN_API std::u16string windows_path(const std::string& native);

// Copies text into a caller's buffer with the GetTempPath-style contract:
// the length without the 0 when it fits, else the size needed with the 0.
MORVA_WIN_API DWORD copy_out_string(std::u16string_view text, LPWSTR buffer, DWORD size);

}  // namespace morva::platform
