// The caller tables of the DMA_ interface: entries found by name or
// position, copied into the settings, filled from the settings and marked
// deleted.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ansi_text.h"
#include "ddm/ddmid.h"
#include "ddm/dma.h"
#include "ddm/dma_tables.h"
#include "fax/fax_blob.h"
#include "win/codepage.h"
#include "win/endian.h"

namespace morva::ddm {
namespace {

// Field lists of the structure types: {DDMID, type, offset, size}.
constexpr DmaFieldDescriptor kStampFields[] = {
    {297, 6, 0, 66}, {299, 6, 66, 130}, {301, 5, 196, 4}, {300, 8, 200, 1}, {1287, 1, 204, 4},
    {302, 8, 208, 1}, {303, 3, 210, 2}, {1288, 1, 212, 4}, {304, 9, 216, 92}, {0, 0, 0, 0}};
constexpr DmaFieldDescriptor kSenderFields[] = {
    {1819, 6, 0, 82}, {1820, 6, 82, 82}, {1821, 6, 164, 418}, {1822, 6, 582, 62}, {1823, 6, 644, 62},
    {0, 0, 0, 0}};
// The margins as the settings order them; the entry holds them turned by
// the orientation (dma_RotateMargins).
constexpr DmaFieldDescriptor kMarginFields[] = {
    {1824, 3, 0, 2}, {1827, 4, 4, 4}, {1828, 4, 8, 4}, {1826, 4, 12, 4}, {1825, 4, 16, 4}, {0, 0, 0, 0}};
constexpr DmaFieldDescriptor kDestinationFields[] = {
    {1794, 3, 0, 2},     {1795, 6, 2, 258},   {1796, 3, 260, 2},   {1797, 6, 262, 82},
    {1798, 6, 344, 166}, {1810, 3, 510, 2},   {1811, 3, 512, 2},   {1812, 3, 514, 2},
    {1813, 6, 516, 18},  {1814, 3, 534, 2},   {1815, 3, 536, 2},   {1816, 6, 538, 120},
    {1817, 6, 658, 42},  {1818, 6, 700, 42},  {1892, 5, 744, 4},   {1893, 1, 748, 4},
    {1897, 6, 752, 16},  {1894, 6, 768, 50},  {0, 0, 0, 0}};
constexpr DmaFieldDescriptor kSenderDetailFields[] = {
    {1819, 6, 0, 82},    {1820, 6, 82, 82},   {1821, 6, 164, 418}, {1822, 6, 582, 62},
    {1823, 6, 644, 62},  {1876, 6, 706, 258}, {1896, 1, 964, 4},   {0, 0, 0, 0}};

// Every row lies inside its structure.
constexpr bool rows_fit(const DmaFieldDescriptor* f, std::size_t structSize) {
  for (; f->ddmid != 0; ++f) {
    if (f->offset < 0 || static_cast<std::size_t>(f->offset) + f->size > structSize) return false;
  }
  return true;
}
static_assert(rows_fit(kStampFields, sizeof(DmaStampRecord)));
static_assert(rows_fit(kSenderFields, sizeof(DmaSenderRecord)));
static_assert(rows_fit(kMarginFields, sizeof(DmaPaperMarginEntry)));
static_assert(rows_fit(kDestinationFields, sizeof(fax::FaxDestination)));
static_assert(rows_fit(kSenderDetailFields, sizeof(DmaSenderDetails)));
static_assert(kStampFields[8].offset == offsetof(DmaStampRecord, font));
static_assert(kDestinationFields[16].offset == offsetof(fax::FaxDestination, OldSourceId));
static_assert(kDestinationFields[17].offset == offsetof(fax::FaxDestination, SourceId));
static_assert(kSenderDetailFields[6].offset == offsetof(DmaSenderDetails, value1896));

// The 16-byte identifier of a destination is binary, not text: it is
// copied as it stands in both directions.
constexpr WORD kBinaryKeyId = 1897;
constexpr WORD kOrientationId = 7;

// One structure type: its size, its table in the context, the name field
// (none for type 5) and the code of "not found".
struct StructInfo {
  DWORD type;
  DWORD size;
  DmaCallerTable DMA_CONTEXT::*table;
  const DmaFieldDescriptor* fields;
  bool byPosition;
  LONG notFound;
};
constexpr StructInfo kStructs[] = {
    {DMA_STRUCT_STAMP, 308, &DMA_CONTEXT::stamps, kStampFields, false, DMA_ERR_NO_NAME},
    {DMA_STRUCT_SENDER, 706, &DMA_CONTEXT::senders, kSenderFields, false, DMA_ERR_NO_NAME},
    {DMA_STRUCT_PAPER_MARGIN, 20, &DMA_CONTEXT::paperMargins, kMarginFields, false, DMA_ERR_NO_NUMBER},
    {DMA_STRUCT_FAX_DESTINATION, 820, &DMA_CONTEXT::faxDestinations, kDestinationFields, true,
     DMA_ERR_NO_POSITION},
    {DMA_STRUCT_FAX_BOOK_HEADER, fax::kFaxBookHeaderSize, nullptr, nullptr, false, DMA_ERR_UNKNOWN_STRUCT},
    {DMA_STRUCT_SENDER_DETAILS, 968, &DMA_CONTEXT::senderDetails, kSenderDetailFields, false, DMA_ERR_NO_NAME},
};
static_assert(kStructs[0].size == sizeof(DmaStampRecord) && kStructs[1].size == sizeof(DmaSenderRecord) &&
              kStructs[2].size == sizeof(DmaPaperMarginEntry) && kStructs[3].size == sizeof(fax::FaxDestination) &&
              kStructs[5].size == sizeof(DmaSenderDetails));

const StructInfo* struct_info(DWORD type) {
  for (const StructInfo& s : kStructs) {
    if (s.type == type) return &s;
  }
  return nullptr;
}

// Flag masks of the searches: 0xFD skips free and deleted entries, 0xFF
// only free ones.
constexpr BYTE kMaskLive = 0xFD;
constexpr BYTE kMaskUsed = 0xFF;

// A caller's table checked before use. Entries are `stride` bytes apart:
// the table's entry size, or the structure's size when the caller left it
// 0; an entry size below the structure's size is refused, since the fields
// would run into the next entry or past the table.
struct Table {
  DWORD count = 0;
  std::size_t stride = 0;
  BYTE* flags = nullptr;
  BYTE* entries = nullptr;
  BYTE* entry(DWORD i) const { return entries + stride * i; }
};

LONG open_table(DMA_CONTEXT* ctx, const StructInfo& info, Table* out) {
  const DmaCallerTable& t = ctx->*(info.table);
  if (t.count == 0) return DMA_OK;
  if (t.flags == nullptr || t.entries == nullptr) return DMA_ERR_FAILED;
  if (t.entrySize != 0 && t.entrySize < info.size) return DMA_ERR_FAILED;
  out->count = t.count;
  out->stride = t.entrySize != 0 ? t.entrySize : info.size;
  out->flags = t.flags;
  out->entries = t.entries;
  return DMA_OK;
}

bool from_ansi(const char* text, std::u16string* out) {
  out->clear();
  const std::size_t bytes = std::strlen(text);
  if (bytes == 0) return true;
  const int n = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(bytes), nullptr, 0);
  if (n <= 0) return false;
  out->resize(static_cast<std::size_t>(n));
  return MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(bytes), out->data(), n) == n;
}

// The UTF-16 text of a field of `bytes`, up to its NUL.
std::u16string field_text(const BYTE* field, DWORD bytes) {
  const DWORD n = dma_WcsNLen(field, bytes / 2);
  std::u16string s(n, u'\0');
  for (DWORD i = 0; i < n; ++i) s[i] = static_cast<char16_t>(load_le16(field + 2 * i));
  return s;
}

// The entry's name as ANSI text (dma_GetStructFieldText): the UTF-16 name
// field, or the paper number of a margin entry.
bool entry_name(const StructInfo& info, const BYTE* entry, std::string* out) {
  if (info.type == DMA_STRUCT_PAPER_MARGIN) {
    char text[8];
    std::snprintf(text, sizeof text, "%u", unsigned{load_le16(entry)});
    *out = text;
    return true;
  }
  return to_ansi(field_text(entry, info.fields[0].size), out);
}

// dma_FindEntryByName: the first entry, in table order, whose name equals
// `name` and whose flag shares a bit with the mask.
bool find_by_name(const StructInfo& info, const Table& t, const char* name, BYTE mask, DWORD* index) {
  std::string text;
  for (DWORD i = 0; i < t.count; ++i) {
    if ((t.flags[i] & mask) == 0) continue;
    if (entry_name(info, t.entry(i), &text) && text == name) {
      *index = i;
      return true;
    }
  }
  return false;
}

// dma_FindTableEntry: a 1-based position inside the table whose flag
// shares a bit with the mask.
bool find_by_position(const Table& t, DWORD position, BYTE mask, DWORD* index) {
  if (position < 1 || position > t.count || (t.flags[position - 1] & mask) == 0) return false;
  *index = position - 1;
  return true;
}

DWORD position_of(const char* name) {
  return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(name));
}

// Looks an entry up by name (types 2, 3, 4, 7) or position (type 5).
LONG find_entry(const StructInfo& info, const Table& t, const char* name, BYTE mask, DWORD* index) {
  if (info.byPosition) return find_by_position(t, position_of(name), mask, index) ? DMA_OK : info.notFound;
  if (name == nullptr) return DMA_ERR_FAILED;
  return find_by_name(info, t, name, mask, index) ? DMA_OK : info.notFound;
}

DWORD load_field(const BYTE* p, DWORD size) {
  DWORD v = 0;
  for (DWORD i = 0; i < size && i < 4; ++i) v |= DWORD{p[i]} << (8 * i);
  return v;
}

// Margins of a margin entry image at offsets 4..16 turned in place.
bool rotate_entry(BYTE* image, SHORT orientation) {
  LONG in[4], out[4];
  for (int i = 0; i < 4; ++i) in[i] = static_cast<LONG>(load_le32(image + 4 + 4 * i));
  if (!dma_RotateMargins(orientation, in, out)) return false;
  for (int i = 0; i < 4; ++i) store_le32(image + 4 + 4 * i, static_cast<DWORD>(out[i]));
  return true;
}

bool read_orientation(DMA_CONTEXT* ctx, SHORT* orientation) {
  WORD type;
  DWORD size, value = 0;
  if (dma_GetValue(kOrientationId, ctx->devmode, ctx->printerData, &type, &size, &value, nullptr) != kDdmOk) {
    return false;
  }
  *orientation = static_cast<SHORT>(value);
  return true;
}

// dma_ApplyFieldList: every field of the image into the settings. Strings
// go by their length with the NUL, the LOGFONT as a whole block, scalars
// with the list's type and size.
LONG apply_fields(DMA_CONTEXT* ctx, const DmaFieldDescriptor* fields, const BYTE* image) {
  for (const DmaFieldDescriptor* f = fields; f->ddmid != 0; ++f) {
    const BYTE* field = image + f->offset;
    WORD rc;
    if (f->ddmid == kBinaryKeyId) {
      DdmidLocation loc;
      rc = dma_FindDescriptor(f->ddmid, ctx->devmode, ctx->printerData, &loc);
      if (rc == kDdmOk) std::memcpy(loc.address, field, f->size < loc.maxSize ? f->size : loc.maxSize);
    } else if (f->type == kTypeString) {
      const std::u16string text = field_text(field, f->size);
      const char16_t* p = text.c_str();
      rc = dma_SetValue(f->ddmid, ctx->devmode, ctx->printerData, kTypeString,
                        static_cast<DWORD>(2 * text.size() + 2), &p);
    } else if (f->type == kTypeLogFont) {
      const BYTE* p = field;
      rc = dma_SetValue(f->ddmid, ctx->devmode, ctx->printerData, kTypeLogFont, 4, &p);
    } else {
      const DWORD v = load_field(field, f->size);
      rc = dma_SetValue(f->ddmid, ctx->devmode, ctx->printerData, f->type, f->size, &v);
    }
    if (rc != kDdmOk) return DMA_ERR_FAILED;
  }
  return DMA_OK;
}

// dma_ReadFieldList: every field of the list from the settings into the
// image. Strings and the LOGFONT are copied from their store, never more
// than the setting holds (the rest of a wider field is zeroed); scalars are
// stored with the field's width.
LONG read_fields(DMA_CONTEXT* ctx, const DmaFieldDescriptor* fields, BYTE* image) {
  for (const DmaFieldDescriptor* f = fields; f->ddmid != 0; ++f) {
    BYTE* field = image + f->offset;
    if (f->type == kTypeString || f->type == kTypeLogFont) {
      DdmidLocation loc;
      if (dma_FindDescriptor(f->ddmid, ctx->devmode, ctx->printerData, &loc) != kDdmOk) return DMA_ERR_FAILED;
      const DWORD n = f->size < loc.maxSize ? f->size : loc.maxSize;
      std::memcpy(field, loc.address, n);
      std::memset(field + n, 0, f->size - n);
      continue;
    }
    WORD type;
    DWORD size, slot = 0;
    if (dma_GetValue(f->ddmid, ctx->devmode, ctx->printerData, &type, &size, &slot, nullptr) != kDdmOk) {
      return DMA_ERR_FAILED;
    }
    for (DWORD i = 0; i < f->size; ++i) field[i] = i < 4 ? static_cast<BYTE>(slot >> (8 * i)) : 0;
  }
  return DMA_OK;
}

// The paper number of a margin entry's name: 1 to 65535, at most five
// digits and nothing else.
bool parse_paper_number(const char* name, WORD* number) {
  const std::size_t n = std::strlen(name);
  if (n == 0 || n > 5) return false;
  DWORD v = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
    v = v * 10 + static_cast<DWORD>(name[i] - '0');
  }
  if (v == 0 || v > 0xFFFF) return false;
  *number = static_cast<WORD>(v);
  return true;
}

// Step 4 of DMA_ApplyData: the given name into the entry's name field.
LONG store_name(const StructInfo& info, BYTE* entry, const char* name) {
  if (info.type == DMA_STRUCT_PAPER_MARGIN) {
    WORD number;
    if (!parse_paper_number(name, &number)) return DMA_ERR_FAILED;
    store_le16(entry, number);
    return DMA_OK;
  }
  std::u16string wide;
  const DWORD fieldBytes = info.fields[0].size;
  if (!from_ansi(name, &wide) || 2 * wide.size() + 2 > fieldBytes) return DMA_ERR_FAILED;
  std::memset(entry, 0, fieldBytes);
  for (std::size_t i = 0; i < wide.size(); ++i) store_le16(entry + 2 * i, wide[i]);
  return DMA_OK;
}

}  // namespace

const DmaFieldDescriptor* dma_StructFields(DWORD structType) {
  const StructInfo* info = struct_info(structType);
  return info != nullptr ? info->fields : nullptr;
}

bool dma_RotateMargins(SHORT orientation, const LONG in[4], LONG out[4]) {
  // out[i] = in[kTurn[orientation - 1][i]]; each exchange is its own inverse.
  static constexpr int kTurn[2][4] = {{0, 1, 3, 2}, {2, 3, 0, 1}};
  if (orientation != 1 && orientation != 2) return false;
  LONG turned[4];
  for (int i = 0; i < 4; ++i) turned[i] = in[kTurn[orientation - 1][i]];
  for (int i = 0; i < 4; ++i) out[i] = turned[i];
  return true;
}

}  // namespace morva::ddm

using namespace morva::ddm;

DWORD DMA_QueryStructSize(DWORD type) {
  const StructInfo* info = struct_info(type);
  return info != nullptr ? info->size : 0;
}

LONG DMA_GetNameFromInfo(const BYTE* entry, DWORD type, DWORD* size, char* out) {
  if (entry == nullptr || size == nullptr) return DMA_ERR_FAILED;
  const StructInfo* info = struct_info(type);
  if (info == nullptr || info->table == nullptr || info->byPosition) return DMA_ERR_UNKNOWN_STRUCT;
  std::string name;
  if (!entry_name(*info, entry, &name)) return DMA_ERR_FAILED;
  if (out != nullptr && *size >= name.size() + 1) {
    std::memcpy(out, name.c_str(), name.size() + 1);
    return DMA_OK;
  }
  *size = static_cast<DWORD>(name.size()) + 1;
  return DMA_ERR_BUFFER;
}

LONG DMA_AccessibleData(DMA_CONTEXT* ctx, DWORD type, const char* name) {
  if (ctx == nullptr) return DMA_ERR_FAILED;
  const StructInfo* info = struct_info(type);
  if (info == nullptr || info->table == nullptr) return DMA_ERR_UNKNOWN_STRUCT;
  Table table;
  if (const LONG rc = open_table(ctx, *info, &table); rc != DMA_OK) return rc;
  DWORD index = 0;
  if (const LONG rc = find_entry(*info, table, name, kMaskLive, &index); rc != DMA_OK) return rc;
  std::vector<BYTE> image(table.entry(index), table.entry(index) + info->size);
  if (type == DMA_STRUCT_PAPER_MARGIN) {
    SHORT orientation;
    if (!read_orientation(ctx, &orientation) || !rotate_entry(image.data(), orientation)) return DMA_ERR_FAILED;
  }
  return apply_fields(ctx, info->fields, image.data());
}

LONG DMA_DeleteData(DMA_CONTEXT* ctx, DWORD type, const char* name) {
  if (ctx == nullptr) return DMA_ERR_FAILED;
  const StructInfo* info = struct_info(type);
  if (info == nullptr || info->table == nullptr || info->byPosition) return DMA_ERR_UNKNOWN_STRUCT;
  Table table;
  if (const LONG rc = open_table(ctx, *info, &table); rc != DMA_OK) return rc;
  DWORD index = 0;
  if (const LONG rc = find_entry(*info, table, name, kMaskUsed, &index); rc != DMA_OK) return rc;
  table.flags[index] = DMA_ENTRY_DELETED;
  return DMA_OK;
}

LONG DMA_ApplyData(DMA_CONTEXT* ctx, DWORD type, DWORD mode, const char* name) {
  if (ctx == nullptr) return DMA_ERR_FAILED;
  const StructInfo* info = struct_info(type);
  if (info == nullptr || info->table == nullptr) return DMA_ERR_UNKNOWN_STRUCT;
  // Every named type needs its name for step 4; refuse before anything is
  // written rather than fill the entry and fail.
  if (!info->byPosition && name == nullptr) return DMA_ERR_FAILED;
  Table table;
  if (const LONG rc = open_table(ctx, *info, &table); rc != DMA_OK) return rc;
  DWORD index = 0;
  if (mode == DMA_APPLY_BY_NAME) {
    if (const LONG rc = find_entry(*info, table, name, kMaskUsed, &index); rc != DMA_OK) return rc;
  } else if (mode == DMA_APPLY_LAST_ENTRY) {
    if (table.count == 0) return info->notFound;
    index = table.count - 1;
  } else {
    return DMA_ERR_UNKNOWN_MODE;
  }
  // Read into a copy, so that a failure leaves the entry as it was.
  BYTE* entry = table.entry(index);
  std::vector<BYTE> image(entry, entry + info->size);
  if (const LONG rc = read_fields(ctx, info->fields, image.data()); rc != DMA_OK) return rc;
  if (type == DMA_STRUCT_PAPER_MARGIN) {
    SHORT orientation;
    if (!read_orientation(ctx, &orientation) || !rotate_entry(image.data(), orientation)) return DMA_ERR_FAILED;
  }
  std::memcpy(entry, image.data(), info->size);
  table.flags[index] = DMA_ENTRY_IN_USE;
  if (!info->byPosition) {
    if (const LONG rc = store_name(*info, entry, name); rc != DMA_OK) return rc;
  }
  if (type == DMA_STRUCT_FAX_DESTINATION && ctx->faxBook != nullptr) {
    morva::fax::FaxBook_WriteTag(ctx->faxBook, morva::fax::kTagDfax002);
  }
  return DMA_OK;
}
