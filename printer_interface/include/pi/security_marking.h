// Client of the optional outside security-marking plug-in: finds it in the
// registry, loads it once per process and calls its QZWPK_ entry points
// for the document events and the property pages.
#pragma once

#include "settings/common/common_utils.h"
#include "win/types.h"

// Results of the client functions.
enum SealmarkResult : INT {
  kSealmarkOk = 1,
  kSealmarkChanged = 2,
  kSealmarkCancelled = 3,
  kSealmarkConflict = 4,
  kSealmarkBadArgument = -1,
  kSealmarkPluginError = -1,  // the dialog or the check answered -1
  kSealmarkMappingFailed = -4,
  kSealmarkNoMemory = -5,
  kSealmarkSettingUnreadable = -6,
  kSealmarkTextConversion = -7,
  kSealmarkNoResourceNumber = -8,
  kSealmarkNoHandle = -10,
  kSealmarkEmptyList = -100,
  kSealmarkPluginFailed = -101,
};

// One item of the setting list exchanged with the plug-in.
struct SealmarkIdItem {
  DWORD size;   // 12, set before the plug-in fills the list
  DWORD value;  // the setting's value, filled by the driver
  WORD id;      // filled by the plug-in
  WORD reserved;
};
static_assert(sizeof(SealmarkIdItem) == 12);

struct SealmarkIdList {
  WORD count;
  SealmarkIdItem* items;
};

// The plug-in's settings blob and an optional second blob.
struct SealmarkSettings {
  DWORD size;
  BYTE* data;
  DWORD extra_size;
  BYTE* extra_data;
};

// A marking context (GlobalAlloc): the plug-in's handle and its number of
// marked outputs.
struct SealmarkSession {
  HANDLE handle;
  DWORD output_count;
};

enum SealmarkPdl : DWORD { kSealmarkPdlVantiq = 0, kSealmarkPdlPclXl = 1 };

extern "C" {
using QzwpkCreateHandleFn = HANDLE (*)(LPCSTR text1, LPCSTR printer, LPCSTR pdl, INT number);
using QzwpkReleaseHandleFn = BOOL (*)(HANDLE handle);
using QzwpkGetSizeOfSettingsFn = INT (*)(HANDLE handle);
using QzwpkSetWpkSettingsFn = BOOL (*)(HANDLE handle, const BYTE* data, DWORD size, const BYTE* extra, DWORD extra_size);
using QzwpkDisplayUiFn = INT (*)(HANDLE handle, HWND window, BYTE* buffer, DWORD size, BYTE* changed);
using QzwpkCheckConflictFn = INT (*)(HANDLE handle, SealmarkIdItem* items, const BYTE* data, DWORD size, HWND window);
using QzwpkGetNumOfIdsFn = INT (*)(HANDLE handle);
using QzwpkGetIdListFn = BOOL (*)(HANDLE handle, SealmarkIdItem* items);
using QzwpkSetDriverSettingsFn = BOOL (*)(HANDLE handle, SealmarkIdItem* items);
using QzwpkGetNumOfOutputsFn = INT (*)(HANDLE handle);
}

INT Sealmark_IsAvailable(const DeviceCapabilityBits* bits, LPCWSTR printer);
INT Sealmark_OpenSession(LPCWSTR text1, LPCWSTR printer, DWORD pdl, SealmarkSession** session);
INT Sealmark_CloseSession(SealmarkSession* session);
INT Sealmark_GetOutputCount(SealmarkSession* session, const SealmarkSettings* settings, DWORD* count);
INT Sealmark_CollectDriverSettings(SealmarkSession* session, void* devmode, void* printer_data, SealmarkIdList* list);
INT Sealmark_SetDriverSettings(SealmarkSession* session, SealmarkIdList* list);
INT Sealmark_CheckConflict(HWND window, SealmarkSession* session, SealmarkIdList* list,
                           const SealmarkSettings* settings);
// On 2 *blob_size and *blob hold the new settings (freed with delete[]).
INT Sealmark_ShowSettingsUI(HWND window, SealmarkSession* session, const SealmarkSettings* settings,
                            DWORD* blob_size, BYTE** blob, BYTE* changed);
INT Sealmark_FreeIdList(SealmarkIdList* list);

namespace morva::pi {
// Test seam: the loaded plug-in module (null when none).
HMODULE sealmark_module_for_test();
}  // namespace morva::pi
