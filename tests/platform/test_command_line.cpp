#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win/command_line.h"
#include "win/memory.h"

namespace {
std::vector<std::u16string> split(const char16_t* line) {
  int argc = -1;
  LPWSTR* argv = CommandLineToArgvW(line, &argc);
  std::vector<std::u16string> out;
  if (!argv) return out;
  for (int i = 0; i < argc; ++i) out.emplace_back(argv[i]);
  LocalFree(argv);
  return out;
}
using V = std::vector<std::u16string>;
}  // namespace

TEST(CommandLine, SplitsByTheWindowsRules) {
  struct Case {
    const char16_t* line;
    V args;
  } cases[] = {
      {u"prog a b", {u"prog", u"a", u"b"}},
      {u"\"C:\\Program Files\\app.exe\"  x\t\"y z\"", {u"C:\\Program Files\\app.exe", u"x", u"y z"}},
      {u"C:\\dir\\p.exe a\\\\\\\"b", {u"C:\\dir\\p.exe", u"a\\\"b"}},        // 3 backslashes + quote
      {u"p \"a\\\\\" b", {u"p", u"a\\", u"b"}},                              // 2 backslashes + quote
      {u"p a\\b\\c", {u"p", u"a\\b\\c"}},                                    // backslashes kept
      {u"p \"say \"\"hi\"\"\"", {u"p", u"say \"hi\""}},                      // doubled quote in quoting
      {u"p \"\"", {u"p", u""}},
      {u"p   ", {u"p"}},
      {u"", {u""}},
  };
  for (const Case& c : cases) EXPECT_EQ(split(c.line), c.args);
  EXPECT_EQ(CommandLineToArgvW(u"p", nullptr), nullptr);
}

TEST(CommandLine, OwnCommandLineNamesTheProgramByItsWindowsPath) {
  V args = split(GetCommandLineW());
  ASSERT_FALSE(args.empty());
  EXPECT_EQ(args[0].rfind(u"Z:\\", 0), 0u);
  EXPECT_TRUE(args[0].ends_with(u"\\platform_command_line"));
}
