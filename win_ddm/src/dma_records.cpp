// The per-user record UserSettingInfo (version 4, 2096 bytes) with the
// conversion of versions 1-3, and the DFAX001 → DFAX002 conversion of the
// fax address book.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "ddm/dma.h"
#include "fax/fax_blob.h"
#include "pi/scramble.h"
#include "win/codepage.h"
#include "win/endian.h"

namespace morva::ddm {
namespace {

using morva::load_le16;
using morva::store_le16;

constexpr DWORD kNameOffset = 8;
constexpr DWORD kNameChars = 32;
constexpr DWORD kMarkerOffset = 72;     // WORD 7
constexpr WORD kMarkerValue = 7;
constexpr DWORD kAccountWordOffset = 1312;  // DDMID 5178
constexpr WORD kAccountModeId = 5163;

// Field lists of the record: header (read only when building the record),
// then lists A, B and C.
constexpr DmaFieldDescriptor kHeaderFields[] = {
    {8203, 3, 2, 2}, {8204, 3, 4, 2}, {5137, 3, 6, 2}, {0, 0, 0, 0}};
constexpr DmaFieldDescriptor kListA[] = {
    {5129, 6, 76, 50}, {5130, 6, 126, 10}, {5146, 3, 136, 2}, {5147, 6, 138, 258}, {5159, 6, 396, 34},
    {0, 0, 0, 0}};
constexpr DmaFieldDescriptor kListB[] = {
    {5150, 6, 432, 66},   {5148, 6, 498, 258}, {5161, 6, 756, 346}, {5167, 6, 1102, 66},
    {5214, 6, 1168, 130}, {5165, 8, 1298, 1},  {5169, 1, 1300, 4},  {5171, 1, 1304, 4},
    {5173, 1, 1308, 4},   {5178, 3, 1312, 2},  {5180, 6, 1314, 50}, {5182, 6, 1364, 34},
    {0, 0, 0, 0}};
constexpr DmaFieldDescriptor kListC[] = {
    {5174, 6, 1402, 66}, {5175, 6, 1468, 346}, {5176, 6, 1814, 66}, {5215, 6, 1880, 130},
    {5184, 6, 2010, 50}, {5185, 6, 2060, 34},  {5183, 8, 2094, 1},   {0, 0, 0, 0}};
constexpr const DmaFieldDescriptor* kSettingLists[] = {kListA, kListB, kListC};

// Where each version-4 span comes from in versions 1, 2 and 3 (-1: absent).
struct Span {
  WORD to;
  WORD length;
  SHORT from[3];  // versions 1, 2, 3
};
constexpr Span kSpans[] = {
    {76, 50, {396, 74, 74}},      {126, 10, {446, 124, 124}},   {136, 2, {456, 134, 134}},
    {138, 258, {458, 136, 136}},  {396, 34, {-1, 394, 394}},    {432, 66, {72, 430, 432}},
    {498, 258, {138, 496, 498}},  {756, 346, {-1, 754, 756}},   {1102, 196, {-1, -1, 1102}},
    {1298, 1, {-1, -1, 1298}},    {1300, 12, {-1, -1, 1300}},   {1312, 2, {-1, -1, 1312}},
    {1314, 50, {-1, -1, 1922}},   {1364, 34, {-1, -1, 1972}},   {1402, 66, {-1, -1, 1314}},
    {1468, 346, {-1, -1, 1380}},  {1814, 66, {-1, -1, 1726}},   {1880, 130, {-1, -1, 1792}},
    {2010, 50, {-1, -1, 2008}},   {2060, 34, {-1, -1, 2058}},   {2094, 1, {-1, -1, 2006}},
};

// Bytes a record of each version must hold for the conversion to read it.
DWORD needed_size(WORD version) {
  if (version == 4) return kUserSettingInfoSize;
  if (version < 1 || version > 3) return 0;
  DWORD n = 0;
  for (const Span& s : kSpans) {
    if (s.from[version - 1] >= 0) n = std::max<DWORD>(n, static_cast<DWORD>(s.from[version - 1]) + s.length);
  }
  return n;
}

}  // namespace

const DmaFieldDescriptor* dma_UserSettingInfoFields(DWORD list) {
  constexpr const DmaFieldDescriptor* kLists[] = {kHeaderFields, kListA, kListB, kListC};
  return list < std::size(kLists) ? kLists[list] : nullptr;
}

int dma_ConvertUserSettingInfo(const BYTE* source, DWORD sourceSize, BYTE* destination, BOOL accountFlag) {
  if (source == nullptr || destination == nullptr || sourceSize < 2) return 0;
  const WORD version = load_le16(source);
  const DWORD needed = needed_size(version);
  if (needed == 0 || sourceSize < needed) return 0;
  if (version == 4) {
    std::memcpy(destination, source, kUserSettingInfoSize);
  } else {
    for (const Span& s : kSpans) {
      const SHORT from = s.from[version - 1];
      if (from >= 0) std::memcpy(destination + s.to, source + from, s.length);
    }
  }
  if (version < 3 && accountFlag) store_le16(destination + kAccountWordOffset, kMarkerValue);
  return 1;
}

int dma_ConvertFaxAddressBook(BYTE** destination, const BYTE** source, DWORD destinationCapacity,
                              DWORD sourceSize) {
  if (destination == nullptr || source == nullptr || *destination == nullptr || *source == nullptr) return 0;
  const BYTE* src = *source;
  BYTE* dst = *destination;
  if (sourceSize < fax::kFaxBookHeaderSize) return 0;
  const DWORD count = fax::FaxBook_GetCount(src);
  if (destinationCapacity < count * fax::kFaxEntrySize + fax::kFaxBookHeaderSize) return 0;
  if (!fax::FaxBook_HasTag(src, fax::kTagDfax001)) return 0;
  if (sourceSize != count * fax::kFaxOldEntrySize + fax::kFaxBookHeaderSize) return 0;
  // Encode every key first so that a refusal writes nothing.
  std::vector<std::u16string> keys(count);
  for (DWORD i = 0; i < count; ++i) {
    const BYTE* entry = src + fax::kFaxBookHeaderSize + i * fax::kFaxOldEntrySize;
    char text[fax::kFaxEntryKeyTextChars] = {};
    int written = 0;
    if (pi::Base64Encode(entry + fax::kFaxEntryKeyOffset, fax::kFaxEntryKeyBytes, text, &written,
                         sizeof text - 1) != pi::kCodecOk) {
      return 0;
    }
    const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (n <= 0 || n > static_cast<int>(fax::kFaxEntryKeyTextChars)) return 0;
    keys[i].resize(static_cast<std::size_t>(n));
    MultiByteToWideChar(CP_UTF8, 0, text, -1, keys[i].data(), n);
  }
  std::memcpy(dst, src, fax::kFaxBookHeaderSize);
  fax::FaxBook_WriteTag(dst, fax::kTagDfax002);
  for (DWORD i = 0; i < count; ++i) {
    BYTE* out = dst + fax::kFaxBookHeaderSize + i * fax::kFaxEntrySize;
    std::memcpy(out, src + fax::kFaxBookHeaderSize + i * fax::kFaxOldEntrySize, fax::kFaxOldEntrySize);
    std::memset(out + fax::kFaxOldEntrySize, 0, fax::kFaxEntrySize - fax::kFaxOldEntrySize);
    for (std::size_t c = 0; c < keys[i].size(); ++c) {
      store_le16(out + fax::kFaxEntryKeyTextOffset + 2 * c, keys[i][c]);
    }
  }
  return 1;
}

}  // namespace morva::ddm

using namespace morva::ddm;

LONG DMA_GetUserSettingInfo(DMA_CONTEXT* ctx, BYTE* buffer, DWORD* size) {
  if (ctx == nullptr || size == nullptr) return DMA_ERR_FAILED;
  if (buffer == nullptr) {
    if (*size != 0) return DMA_ERR_FAILED;
    *size = kUserSettingInfoSize;
    return DMA_ERR_BUFFER;
  }
  if (*size < kUserSettingInfoSize) return DMA_ERR_BUFFER;
  std::vector<BYTE> record(kUserSettingInfoSize);
  morva::store_le16(record.data(), 4);
  // The caller's name, at most 31 characters and a NUL.
  const std::size_t nameBytes = strnlen(ctx->name, sizeof ctx->name);
  if (nameBytes > 0) {
    std::u16string name(nameBytes, u'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, ctx->name, static_cast<int>(nameBytes), name.data(),
                                      static_cast<int>(nameBytes));
    for (int i = 0; i < n && i < static_cast<int>(kNameChars) - 1; ++i) {
      morva::store_le16(record.data() + kNameOffset + 2 * i, name[static_cast<std::size_t>(i)]);
    }
  }
  const DmaFieldDescriptor* lists[] = {kHeaderFields, kListA, kListB, kListC};
  for (const DmaFieldDescriptor* list : lists) {
    for (const DmaFieldDescriptor* f = list; f->ddmid != 0; ++f) {
      DdmidLocation loc;
      if (dma_FindDescriptor(f->ddmid, nullptr, ctx->printerData, &loc) != kDdmOk) return DMA_ERR_FAILED;
      BYTE* field = record.data() + f->offset;
      if (f->type == kTypeString) {
        const DWORD chars = dma_WcsNLen(loc.address, f->size / 2 - 1);
        std::memcpy(field, loc.address, 2 * chars);
        continue;
      }
      WORD type;
      DWORD got;
      DWORD slot = 0;
      if (dma_GetValue(f->ddmid, nullptr, ctx->printerData, &type, &got, &slot, nullptr) != kDdmOk) {
        return DMA_ERR_FAILED;
      }
      for (DWORD i = 0; i < f->size; ++i) field[i] = static_cast<BYTE>(slot >> (8 * i));
    }
  }
  morva::store_le16(record.data() + kMarkerOffset, kMarkerValue);
  std::memcpy(buffer, record.data(), kUserSettingInfoSize);
  return DMA_OK;
}

LONG DMA_SetUserSettingInfo(DMA_CONTEXT* ctx, const BYTE* record, DWORD) {
  if (ctx == nullptr || record == nullptr) return DMA_ERR_FAILED;
  std::vector<BYTE> block(kUserSettingInfoSize);
  WORD type;
  DWORD size, account = 0;
  const bool accountMode =
      dma_GetValue(kAccountModeId, nullptr, ctx->printerData, &type, &size, &account, nullptr) == kDdmOk &&
      account == 1;
  // The record's size is what its version holds.
  const DWORD recordSize = needed_size(morva::load_le16(record));
  if (dma_ConvertUserSettingInfo(record, recordSize, block.data(), accountMode) != 1) return DMA_ERR_FAILED;
  for (const DmaFieldDescriptor* list : kSettingLists) {
    for (const DmaFieldDescriptor* f = list; f->ddmid != 0; ++f) {
      const BYTE* field = block.data() + f->offset;
      WORD rc;
      if (f->type == kTypeString) {
        const DWORD chars = dma_WcsNLen(field, f->size / 2);
        std::u16string text(chars, u'\0');
        for (DWORD i = 0; i < chars; ++i) text[i] = static_cast<char16_t>(morva::load_le16(field + 2 * i));
        const char16_t* p = text.c_str();
        rc = dma_SetValue(f->ddmid, nullptr, ctx->printerData, kTypeString, 2 * chars + 2, &p);
      } else {
        DWORD v = 0;
        for (DWORD i = 0; i < f->size; ++i) v |= DWORD{field[i]} << (8 * i);
        rc = dma_SetValue(f->ddmid, nullptr, ctx->printerData, f->type, f->size, &v);
      }
      if (rc != kDdmOk) return DMA_ERR_FAILED;
    }
  }
  return DMA_OK;
}
