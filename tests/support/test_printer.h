// Installs a printer of this driver into the current machine root, as the
// spooler knows it: a driver entry naming the graphics and interface DLLs and
// a data file, and a printer on a port.
#pragma once

#include <string>

#include "win/types.h"

namespace morva::test {

// The new printer's handle (full access), or null with the last error set
// when the driver or the printer cannot be added.
HANDLE add_test_printer(const std::u16string& printer, const std::u16string& driver,
                        const std::u16string& data_file = u"T.DDD", const std::u16string& port = u"IP_127.0.0.1",
                        const std::u16string& driver_path = u"morvagfx.dll");

}  // namespace morva::test
