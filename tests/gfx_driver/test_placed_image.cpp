// Placed images of the private image protocol and poster tile marks, drawn
// by the driver's own code on a PDEV whose document writes into memory; the
// operators are read back with the project's decoder.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "output/document_control.h"
#include "output/placed_image.h"
#include "placed_image_block.h"
#include "pdl_decode.h"
#include "render/pdl_sink.h"
#include "win/endian.h"
#include "win/memory.h"

namespace {

using namespace morva::gfx;
using morva::store_le16;
using morva::store_le32;
using morva::tools::PdlItem;

using morva::test::block;
using morva::test::Image;

class PlacedImage : public ::testing::Test {
 protected:
  void SetUp() override { open(0x01010501); }
  void TearDown() override { close(); }
  void open(DWORD version) {
    pdev_ = std::make_unique<PDEV>();
    std::memset(pdev_.get(), 0, sizeof(PDEV));
    // A4 with 1/4-inch offsets, in 1/18432 inch.
    PaperRecord& p = pdev_->page_paper;
    p.width = 152381, p.height = 215516;
    p.left = p.top = 4608;
    p.right = p.width - 4608, p.bottom = p.height - 4608;
    doc_ = static_cast<DocumentControl*>(GlobalAlloc(GPTR, sizeof(DocumentControl)));
    doc_->state = kDocOpen | kDocOutputBegun | kDocSheetOpen;
    doc_->job.pdl_version = version;
    doc_->sink = &sink_;
    pdev_->document = doc_;
    pdev_->writer = PdlWriter_Create(&sink_, version, 0, 0);
  }
  void close() {
    PdlWriter_Destroy(pdev_->writer);
    GlobalFree(doc_);
    sink_.clear();
  }
  INT send(const std::vector<BYTE>& b) { return RenderPlacedObject(pdev_.get(), b.data(), static_cast<DWORD>(b.size())); }
  std::vector<PdlItem> ops() {
    auto r = morva::tools::DecodeOperators(sink_.data(), sink_.size());
    EXPECT_TRUE(r.ok) << r.error << " at " << r.error_offset;
    std::vector<PdlItem> out;
    for (const PdlItem& i : r.items)
      if (i.kind == PdlItem::Operator) out.push_back(i);
    return out;
  }
  static std::vector<std::string> names(const std::vector<PdlItem>& items) {
    std::vector<std::string> n;
    for (const PdlItem& i : items) n.push_back(i.text);
    return n;
  }

  std::unique_ptr<PDEV> pdev_;
  DocumentControl* doc_ = nullptr;
  morva::render::MemorySink sink_;
};

TEST_F(PlacedImage, RotationsGiveTheirMatrices) {
  struct Case {
    WORD rotation, dest_w, dest_h;
    float m[6];
  } cases[] = {
      {0, 50, 25, {2, 0, 0, 2, 0, 0}},
      {90, 100, 50, {0, -1, 1, 0, 0, 50}},
      {180, 100, 50, {-1, 0, 0, -1, 100, 50}},
      {270, 200, 100, {0, 0.5f, -0.5f, 0, 100, 0}},
      {180, 0, 50, {-1, 0, 0, -1, 100, 50}},  // no destination size: one pixel per unit
  };
  for (const Case& c : cases) {
    sink_.clear();
    Image im;
    im.rotation = c.rotation, im.dest_w = c.dest_w, im.dest_h = c.dest_h;
    ASSERT_EQ(send(block(im, 64, 0, 64)), 0) << c.rotation;
    auto items = ops();
    auto it = std::find_if(items.begin(), items.end(), [](const PdlItem& i) { return i.text == "Cq"; });
    ASSERT_NE(it, items.end());
    // x, y, then the matrix.
    EXPECT_EQ(it->operands[0].f, 10);
    EXPECT_EQ(it->operands[1].f, 20);
    for (int k = 0; k < 6; ++k) EXPECT_FLOAT_EQ(it->operands[2 + k].f, c.m[k]) << c.rotation << " " << k;
    ASSERT_EQ(CheckPlacedImagesComplete(pdev_.get()), 0);
  }
}

TEST_F(PlacedImage, PiecesFollowOneHeaderWithTheWholeLength) {
  Image im;
  im.clip = true;
  ASSERT_EQ(send(block(im, 300, 0, 100, 1)), 0);
  ASSERT_EQ(send(block(im, 300, 100, 100, 2)), 0);
  EXPECT_EQ(CheckPlacedImagesComplete(pdev_.get()), -1);  // 100 bytes still due
  close();
  open(0x01010501);
  ASSERT_EQ(send(block(im, 300, 0, 100, 1)), 0);
  ASSERT_EQ(send(block(im, 300, 100, 100, 2)), 0);
  ASSERT_EQ(send(block(im, 300, 200, 100, 3)), 0);
  auto items = ops();
  // The clip rectangle, the raster operation, the header: once, whatever
  // the number of pieces; the decoder finds 300 bytes of data behind it.
  ASSERT_EQ(names(items), (std::vector<std::string>{"AB", "AL", "Cq"}));
  EXPECT_EQ(items[0].operands[0].i, 5);
  EXPECT_EQ(items[0].operands[3].i, 800);
  EXPECT_EQ(items[1].operands[0].i, 2);
  EXPECT_EQ(items[1].operands[1].i, 0xCC);
  EXPECT_EQ(sink_.data()[sink_.size() - 1], 3);
  EXPECT_EQ(CheckPlacedImagesComplete(pdev_.get()), 0);
}

TEST_F(PlacedImage, PiecesThatBreakTheAnnouncedLengthFailTheImage) {
  Image im;
  struct Case {
    const char* what;
    std::vector<std::vector<BYTE>> pieces;
    INT last;
  } cases[] = {
      {"a piece longer than 0xFF00 bytes", {block(im, 0x20000, 0, 0xFF01)}, -1},
      {"a piece beyond the total", {block(im, 100, 0, 60), block(im, 100, 60, 60)}, -1},
      {"a piece out of its place", {block(im, 100, 0, 50), block(im, 100, 70, 30)}, -1},
      {"a later piece without its first", {block(im, 100, 50, 50)}, -1},
  };
  for (const Case& c : cases) {
    sink_.clear();
    INT r = 0;
    for (const auto& p : c.pieces) r = send(p);
    EXPECT_EQ(r, c.last) << c.what;
    // The image can never be completed: the page that holds it fails.
    EXPECT_EQ(CheckPlacedImagesComplete(pdev_.get()), -1) << c.what;
  }
  // A new image while one still waits for its bytes fails too.
  sink_.clear();
  ASSERT_EQ(send(block(im, 100, 0, 50)), 0);
  EXPECT_EQ(send(block(im, 100, 0, 100)), -1);
  EXPECT_EQ(CheckPlacedImagesComplete(pdev_.get()), -1);
}

TEST_F(PlacedImage, InvalidDescriptionsWriteNothing) {
  struct Case {
    const char* what;
    Image im;
    INT result;
  } cases[] = {
      {"word 12 set", [] { Image i; i.zero1 = 1; return i; }(), -5},
      {"word 14 set", [] { Image i; i.zero2 = 3; return i; }(), -5},
      {"width differs", [] { Image i; i.bi_w = 99; return i; }(), -5},
      {"height differs", [] { Image i; i.bi_h = 51; return i; }(), -5},
      {"rotation 45", [] { Image i; i.rotation = 45; return i; }(), -5},
      {"uncoded data", [] { Image i; i.compression = 0; return i; }(), -1},
      {"run-length code of 4 bits", [] { Image i; i.compression = 5; i.bits = 4; return i; }(), -1},
  };
  for (const Case& c : cases) {
    sink_.clear();
    EXPECT_EQ(send(block(c.im, 64, 0, 64)), c.result) << c.what;
    if (c.result == -5 || c.im.compression == 0) {
      EXPECT_EQ(sink_.size(), 0u) << c.what;
    }
    CheckPlacedImagesComplete(pdev_.get());
  }
}

TEST_F(PlacedImage, IndexedImagesCarryTheirColourTable) {
  struct Case {
    DWORD version, clr_used;
    std::size_t entries;
    bool palette_operator;
  } cases[] = {
      {0x01010501, 0, 256, false}, {0x01010501, 300, 256, false}, {0x01010501, 16, 16, false},
      {0x01020000, 16, 16, true},
  };
  for (const Case& c : cases) {
    close();
    open(c.version);
    Image im;
    im.compression = 5, im.bits = 8, im.clr_used = c.clr_used;
    ASSERT_EQ(send(block(im, 32, 0, 32)), 0);
    auto items = ops();
    auto find = [&](const char* n) {
      return std::find_if(items.begin(), items.end(), [&](const PdlItem& i) { return i.text == n; });
    };
    auto cq = find("Cq");
    ASSERT_NE(cq, items.end());
    // x, y, six matrix values, width, height, mask kind, source kind, format.
    EXPECT_EQ(cq->operands[12].i, c.palette_operator ? 15 : 11);
    auto av = find("AV");
    EXPECT_EQ(av != items.end(), c.palette_operator);
    const PdlItem& with_table = c.palette_operator ? *av : *cq;
    std::size_t at = c.palette_operator ? 0 : 12;
    EXPECT_EQ(with_table.operands[at + 2].i, static_cast<std::int64_t>(c.entries));
    EXPECT_EQ(with_table.operands[at + 3].i, static_cast<std::int64_t>(3 * c.entries));
    // Entries as they stand: blue, green, red of entry 1.
    const BYTE* table = sink_.data() + with_table.operands[at + 4].offset;
    EXPECT_EQ(table[3], 1);
    EXPECT_EQ(table[4], 2);
    EXPECT_EQ(table[5], 3);
  }
}

TEST_F(PlacedImage, TileMarksAreTwelveDashedQuarterPointLines) {
  ASSERT_EQ(DrawPageMarks(pdev_.get()), 0);
  auto items = ops();
  auto count = [&](const char* n) {
    return std::count_if(items.begin(), items.end(), [&](const PdlItem& i) { return i.text == n; });
  };
  EXPECT_EQ(names(items).front(), "AR");
  EXPECT_EQ(count("BD"), 12);
  EXPECT_EQ(count("BB"), 12);
  auto width = std::find_if(items.begin(), items.end(), [](const PdlItem& i) { return i.text == "AD"; });
  ASSERT_NE(width, items.end());
  EXPECT_EQ(width->operands[0].i, 2);
  auto dash = std::find_if(items.begin(), items.end(), [](const PdlItem& i) { return i.text == "AH"; });
  ASSERT_NE(dash, items.end());
  // Kind 6, offset 0, two lengths: 40 drawn, 10 left.
  EXPECT_EQ(dash->operands[0].i, 6);
  EXPECT_EQ(dash->operands[3].i, 40);
  EXPECT_EQ(dash->operands[4].i, 10);
  // The first corner mark: from (2, H - 2) along x for 236 dots.
  auto move = std::find_if(items.begin(), items.end(), [](const PdlItem& i) { return i.text == "BB"; });
  EXPECT_EQ(move->operands[0].i, 2);
  EXPECT_EQ(names(items).back(), "Aa");
}

}  // namespace
