#include "test_printer.h"

#include "win/spooler.h"

namespace morva::test {

HANDLE add_test_printer(const std::u16string& printer, const std::u16string& driver, const std::u16string& data_file,
                        const std::u16string& port, const std::u16string& driver_path) {
  DRIVER_INFO_3W d{};
  d.cVersion = 3;
  d.pName = const_cast<LPWSTR>(driver.c_str());
  d.pEnvironment = const_cast<LPWSTR>(u"Windows x64");
  d.pDriverPath = const_cast<LPWSTR>(driver_path.c_str());
  d.pDataFile = const_cast<LPWSTR>(data_file.c_str());
  d.pConfigFile = const_cast<LPWSTR>(u"morvaui.dll");
  if (!AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&d))) return nullptr;
  PRINTER_INFO_2W p{};
  p.pPrinterName = const_cast<LPWSTR>(printer.c_str());
  p.pPortName = const_cast<LPWSTR>(port.c_str());
  p.pDriverName = const_cast<LPWSTR>(driver.c_str());
  return AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&p));
}

}  // namespace morva::test
