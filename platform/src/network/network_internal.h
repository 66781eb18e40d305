// Shared between the network stand-ins (IP Helper, MIB-II agent) and their
// data source.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "win/iphlpapi.h"
#include "win/modules.h"

namespace morva::platform::net {

// The full export lists of the two built-in modules.
const std::vector<BuiltinExport>& iphlpapi_exports();
const std::vector<BuiltinExport>& inetmib1_exports();

// An IPv4 address or mask as a number, first dotted byte most significant.
inline std::uint32_t v4(const std::array<BYTE, 16>& b) {
  return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}
inline std::uint32_t mask_of(int prefix_length) {
  if (prefix_length <= 0) return 0;
  if (prefix_length >= 32) return 0xFFFFFFFFu;
  return ~(0xFFFFFFFFu >> prefix_length);
}
// The value in network byte order, as the Windows tables hold addresses.
inline DWORD net_order(std::uint32_t host) {
  BYTE b[4] = {static_cast<BYTE>(host >> 24), static_cast<BYTE>(host >> 16), static_cast<BYTE>(host >> 8),
               static_cast<BYTE>(host)};
  DWORD d;
  std::memcpy(&d, b, 4);
  return d;
}

// The description an interface shows (its name when it has none).
inline const std::string& description_of(const NetInterface& i) {
  return i.description.empty() ? i.name : i.description;
}

// One IPv4 route as both tables show it: MIB-II and IP Helper agree on
// these values.
struct Ipv4Route {
  std::uint32_t destination, mask, next_hop;
  DWORD if_index, type, proto, metric;
};
// The IPv4 routes of a snapshot, sorted by destination (a stable sort, so
// routes to one destination keep the machine's order).
std::vector<Ipv4Route> ipv4_routes(const NetFixture& s);

// One IPv4 address row as both tables show it.
struct Ipv4AddressRow {
  std::uint32_t address, mask;
  DWORD if_index;
  DWORD broadcast;  // the low bit of the broadcast address in use (1: all ones)
};
// Sorted by address.
std::vector<Ipv4AddressRow> ipv4_addresses(const NetFixture& s);

// Whether a test's fixture stands for the machine now.
bool fixture_active();

// Interfaces sorted by index.
std::vector<const NetInterface*> interfaces_by_index(const NetFixture& s);

}  // namespace morva::platform::net
