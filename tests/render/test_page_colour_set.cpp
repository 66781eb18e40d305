// The page colour set: counting distinct colours by mode, switching off on
// overflow, feeding pixel rows and the colour mode byte it reports.
#include <gtest/gtest.h>

#include <vector>

#include "render/page_colour_set.h"

using namespace morva::render;

namespace {

PageColourSet make(DWORD capacity, DWORD mode) {
  PageColourSet s{};
  EXPECT_EQ(PageColourSet_Init(&s, 1, capacity, mode), 0);
  return s;
}

TEST(PageColourSet, InitRefusesMoreThanFifteenAndFillsSlotsWithWhite) {
  PageColourSet s{};
  s.count = 7;
  EXPECT_EQ(PageColourSet_Init(&s, 1, 16, 0), -1);
  EXPECT_EQ(s.count, 7);
  EXPECT_EQ(PageColourSet_Init(&s, 1, 15, 0), 0);
  EXPECT_EQ(s.count, 0);
  for (DWORD c : s.colours) EXPECT_EQ(c, 0xFFFFFFu);
}

TEST(PageColourSet, ModesDecideWhatCounts) {
  struct Case {
    DWORD mode;
    std::vector<DWORD> added;
    WORD count;
  } cases[] = {
      {0, {0xFFFFFF, 0xFF0000, 0xFF0000}, 1},  // white skipped, repeats once
      {1, {0xFFFFFF, 0xFF0000}, 2},            // white counts
      {2, {0x808080, 0x101010, 0xFFFFFF}, 1},  // greys fold into black
      {2, {0x808080, 0x000000, 0x00FF00}, 2},
  };
  for (const Case& c : cases) {
    PageColourSet s = make(15, c.mode);
    for (DWORD v : c.added) EXPECT_EQ(PageColourSet_Add(&s, v), 0);
    EXPECT_EQ(s.count, c.count) << "mode " << c.mode;
  }
  PageColourSet s = make(15, 3);
  EXPECT_EQ(PageColourSet_Add(&s, 0x123456), -1);
  EXPECT_EQ(PageColourSet_Add(nullptr, 0), -1);
}

TEST(PageColourSet, FifteenColoursReportTheCountASixteenthSwitchesOff) {
  PageColourSet s = make(15, 0);
  for (DWORD i = 0; i < 15; ++i) PageColourSet_Add(&s, i * 0x010203);
  BYTE out = 0;
  EXPECT_EQ(s.enabled, 1u);
  EXPECT_EQ(s.count, 15);
  PageColourSet_GetColourMode(&s, 2, &out);
  EXPECT_EQ(out, 0xF2);
  PageColourSet_GetColourMode(&s, 1, &out);
  EXPECT_EQ(out, 1);
  PageColourSet_Add(&s, 0xABCDEF);
  EXPECT_EQ(s.enabled, 0u);
  PageColourSet_GetColourMode(&s, 2, &out);
  EXPECT_EQ(out, 2);
}

TEST(PageColourSet, RowsOfEveryDepthAddTheirColours) {
  const BYTE rgb_palette[] = {0, 0, 0, 255, 0, 0, 0, 0, 255, 255, 255, 255};
  const BYTE grey_palette[] = {0, 0x40, 0x80, 0xFF};
  struct Case {
    DWORD bits;
    BOOL colour;
    const BYTE* palette;
    std::vector<BYTE> rows;
    DWORD width, height;
    std::vector<DWORD> expected;
  } cases[] = {
      {1, TRUE, rgb_palette, {0x80, 0x00}, 9, 1, {0xFF0000, 0x000000}},
      {4, TRUE, rgb_palette, {0x12, 0x30}, 3, 1, {0xFF0000, 0x0000FF}},
      {8, FALSE, grey_palette, {1, 2, 3, 1}, 2, 2, {0x404040, 0x808080}},
      {24, TRUE, nullptr, {1, 2, 3, 1, 2, 3, 9, 9, 9}, 3, 1, {0x010203, 0x090909}},
      {24, FALSE, nullptr, {7, 8}, 2, 1, {0x070707, 0x080808}},
  };
  for (const Case& c : cases) {
    PageColourSet s = make(15, 0);
    EXPECT_EQ(PageColourSet_AddRows(&s, c.rows.data(), c.width, c.height, c.bits, c.colour, c.palette), 0);
    ASSERT_EQ(s.count, c.expected.size()) << c.bits;
    for (std::size_t i = 0; i < c.expected.size(); ++i) EXPECT_EQ(s.colours[i + 1], c.expected[i]) << c.bits;
  }
  PageColourSet s = make(15, 0);
  EXPECT_EQ(PageColourSet_AddRows(&s, rgb_palette, 1, 1, 16, TRUE, nullptr), -1);
}

TEST(PageColourSet, ListsMergeWhileTheSetCollects) {
  PageColourSet a = make(2, 0), b = make(15, 0);
  PageColourSet_Add(&a, 0x111111);
  for (DWORD c : {0x111111u, 0x222222u, 0x333333u}) PageColourSet_Add(&b, c);
  EXPECT_EQ(PageColourSet_AddList(&a, &b), 0);
  EXPECT_EQ(a.enabled, 0u);
  EXPECT_EQ(PageColourSet_AddList(&a, nullptr), -1);
}

}  // namespace
