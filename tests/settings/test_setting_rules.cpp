#include <gtest/gtest.h>

#include <vector>

#include "ddm/ddmid.h"
#include "settings/common/common_utils.h"
#include "settings/items/item_access.h"

namespace {

class SettingRules : public ::testing::Test {
 protected:
  std::vector<BYTE> devmode = std::vector<BYTE>(morva::ddm::kPrivateDevmodeSize);
  std::vector<BYTE> printer_data = std::vector<BYTE>(morva::ddm::kPrinterDataSize);
  void* dm() { return devmode.data(); }
  void* pd() { return printer_data.data(); }
  void set(WORD id, WORD type, DWORD size, DWORD value) {
    ASSERT_EQ(SetItemValueRaw(id, dm(), pd(), type, size, &value), 0) << id;
  }
  LONG get(WORD id) { return GetEffectiveItemValue(dm(), pd(), id); }
};

}  // namespace

TEST_F(SettingRules, ResolutionLimitedByTheLongestSide) {
  struct Case {
    SHORT length, width, resolution;
    BOOL ok;
    SHORT result;
  } cases[] = {
      {12000, 3000, 600, TRUE, 300},   // limit 592
      {2970, 2100, 600, TRUE, 600},    // A4: limit 2394, unchanged
      {3000, 11000, 1200, TRUE, 600},  // limit 646: width is the longest side
      {20000, 100, 600, TRUE, 300},    // limit 355
      {30000, 100, 600, TRUE, 200},    // limit 237
      {32767, 100, 600, TRUE, 200},    // limit 217
      {0, 0, 600, FALSE, 600},         // no paper size
  };
  for (const Case& c : cases) {
    set(9, 2, 2, static_cast<WORD>(c.length));
    set(10, 2, 2, static_cast<WORD>(c.width));
    set(20, 2, 2, static_cast<WORD>(c.resolution));
    set(21, 2, 2, static_cast<WORD>(c.resolution));
    EXPECT_EQ(LimitResolutionForPaper(dm()), c.ok) << c.length;
    EXPECT_EQ(get(20), c.result) << c.length;
    EXPECT_EQ(get(21), c.result) << c.length;
  }
  EXPECT_FALSE(LimitResolutionForPaper(nullptr));
}

TEST_F(SettingRules, OptionItemPair) {
  struct Case {
    BYTE a, b;
    BOOL loose, strict;
  } cases[] = {
      {0, 3, FALSE, FALSE}, {0, 2, TRUE, TRUE}, {1, 2, TRUE, FALSE}, {2, 3, TRUE, FALSE}, {2, 0, TRUE, TRUE},
  };
  for (const Case& c : cases) {
    set(5204, 8, 1, c.a);
    set(4367, 8, 1, c.b);
    EXPECT_EQ(CheckOptionItemPair(dm(), pd(), FALSE), c.loose) << int(c.a) << "/" << int(c.b);
    EXPECT_EQ(CheckOptionItemPair(dm(), pd(), TRUE), c.strict) << int(c.a) << "/" << int(c.b);
  }
  EXPECT_FALSE(CheckOptionItemPair(dm(), nullptr, FALSE));
}

TEST_F(SettingRules, DeviceDataLevel) {
  DeviceCapabilityBits both{{0x30000u, 0, 0}};
  DeviceCapabilityBits only_2{{0x20000u, 0, 0}};
  DeviceCapabilityBits none{{0, 0, 0}};
  set(8205, 5, 4, 0x01010903u);
  EXPECT_EQ(GetDeviceDataLevel(dm(), pd(), &both), 2);
  EXPECT_EQ(GetDeviceDataLevel(dm(), pd(), &only_2), 3);
  EXPECT_EQ(GetDeviceDataLevel(dm(), pd(), &none), 1);
  set(8205, 5, 4, 0x01010902u);
  EXPECT_EQ(GetDeviceDataLevel(dm(), pd(), &both), 3);
  set(8211, 8, 1, 1);
  EXPECT_EQ(GetDeviceDataLevel(dm(), pd(), &both), 1);
  set(8211, 8, 1, 0);
  set(4099, 1, 4, 1);
  EXPECT_EQ(GetDeviceDataLevel(dm(), pd(), &both), 1);
  EXPECT_EQ(GetDeviceDataLevel(dm(), nullptr, &both), 0);
  EXPECT_EQ(GetDeviceDataLevel(dm(), pd(), nullptr), 0);
}
