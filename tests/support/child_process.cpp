#include "child_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

extern char** environ;

namespace morva::test {

int run_program(const std::vector<std::string>& argv,
                const std::vector<std::pair<std::string, std::string>>& extra_env) {
  if (argv.empty()) return -1;
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    for (const auto& [k, v] : extra_env) setenv(k.c_str(), v.c_str(), 1);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execve(args[0], args.data(), environ);
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
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
