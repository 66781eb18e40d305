#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ddd_fixture.h"
#include "setting_values.h"
#include "ddm/ddmid.h"
#include "settings/items/default_settings.h"
#include "settings/devmode/driver_devmode.h"
#include "settings/stores/printer_data_kinds.h"
#include "settings/stores/private_blobs.h"
#include "settings/stores/settings_migration.h"
#include "win/endian.h"
#include "win/win.h"
#include "test_printer.h"

namespace {

using morva::test::number;
using morva::test::put;
using morva::test::text;

using namespace morva::ddm;
using Bytes = std::vector<BYTE>;

void put_text(BYTE* at, const char16_t* s) {
  for (; *s; ++s, at += 2) morva::store_le16(at, *s);
}

// An outside DEVMODE in a buffer of exactly dmSize + dmDriverExtra bytes,
// so that reading past it is caught.
Bytes exact(const Bytes& full, WORD driver_extra) {
  Bytes dm(full.begin(), full.begin() + std::min<size_t>(full.size(), kPublicDevmodeSize + driver_extra));
  dm.resize(kPublicDevmodeSize + driver_extra);
  morva::store_le16(dm.data() + 70, driver_extra);
  return dm;
}

constexpr char16_t kPrinter[] = u"Demo Printer";

class DemoMigration : public morva::test::DddTest {
 protected:
  Bytes current = Bytes(kPrivateDevmodeSize);
  Bytes defaults = Bytes(kPrivateDevmodeSize);
  HANDLE printer = nullptr;

  void SetUp() override {
    open_demo();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(FillDefaultSettings(handle, defaults.data(), nullptr, kPrinter));
    current = defaults;
  }
  void TearDown() override {
    if (printer) {
      ClosePrinter(printer);
      morva::platform::use_in_memory_store(false);
    }
    DddTest::TearDown();
  }

  void add_printer() {
    morva::platform::use_in_memory_store(true);
    printer = morva::test::add_test_printer(kPrinter, u"Demo Driver", u"MVDEMO.DDD");
    ASSERT_NE(printer, nullptr) << GetLastError();
  }

  // An old DEVMODE of `version`: the current one with its version word
  // replaced, `driver_extra` bytes of private part.
  Bytes old_devmode(WORD version, WORD driver_extra = 1384) {
    Bytes full = current;
    full.resize(std::max<size_t>(full.size(), kPublicDevmodeSize + driver_extra));
    morva::store_le16(full.data() + kPublicDevmodeSize, version);
    return exact(full, driver_extra);
  }

  INT convert(const Bytes& source, Bytes* out, DWORD size = kDevmodeSizeFromHeader) {
    out->assign(kShortDevmodeSize, 0xAB);
    return ConvertPrivateDevmode(source.data(), out->data(), kPrinter, handle, size);
  }

  void expect_defaults(const Bytes& out) {
    EXPECT_EQ(std::memcmp(out.data(), defaults.data(), kShortDevmodeSize), 0);
  }
};

TEST_F(DemoMigration, IdentityOfTheCurrentDevmode) {
  DevmodeIdentity id;
  ASSERT_TRUE(ReadDevmodeHeaderInfo(current.data(), kPrivateDevmodeSize, &id));
  EXPECT_EQ(id.size, 220);
  EXPECT_EQ(id.driver_extra, 1384);
  EXPECT_EQ(id.version, kLayoutVersion);
  EXPECT_EQ(id.layout, kLayoutId);
  EXPECT_EQ(std::u16string(id.name), u"Demo Printer 1000");

  struct Case {
    WORD version;
    INT expected;
  };
  for (const Case& c : {Case{kLayoutVersion, 2}, Case{kLayoutVersion + 1, 1}, Case{20483, 3}, Case{20482, 4},
                        Case{256, 4}}) {
    DevmodeIdentity old = id;
    old.version = c.version;
    EXPECT_EQ(ComparePrivateDevmodeHeader(id, old), c.expected) << c.version;
  }
  DevmodeIdentity other = id;
  other.name[0] = u'd';  // the name compares without case
  EXPECT_EQ(ComparePrivateDevmodeHeader(id, other), 2);
}

// DEVMODEs that are not taken: each is replaced by the defaults, reading
// nothing beyond what it declares or what the caller says is there.
TEST_F(DemoMigration, RefusedDevmodesGiveDefaults) {
  struct Case {
    const char* what;
    WORD version;
    WORD driver_extra;
    DWORD offset;  // a WORD patched into the DEVMODE, or 0
    WORD value;
    DWORD available;
  };
  const Case cases[] = {
      {"dmDriverExtra 68", kLayoutVersion, 68, 0, 0, kDevmodeSizeFromHeader},
      {"another dmSize", kLayoutVersion, 1384, 68, 212, kDevmodeSizeFromHeader},
      {"another dmSpecVersion", kLayoutVersion, 1384, 64, 0x400, kDevmodeSizeFromHeader},
      {"newer private version", kLayoutVersion + 1, 1384, 0, 0, kDevmodeSizeFromHeader},
      {"foreign driver name", kLayoutVersion, 1384, 224, u'X', kDevmodeSizeFromHeader},
      {"declares more than is there", kLayoutVersion, 1384, 0, 0, 1000},
      {"head cut short", kLayoutVersion, 1384, 0, 0, 60},
      {"same version cut short", kLayoutVersion, 200, 0, 0, kDevmodeSizeFromHeader},
      {"older and larger than the current", 20600, 2000, 0, 0, kDevmodeSizeFromHeader},
      {"version between the old ranges", 17000, 3000, 0, 0, kDevmodeSizeFromHeader},
      {"older than every range", 255, 1384, 0, 0, kDevmodeSizeFromHeader},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes dm = old_devmode(c.version, c.driver_extra);
    if (c.offset) morva::store_le16(dm.data() + c.offset, c.value);
    Bytes out;
    EXPECT_EQ(convert(dm, &out, c.available), 2);
    expect_defaults(out);
  }
  Bytes out(kShortDevmodeSize);
  EXPECT_EQ(ConvertPrivateDevmode(nullptr, out.data(), kPrinter, handle), 2);
  expect_defaults(out);
  EXPECT_EQ(ConvertPrivateDevmode(current.data(), nullptr, kPrinter, handle), -1);
}

TEST_F(DemoMigration, SameVersionIsCopiedWithTheCurrentLayoutItem) {
  put(current.data(), nullptr, 7, 2);
  put(current.data(), nullptr, 258, 8000);
  Bytes dm = exact(current, 1384);
  Bytes out;
  EXPECT_EQ(convert(dm, &out), 1);
  EXPECT_EQ(number(out.data(), nullptr, 258), kLayoutId);
  put(dm.data(), nullptr, 258, kLayoutId);
  EXPECT_EQ(std::memcmp(out.data(), dm.data(), kShortDevmodeSize), 0);

  // A larger private part of the same version: the first 1604 bytes.
  Bytes larger = exact(current, 3000);
  EXPECT_EQ(convert(larger, &out), 1);
  EXPECT_EQ(number(out.data(), nullptr, 7), 2);
  EXPECT_EQ(number(out.data(), nullptr, 5), 1384);
}

TEST_F(DemoMigration, FieldStepsOfANewerOldVersion) {
  // Fields are carried over; the steps for versions up to 20799 apply.
  put(current.data(), nullptr, 7, 2);
  put(current.data(), nullptr, 12, 3);
  put(current.data(), nullptr, 1354, 1);
  put(current.data(), nullptr, 448, 1);
  put(current.data(), nullptr, 320, 9);
  put(current.data(), nullptr, 350, 0);
  Bytes dm = old_devmode(20600);
  Bytes out;
  ASSERT_EQ(convert(dm, &out), 0);
  EXPECT_EQ(number(out.data(), nullptr, 7), 2);
  EXPECT_EQ(number(out.data(), nullptr, 12), 3);
  EXPECT_EQ(number(out.data(), nullptr, 257), kLayoutVersion);
  EXPECT_EQ(number(out.data(), nullptr, 5), 1384);
  EXPECT_EQ(number(out.data(), nullptr, 473), 3);
  EXPECT_EQ(number(out.data(), nullptr, 448), 6);
  EXPECT_EQ(number(out.data(), nullptr, 350), number(defaults.data(), nullptr, 350));

  // Without staple 9 or 10 or punch 5, item 1329 is cleared instead.
  put(current.data(), nullptr, 320, 0);
  put(current.data(), nullptr, 1329, 1);
  ASSERT_EQ(convert(old_devmode(20600), &out), 0);
  EXPECT_EQ(number(out.data(), nullptr, 448), 1);
  EXPECT_EQ(number(out.data(), nullptr, 1329), 0);

  // From 20992 on item 473 is left as it came; a shorter old private part
  // keeps the defaults for what it lacks (item 473 lies at byte 1540).
  put(current.data(), nullptr, 473, 1);
  ASSERT_EQ(convert(old_devmode(21000), &out), 0);
  EXPECT_EQ(number(out.data(), nullptr, 473), 1);
  ASSERT_EQ(convert(old_devmode(21000, 1000), &out), 0);
  EXPECT_EQ(number(out.data(), nullptr, 473), number(defaults.data(), nullptr, 473));
  EXPECT_EQ(number(out.data(), nullptr, 7), 2);
  EXPECT_EQ(number(out.data(), nullptr, 5), 1384);
}

// Versions before 20485 take settings from the printer. Without one, or
// for a user who may only read it, the user's converted settings are kept;
// only full access writes the printer's settings back.
TEST_F(DemoMigration, EarlyFieldVersionsReadThePrinter) {
  put(current.data(), nullptr, 1308, 1);
  put(current.data(), nullptr, 1311, 1);
  put(current.data(), nullptr, 1306, 1);
  put(current.data(), nullptr, 1309, 0);
  put(current.data(), nullptr, 268, 130);  // the user's own setting
  Bytes out;
  EXPECT_EQ(convert(old_devmode(20483), &out), 0);
  EXPECT_EQ(number(out.data(), nullptr, 268), 130);
  EXPECT_EQ(number(out.data(), nullptr, 454), 3);
  EXPECT_EQ(number(out.data(), nullptr, 456), number(defaults.data(), nullptr, 456));

  add_printer();
  Bytes block(kPrinterDataSize), scratch(kPrivateDevmodeSize);
  ASSERT_TRUE(FillDefaultSettings(handle, scratch.data(), block.data(), u"DummyName"));
  put(nullptr, block.data(), 5651, 2);
  put(nullptr, block.data(), 5652, 1);
  put(nullptr, block.data(), 5653, 123);
  ASSERT_TRUE(WritePrinterDataKind(printer, block.data(), kPrinterDataSize, kPrinterDataPrinterData));

  // An ordinary user: the printer's items are read, nothing is stored.
  morva::platform::inject_printer_access_denied(true);
  EXPECT_EQ(convert(old_devmode(20483), &out), 0);
  morva::platform::inject_printer_access_denied(false);
  EXPECT_EQ(number(out.data(), nullptr, 268), 130);
  EXPECT_EQ(number(out.data(), nullptr, 456), 2);
  EXPECT_EQ(number(out.data(), nullptr, 457), 1);
  {
    Bytes extension(kExtensionSize);
    BYTE* fax = nullptr;
    EXPECT_FALSE(LoadPrivateSettings(printer, handle, nullptr, morva::settings::kPrivateStorePrinterData, &fax,
                                     extension.data(), nullptr, nullptr, nullptr, nullptr));
    if (fax) GlobalFree(fax);
  }

  ASSERT_EQ(convert(old_devmode(20483), &out), 0);
  EXPECT_EQ(number(out.data(), nullptr, 454), 3);
  EXPECT_EQ(number(out.data(), nullptr, 455), 1);
  EXPECT_EQ(number(out.data(), nullptr, 456), 2);
  EXPECT_EQ(number(out.data(), nullptr, 457), 1);
  // Item 1859 lives in the extension block, which went to the printer.
  Bytes extension(kExtensionSize);
  BYTE* fax = nullptr;
  ASSERT_TRUE(LoadPrivateSettings(printer, handle, nullptr, morva::settings::kPrivateStorePrinterData, &fax,
                                  extension.data(), nullptr, nullptr, nullptr, nullptr));
  if (fax) GlobalFree(fax);
  Bytes with_extension = out;
  with_extension.insert(with_extension.end(), extension.begin(), extension.end());
  EXPECT_EQ(number(with_extension.data(), nullptr, 1859), 123);
}

TEST_F(DemoMigration, LegacyDevmodes) {
  add_printer();
  // Family 2: version 20481.
  {
    Bytes full = current;
    put(full.data(), nullptr, 7, 2);
    morva::store_le16(full.data() + kPublicDevmodeSize, 20481);
    full.resize(3000);
    full[2614] = 4;                            // item 443
    morva::store_le16(full.data() + 288, 0x200);  // item 446 flag
    morva::store_le16(full.data() + 1203, 30);    // item 323 limit
    morva::store_le16(full.data() + 304, 12);     // item 444 code
    full[2620] = 9;                            // only from 20482 on
    Bytes dm = exact(full, 3000 - kPublicDevmodeSize);
    Bytes out;
    ASSERT_EQ(convert(dm, &out), 0);
    EXPECT_EQ(number(out.data(), nullptr, 7), 2);
    EXPECT_EQ(number(out.data(), nullptr, 443), 4);
    EXPECT_EQ(number(out.data(), nullptr, 446), 2);
    EXPECT_EQ(number(out.data(), nullptr, 323), 20);
    EXPECT_EQ(number(out.data(), nullptr, 444), 15);
    EXPECT_EQ(number(out.data(), nullptr, 257), kLayoutVersion);
    EXPECT_EQ(number(out.data(), nullptr, 3), number(defaults.data(), nullptr, 3));
  }
  // Family 1: version 12290.
  {
    Bytes full(2100, 0);
    std::memcpy(full.data(), current.data(), kPublicDevmodeSize);
    morva::store_le16(full.data() + kPublicDevmodeSize, 12290);
    put_text(full.data() + kPublicDevmodeSize + 4, u"Demo Printer 1000");
    morva::store_le16(full.data() + 324, 123);   // item 268, to tens
    morva::store_le16(full.data() + 344, 8);     // item 348 = 200
    morva::store_le16(full.data() + 346, 5);     // item 390 = 0
    morva::store_le32(full.data() + 316, 1);     // item 331 = 1
    full[1340] = 2;                              // item 320 (from 0x3000)
    put_text(full.data() + 1020, u"Stamp");      // item 297 (from 0x2000)
    Bytes dm = exact(full, static_cast<WORD>(full.size() - kPublicDevmodeSize));
    Bytes out;
    ASSERT_EQ(convert(dm, &out), 0);
    EXPECT_EQ(number(out.data(), nullptr, 268), 120);
    EXPECT_EQ(number(out.data(), nullptr, 348), 200);
    EXPECT_EQ(number(out.data(), nullptr, 390), 0);
    EXPECT_EQ(number(out.data(), nullptr, 331), 1);
    EXPECT_EQ(text(out.data(), nullptr, 297), u"Stamp");

    // A resolution word the old generation never wrote: defaults.
    morva::store_le16(dm.data() + 344, 5);
    EXPECT_EQ(convert(dm, &out), 2);
    expect_defaults(out);
  }
}

// The old layouts as data: each range lists its generations' fields, and
// no field of a version lies outside what that generation added.
TEST(LegacyLayouts, FieldsByVersion) {
  std::vector<LegacyDevmodeField> rows(512);
  EXPECT_EQ(CollectLegacyDevmodeFields(17000, rows.data(), rows.size()), 0u);
  EXPECT_EQ(CollectLegacyDevmodeFields(255, rows.data(), rows.size()), 0u);
  const size_t v100 = CollectLegacyDevmodeFields(0x100, rows.data(), rows.size());
  const size_t v4005 = CollectLegacyDevmodeFields(0x4005, rows.data(), rows.size());
  EXPECT_EQ(CollectLegacyDevmodeFields(0x4007, nullptr, 0), v4005);
  EXPECT_LT(v100, v4005);
  rows.resize(v4005);
  bool has_435 = false;
  for (const LegacyDevmodeField& f : rows) {
    const DdmidDescriptor* d = dma_Descriptor(f.ddmid);
    ASSERT_NE(d, nullptr) << f.ddmid;
    EXPECT_EQ(d->type, f.type) << f.ddmid;
    if (f.type == kTypeString) {
      EXPECT_LE(f.size, d->maxSize) << f.ddmid;
    }
    has_435 |= f.ddmid == 435 && f.offset == 4924;
  }
  EXPECT_TRUE(has_435);
  const size_t v5001 = CollectLegacyDevmodeFields(0x5001, nullptr, 0);
  EXPECT_EQ(CollectLegacyDevmodeFields(0x5002, nullptr, 0), v5001 + 7);
}

// ---- PrinterData -------------------------------------------------------------------

// A database with the choices the block conversion looks up.
class BlockMigration : public morva::test::DddTest {
 protected:
  Bytes defaults = Bytes(kPrinterDataSize);

  void SetUp() override {
    using morva::test::json;
    json records = json::array({
        {{"kind", 3}, {"id", 4355}, {"name", "Item 4355"}, {"default", 1}, {"choices", {1, 2, 3}}},
        {{"kind", 13}, {"id", 1}, {"name", "A"}, {"value", {{"type", 8}, {"value", 11}}}},
        {{"kind", 13}, {"id", 2}, {"name", "B"}, {"value", {{"type", 8}, {"value", 22}}}},
        {{"kind", 13}, {"id", 3}, {"name", "C"}, {"value", {{"type", 8}, {"value", 33}}}},
        {{"kind", 4}, {"id", 4364}, {"name", "Item 4364"}, {"default", 1}, {"choices", {1}}},
        {{"kind", 14}, {"id", 1}, {"name", "D"}, {"value", {{"type", 3}, {"value", 5}}}},
    });
    open(morva::test::one_file(records));
    Bytes dm(kPrivateDevmodeSize);
    ASSERT_TRUE(FillDefaultSettings(handle, dm.data(), defaults.data(), u"DummyName"));
  }

  Bytes block(WORD version) {
    Bytes b = defaults;
    put(nullptr, b.data(), 8204, version);
    return b;
  }

  INT convert(const Bytes& stored, Bytes* out, DWORD size = 0) {
    out->assign(kPrinterDataSize, 0xAB);
    return ConvertPrinterDataBlock(stored.data(), size ? size : static_cast<DWORD>(stored.size()), out->data(),
                                   handle);
  }
};

TEST_F(BlockMigration, RefusedBlocksGiveDefaults) {
  struct Case {
    const char* what;
    WORD version;
    WORD ddmid;  // a setting changed, or 0
    LONG value;
    DWORD available;
  };
  const Case cases[] = {
      {"another model", 20600, 5137, 77, 0},
      {"newer version", kLayoutVersion + 1, 0, 0, 0},
      {"older and larger than the current", 20600, 8202, 8000, 0},
      {"size word beyond what is there", 20600, 8202, 7000, 6000},
      {"legacy size word beyond the block", 16000, 8202, 7990, 0},
      {"same version cut short", kLayoutVersion, 0, 0, 4000},
      {"too short for a header", kLayoutVersion, 0, 0, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes b = block(c.version);
    if (c.ddmid) put(nullptr, b.data(), c.ddmid, c.value);
    if (c.available) b.resize(c.available);
    Bytes out;
    EXPECT_EQ(convert(b, &out), 2);
    EXPECT_EQ(out, defaults);
  }
  Bytes out(kPrinterDataSize);
  EXPECT_EQ(ConvertPrinterDataBlock(nullptr, 0, out.data(), handle), 2);
  EXPECT_EQ(out, defaults);
  EXPECT_EQ(ConvertPrinterDataBlock(defaults.data(), kPrinterDataSize, nullptr, handle), -1);
}

TEST_F(BlockMigration, SameVersionCopiedWithTheCurrentLayout) {
  Bytes b = block(kLayoutVersion);
  put(nullptr, b.data(), 8203, 0x1111);
  put(nullptr, b.data(), 5889, 1234);
  b.resize(9000, 0x55);  // a stored block may be longer
  Bytes out;
  EXPECT_EQ(convert(b, &out), 1);
  EXPECT_EQ(number(nullptr, out.data(), 8203), kLayoutId);
  put(nullptr, b.data(), 8203, kLayoutId);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), b.begin()));
}

TEST_F(BlockMigration, FieldSteps) {
  // 20482: item 4364 0 takes its default; other values stay.
  Bytes b = block(20482);
  put(nullptr, b.data(), 4364, 0);
  put(nullptr, b.data(), 5889, 1234);
  put(nullptr, b.data(), 4104, 1);
  put(nullptr, b.data(), 4117, 1);
  put(nullptr, b.data(), 5127, 1);
  put(nullptr, b.data(), 4097, 1);
  Bytes out;
  ASSERT_EQ(convert(b, &out), 0);
  EXPECT_EQ(number(nullptr, out.data(), 4364), 5);
  EXPECT_EQ(number(nullptr, out.data(), 5889), 1234);
  EXPECT_EQ(number(nullptr, out.data(), 8204), kLayoutVersion);
  EXPECT_EQ(number(nullptr, out.data(), 4355), 33);  // choice 2 + 1
  EXPECT_EQ(number(nullptr, out.data(), 5127), 7);
  EXPECT_EQ(number(nullptr, out.data(), 5163), 0);
  EXPECT_EQ(number(nullptr, out.data(), 4362), 1);

  // 20490: item 4364 stays 0; mode 5 becomes the default with 5178 = 7;
  // item 8213 takes the text of 8209.
  b = block(20490);
  put(nullptr, b.data(), 4364, 0);
  put(nullptr, b.data(), 5127, 5);
  const WCHAR* name = u"Old name";
  ASSERT_EQ(SetItemValueRaw(8209, nullptr, b.data(), kTypeString, 18, &name), kDdmOk);
  ASSERT_EQ(convert(b, &out), 0);
  EXPECT_EQ(number(nullptr, out.data(), 4364), 0);
  EXPECT_EQ(number(nullptr, out.data(), 5163), 1);
  EXPECT_EQ(number(nullptr, out.data(), 5127), number(nullptr, defaults.data(), 5127));
  EXPECT_EQ(number(nullptr, out.data(), 5178), 7);
  EXPECT_EQ(text(nullptr, out.data(), 8213), u"Old name");

  // A step that cannot be done (no family for item 4359): defaults.
  b = block(20490);
  put(nullptr, b.data(), 4101, 1);
  ASSERT_EQ(convert(b, &out), 2);
  EXPECT_EQ(out, defaults);
}

TEST_F(BlockMigration, LegacyBlocksBringTheirUserPapers) {
  // 16390 and later: ten 34-byte rows at byte 1840.
  Bytes b = block(16390);
  put(nullptr, b.data(), 4364, 0);
  for (DWORD n = 0; n < kLegacyUserPaperRowCount; ++n) {
    BYTE* row = b.data() + kLegacyUserPaperRowsOffset + n * sizeof(LegacyUserPaperRow);
    std::memset(row, 0, sizeof(LegacyUserPaperRow));
    morva::store_le16(row, static_cast<WORD>(1000 + n));
    morva::store_le16(row + 2, static_cast<WORD>(2000 + n));
    put_text(row + 4, n == 9 ? u"FifteenCharName" : u"Paper");  // 15 characters, no terminator
  }
  Bytes out;
  ASSERT_EQ(convert(b, &out), 0);
  EXPECT_EQ(number(nullptr, out.data(), 5889 + 3), 1003);
  EXPECT_EQ(number(nullptr, out.data(), 5909 + 9), 2009);
  EXPECT_EQ(text(nullptr, out.data(), 5929 + 9), u"FifteenCharName");
  EXPECT_EQ(number(nullptr, out.data(), 8202), 7972);

  // Before 16390: five slots at byte 896; the block is as long as its
  // size word says.
  b = block(16000);
  put(nullptr, b.data(), 8202, 1200);
  BYTE* slots = b.data() + kLegacyUserPaperOffset;
  morva::store_le16(slots + 2 * 4, 777);
  morva::store_le16(slots + offsetof(LegacyUserPaperSlots, length) + 2 * 4, 888);
  std::memset(slots + offsetof(LegacyUserPaperSlots, name) + 30 * 4, 0, 30);
  put_text(slots + offsetof(LegacyUserPaperSlots, name) + 30 * 4, u"Slot5");
  b.resize(1200);
  ASSERT_EQ(convert(b, &out), 0);
  EXPECT_EQ(number(nullptr, out.data(), 5889 + 4), 777);
  EXPECT_EQ(number(nullptr, out.data(), 5909 + 4), 888);
  EXPECT_EQ(text(nullptr, out.data(), 5929 + 4), u"Slot5");
  // Beyond the old block's length the defaults hold.
  EXPECT_EQ(number(nullptr, out.data(), 5889 + 10), number(nullptr, defaults.data(), 5889 + 10));
}

}  // namespace

namespace {

// The printer's default DEVMODE goes through the migration: an older one
// is converted, one of another driver gives way to the defaults.
TEST_F(DemoMigration, PrinterDefaultDevmodeIsMigrated) {
  add_printer();
  auto store = [&](const Bytes& dm) {
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    Bytes buffer(needed);
    ASSERT_TRUE(GetPrinterW(printer, 2, buffer.data(), needed, &needed));
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
    info->pDevMode = reinterpret_cast<DEVMODEW*>(const_cast<BYTE*>(dm.data()));
    ASSERT_TRUE(SetPrinterW(printer, 2, buffer.data(), 0)) << GetLastError();
  };
  put(current.data(), nullptr, 7, 2);
  Bytes out(kShortDevmodeSize);
  DWORD size = kShortDevmodeSize;
  BOOL converted = FALSE;

  store(old_devmode(20600));
  PRINTER_INFO_2W* info = GetPrinterDefaultDevmode(printer, handle, out.data(), &size, &converted);
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(converted);
  EXPECT_EQ(number(out.data(), nullptr, 7), 2);
  EXPECT_EQ(number(out.data(), nullptr, 257), kLayoutVersion);
  GlobalFree(info);

  Bytes foreign = exact(current, 1384);
  put_text(foreign.data() + kPublicDevmodeSize + 4, u"Other");
  store(foreign);
  info = GetPrinterDefaultDevmode(printer, handle, out.data(), &size, &converted);
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(converted);
  EXPECT_EQ(number(out.data(), nullptr, 7), number(defaults.data(), nullptr, 7));
  EXPECT_EQ(text(out.data(), nullptr, 259), u"Demo Printer 1000");
  GlobalFree(info);
}

}  // namespace
