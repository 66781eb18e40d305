// The default handlers of the control kinds and the engine's internal
// links between its files.
#pragma once

#include "property_sheets/control_data.h"
#include "property_sheets/sheet_controls.h"
#include "property_sheets/sheet_engine.h"

INT RadioGroupHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                      const void* kind_data);
INT CommandButtonHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                         const ControlRecord* record, const void* kind_data);
INT CheckBoxHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                    const void* kind_data);
INT StaticTextHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                      const void* kind_data);

// Page variants and the inserted fax page.
const DialogDescriptor* PageVariant537();
const DialogDescriptor* PageVariant46();
const DialogDescriptor* InsertedFaxPage();

// An ItemInfo shared by the dialogs of a sheet, counted.
struct CachedItem {
  WORD ddmid;
  ItemInfo* info;
  INT references;
};

// The change of a setting judged as `as_item` describes it (null: the
// sheet's shared ItemInfo); OnControlValueChanged otherwise.
INT OnValueChangedAsItem(ControlEvent* event, const ControlRecord* record, const SettingSlot* slot, WORD type,
                         const void* value, WORD** changed, const ItemInfo* as_item);
