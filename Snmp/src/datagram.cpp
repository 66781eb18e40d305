#include "snmp/datagram.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

#include "snmp/log.h"

namespace {

CPmcLogSessionHolder g_log("socket");
std::atomic<std::int32_t> g_request_id{-1};

using EProtocol = IPmcNetworkAddress::EProtocol;

constexpr int kSockAddrLen = 128;
constexpr std::uint32_t kLargestDatagram = 65535;

}  // namespace

std::int32_t pmc_next_request_id() { return g_request_id.fetch_add(1) + 1; }

int pmc_ipv6_text_to_bytes(const char* text, std::uint8_t out[16]) {
  if (!text) return pms::kBadArgument;
  std::string t(text);
  std::string work;
  std::size_t dc = t.find("::");
  if (dc != std::string::npos) {
    int colons = 0;
    for (char c : t)
      if (c == ':' && colons < 8) ++colons;
    static const char* const kMid[] = {":0:0:0:0:0:0:", ":0:0:0:0:0:", ":0:0:0:0:", ":0:0:0:", ":0:0:", ":0:", ":"};
    static const char* const kLead[] = {"0:0:0:0:0:0:0:", "0:0:0:0:0:0:", "0:0:0:0:0:", "0:0:0:0:", "0:0:0:", "0:0:", "0:"};
    if (colons < 2) return pms::kBadArgument;
    int k = colons - 2;
    work = dc == 0 ? std::string(kLead[k]) : t.substr(0, dc) + kMid[k];
    std::string rest = t.substr(dc + 2);
    if (rest.empty()) rest = "0";  // a text ending in "::" ends in a zero group
    work += rest;
  } else {
    work = t;
  }
  if (work.size() > 43) work.resize(43);
  unsigned v[8];
  char extra;
  if (std::sscanf(work.c_str(), "%x:%x:%x:%x:%x:%x:%x:%x%c", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7],
                  &extra) != 8)
    return pms::kBadArgument;
  for (int i = 0; i < 8; ++i) {
    out[2 * i] = static_cast<std::uint8_t>(v[i] >> 8);
    out[2 * i + 1] = static_cast<std::uint8_t>(v[i]);
  }
  return 0;
}

DataGramSocket::~DataGramSocket() {
  local_.reset();
  const NPmcSocketAPI* api = NPmcSocketAPI::get();
  if (handle_ != INVALID_SOCKET && api) api->closesocket(handle_);
  if (started_) pmc_socket_cleanup();
}

int DataGramSocket::start_up() {
  EProtocol p = local_->get_protocol();
  return p == IPmcNetworkAddress::kIPv6 ? pmc_socket_startup_2_2() : pmc_socket_startup_1_1();
}

int DataGramSocket::set_any_address(IPmcNetworkAddress* address) {
  switch (address->get_protocol()) {
    case IPmcNetworkAddress::kIPv4: return address->set_address("0.0.0.0");
    case IPmcNetworkAddress::kIPX: return address->set("00000000:000000000000", IPmcNetworkAddress::kIPX, 0);
    case IPmcNetworkAddress::kIPv6:
      return address->set("0000:0000:0000:0000:0000:0000:0000:0000", IPmcNetworkAddress::kIPv6, 0);
    default: return pms::kUnknownAddressForm;
  }
}

bool DataGramSocket::to_socket_address(WS_SOCKADDR_STORAGE& sa, int* length, const IPmcNetworkAddress* address) {
  std::memset(&sa, 0, sizeof sa);
  const NPmcSocketAPI& api = *NPmcSocketAPI::get();
  const char* text = address->host_text();
  if (!text) return false;
  *length = kSockAddrLen;
  switch (address->get_protocol()) {
    case IPmcNetworkAddress::kIPv4: {
      ULONG a = api.inet_addr(text);
      if (a == WS_INADDR_NONE && std::strncmp(text, "255.255.255.255", 15) != 0) return false;
      WS_SOCKADDR_IN in{};
      in.sin_family = WS_AF_INET;
      in.sin_port = api.htons(address->get_port());
      in.sin_addr.S_addr = a;
      std::memcpy(&sa, &in, sizeof in);
      return true;
    }
    case IPmcNetworkAddress::kIPv6: {
      char port[8];
      std::snprintf(port, sizeof port, "%d", address->get_port());
      WS_ADDRINFOA hints{};
      hints.ai_flags = WS_AI_PASSIVE;
      hints.ai_socktype = WS_SOCK_DGRAM;
      WS_ADDRINFOA* res = nullptr;
      if (!api.getaddrinfo || api.getaddrinfo(text, port, &hints, &res) != 0) return false;
      std::memcpy(&sa, res->ai_addr, std::min<std::size_t>(res->ai_addrlen, sizeof sa));
      api.freeaddrinfo(res);
      return true;
    }
    default:
      return false;  // IPX: the system has no IPX sockets to address
  }
}

bool DataGramSocket::from_socket_address(const WS_SOCKADDR_STORAGE& sa, IPmcNetworkAddress* address) {
  const NPmcSocketAPI& api = *NPmcSocketAPI::get();
  if (sa.ss_family == WS_AF_INET && local_->get_protocol() == IPmcNetworkAddress::kIPv4) {
    WS_SOCKADDR_IN in;
    std::memcpy(&in, &sa, sizeof in);
    const char* t = api.inet_ntoa(in.sin_addr);
    if (!t || address->set_address(t) != 0) return false;
    address->set_port(api.ntohs(in.sin_port));
    address->set_protocol(IPmcNetworkAddress::kIPv4);
    return true;
  }
  if (!api.getnameinfo) return false;
  int len = sa.ss_family == WS_AF_INET ? 16 : sa.ss_family == WS_AF_INET6 ? 28 : kSockAddrLen;
  char host[WS_NI_MAXHOST], serv[WS_NI_MAXSERV];
  if (api.getnameinfo(reinterpret_cast<const WS_SOCKADDR*>(&sa), len, host, sizeof host, serv, sizeof serv,
                      WS_NI_NUMERICHOST | WS_NI_NUMERICSERV) != 0)
    return false;
  EProtocol p = pmc_protocol_of(sa.ss_family);
  if (address->set(host, p, 0) != 0) return false;
  address->set_protocol(p);
  address->set_port(static_cast<std::uint16_t>(std::strtoul(serv, nullptr, 10)));
  return true;
}

int DataGramSocket::open() {
  int r = start_up();
  if (r) return r;
  started_ = true;
  const NPmcSocketAPI& api = *NPmcSocketAPI::get();
  EProtocol p = local_->get_protocol();
  int family = pmc_family_of(p);
  handle_ = p == IPmcNetworkAddress::kIPX ? api.socket(WS_AF_IPX, WS_SOCK_DGRAM, WS_NSPROTO_IPX)
                                          : api.socket(family, WS_SOCK_DGRAM, 0);
  if (handle_ == INVALID_SOCKET) {
    g_log.log(kPmcLogError, "fail socket(). WSAGetLastError()=%d", api.WSAGetLastError());
    return pms::kSocketFailed;
  }
  WS_SOCKADDR_STORAGE sa;
  int len = 0;
  if (!to_socket_address(sa, &len, local_.get())) return pms::kBindFailed;
  int bind_len = family == WS_AF_INET6 ? static_cast<int>(sizeof(WS_SOCKADDR_IN6)) : len;
  if (api.bind(handle_, reinterpret_cast<WS_SOCKADDR*>(&sa), bind_len) != 0) {
    g_log.log(kPmcLogError, "fail bind(). WSAGetLastError()=%d", api.WSAGetLastError());
    return pms::kBindFailed;
  }
  WS_SOCKADDR_STORAGE bound;
  len = kSockAddrLen;
  if (api.getsockname(handle_, reinterpret_cast<WS_SOCKADDR*>(&bound), &len) != 0 ||
      !from_socket_address(bound, local_.get()))
    return -1;
  g_log.log(kPmcLogDebug, "create socket. id:0x%x port:%d(0x%x)", static_cast<unsigned>(handle_),
            local_->get_port(), local_->get_port());
  return 0;
}

int pmc_create_datagram_socket(IPmcNetworkAddress::EProtocol protocol, PmsOwn<DataGramSocket>* out) {
  return pmc_create_bound_datagram_socket(protocol, 0, out);
}

int pmc_create_bound_datagram_socket(IPmcNetworkAddress::EProtocol protocol, std::uint16_t port,
                                     PmsOwn<DataGramSocket>* out) {
  if (!out) return pms::kBadArgument;
  out->reset();
  if (protocol != IPmcNetworkAddress::kIPv4 && protocol != IPmcNetworkAddress::kIPX &&
      protocol != IPmcNetworkAddress::kIPv6)
    return pms::kBadArgument;
  int r = pmc_socket_load_library();
  if (r) return r;
  PmsOwn<DataGramSocket> s(new (std::nothrow) DataGramSocket);
  if (!s) return pms::kNoMemory;
  s->local_ = pmc_create_network_address(&r);
  if (!s->local_) return pms::kNoMemory;
  s->local_->set_protocol(protocol);
  s->local_->set_port(port);
  if ((r = s->set_any_address(s->local_.get()))) return r;
  if ((r = s->open())) return r;
  *out = std::move(s);
  return 0;
}

int DataGramSocket::send(const std::uint8_t* bytes, std::uint32_t size, const IPmcNetworkAddress* destination) {
  if (!bytes || !destination) return pms::kBadArgument;
  g_log.log(kPmcLogDebug, "[DataGramSocket::send] send packet. port:%d(0x%x) -> %s:%d(0x%x).", local_->get_port(),
            local_->get_port(), destination->host_text() ? destination->host_text() : "", destination->get_port(),
            destination->get_port());
  WS_SOCKADDR_STORAGE sa;
  int len = 0;
  if (!to_socket_address(sa, &len, destination)) return pms::kBadArgument;
  if (sa.ss_family == WS_AF_INET) len = sizeof(WS_SOCKADDR_IN);
  if (sa.ss_family == WS_AF_INET6) len = sizeof(WS_SOCKADDR_IN6);
  const NPmcSocketAPI& api = *NPmcSocketAPI::get();
  int n = api.sendto(handle_, reinterpret_cast<const char*>(bytes), static_cast<int>(size), 0,
                     reinterpret_cast<WS_SOCKADDR*>(&sa), len);
  if (n == SOCKET_ERROR) {
    g_log.log(kPmcLogError, "fail send(). WSAGetLastError()=%d", api.WSAGetLastError());
    return pms::kSendFailed;
  }
  if (static_cast<std::uint32_t>(n) < size)
    g_log.log(kPmcLogWarn, "send(). size of sended bytes is not same that of buffer.");
  return 0;
}

int DataGramSocket::receive(std::uint8_t* buffer, std::uint32_t size, std::int32_t timeout_ms, std::uint32_t* count,
                            PmsOwn<IPmcNetworkAddress>* sender) {
  if (!buffer || !count || !sender) return pms::kBadArgument;
  sender->reset();
  const NPmcSocketAPI& api = *NPmcSocketAPI::get();
  WS_FD_SET set;
  WS_FD_ZERO(&set);
  WS_FD_SET_ADD(handle_, &set);
  WS_TIMEVAL tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  int n = api.select(0, &set, nullptr, nullptr, timeout_ms < 0 ? nullptr : &tv);
  if (n == SOCKET_ERROR) {
    g_log.log(kPmcLogError, "fail select(). WSAGetLastError()=%d", api.WSAGetLastError());
    return pms::kReceiveFailed;
  }
  if (n == 0) {
    g_log.log(kPmcLogTrace, "select API timeout.");
    return pms::kTimeout;
  }
  WS_SOCKADDR_STORAGE from{};
  int from_len = kSockAddrLen;
  int got = api.recvfrom(handle_, reinterpret_cast<char*>(buffer), static_cast<int>(size), 0,
                         reinterpret_cast<WS_SOCKADDR*>(&from), &from_len);
  if (got < 0) {
    g_log.log(kPmcLogError, "fail recvfrom(). WSAGetLastError()=%d", api.WSAGetLastError());
    return pms::kReceiveFailed;
  }
  *count = static_cast<std::uint32_t>(got);
  int err = 0;
  auto address = pmc_create_network_address(&err);
  if (!address) return pms::kNoMemory;
  if (!from_socket_address(from, address.get())) {
    g_log.log(kPmcLogError, "[DataGramSocket::receive] fail create CPmcNetworkAddress ( success recvfrom() ).");
    return -1;
  }
  g_log.log(kPmcLogDebug, "[DataGramSocket::receive] receive packet port:%d(0x%x) <- %s:%d(0x%x).",
            local_->get_port(), local_->get_port(), address->host_text(), address->get_port(), address->get_port());
  *sender = std::move(address);
  return 0;
}

int DataGramSocket::set_broadcast(bool on) {
  EProtocol p = local_->get_protocol();
  if (p != IPmcNetworkAddress::kIPv4 && p != IPmcNetworkAddress::kIPX) return 0;
  const NPmcSocketAPI& api = *NPmcSocketAPI::get();
  DWORD flag = on ? 1 : 0;
  if (api.setsockopt(handle_, WS_SOL_SOCKET, WS_SO_BROADCAST, reinterpret_cast<const char*>(&flag), sizeof flag) !=
      0) {
    g_log.log(kPmcLogError, "fail setsockopt(). can't set broadcast flag. WSAGetLastError()=%d",
              api.WSAGetLastError());
    return -1;
  }
  return 0;
}

int DataGramSocket::join_multicast(const char* group) {
  const NPmcSocketAPI& api = *NPmcSocketAPI::get();
  EProtocol p = local_->get_protocol();
  int r;
  if (p == IPmcNetworkAddress::kIPv4) {
    ULONG a = group ? api.inet_addr(group) : WS_INADDR_NONE;
    if (a == WS_INADDR_NONE && (!group || std::strncmp(group, "255.255.255.255", 15) != 0)) {
      g_log.log(kPmcLogError, "fail inet_addr(). WSAGetLastError()=%d", api.WSAGetLastError());
      return -1;
    }
    std::uint8_t req[8] = {};
    std::memcpy(req, &a, 4);
    r = api.setsockopt(handle_, WS_IPPROTO_IP, WS_IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(req), 8);
  } else if (p == IPmcNetworkAddress::kIPv6) {
    std::uint8_t req[20] = {};
    if (pmc_ipv6_text_to_bytes(group, req) != 0) return pms::kBadArgument;
    r = api.setsockopt(handle_, WS_IPPROTO_IPV6, WS_IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(req), 20);
  } else {
    return pms::kBadArgument;
  }
  if (r != 0) {
    g_log.log(kPmcLogError, "fail setsockopt(). can't set multicast flag. WSAGetLastError()=%d",
              api.WSAGetLastError());
    return -1;
  }
  return 0;
}

int DataGramChannel::open(IPmcNetworkAddress::EProtocol protocol, std::uint16_t port) {
  socket_.reset();
  return pmc_create_bound_datagram_socket(protocol, port, &socket_);
}

std::unique_ptr<CPmcMessageBuffer> DataGramChannel::encode(IPmsPdu* pdu, IPmsSnmpTarget* target,
                                                           std::uint32_t* count, int* err) {
  std::unique_ptr<CPmcMessageBuffer> buf(new (std::nothrow) CPmcMessageBuffer);
  if (!buf) {
    pms::set_err(err, pms::kNoMemory);
    return nullptr;
  }
  if (pdu) pdu->set_request_id(pmc_next_request_id());
  std::uint32_t n = 0;
  int r = pms_get_stream_registry()->encode(pdu, target, buf.get(), &n);
  if (count) *count = n;
  pms::set_err(err, r);
  if (r) buf.reset();
  return buf;
}

int DataGramChannel::send(const CPmcMessageBuffer& message, const IPmcNetworkAddress* destination) {
  if (!socket_) return pms::kBadArgument;
  return socket_->send(message.message(), message.remaining(), destination);
}

std::unique_ptr<CPmcMessageBuffer> DataGramChannel::receive(std::int32_t timeout_ms,
                                                            PmsOwn<IPmcNetworkAddress>* sender, int* err) {
  if (!socket_) {
    pms::set_err(err, pms::kBadArgument);
    return nullptr;
  }
  // A block for the largest datagram, so that no answer is ever cut; the
  // message then gets a block of its own length.
  if (scratch_.size() < kLargestDatagram) {
    try {
      scratch_.resize(kLargestDatagram);
    } catch (const std::bad_alloc&) {
      pms::set_err(err, pms::kNoMemory);
      return nullptr;
    }
  }
  std::uint32_t n = 0;
  int r = socket_->receive(scratch_.data(), kLargestDatagram, timeout_ms, &n, sender);
  if (r) {
    pms::set_err(err, r);
    return nullptr;
  }
  std::unique_ptr<CPmcMessageBuffer> buf(new (std::nothrow) CPmcMessageBuffer);
  if (!buf || buf->assign(scratch_.data(), n) != 0) {
    pms::set_err(err, pms::kNoMemory);
    return nullptr;
  }
  pms::set_err(err, 0);
  return buf;
}

int DataGramChannel::decode(const CPmcMessageBuffer& message, IPmsPdu* pdu, IPmsSnmpTarget* target) {
  return pms_get_stream_registry()->decode(&message, pdu, target, kPmsSenderNone);
}
