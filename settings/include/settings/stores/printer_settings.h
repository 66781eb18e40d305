// The printer's stored PrinterData block and how the system obtains the
// block it works with: the stored block (converted when its layout is
// older), the current user's per-user settings merged in and the model
// configuration's forced values applied, or the database defaults as the
// last resort.
#pragma once

#include "win/types.h"

struct DddHandle;

inline constexpr DWORD kPrinterDataBlockSize = 7972;
inline constexpr WORD kPrinterDataCurrentVersion = 21072;  // DDMID 8204
inline constexpr WORD kPrinterDataCurrentLayout = 8775;    // DDMID 8203
// Blocks from this version on keep their per-user values in the per-user
// record; older ones carried them in the block only.
inline constexpr WORD kPrinterDataUserRecordVersion = 16389;

// Fills `destination` (at least 7972 bytes) with the printer's block of the
// current layout and the user's settings. 1 success, 0 failure (also for a
// null argument, with nothing touched).
INT ReadPrinterSettings(HANDLE printer, void* destination, DddHandle* database);

// The stored block (`size` bytes) brought to the current layout into the
// 7972-byte `destination` by the settings migration: 1 the same version
// copied, 0 converted, 2 replaced by the database defaults, -1 when not
// even the defaults can be made.
INT ConvertPrinterDataBlock(HANDLE printer, const BYTE* stored, DWORD size, void* destination, DddHandle* database);

// Registers the driver name and, with `store`, stores the block as the
// printer's "PrinterData" with the database defaults in its per-user
// sections, leaving the caller's values in `block`. 1 stored; 0 without
// `store` or on failure.
INT InitializePrinterSettings(HANDLE printer, void* block, DddHandle* database, BOOL store);

// Sets printer data "SPLUserModePrinterDriver" to the driver's name. 1 set.
INT RegisterUserModeDriver(HANDLE printer);
// A global copy of the database's driver name (string 2), or null.
WCHAR* GetDriverNameForSpooler(HANDLE printer);
// Loads the printer's private blobs from the user's store and stores them
// back in the current format. 1 when nothing was loaded or storing
// succeeded.
INT StoreUserPrivateBlobs(HANDLE printer);

// Property-sheet extension hooks: no extension page, nothing to apply.
INT QueryPropertySheetExtension(HANDLE printer, HANDLE sheet, void* unused1, void* unused2);
INT ApplyPropertySheetExtension(HANDLE sheet, void* unused);

// Spooler callback: the block for the printer's upgrade. A null buffer with
// *size 0 asks the size (7972); a buffer of at least 7972 bytes receives
// the block.
MORVA_EXPORT BOOL GetUpgradedPrinterData(HANDLE printer, BYTE* buffer, DWORD* size);
