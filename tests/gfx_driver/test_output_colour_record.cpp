// Pages of an automatic colour job are held back until their colour is
// known: printed through the print host on the demo printer and read back
// from the decoded spool file, each page comes out once, whole, with the
// colour decided for it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx_demo.h"
#include "gfx_print_job.h"
#include "pdl_decode.h"
#include "png_file.h"
#include "print_job.h"
#include "temp_root.h"
#include "win/spooler.h"

namespace {

using morva::tools::PdlItem;

class ColourRecordPrint : public ::testing::Test {
 protected:
  void SetUp() override {
    morva::test::InstallDemoPrinter();
    // A colour image of many colours (more than the page's colour set
    // holds) and a grey one.
    ASSERT_TRUE(morva::test::write_colour_and_grey_pngs(root_.path(), &colour_, &grey_));
  }

  struct Printed {
    std::vector<int> colours;  // colour byte of each page begin
    std::vector<int> pages;    // rectangles (page names) in the order printed
    std::vector<int> images;   // images on each page begin's side
    int ends = 0;
  };

  // Each page: an image (colour or grey), then a rectangle naming the page.
  Printed print(const std::vector<bool>& colour_pages, const std::string& ddmid) {
    std::string json = R"({"printer": "Morva Demo Printer", "document": "Colour", "units": "px", "ddmid": {)" + ddmid +
                       R"(}, "pages": [)";
    for (std::size_t i = 0; i < colour_pages.size(); ++i)
      json += std::string(i ? "," : "") + R"({"ops": [{"op": "image", "file": ")" +
              (colour_pages[i] ? colour_ : grey_) + R"(", "rect": [200, 300, 216, 316], "bpp": 24},
          {"op": "pen", "style": "solid", "width": 0},
          {"op": "rectangle", "rect": [)" + std::to_string(100 + 10 * i) + ", 1000, 3000, 3000]}]}";
    json += "]}";
    const auto decoded = morva::test::DecodeJob(morva::test::PrintJson(json, root_.path()));
    Printed out;
    for (const PdlItem& i : decoded.items) {
      if (i.kind != PdlItem::Operator) continue;
      if (i.text == "Ec") {
        out.colours.push_back(static_cast<int>(i.operands[0].i));
        out.images.push_back(0);
      }
      if ((i.text == "AV" || i.text == "Cq") && !out.images.empty()) ++out.images.back();
      if (i.text == "ED") ++out.ends;
      if (i.text == "CG") out.pages.push_back(static_cast<int>((i.operands[0].i - 100) / 10));
    }
    return out;
  }

  morva::test::TempRoot root_;
  std::string colour_, grey_;
};

TEST_F(ColourRecordPrint, EachPageGetsItsOwnColourOnce) {
  struct Case {
    const char* ddmid;
    std::vector<int> pages, colours;
  } cases[] = {
      // Automatic colour: the colour page as colour, the grey one as grey.
      {R"("15": 2, "270": 0)", {0, 1, 2}, {2, 1, 2}},
      // Reverse order plays the recorded pages back at the end: each with
      // the colour decided when it was drawn.
      {R"("15": 2, "270": 0, "1312": 1)", {2, 1, 0}, {2, 1, 2}},
      // A fixed colour job is not held back.
      {R"("15": 2, "270": 1)", {0, 1, 2}, {1, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ddmid);
    auto p = print({true, false, true}, c.ddmid);
    EXPECT_EQ(p.pages, c.pages);
    EXPECT_EQ(p.colours, c.colours);
    EXPECT_EQ(p.ends, 3);
    // Every page whole: its image on its own side.
    EXPECT_EQ(p.images, (std::vector<int>{1, 1, 1}));
  }
}

}  // namespace
