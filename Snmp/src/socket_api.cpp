// The socket library binding and the two socket API objects: one over
// getaddrinfo/getnameinfo, one for libraries that lack them.
#include "snmp/socket_api.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "snmp/log.h"
#include "snmp/critical_section.h"
#include "win/errors.h"
#include "win/memory.h"

namespace {

using Lock = CPmcCriticalSection;
using Guard = CPmcLockGuard;

CPmcLogSessionHolder g_log("socket");

Lock g_module_lock;
Lock g_object_lock;
HMODULE g_module = nullptr;
NPmcSocketAPI g_api;
std::atomic<const NPmcSocketAPI*> g_bound{nullptr};
std::atomic<IPmcSocketAPI*> g_object{nullptr};

struct Entry {
  const char* name;
  std::size_t offset;  // of the slot in NPmcSocketAPI
};
#define PMC_SLOT(field, name) {name, offsetof(NPmcSocketAPI, field)}
const Entry kRequired[] = {
    PMC_SLOT(WSAStartup, "WSAStartup"),     PMC_SLOT(WSACleanup, "WSACleanup"),
    PMC_SLOT(WSAGetLastError, "WSAGetLastError"), PMC_SLOT(socket, "socket"),
    PMC_SLOT(bind, "bind"),                 PMC_SLOT(htons, "htons"),
    PMC_SLOT(ntohs, "ntohs"),               PMC_SLOT(getsockname, "getsockname"),
    PMC_SLOT(gethostname, "gethostname"),   PMC_SLOT(gethostbyname, "gethostbyname"),
    PMC_SLOT(getsockopt, "getsockopt"),     PMC_SLOT(setsockopt, "setsockopt"),
    PMC_SLOT(inet_addr, "inet_addr"),       PMC_SLOT(inet_ntoa, "inet_ntoa"),
    PMC_SLOT(sendto, "sendto"),             PMC_SLOT(recvfrom, "recvfrom"),
    PMC_SLOT(select, "select"),             PMC_SLOT(closesocket, "closesocket"),
    PMC_SLOT(gethostbyaddr, "gethostbyaddr"), PMC_SLOT(getservbyname, "getservbyname"),
    PMC_SLOT(htonl, "htonl"),               PMC_SLOT(ntohl, "ntohl"),
    PMC_SLOT(connect, "connect"),           PMC_SLOT(listen, "listen"),
    PMC_SLOT(ioctlsocket, "ioctlsocket"),   PMC_SLOT(recv, "recv"),
    PMC_SLOT(send, "send"),                 PMC_SLOT(accept, "accept"),
    PMC_SLOT(WSAFDIsSet, "__WSAFDIsSet"),
};
const Entry kOptional[] = {
    PMC_SLOT(getaddrinfo, "getaddrinfo"),
    PMC_SLOT(getnameinfo, "getnameinfo"),
    PMC_SLOT(freeaddrinfo, "freeaddrinfo"),
};
#undef PMC_SLOT
static_assert(std::size(kRequired) == 29);

void store(NPmcSocketAPI& api, const Entry& e, FARPROC p) {
  std::memcpy(reinterpret_cast<char*>(&api) + e.offset, &p, sizeof p);
}

// The library stays loaded until process exit.
struct ModuleReleaser {
  ~ModuleReleaser() {
    delete g_object.exchange(nullptr);
    if (g_module) pmc_free_system_library(g_module, 0);
  }
} g_module_releaser;

// One WSAStartup, cleaned up on every path out of an operation.
class Startup {
 public:
  explicit Startup(bool v2) {
    result_ = v2 ? pmc_socket_startup_2_2() : pmc_socket_startup_1_1();
  }
  ~Startup() {
    if (result_ == 0) pmc_socket_cleanup();
  }
  int result() const { return result_; }

 private:
  int result_;
};

using EProtocol = IPmcNetworkAddress::EProtocol;

PmsOwn<IPmsOctetBuffer> host_text(const char* text, int* err) {
  auto b = pms_create_octet_buffer(err);
  if (!b) return b;
  int r = b->set_text(text);
  if (r) {
    pms::set_err(err, r);
    b.reset();
  }
  return b;
}

// "%2x" x 4 ":" "%2x" x 6: an IPX network and node, 21 characters.
bool is_ipx_text(const char* t) {
  if (std::strlen(t) != 21) return false;
  for (int i = 0; i < 21; ++i) {
    if (i == 8) {
      if (t[i] != ':') return false;
    } else if (!std::isxdigit(static_cast<unsigned char>(t[i]))) {
      return false;
    }
  }
  return true;
}

// Legacy IPv4 classification: exactly four numbers below 256.
bool legacy_ipv4(const char* t, unsigned v[4]) {
  char extra;
  return std::sscanf(t, "%u.%u.%u.%u%c", &v[0], &v[1], &v[2], &v[3], &extra) == 4 && v[0] < 256 && v[1] < 256 &&
         v[2] < 256 && v[3] < 256;
}

int numeric_text(const NPmcSocketAPI& api, const WS_SOCKADDR* sa, SIZE_T len, char* host, std::uint16_t* port) {
  char serv[WS_NI_MAXSERV] = {};
  int flags = WS_NI_NUMERICHOST | (port ? WS_NI_NUMERICSERV : 0);
  if (api.getnameinfo(sa, static_cast<int>(len), host, WS_NI_MAXHOST, port ? serv : nullptr, port ? sizeof serv : 0,
                      flags) != 0)
    return -1;
  if (port) *port = static_cast<std::uint16_t>(std::strtoul(serv, nullptr, 10));
  return 0;
}

class CPmcLegacySocketAPI : public IPmcSocketAPI {
 public:
  bool is_address_info() const override { return false; }

  int address_protocol(const char* text, EProtocol* protocol) override {
    if (!text || !protocol) return pms::kBadArgument;
    unsigned v[4];
    if (legacy_ipv4(text, v)) {
      *protocol = IPmcNetworkAddress::kIPv4;
      return 0;
    }
    if (is_ipx_text(text)) {
      *protocol = IPmcNetworkAddress::kIPX;
      return 0;
    }
    *protocol = IPmcNetworkAddress::kUnspecified;
    return pms::kUnknownAddressForm;
  }

  int normalize(const char* text, PmsOwn<IPmsOctetBuffer>* host) override {
    if (!host) return pms::kBadArgument;
    EProtocol p;
    int r = address_protocol(text, &p);
    if (r) return r;
    char out[32];
    if (p == IPmcNetworkAddress::kIPv4) {
      unsigned v[4];
      legacy_ipv4(text, v);
      std::snprintf(out, sizeof out, "%u.%u.%u.%u", v[0], v[1], v[2], v[3]);
      text = out;
    }
    int err = 0;
    *host = host_text(text, &err);
    return err;
  }

  int host_addresses(const char* name, PmsOwn<IPmsAddressList>* list) override {
    if (!name || !list) return pms::kBadArgument;
    Startup s(false);
    if (s.result()) return s.result();
    const NPmcSocketAPI& api = *NPmcSocketAPI::get();
    WS_HOSTENT* he = api.gethostbyname(name);
    if (!he) return -1;
    int err = 0;
    auto l = pms_create_address_list(&err);
    if (!l) return err;
    for (char** a = he->h_addr_list; a && *a; ++a) {
      WS_IN_ADDR in;
      std::memcpy(&in, *a, sizeof in);
      const char* t = api.inet_ntoa(in);
      if (!t) return -1;
      auto addr = pmc_create_network_address_ex(t, pmc_protocol_of(he->h_addrtype), 0, &err);
      if (!addr) return err;
      if ((err = l->push_back(std::move(addr)))) return err;
    }
    *list = std::move(l);
    return 0;
  }

  int host_name(const char* text, PmsOwn<IPmsOctetBuffer>* host) override {
    if (!text || !host) return pms::kBadArgument;
    Startup s(false);
    if (s.result()) return s.result();
    const NPmcSocketAPI& api = *NPmcSocketAPI::get();
    ULONG a = api.inet_addr(text);
    if (a == WS_INADDR_NONE && std::strncmp(text, "255.255.255.255", 15) != 0) return -1;
    WS_HOSTENT* he = api.gethostbyaddr(reinterpret_cast<const char*>(&a), 4, WS_AF_INET);
    if (!he) return -1;
    int err = 0;
    *host = host_text(he->h_name, &err);
    return err;
  }

  int local_host_address(EProtocol protocol, PmsOwn<IPmcNetworkAddress>* address) override {
    if (!address) return pms::kBadArgument;
    if (protocol == IPmcNetworkAddress::kIPX) return pms::kNotSupported;
    Startup s(false);
    if (s.result()) return s.result();
    const NPmcSocketAPI& api = *NPmcSocketAPI::get();
    char name[WS_NI_MAXHOST];
    if (api.gethostname(name, sizeof name) != 0) return -1;
    WS_HOSTENT* he = api.gethostbyname(name);
    if (!he || !he->h_addr_list || !he->h_addr_list[0]) return -1;
    WS_IN_ADDR in;
    std::memcpy(&in, he->h_addr_list[0], sizeof in);
    const char* t = api.inet_ntoa(in);
    if (!t) return -1;
    int err = 0;
    *address = pmc_create_network_address_ex(t, pmc_protocol_of(he->h_addrtype), 0, &err);
    return err;
  }

  int service_port(const char* service, EProtocol, std::uint16_t* port) override {
    if (!service || !port) return pms::kBadArgument;
    Startup s(false);
    if (s.result()) return s.result();
    const NPmcSocketAPI& api = *NPmcSocketAPI::get();
    WS_SERVENT* se = api.getservbyname(service, "udp");
    if (!se) return -1;
    *port = api.ntohs(static_cast<USHORT>(se->s_port));
    return 0;
  }
};

class CPmcAddrInfoSocketAPI final : public IPmcSocketAPI {
 public:
  bool is_address_info() const override { return true; }

  int address_protocol(const char* text, EProtocol* protocol) override {
    if (!text || !protocol) return pms::kBadArgument;
    if (is_ipx_text(text)) {
      *protocol = IPmcNetworkAddress::kIPX;
      return 0;
    }
    Startup s(true);
    if (s.result()) return s.result();
    WS_ADDRINFOA* res = numeric_lookup(text);
    if (!res) {
      *protocol = IPmcNetworkAddress::kUnspecified;
      return -1;
    }
    *protocol = pmc_protocol_of(res->ai_family);
    NPmcSocketAPI::get()->freeaddrinfo(res);
    return 0;
  }

  int normalize(const char* text, PmsOwn<IPmsOctetBuffer>* host) override {
    if (!host || !text) return pms::kBadArgument;
    if (is_ipx_text(text)) {
      int err = 0;
      *host = host_text(text, &err);
      return err;
    }
    Startup s(true);
    if (s.result()) return s.result();
    WS_ADDRINFOA* res = numeric_lookup(text);
    if (!res) return -1;
    char buf[WS_NI_MAXHOST];
    int r = numeric_text(*NPmcSocketAPI::get(), res->ai_addr, res->ai_addrlen, buf, nullptr);
    NPmcSocketAPI::get()->freeaddrinfo(res);
    if (r) return r;
    int err = 0;
    *host = host_text(buf, &err);
    return err;
  }

  int host_addresses(const char* name, PmsOwn<IPmsAddressList>* list) override {
    if (!name || !list) return pms::kBadArgument;
    Startup s(true);
    if (s.result()) return s.result();
    const NPmcSocketAPI& api = *NPmcSocketAPI::get();
    WS_ADDRINFOA hints{};
    hints.ai_flags = WS_AI_PASSIVE;
    hints.ai_socktype = WS_SOCK_DGRAM;
    WS_ADDRINFOA* res = nullptr;
    if (api.getaddrinfo(name, nullptr, &hints, &res) != 0) return -1;
    int err = 0;
    auto l = pms_create_address_list(&err);
    for (WS_ADDRINFOA* p = res; l && p; p = p->ai_next) {
      char host[WS_NI_MAXHOST];
      std::uint16_t port = 0;
      if (numeric_text(api, p->ai_addr, p->ai_addrlen, host, &port) != 0) continue;
      auto addr = pmc_create_network_address_ex(host, pmc_protocol_of(p->ai_family), port, &err);
      if (!addr || (err = l->push_back(std::move(addr)))) {
        l.reset();
        break;
      }
    }
    api.freeaddrinfo(res);
    if (!l) return err ? err : pms::kNoMemory;
    *list = std::move(l);
    return 0;
  }

  int host_name(const char* text, PmsOwn<IPmsOctetBuffer>* host) override {
    if (!text || !host) return pms::kBadArgument;
    Startup s(true);
    if (s.result()) return s.result();
    const NPmcSocketAPI& api = *NPmcSocketAPI::get();
    WS_ADDRINFOA* res = numeric_lookup(text);
    if (!res) return -1;
    char buf[WS_NI_MAXHOST];
    int r = api.getnameinfo(res->ai_addr, static_cast<int>(res->ai_addrlen), buf, sizeof buf, nullptr, 0,
                            WS_NI_NAMEREQD);
    api.freeaddrinfo(res);
    if (r != 0) return -1;
    int err = 0;
    *host = host_text(buf, &err);
    return err;
  }

  int local_host_address(EProtocol protocol, PmsOwn<IPmcNetworkAddress>* address) override {
    if (!address) return pms::kBadArgument;
    if (protocol == IPmcNetworkAddress::kIPX) return pms::kNotSupported;
    Startup s(true);
    if (s.result()) return s.result();
    const NPmcSocketAPI& api = *NPmcSocketAPI::get();
    char name[WS_NI_MAXHOST];
    if (api.gethostname(name, sizeof name) != 0) return -1;
    WS_ADDRINFOA hints{};
    hints.ai_flags = WS_AI_PASSIVE;
    hints.ai_family = pmc_family_of(protocol);
    hints.ai_socktype = WS_SOCK_DGRAM;
    WS_ADDRINFOA* res = nullptr;
    if (api.getaddrinfo(name, nullptr, &hints, &res) != 0) return -1;
    char host[WS_NI_MAXHOST];
    std::uint16_t port = 0;
    int r = numeric_text(api, res->ai_addr, res->ai_addrlen, host, &port);
    EProtocol p = pmc_protocol_of(res->ai_family);
    api.freeaddrinfo(res);
    if (r) return r;
    int err = 0;
    *address = pmc_create_network_address_ex(host, p, port, &err);
    return err;
  }

  int service_port(const char* service, EProtocol protocol, std::uint16_t* port) override {
    if (!service || !port) return pms::kBadArgument;
    Startup s(true);
    if (s.result()) return s.result();
    const NPmcSocketAPI& api = *NPmcSocketAPI::get();
    WS_ADDRINFOA hints{};
    hints.ai_flags = WS_AI_PASSIVE;
    hints.ai_family = pmc_family_of(protocol);
    hints.ai_socktype = WS_SOCK_DGRAM;
    WS_ADDRINFOA* res = nullptr;
    if (api.getaddrinfo(nullptr, service, &hints, &res) != 0) return -1;
    char serv[WS_NI_MAXSERV];
    int r = api.getnameinfo(res->ai_addr, static_cast<int>(res->ai_addrlen), nullptr, 0, serv, sizeof serv,
                            WS_NI_NUMERICSERV);
    api.freeaddrinfo(res);
    if (r != 0) return -1;
    *port = static_cast<std::uint16_t>(std::strtoul(serv, nullptr, 10));
    return 0;
  }

 private:
  static WS_ADDRINFOA* numeric_lookup(const char* text) {
    WS_ADDRINFOA hints{};
    hints.ai_flags = WS_AI_PASSIVE | WS_AI_NUMERICHOST;
    hints.ai_socktype = WS_SOCK_DGRAM;
    WS_ADDRINFOA* res = nullptr;
    if (NPmcSocketAPI::get()->getaddrinfo(text, nullptr, &hints, &res) != 0) return nullptr;
    return res;
  }
};

int startup(WORD version, const char* text) {
  int r = pmc_socket_load_library();
  if (r) return r;
  WSADATA data;
  const NPmcSocketAPI& api = *NPmcSocketAPI::get();
  if (api.WSAStartup(version, &data) != 0) {
    g_log.log(kPmcLogError, "fail WSAStartup(%s). WSAGetLastError()=%d", text, api.WSAGetLastError());
    return -1;
  }
  return 0;
}

IPmcSocketAPI* object() { return g_object.load(std::memory_order_acquire); }

}  // namespace

int NPmcSocketAPI::set_api(HMODULE module) {
  g_log.log(kPmcLogTrace, "[%s] enter.", "NPmcSocketAPI::set_api");
  NPmcSocketAPI api;
  for (const Entry& e : kRequired) {
    FARPROC p = pmc_get_proc_address(module, e.name);
    if (!p) {
      g_log.log(kPmcLogError, "[NPmcSocketAPI::set_api] fail GetProcAddress \"%s\": GetLastError()=%d", e.name,
                static_cast<int>(GetLastError()));
      g_log.log(kPmcLogTrace, "[%s] exit.", "NPmcSocketAPI::set_api");
      return -1;
    }
    store(api, e, p);
  }
  api.has_address_info = true;
  for (const Entry& e : kOptional) {
    FARPROC p = pmc_get_proc_address(module, e.name);
    if (!p) {
      DWORD code = GetLastError();
      if (code == ERROR_MOD_NOT_FOUND || code == ERROR_PROC_NOT_FOUND) {
        api.has_address_info = false;
        api.getaddrinfo = nullptr;
        api.getnameinfo = nullptr;
        api.freeaddrinfo = nullptr;
        break;
      }
      g_log.log(kPmcLogError, "[NPmcSocketAPI::set_api] fail GetProcAddress \"%s\": GetLastError()=%d", e.name,
                static_cast<int>(code));
      return -1;
    }
    store(api, e, p);
  }
  g_api = api;
  g_bound.store(&g_api, std::memory_order_release);
  g_log.log(kPmcLogTrace, "[%s] exit.", "NPmcSocketAPI::set_api");
  return 0;
}

const NPmcSocketAPI* NPmcSocketAPI::get() { return g_bound.load(std::memory_order_acquire); }

int pmc_socket_load_library() {
  if (NPmcSocketAPI::get()) return 0;
  Guard g(g_module_lock);
  if (NPmcSocketAPI::get()) return 0;
  HMODULE m = pmc_load_system_library("ws2_32.dll", 0);
  if (!m) m = pmc_load_system_library("wsock32.dll", 0);
  if (!m) return pms::kCannotOpen;
  int r = NPmcSocketAPI::set_api(m);
  if (r) {
    pmc_free_system_library(m, 0);
    return r;
  }
  g_module = m;
  return 0;
}

bool pmc_socket_library_loaded() { return NPmcSocketAPI::get() != nullptr; }

bool pmc_socket_address_info_available() {
  return pmc_socket_load_library() == 0 && NPmcSocketAPI::get()->has_address_info;
}

int pmc_socket_startup_1_1() { return startup(MAKEWORD(1, 1), "1.1"); }
int pmc_socket_startup_2_2() { return startup(MAKEWORD(2, 2), "2.2"); }

void pmc_socket_cleanup() {
  if (const NPmcSocketAPI* api = NPmcSocketAPI::get()) api->WSACleanup();
}

int pmc_family_of(IPmcNetworkAddress::EProtocol protocol) {
  switch (protocol) {
    case IPmcNetworkAddress::kUnspecified: return WS_AF_UNSPEC;
    case IPmcNetworkAddress::kIPv4: return WS_AF_INET;
    case IPmcNetworkAddress::kIPX: return WS_AF_IPX;
    case IPmcNetworkAddress::kIPv6: return WS_AF_INET6;
    default: return static_cast<int>(protocol);
  }
}

IPmcNetworkAddress::EProtocol pmc_protocol_of(int family) {
  switch (family) {
    case WS_AF_INET: return IPmcNetworkAddress::kIPv4;
    case WS_AF_IPX: return IPmcNetworkAddress::kIPX;
    case WS_AF_INET6: return IPmcNetworkAddress::kIPv6;
    default: return IPmcNetworkAddress::kUnspecified;
  }
}

int pmc_get_socket_api() {
  if (object()) return 0;
  Guard g(g_object_lock);
  if (object()) return 0;
  IPmcSocketAPI* o;
  if (pmc_socket_address_info_available()) {
    o = new (std::nothrow) CPmcAddrInfoSocketAPI;
  } else {
    o = new (std::nothrow) CPmcLegacySocketAPI;
  }
  if (!o) return pms::kNoMemory;
  g_object.store(o, std::memory_order_release);
  return 0;
}

#define PMC_WITH_API(call)       \
  do {                           \
    int e = pmc_get_socket_api(); \
    if (e) return e;             \
    return object()->call;       \
  } while (0)

int pmc_socket_normalize_address(const char* text, PmsOwn<IPmsOctetBuffer>* host) {
  PMC_WITH_API(normalize(text, host));
}
int pmc_socket_get_address_protocol(const char* text, IPmcNetworkAddress::EProtocol* protocol) {
  PMC_WITH_API(address_protocol(text, protocol));
}
int pmc_socket_get_host_addresses(const char* name, PmsOwn<IPmsAddressList>* list) {
  PMC_WITH_API(host_addresses(name, list));
}
int pmc_socket_get_host_name(const char* text, PmsOwn<IPmsOctetBuffer>* host) { PMC_WITH_API(host_name(text, host)); }
int pmc_socket_get_local_host_address(IPmcNetworkAddress::EProtocol protocol, PmsOwn<IPmcNetworkAddress>* address) {
  PMC_WITH_API(local_host_address(protocol, address));
}
int pmc_socket_get_service_port(const char* service, IPmcNetworkAddress::EProtocol protocol, std::uint16_t* port) {
  PMC_WITH_API(service_port(service, protocol, port));
}
#undef PMC_WITH_API

int pmc_socket_is_valid_address(const char* text, bool* valid) {
  if (!valid) return pms::kBadArgument;
  IPmcNetworkAddress::EProtocol p = IPmcNetworkAddress::kUnspecified;
  int r = pmc_socket_get_address_protocol(text, &p);
  if (r) return r;
  *valid = p != IPmcNetworkAddress::kUnspecified;
  return 0;
}

int pmc_socket_is_same_host(const char* a, const char* b, bool* same) {
  if (!same) return pms::kBadArgument;
  PmsOwn<IPmsOctetBuffer> x, y;
  int r = pmc_socket_normalize_address(a, &x);
  if (r) return r;
  if ((r = pmc_socket_normalize_address(b, &y))) return r;
  *same = x->equals_buffer(y.get());
  return 0;
}

void pmc_socket_test_reset() {
  Guard g1(g_module_lock);
  Guard g2(g_object_lock);
  delete g_object.exchange(nullptr);
  g_bound.store(nullptr);
  if (g_module) pmc_free_system_library(g_module, 0);
  g_module = nullptr;
}
