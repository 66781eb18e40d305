// Where a destination list is kept: the printer data "FaxSendList", the
// fax address file, and the fax section of the private settings.
#pragma once

#include "fax/fax_list.h"
#include "win/types.h"

struct DddHandle;

namespace morva::fax {

// Bytes of the DEVMODE extension block handed to the private settings.
inline constexpr DWORD kFaxExtensionBlockSize = 4384;

// A "DFAX002" blob for a job: with `copy`, a duplicate of its `size` bytes;
// without, the printer data "FaxSendList". Null when it cannot be read, is
// not a "DFAX002" blob (an older "DFAX001" one included) or is shorter than
// its count needs. The block (free it with FreeFaxSendList) and, when
// `count` is given, its destination count. `deviceName` is not read.
BYTE* LoadFaxSendList(HANDLE printer, LPCWSTR deviceName, DWORD size, const BYTE* copy, WORD* count);
// Frees a blob of LoadFaxSendList (null accepted); always 1.
int FreeFaxSendList(BYTE* blob);

// Stores a whole "DFAX002" blob: without a file name as the printer data
// "FaxSendList"; with one into that existing file, truncated and opened
// without sharing (a missing file is not created). 1 when every byte was
// written; 0 for a blob that is not a whole "DFAX002" blob or on any
// failure.
int WriteFaxSendListData(HANDLE printer, LPCWSTR fileName, const BYTE* blob, DWORD size);
// Packs the list and stores it with WriteFaxSendListData. The second
// argument is not read. 1 when packed and written; 0 when the list has no
// entry list, memory runs out or the write fails.
int FaxList_WriteFile(HANDLE printer, void* reserved, LPCWSTR fileName, const FaxDestinationList* list);

// SavePrivateSettings with the list packed as its fax section (no fax
// section without a list). 0 when neither a printer nor a file name is
// given, without an extension block, or when packing fails; else the
// result of SavePrivateSettings.
int SaveSettingsWithFaxList(HANDLE printer, DddHandle* database, LPCWSTR fileName, WORD storeKind,
                            const FaxDestinationList* list, const BYTE* extension, const BYTE* wpk, DWORD wpkSize,
                            const BYTE* sp, DWORD spSize);
// LoadPrivateSettings; with a list, a fax section found replaces the list's
// header strings and entries. 1 done; 0 when neither a printer nor a file
// name is given, without an extension block, or when loading or unpacking
// fails, and then nothing is handed out and the extension block is as it
// was.
int LoadSettingsWithFaxList(HANDLE printer, DddHandle* database, LPCWSTR fileName, WORD storeKind,
                            FaxDestinationList* list, BYTE* extension, BYTE** wpk, DWORD* wpkSize, BYTE** sp,
                            DWORD* spSize);

}  // namespace morva::fax
