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
constexpr UINT kDriverPreferencesCaption = 751;
constexpr UINT kPrintUiPreferencesCaption = 15380;

// Captions of the printing-preferences window in the languages of the
// system.
constexpr const char16_t* kPreferencesCaptions[] = {
    u"印刷設定", u"Printing Preferences", u"打印首选项", u"列印喜好設定", u"인쇄 기본 설정",
    u"Voorkeursinstellingen", u"Options d'impression", u"Druckeinstellungen", u"Preferenze stampa",
    u"Preferências de impressão", u"Preferencias de impresión", u"utskriftsinställningar",
    u"Utskriftsinnstillinger", u"Udskriftsindstillinger", u"Tulostusmääritykset", u"Настройка печати",
    u"Preferencje drukowania", u"nyomtatási beállításai", u"Preferinţe imprimare", u"Předvolby tisku",
    u"Προτιμήσεις εκτύπωσης", u"Yazdırma Tercihleri", u"تفضيلات الطباعة", u"העדפות הדפסה",
    u"Nyomtatási beállítások", u"انخفاض مسحوق الحبر", u"Préférences de l'impression",
    u"Utskriftsinställningar för", u"utskriftsinnstillinger", u"Настройки друку", u"Préférences de l'impression",
    u"Preferenze stampa -", u"Druckeinstellungen für", u"Preferencias de impresión de",
    u"'Utskriftsinställningar för", u"Udskriftsindstillinger for", u"предпочитания за отпечатване",
    u"Preferencje drukowania:", u"nyomtatási beállításai", u"Preferinţe de imprimare", u"Preferințe de imprimare",
    u"– předvolby tisku", u"تفضيلات الطباعة", u"העדפות ההדפסה של", u"Voorkeursinstellingen voor afdrukken voor"};

void copy_bounded(LPWSTR out, std::size_t chars, const std::u16string& text) {
  const std::size_t n = std::min(text.size(), chars - 1);
  std::memcpy(out, text.data(), n * sizeof(WCHAR));
  out[n] = 0;
}

std::u16string window_text(HWND window) {
  WCHAR buffer[261] = {};
  GetWindowTextW(window, buffer, 261);
  return buffer;
}

// String 15380 of the system's printer UI module: in its language folder
// when the user has a display language of their own, else from the
// system folder.
std::u16string print_ui_preferences_caption() {
  std::u16string path;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Control Panel\\Desktop", 0, KEY_READ, &key) == ERROR_SUCCESS) {
    WCHAR value[32] = {};
    DWORD size = sizeof value - sizeof(WCHAR);
    DWORD type = 0;
    if (RegQueryValueExW(key, u"MultiUILanguageID", nullptr, &type, reinterpret_cast<LPBYTE>(value), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ) {
      WCHAR windows[MAX_PATH] = {}, folder[MAX_PATH + 32] = {};
      GetWindowsDirectoryW(windows, MAX_PATH);
      unsigned language = 0;
      for (const WCHAR* c = value; *c; ++c) {
        const int digit = (*c >= u'0' && *c <= u'9') ? *c - u'0'
                          : (*c >= u'a' && *c <= u'f') ? *c - u'a' + 10
                          : (*c >= u'A' && *c <= u'F') ? *c - u'A' + 10
                                                        : -1;
        if (digit < 0) break;
        language = (language << 4 | static_cast<unsigned>(digit)) & 0xFFFF;
      }
      wsprintfW(folder, u"%s\\MUI\\Fallback\\%04x\\", windows, language);
      path = std::u16string(folder) + u"printui.dll.mui";
    }
    RegCloseKey(key);
  }
  if (path.empty()) {
    WCHAR system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    path = std::u16string(system) + u"\\printui.dll";
  }
  HMODULE module = LoadLibraryW(path.c_str());
  if (!module) return {};
  WCHAR caption[261] = {};
  const int n = LoadStringW(module, kPrintUiPreferencesCaption, caption, 261);
  FreeLibrary(module);
  return n > 0 ? std::u16string(caption, static_cast<std::size_t>(n)) : std::u16string();
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

void MakeSheetTempFileName(LPWSTR buffer, INT mode) {
  WCHAR folder[MAX_PATH] = {};
  const bool have = GetTempPathW(MAX_PATH, folder) || GetWindowsDirectoryW(folder, MAX_PATH) ||
                    GetSystemDirectoryW(folder, MAX_PATH) || GetCurrentDirectoryW(MAX_PATH, folder);
  if (have && GetTempFileNameW(folder, u"QZF", 0, buffer)) return;
  copy_bounded(buffer, MAX_PATH, mode == 4 ? u"c:\\qzfot.tmp" : u"c:\\qzfdp.tmp");
}

BOOL CaptionContainsPattern(LPCWSTR caption, LPCWSTR pattern, LPCWSTR printer_name) {
  if (!caption || !pattern || !pattern[0]) return FALSE;
  const std::u16string text(caption), wanted(pattern);
  const std::size_t first = text.find(wanted);
  if (first == std::u16string::npos) return FALSE;
  if (printer_name && std::u16string(printer_name).find(wanted) != std::u16string::npos)
    return text.find(wanted, first + wanted.size()) != std::u16string::npos;
  return TRUE;
}

INT ClassifyHostWindow(HWND window, LPCWSTR printer_name, WORD sheet_mode) {
  // The caption of the outermost window that still has a parent.
  std::u16string caption;
  HWND top = window;
  for (HWND w = window; w; w = GetParent(w)) {
    if (GetParent(w)) caption = window_text(w);
    top = w;
  }
  if (IsWindowsXPOrLater()) {
    if (!(sheet_mode & kSheetModePrinterFolder)) return 1;
  } else {
    if (!window) return 1;
    WCHAR path[MAX_PATH] = {};
    auto instance = reinterpret_cast<HMODULE>(GetWindowLongPtrW(top, GWLP_HINSTANCE));
    GetModuleFileNameW(instance, path, MAX_PATH);
    std::u16string base(path);
    base = base.substr(base.find_last_of(u"\\/") == std::u16string::npos ? 0 : base.find_last_of(u"\\/") + 1);
    base = base.substr(0, base.find(u'.'));
    if (base != u"SHELL32") return 1;
  }
  WCHAR own[261] = {};
  if (LoadStringW(GetResourceModule(), kDriverPreferencesCaption, own, 261) > 0 &&
      CaptionContainsPattern(caption.c_str(), own, printer_name))
    return 2;
  for (const char16_t* pattern : kPreferencesCaptions)
    if (CaptionContainsPattern(caption.c_str(), pattern, printer_name)) return 3;
  const std::u16string print_ui = print_ui_preferences_caption();
  if (!print_ui.empty() && CaptionContainsPattern(caption.c_str(), print_ui.c_str(), printer_name)) return 4;
  return 0;
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
