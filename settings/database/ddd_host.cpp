#include "settings/database/ddd_host.h"

#include <cstring>
#include <mutex>

#include "settings/common/common_utils.h"
#include "settings/common/driver_locks.h"
#include "settings/common/module_state.h"
#include "win/files.h"
#include "win/handles.h"
#include "win/memory.h"
#include "win/modules.h"
#include "win/resources.h"

namespace {

std::mutex g_directory_lock;
std::u16string g_directory_override;

}  // namespace

void DddEnterLock() { EnterDriverLock(kLockDatabase); }
void DddLeaveLock() { LeaveDriverLock(kLockDatabase); }

BOOL DddGetModuleDirectory(WCHAR* buffer, DWORD bytes) {
  if (!buffer || bytes < 2) return FALSE;
  std::u16string dir;
  {
    std::lock_guard<std::mutex> g(g_directory_lock);
    dir = g_directory_override;
  }
  if (dir.empty()) return GetModuleDirectory(buffer, bytes);
  if (dir.back() != u'\\' && dir.back() != u'/') dir += u'\\';
  DWORD chars = bytes / 2;
  if (dir.size() + 1 > chars) return FALSE;
  std::memcpy(buffer, dir.data(), dir.size() * 2);
  buffer[dir.size()] = 0;
  return TRUE;
}

WCHAR* DddAnsiToWide(const char* text, DWORD length, DWORD* chars) {
  // The converter wants a terminated text; the stored one may fill its field.
  DWORD n = 0;
  while (n < length && text[n]) ++n;
  auto* copy = static_cast<char*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(n) + 1));
  if (!copy) return nullptr;
  std::memcpy(copy, text, n);
  LPWSTR out = nullptr;
  BOOL ok = MultiByteToWideAllocCP(0, copy, &out);
  GlobalFree(copy);
  if (!ok || !out) return nullptr;
  if (chars) {
    DWORD c = 0;
    while (out[c]) ++c;
    *chars = c;
  }
  return out;
}

WORD DddReadWholeFile(LPCWSTR path, BYTE** image, DWORD* size) {
  *image = nullptr;
  *size = 0;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  WORD status = 1;
  DWORD high = 0;
  DWORD length = GetFileSize(file, &high);
  // An image is addressed with 32-bit offsets that stay positive.
  if (length != INVALID_FILE_SIZE && high == 0 && length <= 0x7FFFFFFFu) {
    auto* block = static_cast<BYTE*>(GlobalAlloc(GPTR, length ? length : 1));
    DWORD read = 0;
    if (!block) {
      status = 4;
    } else if ((length == 0 || ReadFile(file, block, length, &read, nullptr)) && read == length) {
      *image = block;
      *size = length;
      status = 0;
    } else {
      GlobalFree(block);
    }
  }
  CloseHandle(file);
  return status;
}

HMODULE DddLoadStringLibrary(LPCWSTR path) {
  if (!path) return nullptr;
  return LoadLibraryExW(path, nullptr, DONT_RESOLVE_DLL_REFERENCES | LOAD_WITH_ALTERED_SEARCH_PATH);
}

int DddLoadLibraryString(HMODULE library, UINT id, WCHAR* buffer, int chars) {
  if (!library || !buffer || chars <= 0) return 0;
  buffer[0] = 0;
  int n = LoadStringW(library, id, buffer, chars);
  return n > 0 ? n : 0;
}

void DddFreeStringLibrary(HMODULE library) {
  if (library) FreeLibrary(library);
}

namespace morva::settings {

void ddd_set_module_directory(const std::u16string& directory) {
  std::lock_guard<std::mutex> g(g_directory_lock);
  g_directory_override = directory;
}

}  // namespace morva::settings
