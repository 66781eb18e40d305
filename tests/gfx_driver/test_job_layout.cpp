// Sheets, back faces, banner pages, per-page duplex, paper selection and
// DEVMODE changes between pages, printed on the demo printer through the
// print host and the real graphics driver and read back by the decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gfx_demo.h"
#include "settings/database/ddd_file.h"
#include "settings/stores/printer_settings.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "printer_dc.h"
#include "temp_root.h"
#include "win/modules.h"
#include "win/spooler.h"

namespace {

using morva::tools::PdlDecodeResult;
using morva::tools::PdlItem;

// Stores settings of the printer's own block (not the DEVMODE's) for the
// demo printer: each id with its value at the setting's width.
void store_printer_settings(const std::vector<std::pair<WORD, DWORD>>& values) {
  std::u16string name = morva::gfx_demo::kDemoPrinter;
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
  ASSERT_TRUE(OpenPrinterW(name.data(), &printer, &access));
  DddHandle* database = DddOpen(printer);
  ASSERT_NE(database, nullptr);
  std::vector<BYTE> block(kPrinterDataBlockSize);
  ASSERT_EQ(ReadPrinterSettings(printer, block.data(), database), 1);
  HMODULE dat = LoadLibraryW(u"morvadat.dll");
  using Get = WORD (*)(WORD, void*, void*, WORD*, DWORD*, void*, WORD*);
  using Set = WORD (*)(WORD, void*, void*, WORD, DWORD, const void*);
  auto get = dat ? morva_proc_as<Get>(GetProcAddress(dat, "dma_GetValue")) : nullptr;
  auto set = dat ? morva_proc_as<Set>(GetProcAddress(dat, "dma_SetValue")) : nullptr;
  ASSERT_TRUE(get && set);
  std::vector<BYTE> devmode(5988);
  for (auto [id, value] : values) {
    WORD type = 0, selector = 0;
    DWORD size = 0, slot = 0;
    ASSERT_EQ(get(id, devmode.data(), block.data(), &type, &size, &slot, &selector), 0) << id;
    EXPECT_EQ(set(id, devmode.data(), block.data(), type, size, &value), 0) << id;
  }
  FreeLibrary(dat);
  EXPECT_EQ(InitializePrinterSettings(printer, block.data(), database, TRUE), 1);
  DddClose(database);
  ClosePrinter(printer);
}

class JobLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error)) << error;
    ASSERT_TRUE(morva::gfx_demo::make_dc_devmode_default(morva::gfx_demo::kDemoPrinter, &error)) << error;
  }
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
    morva::print_host::Document doc;
    std::string error;
    EXPECT_TRUE(morva::print_host::parse_document(json, "doc.json", root_.path(), &doc, &error)) << error;
    auto r = morva::print_host::print_document(doc);
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
      // Pages played last first need the empty side written.
      {"reverse order, odd", R"("devmode": {"dmDuplex": "2"}, "ddmid": {"1312": 1})", 3,
       pages(4, {"skip", "EB"})},
      {"reverse order, even", R"("devmode": {"dmDuplex": "2"}, "ddmid": {"1312": 1})", 2, pages(2, {"EB"})},
      // From this version on a blank page ends with its own sheet value.
      {"reverse order, newer printer", R"("devmode": {"dmDuplex": "2"}, "ddmid": {"1312": 1})", 1,
       {"Ec7", "FB", "ED", "Ec7", "FE17", "ED", "skip", "EB"}, 0x01020000},
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
}

}  // namespace
