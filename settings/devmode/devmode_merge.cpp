#include <cstring>

#include "ddm/ddmid.h"
#include "settings/database/capability_maps.h"
#include "settings/database/ddd_file.h"
#include "settings/devmode/devmode_internal.h"
#include "settings/devmode/driver_devmode.h"
#include "settings/items/item_database.h"
#include "settings/items/setting_items.h"
#include "settings/common/trace_log.h"
#include "win/endian.h"

using namespace morva::ddm;
using devmode_detail::change_fields;
using devmode_detail::read_number;
using devmode_detail::write_number;

namespace {

constexpr DWORD kDmSizeOffset = 68;
constexpr DWORD kDmDriverExtraOffset = 70;
constexpr WORD kMinimumMergedHead = 188;   // up to dmDisplayFrequency
constexpr WORD kMinimumIcmHead = 212;      // dmICMMethod..dmDitherType present
constexpr DWORD kPrivateBlockSize = kShortDevmodeSize - kPublicDevmodeSize;
static_assert(kPrivateBlockSize == 1384);
static_assert(sizeof(DEVMODEW) == kPublicDevmodeSize);
static_assert(offsetof(DEVMODEW, dmSize) == kDmSizeOffset);
static_assert(offsetof(DEVMODEW, dmDriverExtra) == kDmDriverExtraOffset);

// Public fields of the first pass: {dmFields bit, DDMID, how it is checked}.
enum class FieldCheck : BYTE { Item, Unchecked };
struct MergedField {
  DWORD bit;
  WORD ddmid;
  FieldCheck check;
};
constexpr MergedField kMergedFields[] = {
    {DM_ORIENTATION, 7, FieldCheck::Item}, {DM_SCALE, 11, FieldCheck::Item},
    {DM_COPIES, 12, FieldCheck::Item},     {DM_DEFAULTSOURCE, 13, FieldCheck::Item},
    {DM_DUPLEX, 16, FieldCheck::Item},     {DM_TTOPTION, 17, FieldCheck::Item},
    {DM_COLLATE, 18, FieldCheck::Item},    {DM_ICMINTENT, 23, FieldCheck::Item},
    {DM_MEDIATYPE, 24, FieldCheck::Unchecked}, {DM_DITHERTYPE, 25, FieldCheck::Unchecked},
};

constexpr DWORD kPaperFields = DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_FORMNAME;

// Copies one setting's value from `from` to `to`.
BOOL copy_setting(WORD ddmid, void* from, void* to, void* printer_data) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, from, printer_data, &type, &size, &v) != kDdmOk) return FALSE;
  const void* arg = (type == kTypeString || type == kTypeLogFont) ? static_cast<const void*>(&v.ptr)
                                                                  : static_cast<const void*>(&v);
  return SetItemValueRaw(ddmid, to, printer_data, type, size, arg) == kDdmOk;
}

BOOL merge_private_part(DddHandle* database, void* driver, BYTE* app, void* printer_data) {
  LONG own_layout = 0;
  if (!read_number(258, driver, printer_data, &own_layout)) return FALSE;
  std::memcpy(static_cast<BYTE*>(driver) + kPublicDevmodeSize, app + kPublicDevmodeSize, kPrivateBlockSize);
  (void)database;
  LONG now = 0;
  if (!read_number(258, driver, printer_data, &now)) return FALSE;
  return now == own_layout || write_number(258, driver, printer_data, own_layout);
}

BOOL merge_resolution(DddHandle* database, void* driver, void* app, void* printer_data, WORD mode) {
  if (mode == kMergeResolutionPair && database && HasCapabilityOverrides(database->capabilities)) {
    SHORT merge = 0, map_mode = 0;
    if (GetCapabilityMerge(database->capabilities, kCapResolution, &merge) == 1 &&
        GetCapabilityMode(database->capabilities, kCapResolution, &map_mode) == 1 && merge == 1 && map_mode == 1)
      mode = kMergeResolutionQuality;
  }
  if (mode == kMergeResolutionPair) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    if (GetItemValue(14, app, printer_data, &type, &size, &v) != kDdmOk) return FALSE;
    if (ItemDbHasValue(database, 14, type, size, &v) &&
        SetItemValueRaw(14, driver, printer_data, type, size, &v) != kDdmOk)
      return FALSE;
  } else if (mode == kMergeResolutionQuality) {
    LONG quality = 0;
    if (!read_number(20, app, printer_data, &quality)) return FALSE;
    if (quality > 0 &&
        (!write_number(20, driver, printer_data, quality) || !write_number(21, driver, printer_data, quality)))
      return FALSE;
  } else {
    return FALSE;
  }
  return change_fields(driver, printer_data, DM_PRINTQUALITY | DM_YRESOLUTION, 0);
}

// Copies a DEVMODE's dmSize + dmDriverExtra bytes (at most the full driver
// form) into the zeroed `out`; returns that extent.
DWORD bounded_copy(const void* devmode, BYTE* out) {
  std::memset(out, 0, kPrivateDevmodeSize);
  const auto* head = static_cast<const BYTE*>(devmode);
  DWORD extent = static_cast<DWORD>(morva::load_le16(head + kDmSizeOffset)) +
                 morva::load_le16(head + kDmDriverExtraOffset);
  std::memcpy(out, head, extent < kPrivateDevmodeSize ? extent : kPrivateDevmodeSize);
  return extent;
}

// `cap_switch` non-zero: the model's capability value map translates the
// application's settings and takes part in the merge.
BOOL merge_with_switch(DddHandle* database, void* driver, const void* app_in, void* printer_data, HANDLE printer,
                       WORD resolution_mode, LONG cap_switch) {
  if (!driver || !printer_data) return 0;
  if (!app_in) return 1;
  // The application DEVMODE is read only within its own extent: a copy of
  // dmSize + dmDriverExtra bytes (at most the full driver form), zero
  // padded, is what the value engine reads. The capability translation
  // works on that copy and leaves the caller's DEVMODE as it was.
  alignas(8) BYTE app[kPrivateDevmodeSize];
  const DWORD extent = bounded_copy(app_in, app);
  const CapabilityValueMap* map = database ? database->capabilities : nullptr;
  if (cap_switch && (!map || ApplyCapabilityMaps(map, app) != 1)) return 0;
  const WORD dm_size = morva::load_le16(app + kDmSizeOffset);
  if (dm_size < kMinimumMergedHead) {
    ItemDbApplyForcedSettings(database, driver, printer_data);
    return 1;
  }

  // The driver's own private part, whole: a private part cut short of the
  // first block is not taken.
  BOOL own = extent >= kShortDevmodeSize;
  for (WORD ddmid : {WORD{2}, WORD{4}, WORD{5}, WORD{257}, WORD{259}})
    if (own && !CallItemHandler(database, ddmid, app, nullptr, kItemModeCheck)) own = FALSE;
  if (own && !merge_private_part(database, driver, app, printer_data)) return 0;

  LONG app_fields_l = 0, driver_fields_l = 0;
  if (!read_number(6, app, printer_data, &app_fields_l) || !read_number(6, driver, printer_data, &driver_fields_l))
    return 0;
  DWORD app_fields = static_cast<DWORD>(app_fields_l);
  if (cap_switch) {
    LONG collate = 0;
    if (!read_number(18, app, printer_data, &collate)) return 0;
    app_fields = ComputeDmFields(map, app_fields, collate);
  }

  DWORD mask = 0;
  if (!GetOsFeatureFlags(database, &mask, 2)) return 0;
  if (own) {
    LONG scale_setting = 0;
    if (!read_number(1324, app, printer_data, &scale_setting)) return 0;
    if (scale_setting == 0) mask &= ~DM_SCALE;
  }
  const DWORD wanted = app_fields & mask;

  DWORD taken = 0;
  for (const MergedField& f : kMergedFields) {
    if (!(wanted & f.bit)) continue;
    if (f.ddmid >= 22 && dm_size < kMinimumIcmHead) continue;
    if (f.check == FieldCheck::Item && !CallItemHandler(database, f.ddmid, app, printer_data, resolution_mode))
      continue;
    if (!copy_setting(f.ddmid, app, driver, printer_data)) return 0;
    taken |= f.bit;
  }
  if (!write_number(6, driver, printer_data, static_cast<LONG>(static_cast<DWORD>(driver_fields_l) | taken)))
    return 0;

  // Second pass.
  LONG source = 0, tray = 0;
  if (!read_number(13, driver, printer_data, &source)) return 0;
  if (source <= 0) {
    if (!read_number(265, driver, printer_data, &tray)) return 0;
    if (!write_number(13, driver, printer_data, tray == 258 ? 7 : 15)) return 0;
  }
  if ((wanted & kPaperFields) &&
      !SelectPaperFromDevmode(database, driver, app, printer_data, printer, app_fields))
    return 0;
  if ((wanted & (DM_PRINTQUALITY | DM_YRESOLUTION)) &&
      !merge_resolution(database, driver, app, printer_data, resolution_mode))
    return 0;
  if (!SyncTrueTypeOption(driver, printer_data, 17)) return 0;
  SHORT entry = 0;
  if (cap_switch && GetCapabilityMode(map, kCapColor, &entry) == 1 && entry != 0) {
    LONG color = 0;
    if (!read_number(15, app, printer_data, &color)) return 0;
    if (!write_number(270, driver, printer_data, color != 2 ? 1 : (entry == 2 ? 0 : 2))) return 0;
  }
  if (!SyncColorSettings(driver, printer_data) ||
      !SyncScaleFieldBit(driver, printer_data) || !UpdateCollateFieldBit(database, driver, printer_data) ||
      !SyncTrayFromSource(driver, printer_data) || !SyncIcmMethod(driver, printer_data))
    return 0;
  if (cap_switch && (wanted & DM_MEDIATYPE) && GetCapabilityMerge(map, kCapMedia, &entry) == 1 && entry != 0) {
    LONG media = 0;
    if (!read_number(24, driver, printer_data, &media) || !write_number(388, driver, printer_data, media) ||
        !write_number(453, driver, printer_data, media))
      return 0;
  }
  ItemDbApplyForcedSettings(database, driver, printer_data);
  return 1;
}

}  // namespace

BOOL MergeDevmode(DddHandle* database, void* driver, const void* app, void* printer_data, HANDLE printer,
                  WORD resolution_mode) {
  return merge_with_switch(database, driver, app, printer_data, printer, resolution_mode, 0);
}

BOOL MergeDevmodeLogged(DddHandle* database, void* driver, const void* app, void* printer_data, HANDLE printer,
                        WORD resolution_mode) {
  static constexpr WORD kDumpedItems[] = {270, 388, 453};
  auto dump = [](const void* devmode, bool input) {
    if (!devmode || !IsTraceEnabled()) return;
    auto* dm = static_cast<const DEVMODEW*>(devmode);
    TraceDumpPublicDevmode(input ? u"\nInput DEVMODE(Public)" : u"\nOutput DEVMODE(Public)", dm);
    TraceDumpDmFields(input ? u"\nInput DEVMODE(dmFields)" : u"\nOutput DEVMODE(dmFields)", dm);
    bool first = true;
    for (WORD id : kDumpedItems) {
      const WCHAR* title = input ? (first ? u"\nInput DEVMODE(Private)" : u"Input DEVMODE(Private)")
                                 : (first ? u"\nOutput DEVMODE(Private)" : u"Output DEVMODE(Private)");
      TraceDumpPrivateItem(title, const_cast<void*>(devmode), id);
      first = false;
    }
  };
  if (app && IsTraceEnabled()) {
    alignas(8) BYTE copy[kPrivateDevmodeSize];
    bounded_copy(app, copy);
    dump(copy, true);
  }
  LONG cap_switch = 0;
  if (database && HasCapabilityOverrides(database->capabilities) && driver && !read_number(5201, driver, printer_data, &cap_switch))
    cap_switch = 0;
  BOOL result = merge_with_switch(database, driver, app, printer_data, printer, resolution_mode, cap_switch);
  dump(driver, false);
  return result;
}
