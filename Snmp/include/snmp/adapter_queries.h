// Adapter and local-address queries of the socket API (slots 6 to 10):
// which local address reaches a destination, whether a transport is
// usable, how many adapters serve a protocol, the hardware address of an
// interface address, and whether a hardware address is this machine's.
// Both socket API objects share them; they read the adapter lists of the
// IP Helper library, bound at run time through NPmcIpHelpAPI, and the
// route tables of network_tables.h.
#pragma once

#include <cstdint>

#include "snmp/socket_api.h"
#include "win/iphlpapi.h"

// IP Helper entry points, bound once per process; each may be missing.
struct NPmcIpHelpAPI {
  LPFN_GETBESTINTERFACEEX GetBestInterfaceEx = nullptr;
  LPFN_GETADAPTERSINFO GetAdaptersInfo = nullptr;
  LPFN_GETADAPTERSADDRESSES GetAdaptersAddresses = nullptr;

  // Binds the three names from the module, logging each missing one; 0.
  static int set_api(HMODULE module);
  // Loads "iphlpapi.dll" once and binds it: the table, or null when the
  // library cannot be loaded.
  static const NPmcIpHelpAPI* get();
};

// Slot 6: a new address of this machine that reaches `destination`.
int pmc_socket_get_local_address_for(const IPmcNetworkAddress* destination, PmsOwn<IPmcNetworkAddress>* out);
// Slot 7: whether the transport can be used.
int pmc_socket_is_transport_available(IPmcNetworkAddress::EProtocol protocol, std::uint8_t* available);
// Slot 8: the number of usable adapters of IPv4 or IPv6.
int pmc_socket_get_interface_count(IPmcNetworkAddress::EProtocol protocol, std::uint32_t* count);
// Slot 9: "AA-BB-CC-DD-EE-FF" of the adapter holding `interface_text` (an
// empty text: the first usable adapter).
int pmc_socket_get_mac_address(IPmcNetworkAddress::EProtocol protocol, const char* interface_text,
                               PmsOwn<IPmsOctetBuffer>* out);
// Slot 10: whether a hardware address text is one of this machine's.
int pmc_socket_is_local_mac_address(const char* mac_text, std::uint8_t* local);

// Test hook: forgets the bound IP Helper library, so that the next query
// loads it again (after a test withheld or removed entry points).
void pmc_iphelp_test_reset();
