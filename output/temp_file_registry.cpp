// Registry records of temp spool files, and the purge of files that earlier
// jobs left behind.
#include <string>

#include "output/temp_spool_file.h"
#include "settings/gfx/graphics_module.h"
#include "win/win.h"

namespace {

constexpr char16_t kTempFileKey[] = u"TempFile\\";
constexpr LONG kNoMoreItems = 259;
std::u16string g_key_base = kDefaultTempFileKeyBase;  // under kSlotTempKeyBase

std::u16string key_base() {
  LockSlotGuard g(kSlotTempKeyBase);
  return g_key_base;
}

// A file counts as gone when it cannot be opened, or when it can and is
// then deleted.
bool file_gone(const std::u16string& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return true;
  CloseHandle(h);
  return DeleteFileW(path.c_str());
}

}  // namespace

namespace morva::output {
std::u16string temp_file_record_key(LPCWSTR path) {
  std::u16string key = key_base() + kTempFileKey + (path ? path : u"");
  for (size_t i = key.size() - (path ? std::char_traits<char16_t>::length(path) : 0); i < key.size(); ++i)
    if (key[i] == u'\\') key[i] = u'/';
  return key;
}
}  // namespace morva::output

void SetTempFileKeyBase(LPCWSTR base) {
  if (!base) return;
  LockSlotGuard g(kSlotTempKeyBase);
  g_key_base = base;
}

INT RecordTempFileInRegistry(LPCWSTR path) {
  if (!path) return -1;
  std::u16string key_name = morva::output::temp_file_record_key(path);
  HKEY key = nullptr;
  if (RegCreateKeyW(HKEY_LOCAL_MACHINE, key_name.c_str(), &key) != ERROR_SUCCESS) return -1;
  SYSTEMTIME t{};
  GetLocalTime(&t);
  WCHAR stamp[64] = {};
  wsprintfW(stamp, u"[%04d,%02d/%02d,%02d:%02d:%02d]", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  LONG rc = RegSetValueW(key, nullptr, REG_SZ, stamp, static_cast<DWORD>(lstrlenW(stamp) * sizeof(WCHAR)));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? 0 : -1;
}

INT DeleteTempFileRecord(LPCWSTR path) {
  if (!path) return -1;
  std::u16string key_name = morva::output::temp_file_record_key(path);
  return RegDeleteKeyW(HKEY_LOCAL_MACHINE, key_name.c_str()) == ERROR_SUCCESS ? 0 : -1;
}

INT PurgeStaleTempFiles() {
  std::u16string parent = key_base() + kTempFileKey;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, parent.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return -1;
  INT result = 0;
  DWORD index = 0;
  for (;;) {
    WCHAR name[kTempPathChars + 1] = {};
    LONG rc = RegEnumKeyW(key, index, name, kTempPathChars + 1);
    if (rc == kNoMoreItems) break;
    if (rc != ERROR_SUCCESS) {
      result = -1;
      break;
    }
    std::u16string path = name;
    for (auto& c : path)
      if (c == u'/') c = u'\\';
    if (!file_gone(path)) {
      ++index;  // still there and in use: leave it to its job
      continue;
    }
    if (RegDeleteKeyW(key, name) != ERROR_SUCCESS) {
      result = -1;
      break;
    }
    index = 0;
  }
  RegCloseKey(key);
  return result;
}
