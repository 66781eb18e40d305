// Module services of the graphics library (morvagfx): its eight numbered
// locks, its DLL entry, the small functions only it has, and its run-time
// binding to the settings data manager (libmorvadat.so).
#pragma once

#include "win/gdi_types.h"
#include "win/spooler.h"
#include "win/types.h"

// The graphics library's lock slots and what each guards.
enum GraphicsLockId : UINT {
  kSlotDatabase = 0,     // device-database format level and loading
  kSlotModule = 1,       // module handle, resource module, module directory
  kSlotTempKeyBase = 2,  // registry key base of the temp-file records
  kSlotFontTable = 3,    // choice of the font-substitution table
  kSlotDataManager = 4,  // the data-manager binding and its count
  kSlotJobTimes = 5,     // job-information time stamps, scheduled-job times
  kSlotOsVersion = 6,    // cached Windows-version answers
  kSlotLocale = 7,       // paper region and country options
};
inline constexpr UINT kGraphicsLockCount = 8;

// Makes this library's copy of the common lock table use the eight slots
// above (the common code's roles mapped onto them). The DLL entry calls it.
void UseGraphicsLockLayout();

// The slot table. InitLockSlot: 0 for a slot above 7, 1 when the slot is
// (or already was) created. Enter and leave return the slot and ignore one
// above 7. DeleteLockSlot deletes a created slot and clears its flag.
BOOL InitLockSlot(UINT slot);
UINT EnterLockSlot(UINT slot);
UINT LeaveLockSlot(UINT slot);
void DeleteLockSlot(UINT slot);

class LockSlotGuard {
 public:
  explicit LockSlotGuard(UINT slot) : slot_(slot) { EnterLockSlot(slot_); }
  ~LockSlotGuard() { LeaveLockSlot(slot_); }
  LockSlotGuard(const LockSlotGuard&) = delete;
  LockSlotGuard& operator=(const LockSlotGuard&) = delete;

 private:
  UINT slot_;
};

// The DLL entry: attach selects the lock layout and records the module
// handle; detach frees a resource module still held and deletes the slots.
MORVA_EXPORT BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);

// Caches (slot 7 and slot 6).
// 2 when `flag` (the model's capability bit) is 0; else the cached region:
// 1 for letter-paper countries, 2 for the others.
INT GetPaperRegion(BOOL flag);
// Stores 1 or 2 as the cached region (1); any other value is refused (0).
BOOL SetPaperRegion(INT region);
// First and second value of the user's country row; 254 when the locale or
// the row cannot be found.
BYTE GetCountryOptionA();
BYTE GetCountryOptionB();
BOOL IsOsVersion51OrLater();
BOOL IsOsVersion60OrLater();

// Resource string 17 (at most 4 digits) as a number: the language of the
// resource module's texts. FALSE when it cannot be loaded or out is null.
BOOL LoadResourceNumber(WORD* out);
// The graphics library creates no COM components: the flag says "not
// available" (0); FALSE for a null argument.
BOOL ProbeComServerStub(LPCWSTR clsid, BOOL* available);

// Small functions.
BOOL IsVersionAtLeast(DWORD a, DWORD b);
SIZE_T BoundedStrLen(const char* text, SIZE_T max);
// New zeroed global block of `new_size`, the smaller length copied, the
// old block freed; null (old block kept) when the allocation fails.
void* ResizeGlobalBlock(void* block, SIZE_T old_length, SIZE_T new_size);
// Copies at most chars - 1 characters, terminates, zero-fills the rest.
void CopyWideStringPadded(LPWSTR out, LPCWSTR in, SIZE_T chars);
// ANSI code page conversion into `bytes` bytes; returns the bytes written.
INT AnsiToWideBytes(LPWSTR out, INT bytes, LPCSTR in);
// Converts `in` (n <= 0: its whole length with the terminator) into n
// characters and forces the terminator at n - 1; returns the characters
// written.
INT AnsiToWide(LPWSTR out, LPCSTR in, INT n);

// Spooler forms: 1 ok, 2 spooler failed with another error than a short
// buffer (or, by index, no such form), 3 failure, 10 bad argument or out
// of memory. The result block is a global block, null on failure.
inline constexpr INT kFormStatusOk = 1;
inline constexpr INT kFormStatusNotFound = 2;
inline constexpr INT kFormStatusFailed = 3;
inline constexpr INT kFormStatusBadArgument = 10;
INT GetFormByName(HANDLE printer, LPCWSTR name, FORM_INFO_1W** out);
// Form `index` (1-based) with its name copied into the same block (at most
// 31 characters); the name pointer points into the block.
INT GetFormByIndex(HANDLE printer, DWORD index, FORM_INFO_1W** out);
inline constexpr SIZE_T kFormNameChars = 32;
// Size width and height and imageable left, top, right, bottom in tenths
// of a millimetre, by name when given, else by a non-zero index.
INT GetFormGeometry(HANDLE printer, LPCWSTR name, DWORD index, LONG geometry[6]);

// Folder of the driver file (up to and including the backslash before the
// first ".DLL" of its path) as a new global block; null when unknown.
LPWSTR GetDriverDirectory(HANDLE printer);
// The driver directory followed by database string `string_id` (4 the
// colour-conversion library, 5 the compression library) as a new global
// block; null when either is missing.
LPWSTR BuildConfiguredDllPath(HANDLE printer, WORD string_id);

// Copies the 4384-byte extension block after the 1604-byte head.
BOOL CopyDevmodeExtension(void* destination, const void* source);
// 24-bit pixels: pure white stays, everything else becomes black. Returns
// the end of the output.
BYTE* ReduceToWhiteOrBlack24(const BYTE* in, BYTE* out, DWORD rows, DWORD pixels);
// Writes the complement of each byte; returns the end of the input.
const BYTE* InvertPixelBytes(const BYTE* in, BYTE* out, DWORD rows, DWORD bytes);

// 1: the first built-in font-substitution table (15 groups), 0: the second
// (7 groups); answers 1. Any other value answers 0 and changes nothing.
BOOL SelectFontSubstitutionTable(INT which);
// The current table (0 first, 1 second) and its group count.
UINT CurrentFontSubstitutionTable(UINT* groups);

// Data-manager binding (shared by every PDEV of the process, counted).
// Loads libmorvadat.so from this library's folder on the first use and
// binds dma_GetValue and dma_SetValue; later calls only count.
BOOL LoadDataManager(HMODULE module);
// Drops one use; the last frees the library.
void ReleaseDataManager();
inline constexpr WORD kDdmNotBound = 16;
inline constexpr WORD kDdmidAlwaysZero = 36905;
WORD GetDdmValue(WORD ddmid, void* devmode, void* printer_data, WORD* type, DWORD* size, DWORD_PTR* value);
WORD SetDdmValue(WORD ddmid, void* devmode, void* printer_data, WORD type, DWORD size, const void* value);
// Writes a scalar setting with the size its value type calls for.
WORD SetDdmValueByType(WORD ddmid, void* devmode, void* printer_data, WORD type, DWORD value);
// Makes the common settings code (GetItemNumber, GetEffectiveItemValue,
// SetItemNumber) read and write through the binding; the library's entry
// does this at load.
void UseDataManagerFrontEnd();

namespace morva::gfx {
// Test views of the binding: its count and whether the library is held.
UINT data_manager_count_for_test();
bool data_manager_loaded_for_test();
// Forgets the cached country options.
void reset_country_options_for_test();
}  // namespace morva::gfx
