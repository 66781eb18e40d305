// A job through both DLLs of the demo printer: the interface library's
// document events prepare the job and push it through the private escapes
// into the graphics library, whose spool file the decoder reads whole.
// Against the recording graphics DLL, the escapes of STARTDOCPOST are seen
// in their order.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "fixtures/recording.h"
#include "gfx_demo.h"
#include "gfx_print_job.h"
#include "placed_image_block.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "printer_dc.h"
#include "temp_root.h"
#include "win/endian.h"
#include "win/files.h"
#include "win/spooler.h"
#include "win/strings.h"

namespace {

using morva::print_host::PrinterDc;
using morva::tools::PdlItem;

std::vector<std::string> header_lines(const morva::tools::PdlDecodeResult& r, PdlItem::Kind kind) {
  std::vector<std::string> out;
  for (const PdlItem& i : r.items)
    if (i.kind == kind) out.push_back(i.text);
  return out;
}

bool has_line(const std::vector<std::string>& lines, const std::string& text) {
  for (const auto& l : lines)
    if (l.find(text) != std::string::npos) return true;
  return false;
}

class DocumentEvents : public ::testing::Test {
 protected:
  void SetUp() override { morva::test::InstallDemoPrinter(); }

  morva::tools::PdlDecodeResult print(const std::string& name, const std::string& ddmids) {
    std::string json = R"({"printer": "Morva Demo Printer", "document": ")" + name + R"(", "units": "px", )" +
                       R"("devmode": {"dmCopies": 2}, "ddmid": {)" + ddmids + R"(}, "pages": [)";
    for (int i = 0; i < 2; ++i) json += std::string(i ? "," : "") + R"({"ops": [{"op": "line", "from": [10, 10], "to": [200, 10]}]})";
    json += "]}";
    auto r = morva::test::PrintJson(json, root_.path());
    EXPECT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    spool_text_ = morva::test::read_file(morva::platform::job_spool_file(r.job_id));
    return morva::tools::DecodeSpoolFilePath(morva::platform::job_spool_file(r.job_id));
  }

  // The printer's default DEVMODE without the DC tail: a plain driver
  // DEVMODE as an application passes it.
  static std::vector<BYTE> plain_devmode() {
    std::u16string name = morva::gfx_demo::kDemoPrinter;
    HANDLE h = nullptr;
    std::vector<BYTE> out;
    if (!OpenPrinterW(name.data(), &h, nullptr)) return out;
    DWORD needed = 0;
    GetPrinterW(h, 2, nullptr, 0, &needed);
    std::vector<BYTE> info(needed);
    if (needed && GetPrinterW(h, 2, info.data(), needed, &needed)) {
      const DEVMODEW* dm = reinterpret_cast<PRINTER_INFO_2W*>(info.data())->pDevMode;
      if (dm) out.assign(reinterpret_cast<const BYTE*>(dm), reinterpret_cast<const BYTE*>(dm) + 5988);
    }
    ClosePrinter(h);
    if (!out.empty()) reinterpret_cast<DEVMODEW*>(out.data())->dmDriverExtra = 1384;
    return out;
  }

  static DEVMODEW* with_copies(std::vector<BYTE>* devmode, SHORT copies) {
    auto* dm = reinterpret_cast<DEVMODEW*>(devmode->data());
    dm->dmCopies = copies;
    dm->dmFields |= DM_COPIES;
    return dm;
  }

  std::string spool_text_;

  // One document on a DC of its own; the decoded job.
  static morva::tools::PdlDecodeResult print_on_dc(PrinterDc* dc, const std::u16string& name) {
    morva::tools::PdlDecodeResult none;
    if (!dc->start_doc(name) || !dc->start_page() || !dc->line_to({100, 100}) || !dc->end_page() || !dc->end_doc()) {
      none.error = "printing failed in " + dc->failed_entry();
      return none;
    }
    return morva::tools::DecodeSpoolFilePath(morva::platform::job_spool_file(dc->job_id()));
  }

  morva::test::TempRoot root_;
};

// With job headers of the interface library switched on, the job begins
// with the header it built and pushed; without, the graphics library
// builds one of its own. Both carry the document's name and copies.
TEST_F(DocumentEvents, TheJobCarriesThePjlHeaderOfTheInterfaceLibrary) {
  for (const char* switch_value : {"1", "0"}) {
    SCOPED_TRACE(switch_value);
    auto job = print("Header Test", std::string(R"("1333": )") + switch_value);
    ASSERT_TRUE(job.ok) << job.error << " at " << job.error_offset;
    EXPECT_EQ(job.summary.pages, 2u);
    ASSERT_FALSE(job.items.empty());
    EXPECT_EQ(job.items.front().kind, PdlItem::Uel);
    auto lines = header_lines(job, PdlItem::HeaderLine);
    EXPECT_TRUE(has_line(lines, "@PJL SET COPIES=2")) << ::testing::PrintToString(lines);
    EXPECT_TRUE(has_line(lines, "@PJL ENTER LANGUAGE=VANTIQ")) << ::testing::PrintToString(lines);
    EXPECT_NE(spool_text_.find("[Header Test]"), std::string::npos);
  }
}

// The job-information block closes the job: one page group per page, the
// job's copies and counts, between the trailer's UEL and its end line.
TEST_F(DocumentEvents, TheJobInformationBlockOfAMultiPageJobIsReadBack) {
  auto job = print("Info", R"("1333": 1)");
  ASSERT_TRUE(job.ok) << job.error << " at " << job.error_offset;
  std::vector<std::string> info;
  for (const std::string& line : header_lines(job, PdlItem::InfoLine))
    info.push_back(line.substr(std::string("@PJL COMMENT QZJOBINFO ").size()));
  // The demo's A4 has no media code of its own: the page gives it by size
  // ("*"); the automatic source is tray 0.
  const std::string page = "PAGEINFO=SIZE[*210.0X297.0]:MODE[COLOR]:COLORS[0]:INTRAY[0]:DUPLEX[SIMPLEX]";
  const std::vector<std::string> expected = {
      "VERSION=1.2.0",    "BEGIN",           "PDLTYPE=PDL[VANTIQ]:VERSION[1.5.1]", "JOBTYPE=PRINT",
      "STOREDJOBTYPE=IMMEDIATE", "JOBCOPIES=2",  "PAGECOPIES=1",  "DUPLEXTYPE=SIMPLEX",
      "NUP=1",            "POSTER=1",        "BOOKLETTYPE=TYPE[NOBOOKLET]", "PAGEORDER=1TON",
      "SLIPSHEET=NOSLIPSHEET", "TONERSAVE=OFF", "PHYSICALPAGES=2", "LOGICALPAGES=2",
      "ESTIMATEDSHEETS=4", "PAGEINFOBEGIN",  page, page, "PAGEINFOEND", "END"};
  EXPECT_EQ(info, expected);
  ASSERT_FALSE(job.items.empty());
  EXPECT_EQ(job.items.back().kind, PdlItem::EojLine);
}

// The whole path on the demo printer: the interface library's document
// events build the job header (with its job attributes), the header record
// and the stamp settings, push them through the private escapes, and draw
// the page stamp and the print header on the DC at every page end; the
// graphics library writes them onto every page and closes the job with the
// job-information block. Without stamps and header the pages carry only
// the application's line.
TEST_F(DocumentEvents, StampsAndThePrintHeaderReachEveryPageOfTheJob) {
  // Text drawing operators on each page (a page begins with "Ec"); a glyph
  // downloaded on an earlier page is drawn from the printer's memory.
  auto text_per_page = [](const morva::tools::PdlDecodeResult& job) {
    std::vector<int> pages;
    for (const PdlItem& i : job.items) {
      if (i.kind != PdlItem::Operator) continue;
      if (i.text == "Ec") pages.push_back(0);
      else if (!pages.empty() && (i.text == "DC" || i.text == "Dc" || i.text == "DD" || i.text == "Dd" ||
                                  i.text == "DH" || i.text == "DL" || i.text == "DI" || i.text == "DM"))
        ++pages.back();
    }
    return pages;
  };
  const std::string plain = R"("1333": 1)";
  // A page stamp at the page's centre on every page (not the first alone),
  // then also the document name in the print header at the top left.
  const std::string stamped = plain + R"(, "297": "Mark", "299": "DRAFT", "1288": 0, "1286": 0, "303": 514)";
  const std::string headed = stamped + R"(, "1298": 1, "353": 257)";
  std::vector<int> before;
  morva::tools::PdlDecodeResult job;
  for (const std::string* settings : {&plain, &stamped, &headed}) {
    job = print("Marked Job", *settings);
    ASSERT_TRUE(job.ok) << job.error << " at " << job.error_offset;
    EXPECT_EQ(job.summary.pages, 2u);
    const std::vector<int> texts = text_per_page(job);
    ASSERT_EQ(texts.size(), 2u) << *settings;
    for (std::size_t page = 0; page < 2; ++page) {
      if (before.empty()) EXPECT_EQ(texts[page], 0) << "only the application's line";
      else EXPECT_GT(texts[page], before[page]) << *settings << ": more text on page " << page;
    }
    before = texts;
  }
  auto lines = header_lines(job, PdlItem::HeaderLine);
  EXPECT_TRUE(has_line(lines, "@PJL SET JOBATTR=")) << ::testing::PrintToString(lines);
  EXPECT_TRUE(has_line(lines, "@PJL SET COPIES=2")) << ::testing::PrintToString(lines);
  auto info = header_lines(job, PdlItem::InfoLine);
  EXPECT_TRUE(has_line(info, "LOGICALPAGES=2")) << ::testing::PrintToString(info);
  ASSERT_FALSE(job.items.empty());
  EXPECT_EQ(job.items.back().kind, PdlItem::EojLine);
}

// A ResetDC between pages sends the whole transfer again to the new PDEV:
// the job goes on with the interface library's header, and the page after
// the reset takes its own orientation.
TEST_F(DocumentEvents, AResetDcBetweenPagesKeepsTheJobWhole) {
  std::string json = R"({"printer": "Morva Demo Printer", "document": "Reset", "units": "px",
    "ddmid": {"1333": 1}, "devmode": {"dmCopies": 2},
    "pages": [{"ops": [{"op": "line", "from": [10, 10], "to": [200, 10]}]},
              {"devmode": {"dmOrientation": 2}, "ops": [{"op": "line", "from": [10, 10], "to": [200, 10]}]}]})";
  morva::print_host::Document doc;
  std::string error;
  ASSERT_TRUE(morva::print_host::parse_document(json, "doc.json", root_.path(), &doc, &error)) << error;
  auto r = morva::print_host::print_document(doc);
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  auto job = morva::tools::DecodeSpoolFilePath(morva::platform::job_spool_file(r.job_id));
  ASSERT_TRUE(job.ok) << job.error;
  EXPECT_EQ(job.summary.jobs, 1u);
  EXPECT_EQ(job.summary.pages, 2u);
  auto lines = header_lines(job, PdlItem::HeaderLine);
  EXPECT_TRUE(has_line(lines, "@PJL SET COPIES=2")) << ::testing::PrintToString(lines);
  auto info = header_lines(job, PdlItem::InfoLine);
  EXPECT_TRUE(has_line(info, "LOGICALPAGES=2")) << ::testing::PrintToString(info);
}

// A header set pushed during a transfer replaces the graphics library's
// own header; a set whose head claims more than was sent, whose sizes
// overflow 32 bits or that is shorter than its head is refused and leaves
// the job as it was.
TEST_F(DocumentEvents, APushedHeaderSetIsCheckedBeforeItIsKept) {
  std::string error;
  auto dc = PrinterDc::create(morva::gfx_demo::kDemoPrinter, nullptr, &error);
  ASSERT_NE(dc, nullptr) << error;
  ASSERT_TRUE(dc->start_doc(u"Pushed"));
  const std::string text = "\x1b%-12345X@PJL JOB NAME=\"PUSHED HEADER\"\n@PJL ENTER LANGUAGE=VANTIQ\n";
  auto set_of = [&](DWORD count, DWORD block, std::size_t sent) {
    std::vector<BYTE> set(std::max<std::size_t>(sent, 16 + block + 4), 0);
    morva::store_le32(set.data(), count);
    morva::store_le32(set.data() + 4, block);
    morva::store_le32(set.data() + 16, static_cast<DWORD>(text.size()));
    std::memcpy(set.data() + 20, text.data(), std::min<std::size_t>(text.size(), block - 4));
    set.resize(sent);
    return set;
  };
  const DWORD block = static_cast<DWORD>(text.size()) + 4;
  struct Case {
    const char* what;
    std::vector<BYTE> set;
    int result;
  } cases[] = {
      {"shorter than its head", set_of(1, block, 12), -1},
      {"head claims more than was sent", set_of(2, block, 16 + block + 4), -1},
      {"sizes overflow 32 bits", set_of(0x40000000, 0x10, 64), -1},
      {"text longer than its block", set_of(1, 8, 16 + 8 + 4), -1},
      {"a whole set", set_of(1, block, 16 + block + 4), 1},
  };
  BYTE open[2] = {0, 0}, close[2] = {1, 0};
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.what == std::string("text longer than its block")) morva::store_le32(c.set.data() + 16, 200);
    EXPECT_EQ(dc->escape(0x5021, 2, open, 0, nullptr), 1);
    EXPECT_EQ(dc->escape(0x5025, static_cast<int>(c.set.size()), c.set.data(), 0, nullptr), c.result);
    EXPECT_EQ(dc->escape(0x5021, 2, close, 0, nullptr), 1);
  }
  ASSERT_TRUE(dc->start_page() && dc->line_to({50, 50}) && dc->end_page() && dc->end_doc()) << dc->failed_entry();
  auto job = morva::tools::DecodeSpoolFilePath(morva::platform::job_spool_file(dc->job_id()));
  ASSERT_TRUE(job.ok) << job.error;
  auto lines = header_lines(job, PdlItem::HeaderLine);
  EXPECT_TRUE(has_line(lines, "PUSHED HEADER")) << ::testing::PrintToString(lines);
}

// The escapes of the interface library: exact sizes only, nothing read
// outside what was sent, and pushes during a transfer that began after the
// job output are ignored without failing.
TEST_F(DocumentEvents, PrivateEscapesTakeOnlyTheirExactPayloads) {
  std::string error;
  auto dc = PrinterDc::create(morva::gfx_demo::kDemoPrinter, nullptr, &error);
  ASSERT_NE(dc, nullptr) << error;
  ASSERT_TRUE(dc->start_doc(u"Sizes"));
  std::vector<BYTE> big(13960, 0), devmode(5988, 0), out(13960, 0);
  DWORD asked = 20;  // GETTECHNOLOGY
  BYTE block[12] = {};
  morva::store_le32(block, 0x20000);  // announces more than the block store takes
  BYTE short_block[8] = {};
  morva::store_le32(short_block, 100);  // announces more than was sent
  struct Case {
    const char* what;
    int code;
    int in_size;
    const void* in;
    int out_size;
    void* out;
    int result;
  } cases[] = {
      {"settings pull of the wrong size", 0x5002, 0, nullptr, 13960, out.data(), -1},
      {"settings push of the wrong size", 0x5005, 13960, big.data(), 0, nullptr, -1},
      {"settings pull", 0x5002, 0, nullptr, 5988, devmode.data(), 1},
      {"page paper of the wrong size", 0x5010, 8, big.data(), 0, nullptr, -1},
      {"header record of the wrong size", 0x5007, 767, big.data(), 0, nullptr, -1},
      {"technology query", 8, 4, &asked, 0, nullptr, 0x1071},
      {"block store while the protocol is off", 0x1078, 8, short_block, 0, nullptr, 0},
      {"unknown private code", 0x5011, 0, nullptr, 0, nullptr, 0},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(dc->escape(c.code, c.in_size, c.in, c.out_size, c.out), c.result);
  }
  // With the protocol on, a stored block must arrive whole.
  BYTE on[8] = {8, 0, 0, 0, 1, 0, 0, 0};
  ASSERT_EQ(dc->escape(0x1071, 8, on, 0, nullptr), 1);
  EXPECT_EQ(dc->escape(0x1078, 8, short_block, 0, nullptr), -4);
  EXPECT_EQ(dc->escape(0x1078, 12, block, 0, nullptr), -4);
  // Once output began, a transfer's pushes are taken and ignored.
  ASSERT_TRUE(dc->start_page() && dc->line_to({50, 50}));
  std::vector<BYTE> changed = devmode;
  changed[200] ^= 0xFF;
  BYTE open[2] = {0, 0}, close[2] = {1, 0};
  EXPECT_EQ(dc->escape(0x5021, 2, open, 0, nullptr), 1);
  EXPECT_EQ(dc->escape(0x5005, 5988, changed.data(), 0, nullptr), 1);
  EXPECT_EQ(dc->escape(0x5032, 4, "abcd", 0, nullptr), -1);
  EXPECT_EQ(dc->escape(0x5021, 2, close, 0, nullptr), 1);
  std::vector<BYTE> now(5988, 0);
  ASSERT_EQ(dc->escape(0x5002, 0, nullptr, 5988, now.data()), 1);
  EXPECT_EQ(now, devmode);
  EXPECT_TRUE(dc->end_page() && dc->end_doc());
}

// An outside program's placed image through the image-transfer escape:
// pieces of one transfer carry its id, a piece out of its place or of
// another transfer is refused and changes nothing, and the job holds each
// image's header once with every byte the pieces brought.
TEST_F(DocumentEvents, PlacedImagesArriveInPiecesThroughTheImageTransferEscape) {
  std::string error;
  auto dc = PrinterDc::create(morva::gfx_demo::kDemoPrinter, nullptr, &error);
  ASSERT_NE(dc, nullptr) << error;
  ASSERT_TRUE(dc->start_doc(u"Placed") && dc->start_page());
  morva::test::Image im;
  auto send = [&](DWORD total, DWORD offset, DWORD length, WORD id, BYTE fill) {
    auto b = morva::test::block(im, total, offset, length, fill);
    morva::store_le16(&b[24], id);
    return dc->escape(0x1072, static_cast<int>(b.size()), b.data(), 0, nullptr);
  };
  EXPECT_EQ(send(300, 0, 200, 0, 1), 0);  // the protocol is off
  BYTE on[8] = {8, 0, 0, 0, 1, 0, 0, 0};
  ASSERT_EQ(dc->escape(0x1071, 8, on, 0, nullptr), 1);
  EXPECT_EQ(send(300, 100, 100, 0, 1), -4);  // no transfer open yet
  ASSERT_EQ(send(300, 0, 200, 0, 1), 1);
  EXPECT_EQ(send(300, 150, 100, 1, 2), -4);  // out of its place
  EXPECT_EQ(send(300, 200, 200, 1, 2), -4);  // past the announced total
  ASSERT_EQ(send(300, 200, 100, 1, 2), 1);
  EXPECT_EQ(send(300, 300, 10, 1, 3), -4);  // the transfer is complete
  ASSERT_EQ(send(10, 0, 10, 0, 4), 2);
  ASSERT_TRUE(dc->end_page() && dc->end_doc()) << dc->failed_entry();
  auto decoded = morva::tools::DecodeSpoolFilePath(morva::platform::job_spool_file(dc->job_id()));
  ASSERT_TRUE(decoded.ok) << decoded.error;
  int headers = 0;
  for (const auto& i : decoded.items) headers += i.kind == morva::tools::PdlItem::Operator && i.text == "Cq";
  EXPECT_EQ(headers, 2);
  const std::string spool = morva::test::read_file(morva::platform::job_spool_file(dc->job_id()));
  EXPECT_NE(spool.find(std::string(200, '\x01') + std::string(100, '\x02')), std::string::npos);
  EXPECT_NE(spool.find(std::string(10, '\x04')), std::string::npos);
}

// Two DCs whose document events name the same printer handle, printing at
// once on two threads: each job keeps its own name and copies, and
// deleting one DC leaves the other's job context working.
TEST_F(DocumentEvents, TwoDcsOnOnePrinterHandleKeepTheirOwnJobs) {
  std::u16string name = morva::gfx_demo::kDemoPrinter;
  HANDLE shared = nullptr;
  ASSERT_TRUE(OpenPrinterW(name.data(), &shared, nullptr));
  auto plain = plain_devmode();
  ASSERT_EQ(plain.size(), 5988u);
  auto plain2 = plain;
  std::string error;
  auto first = PrinterDc::create(name, with_copies(&plain, 2), &error, shared);
  ASSERT_NE(first, nullptr) << error;
  auto second = PrinterDc::create(name, with_copies(&plain2, 3), &error, shared);
  ASSERT_NE(second, nullptr) << error;
  morva::tools::PdlDecodeResult jobs[2];
  std::string texts[2];
  auto run = [&](int i, PrinterDc* dc, const std::u16string& doc) {
    jobs[i] = print_on_dc(dc, doc);
    texts[i] = morva::test::read_file(morva::platform::job_spool_file(dc->job_id()));
  };
  std::thread a(run, 0, first.get(), u"Job of the first DC");
  std::thread b(run, 1, second.get(), u"Job of the second DC");
  a.join();
  b.join();
  const char* names[2] = {"[Job of the first DC]", "[Job of the second DC]"};
  const char* copies[2] = {"@PJL SET COPIES=2", "@PJL SET COPIES=3"};
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(jobs[i].ok) << jobs[i].error;
    auto lines = header_lines(jobs[i], PdlItem::HeaderLine);
    EXPECT_TRUE(has_line(lines, copies[i])) << ::testing::PrintToString(lines);
    EXPECT_NE(texts[i].find(names[i]), std::string::npos);
    EXPECT_EQ(texts[i].find(names[1 - i]), std::string::npos);
  }
  first.reset();  // DELETEDC of the first DC only
  auto again = print_on_dc(second.get(), u"Second job of the second DC");
  ASSERT_TRUE(again.ok) << again.error;
  EXPECT_TRUE(has_line(header_lines(again, PdlItem::HeaderLine), "@PJL SET COPIES=3"));
  second.reset();
  ClosePrinter(shared);
}

// A CREATEDCPRE that cannot build the DC DEVMODE (the device database is
// gone) fails the DC and frees the context it made; once the database is
// back, DCs on the same printer handle print again.
TEST_F(DocumentEvents, AFailedCreateDcLeavesNoContextBehind) {
  std::u16string name = morva::gfx_demo::kDemoPrinter;
  HANDLE shared = nullptr;
  ASSERT_TRUE(OpenPrinterW(name.data(), &shared, nullptr));
  DWORD needed = 0;
  GetPrinterDriverW(shared, nullptr, 3, nullptr, 0, &needed);
  std::vector<BYTE> info(needed);
  ASSERT_TRUE(GetPrinterDriverW(shared, nullptr, 3, info.data(), needed, &needed));
  std::u16string data_file = reinterpret_cast<DRIVER_INFO_3W*>(info.data())->pDataFile;
  std::u16string moved = data_file + u".away";
  ASSERT_TRUE(MoveFileW(data_file.c_str(), moved.c_str()));
  std::string error;
  auto plain = plain_devmode();
  ASSERT_EQ(plain.size(), 5988u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(PrinterDc::create(name, reinterpret_cast<DEVMODEW*>(plain.data()), &error, shared), nullptr);
    EXPECT_EQ(error, "DrvDocumentEvent(CREATEDCPRE) failed");
  }
  ASSERT_TRUE(MoveFileW(moved.c_str(), data_file.c_str()));
  auto dc = PrinterDc::create(name, reinterpret_cast<DEVMODEW*>(plain.data()), &error, shared);
  ASSERT_NE(dc, nullptr) << error;
  auto job = print_on_dc(dc.get(), u"After the failures");
  EXPECT_TRUE(job.ok) << job.error;
  dc.reset();
  ClosePrinter(shared);
}

// A DC DEVMODE that lost its tail is merged again at CREATEDCPRE like any
// DEVMODE of this driver: its private settings, the document-property file
// named in them included, reach the graphics library.
TEST_F(DocumentEvents, ADcDevmodeWithoutItsTailKeepsItsPrivateSettings) {
  const std::u16string file = u"C:\\Docs\\job.dpf";
  std::vector<BYTE> devmode;
  std::string error;
  ASSERT_TRUE(morva::print_host::build_devmode(morva::gfx_demo::kDemoPrinter, {{"dmOrientation", "2"}},
                                               {{374, morva::u16_to_utf8(file)}, {1298, "1"}}, &devmode, &error))
      << error;
  ASSERT_EQ(devmode.size(), 6012u);
  std::memset(devmode.data() + 5988, 0, 24);  // no tail
  auto dc = PrinterDc::create(morva::gfx_demo::kDemoPrinter, reinterpret_cast<const DEVMODEW*>(devmode.data()), &error);
  ASSERT_NE(dc, nullptr) << error;
  std::vector<BYTE> seen(5988, 0);
  ASSERT_EQ(dc->escape(0x5002, 0, nullptr, 5988, seen.data()), 1);
  EXPECT_EQ(reinterpret_cast<const DEVMODEW*>(seen.data())->dmOrientation, 2);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(seen.data() + 930)), file);
  EXPECT_EQ(std::memcmp(seen.data() + 220, devmode.data() + 220, 1384), 0) << "the first private block as it was";
}

// The STARTDOCPOST transfer in its order; a refused step makes the event
// fail, and every later step, the closing mark included, is still sent.
class TransferOrder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(morva::gfx_demo::install_demo_printer_as(
        MORVA_BIN_DIR, kPrinter, std::string(MORVA_BIN_DIR) + "/librecording_driver.so", &error))
        << error;
    ASSERT_TRUE(morva::gfx_demo::make_dc_devmode_default(kPrinter, &error)) << error;
  }

  // The escapes of the STARTDOCPOST transfer: after the first-start query
  // that opens the event, up to the closing transfer mark.
  std::vector<std::string> transfer() {
    std::ifstream in(root_.file(morva::recording::kEscapesFile));
    std::vector<std::string> out;
    bool in_post = false;
    int marks = 0;
    for (std::string line; std::getline(in, line) && marks < 2;) {
      if (!in_post) {
        in_post = line == "escape 20522 in 0";
        continue;
      }
      out.push_back(line);
      if (line == "escape 20513 in 2") ++marks;
    }
    return out;
  }

  static constexpr const char16_t* kPrinter = u"Order Printer";
  morva::test::TempRoot root_;
};

TEST_F(TransferOrder, EveryStepIsSentEvenAfterOneFails) {
  const std::vector<std::string> order = {
      "escape 20482 in 0",     // settings pull
      "escape 20513 in 2",     // transfer mark 0
      "escape 20736 in 2",     // paper family
      "escape 20515 in 522",   // document name
      "escape 20485 in 5988",  // settings push
      "escape 20491 in 7972",  // settings block
      "escape 20487 in 768",   // print header
      "escape 20521 in 12",    // job block
      "escape 20524 in 2112",  // marking setup
      "escape 20513 in 2",     // transfer mark 1
  };
  struct Case {
    const char* fail;  // escape refused by the graphics DLL, or none
    bool ok;
  } cases[] = {{"", true}, {"Escape 20515", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fail);
    std::ofstream(root_.file(morva::recording::kFailFile)) << c.fail << "\n";
    std::remove(root_.file(morva::recording::kEscapesFile).c_str());
    std::string error;
    auto dc = PrinterDc::create(kPrinter, nullptr, &error);
    ASSERT_NE(dc, nullptr) << error;
    EXPECT_EQ(dc->start_doc(u"Order"), c.ok);
    if (!c.ok) {
      EXPECT_EQ(dc->failed_entry(), "DrvDocumentEvent(STARTDOCPOST)");
    }
    EXPECT_EQ(transfer(), order);
    if (c.ok) {
      EXPECT_TRUE(dc->end_doc());
    }
  }
}

// Stamps drawn at each page end on the DC itself: the stamp mode around
// the drawing and the stamp text through DrvTextOut. Over the whole area
// the text repeats, every copy drawn at the first position with its offset
// sent first (0x5004).
TEST_F(TransferOrder, StampsAreDrawnOnTheDcInsideTheStampMode) {
  {
    std::string json = R"({"printer": "Order Printer", "document": "Stamped", "units": "px",
      "ddmid": {"297": "Mark", "299": "DRAFT", "1288": 1},
      "pages": [{"ops": [{"op": "line", "from": [10, 10], "to": [100, 10]}]}]})";
    morva::print_host::Document doc;
    std::string error;
    ASSERT_TRUE(morva::print_host::parse_document(json, "doc.json", root_.path(), &doc, &error)) << error;
    auto r = morva::print_host::print_document(doc);
    ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    std::ifstream in(morva::platform::job_spool_file(r.job_id));
    std::vector<std::string> page_end;
    bool started = false;
    for (std::string line; std::getline(in, line);) {
      if (line == "Escape 20481 in 4") started = true;  // the page end's question
      if (started) page_end.push_back(line);
      if (line == "SendPage") break;
    }
    ASSERT_FALSE(page_end.empty());
    auto index = [&](const std::string& prefix) {
      for (std::size_t i = 0; i < page_end.size(); ++i)
        if (page_end[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
      return -1;
    };
    auto count = [&](const std::string& prefix) {
      int n = 0;
      for (const auto& l : page_end) n += l.rfind(prefix, 0) == 0;
      return n;
    };
    const int mode_on = index("Escape 20483 in 4");
    const int text = index("TextOut");
    ASSERT_GE(mode_on, 0) << ::testing::PrintToString(page_end);
    ASSERT_GT(text, mode_on) << ::testing::PrintToString(page_end);
    EXPECT_EQ(page_end[page_end.size() - 2], "Escape 20483 in 4");  // the mode off, before the page goes
    EXPECT_GE(count("TextOut"), 1);
    EXPECT_EQ(count("Escape 20484 in 8"), count("TextOut"));
  }
}

// A print header due at a page end whose record STARTDOC left empty (a
// ResetDC switched the header on) is drawn from the spooler's record of
// the job when the graphics library holds no header parts of its own.
TEST_F(TransferOrder, AHeaderWithoutPartsComesFromTheSpoolerJobRecord) {
  std::ofstream(root_.file(morva::recording::kFailFile)) << "Escape 20486\n";  // no header parts
  std::ofstream(root_.file(morva::recording::kHeaderDueFile)) << "1\n";
  std::vector<BYTE> plain, headed;
  std::string error;
  ASSERT_TRUE(morva::print_host::build_devmode(kPrinter, {}, {}, &plain, &error)) << error;
  ASSERT_TRUE(morva::print_host::build_devmode(kPrinter, {}, {{1298, "1"}, {353, "257"}}, &headed, &error)) << error;
  auto dc = PrinterDc::create(kPrinter, reinterpret_cast<const DEVMODEW*>(plain.data()), &error);
  ASSERT_NE(dc, nullptr) << error;
  ASSERT_TRUE(dc->start_doc(u"Spooled Header") && dc->start_page() && dc->line_to({50, 50}) && dc->end_page())
      << dc->failed_entry();
  ASSERT_TRUE(dc->reset_dc(headed) && dc->start_page() && dc->line_to({50, 50}) && dc->end_page() && dc->end_doc())
      << dc->failed_entry();
  std::ifstream in(morva::platform::job_spool_file(dc->job_id()));
  std::vector<int> texts;  // header texts per page
  for (std::string line; std::getline(in, line);) {
    if (line == "StartPage") texts.push_back(0);
    else if (!texts.empty() && line.rfind("TextOut", 0) == 0 && line.find("text Spooled Header") != std::string::npos)
      ++texts.back();
  }
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], 0) << "the header is off on the first page";
  EXPECT_EQ(texts[1], 1) << "the document name of the job record on the second";
}

}  // namespace
