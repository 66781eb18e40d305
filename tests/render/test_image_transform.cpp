// Image turning and resolution reduction: the turned pixel order, the
// weight tables, the output sizes and the averaged rows.
#include <gtest/gtest.h>

#include <vector>

#include "render/image_transform.h"

using namespace morva::render;

namespace {

using Bytes = std::vector<BYTE>;

TEST(ImageTurn, TurnsAQuarterClockwiseAtEveryDepth) {
  FlipBuffer* flip = CreateFlipBuffer();
  ASSERT_NE(flip, nullptr);
  for (DWORD bits : {8u, 16u, 24u, 32u}) {
    const DWORD n = bits / 8;
    // a b c / d e f, each pixel n bytes of its letter.
    Bytes src;
    for (char ch : std::string("abcdef")) src.insert(src.end(), n, static_cast<BYTE>(ch));
    BYTE* out = nullptr;
    ASSERT_EQ(TurnImage(flip, 3, 2, 3 * n, bits, src.data(), 1, &out), 0) << bits;
    Bytes expected;
    for (char ch : std::string("daebfc")) expected.insert(expected.end(), n, static_cast<BYTE>(ch));
    EXPECT_EQ(Bytes(out, out + 6 * n), expected) << bits;
  }
  BYTE* out = nullptr;
  BYTE one = 0;
  EXPECT_EQ(TurnImage(flip, 1, 1, 1, 1, &one, 1, &out), 1);
  // Rows padded to an alignment: 2 rows of 3 bytes become rows of 4.
  const Bytes src = {1, 2, 3, 4, 5, 6};
  ASSERT_EQ(TurnImage(flip, 3, 2, 3, 8, src.data(), 4, &out), 0);
  EXPECT_EQ(Bytes(out, out + 12), (Bytes{4, 1, 0, 0, 5, 2, 0, 0, 6, 3, 0, 0}));
  FreeFlipBuffer(flip);
}

TEST(ImageReduce, WeightTablesSplitSharedPixels) {
  auto w = ImageReducer_BuildWeights(3, 2);
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(w[0].start, 0);
  EXPECT_EQ(w[0].start_weight, 256);
  EXPECT_EQ(w[0].end, 1);
  EXPECT_EQ(w[0].end_weight, 128);
  EXPECT_EQ(w[1].start, 1);
  EXPECT_EQ(w[1].start_weight, 128);
  EXPECT_EQ(w[1].end, 2);
  EXPECT_EQ(w[1].end_weight, 256);
  auto even = ImageReducer_BuildWeights(4, 2);
  EXPECT_EQ(even[0].end, 1);
  EXPECT_EQ(even[0].end_weight, 256);
  EXPECT_EQ(even[1].start, 2);
  EXPECT_EQ(even[1].start_weight, 256);
}

TEST(ImageReduce, OutputSizesFollowTheTargetWithinFourteenToOne) {
  ImageReducer* r = ImageReducer_Create();
  ASSERT_EQ(ImageReducer_Init(r, 1, 600, 600, 300), 1);
  struct Case {
    DWORD src, dst, out;
  } cases[] = {{2000, 1000, 500}, {100, 1000, 100}, {2000, 100, 143}, {10, 1, 1}};
  for (const Case& c : cases) {
    DWORD w = 0, h = 0;
    ASSERT_EQ(ImageReducer_OutputSize(r, c.src, c.src, c.dst, c.dst, &w, &h), 1);
    EXPECT_EQ(w, c.out) << c.src << " for " << c.dst;
    EXPECT_EQ(h, c.out);
  }
  EXPECT_EQ(ImageReducer_SetSizes(r, 100, 100, 0, 10), 0);
  EXPECT_EQ(ImageReducer_SetSizes(r, 100, 100, 200, 10), 0);
  EXPECT_EQ(ImageReducer_SetSizes(r, 150, 100, 10, 10), 0);  // 15:1
  EXPECT_EQ(ImageReducer_SetSizes(r, 140, 100, 10, 10), 1);
  ImageReducer_Destroy(r);
}

TEST(ImageReduce, RowsAreAveragedAcrossAndDown) {
  ImageReducer* r = ImageReducer_Create();
  ASSERT_EQ(ImageReducer_Init(r, 1, 600, 600, 300), 1);
  ASSERT_EQ(ImageReducer_SetSizes(r, 3, 3, 2, 2), 1);
  // Grey levels per row (all three bytes alike): 0 90 180 / 30 120 210 / 60 150 240.
  std::vector<Bytes> rows;
  for (int y = 0; y < 3; ++y) {
    Bytes row;
    for (int x = 0; x < 3; ++x) row.insert(row.end(), 3, static_cast<BYTE>(30 * y + 90 * x));
    rows.push_back(row);
  }
  std::vector<Bytes> out;
  for (const Bytes& row : rows) {
    INT n = ImageReducer_PutRow(r, row.data(), 9, 24);
    ASSERT_GE(n, 0);
    if (n) {
      Bytes o(n);
      ImageReducer_GetRow(r, o.data());
      out.push_back(o);
    }
  }
  ASSERT_EQ(out.size(), 2u);
  // Across: (v0 * 256 + v1 * 128) / 384 and (v1 * 128 + v2 * 256) / 384;
  // down the same with the rows.
  auto cell = [](int a, int b, int c, int d) {  // top-left weights 256/128 both ways
    int top = (a * 256 + b * 128 + 192) / 384, bottom = (c * 256 + d * 128 + 192) / 384;
    return static_cast<BYTE>((top * 256 + bottom * 128 + 192) / 384);
  };
  EXPECT_EQ(out[0][0], cell(0, 90, 30, 120));
  EXPECT_EQ(out[1][3], static_cast<BYTE>(((120 * 128 + 210 * 256 + 192) / 384 * 128 +
                                          (150 * 128 + 240 * 256 + 192) / 384 * 256 + 192) / 384));
  EXPECT_EQ(ImageReducer_PutRow(r, rows[0].data(), 9, 24), -1);  // past the last output row
  ImageReducer_Destroy(r);
}

TEST(ImageTurn, PagesTurnImagesWhenThePaperRunsTheOtherWay) {
  struct Case {
    WORD first, second, paper;
    DWORD direction;
  } words[] = {{0x0101, 0, 9, 1}, {0x0202, 0, 9, 1}, {0x0303, 0, 9, 2}, {0x0404, 0, 9, 2}, {0x0606, 0, 9, 2},
               {0x0606, 0, 8, 1}, {0x0606, 0x0303, 77, 2}, {0x0000, 0x0101, 9, 1}, {0x0505, 0, 9, 0}};
  for (const Case& c : words)
    EXPECT_EQ(FeedDirectionFromTrayWords(c.first, c.second, c.paper), c.direction) << std::hex << c.first;
  EXPECT_EQ(FeedDirectionFromDatabase(1, 1, 0), 1u);
  EXPECT_EQ(FeedDirectionFromDatabase(2, 1, 0), 2u);
  EXPECT_EQ(FeedDirectionFromDatabase(3, 1, 0), 2u);
  EXPECT_EQ(FeedDirectionFromDatabase(3, 4, 1), 2u);
  EXPECT_EQ(FeedDirectionFromDatabase(3, 4, 0), 1u);
  EXPECT_EQ(FeedDirectionFromDatabase(0, 1, 0), 0u);
  EXPECT_EQ(WantedFeedDirection(2, 1), 1u);
  EXPECT_EQ(WantedFeedDirection(8, 2), 2u);
  EXPECT_EQ(WantedFeedDirection(1, 1), 2u);
  EXPECT_EQ(ShouldTurnImagesFor(1, 2), 1u);
  EXPECT_EQ(ShouldTurnImagesFor(2, 2), 0u);
  EXPECT_EQ(ShouldTurnImagesFor(0, 1), 0u);  // no database entry: no turn
}

}  // namespace
