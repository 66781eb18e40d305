#include "settings/items/setting_items.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ddm/ddmid.h"
#include "settings/database/capability_maps.h"
#include "settings/database/ddd_file.h"
#include "settings/items/item_database.h"
#include "settings/items/item_info.h"
#include "settings/common/module_state.h"
#include "settings/devmode/paper_size_list.h"
#include "settings/items/stamp_defaults.h"
#include "settings/stores/stamp_store.h"
#include "settings/common/system_utils.h"
#include "win/memory.h"
#include "win/resources.h"

using namespace morva::ddm;

namespace {

// ---- handler callbacks ------------------------------------------------------

LONG number_of(const ItemHandlerContext* c) { return GetTypedValue(c->type, c->value); }

bool is_check(WORD mode) { return mode == kItemModeCheck || mode == kItemModeCheckDevmode; }

// Hands a scalar default back through the mode-1 slots.
BOOL give_number(ItemHandlerContext* c, WORD type, DWORD value) {
  if (!c->out_type || !c->out_value || !c->out_size) return FALSE;
  c->out_value->raw = 0;
  switch (type) {
    case kTypeShort: case kTypeWord: c->out_value->w = static_cast<WORD>(value); break;
    case kTypeByte: c->out_value->b = static_cast<BYTE>(value); break;
    default: c->out_value->dw = value; break;
  }
  *c->out_type = type;
  *c->out_size = dma_TypeSize(type);
  return TRUE;
}

// Hands a text default back in a new block of `bytes` bytes (zero padded).
BOOL give_text(ItemHandlerContext* c, const WCHAR* text, size_t chars, DWORD bytes) {
  if (!c->out_type || !c->out_value || !c->out_size) return FALSE;
  if ((chars + 1) * sizeof(WCHAR) > bytes) chars = bytes / sizeof(WCHAR) - 1;
  auto* block = static_cast<WCHAR*>(GlobalAlloc(GPTR, bytes));
  if (!block) return FALSE;
  if (chars) std::memcpy(block, text, chars * sizeof(WCHAR));
  c->out_value->ptr = block;
  *c->out_type = kTypeString;
  *c->out_size = static_cast<DWORD>((chars + 1) * sizeof(WCHAR));
  return TRUE;
}

// A handler whose source has no value reports "no default".
BOOL no_default(ItemHandlerContext* c) {
  if (!c->out_type) return FALSE;
  *c->out_type = kTypeInvalid;
  return TRUE;
}

size_t text_length(const WCHAR* text) {
  size_t n = 0;
  if (text)
    while (text[n]) ++n;
  return n;
}

BOOL check_one_of(const ItemHandlerContext* c, std::initializer_list<LONG> allowed) {
  LONG v = number_of(c);
  for (LONG a : allowed)
    if (v == a) return TRUE;
  return FALSE;
}

// Items with a fixed value: dmSpecVersion, the layout version and the
// layout identifier.
struct FixedValue {
  WORD ddmid;
  DWORD value;
};
constexpr FixedValue kFixedValues[] = {
    {2, 1025}, {3, kLayoutVersion}, {257, kLayoutVersion}, {1793, kLayoutVersion},
    {8204, kLayoutVersion}, {258, kLayoutId}, {8203, kLayoutId},
};

BOOL fixed_value_handler(DddHandle*, WORD mode, WORD ddmid, ItemHandlerContext* c) {
  for (const FixedValue& f : kFixedValues) {
    if (f.ddmid != ddmid) continue;
    if (mode == kItemModeDefault) return give_number(c, kTypeWord, f.value);
    if (is_check(mode)) return number_of(c) == static_cast<LONG>(f.value);
  }
  return FALSE;
}

BOOL device_name_handler(DddHandle*, WORD mode, WORD, ItemHandlerContext* c) {
  if (mode != kItemModeDefault) return FALSE;  // never a valid value to check
  const WCHAR* name = c->printer_name ? c->printer_name : u"";
  size_t n = text_length(name);
  if (n > 31) n = 31;
  return give_text(c, name, n, 64);
}

BOOL size_handler(DddHandle*, WORD mode, WORD, ItemHandlerContext* c) {
  if (mode == kItemModeDefault) return give_number(c, kTypeWord, kPublicDevmodeSize);
  return is_check(mode) && check_one_of(c, {220, 1604, 212});
}

BOOL driver_extra_handler(DddHandle*, WORD mode, WORD, ItemHandlerContext* c) {
  if (mode == kItemModeDefault) return give_number(c, kTypeWord, kShortDevmodeSize - kPublicDevmodeSize);
  return is_check(mode) && check_one_of(c, {1384, 5792});
}

BOOL fields_handler(DddHandle* database, WORD mode, WORD, ItemHandlerContext* c) {
  if (mode != kItemModeDefault) return FALSE;
  DWORD mask = 0;
  if (!GetOsFeatureFlags(database, &mask, 1)) return FALSE;
  return give_number(c, kTypeDword, mask);
}

BOOL orientation_handler(DddHandle*, WORD mode, WORD, ItemHandlerContext* c) {
  return is_check(mode) && check_one_of(c, {1, 2});
}

BOOL positive_handler(DddHandle*, WORD mode, WORD, ItemHandlerContext* c) {
  return is_check(mode) && number_of(c) > 0;
}

// Sets the kind, value type and number of choices of the item being built.
BOOL give_kind(ItemHandlerContext* c, WORD kind, WORD type, LONG count) {
  if (!c->info) return FALSE;
  c->info->kind = kind;
  c->info->value_type = type;
  c->info->count = count > 0 ? count : -1;
  return TRUE;
}

// Fills choice c->index with a number shown as its decimal text.
BOOL give_number_choice(ItemHandlerContext* c, WORD type, LONG number) {
  ItemValue v{};
  StoreTypedValue(type, &v, &number);  // the low bytes of a little-endian LONG
  WCHAR text[16];
  if (!FormatTypedValue(type, &v, text, 16)) return FALSE;
  return ItemInfoSetChoice(c->info, c->index, type, &v, text, c->resources, 0);
}

// Fills choice c->index with a text that is its own value.
BOOL give_text_choice(ItemHandlerContext* c, LPCWSTR value, LPCWSTR text) {
  return value && ItemInfoSetChoice(c->info, c->index, kTypeString, value, text ? text : value, c->resources, 0);
}

// dmCopies: a number from 1 to the model's maximum, in steps of 1; its
// choices are the minimum, the maximum and the step.
BOOL copies_handler(DddHandle* database, WORD mode, WORD, ItemHandlerContext* c) {
  if (mode == kItemModeDefault) return give_number(c, kTypeShort, 1);
  if (mode == kItemModeKind) return give_kind(c, kItemKindNumber, kTypeShort, 3);
  if (mode == kItemModeChoice) {
    const LONG choices[3] = {1, ItemDbMaxCopies(database), 1};
    return c->index >= 0 && c->index < 3 && give_number_choice(c, kTypeShort, choices[c->index]);
  }
  LONG v = number_of(c);
  if (mode == kItemModeCheckDevmode) return v > 0;
  if (mode == kItemModeCheck) return v >= 1 && v <= ItemDbMaxCopies(database);
  return FALSE;
}

// dmPaperSize: the papers of the model's paper-size list when the database
// context holds one (their driver paper ids and names), else the database
// item's paper choices.
BOOL paper_size_handler(DddHandle* database, WORD mode, WORD, ItemHandlerContext* c) {
  if (!c->info) return FALSE;
  const bool listed = HasPaperSizeList(database) == 1;
  if (mode == kItemModeKind) {
    // Kind and count as the database item gives them; without its paper
    // choices the setting is not available.
    if (!listed) return c->info->count > 0;
    WORD count = 0;
    if (CountPaperSizes(database, &count, kPaperCountAll) != kPaperListOk) return FALSE;
    return give_kind(c, c->info->kind ? c->info->kind : kItemKindList, kTypeWord, count);
  }
  if (mode != kItemModeChoice) return FALSE;
  if (!listed) return ItemInfoSetDatabaseChoice(database, c->info, c->index);
  WORD id = 0;
  const WCHAR* name = nullptr;
  if (c->index < 0 || c->index > 0xFFFF) return FALSE;
  const WORD index = static_cast<WORD>(c->index);
  if (FindPaperSizeByIndex(database, index, kPaperResultDriverId, &id) != kPaperListOk ||
      FindPaperSizeByIndex(database, index, kPaperResultName, &name) != kPaperListOk)
    return FALSE;
  return ItemInfoSetChoice(c->info, c->index, kTypeWord, &id, name, c->resources, 0);
}

// Any value passes when the model's capability value map takes over the
// setting: a map read from the model's own section, DDMID 5201 non-zero and
// the group's entry 1. A file without the section gives a default map, which
// does not count.
bool map_takes_any(DddHandle* database, const ItemHandlerContext* c, INT group) {
  if (!database || !HasCapabilityOverrides(database->capabilities)) return false;
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(5201, c->devmode, c->printer_data, &type, &size, &v) != kDdmOk ||
      GetTypedValue(type, &v) == 0)
    return false;
  SHORT entry = 0;
  return GetCapabilityMerge(database->capabilities, group, &entry) == 1 && entry == 1;
}

BOOL source_handler(DddHandle* database, WORD mode, WORD ddmid, ItemHandlerContext* c) {
  if (is_check(mode) && map_takes_any(database, c, kCapBin)) return TRUE;
  if (mode == kItemModeCheckDevmode) return number_of(c) > 0;
  if (mode == kItemModeCheck) return ItemDbHasValue(database, ddmid, c->type, c->size, c->value);
  return FALSE;
}

// Default of a setting as a number (0 when it has none).
LONG default_number(DddHandle* database, WORD ddmid);

BOOL color_handler(DddHandle* database, WORD mode, WORD, ItemHandlerContext* c) {
  if (mode == kItemModeDefault)
    return give_number(c, kTypeShort,
                       default_number(database, 270) == 1 && default_number(database, 345) == 1 ? 1 : 2);
  return is_check(mode) && check_one_of(c, {1, 2});
}

BOOL duplex_handler(DddHandle*, WORD mode, WORD, ItemHandlerContext* c) {
  return mode == kItemModeCheckDevmode && check_one_of(c, {1, 2, 3});
}

BOOL one_to_four_handler(DddHandle*, WORD mode, WORD, ItemHandlerContext* c) {
  return is_check(mode) && number_of(c) >= 1 && number_of(c) <= 4;
}

BOOL collate_handler(DddHandle* database, WORD mode, WORD, ItemHandlerContext* c) {
  if (is_check(mode) && map_takes_any(database, c, kCapCollate)) return TRUE;
  return is_check(mode) && check_one_of(c, {0, 1});
}

// dmICMMethod and dmICMIntent: 1-4, any value on platforms 257 and 513.
BOOL icm_handler(DddHandle*, WORD mode, WORD ddmid, ItemHandlerContext* c) {
  if (mode == kItemModeDefault) return ddmid == 22 ? give_number(c, kTypeDword, 1) : no_default(c);
  if (!is_check(mode)) return FALSE;
  INT code = 0;
  if (GetOsVersionCode(&code) == -1) return FALSE;
  if (code == 257 || code == 513) return TRUE;
  return number_of(c) >= 1 && number_of(c) <= 4;
}

BOOL always_valid_handler(DddHandle*, WORD mode, WORD, ItemHandlerContext*) {
  return mode == kItemModeCheckDevmode;
}

BOOL signature_handler(DddHandle* database, WORD mode, WORD, ItemHandlerContext* c) {
  WCHAR text[64] = {};
  if (!ItemDbSignatureText(database, text, 64)) return FALSE;
  size_t n = text_length(text);
  if (n > 31) n = 31;
  if (mode == kItemModeDefault) return give_text(c, text, n, 64);
  if (!is_check(mode) || c->type != kTypeString || !c->value || !c->value->ptr) return FALSE;
  text[n] = 0;
  std::u16string have = ItemText(*c->value, c->size);
  return have == std::u16string(text, n);
}

// Names of the stamps the user has stored for the options' printer, in
// the store's order; none without a printer.
std::vector<std::u16string> stored_stamp_names(DddHandle* database, const ItemInfoOptions* options) {
  std::vector<std::u16string> names;
  if (!options || !options->printer || !database) return names;
  DWORD count = 0, size = 0;
  if (ListStampNames(options->printer, nullptr, &count, &size, database) != kStampBufferTooSmall || size == 0)
    return names;
  std::vector<WCHAR> buffer(size / sizeof(WCHAR) + 1);
  if (ListStampNames(options->printer, buffer.data(), &count, &size, database) != kStampOk) return names;
  for (const WCHAR* p = buffer.data(); *p; p += std::char_traits<char16_t>::length(p) + 1) names.emplace_back(p);
  return names;
}

constexpr UINT kNoStampTextId = 426;
constexpr char16_t kNoStampText[] = u"None";

// DDMID 298, the stamp's name: "none" (an empty name), then the stored
// stamps by name.
BOOL stamp_name_handler(DddHandle* database, WORD mode, WORD, ItemHandlerContext* c) {
  if (mode == kItemModeDefault) return give_text(c, u"", 0, 66);
  if (mode == kItemModeKind) {
    const auto names = stored_stamp_names(database, c->options);
    return give_kind(c, kItemKindList, kTypeString, 1 + static_cast<LONG>(names.size()));
  }
  if (mode != kItemModeChoice) return FALSE;
  if (c->index > 0) {
    const auto names = stored_stamp_names(database, c->options);
    if (static_cast<size_t>(c->index) > names.size()) return FALSE;
    return give_text_choice(c, names[static_cast<size_t>(c->index - 1)].c_str(), nullptr);
  }
  WCHAR text[64] = {};
  if (!c->resources || LoadStringW(c->resources, kNoStampTextId, text, 64) <= 0)
    std::memcpy(text, kNoStampText, sizeof kNoStampText);
  return give_text_choice(c, u"", text);
}

// DDMIDs 305 and 358, font face names: the names the page lists.
BOOL face_name_handler(DddHandle*, WORD mode, WORD ddmid, ItemHandlerContext* c) {
  if (mode == kItemModeDefault) {
    if (ddmid != 358) return give_text(c, u"", 0, 64);
    // 358 is the face name inside the stamp font 357: the same face.
    LOGFONTW font;
    if (!DefaultStampFont(&font)) return FALSE;
    return give_text(c, font.lfFaceName, text_length(font.lfFaceName), 64);
  }
  const ItemInfoOptions* o = c->options;
  const LONG listed = o && o->list ? o->list_count : 0;
  if (mode == kItemModeKind) return give_kind(c, kItemKindList, kTypeString, listed);
  if (mode == kItemModeChoice) return c->index >= 0 && c->index < listed && give_text_choice(c, o->list[c->index], nullptr);
  return FALSE;
}

// DDMID 357: the font of a new stamp.
BOOL stamp_font_handler(DddHandle*, WORD mode, WORD, ItemHandlerContext* c) {
  if (mode != kItemModeDefault || !c->out_type || !c->out_value || !c->out_size) return FALSE;
  auto* font = static_cast<LOGFONTW*>(GlobalAlloc(GPTR, sizeof(LOGFONTW)));
  if (!font) return FALSE;
  if (!DefaultStampFont(font)) {
    GlobalFree(font);
    return FALSE;
  }
  c->out_value->ptr = font;
  *c->out_type = kTypeLogFont;
  *c->out_size = sizeof(LOGFONTW);
  return TRUE;
}

BOOL user_paper_handler(DddHandle* database, WORD mode, WORD ddmid, ItemHandlerContext* c) {
  if (mode != kItemModeDefault) return FALSE;
  if (ddmid >= 5929) {
    WCHAR name[33] = {};
    INT n = FormatUserPaperName(ddmid - 5929, name, 33);
    if (n < 0) return FALSE;
    return give_text(c, name, text_length(name), 30);
  }
  WORD width = 0, length = 0;
  if (!ItemDbA4Size(database, &width, &length)) return no_default(c);
  return give_number(c, kTypeShort, ddmid < 5909 ? width : length);
}

// dmPaperLength, dmPaperWidth and dmFormName of the database's default
// paper.
BOOL default_paper_handler(DddHandle* database, WORD mode, WORD ddmid, ItemHandlerContext* c) {
  if (mode != kItemModeDefault) return FALSE;
  WORD width = 0, length = 0;
  WCHAR name[32] = {};
  if (!ItemDbDefaultPaper(database, &width, &length, name, 32)) return no_default(c);
  if (ddmid == 19) return give_text(c, name, text_length(name), 64);
  return give_number(c, kTypeShort, ddmid == 9 ? length : width);
}

// ---- handler records ----------------------------------------------------------

constexpr ItemConstantDefault kDefaultPrinterDataSize = {0x1, kTypeWord, 2, kPrinterDataSize};
constexpr ItemConstantDefault kUnusedByte = {0x0, kTypeByte, 1, 0};

constexpr DWORD D = kItemModeDefault, C = kItemModeCheck, K = kItemModeKind, H = kItemModeChoice,
                M = kItemModeCheckDevmode;

constexpr ItemHandlerRecord kFixed = {nullptr, fixed_value_handler, D | C | M};
constexpr ItemHandlerRecord kDeviceName = {nullptr, device_name_handler, D};
constexpr ItemHandlerRecord kSize = {nullptr, size_handler, D | C | M};
constexpr ItemHandlerRecord kDriverExtra = {nullptr, driver_extra_handler, D | C | M};
constexpr ItemHandlerRecord kFields = {nullptr, fields_handler, D};
constexpr ItemHandlerRecord kOrientation = {nullptr, orientation_handler, C | M};
constexpr ItemHandlerRecord kPaperSize = {nullptr, paper_size_handler, K | H};
constexpr ItemHandlerRecord kPaperDimension = {nullptr, default_paper_handler, D};
constexpr ItemHandlerRecord kPositive = {nullptr, positive_handler, C | M};
constexpr ItemHandlerRecord kCopies = {nullptr, copies_handler, D | C | M | K | H};
constexpr ItemHandlerRecord kSource = {nullptr, source_handler, C | M};
constexpr ItemHandlerRecord kColor = {nullptr, color_handler, D | C | M};
constexpr ItemHandlerRecord kDuplex = {nullptr, duplex_handler, M};
constexpr ItemHandlerRecord kOneToFour = {nullptr, one_to_four_handler, C | M};
constexpr ItemHandlerRecord kCollate = {nullptr, collate_handler, C | M};
constexpr ItemHandlerRecord kFormName = {nullptr, default_paper_handler, D};
constexpr ItemHandlerRecord kIcmMethod = {nullptr, icm_handler, D | C | M};
constexpr ItemHandlerRecord kIcmIntent = {nullptr, icm_handler, C | M};
constexpr ItemHandlerRecord kAlwaysValid = {nullptr, always_valid_handler, 0};
constexpr ItemHandlerRecord kSignature = {nullptr, signature_handler, D | C | M};
constexpr ItemHandlerRecord kStampName = {nullptr, stamp_name_handler, D | K | H};
constexpr ItemHandlerRecord kFaceName = {nullptr, face_name_handler, D | K | H};
constexpr ItemHandlerRecord kStampFont = {nullptr, stamp_font_handler, D};
constexpr ItemHandlerRecord kUserPaper = {nullptr, user_paper_handler, D};
constexpr ItemHandlerRecord kPrinterDataSizeRecord = {&kDefaultPrinterDataSize, nullptr, D};
constexpr ItemHandlerRecord kUnused = {&kUnusedByte, nullptr, 0};

// DDMIDs low..high share a handler record.
struct HandlerRow {
  WORD low;
  WORD high;
  const ItemHandlerRecord* record;
};
constexpr HandlerRow kHandlerRows[] = {
    {1, 1, &kDeviceName},       {2, 3, &kFixed},          {4, 4, &kSize},
    {5, 5, &kDriverExtra},      {6, 6, &kFields},         {7, 7, &kOrientation},
    {8, 8, &kPaperSize},        {9, 10, &kPaperDimension}, {11, 11, &kPositive},
    {12, 12, &kCopies},         {13, 13, &kSource},       {15, 15, &kColor},
    {16, 16, &kDuplex},         {17, 17, &kOneToFour},    {18, 18, &kCollate},
    {19, 19, &kFormName},       {22, 22, &kIcmMethod},   {23, 23, &kIcmIntent},          {24, 25, &kAlwaysValid},
    {257, 258, &kFixed},        {259, 259, &kSignature},  {298, 298, &kStampName},
    {305, 305, &kFaceName},     {357, 357, &kStampFont},  {358, 358, &kFaceName},
    {439, 439, &kUnused},       {463, 463, &kUnused},     {1793, 1793, &kFixed},
    {5889, 5948, &kUserPaper},  {8202, 8202, &kPrinterDataSizeRecord},
    {8203, 8204, &kFixed},
};

const ItemHandlerRecord* handler_of(WORD ddmid) {
  for (const HandlerRow& r : kHandlerRows)
    if (ddmid >= r.low && ddmid <= r.high) return r.record;
  return nullptr;
}

// The groups: {id, store kind, DDMID range}; the items are the settings
// the value engine stores in that range.
struct GroupShape {
  DWORD id;
  WORD store_kind;
  WORD lowest;
  WORD highest;
};
constexpr GroupShape kGroupShapes[kItemGroupCount] = {
    {5, 0, 257, 303},    {6, 0, 304, 351},    {7, 0, 352, 399},    {8, 0, 400, 447},
    {9, 0, 448, 484},    {10, 0, 1281, 1376}, {11, 1, 1793, 1897}, {12, 1, 2305, 2560},
    {0, 2, 4097, 4371},  {1, 2, 4609, 4640},  {2, 2, 5121, 5215},  {3, 2, 5633, 8225},
    {4, 0, 1, 25},
};

struct ItemTable {
  std::array<std::vector<SettingItem>, kItemGroupCount> items;
  std::array<SettingItemGroup, kItemGroupCount + 1> groups;
  ItemTable() {
    for (int g = 0; g < kItemGroupCount; ++g) {
      const GroupShape& s = kGroupShapes[g];
      for (DWORD id = s.lowest; id <= s.highest; ++id)
        if (dma_Descriptor(static_cast<WORD>(id)))
          items[g].push_back({static_cast<WORD>(id), handler_of(static_cast<WORD>(id))});
      groups[g] = {s.id, items[g].data(), static_cast<WORD>(items[g].size()), s.store_kind, s.lowest,
                   s.highest};
    }
    groups[kItemGroupCount] = {kItemGroupEnd, nullptr, 0, 0, 0, 0};
  }
};

const ItemTable& item_table() {
  static const ItemTable table;
  return table;
}

LONG default_number(DddHandle* database, WORD ddmid) {
  ItemValue v{};
  WORD type = 0;
  DWORD size = 0;
  if (ItemDbDefault(database, ddmid, &v, &type, &size) != 1) return 0;
  ItemDbConfiguredValue(database, ddmid, type, &v);
  if (type == kTypeString || type == kTypeLogFont) {
    GlobalFree(const_cast<void*>(v.ptr));
    return 0;
  }
  return GetTypedValue(type, &v);
}

// Platform feature mask rows: {dmFields bit, DDMID, use per platform column}.
struct FeatureRow {
  DWORD bit;
  WORD ddmid;
  WORD use[4];
};
constexpr FeatureRow kFeatureRows[] = {
    {0x1, 7, {3, 3, 3, 3}},         {0x2, 8, {3, 3, 3, 3}},         {0x10, 11, {3, 3, 3, 3}},
    {0x100, 12, {3, 3, 3, 3}},      {0x200, 13, {3, 3, 3, 3}},      {0x400, 20, {3, 3, 3, 3}},
    {0x800, 15, {3, 3, 3, 3}},      {0x1000, 16, {3, 3, 3, 3}},     {0x2000, 21, {3, 3, 3, 3}},
    {0x4000, 17, {3, 3, 3, 3}},     {0x8000, 18, {3, 3, 3, 3}},     {0x10000, 19, {0, 0, 3, 3}},
    {0x800000, 22, {7, 7, 7, 7}},   {0x1000000, 23, {7, 7, 7, 7}},  {0x2000000, 24, {7, 7, 7, 7}},
    {0x4000000, 25, {7, 7, 7, 7}},  {0, 0, {0, 0, 0, 0}},
};

}  // namespace

const SettingItemGroup* GetItemGroups() { return item_table().groups.data(); }

const SettingItem* FindItem(WORD ddmid) {
  for (const SettingItemGroup* g = GetItemGroups(); g->id != kItemGroupEnd; ++g) {
    if (ddmid < g->lowest || ddmid > g->highest) continue;
    for (WORD i = 0; i < g->count; ++i)
      if (g->items[i].ddmid == ddmid) return &g->items[i];
  }
  return nullptr;
}

BOOL CallItemHandler(DddHandle* database, WORD ddmid, void* devmode, void* printer_data, WORD mode) {
  if (mode != kItemModeCheck && mode != kItemModeCheckDevmode) return FALSE;
  ItemValue value{};
  WORD type = 0;
  DWORD size = 0;
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &value) != kDdmOk) return FALSE;
  const SettingItem* item = FindItem(ddmid);
  if (!item) return FALSE;
  const ItemHandlerRecord* h = item->handler;
  if (!h || !h->handler || (mode == kItemModeCheck && !(h->mode_mask & kItemModeCheck)))
    return ItemDbHasValue(database, ddmid, type, size, &value);
  ItemHandlerContext context;
  context.value = &value;
  context.type = type;
  context.size = size;
  context.devmode = devmode;
  context.printer_data = printer_data;
  return h->handler(database, mode, ddmid, &context);
}

SHORT GetTypeCompare(WORD type, const void* a, const void* b) {
  if (!a || !b) return 2;
  auto order = [](auto x, auto y) -> SHORT { return x == y ? 0 : (x > y ? 1 : -1); };
  switch (type) {
    case kTypeLong: case kTypeLong4: case kTypeLong10: {
      int32_t x, y;
      std::memcpy(&x, a, 4);
      std::memcpy(&y, b, 4);
      return order(x, y);
    }
    case kTypeShort: {
      int16_t x, y;
      std::memcpy(&x, a, 2);
      std::memcpy(&y, b, 2);
      return order(x, y);
    }
    case kTypeWord: {
      uint16_t x, y;
      std::memcpy(&x, a, 2);
      std::memcpy(&y, b, 2);
      return order(x, y);
    }
    case kTypeDword: {
      uint32_t x, y;
      std::memcpy(&x, a, 4);
      std::memcpy(&y, b, 4);
      return order(x, y);
    }
    case kTypeByte: return order(*static_cast<const uint8_t*>(a), *static_cast<const uint8_t*>(b));
    case kTypeString: {
      const auto* x = static_cast<const WCHAR*>(a);
      const auto* y = static_cast<const WCHAR*>(b);
      for (;; ++x, ++y) {
        if (*x != *y) return *x > *y ? 1 : -1;
        if (!*x) return 0;
      }
    }
    default: return 2;
  }
}

BOOL GetOsFeatureFlags(DddHandle* database, DWORD* mask, WORD use) {
  if (!mask) return FALSE;
  *mask = 0;
  INT code = 0;
  if (GetOsVersionCode(&code) == -1) return FALSE;
  int column;
  switch (code) {
    case 257: column = 0; break;
    case 258: column = 1; break;
    case 513: column = 2; break;
    case 514: column = 3; break;
    default: return FALSE;
  }
  INT newer_value = 0;
  INT newer = IsNewerThanNt4(&newer_value);
  if (newer == -1) return FALSE;
  bool feature_known = false, feature_on = false;
  DWORD result = 0;
  for (const FeatureRow* r = kFeatureRows; r->bit; ++r) {
    WORD bits = r->use[column];
    if (!(bits & use)) continue;
    if (bits & 4) {
      if (!feature_known) {
        INT byte = ItemDbFeatureFlagByte(database);
        feature_on = byte != 0 && byte != -1 && newer == 1;
        feature_known = true;
      }
      if (!feature_on) continue;
    }
    result |= r->bit;
  }
  *mask = result;
  return TRUE;
}

LPWSTR FormatTypedValue(WORD type, const void* value, LPWSTR buffer, DWORD chars) {
  if (!value || !buffer || chars == 0) return nullptr;
  char text[16];
  switch (type) {
    case kTypeLong: case kTypeLong4: case kTypeLong10: {
      int32_t v;
      std::memcpy(&v, value, 4);
      std::snprintf(text, sizeof text, "%ld", static_cast<long>(v));
      break;
    }
    case kTypeDword: {
      uint32_t v;
      std::memcpy(&v, value, 4);
      std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(v));
      break;
    }
    case kTypeShort: {
      int16_t v;
      std::memcpy(&v, value, 2);
      std::snprintf(text, sizeof text, "%d", v);
      break;
    }
    case kTypeWord: {
      uint16_t v;
      std::memcpy(&v, value, 2);
      std::snprintf(text, sizeof text, "%d", v);
      break;
    }
    case kTypeByte: std::snprintf(text, sizeof text, "%d", *static_cast<const uint8_t*>(value)); break;
    case kTypeString: {
      const auto* s = static_cast<const WCHAR*>(value);
      DWORD i = 0;
      for (; i + 1 < chars && s[i]; ++i) buffer[i] = s[i];
      buffer[i] = 0;
      return buffer;
    }
    default: return nullptr;
  }
  DWORD i = 0;
  for (; i + 1 < chars && text[i]; ++i) buffer[i] = static_cast<WCHAR>(text[i]);
  buffer[i] = 0;
  return buffer;
}

void* AllocItemBuffer() { return GlobalAlloc(GPTR, 800); }
