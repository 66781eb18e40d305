// Short-lived SNMP request objects of the management API: one object per
// read or write, created, initialised with address, transport, version and
// credentials, filled with OIDs, used for one operation and released. Each
// operation runs through a SessionDispatcher of its own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "snmp/network_address.h"
#include "snmp/object_model.h"

// Result of an answer that does not carry what was asked: too few
// bindings, an error status, or an exception value in place of a value.
inline constexpr int kPmcNoValue = -7;

// The most rows one GETNEXT walk reads before it gives up on an agent that
// never reaches the end of the column (kPmcNoValue, with the rows so far).
inline constexpr std::size_t kPmcMaxWalkRows = 10000;

class IPmcGetData {
 public:
  virtual void release() = 0;
  // Copies the text (at most 255 characters) into the community field.
  virtual void set_community(const char* community) = 0;
  // Builds the address, the target for the version and an empty PDU.
  virtual int init(const char* address, IPmcNetworkAddress::EProtocol protocol, std::uint16_t port,
                   std::int32_t version, const char* security_name, std::int32_t security_level,
                   std::int32_t auth_protocol, std::int32_t priv_protocol, const char* auth_passphrase,
                   const char* priv_passphrase, const char* context_name, std::uint32_t timeout_ms,
                   std::uint32_t retries, std::uint32_t max_message_size) = 0;
  // Appends a binding without value; a scalar gets the instance ".0".
  virtual int add_oid_string(const char* oid, bool scalar) = 0;
  // Appends oid.sub_ids with an INTEGER value (for SET).
  virtual int add_oid_value(const char* oid, const char* sub_ids, std::int32_t value) = 0;
  // SET of every binding: 0 only when the agent accepted it (error status 0).
  virtual int set_data() = 0;
  // GETNEXT walk of the added columns; appends one row (one binding per
  // column, in the order added) per table row while the first binding lies
  // inside first_column. Ends with 0 at the end of the column or of the
  // agent's view.
  virtual int get_data(IPmsRowList* rows, const char* first_column) = 0;
  // GET; the first answer value as text, cut to the buffer (size > 0).
  virtual int get_text(char* buffer, std::size_t size) = 0;
  // GET; count integer values in binding order.
  virtual int get_integers(std::int32_t* values, std::uint32_t count) = 0;
  virtual int get_integer(std::int32_t* value) = 0;
  virtual int address_protocol(const char* text, IPmcNetworkAddress::EProtocol* protocol) = 0;

  // The PDU of the last exchange (the answer after a request).
  virtual IPmsPdu* pdu() const = 0;
  virtual IPmsSnmpTarget* target() const = 0;

 protected:
  virtual ~IPmcGetData() = default;
};

class IPmcFindDeviceSnmp {
 public:
  virtual void release() = 0;
  virtual void set_community(const char* community) = 0;
  virtual int init(const char* address, IPmcNetworkAddress::EProtocol protocol, std::uint16_t port,
                   std::int32_t version, const char* security_name, std::int32_t security_level,
                   std::int32_t auth_protocol, std::int32_t priv_protocol, const char* auth_passphrase,
                   const char* priv_passphrase, const char* context_name, std::uint32_t timeout_ms,
                   std::uint32_t retries, std::uint32_t max_message_size) = 0;
  // Appends the scalar instance oid.0.
  virtual int add_oid_string(const char* oid) = 0;
  // Broadcast GET: one answering packet per answering address; on success
  // the caller owns the (possibly empty) list.
  virtual int send_broad_cast(PmsOwn<IPmsSnmpPacketList>* answers) = 0;
  virtual int address_protocol(const char* text, IPmcNetworkAddress::EProtocol* protocol) = 0;

  virtual IPmsSnmpTarget* target() const = 0;

 protected:
  virtual ~IPmcFindDeviceSnmp() = default;
};

PmsOwn<IPmcGetData> pmc_create_get_data(int* err = nullptr);
PmsOwn<IPmcFindDeviceSnmp> pmc_create_find_device_snmp(int* err = nullptr);
