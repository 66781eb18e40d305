#include <gtest/gtest.h>

#include <string>

#include "settings/common/common_utils.h"

namespace {
std::u16string fmt(INT size, const char16_t* templ, auto... args) {
  std::u16string out(static_cast<size_t>(size > 0 ? size : 1), u'#');
  INT n = FormatResourceMessage(out.data(), size, templ, args...);
  std::u16string text(out.c_str());
  EXPECT_EQ(static_cast<size_t>(n), text.size());
  return text;
}
}  // namespace

TEST(PositionalFormatter, ArgumentsByNumber) {
  EXPECT_EQ(fmt(64, u"%2s-%1d", 7, u"x"), u"x-7");
  EXPECT_EQ(fmt(64, u"%1s-%2d", u"x", 7), u"x-7");
  EXPECT_EQ(fmt(64, u"%s and %s", u"a", u"b"), u"a and b");
  EXPECT_EQ(fmt(64, u"%d%%", 50), u"50%");
  EXPECT_EQ(fmt(64, u"%d/%d", -3, 2147483647), u"-3/2147483647");
  EXPECT_EQ(fmt(64, u"no args"), u"no args");
  EXPECT_EQ(fmt(64, u""), u"");
}

TEST(PositionalFormatter, SuppressedAndStrayPlaceholders) {
  // A suppressed placeholder takes its argument but prints nothing.
  EXPECT_EQ(fmt(64, u"[%1S]%2d", u"hidden", 5), u"[]5");
  EXPECT_EQ(fmt(64, u"%1D%2s", 9, u"t"), u"t");
  // A '%' that starts no placeholder is text.
  EXPECT_EQ(fmt(64, u"100% %x %0s %", 1), u"100% %x %0s %");
  // An argument number beyond the placeholder count is its own text.
  EXPECT_EQ(fmt(64, u"%3s|%1d", 4), u"%3s|4");
  // The same number twice shares one argument.
  EXPECT_EQ(fmt(64, u"%1s=%1s", u"v"), u"v=v");
  // A null string prints nothing.
  EXPECT_EQ(fmt(64, u"<%s>", static_cast<const char16_t*>(nullptr)), u"<>");
}

TEST(PositionalFormatter, PiecesThatDoNotFitAreSkipped) {
  // "abc" + "12345" + "z": with 8 characters of room (7 + terminator) the
  // number piece would reach the end, so it is skipped and "z" still fits.
  EXPECT_EQ(fmt(8, u"abc%1dz", 12345), u"abcz");
  EXPECT_EQ(fmt(4, u"abcd"), u"");
  EXPECT_EQ(fmt(5, u"abcd"), u"abcd");
  EXPECT_EQ(fmt(1, u"%1s", u"x"), u"");
  WCHAR out[2] = {u'#', u'#'};
  EXPECT_EQ(FormatResourceMessage(out, 0, u"x"), 0);
  EXPECT_EQ(out[0], u'#');  // no room at all: nothing written
}

TEST(PositionalFormatter, ManyTokens) {
  // More tokens than the classic 19-entry table: all are rendered.
  std::u16string templ;
  for (int i = 0; i < 15; ++i) templ += u"%d,";
  std::u16string out(256, u'#');
  INT n = FormatResourceMessage(out.data(), 256, templ.c_str(), 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14);
  EXPECT_EQ(std::u16string(out.c_str()), u"0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,");
  EXPECT_EQ(n, 35);
}

TEST(PositionalFormatter, ArgumentArray) {
  PositionalArg args[] = {{nullptr, 7}, {u"x", 0}};
  std::u16string out(32, u'#');
  EXPECT_EQ(FormatPositionalMessageArgs(out.data(), 32, u"%2s-%1d", args, 2), 3);
  EXPECT_EQ(std::u16string(out.c_str()), u"x-7");
  // An argument beyond the array is missing: its template text stands.
  EXPECT_EQ(FormatPositionalMessageArgs(out.data(), 32, u"%2s-%1d", args, 1), 5);
  EXPECT_EQ(std::u16string(out.c_str()), u"%2s-7");
}
