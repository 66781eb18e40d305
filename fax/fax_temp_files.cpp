// The per-user lists of fax temporary files: registration, the sweep of
// files whose owner window is gone, and the fixed address file's rule.
//
// Beyond the lists' own rules: every sweep and registration holds one
// machine-wide mutex, so that processes sweeping and registering at the same
// time neither delete each other's fresh values nor write two files under
// one number; a value is read only when it is a whole 532-byte record.
#include "fax/fax_temp_files.h"

#include <cstring>
#include <string>

#include "fax/fax_registry_lists.h"
#include "settings/common/system_utils.h"
#include "win/win.h"

namespace morva::fax {
namespace {

constexpr char16_t kListMutexName[] = u"MorvaDirectFaxTempFileList";
// Long enough for any sweep; a lock not had by then fails the call rather
// than work on the lists unguarded.
constexpr DWORD kListMutexWaitMs = 30000;
constexpr DWORD kValueNameChars = 260;
constexpr DWORD kMaxValueNumber = 100000;
constexpr int kGwlHinstance = -6;
constexpr LSTATUS kErrorTimeout = 1460;

// The machine-wide lock of the two lists, recursive within a thread.
class ListLock {
 public:
  ListLock() {
    mutex_ = CreateMutexW(nullptr, FALSE, kListMutexName);
    if (mutex_ && WaitForSingleObject(mutex_, kListMutexWaitMs) == WAIT_OBJECT_0) held_ = true;
  }
  ~ListLock() {
    if (held_) ReleaseMutex(mutex_);
    if (mutex_) CloseHandle(mutex_);
  }
  ListLock(const ListLock&) = delete;
  ListLock& operator=(const ListLock&) = delete;
  bool held() const { return held_; }

 private:
  HANDLE mutex_ = nullptr;
  bool held_ = false;
};

// The window queries of the window system, bound at run time from
// "user32.dll": where the module or an export is missing, no owner is alive
// and a window is its own top level.
struct WindowQueries {
  using IsWindowFn = BOOL (*)(HWND);
  using GetParentFn = HWND (*)(HWND);
  using GetWindowLongPtrFn = LONG_PTR (*)(HWND, int);
  HMODULE module = nullptr;
  IsWindowFn is_window = nullptr;
  GetParentFn get_parent = nullptr;
  GetWindowLongPtrFn get_long = nullptr;

  WindowQueries() {
    module = LoadLibraryW(u"user32.dll");
    if (!module) return;
    is_window = morva_proc_as<IsWindowFn>(GetProcAddress(module, "IsWindow"));
    get_parent = morva_proc_as<GetParentFn>(GetProcAddress(module, "GetParent"));
    get_long = morva_proc_as<GetWindowLongPtrFn>(GetProcAddress(module, "GetWindowLongPtrW"));
  }
  ~WindowQueries() {
    if (module) FreeLibrary(module);
  }
  WindowQueries(const WindowQueries&) = delete;
  WindowQueries& operator=(const WindowQueries&) = delete;

  DWORD instance_of(HWND window) const {
    return get_long ? static_cast<DWORD>(get_long(window, kGwlHinstance)) : 0;
  }
  bool owner_alive(DWORD window, DWORD instance) const {
    if (!is_window || window == 0) return false;
    HWND hwnd = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(window));
    return is_window(hwnd) && instance_of(hwnd) == instance;
  }
  HWND top_level(HWND window) const {
    if (!get_parent) return window;
    for (int depth = 0; window && depth < 1000; ++depth) {
      HWND parent = get_parent(window);
      if (!parent) break;
      window = parent;
    }
    return window;
  }
};

DWORD low32(const void* handle) { return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(handle)); }

std::u16string value_name(DWORD n) { return std::u16string(kFaxTempValuePrefix) + morva::format_w(u"%lu", n); }

// The record of a listed value: only a whole 532-byte binary value counts.
bool read_record(HKEY key, LPCWSTR name, FaxTempFileRecord* record) {
  DWORD type = 0;
  DWORD size = sizeof(*record);
  std::memset(record, 0, sizeof(*record));
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(record), &size) != ERROR_SUCCESS)
    return false;
  if (type != REG_BINARY || size != sizeof(*record)) return false;
  record->Path[261] = 0;
  return true;
}

bool file_readable(LPCWSTR path) {
  HANDLE file =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

LSTATUS sweep(HKEY key, const WindowQueries& windows) {
  DWORD index = 0;
  for (;;) {
    WCHAR name[kValueNameChars] = {};
    DWORD chars = kValueNameChars;
    const LSTATUS rc = RegEnumValueW(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc == ERROR_MORE_DATA) {  // a name too long for the buffer is none of ours
      ++index;
      continue;
    }
    if (rc != ERROR_SUCCESS) return rc;
    FaxTempFileRecord record;
    if (!IsFaxTempValueName(name) || !read_record(key, name, &record)) {
      ++index;
      continue;
    }
    bool drop_value = false;
    bool drop_file = false;
    if (!file_readable(record.Path)) {
      drop_value = true;
    } else if (!windows.owner_alive(record.Window, record.Instance) &&
               IsFileOlderThan(record.Path, kFaxTempFileAgeSeconds)) {
      drop_value = drop_file = true;
    }
    if (!drop_value || RegDeleteValueW(key, name) != ERROR_SUCCESS) {
      ++index;
      continue;
    }
    if (drop_file) DeleteFileW(record.Path);
    index = 0;  // the remaining values have moved
  }
}

LSTATUS register_file(LPCWSTR keyPath, LPCWSTR filePath, DWORD window, DWORD instance) {
  if (!keyPath || !filePath) return ERROR_INVALID_PARAMETER;
  if (lstrlenW(filePath) >= 262) return ERROR_INVALID_PARAMETER;
  HKEY key = nullptr;
  LSTATUS rc = RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  bool listed = false;
  for (DWORD index = 0;; ++index) {
    WCHAR name[kValueNameChars] = {};
    DWORD chars = kValueNameChars;
    rc = RegEnumValueW(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) break;
    FaxTempFileRecord record;
    if (IsFaxTempValueName(name) && read_record(key, name, &record) && lstrcmpiW(record.Path, filePath) == 0 &&
        record.Window == window && record.Instance == instance) {
      listed = true;
      break;
    }
  }
  rc = ERROR_SUCCESS;
  if (!listed) {
    FaxTempFileRecord record{};
    std::memcpy(record.Path, filePath, sizeof(WCHAR) * (static_cast<size_t>(lstrlenW(filePath)) + 1));
    record.Window = window;
    record.Instance = instance;
    rc = ERROR_NO_MORE_ITEMS;
    for (DWORD n = 1; n <= kMaxValueNumber; ++n) {
      const std::u16string name = value_name(n);
      const LSTATUS probe = RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr);
      if (probe == ERROR_SUCCESS || probe == ERROR_MORE_DATA) continue;
      rc = RegSetValueExW(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(&record), sizeof(record));
      break;
    }
  }
  const LSTATUS closed = RegCloseKey(key);
  return rc != ERROR_SUCCESS ? rc : closed;
}

LSTATUS purge_key(LPCWSTR keyPath, const WindowQueries& windows) {
  if (!keyPath) return ERROR_INVALID_PARAMETER;
  HKEY key = nullptr;
  LSTATUS rc = RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_ALL_ACCESS, &key);
  if (rc != ERROR_SUCCESS) return rc;
  rc = sweep(key, windows);
  const LSTATUS closed = RegCloseKey(key);
  return rc != ERROR_SUCCESS ? rc : closed;
}

// Both key paths: a given base, else the database's string.
bool key_paths(DddHandle* database, LPCWSTR base1, LPCWSTR base2, std::u16string* first, std::u16string* second) {
  WCHAR path[kFaxTempKeyChars];
  if (base1) {
    *first = std::u16string(base1) + kFaxTempKeyTail30;
  } else if (GetFaxTempKeyPath(database, 0, kFaxTempKeyTail30, path, kFaxTempKeyChars)) {
    *first = path;
  } else {
    return false;
  }
  if (base2) {
    *second = std::u16string(base2) + kFaxTempKeyTail33;
  } else if (GetFaxTempKeyPath(database, 1, kFaxTempKeyTail33, path, kFaxTempKeyChars)) {
    *second = path;
  } else {
    return false;
  }
  return true;
}

}  // namespace

int IsFaxTempValueName(LPCWSTR name) {
  if (!name) return 0;
  const size_t n = std::char_traits<char16_t>::length(kFaxTempValuePrefix);
  for (size_t i = 0; i < n; ++i)
    if (name[i] != kFaxTempValuePrefix[i]) return 0;
  return 1;
}

int GetFaxTempKeyPath(DddHandle* database, int which, LPCWSTR suffix, LPWSTR out, DWORD capacity) {
  return GetFaxUserKeyPath(database, which, suffix, out, capacity);
}

LSTATUS RegisterFaxTempFile(LPCWSTR keyPath, LPCWSTR filePath, HWND window, HINSTANCE instance) {
  ListLock lock;
  if (!lock.held()) return kErrorTimeout;
  return register_file(keyPath, filePath, low32(window), low32(instance));
}

LSTATUS PurgeFaxTempFiles(LPCWSTR keyPath) {
  ListLock lock;
  if (!lock.held()) return kErrorTimeout;
  WindowQueries windows;
  return purge_key(keyPath, windows);
}

LONG PurgeDirectFaxTempFiles(DddHandle* database, LPCWSTR base1, LPCWSTR base2) {
  std::u16string first, second;
  if (!key_paths(database, base1, base2, &first, &second)) return 0;
  ListLock lock;
  if (!lock.held()) return kErrorTimeout;
  WindowQueries windows;
  purge_key(first.c_str(), windows);
  return purge_key(second.c_str(), windows);
}

LONG PurgeDirectFaxTempFilesForWindow(DddHandle* database, HWND window, LPCWSTR filePath) {
  std::u16string first, second;
  if (!key_paths(database, nullptr, nullptr, &first, &second)) return 0;
  ListLock lock;
  if (!lock.held()) return kErrorTimeout;
  WindowQueries windows;
  purge_key(first.c_str(), windows);
  purge_key(second.c_str(), windows);
  HWND top = windows.top_level(window);
  return register_file(second.c_str(), filePath, low32(top), windows.instance_of(top));
}

LONG PurgeAndRecordFaxTempFile(DddHandle* database, HWND window, LPCWSTR filePath, void* /*unused*/) {
  return PurgeDirectFaxTempFilesForWindow(database, window, filePath);
}

BOOL DeleteFaxAddressFile(LPCWSTR path) {
  if (!path) return FALSE;
  if (std::u16string_view(path) == kFixedFaxAddressFile) return TRUE;
  return DeleteFileW(path);
}

}  // namespace morva::fax
