// Blobs in numbered printer-data chunks.
#include "settings/stores/chunked_printer_data.h"

#include <algorithm>

#include "win/errors.h"
#include "win/memory.h"
#include "win/registry.h"
#include "win/spooler.h"

namespace morva::settings {

std::u16string ChunkValueName(LPCWSTR prefix, DWORD index) {
  std::u16string name(prefix);
  const std::string digits = std::to_string(index);
  name.append(digits.begin(), digits.end());
  return name;
}

BOOL ReadChunkSizeValue(HANDLE printer, LPCWSTR size_name, DWORD* size) {
  DWORD type = 0, needed = 0;
  BYTE bytes[4] = {};
  if (GetPrinterDataW(printer, const_cast<LPWSTR>(size_name), &type, bytes, sizeof bytes, &needed) != ERROR_SUCCESS) {
    return FALSE;
  }
  if (type != REG_DWORD || needed != sizeof bytes) return FALSE;
  *size = static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 | static_cast<DWORD>(bytes[2]) << 16 |
          static_cast<DWORD>(bytes[3]) << 24;
  return TRUE;
}

BOOL WriteChunks(HANDLE printer, const BYTE* data, DWORD size, LPCWSTR prefix, LPCWSTR size_name) {
  const DWORD n = ChunkCount(size);
  if (n > kPrinterDataMaxChunks || (size != 0 && data == nullptr)) return FALSE;
  BYTE bytes[4] = {static_cast<BYTE>(size), static_cast<BYTE>(size >> 8), static_cast<BYTE>(size >> 16),
                   static_cast<BYTE>(size >> 24)};
  if (SetPrinterDataW(printer, const_cast<LPWSTR>(size_name), REG_DWORD, bytes, sizeof bytes) != ERROR_SUCCESS) {
    return FALSE;
  }
  for (DWORD i = 1; i <= n; ++i) {
    const DWORD offset = (i - 1) * kPrinterDataChunkSize;
    const DWORD part = std::min(kPrinterDataChunkSize, size - offset);
    std::u16string name = ChunkValueName(prefix, i);
    if (SetPrinterDataW(printer, name.data(), REG_BINARY, const_cast<BYTE*>(data + offset), part) != ERROR_SUCCESS) {
      return FALSE;
    }
  }
  return TRUE;
}

BOOL ReadChunks(HANDLE printer, BYTE* buffer, DWORD size, LPCWSTR prefix) {
  const DWORD n = ChunkCount(size);
  if (n > kPrinterDataMaxChunks || (size != 0 && buffer == nullptr)) return FALSE;
  for (DWORD i = 1; i <= n; ++i) {
    const DWORD offset = (i - 1) * kPrinterDataChunkSize;
    const DWORD part = std::min(kPrinterDataChunkSize, size - offset);
    std::u16string name = ChunkValueName(prefix, i);
    DWORD type = 0, needed = 0;
    if (GetPrinterDataW(printer, name.data(), &type, buffer + offset, part, &needed) != ERROR_SUCCESS) return FALSE;
    if (type != REG_BINARY || needed != part) return FALSE;
  }
  return TRUE;
}

}  // namespace morva::settings

using namespace morva::settings;

BOOL WriteChunkedPrinterData(HANDLE printer, const void* data, DWORD size, LPCWSTR name, LPCWSTR size_name) {
  if (printer == nullptr || name == nullptr || size_name == nullptr) return FALSE;
  return WriteChunks(printer, static_cast<const BYTE*>(data), size, name, size_name);
}

BOOL ReadChunkedPrinterData(HANDLE printer, BYTE** data, DWORD* size, LPCWSTR name, LPCWSTR size_name) {
  if (data) *data = nullptr;
  if (size) *size = 0;
  if (printer == nullptr || data == nullptr || size == nullptr || name == nullptr || size_name == nullptr) {
    return FALSE;
  }
  DWORD stored = 0;
  if (!ReadChunkSizeValue(printer, size_name, &stored)) return FALSE;
  if (ChunkCount(stored) > kPrinterDataMaxChunks) return FALSE;
  auto* block = static_cast<BYTE*>(GlobalAlloc(GPTR, std::max<DWORD>(stored, 1)));
  if (block == nullptr) return FALSE;
  if (!ReadChunks(printer, block, stored, name)) {
    GlobalFree(block);
    return FALSE;
  }
  *data = block;
  *size = stored;
  return TRUE;
}
