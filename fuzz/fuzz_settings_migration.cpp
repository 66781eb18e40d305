// Old settings are outside input: a DEVMODE comes from an application and a
// PrinterData block from the printer's stored data. Their conversion must
// read only the bytes handed in, whatever their header words say. The demo
// printer's database is open, so the defaults can be made and the
// conversions go on to read the old data.
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "ddm/ddmid.h"
#include "fuzz_demo_defaults.h"
#include "fuzz_machine_root.h"
#include "settings/items/default_settings.h"
#include "settings/stores/settings_migration.h"
#include "win/machine_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 12000) return 0;
  const std::vector<std::uint8_t>& defaults_dm = morva::fuzz::demo_default_devmode();
  static const std::vector<std::uint8_t> defaults_pd = [] {
    std::vector<std::uint8_t> dm(morva::ddm::kPrivateDevmodeSize), pd(morva::ddm::kPrinterDataSize);
    FillDefaultSettings(morva::fuzz::demo_database(), dm.data(), pd.data(), u"DummyName");
    return pd;
  }();
  // The first byte picks the kind and whether the old data gets this
  // driver's identity (so that the conversions behind the identity check
  // are reached); the rest, in a buffer of exactly its size, is the old
  // data.
  const bool devmode = (data[0] & 1) == 0;
  const bool own = (data[0] & 2) != 0;
  std::vector<std::uint8_t> old(data + 1, data + size);
  if (own && devmode && old.size() >= 288) {
    std::copy(defaults_dm.begin() + 64, defaults_dm.begin() + 66, old.begin() + 64);   // dmSpecVersion
    std::copy(defaults_dm.begin() + 68, defaults_dm.begin() + 70, old.begin() + 68);   // dmSize
    std::copy(defaults_dm.begin() + 224, defaults_dm.begin() + 288, old.begin() + 224);  // driver name
  } else if (own && !devmode && old.size() >= 160) {
    std::copy(defaults_pd.begin() + 158, defaults_pd.begin() + 160, old.begin() + 158);  // model code
  }
  old.shrink_to_fit();
  const DWORD available = static_cast<DWORD>(old.size());
  if (devmode) {
    std::vector<std::uint8_t> out(morva::ddm::kShortDevmodeSize);
    ConvertPrivateDevmode(old.empty() ? nullptr : old.data(), out.data(), u"Fuzz", morva::fuzz::demo_database(), available);
  } else {
    std::vector<std::uint8_t> out(morva::ddm::kPrinterDataSize);
    ConvertPrinterDataBlock(old.empty() ? nullptr : old.data(), available, out.data(), morva::fuzz::demo_database());
  }
  return 0;
}
