// Datagram sockets and the request channel: every SNMP datagram of the
// engine goes through a DataGramSocket (UDP over IPv4 or IPv6, or IPX where
// the system has it) reached through a DataGramChannel, which also encodes
// and decodes messages through the stream registry and numbers requests.
#pragma once

#include <cstdint>

#include "snmp/ber_codec.h"
#include "snmp/socket_api.h"

// Process-wide request ids: the first id handed out is 0.
std::int32_t pmc_next_request_id();

class DataGramSocket {
 public:
  using EProtocol = IPmcNetworkAddress::EProtocol;
  void release() { delete this; }
  ~DataGramSocket();

  int send(const std::uint8_t* bytes, std::uint32_t size, const IPmcNetworkAddress* destination);
  // Waits up to timeout_ms (-1: without limit) for one datagram: -203 when
  // none came, -204 when select or recvfrom failed. A datagram larger than
  // the buffer fails with -204 (the system cut it).
  int receive(std::uint8_t* buffer, std::uint32_t size, std::int32_t timeout_ms, std::uint32_t* count,
              PmsOwn<IPmcNetworkAddress>* sender);
  const IPmcNetworkAddress* local_address() const { return local_.get(); }
  int set_broadcast(bool on);
  int join_multicast(const char* group);

 private:
  friend int pmc_create_bound_datagram_socket(EProtocol, std::uint16_t, PmsOwn<DataGramSocket>*);
  DataGramSocket() = default;
  int open();
  int start_up();
  int set_any_address(IPmcNetworkAddress* address);
  bool from_socket_address(const WS_SOCKADDR_STORAGE& sa, IPmcNetworkAddress* address);
  bool to_socket_address(WS_SOCKADDR_STORAGE& sa, int* length, const IPmcNetworkAddress* address);

  SOCKET handle_ = INVALID_SOCKET;
  PmsOwn<IPmcNetworkAddress> local_;
  bool started_ = false;
};

int pmc_create_datagram_socket(IPmcNetworkAddress::EProtocol protocol, PmsOwn<DataGramSocket>* out);
int pmc_create_bound_datagram_socket(IPmcNetworkAddress::EProtocol protocol, std::uint16_t port,
                                     PmsOwn<DataGramSocket>* out);

// Text of an IPv6 address into its 16 bytes ("::" shorthand allowed); -2
// when it is not one.
int pmc_ipv6_text_to_bytes(const char* text, std::uint8_t out[16]);

class DataGramChannel {
 public:
  int open(IPmcNetworkAddress::EProtocol protocol, std::uint16_t port);
  DataGramSocket* socket() const { return socket_.get(); }
  // A new buffer with the message of the PDU (which gets a new request id),
  // or none with the error in err; on -211, *count tells how many bindings
  // from the end of the list fitted.
  std::unique_ptr<CPmcMessageBuffer> encode(IPmsPdu* pdu, IPmsSnmpTarget* target, std::uint32_t* count, int* err);
  int send(const CPmcMessageBuffer& message, const IPmcNetworkAddress* destination);
  // One datagram of up to 65535 bytes, held in a block of its own length.
  std::unique_ptr<CPmcMessageBuffer> receive(std::int32_t timeout_ms, PmsOwn<IPmcNetworkAddress>* sender, int* err);
  int decode(const CPmcMessageBuffer& message, IPmsPdu* pdu, IPmsSnmpTarget* target);

 private:
  PmsOwn<DataGramSocket> socket_;
  std::vector<std::uint8_t> scratch_;  // receive block, reused between datagrams
};
