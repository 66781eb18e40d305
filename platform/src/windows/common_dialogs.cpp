// The common file and colour dialogs, help and the shell's open, answered
// by scripts and recorded (win/commdlg.h).
//
// Rules kept from the real platform:
// - A cancelled file or colour dialog answers FALSE and leaves the caller's
//   record as it was; CommDlgExtendedError then reports 0, or the scripted
//   error. A file name that does not fit nMaxFile fails with
//   FNERR_BUFFERTOOSMALL and the first two bytes of lpstrFile get the size
//   needed. An accepted name fills lpstrFile, nFileOffset, nFileExtension
//   and lpstrFileTitle.
// - ChooseColorW starts from rgbResult when CC_RGBINIT is set.
// - HtmlHelpW: HH_HELP_CONTEXT and HH_DISPLAY_TOPIC open the help window;
//   HH_GET_WIN_HANDLE finds it while it is open; HH_CLOSE_ALL closes it.
// - ShellExecuteW answers a value greater than 32 on success.
#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

#include "win/commdlg.h"
#include "win/errors.h"
#include "win/resources.h"
#include "win/strings.h"

namespace {

using morva::platform::CommonDialogAnswer;
using morva::platform::CommonDialogRecord;

struct State {
  std::mutex lock;
  std::deque<CommonDialogAnswer> answers;
  std::vector<CommonDialogRecord> log;
  DWORD last_error = 0;
  bool help_open = false;
  INT_PTR shell_result = 33;
};
State& st() {
  static auto* s = new State;
  return *s;
}

std::u16string text(LPCWSTR s) { return s && !IS_INTRESOURCE(s) ? std::u16string(morva::u16view(s)) : std::u16string(); }

CommonDialogAnswer next_answer() {
  std::lock_guard<std::mutex> g(st().lock);
  if (st().answers.empty()) return {};
  CommonDialogAnswer a = st().answers.front();
  st().answers.pop_front();
  return a;
}

void record(CommonDialogRecord r) {
  std::lock_guard<std::mutex> g(st().lock);
  st().log.push_back(std::move(r));
}

BOOL file_dialog(LPOPENFILENAMEW ofn, CommonDialogRecord::Kind kind) {
  st().last_error = 0;
  if (!ofn || ofn->lStructSize < offsetof(OPENFILENAMEW, pvReserved)) {
    st().last_error = CDERR_STRUCTSIZE;
    return FALSE;
  }
  CommonDialogRecord r{};
  r.kind = kind;
  r.title = text(ofn->lpstrTitle);
  r.text = ofn->lpstrFile ? text(ofn->lpstrFile) : std::u16string();
  // The filter: pairs of strings ended by an empty one.
  for (LPCWSTR f = ofn->lpstrFilter; f && *f; f += morva::u16len(f) + 1) {
    if (!r.extra.empty()) r.extra += u'|';
    r.extra += morva::u16view(f);
  }
  r.flags = ofn->Flags;
  CommonDialogAnswer a = next_answer();
  r.accepted = a.accept;
  r.answer = a.file;
  if (!a.accept) {
    st().last_error = a.error;
    record(std::move(r));
    return FALSE;
  }
  if (!ofn->lpstrFile || a.file.size() + 1 > ofn->nMaxFile) {
    st().last_error = FNERR_BUFFERTOOSMALL;
    if (ofn->lpstrFile && ofn->nMaxFile >= 2) {
      auto need = static_cast<WORD>(std::min<std::size_t>(a.file.size() + 1, 0xFFFF));
      std::memcpy(ofn->lpstrFile, &need, sizeof need);
    }
    r.accepted = false;
    record(std::move(r));
    return FALSE;
  }
  std::memcpy(ofn->lpstrFile, a.file.c_str(), (a.file.size() + 1) * sizeof(WCHAR));
  std::size_t slash = a.file.find_last_of(u"\\/");
  std::size_t name = slash == std::u16string::npos ? 0 : slash + 1;
  std::size_t dot = a.file.find_last_of(u'.');
  ofn->nFileOffset = static_cast<WORD>(name);
  ofn->nFileExtension = static_cast<WORD>(dot == std::u16string::npos || dot < name ? a.file.size() : dot + 1);
  if (ofn->lpstrFileTitle && ofn->nMaxFileTitle) {
    std::u16string title = a.file.substr(name);
    std::size_t n = std::min<std::size_t>(title.size(), ofn->nMaxFileTitle - 1);
    std::memcpy(ofn->lpstrFileTitle, title.data(), n * sizeof(WCHAR));
    ofn->lpstrFileTitle[n] = 0;
  }
  record(std::move(r));
  return TRUE;
}

}  // namespace

extern "C" {

BOOL GetOpenFileNameW(LPOPENFILENAMEW ofn) { return file_dialog(ofn, CommonDialogRecord::kOpenFile); }
BOOL GetSaveFileNameW(LPOPENFILENAMEW ofn) { return file_dialog(ofn, CommonDialogRecord::kSaveFile); }

BOOL ChooseColorW(LPCHOOSECOLORW cc) {
  st().last_error = 0;
  if (!cc || cc->lStructSize != sizeof(CHOOSECOLORW)) {
    st().last_error = CDERR_STRUCTSIZE;
    return FALSE;
  }
  CommonDialogRecord r{};
  r.kind = CommonDialogRecord::kChooseColor;
  r.flags = cc->Flags;
  r.data = (cc->Flags & CC_RGBINIT) ? cc->rgbResult : 0;
  CommonDialogAnswer a = next_answer();
  r.accepted = a.accept;
  r.colour = a.colour;
  if (a.accept)
    cc->rgbResult = a.colour;
  else
    st().last_error = a.error;
  record(std::move(r));
  return a.accept ? TRUE : FALSE;
}

DWORD CommDlgExtendedError() { return st().last_error; }

HWND HtmlHelpW(HWND, LPCWSTR file, UINT command, DWORD_PTR data) {
  CommonDialogRecord r{};
  r.kind = CommonDialogRecord::kHtmlHelp;
  r.title = text(file);
  r.flags = command;
  r.data = data;
  HWND answer = nullptr;
  // The help viewer's window stands for itself: a handle no window has.
  HWND viewer = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x00E00010));
  switch (command) {
    case HH_DISPLAY_TOPIC:
    case HH_HELP_CONTEXT:
      if (command == HH_DISPLAY_TOPIC && data) r.text = text(reinterpret_cast<LPCWSTR>(data));
      st().help_open = true;
      answer = viewer;
      break;
    case HH_GET_WIN_HANDLE:
      if (data) r.text = text(reinterpret_cast<LPCWSTR>(data));
      answer = st().help_open ? viewer : nullptr;
      break;
    case HH_CLOSE_ALL: st().help_open = false; break;
    default: break;
  }
  r.accepted = answer != nullptr;
  record(std::move(r));
  return answer;
}

BOOL WinHelpW(HWND, LPCWSTR file, UINT command, ULONG_PTR data) {
  CommonDialogRecord r{};
  r.kind = CommonDialogRecord::kWinHelp;
  r.title = text(file);
  r.flags = command;
  r.data = data;
  r.accepted = true;
  record(std::move(r));
  return TRUE;
}

HINSTANCE ShellExecuteW(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR, INT show) {
  CommonDialogRecord r{};
  r.kind = CommonDialogRecord::kShellExecute;
  r.title = verb ? text(verb) : std::u16string(u"open");
  r.text = text(file);
  r.extra = text(parameters);
  r.flags = static_cast<DWORD>(show);
  INT_PTR result = file && *file ? st().shell_result : ERROR_FILE_NOT_FOUND;
  r.accepted = result > 32;
  record(std::move(r));
  return reinterpret_cast<HINSTANCE>(result);
}

}  // extern "C"

namespace morva::platform {

void script_common_dialog_answers(const std::vector<CommonDialogAnswer>& answers) {
  std::lock_guard<std::mutex> g(st().lock);
  st().answers.insert(st().answers.end(), answers.begin(), answers.end());
}

bool help_window_open() { return st().help_open; }

void script_shell_result(INT_PTR result) { st().shell_result = result; }

std::vector<CommonDialogRecord> common_dialog_log() {
  std::lock_guard<std::mutex> g(st().lock);
  return st().log;
}

void reset_common_dialogs() {
  std::lock_guard<std::mutex> g(st().lock);
  st().answers.clear();
  st().log.clear();
  st().last_error = 0;
  st().help_open = false;
  st().shell_result = 33;
}

}  // namespace morva::platform
