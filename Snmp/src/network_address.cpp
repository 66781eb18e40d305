// CPmcNetworkAddress: an address text with its protocol kind and a port.
// The socket API classifies, normalizes and compares the texts.
#include <cctype>
#include <cstring>
#include <new>
#include <string>

#include "snmp/socket_api.h"

namespace {

using EProtocol = IPmcNetworkAddress::EProtocol;

// A copy of the text with A-F turned into a-f.
PmsOwn<IPmsOctetBuffer> lowered_copy(const char* text, int* err) {
  std::string t(text);
  for (char& c : t)
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  auto b = pms_create_octet_buffer(err);
  if (!b) return b;
  int r = b->set(t.data(), static_cast<std::uint32_t>(t.size()));
  if (r) {
    pms::set_err(err, r);
    b.reset();
  }
  return b;
}

class CPmcNetworkAddress final : public IPmcNetworkAddress {
 public:
  void destroy() override { delete this; }

  int set_address(const char* text) override {
    if (!text) return pms::kBadArgument;
    int err = 0;
    auto host = lowered_copy(text, &err);
    if (!host) return err;
    EProtocol found = kUnspecified;
    int r = pmc_socket_get_address_protocol(text, &found);
    if (r) return r;
    if (protocol_ != kUnspecified && protocol_ != found) return pms::kBadArgument;
    if (protocol_ == kUnspecified) protocol_ = found;
    host_ = std::move(host);
    return 0;
  }

  int set(const char* text, EProtocol protocol, std::uint16_t port) override {
    if (!text) return pms::kBadArgument;
    int err = 0;
    auto host = lowered_copy(text, &err);
    if (!host) return err;
    if (port != 0) port_ = port;
    if (protocol != kUnspecified) protocol_ = protocol;
    host_ = std::move(host);
    return 0;
  }

  const IPmsOctetBuffer* host_text_object() const override { return host_.get(); }

  int get(PmsOwn<IPmsOctetBuffer>* host, EProtocol* protocol, std::uint16_t* port) const override {
    if (!host || !host_) return pms::kBadArgument;
    int r = host_->clone(host);
    if (r) return r;
    if (protocol) *protocol = protocol_;
    if (port) *port = port_;
    return 0;
  }

  int set_protocol(EProtocol protocol) override {
    protocol_ = protocol;
    return 0;
  }
  int set_port(std::uint16_t port) override {
    port_ = port;
    return 0;
  }
  EProtocol get_protocol() const override { return protocol_; }
  std::uint16_t get_port() const override { return port_; }

  // Not symmetric: a port of 0 on the other side matches any port.
  bool equals(const IPmcNetworkAddress* other) const override {
    if (!other || !host_ || !other->host_text_object()) return false;
    bool same = false;
    if (pmc_socket_is_same_host(other->host_text(), host_text(), &same) != 0) return false;
    return same && other->get_protocol() == protocol_ && (other->get_port() == 0 || other->get_port() == port_);
  }

  int clone(PmsOwn<IPmcNetworkAddress>* out) const override {
    if (!out || !host_) return pms::kBadArgument;
    auto* c = new (std::nothrow) CPmcNetworkAddress;
    if (!c) return pms::kBadArgument;
    PmsOwn<IPmcNetworkAddress> own(c);
    int r = c->set(host_text(), protocol_, port_);
    if (r) return r;
    c->protocol_ = protocol_;
    c->port_ = port_;
    *out = std::move(own);
    return 0;
  }

  bool is_valid() const override {
    bool valid = false;
    return host_ && pmc_socket_is_valid_address(host_text(), &valid) == 0 && valid;
  }

  int normalize() override {
    if (!host_) return pms::kBadArgument;
    PmsOwn<IPmsOctetBuffer> n;
    int r = pmc_socket_normalize_address(host_text(), &n);
    if (r) return r;
    host_ = std::move(n);
    return 0;
  }

  const char* host_text() const override { return host_ ? host_->c_str() : nullptr; }

 private:
  PmsOwn<IPmsOctetBuffer> host_;
  EProtocol protocol_ = kUnspecified;
  std::uint16_t port_ = 0;
};

}  // namespace

PmsOwn<IPmcNetworkAddress> pmc_create_network_address(int* err) {
  auto* a = new (std::nothrow) CPmcNetworkAddress;
  pms::set_err(err, a ? 0 : pms::kNoMemory);
  return PmsOwn<IPmcNetworkAddress>(a);
}

PmsOwn<IPmcNetworkAddress> pmc_create_network_address_from_text(const char* text, std::uint16_t port, int* err) {
  if (!text) {
    pms::set_err(err, pms::kBadArgument);
    return nullptr;
  }
  IPmcNetworkAddress::EProtocol protocol = IPmcNetworkAddress::kUnspecified;
  int r = pmc_socket_get_address_protocol(text, &protocol);
  if (r) {
    pms::set_err(err, r);
    return nullptr;
  }
  auto a = pmc_create_network_address(err);
  if (!a) return a;
  pms::set_err(err, a->set(text, protocol, port));
  return a;
}

PmsOwn<IPmcNetworkAddress> pmc_create_network_address_ex(const char* text, IPmcNetworkAddress::EProtocol protocol,
                                                        std::uint16_t port, int* err) {
  auto a = pmc_create_network_address(err);
  if (!a) return a;
  pms::set_err(err, a->set(text, protocol, port));
  return a;
}
