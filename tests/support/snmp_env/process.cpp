#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace morva::test {
namespace {

using Clock = std::chrono::steady_clock;

// Everything the child needs is prepared before fork(): after it only
// async-signal-safe calls run.
struct Prepared {
  std::vector<std::string> strings;
  std::vector<char*> argv;
  std::vector<char*> envp;
};

Prepared prepare(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env) {
  Prepared p;
  std::map<std::string, std::string> merged;
  for (char** e = environ; e && *e; ++e) {
    const char* eq = std::strchr(*e, '=');
    if (eq) merged[std::string(*e, static_cast<std::size_t>(eq - *e))] = eq + 1;
  }
  for (const auto& [k, v] : env) merged[k] = v;
  p.strings.reserve(argv.size() + merged.size());
  for (const auto& a : argv) p.strings.push_back(a);
  for (const auto& [k, v] : merged) p.strings.push_back(k + "=" + v);
  for (size_t i = 0; i < argv.size(); ++i) p.argv.push_back(p.strings[i].data());
  p.argv.push_back(nullptr);
  for (size_t i = argv.size(); i < p.strings.size(); ++i) p.envp.push_back(p.strings[i].data());
  p.envp.push_back(nullptr);
  return p;
}

[[noreturn]] void exec_child(Prepared& p, pid_t parent) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);  // the parent is already gone
  // Signal masks and dispositions are inherited; give the program clean ones.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  signal(SIGPIPE, SIG_DFL);
  execvpe(p.argv[0], p.argv.data(), p.envp.data());
  _exit(127);
}

}  // namespace

pid_t spawn_child(const ChildSpec& spec) {
  if (spec.argv.empty()) return -1;
  Prepared p = prepare(spec.argv, spec.env);
  const char* out = spec.output_file.empty() ? "/dev/null" : spec.output_file.c_str();
  int out_fd = open(out, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  int null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (out_fd < 0 || null_fd < 0) {
    if (out_fd >= 0) close(out_fd);
    if (null_fd >= 0) close(null_fd);
    return -1;
  }
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(null_fd, 0);
    if (!spec.inherit_output) {
      dup2(out_fd, 1);
      dup2(out_fd, 2);
    }
    if (spec.new_netns && unshare(CLONE_NEWNET) != 0) _exit(126);
    exec_child(p, parent);
  }
  close(out_fd);
  close(null_fd);
  return pid;
}

bool child_running(pid_t pid) {
  if (pid <= 0) return false;
  int status = 0;
  pid_t r = waitpid(pid, &status, WNOHANG);
  return r == 0;
}

void stop_child(pid_t pid, int grace_ms) {
  if (pid <= 0) return;
  kill(pid, SIGCONT);
  kill(pid, SIGTERM);
  auto deadline = Clock::now() + std::chrono::milliseconds(grace_ms);
  int status = 0;
  while (Clock::now() < deadline) {
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
}

CommandResult run_command(const std::vector<std::string>& argv,
                          const std::map<std::string, std::string>& env, int timeout_ms) {
  CommandResult result;
  if (argv.empty()) return result;
  Prepared p = prepare(argv, env);
  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0) return result;
  if (pipe2(err_pipe, O_CLOEXEC) != 0) {
    close(out_pipe[0]);
    close(out_pipe[1]);
    return result;
  }
  int null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(null_fd, 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    exec_child(p, parent);
  }
  close(null_fd);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (pid < 0) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    return result;
  }
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.output, &result.errors};
  int open_count = 2;
  while (open_count > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      result.timed_out = true;
      break;
    }
    int n = poll(fds, 2, static_cast<int>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buf[4096];
      ssize_t got = read(fds[i].fd, buf, sizeof buf);
      if (got > 0) {
        sinks[i]->append(buf, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  for (auto& f : fds)
    if (f.fd >= 0) close(f.fd);
  int status = 0;
  if (result.timed_out) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return result;
  }
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  return result;
}

bool program_available(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  dirs += ":/usr/sbin:/sbin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace morva::test
