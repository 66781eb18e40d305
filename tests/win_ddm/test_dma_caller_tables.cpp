// The caller tables of the DMA_ interface: entries found by name and by
// position, copied into the settings, stored from them and deleted.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "dma_context_fixture.h"
#include "ddm/dma.h"
#include "ddm/dma_tables.h"
#include "fax/fax_blob.h"
#include "temp_root.h"
#include "win/endian.h"

using namespace morva::ddm;

namespace {

const char* position(std::uintptr_t p) { return reinterpret_cast<const char*>(p); }

void put_text(BYTE* field, const std::u16string& s) {
  for (std::size_t i = 0; i < s.size(); ++i) morva::store_le16(field + 2 * i, s[i]);
  morva::store_le16(field + 2 * s.size(), 0);
}

std::u16string get_text(const BYTE* field, DWORD bytes) {
  std::u16string s;
  for (DWORD i = 0; i + 1 < bytes; i += 2) {
    const char16_t c = static_cast<char16_t>(morva::load_le16(field + i));
    if (c == 0) break;
    s += c;
  }
  return s;
}

// A table of `count` entries of one structure type, all free.
struct CallerTable {
  CallerTable(DWORD type, DWORD count, DWORD stride = 0)
      : size(DMA_QueryStructSize(type)),
        stride(stride != 0 ? stride : size),
        flags(count, DMA_ENTRY_FREE),
        entries(std::size_t{count} * this->stride) {}
  void attach(DmaCallerTable* t, DWORD entrySize) {
    t->count = static_cast<DWORD>(flags.size());
    t->entrySize = entrySize;
    t->flags = flags.data();
    t->entries = entries.data();
  }
  BYTE* entry(std::size_t i) { return entries.data() + stride * i; }
  DWORD size, stride;
  std::vector<BYTE> flags;
  std::vector<BYTE> entries;
};

class CallerTables : public morva::test::DmaContextTest {
 protected:
  void SetUp() override {
    DmaContextTest::SetUp();
    set_orientation(1);
  }
  void set_orientation(SHORT o) { morva::store_le16(dm.data() + 76, static_cast<WORD>(o)); }
  DWORD value(WORD ddmid) {
    WORD type;
    DWORD size, v = 0;
    EXPECT_EQ(dma_GetValue(ddmid, dm.data(), pd.data(), &type, &size, &v, nullptr), kDdmOk) << ddmid;
    return v;
  }
  const BYTE* store(WORD ddmid) {
    DdmidLocation loc;
    EXPECT_EQ(dma_FindDescriptor(ddmid, dm.data(), pd.data(), &loc), kDdmOk) << ddmid;
    return loc.address;
  }
  // Fills every field of an entry with a value its setting accepts: short
  // texts, flags 1, other scalars a value of their own, the LOGFONT and the
  // binary key with a byte pattern.
  void fill_entry(DWORD type, BYTE* entry, const std::u16string& name) {
    for (const DmaFieldDescriptor* f = dma_StructFields(type); f->ddmid != 0; ++f) {
      BYTE* field = entry + f->offset;
      if (f->ddmid == 1897 || f->type == kTypeLogFont) {
        for (DWORD i = 0; i < f->size; ++i) field[i] = static_cast<BYTE>(0x41 + i);
      } else if (f->type == kTypeString) {
        put_text(field, f->offset == 0 ? name : u"T" + std::u16string(1, static_cast<char16_t>(u'a' + f->ddmid % 26)));
      } else {
        const DWORD v = f->type == kTypeLong ? 1 : 1 + f->ddmid % 200;
        for (DWORD i = 0; i < f->size; ++i) field[i] = static_cast<BYTE>(v >> (8 * i));
      }
    }
  }
};

TEST_F(CallerTables, StructureSizes) {
  const std::pair<DWORD, DWORD> cases[] = {{0, 0}, {1, 0}, {2, 308}, {3, 706}, {4, 20},
                                           {5, 820}, {6, 1442}, {7, 968}, {8, 0}, {0xFFFFFFFF, 0}};
  for (auto [type, size] : cases) EXPECT_EQ(DMA_QueryStructSize(type), size) << type;
}

// An entry copied into the settings and stored back into another entry
// comes back field for field, for every table kind that names its fields.
TEST_F(CallerTables, ApplyAndStoreRoundTrip) {
  struct Case {
    DWORD type;
    DmaCallerTable DMA_CONTEXT::*table;
  };
  const Case cases[] = {{DMA_STRUCT_STAMP, &DMA_CONTEXT::stamps},
                        {DMA_STRUCT_SENDER, &DMA_CONTEXT::senders},
                        {DMA_STRUCT_FAX_DESTINATION, &DMA_CONTEXT::faxDestinations},
                        {DMA_STRUCT_SENDER_DETAILS, &DMA_CONTEXT::senderDetails}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    CallerTable t(c.type, 2);
    t.attach(&(ctx.get()->*c.table), t.size);
    fill_entry(c.type, t.entry(0), u"Alpha");
    t.flags[0] = DMA_ENTRY_IN_USE;
    const char* key = c.type == DMA_STRUCT_FAX_DESTINATION ? position(1) : "Alpha";
    ASSERT_EQ(DMA_AccessibleData(ctx.get(), c.type, key), DMA_OK);
    ASSERT_EQ(DMA_ApplyData(ctx.get(), c.type, DMA_APPLY_LAST_ENTRY, "Alpha"), DMA_OK);
    EXPECT_EQ(t.flags[1], DMA_ENTRY_IN_USE);
    for (const DmaFieldDescriptor* f = dma_StructFields(c.type); f->ddmid != 0; ++f) {
      EXPECT_EQ(0, std::memcmp(t.entry(0) + f->offset, t.entry(1) + f->offset, f->size)) << f->ddmid;
    }
  }
  // The settings hold what the last entry said: the stamp name, the
  // destination's binary key byte for byte (it holds no NUL).
  EXPECT_EQ(get_text(store(297), 66), u"Alpha");
  const BYTE* key = store(1897);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(key[i], 0x41 + i);
  // Storing a destination marks the fax book as the current layout.
  EXPECT_TRUE(morva::fax::FaxBook_HasTag(book.data(), morva::fax::kTagDfax002));
}

TEST_F(CallerTables, StampsFoundByNameSkippingFreeAndDeleted) {
  CallerTable t(DMA_STRUCT_STAMP, 4);
  t.attach(&ctx->stamps, 0);
  const std::u16string names[] = {u"Draft", u"Draft", u"Copy", u"Final"};
  const BYTE flags[] = {DMA_ENTRY_DELETED, DMA_ENTRY_IN_USE, DMA_ENTRY_IN_USE, DMA_ENTRY_FREE};
  for (int i = 0; i < 4; ++i) {
    fill_entry(DMA_STRUCT_STAMP, t.entry(i), names[i]);
    morva::store_le32(t.entry(i) + 196, 100 + i);  // colour, DDMID 301
    t.flags[i] = flags[i];
  }
  // The deleted "Draft" is passed over for the one in use.
  ASSERT_EQ(DMA_AccessibleData(ctx.get(), DMA_STRUCT_STAMP, "Draft"), DMA_OK);
  EXPECT_EQ(value(301), 101u);
  EXPECT_EQ(DMA_AccessibleData(ctx.get(), DMA_STRUCT_STAMP, "Final"), DMA_ERR_NO_NAME);
  EXPECT_EQ(DMA_AccessibleData(ctx.get(), DMA_STRUCT_STAMP, "draft"), DMA_ERR_NO_NAME);
  EXPECT_EQ(DMA_AccessibleData(ctx.get(), DMA_STRUCT_STAMP, nullptr), DMA_ERR_FAILED);

  // Deleting finds the first used entry of the name, deleted or not.
  ASSERT_EQ(DMA_DeleteData(ctx.get(), DMA_STRUCT_STAMP, "Copy"), DMA_OK);
  EXPECT_EQ(t.flags[2], DMA_ENTRY_DELETED);
  EXPECT_EQ(DMA_AccessibleData(ctx.get(), DMA_STRUCT_STAMP, "Copy"), DMA_ERR_NO_NAME);
  EXPECT_EQ(DMA_DeleteData(ctx.get(), DMA_STRUCT_STAMP, "Final"), DMA_ERR_NO_NAME);

  // Storing by name finds the deleted entry again and puts it back in use.
  ASSERT_EQ(DMA_ApplyData(ctx.get(), DMA_STRUCT_STAMP, DMA_APPLY_BY_NAME, "Copy"), DMA_OK);
  EXPECT_EQ(t.flags[2], DMA_ENTRY_IN_USE);
  EXPECT_EQ(morva::load_le32(t.entry(2) + 196), 101u);
  EXPECT_EQ(DMA_AccessibleData(ctx.get(), DMA_STRUCT_STAMP, "Copy"), DMA_OK);
  EXPECT_EQ(DMA_ApplyData(ctx.get(), DMA_STRUCT_STAMP, DMA_APPLY_BY_NAME, "Final"), DMA_ERR_NO_NAME);

  // A name too long for the 33-character field fails after the entry was
  // filled and flagged.
  t.flags[3] = DMA_ENTRY_FREE;
  EXPECT_EQ(DMA_ApplyData(ctx.get(), DMA_STRUCT_STAMP, DMA_APPLY_LAST_ENTRY, std::string(33, 'x').c_str()),
            DMA_ERR_FAILED);
  EXPECT_EQ(t.flags[3], DMA_ENTRY_IN_USE);
  EXPECT_EQ(get_text(t.entry(3), 66), u"Copy");  // the settings' stamp name
}

TEST_F(CallerTables, EntriesSpacedByTheTablesEntrySize) {
  CallerTable wide(DMA_STRUCT_SENDER, 3, 720);
  wide.attach(&ctx->senders, 720);
  const std::u16string names[] = {u"A", u"B", u"C"};
  for (int i = 0; i < 3; ++i) {
    fill_entry(DMA_STRUCT_SENDER, wide.entry(i), names[i]);
    wide.flags[i] = DMA_ENTRY_IN_USE;
  }
  ASSERT_EQ(DMA_AccessibleData(ctx.get(), DMA_STRUCT_SENDER, "C"), DMA_OK);
  EXPECT_EQ(get_text(store(1819), 82), u"C");
  // An entry size below the structure's would run the fields into the next
  // entry: refused.
  ctx->senders.entrySize = 700;
  EXPECT_EQ(DMA_AccessibleData(ctx.get(), DMA_STRUCT_SENDER, "A"), DMA_ERR_FAILED);
  // A table without its arrays.
  ctx->senders.entrySize = 720;
  ctx->senders.flags = nullptr;
  EXPECT_EQ(DMA_DeleteData(ctx.get(), DMA_STRUCT_SENDER, "A"), DMA_ERR_FAILED);
  // An empty table finds nothing, and mode 1 has no last entry.
  ctx->senders = DmaCallerTable{};
  EXPECT_EQ(DMA_AccessibleData(ctx.get(), DMA_STRUCT_SENDER, "A"), DMA_ERR_NO_NAME);
  EXPECT_EQ(DMA_ApplyData(ctx.get(), DMA_STRUCT_SENDER, DMA_APPLY_LAST_ENTRY, "A"), DMA_ERR_NO_NAME);
}

TEST_F(CallerTables, MarginsTurnWithTheOrientation) {
  CallerTable t(DMA_STRUCT_PAPER_MARGIN, 2);
  t.attach(&ctx->paperMargins, 20);
  morva::store_le16(t.entry(0), 9);
  for (int i = 0; i < 4; ++i) morva::store_le32(t.entry(0) + 4 + 4 * i, 10 * (i + 1));
  t.flags[0] = DMA_ENTRY_IN_USE;
  struct Case {
    SHORT orientation;
    DWORD m1827, m1828, m1826, m1825;
  };
  const Case cases[] = {{1, 10, 20, 40, 30}, {2, 30, 40, 10, 20}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.orientation);
    set_orientation(c.orientation);
    ASSERT_EQ(DMA_AccessibleData(ctx.get(), DMA_STRUCT_PAPER_MARGIN, "9"), DMA_OK);
    EXPECT_EQ(value(1827), c.m1827);
    EXPECT_EQ(value(1828), c.m1828);
    EXPECT_EQ(value(1826), c.m1826);
    EXPECT_EQ(value(1825), c.m1825);
    EXPECT_EQ(value(1824), 9u);
    // Stored back in the same orientation, the entry is what it was.
    std::memset(t.entry(1), 0, 20);
    ASSERT_EQ(DMA_ApplyData(ctx.get(), DMA_STRUCT_PAPER_MARGIN, DMA_APPLY_LAST_ENTRY, "65535"), DMA_OK);
    EXPECT_EQ(morva::load_le16(t.entry(1)), 65535);
    EXPECT_EQ(0, std::memcmp(t.entry(0) + 4, t.entry(1) + 4, 16));
  }
  set_orientation(3);
  EXPECT_EQ(DMA_AccessibleData(ctx.get(), DMA_STRUCT_PAPER_MARGIN, "9"), DMA_ERR_FAILED);
  EXPECT_EQ(DMA_ApplyData(ctx.get(), DMA_STRUCT_PAPER_MARGIN, DMA_APPLY_BY_NAME, "9"), DMA_ERR_FAILED);
  EXPECT_EQ(morva::load_le32(t.entry(0) + 4), 10u);  // untouched
  set_orientation(1);
  ASSERT_EQ(DMA_AccessibleData(ctx.get(), DMA_STRUCT_PAPER_MARGIN, "9"), DMA_OK);
  EXPECT_EQ(DMA_AccessibleData(ctx.get(), DMA_STRUCT_PAPER_MARGIN, "09"), DMA_ERR_NO_NUMBER);
  EXPECT_EQ(DMA_DeleteData(ctx.get(), DMA_STRUCT_PAPER_MARGIN, "10"), DMA_ERR_NO_NUMBER);

  // A name that is no paper number fails after the margins were stored.
  const char* bad[] = {"0", "123456", "70000", "", "x1", "12a", "-1"};
  for (const char* name : bad) {
    SCOPED_TRACE(name);
    std::memset(t.entry(1), 0, 20);
    t.flags[1] = DMA_ENTRY_FREE;
    EXPECT_EQ(DMA_ApplyData(ctx.get(), DMA_STRUCT_PAPER_MARGIN, DMA_APPLY_LAST_ENTRY, name), DMA_ERR_FAILED);
    EXPECT_EQ(t.flags[1], DMA_ENTRY_IN_USE);
    EXPECT_EQ(morva::load_le32(t.entry(1) + 16), 40u);
  }
}

TEST_F(CallerTables, DestinationsFoundByPosition) {
  CallerTable t(DMA_STRUCT_FAX_DESTINATION, 3);
  t.attach(&ctx->faxDestinations, 820);
  const BYTE flags[] = {DMA_ENTRY_IN_USE, DMA_ENTRY_DELETED, DMA_ENTRY_FREE};
  for (int i = 0; i < 3; ++i) {
    fill_entry(DMA_STRUCT_FAX_DESTINATION, t.entry(i), u"");
    put_text(t.entry(i) + 2, u"555-010" + std::u16string(1, static_cast<char16_t>(u'0' + i)));
    t.flags[i] = flags[i];
  }
  ASSERT_EQ(DMA_AccessibleData(ctx.get(), DMA_STRUCT_FAX_DESTINATION, position(1)), DMA_OK);
  EXPECT_EQ(get_text(store(1795), 258), u"555-0100");
  for (std::uintptr_t p : {0, 2, 3, 4}) {
    EXPECT_EQ(DMA_AccessibleData(ctx.get(), DMA_STRUCT_FAX_DESTINATION, position(p)), DMA_ERR_NO_POSITION) << p;
  }
  EXPECT_EQ(DMA_ApplyData(ctx.get(), DMA_STRUCT_FAX_DESTINATION, DMA_APPLY_BY_NAME, position(3)),
            DMA_ERR_NO_POSITION);
  // Storing by position reaches a deleted entry and puts it back in use.
  ASSERT_EQ(DMA_ApplyData(ctx.get(), DMA_STRUCT_FAX_DESTINATION, DMA_APPLY_BY_NAME, position(2)), DMA_OK);
  EXPECT_EQ(t.flags[1], DMA_ENTRY_IN_USE);
  EXPECT_EQ(get_text(t.entry(1) + 2, 258), u"555-0100");
  // Destinations are not deleted by name.
  EXPECT_EQ(DMA_DeleteData(ctx.get(), DMA_STRUCT_FAX_DESTINATION, "1"), DMA_ERR_UNKNOWN_STRUCT);
  // A text wider than its setting (the 18-byte field of DDMID 1813, whose
  // setting holds 10 bytes) is refused.
  put_text(t.entry(0) + 516, u"12345678");
  EXPECT_EQ(DMA_AccessibleData(ctx.get(), DMA_STRUCT_FAX_DESTINATION, position(1)), DMA_ERR_FAILED);
}

TEST_F(CallerTables, ArgumentsAndUnknownKinds) {
  for (DWORD type : {0u, 1u, 6u, 8u}) {
    SCOPED_TRACE(type);
    EXPECT_EQ(DMA_AccessibleData(ctx.get(), type, "x"), DMA_ERR_UNKNOWN_STRUCT);
    EXPECT_EQ(DMA_DeleteData(ctx.get(), type, "x"), DMA_ERR_UNKNOWN_STRUCT);
    EXPECT_EQ(DMA_ApplyData(ctx.get(), type, 0, "x"), DMA_ERR_UNKNOWN_STRUCT);
  }
  EXPECT_EQ(DMA_AccessibleData(nullptr, DMA_STRUCT_STAMP, "x"), DMA_ERR_FAILED);
  EXPECT_EQ(DMA_DeleteData(nullptr, DMA_STRUCT_STAMP, "x"), DMA_ERR_FAILED);
  EXPECT_EQ(DMA_ApplyData(nullptr, DMA_STRUCT_STAMP, 0, "x"), DMA_ERR_FAILED);
  CallerTable t(DMA_STRUCT_STAMP, 1);
  t.attach(&ctx->stamps, 308);
  EXPECT_EQ(DMA_ApplyData(ctx.get(), DMA_STRUCT_STAMP, 2, "x"), DMA_ERR_UNKNOWN_MODE);
  // Without a name nothing is stored.
  EXPECT_EQ(DMA_ApplyData(ctx.get(), DMA_STRUCT_STAMP, DMA_APPLY_LAST_ENTRY, nullptr), DMA_ERR_FAILED);
  EXPECT_EQ(t.flags[0], DMA_ENTRY_FREE);
  // Without the stores the settings cannot be read.
  ctx->printerData = nullptr;
  ctx->devmode = nullptr;
  EXPECT_EQ(DMA_ApplyData(ctx.get(), DMA_STRUCT_STAMP, DMA_APPLY_LAST_ENTRY, "x"), DMA_ERR_FAILED);
  EXPECT_EQ(t.flags[0], DMA_ENTRY_FREE);
}

TEST_F(CallerTables, NameFromInfo) {
  std::vector<BYTE> stamp(308);
  put_text(stamp.data(), u"Confidential");
  DWORD size = 0;
  EXPECT_EQ(DMA_GetNameFromInfo(stamp.data(), DMA_STRUCT_STAMP, &size, nullptr), DMA_ERR_BUFFER);
  EXPECT_EQ(size, 13u);
  char out[13];
  size = 12;
  EXPECT_EQ(DMA_GetNameFromInfo(stamp.data(), DMA_STRUCT_STAMP, &size, out), DMA_ERR_BUFFER);
  EXPECT_EQ(size, 13u);
  ASSERT_EQ(DMA_GetNameFromInfo(stamp.data(), DMA_STRUCT_STAMP, &size, out), DMA_OK);
  EXPECT_STREQ(out, "Confidential");
  // A name filling its whole field without a NUL ends at the field.
  std::vector<BYTE> sender(706);
  for (int i = 0; i < 41; ++i) morva::store_le16(sender.data() + 2 * i, u'n');
  morva::store_le16(sender.data() + 82, u'X');
  char longName[64];
  size = sizeof longName;
  ASSERT_EQ(DMA_GetNameFromInfo(sender.data(), DMA_STRUCT_SENDER, &size, longName), DMA_OK);
  EXPECT_EQ(std::string(longName), std::string(41, 'n'));
  BYTE margin[20] = {};
  morva::store_le16(margin, 258);
  size = sizeof out;
  ASSERT_EQ(DMA_GetNameFromInfo(margin, DMA_STRUCT_PAPER_MARGIN, &size, out), DMA_OK);
  EXPECT_STREQ(out, "258");
  EXPECT_EQ(DMA_GetNameFromInfo(margin, DMA_STRUCT_FAX_DESTINATION, &size, out), DMA_ERR_UNKNOWN_STRUCT);
  EXPECT_EQ(DMA_GetNameFromInfo(margin, 6, &size, out), DMA_ERR_UNKNOWN_STRUCT);
  EXPECT_EQ(DMA_GetNameFromInfo(nullptr, DMA_STRUCT_STAMP, &size, out), DMA_ERR_FAILED);
  EXPECT_EQ(DMA_GetNameFromInfo(margin, DMA_STRUCT_PAPER_MARGIN, nullptr, out), DMA_ERR_FAILED);
}

}  // namespace
