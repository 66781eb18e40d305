// Programs started as processes: posix_spawn of the native file a Windows
// path names, a handle that waits with waitpid, and the exit code.
//
// The command line is split into arguments as the C runtime of the
// started program would split it: words separated by blanks or tabs, a
// quotation mark toggling a quoted part, backslashes before a quotation
// mark halved (an odd one leaving the mark literal). The program's first
// argument is its native path; the words follow.
#include "win/process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kernel/waitable.h"
#include "win/errors.h"
#include "win/machine_root.h"
#include "win/paths.h"
#include "win/strings.h"
#include "win/sync.h"

extern char** environ;

namespace morva::platform {
namespace {

class ProcessObject : public Waitable {
 public:
  explicit ProcessObject(pid_t pid) : pid_(pid) {}
  ~ProcessObject() override {
    std::lock_guard<std::mutex> lock(guard_);
    reap(false);
  }

  DWORD wait(DWORD milliseconds) override {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(guard_);
        if (reap(false)) return WAIT_OBJECT_0;
      }
      if (milliseconds != INFINITE && std::chrono::steady_clock::now() >= deadline) return WAIT_TIMEOUT;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  bool terminate(UINT code) {
    std::lock_guard<std::mutex> lock(guard_);
    if (reap(false)) return false;
    if (::kill(pid_, SIGKILL) != 0) return false;
    reap(true);
    code_ = code;
    return true;
  }

  DWORD exit_code() {
    std::lock_guard<std::mutex> lock(guard_);
    return reap(false) ? code_ : STILL_ACTIVE;
  }

 private:
  // True once the child has ended (its status taken).
  bool reap(bool block) {
    if (ended_) return true;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    if (r == 0) return false;
    if (r < 0) {
      if (errno == EINTR) return false;
      code_ = 1;  // not ours to wait for any more
    } else {
      code_ = WIFEXITED(status) ? static_cast<DWORD>(WEXITSTATUS(status))
                                : static_cast<DWORD>(128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0));
    }
    ended_ = true;
    return true;
  }

  std::mutex guard_;
  pid_t pid_;
  bool ended_ = false;
  DWORD code_ = STILL_ACTIVE;
};

// The started program's main thread: nothing to do with it here.
class ThreadStub : public KernelObject {};

std::vector<std::string> split_command_line(std::u16string_view line) {
  std::vector<std::string> words;
  std::u16string word;
  bool in_word = false, quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char16_t c = line[i];
    if (c == u'\\') {
      size_t n = 0;
      while (i < line.size() && line[i] == u'\\') ++n, ++i;
      if (i < line.size() && line[i] == u'"') {
        word.append(n / 2, u'\\');
        if (n % 2) word += u'"';
        else quoted = !quoted;
      } else {
        word.append(n, u'\\');
        --i;
      }
      in_word = true;
      if (i >= line.size()) break;
      continue;
    }
    if (c == u'"') {
      quoted = !quoted;
      in_word = true;
    } else if ((c == u' ' || c == u'\t') && !quoted) {
      if (in_word) words.push_back(u16_to_utf8(word));
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(u16_to_utf8(word));
  return words;
}

}  // namespace
}  // namespace morva::platform

using namespace morva::platform;

extern "C" {

BOOL CreateProcessW(LPCWSTR application, LPWSTR command_line, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                    DWORD, LPVOID environment, LPCWSTR directory, LPSTARTUPINFOW, LPPROCESS_INFORMATION information) {
  if (!information || (!application && !command_line) || environment || directory) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<std::string> words = split_command_line(command_line ? std::u16string_view(command_line) : u"");
  std::u16string program;
  if (application) {
    program = application;
  } else {
    if (words.empty()) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    program = morva::utf8_to_u16(words.front());
    words.erase(words.begin());
  }
  DWORD error = 0;
  std::string native;
  if (!native_path(program, &native, &error) || ::access(native.c_str(), X_OK) != 0) {
    SetLastError(error ? error : ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  // Everything is prepared before the child exists.
  std::vector<std::string> env;
  const std::string root = machine_root();
  for (char** e = environ; e && *e; ++e)
    if (std::strncmp(*e, "MORVA_ROOT=", 11) != 0) env.emplace_back(*e);
  if (!root.empty()) env.push_back("MORVA_ROOT=" + root);
  std::vector<char*> argv{native.data()};
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawn(&pid, native.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  information->hProcess = insert_handle(std::make_shared<ProcessObject>(pid));
  information->hThread = insert_handle(std::make_shared<ThreadStub>());
  information->dwProcessId = static_cast<DWORD>(pid);
  information->dwThreadId = static_cast<DWORD>(pid);
  return TRUE;
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD code) {
  auto object = handle_object<ProcessObject>(process);
  if (!object || !code) return FALSE;
  *code = object->exit_code();
  return TRUE;
}

BOOL TerminateProcess(HANDLE process, UINT exit_code) {
  auto object = handle_object<ProcessObject>(process);
  if (!object) return FALSE;
  if (!object->terminate(exit_code)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
