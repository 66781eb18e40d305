// The document-properties entries of applications and the printer folder
// (with and without a sheet), the printer's properties sheet, the
// fax-only sheet shown at print time, and what a sheet's host window says
// about where its settings are stored.
#pragma once

#include "win/driver_ui.h"
#include "win/prsht.h"
#include "win/types.h"

// Runs a PFNPROPSHEETUI through the common property-sheet component
// ("compstui.dll", loaded by name). The component's answer, -1 when the
// module or its entry is missing.
LONG CallCommonPropertySheetUI(HWND window, PFNPROPSHEETUI callback, LPARAM lParam, LPDWORD result);

// Document properties by fMode: with DM_PROMPT through the document sheet
// (the component's answer), otherwise without a sheet.
LONG RunDocumentPropertiesSheet(DWORD fMode, HWND window, HANDLE printer, LPWSTR name, PDEVMODEW out,
                                PDEVMODEW in);

// The fax-only sheet: its PFNPROPSHEETUI and the call that runs it for a
// printer (the name, at most 128 characters, titles the sheet). OK writes
// the destinations to a new temporary file, names it in DDMID 375 of the
// sheet's DEVMODE and copies that 5988-byte DEVMODE to `out`.
LONG FaxSheetWorker(PROPSHEETUI_INFO* info, LPARAM lParam);
LONG RunFaxSheet(HWND window, HANDLE printer, LPCWSTR name, PDEVMODEW out, PDEVMODEW in, DWORD fMode);

// A new temporary file name "QZF….tmp" (in the temporary folder, else the
// Windows, system or current folder); when none can be made, a fixed name
// ("c:\qzfot.tmp" for mode 4, else "c:\qzfdp.tmp"). `buffer` holds MAX_PATH.
void MakeSheetTempFileName(LPWSTR buffer, INT mode);

// Where a document sheet's settings go, by the window hosting it: 1 an
// application's sheet (the settings file), 2 the driver's own preferences
// window, 3 a printing-preferences window, 4 the printer folder's
// preferences window, 0 any other printer-folder window (the printer's
// settings).
INT ClassifyHostWindow(HWND window, LPCWSTR printer_name, WORD sheet_mode);
// True when `pattern` occurs in `caption`, and once more after its first
// occurrence when the printer name itself holds it.
BOOL CaptionContainsPattern(LPCWSTR caption, LPCWSTR pattern, LPCWSTR printer_name);

// The printer's directory-service capabilities under "DsDriver":
// "printDuplexSupported" and "printStaplingSupported" (one byte each).
// TRUE when both were written.
BOOL PublishDsDriverCapabilities(HANDLE printer, const void* printer_data);

MORVA_EXPORT LONG DrvDocumentProperties(HWND window, HANDLE printer, LPWSTR device_name, PDEVMODEW out,
                                        PDEVMODEW in, DWORD fMode);
MORVA_EXPORT LONG DrvAdvancedDocumentProperties(HWND window, HANDLE printer, LPWSTR device_name, PDEVMODEW out,
                                                PDEVMODEW in);
MORVA_EXPORT BOOL PrinterProperties(HWND window, HANDLE printer);
