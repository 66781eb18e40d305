// Copies made by the driver: the demo printer installed with a device
// database that declares the device data level at which the driver collates
// copies itself; every copy is played back from the recorded pages and read
// back from the decoded spool file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ddd_builder.h"
#include "gfx_demo.h"
#include "gfx_print_job.h"
#include "output_collating_printer.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "settings/database/ddd_file.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_settings.h"
#include "temp_root.h"
#include "win/spooler.h"

namespace {

using morva::tools::PdlItem;

constexpr DWORD kCollatingVersion = 0x01010903;

class CopiesPrint : public ::testing::Test {
 protected:
  void SetUp() override {
    morva::test::InstallCollatingPrinter(root_.path() + "/collating_database", kCollatingVersion);
  }

  struct Printed {
    std::vector<int> pages;  // page names in the order printed
    std::vector<int> page_sides;  // the side (0 first) each of them is on
    int sides = 0;
    int sheet_changes = 0;
  };

  Printed print(int pages, std::map<int, long> settings) {
    std::string json = R"({"printer": "Morva Demo Printer", "document": "Copies", "units": "px", "ddmid": {)" +
                       morva::test::DdmidMembers(settings) + R"(}, "pages": [)";
    for (int i = 0; i < pages; ++i)
      json += std::string(i ? "," : "") + R"({"ops": [{"op": "pen", "style": "solid", "width": 0},
          {"op": "rectangle", "rect": [)" + std::to_string(100 + 10 * i) + ", 1000, 3000, 3000]}]}";
    json += "]}";
    const auto decoded = morva::test::DecodeJob(morva::test::PrintJson(json, root_.path()));
    Printed out;
    if (!decoded.ok) return out;
    EXPECT_EQ(decoded.summary.jobs, 1u);
    for (const PdlItem& i : decoded.items) {
      if (i.kind != PdlItem::Operator) continue;
      if (i.text == "Ec") ++out.sides;
      if (i.text == "FC") ++out.sheet_changes;
      if (i.text == "CG") {
        out.pages.push_back(static_cast<int>((i.operands[0].i - 100) / 10));
        out.page_sides.push_back(out.sides - 1);
      }
    }
    return out;
  }

  morva::test::TempRoot root_;
};

TEST_F(CopiesPrint, CollatedCopiesRepeatTheDocument) {
  struct Case {
    long copies, collate, reverse;
    std::vector<int> pages;
  } cases[] = {
      {3, 1, 0, {0, 1, 0, 1, 0, 1}},
      {3, 1, 1, {1, 0, 1, 0, 1, 0}},
      {2, 0, 0, {0, 1}},  // uncollated copies are the printer's
      {1, 1, 0, {0, 1}},
  };
  for (const Case& c : cases) {
    auto p = print(2, {{12, c.copies}, {18, c.collate}, {1312, c.reverse}});
    EXPECT_EQ(p.pages, c.pages) << c.copies << " copies, collate " << c.collate << ", reverse " << c.reverse;
    // Each copy after the first starts a new sheet.
    if (c.collate) {
      EXPECT_EQ(p.sheet_changes, c.copies - 1);
    }
  }
}

TEST_F(CopiesPrint, EveryPageAppearsOnItsSideOfEveryCopy) {
  // Over page counts, copies, N-up and two-sided printing: a collated copy
  // k starts on a side of its own, so page p lies on side k x S + p / n
  // (S the sides of one copy, n pages to a side); uncollated copies are the
  // printer's, so every page is written once.
  const std::pair<long, long> copy_kinds[] = {{1, 1}, {3, 1}, {3, 0}};  // copies, collate
  for (int pages : {3, 5})
    for (auto [copies, collate] : copy_kinds)
      for (long nup : {1, 2, 4})
        for (long duplex : {1, 2}) {
          SCOPED_TRACE(std::to_string(pages) + " pages, " + std::to_string(copies) + " copies, collate " +
                       std::to_string(collate) + ", " + std::to_string(nup) + "-up, duplex " +
                       std::to_string(duplex));
          auto p = print(pages, {{12, copies}, {18, collate}, {295, nup}, {264, 3}, {16, duplex}});
          const long times = collate ? copies : 1;
          const int per_copy = static_cast<int>((pages + nup - 1) / nup);
          ASSERT_EQ(p.pages.size(), static_cast<std::size_t>(pages * times));
          // Two-sided, the last sheet may get a blank back face.
          EXPECT_GE(p.sides, per_copy * times);
          EXPECT_LE(p.sides, per_copy * times + (duplex == 2 ? 1 : 0));
          std::map<int, int> seen;
          for (std::size_t i = 0; i < p.pages.size(); ++i) {
            const int page = p.pages[i];
            const int copy = seen[page]++;
            EXPECT_EQ(p.page_sides[i], copy * per_copy + page / nup) << "page " << page << " of copy " << copy;
          }
          for (int page = 0; page < pages; ++page) EXPECT_EQ(seen[page], times) << "page " << page;
        }
}

TEST_F(CopiesPrint, CopiesKeepTheirLayout) {
  // 4-up, 6 pages, 2 copies: the two sheets of each copy hold 4 and 2.
  auto nup = print(6, {{12, 2}, {18, 1}, {295, 4}, {264, 3}});
  EXPECT_EQ(nup.pages, (std::vector<int>{0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(nup.sides, 4);
  // Two-sided with an odd page count: the sheet change before each copy
  // lets the printer start it on a new sheet, so no blank back face is
  // written.
  auto duplex = print(3, {{12, 2}, {18, 1}, {16, 2}});
  EXPECT_EQ(duplex.pages, (std::vector<int>{0, 1, 2, 0, 1, 2}));
  EXPECT_EQ(duplex.sides, 6);
  EXPECT_EQ(duplex.sheet_changes, 1);
  // Tiles: each copy prints every tile of every page.
  auto poster = print(2, {{12, 2}, {18, 1}, {321, 1}, {296, 0x0202}});
  EXPECT_EQ(poster.pages.size(), 16u);
  EXPECT_EQ(poster.sides, 16);
}

TEST_F(CopiesPrint, BookletSetsWithCopiesKeepEveryPage) {
  // Sets of 8 booklet pages (two sheets), 14 booklet pages, 3 copies: every
  // page three times, booklet pages 12 and 13 included; also with two
  // pages to a booklet page.
  for (long nup : {1, 2})
    for (long reverse : {0, 1}) {
      auto p = print(static_cast<int>(14 * nup),
                     {{12, 3}, {18, 1}, {321, 2}, {446, 2}, {323, 2}, {1312, reverse}, {295, nup}, {264, 3}});
      std::map<int, int> n;
      for (int page : p.pages) ++n[page];
      ASSERT_EQ(n.size(), static_cast<std::size_t>(14 * nup)) << nup << "-up, reverse " << reverse;
      for (auto [page, times] : n) EXPECT_EQ(times, 3) << nup << "-up: page " << page << ", reverse " << reverse;
    }
}

}  // namespace
