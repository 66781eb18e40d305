// The switchable trace log: entry and result lines of the exports, dumps
// of DEVMODE fields and of selected settings. Switched by key "Log" of
// section "LOG" of "morva.cfg" in the module's directory; written to
// "\DEBUG_LOG\WIN2000\DDI_FAXUI_TRACE_LOG.txt" on the Windows drive in the
// ANSI code page, or to the debugger. Tracing never fails its caller.
#pragma once

#include "win/gdi_types.h"
#include "win/types.h"

// TraceFlags bits.
inline constexpr DWORD kTraceOn = 0x1;
inline constexpr DWORD kTraceCalls = 0x2;
inline constexpr DWORD kTraceDevmode = 0x4;
inline constexpr DWORD kTraceDmFields = 0x8;
inline constexpr DWORD kTracePublicIds = 0x10;
inline constexpr DWORD kTraceItemIds = 0x20;
inline constexpr DWORD kTraceCategoryMask = 0x1F0000;
inline constexpr DWORD kTraceToDebugger = 0x80000000u;

// Range-dump categories.
inline constexpr DWORD kTraceCategoryPdevEnable = 0x10000;
inline constexpr DWORD kTraceCategoryPdevReset = 0x20000;
inline constexpr DWORD kTraceCategoryDcMerge = 0x30000;
inline constexpr DWORD kTraceCategoryDocProperties = 0x40000;
inline constexpr DWORD kTraceCategoryStartDoc = 0x80000;
inline constexpr DWORD kTraceCategoryStartPage = 0x100000;

// Lines of this many characters or more are dropped.
inline constexpr int kTraceMaxLine = 514;

// Reads the settings on first use; TRUE when bit 0x1 is set.
BOOL IsTraceEnabled();
void ReadTraceSettings();    // once per process
void ReloadTraceSettings();  // unconditionally (at every database open)
DWORD GetTraceFlags();

// "IN <<" + name with bits 0x1 and 0x2; 0 for a name over 508 characters.
INT TraceEnter(LPCWSTR name);
// Formats the result text (wsprintf rules) and, with bits 0x1 and 0x2,
// writes "OUT>>" + text followed by a blank line.
INT TraceLeave(LPCWSTR format, ...);
// Formats and writes one line.
INT TracePrintf(LPCWSTR format, ...);
// Writes one line (ends it with "\n"); 0 when dropped or not written.
INT WriteTraceLine(LPCWSTR line);

// Holds the log file open across several lines (a dump); every successful
// acquire is matched by a release.
BOOL AcquireTraceLog();
void ReleaseTraceLog();
// "\DEBUG_LOG\WIN2000" on the Windows drive, created when missing. FALSE on
// any failure.
BOOL PrepareDebugLogDirectory(LPWSTR buffer, DWORD chars);
// The log file's Windows path (cached). FALSE when it cannot be formed.
BOOL GetTraceLogPath(LPWSTR buffer, DWORD chars);
// Module directory + "morva.cfg".
BOOL GetModuleConfigFilePath(LPWSTR buffer, DWORD chars);
// The graphics library writes its own file name.
void SetTraceLogFileName(LPCWSTR file_name);

// Dumps. The DEVMODE dumps read only the fields inside dmSize.
void TraceDumpPublicDevmode(LPCWSTR title, const DEVMODEW* devmode);
void TraceDumpPrivateItem(LPCWSTR title, void* devmode, WORD ddmid);
void TraceDumpDmFields(LPCWSTR title, const DEVMODEW* devmode);
void TraceDumpItemRange(DWORD category, LPCWSTR title, void* devmode, void* printer_data);
INT TraceDumpItemValue(void* devmode, void* printer_data, WORD ddmid);

namespace morva::settings {
// Test seam: forget the settings, the cached path and any open file.
void reset_trace_for_test();
// The extra DDMIDs read from "LOGOUT.DDMID=" keys.
const WORD* trace_ddmids_for_test(int* count);
}  // namespace morva::settings
