// The common file and colour dialogs, HTML Help and WinHelp, and the
// shell's ShellExecuteW, headless: each call is answered by a script that a
// test or host sets (by default the user cancels, help opens no window and
// the shell reports success) and is recorded for assertions.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "win/window.h"

using LPOFNHOOKPROC = UINT_PTR (*)(HWND, UINT, WPARAM, LPARAM);
struct OPENFILENAMEW {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCWSTR lpstrFilter;
  LPWSTR lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;
  LPWSTR lpstrFile;
  DWORD nMaxFile;
  LPWSTR lpstrFileTitle;
  DWORD nMaxFileTitle;
  LPCWSTR lpstrInitialDir;
  LPCWSTR lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  LPCWSTR lpstrDefExt;
  LPARAM lCustData;
  LPOFNHOOKPROC lpfnHook;
  LPCWSTR lpTemplateName;
  void* pvReserved;
  DWORD dwReserved;
  DWORD FlagsEx;
};
using LPOPENFILENAMEW = OPENFILENAMEW*;

using LPCCHOOKPROC = UINT_PTR (*)(HWND, UINT, WPARAM, LPARAM);
struct CHOOSECOLORW {
  DWORD lStructSize;
  HWND hwndOwner;
  HWND hInstance;
  COLORREF rgbResult;
  COLORREF* lpCustColors;
  DWORD Flags;
  LPARAM lCustData;
  LPCCHOOKPROC lpfnHook;
  LPCWSTR lpTemplateName;
};
using LPCHOOSECOLORW = CHOOSECOLORW*;

#define OFN_READONLY 0x00000001
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_HIDEREADONLY 0x00000004
#define OFN_NOCHANGEDIR 0x00000008
#define OFN_NOVALIDATE 0x00000100
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000
#define OFN_CREATEPROMPT 0x00002000
#define OFN_NONETWORKBUTTON 0x00020000
#define OFN_EXPLORER 0x00080000
#define OFN_ENABLESIZING 0x00800000
#define CC_RGBINIT 0x00000001
#define CC_FULLOPEN 0x00000002
#define CC_PREVENTFULLOPEN 0x00000004
#define CC_ANYCOLOR 0x00000100
#define CDERR_STRUCTSIZE 0x0001
#define CDERR_INITIALIZATION 0x0002
#define FNERR_BUFFERTOOSMALL 0x3003

#define HH_DISPLAY_TOPIC 0x0000
#define HH_GET_WIN_HANDLE 0x0006
#define HH_HELP_CONTEXT 0x000F
#define HH_CLOSE_ALL 0x0012
#define HELP_CONTEXT 0x0001
#define HELP_QUIT 0x0002
#define HELP_CONTEXTPOPUP 0x0008
#define HELP_WM_HELP 0x000C

extern "C" {
MORVA_WIN_API BOOL GetOpenFileNameW(LPOPENFILENAMEW ofn);
MORVA_WIN_API BOOL GetSaveFileNameW(LPOPENFILENAMEW ofn);
MORVA_WIN_API BOOL ChooseColorW(LPCHOOSECOLORW cc);
MORVA_WIN_API DWORD CommDlgExtendedError();
MORVA_WIN_API HWND HtmlHelpW(HWND caller, LPCWSTR file, UINT command, DWORD_PTR data);
MORVA_WIN_API BOOL WinHelpW(HWND window, LPCWSTR file, UINT command, ULONG_PTR data);
MORVA_WIN_API HINSTANCE ShellExecuteW(HWND window, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                      LPCWSTR directory, INT show);
}

namespace morva::platform {

// One shown common dialog, help call or shell call.
struct CommonDialogRecord {
  enum Kind { kOpenFile, kSaveFile, kChooseColor, kHtmlHelp, kWinHelp, kShellExecute } kind;
  std::u16string title;      // dialog title; help file; shell verb
  std::u16string text;       // initial file name; help topic string; shell file
  std::u16string extra;      // file filter (pairs joined by '|'); shell parameters
  DWORD flags = 0;           // OFN_/CC_ flags; help command; show command
  ULONG_PTR data = 0;        // initial colour; help data
  bool accepted = false;     // the scripted user chose OK (or the call succeeded)
  std::u16string answer;     // the chosen file name
  COLORREF colour = 0;       // the chosen colour
};

// The scripted answer for the next common dialog: accepted with a file
// name or colour, or cancelled (optionally with an extended error code).
struct CommonDialogAnswer {
  bool accept = false;
  std::u16string file;
  COLORREF colour = 0;
  DWORD error = 0;
};
MORVA_WIN_API void script_common_dialog_answers(const std::vector<CommonDialogAnswer>& answers);
// HtmlHelpW(HH_GET_WIN_HANDLE) finds a window while help "is open": after
// an HH_HELP_CONTEXT or HH_DISPLAY_TOPIC call and until HH_CLOSE_ALL.
MORVA_WIN_API bool help_window_open();
// The value ShellExecuteW answers (greater than 32 is success; 33 by default).
MORVA_WIN_API void script_shell_result(INT_PTR result);
MORVA_WIN_API std::vector<CommonDialogRecord> common_dialog_log();
MORVA_WIN_API void reset_common_dialogs();

}  // namespace morva::platform
