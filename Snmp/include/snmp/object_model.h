// The SNMP object model: variable bindings and their lists, PDUs, targets,
// packets and the list containers in which answers are collected.
//
// Ownership: set operations take a PmsOwn (the receiver owns the object),
// get lends a plain pointer, take/pop/detach/erase hand a PmsOwn back,
// clone returns a new PmsOwn. Nothing is reference counted.
#pragma once

#include <cstdint>

#include "snmp/asn_value.h"
#include "snmp/network_address.h"
#include "snmp/pms_base.h"

class IPmsVarBind {
 public:
  virtual void release() = 0;
  virtual PmsOwn<IPmsVarBind> clone(int* err) const = 0;
  virtual bool equals(const IPmsVarBind* other) const = 0;
  // Replaces OID and value; a null value stores a NULL (tag 5) value.
  virtual int set(PmsOwn<IPmsObjectId> oid, PmsOwn<IPmsAsnValue> value) = 0;
  virtual void detach(PmsOwn<IPmsObjectId>* oid, PmsOwn<IPmsAsnValue>* value) = 0;
  virtual void set_oid(PmsOwn<IPmsObjectId> oid) = 0;
  virtual void set_value(PmsOwn<IPmsAsnValue> value) = 0;
  virtual IPmsObjectId* get_oid() const = 0;
  virtual IPmsAsnValue* get_value() const = 0;
  virtual std::int32_t get_status() const = 0;
  virtual void set_status(std::int32_t status) = 0;

 protected:
  virtual ~IPmsVarBind() = default;
};

// Status given to the bindings an agent did not process after an error.
inline constexpr std::int32_t kPmsNotProcessed = 100;

class IPmsVarBindList {
 public:
  virtual void release() = 0;
  virtual PmsOwn<IPmsVarBindList> clone(int* err) const = 0;
  virtual bool equals(const IPmsVarBindList* other) const = 0;
  virtual std::uint32_t count() const = 0;
  virtual int append_new(PmsOwn<IPmsObjectId> oid, PmsOwn<IPmsAsnValue> value) = 0;
  virtual int append(PmsOwn<IPmsVarBind> binding) = 0;
  virtual int insert_front_new(PmsOwn<IPmsObjectId> oid, PmsOwn<IPmsAsnValue> value) = 0;
  virtual int insert_front(PmsOwn<IPmsVarBind> binding) = 0;
  virtual int remove_at(std::uint32_t index, PmsOwn<IPmsVarBind>* out) = 0;
  virtual void take_first(PmsOwn<IPmsObjectId>* oid, PmsOwn<IPmsAsnValue>* value) = 0;
  virtual PmsOwn<IPmsVarBind> pop_first() = 0;
  virtual IPmsVarBind* get_at(std::uint32_t index) const = 0;
  virtual PmsOwn<IPmsVarBindList> copy_range(std::uint32_t start, std::uint32_t n, int* err) const = 0;
  virtual PmsOwn<IPmsVarBindList> split_front(std::uint32_t n, int* err) = 0;
  virtual void mark_error(std::int32_t error_status, std::int32_t error_index) = 0;
  virtual void set_all_status(std::int32_t status) = 0;

 protected:
  virtual ~IPmsVarBindList() = default;
};

enum PmsPduType : std::int32_t {
  kPduNone = -1,
  kPduGet = 0,
  kPduGetNext = 1,
  kPduResponse = 2,
  kPduSet = 3,
  kPduTrap = 4,
  kPduGetBulk = 5,
  kPduInform = 6,
  kPduReport = 8,
};

class IPmsPdu {
 public:
  virtual void release() = 0;
  virtual void clear() = 0;
  virtual PmsOwn<IPmsPdu> clone(int* err) const = 0;
  virtual int copy_from(const IPmsPdu* other) = 0;
  virtual int copy_header(const IPmsPdu* other) = 0;
  virtual bool equals(const IPmsPdu* other) const = 0;
  virtual std::int32_t get_type() const = 0;
  virtual void set_type(std::int32_t type) = 0;
  virtual IPmsVarBindList* get_var_bind_list() const = 0;
  virtual void set_var_bind_list(PmsOwn<IPmsVarBindList> list) = 0;
  virtual PmsOwn<IPmsVarBindList> take_var_bind_list() = 0;
  virtual int append_new(PmsOwn<IPmsObjectId> oid, PmsOwn<IPmsAsnValue> value) = 0;
  virtual int append(PmsOwn<IPmsVarBind> binding) = 0;
  virtual int insert_front_new(PmsOwn<IPmsObjectId> oid, PmsOwn<IPmsAsnValue> value) = 0;
  virtual int insert_front(PmsOwn<IPmsVarBind> binding) = 0;
  virtual void take_first(PmsOwn<IPmsObjectId>* oid, PmsOwn<IPmsAsnValue>* value) = 0;
  virtual PmsOwn<IPmsVarBind> pop_first() = 0;
  virtual std::int32_t get_request_id() const = 0;
  virtual std::int32_t get_error_status() const = 0;
  virtual std::int32_t get_error_index() const = 0;
  virtual void set_request_id(std::int32_t id) = 0;
  virtual void set_error_status(std::int32_t status) = 0;
  virtual void set_error_index(std::int32_t index) = 0;
  virtual IPmsAsnValue* get_trap_time_stamp() const = 0;
  virtual IPmsObjectId* get_trap_oid() const = 0;
  virtual PmsOwn<IPmsAsnValue> take_trap_time_stamp() = 0;
  virtual PmsOwn<IPmsObjectId> take_trap_oid() = 0;
  // -2 (and the value stays with the caller) unless the tag is 0x43 / 6.
  virtual int set_trap_time_stamp(PmsOwn<IPmsAsnValue>& value) = 0;
  virtual int set_trap_oid(PmsOwn<IPmsAsnValue>& value) = 0;

 protected:
  virtual ~IPmsPdu() = default;
};

class IPmsSnmpTarget;
class IPmsCommunity;
class IPmsUsm;

// The codec's hook on a target: a target hands itself to the operation of
// its kind.
class IPmsTargetVisitor {
 public:
  virtual int on_community(IPmsSnmpTarget& target, IPmsCommunity& community) = 0;
  virtual int on_usm(IPmsSnmpTarget& target, IPmsUsm& usm) = 0;

 protected:
  ~IPmsTargetVisitor() = default;
};

enum PmsSnmpVersion : std::int32_t { kSnmpUnset = -1, kSnmpV1 = 0, kSnmpV2c = 1, kSnmpV3 = 2 };

class IPmsSnmpTarget {
 public:
  virtual int accept(IPmsTargetVisitor& visitor) = 0;
  virtual void release() = 0;
  virtual void clear() = 0;
  virtual PmsOwn<IPmsSnmpTarget> clone(int* err) const = 0;
  virtual int copy_from(const IPmsSnmpTarget* other) = 0;
  virtual bool equals(const IPmsSnmpTarget* other) const = 0;
  virtual std::int32_t security_model() const = 0;  // 0 community, 1 USM
  // 0: this target; 1: the object; 2, 3: IPmsCommunity; 4, 5: IPmsUsm.
  virtual void* query(std::uint32_t id) = 0;
  virtual IPmsCommunity* as_community() = 0;
  virtual IPmsUsm* as_usm() = 0;
  virtual void set_version(std::int32_t v) = 0;
  virtual void set_timeout(std::int32_t ms) = 0;
  virtual void set_retries(std::int32_t n) = 0;
  virtual void set_max_message_size(std::int32_t n) = 0;
  virtual void set_local_port(std::uint16_t port) = 0;
  virtual std::int32_t get_version() const = 0;
  virtual std::int32_t get_timeout() const = 0;
  virtual std::int32_t get_retries() const = 0;
  virtual std::int32_t get_max_message_size() const = 0;
  virtual std::uint16_t get_local_port() const = 0;
  // Stores a clone of the address (null clears it).
  virtual int set_address(const IPmcNetworkAddress* address) = 0;
  virtual IPmcNetworkAddress* get_address() const = 0;

 protected:
  virtual ~IPmsSnmpTarget() = default;
};

class IPmsCommunity {
 public:
  virtual int set_community(const char* text) = 0;
  virtual const char* get_community() const = 0;
  virtual void release() = 0;  // the whole target

 protected:
  ~IPmsCommunity() = default;
};

class IPmsUsm {
 public:
  virtual const char* get_security_name() const = 0;
  virtual std::int32_t get_security_level() const = 0;
  virtual std::int32_t get_auth_protocol() const = 0;
  virtual std::int32_t get_priv_protocol() const = 0;
  virtual const char* get_auth_pass_phrase() const = 0;
  virtual const char* get_priv_pass_phrase() const = 0;
  virtual const char* get_context_name() const = 0;
  virtual IPmsOctetBuffer* get_engine_id() = 0;
  virtual int set_security_name(const char* text) = 0;
  virtual void set_security_level(std::int32_t v) = 0;
  virtual void set_auth_protocol(std::int32_t v) = 0;
  virtual void set_priv_protocol(std::int32_t v) = 0;
  virtual int set_auth_pass_phrase(const char* text) = 0;
  virtual int set_priv_pass_phrase(const char* text) = 0;
  virtual int set_context_name(const char* text) = 0;
  virtual int set_engine_id(const void* bytes, std::uint32_t n) = 0;
  virtual void release() = 0;  // the whole target

 protected:
  ~IPmsUsm() = default;
};

class IPmsSnmpPacket {
 public:
  virtual void release() = 0;
  virtual PmsOwn<IPmsSnmpPacket> clone(int* err) const = 0;
  virtual bool equals(const IPmsSnmpPacket* other) const = 0;
  virtual void set_target(PmsOwn<IPmsSnmpTarget> target) = 0;
  virtual void set_pdu(PmsOwn<IPmsPdu> pdu) = 0;
  virtual PmsOwn<IPmsSnmpTarget> take_target() = 0;
  virtual PmsOwn<IPmsPdu> take_pdu() = 0;
  virtual IPmsSnmpTarget* get_target() const = 0;
  virtual IPmsPdu* get_pdu() const = 0;

 protected:
  virtual ~IPmsSnmpPacket() = default;
};

// A cursor over one list; valid while the list changes only through it.
class IPmsListIterator {
 public:
  virtual void release() = 0;

 protected:
  virtual ~IPmsListIterator() = default;
};

// The list container shared by packet, row and address lists.
template <class E>
class IPmsObjectList {
 public:
  virtual void release() = 0;
  virtual int push_front(PmsOwn<E> element) = 0;
  virtual int push_back(PmsOwn<E> element) = 0;
  virtual int pop_front() = 0;
  virtual int pop_back() = 0;
  virtual void clear() = 0;
  virtual std::uint32_t count() const = 0;
  virtual PmsOwn<IPmsListIterator> create_iterator(int* err) = 0;
  virtual void rewind(IPmsListIterator* it) = 0;
  // Releases an iterator (one taken out of its PmsOwn); null is ignored.
  virtual void release_iterator(IPmsListIterator* it) = 0;
  virtual E* current(const IPmsListIterator* it) const = 0;
  virtual void next(IPmsListIterator* it) = 0;
  // Unlinks the entry under the iterator, moves it on, and hands the
  // element to the caller.
  virtual PmsOwn<E> erase(IPmsListIterator* it) = 0;
  // The list object itself, for callers that hold it through another view.
  virtual IPmsObjectList* self() = 0;

 protected:
  virtual ~IPmsObjectList() = default;
};

using IPmsSnmpPacketList = IPmsObjectList<IPmsSnmpPacket>;
using IPmsRowList = IPmsObjectList<IPmsVarBindList>;
using IPmsAddressList = IPmsObjectList<IPmcNetworkAddress>;

PmsOwn<IPmsVarBind> pms_create_var_bind(int* err);
PmsOwn<IPmsVarBindList> pms_create_var_bind_list(int* err);
int pms_create_var_bind_list_ex(PmsOwn<IPmsVarBindList>* out);
PmsOwn<IPmsPdu> pms_create_pdu(int* err);
PmsOwn<IPmsSnmpPacket> pms_create_snmp_packet(int* err);
PmsOwn<IPmsSnmpPacketList> pms_create_snmp_packet_list(int* err);
PmsOwn<IPmsRowList> pms_create_row_list(int* err);
PmsOwn<IPmsAddressList> pms_create_address_list(int* err);
PmsOwn<IPmsSnmpTarget> pms_create_community_target(int* err);
PmsOwn<IPmsSnmpTarget> pms_create_usm_target(int* err);
// Kind 0 makes a community target; any other kind gives -2.
PmsOwn<IPmsSnmpTarget> pms_create_target(std::int32_t kind, int* err);
