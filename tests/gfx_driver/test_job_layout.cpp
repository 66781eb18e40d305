// Sheets, back faces, banner pages, per-page duplex, paper selection and
// DEVMODE changes between pages, printed on the demo printer through the
// print host and the real graphics driver and read back by the decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "gfx_demo.h"
#include "gfx_print_job.h"
#include "settings/database/ddd_file.h"
#include "settings/stores/printer_settings.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "printer_settings_store.h"
#include "printer_dc.h"
#include "temp_root.h"
#include "win/modules.h"
#include "win/spooler.h"

namespace {

using morva::tools::PdlDecodeResult;
using morva::tools::PdlItem;

class JobLayout : public ::testing::Test {
 protected:
  void SetUp() override { morva::test::InstallDemoPrinter(); }
  void TearDown() override { morva::platform::clear_spool_faults(); }

  // Prints `pages` pages with one line each; `settings` are the document's
  // extra top-level members, `page_devmode[i]` the DEVMODE fields that
  // change before page i.
  morva::print_host::PrintResult print(const std::string& settings, int pages,
                                       const std::vector<std::string>& page_devmode = {}) {
    std::string json = R"({"printer": "Morva Demo Printer", "document": "Layout", "units": "px")";
    if (!settings.empty()) json += ", " + settings;
    json += R"(, "pages": [)";
    for (int i = 0; i < pages; ++i) {
      json += std::string(i ? "," : "") + R"({"ops": [{"op": "line", "from": [100, 100], "to": [400, 300]}])";
      if (static_cast<std::size_t>(i) < page_devmode.size() && !page_devmode[i].empty())
        json += R"(, "devmode": )" + page_devmode[i];
      json += "}";
    }
    json += "]}";
    auto r = morva::test::PrintJson(json, root_.path());
    decoded_ = {};
    bytes_.clear();
    if (r.ok) {
      std::string path = morva::platform::job_spool_file(r.job_id);
      decoded_ = morva::tools::DecodeSpoolFilePath(path);
      std::ifstream in(path, std::ios::binary);
      bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return r;
  }

  // The sheet-level sequence: page begins with their source, sheet ends,
  // page ends, sheet changes, duplex values and the back-face comment.
  std::vector<std::string> frame() const {
    std::vector<std::string> out;
    for (const PdlItem& i : decoded_.items) {
      if (i.kind != PdlItem::Operator) continue;
      const std::string& n = i.text;
      if (n == "Ec")
        out.push_back("Ec" + std::to_string(operand(i, 1)));
      else if (n == "FE" || n == "FH")
        out.push_back(n + std::to_string(operand(i, 0)) + (n == "FH" ? "," + std::to_string(operand(i, 1)) : ""));
      else if (n == "FB" || n == "ED" || n == "FC" || n == "EB")
        out.push_back(n);
      else if (n == "EP" && comment(i).find("skip backface of duplex") != std::string::npos)
        out.push_back("skip");
      else if (n == "EP" && comment(i).find("EndJob with left Nup") != std::string::npos)
        out.push_back("left");
    }
    return out;
  }
  static std::int64_t operand(const PdlItem& item, std::size_t n) {
    return n < item.operands.size() ? item.operands[n].i : -1;
  }
  std::string comment(const PdlItem& item) const {
    for (const auto& v : item.operands)
      if (v.kind == morva::tools::PdlValue::Bytes && v.offset + static_cast<std::size_t>(v.i) <= bytes_.size())
        return bytes_.substr(v.offset, static_cast<std::size_t>(v.i));
    return {};
  }
  std::vector<const PdlItem*> ops(const std::string& name) const {
    std::vector<const PdlItem*> out;
    for (const PdlItem& i : decoded_.items)
      if (i.kind == PdlItem::Operator && i.text == name) out.push_back(&i);
    return out;
  }

  morva::test::TempRoot root_;
  PdlDecodeResult decoded_;
  std::string bytes_;
};

// A page on the demo printer's automatic tray (source 7).
const std::vector<std::string> kPage = {"Ec7", "FB", "ED"};

std::vector<std::string> pages(int n, std::vector<std::string> tail = {}) {
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) out.insert(out.end(), kPage.begin(), kPage.end());
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

TEST_F(JobLayout, TwoSidedSheetsGetABlankBackFaceOnlyWhereTheJobAsks) {
  struct Case {
    const char* name;
    const char* settings;
    int pages;
    std::vector<std::string> frame;
    DWORD version = 0x01010501;  // the printer's PDL version
  } cases[] = {
      {"one-sided", R"("devmode": {"dmDuplex": "1"})", 3, pages(3, {"EB"})},
      // The printer turns an odd last sheet over by itself.
      {"two-sided", R"("devmode": {"dmDuplex": "2"})", 3, pages(3, {"EB"})},
      // Pages played last first need the empty side written. They are
      // recorded and played at the document end, after the skip event
      // that the fill wrote at once.
      {"reverse order, odd", R"("devmode": {"dmDuplex": "2"}, "ddmid": {"1312": 1})", 3,
       [] { auto f = pages(4, {"EB"}); f.insert(f.begin(), "skip"); return f; }()},
      {"reverse order, even", R"("devmode": {"dmDuplex": "2"}, "ddmid": {"1312": 1})", 2, pages(2, {"EB"})},
      // From this version on a blank page ends with its own sheet value.
      {"reverse order, newer printer", R"("devmode": {"dmDuplex": "2"}, "ddmid": {"1312": 1})", 1,
       {"skip", "Ec7", "FE17", "ED", "Ec7", "FB", "ED", "EB"}, 0x01020000},
  };
  for (const Case& c : cases) {
    store_printer_settings({{8205, c.version}});
    auto r = print(c.settings, c.pages);
    ASSERT_TRUE(r.ok) << c.name << ": " << r.error << " " << r.failed_entry;
    ASSERT_TRUE(decoded_.ok) << c.name << ": " << decoded_.error;
    EXPECT_EQ(frame(), c.frame) << c.name;
  }
}

TEST_F(JobLayout, SheetsHoldTheirLogicalPagesAndTheDocumentEndClosesAPartOne) {
  auto r = print(R"("ddmid": {"295": 4})", 6);
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error;
  EXPECT_EQ(frame(), (std::vector<std::string>{"Ec7", "FB", "ED", "Ec7", "left", "FB", "ED", "EB"}));
  EXPECT_EQ(decoded_.summary.pages, 2u);
  // A document without pages writes nothing and still succeeds.
  std::string error;
  auto dc = morva::print_host::PrinterDc::create(morva::gfx_demo::kDemoPrinter, nullptr, &error);
  ASSERT_NE(dc, nullptr) << error;
  ASSERT_TRUE(dc->start_doc(u"Empty")) << dc->failed_entry();
  const DWORD job = dc->job_id();
  EXPECT_TRUE(dc->end_doc()) << dc->failed_entry();
  EXPECT_EQ(morva::test::read_file(morva::platform::job_spool_file(job)), "");
}

TEST_F(JobLayout, ALayoutValueOutsideItsTableFailsTheJob) {
  struct Case {
    const char* ddmid;
    bool ok;
  } cases[] = {
      {R"({"1281": 1, "263": 400})", true},
      {R"({"1281": 1, "263": 24})", false},
      {R"({"1281": 0, "263": 24})", true},  // scaling off: 100 %
      {R"({"295": 4, "1281": 1, "263": 24})", true},  // N-up prints at 100 %
      {R"({"295": 3})", false},
      {R"({"264": 7})", false},
  };
  std::vector<DWORD> printed;
  for (const Case& c : cases) {
    auto r = print(std::string(R"("ddmid": )") + c.ddmid, 1);
    EXPECT_EQ(r.ok, c.ok) << c.ddmid << " " << r.error;
    if (r.ok) printed.push_back(r.job_id);
  }
  // The failed jobs are not marked complete.
  for (const auto& job : morva::platform::spool_jobs(morva::gfx_demo::kDemoPrinter))
    if (std::find(printed.begin(), printed.end(), job.id) == printed.end()) {
      EXPECT_EQ(job.status & (JOB_STATUS_COMPLETE | JOB_STATUS_PRINTED), 0u) << job.id;
    }
}

TEST_F(JobLayout, EveryLogicalPageCarriesTheJobFlagsForPrintersThatKnowThem) {
  struct Case {
    DWORD version;
    const char* ddmid;
    std::int64_t ff, ai;  // -1: not written
  } cases[] = {
      {0x01010601, R"({"1293": 1, "1294": 1})", -1, -1},
      {0x01010701, R"({"1293": 1, "1294": 1})", 5, 1},
      {0x01010701, R"({"1293": 0, "1294": 1})", 4, 0},
      {0x01010701, R"({"1293": 0, "1294": 0})", 0, 0},
  };
  for (const Case& c : cases) {
    store_printer_settings({{8205, c.version}});
    auto r = print(std::string(R"("ddmid": )") + c.ddmid, 2);
    ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    auto ff = ops("FF"), ai = ops("AI");
    ASSERT_EQ(ff.size(), c.ff < 0 ? 0u : 2u) << c.ddmid;
    ASSERT_EQ(ai.size(), ff.size()) << c.ddmid;
    for (std::size_t i = 0; i < ff.size(); ++i) {
      EXPECT_EQ(operand(*ff[i], 0), c.ff) << c.ddmid;
      EXPECT_EQ(operand(*ai[i], 0), c.ai) << c.ddmid;
    }
  }
}

TEST_F(JobLayout, PageBeginsCarryTheSheetOrientationForPrintersThatTakeIt) {
  struct Case {
    DWORD version;
    const char* orientation;
    std::int64_t code;  // -1: not written
  } cases[] = {
      {0x01020005, "1", -1},
      {0x01020006, "1", 1},
      {0x01020006, "2", 3},
  };
  for (const Case& c : cases) {
    store_printer_settings({{8205, c.version}});
    auto r = print(std::string(R"("devmode": {"dmOrientation": ")") + c.orientation + R"("})", 2);
    ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    // Directly after each page begin, as the turning matrix of the code.
    auto code_of = [](const PdlItem& aa) -> std::int64_t {
      const std::int64_t a = operand(aa, 0), b = operand(aa, 1);
      return a == 1 ? 1 : a == -1 ? 2 : b == 1 ? 3 : b == -1 ? 4 : 0;
    };
    std::vector<std::int64_t> codes;
    for (std::size_t i = 0; i + 1 < decoded_.items.size(); ++i)
      if (decoded_.items[i].text == "Ec")
        codes.push_back(decoded_.items[i + 1].text == "AA" ? code_of(decoded_.items[i + 1]) : -1);
    EXPECT_EQ(codes, std::vector<std::int64_t>(2, c.code)) << c.version << " " << c.orientation;
  }
}

TEST_F(JobLayout, TheAnnotationTextOpensEveryLogicalPage) {
  for (DWORD version : {0x01010901u, 0x01010902u}) {
    store_printer_settings({{8205, version}});
    auto r = print(R"("ddmid": {"339": 1, "340": "Draft"})", 2);
    ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    ASSERT_TRUE(decoded_.ok) << decoded_.error;
    auto texts = ops("Eg");
    ASSERT_EQ(texts.size(), 2u);
    for (const PdlItem* t : texts) {
      EXPECT_EQ(comment(*t), "Draft");
    }
    // The job start names it too, for printers from the version that read it.
    auto header = ops("EH");
    ASSERT_EQ(header.size(), version >= 0x01010902u ? 1u : 0u) << version;
    if (!header.empty()) {
      EXPECT_EQ(comment(*header[0]), "Draft");
    }
  }
  auto r = print(R"("ddmid": {"339": 0, "340": "Draft"})", 2);
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  EXPECT_TRUE(ops("Eg").empty());
}

TEST_F(JobLayout, BannerSheetsComeFromTheirTrayBeforeTheFirstPage) {
  // Source 2 is the job's own tray; the banner tray is 5.
  store_printer_settings({{8205, 0x01020000}});
  auto r = print(R"("ddmid": {"265": 2, "332": 2, "333": 5})", 2);
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error;
  EXPECT_EQ(frame(), (std::vector<std::string>{"Ec5", "FE17", "ED", "FC", "Ec2", "FB", "ED", "Ec2", "FB", "ED", "EB"}));
  // A banner page: the first page itself is printed from the banner tray.
  r = print(R"("ddmid": {"265": 2, "332": 1, "333": 5})", 2);
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  EXPECT_EQ(frame(), (std::vector<std::string>{"Ec5", "FB", "ED", "Ec2", "FB", "ED", "EB"}));
  // A tray the application chose leaves no banner.
  r = print(R"("ddmid": {"265": 258, "332": 1, "333": 5})", 2);
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  EXPECT_EQ(frame(), pages(2, {"EB"}));
}

TEST_F(JobLayout, PerPageDuplexChangesStartANewSheet) {
  store_printer_settings({{8205, 0x01020008}, {4103, 1}});
  const char* settings = R"("devmode": {"dmDuplex": "2"}, "ddmid": {"1350": 1})";
  auto r = print(settings, 3, {"", R"({"dmDuplex": "1"})", R"({"dmDuplex": "2"})"});
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error;
  // Two-sided first, the second page alone on a one-sided sheet (the back
  // of the first stays empty), then two-sided again.
  EXPECT_EQ(frame(), (std::vector<std::string>{"FH1,2", "Ec7", "FB", "ED", "skip", "FH0,2", "Ec7", "FB", "ED",
                                               "FH1,2", "Ec7", "FB", "ED", "EB"}));
  // Without the per-page switch the job's duplex value holds throughout.
  r = print(R"("devmode": {"dmDuplex": "2"})", 3, {"", R"({"dmDuplex": "1"})"});
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  EXPECT_EQ(frame(), pages(3, {"EB"}));
}

TEST_F(JobLayout, AResetAfterTheFirstPageKeepsTheJobsSettingsButThePaper) {
  // Colour is a job setting: once the output began a new DEVMODE cannot
  // change it; before that the new DEVMODE is the job's.
  auto r = print(R"("devmode": {"dmColor": "2"})", 2, {"", R"({"dmColor": "1", "dmOrientation": "2"})"});
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error;
  EXPECT_EQ(decoded_.summary.jobs, 1u);
  auto begins = ops("Ec");
  ASSERT_EQ(begins.size(), 2u);
  EXPECT_EQ(operand(*begins[0], 0), 3);
  EXPECT_EQ(operand(*begins[1], 0), 3);
  r = print(R"("devmode": {"dmColor": "2"})", 2, {R"({"dmColor": "1"})"});
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  begins = ops("Ec");
  ASSERT_EQ(begins.size(), 2u);
  EXPECT_EQ(operand(*begins[0], 0), 1);
  EXPECT_EQ(operand(*begins[1], 0), 1);
  // A new paper after the first page: the sheet stays the job's unless it
  // follows the page.
  for (auto [follows, width] : {std::pair{false, 210.0}, std::pair{true, 215.9}}) {
    r = print(follows ? R"("ddmid": {"262": 267})" : "", 2, {"", R"({"dmFormName": "Letter"})"});
    ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    begins = ops("Ec");
    ASSERT_EQ(begins.size(), 2u);
    ASSERT_EQ(begins[1]->operands.size(), 5u);
    EXPECT_NEAR(begins[0]->operands[3].f, 210.0, 0.01) << follows;
    EXPECT_NEAR(begins[1]->operands[3].f, width, 0.01) << follows;
  }
}

}  // namespace

namespace {

struct PaperCase {
  const char* name;
  std::map<std::string, std::string> fields;
  std::map<WORD, std::string> ddmid;
  LONG phys_cx, phys_cy, offset;  // device pixels at 600 dpi
  double sheet_w, sheet_h;        // millimetres on the page begin
};

TEST_F(JobLayout, ThePageTakesItsPaperFromTheFormOrCustomSizeAndTheSheetFromTheOutputPaper) {
  const std::map<std::string, std::string> kCustom = {{"dmFormName", ""}};
  auto custom = [&](const char* w, const char* h, std::map<std::string, std::string> more = {}) {
    auto f = kCustom;
    f["dmPaperWidth"] = w;
    f["dmPaperLength"] = h;
    f.insert(more.begin(), more.end());
    return f;
  };
  const PaperCase cases[] = {
      {"A4 form", {}, {}, 4961, 7016, 99, 210, 297},
      {"Letter form", {{"dmFormName", "Letter"}}, {}, 5100, 6600, 99, 215.9, 279.4},
      // Within a millimetre of A4: A4's margins, its own size on an A4 sheet.
      {"near A4", custom("2105", "2965"), {}, 4972, 7004, 99, 210.5, 296.5},
      // A custom size is printed on the default paper, standing in for it...
      {"custom", custom("1000", "1500"), {}, 2362, 3543, 99, 210, 297},
      // ...unless the application asks for a paper of its own size.
      {"user size", custom("1000", "1500", {{"dmPaperSize", "256"}}), {}, 2362, 3543, 99, 100, 150},
      {"edge to edge", {}, {{383, "1"}}, 4961, 7016, 0, 210, 297},
      // An output paper of its own: A4 pages on Letter sheets.
      {"Letter sheets", {}, {{262, "1"}}, 4961, 7016, 99, 215.9, 279.4},
      {"sheet follows page", {{"dmFormName", "Letter"}}, {{262, "267"}}, 5100, 6600, 99, 215.9, 279.4},
  };
  for (const PaperCase& c : cases) {
    std::vector<BYTE> dm;
    std::string error;
    ASSERT_TRUE(morva::print_host::build_devmode(morva::gfx_demo::kDemoPrinter, c.fields, c.ddmid, &dm, &error))
        << error;
    auto dc = morva::print_host::PrinterDc::create(morva::gfx_demo::kDemoPrinter,
                                                   reinterpret_cast<DEVMODEW*>(dm.data()), &error);
    ASSERT_NE(dc, nullptr) << c.name << ": " << error;
    const GDIINFO& g = dc->gdi_info();
    EXPECT_EQ(g.szlPhysSize.cx, c.phys_cx) << c.name;
    EXPECT_EQ(g.szlPhysSize.cy, c.phys_cy) << c.name;
    EXPECT_EQ(g.ptlPhysOffset.x, c.offset) << c.name;
    EXPECT_EQ(g.ptlPhysOffset.y, c.offset) << c.name;
    dc.reset();
    std::string fields, ids;
    for (const auto& [k, v] : c.fields) fields += (fields.empty() ? "\"" : ", \"") + k + "\": \"" + v + "\"";
    for (const auto& [k, v] : c.ddmid) ids += (ids.empty() ? "\"" : ", \"") + std::to_string(k) + "\": " + v;
    auto r = print(R"("devmode": {)" + fields + R"(}, "ddmid": {)" + ids + "}", 1);
    ASSERT_TRUE(r.ok) << c.name << ": " << r.error << " " << r.failed_entry;
    auto begins = ops("Ec");
    ASSERT_EQ(begins.size(), 1u) << c.name;
    ASSERT_EQ(begins[0]->operands.size(), 5u) << c.name;
    EXPECT_NEAR(begins[0]->operands[3].f, c.sheet_w, 0.01) << c.name;
    EXPECT_NEAR(begins[0]->operands[4].f, c.sheet_h, 0.01) << c.name;
  }
}

}  // namespace
