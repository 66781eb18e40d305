// The paper page's layout preview: a picture window over the page's
// placeholder, painted by the print-settings preview builder, with the
// summary icons' tooltips over it.
#include "paper_preview.h"

#include "property_sheets/picture_control.h"
#include "property_sheets/preview.h"
#include "property_sheets/sheet_controls.h"
#include "property_sheets/sheet_engine.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "win/controls.h"
#include "win/window.h"

namespace document_pages {

namespace {

constexpr INT kPlaceholder = 3620;
constexpr PictureKindData kPreviewPicture{SelectPreviewImages, 0, nullptr, 0, TRUE, kPictureBackgroundParent, FALSE};

// The preview window: the template's own control, or a new one over the
// placeholder (its window rectangle in the page's coordinates).
HWND make_frame(ControlEvent* event, INT id) {
  HWND frame = GetDlgItem(event->window, id);
  if (frame) return frame;
  HWND placeholder = GetDlgItem(event->window, kPlaceholder);
  if (!placeholder) return nullptr;
  RECT r{};
  GetWindowRect(placeholder, &r);
  MapWindowPoints(nullptr, event->window, reinterpret_cast<POINT*>(&r), 2);
  // Devices without a preview (classes 3 and 4) show no sunken edge.
  const DWORD edge = IsDeviceClass3or4(event->database) ? 0 : WS_EX_CLIENTEDGE;
  frame = CreateWindowExW(edge, u"STATIC", u"", WS_CHILD | WS_VISIBLE | SS_BITMAP | SS_CENTERIMAGE | SS_REALSIZEIMAGE,
                          r.left, r.top, r.right - r.left, r.bottom - r.top, event->window,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  if (!frame) return nullptr;
  SetWindowPos(frame, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  UpdateWindow(frame);
  return frame;
}

}  // namespace

INT PreviewFrameHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void*) {
  const UINT id = static_cast<UINT>(record->id);
  if (message == WM_INITDIALOG) {
    if (make_frame(event, record->id)) {
      SubclassPictureControl(event->window, id, &kPreviewPicture, GetResourceModule());
      CreateSummaryIcons(event);
    }
    return 0;
  }
  const bool shows_again = ShowsAgain(message, lParam) || message == UM_RESTORE_CONTROLS;
  if (shows_again) UpdateSummaryIcons(event, record->id);
  if (shows_again || message == WM_QUERYNEWPALETTE ||
      (message == WM_PALETTECHANGED && reinterpret_cast<HWND>(wParam) != GetDlgItem(event->window, record->id)))
    InvalidatePicture(event->window, id);
  return 0;
}

}  // namespace document_pages
