// Printer-data kinds: fixed blob names over the chunked printer data.
#include "settings/stores/printer_data_kinds.h"

#include "settings/stores/chunked_printer_data.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/spooler.h"

using namespace morva::settings;

namespace {

constexpr PrinterDataKindNames kKindNames[] = {
    {u"FontSubTableSize", u"FontSubTable"},
    {u"SysTTFontListSize", u"SysTTFontList"},
    {u"PrinterDataSize", u"PrinterData"},
    {u"UserSettingInfoSize", u"UserSettingInfo"},
    {u"PaperMarginArraySize", u"PaperMarginArray"},
};

}  // namespace

const PrinterDataKindNames* GetPrinterDataKindNames(DWORD kind) {
  return kind < std::size(kKindNames) ? &kKindNames[kind] : nullptr;
}

INT WritePrinterDataKind(HANDLE printer, const void* data, DWORD size, DWORD kind) {
  const PrinterDataKindNames* names = GetPrinterDataKindNames(kind);
  if (names == nullptr || printer == nullptr) return 0;
  return WriteChunks(printer, static_cast<const BYTE*>(data), size, names->prefix, names->size_name) ? 1 : 0;
}

INT ReadPrinterDataKind(HANDLE printer, DWORD kind, void* buffer, DWORD* size) {
  const PrinterDataKindNames* names = GetPrinterDataKindNames(kind);
  if (names == nullptr || printer == nullptr || size == nullptr) return 0;
  DWORD stored = 0;
  if (!ReadChunkSizeValue(printer, names->size_name, &stored)) return 0;
  if (ChunkCount(stored) > kPrinterDataMaxChunks) return 0;
  if (buffer == nullptr) {
    *size = stored;
    return 1;
  }
  if (*size < stored) return 0;
  if (!ReadChunks(printer, static_cast<BYTE*>(buffer), stored, names->prefix)) return 0;
  *size = stored;
  return 1;
}

INT DeletePrinterDataKind(HANDLE printer, DWORD kind) {
  const PrinterDataKindNames* names = GetPrinterDataKindNames(kind);
  if (names == nullptr || printer == nullptr) return 0;
  DWORD stored = 0;
  if (!ReadChunkSizeValue(printer, names->size_name, &stored)) return 1;
  const DWORD n = ChunkCount(stored);
  if (stored == 0 || n > kPrinterDataMaxChunks) return 0;
  for (DWORD i = 1; i <= n; ++i) {
    std::u16string name = ChunkValueName(names->prefix, i);
    if (DeletePrinterDataW(printer, name.data()) != ERROR_SUCCESS) return 0;
  }
  return DeletePrinterDataW(printer, const_cast<LPWSTR>(names->size_name)) == ERROR_SUCCESS ? 1 : 0;
}

namespace {

template <typename Get>
BYTE* alloc_get(Get get) {
  DWORD needed = 0;
  if (get(nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) return nullptr;
  auto* block = static_cast<BYTE*>(GlobalAlloc(GPTR, needed));
  if (block == nullptr) return nullptr;
  if (!get(block, needed, &needed)) {
    GlobalFree(block);
    return nullptr;
  }
  return block;
}

}  // namespace

BYTE* AllocGetPrinter(HANDLE printer, DWORD level) {
  return alloc_get([&](BYTE* b, DWORD s, DWORD* n) { return GetPrinterW(printer, level, b, s, n); });
}

BYTE* AllocGetPrinterDriver(HANDLE printer, DWORD level) {
  return alloc_get([&](BYTE* b, DWORD s, DWORD* n) { return GetPrinterDriverW(printer, nullptr, level, b, s, n); });
}
