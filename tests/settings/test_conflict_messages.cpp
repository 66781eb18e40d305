#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "settings/constraints/conflict_messages.h"
#include "settings/constraints/constraint_rules.h"
#include "settings/items/default_settings.h"
#include "settings/items/item_access.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

using namespace morva::ddm;

class ConflictTexts : public ::testing::Test {
 protected:
  morva::test::TempRoot root;
  HMODULE resources = nullptr;

  void SetUp() override {
    std::filesystem::create_directories(root.file("drive_c/driver"));
    std::filesystem::copy_file(std::string(MORVA_BIN_DIR) + "/morvares.xrs", root.file("drive_c/driver/morvares.xrs"));
    resources = LoadLibraryExW(u"C:\\driver\\morvares.xrs", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(resources, nullptr);
  }
  void TearDown() override {
    if (resources) FreeLibrary(resources);
  }
};

struct NumberCase {
  WORD type;
  long long value;
  LONG divisor;
  BOOL integer_only;
  const char16_t* scaled;  // FormatScaledNumber
  const char16_t* range;   // FormatRangeValue
};

TEST_F(ConflictTexts, NumbersByScale) {
  const NumberCase cases[] = {
      {3, 105, 100, FALSE, u"1.05", u"1.5"},
      {3, 100, 100, FALSE, u"1.00", u"1.0"},
      {5, 123456, 1000, FALSE, u"123.456", u"123.456"},
      {5, 1007, 1000, FALSE, u"1.007", u"1.7"},
      {4, -5, 10, FALSE, u"-0.5", u"-0.5"},
      {2, -15, 10, FALSE, u"-1.5", u"-1.5"},
      {10, -15, 10, TRUE, u"-1", u"-1"},
      {4, -5, 10, TRUE, u"0", u"0"},
      {3, 2970, 10, TRUE, u"297", u"297"},
      {8, 25, 10, FALSE, u"2.5", u"2.5"},
      {4, -7, 1, FALSE, u"-7", u"-7"},
      {5, 4000000000, 1, FALSE, u"4000000000", u"4000000000"},
      {2, -32768, 1, TRUE, u"-32768", u"-32768"},
  };
  for (const auto& c : cases) {
    BYTE value[4] = {};
    if (c.type == 2 || c.type == 3) {
      const WORD w = static_cast<WORD>(c.value);
      std::memcpy(value, &w, 2);
    } else if (c.type == 8) {
      value[0] = static_cast<BYTE>(c.value);
    } else {
      const DWORD d = static_cast<DWORD>(c.value);
      std::memcpy(value, &d, 4);
    }
    WCHAR out[kConflictTextChars] = {};
    ASSERT_EQ(FormatScaledNumber(value, c.divisor, c.type, c.integer_only, out, resources), 1) << c.value;
    EXPECT_EQ(std::u16string(out), c.scaled) << c.type << " " << c.value << "/" << c.divisor;
    if (c.divisor == 1 || c.divisor == 10 || c.type == 5 || c.type == 3) {
      ASSERT_EQ(FormatRangeValue(c.integer_only, out, c.divisor, c.type, value), 1);
      EXPECT_EQ(std::u16string(out), c.range) << c.type << " " << c.value << "/" << c.divisor;
    }
  }
  WCHAR out[kConflictTextChars] = {};
  const LONG v = 1;
  EXPECT_EQ(FormatScaledNumber(&v, 1, 1, FALSE, out, resources), 0);
  EXPECT_EQ(FormatScaledNumber(&v, 1, 9, FALSE, out, resources), 0);
  EXPECT_EQ(FormatRangeValue(FALSE, out, 10, 7, &v), 0);
  // Texts are copied whatever the divisor; a text beyond the work buffer is refused.
  ASSERT_EQ(FormatScaledNumber(u"Draft", 100, 6, FALSE, out, resources), 1);
  EXPECT_EQ(std::u16string(out), u"Draft");
  const std::u16string long_text(kConflictTextChars, u'x');
  EXPECT_EQ(FormatScaledNumber(long_text.c_str(), 1, 6, FALSE, out, resources), 0);
}

TEST_F(ConflictTexts, ZeroPaddingCountsMissingPlaces) {
  struct {
    DWORD fraction;
    LONG divisor;
    const char16_t* zeros;  // null: none
  } cases[] = {{5, 100, u"0"}, {0, 100, u"0"}, {50, 100, nullptr}, {7, 1000, u"00"}, {5, 10, nullptr}, {3, 1, nullptr}};
  for (const auto& c : cases) {
    LPWSTR zeros = ZeroPadding(c.fraction, c.divisor);
    if (!c.zeros) {
      EXPECT_EQ(zeros, nullptr) << c.fraction << "/" << c.divisor;
    } else {
      ASSERT_NE(zeros, nullptr) << c.fraction << "/" << c.divisor;
      EXPECT_EQ(std::u16string(zeros), c.zeros);
    }
    if (zeros) GlobalFree(zeros);
  }
}

TEST_F(ConflictTexts, ResourceStringWithinItsSize) {
  LPWSTR out = nullptr;
  ASSERT_EQ(FormatResourceString(resources, &out, 0, 706, u"Paper Size", u"A4"), 1);
  EXPECT_EQ(std::u16string(out), u"Paper Size: A4\n");
  GlobalFree(out);
  // "Paper Size: A4\n" is 15 characters: a size of 17 holds it, 16 does not.
  ASSERT_EQ(FormatResourceString(resources, &out, 17, 706, u"Paper Size", u"A4"), 1);
  GlobalFree(out);
  EXPECT_EQ(FormatResourceString(resources, &out, 16, 706, u"Paper Size", u"A4"), 0);
  EXPECT_EQ(out, nullptr);
  // A long filler is refused rather than cut.
  const std::u16string long_name(kConflictMessageChars, u'n');
  EXPECT_EQ(FormatResourceString(resources, &out, 0, 706, long_name.c_str(), u"A4"), 0);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(FormatResourceString(resources, &out, 0, 59999, u"x"), 0);
  EXPECT_EQ(FormatResourceString(nullptr, &out, 0, 706, u"x", u"y"), 0);
}

TEST_F(ConflictTexts, PaperSizeOfUserAndCustomPapers) {
  std::vector<BYTE> dm(kPrivateDevmodeSize), pd(kPrinterDataSize);
  auto set = [&](WORD ddmid, DWORD value) {
    const DdmidDescriptor* d = dma_Descriptor(ddmid);
    ASSERT_NE(d, nullptr) << ddmid;
    ASSERT_EQ(SetItemValueRaw(ddmid, dm.data(), pd.data(), d->type, dma_TypeSize(d->type), &value), 0)
        << ddmid;
  };
  // User paper slot 1 (code 263) and the custom paper.
  set(5890, 2100), set(5910, 2970), set(1863, 1480), set(1864, 2100);
  const SettingsTarget target{nullptr, dm.data(), pd.data()};
  struct {
    WORD paper;
    ConflictMessageOptions options;
    const char16_t* text;  // null: no text
  } cases[] = {
      {263, {0, 0}, u"(210 x 297 mm)"},
      {263, {1, 0}, u"(8.27 x 11.69 in)"},
      {263, {1, 1}, u"(8.2 x 11.6 in)"},
      {263, {0, 1}, u"(210 x 297 mm)"},
      {256, {0, 0}, u"(148 x 210 mm)"},
      {256, {1, 0}, u"(5.83 x 8.27 in)"},
      {9, {0, 0}, nullptr},
      {286, {0, 0}, nullptr},
  };
  for (const auto& c : cases) {
    WCHAR out[kConflictTextChars] = {u'?'};
    EXPECT_EQ(FormatPaperSizeText(c.paper, &target, resources, out, &c.options), c.text ? 1 : 0) << c.paper;
    EXPECT_EQ(std::u16string(out), c.text ? c.text : u"") << c.paper << " " << c.options.inches;
  }
  // Without the templates there is no text.
  WCHAR out[kConflictTextChars] = {};
  const ConflictMessageOptions mm{0, 0};
  EXPECT_EQ(FormatPaperSizeText(263, &target, nullptr, out, &mm), 0);
  EXPECT_EQ(out[0], 0);
}

TEST(ListedDdmids, AppendsOnceAndKeepsTheTerminator) {
  WORD list[kListedDdmidRoom + 1];
  for (auto& w : list) w = 0xEEEE;
  list[0] = 0;
  EXPECT_EQ(AddToDdmidList(8, list, kListedDdmidRoom), 1);
  EXPECT_EQ(AddToDdmidList(8, list, kListedDdmidRoom), 0);
  for (WORD id = 100; id < 118; ++id) EXPECT_EQ(AddToDdmidList(id, list, kListedDdmidRoom), 1) << id;
  // 19 entries used: the 20th slot stays the terminator.
  EXPECT_EQ(AddToDdmidList(500, list, kListedDdmidRoom), 0);
  EXPECT_EQ(list[18], 117);
  EXPECT_EQ(list[19], 0);
  EXPECT_EQ(list[20], 0xEEEE);
}

}  // namespace
