// Files and the second raw spooler job, against the platform's spooler.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/channels.h"
#include "temp_root.h"
#include "win/win.h"
#include "test_printer.h"

namespace {

class Channels : public ::testing::Test {
 protected:
  void SetUp() override {
    printer_ = morva::test::add_test_printer(u"Out Printer", u"Out Driver", u"T.DDD", u"FILE:");
    ASSERT_NE(printer_, nullptr) << GetLastError();
  }
  void TearDown() override {
    morva::platform::clear_spool_faults();
    morva::platform::inject_file_write_failure(0, 0, 0);
    if (printer_) ClosePrinter(printer_);
  }
  std::vector<morva::platform::SpoolJob> jobs() { return morva::platform::spool_jobs(u"Out Printer"); }

  morva::test::TempRoot root_;
  HANDLE printer_ = nullptr;
};

std::vector<BYTE> pattern(size_t n) {
  std::vector<BYTE> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<BYTE>(i * 7 + i / 1000);
  return v;
}

}  // namespace

TEST_F(Channels, RawJobCarriesEveryByteOfALargeWrite) {
  std::u16string long_name(300, u'd');
  HANDLE channel = OpenPrinterChannel(printer_, long_name.c_str());
  ASSERT_NE(channel, nullptr);
  std::vector<BYTE> bytes = pattern(2500000);
  DWORD written = 1;
  EXPECT_TRUE(WritePrinterChunked(channel, bytes.data(), 0, &written));
  EXPECT_EQ(written, 0u);
  ASSERT_TRUE(WritePrinterChunked(channel, bytes.data(), static_cast<DWORD>(bytes.size()), &written));
  EXPECT_EQ(written, bytes.size());
  EXPECT_FALSE(WritePrinterChunked(channel, nullptr, 5, &written));
  EXPECT_FALSE(WritePrinterChunked(nullptr, bytes.data(), 5, &written));
  ASSERT_TRUE(ClosePrinterChannel(channel));
  auto list = jobs();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].document, long_name.substr(0, 255));
  EXPECT_EQ(morva::test::read_file(list[0].spool_file), std::string(bytes.begin(), bytes.end()));
}

// A full piece that the spooler refuses or cuts fails the whole call with
// nothing reported written; the last piece's answer is the call's answer.
TEST_F(Channels, FaultsOfTheSpoolerAreReported) {
  struct Case {
    morva::platform::SpoolFault fault;
    std::uint64_t limit;
    BOOL ok;
    DWORD written;
  } cases[] = {
      {morva::platform::SpoolFault::short_write, 1500000, FALSE, 0},
      {morva::platform::SpoolFault::disk_full, 1000000, FALSE, 0},
      {morva::platform::SpoolFault::disk_full, 2200000, FALSE, 2200000},  // the last piece, partly
  };
  std::vector<BYTE> bytes = pattern(2500000);
  for (const Case& c : cases) {
    HANDLE channel = OpenPrinterChannel(printer_, u"faulty");
    ASSERT_NE(channel, nullptr);
    morva::platform::inject_spool_fault(c.fault, c.limit);
    DWORD written = 77;
    EXPECT_EQ(WritePrinterChunked(channel, bytes.data(), static_cast<DWORD>(bytes.size()), &written), c.ok) << c.limit;
    EXPECT_EQ(written, c.written) << c.limit;
    morva::platform::clear_spool_faults();
    ClosePrinterChannel(channel);
  }
}

TEST_F(Channels, ClosingAChannelThatIsNoneFails) {
  EXPECT_FALSE(ClosePrinterChannel(nullptr));
  EXPECT_EQ(OpenPrinterChannel(nullptr, u"x"), nullptr);
}

TEST_F(Channels, FilePrimitives) {
  WCHAR name[kTempPathChars] = {};
  ASSERT_TRUE(MakeTempFileName(name, nullptr));
  EXPECT_NE(std::u16string(name).find(u"\\QZP"), std::u16string::npos);
  EXPECT_FALSE(MakeTempFileName(nullptr, nullptr));
  HANDLE f = FileOpen(name, kFileCreateAlways);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD moved = 9;
  EXPECT_TRUE(FileWrite(f, "hello world", 11, &moved));
  EXPECT_EQ(moved, 11u);
  EXPECT_FALSE(FileWrite(f, nullptr, 3, &moved));
  EXPECT_EQ(moved, 0u);
  EXPECT_TRUE(FileWrite(f, nullptr, 0, &moved));
  EXPECT_EQ(FileSeekEnd(f), 11);
  ASSERT_TRUE(FileSeek(f, 6));
  char out[8] = {};
  ASSERT_TRUE(FileRead(f, out, 5, &moved));
  EXPECT_EQ(std::string(out, moved), "world");
  // Opened without sharing: nobody else gets in while it is open.
  EXPECT_EQ(FileOpen(name, 0), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(FileClose(f));
  HANDLE ro = FileOpen(name, kFileReadOnly);
  ASSERT_NE(ro, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(FileWrite(ro, "x", 1, &moved));
  EXPECT_TRUE(FileClose(ro));
  EXPECT_TRUE(DeleteTempFile(name));
  EXPECT_FALSE(DeleteTempFile(name));
  EXPECT_EQ(FileOpen(nullptr, 0), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(FileClose(INVALID_HANDLE_VALUE));
  EXPECT_EQ(FileSeekEnd(INVALID_HANDLE_VALUE), -1);
}

// A real device that is always full: the failure reaches the caller.
TEST_F(Channels, WriteToAFullDeviceFails) {
  HANDLE full = FileOpen(u"Z:\\dev\\full", 0);
  ASSERT_NE(full, INVALID_HANDLE_VALUE);
  DWORD moved = 5;
  EXPECT_FALSE(FileWrite(full, "abc", 3, &moved));
  EXPECT_EQ(moved, 0u);
  FileClose(full);
}

// The fax-address file is never deleted and counts as deleted.
TEST_F(Channels, FaxAddressFileIsKept) {
  morva::test::write_file(root_.file("drive_c/qzfaxaddress.tmp"), "keep");
  EXPECT_TRUE(DeleteTempFile(u"C:\\QZFAXADDRESS.TMP"));
  EXPECT_EQ(morva::test::read_file(root_.file("drive_c/qzfaxaddress.tmp")), "keep");
}
