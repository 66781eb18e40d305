// WinSock 2 stand-in over POSIX sockets.
//
// Behaviour kept from the real library, where programs rely on it:
// - WSAStartup is reference counted; most calls made without it fail with
//   WSANOTINITIALISED.
// - A datagram larger than the receive buffer fills the buffer and fails
//   with WSAEMSGSIZE (the rest is discarded), found through MSG_TRUNC.
// - Windows constants are translated both ways; AF_IPX is refused with
//   WSAEAFNOSUPPORT because the kernel has no IPX.
// - gethostbyname, gethostbyaddr, getservbyname and inet_ntoa return
//   per-thread storage that the next call of the same thread overwrites.
#include "win/winsock.h"

#include "win/modules.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

std::atomic<int> g_startups{0};
std::atomic<bool> g_fail_startup{false};
thread_local int t_wsa_error = 0;

void set_error(int e) { t_wsa_error = e; }

int wsa_from_errno(int e) {
  switch (e) {
    case EINTR: return WSAEINTR;
    case EBADF: return WSAENOTSOCK;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAEWOULDBLOCK;
    case EINPROGRESS: return WSAEWOULDBLOCK;  // a connect in progress, as Windows reports it
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET: return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    default: return WSAEINVAL;
  }
}

int fail_errno() {
  set_error(wsa_from_errno(errno));
  return SOCKET_ERROR;
}

int wsa_from_eai(int e) {
  switch (e) {
    case EAI_NONAME: return WSAHOST_NOT_FOUND;
#ifdef EAI_NODATA
    case EAI_NODATA: return WSANO_DATA;
#endif
    case EAI_AGAIN: return WSATRY_AGAIN;
    case EAI_FAIL: return WSANO_RECOVERY;
    case EAI_FAMILY: return WSAEAFNOSUPPORT;
    case EAI_MEMORY: return 8;  // WSA_NOT_ENOUGH_MEMORY
    case EAI_SERVICE: return WSATYPE_NOT_FOUND;
    case EAI_SOCKTYPE: return WSAESOCKTNOSUPPORT;
    case EAI_BADFLAGS: return WSAEINVAL;
    case EAI_SYSTEM: return wsa_from_errno(errno);
    default: return WSANO_RECOVERY;
  }
}

bool started() {
  if (g_startups.load() > 0) return true;
  set_error(WSANOTINITIALISED);
  return false;
}

int fd_of(SOCKET s) {
  return (s == INVALID_SOCKET || s > static_cast<SOCKET>(0x7FFFFFFF)) ? -1 : static_cast<int>(s);
}

// Windows family -> Linux family; -1 when there is none.
int family_to_posix(int af) {
  switch (af) {
    case WS_AF_UNSPEC: return AF_UNSPEC;
    case WS_AF_INET: return AF_INET;
    case WS_AF_INET6: return AF_INET6;
    default: return -1;
  }
}
int family_from_posix(int af) {
  switch (af) {
    case AF_INET: return WS_AF_INET;
    case AF_INET6: return WS_AF_INET6;
    default: return af == AF_UNSPEC ? WS_AF_UNSPEC : -1;
  }
}

// Windows address -> POSIX address. False (and the error set) when the
// address is short, null or of a family the kernel lacks.
bool addr_to_posix(const WS_SOCKADDR* in, int len, sockaddr_storage& out, socklen_t& out_len) {
  std::memset(&out, 0, sizeof out);
  if (!in || len < static_cast<int>(sizeof(USHORT))) {
    set_error(WSAEFAULT);
    return false;
  }
  USHORT family;
  std::memcpy(&family, in, sizeof family);
  if (family == WS_AF_INET) {
    if (len < static_cast<int>(sizeof(WS_SOCKADDR_IN))) {
      set_error(WSAEFAULT);
      return false;
    }
    WS_SOCKADDR_IN w;
    std::memcpy(&w, in, sizeof w);
    auto* p = reinterpret_cast<sockaddr_in*>(&out);
    p->sin_family = AF_INET;
    p->sin_port = w.sin_port;
    p->sin_addr.s_addr = w.sin_addr.S_addr;
    out_len = sizeof(sockaddr_in);
    return true;
  }
  if (family == WS_AF_INET6) {
    if (len < static_cast<int>(sizeof(WS_SOCKADDR_IN6))) {
      set_error(WSAEFAULT);
      return false;
    }
    WS_SOCKADDR_IN6 w;
    std::memcpy(&w, in, sizeof w);
    auto* p = reinterpret_cast<sockaddr_in6*>(&out);
    p->sin6_family = AF_INET6;
    p->sin6_port = w.sin6_port;
    p->sin6_flowinfo = w.sin6_flowinfo;
    std::memcpy(&p->sin6_addr, w.sin6_addr, 16);
    p->sin6_scope_id = w.sin6_scope_id;
    out_len = sizeof(sockaddr_in6);
    return true;
  }
  set_error(WSAEAFNOSUPPORT);
  return false;
}

// POSIX address -> Windows address in a buffer of *len bytes; *len gets the
// full size. False with WSAEFAULT when the buffer is too small.
bool addr_from_posix(const sockaddr* in, WS_SOCKADDR* out, int* len) {
  if (!out || !len) return true;  // the caller does not want the address
  if (in->sa_family == AF_INET) {
    const auto* p = reinterpret_cast<const sockaddr_in*>(in);
    WS_SOCKADDR_IN w{};
    w.sin_family = WS_AF_INET;
    w.sin_port = p->sin_port;
    w.sin_addr.S_addr = p->sin_addr.s_addr;
    if (*len < static_cast<int>(sizeof w)) {
      set_error(WSAEFAULT);
      return false;
    }
    std::memcpy(out, &w, sizeof w);
    *len = sizeof w;
    return true;
  }
  if (in->sa_family == AF_INET6) {
    const auto* p = reinterpret_cast<const sockaddr_in6*>(in);
    WS_SOCKADDR_IN6 w{};
    w.sin6_family = WS_AF_INET6;
    w.sin6_port = p->sin6_port;
    w.sin6_flowinfo = p->sin6_flowinfo;
    std::memcpy(w.sin6_addr, &p->sin6_addr, 16);
    w.sin6_scope_id = p->sin6_scope_id;
    if (*len < static_cast<int>(sizeof w)) {
      set_error(WSAEFAULT);
      return false;
    }
    std::memcpy(out, &w, sizeof w);
    *len = sizeof w;
    return true;
  }
  set_error(WSAEAFNOSUPPORT);
  return false;
}

// ---- start-up and errors --------------------------------------------------

int WSAStartup_(WORD version, LPWSADATA data) {
  if (!data) return WSAEFAULT;
  if (g_fail_startup.load()) return WSASYSNOTREADY;
  BYTE major = LOBYTE(version), minor = HIBYTE(version);
  if (major < 1 || (major == 1 && minor < 1)) return WSAVERNOTSUPPORTED;
  std::memset(data, 0, sizeof *data);
  WORD got = (major > 2 || (major == 2 && minor >= 2)) ? MAKEWORD(2, 2) : version;
  data->wVersion = got;
  data->wHighVersion = MAKEWORD(2, 2);
  std::strcpy(data->szDescription, "WinSock 2.0");
  std::strcpy(data->szSystemStatus, "Running");
  g_startups.fetch_add(1);
  return 0;
}

int WSACleanup_() {
  int n = g_startups.load();
  while (n > 0 && !g_startups.compare_exchange_weak(n, n - 1)) {
  }
  if (n <= 0) {
    set_error(WSANOTINITIALISED);
    return SOCKET_ERROR;
  }
  return 0;
}

int WSAGetLastError_() { return t_wsa_error; }
void WSASetLastError_(int e) { t_wsa_error = e; }

// ---- sockets ----------------------------------------------------------------

SOCKET socket_(int af, int type, int protocol) {
  if (!started()) return INVALID_SOCKET;
  if (af == WS_AF_IPX) {
    set_error(WSAEAFNOSUPPORT);
    return INVALID_SOCKET;
  }
  int paf = family_to_posix(af);
  if (paf < 0 || paf == AF_UNSPEC) {
    set_error(WSAEAFNOSUPPORT);
    return INVALID_SOCKET;
  }
  int ptype = type == WS_SOCK_DGRAM ? SOCK_DGRAM : type == WS_SOCK_STREAM ? SOCK_STREAM : -1;
  if (ptype < 0) {
    set_error(WSAESOCKTNOSUPPORT);
    return INVALID_SOCKET;
  }
  int fd = ::socket(paf, ptype | SOCK_CLOEXEC, protocol);
  if (fd < 0) {
    fail_errno();
    return INVALID_SOCKET;
  }
  return static_cast<SOCKET>(fd);
}

int closesocket_(SOCKET s) {
  int fd = fd_of(s);
  if (fd < 0) {
    set_error(WSAENOTSOCK);
    return SOCKET_ERROR;
  }
  return ::close(fd) == 0 ? 0 : fail_errno();
}

int bind_(SOCKET s, const WS_SOCKADDR* name, int namelen) {
  sockaddr_storage ss;
  socklen_t len;
  if (!addr_to_posix(name, namelen, ss, len)) return SOCKET_ERROR;
  return ::bind(fd_of(s), reinterpret_cast<sockaddr*>(&ss), len) == 0 ? 0 : fail_errno();
}

int connect_(SOCKET s, const WS_SOCKADDR* name, int namelen) {
  sockaddr_storage ss;
  socklen_t len;
  if (!addr_to_posix(name, namelen, ss, len)) return SOCKET_ERROR;
  return ::connect(fd_of(s), reinterpret_cast<sockaddr*>(&ss), len) == 0 ? 0 : fail_errno();
}

int listen_(SOCKET s, int backlog) { return ::listen(fd_of(s), backlog) == 0 ? 0 : fail_errno(); }

SOCKET accept_(SOCKET s, WS_SOCKADDR* addr, int* addrlen) {
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  int fd = ::accept4(fd_of(s), reinterpret_cast<sockaddr*>(&ss), &len, SOCK_CLOEXEC);
  if (fd < 0) {
    fail_errno();
    return INVALID_SOCKET;
  }
  if (!addr_from_posix(reinterpret_cast<sockaddr*>(&ss), addr, addrlen)) {
    ::close(fd);
    return INVALID_SOCKET;
  }
  return static_cast<SOCKET>(fd);
}

int getsockname_(SOCKET s, WS_SOCKADDR* name, int* namelen) {
  if (!name || !namelen) {
    set_error(WSAEFAULT);
    return SOCKET_ERROR;
  }
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  if (::getsockname(fd_of(s), reinterpret_cast<sockaddr*>(&ss), &len) != 0) return fail_errno();
  return addr_from_posix(reinterpret_cast<sockaddr*>(&ss), name, namelen) ? 0 : SOCKET_ERROR;
}

int posix_flags(int flags) {
  int f = 0;
  if (flags & WS_MSG_PEEK) f |= MSG_PEEK;
  if (flags & 0x1) f |= MSG_OOB;
  if (flags & 0x4) f |= MSG_DONTROUTE;
  return f;
}

int sendto_(SOCKET s, const char* buf, int len, int flags, const WS_SOCKADDR* to, int tolen) {
  if (len < 0 || (len > 0 && !buf)) {
    set_error(WSAEFAULT);
    return SOCKET_ERROR;
  }
  ssize_t n;
  if (to) {
    sockaddr_storage ss;
    socklen_t sl;
    if (!addr_to_posix(to, tolen, ss, sl)) return SOCKET_ERROR;
    n = ::sendto(fd_of(s), buf, static_cast<size_t>(len), posix_flags(flags) | MSG_NOSIGNAL,
                 reinterpret_cast<sockaddr*>(&ss), sl);
  } else {
    n = ::send(fd_of(s), buf, static_cast<size_t>(len), posix_flags(flags) | MSG_NOSIGNAL);
  }
  return n < 0 ? fail_errno() : static_cast<int>(n);
}

int send_(SOCKET s, const char* buf, int len, int flags) { return sendto_(s, buf, len, flags, nullptr, 0); }

int recvfrom_(SOCKET s, char* buf, int len, int flags, WS_SOCKADDR* from, int* fromlen) {
  if (len < 0 || (len > 0 && !buf) || (from && !fromlen)) {
    set_error(WSAEFAULT);
    return SOCKET_ERROR;
  }
  sockaddr_storage ss{};
  socklen_t sl = sizeof ss;
  int type = 0;
  socklen_t tl = sizeof type;
  ::getsockopt(fd_of(s), SOL_SOCKET, SO_TYPE, &type, &tl);
  int pflags = posix_flags(flags) | (type == SOCK_DGRAM ? MSG_TRUNC : 0);
  ssize_t n = ::recvfrom(fd_of(s), buf, static_cast<size_t>(len), pflags, reinterpret_cast<sockaddr*>(&ss), &sl);
  if (n < 0) return fail_errno();
  if (from && sl > 0 && !addr_from_posix(reinterpret_cast<sockaddr*>(&ss), from, fromlen)) return SOCKET_ERROR;
  if (type == SOCK_DGRAM && n > len) {
    // The buffer holds the first len bytes; the rest of the datagram is gone.
    set_error(WSAEMSGSIZE);
    return SOCKET_ERROR;
  }
  return static_cast<int>(n);
}

int recv_(SOCKET s, char* buf, int len, int flags) { return recvfrom_(s, buf, len, flags, nullptr, nullptr); }

int ioctlsocket_(SOCKET s, LONG cmd, ULONG* argp) {
  if (!argp) {
    set_error(WSAEFAULT);
    return SOCKET_ERROR;
  }
  int fd = fd_of(s);
  if (cmd == WS_FIONBIO) {
    int fl = ::fcntl(fd, F_GETFL);
    if (fl < 0) return fail_errno();
    fl = *argp ? (fl | O_NONBLOCK) : (fl & ~O_NONBLOCK);
    return ::fcntl(fd, F_SETFL, fl) == 0 ? 0 : fail_errno();
  }
  if (cmd == WS_FIONREAD) {
    int n = 0;
    if (::ioctl(fd, FIONREAD, &n) != 0) return fail_errno();
    *argp = static_cast<ULONG>(n);
    return 0;
  }
  set_error(WSAEINVAL);
  return SOCKET_ERROR;
}

// Socket options: Windows (level, name) -> POSIX.
struct OptionMap {
  int ws_level, ws_name, level, name;
  bool is_timeout;
};
const OptionMap kOptions[] = {
    {WS_SOL_SOCKET, WS_SO_REUSEADDR, SOL_SOCKET, SO_REUSEADDR, false},
    {WS_SOL_SOCKET, WS_SO_KEEPALIVE, SOL_SOCKET, SO_KEEPALIVE, false},
    {WS_SOL_SOCKET, WS_SO_BROADCAST, SOL_SOCKET, SO_BROADCAST, false},
    {WS_SOL_SOCKET, WS_SO_SNDBUF, SOL_SOCKET, SO_SNDBUF, false},
    {WS_SOL_SOCKET, WS_SO_RCVBUF, SOL_SOCKET, SO_RCVBUF, false},
    {WS_SOL_SOCKET, WS_SO_SNDTIMEO, SOL_SOCKET, SO_SNDTIMEO, true},
    {WS_SOL_SOCKET, WS_SO_RCVTIMEO, SOL_SOCKET, SO_RCVTIMEO, true},
    {WS_SOL_SOCKET, WS_SO_ERROR, SOL_SOCKET, SO_ERROR, false},
    {WS_SOL_SOCKET, WS_SO_TYPE, SOL_SOCKET, SO_TYPE, false},
    {WS_IPPROTO_IPV6, WS_IPV6_V6ONLY, IPPROTO_IPV6, IPV6_V6ONLY, false},
};

const OptionMap* find_option(int level, int name) {
  for (const auto& o : kOptions)
    if (o.ws_level == level && o.ws_name == name) return &o;
  set_error(WSAENOPROTOOPT);
  return nullptr;
}

int setsockopt_(SOCKET s, int level, int optname, const char* optval, int optlen) {
  // Group memberships: the request records have the same layout on both
  // sides ({group, interface}: 8 bytes for IPv4, 20 for IPv6).
  if ((level == WS_IPPROTO_IP || level == WS_IPPROTO_IPV6) && optname == WS_IP_ADD_MEMBERSHIP) {
    bool v6 = level == WS_IPPROTO_IPV6;
    int need = v6 ? 20 : 8;
    if (!optval || optlen < need) {
      set_error(WSAEFAULT);
      return SOCKET_ERROR;
    }
    int r = v6 ? ::setsockopt(fd_of(s), IPPROTO_IPV6, IPV6_ADD_MEMBERSHIP, optval, static_cast<socklen_t>(need))
               : ::setsockopt(fd_of(s), IPPROTO_IP, IP_ADD_MEMBERSHIP, optval, static_cast<socklen_t>(need));
    return r == 0 ? 0 : fail_errno();
  }
  const OptionMap* o = find_option(level, optname);
  if (!o) return SOCKET_ERROR;
  if (!optval || optlen < static_cast<int>(sizeof(DWORD))) {
    set_error(WSAEFAULT);
    return SOCKET_ERROR;
  }
  DWORD v;
  std::memcpy(&v, optval, sizeof v);
  int r;
  if (o->is_timeout) {  // milliseconds on Windows
    timeval tv{static_cast<time_t>(v / 1000), static_cast<suseconds_t>((v % 1000) * 1000)};
    r = ::setsockopt(fd_of(s), o->level, o->name, &tv, sizeof tv);
  } else {
    int iv = static_cast<int>(v);
    r = ::setsockopt(fd_of(s), o->level, o->name, &iv, sizeof iv);
  }
  return r == 0 ? 0 : fail_errno();
}

int getsockopt_(SOCKET s, int level, int optname, char* optval, int* optlen) {
  const OptionMap* o = find_option(level, optname);
  if (!o) return SOCKET_ERROR;
  if (!optval || !optlen || *optlen < static_cast<int>(sizeof(DWORD))) {
    set_error(WSAEFAULT);
    return SOCKET_ERROR;
  }
  DWORD v;
  if (o->is_timeout) {
    timeval tv{};
    socklen_t l = sizeof tv;
    if (::getsockopt(fd_of(s), o->level, o->name, &tv, &l) != 0) return fail_errno();
    v = static_cast<DWORD>(tv.tv_sec * 1000 + tv.tv_usec / 1000);
  } else {
    int iv = 0;
    socklen_t l = sizeof iv;
    if (::getsockopt(fd_of(s), o->level, o->name, &iv, &l) != 0) return fail_errno();
    if (o->name == SO_ERROR) iv = iv ? wsa_from_errno(iv) : 0;
    if (o->name == SO_TYPE) iv = iv == SOCK_DGRAM ? WS_SOCK_DGRAM : WS_SOCK_STREAM;
    v = static_cast<DWORD>(iv);
  }
  std::memcpy(optval, &v, sizeof v);
  *optlen = sizeof v;
  return 0;
}

// select over poll(): no FD_SETSIZE limit on descriptor numbers, and the
// sets are rewritten to hold the ready sockets, as Windows does.
int select_(int, WS_FD_SET* readfds, WS_FD_SET* writefds, WS_FD_SET* exceptfds, const WS_TIMEVAL* timeout) {
  std::vector<pollfd> fds;
  auto add = [&](WS_FD_SET* set, short events) {
    if (!set) return;
    for (UINT i = 0; i < set->fd_count && i < WS_FD_SETSIZE; ++i) fds.push_back({fd_of(set->fd_array[i]), events, 0});
  };
  add(readfds, POLLIN);
  add(writefds, POLLOUT);
  add(exceptfds, POLLPRI);
  if (fds.empty()) {
    set_error(WSAEINVAL);
    return SOCKET_ERROR;
  }
  for (const auto& p : fds) {
    if (p.fd < 0 || ::fcntl(p.fd, F_GETFD) < 0) {
      set_error(WSAENOTSOCK);
      return SOCKET_ERROR;
    }
  }
  int ms = -1;
  if (timeout) {
    long long t = static_cast<long long>(timeout->tv_sec) * 1000 + (timeout->tv_usec + 999) / 1000;
    ms = t < 0 ? 0 : t > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(t);
  }
  int r;
  do {
    r = ::poll(fds.data(), fds.size(), ms);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return fail_errno();
  std::size_t k = 0;
  int total = 0;
  auto keep = [&](WS_FD_SET* set, short ready_mask) {
    if (!set) return;
    UINT out = 0;
    UINT n = set->fd_count < WS_FD_SETSIZE ? set->fd_count : WS_FD_SETSIZE;
    for (UINT i = 0; i < n; ++i, ++k)
      if (fds[k].revents & ready_mask) set->fd_array[out++] = set->fd_array[i];
    set->fd_count = out;
    total += static_cast<int>(out);
  };
  keep(readfds, POLLIN | POLLHUP | POLLERR);
  keep(writefds, POLLOUT | POLLERR);
  keep(exceptfds, POLLPRI);
  return total;
}

int WSAFDIsSet_(SOCKET s, WS_FD_SET* set) {
  if (!set) return 0;
  for (UINT i = 0; i < set->fd_count && i < WS_FD_SETSIZE; ++i)
    if (set->fd_array[i] == s) return 1;
  return 0;
}

USHORT htons_(USHORT v) { return htons(v); }
USHORT ntohs_(USHORT v) { return ntohs(v); }
ULONG htonl_(ULONG v) { return htonl(v); }
ULONG ntohl_(ULONG v) { return ntohl(v); }

ULONG inet_addr_(const char* text) {
  if (!text) return WS_INADDR_NONE;
  in_addr a{};
  if (::inet_aton(text, &a) == 0) return WS_INADDR_NONE;
  return a.s_addr;
}

thread_local char t_ntoa[16];
char* inet_ntoa_(WS_IN_ADDR in) {
  in_addr a{};
  a.s_addr = in.S_addr;
  if (!::inet_ntop(AF_INET, &a, t_ntoa, sizeof t_ntoa)) return nullptr;
  return t_ntoa;
}

int gethostname_(char* name, int namelen) {
  if (!started()) return SOCKET_ERROR;
  char tmp[256];
  if (::gethostname(tmp, sizeof tmp) != 0) return fail_errno();
  tmp[sizeof tmp - 1] = 0;
  if (!name || namelen <= static_cast<int>(std::strlen(tmp))) {
    set_error(WSAEFAULT);
    return SOCKET_ERROR;
  }
  std::strcpy(name, tmp);
  return 0;
}

// Per-thread storage behind the hostent and servent that Windows returns.
struct HostStore {
  WS_HOSTENT ent{};
  std::string name;
  std::vector<std::string> addrs;
  std::vector<char*> addr_ptrs;
  char* no_aliases[1] = {nullptr};
};
thread_local HostStore t_host;

WS_HOSTENT* fill_host(const std::string& name, const std::vector<std::string>& addrs) {
  HostStore& h = t_host;
  h.name = name;
  h.addrs = addrs;
  h.addr_ptrs.clear();
  for (auto& a : h.addrs) h.addr_ptrs.push_back(a.data());
  h.addr_ptrs.push_back(nullptr);
  h.ent.h_name = h.name.data();
  h.ent.h_aliases = h.no_aliases;
  h.ent.h_addrtype = WS_AF_INET;
  h.ent.h_length = 4;
  h.ent.h_addr_list = h.addr_ptrs.data();
  return &h.ent;
}

WS_HOSTENT* gethostbyname_(const char* name) {
  if (!started()) return nullptr;
  if (!name) {
    set_error(WSAEFAULT);
    return nullptr;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* res = nullptr;
  int e = ::getaddrinfo(name, nullptr, &hints, &res);
  if (e != 0) {
    set_error(wsa_from_eai(e));
    return nullptr;
  }
  std::vector<std::string> addrs;
  for (addrinfo* p = res; p; p = p->ai_next) {
    const auto* sin = reinterpret_cast<const sockaddr_in*>(p->ai_addr);
    addrs.emplace_back(reinterpret_cast<const char*>(&sin->sin_addr), 4);
  }
  std::string canon = (res && res->ai_canonname) ? res->ai_canonname : name;
  ::freeaddrinfo(res);
  return fill_host(canon, addrs);
}

WS_HOSTENT* gethostbyaddr_(const char* addr, int len, int type) {
  if (!started()) return nullptr;
  if (!addr || type != WS_AF_INET || len < 4) {
    set_error(addr ? WSAEAFNOSUPPORT : WSAEFAULT);
    return nullptr;
  }
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  std::memcpy(&sin.sin_addr, addr, 4);
  char host[NI_MAXHOST];
  int e = ::getnameinfo(reinterpret_cast<sockaddr*>(&sin), sizeof sin, host, sizeof host, nullptr, 0, NI_NAMEREQD);
  if (e != 0) {
    set_error(wsa_from_eai(e));
    return nullptr;
  }
  return fill_host(host, {std::string(addr, 4)});
}

struct ServStore {
  WS_SERVENT ent{};
  std::string name, proto;
  char* no_aliases[1] = {nullptr};
};
thread_local ServStore t_serv;

WS_SERVENT* getservbyname_(const char* name, const char* proto) {
  if (!started()) return nullptr;
  if (!name) {
    set_error(WSAEFAULT);
    return nullptr;
  }
  servent se{}, *res = nullptr;
  char buf[1024];
  if (::getservbyname_r(name, proto, &se, buf, sizeof buf, &res) != 0 || !res) {
    set_error(WSANO_DATA);
    return nullptr;
  }
  ServStore& s = t_serv;
  s.name = res->s_name;
  s.proto = res->s_proto ? res->s_proto : "";
  s.ent.s_name = s.name.data();
  s.ent.s_aliases = s.no_aliases;
  s.ent.s_proto = s.proto.data();
  s.ent.s_port = static_cast<SHORT>(res->s_port);
  return &s.ent;
}

// ---- address info ----------------------------------------------------------------

int ai_flags_to_posix(int f) {
  int p = 0;
  if (f & WS_AI_PASSIVE) p |= AI_PASSIVE;
  if (f & WS_AI_CANONNAME) p |= AI_CANONNAME;
  if (f & WS_AI_NUMERICHOST) p |= AI_NUMERICHOST;
  if (f & WS_AI_NUMERICSERV) p |= AI_NUMERICSERV;
  if (f & WS_AI_ALL) p |= AI_ALL;
  if (f & WS_AI_ADDRCONFIG) p |= AI_ADDRCONFIG;
  if (f & WS_AI_V4MAPPED) p |= AI_V4MAPPED;
  return p;
}

// One block per node: the node, its address, then its canonical name.
WS_ADDRINFOA* make_node(const addrinfo* p) {
  int wlen = p->ai_family == AF_INET6 ? static_cast<int>(sizeof(WS_SOCKADDR_IN6)) : static_cast<int>(sizeof(WS_SOCKADDR_IN));
  std::size_t canon = p->ai_canonname ? std::strlen(p->ai_canonname) + 1 : 0;
  std::size_t size = sizeof(WS_ADDRINFOA) + sizeof(WS_SOCKADDR_IN6) + canon;
  auto* block = static_cast<char*>(::operator new(size, std::nothrow));
  if (!block) return nullptr;
  std::memset(block, 0, size);
  auto* n = reinterpret_cast<WS_ADDRINFOA*>(block);
  n->ai_flags = 0;
  n->ai_family = family_from_posix(p->ai_family);
  n->ai_socktype = p->ai_socktype == SOCK_DGRAM ? WS_SOCK_DGRAM : p->ai_socktype == SOCK_STREAM ? WS_SOCK_STREAM : 0;
  n->ai_protocol = p->ai_protocol;
  n->ai_addr = reinterpret_cast<WS_SOCKADDR*>(block + sizeof(WS_ADDRINFOA));
  int len = wlen;
  addr_from_posix(p->ai_addr, n->ai_addr, &len);
  n->ai_addrlen = static_cast<SIZE_T>(len);
  if (canon) {
    n->ai_canonname = block + sizeof(WS_ADDRINFOA) + sizeof(WS_SOCKADDR_IN6);
    std::memcpy(n->ai_canonname, p->ai_canonname, canon);
  }
  return n;
}

void freeaddrinfo_(WS_ADDRINFOA* ai) {
  while (ai) {
    WS_ADDRINFOA* next = ai->ai_next;
    ::operator delete(ai);
    ai = next;
  }
}

int getaddrinfo_(const char* node, const char* service, const WS_ADDRINFOA* hints, WS_ADDRINFOA** result) {
  if (!result) {
    set_error(WSAEINVAL);
    return WSAEINVAL;
  }
  *result = nullptr;
  if (!started()) return WSANOTINITIALISED;
  addrinfo h{};
  if (hints) {
    if (hints->ai_family == WS_AF_IPX) {
      set_error(WSAEAFNOSUPPORT);
      return WSAEAFNOSUPPORT;
    }
    int fam = family_to_posix(hints->ai_family);
    if (fam < 0) {
      set_error(WSAEAFNOSUPPORT);
      return WSAEAFNOSUPPORT;
    }
    h.ai_family = fam;
    h.ai_socktype = hints->ai_socktype == WS_SOCK_DGRAM ? SOCK_DGRAM : hints->ai_socktype == WS_SOCK_STREAM ? SOCK_STREAM : 0;
    h.ai_protocol = hints->ai_protocol;
    h.ai_flags = ai_flags_to_posix(hints->ai_flags);
  }
  addrinfo* res = nullptr;
  int e = ::getaddrinfo(node, service, &h, &res);
  if (e != 0) {
    int w = wsa_from_eai(e);
    set_error(w);
    return w;
  }
  WS_ADDRINFOA* head = nullptr;
  WS_ADDRINFOA** tail = &head;
  for (addrinfo* p = res; p; p = p->ai_next) {
    if (p->ai_family != AF_INET && p->ai_family != AF_INET6) continue;
    WS_ADDRINFOA* n = make_node(p);
    if (!n) {
      freeaddrinfo_(head);
      ::freeaddrinfo(res);
      set_error(8);
      return 8;
    }
    *tail = n;
    tail = &n->ai_next;
  }
  ::freeaddrinfo(res);
  if (!head) {
    set_error(WSAHOST_NOT_FOUND);
    return WSAHOST_NOT_FOUND;
  }
  *result = head;
  return 0;
}

int getnameinfo_(const WS_SOCKADDR* sa, int salen, char* host, DWORD hostlen, char* serv, DWORD servlen, int flags) {
  if (!started()) return WSANOTINITIALISED;
  sockaddr_storage ss;
  socklen_t len;
  if (!addr_to_posix(sa, salen, ss, len)) return t_wsa_error;
  int f = 0;
  if (flags & WS_NI_NOFQDN) f |= NI_NOFQDN;
  if (flags & WS_NI_NUMERICHOST) f |= NI_NUMERICHOST;
  if (flags & WS_NI_NAMEREQD) f |= NI_NAMEREQD;
  if (flags & WS_NI_NUMERICSERV) f |= NI_NUMERICSERV;
  if (flags & WS_NI_DGRAM) f |= NI_DGRAM;
  int e = ::getnameinfo(reinterpret_cast<sockaddr*>(&ss), len, host, host ? hostlen : 0, serv, serv ? servlen : 0, f);
  if (e != 0) {
    int w = e == EAI_OVERFLOW ? WSAEFAULT : wsa_from_eai(e);
    set_error(w);
    return w;
  }
  // Windows prints an IPv6 scope as its number, where glibc prints the
  // interface name.
  char* pct = host ? std::strchr(host, '%') : nullptr;
  if (pct && ss.ss_family == AF_INET6) {
    char scope[16];
    std::snprintf(scope, sizeof scope, "%%%u", reinterpret_cast<sockaddr_in6*>(&ss)->sin6_scope_id);
    if (static_cast<std::size_t>(pct - host) + std::strlen(scope) + 1 > hostlen) {
      set_error(WSAEFAULT);
      return WSAEFAULT;
    }
    std::strcpy(pct, scope);
  }
  return 0;
}

struct Export {
  const char* name;
  FARPROC proc;
  bool addrinfo;  // missing from the legacy library
};

template <class F>
FARPROC as_proc(F f) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(f));
}

const Export kExports[] = {
    {"WSAStartup", as_proc(&WSAStartup_), false},
    {"WSACleanup", as_proc(&WSACleanup_), false},
    {"WSAGetLastError", as_proc(&WSAGetLastError_), false},
    {"WSASetLastError", as_proc(&WSASetLastError_), false},
    {"socket", as_proc(&socket_), false},
    {"bind", as_proc(&bind_), false},
    {"htons", as_proc(&htons_), false},
    {"ntohs", as_proc(&ntohs_), false},
    {"htonl", as_proc(&htonl_), false},
    {"ntohl", as_proc(&ntohl_), false},
    {"getsockname", as_proc(&getsockname_), false},
    {"gethostname", as_proc(&gethostname_), false},
    {"gethostbyname", as_proc(&gethostbyname_), false},
    {"gethostbyaddr", as_proc(&gethostbyaddr_), false},
    {"getservbyname", as_proc(&getservbyname_), false},
    {"getsockopt", as_proc(&getsockopt_), false},
    {"setsockopt", as_proc(&setsockopt_), false},
    {"inet_addr", as_proc(&inet_addr_), false},
    {"inet_ntoa", as_proc(&inet_ntoa_), false},
    {"sendto", as_proc(&sendto_), false},
    {"recvfrom", as_proc(&recvfrom_), false},
    {"select", as_proc(&select_), false},
    {"closesocket", as_proc(&closesocket_), false},
    {"connect", as_proc(&connect_), false},
    {"listen", as_proc(&listen_), false},
    {"ioctlsocket", as_proc(&ioctlsocket_), false},
    {"recv", as_proc(&recv_), false},
    {"send", as_proc(&send_), false},
    {"accept", as_proc(&accept_), false},
    {"__WSAFDIsSet", as_proc(&WSAFDIsSet_), false},
    {"getaddrinfo", as_proc(&getaddrinfo_), true},
    {"getnameinfo", as_proc(&getnameinfo_), true},
    {"freeaddrinfo", as_proc(&freeaddrinfo_), true},
};

std::vector<morva::platform::BuiltinExport> exports_of(bool legacy) {
  std::vector<morva::platform::BuiltinExport> out;
  for (const auto& e : kExports)
    if (!(legacy && e.addrinfo)) out.push_back({e.name, e.proc});
  return out;
}

// The socket libraries are built-in modules, present from start-up as the
// system's own DLLs are.
const bool g_registered = (morva::platform::winsock_register_modules(), true);

}  // namespace

namespace morva::platform {

void winsock_register_modules() {
  register_builtin_module(u"ws2_32.dll", exports_of(false));
  register_builtin_module(u"wsock32.dll", exports_of(true));
}

FARPROC winsock_proc(const char* name, bool legacy) {
  if (!name) return nullptr;
  for (const auto& e : kExports)
    if (std::strcmp(e.name, name) == 0) return (legacy && e.addrinfo) ? nullptr : e.proc;
  return nullptr;
}

void winsock_fail_startup(bool on) { g_fail_startup = on; }

int winsock_startup_count() { return g_startups.load(); }

}  // namespace morva::platform
