#include <gtest/gtest.h>

#include <string>

#include "snmp/socket_api.h"
#include "win/modules.h"
#include "win/winsock.h"

namespace {

using P = IPmcNetworkAddress::EProtocol;

std::string normalized(const char* text, int* result) {
  PmsOwn<IPmsOctetBuffer> b;
  *result = pmc_socket_normalize_address(text, &b);
  return b ? std::string(b->c_str()) : std::string();
}

// Each test starts from a process without a loaded socket library; `use`
// decides which socket libraries the machine has (0 both, 1 only the
// legacy "wsock32.dll", 2 none).
class SocketApi : public ::testing::Test {
 protected:
  void TearDown() override { use(0); }
  void use(int available) {
    morva::platform::winsock_register_modules();
    if (available >= 1) morva::platform::unregister_builtin_module(u"ws2_32.dll");
    if (available >= 2) morva::platform::unregister_builtin_module(u"wsock32.dll");
    pmc_socket_test_reset();
  }
};

TEST_F(SocketApi, AddressInfoObjectClassifiesNumericTexts) {
  use(0);
  ASSERT_TRUE(pmc_socket_address_info_available());
  struct Case { const char* text; P protocol; int result; };
  const Case cases[] = {
      {"10.0.0.1", IPmcNetworkAddress::kIPv4, 0},
      {"fe80::1%1", IPmcNetworkAddress::kIPv6, 0},
      {"::1", IPmcNetworkAddress::kIPv6, 0},
      {"0000abcd:00112233AABB", IPmcNetworkAddress::kIPX, 0},
      {"0000abcd:00112233aabbc", IPmcNetworkAddress::kUnspecified, -1},
      {"printer", IPmcNetworkAddress::kUnspecified, -1},
  };
  for (const auto& c : cases) {
    P p = IPmcNetworkAddress::kIPv4;
    EXPECT_EQ(pmc_socket_get_address_protocol(c.text, &p), c.result) << c.text;
    EXPECT_EQ(p, c.protocol) << c.text;
  }
  int r = 0;
  EXPECT_EQ(normalized("::0001", &r), "::1");
  EXPECT_EQ(normalized("0000abcd:00112233AABB", &r), "0000abcd:00112233AABB");
  EXPECT_EQ(normalized("fe80::1%1", &r), "fe80::1%1");
  bool same = false;
  ASSERT_EQ(pmc_socket_is_same_host("::1", "0:0:0:0:0:0:0:1", &same), 0);
  EXPECT_TRUE(same);
  std::uint16_t port = 0;
  // Every Debian system knows the snmp service.
  ASSERT_EQ(pmc_socket_get_service_port("snmp", IPmcNetworkAddress::kIPv4, &port), 0);
  EXPECT_EQ(port, 161);
  PmsOwn<IPmsAddressList> list;
  ASSERT_EQ(pmc_socket_get_host_addresses("127.0.0.1", &list), 0);
  ASSERT_EQ(list->count(), 1u);
  auto it = list->create_iterator(nullptr);
  EXPECT_STREQ(list->current(it.get())->host_text(), "127.0.0.1");
  PmsOwn<IPmcNetworkAddress> local;
  EXPECT_EQ(pmc_socket_get_local_host_address(IPmcNetworkAddress::kIPX, &local), -5);
  EXPECT_EQ(morva::platform::winsock_startup_count(), 0);  // every operation cleaned up
}

TEST_F(SocketApi, LegacyObjectWorksOnTextAlone) {
  use(1);
  EXPECT_FALSE(pmc_socket_address_info_available());
  P p;
  EXPECT_EQ(pmc_socket_get_address_protocol("10.0.0.1", &p), 0);
  EXPECT_EQ(p, IPmcNetworkAddress::kIPv4);
  EXPECT_EQ(pmc_socket_get_address_protocol("fe80::1", &p), -7);
  EXPECT_EQ(pmc_socket_get_address_protocol("256.1.1.1", &p), -7);
  EXPECT_EQ(pmc_socket_get_address_protocol("printer", &p), -7);
  int r = 0;
  EXPECT_EQ(normalized("192.168.001.010", &r), "192.168.1.10");
  EXPECT_EQ(r, 0);
  std::uint16_t port = 0;
  ASSERT_EQ(pmc_socket_get_service_port("snmp", IPmcNetworkAddress::kIPv4, &port), 0);
  EXPECT_EQ(port, 161);
  PmsOwn<IPmsAddressList> list;
  ASSERT_EQ(pmc_socket_get_host_addresses("127.0.0.1", &list), 0);
  EXPECT_EQ(list->count(), 1u);
}

TEST_F(SocketApi, WithoutASocketLibrary) {
  use(2);
  EXPECT_FALSE(pmc_socket_address_info_available());
  P p;
  EXPECT_EQ(pmc_socket_get_address_protocol("10.0.0.1", &p), 0);
  int r = 0;
  EXPECT_EQ(normalized("0000abcd:001122334455", &r), "0000abcd:001122334455");
  std::uint16_t port;
  EXPECT_EQ(pmc_socket_get_service_port("snmp", IPmcNetworkAddress::kIPv4, &port), -10);
  use(0);
  EXPECT_TRUE(pmc_socket_address_info_available());  // a later call loads again
}

TEST_F(SocketApi, StartupFailureIsReported) {
  use(0);
  morva::platform::winsock_fail_startup(true);
  P p;
  EXPECT_EQ(pmc_socket_get_address_protocol("10.0.0.1", &p), -1);
  morva::platform::winsock_fail_startup(false);
}

TEST_F(SocketApi, NetworkAddresses) {
  use(0);
  int err = 1;
  auto a = pmc_create_network_address(&err);
  ASSERT_EQ(err, 0);
  ASSERT_EQ(a->set_address("0000ABCD:00112233AABB"), 0);
  EXPECT_STREQ(a->host_text(), "0000abcd:00112233aabb");
  EXPECT_EQ(a->get_protocol(), IPmcNetworkAddress::kIPX);
  EXPECT_EQ(a->set_address("10.0.0.1"), -2);  // protocol clash: unchanged
  EXPECT_STREQ(a->host_text(), "0000abcd:00112233aabb");

  auto v4 = pmc_create_network_address_ex("127.0.0.1", IPmcNetworkAddress::kIPv4, 161, &err);
  ASSERT_EQ(v4->set("127.000.000.001", IPmcNetworkAddress::kUnspecified, 0), 0);
  EXPECT_EQ(v4->get_protocol(), IPmcNetworkAddress::kIPv4);
  EXPECT_EQ(v4->get_port(), 161);
  EXPECT_STREQ(v4->host_text(), "127.000.000.001");

  auto any_port = pmc_create_network_address_ex("127.0.0.1", IPmcNetworkAddress::kIPv4, 0, &err);
  auto other_port = pmc_create_network_address_ex("127.0.0.1", IPmcNetworkAddress::kIPv4, 162, &err);
  auto p161 = pmc_create_network_address_ex("127.0.0.1", IPmcNetworkAddress::kIPv4, 161, &err);
  EXPECT_TRUE(p161->equals(any_port.get()));
  EXPECT_FALSE(any_port->equals(p161.get()));  // not symmetric
  EXPECT_FALSE(p161->equals(other_port.get()));

  auto v6 = pmc_create_network_address_from_text("FE80::1%1", 161, &err);
  ASSERT_EQ(err, 0);
  EXPECT_EQ(v6->get_protocol(), IPmcNetworkAddress::kIPv6);
  EXPECT_TRUE(v6->is_valid());
  ASSERT_EQ(v6->normalize(), 0);
  EXPECT_STREQ(v6->host_text(), "fe80::1%1");
  EXPECT_EQ(pmc_create_network_address_from_text("printer", 161, &err), nullptr);
  EXPECT_EQ(err, -1);

  PmsOwn<IPmcNetworkAddress> copy;
  EXPECT_EQ(pmc_create_network_address(nullptr)->clone(&copy), -2);
  ASSERT_EQ(v6->clone(&copy), 0);
  EXPECT_TRUE(copy->equals(v6.get()));
  PmsOwn<IPmsOctetBuffer> host;
  P proto;
  std::uint16_t port;
  ASSERT_EQ(copy->get(&host, &proto, &port), 0);
  EXPECT_STREQ(host->c_str(), "fe80::1%1");
  EXPECT_EQ(port, 161);

  // A target keeps its own copy of the address.
  auto target = pms_create_community_target(nullptr);
  ASSERT_EQ(target->set_address(p161.get()), 0);
  p161.reset();
  EXPECT_STREQ(target->get_address()->host_text(), "127.0.0.1");
  auto t2 = target->clone(nullptr);
  EXPECT_NE(t2->get_address(), target->get_address());
  EXPECT_TRUE(t2->get_address()->equals(target->get_address()));
}

}  // namespace
