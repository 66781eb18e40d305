// Small helpers of the fax tests: the folder the test runs from (where the
// stand-in libraries and tools lie) and filling fixed-size text fields.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "win/types.h"

namespace morva::test {

// The host folder of the running test program, with a trailing slash.
inline std::string bin_native() {
  char path[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  std::string dir = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
  return dir.substr(0, dir.rfind('/') + 1);
}

// The same folder as a Windows path on the host drive (Z:).
inline std::u16string bin_directory() {
  std::u16string out = u"Z:";
  for (char ch : bin_native()) out += ch == '/' ? u'\\' : static_cast<char16_t>(ch);
  return out;
}

// Fills a WCHAR field with the text, cut to leave room for the terminator.
template <size_t N>
void put(WCHAR (&field)[N], const std::u16string& text) {
  std::memset(field, 0, sizeof(field));
  std::memcpy(field, text.c_str(), std::min(text.size(), N - 1) * sizeof(WCHAR));
}

}  // namespace morva::test
