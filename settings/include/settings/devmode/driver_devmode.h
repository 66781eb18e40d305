// The driver's DEVMODE: its two forms, allocation, the printer-default
// DEVMODE, the check before printing, the synchronisation of derived
// settings and the merge of an application's DEVMODE into the driver's.
#pragma once

#include "win/gdi_types.h"
#include "win/spooler.h"
#include "win/types.h"

struct DddHandle;

// Record kind 1: the 1604-byte form (public head and first private block);
// any other kind: the 5988-byte form with the extension block.
inline constexpr WORD kDevmodeKindShort = 1;
inline constexpr WORD kDevmodeKindFull = 0;

// A new zeroed block (GlobalFree it); null on failure.
void* AllocPrivateDevmode(WORD kind);
DWORD GetPrivateDevmodeSize(WORD kind);
void CopyPrivateDevmode(void* destination, const void* source, WORD kind);
INT ClearPrivateDevmode(void* devmode, WORD kind);

// The printer's PRINTER_INFO_2 (a GlobalAlloc'ed block) whose DEVMODE
// pointer names `output`, filled with the printer's default DEVMODE of
// `*size` bytes; null on failure. `converted` is set when the conversion
// succeeded.
PRINTER_INFO_2W* GetPrinterDefaultDevmode(HANDLE printer, DddHandle* database, void* output, DWORD* size,
                                          BOOL* converted);

// 1 when dmSpecVersion, dmSize, dmDriverExtra and DDMID 257 pass their
// checks.
BOOL CheckDevmodeForPrinting(void* devmode);

// Resolution modes of the merge.
inline constexpr WORD kMergeResolutionPair = 2;       // DDMID 14
inline constexpr WORD kMergeResolutionQuality = 0x10;  // DDMID 20

// Merges the application DEVMODE `app` (read only within its dmSize +
// dmDriverExtra) into the driver DEVMODE `driver` (5988 bytes). 1 merged or
// nothing to merge, 0 failure (`driver` is then partly merged).
BOOL MergeDevmode(DddHandle* database, void* driver, const void* app, void* printer_data, HANDLE printer,
                  WORD resolution_mode);
// The same with the DEVMODE dumps of the trace log around it.
BOOL MergeDevmodeLogged(DddHandle* database, void* driver, const void* app, void* printer_data,
                        HANDLE printer, WORD resolution_mode);

// Derived settings; FALSE when a read or write fails.
BOOL SyncTrueTypeOption(void* devmode, void* printer_data, WORD which);
BOOL SyncColorSettings(void* devmode, void* printer_data);
BOOL SyncScaleFieldBit(void* devmode, void* printer_data);
BOOL SyncPaperDimensionBits(void* devmode, void* printer_data);
BOOL UpdateCollateFieldBit(DddHandle* database, void* devmode, void* printer_data);
BOOL SyncIcmMethod(void* devmode, void* printer_data);
BOOL SyncTrayFromSource(void* devmode, void* printer_data);
BOOL SyncSourceFromTray(void* devmode, void* printer_data);

// Selects the paper that `app` names in the paper fields among `fields`
// (DM_PAPERSIZE, DM_PAPERLENGTH, DM_PAPERWIDTH, DM_FORMNAME) into `driver`:
// a spooler form the device database accepts or a custom size within the
// model's range. `app` holds at least the public head. A paper that cannot
// be selected leaves `driver` as it was (TRUE); without `driver` the
// selection goes into `app`, and there the printer's default paper stands
// in for one that cannot be selected. FALSE when a setting cannot be read
// or written. Built in paper_selection.cpp.
BOOL SelectPaperFromDevmode(DddHandle* database, void* driver, void* app, void* printer_data,
                            HANDLE printer, DWORD fields);
