#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "settings/items/default_settings.h"
#include "settings/common/module_state.h"
#include "settings/items/stamp_defaults.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

using namespace morva::ddm;

TEST(StampColours, KeyOrIndexGivesTheColour) {
  struct Case {
    INT key;
    INT index;
    INT result;
    DWORD colour;
  } cases[] = {
      {1, -1, 1, 0x0033FF}, {2, -1, 1, 0x3399FF}, {3, -1, 1, 0x00CCFF}, {4, -1, 1, 0x658963},
      {5, -1, 1, 0xCC6633}, {6, -1, 1, 0x93518D}, {7, -1, 1, 0x000000},
      {8, -1, 0, 0},   // the user's own colour has no constant
      {0, -1, 0, 0},   {9, -1, 0, 0},  {-1, -1, 0, 0},
      {0, 0, 1, 0x0033FF}, {99, 4, 1, 0xCC6633}, {1, 6, 1, 0x000000},  // an index ignores the key
      {1, 7, 0, 0},    {1, -2, 0, 0},
  };
  for (const Case& c : cases) {
    DWORD colour = 0xDEADBEEF;
    EXPECT_EQ(LookupKeyedConstant(c.key, &colour, c.index), c.result) << c.key << " " << c.index;
    if (c.result) EXPECT_EQ(colour, c.colour) << c.key << " " << c.index;
    else EXPECT_EQ(colour, 0xDEADBEEFu) << c.key << " " << c.index;
  }
  EXPECT_EQ(LookupKeyedConstant(1, nullptr, -1), 0);
}

class StampFont : public ::testing::Test {
 protected:
  morva::test::TempRoot root;
  void SetUp() override {
    DllInitialize(nullptr, DLL_PROCESS_ATTACH, nullptr);
    morva::settings::set_module_directory_for_test(u"C:\\driver\\");
  }
  void TearDown() override {
    DllInitialize(nullptr, DLL_PROCESS_DETACH, nullptr);
    morva::settings::set_module_directory_for_test(nullptr);
  }
  void install_resources() {
    std::filesystem::create_directories(root.file("drive_c/driver"));
    std::filesystem::copy_file(std::string(MORVA_BIN_DIR) + "/morvares.xrs", root.file("drive_c/driver/morvares.xrs"));
  }
};

TEST_F(StampFont, DefaultFontFromTheResourceTexts) {
  EXPECT_FALSE(DefaultStampFont(nullptr));
  // Without the resource module: numbers 0, the face "Undefined".
  LOGFONTW font;
  ASSERT_TRUE(DefaultStampFont(&font));
  EXPECT_EQ(font.lfHeight, 0);
  EXPECT_EQ(font.lfWeight, 400);
  EXPECT_EQ(font.lfQuality, 2);
  EXPECT_EQ(std::u16string(font.lfFaceName), u"Undefined");

  install_resources();
  ASSERT_TRUE(DefaultStampFont(&font));
  EXPECT_EQ(font.lfHeight, 72);
  EXPECT_EQ(font.lfWidth, 0);
  EXPECT_EQ(font.lfEscapement, 0);
  EXPECT_EQ(font.lfOrientation, 0);
  EXPECT_EQ(font.lfWeight, 400);
  EXPECT_EQ(font.lfItalic | font.lfUnderline | font.lfStrikeOut, 0);
  EXPECT_EQ(font.lfCharSet, 1);
  EXPECT_EQ(font.lfQuality, 2);
  EXPECT_EQ(font.lfPitchAndFamily, 0);
  EXPECT_EQ(std::u16string(font.lfFaceName), u"DejaVu Sans");
  EXPECT_EQ(morva::settings::resource_module_count_for_test(), 0u);  // no reference kept

  // The defaults carry that font in 357, and its face name (358, the same
  // bytes) stays whole when 358's own default is written after it, as the
  // fill of a fresh pair does.
  std::vector<BYTE> dm(kPrivateDevmodeSize);
  ASSERT_TRUE(ResetItemToDefault(nullptr, dm.data(), 357, nullptr));
  ASSERT_TRUE(ResetItemToDefault(nullptr, dm.data(), 358, nullptr));
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  ASSERT_EQ(GetItemValue(357, dm.data(), nullptr, &type, &size, &v), kDdmOk);
  ASSERT_EQ(size, sizeof(LOGFONTW));
  LOGFONTW stored;
  std::memcpy(&stored, v.ptr, sizeof stored);
  EXPECT_EQ(stored.lfHeight, 72);
  EXPECT_EQ(std::u16string(stored.lfFaceName), u"DejaVu Sans");
  ASSERT_EQ(GetItemValue(358, dm.data(), nullptr, &type, &size, &v), kDdmOk);
  EXPECT_EQ(ItemText(v, size), u"DejaVu Sans");
}

}  // namespace
