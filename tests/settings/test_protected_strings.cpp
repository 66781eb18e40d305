#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "settings/common/common_utils.h"
#include "settings/items/item_access.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

class ProtectedStrings : public ::testing::Test {
 protected:
  morva::test::TempRoot root;

  std::u16string convert(INT mode, const std::u16string& text) {
    LPWSTR out = nullptr;
    EXPECT_TRUE(ConvertProtectedString(mode, text.c_str(), &out)) << mode;
    std::u16string result = out ? out : u"<failed>";
    if (out) GlobalFree(out);
    return result;
  }
};

}  // namespace

TEST_F(ProtectedStrings, RoundTripsAndKnownForm) {
  // "abc" XOR "kqz" = 0x0A 0x13 0x19, whose Base64 is "ChMZ".
  EXPECT_EQ(convert(1, u"abc"), u"ChMZ");
  EXPECT_EQ(convert(0, u"ChMZ"), u"abc");
  for (const char16_t* text : {u"", u"a", u"1234", u"secret code 0042", u"p@ss w0rd!"})
    EXPECT_EQ(convert(0, convert(1, text)), text) << std::string(text, text + std::char_traits<char16_t>::length(text));
}

TEST_F(ProtectedStrings, DoubleByteTextThroughTheAnsiCodePage) {
  ASSERT_TRUE(morva::platform::set_ansi_code_page(932));
  std::u16string text = u"\u65e5\u672c\u8a9e\u30c6\u30b9\u30c8";
  std::u16string encoded = convert(1, text);
  EXPECT_EQ(encoded.size(), 16u);  // 12 bytes -> 16 characters
  EXPECT_EQ(convert(0, encoded), text);
}

TEST_F(ProtectedStrings, WrappedOrPartialGroupsDecode) {
  // Stored texts may carry line breaks, and a final partial group: the
  // decode buffer is sized for what the decoder asks (a whole last group).
  std::u16string encoded = convert(1, u"abcdef");  // 8 characters
  ASSERT_EQ(encoded.size(), 8u);
  std::u16string wrapped = encoded.substr(0, 4) + u"\r\n" + encoded.substr(4);  // 10 characters
  EXPECT_EQ(convert(0, wrapped), u"abcdef");
  EXPECT_EQ(convert(0, u"ChMZ=="), u"abc");  // 6 characters: the last group yields nothing
  LPWSTR out = nullptr;
  EXPECT_FALSE(ConvertProtectedString(0, u"Ch\u00e9Z", &out));  // not Base64
  EXPECT_EQ(out, nullptr);
  EXPECT_FALSE(ConvertProtectedString(1, nullptr, &out));
}

TEST_F(ProtectedStrings, SecurePrintCodeLength) {
  std::vector<BYTE> dm(morva::ddm::kPrivateDevmodeSize), pd(morva::ddm::kPrinterDataSize);
  DWORD minimum = 3;
  ASSERT_EQ(SetItemValueRaw(4366, dm.data(), pd.data(), 3, 2, &minimum), 0);
  auto set_text = [&](WORD id, const std::u16string& text) {
    const char16_t* p = text.c_str();
    ASSERT_TRUE(SetItemValue(id, dm.data(), pd.data(), 0xFFFFFFFFu, 6, &p));
  };
  INT max = 0, min = 0;
  set_text(5130, u"1234");
  EXPECT_TRUE(CheckCodeLength(dm.data(), pd.data(), FALSE, &max, &min));
  EXPECT_EQ(max, 4);
  EXPECT_EQ(min, 3);
  set_text(5130, u"12");
  EXPECT_FALSE(CheckCodeLength(dm.data(), pd.data(), FALSE, &max, &min));
  // The protected code is measured after decoding.
  set_text(5159, convert(1, u"123456789012"));
  EXPECT_TRUE(CheckCodeLength(dm.data(), pd.data(), TRUE, &max, &min));
  EXPECT_EQ(max, 12);
  set_text(5159, convert(1, u"12"));
  EXPECT_FALSE(CheckCodeLength(dm.data(), pd.data(), TRUE, &max, &min));
  // A stored code that does not decode fails the check.
  set_text(5159, u"éééé");
  EXPECT_FALSE(CheckCodeLength(dm.data(), pd.data(), TRUE, &max, &min));
}
