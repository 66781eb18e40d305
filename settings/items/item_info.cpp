#include "settings/items/item_info.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "ddm/ddmid.h"
#include "settings/common/common_utils.h"
#include "settings/database/ddd_queries.h"
#include "settings/database/ddd_records.h"
#include "settings/devmode/paper_size_list.h"
#include "settings/devmode/paper_source_table.h"
#include "settings/items/setting_items.h"
#include "win/memory.h"
#include "win/resources.h"

using namespace morva::ddm;

namespace {

// Resource texts of the paper choice texts, and what stands in for them
// when the module lacks one.
constexpr UINT kPaperSeparatorId = 2009;
constexpr UINT kMillimetreFormatId = 703;
constexpr UINT kInchFormatId = 9247;
constexpr char16_t kPaperSeparator[] = u" ";
constexpr char16_t kMillimetreFormat[] = u"(%1s x %2s mm)";
constexpr char16_t kInchFormat[] = u"(%1s x %2s in)";

constexpr INT kDddOutOfMemory = 3;  // DddMapStatus
constexpr WORD kCustomPaperCode = 256;  // DMPAPER_USER
constexpr WORD kTraySizeCode = 275;     // the size the paper source stores
constexpr WORD kUserPaperSlots = 20;
constexpr WORD kUserPaperWidthId = 5889, kUserPaperLengthId = 5909, kUserPaperNameId = 5929;

size_t text_length(const WCHAR* text) {
  size_t n = 0;
  if (text)
    while (text[n]) ++n;
  return n;
}

LPWSTR copy_text(const WCHAR* text, size_t chars) {
  auto* copy = static_cast<LPWSTR>(GlobalAlloc(GMEM_FIXED, (chars + 1) * sizeof(WCHAR)));
  if (!copy) return nullptr;
  if (chars) std::memcpy(copy, text, chars * sizeof(WCHAR));
  copy[chars] = 0;
  return copy;
}
LPWSTR copy_text(const WCHAR* text) { return copy_text(text, text_length(text)); }

std::u16string resource_text(HMODULE module, UINT id, const char16_t* fallback) {
  WCHAR buffer[256];
  int n = module ? LoadStringW(module, id, buffer, 256) : 0;
  return n > 0 ? std::u16string(buffer, static_cast<size_t>(n)) : std::u16string(fallback);
}

std::u16string widen(const char* text) {
  std::u16string out;
  while (*text) out += static_cast<char16_t>(*text++);
  return out;
}

bool is_scalar(WORD type) {
  switch (type) {
    case kTypeLong: case kTypeShort: case kTypeWord: case kTypeLong4:
    case kTypeDword: case kTypeByte: case kTypeLong10: return true;
    default: return false;
  }
}

void free_choice(ItemInfo* info, ItemChoice& c) {
  if (c.text) GlobalFree(c.text);
  if (info->value_type == kTypeString && c.value.ptr) GlobalFree(const_cast<void*>(c.value.ptr));
  if (c.icon) DestroyIcon(c.icon);
  if (c.data) {
    DddValue* blob = static_cast<DddValue*>(c.data);
    DddFreeValue(&blob, 0xFFFF);
  }
  c = ItemChoice{};
}

bool valid_index(const ItemInfo* info, LONG index) {
  return info && info->choices && index >= 0 && index < info->count;
}

// The choice's value as a number, when the info's value type is a number.
bool choice_number(const ItemInfo* info, LONG index, LONG* number) {
  if (!valid_index(info, index) || !is_scalar(info->value_type)) return false;
  *number = GetTypedValue(info->value_type, &info->choices[index].value);
  return true;
}

LONG find_choice(const ItemInfo* info, LONG number) {
  for (LONG i = 0; info && i < info->count; ++i) {
    LONG v = 0;
    if (choice_number(info, i, &v) && v == number) return i;
  }
  return -1;
}

bool read_size(void* devmode, void* printer_data, WORD ddmid, WORD* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &v) != kDdmOk || !is_scalar(type)) return false;
  *out = static_cast<WORD>(GetTypedValue(type, &v));
  return true;
}

// Replaces the text of a choice by the paper text of `name` and a size.
bool set_paper_text(ItemInfo* info, LONG index, LPCWSTR name, WORD width, WORD length, HMODULE resources,
                    const ItemInfoOptions* options) {
  LPWSTR text = PaperChoiceText(resources, name, width, length, options);
  if (!text) return false;
  if (info->choices[index].text) GlobalFree(info->choices[index].text);
  info->choices[index].text = text;
  return true;
}

// Which extras the paper items get.
bool gets_custom_size_text(WORD ddmid) { return ddmid == 8 || ddmid == 1824; }
bool gets_user_and_tray_texts(WORD ddmid) {
  return gets_custom_size_text(ddmid) || ddmid == 262 || (ddmid >= 6145 && ddmid <= 6159) ||
         (ddmid >= 6220 && ddmid <= 6234);
}

bool add_paper_extras(ItemInfo* info, DddHandle* database, void* devmode, void* printer_data, HMODULE resources,
                      const ItemInfoOptions* options) {
  const WORD ddmid = info->ddmid;
  // dmPaperSize from the model's paper-size list shows the list's names.
  if (ddmid == 8 && HasPaperSizeList(database) == 1) return true;
  bool ok = true;
  if (gets_custom_size_text(ddmid)) ok = AddCustomSizeChoiceText(info, devmode, printer_data, resources, options) && ok;
  if (gets_user_and_tray_texts(ddmid)) {
    ok = AddUserPaperChoiceTexts(info, devmode, printer_data, resources, options) && ok;
    ok = AddTraySizeChoiceText(info, devmode, printer_data, resources, options) && ok;
  }
  return ok;
}

BOOL call_handler(const ItemHandlerRecord* h, DddHandle* database, WORD mode, ItemInfo* info, LONG index,
                  HMODULE resources, const ItemInfoOptions* options) {
  ItemHandlerContext c;
  c.info = info;
  c.index = index;
  c.resources = resources;
  c.options = options;
  return h->handler(database, mode, info->ddmid, &c);
}

}  // namespace

ItemInfo* BuildItemInfo(DddHandle* database, WORD ddmid, void* devmode, void* printer_data, HMODULE resources,
                        const ItemInfoOptions* options) {
  const SettingItem* item = FindItem(ddmid);
  if (!item) return nullptr;
  const ItemInfoOptions millimetres{};
  if (!options) options = &millimetres;
  const ItemHandlerRecord* h = item->handler && item->handler->handler ? item->handler : nullptr;
  const bool kind_by_handler = h && (h->mode_mask & kItemModeKind);
  const bool choices_by_handler = h && (h->mode_mask & kItemModeChoice);

  auto* info = static_cast<ItemInfo*>(GlobalAlloc(GPTR, sizeof(ItemInfo)));
  if (!info) return nullptr;
  info->ddmid = ddmid;
  info->count = -1;

  // The database item gives the name, and the kind and count unless the
  // handler gives them.
  BYTE kind = 0;
  WORD choices = 0;
  const WCHAR* name = nullptr;
  INT error = 0;
  DddItem* record = database ? DddOpenItemRecord(database, ddmid, &kind, &choices, &name, &error) : nullptr;
  // An item the database lacks may still have a handler; one it could not
  // be read for has nothing.
  bool ok = record || (kind_by_handler && error != kDddOutOfMemory);
  if (ok) {
    info->name = copy_text(name ? name : u"");
    ok = info->name != nullptr;
  }
  if (record) {
    info->kind = kind;
    info->count = choices ? choices : -1;
    DddFreeRecord(record);
  }
  if (ok && kind_by_handler) ok = call_handler(h, database, kItemModeKind, info, 0, resources, options);
  if (ok && info->count > 0) {
    const LONG count = info->count;
    info->count = -1;
    ok = ItemInfoAllocChoices(info, count);
  }
  for (LONG i = 0; ok && i < info->count; ++i)
    ok = choices_by_handler ? call_handler(h, database, kItemModeChoice, info, i, resources, options)
                            : ItemInfoSetDatabaseChoice(database, info, i);
  if (ok) ok = add_paper_extras(info, database, devmode, printer_data, resources, options);
  if (!ok) {
    ItemInfo_Free(info);
    return nullptr;
  }
  return info;
}

BOOL ItemInfo_Free(ItemInfo* info) {
  if (!info) return FALSE;
  if (info->choices) {
    for (LONG i = 0; i < info->count; ++i) free_choice(info, info->choices[i]);
    GlobalFree(info->choices);
  }
  if (info->name) GlobalFree(info->name);
  GlobalFree(info);
  return TRUE;
}

LPCWSTR ItemInfo_GetName(const ItemInfo* info) { return info ? info->name : nullptr; }
WORD ItemInfo_GetKind(const ItemInfo* info) { return info ? info->kind : 0; }

BOOL ItemInfo_SetKind(ItemInfo* info, WORD kind) {
  if (!info) return FALSE;
  info->kind = kind;
  return TRUE;
}

LONG ItemInfo_GetChoiceCount(const ItemInfo* info) { return info && info->choices ? info->count : -1; }

const ItemChoice* ItemInfo_GetChoice(const ItemInfo* info, LONG index) {
  return valid_index(info, index) ? &info->choices[index] : nullptr;
}

const void* ItemInfo_GetChoiceAt(const ItemInfo* info, LONG index) {
  if (!valid_index(info, index)) return nullptr;
  const ItemChoice& c = info->choices[index];
  return info->value_type == kTypeString ? c.value.ptr : static_cast<const void*>(&c.value);
}

LPCWSTR ItemInfo_GetChoiceText(const ItemInfo* info, LONG index) {
  return valid_index(info, index) ? info->choices[index].text : nullptr;
}

HICON ItemInfo_GetChoiceIcon(const ItemInfo* info, LONG index) {
  return valid_index(info, index) ? info->choices[index].icon : nullptr;
}

const void* ItemInfo_GetChoiceData(const ItemInfo* info, LONG index) {
  return valid_index(info, index) ? info->choices[index].data : nullptr;
}

const ItemChoice* ItemInfo_FindChoiceByText(const ItemInfo* info, LPCWSTR text) {
  if (!info || !text || !info->choices) return nullptr;
  const size_t n = text_length(text);
  for (LONG i = 0; i < info->count; ++i) {
    const WCHAR* t = info->choices[i].text;
    if (!t) continue;
    size_t k = 0;
    while (k < n && t[k] == text[k]) ++k;
    if (k == n) return &info->choices[i];
  }
  return nullptr;
}

BOOL ItemInfoAllocChoices(ItemInfo* info, LONG count) {
  if (!info || info->choices || count < 0) return FALSE;
  if (count == 0) {
    info->count = -1;
    return TRUE;
  }
  info->choices = static_cast<ItemChoice*>(GlobalAlloc(GPTR, sizeof(ItemChoice) * static_cast<size_t>(count)));
  if (!info->choices) return FALSE;
  info->count = count;
  return TRUE;
}

BOOL ItemInfoSetChoice(ItemInfo* info, LONG index, WORD type, const void* value, LPCWSTR text, HMODULE resources,
                       WORD icon_id) {
  if (!valid_index(info, index) || !value) return FALSE;
  ItemChoice& c = info->choices[index];
  free_choice(info, c);
  // Every choice of an info has its value type: the first one sets it, a
  // later number of another number type is converted, a text never mixes
  // with numbers.
  if (index == 0 || info->value_type == 0) info->value_type = type;
  const WORD want = info->value_type;
  if ((want == kTypeString) != (type == kTypeString)) return FALSE;
  if (type != kTypeString && (!is_scalar(type) || !is_scalar(want))) return FALSE;
  if (type == kTypeString) {
    c.value.ptr = copy_text(static_cast<const WCHAR*>(value));
    if (!c.value.ptr) return FALSE;
  } else {
    LONG number = GetTypedValue(type, value);
    StoreTypedValue(want, &c.value, &number);
  }
  c.text = copy_text(text ? text : u"");
  if (!c.text) return FALSE;
  // A missing icon is no failure: the choice is shown without one.
  if (icon_id && resources)
    c.icon = static_cast<HICON>(LoadImageW(resources, MAKEINTRESOURCEW(icon_id), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR));
  return TRUE;
}

BOOL ItemInfoSetDatabaseChoice(DddHandle* database, ItemInfo* info, LONG index) {
  if (!database || !valid_index(info, index) || index >= 0xFFFF) return FALSE;
  DddItem* item = DddOpenItemRecord(database, info->ddmid, nullptr, nullptr, nullptr, nullptr);
  if (!item) return FALSE;
  DddValue* loaded = nullptr;
  DddStatus s = DddLoadItemChoice(DDD_LOAD_HEADER, FALSE, &database->main, &database->linked, item,
                                  static_cast<WORD>(index + 1), nullptr, &loaded);
  DddFreeRecord(item);
  if (s || !loaded) return FALSE;
  auto* choice = static_cast<DddChoice*>(loaded);
  BOOL ok = FALSE;
  if (loaded->kind == DDD_KIND_CHOICE || loaded->kind == DDD_KIND_CHOICE_ALT) {
    const DddTypedValue& tv = choice->value;
    if (tv.type == kTypeString) {
      ok = ItemInfoSetChoice(info, index, tv.type, tv.data ? tv.data : u"", choice->name, nullptr, 0);
    } else if (tv.data && is_scalar(tv.type) && tv.element_size >= dma_TypeSize(tv.type)) {
      // A number is read with the width of its type, never past its data.
      ok = ItemInfoSetChoice(info, index, tv.type, tv.data, choice->name, nullptr, 0);
    }
  }
  if (ok) {
    DddBlob* blob = nullptr;
    DddStatus b = DddLoadEntryBlob(&database->main, &database->linked, loaded, &blob);
    if (b == DDD_OK) info->choices[index].data = blob;
    else ok = b == DDD_NOT_FOUND;  // a choice without a blob
  }
  DddFreeValue(&loaded, 0xFFFF);
  return ok;
}

LPWSTR PaperChoiceText(HMODULE resources, LPCWSTR name, WORD width, WORD length, const ItemInfoOptions* options) {
  const bool inches = options && options->inches;
  const bool tenths = options && options->tenths;
  std::u16string sizes[2];
  const WORD values[2] = {width, length};
  for (int i = 0; i < 2; ++i) {
    char text[24];
    if (!inches) {
      std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(values[i] / 10));
    } else {
      WORD whole = 0, fraction = 0;
      SplitHundredths(tenths, static_cast<WORD>(MetricToInch(values[i], nullptr)), &whole, &fraction);
      std::snprintf(text, sizeof text, tenths ? "%u.%u" : "%u.%02u", static_cast<unsigned>(whole),
                    static_cast<unsigned>(fraction));
    }
    sizes[i] = widen(text);
  }
  const std::u16string format = inches ? resource_text(resources, kInchFormatId, kInchFormat)
                                       : resource_text(resources, kMillimetreFormatId, kMillimetreFormat);
  WCHAR size_text[256];
  FormatResourceMessage(size_text, 256, format.c_str(), sizes[0].c_str(), sizes[1].c_str());
  std::u16string text = name ? std::u16string(name) : std::u16string();
  text += resource_text(resources, kPaperSeparatorId, kPaperSeparator);
  text += size_text;
  return copy_text(text.c_str(), text.size());
}

BOOL AddCustomSizeChoiceText(ItemInfo* info, void* devmode, void* printer_data, HMODULE resources,
                             const ItemInfoOptions* options) {
  if (!info) return FALSE;
  const LONG index = find_choice(info, kCustomPaperCode);
  if (index < 0) return TRUE;
  SHORT width = 0, length = 0;
  if (!GetStoredCustomSize(devmode, printer_data, &width, &length)) return FALSE;
  std::u16string own = info->choices[index].text ? info->choices[index].text : u"";
  return set_paper_text(info, index, own.c_str(), static_cast<WORD>(width), static_cast<WORD>(length), resources,
                        options);
}

BOOL AddUserPaperChoiceTexts(ItemInfo* info, void* devmode, void* printer_data, HMODULE resources,
                             const ItemInfoOptions* options) {
  if (!info) return FALSE;
  WORD changed = 0;
  for (LONG i = 0; i < info->count && changed < kUserPaperSlots; ++i) {
    LONG number = 0;
    if (!choice_number(info, i, &number)) continue;
    WORD slot = 0;
    while (slot < kUserPaperSlots && UserPaperCodeOfSlot(slot) != number) ++slot;
    if (slot == kUserPaperSlots) continue;
    WORD type = 0;
    DWORD size = 0;
    ItemValue stored{};
    WORD width = 0, length = 0;
    if (GetItemValue(kUserPaperNameId + slot, devmode, printer_data, &type, &size, &stored) != kDdmOk ||
        type != kTypeString || !read_size(devmode, printer_data, kUserPaperWidthId + slot, &width) ||
        !read_size(devmode, printer_data, kUserPaperLengthId + slot, &length))
      return FALSE;
    const std::u16string name = ItemText(stored, size);
    if (!set_paper_text(info, i, name.c_str(), width, length, resources, options)) return FALSE;
    ++changed;
  }
  return TRUE;
}

BOOL AddTraySizeChoiceText(ItemInfo* info, void* devmode, void* printer_data, HMODULE resources,
                           const ItemInfoOptions* options) {
  if (!info) return FALSE;
  WORD width_id = 0, length_id = 0;
  if (!GetSourceSizeSettingIds(info->ddmid, &width_id, &length_id)) return TRUE;
  const LONG index = find_choice(info, kTraySizeCode);
  if (index < 0) return TRUE;
  WORD width = 0, length = 0;
  if (!read_size(devmode, printer_data, width_id, &width) || !read_size(devmode, printer_data, length_id, &length))
    return FALSE;
  return set_paper_text(info, index, u"", width, length, resources, options);
}
