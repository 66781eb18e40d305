// Parsing of the private settings sections: every reader checks that the
// bytes it is about to read lie inside the image first.
#include <cstring>
#include <vector>

#include "ddm/ddmid.h"
#include "ddm/dma.h"
#include "fax/fax_blob.h"
#include "settings/stores/private_blobs.h"
#include "win/endian.h"
#include "win/memory.h"

namespace morva::settings {
namespace {

using morva::load_le32;
using morva::store_le16;

// The stored tag's text up to its NUL equals `tag` (the bytes after the NUL
// are padding and not looked at).
bool tag_matches(const BYTE* at, const char16_t* tag) {
  for (DWORD i = 0; i < kSectionTagBytes / 2; ++i) {
    const char16_t c = static_cast<char16_t>(morva::load_le16(at + 2 * i));
    if (c != tag[i]) return false;
    if (c == 0) return true;
  }
  return false;
}

// Room for `need` bytes at `pos` of an image of `size` bytes.
bool fits(DWORD size, DWORD pos, DWORD need) { return pos <= size && need <= size - pos; }

BYTE* copy_block(const BYTE* data, DWORD size) {
  auto* block = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, size));
  if (block) std::memcpy(block, data, size);
  return block;
}

void free_out(BYTE** p) {
  if (p && *p) {
    GlobalFree(*p);
    *p = nullptr;
  }
}

}  // namespace

BOOL ReadNdevSection(const BYTE* image, DWORD size, DWORD* pos, BYTE* extension, HANDLE printer,
                     ExtensionDefaultsFn defaults) {
  if (image == nullptr || pos == nullptr || extension == nullptr) return FALSE;
  const DWORD at = *pos;
  if (!fits(size, at, kNdevHeaderSize)) return FALSE;
  const BYTE* head = image + at;
  if (!tag_matches(head, kTagNdev)) return FALSE;
  const DWORD version = load_le32(head + kNdevVersionOffset);
  const DWORD length = load_le32(head + kNdevLengthOffset);
  if (version > morva::ddm::kLayoutVersion) return FALSE;
  if (!fits(size, at + kNdevHeaderSize, length)) return FALSE;
  if (version < morva::ddm::kLayoutVersion) {
    // Older layouts are prefixes of the current one: the defaults fill
    // what they lack.
    if (defaults == nullptr || !defaults(printer, extension)) return FALSE;
  }
  const DWORD take = length < morva::ddm::kExtensionSize ? length : morva::ddm::kExtensionSize;
  std::memcpy(extension, head + kNdevHeaderSize, take);
  store_le16(extension, morva::ddm::kLayoutVersion);
  *pos = at + kNdevHeaderSize + length;
  return TRUE;
}

BOOL ReadDataSection(const BYTE* image, DWORD size, DWORD* pos, const char16_t* tag, BYTE** out,
                     DWORD* out_size) {
  if (out) *out = nullptr;
  if (out_size) *out_size = 0;
  if (image == nullptr || pos == nullptr) return FALSE;
  const DWORD at = *pos;
  if (!fits(size, at, kDataSectionHeaderSize)) return FALSE;
  if (!tag_matches(image + at, tag)) return FALSE;
  const DWORD length = load_le32(image + at + kDataSectionLengthOffset);
  if (!fits(size, at + kDataSectionHeaderSize, length)) return FALSE;
  if (out && length != 0) {
    if ((*out = copy_block(image + at + kDataSectionHeaderSize, length)) == nullptr) return FALSE;
    if (out_size) *out_size = length;
  }
  *pos = at + kDataSectionHeaderSize + length;
  return TRUE;
}

BOOL IsWholeFaxBook(const BYTE* book, DWORD size) {
  morva::fax::FaxBookView view;
  return book && morva::fax::FaxBook_Parse(book, size, &view) && view.kind == morva::fax::FaxBookKind::kDfax002 &&
         view.size == size;
}

BOOL ReadFaxSection(const BYTE* image, DWORD size, DWORD pos, BYTE** out) {
  if (out) *out = nullptr;
  if (image == nullptr || out == nullptr || pos > size) return FALSE;
  const BYTE* book = image + pos;
  const DWORD rest = size - pos;
  morva::fax::FaxBookView view;
  if (!morva::fax::FaxBook_Parse(book, rest, &view)) return FALSE;
  if (view.kind == morva::fax::FaxBookKind::kDfax002) {
    if (view.size != rest) return FALSE;
    return (*out = copy_block(book, rest)) != nullptr;
  }
  // DFAX001: converted into a new book of the current layout.
  const DWORD converted = morva::fax::kFaxBookHeaderSize + DWORD{view.count} * morva::fax::kFaxEntrySize;
  auto* block = static_cast<BYTE*>(GlobalAlloc(GPTR, converted));
  if (block == nullptr) return FALSE;
  BYTE* destination = block;
  const BYTE* source = book;
  if (!morva::ddm::dma_ConvertFaxAddressBook(&destination, &source, converted, rest)) {
    GlobalFree(block);
    return TRUE;  // a book that cannot be converted is dropped, not an error
  }
  *out = block;
  return TRUE;
}

BOOL ParseDocPropImage(const BYTE* image, DWORD size, const PrivateSectionOutputs& out, HANDLE printer,
                       ExtensionDefaultsFn defaults) {
  if (out.fax) *out.fax = nullptr;
  if (out.wpk) *out.wpk = nullptr;
  if (out.wpk_size) *out.wpk_size = 0;
  if (out.sp) *out.sp = nullptr;
  if (out.sp_size) *out.sp_size = 0;
  if (image == nullptr || out.extension == nullptr) return FALSE;
  // Parsed into a copy, so that a refused image leaves the caller's block.
  std::vector<BYTE> extension(out.extension, out.extension + morva::ddm::kExtensionSize);
  DWORD pos = 0;
  BYTE* wpk = nullptr;
  BYTE* sp = nullptr;
  BYTE* fax = nullptr;
  DWORD wpk_size = 0, sp_size = 0;
  bool ok = ReadNdevSection(image, size, &pos, extension.data(), printer, defaults) &&
            ReadDataSection(image, size, &pos, kTagWpk, out.wpk ? &wpk : nullptr, &wpk_size) &&
            ReadDataSection(image, size, &pos, kTagSp, out.sp ? &sp : nullptr, &sp_size);
  if (ok && out.fax && pos < size) ok = ReadFaxSection(image, size, pos, &fax);
  if (!ok) {
    free_out(&wpk);
    free_out(&sp);
    free_out(&fax);
    return FALSE;
  }
  std::memcpy(out.extension, extension.data(), extension.size());
  if (out.wpk) *out.wpk = wpk;
  if (out.wpk_size) *out.wpk_size = wpk_size;
  if (out.sp) *out.sp = sp;
  if (out.sp_size) *out.sp_size = sp_size;
  if (out.fax) *out.fax = fax;
  return TRUE;
}

BOOL ParseExtensionBlob(const BYTE* blob, DWORD size, BYTE* extension, BYTE** fax, HANDLE printer,
                        ExtensionDefaultsFn defaults) {
  if (fax) *fax = nullptr;
  if (blob == nullptr || extension == nullptr) return FALSE;
  std::vector<BYTE> copy(extension, extension + morva::ddm::kExtensionSize);
  DWORD pos = 0;
  if (!ReadNdevSection(blob, size, &pos, copy.data(), printer, defaults)) return FALSE;
  BYTE* book = nullptr;
  if (fax && pos < size && !ReadFaxSection(blob, size, pos, &book)) return FALSE;
  std::memcpy(extension, copy.data(), copy.size());
  if (fax) *fax = book;
  return TRUE;
}

}  // namespace morva::settings
