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

// The code of every literal delta, by the byte difference to the left
// neighbour: one put of up to 11 bits.
struct DeltaTable {
  BitCode codes[256];
};
constexpr DeltaTable kDeltaTable = [] {
  DeltaTable t{};
  for (int i = 0; i < 256; ++i) {
    const int d = i > 128 ? i - 256 : i;
    if (d == 0) {
      t.codes[i] = kDeltaZero;
    } else if (d == 1) {
      t.codes[i] = kDeltaPlusOne;
    } else if (d == -1) {
      t.codes[i] = kDeltaMinusOne;
    } else {
      const int magnitude = d < 0 ? -d : d;
      const DeltaCode* code = kDeltaCodes;
      while (magnitude > code->last) ++code;
      const std::uint32_t sign = d < 0 ? 1 : 0;
      const std::uint32_t extra = static_cast<std::uint32_t>(magnitude - code->first);
      t.codes[i] = {(((code->code.bits << 1) | sign) << code->extra_bits) | extra,
                    code->code.length + 1 + code->extra_bits};
    }
  }
  return t;
}();

// The length code of each run length up to 161, by length; longer runs
// take one of the last two codes.
struct LengthIndex {
  BYTE index[162];
};
constexpr LengthIndex kLengthIndex = [] {
  LengthIndex t{};
  for (DWORD n = 1; n < 162; ++n) {
    BYTE i = 0;
    while (n > kLengthCodes[i].last) ++i;
    t.index[n] = i;
  }
  return t;
}();
static_assert(kLengthCodes[11].last == 161 && kLengthCodes[12].last == 673);

// The bit writer: fields go in most significant bit first and leave in
// groups of four bytes. It lives in the coder between rows and in locals
// while a row is coded, so that the compiler need not store it back after
// every byte of output.
struct BitWriter {
  std::uint64_t acc = 0;  // the low `nbits` bits are pending
  int nbits = 0;          // below 32 between puts
  BYTE* out = nullptr;
  DWORD room = 0, pos = 0;
  bool overflow = false;

  void byte(BYTE b) {
    if (pos < room) {
      out[pos++] = b;
    } else {
      overflow = true;
    }
  }
  // count <= 32; bits holds no more than count bits.
  void put(std::uint32_t bits, int count) {
    acc = (acc << count) | bits;
    nbits += count;
    if (nbits >= 32) {
      nbits -= 32;
      const auto word = static_cast<std::uint32_t>(acc >> nbits);
      if (room - pos >= 4) {
        out[pos] = static_cast<BYTE>(word >> 24);
        out[pos + 1] = static_cast<BYTE>(word >> 16);
        out[pos + 2] = static_cast<BYTE>(word >> 8);
        out[pos + 3] = static_cast<BYTE>(word);
        pos += 4;
      } else {
        for (int shift = 24; shift >= 0; shift -= 8) byte(static_cast<BYTE>(word >> shift));
      }
    }
  }
  void put(BitCode c) { put(c.bits, c.length); }
  // Sends every whole byte; fewer than 8 bits stay pending.
  void flush() {
    while (nbits >= 8) {
      nbits -= 8;
      byte(static_cast<BYTE>(acc >> nbits));
    }
    acc &= (std::uint64_t{1} << nbits) - 1;
  }
};

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

  BitWriter bits;
  bool broken = false;

  int mode = 0;
  BYTE order[5] = {};
  bool shifted = false;  // the token before was a run ending off a 17057 boundary
  LONG balance = 0;
  bool pending = false;
  BYTE pending_kind = 0;
  std::uint64_t pending_length = 0;

  ~RunLengthCoder() { delete[] buffers; }

  // Offsets from a pixel to its references in the row buffers, by kind:
  // left, above-left, above, above-right and the fifth neighbour.
  void reference_offsets(std::ptrdiff_t off[5]) const {
    const std::ptrdiff_t ps = pixel_size, up = prev - cur;
    off[0] = -ps;
    off[1] = up - ps;
    off[2] = up;
    off[3] = up + ps;
    off[4] = ps == 1 ? -8 : up + 2 * ps;
  }

  // Pixels from x on that each equal the pixel `off` bytes away, up to the
  // row end.
  template <DWORD PS>
  DWORD run_length(std::ptrdiff_t off, DWORD x) const {
    const BYTE* p = cur + std::size_t{x} * PS;
    const BYTE* r = p + off;
    const DWORD limit = width - x;
    DWORD n = 0;
    if constexpr (PS == 1) {
      while (n < limit && p[n] == r[n]) ++n;
    } else {
      while (n < limit && load4(p + 4 * n) == load4(r + 4 * n)) ++n;
    }
    return n;
  }
  static std::uint32_t load4(const BYTE* b) {
    std::uint32_t v;
    std::memcpy(&v, b, 4);
    return v;
  }

  void move_to_front(int position) {
    const BYTE kind = order[position];
    std::memmove(order + 1, order, static_cast<std::size_t>(position));
    order[0] = kind;
  }

  // Writes the run tokens; `shift` and `bal` are the coder's shifted flag
  // and balance, kept by the caller.
  void write_run(BitWriter& w, BYTE kind, std::uint64_t length, bool& shift, LONG& bal) {
    int position = 0;
    while (order[position] != kind) ++position;
    int index = position + 1;
    if (shift) --index;
    if (index < 1) {  // cannot happen: a run never follows one of its own kind
      broken = true;
      return;
    }
    DWORD last = 0;
    for (bool first = true; length > 0; first = false) {
      last = static_cast<DWORD>(std::min<std::uint64_t>(length, kRunLengthMaxRun));
      const int token = first ? index : 1;
      const BitCode t = kTokenCodes[token][mode];
      const LengthCode& code = kLengthCodes[last < 162 ? kLengthIndex.index[last] : last <= 673 ? 12 : 13];
      // Token (at most 5 bits), length code (6) and extra bits (14): one put.
      const int count = t.length + code.code.length + code.extra_bits;
      const std::uint32_t field = (((t.bits << code.code.length) | code.code.bits) << code.extra_bits) |
                                  (last - code.first);
      w.put(field, count);
      if (token == 1) ++bal;
      if (first) move_to_front(position);
      length -= last;
    }
    shift = last != kRunLengthMaxRun;
  }

  template <DWORD PS>
  void code_row() {
    BitWriter w = bits;
    bool shift = shifted;
    LONG bal = 0;
    std::ptrdiff_t off[5];
    reference_offsets(off);
    const DWORD comps = components;
    DWORD x = 0;
    if (pending) {
      const DWORD more = run_length<PS>(off[pending_kind], 0);
      pending_length += more;
      if (more == width) {
        x = width;
      } else {
        pending = false;
        write_run(w, pending_kind, pending_length, shift, bal);
        x = more;
      }
    }
    const BitCode literal_token = kTokenCodes[kLiteralIndex][mode];
    while (x < width) {
      const BYTE* here = cur + std::size_t{x} * PS;
      // A pixel equal to none of its references is a literal: tell that
      // from one comparison with each before measuring runs.
      bool any;
      if constexpr (PS == 1) {
        const BYTE v = *here;
        any = (v == here[off[0]]) | (v == here[off[1]]) | (v == here[off[2]]) | (v == here[off[3]]) |
              (v == here[off[4]]);
      } else {
        const std::uint32_t v = load4(here);
        any = (v == load4(here + off[0])) | (v == load4(here + off[1])) | (v == load4(here + off[2])) |
              (v == load4(here + off[3])) | (v == load4(here + off[4]));
      }
      if (!any) {
        const BYTE* left = here - PS;
        const BitCode d0 = kDeltaTable.codes[static_cast<BYTE>(here[0] - left[0])];
        w.put((literal_token.bits << d0.length) | d0.bits, literal_token.length + d0.length);
        if (comps >= 3) {
          const BitCode d1 = kDeltaTable.codes[static_cast<BYTE>(here[1] - left[1])];
          const BitCode d2 = kDeltaTable.codes[static_cast<BYTE>(here[2] - left[2])];
          w.put((d1.bits << d2.length) | d2.bits, d1.length + d2.length);
          if (comps == 4) w.put(kDeltaTable.codes[static_cast<BYTE>(here[3] - left[3])]);
        }
        --bal;
        shift = false;
        ++x;
        continue;
      }
      DWORD best = 0;
      int best_position = 0;
      for (int p = 0; p < 5; ++p) {
        const DWORD n = run_length<PS>(off[order[p]], x);
        if (n > best) {
          best = n;
          best_position = p;
        }
      }
      if (x + best == width) {
        pending = true;
        pending_kind = order[best_position];
        pending_length = best;
        x = width;
      } else {
        write_run(w, order[best_position], best, shift, bal);
        x += best;
      }
    }
    if ((bal >= kModeSwitchBalance && mode == 1) || (bal <= -kModeSwitchBalance && mode == 0)) {
      w.put(kTokenCodes[kEscapeIndex][mode]);
      w.put(0, 1);
      mode ^= 1;
    }
    w.flush();
    bits = w;
    shifted = shift;
    balance = bal;
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
  coder->bits.out = out;
  coder->bits.room = room;
  coder->bits.pos = 0;
  coder->bits.overflow = false;
  if (coder->in_size == coder->pixel_size) {
    std::memcpy(coder->cur, row, std::size_t{coder->width} * coder->pixel_size);
  } else {
    for (DWORD x = 0; x < coder->width; ++x) {
      std::memcpy(coder->cur + x * 4, row + x * 3, 3);  // the fourth byte keeps the fill
    }
  }
  if (coder->pixel_size == 1) {
    coder->code_row<1>();
  } else {
    coder->code_row<4>();
  }
  std::swap(coder->cur, coder->prev);
  ++coder->rows_done;
  if (coder->bits.overflow || coder->broken) {
    coder->broken = true;
    return -1;
  }
  return static_cast<LONG>(coder->bits.pos);
}

LONG RunLengthCoder_Finish(RunLengthCoder* coder, BYTE* out, DWORD room) {
  if (coder == nullptr) return -1;
  LONG result = -1;
  if (out != nullptr && !coder->broken && coder->rows_done == coder->height) {
    BitWriter& w = coder->bits;
    w.out = out;
    w.room = room;
    w.pos = 0;
    w.overflow = false;
    if (coder->pending) coder->write_run(w, coder->pending_kind, coder->pending_length, coder->shifted, coder->balance);
    w.put(kTokenCodes[kEscapeIndex][coder->mode]);
    w.put(0b111, 3);
    w.flush();
    if (w.nbits > 0) w.put((1u << (8 - w.nbits)) - 1, 8 - w.nbits);
    w.flush();
    if (!w.overflow && !coder->broken) result = static_cast<LONG>(w.pos);
  }
  delete coder;
  return result;
}

}  // namespace morva::render
