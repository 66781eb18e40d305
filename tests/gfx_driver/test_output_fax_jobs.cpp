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
#include "gfx_demo.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "temp_root.h"
#include "win/errors.h"
#include "win/paths.h"
#include "win/registry.h"
#include "win/spooler.h"

namespace {

// A "DFAX002" list: the 1442-byte head (tag, count), then one 820-byte entry
// per destination (number at 2, name at 262).
std::string destination_list(const std::vector<std::pair<std::u16string, std::u16string>>& entries) {
  std::string blob(1442 + 820 * entries.size(), '\0');
  auto put_text = [&](std::size_t at, const std::u16string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      blob[at + 2 * i] = static_cast<char>(text[i] & 0xFF);
      blob[at + 2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
  };
  put_text(0, u"DFAX002");
  blob[16] = static_cast<char>(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    put_text(1442 + 820 * i + 2, entries[i].second);
    put_text(1442 + 820 * i + 262, entries[i].first);
  }
  return blob;
}

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
    std::ifstream in(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json");
    nlohmann::json d = nlohmann::json::parse(in);
    d["main"]["fields"]["23"] = 1;
    d["main"]["fields"]["24"] = 100;
    d["main"]["fields"]["25"] = 600;
    d["main"]["fields"]["27"] = nlohmann::json::array({0x0100, 0x0200});
    auto& records = d["main"]["records"];
    records.push_back(
        {{"kind", 4}, {"id", 1321}, {"name", "Job Monitor"}, {"default", 1}, {"choices", {18, 19}}, {"name2", "Job Monitor"}});
    nlohmann::json line = nlohmann::json::object();
    line["kind"] = 15;
    line["ddmid"] = 1321;
    line["command"] = "@PJL SET JOBID=";
    line["flags"] = 1;
    for (std::size_t i = 0; i < records.size(); ++i)
      if (records[i].value("command", "") == "@PJL ENTER LANGUAGE=") {
        records.insert(records.begin() + static_cast<std::ptrdiff_t>(i), line);
        break;
      }
    const std::string folder = root_.path() + "/fax_monitor_database";
    std::filesystem::create_directories(folder);
    morva::ddd_build::write_images(morva::ddd_build::build_images(d), folder);
    std::string error;
    ASSERT_TRUE(morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error, folder)) << error;
    ASSERT_TRUE(morva::gfx_demo::make_dc_devmode_default(morva::gfx_demo::kDemoPrinter, &error)) << error;

    log_path_ = root_.file("wqlib.log");
    setenv("MV_WQLIB_LOG", log_path_.c_str(), 1);
    unsetenv("MV_WQLIB_REFUSE");
    std::u16string dir = u"Z:";
    for (char ch : std::string(MORVA_BIN_DIR) + "/") dir += ch == '/' ? u'\\' : static_cast<char16_t>(ch);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Orvanto\\JobTracer\\JbTrc", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                             static_cast<DWORD>((dir.size() + 1) * sizeof(char16_t))),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  void TearDown() override { unsetenv("MV_WQLIB_LOG"); }

  void write_list(const std::vector<std::pair<std::u16string, std::u16string>>& entries) {
    morva::test::write_file(morva::platform::native_path(u"C:\\fax\\addresses.tmp"), destination_list(entries));
  }

  morva::print_host::PrintResult print(const std::string& settings) {
    std::remove(log_path_.c_str());
    const std::string json = R"({"printer": "Morva Demo Printer", "document": "Fax", "units": "px",
        "ddmid": {"375": "C:\\fax\\addresses.tmp", "377": 1, "1321": 1, )" + settings + R"(},
        "pages": [{"ops": [{"op": "rectangle", "rect": [100, 100, 900, 900]}]}]})";
    morva::print_host::Document doc;
    std::string error;
    EXPECT_TRUE(morva::print_host::parse_document(json, "doc.json", root_.path(), &doc, &error)) << error;
    return morva::print_host::print_document(doc);
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
  std::vector<std::string> log() const {
    std::ifstream in(log_path_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
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
