#include "settings/ddd_host.h"

#include <dlfcn.h>

#include <cstring>
#include <mutex>

#include "win/endian.h"
#include "settings/common_utils.h"
#include "settings/driver_locks.h"
#include "win/memory.h"
#include "win/files.h"
#include "win/handles.h"
#include "win/paths.h"

namespace {

std::mutex g_directory_lock;
std::u16string g_directory_override;

// The interim string library in memory.
struct StringLibrary {
  std::vector<std::pair<UINT, std::u16string>> strings;
};

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
  if (dir.empty()) {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&DddGetModuleDirectory), &info) || !info.dli_fname)
      return FALSE;
    std::string file = info.dli_fname;
    size_t slash = file.rfind('/');
    if (slash == std::string::npos) return FALSE;
    dir = morva::platform::windows_path(file.substr(0, slash + 1));
    if (dir.empty()) return FALSE;
  }
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
  BYTE* image = nullptr;
  DWORD size = 0;
  if (!path || DddReadWholeFile(path, &image, &size) != 0) return nullptr;
  StringLibrary* library = nullptr;
  if (size >= 12 && std::memcmp(image, "MVSTRLIB", 8) == 0) {
    library = new StringLibrary;
    DWORD count = morva::load_le32(image + 8);
    DWORD at = 12;
    for (DWORD i = 0; i < count; ++i) {
      if (size - at < 6) break;
      UINT id = morva::load_le32(image + at);
      WORD chars = morva::load_le16(image + at + 4);
      at += 6;
      if ((size - at) / 2 < chars) break;
      std::u16string text(chars, u'\0');
      for (WORD c = 0; c < chars; ++c) text[c] = morva::load_le16(image + at + 2 * c);
      at += 2u * chars;
      library->strings.emplace_back(id, std::move(text));
    }
  }
  GlobalFree(image);
  return reinterpret_cast<HMODULE>(library);
}

int DddLoadLibraryString(HMODULE library, UINT id, WCHAR* buffer, int chars) {
  if (!library || !buffer || chars <= 0) return 0;
  buffer[0] = 0;
  for (const auto& [key, text] : reinterpret_cast<StringLibrary*>(library)->strings) {
    if (key != id) continue;
    int n = static_cast<int>(text.size()) < chars - 1 ? static_cast<int>(text.size()) : chars - 1;
    std::memcpy(buffer, text.data(), static_cast<size_t>(n) * 2);
    buffer[n] = 0;
    return n;
  }
  return 0;
}

void DddFreeStringLibrary(HMODULE library) { delete reinterpret_cast<StringLibrary*>(library); }

namespace morva::settings {

void ddd_set_module_directory(const std::u16string& directory) {
  std::lock_guard<std::mutex> g(g_directory_lock);
  g_directory_override = directory;
}

std::string ddd_string_library_image(const std::vector<std::pair<UINT, std::u16string>>& strings) {
  std::string out = "MVSTRLIB";
  char word[4];
  morva::store_le32(word, static_cast<std::uint32_t>(strings.size()));
  out.append(word, 4);
  for (const auto& [id, text] : strings) {
    morva::store_le32(word, id);
    out.append(word, 4);
    morva::store_le16(word, static_cast<std::uint16_t>(text.size()));
    out.append(word, 2);
    for (char16_t c : text) {
      morva::store_le16(word, c);
      out.append(word, 2);
    }
  }
  return out;
}

}  // namespace morva::settings
