// Where a document sheet's settings belong, told by the window that hosts
// it, and the names of the sheets' temporary files.
#include <cstring>
#include <string>

#include "pi/document_properties.h"
#include "property_sheets/sheet_records.h"
#include "settings/common/module_state.h"
#include "settings/common/system_utils.h"
#include "win/files.h"
#include "win/format.h"
#include "win/modules.h"
#include "win/paths.h"
#include "win/registry.h"
#include "win/resources.h"
#include "win/window.h"

namespace {

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

