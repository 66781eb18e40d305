// Scramble and Base64: texts the driver keeps or sends in protected form are
// XOR-scrambled with a fixed 4-byte key and then Base64-encoded.
//
// Every function takes (input, input length, output, out written length,
// output capacity) and returns one of the codes below.
#pragma once

#include "win/types.h"

namespace morva::pi {

enum : int {
  kCodecOk = 0,
  kCodecNullArgument = -1,   // input, output or written-length pointer null
  kCodecBadLength = -2,      // input length or capacity 0 or less
  kCodecNoRoom = -3,         // the output does not fit
  kCodecBadInput = -4,       // a byte of 128 or above in a text to decode
};

// output[i] = input[i] XOR key[i mod 4]; input and output may be the same
// buffer. The capacity is checked per group of four bytes; on kCodecNoRoom
// *written holds the bytes already produced.
int ScrambleBytes(const BYTE* input, int length, BYTE* output, int* written, int capacity);

// Standard Base64 with '=' fill and no line breaks; no terminating zero.
int Base64Encode(const BYTE* input, int length, char* output, int* written, int capacity);

// Decodes at most `length` characters of Base64 text (stopping early at a
// zero byte), skipping white space. The capacity must be at least
// 3 * ((length + 3) / 4). Decoding ends after the first group that yields
// fewer than three bytes.
int Base64Decode(const char* input, int length, BYTE* output, int* written, int capacity);

// Length of the Base64 text of n bytes.
constexpr int Base64EncodedLength(int n) { return 4 * ((n + 2) / 3); }

}  // namespace morva::pi
