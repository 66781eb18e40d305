// The job-monitor client against the stand-in of its client library,
// installed through the registry as the product installs it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "job_monitor_registry.h"
#include "pi/job_monitor.h"
#include "settings/common/module_state.h"
#include "temp_root.h"
#include "win/errors.h"
#include "win/registry.h"

namespace {

using namespace morva::pi;

std::string bin_native() {
  char path[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  std::string dir = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
  return dir.substr(0, dir.rfind('/') + 1);
}

std::u16string windows_form(const std::string& native) {
  std::u16string out = u"Z:";
  for (char ch : native) out += ch == '/' ? u'\\' : static_cast<char16_t>(ch);
  return out;
}

class JobMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_path_ = root_.file("wqlib.log");
    setenv("MV_WQLIB_LOG", log_path_.c_str(), 1);
    unsetenv("MV_WQLIB_REFUSE");
    unsetenv("MV_WQLIB_CLIENT");
    unsetenv("MV_WQLIB_JOB");
  }
  void TearDown() override {
    unsetenv("MV_WQLIB_LOG");
    unsetenv("MV_WQLIB_REFUSE");
    unsetenv("MV_WQLIB_CLIENT");
    unsetenv("MV_WQLIB_JOB");
  }
  void install(const std::u16string& dir) { morva::test::InstallJobMonitorLibrary(dir); }
  std::vector<std::string> log() const { return morva::test::ReadLogLines(log_path_); }
  static JobMonitorEntry entry(const char* document) {
    JobMonitorEntry e;
    e.port = "IP_127.0.0.1";
    e.document = document;
    e.job_text = "Report";
    e.printer = "Office";
    e.user = "ann";
    return e;
  }

  morva::test::TempRoot root_;
  std::string log_path_;
};

TEST_F(JobMonitorTest, WithoutTheProductNothingIsRegistered) {
  EXPECT_EQ(OpenJobMonitorClient(1), 0);
  install(u"C:\\absent");  // a value naming a missing folder
  EXPECT_EQ(OpenJobMonitorClient(1), 0);
  void* client = reinterpret_cast<void*>(1);
  char id[48] = {};
  EXPECT_EQ(BuildJobMonitorRecord(&client, id, entry("Doc")), kMonitorClientFailed);
  EXPECT_EQ(client, nullptr);
  EXPECT_EQ(SendJobMonitorRecord(nullptr), kMonitorMissingText);
  EXPECT_TRUE(log().empty());
}

TEST_F(JobMonitorTest, RegistersAndSendsTheJob) {
  install(windows_form(bin_native()));
  EXPECT_EQ(OpenJobMonitorClient(1), 1);
  void* client = nullptr;
  char id[48] = {};
  ASSERT_EQ(BuildJobMonitorRecord(&client, id, entry("Quarterly report")), kMonitorOk);
  EXPECT_STREQ(id, "C1.J42");
  EXPECT_EQ(SendJobMonitorRecord(client), kMonitorOk);
  auto lines = log();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "Init: 1");  // the availability check starts and ends a client
  EXPECT_EQ(lines[2], "Init: 1");
  EXPECT_EQ(lines[3],
            "Set: printer=Office port=IP_127.0.0.1 user=ann id=C1.J42 kind=0 delay=0 text=Report "
            "document=Quarterly report");
  EXPECT_EQ(lines[4], "Send");
  EXPECT_EQ(lines[5], "Uninit");
}

TEST_F(JobMonitorTest, LongDocumentNamesAreCutNotRefused) {
  install(windows_form(bin_native()));
  // 258 single bytes and a double-byte character (Shift-JIS) across 259.
  std::string name(258, 'd');
  name += "\x82\xA0tail";
  EXPECT_EQ(CutAnsiText(name, 259, 932).size(), 258u);
  EXPECT_EQ(CutAnsiText(name, 260, 932).size(), 260u);
  EXPECT_EQ(CutAnsiText(std::string(300, 'x'), 259, 1252).size(), 259u);
  void* client = nullptr;
  char id[48] = {};
  ASSERT_EQ(BuildJobMonitorRecord(&client, id, entry(std::string(300, 'x').c_str())), kMonitorOk);
  EXPECT_EQ(SendJobMonitorRecord(client), kMonitorOk);
  auto lines = log();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_NE(lines[1].find("document=" + std::string(259, 'x')), std::string::npos);
  EXPECT_EQ(lines[1].find("document=" + std::string(260, 'x')), std::string::npos);
}

TEST_F(JobMonitorTest, RefusalsAndLimits) {
  install(windows_form(bin_native()));
  struct Case {
    const char* refuse;
    const char* client_id;
    const char* job_id;
    INT build;
  } cases[] = {
      {"Init", "C1", "J1", kMonitorClientFailed},
      {"Set", "C1", "J1", kMonitorClientFailed},
      {"", "CCCCCCCCCCCCCCCCCCCCCCCCCCCCCC", "JJJJJJJJJJJJJJJJJJJJ", kMonitorTooLong},  // 51 characters
  };
  for (const Case& c : cases) {
    setenv("MV_WQLIB_REFUSE", c.refuse, 1);
    setenv("MV_WQLIB_CLIENT", c.client_id, 1);
    setenv("MV_WQLIB_JOB", c.job_id, 1);
    void* client = nullptr;
    char id[48] = {};
    EXPECT_EQ(BuildJobMonitorRecord(&client, id, entry("Doc")), c.build) << c.refuse << " " << c.client_id;
    EXPECT_EQ(client, nullptr);
  }
  // A send the library refuses still releases the client.
  setenv("MV_WQLIB_REFUSE", "Send", 1);
  unsetenv("MV_WQLIB_CLIENT");
  unsetenv("MV_WQLIB_JOB");
  std::remove(log_path_.c_str());
  void* client = nullptr;
  char id[48] = {};
  ASSERT_EQ(BuildJobMonitorRecord(&client, id, entry("Doc")), kMonitorOk);
  EXPECT_EQ(SendJobMonitorRecord(client), kMonitorClientFailed);
  EXPECT_EQ(log().back(), "Uninit");
  // Texts the record has no room for, and missing ones.
  JobMonitorEntry e = entry("Doc");
  std::string long_user(65, 'u');
  e.user = long_user.c_str();
  EXPECT_EQ(BuildJobMonitorRecord(&client, id, e), kMonitorTooLong);
  e = entry("Doc");
  e.port = nullptr;
  EXPECT_EQ(BuildJobMonitorRecord(&client, id, e), kMonitorMissingText);
  e = entry("Doc");
  e.fax_form = 2;
  EXPECT_EQ(BuildJobMonitorRecord(&client, id, e), kMonitorBadFaxForm);
}

TEST_F(JobMonitorTest, FaxTextsCountTheOtherDestinations) {
  // The suffixes are texts of the resource module.
  const std::u16string bin = windows_form(bin_native());
  morva::settings::set_module_directory_for_test(bin.c_str());
  const std::u16string long_name(28, u'n'), longer_name(40, u'n'), long_number(30, u'1');
  struct Case {
    std::u16string name, number;
    WORD kind, count;
    std::string name_text, number_text;
  } cases[] = {
      {u"Ann", u"0301", 0, 1, "Ann", "0301"},
      {u"Ann", u"0301", 0, 3, "Ann +2", "0301 +"},
      {u"Ann", u"0301", 1, 2, "Ann +1", "SD 0301 +"},  // a speed dial
      // A long name gives up its tail; a long number is cut for the mark.
      {long_name, long_number, 0, 12, std::string(20, 'n') + "...+11", std::string(25, '1') + "... +"},
      {longer_name, std::u16string(40, u'2'), 0, 1, std::string(31, 'n'), std::string(32, '2')},
  };
  for (const Case& c : cases) {
    std::string name, number;
    FormatMonitorFaxTexts(c.name, c.number, c.kind, c.count, &name, &number);
    EXPECT_EQ(name, c.name_text) << c.name_text;
    EXPECT_EQ(number, c.number_text) << c.number_text;
    EXPECT_LT(name.size(), 33u);
    EXPECT_LT(number.size(), 33u);
  }
  morva::settings::set_module_directory_for_test(nullptr);
}

TEST(JobMonitorDelay, ComparesByTheMinuteAsTheJobHeaderDoes) {
  struct Case {
    int hour, minute, now_h, now_m, now_s;
    DWORD delay;
  } cases[] = {
      {8, 0, 9, 0, 0, 82800},    // past: tomorrow
      {9, 30, 9, 0, 0, 1800},
      {9, 0, 9, 0, 30, 0},       // this minute: now, as the header's start is today
      {0, 0, 23, 59, 59, 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DelayedStartSeconds(c.hour, c.minute, c.now_h, c.now_m, c.now_s), c.delay)
        << c.hour << ":" << c.minute << " at " << c.now_h << ":" << c.now_m << ":" << c.now_s;
}

}  // namespace
