// The HDCs of printer DCs: a DC of the software GDI whose drawing goes to
// its host, through which ExtEscape, StartPage and EndPage reach the host
// and so the graphics driver.
#include "screen_gdi/gdi_internal.h"
#include "win/errors.h"
#include "win/printer_dc.h"

namespace morva::platform {

PrinterDcTarget::~PrinterDcTarget() = default;

HDC register_printer_dc(PrinterDcTarget* target) { return gdi::create_printer_dc(target); }

void unregister_printer_dc(HDC hdc) { gdi::delete_printer_dc(hdc); }

}  // namespace morva::platform

using morva::platform::gdi::printer_dc_host;

extern "C" int ExtEscape(HDC hdc, int iEscape, int cjInput, LPCSTR lpInData, int cjOutput, LPSTR lpOutData) {
  auto* host = printer_dc_host(hdc);
  if (!host) return 0;
  if (cjInput < 0 || cjOutput < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return host->escape(iEscape, cjInput, lpInData, cjOutput, lpOutData);
}

extern "C" int StartPage(HDC hdc) {
  auto* host = printer_dc_host(hdc);
  return host ? host->start_page_call() : 0;
}

extern "C" int EndPage(HDC hdc) {
  auto* host = printer_dc_host(hdc);
  return host ? host->end_page_call() : 0;
}
