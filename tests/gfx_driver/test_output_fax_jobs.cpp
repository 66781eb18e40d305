// Fax jobs and the job monitor through the print host: whichever library
// builds the job headers, each job the driver sends is registered once, and
// its header addresses the destinations that job goes to. A cover-only test
// fax names its destination. Spool files are read back by the decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ddd_builder.h"
#include "fax_device_printer.h"
#include "gfx_print_job.h"
#include "gfx_demo.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "temp_root.h"
#include "win/errors.h"
#include "win/paths.h"
#include "win/registry.h"
#include "win/spooler.h"

namespace {

int occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class FaxJobMonitor : public ::testing::Test {
 protected:
  void SetUp() override {
    // The demo database as a fax device with room for the fax attribute
    // lines, the job-monitor switch as an item and a header line that
    // carries the registration's id.
    morva::test::InstallDemoPrinterWith(root_.path() + "/fax_monitor_database", [](nlohmann::json& d) {
      morva::test::MakeFaxDevice(d, false);
      morva::test::AddJobMonitorHeaderLine(d);
    });
    log_path_ = root_.file("wqlib.log");
    morva::test::RegisterJobMonitorClient(log_path_);
  }
  void TearDown() override { unsetenv("MV_WQLIB_LOG"); }

  void write_list(const std::vector<std::pair<std::u16string, std::u16string>>& entries) {
    morva::test::write_file(morva::platform::native_path(u"C:\\fax\\addresses.tmp"), morva::test::FaxDestinationList(entries));
  }

  morva::print_host::PrintResult print(const std::string& settings) {
    std::remove(log_path_.c_str());
    const std::string json = R"({"printer": "Morva Demo Printer", "document": "Fax", "units": "px",
        "ddmid": {"375": "C:\\fax\\addresses.tmp", "377": 1, "1321": 1, )" + settings + R"(},
        "pages": [{"ops": [{"op": "rectangle", "rect": [100, 100, 900, 900]}]}]})";
    return morva::test::PrintJson(json, root_.path());
  }

  // The spool files of the jobs of the print `r` (its own job and those
  // opened after it), each checked to decode as one job.
  std::vector<std::string> jobs(const morva::print_host::PrintResult& r) const {
    std::vector<std::string> out;
    for (const auto& j : morva::platform::spool_jobs(morva::gfx_demo::kDemoPrinter)) {
      if (j.id < r.job_id) continue;
      auto decoded = morva::tools::DecodeSpoolFilePath(j.spool_file);
      EXPECT_TRUE(decoded.ok && decoded.summary.jobs == 1) << decoded.error << " at " << decoded.error_offset;
      out.push_back(morva::test::read_file(j.spool_file));
    }
    return out;
  }
  std::vector<std::string> log() const { return morva::test::ReadLogLines(log_path_); }
  long count_log(const std::string& prefix) const {
    const auto lines = log();
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  }

  morva::test::TempRoot root_;
  std::string log_path_;
};

TEST_F(FaxJobMonitor, EachJobSentIsRegisteredOnceAndAddressesItsDestinations) {
  struct Case {
    const char* what;
    const char* settings;
    std::size_t jobs;
    int lines_per_job;  // fax attribute lines in each job's header
  };
  const Case cases[] = {
      {"a job per destination", R"("376": 1, "379": 0, "380": 3)", 3, 1},
      {"one job for all", R"("376": 1, "379": 1, "380": 3)", 1, 3},
      // Without a cover there is one job, so its header names everybody.
      {"no cover, not one job for all", R"("376": 0, "379": 0, "380": 3)", 1, 3},
  };
  for (const Case& c : cases) {
    // 1333: the interface library builds the headers and registers the
    // jobs as the document starts; without it the graphics library does.
    for (int interface_headers : {0, 1}) {
      SCOPED_TRACE(std::string(c.what) + ", interface headers " + std::to_string(interface_headers));
      write_list({{u"Ann", u"0301"}, {u"Ben", u"0302"}, {u"Cid", u"0303"}});
      auto r = print(std::string(c.settings) + R"(, "1333": )" + std::to_string(interface_headers));
      ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
      const auto all = jobs(r);
      ASSERT_EQ(all.size(), c.jobs);
      EXPECT_EQ(count_log("Set: "), static_cast<long>(c.jobs));
      EXPECT_EQ(count_log("Send"), static_cast<long>(c.jobs));
      const char* numbers[] = {"0301", "0302", "0303"};
      for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(occurrences(all[i], "@PJL SET JOBID=C1.J42\n"), 1) << "job " << i;
        EXPECT_EQ(occurrences(all[i], "@FANU="), c.lines_per_job) << "job " << i;
        if (c.jobs > 1) {
          EXPECT_NE(all[i].find(std::string("@FANU=") + numbers[i]), std::string::npos) << "job " << i;
        }
      }
    }
  }
}

TEST_F(FaxJobMonitor, ACoverOnlyTestFaxNamesItsDestination) {
  // The cover sheet's test print: the list file holds the first destination
  // alone while 380 keeps the sheet's count of three for the cover text.
  for (int interface_headers : {0, 1}) {
    SCOPED_TRACE(interface_headers);
    write_list({{u"Ann", u"0301"}});
    auto r = print(R"("376": 1, "379": 0, "380": 3, "381": 1, "1333": )" + std::to_string(interface_headers));
    ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    const auto all = jobs(r);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(occurrences(all[0], "@FANU="), 1);
    EXPECT_NE(all[0].find("@FANU=0301"), std::string::npos);
    EXPECT_EQ(count_log("Set: "), 1);
  }
}

}  // namespace
