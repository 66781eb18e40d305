// Document properties with and without a sheet, the printer's properties,
// the fax-only sheet of a print job, the classification of a sheet's host
// window and the directory-service capabilities of the printer.
#include "pi/document_properties.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fax/fax_list.h"
#include "fax/fax_store.h"
#include "fax/fax_temp_files.h"
#include "pi/sheet_exports.h"
#include "property_sheets/sheet_engine.h"
#include "settings/common/export_shape.h"
#include "settings/common/module_state.h"
#include "settings/common/system_utils.h"
#include "settings/items/item_access.h"
#include "win/files.h"
#include "win/format.h"
#include "win/memory.h"
#include "win/modules.h"
#include "win/msgbox.h"
#include "win/paths.h"
#include "win/registry.h"
#include "win/resources.h"
#include "win/spooler.h"
#include "win/strings.h"
#include "win/window.h"

using namespace morva::fax;

namespace {

constexpr DWORD kShortDevmode = 1604;
constexpr DWORD kFullDevmode = 5988;
constexpr WORD kFaxAddressFile = 375;

void copy_bounded(LPWSTR out, std::size_t chars, const std::u16string& text) {
  const std::size_t n = std::min(text.size(), chars - 1);
  std::memcpy(out, text.data(), n * sizeof(WCHAR));
  out[n] = 0;
}

}  // namespace

LONG CallCommonPropertySheetUI(HWND window, PFNPROPSHEETUI callback, LPARAM lParam, LPDWORD result) {
  HMODULE module = LoadLibraryW(u"compstui.dll");
  if (!module) return -1;
  using Entry = LONG (*)(HWND, PFNPROPSHEETUI, LPARAM, LPDWORD);
  auto entry = morva_proc_as<Entry>(GetProcAddress(module, "CommonPropertySheetUIW"));
  const LONG answer = entry ? entry(window, callback, lParam, result) : -1;
  FreeLibrary(module);
  return answer;
}

LONG RunDocumentPropertiesSheet(DWORD fMode, HWND window, HANDLE printer, LPWSTR name, PDEVMODEW out,
                                PDEVMODEW in) {
  DOCUMENTPROPERTYHEADER header{sizeof header, 0, printer, name, in, out, 0, fMode};
  if (!(fMode & DM_PROMPT)) return QueryDocumentDevmode(&header);
  DWORD result = 0;
  return CallCommonPropertySheetUI(window, DrvDocumentPropertySheets, reinterpret_cast<LPARAM>(&header), &result);
}

BOOL PublishDsDriverCapabilities(HANDLE printer, const void* printer_data) {
  if (!printer || !printer_data) return FALSE;
  DWORD flags = 0;
  std::memcpy(&flags, static_cast<const BYTE*>(printer_data) + 8, 4);
  BYTE duplex = (flags & 0x40) ? 1 : 0;
  BOOL ok = SetPrinterDataExW(printer, u"DsDriver", u"printDuplexSupported", REG_BINARY, &duplex, 1) ==
            ERROR_SUCCESS;
  void* block = const_cast<void*>(printer_data);
  WORD type = 0;
  DWORD size = 0;
  ItemValue stapler{}, switch_value{};
  if (GetItemValue(4359, nullptr, block, &type, &size, &stapler)) return FALSE;
  const bool finisher = (flags & 0x10) || (flags & 0x80000) || GetTypedValue(type, &stapler) != 0;
  WORD switch_type = 0;
  const bool on = !GetItemValue(5134, nullptr, block, &switch_type, &size, &switch_value) &&
                  GetTypedValue(switch_type, &switch_value) == 1;
  BYTE stapling = finisher && on ? 1 : 0;
  ok = SetPrinterDataExW(printer, u"DsDriver", u"printStaplingSupported", REG_BINARY, &stapling, 1) ==
           ERROR_SUCCESS &&
       ok;
  return ok;
}

// ---- the fax-only sheet -----------------------------------------------------------

namespace {

// OK of the fax-only sheet: the destinations into a new temporary file
// named in the sheet's DEVMODE, which goes to the caller whole.
LONG store_fax_sheet_result(SheetContext* context, DOCUMENTPROPERTYHEADER* header) {
  SheetState* state = context->state;
  SheetSnapshot& s = context->current;
  WCHAR name[MAX_PATH] = {};
  MakeSheetTempFileName(name, 4);
  const WCHAR* value = name;
  if (!SetItemValue(kFaxAddressFile, s.devmode, s.printer_data, static_cast<DWORD>(-1), 6, &value)) return -1;
  if (!FaxList_WriteFile(state->printer, nullptr, name, s.fax_list)) return -1;
  HWND top = context->sheet_window ? GetAncestor(context->sheet_window, GA_ROOT) : nullptr;
  PurgeAndRecordFaxTempFile(state->database, top, name, nullptr);
  const DWORD out_size = header->cbOut ? std::min(kFullDevmode, header->cbOut) : kFullDevmode;
  std::memcpy(header->pdmOut, s.devmode, out_size);
  return 1;
}

}  // namespace

LONG FaxSheetWorker(PROPSHEETUI_INFO* info, LPARAM lParam) {
  if (!info) return -1;
  if (info->Reason != PROPSHEETUI_REASON_SET_RESULT) return PropertySheetWorker(kSheetTypeFax, info, lParam);
  auto* context = reinterpret_cast<SheetContext*>(info->UserData);
  const auto* result = reinterpret_cast<const SETRESULT_INFO*>(lParam);
  if (!context || !result) return -1;
  auto* header = reinterpret_cast<DOCUMENTPROPERTYHEADER*>(info->lParamInit);
  info->Result = static_cast<ULONG_PTR>(result->Result);
  if (result->Result == CPSUI_OK && header && (header->fMode & (DM_UPDATE | DM_COPY))) {
    // The sheet data stays for the component's DESTROY, which frees it.
    if (!header->pdmOut) return -1;
    if (store_fax_sheet_result(context, header) < 0) return -1;
  }
  return 1;
}

LONG RunFaxSheet(HWND window, HANDLE printer, LPCWSTR name, PDEVMODEW out, PDEVMODEW in, DWORD fMode) {
  WCHAR title[129] = {};
  if (name) copy_bounded(title, 129, name);
  DOCUMENTPROPERTYHEADER header{sizeof header, 0, printer, title, in, out, out ? kFullDevmode : 0, fMode};
  DWORD result = 0;
  return CallCommonPropertySheetUI(window, FaxSheetWorker, reinterpret_cast<LPARAM>(&header), &result);
}

// ---- exports ------------------------------------------------------------------------

extern "C" {

LONG DrvDocumentProperties(HWND window, HANDLE printer, LPWSTR device_name, PDEVMODEW out, PDEVMODEW in,
                           DWORD fMode) {
  return RunExportFormatted(u"DrvDocumentProperties", u"%s RetValue = %ld", [&]() -> LONG {
    if (fMode == 0 || !out) return static_cast<LONG>(kShortDevmode);
    const LONG r = RunDocumentPropertiesSheet(fMode, window, printer, device_name, out, in);
    return r > 0 ? IDOK : r == 0 ? IDCANCEL : r;
  });
}

LONG DrvAdvancedDocumentProperties(HWND window, HANDLE printer, LPWSTR device_name, PDEVMODEW out, PDEVMODEW in) {
  TraceEnter(u"DrvAdvancedDocumentProperties");
  LoadResourceModule();
  // Without an output DEVMODE the caller learns its size only through the
  // trace; the answer says "done".
  const LONG r = out ? RunDocumentPropertiesSheet(DM_COPY | DM_PROMPT | DM_ADVANCED, window, printer, device_name,
                                                  out, in)
                     : static_cast<LONG>(kShortDevmode);
  ReleaseResourceModule();
  TraceLeave(u"DrvAdvancedDocumentProperties RetValue = %ld", r);
  return r > 0 ? 1 : 0;
}

BOOL PrinterProperties(HWND window, HANDLE printer) {
  return RunExport(u"PrinterProperties", [&]() -> BOOL {
    DEVICEPROPERTYHEADER header{sizeof header, 0, printer, nullptr};
    // Write access is probed by writing a value only this probe uses.
    DWORD one = 1;
    if (SetPrinterDataW(printer, const_cast<LPWSTR>(u"Permission"), REG_DWORD, reinterpret_cast<LPBYTE>(&one),
                        sizeof one) != ERROR_SUCCESS)
      header.Flags |= DPS_NOPERMISSION;
    DWORD result = 0;
    const LONG r =
        CallCommonPropertySheetUI(window, DrvDevicePropertySheets, reinterpret_cast<LPARAM>(&header), &result);
    return r > 0 ? TRUE : FALSE;
  });
}

}  // extern "C"
