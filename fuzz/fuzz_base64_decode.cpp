// Base64Decode on arbitrary text: it never reads past the stated length nor
// writes past the capacity it asks for, and what it encodes decodes back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pi/scramble.h"

using namespace morva::pi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 1 << 16) return 0;
  const int length = static_cast<int>(size);
  std::vector<char> text(data, data + size);
  std::vector<BYTE> out(3 * ((size + 3) / 4));
  int written = 0;
  Base64Decode(text.data(), length, out.data(), &written, static_cast<int>(out.size()));

  std::vector<char> encoded(static_cast<std::size_t>(Base64EncodedLength(length)));
  if (Base64Encode(data, length, encoded.data(), &written, static_cast<int>(encoded.size())) != kCodecOk) abort();
  std::vector<BYTE> back(3 * ((encoded.size() + 3) / 4));
  int decoded = 0;
  if (Base64Decode(encoded.data(), written, back.data(), &decoded, static_cast<int>(back.size())) != kCodecOk ||
      decoded != length || std::memcmp(back.data(), data, size) != 0) {
    abort();
  }
  return 0;
}
