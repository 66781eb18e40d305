// Page-recording storage on a real spool stream: pages recorded into a real
// temp file through the stream, typed records chained by their distances,
// and pages read back raw byte by raw byte and record by record.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "output/page_recording.h"
#include "settings/common/module_state.h"
#include "temp_root.h"
#include "test_printer.h"
#include "win/win.h"

namespace {

struct Entry {
  DWORD value;
  BYTE tail[12];
};

class Recording : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTempFileKeyBase(kDefaultTempFileKeyBase);
    printer_ = morva::test::add_test_printer(u"Rec Printer", u"Rec Driver", u"T.DDD", u"FILE:");
    ASSERT_NE(printer_, nullptr);
    DOC_INFO_1W doc{const_cast<LPWSTR>(u"Rec Job"), nullptr, const_cast<LPWSTR>(u"RAW")};
    ASSERT_NE(StartDocPrinterW(printer_, 1, reinterpret_cast<LPBYTE>(&doc)), 0u);
    stream_ = CreateSpoolStream(GetResourceModule());
    ASSERT_NE(stream_, nullptr);
    ASSERT_EQ(OpenSpoolStream(stream_, printer_), 0);
  }
  void TearDown() override {
    DestroySpoolStream(stream_);
    EndDocPrinter(printer_);
    ClosePrinter(printer_);
    ReleaseResourceModule();
  }
  std::string job() {
    for (const auto& j : morva::platform::spool_jobs(u"Rec Printer"))
      if (j.document == u"Rec Job") return morva::test::read_file(j.spool_file);
    return "(no job)";
  }
  void raw(const std::string& s) {
    ASSERT_EQ(WriteSpoolStream(stream_, static_cast<DWORD>(s.size()), s.data()), static_cast<INT>(s.size()));
  }
  // One recorded page read back: raw runs as text, records as "<kind:data>".
  std::string play(WORD page) {
    if (BeginPagePlayback(stream_, page) != 0) return "(no playback)";
    std::string out;
    for (;;) {
      char buf[7];
      INT n;
      while ((n = ReadRecordedRaw(stream_, sizeof buf, buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
      if (n < 0) return out + "(raw failed)";
      PageRecordHead head{};
      INT h = ReadRecordHead(stream_, &head);
      if (h == kRecordPageEnd) return out;
      if (h != 0) return out + "(head failed)";
      std::string data(head.length, '\0');
      if (ReadRecordData(stream_, head.length, data.data()) != head.length) return out + "(data failed)";
      out += "<" + std::to_string(head.kind) + ":" + data + ">";
    }
  }

  morva::test::TempRoot root_;
  HANDLE printer_ = nullptr;
  SpoolStream* stream_ = nullptr;
};

TEST_F(Recording, PagesInterleaveRawBytesAndChainedRecords) {
  raw("job-start;");
  ASSERT_EQ(BeginDocumentRecordingTables(stream_, 1, sizeof(Entry), 4), 0);
  EXPECT_EQ(IsRecordingOpen(stream_), 1);
  // "job-start;" was buffered for the printer and goes there first.
  ASSERT_EQ(BeginPageRecording(stream_, 1), 0);
  EXPECT_EQ(job(), "job-start;");
  EXPECT_EQ(stream_->state, kStreamPageRecord);
  raw("abc");
  ASSERT_EQ(WritePageRecord(stream_, 0, 4, "HEAD"), 0);
  raw(std::string(3000, 'x'));  // longer than the buffer: written at once
  ASSERT_EQ(WritePageRecord(stream_, 3, 0, nullptr), 0);
  ASSERT_EQ(WritePageRecord(stream_, 2, 2, "ED"), 0);
  raw("tail");
  ASSERT_EQ(EndPageRecording(stream_), 0);
  EXPECT_EQ(stream_->state, kStreamPrinter);
  // A page without records.
  ASSERT_EQ(BeginPageRecording(stream_, 2), 0);
  raw("plain page");
  ASSERT_EQ(EndPageRecording(stream_), 0);
  EXPECT_EQ(stream_->recorded_pages, 2);
  EXPECT_EQ(job(), "job-start;");  // nothing recorded reached the printer

  // Three heads: each distance leads to the next, the last is 0.
  const PageSpan* spans = reinterpret_cast<const PageSpan*>(stream_->page_spans.entries);
  LONG first = spans[0].first_head;
  ASSERT_EQ(first, spans[0].start + 3);
  std::vector<PageRecordHead> heads;
  LONG at = first;
  for (int i = 0; i < 3; ++i) {
    PageRecordHead h{};
    ASSERT_EQ(SeekTempSpoolFile(&stream_->page_file, static_cast<DWORD>(at)), at);
    ASSERT_EQ(ReadTempSpoolFile(&stream_->page_file, &h, sizeof h), 8);
    heads.push_back(h);
    at += static_cast<LONG>(h.distance);
  }
  EXPECT_EQ(heads[0].distance, 8u + 4 + 3000);
  EXPECT_EQ(heads[1].distance, 8u);
  EXPECT_EQ(heads[2].distance, 0u);
  EXPECT_EQ(spans[1].first_head, -1);

  EXPECT_EQ(play(1), "abc<0:HEAD>" + std::string(3000, 'x') + "<3:><2:ED>tail");
  EXPECT_EQ(play(2), "plain page");
  EXPECT_EQ(play(1), "abc<0:HEAD>" + std::string(3000, 'x') + "<3:><2:ED>tail");  // again
  EXPECT_EQ(BeginPagePlayback(stream_, 3), -1);
  EXPECT_EQ(BeginPagePlayback(stream_, 0), -1);

  std::u16string path = stream_->page_file.path;
  std::string file = morva::platform::native_path(path.c_str());
  ASSERT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(EndDocumentRecordingTables(stream_), 0);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_EQ(IsRecordingOpen(stream_), 0);
  EXPECT_EQ(stream_->page_records.entries, nullptr);
}

TEST_F(Recording, PagesAreRecordedInOrderAndTablesGrow) {
  ASSERT_EQ(BeginDocumentRecordingTables(stream_, 5, sizeof(Entry), 2), 0);
  EXPECT_EQ(BeginPageRecording(stream_, 6), -1);  // page 5 first
  EXPECT_EQ(stream_->state, kStreamPrinter);
  for (WORD page = 5; page < 12; ++page) {
    ASSERT_EQ(BeginPageRecording(stream_, page), 0) << page;
    EXPECT_EQ(BeginPageRecording(stream_, page + 1), -1);  // one page at a time
    raw("p" + std::to_string(page));
    ASSERT_EQ(EndPageRecording(stream_), 0);
    Entry e{page * 10u, {}};
    ASSERT_EQ(PutPageRecord(stream_, page, sizeof e, &e), 0);
  }
  // Two, then four, six, eight entries: every earlier entry kept.
  EXPECT_EQ(stream_->page_records.capacity, 8);
  EXPECT_EQ(stream_->page_spans.capacity, 8);
  for (WORD page = 5; page < 12; ++page) {
    Entry e{};
    ASSERT_EQ(GetPageRecord(stream_, page, sizeof e, &e), 0);
    EXPECT_EQ(e.value, page * 10u);
    EXPECT_EQ(play(page), "p" + std::to_string(page));
  }
  Entry e{};
  EXPECT_EQ(GetPageRecord(stream_, 4, sizeof e, &e), -1);
  EXPECT_EQ(GetPageRecord(stream_, 13, sizeof e, &e), -1);
  EXPECT_EQ(GetPageRecord(stream_, 5, 4, &e), -1);  // another entry size
}

TEST_F(Recording, AReaderThatStopsEarlyBlocksTheNextPlayback) {
  ASSERT_EQ(BeginDocumentRecordingTables(stream_, 0, sizeof(Entry), 4), 0);
  ASSERT_EQ(BeginPageRecording(stream_, 0), 0);
  raw("abc");
  ASSERT_EQ(WritePageRecord(stream_, 1, 0, nullptr), 0);
  ASSERT_EQ(EndPageRecording(stream_), 0);
  ASSERT_EQ(BeginPagePlayback(stream_, 0), 0);
  char buf[8];
  EXPECT_EQ(ReadRecordedRaw(stream_, sizeof buf, buf), 3);
  EXPECT_EQ(ReadRecordedRaw(stream_, sizeof buf, buf), 0);  // a head is next
  EXPECT_EQ(BeginPagePlayback(stream_, 0), -1);
  EXPECT_EQ(BeginPageRecording(stream_, 1), -1);
  PageRecordHead h{};
  ASSERT_EQ(ReadRecordHead(stream_, &h), 0);
  EXPECT_EQ(ReadRecordHead(stream_, &h), kRecordPageEnd);
  EXPECT_EQ(BeginPagePlayback(stream_, 0), 0);
}

TEST_F(Recording, RecordsNeedAPageBeingWritten) {
  EXPECT_EQ(WritePageRecord(stream_, 0, 0, nullptr), -1);
  ASSERT_EQ(BeginDocumentRecordingTables(stream_, 0, sizeof(Entry), 1), 0);
  EXPECT_EQ(WritePageRecord(stream_, 0, 0, nullptr), -1);
  EXPECT_EQ(EndPageRecording(stream_), -1);
  ASSERT_EQ(BeginPageRecording(stream_, 0), 0);
  EXPECT_EQ(WritePageRecord(stream_, 0, 4, nullptr), -1);
  ASSERT_EQ(EndPageRecording(stream_), 0);
}

}  // namespace
