// Runs tests of the current test program in a second process, to prove
// that state written by one process is seen by another.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace morva::test {

// Environment variable set in the child; child-only tests skip without it.
inline constexpr const char* kChildEnv = "MORVA_TEST_CHILD";

// Re-executes this test program with --gtest_filter=<filter>, MORVA_ROOT
// set to `root` and kChildEnv set to `role`, plus `extra_env`. Returns the
// child's exit status (-1 when it could not run or was killed).
int run_child_tests(const std::string& filter, const std::string& root, const std::string& role,
                    const std::vector<std::pair<std::string, std::string>>& extra_env = {});

// The role this process was started with by run_child_tests, or empty.
std::string child_role();

// Runs a program with arguments and waits; returns its exit status, -1 when
// it could not run or was killed.
int run_program(const std::vector<std::string>& argv,
                const std::vector<std::pair<std::string, std::string>>& extra_env = {});

}  // namespace morva::test
