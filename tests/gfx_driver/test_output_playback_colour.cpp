// The colour byte of played-back sheets when the job asks the device for a
// colour count: a colour sheet's page begin carries the number of distinct
// colours its pages drew (count x 16 + 2), over all its N-up cells and in
// every collated copy, and a plain colour byte 2 once the sheet drew more
// colours than the count holds. Printed through the print host on the demo
// printer (at the device data level where the driver collates) and read
// back from the decoded spool file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output_collating_printer.h"
#include "png_file.h"

namespace {

using morva::tools::PdlItem;

// A colour device in automatic colour.
constexpr const char* kOverride = R"("15": 2, "270": 0)";

class PlaybackColourPrint : public morva::test::PrintTest {
 protected:
  void SetUp() override {
    morva::test::InstallCollatingPrinter(root_.path() + "/collating_database", 0x01010903);
    if (HasFatalFailure()) return;
    // The printer's settings ask the device for a colour count: the
    // override on, up to 15 colours, white not counted.
    morva::test::StorePrinterSettings({{4129, 1}, {5153, 1}, {5126, 15}});
    if (HasFatalFailure()) return;
    std::string error;
    ASSERT_TRUE(morva::gfx_demo::make_dc_devmode_default(morva::gfx_demo::kDemoPrinter, &error)) << error;
  }

  // A one-row image of the given colours (0xRRGGBB), written once.
  std::string image(const std::vector<unsigned>& colours) {
    std::vector<unsigned char> rgba;
    for (unsigned c : colours)
      rgba.insert(rgba.end(), {static_cast<unsigned char>(c >> 16), static_cast<unsigned char>(c >> 8),
                               static_cast<unsigned char>(c), 255});
    const std::string path = root_.path() + "/image" + std::to_string(images_++) + ".png";
    EXPECT_TRUE(morva::test::write_rgba_png(path, static_cast<int>(colours.size()), 1, rgba));
    return path;
  }

  // Each page draws one image; the answer is the colour byte of each page
  // begin in the spool file.
  std::vector<int> print(const std::vector<std::vector<unsigned>>& pages, const std::string& ddmid) {
    std::vector<std::string> drawn;
    for (const auto& colours : pages)
      drawn.push_back(R"({"op": "image", "file": ")" + image(colours) + R"(", "rect": [200, 300, 264, 316], "bpp": 24})");
    auto r = PrintPages("Counted colours", drawn, R"("ddmid": {)" + ddmid + "}");
    EXPECT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    EXPECT_TRUE(decoded_.ok) << decoded_.error << " at " << decoded_.error_offset;
    std::vector<int> bytes;
    for (const PdlItem& i : decoded_.items)
      if (i.kind == PdlItem::Operator && i.text == "Ec") bytes.push_back(static_cast<int>(operand(&i, 0)));
    return bytes;
  }

  int images_ = 0;
};

std::vector<unsigned> many_colours(int n) {
  std::vector<unsigned> out;
  for (int i = 0; i < n; ++i) out.push_back(static_cast<unsigned>(i * 12) << 16 | 0x37u);
  return out;
}

TEST_F(PlaybackColourPrint, ColourByteCountsTheSheetsColours) {
  constexpr unsigned R = 0xFF0000, G = 0x00FF00, B = 0x0000FF, W = 0xFFFFFF;
  const std::string nup2 = std::string(kOverride) + R"(, "295": 2)";
  const std::string copies = std::string(kOverride) + R"(, "12": 2, "18": 1)";
  struct Case {
    const char* name;
    std::string ddmid;
    std::vector<std::vector<unsigned>> pages;
    std::vector<int> bytes;
  } cases[] = {
      // Two cells of one sheet: red and green, then blue and red again;
      // white is not counted.
      {"2-up, three colours over two cells", nup2, {{R, G, W}, {B, R}}, {0x32}},
      // The second sheet draws more colours than the set holds.
      {"2-up, counted sheet then overflowing sheet", nup2, {{R}, {R, G}, many_colours(16)}, {0x22, 2}},
      // Fifteen colours are still counted.
      {"2-up, fifteen colours", nup2, {many_colours(8), many_colours(15)}, {0xF2}},
      // Every collated copy plays each sheet with its own count; a grey
      // sheet stays monochrome.
      {"collated copies", copies, {{R, G, B}, many_colours(20), {0x808080}},
       {0x32, 2, 1, 0x32, 2, 1}},
  };
  const std::string booklet = std::string(kOverride) + R"(, "321": 2)";
  Case booklets[] = {
      // A booklet side carries two pages (the inner side, pages 2 and 3,
      // comes first): their colours are counted together.
      {"booklet, pages counted together", booklet, {{R, G}, {B}, {B, W}, {R, B}}, {0x12, 0x32}},
      // A page that drew too many colours leaves its side uncounted, even
      // when the colours it kept and its partner's make no more than 15.
      {"booklet, last page overflowing", booklet, {many_colours(14), {B}, {B}, many_colours(16)}, {0x12, 2}},
      {"booklet, first page overflowing", booklet, {many_colours(16), {B}, {B}, many_colours(14)}, {0x12, 2}},
  };
  for (const Case& c : booklets) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(print(c.pages, c.ddmid), c.bytes);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(print(c.pages, c.ddmid), c.bytes);
  }
}

}  // namespace
