// The item handler of the pages' built-in pictures: the device picture with
// its installed options (1187, 1310), the model's picture (1217), the
// colour sample (1282) and the
// position icons (1199, 1205, 1508, 1531). The pictures become picture
// controls when the page is created and are painted again when the page
// shows its settings again or the palette changes; the colour sample's
// record is kept while its page is active.
#include "property_sheets/device_pictures.h"
#include "property_sheets/picture_control.h"
#include "property_sheets/picture_handlers.h"
#include "property_sheets/sheet_engine.h"
#include "settings/common/module_state.h"

namespace {

constexpr UINT kColourSampleControl = 1282;

constexpr PictureKindData kDevicePicture{BuildDeviceOptionPicture, 0, nullptr, 0, TRUE, kPictureBackgroundParent,
                                         TRUE};
constexpr PictureKindData kModelPicture{BuildModelPicture, 0, nullptr, 0, TRUE, kPictureBackgroundButtonFace, FALSE};
constexpr PictureKindData kColourSample{BuildColourSamplePicture, 0, nullptr, 0, FALSE, 0, FALSE};

const PictureKindData* built_in(UINT id) {
  switch (id) {
    case kDevicePictureControl:
    case kInstalledOptionsPictureControl: return &kDevicePicture;
    case kColourSampleControl: return &kColourSample;
    case kModelPictureControl: return &kModelPicture;
    default: return nullptr;
  }
}

bool is_position_icon(UINT id) { return id == 1199 || id == 1205 || id == 1508 || id == 1531; }

}  // namespace

INT PicturePageHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void*) {
  const UINT id = static_cast<UINT>(record->id);
  const PictureKindData* data = built_in(id);
  if (!data && !is_position_icon(id)) return 0;
  HMODULE module = GetResourceModule();
  if (message == WM_INITDIALOG) {
    if (data) SubclassPictureControl(event->window, id, data, module);
    return 0;
  }
  if (message == WM_DESTROY) {
    if (id == kColourSampleControl) FreeDialogColourSample(event->window);
    if (is_position_icon(id)) ClearPositionIcon(event->window, id);
    return 0;
  }
  if (id == kColourSampleControl && (IsNotifyCode(message, lParam, PSN_KILLACTIVE) ||
                                     IsNotifyCode(message, lParam, PSN_APPLY) ||
                                     IsNotifyCode(message, lParam, PSN_RESET))) {
    FreeDialogColourSample(event->window);
    return 0;
  }
  if (ShowsAgain(message, lParam)) {
    // The sample's record is loaded on activation; without it the page
    // shows no icons either.
    bool loaded = true;
    if (id == kColourSampleControl && IsNotifyCode(message, lParam, PSN_SETACTIVE))
      loaded = LoadDialogColourSample(module, event->window) == 0;
    if (is_position_icon(id)) {
      if (loaded) SetPositionIcon(module, event->window, id, event->devmode, event->printer_data);
      return 0;
    }
    InvalidatePicture(event->window, id);
    return 0;
  }
  HWND control = GetDlgItem(event->window, record->id);
  if (data && (message == WM_QUERYNEWPALETTE ||
               (message == WM_PALETTECHANGED && reinterpret_cast<HWND>(wParam) != control)))
    InvalidatePicture(event->window, id);
  return 0;
}
