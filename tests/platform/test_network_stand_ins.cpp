// The IP Helper and MIB-II agent stand-ins, reached by name as callers
// reach them: over a fixture, over a namespace of the test's own, and read
// only over this machine.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "netns_test.h"
#include "win/errors.h"
#include "win/iphlpapi.h"
#include "win/memory.h"
#include "win/modules.h"
#include "win/snmp_extension.h"

namespace {

using namespace morva::platform;

template <class F>
F bind(const char* module, const char* name) {
  HMODULE m = LoadLibraryA(module);
  EXPECT_NE(m, nullptr) << module;
  return morva_proc_as<F>(GetProcAddress(m, name));
}

// 0.0.0.0/0 via eth0 (2), 192.168.1.0/24 on wlan (3), the loopback (1) and
// a tunnel without IPv4 address (4).
NetFixture office() {
  NetFixture f;
  NetInterface lo;
  lo.index = 1;
  lo.name = "lo";
  lo.type = MIB_IF_TYPE_LOOPBACK;
  lo.addresses = {net_address("127.0.0.1/8"), net_address("::1/128")};
  NetInterface eth;
  eth.index = 2;
  eth.name = "eth0";
  eth.description = "Onboard Ethernet";
  eth.mac = {0x02, 0x00, 0x5e, 0x10, 0x20, 0x30};
  eth.addresses = {net_address("10.1.2.3/16"), net_address("10.1.9.9/16"), net_address("fd00::3/64"),
                   net_address("fe80::3/64%2")};
  NetInterface wlan;
  wlan.index = 3;
  wlan.name = "wlan0";
  wlan.type = IF_TYPE_IEEE80211;
  wlan.mac = {0x02, 0xab, 0xcd, 0xef, 0x01, 0x02};
  wlan.addresses = {net_address("192.168.1.20/24")};
  NetInterface tun;
  tun.index = 4;
  tun.name = "tun0";
  tun.type = IF_TYPE_TUNNEL;
  tun.addresses = {net_address("fd99::4/64")};
  f.interfaces = {tun, eth, lo, wlan};
  f.routes = {net_route("192.168.1.0/24", "", 3), net_route("0.0.0.0/0", "10.1.0.1", 2),
              net_route("10.1.0.0/16", "", 2), net_route("127.0.0.0/8", "", 1), net_route("fd00::/64", "", 2),
              net_route("::/0", "fd00::1", 2)};
  return f;
}

class NetworkStandIns : public ::testing::Test {
 protected:
  void SetUp() override { set_network_fixture(office()); }
  void TearDown() override {
    clear_network_fixture();
    restore_network_modules();
  }
};

// Sizes with a null buffer, then fills a buffer of exactly that size.
template <class T, class Call>
std::unique_ptr<BYTE[]> sized_read(Call call, DWORD expect_short, ULONG* size) {
  *size = 0;
  EXPECT_EQ(call(nullptr, size), expect_short);
  auto buffer = std::make_unique<BYTE[]>(*size);
  EXPECT_EQ(call(reinterpret_cast<T*>(buffer.get()), size), static_cast<DWORD>(NO_ERROR));
  return buffer;
}

TEST_F(NetworkStandIns, TablesInNetworkOrderSortedAndSized) {
  auto routes_of = bind<LPFN_GETIPFORWARDTABLE>("iphlpapi.dll", "GetIpForwardTable");
  ULONG size = 0;
  auto buf = sized_read<MIB_IPFORWARDTABLE>([&](MIB_IPFORWARDTABLE* t, ULONG* s) { return routes_of(t, s, TRUE); },
                                            ERROR_INSUFFICIENT_BUFFER, &size);
  auto* routes = reinterpret_cast<MIB_IPFORWARDTABLE*>(buf.get());
  ASSERT_EQ(routes->dwNumEntries, 4u);  // IPv6 routes are not in this table
  EXPECT_EQ(size, offsetof(MIB_IPFORWARDTABLE, table) + 4 * sizeof(MIB_IPFORWARDROW));
  const BYTE* dest = reinterpret_cast<const BYTE*>(&routes->table[0].dwForwardDest);
  EXPECT_EQ(dest[0], 0);  // 0.0.0.0 sorts first
  EXPECT_EQ(routes->table[0].dwForwardType, static_cast<DWORD>(MIB_IPROUTE_TYPE_INDIRECT));
  const BYTE* hop = reinterpret_cast<const BYTE*>(&routes->table[0].dwForwardNextHop);
  EXPECT_EQ(std::vector<BYTE>(hop, hop + 4), (std::vector<BYTE>{10, 1, 0, 1}));
  const BYTE* mask = reinterpret_cast<const BYTE*>(&routes->table[1].dwForwardMask);
  EXPECT_EQ(std::vector<BYTE>(mask, mask + 4), (std::vector<BYTE>{255, 255, 0, 0}));  // 10.1.0.0/16
  EXPECT_EQ(routes->table[3].dwForwardIfIndex, 3u);                                   // 192.168.1.0/24
  EXPECT_EQ(routes->table[3].dwForwardType, static_cast<DWORD>(MIB_IPROUTE_TYPE_DIRECT));

  ULONG small = size - 1;
  EXPECT_EQ(routes_of(routes, &small, TRUE), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(small, size);
  EXPECT_EQ(routes_of(routes, nullptr, TRUE), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  auto ifs_of = bind<LPFN_GETIFTABLE>("iphlpapi.dll", "GetIfTable");
  buf = sized_read<MIB_IFTABLE>([&](MIB_IFTABLE* t, ULONG* s) { return ifs_of(t, s, TRUE); },
                                ERROR_INSUFFICIENT_BUFFER, &size);
  auto* ifs = reinterpret_cast<MIB_IFTABLE*>(buf.get());
  ASSERT_EQ(ifs->dwNumEntries, 4u);
  EXPECT_EQ(ifs->table[1].dwIndex, 2u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(ifs->table[1].bDescr), ifs->table[1].dwDescrLen), "Onboard Ethernet");
  EXPECT_EQ(ifs->table[1].dwPhysAddrLen, 6u);
  EXPECT_EQ(ifs->table[0].dwType, static_cast<DWORD>(MIB_IF_TYPE_LOOPBACK));
  EXPECT_EQ(ifs->table[0].dwPhysAddrLen, 0u);

  auto addrs_of = bind<LPFN_GETIPADDRTABLE>("iphlpapi.dll", "GetIpAddrTable");
  buf = sized_read<MIB_IPADDRTABLE>([&](MIB_IPADDRTABLE* t, ULONG* s) { return addrs_of(t, s, TRUE); },
                                    ERROR_INSUFFICIENT_BUFFER, &size);
  auto* addrs = reinterpret_cast<MIB_IPADDRTABLE*>(buf.get());
  ASSERT_EQ(addrs->dwNumEntries, 4u);
  const BYTE* first = reinterpret_cast<const BYTE*>(&addrs->table[0].dwAddr);
  EXPECT_EQ(std::vector<BYTE>(first, first + 4), (std::vector<BYTE>{10, 1, 2, 3}));
  EXPECT_EQ(addrs->table[3].dwIndex, 3u);

  DWORD count = 0;
  EXPECT_EQ(bind<LPFN_GETNUMBEROFINTERFACES>("iphlpapi.dll", "GetNumberOfInterfaces")(&count),
            static_cast<DWORD>(NO_ERROR));
  EXPECT_EQ(count, 4u);
}

TEST_F(NetworkStandIns, AdapterChainsPointInsideTheCallersBuffer) {
  auto info_of = bind<LPFN_GETADAPTERSINFO>("iphlpapi.dll", "GetAdaptersInfo");
  ULONG size = 0;
  auto buf = sized_read<IP_ADAPTER_INFO>(info_of, ERROR_BUFFER_OVERFLOW, &size);
  const BYTE* lo_end = buf.get();
  const BYTE* hi_end = buf.get() + size;
  std::vector<std::string> seen;
  for (auto* a = reinterpret_cast<IP_ADAPTER_INFO*>(buf.get()); a; a = a->Next) {
    ASSERT_GE(reinterpret_cast<const BYTE*>(a), lo_end);
    ASSERT_LE(reinterpret_cast<const BYTE*>(a + 1), hi_end);
    std::string addresses;
    for (IP_ADDR_STRING* s = &a->IpAddressList; s; s = s->Next) {
      ASSERT_TRUE(s == &a->IpAddressList || (reinterpret_cast<const BYTE*>(s + 1) <= hi_end));
      addresses += std::string(s->IpAddress.String) + "/" + s->IpMask.String + " ";
    }
    seen.push_back(std::string(a->AdapterName) + " " + std::to_string(a->Type) + " " + addresses);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"lo 24 127.0.0.1/255.0.0.0 ", "eth0 6 10.1.2.3/255.255.0.0 10.1.9.9/255.255.0.0 ",
                                            "wlan0 71 192.168.1.20/255.255.255.0 ", "tun0 131 0.0.0.0/0.0.0.0 "}));

  auto addresses_of = bind<LPFN_GETADAPTERSADDRESSES>("iphlpapi.dll", "GetAdaptersAddresses");
  size = 0;
  ASSERT_EQ(addresses_of(WS_AF_INET6, 0x1E, nullptr, nullptr, &size), static_cast<ULONG>(ERROR_BUFFER_OVERFLOW));
  auto six = std::make_unique<BYTE[]>(size);
  auto* list = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(six.get());
  ASSERT_EQ(addresses_of(WS_AF_INET6, 0x1E, nullptr, list, &size), static_cast<ULONG>(NO_ERROR));
  std::vector<std::string> v6;
  for (auto* a = list; a; a = a->Next) {
    std::string line = std::string(a->AdapterName) + " " + std::to_string(a->Ipv6IfIndex);
    for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
      ASSERT_EQ(u->Address.iSockaddrLength, static_cast<INT>(sizeof(WS_SOCKADDR_IN6)));
      WS_SOCKADDR_IN6 in6;
      std::memcpy(&in6, u->Address.lpSockaddr, sizeof in6);
      EXPECT_EQ(in6.sin6_family, WS_AF_INET6);
      line += " " + std::to_string(in6.sin6_addr[15]) + "%" + std::to_string(in6.sin6_scope_id);
    }
    ASSERT_NE(a->FirstPrefix, nullptr);  // flags 0x1E ask for prefixes
    v6.push_back(line);
  }
  EXPECT_EQ(v6, (std::vector<std::string>{"lo 1 1%0", "eth0 2 3%0 3%2", "tun0 4 4%0"}));
}

TEST_F(NetworkStandIns, NoAdapterAndNoRouteAnswers) {
  NetFixture none;
  NetInterface off;
  off.index = 7;
  off.name = "v6only";
  off.ipv4 = false;
  none.interfaces = {off};
  set_network_fixture(none);
  ULONG size = 0;
  EXPECT_EQ(bind<LPFN_GETADAPTERSINFO>("iphlpapi.dll", "GetAdaptersInfo")(nullptr, &size),
            static_cast<ULONG>(ERROR_NO_DATA));
  EXPECT_EQ(bind<LPFN_GETADAPTERSADDRESSES>("iphlpapi.dll", "GetAdaptersAddresses")(WS_AF_INET6, 0, nullptr, nullptr,
                                                                                      &size),
            static_cast<ULONG>(ERROR_NO_DATA));
  EXPECT_EQ(bind<LPFN_GETIPFORWARDTABLE>("iphlpapi.dll", "GetIpForwardTable")(nullptr, &size, TRUE),
            static_cast<DWORD>(ERROR_NO_DATA));
}

TEST_F(NetworkStandIns, BestInterfaceByLongestPrefix) {
  auto best_of = bind<LPFN_GETBESTINTERFACEEX>("iphlpapi.dll", "GetBestInterfaceEx");
  struct Case {
    const char* text;
    DWORD index;
  } cases[] = {{"192.168.1.77", 3}, {"10.1.200.1", 2}, {"8.8.4.4", 2},     {"127.0.0.1", 1},
               {"fd00::99", 2},     {"2001:db8::1", 2}, {"fd99::4", 4}, {"::1", 1}};
  for (const auto& c : cases) {
    NetAddress a = net_address(c.text);
    WS_SOCKADDR_STORAGE ss{};
    if (a.family == WS_AF_INET) {
      auto* in = reinterpret_cast<WS_SOCKADDR_IN*>(&ss);
      in->sin_family = WS_AF_INET;
      std::memcpy(&in->sin_addr, a.bytes.data(), 4);
    } else {
      auto* in6 = reinterpret_cast<WS_SOCKADDR_IN6*>(&ss);
      in6->sin6_family = WS_AF_INET6;
      std::memcpy(in6->sin6_addr, a.bytes.data(), 16);
    }
    DWORD index = 0;
    EXPECT_EQ(best_of(reinterpret_cast<WS_SOCKADDR*>(&ss), &index), static_cast<DWORD>(NO_ERROR)) << c.text;
    EXPECT_EQ(index, c.index) << c.text;
  }
}

TEST_F(NetworkStandIns, EntryPointsCanBeWithheldAndModulesRemoved) {
  withhold_network_exports(u"iphlpapi.dll", {"GetBestInterfaceEx", "GetAdaptersInfo"});
  HMODULE m = LoadLibraryA("iphlpapi.dll");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(GetProcAddress(m, "GetBestInterfaceEx"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_NE(GetProcAddress(m, "GetAdaptersAddresses"), nullptr);
  FreeLibrary(m);
  remove_network_module(u"inetmib1.dll");
  EXPECT_EQ(LoadLibraryExA("inetmib1.dll", nullptr, 0), nullptr);
  restore_network_modules();
  m = LoadLibraryExA("inetmib1.dll", nullptr, 0);
  ASSERT_NE(m, nullptr);
  EXPECT_NE(GetProcAddress(m, "SnmpExtensionQuery"), nullptr);
  EXPECT_NE(GetProcAddress(LoadLibraryA("iphlpapi.dll"), "GetBestInterfaceEx"), nullptr);
}

// One binding named by `oid`, as the caller allocates it.
struct Bindings {
  explicit Bindings(const std::vector<std::vector<UINT>>& names) : items(names.size()) {
    for (std::size_t k = 0; k < names.size(); ++k) {
      items[k].name.idLength = static_cast<UINT>(names[k].size());
      items[k].name.ids = static_cast<UINT*>(GlobalAlloc(GPTR, names[k].size() * sizeof(UINT)));
      std::memcpy(items[k].name.ids, names[k].data(), names[k].size() * sizeof(UINT));
      items[k].value.asnType = ASN_NULL;
    }
    list = {items.data(), static_cast<UINT>(items.size())};
  }
  ~Bindings() {
    for (auto& b : items) {
      GlobalFree(b.name.ids);
      if ((b.value.asnType == ASN_OCTETSTRING || b.value.asnType == ASN_IPADDRESS) && b.value.asnValue.string.dynamic)
        GlobalFree(b.value.asnValue.string.stream);
    }
  }
  std::vector<UINT> name(std::size_t k) const { return {items[k].name.ids, items[k].name.ids + items[k].name.idLength}; }
  std::vector<SnmpVarBind> items;
  SnmpVarBindList list{};
};

TEST_F(NetworkStandIns, ExtensionAgentWalksAndStopsAtTheEndOfItsView) {
  HMODULE m = LoadLibraryExA("inetmib1.dll", nullptr, 0);
  auto init = morva_proc_as<PFNSNMPEXTENSIONINIT>(GetProcAddress(m, "SnmpExtensionInit"));
  auto query = morva_proc_as<PFNSNMPEXTENSIONQUERY>(GetProcAddress(m, "SnmpExtensionQuery"));
  HANDLE trap = reinterpret_cast<HANDLE>(1);
  AsnObjectIdentifier region{};
  ASSERT_TRUE(init(0, &trap, &region));
  EXPECT_EQ(trap, nullptr);
  EXPECT_EQ(std::vector<UINT>(region.ids, region.ids + region.idLength), (std::vector<UINT>{1, 3, 6, 1, 2, 1}));

  // ipRouteDest and ipRouteMask, row by row.
  Bindings b({{1, 3, 6, 1, 2, 1, 4, 21, 1, 1}, {1, 3, 6, 1, 2, 1, 4, 21, 1, 11}});
  std::vector<std::string> rows;
  AsnInteger32 status = -1, index = -1;
  for (int guard = 0; guard < 10; ++guard) {
    ASSERT_TRUE(query(SNMP_PDU_GETNEXT, &b.list, &status, &index));
    if (status != SNMP_ERRORSTATUS_NOERROR) break;
    ASSERT_EQ(b.items[0].value.asnType, ASN_IPADDRESS);
    ASSERT_EQ(b.items[0].value.asnValue.string.length, 4u);
    const BYTE* d = b.items[0].value.asnValue.string.stream;
    rows.push_back(std::to_string(d[0]) + "." + std::to_string(d[1]) + "/" +
                   std::to_string(b.items[1].value.asnValue.string.stream[1]));
  }
  // The fifth step runs ipRouteMask off the end of the view: noSuchName for
  // binding 2, and nothing was touched (the first binding left its column
  // on that step, but the request is answered whole or not at all).
  EXPECT_EQ(status, SNMP_ERRORSTATUS_NOSUCHNAME);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(rows, (std::vector<std::string>{"0.0/0", "10.1/255", "127.0/0", "192.168/255"}));
  EXPECT_EQ(b.name(0), (std::vector<UINT>{1, 3, 6, 1, 2, 1, 4, 21, 1, 1, 192, 168, 1, 0}));

  Bindings count({{1, 3, 6, 1, 2, 1, 2, 1}});
  ASSERT_TRUE(query(SNMP_PDU_GETNEXT, &count.list, &status, &index));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(count.items[0].value.asnType, ASN_INTEGER);
  EXPECT_EQ(count.items[0].value.asnValue.number, 4);
  ASSERT_TRUE(query(SNMP_PDU_SET, &count.list, &status, &index));
  EXPECT_EQ(status, SNMP_ERRORSTATUS_READONLY);
}

// A namespace of the test's own: only what the test made is there.
TEST(NetworkStandInsLive, ReadsTheCallingThreadsNamespace) {
  MORVA_SKIP_WITHOUT_NETNS();
  morva::test::run_in_netns([](morva::test::NetNamespace& ns) {
    ns.add_veth_pair("mv0", "mv1");
    ns.add_address("10.55.0.1/24", "mv0");
    ns.ip("link set mv0 address 02:11:22:33:44:55");
    unsigned mv0 = ns.if_index("mv0");
    NetFixture s = network_snapshot();
    bool found = false;
    for (const auto& i : s.interfaces) {
      if (i.name == "lo") {
        EXPECT_EQ(i.type, static_cast<DWORD>(MIB_IF_TYPE_LOOPBACK));
      }
      if (i.name != "mv0") continue;
      found = true;
      EXPECT_EQ(i.index, mv0);
      EXPECT_EQ(i.type, static_cast<DWORD>(MIB_IF_TYPE_ETHERNET));
      EXPECT_EQ(i.mac, (std::vector<BYTE>{0x02, 0x11, 0x22, 0x33, 0x44, 0x55}));
    }
    EXPECT_TRUE(found);
    bool route = false;
    for (const auto& r : s.routes)
      route |= r.if_index == mv0 && r.prefix_length == 24 && r.destination[0] == 10 && r.destination[1] == 55;
    EXPECT_TRUE(route);

    auto best_of = bind<LPFN_GETBESTINTERFACEEX>("iphlpapi.dll", "GetBestInterfaceEx");
    WS_SOCKADDR_IN to{};
    to.sin_family = WS_AF_INET;
    const BYTE dest[4] = {10, 55, 0, 9};
    std::memcpy(&to.sin_addr, dest, 4);
    DWORD index = 0;
    EXPECT_EQ(best_of(reinterpret_cast<WS_SOCKADDR*>(&to), &index), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(index, mv0);
  });
}

// This machine, read only: every call answers and the counts agree.
TEST(NetworkStandInsLive, ThisMachineReadOnly) {
  DWORD count = 0;
  ASSERT_EQ(bind<LPFN_GETNUMBEROFINTERFACES>("iphlpapi.dll", "GetNumberOfInterfaces")(&count),
            static_cast<DWORD>(NO_ERROR));
  EXPECT_GE(count, 1u);  // at least the loopback
  auto ifs_of = bind<LPFN_GETIFTABLE>("iphlpapi.dll", "GetIfTable");
  ULONG size = 0;
  ASSERT_EQ(ifs_of(nullptr, &size, TRUE), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  auto buf = std::make_unique<BYTE[]>(size + 4 * sizeof(MIB_IFROW));  // room for an interface that appears
  size += 4 * sizeof(MIB_IFROW);
  ASSERT_EQ(ifs_of(reinterpret_cast<MIB_IFTABLE*>(buf.get()), &size, TRUE), static_cast<DWORD>(NO_ERROR));
  EXPECT_GE(reinterpret_cast<MIB_IFTABLE*>(buf.get())->dwNumEntries, 1u);
}

}  // namespace
