// SNMPv3 answers as a hostile agent could send them, through the library's
// own decoder and then the session's conversion into the engine's PDU and
// target. A small unauthenticated SNMPv3 responder of this target's own
// runs on 127.0.0.1: it answers engine-ID probes (the library's and the
// broadcast's own) with a report carrying its engine ID, and the request
// itself with an answer that echoes the request's header, so the library
// accepts it, around a PDU the input writes.
//
// Input: a request byte (bits 0-1: unicast request, broadcast discovery,
// unicast with the engine ID already known, broadcast answering the probe
// with the input's engine ID; bits 2-3: GET, GETNEXT, SET with a value of
// each kind, TRAP2; bits 4-6: how many bindings the request carries; bit
// 7: answer the probe with noise), the answer's PDU tag (0: response), its
// error status and error index, a request-id offset (0: the request's
// own), then the content of the answer's binding list; with bits 0-1 = 3
// the first byte of that content is the length of an engine ID taken from
// it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fuzz_machine_root.h"
#include "snmp/asn_value.h"
#include "snmp/network_address.h"
#include "snmp/object_model.h"
#include "snmp/v3_session.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void put_tlv(Bytes& out, std::uint8_t tag, const Bytes& body) {
  out.push_back(tag);
  const std::size_t n = body.size();
  if (n < 0x80) {
    out.push_back(static_cast<std::uint8_t>(n));
  } else {
    out.push_back(0x82);
    out.push_back(static_cast<std::uint8_t>(n >> 8));
    out.push_back(static_cast<std::uint8_t>(n));
  }
  out.insert(out.end(), body.begin(), body.end());
}

Bytes tlv(std::uint8_t tag, const Bytes& body) {
  Bytes out;
  put_tlv(out, tag, body);
  return out;
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes integer(std::int32_t v) {
  Bytes b;
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> shift));
  while (b.size() > 1 && ((b[0] == 0 && !(b[1] & 0x80)) || (b[0] == 0xFF && (b[1] & 0x80)))) b.erase(b.begin());
  return tlv(0x02, b);
}

// One TLV of a request the library wrote (well formed, but read with care).
struct Tlv {
  std::uint8_t tag = 0;
  const std::uint8_t* body = nullptr;
  std::size_t len = 0;
};

bool read(const std::uint8_t*& p, const std::uint8_t* end, Tlv* t) {
  if (end - p < 2) return false;
  t->tag = *p++;
  std::size_t n = *p++;
  if (n & 0x80) {
    std::size_t bytes = n & 0x7F;
    if (bytes == 0 || bytes > 3 || static_cast<std::size_t>(end - p) < bytes) return false;
    n = 0;
    while (bytes--) n = (n << 8) | *p++;
  }
  if (static_cast<std::size_t>(end - p) < n) return false;
  t->body = p;
  t->len = n;
  p += n;
  return true;
}

std::int32_t int_of(const Tlv& t) {
  std::int64_t v = t.len && (t.body[0] & 0x80) ? -1 : 0;
  for (std::size_t i = 0; i < t.len && i < 5; ++i) v = (v << 8) | t.body[i];
  return static_cast<std::int32_t>(v);
}

Bytes bytes_of(const Tlv& t) { return Bytes(t.body, t.body + t.len); }

// The parts of an SNMPv3 request an answer echoes.
struct Request {
  std::int32_t msg_id = 0, request_id = 0;
  Bytes engine, user, context_engine, context;
};

bool parse(const std::uint8_t* data, std::size_t size, Request* r) {
  const std::uint8_t* p = data;
  Tlv t, part;
  if (!read(p, data + size, &t) || t.tag != 0x30) return false;
  p = t.body;
  const std::uint8_t* end = t.body + t.len;
  if (!read(p, end, &part) || int_of(part) != 3) return false;  // version
  if (!read(p, end, &part) || part.tag != 0x30) return false;  // header
  const std::uint8_t* h = part.body;
  Tlv id;
  if (!read(h, part.body + part.len, &id)) return false;
  r->msg_id = int_of(id);
  if (!read(p, end, &part) || part.tag != 0x04) return false;  // security parameters
  const std::uint8_t* s = part.body;
  Tlv seq;
  if (!read(s, part.body + part.len, &seq) || seq.tag != 0x30) return false;
  s = seq.body;
  const std::uint8_t* s_end = seq.body + seq.len;
  Tlv engine, boots, time, user;
  if (!read(s, s_end, &engine) || !read(s, s_end, &boots) || !read(s, s_end, &time) || !read(s, s_end, &user))
    return false;
  r->engine = bytes_of(engine);
  r->user = bytes_of(user);
  if (!read(p, end, &part) || part.tag != 0x30) return false;  // scoped PDU (never encrypted here)
  const std::uint8_t* sp = part.body;
  const std::uint8_t* sp_end = part.body + part.len;
  Tlv context_engine, context, pdu, request_id;
  if (!read(sp, sp_end, &context_engine) || !read(sp, sp_end, &context) || !read(sp, sp_end, &pdu)) return false;
  r->context_engine = bytes_of(context_engine);
  r->context = bytes_of(context);
  const std::uint8_t* q = pdu.body;
  if (!read(q, pdu.body + pdu.len, &request_id)) return false;
  r->request_id = int_of(request_id);
  return true;
}

// An unauthenticated message answering `r`: the engine's security
// parameters and a scoped PDU of `tag` around `body`.
Bytes answer(const Request& r, const Bytes& engine, const Bytes& context_engine, std::uint8_t tag, const Bytes& body) {
  const Bytes header = tlv(0x30, cat({integer(r.msg_id), integer(65507), tlv(0x04, {0x00}), integer(3)}));
  const Bytes usm = tlv(
      0x04, tlv(0x30, cat({tlv(0x04, engine), integer(1), integer(1), tlv(0x04, r.user), tlv(0x04, {}), tlv(0x04, {})})));
  const Bytes scoped = tlv(0x30, cat({tlv(0x04, context_engine), tlv(0x04, r.context), tlv(tag, body)}));
  return tlv(0x30, cat({integer(3), header, usm, scoped}));
}

const Bytes kEngine = {0x80, 0x00, 0x7E, 0x59, 0x04, 'f', 'u', 'z', 'z'};

// What the responder sends for the current input.
struct Script {
  bool noisy_probe = false;
  Bytes probe_engine = kEngine;
  std::uint8_t tag = 0xA2;
  std::int32_t error_status = 0, error_index = 0, id_offset = 0;
  Bytes bindings;  // content of the binding list
};

class Responder {
 public:
  Responder() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      std::abort();
    port_ = ntohs(a.sin_port);
    std::thread([this] { run(); }).detach();
  }
  std::uint16_t port() const { return port_; }
  void set(const Script& s) {
    std::lock_guard<std::mutex> g(mu_);
    script_ = s;
  }

 private:
  void run() {
    std::uint8_t buf[65536];
    for (;;) {
      sockaddr_storage from{};
      socklen_t from_len = sizeof from;
      const ssize_t got = ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &from_len);
      if (got <= 0) continue;
      Request r;
      if (!parse(buf, static_cast<std::size_t>(got), &r)) continue;
      Script s;
      {
        std::lock_guard<std::mutex> g(mu_);
        s = script_;
      }
      Bytes out;
      if (r.engine.empty()) {
        // An engine-ID probe: a report of one unknown-engine counter.
        const Bytes counter = tlv(0x30, cat({tlv(0x06, {0x2B, 6, 1, 6, 3, 15, 1, 1, 4, 0}), tlv(0x41, {0x01})}));
        const Bytes body = cat({integer(r.request_id), integer(0), integer(0), tlv(0x30, counter)});
        out = answer(r, s.probe_engine, s.probe_engine, 0xA8, body);
        if (s.noisy_probe) out.insert(out.begin(), s.bindings.begin(), s.bindings.end());
      } else {
        const Bytes body = cat({integer(r.request_id + s.id_offset), integer(s.error_status), integer(s.error_index),
                                tlv(0x30, s.bindings)});
        out = answer(r, r.engine, r.context_engine, s.tag, body);
      }
      ::sendto(fd_, out.data(), out.size(), 0, reinterpret_cast<sockaddr*>(&from), from_len);
    }
  }

  int fd_ = -1;
  std::uint16_t port_ = 0;
  std::mutex mu_;
  Script script_;
};

// One value of each kind the request side writes, for SET requests.
PmsOwn<IPmsAsnValue> value_for(std::uint32_t i) {
  switch (i % 8) {
    case 0: return pms_create_value_from_int(-7, kPmsInteger, nullptr);
    case 1: return pms_create_value_from_string("fuzz", kPmsOctetString, nullptr);
    case 2: return pms_create_value(kPmsNull, nullptr);
    case 3: return pms_as_value(pms_create_oid_from_string("1.3.6.1.4.1.32473", nullptr));
    case 4: return pms_create_value_from_uint(4000000000u, kPmsGauge32, nullptr);
    case 5: return pms_create_counter64(1, 2, nullptr);
    case 6: {
      PmsOwn<IPmsAsnValue> v = pms_create_value(kPmsIpAddress, nullptr);
      const std::uint8_t a[4] = {127, 0, 0, 1};
      if (v) v->set_bytes(a, sizeof a);
      return v;
    }
    default: return pms_create_value_from_uint(99, kPmsTimeTicks, nullptr);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Responder* responder = (morva::fuzz::machine_root(), new Responder);
  if (size < 5 || size > 4000) return 0;
  const std::uint8_t mode = data[0] & 3;
  Script s;
  s.noisy_probe = (data[0] & 0x80) != 0;
  s.tag = data[1] ? data[1] : 0xA2;
  s.error_status = data[2];
  s.error_index = data[3];
  s.id_offset = static_cast<std::int8_t>(data[4]);
  s.bindings.assign(data + 5, data + size);
  if (mode == 3 && !s.bindings.empty()) {
    const std::size_t n = std::min<std::size_t>(s.bindings[0], s.bindings.size() - 1);
    s.probe_engine.assign(s.bindings.begin() + 1, s.bindings.begin() + 1 + static_cast<std::ptrdiff_t>(n));
    s.bindings.erase(s.bindings.begin(), s.bindings.begin() + 1 + static_cast<std::ptrdiff_t>(n));
  }
  responder->set(s);

  PmsOwn<IPmsSnmpTarget> target = pms_create_usm_target(nullptr);
  target->set_version(kSnmpV3);
  target->set_timeout(30);
  target->set_retries(0);
  PmsOwn<IPmcNetworkAddress> address = pmc_create_network_address_from_text("127.0.0.1", responder->port(), nullptr);
  target->set_address(address.get());
  IPmsUsm* usm = target->as_usm();
  usm->set_security_name("fuzzer");
  usm->set_security_level(0);
  if (mode == 2) usm->set_engine_id(kEngine.data(), static_cast<std::uint32_t>(kEngine.size()));

  static const std::int32_t kTypes[] = {kPduGet, kPduGetNext, kPduSet, kPduTrap};
  const std::int32_t type = kTypes[(data[0] >> 2) & 3];
  PmsOwn<IPmsPdu> pdu = pms_create_pdu(nullptr);
  pdu->set_type(type);
  const std::uint32_t bindings = (data[0] >> 4) & 7;
  for (std::uint32_t i = 0; i < bindings; ++i) {
    const std::string oid = "1.3.6.1.2.1.1." + std::to_string(i + 1) + ".0";
    pdu->append_new(pms_create_oid_from_string(oid.c_str(), nullptr), type == kPduSet ? value_for(i) : nullptr);
  }

  v3RequestSession* session = pmc_create_v3_request_session(nullptr);
  if (mode == 1 || mode == 3) {
    IPmsSnmpPacketList* answers = nullptr;
    if (session->send_broad_cast_sync(pdu.get(), target.get(), &answers) == 0 && answers) {
      int err = 0;
      PmsOwn<IPmsListIterator> it = answers->create_iterator(&err);
      for (IPmsSnmpPacket* p = it ? answers->current(it.get()) : nullptr; p;
           answers->next(it.get()), p = answers->current(it.get())) {
        IPmsVarBindList* list = p->get_pdu()->get_var_bind_list();
        for (std::uint32_t i = 0; list && i < list->count(); ++i)
          if (const IPmsAsnValue* v = list->get_at(i)->get_value()) PmsOwn<IPmsOctetBuffer> text = v->to_text_buffer(nullptr);
      }
      answers->release();
    }
  } else if (session->send_sync(pdu.get(), target.get()) == 0) {
    IPmsVarBindList* list = pdu->get_var_bind_list();
    for (std::uint32_t i = 0; list && i < list->count(); ++i)
      if (const IPmsAsnValue* v = list->get_at(i)->get_value()) PmsOwn<IPmsOctetBuffer> text = v->to_text_buffer(nullptr);
  }
  session->release();
  return 0;
}
