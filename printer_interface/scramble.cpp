// Scramble and Base64 primitives.
#include "pi/scramble.h"

namespace morva::pi {
namespace {

constexpr BYTE kKey[4] = {'k', 'q', 'z', 'b'};

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr BYTE kNotInAlphabet = 255;

// Values of the 128 ASCII codes; 255 for codes outside the alphabet.
consteval auto make_decode_table() {
  struct Table { BYTE v[128]; } t{};
  for (auto& v : t.v) v = kNotInAlphabet;
  for (int i = 0; i < 64; ++i) t.v[static_cast<BYTE>(kAlphabet[i])] = static_cast<BYTE>(i);
  return t;
}
constexpr auto kDecode = make_decode_table();

bool is_space(BYTE c) { return (c >= 9 && c <= 13) || c == 32; }

}  // namespace

int ScrambleBytes(const BYTE* input, int length, BYTE* output, int* written, int capacity) {
  if (input == nullptr || output == nullptr || written == nullptr) return kCodecNullArgument;
  if (length <= 0 || capacity <= 0) return kCodecBadLength;
  *written = 0;
  for (int group = 0; group < length; group += 4) {
    const int n = length - group < 4 ? length - group : 4;
    if (group + n > capacity) return kCodecNoRoom;
    for (int i = group; i < group + n; ++i) output[i] = static_cast<BYTE>(input[i] ^ kKey[i % 4]);
    *written = group + n;
  }
  return kCodecOk;
}

int Base64Encode(const BYTE* input, int length, char* output, int* written, int capacity) {
  if (input == nullptr || output == nullptr || written == nullptr) return kCodecNullArgument;
  if (length <= 0 || capacity <= 0) return kCodecBadLength;
  if (length > (0x7FFFFFFF / 4) * 3 - 2 || capacity < Base64EncodedLength(length)) return kCodecNoRoom;
  int o = 0;
  for (int i = 0; i < length; i += 3) {
    const int n = length - i < 3 ? length - i : 3;
    const DWORD v = (DWORD{input[i]} << 16) | (n > 1 ? DWORD{input[i + 1]} << 8 : 0) | (n > 2 ? input[i + 2] : 0);
    output[o++] = kAlphabet[(v >> 18) & 63];
    output[o++] = kAlphabet[(v >> 12) & 63];
    output[o++] = n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
    output[o++] = n > 2 ? kAlphabet[v & 63] : '=';
  }
  *written = o;
  return kCodecOk;
}

int Base64Decode(const char* input, int length, BYTE* output, int* written, int capacity) {
  if (input == nullptr || output == nullptr || written == nullptr) return kCodecNullArgument;
  if (length <= 0 || capacity <= 0) return kCodecBadLength;
  if (capacity / 3 < (length / 4) + (length % 4 != 0 ? 1 : 0)) return kCodecNoRoom;
  const auto* in = reinterpret_cast<const BYTE*>(input);
  int pos = 0;
  int out = 0;
  *written = 0;
  for (;;) {
    BYTE group[4] = {};
    int count = 0;
    while (count < 4) {
      while (pos < length && is_space(in[pos])) ++pos;
      if (pos >= length || in[pos] == 0) break;
      if (in[pos] >= 128) return kCodecBadInput;
      group[count++] = in[pos++];
    }
    if (count < 3) break;
    int produced = 3;
    if (count == 3 || group[2] == '=') {
      produced = 1;
    } else if (group[3] == '=') {
      produced = 2;
    }
    const DWORD a = kDecode.v[group[0]], b = kDecode.v[group[1]], c = kDecode.v[group[2]], d = kDecode.v[group[3]];
    const BYTE bytes[3] = {static_cast<BYTE>(a << 2 | b >> 4), static_cast<BYTE>(b << 4 | c >> 2),
                           static_cast<BYTE>(c << 6 | d)};
    for (int i = 0; i < produced; ++i) output[out++] = bytes[i];
    *written = out;
    if (produced < 3) break;
  }
  return kCodecOk;
}

}  // namespace morva::pi
