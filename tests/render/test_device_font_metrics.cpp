// The reader of device-font metric data (widths by character code through
// the direct table and the extension's pair and range tables), the font
// id text, and the copy of the resource glyph set into its fixed area.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "render/device_fonts.h"

namespace {

using namespace morva::gfx;

// Metric data: the fixed head of 81 bytes, then tables appended.
struct Data {
  std::vector<BYTE> b = std::vector<BYTE>(81, 0);
  DWORD here() const { return static_cast<DWORD>(b.size()); }
  void w16(WORD v) { b.push_back(static_cast<BYTE>(v)), b.push_back(static_cast<BYTE>(v >> 8)); }
  void w32(DWORD v) { w16(static_cast<WORD>(v)), w16(static_cast<WORD>(v >> 16)); }
  void set32(DWORD at, DWORD v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<BYTE>(v >> (8 * i));
  }
};

// Codes 0x41-0x43 directly (0x42 marked missing), and an extension with
// a pair table of the given entries and one range 0x8140-0x81FF of 1000.
Data font_data(const std::vector<std::pair<WORD, WORD>>& pairs, bool ranges = true) {
  Data d;
  d.b[29] = 0x41;
  d.b[30] = 0x43;
  d.set32(57, d.here());
  d.w16(600), d.w16(0x8000 | 600), d.w16(700);
  d.set32(73, d.here());
  for (char c : std::string("1a2B")) d.b.push_back(static_cast<BYTE>(c));
  d.b.push_back(0);
  const DWORD ext = d.here();
  d.set32(77, ext);
  d.b.resize(d.b.size() + 18, 0);
  if (ranges) {
    d.set32(ext + 6, d.here());
    d.w16(1), d.w16(0x8140), d.w16(0x81FF), d.w16(1000);
    d.set32(ext + 10, d.here() + 2);  // the width array first, then the table
    const DWORD array = d.here();
    d.w16(250), d.w16(260);
    d.set32(ext + 10, d.here());
    d.w32(0), d.w16(1), d.w16(0xA0), d.w16(0xA1), d.w32(array);
  }
  d.set32(ext + 14, d.here());
  d.w16(static_cast<WORD>(pairs.size()));
  for (auto [code, width] : pairs) d.w16(code), d.w16(width);
  return d;
}

TEST(DeviceFontMetrics, WidthsComeFromTheDirectTableThenPairsThenRanges) {
  Data d = font_data({{0x8141, 500}, {0x8150, 0x8000}, {0x8200, 900}});
  DeviceFontMetrics m;
  ASSERT_EQ(ParseDeviceFontHeader(d.b.data(), &m, d.here()), 0);
  EXPECT_EQ(m.code_page, 0x1A2B);
  struct Case {
    WORD code;
    int width;
  } cases[] = {
      {0x41, 600}, {0x42, -1}, {0x43, 700},   // direct; bit 15 means missing
      {0x8141, 500}, {0x8200, 900},           // pairs, the last entry included
      {0x8150, -1},                           // a pair marked missing
      {0x8142, 1000},                         // the range-value table
      {0xA0, 250}, {0xA1, 260},               // the range-offset table
      {0x20, -1}, {0x9000, -1},               // nowhere
  };
  for (const Case& c : cases) EXPECT_EQ(LookupDeviceFontGlyph(&m, c.code), c.width) << std::hex << c.code;
}

TEST(DeviceFontMetrics, AOneEntryPairTableIsSearched) {
  Data d = font_data({{0x8141, 480}});
  DeviceFontMetrics m;
  ASSERT_EQ(ParseDeviceFontHeader(d.b.data(), &m, d.here()), 0);
  EXPECT_EQ(LookupDeviceFontGlyph(&m, 0x8141), 480);
}

TEST(DeviceFontMetrics, TablesOutsideTheDataAreRefused) {
  Data d = font_data({});
  DeviceFontMetrics m;
  EXPECT_EQ(ParseDeviceFontHeader(d.b.data(), &m, 80), -1);
  d.set32(57, 0xFFFFFF00u);  // the direct table beyond the end
  EXPECT_EQ(ParseDeviceFontHeader(d.b.data(), &m, d.here()), -1);
  EXPECT_EQ(LookupDeviceFontGlyph(&m, 0x41), -1);
  Data e = font_data({{0x8141, 480}}, false);
  e.b.resize(e.b.size() - 2);  // the last pair's width cut off
  ASSERT_EQ(ParseDeviceFontHeader(e.b.data(), &m, e.here()), 0);
  EXPECT_EQ(LookupDeviceFontGlyph(&m, 0x8141), -1);
}

TEST(DeviceFontMetrics, FontIdTextIsHexadecimal) {
  struct Case {
    const char* text;
    WORD value;
  } cases[] = {{"1a2B", 0x1A2B}, {"12G", 0xFFFF}, {"0400", 0x0400}, {"12345", 0xFFFF}, {"", 0xFFFF}};
  for (const Case& c : cases) EXPECT_EQ(ParseHexWord(c.text, std::strlen(c.text)), c.value) << c.text;
}

// A resource glyph set: head, runs {first, count, unused}, handles.
std::vector<BYTE> resource_set(const std::vector<std::pair<WORD, WORD>>& runs, std::size_t missing_handles = 0) {
  Data d;
  d.b.clear();
  DWORD total = 0;
  for (auto r : runs) total += r.second;
  d.w32(0), d.w32(4), d.w32(total), d.w32(static_cast<DWORD>(runs.size()));
  for (auto r : runs) d.w16(r.first), d.w16(r.second), d.w32(0xDEADBEEF);
  for (DWORD i = 0; i + missing_handles < total; ++i) d.w32(0x8140 + i);
  return d.b;
}

TEST(ResourceGlyphSet, IsCopiedWithRunsPointingAtItsHandles) {
  auto bytes = resource_set({{0x20, 3}, {0x3041, 2}});
  alignas(8) BYTE area[512];
  FD_GLYPHSET* set = CopyResourceGlyphSet(bytes.data(), bytes.size(), area, sizeof area);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->cRuns, 2u);
  EXPECT_EQ(set->cGlyphsSupported, 5u);
  EXPECT_EQ(set->awcrun[1].wcLow, 0x3041);
  EXPECT_EQ(set->awcrun[1].phg[1], 0x8144u);
  EXPECT_LE(set->cjThis, sizeof area);
}

TEST(ResourceGlyphSet, ASetLargerThanItsAreaOrItsDataIsRefused) {
  alignas(8) BYTE area[256];
  std::memset(area, 0xA5, sizeof area);
  auto big = resource_set({{0x20, 60}});  // 60 handles do not fit 256 bytes
  EXPECT_EQ(CopyResourceGlyphSet(big.data(), big.size(), area, 128), nullptr);
  for (std::size_t i = 0; i < sizeof area; ++i) ASSERT_EQ(area[i], 0xA5) << i;  // nothing written
  auto short_data = resource_set({{0x20, 4}}, 2);  // two handles missing
  EXPECT_EQ(CopyResourceGlyphSet(short_data.data(), short_data.size(), area, sizeof area), nullptr);
  EXPECT_EQ(CopyResourceGlyphSet(big.data(), 10, area, sizeof area), nullptr);
}

}  // namespace
