// The spooler's calls into the interface DLL of a printer's driver.
#pragma once

#include <string>
#include <vector>

#include "win/spooler.h"

namespace morva::platform::spooler {

// The configuration-file DLL of the printer's driver, loaded; null when
// the driver names none or it does not load.
HMODULE load_config_dll(HANDLE printer);

// Tells the driver of `printer` (named `name`) about a printer event. The
// caller's last error is kept; a driver without the entry is not told.
void send_printer_event(HANDLE printer, const std::u16string& name, INT event);

// `in` (a whole DEVMODE with its private part) brought into the driver's
// current form by its DrvConvertDevMode; `in` itself when the driver has
// no conversion or refuses it.
std::vector<BYTE> convert_for_driver(HANDLE printer, const std::u16string& name, const std::vector<BYTE>& in);

}  // namespace morva::platform::spooler
