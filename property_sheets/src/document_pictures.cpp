// Picture controls of the colour and stamp pages that paint themselves from
// the settings of the dialog they are on.
#include "document_pictures.h"

#include "property_sheets/device_pictures.h"
#include "property_sheets/picture_control.h"
#include "property_sheets/sheet_records.h"
#include "property_sheets/stamp_preview.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/item_access.h"
#include "settings/items/item_info.h"
#include "win/gdi.h"

COLORREF GetGridCellColour(INT colorant, INT level, BOOL filled);
INT FilledBalanceCells(LONG value, INT level);

namespace {

constexpr WORD kBalanceOn = 1315;
constexpr WORD kColourMode = 270;
constexpr WORD kColorant = 391;
constexpr INT kSwitch = 1227;
constexpr WORD kLevelSettings[4][3] = {{401, 402, 403}, {392, 393, 394}, {395, 396, 397}, {398, 399, 400}};
constexpr INT kCells[3][7] = {{1242, 1241, 1240, 1239, 1238, 1237, 1236},
                              {1249, 1248, 1247, 1246, 1245, 1244, 1243},
                              {1256, 1255, 1254, 1253, 1252, 1251, 1250}};

const PictureKindData* kind_data(HWND window) {
  return static_cast<const PictureKindData*>(GetPropW(window, kPictureProperty));
}

bool read_number(void* devmode, void* printer_data, WORD ddmid, LONG* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &value) != 0) return false;
  *out = GetTypedValue(type, &value);
  return true;
}

// The stamp shows in grey where the job prints in black only: on a model
// whose database says so, or with the colour mode set to black and white.
// A database that cannot say counts as colour.
BOOL OutputIsBlackAndWhite(DddHandle* database, void* devmode, void* printer_data) {
  if (database && DddGetColorCapability(database) == 1) return TRUE;
  LONG mode = 0;
  return read_number(devmode, printer_data, kColourMode, &mode) && mode == 1;
}

LRESULT CALLBACK StampPreviewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) return PictureDefaultProc(window, message, wParam, lParam, kind_data(window));
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(window, &paint);
  const SheetContext* context = GetSheetContext(GetParent(window));
  if (dc && context) {
    RECT client{};
    GetClientRect(window, &client);
    const BOOL monochrome = context->state && OutputIsBlackAndWhite(context->state->database, context->current.devmode,
                                                                     context->current.printer_data);
    DrawStampPreview(GetResourceModule(), dc, &client, context->current.devmode, context->current.printer_data,
                     monochrome);
  }
  EndPaint(window, &paint);
  return 0;
}

void fill(HDC dc, const RECT& rect, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &rect, brush);
  DeleteObject(brush);
}

// A cell: its control's rectangle in the grid, black, with the colour one
// pixel inside.
void draw_cell(HWND dialog, HDC dc, HWND grid, INT cell, COLORREF colour) {
  HWND control = GetDlgItem(dialog, cell);
  if (!control) return;
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, grid, reinterpret_cast<POINT*>(&rect), 2);
  fill(dc, rect, 0x000000);
  InflateRect(&rect, -1, -1);
  fill(dc, rect, colour);
}

// The grid: a framed white area and, while the balance is on and may be
// changed, the first cells of each level filled up to the level's value.
void draw_grid(HWND grid, HDC dc) {
  HWND dialog = GetParent(grid);
  const SheetContext* context = GetSheetContext(dialog);
  if (!context) return;
  void* devmode = context->current.devmode;
  void* printer_data = context->current.printer_data;
  LONG on = 0, colorant = 0;
  if (!read_number(devmode, printer_data, kBalanceOn, &on) || !read_number(devmode, printer_data, kColorant, &colorant))
    return;
  HWND check = GetDlgItem(dialog, kSwitch);
  if (check && !IsWindowEnabled(check)) on = 0;
  const bool may_edit = context->state && context->state->can_edit;
  RECT client{};
  GetClientRect(grid, &client);
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
  HGDIOBJ old = SelectObject(memory, bitmap);
  fill(memory, client, 0x000000);
  RECT inner = client;
  InflateRect(&inner, -1, -1);
  fill(memory, inner, 0xFFFFFF);
  for (INT level = 1; level <= 3; ++level) {
    INT filled = 0;
    LONG value = 0;
    if (on && may_edit && colorant >= 0 && colorant < 4 &&
        read_number(devmode, printer_data, kLevelSettings[colorant][level - 1], &value))
      filled = FilledBalanceCells(value, level);
    for (INT cell = 0; cell < 7; ++cell)
      draw_cell(dialog, memory, grid, kCells[level - 1][cell],
                GetGridCellColour(static_cast<INT>(colorant), level, cell < filled));
  }
  BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
}

LRESULT CALLBACK GridPaintProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) return PictureDefaultProc(window, message, wParam, lParam, kind_data(window));
  PAINTSTRUCT paint{};
  if (HDC dc = BeginPaint(window, &paint)) draw_grid(window, dc);
  EndPaint(window, &paint);
  return 0;
}

// The colour-mode picture of the colour page for the dialog's settings.
INT ColourModePictureBuilder(HMODULE module, HWND dialog, UINT, PreviewImage** list, HPALETTE* palette) {
  const SheetContext* context = GetSheetContext(dialog);
  if (!context || !context->state) return 6;
  void* devmode = context->current.devmode;
  void* printer_data = context->current.printer_data;
  LONG mode = 0, type = 0, detail = 0, adjustment = 0;
  if (!read_number(devmode, printer_data, 270, &mode)) return 3;
  read_number(devmode, printer_data, 271, &type);
  read_number(devmode, printer_data, 390, &detail);
  read_number(devmode, printer_data, 293, &adjustment);
  BOOL offers_colour = FALSE;
  if (ItemInfo* info = BuildItemInfo(context->state->database, 270, devmode, printer_data, module, nullptr)) {
    for (LONG i = 0; i < info->count; ++i)
      if (GetTypedValue(info->value_type, ItemInfo_GetChoiceAt(info, i)) == 2) offers_colour = TRUE;
    ItemInfo_Free(info);
  }
  const WORD id = ColourModeBitmapId(mode, type, detail, adjustment, offers_colour);
  if (!id) return 5;
  return LoadPictureBitmap(module, dialog, id, list, palette);
}

constexpr PictureKindData kColourModePicture{ColourModePictureBuilder, 0, nullptr, 0, TRUE, kPictureBackgroundParent,
                                             FALSE};
constexpr PictureKindData kPreviewPicture{nullptr, 0, StampPreviewProc, 0, FALSE, 0, FALSE};
constexpr PictureKindData kGridPicture{nullptr, 0, GridPaintProc, 0, FALSE, 0, FALSE};
constexpr PictureKindData kBrightnessSample{nullptr, 5138, nullptr, 0, FALSE, 0, FALSE};
constexpr PictureKindData kSaturationSample{nullptr, 5139, nullptr, 0, FALSE, 0, FALSE};
constexpr PictureKindData kContrastSample{nullptr, 5140, nullptr, 0, FALSE, 0, FALSE};

}  // namespace

INT SubclassStampPreview(HWND dialog, UINT control_id) {
  return SubclassPictureControl(dialog, control_id, &kPreviewPicture, GetResourceModule());
}

INT SubclassBalanceGrid(HWND dialog, UINT control_id) {
  return SubclassPictureControl(dialog, control_id, &kGridPicture, GetResourceModule());
}

INT SubclassSampleBitmap(HWND dialog, UINT control_id) {
  const PictureKindData* data = control_id == 1100   ? &kBrightnessSample
                                : control_id == 1102 ? &kSaturationSample
                                : control_id == 1110 ? &kContrastSample
                                                     : nullptr;
  return data ? SubclassPictureControl(dialog, control_id, data, GetResourceModule()) : 0;
}

INT SubclassColourModePicture(HWND dialog, UINT control_id) {
  return SubclassPictureControl(dialog, control_id, &kColourModePicture, GetResourceModule());
}

INT InvalidateDocumentPicture(HWND dialog, UINT control_id) { return InvalidatePicture(dialog, control_id); }
