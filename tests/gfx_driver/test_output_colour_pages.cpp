// Automatic colour beside pages the driver adds or repeats: a blank back
// face goes out grey whatever page came before it, and each collated copy
// of a page keeps the colour decided for that page. Printed through the
// print host on the demo printer (with the device data level at which the
// driver collates) and read back from the decoded spool file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output_collating_printer.h"
#include "png_file.h"

namespace {

using morva::tools::PdlItem;

class ColourPagesPrint : public morva::test::PrintTest {
 protected:
  void SetUp() override {
    morva::test::InstallCollatingPrinter(root_.path() + "/collating_database", 0x01010903);
    if (HasFatalFailure()) return;
    // A colour image of many colours (more than the page's colour set
    // holds) and a grey one.
    ASSERT_TRUE(morva::test::write_colour_and_grey_pngs(root_.path(), &colour_, &grey_));
  }

  struct Side {
    int page;    // the page's name, -1 for a side without one (blank)
    int colour;  // the colour byte of its page begin
    bool operator==(const Side&) const = default;
  };
  friend std::ostream& operator<<(std::ostream& o, const Side& s) { return o << "{" << s.page << "," << s.colour << "}"; }

  // Each page: an image (colour or grey), then a rectangle naming the page.
  std::vector<Side> print(const std::vector<bool>& colour_pages, const std::string& members) {
    std::vector<std::string> pages;
    for (std::size_t i = 0; i < colour_pages.size(); ++i)
      pages.push_back(R"({"op": "image", "file": ")" + (colour_pages[i] ? colour_ : grey_) +
                      R"(", "rect": [200, 300, 216, 316], "bpp": 24},
          {"op": "pen", "style": "solid", "width": 0},
          {"op": "rectangle", "rect": [)" + std::to_string(100 + 10 * i) + ", 1000, 3000, 3000]}");
    auto r = PrintPages("Colour", pages, members);
    EXPECT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    EXPECT_TRUE(decoded_.ok) << decoded_.error << " at " << decoded_.error_offset;
    std::vector<Side> sides;
    for (const PdlItem& i : decoded_.items) {
      if (i.kind != PdlItem::Operator) continue;
      if (i.text == "Ec") sides.push_back({-1, static_cast<int>(operand(&i, 0))});
      if (i.text == "CG" && !sides.empty()) sides.back().page = static_cast<int>((operand(&i, 0) - 100) / 10);
    }
    return sides;
  }

  std::string colour_, grey_;
};

TEST_F(ColourPagesPrint, BlankAndCopiedPagesKeepTheirOwnColour) {
  const bool C = true, G = false;
  struct Case {
    const char* name;
    const char* members;
    std::vector<bool> pages;
    std::vector<Side> sides;
  } cases[] = {
      // Played last first, the empty back of the last sheet comes out first:
      // grey, although the page it follows in the recording was colour.
      {"reverse order, two-sided", R"("devmode": {"dmDuplex": "2"}, "ddmid": {"15": 2, "270": 0, "1312": 1})",
       {G, G, C},
       {{-1, 1}, {2, 2}, {1, 1}, {0, 1}}},
      // Every copy plays each page with the colour decided when it was drawn.
      {"collated copies", R"("ddmid": {"15": 2, "270": 0, "12": 2, "18": 1})",
       {C, G, C},
       {{0, 2}, {1, 1}, {2, 2}, {0, 2}, {1, 1}, {2, 2}}},
      {"collated copies, reverse order", R"("ddmid": {"15": 2, "270": 0, "12": 2, "18": 1, "1312": 1})",
       {G, C, G},
       {{2, 1}, {1, 2}, {0, 1}, {2, 1}, {1, 2}, {0, 1}}},
      {"collated copies, two-sided, reverse order",
       R"("devmode": {"dmDuplex": "2"}, "ddmid": {"15": 2, "270": 0, "12": 2, "18": 1, "1312": 1})",
       {G, G, C},
       {{-1, 1}, {2, 2}, {1, 1}, {0, 1}, {-1, 1}, {2, 2}, {1, 1}, {0, 1}}},
      // A booklet of one page played last first: the side with neither of
      // its two pages is written blank, and grey.
      {"booklet of one page, reverse order", R"("ddmid": {"15": 2, "270": 0, "321": 2, "1312": 1})", {C},
       {{0, 2}, {-1, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(print(c.pages, c.members), c.sides);
  }
}

}  // namespace
