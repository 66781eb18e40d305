#include <gtest/gtest.h>

#include <climits>

#include "win/format.h"
#include "win/strings.h"

namespace {

TEST(Strings, CopyConcatAndTruncatingCopy) {
  WCHAR buf[8];
  EXPECT_EQ(lstrcpyW(buf, u"abc"), buf);
  lstrcatW(buf, u"de");
  EXPECT_EQ(std::u16string(buf), u"abcde");
  EXPECT_EQ(lstrlenW(buf), 5);
  EXPECT_EQ(lstrlenW(nullptr), 0);
  // lstrcpyn keeps max-1 characters and always ends the string.
  WCHAR small[4] = {u'x', u'x', u'x', u'x'};
  lstrcpynW(small, u"abcdef", 4);
  EXPECT_EQ(std::u16string(small), u"abc");
  lstrcpynW(small, u"zz", 1);
  EXPECT_EQ(small[0], 0);
  EXPECT_EQ(lstrcpyW(nullptr, u"a"), nullptr);
}

TEST(Strings, Comparisons) {
  struct Case {
    const char16_t* a;
    const char16_t* b;
    int cmp;   // lstrcmpW
    int icmp;  // lstrcmpiW
  } cases[] = {
      {u"abc", u"abc", 0, 0},   {u"abc", u"ABC", -1, 0},     {u"ABC", u"abd", -1, -1},
      {u"a", u"B", -1, -1},     {u"b", u"A", 1, 1},          {u"ab", u"a", 1, 1},
      {u"\u00e9t\u00e9", u"\u00c9T\u00c9", -1, 0},  {u"\u0436", u"\u0416", -1, 0},
      {nullptr, u"a", -1, -1},  {nullptr, nullptr, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(lstrcmpW(c.a, c.b), c.cmp) << morva::u16_to_utf8(morva::u16view(c.a));
    EXPECT_EQ(lstrcmpiW(c.a, c.b), c.icmp) << morva::u16_to_utf8(morva::u16view(c.a));
  }
  EXPECT_EQ(lstrcmpiA("Hello", "hELLO"), 0);
  EXPECT_LT(lstrcmpA("apple", "Banana"), 0);  // word sort, not byte order
}

TEST(Strings, CaseMapping) {
  WCHAR text[] = u"Stra\u00dfe \u00e0\u00ff \u0101 \u03b1\u03c9 \u0444 \uff41 1";
  CharUpperW(text);
  EXPECT_EQ(std::u16string(text), u"STRA\u00dfE \u00c0\u0178 \u0100 \u0391\u03a9 \u0424 \uff21 1");
  CharLowerW(text);
  EXPECT_EQ(std::u16string(text), u"stra\u00dfe \u00e0\u00ff \u0101 \u03b1\u03c9 \u0444 \uff41 1");
  // A character passed in the pointer itself.
  auto up = reinterpret_cast<UINT_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<UINT_PTR>(u'q'))));
  EXPECT_EQ(up, static_cast<UINT_PTR>(u'Q'));
  // Characters without a case stay as they are.
  EXPECT_EQ(morva::u16_upper(u'\u00d7'), u'\u00d7');
  EXPECT_EQ(morva::u16_lower(u'\u3042'), u'\u3042');
}

TEST(Strings, NumberParsing) {
  EXPECT_EQ(_wtoi(u"  -42abc"), -42);
  EXPECT_EQ(_wtoi(u"+7"), 7);
  EXPECT_EQ(_wtoi(u"x1"), 0);
  EXPECT_EQ(_wtoi(u"99999999999"), INT_MAX);
  EXPECT_EQ(_wtoi(u"-99999999999"), INT_MIN);
  EXPECT_EQ(_wtoi(nullptr), 0);
  size_t used = 0;
  EXPECT_EQ(morva::u16_to_integer(u"0x1fZ", 0, &used), 0x1f);
  EXPECT_EQ(used, 4u);
  EXPECT_EQ(morva::u16_to_integer(u"017", 0), 15);
  EXPECT_EQ(morva::u16_to_integer(u"-", 10, &used), 0);
  EXPECT_EQ(used, 0u);
}

TEST(Strings, Utf8RoundTripAndInvalidInput) {
  std::u16string text = u"a\u00e9\u65e5\U0001F600";
  EXPECT_EQ(morva::utf8_to_u16(morva::u16_to_utf8(text)), text);
  EXPECT_EQ(morva::utf8_to_u16("a\xff" "b"), u"a\uFFFDb");
  EXPECT_EQ(morva::utf8_to_u16("\xe6\x97"), u"\uFFFD");  // cut short
  EXPECT_EQ(morva::u16_to_utf8(std::u16string(1, u'\xD800')), "\xef\xbf\xbd");
}

TEST(Format, WideConversions) {
  WCHAR out[1100];
  struct Case {
    std::u16string expected;
    int n;
  };
  EXPECT_EQ(wsprintfW(out, u"%d|%5d|%-5d|%05d|%i", -12, 34, 56, -7, 8), 23);
  EXPECT_EQ(std::u16string(out), u"-12|   34|56   |-0007|8");
  wsprintfW(out, u"%u|%x|%X|%#x|%08lX|%ld|%hd|%hu", 4000000000u, 255, 255, 255, 0xBEEF, -5L, 70000, 70000);
  EXPECT_EQ(std::u16string(out), u"4000000000|ff|FF|0xff|0000BEEF|-5|4464|4464");
  wsprintfW(out, u"%I64d|%I64u|%I64x", -1234567890123LL, 18446744073709551615ULL, 0x123456789ALL);
  EXPECT_EQ(std::u16string(out), u"-1234567890123|18446744073709551615|123456789a");
  wsprintfW(out, u"[%s][%.2s][%6s][%-4s][%S][%hs][%ls]", u"wide", u"abc", u"r", u"l", "ansi", "h", u"L");
  EXPECT_EQ(std::u16string(out), u"[wide][ab][     r][l   ][ansi][h][L]");
  wsprintfW(out, u"%c%C%hc%lc|%%|%s|%.3d|%y", u'\u65e5', 'a', 'b', u'c', static_cast<const char16_t*>(nullptr), 5);
  EXPECT_EQ(std::u16string(out), u"\u65e5abc|%|(null)|005|y");
  // ANSI text is converted through the ANSI code page (1252 by default).
  wsprintfW(out, u"%S", "\xe9");
  EXPECT_EQ(std::u16string(out), u"\u00e9");
}

TEST(Format, OutputStopsAt1024Characters) {
  std::u16string longtext(2000, u'x');
  std::vector<WCHAR> out(2100, u'#');
  EXPECT_EQ(wsprintfW(out.data(), u"%s", longtext.c_str()), 1023);
  EXPECT_EQ(out[1023], 0);
  EXPECT_EQ(out[1024], u'#');
  EXPECT_EQ(morva::format_w(u"%s!", longtext.c_str()).size(), 2001u);
}

TEST(Format, AnsiForms) {
  char out[64];
  EXPECT_EQ(wsprintfA(out, "%s=%d %S %c%C %ls", "k", 3, u"w\u00e9", 'x', u'y', u"z"), 11);
  EXPECT_STREQ(out, "k=3 w\xe9 xy z");
  EXPECT_EQ(morva::format_a("%04X", 0xab), "00AB");
}

}  // namespace
