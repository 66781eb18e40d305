// The spooler's calls into a printer's driver. The interface DLL that the
// driver names as its configuration file hears of a new or deleted printer
// and of a user's connections (DrvPrinterEvent), and brings a DEVMODE that
// is handed to the spooler for a printer into its own current form
// (DrvConvertDevMode) before it is stored. A driver without these entries,
// or whose DLL does not load, is not asked.
#include "spooler_driver_calls.h"

#include "win/errors.h"
#include "win/modules.h"
#include "win/printer_ui.h"

namespace morva::platform::spooler {

namespace {

// Calls into a driver under way on this thread: what the driver itself
// asks of the spooler meanwhile does not call it again.
thread_local int g_driver_calls = 0;

// Keeps the caller's last error over the spooler's own work.
struct KeptError {
  DWORD error = GetLastError();
  ~KeptError() { SetLastError(error); }
};

struct DriverCall {
  DriverCall() { ++g_driver_calls; }
  ~DriverCall() { --g_driver_calls; }
  DriverCall(const DriverCall&) = delete;
  DriverCall& operator=(const DriverCall&) = delete;
};

}  // namespace

HMODULE load_config_dll(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterDriverW(printer, nullptr, 2, nullptr, 0, &needed);
  if (needed == 0) return nullptr;
  std::vector<BYTE> info(needed);
  if (!GetPrinterDriverW(printer, nullptr, 2, info.data(), needed, &needed)) return nullptr;
  const auto* driver = reinterpret_cast<const DRIVER_INFO_2W*>(info.data());
  if (driver->pConfigFile == nullptr || *driver->pConfigFile == 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return LoadLibraryW(driver->pConfigFile);
}

void send_printer_event(HANDLE printer, const std::u16string& name, INT event) {
  if (g_driver_calls) return;
  KeptError kept;
  HMODULE dll = load_config_dll(printer);
  if (!dll) return;
  if (auto entry = morva_proc_as<PFN_DrvPrinterEvent>(GetProcAddress(dll, "DrvPrinterEvent"))) {
    DriverCall call;
    std::u16string n = name;
    entry(n.data(), event, PRINTER_EVENT_FLAG_NO_UI, 0);
  }
  FreeLibrary(dll);
}

std::vector<BYTE> convert_for_driver(HANDLE printer, const std::u16string& name, const std::vector<BYTE>& in) {
  if (g_driver_calls || in.empty()) return in;
  KeptError kept;
  HMODULE dll = load_config_dll(printer);
  if (!dll) return in;
  std::vector<BYTE> out;
  if (auto convert = morva_proc_as<PFN_DrvConvertDevMode>(GetProcAddress(dll, "DrvConvertDevMode"))) {
    DriverCall call;
    std::u16string n = name;
    // The driver's own size, asked with no room.
    LONG size = 0;
    convert(n.data(), nullptr, nullptr, &size, CDM_CONVERT);
    if (size > 0) {
      std::vector<BYTE> source = in;
      out.assign(static_cast<std::size_t>(size), 0);
      if (!convert(n.data(), reinterpret_cast<DEVMODEW*>(source.data()), reinterpret_cast<DEVMODEW*>(out.data()),
                   &size, CDM_CONVERT))
        out.clear();
      else
        out.resize(static_cast<std::size_t>(size));
    }
  }
  FreeLibrary(dll);
  return out.empty() ? in : out;
}

}  // namespace morva::platform::spooler
