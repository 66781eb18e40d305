// The private escapes between the interface DLL and the graphics DLL: every
// code with its direction and payload sizes (one table), the byte layouts of
// the payloads, and helpers that write them and read them back. Every
// reader checks the length of the received bytes before it reads.
//
// All integers travel little-endian; texts are UTF-16 with a terminating
// zero. The interface DLL sends every code with ExtEscape on the printer DC
// of a document event; the graphics DLL answers in DrvEscape. A result
// above 0 is success.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "win/types.h"

namespace morva::pi {

// ---- codes ---------------------------------------------------------------

enum DriverPrivateEscape : WORD {
  DRVESC_GET_PAGE_INFO = 0x5001,
  DRVESC_GET_DEVMODE = 0x5002,
  DRVESC_STAMP_DRAW_MODE = 0x5003,
  DRVESC_STAMP_OFFSET = 0x5004,
  DRVESC_SET_DEVMODE = 0x5005,
  DRVESC_GET_HEADER_INFO = 0x5006,
  DRVESC_SET_HEADER_INFO = 0x5007,
  DRVESC_HEADER_DRAW_MODE = 0x5008,
  DRVESC_QUERY_FAX_JOB = 0x5009,
  DRVESC_SET_SETTINGS_BLOCK = 0x500B,
  DRVESC_GET_SETTINGS_BLOCK = 0x500C,
  DRVESC_GET_HEADER_WORD = 0x500D,
  DRVESC_SET_PAGE_PAPER = 0x5010,
  DRVESC_ANNOUNCE_DOCUMENT = 0x5020,
  DRVESC_TRANSFER_MARK = 0x5021,
  DRVESC_SET_DOC_NAME = 0x5023,
  DRVESC_SET_FAX_ADDRESS_DATA = 0x5024,
  DRVESC_SET_PJL_HEADERS = 0x5025,
  DRVESC_GET_JOB_BLOCK = 0x5028,
  DRVESC_SET_JOB_BLOCK = 0x5029,
  DRVESC_QUERY_FIRST_START = 0x502A,
  DRVESC_SET_WARNING_CONFIRMED = 0x502B,
  DRVESC_SET_SEALMARK_SETUP = 0x502C,
  DRVESC_SET_SEALMARK_SETTINGS = 0x502D,
  DRVESC_GET_SEALMARK_DATA = 0x502E,
  DRVESC_SET_COPY_JOB_IDS = 0x502F,
  DRVESC_SET_SEALMARK_COUNTS = 0x5030,
  DRVESC_SET_SEALMARK_EXTRA = 0x5031,
  DRVESC_SET_SPINFO = 0x5032,
  DRVESC_GET_JOB_ID = 0x5043,
  DRVESC_ADDED_PAGE_MARK = 0x5044,
  DRVESC_SET_PAPER_FAMILY = 0x5100,
};

// Payload sizes of the fixed records.
inline constexpr DWORD kPageDrawInfoSize = 44;
inline constexpr DWORD kDriverDevmodeSize = 5988;
inline constexpr DWORD kStampOffsetSize = 8;
inline constexpr DWORD kPrintHeaderInfoSize = 768;
inline constexpr DWORD kSettingsBlockSize = 7972;
inline constexpr DWORD kPagePaperRecordSize = 10;
inline constexpr DWORD kDcPaperRecordSize = 12;
inline constexpr DWORD kDocNameChars = 261;  // 260 characters and the terminator
inline constexpr DWORD kDocNameSize = 2 * kDocNameChars;
inline constexpr DWORD kJobBlockSize = 12;
inline constexpr DWORD kSealmarkSetupSize = 2112;
inline constexpr DWORD kCopyJobIdRecordSize = 68;
inline constexpr DWORD kCopyJobIdBytes = 64;
inline constexpr DWORD kSealmarkCountsSize = 8;
inline constexpr DWORD kPjlHeaderSetHeadSize = 16;

// How a payload's size is fixed.
enum class EscapeSize : BYTE {
  kNone,        // no buffer
  kExactly,     // the receiver answers -1 for any other size
  kFixed,       // the sender always uses this size; the receiver does not insist
  kAtLeast,     // at least this many bytes
  kMultipleOf,  // a positive multiple of this many bytes (one record each)
  kSenderSized, // whatever the sender has; bytes = 0
};

struct EscapePayload {
  EscapeSize rule;
  DWORD bytes;
};

enum class EscapeDirection : BYTE {
  kPush,      // interface DLL to graphics DLL only
  kQuery,     // an answer from the graphics DLL
  kExchange,  // input that steers the answer
};

struct PrivateEscapeInfo {
  WORD code;
  const char* name;
  EscapeDirection direction;
  EscapePayload in;
  EscapePayload out;
};

// The protocol table, in code order.
std::span<const PrivateEscapeInfo> PrivateEscapeTable();

// The table row of a code, or null when the code is not one of them.
const PrivateEscapeInfo* FindPrivateEscape(DWORD code);

// Whether the input and output sizes satisfy what the receiver enforces for
// the code: kExactly, kAtLeast and kMultipleOf rules (0x502E's output is
// checked by AnswerSealmarkDataRequest, whose size depends on the request).
// FALSE for a code that is not in the table.
BOOL PrivateEscapeSizesAccepted(DWORD code, DWORD inSize, DWORD outSize);

// ---- scalar payloads -------------------------------------------------------

// A WORD (0x5021, 0x502E, 0x5100) or DWORD (0x5001, 0x5003, 0x5008, 0x5020,
// 0x502B, 0x5044, answers of 0x5009, 0x500D, 0x502A, 0x5043) at the start of
// the buffer; FALSE when the buffer is missing or shorter.
BOOL ReadEscapeWord(const void* bytes, DWORD size, WORD* value);
BOOL ReadEscapeDword(const void* bytes, DWORD size, DWORD* value);
void WriteEscapeWord(void* bytes, WORD value);
void WriteEscapeDword(void* bytes, DWORD value);

// ---- records -----------------------------------------------------------------

// 0x5001's answer: the page geometry for stamps and the print header.
struct PageDrawInfo {
  DWORD sheetStampDue;  // a sheet with stamps is complete (or, at end of document, pending)
  DWORD pageStampDue;   // stamps belong on this page
  DWORD headerDue;      // the print header is to be drawn
  float rects[8];       // two rectangles: left, top, right, bottom in device dots
};
void PackPageDrawInfo(const PageDrawInfo& info, BYTE out[kPageDrawInfoSize]);
BOOL UnpackPageDrawInfo(const void* bytes, DWORD size, PageDrawInfo* out);

// 0x5004: offset of the stamp text in device units.
struct StampOffset {
  std::int32_t x;
  std::int32_t y;
};
void PackStampOffset(const StampOffset& offset, BYTE out[kStampOffsetSize]);
BOOL UnpackStampOffset(const void* bytes, DWORD size, StampOffset* out);

// 0x5010: the next page's paper. The id is kUnmatchedPaperId when the form
// has no match in the device database; margins default to
// kDefaultPaperMargin, in the order of DcPaperRecord.
inline constexpr WORD kUnmatchedPaperId = 256;
inline constexpr WORD kDefaultPaperMargin = 46;
struct PagePaperRecord {
  WORD paperId;
  WORD margins[4];
};
void PackPagePaperRecord(const PagePaperRecord& record, BYTE out[kPagePaperRecordSize]);
BOOL UnpackPagePaperRecord(const void* bytes, DWORD size, PagePaperRecord* out);

// The paper record in the tail of the DC's DEVMODE.
struct DcPaperRecord {
  WORD dmPaperSize;
  WORD paperId;
  WORD margins[4];
};
// Margins from a stored PaperMargin: its third, fourth, first and second
// INT32, each cut to 16 bits.
DcPaperRecord MakeDcPaperRecord(WORD dmPaperSize, WORD paperId, const std::int32_t paperMargin[4]);
void PackDcPaperRecord(const DcPaperRecord& record, BYTE out[kDcPaperRecordSize]);
BOOL UnpackDcPaperRecord(const void* bytes, DWORD size, DcPaperRecord* out);

// 0x5028 / 0x5029: graphics-side escape state kept across its document
// start (bytes 10-11 are zero).
struct JobBlock {
  DWORD protocolSwitch;
  DWORD imageMode;
  WORD imageSubMode;
};
void PackJobBlock(const JobBlock& block, BYTE out[kJobBlockSize]);
BOOL UnpackJobBlock(const void* bytes, DWORD size, JobBlock* out);

// 0x5030: marking active, number of marked outputs.
struct SealmarkCounts {
  DWORD active;
  DWORD outputs;
};
void PackSealmarkCounts(const SealmarkCounts& counts, BYTE out[kSealmarkCountsSize]);
BOOL UnpackSealmarkCounts(const void* bytes, DWORD size, SealmarkCounts* out);

// 0x5023: the document name, at most 260 characters, zero-filled.
void PackDocumentName(LPCWSTR name, BYTE out[kDocNameSize]);
// Reads at most 260 characters, and never past `size`; FALSE for no bytes.
BOOL UnpackDocumentName(const void* bytes, DWORD size, std::u16string* name);

// 0x502C: texts of the marking setup, each cut to its field.
struct SealmarkSetup {
  std::u16string computerName;  // WCHAR[261] at 0
  std::u16string documentName;  // WCHAR[277] at 522, at most 260 characters used
  std::u16string userName;      // WCHAR[257] at 1076
  std::u16string printerName;   // WCHAR[261] at 1590
};
void PackSealmarkSetup(const SealmarkSetup& setup, BYTE out[kSealmarkSetupSize]);
BOOL UnpackSealmarkSetup(const void* bytes, DWORD size, SealmarkSetup* out);

// 0x502F: one record per marked output.
struct CopyJobIdRecord {
  DWORD copyNumber;  // from 1
  BYTE jobId[kCopyJobIdBytes];
};
std::vector<BYTE> PackCopyJobIds(const std::vector<CopyJobIdRecord>& records);
// FALSE unless size is a positive multiple of 68.
BOOL UnpackCopyJobIds(const void* bytes, DWORD size, std::vector<CopyJobIdRecord>* out);

// 0x5006 / 0x5007. Items 0-5: user name, job owner, document name, header
// number, date, time; position 0xFFFF = item not shown; an item that is off
// has an empty text.
inline constexpr WORD kHeaderItemHidden = 0xFFFF;
struct PrintHeaderInfo {
  DWORD anyItemOn;
  WORD positions[6];
  std::u16string userName;      // WCHAR[64] at 16
  std::u16string jobOwner;      // WCHAR[32] at 144
  std::u16string documentName;  // WCHAR[261] at 208
  WORD headerNumber;            // at 730
  std::u16string date;          // WCHAR[11] at 732
  std::u16string time;          // WCHAR[7] at 754
};
void PackPrintHeaderInfo(const PrintHeaderInfo& info, BYTE out[kPrintHeaderInfoSize]);
BOOL UnpackPrintHeaderInfo(const void* bytes, DWORD size, PrintHeaderInfo* out);

// ---- PJL header set (0x5025) -------------------------------------------------

struct PjlHeader {
  std::string text;       // UTF-8, as the job header builder wrote it
  DWORD bookletOffset;    // byte offset of the booklet-type line in text, 0 for none
};

// The set: DWORD count, DWORD block size, the byte offsets of block 0 (16)
// and of the offset table (16 + count x block size) where the 32-bit
// original carried pointers, then count blocks of {DWORD text length, text}
// and count DWORD booklet offsets. The sent size is
// (block size + 4) x count + 16. Empty when a text does not fit its block,
// a booklet offset lies beyond its text, or the size overflows 32 bits.
std::vector<BYTE> BuildPjlHeaderSet(const std::vector<PjlHeader>& headers, DWORD blockSize);

// Reads a received set. FALSE when it is shorter than 16 bytes, shorter than
// the size its own count and block size give, or a block's text length or
// booklet offset does not fit.
BOOL UnpackPjlHeaderSet(const void* bytes, DWORD size, std::vector<PjlHeader>* out);

// ---- two-step transfer of the marking data (0x502E) ---------------------------

// Sends one escape the way ExtEscape does and answers its result.
using PrivateEscapeSender = INT (*)(void* context, DWORD code, DWORD inSize, const void* in, DWORD outSize,
                                    void* out);

// Asks the size (WORD 0, 4-byte answer), then, when it is above 0, the data
// (WORD 1, an answer of exactly that size). 1 with the data (empty when the
// graphics DLL holds none); the failed escape's result (0 or below)
// otherwise.
INT FetchSealmarkData(PrivateEscapeSender send, void* context, std::vector<BYTE>* data);

// The graphics DLL's side for the data it holds: WORD 0 with a 4-byte output
// gives the size, WORD 1 with an output of exactly that size gives the data.
// 1, or -1 for any other request or size.
INT AnswerSealmarkDataRequest(const void* held, DWORD heldSize, DWORD inSize, const void* in, DWORD outSize,
                              void* out);

}  // namespace morva::pi
