// Socket library binding and the process-wide socket API object.
//
// devlink links no socket library: the first use loads "ws2_32.dll" (else
// "wsock32.dll") by name and binds its entry points into NPmcSocketAPI. The
// IPmcSocketAPI object resolves and classifies address texts; the rest of
// the engine reaches it only through the pmc_socket_ functions.
#pragma once

#include <cstdint>

#include "snmp/object_model.h"
#include "win/winsock.h"

// Entry points of the loaded socket library.
struct NPmcSocketAPI {
  LPFN_WSASTARTUP WSAStartup = nullptr;
  LPFN_WSACLEANUP WSACleanup = nullptr;
  LPFN_WSAGETLASTERROR WSAGetLastError = nullptr;
  LPFN_SOCKET socket = nullptr;
  LPFN_BIND bind = nullptr;
  LPFN_HTONS htons = nullptr;
  LPFN_NTOHS ntohs = nullptr;
  LPFN_GETSOCKNAME getsockname = nullptr;
  LPFN_GETHOSTNAME gethostname = nullptr;
  LPFN_GETHOSTBYNAME gethostbyname = nullptr;
  LPFN_GETSOCKOPT getsockopt = nullptr;
  LPFN_SETSOCKOPT setsockopt = nullptr;
  LPFN_INET_ADDR inet_addr = nullptr;
  LPFN_INET_NTOA inet_ntoa = nullptr;
  LPFN_SENDTO sendto = nullptr;
  LPFN_RECVFROM recvfrom = nullptr;
  LPFN_SELECT select = nullptr;
  LPFN_CLOSESOCKET closesocket = nullptr;
  LPFN_GETHOSTBYADDR gethostbyaddr = nullptr;
  LPFN_GETSERVBYNAME getservbyname = nullptr;
  LPFN_HTONL htonl = nullptr;
  LPFN_NTOHL ntohl = nullptr;
  LPFN_CONNECT connect = nullptr;
  LPFN_LISTEN listen = nullptr;
  LPFN_IOCTLSOCKET ioctlsocket = nullptr;
  LPFN_RECV recv = nullptr;
  LPFN_SEND send = nullptr;
  LPFN_ACCEPT accept = nullptr;
  LPFN_WSAFDISSET WSAFDIsSet = nullptr;
  LPFN_GETADDRINFO getaddrinfo = nullptr;
  LPFN_GETNAMEINFO getnameinfo = nullptr;
  LPFN_FREEADDRINFO freeaddrinfo = nullptr;
  bool has_address_info = false;

  // Binds every entry point from the module; 0 or -1.
  static int set_api(HMODULE module);
  // The bound table; null until a library was loaded.
  static const NPmcSocketAPI* get();
};

// Loads and binds the socket library once: 0, -10 when none can be
// loaded, or the binding error.
int pmc_socket_load_library();
bool pmc_socket_library_loaded();
bool pmc_socket_address_info_available();
// WSAStartup with version 1.1 or 2.2 after loading; 0, -1 or the load error.
int pmc_socket_startup_1_1();
int pmc_socket_startup_2_2();
void pmc_socket_cleanup();

// System library helpers (mode 0: LoadLibraryA, else LoadLibraryExA with
// LOAD_WITH_ALTERED_SEARCH_PATH).
HMODULE pmc_load_system_library(const char* name, int mode);
int pmc_free_system_library(HMODULE module, int mode);
FARPROC pmc_get_proc_address(HMODULE module, const char* name);

class IPmcSocketAPI {
 public:
  using EProtocol = IPmcNetworkAddress::EProtocol;
  virtual int normalize(const char* text, PmsOwn<IPmsOctetBuffer>* host) = 0;
  virtual int address_protocol(const char* text, EProtocol* protocol) = 0;
  virtual int host_addresses(const char* name, PmsOwn<IPmsAddressList>* list) = 0;
  virtual int host_name(const char* text, PmsOwn<IPmsOctetBuffer>* host) = 0;
  virtual int local_host_address(EProtocol protocol, PmsOwn<IPmcNetworkAddress>* address) = 0;
  virtual int service_port(const char* service, EProtocol protocol, std::uint16_t* port) = 0;
  virtual bool is_address_info() const = 0;
  virtual ~IPmcSocketAPI() = default;
};

// Makes sure the process-wide object exists: 0 or -3.
int pmc_get_socket_api();

int pmc_socket_normalize_address(const char* text, PmsOwn<IPmsOctetBuffer>* host);
int pmc_socket_get_address_protocol(const char* text, IPmcNetworkAddress::EProtocol* protocol);
int pmc_socket_get_host_addresses(const char* name, PmsOwn<IPmsAddressList>* list);
int pmc_socket_get_host_name(const char* text, PmsOwn<IPmsOctetBuffer>* host);
int pmc_socket_get_local_host_address(IPmcNetworkAddress::EProtocol protocol, PmsOwn<IPmcNetworkAddress>* address);
int pmc_socket_get_service_port(const char* service, IPmcNetworkAddress::EProtocol protocol, std::uint16_t* port);
int pmc_socket_is_valid_address(const char* text, bool* valid);
int pmc_socket_is_same_host(const char* a, const char* b, bool* same);

// Address family of an EProtocol and back.
int pmc_family_of(IPmcNetworkAddress::EProtocol protocol);
IPmcNetworkAddress::EProtocol pmc_protocol_of(int family);

// Test hook: forgets the loaded library and the object, so that the next
// call loads and chooses again.
void pmc_socket_test_reset();
