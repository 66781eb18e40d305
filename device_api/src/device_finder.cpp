#include "device_api/device_finder.h"

#include <cstring>
#include <new>

#include "device_api/request_objects.h"
#include "device_api/text_field.h"
#include "snmp/asn_value.h"
#include "snmp/log.h"

namespace {

constexpr const char* kLog = "PSW";
constexpr const char* kSysObjectId = "1.3.6.1.2.1.1.2";

void log_error(const char* text) { pmc_log_printf(kLog, kPmcLogError, "%s", text); }

void copy_out(char* out, const char* text) {
  if (!out) return;
  std::memset(out, 0, CPSWDeviceFinder::kTextSize);
  std::memcpy(out, text, strnlen(text, CPSWDeviceFinder::kTextSize - 1));
}

}  // namespace

CPSWDeviceFinder::CPSWDeviceFinder() = default;

CPSWDeviceFinder::~CPSWDeviceFinder() { release_results(); }

void CPSWDeviceFinder::release_results() {
  if (list_) {
    for (PSWFoundDevice* d = list_->head; d;) {
      PSWFoundDevice* next = d->next;
      delete d;
      d = next;
    }
    delete list_;
    list_ = nullptr;
  }
  if (request_) {
    request_->release();
    request_ = nullptr;
  }
}

long CPSWDeviceFinder::AddFilter(const char* prefix) {
  if (!prefix || std::strlen(prefix) >= kTextSize) return pms::kBadArgument;
  for (auto& slot : filters_) {
    if (slot[0] == '\0') {
      psw_copy_text(slot, prefix, std::strlen(prefix));
      return 0;
    }
  }
  return 0;
}

void CPSWDeviceFinder::ClearFilter() { std::memset(filters_, 0, sizeof filters_); }

void CPSWDeviceFinder::SetCommunity(const char* community) {
  if (community) psw_copy_text(community_, community, std::strlen(community));
}

long CPSWDeviceFinder::Find(IPmcNetworkAddress::EProtocol protocol, const char* address, IPSWPluginUSM* usm,
                            unsigned long timeout, unsigned long retries, unsigned long max_message_size) {
  release_results();
  if (!address || !usm) return pms::kBadArgument;
  int err = 0;
  PmsOwn<IPmcFindDeviceSnmp> request = pmc_create_find_device_snmp(&err);
  if (!request) {
    log_error("pmc_create_find_device_snmp()");
    return err ? err : pms::kNoMemory;
  }
  IPmcNetworkAddress::EProtocol asked = IPmcNetworkAddress::kUnspecified;
  if (int r = request->address_protocol(address, &asked)) return r;
  if (asked != protocol) return pms::kBadArgument;
  const std::uint16_t port = psw_snmp_port(protocol);
  if (port == 0) return pms::kBadArgument;
  if (community_[0]) request->set_community(community_);
  int r = request->init(address, protocol, port, usm->get_version(), usm->get_security_name(),
                        usm->get_security_level(), usm->get_auth_protocol(), usm->get_priv_protocol(),
                        usm->get_auth_passphrase(), usm->get_priv_passphrase(), usm->get_context_name(),
                        static_cast<std::uint32_t>(timeout), static_cast<std::uint32_t>(retries),
                        static_cast<std::uint32_t>(max_message_size));
  if (r) {
    log_error("m_pFindDeviceSnmp->init()");
    return r;
  }
  list_ = new (std::nothrow) FoundDeviceList{0, 0, nullptr};
  if (!list_) return pms::kNoMemory;
  request_ = request.release();
  return 0;
}

bool CPSWDeviceFinder::passes_filters(const char* sys_object_id) const {
  if (filters_[0][0] == '\0') return true;
  for (const auto& slot : filters_)
    if (slot[0] && std::strncmp(sys_object_id, slot, std::strlen(slot)) == 0) return true;
  return false;
}

long CPSWDeviceFinder::Collect(const SupportedModel* table, std::size_t rows, long* count) {
  if (count) *count = 0;
  naming_table_ = table;
  if (!request_ || !list_) return -8;
  if (int r = request_->add_oid_string(kSysObjectId)) {
    log_error("m_pFindDeviceSnmp->add_oid_string()");
    return r;
  }
  PmsOwn<IPmsSnmpPacketList> answers;
  if (int r = request_->send_broad_cast(&answers)) {
    log_error("m_pFindDeviceSnmp->send_broad_cast()");
    return r;
  }
  int err = 0;
  PmsOwn<IPmsListIterator> it = answers ? answers->create_iterator(&err) : PmsOwn<IPmsListIterator>();
  for (IPmsSnmpPacket* p = it ? answers->current(it.get()) : nullptr; p;
       answers->next(it.get()), p = answers->current(it.get())) {
    IPmsSnmpTarget* target = p->get_target();
    IPmcNetworkAddress* from = target ? target->get_address() : nullptr;
    IPmsPdu* pdu = p->get_pdu();
    IPmsVarBind* b = pdu && pdu->get_var_bind_list() ? pdu->get_var_bind_list()->get_at(0) : nullptr;
    const IPmsAsnValue* value = b ? b->get_value() : nullptr;
    if (!from || !value) continue;
    PmsOwn<IPmsOctetBuffer> text = value->to_text_buffer(&err);
    if (!text || !text->data()) continue;
    // The value's text is the whole sysObjectID: a model is looked up on
    // it before the record cuts it to its field.
    const std::string oid(reinterpret_cast<const char*>(text->data()), text->length());
    const SupportedModel* model = nullptr;
    for (std::size_t i = 0; table && i < rows && !model; ++i)
      if (psw_matches_model_oid(oid.c_str(), table[i].sys_object_id)) model = &table[i];
    if (!model || !passes_filters(oid.c_str())) continue;
    auto* d = new (std::nothrow) PSWFoundDevice{};
    if (!d) return pms::kNoMemory;
    psw_copy_text(d->sys_object_id, oid.c_str(), oid.size());
    psw_copy_text(d->model_name, model->model_name, std::strlen(model->model_name));
    const char* host = from->host_text() ? from->host_text() : "";
    psw_copy_text(d->address, host, std::strlen(host));
    d->next = list_->head;
    list_->head = d;
    ++list_->count;
  }
  if (count) *count = list_->count;
  return 0;
}

bool CPSWDeviceFinder::Next(char* address, char* model_name, char* reserved, char* sys_object_id) {
  if (!list_ || list_->count == 0 || list_->cursor >= list_->count) return false;
  PSWFoundDevice* d = list_->head;
  for (std::int32_t i = 0; d && i < list_->cursor; ++i) d = d->next;
  if (!d) return false;
  copy_out(address, d->address);
  copy_out(model_name, d->model_name);
  copy_out(reserved, "");
  copy_out(sys_object_id, d->sys_object_id);
  ++list_->cursor;
  return true;
}

void CPSWDeviceFinder::ResetPosition() {
  if (list_) list_->cursor = 0;
}
