// TransStream: BER encoder and decoder of SNMPv1 and SNMPv2c messages.
//
// The encoder writes every element once, backwards from the end of the
// block, so no length has to be known in advance. The decoder reads
// forwards inside the bounds of the element it is in, and answers -250 on
// anything malformed.
#include <cstring>
#include <new>
#include <vector>

#include "snmp/ber_codec.h"
#include "snmp/log.h"

namespace {

CPmcLogSessionHolder g_log("snmp");

constexpr std::uint8_t kTagSequence = 0x30;
constexpr char kStandardTraps[] = "1.3.6.1.6.3.1.1.5";
const std::uint32_t kStandardTrapArcs[] = {1, 3, 6, 1, 6, 3, 1, 1, 5};

// Byte counts of numbers in their shortest BER form.
std::uint32_t unsigned_size(std::uint32_t u) {
  if (u < 0x80u) return 1;
  if (u < 0x8000u) return 2;
  if (u < 0x800000u) return 3;
  if (u < 0x80000000u) return 4;
  return 5;
}
std::uint32_t signed_size(std::int32_t i) {
  return unsigned_size(i >= 0 ? static_cast<std::uint32_t>(i) : ~static_cast<std::uint32_t>(i));
}

// ---- encoder -------------------------------------------------------------------

class Writer {
 public:
  void reset(std::uint8_t* data, std::uint32_t length) {
    data_ = data;
    cursor_ = length;
    overflow_ = false;
  }
  bool overflow() const { return overflow_; }
  std::uint32_t cursor() const { return cursor_; }
  bool reserve(std::uint32_t n) {
    if (overflow_ || n > cursor_) {
      overflow_ = true;
      return false;
    }
    cursor_ -= n;
    return true;
  }
  void put_byte(std::uint8_t b) {
    if (reserve(1)) data_[cursor_] = b;
  }
  void put_bytes(const std::uint8_t* p, std::uint32_t n) {
    if (n && reserve(n)) std::memcpy(data_ + cursor_, p, n);
  }
  std::uint32_t put_length(std::uint32_t len) {
    if (len < 0x80) {
      put_byte(static_cast<std::uint8_t>(len));
      return 1;
    }
    std::uint32_t n = 0;
    for (std::uint32_t v = len; v; v >>= 8, ++n) put_byte(static_cast<std::uint8_t>(v));
    put_byte(static_cast<std::uint8_t>(0x80 + n));
    return n + 1;
  }
  std::uint32_t put_base128(std::uint64_t v) {
    std::uint32_t n = 0;
    std::uint8_t flag = 0;
    do {
      put_byte(static_cast<std::uint8_t>((v & 0x7F) | flag));
      flag = 0x80;
      v >>= 7;
      ++n;
    } while (v);
    return n;
  }
  // Big-endian content of `size` bytes of v (the low bytes).
  void put_number(std::uint64_t v, std::uint32_t size) {
    for (std::uint32_t i = 0; i < size; ++i, v >>= 8) put_byte(static_cast<std::uint8_t>(v));
  }

 private:
  std::uint8_t* data_ = nullptr;
  std::uint32_t cursor_ = 0;
  bool overflow_ = false;
};

class CPmsTransStreamEncoder final : public IPmsStreamEncoder, private IPmsAsnVisitor {
 public:
  void release() override { delete this; }
  void set_buffer(CPmcMessageBuffer* buffer) override { buffer_ = buffer; }
  std::uint32_t bindings_written() const override { return written_; }

  int encode_packet(IPmsSnmpPacket* packet) override {
    if (!packet || !packet->get_pdu() || !packet->get_target()) return pms::kBadArgument;
    return encode_message(*packet->get_pdu(), *packet->get_target());
  }

  int encode_message(IPmsPdu& pdu, IPmsSnmpTarget& target) override {
    if (!buffer_) return pms::kBadArgument;
    version_ = target.get_version();
    written_ = 0;
    std::int32_t max = target.get_max_message_size();
    if (max < 0) return pms::kBadArgument;
    int r = buffer_->allocate(static_cast<std::uint32_t>(max));
    if (r) return r;
    w_.reset(buffer_->data(), buffer_->length());
    std::uint32_t end = w_.cursor();
    if ((r = encode_pdu(pdu))) return r;
    if ((r = target.accept(*this))) return r;
    w_.put_length(end - w_.cursor());
    w_.put_byte(kTagSequence);
    if (w_.overflow()) return pms::kTooBig;
    buffer_->set_message_start(w_.cursor());
    return 0;
  }

  int encode_community_header(IPmsSnmpTarget&, IPmsCommunity& community) override {
    const char* c = community.get_community();
    std::uint32_t n = c ? static_cast<std::uint32_t>(std::strlen(c)) : 0;
    w_.put_bytes(reinterpret_cast<const std::uint8_t*>(c), n);
    w_.put_length(n);
    w_.put_byte(kPmsOctetString);
    put_integer(version_);
    return w_.overflow() ? pms::kTooBig : 0;
  }
  int encode_usm_header(IPmsSnmpTarget&, IPmsUsm&) override { return pms::kNotSupported; }

  int encode_pdu(IPmsPdu& pdu) override {
    if (!pdu.get_var_bind_list()) {
      int err = 0;
      auto l = pms_create_var_bind_list(&err);
      if (!l) return err;
      pdu.set_var_bind_list(std::move(l));
    }
    std::uint32_t end = w_.cursor();
    int r = encode_var_bind_list(*pdu.get_var_bind_list());
    if (r) return r;
    if (pdu.get_type() != kPduTrap) {
      r = encode_request_header(pdu);
    } else if (version_ == kSnmpV1) {
      r = encode_trap_header(pdu);
    } else {
      r = encode_v2_trap_header(pdu);
    }
    if (r) return r;
    std::int32_t type = pdu.get_type();
    if (type < 0 || type > 8 || type == 7) return pms::kBadArgument;
    w_.put_length(end - w_.cursor());
    w_.put_byte(static_cast<std::uint8_t>(0xA0 + type));
    return w_.overflow() ? pms::kTooBig : 0;
  }

  int encode_var_bind_list(IPmsVarBindList& list) override {
    std::uint32_t end = w_.cursor();
    for (std::uint32_t i = list.count(); i-- > 0;) {
      int r = encode_var_bind(*list.get_at(i));
      if (r) return r;
      ++written_;
    }
    w_.put_length(end - w_.cursor());
    w_.put_byte(kTagSequence);
    return w_.overflow() ? pms::kTooBig : 0;
  }

  int encode_var_bind(IPmsVarBind& binding) override {
    std::uint32_t end = w_.cursor();
    int r = 0;
    if (binding.get_value()) {
      r = binding.get_value()->accept(*this);
    } else {
      r = put_empty(kPmsNull);  // a binding without a value goes out as NULL
    }
    if (r) return r;
    if (!binding.get_oid()) return pms::kBadArgument;
    if ((r = put_oid(*binding.get_oid()))) return r;
    w_.put_length(end - w_.cursor());
    w_.put_byte(kTagSequence);
    return w_.overflow() ? pms::kTooBig : 0;
  }

  int encode_request_header(IPmsPdu& pdu) override {
    put_integer(pdu.get_error_index());
    put_integer(pdu.get_error_status());
    put_integer(pdu.get_request_id());
    return w_.overflow() ? pms::kTooBig : 0;
  }

  int encode_trap_header(IPmsPdu& pdu) override {
    IPmsAsnValue* ts = pdu.get_trap_time_stamp();
    IPmsObjectId* trap = pdu.get_trap_oid();
    if (!ts || !trap) return pms::kBadArgument;
    auto arcs = trap->arcs();
    if (arcs.size() < 2 || arcs[arcs.size() - 2] != 0) return pms::kBadArgument;
    std::uint32_t n = arcs.back();
    std::vector<std::uint32_t> enterprise(arcs.begin(), arcs.end() - 2);
    std::int32_t generic = 6, specific = static_cast<std::int32_t>(n);
    bool standard = enterprise.size() == std::size(kStandardTrapArcs) &&
                    std::equal(enterprise.begin(), enterprise.end(), kStandardTrapArcs);
    if (standard) {
      generic = static_cast<std::int32_t>(n) - 1;
      specific = 0;
    }
    int r = ts->accept(*this);
    if (r) return r;
    put_integer(specific);
    put_integer(generic);
    static const std::uint8_t any[4] = {0, 0, 0, 0};
    w_.put_bytes(any, 4);
    w_.put_length(4);
    w_.put_byte(kPmsIpAddress);
    if ((r = put_arcs(enterprise))) return r;
    return w_.overflow() ? pms::kTooBig : 0;
  }
  int encode_v2_trap_header(IPmsPdu&) override { return pms::kNotSupported; }

 private:
  // Visitor: each writes one complete value element.
  int visit_object_id(IPmsObjectId& v) override { return put_oid(v); }
  int visit_octets(IPmsAsnValue& v) override { return put_octets(v); }
  int visit_integer(IPmsAsnValue& v) override {
    put_integer(v.get_int(nullptr));
    return 0;
  }
  int visit_null(IPmsAsnValue& v) override { return put_empty(v.get_tag()); }
  int visit_counter32(IPmsAsnValue& v) override { return put_unsigned(v); }
  int visit_gauge32(IPmsAsnValue& v) override { return put_unsigned(v); }
  int visit_time_ticks(IPmsAsnValue& v) override { return put_unsigned(v); }
  int visit_counter64(IPmsAsnValue& v) override {
    std::uint32_t high = v.get_high(nullptr), low = v.get_low(nullptr);
    std::uint32_t size = high ? 4 + unsigned_size(high) : unsigned_size(low);
    w_.put_number((static_cast<std::uint64_t>(high) << 32) | low, std::min<std::uint32_t>(size, 8));
    if (size > 8) w_.put_byte(0);
    w_.put_length(size);
    w_.put_byte(kPmsCounter64);
    return 0;
  }
  int visit_ip_address(IPmsAsnValue& v) override { return put_octets(v); }
  int visit_ipv6_address(IPmsAsnValue& v) override { return put_octets(v); }
  int visit_udp_address(IPmsAsnValue&) override { return pms::kNotSupported; }
  int visit_ipx_address(IPmsAsnValue&) override { return pms::kNotSupported; }
  int visit_exception(IPmsAsnValue& v) override { return put_empty(v.get_tag()); }

  void put_integer(std::int32_t i) {
    std::uint32_t size = signed_size(i);
    w_.put_number(static_cast<std::uint32_t>(i), size);
    w_.put_length(size);
    w_.put_byte(kPmsInteger);
  }
  int put_unsigned(IPmsAsnValue& v) {
    std::uint32_t u = v.get_uint(nullptr);
    std::uint32_t size = unsigned_size(u);
    w_.put_number(u, size);
    w_.put_length(size);
    w_.put_byte(static_cast<std::uint8_t>(v.get_tag()));
    return 0;
  }
  int put_octets(IPmsAsnValue& v) {
    std::uint32_t n = 0;
    const std::uint8_t* p = v.get_bytes(&n, nullptr);
    w_.put_bytes(p, n);
    w_.put_length(n);
    w_.put_byte(static_cast<std::uint8_t>(v.get_tag()));
    return 0;
  }
  int put_empty(std::int32_t tag) {
    w_.put_byte(0);
    w_.put_byte(static_cast<std::uint8_t>(tag));
    return 0;
  }
  int put_oid(const IPmsObjectId& oid) {
    if (!oid.is_valid()) return pms::kBadArgument;
    return put_arcs(oid.arcs());
  }
  int put_arcs(std::span<const std::uint32_t> arcs) {
    if (arcs.size() == 1) {
      g_log.log(kPmcLogError, "encode error:oid size is 1.");
      return pms::kBadArgument;
    }
    // The first two arcs share one sub-identifier; anything but 0.x, 1.x
    // (x < 40) or 2.x would not decode to the same OID.
    if (arcs.size() >= 2 && (arcs[0] > 2 || (arcs[0] < 2 && arcs[1] >= 40))) return pms::kBadArgument;
    std::uint32_t content = 0;
    for (std::size_t i = arcs.size(); i-- > 2;) content += w_.put_base128(arcs[i]);
    if (arcs.size() >= 2) content += w_.put_base128(std::uint64_t{arcs[0]} * 40 + arcs[1]);
    w_.put_length(content);
    w_.put_byte(kPmsObjectId);
    return 0;
  }

  CPmcMessageBuffer* buffer_ = nullptr;
  std::int32_t version_ = kSnmpUnset;
  std::uint32_t written_ = 0;
  Writer w_;
};

// ---- decoder -------------------------------------------------------------------

class Reader {
 public:
  void reset(const std::uint8_t* p, std::uint32_t n) {
    start_ = p;
    cur_ = p;
    end_ = p + n;
    exhausted_ = false;
  }
  std::uint32_t offset() const { return static_cast<std::uint32_t>(cur_ - start_); }
  std::uint32_t left() const { return static_cast<std::uint32_t>(end_ - cur_); }
  void set_end(std::uint32_t offset) { end_ = start_ + offset; }
  bool exhausted() const { return exhausted_; }
  int read_tag(std::uint8_t& tag) {
    if (cur_ >= end_) return fail();
    tag = *cur_++;
    return 0;
  }
  void step_back() {
    if (cur_ > start_) --cur_;
  }
  // Definite lengths only; a length of more than four bytes is refused.
  int read_length(std::uint32_t& len) {
    std::uint8_t b;
    if (read_tag(b)) return pms::kDecodeError;
    if (b < 0x80) {
      len = b;
      return 0;
    }
    std::uint32_t n = b & 0x7F;
    if (n == 0 || n > 4) return pms::kDecodeError;
    if (left() < n) return fail();
    len = 0;
    for (std::uint32_t i = 0; i < n; ++i) len = (len << 8) | *cur_++;
    return 0;
  }
  int read_header(std::uint8_t expected, std::uint32_t& len) {
    std::uint8_t tag;
    if (read_tag(tag) || tag != expected) return pms::kDecodeError;
    if (read_length(len)) return pms::kDecodeError;
    if (len > left()) return fail();
    return 0;
  }
  // n content bytes into 32 bits: five only with a leading zero byte.
  // A two's-complement INTEGER (`sign_extend`), or the magnitude of an
  // unsigned type, which a short content with its top bit set never makes
  // negative.
  int read_integer(std::uint32_t n, std::uint32_t& out, bool sign_extend = true) {
    if (left() < n) return fail();
    if (n > 5 || (n == 5 && cur_[0] != 0)) return pms::kDecodeError;
    std::uint32_t v = (sign_extend && n && (cur_[0] & 0x80)) ? 0xFFFFFFFFu : 0;
    for (std::uint32_t i = 0; i < n; ++i) v = (v << 8) | *cur_++;
    out = v;
    return 0;
  }
  const std::uint8_t* take(std::uint32_t n) {
    if (left() < n) {
      fail();
      return nullptr;
    }
    const std::uint8_t* p = cur_;
    cur_ += n;
    return p;
  }

 private:
  int fail() {
    exhausted_ = true;
    return pms::kDecodeError;
  }
  const std::uint8_t* start_ = nullptr;
  const std::uint8_t* cur_ = nullptr;
  const std::uint8_t* end_ = nullptr;
  bool exhausted_ = false;
};

class CPmsTransStreamDecoder final : public IPmsStreamDecoder, private IPmsAsnVisitor {
 public:
  void release() override { delete this; }
  void set_buffer(const CPmcMessageBuffer* buffer) override { buffer_ = buffer; }
  void set_sender_kind(std::int32_t kind) override { sender_kind_ = kind; }
  void set_header_only(bool on) override { header_only_ = on; }

  int decode_packet(IPmsSnmpPacket* packet) override {
    if (!packet) return pms::kBadArgument;
    if (!packet->get_target()) {
      if (sender_kind_ == kPmsSenderNone) {
        g_log.log(kPmcLogError, "decode error: unknown translate type.");
        return pms::kBadArgument;
      }
      int err = 0;
      auto t = pms_create_target(sender_kind_, &err);
      if (!t) return err;
      packet->set_target(std::move(t));
    }
    if (!packet->get_pdu()) {
      int err = 0;
      auto p = pms_create_pdu(&err);
      if (!p) return err;
      packet->set_pdu(std::move(p));
    }
    return decode_message(*packet->get_pdu(), *packet->get_target());
  }

  int decode_message(IPmsPdu& pdu, IPmsSnmpTarget& target) override {
    if (!buffer_) return pms::kBadArgument;
    r_.reset(buffer_->message(), buffer_->remaining());
    std::uint8_t tag;
    std::uint32_t len;
    if (r_.read_tag(tag) || tag != kTagSequence || r_.read_length(len)) return pms::kDecodeError;
    std::uint64_t total = std::uint64_t{r_.offset()} + len;
    if (total < buffer_->remaining()) {
      g_log.log(kPmcLogInfo, "received packet is redundancy. be cut down.");
      r_.set_end(static_cast<std::uint32_t>(total));
    } else if (total > buffer_->remaining()) {
      g_log.log(kPmcLogError, "decode error: lack of received packet. can't go on decoding any more.");
      return pms::kDecodeError;
    }
    int r = target.accept(*this);
    if (r) return r;
    return decode_pdu(pdu);
  }

  int decode_community_header(IPmsSnmpTarget& target, IPmsCommunity& community) override {
    std::uint32_t len, v;
    if (r_.read_header(kPmsInteger, len) || r_.read_integer(len, v)) return pms::kDecodeError;
    if (v != 0 && v != 1) {
      g_log.log(kPmcLogError, "decode error: unsupported snmp version.");
      return pms::kDecodeError;
    }
    version_ = static_cast<std::int32_t>(v);
    target.set_version(version_);
    if (r_.read_header(kPmsOctetString, len)) return pms::kDecodeError;
    const std::uint8_t* p = r_.take(len);
    if (!p) return pms::kDecodeError;
    std::string text(reinterpret_cast<const char*>(p), len);
    return community.set_community(text.c_str());  // the text ends at a zero byte
  }
  int decode_usm_header(IPmsSnmpTarget&, IPmsUsm&) override { return pms::kNotSupported; }

  int decode_pdu(IPmsPdu& pdu) override {
    std::uint8_t tag;
    if (r_.read_tag(tag)) return pms::kDecodeError;
    std::int32_t type = pdu_type(tag);
    if (type == kPduNone) {
      g_log.log(kPmcLogError, "decode error: unknown pdu type.");
      return pms::kDecodeError;
    }
    pdu.set_type(type);
    std::uint32_t len;
    if (r_.read_length(len)) return pms::kDecodeError;
    if (len != r_.left()) {
      g_log.log(kPmcLogError, "decode error: pdu length is wrong.");
      return pms::kDecodeError;
    }
    int r;
    if (type != kPduTrap) {
      r = decode_request_header(pdu);
    } else if (version_ == kSnmpV1 && tag == 0xA4) {
      r = decode_trap_header(pdu);
    } else if (version_ == kSnmpV1) {
      r = pms::kDecodeError;  // an SNMPv2 trap inside an SNMPv1 message
    } else {
      r = decode_v2_trap_header(pdu);
    }
    if (r || header_only_) return r;
    if (!pdu.get_var_bind_list()) {
      int err = 0;
      auto l = pms_create_var_bind_list(&err);
      if (!l) return err;
      pdu.set_var_bind_list(std::move(l));
    }
    IPmsVarBindList& list = *pdu.get_var_bind_list();
    if ((r = decode_var_bind_list(list))) return r;
    if (type != kPduTrap && pdu.get_error_status() != 0) {
      list.mark_error(pdu.get_error_status(), pdu.get_error_index());
    } else {
      list.set_all_status(0);
    }
    return 0;
  }

  int decode_request_header(IPmsPdu& pdu) override {
    std::int32_t id, status, index;
    if (read_int(id)) return pms::kDecodeError;
    pdu.set_request_id(id);
    if (read_int(status)) return pms::kDecodeError;
    if (status < 0 || status > 18) {
      g_log.log(kPmcLogError, "decode error: error_status's value is wrong.");
      return pms::kDecodeError;
    }
    pdu.set_error_status(status);
    if (read_int(index)) return pms::kDecodeError;
    pdu.set_error_index(index);
    return 0;
  }

  int decode_trap_header(IPmsPdu& pdu) override {
    int err = 0;
    auto enterprise = pms_create_oid(&err);
    if (!enterprise) return err;
    int r = decode_oid(*enterprise);
    if (r) return r;
    auto agent = pms_create_value(kPmsIpAddress, &err);
    if (!agent) return err;
    if ((r = decode_octets(*agent))) return r;
    std::int32_t generic, specific;
    if (read_int(generic) || read_int(specific)) return pms::kDecodeError;
    if (generic == 6) {
      if ((r = enterprise->append_arc(0)) || (r = enterprise->append_arc(static_cast<std::uint32_t>(specific))))
        return r == pms::kBadArgument ? pms::kDecodeError : r;
    } else if (generic >= 0 && generic <= 5) {
      enterprise->set_text(kStandardTraps);
      enterprise->append_arc(0);
      enterprise->append_arc(static_cast<std::uint32_t>(generic) + 1);
    } else {
      g_log.log(kPmcLogError, "decode error: generic trap No. > 6. ");
      return pms::kDecodeError;
    }
    if (pdu.get_trap_oid()) {
      pdu.get_trap_oid()->copy_from(enterprise.get());
    } else {
      auto v = pms_as_value(std::move(enterprise));
      pdu.set_trap_oid(v);
    }
    if (!pdu.get_trap_time_stamp()) {
      auto ts = pms_create_value(kPmsTimeTicks, &err);
      if (!ts) return err;
      pdu.set_trap_time_stamp(ts);
    }
    return decode_unsigned(*pdu.get_trap_time_stamp());
  }
  int decode_v2_trap_header(IPmsPdu&) override { return pms::kNotSupported; }

  int decode_var_bind_list(IPmsVarBindList& list) override {
    std::uint32_t len;
    if (r_.read_header(kTagSequence, len)) return pms::kDecodeError;
    if (len != r_.left()) {
      g_log.log(kPmcLogError, "decode error: length of var bind list is wrong.");
      return pms::kDecodeError;
    }
    std::uint32_t n = 0;
    while (r_.left() > 0) {
      IPmsVarBind* b = list.get_at(n);
      if (!b) {
        int err = 0;
        auto nb = pms_create_var_bind(&err);
        if (!nb) return err;
        b = nb.get();
        if ((err = list.append(std::move(nb)))) return err;
      }
      int r = decode_var_bind(*b);
      ++n;
      if (r) return r;
    }
    while (list.count() > n) list.remove_at(list.count() - 1, nullptr);
    return 0;
  }

  int decode_var_bind(IPmsVarBind& binding) override {
    std::uint32_t len;
    if (r_.read_header(kTagSequence, len)) return pms::kDecodeError;
    std::uint32_t begin = r_.offset();
    if (!binding.get_oid()) {
      int err = 0;
      auto o = pms_create_oid(&err);
      if (!o) return err;
      binding.set_oid(std::move(o));
    }
    int r = decode_oid(*binding.get_oid());
    if (r) return r;
    std::uint8_t tag;
    if (r_.read_tag(tag)) return pms::kDecodeError;
    r_.step_back();
    if (!known_tag(tag)) {
      g_log.log(kPmcLogError, "decode error: unknown asn type.");
      return pms::kDecodeError;
    }
    if (!binding.get_value() || binding.get_value()->get_tag() != tag) {
      int err = 0;
      auto v = pms_create_value(tag, &err);
      if (!v) return err;
      binding.set_value(std::move(v));
    }
    if ((r = binding.get_value()->accept(*this))) return r;
    if (r_.offset() - begin != len) {
      g_log.log(kPmcLogError, "decode error: length of var bind is wrong.");
      return pms::kDecodeError;
    }
    return 0;
  }

 private:
  static std::int32_t pdu_type(std::uint8_t tag) {
    switch (tag) {
      case 0xA0: return kPduGet;
      case 0xA1: return kPduGetNext;
      case 0xA2: return kPduResponse;
      case 0xA3: return kPduSet;
      case 0xA4:
      case 0xA7: return kPduTrap;
      case 0xA5: return kPduGetBulk;
      case 0xA6: return kPduInform;
      case 0xA8: return kPduReport;
      default: return kPduNone;
    }
  }
  static bool known_tag(std::uint8_t tag) {
    switch (tag) {
      case 0x02: case 0x04: case 0x05: case 0x06: case 0x40: case 0x41: case 0x42:
      case 0x43: case 0x44: case 0x46: case 0x80: case 0x81: case 0x82:
        return true;
      default:
        return false;
    }
  }

  int read_int(std::int32_t& out) {
    std::uint32_t len, v;
    if (r_.read_header(kPmsInteger, len) || r_.read_integer(len, v)) return pms::kDecodeError;
    out = static_cast<std::int32_t>(v);
    return 0;
  }

  int decode_oid(IPmsObjectId& oid) {
    std::uint32_t len;
    if (r_.read_header(kPmsObjectId, len)) return pms::kDecodeError;
    const std::uint8_t* p = r_.take(len);
    if (!p) return pms::kDecodeError;
    std::uint32_t arcs[kPmsMaxOidArcs];
    std::size_t n = 0;
    for (std::uint32_t i = 0; i < len;) {
      std::uint64_t v = 0;
      bool more = true;
      while (more) {
        if (i >= len) {
          g_log.log(kPmcLogError, "decode error. oid format is wrong.");
          return pms::kDecodeError;
        }
        std::uint8_t b = p[i++];
        v = (v << 7) | (b & 0x7F);
        more = (b & 0x80) != 0;
        if (v > 0xFFFFFFFFull + 80) return pms::kDecodeError;  // an arc wider than 32 bits
      }
      if (n == 0) {
        std::uint32_t first = v < 40 ? 0 : v < 80 ? 1 : 2;
        std::uint64_t second = v - first * 40ull;
        if (second > 0xFFFFFFFFull) return pms::kDecodeError;
        arcs[n++] = first;
        arcs[n++] = static_cast<std::uint32_t>(second);
      } else {
        if (v > 0xFFFFFFFFull || n >= kPmsMaxOidArcs) return pms::kDecodeError;
        arcs[n++] = static_cast<std::uint32_t>(v);
      }
    }
    return oid.set_arcs(std::span<const std::uint32_t>(arcs, n));
  }

  int decode_octets(IPmsAsnValue& v) {
    std::uint32_t len;
    if (r_.read_header(static_cast<std::uint8_t>(v.get_tag()), len)) return pms::kDecodeError;
    const std::uint8_t* p = r_.take(len);
    if (!p) return pms::kDecodeError;
    return v.set_bytes(p, len);
  }

  int decode_unsigned(IPmsAsnValue& v) {
    std::uint32_t len, u;
    if (r_.read_header(static_cast<std::uint8_t>(v.get_tag()), len)) return pms::kDecodeError;
    // Unsigned types: up to four significant bytes, or five with a leading zero.
    if (r_.read_integer(len, u, false)) return pms::kDecodeError;
    return v.set_uint(u);
  }

  int visit_object_id(IPmsObjectId& v) override { return decode_oid(v); }
  int visit_octets(IPmsAsnValue& v) override { return decode_octets(v); }
  int visit_integer(IPmsAsnValue& v) override {
    std::int32_t i;
    if (read_int(i)) return pms::kDecodeError;
    return v.set_int(i);
  }
  int visit_null(IPmsAsnValue& v) override { return decode_empty(v); }
  int visit_counter32(IPmsAsnValue& v) override { return decode_unsigned(v); }
  int visit_gauge32(IPmsAsnValue& v) override { return decode_unsigned(v); }
  int visit_time_ticks(IPmsAsnValue& v) override { return decode_unsigned(v); }
  int visit_counter64(IPmsAsnValue& v) override {
    std::uint32_t len;
    if (r_.read_header(kPmsCounter64, len)) return pms::kDecodeError;
    const std::uint8_t* p = r_.take(len);
    if (!p) {
      g_log.log(kPmcLogError, "decode error: counter64 format is wrong.");
      return pms::kDecodeError;
    }
    // Nine bytes only with a leading zero: a wider number does not fit.
    if (len > 9 || (len == 9 && p[0] != 0)) return pms::kDecodeError;
    std::uint64_t value = 0;  // unsigned: never sign-extended
    for (std::uint32_t i = 0; i < len; ++i) value = (value << 8) | p[i];
    v.set_high(static_cast<std::uint32_t>(value >> 32));
    v.set_low(static_cast<std::uint32_t>(value));
    return 0;
  }
  int visit_ip_address(IPmsAsnValue& v) override { return decode_octets(v); }
  int visit_ipv6_address(IPmsAsnValue&) override { return pms::kDecodeError; }
  int visit_udp_address(IPmsAsnValue&) override { return pms::kNotSupported; }
  int visit_ipx_address(IPmsAsnValue&) override { return pms::kNotSupported; }
  int visit_exception(IPmsAsnValue& v) override { return decode_empty(v); }

  int decode_empty(IPmsAsnValue& v) {
    std::uint32_t len;
    if (r_.read_header(static_cast<std::uint8_t>(v.get_tag()), len) || len != 0) return pms::kDecodeError;
    return 0;
  }

  const CPmcMessageBuffer* buffer_ = nullptr;
  std::int32_t version_ = kSnmpUnset;
  std::int32_t sender_kind_ = kPmsSenderNone;
  bool header_only_ = false;
  Reader r_;
};

class CTransStreamFactory final : public IPmsStreamFactory {
 public:
  const char* name() const override { return "TransStream"; }
  PmsOwn<IPmsStreamEncoder> create_encoder(int* err) override {
    auto* e = new (std::nothrow) CPmsTransStreamEncoder;
    pms::set_err(err, e ? 0 : pms::kNoMemory);
    return PmsOwn<IPmsStreamEncoder>(e);
  }
  PmsOwn<IPmsStreamDecoder> create_decoder(int* err) override {
    auto* d = new (std::nothrow) CPmsTransStreamDecoder;
    pms::set_err(err, d ? 0 : pms::kNoMemory);
    return PmsOwn<IPmsStreamDecoder>(d);
  }
};

}  // namespace

IPmsStreamFactory* pms_trans_stream_factory() {
  static CTransStreamFactory factory;
  return &factory;
}

