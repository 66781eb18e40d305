// Image compression: the run-length code against a decoder written here
// from its description, JPEG decoded again by libjpeg, the method choice,
// the scratch-space paths and the outside library through a stand-in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "render/compression_plugin.h"
#include "render/image_compression.h"
#include "render/run_length_code.h"
#include "run_length_decoder.h"
#include "win/memory.h"
#include "win/modules.h"

using namespace morva::render;

namespace {

using Bytes = std::vector<BYTE>;

using morva::test::rl_decode;
using morva::test::Token;

// Codes a whole image with the coder's own calls and ample room.
Bytes rl_encode(const Bytes& image, unsigned width, unsigned height, unsigned bpp) {
  RunLengthCoder* coder = RunLengthCoder_Create(width, height, bpp);
  EXPECT_NE(coder, nullptr);
  if (coder == nullptr) return {};
  const std::size_t row = std::size_t{width} * (bpp / 8);
  Bytes out(image.size() * 2 + 4096);
  std::size_t total = 0;
  for (unsigned y = 0; y < height; ++y) {
    const LONG n = RunLengthCoder_EncodeRow(coder, image.data() + y * row, out.data() + total,
                                            static_cast<DWORD>(out.size() - total));
    EXPECT_GE(n, 0);
    if (n < 0) return {};
    total += static_cast<std::size_t>(n);
  }
  const LONG n = RunLengthCoder_Finish(coder, out.data() + total, static_cast<DWORD>(out.size() - total));
  EXPECT_GE(n, 0);
  out.resize(total + static_cast<std::size_t>(std::max<LONG>(n, 0)));
  return out;
}

// A picture with flat areas, gradients, vertical and diagonal structure and
// a little noise, so that every reference kind and delta size turns up.
Bytes picture(unsigned width, unsigned height, unsigned bytes_per_pixel, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(std::size_t{width} * height * bytes_per_pixel);
  for (unsigned y = 0; y < height; ++y) {
    for (unsigned x = 0; x < width; ++x) {
      for (unsigned c = 0; c < bytes_per_pixel; ++c) {
        BYTE v;
        if (y % 7 == 3) {
          v = static_cast<BYTE>(rng());  // a noisy row
        } else if (x < width / 4) {
          v = static_cast<BYTE>(200 + c);  // flat
        } else if (x < width / 2) {
          v = static_cast<BYTE>(x * 3 + c * 40);  // horizontal gradient
        } else if (x < 3 * width / 4) {
          v = static_cast<BYTE>((x + y) * 5 + c);  // diagonal
        } else {
          v = static_cast<BYTE>((x % 8) * 30 + (rng() % 3));  // period 8 with noise
        }
        b[(std::size_t{y} * width + x) * bytes_per_pixel + c] = v;
      }
    }
  }
  return b;
}

TEST(RunLengthCode, OneRowOfFourEqualPixels) {
  const Bytes image = {5, 5, 5, 5};
  const Bytes coded = rl_encode(image, 4, 1, 8);
  EXPECT_EQ(coded, (Bytes{0xA1, 0x3F, 0xFF}));
  EXPECT_EQ(rl_decode(coded, 4, 1, 8), image);
}

TEST(RunLengthCode, PicturesSurviveTheRoundTrip) {
  struct Case {
    unsigned width, height, bpp, seed;
  } cases[] = {{1, 1, 8, 1},  {1, 9, 8, 2},  {9, 5, 8, 3},   {97, 31, 8, 4},  {300, 40, 8, 5},
               {1, 3, 24, 6}, {3, 3, 24, 7}, {77, 29, 24, 8}, {250, 30, 24, 9}, {5, 4, 32, 10}, {120, 22, 32, 11}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.bpp);
    const Bytes image = picture(c.width, c.height, c.bpp / 8, c.seed);
    const Bytes coded = rl_encode(image, c.width, c.height, c.bpp);
    EXPECT_EQ(rl_decode(coded, c.width, c.height, c.bpp), image);
  }
}

// A page of white is one left-run reaching from row to row, written at the
// end in tokens of 17057 pixels.
TEST(RunLengthCode, WhitePageIsOneRunSplitIntoTokens) {
  const Bytes image(1000 * 40 * 3, 0xFF);
  std::vector<Token> trace;
  const Bytes coded = rl_encode(image, 1000, 40, 24);
  EXPECT_EQ(rl_decode(coded, 1000, 40, 24, &trace), image);
  const std::vector<Token> want = {{'R', 1, 0, 17057}, {'R', 1, 0, 17057}, {'R', 1, 0, 40000 - 2 * 17057}, {'E'}};
  EXPECT_EQ(trace, want);
}

// After a run whose length is not a multiple of 17057 the positions shift
// by one; after a multiple they do not. Row 0 is a literal and a left-run
// of 5s; in row 1 the run goes on over k zeros and then the 5s above start
// a run of kind 2 (position 2).
TEST(RunLengthCode, PositionShiftDependsOnTheRunLength) {
  const unsigned width = 20000;
  for (unsigned k : {14115u, 14114u}) {
    SCOPED_TRACE(k);
    Bytes image(2 * width, 5);
    std::fill(image.begin() + width, image.begin() + width + k, 0);
    std::vector<Token> trace;
    const Bytes coded = rl_encode(image, width, 2, 8);
    ASSERT_EQ(rl_decode(coded, width, 2, 8, &trace), image);
    const unsigned left = width - 1 + k;
    ASSERT_EQ(trace.size(), 5u);
    EXPECT_EQ(trace[0], (Token{'L'}));
    EXPECT_EQ(trace[1], (Token{'R', 1, 0, 17057}));
    EXPECT_EQ(trace[2], (Token{'R', 1, 0, left - 17057}));
    const bool multiple = left % 17057 == 0;
    EXPECT_EQ(multiple, k == 14115u);
    EXPECT_EQ(trace[3], (Token{'R', multiple ? 2 : 1, 2, width - k}));
  }
}

// Rows of noise are mostly literals: after the first such row the mode
// switches so that the literal gets the one-bit code.
TEST(RunLengthCode, ModeSwitchesWhenLiteralsDominate) {
  std::mt19937 rng(42);
  Bytes image(64 * 6);
  for (BYTE& b : image) b = static_cast<BYTE>(rng());
  std::vector<Token> trace;
  const Bytes coded = rl_encode(image, 64, 6, 8);
  EXPECT_EQ(rl_decode(coded, 64, 6, 8, &trace), image);
  std::size_t switches = 0, first = 0;
  for (std::size_t i = 0; i < trace.size(); ++i) {
    if (trace[i].what == 'M' && switches++ == 0) first = i;
  }
  EXPECT_EQ(switches, 1u);
  EXPECT_GE(first, 56u);  // at the end of row 0, not before
  EXPECT_LE(first, 64u);
}

TEST(RunLengthCode, CoderLimits) {
  struct Case {
    DWORD width, bpp;
    bool ok;
  } cases[] = {{16378, 24, true}, {16379, 24, false}, {16378, 32, true}, {16379, 32, false},
               {65515, 8, true},  {65516, 8, false},  {10, 16, false},   {0, 8, false}};
  for (const Case& c : cases) {
    RunLengthCoder* coder = RunLengthCoder_Create(c.width, 1, c.bpp);
    EXPECT_EQ(coder != nullptr, c.ok) << c.width << " " << c.bpp;
    RunLengthCoder_Finish(coder, nullptr, 0);
  }
  EXPECT_EQ(RunLengthCoder_Create(10, 0, 8), nullptr);

  const Bytes row = {1, 2, 3, 4};
  BYTE out[64];
  RunLengthCoder* coder = RunLengthCoder_Create(4, 1, 8);
  ASSERT_GE(RunLengthCoder_EncodeRow(coder, row.data(), out, sizeof out), 0);
  EXPECT_EQ(RunLengthCoder_EncodeRow(coder, row.data(), out, sizeof out), -1);  // beyond the height
  EXPECT_EQ(RunLengthCoder_Finish(coder, out, sizeof out), -1);

  coder = RunLengthCoder_Create(4, 2, 8);
  ASSERT_GE(RunLengthCoder_EncodeRow(coder, row.data(), out, sizeof out), 0);
  EXPECT_EQ(RunLengthCoder_Finish(coder, out, sizeof out), -1);  // a row missing

  coder = RunLengthCoder_Create(4, 1, 8);
  EXPECT_EQ(RunLengthCoder_EncodeRow(coder, row.data(), out, 1), -1);  // four literals need more room
  EXPECT_EQ(RunLengthCoder_Finish(coder, out, sizeof out), -1);
}

// ---- the image record ----------------------------------------------------------

struct Image {
  Bytes data;
  BYTE method = 0;
  BYTE format = 0;
  DWORD length = 0;
  ImageCompressionRecord record{};

  Image(Bytes pixels, BYTE fmt, DWORD bpp, WORD width, WORD height, DWORD requested) : data(std::move(pixels)) {
    format = fmt;
    length = static_cast<DWORD>(data.size());
    record.has_data = TRUE;
    record.bits_per_pixel = bpp;
    record.width = width;
    record.height = height;
    record.method = &method;
    record.format = &format;
    record.length = &length;
    record.requested_method = requested;
    record.rop_kind = 2;
    record.rop_code = 0xCC;
  }
  Bytes coded() const { return Bytes(data.begin(), data.begin() + length); }
};

TEST(ImageCompression, RequestedMethodFromTheSetting) {
  EXPECT_EQ(CompressionMethodFromSetting(1), 8u);
  EXPECT_EQ(CompressionMethodFromSetting(2), 4u);
  EXPECT_EQ(CompressionMethodFromSetting(0), 1u);
  EXPECT_EQ(CompressionMethodFromSetting(3), 1u);
}

TEST(ImageCompression, MethodChoice) {
  CompressPlugin bound{};  // only its presence matters to the choice
  struct Case {
    const char* what;
    DWORD requested, bpp;
    BYTE format;
    DWORD bytes;
    BYTE rop_kind;
    DWORD rop_code;
    bool plugin;
    DWORD method;
  } cases[] = {
      {"RGB, run length", 8, 24, 4, 3072, 2, 0xCC, false, 8},
      {"1000 bytes are never coded", 8, 8, 3, 1000, 2, 0xCC, false, 1},
      {"1024 bytes are", 8, 8, 3, 1024, 2, 0xCC, false, 8},
      {"indexed RGB palette at 8 bits", 8, 8, 11, 1024, 2, 0xCC, false, 8},
      {"grey JPEG", 4, 8, 3, 1024, 2, 0xCC, false, 4},
      {"indexed grey JPEG", 4, 8, 10, 1024, 2, 0xCC, false, 4},
      {"indexed RGB palette is not JPEG", 4, 8, 11, 1024, 2, 0xCC, false, 8},
      {"RGB with another raster operation", 4, 24, 4, 3072, 2, 0x88, false, 8},
      {"RGB with another raster kind", 4, 24, 4, 3072, 1, 0xCC, false, 8},
      {"1 bit, JPEG requested, library bound", 4, 1, 10, 1024, 2, 0xCC, true, 7},
      {"1 bit, JPEG requested, no library", 4, 1, 10, 1024, 2, 0xCC, false, 1},
      {"1 bit, run length requested", 8, 1, 11, 1024, 2, 0xCC, true, 7},
      {"mode 2 requested", 6, 1, 11, 1024, 2, 0xCC, true, 6},
      {"mode 1 requested", 7, 1, 10, 1024, 2, 0xCC, true, 7},
      {"mode 1 on RGB", 7, 24, 4, 3072, 2, 0xCC, true, 1},
      {"nothing requested", 1, 24, 4, 3072, 2, 0xCC, true, 1},
      {"16 bits", 8, 16, 3, 2048, 2, 0xCC, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // width x height rows of the right size, then the length under test.
    const WORD width = c.bpp == 24 ? 32 : (c.bpp == 1 ? 256 : 32);
    const DWORD row = c.bpp == 24 ? 96 : (c.bpp == 1 ? 32 : 32);
    Image image(Bytes(c.bytes, 0), c.format, c.bpp, width, static_cast<WORD>(c.bytes / row), c.requested);
    image.record.rop_kind = c.rop_kind;
    image.record.rop_code = c.rop_code;
    image.record.plugin = c.plugin ? &bound : nullptr;
    DWORD method = 0;
    ASSERT_EQ(SelectCompression(&image.record, image.data.data(), &method), 0);
    EXPECT_EQ(method, c.method);
  }
  // No data, or rows the data does not hold.
  Image empty(Bytes(2048, 0), 3, 8, 32, 64, 8);
  empty.record.has_data = FALSE;
  DWORD method = 0;
  SelectCompression(&empty.record, empty.data.data(), &method);
  EXPECT_EQ(method, 1u);
  Image short_rows(Bytes(2048, 0), 3, 8, 32, 65, 8);
  SelectCompression(&short_rows.record, short_rows.data.data(), &method);
  EXPECT_EQ(method, 1u);
}

TEST(ImageCompression, RunLengthReplacesTheData) {
  const Bytes pixels = picture(64, 32, 3, 7);
  Image image(pixels, kImageRgb24, 24, 64, 32, 8);
  EXPECT_EQ(CompressImage(&image.record, image.data.data()), 0);
  EXPECT_EQ(image.method, 8);
  EXPECT_EQ(image.format, kImageRgb24);
  EXPECT_LT(image.length, pixels.size());
  EXPECT_EQ(rl_decode(image.coded(), 64, 32, 24), pixels);

  // Noise does not shrink: the data stays as it was.
  std::mt19937 rng(1);
  Bytes noise(64 * 32);
  for (BYTE& b : noise) b = static_cast<BYTE>(rng());
  Image raw(noise, kImageGrey8, 8, 64, 32, 8);
  EXPECT_EQ(CompressImage(&raw.record, raw.data.data()), 1);
  EXPECT_EQ(raw.method, 1);
  EXPECT_EQ(raw.length, noise.size());
  EXPECT_EQ(raw.data, noise);
}

// Without memory for the whole output the coder goes through the scratch
// space, with the same result; its failures keep the data or fail the image.
TEST(ImageCompression, RunLengthThroughTheScratchSpace) {
  const Bytes pixels = picture(64, 32, 1, 3);
  Image in_memory(pixels, kImageGrey8, 8, 64, 32, 8);
  ASSERT_EQ(CompressImage(&in_memory.record, in_memory.data.data()), 0);

  struct Case {
    const char* what;
    bool scratch, fail_open;
    DWORD write_limit, read_limit;
    INT result;
  } cases[] = {
      {"works", true, false, 0xFFFFFFFF, 0xFFFFFFFF, 0},
      {"no scratch space", false, false, 0xFFFFFFFF, 0xFFFFFFFF, 1},
      {"cannot be created", true, true, 0xFFFFFFFF, 0xFFFFFFFF, 1},
      {"short write", true, false, 40, 0xFFFFFFFF, 1},
      {"short read back", true, false, 0xFFFFFFFF, 16, 4096},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryImageScratch scratch;
    scratch.fail_open = c.fail_open;
    scratch.write_limit = c.write_limit;
    scratch.read_limit = c.read_limit;
    Image image(pixels, kImageGrey8, 8, 64, 32, 8);
    image.record.scratch = c.scratch ? &scratch : nullptr;
    morva::platform::inject_allocation_failure(0, 1);  // the output buffer
    const INT result = CompressImage(&image.record, image.data.data());
    morva::platform::inject_allocation_failure(0, 0);
    EXPECT_EQ(result, c.result);
    if (c.result == 0) {
      EXPECT_EQ(image.coded(), in_memory.coded());
      EXPECT_EQ(image.method, 8);
    } else if (c.result == 1) {
      EXPECT_EQ(image.data, pixels);
      EXPECT_EQ(image.length, pixels.size());
      EXPECT_EQ(image.method, 1);
    }
  }
}

// ---- JPEG ------------------------------------------------------------------------------

struct Decoded {
  unsigned width = 0, height = 0, components = 0;
  Bytes pixels;
};

void silent(j_common_ptr) {}
void fail(j_common_ptr cinfo) { throw std::runtime_error(std::to_string(cinfo->err->msg_code)); }

Decoded jpeg_decode(const Bytes& bytes) {
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  err.error_exit = fail;
  err.output_message = silent;
  jpeg_create_decompress(&cinfo);
  Decoded d;
  try {
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    d.width = cinfo.output_width;
    d.height = cinfo.output_height;
    d.components = static_cast<unsigned>(cinfo.output_components);
    d.pixels.resize(std::size_t{d.width} * d.height * d.components);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = d.pixels.data() + std::size_t{cinfo.output_scanline} * d.width * d.components;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
  } catch (const std::exception& e) {
    ADD_FAILURE() << "libjpeg error " << e.what();
    d = {};
  }
  jpeg_destroy_decompress(&cinfo);
  return d;
}

double mean_difference(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size() || a.empty()) return 1e9;
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i) sum += std::abs(int{a[i]} - int{b[i]});
  return sum / static_cast<double>(a.size());
}

// Smooth content, which JPEG codes well.
Bytes smooth(unsigned width, unsigned height, unsigned components) {
  Bytes b(std::size_t{width} * height * components);
  for (unsigned y = 0; y < height; ++y)
    for (unsigned x = 0; x < width; ++x)
      for (unsigned c = 0; c < components; ++c)
        b[(std::size_t{y} * width + x) * components + c] = static_cast<BYTE>(x + y + c * 40);
  return b;
}

TEST(ImageCompression, JpegOfRgbDecodesBack) {
  const Bytes pixels = smooth(96, 64, 3);
  MemoryImageScratch scratch;
  Image image(pixels, kImageRgb24, 24, 96, 64, 4);
  image.record.scratch = &scratch;
  ASSERT_EQ(CompressImage(&image.record, image.data.data()), 0);
  EXPECT_EQ(image.method, 4);
  EXPECT_EQ(image.format, kImageJpeg);
  EXPECT_LT(image.length, pixels.size());
  const Decoded d = jpeg_decode(image.coded());
  EXPECT_EQ(d.width, 96u);
  EXPECT_EQ(d.height, 64u);
  EXPECT_EQ(d.components, 3u);
  EXPECT_LT(mean_difference(d.pixels, pixels), 2.5);
}

// Grey data goes to the coder inverted; an indexed grey image first becomes
// grey through its palette.
TEST(ImageCompression, JpegOfGreyAndIndexedGrey) {
  Bytes palette(256);
  for (int i = 0; i < 256; ++i) palette[i] = static_cast<BYTE>(255 - i / 2);
  const Bytes indexes = smooth(80, 40, 1);
  Bytes grey(indexes.size());
  for (std::size_t i = 0; i < grey.size(); ++i) grey[i] = palette[indexes[i]];

  for (BYTE format : {kImageGrey8, kImageIndexedGrey}) {
    SCOPED_TRACE(int{format});
    MemoryImageScratch scratch;
    Image image(format == kImageGrey8 ? grey : indexes, format, 8, 80, 40, 4);
    image.record.scratch = &scratch;
    image.record.palette = palette.data();
    image.record.palette_entries = 256;
    image.record.palette_entry_bits = 8;
    ASSERT_EQ(CompressImage(&image.record, image.data.data()), 0);
    EXPECT_EQ(image.format, kImageJpeg);
    const Decoded d = jpeg_decode(image.coded());
    EXPECT_EQ(d.components, 1u);
    Bytes inverted(grey.size());
    for (std::size_t i = 0; i < grey.size(); ++i) inverted[i] = static_cast<BYTE>(255 - grey[i]);
    EXPECT_LT(mean_difference(d.pixels, inverted), 2.0);
  }
}

// JPEG that does not shrink the data, and scratch-space failures.
TEST(ImageCompression, JpegFailuresKeepTheData) {
  std::mt19937 rng(9);
  // A column of noise: every 8 x 8 block repeats one column, so JPEG pays
  // for each pixel and its headers come on top.
  Bytes noise(1024);
  for (BYTE& b : noise) b = static_cast<BYTE>(rng());
  Bytes palette(256);
  for (int i = 0; i < 256; ++i) palette[i] = static_cast<BYTE>(i ^ 0x5A);
  Bytes noise_grey(noise.size());
  for (std::size_t i = 0; i < noise.size(); ++i) noise_grey[i] = palette[noise[i]];
  const Bytes pixels = smooth(96, 64, 3);

  struct Case {
    const char* what;
    Bytes data;
    BYTE format;
    DWORD bpp;
    WORD width, height;
    bool fail_open;
    DWORD write_limit, read_limit;
    INT result;
    Bytes after;
    BYTE format_after;
  } cases[] = {
      {"noise is not smaller", noise, kImageGrey8, 8, 1, 1024, false, 0xFFFFFFFF, 0xFFFFFFFF, 1, noise, kImageGrey8},
      {"indexed noise goes out as grey", noise, kImageIndexedGrey, 8, 1, 1024, false, 0xFFFFFFFF, 0xFFFFFFFF, 1,
       noise_grey, kImageGrey8},
      {"scratch cannot be created", pixels, kImageRgb24, 24, 96, 64, true, 0xFFFFFFFF, 0xFFFFFFFF, 1, pixels,
       kImageRgb24},
      {"short write", pixels, kImageRgb24, 24, 96, 64, false, 100, 0xFFFFFFFF, 1, pixels, kImageRgb24},
      {"short read back", pixels, kImageRgb24, 24, 96, 64, false, 0xFFFFFFFF, 100, 4096, {}, kImageRgb24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryImageScratch scratch;
    scratch.fail_open = c.fail_open;
    scratch.write_limit = c.write_limit;
    scratch.read_limit = c.read_limit;
    Image image(c.data, c.format, c.bpp, c.width, c.height, 4);
    image.record.scratch = &scratch;
    image.record.palette = palette.data();
    image.record.palette_entries = 256;
    EXPECT_EQ(CompressImage(&image.record, image.data.data()), c.result);
    if (c.result == 1) {
      EXPECT_EQ(image.method, 1);
      EXPECT_EQ(image.length, c.data.size());
      EXPECT_EQ(image.data, c.after);
      EXPECT_EQ(image.format, c.format_after);
    }
  }

  // An index beyond a short palette leaves the image untouched.
  MemoryImageScratch scratch;
  Bytes indexes(64 * 32, 3);
  indexes[100] = 200;
  Image image(indexes, kImageIndexedGrey, 8, 64, 32, 4);
  image.record.scratch = &scratch;
  image.record.palette = palette.data();
  image.record.palette_entries = 16;
  EXPECT_EQ(CompressImage(&image.record, image.data.data()), 1);
  EXPECT_EQ(image.format, kImageIndexedGrey);
  EXPECT_EQ(image.data, indexes);
}

// ---- the outside library ------------------------------------------------------------

constexpr const char16_t* kStandIn = u"morva_test_qzcmp_full.dll";

// The stand-in's own controls, reached through a reference the test holds.
struct StandIn {
  HMODULE module = LoadLibraryW(kStandIn);
  void (*control)(int, int) = morva_proc_as<void (*)(int, int)>(GetProcAddress(module, "qzcmp_test_control"));
  int (*live)() = morva_proc_as<int (*)()>(GetProcAddress(module, "qzcmp_test_live_handles"));
  StandIn() { control(-1, 0); }
  ~StandIn() {
    control(-1, 0);
    FreeLibrary(module);
  }
};

Bytes stand_in_decode(const Bytes& coded, bool inverted) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < coded.size(); i += 2) out.insert(out.end(), coded[i], coded[i + 1] ^ (inverted ? 0xFF : 0));
  return out;
}

TEST(CompressionPlugin, BindingNeedsTheLibraryAllEntriesAndAHandle) {
  EXPECT_EQ(LoadCompressionPlugin(u"no_such_qzcmp.dll"), nullptr);
  EXPECT_EQ(LoadCompressionPlugin(u""), nullptr);
  EXPECT_EQ(LoadCompressionPlugin(nullptr), nullptr);
  EXPECT_EQ(LoadCompressionPlugin(u"morva_test_qzcmp_partial.dll"), nullptr);
  EXPECT_EQ(GetModuleHandleW(u"morva_test_qzcmp_partial.dll"), nullptr);  // unloaded again

  StandIn stand_in;
  ASSERT_NE(stand_in.module, nullptr) << morva::platform::last_load_error();
  stand_in.control(0, 1);
  EXPECT_EQ(LoadCompressionPlugin(kStandIn), nullptr);
  stand_in.control(0, 0);

  CompressPlugin* binding = LoadCompressionPlugin(kStandIn);
  ASSERT_NE(binding, nullptr);
  EXPECT_NE(binding->handle, nullptr);
  EXPECT_EQ(stand_in.live(), 1);
  EXPECT_EQ(UnloadCompressionPlugin(binding), 0);
  EXPECT_EQ(stand_in.live(), 0);
  EXPECT_EQ(UnloadCompressionPlugin(nullptr), 1);

  DWORD size = 0;
  BYTE data[4] = {};
  EXPECT_EQ(CompressPlugin_Init(nullptr, 1, 8, 1, 1), 1);
  EXPECT_EQ(CompressPlugin_Compress(nullptr, data, 1, &size), 1);
  EXPECT_EQ(CompressPlugin_Get(nullptr, data), 1);
  EXPECT_EQ(CompressPlugin_Finish(nullptr), 1);
}

TEST(CompressionPlugin, OneBitImagesThroughTheLibrary) {
  StandIn stand_in;
  CompressPlugin* binding = LoadCompressionPlugin(kStandIn);
  ASSERT_NE(binding, nullptr);
  // 256 x 64 pixels at 1 bit: 32 bytes a row, long runs.
  Bytes bits(32 * 64);
  for (std::size_t i = 0; i < bits.size(); ++i) bits[i] = (i / 200) % 2 ? 0xFF : 0x00;
  Bytes alternating(32 * 64);
  for (std::size_t i = 0; i < alternating.size(); ++i) alternating[i] = i % 2 ? 0x55 : 0xAA;

  struct Case {
    const char* what;
    DWORD requested;
    const Bytes* data;
    int fault;
    INT result;
    BYTE method;
  } cases[] = {
      {"mode 1", 7, &bits, -1, 0, 7},
      {"mode 2", 6, &bits, -1, 0, 6},
      {"JPEG requested falls back to mode 1", 4, &bits, -1, 0, 7},
      {"coded data larger than the input", 7, &alternating, -1, 1, 1},
      {"init fails", 7, &bits, 1, 1, 1},
      {"compress fails", 7, &bits, 2, 1, 1},
      {"get fails", 7, &bits, 3, 1, 1},
      {"finish fails", 7, &bits, 4, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    stand_in.control(-1, 0);
    if (c.fault >= 0) stand_in.control(c.fault, 1);
    Image image(*c.data, kImageIndexedGrey, 1, 256, 64, c.requested);
    image.record.plugin = binding;
    EXPECT_EQ(CompressImage(&image.record, image.data.data()), c.result);
    EXPECT_EQ(image.method, c.method);
    if (c.result == 0) {
      EXPECT_EQ(stand_in_decode(image.coded(), c.method == 6), *c.data);
    } else {
      EXPECT_EQ(image.length, c.data->size());
      EXPECT_EQ(image.data, *c.data);
    }
  }
  stand_in.control(-1, 0);
  EXPECT_EQ(UnloadCompressionPlugin(binding), 0);
}

}  // namespace

namespace {

std::uint64_t Fnv1a(const Bytes& b) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (BYTE c : b) h = (h ^ c) * 0x100000001b3ull;
  return h;
}

// A band of a scanned photo: smooth gradients with a little noise in every
// component, as the coder meets on photo pages.
Bytes photo_band(unsigned width, unsigned height, unsigned bytes_per_pixel, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(std::size_t{width} * height * bytes_per_pixel);
  for (unsigned y = 0; y < height; ++y)
    for (unsigned x = 0; x < width; ++x)
      for (unsigned c = 0; c < bytes_per_pixel; ++c)
        b[(std::size_t{y} * width + x) * bytes_per_pixel + c] = static_cast<BYTE>((x / 3 + y * 2 + c * 60) + (rng() % 4));
  return b;
}

}  // namespace

// The coded bytes of photo bands and mixed pictures are pinned, so that a
// faster coder can never change the stream.
TEST(RunLengthCode, PhotoBandBytesArePinned) {
  struct Case {
    const char* what;
    unsigned width, height, bpp;
    Bytes image;
    std::size_t size;
    std::uint64_t hash;
  } cases[] = {
      {"photo band 24", 2400, 64, 24, photo_band(2400, 64, 3, 5), 236817, 11731224043677176756ull},
      {"photo band 8", 1200, 40, 8, photo_band(1200, 40, 1, 6), 29392, 5209381237956000463ull},
      {"photo band 32", 700, 30, 32, photo_band(700, 30, 4, 7), 42607, 5467855576776157661ull},
      {"picture 8", 611, 50, 8, picture(611, 50, 1, 21), 13266, 15617838741586412811ull},
      {"picture 24", 509, 50, 24, picture(509, 50, 3, 22), 36949, 17666572134521959277ull},
      {"picture 32", 257, 50, 32, picture(257, 50, 4, 23), 25057, 17457090970660983847ull},
      {"white 24", 2400, 20, 24, Bytes(2400 * 20 * 3, 0xFF), 9, 2317592267122411104ull},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes coded = rl_encode(c.image, c.width, c.height, c.bpp);
    EXPECT_EQ(coded.size(), c.size);
    EXPECT_EQ(Fnv1a(coded), c.hash);
    EXPECT_EQ(rl_decode(coded, c.width, c.height, c.bpp), c.image);
  }
}

// Each row fits a buffer of exactly the bytes it completes, and a row given
// one byte less fails; no byte beyond the room is ever touched.
TEST(RunLengthCode, RowsFillTheirRoomExactly) {
  for (unsigned bpp : {8u, 24u, 32u}) {
    SCOPED_TRACE(bpp);
    const unsigned width = 97, height = 12, row = width * (bpp / 8);
    const Bytes image = picture(width, height, bpp / 8, 31);
    const Bytes whole = rl_encode(image, width, height, bpp);
    for (unsigned cut_row = 0; cut_row < height; ++cut_row) {
      RunLengthCoder* coder = RunLengthCoder_Create(width, height, bpp);
      ASSERT_NE(coder, nullptr);
      Bytes out;
      bool failed = false;
      for (unsigned y = 0; y < height && !failed; ++y) {
        // The bytes this row completes, learnt from a coder with ample room.
        RunLengthCoder* probe = RunLengthCoder_Create(width, height, bpp);
        Bytes scratch(row * 2 + 64);
        LONG n = 0;
        for (unsigned k = 0; k <= y; ++k)
          n = RunLengthCoder_EncodeRow(probe, image.data() + k * row, scratch.data(), static_cast<DWORD>(scratch.size()));
        RunLengthCoder_Finish(probe, nullptr, 0);
        ASSERT_GE(n, 0);
        const bool cut = y == cut_row && n > 0;
        const DWORD room = static_cast<DWORD>(n) - (cut ? 1 : 0);
        Bytes buffer(room + 8, 0xA5);
        const LONG got = RunLengthCoder_EncodeRow(coder, image.data() + y * row, buffer.data(), room);
        EXPECT_TRUE(std::all_of(buffer.begin() + room, buffer.end(), [](BYTE b) { return b == 0xA5; }));
        if (cut) {
          EXPECT_EQ(got, -1);
          failed = true;
        } else {
          ASSERT_EQ(got, n);
          out.insert(out.end(), buffer.begin(), buffer.begin() + got);
        }
      }
      if (!failed) {
        Bytes tail(64);
        const LONG n = RunLengthCoder_Finish(coder, tail.data(), static_cast<DWORD>(tail.size()));
        ASSERT_GE(n, 0);
        out.insert(out.end(), tail.begin(), tail.begin() + n);
        EXPECT_EQ(out, whole);
      } else {
        EXPECT_EQ(RunLengthCoder_Finish(coder, Bytes(64).data(), 64), -1);
      }
    }
  }
}
