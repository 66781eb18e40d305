#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ddm/ddmid.h"
#include "settings/items/item_access.h"

namespace {

class ItemAccess : public ::testing::Test {
 protected:
  std::vector<BYTE> devmode = std::vector<BYTE>(morva::ddm::kPrivateDevmodeSize);
  std::vector<BYTE> printer_data = std::vector<BYTE>(morva::ddm::kPrinterDataSize);
  void* dm() { return devmode.data(); }
  void* pd() { return printer_data.data(); }

  void set(WORD id, WORD type, DWORD size, DWORD value) {
    ASSERT_EQ(SetItemValueRaw(id, dm(), pd(), type, size, &value), 0) << id;
  }
  void set_text(WORD id, const char16_t* text) {
    ASSERT_TRUE(SetItemValue(id, dm(), pd(), 0xFFFFFFFFu, 6, &text)) << id;
  }
};

}  // namespace

TEST_F(ItemAccess, StringsComeBackAsPointersIntoTheirStore) {
  struct Case {
    WORD id;
    BYTE* base;
  } cases[] = {
      {259, devmode.data()},                                           // DEVMODE
      {1795, devmode.data() + morva::ddm::kExtensionOffset},           // extension block
      {5121, printer_data.data()},                                     // PrinterData
  };
  for (const Case& c : cases) {
    set_text(c.id, u"abc");
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    ASSERT_EQ(GetItemValue(c.id, dm(), pd(), &type, &size, &v), 0) << c.id;
    EXPECT_EQ(type, 6);
    EXPECT_EQ(size, 8u);
    WORD t2 = 0, sel = 0;
    DWORD s2 = 0, offset = 0;
    ASSERT_EQ(dma_GetValue(c.id, dm(), pd(), &t2, &s2, &offset, &sel), 0);
    EXPECT_EQ(v.ptr, c.base + offset) << c.id;
    EXPECT_EQ(std::u16string(static_cast<const char16_t*>(v.ptr)), u"abc");
    // The pointer form through GetItemNumber keeps all 64 bits.
    EXPECT_EQ(reinterpret_cast<const void*>(GetItemNumber(dm(), pd(), c.id, 6)), v.ptr);
  }
}

TEST_F(ItemAccess, PseudoSettingReadsZeroEvenWithoutStores) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v;
  v.raw = ~0ull;
  EXPECT_EQ(GetItemValue(kPseudoSettingId, nullptr, nullptr, &type, &size, &v), 0);
  EXPECT_EQ(type, 1);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(v.raw, 0u);
  EXPECT_EQ(GetItemValue(kPseudoSettingId, nullptr, nullptr, nullptr, &size, &v), 16);
}

TEST_F(ItemAccess, NumbersCheckTheExpectedWidth) {
  set(271, 3, 2, 0x1234);  // an unsigned 16-bit setting
  EXPECT_EQ(GetItemNumber(dm(), pd(), 271, 3), 0x1234u);
  EXPECT_EQ(GetItemNumber(dm(), pd(), 271, 1), 0u);  // size 2 is not 4
  EXPECT_EQ(GetItemNumber(dm(), pd(), 271, 9), 0u);  // refused type
  EXPECT_EQ(GetItemNumber(nullptr, pd(), 5200, 1), 0u);
  set(5200, 1, 4, 77);
  EXPECT_EQ(GetItemNumber(dm(), pd(), 5200, 1), 77u);
  EXPECT_EQ(ReadSetting5200(dm(), pd()), 77u);
  EXPECT_EQ(ReadSetting5200(dm(), nullptr), 0u);
  EXPECT_EQ(SetItemNumber(nullptr, pd(), 5200, 1, 4, 5), -1);
  EXPECT_EQ(SetItemNumber(dm(), pd(), 5200, 1, 4, 5), 0);
  EXPECT_EQ(GetItemNumber(dm(), pd(), 5200, 1), 5u);
}

// Readers that test a setting whatever its width (the document events, the
// stamps) see its value; GetItemNumber's expected type 0 would answer 0.
TEST_F(ItemAccess, NumbersOfAnyWidthReadByTheirOwnType) {
  struct Case {
    WORD id;
    WORD type;
    DWORD size;
    DWORD stored;
    LONG read;
  } cases[] = {
      {5200, 1, 4, 0x80000001u, static_cast<LONG>(0x80000001u)},  // signed 32-bit
      {20, 2, 2, 0xFFF6u, -10},                                     // signed 16-bit
      {271, 3, 2, 0xFFF6u, 0xFFF6},                                 // unsigned 16-bit
      {454, 8, 1, 0xC8u, 200},                                      // byte
  };
  for (const Case& c : cases) {
    set(c.id, c.type, c.size, c.stored);
    EXPECT_EQ(ReadItemNumber(dm(), pd(), c.id), c.read) << c.id;
    EXPECT_EQ(GetItemNumber(dm(), pd(), c.id, 0), 0u) << c.id;
    EXPECT_EQ(ReadItemNumber(nullptr, pd(), c.id), 0) << c.id;
  }
  set_text(259, u"abc");
  EXPECT_EQ(ReadItemNumber(dm(), pd(), 259), 0);    // strings are not numbers
  EXPECT_EQ(ReadItemNumber(dm(), pd(), 60000), 0);  // no such setting
}

TEST_F(ItemAccess, EffectiveValuesFollowTheirGoverningSetting) {
  set(392, 5, 4, 0x12);
  set(454, 8, 1, 3);
  set(270, 8, 1, 1);
  EXPECT_EQ(GetEffectiveItemValue(dm(), pd(), 392), 0);
  EXPECT_EQ(GetItemNumber(dm(), pd(), 392, 5), 0x12u);  // stored value unchanged
  EXPECT_EQ(GetEffectiveItemValue(dm(), pd(), 454), 3);
  set(270, 8, 1, 2);
  EXPECT_EQ(GetEffectiveItemValue(dm(), pd(), 392), 0x12);
  EXPECT_EQ(GetEffectiveItemValue(dm(), pd(), 454), 0);

  // dmPrintQuality other than 600 switches 346 off.
  set(346, 8, 1, 4);
  set(20, 2, 2, 1200);
  EXPECT_EQ(GetEffectiveItemValue(dm(), pd(), 346), 0);
  set(20, 2, 2, 600);
  EXPECT_EQ(GetEffectiveItemValue(dm(), pd(), 346), 4);

  // 336 = 1 pins the target PDL version.
  set(8205, 5, 4, 0x01020000);
  set(336, 8, 1, 1);
  EXPECT_EQ(GetEffectiveItemValue(dm(), pd(), 8205), 0x01010802);
  set(336, 8, 1, 0);
  EXPECT_EQ(GetEffectiveItemValue(dm(), pd(), 8205), 0x01020000);

  // 1307 looks at the first byte of 271.
  set(1307, 1, 4, 1);
  set(271, 3, 2, 0x0108);
  EXPECT_EQ(GetEffectiveItemValue(dm(), pd(), 1307), 1);
  set(271, 3, 2, 0x0008 | 0x0700);
  EXPECT_EQ(GetEffectiveItemValue(dm(), pd(), 1307), 1);
  set(271, 3, 2, 0x0009);
  EXPECT_EQ(GetEffectiveItemValue(dm(), pd(), 1307), 0);

  // A switched-off string comes back as a null pointer.
  set_text(1832, u"profile.icc");
  set(293, 8, 1, 2);
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  ASSERT_EQ(ReadEffectiveItemValue(1832, dm(), pd(), &type, &size, &v), 0);
  EXPECT_NE(v.ptr, nullptr);
  set(293, 8, 1, 1);
  ASSERT_EQ(ReadEffectiveItemValue(1832, dm(), pd(), &type, &size, &v), 0);
  EXPECT_EQ(v.ptr, nullptr);

  // A governing setting in a missing store cannot be read: 3, and -1.
  EXPECT_EQ(ReadEffectiveItemValue(392, nullptr, pd(), &type, &size, &v), kEffectiveReadFailed);
  EXPECT_EQ(GetEffectiveItemValue(dm(), nullptr, 5200), -1);
  EXPECT_EQ(ReadEffectiveItemValue(392, dm(), pd(), nullptr, &size, &v), kEffectiveReadFailed);
}

TEST_F(ItemAccess, StoredCustomSizeCopiesBothWays) {
  set(1863, 2, 2, 2100);
  set(1864, 2, 2, 2970);
  SHORT w = 0, l = 0;
  ASSERT_TRUE(GetStoredCustomSize(dm(), pd(), &w, &l));
  EXPECT_EQ(w, 2100);
  EXPECT_EQ(l, 2970);
  ASSERT_TRUE(CopyStoredCustomSize(0, dm(), pd()));
  EXPECT_EQ(GetItemNumber(dm(), pd(), 9, 2), 2970u);
  EXPECT_EQ(GetItemNumber(dm(), pd(), 10, 2), 2100u);
  set(9, 2, 2, 1000);
  set(10, 2, 2, 500);
  ASSERT_TRUE(CopyStoredCustomSize(1, dm(), pd()));
  ASSERT_TRUE(GetStoredCustomSize(dm(), pd(), &w, &l));
  EXPECT_EQ(w, 500);
  EXPECT_EQ(l, 1000);
  EXPECT_FALSE(CopyStoredCustomSize(2, dm(), pd()));
  EXPECT_FALSE(CopyStoredCustomSize(0, nullptr, pd()));
}

TEST(ItemClassifiers, UserPaperCodesAndSlots) {
  for (WORD slot = 0; slot < 20; ++slot) {
    WORD code = UserPaperCodeOfSlot(slot);
    EXPECT_TRUE(IsUserPaperCode(code)) << slot;
    EXPECT_EQ(UserPaperSlotOfCode(code), slot);
  }
  EXPECT_EQ(UserPaperCodeOfSlot(19), 301);
  EXPECT_EQ(UserPaperSlotOfCode(301), 19);
  EXPECT_EQ(UserPaperCodeOfSlot(4), 266);
  EXPECT_EQ(UserPaperCodeOfSlot(5), 287);
  EXPECT_EQ(UserPaperCodeOfSlot(20), 0xFFFF);
  for (WORD code : {256, 261, 267, 286, 302}) {
    EXPECT_FALSE(IsUserPaperCode(code)) << code;
    EXPECT_EQ(UserPaperSlotOfCode(code), 0xFFFF) << code;
  }
  EXPECT_TRUE(IsUserOrCustomPaperCode(256));
  EXPECT_FALSE(IsUserOrCustomPaperCode(9));
  EXPECT_TRUE(IsUserPaperId(5889));
  EXPECT_TRUE(IsUserPaperId(5928));
  EXPECT_FALSE(IsUserPaperId(5929));
  EXPECT_FALSE(IsUserPaperId(5888));
}

TEST(ItemClassifiers, TypedValues) {
  EXPECT_EQ(ValueSizeOfType(1, nullptr, 0), 4u);
  EXPECT_EQ(ValueSizeOfType(3, nullptr, 0), 2u);
  EXPECT_EQ(ValueSizeOfType(8, nullptr, 0), 1u);
  EXPECT_EQ(ValueSizeOfType(9, nullptr, 0), 92u);
  EXPECT_EQ(ValueSizeOfType(6, u"abcd", 0xFFFFFFFFu), 10u);
  EXPECT_EQ(ValueSizeOfType(6, nullptr, 0xFFFFFFFFu), 0u);
  EXPECT_EQ(ValueSizeOfType(6, u"abcd", 40), 40u);
  EXPECT_EQ(ValueSizeOfType(7, nullptr, 12), 12u);

  SHORT s = -2;
  WORD w = 0xFFFE;
  BYTE b = 0xF0;
  LONG l = -5;
  EXPECT_EQ(GetTypedValue(2, &s), -2);
  EXPECT_EQ(GetTypedValue(3, &w), 0xFFFE);
  EXPECT_EQ(GetTypedValue(8, &b), 0xF0);
  EXPECT_EQ(GetTypedValue(1, &l), -5);
  EXPECT_EQ(GetTypedValueUnsigned(1, &l), 0xFFFFFFFBu);
  EXPECT_EQ(GetTypedValue(6, &l), 0);
  EXPECT_EQ(GetTypedValue(1, nullptr), 0);

  ItemValue slot{};
  EXPECT_TRUE(StoreTypedValue(2, &slot, &s));
  EXPECT_EQ(slot.s, -2);
  EXPECT_TRUE(StoreTypedValue(8, &slot, &b));
  EXPECT_EQ(slot.b, 0xF0);
  const char16_t* text = u"x";
  EXPECT_TRUE(StoreTypedValue(6, &slot, text));
  EXPECT_EQ(slot.ptr, text);
  EXPECT_FALSE(StoreTypedValue(9, &slot, text));
  EXPECT_FALSE(StoreTypedValue(1, nullptr, &l));
}
