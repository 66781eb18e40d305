#include "win/msgbox.h"

#include <deque>
#include <mutex>

#include "registry_spooler/store.h"

namespace {

std::mutex g_lock;
std::deque<INT> g_answers;
std::function<INT(const morva::platform::MessageBoxRecord&)> g_handler;
std::vector<morva::platform::MessageBoxRecord> g_log;

// Buttons of each box type, left to right.
struct Buttons {
  INT ids[3];
  int count;
};
constexpr Buttons kButtons[] = {
    {{IDOK}, 1},                            // MB_OK
    {{IDOK, IDCANCEL}, 2},                  // MB_OKCANCEL
    {{IDABORT, IDRETRY, IDIGNORE}, 3},      // MB_ABORTRETRYIGNORE
    {{IDYES, IDNO, IDCANCEL}, 3},           // MB_YESNOCANCEL
    {{IDYES, IDNO}, 2},                     // MB_YESNO
    {{IDRETRY, IDCANCEL}, 2},               // MB_RETRYCANCEL
    {{IDCANCEL, IDTRYAGAIN, IDCONTINUE}, 3},  // MB_CANCELTRYCONTINUE
};

}  // namespace

namespace morva::platform {

INT default_message_box_answer(UINT style) {
  UINT type = style & MB_TYPEMASK;
  const Buttons& b = type < std::size(kButtons) ? kButtons[type] : kButtons[0];
  // A default button past the last one falls back to the first, as the
  // system's box does.
  int def = static_cast<int>((style & MB_DEFMASK) >> 8);
  return b.ids[def < b.count ? def : 0];
}

void script_message_box_answers(const std::vector<INT>& answers) {
  std::lock_guard<std::mutex> g(g_lock);
  g_answers.insert(g_answers.end(), answers.begin(), answers.end());
}

void set_message_box_handler(std::function<INT(const MessageBoxRecord&)> handler) {
  std::lock_guard<std::mutex> g(g_lock);
  g_handler = std::move(handler);
}

std::vector<MessageBoxRecord> message_box_log() {
  std::lock_guard<std::mutex> g(g_lock);
  return g_log;
}

void reset_message_boxes() {
  std::lock_guard<std::mutex> g(g_lock);
  g_answers.clear();
  g_handler = nullptr;
  g_log.clear();
}

}  // namespace morva::platform

extern "C" {

INT MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
  using namespace morva::platform;
  MessageBoxRecord r;
  r.caption = caption ? store::wstr(caption) : std::u16string(u"Error");
  r.text = store::wstr(text);
  r.style = type;
  std::function<INT(const MessageBoxRecord&)> handler;
  INT answer = 0;
  {
    std::lock_guard<std::mutex> g(g_lock);
    if (!g_answers.empty()) {
      answer = g_answers.front();
      g_answers.pop_front();
    } else {
      handler = g_handler;
    }
  }
  // The handler runs outside the lock: it may show boxes of its own.
  if (handler) answer = handler(r);
  if (answer == 0) answer = default_message_box_answer(type);
  r.answer = answer;
  std::lock_guard<std::mutex> g(g_lock);
  g_log.push_back(std::move(r));
  return answer;
}

INT MessageBoxExW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type, WORD) {
  return MessageBoxW(owner, text, caption, type);
}

BOOL MessageBeep(UINT) { return TRUE; }

}  // extern "C"
