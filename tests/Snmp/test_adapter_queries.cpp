// Adapter and local-address queries of the socket API (slots 6 to 10).
#include <gtest/gtest.h>

#include <string>

#include "net_fixture.h"
#include "netns_test.h"
#include "snmp/adapter_queries.h"
#include "snmp/asn_value.h"
#include "snmp/network_tables.h"

namespace {

using morva::platform::NetFixture;
using snmptest::net_interface;
using P = IPmcNetworkAddress::EProtocol;

class AdapterQueries : public ::testing::Test {
 protected:
  void SetUp() override { use(snmptest::office_network()); }
  void TearDown() override {
    morva::platform::clear_network_fixture();
    morva::platform::restore_network_modules();
    pmc_iphelp_test_reset();
    pmc_network_info_test_reset();
    pmc_socket_test_reset();
  }
  void use(const NetFixture& f) { morva::platform::set_network_fixture(f); }
  // Entry points withheld from now on: the binding is made afresh.
  void withhold(const std::vector<std::string>& names) {
    morva::platform::withhold_network_exports(u"iphlpapi.dll", names);
    pmc_iphelp_test_reset();
  }
};

std::uint8_t available(P protocol, int expect_result = 0) {
  std::uint8_t flag = 7;
  EXPECT_EQ(pmc_socket_is_transport_available(protocol, &flag), expect_result) << protocol;
  return flag;
}

std::string mac_of(P protocol, const char* text, int* result) {
  PmsOwn<IPmsOctetBuffer> out;
  *result = pmc_socket_get_mac_address(protocol, text, &out);
  return out ? out->c_str() : "";
}

TEST_F(AdapterQueries, TransportsAndInterfaceCounts) {
  EXPECT_EQ(available(IPmcNetworkAddress::kIPv4), 1);
  EXPECT_EQ(available(IPmcNetworkAddress::kIPv6), 1);
  EXPECT_EQ(available(IPmcNetworkAddress::kIPX), 0);  // the kernel has no IPX
  EXPECT_EQ(available(IPmcNetworkAddress::kUnspecified), 0);
  EXPECT_EQ(pmc_socket_is_transport_available(IPmcNetworkAddress::kIPv4, nullptr), -2);

  // The loopback is never counted; for IPv6 neither is the tunnel.
  std::uint32_t n = 0;
  EXPECT_EQ(pmc_socket_get_interface_count(IPmcNetworkAddress::kIPv4, &n), 0);
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(pmc_socket_get_interface_count(IPmcNetworkAddress::kIPv6, &n), 0);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(pmc_socket_get_interface_count(IPmcNetworkAddress::kIPX, &n), -2);
}

TEST_F(AdapterQueries, MachineWithoutUsableAdapters) {
  // Only IPv6 bound, and only over the loopback and a tunnel.
  NetFixture f;
  f.interfaces = {net_interface(1, "lo", MIB_IF_TYPE_LOOPBACK, {}, {"::1/128"}),
                  net_interface(4, "tun0", IF_TYPE_TUNNEL, {}, {"fd99::4/64"})};
  for (auto& i : f.interfaces) i.ipv4 = false;
  use(f);
  EXPECT_EQ(available(IPmcNetworkAddress::kIPv4), 0);  // GetAdaptersInfo: ERROR_NO_DATA
  EXPECT_EQ(available(IPmcNetworkAddress::kIPv6), 0);
  std::uint32_t n = 9;
  EXPECT_EQ(pmc_socket_get_interface_count(IPmcNetworkAddress::kIPv4, &n), -7);
  EXPECT_EQ(pmc_socket_get_interface_count(IPmcNetworkAddress::kIPv6, &n), 0);
  EXPECT_EQ(n, 0u);
  int r = 0;
  EXPECT_EQ(mac_of(IPmcNetworkAddress::kIPv6, "", &r), "");
  EXPECT_EQ(r, -7);
}

TEST_F(AdapterQueries, HardwareAddresses) {
  struct Case {
    P protocol;
    const char* text;
    const char* mac;
    int result;
  } cases[] = {
      {IPmcNetworkAddress::kIPv4, "", "02-00-5E-10-20-30", 0},  // the first adapter that is not the loopback
      {IPmcNetworkAddress::kIPv4, "192.168.1.20", "02-AB-CD-EF-01-02", 0},
      {IPmcNetworkAddress::kIPv4, "10.1.9.9", "02-00-5E-10-20-30", 0},  // a second address of the adapter
      {IPmcNetworkAddress::kIPv4, "127.0.0.1", "", -7},
      {IPmcNetworkAddress::kIPv4, "10.9.9.9", "", -7},
      {IPmcNetworkAddress::kIPv6, "", "02-00-5E-10-20-30", 0},
      {IPmcNetworkAddress::kIPv6, "FD00::3", "02-00-5E-10-20-30", 0},
      {IPmcNetworkAddress::kIPv6, "fe80::3%2", "02-00-5E-10-20-30", 0},
      {IPmcNetworkAddress::kIPv6, "fd99::4", "", -7},  // a tunnel
      {IPmcNetworkAddress::kIPX, "", "", -2},
  };
  for (const auto& c : cases) {
    int r = 0;
    EXPECT_EQ(mac_of(c.protocol, c.text, &r), c.mac) << c.text;
    EXPECT_EQ(r, c.result) << c.text;
  }
  std::uint8_t local = 9;
  EXPECT_EQ(pmc_socket_is_local_mac_address("02-ab-cd-ef-01-02", &local), 0);
  EXPECT_EQ(local, 1);
  EXPECT_EQ(pmc_socket_is_local_mac_address("02-AB-CD-EF-01-03", &local), 0);
  EXPECT_EQ(local, 0);
  // Without the IPv4 list the IPv6 list answers.
  withhold({"GetAdaptersInfo"});
  EXPECT_EQ(pmc_socket_is_local_mac_address("02-00-5e-10-20-30", &local), 0);
  EXPECT_EQ(local, 1);
  EXPECT_EQ(pmc_socket_is_local_mac_address("02-ab-cd-ef-01-02", &local), 0);
  EXPECT_EQ(local, 0);  // the wireless adapter has no IPv6 address
}

int local_address(const char* destination, std::string* text) {
  int err = 0;
  auto d = pmc_create_network_address_from_text(destination, 161, &err);
  if (!d) return err;
  PmsOwn<IPmcNetworkAddress> out;
  int r = pmc_socket_get_local_address_for(d.get(), &out);
  if (out) {
    *text = out->host_text();
    EXPECT_EQ(out->get_port(), 161);
    EXPECT_EQ(out->get_protocol(), d->get_protocol());
  }
  return r;
}

TEST_F(AdapterQueries, LocalAddressForEachProtocol) {
  std::string text;
  EXPECT_EQ(local_address("fd00::99", &text), 0);
  EXPECT_EQ(text, "fd00::3");
  EXPECT_EQ(local_address("192.168.1.99", &text), 0);
  EXPECT_EQ(text, "192.168.1.20");
  EXPECT_EQ(local_address("0000abcd:00112233aabb", &text), -5);
  EXPECT_EQ(local_address("fd99::1", &text), 0);  // over the tunnel: the best interface decides
  EXPECT_EQ(text, "fd99::4");
}

TEST_F(AdapterQueries, MissingIpHelperEntryPoints) {
  withhold({"GetBestInterfaceEx"});
  std::string text;
  EXPECT_EQ(local_address("fd00::99", &text), -5);
  // Without GetAdaptersInfo, IPv4 is there exactly when a socket can be made.
  withhold({"GetAdaptersInfo"});
  EXPECT_EQ(available(IPmcNetworkAddress::kIPv4), 1);
  std::uint32_t n = 0;
  EXPECT_EQ(pmc_socket_get_interface_count(IPmcNetworkAddress::kIPv4, &n), -10);
  morva::platform::remove_network_module(u"iphlpapi.dll");
  pmc_iphelp_test_reset();
  EXPECT_EQ(available(IPmcNetworkAddress::kIPv4), 1);
  EXPECT_EQ(available(IPmcNetworkAddress::kIPv6), 0);
  int r = 0;
  EXPECT_EQ(mac_of(IPmcNetworkAddress::kIPv4, "", &r), "");
  EXPECT_EQ(r, -10);
  std::uint8_t local = 0;
  EXPECT_EQ(pmc_socket_is_local_mac_address("02-00-5e-10-20-30", &local), -10);
}

// A namespace of the test's own: the kernel picks the interface.
TEST_F(AdapterQueries, RealNamespaceIpv6) {
  MORVA_SKIP_WITHOUT_NETNS();
  morva::platform::clear_network_fixture();
  morva::test::run_in_netns([&](morva::test::NetNamespace& ns) {
    ns.add_veth_pair("aq0", "aq1");
    ns.ip("link set aq0 address 02:44:55:66:77:88");
    ns.add_address("fd55::1/64", "aq0");
    ns.add_address("fd56::1/64", "aq1");
    std::string text;
    EXPECT_EQ(local_address("fd55::9", &text), 0);
    EXPECT_EQ(text, "fd55::1");
    EXPECT_EQ(local_address("fd56::9", &text), 0);
    EXPECT_EQ(text, "fd56::1");
    int r = 0;
    EXPECT_EQ(mac_of(IPmcNetworkAddress::kIPv6, "FD55::1", &r), "02-44-55-66-77-88");
    EXPECT_EQ(r, 0);
    EXPECT_EQ(available(IPmcNetworkAddress::kIPv6), 1);
    std::uint8_t local = 0;
    EXPECT_EQ(pmc_socket_is_local_mac_address("02-44-55-66-77-88", &local), 0);
    EXPECT_EQ(local, 1);
  });
}

// This machine, read only: the answers agree with each other.
TEST_F(AdapterQueries, ThisMachineReadOnly) {
  morva::platform::clear_network_fixture();
  std::uint32_t n = 0;
  int r = pmc_socket_get_interface_count(IPmcNetworkAddress::kIPv4, &n);
  EXPECT_TRUE(r == 0 || r == -7);
  int m = 0;
  std::string mac = mac_of(IPmcNetworkAddress::kIPv4, "", &m);
  if (n > 0) {
    EXPECT_EQ(m, 0);
    std::uint8_t local = 0;
    EXPECT_EQ(pmc_socket_is_local_mac_address(mac.c_str(), &local), 0);
    EXPECT_EQ(local, 1);
  }
  std::string text;
  EXPECT_EQ(local_address("127.0.0.1", &text), 0);
  EXPECT_EQ(text, "127.0.0.1");
}

}  // namespace
