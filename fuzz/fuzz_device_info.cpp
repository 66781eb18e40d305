// The device information reader against an agent that answers whatever
// the input says: a scriptable agent of our own on 127.0.0.1:161 inside a
// network namespace of the process's own serves the input's objects, and
// may answer one request with an error status, a truncated, oversized or
// stale answer. The reader reads every table and record it offers. Where
// network namespaces cannot be made (no privileges), inputs are skipped.
//
// Input: an action byte (low three bits: answer, error, truncated,
// oversized, stale id; the rest: which request gets it), an argument byte,
// then fixture lines ("OID TYPE VALUE"); lines that do not parse are left
// out.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device_api/device_info_reader.h"
#include "device_api/usm_param.h"
#include "fake_agent.h"
#include "fixture_data.h"
#include "fuzz_netns_worker.h"

namespace {

using morva::test::FakeAgent;
using morva::test::FakeAgentOptions;
using morva::test::FixtureData;
namespace fake = morva::test::fake;

fake::Action action_of(std::uint8_t kind, std::uint8_t arg) {
  switch (kind) {
    case 1: return fake::error(arg % 6, arg >> 4);
    case 2: return fake::truncated(arg);
    case 3: return fake::oversize(400 + arg * 8);
    case 4: return fake::stale_id(arg % 2 ? 1 : -1);
    default: return fake::answer();
  }
}

void read_device(std::string_view fixture, std::uint8_t action, std::uint8_t arg) {
  FakeAgentOptions options;
  options.port = 161;
  FakeAgent agent(options);
  for (std::size_t at = 0; at < fixture.size();) {
    std::size_t end = fixture.find('\n', at);
    if (end == std::string_view::npos) end = fixture.size();
    try {
      agent.serve(FixtureData::parse(fixture.substr(at, end - at)));
    } catch (const std::exception&) {
      // a line that is no fixture entry
    }
    at = end + 1;
  }
  std::vector<std::vector<fake::Action>> script(action >> 3);
  script.push_back({action_of(action & 7, arg), fake::answer()});
  agent.script(script);

  IPSWPluginUSM* usm = psw_create_plugin_usm();
  usm->load_param(0, PSWUsmParam{});
  {
    CPSWDeviceInfoReader reader;
    if (reader.Init(IPmcNetworkAddress::kIPv4, "127.0.0.1", usm, 40, 0, 0) == 0) {
      long count = 0, status = 0, error = 0, value = 0;
      if (reader.GetNumberOfStorageInfo(&count) == 0)
        for (long i = 0; i <= count; ++i) { PSWStorageInfo s; reader.GetStorageInfo(i, &s); }
      if (reader.GetNumberOfDeviceInfo(&count) == 0)
        for (long i = 0; i <= count; ++i) { PSWDeviceInfo d; reader.GetDeviceInfo(i, &d); }
      reader.GetPrinterInfo(&status, &error);
      if (reader.GetNumberOfInputTrayInfo(&count) == 0)
        for (long i = 0; i <= count; ++i) { PSWInputTrayInfo t; reader.GetInputTrayInfo(i, &t); }
      if (reader.GetNumberOfInputTrayInfoEx(&count) == 0)
        for (long i = 0; i <= count; ++i) { PSWInputTrayInfoEx t; reader.GetInputTrayInfoEx(i, &t); }
      if (reader.GetNumberOfOutputTrayInfo(&count) == 0)
        for (long i = 0; i <= count; ++i) { PSWOutputTrayInfo t; reader.GetOutputTrayInfo(i, &t); }
      if (reader.GetNumberOfTonerInfo(&count) == 0)
        for (long i = 0; i <= count; ++i) { PSWTonerInfo t; reader.GetTonerInfo(i, &t); }
      if (reader.GetNumberOfAlertInfo(&count) == 0)
        for (long i = 0; i <= count; ++i) { PSWAlertInfo a; reader.GetAlertInfo(i, &a); }
      for (int job_class : {0, 1, 17}) {
        if (reader.GetNumberOfJobInfo(job_class, &count) == 0)
          for (long i = 0; i <= count; ++i) { PSWJobInfo j; reader.GetJobInfo(i, &j); }
      }
      for (int selector = 0; selector < 3; ++selector) reader.GetCharSet(selector, &value);
    }
  }
  usm->release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static auto* worker = new morva::fuzz::NetnsWorker;
  if (size < 2 || size > 16384) return 0;
  const std::string_view fixture(reinterpret_cast<const char*>(data + 2), size - 2);
  worker->run([&] { read_device(fixture, data[0], data[1]); });
  return 0;
}
