// A walk of a 1000-row table (three columns) over SNMPv1: our request
// sessions against net-snmp's snmpwalk, on the same real agent in one run
// (wall time).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "snmp/session.h"
#include "snmp_agent.h"

namespace {

constexpr int kRows = 1000;

morva::test::SnmpAgent& agent() {
  static std::unique_ptr<morva::test::SnmpAgent> a = [] {
    morva::test::SnmpAgentOptions o;
    o.fixture_text = morva::test::big_table_fixture(kRows);
    return std::make_unique<morva::test::SnmpAgent>(o);
  }();
  return *a;
}

void BM_OursWalk(benchmark::State& state) {
  auto& a = agent();
  auto dispatcher = pmc_create_session_dispatcher(nullptr);
  auto target = pms_create_community_target(nullptr);
  target->as_community()->set_community("public");
  target->set_version(kSnmpV1);
  target->set_timeout(2000);
  target->set_retries(1);
  target->set_max_message_size(1400);
  auto address = pmc_create_network_address_from_text(a.target_address().c_str(), a.port(), nullptr);
  target->set_address(address.get());
  auto root = pms_create_oid_from_string(morva::test::kBigTableOid, nullptr);
  for (auto _ : state) {
    int rows = 0;
    auto pdu = pms_create_pdu(nullptr);
    pdu->set_type(kPduGetNext);
    pdu->append_new(root->clone_oid(nullptr), nullptr);
    for (;;) {
      pdu->set_type(kPduGetNext);
      if (dispatcher->send_sync(pdu.get(), target.get()) != 0 || pdu->get_error_status() != 0) break;
      IPmsVarBind* b = pdu->get_var_bind_list()->get_at(0);
      int rel = b->get_oid()->compare(root.get(), nullptr);
      if (rel != 2) break;  // left the table
      ++rows;
      b->set_value(nullptr);
    }
    if (rows != 3 * kRows) state.SkipWithError("walk incomplete");
  }
}
BENCHMARK(BM_OursWalk)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SnmpwalkV1(benchmark::State& state) {
  auto& a = agent();
  for (auto _ : state) {
    auto r = a.tool("snmpwalk", {"-v1", "-c", "public", a.peer(), morva::test::kBigTableOid});
    if (r.exit_code != 0) state.SkipWithError("snmpwalk failed");
  }
}
BENCHMARK(BM_SnmpwalkV1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
