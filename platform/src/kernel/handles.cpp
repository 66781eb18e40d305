#include "win/handles.h"

#include <mutex>
#include <unordered_map>

namespace morva::platform {
namespace {
std::mutex g_lock;
std::unordered_map<UINT_PTR, std::shared_ptr<KernelObject>>* g_table = nullptr;
UINT_PTR g_next = 0x100;

std::unordered_map<UINT_PTR, std::shared_ptr<KernelObject>>& table() {
  if (!g_table) g_table = new std::unordered_map<UINT_PTR, std::shared_ptr<KernelObject>>;
  return *g_table;
}

// Objects still open at exit are released so their destructors run
// (delete-on-close files, temporary files).
struct ReleaseAtExit {
  ~ReleaseAtExit() {
    std::unordered_map<UINT_PTR, std::shared_ptr<KernelObject>>* t;
    {
      std::lock_guard<std::mutex> g(g_lock);
      t = g_table;
      g_table = nullptr;
    }
    delete t;
  }
} g_release_at_exit;
}  // namespace

KernelObject::~KernelObject() = default;

HANDLE insert_handle(std::shared_ptr<KernelObject> object) {
  if (!object) return nullptr;
  std::lock_guard<std::mutex> g(g_lock);
  auto& t = table();
  // Skip values still in use after the counter wraps.
  do {
    g_next += 4;
    if (g_next >= 0x7FFFFFF0) g_next = 0x100;
  } while (t.count(g_next));
  t.emplace(g_next, std::move(object));
  return reinterpret_cast<HANDLE>(g_next);
}

std::shared_ptr<KernelObject> find_handle(HANDLE handle) {
  std::lock_guard<std::mutex> g(g_lock);
  if (!g_table) return nullptr;
  auto it = g_table->find(reinterpret_cast<UINT_PTR>(handle));
  return it == g_table->end() ? nullptr : it->second;
}

bool remove_handle(HANDLE handle) {
  std::shared_ptr<KernelObject> object;  // destroyed outside the lock
  {
    std::lock_guard<std::mutex> g(g_lock);
    if (g_table) {
      auto it = g_table->find(reinterpret_cast<UINT_PTR>(handle));
      if (it != g_table->end()) {
        object = std::move(it->second);
        g_table->erase(it);
      }
    }
  }
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return true;
}

}  // namespace morva::platform

extern "C" BOOL CloseHandle(HANDLE handle) { return morva::platform::remove_handle(handle) ? TRUE : FALSE; }
