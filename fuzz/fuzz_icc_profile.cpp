// ICC profiles are named by the user's settings and come from disk in any
// state: reading one and converting pixels with the result must stay inside
// every buffer, whatever the tag table and tag sizes say.

#include <cstddef>
#include <cstdint>

#include "fuzz_machine_root.h"
#include "render/icc_transform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!morva::fuzz::write_drive_c_file("p.icc", {reinterpret_cast<const char*>(data), size})) return 0;
  morva::render::IccTransform transform;
  morva::render::InitIccTransform(&transform);
  if (morva::render::LoadIccProfile(&transform, "C:\\p.icc") == 0) {
    BYTE pixels[3 * 6] = {0, 0, 0, 255, 255, 255, 1, 128, 254, 17, 240, 60, 239, 241, 250, 128, 128, 128};
    morva::render::ConvertPixelsGrid(&transform, pixels, pixels, 6);
  }
  morva::render::FreeIccTransform(&transform);
  return 0;
}
