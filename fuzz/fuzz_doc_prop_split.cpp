// The document-property file on arbitrary bytes: the split into buffers of
// varied capacity never reads past the image nor writes past a buffer; the
// same bytes as the file that DMA_ReplaceDocProp reads by the name in the
// settings, and the sections it gives written out again by the
// DMA_Extract* copy-outs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "ddm/ddmid.h"
#include "ddm/dma.h"
#include "ddm/dma_tables.h"
#include "fuzz_machine_root.h"

namespace {

struct Context {
  std::vector<BYTE> dm = std::vector<BYTE>(morva::ddm::kPrivateDevmodeSize);
  std::vector<BYTE> pd = std::vector<BYTE>(morva::ddm::kPrinterDataSize);
  DMA_CONTEXT ctx{};
  Context() {
    morva::fuzz::machine_root();
    ctx.devmode = dm.data();
    ctx.printerData = pd.data();
    static const char props[] = "C:\\props.bin";
    static const char one_time[] = "C:\\onetime.bin";
    if (DMA_SetStringData(&ctx, 374, props, sizeof props - 1) != DMA_OK ||
        DMA_SetStringData(&ctx, 375, one_time, sizeof one_time - 1) != DMA_OK) {
      std::abort();
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<BYTE> image(data, data + size);
  // Capacities follow the image's size, so that some calls fit and some
  // are refused with -5.
  const DWORD capacity = static_cast<DWORD>(size / 2 + (size > 0 ? data[0] : 0));
  std::vector<BYTE> ndev(capacity), wpk(capacity), fax(capacity), sp(capacity);
  DmaSections sections{ndev.data(), capacity, wpk.data(), capacity, fax.data(), capacity, sp.data(), capacity};
  morva::ddm::dma_SplitDocPropFile(image.data(), static_cast<DWORD>(image.size()), &sections);

  // The file by its name in the settings, into buffers that fit, then
  // written out again from what it gave.
  static Context* context = new Context;
  DMA_CONTEXT* ctx = &context->ctx;
  if (!morva::fuzz::write_drive_c_file("props.bin", std::string_view(reinterpret_cast<const char*>(data), size)))
    return 0;
  const DWORD room = static_cast<DWORD>(size);
  std::vector<BYTE> n2(room), w2(room), f2(room), s2(room);
  DmaSections read{n2.data(), room, w2.data(), room, f2.data(), room, s2.data(), room};
  if (DMA_ReplaceDocProp(ctx, &read) == DMA_OK) {
    DMA_ExtractDocPropEx(ctx, &read);
    DMA_ExtractOneTimeEx(ctx, &read);
    DMA_ExtractDocProp(ctx, n2.data(), room, w2.data(), room, f2.data(), room, s2.data(), room);
    DMA_ExtractOneTime(ctx, n2.data(), room, w2.data(), room, f2.data(), room, s2.data(), room);
    DmaSections again{n2.data(), room, w2.data(), room, f2.data(), room, s2.data(), room};
    DMA_ReplaceDocProp(ctx, &again);
  }
  return 0;
}
