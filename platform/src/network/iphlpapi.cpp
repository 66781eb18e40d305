// IP Helper stand-in: the built-in module "iphlpapi.dll".
//
// Behaviour kept from the real library, where programs rely on it:
// - The table calls (GetIpForwardTable, GetIfTable, GetIpAddrTable) answer
//   ERROR_INSUFFICIENT_BUFFER with the size needed when no buffer or a short
//   one is given; GetAdaptersInfo and GetAdaptersAddresses answer
//   ERROR_BUFFER_OVERFLOW the same way, and ERROR_NO_DATA when there is no
//   adapter to list. A null size pointer is ERROR_INVALID_PARAMETER.
// - Adapter records are chained through Next inside the caller's buffer;
//   every pointer they hold points into that buffer.
// - GetAdaptersInfo lists the adapters bound to IPv4; one without an IPv4
//   address shows "0.0.0.0". The loopback adapter is listed too, with type
//   24, so callers that must skip it can.
// - dwBCastAddr and ipAdEntBcastAddr hold 1, the low bit of the all-ones
//   broadcast address Linux uses.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "network_internal.h"
#include "win/errors.h"
#include "win/strings.h"

namespace morva::platform::net {
namespace {

constexpr std::size_t align8(std::size_t n) { return (n + 7) & ~std::size_t{7}; }

// Sizes a table, or fills it when the caller's buffer is large enough.
template <class Table, class Row, class Fill>
DWORD answer_table(Table* table, ULONG* size, std::size_t rows, Fill fill) {
  if (!size) return ERROR_INVALID_PARAMETER;
  std::size_t needed = std::max(sizeof(Table), offsetof(Table, table) + rows * sizeof(Row));
  if (!table || *size < needed) {
    *size = static_cast<ULONG>(needed);
    return ERROR_INSUFFICIENT_BUFFER;
  }
  std::memset(table, 0, needed);
  table->dwNumEntries = static_cast<DWORD>(rows);
  Row* out = reinterpret_cast<Row*>(reinterpret_cast<BYTE*>(table) + offsetof(Table, table));
  fill(out);
  return NO_ERROR;
}

DWORD GetIpForwardTable_(MIB_IPFORWARDTABLE* table, ULONG* size, BOOL) {
  if (!size) return ERROR_INVALID_PARAMETER;
  std::vector<Ipv4Route> routes = ipv4_routes(network_snapshot());
  if (routes.empty()) return ERROR_NO_DATA;
  return answer_table<MIB_IPFORWARDTABLE, MIB_IPFORWARDROW>(table, size, routes.size(), [&](MIB_IPFORWARDROW* row) {
    for (const auto& r : routes) {
      row->dwForwardDest = net_order(r.destination);
      row->dwForwardMask = net_order(r.mask);
      row->dwForwardNextHop = net_order(r.next_hop);
      row->dwForwardIfIndex = r.if_index;
      row->dwForwardType = r.type;
      row->dwForwardProto = r.proto;
      row->dwForwardMetric1 = r.metric;
      row->dwForwardMetric2 = row->dwForwardMetric3 = row->dwForwardMetric4 = row->dwForwardMetric5 = 0xFFFFFFFFu;
      ++row;
    }
  });
}

DWORD GetNumberOfInterfaces_(DWORD* count) {
  if (!count) return ERROR_INVALID_PARAMETER;
  *count = static_cast<DWORD>(network_snapshot().interfaces.size());
  return NO_ERROR;
}

DWORD GetIfTable_(MIB_IFTABLE* table, ULONG* size, BOOL) {
  NetFixture s = network_snapshot();
  std::vector<const NetInterface*> list = interfaces_by_index(s);
  return answer_table<MIB_IFTABLE, MIB_IFROW>(table, size, list.size(), [&](MIB_IFROW* row) {
    for (const NetInterface* i : list) {
      std::u16string name = utf8_to_u16(i->name);
      std::size_t n = std::min<std::size_t>(name.size(), MAX_INTERFACE_NAME_LEN - 1);
      std::memcpy(row->wszName, name.data(), n * sizeof(WCHAR));
      row->dwIndex = i->index;
      row->dwType = i->type;
      row->dwMtu = i->mtu;
      row->dwPhysAddrLen = static_cast<DWORD>(std::min<std::size_t>(i->mac.size(), MAXLEN_PHYSADDR));
      if (row->dwPhysAddrLen) std::memcpy(row->bPhysAddr, i->mac.data(), row->dwPhysAddrLen);
      row->dwAdminStatus = MIB_IF_ADMIN_STATUS_UP;
      row->dwOperStatus = i->up ? IF_OPER_STATUS_OPERATIONAL : IF_OPER_STATUS_DISCONNECTED;
      const std::string& d = description_of(*i);
      row->dwDescrLen = static_cast<DWORD>(std::min<std::size_t>(d.size(), MAXLEN_IFDESCR - 1));
      std::memcpy(row->bDescr, d.data(), row->dwDescrLen);
      ++row;
    }
  });
}

DWORD GetIpAddrTable_(MIB_IPADDRTABLE* table, ULONG* size, BOOL) {
  std::vector<Ipv4AddressRow> rows = ipv4_addresses(network_snapshot());
  return answer_table<MIB_IPADDRTABLE, MIB_IPADDRROW>(table, size, rows.size(), [&](MIB_IPADDRROW* row) {
    for (const auto& r : rows) {
      row->dwAddr = net_order(r.address);
      row->dwIndex = r.if_index;
      row->dwMask = net_order(r.mask);
      row->dwBCastAddr = r.broadcast;
      row->dwReasmSize = 65535;
      row->wType = 0x0001;  // MIB_IPADDR_PRIMARY
      ++row;
    }
  });
}

void put_ip_string(IP_ADDRESS_STRING* out, std::uint32_t v) {
  std::snprintf(out->String, sizeof out->String, "%u.%u.%u.%u", v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

ULONG GetAdaptersInfo_(IP_ADAPTER_INFO* info, ULONG* size) {
  if (!size) return ERROR_INVALID_PARAMETER;
  NetFixture s = network_snapshot();
  std::vector<const NetInterface*> list;
  for (const NetInterface* i : interfaces_by_index(s))
    if (i->ipv4) list.push_back(i);
  if (list.empty()) return ERROR_NO_DATA;
  std::vector<Ipv4Route> routes = ipv4_routes(s);
  // Adapter records first, then the further address strings of adapters
  // with more than one IPv4 address.
  std::size_t extra = 0;
  for (const NetInterface* i : list) {
    std::size_t n = 0;
    for (const auto& a : i->addresses) n += a.family == WS_AF_INET;
    if (n > 1) extra += n - 1;
  }
  std::size_t needed = list.size() * sizeof(IP_ADAPTER_INFO) + extra * sizeof(IP_ADDR_STRING);
  if (!info || *size < needed) {
    *size = static_cast<ULONG>(needed);
    return ERROR_BUFFER_OVERFLOW;
  }
  std::memset(info, 0, needed);
  auto* more = reinterpret_cast<IP_ADDR_STRING*>(info + list.size());
  for (std::size_t k = 0; k < list.size(); ++k) {
    const NetInterface& i = *list[k];
    IP_ADAPTER_INFO& r = info[k];
    r.Next = k + 1 < list.size() ? &info[k + 1] : nullptr;
    r.ComboIndex = i.index;
    std::snprintf(r.AdapterName, sizeof r.AdapterName, "%s", i.name.c_str());
    std::snprintf(r.Description, sizeof r.Description, "%s", description_of(i).c_str());
    r.AddressLength = static_cast<UINT>(std::min<std::size_t>(i.mac.size(), MAX_ADAPTER_ADDRESS_LENGTH));
    if (r.AddressLength) std::memcpy(r.Address, i.mac.data(), r.AddressLength);
    r.Index = i.index;
    r.Type = i.type;
    IP_ADDR_STRING* last = nullptr;
    for (const auto& a : i.addresses) {
      if (a.family != WS_AF_INET) continue;
      IP_ADDR_STRING* slot = last ? more++ : &r.IpAddressList;
      if (last) last->Next = slot;
      put_ip_string(&slot->IpAddress, v4(a.bytes));
      put_ip_string(&slot->IpMask, mask_of(a.prefix_length));
      last = slot;
    }
    if (!last) {
      put_ip_string(&r.IpAddressList.IpAddress, 0);
      put_ip_string(&r.IpAddressList.IpMask, 0);
    }
    put_ip_string(&r.GatewayList.IpAddress, 0);
    for (const auto& route : routes)
      if (route.if_index == i.index && route.mask == 0 && route.next_hop) {
        put_ip_string(&r.GatewayList.IpAddress, route.next_hop);
        break;
      }
    put_ip_string(&r.GatewayList.IpMask, 0xFFFFFFFFu);
  }
  return NO_ERROR;
}

// Lays records out in one buffer: a first pass without a base measures,
// a second one writes.
class Arena {
 public:
  explicit Arena(BYTE* base) : base_(base) {}
  template <class T>
  T* take(std::size_t bytes = sizeof(T)) {
    used_ = align8(used_);
    T* p = base_ ? reinterpret_cast<T*>(base_ + used_) : nullptr;
    used_ += bytes;
    return p;
  }
  WCHAR* text(const std::string& utf8) {
    std::u16string w = utf8_to_u16(utf8);
    WCHAR* p = take<WCHAR>((w.size() + 1) * sizeof(WCHAR));
    if (p) std::memcpy(p, w.c_str(), (w.size() + 1) * sizeof(WCHAR));
    return p;
  }
  char* text_a(const std::string& s) {
    char* p = take<char>(s.size() + 1);
    if (p) std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
  }
  std::size_t used() const { return used_; }

 private:
  BYTE* base_;
  std::size_t used_ = 0;
};

WS_SOCKADDR* put_sockaddr(Arena& arena, const NetAddress& a, const std::array<BYTE, 16>& bytes, INT* length) {
  if (a.family == WS_AF_INET) {
    auto* sa = arena.take<WS_SOCKADDR_IN>();
    *length = sizeof(WS_SOCKADDR_IN);
    if (sa) {
      sa->sin_family = WS_AF_INET;
      std::memcpy(&sa->sin_addr, bytes.data(), 4);
    }
    return reinterpret_cast<WS_SOCKADDR*>(sa);
  }
  auto* sa = arena.take<WS_SOCKADDR_IN6>();
  *length = sizeof(WS_SOCKADDR_IN6);
  if (sa) {
    sa->sin6_family = WS_AF_INET6;
    std::memcpy(sa->sin6_addr, bytes.data(), 16);
    sa->sin6_scope_id = a.scope_id;
  }
  return reinterpret_cast<WS_SOCKADDR*>(sa);
}

std::array<BYTE, 16> prefix_bytes(const NetAddress& a) {
  std::array<BYTE, 16> out = a.bytes;
  int bits = a.prefix_length;
  for (auto& b : out) {
    if (bits >= 8) {
      bits -= 8;
    } else {
      b = static_cast<BYTE>(b & (0xFF00u >> bits));
      bits = 0;
    }
  }
  if (a.family == WS_AF_INET) std::fill(out.begin() + 4, out.end(), BYTE{0});
  return out;
}

void lay_out_adapters(Arena& arena, const std::vector<const NetInterface*>& list, int family, ULONG flags) {
  IP_ADAPTER_ADDRESSES* previous = nullptr;
  for (const NetInterface* i : list) {
    auto* r = arena.take<IP_ADAPTER_ADDRESSES>();
    if (previous) previous->Next = r;
    previous = r;
    bool has6 = std::any_of(i->addresses.begin(), i->addresses.end(),
                            [](const NetAddress& a) { return a.family == WS_AF_INET6; });
    if (r) {
      r->Length = sizeof(IP_ADAPTER_ADDRESSES);
      r->IfIndex = i->ipv4 ? i->index : 0;
      r->Ipv6IfIndex = has6 ? i->index : 0;
      r->PhysicalAddressLength = static_cast<ULONG>(std::min<std::size_t>(i->mac.size(), MAX_ADAPTER_ADDRESS_LENGTH));
      if (r->PhysicalAddressLength) std::memcpy(r->PhysicalAddress, i->mac.data(), r->PhysicalAddressLength);
      r->Mtu = i->mtu;
      r->IfType = i->type;
      r->OperStatus = i->up ? IfOperStatusUp : IfOperStatusDown;
      for (auto& z : r->ZoneIndices) z = i->index;
      r->Luid = i->index;
    }
    char* name = arena.text_a(i->name);
    WCHAR* suffix = arena.text("");
    WCHAR* description = arena.text(description_of(*i));
    WCHAR* friendly = arena.text((flags & GAA_FLAG_SKIP_FRIENDLY_NAME) ? std::string() : i->name);
    if (r) {
      r->AdapterName = name;
      r->DnsSuffix = suffix;
      r->Description = description;
      r->FriendlyName = friendly;
    }
    IP_ADAPTER_UNICAST_ADDRESS* last_unicast = nullptr;
    IP_ADAPTER_PREFIX* last_prefix = nullptr;
    for (const auto& a : i->addresses) {
      if (family != WS_AF_UNSPEC && a.family != family) continue;
      if (!(flags & GAA_FLAG_SKIP_UNICAST)) {
        auto* u = arena.take<IP_ADAPTER_UNICAST_ADDRESS>();
        INT length = 0;
        WS_SOCKADDR* sa = put_sockaddr(arena, a, a.bytes, &length);
        if (u) {
          u->Length = sizeof(IP_ADAPTER_UNICAST_ADDRESS);
          u->Address.lpSockaddr = sa;
          u->Address.iSockaddrLength = length;
          u->PrefixOrigin = 1;  // manual
          u->SuffixOrigin = 1;
          u->DadState = 4;      // preferred
          u->ValidLifetime = u->PreferredLifetime = u->LeaseLifetime = 0xFFFFFFFFu;
          u->OnLinkPrefixLength = static_cast<UCHAR>(a.prefix_length);
          if (last_unicast)
            last_unicast->Next = u;
          else
            r->FirstUnicastAddress = u;
          last_unicast = u;
        }
      }
      if (flags & GAA_FLAG_INCLUDE_PREFIX) {
        auto* p = arena.take<IP_ADAPTER_PREFIX>();
        INT length = 0;
        WS_SOCKADDR* sa = put_sockaddr(arena, a, prefix_bytes(a), &length);
        if (p) {
          p->Length = sizeof(IP_ADAPTER_PREFIX);
          p->Address.lpSockaddr = sa;
          p->Address.iSockaddrLength = length;
          p->PrefixLength = static_cast<ULONG>(a.prefix_length);
          if (last_prefix)
            last_prefix->Next = p;
          else
            r->FirstPrefix = p;
          last_prefix = p;
        }
      }
    }
  }
}

ULONG GetAdaptersAddresses_(ULONG family, ULONG flags, void*, IP_ADAPTER_ADDRESSES* addresses, ULONG* size) {
  if (!size || (family != WS_AF_UNSPEC && family != WS_AF_INET && family != WS_AF_INET6))
    return ERROR_INVALID_PARAMETER;
  NetFixture s = network_snapshot();
  std::vector<const NetInterface*> list;
  for (const NetInterface* i : interfaces_by_index(s)) {
    bool has6 = std::any_of(i->addresses.begin(), i->addresses.end(),
                            [](const NetAddress& a) { return a.family == WS_AF_INET6; });
    if (family == WS_AF_UNSPEC || (family == WS_AF_INET && i->ipv4) || (family == WS_AF_INET6 && has6))
      list.push_back(i);
  }
  if (list.empty()) return ERROR_NO_DATA;
  Arena measure(nullptr);
  lay_out_adapters(measure, list, static_cast<int>(family), flags);
  if (!addresses || *size < measure.used()) {
    *size = static_cast<ULONG>(measure.used());
    return ERROR_BUFFER_OVERFLOW;
  }
  std::memset(addresses, 0, measure.used());
  Arena write(reinterpret_cast<BYTE*>(addresses));
  lay_out_adapters(write, list, static_cast<int>(family), flags);
  return NO_ERROR;
}

// Destination of a Windows socket address; false for a short or foreign one.
bool destination_of(const WS_SOCKADDR* sa, int* family, std::array<BYTE, 16>* bytes, ULONG* scope) {
  USHORT f;
  std::memcpy(&f, sa, sizeof f);
  bytes->fill(0);
  *scope = 0;
  if (f == WS_AF_INET) {
    WS_SOCKADDR_IN in;
    std::memcpy(&in, sa, sizeof in);
    std::memcpy(bytes->data(), &in.sin_addr, 4);
  } else if (f == WS_AF_INET6) {
    WS_SOCKADDR_IN6 in6;
    std::memcpy(&in6, sa, sizeof in6);
    std::memcpy(bytes->data(), in6.sin6_addr, 16);
    *scope = in6.sin6_scope_id;
  } else {
    return false;
  }
  *family = f;
  return true;
}

bool prefix_matches(const std::array<BYTE, 16>& a, const std::array<BYTE, 16>& b, int bits) {
  for (int k = 0; k < 16 && bits > 0; ++k, bits -= 8) {
    BYTE m = bits >= 8 ? 0xFF : static_cast<BYTE>(0xFF00u >> bits);
    if ((a[k] & m) != (b[k] & m)) return false;
  }
  return true;
}

// The fixture's answer: a local address's own interface, else the longest
// matching route or on-link prefix, the lower metric among equals, the
// first listed among those.
DWORD best_from_fixture(const NetFixture& s, int family, const std::array<BYTE, 16>& dest, ULONG scope, DWORD* index) {
  if (family == WS_AF_INET6 && scope && dest[0] == 0xFE && (dest[1] & 0xC0) == 0x80) {
    for (const auto& i : s.interfaces)
      if (i.index == scope) return *index = i.index, NO_ERROR;
    return ERROR_NETWORK_UNREACHABLE;
  }
  int best_bits = -1;
  DWORD best_metric = 0, best = 0;
  auto consider = [&](int bits, DWORD metric, DWORD if_index) {
    if (bits > best_bits || (bits == best_bits && metric < best_metric)) {
      best_bits = bits;
      best_metric = metric;
      best = if_index;
    }
  };
  for (const auto& i : s.interfaces)
    for (const auto& a : i.addresses) {
      if (a.family != family) continue;
      if (a.bytes == dest) consider(family == WS_AF_INET ? 32 : 128, 0, i.index);
      if (prefix_matches(a.bytes, dest, a.prefix_length)) consider(a.prefix_length, 0, i.index);
    }
  for (const auto& r : s.routes)
    if (r.family == family && prefix_matches(r.destination, dest, r.prefix_length))
      consider(r.prefix_length, r.metric, r.if_index);
  if (best_bits < 0) return ERROR_NETWORK_UNREACHABLE;
  *index = best;
  return NO_ERROR;
}

// The kernel's answer: the source address a connected datagram socket gets
// (connecting sends nothing), and the interface that holds it.
DWORD best_from_kernel(const NetFixture& s, int family, const std::array<BYTE, 16>& dest, ULONG scope, DWORD* index) {
  sockaddr_storage to{};
  socklen_t to_len;
  if (family == WS_AF_INET) {
    auto* in = reinterpret_cast<sockaddr_in*>(&to);
    in->sin_family = AF_INET;
    in->sin_port = htons(9);
    std::memcpy(&in->sin_addr, dest.data(), 4);
    to_len = sizeof(sockaddr_in);
  } else {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&to);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(9);
    std::memcpy(&in6->sin6_addr, dest.data(), 16);
    in6->sin6_scope_id = scope;
    to_len = sizeof(sockaddr_in6);
  }
  int fd = ::socket(to.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return ERROR_NETWORK_UNREACHABLE;
  sockaddr_storage local{};
  socklen_t local_len = sizeof local;
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&to), to_len) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &local_len) == 0;
  ::close(fd);
  if (!ok) return ERROR_NETWORK_UNREACHABLE;
  std::array<BYTE, 16> source{};
  ULONG source_scope = 0;
  if (family == WS_AF_INET) {
    std::memcpy(source.data(), &reinterpret_cast<sockaddr_in*>(&local)->sin_addr, 4);
  } else {
    std::memcpy(source.data(), &reinterpret_cast<sockaddr_in6*>(&local)->sin6_addr, 16);
    source_scope = reinterpret_cast<sockaddr_in6*>(&local)->sin6_scope_id;
  }
  for (const auto& i : s.interfaces)
    for (const auto& a : i.addresses)
      if (a.family == family && a.bytes == source && (!source_scope || a.scope_id == source_scope))
        return *index = i.index, NO_ERROR;
  return ERROR_NETWORK_UNREACHABLE;
}

DWORD GetBestInterfaceEx_(WS_SOCKADDR* destination, DWORD* index) {
  if (!destination || !index) return ERROR_INVALID_PARAMETER;
  int family = 0;
  std::array<BYTE, 16> dest{};
  ULONG scope = 0;
  if (!destination_of(destination, &family, &dest, &scope)) return ERROR_INVALID_PARAMETER;
  NetFixture s = network_snapshot();
  return fixture_active() ? best_from_fixture(s, family, dest, scope, index)
                          : best_from_kernel(s, family, dest, scope, index);
}

}  // namespace

const std::vector<BuiltinExport>& iphlpapi_exports() {
  static const std::vector<BuiltinExport> all = {
      {"GetIpForwardTable", morva_proc(&GetIpForwardTable_)},
      {"GetNumberOfInterfaces", morva_proc(&GetNumberOfInterfaces_)},
      {"GetIfTable", morva_proc(&GetIfTable_)},
      {"GetIpAddrTable", morva_proc(&GetIpAddrTable_)},
      {"GetAdaptersInfo", morva_proc(&GetAdaptersInfo_)},
      {"GetAdaptersAddresses", morva_proc(&GetAdaptersAddresses_)},
      {"GetBestInterfaceEx", morva_proc(&GetBestInterfaceEx_)},
  };
  return all;
}

namespace {
const HMODULE g_iphlpapi = register_builtin_module(u"iphlpapi.dll", iphlpapi_exports());
}  // namespace

}  // namespace morva::platform::net
