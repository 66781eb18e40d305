// Global memory blocks, private heaps, critical sections, thread-local
// storage and the interlocked helpers.
#pragma once

#include <pthread.h>

#include "win/types.h"

#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define LMEM_FIXED 0x0000u
#define LMEM_MOVEABLE 0x0002u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

#define HEAP_NO_SERIALIZE 0x00000001u
#define HEAP_GENERATE_EXCEPTIONS 0x00000004u
#define HEAP_ZERO_MEMORY 0x00000008u
#define HEAP_REALLOC_IN_PLACE_ONLY 0x00000010u

#define TLS_OUT_OF_INDEXES 0xFFFFFFFFu

// A critical section is recursive for its owning thread, as on Windows.
struct CRITICAL_SECTION {
  pthread_mutex_t mutex;
  DWORD spin_count;
  DWORD initialized;  // set by Initialize*, cleared by Delete
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

extern "C" {
// Blocks are fixed: the handle is the address, GlobalLock returns it.
MORVA_WIN_API HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
MORVA_WIN_API HGLOBAL GlobalReAlloc(HGLOBAL mem, SIZE_T bytes, UINT flags);
MORVA_WIN_API HGLOBAL GlobalFree(HGLOBAL mem);  // NULL on success
MORVA_WIN_API LPVOID GlobalLock(HGLOBAL mem);
MORVA_WIN_API BOOL GlobalUnlock(HGLOBAL mem);
MORVA_WIN_API SIZE_T GlobalSize(HGLOBAL mem);
MORVA_WIN_API HGLOBAL GlobalHandle(LPCVOID mem);
MORVA_WIN_API HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
MORVA_WIN_API HLOCAL LocalFree(HLOCAL mem);
MORVA_WIN_API SIZE_T LocalSize(HLOCAL mem);

MORVA_WIN_API HANDLE HeapCreate(DWORD options, SIZE_T initial, SIZE_T maximum);
MORVA_WIN_API BOOL HeapDestroy(HANDLE heap);
MORVA_WIN_API HANDLE GetProcessHeap();
MORVA_WIN_API LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
MORVA_WIN_API LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID mem, SIZE_T bytes);
MORVA_WIN_API BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID mem);
MORVA_WIN_API SIZE_T HeapSize(HANDLE heap, DWORD flags, LPCVOID mem);

MORVA_WIN_API void InitializeCriticalSection(LPCRITICAL_SECTION cs);
MORVA_WIN_API BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD spin);
MORVA_WIN_API void EnterCriticalSection(LPCRITICAL_SECTION cs);
MORVA_WIN_API BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs);
MORVA_WIN_API void LeaveCriticalSection(LPCRITICAL_SECTION cs);
MORVA_WIN_API void DeleteCriticalSection(LPCRITICAL_SECTION cs);

MORVA_WIN_API DWORD TlsAlloc();
MORVA_WIN_API BOOL TlsFree(DWORD index);
MORVA_WIN_API LPVOID TlsGetValue(DWORD index);
MORVA_WIN_API BOOL TlsSetValue(DWORD index, LPVOID value);

MORVA_WIN_API LONG InterlockedIncrement(LONG volatile* value);
MORVA_WIN_API LONG InterlockedDecrement(LONG volatile* value);
MORVA_WIN_API LONG InterlockedExchange(LONG volatile* target, LONG value);
MORVA_WIN_API LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand);

MORVA_WIN_API DWORD GetCurrentThreadId();
MORVA_WIN_API DWORD GetCurrentProcessId();
MORVA_WIN_API void Sleep(DWORD milliseconds);
}

// Test hook: the next `count` allocations through GlobalAlloc/HeapAlloc fail
// with ERROR_NOT_ENOUGH_MEMORY after `skip` successful ones.
namespace morva::platform {
MORVA_WIN_API void inject_allocation_failure(int skip, int count);
}
