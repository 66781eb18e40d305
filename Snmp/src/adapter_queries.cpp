// Adapter and local-address queries (socket API slots 6 to 10) over the
// IP Helper library and the network tables.
#include "snmp/adapter_queries.h"

#include <strings.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>

#include "snmp/asn_value.h"
#include "snmp/log.h"
#include "snmp/network_tables.h"
#include "snmp/critical_section.h"
#include "win/errors.h"
#include "win/memory.h"

namespace {

using Lock = CPmcCriticalSection;
using Guard = CPmcLockGuard;

using EProtocol = IPmcNetworkAddress::EProtocol;

CPmcLogSessionHolder g_log("socket");

Lock g_iphelp_lock;
HMODULE g_iphelp_module = nullptr;
NPmcIpHelpAPI g_iphelp;
std::atomic<const NPmcIpHelpAPI*> g_iphelp_bound{nullptr};

// The library stays loaded until process exit.
struct IpHelpReleaser {
  ~IpHelpReleaser() {
    if (g_iphelp_module) pmc_free_system_library(g_iphelp_module, 0);
  }
} g_iphelp_releaser;

struct IpHelpEntry {
  const char* name;
  std::size_t offset;  // of the slot in NPmcIpHelpAPI
};
const IpHelpEntry kIpHelpEntries[] = {
    {"GetBestInterfaceEx", offsetof(NPmcIpHelpAPI, GetBestInterfaceEx)},
    {"GetAdaptersInfo", offsetof(NPmcIpHelpAPI, GetAdaptersInfo)},
    {"GetAdaptersAddresses", offsetof(NPmcIpHelpAPI, GetAdaptersAddresses)},
};

constexpr ULONG kAdapterFlags =
    GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER | GAA_FLAG_INCLUDE_PREFIX;
static_assert(kAdapterFlags == 0x1E);

// A buffer from GlobalAlloc, freed on every path.
struct GlobalBuffer {
  void* p = nullptr;
  ~GlobalBuffer() {
    if (p) GlobalFree(p);
  }
};

// One WSAStartup, cleaned up on every path out of an operation.
class Startup {
 public:
  explicit Startup(bool v2) : result_(v2 ? pmc_socket_startup_2_2() : pmc_socket_startup_1_1()) {}
  ~Startup() {
    if (result_ == 0) pmc_socket_cleanup();
  }
  int result() const { return result_; }

 private:
  int result_;
};

// Whether a datagram socket of this protocol can be created (and bound to
// the any-address): the socket is closed again at once.
bool datagram_socket_can_be_created(EProtocol protocol) {
  int family = 0, proto = 0;
  bool v2 = false;
  switch (protocol) {
    case IPmcNetworkAddress::kIPv4: family = WS_AF_INET; break;
    case IPmcNetworkAddress::kIPX:
      family = WS_AF_IPX;
      proto = WS_NSPROTO_IPX;
      break;
    case IPmcNetworkAddress::kIPv6:
      if (!pmc_socket_address_info_available()) return false;  // only the address-info library has IPv6
      family = WS_AF_INET6;
      v2 = true;
      break;
    default: return false;  // no socket variant
  }
  Startup s(v2);
  if (s.result()) return false;
  const NPmcSocketAPI& api = *NPmcSocketAPI::get();
  SOCKET sock = api.socket(family, WS_SOCK_DGRAM, proto);
  if (sock == INVALID_SOCKET) return false;
  WS_SOCKADDR_STORAGE any{};
  any.ss_family = static_cast<SHORT>(family);
  int length = family == WS_AF_INET6 ? static_cast<int>(sizeof(WS_SOCKADDR_IN6)) : static_cast<int>(sizeof(WS_SOCKADDR_IN));
  bool bound = api.bind(sock, reinterpret_cast<WS_SOCKADDR*>(&any), length) == 0;
  api.closesocket(sock);
  return bound;
}

// The adapter lists, read into a buffer owned by the caller.
int read_adapters_info(std::unique_ptr<BYTE[]>* buffer) {
  const NPmcIpHelpAPI* api = NPmcIpHelpAPI::get();
  if (!api || !api->GetAdaptersInfo) return pms::kCannotOpen;
  ULONG size = 0;
  if (api->GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW) return pms::kUnknownAddressForm;
  if (!size) return pms::kNoMemory;
  buffer->reset(new (std::nothrow) BYTE[size]);
  if (!*buffer) return pms::kNoMemory;
  if (api->GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer->get()), &size) != NO_ERROR) {
    buffer->reset();
    return pms::kUnknownAddressForm;
  }
  return 0;
}

int read_adapters_addresses(std::unique_ptr<BYTE[]>* buffer) {
  const NPmcIpHelpAPI* api = NPmcIpHelpAPI::get();
  if (!api || !api->GetAdaptersAddresses) return pms::kCannotOpen;
  ULONG size = 0;
  if (api->GetAdaptersAddresses(WS_AF_INET6, kAdapterFlags, nullptr, nullptr, &size) != ERROR_BUFFER_OVERFLOW)
    return pms::kUnknownAddressForm;
  if (!size) return pms::kNoMemory;
  buffer->reset(new (std::nothrow) BYTE[size]);
  if (!*buffer) return pms::kNoMemory;
  if (api->GetAdaptersAddresses(WS_AF_INET6, kAdapterFlags, nullptr,
                                reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer->get()), &size) != NO_ERROR) {
    buffer->reset();
    return pms::kUnknownAddressForm;
  }
  return 0;
}

const IP_ADAPTER_INFO* first_info(const std::unique_ptr<BYTE[]>& b) {
  return reinterpret_cast<const IP_ADAPTER_INFO*>(b.get());
}
const IP_ADAPTER_ADDRESSES* first_addresses(const std::unique_ptr<BYTE[]>& b) {
  return reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(b.get());
}

bool usable_ipv4(const IP_ADAPTER_INFO& a) { return a.Type != MIB_IF_TYPE_LOOPBACK; }
bool usable_ipv6(const IP_ADAPTER_ADDRESSES& a) {
  return a.FirstUnicastAddress && a.IfType != MIB_IF_TYPE_LOOPBACK && a.IfType != IF_TYPE_TUNNEL;
}

// The IPv6 socket address of a unicast entry; false when it is none.
bool ipv6_of(const IP_ADAPTER_UNICAST_ADDRESS& u, WS_SOCKADDR_IN6* out) {
  if (!u.Address.lpSockaddr || u.Address.iSockaddrLength < static_cast<INT>(sizeof(WS_SOCKADDR_IN6))) return false;
  std::memcpy(out, u.Address.lpSockaddr, sizeof *out);
  return out->sin6_family == WS_AF_INET6;
}

bool all_zero(const UCHAR* bytes, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k)
    if (bytes[k]) return false;
  return true;
}

int hardware_text(const BYTE* address, PmsOwn<IPmsOctetBuffer>* out) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", address[0], address[1], address[2], address[3],
                address[4], address[5]);
  int err = 0;
  auto b = pms_create_octet_buffer(&err);
  if (!b) return pms::kNoMemory;
  if (b->set_text(text)) return pms::kNoMemory;
  *out = std::move(b);
  return 0;
}

// ------------------------------------------------------------------ slot 6

int local_address_for_ipv6(const IPmcNetworkAddress* destination, PmsOwn<IPmcNetworkAddress>* out) {
  Startup s(true);
  if (s.result()) return s.result();
  const NPmcIpHelpAPI* help = NPmcIpHelpAPI::get();
  if (!help || !help->GetBestInterfaceEx || !help->GetAdaptersAddresses) return pms::kNotSupported;
  const NPmcSocketAPI& api = *NPmcSocketAPI::get();
  if (!api.getaddrinfo || !api.getnameinfo || !api.freeaddrinfo) return -1;

  WS_ADDRINFOA hints{};
  hints.ai_flags = WS_AI_PASSIVE | WS_AI_NUMERICHOST;
  hints.ai_socktype = WS_SOCK_DGRAM;
  WS_ADDRINFOA* results = nullptr;
  if (api.getaddrinfo(destination->host_text(), nullptr, &hints, &results) != 0 || !results) return -1;
  struct Free {
    const NPmcSocketAPI& api;
    WS_ADDRINFOA* r;
    ~Free() { api.freeaddrinfo(r); }
  } free_results{api, results};

  DWORD best = 0;
  if (help->GetBestInterfaceEx(results->ai_addr, &best) != NO_ERROR) return pms::kNotSupported;
  const ULONG family = static_cast<ULONG>(results->ai_family);
  ULONG size = 0;
  if (help->GetAdaptersAddresses(family, kAdapterFlags, nullptr, nullptr, &size) != ERROR_BUFFER_OVERFLOW) return -1;
  GlobalBuffer buffer;
  buffer.p = GlobalAlloc(GPTR, size);
  if (!buffer.p) return pms::kNoMemory;
  auto* adapters = static_cast<IP_ADAPTER_ADDRESSES*>(buffer.p);
  if (help->GetAdaptersAddresses(family, kAdapterFlags, nullptr, adapters, &size) != NO_ERROR) return -1;

  const IP_ADAPTER_UNICAST_ADDRESS* chosen = nullptr;
  for (const IP_ADAPTER_ADDRESSES* a = adapters; a && !chosen; a = a->Next) {
    const IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress;
    if (!u || !u->Address.lpSockaddr || u->Address.lpSockaddr->sa_family != family) continue;
    DWORD index = family == WS_AF_INET6 ? a->Ipv6IfIndex : a->IfIndex;
    if (index == best) chosen = u;
  }
  if (!chosen) return -1;
  char host[WS_NI_MAXHOST] = {};
  if (api.getnameinfo(chosen->Address.lpSockaddr, chosen->Address.iSockaddrLength, host, sizeof host, nullptr, 0,
                      WS_NI_NUMERICHOST) != 0)
    return -1;
  int err = 0;
  auto result = pmc_create_network_address(&err);
  if (!result) return pms::kNoMemory;
  int r = result->set(host, destination->get_protocol(), destination->get_port());
  if (r) return r;
  *out = std::move(result);
  return 0;
}

int local_address_for(const IPmcNetworkAddress* destination, PmsOwn<IPmcNetworkAddress>* out) {
  if (!out) return pms::kBadArgument;
  out->reset();
  if (!destination) return pms::kBadArgument;
  switch (destination->get_protocol()) {
    case IPmcNetworkAddress::kIPv4:
    case IPmcNetworkAddress::kIPX: return pmc_network_local_address_for(destination, out);
    case IPmcNetworkAddress::kIPv6: return local_address_for_ipv6(destination, out);
    default: return pms::kBadArgument;
  }
}

// ------------------------------------------------------------------ slot 7

int transport_available(EProtocol protocol, std::uint8_t* available) {
  if (!available) return pms::kBadArgument;
  *available = 0;
  const NPmcIpHelpAPI* help = NPmcIpHelpAPI::get();
  if (protocol == IPmcNetworkAddress::kIPv4) {
    if (help && help->GetAdaptersInfo) {
      ULONG size = 0;
      ULONG r = help->GetAdaptersInfo(nullptr, &size);
      if (r == ERROR_NO_DATA) return 0;
      if (r == ERROR_BUFFER_OVERFLOW) {
        if (!size) return pms::kNoMemory;
        std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[size]);
        if (!buffer) return pms::kNoMemory;
        if (help->GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.get()), &size) == NO_ERROR) {
          for (const IP_ADAPTER_INFO* a = first_info(buffer); a; a = a->Next)
            if (usable_ipv4(*a) && std::strcmp(a->IpAddressList.IpAddress.String, "0.0.0.0") != 0) *available = 1;
          return 0;
        }
      }
    }
    *available = datagram_socket_can_be_created(protocol);
    return 0;
  }
  if (protocol == IPmcNetworkAddress::kIPv6) {
    if (!help || !help->GetAdaptersAddresses) return 0;
    ULONG size = 0;
    if (help->GetAdaptersAddresses(WS_AF_INET6, kAdapterFlags, nullptr, nullptr, &size) != ERROR_BUFFER_OVERFLOW)
      return 0;
    if (!size) return pms::kNoMemory;
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[size]);
    if (!buffer) return pms::kNoMemory;
    if (help->GetAdaptersAddresses(WS_AF_INET6, kAdapterFlags, nullptr,
                                   reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()), &size) != NO_ERROR)
      return 0;
    for (const IP_ADAPTER_ADDRESSES* a = first_addresses(buffer); a; a = a->Next) {
      WS_SOCKADDR_IN6 in6;
      if (usable_ipv6(*a) && ipv6_of(*a->FirstUnicastAddress, &in6) && !all_zero(in6.sin6_addr, 16)) *available = 1;
    }
    return 0;
  }
  *available = datagram_socket_can_be_created(protocol);
  return 0;
}

// ------------------------------------------------------------------ slot 8

int interface_count(EProtocol protocol, std::uint32_t* count) {
  if (!count) return pms::kBadArgument;
  *count = 0;
  std::unique_ptr<BYTE[]> buffer;
  if (protocol == IPmcNetworkAddress::kIPv4) {
    if (int r = read_adapters_info(&buffer)) return r;
    for (const IP_ADAPTER_INFO* a = first_info(buffer); a; a = a->Next) *count += usable_ipv4(*a);
    return 0;
  }
  if (protocol == IPmcNetworkAddress::kIPv6) {
    if (int r = read_adapters_addresses(&buffer)) return r;
    for (const IP_ADAPTER_ADDRESSES* a = first_addresses(buffer); a; a = a->Next) *count += usable_ipv6(*a);
    return 0;
  }
  return pms::kBadArgument;
}

// ------------------------------------------------------------------ slot 9

// Whether a unicast address answers the given text: the normalized text
// of its 16 bytes, or that text with "%" and its scope.
bool ipv6_answers(const WS_SOCKADDR_IN6& in6, const char* text) {
  char groups[40];
  const UCHAR* b = in6.sin6_addr;
  std::snprintf(groups, sizeof groups, "%02x%02x:%02x%02x:%02x%02x:%02x%02x:%02x%02x:%02x%02x:%02x%02x:%02x%02x", b[0],
                b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  PmsOwn<IPmsOctetBuffer> normalized;
  if (pmc_socket_normalize_address(groups, &normalized) || !normalized) return false;
  if (strcasecmp(text, normalized->c_str()) == 0) return true;
  if (!in6.sin6_scope_id) return false;
  char scoped[WS_NI_MAXHOST + 16];
  std::snprintf(scoped, sizeof scoped, "%s%%%d", normalized->c_str(), static_cast<int>(in6.sin6_scope_id));
  return strcasecmp(text, scoped) == 0;
}

int mac_address(EProtocol protocol, const char* text, PmsOwn<IPmsOctetBuffer>* out) {
  if (!out || !text) return pms::kBadArgument;
  out->reset();
  std::unique_ptr<BYTE[]> buffer;
  if (protocol == IPmcNetworkAddress::kIPv4) {
    if (int r = read_adapters_info(&buffer)) return r;
    // Every address of an adapter is looked at, not only its first: the
    // hardware address of a second address is that adapter's too.
    for (const IP_ADAPTER_INFO* a = first_info(buffer); a; a = a->Next) {
      if (!usable_ipv4(*a)) continue;
      if (!*text) return hardware_text(a->Address, out);
      for (const IP_ADDR_STRING* s = &a->IpAddressList; s; s = s->Next)
        if (std::strncmp(s->IpAddress.String, text, sizeof s->IpAddress.String) == 0) return hardware_text(a->Address, out);
    }
    return pms::kUnknownAddressForm;
  }
  if (protocol == IPmcNetworkAddress::kIPv6) {
    if (int r = read_adapters_addresses(&buffer)) return r;
    for (const IP_ADAPTER_ADDRESSES* a = first_addresses(buffer); a; a = a->Next) {
      if (!usable_ipv6(*a)) continue;
      for (const IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u; u = u->Next) {
        WS_SOCKADDR_IN6 in6;
        if (!ipv6_of(*u, &in6) || all_zero(in6.sin6_addr, 16)) continue;
        if (!*text || ipv6_answers(in6, text)) return hardware_text(a->PhysicalAddress, out);
      }
    }
    return pms::kUnknownAddressForm;
  }
  return pms::kBadArgument;
}

// ----------------------------------------------------------------- slot 10

int is_local_mac(const char* text, std::uint8_t* local) {
  if (!local || !text) return pms::kBadArgument;
  *local = 0;
  std::unique_ptr<BYTE[]> buffer;
  PmsOwn<IPmsOctetBuffer> mac;
  if (read_adapters_info(&buffer) == 0) {
    for (const IP_ADAPTER_INFO* a = first_info(buffer); a && !*local; a = a->Next)
      if (usable_ipv4(*a) && hardware_text(a->Address, &mac) == 0 && strcasecmp(mac->c_str(), text) == 0) *local = 1;
    return 0;
  }
  if (int r = read_adapters_addresses(&buffer)) return r;
  for (const IP_ADAPTER_ADDRESSES* a = first_addresses(buffer); a && !*local; a = a->Next)
    if (usable_ipv6(*a) && hardware_text(a->PhysicalAddress, &mac) == 0 && strcasecmp(mac->c_str(), text) == 0)
      *local = 1;
  return 0;
}

}  // namespace

// ---------------------------------------------------------------- binding

int NPmcIpHelpAPI::set_api(HMODULE module) {
  g_log.log(kPmcLogTrace, "[%s] enter.", "NPmcIpHelpAPI::set_api");
  NPmcIpHelpAPI api;
  for (const auto& e : kIpHelpEntries) {
    FARPROC p = pmc_get_proc_address(module, e.name);
    if (!p)
      g_log.log(kPmcLogError, "[NPmcIpHelpAPI::set_api] fail GetProcAddress \"%s\": GetLastError()=%d", e.name,
                static_cast<int>(GetLastError()));
    std::memcpy(reinterpret_cast<char*>(&api) + e.offset, &p, sizeof p);
  }
  g_iphelp = api;
  g_log.log(kPmcLogTrace, "[%s] exit.", "NPmcIpHelpAPI::set_api");
  return 0;
}

const NPmcIpHelpAPI* NPmcIpHelpAPI::get() {
  if (const NPmcIpHelpAPI* api = g_iphelp_bound.load(std::memory_order_acquire)) return api;
  Guard g(g_iphelp_lock);
  if (const NPmcIpHelpAPI* api = g_iphelp_bound.load(std::memory_order_acquire)) return api;
  HMODULE m = pmc_load_system_library("iphlpapi.dll", 0);
  if (!m) return nullptr;
  set_api(m);
  g_iphelp_module = m;
  g_iphelp_bound.store(&g_iphelp, std::memory_order_release);
  return &g_iphelp;
}

void pmc_iphelp_test_reset() {
  Guard g(g_iphelp_lock);
  g_iphelp_bound.store(nullptr);
  if (g_iphelp_module) pmc_free_system_library(g_iphelp_module, 0);
  g_iphelp_module = nullptr;
  g_iphelp = NPmcIpHelpAPI{};
}

// ------------------------------------------------------------ C functions

#define PMC_WITH_API(call)         \
  do {                             \
    int e = pmc_get_socket_api();  \
    if (e) return e;               \
    return call;                   \
  } while (0)

int pmc_socket_get_local_address_for(const IPmcNetworkAddress* destination, PmsOwn<IPmcNetworkAddress>* out) {
  PMC_WITH_API(local_address_for(destination, out));
}
int pmc_socket_is_transport_available(IPmcNetworkAddress::EProtocol protocol, std::uint8_t* available) {
  PMC_WITH_API(transport_available(protocol, available));
}
int pmc_socket_get_interface_count(IPmcNetworkAddress::EProtocol protocol, std::uint32_t* count) {
  PMC_WITH_API(interface_count(protocol, count));
}
int pmc_socket_get_mac_address(IPmcNetworkAddress::EProtocol protocol, const char* interface_text,
                               PmsOwn<IPmsOctetBuffer>* out) {
  PMC_WITH_API(mac_address(protocol, interface_text, out));
}
int pmc_socket_is_local_mac_address(const char* mac_text, std::uint8_t* local) {
  PMC_WITH_API(is_local_mac(mac_text, local));
}
#undef PMC_WITH_API
