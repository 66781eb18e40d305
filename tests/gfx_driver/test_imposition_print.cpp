// N-up, booklets, tiles and pages played back in reverse order, printed on
// the demo printer through the print host and the real graphics driver.
// Every logical page draws one rectangle whose left edge names it; the
// decoded spool file tells on which side each page was printed and, from
// the transform in force, where on that side it lies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "gfx_demo.h"
#include "gfx_print_job.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "temp_root.h"
#include "win/spooler.h"

namespace {

using morva::tools::PdlItem;

// A4 in points.
constexpr double kSheetW = 595.28, kSheetH = 841.89;
// The rectangle every page draws, in device pixels: left = 100 + 10 x page.
constexpr double kRectTop = 1000, kRectBottom = 3000, kRectRight = 3000;

struct Placed {
  int page;
  double x, y;  // the rectangle's centre on the sheet, points, y upward
};
struct Side {
  std::vector<Placed> pages;
  int marks = 0;  // strokes painted outside any page (tile marks)
  long source = -1;  // the tray of its page begin
};

class ImpositionPrint : public ::testing::Test {
 protected:
  void SetUp() override { morva::test::InstallDemoPrinter(); }

  // Prints `pages` pages with the DDMID settings given; the sides of the
  // decoded job, in the order printed.
  std::vector<Side> print(int pages, const std::map<int, long>& settings, bool* ok = nullptr) {
    std::string json = R"({"printer": "Morva Demo Printer", "document": "Imposition", "units": "px", "ddmid": {)" +
                       morva::test::DdmidMembers(settings) + R"(}, "pages": [)";
    for (int i = 0; i < pages; ++i)
      json += std::string(i ? "," : "") + R"({"ops": [{"op": "pen", "style": "solid", "width": 0},
          {"op": "rectangle", "rect": [)" + std::to_string(100 + 10 * i) + ", " + std::to_string(kRectTop) + ", " +
              std::to_string(kRectRight) + ", " + std::to_string(kRectBottom) + "]}]}";
    json += "]}";
    auto r = morva::test::PrintJson(json, root_.path());
    if (ok) *ok = r.ok;
    if (!r.ok) {
      if (!ok) ADD_FAILURE() << r.error << " " << r.failed_entry;
      return {};
    }
    const auto decoded = morva::test::DecodeJob(r);
    std::vector<Side> sides;
    float m[6] = {1, 0, 0, 1, 0, 0};
    for (const PdlItem& i : decoded.items) {
      if (i.kind != PdlItem::Operator) continue;
      if (i.text == "Ec") {
        sides.emplace_back();
        if (i.operands.size() > 1) sides.back().source = i.operands[1].i;
      }
      if (i.text == "Aa" && i.operands.size() == 6)
        for (int k = 0; k < 6; ++k) m[k] = i.operands[k].f;
      if ((i.text == "CG" || i.text == "Cg") && !sides.empty()) {
        double left = i.operands[0].kind == morva::tools::PdlValue::Real ? i.operands[0].f : i.operands[0].i;
        double cx = (left + kRectRight) / 2, cy = (kRectTop + kRectBottom) / 2;
        sides.back().pages.push_back({static_cast<int>(std::lround((left - 100) / 10)), m[0] * cx + m[2] * cy + m[4],
                                      m[1] * cx + m[3] * cy + m[5]});
      }
      if (i.text == "BD" && !sides.empty()) ++sides.back().marks;
    }
    return sides;
  }

  // Each page's number of appearances.
  static std::map<int, int> counts(const std::vector<Side>& sides) {
    std::map<int, int> n;
    for (const Side& s : sides)
      for (const Placed& p : s.pages) ++n[p.page];
    return n;
  }
  static std::vector<int> order(const std::vector<Side>& sides) {
    std::vector<int> out;
    for (const Side& s : sides)
      for (const Placed& p : s.pages) out.push_back(p.page);
    return out;
  }

  morva::test::TempRoot root_;
};

TEST_F(ImpositionPrint, NupPlacesPagesInReadingOrderOfTheirKind) {
  struct Layout {
    int nup, columns, rows;
  } layouts[] = {{4, 2, 2}, {16, 4, 4}};
  // The visual cell (column, row from the top) of cell index o.
  struct Kind {
    int kind;
    const char* reading;
  } kinds[] = {{3, "rows left to right from the top"},
               {4, "columns top to bottom from the left"},
               {5, "rows right to left from the top"},
               {6, "columns top to bottom from the right"}};
  for (const Layout& l : layouts)
    for (const Kind& k : kinds) {
      int pages = l.nup + 3;  // a full sheet and a part of one
      auto sides = print(pages, {{295, l.nup}, {264, k.kind}});
      ASSERT_EQ(sides.size(), 2u) << l.nup << "-up kind " << k.kind;
      for (int p = 0; p < pages; ++p) {
        const Side& side = sides[p / l.nup];
        auto it = std::find_if(side.pages.begin(), side.pages.end(), [&](const Placed& x) { return x.page == p; });
        ASSERT_NE(it, side.pages.end()) << l.nup << "-up kind " << k.kind << ": page " << p;
        int o = p % l.nup, col, row;
        switch (k.kind) {
          case 3: col = o % l.columns, row = o / l.columns; break;
          case 4: col = o / l.rows, row = o % l.rows; break;
          case 5: col = l.columns - 1 - o % l.columns, row = o / l.columns; break;
          default: col = l.columns - 1 - o / l.rows, row = o % l.rows; break;
        }
        int seen_col = static_cast<int>(it->x / (kSheetW / l.columns));
        int seen_row = static_cast<int>((kSheetH - it->y) / (kSheetH / l.rows));
        EXPECT_EQ(seen_col, col) << l.nup << "-up, " << k.reading << ": page " << p;
        EXPECT_EQ(seen_row, row) << l.nup << "-up, " << k.reading << ": page " << p;
      }
      EXPECT_EQ(counts(sides).size(), static_cast<std::size_t>(pages));
    }
}

TEST_F(ImpositionPrint, TurnedCellsHoldEachPageOnceInDistinctCells) {
  for (int nup : {2, 8})
    for (int kind : {3, 4, 5, 6}) {
      auto sides = print(2 * nup, {{295, nup}, {264, kind}});
      ASSERT_EQ(sides.size(), 2u) << nup;
      for (const Side& s : sides) {
        ASSERT_EQ(s.pages.size(), static_cast<std::size_t>(nup));
        std::set<std::pair<long, long>> cells;
        for (const Placed& p : s.pages) {
          EXPECT_TRUE(p.x > 0 && p.x < kSheetW && p.y > 0 && p.y < kSheetH) << nup << " page " << p.page;
          cells.insert({std::lround(p.x), std::lround(p.y)});
        }
        EXPECT_EQ(cells.size(), static_cast<std::size_t>(nup));
      }
      for (auto [page, n] : counts(sides)) EXPECT_EQ(n, 1) << page;
    }
}

TEST_F(ImpositionPrint, ReverseOrderPlaysRecordedSheetsLastFirst) {
  auto sides = print(5, {{1312, 1}});
  EXPECT_EQ(order(sides), (std::vector<int>{4, 3, 2, 1, 0}));
  // With 2-up the sheets are reversed, the cells of each sheet kept.
  auto nup = print(5, {{1312, 1}, {295, 4}, {264, 3}});
  EXPECT_EQ(order(nup), (std::vector<int>{4, 0, 1, 2, 3}));
}

TEST_F(ImpositionPrint, BookletSidesPairPagesOnOppositeHalves) {
  // Eight pages, binding on the first edge: the centre spread first.
  auto sides = print(8, {{321, 2}});
  ASSERT_EQ(sides.size(), 4u);
  const std::pair<int, int> spreads[] = {{3, 4}, {5, 2}, {1, 6}, {7, 0}};
  for (std::size_t s = 0; s < 4; ++s) {
    ASSERT_EQ(sides[s].pages.size(), 2u) << s;
    // The pair on its halves: half 0 lies below the middle of the sheet.
    std::map<int, int> half;
    for (const Placed& p : sides[s].pages) {
      EXPECT_GT(p.x, 0);
      EXPECT_LT(p.x, kSheetW);
      half[p.y < kSheetH / 2 ? 0 : 1] = p.page;
    }
    EXPECT_EQ(half[0], spreads[s].first) << "side " << s;
    EXPECT_EQ(half[1], spreads[s].second) << "side " << s;
  }
}

TEST_F(ImpositionPrint, EveryBookletPrintsEveryPageOnce) {
  struct Kind {
    int kind;
    int value;
  } kinds[] = {{0, 1}, {1, 1}, {2, 1}, {2, 2}, {2, 3}};
  // N-up booklets with fewer page counts: the booklet pages are what vary.
  const std::map<int, std::vector<int>> page_counts = {
      {1, {1, 3, 4, 5, 8, 13, 14, 17, 40}}, {2, {5, 40}}, {4, {14}}};
  for (const auto& [nup, counts_of_pages] : page_counts)
    for (const Kind& k : kinds)
      for (int pages : counts_of_pages) {
        const std::string what = std::to_string(nup) + "-up kind " + std::to_string(k.kind) + "/" +
                                 std::to_string(k.value) + ", " + std::to_string(pages) + " pages";
        auto sides = print(pages, {{321, 2}, {446, k.kind}, {323, k.value}, {295, nup}, {264, 3}});
        auto n = counts(sides);
        ASSERT_EQ(n.size(), static_cast<std::size_t>(pages)) << what;
        for (auto [page, times] : n) EXPECT_EQ(times, 1) << what << ": page " << page;
        // A booklet page holds `nup` logical pages. At most two booklet
        // pages a side, each on its own half; the demo printer leaves blank
        // sides out. One signature pairs booklet pages p and q on a side
        // when p + q is four times its sheets less one.
        const int booklet_pages = (pages + nup - 1) / nup;
        const int pair_sum = 4 * ((booklet_pages + 3) / 4) - 1;
        for (const Side& s : sides) {
          std::map<int, std::set<bool>> halves;
          for (const Placed& p : s.pages) halves[p.page / nup].insert(p.y < kSheetH / 2);
          ASSERT_LE(halves.size(), 2u) << what;
          for (auto& [page, h] : halves) EXPECT_EQ(h.size(), 1u) << what << ": booklet page " << page;
          if (halves.size() == 2) {
            EXPECT_NE(*halves.begin()->second.begin(), *halves.rbegin()->second.begin()) << what;
            if (k.kind == 0) {
              EXPECT_EQ(halves.begin()->first + halves.rbegin()->first, pair_sum) << what;
            }
          }
        }
      }
}

TEST_F(ImpositionPrint, BookletOfNupPagesKeepsEachPagesCellsOnItsHalf) {
  // Eight booklet pages of `nup` cells each: the spreads of a plain
  // booklet, every cell of a booklet page in a cell of its own. On A4 and
  // on Letter, whose half sheet has another shape than the sheet.
  const std::pair<int, int> spreads[] = {{3, 4}, {5, 2}, {1, 6}, {7, 0}};
  struct Paper {
    long code;
    double width, height;  // points
  } const papers[] = {{9, kSheetW, kSheetH}, {1, 612, 792}};
  for (const Paper& paper : papers)
    for (int nup : {2, 4}) {
      const std::string what = "paper " + std::to_string(paper.code) + ", " + std::to_string(nup) + "-up";
      auto sides = print(8 * nup, {{321, 2}, {295, nup}, {264, 3}, {8, paper.code}});
      ASSERT_EQ(sides.size(), 4u) << what;
      for (std::size_t s = 0; s < 4; ++s) {
        ASSERT_EQ(sides[s].pages.size(), static_cast<std::size_t>(2 * nup)) << what << " side " << s;
        std::map<int, std::set<int>> half_pages;
        std::set<std::pair<long, long>> cells;
        for (const Placed& p : sides[s].pages) {
          EXPECT_TRUE(p.x > 0 && p.x < paper.width && p.y > 0 && p.y < paper.height) << what << " page " << p.page;
          half_pages[p.y < paper.height / 2 ? 0 : 1].insert(p.page / nup);
          cells.insert({std::lround(p.x), std::lround(p.y)});
        }
        EXPECT_EQ(cells.size(), static_cast<std::size_t>(2 * nup)) << what << " side " << s;
        EXPECT_EQ(half_pages[0], std::set<int>{spreads[s].first}) << what << " side " << s;
        EXPECT_EQ(half_pages[1], std::set<int>{spreads[s].second}) << what << " side " << s;
      }
    }
}

TEST_F(ImpositionPrint, BannerPageWithoutItsTrayBecomesTheBookletCover) {
  // Two-sided booklet of six pages with a banner page. A banner tray the
  // job can use feeds the sides of pages 0 and 1; one it cannot use makes
  // the banner the cover, so the booklet needs one side less.
  struct Case {
    long tray;
    std::size_t sides;
    int pair_sum;
    std::vector<int> banner_pages;
  } cases[] = {{3, 4, 7, {0, 1}}, {0, 3, 5, {0}}};
  for (const Case& c : cases) {
    auto sides = print(6, {{321, 2}, {16, 2}, {332, 1}, {333, c.tray}, {13, 15}, {265, 1}});
    ASSERT_EQ(sides.size(), c.sides) << "tray " << c.tray;
    for (auto [page, times] : counts(sides)) EXPECT_EQ(times, 1) << "tray " << c.tray << ": page " << page;
    for (const Side& s : sides) {
      if (s.pages.size() == 2) {
        EXPECT_EQ(s.pages[0].page + s.pages[1].page, c.pair_sum) << "tray " << c.tray;
      }
      bool banner = false;
      for (const Placed& p : s.pages)
        banner |= std::find(c.banner_pages.begin(), c.banner_pages.end(), p.page) != c.banner_pages.end();
      if (banner) {
        EXPECT_EQ(s.source, c.tray) << "tray " << c.tray << ", side of page " << s.pages[0].page;
      }
    }
  }
}

TEST_F(ImpositionPrint, PostersPrintEachPageOncePerTileWithMarks) {
  struct Case {
    long code;
    int tiles;
  } cases[] = {{0x0202, 4}, {0x0303, 9}, {0x0102, 2}, {0x0104, 4}};
  for (const Case& c : cases)
    for (int marks : {0, 1}) {
      auto sides = print(2, {{321, 1}, {296, c.code}, {1285, marks}});
      ASSERT_EQ(sides.size(), static_cast<std::size_t>(2 * c.tiles)) << std::hex << c.code;
      for (int t = 0; t < 2 * c.tiles; ++t) {
        ASSERT_EQ(sides[t].pages.size(), 1u);
        EXPECT_EQ(sides[t].pages[0].page, t / c.tiles) << std::hex << c.code << " tile " << t;
        // Twelve mark lines on every tile, or none.
        EXPECT_EQ(sides[t].marks, marks ? 12 : 0) << std::hex << c.code << " tile " << t;
      }
      // Each tile shows another part of the page.
      std::set<std::pair<long, long>> shifts;
      for (int t = 0; t < c.tiles; ++t) shifts.insert({std::lround(sides[t].pages[0].x), std::lround(sides[t].pages[0].y)});
      EXPECT_EQ(shifts.size(), static_cast<std::size_t>(c.tiles)) << std::hex << c.code;
    }
}

}  // namespace
