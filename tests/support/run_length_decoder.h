// A decoder of the run-length image code written from its description, for
// tests that check what the coder and the graphics driver produce.
#pragma once

#include <cstring>
#include <stdexcept>
#include <vector>

#include "render/run_length_code.h"
#include "win/types.h"

namespace morva::test {

using Bytes = std::vector<BYTE>;
using morva::render::kRunLengthMaxRun;


struct Token {
  char what;  // 'L' literal, 'R' run, 'M' mode switch, 'E' end
  int index = 0;
  int kind = 0;
  unsigned length = 0;
  bool operator==(const Token&) const = default;
};

class BitReader {
 public:
  explicit BitReader(const Bytes& b) : b_(b) {}
  int bit() {
    if (pos_ >= b_.size() * 8) throw std::runtime_error("past the end");
    const int v = (b_[pos_ / 8] >> (7 - pos_ % 8)) & 1;
    ++pos_;
    return v;
  }
  unsigned bits(int n) {
    unsigned v = 0;
    for (int i = 0; i < n; ++i) v = (v << 1) | static_cast<unsigned>(bit());
    return v;
  }
  std::size_t position() const { return pos_; }
  std::size_t size() const { return b_.size() * 8; }

 private:
  const Bytes& b_;
  std::size_t pos_ = 0;
};

// Decodes `bytes` into rows of width x (1, 3 or 4) bytes; the tokens seen
// go to `trace`. Throws on anything malformed.
inline Bytes rl_decode(const Bytes& bytes, unsigned width, unsigned height, unsigned bpp, std::vector<Token>* trace = nullptr) {
  const unsigned ps = bpp == 8 ? 1 : 4, in = bpp / 8;
  const BYTE fill = bpp == 8 ? 0x00 : 0xFF;
  const unsigned span = 8 + width * ps + 12;
  std::vector<BYTE> cur(span, fill), prev(span, fill);
  Bytes out;
  BitReader r(bytes);
  int mode = 0;
  int order[5] = {0, 2, 1, 3, 4};
  bool shifted = false;
  unsigned x = 0, y = 0;
  auto px = [&](std::vector<BYTE>& row, long i) { return row.data() + 8 + i * static_cast<long>(ps); };
  auto reference = [&](int kind) -> const BYTE* {
    switch (kind) {
      case 0: return px(cur, x - 1L);
      case 1: return px(prev, x - 1L);
      case 2: return px(prev, x);
      case 3: return px(prev, x + 1L);
      default: return ps == 1 ? px(cur, x - 8L) : px(prev, x + 2L);
    }
  };
  auto next_pixel = [&] {
    if (++x == width) {
      for (unsigned i = 0; i < width; ++i) out.insert(out.end(), px(cur, i), px(cur, i) + in);
      std::swap(cur, prev);
      x = 0;
      ++y;
    }
  };
  auto token_index = [&]() -> int {
    // Mode 0: 0 -> run 1, 10 -> literal; mode 1 the other way round.
    if (r.bit() == 0) return mode == 0 ? 1 : 0;
    if (r.bit() == 0) return mode == 0 ? 0 : 1;
    if (r.bit() == 0) return 2;
    if (r.bit() == 0) return r.bit() == 0 ? 3 : 4;
    return r.bit() == 0 ? 5 : 6;
  };
  for (;;) {
    const int index = token_index();
    if (index == 6) {
      if (r.bit() == 0) {
        mode ^= 1;
        if (trace) trace->push_back({'M'});
        continue;
      }
      if (r.bits(2) != 3) throw std::runtime_error("bad escape");
      while (r.position() % 8) {
        if (r.bit() != 1) throw std::runtime_error("bad padding");
      }
      if (trace) trace->push_back({'E'});
      break;
    }
    if (y >= height) throw std::runtime_error("token past the last row");
    if (index == 0) {
      BYTE* p = px(cur, x);
      const BYTE* left = px(cur, x - 1L);
      for (unsigned c = 0; c < in; ++c) {
        int d;
        const unsigned code = r.bits(3);
        if (code == 0) {
          d = 0;
        } else if (code == 1) {
          d = 1;
        } else if (code == 2) {
          d = -1;
        } else {
          int base, extra;
          if (code == 3) { base = 2; extra = 1; }
          else if (code == 4) { base = 4; extra = 2; }
          else if (code == 5) { base = 8; extra = 3; }
          else if (code == 6) { base = 16; extra = 5; }
          else if (r.bit() == 0) { base = 48; extra = 5; }
          else { base = 80; extra = 6; }
          const int negative = r.bit();
          const int magnitude = base + static_cast<int>(r.bits(extra));
          d = negative ? -magnitude : magnitude;
        }
        p[c] = static_cast<BYTE>(left[c] + d);
      }
      shifted = false;
      if (trace) trace->push_back({'L'});
      next_pixel();
      continue;
    }
    const int position = index + (shifted ? 1 : 0);
    if (position > 5) throw std::runtime_error("no such position");
    const int kind = order[position - 1];
    for (int i = position - 1; i > 0; --i) order[i] = order[i - 1];
    order[0] = kind;
    unsigned length;
    static const struct { unsigned code; int bits; unsigned first; int extra; } kLengths[] = {
        {0b00, 2, 1, 0},        {0b010, 3, 2, 0},       {0b011, 3, 3, 0},       {0b100, 3, 4, 1},
        {0b101, 3, 6, 2},       {0b110, 3, 10, 4},      {0b111000, 6, 26, 3},   {0b111001, 6, 34, 3},
        {0b111010, 6, 42, 3},   {0b111011, 6, 50, 4},   {0b111100, 6, 66, 5},   {0b111101, 6, 98, 6},
        {0b111110, 6, 162, 9},  {0b111111, 6, 674, 14}};
    unsigned code = r.bits(2);
    int have = 2;
    for (;;) {
      bool found = false;
      for (const auto& l : kLengths) {
        if (l.bits == have && l.code == code && (have != 2 || code == 0)) {
          length = l.first + r.bits(l.extra);
          found = true;
          break;
        }
      }
      if (found) break;
      code = (code << 1) | static_cast<unsigned>(r.bit());
      if (++have > 6) throw std::runtime_error("bad length code");
    }
    if (trace) trace->push_back({'R', index, kind, length});
    for (unsigned i = 0; i < length; ++i) {
      if (y >= height) throw std::runtime_error("run past the last row");
      std::memcpy(px(cur, x), reference(kind), ps);
      next_pixel();
    }
    shifted = length != kRunLengthMaxRun;
  }
  if (y != height) throw std::runtime_error("rows missing");
  return out;
}

}  // namespace morva::test
