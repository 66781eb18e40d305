// SNMPv3 requests with user-based security, over net-snmp.
//
// The session converts the engine's PDU and USM target into a net-snmp
// session and PDU, runs the library's synchronous request and converts the
// answer back. Every request starts and ends the library. The stock
// library keeps its state in process globals, so requests of all threads
// run one at a time under one process-wide lock.
//
// Security levels of the USM target: 0 noAuthNoPriv, 1 authNoPriv,
// 2 authPriv (the codes callers pass in their SNMPv3 parameters);
// authentication 1 HMAC-MD5, 2 HMAC-SHA1; privacy 1 DES, 2 AES-128.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "snmp/object_model.h"
#include "snmp/session.h"

class v3RequestSession final : public IPmsSession {
 public:
  void release() override;
  // One request; on success the PDU holds the answer and the target the
  // answering agent's security parameters and engine ID.
  int send_sync(IPmsPdu* pdu, IPmsSnmpTarget* target) override;
  // The same for the PDU and target of a packet (both are put back).
  int send_sync(IPmsSnmpPacket* packet) override;
  // The broadcasts below for callers that hold the answers in a PmsOwn.
  int send_broad_cast_sync(IPmsSnmpPacket* packet, PmsOwn<IPmsSnmpPacketList>* answers) override;
  int send_broad_cast_sync(IPmsPdu* pdu, IPmsSnmpTarget* target, PmsOwn<IPmsSnmpPacketList>* answers) override;
  // Discovers the engine IDs of every agent that answers a probe sent to
  // the target's (broadcast) address within the target's timeout and
  // retries, then asks each of them with its own engine ID. On success
  // the caller receives a list (possibly empty) of answering packets;
  // agents that time out or refuse the credentials are left out.
  int send_broad_cast_sync(IPmsPdu* pdu, IPmsSnmpTarget* target, IPmsSnmpPacketList** out);
  int send_broad_cast_sync(IPmsSnmpPacket* packet, IPmsSnmpPacketList** out);

  // Result codes beyond the object model's.
  static constexpr int kCryptoUnavailable = -10;
  static constexpr int kNoAnswer = -204;
  static constexpr int kSecurityFailure = -214;
  static constexpr int kLibraryError = -200;
  static constexpr int kBadErrorStatus = -299;

  // The library error number (SNMPERR value) as a result code.
  static int map_library_error(int library_error);

 private:
  friend v3RequestSession* pmc_create_v3_request_session(int* err);
  v3RequestSession() = default;
  ~v3RequestSession() override = default;
};

v3RequestSession* pmc_create_v3_request_session(int* err);

// The engine-ID discovery message of RFC 3414 section 4 (a reportable
// GET without user, engine ID or bindings) with this message id.
std::vector<std::uint8_t> pmc_v3_probe_message(std::int32_t msg_id);
// The authoritative engine ID of an SNMPv3 message that answers message
// `msg_id`; empty for anything else, however malformed.
std::vector<std::uint8_t> pmc_v3_engine_id_of(const std::uint8_t* data, std::size_t size, std::int32_t msg_id);

// The folder of the machine root where net-snmp keeps its persistent
// files (engine boots and the like): "<root>/snmp".
std::string pmc_v3_persistent_dir();
