#include "win/memory.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <thread>
#include <unistd.h>

#include "win/errors.h"

namespace {

thread_local DWORD t_last_error = 0;

// Header in front of every global/local block: lets GlobalSize answer and
// GlobalFree refuse what it did not hand out.
struct alignas(16) BlockHeader {
  std::uint64_t magic;
  std::size_t size;
};
constexpr std::uint64_t kBlockMagic = 0x4d4f5256414d454dull;  // "MORVAMEM"
constexpr std::uint64_t kFreedMagic = 0x4652454544424c4bull;

std::atomic<int> g_fail_skip{0};
std::atomic<int> g_fail_count{0};

bool allocation_should_fail() {
  if (g_fail_count.load() <= 0) return false;
  if (g_fail_skip.load() > 0) {
    g_fail_skip.fetch_sub(1);
    return false;
  }
  return g_fail_count.fetch_sub(1) > 0;
}

BlockHeader* header_of(const void* mem) {
  if (!mem) return nullptr;
  auto* h = reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(mem)) - sizeof(BlockHeader));
  return h->magic == kBlockMagic ? h : nullptr;
}

void* block_alloc(UINT flags, SIZE_T bytes, UINT zero_flag) {
  if (allocation_should_fail()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* raw = std::malloc(sizeof(BlockHeader) + (bytes ? bytes : 1));
  if (!raw) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* h = static_cast<BlockHeader*>(raw);
  h->magic = kBlockMagic;
  h->size = bytes;
  void* data = h + 1;
  if (flags & zero_flag) std::memset(data, 0, bytes);
  return data;
}

void* block_free(void* mem) {
  if (!mem) return nullptr;
  BlockHeader* h = header_of(mem);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return mem;
  }
  h->magic = kFreedMagic;
  std::free(h);
  return nullptr;
}

// A private heap remembers its blocks so HeapDestroy frees them all.
struct Heap {
  std::mutex lock;
  std::set<void*> blocks;
};
Heap g_process_heap_storage;
Heap* const g_process_heap = &g_process_heap_storage;

constexpr DWORD kTlsSlots = 1088;
std::mutex g_tls_lock;
bool g_tls_used[kTlsSlots];
thread_local void* t_tls[kTlsSlots];

}  // namespace

extern "C" {

DWORD GetLastError() { return t_last_error; }
void SetLastError(DWORD code) { t_last_error = code; }

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) { return block_alloc(flags, bytes, GMEM_ZEROINIT); }

HGLOBAL GlobalReAlloc(HGLOBAL mem, SIZE_T bytes, UINT flags) {
  BlockHeader* h = header_of(mem);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  void* fresh = block_alloc(flags, bytes, GMEM_ZEROINIT);
  if (!fresh) return nullptr;
  std::memcpy(fresh, mem, h->size < bytes ? h->size : bytes);
  if ((flags & GMEM_ZEROINIT) && bytes > h->size)
    std::memset(static_cast<char*>(fresh) + h->size, 0, bytes - h->size);
  block_free(mem);
  return fresh;
}

HGLOBAL GlobalFree(HGLOBAL mem) { return block_free(mem); }
LPVOID GlobalLock(HGLOBAL mem) {
  if (!header_of(mem)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return mem;
}
BOOL GlobalUnlock(HGLOBAL mem) {
  // Fixed blocks have no lock count: Windows answers FALSE with no error.
  (void)mem;
  SetLastError(NO_ERROR);
  return FALSE;
}
SIZE_T GlobalSize(HGLOBAL mem) {
  BlockHeader* h = header_of(mem);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return h->size;
}
HGLOBAL GlobalHandle(LPCVOID mem) { return header_of(mem) ? const_cast<void*>(mem) : nullptr; }
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) { return block_alloc(flags, bytes, LMEM_ZEROINIT); }
HLOCAL LocalFree(HLOCAL mem) { return block_free(mem); }
SIZE_T LocalSize(HLOCAL mem) { return GlobalSize(mem); }

HANDLE HeapCreate(DWORD, SIZE_T, SIZE_T) { return new (std::nothrow) Heap; }

BOOL HeapDestroy(HANDLE heap) {
  auto* h = static_cast<Heap*>(heap);
  if (!h || h == g_process_heap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  for (void* b : h->blocks) block_free(b);
  delete h;
  return TRUE;
}

HANDLE GetProcessHeap() { return g_process_heap; }

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  auto* h = static_cast<Heap*>(heap);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  void* p = block_alloc(flags, bytes, HEAP_ZERO_MEMORY);
  if (!p) return nullptr;
  std::lock_guard<std::mutex> g(h->lock);
  h->blocks.insert(p);
  return p;
}

LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID mem, SIZE_T bytes) {
  auto* h = static_cast<Heap*>(heap);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> g(h->lock);
    if (!h->blocks.count(mem)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
  }
  BlockHeader* bh = header_of(mem);
  if (flags & HEAP_REALLOC_IN_PLACE_ONLY) {
    if (bytes <= bh->size) {
      bh->size = bytes;
      return mem;
    }
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* fresh = block_alloc(flags, bytes, HEAP_ZERO_MEMORY);
  if (!fresh) return nullptr;
  std::memcpy(fresh, mem, bh->size < bytes ? bh->size : bytes);
  if ((flags & HEAP_ZERO_MEMORY) && bytes > bh->size)
    std::memset(static_cast<char*>(fresh) + bh->size, 0, bytes - bh->size);
  std::lock_guard<std::mutex> g(h->lock);
  h->blocks.erase(mem);
  block_free(mem);
  h->blocks.insert(fresh);
  return fresh;
}

BOOL HeapFree(HANDLE heap, DWORD, LPVOID mem) {
  auto* h = static_cast<Heap*>(heap);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!mem) return TRUE;
  std::lock_guard<std::mutex> g(h->lock);
  if (!h->blocks.erase(mem)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  block_free(mem);
  return TRUE;
}

SIZE_T HeapSize(HANDLE heap, DWORD, LPCVOID mem) {
  auto* h = static_cast<Heap*>(heap);
  if (!h) return static_cast<SIZE_T>(-1);
  std::lock_guard<std::mutex> g(h->lock);
  if (!h->blocks.count(const_cast<void*>(mem))) return static_cast<SIZE_T>(-1);
  return header_of(mem)->size;
}

void InitializeCriticalSection(LPCRITICAL_SECTION cs) { InitializeCriticalSectionAndSpinCount(cs, 0); }

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD spin) {
  if (!cs) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  int rc = pthread_mutex_init(&cs->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
  if (rc != 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  cs->spin_count = spin;
  cs->initialized = 1;
  return TRUE;
}

void EnterCriticalSection(LPCRITICAL_SECTION cs) {
  // Spinning first, as the spin count asks, before blocking.
  for (DWORD i = 0; i < cs->spin_count; ++i)
    if (pthread_mutex_trylock(&cs->mutex) == 0) return;
  pthread_mutex_lock(&cs->mutex);
}
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) { return pthread_mutex_trylock(&cs->mutex) == 0; }
void LeaveCriticalSection(LPCRITICAL_SECTION cs) { pthread_mutex_unlock(&cs->mutex); }
void DeleteCriticalSection(LPCRITICAL_SECTION cs) {
  if (cs && cs->initialized) {
    pthread_mutex_destroy(&cs->mutex);
    cs->initialized = 0;
  }
}

DWORD TlsAlloc() {
  std::lock_guard<std::mutex> g(g_tls_lock);
  for (DWORD i = 0; i < kTlsSlots; ++i) {
    if (!g_tls_used[i]) {
      g_tls_used[i] = true;
      return i;
    }
  }
  SetLastError(ERROR_NO_MORE_ITEMS);
  return TLS_OUT_OF_INDEXES;
}
BOOL TlsFree(DWORD index) {
  std::lock_guard<std::mutex> g(g_tls_lock);
  if (index >= kTlsSlots || !g_tls_used[index]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  g_tls_used[index] = false;
  return TRUE;
}
LPVOID TlsGetValue(DWORD index) {
  if (index >= kTlsSlots) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  SetLastError(NO_ERROR);
  return t_tls[index];
}
BOOL TlsSetValue(DWORD index, LPVOID value) {
  if (index >= kTlsSlots) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  t_tls[index] = value;
  return TRUE;
}

LONG InterlockedIncrement(LONG volatile* v) { return __atomic_add_fetch(v, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedDecrement(LONG volatile* v) { return __atomic_sub_fetch(v, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedExchange(LONG volatile* t, LONG v) { return __atomic_exchange_n(t, v, __ATOMIC_SEQ_CST); }
LONG InterlockedCompareExchange(LONG volatile* t, LONG x, LONG c) {
  __atomic_compare_exchange_n(t, &c, x, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return c;
}

DWORD GetCurrentThreadId() { return static_cast<DWORD>(gettid()); }
DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }
void Sleep(DWORD ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // extern "C"

namespace morva::platform {
void inject_allocation_failure(int skip, int count) {
  g_fail_skip = skip;
  g_fail_count = count;
}
}  // namespace morva::platform
