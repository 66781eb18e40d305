// Per-thread blocks over thread-local storage, and the registry of
// variables with initial values.
#include "snmp/per_thread_store.h"

#include <cstdlib>

std::recursive_mutex& pmc_snmp_library_lock() {
  static std::recursive_mutex lock;
  return lock;
}

CPmcPerThreadStore& CPmcPerThreadStore::instance() {
  static CPmcPerThreadStore store(kBlockSize);
  return store;
}

CPmcPerThreadStore::CPmcPerThreadStore(std::uint32_t block_size) : tls_(TlsAlloc()), block_size_(block_size) {
  InitializeCriticalSection(&cs_);
}

CPmcPerThreadStore::~CPmcPerThreadStore() {
  free_thread_block();
  if (tls_ != TLS_OUT_OF_INDEXES) TlsFree(tls_);
  DeleteCriticalSection(&cs_);
}

std::int32_t CPmcPerThreadStore::reserve(std::uint32_t n, std::uint32_t align) {
  if (align == 0) align = 1;
  EnterCriticalSection(&cs_);
  std::int32_t at = -1;
  std::uint64_t start = (static_cast<std::uint64_t>(next_) + align - 1) / align * align;
  if (start + n < block_size_) {
    at = static_cast<std::int32_t>(start);
    next_ = static_cast<std::uint32_t>(start + n);
  }
  LeaveCriticalSection(&cs_);
  return at;
}

void* CPmcPerThreadStore::address(std::int32_t offset) {
  if (tls_ == TLS_OUT_OF_INDEXES || offset < 0 || static_cast<std::uint32_t>(offset) >= block_size_) return nullptr;
  EnterCriticalSection(&cs_);
  auto* block = static_cast<unsigned char*>(TlsGetValue(tls_));
  if (!block) {
    block = static_cast<unsigned char*>(std::calloc(1, block_size_));
    if (block) TlsSetValue(tls_, block);
  }
  LeaveCriticalSection(&cs_);
  return block ? block + offset : nullptr;
}

void CPmcPerThreadStore::free_thread_block() {
  if (tls_ == TLS_OUT_OF_INDEXES) return;
  if (void* block = TlsGetValue(tls_)) {
    std::free(block);
    TlsSetValue(tls_, nullptr);
  }
}

PerThreadVariable::PerThreadVariable(CPmcPerThreadStore& store, const void* initial, std::uint32_t size,
                                     std::uint32_t align)
    : store_(store), offset_(-1), initial_(initial), size_(size) {
  offset_ = store.reserve(size, align);
}

CPmcPerThreadRegistry& CPmcPerThreadRegistry::instance() {
  static CPmcPerThreadRegistry registry;
  return registry;
}

CPmcPerThreadRegistry::CPmcPerThreadRegistry() { InitializeCriticalSection(&cs_); }

CPmcPerThreadRegistry::~CPmcPerThreadRegistry() {
  while (head_) {
    Node* next = head_->next;
    delete head_;
    head_ = next;
  }
  DeleteCriticalSection(&cs_);
}

void CPmcPerThreadRegistry::add(PerThreadVariable* variable) {
  if (!variable) return;
  EnterCriticalSection(&cs_);
  Node* n = new Node{tail_, nullptr, variable};
  if (tail_)
    tail_->next = n;
  else
    head_ = n;
  tail_ = n;
  ++count_;
  LeaveCriticalSection(&cs_);
}

void CPmcPerThreadRegistry::initialise_thread() {
  // Registration ends with start-up; the walk needs no lock.
  for (Node* n = head_; n; n = n->next) n->variable->copy_initial();
}
