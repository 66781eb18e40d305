#include <gtest/gtest.h>

#include <string>

#include "snmp/pmc_string.h"

TEST(PmcString, EmptyStringsShareTheStaticText) {
  CPmcString a, b;
  EXPECT_EQ(a.length(), 0u);
  EXPECT_EQ(a.capacity(), 0u);
  EXPECT_STREQ(a.c_str(), "");
  EXPECT_EQ(a.c_str(), b.c_str());
  a.assign("x");
  a.clear();
  EXPECT_EQ(a.c_str(), b.c_str());
}

TEST(PmcString, CapacityGrowsInSteps) {
  struct Case { std::uint32_t n; std::uint32_t cap; };
  for (Case c : {Case{1, 64}, Case{63, 64}, Case{64, 128}, Case{127, 128}, Case{128, 256}, Case{511, 512},
                 Case{1023, 1024}, Case{1024, 1025}, Case{5000, 5001}}) {
    std::string src(c.n, 'a');
    CPmcString s(src.data(), c.n);
    EXPECT_EQ(s.capacity(), c.cap) << c.n;
    EXPECT_EQ(s.c_str()[c.n], 0);
  }
  std::string big(1023, 'b');
  CPmcString s(big.c_str());
  s.append('c');
  EXPECT_EQ(s.capacity(), 1025u);
  EXPECT_EQ(s.length(), 1024u);
  EXPECT_EQ(s.c_str()[1023], 'c');
}

TEST(PmcString, AppendToItselfAndAssignItself) {
  CPmcString s("abcdefgh");
  s.append(s);
  EXPECT_STREQ(s.c_str(), "abcdefghabcdefgh");
  s.assign(s);
  s.assign(s.c_str());
  EXPECT_STREQ(s.c_str(), "abcdefghabcdefgh");
  std::string longer(100, 'z');
  CPmcString t(longer.c_str());
  t.append(t.c_str(), t.length());  // reallocation while reading its own block
  EXPECT_EQ(t.length(), 200u);
}

TEST(PmcString, SearchEraseSubstr) {
  CPmcString s("abcdabcd");
  EXPECT_EQ(s.find("cd"), 2u);
  EXPECT_EQ(s.find("cd", 3), 6u);
  EXPECT_EQ(s.find("cd", s.length()), CPmcString::npos);
  EXPECT_EQ(s.find_char('\0'), CPmcString::npos);
  EXPECT_EQ(s.find_char('d', 4), 7u);
  EXPECT_EQ(s.rfind("ab"), 4u);
  EXPECT_EQ(s.rfind("ab", 3), 0u);
  EXPECT_EQ(s.rfind_char('a'), 4u);
  EXPECT_EQ(s.rfind("zz"), CPmcString::npos);

  CPmcString t("abcd");
  t.erase(2, 1);
  EXPECT_STREQ(t.c_str(), "abd");
  t.erase(1);
  EXPECT_STREQ(t.c_str(), "a");
  t.erase(0, CPmcString::npos);
  EXPECT_TRUE(t.is_empty());
  EXPECT_EQ(t.capacity(), 0u);

  CPmcString out("keep");
  s.substr(out, 2, 3);
  EXPECT_STREQ(out.c_str(), "cda");
  s.substr(out, s.length());
  EXPECT_TRUE(out.is_empty());
  s.substr(out, 6);
  EXPECT_STREQ(out.c_str(), "cd");
}

TEST(PmcString, DoubleByteAwareSearch) {
  CPmcString::set_ansi_code_page(932);
  // 0x83 0x5C is one character whose trail byte is a backslash.
  CPmcString s("a\x83\x5c" "b\\");
  EXPECT_EQ(s.find_char('\\'), 4u);
  EXPECT_EQ(s.rfind_char('\\'), 4u);
  EXPECT_TRUE(s.is_lead_byte_at(1));
  EXPECT_FALSE(s.is_lead_byte_at(2));
  // Two lead-looking bytes in a row: the second is a trail byte.
  CPmcString t("\x83\x83" "x");
  EXPECT_TRUE(t.is_lead_byte_at(0));
  EXPECT_FALSE(t.is_lead_byte_at(1));
  CPmcString::set_ansi_code_page(1252);
  EXPECT_EQ(s.find_char('\\'), 2u);
}

TEST(PmcString, ComparesUnsignedBytes) {
  CPmcString a("abc"), b("abd"), hi("\xe0");
  EXPECT_EQ(a.compare(b), -1);
  EXPECT_EQ(b.compare(a), 1);
  EXPECT_EQ(a.compare("abc"), 0);
  EXPECT_TRUE(a < hi);  // 0xE0 sorts after ASCII
  EXPECT_TRUE("abc" == a);
  EXPECT_TRUE(a != b);
  EXPECT_TRUE(b >= "abc");
  EXPECT_TRUE("abb" <= a);
}
