// Message boxes, headless: each box is answered from a script that a test
// or the print host sets (by default with the box's default button) and is
// recorded for later assertions.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "win/types.h"

#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_ABORTRETRYIGNORE 0x00000002u
#define MB_YESNOCANCEL 0x00000003u
#define MB_YESNO 0x00000004u
#define MB_RETRYCANCEL 0x00000005u
#define MB_CANCELTRYCONTINUE 0x00000006u
#define MB_TYPEMASK 0x0000000Fu
#define MB_ICONHAND 0x00000010u
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040u
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_ICONMASK 0x000000F0u
#define MB_DEFBUTTON1 0x00000000u
#define MB_DEFBUTTON2 0x00000100u
#define MB_DEFBUTTON3 0x00000200u
#define MB_DEFBUTTON4 0x00000300u
#define MB_DEFMASK 0x00000F00u
#define MB_APPLMODAL 0x00000000u
#define MB_SYSTEMMODAL 0x00001000u
#define MB_TASKMODAL 0x00002000u
#define MB_HELP 0x00004000u
#define MB_SETFOREGROUND 0x00010000u
#define MB_TOPMOST 0x00040000u

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDTRYAGAIN 10
#define IDCONTINUE 11

extern "C" {
MORVA_WIN_API INT MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
MORVA_WIN_API INT MessageBoxExW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type, WORD language);
MORVA_WIN_API BOOL MessageBeep(UINT type);
}

namespace morva::platform {

struct MessageBoxRecord {
  std::u16string caption;
  std::u16string text;
  UINT style = 0;
  INT answer = 0;
};

// The button a box of this style answers with when nobody scripts it.
MORVA_WIN_API INT default_message_box_answer(UINT style);

// Answers for the next boxes, first in first out. A scripted 0 stands for
// the default button. When the queue is empty, the handler (if set) answers,
// else the default button does.
MORVA_WIN_API void script_message_box_answers(const std::vector<INT>& answers);
MORVA_WIN_API void set_message_box_handler(std::function<INT(const MessageBoxRecord&)> handler);

// Every box shown since the last clear, oldest first.
MORVA_WIN_API std::vector<MessageBoxRecord> message_box_log();
// Forgets the log, the scripted answers and the handler.
MORVA_WIN_API void reset_message_boxes();

}  // namespace morva::platform
