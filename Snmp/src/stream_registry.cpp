// The process-wide stream factory registry: named factories, newest first,
// and one selected factory through which every encode and decode runs.
#include <cstring>
#include <list>
#include <mutex>

#include "snmp/ber_codec.h"

namespace {

class CPmsStreamFactoryRegistry final : public IPmsStreamRegistry {
 public:
  CPmsStreamFactoryRegistry() { register_factory(pms_trans_stream_factory()); }

  int register_factory(IPmsStreamFactory* factory) override {
    if (!factory) return pms::kBadArgument;
    try {
      factories_.push_front(factory);
    } catch (const std::bad_alloc&) {
      return pms::kNoMemory;
    }
    selected_ = factory;
    return 0;
  }

  int select_stream(const char* name) override {
    if (!name) {
      selected_ = nullptr;
      return 0;
    }
    for (auto* f : factories_) {
      if (std::strcmp(f->name(), name) == 0) {
        selected_ = f;
        return 0;
      }
    }
    return pms::kBadArgument;
  }

  const char* selected_name() const override { return selected_ ? selected_->name() : nullptr; }

  int encode(IPmsPdu* pdu, IPmsSnmpTarget* target, CPmcMessageBuffer* buffer, std::uint32_t* written) override {
    if (!selected_) return pms::kNothing;
    if (!pdu || !target || !buffer) return pms::kBadArgument;
    int err = 0;
    auto enc = selected_->create_encoder(&err);
    if (!enc) return err;
    enc->set_buffer(buffer);
    int r = enc->encode_message(*pdu, *target);
    if (written) *written = enc->bindings_written();
    return r;
  }

  int encode_packet(IPmsSnmpPacket* packet, CPmcMessageBuffer* buffer, std::uint32_t* written) override {
    if (!selected_) return pms::kNothing;
    if (!packet || !buffer) return pms::kBadArgument;
    int err = 0;
    auto enc = selected_->create_encoder(&err);
    if (!enc) return err;
    enc->set_buffer(buffer);
    int r = enc->encode_packet(packet);
    if (written) *written = enc->bindings_written();
    return r;
  }

  int decode(const CPmcMessageBuffer* buffer, IPmsPdu* pdu, IPmsSnmpTarget* target, std::int32_t kind) override {
    if (!selected_) return pms::kNothing;
    if (!buffer || !pdu) return pms::kBadArgument;
    int err = 0;
    auto dec = selected_->create_decoder(&err);
    if (!dec) return err;
    dec->set_buffer(buffer);
    dec->set_sender_kind(kind);
    if (target) return dec->decode_message(*pdu, *target);
    // No target of the caller's: describe the sender in a temporary one.
    auto tmp = pms_create_target(kind, &err);
    if (!tmp) return kind == kPmsSenderNone ? pms::kBadArgument : err;
    return dec->decode_message(*pdu, *tmp);
  }

  int decode_packet(const CPmcMessageBuffer* buffer, IPmsSnmpPacket* packet, std::int32_t kind) override {
    if (!selected_) return pms::kNothing;
    if (!buffer || !packet) return pms::kBadArgument;
    int err = 0;
    auto dec = selected_->create_decoder(&err);
    if (!dec) return err;
    dec->set_buffer(buffer);
    dec->set_sender_kind(kind);
    return dec->decode_packet(packet);
  }

  int decode_header(const CPmcMessageBuffer* buffer, std::int32_t* error_status, std::int32_t* request_id,
                    std::int32_t kind) override {
    if (!selected_) return pms::kNothing;
    if (!buffer || !error_status || !request_id) return pms::kBadArgument;
    int err = 0;
    auto dec = selected_->create_decoder(&err);
    if (!dec) return err;
    auto packet = pms_create_snmp_packet(&err);
    if (!packet) return err;
    dec->set_buffer(buffer);
    dec->set_sender_kind(kind);
    dec->set_header_only(true);
    int r = dec->decode_packet(packet.get());
    if (r) return r;
    *error_status = packet->get_pdu()->get_error_status();
    *request_id = packet->get_pdu()->get_request_id();
    return 0;
  }

 private:
  IPmsStreamFactory* selected_ = nullptr;
  std::list<IPmsStreamFactory*> factories_;  // not owned: factories are static
};

}  // namespace

IPmsStreamRegistry* pms_get_stream_registry() {
  static CPmsStreamFactoryRegistry registry;
  return &registry;
}
