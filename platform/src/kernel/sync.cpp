// Mutexes: an in-process owner (thread and recursion count) guarded by a
// condition variable, and for named mutexes an flock on a lock file of the
// machine root, held while any thread of the process owns the mutex. The
// kernel drops an flock when its process dies, which stands for the
// system's release of a mutex whose owner ended.
#include "win/sync.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "win/errors.h"
#include "win/handles.h"
#include "win/machine_root.h"
#include "win/memory.h"
#include "win/strings.h"
#include "kernel/waitable.h"

namespace morva::platform {
namespace {

struct MutexState {
  std::mutex guard;
  std::condition_variable released;
  DWORD owner = 0;  // thread id, 0 when free
  DWORD depth = 0;
  int lock_fd = -1;  // lock file of a named mutex
  std::string lock_path;
  ~MutexState() {
    if (lock_fd >= 0) ::close(lock_fd);
  }
};

class MutexObject : public Waitable {
 public:
  explicit MutexObject(std::shared_ptr<MutexState> s) : state(std::move(s)) {}
  DWORD wait(DWORD milliseconds) override;
  std::shared_ptr<MutexState> state;
};

// Named mutexes of this process, kept while a handle refers to them.
std::mutex g_names_guard;
std::map<std::u16string, std::weak_ptr<MutexState>> g_names;

// A file name for the mutex name: letters, digits, "-" and "_" kept, any
// other unit as "%xxxx", so that two names never share a file.
std::string lock_file_name(std::u16string_view name) {
  std::string out;
  for (char16_t c : name) {
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
        c == u'_') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof(hex), "%%%04x", static_cast<unsigned>(c));
      out += hex;
    }
  }
  if (out.size() > 200) out = out.substr(0, 180) + "~" + std::to_string(std::hash<std::string>{}(out));
  return out;
}

// Takes the process-wide lock file, polling until the deadline.
bool take_file_lock(MutexState& s, std::chrono::steady_clock::time_point deadline, bool forever) {
  if (s.lock_path.empty()) return true;
  if (s.lock_fd < 0) {
    s.lock_fd = ::open(s.lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (s.lock_fd < 0) return false;
  }
  for (;;) {
    if (::flock(s.lock_fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (!forever && std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void drop_file_lock(MutexState& s) {
  if (s.lock_fd >= 0) ::flock(s.lock_fd, LOCK_UN);
}

}  // namespace
}  // namespace morva::platform

using namespace morva::platform;

extern "C" {

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initial_owner, LPCWSTR name) {
  std::shared_ptr<MutexState> state;
  bool existed = false;
  if (name != nullptr && *name != 0) {
    const std::u16string key(name);
    std::lock_guard<std::mutex> lock(g_names_guard);
    state = g_names[key].lock();
    existed = state != nullptr;
    if (!state) {
      const std::string root = machine_root();
      if (root.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
      }
      std::error_code ec;
      std::filesystem::create_directories(root + "/locks", ec);
      state = std::make_shared<MutexState>();
      state->lock_path = root + "/locks/" + lock_file_name(key);
      g_names[key] = state;
    }
  } else {
    state = std::make_shared<MutexState>();
  }
  HANDLE handle = insert_handle(std::make_shared<MutexObject>(state));
  if (!handle) return nullptr;
  if (existed) {
    SetLastError(ERROR_ALREADY_EXISTS);
  } else {
    if (initial_owner && WaitForSingleObject(handle, INFINITE) != WAIT_OBJECT_0) {
      CloseHandle(handle);
      return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
  }
  return handle;
}

BOOL ReleaseMutex(HANDLE mutex) {
  auto object = handle_object<MutexObject>(mutex);
  if (!object) return FALSE;
  MutexState& s = *object->state;
  std::lock_guard<std::mutex> lock(s.guard);
  if (s.owner != GetCurrentThreadId() || s.depth == 0) {
    SetLastError(ERROR_NOT_OWNER);
    return FALSE;
  }
  if (--s.depth == 0) {
    s.owner = 0;
    drop_file_lock(s);
    s.released.notify_one();
  }
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE object_handle, DWORD milliseconds) {
  auto object = handle_object<Waitable>(object_handle);
  if (!object) return WAIT_FAILED;
  return object->wait(milliseconds);
}

}  // extern "C"

DWORD morva::platform::MutexObject::wait(DWORD milliseconds) {
  MutexState& s = *state;
  const DWORD self = GetCurrentThreadId();
  const bool forever = milliseconds == INFINITE;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(forever ? 0 : milliseconds);
  std::unique_lock<std::mutex> lock(s.guard);
  if (s.owner == self) {
    ++s.depth;
    return WAIT_OBJECT_0;
  }
  auto free = [&] { return s.owner == 0; };
  if (forever) {
    s.released.wait(lock, free);
  } else if (!s.released.wait_until(lock, deadline, free)) {
    return WAIT_TIMEOUT;
  }
  // Other threads of this process wait on the owner mark while this one
  // waits for the other processes.
  s.owner = self;
  s.depth = 1;
  lock.unlock();
  const bool taken = take_file_lock(s, deadline, forever);
  lock.lock();
  if (taken) return WAIT_OBJECT_0;
  s.owner = 0;
  s.depth = 0;
  s.released.notify_one();
  if (!forever && std::chrono::steady_clock::now() >= deadline) return WAIT_TIMEOUT;
  SetLastError(ERROR_ACCESS_DENIED);
  return WAIT_FAILED;
}


