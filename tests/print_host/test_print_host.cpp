// The print host against a recording driver installed as a printer: the
// document events and DDI calls it makes, the objects it builds, and what
// reaches the spooler.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <jpeglib.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fixtures/recording.h"
#include "print_job.h"
#include "printer_install.h"
#include "png_file.h"
#include "temp_root.h"
#include "win/ddi_engine.h"
#include "win/spooler.h"
#include "win/strings.h"

namespace {

namespace fs = std::filesystem;
using morva::print_host::Document;
using morva::print_host::PrintResult;

const char16_t* kPrinter = u"Recording Printer";

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool starts(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

std::vector<std::string> with_prefix(const std::vector<std::string>& lines, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& l : lines)
    if (starts(l, prefix)) out.push_back(l);
  return out;
}

using morva::test::write_rgba_png;

void write_jpeg(const std::string& path, int w, int h, BYTE r, BYTE g, BYTE b) {
  FILE* f = std::fopen(path.c_str(), "wb");
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = w;
  c.image_height = h;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<BYTE> row(w * 3);
  for (int x = 0; x < w; ++x) {
    row[3 * x] = r;
    row[3 * x + 1] = g;
    row[3 * x + 2] = b;
  }
  while (c.next_scanline < c.image_height) {
    JSAMPROW p = row.data();
    jpeg_write_scanlines(&c, &p, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::fclose(f);
}

class PrintHost : public ::testing::Test {
 protected:
  void SetUp() override {
    morva::install::PrinterSetup setup;
    setup.name = kPrinter;
    setup.driver_name = u"Recording Driver";
    setup.graphics_driver = std::string(MORVA_BIN_DIR) + "/librecording_driver.so";
    setup.interface_driver = setup.graphics_driver;
    auto r = morva::install::install_printer(setup);
    ASSERT_TRUE(r.ok) << r.message;
    folder_ = root_.file("docs");
    fs::create_directories(folder_);
  }

  // Prints a document given as JSON text; the lines the driver spooled.
  PrintResult print(const std::string& json, std::string* error = nullptr) {
    Document doc;
    std::string parse_error;
    if (!morva::print_host::parse_document(json, "doc.json", folder_, &doc, &parse_error)) {
      if (error) *error = parse_error;
      PrintResult r;
      r.error = parse_error;
      return r;
    }
    PrintResult r = morva::print_host::print_document(doc);
    if (r.ok) spooled_ = lines_of(read_job(r.job_id));
    return r;
  }

  std::string read_job(DWORD job) {
    std::ifstream in(morva::platform::job_spool_file(job), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::vector<std::string> events() {
    return lines_of(morva::test::read_file(root_.file(morva::recording::kEventsFile)));
  }

  std::string doc(const std::string& ops, const std::string& extra = "") {
    return R"({"printer": "Recording Printer", "document": "Test", "units": "px",)" + extra +
           R"( "pages": [{"ops": [)" + ops + "]}]}";
  }

  morva::test::TempRoot root_;
  std::string folder_;
  std::vector<std::string> spooled_;
};

TEST_F(PrintHost, DocumentEventsAndDriverCallsComeInGdiOrder) {
  auto r = print(doc(R"({"op": "line", "from": [10, 10], "to": [100, 10]})",
                     R"( "devmode": {"dmPrintQuality": 600, "dmOrientation": 2, "dmCopies": 3},)"));
  ASSERT_TRUE(r.ok) << r.error;
  const auto ev = events();
  const std::vector<std::string> expected_events = {
      "event 1 dc 0", "event 2 dc 1", "event 5 dc 1 name Test", "event 13 dc 1 escape 1 dcba", "event 6 dc 1", "event 7 dc 1",
      "event 8 dc 1", "event 12 dc 1", "event 10 dc 1"};
  EXPECT_EQ(ev, expected_events);
  ASSERT_GE(spooled_.size(), 8u);
  EXPECT_EQ(spooled_[0], "EnablePDEV dpi 600 patterns 6 orientation 2 copies 3");
  EXPECT_EQ(spooled_[1], "CompletePDEV");
  EXPECT_EQ(spooled_[2], "EnableSurface");
  EXPECT_EQ(spooled_[3], "QueryFont 1");
  EXPECT_EQ(spooled_[4], "QueryFontTree 3");
  EXPECT_EQ(spooled_[5], "StartDoc Test job " + std::to_string(r.job_id));
  EXPECT_EQ(spooled_[6], "Escape 28673 in 4");
  EXPECT_EQ(spooled_[7], "StartPage");
  EXPECT_TRUE(starts(spooled_[8], "StrokePath"));
  EXPECT_EQ(spooled_[spooled_.size() - 2], "SendPage");
  EXPECT_EQ(spooled_.back(), "EndDoc 0");
  auto jobs = morva::platform::spool_jobs(kPrinter);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].document, u"Test");
}

TEST_F(PrintHost, APageWithOtherSettingsResetsTheDc) {
  auto r = print(R"({"printer": "Recording Printer", "document": "Reset", "devmode": {"dmCopies": 2},
    "pages": [{"ops": [{"op": "fill", "rect": [0, 0, 5, 5]}]},
              {"devmode": {"dmOrientation": 2}, "ops": [{"op": "fill", "rect": [0, 0, 5, 5]}]}]})");
  ASSERT_TRUE(r.ok) << r.error;
  const auto ev = events();
  const std::vector<std::string> expected_events = {
      "event 1 dc 0", "event 2 dc 1", "event 5 dc 1 name Reset", "event 13 dc 1 escape 1 dcba", "event 6 dc 1", "event 7 dc 1",
      "event 3 dc 1", "event 4 dc 1", "event 6 dc 1", "event 7 dc 1", "event 8 dc 1", "event 12 dc 1",
      "event 10 dc 1"};
  EXPECT_EQ(ev, expected_events);
  // The new PDEV takes the settings of both and the document of the old.
  auto enables = with_prefix(spooled_, "EnablePDEV");
  ASSERT_EQ(enables.size(), 2u);
  EXPECT_EQ(enables[1], "EnablePDEV dpi 300 patterns 6 orientation 2 copies 2");
  auto reset = std::find(spooled_.begin(), spooled_.end(), "ResetPDEV");
  ASSERT_NE(reset, spooled_.end());
  EXPECT_LT(std::find(spooled_.begin(), spooled_.end(), "SendPage"), reset);
  EXPECT_EQ(with_prefix(spooled_, "StartPage").size(), 2u);
  EXPECT_EQ(spooled_.back(), "EndDoc 0");
}

TEST_F(PrintHost, PathsComeInBatchesWithTheirPens) {
  // 10 lines and 2 Beziers in one closed figure, 4 points a record.
  std::string lines;
  for (int i = 1; i <= 10; ++i) lines += (i > 1 ? "," : "") + std::string("[") + std::to_string(i * 10) + ", 5]";
  auto r = print(doc(R"({"op": "pen", "style": "dash", "width": 3, "geometric": true, "join": "miter", "cap": "flat"},
                        {"op": "path", "steps": [{"move": [0, 0]}, {"line": [)" + lines + R"(]},
                          {"bezier": [[1,1],[2,2],[3,3],[4,4],[5,5],[6,6]]}, {"close": true}]},
                        {"op": "pen"},
                        {"op": "brush", "color": "#00FF00"},
                        {"op": "ellipse", "rect": [0, 0, 100, 50]})",
                     R"( "batches": {"path": 4},)"));
  ASSERT_TRUE(r.ok) << r.error;
  auto strokes = with_prefix(spooled_, "StrokePath");
  ASSERT_EQ(strokes.size(), 1u);
  // Geometric, styled; dashes 6 and 2 times the width; miter join, flat cap.
  EXPECT_NE(strokes[0].find("la 9 width 3.0"), std::string::npos) << strokes[0];
  EXPECT_NE(strokes[0].find("join 2 cap 2 style 18.0"), std::string::npos) << strokes[0];
  std::vector<std::string> records;
  size_t at = std::find(spooled_.begin(), spooled_.end(), strokes[0]) - spooled_.begin();
  for (size_t i = at + 1; i < spooled_.size() && starts(spooled_[i], "rec "); ++i)
    records.push_back(spooled_[i].substr(0, spooled_[i].find(' ', 4 + spooled_[i].substr(4).find(' ') + 1)));
  // begin (start + 4), 4, 2 lines closing nothing yet, Beziers 3 + 3 with end and close.
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[0], "rec 5 5");
  EXPECT_EQ(records[1], "rec 0 4");
  EXPECT_EQ(records[2], "rec 0 2");
  EXPECT_EQ(records[3], "rec 16 3");
  EXPECT_EQ(records[4], "rec 26 3");
  // The ellipse: one figure of four Beziers, marked, stroked and filled.
  auto both = with_prefix(spooled_, "StrokeAndFillPath");
  ASSERT_EQ(both.size(), 1u);
  EXPECT_NE(both[0].find(" fl " + std::to_string(PO_BEZIERS | PO_ELLIPSE)), std::string::npos) << both[0];
  EXPECT_NE(both[0].find(" la 0"), std::string::npos);  // cosmetic solid pen
  EXPECT_EQ(with_prefix(spooled_, "brush fill solid 00FF00").size(), 1u);
}

TEST_F(PrintHost, ClipsReachTheDriverAsGdiBuildsThem) {
  auto r = print(doc(R"({"op": "fill", "rect": [0, 0, 50, 50]},
                        {"op": "clip", "rect": [10, 10, 40, 40]}, {"op": "fill", "rect": [0, 0, 50, 50]},
                        {"op": "clip", "rects": [[0, 0, 20, 20], [10, 10, 30, 30]]}, {"op": "fill", "rect": [0, 0, 50, 50]},
                        {"op": "clip", "path": [{"move": [0, 0]}, {"line": [[40, 0], [0, 40]]}, {"close": true}]},
                        {"op": "fill", "rect": [0, 0, 50, 50]},
                        {"op": "clip"}, {"op": "fill", "rect": [0, 0, 50, 50]})"));
  ASSERT_TRUE(r.ok) << r.error;
  auto clips = with_prefix(spooled_, "clip ");
  ASSERT_EQ(clips.size(), 5u);
  EXPECT_TRUE(starts(clips[0], "clip 0 0,0,2481,3507")) << clips[0];
  EXPECT_EQ(clips[1], "clip 1 10,10,40,40");
  EXPECT_EQ(clips[2], "clip 3 0,0,30,30");
  EXPECT_TRUE(starts(clips[3], "clip 3 0,0,39,39")) << clips[3];
  EXPECT_TRUE(starts(clips[4], "clip 0"));
  // The union of two squares: three bands, each a rectangle and a closed
  // figure of the clip path.
  auto rects = with_prefix(spooled_, "cliprect ");
  ASSERT_GE(rects.size(), 3u);
  EXPECT_EQ(rects[0], "cliprect 0,0,20,10");
  EXPECT_EQ(rects[1], "cliprect 0,10,30,20");
  EXPECT_EQ(rects[2], "cliprect 10,20,30,30");
  auto figures = with_prefix(spooled_, "clippath ");
  EXPECT_TRUE(starts(figures[0], "clippath 15 4 0,0 320,0 320,160 0,160")) << figures[0];
  // The triangle: a band per row, each a pixel narrower than the one above.
  const size_t triangle = rects.size() - 3;
  EXPECT_EQ(triangle, 39u);
  EXPECT_EQ(rects[3], "cliprect 0,0,39,1");
  EXPECT_EQ(rects.back(), "cliprect 0,38,1,39");
}

TEST_F(PrintHost, BrushesAreRealisedOncePerBrushAndFreedWithIt) {
  std::vector<BYTE> rgba;
  for (int i = 0; i < 64; ++i) {
    const bool on = (i / 8 + i % 8) % 2;
    rgba.insert(rgba.end(), {BYTE(on ? 255 : 0), BYTE(on ? 255 : 0), BYTE(on ? 255 : 0), 255});
  }
  write_rgba_png(folder_ + "/checker.png", 8, 8, rgba);
  auto r = print(doc(R"({"op": "bk_color", "color": "#0000FF"},
                        {"op": "brush", "style": "hatch", "hatch": "cross", "color": "#FF0000"},
                        {"op": "fill", "rect": [0, 0, 50, 50]}, {"op": "rectangle", "rect": [0, 0, 60, 60]},
                        {"op": "text_color", "color": "#112233"},
                        {"op": "brush", "style": "pattern", "file": "checker.png", "bpp": 1},
                        {"op": "fill", "rect": [0, 0, 50, 50]}, {"op": "fill", "rect": [0, 0, 50, 50]},
                        {"op": "brush", "style": "pattern", "file": "checker.png", "bpp": 24},
                        {"op": "polygon", "points": [[0, 0], [10, 0], [0, 10]]})"));
  ASSERT_TRUE(r.ok) << r.error;
  auto realized = with_prefix(spooled_, "RealizeBrush");
  ASSERT_EQ(realized.size(), 3u);
  EXPECT_EQ(realized[0], "RealizeBrush hatch 4 mask 0");
  EXPECT_EQ(realized[1], "RealizeBrush hatch 6 mask 0");
  auto fills = with_prefix(spooled_, "brush fill pattern");
  ASSERT_EQ(fills.size(), 5u);
  // The hatch: background then lines; both uses see the same realisation.
  EXPECT_TRUE(starts(fills[0], "brush fill pattern 8x8 fmt 1 hatch 4 table 0000FF FF0000")) << fills[0];
  EXPECT_EQ(fills[0], fills[1]);
  // A monochrome pattern takes the text and background colours.
  EXPECT_TRUE(starts(fills[2], "brush fill pattern 8x8 fmt 1 hatch 6 table 112233 0000FF")) << fills[2];
  EXPECT_EQ(fills[2], fills[3]);
  EXPECT_TRUE(starts(fills[4], "brush fill pattern 8x8 fmt 5 hatch 6")) << fills[4];
  EXPECT_EQ(morva::platform::engine::live_brush_realizations(), 0);
}

// A glyph as FreeType renders it for black and white at an em height.
struct Rendered {
  LONG left, top, width, height;
  std::uint32_t hash;
};

Rendered freetype_glyph(const std::string& file, double em, char32_t ch) {
  FT_Library lib;
  FT_Face face;
  FT_Init_FreeType(&lib);
  FT_New_Face(lib, file.c_str(), 0, &face);
  FT_Set_Char_Size(face, 0, std::lround(em * 64), 72, 72);
  FT_Load_Char(face, ch, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO);
  FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO);
  const FT_Bitmap& b = face->glyph->bitmap;
  const int row = (static_cast<int>(b.width) + 7) / 8;
  std::vector<BYTE> bits;
  for (unsigned y = 0; y < b.rows; ++y) bits.insert(bits.end(), b.buffer + y * b.pitch, b.buffer + y * b.pitch + row);
  Rendered r{face->glyph->bitmap_left, face->glyph->bitmap_top, static_cast<LONG>(b.width), static_cast<LONG>(b.rows),
             morva::recording::hash(bits.data(), bits.size())};
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
  return r;
}

std::string hex6(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%06X", v);
  return buf;
}

TEST_F(PrintHost, TrueTypeTextCarriesFreeTypesGlyphBitmaps) {
  // 12 points at 300 dpi: an em of 50 pixels.
  auto r = print(doc(R"({"op": "font", "face": "Arial", "size": 12},
                        {"op": "text_color", "color": "#FF0000"},
                        {"op": "text", "x": 100, "y": 200, "text": "Agxy!"},
                        {"op": "font", "face": "ＭＳ ゴシック", "size": 12, "charset": 128},
                        {"op": "text", "x": 100, "y": 400, "text": "日本"})",
                     R"( "batches": {"glyphs": 2},)"));
  ASSERT_TRUE(r.ok) << r.error;
  auto texts = with_prefix(spooled_, "TextOut");
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_TRUE(starts(texts[0], "TextOut truetype face DejaVu Sans iface 0 sim 0 glyphs 5 accel 3")) << texts[0];
  EXPECT_NE(texts[0].find("text Agxy!"), std::string::npos);
  EXPECT_TRUE(starts(texts[1], "TextOut truetype face IPAGothic")) << texts[1];
  EXPECT_NE(texts[1].find("text 日本"), std::string::npos);
  EXPECT_EQ(with_prefix(spooled_, "brush fore solid FF0000").size(), 2u);
  auto batches = with_prefix(spooled_, "batch ");
  EXPECT_EQ(batches, (std::vector<std::string>{"batch 2", "batch 2", "batch 1", "batch 2"}));
  auto glyphs = with_prefix(spooled_, "glyph ");
  ASSERT_EQ(glyphs.size(), 7u);
  const std::string sans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
  const std::u32string chars = U"Agxy!";
  LONG previous_x = 0;
  for (size_t i = 0; i < chars.size(); ++i) {
    SCOPED_TRACE(i);
    Rendered ft = freetype_glyph(sans, 50, chars[i]);
    std::istringstream in(glyphs[i]);
    std::string word, at, bits, origin, size, hash;
    HGLYPH hg;
    in >> word >> hg >> at >> at >> bits >> origin >> size >> hash;
    EXPECT_EQ(origin, std::to_string(ft.left) + "," + std::to_string(-ft.top));
    EXPECT_EQ(size, std::to_string(ft.width) + "x" + std::to_string(ft.height));
    EXPECT_EQ(hash, hex6(ft.hash));
    // Origins on one baseline (the cell top at 200 plus the ascent), rising in x.
    const LONG x = std::stol(glyphs[i].substr(glyphs[i].find(" at ") + 4));
    EXPECT_GT(x, previous_x);
    previous_x = x;
    EXPECT_NE(glyphs[i].find("," + std::to_string(200 + 46) + " bits"), std::string::npos) << glyphs[i];
    EXPECT_NE(glyphs[i].find(" curves "), std::string::npos);
  }
  Rendered ni = freetype_glyph("/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf", 50, U'日');
  EXPECT_NE(glyphs[5].find(" " + hex6(ni.hash) + " "), std::string::npos) << glyphs[5];
}

TEST_F(PrintHost, DeviceFontTextUsesTheDriversFont) {
  auto r = print(doc(R"({"op": "font", "face": "RecFont", "size": 12},
                        {"op": "bk_mode", "mode": "opaque"},
                        {"op": "text", "x": 10, "y": 20, "text": "AB"})"));
  ASSERT_TRUE(r.ok) << r.error;
  auto texts = with_prefix(spooled_, "TextOut");
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_TRUE(starts(texts[0], "TextOut device face RecFont iface 1 sim 0 glyphs 2")) << texts[0];
  // 600 of 1000 units at an em of 50 pixels: 30 pixels apart; baseline at 20 + 40.
  auto glyphs = with_prefix(spooled_, "glyph ");
  ASSERT_EQ(glyphs.size(), 2u);
  EXPECT_EQ(glyphs[0], "glyph 65 at 10,60");
  EXPECT_EQ(glyphs[1], "glyph 66 at 40,60");
  EXPECT_EQ(with_prefix(spooled_, "opaque ").front(), "opaque 10,20,70,70 extra -");
}

TEST_F(PrintHost, ImagesKeepTheirColoursAtEveryDepth) {
  // Red, green, blue, white / black, white, red, blue; the last two half transparent.
  std::vector<BYTE> rgba = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255,
                            0,   0, 0, 255, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 255, 0};
  write_rgba_png(folder_ + "/colours.png", 4, 2, rgba);
  write_jpeg(folder_ + "/grey.jpg", 4, 4, 128, 128, 128);
  std::string ops;
  for (int bpp : {1, 4, 8, 16, 24, 32})
    ops += R"({"op": "image", "file": "colours.png", "rect": [0, 0, 4, 2], "bpp": )" + std::to_string(bpp) + "},";
  ops += R"({"op": "image", "file": "colours.png", "rect": [0, 0, 4, 2], "mask": true},
            {"op": "image", "file": "colours.png", "rect": [0, 0, 40, 20]},
            {"op": "image", "file": "grey.jpg", "rect": [0, 0, 4, 4]})";
  auto r = print(doc(ops));
  ASSERT_TRUE(r.ok) << r.error;
  auto blts = with_prefix(spooled_, "blt ");
  ASSERT_EQ(blts.size(), 9u);
  const std::string colours = "px FF0000 00FF00 0000FF FFFFFF 000000 FFFFFF FF0000 0000FF";
  EXPECT_NE(blts[0].find("src fmt 1 4x2 xlate 2 px 000000 FFFFFF 000000 FFFFFF 000000 FFFFFF 000000 000000"),
            std::string::npos)
      << blts[0];
  for (int i = 1; i < 6; ++i) EXPECT_NE(blts[i].find(colours), std::string::npos) << blts[i];
  EXPECT_NE(blts[1].find("fmt 2 4x2 xlate 2"), std::string::npos);
  EXPECT_NE(blts[3].find("fmt 4 4x2 xlate 0"), std::string::npos);  // 5-5-5 through the translation
  EXPECT_NE(blts[4].find("fmt 5 4x2 xlate 1"), std::string::npos);
  // Alpha as a mask: the transparent pixels keep the page.
  EXPECT_TRUE(starts(blts[6], "blt BitBlt rop 00AACC")) << blts[6];
  EXPECT_NE(blts[6].find("mask11111100"), std::string::npos) << blts[6];
  EXPECT_TRUE(starts(blts[7], "blt StretchBlt rop 00CCCC dst 0,0,40,20")) << blts[7];
  // The JPEG: grey within the coder's error.
  std::istringstream jpeg(blts[8].substr(blts[8].find(" px ") + 4));
  int pixels = 0;
  for (std::string word; jpeg >> word && word.size() == 6; ++pixels) {
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(std::stoi(word.substr(2 * i, 2), nullptr, 16), 128, 6) << word;
  }
  EXPECT_EQ(pixels, 16);
}

TEST_F(PrintHost, DocumentsThatDoNotParseAreRefusedWithFileAndLine) {
  struct Case {
    std::string json;
    std::string error;
  } cases[] = {
      {"{\"printer\": \"x\",\n \"pages\": [\n", "doc.json:3: parse error"},
      {"{\"pages\": [{}]}", "doc.json:1: \"printer\" is missing"},
      {"{\"printer\": \"Recording Printer\",\n \"pages\": [{\"ops\": [\n  {\"op\": \"line\", \"from\": [1, 2]},\n"
       "  {\"op\": \"circle\"}]}]}",
       "doc.json:3: \"to\" is missing"},
      {"{\"printer\": \"Recording Printer\", \"pages\": [{\"ops\": [\n\n {\"op\": \"circle\"}]}]}",
       "doc.json:3: unknown drawing call \"circle\""},
      {"{\"printer\": \"Recording Printer\", \"pages\": [{\"ops\": [\n {\"op\": \"pen\", \"color\": \"red\"}]}]}",
       "doc.json:2: a colour is \"#RRGGBB\" or [r, g, b]"},
      {"{\"printer\": \"Recording Printer\", \"pages\": [{\"ops\": [\n {\"op\": \"image\", \"file\": \"none.png\", "
       "\"rect\": [0, 0, 1, 1]}]}]}",
       "doc.json:2: cannot open"},
      {"{\"printer\": \"Recording Printer\", \"pages\": [{\"ops\": [\n {\"op\": \"bezier\", \"points\": "
       "[[0,0],[1,1],[2,2],[3,3],[4,4]]}]}]}",
       "doc.json:2: a Bezier line is a start point and 3 points per curve"},
      {"{\"printer\": \"Recording Printer\", \"pages\": []}", "doc.json:1: \"pages\" is a list of at least one page"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    std::string error;
    PrintResult r = print(c.json, &error);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(starts(error, c.error)) << error;
  }
  EXPECT_TRUE(morva::platform::spool_jobs(kPrinter).empty());
  EXPECT_TRUE(events().empty());  // no DC was made
}

TEST_F(PrintHost, AFailingDriverEntryAbortsTheJob) {
  for (const char* entry : {"DrvBitBlt", "DrvStartPage", "DrvTextOut", "DrvStartDoc"}) {
    SCOPED_TRACE(entry);
    morva::test::write_file(root_.file(morva::recording::kFailFile), entry);
    std::filesystem::remove(root_.file(morva::recording::kEventsFile));
    auto r = print(doc(R"({"op": "fill", "rect": [0, 0, 5, 5]}, {"op": "text", "x": 0, "y": 0, "text": "x"})"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failed_entry, entry);
    EXPECT_NE(r.error.find(std::string(entry) + " failed; the job was aborted"), std::string::npos) << r.error;
    EXPECT_TRUE(morva::platform::spool_jobs(kPrinter).empty());
    const auto ev = events();
    EXPECT_NE(std::find(ev.begin(), ev.end(), "event 9 dc 1"), ev.end());  // ABORTDOC
    EXPECT_EQ(std::find(ev.begin(), ev.end(), "event 8 dc 1"), ev.end());  // no ENDDOC
    EXPECT_EQ(ev.back(), "event 10 dc 1");                                  // the DC is still deleted
  }
}

TEST_F(PrintHost, PlainTextIsPaginatedInATrueTypeFont) {
  std::string text;
  for (int i = 1; i <= 120; ++i) text += "Line " + std::to_string(i) + "\tend\n";
  text += std::string(300, 'w') + "\f" + "after the form feed\n";
  morva::test::write_file(folder_ + "/plain.txt", text);
  morva::print_host::TextOptions options;
  options.printer = kPrinter;
  options.size_pt = 10;
  auto r = morva::print_host::print_text_file(folder_ + "/plain.txt", options);
  ASSERT_TRUE(r.ok) << r.error;
  auto lines = lines_of(read_job(r.job_id));
  auto pages = with_prefix(lines, "StartPage");
  EXPECT_EQ(pages.size(), 3u);
  auto texts = with_prefix(lines, "TextOut");
  // 120 lines, the long word wrapped over more than one line, and the last.
  EXPECT_GT(texts.size(), 122u);
  EXPECT_NE(texts[0].find("face DejaVu Sans Mono"), std::string::npos) << texts[0];
  EXPECT_NE(texts[0].find("text Line 1  end"), std::string::npos) << texts[0];
  EXPECT_NE(texts.back().find("text after the form feed"), std::string::npos);
  auto jobs = morva::platform::spool_jobs(kPrinter);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].document, u"plain.txt");
}

}  // namespace
