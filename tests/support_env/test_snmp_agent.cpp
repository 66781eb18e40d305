// The real agent of the test environment: it starts, answers every
// protocol version and user the later suites rely on, serves the fixture in
// OID order, and its variants (tooBig, limited view, wrong community,
// stopped agent) behave as those suites expect.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "snmp_agent.h"

namespace morva::test {
namespace {

class SnmpAgentTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!snmp_environment_missing().empty()) return;
    SnmpAgentOptions o;
    o.with_default_user = true;
    o.fixture_text = big_table_fixture(1000);
    agent_ = std::make_unique<SnmpAgent>(std::move(o));
  }
  static void TearDownTestSuite() { agent_.reset(); }
  void SetUp() override {
    if (auto why = snmp_environment_missing(); !why.empty()) GTEST_SKIP() << why;
  }

  static CommandResult get(const std::vector<std::string>& auth, const std::string& oid) {
    std::vector<std::string> args = auth;
    args.insert(args.end(), {"-t", "2", "-r", "1", agent_->peer(), oid});
    return agent_->tool("snmpget", args);
  }

  static std::unique_ptr<SnmpAgent> agent_;
};

std::unique_ptr<SnmpAgent> SnmpAgentTest::agent_;

TEST_F(SnmpAgentTest, AnswersCommunitiesOfBothVersions) {
  for (const char* version : {"-v1", "-v2c"}) {
    auto r = get({version, "-c", kReadCommunity}, "1.3.6.1.2.1.1.2.0");
    ASSERT_EQ(r.exit_code, 0) << version << ": " << r.errors;
    auto lines = parse_tool_output(r.output);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].oid, "1.3.6.1.2.1.1.2.0");
    EXPECT_EQ(lines[0].type, "OID");
    EXPECT_EQ(lines[0].value, ".1.3.6.1.4.1.32473.2.1.11.93.1.37.24.8");
  }
}

TEST_F(SnmpAgentTest, AnswersEverySnmpV3User) {
  std::vector<SnmpUser> users = standard_snmp_users();
  users.push_back(default_snmp_user());
  for (const auto& u : users) {
    auto r = get(u.tool_args(), "1.3.6.1.2.1.1.5.0");
    ASSERT_EQ(r.exit_code, 0) << u.name << ": " << r.errors;
    auto lines = parse_tool_output(r.output);
    ASSERT_EQ(lines.size(), 1u) << u.name;
    EXPECT_EQ(lines[0].value, "corvane-m30-demo") << u.name;
  }
}

TEST_F(SnmpAgentTest, RefusesWrongCredentials) {
  SnmpUser wrong_pass = find_snmp_user("md5des");
  wrong_pass.auth_pass = "not-the-pass-phrase";
  auto r = get(wrong_pass.tool_args(), "1.3.6.1.2.1.1.5.0");
  EXPECT_NE(r.exit_code, 0);
  EXPECT_NE(r.errors.find("Authentication failure"), std::string::npos) << r.errors;

  SnmpUser unknown = find_snmp_user("md5des");
  unknown.name = "nobody";
  r = get(unknown.tool_args(), "1.3.6.1.2.1.1.5.0");
  EXPECT_NE(r.exit_code, 0);
  EXPECT_NE(r.errors.find("Unknown user name"), std::string::npos) << r.errors;

  // A wrong community is dropped without an answer.
  r = agent_->tool("snmpget", {"-v1", "-c", kWrongCommunity, "-t", "0.3", "-r", "0", agent_->peer(), "1.3.6.1.2.1.1.5.0"});
  EXPECT_NE(r.exit_code, 0);
  EXPECT_NE(r.errors.find("Timeout"), std::string::npos) << r.errors;
}

TEST_F(SnmpAgentTest, TablesWalkInOidOrder) {
  auto r = agent_->tool("snmpwalk", {"-v1", "-c", kReadCommunity, agent_->peer(), "1.3.6.1.2.1.43.8.2.1.13"});
  ASSERT_EQ(r.exit_code, 0) << r.errors;
  auto lines = parse_tool_output(r.output);
  ASSERT_EQ(lines.size(), 4u);
  const char* names[] = {"Tray 1", "Tray 2", "Tray 3", "Bypass tray"};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(lines[i].oid, "1.3.6.1.2.1.43.8.2.1.13.1." + std::to_string(i + 1));
    EXPECT_EQ(lines[i].value, names[i]);
  }

  // The whole served data comes back in the fixture's (numeric) order, the
  // 1000-row table included: row 10 follows row 9, not row 1.
  r = agent_->tool("snmpwalk", {"-v2c", "-c", kReadCommunity, "-Cc", agent_->peer(), kBigTableOid}, 60000);
  ASSERT_EQ(r.exit_code, 0) << r.errors;
  lines = parse_tool_output(r.output);
  ASSERT_EQ(lines.size(), 3000u);
  EXPECT_EQ(lines[9].oid, std::string(kBigTableOid) + ".1.10");
  EXPECT_EQ(lines[1999].value, "row 1000");
  EXPECT_EQ(lines[2999].oid, std::string(kBigTableOid) + ".3.1000");
}

TEST_F(SnmpAgentTest, BinaryValuesAndSetsReachTheFixture) {
  auto r = get({"-v2c", "-c", kReadCommunity}, "1.3.6.1.2.1.25.3.5.1.2.1");
  ASSERT_EQ(r.exit_code, 0) << r.errors;
  auto lines = parse_tool_output(r.output);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].type, "Hex-STRING");
  EXPECT_EQ(lines[0].value.substr(0, 2), "80");

  const std::string cancel = "1.3.6.1.4.1.32473.1.8.76.3.2.1.1.101.8.74.66.48.48.48.48.48.49";
  r = agent_->tool("snmpset", {"-v1", "-c", kWriteCommunity, agent_->peer(), cancel, "i", "1414"});
  ASSERT_EQ(r.exit_code, 0) << r.errors;
  auto sets = agent_->sets();
  ASSERT_FALSE(sets.empty());
  EXPECT_EQ(wire::oid_text(sets.back().oid), cancel);
  EXPECT_EQ(sets.back().value, "1414");

  // Refusals come back as the agent maps them for each version.
  struct Case {
    const char* version;
    const char* oid;
    const char* type;
    const char* value;
    const char* reason;
  } cases[] = {
      {"-v2c", "1.3.6.1.2.1.1.1.0", "s", "x", "notWritable"},
      {"-v2c", "1.3.6.1.2.1.1.7.0", "i", "1", "noAccess"},
      {"-v2c", "1.3.6.1.2.1.1.5.0", "i", "1", "wrongType"},
      {"-v1", "1.3.6.1.2.1.1.1.0", "s", "x", "noSuchName"},
      {"-v1", "1.3.6.1.2.1.1.5.0", "i", "1", "badValue"},
  };
  for (const auto& c : cases) {
    r = agent_->tool("snmpset", {c.version, "-c", kWriteCommunity, agent_->peer(), c.oid, c.type, c.value});
    EXPECT_NE(r.exit_code, 0) << c.version << " " << c.oid;
    EXPECT_NE(r.errors.find(c.reason), std::string::npos) << c.version << " " << c.oid << ": " << r.errors;
  }
}

TEST_F(SnmpAgentTest, StoppedAgentIsSilentUntilContinued) {
  agent_->pause();
  auto r = agent_->tool("snmpget", {"-v1", "-c", kReadCommunity, "-t", "0.3", "-r", "0", agent_->peer(), "1.3.6.1.2.1.1.5.0"});
  agent_->resume();
  EXPECT_NE(r.errors.find("Timeout"), std::string::npos) << r.errors;
  r = get({"-v1", "-c", kReadCommunity}, "1.3.6.1.2.1.1.5.0");
  EXPECT_EQ(r.exit_code, 0) << r.errors;
}

// Variants that need their own agent.
class SnmpAgentVariantTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (auto why = snmp_environment_missing(); !why.empty()) GTEST_SKIP() << why;
  }
};

TEST_F(SnmpAgentVariantTest, SmallMessageSizeAnswersTooBig) {
  SnmpAgentOptions o;
  o.max_message_size = 484;
  o.users.clear();
  SnmpAgent agent(o);
  std::vector<std::string> args = {"-v1", "-c", kReadCommunity, agent.peer()};
  for (int i = 0; i < 20; ++i) args.push_back("1.3.6.1.2.1.25.3.2.1.3.10");  // 38-character string each
  auto r = agent.tool("snmpget", args);
  EXPECT_NE(r.errors.find("tooBig"), std::string::npos) << r.errors << r.output;
  // A small request still fits.
  r = agent.tool("snmpget", {"-v1", "-c", kReadCommunity, agent.peer(), "1.3.6.1.2.1.1.5.0"});
  EXPECT_EQ(r.exit_code, 0) << r.errors;
}

TEST_F(SnmpAgentVariantTest, LimitedViewEndsAfterItsTable) {
  SnmpAgentOptions o;
  o.limited_view = {"1.3.6.1.2.1.1", "1.3.6.1.2.1.43.8"};
  o.users.clear();
  SnmpAgent agent(o);
  // The last object of the view: SNMPv1 answers noSuchName, SNMPv2c endOfMibView.
  const std::string last = "1.3.6.1.2.1.43.8.2.1.22.1.4";
  auto r = agent.tool("snmpgetnext", {"-v1", "-c", kLimitedCommunity, agent.peer(), last});
  EXPECT_NE(r.errors.find("noSuchName"), std::string::npos) << r.errors << r.output;
  r = agent.tool("snmpgetnext", {"-v2c", "-c", kLimitedCommunity, agent.peer(), last});
  EXPECT_NE(r.output.find("No more variables left in this MIB View"), std::string::npos) << r.output;
  // Inside the view and for the full community the walk goes on.
  r = agent.tool("snmpgetnext", {"-v1", "-c", kLimitedCommunity, agent.peer(), "1.3.6.1.2.1.1.9"});
  EXPECT_NE(r.output.find(".1.3.6.1.2.1.43.8.2.1.2.1.1 = INTEGER: 4"), std::string::npos) << r.output;
  r = agent.tool("snmpgetnext", {"-v1", "-c", kReadCommunity, agent.peer(), last});
  EXPECT_NE(r.output.find(".1.3.6.1.2.1.43.9.2.1.2.1.1"), std::string::npos) << r.output;
}

TEST_F(SnmpAgentVariantTest, OverridesAndDeletesChangeTheServedData) {
  SnmpAgentOptions o;
  o.users.clear();
  o.fixture_text =
      "1.3.6.1.2.1.1.2.0 objectid 1.3.6.1.4.1.32473.2.1.11.93.1.35.34.2\n"
      "@delete 1.3.6.1.4.1.32473.2.2.9999\n";
  SnmpAgent agent(o);
  auto r = agent.tool("snmpget", {"-v1", "-c", kReadCommunity, agent.peer(), "1.3.6.1.2.1.1.2.0"});
  EXPECT_NE(r.output.find(".1.3.6.1.4.1.32473.2.1.11.93.1.35.34.2"), std::string::npos) << r.output;
  r = agent.tool("snmpwalk", {"-v1", "-c", kReadCommunity, agent.peer(), "1.3.6.1.4.1.32473.2.2.9999"});
  EXPECT_EQ(parse_tool_output(r.output).size(), 0u) << r.output;
}

TEST_F(SnmpAgentVariantTest, ListensOnIpv6Loopback) {
  int fd = socket(AF_INET6, SOCK_DGRAM, 0);
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_addr = in6addr_loopback;
  bool v6 = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  if (fd >= 0) close(fd);
  if (!v6) GTEST_SKIP() << "no IPv6 loopback here";
  SnmpAgentOptions o;
  o.address = "::1";
  o.users = {find_snmp_user("md5aes")};
  SnmpAgent agent(o);
  EXPECT_EQ(agent.peer(), "udp6:[::1]:" + std::to_string(agent.port()));
  for (std::vector<std::string> auth : {std::vector<std::string>{"-v1", "-c", kReadCommunity}, o.users[0].tool_args()}) {
    auth.insert(auth.end(), {agent.peer(), "1.3.6.1.2.1.1.5.0"});
    auto r = agent.tool("snmpget", auth);
    EXPECT_NE(r.output.find("corvane-m30-demo"), std::string::npos) << r.errors;
  }
}

TEST_F(SnmpAgentVariantTest, BadFixtureLineIsReportedWithItsNumber) {
  SnmpAgentOptions o;
  o.fixture = "";
  o.fixture_text = "1.3.6.1.2.1.1.5.0 string ok\n1.3.6.1.2.1.1.6.0 integer twelve\n";
  try {
    SnmpAgent agent(o);
    FAIL() << "a bad fixture line started an agent";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace morva::test
