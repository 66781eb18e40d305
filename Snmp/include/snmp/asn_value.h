// ASN.1 values carried in variable bindings, object identifiers, and the
// octet buffer used for raw bytes and texts.
#pragma once

#include <cstdint>
#include <span>

#include "snmp/pms_base.h"

// Tags of the value classes (the BER tag byte, except the two transport
// addresses, which never go on the wire).
enum PmsAsnTag : std::int32_t {
  kPmsInteger = 0x02,
  kPmsOctetString = 0x04,
  kPmsNull = 0x05,
  kPmsObjectId = 0x06,
  kPmsIpAddress = 0x40,
  kPmsCounter32 = 0x41,
  kPmsGauge32 = 0x42,
  kPmsTimeTicks = 0x43,
  kPmsOpaque = 0x44,
  kPmsCounter64 = 0x46,
  kPmsIpv6Address = 0x48,
  kPmsNoSuchObject = 0x80,
  kPmsNoSuchInstance = 0x81,
  kPmsEndOfMibView = 0x82,
  kPmsUdpAddress = 0xFF02,
  kPmsIpxAddress = 0xFF03,
};

// A byte string whose block always ends with one extra zero byte, so the
// content can be read as text.
class IPmsOctetBuffer {
 public:
  virtual void release() = 0;
  virtual std::uint32_t length() const = 0;
  virtual const std::uint8_t* data() const = 0;  // null when empty
  virtual int set(const void* bytes, std::uint32_t n) = 0;
  virtual int set_text(const char* text) = 0;
  virtual int append(const void* bytes, std::uint32_t n) = 0;
  virtual int append_text(const char* text) = 0;
  virtual int append_buffer(const IPmsOctetBuffer* other) = 0;
  virtual int clone(PmsOwn<IPmsOctetBuffer>* out) const = 0;
  virtual bool equals(const void* bytes, std::uint32_t n) const = 0;
  virtual bool equals_text(const char* text) const = 0;
  virtual bool equals_buffer(const IPmsOctetBuffer* other) const = 0;
  // The content as text (an empty text when empty).
  const char* c_str() const {
    const std::uint8_t* d = data();
    return d ? reinterpret_cast<const char*>(d) : "";
  }

 protected:
  virtual ~IPmsOctetBuffer() = default;
};

PmsOwn<IPmsOctetBuffer> pms_create_octet_buffer(int* err);

class IPmsAsnValue;
class IPmsObjectId;

// One operation per value class; the codec's encoder and decoder are
// visitors.
class IPmsAsnVisitor {
 public:
  virtual int visit_object_id(IPmsObjectId& v) = 0;
  virtual int visit_octets(IPmsAsnValue& v) = 0;  // OCTET STRING and Opaque
  virtual int visit_integer(IPmsAsnValue& v) = 0;
  virtual int visit_null(IPmsAsnValue& v) = 0;
  virtual int visit_counter32(IPmsAsnValue& v) = 0;
  virtual int visit_gauge32(IPmsAsnValue& v) = 0;
  virtual int visit_time_ticks(IPmsAsnValue& v) = 0;
  virtual int visit_counter64(IPmsAsnValue& v) = 0;
  virtual int visit_ip_address(IPmsAsnValue& v) = 0;
  virtual int visit_ipv6_address(IPmsAsnValue& v) = 0;
  virtual int visit_udp_address(IPmsAsnValue& v) = 0;
  virtual int visit_ipx_address(IPmsAsnValue& v) = 0;
  virtual int visit_exception(IPmsAsnValue& v) = 0;

 protected:
  ~IPmsAsnVisitor() = default;
};

class IPmsAsnValue {
 public:
  virtual int accept(IPmsAsnVisitor& visitor) = 0;
  virtual void release() = 0;
  virtual PmsOwn<IPmsAsnValue> clone(int* err) const = 0;
  virtual int copy_from(const IPmsAsnValue* other) = 0;
  virtual void reset() = 0;
  virtual std::int32_t get_tag() const = 0;
  virtual bool equals(const IPmsAsnValue* other) const = 0;
  virtual IPmsObjectId* as_object_id() = 0;
  virtual const IPmsObjectId* as_object_id() const = 0;
  // Interface ids: 0xF0000000 + tag for the class, 0xF0000004 for octet
  // storage, 6 for an OID, 0xF000FF01 for exceptions, 0xFF00 and
  // 0xF000FF00 for the value itself; null otherwise.
  virtual void* query(std::uint32_t id) = 0;
  virtual bool is_valid() const = 0;
  virtual std::int32_t get_int(int* err) const = 0;
  virtual std::uint32_t get_uint(int* err) const = 0;
  virtual PmsOwn<IPmsOctetBuffer> to_text_buffer(int* err) const = 0;
  virtual int to_text(IPmsOctetBuffer* buffer) const = 0;
  virtual const std::uint8_t* get_bytes(std::uint32_t* length, int* err) const = 0;
  virtual PmsOwn<IPmsOctetBuffer> bytes_buffer(int* err) const = 0;
  virtual int copy_bytes(IPmsOctetBuffer* buffer) const = 0;
  virtual std::uint16_t get_port(int* err) const = 0;
  virtual std::uint32_t get_high(int* err) const = 0;
  virtual std::uint32_t get_low(int* err) const = 0;
  virtual int set_int(std::int32_t value) = 0;
  virtual int set_uint(std::uint32_t value) = 0;
  virtual int set_text(const char* text) = 0;
  virtual int set_text_from_buffer(const IPmsOctetBuffer* buffer) = 0;
  virtual int set_bytes(const void* bytes, std::uint32_t n) = 0;
  virtual int set_bytes_from_buffer(const IPmsOctetBuffer* buffer) = 0;
  virtual int set_port(std::uint16_t value) = 0;
  virtual int set_high(std::uint32_t value) = 0;
  virtual int set_low(std::uint32_t value) = 0;
  virtual std::uint32_t length() const = 0;
  virtual std::uint32_t index_length(bool implied) const = 0;
  virtual std::uint32_t get_element(std::uint32_t i, int* err) const = 0;
  virtual int append_index(IPmsObjectId* oid, bool implied) const = 0;
  virtual int set_oid_to_index(IPmsObjectId* oid, bool implied) const = 0;
  // Reads the value from the leading arcs of the OID without removing them;
  // on success *used (when given) receives the number of arcs read.
  virtual int set_from_index(const IPmsObjectId* oid, bool implied, std::int32_t length,
                             std::uint32_t* used = nullptr) = 0;

 protected:
  virtual ~IPmsAsnValue() = default;
};

// Result of compare / compare_text.
enum PmsOidRelation : int {
  kOidEqual = 0,
  kOidOtherBelow = 1,   // this is a proper prefix of the other
  kOidThisBelow = 2,    // the other is a proper prefix of this
  kOidBefore = 3,
  kOidAfter = 4,
};

// Largest number of arcs an OID may hold (the SNMP limit).
inline constexpr std::uint32_t kPmsMaxOidArcs = 128;

// An OBJECT IDENTIFIER. It holds its arcs, so access and encoding cost no
// parsing; a text that is not a valid OID is kept as given and marks the
// OID invalid.
class IPmsObjectId : public IPmsAsnValue {
 public:
  virtual PmsOwn<IPmsObjectId> clone_oid(int* err) const = 0;
  virtual int compare_text(const char* text, int* err) const = 0;
  virtual int compare(const IPmsObjectId* other, int* err) const = 0;
  virtual int strip_prefix_text(const char* text) = 0;
  virtual int strip_prefix(const IPmsObjectId* other) = 0;
  virtual int append_text(const char* text) = 0;
  virtual int append_arc(std::uint32_t n) = 0;
  virtual int append_oid(const IPmsObjectId* other) = 0;
  virtual int append_index_text(const char* text, std::int32_t tag, bool implied) = 0;
  virtual int append_value_index(const IPmsAsnValue* value, bool implied) = 0;
  virtual PmsOwn<IPmsObjectId> split_front_new(std::uint32_t n, int* err) = 0;
  virtual int split_front(std::uint32_t n, IPmsObjectId* into) = 0;
  virtual std::uint32_t pop_arc(int* err) = 0;
  virtual int split_front_text(IPmsOctetBuffer* buffer, std::uint32_t n) = 0;
  virtual PmsOwn<IPmsOctetBuffer> split_front_text_new(std::uint32_t n, int* err) = 0;
  virtual int pop_index(IPmsAsnValue* value, bool implied, std::int32_t length) = 0;
  virtual PmsOwn<IPmsAsnValue> pop_index_new(std::int32_t tag, bool implied, std::int32_t length, int* err) = 0;
  virtual int remove_arcs(std::uint32_t start, std::uint32_t n) = 0;
  virtual PmsOwn<IPmsAsnValue> read_index_new(std::int32_t tag, bool implied, int* err) const = 0;
  virtual int read_index(IPmsAsnValue* value, bool implied) const = 0;
  virtual int set_to_index(const IPmsAsnValue* value, bool implied) = 0;
  // Direct access to the arcs (empty for an invalid text).
  virtual std::span<const std::uint32_t> arcs() const = 0;
  virtual int set_arcs(std::span<const std::uint32_t> arcs) = 0;
  virtual void clear_arcs() = 0;
};

PmsOwn<IPmsAsnValue> pms_create_value(std::int32_t tag, int* err);
PmsOwn<IPmsAsnValue> pms_create_value_from_int(std::int32_t value, std::int32_t tag, int* err);
PmsOwn<IPmsAsnValue> pms_create_value_from_uint(std::uint32_t value, std::int32_t tag, int* err);
PmsOwn<IPmsAsnValue> pms_create_value_from_string(const char* text, std::int32_t tag, int* err);
PmsOwn<IPmsAsnValue> pms_create_counter64(std::uint32_t high, std::uint32_t low, int* err);
PmsOwn<IPmsObjectId> pms_create_oid(int* err);
PmsOwn<IPmsObjectId> pms_create_oid_from_string(const char* text, int* err);

// Hands an OID on as a plain value, and back.
inline PmsOwn<IPmsAsnValue> pms_as_value(PmsOwn<IPmsObjectId> oid) { return PmsOwn<IPmsAsnValue>(oid.release()); }
