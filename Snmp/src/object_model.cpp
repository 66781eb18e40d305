#include "snmp/object_model.h"

#include "snmp/object_pool.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

template <class T, class... A>
T* make(A&&... a) {
  try {
    return new T(std::forward<A>(a)...);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

template <class I, class T>
PmsOwn<I> give(T* p, int* err) {
  pms::set_err(err, p ? 0 : pms::kNoMemory);
  return PmsOwn<I>(p);
}

template <class T>
bool both_absent_or_equal(const T* a, const T* b) {
  if (!a || !b) return !a && !b;
  return a->equals(b);
}

// ---- variable binding ------------------------------------------------------------

class CPmsVarBind final : public IPmsVarBind, public pms::PmsPooled<CPmsVarBind> {
 public:
  void release() override { delete this; }
  PmsOwn<IPmsVarBind> clone(int* err) const override {
    auto c = give<IPmsVarBind>(make<CPmsVarBind>(), err);
    if (!c) return c;
    auto* cc = static_cast<CPmsVarBind*>(c.get());
    if (oid_) {
      cc->oid_ = oid_->clone_oid(err);
      if (!cc->oid_) return nullptr;
    }
    if (value_) {
      cc->value_ = value_->clone(err);
      if (!cc->value_) return nullptr;
    }
    cc->status_ = status_;
    pms::set_err(err, 0);
    return c;
  }
  bool equals(const IPmsVarBind* other) const override {
    if (!other) return false;
    const auto* o = static_cast<const CPmsVarBind*>(other);
    return both_absent_or_equal<IPmsAsnValue>(value_.get(), o->value_.get()) &&
           both_absent_or_equal<IPmsAsnValue>(oid_.get(), o->oid_.get()) && status_ == o->status_;
  }
  int set(PmsOwn<IPmsObjectId> oid, PmsOwn<IPmsAsnValue> value) override {
    int err = 0;
    if (!value) value = pms_create_value(kPmsNull, &err);
    oid_ = std::move(oid);
    value_ = std::move(value);
    return err;
  }
  void detach(PmsOwn<IPmsObjectId>* oid, PmsOwn<IPmsAsnValue>* value) override {
    if (oid) *oid = std::move(oid_);
    if (value) *value = std::move(value_);
    oid_.reset();
    value_.reset();
  }
  void set_oid(PmsOwn<IPmsObjectId> oid) override { oid_ = std::move(oid); }
  void set_value(PmsOwn<IPmsAsnValue> value) override { value_ = std::move(value); }
  IPmsObjectId* get_oid() const override { return oid_.get(); }
  IPmsAsnValue* get_value() const override { return value_.get(); }
  std::int32_t get_status() const override { return status_; }
  void set_status(std::int32_t status) override { status_ = status; }

 private:
  PmsOwn<IPmsObjectId> oid_;
  PmsOwn<IPmsAsnValue> value_;
  std::int32_t status_ = 0;
};

// ---- var-bind list -----------------------------------------------------------------

class CPmsVarBindList final : public IPmsVarBindList {
 public:
  void release() override { delete this; }
  PmsOwn<IPmsVarBindList> clone(int* err) const override {
    if (items_.empty()) return give<IPmsVarBindList>(make<CPmsVarBindList>(), err);
    return copy_range(0, count(), err);
  }
  bool equals(const IPmsVarBindList* other) const override {
    if (!other || other->count() != count()) return false;
    for (std::uint32_t i = 0; i < count(); ++i)
      if (!items_[i]->equals(other->get_at(i))) return false;
    return true;
  }
  std::uint32_t count() const override { return static_cast<std::uint32_t>(items_.size()); }
  int append_new(PmsOwn<IPmsObjectId> oid, PmsOwn<IPmsAsnValue> value) override {
    if (!oid) return pms::kBadArgument;
    int err = 0;
    auto b = pms_create_var_bind(&err);
    if (!b) return err;
    if ((err = b->set(std::move(oid), std::move(value)))) return err;
    return append(std::move(b));
  }
  int append(PmsOwn<IPmsVarBind> binding) override { return insert(items_.size(), std::move(binding)); }
  int insert_front_new(PmsOwn<IPmsObjectId> oid, PmsOwn<IPmsAsnValue> value) override {
    if (!oid) return pms::kBadArgument;
    int err = 0;
    auto b = pms_create_var_bind(&err);
    if (!b) return err;
    if ((err = b->set(std::move(oid), std::move(value)))) return err;
    return insert_front(std::move(b));
  }
  int insert_front(PmsOwn<IPmsVarBind> binding) override { return insert(0, std::move(binding)); }
  int remove_at(std::uint32_t index, PmsOwn<IPmsVarBind>* out) override {
    if (index >= items_.size()) return pms::kBadArgument;
    PmsOwn<IPmsVarBind> b = std::move(items_[index]);
    items_.erase(items_.begin() + index);
    if (out) *out = std::move(b);
    return 0;
  }
  void take_first(PmsOwn<IPmsObjectId>* oid, PmsOwn<IPmsAsnValue>* value) override {
    auto b = pop_first();
    if (b) b->detach(oid, value);
  }
  PmsOwn<IPmsVarBind> pop_first() override {
    if (items_.empty()) return nullptr;
    PmsOwn<IPmsVarBind> b = std::move(items_.front());
    items_.erase(items_.begin());
    return b;
  }
  IPmsVarBind* get_at(std::uint32_t index) const override {
    return index < items_.size() ? items_[index].get() : nullptr;
  }
  PmsOwn<IPmsVarBindList> copy_range(std::uint32_t start, std::uint32_t n, int* err) const override {
    if (start >= items_.size()) {
      pms::set_err(err, pms::kBadArgument);
      return nullptr;
    }
    auto copy = give<IPmsVarBindList>(make<CPmsVarBindList>(), err);
    if (!copy) return copy;
    auto* c = static_cast<CPmsVarBindList*>(copy.get());
    std::size_t end = std::min<std::size_t>(items_.size(), std::size_t{start} + n);
    for (std::size_t i = start; i < end; ++i) {
      auto b = items_[i]->clone(err);
      if (!b) return nullptr;
      int r = c->append(std::move(b));
      if (r) {
        pms::set_err(err, r);
        return nullptr;
      }
    }
    pms::set_err(err, 0);
    return copy;
  }
  PmsOwn<IPmsVarBindList> split_front(std::uint32_t n, int* err) override {
    auto front = give<IPmsVarBindList>(make<CPmsVarBindList>(), err);
    if (!front) return front;
    auto* f = static_cast<CPmsVarBindList*>(front.get());
    std::size_t k = std::min<std::size_t>(n, items_.size());
    try {
      f->items_.reserve(k);
    } catch (const std::bad_alloc&) {
      pms::set_err(err, pms::kNoMemory);
      return nullptr;
    }
    for (std::size_t i = 0; i < k; ++i) f->items_.push_back(std::move(items_[i]));
    items_.erase(items_.begin(), items_.begin() + static_cast<std::ptrdiff_t>(k));
    pms::set_err(err, 0);
    return front;
  }
  void mark_error(std::int32_t error_status, std::int32_t error_index) override {
    for (std::size_t i = 0; i < items_.size(); ++i)
      items_[i]->set_status(static_cast<std::int64_t>(i) + 1 == error_index ? error_status : kPmsNotProcessed);
  }
  void set_all_status(std::int32_t status) override {
    for (auto& b : items_) b->set_status(status);
  }

 private:
  int insert(std::size_t at, PmsOwn<IPmsVarBind> binding) {
    if (!binding) return pms::kBadArgument;
    try {
      if (items_.capacity() == 0) items_.reserve(8);  // skips the smallest growth steps
      items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), std::move(binding));
    } catch (const std::bad_alloc&) {
      return pms::kNoMemory;
    }
    return 0;
  }
  std::vector<PmsOwn<IPmsVarBind>> items_;
};

// ---- PDU ------------------------------------------------------------------------

class CPmsPdu final : public IPmsPdu {
 public:
  void release() override { delete this; }
  void clear() override {
    list_.reset();
    time_stamp_.reset();
    trap_oid_.reset();
    type_ = kPduNone;
    error_status_ = -1;
    error_index_ = 0;
  }
  PmsOwn<IPmsPdu> clone(int* err) const override {
    auto c = give<IPmsPdu>(make<CPmsPdu>(), err);
    if (!c) return c;
    int r = c->copy_from(this);
    pms::set_err(err, r);
    if (r) c.reset();
    return c;
  }
  int copy_from(const IPmsPdu* other) override {
    if (!other) return pms::kBadArgument;
    if (other == this) return 0;
    int r = copy_header(other);
    if (r) return r;
    PmsOwn<IPmsVarBindList> l;
    if (other->get_var_bind_list()) {
      l = other->get_var_bind_list()->clone(&r);
      if (!l) return r;
    }
    list_ = std::move(l);
    return 0;
  }
  int copy_header(const IPmsPdu* other) override {
    if (!other) return pms::kBadArgument;
    if (other == this) return 0;
    int r = 0;
    PmsOwn<IPmsAsnValue> ts;
    PmsOwn<IPmsObjectId> oid;
    if (other->get_trap_time_stamp() && !(ts = other->get_trap_time_stamp()->clone(&r))) return r;
    if (other->get_trap_oid() && !(oid = other->get_trap_oid()->clone_oid(&r))) return r;
    type_ = other->get_type();
    request_id_ = other->get_request_id();
    error_status_ = other->get_error_status();
    error_index_ = other->get_error_index();
    time_stamp_ = std::move(ts);
    trap_oid_ = std::move(oid);
    return 0;
  }
  bool equals(const IPmsPdu* other) const override {
    if (type_ == kPduNone || !other || other->get_type() != type_) return false;
    if (type_ == kPduTrap) {
      if (!both_absent_or_equal<IPmsAsnValue>(time_stamp_.get(), other->get_trap_time_stamp())) return false;
      if (!both_absent_or_equal<IPmsAsnValue>(trap_oid_.get(), other->get_trap_oid())) return false;
    } else if (request_id_ != other->get_request_id() || error_index_ != other->get_error_index() ||
               error_status_ != other->get_error_status()) {
      return false;
    }
    return both_absent_or_equal<IPmsVarBindList>(list_.get(), other->get_var_bind_list());
  }
  std::int32_t get_type() const override { return type_; }
  void set_type(std::int32_t type) override { type_ = type; }
  IPmsVarBindList* get_var_bind_list() const override { return list_.get(); }
  void set_var_bind_list(PmsOwn<IPmsVarBindList> list) override { list_ = std::move(list); }
  PmsOwn<IPmsVarBindList> take_var_bind_list() override { return std::move(list_); }
  int append_new(PmsOwn<IPmsObjectId> oid, PmsOwn<IPmsAsnValue> value) override {
    int r = ensure_list();
    return r ? r : list_->append_new(std::move(oid), std::move(value));
  }
  int append(PmsOwn<IPmsVarBind> binding) override {
    int r = ensure_list();
    return r ? r : list_->append(std::move(binding));
  }
  int insert_front_new(PmsOwn<IPmsObjectId> oid, PmsOwn<IPmsAsnValue> value) override {
    int r = ensure_list();
    return r ? r : list_->insert_front_new(std::move(oid), std::move(value));
  }
  int insert_front(PmsOwn<IPmsVarBind> binding) override {
    int r = ensure_list();
    return r ? r : list_->insert_front(std::move(binding));
  }
  void take_first(PmsOwn<IPmsObjectId>* oid, PmsOwn<IPmsAsnValue>* value) override {
    if (list_) list_->take_first(oid, value);
  }
  PmsOwn<IPmsVarBind> pop_first() override { return list_ ? list_->pop_first() : nullptr; }
  std::int32_t get_request_id() const override { return request_id_; }
  std::int32_t get_error_status() const override { return error_status_; }
  std::int32_t get_error_index() const override { return error_index_; }
  void set_request_id(std::int32_t id) override { request_id_ = id; }
  void set_error_status(std::int32_t status) override { error_status_ = status; }
  void set_error_index(std::int32_t index) override { error_index_ = index; }
  IPmsAsnValue* get_trap_time_stamp() const override { return time_stamp_.get(); }
  IPmsObjectId* get_trap_oid() const override { return trap_oid_.get(); }
  PmsOwn<IPmsAsnValue> take_trap_time_stamp() override { return std::move(time_stamp_); }
  PmsOwn<IPmsObjectId> take_trap_oid() override { return std::move(trap_oid_); }
  int set_trap_time_stamp(PmsOwn<IPmsAsnValue>& value) override {
    if (!value || value->get_tag() != kPmsTimeTicks) return pms::kBadArgument;
    time_stamp_ = std::move(value);
    return 0;
  }
  int set_trap_oid(PmsOwn<IPmsAsnValue>& value) override {
    if (!value || value->get_tag() != kPmsObjectId) return pms::kBadArgument;
    trap_oid_.reset(value.release()->as_object_id());
    return 0;
  }

 private:
  int ensure_list() {
    if (list_) return 0;
    int err = 0;
    list_ = pms_create_var_bind_list(&err);
    return err;
  }
  std::int32_t type_ = kPduNone;
  PmsOwn<IPmsVarBindList> list_;
  std::int32_t request_id_ = 0;
  std::int32_t error_status_ = 0;
  std::int32_t error_index_ = 0;
  PmsOwn<IPmsAsnValue> time_stamp_;
  PmsOwn<IPmsObjectId> trap_oid_;
};

// ---- targets ---------------------------------------------------------------------

class CPmsTargetBase : public IPmsSnmpTarget {
 public:
  void set_version(std::int32_t v) override { version_ = v; }
  void set_timeout(std::int32_t ms) override { timeout_ = ms; }
  void set_retries(std::int32_t n) override { retries_ = n; }
  void set_max_message_size(std::int32_t n) override { max_size_ = n; }
  void set_local_port(std::uint16_t port) override { local_port_ = port; }
  std::int32_t get_version() const override { return version_; }
  std::int32_t get_timeout() const override { return timeout_; }
  std::int32_t get_retries() const override { return retries_; }
  std::int32_t get_max_message_size() const override { return max_size_; }
  std::uint16_t get_local_port() const override { return local_port_; }
  int set_address(const IPmcNetworkAddress* address) override {
    if (!address) {
      address_.reset();
      return 0;
    }
    PmsOwn<IPmcNetworkAddress> copy;
    int r = address->clone(&copy);
    if (r) return r;
    address_ = std::move(copy);
    return 0;
  }
  IPmcNetworkAddress* get_address() const override { return address_.get(); }

 protected:
  int copy_common(const IPmsSnmpTarget* other) {
    int r = set_address(other->get_address());
    if (r) return r;
    version_ = other->get_version();
    timeout_ = other->get_timeout();
    retries_ = other->get_retries();
    max_size_ = other->get_max_message_size();
    local_port_ = other->get_local_port();
    return 0;
  }
  std::int32_t version_ = kSnmpUnset;
  std::int32_t timeout_ = -1;
  std::int32_t retries_ = 0;
  std::int32_t max_size_ = 0;
  PmsOwn<IPmcNetworkAddress> address_;
  std::uint16_t local_port_ = 0;
};

int store_text(std::string& slot, const char* text) {
  try {
    slot.assign(text ? text : "");
  } catch (const std::bad_alloc&) {
    return pms::kNoMemory;
  }
  return 0;
}

class CPmsCommunityTarget final : public CPmsTargetBase, public IPmsCommunity {
 public:
  int accept(IPmsTargetVisitor& visitor) override { return visitor.on_community(*this, *this); }
  void release() override { delete this; }
  void clear() override { has_community_ = false, community_.clear(); }
  PmsOwn<IPmsSnmpTarget> clone(int* err) const override {
    auto c = give<IPmsSnmpTarget>(make<CPmsCommunityTarget>(), err);
    if (!c) return c;
    int r = c->copy_from(this);
    pms::set_err(err, r);
    if (r) c.reset();
    return c;
  }
  int copy_from(const IPmsSnmpTarget* other) override {
    if (!other) return pms::kBadArgument;
    if (other == this) return 0;
    const IPmsCommunity* oc = const_cast<IPmsSnmpTarget*>(other)->as_community();
    if (!oc) return pms::kBadArgument;
    int r = copy_common(other);
    if (r) return r;
    return set_community(oc->get_community());
  }
  bool equals(const IPmsSnmpTarget* other) const override {
    if (!other) return false;
    const IPmsCommunity* oc = const_cast<IPmsSnmpTarget*>(other)->as_community();
    if (!oc) return false;
    const char* a = get_community();
    const char* b = oc->get_community();
    if (!a || !b) return !a && !b;
    return std::strcmp(a, b) == 0;
  }
  std::int32_t security_model() const override { return 0; }
  void* query(std::uint32_t id) override {
    switch (id) {
      case 0: return static_cast<IPmsSnmpTarget*>(this);
      case 1: return this;
      case 2:
      case 3: return static_cast<IPmsCommunity*>(this);
      default: return nullptr;
    }
  }
  IPmsCommunity* as_community() override { return this; }
  IPmsUsm* as_usm() override { return nullptr; }
  int set_community(const char* text) override {
    if (!text) {
      clear();
      return 0;
    }
    int r = store_text(community_, text);
    if (r == 0) has_community_ = true;
    return r;
  }
  const char* get_community() const override { return has_community_ ? community_.c_str() : nullptr; }

 private:
  std::string community_;
  bool has_community_ = false;
};

class CPmsUsmTarget final : public CPmsTargetBase, public IPmsUsm {
 public:
  CPmsUsmTarget() : engine_id_(pms_create_octet_buffer(nullptr)) {
    if (!engine_id_) throw std::bad_alloc();
  }
  int accept(IPmsTargetVisitor& visitor) override { return visitor.on_usm(*this, *this); }
  void release() override { delete this; }
  void clear() override {}
  PmsOwn<IPmsSnmpTarget> clone(int* err) const override {
    auto c = give<IPmsSnmpTarget>(make<CPmsUsmTarget>(), err);
    if (!c) return c;
    int r = c->copy_from(this);
    pms::set_err(err, r);
    if (r) c.reset();
    return c;
  }
  int copy_from(const IPmsSnmpTarget* other) override {
    if (!other) return pms::kBadArgument;
    if (other == this) return 0;
    IPmsUsm* o = const_cast<IPmsSnmpTarget*>(other)->as_usm();
    if (!o) return pms::kBadArgument;
    int r = copy_common(other);
    if (r) return r;
    if ((r = set_security_name(o->get_security_name()))) return r;
    level_ = o->get_security_level();
    auth_ = o->get_auth_protocol();
    priv_ = o->get_priv_protocol();
    if ((r = set_auth_pass_phrase(o->get_auth_pass_phrase()))) return r;
    if ((r = set_priv_pass_phrase(o->get_priv_pass_phrase()))) return r;
    if ((r = set_context_name(o->get_context_name()))) return r;
    return set_engine_id(o->get_engine_id()->data(), o->get_engine_id()->length());
  }
  bool equals(const IPmsSnmpTarget* other) const override {
    if (!other) return false;
    IPmsUsm* o = const_cast<IPmsSnmpTarget*>(other)->as_usm();
    if (!o) return false;
    return name_ == o->get_security_name() && level_ == o->get_security_level() && auth_ == o->get_auth_protocol() &&
           priv_ == o->get_priv_protocol() && auth_phrase_ == o->get_auth_pass_phrase() &&
           priv_phrase_ == o->get_priv_pass_phrase() && context_ == o->get_context_name();
  }
  std::int32_t security_model() const override { return 1; }
  void* query(std::uint32_t id) override {
    switch (id) {
      case 0: return static_cast<IPmsSnmpTarget*>(this);
      case 1: return this;
      case 4:
      case 5: return static_cast<IPmsUsm*>(this);
      default: return nullptr;
    }
  }
  IPmsCommunity* as_community() override { return nullptr; }
  IPmsUsm* as_usm() override { return this; }
  const char* get_security_name() const override { return name_.c_str(); }
  std::int32_t get_security_level() const override { return level_; }
  std::int32_t get_auth_protocol() const override { return auth_; }
  std::int32_t get_priv_protocol() const override { return priv_; }
  const char* get_auth_pass_phrase() const override { return auth_phrase_.c_str(); }
  const char* get_priv_pass_phrase() const override { return priv_phrase_.c_str(); }
  const char* get_context_name() const override { return context_.c_str(); }
  IPmsOctetBuffer* get_engine_id() override { return engine_id_.get(); }
  int set_security_name(const char* text) override {
    if (text && std::strlen(text) > 32) return pms::kBadArgument;
    return store_text(name_, text);
  }
  void set_security_level(std::int32_t v) override { level_ = v; }
  void set_auth_protocol(std::int32_t v) override { auth_ = v; }
  void set_priv_protocol(std::int32_t v) override { priv_ = v; }
  int set_auth_pass_phrase(const char* text) override { return store_text(auth_phrase_, text); }
  int set_priv_pass_phrase(const char* text) override { return store_text(priv_phrase_, text); }
  int set_context_name(const char* text) override { return store_text(context_, text); }
  int set_engine_id(const void* bytes, std::uint32_t n) override {
    return engine_id_->set(bytes, bytes ? n : 0);
  }

 private:
  std::string name_, auth_phrase_, priv_phrase_, context_;
  std::int32_t level_ = 0, auth_ = 0, priv_ = 0;
  PmsOwn<IPmsOctetBuffer> engine_id_;
};

// ---- packet -----------------------------------------------------------------------

class CPmsSnmpPacket final : public IPmsSnmpPacket {
 public:
  void release() override { delete this; }
  PmsOwn<IPmsSnmpPacket> clone(int* err) const override {
    auto c = give<IPmsSnmpPacket>(make<CPmsSnmpPacket>(), err);
    if (!c) return c;
    if (target_) {
      auto t = target_->clone(err);
      if (!t) return nullptr;
      c->set_target(std::move(t));
    }
    if (pdu_) {
      auto p = pdu_->clone(err);
      if (!p) return nullptr;
      c->set_pdu(std::move(p));
    }
    pms::set_err(err, 0);
    return c;
  }
  bool equals(const IPmsSnmpPacket* other) const override {
    return other && both_absent_or_equal<IPmsPdu>(pdu_.get(), other->get_pdu()) &&
           both_absent_or_equal<IPmsSnmpTarget>(target_.get(), other->get_target());
  }
  void set_target(PmsOwn<IPmsSnmpTarget> target) override { target_ = std::move(target); }
  void set_pdu(PmsOwn<IPmsPdu> pdu) override { pdu_ = std::move(pdu); }
  PmsOwn<IPmsSnmpTarget> take_target() override { return std::move(target_); }
  PmsOwn<IPmsPdu> take_pdu() override { return std::move(pdu_); }
  IPmsSnmpTarget* get_target() const override { return target_.get(); }
  IPmsPdu* get_pdu() const override { return pdu_.get(); }

 private:
  PmsOwn<IPmsPdu> pdu_;
  PmsOwn<IPmsSnmpTarget> target_;
};

// ---- lists ------------------------------------------------------------------------

struct ListNode {
  ListNode* prev;
  ListNode* next;
  void* element;
};

class CPmsListIterator final : public IPmsListIterator {
 public:
  CPmsListIterator(const void* list, ListNode* node) : list(list), node(node) {}
  void release() override { delete this; }
  const void* list;
  ListNode* node;
};

// Doubly linked ring with a head node; every node owns its element.
template <class E>
class CPmsObjectList final : public IPmsObjectList<E> {
 public:
  CPmsObjectList() { head_.prev = head_.next = &head_; }
  ~CPmsObjectList() override { clear(); }
  void release() override { delete this; }
  int push_front(PmsOwn<E> element) override { return link(head_.next, std::move(element)); }
  int push_back(PmsOwn<E> element) override { return link(&head_, std::move(element)); }
  int pop_front() override {
    if (count_) PmsOwn<E> gone(unlink(head_.next));
    return 0;
  }
  int pop_back() override {
    if (count_) PmsOwn<E> gone(unlink(head_.prev));
    return 0;
  }
  void clear() override {
    while (count_) PmsOwn<E> gone(unlink(head_.next));
  }
  std::uint32_t count() const override { return count_; }
  PmsOwn<IPmsListIterator> create_iterator(int* err) override {
    return give<IPmsListIterator>(make<CPmsListIterator>(this, head_.next), err);
  }
  void rewind(IPmsListIterator* it) override {
    if (auto* i = mine(it)) i->node = head_.next;
  }
  void release_iterator(IPmsListIterator* it) override {
    if (it) it->release();
  }
  E* current(const IPmsListIterator* it) const override {
    auto* i = mine(it);
    if (!i || i->node == &head_) return nullptr;
    return static_cast<E*>(i->node->element);
  }
  void next(IPmsListIterator* it) override {
    auto* i = mine(it);
    if (i && i->node != &head_) i->node = i->node->next;
  }
  PmsOwn<E> erase(IPmsListIterator* it) override {
    auto* i = mine(it);
    if (!i || i->node == &head_) return nullptr;
    ListNode* n = i->node;
    i->node = n->next;
    return PmsOwn<E>(unlink(n));
  }
  IPmsObjectList<E>* self() override { return this; }

 private:
  CPmsListIterator* mine(const IPmsListIterator* it) const {
    auto* i = const_cast<CPmsListIterator*>(static_cast<const CPmsListIterator*>(it));
    return (i && i->list == this) ? i : nullptr;
  }
  int link(ListNode* before, PmsOwn<E> element) {
    if (!element) return pms::kBadArgument;
    auto* n = new (std::nothrow) ListNode{before->prev, before, nullptr};
    if (!n) return pms::kNoMemory;
    n->element = element.release();
    before->prev->next = n;
    before->prev = n;
    ++count_;
    return 0;
  }
  E* unlink(ListNode* n) {
    n->prev->next = n->next;
    n->next->prev = n->prev;
    E* e = static_cast<E*>(n->element);
    delete n;
    --count_;
    return e;
  }
  ListNode head_{};
  std::uint32_t count_ = 0;
};

}  // namespace

PmsOwn<IPmsVarBind> pms_create_var_bind(int* err) { return give<IPmsVarBind>(make<CPmsVarBind>(), err); }
PmsOwn<IPmsVarBindList> pms_create_var_bind_list(int* err) {
  return give<IPmsVarBindList>(make<CPmsVarBindList>(), err);
}
int pms_create_var_bind_list_ex(PmsOwn<IPmsVarBindList>* out) {
  if (!out) return pms::kBadArgument;
  int err = 0;
  *out = pms_create_var_bind_list(&err);
  return err;
}
PmsOwn<IPmsPdu> pms_create_pdu(int* err) { return give<IPmsPdu>(make<CPmsPdu>(), err); }
PmsOwn<IPmsSnmpPacket> pms_create_snmp_packet(int* err) { return give<IPmsSnmpPacket>(make<CPmsSnmpPacket>(), err); }
PmsOwn<IPmsSnmpPacketList> pms_create_snmp_packet_list(int* err) {
  return give<IPmsSnmpPacketList>(make<CPmsObjectList<IPmsSnmpPacket>>(), err);
}
PmsOwn<IPmsRowList> pms_create_row_list(int* err) {
  return give<IPmsRowList>(make<CPmsObjectList<IPmsVarBindList>>(), err);
}
PmsOwn<IPmsAddressList> pms_create_address_list(int* err) {
  return give<IPmsAddressList>(make<CPmsObjectList<IPmcNetworkAddress>>(), err);
}
PmsOwn<IPmsSnmpTarget> pms_create_community_target(int* err) {
  return give<IPmsSnmpTarget>(make<CPmsCommunityTarget>(), err);
}
PmsOwn<IPmsSnmpTarget> pms_create_usm_target(int* err) { return give<IPmsSnmpTarget>(make<CPmsUsmTarget>(), err); }
PmsOwn<IPmsSnmpTarget> pms_create_target(std::int32_t kind, int* err) {
  if (kind != 0) {
    pms::set_err(err, pms::kBadArgument);
    return nullptr;
  }
  return pms_create_community_target(err);
}
