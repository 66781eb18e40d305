// The graphics driver's answers to the stamp drawing on the demo printer:
// the page's drawing rectangle (0x5001) keeps to the page margins when page
// stamps are due, and a stamp origin (0x5004) moves the page transform by
// its offset in device dots.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "gfx_demo.h"
#include "gfx_print_job.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "printer_dc.h"
#include "temp_root.h"
#include "win/endian.h"
#include "win/spooler.h"

namespace {

using morva::print_host::PrinterDc;
using morva::tools::PdlItem;

class StampEscapes : public ::testing::Test {
 protected:
  void SetUp() override { morva::test::InstallDemoPrinter(); }

  // A DC whose settings name a page stamp (mode B: not over the whole area)
  // when `stamp` is set.
  std::unique_ptr<PrinterDc> dc_with(const std::map<std::string, std::string>& fields,
                                     std::map<WORD, std::string> ddmid, bool stamp) {
    if (stamp) {
      ddmid[297] = "Mark";
      ddmid[299] = "DRAFT";
      ddmid[1288] = "0";
    }
    std::vector<BYTE> devmode;
    std::string error;
    EXPECT_TRUE(morva::print_host::build_devmode(morva::gfx_demo::kDemoPrinter, fields, ddmid, &devmode, &error))
        << error;
    // The DC DEVMODE's paper record names 4.6 mm margins for its paper, as
    // the interface library stores them when the settings ask for them.
    EXPECT_EQ(devmode.size(), 6012u);
    if (devmode.size() < 6012) return nullptr;
    const WORD paper = reinterpret_cast<const DEVMODEW*>(devmode.data())->dmPaperSize;
    const WORD record[6] = {paper, 0, 46, 46, 46, 46};
    std::memcpy(devmode.data() + 5990, record, sizeof record);
    auto dc = PrinterDc::create(morva::gfx_demo::kDemoPrinter, reinterpret_cast<const DEVMODEW*>(devmode.data()),
                                &error);
    EXPECT_NE(dc, nullptr) << error;
    return dc;
  }

  // 0x5001's flags and the page's rectangle (dots); asking leaves the page
  // count where it is.
  struct DrawInfo {
    DWORD page_stamp = 0;
    float page[4] = {};
    float sheet[4] = {};
  };
  static bool draw_info(PrinterDc* dc, bool asking, DrawInfo* out) {
    BYTE answer[44] = {};
    BYTE ask[4] = {1, 0, 0, 0};
    if (dc->escape(0x5001, asking ? 4 : 0, asking ? ask : nullptr, 44, answer) != 1) return false;
    out->page_stamp = morva::load_le32(answer + 4);
    std::memcpy(out->page, answer + 12, sizeof out->page);
    std::memcpy(out->sheet, answer + 28, sizeof out->sheet);
    return true;
  }

  morva::test::TempRoot root_;
};

// With the interface library's paper margins (387 on: 4.6 mm on each side)
// the rectangle of a page that takes a page stamp moves from the printable
// area's edges to the margins, on portrait and landscape pages alike; the
// question that does not advance the page leaves it at the edges, and
// without stored margins the margins are the edges.
TEST_F(StampEscapes, ThePageRectangleKeepsToThePageMargins) {
  struct Case {
    const char* orientation;
    const char* margins;
    double width_tenths, height_tenths;  // the page as the DC has it
    bool moved;
  } cases[] = {
      {"1", "1", 2100, 2970, true},
      {"2", "1", 2970, 2100, true},
      {"1", "0", 2100, 2970, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("orientation ") + c.orientation + ", margins " + c.margins);
    auto dc = dc_with({{"dmOrientation", c.orientation}}, {{387, c.margins}}, true);
    ASSERT_NE(dc, nullptr);
    ASSERT_TRUE(dc->start_doc(u"Margins") && dc->start_page() && dc->line_to({300, 300})) << dc->failed_entry();
    DrawInfo edges, page;
    ASSERT_TRUE(draw_info(dc.get(), true, &edges));
    ASSERT_TRUE(draw_info(dc.get(), false, &page));
    EXPECT_EQ(edges.page_stamp, 0u);
    EXPECT_EQ(page.page_stamp, 1u);
    const double dpi = dc->dpi_x();
    const double margin = 46 * dpi / 254;
    const double w = c.width_tenths * dpi / 254, h = c.height_tenths * dpi / 254;
    const double expected[4] = {margin, margin, w - margin, h - margin};
    for (int i = 0; i < 4; ++i) {
      SCOPED_TRACE(i);
      if (c.moved) {
        EXPECT_NEAR(page.page[i], expected[i], 3);
        EXPECT_GT(std::fabs(page.page[i] - edges.page[i]), 3);  // the demo's offsets are not 4.6 mm
      } else {
        EXPECT_EQ(page.page[i], edges.page[i]);
      }
    }
    // The stamps themselves are not the point here.
    dc->abort_doc();
  }
}

// A stamp origin makes the page transform that of the page moved by the
// offset: right by x and down by y device dots (1/72 inch in the
// transform, whose y runs upward). An origin of any other size than 8
// bytes changes nothing.
TEST_F(StampEscapes, AStampOriginMovesThePageTransformByItsOffset) {
  auto dc = dc_with({}, {}, false);
  ASSERT_NE(dc, nullptr);
  ASSERT_TRUE(dc->start_doc(u"Origin") && dc->start_page() && dc->line_to({300, 300})) << dc->failed_entry();
  BYTE origin[8];
  morva::store_le32(origin, 600);
  morva::store_le32(origin + 4, 300);
  EXPECT_EQ(dc->escape(0x5004, 4, origin, 0, nullptr), 1);
  EXPECT_EQ(dc->escape(0x5004, 8, origin, 0, nullptr), 1);
  ASSERT_TRUE(dc->line_to({400, 400}) && dc->end_page() && dc->end_doc()) << dc->failed_entry();
  auto job = morva::tools::DecodeSpoolFilePath(morva::platform::job_spool_file(dc->job_id()));
  ASSERT_TRUE(job.ok) << job.error << " at " << job.error_offset;
  std::vector<std::vector<float>> matrices;
  for (const PdlItem& i : job.items) {
    if (i.kind != PdlItem::Operator || i.text != "Aa" || i.operands.size() != 6) continue;
    matrices.emplace_back();
    for (const auto& v : i.operands) matrices.back().push_back(v.f);
  }
  // The page's own transform, then the moved one, come last.
  ASSERT_GE(matrices.size(), 2u);
  const std::vector<float>& page = matrices[matrices.size() - 2];
  const std::vector<float>& moved = matrices.back();
  EXPECT_NE(page[0], 1.0f) << "the page transform scales dots to 1/72 inch";
  const double unit = 72.0 / dc->dpi_x();
  for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(moved[k], page[k]) << k;
  // Offsets go through whole tenths of a millimetre: within a dot.
  EXPECT_NEAR(moved[4] - page[4], 600 * unit, unit);
  EXPECT_NEAR(moved[5] - page[5], -300 * unit, unit);
}

// The sheet's rectangle is given in the frame the stamps are drawn in: a
// landscape page turns it across, an N-up sheet keeps it upright. While the
// header of a booklet of N-up pages is drawn (0x5008 on), it is the N-up
// sheet that one half of the paper takes, scaled back up, less the cover's
// share.
TEST_F(StampEscapes, TheSheetRectangleFollowsTheFrameStampsAreDrawnIn) {
  // The upright sheet of the plain portrait job, for reference.
  float upright[4];
  {
    auto dc = dc_with({}, {}, false);
    ASSERT_NE(dc, nullptr);
    ASSERT_TRUE(dc->start_doc(u"Upright") && dc->start_page() && dc->line_to({300, 300})) << dc->failed_entry();
    DrawInfo i;
    ASSERT_TRUE(draw_info(dc.get(), true, &i));
    std::memcpy(upright, i.sheet, sizeof upright);
    dc->abort_doc();
  }
  ASSERT_LT(upright[2] - upright[0], upright[3] - upright[1]);
  const double l = upright[0], t = upright[1], r = upright[2], b = upright[3];
  const double s = std::min((r - l) / (b - t), 0.5 * (b - t) / (r - l));
  struct Case {
    const char* what;
    const char* orientation;
    std::map<WORD, std::string> settings;
    bool header_mode;
    double expected[4];
  } cases[] = {
      {"landscape page", "2", {}, false, {t, l, b, r}},
      {"landscape pages 4-up", "2", {{295, "4"}, {264, "3"}}, false, {l, t, r, b}},
      {"booklet of landscape pages", "2", {{321, "2"}}, false, {t, l, b, r}},
      {"booklet of 4-up pages, no header", "1", {{321, "2"}, {295, "4"}, {264, "3"}}, false, {l, t, r, b}},
      {"booklet of 4-up pages, header",
       "1",
       {{321, "2"}, {295, "4"}, {264, "3"}},
       true,
       {l, t, t + (std::trunc((t + b) / 2) - t) / s, l + (r - l) / s}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto dc = dc_with({{"dmOrientation", c.orientation}}, c.settings, false);
    ASSERT_NE(dc, nullptr);
    ASSERT_TRUE(dc->start_doc(u"Frames") && dc->start_page() && dc->line_to({300, 300})) << dc->failed_entry();
    BYTE on[4] = {1, 0, 0, 0}, flag[4] = {};
    if (c.header_mode) {
      ASSERT_EQ(dc->escape(0x5008, 4, on, 0, nullptr), 1);
      ASSERT_EQ(dc->escape(0x5008, 0, nullptr, 4, flag), 1);
      EXPECT_EQ(morva::load_le32(flag), 1u) << "the second suppression flag is on";
    }
    DrawInfo i;
    ASSERT_TRUE(draw_info(dc.get(), true, &i));
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(i.sheet[k], c.expected[k], 2) << k;
    dc->abort_doc();
  }
}

// A sheet stamp of a booklet of N-up pages goes over the whole N-up sheet:
// the stamp's drawing is clipped to that sheet (the A4 page scaled up from
// its half of the paper: A4 again), and the clip is reset after it.
TEST_F(StampEscapes, ABookletSheetStampIsClippedToItsNupSheet) {
  auto dc = dc_with({},
                    {{321, "2"}, {295, "4"}, {264, "3"}, {297, "Mark"}, {299, std::string(30, 'D')}, {1288, "1"},
                     {1286, "0"}},
                    false);
  ASSERT_NE(dc, nullptr);
  ASSERT_TRUE(dc->start_doc(u"Booklet stamp")) << dc->failed_entry();
  // One page and a long text: the stamp repeats over the whole sheet.
  ASSERT_TRUE(dc->start_page() && dc->line_to({300, 300}) && dc->end_page() && dc->end_doc()) << dc->failed_entry();
  auto job = morva::tools::DecodeSpoolFilePath(morva::platform::job_spool_file(dc->job_id()));
  ASSERT_TRUE(job.ok) << job.error << " at " << job.error_offset;
  const double dpi = dc->dpi_x();
  auto number = [](const morva::tools::PdlValue& v) {
    return v.kind == morva::tools::PdlValue::Real ? static_cast<double>(v.f) : static_cast<double>(v.i);
  };
  int clips = 0;
  bool reset_after = false;
  for (const PdlItem& i : job.items) {
    if (i.kind != PdlItem::Operator) continue;
    if (i.text == "AB" && i.operands.size() == 4) {
      ++clips;
      reset_after = false;
      EXPECT_EQ(number(i.operands[0]), 0);
      EXPECT_EQ(number(i.operands[1]), 0);
      EXPECT_NEAR(number(i.operands[2]), 2100 * dpi / 254, 2);
      EXPECT_NEAR(number(i.operands[3]), 2970 * dpi / 254, 2);
    }
    if (i.text == "AR" && clips) reset_after = true;
  }
  EXPECT_GE(clips, 1) << "the stamp was drawn on the booklet's N-up sheet";
  EXPECT_TRUE(reset_after);
}

}  // namespace
