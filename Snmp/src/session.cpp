// RequestSession and SessionDispatcher.
//
// Sound behaviour kept beyond the plain protocol:
// - an answer counts only when it comes from the address the request went
//   to and carries the request's id; the target keeps its own address;
// - an answer is decoded into a PDU of its own and only a complete answer
//   replaces the caller's bindings, so a broken datagram never leaves the
//   caller's PDU half overwritten;
// - datagrams are read whole (up to 65535 bytes), so a large answer is
//   never cut;
// - when a piece of a split request fails, the caller's PDU gets its
//   bindings back;
// - a broadcast drops undecodable or foreign datagrams and keeps what it
//   collected.
#include "snmp/session.h"
#include "snmp/v3_session.h"

#include <chrono>
#include <cstring>
#include <new>
#include <vector>

#include "snmp/datagram.h"
#include "snmp/log.h"
#include "win/memory.h"

namespace {

CPmcLogSessionHolder g_log("snmp");

std::int64_t now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

class RequestSession final : public IPmsSession {
 public:
  void release() override { delete this; }

  int send_sync(IPmsPdu* pdu, IPmsSnmpTarget* target) override {
    if (!pdu || !target || !target->get_address()) return pms::kBadArgument;
    const IPmcNetworkAddress* dest = target->get_address();
    int r = channel_.open(dest->get_protocol(), target->get_local_port());
    if (r) return r;
    return request(pdu, target);
  }

  int send_sync(IPmsSnmpPacket* packet) override {
    if (!packet) return pms::kBadArgument;
    return send_sync(packet->get_pdu(), packet->get_target());
  }

  int send_broad_cast_sync(IPmsSnmpPacket* packet, PmsOwn<IPmsSnmpPacketList>* answers) override {
    if (!packet) return pms::kBadArgument;
    return send_broad_cast_sync(packet->get_pdu(), packet->get_target(), answers);
  }

  int send_broad_cast_sync(IPmsPdu* pdu, IPmsSnmpTarget* target, PmsOwn<IPmsSnmpPacketList>* answers) override;

 private:
  // One request, split into pieces when it is too big.
  int request(IPmsPdu* pdu, IPmsSnmpTarget* target) {
    std::uint32_t pieces = 0;
    int r = send_and_receive(pdu, target, &pieces);
    if (pieces) return fragment_process(pdu, target, pieces);
    return r;
  }

  int send_and_receive(IPmsPdu* pdu, IPmsSnmpTarget* target, std::uint32_t* pieces);
  int fragment_process(IPmsPdu* pdu, IPmsSnmpTarget* target, std::uint32_t n);

  DataGramChannel channel_;
};

int RequestSession::send_and_receive(IPmsPdu* pdu, IPmsSnmpTarget* target, std::uint32_t* pieces) {
  *pieces = 0;
  const IPmcNetworkAddress* dest = target->get_address();
  std::uint32_t fitted = 0;
  int err = 0;
  auto message = channel_.encode(pdu, target, &fitted, &err);
  std::uint32_t count = pdu->get_var_bind_list() ? pdu->get_var_bind_list()->count() : 0;
  if (!message) {
    // Without a binding that fits there is no split that helps.
    if (err == pms::kTooBig && fitted > 0 && count > 1)
      *pieces = fitted >= count ? 2 : (count + fitted - 1) / fitted;
    return err;
  }
  std::int32_t sent_id = pdu->get_request_id();
  std::int32_t timeout = target->get_timeout();
  std::int32_t tries = target->get_retries() < 0 ? 1 : target->get_retries() + 1;
  g_log.log(kPmcLogInfo, "_send_and_receive(): timeout= %d, retries=%d", timeout, target->get_retries());
  int result = pms::kTimeout;
  for (std::int32_t attempt = 0; attempt < tries; ++attempt) {
    g_log.log(kPmcLogDebug, "_send_and_receive(): try %d, destination=%s", attempt, dest->host_text());
    int r = channel_.send(*message, dest);
    if (r) return r;
    std::int64_t remaining = timeout;
    std::int64_t mark = now_ms();
    while (remaining > 0) {
      PmsOwn<IPmcNetworkAddress> sender;
      auto answer = channel_.receive(static_cast<std::int32_t>(remaining), &sender, &err);
      if (!answer) {
        if (err == pms::kTimeout) {
          g_log.log(kPmcLogError, "_send_and_receive(): receive timeout.");
          break;
        }
        g_log.log(kPmcLogError, "_send_and_receive(): error=%d.", err);
        return err;
      }
      g_log.log(kPmcLogDebug, "_send_and_receive(): receive from %s", sender->host_text());
      std::int64_t t = now_ms();
      remaining -= t - mark;
      mark = t;
      if (!sender->equals(dest)) {
        g_log.log(kPmcLogDebug, "_send_and_receive(): answer from another address dropped.");
        continue;
      }
      std::int32_t status = 0, id = 0;
      if (pms_get_stream_registry()->decode_header(answer.get(), &status, &id, target->security_model()) != 0)
        continue;
      if (id != sent_id) {
        g_log.log(kPmcLogDebug,
                  "[RequestSession::check_received_raw_packet] request id not match. sended packet[%ud]:received "
                  "packet[%ud].",
                  static_cast<unsigned>(sent_id), static_cast<unsigned>(id));
        continue;
      }
      if (status == 1) {
        g_log.log(kPmcLogDebug, "_send_and_receive(): receive packet is too big.");
        *pieces = 2;
        return kPmsAnswerTooBig;
      }
      auto reply = pms_create_pdu(&err);
      auto from = pms_create_community_target(&err);
      if (!reply || !from) return pms::kNoMemory;
      r = channel_.decode(*answer, reply.get(), from.get());
      if (r == pms::kDecodeError) {
        // An answer to this request that the decoder refuses: keep waiting
        // for a valid one, but without one the caller learns why, rather
        // than a timeout.
        g_log.log(kPmcLogError, "_send_and_receive(): answer to packet[%d] could not be decoded.", sent_id);
        result = pms::kDecodeError;
        continue;
      }
      if (r) return r;
      pdu->set_type(reply->get_type());
      pdu->set_error_status(reply->get_error_status());
      pdu->set_error_index(reply->get_error_index());
      pdu->set_var_bind_list(reply->take_var_bind_list());
      return 0;
    }
  }
  return result;
}

int RequestSession::fragment_process(IPmsPdu* pdu, IPmsSnmpTarget* target, std::uint32_t n) {
  IPmsVarBindList* whole = pdu->get_var_bind_list();
  std::uint32_t c = whole ? whole->count() : 0;
  std::uint32_t base = c / n, extra = c % n;
  if (base == 0) {
    g_log.log(kPmcLogError, "[RequestSession::fragment_pdu] can't fragment the packet[%d] any more.",
              pdu->get_request_id());
    return kPmsCannotSplit;
  }
  int err = 0;
  PmsOwn<IPmsVarBindList> backup = whole->clone(&err);
  if (!backup) return err;
  std::vector<PmsOwn<IPmsPdu>> parts;
  for (std::uint32_t i = 0; i < n; ++i) {
    auto part = pms_create_pdu(&err);
    if (!part) return err;
    part->copy_header(pdu);
    auto slice = whole->split_front(base + (i < extra ? 1 : 0), &err);
    if (!slice) {
      pdu->set_var_bind_list(std::move(backup));
      return err;
    }
    part->set_var_bind_list(std::move(slice));
    parts.push_back(std::move(part));
  }
  if (whole->count() != 0) {
    g_log.log(kPmcLogError, "[RequestSession::fragment_pdu] vb size of a fragmented packet is zero.");
    pdu->set_var_bind_list(std::move(backup));
    return -1;
  }
  g_log.log(kPmcLogInfo, "[RequestSession::fragment_process] packet[%d] is fragmented to %d.", pdu->get_request_id(),
            static_cast<int>(n));
  for (auto& part : parts) {
    int r = request(part.get(), target);
    if (r) {
      pdu->set_var_bind_list(std::move(backup));  // the caller keeps its request
      return r;
    }
  }
  pdu->set_type(parts.front()->get_type());
  pdu->set_error_status(0);
  pdu->set_error_index(0);
  std::int32_t before = 0;
  for (auto& part : parts) {
    IPmsVarBindList* l = part->get_var_bind_list();
    std::int32_t size = l ? static_cast<std::int32_t>(l->count()) : 0;
    if (pdu->get_error_status() == 0 && part->get_error_status() != 0) {
      pdu->set_error_status(part->get_error_status());
      pdu->set_error_index(part->get_error_index() + before);
    }
    while (l && l->count()) {
      int r = whole->append(l->pop_first());
      if (r) {
        pdu->set_var_bind_list(std::move(backup));
        return r;
      }
    }
    before += size;
  }
  if (pdu->get_error_status() != 0) whole->mark_error(pdu->get_error_status(), pdu->get_error_index());
  return 0;
}

int RequestSession::send_broad_cast_sync(IPmsPdu* pdu, IPmsSnmpTarget* target,
                                         PmsOwn<IPmsSnmpPacketList>* answers) {
  const char* name = "RequestSession::send_broad_cast_sync";
  g_log.log(kPmcLogTrace, "[%s] enter.", name);
  struct Exit {
    const char* name;
    ~Exit() { g_log.log(kPmcLogTrace, "[%s] exit.", name); }
  } exit_line{name};
  if (!pdu || !target || !answers || !target->get_address()) return pms::kBadArgument;
  const IPmcNetworkAddress* dest = target->get_address();
  int r = channel_.open(dest->get_protocol(), target->get_local_port());
  if (r) return r;
  if ((r = channel_.socket()->set_broadcast(true))) return r;
  int err = 0;
  auto message = channel_.encode(pdu, target, nullptr, &err);
  if (!message) return err;
  auto list = pms_create_snmp_packet_list(&err);
  if (!list) return err;
  std::int32_t sent_id = pdu->get_request_id();
  std::int32_t timeout = target->get_timeout();
  g_log.log(kPmcLogInfo, "broad cast: timeout= %d, retries=%d, destination=%s", timeout, target->get_retries(),
            dest->host_text());
  const std::string dest_text = dest->host_text() ? dest->host_text() : "";
  int code = 0;
  for (std::int32_t attempt = 0; target->get_retries() != -1 && attempt <= target->get_retries(); ++attempt) {
    g_log.log(kPmcLogDebug, "broad cast: try %d.", attempt);
    code = channel_.send(*message, dest);
    if (code) break;
    std::int64_t remaining = timeout;
    std::int64_t mark = now_ms();
    while (remaining > 0) {
      PmsOwn<IPmcNetworkAddress> sender;
      auto answer = channel_.receive(static_cast<std::int32_t>(remaining), &sender, &err);
      if (!answer) {
        code = err;
        break;
      }
      std::int64_t t = now_ms();
      remaining -= t - mark;
      mark = t;
      if (dest->get_protocol() == IPmcNetworkAddress::kIPX && dest_text.compare(0, 8, "00000000") != 0 &&
          std::strncmp(dest_text.c_str(), sender->host_text(), 8) != 0)
        continue;
      std::int32_t status = 0, id = 0;
      if (pms_get_stream_registry()->decode_header(answer.get(), &status, &id, kPmsSenderCommunity) != 0 ||
          id != sent_id)
        continue;  // not an answer to this broadcast
      bool known = false;
      auto it = list->create_iterator(&err);
      if (!it) {
        g_log.log(kPmcLogError, "[RequestSession::send_broad_cast_sync] fail search_new_packet().");
        code = err;
        break;
      }
      for (IPmsSnmpPacket* p; !known && (p = list->current(it.get())); list->next(it.get()))
        known = sender->equals(p->get_target()->get_address());
      if (known) continue;
      auto reply = pms_create_pdu(&err);
      auto from = pms_create_community_target(&err);
      auto packet = pms_create_snmp_packet(&err);
      if (!reply || !from || !packet) {
        code = pms::kNoMemory;
        break;
      }
      if (channel_.decode(*answer, reply.get(), from.get()) != 0) continue;
      g_log.log(kPmcLogDebug, "broad cast: receive from new address:%s", sender->host_text());
      if ((code = from->set_address(sender.get()))) break;
      packet->set_pdu(std::move(reply));
      packet->set_target(std::move(from));
      if ((code = list->push_back(std::move(packet)))) break;
    }
    if (code != 0 && code != pms::kTimeout) break;
  }
  if (code != 0 && code != pms::kTimeout) {
    g_log.log(kPmcLogError, "broad cast: error=%d.", code);
    return code;
  }
  *answers = std::move(list);
  return 0;
}

struct Guard {
  explicit Guard(void* cs) : cs_(static_cast<CRITICAL_SECTION*>(cs)) { EnterCriticalSection(cs_); }
  ~Guard() { LeaveCriticalSection(cs_); }
  CRITICAL_SECTION* cs_;
};

}  // namespace

PmsOwn<IPmsSession> pmc_create_request_session(int* err) {
  auto* s = new (std::nothrow) RequestSession;
  pms::set_err(err, s ? 0 : pms::kNoMemory);
  return PmsOwn<IPmsSession>(s);
}

SessionDispatcher::SessionDispatcher() : lock_(new CRITICAL_SECTION) {
  InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(lock_));
}

SessionDispatcher::~SessionDispatcher() {
  request_session_.reset();
  DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(lock_));
  delete static_cast<CRITICAL_SECTION*>(lock_);
}

int SessionDispatcher::get_session(IPmsSnmpTarget* target, IPmsSession** session) {
  if (!target || !session) return pms::kBadArgument;
  *session = nullptr;
  std::int32_t model = target->security_model(), version = target->get_version();
  if (model == 1 && version == kSnmpV3) {
    Guard g(lock_);
    if (!v3_session_) {
      int err = 0;
      v3_session_.reset(pmc_create_v3_request_session(&err));
      if (!v3_session_) return err ? err : pms::kNoMemory;
    }
    *session = v3_session_.get();
    return 0;
  }
  if (model != 0 || (version != kSnmpV1 && version != kSnmpV2c)) return pms::kBadArgument;
  if (!request_session_) {
    Guard g(lock_);
    if (!request_session_) {
      int err = 0;
      request_session_ = pmc_create_request_session(&err);
      if (!request_session_) return err;
    }
  }
  *session = request_session_.get();
  return 0;
}

int SessionDispatcher::send_sync(IPmsPdu* pdu, IPmsSnmpTarget* target) {
  IPmsSession* s = nullptr;
  int r = get_session(target, &s);
  return r ? r : s->send_sync(pdu, target);
}

int SessionDispatcher::send_sync(IPmsSnmpPacket* packet) {
  if (!packet) return pms::kBadArgument;
  IPmsSession* s = nullptr;
  int r = get_session(packet->get_target(), &s);
  return r ? r : s->send_sync(packet);
}

int SessionDispatcher::send_broad_cast_sync(IPmsSnmpPacket* packet, PmsOwn<IPmsSnmpPacketList>* answers) {
  if (!packet) return pms::kBadArgument;
  return send_broad_cast_sync(packet->get_pdu(), packet->get_target(), answers);
}

int SessionDispatcher::send_broad_cast_sync(IPmsPdu* pdu, IPmsSnmpTarget* target,
                                            PmsOwn<IPmsSnmpPacketList>* answers) {
  const char* name = "SessionDispatcher::send_broad_cast_sync";
  g_log.log(kPmcLogTrace, "[%s] enter.", name);
  int r = pms::kBadArgument;
  IPmsSession* s = nullptr;
  if (pdu && target && answers && (r = get_session(target, &s)) == 0) r = s->send_broad_cast_sync(pdu, target, answers);
  g_log.log(kPmcLogTrace, "[%s] exit.", name);
  return r;
}

PmsOwn<SessionDispatcher> pmc_create_session_dispatcher(int* err) {
  SessionDispatcher* d = nullptr;
  try {
    d = new SessionDispatcher;
  } catch (const std::bad_alloc&) {
  }
  pms::set_err(err, d ? 0 : pms::kNoMemory);
  return PmsOwn<SessionDispatcher>(d);
}
