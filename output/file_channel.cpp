#include <cstring>

#include "output/channels.h"
#include "win/win.h"

namespace {
constexpr char16_t kFaxAddressFile[] = u"C:\\qzfaxaddress.tmp";
constexpr char16_t kLastResortName[] = u"c:\\qzvkm.tmp";
constexpr char16_t kDefaultPrefix[] = u"QZP";
}  // namespace

HANDLE FileOpen(LPCWSTR path, DWORD flags) {
  if (!path) return INVALID_HANDLE_VALUE;
  DWORD access = GENERIC_READ | ((flags & kFileReadOnly) ? 0 : GENERIC_WRITE);
  DWORD disposition = (flags & kFileCreateAlways) ? CREATE_ALWAYS : OPEN_ALWAYS;
  return CreateFileW(path, access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

BOOL FileClose(HANDLE file) { return file != INVALID_HANDLE_VALUE && CloseHandle(file); }

BOOL FileRead(HANDLE file, void* buffer, DWORD length, DWORD* moved) {
  if (moved) *moved = 0;
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  if (length == 0) return TRUE;
  if (!buffer) return FALSE;
  DWORD n = 0;
  if (!ReadFile(file, buffer, length, &n, nullptr)) return FALSE;
  if (moved) *moved = n;
  return TRUE;
}

BOOL FileWrite(HANDLE file, const void* bytes, DWORD length, DWORD* moved) {
  if (moved) *moved = 0;
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  if (length == 0) return TRUE;
  if (!bytes) return FALSE;
  DWORD n = 0;
  if (!WriteFile(file, bytes, length, &n, nullptr)) return FALSE;
  if (moved) *moved = n;
  return TRUE;
}

BOOL FileSeek(HANDLE file, DWORD offset) {
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  LARGE_INTEGER to{};
  to.QuadPart = offset;
  return SetFilePointerEx(file, to, nullptr, FILE_BEGIN);
}

LONGLONG FileSeekEnd(HANDLE file) {
  if (file == INVALID_HANDLE_VALUE) return -1;
  LARGE_INTEGER to{}, at{};
  if (!SetFilePointerEx(file, to, &at, FILE_END)) return -1;
  return at.QuadPart;
}

BOOL DeleteTempFile(LPCWSTR path) {
  if (!path) return FALSE;
  if (lstrcmpiW(path, kFaxAddressFile) == 0) return TRUE;
  return DeleteFileW(path);
}

BOOL MakeTempFileName(LPWSTR out, LPCWSTR prefix) {
  if (!out) return FALSE;
  LPCWSTR p = prefix ? prefix : kDefaultPrefix;
  using DirectoryFn = bool (*)(LPWSTR);
  const DirectoryFn directories[] = {
      [](LPWSTR d) { DWORD n = GetTempPathW(kTempPathChars, d); return n > 0 && n < kTempPathChars; },
      [](LPWSTR d) { UINT n = GetWindowsDirectoryW(d, kTempPathChars); return n > 0 && n < kTempPathChars; },
      [](LPWSTR d) { UINT n = GetSystemDirectoryW(d, kTempPathChars); return n > 0 && n < kTempPathChars; },
      [](LPWSTR d) { DWORD n = GetCurrentDirectoryW(kTempPathChars, d); return n > 0 && n < kTempPathChars; },
  };
  for (DirectoryFn directory : directories) {
    WCHAR dir[kTempPathChars] = {};
    WCHAR name[kTempPathChars] = {};
    if (directory(dir) && GetTempFileNameW(dir, p, 0, name)) {
      lstrcpynW(out, name, kTempPathChars);
      return TRUE;
    }
  }
  lstrcpynW(out, kLastResortName, kTempPathChars);
  return TRUE;
}
