// morva-snmp-agent: the test agent as a program, for scripts (the demo)
// and for trying things by hand.
//
//   morva-snmp-agent [--fixture FILE] [--add FILE] [--port N] [--default-user]
//                    [--netns] [-- COMMAND ARGS...]
//
// Starts snmpd serving the fixture (the demo device unless --fixture;
// --add appends a file of overrides). With --netns the agent listens on
// 127.0.0.1:161 inside a network namespace of its own and COMMAND runs in
// the same namespace; without it the agent takes a free port on 127.0.0.1.
// COMMAND gets MORVA_SNMP_AGENT_ADDRESS and MORVA_SNMP_AGENT_PORT (and
// MIBS and SNMP_PERSISTENT_DIR set for the net-snmp tools); the
// agent is stopped by its pid when COMMAND ends, and COMMAND's exit code is
// returned. Without COMMAND the agent runs until SIGINT or SIGTERM.
// Exit code 77: namespaces or the agent are not available here.
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "netns.h"
#include "snmp_agent.h"

namespace {

using namespace morva::test;

int usage() {
  std::fprintf(stderr,
               "usage: morva-snmp-agent [--fixture FILE] [--add FILE] [--port N] [--default-user] [--netns] "
               "[-- COMMAND ARGS...]\n");
  return 2;
}

int serve(SnmpAgentOptions options, const std::vector<std::string>& command) {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  sigprocmask(SIG_BLOCK, &stop, nullptr);
  try {
    SnmpAgent agent(options);
    std::fprintf(stderr, "morva-snmp-agent: snmpd pid %d on %s:%u (folder %s)\n", static_cast<int>(agent.pid()),
                 agent.target_address().c_str(), agent.port(), agent.dir().c_str());
    if (command.empty()) {
      int sig = 0;
      sigwait(&stop, &sig);
      return 0;
    }
    ChildSpec spec;
    spec.argv = command;
    spec.env = {{"MORVA_SNMP_AGENT_ADDRESS", agent.target_address()},
                {"MORVA_SNMP_AGENT_PORT", std::to_string(agent.port())},
                {"MIBS", ""},
                {"SNMP_PERSISTENT_DIR", agent.dir() + "/client"}};
    spec.inherit_output = true;
    pid_t pid = spawn_child(spec);
    if (pid < 0) {
      std::fprintf(stderr, "morva-snmp-agent: cannot run %s\n", command[0].c_str());
      return 127;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "morva-snmp-agent: %s\n", e.what());
    return 77;
  }
}

}  // namespace

int main(int argc, char** argv) {
  SnmpAgentOptions options;
  bool netns = false;
  std::vector<std::string> command;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--fixture") {
      options.fixture = value();
    } else if (a == "--add") {
      std::ifstream in(value());
      std::ostringstream s;
      s << in.rdbuf();
      options.fixture_text += s.str() + "\n";
    } else if (a == "--port") {
      options.port = static_cast<std::uint16_t>(std::atoi(value().c_str()));
    } else if (a == "--default-user") {
      options.with_default_user = true;
    } else if (a == "--netns") {
      netns = true;
    } else if (a == "--") {
      command.assign(argv + i + 1, argv + argc);
      break;
    } else {
      return usage();
    }
  }
  if (auto why = snmp_environment_missing(); !why.empty()) {
    std::fprintf(stderr, "morva-snmp-agent: %s\n", why.c_str());
    return 77;
  }
  if (!netns) return serve(options, command);
  if (auto why = netns_unavailable_reason(); !why.empty()) {
    std::fprintf(stderr, "morva-snmp-agent: %s\n", why.c_str());
    return 77;
  }
  if (options.port == 0) options.port = 161;
  return run_in_netns_process([&](NetNamespace&) { return serve(options, command); });
}
