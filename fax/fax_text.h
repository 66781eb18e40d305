// Text helpers shared by the fax sources: fixed-size record fields read up
// to their terminator, and UTF-16 text in the ANSI code page.
#pragma once

#include <cstddef>
#include <string>

#include "win/win.h"

namespace morva::fax::fax_text {

// The text of a WCHAR field, up to its terminator or its end.
template <std::size_t N>
std::u16string text_of(const WCHAR (&field)[N]) {
  std::size_t n = 0;
  while (n < N && field[n]) ++n;
  return std::u16string(field, n);
}

// The text of a char field, up to its terminator or its end.
template <std::size_t N>
std::string ansi_of(const char (&field)[N]) {
  std::size_t n = 0;
  while (n < N && field[n]) ++n;
  return std::string(field, n);
}

// The text in the ANSI code page; false when it cannot be converted.
inline bool to_ansi(const std::u16string& text, std::string* out) {
  out->clear();
  if (text.empty()) return true;
  const int bytes =
      WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return false;
  out->resize(static_cast<std::size_t>(bytes));
  return WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out->data(), bytes, nullptr,
                             nullptr) == bytes;
}

}  // namespace morva::fax::fax_text
