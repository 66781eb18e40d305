#include "snmp/asn_value.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "snmp/object_pool.h"

namespace {

// ---- octet buffer ------------------------------------------------------------

class CPmsOctetBuffer final : public IPmsOctetBuffer {
 public:
  void release() override { delete this; }
  std::uint32_t length() const override { return static_cast<std::uint32_t>(bytes_.empty() ? 0 : bytes_.size() - 1); }
  const std::uint8_t* data() const override { return bytes_.empty() ? nullptr : bytes_.data(); }
  int set(const void* bytes, std::uint32_t n) override {
    if (n == 0) {
      bytes_.clear();
      return 0;
    }
    if (!bytes) return pms::kBadArgument;
    try {
      std::vector<std::uint8_t> b(n + 1, 0);
      std::memcpy(b.data(), bytes, n);
      bytes_.swap(b);
    } catch (const std::bad_alloc&) {
      return pms::kNoMemory;
    }
    return 0;
  }
  int set_text(const char* text) override {
    return set(text, text ? static_cast<std::uint32_t>(std::strlen(text)) : 0);
  }
  int append(const void* bytes, std::uint32_t n) override {
    if (n == 0) return 0;
    if (!bytes) return pms::kBadArgument;
    try {
      std::vector<std::uint8_t> b;
      b.reserve(length() + n + 1);
      b.assign(bytes_.begin(), bytes_.empty() ? bytes_.end() : bytes_.end() - 1);
      const auto* p = static_cast<const std::uint8_t*>(bytes);
      b.insert(b.end(), p, p + n);
      b.push_back(0);
      bytes_.swap(b);
    } catch (const std::bad_alloc&) {
      return pms::kNoMemory;
    }
    return 0;
  }
  int append_text(const char* text) override {
    return text ? append(text, static_cast<std::uint32_t>(std::strlen(text))) : 0;
  }
  int append_buffer(const IPmsOctetBuffer* other) override {
    return other ? append(other->data(), other->length()) : 0;
  }
  int clone(PmsOwn<IPmsOctetBuffer>* out) const override {
    if (!out) return pms::kBadArgument;
    out->reset();
    auto* b = new (std::nothrow) CPmsOctetBuffer;
    if (!b) return pms::kNoMemory;
    PmsOwn<IPmsOctetBuffer> own(b);
    int r = b->set(data(), length());
    if (r) return r;
    *out = std::move(own);
    return 0;
  }
  bool equals(const void* bytes, std::uint32_t n) const override {
    if (n == 0) return length() == 0;
    return bytes && length() == n && std::memcmp(bytes_.data(), bytes, n) == 0;
  }
  bool equals_text(const char* text) const override {
    return text && equals(text, static_cast<std::uint32_t>(std::strlen(text)));
  }
  bool equals_buffer(const IPmsOctetBuffer* other) const override {
    return other && equals(other->data(), other->length());
  }

 private:
  std::vector<std::uint8_t> bytes_;  // content plus one zero byte, or empty
};

PmsOwn<IPmsOctetBuffer> new_buffer(int* err) {
  auto* b = new (std::nothrow) CPmsOctetBuffer;
  pms::set_err(err, b ? 0 : pms::kNoMemory);
  return PmsOwn<IPmsOctetBuffer>(b);
}

// ---- small parsers -------------------------------------------------------------

// Reads decimal digits at p; false when there are none or the value passes max.
bool read_dec(const char*& p, std::uint64_t max, std::uint64_t& out) {
  if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  std::uint64_t v = 0;
  while (std::isdigit(static_cast<unsigned char>(*p))) {
    v = v * 10 + static_cast<unsigned>(*p - '0');
    if (v > max) return false;
    ++p;
  }
  out = v;
  return true;
}

bool read_hex(const char*& p, int min_digits, int max_digits, std::uint64_t max, std::uint64_t& out) {
  std::uint64_t v = 0;
  int n = 0;
  while (n < max_digits && std::isxdigit(static_cast<unsigned char>(*p))) {
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    v = v * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'a' + 10);
    if (v > max) return false;
    ++p;
    ++n;
  }
  if (n < min_digits) return false;
  out = v;
  return true;
}

bool parse_dotted_quad(const char*& p, std::uint8_t out[4]) {
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && *p++ != '.') return false;
    std::uint64_t v;
    if (!read_dec(p, 255, v)) return false;
    out[i] = static_cast<std::uint8_t>(v);
  }
  return true;
}

// Parses a dotted OID text. False for anything but decimal arcs separated
// by single dots without leading zeros, an arc above 2^32-1, or more arcs
// than an OID may hold.
bool parse_oid_text(const char* text, std::vector<std::uint32_t>& arcs) {
  arcs.clear();
  if (*text == 0) return true;
  const char* p = text;
  for (;;) {
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    if (*p == '0' && std::isdigit(static_cast<unsigned char>(p[1]))) return false;
    std::uint64_t v;
    if (!read_dec(p, 0xFFFFFFFFu, v)) return false;
    if (arcs.size() >= kPmsMaxOidArcs) return false;
    arcs.push_back(static_cast<std::uint32_t>(v));
    if (*p == 0) return true;
    if (*p++ != '.') return false;
  }
}

std::string arcs_text(std::span<const std::uint32_t> arcs) {
  std::string s;
  s.reserve(arcs.size() * 4);
  char tmp[12];
  for (std::size_t i = 0; i < arcs.size(); ++i) {
    if (i) s.push_back('.');
    int n = std::snprintf(tmp, sizeof tmp, "%u", arcs[i]);
    s.append(tmp, static_cast<std::size_t>(n));
  }
  return s;
}

// Relation of two dotted texts, character by character.
int compare_texts(const char* a, const char* b) {
  while (*a && *a == *b) { ++a; ++b; }
  if (*a == 0 && *b == 0) return kOidEqual;
  if (*a == 0) return *b == '.' ? kOidOtherBelow : kOidBefore;
  if (*b == 0) return *a == '.' ? kOidThisBelow : kOidAfter;
  return static_cast<unsigned char>(*a) < static_cast<unsigned char>(*b) ? kOidBefore : kOidAfter;
}

// The same relation over arcs: at the first differing arc the decimal
// texts decide, as they would in the dotted text.
int compare_arcs(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    char x[12], y[12];
    std::snprintf(x, sizeof x, "%u", a[i]);
    std::snprintf(y, sizeof y, "%u", b[i]);
    return std::strcmp(x, y) < 0 ? kOidBefore : kOidAfter;
  }
  if (a.size() == b.size()) return kOidEqual;
  return a.size() < b.size() ? kOidOtherBelow : kOidThisBelow;
}

// ---- the common base -------------------------------------------------------------

class CPmsAsnValue : public IPmsAsnValue {
 public:
  explicit CPmsAsnValue(std::int32_t tag) : tag_(tag) {}
  void release() override { delete this; }
  std::int32_t get_tag() const override { return tag_; }
  IPmsObjectId* as_object_id() override { return nullptr; }
  const IPmsObjectId* as_object_id() const override { return nullptr; }
  void* query(std::uint32_t id) override {
    if (id == 0xF0000000u + static_cast<std::uint32_t>(tag_) || id == 0xFF00 || id == 0xF000FF00u)
      return static_cast<IPmsAsnValue*>(this);
    return nullptr;
  }
  bool is_valid() const override { return true; }
  std::int32_t get_int(int* err) const override { return fail<std::int32_t>(err, -1); }
  std::uint32_t get_uint(int* err) const override { return fail<std::uint32_t>(err, 0xFFFFFFFFu); }
  PmsOwn<IPmsOctetBuffer> to_text_buffer(int* err) const override {
    auto b = new_buffer(err);
    if (!b) return b;
    int r = to_text(b.get());
    pms::set_err(err, r);
    if (r) b.reset();
    return b;
  }
  int to_text(IPmsOctetBuffer*) const override { return pms::kNotSupported; }
  const std::uint8_t* get_bytes(std::uint32_t* length, int* err) const override {
    if (length) *length = 0;
    return fail<const std::uint8_t*>(err, nullptr);
  }
  PmsOwn<IPmsOctetBuffer> bytes_buffer(int* err) const override {
    auto b = new_buffer(err);
    if (!b) return b;
    int r = copy_bytes(b.get());
    pms::set_err(err, r);
    if (r) b.reset();
    return b;
  }
  int copy_bytes(IPmsOctetBuffer* buffer) const override {
    if (!buffer) return pms::kBadArgument;
    std::uint32_t n = 0;
    int err = 0;
    const std::uint8_t* p = get_bytes(&n, &err);
    if (err) return err;
    return buffer->set(p, n);
  }
  std::uint16_t get_port(int* err) const override { return fail<std::uint16_t>(err, 0xFFFF); }
  std::uint32_t get_high(int* err) const override { return fail<std::uint32_t>(err, 0xFFFFFFFFu); }
  std::uint32_t get_low(int* err) const override { return fail<std::uint32_t>(err, 0xFFFFFFFFu); }
  int set_int(std::int32_t) override { return pms::kNotSupported; }
  int set_uint(std::uint32_t) override { return pms::kNotSupported; }
  int set_text(const char*) override { return pms::kNotSupported; }
  int set_text_from_buffer(const IPmsOctetBuffer* buffer) override {
    if (!buffer) return pms::kBadArgument;
    std::string s(buffer->c_str(), buffer->length());
    return set_text(s.c_str());
  }
  int set_bytes(const void*, std::uint32_t) override { return pms::kNotSupported; }
  int set_bytes_from_buffer(const IPmsOctetBuffer* buffer) override {
    if (!buffer) return pms::kBadArgument;
    return set_bytes(buffer->data(), buffer->length());
  }
  int set_port(std::uint16_t) override { return pms::kNotSupported; }
  int set_high(std::uint32_t) override { return pms::kNotSupported; }
  int set_low(std::uint32_t) override { return pms::kNotSupported; }
  std::uint32_t length() const override { return 0; }
  std::uint32_t index_length(bool) const override { return 0; }
  std::uint32_t get_element(std::uint32_t, int* err) const override { return fail<std::uint32_t>(err, 0); }
  int append_index(IPmsObjectId*, bool) const override { return pms::kNotSupported; }
  int set_oid_to_index(IPmsObjectId* oid, bool implied) const override {
    if (!oid) return pms::kBadArgument;
    oid->clear_arcs();
    return append_index(oid, implied);
  }
  int set_from_index(const IPmsObjectId*, bool, std::int32_t, std::uint32_t*) override { return pms::kNotSupported; }

 protected:
  template <class T>
  static T fail(int* err, T value) {
    pms::set_err(err, pms::kNotSupported);
    return value;
  }
  const std::int32_t tag_;
};

template <class T>
PmsOwn<IPmsAsnValue> make_value(int* err, T* p) {
  pms::set_err(err, p ? 0 : pms::kNoMemory);
  return PmsOwn<IPmsAsnValue>(p);
}

int put_text(IPmsOctetBuffer* buffer, const char* text) {
  if (!buffer) return pms::kBadArgument;
  return buffer->set_text(text);
}

// ---- numbers -----------------------------------------------------------------------

std::int64_t leading_number(const char* text) { return std::strtoll(text, nullptr, 10); }

// INTEGER (signed) and Gauge32, Counter32 and TimeTicks (unsigned, differing
// only in their tag): one 32-bit number, one arc in an index.
template <typename T>
class CPmsNumber32 final : public CPmsAsnValue, public pms::PmsPooled<CPmsNumber32<T>> {
  static constexpr bool kSigned = std::is_signed_v<T>;
  static_assert(sizeof(T) == 4);

 public:
  explicit CPmsNumber32(std::int32_t tag) : CPmsAsnValue(tag) {}
  int accept(IPmsAsnVisitor& v) override {
    if constexpr (kSigned) return v.visit_integer(*this);
    if (tag_ == kPmsCounter32) return v.visit_counter32(*this);
    if (tag_ == kPmsTimeTicks) return v.visit_time_ticks(*this);
    return v.visit_gauge32(*this);
  }
  PmsOwn<IPmsAsnValue> clone(int* err) const override { return make_value(err, new (std::nothrow) CPmsNumber32(*this)); }
  int copy_from(const IPmsAsnValue* other) override {
    if (!other || other->get_tag() != tag_) return pms::kBadArgument;
    value_ = read(other);
    return 0;
  }
  void reset() override { value_ = 0; }
  bool equals(const IPmsAsnValue* other) const override {
    return other && other->get_tag() == tag_ && read(other) == value_;
  }
  std::int32_t get_int(int* err) const override {
    if constexpr (!kSigned) return CPmsAsnValue::get_int(err);
    pms::set_err(err, 0);
    return static_cast<std::int32_t>(value_);
  }
  std::uint32_t get_uint(int* err) const override {
    if constexpr (kSigned) return CPmsAsnValue::get_uint(err);
    pms::set_err(err, 0);
    return static_cast<std::uint32_t>(value_);
  }
  int set_int(std::int32_t value) override {
    if constexpr (!kSigned) return CPmsAsnValue::set_int(value);
    value_ = static_cast<T>(value);
    return 0;
  }
  int set_uint(std::uint32_t value) override {
    if constexpr (kSigned) return CPmsAsnValue::set_uint(value);
    value_ = static_cast<T>(value);
    return 0;
  }
  int to_text(IPmsOctetBuffer* buffer) const override {
    char t[16];
    if constexpr (kSigned)
      std::snprintf(t, sizeof t, "%" PRId32, static_cast<std::int32_t>(value_));
    else
      std::snprintf(t, sizeof t, "%" PRIu32, static_cast<std::uint32_t>(value_));
    return put_text(buffer, t);
  }
  int set_text(const char* text) override {
    if (!text) return pms::kBadArgument;
    value_ = static_cast<T>(leading_number(text));
    return 0;
  }
  std::uint32_t length() const override { return 1; }
  std::uint32_t index_length(bool) const override { return 1; }
  int append_index(IPmsObjectId* oid, bool) const override {
    return oid ? oid->append_arc(static_cast<std::uint32_t>(value_)) : pms::kBadArgument;
  }
  int set_from_index(const IPmsObjectId* oid, bool, std::int32_t, std::uint32_t* used) override {
    if (!oid) return pms::kBadArgument;
    if (oid->arcs().empty()) return pms::kBadIndex;
    value_ = static_cast<T>(oid->arcs()[0]);
    if (used) *used = 1;
    return 0;
  }

 private:
  static T read(const IPmsAsnValue* other) {
    if constexpr (kSigned)
      return other->get_int(nullptr);
    else
      return other->get_uint(nullptr);
  }
  T value_ = 0;
};
using CPmsInteger = CPmsNumber32<std::int32_t>;
using CPmsGauge32 = CPmsNumber32<std::uint32_t>;

class CPmsCounter64 final : public CPmsAsnValue, public pms::PmsPooled<CPmsCounter64> {
 public:
  CPmsCounter64() : CPmsAsnValue(kPmsCounter64) {}
  int accept(IPmsAsnVisitor& v) override { return v.visit_counter64(*this); }
  PmsOwn<IPmsAsnValue> clone(int* err) const override { return make_value(err, new (std::nothrow) CPmsCounter64(*this)); }
  int copy_from(const IPmsAsnValue* other) override {
    if (!other || other->get_tag() != tag_) return pms::kBadArgument;
    high_ = other->get_high(nullptr);
    low_ = other->get_low(nullptr);
    return 0;
  }
  void reset() override { high_ = low_ = 0; }
  bool equals(const IPmsAsnValue* other) const override {
    return other && other->get_tag() == tag_ && other->get_high(nullptr) == high_ && other->get_low(nullptr) == low_;
  }
  std::uint32_t get_uint(int* err) const override { return get_low(err); }
  std::uint32_t get_high(int* err) const override {
    pms::set_err(err, 0);
    return high_;
  }
  std::uint32_t get_low(int* err) const override {
    pms::set_err(err, 0);
    return low_;
  }
  int to_text(IPmsOctetBuffer* buffer) const override {
    char t[24];
    std::snprintf(t, sizeof t, "%" PRIu64, (static_cast<std::uint64_t>(high_) << 32) | low_);
    return put_text(buffer, t);
  }
  int set_uint(std::uint32_t value) override {
    high_ = 0;
    low_ = value;
    return 0;
  }
  int set_high(std::uint32_t value) override {
    high_ = value;
    return 0;
  }
  int set_low(std::uint32_t value) override {
    low_ = value;
    return 0;
  }
  // Decimal digits only; a value past 2^64 - 1 is refused rather than
  // wrapped around.
  int set_text(const char* text) override {
    if (!text) return pms::kBadArgument;
    std::uint64_t v = 0;
    for (const char* p = text; *p; ++p) {
      if (!std::isdigit(static_cast<unsigned char>(*p))) return pms::kBadArgument;
      unsigned d = static_cast<unsigned>(*p - '0');
      if (v > (UINT64_MAX - d) / 10) return pms::kBadArgument;
      v = v * 10 + d;
    }
    high_ = static_cast<std::uint32_t>(v >> 32);
    low_ = static_cast<std::uint32_t>(v);
    return 0;
  }
  std::uint32_t length() const override { return 1; }

 private:
  std::uint32_t high_ = 0;
  std::uint32_t low_ = 0;
};

// NULL and the three exceptions: a tag and nothing else.
class CPmsNullLike final : public CPmsAsnValue, public pms::PmsPooled<CPmsNullLike> {
 public:
  explicit CPmsNullLike(std::int32_t tag) : CPmsAsnValue(tag) {}
  int accept(IPmsAsnVisitor& v) override { return tag_ == kPmsNull ? v.visit_null(*this) : v.visit_exception(*this); }
  PmsOwn<IPmsAsnValue> clone(int* err) const override { return make_value(err, new (std::nothrow) CPmsNullLike(tag_)); }
  int copy_from(const IPmsAsnValue* other) override {
    return (!other || other->get_tag() != tag_) ? pms::kBadArgument : 0;
  }
  void reset() override {}
  bool equals(const IPmsAsnValue* other) const override { return other && other->get_tag() == tag_; }
  void* query(std::uint32_t id) override {
    if (tag_ != kPmsNull && id == 0xF000FF01u) return static_cast<IPmsAsnValue*>(this);
    return CPmsAsnValue::query(id);
  }
};

// ---- octet classes --------------------------------------------------------------

class CPmsOctets final : public CPmsAsnValue, public pms::PmsPooled<CPmsOctets> {
 public:
  explicit CPmsOctets(std::int32_t tag) : CPmsAsnValue(tag), fixed_(fixed_size(tag)), bytes_(fixed_, 0) {}
  static std::uint32_t fixed_size(std::int32_t tag) {
    switch (tag) {
      case kPmsIpAddress: return 4;
      case kPmsIpv6Address: return 16;
      case kPmsUdpAddress: return 6;
      case kPmsIpxAddress: return 12;
      default: return 0;
    }
  }
  int accept(IPmsAsnVisitor& v) override {
    switch (tag_) {
      case kPmsIpAddress: return v.visit_ip_address(*this);
      case kPmsIpv6Address: return v.visit_ipv6_address(*this);
      case kPmsUdpAddress: return v.visit_udp_address(*this);
      case kPmsIpxAddress: return v.visit_ipx_address(*this);
      default: return v.visit_octets(*this);
    }
  }
  PmsOwn<IPmsAsnValue> clone(int* err) const override {
    CPmsOctets* c = nullptr;
    try {
      c = new CPmsOctets(*this);
    } catch (const std::bad_alloc&) {
    }
    return make_value(err, c);
  }
  int copy_from(const IPmsAsnValue* other) override {
    if (!other || other->get_tag() != tag_) return pms::kBadArgument;
    std::uint32_t n = 0;
    const std::uint8_t* p = other->get_bytes(&n, nullptr);
    return store(p, n);
  }
  void reset() override { bytes_.assign(fixed_, 0); }
  bool equals(const IPmsAsnValue* other) const override {
    if (!other || other->get_tag() != tag_) return false;
    std::uint32_t n = 0;
    const std::uint8_t* p = other->get_bytes(&n, nullptr);
    return n == bytes_.size() && (n == 0 || std::memcmp(p, bytes_.data(), n) == 0);
  }
  void* query(std::uint32_t id) override {
    if (id == 0xF0000004u) return static_cast<IPmsAsnValue*>(this);
    return CPmsAsnValue::query(id);
  }
  std::uint32_t get_uint(int* err) const override {
    if (tag_ != kPmsIpAddress && tag_ != kPmsUdpAddress) return CPmsAsnValue::get_uint(err);
    pms::set_err(err, 0);
    return (std::uint32_t{bytes_[0]} << 24) | (std::uint32_t{bytes_[1]} << 16) | (std::uint32_t{bytes_[2]} << 8) |
           bytes_[3];
  }
  int set_uint(std::uint32_t v) override {
    if (tag_ != kPmsIpAddress && tag_ != kPmsUdpAddress) return pms::kNotSupported;
    for (int i = 0; i < 4; ++i) bytes_[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    return 0;
  }
  std::uint16_t get_port(int* err) const override {
    if (tag_ != kPmsUdpAddress && tag_ != kPmsIpxAddress) return CPmsAsnValue::get_port(err);
    pms::set_err(err, 0);
    std::size_t n = bytes_.size();
    return static_cast<std::uint16_t>((bytes_[n - 2] << 8) | bytes_[n - 1]);
  }
  int set_port(std::uint16_t v) override {
    if (tag_ != kPmsUdpAddress && tag_ != kPmsIpxAddress) return pms::kNotSupported;
    std::size_t n = bytes_.size();
    bytes_[n - 2] = static_cast<std::uint8_t>(v >> 8);
    bytes_[n - 1] = static_cast<std::uint8_t>(v);
    return 0;
  }
  const std::uint8_t* get_bytes(std::uint32_t* length, int* err) const override {
    pms::set_err(err, 0);
    if (length) *length = static_cast<std::uint32_t>(bytes_.size());
    return bytes_.data();
  }
  int set_bytes(const void* bytes, std::uint32_t n) override {
    if (fixed_ && n != fixed_) return pms::kBadArgument;
    if (n && !bytes) return pms::kBadArgument;
    return store(static_cast<const std::uint8_t*>(bytes), n);
  }
  int to_text(IPmsOctetBuffer* buffer) const override {
    if (!buffer) return pms::kBadArgument;
    char t[64];
    const auto* b = bytes_.data();
    switch (tag_) {
      case kPmsIpAddress:
        std::snprintf(t, sizeof t, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
        break;
      case kPmsUdpAddress:
        std::snprintf(t, sizeof t, "%d.%d.%d.%d/%d", b[0], b[1], b[2], b[3], (b[4] << 8) | b[5]);
        break;
      case kPmsIpxAddress:
        std::snprintf(t, sizeof t, "%02x%02x%02x%02x:%02x%02x%02x%02x%02x%02x/%x", b[0], b[1], b[2], b[3], b[4], b[5],
                      b[6], b[7], b[8], b[9], (b[10] << 8) | b[11]);
        break;
      case kPmsIpv6Address:
        std::snprintf(t, sizeof t, "%x:%x:%x:%x:%x:%x:%x:%x", (b[0] << 8) | b[1], (b[2] << 8) | b[3],
                      (b[4] << 8) | b[5], (b[6] << 8) | b[7], (b[8] << 8) | b[9], (b[10] << 8) | b[11],
                      (b[12] << 8) | b[13], (b[14] << 8) | b[15]);
        break;
      default:
        return buffer->set(bytes_.data(), static_cast<std::uint32_t>(bytes_.size()));
    }
    return buffer->set_text(t);
  }
  int set_text(const char* text) override;
  std::uint32_t length() const override { return static_cast<std::uint32_t>(bytes_.size()); }
  std::uint32_t get_element(std::uint32_t i, int* err) const override {
    if (i >= bytes_.size()) {
      pms::set_err(err, pms::kBadArgument);
      return 0;
    }
    pms::set_err(err, 0);
    return bytes_[i];
  }
  std::uint32_t index_length(bool implied) const override {
    std::uint32_t n = static_cast<std::uint32_t>(bytes_.size());
    if (tag_ == kPmsUdpAddress || tag_ == kPmsIpxAddress) return n + (implied ? 1 : 2);
    return n + (implied ? 0 : 1);
  }
  int append_index(IPmsObjectId* oid, bool implied) const override {
    if (!oid) return pms::kBadArgument;
    std::vector<std::uint32_t> arcs(oid->arcs().begin(), oid->arcs().end());
    if (tag_ == kPmsUdpAddress) arcs.push_back(1);
    if (tag_ == kPmsIpxAddress) arcs.push_back(5);
    if (!implied) arcs.push_back(static_cast<std::uint32_t>(bytes_.size()));
    arcs.insert(arcs.end(), bytes_.begin(), bytes_.end());
    return oid->set_arcs(arcs);
  }
  int set_from_index(const IPmsObjectId* oid, bool implied, std::int32_t length, std::uint32_t* used) override;

 private:
  int store(const std::uint8_t* p, std::uint32_t n) {
    try {
      bytes_.assign(p, p + n);
    } catch (const std::bad_alloc&) {
      return pms::kNoMemory;
    }
    return 0;
  }
  std::uint32_t fixed_;
  std::vector<std::uint8_t> bytes_;
};

int CPmsOctets::set_text(const char* text) {
  if (fixed_ == 0) {
    if (!text) return store(nullptr, 0);
    return store(reinterpret_cast<const std::uint8_t*>(text), static_cast<std::uint32_t>(std::strlen(text)));
  }
  reset();
  if (!text) return pms::kBadArgument;
  std::uint8_t b[16] = {};
  const char* p = text;
  std::uint64_t v = 0;
  switch (tag_) {
    case kPmsIpAddress:
      if (!parse_dotted_quad(p, b) || *p) return pms::kBadArgument;
      break;
    case kPmsUdpAddress:
      if (!parse_dotted_quad(p, b) || *p++ != '/' || !read_dec(p, 65535, v) || *p) return pms::kBadArgument;
      b[4] = static_cast<std::uint8_t>(v >> 8);
      b[5] = static_cast<std::uint8_t>(v);
      break;
    case kPmsIpxAddress:
      for (int i = 0; i < 10; ++i) {
        if (i == 4 && *p++ != ':') return pms::kBadArgument;
        if (!read_hex(p, 1, 2, 0xFF, v)) return pms::kBadArgument;
        b[i] = static_cast<std::uint8_t>(v);
      }
      if (*p++ != '/' || !read_hex(p, 1, 8, 0xFFFF, v) || *p) return pms::kBadArgument;
      b[10] = static_cast<std::uint8_t>(v >> 8);
      b[11] = static_cast<std::uint8_t>(v);
      break;
    case kPmsIpv6Address:
      for (int i = 0; i < 8; ++i) {
        if (i > 0 && *p++ != ':') return pms::kBadArgument;
        if (!read_hex(p, 1, 4, 0xFFFF, v)) return pms::kBadArgument;
        b[2 * i] = static_cast<std::uint8_t>(v >> 8);
        b[2 * i + 1] = static_cast<std::uint8_t>(v);
      }
      if (*p) return pms::kBadArgument;
      break;
    default:
      return pms::kBadArgument;
  }
  std::memcpy(bytes_.data(), b, fixed_);
  return 0;
}

int CPmsOctets::set_from_index(const IPmsObjectId* oid, bool implied, std::int32_t length, std::uint32_t* used) {
  if (!oid) return pms::kBadArgument;
  auto arcs = oid->arcs();
  std::size_t pos = 0;
  if (tag_ == kPmsUdpAddress || tag_ == kPmsIpxAddress) {
    if (arcs.empty() || arcs[0] != (tag_ == kPmsUdpAddress ? 1u : 5u)) return pms::kBadIndex;
    pos = 1;
  }
  std::size_t n;
  if (!implied) {
    if (pos >= arcs.size()) return pms::kBadIndex;
    std::uint32_t len = arcs[pos++];
    if (fixed_ && len != fixed_) return pms::kBadIndex;
    if (len > arcs.size()) return pms::kBadIndex;
    if (pos + len > arcs.size()) return pms::kArcOutOfRange;
    n = len;
  } else if (fixed_) {
    n = fixed_;
    if (pos + n > arcs.size()) return pms::kBadIndex;
  } else {
    std::size_t avail = arcs.size() - pos;
    n = (length < 0) ? avail : std::min(avail, static_cast<std::size_t>(length));
  }
  std::vector<std::uint8_t> b;
  b.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (arcs[pos + i] > 255) return pms::kBadIndex;
    b.push_back(static_cast<std::uint8_t>(arcs[pos + i]));
  }
  bytes_.swap(b);
  if (used) *used = static_cast<std::uint32_t>(pos + n);
  return 0;
}

// Arc storage with room for 16 arcs inside the object, so that the OIDs of
// ordinary bindings need no block of their own.
class ArcVec {
 public:
  ArcVec() = default;
  ArcVec(const ArcVec& o) { assign(o.begin(), o.end()); }
  ArcVec& operator=(const ArcVec& o) {
    if (this != &o) assign(o.begin(), o.end());
    return *this;
  }
  ~ArcVec() {
    if (data_ != inline_) delete[] data_;
  }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return cap_; }
  bool empty() const { return size_ == 0; }
  std::uint32_t* data() { return data_; }
  const std::uint32_t* data() const { return data_; }
  std::uint32_t* begin() { return data_; }
  std::uint32_t* end() { return data_ + size_; }
  const std::uint32_t* begin() const { return data_; }
  const std::uint32_t* end() const { return data_ + size_; }
  std::uint32_t front() const { return data_[0]; }
  std::uint32_t operator[](std::size_t i) const { return data_[i]; }
  void clear() { size_ = 0; }
  // Throws std::bad_alloc when a larger block cannot be had; the content
  // is then unchanged.
  void reserve(std::size_t n) {
    if (n <= cap_) return;
    auto* block = new std::uint32_t[n];
    std::copy(begin(), end(), block);
    if (data_ != inline_) delete[] data_;
    data_ = block;
    cap_ = n;
  }
  template <class It>
  void assign(It first, It last) {
    std::size_t n = static_cast<std::size_t>(last - first);
    if (n > cap_) {
      auto* block = new std::uint32_t[n];
      std::copy(first, last, block);
      if (data_ != inline_) delete[] data_;
      data_ = block;
      cap_ = n;
    } else {
      std::copy(first, last, data_);
    }
    size_ = n;
  }
  void push_back(std::uint32_t a) {
    if (size_ == cap_) reserve(cap_ * 2);
    data_[size_++] = a;
  }
  template <class It>
  void append(It first, It last) {
    std::size_t n = static_cast<std::size_t>(last - first);
    if (size_ + n > cap_) reserve(std::max(cap_ * 2, size_ + n));
    std::copy(first, last, data_ + size_);
    size_ += n;
  }
  void erase_range(std::size_t from, std::size_t to) {
    std::copy(data_ + to, data_ + size_, data_ + from);
    size_ -= to - from;
  }
  bool operator==(const ArcVec& o) const { return std::equal(begin(), end(), o.begin(), o.end()); }

 private:
  std::uint32_t inline_[16];
  std::uint32_t* data_ = inline_;
  std::size_t size_ = 0;
  std::size_t cap_ = 16;
};

// ---- object identifier -------------------------------------------------------------

class CPmsObjectId final : public IPmsObjectId, public pms::PmsPooled<CPmsObjectId> {
 public:
  void release() override { delete this; }
  int accept(IPmsAsnVisitor& v) override { return v.visit_object_id(*this); }
  PmsOwn<IPmsAsnValue> clone(int* err) const override { return pms_as_value(clone_oid(err)); }
  PmsOwn<IPmsObjectId> clone_oid(int* err) const override {
    CPmsObjectId* c = nullptr;
    try {
      c = new CPmsObjectId(*this);
    } catch (const std::bad_alloc&) {
    }
    pms::set_err(err, c ? 0 : pms::kNoMemory);
    return PmsOwn<IPmsObjectId>(c);
  }
  int copy_from(const IPmsAsnValue* other) override {
    if (!other || other->get_tag() != kPmsObjectId) return pms::kBadArgument;
    const auto* o = static_cast<const CPmsObjectId*>(other->as_object_id());
    if (o == this) return 0;
    try {
      arcs_ = o->arcs_;
      raw_ = o->raw_;
    } catch (const std::bad_alloc&) {
      return pms::kNoMemory;
    }
    invalid_ = o->invalid_;
    text_valid_ = false;
    return 0;
  }
  void reset() override { clear_arcs(); }
  std::int32_t get_tag() const override { return kPmsObjectId; }
  bool equals(const IPmsAsnValue* other) const override {
    if (!other || other->get_tag() != kPmsObjectId) return false;
    const auto* o = static_cast<const CPmsObjectId*>(other->as_object_id());
    if (invalid_ || o->invalid_) return text() == o->text();
    return arcs_ == o->arcs_;
  }
  IPmsObjectId* as_object_id() override { return this; }
  const IPmsObjectId* as_object_id() const override { return this; }
  void* query(std::uint32_t id) override {
    if (id == 0xF0000006u || id == 6) return static_cast<IPmsObjectId*>(this);
    if (id == 0xFF00 || id == 0xF000FF00u) return static_cast<IPmsAsnValue*>(this);
    return nullptr;
  }
  bool is_valid() const override { return !invalid_; }
  std::int32_t get_int(int* err) const override {
    pms::set_err(err, pms::kNotSupported);
    return -1;
  }
  std::uint32_t get_uint(int* err) const override {
    if (arcs_.empty()) {
      pms::set_err(err, pms::kNothing);
      return 0xFFFFFFFFu;
    }
    pms::set_err(err, 0);
    return arcs_[0];
  }
  PmsOwn<IPmsOctetBuffer> to_text_buffer(int* err) const override {
    auto b = new_buffer(err);
    if (!b) return b;
    int r = to_text(b.get());
    pms::set_err(err, r);
    if (r) b.reset();
    return b;
  }
  int to_text(IPmsOctetBuffer* buffer) const override {
    if (!buffer) return pms::kBadArgument;
    const std::string& t = text();
    return buffer->set(t.data(), static_cast<std::uint32_t>(t.size()));
  }
  const std::uint8_t* get_bytes(std::uint32_t* length, int* err) const override {
    const std::string& t = text();
    pms::set_err(err, 0);
    if (length) *length = static_cast<std::uint32_t>(t.size());
    return reinterpret_cast<const std::uint8_t*>(t.c_str());
  }
  PmsOwn<IPmsOctetBuffer> bytes_buffer(int* err) const override { return to_text_buffer(err); }
  int copy_bytes(IPmsOctetBuffer* buffer) const override { return to_text(buffer); }
  std::uint16_t get_port(int* err) const override {
    pms::set_err(err, pms::kNotSupported);
    return 0xFFFF;
  }
  std::uint32_t get_high(int* err) const override {
    pms::set_err(err, pms::kNotSupported);
    return 0xFFFFFFFFu;
  }
  std::uint32_t get_low(int* err) const override { return get_high(err); }
  int set_int(std::int32_t) override { return pms::kNotSupported; }
  int set_uint(std::uint32_t value) override {
    std::uint32_t a[1] = {value};
    return set_arcs(a);
  }
  int set_text(const char* text) override {
    std::vector<std::uint32_t> arcs;
    if (!text) text = "";
    bool ok = parse_oid_text(text, arcs);
    try {
      if (ok) {
        arcs_.assign(arcs.begin(), arcs.end());
        raw_.clear();
      } else {
        raw_.assign(text);
        arcs_.clear();
      }
    } catch (const std::bad_alloc&) {
      return pms::kNoMemory;
    }
    invalid_ = !ok;
    text_valid_ = false;
    return 0;
  }
  int set_text_from_buffer(const IPmsOctetBuffer* buffer) override {
    if (!buffer) return pms::kBadArgument;
    std::string s(buffer->c_str(), buffer->length());
    return set_text(s.c_str());
  }
  int set_bytes(const void* bytes, std::uint32_t n) override {
    if (n && !bytes) return pms::kBadArgument;
    std::string s(static_cast<const char*>(bytes), n);
    return set_text(s.c_str());
  }
  int set_bytes_from_buffer(const IPmsOctetBuffer* buffer) override {
    if (!buffer) return pms::kBadArgument;
    return set_bytes(buffer->data(), buffer->length());
  }
  int set_port(std::uint16_t) override { return pms::kNotSupported; }
  int set_high(std::uint32_t) override { return pms::kNotSupported; }
  int set_low(std::uint32_t) override { return pms::kNotSupported; }
  std::uint32_t length() const override {
    if (!invalid_) return static_cast<std::uint32_t>(arcs_.size());
    return static_cast<std::uint32_t>(std::count(raw_.begin(), raw_.end(), '.') + 1);
  }
  std::uint32_t index_length(bool implied) const override {
    return static_cast<std::uint32_t>(arcs_.size()) + (implied ? 0 : 1);
  }
  std::uint32_t get_element(std::uint32_t i, int* err) const override {
    if (arcs_.empty()) {
      pms::set_err(err, pms::kNothing);
      return 0;
    }
    if (i >= arcs_.size()) {
      pms::set_err(err, pms::kArcOutOfRange);
      return 0;
    }
    pms::set_err(err, 0);
    return arcs_[i];
  }
  int append_index(IPmsObjectId* oid, bool implied) const override {
    if (!oid) return pms::kBadArgument;
    std::vector<std::uint32_t> a(oid->arcs().begin(), oid->arcs().end());
    if (!implied) a.push_back(static_cast<std::uint32_t>(arcs_.size()));
    a.insert(a.end(), arcs_.begin(), arcs_.end());
    return oid->set_arcs(a);
  }
  int set_oid_to_index(IPmsObjectId* oid, bool implied) const override {
    if (!oid) return pms::kBadArgument;
    if (oid == this) {
      std::vector<std::uint32_t> a;
      if (!implied) a.push_back(static_cast<std::uint32_t>(arcs_.size()));
      a.insert(a.end(), arcs_.begin(), arcs_.end());
      return const_cast<CPmsObjectId*>(this)->set_arcs(a);
    }
    oid->clear_arcs();
    return append_index(oid, implied);
  }
  int set_from_index(const IPmsObjectId* oid, bool implied, std::int32_t length, std::uint32_t* used) override {
    if (!oid) return pms::kBadArgument;
    std::vector<std::uint32_t> src(oid->arcs().begin(), oid->arcs().end());
    std::size_t pos = 0, n;
    if (!implied) {
      if (src.empty()) return pms::kBadIndex;
      n = src[0];
      pos = 1;
      if (n > src.size() - 1) return pms::kBadIndex;
    } else {
      n = (length < 0) ? src.size() : std::min(src.size(), static_cast<std::size_t>(length));
    }
    if (n > kPmsMaxOidArcs) return pms::kBadIndex;
    int r = set_arcs(std::span<const std::uint32_t>(src.data() + pos, n));
    if (r) return r;
    if (used) *used = static_cast<std::uint32_t>(pos + n);
    return 0;
  }

  int compare_text(const char* text, int* err) const override {
    if (!text) {
      pms::set_err(err, pms::kBadArgument);
      return -1;
    }
    pms::set_err(err, 0);
    std::vector<std::uint32_t> other;
    if (!invalid_ && parse_oid_text(text, other)) return compare_arcs(arcs_, other);
    return compare_texts(this->text().c_str(), text);
  }
  int compare(const IPmsObjectId* other, int* err) const override {
    if (!other) {
      pms::set_err(err, pms::kBadArgument);
      return -1;
    }
    pms::set_err(err, 0);
    const auto* o = static_cast<const CPmsObjectId*>(other);
    if (!invalid_ && !o->invalid_) return compare_arcs(arcs_, o->arcs_);
    return compare_texts(text().c_str(), o->text().c_str());
  }
  int strip_prefix_text(const char* text) override {
    std::vector<std::uint32_t> p;
    if (!text || invalid_ || !parse_oid_text(text, p)) return pms::kBadArgument;
    return strip(p);
  }
  int strip_prefix(const IPmsObjectId* other) override {
    if (!other || invalid_ || !other->is_valid()) return pms::kBadArgument;
    std::vector<std::uint32_t> p(other->arcs().begin(), other->arcs().end());
    return strip(p);
  }
  int append_text(const char* text) override {
    if (!text || !*text) return 0;
    std::vector<std::uint32_t> a;
    if (invalid_ || !parse_oid_text(text, a)) {
      // An invalid OID keeps growing as text, and an invalid text makes it invalid.
      std::string t = this->text();
      if (!t.empty()) t.push_back('.');
      t.append(text);
      return set_text(t.c_str());
    }
    if (arcs_.size() + a.size() > kPmsMaxOidArcs) return pms::kBadArgument;
    try {
      arcs_.append(a.begin(), a.end());
    } catch (const std::bad_alloc&) {
      return pms::kNoMemory;
    }
    text_valid_ = false;
    return 0;
  }
  int append_arc(std::uint32_t n) override {
    if (invalid_) return pms::kBadArgument;
    if (arcs_.size() >= kPmsMaxOidArcs) return pms::kBadArgument;
    try {
      arcs_.push_back(n);
    } catch (const std::bad_alloc&) {
      return pms::kNoMemory;
    }
    text_valid_ = false;
    return 0;
  }
  int append_oid(const IPmsObjectId* other) override {
    if (!other) return pms::kBadArgument;
    if (invalid_ || !other->is_valid()) return pms::kBadArgument;
    std::vector<std::uint32_t> a(arcs_.begin(), arcs_.end());
    a.insert(a.end(), other->arcs().begin(), other->arcs().end());
    return set_arcs(a);
  }
  int append_index_text(const char* text, std::int32_t tag, bool implied) override {
    int err = 0;
    auto v = pms_create_value(tag, &err);
    if (!v) return err;
    int r = v->set_text(text);
    if (r) return r;
    return v->append_index(this, implied);
  }
  int append_value_index(const IPmsAsnValue* value, bool implied) override {
    return value ? value->append_index(this, implied) : pms::kBadArgument;
  }
  PmsOwn<IPmsObjectId> split_front_new(std::uint32_t n, int* err) override {
    auto o = pms_create_oid(err);
    if (!o) return o;
    int r = split_front(n, o.get());
    pms::set_err(err, r);
    if (r) o.reset();
    return o;
  }
  int split_front(std::uint32_t n, IPmsObjectId* into) override {
    if (!into || into == this) return pms::kBadArgument;
    std::size_t k = std::min<std::size_t>(n, arcs_.size());
    int r = into->set_arcs(std::span<const std::uint32_t>(arcs_.data(), k));
    if (r) return r;
    arcs_.erase_range(0, k);
    text_valid_ = false;
    return 0;
  }
  std::uint32_t pop_arc(int* err) override {
    if (arcs_.empty()) {
      pms::set_err(err, pms::kNothing);
      return 0xFFFFFFFFu;
    }
    std::uint32_t a = arcs_.front();
    arcs_.erase_range(0, 1);
    text_valid_ = false;
    pms::set_err(err, 0);
    return a;
  }
  int split_front_text(IPmsOctetBuffer* buffer, std::uint32_t n) override {
    if (!buffer) return pms::kBadArgument;
    std::size_t k = std::min<std::size_t>(n, arcs_.size());
    std::string t = arcs_text(std::span<const std::uint32_t>(arcs_.data(), k));
    int r = buffer->set(t.data(), static_cast<std::uint32_t>(t.size()));
    if (r) return r;
    arcs_.erase_range(0, k);
    text_valid_ = false;
    return 0;
  }
  PmsOwn<IPmsOctetBuffer> split_front_text_new(std::uint32_t n, int* err) override {
    auto b = new_buffer(err);
    if (!b) return b;
    int r = split_front_text(b.get(), n);
    pms::set_err(err, r);
    if (r) b.reset();
    return b;
  }
  int pop_index(IPmsAsnValue* value, bool implied, std::int32_t length) override {
    if (!value) return pms::kBadArgument;
    std::uint32_t used = 0;
    int r = value->set_from_index(this, implied, length, &used);
    if (r) return r;
    arcs_.erase_range(0, used);
    text_valid_ = false;
    return 0;
  }
  PmsOwn<IPmsAsnValue> pop_index_new(std::int32_t tag, bool implied, std::int32_t length, int* err) override {
    auto v = pms_create_value(tag, err);
    if (!v) return v;
    int r = pop_index(v.get(), implied, length);
    pms::set_err(err, r);
    if (r) v.reset();
    return v;
  }
  int remove_arcs(std::uint32_t start, std::uint32_t n) override {
    if (start >= arcs_.size()) return pms::kBadArgument;
    std::size_t end = (n == 0xFFFFFFFFu) ? arcs_.size() : std::min<std::size_t>(arcs_.size(), std::size_t{start} + n);
    arcs_.erase_range(start, end);
    text_valid_ = false;
    return 0;
  }
  PmsOwn<IPmsAsnValue> read_index_new(std::int32_t tag, bool implied, int* err) const override {
    auto v = pms_create_value(tag, err);
    if (!v) return v;
    int r = read_index(v.get(), implied);
    pms::set_err(err, r);
    if (r) v.reset();
    return v;
  }
  int read_index(IPmsAsnValue* value, bool implied) const override {
    return value ? value->set_from_index(this, implied, -1) : pms::kBadArgument;
  }
  int set_to_index(const IPmsAsnValue* value, bool implied) override {
    return value ? value->set_oid_to_index(this, implied) : pms::kBadArgument;
  }
  std::span<const std::uint32_t> arcs() const override { return arcs_; }
  int set_arcs(std::span<const std::uint32_t> arcs) override {
    if (arcs.size() > kPmsMaxOidArcs) return pms::kBadArgument;
    bool overlaps = !arcs.empty() && arcs.data() >= arcs_.data() && arcs.data() < arcs_.data() + arcs_.capacity();
    try {
      if (overlaps) {
        std::vector<std::uint32_t> copy(arcs.begin(), arcs.end());
        arcs_.assign(copy.begin(), copy.end());
      } else {
        arcs_.assign(arcs.begin(), arcs.end());
      }
    } catch (const std::bad_alloc&) {
      return pms::kNoMemory;
    }
    raw_.clear();
    invalid_ = false;
    text_valid_ = false;
    return 0;
  }
  void clear_arcs() override {
    arcs_.clear();
    raw_.clear();
    invalid_ = false;
    text_valid_ = false;
  }

 private:
  const std::string& text() const {
    if (invalid_) return raw_;
    if (!text_valid_) {
      text_ = arcs_text(arcs_);
      text_valid_ = true;
    }
    return text_;
  }
  int strip(const std::vector<std::uint32_t>& prefix) {
    if (prefix.size() > arcs_.size() || !std::equal(prefix.begin(), prefix.end(), arcs_.begin())) return pms::kBadArgument;
    arcs_.erase_range(0, prefix.size());
    text_valid_ = false;
    return 0;
  }

  ArcVec arcs_;
  std::string raw_;  // the text as given when it is not a valid OID
  bool invalid_ = false;
  mutable std::string text_;  // dotted form of arcs_, built on demand
  mutable bool text_valid_ = false;
};

}  // namespace

PmsOwn<IPmsOctetBuffer> pms_create_octet_buffer(int* err) { return new_buffer(err); }

PmsOwn<IPmsAsnValue> pms_create_value(std::int32_t tag, int* err) {
  switch (tag) {
    case kPmsInteger: return make_value(err, new (std::nothrow) CPmsInteger(kPmsInteger));
    case kPmsNull:
    case kPmsNoSuchObject:
    case kPmsNoSuchInstance:
    case kPmsEndOfMibView: return make_value(err, new (std::nothrow) CPmsNullLike(tag));
    case kPmsObjectId: return make_value(err, static_cast<IPmsAsnValue*>(new (std::nothrow) CPmsObjectId));
    case kPmsCounter32:
    case kPmsGauge32:
    case kPmsTimeTicks: return make_value(err, new (std::nothrow) CPmsGauge32(tag));
    case kPmsCounter64: return make_value(err, new (std::nothrow) CPmsCounter64);
    case kPmsOctetString:
    case kPmsOpaque:
    case kPmsIpAddress:
    case kPmsIpv6Address:
    case kPmsUdpAddress:
    case kPmsIpxAddress: {
      CPmsOctets* v = nullptr;
      try {
        v = new CPmsOctets(tag);
      } catch (const std::bad_alloc&) {
      }
      return make_value(err, v);
    }
    default:
      pms::set_err(err, pms::kBadArgument);
      return nullptr;
  }
}

PmsOwn<IPmsAsnValue> pms_create_value_from_int(std::int32_t value, std::int32_t tag, int* err) {
  auto v = pms_create_value(tag, err);
  if (!v) return v;
  int r = v->set_int(value);
  pms::set_err(err, r);
  if (r) v.reset();
  return v;
}

PmsOwn<IPmsAsnValue> pms_create_value_from_uint(std::uint32_t value, std::int32_t tag, int* err) {
  auto v = pms_create_value(tag, err);
  if (!v) return v;
  int r = v->set_uint(value);
  pms::set_err(err, r);
  if (r) v.reset();
  return v;
}

PmsOwn<IPmsAsnValue> pms_create_value_from_string(const char* text, std::int32_t tag, int* err) {
  if (!text) {
    pms::set_err(err, pms::kBadArgument);
    return nullptr;
  }
  auto v = pms_create_value(tag, err);
  if (!v) return v;
  int r = v->set_text(text);
  if (r == 0 && !v->is_valid()) r = pms::kBadArgument;
  pms::set_err(err, r);
  if (r) v.reset();
  return v;
}

PmsOwn<IPmsAsnValue> pms_create_counter64(std::uint32_t high, std::uint32_t low, int* err) {
  auto v = pms_create_value(kPmsCounter64, err);
  if (v) {
    v->set_high(high);
    v->set_low(low);
  }
  return v;
}

PmsOwn<IPmsObjectId> pms_create_oid(int* err) {
  auto* o = new (std::nothrow) CPmsObjectId;
  pms::set_err(err, o ? 0 : pms::kNoMemory);
  return PmsOwn<IPmsObjectId>(o);
}

PmsOwn<IPmsObjectId> pms_create_oid_from_string(const char* text, int* err) {
  if (!text) {
    pms::set_err(err, pms::kBadArgument);
    return nullptr;
  }
  auto o = pms_create_oid(err);
  if (!o) return o;
  int r = o->set_text(text);
  if (r == 0 && !o->is_valid()) r = pms::kBadArgument;
  pms::set_err(err, r);
  if (r) o.reset();
  return o;
}
