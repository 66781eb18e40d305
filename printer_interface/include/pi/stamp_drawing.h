// Stamps (watermarks) and the print header drawn on a printer DC at the end
// of a page, with ordinary GDI calls bracketed by the private escapes that
// put the graphics library into its stamp or header mode.
#pragma once

#include "pi/private_escapes.h"
#include "win/gdi_types.h"
#include "win/types.h"

namespace morva::pi {

// One stamp text, framed (0 none, 1 box, 2 circle) or not, at every
// position the placement gives inside the page area (area flag nonzero) or
// the sheet area of `info`. Placement mode 0 draws every repetition at the
// first position and tells the graphics library each repetition's offset
// (0x5004). 1 drawn, -1 failure.
INT DrawStamp(HDC dc, const PageDrawInfo& info, LONG resolution, WORD placement, const LOGFONTW& font,
              LPCWSTR text, COLORREF colour, DWORD frame, DWORD area_flag);

// The stamps of the settings in `devmode`, inside the stamp mode; the
// result of the drawing, -1 when the mode is refused.
INT DrawPageStamps(HDC dc, const PageDrawInfo& info, void* devmode, void* printer_data);

// The print header's items at their positions, inside the header mode; the
// header record comes from the graphics library (0x5006) or, when it holds
// none, the one prepared at STARTDOC (`prepared`, 768 bytes, may be null).
INT DrawPrintHeader(HDC dc, const PageDrawInfo& info, void* devmode, void* printer_data, DWORD end_of_document,
                    const BYTE* prepared);

}  // namespace morva::pi
