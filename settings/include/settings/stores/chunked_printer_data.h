// Blobs kept in a printer's data in numbered chunks: a REG_DWORD size value
// holding the blob's byte size S, and REG_BINARY chunks "<name>1",
// "<name>2", ... of 768 bytes each, the last holding the rest. A blob needs
// at most 99 chunks. Chunks of an earlier, longer blob are left in place;
// the size value decides how many are read.
#pragma once

#include <string>

#include "win/types.h"

namespace morva::settings {

inline constexpr DWORD kPrinterDataChunkSize = 768;
inline constexpr DWORD kPrinterDataMaxChunks = 99;
inline constexpr DWORD kPrinterDataMaxBlob = kPrinterDataChunkSize * kPrinterDataMaxChunks;  // 76,032
static_assert(kPrinterDataMaxBlob == 76032);

// Number of chunks a blob of `size` bytes takes (rounded up without adding
// first, so that sizes near 4 GiB do not wrap to a small count).
inline DWORD ChunkCount(DWORD size) { return size / kPrinterDataChunkSize + (size % kPrinterDataChunkSize != 0); }
// "<prefix><index>" (index in decimal, from 1).
std::u16string ChunkValueName(LPCWSTR prefix, DWORD index);

// Reads the REG_DWORD size value; FALSE when it is missing or is not a
// 4-byte REG_DWORD.
BOOL ReadChunkSizeValue(HANDLE printer, LPCWSTR size_name, DWORD* size);
// Writes the size value, then chunks 1..n in order; stops at the first
// failing write (chunks already written stay). FALSE for more than 99
// chunks (nothing written) or any failed write.
BOOL WriteChunks(HANDLE printer, const BYTE* data, DWORD size, LPCWSTR prefix, LPCWSTR size_name);
// Reads `size` bytes from chunks 1..n into `buffer`. Every chunk must be a
// REG_BINARY value of exactly the bytes it should hold: a shorter, longer
// or missing chunk fails the read, so that no stale or missing part is
// taken for data.
BOOL ReadChunks(HANDLE printer, BYTE* buffer, DWORD size, LPCWSTR prefix);

}  // namespace morva::settings

// The blob under `name` with its size value `size_name`. Writing: TRUE when
// the size value and every chunk were written; a size of 0 writes only the
// size value.
BOOL WriteChunkedPrinterData(HANDLE printer, const void* data, DWORD size, LPCWSTR name, LPCWSTR size_name);
// Reading: a new zeroed global block of the stored size (at least one byte,
// so that an empty blob is a block too) and the size; on failure nothing is
// handed out.
BOOL ReadChunkedPrinterData(HANDLE printer, BYTE** data, DWORD* size, LPCWSTR name, LPCWSTR size_name);
