#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "render/pdl_encoding.h"

using namespace morva::render;

namespace {

std::vector<BYTE> Bytes(const MemorySink& s) { return {s.data(), s.data() + s.size()}; }

struct VarCase {
  LONG value;
  std::vector<BYTE> bytes;  // empty: only the length is checked
  std::size_t length;
};

}  // namespace

TEST(PdlVarNumber, ExamplesAndBoundariesTakeTheShortestForm) {
  const VarCase cases[] = {
      {0, {0x00}, 1},
      {63, {0x3F}, 1},
      {-1, {0x41}, 1},
      {-63, {0x7F}, 1},
      {64, {0x80, 0x40}, 2},
      {-64, {0xC0, 0x40}, 2},
      {300, {0x82, 0x2C}, 2},
      {8191, {0xBF, 0x7F}, 2},
      {-8191, {}, 2},
      {8192, {0x80, 0xC0, 0x00}, 3},
      {-8192, {}, 3},
      {1048575, {}, 3},
      {1048576, {0x80, 0xC0, 0x80, 0x00}, 4},
      {-1048576, {}, 4},
      {134217727, {}, 4},
      {134217728, {}, 5},
      {-134217728, {}, 5},
      {INT32_MAX, {0x87, 0xFF, 0xFF, 0xFF, 0x7F}, 5},
      {INT32_MIN, {0xC8, 0x80, 0x80, 0x80, 0x00}, 5},
  };
  for (const VarCase& c : cases) {
    SCOPED_TRACE(c.value);
    MemorySink s;
    ASSERT_EQ(Pdl_PutVarNumber(&s, c.value), 0);
    EXPECT_EQ(s.size(), c.length);
    if (!c.bytes.empty()) {
      EXPECT_EQ(Bytes(s), c.bytes);
    }
    LONG back = 0;
    EXPECT_EQ(PdlDecodeVarNumber(s.data(), s.size(), &back), c.length);
    EXPECT_EQ(back, c.value);
    // Cut short by one byte, the number is not decoded.
    EXPECT_EQ(PdlDecodeVarNumber(s.data(), s.size() - 1, &back), 0u);
  }
}

TEST(PdlVarNumber, DecoderRejectsOverlongAndOutOfRangeNumbers) {
  LONG v;
  const BYTE six[] = {0x80, 0x80, 0x80, 0x80, 0x80, 0x00};
  EXPECT_EQ(PdlDecodeVarNumber(six, sizeof six, &v), 0u);
  const BYTE plus_2_31[] = {0x88, 0x80, 0x80, 0x80, 0x00};
  EXPECT_EQ(PdlDecodeVarNumber(plus_2_31, sizeof plus_2_31, &v), 0u);
  const BYTE minus_2_31_plus[] = {0xC8, 0x80, 0x80, 0x80, 0x01};
  EXPECT_EQ(PdlDecodeVarNumber(minus_2_31_plus, sizeof minus_2_31_plus, &v), 0u);
  EXPECT_EQ(PdlDecodeVarNumber(six, 0, &v), 0u);
}

TEST(PdlPrimitives, FixedWidthOperandsAreBigEndian) {
  MemorySink s;
  EXPECT_EQ(Pdl_PutWord(&s, static_cast<DWORD>(-1)), 0);
  EXPECT_EQ(Pdl_PutReal(&s, 1.0f), 0);
  EXPECT_EQ(Pdl_PutTriple(&s, 0x12345678), 0);
  EXPECT_EQ(Pdl_PutDword(&s, 0xA1B2C3D4), 0);
  EXPECT_EQ(Pdl_PutByte(&s, 0x1FF), 0);
  EXPECT_EQ(Pdl_PutWord(&s, Pdl_Opcode("AB")), 0);
  EXPECT_EQ(Bytes(s), (std::vector<BYTE>{0xFF, 0xFF, 0x3F, 0x80, 0x00, 0x00, 0x34, 0x56, 0x78, 0xA1, 0xB2, 0xC3,
                                         0xD4, 0xFF, 0x41, 0x42}));
}

TEST(PdlPrimitives, SinkFailureIsReportedAndTakesNothing) {
  MemorySink s;
  s.FailAbove(3);
  EXPECT_EQ(Pdl_PutWord(&s, 1), 0);
  EXPECT_EQ(Pdl_PutWord(&s, 2), -1);
  EXPECT_EQ(s.size(), 2u);
  // A var number reports the failure of any of its bytes.
  EXPECT_EQ(Pdl_PutVarNumber(&s, 300), -1);
  s.NeverFail();
  EXPECT_EQ(Pdl_PutBytes(&s, nullptr, 4), -1);
  EXPECT_EQ(Pdl_PutBytes(&s, nullptr, 0), 0);
  EXPECT_EQ(Pdl_PutByte(nullptr, 1), -1);
}

TEST(PdlPrimitives, MemorySinkKeepsEveryByteAcrossGrowth) {
  MemorySink s;
  std::vector<BYTE> expect;
  for (int i = 0; i < 3000; ++i) {
    BYTE run[7];
    for (int k = 0; k < 7; ++k) run[k] = static_cast<BYTE>(i + k);
    ASSERT_EQ(Pdl_PutBytes(&s, run, 1 + i % 7), 0);
    expect.insert(expect.end(), run, run + 1 + i % 7);
  }
  std::vector<BYTE> big(10000, 0x5A);
  ASSERT_EQ(Pdl_PutBytes(&s, big.data(), big.size()), 0);
  expect.insert(expect.end(), big.begin(), big.end());
  EXPECT_EQ(Bytes(s), expect);
  s.clear();
  EXPECT_EQ(s.size(), 0u);
}

TEST(PdlTypedValues, FirstTableThenSecond) {
  struct Case {
    int type;
    std::vector<BYTE> expect;  // empty: refused
  };
  const DWORD d = 0x01020304;
  const float real = 1.0f;
  const WORD w = 0xBEEF;
  const BYTE b = 0x7A;
  auto data_for = [&](int type) -> const void* {
    switch (type) {
      case 0: case 1: case 14: return &d;
      case 3: case 11: return &real;
      case 4: case 5: case 9: case 10: case 13: return &w;
      default: return &b;
    }
  };
  const Case cases[] = {
      {0, {0x02, 0x03, 0x04}},      {1, {0x02, 0x03, 0x04}}, {2, {0x7A}},
      {3, {0x3F, 0x80, 0x00, 0x00}},  // refused by the first table, a real by the second
      {4, {0xBE, 0xEF}},            {5, {0xBE, 0xEF}},       {6, {0x7A}},
      {7, {0x7A}},                  {9, {0xBE, 0xEF}},       {10, {0xBE, 0xEF}},
      {11, {0x3F, 0x80, 0x00, 0x00}}, {12, {0x7A}},          {13, {0xBE, 0xEF}},
      {14, {0x01, 0x02, 0x03, 0x04}}, {15, {}},              {-1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    MemorySink s;
    EXPECT_EQ(Pdl_PutTypedValue(&s, c.type, data_for(c.type), 0), c.expect.empty() ? -1 : 0);
    EXPECT_EQ(Bytes(s), c.expect);
  }
  const BYTE raw[] = {1, 2, 3};
  MemorySink s;
  EXPECT_EQ(Pdl_PutTypedValue(&s, 8, raw, 3), 0);
  EXPECT_EQ(Bytes(s), (std::vector<BYTE>{1, 2, 3}));
  // The second table alone refuses the codes only the first one has.
  EXPECT_EQ(Pdl_PutTypedValueAlt(&s, 9, &w, 0), -1);
  EXPECT_EQ(Pdl_PutTypedValueAlt(&s, 3, &real, 0), 0);
}

TEST(PdlFormTests, HasFractionInSinglePrecision) {
  const std::pair<float, int> cases[] = {
      {2.00004f, 0}, {2.0001f, 1}, {2.0f, 0},    {12.5f, 1},      {-3.25f, 1},   {-2.0001f, 1},
      {0.0001f, 1},  {0.00004f, 0}, {1e9f, 0},   {16777216.0f, 0}, {10.0f, 0},   {0.0f, 0},
      {std::numeric_limits<float>::quiet_NaN(), 0}, {std::numeric_limits<float>::infinity(), 0},
  };
  for (auto [x, want] : cases) {
    SCOPED_TRACE(x);
    EXPECT_EQ(Pdl_HasFraction(x) != 0, want != 0);
  }
}

TEST(PdlFormTests, WordRangesOfRealsRectanglesAndFixPoints) {
  const float ok[] = {0.0f, -32768.0f, 32767.0f, 12.0f};
  EXPECT_EQ(Pdl_RealsFitWords(ok, 4), 1);
  for (float bad : {32768.0f, -32769.0f, 1.5f, -0.25f, std::numeric_limits<float>::quiet_NaN()}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(Pdl_RealsFitWords(&bad, 1), 0);
  }

  EXPECT_EQ(Pdl_RectFitsWords({10, 20, 30, 40}), 1);
  EXPECT_EQ(Pdl_RectFitsWords({0, 0, 40000, 10}), 0);
  EXPECT_EQ(Pdl_RectFitsWords({-32768, 0, 32767, 0}), 1);

  const PdlPoint edge[] = {{0x7FFF0, -0x80000}};
  EXPECT_EQ(Pdl_FixPointsFitWords(edge, 1), 1);
  for (PdlPoint bad : {PdlPoint{0x80000, 0}, PdlPoint{0, -0x80010}, PdlPoint{17, 0}, PdlPoint{0, 0x21}}) {
    SCOPED_TRACE(bad.x);
    EXPECT_EQ(Pdl_FixPointsFitWords(&bad, 1), 0);
  }
  EXPECT_EQ(Pdl_FixRectFitsWords({0, 16, 0x7FFF0, -0x80000}), 1);
  EXPECT_EQ(Pdl_FixRectFitsWords({0, 16, 0x80000, 0}), 0);

  const PdlPoint pts[] = {{110, 100}, {111, 99}, {111 + 32767, 99}};
  EXPECT_EQ(Pdl_DeltasFitWords(3, {100, 100}, pts), 1);
  EXPECT_EQ(Pdl_DeltasFitWords(0, {100, 100}, pts), 0);
  const PdlPoint far[] = {{100 - 32769, 100}};
  EXPECT_EQ(Pdl_DeltasFitWords(1, {100, 100}, far), 0);

  const PdlPoint fix[] = {{32, -17}, {-16, 0x7FFF0}};
  PdlPoint whole[2];
  Pdl_FixToWhole(whole, 2, fix);
  EXPECT_EQ(whole[0].x, 2);
  EXPECT_EQ(whole[0].y, -2);  // arithmetic shift rounds toward minus infinity
  EXPECT_EQ(whole[1].x, -1);
  EXPECT_EQ(whole[1].y, 0x7FFF);
}

TEST(PdlFormTests, PackColour) {
  const BYTE grey[] = {0x40};
  const BYTE rgb[] = {0x11, 0x22, 0x33};
  EXPECT_EQ(Pdl_PackColour(grey, kPdlSpaceGrey), 0x404040u);
  EXPECT_EQ(Pdl_PackColour(rgb, kPdlSpaceRgb), 0x112233u);
}
