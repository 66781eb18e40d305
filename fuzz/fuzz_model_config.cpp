// Model configuration files are written by administrators in any state: the
// option, switch and capability readers must stay inside their buffers and
// give sound sets and maps whatever the bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "settings/database/capability_maps.h"
#include "settings/database/model_config.h"
#include "fuzz_machine_root.h"
#include "win/memory.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!morva::fuzz::write_drive_c_file("m.cfg", {reinterpret_cast<const char*>(data), size})) return 0;
  const char16_t* path = u"C:\\m.cfg";

  ConfigOptionSet* set = LoadConfigOptions(u"Model-X 1/2", path);
  if (set) {
    ItemValue slot{};
    WORD flags = 0;
    for (WORD id : {16, 270, 320, 4359, 4363, 5153}) {
      GetConfiguredItemValue(id, set, &slot, 1);
      FindConfiguredItemFlags(id, set, &flags);
    }
    FreeConfigOptionSet(set);
  }
  if (WCHAR* comment = ReadConfigComment(u"Model-X 1/2", path)) GlobalFree(comment);

  if (CapabilityValueMap* map = LoadCapabilityOverrides(path, 1)) {
    for (int g = 0; g < kCapabilityGroupCount; ++g) MapCapabilityValue(map, g, 11);
    ComputeDmFields(map, 0xFFFFFFFFu, 1);
    WORD count = 0;
    INT* pairs = nullptr;
    if (GetCapabilityMapEntries(map, kCapBin, &count, &pairs) == 1 && pairs) GlobalFree(pairs);
    FreeCapabilityValueMap(map);
  }

  // The key lookup over the bytes taken as a section text.
  std::vector<WCHAR> text(size / 2 + 2, 0);
  std::memcpy(text.data(), data, size / 2 * 2);
  WCHAR value[kConfigValueBuffer];
  INT line = 0;
  FindNthKeyValue(text.data(), u"bin.TRAY1=", TRUE, nullptr, value);
  while (FindNthKeyValue(text.data(), u"a=", FALSE, &line, value)) ++line;
  return 0;
}
