// The split of a document-property file on arbitrary bytes: buffers of
// varied capacity, never a read past the image nor a write past a buffer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ddm/dma_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<BYTE> image(data, data + size);
  // Capacities follow the image's size, so that some calls fit and some
  // are refused with -5.
  const DWORD capacity = static_cast<DWORD>(size / 2 + (size > 0 ? data[0] : 0));
  std::vector<BYTE> ndev(capacity), wpk(capacity), fax(capacity), sp(capacity);
  DmaSections sections{ndev.data(), capacity, wpk.data(), capacity, fax.data(), capacity, sp.data(), capacity};
  morva::ddm::dma_SplitDocPropFile(image.data(), static_cast<DWORD>(image.size()), &sections);
  return 0;
}
