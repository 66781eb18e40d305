// The printer-interface exports of the property sheets and the sheet data
// they build for the common property-sheet component.
#pragma once

#include "property_sheets/sheet_records.h"
#include "win/driver_ui.h"
#include "win/prsht.h"

// The sheet data of a printer: its SheetState and SheetContext with the
// printer's default DEVMODE (an application's merged in), its PrinterData
// and private settings. Null on failure (nothing left allocated).
SheetContext* CreatePropertySheetData(HANDLE printer, const DEVMODEW* input, DWORD fMode);
void DestroyPropertySheetData(SheetContext* context);
// The PFNPROPSHEETUI work of sheet `kind` (1 device, 2 document, 4 fax).
LONG PropertySheetWorker(INT kind, PROPSHEETUI_INFO* info, LPARAM lParam);
UINT PropertySheetPageCallback(HWND window, UINT message, PROPSHEETPAGEW* page);
// The document DEVMODE without a sheet: the printer's default with the
// caller's merged in, copied to the caller's output. 1604 (the size) for
// fMode 0 or no output; 1 done; -1 on failure.
LONG QueryDocumentDevmode(DOCUMENTPROPERTYHEADER* header);
// What OK of the device sheet stores: the user's record and the printer's
// settings. FALSE when a store fails.
BOOL SaveDeviceSheetSettings(SheetContext* context);

MORVA_EXPORT LONG DrvDocumentPropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam);
MORVA_EXPORT LONG DrvDevicePropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam);
