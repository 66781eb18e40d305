#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "child_process.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

using morva::platform::SpoolFault;
using morva::platform::StoreFault;

std::u16string s16(const WCHAR* s) { return s ? std::u16string(s) : std::u16string(); }

// Calls an info getter twice, the Windows way: a size query that must fail
// with ERROR_INSUFFICIENT_BUFFER, then the real call.
template <typename Call>
std::vector<BYTE> fetch(Call call) {
  DWORD needed = 0;
  EXPECT_FALSE(call(nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  std::vector<BYTE> buf(needed);
  DWORD again = 0;
  EXPECT_TRUE(call(buf.data(), needed, &again)) << GetLastError();
  EXPECT_EQ(again, needed);
  return buf;
}

void add_driver(const char16_t* name) {
  WCHAR deps[] = u"morvares.xrs\0morva.cfg\0";
  DRIVER_INFO_3W d{};
  d.cVersion = 3;
  d.pName = const_cast<LPWSTR>(name);
  d.pEnvironment = const_cast<LPWSTR>(u"Windows x64");
  d.pDriverPath = const_cast<LPWSTR>(u"morvagfx.dll");
  d.pDataFile = const_cast<LPWSTR>(u"DEMO.DDD");
  d.pConfigFile = const_cast<LPWSTR>(u"morvaui.dll");
  d.pHelpFile = const_cast<LPWSTR>(u"morva.chm");
  d.pDependentFiles = deps;
  d.pDefaultDataType = const_cast<LPWSTR>(u"RAW");
  ASSERT_TRUE(AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&d))) << GetLastError();
}

HANDLE add_printer(const char16_t* name, const char16_t* driver = u"Morva Test Driver") {
  PRINTER_INFO_2W p{};
  p.pPrinterName = const_cast<LPWSTR>(name);
  p.pPortName = const_cast<LPWSTR>(u"IP_127.0.0.1");
  p.pDriverName = const_cast<LPWSTR>(driver);
  p.pComment = const_cast<LPWSTR>(u"test printer");
  p.pLocation = const_cast<LPWSTR>(u"lab");
  return AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&p));
}

HANDLE open_printer(const char16_t* name, ACCESS_MASK access) {
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
  HANDLE h = nullptr;
  EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(name), &h, &defaults)) << GetLastError();
  return h;
}

std::vector<BYTE> random_bytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<BYTE> out(n);
  for (auto& b : out) b = static_cast<BYTE>(rng());
  return out;
}

class Spooler : public ::testing::Test {
 protected:
  void SetUp() override {
    morva::platform::use_in_memory_store(true);
    add_driver(u"Morva Test Driver");
    printer_ = add_printer(u"Morva Test");
    ASSERT_NE(printer_, nullptr) << GetLastError();
  }
  void TearDown() override {
    if (printer_) ClosePrinter(printer_);
    morva::platform::inject_printer_access_denied(false);
    morva::platform::clear_spool_faults();
    morva::platform::clear_store_faults();
    morva::platform::use_in_memory_store(false);
  }
  morva::test::TempRoot root_;
  HANDLE printer_ = nullptr;
};

TEST_F(Spooler, PrinterInfoAtEveryLevel) {
  HANDLE h = open_printer(u"morva test,LocalOnly", PRINTER_ACCESS_USE);
  auto b1 = fetch([&](LPBYTE b, DWORD n, LPDWORD need) { return GetPrinterW(h, 1, b, n, need); });
  EXPECT_EQ(s16(reinterpret_cast<PRINTER_INFO_1W*>(b1.data())->pName), u"Morva Test");
  auto b2 = fetch([&](LPBYTE b, DWORD n, LPDWORD need) { return GetPrinterW(h, 2, b, n, need); });
  const auto* p2 = reinterpret_cast<PRINTER_INFO_2W*>(b2.data());
  EXPECT_EQ(s16(p2->pPrinterName), u"Morva Test");
  EXPECT_EQ(s16(p2->pPortName), u"IP_127.0.0.1");
  EXPECT_EQ(s16(p2->pDriverName), u"Morva Test Driver");
  EXPECT_EQ(s16(p2->pDatatype), u"RAW");
  EXPECT_EQ(p2->pDevMode, nullptr);
  EXPECT_TRUE(p2->Attributes & PRINTER_ATTRIBUTE_LOCAL);
  auto b4 = fetch([&](LPBYTE b, DWORD n, LPDWORD need) { return GetPrinterW(h, 4, b, n, need); });
  EXPECT_EQ(reinterpret_cast<PRINTER_INFO_4W*>(b4.data())->Attributes & PRINTER_ATTRIBUTE_LOCAL, PRINTER_ATTRIBUTE_LOCAL);
  auto b5 = fetch([&](LPBYTE b, DWORD n, LPDWORD need) { return GetPrinterW(h, 5, b, n, need); });
  EXPECT_EQ(s16(reinterpret_cast<PRINTER_INFO_5W*>(b5.data())->pPortName), u"IP_127.0.0.1");
  EXPECT_FALSE(GetPrinterW(h, 3, nullptr, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));

  // SetPrinterW level 2 stores a default DEVMODE that level 2 hands back.
  DEVMODEW dm{};
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmOrientation = DMORIENT_LANDSCAPE;
  PRINTER_INFO_2W change = *p2;
  change.pDevMode = &dm;
  EXPECT_FALSE(SetPrinterW(h, 2, reinterpret_cast<LPBYTE>(&change), 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  ASSERT_TRUE(SetPrinterW(printer_, 2, reinterpret_cast<LPBYTE>(&change), 0));
  b2 = fetch([&](LPBYTE b, DWORD n, LPDWORD need) { return GetPrinterW(h, 2, b, n, need); });
  p2 = reinterpret_cast<PRINTER_INFO_2W*>(b2.data());
  ASSERT_NE(p2->pDevMode, nullptr);
  EXPECT_EQ(p2->pDevMode->dmOrientation, DMORIENT_LANDSCAPE);
  ClosePrinter(h);
}

TEST_F(Spooler, PrintersEnumerateAndRefuseBadNames) {
  HANDLE second = add_printer(u"Second");
  ASSERT_NE(second, nullptr);
  ClosePrinter(second);
  EXPECT_EQ(add_printer(u"MORVA TEST"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINTER_ALREADY_EXISTS));
  EXPECT_EQ(add_printer(u"Other", u"No Such Driver"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER));
  HANDLE h = nullptr;
  EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"Nobody"), &h, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));

  DWORD count = 0;
  auto buf = fetch([&](LPBYTE b, DWORD n, LPDWORD need) {
    return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, b, n, need, &count);
  });
  ASSERT_EQ(count, 2u);
  const auto* list = reinterpret_cast<PRINTER_INFO_4W*>(buf.data());
  EXPECT_EQ(s16(list[0].pPrinterName), u"Morva Test");
  EXPECT_EQ(s16(list[1].pPrinterName), u"Second");
}

TEST_F(Spooler, DriverInfoNamesItsFiles) {
  for (DWORD level : {2u, 3u}) {
    auto buf = fetch([&](LPBYTE b, DWORD n, LPDWORD need) { return GetPrinterDriverW(printer_, nullptr, level, b, n, need); });
    const auto* d = reinterpret_cast<DRIVER_INFO_3W*>(buf.data());
    EXPECT_EQ(d->cVersion, 3u);
    EXPECT_EQ(s16(d->pDataFile), u"C:\\Windows\\System32\\spool\\DRIVERS\\x64\\3\\DEMO.DDD");
    EXPECT_EQ(s16(d->pDriverPath), u"C:\\Windows\\System32\\spool\\DRIVERS\\x64\\3\\morvagfx.dll");
    if (level == 3) {
      EXPECT_EQ(s16(d->pHelpFile), u"C:\\Windows\\System32\\spool\\DRIVERS\\x64\\3\\morva.chm");
      const WCHAR* dep = d->pDependentFiles;
      EXPECT_EQ(s16(dep), u"C:\\Windows\\System32\\spool\\DRIVERS\\x64\\3\\morvares.xrs");
      dep += std::char_traits<char16_t>::length(dep) + 1;
      EXPECT_EQ(s16(dep), u"C:\\Windows\\System32\\spool\\DRIVERS\\x64\\3\\morva.cfg");
      dep += std::char_traits<char16_t>::length(dep) + 1;
      EXPECT_EQ(*dep, 0);
    }
  }
}

TEST_F(Spooler, AccessRightsGovernChanges) {
  // Default access is PRINTER_ACCESS_USE: reading works, writing does not.
  HANDLE user = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Morva Test"), &user, nullptr));
  DWORD one = 1;
  EXPECT_EQ(SetPrinterDataW(user, const_cast<LPWSTR>(u"Permission"), REG_DWORD, reinterpret_cast<LPBYTE>(&one), 4),
            static_cast<DWORD>(ERROR_ACCESS_DENIED));
  ClosePrinter(user);

  morva::platform::inject_printer_access_denied(true);
  PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE h = nullptr;
  EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"Morva Test"), &h, &all));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Morva Test"), &h, nullptr));
  ClosePrinter(h);
}

TEST_F(Spooler, PrinterDataByKey) {
  const BYTE blob[768] = {1, 2, 3};
  ASSERT_EQ(SetPrinterDataW(printer_, const_cast<LPWSTR>(u"PrinterData0"), REG_BINARY, const_cast<LPBYTE>(blob), 768),
            static_cast<DWORD>(ERROR_SUCCESS));
  DWORD yes = 1;
  ASSERT_EQ(SetPrinterDataExW(printer_, u"DsDriver", u"printDuplexSupported", REG_DWORD, reinterpret_cast<LPBYTE>(&yes), 4),
            static_cast<DWORD>(ERROR_SUCCESS));

  DWORD type = 0, needed = 0;
  BYTE small[16];
  EXPECT_EQ(GetPrinterDataW(printer_, const_cast<LPWSTR>(u"printerdata0"), &type, small, sizeof small, &needed),
            static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(needed, 768u);
  std::vector<BYTE> back(needed);
  EXPECT_EQ(GetPrinterDataW(printer_, const_cast<LPWSTR>(u"PrinterData0"), &type, back.data(), needed, &needed),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(std::memcmp(back.data(), blob, 768), 0);
  // The plain functions use "PrinterDriverData"; other keys are apart.
  EXPECT_EQ(GetPrinterDataExW(printer_, u"PrinterDriverData", u"PrinterData0", &type, back.data(), needed, &needed),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(GetPrinterDataW(printer_, const_cast<LPWSTR>(u"printDuplexSupported"), &type, back.data(), needed, &needed),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  DWORD out = 0;
  EXPECT_EQ(GetPrinterDataExW(printer_, u"DSDRIVER", u"printduplexsupported", &type, reinterpret_cast<LPBYTE>(&out), 4, &needed),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(out, 1u);

  DWORD returned = 0;
  needed = 0;
  EXPECT_EQ(EnumPrinterDataExW(printer_, u"DsDriver", nullptr, 0, &needed, &returned), static_cast<DWORD>(ERROR_MORE_DATA));
  std::vector<BYTE> values(needed);
  ASSERT_EQ(EnumPrinterDataExW(printer_, u"DsDriver", values.data(), needed, &needed, &returned),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_EQ(returned, 1u);
  EXPECT_EQ(s16(reinterpret_cast<PRINTER_ENUM_VALUESW*>(values.data())->pValueName), u"printDuplexSupported");

  EXPECT_EQ(DeletePrinterDataW(printer_, const_cast<LPWSTR>(u"PrinterData0")), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(DeletePrinterDataW(printer_, const_cast<LPWSTR>(u"PrinterData0")), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(DeletePrinterDataExW(printer_, u"DsDriver", u"printDuplexSupported"), static_cast<DWORD>(ERROR_SUCCESS));

  // A failing store is reported and leaves nothing behind.
  morva::platform::inject_store_fault(StoreFault::disk_full, 0, 1);
  EXPECT_EQ(SetPrinterDataW(printer_, const_cast<LPWSTR>(u"Size"), REG_DWORD, reinterpret_cast<LPBYTE>(&yes), 4),
            static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(GetPrinterDataW(printer_, const_cast<LPWSTR>(u"Size"), &type, nullptr, 0, &needed),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

std::vector<std::u16string> form_names(HANDLE h) {
  DWORD count = 0;
  auto buf = fetch([&](LPBYTE b, DWORD n, LPDWORD need) { return EnumFormsW(h, 1, b, n, need, &count); });
  std::vector<std::u16string> names;
  for (DWORD i = 0; i < count; ++i) names.push_back(s16(reinterpret_cast<FORM_INFO_1W*>(buf.data())[i].pName));
  return names;
}

FORM_INFO_1W user_form(const char16_t* name, LONG cx, LONG cy) {
  return {FORM_PRINTER, const_cast<LPWSTR>(name), {cx, cy}, {0, 0, cx, cy}};
}

TEST_F(Spooler, FormsKeepTheirOrder) {
  auto names = form_names(printer_);
  ASSERT_EQ(names.size(), 118u);
  // A standard form's position is its paper code.
  struct { std::size_t code; const char16_t* name; } standard[] = {
      {1, u"Letter"}, {9, u"A4"}, {11, u"A5"}, {13, u"B5 (JIS)"}, {20, u"Envelope #10"}, {70, u"A6"}, {118, u"PRC Envelope #10 Rotated"}};
  for (const auto& s : standard) EXPECT_EQ(names[s.code - 1], s.name);

  FORM_INFO_1W a = user_form(u"User Paper 1", 100000, 150000);
  FORM_INFO_1W b = user_form(u"User Paper 2", 120000, 180000);
  ASSERT_TRUE(AddFormW(printer_, 1, reinterpret_cast<LPBYTE>(&a)));
  ASSERT_TRUE(AddFormW(printer_, 1, reinterpret_cast<LPBYTE>(&b)));
  EXPECT_FALSE(AddFormW(printer_, 1, reinterpret_cast<LPBYTE>(&a)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  FORM_INFO_1W bad = user_form(u"Flat", 0, 100);
  EXPECT_FALSE(AddFormW(printer_, 1, reinterpret_cast<LPBYTE>(&bad)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FORM_SIZE));

  // Changing a form keeps its place; deleting one closes the gap; adding it
  // again puts it last.
  FORM_INFO_1W wider = user_form(u"ignored", 110000, 150000);
  ASSERT_TRUE(SetFormW(printer_, const_cast<LPWSTR>(u"user paper 1"), 1, reinterpret_cast<LPBYTE>(&wider)));
  names = form_names(printer_);
  EXPECT_EQ(names[118], u"User Paper 1");
  EXPECT_EQ(names[119], u"User Paper 2");
  ASSERT_TRUE(DeleteFormW(printer_, const_cast<LPWSTR>(u"User Paper 1")));
  ASSERT_TRUE(AddFormW(printer_, 1, reinterpret_cast<LPBYTE>(&a)));
  names = form_names(printer_);
  EXPECT_EQ(names.size(), 120u);
  EXPECT_EQ(names[118], u"User Paper 2");
  EXPECT_EQ(names[119], u"User Paper 1");

  auto buf = fetch([&](LPBYTE b2, DWORD n, LPDWORD need) { return GetFormW(printer_, const_cast<LPWSTR>(u"user paper 2"), 1, b2, n, need); });
  const auto* f = reinterpret_cast<FORM_INFO_1W*>(buf.data());
  EXPECT_EQ(f->Size.cx, 120000);
  EXPECT_EQ(f->Flags, FORM_PRINTER);

  // The standard forms are fixed; changes need administrative rights.
  EXPECT_FALSE(DeleteFormW(printer_, const_cast<LPWSTR>(u"A4")));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  HANDLE user = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Morva Test"), &user, nullptr));
  EXPECT_FALSE(DeleteFormW(user, const_cast<LPWSTR>(u"User Paper 2")));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(GetFormW(user, const_cast<LPWSTR>(u"No Such Form"), 1, nullptr, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FORM_NAME));
  ClosePrinter(user);
}

DWORD start_doc(HANDLE h, const char16_t* name, const char16_t* datatype = u"RAW") {
  DOC_INFO_1W doc{const_cast<LPWSTR>(name), nullptr, const_cast<LPWSTR>(datatype)};
  return StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&doc));
}

TEST_F(Spooler, JobBytesReadBackExactly) {
  const auto data = random_bytes(3'000'000, 7);
  DWORD id = start_doc(printer_, u"Report.doc");
  ASSERT_NE(id, 0u);
  std::size_t pos = 0;
  // Pieces of odd sizes, up to the 1,000,000-byte pieces the driver sends.
  const std::size_t pieces[] = {1, 2048, 999'999, 1'000'000, 7};
  for (int page = 0; page < 2; ++page) {
    ASSERT_TRUE(StartPagePrinter(printer_));
    for (std::size_t piece : pieces) {
      std::size_t n = std::min(piece, data.size() - pos);
      DWORD written = 0;
      ASSERT_TRUE(WritePrinter(printer_, const_cast<BYTE*>(data.data() + pos), static_cast<DWORD>(n), &written));
      ASSERT_EQ(written, n);
      pos += n;
    }
    ASSERT_TRUE(EndPagePrinter(printer_));
  }
  DWORD written = 0;
  ASSERT_TRUE(WritePrinter(printer_, const_cast<BYTE*>(data.data() + pos), static_cast<DWORD>(data.size() - pos), &written));
  ASSERT_TRUE(EndDocPrinter(printer_));

  std::string file = morva::test::read_file(morva::platform::job_spool_file(id));
  ASSERT_EQ(file.size(), data.size());
  EXPECT_EQ(std::memcmp(file.data(), data.data(), data.size()), 0);

  auto buf = fetch([&](LPBYTE b, DWORD n, LPDWORD need) { return GetJobW(printer_, id, 1, b, n, need); });
  const auto* job = reinterpret_cast<JOB_INFO_1W*>(buf.data());
  EXPECT_EQ(job->JobId, id);
  EXPECT_EQ(s16(job->pDocument), u"Report.doc");
  EXPECT_EQ(s16(job->pPrinterName), u"Morva Test");
  EXPECT_EQ(s16(job->pDatatype), u"RAW");
  EXPECT_EQ(job->TotalPages, 2u);
  EXPECT_TRUE(job->Status & JOB_STATUS_COMPLETE);
  auto jobs = morva::platform::spool_jobs(u"morva test");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].size, data.size());

  EXPECT_FALSE(GetJobW(printer_, id + 100, 1, nullptr, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Spooler, JobCallsOutOfOrderAndAbort) {
  DWORD written = 0;
  BYTE byte = 0;
  EXPECT_FALSE(WritePrinter(printer_, &byte, 1, &written));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));
  EXPECT_FALSE(EndDocPrinter(printer_));
  EXPECT_EQ(start_doc(printer_, u"x", u"NT EMF 1.008"), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATATYPE));

  DWORD id = start_doc(printer_, u"Cancelled");
  ASSERT_NE(id, 0u);
  EXPECT_EQ(start_doc(printer_, u"Twice"), 0u);
  ASSERT_TRUE(WritePrinter(printer_, &byte, 1, &written));
  ASSERT_TRUE(AbortPrinter(printer_));
  EXPECT_TRUE(morva::test::read_file(morva::platform::job_spool_file(id)).empty());
  EXPECT_FALSE(GetJobW(printer_, id, 1, nullptr, 0, nullptr));
  EXPECT_TRUE(morva::platform::spool_jobs(u"").empty());
}

TEST_F(Spooler, FailingDiskKeepsWhatWasAccepted) {
  const auto data = random_bytes(5000, 3);
  struct Case {
    SpoolFault fault;
    BOOL first_result;
    DWORD error;
  } cases[] = {{SpoolFault::short_write, TRUE, ERROR_SUCCESS}, {SpoolFault::disk_full, FALSE, ERROR_DISK_FULL}};
  for (const auto& c : cases) {
    DWORD id = start_doc(printer_, u"Faulty");
    ASSERT_NE(id, 0u);
    DWORD written = 0;
    ASSERT_TRUE(WritePrinter(printer_, const_cast<BYTE*>(data.data()), 1000, &written));
    morva::platform::inject_spool_fault(c.fault, 2500);
    SetLastError(0);
    EXPECT_EQ(WritePrinter(printer_, const_cast<BYTE*>(data.data() + 1000), 3000, &written), c.first_result);
    EXPECT_EQ(written, 1500u);
    EXPECT_EQ(GetLastError(), c.error);
    std::size_t accepted = 2500;
    // A short write is a one-off: the caller sends the rest.
    DWORD more = 0;
    BOOL rest = WritePrinter(printer_, const_cast<BYTE*>(data.data() + accepted), 2500, &more);
    EXPECT_EQ(rest, c.fault == SpoolFault::short_write);
    accepted += more;
    ASSERT_TRUE(EndDocPrinter(printer_));
    morva::platform::clear_spool_faults();

    std::string file = morva::test::read_file(morva::platform::job_spool_file(id));
    ASSERT_EQ(file.size(), accepted);
    EXPECT_EQ(std::memcmp(file.data(), data.data(), accepted), 0);
  }
}

// A real limit from the system: a file-size limit stops the spool file.
TEST_F(Spooler, FileSizeLimitStopsTheSpoolFile) {
  const auto data = random_bytes(10000, 11);
  DWORD id = start_doc(printer_, u"Limited");
  ASSERT_NE(id, 0u);
  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto* previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit low = old;
  low.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &low), 0);
  DWORD written = 0;
  BOOL ok = WritePrinter(printer_, const_cast<BYTE*>(data.data()), 10000, &written);
  DWORD error = GetLastError();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(written, 4096u);
  ASSERT_TRUE(EndDocPrinter(printer_));
  std::string file = morva::test::read_file(morva::platform::job_spool_file(id));
  ASSERT_EQ(file.size(), 4096u);
  EXPECT_EQ(std::memcmp(file.data(), data.data(), 4096), 0);
}

TEST_F(Spooler, FailingStoreFailsTheJobStart) {
  morva::platform::inject_store_fault(StoreFault::access_denied, 0, 1);
  EXPECT_EQ(start_doc(printer_, u"Denied"), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(morva::platform::spool_jobs(u"").empty());
}

// Printers, data, forms and jobs written by one process are seen by another.
TEST(SpoolerAcrossProcesses, StateSurvivesTheProcess) {
  morva::test::TempRoot root;
  add_driver(u"Morva Test Driver");
  HANDLE h = add_printer(u"Shared Printer");
  ASSERT_NE(h, nullptr);
  const BYTE chunk[5] = {9, 8, 7, 6, 5};
  ASSERT_EQ(SetPrinterDataW(h, const_cast<LPWSTR>(u"Chunk"), REG_BINARY, const_cast<LPBYTE>(chunk), 5),
            static_cast<DWORD>(ERROR_SUCCESS));
  FORM_INFO_1W form = user_form(u"Shared Form", 90000, 90000);
  ASSERT_TRUE(AddFormW(h, 1, reinterpret_cast<LPBYTE>(&form)));
  DWORD id = start_doc(h, u"Shared Job");
  DWORD written = 0;
  ASSERT_TRUE(WritePrinter(h, const_cast<BYTE*>(chunk), 5, &written));
  ASSERT_TRUE(EndDocPrinter(h));
  ClosePrinter(h);

  ASSERT_EQ(morva::test::run_child_tests("SpoolerChild.*", root.path(), "spooler",
                                         {{"EXPECTED_JOB", std::to_string(id)}}),
            0);
  // The child's form is here.
  h = open_printer(u"Shared Printer", PRINTER_ACCESS_USE);
  auto names = form_names(h);
  EXPECT_EQ(names.back(), u"Child Form");
  ClosePrinter(h);
}

TEST(SpoolerChild, SeesTheParentsState) {
  if (morva::test::child_role() != "spooler") GTEST_SKIP() << "runs in the child process only";
  HANDLE h = open_printer(u"Shared Printer", PRINTER_ALL_ACCESS);
  ASSERT_NE(h, nullptr);
  BYTE chunk[5] = {};
  DWORD type = 0, needed = 0;
  ASSERT_EQ(GetPrinterDataW(h, const_cast<LPWSTR>(u"Chunk"), &type, chunk, 5, &needed), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(chunk[4], 5);
  auto names = form_names(h);
  EXPECT_EQ(names.back(), u"Shared Form");
  auto buf = fetch([&](LPBYTE b, DWORD n, LPDWORD need) {
    return GetJobW(h, static_cast<DWORD>(std::stoul(std::getenv("EXPECTED_JOB"))), 1, b, n, need);
  });
  EXPECT_EQ(s16(reinterpret_cast<JOB_INFO_1W*>(buf.data())->pDocument), u"Shared Job");
  FORM_INFO_1W form = user_form(u"Child Form", 80000, 80000);
  EXPECT_TRUE(AddFormW(h, 1, reinterpret_cast<LPBYTE>(&form)));
  ClosePrinter(h);
}

}  // namespace
