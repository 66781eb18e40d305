// CreateDCW for printers and the document calls on a printer DC. The DC is
// made by the maker its host installed (the print host plays GDI's side of
// a printer driver); the DCs made here are owned here until DeleteDC.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "screen_gdi/gdi_internal.h"
#include "win/errors.h"
#include "win/printer_dc.h"

namespace morva::platform {

namespace {

std::mutex& lock() {
  static std::mutex m;
  return m;
}

PrinterDcMaker& maker() {
  static PrinterDcMaker m = nullptr;
  return m;
}

std::map<HDC, std::unique_ptr<PrinterDcTarget>>& made() {
  static std::map<HDC, std::unique_ptr<PrinterDcTarget>> m;
  return m;
}

}  // namespace

PrinterDcMaker set_printer_dc_maker(PrinterDcMaker m) {
  std::lock_guard<std::mutex> g(lock());
  const PrinterDcMaker before = maker();
  maker() = m;
  return before;
}

namespace gdi {

bool delete_made_printer_dc(HDC hdc) {
  std::unique_ptr<PrinterDcTarget> target;
  {
    std::lock_guard<std::mutex> g(lock());
    auto it = made().find(hdc);
    if (it == made().end()) return false;
    target = std::move(it->second);
    made().erase(it);
  }
  // The host's own clean-up unregisters its HDC.
  target.reset();
  return true;
}

}  // namespace gdi

}  // namespace morva::platform

using namespace morva::platform;

extern "C" HDC CreateDCW(LPCWSTR driver, LPCWSTR device, LPCWSTR, const DEVMODEW* devmode) {
  if (!driver || !device || std::u16string(driver) != u"WINSPOOL") {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  PrinterDcMaker make = nullptr;
  {
    std::lock_guard<std::mutex> g(lock());
    make = maker();
  }
  if (!make) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  HDC hdc = nullptr;
  std::unique_ptr<PrinterDcTarget> target(make(device, devmode, &hdc));
  if (!target || !hdc) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return nullptr;
  }
  std::lock_guard<std::mutex> g(lock());
  made()[hdc] = std::move(target);
  return hdc;
}

extern "C" int StartDocW(HDC hdc, const DOCINFOW* info) {
  auto* host = gdi::printer_dc_host(hdc);
  if (!host) return 0;
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return host->start_doc_call(info->lpszDocName ? info->lpszDocName : u"", info->lpszOutput);
}

extern "C" int EndDoc(HDC hdc) {
  auto* host = gdi::printer_dc_host(hdc);
  return host ? host->end_doc_call() : 0;
}

extern "C" int AbortDoc(HDC hdc) {
  auto* host = gdi::printer_dc_host(hdc);
  return host ? host->abort_doc_call() : 0;
}
