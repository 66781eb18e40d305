// Two small dialogs of the fax settings: the line dialing of the fax lines
// (opened from the device and user settings pages) and the wait while the
// outside phonebook tool runs (opened by the fax page).
#pragma once

#include "property_sheets/sheet_engine.h"

extern const ControlSet kLineDialSet;
extern const ControlSet kToolWaitSet;
