// Printer device contexts: the records and codes of the document events a
// printer interface DLL receives around a DC's life, and ExtEscape, which
// reaches the graphics driver of a printer DC. The DC itself is played by
// a host (tools/print_host) that registers its HDC here.
#pragma once

#include "win/gdi.h"
#include "win/gdi_types.h"
#include "win/types.h"

#define DOCUMENTEVENT_FIRST 1
#define DOCUMENTEVENT_CREATEDCPRE 1
#define DOCUMENTEVENT_CREATEDCPOST 2
#define DOCUMENTEVENT_RESETDCPRE 3
#define DOCUMENTEVENT_RESETDCPOST 4
#define DOCUMENTEVENT_STARTDOC 5
#define DOCUMENTEVENT_STARTDOCPRE 5
#define DOCUMENTEVENT_STARTPAGE 6
#define DOCUMENTEVENT_ENDPAGE 7
#define DOCUMENTEVENT_ENDDOC 8
#define DOCUMENTEVENT_ENDDOCPRE 8
#define DOCUMENTEVENT_ABORTDOC 9
#define DOCUMENTEVENT_DELETEDC 10
#define DOCUMENTEVENT_ESCAPE 11
#define DOCUMENTEVENT_ENDDOCPOST 12
#define DOCUMENTEVENT_STARTDOCPOST 13
#define DOCUMENTEVENT_QUERYFILTER 14

#define DOCUMENTEVENT_SUCCESS 1
#define DOCUMENTEVENT_UNSUPPORTED 0
#define DOCUMENTEVENT_FAILURE (-1)

// Standard escapes
#define QUERYESCSUPPORT 8
#define SETCOPYCOUNT 17
#define PASSTHROUGH 19
#define GETTECHNOLOGY 20

struct DOCEVENT_CREATEDCPRE {
  LPWSTR pszDriver;
  LPWSTR pszDevice;
  DEVMODEW* pdm;
  BOOL bIC;
};

struct DOCINFOW {
  int cbSize;
  LPCWSTR lpszDocName;
  LPCWSTR lpszOutput;
  LPCWSTR lpszDatatype;
  DWORD fwType;
};

using PFN_DrvDocumentEvent = INT (*)(HANDLE hPrinter, HDC hdc, INT iEsc, ULONG cbIn, PVOID pvIn, ULONG cbOut,
                                     PVOID pvOut);

extern "C" {
// Hands an escape to the graphics driver of a printer DC; 0 for a DC that
// is not a printer DC (or does not take escapes).
MORVA_WIN_API int ExtEscape(HDC hdc, int iEscape, int cjInput, LPCSTR lpInData, int cjOutput, LPSTR lpOutData);
// A page of a printer DC begun and ended by the caller itself (an
// interface DLL adding a page at the end of a document): above 0 on
// success, 0 or below on failure or for a DC that is not a printer DC.
MORVA_WIN_API int StartPage(HDC hdc);
MORVA_WIN_API int EndPage(HDC hdc);
}

namespace morva::platform {

// What a printer DC host answers for its HDC.
class MORVA_WIN_API PrinterDcTarget {
 public:
  virtual ~PrinterDcTarget();
  virtual int escape(int code, int in_size, const void* in, int out_size, void* out) = 0;
  // StartPage and EndPage on the DC; a host without pages answers 0.
  virtual int start_page_call() { return 0; }
  virtual int end_page_call() { return 0; }
  // GDI drawing on the DC, in device pixels, with the DC's state at the
  // call: text in the selected font (its height in device pixels) and the
  // text colour; a polygon (kind 0, `points` its corners) or an ellipse
  // (kind 1, `points` the two corners of its box) outlined with `pen` and
  // filled with `brush` unless the brush is hollow. FALSE when the host
  // cannot draw it.
  virtual BOOL draw_text(POINT, const LOGFONTW&, COLORREF, LPCWSTR, UINT) { return FALSE; }
  virtual BOOL draw_shape(int, const POINT*, int, const LOGPEN&, BOOL, COLORREF) { return FALSE; }
  // StartDocW, EndDoc and AbortDoc on the DC: the job id (above 0) of a
  // started document, above 0 for a document ended or aborted; 0 or below
  // when it fails or the host keeps no documents.
  virtual int start_doc_call(LPCWSTR, LPCWSTR) { return 0; }
  virtual int end_doc_call() { return 0; }
  virtual int abort_doc_call() { return 0; }
};

// A new HDC for a printer DC host, until unregister_printer_dc. GDI's
// state calls (SaveDC, SelectObject, SetTextColor, mapping, DrawTextW
// measuring) work on it as on any DC; TextOutW, ExtTextOutW, Polygon and
// Ellipse reach the host.
MORVA_WIN_API HDC register_printer_dc(PrinterDcTarget* target);
MORVA_WIN_API void unregister_printer_dc(HDC hdc);

}  // namespace morva::platform

extern "C" {
// A printer DC for CreateDCW(u"WINSPOOL", printer, nullptr, devmode): made
// by the printer DC maker the host installed (none: null and
// ERROR_NOT_SUPPORTED). DeleteDC frees it together with its host.
MORVA_WIN_API HDC CreateDCW(LPCWSTR driver, LPCWSTR device, LPCWSTR port, const DEVMODEW* devmode);
// Documents on a printer DC: StartDocW answers the job id (above 0), EndDoc
// and AbortDoc above 0; 0 or below on failure or for another kind of DC.
MORVA_WIN_API int StartDocW(HDC hdc, const DOCINFOW* info);
MORVA_WIN_API int EndDoc(HDC hdc);
MORVA_WIN_API int AbortDoc(HDC hdc);
}

namespace morva::platform {

// Makes the host of a printer DC for CreateDCW: the target (owned by the
// caller from then on, freed with delete) and its registered HDC in *hdc;
// null when the printer's DC cannot be made.
using PrinterDcMaker = PrinterDcTarget* (*)(LPCWSTR device, const DEVMODEW* devmode, HDC* hdc);
// Installs the maker CreateDCW uses (null: none); answers the one before.
MORVA_WIN_API PrinterDcMaker set_printer_dc_maker(PrinterDcMaker maker);

}  // namespace morva::platform
