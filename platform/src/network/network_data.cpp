// Where the network stand-ins get their data: the calling thread's network
// namespace (getifaddrs, which asks the kernel over netlink, and the IPv4
// route table of /proc/thread-self/net/route), or a fixture set by a test.
//
// Linux has no interface descriptions; an interface's name stands for it.
// The loopback interface is listed with type 24 (MIB_IF_TYPE_LOOPBACK) and
// no hardware address, tunnels (no link-layer header) with type 131.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "network_internal.h"
#include "win/strings.h"

namespace morva::platform {
namespace {

std::mutex& fixture_lock() {
  static std::mutex m;
  return m;
}
std::optional<NetFixture>& fixture() {
  static std::optional<NetFixture> f;
  return f;
}

DWORD type_of_hardware(unsigned short hatype) {
  switch (hatype) {
    case ARPHRD_ETHER: return MIB_IF_TYPE_ETHERNET;
    case ARPHRD_LOOPBACK: return MIB_IF_TYPE_LOOPBACK;
    case ARPHRD_PPP: return MIB_IF_TYPE_PPP;
    case ARPHRD_IEEE80211: return IF_TYPE_IEEE80211;
    case ARPHRD_TUNNEL:
    case ARPHRD_TUNNEL6:
    case ARPHRD_SIT:
    case ARPHRD_IPGRE:
    case 823:  // ARPHRD_IP6GRE, missing from older headers
    case ARPHRD_NONE: return IF_TYPE_TUNNEL;
    default: return MIB_IF_TYPE_OTHER;
  }
}

int prefix_of(const sockaddr* mask) {
  if (!mask) return 0;
  int bits = 0;
  if (mask->sa_family == AF_INET) {
    bits = std::popcount(reinterpret_cast<const sockaddr_in*>(mask)->sin_addr.s_addr);
  } else if (mask->sa_family == AF_INET6) {
    for (BYTE b : reinterpret_cast<const sockaddr_in6*>(mask)->sin6_addr.s6_addr) bits += std::popcount(b);
  }
  return bits;
}

DWORD mtu_of(const char* name) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  ifreq req{};
  std::snprintf(req.ifr_name, sizeof req.ifr_name, "%s", name);
  DWORD mtu = ::ioctl(fd, SIOCGIFMTU, &req) == 0 ? static_cast<DWORD>(req.ifr_mtu) : 0;
  ::close(fd);
  return mtu;
}

// /proc/thread-self/net/route: "Iface Destination Gateway Flags RefCnt Use
// Metric Mask ...", addresses as the hex of the network-order word read on
// a little-endian machine.
void read_ipv4_routes(NetFixture& s) {
  std::ifstream in("/proc/thread-self/net/route");
  if (!in) in.open("/proc/net/route");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    char name[IFNAMSIZ + 1] = {};
    unsigned dest = 0, gateway = 0, flags = 0, refs = 0, use = 0, metric = 0, mask = 0;
    if (std::sscanf(line.c_str(), "%16s %x %x %x %u %u %u %x", name, &dest, &gateway, &flags, &refs, &use, &metric,
                    &mask) != 8)
      continue;
    if (!(flags & 0x1)) continue;  // RTF_UP
    NetRoute r;
    r.family = WS_AF_INET;
    std::uint32_t d = dest, g = gateway, m = mask;  // the bytes in memory are the network-order bytes
    std::memcpy(r.destination.data(), &d, 4);
    std::memcpy(r.next_hop.data(), &g, 4);
    r.prefix_length = std::popcount(m);
    r.metric = metric;
    r.if_index = 0;
    for (const auto& i : s.interfaces)
      if (i.name == name) r.if_index = i.index;
    if (r.if_index) s.routes.push_back(r);
  }
}

NetFixture live_snapshot() {
  NetFixture s;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return s;
  std::map<std::string, std::size_t> slot;
  for (ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_name) continue;
    auto [it, fresh] = slot.emplace(a->ifa_name, s.interfaces.size());
    if (fresh) {
      NetInterface i;
      i.name = a->ifa_name;
      i.index = ::if_nametoindex(a->ifa_name);
      i.mtu = mtu_of(a->ifa_name);
      i.type = MIB_IF_TYPE_OTHER;
      s.interfaces.push_back(std::move(i));
    }
    NetInterface& i = s.interfaces[it->second];
    i.up = (a->ifa_flags & IFF_UP) && (a->ifa_flags & IFF_RUNNING);
    if (!a->ifa_addr) continue;
    switch (a->ifa_addr->sa_family) {
      case AF_PACKET: {
        const auto* ll = reinterpret_cast<const sockaddr_ll*>(a->ifa_addr);
        if (ll->sll_ifindex > 0) i.index = static_cast<DWORD>(ll->sll_ifindex);
        i.type = type_of_hardware(ll->sll_hatype);
        i.mac.clear();
        if (i.type != MIB_IF_TYPE_LOOPBACK)
          i.mac.assign(ll->sll_addr, ll->sll_addr + std::min<std::size_t>(ll->sll_halen, MAXLEN_PHYSADDR));
        break;
      }
      case AF_INET: {
        NetAddress n;
        n.family = WS_AF_INET;
        std::memcpy(n.bytes.data(), &reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr, 4);
        n.prefix_length = prefix_of(a->ifa_netmask);
        i.addresses.push_back(n);
        break;
      }
      case AF_INET6: {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(a->ifa_addr);
        NetAddress n;
        n.family = WS_AF_INET6;
        std::memcpy(n.bytes.data(), &in6->sin6_addr, 16);
        n.prefix_length = prefix_of(a->ifa_netmask);
        n.scope_id = in6->sin6_scope_id;
        i.addresses.push_back(n);
        break;
      }
      default: break;
    }
  }
  ::freeifaddrs(list);
  // Link-local IPv6 addresses come after the others, as Windows lists
  // them, so an adapter's first unicast address is one that routes.
  for (auto& i : s.interfaces)
    std::stable_partition(i.addresses.begin(), i.addresses.end(), [](const NetAddress& a) {
      return !(a.family == WS_AF_INET6 && a.bytes[0] == 0xFE && (a.bytes[1] & 0xC0) == 0x80);
    });
  // Interfaces whose index could not be read are not shown: nothing can
  // address them.
  std::erase_if(s.interfaces, [](const NetInterface& i) { return i.index == 0; });
  read_ipv4_routes(s);
  // The loopback's prefix lives in the kernel's local table, which
  // /proc/net/route does not show; Windows lists it with the others.
  for (const auto& i : s.interfaces) {
    if (i.type != MIB_IF_TYPE_LOOPBACK) continue;
    for (const auto& a : i.addresses) {
      if (a.family != WS_AF_INET) continue;
      std::uint32_t mask = net::mask_of(a.prefix_length);
      bool listed = std::any_of(s.routes.begin(), s.routes.end(), [&](const NetRoute& r) {
        return r.family == WS_AF_INET && r.prefix_length == a.prefix_length && (net::v4(r.destination) & mask) == (net::v4(a.bytes) & mask);
      });
      if (listed) continue;
      NetRoute r;
      r.family = WS_AF_INET;
      r.destination = a.bytes;
      r.prefix_length = a.prefix_length;
      r.if_index = i.index;
      s.routes.push_back(r);
    }
  }
  return s;
}

bool parse_ip(const std::string& text, int* family, std::array<BYTE, 16>* bytes) {
  bytes->fill(0);
  if (::inet_pton(AF_INET, text.c_str(), bytes->data()) == 1) {
    *family = WS_AF_INET;
    return true;
  }
  if (::inet_pton(AF_INET6, text.c_str(), bytes->data()) == 1) {
    *family = WS_AF_INET6;
    return true;
  }
  return false;
}

}  // namespace

NetAddress net_address(std::string_view cidr) {
  std::string text(cidr);
  NetAddress a;
  std::size_t pct = text.find('%');
  if (pct != std::string::npos) {
    a.scope_id = static_cast<ULONG>(std::stoul(text.substr(pct + 1)));
    text.resize(pct);
  }
  std::size_t slash = text.find('/');
  std::string host = text.substr(0, slash);
  if (!parse_ip(host, &a.family, &a.bytes)) throw std::invalid_argument("not an address: " + std::string(cidr));
  int max = a.family == WS_AF_INET ? 32 : 128;
  a.prefix_length = slash == std::string::npos ? max : std::stoi(text.substr(slash + 1));
  if (a.prefix_length < 0 || a.prefix_length > max) throw std::invalid_argument("bad prefix: " + std::string(cidr));
  return a;
}

NetRoute net_route(std::string_view cidr, std::string_view next_hop, DWORD if_index, DWORD metric) {
  NetAddress d = net_address(cidr);
  NetRoute r;
  r.family = d.family;
  r.destination = d.bytes;
  r.prefix_length = d.prefix_length;
  r.if_index = if_index;
  r.metric = metric;
  if (!next_hop.empty()) {
    int family = 0;
    if (!parse_ip(std::string(next_hop), &family, &r.next_hop) || family != d.family)
      throw std::invalid_argument("bad next hop: " + std::string(next_hop));
  }
  return r;
}

void set_network_fixture(const NetFixture& f) {
  std::lock_guard<std::mutex> g(fixture_lock());
  fixture() = f;
}

void clear_network_fixture() {
  std::lock_guard<std::mutex> g(fixture_lock());
  fixture().reset();
}

NetFixture network_snapshot() {
  {
    std::lock_guard<std::mutex> g(fixture_lock());
    if (fixture()) return *fixture();
  }
  return live_snapshot();
}

void withhold_network_exports(std::u16string_view module, const std::vector<std::string>& names) {
  std::u16string key = u16_to_lower(module);
  const auto& all = key.starts_with(u"inetmib1") ? net::inetmib1_exports() : net::iphlpapi_exports();
  std::vector<BuiltinExport> kept;
  for (const auto& e : all)
    if (std::find(names.begin(), names.end(), e.name) == names.end()) kept.push_back(e);
  register_builtin_module(key.starts_with(u"inetmib1") ? u"inetmib1.dll" : u"iphlpapi.dll", kept);
}

void remove_network_module(std::u16string_view module) { unregister_builtin_module(module); }

void restore_network_modules() {
  register_builtin_module(u"iphlpapi.dll", net::iphlpapi_exports());
  register_builtin_module(u"inetmib1.dll", net::inetmib1_exports());
}

namespace net {

bool fixture_active() {
  std::lock_guard<std::mutex> g(fixture_lock());
  return fixture().has_value();
}

std::vector<Ipv4Route> ipv4_routes(const NetFixture& s) {
  std::vector<Ipv4Route> out;
  for (const auto& r : s.routes) {
    if (r.family != WS_AF_INET) continue;
    Ipv4Route v;
    v.mask = mask_of(r.prefix_length);
    v.destination = v4(r.destination) & v.mask;
    v.next_hop = v4(r.next_hop);
    v.if_index = r.if_index;
    v.type = v.next_hop ? MIB_IPROUTE_TYPE_INDIRECT : MIB_IPROUTE_TYPE_DIRECT;
    v.proto = v.next_hop ? MIB_IPPROTO_NETMGMT : MIB_IPPROTO_LOCAL;
    v.metric = r.metric;
    out.push_back(v);
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const Ipv4Route& a, const Ipv4Route& b) { return a.destination < b.destination; });
  return out;
}

std::vector<Ipv4AddressRow> ipv4_addresses(const NetFixture& s) {
  std::vector<Ipv4AddressRow> out;
  for (const auto& i : s.interfaces)
    for (const auto& a : i.addresses)
      if (a.family == WS_AF_INET) out.push_back({v4(a.bytes), mask_of(a.prefix_length), i.index, 1});
  std::stable_sort(out.begin(), out.end(),
                   [](const Ipv4AddressRow& a, const Ipv4AddressRow& b) { return a.address < b.address; });
  return out;
}

std::vector<const NetInterface*> interfaces_by_index(const NetFixture& s) {
  std::vector<const NetInterface*> out;
  for (const auto& i : s.interfaces) out.push_back(&i);
  std::stable_sort(out.begin(), out.end(), [](const NetInterface* a, const NetInterface* b) { return a->index < b->index; });
  return out;
}

}  // namespace net
}  // namespace morva::platform
