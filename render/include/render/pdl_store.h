// Building blocks of the operator writers: stores of single operands
// through a cursor, and PutFixed, which writes an operator whose catalogue
// layout is a fixed list of scalars. They live in a header so that the
// simple writers in render/pdl_operators.h can be inline: a state change
// is a few stores, and a call and set-up would cost as much again.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <utility>

#include "render/pdl_catalogue.h"
#include "render/pdl_encoding.h"

namespace morva::render::pdl_store {

// Stores of one operand at q, most significant byte first; each answers
// the position after it.
inline BYTE* StoreWord(BYTE* q, DWORD v) {
  std::uint16_t be = static_cast<std::uint16_t>(v);
  if constexpr (std::endian::native == std::endian::little) be = __builtin_bswap16(be);
  std::memcpy(q, &be, 2);
  return q + 2;
}
inline BYTE* StoreDword(BYTE* q, DWORD v) {
  std::uint32_t be = v;
  if constexpr (std::endian::native == std::endian::little) be = __builtin_bswap32(be);
  std::memcpy(q, &be, 4);
  return q + 4;
}
inline BYTE* StoreReal(BYTE* q, float x) {
  DWORD bits;
  std::memcpy(&bits, &x, 4);
  return StoreDword(q, bits);
}
inline BYTE* StoreVar(BYTE* q, LONG x) {
  DWORD m = x < 0 ? 0u - static_cast<DWORD>(x) : static_cast<DWORD>(x);
  BYTE sign = x < 0 ? 0x40 : 0;
  if (m < (1u << 6)) {
    *q = static_cast<BYTE>(sign | m);
    return q + 1;
  }
  if (m < (1u << 13)) {
    q[0] = static_cast<BYTE>(0x80 | sign | (m >> 7));
    q[1] = static_cast<BYTE>(m & 0x7F);
    return q + 2;
  }
  return q + PdlEncodeVarNumber(x, q);
}

// Stores a whole operator of at most `most` bytes straight into the sink's
// buffer through one cursor when the buffer has the room: fill(q) stores it
// at q and answers the end. False (nothing stored) when it has not.
template <typename Fill>
inline bool StoreDirect(PdlSink* s, std::size_t most, Fill fill) {
  if (s == nullptr || s->room() < most) return false;
  BYTE* q = s->cursor();
  s->advance(static_cast<std::size_t>(fill(q) - q));
  return true;
}

// Writers of operators whose catalogue layout is a fixed list of scalars
// are generated from the layout: it is parsed when compiling, each letter
// picks the encoding of the next argument and `=N` operands are written
// from the table itself.
struct LayoutToken {
  char letter = 0;
  bool constant = false;
  std::int64_t value = 0;
};

constexpr std::size_t CountTokens(const char* p) {
  std::size_t n = 0;
  for (; *p; ++p)
    if ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z')) ++n;
  return n;
}

template <PdlOp op>
constexpr auto ParseLayout() {
  constexpr const char* layout = PdlOperator(op).layout;
  std::array<LayoutToken, CountTokens(layout)> tokens{};
  std::size_t n = 0;
  for (const char* p = layout; *p;) {
    LayoutToken t;
    t.letter = *p++;
    if (*p == '=') {
      ++p;
      bool neg = *p == '-';
      if (neg) ++p;
      while (*p >= '0' && *p <= '9') t.value = t.value * 10 + (*p++ - '0');
      if (neg) t.value = -t.value;
      t.constant = true;
    }
    tokens[n++] = t;
  }
  return tokens;
}

constexpr bool IsScalar(char c) {
  return c == 'b' || c == 's' || c == 'w' || c == 'W' || c == 't' || c == 'd' || c == 'f' || c == 'v' || c == 'G';
}

template <auto tokens>
constexpr std::size_t ArgumentsBefore(std::size_t i) {
  std::size_t n = 0;
  for (std::size_t k = 0; k < i; ++k) n += !tokens[k].constant && tokens[k].letter != 'G';
  return n;
}

// Most bytes a scalar operand takes.
constexpr std::size_t TokenBytes(char c) {
  switch (c) {
    case 'b': case 's': return 1;
    case 'w': case 'W': return 2;
    case 't': return 3;
    case 'd': case 'f': return 4;
    case 'v': return kPdlVarNumberMax;
    default: return 0;
  }
}

template <LayoutToken t, typename V>
inline BYTE* StoreToken(BYTE* q, V v) {
  static_assert(IsScalar(t.letter), "operator layout is not a fixed list of scalars");
  if constexpr (t.letter == 'b' || t.letter == 's') {
    *q = static_cast<BYTE>(v);
    return q + 1;
  } else if constexpr (t.letter == 'w' || t.letter == 'W') {
    return StoreWord(q, static_cast<DWORD>(v));
  } else if constexpr (t.letter == 't') {
    q[0] = static_cast<BYTE>(static_cast<DWORD>(v) >> 16);
    return StoreWord(q + 1, static_cast<DWORD>(v));
  } else if constexpr (t.letter == 'd') {
    return StoreDword(q, static_cast<DWORD>(v));
  } else if constexpr (t.letter == 'f') {
    return StoreReal(q, static_cast<float>(v));
  } else if constexpr (t.letter == 'v') {
    return StoreVar(q, static_cast<LONG>(v));
  } else {
    return q;  // 'G': the glyph record follows, written by the caller
  }
}

template <PdlOp op, typename... A>
inline int PutFixed(PdlSink* s, A... args) {
  static constexpr auto tokens = ParseLayout<op>();
  static_assert(ArgumentsBefore<tokens>(tokens.size()) == sizeof...(A), "argument count differs from the layout");
  // The whole operator is stored through one cursor into room reserved once.
  constexpr std::size_t most = [] {
    std::size_t n = 0;
    for (const LayoutToken& t : tokens) n += TokenBytes(t.letter);
    return n;
  }();
  static_assert(most + 2 <= 256, "operator longer than one run");
  const std::tuple<A...> values(args...);
  auto fill = [&](BYTE* q) {
    constexpr WORD opcode = PdlOperator(op).opcode;
    q = StoreWord(q, opcode);
    [&]<std::size_t... I>(std::index_sequence<I...>) {
      (
          [&] {
            constexpr LayoutToken t = tokens[I];
            if constexpr (t.constant)
              q = StoreToken<t>(q, t.value);
            else if constexpr (t.letter == 'G')
              q = StoreToken<t>(q, 0);
            else
              q = StoreToken<t>(q, std::get<ArgumentsBefore<tokens>(I)>(values));
          }(),
          ...);
    }(std::make_index_sequence<tokens.size()>{});
    return q;
  };
  if (StoreDirect(s, most + 2, fill)) return 0;
  BYTE run[most + 2];
  return Pdl_PutBytes(s, run, static_cast<std::size_t>(fill(run) - run));
}

}  // namespace morva::render::pdl_store
