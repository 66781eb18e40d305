// The destination list of one property sheet or fax dialog, and its packed
// form: a "DFAX002" blob whose entries run from the oldest (index 0) to the
// newest, the order in which the user added them.
#pragma once

#include "fax/fax_blob.h"
#include "fax/fax_destination.h"
#include "fax/key_list.h"
#include "win/types.h"

namespace morva::fax {

inline constexpr DWORD kFaxSubjectChars = kFaxText1Bytes / 2;  // 41
inline constexpr DWORD kFaxCommentChars = kFaxText2Bytes / 2;  // 671
// The largest list a blob can carry: its count is a WORD.
inline constexpr DWORD kFaxMaxEntries = 0xFFFF;

struct FaxDestinationList {
  WCHAR Subject[kFaxSubjectChars];  // cover-sheet subject
  WCHAR Comment[kFaxCommentChars];  // cover-sheet comment, several lines
  KeyList* Entries;                 // FaxDestination records owned by the list
};

// Bytes of the blob of `count` entries.
constexpr DWORD FaxBlobSize(DWORD count) { return kFaxBookHeaderSize + kFaxEntrySize * count; }

// A zeroed list with an empty entry list; null when memory runs out.
FaxDestinationList* FaxList_Create();
// Frees every entry, the entry list and the list. Accepts null; always 1.
int FaxList_Destroy(FaxDestinationList* list);
// Makes the target an exact copy of the source: header strings and a fresh
// copy of every entry in the source's order. 0 when the source has no entry
// list or memory runs out; the target is then left as it was.
int FaxList_Copy(FaxDestinationList* target, const FaxDestinationList* source);
// Appends a copy of the record as the newest entry. 1 done; 0 when the list
// has no entry list, is full, or memory runs out.
int FaxList_Append(FaxDestinationList* list, const FaxDestination& record);
// Removes and frees entry i (insertion order). 1 done; 0 when out of range.
int FaxList_RemoveAt(FaxDestinationList* list, INT i);
// The number of entries, -1 without a list or entry list.
INT FaxList_Count(const FaxDestinationList* list);
// Entry i in insertion order, null when out of range.
FaxDestination* FaxList_GetAt(const FaxDestinationList* list, INT i);

// Writes the tag, the count, the header strings and entries 0..count-1
// (oldest first) into `blob` of `blobSize` bytes, which must hold
// FaxBlobSize(count). A count of 0 writes the header only. 1 done; 0 when
// the list holds fewer than `count` entries, the count does not fit a blob
// or the buffer, or memory runs out.
int PackFaxSendList(BYTE* blob, DWORD blobSize, INT count, const FaxDestinationList* list);
// Packs the whole list into a new GlobalAlloc'ed blob (freed with
// GlobalFree or FreeFaxSendList). 1 with the block and its size; 0 when the
// list cannot be packed or memory runs out.
int FaxList_Pack(const FaxDestinationList* list, BYTE** blob, DWORD* size);
// Replaces the list's header strings and entries with those of a
// "DFAX002" blob of `size` bytes. 1 done; 0 for another tag, a blob shorter
// than its count needs, or when memory runs out; the list is then unchanged.
int UnpackFaxSendList(FaxDestinationList* list, const BYTE* blob, DWORD size);

}  // namespace morva::fax
