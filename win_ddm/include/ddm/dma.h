// The DMA_ interface of morvadat: outside tools read and write driver
// settings by public setting id over buffers they own.
#pragma once

#include <cstddef>

#include "win/gdi_types.h"
#include "win/types.h"

// A caller's table of stamps, margins, fax destinations or sender records.
// Lives only inside the caller's process: its two pointers are 64-bit here
// (32-bit fields in the original 16-byte layout), so the record is 24 bytes.
struct DmaCallerTable {
  DWORD count;
  DWORD entrySize;
  BYTE* flags;     // one byte per entry: 0 free, 1 in use, 2 deleted
  BYTE* entries;
};

// Built and owned by the caller. The pointer fields are pointer-sized
// (32-bit at offsets 524, 528, 540 and tables of 16 bytes from 544 in the
// original layout); the 264 + 260 leading bytes keep their places.
struct DMA_CONTEXT {
  BYTE reserved[264];
  char name[260];           // ANSI, NUL-terminated: the per-user record's name
  BYTE* devmode;            // 5988-byte driver DEVMODE
  BYTE* printerData;        // 7972-byte PrinterData
  BYTE reserved2[8];
  BYTE* faxBook;            // "DFAX002" blob, or null
  DmaCallerTable faxDestinations;  // structure type 5
  DmaCallerTable paperMargins;     // structure type 4
  DmaCallerTable stamps;           // structure type 2
  DmaCallerTable senders;          // structure type 3
  DmaCallerTable senderDetails;    // structure type 7
};
static_assert(offsetof(DMA_CONTEXT, name) == 264);
static_assert(offsetof(DMA_CONTEXT, devmode) == 528);

struct DmaAttribute {
  WORD publicId;
  WORD reserved;
  DWORD kind;       // 0 scalar, 1 string, 2 LOGFONT
  DWORD size;
};
static_assert(sizeof(DmaAttribute) == 12);

// Result codes.
enum : LONG {
  DMA_OK = 1,
  DMA_ERR_UNMAPPED = -1,
  DMA_ERR_IS_STRING = -2,
  DMA_ERR_WRONG_KIND = -3,
  DMA_ERR_UNKNOWN_KIND = -4,
  DMA_ERR_BUFFER = -5,
  DMA_ERR_TOO_LONG = -6,
  DMA_ERR_IS_LOGFONT = -7,
  DMA_ERR_FAILED = -10,
  DMA_ERR_UNREADABLE = -12,
  DMA_ERR_FILE_OPEN = -13,
  DMA_ERR_FILE_WRITE = -14,
  DMA_ERR_FILE_READ = -15,
  DMA_ERR_FILE_FORMAT = -16,
  DMA_ERR_ONE_TIME_OPEN = -17,
  DMA_ERR_ONE_TIME_WRITE = -18,
  DMA_ERR_UNKNOWN_STRUCT = -19,
  DMA_ERR_NO_POSITION = -20,     // type 5: no entry at that position
  DMA_ERR_NO_NUMBER = -21,       // type 4: no entry of that paper number
  DMA_ERR_NO_NAME = -22,         // types 2, 3, 7: no entry of that name
  DMA_ERR_UNKNOWN_MODE = -23,
  DMA_ERR_NOT_SUPPORTED = -35,
};

inline constexpr WORD kDmaFaxText1Id = 0xA001;
inline constexpr WORD kDmaFaxText2Id = 0xA002;
inline constexpr DWORD kLogFontASize = 60;
inline constexpr DWORD kUserSettingInfoSize = 2096;

MORVA_EXPORT LONG DMA_GetValue(DMA_CONTEXT* ctx, WORD id, DWORD* value);
MORVA_EXPORT LONG DMA_SetValue(DMA_CONTEXT* ctx, WORD id, DWORD value);
MORVA_EXPORT LONG DMA_GetStringData(DMA_CONTEXT* ctx, WORD id, char* buffer, DWORD* size);
MORVA_EXPORT LONG DMA_SetStringData(DMA_CONTEXT* ctx, WORD id, const char* text, DWORD length);
MORVA_EXPORT LONG DMA_GetStringData_StrLength(DMA_CONTEXT* ctx, WORD id, char* buffer, DWORD* size);
MORVA_EXPORT LONG DMA_SetStringData_StrLength(DMA_CONTEXT* ctx, WORD id, const char* text, DWORD unused);
MORVA_EXPORT LONG DMA_GetLogFontData(DMA_CONTEXT* ctx, WORD id, LOGFONTA* out, DWORD* size);
MORVA_EXPORT LONG DMA_SetLogFontData(DMA_CONTEXT* ctx, WORD id, const LOGFONTA* in, DWORD size);
MORVA_EXPORT LONG DMA_EnumDMAID_ByTargetInfo(DMA_CONTEXT* ctx, DWORD target, WORD* count, DWORD* pairs);
MORVA_EXPORT LONG DMA_QueryAttributes(DMA_CONTEXT* ctx, WORD* count, WORD* ids, DmaAttribute* attributes);
MORVA_EXPORT LONG DMA_QuerySWSupportInfo(DMA_CONTEXT* ctx, WORD kind, DWORD unused);
MORVA_EXPORT LONG DMA_GetFaxAddressNum(const BYTE* faxBook, WORD* count);
MORVA_EXPORT LONG DMA_SetFaxAddressNum(DMA_CONTEXT* ctx, int number, BOOL relative);
MORVA_EXPORT LONG DMA_GetUserSettingInfo(DMA_CONTEXT* ctx, BYTE* buffer, DWORD* size);
MORVA_EXPORT LONG DMA_SetUserSettingInfo(DMA_CONTEXT* ctx, const BYTE* record, DWORD unused);

namespace morva::ddm {

// Converts a per-user record of version 1-4 into a zeroed 2096-byte
// version-4 destination (header bytes 0-75 are not written). The source
// size is checked against what its version holds. 1 converted, 0 unknown
// version or too short.
int dma_ConvertUserSettingInfo(const BYTE* source, DWORD sourceSize, BYTE* destination, BOOL accountFlag);

// Converts a "DFAX001" fax address book into the "DFAX002" layout. 1
// converted, 0 refused (nothing written).
int dma_ConvertFaxAddressBook(BYTE** destination, const BYTE** source, DWORD destinationCapacity,
                              DWORD sourceSize);

// The field list of a structure type of the caller tables (2, 3, 4, 5, 7):
// rows {DDMID, type, offset in the entry, size}, ended by a zero DDMID.
struct DmaFieldDescriptor {
  WORD ddmid;
  WORD type;
  LONG offset;
  DWORD size;
};
const DmaFieldDescriptor* dma_StructFields(DWORD structType);

// The field lists of the per-user record, ended by a zero DDMID: 0 the
// header words (8203, 8204, 5137), 1 list A, 2 list B, 3 list C; null for
// any other number.
const DmaFieldDescriptor* dma_UserSettingInfoFields(DWORD list);

}  // namespace morva::ddm
