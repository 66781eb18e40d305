// Builds the item information of every item of mutated device databases:
// the choices' typed values, names and blobs are read from damaged records.
// Input: a main database file without a linked file.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "ddm/ddmid.h"
#include "fuzz_machine_root.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_host.h"
#include "settings/database/ddd_records.h"
#include "settings/items/item_info.h"

namespace {

// Settings whose handlers or paper texts take part besides the database.
constexpr WORD kExtraItems[] = {7, 8, 12, 13, 16, 262, 270, 297, 298, 1824, 6145, 6222};

void build_and_free(DddHandle* h, WORD ddmid, void* dm, void* pd, const ItemInfoOptions* options) {
  ItemInfo* info = BuildItemInfo(h, ddmid, dm, pd, nullptr, options);
  if (!info) return;
  for (LONG i = 0; i < ItemInfo_GetChoiceCount(info); ++i) {
    (void)ItemInfo_GetChoiceAt(info, i);
    (void)ItemInfo_GetChoiceText(info, i);
  }
  ItemInfo_Free(info);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool ready = (morva::fuzz::machine_root(), true);
  (void)ready;
  if (!morva::fuzz::write_drive_c_file("f/T.DDD", std::string_view(reinterpret_cast<const char*>(data), size)))
    std::abort();
  DddStatus status = 0;
  DddHandle* h = DddOpenPath(u"C:\\f\\T.DDD", &status);
  if (!h) return 0;
  std::vector<BYTE> dm(morva::ddm::kPrivateDevmodeSize), pd(morva::ddm::kPrinterDataSize);
  const ItemInfoOptions inches{TRUE, FALSE, 0, nullptr};
  // Every item the kind tables list (at most 40 of each kind).
  for (WORD kind : {DDD_KIND_ITEM, DDD_KIND_ITEM_ALT}) {
    WORD count = 0;
    DddFile copy = h->main;
    if (DddSeekKindTable(&copy, kind) == DDD_OK) DddReadWord(&copy, &count);
    if (count > 40) count = 40;
    for (WORD n = 1; n <= count; ++n) {
      DddValue* v = nullptr;
      if (DddLoadValue(DDD_LOAD_HEADER, &h->main, &h->linked, kind, n, &v) == DDD_OK && v) {
        WORD id = v->id;
        DddFreeValue(&v, 0xFFFF);
        build_and_free(h, id, dm.data(), pd.data(), nullptr);
      }
    }
  }
  for (WORD ddmid : kExtraItems) build_and_free(h, ddmid, dm.data(), pd.data(), &inches);
  DddClose(h);
  return 0;
}
