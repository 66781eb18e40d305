// The item handler of the pages' built-in pictures: the device picture with
// its installed options (1187, 1310) and the colour-mode picture (1285),
// made picture controls when the page is created and painted again when
// the page shows its settings again or the palette changes.
#include "property_sheets/device_pictures.h"
#include "property_sheets/picture_control.h"
#include "property_sheets/picture_handlers.h"
#include "property_sheets/sheet_engine.h"
#include "settings/common/module_state.h"

namespace {

constexpr PictureKindData kDevicePicture{BuildDeviceOptionPicture, 0, nullptr, 0, TRUE, kPictureBackgroundParent,
                                         TRUE};

const PictureKindData* built_in(INT id) {
  switch (id) {
    case static_cast<INT>(kDevicePictureControl):
    case static_cast<INT>(kInstalledOptionsPictureControl): return &kDevicePicture;
    default: return nullptr;
  }
}

}  // namespace

INT PicturePageHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void*) {
  const PictureKindData* data = built_in(record->id);
  if (!data) return 0;
  const UINT id = static_cast<UINT>(record->id);
  if (message == WM_INITDIALOG) {
    SubclassPictureControl(event->window, id, data, GetResourceModule());
    return 0;
  }
  HWND control = GetDlgItem(event->window, record->id);
  if (ShowsAgain(message, lParam) || message == WM_QUERYNEWPALETTE ||
      (message == WM_PALETTECHANGED && reinterpret_cast<HWND>(wParam) != control))
    InvalidatePicture(event->window, id);
  return 0;
}
