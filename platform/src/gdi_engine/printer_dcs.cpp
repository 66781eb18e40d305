// The HDCs of printer DCs: a handle per host, through which ExtEscape
// reaches the host and so the graphics driver.
#include "win/errors.h"
#include "win/handles.h"
#include "win/printer_dc.h"

namespace morva::platform {

namespace {

class PrinterDcHandle final : public KernelObject {
 public:
  explicit PrinterDcHandle(PrinterDcTarget* t) : target(t) {}
  PrinterDcTarget* target;
};

}  // namespace

PrinterDcTarget::~PrinterDcTarget() = default;

HDC register_printer_dc(PrinterDcTarget* target) {
  return static_cast<HDC>(insert_handle(std::make_shared<PrinterDcHandle>(target)));
}

void unregister_printer_dc(HDC hdc) {
  if (std::dynamic_pointer_cast<PrinterDcHandle>(find_handle(hdc))) remove_handle(hdc);
}

}  // namespace morva::platform

extern "C" int ExtEscape(HDC hdc, int iEscape, int cjInput, LPCSTR lpInData, int cjOutput, LPSTR lpOutData) {
  auto dc = std::dynamic_pointer_cast<morva::platform::PrinterDcHandle>(morva::platform::find_handle(hdc));
  if (!dc || !dc->target) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (cjInput < 0 || cjOutput < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return dc->target->escape(iEscape, cjInput, lpInData, cjOutput, lpOutData);
}

namespace {
std::shared_ptr<morva::platform::PrinterDcHandle> printer_dc(HDC hdc) {
  auto dc = std::dynamic_pointer_cast<morva::platform::PrinterDcHandle>(morva::platform::find_handle(hdc));
  if (!dc || !dc->target) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return dc;
}
}  // namespace

extern "C" int StartPage(HDC hdc) {
  auto dc = printer_dc(hdc);
  return dc ? dc->target->start_page_call() : 0;
}

extern "C" int EndPage(HDC hdc) {
  auto dc = printer_dc(hdc);
  return dc ? dc->target->end_page_call() : 0;
}
