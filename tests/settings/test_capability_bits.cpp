#include "ddd_fixture.h"
#include "settings/common/common_utils.h"
#include "settings/items/item_access.h"

using morva::test::one_file;

namespace {
class CapabilityBitsFromDatabase : public morva::test::DddTest {};
}  // namespace

TEST_F(CapabilityBitsFromDatabase, WordsFromFields26And39) {
  open(one_file(nlohmann::json::array(), 0x2000, {{"26", 0x00400010}, {"39", {0x80000000u, 0x3}}}));
  DeviceCapabilityBits bits{{9, 9, 9}};
  ASSERT_TRUE(LoadCapabilityBits(handle, &bits));
  EXPECT_EQ(bits.words[0], 0x00400010u);
  EXPECT_EQ(bits.words[1], 0x80000000u);
  EXPECT_EQ(bits.words[2], 0x3u);
  EXPECT_TRUE(HasDeviceCapability(handle, 0xFFFF0016u));  // bit 22: locale paper family
  EXPECT_TRUE(HasDeviceCapability(handle, 0xFFFF003Fu));
  EXPECT_TRUE(HasDeviceCapability(handle, 0xFFFF0041u));
  EXPECT_FALSE(HasDeviceCapability(handle, 0xFFFF002Bu));
  EXPECT_TRUE(HasDeviceCapability(handle, 0x10u));
  EXPECT_FALSE(HasDeviceCapability(nullptr, 0x10u));
}

TEST_F(CapabilityBitsFromDatabase, OlderLevelsAndShortFieldsGiveZeroWords) {
  open(one_file(nlohmann::json::array(), 0x500, {{"26", 1}, {"39", {7, 8}}}));
  DeviceCapabilityBits bits{};
  ASSERT_TRUE(LoadCapabilityBits(handle, &bits));
  EXPECT_EQ(bits.words[0], 1u);
  EXPECT_EQ(bits.words[1], 0u);
  EXPECT_EQ(bits.words[2], 0u);
  DddClose(handle);
  handle = nullptr;
  open(one_file(nlohmann::json::array(), 0x2000, {{"26", 1}, {"39", {7}}}));
  ASSERT_TRUE(LoadCapabilityBits(handle, &bits));
  EXPECT_EQ(bits.words[1], 0u);
  EXPECT_EQ(bits.words[2], 0u);
}

TEST_F(CapabilityBitsFromDatabase, DeviceClass) {
  struct Case {
    int stored;
    INT cls;
    BOOL class3or4;
  } cases[] = {{0, 1, FALSE}, {1, 2, FALSE}, {2, 3, TRUE}, {3, 4, TRUE}, {4, 0, FALSE}, {255, 0, FALSE}};
  std::vector<BYTE> dm(5988);
  for (const Case& c : cases) {
    if (handle) DddClose(handle);
    handle = nullptr;
    open(one_file(nlohmann::json::array(), 0x2000, {{"23", c.stored}}));
    EXPECT_EQ(GetDeviceClass(handle), c.cls) << c.stored;
    EXPECT_EQ(IsDeviceClass3or4(handle), c.class3or4) << c.stored;
    EXPECT_EQ(IsDeviceColorCapable(handle, dm.data()), c.cls == 2) << c.stored;
  }
  // Class 4 is colour capable when DDMID 334 is 5.
  DWORD five = 5;
  ASSERT_EQ(SetItemValueRaw(334, dm.data(), nullptr, 8, 1, &five), 0);
  EXPECT_TRUE(IsDeviceColorCapable(handle, dm.data()) == FALSE);  // still the 255 database
  DddClose(handle);
  handle = nullptr;
  open(one_file(nlohmann::json::array(), 0x2000, {{"23", 3}}));
  EXPECT_TRUE(IsDeviceColorCapable(handle, dm.data()));
  EXPECT_FALSE(IsDeviceColorCapable(handle, nullptr));
  EXPECT_EQ(GetDeviceClass(nullptr), 0);
}
