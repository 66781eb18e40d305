// Network tables from both providers, and the local IPv4 address chosen
// for a destination.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "net_fixture.h"
#include "netns_test.h"
#include "snmp/network_tables.h"
#include "snmp/socket_api.h"
#include "win/modules.h"
#include "win/snmp_extension.h"

namespace {

using morva::platform::NetFixture;
using morva::platform::net_route;
using snmptest::net_interface;

std::string dotted(std::uint32_t v) {
  return std::to_string(v >> 24) + "." + std::to_string((v >> 16) & 0xFF) + "." + std::to_string((v >> 8) & 0xFF) +
         "." + std::to_string(v & 0xFF);
}

// Every table of one provider as text rows, for comparison.
struct Tables {
  std::vector<std::string> routes, interfaces, addresses;
  std::uint32_t count = 0;
  bool operator==(const Tables&) const = default;
};

Tables read_tables(int kind) {
  CPmcNetworkInfo info;
  Tables t;
  EXPECT_EQ(info.select_provider(kind), 0) << "provider kind " << kind;
  int err = -99;
  auto routes = info.route_table(&err);
  EXPECT_EQ(err, 0);
  for (std::uint32_t k = 0; routes && k < routes->count(); ++k) {
    const PmcRouteRow& r = *routes->at(k);
    t.routes.push_back(dotted(r.destination) + "/" + dotted(r.mask) + " via " + dotted(r.next_hop) + " if " +
                       std::to_string(r.if_index) + " type " + std::to_string(r.type));
  }
  auto ifs = info.interface_table(&err);
  EXPECT_EQ(err, 0);
  for (std::uint32_t k = 0; ifs && k < ifs->count(); ++k) {
    const PmcInterfaceRow& r = *ifs->at(k);
    t.interfaces.push_back(std::to_string(r.index) + " " + r.description.get() + " " + std::to_string(r.type));
  }
  auto addrs = info.address_table(&err);
  EXPECT_EQ(err, 0);
  for (std::uint32_t k = 0; addrs && k < addrs->count(); ++k) {
    const PmcAddressRow& r = *addrs->at(k);
    t.addresses.push_back(dotted(r.address) + "/" + dotted(r.mask) + " if " + std::to_string(r.if_index) + " bcast " +
                          std::to_string(r.broadcast));
  }
  t.count = info.interface_count(&err);
  EXPECT_EQ(err, 0);
  return t;
}

class NetworkTables : public ::testing::Test {
 protected:
  void TearDown() override {
    morva::platform::clear_network_fixture();
    morva::platform::restore_network_modules();
    pmc_network_info_test_reset();
  }
};

TEST_F(NetworkTables, BothProvidersGiveTheSameRows) {
  NetFixture empty_ish;
  empty_ish.interfaces = {net_interface(9, "lo", MIB_IF_TYPE_LOOPBACK, {}, {"127.0.0.1/8"})};
  empty_ish.routes = {net_route("127.0.0.0/8", "", 9)};
  struct Case {
    const char* name;
    NetFixture fixture;
    std::vector<std::string> routes;
  } cases[] = {
      {"office", snmptest::office_network(),
       {"0.0.0.0/0.0.0.0 via 10.1.0.1 if 2 type 4", "10.1.0.0/255.255.0.0 via 0.0.0.0 if 2 type 3",
        "127.0.0.0/255.0.0.0 via 0.0.0.0 if 1 type 3", "192.168.1.0/255.255.255.0 via 0.0.0.0 if 3 type 3"}},
      {"loopback only", empty_ish, {"127.0.0.0/255.0.0.0 via 0.0.0.0 if 9 type 3"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    morva::platform::set_network_fixture(c.fixture);
    Tables helper = read_tables(kPmcProviderIpHelper);
    Tables agent = read_tables(kPmcProviderExtensionAgent);
    EXPECT_EQ(helper.routes, c.routes);
    EXPECT_EQ(helper, agent);
    EXPECT_EQ(helper.count, c.fixture.interfaces.size());
  }
  // The interface and address rows of the office, once spelled out.
  morva::platform::set_network_fixture(snmptest::office_network());
  Tables t = read_tables(kPmcProviderExtensionAgent);
  EXPECT_EQ(t.interfaces, (std::vector<std::string>{"1 lo 24", "2 Onboard Ethernet 6", "3 wlan0 71", "4 tun0 131"}));
  EXPECT_EQ(t.addresses, (std::vector<std::string>{"10.1.2.3/255.255.0.0 if 2 bcast 1", "10.1.9.9/255.255.0.0 if 2 bcast 1",
                                                   "127.0.0.1/255.0.0.0 if 1 bcast 1",
                                                   "192.168.1.20/255.255.255.0 if 3 bcast 1"}));
}

int local_address(const char* destination, std::string* text, std::uint16_t port = 161) {
  int err = 0;
  auto d = pmc_create_network_address_from_text(destination, port, &err);
  if (!d) return err;
  PmsOwn<IPmcNetworkAddress> out;
  int r = pmc_network_local_address_for(d.get(), &out);
  if (out) {
    *text = out->host_text();
    EXPECT_EQ(out->get_port(), port);
    EXPECT_EQ(out->get_protocol(), IPmcNetworkAddress::kIPv4);
  }
  return r;
}

TEST_F(NetworkTables, LocalAddressByHostRouteLongestPrefixOrDefault) {
  NetFixture f;
  f.interfaces = {net_interface(1, "eth0", MIB_IF_TYPE_ETHERNET, {1, 2, 3, 4, 5, 6}, {"10.0.0.5/8"}),
                  net_interface(2, "eth1", MIB_IF_TYPE_ETHERNET, {1, 2, 3, 4, 5, 7}, {"192.168.1.5/24"}),
                  net_interface(3, "eth2", MIB_IF_TYPE_ETHERNET, {1, 2, 3, 4, 5, 8}, {"172.16.0.5/16"}),
                  net_interface(4, "eth3", MIB_IF_TYPE_ETHERNET, {1, 2, 3, 4, 5, 9}, {"172.17.0.5/16"}),
                  net_interface(5, "tun0", IF_TYPE_TUNNEL, {}, {}),
                  net_interface(6, "lo", MIB_IF_TYPE_LOOPBACK, {}, {"127.0.0.1/8"})};
  f.routes = {net_route("0.0.0.0/0", "10.0.0.1", 1),
              net_route("192.168.1.0/24", "", 2),
              net_route("192.168.7.0/24", "", 2),
              net_route("192.168.7.9/32", "", 3),   // host route, listed after the /24 that also matches
              net_route("172.20.0.0/16", "", 3),    // two routes with the same longest mask
              net_route("172.20.0.0/16", "", 4),
              net_route("198.51.100.0/24", "", 2),
              net_route("198.51.100.0/28", "", 5),  // longer, but its interface has no address
              net_route("127.0.0.0/8", "", 6)};
  morva::platform::set_network_fixture(f);
  struct Case {
    const char* destination;
    const char* expected;
  } cases[] = {
      {"192.168.1.77", "192.168.1.5"}, {"8.8.8.8", "10.0.0.5"},       {"192.168.7.9", "172.16.0.5"},
      {"192.168.7.10", "192.168.1.5"}, {"172.20.3.4", "172.16.0.5"},  {"198.51.100.3", "192.168.1.5"},
      {"127.0.0.1", "127.0.0.1"},      {"10.200.0.1", "10.0.0.5"},
  };
  for (const auto& c : cases) {
    std::string text;
    EXPECT_EQ(local_address(c.destination, &text), 0) << c.destination;
    EXPECT_EQ(text, c.expected) << c.destination;
  }
}

TEST_F(NetworkTables, LocalAddressFailures) {
  NetFixture f;
  f.interfaces = {net_interface(1, "eth0", MIB_IF_TYPE_ETHERNET, {1, 2, 3, 4, 5, 6}, {"10.0.0.5/8"}),
                  net_interface(5, "tun0", IF_TYPE_TUNNEL, {}, {})};
  f.routes = {net_route("10.0.0.0/8", "", 1), net_route("203.0.113.0/24", "", 5)};
  morva::platform::set_network_fixture(f);
  std::string text;
  EXPECT_EQ(local_address("8.8.8.8", &text), -1);       // no route
  EXPECT_EQ(local_address("203.0.113.9", &text), -2);   // only a route over an interface without address
  EXPECT_EQ(local_address("0000abcd:00112233aabb", &text), -5);
  PmsOwn<IPmcNetworkAddress> out;
  EXPECT_EQ(pmc_network_local_address_for(nullptr, &out), -2);
  int err = 0;
  auto empty = pmc_create_network_address(&err);
  EXPECT_EQ(pmc_network_local_address_for(empty.get(), &out), -2);
  EXPECT_EQ(pmc_network_local_address_for(empty.get(), nullptr), -2);
  EXPECT_EQ(out, nullptr);
}

TEST_F(NetworkTables, MissingModulesAndEntryPoints) {
  morva::platform::set_network_fixture(snmptest::office_network());
  CPmcNetworkInfo none;
  int err = 0;
  EXPECT_EQ(none.route_table(&err), nullptr);
  EXPECT_EQ(err, -8);
  EXPECT_EQ(none.select_provider(7), -2);

  morva::platform::withhold_network_exports(u"iphlpapi.dll", {"GetIpAddrTable"});
  {
    CPmcNetworkInfo info;
    EXPECT_EQ(info.select_provider(kPmcProviderIpHelper), -10);
    EXPECT_FALSE(info.has_provider());
  }
  // Automatic falls back to the extension agent, which gives the rows.
  Tables fallback = read_tables(kPmcProviderAutomatic);
  EXPECT_EQ(fallback.routes.size(), 4u);
  std::string text;
  EXPECT_EQ(local_address("192.168.1.9", &text), 0);
  EXPECT_EQ(text, "192.168.1.20");

  morva::platform::withhold_network_exports(u"inetmib1.dll", {"SnmpExtensionTrap"});
  {
    CPmcNetworkInfo info;
    EXPECT_EQ(info.select_provider(kPmcProviderExtensionAgent), -10);
  }
  morva::platform::restore_network_modules();
  morva::platform::remove_network_module(u"iphlpapi.dll");
  morva::platform::remove_network_module(u"inetmib1.dll");
  {
    CPmcNetworkInfo info;
    EXPECT_EQ(info.select_provider(kPmcProviderAutomatic), -10);
  }
  pmc_network_info_test_reset();
  EXPECT_EQ(local_address("192.168.1.9", &text), -10);
}

// An extension agent that answers every GETNEXT with the same first row
// and no error: a walk that only checks the column prefix would repeat it
// forever.
UINT g_stuck_name[] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 1, 10, 0, 0, 0};
BOOL stuck_init(DWORD, HANDLE* trap, AsnObjectIdentifier*) {
  *trap = nullptr;
  return TRUE;
}
BOOL stuck_init_ex(AsnObjectIdentifier*) { return FALSE; }
BOOL stuck_trap(AsnObjectIdentifier*, AsnInteger32*, AsnInteger32*, DWORD*, SnmpVarBindList*) { return FALSE; }
int g_stuck_queries = 0;
BOOL stuck_query(BYTE, SnmpVarBindList* list, AsnInteger32* status, AsnInteger32* index) {
  ++g_stuck_queries;
  *status = 0;
  *index = 0;
  for (UINT k = 0; k < list->len; ++k) {
    SnmpVarBind& b = list->list[k];
    GlobalFree(b.name.ids);
    b.name.ids = static_cast<UINT*>(GlobalAlloc(GPTR, sizeof g_stuck_name));
    std::memcpy(b.name.ids, g_stuck_name, sizeof g_stuck_name);
    b.name.ids[9] = list->list[0].name.ids[9] + k;  // its own column
    b.name.idLength = static_cast<UINT>(std::size(g_stuck_name));
    b.value.asnType = ASN_INTEGER;
    b.value.asnValue.number = 1;
  }
  return TRUE;
}

TEST_F(NetworkTables, ExtensionAgentWalkEndsWhenTheAgentMakesNoProgress) {
  morva::platform::register_builtin_module(u"inetmib1.dll", {{"SnmpExtensionInit", morva_proc(&stuck_init)},
                                                             {"SnmpExtensionInitEx", morva_proc(&stuck_init_ex)},
                                                             {"SnmpExtensionQuery", morva_proc(&stuck_query)},
                                                             {"SnmpExtensionTrap", morva_proc(&stuck_trap)}});
  CPmcNetworkInfo info;
  ASSERT_EQ(info.select_provider(kPmcProviderExtensionAgent), 0);
  int err = -99;
  auto routes = info.route_table(&err);
  ASSERT_NE(routes, nullptr);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(routes->count(), 1u);  // the row once
  EXPECT_EQ(g_stuck_queries, 2);
}

TEST_F(NetworkTables, RowListOperations) {
  int err = 0;
  auto list = CPmcInterfaceList::create(&err);
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->is_empty());
  EXPECT_EQ(list->front(), nullptr);
  for (int k = 0; k < 3; ++k) {
    auto row = std::make_unique<PmcInterfaceRow>();
    row->index = k;
    row->description.reset(new char[2]{static_cast<char>('a' + k), 0});
    EXPECT_EQ(list->push_back(std::move(row)), 0);
  }
  EXPECT_EQ(list->count(), 3u);
  EXPECT_EQ(list->at(3), nullptr);
  list->pop_back();
  EXPECT_EQ(list->count(), 2u);
  EXPECT_STREQ(list->at(1)->description.get(), "b");
  list->clear();
  EXPECT_TRUE(list->is_empty());
  list->pop_back();  // on an empty list: nothing
}

// The real tables of a namespace of the test's own, through both providers.
TEST_F(NetworkTables, RealNamespaceThroughBothProviders) {
  MORVA_SKIP_WITHOUT_NETNS();
  morva::test::run_in_netns([&](morva::test::NetNamespace& ns) {
    ns.add_veth_pair("nt0", "nt1");
    ns.add_address("10.66.0.1/24", "nt0");
    ns.add_address("10.67.0.1/24", "nt1");
    Tables helper = read_tables(kPmcProviderIpHelper);
    Tables agent = read_tables(kPmcProviderExtensionAgent);
    EXPECT_EQ(helper, agent);
    std::string text;
    EXPECT_EQ(local_address("10.66.0.200", &text), 0);
    EXPECT_EQ(text, "10.66.0.1");
    EXPECT_EQ(local_address("10.67.0.200", &text), 0);
    EXPECT_EQ(text, "10.67.0.1");
    EXPECT_EQ(local_address("127.0.0.1", &text), 0);
    EXPECT_EQ(text, "127.0.0.1");
  });
}

// This machine, read only.
TEST_F(NetworkTables, ThisMachineReadOnly) {
  CPmcNetworkInfo info;
  ASSERT_EQ(info.select_provider(kPmcProviderAutomatic), 0);
  int err = -99;
  auto routes = info.route_table(&err);
  EXPECT_EQ(err, 0);
  auto addresses = info.address_table(&err);
  ASSERT_NE(addresses, nullptr);
  bool loopback = false;
  for (std::uint32_t k = 0; k < addresses->count(); ++k) loopback |= addresses->at(k)->address == 0x7F000001u;
  EXPECT_TRUE(loopback);
  EXPECT_GE(info.interface_count(&err), 1u);
}

}  // namespace
