#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "win/modules.h"
#include "win/winsock.h"

namespace {

template <class F>
F proc(const char* name, bool legacy = false) {
  FARPROC p = morva::platform::winsock_proc(name, legacy);
  EXPECT_NE(p, nullptr) << name;
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(p));
}

struct Ws {
  LPFN_WSASTARTUP startup = proc<LPFN_WSASTARTUP>("WSAStartup");
  LPFN_WSACLEANUP cleanup = proc<LPFN_WSACLEANUP>("WSACleanup");
  LPFN_WSAGETLASTERROR last_error = proc<LPFN_WSAGETLASTERROR>("WSAGetLastError");
  LPFN_SOCKET socket = proc<LPFN_SOCKET>("socket");
  LPFN_BIND bind = proc<LPFN_BIND>("bind");
  LPFN_GETSOCKNAME getsockname = proc<LPFN_GETSOCKNAME>("getsockname");
  LPFN_SENDTO sendto = proc<LPFN_SENDTO>("sendto");
  LPFN_RECVFROM recvfrom = proc<LPFN_RECVFROM>("recvfrom");
  LPFN_SELECT select = proc<LPFN_SELECT>("select");
  LPFN_CLOSESOCKET closesocket = proc<LPFN_CLOSESOCKET>("closesocket");
  LPFN_SETSOCKOPT setsockopt = proc<LPFN_SETSOCKOPT>("setsockopt");
  LPFN_GETSOCKOPT getsockopt = proc<LPFN_GETSOCKOPT>("getsockopt");
  LPFN_GETADDRINFO getaddrinfo = proc<LPFN_GETADDRINFO>("getaddrinfo");
  LPFN_GETNAMEINFO getnameinfo = proc<LPFN_GETNAMEINFO>("getnameinfo");
  LPFN_FREEADDRINFO freeaddrinfo = proc<LPFN_FREEADDRINFO>("freeaddrinfo");
  LPFN_INET_ADDR inet_addr = proc<LPFN_INET_ADDR>("inet_addr");
  LPFN_INET_NTOA inet_ntoa = proc<LPFN_INET_NTOA>("inet_ntoa");
  LPFN_HTONS htons = proc<LPFN_HTONS>("htons");
  LPFN_WSAFDISSET isset = proc<LPFN_WSAFDISSET>("__WSAFDIsSet");
};

WS_SOCKADDR_IN loopback(Ws& ws, USHORT port) {
  WS_SOCKADDR_IN a{};
  a.sin_family = WS_AF_INET;
  a.sin_port = ws.htons(port);
  a.sin_addr.S_addr = ws.inet_addr("127.0.0.1");
  return a;
}

class WinsockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(ws.startup(MAKEWORD(2, 2), &data), 0);
    EXPECT_EQ(data.wVersion, MAKEWORD(2, 2));
  }
  void TearDown() override { EXPECT_EQ(ws.cleanup(), 0); }

  // A UDP socket bound to 127.0.0.1 at a port of the kernel's choice.
  SOCKET bound_udp(WS_SOCKADDR_IN* where) {
    SOCKET s = ws.socket(WS_AF_INET, WS_SOCK_DGRAM, WS_IPPROTO_UDP);
    EXPECT_NE(s, INVALID_SOCKET);
    WS_SOCKADDR_IN a = loopback(ws, 0);
    EXPECT_EQ(ws.bind(s, reinterpret_cast<WS_SOCKADDR*>(&a), sizeof a), 0);
    int len = sizeof *where;
    EXPECT_EQ(ws.getsockname(s, reinterpret_cast<WS_SOCKADDR*>(where), &len), 0);
    EXPECT_EQ(where->sin_family, WS_AF_INET);
    return s;
  }
  Ws ws;
};

TEST(Winsock, StartupIsCountedAndRequired) {
  Ws ws;
  int before = morva::platform::winsock_startup_count();
  EXPECT_EQ(ws.socket(WS_AF_INET, WS_SOCK_DGRAM, 0), INVALID_SOCKET);
  EXPECT_EQ(ws.last_error(), WSANOTINITIALISED);
  WSADATA d;
  EXPECT_EQ(ws.startup(MAKEWORD(1, 0), &d), WSAVERNOTSUPPORTED);
  EXPECT_EQ(ws.startup(MAKEWORD(1, 1), &d), 0);
  EXPECT_EQ(d.wVersion, MAKEWORD(1, 1));
  EXPECT_EQ(ws.startup(MAKEWORD(2, 2), &d), 0);
  EXPECT_EQ(morva::platform::winsock_startup_count(), before + 2);
  EXPECT_EQ(ws.cleanup(), 0);
  SOCKET s = ws.socket(WS_AF_INET, WS_SOCK_DGRAM, 0);  // one reference left
  EXPECT_NE(s, INVALID_SOCKET);
  ws.closesocket(s);
  EXPECT_EQ(ws.cleanup(), 0);
  EXPECT_EQ(ws.cleanup(), SOCKET_ERROR);
  EXPECT_EQ(ws.last_error(), WSANOTINITIALISED);
  morva::platform::winsock_fail_startup(true);
  EXPECT_EQ(ws.startup(MAKEWORD(2, 2), &d), WSASYSNOTREADY);
  morva::platform::winsock_fail_startup(false);
}

TEST(Winsock, LegacyLibraryLacksAddressInfo) {
  EXPECT_EQ(morva::platform::winsock_proc("getaddrinfo", true), nullptr);
  EXPECT_NE(morva::platform::winsock_proc("socket", true), nullptr);
  EXPECT_EQ(morva::platform::winsock_proc("nosuchentry", false), nullptr);
}

TEST_F(WinsockTest, IpxIsRefused) {
  EXPECT_EQ(ws.socket(WS_AF_IPX, WS_SOCK_DGRAM, WS_NSPROTO_IPX), INVALID_SOCKET);
  EXPECT_EQ(ws.last_error(), WSAEAFNOSUPPORT);
}

TEST_F(WinsockTest, DatagramsRoundTripAndTruncate) {
  WS_SOCKADDR_IN ra{}, sa{};
  SOCKET r = bound_udp(&ra);
  SOCKET s = bound_udp(&sa);
  const char msg[] = "0123456789";
  ASSERT_EQ(ws.sendto(s, msg, 10, 0, reinterpret_cast<WS_SOCKADDR*>(&ra), sizeof ra), 10);
  WS_FD_SET set;
  WS_FD_ZERO(&set);
  WS_FD_SET_ADD(r, &set);
  WS_TIMEVAL tv{2, 0};
  ASSERT_EQ(ws.select(0, &set, nullptr, nullptr, &tv), 1);
  EXPECT_TRUE(ws.isset(r, &set));
  char buf[4] = {};
  WS_SOCKADDR_IN from{};
  int fromlen = sizeof from;
  EXPECT_EQ(ws.recvfrom(r, buf, 4, 0, reinterpret_cast<WS_SOCKADDR*>(&from), &fromlen), SOCKET_ERROR);
  EXPECT_EQ(ws.last_error(), WSAEMSGSIZE);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_EQ(from.sin_port, sa.sin_port);

  // The rest of that datagram is gone: nothing more to read.
  WS_FD_ZERO(&set);
  WS_FD_SET_ADD(r, &set);
  WS_TIMEVAL zero{0, 20000};
  EXPECT_EQ(ws.select(0, &set, nullptr, nullptr, &zero), 0);
  EXPECT_EQ(set.fd_count, 0u);

  ws.sendto(s, msg, 10, 0, reinterpret_cast<WS_SOCKADDR*>(&ra), sizeof ra);
  char big[64];
  EXPECT_EQ(ws.recvfrom(r, big, sizeof big, 0, nullptr, nullptr), 10);
  EXPECT_EQ(ws.select(0, nullptr, nullptr, nullptr, &zero), SOCKET_ERROR);
  EXPECT_EQ(ws.last_error(), WSAEINVAL);
  ws.closesocket(r);
  ws.closesocket(s);
}

TEST_F(WinsockTest, OptionsUseWindowsConstants) {
  SOCKET s = ws.socket(WS_AF_INET, WS_SOCK_DGRAM, 0);
  DWORD on = 1, got = 0;
  int len = sizeof got;
  ASSERT_EQ(ws.setsockopt(s, WS_SOL_SOCKET, WS_SO_BROADCAST, reinterpret_cast<char*>(&on), sizeof on), 0);
  ASSERT_EQ(ws.getsockopt(s, WS_SOL_SOCKET, WS_SO_BROADCAST, reinterpret_cast<char*>(&got), &len), 0);
  EXPECT_EQ(got, 1u);
  DWORD ms = 1500;
  ASSERT_EQ(ws.setsockopt(s, WS_SOL_SOCKET, WS_SO_RCVTIMEO, reinterpret_cast<char*>(&ms), sizeof ms), 0);
  ASSERT_EQ(ws.getsockopt(s, WS_SOL_SOCKET, WS_SO_RCVTIMEO, reinterpret_cast<char*>(&got), &len), 0);
  EXPECT_EQ(got, 1500u);
  ASSERT_EQ(ws.getsockopt(s, WS_SOL_SOCKET, WS_SO_TYPE, reinterpret_cast<char*>(&got), &len), 0);
  EXPECT_EQ(got, static_cast<DWORD>(WS_SOCK_DGRAM));
  EXPECT_EQ(ws.setsockopt(s, WS_SOL_SOCKET, 0x7777, reinterpret_cast<char*>(&on), sizeof on), SOCKET_ERROR);
  EXPECT_EQ(ws.last_error(), WSAENOPROTOOPT);
  ws.closesocket(s);
}

TEST_F(WinsockTest, AddressInfoInWindowsForm) {
  WS_ADDRINFOA hints{};
  hints.ai_flags = WS_AI_PASSIVE | WS_AI_NUMERICHOST;
  hints.ai_socktype = WS_SOCK_DGRAM;
  WS_ADDRINFOA* res = nullptr;
  ASSERT_EQ(ws.getaddrinfo("fe80::1%1", nullptr, &hints, &res), 0);
  ASSERT_NE(res, nullptr);
  EXPECT_EQ(res->ai_family, WS_AF_INET6);
  EXPECT_EQ(res->ai_addrlen, sizeof(WS_SOCKADDR_IN6));
  char host[WS_NI_MAXHOST];
  ASSERT_EQ(ws.getnameinfo(res->ai_addr, static_cast<int>(res->ai_addrlen), host, sizeof host, nullptr, 0,
                           WS_NI_NUMERICHOST),
            0);
  EXPECT_STREQ(host, "fe80::1%1");
  ws.freeaddrinfo(res);

  ASSERT_EQ(ws.getaddrinfo("192.168.1.10", nullptr, &hints, &res), 0);
  EXPECT_EQ(res->ai_family, WS_AF_INET);
  char serv[WS_NI_MAXSERV];
  ASSERT_EQ(ws.getnameinfo(res->ai_addr, static_cast<int>(res->ai_addrlen), host, sizeof host, serv, sizeof serv,
                           WS_NI_NUMERICHOST | WS_NI_NUMERICSERV),
            0);
  EXPECT_STREQ(host, "192.168.1.10");
  EXPECT_STREQ(serv, "0");
  ws.freeaddrinfo(res);

  EXPECT_EQ(ws.getaddrinfo("printer.invalid", nullptr, &hints, &res), WSAHOST_NOT_FOUND);
  hints.ai_family = WS_AF_IPX;
  EXPECT_EQ(ws.getaddrinfo("1.2.3.4", nullptr, &hints, &res), WSAEAFNOSUPPORT);

  WS_IN_ADDR a{ws.inet_addr("10.0.0.1")};
  EXPECT_STREQ(ws.inet_ntoa(a), "10.0.0.1");
  EXPECT_EQ(ws.inet_addr("not an address"), WS_INADDR_NONE);
}

}  // namespace

namespace {

TEST(Winsock, BuiltInModulesByName) {
  HMODULE ws2 = LoadLibraryA("ws2_32.dll");
  ASSERT_NE(ws2, nullptr);
  EXPECT_NE(GetProcAddress(ws2, "getaddrinfo"), nullptr);
  HMODULE legacy = LoadLibraryA("WSOCK32.DLL");
  ASSERT_NE(legacy, nullptr);
  EXPECT_NE(GetProcAddress(legacy, "recvfrom"), nullptr);
  EXPECT_EQ(GetProcAddress(legacy, "getaddrinfo"), nullptr);
  FreeLibrary(ws2);
  FreeLibrary(legacy);
}

}  // namespace
