// The settings files of the DMA_ interface: the document-property file
// (NDEV001, WPKINFO and SPINFO sections, optionally a fax address book) and
// the one-time fax address file, written from section images the caller
// holds, and the document-property file split back into them.
//
// The sections are handed over as whole images with their headers, so the
// data manager needs only their outline here, not the settings library's
// section readers (those unpack the data and build defaults from the device
// database, which the data manager does not link).
#include <cstring>
#include <string>

#include "ddm/ddmid.h"
#include "ddm/dma.h"
#include "ddm/dma_tables.h"
#include "fax/fax_blob.h"
#include "win/endian.h"
#include "win/files.h"
#include "win/handles.h"
#include "win/memory.h"

namespace morva::ddm {
namespace {

constexpr WORD kDocPropFileId = 374;
constexpr WORD kOneTimeFileId = 375;

// Section outline: a 16-byte UTF-16 tag padded with NULs; NDEV001 carries
// its version at 16 and its length at 20, the others their length at 16.
constexpr DWORD kTagBytes = 16;
constexpr DWORD kNdevHeader = 24;
constexpr DWORD kNdevVersionAt = 16;
constexpr DWORD kNdevLengthAt = 20;
constexpr DWORD kDataHeader = 20;
constexpr DWORD kDataLengthAt = 16;
constexpr char16_t kTagNdev[] = u"NDEV001";
constexpr char16_t kTagWpk[] = u"WPKINFO";
constexpr char16_t kTagSp[] = u"SPINFO";

// The stored tag's text up to its NUL equals `tag`.
bool tag_is(const BYTE* at, const char16_t* tag) {
  for (DWORD i = 0; i < kTagBytes / 2; ++i) {
    const char16_t c = static_cast<char16_t>(load_le16(at + 2 * i));
    if (c != tag[i]) return false;
    if (c == 0) return true;
  }
  return false;
}

// The file name held by a setting; false when it cannot be read.
bool file_name(DMA_CONTEXT* ctx, WORD ddmid, std::u16string* out) {
  DdmidLocation loc;
  if (dma_FindDescriptor(ddmid, ctx->devmode, ctx->printerData, &loc) != kDdmOk || loc.type != kTypeString) {
    return false;
  }
  const DWORD n = dma_WcsNLen(loc.address, loc.maxSize / 2);
  out->assign(n, u'\0');
  for (DWORD i = 0; i < n; ++i) (*out)[i] = static_cast<char16_t>(load_le16(loc.address + 2 * i));
  return true;
}

struct Piece {
  const BYTE* data;
  DWORD size;
};

// Creates the file anew and writes the pieces whose pointer and size are
// both set. A file whose writing failed is removed again, so that no
// truncated file is left for a later read.
LONG write_file(const std::u16string& name, const Piece* pieces, int count, LONG openError, LONG writeError) {
  HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return openError;
  bool ok = true;
  for (int i = 0; i < count && ok; ++i) {
    if (pieces[i].data == nullptr || pieces[i].size == 0) continue;
    DWORD written = 0;
    ok = WriteFile(file, pieces[i].data, pieces[i].size, &written, nullptr) && written == pieces[i].size;
  }
  CloseHandle(file);
  if (!ok) {
    DeleteFileW(name.c_str());
    return writeError;
  }
  return DMA_OK;
}

// Reads the whole file into a new global block (at least one byte long).
LONG read_file(const std::u16string& name, BYTE** image, DWORD* size) {
  HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return DMA_ERR_FILE_OPEN;
  DWORD high = 0;
  const DWORD length = GetFileSize(file, &high);
  LONG rc = DMA_ERR_FILE_READ;
  if (length != INVALID_FILE_SIZE && high == 0) {
    auto* block = static_cast<BYTE*>(GlobalAlloc(GPTR, length != 0 ? length : 1));
    DWORD got = 0;
    if (block != nullptr && (length == 0 || (ReadFile(file, block, length, &got, nullptr) && got == length))) {
      *image = block;
      *size = length;
      rc = DMA_OK;
    } else if (block != nullptr) {
      GlobalFree(block);
    }
  }
  CloseHandle(file);
  return rc;
}

// A data section (WPKINFO or SPINFO) at `pos` when the rest holds at least
// its header: the tag must match and its data fit. Sets *length to the whole
// section's size (0 when the rest is too short to hold one).
bool data_section(const BYTE* image, DWORD size, DWORD pos, const char16_t* tag, DWORD* length) {
  *length = 0;
  if (size - pos < kDataHeader) return true;
  const unsigned long long whole = kDataHeader + static_cast<unsigned long long>(load_le32(image + pos + kDataLengthAt));
  if (!tag_is(image + pos, tag) || whole > size - pos) return false;
  *length = static_cast<DWORD>(whole);
  return true;
}

}  // namespace

LONG dma_SplitDocPropFile(const BYTE* image, DWORD size, DmaSections* sections) {
  if (sections == nullptr || (image == nullptr && size != 0)) return DMA_ERR_FAILED;
  DWORD pos = 0;
  DWORD ndev = 0;
  if (size >= kNdevHeader) {
    const unsigned long long whole = kNdevHeader + static_cast<unsigned long long>(load_le32(image + kNdevLengthAt));
    if (!tag_is(image, kTagNdev) || load_le32(image + kNdevVersionAt) != kLayoutVersion || whole > size) {
      return DMA_ERR_FILE_FORMAT;
    }
    ndev = static_cast<DWORD>(whole);
  }
  pos += ndev;
  DWORD wpk = 0, sp = 0;
  if (!data_section(image, size, pos, kTagWpk, &wpk)) return DMA_ERR_FILE_FORMAT;
  const DWORD wpkAt = pos;
  pos += wpk;
  if (!data_section(image, size, pos, kTagSp, &sp)) return DMA_ERR_FILE_FORMAT;
  const DWORD spAt = pos;
  pos += sp;

  // The fax book, when the rest holds at least its header.
  enum { kNone, kOld, kCurrent } fax = kNone;
  DWORD faxNeeded = 0;
  const DWORD faxAt = pos;
  if (size - pos >= fax::kFaxBookHeaderSize) {
    const BYTE* book = image + pos;
    const unsigned long long count = load_le16(book + fax::kFaxCountOffset);
    const unsigned long long rest = size - pos;
    if (fax::FaxBook_HasTag(book, fax::kTagDfax002) && count * fax::kFaxEntrySize + fax::kFaxBookHeaderSize <= rest) {
      fax = kCurrent;
    } else if (fax::FaxBook_HasTag(book, fax::kTagDfax001) &&
               count * fax::kFaxOldEntrySize + fax::kFaxBookHeaderSize <= rest) {
      fax = kOld;
    } else {
      return DMA_ERR_FILE_FORMAT;
    }
    faxNeeded = static_cast<DWORD>(count * fax::kFaxEntrySize + fax::kFaxBookHeaderSize);
  }

  if (sections->ndev == nullptr || sections->ndevSize < ndev || sections->wpk == nullptr ||
      sections->wpkSize < wpk || sections->sp == nullptr || sections->spSize < sp ||
      (fax != kNone && (sections->fax == nullptr || sections->faxSize < faxNeeded))) {
    sections->ndevSize = ndev;
    sections->wpkSize = wpk;
    sections->faxSize = faxNeeded;
    sections->spSize = sp;
    return DMA_ERR_BUFFER;
  }
  if (ndev != 0) std::memcpy(sections->ndev, image, ndev);
  if (wpk != 0) std::memcpy(sections->wpk, image + wpkAt, wpk);
  if (sp != 0) std::memcpy(sections->sp, image + spAt, sp);
  DWORD faxWritten = 0;
  if (fax == kCurrent) {
    std::memcpy(sections->fax, image + faxAt, faxNeeded);
    faxWritten = faxNeeded;
  } else if (fax == kOld) {
    // Converted only when the old book ends the file exactly; a refused
    // conversion leaves the buffer as it was.
    BYTE* destination = sections->fax;
    const BYTE* source = image + faxAt;
    if (dma_ConvertFaxAddressBook(&destination, &source, sections->faxSize, size - faxAt)) faxWritten = faxNeeded;
  }
  // The sizes of what was copied, so that the caller knows which of its
  // buffers hold a section.
  sections->ndevSize = ndev;
  sections->wpkSize = wpk;
  sections->faxSize = faxWritten;
  sections->spSize = sp;
  return DMA_OK;
}

}  // namespace morva::ddm

using namespace morva::ddm;

LONG DMA_ExtractDocPropEx(DMA_CONTEXT* ctx, const DmaSections* sections) {
  if (ctx == nullptr || sections == nullptr || sections->ndev == nullptr || sections->wpk == nullptr ||
      sections->sp == nullptr) {
    return DMA_ERR_FAILED;
  }
  std::u16string name;
  if (!file_name(ctx, kDocPropFileId, &name)) return DMA_ERR_FAILED;
  if (name.empty()) return DMA_OK;
  const Piece pieces[] = {{sections->ndev, sections->ndevSize},
                          {sections->wpk, sections->wpkSize},
                          {sections->sp, sections->spSize},
                          {sections->fax, sections->faxSize}};
  return write_file(name, pieces, 4, DMA_ERR_FILE_OPEN, DMA_ERR_FILE_WRITE);
}

LONG DMA_ExtractDocProp(DMA_CONTEXT* ctx, BYTE* ndev, DWORD ndevSize, BYTE* wpk, DWORD wpkSize, BYTE* fax,
                        DWORD faxSize, BYTE* sp, DWORD spSize) {
  const DmaSections sections{ndev, ndevSize, wpk, wpkSize, fax, faxSize, sp, spSize};
  return DMA_ExtractDocPropEx(ctx, &sections);
}

LONG DMA_ExtractOneTimeEx(DMA_CONTEXT* ctx, const DmaSections* sections) {
  if (ctx == nullptr || sections == nullptr || sections->fax == nullptr) return DMA_ERR_FAILED;
  std::u16string name;
  if (!file_name(ctx, kOneTimeFileId, &name)) return DMA_ERR_FAILED;
  if (name.empty()) return DMA_OK;
  const Piece book{sections->fax, sections->faxSize};
  return write_file(name, &book, 1, DMA_ERR_ONE_TIME_OPEN, DMA_ERR_ONE_TIME_WRITE);
}

LONG DMA_ExtractOneTime(DMA_CONTEXT* ctx, BYTE* ndev, DWORD ndevSize, BYTE* wpk, DWORD wpkSize, BYTE* fax,
                        DWORD faxSize, BYTE* sp, DWORD spSize) {
  const DmaSections sections{ndev, ndevSize, wpk, wpkSize, fax, faxSize, sp, spSize};
  return DMA_ExtractOneTimeEx(ctx, &sections);
}

LONG DMA_ReplaceDocProp(DMA_CONTEXT* ctx, DmaSections* sections) {
  if (ctx == nullptr || sections == nullptr) return DMA_ERR_FAILED;
  std::u16string name;
  if (!file_name(ctx, kDocPropFileId, &name)) return DMA_ERR_FAILED;
  if (name.empty()) return DMA_OK;
  BYTE* image = nullptr;
  DWORD size = 0;
  if (const LONG rc = read_file(name, &image, &size); rc != DMA_OK) return rc;
  const LONG rc = dma_SplitDocPropFile(image, size, sections);
  GlobalFree(image);
  return rc;
}
