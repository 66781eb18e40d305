#include "device_api/request_objects.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "snmp/asn_value.h"
#include "snmp/log.h"
#include "snmp/session.h"
#include "snmp/socket_api.h"

namespace {

constexpr const char* kLog = "PSW";

constexpr std::int32_t kErrNoSuchName = 2;
constexpr std::uint32_t kUdpMessageLimit = 1400;
constexpr std::uint32_t kIpxMessageLimit = 546;

bool is_exception(const IPmsAsnValue* v) {
  if (!v) return true;
  std::int32_t tag = v->get_tag();
  return tag == kPmsNoSuchObject || tag == kPmsNoSuchInstance || tag == kPmsEndOfMibView;
}

// The state both request classes share: PDU, one of two targets, the
// device address, the community and the version selector.
class RequestCore {
 public:
  RequestCore() { std::strcpy(community_, "public"); }

  void set_community(const char* text) {
    std::memset(community_, 0, sizeof community_);
    if (text) std::strncpy(community_, text, sizeof community_ - 1);
  }

  int init(const char* address, IPmcNetworkAddress::EProtocol protocol, std::uint16_t port, std::int32_t version,
           const char* security_name, std::int32_t security_level, std::int32_t auth_protocol,
           std::int32_t priv_protocol, const char* auth_passphrase, const char* priv_passphrase,
           const char* context_name, std::uint32_t timeout_ms, std::uint32_t retries,
           std::uint32_t max_message_size) {
    int err = 0;
    address_ = pmc_create_network_address(&err);
    if (!address_) return err ? err : pms::kNoMemory;
    if (int r = address_->set(address, protocol, port)) return r;

    IPmcNetworkAddress::EProtocol used = address_->get_protocol();
    std::uint32_t limit =
        (used == IPmcNetworkAddress::kIPv4 || used == IPmcNetworkAddress::kIPv6) ? kUdpMessageLimit : kIpxMessageLimit;
    if (max_message_size == 0 || max_message_size > limit) max_message_size = limit;

    version_ = version;
    IPmsSnmpTarget* target = nullptr;
    if (version == kSnmpV3) {
      usm_target_ = pms_create_usm_target(&err);
      if (!usm_target_) return err ? err : pms::kNoMemory;
      target = usm_target_.get();
      target->set_timeout(static_cast<std::int32_t>(timeout_ms));
      target->set_retries(static_cast<std::int32_t>(retries));
      target->set_version(kSnmpV3);
      if (int r = target->set_address(address_.get())) return r;
      IPmsUsm* usm = target->as_usm();
      if (!usm) return pms::kBadArgument;
      if (int r = usm->set_security_name(security_name)) return r;
      usm->set_security_level(security_level);
      usm->set_auth_protocol(auth_protocol);
      usm->set_priv_protocol(priv_protocol);
      if (int r = usm->set_auth_pass_phrase(auth_passphrase)) return r;
      if (int r = usm->set_priv_pass_phrase(priv_passphrase)) return r;
      if (int r = usm->set_context_name(context_name)) return r;
    } else {
      community_target_ = pms_create_community_target(&err);
      if (!community_target_) return err ? err : pms::kNoMemory;
      target = community_target_.get();
      target->set_timeout(static_cast<std::int32_t>(timeout_ms));
      target->set_retries(static_cast<std::int32_t>(retries));
      target->set_version(kSnmpV1);
      IPmsCommunity* community = target->as_community();
      if (!community) return pms::kBadArgument;
      if (int r = community->set_community(community_)) return r;
      if (int r = target->set_address(address_.get())) return r;
    }
    target->set_max_message_size(static_cast<std::int32_t>(max_message_size));
    pdu_ = pms_create_pdu(&err);
    if (!pdu_) return err ? err : pms::kNoMemory;
    return 0;
  }

  IPmsSnmpTarget* target() const { return version_ == kSnmpV3 ? usm_target_.get() : community_target_.get(); }
  IPmsPdu* pdu() const { return pdu_.get(); }

  int add_oid(const char* text, const char* sub_ids, PmsOwn<IPmsAsnValue> value) {
    if (!pdu_ || !text) return pms::kBadArgument;
    int err = 0;
    PmsOwn<IPmsObjectId> oid = pms_create_oid_from_string(text, &err);
    if (!oid) return err ? err : pms::kNoMemory;
    if (oid->arcs().empty()) return pms::kBadArgument;
    if (sub_ids) {
      if (int r = oid->append_text(sub_ids)) return r;
    }
    if (!value) {
      value = pms_create_value(kPmsNull, &err);
      if (!value) return err ? err : pms::kNoMemory;
    }
    return pdu_->append_new(std::move(oid), std::move(value));
  }

  // One exchange of the PDU as the given request type.
  int exchange(std::int32_t type) {
    if (!pdu_ || !target()) return pms::kBadArgument;
    int err = 0;
    PmsOwn<SessionDispatcher> dispatcher = pmc_create_session_dispatcher(&err);
    if (!dispatcher) return err ? err : pms::kNoMemory;
    pdu_->set_type(type);
    return dispatcher->send_sync(pdu_.get(), target());
  }

  int broadcast(PmsOwn<IPmsSnmpPacketList>* answers) {
    if (!answers) return pms::kBadArgument;
    if (!pdu_ || !target()) return pms::kBadArgument;
    int err = 0;
    PmsOwn<SessionDispatcher> dispatcher = pmc_create_session_dispatcher(&err);
    if (!dispatcher) return err ? err : pms::kNoMemory;
    pdu_->set_type(kPduGet);
    return dispatcher->send_broad_cast_sync(pdu_.get(), target(), answers);
  }

  // A GET whose answer must carry a value for each of the first count
  // bindings. An error status means the agent answered with no values, so
  // it is a failure rather than an answer to read.
  int get(std::uint32_t count) {
    if (int r = exchange(kPduGet)) return r;
    if (pdu_->get_error_status() != 0) return kPmcNoValue;
    IPmsVarBindList* list = pdu_->get_var_bind_list();
    if (!list || list->count() < count) return kPmcNoValue;
    return 0;
  }

  const IPmsAsnValue* answer_value(std::uint32_t i) const {
    IPmsVarBind* b = pdu_->get_var_bind_list()->get_at(i);
    return b ? b->get_value() : nullptr;
  }

  int read_int(std::uint32_t i, std::int32_t* out) const {
    const IPmsAsnValue* v = answer_value(i);
    if (is_exception(v)) return kPmcNoValue;
    int err = 0;
    std::int32_t n = v->get_int(&err);
    if (err) {
      err = 0;
      n = static_cast<std::int32_t>(v->get_uint(&err));
    }
    if (err) return kPmcNoValue;
    *out = n;
    return 0;
  }

 private:
  PmsOwn<IPmsPdu> pdu_;
  PmsOwn<IPmsSnmpTarget> community_target_;
  PmsOwn<IPmsSnmpTarget> usm_target_;
  PmsOwn<IPmcNetworkAddress> address_;
  char community_[256] = {};
  std::int32_t version_ = -1;
};

// What the request objects do alike over their request core: release,
// community, initialisation, address kinds and the target.
template <typename Interface>
class RequestObject : public Interface {
 public:
  void release() override { delete this; }
  void set_community(const char* community) override { core_.set_community(community); }
  int init(const char* address, IPmcNetworkAddress::EProtocol protocol, std::uint16_t port, std::int32_t version,
           const char* security_name, std::int32_t security_level, std::int32_t auth_protocol,
           std::int32_t priv_protocol, const char* auth_passphrase, const char* priv_passphrase,
           const char* context_name, std::uint32_t timeout_ms, std::uint32_t retries,
           std::uint32_t max_message_size) override {
    return core_.init(address, protocol, port, version, security_name, security_level, auth_protocol, priv_protocol,
                      auth_passphrase, priv_passphrase, context_name, timeout_ms, retries, max_message_size);
  }
  int address_protocol(const char* text, IPmcNetworkAddress::EProtocol* protocol) override {
    return pmc_socket_get_address_protocol(text, protocol);
  }
  IPmsSnmpTarget* target() const override { return core_.target(); }

 protected:
  ~RequestObject() override = default;
  RequestCore core_;
};

class CPmcGetData final : public RequestObject<IPmcGetData> {
 public:
  int add_oid_string(const char* oid, bool scalar) override {
    return core_.add_oid(oid, scalar ? "0" : nullptr, nullptr);
  }
  int add_oid_value(const char* oid, const char* sub_ids, std::int32_t value) override {
    int err = 0;
    PmsOwn<IPmsAsnValue> v = pms_create_value_from_int(value, kPmsInteger, &err);
    if (!v) return err ? err : pms::kNoMemory;
    return core_.add_oid(oid, sub_ids, std::move(v));
  }

  // Every non-zero error status is a refused SET (badValue, readOnly,
  // genErr, wrongType, notWritable, ... as much as noSuchName or noAccess).
  int set_data() override {
    if (int r = core_.exchange(kPduSet)) return r;
    return core_.pdu()->get_error_status() != 0 ? kPmcNoValue : 0;
  }

  int get_data(IPmsRowList* rows, const char* first_column) override;

  int get_text(char* buffer, std::size_t size) override {
    if (!buffer || size == 0) return pms::kBadArgument;
    if (int r = core_.get(1)) return r;
    const IPmsAsnValue* v = core_.answer_value(0);
    if (is_exception(v)) return kPmcNoValue;
    int err = 0;
    PmsOwn<IPmsOctetBuffer> text = v->to_text_buffer(&err);
    if (!text) return err ? err : kPmcNoValue;
    std::size_t n = std::min<std::size_t>(text->length(), size - 1);
    if (n) std::memcpy(buffer, text->data(), n);
    buffer[n] = '\0';
    return 0;
  }

  int get_integers(std::int32_t* values, std::uint32_t count) override {
    if (!values) return pms::kBadArgument;
    if (int r = core_.get(count)) return r;
    for (std::uint32_t i = 0; i < count; ++i) {
      if (int r = core_.read_int(i, &values[i])) return r;
    }
    return 0;
  }

  int get_integer(std::int32_t* value) override { return get_integers(value, 1); }


  IPmsPdu* pdu() const override { return core_.pdu(); }

 private:
  ~CPmcGetData() override = default;
};

int CPmcGetData::get_data(IPmsRowList* rows, const char* first_column) {
  if (!rows || !first_column) return pms::kBadArgument;
  int err = 0;
  PmsOwn<IPmsObjectId> column = pms_create_oid_from_string(first_column, &err);
  if (!column || column->arcs().empty()) return pms::kBadArgument;
  IPmsPdu* pdu = core_.pdu();
  if (!pdu) return pms::kBadArgument;

  std::vector<std::uint32_t> previous;
  for (std::size_t walked = 0;; ++walked) {
    // An agent can keep answering rising OIDs inside the column for ever;
    // no table of a device is that long, so the walk stops there with the
    // rows read so far and says why.
    if (walked == kPmcMaxWalkRows) {
      pmc_log_printf(kLog, kPmcLogError, "get_data(): walk stopped after %u rows: the agent does not reach the column's end.",
                static_cast<unsigned>(kPmcMaxWalkRows));
      return kPmcNoValue;
    }
    if (int r = core_.exchange(kPduGetNext)) return r;
    // An SNMPv1 agent answers GETNEXT past its view with noSuchName and
    // echoes the request: that is the end of the walk, not a row.
    std::int32_t status = pdu->get_error_status();
    if (status == kErrNoSuchName) return 0;
    if (status != 0) return kPmcNoValue;
    IPmsVarBindList* list = pdu->get_var_bind_list();
    if (!list || list->count() == 0) return kPmcNoValue;
    IPmsVarBind* first = list->get_at(0);
    IPmsObjectId* oid = first ? first->get_oid() : nullptr;
    if (!oid) return kPmcNoValue;
    if (first->get_value() && first->get_value()->get_tag() == kPmsEndOfMibView) return 0;
    // Inside the column means the column's arcs followed by at least one more.
    std::span<const std::uint32_t> col = column->arcs();
    std::span<const std::uint32_t> got = oid->arcs();
    if (got.size() <= col.size() || !std::equal(col.begin(), col.end(), got.begin())) return 0;
    // An agent that does not move forward would make the walk loop forever.
    if (!previous.empty() && !std::lexicographical_compare(previous.begin(), previous.end(), got.begin(), got.end())) {
      pmc_log_printf(kLog, kPmcLogError, "get_data(): walk stopped: the agent answered an OID that does not follow the last one.");
      return kPmcNoValue;
    }
    previous.assign(got.begin(), got.end());

    PmsOwn<IPmsVarBindList> row = list->clone(&err);
    if (!row) return err ? err : pms::kNoMemory;
    if (int r = rows->push_back(std::move(row))) return r;
  }
}

class CPmcFindDeviceSnmp final : public RequestObject<IPmcFindDeviceSnmp> {
 public:
  int add_oid_string(const char* oid) override { return core_.add_oid(oid, "0", nullptr); }
  int send_broad_cast(PmsOwn<IPmsSnmpPacketList>* answers) override { return core_.broadcast(answers); }

 private:
  ~CPmcFindDeviceSnmp() override = default;
};

}  // namespace

PmsOwn<IPmcGetData> pmc_create_get_data(int* err) {
  auto* p = new (std::nothrow) CPmcGetData();
  pms::set_err(err, p ? 0 : pms::kNoMemory);
  return PmsOwn<IPmcGetData>(p);
}

PmsOwn<IPmcFindDeviceSnmp> pmc_create_find_device_snmp(int* err) {
  auto* p = new (std::nothrow) CPmcFindDeviceSnmp();
  pms::set_err(err, p ? 0 : pms::kNoMemory);
  return PmsOwn<IPmcFindDeviceSnmp>(p);
}
