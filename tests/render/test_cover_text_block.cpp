// The cover page's text block: its operators, the advances from the device
// font's widths, its size from what is written (double-byte text
// included) and the document-name block.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "render/cover_text_block.h"
#include "temp_root.h"
#include "win/codepage.h"

namespace {

using namespace morva::gfx;

// Widths: 0x20-0x7E 500 directly; double-byte codes 0x8140-0x9FFC 1000.
std::vector<BYTE> metric_data() {
  std::vector<BYTE> b(81, 0);
  auto w16 = [&](WORD v) { b.push_back(static_cast<BYTE>(v)), b.push_back(static_cast<BYTE>(v >> 8)); };
  auto set32 = [&](DWORD at, DWORD v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<BYTE>(v >> (8 * i));
  };
  b[29] = 0x20;
  b[30] = 0x7E;
  set32(57, static_cast<DWORD>(b.size()));
  for (int c = 0x20; c <= 0x7E; ++c) w16(500);
  const DWORD ext = static_cast<DWORD>(b.size());
  set32(77, ext);
  b.resize(b.size() + 18, 0);
  set32(ext + 6, static_cast<DWORD>(b.size()));
  w16(1), w16(0x8140), w16(0x9FFC), w16(1000);
  return b;
}

struct Fixture {
  std::vector<BYTE> data = metric_data();
  DeviceFontMetrics metrics;
  CoverTextContext context;
  Fixture() {
    EXPECT_EQ(ParseDeviceFontHeader(data.data(), &metrics, static_cast<DWORD>(data.size())), 0);
    context = {600, 600, 0, [this](LONG kind, WORD* id) -> const DeviceFontMetrics* {
                 *id = kind == 2 ? 0x0410 : 0x0400;
                 return &metrics;
               }};
  }
};

float real_at(const std::vector<BYTE>& b, std::size_t at) {
  DWORD bits = (static_cast<DWORD>(b[at]) << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3];
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

TEST(CoverTextBlock, ItemsInOneFontAndSizeSelectThemOnce) {
  morva::test::TempRoot root;
  Fixture f;
  const std::vector<CoverTextItem> items = {{100, 200, 120, 1, u"Fax"}, {100, 300, 120, 1, u"To: Sales"}};
  const INT size = CoverTextBlockSize(f.context, items);
  // Each character: a real advance and a 16-bit code.
  EXPECT_EQ(size, 19 + 4 + 26 + (15 + 6 * 3) + (15 + 6 * 9));
  std::vector<BYTE> block;
  ASSERT_EQ(BuildCoverTextBlock(f.context, items, &block), size);
  ASSERT_EQ(block.size(), static_cast<std::size_t>(size));
  EXPECT_EQ(std::string(block.begin(), block.begin() + 2), "AR");
  // DA with the font id OR 2, one text matrix of 12 points at 600 dpi.
  EXPECT_EQ(block[19], 'D');
  EXPECT_EQ(block[20], 'A');
  EXPECT_EQ((block[21] << 8) | block[22], 0x0402);
  EXPECT_FLOAT_EQ(real_at(block, 25), 120.0f * 600 / 720);
  EXPECT_FLOAT_EQ(real_at(block, 37), -120.0f * 600 / 720);
  // The first text: position 100 x 600 / 254 dots, advances 500 x 600 x 120 / 720000.
  const std::size_t dd = 19 + 4 + 26;
  EXPECT_EQ(block[dd], 'D');
  EXPECT_EQ(block[dd + 1], 'd');
  EXPECT_FLOAT_EQ(real_at(block, dd + 2), static_cast<float>(100 * 600 / 254));
  EXPECT_FLOAT_EQ(real_at(block, dd + 13), 50.0f);
}

TEST(CoverTextBlock, DoubleByteTextIsSizedFromWhatIsWritten) {
  morva::test::TempRoot root;
  ASSERT_TRUE(morva::platform::set_ansi_code_page(932));
  Fixture f;
  // Two double-byte characters and one single byte: 3 advances, 3 codes.
  const std::vector<CoverTextItem> items = {{0, 0, 100, 2, u"\u65e5\u672cA"}};
  const INT size = CoverTextBlockSize(f.context, items);
  EXPECT_EQ(size, 19 + 4 + 26 + 15 + 4 * 3 + 2 * 3);
  std::vector<BYTE> block;
  ASSERT_EQ(BuildCoverTextBlock(f.context, items, &block), size);
  EXPECT_EQ(block.size(), static_cast<std::size_t>(size));
  EXPECT_FLOAT_EQ(real_at(block, 49 + 13), 1000.0f * 600 * 100 / 720000);
  // The byte count of three 16-bit codes, then the codes: both double-byte
  // characters whole, the single byte widened.
  const std::size_t codes = 49 + 13 + 4 * 3;
  auto word_at = [&](std::size_t at) { return (block[at] << 8) | block[at + 1]; };
  EXPECT_EQ(word_at(codes), 6);
  EXPECT_EQ(word_at(codes + 2), 0x93FA);
  EXPECT_EQ(word_at(codes + 4), 0x967B);
  EXPECT_EQ(word_at(codes + 6), 0x41);
}

TEST(CoverTextBlock, AMissingWidthOrFontFailsTheBlock) {
  morva::test::TempRoot root;
  Fixture f;
  std::vector<BYTE> block = {1, 2, 3};
  EXPECT_EQ(CoverTextBlockSize(f.context, {{0, 0, 100, 1, u"caf\u00e9"}}), -1);  // 0xE9 has no width
  EXPECT_EQ(BuildCoverTextBlock(f.context, {{0, 0, 100, 1, u"ok"}, {0, 0, 100, 1, u"\u00e9"}}, &block), -1);
  EXPECT_EQ(block.size(), 3u);  // nothing appended
  CoverTextContext none = f.context;
  none.font = [](LONG, WORD*) -> const DeviceFontMetrics* { return nullptr; };
  EXPECT_EQ(CoverTextBlockSize(none, {{0, 0, 100, 1, u"x"}}), -1);
}

TEST(CoverTextBlock, TheDocumentNameLosesFolderAndExtension) {
  morva::test::TempRoot root;
  const std::vector<BYTE> block = DocumentNameBlock(u"C:\\docs\\report.pdf");
  ASSERT_EQ(block.size(), 6u + 29u);
  EXPECT_EQ(std::string(block.begin(), block.begin() + 2), "Eg");
  EXPECT_EQ(std::string(block.begin() + 4, block.begin() + 10), "report");
  EXPECT_FLOAT_EQ(real_at(block, 10), 1.0f);
  EXPECT_TRUE(DocumentNameBlock(u"C:\\docs\\").empty());
}

}  // namespace
