// Old settings are outside input: a DEVMODE comes from an application and a
// PrinterData block from the printer's stored data. Their conversion must
// read only the bytes handed in, whatever their header words say.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ddm/ddmid.h"
#include "fuzz_machine_root.h"
#include "settings/settings_migration.h"
#include "win/machine_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 12000) return 0;
  static const bool ready = [] {
    morva::fuzz::machine_root();
    morva::platform::use_in_memory_store(true);
    return true;
  }();
  (void)ready;
  // The first byte picks the kind; the rest, in a buffer of exactly its
  // size, is the old data.
  const bool devmode = (data[0] & 1) == 0;
  std::vector<std::uint8_t> old(data + 1, data + size);
  old.shrink_to_fit();
  const DWORD available = static_cast<DWORD>(old.size());
  if (devmode) {
    std::vector<std::uint8_t> out(morva::ddm::kShortDevmodeSize);
    ConvertPrivateDevmode(old.empty() ? nullptr : old.data(), out.data(), u"Fuzz", nullptr, available);
  } else {
    std::vector<std::uint8_t> out(morva::ddm::kPrinterDataSize);
    ConvertPrinterDataBlock(old.empty() ? nullptr : old.data(), available, out.data(), nullptr);
  }
  return 0;
}
