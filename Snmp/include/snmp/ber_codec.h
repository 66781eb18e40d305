// The BER codec of SNMPv1 and SNMPv2c messages ("TransStream") and the
// stream factory registry through which request sessions reach it.
#pragma once

#include <cstdint>

#include "snmp/message_buffer.h"
#include "snmp/object_model.h"

class IPmsStreamEncoder : public IPmsTargetVisitor {
 public:
  virtual int encode_community_header(IPmsSnmpTarget& target, IPmsCommunity& community) = 0;
  virtual int encode_usm_header(IPmsSnmpTarget& target, IPmsUsm& usm) = 0;
  virtual void release() = 0;
  virtual void set_buffer(CPmcMessageBuffer* buffer) = 0;
  // The whole message for a PDU and its target.
  virtual int encode_message(IPmsPdu& pdu, IPmsSnmpTarget& target) = 0;
  virtual int encode_packet(IPmsSnmpPacket* packet) = 0;
  virtual int encode_pdu(IPmsPdu& pdu) = 0;
  virtual int encode_var_bind_list(IPmsVarBindList& list) = 0;
  virtual int encode_var_bind(IPmsVarBind& binding) = 0;
  virtual int encode_request_header(IPmsPdu& pdu) = 0;
  virtual int encode_trap_header(IPmsPdu& pdu) = 0;
  virtual int encode_v2_trap_header(IPmsPdu& pdu) = 0;
  // Bindings completely written, counted from the end of the list.
  virtual std::uint32_t bindings_written() const = 0;

  int on_community(IPmsSnmpTarget& t, IPmsCommunity& c) final { return encode_community_header(t, c); }
  int on_usm(IPmsSnmpTarget& t, IPmsUsm& u) final { return encode_usm_header(t, u); }

 protected:
  virtual ~IPmsStreamEncoder() = default;
};

class IPmsStreamDecoder : public IPmsTargetVisitor {
 public:
  virtual int decode_community_header(IPmsSnmpTarget& target, IPmsCommunity& community) = 0;
  virtual int decode_usm_header(IPmsSnmpTarget& target, IPmsUsm& usm) = 0;
  virtual void release() = 0;
  virtual void set_buffer(const CPmcMessageBuffer* buffer) = 0;
  virtual void set_sender_kind(std::int32_t kind) = 0;
  virtual void set_header_only(bool on) = 0;
  virtual int decode_packet(IPmsSnmpPacket* packet) = 0;
  // Decodes into a PDU and target that stay the caller's.
  virtual int decode_message(IPmsPdu& pdu, IPmsSnmpTarget& target) = 0;
  virtual int decode_pdu(IPmsPdu& pdu) = 0;
  virtual int decode_var_bind_list(IPmsVarBindList& list) = 0;
  virtual int decode_var_bind(IPmsVarBind& binding) = 0;
  virtual int decode_request_header(IPmsPdu& pdu) = 0;
  virtual int decode_trap_header(IPmsPdu& pdu) = 0;
  virtual int decode_v2_trap_header(IPmsPdu& pdu) = 0;

  int on_community(IPmsSnmpTarget& t, IPmsCommunity& c) final { return decode_community_header(t, c); }
  int on_usm(IPmsSnmpTarget& t, IPmsUsm& u) final { return decode_usm_header(t, u); }

 protected:
  virtual ~IPmsStreamDecoder() = default;
};

class IPmsStreamFactory {
 public:
  virtual const char* name() const = 0;
  virtual PmsOwn<IPmsStreamEncoder> create_encoder(int* err) = 0;
  virtual PmsOwn<IPmsStreamDecoder> create_decoder(int* err) = 0;

 protected:
  ~IPmsStreamFactory() = default;
};

// The codec's own factory, "TransStream".
IPmsStreamFactory* pms_trans_stream_factory();

// Sender kinds given to decoders: the target to create for a message that
// arrives without one.
inline constexpr std::int32_t kPmsSenderNone = -1;
inline constexpr std::int32_t kPmsSenderCommunity = 0;

class IPmsStreamRegistry {
 public:
  virtual int select_stream(const char* name) = 0;
  virtual const char* selected_name() const = 0;
  // PDU and target stay the caller's.
  virtual int encode(IPmsPdu* pdu, IPmsSnmpTarget* target, CPmcMessageBuffer* buffer, std::uint32_t* written) = 0;
  virtual int encode_packet(IPmsSnmpPacket* packet, CPmcMessageBuffer* buffer, std::uint32_t* written) = 0;
  virtual int decode(const CPmcMessageBuffer* buffer, IPmsPdu* pdu, IPmsSnmpTarget* target, std::int32_t sender_kind) = 0;
  virtual int decode_packet(const CPmcMessageBuffer* buffer, IPmsSnmpPacket* packet, std::int32_t sender_kind) = 0;
  virtual int decode_header(const CPmcMessageBuffer* buffer, std::int32_t* error_status, std::int32_t* request_id,
                            std::int32_t sender_kind) = 0;
  // Puts the factory at the front of the list and selects it.
  virtual int register_factory(IPmsStreamFactory* factory) = 0;

 protected:
  ~IPmsStreamRegistry() = default;
};

// The process-wide registry, with "TransStream" registered and selected.
IPmsStreamRegistry* pms_get_stream_registry();
