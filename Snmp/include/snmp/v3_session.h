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

#include "snmp/object_model.h"

class v3RequestSession {
 public:
  void release();
  // One request; on success the PDU holds the answer and the target the
  // answering agent's security parameters and engine ID.
  int send_sync(IPmsPdu* pdu, IPmsSnmpTarget* target);
  // The same for the PDU and target of a packet (both are put back).
  int send_sync(IPmsSnmpPacket* packet);

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
  ~v3RequestSession() = default;
};

v3RequestSession* pmc_create_v3_request_session(int* err);

// The folder of the machine root where net-snmp keeps its persistent
// files (engine boots and the like): "<root>/snmp".
std::string pmc_v3_persistent_dir();
