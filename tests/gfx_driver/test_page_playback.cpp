// Playback of recorded pages on a PDEV whose document writes into memory:
// pages recorded through the document's recording calls into a real temp
// file and played back with their records kept, changed or dropped.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "output/document_control.h"
#include "output/page_recording.h"
#include "output/spool_stream.h"
#include "pdl_decode.h"
#include "settings/common/module_state.h"
#include "temp_root.h"
#include "test_printer.h"
#include "win/win.h"
#include "win/memory.h"

namespace {

using namespace morva::gfx;
using morva::tools::PdlItem;

class Playback : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTempFileKeyBase(kDefaultTempFileKeyBase);
    printer_ = morva::test::add_test_printer(u"Playback Printer", u"Playback Driver", u"T.DDD", u"FILE:");
    ASSERT_NE(printer_, nullptr);
    DOC_INFO_1W info{const_cast<LPWSTR>(u"Playback Job"), nullptr, const_cast<LPWSTR>(u"RAW")};
    ASSERT_NE(StartDocPrinterW(printer_, 1, reinterpret_cast<LPBYTE>(&info)), 0u);
    pdev_ = std::make_unique<PDEV>();
    std::memset(pdev_.get(), 0, sizeof(PDEV));
    pdev_->signature = pdev_->signature_end = kPdevSignature;
    // The document's own sink in front of the spool stream, on the job.
    ASSERT_EQ(BeginDocument(pdev_.get(), printer_), 0);
    ASSERT_EQ(OpenDocumentOutput(pdev_.get(), u"Playback"), 0);
    doc_ = pdev_->document;
    doc_->state |= kDocOutputBegun | kDocSheetOpen;
    doc_->rec.job.resolution = 600;
  }
  void TearDown() override {
    EndDocumentRecording(pdev_.get());
    EndDocumentCleanup(pdev_.get());
    EndDocPrinter(printer_);
    ClosePrinter(printer_);
    ReleaseResourceModule();
  }
  void op(const char* what) {
    if (std::string(what) == "FB") RecordOrWriteFB(pdev_.get());
    if (std::string(what) == "ED") RecordOrWritePageEnd(pdev_.get());
    if (std::string(what) == "Ec") RecordOrWritePageBegin(pdev_.get(), 1, 2, 9, 0, 0);
    if (std::string(what) == "Aa") {
      static constexpr float m[6] = {2, 0, 0, 2, 5, 7};
      RecordOrSetPageTransform(pdev_.get(), m);
    }
    if (std::string(what) == "CG") PdlWriter_Rectangle(pdev_->writer, RECTL{1, 2, 3, 4});
  }
  // What reached the spooler job since the last call.
  std::string sent() {
    DrainDocumentSink(pdev_.get());
    FlushSpoolStream(pdev_->stream);
    std::string all = "(no job)";
    for (const auto& j : morva::platform::spool_jobs(u"Playback Printer"))
      if (j.document == u"Playback Job") all = morva::test::read_file(j.spool_file);
    std::string news = all.substr(std::min(seen_, all.size()));
    seen_ = all.size();
    return news;
  }
  std::vector<std::string> played() {
    std::string bytes = sent();
    auto r = morva::tools::DecodeOperators(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    EXPECT_TRUE(r.ok) << r.error;
    std::vector<std::string> out;
    for (const PdlItem& i : r.items)
      if (i.kind == PdlItem::Operator) out.push_back(i.text);
    return out;
  }

  morva::test::TempRoot root_;
  HANDLE printer_ = nullptr;
  std::unique_ptr<PDEV> pdev_;
  DocumentControl* doc_ = nullptr;
  std::size_t seen_ = 0;
};

TEST_F(Playback, HonouredKindsKeepOrDropTheirRecords) {
  ASSERT_EQ(BeginDocumentRecording(pdev_.get(), 0, 4), 0);
  ASSERT_EQ(BeginRecordedPage(kKindsBooklet, pdev_.get(), 0, 1), 0);
  for (const char* o : {"Ec", "Aa", "CG", "FB", "ED"}) op(o);
  ASSERT_EQ(EndRecordedPage(pdev_.get(), 0), 0);
  EXPECT_EQ(sent(), "");  // all of it went into the recording
  struct Case {
    DWORD honoured;
    std::vector<std::string> ops;
  } cases[] = {
      {0x1F, {"Ec", "Aa", "CG", "FB", "ED"}},
      {0x09, {"Ec", "Aa", "CG"}},
      {0x0E, {"Aa", "CG", "FB", "ED"}},
      {0x00, {"CG"}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(PlayBackPageRecords(pdev_.get(), 0, c.honoured, 0xFFFF, PlaybackCell{}, 1), 0) << c.honoured;
    EXPECT_EQ(played(), c.ops) << c.honoured;
  }
  // A cell moves the page: the recorded transform first, then the cell.
  PlaybackCell cell;
  cell.present = true;
  cell.m = Affine{1, 0, 0, 1, 100, 200};
  ASSERT_EQ(PlayBackPageRecords(pdev_.get(), 0, kHonourTransform, 0xFFFF, cell, 1), 0);
  EXPECT_EQ(pdev_->writer->cache.matrix[4], 105);
  EXPECT_EQ(pdev_->writer->cache.matrix[5], 207);
}

TEST_F(Playback, PagesWithoutRecordsAreCopiedByteForByte) {
  ASSERT_EQ(BeginDocumentRecording(pdev_.get(), 0, 1), 0);
  ASSERT_EQ(BeginRecordedPage(kKindsCopies, pdev_.get(), 0, 1), 0);
  std::string raw(5000, '\0');
  for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<char>(i * 7);
  doc_->sink->Write(raw.data(), raw.size());
  ASSERT_EQ(EndRecordedPage(pdev_.get(), 0), 0);
  EXPECT_EQ(sent(), "");
  ASSERT_EQ(PlayBackPageRecords(pdev_.get(), 0, kHonourBegin, 0xFFFF, PlaybackCell{}, 1), 0);
  EXPECT_EQ(sent(), raw);
}

TEST_F(Playback, UnknownOrMalformedRecordsFailThePlayback) {
  struct Case {
    WORD kind, length;
  } cases[] = {{7, 0}, {kRecFB, 2}, {kRecPageEnd, 1}, {kRecClipReset, 4}, {kRecTransform, 10}};
  for (const Case& c : cases) {
    EndDocumentRecording(pdev_.get());
    ASSERT_EQ(BeginDocumentRecording(pdev_.get(), 0, 1), 0);
    ASSERT_EQ(BeginRecordedPage(kKindsCopies, pdev_.get(), 0, 1), 0);
    std::vector<BYTE> data(c.length, 0);
    ASSERT_EQ(WritePageRecord(pdev_->stream, c.kind, c.length, data.data()), 0);
    ASSERT_EQ(EndRecordedPage(pdev_.get(), 0), 0);
    EXPECT_EQ(PlayBackPageRecords(pdev_.get(), 0, 0x1F, 0xFFFF, PlaybackCell{}, 1), -1) << c.kind;
    // The failed reader does not block the next playback.
    EXPECT_EQ(BeginPagePlayback(pdev_->stream, 0), 0) << c.kind;
    pdev_->stream->cursor.mode = 0;
  }
}

TEST_F(Playback, RecordingStepsAreRefusedOutOfTurn) {
  EXPECT_EQ(BeginRecordedPage(kKindsCopies, pdev_.get(), 0, 1), -1);  // no recording
  ASSERT_EQ(BeginDocumentRecording(pdev_.get(), 0, 2), 0);
  EXPECT_EQ(BeginDocumentRecording(pdev_.get(), 0, 2), -1);
  EXPECT_EQ(BeginRecordedPage(0x40, pdev_.get(), 0, 1), -1);
  EXPECT_EQ(BeginRecordedPage(0, pdev_.get(), 0, 1), -1);
  EXPECT_EQ(EndRecordedPage(pdev_.get(), 0), -1);
  ASSERT_EQ(BeginRecordedPage(kKindsCopies, pdev_.get(), 0, 1), 0);
  EXPECT_EQ(EndDocumentRecording(pdev_.get()), -1);  // a page is still open
  ASSERT_EQ(EndRecordedPage(pdev_.get(), 0), 0);
  EXPECT_EQ(EndDocumentRecording(pdev_.get()), 0);
  EXPECT_EQ(doc_->rec.word, 0u);
}

}  // namespace

namespace {

TEST_F(Playback, PlacedTransformsOfABookletPageGoThroughTheirOwnCells) {
  // The page's left offset, which the placed transforms are moved by.
  doc_->page.page.left_offset = 254;  // an inch: 600 dots
  ASSERT_EQ(BeginDocumentRecording(pdev_.get(), 0, 4), 0);
  ASSERT_EQ(BeginRecordedPage(kKindsBooklet, pdev_.get(), 0, 1), 0);
  // The three kinds of transform: the page's own, the stamp's (0x80) and
  // the header's (0x80 and 0x100).
  for (DWORD flags : {0x000u, 0x080u, 0x180u}) {
    doc_->rec.word |= flags;
    op("Aa");
    doc_->rec.word &= ~flags;
  }
  ASSERT_EQ(EndRecordedPage(pdev_.get(), 0), 0);
  PlaybackCell cell;
  cell.present = true;
  cell.m = Affine{1, 0, 0, 1, 100, 200};
  cell.placed = true;
  cell.stamp = Affine{0.5, 0, 0, 0.5, 30, 40};
  cell.header = Affine{0, 1, -1, 0, 500, 0};
  cell.turn_height = 7000;
  const Affine recorded{2, 0, 0, 2, 5, 7};
  auto expected_placed = [&](const Affine& c) { return BookletCellMatrix(600, 600, Then(recorded, c), 7000, 600, 600); };
  ASSERT_EQ(PlayBackPageRecords(pdev_.get(), 0, kHonourTransform, 0xFFFF, cell, 1), 0);
  // The operators in order: the page's own transform through the page's
  // cell, then the stamp's and the header's through theirs.
  std::string bytes = sent();
  auto r = morva::tools::DecodeOperators(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  ASSERT_TRUE(r.ok) << r.error;
  std::vector<Affine> seen;
  for (const PdlItem& i : r.items)
    if (i.kind == PdlItem::Operator && i.text == "Aa" && i.operands.size() == 6)
      seen.push_back(Affine{i.operands[0].f, i.operands[1].f, i.operands[2].f, i.operands[3].f, i.operands[4].f,
                            i.operands[5].f});
  ASSERT_EQ(seen.size(), 3u);
  const Affine wants[3] = {Then(recorded, cell.m), expected_placed(cell.stamp), expected_placed(cell.header)};
  for (int k = 0; k < 3; ++k) {
    const Affine& g = seen[k];
    const Affine& w = wants[k];
    for (auto [got, exp] : {std::pair{g.a, w.a}, {g.b, w.b}, {g.c, w.c}, {g.d, w.d}, {g.e, w.e}, {g.f, w.f}})
      EXPECT_NEAR(got, exp, 1e-3) << "transform " << k;
  }
}

}  // namespace
