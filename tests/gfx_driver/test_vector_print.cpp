// Vector documents printed on the demo printer through the print host and
// the real graphics driver; every spool file is read whole by the decoder
// and its operators are checked against what each drawing call produces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <sstream>

#include "gfx_demo.h"
#include "gfx_print_job.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "printer_dc.h"
#include "temp_root.h"
#include "win/spooler.h"

namespace {

using morva::tools::PdlItem;

class VectorPrint : public morva::test::PrintTest {
 protected:
  void SetUp() override { morva::test::InstallDemoPrinter(); }
  void TearDown() override { morva::platform::clear_spool_faults(); }

  // Prints `pages` pages of the same drawing calls (device pixels).
  morva::print_host::PrintResult print(const std::string& ops, int pages = 1) {
    return PrintPages("Test", std::vector<std::string>(static_cast<std::size_t>(pages), ops));
  }

  // The names from the first occurrence of `from` on.
  std::vector<std::string> after(const std::string& from) const {
    auto all = names();
    auto it = std::find(all.begin(), all.end(), from);
    return {it, all.end()};
  }
};

TEST_F(VectorPrint, AJobIsFramedByHeaderVersionLinesPagesAndTrailer) {
  auto r = print(R"({"op": "line", "from": [100, 100], "to": [400, 100]})", 2);
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error << " at " << decoded_.error_offset;
  EXPECT_EQ(decoded_.summary.jobs, 1u);
  EXPECT_EQ(decoded_.summary.pages, 2u);
  const auto& items = decoded_.items;
  ASSERT_GE(items.size(), 4u);
  EXPECT_EQ(items.front().kind, PdlItem::Uel);
  std::vector<std::string> versions;
  for (const PdlItem& i : items)
    if (i.kind == PdlItem::VersionLine) versions.push_back(i.text);
  ASSERT_EQ(versions.size(), 2u);
  EXPECT_EQ(versions[0].rfind("%QZVKM-", 0), 0u) << versions[0];
  EXPECT_NE(versions[1].find(",VKMDRV-2907.1%"), std::string::npos) << versions[1];
  EXPECT_EQ(items.back().kind, PdlItem::EojLine);
  // Opening operators, then per page: begin, drawing, sheet end, page end;
  // the end operator closes the job.
  std::vector<std::string> frame;
  for (const std::string& n : names())
    if (n == "EA" || n == "FA" || n == "Ec" || n == "FB" || n == "ED" || n == "EB") frame.push_back(n);
  EXPECT_EQ(frame, (std::vector<std::string>{"EA", "FA", "Ec", "FB", "ED", "Ec", "FB", "ED", "EB"}));
  // Three identification comments and the events of two pages and the end.
  EXPECT_EQ(count("EP"), 3u + 2 * 3 + 1);
}

TEST_F(VectorPrint, PenStylesBecomeLineState) {
  struct Case {
    std::string pen;
    int dash_kind;
    int join, cap;  // -1: not written
  } cases[] = {
      {R"("style": "solid", "width": 0)", 1, -1, -1},
      {R"("style": "dash", "width": 0)", 6, -1, -1},
      {R"("style": "dot", "width": 0)", 6, -1, -1},
      {R"("style": "dashdot", "width": 0)", 6, -1, -1},
      {R"("style": "dashdotdot", "width": 0)", 6, -1, -1},
      {R"("style": "solid", "width": 12, "geometric": true, "join": "miter", "cap": "flat")", 1, 1, 1},
      {R"("style": "solid", "width": 12, "geometric": true, "join": "bevel", "cap": "square")", 1, 3, 3},
      {R"("style": "dash", "width": 12, "geometric": true, "join": "round", "cap": "round")", 6, 2, 2},
  };
  for (const Case& c : cases) {
    auto r = print(R"({"op": "pen", )" + c.pen + R"(}, {"op": "polyline", "points": [[100, 100], [300, 140], [500, 100]]})");
    ASSERT_TRUE(r.ok) << c.pen << ": " << r.error << " " << r.failed_entry;
    ASSERT_TRUE(decoded_.ok) << decoded_.error;
    auto dashes = ops("AH");
    ASSERT_EQ(dashes.size(), 1u) << c.pen;
    EXPECT_EQ(operand(dashes[0], 0), c.dash_kind) << c.pen;
    if (c.join >= 0) {
      ASSERT_EQ(count("AF"), 1u) << c.pen;
      EXPECT_EQ(operand(ops("AF")[0], 0), c.join) << c.pen;
      EXPECT_EQ(operand(ops("AE")[0], 0), c.cap) << c.pen;
    }
    // The polyline is one path: a move, its lines, painted as a stroke.
    auto path = after("BA");
    ASSERT_GE(path.size(), 4u) << c.pen;
    EXPECT_TRUE(path[1] == "BB" || path[1] == "Bb") << c.pen;
    EXPECT_EQ(count("BD"), 1u) << c.pen;
    EXPECT_EQ(operand(ops("AK").back(), 0), 1) << c.pen;
  }
}

TEST_F(VectorPrint, ShapesBecomeSingleOperatorsOrPaths) {
  auto r = print(R"({"op": "pen", "style": "solid", "width": 0},
                    {"op": "brush", "style": "solid", "color": "#FF0000"},
                    {"op": "rectangle", "rect": [100, 100, 300, 200]},
                    {"op": "ellipse", "rect": [400, 100, 600, 300]},
                    {"op": "fill_mode", "mode": "winding"},
                    {"op": "polygon", "points": [[100, 400], [300, 600], [500, 400]]},
                    {"op": "bezier", "points": [[100, 700], [200, 600], [300, 800], [400, 700]]},
                    {"op": "path", "steps": [{"move": [100, 900]}, {"line": [[300, 900], [300, 1000]]}, {"close": true}], "fill": true})");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error;
  // Rectangle and ellipse are one operator each; polygon, curve and path
  // go out as paths.
  EXPECT_EQ(count("CG") + count("Cg"), 1u);
  EXPECT_EQ(count("Cc"), 1u);
  EXPECT_EQ(count("BD"), 3u);
  EXPECT_EQ(count("BU") + count("Bu"), 1u);
  EXPECT_GE(count("BC"), 2u);
  // The red fill is RGB (target 2, space 4, its three components); winding fill for the polygon.
  bool red = false;
  for (const PdlItem* c : ops("AM"))
    if (operand(c, 0) == 2 && operand(c, 1) == 4 && operand(c, 2) == 255 && operand(c, 3) == 0 && operand(c, 4) == 0)
      red = true;
  EXPECT_TRUE(red);
  bool winding = false;
  for (const PdlItem* f : ops("AJ"))
    if (operand(f, 0) == 2) winding = true;
  EXPECT_TRUE(winding);
}

TEST_F(VectorPrint, EveryMixModeReachesThePrinterAsItsRasterOperation) {
  std::string calls;
  for (int mix = 1; mix <= 16; ++mix)
    calls += std::string(mix > 1 ? "," : "") + R"({"op": "rop2", "mode": )" + std::to_string(mix) +
             R"(}, {"op": "line", "from": [100, )" + std::to_string(100 + 20 * mix) + R"(], "to": [500, 100]})";
  auto r = print(calls);
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error;
  std::vector<std::int64_t> codes;
  for (const PdlItem* al : ops("AL")) codes.push_back(operand(al, 1));
  std::vector<std::int64_t> expected;
  for (int mix = 1; mix <= 16; ++mix) expected.push_back(mix);
  EXPECT_EQ(codes, expected);
  // After each raster operation the colour goes out again.
  EXPECT_EQ(count("AM"), 16u);
}

TEST_F(VectorPrint, ClipsOfEveryKindAreSentOnlyWhenTheyChange) {
  auto r = print(R"({"op": "brush", "style": "solid", "color": "#000000"},
                    {"op": "clip", "rect": [100, 100, 500, 500]},
                    {"op": "polygon", "points": [[50, 50], [600, 300], [50, 600]]},
                    {"op": "polygon", "points": [[60, 60], [600, 300], [60, 600]]},
                    {"op": "fill", "rect": [0, 0, 300, 300]},
                    {"op": "clip", "rect": [50, 50, 700, 700]},
                    {"op": "polygon", "points": [[10, 10], [800, 300], [10, 800]]},
                    {"op": "clip", "rects": [[100, 100, 200, 200], [300, 300, 400, 400]]},
                    {"op": "polygon", "points": [[10, 10], [800, 300], [10, 800]]},
                    {"op": "polygon", "points": [[20, 20], [800, 300], [20, 800]]},
                    {"op": "clip", "path": [{"move": [100, 100]}, {"line": [[600, 100], [350, 600]]}, {"close": true}]},
                    {"op": "polygon", "points": [[10, 10], [800, 300], [10, 800]]},
                    {"op": "clip"},
                    {"op": "polygon", "points": [[10, 10], [800, 300], [10, 800]]})");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error;
  std::vector<std::string> clip;
  for (const std::string& n : names())
    if (n == "AR" || n == "AB" || n == "Ab" || n == "AC" || n == "CG" || n == "BD") clip.push_back(n);
  const std::vector<std::string> expected = {
      "AR",              // the page starts without a clip
      "AB", "BD", "BD",  // one rectangle for both polygons
      "AR", "CG",        // the brush rectangle is cut, not clipped
      "AB", "BD",        // a larger rectangle
      "AR", "AC", "BD", "BD",  // two rectangles: a clip path, sent once
      "AR", "AC", "BD",  // a path
      "AR", "BD"};       // no clip
  EXPECT_EQ(clip, expected);
}

TEST_F(VectorPrint, BrushRectanglesBecomeRectangleOperators) {
  auto r = print(R"({"op": "brush", "style": "solid", "color": "#00FF00"}, {"op": "fill", "rect": [100, 100, 300, 200]})");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error;
  ASSERT_EQ(count("CG"), 1u);
  EXPECT_EQ(operand(ops("CG")[0], 0), 100);
  EXPECT_EQ(operand(ops("CG")[0], 3), 200);
  // A hatch brush is not drawn as a solid one: the rectangle is filled with
  // the hatch.
  r = print(R"({"op": "brush", "style": "hatch", "hatch": "cross"}, {"op": "fill", "rect": [100, 100, 300, 200]})");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  EXPECT_EQ(count("AN"), 1u);
  EXPECT_EQ(count("CG"), 1u);
}

TEST_F(VectorPrint, ASpoolerThatStopsTakingBytesFailsTheJob) {
  for (auto fault : {morva::platform::SpoolFault::disk_full, morva::platform::SpoolFault::short_write}) {
    morva::platform::inject_spool_fault(fault, 3000);
    std::string calls;
    for (int i = 0; i < 200; ++i)
      calls += std::string(i ? "," : "") + R"({"op": "line", "from": [100, )" + std::to_string(100 + i) +
               R"(], "to": [500, 300]})";
    auto r = print(calls, 3);
    morva::platform::clear_spool_faults();
    EXPECT_FALSE(r.ok);
    for (const auto& job : morva::platform::spool_jobs(morva::gfx_demo::kDemoPrinter))
      EXPECT_EQ(job.status & (JOB_STATUS_COMPLETE | JOB_STATUS_PRINTED), 0u) << job.id;
  }
}

}  // namespace

namespace {

// The printer's default DEVMODE as stored: the DC DEVMODE.
std::vector<BYTE> default_devmode() {
  std::u16string name = morva::gfx_demo::kDemoPrinter;
  HANDLE h = nullptr;
  std::vector<BYTE> out;
  if (!OpenPrinterW(name.data(), &h, nullptr)) return out;
  DWORD needed = 0;
  GetPrinterW(h, 2, nullptr, 0, &needed);
  std::vector<BYTE> info(needed);
  if (needed && GetPrinterW(h, 2, info.data(), needed, &needed)) {
    const DEVMODEW* dm = reinterpret_cast<PRINTER_INFO_2W*>(info.data())->pDevMode;
    if (dm) out.assign(reinterpret_cast<const BYTE*>(dm), reinterpret_cast<const BYTE*>(dm) + dm->dmSize + dm->dmDriverExtra);
  }
  ClosePrinter(h);
  return out;
}

// The graphics library enables a PDEV only for the DC DEVMODE; the
// interface library's CREATEDCPRE makes one from whatever the application
// passes, so a plain driver DEVMODE and a tail without its mark print too.
TEST_F(VectorPrint, EveryDevmodeReachesThePdevAsTheDcDevmode) {
  auto dc = default_devmode();
  ASSERT_EQ(dc.size(), 6012u);
  auto plain = dc;
  reinterpret_cast<DEVMODEW*>(plain.data())->dmDriverExtra = 1384;
  auto unmarked = dc;
  unmarked[5988] = 23;
  for (auto* dm : {&dc, &plain, &unmarked}) {
    std::string error;
    auto made = morva::print_host::PrinterDc::create(morva::gfx_demo::kDemoPrinter,
                                                     reinterpret_cast<DEVMODEW*>(dm->data()), &error);
    EXPECT_NE(made, nullptr) << error;
  }
}

TEST_F(VectorPrint, DeviceCapabilitiesFollowResolutionAndColour) {
  struct Case {
    SHORT dpi;
    SHORT colour;  // DMCOLOR_MONOCHROME 1, DMCOLOR_COLOR 2
    // colours: 16 for colour while the demo model leaves full colour off
    ULONG bits, colours, pattern, aspect_xy, style_step, ht_format;
  } cases[] = {
      {300, 2, 24, 16, HT_PATSIZE_6x6_M, 424, 12, HT_FORMAT_4BPP},
      {600, 2, 24, 16, HT_PATSIZE_8x8_M, 848, 24, HT_FORMAT_4BPP},
      {1200, 1, 1, 2, HT_PATSIZE_12x12_M, 1696, 48, HT_FORMAT_1BPP},
  };
  for (const Case& c : cases) {
    auto dc = default_devmode();
    ASSERT_EQ(dc.size(), 6012u);
    auto* dm = reinterpret_cast<DEVMODEW*>(dc.data());
    dm->dmPrintQuality = c.dpi;
    dm->dmYResolution = c.dpi;
    dm->dmColor = c.colour;
    std::string error;
    auto pdc = morva::print_host::PrinterDc::create(morva::gfx_demo::kDemoPrinter, dm, &error);
    ASSERT_NE(pdc, nullptr) << error;
    const GDIINFO& g = pdc->gdi_info();
    EXPECT_EQ(g.ulVersion, 0x400u);
    EXPECT_EQ(g.ulTechnology, static_cast<ULONG>(DT_RASPRINTER));
    EXPECT_EQ(g.ulLogPixelsX, static_cast<ULONG>(c.dpi)) << c.dpi;
    EXPECT_EQ(g.cBitsPixel, c.bits) << c.dpi;
    EXPECT_EQ(g.ulNumColors, c.colours) << c.dpi;
    EXPECT_EQ(g.ulHTPatternSize, c.pattern) << c.dpi;
    EXPECT_EQ(g.ulAspectXY, c.aspect_xy) << c.dpi;
    EXPECT_EQ(g.denStyleStep, c.style_step) << c.dpi;
    EXPECT_EQ(g.ulHTOutputFormat, c.ht_format) << c.dpi;
    // The printable area lies inside the sheet at its offset.
    EXPECT_GT(g.ulHorzRes, 0u);
    EXPECT_LE(static_cast<LONG>(g.ulHorzRes) + g.ptlPhysOffset.x, g.szlPhysSize.cx);
    EXPECT_LE(static_cast<LONG>(g.ulVertRes) + g.ptlPhysOffset.y, g.szlPhysSize.cy);
    const DEVINFO& d = pdc->dev_info();
    EXPECT_EQ(d.flGraphicsCaps & 0x11Fu, 0x11Fu);
    EXPECT_EQ(d.iDitherFormat, static_cast<ULONG>(BMF_24BPP));
    HPALETTE palette = nullptr;  // the field is not pointer-aligned in the record
    std::memcpy(&palette, reinterpret_cast<const BYTE*>(&d) + offsetof(DEVINFO, hpalDefault), sizeof palette);
    EXPECT_NE(palette, nullptr);
  }
}

}  // namespace
