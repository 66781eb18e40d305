#include "settings/items/default_settings.h"

#include <cstring>
#include <string>

#include "ddm/ddmid.h"
#include "settings/database/ddd_queries.h"
#include "settings/database/ddd_records.h"
#include "settings/devmode/devmode_internal.h"
#include "settings/items/item_database.h"
#include "settings/items/setting_items.h"
#include "settings/common/system_utils.h"
#include "win/memory.h"

using namespace morva::ddm;

namespace {

bool is_block(WORD type) { return type == kTypeString || type == kTypeLogFont; }

}  // namespace

INT GetItemDefault(DddHandle* database, WORD ddmid, ItemValue* value, WORD* type, DWORD* size,
                   LPCWSTR printer_name, void* printer_data) {
  if (!value || !type || !size) return -1;
  value->raw = 0;
  const SettingItem* item = FindItem(ddmid);
  if (!item) return -1;
  INT result = -1;
  const ItemHandlerRecord* h = item->handler;
  if (h && (h->mode_mask & kItemModeDefault)) {
    if (h->constant && (h->constant->flags & 0x1)) {
      *type = h->constant->type;
      *size = dma_TypeSize(*type);
      switch (*type) {
        case kTypeShort: case kTypeWord: value->w = static_cast<WORD>(h->constant->value); break;
        case kTypeByte: value->b = static_cast<BYTE>(h->constant->value); break;
        default: value->dw = h->constant->value; break;
      }
      result = 1;
    } else if (h->handler) {
      ItemHandlerContext c;
      c.printer_data = printer_data;
      c.printer_name = printer_name;
      c.out_type = type;
      c.out_value = value;
      c.out_size = size;
      *type = 0;
      result = h->handler(database, kItemModeDefault, ddmid, &c) ? 1 : -1;
      if (result == 1 && *type == kTypeInvalid) result = 2;
    }
  } else {
    result = ItemDbDefault(database, ddmid, value, type, size);
  }
  if (result == 1 && !is_block(*type)) {
    // A number is handed back in the setting's stored type.
    const DdmidDescriptor* d = dma_Descriptor(ddmid);
    if (d && *type != d->type && *type != d->delivered && !is_block(d->type) && d->type != kTypeInvalid) {
      LONG number = GetTypedValue(*type, value);
      value->raw = 0;
      switch (d->type) {
        case kTypeShort: case kTypeWord: value->w = static_cast<WORD>(number); break;
        case kTypeByte: value->b = static_cast<BYTE>(number); break;
        default: value->l = number; break;
      }
      *type = d->type;
      *size = dma_TypeSize(d->type);
    }
    ItemDbConfiguredValue(database, ddmid, *type, value);
  }
  return result;
}

void ReleaseItemDefault(WORD, ItemValue* value, WORD type) {
  if (!value || !is_block(type) || !value->ptr) return;
  GlobalFree(const_cast<void*>(value->ptr));
  value->ptr = nullptr;
}

BOOL ResetItemToDefault(DddHandle* database, void* devmode, WORD ddmid, void* printer_data) {
  ItemValue v{};
  WORD type = 0;
  DWORD size = 0;
  if (GetItemDefault(database, ddmid, &v, &type, &size, nullptr, printer_data) != 1) return 1;
  const void* arg = is_block(type) ? static_cast<const void*>(&v.ptr) : static_cast<const void*>(&v);
  BOOL ok = SetItemValueRaw(ddmid, devmode, printer_data, type, size, arg) == kDdmOk;
  ReleaseItemDefault(ddmid, &v, type);
  return ok;
}

BOOL FillDefaultSettings(DddHandle* database, void* devmode, void* printer_data, LPCWSTR printer_name) {
  if (devmode) std::memset(devmode, 0, kPrivateDevmodeSize);
  if (printer_data) std::memset(printer_data, 0, kPrinterDataSize);
  for (const SettingItemGroup* g = GetItemGroups(); g->id != kItemGroupEnd; ++g) {
    if (g->store_kind == kStorePrinterData ? !printer_data : !devmode) continue;
    for (WORD i = 0; i < g->count; ++i) {
      WORD ddmid = g->items[i].ddmid;
      ItemValue v{};
      WORD type = 0;
      DWORD size = 0;
      INT r = GetItemDefault(database, ddmid, &v, &type, &size, printer_name, printer_data);
      if (r == 2) continue;
      if (r != 1) return 0;
      const void* arg = is_block(type) ? static_cast<const void*>(&v.ptr) : static_cast<const void*>(&v);
      BOOL ok = SetItemValueRaw(ddmid, devmode, printer_data, type, size, arg) == kDdmOk;
      ReleaseItemDefault(ddmid, &v, type);
      if (!ok) return 0;
    }
  }
  return 1;
}

BOOL ApplyPositionGroup(void* devmode, void* printer_data) {
  struct Row {
    WORD members[3];
    DWORD bit;
  };
  static constexpr Row kRows[4] = {
      {{275, 279, 283}, 1}, {{276, 280, 284}, 2}, {{277, 281, 285}, 4}, {{274, 278, 282}, 7}};
  LONG split = 0;
  if (!devmode_detail::read_number(1314, devmode, printer_data, &split)) return FALSE;
  int first = split == 1 ? 0 : 3, last = split == 1 ? 2 : 3;
  DWORD result = 0;
  for (int r = first; r <= last; ++r) {
    for (WORD id : kRows[r].members) {
      LONG v = 0;
      if (!devmode_detail::read_number(id, devmode, printer_data, &v)) return FALSE;
      if (v != 0) {
        result |= kRows[r].bit;
        break;
      }
    }
  }
  DWORD value = result;
  return SetItemValueRaw(273, devmode, printer_data, kTypeDword, 4, &value) == kDdmOk;
}

namespace {

std::u16string upper(const WCHAR* text) {
  std::u16string out;
  for (; text && *text; ++text) out.push_back(*text >= u'a' && *text <= u'z' ? *text - (u'a' - u'A') : *text);
  return out;
}

// Writes one database value into the DEVMODE; numbers in the setting's
// stored type.
BOOL write_entry(WORD ddmid, WORD type, WORD size, const void* data, void* devmode) {
  if (!data) return FALSE;
  if (type == kTypeString) return SetItemValueRaw(ddmid, devmode, nullptr, type, size, &data) == kDdmOk;
  const DdmidDescriptor* d = dma_Descriptor(ddmid);
  if (!d || is_block(d->type) || size == 0 || size > 4) return FALSE;
  DWORD raw = 0;
  std::memcpy(&raw, data, size);
  LONG number = size == 1 ? static_cast<LONG>(raw & 0xFF)
                : size == 2 ? (type == kTypeShort ? static_cast<SHORT>(raw) : static_cast<LONG>(raw & 0xFFFF))
                            : static_cast<LONG>(raw);
  return devmode_detail::write_number(ddmid, devmode, nullptr, number);
}

}  // namespace

BYTE FindProcessInDatabaseList(DddHandle* database) {
  if (!database) return 0;
  LPWSTR exe = GetProcessExeName();
  if (!exe) return 0;
  const std::u16string name = upper(exe);
  GlobalFree(exe);
  const WORD count = DddGetRecordCount(&database->main, DDD_KIND_KEY_VALUE_ALT);
  for (WORD i = 1; i <= count && i <= 0xFF; ++i) {
    DddValue* v = nullptr;
    if (DddLoadValueEx(DDD_LOAD_HEADER, &database->main, &database->linked, DDD_KIND_KEY_VALUE_ALT, i, 0, &v) !=
        DDD_OK)
      continue;
    const std::u16string pattern = upper(static_cast<DddKeyValueSet*>(v)->name);
    DddFreeValue(&v, 0xFFFF);
    const bool hit = !pattern.empty() && (pattern[0] == u'*' ? name.find(pattern.substr(1)) != std::u16string::npos
                                                             : pattern == name);
    if (hit) return static_cast<BYTE>(i);
  }
  return 0;
}

BOOL ApplyDeviceOptionDefaults(DddHandle* database, void* devmode, void* printer_data) {
  LONG wanted = 0, applied = 0;
  if (!devmode_detail::read_number(1356, devmode, printer_data, &wanted)) return 0;
  if (!wanted) return 1;
  if (!devmode_detail::read_number(466, devmode, printer_data, &applied)) return 0;
  if (applied) return 1;
  if (!database) return 0;
  const BYTE n = FindProcessInDatabaseList(database);
  // A program without a set of its own has nothing to write.
  DddValue* set = nullptr;
  if (n != 0 &&
      DddLoadValueEx(DDD_LOAD_FULL, &database->main, &database->linked, DDD_KIND_KEY_VALUE_ALT, n, 0, &set) != DDD_OK)
    return 0;
  BOOL ok = TRUE;
  const WORD count = set ? DddGetKeyValueCount(set) : 0;
  for (WORD i = 1; ok && i <= count; ++i) {
    WORD key = 0, type = 0, size = 0;
    const void* data = nullptr;
    ok = DddGetKeyValueEntry(set, i, &key, &type, &size, &data) == DDD_OK && write_entry(key, type, size, data, devmode);
  }
  if (set) DddFreeValue(&set, 0xFFFF);
  if (!ok) return 0;
  if (!devmode_detail::write_number(466, devmode, nullptr, n)) return 0;
  ItemDbApplyForcedSettings(database, devmode, nullptr);
  return 1;
}
