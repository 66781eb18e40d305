// SNMPv3 requests over net-snmp.
//
// Debian's net-snmp keeps its state (sessions list, USM users, engine
// data, configuration) in process globals and is built without its
// reentrancy support, so one process-wide lock runs the requests of all
// threads one after the other, each from init_snmp to snmp_shutdown.
#include "snmp/v3_session.h"

#include <arpa/inet.h>
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "snmp/crypto_backend.h"
#include "snmp/datagram.h"
#include "snmp/log.h"
#include "snmp/per_thread_store.h"
#include "snmp/socket_api.h"
#include "win/machine_root.h"

namespace {

const char kLog[] = "snmp";
constexpr std::uint32_t kError = 1, kTrace = 16;

// Request ids come from the engine's process-wide counter, which the
// SNMPv1/v2c sessions share.
std::int32_t next_request_id() { return pmc_next_request_id(); }

std::mutex& request_lock() {
  static std::mutex m;
  return m;
}
int g_library_users = 0;

struct ErrorRange {
  int low, high, result;
};

// Library error numbers (SNMPERR values) to result codes; anything else
// is kLibraryError.
constexpr ErrorRange kErrorTable[] = {
    {0, 0, 0},        {-66, -66, -10},  {-62, -62, -3},   {-64, -64, -250}, {-50, -47, -250}, {-41, -41, -250},
    {-38, -38, -250}, {-31, -31, -250}, {-29, -29, -250}, {-13, -13, -250}, {-11, -11, -250}, {-61, -56, -2},
    {-45, -45, -2},   {-28, -27, -2},   {-23, -23, -2},   {-19, -19, -2},   {-17, -17, -2},   {-14, -14, -2},
    {-5, -3, -2},     {-46, -46, -214}, {-44, -42, -214}, {-37, -33, -214}, {-30, -30, -214}, {-32, -32, -204},
    {-25, -25, -204}, {-24, -24, -203}, {-12, -12, -205},
};

struct ProtocolOid {
  std::int32_t code;
  const oid* arcs;
  size_t length;
};

const ProtocolOid kAuthProtocols[] = {
    {1, usmHMACMD5AuthProtocol, USM_AUTH_PROTO_MD5_LEN},
    {2, usmHMACSHA1AuthProtocol, USM_AUTH_PROTO_SHA_LEN},
};
const ProtocolOid kPrivProtocols[] = {
    {1, usmDESPrivProtocol, USM_PRIV_PROTO_DES_LEN},
    {2, usmAESPrivProtocol, USM_PRIV_PROTO_AES_LEN},
};

const ProtocolOid* find_protocol(const ProtocolOid* table, size_t n, std::int32_t code) {
  for (size_t i = 0; i < n; ++i)
    if (table[i].code == code) return &table[i];
  return nullptr;
}

// Security levels: the target's 0..2 against the library's 1..3.
int library_level(std::int32_t level) { return level >= 0 && level <= 2 ? level + SNMP_SEC_LEVEL_NOAUTH : -1; }
std::int32_t target_level(int library) {
  return library >= SNMP_SEC_LEVEL_NOAUTH && library <= SNMP_SEC_LEVEL_AUTHPRIV ? library - SNMP_SEC_LEVEL_NOAUTH : -1;
}

struct CommandMap {
  std::int32_t type;
  int command;
};
// Request side: the PDU types a request may carry.
constexpr CommandMap kRequestCommands[] = {
    {0, SNMP_MSG_GET}, {1, SNMP_MSG_GETNEXT}, {3, SNMP_MSG_SET}, {4, SNMP_MSG_TRAP2}};
// Answer side.
constexpr CommandMap kAnswerCommands[] = {
    {0, SNMP_MSG_GET},     {1, SNMP_MSG_GETNEXT}, {2, SNMP_MSG_RESPONSE}, {3, SNMP_MSG_SET},
    {5, SNMP_MSG_GETBULK}, {6, SNMP_MSG_INFORM},  {4, SNMP_MSG_TRAP2},    {8, SNMP_MSG_REPORT},
};

void log_library_error(netsnmp_session* session, const char* step) {
  int sys_errno = 0, snmp_errno = 0;
  char* text = nullptr;
  snmp_error(session, &sys_errno, &snmp_errno, &text);
  if (sys_errno != 0 && snmp_errno != 0 && text && *text)
    pmc_log_printf(kLog, kError, "%s(): ErrNo = %d, SnmpErrNo = %d, %s", step, sys_errno, snmp_errno, text);
  else
    pmc_log_printf(kLog, kError, "%s(): unknown", step);
  std::free(text);
}

// Starts the library for one request and ends it when the scope closes,
// whatever the result.
//
// The stock library loses part of its MIB set-up on every init_snmp /
// snmp_shutdown cycle (about 4.7 KB a request), so it is initialised once,
// on the first request, and kept; what a request leaves behind in it is
// removed when the request ends: its session is closed and every USM user
// it created is dropped, so no keys or pass phrases outlive the request
// and the next one starts from an empty user table.
bool g_library_initialised = false;

class LibraryScope {
 public:
  LibraryScope() : guard_(request_lock()) {
    std::lock_guard<std::recursive_mutex> g(pmc_snmp_library_lock());
    if (g_library_users++ == 0) snmp_res_init();
    if (int rc = pmc_socket_load_library(); rc != 0) {
      status_ = rc;
      return;
    }
    if (!pmc_crypto_load()) {
      status_ = v3RequestSession::kCryptoUnavailable;
      return;
    }
    std::string dir = pmc_v3_persistent_dir();
    ::mkdir(dir.c_str(), 0700);
    // The library reads its configuration and keeps its persistent files
    // in the machine root, never in the user's home. Both go through the
    // library's own settings, which take precedence over its environment
    // variables, so the caller's environment is neither read nor changed
    // (setenv would also race with getenv on the caller's other threads).
    netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_PERSISTENT_DIR, dir.c_str());
    netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_CONFIGURATION_DIR, dir.c_str());
    if (!g_library_initialised) {
      // No MIB files are loaded (OIDs are numeric). The MIB list is read
      // only from the environment; it is set once, before the library's
      // one start-up, and only when the caller has not chosen a list.
      setenv("MIBS", "", 0);
      init_snmp("");
      g_library_initialised = true;
    }
  }
  ~LibraryScope() {
    if (status_ == 0) drop_users();
    std::lock_guard<std::recursive_mutex> g(pmc_snmp_library_lock());
    --g_library_users;  // the resource locks of a reentrant build would go with the last user
  }
  int status() const { return status_; }

 private:
  static void drop_users() {
    while (struct usmUser* u = usm_get_userList()) {
      usm_remove_user(u);
      usm_free_user(u);
    }
  }
  std::lock_guard<std::mutex> guard_;
  int status_ = 0;
};

// The buffers a net-snmp session borrows until snmp_open copies them.
struct SessionText {
  char security_name[33] = {};
  std::string peer;
  std::string context;
};

int build_session(IPmsSnmpTarget* target, netsnmp_session* s, SessionText& text) {
  snmp_sess_init(s);
  IPmsUsm* usm = target->as_usm();
  if (!usm || target->get_version() != kSnmpV3) return pms::kBadArgument;
  s->version = SNMP_VERSION_3;
  s->retries = target->get_retries();
  s->timeout = static_cast<long>(target->get_timeout()) * 1000L;

  if (const char* name = usm->get_security_name(); name && *name) {
    std::strncpy(text.security_name, name, 32);
    s->securityName = text.security_name;
    s->securityNameLen = std::strlen(text.security_name);
  }
  int level = library_level(usm->get_security_level());
  if (level < 0) return pms::kBadArgument;
  s->securityLevel = level;
  if (level >= SNMP_SEC_LEVEL_AUTHNOPRIV) {
    const ProtocolOid* auth = find_protocol(kAuthProtocols, std::size(kAuthProtocols), usm->get_auth_protocol());
    if (!auth) return pms::kBadArgument;
    s->securityAuthProto = const_cast<oid*>(auth->arcs);
    s->securityAuthProtoLen = auth->length;
    const char* pass = usm->get_auth_pass_phrase();
    s->securityAuthKeyLen = 0;
    if (pass && *pass) {
      s->securityAuthKeyLen = USM_AUTH_KU_LEN;
      int rc = generate_Ku(auth->arcs, static_cast<u_int>(auth->length), reinterpret_cast<const u_char*>(pass),
                           std::strlen(pass), s->securityAuthKey, &s->securityAuthKeyLen);
      if (rc != SNMPERR_SUCCESS) {
        pmc_log_printf(kLog, kError, "%s(): SnmpErrNo = %d", "generate_Ku", rc);
        return v3RequestSession::map_library_error(rc);
      }
    }
    if (level == SNMP_SEC_LEVEL_AUTHPRIV) {
      const ProtocolOid* priv = find_protocol(kPrivProtocols, std::size(kPrivProtocols), usm->get_priv_protocol());
      if (!priv) return pms::kBadArgument;
      s->securityPrivProto = const_cast<oid*>(priv->arcs);
      s->securityPrivProtoLen = priv->length;
      const char* priv_pass = usm->get_priv_pass_phrase();
      s->securityPrivKeyLen = 0;
      if (priv_pass && *priv_pass) {
        // The privacy key is expanded with the authentication digest.
        s->securityPrivKeyLen = USM_PRIV_KU_LEN;
        int rc = generate_Ku(auth->arcs, static_cast<u_int>(auth->length), reinterpret_cast<const u_char*>(priv_pass),
                             std::strlen(priv_pass), s->securityPrivKey, &s->securityPrivKeyLen);
        if (rc != SNMPERR_SUCCESS) {
          pmc_log_printf(kLog, kError, "%s(): SnmpErrNo = %d", "generate_Ku", rc);
          return v3RequestSession::map_library_error(rc);
        }
      }
    }
  }
  if (const char* context = usm->get_context_name(); context && *context) {
    text.context = context;
    s->contextName = text.context.data();
    s->contextNameLen = text.context.size();
  }

  IPmcNetworkAddress* address = target->get_address();
  if (!address) return pms::kBadArgument;
  const char* host = address->host_text();
  switch (address->get_protocol()) {
    case IPmcNetworkAddress::kIPv6:
      text.peer = std::string("udp6:[") + host + "]";
      break;
    case IPmcNetworkAddress::kIPv4:
      text.peer = host;
      break;
    case IPmcNetworkAddress::kIPX:
      text.peer = std::string("ipx:") + host;
      break;
    default:
      return pms::kBadArgument;
  }
  unsigned port = address->get_port() ? address->get_port() : target->get_local_port();
  if (port) text.peer += (address->get_protocol() == IPmcNetworkAddress::kIPX ? "/" : ":") + std::to_string(port);
  s->peername = text.peer.data();

  if (IPmsOctetBuffer* engine = usm->get_engine_id(); engine && engine->length()) {
    s->securityEngineID = const_cast<u_char*>(engine->data());
    s->securityEngineIDLen = engine->length();
  }
  return 0;
}

std::string oid_text(IPmsObjectId* id) {
  PmsOwn<IPmsOctetBuffer> buf = pms_create_octet_buffer(nullptr);
  if (!buf || id->to_text(buf.get()) != 0) return {};
  return buf->c_str();
}

// Adds one binding's value to the request in its binary form, so octet
// strings keep every byte.
int add_value(netsnmp_pdu* pdu, const oid* name, size_t name_len, IPmsAsnValue* value) {
  std::int32_t tag = value ? value->get_tag() : kPmsNull;
  const netsnmp_variable_list* added = nullptr;
  switch (tag) {
    case kPmsNull:
      added = snmp_add_null_var(pdu, name, name_len);
      break;
    case kPmsObjectId: {
      oid arcs[MAX_OID_LEN];
      std::uint32_t n = value->length();
      if (n > MAX_OID_LEN) return pms::kBadArgument;
      for (std::uint32_t i = 0; i < n; ++i) arcs[i] = value->get_element(i, nullptr);
      added = snmp_pdu_add_variable(pdu, name, name_len, ASN_OBJECT_ID, arcs, n * sizeof(oid));
      break;
    }
    case kPmsOctetString:
    case kPmsOpaque:
    case kPmsIpAddress: {
      std::uint32_t n = 0;
      const std::uint8_t* bytes = value->get_bytes(&n, nullptr);
      u_char type = tag == kPmsOctetString ? ASN_OCTET_STR : tag == kPmsOpaque ? ASN_OPAQUE : ASN_IPADDRESS;
      if (tag == kPmsIpAddress && n != 4) return pms::kBadArgument;
      added = snmp_pdu_add_variable(pdu, name, name_len, type, bytes ? bytes : reinterpret_cast<const u_char*>(""), n);
      break;
    }
    case kPmsInteger: {
      long v = value->get_int(nullptr);
      added = snmp_pdu_add_variable(pdu, name, name_len, ASN_INTEGER, &v, sizeof v);
      break;
    }
    case kPmsCounter32:
    case kPmsGauge32:
    case kPmsTimeTicks: {
      u_long v = value->get_uint(nullptr);
      u_char type = tag == kPmsCounter32 ? ASN_COUNTER : tag == kPmsGauge32 ? ASN_GAUGE : ASN_TIMETICKS;
      added = snmp_pdu_add_variable(pdu, name, name_len, type, &v, sizeof v);
      break;
    }
    case kPmsCounter64: {
      counter64 v{};
      v.high = value->get_high(nullptr);
      v.low = value->get_low(nullptr);
      added = snmp_pdu_add_variable(pdu, name, name_len, ASN_COUNTER64, &v, sizeof v);
      break;
    }
    default:
      return pms::kNotSupported;
  }
  if (!added) {
    pmc_log_printf(kLog, kError, "%s(): unknown", "snmp_add_var");
    return pms::kNoMemory;
  }
  return 0;
}

int build_request(IPmsPdu* pdu, netsnmp_pdu** out) {
  int command = -1;
  for (const auto& m : kRequestCommands)
    if (m.type == pdu->get_type()) command = m.command;
  if (command < 0) return pms::kBadArgument;
  netsnmp_pdu* request = snmp_pdu_create(command);
  if (!request) {
    pmc_log_printf(kLog, kError, "%s(): unknown", "snmp_pdu_create");
    return pms::kNoMemory;
  }
  // The request goes out under the caller's request id (the engine's
  // process-wide counter), not the library's own; the library matches the
  // answer by it. Id 0 is left to the library, which reserves it.
  if (pdu->get_request_id() > 0) request->reqid = pdu->get_request_id();
  IPmsVarBindList* list = pdu->get_var_bind_list();
  std::uint32_t count = list ? list->count() : 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    IPmsVarBind* vb = list->get_at(i);
    if (!vb || !vb->get_oid()) {
      snmp_free_pdu(request);
      return pms::kBadArgument;
    }
    oid name[MAX_OID_LEN];
    size_t name_len = MAX_OID_LEN;
    std::string text = oid_text(vb->get_oid());
    if (text.empty() || !snmp_parse_oid(text.c_str(), name, &name_len)) {
      pmc_log_printf(kLog, kError, "%s(): unknown", "snmp_parse_oid");
      snmp_free_pdu(request);
      return pms::kBadArgument;
    }
    if (int rc = add_value(request, name, name_len, vb->get_value()); rc != 0) {
      snmp_free_pdu(request);
      return rc;
    }
  }
  *out = request;
  return 0;
}

// The engine's value for one answer variable; null with *err set for a
// type the engine has no class for.
PmsOwn<IPmsAsnValue> convert_value(const netsnmp_variable_list* v, int* err) {
  *err = 0;
  switch (v->type) {
    case ASN_INTEGER:
      return pms_create_value_from_int(static_cast<std::int32_t>(*v->val.integer), kPmsInteger, err);
    case ASN_OCTET_STR:
    case ASN_OPAQUE | ASN_CONTEXT:  // 0xC4, an opaque wrapped by some agents
    case ASN_OPAQUE:
    case ASN_IPADDRESS: {
      std::int32_t tag = v->type == ASN_IPADDRESS ? kPmsIpAddress
                         : v->type == ASN_OPAQUE  ? kPmsOpaque
                                                  : kPmsOctetString;
      PmsOwn<IPmsAsnValue> out = pms_create_value(tag, err);
      if (out && v->val_len) *err = out->set_bytes(v->val.string, static_cast<std::uint32_t>(v->val_len));
      return out;
    }
    case ASN_NULL:
      return pms_create_value(kPmsNull, err);
    case ASN_OBJECT_ID: {
      PmsOwn<IPmsObjectId> id = pms_create_oid(err);
      size_t n = v->val_len / sizeof(oid);
      for (size_t i = 0; id && i < n && *err == 0; ++i)
        *err = id->append_arc(static_cast<std::uint32_t>(v->val.objid[i]));
      return pms_as_value(std::move(id));
    }
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_UINTEGER:  // 0x47, carried as a Gauge32
    case ASN_TIMETICKS: {
      std::int32_t tag = v->type == ASN_COUNTER     ? kPmsCounter32
                         : v->type == ASN_TIMETICKS ? kPmsTimeTicks
                                                    : kPmsGauge32;
      return pms_create_value_from_uint(static_cast<std::uint32_t>(*v->val.integer), tag, err);
    }
    case ASN_COUNTER64:
      // Both halves: the library keeps the value as {high, low}.
      return pms_create_counter64(static_cast<std::uint32_t>(v->val.counter64->high),
                                  static_cast<std::uint32_t>(v->val.counter64->low), err);
    case SNMP_NOSUCHOBJECT:
    case SNMP_NOSUCHINSTANCE:
    case SNMP_ENDOFMIBVIEW:
      return pms_create_value(v->type, err);
    default:
      *err = pms::kCannotOpen;
      return nullptr;
  }
}

std::string sender_text(const netsnmp_pdu* answer, std::uint16_t* port) {
  if (!answer->transport_data || answer->transport_data_length < static_cast<int>(sizeof(netsnmp_indexed_addr_pair)))
    return {};
  const auto* pair = static_cast<const netsnmp_indexed_addr_pair*>(answer->transport_data);
  char text[INET6_ADDRSTRLEN] = {};
  if (pair->remote_addr.sa.sa_family == AF_INET) {
    inet_ntop(AF_INET, &pair->remote_addr.sin.sin_addr, text, sizeof text);
    *port = ntohs(pair->remote_addr.sin.sin_port);
  } else if (pair->remote_addr.sa.sa_family == AF_INET6) {
    inet_ntop(AF_INET6, &pair->remote_addr.sin6.sin6_addr, text, sizeof text);
    *port = ntohs(pair->remote_addr.sin6.sin6_port);
  }
  return text;
}

int convert_answer(netsnmp_pdu* answer, IPmsPdu* pdu, IPmsSnmpTarget* target) {
  IPmsUsm* usm = target->as_usm();
  if (!usm) return pms::kNotSupported;
  if (answer->version != SNMP_VERSION_3) return pms::kBadArgument;
  std::int32_t level = target_level(answer->securityLevel);
  if (level < 0) return pms::kBadArgument;
  target->set_version(kSnmpV3);
  std::string name(answer->securityName ? answer->securityName : "",
                   answer->securityName ? answer->securityNameLen : 0);
  usm->set_security_name(name.c_str());
  usm->set_security_level(level);
  std::string context(answer->contextName ? answer->contextName : "", answer->contextName ? answer->contextNameLen : 0);
  usm->set_context_name(context.c_str());
  std::uint16_t port = 0;
  std::string sender = sender_text(answer, &port);
  if (!sender.empty()) {
    PmsOwn<IPmcNetworkAddress> from = pmc_create_network_address_from_text(sender.c_str(), port, nullptr);
    if (from) target->set_address(from.get());
  }
  usm->set_engine_id(answer->securityEngineID, static_cast<std::uint32_t>(answer->securityEngineIDLen));

  std::int32_t type = -1;
  for (const auto& m : kAnswerCommands)
    if (m.command == answer->command) type = m.type;
  if (type < 0) return -1;
  pdu->set_type(type);
  pdu->set_request_id(static_cast<std::int32_t>(answer->reqid));
  long status = answer->errstat;
  if (status == -1) return v3RequestSession::kBadErrorStatus;
  pdu->set_error_status(status >= 0 && status <= 18 ? static_cast<std::int32_t>(status) : kPmsNotProcessed);
  pdu->set_error_index(static_cast<std::int32_t>(answer->errindex));

  IPmsVarBindList* list = pdu->get_var_bind_list();
  if (!list) {
    PmsOwn<IPmsVarBindList> fresh = pms_create_var_bind_list(nullptr);
    if (!fresh) return pms::kNoMemory;
    pdu->set_var_bind_list(std::move(fresh));
    list = pdu->get_var_bind_list();
  }
  std::uint32_t i = 0;
  for (const netsnmp_variable_list* v = answer->variables; v; v = v->next_variable, ++i) {
    int err = 0;
    PmsOwn<IPmsObjectId> id = pms_create_oid(&err);
    for (size_t a = 0; id && a < v->name_length && err == 0; ++a)
      err = id->append_arc(static_cast<std::uint32_t>(v->name[a]));
    if (!id || err) return err ? err : pms::kNoMemory;
    PmsOwn<IPmsAsnValue> value = convert_value(v, &err);
    if (!value) return err ? err : pms::kNoMemory;
    if (i < list->count()) {
      if (int rc = list->get_at(i)->set(std::move(id), std::move(value)); rc != 0) return rc;
    } else if (int rc = list->append_new(std::move(id), std::move(value)); rc != 0) {
      return rc;
    }
  }
  while (list->count() > i) list->remove_at(list->count() - 1, nullptr);
  if (pdu->get_error_status() != 0)
    list->mark_error(pdu->get_error_status(), pdu->get_error_index());
  else
    list->set_all_status(0);
  return 0;
}

int send_sync_internal(IPmsPdu* pdu, IPmsSnmpTarget* target) {
  pmc_log_printf(kLog, kTrace, "[%s] enter.", "v3RequestSession::send_sync_internal(IPmsPdu*, IPmsSnmpTarget*)");
  pdu->set_request_id(next_request_id());
  netsnmp_session config;
  SessionText text;
  int rc = build_session(target, &config, text);
  netsnmp_pdu* request = nullptr;
  if (rc == 0) rc = build_request(pdu, &request);
  netsnmp_session* session = nullptr;
  if (rc == 0) {
    session = snmp_open(&config);
    if (!session) {
      log_library_error(&config, "snmp_open");
      rc = v3RequestSession::map_library_error(config.s_snmp_errno);
      // No session is never a success, whatever error number came with it.
      if (rc == v3RequestSession::kLibraryError || rc == 0) rc = pms::kBadArgument;
    }
  }
  netsnmp_pdu* answer = nullptr;
  if (rc == 0 && request->command == SNMP_MSG_TRAP2) {
    // Nothing answers a trap, and the library's synchronous request would
    // wait for an answer without end: the trap is only sent, and the PDU
    // stays as it was.
    if (snmp_send(session, request) == 0) {
      log_library_error(session, "snmp_send");
      rc = v3RequestSession::map_library_error(session->s_snmp_errno);
      if (rc == 0) rc = v3RequestSession::kLibraryError;
    } else {
      request = nullptr;  // the library frees a request it sent
    }
  } else if (rc == 0) {
    int status = snmp_synch_response(session, request, &answer);
    request = nullptr;  // the library frees the request
    int mapped = 0;
    if (status != STAT_SUCCESS) {
      log_library_error(session, "snmp_synch_response");
      mapped = status == STAT_TIMEOUT ? pms::kTimeout : v3RequestSession::map_library_error(session->s_snmp_errno);
      if (mapped == 0) mapped = v3RequestSession::kLibraryError;  // a failure never reads as success
    }
    if (mapped == 0 && !answer)
      rc = v3RequestSession::kNoAnswer;
    else if (answer && mapped == 0)
      rc = convert_answer(answer, pdu, target);
    else
      rc = mapped;
  }
  if (request) snmp_free_pdu(request);
  if (session) snmp_close(session);
  if (answer) snmp_free_pdu(answer);
  pmc_log_printf(kLog, kTrace, "[%s] exit.", "v3RequestSession::send_sync_internal(IPmsPdu*, IPmsSnmpTarget*)");
  return rc;
}

}  // namespace

std::string pmc_v3_persistent_dir() { return morva::platform::machine_root() + "/snmp"; }

int v3RequestSession::map_library_error(int library_error) {
  for (const auto& r : kErrorTable)
    if (library_error >= r.low && library_error <= r.high) return r.result;
  return kLibraryError;
}

v3RequestSession* pmc_create_v3_request_session(int* err) {
  auto* s = new (std::nothrow) v3RequestSession;
  pms::set_err(err, s ? 0 : pms::kNoMemory);
  return s;
}

void v3RequestSession::release() { delete this; }

int v3RequestSession::send_broad_cast_sync(IPmsSnmpPacket* packet, PmsOwn<IPmsSnmpPacketList>* answers) {
  if (!answers) return pms::kBadArgument;
  IPmsSnmpPacketList* list = nullptr;
  int r = send_broad_cast_sync(packet, &list);
  if (r == 0) answers->reset(list);
  return r;
}

int v3RequestSession::send_broad_cast_sync(IPmsPdu* pdu, IPmsSnmpTarget* target,
                                           PmsOwn<IPmsSnmpPacketList>* answers) {
  if (!answers) return pms::kBadArgument;
  IPmsSnmpPacketList* list = nullptr;
  int r = send_broad_cast_sync(pdu, target, &list);
  if (r == 0) answers->reset(list);
  return r;
}

int v3RequestSession::send_sync(IPmsPdu* pdu, IPmsSnmpTarget* target) {
  const char* name = "v3RequestSession::send_sync(IPmsSnmpPacket*)";
  pmc_log_printf(kLog, kTrace, "[%s] enter.", name);
  int rc = pms::kBadArgument;
  if (pdu && target) {
    LibraryScope library;
    rc = library.status() != 0 ? library.status() : send_sync_internal(pdu, target);
  }
  pmc_log_printf(kLog, kTrace, "[%s] exit.", name);
  return rc;
}

int v3RequestSession::send_sync(IPmsSnmpPacket* packet) {
  if (!packet) return pms::kBadArgument;
  PmsOwn<IPmsPdu> pdu = packet->take_pdu();
  PmsOwn<IPmsSnmpTarget> target = packet->take_target();
  int rc = send_sync(pdu.get(), target.get());
  packet->set_pdu(std::move(pdu));
  packet->set_target(std::move(target));
  return rc;
}

namespace {

// The agents that answered an engine-ID probe: one USM target per distinct
// answering address, holding that address and the agent's engine ID.
class EngineIdCollector {
 public:
  bool has(const std::string& host) const {
    for (const auto& t : targets_)
      if (host == t->get_address()->host_text()) return true;
    return false;
  }
  int add(const std::string& host, std::uint16_t port, const std::uint8_t* engine, std::size_t n) {
    int err = 0;
    PmsOwn<IPmsSnmpTarget> t = pms_create_usm_target(&err);
    PmsOwn<IPmcNetworkAddress> a = pmc_create_network_address_from_text(host.c_str(), port, &err);
    if (!t || !a) return err ? err : pms::kNoMemory;
    if ((err = t->set_address(a.get())) != 0) return err;
    if ((err = t->as_usm()->set_engine_id(engine, static_cast<std::uint32_t>(n))) != 0) return err;
    targets_.push_back(std::move(t));
    return 0;
  }
  std::size_t count() const { return targets_.size(); }
  IPmsSnmpTarget* item(std::size_t i) const { return targets_[i].get(); }
  void clear() { targets_.clear(); }

 private:
  std::vector<PmsOwn<IPmsSnmpTarget>> targets_;
};

// A minimal BER writer for the probe message.
void put_tlv(std::vector<std::uint8_t>& out, std::uint8_t tag, const std::vector<std::uint8_t>& body) {
  out.push_back(tag);
  std::size_t n = body.size();
  if (n < 0x80) {
    out.push_back(static_cast<std::uint8_t>(n));
  } else {
    out.push_back(0x82);
    out.push_back(static_cast<std::uint8_t>(n >> 8));
    out.push_back(static_cast<std::uint8_t>(n));
  }
  out.insert(out.end(), body.begin(), body.end());
}

std::vector<std::uint8_t> ber_int(std::int32_t v) {
  std::vector<std::uint8_t> b;
  for (int shift = 24; shift >= 0; shift -= 8)
    b.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> shift));
  while (b.size() > 1 && ((b[0] == 0 && !(b[1] & 0x80)) || (b[0] == 0xFF && (b[1] & 0x80)))) b.erase(b.begin());
  std::vector<std::uint8_t> out;
  put_tlv(out, 0x02, b);
  return out;
}

std::vector<std::uint8_t> cat(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<std::uint8_t> tlv(std::uint8_t tag, const std::vector<std::uint8_t>& body) {
  std::vector<std::uint8_t> out;
  put_tlv(out, tag, body);
  return out;
}

// The engine-ID discovery message of RFC 3414 section 4: a reportable,
// unauthenticated GET with no user, no engine ID and no bindings, which
// every agent answers with a Report carrying its engine ID.
std::vector<std::uint8_t> probe_message(std::int32_t msg_id, std::int32_t request_id) {
  const std::vector<std::uint8_t> empty;
  auto header = tlv(0x30, cat({ber_int(msg_id), ber_int(65507), tlv(0x04, {0x04}), ber_int(3)}));
  auto usm = tlv(
      0x04,
      tlv(0x30, cat({tlv(0x04, empty), ber_int(0), ber_int(0), tlv(0x04, empty), tlv(0x04, empty), tlv(0x04, empty)})));
  auto pdu = tlv(SNMP_MSG_GET, cat({ber_int(request_id), ber_int(0), ber_int(0), tlv(0x30, empty)}));
  auto scoped = tlv(0x30, cat({tlv(0x04, empty), tlv(0x04, empty), pdu}));
  return tlv(0x30, cat({ber_int(3), header, usm, scoped}));
}

// One TLV inside [p, end); false when it does not fit.
bool read_tlv(const std::uint8_t*& p, const std::uint8_t* end, std::uint8_t* tag, const std::uint8_t** body,
              std::size_t* len) {
  if (end - p < 2) return false;
  *tag = *p++;
  std::size_t n = *p++;
  if (n & 0x80) {
    std::size_t bytes = n & 0x7F;
    if (bytes == 0 || bytes > 3 || static_cast<std::size_t>(end - p) < bytes) return false;
    n = 0;
    while (bytes--) n = (n << 8) | *p++;
  }
  if (static_cast<std::size_t>(end - p) < n) return false;
  *body = p;
  *len = n;
  p += n;
  return true;
}

bool read_int(const std::uint8_t*& p, const std::uint8_t* end, std::int64_t* v) {
  std::uint8_t tag;
  const std::uint8_t* b;
  std::size_t n;
  if (!read_tlv(p, end, &tag, &b, &n) || tag != 0x02 || n == 0 || n > 5) return false;
  std::int64_t x = (b[0] & 0x80) ? -1 : 0;
  for (std::size_t i = 0; i < n; ++i) x = (x << 8) | b[i];
  *v = x;
  return true;
}

// The authoritative engine ID of an SNMPv3 answer to message `msg_id`;
// empty for anything else.
std::vector<std::uint8_t> engine_id_of(const std::uint8_t* data, std::size_t size, std::int32_t msg_id) {
  const std::uint8_t* p = data;
  const std::uint8_t* end = data + size;
  std::uint8_t tag;
  const std::uint8_t* body;
  std::size_t n;
  std::int64_t v = 0;
  if (!read_tlv(p, end, &tag, &body, &n) || tag != 0x30) return {};
  p = body;
  end = body + n;
  if (!read_int(p, end, &v) || v != 3) return {};
  if (!read_tlv(p, end, &tag, &body, &n) || tag != 0x30) return {};
  const std::uint8_t* h = body;
  if (!read_int(h, body + n, &v) || v != msg_id) return {};
  if (!read_tlv(p, end, &tag, &body, &n) || tag != 0x04) return {};
  const std::uint8_t* s = body;
  const std::uint8_t* s_end = body + n;
  if (!read_tlv(s, s_end, &tag, &body, &n) || tag != 0x30) return {};
  s = body;
  s_end = body + n;
  if (!read_tlv(s, s_end, &tag, &body, &n) || tag != 0x04 || n == 0 || n > 32) return {};
  return std::vector<std::uint8_t>(body, body + n);
}

// Sends the probe to the target's address with broadcast allowed and
// collects one engine ID per answering address until the time is up: the
// target's timeout per try, its retries more tries. No answer at all is
// not an error (the collector stays empty).
int get_engine_id_broad_cast(IPmsSnmpTarget* target, EngineIdCollector& collector) {
  const char* name = "v3RequestSession::get_engine_id_broad_cast";
  pmc_log_printf(kLog, kTrace, "[%s] enter.", name);
  IPmcNetworkAddress* address = target->get_address();
  if (!address) return pms::kBadArgument;
  int family = address->get_protocol() == IPmcNetworkAddress::kIPv4   ? AF_INET
               : address->get_protocol() == IPmcNetworkAddress::kIPv6 ? AF_INET6
                                                                      : -1;
  if (family < 0) return pms::kNotSupported;
  unsigned port = address->get_port() ? address->get_port() : target->get_local_port() ? target->get_local_port() : 161;
  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* to = nullptr;
  if (getaddrinfo(address->host_text(), std::to_string(port).c_str(), &hints, &to) != 0 || !to)
    return pms::kBadArgument;
  int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  int on = 1;
  if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
    if (fd >= 0) ::close(fd);
    freeaddrinfo(to);
    return pms::kSocketFailed;
  }
  std::int32_t msg_id = next_request_id();
  std::vector<std::uint8_t> probe = probe_message(msg_id, msg_id);
  int rc = 0;
  int tries = target->get_retries() < 0 ? 0 : target->get_retries() + 1;
  for (int attempt = 0; attempt < tries && rc == 0; ++attempt) {
    if (::sendto(fd, probe.data(), probe.size(), 0, to->ai_addr, to->ai_addrlen) < 0) {
      rc = pms::kSendFailed;
      break;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(target->get_timeout());
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd pfd{fd, POLLIN, 0};
      int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) {
        rc = pms::kReceiveFailed;
        break;
      }
      if (ready == 0) break;
      std::uint8_t buf[2048];
      sockaddr_storage from{};
      socklen_t from_len = sizeof from;
      ssize_t got = ::recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &from_len);
      if (got <= 0) continue;
      std::vector<std::uint8_t> engine = engine_id_of(buf, static_cast<std::size_t>(got), msg_id);
      if (engine.empty()) continue;  // not an answer to this probe
      char host[NI_MAXHOST], serv[NI_MAXSERV];
      if (getnameinfo(reinterpret_cast<sockaddr*>(&from), from_len, host, sizeof host, serv, sizeof serv,
                      NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        continue;
      if (collector.has(host)) continue;
      rc = collector.add(host, static_cast<std::uint16_t>(std::stoul(serv)), engine.data(), engine.size());
      if (rc != 0) break;
    }
  }
  ::close(fd);
  freeaddrinfo(to);
  pmc_log_printf(kLog, kTrace, "[%s] exit.", name);
  return rc;
}

bool drops_agent(int rc) {
  return rc == pms::kDecodeError || rc == v3RequestSession::kSecurityFailure || rc == v3RequestSession::kNoAnswer ||
         rc == pms::kTimeout;
}

}  // namespace

std::vector<std::uint8_t> pmc_v3_probe_message(std::int32_t msg_id) { return probe_message(msg_id, msg_id); }

std::vector<std::uint8_t> pmc_v3_engine_id_of(const std::uint8_t* data, std::size_t size, std::int32_t msg_id) {
  if (!data) return {};
  return engine_id_of(data, size, msg_id);
}

int v3RequestSession::send_broad_cast_sync(IPmsPdu* pdu, IPmsSnmpTarget* target, IPmsSnmpPacketList** out) {
  const char* name = "v3RequestSession::send_broad_cast_sync(IPmsPdu*, IPmsSnmpTarget*, IPmsSnmpPacketList**)";
  if (!pdu || !target || !out) return pms::kBadArgument;
  if (!target->as_usm()) return pms::kBadArgument;
  LibraryScope library;
  if (library.status() != 0) return library.status();
  pmc_log_printf(kLog, kTrace, "[%s] enter.", name);
  EngineIdCollector collector;
  int rc = get_engine_id_broad_cast(target, collector);
  PmsOwn<IPmsSnmpPacketList> list;
  if (rc == 0) list = pms_create_snmp_packet_list(&rc);
  for (std::size_t i = 0; rc == 0 && i < collector.count(); ++i) {
    IPmsSnmpTarget* found = collector.item(i);
    PmsOwn<IPmsSnmpTarget> t = target->clone(&rc);
    if (!t) break;
    IPmsOctetBuffer* engine = found->as_usm()->get_engine_id();
    if ((rc = t->set_address(found->get_address())) != 0 ||
        (rc = t->as_usm()->set_engine_id(engine->data(), engine->length())) != 0)
      break;
    PmsOwn<IPmsPdu> p = pdu->clone(&rc);
    if (!p) break;
    rc = send_sync_internal(p.get(), t.get());
    if (drops_agent(rc)) {
      rc = 0;
      continue;
    }
    if (rc != 0) break;
    PmsOwn<IPmsSnmpPacket> packet = pms_create_snmp_packet(&rc);
    if (!packet) break;
    packet->set_pdu(std::move(p));
    packet->set_target(std::move(t));
    rc = list->push_back(std::move(packet));
  }
  if (rc == 0) *out = list.release();
  collector.clear();
  pmc_log_printf(kLog, kTrace, "[%s] exit.", name);
  return rc;
}

int v3RequestSession::send_broad_cast_sync(IPmsSnmpPacket* packet, IPmsSnmpPacketList** out) {
  const char* name = "v3RequestSession::send_broad_cast_sync(IPmsSnmpPacket*, IPmsSnmpPacketList**)";
  if (!packet) return pms::kBadArgument;
  pmc_log_printf(kLog, kTrace, "[%s] enter.", name);
  PmsOwn<IPmsPdu> pdu = packet->take_pdu();
  PmsOwn<IPmsSnmpTarget> target = packet->take_target();
  int rc = send_broad_cast_sync(pdu.get(), target.get(), out);
  packet->set_pdu(std::move(pdu));
  packet->set_target(std::move(target));
  pmc_log_printf(kLog, kTrace, "[%s] exit.", name);
  return rc;
}
