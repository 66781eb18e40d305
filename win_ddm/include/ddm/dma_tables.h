// The caller tables of the DMA_ interface (stamps, paper margins, fax
// destinations, sender records) and the settings files it writes and reads:
// the document-property file and the one-time fax address file.
#pragma once

#include <cstddef>

#include "ddm/dma.h"
#include "fax/fax_destination.h"
#include "win/gdi_types.h"
#include "win/types.h"

// Structure types of the caller tables.
enum : DWORD {
  DMA_STRUCT_STAMP = 2,
  DMA_STRUCT_SENDER = 3,
  DMA_STRUCT_PAPER_MARGIN = 4,
  DMA_STRUCT_FAX_DESTINATION = 5,
  DMA_STRUCT_FAX_BOOK_HEADER = 6,   // size only
  DMA_STRUCT_SENDER_DETAILS = 7,
};

// Flag bytes of a table entry.
enum : BYTE { DMA_ENTRY_FREE = 0, DMA_ENTRY_IN_USE = 1, DMA_ENTRY_DELETED = 2 };

// Modes of DMA_ApplyData.
enum : DWORD { DMA_APPLY_BY_NAME = 0, DMA_APPLY_LAST_ENTRY = 1 };

// Type 2: a stamp, 308 bytes, the record the stamp store keeps.
struct DmaStampRecord {
  WCHAR name[33];      // DDMID 297
  WCHAR text[65];      // DDMID 299
  DWORD colour;        // DDMID 301, a COLORREF
  LONG value300;       // DDMID 300 (its low byte travels)
  LONG flag1287;       // DDMID 1287
  WORD frame;          // DDMID 302 (its low byte travels): 0 none, 1 box, 2 circle
  WORD placement;      // DDMID 303
  LONG flag1288;       // DDMID 1288
  LOGFONTW font;       // DDMID 304
};
static_assert(sizeof(DmaStampRecord) == 308);
static_assert(offsetof(DmaStampRecord, text) == 66);
static_assert(offsetof(DmaStampRecord, colour) == 196);
static_assert(offsetof(DmaStampRecord, value300) == 200);
static_assert(offsetof(DmaStampRecord, flag1287) == 204);
static_assert(offsetof(DmaStampRecord, frame) == 208);
static_assert(offsetof(DmaStampRecord, placement) == 210);
static_assert(offsetof(DmaStampRecord, flag1288) == 212);
static_assert(offsetof(DmaStampRecord, font) == 216);

// Type 3: a sender record, 706 bytes of five texts.
struct DmaSenderRecord {
  WCHAR name[41];      // DDMID 1819
  WCHAR text1820[41];
  WCHAR text1821[209];
  WCHAR text1822[31];
  WCHAR text1823[31];
};
static_assert(sizeof(DmaSenderRecord) == 706);
static_assert(offsetof(DmaSenderRecord, text1820) == 82);
static_assert(offsetof(DmaSenderRecord, text1821) == 164);
static_assert(offsetof(DmaSenderRecord, text1822) == 582);
static_assert(offsetof(DmaSenderRecord, text1823) == 644);

// Type 7: a sender record with two more fields, 968 bytes.
struct DmaSenderDetails {
  DmaSenderRecord sender;
  WCHAR text1876[129];
  LONG value1896;
};
static_assert(sizeof(DmaSenderDetails) == 968);
static_assert(offsetof(DmaSenderDetails, text1876) == 706);
static_assert(offsetof(DmaSenderDetails, value1896) == 964);

// Type 4: the margins of one paper, 20 bytes. The margins are in the
// paper's stored order; the settings take them turned by the orientation.
struct DmaPaperMarginEntry {
  WORD paperId;        // DDMID 1824; the entry's name as decimal text
  WORD reserved;
  LONG margins[4];
};
static_assert(sizeof(DmaPaperMarginEntry) == 20);
static_assert(offsetof(DmaPaperMarginEntry, margins) == 4);

// Type 5 is the 820-byte fax destination of the fax address book.
static_assert(sizeof(morva::fax::FaxDestination) == 820);

// The sections of a document-property file, each an image of the whole
// section with its header. Originally eight DWORDs (32 bytes); the four
// pointers are pointer-sized here, the sizes stay DWORDs.
struct DmaSections {
  BYTE* ndev;
  DWORD ndevSize;
  BYTE* wpk;
  DWORD wpkSize;
  BYTE* fax;           // fax address book
  DWORD faxSize;
  BYTE* sp;
  DWORD spSize;
};

// For types 2, 3, 4 and 7 `name` is the entry's ANSI name; for type 5 the
// pointer's value is the entry's 1-based position
// (reinterpret_cast<const char*>(std::uintptr_t{position})).
MORVA_EXPORT DWORD DMA_QueryStructSize(DWORD type);
MORVA_EXPORT LONG DMA_GetNameFromInfo(const BYTE* entry, DWORD type, DWORD* size, char* out);
MORVA_EXPORT LONG DMA_AccessibleData(DMA_CONTEXT* ctx, DWORD type, const char* name);
MORVA_EXPORT LONG DMA_DeleteData(DMA_CONTEXT* ctx, DWORD type, const char* name);
MORVA_EXPORT LONG DMA_ApplyData(DMA_CONTEXT* ctx, DWORD type, DWORD mode, const char* name);

MORVA_EXPORT LONG DMA_ExtractDocPropEx(DMA_CONTEXT* ctx, const DmaSections* sections);
MORVA_EXPORT LONG DMA_ExtractDocProp(DMA_CONTEXT* ctx, BYTE* ndev, DWORD ndevSize, BYTE* wpk, DWORD wpkSize,
                                     BYTE* fax, DWORD faxSize, BYTE* sp, DWORD spSize);
MORVA_EXPORT LONG DMA_ExtractOneTimeEx(DMA_CONTEXT* ctx, const DmaSections* sections);
MORVA_EXPORT LONG DMA_ExtractOneTime(DMA_CONTEXT* ctx, BYTE* ndev, DWORD ndevSize, BYTE* wpk, DWORD wpkSize,
                                     BYTE* fax, DWORD faxSize, BYTE* sp, DWORD spSize);
// Reads the document-property file into the caller's buffers; the sizes
// are the buffers' capacities on the way in and the sections' sizes on the
// way out (0 for a section the file lacks).
MORVA_EXPORT LONG DMA_ReplaceDocProp(DMA_CONTEXT* ctx, DmaSections* sections);

namespace morva::ddm {

// Turns four margins between an entry's stored order and the order of the
// settings 1827, 1828, 1826, 1825 for dmOrientation 1 or 2 (the exchange is
// its own inverse). False for another orientation.
bool dma_RotateMargins(SHORT orientation, const LONG in[4], LONG out[4]);

// Splits a document-property file image into the caller's section buffers
// (see DMA_ReplaceDocProp). Reads nothing outside image[0, size).
LONG dma_SplitDocPropFile(const BYTE* image, DWORD size, DmaSections* sections);

}  // namespace morva::ddm
