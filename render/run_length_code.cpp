// The predictive run-length bit code of image rows.

#include "render/run_length_code.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>

namespace morva::render {

namespace {

// Bytes of margin kept before and after each row buffer; references outside
// the row read them.
constexpr DWORD kMarginBefore = 8;
constexpr DWORD kMarginAfter = 12;
constexpr DWORD kMaxRowBytes = 65535 - (kMarginBefore + kMarginAfter);

struct BitCode {
  std::uint32_t bits;
  int length;
};

// Token codes by index (0 literal, 1-5 run with the reference at that
// position, 6 escape) and mode.
constexpr BitCode kTokenCodes[7][2] = {
    {{0b10, 2}, {0b0, 1}},   {{0b0, 1}, {0b10, 2}},   {{0b110, 3}, {0b110, 3}},       {{0b11100, 5}, {0b11100, 5}},
    {{0b11101, 5}, {0b11101, 5}}, {{0b11110, 5}, {0b11110, 5}}, {{0b11111, 5}, {0b11111, 5}},
};
constexpr int kLiteralIndex = 0;
constexpr int kEscapeIndex = 6;

struct LengthCode {
  DWORD first, last;
  BitCode code;
  int extra_bits;  // length minus `first`
};

constexpr LengthCode kLengthCodes[] = {
    {1, 1, {0b00, 2}, 0},          {2, 2, {0b010, 3}, 0},         {3, 3, {0b011, 3}, 0},
    {4, 5, {0b100, 3}, 1},         {6, 9, {0b101, 3}, 2},         {10, 25, {0b110, 3}, 4},
    {26, 33, {0b111000, 6}, 3},    {34, 41, {0b111001, 6}, 3},    {42, 49, {0b111010, 6}, 3},
    {50, 65, {0b111011, 6}, 4},    {66, 97, {0b111100, 6}, 5},    {98, 161, {0b111101, 6}, 6},
    {162, 673, {0b111110, 6}, 9},  {674, 17057, {0b111111, 6}, 14},
};
static_assert(kLengthCodes[std::size(kLengthCodes) - 1].last == kRunLengthMaxRun);

struct DeltaCode {
  int first, last;  // magnitudes
  BitCode code;
  int extra_bits;   // magnitude minus `first`, after the sign bit
};

// 0, +1 and -1 have codes of their own without a sign bit.
constexpr BitCode kDeltaZero = {0b000, 3};
constexpr BitCode kDeltaPlusOne = {0b001, 3};
constexpr BitCode kDeltaMinusOne = {0b010, 3};
constexpr DeltaCode kDeltaCodes[] = {
    {2, 3, {0b011, 3}, 1},    {4, 7, {0b100, 3}, 2},    {8, 15, {0b101, 3}, 3},
    {16, 47, {0b110, 3}, 5},  {48, 79, {0b1110, 4}, 5}, {80, 128, {0b1111, 4}, 6},
};

// The reference kinds in their starting order: left, above, above-left,
// above-right, and the fifth neighbour.
constexpr BYTE kStartOrder[5] = {0, 2, 1, 3, 4};

// A mode switch is written at the row end once this many more tokens of
// one kind than of the other were written in the row.
constexpr LONG kModeSwitchBalance = 8;

}  // namespace

struct RunLengthCoder {
  DWORD width = 0, height = 0, rows_done = 0;
  DWORD pixel_size = 1;  // bytes a pixel in the row buffers
  DWORD in_size = 1;     // bytes a pixel in the caller's rows
  DWORD components = 1;  // delta codes of a literal
  BYTE fill = 0;
  BYTE* buffers = nullptr;
  BYTE* cur = nullptr;   // first pixel of the current row
  BYTE* prev = nullptr;  // first pixel of the previous row

  std::uint64_t acc = 0;  // bits not yet forming a whole byte
  int nbits = 0;
  BYTE* out = nullptr;
  DWORD room = 0, pos = 0;
  bool overflow = false;
  bool broken = false;

  int mode = 0;
  BYTE order[5] = {};
  bool shifted = false;  // the token before was a run ending off a 17057 boundary
  LONG balance = 0;
  bool pending = false;
  BYTE pending_kind = 0;
  std::uint64_t pending_length = 0;

  ~RunLengthCoder() { delete[] buffers; }

  void put(std::uint32_t bits, int count) {
    acc = (acc << count) | (bits & ((std::uint64_t{1} << count) - 1));
    nbits += count;
    while (nbits >= 8) {
      nbits -= 8;
      const BYTE b = static_cast<BYTE>(acc >> nbits);
      if (pos < room) {
        out[pos++] = b;
      } else {
        overflow = true;
      }
    }
    acc &= (std::uint64_t{1} << nbits) - 1;
  }
  void put(BitCode c) { put(c.bits, c.length); }

  const BYTE* reference(int kind, DWORD x) const {
    const BYTE* here = cur + x * pixel_size;
    const BYTE* above = prev + x * pixel_size;
    switch (kind) {
      case 0: return here - pixel_size;
      case 1: return above - pixel_size;
      case 2: return above;
      case 3: return above + pixel_size;
      default: return pixel_size == 1 ? here - 8 : above + 2 * pixel_size;
    }
  }

  // Pixels from x on that each equal their reference of `kind`, up to the
  // row end.
  DWORD run_length(int kind, DWORD x) const {
    // Every reference sits at a fixed distance from its pixel.
    const BYTE* p = cur + x * pixel_size;
    const BYTE* r = reference(kind, x);
    const DWORD limit = width - x;
    DWORD n = 0;
    if (pixel_size == 1) {
      while (n < limit && p[n] == r[n]) ++n;
    } else {
      auto word = [](const BYTE* b) {
        std::uint32_t v;
        std::memcpy(&v, b, 4);
        return v;
      };
      while (n < limit && word(p + 4 * n) == word(r + 4 * n)) ++n;
    }
    return n;
  }

  void move_to_front(int position) {
    const BYTE kind = order[position];
    std::memmove(order + 1, order, static_cast<std::size_t>(position));
    order[0] = kind;
  }

  void write_run(BYTE kind, std::uint64_t length) {
    int position = 0;
    while (order[position] != kind) ++position;
    int index = position + 1;
    if (shifted) --index;
    if (index < 1) {  // cannot happen: a run never follows one of its own kind
      broken = true;
      return;
    }
    DWORD last = 0;
    for (bool first = true; length > 0; first = false) {
      last = static_cast<DWORD>(std::min<std::uint64_t>(length, kRunLengthMaxRun));
      const int token = first ? index : 1;
      put(kTokenCodes[token][mode]);
      const LengthCode* code = kLengthCodes;
      while (last > code->last) ++code;
      put(code->code);
      if (code->extra_bits) put(last - code->first, code->extra_bits);
      if (token == 1) ++balance;
      if (first) move_to_front(position);
      length -= last;
    }
    shifted = last != kRunLengthMaxRun;
  }

  void write_literal(DWORD x) {
    put(kTokenCodes[kLiteralIndex][mode]);
    const BYTE* here = cur + x * pixel_size;
    const BYTE* left = here - pixel_size;
    for (DWORD c = 0; c < components; ++c) {
      int d = static_cast<BYTE>(here[c] - left[c]);
      if (d > 128) d -= 256;
      if (d == 0) {
        put(kDeltaZero);
      } else if (d == 1) {
        put(kDeltaPlusOne);
      } else if (d == -1) {
        put(kDeltaMinusOne);
      } else {
        const int magnitude = d < 0 ? -d : d;
        const DeltaCode* code = kDeltaCodes;
        while (magnitude > code->last) ++code;
        put(code->code);
        put(d < 0 ? 1 : 0, 1);
        put(static_cast<std::uint32_t>(magnitude - code->first), code->extra_bits);
      }
    }
    --balance;
    shifted = false;
  }

  void code_row() {
    balance = 0;
    DWORD x = 0;
    if (pending) {
      const DWORD more = run_length(pending_kind, 0);
      pending_length += more;
      if (more == width) {
        x = width;
      } else {
        pending = false;
        write_run(pending_kind, pending_length);
        x = more;
      }
    }
    while (x < width) {
      DWORD best = 0;
      int best_position = 0;
      for (int p = 0; p < 5; ++p) {
        const DWORD n = run_length(order[p], x);
        if (n > best) {
          best = n;
          best_position = p;
        }
      }
      if (best == 0) {
        write_literal(x);
        ++x;
      } else if (x + best == width) {
        pending = true;
        pending_kind = order[best_position];
        pending_length = best;
        x = width;
      } else {
        write_run(order[best_position], best);
        x += best;
      }
    }
    if ((balance >= kModeSwitchBalance && mode == 1) || (balance <= -kModeSwitchBalance && mode == 0)) {
      put(kTokenCodes[kEscapeIndex][mode]);
      put(0, 1);
      mode ^= 1;
    }
  }
};

RunLengthCoder* RunLengthCoder_Create(DWORD width, DWORD height, DWORD bits_per_pixel) {
  if (width == 0 || height == 0) return nullptr;
  DWORD pixel_size, in_size;
  BYTE fill;
  switch (bits_per_pixel) {
    case 8: pixel_size = 1, in_size = 1, fill = 0x00; break;
    case 24: pixel_size = 4, in_size = 3, fill = 0xFF; break;
    case 32: pixel_size = 4, in_size = 4, fill = 0xFF; break;
    default: return nullptr;
  }
  if (std::uint64_t{width} * pixel_size > kMaxRowBytes) return nullptr;
  auto* coder = new (std::nothrow) RunLengthCoder;
  if (coder == nullptr) return nullptr;
  const std::size_t row_span = kMarginBefore + std::size_t{width} * pixel_size + kMarginAfter;
  coder->buffers = new (std::nothrow) BYTE[2 * row_span];
  if (coder->buffers == nullptr) {
    delete coder;
    return nullptr;
  }
  std::memset(coder->buffers, fill, 2 * row_span);
  coder->width = width;
  coder->height = height;
  coder->pixel_size = pixel_size;
  coder->in_size = in_size;
  coder->components = in_size;
  coder->fill = fill;
  coder->cur = coder->buffers + kMarginBefore;
  coder->prev = coder->buffers + row_span + kMarginBefore;
  std::memcpy(coder->order, kStartOrder, sizeof kStartOrder);
  return coder;
}

LONG RunLengthCoder_EncodeRow(RunLengthCoder* coder, const BYTE* row, BYTE* out, DWORD room) {
  if (coder == nullptr || row == nullptr || out == nullptr || coder->broken || coder->rows_done >= coder->height) {
    if (coder != nullptr) coder->broken = true;
    return -1;
  }
  coder->out = out;
  coder->room = room;
  coder->pos = 0;
  coder->overflow = false;
  if (coder->in_size == coder->pixel_size) {
    std::memcpy(coder->cur, row, std::size_t{coder->width} * coder->pixel_size);
  } else {
    for (DWORD x = 0; x < coder->width; ++x) {
      std::memcpy(coder->cur + x * 4, row + x * 3, 3);  // the fourth byte keeps the fill
    }
  }
  coder->code_row();
  std::swap(coder->cur, coder->prev);
  ++coder->rows_done;
  if (coder->overflow || coder->broken) {
    coder->broken = true;
    return -1;
  }
  return static_cast<LONG>(coder->pos);
}

LONG RunLengthCoder_Finish(RunLengthCoder* coder, BYTE* out, DWORD room) {
  if (coder == nullptr) return -1;
  LONG result = -1;
  if (out != nullptr && !coder->broken && coder->rows_done == coder->height) {
    coder->out = out;
    coder->room = room;
    coder->pos = 0;
    coder->overflow = false;
    if (coder->pending) coder->write_run(coder->pending_kind, coder->pending_length);
    coder->put(kTokenCodes[kEscapeIndex][coder->mode]);
    coder->put(0b111, 3);
    if (coder->nbits > 0) coder->put((1u << (8 - coder->nbits)) - 1, 8 - coder->nbits);
    if (!coder->overflow && !coder->broken) result = static_cast<LONG>(coder->pos);
  }
  delete coder;
  return result;
}

}  // namespace morva::render
