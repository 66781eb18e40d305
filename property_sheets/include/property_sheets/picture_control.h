// Picture controls: static controls whose window procedure is replaced so
// that they paint a list of positioned bitmaps (from an image-list builder
// or a single bitmap) on a background, opaque or with the transparent key
// colour, follow palette changes and, when clickable, ask the dialog to
// cycle a choice.
#pragma once

#include "property_sheets/pictures.h"
#include "property_sheets/sheet_engine.h"
#include "win/types.h"
#include "win/window.h"

// A click asks the dialog to cycle a choice with the engine's
// UM_CYCLE_CHOICE: wParam the control's click command, lParam 0.

using PictureBuilder = INT (*)(HMODULE module, HWND dialog, UINT control_id, PreviewImage** list, HPALETTE* palette);

// Background modes.
inline constexpr INT kPictureBackgroundParent = 1;
inline constexpr INT kPictureBackgroundButtonFace = 2;
inline constexpr INT kPictureBackgroundPattern = 3;

// What a picture control shows and how (the kind data of its record).
struct PictureKindData {
  PictureBuilder builder;   // null: `bitmap` drawn at (0, 0)
  WORD bitmap;
  WNDPROC handler;          // replaces the default procedure when set
  WPARAM click_command;     // non-zero: clickable
  BOOL transparent;
  INT background;           // kPictureBackground*, anything else none
  BOOL erase;               // handed to the background capture
};

// The window property that ties a control to its kind data.
inline constexpr char16_t kPictureProperty[] = u"VKM_BITMAPTBL";

// Gives the control its kind data and replaces its window procedure (the
// one it had is kept for the messages the picture leaves alone). 1, 0
// without the control.
INT SubclassPictureControl(HWND dialog, UINT control_id, const PictureKindData* data, HMODULE module);
LRESULT CALLBACK PictureWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// The default picture handling, for message handlers that leave a message
// to it.
LRESULT PictureDefaultProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, const PictureKindData* data);
// Paints the control through its own DC: 0, or 6 on a GDI failure.
INT PaintPictureControl(HWND control);
// The control's picture is painted again at the next update: 0, 6 without
// the control.
INT InvalidatePicture(HWND dialog, UINT control_id);
// Copies the pixels behind the control (what its parent shows there) once,
// for the parent background: 0, or 6. Nothing is captured on systems older
// than the one that draws themed parents.
INT CaptureBackground(HWND control, BOOL flag, BOOL erase);
// Drops the capture and takes it again.
INT RefreshBackground(HWND control, BOOL erase);
