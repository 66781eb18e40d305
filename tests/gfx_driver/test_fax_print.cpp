// Fax jobs on a fax device through the print host: the demo printer's
// database made a fax device, a destination list in the fax address file,
// and one spooler job per destination, each with its cover page and the
// fax attribute line of its destination, read back by the decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fax_device_printer.h"
#include "gfx_print_job.h"
#include "gfx_demo.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "temp_root.h"
#include "win/paths.h"
#include "win/spooler.h"

namespace {

using morva::tools::PdlItem;

// The destination list the tests write, with its subject and comment.
std::string destination_list(const std::vector<std::pair<std::u16string, std::u16string>>& entries) {
  return morva::test::FaxDestinationList(entries, u"Quarterly figures", u"Please see the attached pages.");
}

class FaxPrint : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(morva::test::install_fax_device_printer(root_.path(), false, &error)) << error;
    morva::test::write_file(morva::platform::native_path(u"C:\\fax\\addresses.tmp"),
                            destination_list({{u"Ann", u"0301"}, {u"Ben", u"0302"}, {u"Cid", u"0303"}}));
  }

  morva::print_host::PrintResult print(int pages, long one_job, long cover_only = 0, long paper = 9) {
    std::string json = R"({"printer": "Morva Demo Printer", "document": "Fax", "units": "px",
        "ddmid": {"375": "C:\\fax\\addresses.tmp", "376": 1, "377": 1, "379": )" +
                       std::to_string(one_job) + R"(, "380": 3, "381": )" + std::to_string(cover_only) +
                       R"(, "8": )" + std::to_string(paper) + R"(}, "pages": [)";
    // Every page draws; the pages of a cover-only job are not printed.
    for (int i = 0; i < pages; ++i)
      json += std::string(i ? "," : "") + R"({"ops": [{"op": "rectangle", "rect": [)" + std::to_string(100 + 10 * i) +
              ", 100, 900, 900]}]}";
    json += "]}";
    return morva::test::PrintJson(json, root_.path());
  }

  struct Job {
    std::u16string document;
    std::string bytes;
    std::vector<std::string> ops;
    std::vector<PdlItem> page_begins;
    bool decoded = false;
  };
  std::vector<Job> jobs() const {
    std::vector<Job> out;
    for (const auto& j : morva::platform::spool_jobs(morva::gfx_demo::kDemoPrinter)) {
      Job job;
      job.document = j.document;
      job.bytes = morva::test::read_file(j.spool_file);
      auto decoded = morva::tools::DecodeSpoolFilePath(j.spool_file);
      job.decoded = decoded.ok && decoded.summary.jobs == 1;
      if (!job.decoded) ADD_FAILURE() << decoded.error << " at " << decoded.error_offset;
      for (const PdlItem& i : decoded.items)
        if (i.kind == PdlItem::Operator) {
          job.ops.push_back(i.text);
          if (i.text == "Ec") job.page_begins.push_back(i);
        }
      out.push_back(job);
    }
    return out;
  }
  static int count(const std::vector<std::string>& v, const std::string& s) {
    return static_cast<int>(std::count(v.begin(), v.end(), s));
  }
  static int occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  morva::test::TempRoot root_;
};

TEST_F(FaxPrint, OneJobPerDestinationWithItsCoverPage) {
  auto r = print(2, 0);
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  auto all = jobs();
  ASSERT_EQ(all.size(), 3u);
  const char* numbers[] = {"0301", "0302", "0303"};
  for (std::size_t i = 0; i < all.size(); ++i) {
    const Job& job = all[i];
    SCOPED_TRACE("destination " + std::to_string(i));
    EXPECT_EQ(job.document, u"Fax");
    ASSERT_TRUE(job.decoded);
    // The cover page and the two pages of the document.
    EXPECT_EQ(count(job.ops, "Ec"), 3);
    EXPECT_GT(count(job.ops, "Dd"), 0);  // the cover's text in device fonts
    // The header addresses this destination alone.
    EXPECT_EQ(occurrences(job.bytes, "@FANU="), 1);
    for (std::size_t k = 0; k < 3; ++k)
      EXPECT_EQ(job.bytes.find(std::string("@FANU=") + numbers[k]) != std::string::npos, k == i) << numbers[k];
  }
}

TEST_F(FaxPrint, OneJobForAllDestinations) {
  auto r = print(1, 1);
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  auto all = jobs();
  ASSERT_EQ(all.size(), 1u);
  ASSERT_TRUE(all[0].decoded);
  // The cover page (for the first destination) and the document's page.
  EXPECT_EQ(count(all[0].ops, "Ec"), 2);
  EXPECT_GT(count(all[0].ops, "Dd"), 0);
  EXPECT_EQ(occurrences(all[0].bytes, "@FANU="), 3);
}

TEST_F(FaxPrint, CoverOnlyJobPrintsItsCoverOnItsOwnPaper) {
  // Letter paper for the document: the cover has a sheet of its own (A4).
  auto r = print(2, 1, 1, 1);
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  auto all = jobs();
  ASSERT_EQ(all.size(), 1u);
  ASSERT_TRUE(all[0].decoded);
  EXPECT_EQ(count(all[0].ops, "Ec"), 1);
  EXPECT_GT(count(all[0].ops, "Dd"), 0);
  // The pages' drawings succeed and leave nothing in the job.
  EXPECT_EQ(count(all[0].ops, "CG") + count(all[0].ops, "Cg"), 0);
  ASSERT_EQ(all[0].page_begins.size(), 1u);
  const PdlItem& begin = all[0].page_begins[0];
  ASSERT_EQ(begin.operands.size(), 5u);
  EXPECT_NEAR(begin.operands[3].f, 210.0, 0.01);
  EXPECT_NEAR(begin.operands[4].f, 297.0, 0.01);
}

TEST_F(FaxPrint, TheFaxAddressFileIsDeletedAtTheDocumentEnd) {
  const std::string file = morva::platform::native_path(u"C:\\fax\\addresses.tmp");
  for (long one_job : {0, 1}) {
    morva::test::write_file(file, destination_list({{u"Ann", u"0301"}, {u"Ben", u"0302"}}));
    auto r = print(1, one_job);
    ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    EXPECT_FALSE(std::filesystem::exists(file)) << "one job " << one_job;
  }
}

}  // namespace
