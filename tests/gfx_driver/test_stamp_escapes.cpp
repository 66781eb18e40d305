// The graphics driver's answers to the stamp drawing on the demo printer:
// the page's drawing rectangle (0x5001) keeps to the page margins when page
// stamps are due, and a stamp origin (0x5004) moves the page transform by
// its offset in device dots.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "gfx_demo.h"
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
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error)) << error;
    ASSERT_TRUE(morva::gfx_demo::make_dc_devmode_default(morva::gfx_demo::kDemoPrinter, &error)) << error;
  }

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
  };
  static bool draw_info(PrinterDc* dc, bool asking, DrawInfo* out) {
    BYTE answer[44] = {};
    BYTE ask[4] = {1, 0, 0, 0};
    if (dc->escape(0x5001, asking ? 4 : 0, asking ? ask : nullptr, 44, answer) != 1) return false;
    out->page_stamp = morva::load_le32(answer + 4);
    std::memcpy(out->page, answer + 12, sizeof out->page);
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

}  // namespace
