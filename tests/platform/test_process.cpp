// Programs started as processes: arguments split as a command line is,
// the exit code, a wait that times out, and ending a program.
#include <gtest/gtest.h>

#include <string>

#include "temp_root.h"
#include "win/win.h"

namespace {

DWORD run(const std::u16string& command_line, DWORD wait_ms = 10000) {
  std::u16string line = command_line;
  PROCESS_INFORMATION info{};
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (!CreateProcessW(u"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return 0xDEAD;
  DWORD code = 0xBEEF;
  if (WaitForSingleObject(info.hProcess, wait_ms) == WAIT_OBJECT_0) GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return code;
}

TEST(Process, ArgumentsExitCodeAndTheMachineRoot) {
  morva::test::TempRoot root;
  EXPECT_EQ(run(u"-c \"exit 7\""), 7u);
  // Words as the C runtime splits them; the program stands on our machine.
  EXPECT_EQ(run(u"-c \"printf '%s|' \\\"$0\\\" \\\"$1\\\" > $MORVA_ROOT/args\" \"a b\" c\\\\d"), 0u);
  EXPECT_EQ(morva::test::read_file(root.file("args")), "a b|c\\\\d|");
  PROCESS_INFORMATION info{};
  std::u16string line = u"-c \"sleep 5\"";
  EXPECT_FALSE(CreateProcessW(u"C:\\none.exe", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr,
                              &info));
}

TEST(Process, AWaitTimesOutAndAProgramCanBeEnded) {
  morva::test::TempRoot root;
  std::u16string line = u"-c \"sleep 5\"";
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(
      CreateProcessW(u"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &info));
  DWORD code = 0;
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 20), WAIT_TIMEOUT);
  ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  ASSERT_TRUE(TerminateProcess(info.hProcess, 42));
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_FALSE(TerminateProcess(info.hProcess, 1));  // already ended
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
}

}  // namespace
