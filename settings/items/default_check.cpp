// The default self-check of a settings pair.
#include "settings/items/default_check.h"

#include <string>

#include "ddm/ddmid.h"
#include "settings/constraints/conflict_check.h"
#include "settings/items/item_access.h"
#include "settings/items/item_info.h"
#include "settings/items/setting_items.h"
#include "win/memory.h"
#include "win/msgbox.h"
#include "win/resources.h"

using namespace morva::ddm;

namespace {

constexpr UINT kDefaultCheckTextId = 389;
constexpr int kDefaultCheckTextChars = 108;

// "DDMID = 0x<hex><text>".
std::u16string failure_text(WORD ddmid, const std::u16string& text) {
  static const char16_t digits[] = u"0123456789abcdef";
  std::u16string hex;
  do {
    hex.insert(hex.begin(), digits[ddmid & 0xF]);
    ddmid >>= 4;
  } while (ddmid);
  return u"DDMID = 0x" + hex + text;
}

// Shows one box per flagged entry; TRUE when there was one.
bool report_flagged(HMODULE resources, HWND owner, const DefaultCheckEntry* table) {
  bool any = false;
  for (WORD i = 0; i < kDefaultCheckEntries; ++i) {
    if (!table[i].flag) continue;
    any = true;
    WCHAR buffer[kDefaultCheckTextChars + 1] = {};
    const int chars = resources ? LoadStringW(resources, kDefaultCheckTextId, buffer, kDefaultCheckTextChars + 1) : 0;
    const std::u16string text = failure_text(table[i].ddmid, std::u16string(buffer, chars > 0 ? chars : 0));
    MessageBoxW(owner, text.c_str(), u"Default Set Err", MB_ICONERROR);
  }
  return any;
}

struct ReportHolder {
  ConflictReport* report = NewConflictReport();
  ReportHolder() = default;
  ReportHolder(const ReportHolder&) = delete;
  ReportHolder& operator=(const ReportHolder&) = delete;
  ~ReportHolder() { FreeConflictReport(report); }
};

struct InfoHolder {
  ItemInfo* info;
  explicit InfoHolder(ItemInfo* i) : info(i) {}
  InfoHolder(const InfoHolder&) = delete;
  InfoHolder& operator=(const InfoHolder&) = delete;
  ~InfoHolder() { ItemInfo_Free(info); }
};

}  // namespace

INT CheckDefaultSettings(HMODULE resources, HANDLE printer, DddHandle* database, void* devmode, void* printer_data,
                         WORD** change_list, HWND owner, DefaultCheckEntry* table, WORD* last_ddmid) {
  if (!database || !devmode || !printer_data || !table || !last_ddmid) return -1;
  if (change_list) *change_list = nullptr;
  for (WORD i = 0; i < kDefaultCheckEntries; ++i) table[i].flag = 0;
  ReportHolder holder;
  if (!holder.report) return -1;

  for (const SettingItemGroup* g = GetItemGroups(); g->id != kItemGroupEnd; ++g) {
    for (WORD n = 0; n < g->count; ++n) {
      const WORD ddmid = g->items[n].ddmid;
      InfoHolder info(BuildItemInfo(database, ddmid, devmode, printer_data, resources));
      if (!info.info) continue;
      WORD type = 0;
      DWORD size = 0;
      ItemValue value{};
      if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &value) != kDdmOk) return -1;
      const WORD kind = ItemInfo_GetKind(info.info);
      if (kind == kItemKindUnusable) return -1;
      if (kind == kItemKindNumber || kind == kItemKindText) continue;

      // The current value, checked as if it were being set.
      std::u16string text;
      const void* current = &value;
      if (type == kTypeString) {
        text = ItemText(value, size);
        current = text.c_str();
      }
      ResetConflictReport(holder.report);
      WORD* list = nullptr;
      if (CheckSettingChange(kCheckModeChange, printer, database, devmode, printer_data, nullptr, ddmid, type, current,
                             holder.report, &list, 0))
        return -1;
      if (holder.report->kind == kConflictNone) {
        if (list) GlobalFree(list);
        continue;
      }

      WORD slot = kDefaultCheckEntries;
      for (WORD i = 0; i < kDefaultCheckEntries && slot == kDefaultCheckEntries; ++i)
        if (table[i].ddmid == ddmid) slot = i;
      if (slot != kDefaultCheckEntries) {
        // Failed twice already: noted, reported at the end.
        table[slot].flag = 1;
        if (list) GlobalFree(list);
        continue;
      }
      if (ddmid == *last_ddmid) {
        // The same conflict twice in a row: the caller's change did not
        // mend it, so it goes into the table.
        for (WORD i = 0; i < kDefaultCheckEntries && slot == kDefaultCheckEntries; ++i)
          if (table[i].ddmid == 0) slot = i;
        if (slot == kDefaultCheckEntries) {
          if (list) GlobalFree(list);
          return -1;
        }
        table[slot].ddmid = ddmid;
        table[slot].flag = 1;
      }
      *last_ddmid = ddmid;
      if (change_list) *change_list = list;
      else if (list) GlobalFree(list);
      return 2;
    }
  }
  return report_flagged(resources, owner, table) ? -1 : 1;
}
