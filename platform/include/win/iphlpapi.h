// IP Helper stand-in: the adapter, interface, address and route tables of
// this machine in their Windows 64-bit layouts. The entry points are
// reached as Windows programs reach them when they load the library at run
// time: by name, from the built-in module "iphlpapi.dll".
//
// The data comes from the calling thread's network namespace (getifaddrs
// and /proc/thread-self/net/route), or from a fixture that tests set
// (morva::platform::set_network_fixture), which makes every answer
// deterministic and sends nothing.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "win/types.h"
#include "win/winsock.h"

#ifndef ERROR_NO_DATA
#define ERROR_NO_DATA 232L
#endif
#ifndef ERROR_NETWORK_UNREACHABLE
#define ERROR_NETWORK_UNREACHABLE 1231L
#endif

// Interface types (IANA ifType, as MIB_IF_TYPE_* and IF_TYPE_*).
#define MIB_IF_TYPE_OTHER 1
#define MIB_IF_TYPE_ETHERNET 6
#define MIB_IF_TYPE_PPP 23
#define MIB_IF_TYPE_LOOPBACK 24
#define IF_TYPE_IEEE80211 71
#define IF_TYPE_TUNNEL 131

// Route types (dwForwardType, ipRouteType) and origins (dwForwardProto).
#define MIB_IPROUTE_TYPE_OTHER 1
#define MIB_IPROUTE_TYPE_INVALID 2
#define MIB_IPROUTE_TYPE_DIRECT 3
#define MIB_IPROUTE_TYPE_INDIRECT 4
#define MIB_IPPROTO_OTHER 1
#define MIB_IPPROTO_LOCAL 2
#define MIB_IPPROTO_NETMGMT 3

#define MIB_IF_ADMIN_STATUS_UP 1
#define MIB_IF_ADMIN_STATUS_DOWN 2
#define IF_OPER_STATUS_NON_OPERATIONAL 0
#define IF_OPER_STATUS_DISCONNECTED 2
#define IF_OPER_STATUS_OPERATIONAL 5
#define IfOperStatusUp 1
#define IfOperStatusDown 2

// GetAdaptersAddresses flags.
#define GAA_FLAG_SKIP_UNICAST 0x0001u
#define GAA_FLAG_SKIP_ANYCAST 0x0002u
#define GAA_FLAG_SKIP_MULTICAST 0x0004u
#define GAA_FLAG_SKIP_DNS_SERVER 0x0008u
#define GAA_FLAG_INCLUDE_PREFIX 0x0010u
#define GAA_FLAG_SKIP_FRIENDLY_NAME 0x0020u

#define MAX_INTERFACE_NAME_LEN 256
#define MAXLEN_PHYSADDR 8
#define MAXLEN_IFDESCR 256
#define MAX_ADAPTER_NAME_LENGTH 256
#define MAX_ADAPTER_DESCRIPTION_LENGTH 128
#define MAX_ADAPTER_ADDRESS_LENGTH 8
#define MAX_DHCPV6_DUID_LENGTH 130

struct MIB_IPFORWARDROW {
  DWORD dwForwardDest;     // network byte order
  DWORD dwForwardMask;     // network byte order
  DWORD dwForwardPolicy;
  DWORD dwForwardNextHop;  // network byte order
  DWORD dwForwardIfIndex;
  DWORD dwForwardType;
  DWORD dwForwardProto;
  DWORD dwForwardAge;
  DWORD dwForwardNextHopAS;
  DWORD dwForwardMetric1;
  DWORD dwForwardMetric2;
  DWORD dwForwardMetric3;
  DWORD dwForwardMetric4;
  DWORD dwForwardMetric5;
};
struct MIB_IPFORWARDTABLE {
  DWORD dwNumEntries;
  MIB_IPFORWARDROW table[1];
};

struct MIB_IFROW {
  WCHAR wszName[MAX_INTERFACE_NAME_LEN];
  DWORD dwIndex;
  DWORD dwType;
  DWORD dwMtu;
  DWORD dwSpeed;
  DWORD dwPhysAddrLen;
  BYTE bPhysAddr[MAXLEN_PHYSADDR];
  DWORD dwAdminStatus;
  DWORD dwOperStatus;
  DWORD dwLastChange;
  DWORD dwInOctets;
  DWORD dwInUcastPkts;
  DWORD dwInNUcastPkts;
  DWORD dwInDiscards;
  DWORD dwInErrors;
  DWORD dwInUnknownProtos;
  DWORD dwOutOctets;
  DWORD dwOutUcastPkts;
  DWORD dwOutNUcastPkts;
  DWORD dwOutDiscards;
  DWORD dwOutErrors;
  DWORD dwOutQLen;
  DWORD dwDescrLen;
  BYTE bDescr[MAXLEN_IFDESCR];
};
struct MIB_IFTABLE {
  DWORD dwNumEntries;
  MIB_IFROW table[1];
};

struct MIB_IPADDRROW {
  DWORD dwAddr;  // network byte order
  DWORD dwIndex;
  DWORD dwMask;  // network byte order
  DWORD dwBCastAddr;
  DWORD dwReasmSize;
  USHORT unused1;
  USHORT wType;
};
struct MIB_IPADDRTABLE {
  DWORD dwNumEntries;
  MIB_IPADDRROW table[1];
};

struct IP_ADDRESS_STRING {
  char String[16];
};
struct IP_ADDR_STRING {
  IP_ADDR_STRING* Next;
  IP_ADDRESS_STRING IpAddress;
  IP_ADDRESS_STRING IpMask;
  DWORD Context;
};

struct IP_ADAPTER_INFO {
  IP_ADAPTER_INFO* Next;
  DWORD ComboIndex;
  char AdapterName[MAX_ADAPTER_NAME_LENGTH + 4];
  char Description[MAX_ADAPTER_DESCRIPTION_LENGTH + 4];
  UINT AddressLength;
  BYTE Address[MAX_ADAPTER_ADDRESS_LENGTH];
  DWORD Index;
  UINT Type;
  UINT DhcpEnabled;
  IP_ADDR_STRING* CurrentIpAddress;
  IP_ADDR_STRING IpAddressList;
  IP_ADDR_STRING GatewayList;
  IP_ADDR_STRING DhcpServer;
  BOOL HaveWins;
  IP_ADDR_STRING PrimaryWinsServer;
  IP_ADDR_STRING SecondaryWinsServer;
  LONGLONG LeaseObtained;  // time_t
  LONGLONG LeaseExpires;
};

struct SOCKET_ADDRESS {
  WS_SOCKADDR* lpSockaddr;
  INT iSockaddrLength;
};

struct IP_ADAPTER_UNICAST_ADDRESS {
  union {
    ULONGLONG Alignment;
    struct {
      ULONG Length;
      DWORD Flags;
    };
  };
  IP_ADAPTER_UNICAST_ADDRESS* Next;
  SOCKET_ADDRESS Address;
  INT PrefixOrigin;
  INT SuffixOrigin;
  INT DadState;
  ULONG ValidLifetime;
  ULONG PreferredLifetime;
  ULONG LeaseLifetime;
  UCHAR OnLinkPrefixLength;
};

struct IP_ADAPTER_PREFIX {
  union {
    ULONGLONG Alignment;
    struct {
      ULONG Length;
      DWORD Flags;
    };
  };
  IP_ADAPTER_PREFIX* Next;
  SOCKET_ADDRESS Address;
  ULONG PrefixLength;
};

struct IP_ADAPTER_ADDRESSES {
  union {
    ULONGLONG Alignment;
    struct {
      ULONG Length;
      DWORD IfIndex;
    };
  };
  IP_ADAPTER_ADDRESSES* Next;
  char* AdapterName;
  IP_ADAPTER_UNICAST_ADDRESS* FirstUnicastAddress;
  void* FirstAnycastAddress;
  void* FirstMulticastAddress;
  void* FirstDnsServerAddress;
  WCHAR* DnsSuffix;
  WCHAR* Description;
  WCHAR* FriendlyName;
  BYTE PhysicalAddress[MAX_ADAPTER_ADDRESS_LENGTH];
  ULONG PhysicalAddressLength;
  ULONG Flags;
  ULONG Mtu;
  DWORD IfType;
  INT OperStatus;
  DWORD Ipv6IfIndex;
  ULONG ZoneIndices[16];
  IP_ADAPTER_PREFIX* FirstPrefix;
  ULONGLONG TransmitLinkSpeed;
  ULONGLONG ReceiveLinkSpeed;
  void* FirstWinsServerAddress;
  void* FirstGatewayAddress;
  ULONG Ipv4Metric;
  ULONG Ipv6Metric;
  ULONGLONG Luid;
  SOCKET_ADDRESS Dhcpv4Server;
  ULONG CompartmentId;
  BYTE NetworkGuid[16];
  INT ConnectionType;
  INT TunnelType;
  SOCKET_ADDRESS Dhcpv6Server;
  BYTE Dhcpv6ClientDuid[MAX_DHCPV6_DUID_LENGTH];
  ULONG Dhcpv6ClientDuidLength;
  ULONG Dhcpv6Iaid;
  void* FirstDnsSuffix;
};

static_assert(sizeof(MIB_IPFORWARDROW) == 56 && sizeof(MIB_IPFORWARDTABLE) == 60);
static_assert(sizeof(MIB_IFROW) == 860 && offsetof(MIB_IFROW, dwIndex) == 512 &&
              offsetof(MIB_IFROW, dwDescrLen) == 600 && offsetof(MIB_IFROW, bDescr) == 604);
static_assert(sizeof(MIB_IFTABLE) == 864 && offsetof(MIB_IFTABLE, table) == 4);
static_assert(sizeof(MIB_IPADDRROW) == 24 && sizeof(MIB_IPADDRTABLE) == 28);
static_assert(sizeof(IP_ADDR_STRING) == 48);
static_assert(sizeof(IP_ADAPTER_INFO) == 704 && offsetof(IP_ADAPTER_INFO, AddressLength) == 404 &&
              offsetof(IP_ADAPTER_INFO, Index) == 416 && offsetof(IP_ADAPTER_INFO, Type) == 420 &&
              offsetof(IP_ADAPTER_INFO, IpAddressList) == 440 && offsetof(IP_ADAPTER_INFO, LeaseExpires) == 696);
static_assert(sizeof(SOCKET_ADDRESS) == 16);
static_assert(sizeof(IP_ADAPTER_UNICAST_ADDRESS) == 64 && offsetof(IP_ADAPTER_UNICAST_ADDRESS, Address) == 16 &&
              offsetof(IP_ADAPTER_UNICAST_ADDRESS, OnLinkPrefixLength) == 56);
static_assert(sizeof(IP_ADAPTER_PREFIX) == 40);
static_assert(sizeof(IP_ADAPTER_ADDRESSES) == 448 && offsetof(IP_ADAPTER_ADDRESSES, FirstUnicastAddress) == 24 &&
              offsetof(IP_ADAPTER_ADDRESSES, PhysicalAddress) == 80 && offsetof(IP_ADAPTER_ADDRESSES, IfType) == 100 &&
              offsetof(IP_ADAPTER_ADDRESSES, Ipv6IfIndex) == 108 && offsetof(IP_ADAPTER_ADDRESSES, FirstPrefix) == 176 &&
              offsetof(IP_ADAPTER_ADDRESSES, Luid) == 224 && offsetof(IP_ADAPTER_ADDRESSES, Dhcpv6Server) == 280 &&
              offsetof(IP_ADAPTER_ADDRESSES, FirstDnsSuffix) == 440);

// Signatures of the entry points, for GetProcAddress users.
using LPFN_GETIPFORWARDTABLE = DWORD (*)(MIB_IPFORWARDTABLE* table, ULONG* size, BOOL order);
using LPFN_GETNUMBEROFINTERFACES = DWORD (*)(DWORD* count);
using LPFN_GETIFTABLE = DWORD (*)(MIB_IFTABLE* table, ULONG* size, BOOL order);
using LPFN_GETIPADDRTABLE = DWORD (*)(MIB_IPADDRTABLE* table, ULONG* size, BOOL order);
using LPFN_GETADAPTERSINFO = ULONG (*)(IP_ADAPTER_INFO* info, ULONG* size);
using LPFN_GETADAPTERSADDRESSES = ULONG (*)(ULONG family, ULONG flags, void* reserved, IP_ADAPTER_ADDRESSES* addresses,
                                            ULONG* size);
using LPFN_GETBESTINTERFACEEX = DWORD (*)(WS_SOCKADDR* destination, DWORD* index);

namespace morva::platform {

// One unicast address of a fixture interface.
struct NetAddress {
  int family = WS_AF_INET;          // WS_AF_INET or WS_AF_INET6
  std::array<BYTE, 16> bytes{};     // network order; IPv4 uses the first 4
  int prefix_length = 0;
  ULONG scope_id = 0;               // IPv6 zone (the interface index for link-local)
};

struct NetInterface {
  DWORD index = 0;
  std::string name;         // "eth0"
  std::string description;  // empty: the name
  DWORD type = MIB_IF_TYPE_ETHERNET;
  std::vector<BYTE> mac;    // at most MAXLEN_PHYSADDR bytes
  DWORD mtu = 1500;
  bool up = true;
  bool ipv4 = true;         // IPv4 bound (listed by GetAdaptersInfo)
  std::vector<NetAddress> addresses;
};

struct NetRoute {
  int family = WS_AF_INET;
  std::array<BYTE, 16> destination{};
  int prefix_length = 0;
  std::array<BYTE, 16> next_hop{};  // all zero: on link
  DWORD if_index = 0;
  DWORD metric = 0;
};

struct NetFixture {
  std::vector<NetInterface> interfaces;
  std::vector<NetRoute> routes;  // in the order the machine lists them
};

// "192.168.1.10/24", "fe80::1/64%2" (scope after the prefix), "::1/128".
// Throws std::invalid_argument on a malformed text.
MORVA_WIN_API NetAddress net_address(std::string_view cidr);
// A route to "10.0.0.0/8" through `next_hop` ("" or "0.0.0.0": on link).
MORVA_WIN_API NetRoute net_route(std::string_view cidr, std::string_view next_hop, DWORD if_index, DWORD metric = 0);

// The fixture every IP Helper and MIB-II answer comes from from now on,
// in place of the live machine; clear_network_fixture goes back to it.
MORVA_WIN_API void set_network_fixture(const NetFixture& fixture);
MORVA_WIN_API void clear_network_fixture();
// What the stand-ins see now (fixture or live), for tests and the agent.
MORVA_WIN_API NetFixture network_snapshot();

// Test hooks on the two built-in modules ("iphlpapi.dll", "inetmib1.dll"):
// withhold some entry points, remove a module as if the machine lacked it,
// or put both back with every entry point.
MORVA_WIN_API void withhold_network_exports(std::u16string_view module, const std::vector<std::string>& names);
MORVA_WIN_API void remove_network_module(std::u16string_view module);
MORVA_WIN_API void restore_network_modules();

}  // namespace morva::platform
