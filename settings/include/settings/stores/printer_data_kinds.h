// The driver's blobs in the printer's data (per printer, shared by all
// users), each in numbered chunks of 768 bytes under a fixed name, with a
// REG_DWORD size value; and two spooler wrappers.
#pragma once

#include "win/types.h"

enum PrinterDataKind : DWORD {
  kPrinterDataFontSubTable = 0,     // FontSubstitutionList
  kPrinterDataSysTTFontList = 1,    // list of system TrueType fonts
  kPrinterDataPrinterData = 2,      // the PrinterData block
  kPrinterDataUserSettingInfo = 3,  // the UserSettingInfo record
  kPrinterDataPaperMarginArray = 4, // the PaperMarginArray
};

// Value names of a kind: {size value, chunk prefix}; null for a bad kind.
struct PrinterDataKindNames {
  const char16_t* size_name;
  const char16_t* prefix;
};
const PrinterDataKindNames* GetPrinterDataKindNames(DWORD kind);

// 1 when the size value and every chunk were written; 0 for a bad kind, a
// blob of 100 or more chunks, or a failing write (chunks already written
// stay).
INT WritePrinterDataKind(HANDLE printer, const void* data, DWORD size, DWORD kind);
// With a null buffer: 1 and the stored size. With a buffer of at least the
// stored size (*size is its capacity): 1 and the bytes read. 0 for a
// smaller buffer, 100 or more chunks, or a missing or damaged value.
INT ReadPrinterDataKind(HANDLE printer, DWORD kind, void* buffer, DWORD* size);
// Deletes chunks 1..n, then the size value. 1 when nothing is stored or all
// deletions succeeded; 0 for a bad kind, a stored size of 0 or of 100 or
// more chunks (nothing deleted), or a failing deletion (the walk stops).
INT DeletePrinterDataKind(HANDLE printer, DWORD kind);

// GetPrinterW / GetPrinterDriverW into a new global block of the size the
// first call asks for; null unless the first call fails with
// ERROR_INSUFFICIENT_BUFFER and the second succeeds.
BYTE* AllocGetPrinter(HANDLE printer, DWORD level);
BYTE* AllocGetPrinterDriver(HANDLE printer, DWORD level);
