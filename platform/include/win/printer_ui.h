// The printer-level entries of a printer interface DLL that the spooler
// and GDI call without a document: device capabilities, DEVMODE
// conversion, printer events, driver upgrade, the colour profile query and
// the check of a queued job's DEVMODE. Also DeviceCapabilitiesW, which
// reaches the interface DLL of a printer's driver.
#pragma once

#include "win/gdi_types.h"
#include "win/types.h"

// Capability indexes of DeviceCapabilities.
#define DC_FIELDS 1
#define DC_PAPERS 2
#define DC_PAPERSIZE 3
#define DC_MINEXTENT 4
#define DC_MAXEXTENT 5
#define DC_BINS 6
#define DC_DUPLEX 7
#define DC_SIZE 8
#define DC_EXTRA 9
#define DC_VERSION 10
#define DC_DRIVER 11
#define DC_BINNAMES 12
#define DC_ENUMRESOLUTIONS 13
#define DC_FILEDEPENDENCIES 14
#define DC_TRUETYPE 15
#define DC_PAPERNAMES 16
#define DC_ORIENTATION 17
#define DC_COPIES 18
#define DC_COLLATE 22
#define DC_PRINTRATE 26
#define DC_PRINTRATEUNIT 27
#define DC_MEDIAREADY 29
#define DC_STAPLE 30
#define DC_PRINTRATEPPM 31
#define DC_COLORDEVICE 32

#define DCTT_BITMAP 0x0000001u
#define DCTT_DOWNLOAD 0x0000002u
#define DCTT_SUBDEV 0x0000004u
#define PRINTRATEUNIT_PPM 1

// Slot widths of the name answers, in characters.
#define CCHPAPERNAME 64
#define CCHBINNAME 24

// DrvConvertDevMode modes.
#define CDM_CONVERT 0x01
#define CDM_CONVERT351 0x02
#define CDM_DRIVER_DEFAULT 0x04

// DrvPrinterEvent events and flags.
#define PRINTER_EVENT_ADD_CONNECTION 1
#define PRINTER_EVENT_DELETE_CONNECTION 2
#define PRINTER_EVENT_INITIALIZE 3
#define PRINTER_EVENT_DELETE 4
#define PRINTER_EVENT_CACHE_REFRESH 5
#define PRINTER_EVENT_CACHE_DELETE 6
#define PRINTER_EVENT_ATTRIBUTES_CHANGED 7
#define PRINTER_EVENT_FLAG_NO_UI 0x00000001u

// DrvQueryColorProfile.
#define QCP_DEVICEPROFILE 0x0000
#define QCP_SOURCEPROFILE 0x0001
#define QCP_PROFILEMEMORY 0x0001
#define QCP_PROFILEDISK 0x0002

struct DRIVER_UPGRADE_INFO_1W {
  LPWSTR pPrinterName;
  LPWSTR pOldDriverDirectory;
};

struct DEVQUERYPRINT_INFO {
  WORD cbSize;
  WORD Level;
  HANDLE hPrinter;
  DEVMODEW* pDevMode;
  LPWSTR pszErrorStr;
  DWORD cchErrorStr;
  DWORD cchNeeded;
};

using PFN_DrvDeviceCapabilities = DWORD (*)(HANDLE hPrinter, LPWSTR pDeviceName, WORD iDevCap, PVOID pvOutput,
                                            DEVMODEW* pDevMode);
using PFN_DrvConvertDevMode = BOOL (*)(LPWSTR pPrinterName, DEVMODEW* pdmIn, DEVMODEW* pdmOut, LONG* pcbNeeded,
                                       DWORD fMode);
using PFN_DrvPrinterEvent = BOOL (*)(LPWSTR pPrinterName, INT DriverEvent, DWORD Flags, LPARAM lParam);
using PFN_DrvUpgradePrinter = BOOL (*)(DWORD Level, LPBYTE pDriverUpgradeInfo);
using PFN_DrvQueryColorProfile = BOOL (*)(HANDLE hPrinter, DEVMODEW* pdmSrc, ULONG ulQueryMode, PVOID pvProfileData,
                                          ULONG* pcbProfileData, ULONG* pflProfileData);
using PFN_DevQueryPrintEx = BOOL (*)(DEVQUERYPRINT_INFO* pDQPInfo);

extern "C" {
// Asks the interface DLL of the printer `device` (its driver's
// configuration file) for a capability: the printer is opened, the DLL
// loaded and its DrvDeviceCapabilities called with the printer handle.
// `port` is not read. -1 when the printer, its driver or the entry cannot
// be had (the last error says why) or when the driver answers -1.
MORVA_WIN_API INT DeviceCapabilitiesW(LPCWSTR device, LPCWSTR port, WORD capability, LPWSTR output,
                                      const DEVMODEW* devmode);
}
