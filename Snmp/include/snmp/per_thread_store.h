// Per-thread store for the SNMP library's former globals.
//
// Each variable is an offset into a per-thread block (0x40000 bytes,
// zero-filled, allocated on a thread's first access); variables with an
// initial value register a descriptor whose copy operation writes that
// value into the calling thread's block when the library is initialised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "win/memory.h"

// The process-wide lock around binding the system library and counting
// the library's starts and ends.
std::recursive_mutex& pmc_snmp_library_lock();

class CPmcPerThreadStore {
 public:
  static constexpr std::uint32_t kBlockSize = 0x40000;

  // The process's store, created on first call.
  static CPmcPerThreadStore& instance();

  // A store of its own (tests); `block_size` bytes per thread.
  explicit CPmcPerThreadStore(std::uint32_t block_size);
  ~CPmcPerThreadStore();
  CPmcPerThreadStore(const CPmcPerThreadStore&) = delete;
  CPmcPerThreadStore& operator=(const CPmcPerThreadStore&) = delete;

  // The next free offset (first rounded up to `align`), advanced by n; -1
  // (nothing changes) when the reservation would reach the end of the block.
  std::int32_t reserve(std::uint32_t n, std::uint32_t align = 1);
  // The calling thread's copy at `offset`; its block is allocated and
  // zero-filled on first use. Null when no block can be had or the offset
  // is not a reserved one.
  void* address(std::int32_t offset);
  // Frees the calling thread's block; its next access gets a fresh one.
  void free_thread_block();
  std::uint32_t block_size() const { return block_size_; }

 private:
  CRITICAL_SECTION cs_;
  DWORD tls_;
  std::uint32_t block_size_;
  std::uint32_t next_ = 0;
};

// A former global: its offset in the block, its initial value (null: none)
// and its size. The first operation writes the initial value into the
// calling thread's copy.
class PerThreadVariable {
 public:
  virtual void copy_initial() = 0;

  std::int32_t offset() const { return offset_; }
  std::uint32_t size() const { return size_; }
  // The calling thread's copy (null when the store has no room for it).
  void* address() const { return offset_ < 0 ? nullptr : store_.address(offset_); }

 protected:
  PerThreadVariable(CPmcPerThreadStore& store, const void* initial, std::uint32_t size, std::uint32_t align);
  ~PerThreadVariable() = default;
  void copy_bytes(std::uint32_t n) {
    if (!initial_) return;
    if (void* p = address()) std::memcpy(p, initial_, n);
  }

  CPmcPerThreadStore& store_;
  std::int32_t offset_;
  const void* initial_;
  std::uint32_t size_;
};

class CPmcPerThreadRegistry {
 public:
  static CPmcPerThreadRegistry& instance();
  CPmcPerThreadRegistry();
  ~CPmcPerThreadRegistry();
  CPmcPerThreadRegistry(const CPmcPerThreadRegistry&) = delete;
  CPmcPerThreadRegistry& operator=(const CPmcPerThreadRegistry&) = delete;

  void add(PerThreadVariable* variable);
  std::uint32_t count() const { return count_; }
  // Writes every registered variable's initial value into the calling
  // thread's block, in registration order.
  void initialise_thread();

 private:
  struct Node {
    Node* prev;
    Node* next;
    PerThreadVariable* variable;
  };
  CRITICAL_SECTION cs_;
  Node* head_ = nullptr;
  Node* tail_ = nullptr;
  std::uint32_t count_ = 0;
};

// The kinds of former globals. Each reserves its place when constructed
// and, when it has an initial value, registers itself and writes the value
// for the constructing thread.
template <class T, std::uint32_t N, bool kByteWise>
class PerThreadValue final : public PerThreadVariable {
 public:
  explicit PerThreadValue(const T* initial = nullptr, CPmcPerThreadStore& store = CPmcPerThreadStore::instance(),
                          CPmcPerThreadRegistry& registry = CPmcPerThreadRegistry::instance())
      : PerThreadVariable(store, initial, static_cast<std::uint32_t>(sizeof(T)) * N,
                          static_cast<std::uint32_t>(alignof(T))) {
    if (initial) {
      registry.add(this);
      copy_initial();
    }
  }
  void copy_initial() override { copy_bytes(static_cast<std::uint32_t>(sizeof(T)) * N); }
  T* get() const { return static_cast<T*>(address()); }
};

using PerThreadWord = PerThreadValue<std::uint32_t, 1, false>;
template <std::uint32_t N>
using PerThreadWordArray = PerThreadValue<std::uint32_t, N, false>;
template <std::uint32_t N>
using PerThreadBuffer = PerThreadValue<char, N, true>;
using PerThreadChar = PerThreadValue<char, 1, true>;
