// The direct-fax blob reader, the unpacking into a destination list and the
// DFAX001 conversion on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ddm/dma.h"
#include "fax/fax_blob.h"
#include "fax/fax_list.h"
#include "win/memory.h"

using namespace morva::fax;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that any read past the input is caught.
  std::vector<BYTE> blob(data, data + size);
  FaxBookView view;
  if (FaxBook_Parse(blob.data(), blob.size(), &view)) {
    std::vector<BYTE> header(kFaxBookHeaderSize), entry(kFaxEntrySize);
    CopyFaxSendListHeader(view, header.data());
    for (DWORD i = 0; i <= view.count; ++i) GetFaxSendListEntry(view, i, entry.data());
    FaxBook_TextLength(blob.data(), kFaxText1Offset, kFaxText1Bytes);
    FaxBook_TextLength(blob.data(), kFaxText2Offset, kFaxText2Bytes);
  }
  if (FaxDestinationList* list = FaxList_Create()) {
    if (UnpackFaxSendList(list, blob.data(), static_cast<DWORD>(size))) {
      BYTE* packed = nullptr;
      DWORD packedSize = 0;
      if (FaxList_Pack(list, &packed, &packedSize)) GlobalFree(packed);
    }
    FaxList_Destroy(list);
  }
  if (size >= kFaxBookHeaderSize) {
    const DWORD capacity = kFaxBookHeaderSize + FaxBook_GetCount(blob.data()) * kFaxEntrySize;
    std::vector<BYTE> out(capacity);
    BYTE* dst = out.data();
    const BYTE* src = blob.data();
    morva::ddm::dma_ConvertFaxAddressBook(&dst, &src, capacity, static_cast<DWORD>(size));
  }
  return 0;
}
