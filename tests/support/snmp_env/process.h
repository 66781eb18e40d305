// Child processes for the SNMP test environment: start a program with its
// own environment and output file, stop it by its pid, or run a command to
// completion and collect what it printed. SnmpAgent starts snmpd with these;
// tests run the net-snmp command-line tools (snmpget, snmpwalk) with
// run_command to compare our results with theirs.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace morva::test {

struct ChildSpec {
  std::vector<std::string> argv;                 // argv[0] is looked up in PATH
  std::map<std::string, std::string> env;        // set on top of the inherited environment
  std::string output_file;                       // stdout and stderr go here ("" = /dev/null)
  bool inherit_output = false;                   // keep the caller's stdout and stderr instead
  bool new_netns = false;                        // start it in a network namespace of its own
};

// Starts the program and returns its pid (-1 on failure). The child is
// killed when the thread that started it ends (PR_SET_PDEATHSIG), so an
// agent never outlives a crashed test.
pid_t spawn_child(const ChildSpec& spec);

// Sends SIGTERM (SIGCONT first, in case it was stopped), waits up to
// `grace_ms`, then SIGKILL. Reaps the child. Safe on -1.
void stop_child(pid_t pid, int grace_ms = 2000);

// True while the child has not exited (reaps it when it has).
bool child_running(pid_t pid);

struct CommandResult {
  int exit_code = -1;        // -1 when the program could not be run or timed out
  std::string output;        // what it wrote to stdout
  std::string errors;        // what it wrote to stderr
  bool timed_out = false;
};

// Runs a command to completion (killed after `timeout_ms`).
CommandResult run_command(const std::vector<std::string>& argv,
                          const std::map<std::string, std::string>& env = {},
                          int timeout_ms = 30000);

// True when `program` is found in PATH.
bool program_available(const std::string& program);

}  // namespace morva::test
