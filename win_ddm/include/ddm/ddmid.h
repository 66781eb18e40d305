// Setting identifiers (DDMIDs) and the value engine that reads and writes
// one setting in a caller's DEVMODE and PrinterData block.
#pragma once

#include "win/types.h"

namespace morva::ddm {

// Value types of a setting (DdmidValueType).
enum : WORD {
  kTypeLong = 1,        // 32-bit signed; also every bit-flag setting
  kTypeShort = 2,       // 16-bit signed
  kTypeWord = 3,        // 16-bit unsigned
  kTypeLong4 = 4,       // 32-bit signed
  kTypeDword = 5,       // 32-bit unsigned
  kTypeString = 6,      // NUL-terminated UTF-16 text
  kTypeInvalid = 7,     // every access fails
  kTypeByte = 8,        // 8-bit unsigned
  kTypeLogFont = 9,     // 92-byte LOGFONTW block
  kTypeLong10 = 10,     // 32-bit signed
};

// Stores a range lives in (DdmidStore).
enum : WORD {
  kStoreDevmode = 0,    // the DEVMODE from its first byte
  kStoreExtension = 1,  // the DEVMODE's extension block at byte 1604
  kStorePrinterData = 2,
};

// Status codes of the engine; one at a time.
enum : WORD {
  kDdmOk = 0,
  kDdmNoRange = 1,      // the DDMID lies in no range
  kDdmBadType = 2,      // caller's type is neither the stored nor the delivered type
  kDdmTooLong = 4,      // string or block longer than its field
  kDdmBadSize = 8,      // caller's size does not match the type
  kDdmFailed = 16,      // any other failure
};

inline constexpr DWORD kPublicDevmodeSize = 220;
inline constexpr DWORD kShortDevmodeSize = 1604;   // public head + first private block
inline constexpr DWORD kExtensionOffset = 1604;
inline constexpr DWORD kExtensionSize = 4384;
inline constexpr DWORD kPrivateDevmodeSize = 5988; // kShortDevmodeSize + kExtensionSize
inline constexpr DWORD kPrinterDataSize = 7972;
inline constexpr DWORD kLogFontWSize = 92;
inline constexpr WORD kLayoutVersion = 21072;      // DDMIDs 257, 1793, 8204
inline constexpr WORD kLayoutId = 8775;            // DDMIDs 258, 8203

// One setting: where it lives and how it is typed.
struct DdmidDescriptor {
  WORD ddmid;       // 0 ends a list
  WORD type;        // stored value type
  WORD delivered;   // 0, or a second type the value is also accepted and reported as
  DWORD offset;     // byte offset from the store's base
  DWORD maxSize;    // bytes reserved for a string or block; 0 for scalars
};

// A run of DDMIDs in one store; the table ends with a row whose list is null.
struct DdmidRange {
  WORD selector;
  WORD lowest;
  WORD highest;
  const DdmidDescriptor* list;
};

struct DdmidBitMask {
  WORD ddmid;       // 0 ends a table
  DWORD mask;
};

// How the engine reaches a value, decided per DDMID at compile time.
enum class DdmidAccess : BYTE {
  kPlain,       // the stored bytes
  kFlag,        // one bit of a flag DWORD (mask)
  kFlagInverted,// DDMID 1284: one bit, stored inverted
  kComponent,   // DDMIDs 392-403: 8 bits of a shared DWORD (mask)
  kResolution,  // DDMID 14: dmPrintQuality and dmYResolution as one value
  kBlock,       // strings and LOGFONT blocks: handed out as store offsets
};

// What a lookup found (dma_FindDescriptor).
struct DdmidLocation {
  const DdmidDescriptor* descriptor = nullptr;
  WORD type = 0;
  WORD delivered = 0;
  DWORD typeSize = 0;
  DWORD maxSize = 0;
  DWORD offset = 0;
  WORD selector = 0;
  BYTE* address = nullptr;
  DdmidAccess access = DdmidAccess::kPlain;
  DWORD mask = 0;   // the bit of a flag or the bits of a component
};

// The range table (13 rows and the closing row) and the four bit-mask
// tables A-D, each ended by a zero row.
const DdmidRange* dma_RangeTable();
const DdmidBitMask* const* dma_BitMaskTables();  // 4 pointers
inline constexpr int kBitMaskTableCount = 4;

// Bytes a value of the type occupies (the 4-byte slot for strings and
// blocks); 0 for type 7 and codes outside 1..10.
DWORD dma_TypeSize(WORD type);

// Finds a DDMID's descriptor and the address of its value. Returns 0,
// kDdmNoRange, or kDdmFailed (no descriptor, the store it needs is null, a
// type without size). The selector is filled in as soon as the range is
// known. Constant time: an index built at compile time.
WORD dma_FindDescriptor(WORD ddmid, void* devmode, void* printerData, DdmidLocation* out);

// The descriptor of a DDMID, or null; needs no store.
const DdmidDescriptor* dma_Descriptor(WORD ddmid);

// The bit of a bit-flag DDMID inside its DWORD; false when it has none.
bool dma_GetBitMask(WORD ddmid, DWORD* mask);

// True for the DDMIDs whose value is one bit of a flag DWORD.
bool dma_IsBitFlag(WORD ddmid);

// Length in characters of the UTF-16 text at p (which may be unaligned),
// counting at most maxChars.
DWORD dma_WcsNLen(const void* p, DWORD maxChars);

// The finishing position derived from a staple (320) or punch (341)
// request for the page's dmOrientation and DDMID 295; 0 when no rule holds.
WORD dma_ComputeFinishingPosition(WORD ddmid, WORD request, SHORT orientation, DWORD value295);

// DDMID 267 → DDMID 325; false for a value above 8.
bool dma_MapLinkedCode(WORD value, WORD* mapped);

// The inverses for a page of dmOrientation and DDMID 295: the staple (320)
// or punch (341) request whose finishing position is `code`, and the DDMID
// 267 request whose DDMID 325 code is `code`. Codes that hold whatever the
// page (0 and the fixed positions) are found on any page; the others only
// when the page is one of the two rule pages. False when none matches.
bool dma_DeriveFinishingRequest(WORD ddmid, WORD code, SHORT orientation, DWORD value295, WORD* request);
bool dma_DeriveLinkedRequest(WORD code, SHORT orientation, DWORD value295, WORD* request);

}  // namespace morva::ddm

// Reads one setting. value receives a 32-bit slot: the value, or for strings
// and LOGFONT blocks their byte offset inside the store given by selector.
MORVA_EXPORT WORD dma_GetValue(WORD ddmid, void* devmode, void* printerData, WORD* type,
                               DWORD* size, void* value, WORD* selector);

// Writes one setting. For strings and LOGFONT blocks value points to a
// pointer to the text or block, otherwise to the 32-bit value itself.
MORVA_EXPORT WORD dma_SetValue(WORD ddmid, void* devmode, void* printerData, WORD type,
                               DWORD size, const void* value);
