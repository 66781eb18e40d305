// The DMA_ value, string and LOGFONT accessors, enumeration, attributes and
// the fax destination count.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ansi_text.h"
#include "ddm/ddmid.h"
#include "ddm/dma.h"
#include "ddm/public_ids.h"
#include "fax/fax_blob.h"
#include "pi/scramble.h"
#include "win/codepage.h"
#include "win/endian.h"

namespace morva::ddm {
namespace {

constexpr WORD kNarrowTextId = 329;          // holds ANSI bytes
constexpr WORD kFaxCountId = 380;
constexpr WORD kSupportInfoId = 8216;
constexpr WORD kFirstEncodedId = 0x9001;
constexpr WORD kLastEncodedId = 0x900A;
// ANSI length limits of the write-only encoded texts, in id order.
constexpr DWORD kEncodedLimits[] = {13, 129, 129, 129, 21, 13, 13, 13, 173, 173};

bool is_fax_text(WORD id) { return id == kDmaFaxText1Id || id == kDmaFaxText2Id; }
bool is_encoded(WORD id) { return id >= kFirstEncodedId && id <= kLastEncodedId; }

// Attribute kind of a value type; -1 for none.
int attribute_kind(WORD type) {
  switch (type) {
    case kTypeLong: case kTypeShort: case kTypeWord: case kTypeLong4: case kTypeDword:
    case kTypeByte: case kTypeLong10:
      return 0;
    case kTypeString: return 1;
    case kTypeLogFont: return 2;
    default: return -1;
  }
}

struct Setting {
  WORD ddmid = 0;
  DdmidLocation loc;
};

// Steps 2-3 of every accessor: map the id and look the setting up.
LONG resolve(DMA_CONTEXT* ctx, WORD id, Setting* s) {
  if (!dma_PublicToDdmid(id, &s->ddmid)) return DMA_ERR_UNMAPPED;
  if (dma_FindDescriptor(s->ddmid, ctx->devmode, ctx->printerData, &s->loc) != kDdmOk) return DMA_ERR_FAILED;
  return DMA_OK;
}

std::u16string read_wide(const BYTE* p, DWORD maxChars) {
  const DWORD n = dma_WcsNLen(p, maxChars);
  std::u16string s(n, u'\0');
  for (DWORD i = 0; i < n; ++i) s[i] = static_cast<char16_t>(load_le16(p + 2 * i));
  return s;
}

// Writes the text and a NUL into a field of `fieldBytes`, zeroing the rest.
void write_wide(BYTE* field, DWORD fieldBytes, const std::u16string& s) {
  std::memset(field, 0, fieldBytes);
  const std::size_t n = std::min<std::size_t>(s.size(), fieldBytes / 2 - 1);
  for (std::size_t i = 0; i < n; ++i) store_le16(field + 2 * i, s[i]);
}

bool from_ansi(const char* text, std::size_t bytes, std::u16string* out) {
  out->clear();
  if (bytes == 0) return true;
  const int n = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(bytes), nullptr, 0);
  if (n <= 0) return false;
  out->resize(static_cast<std::size_t>(n));
  return MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(bytes), out->data(), n) == n;
}

// The longest ANSI form of a leading part of s that fits maxBytes, cut
// between characters (a double-byte character or a surrogate pair is never
// split).
std::string ansi_prefix(const std::u16string& s, std::size_t maxBytes) {
  std::string out, piece;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t len = (s[i] >= 0xD800 && s[i] < 0xDC00 && i + 1 < s.size()) ? 2 : 1;
    if (!to_ansi(s.substr(i, len), &piece) || out.size() + piece.size() > maxBytes) break;
    out += piece;
    i += len;
  }
  return out;
}

// Copies text + NUL into the caller's buffer when it fits; otherwise the
// part that fits, cut between characters, and the needed size → -5.
LONG hand_out(const std::u16string& text, char* buffer, DWORD* size, DWORD zeroFill) {
  std::string ansi;
  if (!to_ansi(text, &ansi)) return DMA_ERR_FAILED;
  const DWORD needed = static_cast<DWORD>(ansi.size()) + 1;
  if (needed > *size) {
    const std::string cut = ansi_prefix(text, *size - 1);
    std::memcpy(buffer, cut.data(), cut.size());
    buffer[cut.size()] = '\0';
    *size = needed;
    return DMA_ERR_BUFFER;
  }
  std::memcpy(buffer, ansi.data(), ansi.size());
  std::memset(buffer + ansi.size(), 0, std::max(needed, std::min(zeroFill, *size)) - ansi.size());
  return DMA_OK;
}

LONG get_fax_text(DMA_CONTEXT* ctx, WORD id, char* buffer, DWORD* size) {
  if (ctx->faxBook == nullptr) return DMA_ERR_UNMAPPED;
  const DWORD offset = id == kDmaFaxText1Id ? fax::kFaxText1Offset : fax::kFaxText2Offset;
  const DWORD bytes = id == kDmaFaxText1Id ? fax::kFaxText1Bytes : fax::kFaxText2Bytes;
  std::string ansi;
  if (!to_ansi(read_wide(ctx->faxBook + offset, bytes / 2), &ansi)) return DMA_ERR_FAILED;
  if (buffer != nullptr && *size >= ansi.size() + 1) {
    std::memcpy(buffer, ansi.c_str(), ansi.size() + 1);
    return DMA_OK;
  }
  *size = static_cast<DWORD>(ansi.size()) + 1;
  return DMA_ERR_BUFFER;
}

LONG set_fax_text(DMA_CONTEXT* ctx, WORD id, const char* text) {
  if (ctx->faxBook == nullptr) return DMA_ERR_UNMAPPED;
  std::u16string wide;
  if (!from_ansi(text, std::strlen(text), &wide)) return DMA_ERR_FAILED;
  const DWORD offset = id == kDmaFaxText1Id ? fax::kFaxText1Offset : fax::kFaxText2Offset;
  const DWORD bytes = id == kDmaFaxText1Id ? fax::kFaxText1Bytes : fax::kFaxText2Bytes;
  if (2 * wide.size() + 2 > bytes) return DMA_ERR_TOO_LONG;
  write_wide(ctx->faxBook + offset, bytes, wide);
  fax::FaxBook_WriteTag(ctx->faxBook, fax::kTagDfax002);
  return DMA_OK;
}

// Scrambles and Base64-encodes a write-only text into its field. A text
// whose encoded form does not fit the field is refused: a cut Base64 text
// would decode to something else.
LONG set_encoded_text(const Setting& s, const char* text) {
  const std::size_t n = std::strlen(text);
  std::u16string wide;
  if (n > 0) {
    std::vector<BYTE> scrambled(n);
    int written = 0;
    if (pi::ScrambleBytes(reinterpret_cast<const BYTE*>(text), static_cast<int>(n), scrambled.data(), &written,
                          static_cast<int>(n)) != pi::kCodecOk) {
      return DMA_ERR_FAILED;
    }
    std::string encoded(static_cast<std::size_t>(pi::Base64EncodedLength(static_cast<int>(n))), '\0');
    if (pi::Base64Encode(scrambled.data(), static_cast<int>(n), encoded.data(), &written,
                         static_cast<int>(encoded.size())) != pi::kCodecOk) {
      return DMA_ERR_FAILED;
    }
    wide.assign(encoded.begin(), encoded.end());
  }
  if (2 * wide.size() + 2 > s.loc.maxSize) return DMA_ERR_TOO_LONG;
  write_wide(s.loc.address, s.loc.maxSize, wide);
  return DMA_OK;
}

}  // namespace

}  // namespace morva::ddm

using namespace morva::ddm;
using morva::load_le16;
using morva::store_le16;

LONG DMA_GetValue(DMA_CONTEXT* ctx, WORD id, DWORD* value) {
  if (ctx == nullptr) return DMA_ERR_FAILED;
  if (is_fax_text(id)) return DMA_ERR_IS_STRING;
  Setting s;
  if (const LONG rc = resolve(ctx, id, &s); rc != DMA_OK) return rc;
  if (s.loc.type == kTypeString) return DMA_ERR_IS_STRING;
  if (s.loc.type == kTypeLogFont) return DMA_ERR_IS_LOGFONT;
  if (value == nullptr) return DMA_ERR_FAILED;
  *value = 0;
  WORD type;
  DWORD size;
  return dma_GetValue(s.ddmid, ctx->devmode, ctx->printerData, &type, &size, value, nullptr) == kDdmOk
             ? DMA_OK
             : DMA_ERR_FAILED;
}

LONG DMA_SetValue(DMA_CONTEXT* ctx, WORD id, DWORD value) {
  if (ctx == nullptr) return DMA_ERR_FAILED;
  if (is_fax_text(id)) return DMA_ERR_IS_STRING;
  Setting s;
  if (const LONG rc = resolve(ctx, id, &s); rc != DMA_OK) return rc;
  if (s.loc.type == kTypeString) return DMA_ERR_IS_STRING;
  if (s.loc.type == kTypeLogFont) return DMA_ERR_IS_LOGFONT;
  return dma_SetValue(s.ddmid, ctx->devmode, ctx->printerData, s.loc.type, s.loc.typeSize, &value) == kDdmOk
             ? DMA_OK
             : DMA_ERR_FAILED;
}

LONG DMA_GetStringData_StrLength(DMA_CONTEXT* ctx, WORD id, char* buffer, DWORD* size) {
  if (ctx == nullptr || size == nullptr) return DMA_ERR_FAILED;
  if (is_fax_text(id)) return DMA_ERR_UNMAPPED;
  Setting s;
  if (const LONG rc = resolve(ctx, id, &s); rc != DMA_OK) return rc;
  if (s.loc.type == kTypeLogFont) return DMA_ERR_IS_LOGFONT;
  if (s.loc.type != kTypeString) return DMA_ERR_WRONG_KIND;
  const DWORD m = s.loc.maxSize;
  std::string ansi;
  if (s.ddmid == kNarrowTextId) {
    const auto* p = reinterpret_cast<const char*>(s.loc.address);
    ansi.assign(p, strnlen(p, m));
  } else if (!to_ansi(read_wide(s.loc.address, m / 2), &ansi)) {
    return DMA_ERR_FAILED;
  }
  const DWORD needed = static_cast<DWORD>(ansi.size()) + 1;
  if (needed > m) return DMA_ERR_FAILED;
  if (buffer == nullptr) {
    if (*size != 0) return DMA_ERR_FAILED;
    *size = needed;
    return DMA_ERR_BUFFER;
  }
  if (*size < needed) return DMA_ERR_BUFFER;
  std::memcpy(buffer, ansi.c_str(), needed);
  return DMA_OK;
}

LONG DMA_SetStringData_StrLength(DMA_CONTEXT* ctx, WORD id, const char* text, DWORD) {
  if (ctx == nullptr || text == nullptr) return DMA_ERR_FAILED;
  if (is_fax_text(id)) return DMA_ERR_UNMAPPED;
  Setting s;
  if (const LONG rc = resolve(ctx, id, &s); rc != DMA_OK) return rc;
  if (s.loc.type == kTypeLogFont) return DMA_ERR_IS_LOGFONT;
  if (s.loc.type != kTypeString) return DMA_ERR_WRONG_KIND;
  const DWORD m = s.loc.maxSize;
  const std::size_t n = std::strlen(text);
  if (s.ddmid == kNarrowTextId) {
    if (n > m - 1) return DMA_ERR_TOO_LONG;
    std::memset(s.loc.address, 0, m);
    std::memcpy(s.loc.address, text, n);
    return DMA_OK;
  }
  std::u16string wide;
  if (!from_ansi(text, n, &wide)) return DMA_ERR_FAILED;
  if (wide.size() + 1 > m / 2) return DMA_ERR_TOO_LONG;
  write_wide(s.loc.address, m, wide);
  return DMA_OK;
}

LONG DMA_GetStringData(DMA_CONTEXT* ctx, WORD id, char* buffer, DWORD* size) {
  if (ctx == nullptr || size == nullptr) return DMA_ERR_FAILED;
  if (is_fax_text(id)) return get_fax_text(ctx, id, buffer, size);
  Setting s;
  if (const LONG rc = resolve(ctx, id, &s); rc != DMA_OK) return rc;
  if (s.loc.type == kTypeLogFont) return DMA_ERR_IS_LOGFONT;
  if (s.loc.type != kTypeString) return DMA_ERR_WRONG_KIND;
  const DWORD m = s.loc.maxSize;
  const bool narrow = s.ddmid == kNarrowTextId;
  if (buffer == nullptr && *size == 0) {
    *size = is_encoded(id) ? kEncodedLimits[id - kFirstEncodedId] : narrow ? m : m / 2;
    return DMA_ERR_BUFFER;
  }
  if (is_encoded(id) || buffer == nullptr) return DMA_ERR_FAILED;
  if (narrow) {
    if (*size < m) return DMA_ERR_BUFFER;
    std::memcpy(buffer, s.loc.address, m);
    return DMA_OK;
  }
  if (*size < m / 2) return DMA_ERR_BUFFER;
  // A text whose ANSI form is longer than the field size (double-byte
  // characters) is handed out cut between characters with -5 and the size
  // it needs, never cut inside a character nor reported as complete.
  return hand_out(read_wide(s.loc.address, m / 2), buffer, size, m / 2);
}

LONG DMA_SetStringData(DMA_CONTEXT* ctx, WORD id, const char* text, DWORD length) {
  if (ctx == nullptr || text == nullptr) return DMA_ERR_FAILED;
  if (is_fax_text(id)) return set_fax_text(ctx, id, text);
  Setting s;
  if (const LONG rc = resolve(ctx, id, &s); rc != DMA_OK) return rc;
  if (s.loc.type == kTypeLogFont) return DMA_ERR_IS_LOGFONT;
  if (s.loc.type != kTypeString) return DMA_ERR_WRONG_KIND;
  const DWORD m = s.loc.maxSize;
  if (is_encoded(id)) {
    if (length > kEncodedLimits[id - kFirstEncodedId]) return DMA_ERR_TOO_LONG;
    return set_encoded_text(s, text);
  }
  if (s.ddmid == kNarrowTextId) {
    if (length > m) return DMA_ERR_TOO_LONG;
    // Copy the caller's text up to its NUL, never more than the field holds
    // with its own NUL.
    const std::size_t n = strnlen(text, m - 1);
    std::memset(s.loc.address, 0, m);
    std::memcpy(s.loc.address, text, n);
    return DMA_OK;
  }
  if (length > m / 2) return DMA_ERR_TOO_LONG;
  std::u16string wide;
  if (!from_ansi(text, std::strlen(text), &wide)) return DMA_ERR_FAILED;
  // A text longer than the stated length is kept to what the field holds.
  write_wide(s.loc.address, m, wide);
  return DMA_OK;
}

LONG DMA_GetLogFontData(DMA_CONTEXT* ctx, WORD id, LOGFONTA* out, DWORD* size) {
  if (ctx == nullptr || size == nullptr) return DMA_ERR_FAILED;
  if (is_fax_text(id)) return DMA_ERR_IS_STRING;
  Setting s;
  if (const LONG rc = resolve(ctx, id, &s); rc != DMA_OK) return rc;
  if (s.loc.type == kTypeString) return DMA_ERR_IS_STRING;
  if (s.loc.type != kTypeLogFont) return DMA_ERR_WRONG_KIND;
  if (out == nullptr) {
    if (*size != 0) return DMA_ERR_FAILED;
    *size = kLogFontASize;
    return DMA_ERR_BUFFER;
  }
  if (*size < kLogFontASize) return DMA_ERR_BUFFER;
  const BYTE* p = s.loc.address;
  LOGFONTA f{};
  f.lfHeight = static_cast<LONG>(morva::load_le32(p));
  f.lfWidth = static_cast<LONG>(morva::load_le32(p + 4));
  f.lfEscapement = static_cast<LONG>(morva::load_le32(p + 8));
  f.lfOrientation = static_cast<LONG>(morva::load_le32(p + 12));
  f.lfWeight = static_cast<LONG>(morva::load_le32(p + 16));
  std::memcpy(&f.lfItalic, p + 20, 8);
  const std::string face = ansi_prefix(read_wide(p + 28, LF_FACESIZE), LF_FACESIZE - 1);
  std::memcpy(f.lfFaceName, face.data(), face.size());
  *out = f;
  return DMA_OK;
}

LONG DMA_SetLogFontData(DMA_CONTEXT* ctx, WORD id, const LOGFONTA* in, DWORD size) {
  if (ctx == nullptr || in == nullptr) return DMA_ERR_FAILED;
  if (is_fax_text(id)) return DMA_ERR_IS_STRING;
  Setting s;
  if (const LONG rc = resolve(ctx, id, &s); rc != DMA_OK) return rc;
  if (s.loc.type == kTypeString) return DMA_ERR_IS_STRING;
  if (s.loc.type != kTypeLogFont) return DMA_ERR_WRONG_KIND;
  if (size > kLogFontASize) return DMA_ERR_TOO_LONG;
  BYTE* p = s.loc.address;
  const LONG longs[5] = {in->lfHeight, in->lfWidth, in->lfEscapement, in->lfOrientation, in->lfWeight};
  for (int i = 0; i < 5; ++i) {
    const LONG v = static_cast<SHORT>(static_cast<WORD>(longs[i] & 0xFFFF));
    morva::store_le32(p + 4 * i, static_cast<DWORD>(v));
  }
  std::memcpy(p + 20, &in->lfItalic, 8);
  std::u16string face;
  from_ansi(in->lfFaceName, strnlen(in->lfFaceName, LF_FACESIZE), &face);
  write_wide(p + 28, 2 * LF_FACESIZE, face);
  return DMA_OK;
}

LONG DMA_EnumDMAID_ByTargetInfo(DMA_CONTEXT* ctx, DWORD target, WORD* count, DWORD* pairs) {
  if (ctx == nullptr || count == nullptr) return DMA_ERR_FAILED;
  std::vector<WORD> ids;
  if (target == 1) {
    for (const DdmidRange* r = dma_RangeTable(); r->list != nullptr; ++r) {
      for (const DdmidDescriptor* d = r->list; d->ddmid != 0; ++d) ids.push_back(d->ddmid);
    }
  } else if (const DmaFieldDescriptor* f = dma_StructFields(target)) {
    for (; f->ddmid != 0; ++f) ids.push_back(f->ddmid);
  } else {
    return DMA_ERR_UNKNOWN_STRUCT;
  }
  WORD found = 0;
  for (WORD ddmid : ids) {
    WORD publicId;
    if (!dma_DdmidToPublic(ddmid, &publicId)) continue;
    if (pairs != nullptr) {
      if (found == *count) return DMA_ERR_BUFFER;
      const DdmidDescriptor* d = dma_Descriptor(ddmid);
      const int kind = d != nullptr ? attribute_kind(d->type) : -1;
      if (kind < 0) return DMA_ERR_FAILED;
      // The whole attribute word is written: bits above the kind are 0.
      pairs[2 * found] = publicId;
      pairs[2 * found + 1] = static_cast<DWORD>(kind);
    }
    ++found;
  }
  *count = found;
  return pairs != nullptr ? DMA_OK : DMA_ERR_BUFFER;
}

namespace {

// Kind and size of one public id (dma_GetAttribute).
LONG get_attribute(DMA_CONTEXT* ctx, WORD id, DmaAttribute* a) {
  *a = DmaAttribute{id, 0, 0, 0};
  DWORD size = 0;
  if (is_fax_text(id)) {
    const LONG rc = DMA_GetStringData(ctx, id, nullptr, &size);
    if (rc != DMA_ERR_BUFFER && rc != DMA_OK) return rc;
    a->kind = 1;
    a->size = size;
    return DMA_OK;
  }
  Setting s;
  if (const LONG rc = resolve(ctx, id, &s); rc != DMA_OK) return rc;
  if (s.loc.type == kTypeString) {
    const LONG rc = DMA_GetStringData(ctx, id, nullptr, &size);
    if (rc != DMA_ERR_BUFFER && rc != DMA_OK) return rc;
    a->kind = 1;
    a->size = size;
  } else if (s.loc.type == kTypeLogFont) {
    a->kind = 2;
    a->size = kLogFontASize;
  } else {
    a->kind = 0;
    a->size = 4;
  }
  return DMA_OK;
}

bool accessible(DMA_CONTEXT* ctx, WORD id) {
  DWORD value = 0, size = 0;
  if (DMA_GetValue(ctx, id, &value) == DMA_OK) return true;
  if (DMA_GetStringData(ctx, id, nullptr, &size) == DMA_ERR_BUFFER) return true;
  size = 0;
  return DMA_GetLogFontData(ctx, id, nullptr, &size) == DMA_ERR_BUFFER;
}

}  // namespace

LONG DMA_QueryAttributes(DMA_CONTEXT* ctx, WORD* count, WORD* ids, DmaAttribute* attributes) {
  if (ctx == nullptr || count == nullptr) return DMA_ERR_FAILED;
  if (ids != nullptr) {
    if (attributes == nullptr) return DMA_ERR_FAILED;
    for (WORD i = 0; i < *count; ++i) {
      if (const LONG rc = get_attribute(ctx, ids[i], &attributes[i]); rc != DMA_OK) return rc;
    }
    return DMA_OK;
  }
  std::vector<WORD> found;
  for (DWORD id = 1; id <= 0xFFFF; ++id) {
    if (accessible(ctx, static_cast<WORD>(id))) found.push_back(static_cast<WORD>(id));
  }
  if (found.empty()) return DMA_ERR_FAILED;
  if (attributes == nullptr || *count < found.size()) {
    *count = static_cast<WORD>(found.size());
    return DMA_ERR_BUFFER;
  }
  // Fills exactly the ids found; a larger *count is brought down to it.
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (const LONG rc = get_attribute(ctx, found[i], &attributes[i]); rc != DMA_OK) return rc;
  }
  *count = static_cast<WORD>(found.size());
  return DMA_OK;
}

LONG DMA_QuerySWSupportInfo(DMA_CONTEXT* ctx, WORD kind, DWORD) {
  if (ctx == nullptr) return DMA_ERR_FAILED;
  if (kind != 1) return DMA_ERR_UNKNOWN_KIND;
  WORD type;
  DWORD size, value = 0;
  if (dma_GetValue(kSupportInfoId, ctx->devmode, ctx->printerData, &type, &size, &value, nullptr) != kDdmOk) {
    return DMA_ERR_UNREADABLE;
  }
  return value != 0 ? DMA_OK : DMA_ERR_NOT_SUPPORTED;
}

LONG DMA_GetFaxAddressNum(const BYTE* faxBook, WORD* count) {
  if (faxBook == nullptr || count == nullptr || !morva::fax::FaxBook_HasTag(faxBook, morva::fax::kTagDfax002)) {
    return DMA_ERR_FAILED;
  }
  *count = morva::fax::FaxBook_GetCount(faxBook);
  return DMA_OK;
}

LONG DMA_SetFaxAddressNum(DMA_CONTEXT* ctx, int number, BOOL relative) {
  // The count lives in two places, DDMID 380 and the fax book; without a
  // book nothing is changed.
  if (ctx == nullptr || ctx->faxBook == nullptr) return DMA_ERR_FAILED;
  long long result = number;
  if (relative) {
    WORD type;
    DWORD size, current = 0;
    if (dma_GetValue(kFaxCountId, ctx->devmode, ctx->printerData, &type, &size, &current, nullptr) != kDdmOk) {
      return DMA_ERR_FAILED;
    }
    result += current;
  }
  if (result < 0 || result > 0xFFFF) return DMA_ERR_FAILED;
  const DWORD v = static_cast<DWORD>(result);
  if (dma_SetValue(kFaxCountId, ctx->devmode, ctx->printerData, kTypeWord, 2, &v) != kDdmOk) {
    return DMA_ERR_FAILED;
  }
  morva::fax::FaxBook_SetCount(ctx->faxBook, static_cast<WORD>(v));
  return DMA_OK;
}
