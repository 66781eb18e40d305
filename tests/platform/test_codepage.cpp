#include <gtest/gtest.h>

#include <string>

#include "temp_root.h"
#include "win/codepage.h"
#include "win/errors.h"
#include "win/strings.h"

namespace {

std::u16string to_wide(UINT cp, const std::string& bytes, DWORD flags = 0) {
  int n = MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(n), u'\0');
  if (n) {
    EXPECT_EQ(MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), out.data(), n), n);
  }
  return out;
}

std::string to_bytes(UINT cp, const std::u16string& text, DWORD flags = 0, BOOL* used = nullptr,
                     const char* dflt = nullptr) {
  int n = WideCharToMultiByte(cp, flags, text.data(), static_cast<int>(text.size()), nullptr, 0, dflt, used);
  std::string out(static_cast<size_t>(n), '\0');
  if (n) {
    EXPECT_EQ(WideCharToMultiByte(cp, flags, text.data(), static_cast<int>(text.size()), out.data(), n, dflt, used), n);
  }
  return out;
}

class CodePage : public ::testing::Test {
 protected:
  morva::test::TempRoot root_;
};

TEST_F(CodePage, RoundTrips) {
  struct Case {
    UINT cp;
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {1252, "caf\xe9 \x80 \x9f \x81", u"caf\u00e9 \u20ac \u0178 \u0081"},
      {932, "\x93\xfa\x96\x7b abc \xb1", u"\u65e5\u672c abc \uff71"},
      {932, "\x81\x5f\x5c", u"\uff3c\\"},
      {CP_UTF8, "\xe6\x97\xa5\xf0\x9f\x98\x80", u"\u65e5\U0001F600"},
      {1251, "\xc0\xff", u"\u0410\u044f"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(to_wide(c.cp, c.bytes), c.text) << c.cp;
    BOOL used = TRUE;
    EXPECT_EQ(to_bytes(c.cp, c.text, 0, c.cp == CP_UTF8 ? nullptr : &used), c.bytes) << c.cp;
    if (c.cp != CP_UTF8) {
      EXPECT_FALSE(used);
    }
  }
  // Every byte of 1252 survives a round trip.
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(to_bytes(1252, to_wide(1252, all)), all);
}

TEST_F(CodePage, UnmappableCharactersAndBestFit) {
  struct Case {
    UINT cp;
    std::u16string text;
    DWORD flags;
    const char* dflt;
    std::string bytes;
    BOOL used;
  } cases[] = {
      {1252, u"\u0101x", 0, nullptr, "ax", FALSE},                      // best fit drops the mark
      {1252, u"\u0101x", WC_NO_BEST_FIT_CHARS, nullptr, "?x", TRUE},
      {1252, u"\u65e5", 0, nullptr, "?", TRUE},
      {1252, u"\u65e5", 0, "*", "*", TRUE},
      {1252, u"\U0001F600", WC_NO_BEST_FIT_CHARS, nullptr, "?", TRUE},  // one default per pair
      {932, u"\u00e9", WC_NO_BEST_FIT_CHARS, nullptr, "?", TRUE},
      {932, u"\uff21", 0, nullptr, "\x82\x60", FALSE},                  // exact full-width A
      {1252, u"\uff21", 0, nullptr, "A", FALSE},                        // best fit to A
  };
  for (const auto& c : cases) {
    BOOL used = 7;
    EXPECT_EQ(to_bytes(c.cp, c.text, c.flags, &used, c.dflt), c.bytes) << c.cp << " " << morva::u16_to_utf8(c.text);
    EXPECT_EQ(used, c.used) << c.cp << " " << morva::u16_to_utf8(c.text);
  }
}

TEST_F(CodePage, InvalidInput) {
  // Undecodable bytes become a default character, or fail when asked.
  EXPECT_EQ(to_wide(CP_UTF8, "a\xc0\xaf" "b"), u"a\uFFFD\uFFFDb");
  EXPECT_EQ(to_wide(932, "a\x81"), u"a\u30FB");  // lead byte without trail
  for (auto [cp, bytes] : {std::pair<UINT, std::string>{CP_UTF8, "\xed\xa0\x80"}, {932, "\x81"}, {932, "\x85\x40"}}) {
    WCHAR out[8];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), out, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION)) << cp;
  }
  char out[8];
  std::u16string lone(1, u'\xDC00');
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone.data(), 1, out, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  EXPECT_EQ(to_bytes(CP_UTF8, lone), "\xef\xbf\xbd");
  BOOL used;
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, out, 8, nullptr, &used), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(CodePage, LengthsAndBuffers) {
  WCHAR w[4];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);  // the 0 counts
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, w, 4), 4);
  EXPECT_EQ(w[3], 0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcd", -1, w, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 0, w, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(MultiByteToWideChar(12345, 0, "abc", 3, w, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  char a[3];
  EXPECT_EQ(WideCharToMultiByte(932, 0, u"\u65e5\u65e5", -1, a, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(CodePage, AnsiCodePageIsAMachineSetting) {
  EXPECT_EQ(GetACP(), 1252u);
  EXPECT_EQ(GetOEMCP(), 437u);
  EXPECT_FALSE(IsDBCSLeadByte(0x82));
  EXPECT_EQ(to_wide(CP_ACP, "\x82\xa0"), u"\u201a\u00a0");
  ASSERT_TRUE(morva::platform::set_ansi_code_page(932));
  EXPECT_EQ(GetACP(), 932u);
  EXPECT_EQ(GetOEMCP(), 932u);
  EXPECT_TRUE(IsDBCSLeadByte(0x82));
  EXPECT_EQ(to_wide(CP_ACP, "\x82\xa0"), u"\u3042");
  EXPECT_EQ(morva::u16_to_ansi(u"\u3042"), "\x82\xa0");
  EXPECT_FALSE(morva::platform::set_ansi_code_page(12345));
}

TEST_F(CodePage, CodePageInfo) {
  CPINFO info{};
  ASSERT_TRUE(GetCPInfo(932, &info));
  EXPECT_EQ(info.MaxCharSize, 2u);
  EXPECT_EQ(info.DefaultChar[0], '?');
  const BYTE leads[] = {0x81, 0x9f, 0xe0, 0xfc, 0, 0};
  EXPECT_EQ(0, memcmp(info.LeadByte, leads, sizeof leads));
  ASSERT_TRUE(GetCPInfo(1252, &info));
  EXPECT_EQ(info.MaxCharSize, 1u);
  EXPECT_EQ(info.LeadByte[0], 0);
  ASSERT_TRUE(GetCPInfo(CP_UTF8, &info));
  EXPECT_EQ(info.MaxCharSize, 4u);
  EXPECT_FALSE(GetCPInfo(4, &info));
  struct Lead {
    BYTE b;
    BOOL lead;
  } cases[] = {{0x80, FALSE}, {0x81, TRUE}, {0x9f, TRUE}, {0xa0, FALSE}, {0xdf, FALSE}, {0xe0, TRUE}, {0xfc, TRUE}, {0x41, FALSE}};
  for (auto c : cases) EXPECT_EQ(IsDBCSLeadByteEx(932, c.b), c.lead) << int(c.b);
  EXPECT_FALSE(IsDBCSLeadByteEx(1252, 0x81));
}

}  // namespace
