// The pictures of the document sheet's colour and stamp pages: picture
// controls that paint themselves from the settings of their dialog.
#pragma once

#include "win/types.h"
#include "win/window.h"

// The stamp preview of the stamp page and of the stamp dialogs.
INT SubclassStampPreview(HWND dialog, UINT control_id);
// The colour balance grid.
INT SubclassBalanceGrid(HWND dialog, UINT control_id);
// A colour sample bitmap of the image pages (controls 1100, 1102, 1110).
INT SubclassSampleBitmap(HWND dialog, UINT control_id);
// The colour-mode picture of the colour page.
INT SubclassColourModePicture(HWND dialog, UINT control_id);
// The control is painted again at the next update.
INT InvalidateDocumentPicture(HWND dialog, UINT control_id);
