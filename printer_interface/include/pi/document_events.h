// The printer-interface library's document events: GDI calls
// DrvDocumentEvent at each step of a printer DC's life. One JobContext per
// DC holds what the job needs; at CREATEDC and RESETDC the application's
// DEVMODE is replaced by the DC DEVMODE the graphics library requires; at
// STARTDOC the job's settings, names and print-header texts are prepared,
// and at STARTDOCPOST (and again after a ResetDC) they reach the graphics
// library through the private escapes, in the order that library relies
// on. Page events tell it the coming page's paper and ask what to draw at
// each page end.
//
// Contexts are found by the DC. CREATEDCPRE runs before GDI has a DC: the
// context it makes waits, tied to the printer handle and the creating
// thread, until CREATEDCPOST (or the first later event of that thread)
// names the DC. Two DCs on one printer handle never share a context.
#pragma once

#include "win/printer_dc.h"
#include "win/types.h"

extern "C" {
// 1 DOCUMENTEVENT_SUCCESS, 0 DOCUMENTEVENT_UNSUPPORTED, -1 DOCUMENTEVENT_FAILURE.
INT DrvDocumentEvent(HANDLE hPrinter, HDC hdc, INT iEsc, ULONG cbIn, PVOID pvIn, ULONG cbOut, PVOID pvOut);
}

namespace morva::pi {

// Number of live job contexts (for tests of the context list).
UINT CountJobContexts();

}  // namespace morva::pi
