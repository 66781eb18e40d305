// The print-time prompt: when a job's settings ask for it, the user gives a
// user name and password, or an account and its code, before the job goes
// on; through the outside prompt component when it is installed and
// switched on, otherwise through the driver's own dialog. The answers go
// into the job's settings and into the user's stored settings.
#pragma once

#include "win/com.h"
#include "win/types.h"

struct DddHandle;

// The outside prompt component's interface (after IUnknown's methods):
// each field is defined by its key and a description (three zero-ended
// texts: character classes, caption, attributes; a double zero ends it),
// then Show asks them all and writes "key=value" texts into the reply.
struct IPrintPromptComponent : IUnknown {
  virtual HRESULT DefineField(LPCSTR key, LPCSTR description) = 0;
  virtual HRESULT Show(HWND window, LPCSTR keys, LPSTR reply, DWORD size) = 0;

 protected:
  ~IPrintPromptComponent() = default;
};

namespace morva::pi {

// Resource id of the prompt dialog and its controls.
inline constexpr WORD kPromptDialog = 3550;
inline constexpr INT kPromptUserName = 1343, kPromptPassword = 1347, kPromptLoginName = 3523,
                     kPromptDomain = 3537, kPromptAccount = 3531, kPromptAccountCode = 3532;
inline constexpr INT kPromptUserMode = 3552, kPromptAccountMode = 3553, kPromptHelp = 1341;
// Size of the reply buffer the outside component fills.
inline constexpr DWORD kPromptReplySize = 1024;

// 1 when the job may go on (no prompt due, or answered), 0 when the user
// cancelled or a step failed. `mode` 1 at the start of a document, 0 when
// a saved job is sent again (the user's stored answers are offered first).
// `devmode` is the 5988-byte driver DEVMODE, `printer_data` the settings
// block; both are replaced by the answered copies on OK.
INT PrintTimePrompt(HANDLE printer, void* devmode, void* printer_data, DddHandle* database, INT mode);

// The driver's own dialog: 1 OK, 2 cancelled, -1 when it cannot be shown.
INT RunPromptDialog(HANDLE printer, void* devmode, void* printer_data, DddHandle* database, BOOL strict,
                    BOOL stored_flag, INT mode);

// The outside component's dialog: 1 when it answered and its reply was
// stored, 0 otherwise.
INT RunComPrompt(HWND window, void* devmode, void* printer_data, DddHandle* database);

// Stores a reply of the component: zero-terminated "key=value" texts in
// field order, read only within the `size` bytes of the buffer (a text
// that runs to the buffer's end without its terminator ends the reply).
// The values go to the user name, login name, password (protected when
// `protect_password`) and, with `fourth_field`, the domain. 1 stored, 0 on
// a text without "=" or a refused write.
INT ParsePromptReply(const char* reply, DWORD size, void* devmode, void* printer_data, BOOL protect_password,
                     BOOL fourth_field);

}  // namespace morva::pi
