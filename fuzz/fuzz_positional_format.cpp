// Message templates come from the resource module: any text must format
// inside the output buffer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/common/common_utils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // First byte: output size; the rest: UTF-16LE template.
  INT out_size = data[0];
  std::u16string templ;
  for (std::size_t i = 1; i + 1 < size; i += 2) {
    char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (!c) break;
    templ.push_back(c);
  }
  PositionalArg args[9];
  for (int i = 0; i < 9; ++i) args[i] = {u"text", i * 1000 - 4000};
  std::u16string out(static_cast<std::size_t>(out_size) + 1, u'#');
  INT n = FormatPositionalMessageArgs(out.data(), out_size, templ.c_str(), args, 9);
  if (n < 0 || (out_size > 0 && n >= out_size)) __builtin_trap();
  return 0;
}
