// UTF-16 -> UTF-8 shared by the string helpers and the code-page
// conversions, so one encoder serves both.
#pragma once

#include <string>
#include <string_view>

namespace morva::platform {

// Lone surrogates become U+FFFD; `invalid` (when given) is set if any were met.
std::string utf16_to_utf8(std::u16string_view text, bool* invalid);

}  // namespace morva::platform
