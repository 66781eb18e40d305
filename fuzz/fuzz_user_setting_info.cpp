// The per-user record conversion on arbitrary bytes, as read from the
// registry: any version and size, never a read past the record.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ddm/dma.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<BYTE> record(data, data + size);
  std::vector<BYTE> out(kUserSettingInfoSize);
  morva::ddm::dma_ConvertUserSettingInfo(record.data(), static_cast<DWORD>(record.size()), out.data(),
                                         size > 0 && (data[size - 1] & 1));
  return 0;
}
