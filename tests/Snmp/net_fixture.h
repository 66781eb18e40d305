// A small office network as fixture data for the network-table and
// adapter tests: the loopback (1), Ethernet (2) with the default route, a
// wireless adapter (3) on 192.168.1.0/24, and a tunnel (4) with an IPv6
// address only.
#pragma once

#include "win/iphlpapi.h"

namespace snmptest {

inline morva::platform::NetInterface net_interface(DWORD index, const char* name, DWORD type,
                                                   std::vector<BYTE> mac,
                                                   std::vector<const char*> addresses) {
  morva::platform::NetInterface i;
  i.index = index;
  i.name = name;
  i.type = type;
  i.mac = std::move(mac);
  for (const char* a : addresses) i.addresses.push_back(morva::platform::net_address(a));
  return i;
}

inline morva::platform::NetFixture office_network() {
  using morva::platform::net_route;
  morva::platform::NetFixture f;
  f.interfaces = {
      net_interface(1, "lo", MIB_IF_TYPE_LOOPBACK, {}, {"127.0.0.1/8", "::1/128"}),
      net_interface(2, "eth0", MIB_IF_TYPE_ETHERNET, {0x02, 0x00, 0x5e, 0x10, 0x20, 0x30},
                    {"10.1.2.3/16", "10.1.9.9/16", "fd00::3/64", "fe80::3/64%2"}),
      net_interface(3, "wlan0", IF_TYPE_IEEE80211, {0x02, 0xab, 0xcd, 0xef, 0x01, 0x02}, {"192.168.1.20/24"}),
      net_interface(4, "tun0", IF_TYPE_TUNNEL, {}, {"fd99::4/64"}),
  };
  f.interfaces[1].description = "Onboard Ethernet";
  f.routes = {net_route("0.0.0.0/0", "10.1.0.1", 2), net_route("10.1.0.0/16", "", 2),
              net_route("127.0.0.0/8", "", 1),      net_route("192.168.1.0/24", "", 3),
              net_route("fd00::/64", "", 2),        net_route("::/0", "fd00::1", 2)};
  return f;
}

}  // namespace snmptest
