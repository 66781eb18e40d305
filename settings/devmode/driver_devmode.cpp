#include "settings/devmode/driver_devmode.h"

#include <cstring>

#include "ddm/ddmid.h"
#include "settings/common/common_utils.h"
#include "settings/items/default_settings.h"
#include "settings/devmode/devmode_internal.h"
#include "settings/items/item_database.h"
#include "settings/stores/settings_migration.h"
#include "settings/items/setting_items.h"
#include "win/memory.h"

using namespace morva::ddm;

namespace {
constexpr LONG kIcmMethodNone = 1;    // DMICMMETHOD_NONE
constexpr LONG kIcmMethodSystem = 2;  // DMICMMETHOD_SYSTEM
constexpr LONG kBinFormSource = 15;   // DMBIN_FORMSOURCE
}  // namespace

namespace devmode_detail {

BOOL read_number(WORD ddmid, void* devmode, void* printer_data, LONG* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &v) != kDdmOk) return FALSE;
  if (type == kTypeString || type == kTypeLogFont) return FALSE;
  *out = GetTypedValue(type, &v);
  return TRUE;
}

BOOL write_number(WORD ddmid, void* devmode, void* printer_data, LONG value) {
  const DdmidDescriptor* d = dma_Descriptor(ddmid);
  if (!d) return FALSE;
  WORD type = d->type;
  ItemValue v{};
  switch (type) {
    case kTypeShort: case kTypeWord: v.w = static_cast<WORD>(value); break;
    case kTypeByte: v.b = static_cast<BYTE>(value); break;
    case kTypeString: case kTypeLogFont: case kTypeInvalid: return FALSE;
    default: v.l = value; break;
  }
  return SetItemValueRaw(ddmid, devmode, printer_data, type, dma_TypeSize(type), &v) == kDdmOk;
}

BOOL change_fields(void* devmode, void* printer_data, DWORD set, DWORD clear) {
  LONG fields = 0;
  if (!read_number(6, devmode, printer_data, &fields)) return FALSE;
  DWORD f = (static_cast<DWORD>(fields) & ~clear) | set;
  return write_number(6, devmode, printer_data, static_cast<LONG>(f));
}

}  // namespace devmode_detail

using devmode_detail::change_fields;
using devmode_detail::read_number;
using devmode_detail::write_number;

void* AllocPrivateDevmode(WORD kind) { return GlobalAlloc(GPTR, GetPrivateDevmodeSize(kind)); }

DWORD GetPrivateDevmodeSize(WORD kind) {
  return kind == kDevmodeKindShort ? kShortDevmodeSize : kPrivateDevmodeSize;
}

void CopyPrivateDevmode(void* destination, const void* source, WORD kind) {
  if (destination && source) std::memmove(destination, source, GetPrivateDevmodeSize(kind));
}

INT ClearPrivateDevmode(void* devmode, WORD kind) {
  if (devmode) std::memset(devmode, 0, GetPrivateDevmodeSize(kind));
  return 0;
}

BOOL CheckDevmodeForPrinting(void* devmode) {
  if (!devmode) return 0;
  for (WORD ddmid : {WORD{2}, WORD{4}, WORD{5}, WORD{257}})
    if (!CallItemHandler(nullptr, ddmid, devmode, nullptr, kItemModeCheck)) return 0;
  return 1;
}

// ---- synchronisation of derived settings ---------------------------------

BOOL SyncTrueTypeOption(void* devmode, void* printer_data, WORD which) {
  if (which == 17) {
    LONG tt = 0, mode = 0;
    if (!read_number(17, devmode, printer_data, &tt) || !read_number(292, devmode, printer_data, &mode))
      return FALSE;
    return write_number(292, devmode, printer_data, tt == 1 ? 1 : (mode != 0 ? 2 : 0));
  }
  if (which == 292) {
    LONG mode = 0;
    if (!read_number(292, devmode, printer_data, &mode)) return FALSE;
    return write_number(17, devmode, printer_data, mode == 1 ? 1 : 3);
  }
  return FALSE;
}

BOOL SyncColorSettings(void* devmode, void* printer_data) {
  LONG colour_mode = 0, mono = 0, other = 0;
  if (!read_number(5202, devmode, printer_data, &colour_mode) || !read_number(270, devmode, printer_data, &mono))
    return FALSE;
  if (colour_mode == 1 && mono != 1) {
    if (!write_number(270, devmode, printer_data, 1)) return FALSE;
    mono = 1;
  }
  if (!read_number(345, devmode, printer_data, &other)) return FALSE;
  if (!write_number(15, devmode, printer_data, mono == 1 && other == 1 ? 1 : 2)) return FALSE;
  return change_fields(devmode, printer_data, DM_COLOR, 0);
}

BOOL SyncScaleFieldBit(void* devmode, void* printer_data) {
  LONG scale = 0;
  if (!read_number(1324, devmode, printer_data, &scale)) return FALSE;
  return scale == 1 ? change_fields(devmode, printer_data, DM_SCALE, 0)
                    : change_fields(devmode, printer_data, 0, DM_SCALE);
}

BOOL SyncPaperDimensionBits(void* devmode, void* printer_data) {
  LONG custom = 0;
  if (!read_number(1331, devmode, printer_data, &custom)) return FALSE;
  constexpr DWORD kBits = DM_PAPERLENGTH | DM_PAPERWIDTH;
  return custom == 1 ? change_fields(devmode, printer_data, kBits, 0) : change_fields(devmode, printer_data, 0, kBits);
}

BOOL UpdateCollateFieldBit(DddHandle* database, void* devmode, void* printer_data) {
  DeviceCapabilityBits bits{};
  if (!LoadCapabilityBits(database, &bits)) return TRUE;  // without capability bits dmFields stays
  INT level = GetDeviceDataLevel(devmode, printer_data, &bits);
  if (level == 1 || level == 2) return change_fields(devmode, printer_data, DM_COLLATE, 0);
  if (level == 3) return change_fields(devmode, printer_data, 0, DM_COLLATE);
  return TRUE;
}

BOOL SyncIcmMethod(void* devmode, void* printer_data) {
  LONG mode = 0;
  if (!read_number(293, devmode, printer_data, &mode)) return FALSE;
  if (!write_number(22, devmode, printer_data, mode == 3 ? kIcmMethodSystem : kIcmMethodNone)) return FALSE;
  return change_fields(devmode, printer_data, DM_ICMMETHOD, 0);
}

BOOL SyncTrayFromSource(void* devmode, void* printer_data) {
  LONG link = 0, source = 0;
  if (!read_number(457, devmode, printer_data, &link) || !read_number(13, devmode, printer_data, &source))
    return FALSE;
  if (link == 0 || link == 2 || source == kBinFormSource) return TRUE;
  return write_number(265, devmode, printer_data, source);
}

BOOL SyncSourceFromTray(void* devmode, void* printer_data) {
  LONG link = 0, tray = 0;
  if (!read_number(457, devmode, printer_data, &link) || !read_number(265, devmode, printer_data, &tray))
    return FALSE;
  if (link == 0 || link == 2 || tray == 258) return TRUE;
  return write_number(13, devmode, printer_data, tray);
}

// ---- the printer's default DEVMODE -----------------------------------------

namespace {

// The DEVMODE conversion of the printer interface (mode 1) for the
// printer's own DEVMODE: 1 converted, 2 copied, 3 replaced by defaults, -2
// failure.
INT ConvertPrinterDevmode(const void* source, void* output, LPCWSTR printer_name, DddHandle* database) {
  if (!source || !output) return -2;
  switch (ConvertPrivateDevmode(source, output, printer_name, database)) {
    case 0: return 1;
    case 1: return 2;
    case 2: return 3;
    default: return -2;
  }
}

}  // namespace

PRINTER_INFO_2W* GetPrinterDefaultDevmode(HANDLE printer, DddHandle* database, void* output, DWORD* size,
                                          BOOL* converted) {
  if (!printer || !database || !output || !size || !converted) return nullptr;
  *converted = FALSE;
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  if (needed == 0) return nullptr;
  auto* info = static_cast<PRINTER_INFO_2W*>(GlobalAlloc(GPTR, needed));
  if (!info) return nullptr;
  if (!GetPrinterW(printer, 2, reinterpret_cast<LPBYTE>(info), needed, &needed)) {
    GlobalFree(info);
    return nullptr;
  }
  const void* source = info->pDevMode;
  void* defaults = nullptr;
  if (!source) {
    defaults = AllocPrivateDevmode(kDevmodeKindFull);
    if (!defaults || !FillDefaultSettings(database, defaults, nullptr, info->pPrinterName)) {
      if (defaults) GlobalFree(defaults);
      GlobalFree(info);
      return nullptr;
    }
    source = defaults;
  }
  // Converted and forced in a full-size buffer: the caller's output may be
  // the 1604-byte form, which has no room for extension settings.
  void* full = AllocPrivateDevmode(kDevmodeKindFull);
  INT result = full ? ConvertPrinterDevmode(source, full, info->pPrinterName, database) : -2;
  if (defaults) GlobalFree(defaults);
  if (result >= 1 && result <= 3) *converted = TRUE;
  if (result < 1 || result > 3 || !ItemDbApplyForcedSettings(database, full, nullptr)) {
    if (full) GlobalFree(full);
    GlobalFree(info);
    return nullptr;
  }
  std::memcpy(output, full, *size < kPrivateDevmodeSize ? *size : kPrivateDevmodeSize);
  GlobalFree(full);
  info->pDevMode = static_cast<DEVMODEW*>(output);
  return info;
}
