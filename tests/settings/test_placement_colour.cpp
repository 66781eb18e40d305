// Placement of a turned box, finishing derivation, colour adjustment and
// the profile header check, against hand-computed values.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "settings/devmode/placement_colour.h"
#include "temp_root.h"

namespace {

// ---- placement ---------------------------------------------------------------

struct PlacementCase {
  const char* name;
  PlacementSize area, box;
  SHORT angle;
  WORD mode, alignment;
  INT result;
  float m11, m12;
  float offsetX, offsetY;
  float cellW, cellH;
  WORD columns, rows;
};

TEST(Placement, KnownPlacements) {
  const float c30 = 0.8660254f;
  const PlacementCase cases[] = {
      // Tiling: a quarter turn swaps the box's sides; 4 x 2 cells of 50 x 100.
      {"tiled 90", {200, 200}, {100, 50}, 90, 0, 0, 8, 0, 1, 0, 100, 50, 100, 4, 2},
      // Partial cells round up: 250 / 100 gives 3 columns.
      {"tiled 0", {250, 100}, {100, 50}, 0, 0, 0, 6, 1, 0, 0, 0, 100, 50, 3, 2},
      {"tiled empty area", {0, 100}, {100, 50}, 0, 0, 0, 0, 1, 0, 0, 0, 100, 50, 0, 2},
      // Centred: (75, 50) added to the turn's own offset (0, 100).
      {"centred 90", {200, 200}, {100, 50}, 90, 0, 0x202, 1, 0, 1, 75, 150, 0, 0, 0, 0},
      {"left top 0", {200, 200}, {100, 50}, 0, 0, 0x101, 1, 1, 0, 0, 0, 0, 0, 0, 0},
      {"right bottom 0", {200, 200}, {100, 50}, 0, 0, 0x303, 1, 1, 0, 100, 150, 0, 0, 0, 0},
      // Negative angle: offset (sin 30 x bh, 0), the matrix holds sin(-30).
      {"left top -30", {500, 500}, {100, 50}, -30, 0, 0x101, 1, c30, -0.5f, 25, 0, 0, 0, 0, 0},
      // Extent (100 cos 30 + 25, 50 + 50 cos 30) centred on 500 x 500.
      {"centred 30", {500, 500}, {100, 50}, 30, 0, 0x202, 1, c30, 0.5f, 250 - (86.60254f + 25) / 2,
       50 + 250 - (50 + 43.30127f) / 2, 0, 0, 0, 0},
      // About the centre: offset (25, 75) keeps the centre (50, 25) in place.
      {"centre turn 90", {200, 200}, {100, 50}, 90, 2, 0x101, 1, 0, 1, 25, 75, 0, 0, 0, 0},
      {"centre turn 90 right bottom", {200, 200}, {100, 50}, 90, 2, 0x303, 1, 0, 1, 125, 225, 0, 0, 0, 0},
      // Half and three-quarter turns keep the box on the area.
      {"left top 180", {200, 200}, {100, 50}, 180, 0, 0x101, 1, -1, 0, 100, 50, 0, 0, 0, 0},
      {"left top 270", {200, 200}, {100, 50}, 270, 0, 0x101, 1, 0, -1, 50, 0, 0, 0, 0, 0},
      {"left top -90", {200, 200}, {100, 50}, -90, 0, 0x101, 1, 0, -1, 50, 0, 0, 0, 0, 0},
      {"tiled 180", {200, 200}, {100, 50}, 180, 0, 0, 8, -1, 0, 100, 50, 100, 50, 2, 4},
      // The count is limited; so are the WORD column and row counts.
      {"tiled tiny box", {1e9f, 1e9f}, {1, 1}, 0, 0, 0, kMaxPlacementCells, 1, 0, 0, 0, 1, 1, 0xFFFF, 0xFFFF},
  };
  for (const PlacementCase& c : cases) {
    SCOPED_TRACE(c.name);
    PlacementTransform t{};
    ASSERT_EQ(ComputeRotatedPlacement(&c.area, &c.box, c.angle, c.mode, c.alignment, &t), c.result);
    EXPECT_NEAR(t.m11, c.m11, 1e-6);
    EXPECT_NEAR(t.m12, c.m12, 1e-6);
    EXPECT_NEAR(t.m21, -c.m12, 1e-6);
    EXPECT_NEAR(t.m22, c.m11, 1e-6);
    EXPECT_NEAR(t.offsetX, c.offsetX, 1e-3);
    EXPECT_NEAR(t.offsetY, c.offsetY, 1e-3);
    EXPECT_NEAR(t.cellWidth, c.cellW, 1e-3);
    EXPECT_NEAR(t.cellHeight, c.cellH, 1e-3);
    EXPECT_EQ(t.columns, c.columns);
    EXPECT_EQ(t.rows, c.rows);
  }
}

TEST(Placement, RefusedPlacements) {
  const PlacementSize area{200, 200}, box{100, 50}, empty{0, 50};
  PlacementTransform t{};
  EXPECT_EQ(ComputeRotatedPlacement(nullptr, &box, 0, 0, 0, &t), -1);
  EXPECT_EQ(ComputeRotatedPlacement(&area, nullptr, 0, 0, 0, &t), -1);
  EXPECT_EQ(ComputeRotatedPlacement(&area, &box, 0, 0, 0, nullptr), -1);
  // A box without width cannot tile (it would need endless cells) but can
  // still be placed once.
  EXPECT_EQ(ComputeRotatedPlacement(&area, &empty, 0, 0, 0, &t), -1);
  EXPECT_EQ(ComputeRotatedPlacement(&area, &empty, 0, 0, 0x101, &t), 1);
}

TEST(Placement, PointsOfCells) {
  const PlacementSize area{200, 200}, box{100, 50};
  PlacementTransform grid{};
  ASSERT_EQ(ComputeRotatedPlacement(&area, &box, 90, 0, 0, &grid), 8);
  struct Case {
    PlacementPoint in;
    DWORD cell;
    PlacementPoint out;
  };
  // The box corner (100, 0) of a quarter turn lands on the cell's top left;
  // (0, 0) on its bottom left.
  const Case cases[] = {
      {{0, 0}, 0, {0, 100}},   {{100, 0}, 0, {0, 0}},   {{100, 50}, 0, {50, 0}},
      {{0, 0}, 3, {150, 100}}, {{0, 0}, 4, {0, 200}},   {{100, 0}, 7, {150, 100}},
  };
  for (const Case& c : cases) {
    PlacementPoint out{-1, -1};
    ASSERT_EQ(TransformPlacementPoint(&grid, &c.in, c.cell, &out), 0) << c.cell;
    EXPECT_NEAR(out.x, c.out.x, 1e-3) << c.cell;
    EXPECT_NEAR(out.y, c.out.y, 1e-3) << c.cell;
  }
  PlacementPoint out{};
  const PlacementPoint origin{0, 0};
  EXPECT_EQ(TransformPlacementPoint(&grid, &origin, 8, &out), -1);
  EXPECT_EQ(TransformPlacementPoint(nullptr, &origin, 0, &out), -1);
  EXPECT_EQ(TransformPlacementPoint(&grid, nullptr, 0, &out), -1);
  EXPECT_EQ(TransformPlacementPoint(&grid, &origin, 0, nullptr), -1);

  // A single position: the centred box spans x 75..125, y 50..150.
  PlacementTransform single{};
  ASSERT_EQ(ComputeRotatedPlacement(&area, &box, 90, 0, 0x202, &single), 1);
  const PlacementPoint far{100, 50};
  ASSERT_EQ(TransformPlacementPoint(&single, &origin, 0, &out), 0);
  EXPECT_NEAR(out.x, 75, 1e-3);
  EXPECT_NEAR(out.y, 150, 1e-3);
  ASSERT_EQ(TransformPlacementPoint(&single, &far, 0, &out), 0);
  EXPECT_NEAR(out.x, 125, 1e-3);
  EXPECT_NEAR(out.y, 50, 1e-3);
  EXPECT_EQ(TransformPlacementPoint(&single, &origin, 1, &out), -1);
}

// ---- finishing ---------------------------------------------------------------

struct Page {
  WORD orientation, pageClass;
};
const Page kSame[] = {{1, 1}, {1, 4}, {1, 16}, {2, 2}, {2, 8}, {2, 32}};
const Page kCross[] = {{1, 2}, {1, 8}, {1, 32}, {2, 1}, {2, 4}, {2, 16}};
const Page kNeither[] = {{0, 1}, {3, 2}, {1, 0}, {2, 3}, {1, 64}};

// -1 for a dash: the code is not accepted.
struct PositionRow {
  WORD code;
  int staple_same, staple_cross, punch_same, punch_cross;
};
const PositionRow kPositionRows[] = {
    {0, 0, 0, 0, 0},           {0x0101, 3, 5, 2, 3},     {0x0202, 7, 1, 4, 1},     {0x0303, 1, 3, 1, 2},
    {0x0404, 5, 7, 3, 4},      {0x0103, 2, 4, -1, -1},   {0x0104, 4, 6, -1, -1},   {0x0204, 6, 8, -1, -1},
    {0x0203, 8, 2, -1, -1},    {0x0606, 9, 9, 5, 5},     {0x0707, 10, 10, -1, -1}, {0x0808, 11, 11, -1, -1},
    {0x0909, 13, 14, -1, -1},  {0x0A0A, 15, 12, -1, -1}, {0x0B0B, 12, 13, -1, -1}, {0x0C0C, 14, 15, -1, -1},
};

int derive(WORD ddmid, Page page, WORD code) {
  const FinishingContext context{page.orientation, page.pageClass, 0, code};
  WORD value = 0xEEEE;
  if (ddmid == 267) return DeriveFinishingItem267(&context, &value) == 0 ? value : -1;
  return DeriveFinishingPositionItem(ddmid, &context, &value) == 0 ? value : -1;
}

TEST(Finishing, PositionItemsFromCodes) {
  for (const PositionRow& row : kPositionRows) {
    SCOPED_TRACE(row.code);
    const bool anyPage = row.code == 0 || row.code == 0x0606 || row.code == 0x0707 || row.code == 0x0808;
    for (const Page& p : kSame) {
      EXPECT_EQ(derive(320, p, row.code), row.staple_same);
      EXPECT_EQ(derive(341, p, row.code), row.punch_same);
    }
    for (const Page& p : kCross) {
      EXPECT_EQ(derive(320, p, row.code), row.staple_cross);
      EXPECT_EQ(derive(341, p, row.code), row.punch_cross);
    }
    for (const Page& p : kNeither) {
      EXPECT_EQ(derive(320, p, row.code), anyPage ? row.staple_same : -1);
      EXPECT_EQ(derive(341, p, row.code), anyPage ? row.punch_same : -1);
    }
  }
  // Codes outside the table, and other settings.
  for (WORD code : {0x0102, 0x0505, 0x0D0D, 0xFFFF, 1}) {
    EXPECT_EQ(derive(320, kSame[0], code), -1) << code;
    EXPECT_EQ(derive(341, kCross[0], code), -1) << code;
  }
  EXPECT_EQ(derive(267, kSame[0], 0x0101), -1);
  const FinishingContext context{1, 1, 0, 0x0101};
  WORD value = 0;
  EXPECT_EQ(DeriveFinishingPositionItem(330, &context, &value), 1);
  EXPECT_EQ(DeriveFinishingPositionItem(320, nullptr, &value), 1);
  EXPECT_EQ(DeriveFinishingPositionItem(320, &context, nullptr), 1);
}

// Deriving inverts what the value engine stores for a request.
TEST(Finishing, DerivationInvertsTheStoredPosition) {
  for (WORD ddmid : {WORD{320}, WORD{341}}) {
    for (WORD request = 0; request < 20; ++request) {
      for (const Page& p : {kSame[0], kSame[4], kCross[1], kCross[3]}) {
        const WORD code = morva::ddm::dma_ComputeFinishingPosition(ddmid, request, static_cast<SHORT>(p.orientation),
                                                                   p.pageClass);
        if (code == 0 && request != 0) continue;  // no position for this request
        EXPECT_EQ(derive(ddmid, p, code), request) << ddmid << " " << request;
      }
    }
  }
  for (WORD request = 0; request <= 8; ++request) {
    WORD code = 0;
    ASSERT_TRUE(morva::ddm::dma_MapLinkedCode(request, &code));
    const Page page = request == 0 || request == 6 || request == 8 || request == 1 || request == 2 ? kSame[2] : kCross[2];
    EXPECT_EQ(derive(267, page, code), request) << request;
  }
}

TEST(Finishing, Item267FromCode) {
  struct Row {
    WORD code;
    int same, cross;
  };
  const Row rows[] = {{0, 0, 0}, {1, 6, 5}, {2, 8, 4}, {3, 1, 3}, {4, 2, 7}, {5, -1, -1}, {0x0101, -1, -1}};
  for (const Row& r : rows) {
    for (const Page& p : kSame) EXPECT_EQ(derive(267, p, r.code), r.same) << r.code;
    for (const Page& p : kCross) EXPECT_EQ(derive(267, p, r.code), r.cross) << r.code;
    for (const Page& p : kNeither) EXPECT_EQ(derive(267, p, r.code), r.code == 0 ? 0 : -1) << r.code;
  }
  WORD value = 0;
  EXPECT_EQ(DeriveFinishingItem267(nullptr, &value), 1);
}

// ---- colour adjustment -----------------------------------------------------------

struct MatrixCase {
  INT brightness, saturation, contrast;
  std::array<std::int32_t, 9> m;
  std::int32_t offset;
};

TEST(ColorAdjust, KnownMatrices) {
  const MatrixCase cases[] = {
      {0, 0, 0, {65536, 0, 0, 0, 65536, 0, 0, 0, 65536}, 0},
      // K = 1.3: 0.3 x 1.3 + 0.7 = 1.09, 0.59 x 0.3 = 0.177, 0.11 x 0.3 = 0.033, ...
      {0, 0, 100, {71434, 11599, 2162, 5898, 77135, 2162, 5898, 11599, 67698}, -5013504},
      {0, 0, 200, {71434, 11599, 2162, 5898, 77135, 2162, 5898, 11599, 67698}, -5013504},
      // S = 2: negative entries truncate toward zero (-0.59 -> -38666).
      {0, 100, 0, {111411, -38666, -7208, -19660, 92405, -7208, -19660, -38666, 123863}, 0},
      // S = 0.5 for -100 (half the rate below zero).
      {0, -100, 0, {42598, 19333, 3604, 9830, 52101, 3604, 9830, 19333, 36372}, 0},
      {0, -300, 0, {42598, 19333, 3604, 9830, 52101, 3604, 9830, 19333, 36372}, 0},
      {100, 0, 0, {65536, 0, 0, 0, 65536, 0, 0, 0, 65536}, 3276800},
      // K = 0.82, S = 1.3, offset 45.9 - 20 = 25.9.
      {-40, 30, -60, {75759, -18559, -3460, -9437, 66637, -3460, -9437, -18559, 81736}, 1697382},
  };
  for (const MatrixCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.brightness << " " << c.saturation << " " << c.contrast);
    ColorAdjustMatrix m{};
    ASSERT_EQ(BuildColorAdjustMatrix(&m, c.brightness, c.saturation, c.contrast), 0);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(m.m[i], c.m[i]) << i;
    for (std::int32_t o : m.offset) EXPECT_EQ(o, c.offset);
  }
  EXPECT_EQ(BuildColorAdjustMatrix(nullptr, 0, 0, 0), -1);
}

TEST(ColorAdjust, AppliedToPixels) {
  struct Case {
    INT brightness, saturation, contrast;
    std::array<BYTE, 3> in, out;
  };
  const Case cases[] = {
      {0, 0, 0, {100, 150, 200}, {100, 150, 200}},
      {0, 0, 0, {255, 0, 1}, {255, 0, 1}},
      {100, 0, 0, {100, 150, 200}, {150, 200, 250}},
      {100, 0, 0, {0, 0, 255}, {50, 50, 255}},          // clamped at 255
      {0, 0, 100, {30, 30, 30}, {0, 0, 0}},             // clamped at 0
      {0, 0, 100, {100, 150, 200}, {71, 121, 171}},
      {0, 100, 0, {100, 150, 200}, {40, 141, 241}},     // more saturated
      {0, -100, 0, {100, 150, 200}, {130, 155, 180}},   // less saturated
      {0, -100, 0, {0, 0, 255}, {38, 38, 166}},         // byte 2 is the first row
      {25, -70, 80, {100, 150, 200}, {110, 143, 175}},  // negative offset
  };
  for (const Case& c : cases) {
    ColorAdjustMatrix m{};
    ASSERT_EQ(BuildColorAdjustMatrix(&m, c.brightness, c.saturation, c.contrast), 0);
    std::array<BYTE, 3> out{};
    ApplyColorAdjustMatrix(&m, c.in.data(), out.data(), 1);
    EXPECT_EQ(out, c.out) << c.brightness << " " << c.saturation << " " << c.contrast;
  }
}

// With brightness and contrast 0 a grey pixel stays grey, and keeps its
// level, whatever the saturation.
TEST(ColorAdjust, GreyStaysGreyForAnySaturation) {
  std::vector<BYTE> greys(256 * 3);
  for (int v = 0; v < 256; ++v) greys[v * 3] = greys[v * 3 + 1] = greys[v * 3 + 2] = static_cast<BYTE>(v);
  for (INT saturation = -100; saturation <= 100; ++saturation) {
    ColorAdjustMatrix m{};
    ASSERT_EQ(BuildColorAdjustMatrix(&m, 0, saturation, 0), 0);
    std::vector<BYTE> out(greys.size());
    ApplyColorAdjustMatrix(&m, greys.data(), out.data(), 256);
    ASSERT_EQ(out, greys) << saturation;
  }
}

TEST(ColorAdjust, CopiesWithoutMatrixAndWorksInPlace) {
  const std::vector<BYTE> source = {1, 2, 3, 4, 5, 6};
  std::vector<BYTE> out(6, 0xEE);
  ApplyColorAdjustMatrix(nullptr, source.data(), out.data(), 2);
  EXPECT_EQ(out, source);
  ColorAdjustMatrix m{};
  ASSERT_EQ(BuildColorAdjustMatrix(&m, 100, 0, 0), 0);
  std::vector<BYTE> inPlace = {100, 150, 200, 0, 0, 255};
  ApplyColorAdjustMatrix(&m, inPlace.data(), inPlace.data(), 2);
  EXPECT_EQ(inPlace, (std::vector<BYTE>{150, 200, 250, 50, 50, 255}));
}

TEST(ColorAdjust, GreyRows) {
  // Two rows of three pixels: equal bytes stay, others weigh 85 / 86 / 85.
  const std::vector<BYTE> in = {7, 7, 7, 255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 254, 10, 20, 30};
  const std::vector<BYTE> expected = {7, 84, 85, 84, 254, 20};
  std::vector<BYTE> out(6, 0xEE);
  RgbToGrayRow(in.data(), out.data(), 3, 2);
  EXPECT_EQ(out, expected);
}

// ---- colour profiles ---------------------------------------------------------------

TEST(ColorProfile, LocalPaths) {
  struct Case {
    const char* path;
    INT local;
  };
  const Case cases[] = {
      {"", 0},          {"\\\\.\\pipe\\x", 0},  {"\\\\.\\PiPe\\", 0}, {"\\\\.\\pipe", 1},
      {"C:\\a.icc", 1}, {"\\\\.\\pipf\\x", 1}, {"\\\\server\\pipe\\x", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(IsLocalFilePath(c.path), c.local) << c.path;
  EXPECT_EQ(IsLocalFilePath(nullptr), 0);
  EXPECT_EQ(SwapBytes32(0x11223344u), 0x44332211u);
}

std::string profile(const char* deviceClass, const char* space, const char* connection, const char* signature,
                    std::size_t size = 132) {
  std::string h(std::max<std::size_t>(size, 40), '\0');
  std::memcpy(&h[12], deviceClass, 4);
  std::memcpy(&h[16], space, 4);
  std::memcpy(&h[20], connection, 4);
  std::memcpy(&h[36], signature, 4);
  h.resize(size);
  return h;
}

TEST(ColorProfile, HeaderChecks) {
  morva::test::TempRoot root;
  struct Case {
    const char* name;
    std::string bytes;
    INT result;
  };
  const Case cases[] = {
      {"monitor", profile("mntr", "RGB ", "XYZ ", "acsp"), 1},
      {"scanner", profile("scnr", "RGB ", "Lab ", "acsp", 4096), 1},
      {"other signature", profile("mntr", "RGB ", "XYZ ", "nicc"), 2},
      {"short", profile("mntr", "RGB ", "XYZ ", "acsp", 131), -3},
      {"empty", "", -3},
      {"bad signature", profile("prtr", "CMYK", "XYZ ", "ascp"), -5},
      {"cmyk", profile("mntr", "CMYK", "XYZ ", "acsp"), -6},
      {"luv", profile("mntr", "RGB ", "Luv ", "acsp"), -7},
      {"printer", profile("prtr", "RGB ", "XYZ ", "acsp"), -6},
  };
  for (const Case& c : cases) {
    morva::test::write_file(root.file(std::string("drive_c/profiles/") + c.name + ".icc"), c.bytes);
    EXPECT_EQ(CheckIccProfile((std::string("C:\\profiles\\") + c.name + ".icc").c_str()), c.result) << c.name;
  }
  EXPECT_EQ(CheckIccProfile("C:\\profiles\\missing.icc"), -2);
  EXPECT_EQ(CheckIccProfile("\\\\.\\PIPE\\profile"), -1);
  EXPECT_EQ(CheckIccProfile(""), -1);
  EXPECT_EQ(CheckIccProfile(nullptr), -1);
}

}  // namespace
