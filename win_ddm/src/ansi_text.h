// The DMA_ interface hands texts to ANSI callers in the machine's code page.
#pragma once

#include <string>

#include "win/codepage.h"

namespace morva::ddm {

// The text in the ANSI code page; false when it cannot be converted.
inline bool to_ansi(const std::u16string& s, std::string* out) {
  out->clear();
  if (s.empty()) return true;
  const int n = WideCharToMultiByte(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  out->resize(static_cast<std::size_t>(n));
  return WideCharToMultiByte(CP_ACP, 0, s.data(), static_cast<int>(s.size()), out->data(), n, nullptr,
                             nullptr) == n;
}

}  // namespace morva::ddm
