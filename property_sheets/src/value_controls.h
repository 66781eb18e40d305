// What the list, edit and range controls share inside the engine: the
// number of the current setting, storing a changed value, and the
// show/enable rules of a control by its setting's state.
#pragma once

#include "property_sheets/control_data.h"
#include "property_sheets/sheet_engine.h"

struct ItemInfo;

inline bool IsNotify(UINT message, LPARAM lParam, UINT code) {
  return message == WM_NOTIFY && lParam && reinterpret_cast<const NMHDR*>(lParam)->code == code;
}

// The record's current slot with its value read again from the settings.
SettingSlot* ReloadedSlot(ControlEvent* event, const ControlRecord* record);
// The slot's value as a number.
LONG SlotNumber(const SettingSlot* slot);
// Hands `value` (a number, or for text settings a text) to the change flow:
// 1 stored (a refresh is requested), 2 refused, 3 unchanged, -1 error.
// `as_item` (null: the sheet's shared item) says how the setting is judged.
INT StoreNumber(ControlEvent* event, const ControlRecord* record, LONG value, const ItemInfo* as_item = nullptr);
INT StoreChoiceValue(ControlEvent* event, const ControlRecord* record, WORD type, const void* value,
                     const ItemInfo* as_item = nullptr);
// ValidateAndStoreEdit judging the setting as `as_item` describes it.
INT ValidateEditAsItem(ControlEvent* event, const ControlRecord* record, const EditFieldData* data, UINT message,
                       DWORD mask_bit, const ItemInfo* as_item);
// The availability of the record's current setting, -1 unknown.
INT ControlAvailability(ControlEvent* event, const ControlRecord* record);
// Shows, hides, enables and disables a control by its setting's state.
void ApplyGenericState(ControlEvent* event, HWND control, INT kind);
// A sheet the user may not change shows the control disabled, unless its
// record keeps it enabled.
void ApplyReadOnlyState(const ControlRecord* record, HWND control);
