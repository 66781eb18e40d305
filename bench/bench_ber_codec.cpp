// Encoding and decoding of a GET response with 20 bindings: our codec and
// net-snmp's snmp_build / snmp_parse on the same message, in one run. Each
// benchmark alternates batches of ours and of net-snmp's, keeps the quickest
// batch of each and reports both per message and "ours_over_netsnmp" (below
// 1: ours is faster). Targets: all three below 1.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "snmp/ber_codec.h"

namespace {

constexpr int kBindings = 20;

std::vector<::oid> name_of(int i) { return {1, 3, 6, 1, 2, 1, 43, 11, 1, 1, 9, 1, static_cast<::oid>(i + 1)}; }

PmsOwn<IPmsPdu> our_response() {
  auto pdu = pms_create_pdu(nullptr);
  pdu->set_type(kPduResponse);
  pdu->set_request_id(0x12345678);
  for (int i = 0; i < kBindings; ++i) {
    auto o = pms_create_oid(nullptr);
    for (auto a : name_of(i)) o->append_arc(static_cast<std::uint32_t>(a));
    PmsOwn<IPmsAsnValue> v;
    if (i % 3 == 0) {
      v = pms_create_value_from_string("Demo supply level text", kPmsOctetString, nullptr);
    } else if (i % 3 == 1) {
      v = pms_create_value_from_int(i * 1000, kPmsInteger, nullptr);
    } else {
      v = pms_create_value_from_uint(0xF0000000u + static_cast<std::uint32_t>(i), kPmsCounter32, nullptr);
    }
    pdu->append_new(std::move(o), std::move(v));
  }
  return pdu;
}

netsnmp_pdu* netsnmp_response() {
  netsnmp_pdu* p = snmp_pdu_create(SNMP_MSG_RESPONSE);
  p->version = SNMP_VERSION_1;
  p->community = reinterpret_cast<u_char*>(strdup("public"));
  p->community_len = 6;
  p->reqid = 0x12345678;
  for (int i = 0; i < kBindings; ++i) {
    auto n = name_of(i);
    if (i % 3 == 0) {
      const char* s = "Demo supply level text";
      snmp_pdu_add_variable(p, n.data(), n.size(), ASN_OCTET_STR, s, std::strlen(s));
    } else if (i % 3 == 1) {
      long v = i * 1000;
      snmp_pdu_add_variable(p, n.data(), n.size(), ASN_INTEGER, &v, sizeof v);
    } else {
      u_long v = 0xF0000000u + static_cast<u_long>(i);
      snmp_pdu_add_variable(p, n.data(), n.size(), ASN_COUNTER, &v, sizeof v);
    }
  }
  return p;
}

struct NetSnmp {
  NetSnmp() {
    static std::string dir = [] {
      char tmpl[] = "/tmp/morva-bench-XXXXXX";
      return std::string(mkdtemp(tmpl));
    }();
    setenv("SNMP_PERSISTENT_DIR", dir.c_str(), 1);
    setenv("SNMPCONFPATH", dir.c_str(), 1);
    setenv("MIBS", "", 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    init_snmp("morva-bench");
  }
};
NetSnmp& netsnmp() {
  static NetSnmp n;
  return n;
}

PmsOwn<IPmsSnmpTarget> target() {
  auto t = pms_create_community_target(nullptr);
  t->as_community()->set_community("public");
  t->set_version(kSnmpV1);
  t->set_max_message_size(2048);
  return t;
}

// Runs batches of `ours` and `theirs` alternately, one pair an iteration,
// and reports the quickest of each per call and their ratio.
void Alternate(benchmark::State& state, const std::function<void()>& ours, const std::function<void()>& theirs) {
  constexpr int kBatch = 200;
  auto batch = [](const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kBatch; ++i) f();
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / kBatch;
  };
  double best_ours = 1e30, best_theirs = 1e30;
  for (auto _ : state) {
    best_ours = std::min(best_ours, batch(ours));
    best_theirs = std::min(best_theirs, batch(theirs));
  }
  state.counters["ours_ns"] = best_ours;
  state.counters["netsnmp_ns"] = best_theirs;
  state.counters["ours_over_netsnmp"] = best_ours / best_theirs;
}

std::vector<std::uint8_t> message() {
  auto pdu = our_response();
  auto t = target();
  CPmcMessageBuffer buf;
  pms_get_stream_registry()->encode(pdu.get(), t.get(), &buf, nullptr);
  return {buf.message(), buf.message() + buf.remaining()};
}

// Our encoder against snmp_build of the same response.
void BM_Encode(benchmark::State& state) {
  netsnmp();
  auto pdu = our_response();
  auto t = target();
  CPmcMessageBuffer buf;
  IPmsStreamRegistry* reg = pms_get_stream_registry();
  netsnmp_pdu* p = netsnmp_response();
  netsnmp_session sess;
  snmp_sess_init(&sess);
  size_t cap = 2048;
  auto* pkt = static_cast<u_char*>(malloc(cap));
  Alternate(
      state,
      [&] {
        if (reg->encode(pdu.get(), t.get(), &buf, nullptr) != 0) state.SkipWithError("encode");
        benchmark::DoNotOptimize(buf.message());
      },
      [&] {
        size_t len = cap, offset = 0;
        if (snmp_build(&pkt, &len, &offset, &sess, p) != 0) state.SkipWithError("snmp_build");
        cap = len;
        benchmark::DoNotOptimize(pkt);
      });
  free(pkt);
  snmp_free_pdu(p);
}
BENCHMARK(BM_Encode);

// Decoding into a PDU (argument 1: the same PDU each time, as a session
// decodes each answer into the PDU it sent, so the bindings are refilled in
// place; 0: a new PDU and target each time) against snmp_parse into a new
// PDU, which it always needs.
void BM_Decode(benchmark::State& state) {
  netsnmp();
  const bool reused = state.range(0) != 0;
  auto bytes = message();
  CPmcMessageBuffer buf;
  buf.assign(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  IPmsStreamRegistry* reg = pms_get_stream_registry();
  auto kept_pdu = pms_create_pdu(nullptr);
  auto kept_target = pms_create_community_target(nullptr);
  netsnmp_session sess;
  snmp_sess_init(&sess);
  std::vector<u_char> data(bytes.begin(), bytes.end());
  Alternate(
      state,
      [&] {
        if (reused) {
          if (reg->decode(&buf, kept_pdu.get(), kept_target.get(), kPmsSenderNone) != 0) state.SkipWithError("decode");
          benchmark::DoNotOptimize(kept_pdu.get());
        } else {
          auto pdu = pms_create_pdu(nullptr);
          auto t = pms_create_community_target(nullptr);
          if (reg->decode(&buf, pdu.get(), t.get(), kPmsSenderNone) != 0) state.SkipWithError("decode");
          benchmark::DoNotOptimize(pdu.get());
        }
      },
      [&] {
        auto* p = static_cast<netsnmp_pdu*>(calloc(1, sizeof(netsnmp_pdu)));
        if (snmp_parse(nullptr, &sess, p, data.data(), data.size()) != 0) state.SkipWithError("snmp_parse");
        snmp_free_pdu(p);
      });
}
BENCHMARK(BM_Decode)->ArgName("reused")->Arg(1)->Arg(0);

}  // namespace

BENCHMARK_MAIN();
