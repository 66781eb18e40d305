// Small helpers shared by the device objects: fixed text fields that are
// always terminated, the SNMP port of an address kind, and taking a device's
// target and SNMPv3 parameters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "device_api/usm_param.h"
#include "snmp/network_address.h"
#include "snmp/pms_base.h"

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

// Takes the device a device object talks to: address, kind and port,
// timing, and a copy of the SNMPv3 parameters, each text cut to the object's
// own field. pms::kBadArgument for a kind without SNMP transport or without
// SNMPv3 parameters (the address and timing are kept even then).
template <typename Device>
long psw_take_target(Device& d, IPmcNetworkAddress::EProtocol protocol, const char* address, IPSWPluginUSM* usm,
                     unsigned long timeout, unsigned long retries, unsigned long max_message_size) {
  psw_copy_text(d.address_, address);
  d.protocol_ = protocol;
  d.port_ = psw_snmp_port(protocol);
  if (d.port_ == 0) return pms::kBadArgument;
  d.timeout_ = static_cast<std::uint32_t>(timeout);
  d.retries_ = static_cast<std::uint32_t>(retries);
  d.max_message_size_ = static_cast<std::uint32_t>(max_message_size);
  if (!usm) return pms::kBadArgument;
  d.v3_version_ = usm->get_version();
  psw_copy_text(d.v3_security_name_, usm->get_security_name());
  d.v3_security_level_ = usm->get_security_level();
  d.v3_auth_protocol_ = usm->get_auth_protocol();
  d.v3_priv_protocol_ = usm->get_priv_protocol();
  psw_copy_text(d.v3_auth_passphrase_, usm->get_auth_passphrase());
  psw_copy_text(d.v3_priv_passphrase_, usm->get_priv_passphrase());
  psw_copy_text(d.v3_context_name_, usm->get_context_name());
  return 0;
}
