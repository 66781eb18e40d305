// Images and brushes printed on the demo printer through the print host and
// the real graphics driver: the decoder reads the image, stencil and brush
// operators, and the image data is decoded again (the run-length decoder,
// libjpeg for JPEG) and compared with the source pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "gfx_demo.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "run_length_decoder.h"
#include "temp_root.h"
#include "win/msgbox.h"
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

void write_png(const std::string& path, int w, int h, const std::vector<BYTE>& rgba) {
  FILE* f = std::fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) png_write_row(png, const_cast<BYTE*>(rgba.data() + y * w * 4));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

[[maybe_unused]] Bytes jpeg_decode(const Bytes& coded, int* w, int* h, int* components) {
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
    write_png(path, w, h, rgba);
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
      // The data follows as one item: mask bytes, then image bytes.
      if (k + 1 < items.size() && items[k + 1].kind == PdlItem::Data) {
        const PdlItem& data = items[k + 1];
        Bytes all(spool_.begin() + static_cast<long>(data.offset),
                  spool_.begin() + static_cast<long>(data.offset + data.length));
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

}  // namespace
