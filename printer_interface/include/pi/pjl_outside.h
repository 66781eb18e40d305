// Entry points of the two outside libraries the job header binds at run
// time by file name and export name: the printing-instruction maker and the
// QJCL string library. Each QJCL call writes a zero-terminated ANSI text of
// at most *size bytes (its terminator included) into `buffer`, sets *size
// to the bytes it needs and answers nonzero on success.
#pragma once

#include "win/types.h"

extern "C" {
using QpifMakerInitializeFn = HANDLE (*)(HANDLE printer);
// options: {DWORD 1, DWORD 1 for a poster/N-up layout of setting 321 = 2}.
using QpifMakerSetSpSettingFn = BOOL (*)(HANDLE maker, const BYTE* sp_block, DWORD sp_size, const DWORD* options);
// Without a buffer only *size is set (the block's bytes).
using QpifMakerGetQpifFn = BOOL (*)(HANDLE maker, BYTE* buffer, DWORD capacity, DWORD* size);
using QpifMakerFinalizeFn = BOOL (*)(HANDLE maker);

using QjclNupFn = BOOL (*)(DWORD code, LPSTR buffer, DWORD* size, DWORD* status);
using QjclHostAddressFn = BOOL (*)(LPSTR buffer, DWORD* size, DWORD* status);
using QjclOwnerFromInputFn = BOOL (*)(DWORD kind, LPCSTR input, DWORD pages, DWORD output, LPSTR buffer, DWORD* size,
                                      DWORD* status);
using QjclOwnerFromUserHostFn = BOOL (*)(DWORD kind, DWORD pages, DWORD output, LPSTR buffer, DWORD* size,
                                         DWORD* status);
using QjclHostNameFn = BOOL (*)(DWORD kind, LPSTR buffer, DWORD* size, DWORD flags, DWORD* status);
}

// Status a QJCL call (and the local owner string) reports for a buffer that
// is too small; *size then holds the bytes needed.
inline constexpr DWORD kQjclBufferTooSmall = 3;
