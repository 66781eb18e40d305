// Binding to the outside device-configuration library, which reads a
// device's configuration over the network for the device-query page. Each
// wrapper loads the library named by DevConfig_SetLibraryName, calls its
// export with the caller's arguments, frees the library again and passes
// the export's answer back. A missing loader, library or export gives the
// wrapper's fixed answer: a null handle for DevConfig_OpenDevice, 1 for the
// others (which the caller reads as a failure code; 0 and 8 are success).
#pragma once

#include "win/types.h"

// Size of the input-tray record the library fills.
inline constexpr DWORD kDeviceTrayInfoSize = 552;
// Size of the ANSI buffer of DevConfig_GetValueString.
inline constexpr DWORD kDeviceValueStringSize = 256;

extern "C" {
// Export signatures of the library.
using RedoreOpenDeviceFn = HANDLE (*)(LPCSTR name1, LPCSTR name2, DWORD reserved);
using RedoreCloseDeviceFn = DWORD (*)(HANDLE device);
using RedoreSelectDeviceFn = DWORD (*)(HANDLE device, HWND owner, LPCSTR port, LPCSTR model, LPCSTR selection);
using RedoreSetAttributeFn = DWORD (*)(HANDLE device, LPCSTR name, const void* value);
using RedoreGetValueBooleanFn = DWORD (*)(HANDLE device, LPCSTR name, DWORD index, DWORD* value);
using RedoreGetValueIntegerFn = DWORD (*)(HANDLE device, LPCSTR name, DWORD index, INT* value);
using RedoreGetValueUIntegerFn = DWORD (*)(HANDLE device, LPCSTR name, DWORD index, DWORD* value);
using RedoreGetValueStringFn = DWORD (*)(HANDLE device, LPCSTR name, DWORD index, LPSTR buffer);
using RedoreGetNumberOfInputTrayInfoFn = DWORD (*)(HANDLE device, DWORD* count);
using RedoreGetInputTrayInfoFn = DWORD (*)(HANDLE device, DWORD index, void* record);
}

// Fixes the library for the process: the first call with a non-empty name
// stores it (at most 259 characters) and answers 1; later calls answer 1
// only for the same name (case-sensitive, over those 259 characters). A
// null name answers 0.
BOOL DevConfig_SetLibraryName(LPCSTR name);

HANDLE DevConfig_OpenDevice(LPCSTR name1, LPCSTR name2, DWORD reserved);
DWORD DevConfig_CloseDevice(HANDLE device);
DWORD DevConfig_SelectDevice(HANDLE device, HWND owner, LPCSTR port, LPCSTR model, LPCSTR selection);
DWORD DevConfig_SetAttribute(HANDLE device, LPCSTR name, const void* value);
DWORD DevConfig_GetValueBoolean(HANDLE device, LPCSTR name, DWORD index, DWORD* value);
DWORD DevConfig_GetValueInteger(HANDLE device, LPCSTR name, DWORD index, INT* value);
DWORD DevConfig_GetValueUInteger(HANDLE device, LPCSTR name, DWORD index, DWORD* value);
// `buffer` holds kDeviceValueStringSize bytes; its last byte is always a
// terminator afterwards, whatever the library wrote.
DWORD DevConfig_GetValueString(HANDLE device, LPCSTR name, DWORD index, LPSTR buffer);
DWORD DevConfig_GetNumberOfInputTrayInfo(HANDLE device, DWORD* count);
// `record` holds kDeviceTrayInfoSize bytes.
DWORD DevConfig_GetInputTrayInfo(HANDLE device, DWORD index, void* record);

// Binds LoadLibraryExA, FreeLibrary and GetProcAddress of KERNEL32 once per
// process; FALSE (all three cleared) when any of them is missing.
BOOL DevConfig_BindLoader();

namespace morva::pi {
// Test seam: forgets the stored library name and the bound loader.
void reset_device_config_for_test();
}  // namespace morva::pi
