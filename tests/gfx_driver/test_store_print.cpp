// Store mode on the demo printer through the print host: the job carries
// the first recorded sheet and lands in its output folder as a file; a file
// or folder that cannot be had is reported to the user.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "gfx_demo.h"
#include "gfx_print_job.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "temp_root.h"
#include "win/msgbox.h"
#include "win/paths.h"
#include "win/spooler.h"

namespace {

using morva::tools::PdlItem;

class StorePrint : public ::testing::Test {
 protected:
  void SetUp() override {
    morva::test::InstallDemoPrinter();
    morva::platform::reset_message_boxes();
  }
  void TearDown() override { morva::platform::reset_message_boxes(); }

  // Three pages in store mode, saved as `name` in `folder` (a JSON string).
  morva::print_host::PrintResult print(const std::string& folder, const std::string& name = "Invoice") {
    std::string json = R"({"printer": "Morva Demo Printer", "document": "Stored", "units": "px",
        "ddmid": {"336": 1, "338": ")" + name + R"(", "1829": )" + folder + R"(}, "pages": [)";
    for (int i = 0; i < 3; ++i)
      json += std::string(i ? "," : "") + R"({"ops": [{"op": "rectangle", "rect": [)" + std::to_string(100 + 10 * i) +
              ", 100, 900, 900]}]}";
    json += "]}";
    return morva::test::PrintJson(json, root_.path());
  }

  static std::vector<std::string> operators(const morva::tools::PdlDecodeResult& d) {
    std::vector<std::string> out;
    for (const PdlItem& i : d.items)
      if (i.kind == PdlItem::Operator) out.push_back(i.text);
    return out;
  }
  static int count(const std::vector<std::string>& ops, const std::string& name) {
    return static_cast<int>(std::count(ops.begin(), ops.end(), name));
  }

  morva::test::TempRoot root_;
};

TEST_F(StorePrint, FirstSheetGoesToSpoolerAndOutputFolder) {
  auto r = print(R"("C:\\Jobs\\Forms")");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  EXPECT_TRUE(morva::platform::message_box_log().empty());
  const std::string spool = morva::platform::job_spool_file(r.job_id);
  const std::string stored = morva::platform::native_path(u"C:\\Jobs\\Forms\\Invoice.PRN");
  ASSERT_TRUE(std::filesystem::exists(stored));
  // The file holds the job as the printer got it.
  EXPECT_EQ(morva::test::read_file(stored), morva::test::read_file(spool));
  auto decoded = morva::tools::DecodeSpoolFilePath(stored);
  ASSERT_TRUE(decoded.ok) << decoded.error << " at " << decoded.error_offset;
  EXPECT_EQ(decoded.summary.jobs, 1u);
  auto ops = operators(decoded);
  // One sheet of three, with the store name and the stored-page end, without
  // the quality operator and the sheet end.
  EXPECT_EQ(count(ops, "Ec"), 1);
  EXPECT_EQ(count(ops, "EE"), 1);
  EXPECT_EQ(count(ops, "EF"), 1);
  EXPECT_EQ(count(ops, "FA"), 0);
  EXPECT_EQ(count(ops, "FB"), 0);
}

TEST_F(StorePrint, SavedJobIsResentWithANewHeader) {
  auto stored = print(R"("C:\\Jobs")");
  ASSERT_TRUE(stored.ok) << stored.error;
  const std::string saved = morva::test::read_file(morva::platform::native_path(u"C:\\Jobs\\Invoice.PRN"));
  ASSERT_FALSE(saved.empty());
  // A plain job that names the saved file sends it first, as a job of its own.
  std::string json = R"({"printer": "Morva Demo Printer", "document": "Next", "units": "px",
      "ddmid": {"1830": "C:\\Jobs\\Invoice.PRN"},
      "pages": [{"ops": [{"op": "line", "from": [100, 100], "to": [400, 300]}]}]})";
  morva::print_host::Document doc;
  std::string error;
  ASSERT_TRUE(morva::print_host::parse_document(json, "doc.json", root_.path(), &doc, &error)) << error;
  auto next = morva::print_host::print_document(doc);
  ASSERT_TRUE(next.ok) << next.error;
  const morva::platform::SpoolJob* resent = nullptr;
  auto jobs = morva::platform::spool_jobs(morva::gfx_demo::kDemoPrinter);
  for (const auto& job : jobs)
    if (job.document == u"Invoice.PRN") resent = &job;
  ASSERT_NE(resent, nullptr);
  EXPECT_LT(resent->id, next.job_id);
  const std::string bytes = morva::test::read_file(resent->spool_file);
  auto decoded = morva::tools::DecodeSpoolFilePath(resent->spool_file);
  ASSERT_TRUE(decoded.ok) << decoded.error << " at " << decoded.error_offset;
  EXPECT_EQ(decoded.summary.jobs, 1u);
  auto ops = operators(decoded);
  EXPECT_EQ(count(ops, "Ec"), 1);
  EXPECT_EQ(count(ops, "EF"), 1);
  // The saved page data follows a header built now.
  const std::string language = "@PJL ENTER LANGUAGE=VANTIQ\n";
  const std::size_t body_in_saved = saved.find(language) + language.size();
  const std::size_t body_in_resent = bytes.find(language) + language.size();
  ASSERT_NE(body_in_saved, std::string::npos);
  ASSERT_NE(body_in_resent, std::string::npos);
  const std::size_t body_end = saved.rfind("\x1B%-12345X");
  EXPECT_EQ(bytes.substr(body_in_resent, body_end - body_in_saved), saved.substr(body_in_saved, body_end - body_in_saved));
  // The other job prints as it always does.
  EXPECT_TRUE(morva::tools::DecodeSpoolFilePath(morva::platform::job_spool_file(next.job_id)).ok);
}

TEST_F(StorePrint, StoreFileThatCannotBeOpenedFailsTheJobWithAMessage) {
  // A read-only file of the same name stands in the way.
  const std::string blocker = morva::platform::native_path(u"C:\\Jobs\\Invoice.PRN");
  morva::test::write_file(blocker, "old");
  std::filesystem::permissions(blocker, std::filesystem::perms::owner_read);
  auto r = print(R"("C:\\Jobs\\")");
  EXPECT_FALSE(r.ok);
  auto boxes = morva::platform::message_box_log();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find(u"could not be saved"), std::u16string::npos);
  EXPECT_NE(boxes[0].text.find(u"C:\\Jobs\\Invoice.PRN"), std::u16string::npos);
  EXPECT_EQ(morva::test::read_file(blocker), "old");
  // Nothing of the job was completed.
  for (const auto& job : morva::platform::spool_jobs(morva::gfx_demo::kDemoPrinter))
    EXPECT_EQ(job.status & (JOB_STATUS_COMPLETE | JOB_STATUS_PRINTED), 0u) << "job " << job.id;
}

TEST_F(StorePrint, FolderThatCannotBeCreatedAsksTheUser) {
  // A file where a folder level should be.
  morva::test::write_file(morva::platform::native_path(u"C:\\Jobs"), "a file");
  struct Case {
    INT answer;
    bool printed;
  } cases[] = {{IDOK, true}, {IDCANCEL, false}};
  for (const Case& c : cases) {
    morva::platform::reset_message_boxes();
    morva::platform::script_message_box_answers({c.answer});
    auto r = print(R"("C:\\Jobs\\Forms")");
    EXPECT_EQ(r.ok, c.printed) << c.answer << ": " << r.error;
    auto boxes = morva::platform::message_box_log();
    ASSERT_EQ(boxes.size(), 1u) << c.answer;
    EXPECT_EQ(boxes[0].style & 0xF, static_cast<UINT>(MB_OKCANCEL));
    EXPECT_NE(boxes[0].text.find(u"C:\\Jobs\\Forms"), std::u16string::npos);
    EXPECT_FALSE(std::filesystem::exists(morva::platform::native_path(u"C:\\Jobs\\Forms\\Invoice.PRN")));
  }
}

}  // namespace
