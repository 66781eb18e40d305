// The namespace runner: a real agent on 127.0.0.1:161 inside a namespace,
// broadcasts and IPv6 multicasts that reach responders there and nothing
// outside. Skipped with a message where namespaces cannot be made.
#include <algorithm>
#include <chrono>
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include "fake_agent.h"
#include "netns_test.h"
#include "snmp_agent.h"

namespace morva::test {
namespace {

// Sends one SNMP GET to `to` (with SO_BROADCAST) and collects the answering
// source addresses. Waits up to 5 s for `expected` distinct sources (agents
// answer slowly on a loaded machine), then 300 ms more for any extra answer.
// The request is sent again each second until then: a datagram can be lost
// while a freshly made test segment settles, and a repeat answer adds no
// new source.
std::set<std::string> ask_all(const sockaddr* to, socklen_t to_len, std::size_t expected) {
  using clock = std::chrono::steady_clock;
  auto deadline = clock::now() + std::chrono::seconds(5);
  bool settled = false;
  int fd = socket(to->sa_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
  auto req = wire::encode(wire::get_request(0, "public", 77, {"1.3.6.1.2.1.1.2.0"}));
  sendto(fd, req.data(), req.size(), 0, to, to_len);
  auto next_send = clock::now() + std::chrono::seconds(1);
  std::set<std::string> sources;
  std::vector<std::uint8_t> buf(4096);
  for (;;) {
    if (!settled && sources.size() >= expected) {
      settled = true;
      deadline = clock::now() + std::chrono::milliseconds(300);
    }
    if (!settled && clock::now() >= next_send) {
      sendto(fd, req.data(), req.size(), 0, to, to_len);
      next_send = clock::now() + std::chrono::seconds(1);
    }
    auto until = settled ? deadline : std::min(deadline, next_send);
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - clock::now()).count();
    if (clock::now() >= deadline) break;
    if (left < 0) left = 0;
    pollfd p{fd, POLLIN, 0};
    int ready = poll(&p, 1, static_cast<int>(left));
    if (ready < 0) break;
    if (ready == 0) continue;
    sockaddr_storage from{};
    socklen_t len = sizeof from;
    ssize_t n = recvfrom(fd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n <= 0) break;
    auto m = wire::decode(buf.data(), static_cast<std::size_t>(n));
    if (!m || m->request_id != 77) continue;
    char text[INET6_ADDRSTRLEN] = {};
    if (from.ss_family == AF_INET)
      inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&from)->sin_addr, text, sizeof text);
    else
      inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&from)->sin6_addr, text, sizeof text);
    sources.insert(text);
  }
  close(fd);
  return sources;
}

TEST(NetNamespace, RealAgentListensOnPort161Inside) {
  MORVA_SKIP_WITHOUT_NETNS();
  if (auto why = snmp_environment_missing(); !why.empty()) GTEST_SKIP() << why;
  run_in_netns([&](NetNamespace&) {
    SnmpAgentOptions o;
    o.port = 161;
    o.users = {find_snmp_user("shaaes")};
    SnmpAgent agent(o);
    auto r = agent.tool("snmpget", {"-v1", "-c", kReadCommunity, "127.0.0.1", "1.3.6.1.2.1.1.5.0"});
    EXPECT_EQ(r.exit_code, 0) << r.errors;
    EXPECT_NE(r.output.find("corvane-m30-demo"), std::string::npos);
    // Only this namespace's loopback exists here.
    std::ifstream dev("/proc/thread-self/net/dev");
    std::stringstream s;
    s << dev.rdbuf();
    const std::string devices = s.str();
    EXPECT_NE(devices.find("lo:"), std::string::npos);
    EXPECT_EQ(std::count(devices.begin(), devices.end(), ':'), 1) << devices;
  });
}

TEST(NetNamespace, BroadcastReachesEveryResponderInside) {
  MORVA_SKIP_WITHOUT_NETNS();
  run_in_netns([&](NetNamespace& ns) {
    ns.add_address("127.0.0.2/8");
    // Two fake agents share 0.0.0.0:161 and answer from their own addresses.
    FakeAgent a({.address = "0.0.0.0", .port = 161, .reuse_address = true, .reply_from = "127.0.0.2"});
    FakeAgent b({.address = "0.0.0.0", .port = 161, .reuse_address = true, .reply_from = "127.0.0.3"});
    a.set("1.3.6.1.2.1.1.2.0", wire::object_id("1.3.6.1.4.1.32473.2.1.11.93.1.37.24.21"));
    b.set("1.3.6.1.2.1.1.2.0", wire::object_id("1.3.6.1.4.1.32473.2.1.11.93.1.35.34.2"));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(161);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    auto sources = ask_all(reinterpret_cast<sockaddr*>(&to), sizeof to, 2);
    EXPECT_EQ(sources, (std::set<std::string>{"127.0.0.2", "127.0.0.3"}));
  });
}

TEST(NetNamespace, BroadcastReachesRealAgentsOnTheLan) {
  MORVA_SKIP_WITHOUT_NETNS();
  if (auto why = snmp_environment_missing(); !why.empty()) GTEST_SKIP() << why;
  run_in_netns([&](NetNamespace& ns) {
    ns.add_lan("10.77.0.1/24", "fd77::1/64");
    auto options = [](const char* address, const char* address6, const char* model) {
      SnmpAgentOptions o;
      o.lan_address = address;
      o.lan_address6 = address6;
      o.users = {default_snmp_user()};
      o.fixture_text = std::string("1.3.6.1.2.1.1.2.0 objectid ") + model + "\n";
      return o;
    };
    SnmpAgent m10(options("10.77.0.2/24", "fd77::2/64", "1.3.6.1.4.1.32473.2.1.11.93.1.37.24.21"));
    SnmpAgent m60(options("10.77.0.3/24", "fd77::3/64", "1.3.6.1.4.1.32473.2.1.11.93.1.35.34.2"));
    EXPECT_EQ(m10.port(), 161);
    auto r = m60.tool("snmpget", {"-v1", "-c", kReadCommunity, m60.peer(), "1.3.6.1.2.1.1.2.0"});
    EXPECT_NE(r.output.find(".1.3.6.1.4.1.32473.2.1.11.93.1.35.34.2"), std::string::npos) << r.output << r.errors;
    // A local listener on 0.0.0.0 hears the broadcast too.
    FakeAgent local({.address = "0.0.0.0", .port = 161, .reuse_address = false, .reply_from = ""});
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(161);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    auto sources = ask_all(reinterpret_cast<sockaddr*>(&to), sizeof to, 3);
    EXPECT_EQ(sources.count("10.77.0.2"), 1u);
    EXPECT_EQ(sources.count("10.77.0.3"), 1u);
    EXPECT_EQ(sources.size(), 3u);

    // ff02::1 on the bridge reaches each agent once.
    sockaddr_in6 all{};
    all.sin6_family = AF_INET6;
    all.sin6_port = htons(161);
    inet_pton(AF_INET6, "ff02::1", &all.sin6_addr);
    all.sin6_scope_id = ns.if_index(kLanBridge);
    sources = ask_all(reinterpret_cast<sockaddr*>(&all), sizeof all, 2);
    // The kernel picks each answer's source: the link-local address while the
    // agent's own address is still tentative, that address once it is usable.
    EXPECT_EQ(sources.size(), 2u) << ::testing::PrintToString(sources);
    for (const auto& s : sources)
      EXPECT_TRUE(s.rfind("fe80::", 0) == 0 || s == "fd77::2" || s == "fd77::3") << s;
  });
}

TEST(NetNamespace, VethPairCarriesIpv6Multicast) {
  MORVA_SKIP_WITHOUT_NETNS();
  run_in_netns([&](NetNamespace& ns) {
    ns.add_veth_pair("mva", "mvb");
    ns.add_address("fd00::2/64", "mvb");
    // A fake agent answering from fd00::2 beside a real one on [::]:161.
    FakeAgent responder({.address = "::", .port = 1161, .reuse_address = false, .reply_from = "fd00::2"});
    responder.set("1.3.6.1.2.1.1.2.0", wire::object_id("1.3.6.1.4.1.32473.2.1.11.93.1.37.24.8"));
    std::unique_ptr<SnmpAgent> agent;
    if (snmp_environment_missing().empty()) {
      SnmpAgentOptions o;
      o.address = "::";
      o.port = 161;
      o.users.clear();
      agent = std::make_unique<SnmpAgent>(o);
    }
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    to.sin6_port = htons(161);
    inet_pton(AF_INET6, "ff02::1", &to.sin6_addr);
    to.sin6_scope_id = ns.if_index("mva");
    ASSERT_NE(to.sin6_scope_id, 0u);
    auto sources = ask_all(reinterpret_cast<sockaddr*>(&to), sizeof to, 2);
    if (agent) {
      // A listener in the sending namespace hears ff02::1 on both ends of
      // the pair and answers from both link-local addresses; agents that
      // must answer once each belong on the LAN (lan_address6).
      EXPECT_EQ(sources.size(), 2u) << ::testing::PrintToString(sources);
      for (const auto& s : sources) EXPECT_EQ(s.rfind("fe80::", 0), 0u) << s;
    }
    to.sin6_port = htons(1161);
    sources = ask_all(reinterpret_cast<sockaddr*>(&to), sizeof to, 1);
    EXPECT_EQ(sources, (std::set<std::string>{"fd00::2"}));
  });
}

TEST(NetNamespace, AgentProgramRunsACommandBesideItsAgent) {
  MORVA_SKIP_WITHOUT_NETNS();
  if (auto why = snmp_environment_missing(); !why.empty()) GTEST_SKIP() << why;
  auto r = run_command({std::string(MORVA_BIN_DIR) + "/morva-snmp-agent", "--netns", "--", "sh", "-c",
                        "snmpget -On -v1 -c public $MORVA_SNMP_AGENT_ADDRESS:$MORVA_SNMP_AGENT_PORT 1.3.6.1.2.1.1.5.0"
                        " && exit 5"});
  EXPECT_EQ(r.exit_code, 5) << r.errors;
  EXPECT_NE(r.output.find("corvane-m30-demo"), std::string::npos) << r.output;
  EXPECT_NE(r.errors.find("127.0.0.1:161"), std::string::npos) << r.errors;
}

TEST(NetNamespace, ForkedBodyReportsItsFailures) {
  MORVA_SKIP_WITHOUT_NETNS();
  EXPECT_EQ(run_in_netns_process([](NetNamespace& ns) { return ns.if_index("lo") != 0 ? 0 : 1; }), 0);
  EXPECT_EQ(run_in_netns_process([](NetNamespace&) { return 3; }), 3);
  expect_in_netns_process([](NetNamespace&) {
    FakeAgent agent({.address = "127.0.0.1", .port = 161, .reuse_address = false, .reply_from = ""});
    EXPECT_EQ(agent.port(), 161);
  });
}

}  // namespace
}  // namespace morva::test
