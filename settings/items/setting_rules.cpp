// Small setting rules that several callers apply.
#include <algorithm>

#include "settings/common/common_utils.h"
#include "settings/items/item_access.h"

namespace {

bool read(WORD ddmid, void* devmode, void* printer_data, ItemValue* v) {
  WORD type = 0;
  DWORD size = 0;
  return GetItemValue(ddmid, devmode, printer_data, &type, &size, v) == 0;
}

// The longest paper side, in device pixels, that a page may have.
constexpr LONG kMaxPixelsTimesTenthsPerInch = 7112000;  // 28000 px x 254

}  // namespace

BOOL CheckOptionItemPair(void* devmode, void* printer_data, BOOL strict) {
  ItemValue a{}, b{};
  if (!read(5204, devmode, printer_data, &a) || !read(4367, devmode, printer_data, &b)) return FALSE;
  BYTE av = a.b, bv = b.b;
  if (!(av != 0 || bv != 3)) return FALSE;
  if (strict && (av == 1 || bv == 3)) return FALSE;
  return TRUE;
}

BOOL LimitResolutionForPaper(void* devmode) {
  ItemValue length{}, width{};
  if (!read(9, devmode, nullptr, &length) || !read(10, devmode, nullptr, &width)) return FALSE;
  LONG longest = std::max<LONG>(length.s, width.s);
  if (longest <= 0) return FALSE;
  LONG limit = kMaxPixelsTimesTenthsPerInch / longest;
  ItemValue resolution{};
  if (!read(20, devmode, nullptr, &resolution)) return FALSE;
  if (resolution.s <= limit) return TRUE;
  SHORT lowered = 0;
  if (limit > 600)
    lowered = 600;
  else if (limit > 300)
    lowered = 300;
  else if (limit > 200)
    lowered = 200;
  else
    return FALSE;
  DWORD value = static_cast<WORD>(lowered);
  SetItemValueRaw(20, devmode, nullptr, 2, 2, &value);
  SetItemValueRaw(21, devmode, nullptr, 2, 2, &value);
  return TRUE;
}

INT GetDeviceDataLevel(void* devmode, void* printer_data, const DeviceCapabilityBits* bits) {
  if (!devmode || !printer_data || !bits) return 0;
  ItemValue v{};
  if (read(8211, devmode, printer_data, &v) && v.b == 1) return 1;
  if (!TestCapabilityBit(bits, 0x20000)) return 1;
  if (read(4099, devmode, printer_data, &v) && v.dw != 0) return 1;
  if (TestCapabilityBit(bits, 0x10000) && read(8205, devmode, printer_data, &v) && v.dw >= 0x01010903u) return 2;
  return 3;
}
