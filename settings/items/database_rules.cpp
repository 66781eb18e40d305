// Setting rules that depend on values of the device database.
#include <cstring>

#include "settings/common/common_utils.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/item_access.h"
#include "win/memory.h"

namespace {

// Database item whose default is the copy count below which the copies
// limit may be raised.
constexpr WORD kCopiesRaiseItem = 32794;
constexpr DWORD kRaisedCopiesLimit = 999;

}  // namespace

BOOL AdjustCopiesLimit(void* devmode, void* printer_data, DddHandle* database, const DeviceCapabilityBits* bits,
                       DWORD* limit) {
  if (!limit) return FALSE;
  if (!bits || !TestCapabilityBit(bits, 0xFFFF003E)) return TRUE;
  if (!database) return FALSE;
  WORD type = 0;
  DWORD size = 0;
  ItemValue copies{};
  if (GetItemValue(4365, devmode, printer_data, &type, &size, &copies) != 0) return FALSE;
  void* data = nullptr;
  WORD value_type = 0, bytes = 0;
  if (DddGetDefaultChoiceValue(&database->main, &database->linked, kCopiesRaiseItem, &data, &value_type, &bytes) !=
      DDD_OK)
    return FALSE;
  WORD threshold = 0;
  bool readable = data && bytes >= sizeof(WORD);
  if (readable) std::memcpy(&threshold, data, sizeof threshold);
  if (data) GlobalFree(data);
  if (!readable) return FALSE;
  if (GetTypedValue(type, &copies) < static_cast<LONG>(threshold)) *limit = kRaisedCopiesLimit;
  return TRUE;
}
