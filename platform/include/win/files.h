// Files and folders of the machine root through Windows paths (see
// win/paths.h). Sharing modes are enforced between the handles of this
// process. The read-only attribute is a file without its owner-write bit;
// it is honoured even for a privileged user.
#pragma once

#include "win/handles.h"
#include "win/types.h"

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define DELETE 0x00010000u
#define FILE_READ_DATA 0x0001u
#define FILE_WRITE_DATA 0x0002u
#define FILE_APPEND_DATA 0x0004u
#define FILE_READ_ATTRIBUTES 0x0080u
#define FILE_WRITE_ATTRIBUTES 0x0100u

#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define FILE_FLAG_NO_BUFFERING 0x20000000u
#define FILE_FLAG_RANDOM_ACCESS 0x10000000u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000u
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u

#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu

#define FILE_TYPE_UNKNOWN 0u
#define FILE_TYPE_DISK 1u

#define MOVEFILE_REPLACE_EXISTING 0x1u
#define MOVEFILE_COPY_ALLOWED 0x2u
#define MOVEFILE_WRITE_THROUGH 0x8u

// Full definition with the other security types where they are declared.
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

struct OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
};
using LPOVERLAPPED = OVERLAPPED*;

struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
};
using LPWIN32_FIND_DATAW = WIN32_FIND_DATAW*;
static_assert(sizeof(WIN32_FIND_DATAW) == 592);
static_assert(offsetof(WIN32_FIND_DATAW, cFileName) == 44);

struct WIN32_FILE_ATTRIBUTE_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
};
static_assert(sizeof(WIN32_FILE_ATTRIBUTE_DATA) == 36);
enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard = 0, GetFileExMaxInfoLevel = 1 };

extern "C" {
// A synchronous handle: an OVERLAPPED, when given, only names the offset.
MORVA_WIN_API HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
MORVA_WIN_API HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
MORVA_WIN_API BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD read, LPOVERLAPPED overlapped);
// A write that cannot be completed (disk full, device error) fails with the
// Windows error; *written then holds what did reach the file.
MORVA_WIN_API BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytes, LPDWORD written, LPOVERLAPPED overlapped);
MORVA_WIN_API DWORD SetFilePointer(HANDLE file, LONG distance, LPLONG distanceHigh, DWORD method);
MORVA_WIN_API BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* newPosition, DWORD method);
MORVA_WIN_API DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
MORVA_WIN_API BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);
MORVA_WIN_API BOOL SetEndOfFile(HANDLE file);
MORVA_WIN_API BOOL FlushFileBuffers(HANDLE file);
MORVA_WIN_API DWORD GetFileType(HANDLE file);
MORVA_WIN_API BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite);
// The creation time cannot be set on this file system and is left as is.
MORVA_WIN_API BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                               const FILETIME* lastWrite);

MORVA_WIN_API BOOL DeleteFileW(LPCWSTR name);
MORVA_WIN_API BOOL MoveFileW(LPCWSTR existing, LPCWSTR newName);
MORVA_WIN_API BOOL MoveFileExW(LPCWSTR existing, LPCWSTR newName, DWORD flags);
MORVA_WIN_API BOOL CopyFileW(LPCWSTR existing, LPCWSTR newName, BOOL failIfExists);
MORVA_WIN_API DWORD GetFileAttributesW(LPCWSTR name);
MORVA_WIN_API DWORD GetFileAttributesA(LPCSTR name);
MORVA_WIN_API BOOL SetFileAttributesW(LPCWSTR name, DWORD attributes);
MORVA_WIN_API BOOL GetFileAttributesExW(LPCWSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID info);
MORVA_WIN_API BOOL CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES security);
MORVA_WIN_API BOOL RemoveDirectoryW(LPCWSTR name);

// Names in a folder matching * and ? (case-insensitive; "*.*" and "x.*"
// also match names without a dot); "." and ".." are listed outside a
// drive's root, as on Windows.
MORVA_WIN_API HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
MORVA_WIN_API BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data);
MORVA_WIN_API BOOL FindClose(HANDLE find);

// TMP, else TEMP, else the Windows folder, with a final backslash; the
// folder is created in the machine root when missing.
MORVA_WIN_API DWORD GetTempPathW(DWORD size, LPWSTR buffer);
// "<path>\<up to 3 prefix characters><hex number>.tmp"; with unique 0 a
// free number is found and the file created empty.
MORVA_WIN_API UINT GetTempFileNameW(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR tempFileName);
// The machine's Windows folder (setting "windows_dir", "C:\Windows") and
// its System32 folder; both exist in the machine root once asked for.
MORVA_WIN_API UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size);
MORVA_WIN_API UINT GetSystemWindowsDirectoryW(LPWSTR buffer, UINT size);
MORVA_WIN_API UINT GetSystemDirectoryW(LPWSTR buffer, UINT size);
// The machine root keeps no 8.3 names: the short form of an existing path is
// the path as given. The characters written (without the terminator), the
// size needed (with it) when the buffer is too small, 0 for a missing path.
MORVA_WIN_API DWORD GetShortPathNameW(LPCWSTR longPath, LPWSTR shortPath, DWORD size);
}

namespace morva::platform {
// Test hook: after `skip` successful calls, the next `count` WriteFile or
// FlushFileBuffers calls fail with `error` (ERROR_DISK_FULL, ...), as a
// full or failing disk would make them.
MORVA_WIN_API void inject_file_write_failure(DWORD error, int skip, int count);
}  // namespace morva::platform
