// Per-thread free lists of the small objects a message is made of.
//
// Decoding a message into a new PDU creates a binding, an OID and a value
// for every variable and frees them all with the PDU: dozens of blocks of
// the same few sizes, more than the C library keeps at hand per size, so
// most of them took its slow path. A class that derives from
// PmsPooled<itself> takes its blocks from a list of the calling thread and
// gives them back there (up to kPmsPoolDepth per size); blocks beyond that,
// and every block once the thread's lists are gone, go to the heap.
//
// Under AddressSanitizer a block in a list is poisoned, so that a use after
// release is still reported.
#pragma once

#include <cstddef>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define PMS_POOL_POISON 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PMS_POOL_POISON 1
#endif
#endif
#ifdef PMS_POOL_POISON
#include <sanitizer/asan_interface.h>
#endif

namespace pms {

inline constexpr std::size_t kPmsPoolDepth = 256;

template <std::size_t Size>
class FreeList {
 public:
  static void* take() noexcept {
    State& s = state();
    if (s.count == 0) return nullptr;
    void* p = s.blocks[--s.count];
#ifdef PMS_POOL_POISON
    ASAN_UNPOISON_MEMORY_REGION(p, Size);
#endif
    return p;
  }
  static bool give(void* p) noexcept {
    State& s = state();
    if (s.closed || s.count == kPmsPoolDepth) return false;
    if (!s.cleaner_armed) {
      s.cleaner_armed = true;
      static thread_local Cleaner cleaner;  // frees the list when the thread ends
      (void)cleaner;
    }
#ifdef PMS_POOL_POISON
    ASAN_POISON_MEMORY_REGION(p, Size);
#endif
    s.blocks[s.count++] = p;
    return true;
  }
  // Blocks in the calling thread's list.
  static std::size_t held() noexcept { return state().count; }

 private:
  // Trivially destructible, so it stays usable while the thread's other
  // objects are destroyed; `closed` then sends every block to the heap.
  struct State {
    void* blocks[kPmsPoolDepth];
    std::size_t count;
    bool closed;
    bool cleaner_armed;
  };
  struct Cleaner {
    ~Cleaner() {
      State& s = state();
      s.closed = true;
      while (s.count) {
        void* p = s.blocks[--s.count];
#ifdef PMS_POOL_POISON
        ASAN_UNPOISON_MEMORY_REGION(p, Size);
#endif
        ::operator delete(p);
      }
    }
  };
  static State& state() noexcept {
    static thread_local State s{};
    return s;
  }
};

template <class T>
struct PmsPooled {
  static void* operator new(std::size_t n) {
    if (n == sizeof(T)) {
      if (void* p = FreeList<sizeof(T)>::take()) return p;
    }
    return ::operator new(n);
  }
  static void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    if (n == sizeof(T)) {
      if (void* p = FreeList<sizeof(T)>::take()) return p;
    }
    return ::operator new(n, std::nothrow);
  }
  static void operator delete(void* p, std::size_t n) noexcept {
    if (p == nullptr) return;
    if (n == sizeof(T) && FreeList<sizeof(T)>::give(p)) return;
    ::operator delete(p);
  }
  // The matching delete of a constructor that throws after the nothrow new.
  static void operator delete(void* p, const std::nothrow_t&) noexcept { operator delete(p, sizeof(T)); }
};

}  // namespace pms
