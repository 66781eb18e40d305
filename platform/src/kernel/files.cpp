#include "win/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

#include "win/clock.h"
#include "win/codepage.h"
#include "win/errors.h"
#include "win/format.h"
#include "win/machine_settings.h"
#include "win/paths.h"
#include "win/strings.h"
#include "win/sysinfo.h"

namespace morva::platform {
namespace {

constexpr DWORD kReadRights = GENERIC_READ | GENERIC_ALL | FILE_READ_DATA;
constexpr DWORD kWriteRights = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;
constexpr DWORD kDeleteRights = DELETE | GENERIC_ALL;

DWORD error_from_errno(int e, bool writing = false) {
  switch (e) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EROFS: return writing ? ERROR_WRITE_PROTECT : ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EIO: return writing ? ERROR_WRITE_FAULT : ERROR_READ_FAULT;
    default: return writing ? ERROR_WRITE_FAULT : ERROR_ACCESS_DENIED;
  }
}

DWORD fail(DWORD error) {
  SetLastError(error);
  return error;
}

// ERROR_FILE_NOT_FOUND when the folder exists, else ERROR_PATH_NOT_FOUND.
DWORD missing_error(const std::string& native) {
  std::string parent = std::filesystem::path(native).parent_path().string();
  struct stat st {};
  if (parent.empty() || (::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) return ERROR_FILE_NOT_FOUND;
  return ERROR_PATH_NOT_FOUND;
}

bool to_native(LPCWSTR name, std::string* out) {
  if (!name) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  DWORD error = 0;
  if (!native_path(u16view(name), out, &error)) {
    SetLastError(error);
    return false;
  }
  return true;
}

bool read_only(const struct stat& st) { return !S_ISDIR(st.st_mode) && !(st.st_mode & S_IWUSR); }

// ---- Open files and sharing ----------------------------------------------

struct FileId {
  dev_t dev;
  ino_t ino;
  bool operator<(const FileId& o) const { return dev != o.dev ? dev < o.dev : ino < o.ino; }
};

struct OpenRecord {
  DWORD access;
  DWORD share;
};

std::mutex g_open_lock;
// Never destroyed: handles released at exit still unregister here.
std::multimap<FileId, OpenRecord*>& g_open = *new std::multimap<FileId, OpenRecord*>;

// True when a new open with (access, share) conflicts with the opens of
// the file; called with g_open_lock held.
// Opens without read, write or delete rights (attributes only) take no
// part in sharing.
bool share_conflict(const FileId& id, DWORD access, DWORD share) {
  constexpr DWORD kData = kReadRights | kWriteRights | kDeleteRights;
  if (!(access & kData)) return false;
  auto [b, e] = g_open.equal_range(id);
  for (auto it = b; it != e; ++it) {
    const OpenRecord& o = *it->second;
    if (!(o.access & kData)) continue;
    if (((access & kReadRights) && !(o.share & FILE_SHARE_READ)) ||
        ((access & kWriteRights) && !(o.share & FILE_SHARE_WRITE)) ||
        ((access & kDeleteRights) && !(o.share & FILE_SHARE_DELETE)) ||
        ((o.access & kReadRights) && !(share & FILE_SHARE_READ)) ||
        ((o.access & kWriteRights) && !(share & FILE_SHARE_WRITE)) ||
        ((o.access & kDeleteRights) && !(share & FILE_SHARE_DELETE)))
      return true;
  }
  return false;
}

class FileObject : public KernelObject {
 public:
  int fd = -1;
  OpenRecord record{};
  FileId id{};
  bool registered = false;
  bool directory = false;
  bool delete_on_close = false;
  std::string native;
  std::mutex io_lock;  // keeps seek+read/write of one handle together

  ~FileObject() override {
    if (registered) {
      std::lock_guard<std::mutex> g(g_open_lock);
      auto [b, e] = g_open.equal_range(id);
      for (auto it = b; it != e; ++it)
        if (it->second == &record) {
          g_open.erase(it);
          break;
        }
    }
    if (fd >= 0) ::close(fd);
    if (delete_on_close) ::unlink(native.c_str());
  }
  bool can_read() const { return record.access & kReadRights; }
  bool can_write() const { return record.access & kWriteRights; }
};

class FindObject : public KernelObject {
 public:
  std::vector<WIN32_FIND_DATAW> entries;
  size_t next = 0;
};

// ---- Injected write failures ----------------------------------------------

std::mutex g_fault_lock;
DWORD g_fault_error = 0;
int g_fault_skip = 0;
int g_fault_count = 0;

DWORD injected_write_failure() {
  std::lock_guard<std::mutex> g(g_fault_lock);
  if (g_fault_count <= 0) return 0;
  if (g_fault_skip > 0) {
    --g_fault_skip;
    return 0;
  }
  --g_fault_count;
  return g_fault_error;
}

FILETIME filetime_of(const struct timespec& ts) { return to_filetime(filetime_from_unix(ts.tv_sec, ts.tv_nsec)); }

DWORD attributes_of(const struct stat& st) {
  DWORD a = 0;
  if (S_ISDIR(st.st_mode))
    a |= FILE_ATTRIBUTE_DIRECTORY;
  else
    a |= FILE_ATTRIBUTE_ARCHIVE;
  if (read_only(st)) a |= FILE_ATTRIBUTE_READONLY;
  return a ? a : FILE_ATTRIBUTE_NORMAL;
}

void fill_attribute_data(const struct stat& st, WIN32_FILE_ATTRIBUTE_DATA* d) {
  d->dwFileAttributes = attributes_of(st);
  // The status-change time is the closest this file system keeps to a
  // creation time.
  d->ftCreationTime = filetime_of(st.st_ctim);
  d->ftLastAccessTime = filetime_of(st.st_atim);
  d->ftLastWriteTime = filetime_of(st.st_mtim);
  ULONGLONG size = S_ISDIR(st.st_mode) ? 0 : static_cast<ULONGLONG>(st.st_size);
  d->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  d->nFileSizeLow = static_cast<DWORD>(size);
}

std::shared_ptr<FileObject> file_of(HANDLE h) { return handle_object<FileObject>(h); }

bool write_all(int fd, const BYTE* data, size_t n, size_t* done, DWORD* error) {
  *done = 0;
  while (*done < n) {
    ssize_t w = ::write(fd, data + *done, n - *done);
    if (w < 0) {
      if (errno == EINTR) continue;
      *error = error_from_errno(errno, true);
      return false;
    }
    if (w == 0) {
      *error = ERROR_DISK_FULL;
      return false;
    }
    *done += static_cast<size_t>(w);
  }
  return true;
}

// Windows wildcard match, ignoring case.
bool wild_match(std::u16string_view pat, std::u16string_view name) {
  size_t p = 0, n = 0, star = std::u16string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pat.size() && (pat[p] == u'?' || u16_lower(pat[p]) == u16_lower(name[n]))) {
      ++p, ++n;
    } else if (p < pat.size() && pat[p] == u'*') {
      star = p++;
      mark = n;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pat.size() && pat[p] == u'*') ++p;
  return p == pat.size();
}

bool pattern_matches(std::u16string_view pat, std::u16string_view name) {
  if (pat == u"*" || pat == u"*.*") return true;
  if (wild_match(pat, name)) return true;
  // "x.*" also matches "x", as Windows does.
  if (pat.size() >= 2 && pat.substr(pat.size() - 2) == u".*" && name.find(u'.') == std::u16string_view::npos)
    return wild_match(pat.substr(0, pat.size() - 2), name);
  return false;
}

std::u16string machine_dir(std::u16string path) {
  // The machine's standard folders exist once they are asked for.
  std::string native;
  if (native_path(path, &native)) {
    std::error_code ec;
    std::filesystem::create_directories(native, ec);
  }
  return path;
}

std::u16string windows_directory() {
  std::u16string dir = utf8_to_u16(machine_setting("windows_dir", "C:\\Windows"));
  while (dir.size() > 3 && dir.back() == u'\\') dir.pop_back();
  return machine_dir(dir);
}

}  // namespace

void inject_file_write_failure(DWORD error, int skip, int count) {
  std::lock_guard<std::mutex> g(g_fault_lock);
  g_fault_error = error;
  g_fault_skip = skip;
  g_fault_count = count;
}

}  // namespace morva::platform

using namespace morva::platform;
using morva::u16view;

extern "C" {

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE) {
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (flagsAndAttributes & FILE_FLAG_OVERLAPPED) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
  }
  if (disposition == TRUNCATE_EXISTING && !(access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string native;
  if (!to_native(name, &native)) return INVALID_HANDLE_VALUE;
  struct stat st {};
  bool exists = ::stat(native.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) {
    fail(error_from_errno(errno));
    return INVALID_HANDLE_VALUE;
  }
  if (exists && disposition == CREATE_NEW) {
    fail(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
  }
  if (!exists && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING)) {
    fail(missing_error(native));
    return INVALID_HANDLE_VALUE;
  }
  auto file = std::make_shared<FileObject>();
  file->native = native;
  file->record = {access, share};
  if (exists && S_ISDIR(st.st_mode)) {
    if (!(flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) || (access & kWriteRights)) {
      fail(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    file->fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (file->fd < 0) {
      fail(error_from_errno(errno));
      return INVALID_HANDLE_VALUE;
    }
    file->directory = true;
    SetLastError(ERROR_SUCCESS);
    return insert_handle(file);
  }
  bool truncate = exists && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
  if (exists && read_only(st) && ((access & kWriteRights) || truncate || (access & kDeleteRights) ||
                                  (flagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE))) {
    fail(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  bool wants_write = (access & kWriteRights) || truncate;
  int oflags = O_CLOEXEC | (wants_write ? ((access & kReadRights) || truncate ? O_RDWR : O_WRONLY) : O_RDONLY);
  if (!exists) oflags |= O_CREAT | O_EXCL;
  if ((access & FILE_APPEND_DATA) && !(access & (FILE_WRITE_DATA | GENERIC_WRITE | GENERIC_ALL))) oflags |= O_APPEND;
  if (!wants_write && !exists) oflags = (oflags & ~O_RDONLY) | O_RDWR;  // creating needs a writable open
  mode_t mode = (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;

  std::lock_guard<std::mutex> g(g_open_lock);
  if (exists && share_conflict(FileId{st.st_dev, st.st_ino}, access, share)) {
    fail(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  file->fd = ::open(native.c_str(), oflags, mode);
  if (file->fd < 0 && errno == EEXIST && disposition != CREATE_NEW) {
    // Created by someone else meanwhile: open what is there.
    exists = true;
    file->fd = ::open(native.c_str(), oflags & ~(O_CREAT | O_EXCL), mode);
  }
  if (file->fd < 0) {
    int e = errno;
    fail(e == ENOENT ? missing_error(native) : error_from_errno(e));
    return INVALID_HANDLE_VALUE;
  }
  if (truncate && ::ftruncate(file->fd, 0) != 0) {
    fail(error_from_errno(errno, true));
    return INVALID_HANDLE_VALUE;
  }
  struct stat now {};
  ::fstat(file->fd, &now);
  file->id = FileId{now.st_dev, now.st_ino};
  g_open.emplace(file->id, &file->record);
  file->registered = true;
  file->delete_on_close = flagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE;
  HANDLE h = insert_handle(file);
  SetLastError(exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                        : ERROR_SUCCESS);
  return h ? h : INVALID_HANDLE_VALUE;
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
  if (!name) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::u16string wide = morva::ansi_to_u16(name);
  return CreateFileW(wide.c_str(), access, share, security, disposition, flagsAndAttributes, templateFile);
}

BOOL ReadFile(HANDLE h, LPVOID buffer, DWORD bytes, LPDWORD read, LPOVERLAPPED overlapped) {
  if (read) *read = 0;
  auto file = file_of(h);
  if (!file) return FALSE;
  if (!file->can_read() || file->directory) return fail(ERROR_ACCESS_DENIED), FALSE;
  if (bytes && !buffer) return fail(ERROR_INVALID_PARAMETER), FALSE;
  std::lock_guard<std::mutex> g(file->io_lock);
  if (overlapped) {
    off_t at = static_cast<off_t>((static_cast<ULONGLONG>(overlapped->OffsetHigh) << 32) | overlapped->Offset);
    if (::lseek(file->fd, at, SEEK_SET) < 0) return fail(error_from_errno(errno)), FALSE;
  }
  DWORD done = 0;
  while (done < bytes) {
    ssize_t r = ::read(file->fd, static_cast<BYTE*>(buffer) + done, bytes - done);
    if (r < 0) {
      if (errno == EINTR) continue;
      if (read) *read = done;
      return fail(error_from_errno(errno)), FALSE;
    }
    if (r == 0) break;  // end of file: success with fewer bytes
    done += static_cast<DWORD>(r);
  }
  if (read) *read = done;
  if (overlapped) overlapped->InternalHigh = done;
  return TRUE;
}

BOOL WriteFile(HANDLE h, LPCVOID buffer, DWORD bytes, LPDWORD written, LPOVERLAPPED overlapped) {
  if (written) *written = 0;
  auto file = file_of(h);
  if (!file) return FALSE;
  if (!file->can_write() || file->directory) return fail(ERROR_ACCESS_DENIED), FALSE;
  if (bytes && !buffer) return fail(ERROR_INVALID_PARAMETER), FALSE;
  if (DWORD injected = injected_write_failure()) return fail(injected), FALSE;
  std::lock_guard<std::mutex> g(file->io_lock);
  if (overlapped) {
    off_t at = static_cast<off_t>((static_cast<ULONGLONG>(overlapped->OffsetHigh) << 32) | overlapped->Offset);
    if (::lseek(file->fd, at, SEEK_SET) < 0) return fail(error_from_errno(errno)), FALSE;
  }
  size_t done = 0;
  DWORD error = 0;
  bool ok = write_all(file->fd, static_cast<const BYTE*>(buffer), bytes, &done, &error);
  if (written) *written = static_cast<DWORD>(done);
  if (overlapped) overlapped->InternalHigh = done;
  if (!ok) return fail(error), FALSE;
  return TRUE;
}

BOOL SetFilePointerEx(HANDLE h, LARGE_INTEGER distance, LARGE_INTEGER* newPosition, DWORD method) {
  auto file = file_of(h);
  if (!file) return FALSE;
  if (method > FILE_END) return fail(ERROR_INVALID_PARAMETER), FALSE;
  std::lock_guard<std::mutex> g(file->io_lock);
  off_t base = 0;
  if (method == FILE_CURRENT) base = ::lseek(file->fd, 0, SEEK_CUR);
  if (method == FILE_END) {
    struct stat st {};
    if (::fstat(file->fd, &st) != 0) return fail(error_from_errno(errno)), FALSE;
    base = st.st_size;
  }
  LONGLONG target = 0;
  if (__builtin_add_overflow(static_cast<LONGLONG>(base), distance.QuadPart, &target) || target < 0)
    return fail(ERROR_NEGATIVE_SEEK), FALSE;
  if (::lseek(file->fd, static_cast<off_t>(target), SEEK_SET) < 0) return fail(error_from_errno(errno)), FALSE;
  if (newPosition) newPosition->QuadPart = target;
  return TRUE;
}

DWORD SetFilePointer(HANDLE h, LONG distance, LPLONG distanceHigh, DWORD method) {
  LARGE_INTEGER d{}, pos{};
  d.QuadPart = distanceHigh ? static_cast<LONGLONG>((static_cast<ULONGLONG>(static_cast<DWORD>(*distanceHigh)) << 32) |
                                                    static_cast<DWORD>(distance))
                            : static_cast<LONGLONG>(distance);
  if (!SetFilePointerEx(h, d, &pos, method)) return INVALID_SET_FILE_POINTER;
  if (!distanceHigh && pos.QuadPart > 0xFFFFFFFELL) {
    // The position does not fit the 32-bit answer; Windows refuses it.
    SetFilePointerEx(h, LARGE_INTEGER{}, nullptr, FILE_CURRENT);
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh) *distanceHigh = static_cast<LONG>(pos.QuadPart >> 32);
  SetLastError(ERROR_SUCCESS);  // lets callers tell a real 0xFFFFFFFF apart
  return static_cast<DWORD>(pos.QuadPart);
}

BOOL GetFileSizeEx(HANDLE h, LARGE_INTEGER* size) {
  auto file = file_of(h);
  if (!file) return FALSE;
  if (!size) return fail(ERROR_INVALID_PARAMETER), FALSE;
  struct stat st {};
  if (::fstat(file->fd, &st) != 0) return fail(error_from_errno(errno)), FALSE;
  size->QuadPart = file->directory ? 0 : st.st_size;
  return TRUE;
}

DWORD GetFileSize(HANDLE h, LPDWORD sizeHigh) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(h, &size)) return INVALID_FILE_SIZE;
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(size.QuadPart >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size.QuadPart);
}

BOOL SetEndOfFile(HANDLE h) {
  auto file = file_of(h);
  if (!file) return FALSE;
  if (!file->can_write()) return fail(ERROR_ACCESS_DENIED), FALSE;
  std::lock_guard<std::mutex> g(file->io_lock);
  off_t at = ::lseek(file->fd, 0, SEEK_CUR);
  if (at < 0 || ::ftruncate(file->fd, at) != 0) return fail(error_from_errno(errno, true)), FALSE;
  return TRUE;
}

BOOL FlushFileBuffers(HANDLE h) {
  auto file = file_of(h);
  if (!file) return FALSE;
  if (!file->can_write()) return fail(ERROR_ACCESS_DENIED), FALSE;
  if (DWORD injected = injected_write_failure()) return fail(injected), FALSE;
  if (::fsync(file->fd) != 0 && errno != EINVAL && errno != EROFS) return fail(error_from_errno(errno, true)), FALSE;
  return TRUE;
}

DWORD GetFileType(HANDLE h) {
  auto file = file_of(h);
  if (!file) return FILE_TYPE_UNKNOWN;
  SetLastError(ERROR_SUCCESS);
  return FILE_TYPE_DISK;
}

BOOL GetFileTime(HANDLE h, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite) {
  auto file = file_of(h);
  if (!file) return FALSE;
  struct stat st {};
  if (::fstat(file->fd, &st) != 0) return fail(error_from_errno(errno)), FALSE;
  WIN32_FILE_ATTRIBUTE_DATA d{};
  fill_attribute_data(st, &d);
  if (creation) *creation = d.ftCreationTime;
  if (lastAccess) *lastAccess = d.ftLastAccessTime;
  if (lastWrite) *lastWrite = d.ftLastWriteTime;
  return TRUE;
}

BOOL SetFileTime(HANDLE h, const FILETIME*, const FILETIME* lastAccess, const FILETIME* lastWrite) {
  auto file = file_of(h);
  if (!file) return FALSE;
  if (!file->can_write() && !(file->record.access & FILE_WRITE_ATTRIBUTES)) return fail(ERROR_ACCESS_DENIED), FALSE;
  auto to_ts = [](const FILETIME* f) {
    timespec ts{0, UTIME_OMIT};
    // A null time, or one of 0 or all ones, leaves that time unchanged.
    if (!f) return ts;
    ULONGLONG v = from_filetime(*f);
    if (v == 0 || v == ~0ULL) return ts;
    LONGLONG since = static_cast<LONGLONG>(v) - 116444736000000000LL;
    ts.tv_sec = since / 10000000;
    ts.tv_nsec = (since % 10000000) * 100;
    if (ts.tv_nsec < 0) ts.tv_sec -= 1, ts.tv_nsec += 1000000000;
    return ts;
  };
  timespec times[2] = {to_ts(lastAccess), to_ts(lastWrite)};
  if (::futimens(file->fd, times) != 0) return fail(error_from_errno(errno, true)), FALSE;
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR name) {
  std::string native;
  if (!to_native(name, &native)) return FALSE;
  struct stat st {};
  if (::lstat(native.c_str(), &st) != 0) return fail(errno == ENOENT ? missing_error(native) : error_from_errno(errno)), FALSE;
  if (S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && read_only(st))) return fail(ERROR_ACCESS_DENIED), FALSE;
  std::lock_guard<std::mutex> g(g_open_lock);
  if (share_conflict(FileId{st.st_dev, st.st_ino}, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
    return fail(ERROR_SHARING_VIOLATION), FALSE;
  if (::unlink(native.c_str()) != 0) return fail(error_from_errno(errno)), FALSE;
  return TRUE;
}

BOOL CopyFileW(LPCWSTR existing, LPCWSTR newName, BOOL failIfExists) {
  std::string from, to;
  if (!to_native(existing, &from) || !to_native(newName, &to)) return FALSE;
  struct stat src {}, dst {};
  if (::stat(from.c_str(), &src) != 0) return fail(errno == ENOENT ? missing_error(from) : error_from_errno(errno)), FALSE;
  if (S_ISDIR(src.st_mode)) return fail(ERROR_ACCESS_DENIED), FALSE;
  bool dst_exists = ::stat(to.c_str(), &dst) == 0;
  if (dst_exists && src.st_dev == dst.st_dev && src.st_ino == dst.st_ino) return fail(ERROR_SHARING_VIOLATION), FALSE;
  if (dst_exists && failIfExists) return fail(ERROR_FILE_EXISTS), FALSE;
  if (dst_exists && (S_ISDIR(dst.st_mode) || read_only(dst))) return fail(ERROR_ACCESS_DENIED), FALSE;
  {
    std::lock_guard<std::mutex> g(g_open_lock);
    if (share_conflict(FileId{src.st_dev, src.st_ino}, GENERIC_READ, FILE_SHARE_READ) ||
        (dst_exists && share_conflict(FileId{dst.st_dev, dst.st_ino}, GENERIC_WRITE, 0)))
      return fail(ERROR_SHARING_VIOLATION), FALSE;
  }
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return fail(error_from_errno(errno)), FALSE;
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out < 0) {
    int e = errno;
    ::close(in);
    return fail(e == ENOENT ? ERROR_PATH_NOT_FOUND : error_from_errno(e)), FALSE;
  }
  std::vector<BYTE> buf(1 << 16);
  DWORD error = 0;
  for (;;) {
    ssize_t r = ::read(in, buf.data(), buf.size());
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      error = error_from_errno(errno);
      break;
    }
    if (r == 0) break;
    size_t done = 0;
    if (!write_all(out, buf.data(), static_cast<size_t>(r), &done, &error)) break;
  }
  if (!error && ::fsync(out) != 0 && errno != EINVAL) error = error_from_errno(errno, true);
  timespec times[2] = {src.st_atim, src.st_mtim};  // the copy keeps the last-write time
  if (!error) ::futimens(out, times);
  if (!error && read_only(src)) ::fchmod(out, src.st_mode & 0555);
  ::close(in);
  if (::close(out) != 0 && !error) error = error_from_errno(errno, true);
  if (error) {
    ::unlink(to.c_str());  // no half-written copy is left behind
    return fail(error), FALSE;
  }
  return TRUE;
}

BOOL MoveFileExW(LPCWSTR existing, LPCWSTR newName, DWORD flags) {
  std::string from, to;
  if (!to_native(existing, &from) || !to_native(newName, &to)) return FALSE;
  struct stat src {}, dst {};
  if (::lstat(from.c_str(), &src) != 0) return fail(errno == ENOENT ? missing_error(from) : error_from_errno(errno)), FALSE;
  bool dst_exists = ::lstat(to.c_str(), &dst) == 0;
  bool same = dst_exists && src.st_dev == dst.st_dev && src.st_ino == dst.st_ino;
  if (dst_exists && !same) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) return fail(ERROR_ALREADY_EXISTS), FALSE;
    if (S_ISDIR(dst.st_mode) || read_only(dst)) return fail(ERROR_ACCESS_DENIED), FALSE;
  }
  {
    std::lock_guard<std::mutex> g(g_open_lock);
    if (share_conflict(FileId{src.st_dev, src.st_ino}, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE) ||
        (dst_exists && !same &&
         share_conflict(FileId{dst.st_dev, dst.st_ino}, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)))
      return fail(ERROR_SHARING_VIOLATION), FALSE;
  }
  if (::rename(from.c_str(), to.c_str()) == 0) return TRUE;
  int e = errno;
  if (e == EXDEV && S_ISREG(src.st_mode)) {
    if (!(flags & MOVEFILE_COPY_ALLOWED)) return fail(ERROR_NOT_SAME_DEVICE), FALSE;
    if (!CopyFileW(existing, newName, FALSE)) return FALSE;
    ::unlink(from.c_str());
    return TRUE;
  }
  return fail(e == ENOENT ? ERROR_PATH_NOT_FOUND : error_from_errno(e)), FALSE;
}

BOOL MoveFileW(LPCWSTR existing, LPCWSTR newName) { return MoveFileExW(existing, newName, MOVEFILE_COPY_ALLOWED); }

BOOL GetFileAttributesExW(LPCWSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID info) {
  if (level != GetFileExInfoStandard || !info) return fail(ERROR_INVALID_PARAMETER), FALSE;
  std::string native;
  if (!to_native(name, &native)) return FALSE;
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return fail(errno == ENOENT ? missing_error(native) : error_from_errno(errno)), FALSE;
  fill_attribute_data(st, static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(info));
  return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR name) {
  WIN32_FILE_ATTRIBUTE_DATA d{};
  if (!GetFileAttributesExW(name, GetFileExInfoStandard, &d)) return INVALID_FILE_ATTRIBUTES;
  return d.dwFileAttributes;
}

DWORD GetFileAttributesA(LPCSTR name) {
  if (!name) return fail(ERROR_PATH_NOT_FOUND), INVALID_FILE_ATTRIBUTES;
  std::u16string wide = morva::ansi_to_u16(name);
  return GetFileAttributesW(wide.c_str());
}

BOOL SetFileAttributesW(LPCWSTR name, DWORD attributes) {
  std::string native;
  if (!to_native(name, &native)) return FALSE;
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return fail(errno == ENOENT ? missing_error(native) : error_from_errno(errno)), FALSE;
  if (S_ISDIR(st.st_mode)) return TRUE;  // folders keep their rights
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~0222) : (mode | S_IWUSR);
  if (::chmod(native.c_str(), mode) != 0) return fail(error_from_errno(errno)), FALSE;
  return TRUE;
}

BOOL CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES) {
  std::string native;
  if (!to_native(name, &native)) return FALSE;
  if (::mkdir(native.c_str(), 0777) != 0) {
    int e = errno;
    return fail(e == EEXIST ? ERROR_ALREADY_EXISTS : e == ENOENT ? ERROR_PATH_NOT_FOUND : error_from_errno(e)), FALSE;
  }
  return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR name) {
  std::string native;
  if (!to_native(name, &native)) return FALSE;
  if (::rmdir(native.c_str()) != 0) {
    int e = errno;
    return fail(e == ENOTEMPTY || e == EEXIST ? ERROR_DIR_NOT_EMPTY
                : e == ENOTDIR               ? ERROR_DIRECTORY
                : e == ENOENT                ? missing_error(native)
                                             : error_from_errno(e)),
           FALSE;
  }
  return TRUE;
}

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
  if (!pattern || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::u16string full;
  DWORD error = 0;
  if (!full_windows_path(u16view(pattern), &full, &error)) {
    // Wildcards are not valid in a path; check the folder part alone.
    std::u16string_view p = u16view(pattern);
    size_t cut = p.find_last_of(u"\\/");
    std::u16string dir = cut == std::u16string_view::npos ? u"." : std::u16string(p.substr(0, cut + 1));
    if (!full_windows_path(dir, &full, &error)) {
      SetLastError(error);
      return INVALID_HANDLE_VALUE;
    }
    if (full.back() != u'\\') full += u'\\';
    full += p.substr(cut == std::u16string_view::npos ? 0 : cut + 1);
  }
  size_t cut = full.rfind(u'\\');
  std::u16string dir = full.substr(0, cut + 1), spec = full.substr(cut + 1);
  std::string native;
  if (!native_path(dir, &native, &error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  DIR* d = ::opendir(native.c_str());
  if (!d) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  bool drive_root = dir.size() <= 3 || (dir[0] == u'\\' && std::count(dir.begin(), dir.end(), u'\\') <= 4);
  auto find = std::make_shared<FindObject>();
  while (dirent* e = ::readdir(d)) {
    std::u16string name = morva::utf8_to_u16(e->d_name);
    bool dots = name == u"." || name == u"..";
    if ((dots && drive_root) || spec.empty() || !pattern_matches(spec, name)) continue;
    struct stat st {};
    if (::stat((native + "/" + e->d_name).c_str(), &st) != 0) continue;
    WIN32_FIND_DATAW f{};
    WIN32_FILE_ATTRIBUTE_DATA a{};
    fill_attribute_data(st, &a);
    f.dwFileAttributes = a.dwFileAttributes;
    f.ftCreationTime = a.ftCreationTime;
    f.ftLastAccessTime = a.ftLastAccessTime;
    f.ftLastWriteTime = a.ftLastWriteTime;
    f.nFileSizeHigh = a.nFileSizeHigh;
    f.nFileSizeLow = a.nFileSizeLow;
    if (name.size() >= MAX_PATH) continue;  // not reachable through a Windows path
    std::memcpy(f.cFileName, name.data(), name.size() * 2);
    find->entries.push_back(f);
  }
  ::closedir(d);
  // Dots first, then names in case-insensitive order.
  std::sort(find->entries.begin(), find->entries.end(), [](const WIN32_FIND_DATAW& x, const WIN32_FIND_DATAW& y) {
    return morva::u16_icompare(u16view(x.cFileName), u16view(y.cFileName)) < 0;
  });
  if (find->entries.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  *data = find->entries[0];
  find->next = 1;
  SetLastError(ERROR_SUCCESS);
  return insert_handle(find);
}

BOOL FindNextFileW(HANDLE h, LPWIN32_FIND_DATAW data) {
  auto find = handle_object<FindObject>(h);
  if (!find) return FALSE;
  if (!data) return fail(ERROR_INVALID_PARAMETER), FALSE;
  if (find->next >= find->entries.size()) return fail(ERROR_NO_MORE_FILES), FALSE;
  *data = find->entries[find->next++];
  return TRUE;
}

BOOL FindClose(HANDLE h) {
  if (!handle_object<FindObject>(h)) return FALSE;
  return CloseHandle(h);
}

DWORD GetTempPathW(DWORD size, LPWSTR buffer) {
  std::u16string dir;
  if (!environment_variable(u"TMP", &dir) && !environment_variable(u"TEMP", &dir) &&
      !environment_variable(u"USERPROFILE", &dir))
    dir = windows_directory();
  std::u16string full;
  if (!full_windows_path(dir, &full)) full = windows_directory();
  if (full.back() != u'\\') full += u'\\';
  machine_dir(full);
  return copy_out_string(full, buffer, size);
}

UINT GetTempFileNameW(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR tempFileName) {
  if (!path || !tempFileName) return fail(ERROR_INVALID_PARAMETER), 0;
  std::u16string dir(u16view(path));
  if (dir.empty() || (dir.back() != u'\\' && dir.back() != u'/')) dir += u'\\';
  std::u16string pre(u16view(prefix).substr(0, 3));
  auto make_name = [&](UINT n) { return dir + pre + morva::utf8_to_u16(morva::format_a("%X", n)) + u".tmp"; };
  if (make_name(0xFFFF).size() >= MAX_PATH) return fail(ERROR_BUFFER_OVERFLOW), 0;
  std::string native;
  struct stat st {};
  if (!native_path(dir, &native) || ::stat(native.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return fail(ERROR_DIRECTORY), 0;
  if (unique) {
    unique &= 0xFFFF;
    std::u16string name = make_name(unique);
    std::memcpy(tempFileName, name.c_str(), (name.size() + 1) * 2);
    return unique;
  }
  UINT start = (GetTickCount() ^ static_cast<UINT>(::getpid())) & 0xFFFF;
  if (!start) start = 1;
  UINT n = start;
  do {
    std::u16string name = make_name(n);
    HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      std::memcpy(tempFileName, name.c_str(), (name.size() + 1) * 2);
      SetLastError(ERROR_SUCCESS);
      return n;
    }
    DWORD e = GetLastError();
    if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS && e != ERROR_ACCESS_DENIED && e != ERROR_SHARING_VIOLATION)
      return 0;
    n = (n & 0xFFFF) == 0xFFFF ? 1 : n + 1;
  } while (n != start);
  return fail(ERROR_FILE_EXISTS), 0;
}

UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size) { return copy_out_string(windows_directory(), buffer, size); }
UINT GetSystemWindowsDirectoryW(LPWSTR buffer, UINT size) { return GetWindowsDirectoryW(buffer, size); }
UINT GetSystemDirectoryW(LPWSTR buffer, UINT size) {
  return copy_out_string(machine_dir(windows_directory() + u"\\System32"), buffer, size);
}

}  // extern "C"
