// The stored direct-fax destination list ("DFAX002" blob) and its older
// "DFAX001" form: a 1442-byte header followed by `count` destinations.
//
//   0    WCHAR tag[8]      "DFAX002" with its NUL
//   16   WORD count
//   18   UTF-16 text, at most 82 bytes with its NUL
//   100  UTF-16 text, at most 1342 bytes with its NUL
//   1442 count entries of 820 bytes (768 in DFAX001)
#pragma once

#include <cstddef>

#include "win/types.h"

namespace morva::fax {

inline constexpr DWORD kFaxBookHeaderSize = 1442;
inline constexpr DWORD kFaxEntrySize = 820;        // FaxDestination
inline constexpr DWORD kFaxOldEntrySize = 768;     // DFAX001 entry
inline constexpr DWORD kFaxTagBytes = 16;
inline constexpr DWORD kFaxCountOffset = 16;
inline constexpr DWORD kFaxText1Offset = 18;       // public id 0xA001
inline constexpr DWORD kFaxText1Bytes = 82;
inline constexpr DWORD kFaxText2Offset = 100;      // public id 0xA002
inline constexpr DWORD kFaxText2Bytes = 1342;
static_assert(kFaxText2Offset + kFaxText2Bytes == kFaxBookHeaderSize);
static_assert(kFaxText1Offset + kFaxText1Bytes == kFaxText2Offset);

// Offsets inside one 820-byte FaxDestination.
inline constexpr DWORD kFaxEntryKeyOffset = 752;       // 16-byte value
inline constexpr DWORD kFaxEntryKeyBytes = 16;
inline constexpr DWORD kFaxEntryKeyTextOffset = 768;   // its Base64 text, UTF-16
inline constexpr DWORD kFaxEntryKeyTextChars = 25;     // with the NUL
static_assert(kFaxEntryKeyTextOffset + 2 * kFaxEntryKeyTextChars <= kFaxEntrySize);
static_assert(kFaxEntryKeyOffset + kFaxEntryKeyBytes == kFaxOldEntrySize);

inline constexpr char16_t kTagDfax002[] = u"DFAX002";
inline constexpr char16_t kTagDfax001[] = u"DFAX001";

enum class FaxBookKind { kNone, kDfax001, kDfax002 };

// What a blob of known size holds, after its checks.
struct FaxBookView {
  FaxBookKind kind = FaxBookKind::kNone;
  const BYTE* data = nullptr;
  WORD count = 0;
  DWORD entrySize = 0;
  DWORD size = 0;   // header + count entries, never more than the input
};

// True when the blob starts with the given 8-character wide tag.
bool FaxBook_HasTag(const BYTE* blob, const char16_t (&tag)[8]);
// Writes the tag (8 characters with the NUL) at the blob's start.
void FaxBook_WriteTag(BYTE* blob, const char16_t (&tag)[8]);
WORD FaxBook_GetCount(const BYTE* blob);
void FaxBook_SetCount(BYTE* blob, WORD count);

// Checks a blob read from outside: a known tag, and a header and `count`
// entries inside `size` bytes. False (and view.kind kNone) otherwise.
bool FaxBook_Parse(const BYTE* data, std::size_t size, FaxBookView* view);

// Copies the 1442-byte header; 0 when the blob is null.
int CopyFaxSendListHeader(const FaxBookView& book, BYTE* header);
// Copies entry `index` (820 bytes, or 768 of a DFAX001 blob); 0 when the
// index is not below the destination count.
int GetFaxSendListEntry(const FaxBookView& book, DWORD index, BYTE* entry);

// The same copies from a blob that LoadFaxSendList handed out (its tag,
// header and `count` entries are known to be whole); 0 for a null blob or
// an index not below the count.
int CopyFaxSendListHeader(const BYTE* blob, BYTE* header);
int GetFaxSendListEntry(const BYTE* blob, DWORD index, BYTE* entry);

// A header text (0xA001 at byte 18, 0xA002 at byte 100) as UTF-16 up to
// its NUL, never past its field.
std::size_t FaxBook_TextLength(const BYTE* blob, DWORD offset, DWORD fieldBytes);

}  // namespace morva::fax
