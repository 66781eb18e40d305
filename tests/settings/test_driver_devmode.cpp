#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "ddd_fixture.h"
#include "setting_values.h"
#include "ddm/ddmid.h"
#include "settings/items/default_settings.h"
#include "settings/devmode/driver_devmode.h"
#include "settings/items/setting_items.h"

namespace {

using morva::test::number;
using morva::test::put;

using morva::test::one_file;
using namespace morva::ddm;

// A pair of buffers and a database whose feature byte lets the ICM, media
// and dither fields through and whose model name is the driver identity.
class DevmodeTest : public morva::test::DddTest {
 protected:
  std::vector<BYTE> driver = std::vector<BYTE>(kPrivateDevmodeSize);
  std::vector<BYTE> data = std::vector<BYTE>(kPrinterDataSize);

  void SetUp() override {
    open(one_file(morva::test::json::array(), 0x2000, {{"7", 1}}));
    ASSERT_TRUE(FillDefaultSettings(handle, driver.data(), data.data(), u"Demo"));
  }
  void* d() { return driver.data(); }
  void* p() { return data.data(); }

  // An application DEVMODE of the driver's own layout (a copy of the
  // defaults, extent 1604) or only a public head of `size` bytes.
  std::vector<BYTE> own_devmode() {
    std::vector<BYTE> a(driver.begin(), driver.begin() + kShortDevmodeSize);
    EXPECT_TRUE(SetItemValueRaw(259, a.data(), nullptr, kTypeString, 16, &kModel) == kDdmOk);
    return a;
  }
  static std::vector<BYTE> public_devmode(WORD size) {
    std::vector<BYTE> a(size);
    auto* dm = reinterpret_cast<DEVMODEW*>(a.data());
    if (size >= 72) {
      dm->dmSize = size;
      dm->dmSpecVersion = 1025;
    }
    return a;
  }
  static inline const WCHAR* kModel = u"Model X";
};

TEST(DriverDevmodeForms, SizesAndChecks) {
  EXPECT_EQ(GetPrivateDevmodeSize(kDevmodeKindShort), 1604u);
  EXPECT_EQ(GetPrivateDevmodeSize(kDevmodeKindFull), 5988u);
  EXPECT_EQ(GetPrivateDevmodeSize(7), 5988u);
  void* dm = AllocPrivateDevmode(kDevmodeKindShort);
  ASSERT_NE(dm, nullptr);
  EXPECT_EQ(GlobalSize(dm), 1604u);
  EXPECT_FALSE(CheckDevmodeForPrinting(dm));
  EXPECT_FALSE(CheckDevmodeForPrinting(nullptr));
  put(dm, nullptr, 2, 1025);
  put(dm, nullptr, 4, 220);
  put(dm, nullptr, 5, 1384);
  put(dm, nullptr, 257, 21072);
  EXPECT_TRUE(CheckDevmodeForPrinting(dm));
  put(dm, nullptr, 5, 1000);
  EXPECT_FALSE(CheckDevmodeForPrinting(dm));
  GlobalFree(dm);
}

TEST(SettingItems, HandlerChecks) {
  std::vector<BYTE> dm(kPrivateDevmodeSize);
  struct Case {
    WORD ddmid;
    LONG value;
    WORD mode;
    BOOL valid;
  } cases[] = {
      {4, 1604, kItemModeCheck, TRUE},   {4, 1000, kItemModeCheck, FALSE}, {4, 212, kItemModeCheck, TRUE},
      {5, 5792, kItemModeCheck, TRUE},   {5, 1383, kItemModeCheck, FALSE}, {2, 1025, kItemModeCheck, TRUE},
      {16, 2, kItemModeCheckDevmode, TRUE}, {16, 4, kItemModeCheckDevmode, FALSE},
      {16, 2, kItemModeCheck, FALSE},  // the database's choices decide (none here)
      {7, 2, kItemModeCheckDevmode, TRUE}, {7, 3, kItemModeCheck, FALSE},
      {12, 5, kItemModeCheckDevmode, TRUE}, {12, 0, kItemModeCheckDevmode, FALSE},
      {17, 4, kItemModeCheck, TRUE},     {17, 5, kItemModeCheck, FALSE},
      {18, 1, kItemModeCheck, TRUE},     {18, 2, kItemModeCheck, FALSE},
      {24, 77, kItemModeCheckDevmode, TRUE}, {24, 77, kItemModeCheck, FALSE},
      {257, 21072, kItemModeCheck, TRUE}, {258, 8775, kItemModeCheck, TRUE}, {258, 8776, kItemModeCheck, FALSE},
  };
  for (const Case& c : cases) {
    put(dm.data(), nullptr, c.ddmid, c.value);
    EXPECT_EQ(CallItemHandler(nullptr, c.ddmid, dm.data(), nullptr, c.mode), c.valid)
        << c.ddmid << " = " << c.value << " mode " << c.mode;
  }
  // dmDeviceName never passes, whatever it holds.
  const WCHAR* name = u"Demo";
  ASSERT_EQ(SetItemValueRaw(1, dm.data(), nullptr, kTypeString, 10, &name), kDdmOk);
  EXPECT_FALSE(CallItemHandler(nullptr, 1, dm.data(), nullptr, kItemModeCheck));
  EXPECT_FALSE(CallItemHandler(nullptr, 1, dm.data(), nullptr, kItemModeCheckDevmode));
  // No item, an unknown mode.
  EXPECT_FALSE(CallItemHandler(nullptr, 26, dm.data(), nullptr, kItemModeCheck));
  EXPECT_FALSE(CallItemHandler(nullptr, 4, dm.data(), nullptr, 3));
}

TEST(SettingItems, TableCoversEveryHandledItem) {
  int items = 0, handled = 0;
  const SettingItemGroup* g = GetItemGroups();
  for (int i = 0; i < kItemGroupCount; ++i, ++g) {
    ASSERT_NE(g->id, kItemGroupEnd);
    for (WORD k = 0; k < g->count; ++k) {
      ++items;
      if (g->items[k].handler) ++handled;
      EXPECT_EQ(FindItem(g->items[k].ddmid), &g->items[k]);
    }
  }
  EXPECT_EQ(g->id, kItemGroupEnd);
  EXPECT_GT(items, 1000);
  // Every handled DDMID: the public fields, the layout words, the texts and
  // fonts, the constants and the user paper slots.
  std::vector<WORD> expected = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 16, 17, 18, 19, 22, 23, 24, 25,
                                257, 258, 259, 298, 305, 357, 358, 439, 463, 1793, 8202, 8203, 8204};
  for (WORD id = 5889; id <= 5948; ++id) expected.push_back(id);
  EXPECT_EQ(expected.size(), 95u);
  for (WORD id : expected) {
    const SettingItem* item = FindItem(id);
    ASSERT_NE(item, nullptr) << id;
    EXPECT_NE(item->handler, nullptr) << id;
  }
  EXPECT_EQ(handled, 95);
}

TEST(SettingItems, TypeCompare) {
  WORD a = 0xFFFF, b = 1;
  EXPECT_EQ(GetTypeCompare(kTypeWord, &a, &b), 1);
  EXPECT_EQ(GetTypeCompare(kTypeShort, &a, &b), -1);
  EXPECT_EQ(GetTypeCompare(kTypeWord, &b, &b), 0);
  DWORD big = 0x80000000u, one = 1;
  EXPECT_EQ(GetTypeCompare(kTypeDword, &big, &one), 1);
  EXPECT_EQ(GetTypeCompare(kTypeLong, &big, &one), -1);
  const WCHAR* x = u"abc";
  const WCHAR* y = u"abd";
  EXPECT_EQ(GetTypeCompare(kTypeString, x, y), -1);
  EXPECT_EQ(GetTypeCompare(kTypeString, x, x), 0);
  EXPECT_EQ(GetTypeCompare(kTypeString, nullptr, x), 2);
  EXPECT_EQ(GetTypeCompare(kTypeLogFont, x, x), 2);
  WCHAR text[16];
  SHORT negative = -12;
  EXPECT_EQ(std::u16string(FormatTypedValue(kTypeShort, &negative, text, 16)), u"-12");
  EXPECT_EQ(std::u16string(FormatTypedValue(kTypeWord, &a, text, 16)), u"65535");
  EXPECT_EQ(FormatTypedValue(kTypeLogFont, &a, text, 16), nullptr);
}

TEST_F(DevmodeTest, DefaultsOfThePublicHead) {
  EXPECT_EQ(number(d(), p(), 2), 1025);
  EXPECT_EQ(number(d(), p(), 3), 21072);
  EXPECT_EQ(number(d(), p(), 4), 220);
  EXPECT_EQ(number(d(), p(), 5), 1384);
  EXPECT_EQ(number(d(), p(), 12), 1);
  EXPECT_EQ(number(d(), p(), 22), 1);
  EXPECT_EQ(number(d(), p(), 257), 21072);
  EXPECT_EQ(number(d(), p(), 258), 8775);
  EXPECT_EQ(number(d(), p(), 1793), 21072);
  EXPECT_EQ(number(d(), p(), 8202), 7972);
  EXPECT_EQ(number(d(), p(), 8203), 8775);
  EXPECT_EQ(number(d(), p(), 8204), 21072);
  DWORD mask = 0;
  ASSERT_TRUE(GetOsFeatureFlags(handle, &mask, 1));
  EXPECT_EQ(static_cast<DWORD>(number(d(), p(), 6)), mask);
  EXPECT_EQ(mask & DM_MEDIATYPE, DM_MEDIATYPE);  // feature byte 1 on a modern platform
  EXPECT_TRUE(CheckDevmodeForPrinting(d()));
  // A 40-character printer name keeps its first 31 characters.
  std::u16string forty(40, u'n');
  ASSERT_TRUE(FillDefaultSettings(handle, d(), nullptr, forty.c_str()));
  EXPECT_EQ(std::u16string(reinterpret_cast<DEVMODEW*>(d())->dmDeviceName), forty.substr(0, 31));
  // Without PrinterData only the DEVMODE groups are filled.
  EXPECT_EQ(number(d(), p(), 8202), 7972);
}

TEST_F(DevmodeTest, NullAndShortApplicationDevmodes) {
  std::vector<BYTE> before = driver;
  EXPECT_EQ(MergeDevmode(handle, d(), nullptr, p(), nullptr, kMergeResolutionPair), 1);
  EXPECT_EQ(driver, before);
  EXPECT_EQ(MergeDevmode(handle, nullptr, nullptr, p(), nullptr, kMergeResolutionPair), 0);
  EXPECT_EQ(MergeDevmode(handle, d(), nullptr, nullptr, nullptr, kMergeResolutionPair), 0);
  // dmSize 156: public and private fields stay; the buffer is exactly 156
  // bytes, so a read past it would trip the sanitizer.
  auto a = public_devmode(156);
  auto* dm = reinterpret_cast<DEVMODEW*>(a.data());
  dm->dmFields = DM_ORIENTATION | DM_COPIES;
  dm->dmOrientation = 2;
  dm->dmCopies = 9;
  EXPECT_EQ(MergeDevmode(handle, d(), a.data(), p(), nullptr, kMergeResolutionPair), 1);
  EXPECT_EQ(driver, before);
}

TEST_F(DevmodeTest, PublicFieldsMergedByBit) {
  struct Case {
    DWORD bit;
    WORD ddmid;
    LONG value;
    WORD dm_size;
    bool taken;
  } cases[] = {
      {DM_ORIENTATION, 7, 2, 220, true},   {DM_ORIENTATION, 7, 3, 220, false},
      {DM_SCALE, 11, 50, 220, true},       {DM_SCALE, 11, -1, 220, false},
      {DM_COPIES, 12, 7, 220, true},       {DM_DEFAULTSOURCE, 13, 3, 220, true},
      {DM_DUPLEX, 16, 2, 220, true},       {DM_DUPLEX, 16, 9, 220, false},
      {DM_TTOPTION, 17, 2, 220, true},     {DM_COLLATE, 18, 1, 220, true},
      {DM_COLLATE, 18, 5, 220, false},     {DM_ICMINTENT, 23, 3, 212, true},
      {DM_ICMINTENT, 23, 3, 200, false},   {DM_MEDIATYPE, 24, 300, 212, true},
      {DM_MEDIATYPE, 24, 300, 200, false}, {DM_DITHERTYPE, 25, 77, 220, true},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(FillDefaultSettings(handle, d(), p(), u"Demo"));
    LONG old_value = number(d(), p(), c.ddmid);
    auto a = public_devmode(c.dm_size);
    std::vector<BYTE> full(220);
    auto* dm = reinterpret_cast<DEVMODEW*>(full.data());
    dm->dmSize = c.dm_size;
    dm->dmFields = c.bit;
    put(full.data(), nullptr, c.ddmid, c.value);
    std::memcpy(a.data(), full.data(), c.dm_size);
    ASSERT_EQ(MergeDevmode(handle, d(), a.data(), p(), nullptr, kMergeResolutionQuality), 1) << c.ddmid;
    EXPECT_EQ(number(d(), p(), c.ddmid), c.taken ? c.value : old_value) << c.ddmid << " size " << c.dm_size;
    DWORD fields = static_cast<DWORD>(number(d(), p(), 6));
    // DM_SCALE follows DDMID 1324 (0 here) after the merge.
    if (c.taken && c.bit != DM_SCALE) {
      EXPECT_EQ(fields & c.bit, c.bit) << c.ddmid;
    }
    // dmColor and dmICMMethod always end valid with their bits set.
    EXPECT_TRUE(number(d(), p(), 15) == 1 || number(d(), p(), 15) == 2);
    EXPECT_TRUE(number(d(), p(), 22) == 1 || number(d(), p(), 22) == 2);
    EXPECT_EQ(fields & (DM_COLOR | DM_ICMMETHOD), DM_COLOR | DM_ICMMETHOD);
  }
}

TEST_F(DevmodeTest, PrivatePartOfOwnAndForeignDevmodes) {
  // The driver's own DEVMODE: its private block is taken, DDMID 258 stays.
  auto a = own_devmode();
  put(a.data(), nullptr, 270, 1);
  put(a.data(), nullptr, 5, 1384);
  put(a.data(), nullptr, 258, 1234);
  put(d(), p(), 270, 2);
  ASSERT_EQ(MergeDevmode(handle, d(), a.data(), p(), nullptr, kMergeResolutionPair), 1);
  EXPECT_EQ(number(d(), p(), 270), 1);
  EXPECT_EQ(number(d(), p(), 258), 8775);

  // Another driver's DEVMODE (a different identity) gives only its public
  // fields.
  auto foreign = own_devmode();
  const WCHAR* other = u"Other";
  ASSERT_EQ(SetItemValueRaw(259, foreign.data(), nullptr, kTypeString, 12, &other), kDdmOk);
  put(foreign.data(), nullptr, 270, 2);
  put(foreign.data(), nullptr, 6, DM_ORIENTATION);
  put(foreign.data(), nullptr, 7, 2);
  ASSERT_EQ(MergeDevmode(handle, d(), foreign.data(), p(), nullptr, kMergeResolutionPair), 1);
  EXPECT_EQ(number(d(), p(), 270), 1);
  EXPECT_EQ(number(d(), p(), 7), 2);

  // A private part cut short (dmDriverExtra 100 in a buffer of exactly
  // that extent) is not read past its end and not taken.
  auto cut = own_devmode();
  put(cut.data(), nullptr, 5, 100);
  put(cut.data(), nullptr, 270, 2);
  cut.resize(320);
  cut.shrink_to_fit();
  ASSERT_EQ(MergeDevmode(handle, d(), cut.data(), p(), nullptr, kMergeResolutionPair), 1);
  EXPECT_EQ(number(d(), p(), 270), 1);
}

TEST_F(DevmodeTest, ResolutionAndSecondPass) {
  auto a = public_devmode(220);
  auto* dm = reinterpret_cast<DEVMODEW*>(a.data());
  dm->dmFields = DM_PRINTQUALITY;
  dm->dmPrintQuality = 600;
  ASSERT_EQ(MergeDevmode(handle, d(), a.data(), p(), nullptr, kMergeResolutionQuality), 1);
  EXPECT_EQ(number(d(), p(), 20), 600);
  EXPECT_EQ(number(d(), p(), 21), 600);
  EXPECT_EQ(static_cast<DWORD>(number(d(), p(), 6)) & 0x2400u, 0x2400u);
  dm->dmPrintQuality = -3;  // refused by the sign test, not a failure
  ASSERT_EQ(MergeDevmode(handle, d(), a.data(), p(), nullptr, kMergeResolutionQuality), 1);
  EXPECT_EQ(number(d(), p(), 20), 600);
  EXPECT_EQ(MergeDevmode(handle, d(), a.data(), p(), nullptr, 5), 0);
  // A zero default source becomes DMBIN_FORMSOURCE (15) or DMBIN_AUTO (7).
  put(d(), p(), 13, 0);
  put(d(), p(), 265, 258);
  dm->dmFields = 0;
  ASSERT_EQ(MergeDevmode(handle, d(), a.data(), p(), nullptr, kMergeResolutionQuality), 1);
  EXPECT_EQ(number(d(), p(), 13), 7);
  put(d(), p(), 13, 0);
  put(d(), p(), 265, 3);
  ASSERT_EQ(MergeDevmode(handle, d(), a.data(), p(), nullptr, kMergeResolutionQuality), 1);
  EXPECT_EQ(number(d(), p(), 13), 15);
}

TEST_F(DevmodeTest, SyncOperations) {
  put(d(), p(), 17, 1);
  ASSERT_TRUE(SyncTrueTypeOption(d(), p(), 17));
  EXPECT_EQ(number(d(), p(), 292), 1);
  put(d(), p(), 17, 3);
  ASSERT_TRUE(SyncTrueTypeOption(d(), p(), 17));
  EXPECT_EQ(number(d(), p(), 292), 2);
  ASSERT_TRUE(SyncTrueTypeOption(d(), p(), 292));
  EXPECT_EQ(number(d(), p(), 17), 3);
  put(d(), p(), 1324, 1);
  ASSERT_TRUE(SyncScaleFieldBit(d(), p()));
  EXPECT_TRUE(number(d(), p(), 6) & DM_SCALE);
  put(d(), p(), 1324, 0);
  ASSERT_TRUE(SyncScaleFieldBit(d(), p()));
  EXPECT_FALSE(number(d(), p(), 6) & DM_SCALE);
  put(d(), p(), 1331, 1);
  ASSERT_TRUE(SyncPaperDimensionBits(d(), p()));
  EXPECT_EQ(number(d(), p(), 6) & 0xC, 0xC);
  put(d(), p(), 457, 1);
  put(d(), p(), 13, 3);
  ASSERT_TRUE(SyncTrayFromSource(d(), p()));
  EXPECT_EQ(number(d(), p(), 265), 3);
  put(d(), p(), 265, 258);
  put(d(), p(), 13, 4);
  ASSERT_TRUE(SyncSourceFromTray(d(), p()));
  EXPECT_EQ(number(d(), p(), 13), 4);
}

TEST_F(DevmodeTest, PositionGroupSummary) {
  put(d(), p(), 1314, 1);
  put(d(), p(), 279, 5);
  ASSERT_TRUE(ApplyPositionGroup(d(), p()));
  EXPECT_EQ(number(d(), p(), 273), 1);
  put(d(), p(), 279, 0);
  put(d(), p(), 1314, 0);
  put(d(), p(), 278, 1);
  ASSERT_TRUE(ApplyPositionGroup(d(), p()));
  EXPECT_EQ(number(d(), p(), 273), 7);
}

}  // namespace
