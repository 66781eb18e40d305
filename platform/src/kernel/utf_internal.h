// UTF-8 <-> UTF-16 shared by the string helpers and the code-page
// conversions, so one encoder and one decoder serve both.
#pragma once

#include <string>
#include <string_view>

namespace morva::platform {

// Lone surrogates become U+FFFD; `invalid` (when given) is set if any were met.
std::string utf16_to_utf8(std::u16string_view text, bool* invalid);

// Strict decoding: each bad sequence becomes U+FFFD and sets `invalid`
// (when given).
std::u16string utf8_to_utf16(const unsigned char* s, size_t n, bool* invalid);

}  // namespace morva::platform
