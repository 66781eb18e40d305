// The colour decision of an automatic colour job sees every colour a page
// draws, not only its images: text, pens, solid fills, hatches and text
// backgrounds in colour make the page a colour page, a page drawn only in
// greys stays grey. Printed on the demo printer through the print host and
// the real graphics driver; the colour byte of each page begin is read back
// from the decoded spool file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx_print_job.h"

namespace {

class PageColourPrint : public morva::test::PrintTest {
 protected:
  void SetUp() override { morva::test::InstallDemoPrinter(); }

  // The colour byte of each page begin of the last job.
  std::vector<int> page_colours() const {
    std::vector<int> out;
    for (const auto* ec : ops("Ec")) out.push_back(static_cast<int>(operand(ec, 0)));
    return out;
  }
};

constexpr const char* kFont = R"({"op": "font", "face": "DejaVu Sans", "size": 12})";

std::string text(const std::string& colour) {
  return std::string(kFont) + R"(, {"op": "text_color", "color": ")" + colour +
         R"("}, {"op": "text", "x": 300, "y": 300, "text": "Page"})";
}

std::string filled(const std::string& brush) {
  return R"({"op": "pen", "style": "null"}, )" + brush + R"(, {"op": "rectangle", "rect": [200, 400, 900, 900]})";
}

TEST_F(PageColourPrint, EveryColourDrawnDecidesThePage) {
  struct Case {
    const char* what;
    std::string ops;
    int colour;  // 2 colour, 1 grey
  } cases[] = {
      // The device context's state carries over from page to page: the
      // grey page comes first.
      {"greys only",
       text("#404040") + ", " + filled(R"({"op": "brush", "color": "#808080"})") +
           R"(, {"op": "pen", "style": "solid", "width": 2, "color": "#000000"},
               {"op": "line", "from": [100, 100], "to": [900, 700]},
               {"op": "brush", "style": "hatch", "hatch": "cross", "color": "#202020"},
               {"op": "rectangle", "rect": [1000, 1000, 1400, 1400]})",
       1},
      {"red text", text("#C01010"), 2},
      {"blue solid fill", filled(R"({"op": "brush", "color": "#2040E0"})"), 2},
      {"green pen", R"({"op": "pen", "style": "solid", "width": 3, "color": "#10A010"},
                       {"op": "line", "from": [100, 100], "to": [900, 700]})", 2},
      {"orange hatch", filled(R"({"op": "brush", "style": "hatch", "hatch": "cross", "color": "#F08000"})"), 2},
      {"black text on a yellow background",
       std::string(R"({"op": "bk_mode", "mode": "opaque"}, {"op": "bk_color", "color": "#FFFF00"}, )") +
           text("#000000"),
       2},
  };
  std::vector<std::string> pages;
  std::vector<int> expected;
  for (const Case& c : cases) {
    pages.push_back(c.ops);
    expected.push_back(c.colour);
  }
  // Automatic colour on a colour device: each page is held back until its
  // colour is known.
  auto r = PrintPages("Page colours", pages, R"("ddmid": {"15": 2, "270": 0})");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error << " at " << decoded_.error_offset;
  const std::vector<int> colours = page_colours();
  ASSERT_EQ(colours.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(colours[i], expected[i]) << cases[i].what;
  // A monochrome job keeps every page grey, whatever it draws.
  r = PrintPages("Page colours", pages, R"("ddmid": {"15": 2, "270": 1})");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(page_colours(), std::vector<int>(expected.size(), 1));
}

TEST_F(PageColourPrint, ASheetOfSeveralPagesIsColourWhenAnyOfThemIs) {
  // Two pages a sheet: the colour of the first page's last drawing call
  // still makes its sheet a colour sheet after the second page starts.
  auto r = PrintPages("Two up", {text("#C01010"), text("#202020"), text("#202020"), text("#606060")},
                      R"("ddmid": {"15": 2, "270": 0, "295": 2})");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error << " at " << decoded_.error_offset;
  EXPECT_EQ(page_colours(), (std::vector<int>{2, 1}));
}

}  // namespace
