// Reading and writing the header and entries of the direct-fax blob.
#include "fax/fax_blob.h"

#include <cstring>

#include "win/endian.h"

namespace morva::fax {

bool FaxBook_HasTag(const BYTE* blob, const char16_t (&tag)[8]) {
  for (DWORD i = 0; i < 8; ++i) {
    if (load_le16(blob + 2 * i) != tag[i]) return false;
  }
  return true;
}

void FaxBook_WriteTag(BYTE* blob, const char16_t (&tag)[8]) {
  for (DWORD i = 0; i < 8; ++i) store_le16(blob + 2 * i, tag[i]);
}

WORD FaxBook_GetCount(const BYTE* blob) { return load_le16(blob + kFaxCountOffset); }
void FaxBook_SetCount(BYTE* blob, WORD count) { store_le16(blob + kFaxCountOffset, count); }

bool FaxBook_Parse(const BYTE* data, std::size_t size, FaxBookView* view) {
  *view = FaxBookView{};
  if (data == nullptr || size < kFaxBookHeaderSize) return false;
  FaxBookView v;
  if (FaxBook_HasTag(data, kTagDfax002)) {
    v.kind = FaxBookKind::kDfax002;
    v.entrySize = kFaxEntrySize;
  } else if (FaxBook_HasTag(data, kTagDfax001)) {
    v.kind = FaxBookKind::kDfax001;
    v.entrySize = kFaxOldEntrySize;
  } else {
    return false;
  }
  v.data = data;
  v.count = FaxBook_GetCount(data);
  const std::size_t needed = kFaxBookHeaderSize + std::size_t{v.count} * v.entrySize;
  if (needed > size) return false;
  v.size = static_cast<DWORD>(needed);
  *view = v;
  return true;
}

int CopyFaxSendListHeader(const FaxBookView& book, BYTE* header) {
  if (book.data == nullptr || header == nullptr) return 0;
  std::memcpy(header, book.data, kFaxBookHeaderSize);
  return 1;
}

int GetFaxSendListEntry(const FaxBookView& book, DWORD index, BYTE* entry) {
  if (book.data == nullptr || entry == nullptr || index >= book.count) return 0;
  std::memcpy(entry, book.data + kFaxBookHeaderSize + std::size_t{index} * book.entrySize, book.entrySize);
  return 1;
}

int CopyFaxSendListHeader(const BYTE* blob, BYTE* header) {
  if (blob == nullptr || header == nullptr) return 0;
  std::memcpy(header, blob, kFaxBookHeaderSize);
  return 1;
}

int GetFaxSendListEntry(const BYTE* blob, DWORD index, BYTE* entry) {
  if (blob == nullptr || entry == nullptr || index >= FaxBook_GetCount(blob)) return 0;
  std::memcpy(entry, blob + kFaxBookHeaderSize + std::size_t{index} * kFaxEntrySize, kFaxEntrySize);
  return 1;
}

std::size_t FaxBook_TextLength(const BYTE* blob, DWORD offset, DWORD fieldBytes) {
  std::size_t n = 0;
  while (n < fieldBytes / 2 && load_le16(blob + offset + 2 * n) != 0) ++n;
  return n;
}

}  // namespace morva::fax
