// A critical section that lives as long as its owner, and a scope guard
// over it: the one locking idiom of the SNMP engine's shared state.
#pragma once

#include "win/memory.h"

class CPmcCriticalSection {
 public:
  CPmcCriticalSection() { InitializeCriticalSection(&cs); }
  ~CPmcCriticalSection() { DeleteCriticalSection(&cs); }
  CPmcCriticalSection(const CPmcCriticalSection&) = delete;
  CPmcCriticalSection& operator=(const CPmcCriticalSection&) = delete;

  CRITICAL_SECTION cs;
};

class CPmcLockGuard {
 public:
  explicit CPmcLockGuard(CRITICAL_SECTION& cs) : cs_(cs) { EnterCriticalSection(&cs_); }
  explicit CPmcLockGuard(CPmcCriticalSection& lock) : CPmcLockGuard(lock.cs) {}
  ~CPmcLockGuard() { LeaveCriticalSection(&cs_); }
  CPmcLockGuard(const CPmcLockGuard&) = delete;
  CPmcLockGuard& operator=(const CPmcLockGuard&) = delete;

 private:
  CRITICAL_SECTION& cs_;
};
