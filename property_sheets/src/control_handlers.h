// The default handlers of the control kinds and the engine's internal
// links between its files.
#pragma once

#include "property_sheets/sheet_controls.h"
#include "property_sheets/sheet_engine.h"

INT DropDownListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void* kind_data);
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
