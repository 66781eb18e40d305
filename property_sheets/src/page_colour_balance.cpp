// The colour balance page of the colour dialogs: a colorant is chosen, its
// three density levels are edited as numbers and drawn as three rows of
// seven cells in the colorant's colours.
#include <iterator>

#include "control_handlers.h"
#include "property_sheets/document_pages.h"
#include "document_pictures.h"
#include "settings/common/module_state.h"
#include "win/controls.h"
#include "win/gdi.h"

namespace {

constexpr WORD kBalanceOn = 1315;
constexpr WORD kColorant = 391;

constexpr COLORREF kCellColours[4][3] = {{0x787878, 0x464646, 0x000000},
                                         {0xF9F9A4, 0xFFFF00, 0xCDCD30},
                                         {0xF9A4F9, 0xFF00FF, 0xCD1ECD},
                                         {0xA4F9F9, 0x00FFFF, 0x30CDCD}};
constexpr COLORREF kWhite = 0xFFFFFF;

bool read_number(void* devmode, void* printer_data, WORD ddmid, LONG* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &value) != 0) return false;
  *out = GetTypedValue(type, &value);
  return true;
}

// The three entries edit the levels of the chosen colorant.
INT ColourLevelHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void*) {
  if (ShowsAgain(message, lParam)) {
    LONG on = 0, colorant = 0;
    if (!read_number(event->devmode, event->printer_data, kBalanceOn, &on) ||
        !read_number(event->devmode, event->printer_data, kColorant, &colorant))
      return 1;
    if (colorant >= 0 && colorant < record->setting_count)
      if (ControlState* state = FindControlState(event->window, record)) state->current = static_cast<INT>(colorant);
  }
  return ChainDefaultHandler(event, message, wParam, lParam, record);
}

}  // namespace

COLORREF GetGridCellColour(INT colorant, INT level, BOOL filled) {
  if (!filled || colorant < 0 || colorant > 3 || level < 1 || level > 3) return kWhite;
  return kCellColours[colorant][level - 1];
}

INT FilledBalanceCells(LONG value, INT level) {
  if (level < 1 || level > 3) return 0;
  const DWORD bits = (static_cast<DWORD>(value) >> (8 * (level - 1))) & 0x7F;
  for (INT i = 0; i < 7; ++i)
    if (bits & (1u << i)) return i + 1;
  return 0;
}

namespace {

INT ColourGridHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord* record,
                      const void*) {
  if (message == WM_INITDIALOG)
    SubclassBalanceGrid(event->window, static_cast<UINT>(record->id));
  else if (ShowsAgain(message, lParam))
    InvalidateDocumentPicture(event->window, static_cast<UINT>(record->id));
  return 0;
}

// ---- tables ---------------------------------------------------------------------------

constexpr INT kUpDownKind = 9;
constexpr WORD kKeepEnabled = kFlagKeepEnabled;

constexpr SettingRef kSwitchRef[] = {Bound(kBalanceOn)};
constexpr SettingRef kColorantRef[] = {Bound(kColorant)};
// The levels are shown as exponents of their step (stored as bits).
constexpr UnitRecord kExponent{0, 1};
constexpr EditFieldData kLevelField{kEditNumeric | kEditRounding, 2, nullptr, &kExponent, 0xFFFF, nullptr};
constexpr UpDownData kLevelSpin{1};

constexpr SettingRef kLevel1[] = {Bound(401), Bound(392), Bound(395), Bound(398)};
constexpr SettingRef kLevel2[] = {Bound(402), Bound(393), Bound(396), Bound(399)};
constexpr SettingRef kLevel3[] = {Bound(403), Bound(394), Bound(397), Bound(400)};

constexpr ControlRecord kRecords[] = {
    {1227, 1, kSwitchRef, kControlCheckBox, nullptr, nullptr, 1227, 9000, nullptr},
    {1228, 1, kColorantRef, kControlDropDown, nullptr, nullptr, 2606, 9001, nullptr},
    {2600, 4, kLevel1, kControlEdit, ColourLevelHandler, &kLevelField, kNone, kNone, nullptr},
    {2601, 4, kLevel2, kControlEdit, ColourLevelHandler, &kLevelField, kNone, kNone, nullptr},
    {2602, 4, kLevel3, kControlEdit, ColourLevelHandler, &kLevelField, kNone, kNone, nullptr},
    {2603, 4, kLevel1, kUpDownKind, ColourLevelHandler, &kLevelSpin, kNone, kNone, nullptr},
    {2604, 4, kLevel2, kUpDownKind, ColourLevelHandler, &kLevelSpin, kNone, kNone, nullptr},
    {2605, 4, kLevel3, kUpDownKind, ColourLevelHandler, &kLevelSpin, kNone, kNone, nullptr},
    {2607, 0, nullptr, 3, ColourGridHandler, nullptr, kNone, kNone, &kKeepEnabled},
    {1260, 1, kColorantRef, kControlStatic, nullptr, nullptr, kNone, kNone, nullptr},
    {1261, 1, kColorantRef, kControlStatic, nullptr, nullptr, kNone, kNone, nullptr},
    {1262, 1, kColorantRef, kControlStatic, nullptr, nullptr, kNone, kNone, nullptr},
};
constexpr INT kHelp[] = {1227, 2600, 1228, 2600, 2606, 2600, 1229, 2605, 1230, 2605, 1231, 2605, 1232, 2605,
                         1233, 2605, 1234, 2605, 1235, 2605, 1236, 2610, 1237, 2610, 1238, 2610, 1239, 2610,
                         1240, 2610, 1241, 2610, 1242, 2610, 1260, 2610, 2600, 2610, 2603, 2610, 1243, 2620,
                         1244, 2620, 1245, 2620, 1246, 2620, 1247, 2620, 1248, 2620, 1249, 2620, 1261, 2620,
                         2601, 2620, 2604, 2620, 1250, 2630, 1251, 2630, 1252, 2630, 1253, 2630, 1254, 2630,
                         1255, 2630, 1256, 2630, 1262, 2630, 2602, 2630, 2605, 2630, 1090, 1540, 0, 0};

}  // namespace

const ControlSet kColourBalanceControls{kRecords, static_cast<INT>(std::size(kRecords)), 8888, kHelp, nullptr, 0};
