#include <gtest/gtest.h>

#include <climits>

#include "settings/common/common_utils.h"
#include "win/memory.h"

TEST(ParseNumberString, DecimalAndHexOnly) {
  struct Case {
    const char16_t* text;
    BOOL ok;
    DWORD value;
  } cases[] = {
      {u"0x1F", TRUE, 31},          {u"0X1f", TRUE, 31},       {u"12", TRUE, 12},
      {u"0", TRUE, 0},              {u"0xFFFFFFFF", TRUE, 0xFFFFFFFFu},
      {u"4294967295", TRUE, 0xFFFFFFFFu},
      {u"0X", FALSE, 0},            {u"12a", FALSE, 0},        {u"", FALSE, 0},
      {u"-1", FALSE, 0},            {u" 1", FALSE, 0},         {u"0x1G", FALSE, 0},
      {u"4294967296", FALSE, 0},    {u"0x100000000", FALSE, 0},
  };
  for (const Case& c : cases) {
    DWORD v = 12345;
    EXPECT_EQ(ParseNumberString(c.text, &v), c.ok) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
    if (c.ok) {
      EXPECT_EQ(v, c.value);
    }
  }
  DWORD v;
  EXPECT_FALSE(ParseNumberString(nullptr, &v));
}

TEST(WStrToInt, BehavesLikeTheRuntimeRoutine) {
  EXPECT_EQ(WStrToInt(u"  -42x"), -42);
  EXPECT_EQ(WStrToInt(u"+7"), 7);
  EXPECT_EQ(WStrToInt(u"abc"), 0);
  EXPECT_EQ(WStrToInt(nullptr), 0);
  EXPECT_EQ(WStrToInt(u"99999999999"), INT_MAX);
  EXPECT_EQ(WStrToInt(u"-99999999999"), INT_MIN);
  EXPECT_EQ(WStrToInt(u"-2147483648"), INT_MIN);
}

TEST(UnitConversion, MetricAndInchRoundBothSigns) {
  struct Case {
    LONG metric;
    LONG inch;
    LONG remainder;
  } cases[] = {
      {2970, 1169, 7},   // A4 length: 297 mm
      {-2970, -1169, 7},
      {2100, 827, 2},    // A4 width
      {0, 0, 5},
      {254, 100, 5},
      {1, 0, 8},
  };
  for (const Case& c : cases) {
    LONG rem = -1;
    EXPECT_EQ(MetricToInch(c.metric, &rem), c.inch) << c.metric;
    EXPECT_EQ(rem, c.remainder) << c.metric;
  }
  EXPECT_EQ(MetricToInch(2970, nullptr), 1169);
  // Large values are computed without overflow.
  EXPECT_EQ(MetricToInch(INT_MIN, nullptr), -845466003);
  EXPECT_EQ(InchToMetric(850), 2159);   // letter width 8.5 in
  EXPECT_EQ(InchToMetric(1100), 2794);  // letter length 11 in
  EXPECT_EQ(InchToMetric(-850), -2159);
  EXPECT_EQ(InchToMetric(1), 3);  // 0.254 mm rounds to 0.3
  EXPECT_EQ(InchToMetric(100000000), 254000000);
  EXPECT_EQ(InchToMetric(INT_MAX), INT_MAX);  // saturates instead of wrapping
  EXPECT_EQ(InchToMetric(INT_MIN), INT_MIN);

  WORD whole = 0, fraction = 0;
  SplitHundredths(FALSE, 1169, &whole, &fraction);
  EXPECT_EQ(whole, 11);
  EXPECT_EQ(fraction, 69);
  SplitHundredths(TRUE, 1169, &whole, &fraction);
  EXPECT_EQ(fraction, 6);
  SplitHundredths(FALSE, 65535, &whole, &fraction);
  EXPECT_EQ(whole, 655);
  EXPECT_EQ(fraction, 35);
}

TEST(CapabilityBits, NamedBitsAndMasks) {
  DeviceCapabilityBits bits{{0x00400001u, 0x80000000u, 0x00000002u}};
  EXPECT_TRUE(TestCapabilityBit(&bits, 0xFFFF0000u));   // bit 0 of word 0
  EXPECT_TRUE(TestCapabilityBit(&bits, 0xFFFF0016u));   // bit 22
  EXPECT_FALSE(TestCapabilityBit(&bits, 0xFFFF0001u));
  EXPECT_TRUE(TestCapabilityBit(&bits, 0xFFFF003Fu));   // bit 63 = bit 31 of word 1
  EXPECT_TRUE(TestCapabilityBit(&bits, 0xFFFF0041u));   // bit 65 = bit 1 of word 2
  EXPECT_FALSE(TestCapabilityBit(&bits, 0xFFFF0060u));  // beyond the three words
  EXPECT_FALSE(TestCapabilityBit(&bits, 0xFFFF00FFu));
  EXPECT_TRUE(TestCapabilityBit(&bits, 0x00400000u));   // mask on word 0
  EXPECT_FALSE(TestCapabilityBit(&bits, 0x80000000u));  // word 1's bit is not in word 0
  EXPECT_FALSE(TestCapabilityBit(nullptr, 0xFFFF0000u));
}

TEST(LegacyDdmidMap, RunsGapsAndTheIdentityFormat) {
  struct Case {
    WORD old_id;
    DWORD version;
    BOOL ok;
    WORD ddmid;
  } cases[] = {
      {1, 0, TRUE, 1},          {25, 0, TRUE, 25},        {26, 0, FALSE, 0},
      {289, 0, TRUE, 1832},     {290, 0, TRUE, 1833},     {291, 0, TRUE, 291},
      {337, 0, TRUE, 1829},     {347, 0, TRUE, 1831},     {378, 0, TRUE, 1830},
      {415, 0, TRUE, 1834},     {434, 0, TRUE, 1853},     {435, 0, TRUE, 435},
      {448, 0, FALSE, 0},       {4097, 0, TRUE, 448},     {4104, 0, TRUE, 455},
      {4105, 0, TRUE, 458},     {4129, 0, TRUE, 482},     {449, 0, TRUE, 1281},
      {463, 0, TRUE, 4129},     {512, 0, TRUE, 1347},     {980, 0, TRUE, 1367},
      {981, 0, FALSE, 0},       {983, 0, FALSE, 0},       {985, 0, TRUE, 1372},
      {569, 0, TRUE, 1878},     {570, 0, FALSE, 0},       {586, 0, FALSE, 0},
      {587, 0, TRUE, 1896},     {2560, 0, TRUE, 2560},    {831, 0, TRUE, 4371},
      {928, 0, TRUE, 4640},     {1037, 0, TRUE, 456},     {1119, 0, TRUE, 5215},
      {1281, 0, TRUE, 8201},    {1282, 0, FALSE, 0},      {1298, 0, TRUE, 8203},
      {1330, 0, TRUE, 5918},    {1675, 0, FALSE, 0},      {1679, 0, TRUE, 8225},
      {8235, 0, TRUE, 1370},    {8236, 0, FALSE, 0},      {0, 0, FALSE, 0},
      // Format 20482 kept these ids; others still map.
      {448, 20482, TRUE, 448},  {450, 20482, TRUE, 450},  {1281, 20482, TRUE, 1281},
      {1330, 20482, TRUE, 1330}, {1331, 20482, TRUE, 5929}, {451, 20482, TRUE, 1283},
  };
  for (const Case& c : cases) {
    WORD out = 0;
    EXPECT_EQ(MapLegacyCode(c.old_id, &out, c.version), c.ok) << c.old_id << " v" << c.version;
    if (c.ok) {
      EXPECT_EQ(out, c.ddmid) << c.old_id << " v" << c.version;
    }
  }
}

TEST(CountryDefaults, TableRowsAndPaperFamily) {
  BYTE a = 9, b = 9;
  EXPECT_TRUE(LookupCountryDefaults(1, &a, &b));
  EXPECT_EQ(a, 4);
  EXPECT_EQ(b, 0);
  EXPECT_TRUE(LookupCountryDefaults(86, &a, &b));
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 1);
  EXPECT_TRUE(LookupCountryDefaults(81, &a, &b));
  EXPECT_EQ(a, 1);
  EXPECT_TRUE(LookupCountryDefaults(593, &a, &b));
  EXPECT_EQ(a, 3);
  EXPECT_FALSE(LookupCountryDefaults(53, &a, &b));
  EXPECT_FALSE(LookupCountryDefaults(0, &a, &b));

  for (INT letter : {1, 2, 50, 54, 56, 59, 500, 592, 594, 599}) EXPECT_EQ(PaperFamilyOfCountry(letter), 0) << letter;
  for (INT other : {0, 3, 49, 55, 60, 81, 499, 593, 600, -1}) EXPECT_EQ(PaperFamilyOfCountry(other), 1) << other;
}

TEST(ProtectedStringSizes, DecodeBufferHoldsWhatTheDecoderAsksFor) {
  EXPECT_EQ(Base64EncodedLength(0), 1);
  EXPECT_EQ(Base64EncodedLength(1), 5);
  EXPECT_EQ(Base64EncodedLength(3), 5);
  EXPECT_EQ(Base64EncodedLength(4), 9);
  EXPECT_EQ(Base64EncodedLength(-1), -10);
  EXPECT_EQ(Base64DecodedLength(-1), -10);
  // The decoder wants 3 x ((n + 3) / 4) bytes of room; the buffer must hold
  // that plus a terminator for every length, including partial groups.
  for (INT n = 0; n < 64; ++n) EXPECT_GE(Base64DecodedLength(n), 3 * ((n + 3) / 4) + 1) << n;
}

TEST(GlobalBlockSize, AnswersTheRealSize) {
  HGLOBAL block = GlobalAlloc(GPTR, 100);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GetGlobalBlockSize(GlobalLock(block)), 100u);
  GlobalUnlock(block);
  GlobalFree(block);
  EXPECT_EQ(GetGlobalBlockSize(nullptr), 0u);
}
