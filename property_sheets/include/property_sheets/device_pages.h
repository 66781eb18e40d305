// The pages of the device sheet: their control sets and the item handlers
// that give their controls behaviour of their own.
#pragma once

#include "property_sheets/sheet_engine.h"

// Installable options (dialog 503) and device settings (dialog 4702).
extern const ControlSet kOptionsPageControls;
extern const ControlSet kDeviceSettingsPageControls;
// The user settings page (dialog 4703) that replaces the device settings
// page when the account fields have a dialog of their own (3520).
extern const ControlSet kUserSettingsPageControls;
extern const ControlSet kAccountDialogControls;

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

// The user-id and password fields of the account settings: typed texts
// of at most 31 and 128 characters; the protected form of a password for
// models that keep it protected.
extern const EditFieldData kUserIdField;
extern const EditFieldData kPasswordField;
extern const EditFieldData kProtectedPasswordField;
// The fax line prefix entries (4610 outside line, 4611 extension): one
// variant record per direct-fax mode 0-3, the kind data of
// FaxModeEntryHandler.
extern const ControlRecord kOutsidePrefixVariants[4];
extern const ControlRecord kExtensionPrefixVariants[4];

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
INT UserDefaultsButtonHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                              const ControlRecord* record, const void* kind_data);
// Asks whether the account entry of `control` may be cut to `limit` ANSI
// bytes: 1 after OK (or when the question cannot be shown), 3 when the
// shortened text cannot be stored, 0 after Cancel, which puts back the
// identification type the sheet remembered (1 when that fails).
INT ConfirmAccountEntry(ControlEvent* event, WORD ddmid, INT limit, const ControlRecord* control,
                        WORD remembered_id_type);
// What a changed option brings with it: the fax line warning, the fax kit
// following the fax card, and the fax settings cleared without any fax.
// `shown` is the option the value list shows.
void ApplyOptionSideEffects(ControlEvent* event, WORD changed, WORD shown);
INT OptionValueHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data);
INT TrayColumnHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                      const void* kind_data);
INT CustomNameHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                      const void* kind_data);
INT HiddenCheckHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data);
INT FaxModeEntryHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void* kind_data);
