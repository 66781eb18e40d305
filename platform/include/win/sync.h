// Mutexes and waiting on them. A named mutex is one per machine root: the
// threads of one process share the object, and other processes meet it
// through a lock file under <root>/locks, so a lock taken by one process
// holds off every other process of the same machine.
#pragma once

#include "win/types.h"

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu

#define ERROR_NOT_OWNER 288L

extern "C" {
// A mutex, named or not; with a name that exists already, that mutex (last
// error ERROR_ALREADY_EXISTS, and `initial_owner` is ignored). Null on
// failure.
MORVA_WIN_API HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES security, BOOL initial_owner, LPCWSTR name);
// Releases one ownership of the calling thread; FALSE with ERROR_NOT_OWNER
// when the thread does not own it.
MORVA_WIN_API BOOL ReleaseMutex(HANDLE mutex);
// Waits up to `milliseconds` (INFINITE: for ever) to own a mutex; a thread
// that owns it already takes it again (released as often as taken). The
// lock a dead process held is given up by the system, and the next owner
// gets WAIT_OBJECT_0.
MORVA_WIN_API DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
}
