// A DEVMODE handed to DrvConvertDevMode comes from an application or
// another machine: its header words may claim anything. The conversion must
// read only the bytes handed in, answer a too-small output with the size
// needed, and write no more than the 1604 bytes it announces.
//
// Input: byte 0 picks the mode (low two bits: CDM_CONVERT, CDM_DRIVER_DEFAULT,
// CDM_CONVERT351 or an unknown mode) and whether the DEVMODE gets this
// driver's identity (bit 2, so that the conversions behind the identity
// check are reached); bytes 1-2 are the output size offered (little-endian,
// scaled to reach past 1604); the rest, in a buffer of exactly its size, is
// the input DEVMODE.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ddm/ddmid.h"
#include "fuzz_demo_defaults.h"
#include "fuzz_machine_root.h"
#include "pi/printer_level.h"
#include "settings/items/default_settings.h"
#include "win/machine_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3 || size > 12000) return 0;
  const std::vector<std::uint8_t>& defaults = morva::fuzz::demo_default_devmode();
  constexpr DWORD kModes[] = {CDM_CONVERT, CDM_DRIVER_DEFAULT, CDM_CONVERT351, 0x80};
  const DWORD mode = kModes[data[0] & 3];
  const bool own = (data[0] & 4) != 0;
  const bool null_in = (data[0] & 8) != 0;
  LONG offered = static_cast<LONG>((data[1] | (data[2] << 8)) % 2400);
  std::vector<std::uint8_t> in(data + 3, data + size);
  if (own && in.size() >= 288) {
    std::copy(defaults.begin() + 64, defaults.begin() + 66, in.begin() + 64);    // dmSpecVersion
    std::copy(defaults.begin() + 68, defaults.begin() + 70, in.begin() + 68);    // dmSize
    std::copy(defaults.begin() + 224, defaults.begin() + 288, in.begin() + 224);  // driver name
  }
  in.shrink_to_fit();
  // The output is exactly as large as offered, plus a guard zone that must
  // stay untouched.
  constexpr std::size_t kGuard = 64;
  std::vector<std::uint8_t> out(static_cast<std::size_t>(std::max<LONG>(offered, 0)) + kGuard, 0xA5);
  LONG announced = offered;
  const auto* source = (null_in || in.empty()) ? nullptr : reinterpret_cast<const DEVMODEW*>(in.data());
  const INT result = ConvertDevModeWorker(u"Fuzz", morva::fuzz::demo_database(), source,
                                          reinterpret_cast<DEVMODEW*>(out.data()), &announced, mode,
                                          static_cast<DWORD>(in.size()));
  if (offered < static_cast<LONG>(morva::ddm::kShortDevmodeSize) && (mode == CDM_CONVERT || mode == CDM_DRIVER_DEFAULT)) {
    if (result != kConvertTooSmall || announced != static_cast<LONG>(morva::ddm::kShortDevmodeSize)) std::abort();
  }
  const std::size_t written = result >= kConvertConverted ? morva::ddm::kShortDevmodeSize : 0;
  if (written > static_cast<std::size_t>(std::max<LONG>(offered, 0))) std::abort();
  for (std::size_t i = static_cast<std::size_t>(std::max<LONG>(offered, 0)); i < out.size(); ++i)
    if (out[i] != 0xA5) std::abort();
  return 0;
}
