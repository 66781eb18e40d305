#include "child_process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

extern char** environ;

namespace morva::test {

int run_program(const std::vector<std::string>& argv,
                const std::vector<std::pair<std::string, std::string>>& extra_env) {
  if (argv.empty()) return -1;
  // Everything is prepared before the child exists: a process with threads
  // may only call async-signal-safe functions between fork and exec.
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    std::string entry = *e;
    std::string key = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const auto& kv : extra_env) replaced = replaced || kv.first == key;
    if (!replaced) env.push_back(entry);
  }
  for (const auto& [k, v] : extra_env) env.push_back(k + "=" + v);
  std::vector<char*> args, envp;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), envp.data()) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int run_child_tests(const std::string& filter, const std::string& root, const std::string& role,
                    const std::vector<std::pair<std::string, std::string>>& extra_env) {
  char self[PATH_MAX] = {};
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return -1;
  auto env = extra_env;
  env.emplace_back("MORVA_ROOT", root);
  env.emplace_back(kChildEnv, role);
  return run_program({std::string(self, static_cast<std::size_t>(n)), "--gtest_filter=" + filter}, env);
}

std::string child_role() {
  const char* r = std::getenv(kChildEnv);
  return r ? r : "";
}

}  // namespace morva::test
