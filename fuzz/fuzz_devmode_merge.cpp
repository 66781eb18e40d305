// An application's DEVMODE is outside input: the merge must read it only
// within dmSize + dmDriverExtra bytes, whatever those fields and the rest
// hold. The demo printer's database is open, so the private part's merge,
// the capability translation and the paper look-ups run too.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ddm/ddmid.h"
#include "fuzz_demo_database.h"
#include "settings/items/default_settings.h"
#include "settings/devmode/driver_devmode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 72 || size > 8192) return 0;
  // The DEVMODE contract: the buffer holds dmSize + dmDriverExtra bytes.
  std::vector<std::uint8_t> app(data, data + size);
  std::uint16_t dm_size = static_cast<std::uint16_t>(app[68] | (app[69] << 8));
  if (dm_size > size) dm_size = static_cast<std::uint16_t>(size);
  const std::uint16_t extra = static_cast<std::uint16_t>(size - dm_size);
  app[68] = dm_size & 0xFF;
  app[69] = dm_size >> 8;
  app[70] = extra & 0xFF;
  app[71] = extra >> 8;
  app.resize(static_cast<std::size_t>(dm_size) + extra);
  app.shrink_to_fit();

  static std::vector<std::uint8_t> defaults = [] {
    std::vector<std::uint8_t> d(morva::ddm::kPrivateDevmodeSize);
    FillDefaultSettings(morva::fuzz::demo_database(), d.data(), nullptr, u"Fuzz");
    return d;
  }();
  std::vector<std::uint8_t> driver = defaults;
  std::vector<std::uint8_t> printer_data(morva::ddm::kPrinterDataSize);
  for (WORD mode : {kMergeResolutionPair, kMergeResolutionQuality}) {
    MergeDevmode(morva::fuzz::demo_database(), driver.data(), app.data(), printer_data.data(), nullptr, mode);
    MergeDevmodeLogged(morva::fuzz::demo_database(), driver.data(), app.data(), printer_data.data(), nullptr, mode);
  }
  CheckDevmodeForPrinting(driver.data());
  return 0;
}
