// WinSock 2 stand-in: the Windows socket types, constants and entry points,
// implemented over POSIX sockets. The entry points are reached the way
// Windows programs reach them when they load the library at run time: by
// name, from the built-in modules "ws2_32.dll" and "wsock32.dll"
// (morva::platform::winsock_proc). Their names clash with the C library's
// (socket, bind, select, ...), so they are not exported as C symbols.
//
// Windows values are kept on the Windows side: AF_INET6 is 23, SOL_SOCKET
// 0xFFFF, SO_BROADCAST 0x20, NI_NUMERICHOST 2, and so on; the stand-in
// translates them. Structures have their Windows 64-bit layouts.
#pragma once

#include "win/types.h"

using SOCKET = UINT_PTR;
#define INVALID_SOCKET (static_cast<SOCKET>(~static_cast<SOCKET>(0)))
#define SOCKET_ERROR (-1)

// Address families, socket types and protocols.
#define WS_AF_UNSPEC 0
#define WS_AF_INET 2
#define WS_AF_IPX 6
#define WS_AF_INET6 23
#define WS_SOCK_STREAM 1
#define WS_SOCK_DGRAM 2
#define WS_IPPROTO_IP 0
#define WS_IPPROTO_TCP 6
#define WS_IPPROTO_UDP 17
#define WS_IPPROTO_IPV6 41
#define WS_NSPROTO_IPX 1000

// Socket options.
#define WS_SOL_SOCKET 0xFFFF
#define WS_SO_REUSEADDR 0x0004
#define WS_SO_KEEPALIVE 0x0008
#define WS_SO_BROADCAST 0x0020
#define WS_SO_LINGER 0x0080
#define WS_SO_SNDBUF 0x1001
#define WS_SO_RCVBUF 0x1002
#define WS_SO_SNDTIMEO 0x1005
#define WS_SO_RCVTIMEO 0x1006
#define WS_SO_ERROR 0x1007
#define WS_SO_TYPE 0x1008
#define WS_IPV6_V6ONLY 27
#define WS_IP_ADD_MEMBERSHIP 12    // IPPROTO_IP and, as IPV6_ADD_MEMBERSHIP, IPPROTO_IPV6

#define WS_MSG_PEEK 0x2
#define WS_FIONREAD 0x4004667FL
#define WS_FIONBIO static_cast<LONG>(0x8004667EL)

#define WS_INADDR_ANY 0x00000000u
#define WS_INADDR_NONE 0xFFFFFFFFu
#define WS_INADDR_BROADCAST 0xFFFFFFFFu

// getaddrinfo / getnameinfo flags.
#define WS_AI_PASSIVE 0x01
#define WS_AI_CANONNAME 0x02
#define WS_AI_NUMERICHOST 0x04
#define WS_AI_NUMERICSERV 0x08
#define WS_AI_ALL 0x0100
#define WS_AI_ADDRCONFIG 0x0400
#define WS_AI_V4MAPPED 0x0800
#define WS_NI_NOFQDN 0x01
#define WS_NI_NUMERICHOST 0x02
#define WS_NI_NAMEREQD 0x04
#define WS_NI_NUMERICSERV 0x08
#define WS_NI_DGRAM 0x10
#define WS_NI_MAXHOST 1025
#define WS_NI_MAXSERV 32

// Error codes (WSAGetLastError).
#define WSAEINTR 10004L
#define WSAEBADF 10009L
#define WSAEACCES 10013L
#define WSAEFAULT 10014L
#define WSAEINVAL 10022L
#define WSAEMFILE 10024L
#define WSAEWOULDBLOCK 10035L
#define WSAEINPROGRESS 10036L
#define WSAEALREADY 10037L
#define WSAENOTSOCK 10038L
#define WSAEDESTADDRREQ 10039L
#define WSAEMSGSIZE 10040L
#define WSAEPROTOTYPE 10041L
#define WSAENOPROTOOPT 10042L
#define WSAEPROTONOSUPPORT 10043L
#define WSAESOCKTNOSUPPORT 10044L
#define WSAEOPNOTSUPP 10045L
#define WSAEAFNOSUPPORT 10047L
#define WSAEADDRINUSE 10048L
#define WSAEADDRNOTAVAIL 10049L
#define WSAENETDOWN 10050L
#define WSAENETUNREACH 10051L
#define WSAECONNABORTED 10053L
#define WSAECONNRESET 10054L
#define WSAENOBUFS 10055L
#define WSAEISCONN 10056L
#define WSAENOTCONN 10057L
#define WSAETIMEDOUT 10060L
#define WSAECONNREFUSED 10061L
#define WSAEHOSTUNREACH 10065L
#define WSASYSNOTREADY 10091L
#define WSAVERNOTSUPPORTED 10092L
#define WSANOTINITIALISED 10093L
#define WSATYPE_NOT_FOUND 10109L
#define WSAHOST_NOT_FOUND 11001L
#define WSATRY_AGAIN 11002L
#define WSANO_RECOVERY 11003L
#define WSANO_DATA 11004L

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

struct WSADATA {
  WORD wVersion;
  WORD wHighVersion;
  USHORT iMaxSockets;
  USHORT iMaxUdpDg;
  char* lpVendorInfo;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
};
using LPWSADATA = WSADATA*;

struct WS_IN_ADDR {
  ULONG S_addr;  // network byte order
};

struct WS_SOCKADDR {
  USHORT sa_family;
  char sa_data[14];
};

struct WS_SOCKADDR_IN {
  SHORT sin_family;
  USHORT sin_port;  // network byte order
  WS_IN_ADDR sin_addr;
  char sin_zero[8];
};

struct WS_SOCKADDR_IN6 {
  SHORT sin6_family;
  USHORT sin6_port;
  ULONG sin6_flowinfo;
  UCHAR sin6_addr[16];
  ULONG sin6_scope_id;
};

struct WS_SOCKADDR_STORAGE {
  SHORT ss_family;
  char ss_pad1[6];
  LONGLONG ss_align;
  char ss_pad2[112];
};

struct WS_HOSTENT {
  char* h_name;
  char** h_aliases;
  SHORT h_addrtype;
  SHORT h_length;
  char** h_addr_list;
};

struct WS_SERVENT {  // 64-bit order: the protocol before the port
  char* s_name;
  char** s_aliases;
  char* s_proto;
  SHORT s_port;  // network byte order
};

struct WS_ADDRINFOA {
  int ai_flags;
  int ai_family;
  int ai_socktype;
  int ai_protocol;
  SIZE_T ai_addrlen;
  char* ai_canonname;
  WS_SOCKADDR* ai_addr;
  WS_ADDRINFOA* ai_next;
};

#define WS_FD_SETSIZE 64
struct WS_FD_SET {
  UINT fd_count;
  SOCKET fd_array[WS_FD_SETSIZE];
};

struct WS_TIMEVAL {
  LONG tv_sec;
  LONG tv_usec;
};

static_assert(sizeof(WS_SOCKADDR) == 16 && sizeof(WS_SOCKADDR_IN) == 16 && sizeof(WS_SOCKADDR_IN6) == 28);
static_assert(sizeof(WS_SOCKADDR_STORAGE) == 128);
static_assert(sizeof(WS_HOSTENT) == 32 && offsetof(WS_HOSTENT, h_addr_list) == 24);
static_assert(sizeof(WS_SERVENT) == 32 && offsetof(WS_SERVENT, s_port) == 24);
static_assert(sizeof(WS_ADDRINFOA) == 48 && offsetof(WS_ADDRINFOA, ai_addr) == 32);
static_assert(sizeof(WS_FD_SET) == 520 && sizeof(WS_TIMEVAL) == 8);
static_assert(offsetof(WSADATA, lpVendorInfo) == 8 && sizeof(WSADATA) == 408);

// FD_ZERO / FD_SET / FD_ISSET on the Windows set.
inline void WS_FD_ZERO(WS_FD_SET* set) { set->fd_count = 0; }
inline void WS_FD_SET_ADD(SOCKET s, WS_FD_SET* set) {
  for (UINT i = 0; i < set->fd_count; ++i)
    if (set->fd_array[i] == s) return;
  if (set->fd_count < WS_FD_SETSIZE) set->fd_array[set->fd_count++] = s;
}

// Signatures of the entry points, for GetProcAddress users.
using LPFN_WSASTARTUP = int (*)(WORD version, LPWSADATA data);
using LPFN_WSACLEANUP = int (*)();
using LPFN_WSAGETLASTERROR = int (*)();
using LPFN_WSASETLASTERROR = void (*)(int error);
using LPFN_SOCKET = SOCKET (*)(int af, int type, int protocol);
using LPFN_BIND = int (*)(SOCKET s, const WS_SOCKADDR* name, int namelen);
using LPFN_HTONS = USHORT (*)(USHORT v);
using LPFN_NTOHS = USHORT (*)(USHORT v);
using LPFN_HTONL = ULONG (*)(ULONG v);
using LPFN_NTOHL = ULONG (*)(ULONG v);
using LPFN_GETSOCKNAME = int (*)(SOCKET s, WS_SOCKADDR* name, int* namelen);
using LPFN_GETHOSTNAME = int (*)(char* name, int namelen);
using LPFN_GETHOSTBYNAME = WS_HOSTENT* (*)(const char* name);
using LPFN_GETHOSTBYADDR = WS_HOSTENT* (*)(const char* addr, int len, int type);
using LPFN_GETSERVBYNAME = WS_SERVENT* (*)(const char* name, const char* proto);
using LPFN_GETSOCKOPT = int (*)(SOCKET s, int level, int optname, char* optval, int* optlen);
using LPFN_SETSOCKOPT = int (*)(SOCKET s, int level, int optname, const char* optval, int optlen);
using LPFN_INET_ADDR = ULONG (*)(const char* text);
using LPFN_INET_NTOA = char* (*)(WS_IN_ADDR in);
using LPFN_SENDTO = int (*)(SOCKET s, const char* buf, int len, int flags, const WS_SOCKADDR* to, int tolen);
using LPFN_RECVFROM = int (*)(SOCKET s, char* buf, int len, int flags, WS_SOCKADDR* from, int* fromlen);
using LPFN_SELECT = int (*)(int nfds, WS_FD_SET* readfds, WS_FD_SET* writefds, WS_FD_SET* exceptfds,
                            const WS_TIMEVAL* timeout);
using LPFN_CLOSESOCKET = int (*)(SOCKET s);
using LPFN_CONNECT = int (*)(SOCKET s, const WS_SOCKADDR* name, int namelen);
using LPFN_LISTEN = int (*)(SOCKET s, int backlog);
using LPFN_IOCTLSOCKET = int (*)(SOCKET s, LONG cmd, ULONG* argp);
using LPFN_RECV = int (*)(SOCKET s, char* buf, int len, int flags);
using LPFN_SEND = int (*)(SOCKET s, const char* buf, int len, int flags);
using LPFN_ACCEPT = SOCKET (*)(SOCKET s, WS_SOCKADDR* addr, int* addrlen);
using LPFN_WSAFDISSET = int (*)(SOCKET s, WS_FD_SET* set);
using LPFN_GETADDRINFO = int (*)(const char* node, const char* service, const WS_ADDRINFOA* hints,
                                 WS_ADDRINFOA** result);
using LPFN_GETNAMEINFO = int (*)(const WS_SOCKADDR* sa, int salen, char* host, DWORD hostlen, char* serv,
                                 DWORD servlen, int flags);
using LPFN_FREEADDRINFO = void (*)(WS_ADDRINFOA* ai);

namespace morva::platform {

// The entry point of the built-in socket library with this name
// ("WSAStartup", "socket", "getaddrinfo", ...), or null. `legacy` selects the
// "wsock32.dll" flavour, which lacks the address-info functions.
MORVA_WIN_API FARPROC winsock_proc(const char* name, bool legacy);

// Registers "ws2_32.dll" and "wsock32.dll" (the legacy flavour, without
// the address-info functions) as built-in modules. Done at start-up; tests
// that removed them with unregister_builtin_module call it to put them back.
MORVA_WIN_API void winsock_register_modules();

// Test hook: the next WSAStartup calls fail with WSASYSNOTREADY while on.
MORVA_WIN_API void winsock_fail_startup(bool on);

// Current WSAStartup reference count (for tests).
MORVA_WIN_API int winsock_startup_count();

}  // namespace morva::platform
