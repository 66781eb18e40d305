// Starting programs and watching them end. A started program runs on the
// same machine: it gets MORVA_ROOT of the caller's machine root, so Windows
// paths it is given name the same files.
#pragma once

#include "win/types.h"

#define STILL_ACTIVE 259u
#define STARTF_USESHOWWINDOW 0x00000001u
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

struct STARTUPINFOW {
  DWORD cb;
  LPWSTR lpReserved;
  LPWSTR lpDesktop;
  LPWSTR lpTitle;
  DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  BYTE* lpReserved2;
  HANDLE hStdInput, hStdOutput, hStdError;
};
using LPSTARTUPINFOW = STARTUPINFOW*;

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};
using LPPROCESS_INFORMATION = PROCESS_INFORMATION*;

extern "C" {
// Starts `application` (a Windows path; without it the first word of the
// command line) with the words of `command_line` as its arguments, split as
// the C runtime splits a command line (blanks between words, quotation
// marks around words with blanks). Environment blocks and inherited handles
// are not supported: the program gets the caller's environment. FALSE with
// the last error when the program cannot be started.
MORVA_WIN_API BOOL CreateProcessW(LPCWSTR application, LPWSTR command_line, LPSECURITY_ATTRIBUTES process_security,
                                  LPSECURITY_ATTRIBUTES thread_security, BOOL inherit_handles, DWORD flags,
                                  LPVOID environment, LPCWSTR directory, LPSTARTUPINFOW startup,
                                  LPPROCESS_INFORMATION information);
// STILL_ACTIVE while the program runs, then its exit code (a program ended
// by a signal gives 128 + the signal).
MORVA_WIN_API BOOL GetExitCodeProcess(HANDLE process, LPDWORD code);
// Ends the program at once; its exit code becomes `exit_code`.
MORVA_WIN_API BOOL TerminateProcess(HANDLE process, UINT exit_code);
}
