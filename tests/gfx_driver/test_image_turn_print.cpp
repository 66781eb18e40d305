// Whether a page's images go out turned a quarter, decided at the page start
// from the paper, the staple or punch position of the job and the page's
// orientation: printed on the demo printer through the print host and the
// real graphics driver, the image operators read back by the decoder.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gfx_demo.h"
#include "gfx_print_job.h"
#include "pdl_decode.h"
#include "png_file.h"
#include "print_job.h"
#include "temp_root.h"
#include "win/msgbox.h"
#include "win/spooler.h"

namespace {

using morva::tools::PdlItem;

class ImageTurnPrint : public ::testing::Test {
 protected:
  void SetUp() override {
    morva::test::InstallDemoPrinter();
    morva::platform::reset_message_boxes();
    // Both sides above the 64 pixels an image needs to be turned.
    std::vector<BYTE> rgba;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) rgba.insert(rgba.end(), {BYTE(x * 3), BYTE(y * 3), 90, 255});
    image_ = root_.path() + "/turn.png";
    morva::test::write_rgba_png(image_, kW, kH, rgba);
  }
  void TearDown() override { morva::platform::reset_message_boxes(); }

  // Prints one uncompressed image with the given DEVMODE fields and
  // settings; answers the width and height its image operator carries.
  std::pair<int, int> print_image(const std::string& devmode, const std::string& ddmid) {
    std::string json = R"({"printer": "Morva Demo Printer", "document": "Turn", "units": "px", )";
    if (!devmode.empty()) json += R"("devmode": {)" + devmode + "}, ";
    json += R"("ddmid": {"330": 0)" + (ddmid.empty() ? "" : ", " + ddmid) + "}, ";
    json += R"("pages": [{"ops": [{"op": "image", "file": ")" + image_ +
            R"(", "rect": [100, 200, 180, 270], "bpp": 24}]}]})";
    auto r = morva::test::PrintJson(json, root_.path());
    EXPECT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    if (!r.ok) return {0, 0};
    std::ifstream f(morva::platform::job_spool_file(r.job_id), std::ios::binary);
    const std::vector<BYTE> spool{std::istreambuf_iterator<char>(f), {}};
    const auto decoded = morva::tools::DecodeSpoolFile(spool.data(), spool.size());
    EXPECT_TRUE(decoded.ok) << decoded.error;
    std::vector<const PdlItem*> images;
    for (const PdlItem& i : decoded.items)
      if (i.kind == PdlItem::Operator && i.text == "Cq") images.push_back(&i);
    EXPECT_EQ(images.size(), 1u);
    if (images.size() != 1) return {0, 0};
    // x, y and the six matrix values come first.
    return {static_cast<int>(images[0]->operands.at(8).i), static_cast<int>(images[0]->operands.at(9).i)};
  }

  static constexpr int kW = 80, kH = 70;
  morva::test::TempRoot root_;
  std::string image_;
};

// The staple position 0x0606 leaves the feed direction to the paper: A4 and
// letter run in direction 2. A portrait page of one cell needs direction 2,
// a landscape page direction 1, so only the landscape pages turn.
TEST_F(ImageTurnPrint, ThePagesPaperDecidesTheFeedOfAnEdgeIndependentPosition) {
  struct Case {
    int paper, orientation;
    bool turn;
  } cases[] = {{9, 1, false}, {9, 2, true}, {1, 2, true}};
  for (const Case& c : cases) {
    const std::string fields = R"("dmPaperSize": )" + std::to_string(c.paper) + R"(, "dmOrientation": )" +
                               std::to_string(c.orientation);
    SCOPED_TRACE(fields);
    EXPECT_EQ(print_image(fields, R"("326": 1542)"), c.turn ? std::make_pair(kH, kW) : std::make_pair(kW, kH));
  }
}

// The staple (320) and punch (341) settings reach the turn decision through
// the positions derived from them: on a portrait page of one cell staple 3
// and punch 2 sit at 0x0101, whose paper runs in direction 1, and staple 1
// at 0x0303, which runs the way the page needs.
TEST_F(ImageTurnPrint, StapleAndPunchSettingsDecideThroughTheirPositions) {
  struct Case {
    const char* settings;
    bool turn;
  } cases[] = {{R"("320": 3)", true}, {R"("320": 1)", false}, {R"("341": 2)", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    EXPECT_EQ(print_image(R"("dmOrientation": 1)", std::string(R"("295": 1, )") + c.settings),
              c.turn ? std::make_pair(kH, kW) : std::make_pair(kW, kH));
  }
}

}  // namespace
