// The image adjustment page (three colour channels, each an edit, an
// up-down and a trackbar over the setting of the selected object) and the
// image option page of the document sheet's nested sheets.
#include <iterator>

#include "control_handlers.h"
#include "property_sheets/picture_control.h"
#include "property_sheets/picture_handlers.h"
#include "property_sheets/document_pages.h"
#include "document_pictures.h"
#include "settings/common/module_state.h"
#include "win/controls.h"
#include "win/gdi.h"
#include "win/resources.h"
#include "win/window.h"

namespace {

constexpr WORD kPerObject = 1314;
constexpr WORD kObject = 272;
constexpr WORD kImagePlacement = 267;

bool read_number(ControlEvent* event, WORD ddmid, LONG* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, event->devmode, event->printer_data, &type, &size, &value) != 0) return false;
  *out = GetTypedValue(type, &value);
  return true;
}

// Control 1205 is offered only while an image placement is chosen.
INT OptionalControlHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                           const ControlRecord* record, const void* kind_data) {
  const INT result = PicturePageHandler(event, message, wParam, lParam, record, kind_data);
  if (!ShowsAgain(message, lParam)) return result;
  LONG placement = 0;
  HWND control = GetDlgItem(event->window, record->id);
  if (!control || !read_number(event, kImagePlacement, &placement)) return result;
  const bool on = (placement & 0xFF) != 0;
  ShowWindow(control, on ? SW_SHOW : SW_HIDE);
  EnableWindow(control, on);
  return result;
}

// ---- tables ---------------------------------------------------------------------------

constexpr INT kUpDownKind = 9;
constexpr INT kTrackbarKind = 12;
constexpr INT kAvailabilityKind = 15;

constexpr SettingRef kPerObjectRef[] = {Bound(kPerObject)};
constexpr SettingRef kObjectRef[] = {Bound(kObject)};
constexpr SettingRef kBrightness[] = {Bound(275), Bound(276), Bound(277), Bound(274)};
constexpr SettingRef kSaturation[] = {Bound(279), Bound(280), Bound(281), Bound(278)};
constexpr SettingRef kContrast[] = {Bound(283), Bound(284), Bound(285), Bound(282)};
constexpr RadioGroupData kPerObjectButtons{2, {1317, 1311}};

#define MORVA_CHANNEL(edit, updown, track, refs, label, tip)                                                  \
  {edit, 4, refs, kControlEdit, ChannelSettingHandler, nullptr, label, tip, nullptr},                         \
      {updown, 4, refs, kUpDownKind, ChannelSettingHandler, nullptr, label, tip, nullptr},                    \
      {track, 4, refs, kTrackbarKind, ChannelSettingHandler, nullptr, label, tip, nullptr}
constexpr ControlRecord kAdjustRecords[] = {
    {1311, 1, kPerObjectRef, kControlRadioGroup, nullptr, &kPerObjectButtons, kNone, kNone, nullptr},
    {1317, 1, kPerObjectRef, kControlRadioGroup, nullptr, &kPerObjectButtons, kNone, kNone, nullptr},
    {1098, 1, kObjectRef, kControlListBox, nullptr, nullptr, 3530, 9002, nullptr},
    MORVA_CHANNEL(1094, 3531, 1097, kBrightness, 1173, 9003),
    MORVA_CHANNEL(1099, 3533, 1101, kSaturation, 1106, 9004),
    MORVA_CHANNEL(1103, 3532, 1104, kContrast, 1107, 9005),
    {1100, 0, nullptr, 0, SampleBitmapHandler, nullptr, kNone, kNone, nullptr},
    {1102, 0, nullptr, 0, SampleBitmapHandler, nullptr, kNone, kNone, nullptr},
    {1110, 0, nullptr, 0, SampleBitmapHandler, nullptr, kNone, kNone, nullptr},
    {1282, 0, nullptr, 0, PicturePageHandler, nullptr, kNone, kNone, nullptr},
};
#undef MORVA_CHANNEL
constexpr INT kAdjustHelp[] = {1317, 2500, 1311, 2510, 3530, 2510, 1098, 2510, 1282, 2550, 1100, 2520, 1173, 2520,
                               1146, 2520, 1097, 2520, 1147, 2520, 1094, 2520, 3531, 2520, 1102, 2530, 1106, 2530,
                               1148, 2530, 1101, 2530, 1149, 2530, 1099, 2530, 3533, 2530, 1110, 2540, 1107, 2540,
                               1150, 2540, 1104, 2540, 1151, 2540, 1103, 2540, 3532, 2540, 1090, 1540, 0, 0};
constexpr INT kAdjustReadOnly[] = {1147, 1149, 1151, 1146, 1150, 1148, kNone};

constexpr SettingRef kPlacementRef[] = {Bound(kImagePlacement)};
constexpr SettingRef kSmoothRef[] = {Bound(1283)};
constexpr SettingRef kWidthRef[] = {Bound(268)};
constexpr SettingRef kHeightRef[] = {Bound(269)};
constexpr SettingRef kOptionAvailability[] = {Bound(36889)};
constexpr ControlRecord kOptionRecords[] = {
    {1006, 1, kPlacementRef, kControlDropDown, nullptr, nullptr, 1200, kNone, nullptr},
    {1201, 1, kSmoothRef, kControlCheckBox, nullptr, nullptr, kNone, kNone, nullptr},
    {1204, 1, kWidthRef, kControlEdit, nullptr, nullptr, 1202, kNone, nullptr},
    {1010, 1, kHeightRef, kControlEdit, nullptr, nullptr, 1203, kNone, nullptr},
    {1029, 1, kWidthRef, kUpDownKind, nullptr, nullptr, kNone, kNone, nullptr},
    {1206, 1, kHeightRef, kUpDownKind, nullptr, nullptr, kNone, kNone, nullptr},
    {1199, 0, nullptr, 0, PicturePageHandler, nullptr, kNone, kNone, nullptr},
    {1205, 1, kPlacementRef, 0, OptionalControlHandler, nullptr, kNone, kNone, nullptr},
    {1756, 1, kOptionAvailability, kAvailabilityKind, nullptr, nullptr, kNone, kNone, nullptr},
    {1757, 1, kOptionAvailability, kAvailabilityKind, nullptr, nullptr, kNone, kNone, nullptr},
    {1758, 1, kOptionAvailability, kAvailabilityKind, nullptr, nullptr, kNone, kNone, nullptr},
};
constexpr INT kOptionHelp[] = {1006, 1630, 1201, 1630, 1204, 1630, 1010, 1630, 1205, 1630, 0, 0};
constexpr INT kOptionReadOnly[] = {1200, kNone};

}  // namespace

INT ChannelSettingHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                          const ControlRecord* record, const void*) {
  if (ShowsAgain(message, lParam)) {
    LONG per_object = 0, object = 0;
    if (!read_number(event, kPerObject, &per_object) || !read_number(event, kObject, &object)) return 1;
    if (object >= 0 && object < record->setting_count)
      if (ControlState* state = FindControlState(event->window, record))
        state->current = per_object ? static_cast<INT>(object) : record->setting_count - 1;
  }
  return ChainDefaultHandler(event, message, wParam, lParam, record);
}

namespace {

LRESULT CALLBACK SamplePaintProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

constexpr PictureKindData kSamples[] = {{nullptr, 5138, SamplePaintProc, 0, FALSE, 0, FALSE},
                                        {nullptr, 5139, SamplePaintProc, 0, FALSE, 0, FALSE},
                                        {nullptr, 5140, SamplePaintProc, 0, FALSE, 0, FALSE}};

// The sample pictures are stretched over the whole control.
LRESULT CALLBACK SamplePaintProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto* data = static_cast<const PictureKindData*>(GetPropW(window, kPictureProperty));
  if (message != WM_PAINT || !data) return PictureDefaultProc(window, message, wParam, lParam, data);
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(window, &paint);
  HBITMAP picture = dc ? LoadBitmapW(GetResourceModule(), MAKEINTRESOURCEW(data->bitmap)) : nullptr;
  HDC memory = picture ? CreateCompatibleDC(dc) : nullptr;
  if (memory) {
    BITMAP size{};
    GetObjectW(picture, sizeof size, &size);
    RECT client{};
    GetClientRect(window, &client);
    HGDIOBJ old = SelectObject(memory, picture);
    StretchBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, size.bmWidth, size.bmHeight, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
  }
  if (picture) DeleteObject(picture);
  EndPaint(window, &paint);
  return 0;
}

}  // namespace

INT SampleBitmapHandler(ControlEvent* event, UINT message, WPARAM, LPARAM, const ControlRecord* record,
                        const void*) {
  if (message != WM_INITDIALOG) return 0;
  const INT id = record->id;
  const PictureKindData* data = id == 1100 ? &kSamples[0] : id == 1102 ? &kSamples[1] : id == 1110 ? &kSamples[2]
                                                                                                   : nullptr;
  if (data) SubclassPictureControl(event->window, static_cast<UINT>(id), data, GetResourceModule());
  return 0;
}

const ControlSet kImageAdjustControls{kAdjustRecords, static_cast<INT>(std::size(kAdjustRecords)), 8888,
                                      kAdjustHelp, kAdjustReadOnly, 0};
const ControlSet kImageOptionControls{kOptionRecords, static_cast<INT>(std::size(kOptionRecords)), 1630,
                                      kOptionHelp, kOptionReadOnly, 0};
