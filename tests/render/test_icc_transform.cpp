// Colour transforms: the presets, the profile reader on small built profiles
// whose results can be worked out by hand, and the pixel conversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "icc_profile_builder.h"
#include "render/icc_transform.h"
#include "temp_root.h"
#include "win/memory.h"

using namespace morva::render;
namespace icc = morva::test::icc;

namespace {

constexpr double kXyzToSrgb[9] = {3.2410, -1.5374, -0.4986, -0.9692, 1.8760, 0.0416, 0.0556, -0.2040, 1.0570};

int srgb_byte(double linear) {
  linear = std::clamp(linear, 0.0, 1.0);
  const double e = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
  return static_cast<int>(std::lround(e * 255));
}

struct Rgb {
  int r, g, b;
};

// One pixel through the transform; the buffer order is blue, green, red.
Rgb convert(const IccTransform* t, Rgb in) {
  BYTE px[3] = {static_cast<BYTE>(in.b), static_cast<BYTE>(in.g), static_cast<BYTE>(in.r)};
  ConvertPixelsGrid(t, px, px, 1);
  return {px[2], px[1], px[0]};
}

class Transform : public ::testing::Test {
 protected:
  void SetUp() override { InitIccTransform(&t_); }
  void TearDown() override { FreeIccTransform(&t_); }

  // Writes the profile to C:\p.icc and loads it.
  INT load(const std::string& bytes) {
    morva::test::write_file(root_.file("drive_c/p.icc"), bytes);
    return LoadIccProfile(&t_, "C:\\p.icc");
  }

  morva::test::TempRoot root_;
  IccTransform t_;
};

TEST_F(Transform, PresetsAcceptOnlyTheirTemperaturesAndToneTypes) {
  struct Case {
    DWORD temperature, tone;
    INT result;
  } cases[] = {{5000, 0x0A, 0}, {6500, 0x16, 0}, {9300, 0x1A, 0}, {6500, 0x0E, 0}, {6500, 0x12, 0},
               {6000, 0x16, -1}, {6500, 0x15, -1}, {0, 0, -1}, {9300, 0x1B, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.temperature << "/" << c.tone);
    EXPECT_EQ(SelectColourTemperature(&t_, c.temperature, c.tone), c.result);
    EXPECT_EQ(t_.mode, c.result == 0 ? kIccModeMatrix : kIccModeNone);
    if (c.result != 0) {
      EXPECT_EQ(t_.near_white_flag, 0);
    }
  }
  EXPECT_EQ(SelectColourTemperature(nullptr, 6500, 0x16), -1);
}

// The 6500 K preset is the sRGB primaries: with gamma 1.0 the output is the
// sRGB encoding of value / 255; with gamma 2.2 each value stays near itself.
TEST_F(Transform, Preset6500FollowsTheSrgbEncoding) {
  ASSERT_EQ(SelectColourTemperature(&t_, 6500, 0x0A), 0);
  EXPECT_EQ(convert(&t_, {128, 128, 128}).g, 188);
  for (int v = 0; v < 256; v += 5) {
    const Rgb out = convert(&t_, {v, v, v});
    const int want = srgb_byte(v / 255.0);
    EXPECT_NEAR(out.r, want, 1) << v;
    EXPECT_NEAR(out.g, want, 1) << v;
    EXPECT_NEAR(out.b, want, 1) << v;
  }
  // Gamma 2.2: the power curve, then the preset's matrix, then the sRGB
  // encoding, worked out in doubles; mid-tones stay where they were.
  ASSERT_EQ(SelectColourTemperature(&t_, 6500, 0x16), 0);
  const double primaries[3][3] = {{0.4124, 0.2126, 0.0193}, {0.3576, 0.7152, 0.1192}, {0.1805, 0.0722, 0.9505}};
  for (int v = 0; v < 256; v += 3) {
    const int in[3] = {v, 255 - v, v / 2};
    const Rgb out = convert(&t_, {in[0], in[1], in[2]});
    double xyz[3] = {};
    for (int c = 0; c < 3; ++c)
      for (int k = 0; k < 3; ++k) xyz[k] += primaries[c][k] * std::pow(in[c] / 255.0, 2.2);
    int want[3];
    for (int row = 0; row < 3; ++row)
      want[row] = srgb_byte(kXyzToSrgb[row * 3] * xyz[0] + kXyzToSrgb[row * 3 + 1] * xyz[1] + kXyzToSrgb[row * 3 + 2] * xyz[2]);
    EXPECT_NEAR(out.r, want[0], 1) << v;
    EXPECT_NEAR(out.g, want[1], 1) << v;
    EXPECT_NEAR(out.b, want[2], 1) << v;
  }
  for (int v = 100; v < 256; v += 5) EXPECT_NEAR(convert(&t_, {v, v, v}).g, v, 2) << v;
}

// 5000 K and 9300 K shift the greys but keep white white.
TEST_F(Transform, WarmAndCoolPresetsKeepWhite) {
  ASSERT_EQ(SelectColourTemperature(&t_, 5000, 0x16), 0);
  EXPECT_EQ(t_.near_white_flag, 1);
  Rgb white = convert(&t_, {255, 255, 255});
  EXPECT_EQ(white.r, 255);
  EXPECT_EQ(white.g, 255);
  EXPECT_EQ(white.b, 255);
  Rgb grey = convert(&t_, {128, 128, 128});
  EXPECT_GT(grey.r, grey.b + 10);

  ASSERT_EQ(SelectColourTemperature(&t_, 9300, 0x16), 0);
  white = convert(&t_, {255, 255, 255});
  EXPECT_EQ(white.r, 255);
  EXPECT_EQ(white.g, 255);
  EXPECT_EQ(white.b, 255);
  grey = convert(&t_, {128, 128, 128});
  EXPECT_GT(grey.b, grey.r + 10);
  // Just outside the near-white cell the plain matrix applies and blue
  // is already saturated.
  const Rgb near = convert(&t_, {238, 238, 238});
  EXPECT_EQ(near.b, 255);
  EXPECT_LT(near.r, 245);
}

TEST_F(Transform, WithoutATransformPixelsAreCopied) {
  const BYTE in[6] = {1, 2, 3, 250, 128, 0};
  BYTE out[6] = {};
  ConvertPixelsGrid(nullptr, in, out, 2);
  EXPECT_EQ(0, std::memcmp(in, out, 6));
  std::memset(out, 0, 6);
  ConvertPixelsGrid(&t_, in, out, 2);
  EXPECT_EQ(0, std::memcmp(in, out, 6));
}

TEST(CurveToTable, CountsSelectIdentityGammaCopyOrResampling) {
  WORD out[256];
  CurveToTable(nullptr, 0, out);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(out[i], i * 257);

  const BYTE gamma[2] = {0x02, 0x33};  // u8.8 2.199
  CurveToTable(gamma, 1, out);
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(out[i], static_cast<WORD>(std::pow(i / 255.0, 0x233 / 256.0) * 65535)) << i;
  }

  std::vector<BYTE> entries;
  for (int i = 0; i < 256; ++i) {
    entries.push_back(static_cast<BYTE>((65535 - i * 100) >> 8));
    entries.push_back(static_cast<BYTE>(65535 - i * 100));
  }
  CurveToTable(entries.data(), 256, out);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(out[i], 65535 - i * 100);

  // Three points: 0, 0x8000, 0xFFFF, sampled at i x 2 / 255.
  const BYTE three[6] = {0, 0, 0x80, 0, 0xFF, 0xFF};
  CurveToTable(three, 3, out);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[255], 0xFFFF);
  EXPECT_NEAR(out[64], 64 * 2 / 255.0 * 0x8000, 1);
  EXPECT_NEAR(out[200], 0x8000 + (200 * 2 / 255.0 - 1) * 0x7FFF, 1);
}

TEST(WhiteAdaptation, D65GivesThePlainXyzToSrgbMatrix) {
  double m[9];
  ASSERT_TRUE(WhiteAdaptationMatrix(icc::kD65, m));
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(m[i], kXyzToSrgb[i], 5e-4) << i;
  const double none[3] = {0, 0, 0};
  EXPECT_FALSE(WhiteAdaptationMatrix(none, m));
}

// sRGB colorants with a linear curve: the matrix is the identity, so the
// profile gives the same result as the 6500 K preset with gamma 1.0.
TEST_F(Transform, IdentityMatrixProfile) {
  ASSERT_EQ(load(icc::matrix_profile(icc::kSrgbColorants, icc::kD65, icc::curve({})).build()), 0);
  EXPECT_EQ(t_.mode, kIccModeMatrix);
  EXPECT_EQ(t_.near_white_flag, 0);
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(t_.matrix[i], i % 4 == 0 ? 65536 : 0, 0.003 * 65536) << i;
  IccTransform preset;
  InitIccTransform(&preset);
  ASSERT_EQ(SelectColourTemperature(&preset, 6500, 0x0A), 0);
  for (int v = 0; v < 256; v += 15) {
    const Rgb a = convert(&t_, {v, 255 - v, v / 3});
    const Rgb b = convert(&preset, {v, 255 - v, v / 3});
    EXPECT_NEAR(a.r, b.r, 1);
    EXPECT_NEAR(a.g, b.g, 1);
    EXPECT_NEAR(a.b, b.b, 1);
  }
}

// With a D65 white point the matrix is the profile matrix (rows scaled to
// the white) followed by XYZ to sRGB; the one-entry curve is a gamma.
TEST_F(Transform, MatrixProfileWithD65WhiteAndGammaCurve) {
  const double colorants[3][3] = {{0.5767, 0.2973, 0.0270}, {0.1856, 0.6273, 0.0707}, {0.1882, 0.0752, 0.9911}};
  ASSERT_EQ(load(icc::matrix_profile(colorants, icc::kD65, icc::curve({0x0233})).build()), 0);
  EXPECT_EQ(t_.mode, kIccModeMatrix);
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      double want = 0;
      for (int k = 0; k < 3; ++k) {
        const double sum = colorants[0][k] + colorants[1][k] + colorants[2][k];
        want += kXyzToSrgb[row * 3 + k] * colorants[col][k] * icc::kD65[k] / sum;
      }
      EXPECT_NEAR(t_.matrix[row * 3 + col] / 65536.0, want, 1e-3) << row << "," << col;
    }
  }
  WORD gamma[256];
  const BYTE exponent[2] = {0x02, 0x33};
  CurveToTable(exponent, 1, gamma);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(0, std::memcmp(t_.input_curves[c], gamma, sizeof gamma));
  // White in, white out, whatever the colorants.
  const Rgb white = convert(&t_, {255, 255, 255});
  EXPECT_GE(white.r, 254);
  EXPECT_GE(white.g, 254);
  EXPECT_GE(white.b, 254);
}

// A scanner profile whose 2-point table holds the sRGB primaries in XYZ
// (seen from D50, as the connection space is):
// tetrahedral interpolation of a linear table is exact, so the result is
// again the 6500 K preset with gamma 1.0.
TEST_F(Transform, TwoPointGridScannerProfile) {
  std::vector<std::uint16_t> clut;
  for (int r = 0; r < 2; ++r)
    for (int g = 0; g < 2; ++g)
      for (int b = 0; b < 2; ++b)
        for (int k = 0; k < 3; ++k) {
          // Connection-space values are relative to D50.
          const double d50[3] = {0.9642, 1.0, 0.8249};
          const double v = r * icc::kSrgbColorants[0][k] + g * icc::kSrgbColorants[1][k] + b * icc::kSrgbColorants[2][k];
          clut.push_back(static_cast<std::uint16_t>(std::lround(v * d50[k] / icc::kD65[k] * 32768)));
        }
  icc::Profile p;
  p.device_class = "scnr";
  p.tags.push_back({"wtpt", icc::xyz(icc::kD65[0], icc::kD65[1], icc::kD65[2])});
  p.tags.push_back({"A2B0", icc::lut16(2, {0, 0xFFFF}, clut, {0, 0xFFFF})});
  ASSERT_EQ(load(p.build()), 0);
  EXPECT_EQ(t_.mode, kIccModeGrid);
  ASSERT_NE(t_.grid, nullptr);
  // Grid point (8, 16, 0) is RGB (0.5, 1, 0).
  const WORD* point = t_.grid + ((8 * 17 + 16) * 17 + 0) * 3;
  EXPECT_NEAR(point[0], 32768, 200);
  EXPECT_NEAR(point[1], 65535, 200);
  EXPECT_NEAR(point[2], 0, 200);
  IccTransform preset;
  InitIccTransform(&preset);
  ASSERT_EQ(SelectColourTemperature(&preset, 6500, 0x0A), 0);
  for (int v = 0; v < 256; v += 15) {
    const Rgb a = convert(&t_, {v, 255 - v, v / 3});
    const Rgb b = convert(&preset, {v, 255 - v, v / 3});
    EXPECT_NEAR(a.r, b.r, 2) << v;
    EXPECT_NEAR(a.g, b.g, 2) << v;
    EXPECT_NEAR(a.b, b.b, 2) << v;
  }
}

// An 8-bit table in Lab: lightness follows red only (L 0 or 100, a and b
// neutral), so every pixel comes out grey, black at red 0, white at 255.
TEST_F(Transform, Lut8LabScannerProfile) {
  std::vector<std::uint8_t> clut;
  for (int r = 0; r < 2; ++r)
    for (int g = 0; g < 2; ++g)
      for (int b = 0; b < 2; ++b) {
        clut.push_back(r ? 255 : 0);
        clut.push_back(128);
        clut.push_back(128);
      }
  icc::Profile p;
  p.device_class = "scnr";
  p.pcs = "Lab ";
  p.tags.push_back({"A2B0", icc::lut8(2, clut)});
  p.tags.push_back({"wtpt", icc::xyz(icc::kD65[0], icc::kD65[1], icc::kD65[2])});
  ASSERT_EQ(load(p.build()), 0);
  EXPECT_EQ(t_.mode, kIccModeGrid);
  const Rgb black = convert(&t_, {0, 200, 90});
  EXPECT_LE(black.r + black.g + black.b, 3);
  const Rgb white = convert(&t_, {255, 0, 30});
  EXPECT_GE(white.r, 254);
  EXPECT_GE(white.g, 254);
  EXPECT_GE(white.b, 254);
  int last = -1;
  for (int v = 0; v < 256; v += 17) {
    const Rgb grey = convert(&t_, {v, 77, 177});
    EXPECT_NEAR(grey.r, grey.g, 2);
    EXPECT_NEAR(grey.b, grey.g, 2);
    EXPECT_GE(grey.g, last);
    last = grey.g;
  }
}

TEST_F(Transform, ProfileFailuresLeaveNoTransform) {
  const std::string good = icc::matrix_profile(icc::kSrgbColorants, icc::kD65, icc::curve({})).build();
  auto with = [&](auto change) {
    icc::Profile p = icc::matrix_profile(icc::kSrgbColorants, icc::kD65, icc::curve({}));
    change(p);
    return p.build();
  };
  auto patched = [&](std::size_t at, std::uint32_t value) {
    std::string s = good;
    std::string v;
    icc::put32(v, value);
    s.replace(at, 4, v);
    return s;
  };
  struct Case {
    const char* what;
    std::string bytes;
    INT result;
  } cases[] = {
      {"short file", good.substr(0, 100), -3},
      {"signature", with([](icc::Profile& p) { p.signature = "abcd"; }), -5},
      {"nicc signature", with([](icc::Profile& p) { p.signature = "nicc"; }), 0},
      {"colour space", with([](icc::Profile& p) { p.colour_space = "CMYK"; }), -6},
      {"monitor in Lab", with([](icc::Profile& p) { p.pcs = "Lab "; }), -7},
      {"printer class", with([](icc::Profile& p) { p.device_class = "prtr"; }), -7},
      {"connection space", with([](icc::Profile& p) { p.pcs = "RGB "; }), -7},
      {"no blue curve", with([](icc::Profile& p) { p.tags.erase(p.tags.begin() + 5); }), -7},
      {"no white point", with([](icc::Profile& p) { p.tags.pop_back(); }), -7},
      {"white point of wrong type",
       with([](icc::Profile& p) { p.tags.back().bytes.replace(0, 4, "xyz "); }), -7},
      {"curve longer than its tag",
       with([](icc::Profile& p) { p.tags[3].bytes = icc::curve({1, 2}).substr(0, 14); }), -7},
      {"zero colorants",
       with([](icc::Profile& p) { for (int c = 0; c < 3; ++c) p.tags[c].bytes = icc::xyz(0, 0, 0); }), -7},
      {"tag past the end", patched(132 + 4, 0x7FFFFFF0), -3},
      {"tag size past the end", patched(132 + 8, 0xFFFFFFF0), -3},
      {"tag count past the end", patched(128, 0x40000000), -3},
      {"scanner with a broken table",
       with([](icc::Profile& p) {
         p.device_class = "scnr";
         p.tags.erase(p.tags.begin(), p.tags.begin() + 3);
         p.tags.push_back({"A2B0", icc::lut16(3, {0, 0xFFFF}, std::vector<std::uint16_t>(8 * 3), {0, 0xFFFF})});
       }),
       -7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Start from a built grid each time, so that a failure must free it.
    icc::Profile grid;
    grid.device_class = "scnr";
    grid.tags.push_back({"wtpt", icc::xyz(icc::kD65[0], icc::kD65[1], icc::kD65[2])});
    grid.tags.push_back({"A2B0", icc::lut16(2, {0, 0xFFFF}, std::vector<std::uint16_t>(24, 0x4000), {0, 0xFFFF})});
    ASSERT_EQ(load(grid.build()), 0);
    EXPECT_EQ(load(c.bytes), c.result);
    if (c.result != 0) {
      EXPECT_EQ(t_.mode, kIccModeNone);
      EXPECT_EQ(t_.grid, nullptr);
      EXPECT_EQ(t_.near_white_flag, 0);
    }
  }
}

TEST_F(Transform, PathsThatAreRefusedOrMissing) {
  EXPECT_EQ(LoadIccProfile(&t_, "\\\\.\\PiPe\\profile"), -1);
  EXPECT_EQ(LoadIccProfile(&t_, ""), -1);
  EXPECT_EQ(LoadIccProfile(nullptr, "C:\\p.icc"), -1);
  EXPECT_EQ(LoadIccProfile(&t_, "C:\\missing.icc"), -2);
  EXPECT_EQ(t_.mode, kIccModeNone);
}

TEST_F(Transform, OutOfMemoryWhileReading) {
  icc::Profile p;
  p.device_class = "scnr";
  p.tags.push_back({"wtpt", icc::xyz(icc::kD65[0], icc::kD65[1], icc::kD65[2])});
  p.tags.push_back({"A2B0", icc::lut16(2, {0, 0xFFFF}, std::vector<std::uint16_t>(24, 0x4000), {0, 0xFFFF})});
  const std::string bytes = p.build();
  // Tag table, white point, table, grid: each allocation in turn fails.
  for (int skip = 0; skip < 4; ++skip) {
    morva::platform::inject_allocation_failure(skip, 1);
    EXPECT_EQ(load(bytes), -8) << skip;
    EXPECT_EQ(t_.mode, kIccModeNone);
    EXPECT_EQ(t_.grid, nullptr);
  }
  morva::platform::inject_allocation_failure(0, 0);
  EXPECT_EQ(load(bytes), 0);
}

TEST(GainOffset, GreyBrightnessAndContrast) {
  struct Case {
    INT brightness, contrast;
    int in, out;
  } cases[] = {
      {0, 0, 0, 0},       {0, 0, 128, 128},   {0, 0, 255, 255},    // gain 1: x 257 / 256
      {100, 0, 100, 150},                                          // offset 50
      {0, 100, 128, 90},  {0, 100, 20, 0},                         // gain 1.3, offset -76.5 (floor -77)
      {200, -200, 0, 126}, {200, -200, 255, 255},                  // clamped to 100, -100
  };
  for (const Case& c : cases) {
    GainOffset g;
    ASSERT_EQ(ColourGainOffset(&g, c.brightness, c.contrast), 0);
    const BYTE in = static_cast<BYTE>(c.in);
    BYTE out = 0;
    ApplyGainOffsetGrey(&g, &in, &out, 1);
    EXPECT_EQ(out, c.out) << c.brightness << " " << c.contrast << " " << c.in;
  }
  EXPECT_EQ(ColourGainOffset(nullptr, 0, 0), -1);
  const BYTE in[3] = {1, 2, 3};
  BYTE out[3] = {};
  ApplyGainOffsetGrey(nullptr, in, out, 3);
  EXPECT_EQ(0, std::memcmp(in, out, 3));
}

// Writes the fuzz seed profiles when asked (MORVA_ICC_SEED_DIR).
TEST(IccSeeds, WriteWhenAsked) {
  const char* dir = std::getenv("MORVA_ICC_SEED_DIR");
  if (dir == nullptr) GTEST_SKIP() << "MORVA_ICC_SEED_DIR not set";
  std::vector<std::uint16_t> clut(24, 0x4000);
  icc::Profile scanner;
  scanner.device_class = "scnr";
  scanner.tags.push_back({"wtpt", icc::xyz(icc::kD65[0], icc::kD65[1], icc::kD65[2])});
  scanner.tags.push_back({"A2B0", icc::lut16(2, {0, 0xFFFF}, clut, {0, 0x8000, 0xFFFF})});
  icc::Profile lab = scanner;
  lab.pcs = "Lab ";
  lab.tags[1].bytes = icc::lut8(2, std::vector<std::uint8_t>(24, 128));
  const std::pair<const char*, std::string> seeds[] = {
      {"matrix_linear.icc", icc::matrix_profile(icc::kSrgbColorants, icc::kD65, icc::curve({})).build()},
      {"matrix_gamma.icc", icc::matrix_profile(icc::kSrgbColorants, icc::kD65, icc::curve({0x0233})).build()},
      {"matrix_table.icc", icc::matrix_profile(icc::kSrgbColorants, icc::kD65, icc::curve({0, 0x2000, 0xFFFF})).build()},
      {"scanner_lut16.icc", scanner.build()},
      {"scanner_lut8_lab.icc", lab.build()},
  };
  for (const auto& [name, bytes] : seeds) {
    std::ofstream(std::filesystem::path(dir) / name, std::ios::binary) << bytes;
  }
}

}  // namespace
