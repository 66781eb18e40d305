// The tooltip windows of a sheet's pages and dialogs, their tools, and the
// six summary icons next to a preview picture whose tips spell out the
// settings each icon stands for.
#include <cstring>
#include <string>

#include "property_sheets/dialog_helpers.h"
#include "property_sheets/preview.h"
#include "property_sheets/sheet_controls.h"
#include "property_sheets/sheet_engine.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/database/ddd_records.h"
#include "settings/devmode/paper_source_table.h"
#include "settings/items/item_access.h"
#include "settings/items/item_info.h"
#include "win/controls.h"
#include "win/memory.h"
#include "win/resources.h"

namespace {

constexpr INT kTipWidth = 256;
constexpr UINT kNameSeparator = 5314;
constexpr UINT kPartSeparator = 5315;
constexpr UINT kStampName = 481;
constexpr UINT kOverlayName = 5122;
constexpr UINT kOverlayOn = 5316;
constexpr INT kIconSize = 32;
constexpr INT kColumnStep = 34;

INT send_tool(HWND dialog, HWND tooltip, UINT message, UINT tool_id, UINT flags, const RECT& rect, LPCWSTR text) {
  if (!tooltip) return 0;
  TOOLINFOW info{};
  info.cbSize = sizeof info;
  info.uFlags = flags;
  info.hwnd = dialog;
  info.uId = tool_id;
  info.rect = rect;
  info.hinst = GetResourceModule();
  info.lpszText = const_cast<LPWSTR>(text);
  return static_cast<INT>(SendMessageW(tooltip, message, 0, reinterpret_cast<LPARAM>(&info)));
}

std::u16string resource_text(UINT id) {
  WCHAR text[257] = {};
  return LoadStringW(GetResourceModule(), id, text, 257) > 0 ? std::u16string(text) : std::u16string();
}

// Builds the parts of one icon's tip, separated by string 5315.
class TipText {
 public:
  TipText(DddHandle* database, void* devmode) : database_(database), devmode_(devmode) {
    name_separator_ = resource_text(kNameSeparator);
    part_separator_ = resource_text(kPartSeparator);
  }
  // The setting's name, the separator and the text of its choice `value`
  // (up to a carriage return); false when the setting or choice is unknown.
  bool setting(WORD ddmid, LONG value) {
    ItemInfo* info = BuildItemInfo(database_, ddmid, devmode_, nullptr, GetResourceModule());
    if (!info) return false;
    bool found = false;
    for (LONG c = 0; c < info->count && !found; ++c) {
      const ItemChoice* choice = ItemInfo_GetChoice(info, c);
      if (!choice || GetTypedValue(info->value_type, ItemInfo_GetChoiceAt(info, c)) != value) continue;
      std::u16string text = choice->text ? choice->text : u"";
      text = text.substr(0, text.find(u'\r'));
      part(info->name ? info->name : u"", text);
      found = true;
    }
    ItemInfo_Free(info);
    return found;
  }
  void part(const std::u16string& name, const std::u16string& value) {
    if (!text_.empty()) text_ += part_separator_;
    text_ += name + name_separator_ + value;
  }
  const std::u16string& text() const { return text_; }

 private:
  DddHandle* database_;
  void* devmode_;
  std::u16string name_separator_, part_separator_, text_;
};

std::u16string text_setting(void* devmode, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, devmode, nullptr, &type, &size, &value) || type != 6 || !value.ptr) return {};
  return ItemText(value, size);
}

void store(SummaryIconEntry* entry, const std::u16string& text) {
  std::memset(entry->text, 0, sizeof entry->text);
  AppendTextBounded(entry->text, text.c_str(), 256);
  entry->shown = text.empty() ? 0 : 1;
}

// ---- tray tips ----

struct TrayTipRow {
  WORD tool;    // the paper source
  DWORD bit;    // its installed-source bit
  WORD record;  // the database item that places the tip
  WORD ddmid;   // the setting whose value selects the placement
};
constexpr TrayTipRow kTrayTips[kTrayTooltipRows] = {
    {1, 0x1, 4609, 4609},       {3, 0x2, 4610, 4610},       {2, 0x4, 4611, 4611},     {257, 0x8, 4612, 4612},
    {261, 0x10, 4614, 4614},    {262, 0x20, 4615, 4615},    {11, 0x40, 4616, 4097},   {265, 0x80, 4617, 4617},
    {266, 0x100, 4618, 4618},   {267, 0x200, 4619, 4619},   {4, 0x800, 4613, 4613},   {272, 0x1000, 4621, 4621},
    {271, 0x2000, 4622, 4621},
};
constexpr INT kDevicePicture = 1187;
constexpr WORD kManualFeed = 4;
constexpr WORD kTraySetting = 265;
constexpr WORD kTextForms = 0x8002;
constexpr DWORD kMediaMask = 0x80000000;

DWORD source_bit(WORD source) {
  switch (source) {
    case 1: return 0x1;
    case 2: return 0x4;
    case 3: return 0x2;
    case 4: return 0x800;
    case 11: return 0x40;
    case 257: return 0x8;
    case 261: return 0x10;
    case 262: return 0x20;
    case 265: return 0x80;
    case 266: return 0x100;
    case 267: return 0x200;
    default: return 0;
  }
}

LONG number_setting(void* devmode, void* printer_data, WORD ddmid, bool* ok) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  *ok = GetItemValue(ddmid, devmode, printer_data, &type, &size, &value) == 0 && type != 6;
  return *ok ? GetTypedValue(type, &value) : 0;
}

// The text of the choice of `ddmid` whose value is `value`.
std::u16string choice_text(DddHandle* database, void* devmode, void* printer_data, WORD ddmid, LONG value,
                           bool first = false) {
  ItemInfo* info = BuildItemInfo(database, ddmid, devmode, printer_data, GetResourceModule());
  std::u16string text;
  for (LONG c = 0; info && c < info->count; ++c)
    if (first || (info->value_type != 6 && GetTypedValue(info->value_type, ItemInfo_GetChoiceAt(info, c)) == value)) {
      const LPCWSTR t = ItemInfo_GetChoiceText(info, c);
      text = t ? t : u"";
      break;
    }
  ItemInfo_Free(info);
  return text;
}

// The tip's rectangle inside the device picture: the placement of the
// record's choice for the setting's value.
bool tip_rect(DddHandle* database, WORD record, LONG value, RECT* rect) {
  const DWORD key = static_cast<DWORD>(value);
  WORD kind = 0;
  DddValue* choice = nullptr;
  if (DddGetItemValue(DDD_LOAD_FULL, &database->main, &database->linked, record, &key, &kind, &choice) || !choice)
    return false;
  const bool is_choice = kind == DDD_KIND_CHOICE || kind == DDD_KIND_CHOICE_ALT;
  const WORD dimension = is_choice ? static_cast<const DddChoice*>(choice)->dimension_id : 0;
  DddFreeValue(&choice, 0xFFFF);
  DddPair first{}, second{};
  if (!dimension ||
      DddLoadDimensionRecord(&database->main, &database->linked, DDD_ROLE_MAIN, dimension, &first, &second))
    return false;
  *rect = RECT{first.first, first.second, second.first, second.second};
  return true;
}

// The form of a tray's text by its paper: 1 the paper's first list text,
// 2 and 3 the paper and media-type choices.
INT text_form(DddHandle* database, LONG paper, LONG media) {
  const DWORD key = static_cast<DWORD>(paper);
  WORD kind = 0;
  DddValue* entry = nullptr;
  if (DddGetItemValue(DDD_LOAD_FULL, &database->main, &database->linked, kTextForms, &key, &kind, &entry) || !entry) return 1;
  const WORD mode = kind == DDD_KIND_RANGE ? static_cast<const DddRange*>(entry)->word : 0xFFFF;
  DddFreeValue(&entry, 0xFFFF);
  const bool mask = HasDeviceCapability(database, kMediaMask) != 0;
  switch (mode) {
    case 3: return 2;
    case 0: return 3;
    case 1: return (mask && media == 2) || (!mask && media == 1) ? 2 : 1;
    case 2: return (!mask && media == 2) || (mask && media == 1) ? 2 : 1;
    default: return 1;
  }
}

TrayTooltipRecord* tray_record(HWND dialog) {
  SheetState* state = GetSheetState(dialog);
  return state ? static_cast<TrayTooltipRecord*>(state->scratch) : nullptr;
}

}  // namespace

DWORD GetInstalledSourceBits(DddHandle* database) {
  if (!database) return 0;
  DWORD bits = 0;
  const WORD count = DddGetRecordCount(&database->main, DDD_KIND_RANGE);
  for (WORD n = 1; n <= count; ++n) {
    DddValue* source = nullptr;
    if (DddLoadValue(DDD_LOAD_HEADER, &database->main, &database->linked, DDD_KIND_RANGE, n, &source) || !source) continue;
    bits |= source_bit(source->id);
    DddFreeValue(&source, 0xFFFF);
  }
  return bits;
}

INT CreateTrayTooltips(HWND dialog) {
  SheetState* state = GetSheetState(dialog);
  if (!state) return 0;
  if (state->scratch) return 1;
  if (!state->page_tooltip) return 0;
  auto* record = static_cast<TrayTooltipRecord*>(GlobalAlloc(GPTR, sizeof(TrayTooltipRecord)));
  if (!record) return 0;
  record->installed = GetInstalledSourceBits(state->database);
  record->tooltip = state->page_tooltip;
  state->scratch = record;
  return 1;
}

INT AddTrayTools(HWND dialog) {
  TrayTooltipRecord* record = tray_record(dialog);
  if (!record) return 0;
  for (const TrayTipRow& row : kTrayTips)
    if (record->installed & row.bit) AddTooltip(dialog, record->tooltip, row.tool, TTF_SUBCLASS, u"");
  return 1;
}

INT UpdateTrayTooltips(ControlEvent* event, HWND dialog) {
  TrayTooltipRecord* record = tray_record(dialog);
  const SheetState* state = GetSheetState(dialog);
  HWND picture = GetDlgItem(dialog, kDevicePicture);
  if (!event || !record || !state || !state->database || !picture) return 0;
  DddHandle* database = state->database;
  RECT area{};
  GetWindowRect(picture, &area);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
  for (INT i = 0; i < kTrayTooltipRows; ++i) {
    const TrayTipRow& row = kTrayTips[i];
    if (!(record->installed & row.bit)) continue;
    bool ok = false;
    const LONG value = number_setting(event->devmode, event->printer_data, row.ddmid, &ok);
    if (!ok) return 0;
    if (value == 0) {
      SetTooltipRect(dialog, record->tooltip, row.tool, TTF_SUBCLASS, 0, 0, 0, 0);
      continue;
    }
    RECT tip{};
    if (!tip_rect(database, row.record, value, &tip)) return 0;
    std::u16string text;
    if (row.tool == kManualFeed) {
      text = choice_text(database, event->devmode, event->printer_data, kTraySetting, kManualFeed);
    } else {
      WORD ids[kPaperSourceIds] = {};
      if (!GetSourceSettingIds(row.tool, ids)) return 0;
      const LONG paper = number_setting(event->devmode, event->printer_data, ids[0], &ok);
      const LONG media = ok ? number_setting(event->devmode, event->printer_data, ids[2], &ok) : 0;
      if (!ok) return 0;
      if (text_form(database, paper, media) == 1) {
        text = choice_text(database, event->devmode, event->printer_data, ids[0], 0, true);
      } else {
        text = choice_text(database, event->devmode, event->printer_data, ids[0], paper) + u" " +
               choice_text(database, event->devmode, event->printer_data, ids[2], media);
      }
    }
    std::memset(record->texts[i], 0, sizeof record->texts[i]);
    AppendTextBounded(record->texts[i], text.c_str(), 128);
    SetTooltipRect(dialog, record->tooltip, row.tool, TTF_SUBCLASS, area.left + tip.left, area.top + tip.top,
                   area.left + tip.right, area.top + tip.bottom);
    UpdateTooltipText(dialog, record->tooltip, row.tool, TTF_SUBCLASS, record->texts[i]);
  }
  return 1;
}

HWND CreateTooltipWindow(HWND owner, INT max_width) {
  HWND tooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, GetResourceModule(), nullptr);
  if (tooltip && max_width) SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, max_width);
  return tooltip;
}

INT AddTooltip(HWND dialog, HWND tooltip, UINT tool_id, UINT flags, LPCWSTR text) {
  if (!text) return 0;
  send_tool(dialog, tooltip, TTM_ADDTOOLW, tool_id, flags, RECT{}, text);
  return 1;
}

INT UpdateTooltipText(HWND dialog, HWND tooltip, UINT tool_id, UINT flags, LPCWSTR text) {
  if (!tooltip || !text) return 0;
  send_tool(dialog, tooltip, TTM_UPDATETIPTEXTW, tool_id, flags, RECT{}, text);
  return 1;
}

INT SetTooltipRect(HWND dialog, HWND tooltip, UINT tool_id, UINT flags, LONG left, LONG top, LONG right,
                   LONG bottom) {
  if (!tooltip) return 0;
  send_tool(dialog, tooltip, TTM_NEWTOOLRECTW, tool_id, flags, RECT{left, top, right, bottom}, nullptr);
  return 1;
}

// ---- summary icons ----------------------------------------------------------------------

INT BuildSummaryIconTexts(DddHandle* database, void* devmode, const PreviewSettings* s, SummaryIconSet* set) {
  if (!database || !devmode || !s || !set) return 0;
  for (INT i = 0; i < kSummaryIconCount; ++i) {
    TipText tip(database, devmode);
    bool ok = true;
    switch (i) {
      case 0:
        ok = tip.setting(7, s->orientation) && (!s->side437 || tip.setting(437, s->side437));
        break;
      case 1:
        if (!IsDeviceColorCapable(database, devmode)) ok = tip.setting(18, s->flag18);
        break;
      case 2:
        if (s->optionMask08000000) {
          if (s->option1313) ok = tip.setting(1313, s->option1313);
          if (ok && s->value404 == 1) ok = tip.setting(404, 1);
          if (ok && s->value405 == 1) ok = tip.setting(405, 1);
          if (ok && s->value406 == 1) ok = tip.setting(406, 1);
        } else {
          if (s->option1313) ok = tip.setting(1313, s->option1313);
          if (ok && s->value332) ok = tip.setting(332, s->value332);
        }
        if (ok && s->value458 == 1) ok = tip.setting(458, 1);
        break;
      case 3: {
        const std::u16string stamp = text_setting(devmode, 297);
        if (!stamp.empty()) tip.part(resource_text(kStampName), stamp);
        if (s->firstOf1296) tip.part(resource_text(kOverlayName), resource_text(kOverlayOn));
        if (s->value339 == 1) ok = tip.setting(339, 1);
        break;
      }
      case 4:
        if (s->position320 == 9 || s->position320 == 10) ok = tip.setting(320, s->position320);
        if (ok && s->position341 == 5) ok = tip.setting(341, 5);
        if (ok && s->value1330) ok = tip.setting(1330, s->value1330);
        break;
      default:
        if (s->kind448) ok = tip.setting(448, s->kind448);
        break;
    }
    if (!ok) {
      store(&set->icons[i], {});
      return 0;
    }
    store(&set->icons[i], tip.text());
  }
  return 1;
}

INT CreateSummaryIcons(ControlEvent* event) {
  SheetState* state = event ? GetSheetState(event->window) : nullptr;
  if (!state) return 0;
  if (!state->summary_icons) {
    state->summary_icons = GlobalAlloc(GPTR, sizeof(SummaryIconSet));
    if (!state->summary_icons) return 0;
  }
  HWND& tooltip = event->type == kDialogTypeDialog ? state->dialog_tooltip : state->page_tooltip;
  if (!tooltip) tooltip = CreateTooltipWindow(event->window, kTipWidth);
  if (!tooltip) return 0;
  auto* set = static_cast<SummaryIconSet*>(state->summary_icons);
  for (INT i = 0; i < kSummaryIconCount; ++i)
    AddTooltip(event->window, tooltip, kSummaryIconFirstTool + static_cast<UINT>(i), TTF_SUBCLASS, set->icons[i].text);
  return 1;
}

INT UpdateSummaryIcons(ControlEvent* event, INT picture_id) {
  SheetContext* context = event ? GetSheetContext(event->window) : nullptr;
  SheetState* state = context ? context->state : nullptr;
  if (!state || !state->summary_icons) return 0;
  HWND tooltip = event->type == kDialogTypeDialog ? state->dialog_tooltip : state->page_tooltip;
  HWND picture = GetDlgItem(event->window, picture_id);
  if (!tooltip || !picture) return 0;
  PreviewSettings settings;
  if (ReadPreviewSettings(context, &settings) != 0) return 0;
  auto* set = static_cast<SummaryIconSet*>(state->summary_icons);
  const INT built = BuildSummaryIconTexts(state->database, context->current.devmode, &settings, set);
  RECT area{};
  GetWindowRect(picture, &area);
  MapWindowPoints(nullptr, event->window, reinterpret_cast<POINT*>(&area), 2);
  for (INT i = 0; i < kSummaryIconCount; ++i) {
    const UINT tool = kSummaryIconFirstTool + static_cast<UINT>(i);
    const LONG left = area.left + 2 + (i / 4) * kColumnStep;
    const LONG top = area.top + (i % 4) * kIconSize;
    if (set->icons[i].shown)
      SetTooltipRect(event->window, tooltip, tool, TTF_SUBCLASS, left, top, left + kIconSize, top + kIconSize);
    else
      SetTooltipRect(event->window, tooltip, tool, TTF_SUBCLASS, 0, 0, 0, 0);
    UpdateTooltipText(event->window, tooltip, tool, TTF_SUBCLASS, set->icons[i].text);
  }
  return built;
}
