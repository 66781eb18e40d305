// The pages of the device sheet: their control sets and the item handlers
// that give their controls behaviour of their own.
#pragma once

#include "property_sheets/sheet_engine.h"

// Installable options (dialog 503) and device settings (dialog 4702).
extern const ControlSet kOptionsPageControls;
extern const ControlSet kDeviceSettingsPageControls;

// Runs the device query for the installable-options page and writes what
// the device reported into the sheet's settings. 1 done; 0 failed, with
// `no_device` set when the library answered that the device is not there.
INT ApplyDeviceConfiguration(ControlEvent* event, const ControlRecord* record, BOOL* no_device);
// Settings of installable options and trays (a hand edit of one of them
// discards the network address read from the device).
BOOL IsTrayOrOptionSetting(WORD ddmid);
// Opens the device's web page at the address the device reports for the
// stored one. TRUE when the shell opened it.
BOOL OpenPrinterWebPage(HWND window);

INT DeviceInfoButtonHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                            const ControlRecord* record, const void* kind_data);
INT NetworkAddressFieldHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                               const ControlRecord* record, const void* kind_data);
INT OptionsPageCheckHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                            const ControlRecord* record, const void* kind_data);

// Item handlers of the account fields (device settings page and the
// account dialog).
INT DevicePageActivateHook(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                           const ControlRecord* record, const void* kind_data);
INT AccountFieldHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void* kind_data);
INT UserIdFieldHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data);
INT PasswordFieldHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                         const void* kind_data);
