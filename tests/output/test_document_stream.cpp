// The document's spool stream reached through its PDEV: the engine's job,
// a raw job of its own, a store file, and writes refused before the job
// output begins.
#include <gtest/gtest.h>

#include <string>

#include "output/document_control.h"
#include "output/document_stream.h"
#include "output/spool_stream.h"
#include "settings/common/module_state.h"
#include "temp_root.h"
#include "test_printer.h"
#include "win/win.h"

namespace {

using namespace morva::gfx;

class DocumentStream : public ::testing::Test {
 protected:
  void SetUp() override {
    printer_ = morva::test::add_test_printer(u"Doc Printer", u"Doc Driver", u"T.DDD", u"FILE:");
    ASSERT_NE(printer_, nullptr) << GetLastError();
    DOC_INFO_1W info{const_cast<LPWSTR>(u"Engine Job"), nullptr, const_cast<LPWSTR>(u"RAW")};
    ASSERT_NE(StartDocPrinterW(printer_, 1, reinterpret_cast<LPBYTE>(&info)), 0u);
    pdev_ = new PDEV{};
    pdev_->printer = printer_;
    pdev_->document = &doc_;
    doc_.owner = pdev_;
    doc_.printer = printer_;
    std::u16string name = u"Report";
    name.copy(reinterpret_cast<char16_t*>(doc_.document_name), name.size());
    ASSERT_EQ(CreateDocumentStream(pdev_), 0);
  }
  void TearDown() override {
    morva::platform::clear_spool_faults();
    EXPECT_EQ(DestroyDocumentStream(pdev_), 0);
    EXPECT_EQ(pdev_->stream, nullptr);
    delete pdev_;
    EndDocPrinter(printer_);
    ClosePrinter(printer_);
    ReleaseResourceModule();
  }
  std::string job(const std::u16string& document) {
    for (const auto& j : morva::platform::spool_jobs(u"Doc Printer"))
      if (j.document == document) return morva::test::read_file(j.spool_file);
    return "(no job)";
  }
  INT write(const std::string& s) { return WriteDocumentBytes(pdev_, static_cast<DWORD>(s.size()), s.data()); }

  morva::test::TempRoot root_;
  HANDLE printer_ = nullptr;
  DocumentControl doc_{};
  PDEV* pdev_ = nullptr;
};

TEST_F(DocumentStream, BytesGoToTheEnginesJobOnlyOnceTheOutputHasBegun) {
  doc_.page_record_word = 7;
  ASSERT_EQ(OpenDocumentStream(pdev_), 0);
  EXPECT_EQ(doc_.page_record_word, 0u);
  doc_.state = kDocOpen;
  EXPECT_EQ(write("early"), -1);
  doc_.state |= kDocOutputBegun;
  EXPECT_EQ(write("job bytes"), 9);
  EXPECT_EQ(CloseDocumentJob(pdev_, TRUE), 0);
  EXPECT_EQ(job(u"Engine Job"), "job bytes");
  // Closing a closed stream has nothing to do.
  EXPECT_EQ(CloseDocumentStream(pdev_, TRUE), 0);
}

TEST_F(DocumentStream, AFailedLastFlushFailsTheClose) {
  ASSERT_EQ(OpenDocumentStream(pdev_), 0);
  doc_.state = kDocOpen | kDocOutputBegun;
  morva::platform::inject_spool_fault(morva::platform::SpoolFault::disk_full, 4);
  EXPECT_EQ(write("more than four bytes"), 20);  // still buffered
  EXPECT_EQ(CloseDocumentStream(pdev_, TRUE), -1);
  EXPECT_EQ(IsSpoolStreamOpen(pdev_->stream), 0);
}

TEST_F(DocumentStream, AChannelIsARawJobOfItsOwnNamedLikeTheDocument) {
  ASSERT_EQ(OpenDocumentChannel(pdev_), 0);
  EXPECT_NE(pdev_->stream->output, printer_);
  doc_.state = kDocOpen | kDocOutputBegun;
  EXPECT_EQ(write("channel"), 7);
  EXPECT_EQ(CloseDocumentJob(pdev_, TRUE), 0);
  EXPECT_EQ(job(u"Report"), "channel");
  EXPECT_EQ(job(u"Engine Job"), "");
}

TEST_F(DocumentStream, AStoreFileTakesTheBytesUntilItIsClosed) {
  ASSERT_EQ(OpenDocumentStream(pdev_), 0);
  doc_.state = kDocOpen | kDocOutputBegun;
  DWORD size = 99;
  ASSERT_EQ(OpenDocumentStoreFile(pdev_, u"C:\\store.bin", &size, 0x1), 0);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(write("stored"), 6);
  ASSERT_EQ(CloseDocumentStoreFile(pdev_, &size), 0);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(write("printed"), 7);
  EXPECT_EQ(CloseDocumentStream(pdev_, TRUE), 0);
  EXPECT_EQ(job(u"Engine Job"), "printed");
  EXPECT_EQ(morva::test::read_file(root_.file("drive_c/store.bin")), "stored");
}

TEST_F(DocumentStream, EveryWrapperRefusesANullPdev) {
  EXPECT_EQ(CreateDocumentStream(nullptr), -1);
  EXPECT_EQ(DestroyDocumentStream(nullptr), -1);
  EXPECT_EQ(OpenDocumentStream(nullptr), -1);
  EXPECT_EQ(CloseDocumentStream(nullptr, TRUE), -1);
  EXPECT_EQ(WriteDocumentBytes(nullptr, 1, "x"), -1);
  EXPECT_EQ(OpenDocumentStoreFile(nullptr, u"C:\\x", nullptr, 0), -1);
  EXPECT_EQ(CloseDocumentStoreFile(nullptr, nullptr), -1);
  EXPECT_EQ(OpenDocumentChannel(nullptr), -1);
  EXPECT_EQ(CloseDocumentJob(nullptr, TRUE), -1);
}

}  // namespace
