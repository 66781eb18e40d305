// The rows of the owner-drawn option list (name and value columns) and tray
// list (tray, paper with its feed-orientation icon, media type and second
// media attribute), the fitting of a text into a column, and the icons the
// icon lists show next to their choices.
#include <string>

#include "control_handlers.h"
#include "property_sheets/sheet_controls.h"
#include "property_sheets/sheet_engine.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/devmode/paper_source_table.h"
#include "settings/items/item_access.h"
#include "settings/items/item_info.h"
#include "win/controls.h"
#include "win/gdi.h"
#include "win/resources.h"

namespace {

constexpr UINT kEllipsisString = 477;
constexpr INT kMaxDrawnText = 255;
constexpr DWORD kFourthTrayColumn = 0xFFFF0036;
constexpr WORD kNoPaper = 273;
constexpr WORD kTraySize = 275;
constexpr WORD kFeedIconLong = 1011;
constexpr WORD kFeedIconShort = 1012;
constexpr INT kTrayColumns[] = {71, 123, 164};  // dialog units
constexpr INT kPaperTextIndent = 14;            // pixels at 96 dpi

LONG scale_for_screen(HDC dc, LONG value, INT index) {
  const INT dpi = dc ? GetDeviceCaps(dc, index == LOGPIXELSX ? LOGPIXELSX : LOGPIXELSY) : 96;
  return static_cast<LONG>(static_cast<double>(static_cast<ULONG>(value)) * (dpi > 0 ? dpi : 96) / 96.0);
}

std::u16string row_text(const DRAWITEMSTRUCT* item) {
  WCHAR text[128] = {};
  const UINT get = item->CtlType == ODT_COMBOBOX ? CB_GETLBTEXT : LB_GETTEXT;
  const UINT length = item->CtlType == ODT_COMBOBOX ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
  const LRESULT n = SendMessageW(item->hwndItem, length, item->itemID, 0);
  if (n < 0 || n > 127) return {};
  SendMessageW(item->hwndItem, get, item->itemID, reinterpret_cast<LPARAM>(text));
  return text;
}

LONG dialog_x(HWND dialog, INT units) {
  RECT r{units, 0, units, 0};
  MapDialogRect(dialog, &r);
  return r.left;
}

LONG read_number(ControlEvent* event, WORD ddmid, bool* ok = nullptr) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  const bool read = GetItemValue(ddmid, event->devmode, event->printer_data, &type, &size, &value) == 0;
  if (ok) *ok = read;
  return read && type != 6 ? GetTypedValue(type, &value) : 0;
}

std::u16string read_text(ControlEvent* event, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, event->devmode, event->printer_data, &type, &size, &value) || type != 6 || !value.ptr)
    return {};
  return ItemText(value, size);
}

// The text of the choice of `ddmid` whose value is `value`, from the
// sheet's cached list or a list made for the call.
std::u16string choice_text(ControlEvent* event, WORD ddmid, LONG value) {
  ItemInfo* cached = GetItemInfo(event->window, ddmid);
  ItemInfo* info = cached ? cached
                          : BuildItemInfo(event->database, ddmid, event->devmode, event->printer_data,
                                          GetResourceModule());
  std::u16string text;
  for (LONG c = 0; info && c < info->count; ++c)
    if (info->value_type != 6 && GetTypedValue(info->value_type, ItemInfo_GetChoiceAt(info, c)) == value) {
      const LPCWSTR t = ItemInfo_GetChoiceText(info, c);
      text = t ? t : u"";
      break;
    }
  if (!cached && info) ItemInfo_Free(info);
  return text;
}

std::u16string before_last_return(const std::u16string& text) {
  const size_t at = text.rfind(u'\r');
  return at == std::u16string::npos ? text : text.substr(0, at);
}

// Paper names: mode 0 cuts at the last "("; mode 2 removes from the last
// "(" through the last ")".
std::u16string trim_paper_name(const std::u16string& text, INT mode) {
  const size_t open = text.rfind(u'(');
  if (open == std::u16string::npos) return text;
  if (mode == 0) return text.substr(0, open);
  const size_t close = text.rfind(u')');
  if (close == std::u16string::npos || close < open) return text;
  return text.substr(0, open) + text.substr(close + 1);
}

// What follows the first "(" up to the last ")"; empty when there is none.
std::u16string bracketed(const std::u16string& text) {
  const size_t open = text.find(u'(');
  const size_t close = text.rfind(u')');
  if (text.size() < 2 || open == std::u16string::npos || close == std::u16string::npos || close <= open) return {};
  return text.substr(open + 1, close - open - 1);
}

// A media type's custom name (13..17 → 6401..6405, second attributes
// 11..15 → 6411..6415) or its choice text, cut at its last carriage return.
std::u16string media_text(ControlEvent* event, WORD ddmid, LONG value, WORD first_custom, LONG first_value, INT trim) {
  if (value >= first_value && value < first_value + 5) {
    const std::u16string custom = read_text(event, static_cast<WORD>(first_custom + (value - first_value)));
    if (!custom.empty()) return before_last_return(custom);
  }
  const std::u16string text = before_last_return(choice_text(event, ddmid, value));
  return trim >= 0 ? trim_paper_name(text, trim) : text;
}

bool fourth_column(ControlEvent* event) {
  const SheetState* state = GetSheetState(event->window);
  return state && TestCapabilityBit(&state->capabilities, kFourthTrayColumn);
}

// Draws icon `id` of the resource module at its own size; 1 when drawn.
INT draw_icon(HDC dc, WORD id, LONG x, LONG y) {
  auto icon = static_cast<HICON>(LoadImageW(GetResourceModule(), MAKEINTRESOURCEW(id), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR));
  if (!icon) return 0;
  const BOOL drawn = DrawIconEx(dc, static_cast<INT>(x), static_cast<INT>(y), icon, 0, 0, 0, nullptr, DI_NORMAL);
  DestroyIcon(icon);
  return drawn ? 1 : 0;
}

INT draw_row(ControlEvent* event, DRAWITEMSTRUCT* item, const ControlRecord* record, INT variant,
             INT (*drawer)(ControlEvent*, const ControlRecord*, const DRAWITEMSTRUCT*, INT, INT, INT)) {
  if (!event || !item || !record) return 1;
  if ((item->itemAction != ODA_DRAWENTIRE && item->itemAction != ODA_SELECT) || item->itemID == static_cast<UINT>(-1))
    return 0;
  const bool selected = (item->itemState & ODS_SELECTED) != 0;
  FillRect(item->hDC, &item->rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  SetTextColor(item->hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  SetBkMode(item->hDC, TRANSPARENT);
  TEXTMETRICW metrics{};
  GetTextMetricsW(item->hDC, &metrics);
  const INT x = item->rcItem.left + static_cast<INT>(scale_for_screen(item->hDC, 4, LOGPIXELSX));
  const INT y = (item->rcItem.top + item->rcItem.bottom - metrics.tmHeight) / 2;
  return drawer(event, record, item, variant, x, y);
}

}  // namespace

INT DrawTextEllipsis(HDC dc, LPCWSTR text, LONG left, LONG top, LONG right, LONG bottom) {
  if (!dc || !text) return 0;
  std::u16string shown(text);
  if (shown.size() > kMaxDrawnText) shown.resize(kMaxDrawnText);
  WCHAR suffix[8] = {};
  if (LoadStringW(GetResourceModule(), kEllipsisString, suffix, 8) <= 0) std::char_traits<char16_t>::copy(suffix, u"...", 4);
  std::u16string body = shown;
  const LONG width = right - left;
  for (;;) {
    RECT measure{0, 0, 0, 0};
    DrawTextW(dc, shown.c_str(), static_cast<INT>(shown.size()), &measure, DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
    if (measure.right - measure.left <= width || body.empty()) break;
    body.pop_back();
    shown = body + suffix;
  }
  RECT column{left, top, right, bottom};
  DrawTextW(dc, shown.c_str(), static_cast<INT>(shown.size()), &column, DT_NOPREFIX | DT_SINGLELINE);
  return 1;
}

INT GetTrayColumnIds(WORD key, WORD* paper, WORD* feed, WORD* media) {
  WORD ids[kPaperSourceIds] = {};
  if (!GetSourceSettingIds(key, ids)) return 0;
  if (paper) *paper = ids[0];
  if (feed) *feed = ids[1];
  if (media) *media = ids[2];
  return 1;
}

INT DrawTabbedListItem(ControlEvent* event, const ControlRecord* record, const DRAWITEMSTRUCT* item, INT, INT,
                       INT y) {
  if (!event || !record || !item) return 1;
  const std::u16string text = row_text(item);
  const size_t tab = text.find(u'\t');
  const auto* head = static_cast<const ListDataHead*>(record->kind_data);
  const LONG column = item->rcItem.left + (head ? dialog_x(event->window, head->value_column) : 0);
  const LONG bottom = item->rcItem.bottom;
  DrawTextEllipsis(item->hDC, text.substr(0, tab).c_str(), item->rcItem.left + 2, y, column, bottom);
  if (tab != std::u16string::npos)
    DrawTextEllipsis(item->hDC, text.substr(tab + 1).c_str(), column, y, item->rcItem.right, bottom);
  return 0;
}

INT DrawTrayListItem(ControlEvent* event, const ControlRecord* record, const DRAWITEMSTRUCT* item, INT, INT x,
                     INT y) {
  if (!event || !record || !item) return 1;
  HDC dc = item->hDC;
  const std::u16string text = row_text(item);
  const bool four = fourth_column(event);
  LONG columns[4] = {x, item->rcItem.left + dialog_x(event->window, kTrayColumns[0]),
                     item->rcItem.left + dialog_x(event->window, kTrayColumns[1]),
                     four ? item->rcItem.left + dialog_x(event->window, kTrayColumns[2]) : item->rcItem.right};
  const LONG bottom = item->rcItem.bottom;
  const LONG right_of[4] = {columns[1], columns[2], columns[3], item->rcItem.right};
  DrawTextEllipsis(dc, before_last_return(text).c_str(), columns[0], y, right_of[0], bottom);
  // The tray key: the value of the row's choice.
  const SettingSlot* slot = GetCurrentSlot(event->window, record);
  ItemInfo* info = slot ? GetItemInfo(event->window, slot->ddmid) : nullptr;
  const ItemChoice* choice = info ? ItemInfo_FindChoiceByText(info, text.c_str()) : nullptr;
  if (!choice || info->value_type == 6) return 0;
  const WORD key = static_cast<WORD>(GetTypedValue(info->value_type, &choice->value));
  WORD ids[kPaperSourceIds] = {};
  if (GetSourceSettingIds(key, ids)) {
    const LONG paper = read_number(event, ids[0]);
    const LONG feed = read_number(event, ids[1]);
    if (paper != kNoPaper) {
      draw_icon(dc, feed == 1 ? kFeedIconLong : kFeedIconShort, columns[1], item->rcItem.top);
      const std::u16string paper_text = before_last_return(choice_text(event, ids[0], paper));
      std::u16string second = paper == kTraySize ? bracketed(paper_text) : trim_paper_name(paper_text, 0);
      if (second.empty() || second.back() != u' ') second += u' ';
      second += before_last_return(choice_text(event, ids[1], feed));
      DrawTextEllipsis(dc, second.c_str(), columns[1] + scale_for_screen(dc, kPaperTextIndent, LOGPIXELSX), y,
                       right_of[1], bottom);
    }
    const LONG media = read_number(event, ids[2]);
    DrawTextEllipsis(dc, media_text(event, ids[2], media, 6401, 13, 2).c_str(), columns[2], y, right_of[2], bottom);
    const LONG attribute = read_number(event, ids[3]);
    if (four && attribute != 17)
      DrawTextEllipsis(dc, media_text(event, ids[3], attribute, 6411, 11, -1).c_str(), columns[3], y, right_of[3],
                       bottom);
    return 0;
  }
  if (key == 4 || key == 260) {
    DrawTextEllipsis(dc, media_text(event, 388, read_number(event, 388), 6401, 13, -1).c_str(), columns[2], y,
                     right_of[2], bottom);
  } else if (key == 7) {
    const LONG media = read_number(event, 453);
    if (record->id != 1210 && !(record->id == 1016 && media == 48))
      DrawTextEllipsis(dc, media_text(event, 453, media, 6401, 13, -1).c_str(), columns[2], y, right_of[2], bottom);
    bool exists = false;
    const LONG attribute = read_number(event, 468, &exists);
    if (four && exists && record->id != 1210 && attribute != 17)
      DrawTextEllipsis(dc, media_text(event, 468, attribute, 6411, 11, -1).c_str(), columns[3], y, right_of[3],
                       bottom);
  }
  return 0;
}

INT OptionListDrawHook(ControlEvent* event, DRAWITEMSTRUCT* item, const ControlRecord* record, const void*,
                       INT variant) {
  return draw_row(event, item, record, variant, DrawTabbedListItem);
}

INT TrayListDrawHook(ControlEvent* event, DRAWITEMSTRUCT* item, const ControlRecord* record, const void*,
                     INT variant) {
  return draw_row(event, item, record, variant, DrawTrayListItem);
}

// ---- choice icons ----------------------------------------------------------------------

namespace {

struct IconRow {
  LONG key;
  WORD portrait;
  WORD landscape;
};

constexpr IconRow kIcons295[] = {{1, 2357, 2357},  {2, 2358, 2359},  {4, 2360, 2361},
                                 {8, 2362, 2363},  {16, 2364, 2365}, {32, 2366, 2367}, {-1, 0, 0}};
constexpr IconRow kIcons264[] = {{0, 0, 0},       {1, 2369, 2371}, {2, 2368, 2370}, {3, 2375, 2375},
                                 {4, 2374, 2374}, {5, 2373, 2373}, {6, 2372, 2372}, {-1, 0, 0}};
constexpr IconRow kIcons270[] = {{0, 2376, 2376}, {1, 2377, 2377}, {2, 2378, 2378}, {-1, 0, 0}};
constexpr IconRow kIcons291[] = {{0, 2400, 2400}, {3, 2401, 2401}, {4, 2402, 2402},
                                 {5, 2403, 2403}, {6, 2404, 2404}, {-1, 0, 0}};
constexpr IconRow kIconsLayout[] = {{1, 2354, 2405}, {2, 2355, 2406}, {3, 2356, 2407}, {-1, 0, 0}};

LONG setting_value(void* devmode, void* printer_data, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &value) || type == 6) return 0;
  return GetTypedValue(type, &value);
}

// The icon of `key` for orientation 1 (portrait) or 2 (landscape); other
// orientations have none.
WORD icon_for(const IconRow* table, LONG key, LONG orientation) {
  if (orientation != 1 && orientation != 2) return 0;
  for (const IconRow* row = table; row->key != -1; ++row)
    if (row->key == key) return orientation == 1 ? row->portrait : row->landscape;
  return 0;
}

WORD by_orientation(const IconRow* table, const LONG* key, void* devmode, void* printer_data) {
  if (!key || !devmode || !printer_data) return 0;
  return icon_for(table, *key, setting_value(devmode, printer_data, 7));
}

}  // namespace

WORD ChoiceIconFor295(INT, const LONG* key, void* devmode, void* printer_data) {
  return by_orientation(kIcons295, key, devmode, printer_data);
}

WORD ChoiceIconFor264(INT, const LONG* key, void* devmode, void* printer_data) {
  return by_orientation(kIcons264, key, devmode, printer_data);
}

WORD ChoiceIconFor270(INT, const LONG* key, void* devmode, void* printer_data) {
  if (!key || !devmode || !printer_data) return 0;
  return icon_for(kIcons270, *key, 1);
}

WORD ChoiceIconFor291(INT, const LONG* key, void* devmode, void* printer_data) {
  if (!key || !devmode || !printer_data) return 0;
  return icon_for(kIcons291, *key, 1);
}

WORD ChoiceIconByLayout(INT, const LONG* key, void* devmode, void* printer_data) {
  if (!key || !devmode || !printer_data) return 0;
  LONG orientation = setting_value(devmode, printer_data, 7);
  const LONG pages = setting_value(devmode, printer_data, 295);
  if (setting_value(devmode, printer_data, 321) != 2 && pages != 1 && pages != 4 && pages != 16)
    orientation = orientation == 1 ? 2 : orientation == 2 ? 1 : orientation;
  return icon_for(kIconsLayout, *key, orientation);
}

INT IsIconListControl(INT control) {
  for (INT id : {1012, 1351, 1107, 1615, 1018, 1019, 1020, 1476, 1079, 1225})
    if (id == control) return 1;
  return 0;
}

INT DrawChoiceIcon(ControlEvent* event, HDC dc, INT control, const LONG* key, LONG x, LONG y,
                   ChoiceIconCallback callback) {
  if (!event || !dc || !callback) return 0;
  const WORD icon = callback(control, key, event->devmode, event->printer_data);
  return icon ? draw_icon(dc, icon, x, y + 1) : 0;
}
