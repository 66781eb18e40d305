// Images and brushes printed on the demo printer through the print host and
// the real graphics driver: the decoder reads the image, stencil and brush
// operators, and the image data is decoded again (the run-length decoder,
// libjpeg for JPEG) and compared with the source pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include <nlohmann/json.hpp>

#include "ddd_builder.h"
#include "gfx_demo.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "run_length_decoder.h"
#include "png_file.h"
#include "temp_root.h"
#include "win/msgbox.h"
#include "win/paths.h"
#include "win/spooler.h"

namespace {

using morva::tools::PdlItem;
using Bytes = std::vector<BYTE>;

struct Rgb {
  BYTE r, g, b;
  bool operator==(const Rgb&) const = default;
};

// One decoded "Cq" (or "Cp") with its data.
struct DecodedImage {
  double x = 0, y = 0;
  double m[6] = {};
  int width = 0, height = 0;
  int mask_kind = 0;
  int format = 0;
  int bits = 0;  // bits per component
  int method = 0;
  Bytes palette;  // from the tail or the preceding "AV"
  Bytes mask, data;
};

using morva::test::write_rgba_png;

Bytes jpeg_decode(const Bytes& coded, int* w, int* h, int* components) {
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, coded.data(), coded.size());
  jpeg_read_header(&cinfo, TRUE);
  jpeg_start_decompress(&cinfo);
  *w = static_cast<int>(cinfo.output_width);
  *h = static_cast<int>(cinfo.output_height);
  *components = cinfo.output_components;
  Bytes out(static_cast<std::size_t>(*w) * *h * *components);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out.data() + static_cast<std::size_t>(cinfo.output_scanline) * *w * *components;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return out;
}

// A JPEG file of the pixels, as a camera would leave it.
void write_jpeg(const std::string& path, int w, int h, const std::vector<BYTE>& rgb) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = static_cast<JDIMENSION>(w);
  cinfo.image_height = static_cast<JDIMENSION>(h);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 90, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  for (int y = 0; y < h; ++y) {
    JSAMPROW row = const_cast<BYTE*>(rgb.data()) + static_cast<std::size_t>(y) * w * 3;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::fclose(f);
}

class ImagePrint : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error)) << error;
    ASSERT_TRUE(morva::gfx_demo::make_dc_devmode_default(morva::gfx_demo::kDemoPrinter, &error)) << error;
    morva::platform::reset_message_boxes();
  }
  void TearDown() override { morva::platform::reset_message_boxes(); }

  // A PNG of the pixels (alpha 255 unless given) in the test's folder.
  std::string image(const std::string& name, int w, int h, const std::vector<Rgb>& px, const Bytes& alpha = {}) {
    Bytes rgba;
    for (std::size_t i = 0; i < px.size(); ++i)
      rgba.insert(rgba.end(), {px[i].r, px[i].g, px[i].b, alpha.empty() ? BYTE{255} : alpha[i]});
    std::string path = root_.path() + "/" + name + ".png";
    write_rgba_png(path, w, h, rgba);
    return path;
  }

  // Prints one page of drawing calls with the given settings.
  morva::print_host::PrintResult print(const std::string& ops, const std::string& ddmid = "") {
    std::string json = R"({"printer": "Morva Demo Printer", "document": "Images", "units": "px", )";
    if (!ddmid.empty()) json += R"("ddmid": {)" + ddmid + "}, ";
    json += R"("pages": [{"ops": [)" + ops + "]}]}";
    morva::print_host::Document doc;
    std::string error;
    EXPECT_TRUE(morva::print_host::parse_document(json, "doc.json", root_.path(), &doc, &error)) << error;
    auto r = morva::print_host::print_document(doc);
    spool_.clear();
    decoded_ = {};
    if (r.ok) {
      std::ifstream f(morva::platform::job_spool_file(r.job_id), std::ios::binary);
      spool_.assign(std::istreambuf_iterator<char>(f), {});
      decoded_ = morva::tools::DecodeSpoolFile(spool_.data(), spool_.size());
      EXPECT_TRUE(decoded_.ok) << decoded_.error << " at " << decoded_.error_offset;
    }
    return r;
  }

  std::vector<const PdlItem*> ops(const std::string& name) const {
    std::vector<const PdlItem*> out;
    for (const PdlItem& i : decoded_.items)
      if (i.kind == PdlItem::Operator && i.text == name) out.push_back(&i);
    return out;
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const PdlItem& i : decoded_.items)
      if (i.kind == PdlItem::Operator) out.push_back(i.text);
    return out;
  }
  static double num(const PdlItem* item, std::size_t n) {
    const auto& v = item->operands.at(n);
    return v.kind == morva::tools::PdlValue::Real ? v.f : static_cast<double>(v.i);
  }
  Bytes bytes_of(const morva::tools::PdlValue& v) const {
    return Bytes(spool_.begin() + static_cast<long>(v.offset), spool_.begin() + static_cast<long>(v.offset + v.i));
  }

  // Every image of the job in order, with its palette and data.
  std::vector<DecodedImage> images() const {
    std::vector<DecodedImage> out;
    Bytes av_palette;
    const auto& items = decoded_.items;
    for (std::size_t k = 0; k < items.size(); ++k) {
      const PdlItem& it = items[k];
      if (it.kind != PdlItem::Operator) continue;
      if (it.text == "AV") {
        av_palette = bytes_of(it.operands.back());
        continue;
      }
      if (it.text != "Cq") continue;
      DecodedImage d;
      std::size_t i = 0;
      d.x = num(&it, i++);
      d.y = num(&it, i++);
      for (double& v : d.m) v = num(&it, i++);
      d.width = static_cast<int>(num(&it, i++));
      d.height = static_cast<int>(num(&it, i++));
      d.mask_kind = static_cast<int>(num(&it, i++));
      std::size_t mask_bytes = 0;
      if (d.mask_kind == 2) {
        ++i;
        mask_bytes = static_cast<std::size_t>(num(&it, i++));
      }
      ++i;  // source kind
      d.format = static_cast<int>(num(&it, i++));
      if (d.format >= 8 && d.format <= 11) {
        i += 3;
        d.palette = bytes_of(it.operands.at(i++));
      }
      if (d.format == 15) d.palette = av_palette;
      ++i;  // the byte 1
      d.bits = static_cast<int>(num(&it, i++));
      d.method = static_cast<int>(num(&it, i++));
      // The data follows: mask bytes, then image bytes.
      Bytes all;
      for (std::size_t j = k + 1; j < items.size() && items[j].kind == PdlItem::Data; ++j)
        all.insert(all.end(), spool_.begin() + static_cast<long>(items[j].offset),
                   spool_.begin() + static_cast<long>(items[j].offset + items[j].length));
      if (all.size() >= mask_bytes) {
        d.mask.assign(all.begin(), all.begin() + static_cast<long>(mask_bytes));
        d.data.assign(all.begin() + static_cast<long>(mask_bytes), all.end());
      }
      out.push_back(d);
    }
    return out;
  }

  // The pixels of an uncompressed or run-length image as RGB.
  static std::vector<Rgb> pixels(const DecodedImage& d) {
    Bytes data = d.data;
    const bool rgb = d.format == 4;
    if (d.method == 8) data = morva::test::rl_decode(data, static_cast<unsigned>(d.width), static_cast<unsigned>(d.height), rgb ? 24 : 8);
    std::vector<Rgb> out;
    const int bits = rgb ? 24 : d.bits;
    const std::size_t stride = (static_cast<std::size_t>(d.width) * bits + 7) / 8;
    for (int y = 0; y < d.height; ++y)
      for (int x = 0; x < d.width; ++x) {
        const BYTE* row = data.data() + y * stride;
        if (rgb) {
          out.push_back({row[3 * x], row[3 * x + 1], row[3 * x + 2]});
          continue;
        }
        unsigned v = bits == 8 ? row[x] : bits == 4 ? (row[x / 2] >> (x % 2 ? 0 : 4)) & 0xF : (row[x / 8] >> (7 - x % 8)) & 1;
        if (d.format == 3) out.push_back({BYTE(v), BYTE(v), BYTE(v)});
        else if (d.format == 10 || (d.format == 15 && d.palette.size() < 3 * (1u << bits) && d.palette.size() % 3)) out.push_back({d.palette[v], d.palette[v], d.palette[v]});
        else out.push_back({d.palette.at(3 * v), d.palette.at(3 * v + 1), d.palette.at(3 * v + 2)});
      }
    return out;
  }

  morva::test::TempRoot root_;
  Bytes spool_;
  morva::tools::PdlDecodeResult decoded_;
};

// Six colours every depth from 4 bits up holds exactly.
const std::vector<Rgb> kPrimaries = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};

std::vector<Rgb> pattern(int w, int h, const std::vector<Rgb>& colours) {
  std::vector<Rgb> px;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) px.push_back(colours[static_cast<std::size_t>(x * 7 + y * 3) % colours.size()]);
  return px;
}

TEST_F(ImagePrint, SourcesOfEveryDepthArriveWithTheirPixels) {
  const int w = 37, h = 11;  // odd width: rows that do not end on a byte
  struct Case {
    int bpp;
    int format;  // in the stream; 15 when the palette went ahead in "AV"
  } cases[] = {{1, 11}, {4, 11}, {8, 11}, {16, 4}, {24, 4}, {32, 4}};
  for (const Case& c : cases) {
    const auto src = pattern(w, h, c.bpp == 1 ? std::vector<Rgb>{{0, 0, 0}, {255, 255, 255}} : kPrimaries);
    const std::string file = image("src" + std::to_string(c.bpp), w, h, src);
    auto r = print(R"({"op": "image", "file": ")" + file + R"(", "rect": [200, 300, 237, 311], "bpp": )" +
                       std::to_string(c.bpp) + "}",
                   R"("330": 0)");
    ASSERT_TRUE(r.ok) << c.bpp << ": " << r.error << " " << r.failed_entry;
    auto list = images();
    ASSERT_EQ(list.size(), 1u) << c.bpp;
    const DecodedImage& d = list[0];
    EXPECT_TRUE(d.format == c.format || (c.format == 11 && d.format == 15)) << c.bpp << " format " << d.format;
    EXPECT_EQ(d.method, 1) << c.bpp;
    EXPECT_EQ(d.width, w);
    EXPECT_EQ(d.height, h);
    EXPECT_EQ(d.x, 200);
    EXPECT_EQ(d.y, 300);
    EXPECT_DOUBLE_EQ(d.m[0], 1.0);
    EXPECT_DOUBLE_EQ(d.m[3], 1.0);
    EXPECT_EQ(d.bits, c.bpp <= 8 ? c.bpp : 8) << c.bpp;
    EXPECT_EQ(pixels(d), src) << c.bpp;
  }
}

// A photo-like gradient: smooth, so both codes shrink it.
std::vector<Rgb> gradient(int w, int h) {
  std::vector<Rgb> px;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      px.push_back({static_cast<BYTE>(x * 255 / w), static_cast<BYTE>(y * 255 / h), static_cast<BYTE>((x + y) * 127 / (w + h))});
  return px;
}

TEST_F(ImagePrint, CompressedImagesDecodeToTheSource) {
  const int w = 160, h = 120;
  const auto src = gradient(w, h);
  const std::string file = image("photo", w, h, src);
  const std::string draw = R"({"op": "image", "file": ")" + file + R"(", "rect": [0, 0, 160, 120], "bpp": 24})";
  // Run length: exact.
  auto r = print(draw, R"("330": 1)");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  auto list = images();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].method, 8);
  EXPECT_EQ(list[0].format, 4);
  EXPECT_LT(list[0].data.size(), static_cast<std::size_t>(w * h * 3));
  EXPECT_EQ(pixels(list[0]), src);
  // JPEG, coded through the document's image temp file: within a small
  // error of the source.
  r = print(draw, R"("330": 2)");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  list = images();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].method, 4);
  EXPECT_EQ(list[0].format, 5);
  int jw = 0, jh = 0, comps = 0;
  const Bytes decoded = jpeg_decode(list[0].data, &jw, &jh, &comps);
  ASSERT_EQ(jw, w);
  ASSERT_EQ(jh, h);
  ASSERT_EQ(comps, 3);
  long total = 0;
  int worst = 0;
  for (std::size_t i = 0; i < src.size(); ++i)
    for (int c = 0; c < 3; ++c) {
      const int want = c == 0 ? src[i].r : c == 1 ? src[i].g : src[i].b;
      const int diff = std::abs(decoded[3 * i + c] - want);
      total += diff;
      worst = std::max(worst, diff);
    }
  EXPECT_LT(static_cast<double>(total) / (src.size() * 3), 3.0);
  EXPECT_LT(worst, 40);
  // A JPEG request for an image drawn with another raster operation falls
  // back to the run-length code.
  r = print(R"({"op": "image", "file": ")" + file + R"(", "rect": [0, 0, 160, 120], "bpp": 24, "rop": "8888"})",
            R"("330": 2)");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  list = images();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].method, 8);
  EXPECT_EQ(pixels(list[0]), src);
}

// Deep images go out as their rows are read. A run-length code longer
// than the piece kept in memory passes through the image temp file; a
// code that would not be smaller leaves the rows as they are. Every one
// decodes to its source exactly.
TEST_F(ImagePrint, DeepImagesStreamedFromTheirRowsDecodeExactly) {
  unsigned seed = 12345;
  auto noise = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<BYTE>(seed >> 16);
  };
  // Left half noise, right half one colour: the code is smaller than the
  // rows, and larger than 4 MB.
  const int bw = 2000, bh = 1400;
  std::vector<Rgb> half;
  for (int y = 0; y < bh; ++y)
    for (int x = 0; x < bw; ++x) half.push_back(x < bw / 2 ? Rgb{noise(), noise(), noise()} : Rgb{10, 200, 30});
  const int nw = 300, nh = 200;
  std::vector<Rgb> all_noise;
  for (int i = 0; i < nw * nh; ++i) all_noise.push_back({noise(), noise(), noise()});
  struct Case {
    const char* name;
    int w, h;
    const std::vector<Rgb>* src;
    int bpp;
    const char* compression;
    int method;
    std::size_t min_bytes;  // the coded data is at least this long
  } cases[] = {
      {"half noise", bw, bh, &half, 24, "1", 8, std::size_t{4} << 20},
      {"noise", nw, nh, &all_noise, 32, "1", 1, std::size_t{nw} * nh * 3},
      {"noise raw", nw, nh, &all_noise, 24, "0", 1, std::size_t{nw} * nh * 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = image(std::string("stream") + c.compression + std::to_string(c.w), c.w, c.h, *c.src);
    auto r = print(R"({"op": "image", "file": ")" + file + R"(", "rect": [0, 0, )" + std::to_string(c.w) + ", " +
                       std::to_string(c.h) + R"(], "bpp": )" + std::to_string(c.bpp) + "}",
                   std::string(R"("330": )") + c.compression);
    ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    auto list = images();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].method, c.method);
    EXPECT_EQ(list[0].format, 4);
    EXPECT_GE(list[0].data.size(), c.min_bytes);
    EXPECT_LT(list[0].data.size(), std::size_t{3} * c.w * c.h + 1);
    EXPECT_TRUE(pixels(list[0]) == *c.src);
  }
}

// While a stamp is drawn with suppression data, a solid brush becomes the
// stamp colour (a COLORREF) as a transparent 8 x 8 pattern of the third
// target. The stamp mode needs the sheet begun by a first drawing.
TEST_F(ImagePrint, SolidBrushesOfSuppressedStampsBecomeTheStampPattern) {
  auto r = print(R"({"op": "brush", "style": "solid", "color": "#00FF00"},
                    {"op": "fill", "rect": [0, 0, 50, 50]},
                    {"op": "escape", "code": 20483, "data": "01000000"},
                    {"op": "fill", "rect": [100, 100, 300, 200]},
                    {"op": "escape", "code": 20483, "data": "00000000"},
                    {"op": "fill", "rect": [400, 100, 600, 200]})",
                 R"("297": "Mark", "299": ".", "1288": 0, "1287": 1, "301": 255)");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  const Bytes rows = {0xBB, 0xBB, 0xEE, 0xEE, 0xBB, 0xBB, 0xEE, 0xEE};
  int stamp_patterns = 0;
  for (const PdlItem* ao : ops("AO")) {
    if (num(ao, 2) != 3) continue;
    ++stamp_patterns;
    EXPECT_EQ(num(ao, 3), 4);  // RGB
    EXPECT_EQ((Rgb{BYTE(num(ao, 4)), BYTE(num(ao, 5)), BYTE(num(ao, 6))}), (Rgb{255, 0, 0}));
    EXPECT_EQ(num(ao, 8), 8);
    EXPECT_EQ(num(ao, 9), 8);
    EXPECT_EQ(bytes_of(ao->operands.back()), rows);
  }
  EXPECT_GE(stamp_patterns, 1);
  bool transparent = false;
  for (const PdlItem* aq : ops("AQ")) transparent |= num(aq, 0) == 3 && num(aq, 1) == 2;
  EXPECT_TRUE(transparent);
}

// A page as programs print them: a camera photo (a JPEG file), a
// screenshot (32 bits, flat areas and sharp strokes), a 1-bit scan, a
// hatch and a pattern. Every image decodes to the pixels the program drew:
// exactly unless it went out as JPEG, within the stated error then.
TEST_F(ImagePrint, APageOfPhotoScreenshotScanHatchAndPatternPrints) {
  const int pw = 200, ph = 136;
  Bytes photo_rgb;
  for (int y = 0; y < ph; ++y)
    for (int x = 0; x < pw; ++x)
      photo_rgb.insert(photo_rgb.end(), {static_cast<BYTE>(120 + 100 * std::sin(x / 17.0) * std::cos(y / 23.0)),
                                         static_cast<BYTE>(x * 255 / pw), static_cast<BYTE>(255 - y * 255 / ph)});
  const std::string photo = root_.path() + "/photo.jpg";
  write_jpeg(photo, pw, ph, photo_rgb);
  // What the program holds after reading its file.
  std::ifstream in(photo, std::ios::binary);
  const Bytes file_bytes{std::istreambuf_iterator<char>(in), {}};
  int fw = 0, fh = 0, comps = 0;
  const Bytes read = jpeg_decode(file_bytes, &fw, &fh, &comps);
  std::vector<Rgb> photo_px;
  for (std::size_t i = 0; i + 2 < read.size(); i += 3) photo_px.push_back({read[i], read[i + 1], read[i + 2]});

  const int sw = 240, sh = 150;
  std::vector<Rgb> shot(sw * sh, Rgb{240, 240, 240});
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < sw; ++x) shot[y * sw + x] = {0, 84, 166};  // title bar
  for (int y = 40; y < sh; y += 12)
    for (int x = 10; x < 200; ++x)
      if ((x / 3 + y) % 5 != 0) shot[(y + (x % 7 == 0)) * sw + x] = {20, 20, 20};  // lines of "text"
  const std::string screenshot = image("screenshot", sw, sh, shot);

  const int cw = 320, ch = 96;
  const auto scan = pattern(cw, ch, {{0, 0, 0}, {255, 255, 255}, {255, 255, 255}});
  const std::string scanned = image("scan", cw, ch, scan);
  const std::string tile = image("tile", 8, 8, pattern(8, 8, kPrimaries));

  const std::string page = R"({"op": "image", "file": ")" + photo + R"(", "rect": [100, 100, 300, 236], "bpp": 32},
      {"op": "image", "file": ")" + screenshot + R"(", "rect": [100, 300, 340, 450], "bpp": 32},
      {"op": "image", "file": ")" + scanned + R"(", "rect": [100, 500, 420, 596], "bpp": 1},
      {"op": "brush", "style": "hatch", "hatch": "cross", "color": "#008000"},
      {"op": "fill", "rect": [500, 100, 700, 200]},
      {"op": "brush", "style": "pattern", "file": ")" + tile + R"(", "bpp": 24},
      {"op": "fill", "rect": [500, 300, 700, 400]})";
  struct Case {
    const char* compression;
    int photo_method, shot_method;
  } cases[] = {{"0", 1, 1}, {"1", 8, 8}, {"2", 4, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("330 = ") + c.compression);
    auto r = print(page, std::string(R"("330": )") + c.compression);
    ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    auto list = images();
    ASSERT_EQ(list.size(), 3u);
    struct Expect {
      const DecodedImage& d;
      int method, x, y, w, h;
      const std::vector<Rgb>& px;
    } expects[] = {{list[0], c.photo_method, 100, 100, pw, ph, photo_px},
                   {list[1], c.shot_method, 100, 300, sw, sh, shot},
                   {list[2], 1, 100, 500, cw, ch, scan}};
    for (const Expect& e : expects) {
      EXPECT_EQ(e.d.method, e.method) << e.x << "," << e.y;
      EXPECT_EQ(e.d.x, e.x);
      EXPECT_EQ(e.d.y, e.y);
      EXPECT_EQ(e.d.width, e.w);
      EXPECT_EQ(e.d.height, e.h);
      if (e.d.method != 4) {
        EXPECT_EQ(pixels(e.d), e.px) << e.x << "," << e.y;
        continue;
      }
      // JPEG at the driver's quality: a mean error under 3 levels and no
      // pixel further than 64 (the strokes of the screenshot) from the
      // source.
      int jw = 0, jh = 0, jc = 0;
      const Bytes decoded = jpeg_decode(e.d.data, &jw, &jh, &jc);
      ASSERT_EQ(jw, e.w);
      ASSERT_EQ(jh, e.h);
      ASSERT_EQ(jc, 3);
      long total = 0;
      int worst = 0;
      for (std::size_t i = 0; i < e.px.size(); ++i) {
        const int want[3] = {e.px[i].r, e.px[i].g, e.px[i].b};
        for (int k = 0; k < 3; ++k) {
          const int diff = std::abs(decoded[3 * i + k] - want[k]);
          total += diff;
          worst = std::max(worst, diff);
        }
      }
      EXPECT_LT(static_cast<double>(total) / (3.0 * e.px.size()), 3.0) << e.x << "," << e.y;
      EXPECT_LE(worst, 64) << e.x << "," << e.y;
    }
    // The 1-bit scan keeps its depth.
    EXPECT_EQ(list[2].bits, 1);
    EXPECT_EQ(ops("AN").size(), 1u);
    EXPECT_EQ(ops("AP").size(), 1u);
  }
}

TEST_F(ImagePrint, FourBitImagesWidenToBytesWhenCompressed) {
  const int w = 64, h = 40;
  const auto src = pattern(w, h, kPrimaries);
  const std::string file = image("four", w, h, src);
  auto r = print(R"({"op": "image", "file": ")" + file + R"(", "rect": [0, 0, 64, 40], "bpp": 4})", R"("330": 2)");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  auto list = images();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].bits, 8);
  EXPECT_EQ(list[0].method, 8);
  EXPECT_EQ(pixels(list[0]), src);
}

TEST_F(ImagePrint, BlackAndWhiteSourcesUnderAStencilOperationBecomeStencils) {
  const int w = 20, h = 4;
  const auto src = pattern(w, h, {{0, 0, 0}, {255, 255, 255}});
  const std::string file = image("bw", w, h, src);
  struct Case {
    std::string rop;
    int stencils, images, polarity;
  } cases[] = {{"B8B8", 1, 0, 1}, {"E2E2", 1, 0, 0}, {"CCCC", 0, 1, -1}};
  for (const Case& c : cases) {
    auto r = print(R"({"op": "brush", "style": "solid", "color": "#FF0000"},
                      {"op": "image", "file": ")" + file + R"(", "rect": [50, 60, 70, 64], "bpp": 1, "rop": ")" + c.rop + R"("})",
                   R"("330": 0)");
    ASSERT_TRUE(r.ok) << c.rop << ": " << r.error << " " << r.failed_entry;
    ASSERT_EQ(ops("Cp").size(), static_cast<std::size_t>(c.stencils)) << c.rop;
    EXPECT_EQ(images().size(), static_cast<std::size_t>(c.images)) << c.rop;
    if (c.stencils) {
      const PdlItem* cp = ops("Cp")[0];
      EXPECT_EQ(num(cp, 0), 50);
      EXPECT_EQ(num(cp, 1), 60);
      EXPECT_EQ(num(cp, 2), w);
      EXPECT_EQ(num(cp, 3), h);
      EXPECT_EQ(num(cp, 4), c.polarity) << c.rop;
      // The brush colour is painted where the stencil says.
      auto am = ops("AM");
      ASSERT_FALSE(am.empty());
      EXPECT_EQ(num(am.back(), 1), 4);  // RGB
    } else {
      EXPECT_TRUE(images()[0].format == 11 || images()[0].format == 15);
    }
  }
}

TEST_F(ImagePrint, MaskedImagesCarryTheirMaskRows) {
  const int w = 10, h = 3;
  const auto src = pattern(w, h, kPrimaries);
  Bytes alpha(w * h, 255);
  for (int i = 0; i < w * h; i += 3) alpha[i] = 0;
  const std::string file = image("masked", w, h, src, alpha);
  auto r = print(R"({"op": "image", "file": ")" + file + R"(", "rect": [10, 10, 20, 13], "bpp": 24, "mask": true})",
                 R"("330": 0)");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  auto list = images();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].mask_kind, 2);
  Bytes expected(2 * h, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (alpha[y * w + x] >= 128) expected[y * 2 + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
  EXPECT_EQ(list[0].mask, expected);
  EXPECT_EQ(pixels(list[0]), src);
  // The raster operation goes out whole, as kind 3.
  const PdlItem* al = ops("AL").back();
  EXPECT_EQ(num(al, 0), 3);
  EXPECT_EQ(static_cast<long>(num(al, 1)) & 0xFF, 0xCC);
}

TEST_F(ImagePrint, CroppedImagesLandWhereTheirVisiblePartWasDrawn) {
  const int w = 40, h = 30;
  const auto src = gradient(w, h);
  const std::string file = image("crop", w, h, src);
  const std::string draw = R"({"op": "clip", "rect": [115, 210, 150, 222]},
                              {"op": "image", "file": ")" + file + R"(", "rect": [100, 200, 140, 230], "bpp": 24})";
  // Without cropping the whole image goes out under the clip.
  auto r = print(draw, R"("330": 0)");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  auto list = images();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].width, w);
  EXPECT_EQ(list[0].x, 100);
  // Cropped: the visible 25 x 12 pixels, at (115, 210), one pixel a unit.
  r = print(draw, R"("330": 0, "1370": 1)");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  list = images();
  ASSERT_EQ(list.size(), 1u);
  const DecodedImage& d = list[0];
  EXPECT_EQ(d.width, 25);
  EXPECT_EQ(d.height, 12);
  EXPECT_EQ(d.x, 115);
  EXPECT_EQ(d.y, 210);
  EXPECT_DOUBLE_EQ(d.m[0], 1.0);
  EXPECT_DOUBLE_EQ(d.m[3], 1.0);
  std::vector<Rgb> visible;
  for (int y = 10; y < 22; ++y)
    for (int x = 15; x < 40; ++x) visible.push_back(src[y * w + x]);
  EXPECT_EQ(pixels(d), visible);
}

// The staple position decides how the paper runs through the printer: a
// portrait page whose paper runs the other way gets its images turned a
// quarter clockwise, placed at the destination's bottom-left corner.
TEST_F(ImagePrint, PagesWhosePaperRunsTheOtherWayTurnTheirImages) {
  const int w = 80, h = 70;  // both above the 64 pixels an image needs to be turned
  const auto src = gradient(w, h);
  const std::string file = image("turn", w, h, src);
  const std::string draw = R"({"op": "image", "file": ")" + file + R"(", "rect": [100, 200, 180, 270], "bpp": 24})";
  std::vector<Rgb> turned;
  for (int i = 0; i < w; ++i)
    for (int k = 0; k < h; ++k) turned.push_back(src[(h - 1 - k) * w + i]);
  struct Case {
    const char* settings;
    bool turn;
  } cases[] = {{R"("330": 0)", false}, {R"("330": 0, "326": 257)", true}, {R"("330": 0, "326": 771)", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    auto r = print(draw, c.settings);
    ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    auto list = images();
    ASSERT_EQ(list.size(), 1u);
    const DecodedImage& d = list[0];
    EXPECT_EQ(d.x, 100);
    if (!c.turn) {
      EXPECT_EQ(d.y, 200);
      EXPECT_EQ(d.width, w);
      EXPECT_EQ(pixels(d), src);
      continue;
    }
    EXPECT_EQ(d.y, 270);
    EXPECT_EQ(d.width, h);
    EXPECT_EQ(d.height, w);
    const double m[4] = {0, 1, -1, 0};
    for (int k = 0; k < 4; ++k) EXPECT_DOUBLE_EQ(d.m[k], m[k]) << k;
    EXPECT_EQ(pixels(d), turned);
  }
}

TEST_F(ImagePrint, StretchedAndMirroredImagesCarryTheirScale) {
  const int w = 20, h = 10;
  const std::string file = image("scale", w, h, gradient(w, h));
  auto r = print(R"({"op": "image", "file": ")" + file + R"(", "rect": [300, 100, 260, 140], "bpp": 24})",
                 R"("330": 0)");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  auto list = images();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_DOUBLE_EQ(list[0].m[0], 20.0 / -40.0);
  EXPECT_DOUBLE_EQ(list[0].m[3], 10.0 / 40.0);
  EXPECT_EQ(list[0].x, 300);
}

TEST_F(ImagePrint, BrushesBecomeHatchPatternAndColourPatternOperators) {
  // Hatch: background "AQ" and "AN" with the style index + 2.
  auto r = print(R"({"op": "bk_mode", "mode": "opaque"}, {"op": "bk_color", "color": "#FFFFFF"},
                    {"op": "brush", "style": "hatch", "hatch": "fdiagonal", "color": "#0000FF"},
                    {"op": "fill", "rect": [100, 100, 300, 200]})");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_EQ(ops("AN").size(), 1u);
  ASSERT_EQ(ops("AQ").size(), 1u);
  const PdlItem* an = ops("AN")[0];
  EXPECT_EQ(num(an, an->operands.size() - 1), HS_FDIAGONAL + 2);
  EXPECT_EQ(num(ops("AQ")[0], 1), 1);  // opaque
  // A monochrome pattern: "AO" whose set bits are the pattern's
  // foreground (entry 0) pixels.
  const int pw = 8, ph = 8;
  std::vector<Rgb> mono;
  for (int y = 0; y < ph; ++y)
    for (int x = 0; x < pw; ++x) mono.push_back((x + y) % 4 == 0 ? Rgb{0, 0, 0} : Rgb{255, 255, 255});
  const std::string mono_file = image("mono", pw, ph, mono);
  r = print(R"({"op": "brush", "style": "pattern", "file": ")" + mono_file + R"(", "bpp": 1},
               {"op": "fill", "rect": [100, 100, 300, 200]})");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_EQ(ops("AO").size(), 1u);
  const PdlItem* ao = ops("AO")[0];
  const Bytes bits = bytes_of(ao->operands.back());
  ASSERT_EQ(bits.size(), 8u);
  for (int y = 0; y < ph; ++y) {
    BYTE want = 0;
    for (int x = 0; x < pw; ++x)
      if ((x + y) % 4 == 0) want |= static_cast<BYTE>(0x80 >> x);
    EXPECT_EQ(bits[y], want) << "row " << y;
  }
  // A colour pattern: "AP" with the RGB rows top first.
  const auto colour = pattern(4, 2, kPrimaries);
  const std::string colour_file = image("colour", 4, 2, colour);
  r = print(R"({"op": "brush", "style": "pattern", "file": ")" + colour_file + R"(", "bpp": 24},
               {"op": "fill", "rect": [100, 100, 300, 200]})");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_EQ(ops("AP").size(), 1u);
  const Bytes ap = bytes_of(ops("AP")[0]->operands.back());
  ASSERT_GE(ap.size(), 24u);
  for (std::size_t i = 0; i < colour.size(); ++i)
    EXPECT_EQ((Rgb{ap[3 * i], ap[3 * i + 1], ap[3 * i + 2]}), colour[i]) << i;
}

// A colour pattern the printer already holds is not sent again; a solid
// colour or a hatch in between replaces it, so it is sent once more.
TEST_F(ImagePrint, AColourPatternIsSentOnceWhileItStaysTheBrush) {
  const std::string tile = image("tile", 4, 4, pattern(4, 4, kPrimaries));
  const std::string brush = R"({"op": "brush", "style": "pattern", "file": ")" + tile + R"(", "bpp": 24},)";
  const std::string fill1 = R"({"op": "fill", "rect": [100, 100, 200, 200]},)";
  const std::string fill2 = R"({"op": "fill", "rect": [300, 100, 400, 200]})";
  const std::string solid = R"({"op": "brush", "style": "solid", "color": "#FF0000"}, {"op": "fill", "rect": [0, 0, 50, 50]},)";
  const std::string hatch = R"({"op": "brush", "style": "hatch", "hatch": "cross", "color": "#008000"}, {"op": "fill", "rect": [0, 0, 50, 50]},)";
  struct Case {
    std::string ops;
    std::size_t patterns;
  } cases[] = {{brush + fill1 + fill2, 1}, {brush + fill1 + solid + brush + fill2, 2}, {brush + fill1 + hatch + brush + fill2, 2}};
  for (const Case& c : cases) {
    auto r = print(c.ops);
    ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    EXPECT_EQ(ops("AP").size(), c.patterns) << c.ops;
  }
}

TEST_F(ImagePrint, ColourSettingsChangeTheImageData) {
  const int w = 8, h = 2;
  std::vector<Rgb> src(w * h, Rgb{128, 128, 128});
  src[0] = {255, 0, 0};
  const std::string file = image("colours", w, h, src);
  const std::string draw = R"({"op": "image", "file": ")" + file + R"(", "rect": [0, 0, 8, 2], "bpp": 24})";
  // Black and white: one inverted grey byte a pixel.
  auto r = print(draw, R"("330": 0, "270": 1)");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  auto list = images();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].format, 3);
  ASSERT_EQ(list[0].data.size(), static_cast<std::size_t>(w * h));
  EXPECT_EQ(list[0].data[1], 255 - 128);
  EXPECT_EQ(list[0].data[0], 255 - ((77 * 255) >> 8));
  // The 6500 K preset with gamma 1.0 lightens mid-tones: 128 becomes
  // about 188.
  r = print(draw, R"("330": 0, "293": 2, "286": 1, "287": 1, "288": 0)");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  list = images();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].format, 4);
  const auto out = pixels(list[0]);
  EXPECT_NEAR(out[1].r, 188, 2);
  EXPECT_NEAR(out[1].g, 188, 2);
  EXPECT_NEAR(out[1].b, 188, 2);
}

// The outside colour library named by the printer's database: the images
// of a page are queued, analysed by the library as one batch and converted
// together at the page end, each where it was drawn.
TEST_F(ImagePrint, QueuedImagesGoThroughTheColourLibraryAsOneBatch) {
  std::ifstream in(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json");
  nlohmann::json d = nlohmann::json::parse(in);
  d["main"]["fields"]["21"] = "morva_test_kpe.dll";  // the library
  d["main"]["fields"]["18"] = "kpe.dat";             // the file it loads
  const std::string folder = root_.path() + "/kpe_database";
  std::filesystem::create_directories(folder);
  morva::ddd_build::write_images(morva::ddd_build::build_images(d), folder);
  std::string error;
  ASSERT_TRUE(morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error, folder)) << error;
  ASSERT_TRUE(morva::gfx_demo::make_dc_devmode_default(morva::gfx_demo::kDemoPrinter, &error)) << error;
  WCHAR dir[MAX_PATH] = {};
  DWORD needed = 0;
  ASSERT_TRUE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir), sizeof dir, &needed));
  std::filesystem::copy_file(std::string(MORVA_BIN_DIR) + "/libmorva_test_kpe.so",
                             morva::platform::native_path(std::u16string(dir) + u"\\3\\libmorva_test_kpe.so"),
                             std::filesystem::copy_options::overwrite_existing);

  // Two bands of one picture (same width): the brightest value of both is
  // 200, so the library stretches both by 255 / 200.
  const int w = 40;
  const std::vector<Rgb> top(w * 10, Rgb{200, 100, 50}), bottom(w * 6, Rgb{100, 20, 0});
  const std::string a = image("band1", w, 10, top), b = image("band2", w, 6, bottom);
  const std::string draw = R"({"op": "image", "file": ")" + a + R"(", "rect": [100, 100, 140, 110], "bpp": 24},
      {"op": "image", "file": ")" + b + R"(", "rect": [100, 110, 140, 116], "bpp": 24})";
  auto stretch = [](const std::vector<Rgb>& px) {
    std::vector<Rgb> out;
    for (const Rgb& p : px)
      out.push_back({static_cast<BYTE>(p.r * 255 / 200), static_cast<BYTE>(p.g * 255 / 200),
                     static_cast<BYTE>(p.b * 255 / 200)});
    return out;
  };
  // A clip path travels with the queued images: it is set again before
  // they go out at the page end.
  const std::string clip = R"({"op": "clip", "path": [{"move": [90, 90]}, {"line": [[150, 90], [120, 130]]}, {"close": true}]},)";
  struct Case {
    std::string ops;
    const char* settings;
    bool converted;
  } cases[] = {{draw, R"("330": 0, "293": 2, "291": 1)", true},
               {draw, R"("330": 0, "293": 2, "291": 0)", false},
               {clip + draw, R"("330": 0, "293": 2, "291": 1)", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ops.substr(0, 20) + c.settings);
    auto r = print(c.ops, c.settings);
    ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    auto list = images();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].y, 100);
    EXPECT_EQ(list[1].y, 110);
    EXPECT_EQ(pixels(list[0]), c.converted ? stretch(top) : top);
    EXPECT_EQ(pixels(list[1]), c.converted ? stretch(bottom) : bottom);
    const auto order = names();
    const auto clip_at = std::find(order.begin(), order.end(), "AC");
    if (c.ops == draw) {
      EXPECT_EQ(clip_at, order.end());
    } else {
      EXPECT_LT(clip_at - order.begin(), std::find(order.begin(), order.end(), "Cq") - order.begin());
    }
  }
}

}  // namespace
