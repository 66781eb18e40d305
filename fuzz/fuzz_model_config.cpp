// Model configuration files are written by administrators in any state: the
// option, switch and capability readers must stay inside their buffers and
// give sound sets and maps whatever the bytes, and what they give is then
// applied: forced and enforced settings written into a settings pair, the
// capability maps into a DEVMODE. The same bytes are also the module's
// "morva.cfg", whose LOG section lists extra setting ids to trace.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "fuzz_demo_database.h"
#include "fuzz_machine_root.h"
#include "settings/common/module_state.h"
#include "settings/common/trace_log.h"
#include "settings/database/capability_maps.h"
#include "settings/database/model_config.h"
#include "settings/items/default_settings.h"
#include "win/memory.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = (morva::fuzz::machine_root(), morva::settings::set_module_directory_for_test(u"C:\\mod\\"), true);
  (void)ready;
  if (!morva::fuzz::write_drive_c_file("m.cfg", {reinterpret_cast<const char*>(data), size})) return 0;
  const char16_t* path = u"C:\\m.cfg";
  // The demo printer's defaults, so the maps find the DEVMODE fields.
  static const std::vector<BYTE> defaults_dm = [] {
    std::vector<BYTE> d(morva::ddm::kPrivateDevmodeSize);
    FillDefaultSettings(morva::fuzz::demo_database(), d.data(), nullptr, u"Fuzz");
    return d;
  }();
  std::vector<BYTE> dm = defaults_dm, pd(morva::ddm::kPrinterDataSize);

  ConfigOptionSet* set = LoadConfigOptions(u"Model-X 1/2", path);
  if (set) {
    ItemValue slot{};
    WORD flags = 0;
    for (WORD id : {16, 270, 320, 4359, 4363, 5153}) {
      GetConfiguredItemValue(id, set, &slot, 1);
      FindConfiguredItemFlags(id, set, &flags);
      IsItemEnforced(id, set);
    }
    for (INT mode = 0; mode <= 2; ++mode) ApplyForcedSettings(set, dm.data(), pd.data(), mode);
    FreeConfigOptionSet(set);
  }
  if (WCHAR* comment = ReadConfigComment(u"Model-X 1/2", path)) GlobalFree(comment);

  if (CapabilityValueMap* map = LoadCapabilityOverrides(path, 1)) {
    for (int g = 0; g < kCapabilityGroupCount; ++g) MapCapabilityValue(map, g, 11);
    ComputeDmFields(map, 0xFFFFFFFFu, 1);
    ApplyCapabilityMaps(map, dm.data());
    WORD count = 0;
    INT* pairs = nullptr;
    if (GetCapabilityMapEntries(map, kCapBin, &count, &pairs) == 1 && pairs) GlobalFree(pairs);
    FreeCapabilityValueMap(map);
  }

  ApplyCapabilityMaps(nullptr, dm.data());

  // The trace settings and their list of setting ids.
  if (!morva::fuzz::write_drive_c_file("mod/morva.cfg", {reinterpret_cast<const char*>(data), size})) return 0;
  morva::settings::reset_trace_for_test();
  int traced = 0;
  morva::settings::trace_ddmids_for_test(&traced);
  morva::settings::reset_trace_for_test();

  // The key lookup over the bytes taken as a section text.
  std::vector<WCHAR> text(size / 2 + 2, 0);
  std::memcpy(text.data(), data, size / 2 * 2);
  WCHAR value[kConfigValueBuffer];
  INT line = 0;
  FindNthKeyValue(text.data(), u"bin.TRAY1=", TRUE, nullptr, value);
  while (FindNthKeyValue(text.data(), u"a=", FALSE, &line, value)) ++line;
  return 0;
}
