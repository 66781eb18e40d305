// Differential tests against net-snmp: what we encode, snmp_parse reads as
// the same message, and what snmp_build writes, we decode to the same PDU.
#include <gtest/gtest.h>

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <cstring>
#include <string>
#include <vector>

#include "snmp_test_util.h"
#include "temp_root.h"

using namespace snmptest;

namespace {

// One binding described once for both libraries.
struct ValueSpec {
  ValueSpec(std::int32_t t, std::int64_t n = 0, std::string b = {}, std::string o = {})
      : tag(t), number(n), bytes(std::move(b)), oid_text(std::move(o)) {}
  std::int32_t tag;
  std::int64_t number;   // INTEGER, unsigned classes, Counter64 high/low packed
  std::string bytes;     // octets, IpAddress
  std::string oid_text;  // OBJECT IDENTIFIER
};

struct PduSpec {
  const char* what;
  std::int32_t version;
  std::int32_t type;
  std::int32_t request_id;
  std::int32_t error_status;
  std::int32_t error_index;
  std::vector<std::pair<std::string, ValueSpec>> bindings;
};

PmsOwn<IPmsAsnValue> our_value(const ValueSpec& v) {
  switch (v.tag) {
    case kPmsInteger: return pms_create_value_from_int(static_cast<std::int32_t>(v.number), v.tag, nullptr);
    case kPmsCounter32:
    case kPmsGauge32:
    case kPmsTimeTicks: return pms_create_value_from_uint(static_cast<std::uint32_t>(v.number), v.tag, nullptr);
    case kPmsCounter64:
      return pms_create_counter64(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v.number) >> 32),
                                  static_cast<std::uint32_t>(v.number), nullptr);
    case kPmsOctetString:
    case kPmsOpaque:
    case kPmsIpAddress: {
      auto val = pms_create_value(v.tag, nullptr);
      EXPECT_EQ(val->set_bytes(v.bytes.data(), static_cast<std::uint32_t>(v.bytes.size())), 0);
      return val;
    }
    case kPmsObjectId: return pms_as_value(snmptest::oid(v.oid_text.c_str()));
    default: return pms_create_value(v.tag, nullptr);
  }
}

std::vector<::oid> arcs_of(const std::string& text) {
  std::vector<::oid> out;
  auto o = snmptest::oid(text.c_str());
  for (auto a : o->arcs()) out.push_back(a);
  return out;
}

void add_netsnmp_value(netsnmp_pdu* pdu, const std::string& name, const ValueSpec& v) {
  auto n = arcs_of(name);
  long l = static_cast<long>(v.number);
  u_long ul = static_cast<u_long>(static_cast<std::uint32_t>(v.number));
  counter64 c64{static_cast<u_long>(static_cast<std::uint64_t>(v.number) >> 32),
                static_cast<u_long>(static_cast<std::uint32_t>(v.number))};
  std::vector<::oid> o = arcs_of(v.oid_text);
  u_char type = static_cast<u_char>(v.tag);
  const void* data = nullptr;
  size_t len = 0;
  switch (v.tag) {
    case kPmsInteger: data = &l; len = sizeof l; break;
    case kPmsCounter32:
    case kPmsGauge32:
    case kPmsTimeTicks: data = &ul; len = sizeof ul; break;
    case kPmsCounter64: data = &c64; len = sizeof c64; break;
    case kPmsObjectId: data = o.data(); len = o.size() * sizeof(::oid); break;
    case kPmsOctetString:
    case kPmsOpaque:
    case kPmsIpAddress: data = v.bytes.data(); len = v.bytes.size(); break;
    default: break;
  }
  ASSERT_NE(snmp_pdu_add_variable(pdu, n.data(), n.size(), type, data, len), nullptr) << name;
}

// Compares one net-snmp variable with our binding.
void expect_same(const netsnmp_variable_list* var, IPmsVarBind* b, const char* what) {
  ASSERT_NE(var, nullptr) << what;
  ASSERT_NE(b, nullptr) << what;
  std::vector<std::uint32_t> name(var->name, var->name + var->name_length);
  auto ours = b->get_oid()->arcs();
  EXPECT_EQ(name, std::vector<std::uint32_t>(ours.begin(), ours.end())) << what;
  IPmsAsnValue* v = b->get_value();
  ASSERT_EQ(var->type, v->get_tag()) << what;
  switch (v->get_tag()) {
    case kPmsInteger: EXPECT_EQ(*var->val.integer, v->get_int(nullptr)) << what; break;
    case kPmsCounter32:
    case kPmsGauge32:
    case kPmsTimeTicks:
      EXPECT_EQ(static_cast<std::uint32_t>(*var->val.integer), v->get_uint(nullptr)) << what;
      break;
    case kPmsCounter64:
      EXPECT_EQ(var->val.counter64->high, v->get_high(nullptr)) << what;
      EXPECT_EQ(var->val.counter64->low, v->get_low(nullptr)) << what;
      break;
    case kPmsObjectId: {
      std::vector<std::uint32_t> a(var->val.objid, var->val.objid + var->val_len / sizeof(::oid));
      auto mine = v->as_object_id()->arcs();
      EXPECT_EQ(a, std::vector<std::uint32_t>(mine.begin(), mine.end())) << what;
      break;
    }
    case kPmsOctetString:
    case kPmsOpaque:
    case kPmsIpAddress: {
      std::uint32_t n = 0;
      const std::uint8_t* p = v->get_bytes(&n, nullptr);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(var->val.string), var->val_len),
                std::string(reinterpret_cast<const char*>(p), n))
          << what;
      break;
    }
    default: EXPECT_EQ(var->val_len, 0u) << what; break;
  }
}

std::vector<PduSpec> table() {
  ValueSpec i_neg{kPmsInteger, -123456789};
  ValueSpec i_max{kPmsInteger, INT32_MAX};
  ValueSpec i_min{kPmsInteger, INT32_MIN};
  ValueSpec str{kPmsOctetString, 0, "Demo printer \x01\xff"};
  ValueSpec empty{kPmsOctetString, 0, ""};
  ValueSpec long_str{kPmsOctetString, 0, std::string(300, 'L')};
  ValueSpec nul{kPmsNull};
  ValueSpec id{kPmsObjectId, 0, "", "1.3.6.1.4.1.32473.4294967295.0"};
  ValueSpec id2{kPmsObjectId, 0, "", "2.100.3"};
  ValueSpec ip{kPmsIpAddress, 0, std::string("\x7f\x00\x00\x01", 4)};
  ValueSpec c32{kPmsCounter32, 0xFFFFFFFFll};
  ValueSpec g32{kPmsGauge32, 0x80};
  ValueSpec tt{kPmsTimeTicks, 0};
  ValueSpec opq{kPmsOpaque, 0, std::string("\x01\x02\x00\x03", 4)};
  ValueSpec c64{kPmsCounter64, static_cast<std::int64_t>(0x8000000000000001ull)};
  ValueSpec c64small{kPmsCounter64, 5};
  ValueSpec c64mid{kPmsCounter64, 0x100000000ll};
  ValueSpec nso{kPmsNoSuchObject};
  ValueSpec nsi{kPmsNoSuchInstance};
  ValueSpec eom{kPmsEndOfMibView};
  return {
      {"v1 get", kSnmpV1, kPduGet, 1, 0, 0, {{"1.3.6.1.2.1.1.5.0", nul}, {"1.3.6.1.2.1.1.1.0", nul}}},
      {"v1 getnext negative id", kSnmpV1, kPduGetNext, -5, 0, 0, {{"1.3.6.1.2.1.43", nul}}},
      {"v1 response every v1 type", kSnmpV1, kPduResponse, 0x7FFFFFFF, 0, 0,
       {{"1.3.6.1.2.1.1.1.0", str}, {"1.3.6.1.2.1.1.2.0", id}, {"1.3.6.1.2.1.1.3.0", tt},
        {"1.3.6.1.2.1.4.20.1.1.127.0.0.1", ip}, {"1.3.6.1.2.1.2.2.1.10.1", c32}, {"1.3.6.1.2.1.2.2.1.5.1", g32},
        {"1.3.6.1.4.1.32473.1.1", i_neg}, {"1.3.6.1.4.1.32473.1.2", i_max}, {"1.3.6.1.4.1.32473.1.3", i_min},
        {"1.3.6.1.4.1.32473.1.4", empty}, {"1.3.6.1.4.1.32473.1.5", long_str}, {"1.3.6.1.4.1.32473.1.6", opq},
        {"1.3.6.1.4.1.32473.1.7", id2}}},
      {"v1 error status and index", kSnmpV1, kPduResponse, 77, 2, 2,
       {{"1.3.6.1.2.1.1.1.0", nul}, {"1.3.6.1.2.1.1.99.0", nul}, {"1.3.6.1.2.1.1.3.0", nul}}},
      {"v1 set", kSnmpV1, kPduSet, 1000, 0, 0, {{"1.3.6.1.2.1.1.6.0", str}}},
      {"v2c counter64 and exceptions", kSnmpV2c, kPduResponse, 4242, 0, 0,
       {{"1.3.6.1.2.1.31.1.1.1.6.1", c64}, {"1.3.6.1.2.1.31.1.1.1.6.2", c64small},
        {"1.3.6.1.2.1.31.1.1.1.6.3", c64mid}, {"1.3.6.1.2.1.99.0", nso}, {"1.3.6.1.2.1.1.9.0", nsi},
        {"1.3.6.1.9", eom}}},
      {"v2c getbulk", kSnmpV2c, kPduGetBulk, 3, 0, 10, {{"1.3.6.1.2.1.2.2.1", nul}}},
      {"v2c error 18", kSnmpV2c, kPduResponse, 5, 18, 1, {{"1.3.6.1.2.1.1.1.0", str}}},
      {"v2c empty list", kSnmpV2c, kPduGet, 6, 0, 0, {}},
  };
}

int netsnmp_command(std::int32_t type) { return 0xA0 + type; }

class NetSnmpOracle : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // net-snmp keeps its files in a folder of the test's own.
    static morva::test::TempRoot root;
    setenv("SNMP_PERSISTENT_DIR", root.path().c_str(), 1);
    setenv("SNMPCONFPATH", root.path().c_str(), 1);
    setenv("HOME", root.path().c_str(), 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
    setenv("MIBS", "", 1);
    init_snmp("morva-test");
  }
  static void TearDownTestSuite() { snmp_shutdown("morva-test"); }
};

TEST_F(NetSnmpOracle, WeEncodeNetSnmpParses) {
  for (const auto& spec : table()) {
    auto pdu = pms_create_pdu(nullptr);
    pdu->set_type(spec.type);
    pdu->set_request_id(spec.request_id);
    pdu->set_error_status(spec.error_status);
    pdu->set_error_index(spec.error_index);
    for (const auto& [name, v] : spec.bindings) ASSERT_EQ(pdu->append_new(snmptest::oid(name.c_str()), our_value(v)), 0);
    CPmcMessageBuffer buf;
    ASSERT_EQ(pms_get_stream_registry()->encode(pdu.get(), community_target("public", spec.version, 65000).get(), &buf,
                                                nullptr),
              0)
        << spec.what;

    netsnmp_session sess;
    snmp_sess_init(&sess);
    auto* np = static_cast<netsnmp_pdu*>(calloc(1, sizeof(netsnmp_pdu)));
    std::vector<u_char> data(buf.message(), buf.message() + buf.remaining());
    ASSERT_EQ(snmp_parse(nullptr, &sess, np, data.data(), data.size()), 0) << spec.what;
    EXPECT_EQ(np->version, spec.version == kSnmpV1 ? SNMP_VERSION_1 : SNMP_VERSION_2c) << spec.what;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(np->community), np->community_len), "public");
    EXPECT_EQ(np->command, netsnmp_command(spec.type)) << spec.what;
    EXPECT_EQ(np->reqid, spec.request_id) << spec.what;
    if (spec.type == kPduGetBulk) {
      EXPECT_EQ(np->non_repeaters, spec.error_status);
      EXPECT_EQ(np->max_repetitions, spec.error_index);
    } else {
      EXPECT_EQ(np->errstat, spec.error_status) << spec.what;
      EXPECT_EQ(np->errindex, spec.error_index) << spec.what;
    }
    netsnmp_variable_list* var = np->variables;
    for (std::uint32_t i = 0; i < spec.bindings.size(); ++i, var = var ? var->next_variable : nullptr)
      expect_same(var, pdu->get_var_bind_list()->get_at(i), spec.what);
    EXPECT_EQ(var, nullptr) << spec.what;
    snmp_free_pdu(np);
  }
}

TEST_F(NetSnmpOracle, NetSnmpBuildsWeDecode) {
  for (const auto& spec : table()) {
    netsnmp_pdu* np = snmp_pdu_create(netsnmp_command(spec.type));
    np->version = spec.version == kSnmpV1 ? SNMP_VERSION_1 : SNMP_VERSION_2c;
    np->community = reinterpret_cast<u_char*>(strdup("private"));
    np->community_len = 7;
    np->reqid = spec.request_id;
    np->errstat = spec.error_status;
    np->errindex = spec.error_index;
    for (const auto& [name, v] : spec.bindings) add_netsnmp_value(np, name, v);

    netsnmp_session sess;
    snmp_sess_init(&sess);
    size_t pkt_len = 70000, offset = 0;
    auto* pkt = static_cast<u_char*>(malloc(pkt_len));
    ASSERT_EQ(snmp_build(&pkt, &pkt_len, &offset, &sess, np), 0) << spec.what << ": " << snmp_api_errstring(snmp_errno);
    const u_char* msg = pkt;
    if (netsnmp_ds_get_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_REVERSE_ENCODE)) msg = pkt + pkt_len - offset;

    CPmcMessageBuffer buf;
    buf.assign(msg, static_cast<std::uint32_t>(offset));
    auto pdu = pms_create_pdu(nullptr);
    auto target = pms_create_community_target(nullptr);
    ASSERT_EQ(pms_get_stream_registry()->decode(&buf, pdu.get(), target.get(), kPmsSenderNone), 0)
        << spec.what << " " << to_hex(msg, offset);
    EXPECT_EQ(target->get_version(), spec.version);
    EXPECT_STREQ(target->as_community()->get_community(), "private");
    EXPECT_EQ(pdu->get_type(), spec.type);
    EXPECT_EQ(pdu->get_request_id(), spec.request_id);
    EXPECT_EQ(pdu->get_error_status(), spec.error_status);
    EXPECT_EQ(pdu->get_error_index(), spec.error_index);
    ASSERT_EQ(pdu->get_var_bind_list()->count(), spec.bindings.size()) << spec.what;
    netsnmp_variable_list* var = np->variables;
    for (std::uint32_t i = 0; i < spec.bindings.size(); ++i, var = var->next_variable)
      expect_same(var, pdu->get_var_bind_list()->get_at(i), spec.what);
    if (spec.error_status && spec.type != kPduGetBulk) {
      for (std::uint32_t i = 0; i < spec.bindings.size(); ++i)
        EXPECT_EQ(pdu->get_var_bind_list()->get_at(i)->get_status(),
                  static_cast<std::int32_t>(i) + 1 == spec.error_index ? spec.error_status : 100);
    }

    // Both encoders write the shortest forms, so the bytes agree as well.
    CPmcMessageBuffer ours;
    target->set_max_message_size(70000);
    ASSERT_EQ(pms_get_stream_registry()->encode(pdu.get(), target.get(), &ours, nullptr), 0);
    EXPECT_TRUE(netsnmp_ds_get_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_REVERSE_ENCODE));
    if (netsnmp_ds_get_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_REVERSE_ENCODE)) {
      EXPECT_EQ(message_hex(ours), to_hex(msg, offset)) << spec.what;
    }
    free(pkt);
    snmp_free_pdu(np);
  }
}

}  // namespace
