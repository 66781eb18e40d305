// Steps of a document's start that the document events take from here:
// clearing what a protected browser process must not keep, reloading the
// private settings the job's DEVMODE names, counting the marked outputs of
// the security-marking plug-in and checking the secure-print code.
#pragma once

#include "win/types.h"

struct DddHandle;

namespace morva::pi {

// In a browser's protected-mode process: the direct-fax address-book files
// and cover-sheet forms, the sender information and the printer's per-user
// settings of this user are deleted. Nothing otherwise.
void CleanUpProtectedModeSettings(HANDLE printer, DddHandle* database);

// The private settings of a job: from the document-property file that the
// DEVMODE names when it is usable, else from the printer's (or the user's,
// when DDMID 439 is 1) stored blobs, else the defaults. The 4384-byte
// extension block is written at byte 1604 of `devmode`; the marking blob
// (only when `marking_wanted`) and the SPInfo blob are handed out as
// GlobalAlloc'ed blocks (null when there are none).
void ReloadJobPrivateSettings(HANDLE printer, DddHandle* database, void* devmode, void* printer_data,
                              bool marking_wanted, BYTE** marking, DWORD* marking_size, BYTE** spinfo,
                              DWORD* spinfo_size);

// The number of marked outputs of a job. Nothing is set (answer 1) when
// the device has no marking or the plug-in is not available; *active 1
// and *outputs the plug-in's count when it answers; -1 when the plug-in's
// session cannot be opened or the marking text cannot be read.
INT PrepareSealmarkCounts(HANDLE printer, DddHandle* database, void* devmode, void* printer_data,
                          const BYTE* settings, DWORD settings_size, const BYTE* extra, DWORD extra_size,
                          DWORD* active, INT* outputs);

// With secure print on (DDMID 334 = 1) and a code out of its bounds the
// user is asked whether to print without the code: OK switches secure
// print off (1), Cancel answers 0. 1 otherwise.
INT CheckSecureCodeBeforePrint(void* devmode, void* printer_data, DddHandle* database);

// True for a non-empty file name that is not a pipe.
bool IsUsableFileName(LPCWSTR name);

}  // namespace morva::pi
