// The document's spool stream against the platform's spooler, real files,
// a real full device and the platform's injected faults.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/spool_stream.h"
#include "settings/common/module_state.h"
#include "temp_root.h"
#include "win/win.h"
#include "test_printer.h"

namespace {

std::string bytes_of(size_t n, char seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i % 23);
  return s;
}

class Stream : public ::testing::Test {
 protected:
  void SetUp() override {
    morva::platform::reset_message_boxes();
    printer_ = morva::test::add_test_printer(u"Stream Printer", u"Stream Driver", u"T.DDD", u"FILE:");
    ASSERT_NE(printer_, nullptr) << GetLastError();
    // The engine's own job, as GDI starts it.
    DOC_INFO_1W doc{const_cast<LPWSTR>(u"Engine Job"), nullptr, const_cast<LPWSTR>(u"RAW")};
    ASSERT_NE(StartDocPrinterW(printer_, 1, reinterpret_cast<LPBYTE>(&doc)), 0u);
    stream_ = CreateSpoolStream(GetResourceModule());
    ASSERT_NE(stream_, nullptr);
  }
  void TearDown() override {
    morva::platform::clear_spool_faults();
    morva::platform::inject_file_write_failure(0, 0, 0);
    DestroySpoolStream(stream_);
    if (printer_) {
      EndDocPrinter(printer_);
      ClosePrinter(printer_);
    }
    morva::platform::reset_message_boxes();
    ReleaseResourceModule();
  }
  // What the spooler holds of the job named `document`.
  std::string job(const std::u16string& document = u"Engine Job") {
    for (const auto& j : morva::platform::spool_jobs(u"Stream Printer"))
      if (j.document == document) return morva::test::read_file(j.spool_file);
    return "(no job)";
  }
  INT write(const std::string& s) { return WriteSpoolStream(stream_, static_cast<DWORD>(s.size()), s.data()); }
  std::u16string path(const char* relative) {
    std::u16string w = u"C:\\";
    for (const char* c = relative; *c; ++c) w += *c == '/' ? u'\\' : static_cast<char16_t>(*c);
    return w;
  }

  morva::test::TempRoot root_;
  HANDLE printer_ = nullptr;
  SpoolStream* stream_ = nullptr;
};

}  // namespace

TEST_F(Stream, SmallWritesAreBufferedAndALargeOneGoesOutAtOnce) {
  ASSERT_EQ(OpenSpoolStream(stream_, printer_), 0);
  EXPECT_EQ(IsSpoolStreamOpen(stream_), 1);
  std::string sent;
  for (int i = 0; i < 2048; ++i) {
    char c = static_cast<char>('a' + i % 26);
    ASSERT_EQ(WriteSpoolStream(stream_, 1, &c), 1);
    sent += c;
  }
  EXPECT_EQ(job(), "");  // all 2048 still buffered
  ASSERT_EQ(write("!"), 1);
  sent += "!";
  EXPECT_EQ(job(), sent);  // the 2048, then the one that did not fit

  ASSERT_EQ(write(bytes_of(100, 'A')), 100);
  EXPECT_EQ(job(), sent);
  std::string large = bytes_of(5000, 'a');
  ASSERT_EQ(write(large), 5000);
  sent += bytes_of(100, 'A') + large;
  EXPECT_EQ(job(), sent);
  EXPECT_EQ(FlushSpoolStream(stream_), 0);  // nothing buffered
  ASSERT_EQ(write("tail"), 4);
  ASSERT_EQ(CloseSpoolStream(stream_, TRUE), 0);
  EXPECT_EQ(job(), sent + "tail");
  EXPECT_EQ(IsSpoolStreamOpen(stream_), 0);
  EXPECT_EQ(CloseSpoolStream(stream_, TRUE), -1);  // no output any more
}

TEST_F(Stream, ClosedStreamsAndNullArgumentsFail) {
  EXPECT_EQ(write("x"), -1);
  EXPECT_EQ(stream_->buffered, 0u);
  EXPECT_EQ(FlushSpoolStream(stream_), -1);
  EXPECT_EQ(OpenSpoolStream(stream_, nullptr), -1);
  EXPECT_EQ(stream_->state, kStreamClosed);
  EXPECT_EQ(WriteSpoolStream(nullptr, 1, "x"), -1);
  EXPECT_EQ(IsSpoolStreamOpen(nullptr), -1);
  ASSERT_EQ(OpenSpoolStream(stream_, printer_), 0);
  EXPECT_EQ(WriteSpoolStream(stream_, 3, nullptr), -1);
  EXPECT_EQ(WriteSpoolStream(stream_, 0, nullptr), 0);
}

// A spooler that fails makes the write or the flush fail; nothing is
// reported as sent that was not.
TEST_F(Stream, SpoolerFailuresAreReported) {
  ASSERT_EQ(OpenSpoolStream(stream_, printer_), 0);
  morva::platform::inject_spool_fault(morva::platform::SpoolFault::disk_full, 10);
  ASSERT_EQ(write(bytes_of(500, 'a')), 500);  // buffered
  EXPECT_EQ(FlushSpoolStream(stream_), -1);
  EXPECT_EQ(stream_->buffered, 0u);
  EXPECT_EQ(write(bytes_of(3000, 'a')), -1);
  morva::platform::clear_spool_faults();
  morva::platform::inject_spool_fault(morva::platform::SpoolFault::short_write, 20);
  ASSERT_EQ(write(bytes_of(100, 'a')), 100);
  EXPECT_EQ(CloseSpoolStream(stream_, FALSE), -1);  // its flush was cut short
}

TEST_F(Stream, AttachedStoreFileGetsEveryByteSentSinceAttaching) {
  std::u16string store = path("copy.prn");
  ASSERT_EQ(OpenSpoolStream(stream_, printer_), 0);
  ASSERT_EQ(write("before"), 6);
  ASSERT_EQ(AttachStoreFile(stream_, store.c_str()), 0);
  EXPECT_EQ(stream_->state, kStreamPrinterAndFile);
  std::string after = "after" + bytes_of(4000, 'k') + "end";
  ASSERT_EQ(write("after"), 5);
  ASSERT_EQ(write(bytes_of(4000, 'k')), 4000);
  ASSERT_EQ(write("end"), 3);
  ASSERT_EQ(CloseSpoolStream(stream_, TRUE), 0);
  EXPECT_EQ(stream_->store_file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(morva::test::read_file(root_.file("drive_c/copy.prn")), after);
  EXPECT_EQ(job(), "before" + after);
}

TEST_F(Stream, AttachOnlyWhileSendingToThePrinter) {
  std::u16string store = path("store.prn");
  std::u16string other = path("other.prn");
  ASSERT_EQ(OpenSpoolStream(stream_, printer_), 0);
  DWORD size = 0;
  ASSERT_EQ(OpenStoreFile(stream_, store.c_str(), &size, kFileCreateAlways), 0);
  EXPECT_EQ(AttachStoreFile(stream_, other.c_str()), -1);
  EXPECT_EQ(stream_->state, kStreamFile);
  ASSERT_EQ(CloseStoreFile(stream_, &size), 0);
  ASSERT_EQ(SetSpoolStreamState(stream_, kStreamPageRecord), 0);
  EXPECT_EQ(AttachStoreFile(stream_, other.c_str()), -1);
  EXPECT_EQ(stream_->state, kStreamPageRecord);
  EXPECT_EQ(GetFileAttributesW(other.c_str()), INVALID_FILE_ATTRIBUTES);
}

// The store file is appended to and its old size reported; bytes buffered
// for the printer reach the printer, not the file.
TEST_F(Stream, StoreFileAppendsAndReportsSizes) {
  morva::test::write_file(root_.file("drive_c/store.prn"), "old!");
  std::u16string store = path("store.prn");
  ASSERT_EQ(OpenSpoolStream(stream_, printer_), 0);
  ASSERT_EQ(write("to printer"), 10);
  DWORD size = 0;
  ASSERT_EQ(OpenStoreFile(stream_, store.c_str(), &size, 0), 0);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(job(), "to printer");
  ASSERT_EQ(write("new"), 3);
  ASSERT_EQ(CloseStoreFile(stream_, &size), 0);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(stream_->state, kStreamPrinter);
  EXPECT_EQ(morva::test::read_file(root_.file("drive_c/store.prn")), "old!new");
  EXPECT_EQ(OpenStoreFile(stream_, u"C:\\no\\such\\folder\\x.prn", &size, 0), -1);
  EXPECT_EQ(stream_->state, kStreamPrinter);
  ASSERT_EQ(OpenStoreFileAs(stream_, store.c_str(), &size, kFileCreateAlways, kStreamSideFile), 0);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(stream_->state, kStreamSideFile);
  ASSERT_EQ(write("side"), 4);
  ASSERT_EQ(CloseStoreFileAs(stream_, &size, kStreamPrinter), 0);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(job(), "to printer");
}

// A full disk under the store file: the box asks; OK writes the rest again,
// Cancel fails the write. The box's texts come from the stream's module.
TEST_F(Stream, StoreFileWriteFailuresAskTheUser) {
  std::u16string store = path("store.prn");
  stream_->store_text_id = 5;
  ASSERT_EQ(OpenSpoolStream(stream_, printer_), 0);
  DWORD size = 0;
  ASSERT_EQ(OpenStoreFile(stream_, store.c_str(), &size, kFileCreateAlways), 0);
  morva::platform::script_message_box_answers({IDOK, IDOK});
  morva::platform::inject_file_write_failure(ERROR_DISK_FULL, 0, 2);
  std::string big = bytes_of(3000, 'q');
  ASSERT_EQ(write(big), 3000);
  auto boxes = morva::platform::message_box_log();
  ASSERT_EQ(boxes.size(), 2u);
  WCHAR caption[32] = {}, text[512] = {};
  ASSERT_GT(LoadStringW(GetResourceModule(), 6, caption, 32), 0);
  ASSERT_GT(LoadStringW(GetResourceModule(), 5, text, 512), 0);
  EXPECT_EQ(boxes[0].caption, caption);
  EXPECT_EQ(boxes[0].text, text);
  EXPECT_EQ(boxes[0].style, MB_OKCANCEL | MB_ICONINFORMATION | MB_SETFOREGROUND);
  ASSERT_EQ(CloseStoreFile(stream_, &size), 0);
  EXPECT_EQ(morva::test::read_file(root_.file("drive_c/store.prn")), big);

  // A real full device: Cancel gives up, the flush reports it.
  ASSERT_EQ(OpenStoreFile(stream_, u"Z:\\dev\\full", &size, 0), 0);
  morva::platform::script_message_box_answers({IDOK, IDCANCEL});
  ASSERT_EQ(write("lost"), 4);
  EXPECT_EQ(FlushSpoolStream(stream_), -1);
  EXPECT_EQ(morva::platform::message_box_log().size(), 4u);
  EXPECT_EQ(CloseStoreFile(stream_, &size), 0);  // the failed bytes were reported once
}

// Switching to page recording sends what the printer was owed first; page
// bytes then go to the end of the recording file.
TEST_F(Stream, StateSwitchFlushesToTheOldDestination) {
  ASSERT_EQ(OpenSpoolStream(stream_, printer_), 0);
  ASSERT_EQ(CreateTempSpoolFile(&stream_->page_file), 0);
  ASSERT_EQ(write("header"), 6);
  ASSERT_EQ(SetSpoolStreamState(stream_, kStreamPageRecord), 0);
  EXPECT_EQ(job(), "header");
  std::string page = bytes_of(2500, 'p');
  ASSERT_EQ(write("pg"), 2);
  ASSERT_EQ(write(page), 2500);
  ASSERT_EQ(SetSpoolStreamState(stream_, kStreamPrinter), 0);
  EXPECT_EQ(job(), "header");
  ASSERT_EQ(GetTempSpoolFileSize(&stream_->page_file), 2502);
  ASSERT_EQ(SeekTempSpoolFile(&stream_->page_file, 0), 0);
  std::string recorded(2502, '\0');
  ASSERT_EQ(ReadTempSpoolFile(&stream_->page_file, recorded.data(), 2502), 2502);
  EXPECT_EQ(recorded, "pg" + page);
  EXPECT_EQ(DeleteTempSpoolFile(&stream_->page_file), 0);
  stream_->state = 9;
  EXPECT_EQ(SetSpoolStreamState(stream_, kStreamPrinter), -1);
  stream_->state = kStreamPrinter;
}

TEST_F(Stream, SeparateRawJobPerChannel) {
  ASSERT_EQ(OpenSpoolStreamOnPrinter(stream_, printer_, u"Destination 2"), 0);
  std::string body = bytes_of(3000, 'd');
  ASSERT_EQ(write("start"), 5);
  ASSERT_EQ(write(body), 3000);
  ASSERT_EQ(write("end"), 3);
  ASSERT_EQ(CloseSpoolStreamOnPrinter(stream_, TRUE), 0);
  EXPECT_EQ(job(u"Destination 2"), "start" + body + "end");
  EXPECT_EQ(job(), "");
  EXPECT_EQ(stream_->state, kStreamClosed);
  EXPECT_EQ(OpenSpoolStreamOnPrinter(stream_, nullptr, u"x"), -1);
  EXPECT_EQ(stream_->state, kStreamClosed);
}
