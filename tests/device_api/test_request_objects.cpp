#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <set>
#include <string>
#include <vector>

#include "device_api/request_objects.h"
#include "snmp/asn_value.h"
#include "fake_agent.h"
#include "netns_test.h"
#include "snmp_agent.h"

namespace {

using morva::test::SnmpAgent;
using morva::test::SnmpAgentOptions;

PmsOwn<IPmcGetData> make_request(const std::string& address, std::uint16_t port, IPmcNetworkAddress::EProtocol proto,
                                 std::uint32_t max_size = 0, std::int32_t version = 0, const char* community = nullptr) {
  int err = 1;
  PmsOwn<IPmcGetData> g = pmc_create_get_data(&err);
  EXPECT_EQ(err, 0);
  if (community) g->set_community(community);
  EXPECT_EQ(g->init(address.c_str(), proto, port, version, "", 0, 0, 0, "", "", "", 1000, 1, max_size), 0);
  return g;
}

TEST(RequestObjects, MaximumMessageSizeFollowsTheTransport) {
  struct Case {
    const char* address;
    IPmcNetworkAddress::EProtocol protocol;
    std::uint32_t given;
    std::int32_t used;
  };
  const Case cases[] = {
      {"127.0.0.1", IPmcNetworkAddress::kIPv4, 0, 1400},    {"127.0.0.1", IPmcNetworkAddress::kIPv4, 2000, 1400},
      {"127.0.0.1", IPmcNetworkAddress::kIPv4, 1000, 1000}, {"::1", IPmcNetworkAddress::kIPv6, 0, 1400},
      {"00000001:000000000001", IPmcNetworkAddress::kIPX, 0, 546},
      {"00000001:000000000001", IPmcNetworkAddress::kIPX, 1000, 546},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.address) + " " + std::to_string(c.given));
    PmsOwn<IPmcGetData> g = make_request(c.address, 161, c.protocol, c.given);
    ASSERT_NE(g->target(), nullptr);
    EXPECT_EQ(g->target()->get_max_message_size(), c.used);
  }
}

TEST(RequestObjects, VersionOneIsSnmpV1AndTwoIsUserBased) {
  PmsOwn<IPmcGetData> v1 = make_request("127.0.0.1", 161, IPmcNetworkAddress::kIPv4, 0, 1, "private");
  EXPECT_EQ(v1->target()->get_version(), kSnmpV1);
  ASSERT_NE(v1->target()->as_community(), nullptr);
  EXPECT_STREQ(v1->target()->as_community()->get_community(), "private");
  EXPECT_EQ(v1->target()->get_timeout(), 1000);

  int err = 0;
  PmsOwn<IPmcGetData> v3 = pmc_create_get_data(&err);
  ASSERT_EQ(v3->init("127.0.0.1", IPmcNetworkAddress::kIPv4, 161, 2, "shaaes", 2, 2, 2, "shaaes-auth-pass",
                     "shaaes-priv-pass", "ctx", 500, 2, 0),
            0);
  EXPECT_EQ(v3->target()->get_version(), kSnmpV3);
  IPmsUsm* usm = v3->target()->as_usm();
  ASSERT_NE(usm, nullptr);
  EXPECT_STREQ(usm->get_security_name(), "shaaes");
  EXPECT_EQ(usm->get_security_level(), 2);
  EXPECT_EQ(usm->get_auth_protocol(), 2);
  EXPECT_EQ(usm->get_priv_protocol(), 2);
  EXPECT_STREQ(usm->get_auth_pass_phrase(), "shaaes-auth-pass");
  EXPECT_STREQ(usm->get_context_name(), "ctx");
}

TEST(RequestObjects, ScalarFlagAppendsTheInstance) {
  PmsOwn<IPmcGetData> g = make_request("127.0.0.1", 161, IPmcNetworkAddress::kIPv4);
  ASSERT_EQ(g->add_oid_string("1.3.6.1.2.1.1.5", true), 0);
  ASSERT_EQ(g->add_oid_string("1.3.6.1.2.1.1.5", false), 0);
  ASSERT_EQ(g->add_oid_value("1.3.6.1.4.1.32473.1.8.76.3.2.1.1", "101.8", 1414), 0);
  EXPECT_EQ(g->add_oid_string("not an oid", false), pms::kBadArgument);
  IPmsVarBindList* list = g->pdu()->get_var_bind_list();
  ASSERT_EQ(list->count(), 3u);
  EXPECT_EQ(list->get_at(0)->get_oid()->compare_text("1.3.6.1.2.1.1.5.0", nullptr), kOidEqual);
  EXPECT_EQ(list->get_at(1)->get_oid()->compare_text("1.3.6.1.2.1.1.5", nullptr), kOidEqual);
  EXPECT_EQ(list->get_at(2)->get_oid()->compare_text("1.3.6.1.4.1.32473.1.8.76.3.2.1.1.101.8", nullptr), kOidEqual);
  EXPECT_EQ(list->get_at(2)->get_value()->get_int(nullptr), 1414);
}

class AgentRequests : public ::testing::Test {
 protected:
  void SetUp() override {
    if (auto why = morva::test::snmp_environment_missing(); !why.empty()) GTEST_SKIP() << why;
  }
  void start(const std::string& fixture_text = {}, std::vector<std::string> limited_view = {}) {
    SnmpAgentOptions o;
    o.fixture_text = fixture_text;
    o.limited_view = std::move(limited_view);
    agent_ = std::make_unique<SnmpAgent>(o);
  }
  PmsOwn<IPmcGetData> request(const char* community = nullptr) {
    return make_request(agent_->target_address(), agent_->port(), IPmcNetworkAddress::kIPv4, 0, 0, community);
  }
  std::unique_ptr<SnmpAgent> agent_;
};

TEST_F(AgentRequests, GetTextIntegersAndCutText) {
  start();
  auto g = request();
  ASSERT_EQ(g->add_oid_string("1.3.6.1.2.1.1.5", true), 0);
  char name[256];
  ASSERT_EQ(g->get_text(name, sizeof name), 0);
  EXPECT_STREQ(name, "corvane-m30-demo");

  auto cut = request();
  ASSERT_EQ(cut->add_oid_string("1.3.6.1.2.1.1.5", true), 0);
  char small[8];
  ASSERT_EQ(cut->get_text(small, sizeof small), 0);
  EXPECT_STREQ(small, "corvane");

  auto ints = request();
  ASSERT_EQ(ints->add_oid_string("1.3.6.1.2.1.25.2.2", true), 0);
  ASSERT_EQ(ints->add_oid_string("1.3.6.1.2.1.43.8.2.1.10.1.2", false), 0);
  std::int32_t v[2] = {};
  ASSERT_EQ(ints->get_integers(v, 2), 0);
  EXPECT_EQ(v[0], 524288);
  EXPECT_EQ(v[1], -3);
}

// An SNMPv1 GET of an object the agent does not have comes back with
// noSuchName and the request's own bindings: no value to read.
TEST_F(AgentRequests, GetAnsweredWithAnErrorStatusFails) {
  start();
  auto g = request();
  ASSERT_EQ(g->add_oid_string("1.3.6.1.2.1.25.2.2", true), 0);
  ASSERT_EQ(g->add_oid_string("1.3.6.1.4.1.32473.1.99.1", true), 0);
  std::int32_t v[2] = {};
  EXPECT_EQ(g->get_integers(v, 2), kPmcNoValue);

  auto t = request();
  ASSERT_EQ(t->add_oid_string("1.3.6.1.4.1.32473.1.99.1", true), 0);
  char text[256] = "unchanged";
  EXPECT_EQ(t->get_text(text, sizeof text), kPmcNoValue);
}

TEST_F(AgentRequests, WalkMatchesSnmpwalkRowByRow) {
  start();
  auto g = request();
  const char* columns[] = {"1.3.6.1.2.1.43.8.2.1.13", "1.3.6.1.2.1.43.8.2.1.9", "1.3.6.1.2.1.43.8.2.1.2"};
  for (const char* c : columns) ASSERT_EQ(g->add_oid_string(c, false), 0);
  int err = 0;
  PmsOwn<IPmsRowList> rows = pms_create_row_list(&err);
  ASSERT_EQ(g->get_data(rows.get(), columns[0]), 0);

  std::vector<std::vector<morva::test::ToolLine>> expected;
  for (const char* c : columns) {
    auto r = agent_->tool("snmpwalk", {"-v1", "-c", "public", agent_->peer(), c});
    ASSERT_EQ(r.exit_code, 0) << r.errors;
    expected.push_back(morva::test::parse_tool_output(r.output));
  }
  ASSERT_EQ(rows->count(), expected[0].size());
  ASSERT_EQ(rows->count(), 4u);
  PmsOwn<IPmsListIterator> it = rows->create_iterator(&err);
  for (std::size_t row = 0; row < expected[0].size(); ++row, rows->next(it.get())) {
    IPmsVarBindList* got = rows->current(it.get());
    ASSERT_NE(got, nullptr);
    ASSERT_EQ(got->count(), 3u);
    for (std::size_t col = 0; col < 3; ++col) {
      SCOPED_TRACE(expected[col][row].oid);
      IPmsVarBind* b = got->get_at(static_cast<std::uint32_t>(col));
      EXPECT_EQ(b->get_oid()->compare_text(expected[col][row].oid.c_str(), nullptr), kOidEqual);
      PmsOwn<IPmsOctetBuffer> text = b->get_value()->to_text_buffer(nullptr);
      ASSERT_TRUE(text);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(text->data()), text->length()), expected[col][row].value);
    }
  }
}

TEST_F(AgentRequests, WalkOfAColumnWithNothingInsideIsEmpty) {
  start();
  auto g = request();
  ASSERT_EQ(g->add_oid_string("1.3.6.1.2.1.43.8.2.1.14", false), 0);
  int err = 0;
  PmsOwn<IPmsRowList> rows = pms_create_row_list(&err);
  EXPECT_EQ(g->get_data(rows.get(), "1.3.6.1.2.1.43.8.2.1.14"), 0);
  EXPECT_EQ(rows->count(), 0u);
}

// The last objects of the community's view: GETNEXT past them is answered
// with noSuchName and the request echoed. The walk must end there.
TEST_F(AgentRequests, WalkEndsAtTheEndOfTheViewWithSnmpV1) {
  start("1.3.6.1.4.1.32473.9.1.1 integer 7\n1.3.6.1.4.1.32473.9.1.2 integer 8\n", {"1.3.6.1.4.1.32473.9.1"});
  auto check = agent_->tool("snmpgetnext", {"-v1", "-c", "limited", agent_->peer(), "1.3.6.1.4.1.32473.9.1.2"});
  ASSERT_NE(check.output + check.errors, "");
  ASSERT_NE((check.output + check.errors).find("noSuchName"), std::string::npos) << check.output << check.errors;
  auto done = std::async(std::launch::async, [&] {
    auto g = request("limited");
    EXPECT_EQ(g->add_oid_string("1.3.6.1.4.1.32473.9.1", false), 0);
    int err = 0;
    PmsOwn<IPmsRowList> rows = pms_create_row_list(&err);
    int r = g->get_data(rows.get(), "1.3.6.1.4.1.32473.9.1");
    return std::make_pair(r, rows->count());
  });
  ASSERT_EQ(done.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "the walk does not end";
  auto [r, count] = done.get();
  EXPECT_EQ(r, 0);
  EXPECT_EQ(count, 2u);
}

// An agent whose column never ends (more rows than any device table holds):
// the walk stops after the bound with the rows read so far, and says so.
TEST(WalkBound, ColumnThatNeverEndsStopsAtTheBound) {
  morva::test::FakeAgent agent;
  for (std::size_t i = 1; i <= kPmcMaxWalkRows + 5; ++i)
    agent.set("1.3.6.1.4.1.32473.9.3.1." + std::to_string(i), morva::test::wire::integer(static_cast<long>(i)));
  auto g = make_request(agent.address(), agent.port(), IPmcNetworkAddress::kIPv4, 0, 0, "public");
  ASSERT_EQ(g->add_oid_string("1.3.6.1.4.1.32473.9.3.1", false), 0);
  int err = 0;
  PmsOwn<IPmsRowList> rows = pms_create_row_list(&err);
  EXPECT_EQ(g->get_data(rows.get(), "1.3.6.1.4.1.32473.9.3.1"), kPmcNoValue);
  EXPECT_EQ(rows->count(), kPmcMaxWalkRows);
}

TEST_F(AgentRequests, SetAcceptedAndRefused) {
  start(
      "1.3.6.1.4.1.32473.9.2.1.0 integer 0\n@set 1.3.6.1.4.1.32473.9.2.1 ok\n"
      "1.3.6.1.4.1.32473.9.2.2.0 integer 0\n@set 1.3.6.1.4.1.32473.9.2.2 no-access\n"
      "1.3.6.1.4.1.32473.9.2.3.0 integer 0\n@set 1.3.6.1.4.1.32473.9.2.3 not-writable\n"
      "1.3.6.1.4.1.32473.9.2.4.0 string text\n@set 1.3.6.1.4.1.32473.9.2.4 ok\n"
      "1.3.6.1.4.1.32473.9.2.5.0 integer 0\n@set 1.3.6.1.4.1.32473.9.2.5 gen-error\n");
  auto ok = request("private");
  ASSERT_EQ(ok->add_oid_value("1.3.6.1.4.1.32473.9.2.1", "0", 1414), 0);
  EXPECT_EQ(ok->set_data(), 0);
  ASSERT_FALSE(agent_->sets().empty());

  for (const char* leaf : {"2", "3", "4", "5"}) {
    SCOPED_TRACE(leaf);
    auto refused = request("private");
    ASSERT_EQ(refused->add_oid_value((std::string("1.3.6.1.4.1.32473.9.2.") + leaf).c_str(), "0", 1), 0);
    EXPECT_EQ(refused->set_data(), kPmcNoValue);
  }
}

TEST_F(AgentRequests, UnansweredRequestTimesOut) {
  start();
  int err = 0;
  PmsOwn<IPmcGetData> g = pmc_create_get_data(&err);
  g->set_community("nobody-knows-this");
  ASSERT_EQ(g->init(agent_->target_address().c_str(), IPmcNetworkAddress::kIPv4, agent_->port(), 0, "", 0, 0, 0, "",
                    "", "", 200, 0, 0),
            0);
  ASSERT_EQ(g->add_oid_string("1.3.6.1.2.1.1.5", true), 0);
  std::int32_t v = 0;
  EXPECT_EQ(g->get_integer(&v), pms::kTimeout);
}

// Two agents on a LAN of the test's own namespace answer one broadcast GET
// of sysObjectID, each with its own packet.
TEST(FindDeviceSnmp, BroadcastCollectsOnePacketPerAgent) {
  MORVA_SKIP_WITHOUT_NETNS();
  if (auto why = morva::test::snmp_environment_missing(); !why.empty()) GTEST_SKIP() << why;
  morva::test::run_in_netns([&](morva::test::NetNamespace& ns) {
    ns.add_lan("10.77.0.1/24", "fd77::1/64");
    auto options = [](const char* address, const char* model) {
      SnmpAgentOptions o;
      o.lan_address = address;
      o.fixture_text = std::string("1.3.6.1.2.1.1.2.0 objectid ") + model + "\n";
      return o;
    };
    SnmpAgent m10(options("10.77.0.2/24", "1.3.6.1.4.1.32473.2.1.11.93.1.37.24.21"));
    SnmpAgent m60(options("10.77.0.3/24", "1.3.6.1.4.1.32473.2.1.11.93.1.35.34.2"));
    int err = 1;
    PmsOwn<IPmcFindDeviceSnmp> find = pmc_create_find_device_snmp(&err);
    ASSERT_EQ(err, 0);
    ASSERT_EQ(find->init("255.255.255.255", IPmcNetworkAddress::kIPv4, 161, 0, "", 0, 0, 0, "", "", "", 1000, 2, 0),
              0);
    ASSERT_EQ(find->add_oid_string("1.3.6.1.2.1.1.2"), 0);
    PmsOwn<IPmsSnmpPacketList> answers;
    ASSERT_EQ(find->send_broad_cast(&answers), 0);
    ASSERT_TRUE(answers);
    std::set<std::string> models;
    PmsOwn<IPmsListIterator> it = answers->create_iterator(&err);
    for (IPmsSnmpPacket* p = answers->current(it.get()); p; answers->next(it.get()), p = answers->current(it.get())) {
      IPmsVarBind* b = p->get_pdu()->get_var_bind_list()->get_at(0);
      ASSERT_NE(b, nullptr);
      PmsOwn<IPmsOctetBuffer> text = b->get_value()->to_text_buffer(nullptr);
      ASSERT_TRUE(text);
      models.insert(std::string(reinterpret_cast<const char*>(text->data()), text->length()));
    }
    EXPECT_EQ(models.size(), 2u) << ::testing::PrintToString(models);
    EXPECT_EQ(models.count("1.3.6.1.4.1.32473.2.1.11.93.1.37.24.21"), 1u) << ::testing::PrintToString(models);
  });
}

}  // namespace
