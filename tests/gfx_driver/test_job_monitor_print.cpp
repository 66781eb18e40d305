// The job-monitor registration of a job printed through the print host:
// the stand-in client library, installed through the registry, sees the job
// with its document name cut to what its record holds, and the job header
// carries the registration's id.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <filesystem>

#include <nlohmann/json.hpp>

#include "ddd_builder.h"
#include "gfx_demo.h"
#include "gfx_print_job.h"
#include "print_job.h"
#include "temp_root.h"
#include "win/errors.h"
#include "win/registry.h"
#include "win/spooler.h"

namespace {

class JobMonitorPrint : public ::testing::Test {
 protected:
  void SetUp() override {
    // The demo database with the job-monitor switch as an item (off, on) and
    // a header line that carries the registration's id.
    morva::test::InstallDemoPrinterWith(root_.path() + "/monitor_database", morva::test::AddJobMonitorHeaderLine);
    log_path_ = root_.file("wqlib.log");
    morva::test::RegisterJobMonitorClient(log_path_);
  }
  void TearDown() override {
    unsetenv("MV_WQLIB_LOG");
    unsetenv("MV_WQLIB_REFUSE");
  }

  // By default the graphics driver builds the header itself (no header set
  // from the interface library) and registers the job.
  morva::print_host::PrintResult print(const std::string& name,
                                       const std::string& settings = R"("1321": 1, "1333": 0)") {
    std::string json = R"({"printer": "Morva Demo Printer", "document": ")" + name + R"(", "units": "px",
        "ddmid": {)" + settings + R"(},
        "pages": [{"ops": [{"op": "line", "from": [100, 100], "to": [400, 300]}]}]})";
    return morva::test::PrintJson(json, root_.path());
  }
  std::vector<std::string> set_lines() const {
    std::vector<std::string> out;
    for (const std::string& line : log())
      if (line.rfind("Set: ", 0) == 0) out.push_back(line);
    return out;
  }
  std::vector<std::string> log() const { return morva::test::ReadLogLines(log_path_); }

  morva::test::TempRoot root_;
  std::string log_path_;
};

TEST_F(JobMonitorPrint, TheMonitorSeesTheJobWithItsNameCut) {
  auto r = print(std::string(300, 'n'));
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  std::string set, sent;
  for (const std::string& line : log()) {
    if (line.rfind("Set: ", 0) == 0) set = line;
    if (line == "Send") sent = line;
  }
  ASSERT_FALSE(set.empty()) << log().size() << " lines: " << (log().empty() ? std::string() : log()[0]);
  EXPECT_EQ(sent, "Send");
  EXPECT_NE(set.find("id=C1.J42 kind=0"), std::string::npos) << set;
  EXPECT_NE(set.find("document=" + std::string(259, 'n')), std::string::npos) << set;
  EXPECT_EQ(set.find("document=" + std::string(260, 'n')), std::string::npos) << set;
  std::ifstream in(morva::platform::job_spool_file(r.job_id), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(bytes.find("@PJL SET JOBID=C1.J42\n"), std::string::npos);
}

TEST_F(JobMonitorPrint, ARefusingMonitorLeavesTheJobUnregistered) {
  setenv("MV_WQLIB_REFUSE", "Set", 1);
  auto r = print("Doc");
  ASSERT_TRUE(r.ok) << r.error;
  std::ifstream in(morva::platform::job_spool_file(r.job_id), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.find("C1.J42"), std::string::npos);
  for (const std::string& line : log()) EXPECT_NE(line, "Send");
}

TEST_F(JobMonitorPrint, TheInterfaceLibraryRegistersTheJobAsItStarts) {
  // With its header set on, the interface library registers the job as the
  // document starts and sends the registration at once; the graphics library
  // then takes that header and registers nothing of its own. Either way the
  // job is registered exactly once, and its header carries that id.
  std::size_t registrations[2] = {};
  for (long interface_headers : {0, 1}) {
    SCOPED_TRACE(interface_headers);
    std::remove(log_path_.c_str());
    auto r = print("Letter", R"("1321": 1, "1333": )" + std::to_string(interface_headers));
    ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    const std::string bytes = morva::test::read_file(morva::platform::job_spool_file(r.job_id));
    EXPECT_NE(bytes.find("@PJL SET JOBID=C1.J42\n"), std::string::npos);
    auto sets = set_lines();
    registrations[interface_headers] = sets.size();
    for (const std::string& set : sets) {
      EXPECT_NE(set.find("kind=0"), std::string::npos) << set;
      EXPECT_NE(set.find("document=Letter"), std::string::npos) << set;
    }
  }
  EXPECT_EQ(registrations[0], 1u);
  EXPECT_EQ(registrations[1], 1u);
  const auto lines = log();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Send"), static_cast<long>(registrations[1]));
}

TEST_F(JobMonitorPrint, AResentJobIsRegisteredAsStoredOutput) {
  // A stored job without the monitor, then a job that sends it again.
  auto stored = print("Stored", R"("1321": 0, "1333": 0, "336": 1, "338": "Invoice", "1829": "C:\\Jobs")");
  ASSERT_TRUE(stored.ok) << stored.error;
  EXPECT_TRUE(set_lines().empty());
  auto next = print("Next", R"("1321": 1, "1333": 0, "338": "Invoice", "1830": "C:\\Jobs\\Invoice.PRN")");
  ASSERT_TRUE(next.ok) << next.error;
  std::string resent_set;
  for (const std::string& line : set_lines())
    if (line.find("kind=7") != std::string::npos) resent_set = line;
  ASSERT_FALSE(resent_set.empty());
  EXPECT_NE(resent_set.find("text=Invoice document=Invoice"), std::string::npos) << resent_set;
  std::string bytes;
  for (const auto& job : morva::platform::spool_jobs(morva::gfx_demo::kDemoPrinter))
    if (job.document == u"Invoice.PRN") bytes = morva::test::read_file(job.spool_file);
  ASSERT_FALSE(bytes.empty());
  EXPECT_NE(bytes.find("@PJL SET JOBID=C1.J42\n"), std::string::npos);
}

}  // namespace
