// Images and brushes printed on the demo printer through the print host and
// the real graphics driver: the decoder reads the image, stencil and brush
// operators, and the image data is decoded again (the run-length decoder,
// libjpeg for JPEG) and compared with the source pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "gfx_print_job.h"
#include "image_test_pictures.h"
#include "png_file.h"
#include "render/image_transform.h"
#include "run_length_decoder.h"
#include "settings/devmode/placement_colour.h"
#include "win/msgbox.h"

namespace {

using morva::tools::PdlItem;
using Bytes = std::vector<BYTE>;

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

using morva::test::decode_jpeg;
using morva::test::gradient;
using morva::test::pattern;
using morva::test::Rgb;

class ImagePrint : public morva::test::PrintTest {
 protected:
  void SetUp() override {
    morva::test::InstallDemoPrinter();
    morva::platform::reset_message_boxes();
  }
  void TearDown() override { morva::platform::reset_message_boxes(); }

  // A PNG of the pixels (alpha 255 unless given) in the test's folder.
  std::string image(const std::string& name, int w, int h, const std::vector<Rgb>& px, const Bytes& alpha = {}) {
    std::string path = root_.path() + "/" + name + ".png";
    morva::test::write_rgba_png(path, w, h, morva::test::rgba_of(px, alpha));
    return path;
  }

  // The outside colour library named by the printer's database: the test
  // fixture library, which stretches a batch so that its brightest value
  // becomes 255.
  void install_colour_library() {
    morva::test::InstallDemoPrinterWith(root_.path() + "/kpe_database", [](nlohmann::json& d) {
      d["main"]["fields"]["21"] = "morva_test_kpe.dll";  // the library
      d["main"]["fields"]["18"] = "kpe.dat";             // the file it loads
    });
    morva::test::CopyBesideDriver("libmorva_test_kpe.so");
  }

  // Prints one page of drawing calls with the given settings.
  morva::print_host::PrintResult print(const std::string& ops, const std::string& ddmid = "") {
    auto r = PrintPages("Images", {ops}, ddmid.empty() ? std::string() : R"("ddmid": {)" + ddmid + "}");
    if (r.ok) {
      EXPECT_TRUE(decoded_.ok) << decoded_.error << " at " << decoded_.error_offset;
    }
    return r;
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
      const Bytes all = data_after(k);
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
};

// Six colours every depth from 4 bits up holds exactly.
const std::vector<Rgb> kPrimaries = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};

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

// The gradient is smooth, so both codes shrink it.
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
  const Bytes decoded = decode_jpeg(list[0].data, &jw, &jh, &comps);
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
  std::vector<Rgb> photo_rgb;
  for (int y = 0; y < ph; ++y)
    for (int x = 0; x < pw; ++x)
      photo_rgb.push_back({static_cast<BYTE>(120 + 100 * std::sin(x / 17.0) * std::cos(y / 23.0)),
                           static_cast<BYTE>(x * 255 / pw), static_cast<BYTE>(255 - y * 255 / ph)});
  const std::string photo = root_.path() + "/photo.jpg";
  ASSERT_TRUE(morva::test::write_jpeg_file(photo, pw, ph, photo_rgb, 90));
  // What the program holds after reading its file.
  std::ifstream in(photo, std::ios::binary);
  const Bytes file_bytes{std::istreambuf_iterator<char>(in), {}};
  int fw = 0, fh = 0, comps = 0;
  const Bytes read = decode_jpeg(file_bytes, &fw, &fh, &comps);
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
      const Bytes decoded = decode_jpeg(e.d.data, &jw, &jh, &jc);
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
  install_colour_library();
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

// What the driver's reducer makes of the source (the reducer is tested on
// its own).
std::vector<Rgb> reduced(const std::vector<Rgb>& src, int w, int h, int ow, int oh) {
  using namespace morva::render;
  std::unique_ptr<ImageReducer, void (*)(ImageReducer*)> r(ImageReducer_Create(), ImageReducer_Destroy);
  EXPECT_EQ(ImageReducer_Init(r.get(), 1, 600, 600, 300), 1);
  EXPECT_EQ(ImageReducer_SetSizes(r.get(), w, h, ow, oh), 1);
  std::vector<Rgb> out;
  Bytes row(3 * static_cast<std::size_t>(w)), done(3 * static_cast<std::size_t>(ow));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) std::copy(&src[y * w + x].r, &src[y * w + x].r + 3, &row[3 * x]);
    if (ImageReducer_PutRow(r.get(), row.data(), static_cast<DWORD>(row.size()), 24) <= 0) continue;
    ImageReducer_GetRow(r.get(), done.data());
    for (int x = 0; x < ow; ++x) out.push_back({done[3 * x], done[3 * x + 1], done[3 * x + 2]});
  }
  return out;
}

// A quarter turn clockwise: the top-left pixel becomes the top-right one.
std::vector<Rgb> turned(const std::vector<Rgb>& src, int w, int h) {
  std::vector<Rgb> out;
  for (int i = 0; i < w; ++i)
    for (int k = 0; k < h; ++k) out.push_back(src[(h - 1 - k) * w + i]);
  return out;
}

// Black-and-white output: one inverted grey byte a pixel.
std::vector<Rgb> inverted_grey(const std::vector<Rgb>& src) {
  std::vector<Rgb> out;
  for (const Rgb& p : src) {
    const BYTE v = static_cast<BYTE>(~((77 * p.r + 151 * p.g + 28 * p.b) >> 8));
    out.push_back({v, v, v});
  }
  return out;
}

// Images that are reduced, colour converted, turned or indexed go out a
// band of rows at a time; each is large enough for several bands and
// decodes exactly to what the driver's steps make of the source.
TEST_F(ImagePrint, ReducedConvertedTurnedAndIndexedImagesStreamToTheirPixels) {
  const int w = 700, h = 560;  // 1.2 MB of RGB rows
  const auto photo = gradient(w, h);
  // Blocks of the six colours, which the run-length code shrinks.
  std::vector<Rgb> palette_art;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) palette_art.push_back(kPrimaries[static_cast<std::size_t>(x / 40 + y / 30) % 6]);
  const std::string photo_file = image("big_photo", w, h, photo);
  const std::string art_file = image("big_art", w, h, palette_art);
  const std::string full = "[0, 0, 700, 560]", half = "[0, 0, 350, 280]";
  const std::string reduce = R"("1302": 1, "350": 300, )";
  const std::string turn = R"("326": 257, )";
  const auto half_photo = reduced(photo, w, h, 175, 140);
  struct Case {
    const char* name;
    const std::string* file;
    int bpp;
    std::string rect, settings;
    int width, height, format;
    std::vector<Rgb> pixels;
  } cases[] = {
      {"reduced", &photo_file, 24, half, reduce, 175, 140, 4, half_photo},
      {"reduced and turned", &photo_file, 32, half, reduce + turn, 140, 175, 4, turned(half_photo, 175, 140)},
      {"grey", &photo_file, 24, full, R"("270": 1, )", w, h, 3, inverted_grey(photo)},
      {"turned", &photo_file, 24, full, turn, h, w, 4, turned(photo, w, h)},
      {"grey and turned", &photo_file, 32, full, R"("270": 1, )" + turn, h, w, 3,
       inverted_grey(turned(photo, w, h))},
      {"indexed", &art_file, 8, full, "", w, h, 11, palette_art},
      {"indexed and turned", &art_file, 8, full, turn, h, w, 11, turned(palette_art, w, h)},
  };
  for (const Case& c : cases)
    for (const char* compression : {"0", "1"}) {
      SCOPED_TRACE(std::string(c.name) + ", 330 = " + compression);
      auto r = print(R"({"op": "image", "file": ")" + *c.file + R"(", "rect": )" + c.rect + R"(, "bpp": )" +
                         std::to_string(c.bpp) + "}",
                     c.settings + R"("330": )" + compression);
      ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
      auto list = images();
      ASSERT_EQ(list.size(), 1u);
      const DecodedImage& d = list[0];
      EXPECT_EQ(d.width, c.width);
      EXPECT_EQ(d.height, c.height);
      EXPECT_TRUE(d.format == c.format || (c.format == 11 && d.format == 15)) << d.format;
      EXPECT_EQ(d.method, std::string(compression) == "1" ? 8 : 1);
      EXPECT_TRUE(pixels(d) == c.pixels);
    }
}

// Black-and-white output asked for as JPEG: the grey rows go out coded a
// band at a time and decode to the grey of the source.
TEST_F(ImagePrint, GreyImagesCodedAsJpegDecodeToTheirGrey) {
  const int w = 700, h = 560;
  const auto photo = gradient(w, h);
  const std::string file = image("grey_photo", w, h, photo);
  auto r = print(R"({"op": "image", "file": ")" + file + R"(", "rect": [0, 0, 700, 560], "bpp": 24})",
                 R"("270": 1, "330": 2)");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  auto list = images();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].method, 4);
  int jw = 0, jh = 0, comps = 0;
  const Bytes decoded = decode_jpeg(list[0].data, &jw, &jh, &comps);
  ASSERT_EQ(jw, w);
  ASSERT_EQ(jh, h);
  ASSERT_EQ(comps, 1);
  const auto grey = inverted_grey(photo);
  long total = 0;
  int worst = 0;
  for (std::size_t i = 0; i < grey.size(); ++i) {
    const int diff = std::abs(decoded[i] - (255 - grey[i].r));
    total += diff;
    worst = std::max(worst, diff);
  }
  EXPECT_LT(static_cast<double>(total) / grey.size(), 3.0);
  EXPECT_LT(worst, 40);
}

// The paint of a stencil is the colour of an image: adjustment set A and
// the images' choices of settings 454 and 455 apply to it, while the fill
// of line art takes set B and the line-art choices.
TEST_F(ImagePrint, StencilPaintTakesTheImageColourSettings) {
  const Rgb paint{0xC0, 0x40, 0x20};
  const std::string file = image("stencil_bw", 16, 4, pattern(16, 4, {{0, 0, 0}, {255, 255, 255}}));
  const std::string draw = R"({"op": "brush", "style": "solid", "color": "#C04020"},
      {"op": "fill", "rect": [0, 0, 50, 50]},
      {"op": "image", "file": ")" + file + R"(", "rect": [100, 100, 116, 104], "bpp": 1, "rop": "B8B8"})";
  auto adjusted = [&paint](int brightness, int saturation, int contrast) {
    ColorAdjustMatrix m{};
    EXPECT_EQ(BuildColorAdjustMatrix(&m, brightness, saturation, contrast), 0);
    BYTE px[3] = {paint.b, paint.g, paint.r};
    ApplyColorAdjustMatrix(&m, px, px, 1);
    return Rgb{px[2], px[1], px[0]};
  };
  const Rgb black{0, 0, 0};
  struct Case {
    const char* settings;
    Rgb stencil, fill;
  } cases[] = {
      {R"("293": 2, "1314": 1, "273": 1, "275": 40, "279": 20)", adjusted(40, 20, 0), paint},
      {R"("293": 2, "1314": 1, "273": 2, "276": 40, "280": 20)", paint, adjusted(40, 20, 0)},
      {R"("270": 1, "454": 1)", black, paint},
      {R"("270": 1, "454": 2)", paint, black},
      {R"("270": 1, "454": 3)", black, black},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    auto r = print(draw, std::string(c.settings) + R"(, "330": 0)");
    ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    ASSERT_EQ(ops("Cp").size(), 1u);
    // The fill colour in force at the rectangle, the paint at the stencil.
    std::vector<Rgb> at;
    const PdlItem* colour = nullptr;
    for (const PdlItem& i : decoded_.items) {
      if (i.kind != PdlItem::Operator) continue;
      if (i.text == "AM" && num(&i, 0) == 2) colour = &i;
      if ((i.text == "Cp" || i.text == "CG" || i.text == "Cg") && colour) {
        const bool grey = num(colour, 1) == 3;
        const BYTE r0 = BYTE(num(colour, 2));
        at.push_back(grey ? Rgb{r0, r0, r0} : Rgb{r0, BYTE(num(colour, 3)), BYTE(num(colour, 4))});
      }
    }
    ASSERT_EQ(at.size(), 2u);
    EXPECT_EQ(at[0], c.fill);
    EXPECT_EQ(at[1], c.stencil);
  }
}

// A page that turns its images turns the queued ones as well, from the
// rows held for the colour library.
TEST_F(ImagePrint, QueuedImagesOfATurningPageGoOutTurned) {
  install_colour_library();
  const int w = 80, h = 70;
  const auto photo = gradient(w, h);
  BYTE brightest = 0;
  for (const Rgb& p : photo) brightest = std::max({brightest, p.r, p.g, p.b});
  std::vector<Rgb> expected;
  for (const Rgb& p : turned(photo, w, h))
    expected.push_back({static_cast<BYTE>(p.r * 255 / brightest), static_cast<BYTE>(p.g * 255 / brightest),
                        static_cast<BYTE>(p.b * 255 / brightest)});
  auto r = print(R"({"op": "image", "file": ")" + image("queued_turn", w, h, photo) +
                     R"(", "rect": [100, 200, 180, 270], "bpp": 24})",
                 R"("330": 1, "293": 2, "291": 1, "326": 257)");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  auto list = images();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].width, h);
  EXPECT_EQ(list[0].height, w);
  EXPECT_EQ(list[0].y, 270);
  EXPECT_EQ(list[0].method, 8);
  EXPECT_TRUE(pixels(list[0]) == expected);
}

}  // namespace
