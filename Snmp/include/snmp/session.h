// Request sessions: SNMPv1/v2c requests over a datagram socket with
// retries, timeouts, splitting of requests that are too big, and
// broadcasts that collect one answer per answering address.
#pragma once

#include "snmp/object_model.h"

class IPmsSession {
 public:
  virtual void release() = 0;
  // One request; on success the PDU holds the answer.
  virtual int send_sync(IPmsPdu* pdu, IPmsSnmpTarget* target) = 0;
  // The same for the PDU and target of a packet (both stay in the packet).
  virtual int send_sync(IPmsSnmpPacket* packet) = 0;
  virtual int send_broad_cast_sync(IPmsSnmpPacket* packet, PmsOwn<IPmsSnmpPacketList>* answers) = 0;
  // One answer per answering address until the time runs out; on success
  // the caller owns the (possibly empty) list.
  virtual int send_broad_cast_sync(IPmsPdu* pdu, IPmsSnmpTarget* target, PmsOwn<IPmsSnmpPacketList>* answers) = 0;

 protected:
  virtual ~IPmsSession() = default;
};

// Result codes of the sessions beyond the common ones.
enum PmsSessionResult : int {
  kPmsAnswerTooBig = -210,   // internal: the agent answered tooBig
  kPmsCannotSplit = -212,    // fewer bindings than pieces
  kPmsOtherRequest = -251,   // internal: an answer to another request
};

// Picks the session that serves a target: community targets with SNMPv1
// or SNMPv2c go to the request session, SNMPv3 user targets to the SNMPv3
// session; other pairs -2. Each session is made on first use.
class SessionDispatcher final : public IPmsSession {
 public:
  SessionDispatcher();
  ~SessionDispatcher() override;
  void release() override { delete this; }
  int get_session(IPmsSnmpTarget* target, IPmsSession** session);
  int send_sync(IPmsPdu* pdu, IPmsSnmpTarget* target) override;
  int send_sync(IPmsSnmpPacket* packet) override;
  int send_broad_cast_sync(IPmsSnmpPacket* packet, PmsOwn<IPmsSnmpPacketList>* answers) override;
  int send_broad_cast_sync(IPmsPdu* pdu, IPmsSnmpTarget* target, PmsOwn<IPmsSnmpPacketList>* answers) override;

 private:
  PmsOwn<IPmsSession> request_session_;
  PmsOwn<IPmsSession> v3_session_;
  void* lock_;
};

PmsOwn<SessionDispatcher> pmc_create_session_dispatcher(int* err);
PmsOwn<IPmsSession> pmc_create_request_session(int* err);
