#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "snmp/log.h"
#include "temp_root.h"

namespace {

// Collects what a session writes.
class CaptureOutput final : public IPmcLogOutput {
 public:
  explicit CaptureOutput(const char* name) : name_(name) {}
  int query(const char*, void** out) override {
    *out = nullptr;
    return -4;
  }
  int command(const char*, const char*) override { return -5; }
  void release() override {}
  const char* get_kind() const override { return "capture"; }
  const char* get_name() const override { return name_.c_str(); }
  int write(const char* line) override {
    lines.emplace_back(line);
    return 0;
  }
  std::vector<std::string> lines;

 private:
  std::string name_;
};

class LogTest : public ::testing::Test {
 protected:
  void TearDown() override { pmc_log_get_manager()->reset(); }
  IPmcLogManager* m = pmc_log_get_manager();
};

TEST_F(LogTest, SessionsStartSilent) {
  EXPECT_EQ(pmc_log_printf("PSW", kPmcLogError, "nothing %d", 1), 0);
  int err = 1;
  IPmcLogSession* s = m->get_session("PSW", &err);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(s->get_level_mask(), 0u);
  CaptureOutput out("cap");
  s->attach_output(&out);
  EXPECT_EQ(s->log(kPmcLogError, "x"), 0);
  EXPECT_TRUE(out.lines.empty());
  EXPECT_EQ(m->get_session("PSW", &err), s);
}

TEST_F(LogTest, LineFormatLevelsAndRadix) {
  IPmcLogSession* s = m->get_session("snmp", nullptr);
  CaptureOutput out("cap");
  s->attach_output(&out);
  s->attach_output(&out);  // same name: attached once
  s->set_level_mask(kPmcLogError | kPmcLogInfo);
  s->set_prefix_flags(0);
  EXPECT_EQ(s->log(kPmcLogWarn, "dropped"), 0);
  s->log(kPmcLogError, "value %d", 7);
  s->set_indent(1);
  s->log(kPmcLogInfo, "%s", "indented");
  s->log(kPmcLogError, nullptr);
  ASSERT_EQ(out.lines.size(), 3u);
  const std::string blank23(23, ' '), blank8(8, ' ');
  EXPECT_EQ(out.lines[0], blank23 + ", " + blank8 + ", " + blank8 + ", snmp            , Error, value 7");
  EXPECT_EQ(out.lines[1], blank23 + ", " + blank8 + ", " + blank8 + ", snmp            , Info ,     indented");
  EXPECT_NE(out.lines[2].find("(client was about to output null message...)"), std::string::npos);

  EXPECT_EQ(s->set_radix(8), -2);
  EXPECT_EQ(s->get_radix(), 10u);
  EXPECT_EQ(s->set_radix(16), 0);
  s->set_prefix_flags(2);
  s->set_indent(0);
  s->log(kPmcLogError, "hex");
  char pid[16];
  std::snprintf(pid, sizeof pid, ", %08X,", static_cast<unsigned>(GetCurrentProcessId()));
  EXPECT_EQ(out.lines.back().substr(23, 11), pid);
}

TEST_F(LogTest, LongLinesAreCutAt1024) {
  IPmcLogSession* s = m->get_session("socket", nullptr);
  CaptureOutput out("cap");
  s->attach_output(&out);
  s->set_level_mask(kPmcLogAll);
  std::string huge(5000, 'q');
  s->log(kPmcLogDebug, "%s", huge.c_str());
  ASSERT_EQ(out.lines.size(), 1u);
  EXPECT_EQ(out.lines[0].size(), 1024u);
}

TEST_F(LogTest, AllGroupReachesExistingAndLaterSessions) {
  IPmcLogSession* early = m->get_session("early", nullptr);
  CaptureOutput out("cap");
  IPmcLogSessionGroup* all = m->all();
  EXPECT_STREQ(all->get_name(), "All");
  all->attach_output(&out);
  all->set_level_mask(kPmcLogAll);
  all->set_prefix_flags(0);
  IPmcLogSession* late = m->get_session("late", nullptr);
  EXPECT_EQ(late->get_level_mask(), 31u);
  early->log(kPmcLogTrace, "one");
  late->log(kPmcLogWarn, "two");
  EXPECT_EQ(all->log(kPmcLogError, "group"), -6);
  ASSERT_EQ(out.lines.size(), 2u);
  EXPECT_NE(out.lines[1].find("Warn , two"), std::string::npos);
}

TEST_F(LogTest, QueryAndOutputsByName) {
  IPmcLogSession* s = m->get_session("q", nullptr);
  void* p = nullptr;
  EXPECT_EQ(s->query(kIidPmcLogSession, &p), 0);
  EXPECT_EQ(p, s);
  EXPECT_EQ(s->query(kIidPmcLogSessionGroup, &p), -4);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(s->query(nullptr, &p), -2);
  EXPECT_EQ(m->all()->query(kIidPmcLogSessionGroup, &p), 0);

  IPmcLogOutput* o = m->get_output("stdout", "console");
  EXPECT_STREQ(o->get_kind(), "stdout");
  EXPECT_EQ(m->get_output("stdout", "console"), o);
  IPmcLogOutput* f = m->get_output("file", "console");  // name taken by another kind
  EXPECT_STREQ(f->get_name(), "null_file");
  EXPECT_EQ(m->get_output("nosuchkind", "x"), nullptr);
  int err = 1;
  EXPECT_EQ(m->find_output("console", &err), o);
  EXPECT_STREQ(m->find_output("absent", &err)->get_name(), "null_standard");
  // find_session never creates and gives a session's provider view, which
  // only the "All" group offers.
  m->get_session("plain", &err);
  struct Find {
    const char* name;
    const char* found;  // null: none
    int err;
  } finds[] = {{"absent", nullptr, -6}, {"plain", nullptr, -1}, {"All", "All", 0}, {nullptr, "null_session", -2}};
  for (const Find& f : finds) {
    SCOPED_TRACE(f.name ? f.name : "(null)");
    err = 1;
    IPmcLogSession* s = m->find_session(f.name, &err);
    EXPECT_EQ(err, f.err);
    if (f.found) {
      ASSERT_NE(s, nullptr);
      EXPECT_STREQ(s->get_name(), f.found);
    } else {
      EXPECT_EQ(s, nullptr);
    }
  }
  EXPECT_STREQ(m->get_session(nullptr, &err)->get_name(), "null_session");
  EXPECT_EQ(err, -2);
}

TEST_F(LogTest, FileOutputRotatesAndRefusesOverlongLines) {
  morva::test::TempRoot root;
  std::string path = root.path() + "/devlink.log";
  IPmcLogOutput* raw = m->get_output("file", "logfile");
  void* p = nullptr;
  ASSERT_EQ(raw->query(kIidPmcLogFileOutput, &p), 0);
  auto* file = static_cast<IPmcLogFileOutput*>(p);
  ASSERT_EQ(file->set_path(path.c_str()), 0);
  file->set_size_limit(100);
  EXPECT_EQ(file->write(std::string(120, 'x').c_str()), -7);
  std::string line(40, 'a');
  EXPECT_EQ(file->write(line.c_str()), 0);  // 42 bytes
  EXPECT_EQ(file->write(line.c_str()), 0);  // 84 bytes
  line.assign(40, 'b');
  EXPECT_EQ(file->write(line.c_str()), 0);  // would pass 100: rotate
  std::ifstream bak(path + ".bak"), cur(path);
  std::string b1, b2, c1, c2;
  std::getline(bak, b1);
  std::getline(bak, b2);
  std::getline(cur, c1);
  EXPECT_EQ(b1, std::string(40, 'a'));
  EXPECT_EQ(b2, std::string(40, 'a'));
  EXPECT_EQ(c1, std::string(40, 'b'));
  EXPECT_FALSE(std::getline(cur, c2));

  IPmcLogOutput* bad = m->get_output("file", nullptr);
  EXPECT_STREQ(bad->get_name(), "null_file");
  EXPECT_EQ(bad->write("x"), 0);

  IPmcLogFileOutput* unopened = nullptr;
  IPmcLogOutput* o2 = m->get_output("file", "nopath");
  o2->query(kIidPmcLogFileOutput, reinterpret_cast<void**>(&unopened));
  ASSERT_NE(unopened, nullptr);
  unopened->set_path((root.path() + "/missing/dir/x.log").c_str());
  EXPECT_EQ(unopened->write("x"), -10);
}

TEST_F(LogTest, HolderResolvesOnceAndSurvivesReset) {
  static CPmcLogSessionHolder holder("holder");
  EXPECT_EQ(holder.log(kPmcLogError, "silent"), 0);
  IPmcLogSession* s = holder.session();
  EXPECT_STREQ(s->get_name(), "holder");
  CaptureOutput out("cap");
  s->attach_output(&out);
  s->set_level_mask(kPmcLogError);
  holder.log(kPmcLogError, "seen");
  EXPECT_EQ(out.lines.size(), 1u);
  m->reset();
  IPmcLogSession* again = holder.session();
  EXPECT_STREQ(again->get_name(), "holder");
  EXPECT_EQ(again->get_level_mask(), 0u);
}

}  // namespace
