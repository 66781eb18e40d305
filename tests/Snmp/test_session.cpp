// Request sessions against a real agent (Debian's snmpd on 127.0.0.1 at a
// free port, serving fixture data) and against the project's fake agent for
// what a real agent will not send.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "netns_test.h"
#include "snmp/datagram.h"
#include "snmp/session.h"
#include "snmp/v3_session.h"
#include "snmp_env/fake_agent.h"
#include "snmp_env/snmp_agent.h"
#include "snmp_test_util.h"

using namespace snmptest;
using morva::test::FakeAgent;
using morva::test::SnmpAgent;
namespace fake = morva::test::fake;
namespace wire = morva::test::wire;

namespace {

PmsOwn<IPmsSnmpTarget> target_for(const std::string& host, std::uint16_t port, const char* community,
                                  std::int32_t version, std::int32_t timeout = 1000, std::int32_t retries = 1,
                                  std::int32_t max_size = 1400) {
  auto t = community_target(community, version, max_size);
  t->set_timeout(timeout);
  t->set_retries(retries);
  auto a = pmc_create_network_address_from_text(host.c_str(), port, nullptr);
  EXPECT_TRUE(a);
  t->set_address(a.get());
  return t;
}

PmsOwn<IPmsPdu> request(std::int32_t type, const std::vector<std::string>& names) {
  auto pdu = pms_create_pdu(nullptr);
  pdu->set_type(type);
  for (const auto& n : names) pdu->append_new(oid(n.c_str()), nullptr);
  return pdu;
}

std::string value_text(IPmsPdu& pdu, std::uint32_t i) {
  IPmsVarBind* b = pdu.get_var_bind_list()->get_at(i);
  return b ? text_of(*b->get_value()) : "<none>";
}

std::vector<std::string> interface_counters(int n) {
  std::vector<std::string> names;
  for (int i = 0; i < n; ++i) names.push_back("1.3.6.1.2.1.1." + std::to_string(i % 7 + 1) + ".0");
  return names;
}

class RealAgent : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (auto why = morva::test::snmp_environment_missing(); !why.empty()) return;
    agent_ = new SnmpAgent();
  }
  static void TearDownTestSuite() {
    delete agent_;
    agent_ = nullptr;
  }
  void SetUp() override {
    if (!agent_) GTEST_SKIP() << morva::test::snmp_environment_missing();
    dispatcher_ = pmc_create_session_dispatcher(nullptr);
  }
  PmsOwn<IPmsSnmpTarget> target(const char* community, std::int32_t version, std::int32_t max_size = 1400) {
    return target_for(agent_->target_address(), agent_->port(), community, version, 1000, 1, max_size);
  }
  static SnmpAgent* agent_;
  PmsOwn<SessionDispatcher> dispatcher_;
};
SnmpAgent* RealAgent::agent_ = nullptr;

TEST(Sessions, DispatcherPicksBySecurityAndVersion) {
  auto d = pmc_create_session_dispatcher(nullptr);
  IPmsSession* s = nullptr;
  auto t = community_target("public", kSnmpV3);
  EXPECT_EQ(d->get_session(t.get(), &s), -2);
  auto usm = pms_create_usm_target(nullptr);
  usm->set_version(kSnmpV1);
  EXPECT_EQ(d->get_session(usm.get(), &s), -2);
  usm->set_version(kSnmpV3);
  IPmsSession* v3 = nullptr;
  ASSERT_EQ(d->get_session(usm.get(), &v3), 0);
  EXPECT_NE(dynamic_cast<v3RequestSession*>(v3), nullptr);
  auto v1 = community_target("public", kSnmpV1);
  ASSERT_EQ(d->get_session(v1.get(), &s), 0);
  IPmsSession* again = nullptr;
  d->get_session(community_target("public", kSnmpV2c).get(), &again);
  EXPECT_EQ(s, again);
  auto pdu = request(kPduGet, {"1.3.6.1.2.1.1.5.0"});
  EXPECT_EQ(d->send_sync(pdu.get(), v1.get()), -2);  // no address
}

TEST(Sessions, RequestIdsAndSockets) {
  std::int32_t a = pmc_next_request_id(), b = pmc_next_request_id();
  EXPECT_EQ(b, a + 1);
  PmsOwn<DataGramSocket> s;
  EXPECT_EQ(pmc_create_datagram_socket(static_cast<IPmcNetworkAddress::EProtocol>(3), &s), -2);
  ASSERT_EQ(pmc_create_datagram_socket(IPmcNetworkAddress::kIPv4, &s), 0);
  EXPECT_STREQ(s->local_address()->host_text(), "0.0.0.0");
  EXPECT_NE(s->local_address()->get_port(), 0);
  std::uint8_t buf[16];
  std::uint32_t n = 0;
  PmsOwn<IPmcNetworkAddress> from;
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(s->receive(buf, sizeof buf, 0, &n, &from), -203);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
  EXPECT_EQ(pmc_create_datagram_socket(IPmcNetworkAddress::kIPX, &s), -201);  // the kernel has no IPX
  PmsOwn<DataGramSocket> v6;
  ASSERT_EQ(pmc_create_datagram_socket(IPmcNetworkAddress::kIPv6, &v6), 0);
  EXPECT_EQ(v6->set_broadcast(true), 0);
  std::uint8_t group[16];
  ASSERT_EQ(pmc_ipv6_text_to_bytes("ff02::1", group), 0);
  EXPECT_EQ(to_hex(group, 16), "FF 02 00 00 00 00 00 00 00 00 00 00 00 00 00 01");
  ASSERT_EQ(pmc_ipv6_text_to_bytes("::1", group), 0);
  EXPECT_EQ(to_hex(group, 16), "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01");
  EXPECT_EQ(pmc_ipv6_text_to_bytes("1:2:3", group), -2);
}

TEST_F(RealAgent, GetAndGetNextInBothVersions) {
  for (std::int32_t version : {kSnmpV1, kSnmpV2c}) {
    auto pdu = request(kPduGet, {"1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.1.0"});
    auto t = target("public", version);
    ASSERT_EQ(dispatcher_->send_sync(pdu.get(), t.get()), 0) << version;
    EXPECT_EQ(pdu->get_type(), kPduResponse);
    EXPECT_EQ(value_text(*pdu, 0), "corvane-m30-demo");
    EXPECT_EQ(value_text(*pdu, 1), "Corvane M30 colour network printer");
    EXPECT_STREQ(t->get_address()->host_text(), "127.0.0.1");

    auto next = request(kPduGetNext, {"1.3.6.1.2.1.1.5"});
    ASSERT_EQ(dispatcher_->send_sync(next.get(), t.get()), 0);
    EXPECT_EQ(text_of(*next->get_var_bind_list()->get_at(0)->get_oid()), "1.3.6.1.2.1.1.5.0");
  }
  // SNMPv1: an unknown object is noSuchName at its index.
  auto missing = request(kPduGet, {"1.3.6.1.2.1.1.5.0", "1.3.6.1.4.1.32473.9.9.9.0"});
  ASSERT_EQ(dispatcher_->send_sync(missing.get(), target("public", kSnmpV1).get()), 0);
  EXPECT_EQ(missing->get_error_status(), 2);
  EXPECT_EQ(missing->get_error_index(), 2);
  EXPECT_EQ(missing->get_var_bind_list()->get_at(1)->get_status(), 2);
  EXPECT_EQ(missing->get_var_bind_list()->get_at(0)->get_status(), 100);
}

// Unicast requests to an agent on the IPv6 loopback, in both versions.
TEST(RealAgentIpv6, GetOverIpv6) {
  if (auto why = morva::test::snmp_environment_missing(); !why.empty()) GTEST_SKIP() << why;
  morva::test::SnmpAgentOptions o;
  o.address = "::1";
  SnmpAgent agent(o);
  auto dispatcher = pmc_create_session_dispatcher(nullptr);
  for (std::int32_t version : {kSnmpV1, kSnmpV2c}) {
    auto t = target_for("::1", agent.port(), "public", version, 1000, 1, 1400);
    ASSERT_EQ(t->get_address()->get_protocol(), IPmcNetworkAddress::kIPv6);
    auto pdu = request(kPduGet, {"1.3.6.1.2.1.1.5.0"});
    ASSERT_EQ(dispatcher->send_sync(pdu.get(), t.get()), 0) << version;
    EXPECT_EQ(value_text(*pdu, 0), "corvane-m30-demo");
    EXPECT_EQ(t->get_address()->get_protocol(), IPmcNetworkAddress::kIPv6);
  }
}

TEST_F(RealAgent, TooBigRequestsAreSplitAndMergedInOrder) {
  auto names = interface_counters(30);
  auto pdu = request(kPduGet, names);
  // 30 bindings do not fit into 300 bytes: the request is cut into pieces.
  ASSERT_EQ(dispatcher_->send_sync(pdu.get(), target("public", kSnmpV2c, 300).get()), 0);
  ASSERT_EQ(pdu->get_var_bind_list()->count(), 30u);
  for (std::uint32_t i = 0; i < 30; ++i)
    EXPECT_EQ(text_of(*pdu->get_var_bind_list()->get_at(i)->get_oid()), names[i]) << i;
  EXPECT_EQ(value_text(*pdu, 4), "corvane-m30-demo");

  // An error in a later piece is reported with the index of the whole request.
  names[17] = "1.3.6.1.4.1.32473.9.9.9.0";
  auto bad = request(kPduGet, names);
  ASSERT_EQ(dispatcher_->send_sync(bad.get(), target("public", kSnmpV1, 300).get()), 0);
  EXPECT_EQ(bad->get_error_status(), 2);
  EXPECT_EQ(bad->get_error_index(), 18);
  EXPECT_EQ(bad->get_var_bind_list()->count(), 30u);
  EXPECT_EQ(bad->get_var_bind_list()->get_at(17)->get_status(), 2);
}

TEST_F(RealAgent, TooBigAnswersAreSplit) {
  morva::test::SnmpAgentOptions small_options;
  small_options.max_message_size = 484;
  SnmpAgent small(small_options);
  // The request fits the agent's 484 bytes, the answer does not: tooBig.
  std::vector<std::string> names(25, "1.3.6.1.2.1.1.1.0");
  names[24] = "1.3.6.1.2.1.1.5.0";
  auto pdu = request(kPduGet, names);
  auto t = target_for(small.target_address(), small.port(), "public", kSnmpV2c, 1000, 1, 1400);
  ASSERT_EQ(dispatcher_->send_sync(pdu.get(), t.get()), 0);
  ASSERT_EQ(pdu->get_var_bind_list()->count(), 25u);
  EXPECT_EQ(value_text(*pdu, 0), "Corvane M30 colour network printer");
  EXPECT_EQ(value_text(*pdu, 24), "corvane-m30-demo");
  // A single binding whose answer is too big cannot be split further.
  morva::test::SnmpAgentOptions tiny_options;
  tiny_options.fixture_text = "1.3.6.1.4.1.32473.1.1.0 string " + std::string(600, 'x') + "\n";
  tiny_options.max_message_size = 484;
  SnmpAgent tiny(tiny_options);
  auto one = request(kPduGet, {"1.3.6.1.4.1.32473.1.1.0"});
  auto t2 = target_for(tiny.target_address(), tiny.port(), "public", kSnmpV2c, 1000, 0, 1400);
  EXPECT_EQ(dispatcher_->send_sync(one.get(), t2.get()), -212);
  EXPECT_EQ(one->get_var_bind_list()->count(), 1u);
}

TEST_F(RealAgent, EndOfViewInBothVersions) {
  morva::test::SnmpAgentOptions o;
  o.limited_view = {"1.3.6.1.2.1.1"};
  SnmpAgent limited(o);
  // SNMPv1: the end of the view echoes the request with noSuchName.
  auto v1 = request(kPduGetNext, {"1.3.6.1.2.1.1.99"});
  auto t1 = target_for(limited.target_address(), limited.port(), morva::test::kLimitedCommunity, kSnmpV1);
  ASSERT_EQ(dispatcher_->send_sync(v1.get(), t1.get()), 0);
  EXPECT_EQ(v1->get_error_status(), 2);
  EXPECT_EQ(v1->get_error_index(), 1);
  EXPECT_EQ(text_of(*v1->get_var_bind_list()->get_at(0)->get_oid()), "1.3.6.1.2.1.1.99");
  // SNMPv2c: endOfMibView in the binding.
  auto v2 = request(kPduGetNext, {"1.3.6.1.2.1.1.99"});
  auto t2 = target_for(limited.target_address(), limited.port(), morva::test::kLimitedCommunity, kSnmpV2c);
  ASSERT_EQ(dispatcher_->send_sync(v2.get(), t2.get()), 0);
  EXPECT_EQ(v2->get_error_status(), 0);
  EXPECT_EQ(v2->get_var_bind_list()->get_at(0)->get_value()->get_tag(), kPmsEndOfMibView);
}

TEST_F(RealAgent, WrongCommunityAndStoppedAgentTimeOut) {
  auto pdu = request(kPduGet, {"1.3.6.1.2.1.1.5.0"});
  auto t = target_for(agent_->target_address(), agent_->port(), morva::test::kWrongCommunity, kSnmpV1, 200, 2);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(dispatcher_->send_sync(pdu.get(), t.get()), -203);
  auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_GE(took, std::chrono::milliseconds(580));  // three tries of one timeout each
  EXPECT_EQ(pdu->get_var_bind_list()->count(), 1u);
  EXPECT_EQ(pdu->get_var_bind_list()->get_at(0)->get_value()->get_tag(), kPmsNull);

  agent_->pause();
  auto p2 = request(kPduGet, {"1.3.6.1.2.1.1.5.0"});
  EXPECT_EQ(dispatcher_->send_sync(p2.get(), target_for(agent_->target_address(), agent_->port(), "public", kSnmpV2c,
                                                        200, 0)
                                                 .get()),
            -203);
  agent_->resume();
}

class FakeAgentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    agent_ = std::make_unique<FakeAgent>();
    agent_->set("1.3.6.1.2.1.1.5.0", wire::octets("fake-device"));
    dispatcher_ = pmc_create_session_dispatcher(nullptr);
  }
  PmsOwn<IPmsSnmpTarget> target(std::int32_t timeout = 300, std::int32_t retries = 0) {
    return target_for(agent_->address(), agent_->port(), "public", kSnmpV1, timeout, retries);
  }
  std::unique_ptr<FakeAgent> agent_;
  PmsOwn<SessionDispatcher> dispatcher_;
};

TEST_F(FakeAgentTest, StaleDuplicateAndGarbageAnswersAreSkipped) {
  agent_->script({{fake::stale_id(-1), fake::garbage(), fake::truncated(10), fake::answer(), fake::answer()}});
  auto pdu = request(kPduGet, {"1.3.6.1.2.1.1.5.0"});
  ASSERT_EQ(dispatcher_->send_sync(pdu.get(), target().get()), 0);
  EXPECT_EQ(value_text(*pdu, 0), "fake-device");
  EXPECT_EQ(agent_->received().size(), 1u);  // one try was enough
}

// An answer to the request that the decoder refuses (an INTEGER of six
// bytes) is reported as a decode error, not as a timeout, after every try.
TEST_F(FakeAgentTest, RefusedAnswerIsADecodeErrorNotATimeout) {
  agent_->set("1.3.6.1.2.1.1.5.0", wire::Value{wire::kInteger, {0, 0, 0, 0, 0, 1}});
  agent_->script({{fake::answer()}, {fake::answer()}});
  auto pdu = request(kPduGet, {"1.3.6.1.2.1.1.5.0"});
  EXPECT_EQ(dispatcher_->send_sync(pdu.get(), target(200, 1).get()), -250);
  EXPECT_EQ(agent_->received().size(), 2u) << "the request was still retried";
}

TEST_F(FakeAgentTest, AnswerFromAnotherAddressIsNotTaken) {
  agent_->script({{fake::answer_from("127.0.0.2")}});
  auto pdu = request(kPduGet, {"1.3.6.1.2.1.1.5.0"});
  auto t = target();
  EXPECT_EQ(dispatcher_->send_sync(pdu.get(), t.get()), -203);
  EXPECT_STREQ(t->get_address()->host_text(), "127.0.0.1");
  EXPECT_EQ(pdu->get_var_bind_list()->get_at(0)->get_value()->get_tag(), kPmsNull);
}

TEST_F(FakeAgentTest, LargeAnswersAreReadWhole) {
  agent_->script({{fake::oversize(5000)}});
  auto pdu = request(kPduGet, {"1.3.6.1.2.1.1.5.0"});
  ASSERT_EQ(dispatcher_->send_sync(pdu.get(), target().get()), 0);
  EXPECT_EQ(pdu->get_type(), kPduResponse);
}

TEST_F(FakeAgentTest, RetriesResendTheSameRequest) {
  agent_->script({{}, {}, {fake::answer()}});
  auto pdu = request(kPduGet, {"1.3.6.1.2.1.1.5.0"});
  ASSERT_EQ(dispatcher_->send_sync(pdu.get(), target(200, 2).get()), 0);
  auto got = agent_->received();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].bytes, got[2].bytes);
}

TEST_F(FakeAgentTest, FailedPieceGivesTheRequestBack) {
  for (int i = 0; i < 10; ++i) agent_->set("1.3.6.1.4.1.32473.1." + std::to_string(i) + ".0", wire::integer(i));
  agent_->script({{fake::answer()}, {}});  // the first piece is answered, the second never
  std::vector<std::string> names;
  for (int i = 0; i < 10; ++i) names.push_back("1.3.6.1.4.1.32473.1." + std::to_string(i) + ".0");
  auto pdu = request(kPduGet, names);
  auto t = target_for(agent_->address(), agent_->port(), "public", kSnmpV1, 200, 0, 150);
  EXPECT_EQ(dispatcher_->send_sync(pdu.get(), t.get()), -203);
  ASSERT_EQ(pdu->get_var_bind_list()->count(), 10u);
  EXPECT_EQ(text_of(*pdu->get_var_bind_list()->get_at(9)->get_oid()), names[9]);
}

TEST(Broadcast, CollectsOneAnswerPerAddress) {
  MORVA_SKIP_WITHOUT_NETNS();
  morva::test::run_in_netns([&](morva::test::NetNamespace& ns) {
    ns.add_address("127.0.0.2/8");
    FakeAgent a({.address = "0.0.0.0", .port = 161, .reuse_address = true, .reply_from = "127.0.0.2"});
    FakeAgent b({.address = "0.0.0.0", .port = 161, .reuse_address = true, .reply_from = "127.0.0.3"});
    a.set("1.3.6.1.2.1.1.2.0", wire::object_id("1.3.6.1.4.1.32473.2.1"));
    b.set("1.3.6.1.2.1.1.2.0", wire::object_id("1.3.6.1.4.1.32473.2.2"));
    // Each answers twice; b sends garbage first, which must not end the broadcast.
    a.set_default({fake::answer(), fake::answer()});
    b.set_default({fake::garbage(), fake::answer(), fake::answer()});
    auto d = pmc_create_session_dispatcher(nullptr);
    auto pdu = request(kPduGet, {"1.3.6.1.2.1.1.2.0"});
    auto t = target_for("255.255.255.255", 161, "public", kSnmpV1, 500, 0);
    PmsOwn<IPmsSnmpPacketList> answers;
    ASSERT_EQ(d->send_broad_cast_sync(pdu.get(), t.get(), &answers), 0);
    ASSERT_TRUE(answers);
    EXPECT_EQ(answers->count(), 2u);
    std::set<std::string> from;
    auto it = answers->create_iterator(nullptr);
    for (IPmsSnmpPacket* p; (p = answers->current(it.get())); answers->next(it.get()))
      from.insert(p->get_target()->get_address()->host_text());
    EXPECT_EQ(from, (std::set<std::string>{"127.0.0.2", "127.0.0.3"}));

    // Nobody answering is no error: an empty list.
    auto none = target_for("255.255.255.255", 1161, "public", kSnmpV1, 200, 0);
    ASSERT_EQ(d->send_broad_cast_sync(pdu.get(), none.get(), &answers), 0);
    EXPECT_EQ(answers->count(), 0u);
  });
}

}  // namespace
