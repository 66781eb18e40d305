// Paper selection: turns the paper an application names in a DEVMODE
// (dmPaperSize, dmPaperLength, dmPaperWidth, dmFormName) into one paper
// the driver knows, a spooler form that the device database accepts or a
// custom size within the model's range, and keeps dmFormName in step with
// the selected paper. SelectPaperFromDevmode itself is declared with the
// DEVMODE merge (settings/driver_devmode.h).
#pragma once

#include "win/spooler.h"
#include "win/types.h"

struct DddHandle;

// A paper: code (a spooler form's 1-based position, or 256 for a custom
// size), width and length in tenths of a millimetre, and the name, a
// GlobalAlloc'ed copy owned by the selection (or null).
struct PaperSelection {
  WORD code;
  WORD width;
  WORD length;
  WCHAR* name;
};
void FreePaperSelectionName(PaperSelection* selection);

// Search methods; also the bits of a method mask.
inline constexpr WORD kPaperBySize = 2;
inline constexpr WORD kPaperByCode = 4;
inline constexpr WORD kPaperByName = 1;

// The request's paper as the driver knows it. `out` receives a selection
// whose name the caller frees (also on failure). FALSE when no paper fits.
BOOL ResolvePaper(DddHandle* database, void* app, void* printer_data, HANDLE printer, const PaperSelection* request,
                  PaperSelection* out, DWORD fields, BOOL custom_first);
// A form of the request's size (PaperSizesMatch), picked by code or name
// when the mask asks for it, else the first the database knows by name;
// else a custom size within the model's range.
BOOL FindPaperBySize(DddHandle* database, void* app, void* printer_data, HANDLE printer, WORD mask,
                     const PaperSelection* request, PaperSelection* out);
// The form with the requested code (method 4) or name ignoring case
// (method 1), as the database accepts it, else a custom size of its size.
BOOL FindPaperByCodeOrName(DddHandle* database, void* app, void* printer_data, HANDLE printer, WORD method,
                           WORD mask, const PaperSelection* request, PaperSelection* out);
// Among the size-matching forms at `positions` (0-based into `forms`), the
// one with the requested code or name that the database knows by name.
BOOL PickFormAmongMatches(DddHandle* database, void* app, void* printer_data, const FORM_INFO_1W* forms,
                          const DWORD* positions, DWORD count, WORD method, const PaperSelection* request,
                          PaperSelection* out);
// TRUE when the paper-size item knows the candidate by name, or knows a
// paper of its size whose spooler form then replaces the candidate's code
// and size.
BOOL CheckFormKnownToDatabase(DddHandle* database, void* app, void* printer_data, HANDLE printer,
                              PaperSelection* candidate);
// Copies DDMIDs 8, 9, 10 and 19 from the printer's default DEVMODE.
BOOL ApplyPrinterDefaultPaper(DddHandle* database, void* devmode, void* printer_data, HANDLE printer);
// Brings dmFormName in step with dmPaperSize and selects the paper again.
BOOL SyncFormName(DddHandle* database, HANDLE printer, void* devmode, void* printer_data);

// The custom-first flag of a selection: from A when its private part is
// the driver's own, else from D when D's is; 1 when DDMID 1353 is set, else
// DDMID 1331; 0 when neither is the driver's own. FALSE when a read fails.
BOOL GetCustomFirstFlag(DddHandle* database, void* driver, void* app, void* printer_data, BOOL* flag);
// TRUE when the DEVMODE carries the driver's whole first private block and
// DDMIDs 2, 4, 5, 257 and 259 pass their item checks.
BOOL IsOwnPrivatePart(DddHandle* database, void* devmode);

// User paper slots.
struct UserPaperSlotIds {
  WORD width;   // 5889 + i
  WORD length;  // 5909 + i
  WORD name;    // 5929 + i
};
inline constexpr int kUserPaperNameChars = 33;
// The slot whose paper code equals the value (compared by its type): its
// DDMIDs and its default name in `name` (kUserPaperNameChars characters).
BOOL FindUserPaperSlot(const void* code, WORD type, UserPaperSlotIds* ids, LPWSTR name);
struct UserPaperRecord {
  UserPaperSlotIds ids;
  WORD width;
  WORD length;
  WCHAR name[kUserPaperNameChars];  // the stored name
};
// The slot of the code with its stored width, length and name; `name`
// (may be null) receives the default name.
BOOL UserPaperSlotDdmids(void* devmode, void* printer_data, const void* code, WORD type, UserPaperRecord* record,
                         LPWSTR name);
// Name kinds of FindUserPaperName.
inline constexpr WORD kUserPaperStoredNames = 1;
inline constexpr WORD kUserPaperDefaultNames = 2;
// TRUE when `name` begins (case-sensitive) with a user paper slot's stored
// or default name; empty slot names take no part.
BOOL FindUserPaperName(WORD kind, void* devmode, void* printer_data, LPCWSTR name);
