// Small helpers shared by the device objects: fixed text fields that are
// always terminated, and the SNMP port of an address kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "snmp/network_address.h"

// Clears the field and copies at most N - 1 bytes of `text` (or of its
// first `length` bytes), so the field always ends in a zero byte.
template <std::size_t N>
void psw_copy_text(char (&field)[N], const char* text, std::size_t length) {
  std::memset(field, 0, N);
  if (text) std::memcpy(field, text, length < N - 1 ? length : N - 1);
}
template <std::size_t N>
void psw_copy_text(char (&field)[N], const char* text) {
  psw_copy_text(field, text, text ? strnlen(text, N - 1) : 0);
}

// The agent port of an address kind: UDP 161, IPX socket 36879; 0 for a
// kind that has no SNMP transport.
inline std::uint16_t psw_snmp_port(IPmcNetworkAddress::EProtocol protocol) {
  if (protocol == IPmcNetworkAddress::kIPv4 || protocol == IPmcNetworkAddress::kIPv6) return 161;
  if (protocol == IPmcNetworkAddress::kIPX) return 36879;
  return 0;
}
