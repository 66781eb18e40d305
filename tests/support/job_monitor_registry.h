// The job-monitor client library as the product installs it: its folder
// named in the registry, where the client looks for it; and the log the
// tests' stand-in of that library writes, one call a line.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "win/errors.h"
#include "win/registry.h"

namespace morva::test {

inline void InstallJobMonitorLibrary(const std::u16string& folder) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Orvanto\\JobTracer\\JbTrc", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, u"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                           static_cast<DWORD>((folder.size() + 1) * sizeof(char16_t))),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

inline std::vector<std::string> ReadLogLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace morva::test
