// The printer identity: its text form, the digest, and the stored value
// that is made once and kept across processes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "child_process.h"
#include "settings/stores/printer_identity.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

using morva::platform::StoreFault;

std::u16string hex(const BYTE* id, DWORD capacity = kPrinterIdTextChars) {
  WCHAR text[kPrinterIdTextChars + 4];
  std::memset(text, 0xEE, sizeof text);
  if (!FormatPrinterIdHex(id, text, capacity)) return u"<failed>";
  return std::u16string(text);
}

TEST(PrinterIdText, DigitsInStoredOrderHighNibbleFirst) {
  BYTE counting[16];
  for (int i = 0; i < 16; ++i) counting[i] = static_cast<BYTE>(i);
  EXPECT_EQ(hex(counting), u"000102030405060708090A0B0C0D0E0F");
  BYTE high[16];
  std::memset(high, 0xAB, sizeof high);
  high[15] = 0xF0;
  EXPECT_EQ(hex(high), u"ABABABABABABABABABABABABABABABF0");
  // Cut to the capacity, terminator included.
  EXPECT_EQ(hex(counting, 4), u"000");
  EXPECT_EQ(hex(counting, 1), u"");
  WCHAR text[4];
  EXPECT_EQ(FormatPrinterIdHex(counting, text, 0), 0);
  EXPECT_EQ(FormatPrinterIdHex(counting, nullptr, 33), 0);
  EXPECT_EQ(FormatPrinterIdHex(nullptr, text, 4), 0);
}

TEST(PrinterIdDigest, Md5KnownValues) {
  struct Case {
    std::string input;
    std::u16string digest;
  };
  const Case cases[] = {
      {"", u"D41D8CD98F00B204E9800998ECF8427E"},
      {"abc", u"900150983CD24FB0D6963F7D28E17F72"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       u"57EDF4A22BE3C955AC49DA2E2107B67A"},
  };
  for (const Case& c : cases) {
    Md5Context md5;
    ASSERT_TRUE(Md5Init(&md5));
    // Fed in two pieces: the digest does not depend on how the bytes arrive.
    const DWORD half = static_cast<DWORD>(c.input.size() / 2);
    ASSERT_TRUE(Md5Update(&md5, c.input.data(), half));
    ASSERT_TRUE(Md5Update(&md5, c.input.data() + half, static_cast<DWORD>(c.input.size()) - half));
    BYTE digest[16];
    ASSERT_TRUE(Md5Final(&md5, digest));
    EXPECT_EQ(hex(digest), c.digest) << c.input;
  }
}

void add_driver() {
  DRIVER_INFO_3W d{};
  d.cVersion = 3;
  d.pName = const_cast<LPWSTR>(u"Identity Driver");
  d.pEnvironment = const_cast<LPWSTR>(u"Windows x64");
  d.pDriverPath = const_cast<LPWSTR>(u"morvagfx.dll");
  d.pDataFile = const_cast<LPWSTR>(u"MVDEMO.DDD");
  d.pConfigFile = const_cast<LPWSTR>(u"morvaui.dll");
  ASSERT_TRUE(AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&d))) << GetLastError();
}

HANDLE open_printer(ACCESS_MASK access) {
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
  HANDLE h = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(u"Identity Printer"), &h, &defaults)) return nullptr;
  return h;
}

class PrinterIdentity : public ::testing::Test {
 protected:
  void SetUp() override {
    add_driver();
    PRINTER_INFO_2W p{};
    p.pPrinterName = const_cast<LPWSTR>(u"Identity Printer");
    p.pPortName = const_cast<LPWSTR>(u"IP_127.0.0.1");
    p.pDriverName = const_cast<LPWSTR>(u"Identity Driver");
    printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&p));
    ASSERT_NE(printer, nullptr) << GetLastError();
  }
  void TearDown() override {
    morva::platform::clear_store_faults();
    morva::platform::clear_test_clock();
    if (printer) ClosePrinter(printer);
  }
  std::string stored() {
    BYTE data[64];
    DWORD type = 0, needed = 0;
    if (GetPrinterDataW(printer, const_cast<LPWSTR>(u"PRNID"), &type, data, sizeof data, &needed) != ERROR_SUCCESS)
      return "<none>";
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    return std::string(reinterpret_cast<char*>(data), needed);
  }
  void store_raw(const std::string& bytes) {
    ASSERT_EQ(SetPrinterDataW(printer, const_cast<LPWSTR>(u"PRNID"), REG_BINARY,
                              reinterpret_cast<LPBYTE>(const_cast<char*>(bytes.data())),
                              static_cast<DWORD>(bytes.size())),
              static_cast<DWORD>(ERROR_SUCCESS));
  }

  morva::test::TempRoot root;
  HANDLE printer = nullptr;
};

// The digest of the creation time (little-endian seconds since 1970) and the
// printer's UTF-16 name, as computed independently.
TEST_F(PrinterIdentity, CreatedFromTimeAndName) {
  morva::platform::set_test_clock(morva::platform::filetime_from_unix(1700000000, 0), 0);
  BYTE id[16];
  ASSERT_EQ(CreatePrinterId(printer, id), 1);
  EXPECT_EQ(hex(id), u"32AC500E4E19AF11969C071AA76FABC3");
  // Creating does not store.
  EXPECT_EQ(stored(), "<none>");
  EXPECT_EQ(ReadPrinterId(printer, id), 0);

  EXPECT_EQ(CreatePrinterId(printer, nullptr), 0);
  EXPECT_EQ(CreatePrinterId(reinterpret_cast<HANDLE>(0x7777), id), 0);
}

TEST_F(PrinterIdentity, StoredOnceAndNeverRewritten) {
  const std::string first = "0123456789abcdef";
  const std::string second = "FEDCBA9876543210";
  ASSERT_EQ(WritePrinterId(printer, reinterpret_cast<const BYTE*>(first.data())), 1);
  EXPECT_EQ(stored(), first);
  BYTE id[16];
  ASSERT_EQ(ReadPrinterId(printer, id), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(id), 16), first);

  // A second write answers success without writing: even a store that
  // fails every write does not see it.
  morva::platform::inject_store_fault(StoreFault::write_failure);
  EXPECT_EQ(WritePrinterId(printer, reinterpret_cast<const BYTE*>(second.data())), 1);
  morva::platform::clear_store_faults();
  EXPECT_EQ(WritePrinterId(printer, reinterpret_cast<const BYTE*>(second.data())), 1);
  EXPECT_EQ(stored(), first);
}

TEST_F(PrinterIdentity, FailedWritesAreReported) {
  const std::string id = "0123456789abcdef";
  const auto* bytes = reinterpret_cast<const BYTE*>(id.data());
  for (StoreFault fault : {StoreFault::write_failure, StoreFault::disk_full, StoreFault::access_denied}) {
    morva::platform::inject_store_fault(fault);
    EXPECT_EQ(WritePrinterId(printer, bytes), 0);
    morva::platform::clear_store_faults();
    EXPECT_EQ(stored(), "<none>");
  }
  // A handle without administrative access cannot store it either.
  HANDLE user = open_printer(PRINTER_ACCESS_USE);
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(WritePrinterId(user, bytes), 0);
  ClosePrinter(user);
  EXPECT_EQ(stored(), "<none>");
  EXPECT_EQ(WritePrinterId(nullptr, bytes), 0);
  EXPECT_EQ(WritePrinterId(printer, nullptr), 0);
}

// A "PRNID" of the wrong size is no identity: it is not read, and storing
// a real one replaces it (keeping it would leave the printer without an
// identity for good).
TEST_F(PrinterIdentity, MalformedValueIsReplaced) {
  const std::string id = "0123456789abcdef";
  for (const std::string& bad : {std::string("\x01\x02\x03\x04", 4), std::string(17, 'x')}) {
    store_raw(bad);
    BYTE read[16];
    EXPECT_EQ(ReadPrinterId(printer, read), 0);
    ASSERT_EQ(WritePrinterId(printer, reinterpret_cast<const BYTE*>(id.data())), 1);
    EXPECT_EQ(stored(), id);
    ASSERT_EQ(ReadPrinterId(printer, read), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(read), 16), id);
  }
}

// The first process makes and stores the identity; another process reads the
// same one, and its own attempt to create and store one changes nothing.
TEST_F(PrinterIdentity, KeptAcrossProcesses) {
  BYTE id[16];
  ASSERT_EQ(ReadPrinterId(printer, id), 0);
  ASSERT_EQ(CreatePrinterId(printer, id), 1);
  ASSERT_EQ(WritePrinterId(printer, id), 1);
  const std::u16string text = hex(id);
  std::string expected;
  for (char16_t c : text) expected.push_back(static_cast<char>(c));
  ClosePrinter(printer);
  printer = nullptr;
  ASSERT_EQ(morva::test::run_child_tests("PrinterIdentityChild.*", root.path(), "identity",
                                         {{"EXPECTED_PRNID", expected}}),
            0);
  printer = open_printer(PRINTER_ALL_ACCESS);
  ASSERT_NE(printer, nullptr);
  BYTE again[16];
  ASSERT_EQ(ReadPrinterId(printer, again), 1);
  EXPECT_EQ(hex(again), text);
}

TEST(PrinterIdentityChild, SeesTheStoredIdentity) {
  if (morva::test::child_role() != "identity") GTEST_SKIP() << "runs in the child process only";
  HANDLE h = open_printer(PRINTER_ALL_ACCESS);
  ASSERT_NE(h, nullptr);
  BYTE id[16];
  ASSERT_EQ(ReadPrinterId(h, id), 1);
  const std::string expected = std::getenv("EXPECTED_PRNID");
  EXPECT_EQ(hex(id), std::u16string(expected.begin(), expected.end()));
  morva::platform::set_test_clock(morva::platform::filetime_from_unix(1800000000, 0), 0);
  BYTE fresh[16];
  ASSERT_EQ(CreatePrinterId(h, fresh), 1);
  EXPECT_NE(hex(fresh), hex(id));
  EXPECT_EQ(WritePrinterId(h, fresh), 1);
  ASSERT_EQ(ReadPrinterId(h, id), 1);
  EXPECT_EQ(hex(id), std::u16string(expected.begin(), expected.end()));
  ClosePrinter(h);
}

}  // namespace
