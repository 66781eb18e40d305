// The common property-sheet component ("compstui.dll"): runs a driver's
// PFNPROPSHEETUI and shows the pages it adds as one sheet.
//
// The protocol: the callback is called with PROPSHEETUI_REASON_INIT (its
// lParam is the caller's; the callback adds pages through pfnComPropSheet
// and answers > 0), then GET_INFO_HEADER (lParam the PROPSHEETUI_INFO_HEADER
// to fill: title, flags, icon, instance). The sheet then runs modally with
// the pages added, in order. A page that calls CPSFUNC_SET_RESULT makes the
// component call the callback with SET_RESULT (lParam a SETRESULT_INFO with
// the page handle and the result). When the sheet has closed the callback
// gets DESTROY (lParam 1 when the result is CPSUI_OK). A failing INIT ends
// the call without DESTROY: the callback has already cleaned up.
#include <vector>

#include "win/errors.h"
#include "win/modules.h"
#include "win/prsht.h"
#include "windows/window_internal.h"

namespace {

struct ComSheet {
  std::vector<HPROPSHEETPAGE> pages;
  INT start = 0;
  PFNPROPSHEETUI callback = nullptr;
  PROPSHEETUI_INFO info{};
  bool ok_reported = false;
};

LONG_PTR com_sheet_function(HANDLE handle, UINT function, LPARAM lParam1, LPARAM lParam2) {
  auto* s = static_cast<ComSheet*>(handle);
  if (!s) return 0;
  switch (function) {
    case CPSFUNC_ADD_HPROPSHEETPAGE: {
      auto page = reinterpret_cast<HPROPSHEETPAGE>(lParam1);
      if (!page) return 0;
      s->pages.push_back(page);
      return reinterpret_cast<LONG_PTR>(page);
    }
    case CPSFUNC_ADD_PROPSHEETPAGEW: {
      HPROPSHEETPAGE page = CreatePropertySheetPageW(reinterpret_cast<LPCPROPSHEETPAGEW>(lParam1));
      if (!page) return 0;
      s->pages.push_back(page);
      return reinterpret_cast<LONG_PTR>(page);
    }
    case CPSFUNC_GET_PAGECOUNT: return static_cast<LONG_PTR>(s->pages.size());
    case CPSFUNC_SET_HSTARTPAGE:
      for (std::size_t i = 0; i < s->pages.size(); ++i)
        if (reinterpret_cast<LPARAM>(s->pages[i]) == lParam1) s->start = static_cast<INT>(i);
      return 1;
    case CPSFUNC_GET_HPSUIPAGES: {
      auto* out = reinterpret_cast<HANDLE*>(lParam1);
      std::size_t n = std::min<std::size_t>(s->pages.size(), static_cast<std::size_t>(lParam2));
      for (std::size_t i = 0; out && i < n; ++i) out[i] = s->pages[i];
      return static_cast<LONG_PTR>(n);
    }
    case CPSFUNC_SET_RESULT: {
      SETRESULT_INFO r{sizeof(SETRESULT_INFO), 0, reinterpret_cast<HANDLE>(lParam1), static_cast<LRESULT>(lParam2)};
      if (lParam2 == CPSUI_OK) s->ok_reported = true;
      s->info.Reason = PROPSHEETUI_REASON_SET_RESULT;
      s->callback(&s->info, reinterpret_cast<LPARAM>(&r));
      return 1;
    }
    default:
      // Nested component sheets and the option-item pages are not used.
      return 0;
  }
}

}  // namespace

extern "C" {

LONG CommonPropertySheetUIW(HWND owner, PFNPROPSHEETUI callback, LPARAM lParam, LPDWORD result) {
  if (result) *result = CPSUI_CANCEL;
  if (!callback) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return ERR_CPSUI_GETLASTERROR;
  }
  ComSheet s;
  s.callback = callback;
  s.info = PROPSHEETUI_INFO{sizeof(PROPSHEETUI_INFO), PROPSHEETUI_INFO_VERSION, 0, PROPSHEETUI_REASON_INIT, &s,
                            &com_sheet_function, lParam, 0, 0};
  if (callback(&s.info, lParam) <= 0) return ERR_CPSUI_GETLASTERROR;

  PROPSHEETUI_INFO_HEADER header{};
  header.cbSize = sizeof header;
  header.hWndParent = owner;
  s.info.Reason = PROPSHEETUI_REASON_GET_INFO_HEADER;
  callback(&s.info, reinterpret_cast<LPARAM>(&header));

  LONG answer = ERR_CPSUI_NO_PROPSHEETPAGE;
  DWORD sheet_result = CPSUI_CANCEL;
  if (!s.pages.empty()) {
    PROPSHEETHEADERW psh{};
    psh.dwSize = sizeof psh;
    psh.dwFlags = (header.Flags & PSUIHDRF_NOAPPLYNOW ? PSH_NOAPPLYNOW : 0) | (header.Flags & PSUIHDRF_PROPTITLE ? PSH_PROPTITLE : 0) |
                  (header.Flags & PSUIHDRF_USEHICON ? PSH_USEHICON : 0);
    psh.hwndParent = owner;
    psh.hInstance = header.hInst;
    psh.hIcon = header.hIcon;
    psh.pszCaption = header.pTitle;
    psh.nPages = static_cast<UINT>(s.pages.size());
    psh.nStartPage = static_cast<UINT>(s.start);
    psh.phpage = s.pages.data();
    INT_PTR r = PropertySheetW(&psh);
    if (r >= 0) {
      sheet_result = (r > 0 || s.ok_reported) ? CPSUI_OK : CPSUI_CANCEL;
      answer = static_cast<LONG>(sheet_result);
    } else {
      answer = ERR_CPSUI_GETLASTERROR;
    }
  }
  s.info.Reason = PROPSHEETUI_REASON_DESTROY;
  callback(&s.info, sheet_result == CPSUI_OK ? 1 : 0);
  if (result) *result = sheet_result;
  return answer;
}

}  // extern "C"

namespace {
const HMODULE g_compstui = morva::platform::register_builtin_module(
    u"compstui.dll", {{"CommonPropertySheetUIW", morva_proc(&CommonPropertySheetUIW)}});
}  // namespace
