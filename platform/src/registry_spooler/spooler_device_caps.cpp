// DeviceCapabilitiesW: GDI's way to a printer's capabilities. The answer
// comes from the interface DLL that the printer's driver names as its
// configuration file, asked through its DrvDeviceCapabilities with a handle
// of the printer.
#include "spooler_driver_calls.h"
#include "win/errors.h"
#include "win/modules.h"
#include "win/printer_ui.h"
#include "win/spooler.h"

extern "C" MORVA_WIN_API INT DeviceCapabilitiesW(LPCWSTR device, LPCWSTR, WORD capability, LPWSTR output,
                                                 const DEVMODEW* devmode) {
  if (device == nullptr || *device == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  std::u16string name(device);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.data(), &printer, nullptr)) return -1;
  INT answer = -1;
  HMODULE dll = morva::platform::spooler::load_config_dll(printer);
  if (dll != nullptr) {
    auto entry = morva_proc_as<PFN_DrvDeviceCapabilities>(GetProcAddress(dll, "DrvDeviceCapabilities"));
    if (entry != nullptr)
      answer = static_cast<INT>(entry(printer, name.data(), capability, output, const_cast<DEVMODEW*>(devmode)));
    else
      SetLastError(ERROR_PROC_NOT_FOUND);
    const DWORD error = GetLastError();
    FreeLibrary(dll);
    SetLastError(error);
  }
  const DWORD error = GetLastError();
  ClosePrinter(printer);
  SetLastError(error);
  return answer;
}
