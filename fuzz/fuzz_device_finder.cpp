// Discovery against agents that answer whatever the input says: up to four
// scriptable agents of our own share 0.0.0.0:161 inside a network namespace
// of the process's own, each answering the broadcast GET of sysObjectID.0
// from its own address, with a value of any tag and content, an error
// status, a truncated, oversized, stale or delayed answer, or noise. The
// finder collects them against the supported models (with or without a
// family filter) and hands out every device twice. Where network
// namespaces cannot be made (no privileges), inputs are skipped.
//
// Input: a byte of options (bits 0-1: agents less one; bit 2: SNMPv2c
// rather than SNMPv1; bit 3: a family filter), then per agent an action
// byte (answer, error, truncated, oversized, stale id, noise, delayed
// answer), an argument byte, the value's tag, its length and content.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device_api/device_finder.h"
#include "device_api/usm_param.h"
#include "fake_agent.h"
#include "fuzz_netns_worker.h"

namespace {

using morva::test::FakeAgent;
using morva::test::FakeAgentOptions;
namespace fake = morva::test::fake;
namespace wire = morva::test::wire;

std::vector<fake::Action> actions_of(std::uint8_t kind, std::uint8_t arg) {
  switch (kind % 7) {
    case 1: return {fake::error(arg % 6, arg >> 4)};
    case 2: return {fake::truncated(arg)};
    case 3: return {fake::oversize(400 + arg * 8)};
    case 4: return {fake::stale_id(arg % 2 ? 1 : -1), fake::answer()};
    case 5: return {fake::garbage(arg)};
    case 6: return {fake::delay(arg % 40), fake::answer()};
    default: return {fake::answer()};
  }
}

struct AgentSpec {
  std::uint8_t kind = 0, arg = 0;
  wire::Value value;
};

void discover(const std::vector<AgentSpec>& specs, bool v2c, bool filter) {
  std::vector<std::unique_ptr<FakeAgent>> agents;
  for (std::size_t i = 0; i < specs.size(); ++i) {
    FakeAgentOptions o;
    o.address = "0.0.0.0";
    o.port = 161;
    o.reuse_address = true;
    o.reply_from = "127.0.0." + std::to_string(2 + i);
    agents.push_back(std::make_unique<FakeAgent>(o));
    agents.back()->set("1.3.6.1.2.1.1.2.0", specs[i].value);
    agents.back()->set_default(actions_of(specs[i].kind, specs[i].arg));
  }
  IPSWPluginUSM* usm = psw_create_plugin_usm();
  usm->load_param(v2c ? 1 : 0, PSWUsmParam{});
  {
    CPSWDeviceFinder finder;
    if (filter) finder.AddFilter("1.3.6.1.4.1.32473.2.1.11.93.1.37");
    long count = 0;
    if (finder.Find(IPmcNetworkAddress::kIPv4, "255.255.255.255", usm, 60, 0, 0) == 0 &&
        finder.Collect(SupportedModelTable, kSupportedModelCount, &count) == 0) {
      char address[64], model[64], reserved[64], oid[64];
      for (int round = 0; round < 2; ++round) {
        while (finder.Next(address, model, reserved, oid)) {
        }
        finder.ResetPosition();
      }
    }
  }
  usm->release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static auto* worker = new morva::fuzz::NetnsWorker;
  if (size < 1 || size > 4096) return 0;
  const std::size_t agents = (data[0] & 3) + 1;
  std::vector<AgentSpec> specs;
  std::size_t at = 1;
  while (specs.size() < agents && at + 4 <= size) {
    AgentSpec s;
    s.kind = data[at];
    s.arg = data[at + 1];
    s.value.tag = data[at + 2];
    const std::size_t n = std::min<std::size_t>(data[at + 3], size - at - 4);
    s.value.content.assign(data + at + 4, data + at + 4 + n);
    specs.push_back(s);
    at += 4 + n;
  }
  if (specs.empty()) return 0;
  worker->run([&] { discover(specs, (data[0] & 4) != 0, (data[0] & 8) != 0); });
  return 0;
}
