// Imposition arithmetic: cell orders, booklet signatures and sheet sides,
// booklet sets, placement matrices and tile grids.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <vector>

#include "output/imposition.h"

namespace {

using namespace morva::gfx;

struct Point {
  double x, y;
};
Point apply(const Affine& m, double x, double y) { return {m.a * x + m.c * y + m.e, m.b * x + m.d * y + m.f}; }

TEST(Imposition, CellPositionsFollowTheEightOrders) {
  // Every order on a 2 x 2 grid: the cells of indices 0-3 as (column, row).
  const std::vector<std::pair<int, int>> expected[8] = {
      {{0, 0}, {1, 0}, {0, 1}, {1, 1}}, {{0, 0}, {0, 1}, {1, 0}, {1, 1}},
      {{1, 0}, {0, 0}, {1, 1}, {0, 1}}, {{1, 0}, {1, 1}, {0, 0}, {0, 1}},
      {{0, 1}, {1, 1}, {0, 0}, {1, 0}}, {{0, 1}, {0, 0}, {1, 1}, {1, 0}},
      {{1, 1}, {0, 1}, {1, 0}, {0, 0}}, {{1, 1}, {1, 0}, {0, 1}, {0, 0}},
  };
  for (int order = 0; order < 8; ++order)
    for (int i = 0; i < 4; ++i) {
      int x, y;
      CellPosition(order, 2, 2, i, &x, &y);
      EXPECT_EQ(std::make_pair(x, y), expected[order][i]) << "order " << order << " index " << i;
    }
  // The index is taken modulo the cell count: 4-up index 5 in order 0.
  int x, y;
  CellPosition(0, 2, 2, 5, &x, &y);
  EXPECT_EQ(x, 1);
  EXPECT_EQ(y, 0);
  // Every order visits each cell of a 4 x 8 grid exactly once.
  for (int order = 0; order < 8; ++order) {
    std::set<std::pair<int, int>> seen;
    for (int i = 0; i < 32; ++i) {
      CellPosition(order, 4, 8, i, &x, &y);
      ASSERT_TRUE(x >= 0 && x < 4 && y >= 0 && y < 8);
      seen.insert({x, y});
    }
    EXPECT_EQ(seen.size(), 32u) << order;
  }
}

TEST(Imposition, CellOrderFollowsPagesTurnAndKind) {
  struct Case {
    WORD pages;
    bool turned;
    DWORD kind;
    int previous, order;
  } cases[] = {
      {1, false, 3, 0, 4}, {1, true, 6, 2, 4},
      {2, true, 1, 0, 1}, {2, true, 3, 0, 1}, {2, true, 4, 0, 1}, {2, true, 5, 0, 5},
      {2, false, 5, 0, 1}, {2, false, 3, 0, 5}, {2, false, 0, 0, 1},
      {4, true, 3, 0, 1}, {4, true, 4, 7, 0}, {4, true, 5, 0, 5}, {4, true, 6, 0, 4},
      {4, false, 3, 0, 4}, {16, false, 4, 0, 5}, {9, false, 5, 0, 6}, {8, false, 6, 0, 7},
      {4, false, 0, 3, 3}, {16, true, 7, 2, 2},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CellOrderFromLayout(c.pages, c.turned, c.kind, c.previous), c.order)
        << c.pages << " " << c.turned << " " << c.kind;
}

TEST(Imposition, SignaturesSplitSheetsEvenlyAndCutTheLastPage) {
  std::vector<Signature> s;
  int second = -1;
  EXPECT_EQ(SplitIntoSignatures(9, false, 2, &s, &second), 2);
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0].first, 0);
  EXPECT_EQ(s[0].last, 7);
  EXPECT_EQ(s[1].first, 8);
  EXPECT_EQ(s[1].last, 8);
  EXPECT_EQ(second, 1);
  // Reverse order fills from the back: the signature of page 0 comes last.
  EXPECT_EQ(SplitIntoSignatures(9, true, 2, &s, &second), 2);
  EXPECT_EQ(s[1].first, 0);
  EXPECT_EQ(s[0].first, 8);
  // Count only.
  EXPECT_EQ(SplitIntoSignatures(40, false, 3, nullptr, &second), 4);
  EXPECT_EQ(second, (3 + 10 - 1) % 3);
  EXPECT_EQ(SplitIntoSignatures(5, false, 0, &s, &second), -1);
  // Any page count and size: contiguous signatures holding every page once.
  for (int pages = 1; pages <= 40; ++pages)
    for (int per = 1; per <= 5; ++per) {
      int n = SplitIntoSignatures(pages, false, per, &s, nullptr);
      ASSERT_GT(n, 0);
      int next = 0;
      for (const Signature& g : s) {
        EXPECT_EQ(g.first, next) << pages << "/" << per;
        EXPECT_LE((g.last - g.first + 4) / 4, per) << pages << "/" << per;
        next = g.last + 1;
      }
      EXPECT_EQ(next, pages) << pages << "/" << per;
    }
}

TEST(Imposition, SheetFitsAndSideCounts) {
  struct Case {
    int first, last, sheets;
    bool cover;
    int fits;
  } fits[] = {
      {0, 7, 2, false, 1}, {0, 6, 2, false, 2}, {0, 5, 2, true, 1}, {0, 4, 2, true, 2},
      {8, 15, 2, true, 1}, {8, 14, 2, true, 2}, {0, 100, 0, false, 2},
  };
  for (const Case& c : fits)
    EXPECT_EQ(SheetFitsSignature(c.first, c.last, c.sheets, c.cover), c.fits) << c.first << "-" << c.last;
  EXPECT_EQ(SignatureSideCount(0, 7, false), 4);
  EXPECT_EQ(SignatureSideCount(0, 8, false), 6);
  EXPECT_EQ(SignatureSideCount(0, 5, true), 3);
  EXPECT_EQ(SignatureSideCount(4, 7, true), 2);
}

TEST(Imposition, BookletSlotsGiveTheSpreads) {
  auto spreads = [](int first, int last, int binding, bool reverse, bool cover) {
    std::vector<std::pair<int, int>> out;
    int n = SignatureSideCount(first, last, cover);
    for (int s = 0; s < n; ++s)
      out.push_back({BookletPageForSlot(first, last, s, binding, 0, reverse, cover),
                     BookletPageForSlot(first, last, s, binding, 1, reverse, cover)});
    return out;
  };
  using V = std::vector<std::pair<int, int>>;
  EXPECT_EQ(spreads(0, 7, 2, false, false), (V{{4, 3}, {2, 5}, {6, 1}, {0, 7}}));
  EXPECT_EQ(spreads(0, 7, 2, true, false).front(), (std::pair<int, int>{0, 7}));
  // Five pages on two sheets: three positions are blank.
  auto five = spreads(0, 4, 2, false, false);
  int blanks = 0;
  for (auto [a, b] : five) blanks += (a == kBlankSlot) + (b == kBlankSlot);
  EXPECT_EQ(blanks, 3);
  // Every page of every range appears exactly once, in both orders, both
  // bindings, with and without the cover rule.
  for (int last = 0; last < 40; ++last)
    for (int binding = 1; binding <= 2; ++binding)
      for (int reverse = 0; reverse < 2; ++reverse)
        for (int cover = 0; cover < 2; ++cover) {
          std::map<int, int> seen;
          for (auto [a, b] : spreads(0, last, binding, reverse, cover)) {
            if (a != kBlankSlot) ++seen[a];
            if (b != kBlankSlot) ++seen[b];
          }
          ASSERT_EQ(seen.size(), static_cast<std::size_t>(last + 1))
              << "0-" << last << " binding " << binding << " reverse " << reverse << " cover " << cover;
          for (auto [page, n] : seen) EXPECT_EQ(n, 1) << page;
        }
}

TEST(Imposition, BookletSetsHoldEveryPage) {
  // 14 pages in sets of 8 with the cover rule: the cover shortens the
  // first set, and the second takes the rest, pages 12 and 13 included.
  auto sets = SplitIntoBookletSets(0, 14, 8, true);
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0].first, 0);
  EXPECT_EQ(sets[0].last, 5);
  EXPECT_EQ(sets[1].first, 6);
  EXPECT_EQ(sets[1].last, 13);
  for (int pages = 1; pages <= 40; ++pages)
    for (int c : {4, 8, 12})
      for (bool cover : {false, true}) {
        int next = 0;
        for (const Signature& s : SplitIntoBookletSets(0, pages, c, cover)) {
          EXPECT_EQ(s.first, next);
          EXPECT_LE(s.last - s.first + 1, c);
          // Each full set fills its sheets as the recording decides.
          if (s.last < pages - 1) {
            EXPECT_EQ(SheetFitsSignature(s.first, s.last, c / 4, cover), 1);
          }
          next = s.last + 1;
        }
        EXPECT_EQ(next, pages) << pages << " " << c << " " << cover;
      }
}

PageLayout a4_layout(WORD nup, DWORD kind, DWORD landscape) {
  // A4 at 600 dpi with 5 mm offsets all round.
  PageLayout l;
  l.page_width = 4960, l.page_height = 7016;
  l.printable_left = 118, l.printable_top = 118, l.printable_right = 4960 - 118, l.printable_bottom = 7016 - 118;
  l.sheet_width = 4960, l.sheet_height = 7016;
  l.area_left = 118, l.area_top = 118, l.area_right = 4960 - 118, l.area_bottom = 7016 - 118;
  l.margin_left = l.margin_right = l.margin_top = l.margin_bottom = 118;
  l.pages_per_sheet = nup;
  NupGrid(nup, &l.columns, &l.rows);
  l.halving = nup == 2 || nup == 8 || nup == 32;
  l.cell_turn_direction = landscape;
  l.cells_turned = landscape ^ l.halving;
  l.nup_order = kind;
  return l;
}

TEST(Imposition, EachCellPlacesThePageInsideItsRectangle) {
  for (WORD nup : {1, 2, 4, 8, 16, 32})
    for (DWORD kind : {3u, 4u, 5u, 6u}) {
      PageLayout l = a4_layout(nup, kind, 0);
      std::set<std::pair<long, long>> centres;
      for (int cell = 1; cell <= nup; ++cell) {
        Affine m;
        CellBox r;
        ComputePlacementMatrix(&m, l, cell, 1, &r);
        // The centre of the printable area lands inside the cell, whose
        // rectangle is given from the sheet's top.
        Point c = apply(m, (l.printable_left + l.printable_right) / 2, (l.printable_top + l.printable_bottom) / 2);
        double top = std::min(r.top, r.bottom), bottom = std::max(r.top, r.bottom);
        EXPECT_GE(c.x, r.left - 1) << nup << "/" << kind << " cell " << cell;
        EXPECT_LE(c.x, r.right + 1) << nup << "/" << kind << " cell " << cell;
        EXPECT_GE(l.sheet_height - c.y, top - 1) << nup << "/" << kind << " cell " << cell;
        EXPECT_LE(l.sheet_height - c.y, bottom + 1) << nup << "/" << kind << " cell " << cell;
        centres.insert({std::lround(c.x), std::lround(c.y)});
      }
      EXPECT_EQ(centres.size(), static_cast<std::size_t>(nup)) << nup << "/" << kind;
    }
}

TEST(Imposition, AlignmentMovesASmallerPageWithinItsCell) {
  PageLayout l = a4_layout(1, 3, 0);
  l.fixed_scale = 1;
  l.scale_percent = 50;
  Affine none, centred;
  ComputePlacementMatrix(&none, l, 1, 1, nullptr);
  l.alignment = 4;
  ComputePlacementMatrix(&centred, l, 1, 1, nullptr);
  double free_w = (l.area_right - l.area_left) - (l.printable_right - l.printable_left) * 0.5;
  double free_h = (l.area_bottom - l.area_top) - (l.printable_bottom - l.printable_top) * 0.5;
  EXPECT_NEAR(centred.e - none.e, free_w / 2, 1e-6);
  EXPECT_NEAR(centred.f - none.f, -free_h / 2, 1e-6);
  // A page that fits its cell exactly gets no offset whatever the index.
  PageLayout exact = a4_layout(1, 3, 0);
  ComputePlacementMatrix(&none, exact, 1, 1, nullptr);
  for (DWORD i = 0; i <= 4; ++i) {
    exact.alignment = i;
    Affine m;
    ComputePlacementMatrix(&m, exact, 1, 1, nullptr);
    EXPECT_NEAR(m.e, none.e, 1e-6) << i;
    EXPECT_NEAR(m.f, none.f, 1e-6) << i;
  }
  EXPECT_EQ(MapAlignmentForBackSide(0, 2, false), 1);
  EXPECT_EQ(MapAlignmentForBackSide(0, 1, false), 3);
  EXPECT_EQ(MapAlignmentForBackSide(2, 1, true), 3);
  EXPECT_EQ(MapAlignmentForBackSide(4, 1, false), 4);
}

TEST(Imposition, PlacementMatrixRefusesBadCellsAndSides) {
  PageLayout l = a4_layout(4, 3, 0);
  Affine m;
  EXPECT_EQ(PlacementMatrix(&m, l, 31, 1, 0, 600, 600, true), 0);
  EXPECT_EQ(PlacementMatrix(&m, l, 32, 0, 0, 600, 600, true), -1);
  EXPECT_EQ(PlacementMatrix(&m, l, 0, 2, 0, 600, 600, true), -1);
  // One page per sheet: the page's dots become points with y upward.
  PageLayout one = a4_layout(1, 3, 0);
  ASSERT_EQ(PlacementMatrix(&m, one, 0, 0, 0, 600, 600, true), 0);
  EXPECT_NEAR(m.a, 72.0 / 600, 1e-9);
  EXPECT_NEAR(m.d, -72.0 / 600, 1e-9);
  Point origin = apply(m, 0, 0);
  EXPECT_NEAR(origin.x, 118 * 72.0 / 600, 1e-6);
  EXPECT_NEAR(origin.y, (7016 - 118) * 72.0 / 600, 1e-6);
}

TEST(Imposition, TileGridsWalkEveryTile) {
  for (auto [across, down] : std::vector<std::pair<int, int>>{{2, 2}, {3, 3}, {4, 4}, {1, 3}, {1, 4}, {2, 1}}) {
    PageLayout l = a4_layout(1, 0, 0);
    TileLayout t;
    ASSERT_EQ(ComputeTileGrid(l, across, down, 600, 600, &t), 0) << across << "x" << down;
    EXPECT_NEAR(t.scale_x, (l.area_right - l.area_left) * 72 / 600, 1e-6);
    std::set<std::pair<long, long>> shifts;
    for (int n = 0; n < across * down; ++n) {
      Affine m;
      ASSERT_EQ(ComputeTileTransform(t, n, &m), 0) << across << "x" << down << " tile " << n;
      EXPECT_EQ(m.a, t.base.a);
      shifts.insert({std::lround(t.base.e - m.e), std::lround(t.base.f - m.f)});
    }
    EXPECT_EQ(shifts.size(), static_cast<std::size_t>(across * down));
    Affine m;
    EXPECT_EQ(ComputeTileTransform(t, across * down, &m), -1);
  }
  // 2 x 2: tile 0 shows the top left of the enlarged page.
  TileLayout t;
  ASSERT_EQ(ComputeTileGrid(a4_layout(1, 0, 0), 2, 2, 600, 600, &t), 0);
  EXPECT_EQ(t.row_by_row, 1);
  Affine m0, m3;
  ComputeTileTransform(t, 0, &m0);
  ComputeTileTransform(t, 3, &m3);
  EXPECT_NEAR(m0.e, t.base.e, 1e-6);
  EXPECT_NEAR(m0.f, t.base.f - t.scale_y, 1e-6);
  EXPECT_NEAR(m3.e, t.base.e - t.scale_x, 1e-6);
  EXPECT_NEAR(m3.f, t.base.f, 1e-6);
  // A sheared base matrix has no tile walk.
  t.base = Affine{1, 1, 0, 1, 0, 0};
  EXPECT_EQ(SetTileSteps(&t), -1);
}

TEST(Imposition, BookletPagesGoOnOppositeHalves) {
  BookletPlacementRequest r{};
  r.page_width = 4960, r.page_height = 7016;
  r.page_left = 118, r.page_top = 118, r.page_right = 4960 - 118, r.page_bottom = 7016 - 118;
  r.sheet_width = 4960, r.sheet_height = 7016;
  r.sheet_left = 118, r.sheet_top = 118, r.sheet_right = 4960 - 118, r.sheet_bottom = 7016 - 118;
  r.margin_left = r.margin_right = r.margin_top = r.margin_bottom = 118;
  r.res_x = r.res_y = 600;
  r.nup = 1;
  double y[2];
  for (DWORD position = 0; position < 2; ++position) {
    r.position = position;
    Affine m;
    ComputeBookletPlacement(&m, r);
    Point c = apply(m, 4960 / 2.0, 7016 / 2.0);
    EXPECT_GE(c.x, 0);
    EXPECT_LE(c.x, 4960);
    y[position] = c.y;
  }
  EXPECT_LT(y[0], 7016 / 2.0);
  EXPECT_GT(y[1], 7016 / 2.0);
}

}  // namespace

namespace {

TEST(Imposition, SheetPlacementIsTheHalfSheetAtTheSheetsScale) {
  // At 254 dots per inch a tenth of a millimetre is one dot.
  struct Case {
    const char* paper;
    GeometryTenths g;
    double width_offset;
    double half_w, half_h;  // the enlarged half sheet
  } cases[] = {
      // A4: the half sheet enlarged is (nearly) A4 again.
      {"A4", {2100, 2970, 50, 60, 40, 30}, 0, 2970 * 0.5 * 2970 / 2100, 2970},
      // Letter: half letter, 1.545 times its size.
      {"Letter", {2159, 2794, 50, 60, 40, 30}, 0, 2159, 2159 * 2 * 2159 / 2794.0},
      {"Letter with cover", {2159, 2794, 50, 60, 40, 30}, 20, 2159 - 20 * 2 * 2159 / 2794.0, 2159 * 2 * 2159 / 2794.0},
  };
  for (const Case& c : cases) {
    CellBox rect;
    double ox = 0, oy = 0;
    ASSERT_EQ(ComputeSheetPlacement(254, c.g, 50, 40, c.width_offset, &rect, &ox, &oy), 0) << c.paper;
    EXPECT_NEAR(rect.left, 50, 1e-6) << c.paper;
    EXPECT_NEAR(rect.top, 40, 1e-6) << c.paper;
    EXPECT_NEAR(rect.right - rect.left, c.half_w, 1e-6) << c.paper;
    EXPECT_NEAR(rect.bottom - rect.top, c.half_h, 1e-6) << c.paper;
    // The page it lies on adds the margins.
    EXPECT_NEAR(ox, 110 + c.half_w, 1e-6) << c.paper;
    EXPECT_NEAR(oy, 70 + c.half_h, 1e-6) << c.paper;
    if (c.width_offset == 0) {
      // The shape of a half sheet: the long side across the fold.
      const double short_side = std::min(c.g.width, c.g.height / 2), long_side = std::max(c.g.width, c.g.height / 2);
      EXPECT_NEAR((rect.right - rect.left) / (rect.bottom - rect.top), short_side / long_side, 1e-9) << c.paper;
    }
  }
  // Dots follow the resolution; a resolution of 0 or an empty sheet leaves
  // the outputs as they were.
  CellBox rect{1, 2, 3, 4};
  double ox = 7, oy = 8;
  ASSERT_EQ(ComputeSheetPlacement(600, {2159, 2794, 0, 0, 0, 0}, 0, 0, 0, &rect, &ox, &oy), 0);
  EXPECT_NEAR(ox, 2159 * 600 / 254.0, 1e-6);
  rect = CellBox{1, 2, 3, 4}, ox = 7, oy = 8;
  EXPECT_EQ(ComputeSheetPlacement(0, {2159, 2794, 0, 0, 0, 0}, 0, 0, 0, &rect, &ox, &oy), -1);
  EXPECT_EQ(ComputeSheetPlacement(600, {0, 2794, 0, 0, 0, 0}, 0, 0, 0, &rect, &ox, &oy), -1);
  EXPECT_EQ(rect.left, 1);
  EXPECT_EQ(ox, 7);
  EXPECT_EQ(oy, 8);
}

TEST(Imposition, BookletCellMatrixIsThePageTransformOfARawPlacement) {
  // A raw placement made a page transform through a cell gives what the
  // placement with its page transform gives, followed by the cell.
  for (WORD nup : {1, 2, 4})
    for (int cell = 0; cell < nup; ++cell) {
      PageLayout l = a4_layout(nup, 3, 0);
      Affine raw, page;
      ASSERT_EQ(PlacementMatrix(&raw, l, cell, 0, 0, 600, 600, false), 0);
      ASSERT_EQ(PlacementMatrix(&page, l, cell, 0, 0, 600, 600, true), 0);
      const Affine half{0.5, 0, 0, 0.5, 120, 80};  // a cell in dots
      Affine expected = Then(page, Affine{600.0 / 72, 0, 0, 600.0 / 72, 0, 0});
      expected = Then(Then(expected, half), Affine{72.0 / 600, 0, 0, 72.0 / 600, 0, 0});
      Affine got = BookletCellMatrix(600, 600, Then(raw, half), l.page_height, l.printable_left, l.printable_top);
      for (auto [x, y] : {std::pair{0.0, 0.0}, {1000.0, 0.0}, {0.0, 2000.0}, {333.0, 777.0}}) {
        Point a = apply(got, x, y), b = apply(expected, x, y);
        EXPECT_NEAR(a.x, b.x, 1e-6) << nup << "-up cell " << cell;
        EXPECT_NEAR(a.y, b.y, 1e-6) << nup << "-up cell " << cell;
      }
    }
}

}  // namespace
