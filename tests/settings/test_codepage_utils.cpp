#include <gtest/gtest.h>

#include <string>

#include "settings/common/common_utils.h"
#include "temp_root.h"
#include "win/codepage.h"
#include "win/memory.h"

namespace {
class CodePageUtils : public ::testing::Test {
 protected:
  morva::test::TempRoot root;
};
}  // namespace

TEST_F(CodePageUtils, ResolveFallsBackToAnsi) {
  EXPECT_EQ(ResolveCodePage(932), 932u);
  EXPECT_EQ(ResolveCodePage(CP_UTF8), static_cast<UINT>(CP_UTF8));
  EXPECT_EQ(ResolveCodePage(12345), GetACP());
}

TEST_F(CodePageUtils, AllocatingRoundTripsIn932) {
  // "日本語 A" in Shift-JIS.
  const char sjis[] = "\x93\xfa\x96\x7b\x8c\xea A";
  LPWSTR wide = nullptr;
  INT wide_len = 0;
  ASSERT_TRUE(MultiByteToWideAlloc(sjis, &wide, &wide_len, 932));
  EXPECT_EQ(std::u16string(wide), u"日本語 A");
  EXPECT_EQ(wide_len, 6);  // with the terminator
  EXPECT_EQ(GlobalSize(GlobalHandle(wide)), 6 * sizeof(WCHAR));
  LPSTR narrow = nullptr;
  INT narrow_len = 0;
  ASSERT_TRUE(WideToMultiByteAlloc(wide, &narrow, &narrow_len, 932));
  EXPECT_EQ(std::string(narrow), sjis);
  EXPECT_EQ(narrow_len, 8);  // without the terminator
  GlobalFree(GlobalHandle(wide));
  GlobalFree(GlobalHandle(narrow));
}

TEST_F(CodePageUtils, CountedConversionsNeverCutACharacter) {
  const char sjis[] = "\x93\xfa\x96\x7b" "ab";
  EXPECT_EQ(CountMultiByteChars(932, nullptr, sjis, 0), 4);
  WCHAR out[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(CountMultiByteChars(932, out, sjis, 3), 4);
  EXPECT_EQ(std::u16string(out), u"日本");
  // A lead byte at the very end does not swallow the terminator.
  EXPECT_EQ(CountMultiByteChars(932, nullptr, "a\x93", 0), 2);

  EXPECT_EQ(WideToMultiByteCounted(932, u"日本ab", nullptr, 0), 7);  // 6 bytes + 1
  char narrow[6];
  // Room for 5 bytes: "日本" (4) fits, then 'a' (1) fits, 'b' does not.
  EXPECT_EQ(WideToMultiByteCounted(932, u"日本ab", narrow, 6), 5);
  EXPECT_EQ(std::string(narrow), "\x93\xfa\x96\x7b" "a");
  // Room for 3 bytes: the second double-byte character is not cut in half.
  EXPECT_EQ(WideToMultiByteCounted(932, u"日本", narrow, 4), 2);
  EXPECT_EQ(std::string(narrow), "\x93\xfa");
  // A surrogate pair is one character in UTF-8 (4 bytes).
  EXPECT_EQ(WideToMultiByteCounted(CP_UTF8, u"\U0001F600", nullptr, 0), 5);

  LPSTR a = nullptr;
  ASSERT_TRUE(WideToMultiByteAllocCP(932, u"日本ab", &a));
  EXPECT_EQ(std::string(a), "\x93\xfa\x96\x7b" "ab");
  LPWSTR w = nullptr;
  ASSERT_TRUE(MultiByteToWideAllocCP(932, a, &w));
  EXPECT_EQ(std::u16string(w), u"日本ab");
  GlobalFree(GlobalHandle(a));
  GlobalFree(GlobalHandle(w));
}
