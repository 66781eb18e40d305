// IPmcNetworkAddress: a device or socket address (text, protocol, port).
#pragma once

#include <cstdint>

#include "snmp/pms_base.h"

class IPmsOctetBuffer;

class IPmcNetworkAddress {
 public:
  enum EProtocol : std::int32_t {
    kUnspecified = 0,
    kIPv4 = 1,
    kIPX = 2,
    kIPv6 = 4,
  };

  virtual void destroy() = 0;
  virtual int set_address(const char* text) = 0;
  virtual int set(const char* text, EProtocol protocol, std::uint16_t port) = 0;
  virtual const IPmsOctetBuffer* host_text_object() const = 0;
  virtual int get(PmsOwn<IPmsOctetBuffer>* host, EProtocol* protocol, std::uint16_t* port) const = 0;
  virtual int set_protocol(EProtocol protocol) = 0;
  virtual int set_port(std::uint16_t port) = 0;
  virtual EProtocol get_protocol() const = 0;
  virtual std::uint16_t get_port() const = 0;
  virtual bool equals(const IPmcNetworkAddress* other) const = 0;
  virtual int clone(PmsOwn<IPmcNetworkAddress>* out) const = 0;
  virtual bool is_valid() const = 0;
  virtual int normalize() = 0;
  virtual const char* host_text() const = 0;

  // The owner's release is destroy.
  void release() { destroy(); }

 protected:
  virtual ~IPmcNetworkAddress() = default;
};

PmsOwn<IPmcNetworkAddress> pmc_create_network_address(int* err);
PmsOwn<IPmcNetworkAddress> pmc_create_network_address_from_text(const char* text, std::uint16_t port, int* err);
PmsOwn<IPmcNetworkAddress> pmc_create_network_address_ex(const char* text, IPmcNetworkAddress::EProtocol protocol,
                                                        std::uint16_t port, int* err);
