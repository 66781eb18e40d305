// Discovery by broadcast among real agents on a LAN inside a namespace of
// the test's own; nothing is sent from the machine's own namespace.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "device_api/device_finder.h"
#include "fake_agent.h"
#include "netns_test.h"
#include "snmp_agent.h"
#include "temp_root.h"

namespace {

using morva::test::NetNamespace;
using morva::test::SnmpAgent;
using morva::test::SnmpAgentOptions;

struct Usm {
  IPSWPluginUSM* p = psw_create_plugin_usm();
  ~Usm() { p->release(); }
};

SnmpAgentOptions agent_at(const char* address, const char* sys_object_id) {
  SnmpAgentOptions o;
  o.lan_address = address;
  o.fixture_text = std::string("1.3.6.1.2.1.1.2.0 objectid ") + sys_object_id + "\n";
  return o;
}

// Found devices by address: model name and sysObjectID, in hand-out order.
struct Found {
  std::string address, model, oid;
};

std::vector<Found> hand_out(CPSWDeviceFinder& f) {
  std::vector<Found> out;
  char address[64], model[64], reserved[64], oid[64];
  while (f.Next(address, model, reserved, oid)) {
    EXPECT_STREQ(reserved, "");
    out.push_back({address, model, oid});
  }
  return out;
}

// A broadcast can miss an agent that has only just started: repeat it a few
// times until the expected number of devices is found.
long discover(CPSWDeviceFinder& f, Usm& usm, long expected) {
  long count = -1;
  for (int attempt = 0; attempt < 6; ++attempt) {
    if (f.Find(IPmcNetworkAddress::kIPv4, "255.255.255.255", usm.p, 2000, 0, 0) != 0) return -1;
    if (f.Collect(SupportedModelTable, kSupportedModelCount, &count) != 0) return -1;
    if (count >= expected) break;
  }
  return count;
}

}  // namespace

TEST(DeviceFinder, SupportedModelsAndFiltersAmongRealAgents) {
  MORVA_SKIP_WITHOUT_NETNS();
  if (auto why = morva::test::snmp_environment_missing(); !why.empty()) GTEST_SKIP() << why;
  morva::test::run_in_netns([&](NetNamespace& ns) {
    ns.add_lan("10.77.0.1/24", "fd77::1/64");
    SnmpAgent m10(agent_at("10.77.0.2/24", "1.3.6.1.4.1.32473.2.1.11.93.1.37.24.21.3"));
    SnmpAgent t60(agent_at("10.77.0.3/24", "1.3.6.1.4.1.32473.2.1.11.93.1.35.34.2"));
    // Continues a supported OID without a "." boundary: no supported model.
    SnmpAgent other(agent_at("10.77.0.4/24", "1.3.6.1.4.1.32473.2.1.11.93.1.37.24.211"));
    SnmpAgent t10(agent_at("10.77.0.5/24", "1.3.6.1.4.1.32473.2.1.11.93.1.35.34.21"));

    Usm usm;
    usm.p->load_param(0, PSWUsmParam{});
    CPSWDeviceFinder f;
    ASSERT_EQ(discover(f, usm, 3), 3);
    std::vector<Found> all = hand_out(f);
    ASSERT_EQ(all.size(), 3u);
    std::map<std::string, Found> by_address;
    for (const Found& d : all) by_address[d.address] = d;
    EXPECT_EQ(by_address["10.77.0.2"].model, "Corvane M10");
    EXPECT_EQ(by_address["10.77.0.2"].oid, "1.3.6.1.4.1.32473.2.1.11.93.1.37.24.21.3");
    EXPECT_EQ(by_address["10.77.0.3"].model, "Tessaly M60");
    EXPECT_EQ(by_address["10.77.0.5"].model, "Tessaly M10");
    EXPECT_EQ(by_address.count("10.77.0.4"), 0u);

    // Rewound, the same devices come again in the same order.
    f.ResetPosition();
    std::vector<Found> again = hand_out(f);
    ASSERT_EQ(again.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(again[i].address, all[i].address);

    // One family filter keeps that family; both filters keep both.
    ASSERT_EQ(f.AddFilter("1.3.6.1.4.1.32473.2.1.11.93.1.35"), 0);
    ASSERT_EQ(discover(f, usm, 2), 2);
    for (const Found& d : hand_out(f)) EXPECT_EQ(d.model.rfind("Tessaly", 0), 0u) << d.model;
    ASSERT_EQ(f.AddFilter("1.3.6.1.4.1.32473.2.1.11.93.1.37"), 0);
    EXPECT_EQ(discover(f, usm, 3), 3);

    // An IPv6 address for the IPv4 transport is refused before sending, and
    // the earlier results are gone.
    EXPECT_EQ(f.Find(IPmcNetworkAddress::kIPv4, "ff02::1", usm.p, 800, 1, 0), -2);
    char a[64], m[64], r[64], o[64];
    EXPECT_FALSE(f.Next(a, m, r, o));
  });
}

// SNMPv3 discovery: the finder's broadcast runs engine discovery and the
// request with the caller's user; agents that do not know the user are not
// found.
TEST(DeviceFinder, SnmpV3DiscoveryWithTheCallersUser) {
  MORVA_SKIP_WITHOUT_NETNS();
  if (auto why = morva::test::snmp_environment_missing(); !why.empty()) GTEST_SKIP() << why;
  morva::test::TempRoot root;  // the SNMPv3 library's files live in the machine root
  morva::test::run_in_netns([&](NetNamespace& ns) {
    ns.add_lan("10.78.0.1/24", "fd78::1/64");
    SnmpAgent m10(agent_at("10.78.0.2/24", "1.3.6.1.4.1.32473.2.1.11.93.1.37.24.21.3"));
    SnmpAgentOptions without_user = agent_at("10.78.0.3/24", "1.3.6.1.4.1.32473.2.1.11.93.1.35.34.2");
    without_user.users.clear();
    SnmpAgent t60(without_user);

    const morva::test::SnmpUser& u = morva::test::find_snmp_user("shaaes");
    PSWUsmParam param{};
    std::snprintf(param.security_name, sizeof param.security_name, "%s", u.name.c_str());
    param.security_level = 2;
    param.auth_protocol = 2;
    param.priv_protocol = 2;
    std::snprintf(param.auth_passphrase, sizeof param.auth_passphrase, "%s", u.auth_pass.c_str());
    std::snprintf(param.priv_passphrase, sizeof param.priv_passphrase, "%s", u.priv_pass.c_str());
    Usm usm;
    usm.p->load_param(2, param);
    ASSERT_EQ(usm.p->get_version(), 2);
    CPSWDeviceFinder f;
    long count = -1;
    for (int attempt = 0; attempt < 6 && count < 1; ++attempt) {
      ASSERT_EQ(f.Find(IPmcNetworkAddress::kIPv4, "255.255.255.255", usm.p, 2000, 0, 0), 0);
      ASSERT_EQ(f.Collect(SupportedModelTable, kSupportedModelCount, &count), 0);
    }
    std::vector<Found> found = hand_out(f);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].address, "10.78.0.2");
    EXPECT_EQ(found[0].model, "Corvane M10");
  });
}

// IPv6: one GET to the all-nodes group on the namespace's LAN.
TEST(DeviceFinder, AllNodesGroupOverIpv6) {
  MORVA_SKIP_WITHOUT_NETNS();
  if (auto why = morva::test::snmp_environment_missing(); !why.empty()) GTEST_SKIP() << why;
  morva::test::run_in_netns([&](NetNamespace& ns) {
    ns.add_lan("10.77.0.1/24", "fd77::1/64");
    SnmpAgentOptions a = agent_at("10.77.0.2/24", "1.3.6.1.4.1.32473.2.1.11.93.1.37.24.17");
    a.lan_address6 = "fd77::2/64";
    SnmpAgentOptions b = agent_at("10.77.0.3/24", "1.3.6.1.4.1.32473.2.1.11.93.1.35.34.8");
    b.lan_address6 = "fd77::3/64";
    SnmpAgent m20(a), t30(b);
    Usm usm;
    usm.p->load_param(0, PSWUsmParam{});
    CPSWDeviceFinder f;
    long count = -1;
    for (int attempt = 0; attempt < 6 && count < 2; ++attempt) {
      ASSERT_EQ(f.Find(IPmcNetworkAddress::kIPv6, "ff02::1", usm.p, 2000, 0, 0), 0);
      ASSERT_EQ(f.Collect(SupportedModelTable, kSupportedModelCount, &count), 0);
    }
    ASSERT_EQ(count, 2);
    std::map<std::string, std::string> models;
    for (const Found& d : hand_out(f)) models[d.model] = d.address;
    EXPECT_EQ(models.count("Corvane M20"), 1u);
    EXPECT_EQ(models.count("Tessaly M30"), 1u);
    // Answers to the link-scope group come from the agents' IPv6 addresses
    // (the kernel may pick their link-local ones).
    for (const auto& [model, address] : models) EXPECT_NE(address.find(':'), std::string::npos) << address;
    EXPECT_NE(models["Corvane M20"], models["Tessaly M30"]);
  });
}

// Answers arrive in a known order from scripted responders; the device that
// answered last is handed out first. An answer carrying another request's id
// is no answer to this discovery.
TEST(DeviceFinder, NewestAnswerFirstAndStaleAnswersIgnored) {
  MORVA_SKIP_WITHOUT_NETNS();
  namespace fake = morva::test::fake;
  namespace wire = morva::test::wire;
  morva::test::run_in_netns([&](NetNamespace&) {
    struct Responder {
      const char* from;
      const char* oid;
      std::vector<fake::Action> actions;
    };
    const Responder responders[] = {
        {"127.0.0.2", "1.3.6.1.4.1.32473.2.1.11.93.1.37.24.8", {fake::answer()}},
        {"127.0.0.3", "1.3.6.1.4.1.32473.2.1.11.93.1.37.24.6", {fake::delay(250), fake::answer()}},
        {"127.0.0.4", "1.3.6.1.4.1.32473.2.1.11.93.1.37.24.4", {fake::delay(500), fake::answer()}},
        {"127.0.0.5", "1.3.6.1.4.1.32473.2.1.11.93.1.37.24.2", {fake::stale_id(-1)}},
    };
    std::vector<std::unique_ptr<morva::test::FakeAgent>> agents;
    for (const Responder& r : responders) {
      agents.push_back(std::make_unique<morva::test::FakeAgent>(morva::test::FakeAgentOptions{
          .address = "0.0.0.0", .port = 161, .reuse_address = true, .reply_from = r.from}));
      agents.back()->set("1.3.6.1.2.1.1.2.0", wire::object_id(r.oid));
      agents.back()->set_default(r.actions);
    }
    Usm usm;
    usm.p->load_param(0, PSWUsmParam{});
    CPSWDeviceFinder f;
    ASSERT_EQ(f.Find(IPmcNetworkAddress::kIPv4, "255.255.255.255", usm.p, 1500, 0, 0), 0);
    long count = -1;
    ASSERT_EQ(f.Collect(SupportedModelTable, kSupportedModelCount, &count), 0);
    EXPECT_EQ(count, 3);
    std::vector<std::string> order;
    for (const Found& d : hand_out(f)) order.push_back(d.address + " " + d.model);
    EXPECT_EQ(order, (std::vector<std::string>{"127.0.0.4 Corvane M50", "127.0.0.3 Corvane M40",
                                               "127.0.0.2 Corvane M30"}));
  });
}

TEST(DeviceFinder, FiltersTooLongAreRefusedAndSlotsFill) {
  CPSWDeviceFinder f;
  EXPECT_EQ(f.AddFilter(nullptr), -2);
  EXPECT_EQ(f.AddFilter(std::string(64, '1').c_str()), -2);
  for (int i = 0; i < 51; ++i) EXPECT_EQ(f.AddFilter("1.3.6"), 0);
  char a[64], m[64], r[64], o[64];
  EXPECT_FALSE(f.Next(a, m, r, o));  // no discovery yet
  long count = -1;
  EXPECT_EQ(f.Collect(SupportedModelTable, kSupportedModelCount, &count), -8);
  EXPECT_EQ(count, 0);
}
