#include "render/pdl_operators.h"

#include "render/pdl_store.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <tuple>
#include <type_traits>
#include <utility>
#include <initializer_list>
#include <limits>

namespace morva::render {

using namespace pdl_store;

namespace {

// The one-byte numbers of the steps -63 to 63, by step + 63.
struct ShortSteps {
  BYTE bytes[127];
};
constexpr ShortSteps kShortSteps = [] {
  ShortSteps t{};
  for (int d = -63; d <= 63; ++d) t.bytes[d + 63] = static_cast<BYTE>(d < 0 ? 0x40 | -d : d);
  return t;
}();

// One relative step as a PdlVarNumber: the one-byte form looked up, the
// two-byte form built inline. A step beyond 32 bits sets `wide`.
inline BYTE* StoreStep(BYTE* q, std::int64_t d, bool& wide) {
  const std::uint64_t u = static_cast<std::uint64_t>(d + 63);
  if (u < 127) {
    *q = kShortSteps.bytes[u];
    return q + 1;
  }
  if (static_cast<std::uint64_t>(d + 8191) < 16383) {
    const DWORD m = static_cast<DWORD>(d < 0 ? -d : d);
    q[0] = static_cast<BYTE>(0x80 | (d < 0 ? 0x40 : 0) | (m >> 7));
    q[1] = static_cast<BYTE>(m & 0x7F);
    return q + 2;
  }
  wide |= d != static_cast<LONG>(d);
  return q + PdlEncodeVarNumber(static_cast<LONG>(d), q);
}


// Collects the operands of one operator and hands them to the sink in
// runs of up to 256 bytes (raw data goes straight through), so that a long
// point list costs a few sink writes rather than one per coordinate. When
// the sink's buffer has room, the operands are built in place there. After
// a failed write nothing more is written.
class Emit {
 public:
  Emit(PdlSink* s, PdlOp op) : s_(s) {
    Acquire();
    w(PdlOperator(op).opcode);
  }
  Emit(const Emit&) = delete;
  Emit& operator=(const Emit&) = delete;

  Emit& b(DWORD v) {
    Room(1);
    out_[n_++] = static_cast<BYTE>(v);
    return *this;
  }
  Emit& w(DWORD v) {
    Room(2);
    out_[n_++] = static_cast<BYTE>(v >> 8);
    out_[n_++] = static_cast<BYTE>(v);
    return *this;
  }
  Emit& t(DWORD v) {
    Room(3);
    out_[n_++] = static_cast<BYTE>(v >> 16);
    out_[n_++] = static_cast<BYTE>(v >> 8);
    out_[n_++] = static_cast<BYTE>(v);
    return *this;
  }
  Emit& d(DWORD v) {
    Room(4);
    for (int shift = 24; shift >= 0; shift -= 8) out_[n_++] = static_cast<BYTE>(v >> shift);
    return *this;
  }
  Emit& f(float x) {
    DWORD bits;
    std::memcpy(&bits, &x, 4);
    return d(bits);
  }
  Emit& v(LONG x) {
    Room(kPdlVarNumberMax);
    n_ = static_cast<std::size_t>(StoreVar(out_ + n_, x) - out_);
    return *this;
  }
  // Room for k bytes (at most 256) at the returned position; commit() then
  // takes the bytes up to the position it is given.
  BYTE* reserve(std::size_t k) {
    Room(k);
    return out_ + n_;
  }
  void commit(BYTE* end) { n_ = static_cast<std::size_t>(end - out_); }
  Emit& raw(const void* p, std::size_t n) {
    Flush();
    if (!r_ && n) r_ = Pdl_PutBytes(s_, p, n);
    Acquire();
    return *this;
  }
  Emit& fs(const float* m, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) f(m[i]);
    return *this;
  }
  // Space byte, then the packed colour as one grey byte or three RGB bytes.
  Emit& colour(BYTE space, DWORD c) {
    b(space);
    if (space == kPdlSpaceRgb) return b(c >> 16).b(c >> 8).b(c);
    return b(c);
  }
  // The same components as reals, each byte value over 255.
  Emit& colour_real(BYTE space, DWORD c) {
    b(space);
    auto comp = [](DWORD byte) { return static_cast<float>((byte & 0xFF) / 255.0); };
    if (space == kPdlSpaceRgb) return f(comp(c >> 16)).f(comp(c >> 8)).f(comp(c));
    return f(comp(c));
  }
  // Sends what is collected; 0, or -1 when any write failed.
  int result() {
    Flush();
    Acquire();
    return r_;
  }

 private:
  void Room(std::size_t k) {
    if (n_ + k > sizeof buf_) {
      Flush();
      Acquire();
    }
  }
  // Builds in the sink's own buffer when it has room for a whole run.
  void Acquire() {
    direct_ = !r_ && s_ && s_->room() >= sizeof buf_;
    out_ = direct_ ? s_->cursor() : buf_;
  }
  void Flush() {
    if (n_ > sizeof buf_) __builtin_unreachable();  // Room() keeps every run within buf_
    if (n_ && direct_)
      s_->advance(n_);
    else if (n_ && !r_)
      r_ = Pdl_PutBytes(s_, buf_, n_);
    n_ = 0;
  }

  PdlSink* s_;
  int r_ = 0;
  bool direct_ = false;
  BYTE* out_ = nullptr;
  std::size_t n_ = 0;
  BYTE buf_[256];
};


constexpr bool ValidSpace(BYTE space) { return space == kPdlSpaceGrey || space == kPdlSpaceRgb; }
constexpr std::size_t kWordMax = 0xFFFF;
constexpr bool FitsSignedWord(std::int64_t v) { return v >= -32768 && v <= 32767; }

}  // namespace

// ---- Graphics state and clipping ------------------------------------------

namespace {
// Orientation matrices of "AA" by orientation type 1-4.
constexpr LONG kOrientation[4][4] = {{1, 0, 0, -1}, {-1, 0, 0, 1}, {0, 1, 1, 0}, {0, -1, -1, 0}};
}  // namespace

int Pdl_OpOrientation(PdlSink* s, int type) {
  if (type < 1 || type > 4) return -1;
  const LONG* m = kOrientation[type - 1];
  return PutFixed<PdlOp::AA>(s, m[0], m[1], m[2], m[3]);
}

int Pdl_OpMatrix(PdlSink* s, const float m[6]) {
  return PutFixed<PdlOp::Aa>(s, m[0], m[1], m[2], m[3], m[4], m[5]);
}

int Pdl_OpClipRectReal(PdlSink* s, const float r[4]) { return PutFixed<PdlOp::Ab>(s, r[0], r[1], r[2], r[3]); }
int Pdl_OpClipToPath(PdlSink* s) { return PutFixed<PdlOp::AC>(s); }
int Pdl_OpLineWidthReal(PdlSink* s, float width) { return PutFixed<PdlOp::Ad>(s, width); }

int Pdl_OpMiterLimit(PdlSink* s, LONG limit) {
  if (limit < -128 || limit > 127) return -1;
  return PutFixed<PdlOp::AG>(s, limit);
}
int Pdl_OpMiterLimitReal(PdlSink* s, float limit) { return PutFixed<PdlOp::Ag>(s, limit); }

int Pdl_OpDash(PdlSink* s, BYTE kind, LONG offset, std::size_t n, const LONG* lengths) {
  if (kind != 6) return Emit(s, PdlOp::AH).b(kind).result();
  if (n > 0xFF || (n && !lengths)) return -1;
  Emit e(s, PdlOp::AH);
  e.b(kind).w(static_cast<DWORD>(offset)).b(static_cast<DWORD>(n));
  for (std::size_t i = 0; i < n; ++i) e.w(static_cast<DWORD>(lengths[i]));
  return e.result();
}

int Pdl_OpDashReal(PdlSink* s, BYTE kind, float offset, std::size_t n, const float* lengths) {
  if (kind != 6) return Emit(s, PdlOp::Ah).b(kind).result();
  if (n > 0xFF || (n && !lengths)) return -1;
  Emit e(s, PdlOp::Ah);
  e.b(kind).f(offset).b(static_cast<DWORD>(n)).fs(lengths, n);
  return e.result();
}

int Pdl_OpFlagAI(PdlSink* s, BYTE flag) { return PutFixed<PdlOp::AI>(s, flag); }


int Pdl_OpHatchBrush(PdlSink* s, LONG x, LONG y, BYTE target, BYTE space, DWORD colour, BYTE style) {
  if (!ValidSpace(space)) return -1;
  return Emit(s, PdlOp::AN)
      .w(static_cast<DWORD>(x)).w(static_cast<DWORD>(y)).b(target).colour(space, colour).b(style)
      .result();
}

int Pdl_OpHatchBrushReal(PdlSink* s, float x, float y, BYTE target, BYTE space, DWORD colour,
                         BYTE style) {
  if (!ValidSpace(space)) return -1;
  return Emit(s, PdlOp::An).f(x).f(y).b(target).colour_real(space, colour).b(style).result();
}

namespace {
bool MaskSize(std::size_t width, std::size_t height, const BYTE* bits, std::size_t* n) {
  if (width > kWordMax || height > kWordMax) return false;
  *n = (width + 7) / 8 * height;
  return *n == 0 || bits != nullptr;
}
}  // namespace

int Pdl_OpMaskBrush(PdlSink* s, LONG x, LONG y, BYTE target, BYTE space, DWORD colour,
                    std::size_t width, std::size_t height, const BYTE* bits) {
  std::size_t n;
  if (!ValidSpace(space) || !MaskSize(width, height, bits, &n)) return -1;
  return Emit(s, PdlOp::AO)
      .w(static_cast<DWORD>(x)).w(static_cast<DWORD>(y)).b(target).colour(space, colour).b(1)
      .w(static_cast<DWORD>(width)).w(static_cast<DWORD>(height)).raw(bits, n)
      .result();
}

int Pdl_OpMaskBrushReal(PdlSink* s, float x, float y, BYTE target, BYTE space, DWORD colour,
                        std::size_t width, std::size_t height, const BYTE* bits) {
  std::size_t n;
  if (!ValidSpace(space) || !MaskSize(width, height, bits, &n)) return -1;
  return Emit(s, PdlOp::Ao)
      .f(x).f(y).b(target).colour_real(space, colour).b(1)
      .w(static_cast<DWORD>(width)).w(static_cast<DWORD>(height)).raw(bits, n)
      .result();
}

int Pdl_OpPatternBrush(PdlSink* s, LONG x, LONG y, BYTE target, BYTE space, BYTE bits,
                       std::size_t width, std::size_t height, BYTE one, DWORD n, const BYTE* data) {
  if (!ValidSpace(space) || width > kWordMax || height > kWordMax || (n && !data)) return -1;
  return Emit(s, PdlOp::AP)
      .w(static_cast<DWORD>(x)).w(static_cast<DWORD>(y)).b(target).b(space).b(bits)
      .w(static_cast<DWORD>(width)).w(static_cast<DWORD>(height)).b(one).d(n).raw(data, n)
      .result();
}

int Pdl_OpBrushBackground(PdlSink* s, BYTE target, BYTE mode, BYTE space, DWORD colour) {
  if (!ValidSpace(space)) return -1;
  return Emit(s, PdlOp::AQ).b(target).b(mode).colour(space, colour).result();
}

int Pdl_OpPalette(PdlSink* s, BYTE format, BYTE entry_bits, std::size_t entries, std::size_t n,
                  const BYTE* data) {
  if (entries > kWordMax || n > kWordMax || (n && !data)) return -1;
  return Emit(s, PdlOp::AV)
      .b(format).b(entry_bits).w(static_cast<DWORD>(entries)).w(static_cast<DWORD>(n)).raw(data, n)
      .result();
}

int Pdl_OpFlagsFF(PdlSink* s, BYTE flags) { return PutFixed<PdlOp::FF>(s, flags); }

// ---- Paths and figures ----------------------------------------------------


namespace {

// Writes a point list as operators of at most `per_op` units (points or
// segments of `points_per_unit` points), so that no count wraps. Every
// operator continues where the previous one ended, so the path is the same.
template <typename Point, typename PutPoint>
int PutPointRuns(PdlSink* s, PdlOp op, std::size_t units, std::size_t points_per_unit,
                 std::size_t per_op, const Point* points, PutPoint put) {
  if (units && !points) return -1;
  std::size_t done = 0;
  do {
    std::size_t k = std::min(units - done, per_op);
    Emit e(s, op);
    e.w(static_cast<DWORD>(k));
    for (std::size_t i = done * points_per_unit; i < (done + k) * points_per_unit; ++i) put(e, i);
    if (e.result()) return -1;
    done += k;
  } while (done < units);
  return 0;
}

}  // namespace

int Pdl_OpLineTo(PdlSink* s, std::size_t n, const PdlPoint* p) {
  return PutPointRuns(s, PdlOp::BP, n, 1, kPdlMaxPointsPerOp, p, [p](Emit& e, std::size_t i) {
    BYTE* q = e.reserve(4);
    q = StoreWord(q, static_cast<DWORD>(p[i].x));
    e.commit(StoreWord(q, static_cast<DWORD>(p[i].y)));
  });
}

int Pdl_OpLineToReal(PdlSink* s, std::size_t n, const PdlPointF* p) {
  return PutPointRuns(s, PdlOp::Bp, n, 1, kPdlMaxPointsPerOp, p,
                      [p](Emit& e, std::size_t i) {
                        BYTE* q = e.reserve(8);
                        e.commit(StoreReal(StoreReal(q, p[i].x), p[i].y));
                      });
}

namespace {

// The relative steps through the collecting writer: for lists longer than
// one operator carries or a sink without the room for them.
[[gnu::noinline]] int PutRelativeRuns(PdlSink* s, PdlPoint current, std::size_t n, const PdlPoint* p) {
  // Each step must be a 32-bit value; refuse before writing when one is not.
  PdlPoint prev = current;
  for (std::size_t i = 0; i < n; ++i) {
    std::int64_t dx = static_cast<std::int64_t>(p[i].x) - prev.x;
    std::int64_t dy = static_cast<std::int64_t>(p[i].y) - prev.y;
    if (dx < INT32_MIN || dx > INT32_MAX || dy < INT32_MIN || dy > INT32_MAX) return -1;
    prev = p[i];
  }
  return PutPointRuns(s, PdlOp::B0, n, 1, kPdlMaxPointsPerOp, p, [p, current](Emit& e, std::size_t i) {
    PdlPoint from = i ? p[i - 1] : current;
    BYTE* q = e.reserve(2 * kPdlVarNumberMax);
    q = StoreVar(q, static_cast<LONG>(static_cast<std::int64_t>(p[i].x) - from.x));
    e.commit(StoreVar(q, static_cast<LONG>(static_cast<std::int64_t>(p[i].y) - from.y)));
  });
}

}  // namespace

int Pdl_OpLineToRelative(PdlSink* s, PdlPoint current, std::size_t n, const PdlPoint* p) {
  if (n && !p) return -1;
  // One operator that fits the sink's buffer is stored in place in a single
  // pass; a step beyond 32 bits is noticed on the way and then nothing is
  // taken.
  if (s != nullptr && n <= kPdlMaxPointsPerOp && s->room() >= 4 + n * 2 * kPdlVarNumberMax) {
    constexpr WORD opcode = PdlOperator(PdlOp::B0).opcode;
    BYTE* const start = s->cursor();
    BYTE* q = StoreWord(StoreWord(start, opcode), static_cast<DWORD>(n));
    std::int64_t fx = current.x, fy = current.y;
    bool wide = false;
    for (std::size_t i = 0; i < n; ++i) {
      const std::int64_t dx = p[i].x - fx, dy = p[i].y - fy;
      fx = p[i].x;
      fy = p[i].y;
      q = StoreStep(q, dx, wide);
      q = StoreStep(q, dy, wide);
    }
    if (wide) return -1;
    s->advance(static_cast<std::size_t>(q - start));
    return 0;
  }
  return PutRelativeRuns(s, current, n, p);
}

int Pdl_OpCurveTo(PdlSink* s, std::size_t n, const PdlPoint* p) {
  return PutPointRuns(s, PdlOp::BU, n, 3, kPdlMaxSegmentsPerOp, p, [p](Emit& e, std::size_t i) {
    BYTE* q = e.reserve(4);
    q = StoreWord(q, static_cast<DWORD>(p[i].x));
    e.commit(StoreWord(q, static_cast<DWORD>(p[i].y)));
  });
}

int Pdl_OpCurveToReal(PdlSink* s, std::size_t n, const PdlPointF* p) {
  return PutPointRuns(s, PdlOp::Bu, n, 3, kPdlMaxSegmentsPerOp, p,
                      [p](Emit& e, std::size_t i) {
                        BYTE* q = e.reserve(8);
                        e.commit(StoreReal(StoreReal(q, p[i].x), p[i].y));
                      });
}

int Pdl_OpRectangleReal(PdlSink* s, const float r[4]) { return PutFixed<PdlOp::Cg>(s, r[0], r[1], r[2], r[3]); }
int Pdl_OpEllipse(PdlSink* s, const float e[6]) {
  return PutFixed<PdlOp::Cc>(s, e[0], e[1], e[2], e[3], e[4], e[5]);
}

// ---- Images ---------------------------------------------------------------

int Pdl_OpImage(PdlSink* s, const PdlImageHeader& h) {
  if (h.width > kWordMax || h.height > kWordMax) return -1;
  bool palette = h.source_kind == 2 && h.format >= 8 && h.format <= 11;
  if (palette && (h.entries > kWordMax || h.palette_bytes > kWordMax || (h.palette_bytes && !h.palette)))
    return -1;
  Emit e(s, PdlOp::Cq);
  e.f(h.x).f(h.y).fs(h.matrix, 6).w(static_cast<DWORD>(h.width)).w(static_cast<DWORD>(h.height));
  e.b(h.mask_kind);
  if (h.mask_kind == 2) e.b(0).d(h.mask_bytes);
  e.b(h.source_kind);
  if (h.source_kind == 2) {
    e.b(h.format);
    if (palette)
      e.b(h.entry_bits).w(static_cast<DWORD>(h.entries)).w(static_cast<DWORD>(h.palette_bytes))
          .raw(h.palette, h.palette_bytes);
    e.b(1).b(h.bits_per_component).b(h.method).d(h.data_bytes);
  }
  return e.result();
}

int Pdl_OpStencil(PdlSink* s, float x, float y, std::size_t width, std::size_t height, BYTE polarity,
                  const float m[6], DWORD n) {
  if (width > kWordMax || height > kWordMax) return -1;
  return Emit(s, PdlOp::Cp)
      .f(x).f(y).w(static_cast<DWORD>(width)).w(static_cast<DWORD>(height)).b(polarity).fs(m, 6).d(n)
      .result();
}

// ---- Text -----------------------------------------------------------------


namespace {

// The codes with their byte count; a run of more than 32767 codes has no
// byte count in a word and is refused.
bool CodesFit(std::size_t m, const WORD* codes) { return m <= kWordMax / 2 && (m == 0 || codes); }

// The byte count and the codes, stored at q.
BYTE* StoreCodes(BYTE* q, std::size_t m, const WORD* codes) {
  q = StoreWord(q, static_cast<DWORD>(2 * m));
  for (std::size_t i = 0; i < m; ++i) q = StoreWord(q, codes[i]);
  return q;
}

Emit& PutCodes(Emit& e, std::size_t m, const WORD* codes) {
  e.w(static_cast<DWORD>(2 * m));
  // In runs of up to 64 codes through one cursor.
  for (std::size_t i = 0; i < m;) {
    std::size_t k = std::min<std::size_t>(m - i, 64);
    BYTE* q = e.reserve(2 * k);
    for (std::size_t j = 0; j < k; ++j) q = StoreWord(q, codes[i + j]);
    e.commit(q);
    i += k;
  }
  return e;
}

}  // namespace

int Pdl_OpTextAt(PdlSink* s, LONG x, LONG y, LONG advance, std::size_t m, const WORD* codes) {
  if (!CodesFit(m, codes)) return -1;
  if (StoreDirect(s, 11 + 2 * m, [&](BYTE* q) {
        constexpr WORD opcode = PdlOperator(PdlOp::DC).opcode;
        q = StoreWord(StoreWord(StoreWord(q, opcode), static_cast<DWORD>(x)), static_cast<DWORD>(y));
        *q++ = 1;
        return StoreCodes(StoreWord(q, static_cast<DWORD>(advance)), m, codes);
      }))
    return 0;
  Emit e(s, PdlOp::DC);
  e.w(static_cast<DWORD>(x)).w(static_cast<DWORD>(y)).b(1).w(static_cast<DWORD>(advance));
  return PutCodes(e, m, codes).result();
}

int Pdl_OpTextAtReal(PdlSink* s, float x, float y, float advance, std::size_t m, const WORD* codes) {
  if (!CodesFit(m, codes)) return -1;
  if (StoreDirect(s, 17 + 2 * m, [&](BYTE* q) {
        constexpr WORD opcode = PdlOperator(PdlOp::Dc).opcode;
        q = StoreReal(StoreReal(StoreWord(q, opcode), x), y);
        *q++ = 1;
        return StoreCodes(StoreReal(q, advance), m, codes);
      }))
    return 0;
  Emit e(s, PdlOp::Dc);
  e.f(x).f(y).b(1).f(advance);
  return PutCodes(e, m, codes).result();
}

namespace {

// "DD" (with a position) or "BY" (without); advance(i) gives the i-th
// advance as a whole number.
template <typename Advance>
int PutTextWordAdvances(PdlSink* s, const PdlPoint* pos, std::size_t k, Advance advance, std::size_t m,
                        const WORD* codes) {
  if (!CodesFit(m, codes) || k > kWordMax) return -1;
  Emit e(s, pos ? PdlOp::DD : PdlOp::BY);
  if (pos) e.w(static_cast<DWORD>(pos->x)).w(static_cast<DWORD>(pos->y));
  e.b(2).w(static_cast<DWORD>(k));
  for (std::size_t i = 0; i < k; ++i) e.w(static_cast<DWORD>(advance(i)));
  return PutCodes(e, m, codes).result();
}

}  // namespace

int Pdl_OpTextAtAdvances(PdlSink* s, LONG x, LONG y, std::size_t k, const LONG* adv, std::size_t m,
                         const WORD* codes) {
  if (k && !adv) return -1;
  const PdlPoint pos{x, y};
  return PutTextWordAdvances(s, &pos, k, [adv](std::size_t i) { return adv[i]; }, m, codes);
}

int Pdl_OpTextAtAdvancesReal(PdlSink* s, float x, float y, std::size_t k, const float* adv,
                             std::size_t m, const WORD* codes) {
  if (!CodesFit(m, codes) || k > kWordMax || (k && !adv)) return -1;
  Emit e(s, PdlOp::Dd);
  e.f(x).f(y).b(2).w(static_cast<DWORD>(k)).fs(adv, k);
  return PutCodes(e, m, codes).result();
}

int Pdl_OpTextHere(PdlSink* s, LONG advance, std::size_t m, const WORD* codes) {
  if (!CodesFit(m, codes)) return -1;
  if (StoreDirect(s, 7 + 2 * m, [&](BYTE* q) {
        constexpr WORD opcode = PdlOperator(PdlOp::BX).opcode;
        q = StoreWord(q, opcode);
        *q++ = 1;
        return StoreCodes(StoreWord(q, static_cast<DWORD>(advance)), m, codes);
      }))
    return 0;
  Emit e(s, PdlOp::BX);
  e.b(1).w(static_cast<DWORD>(advance));
  return PutCodes(e, m, codes).result();
}

int Pdl_OpTextHereAdvances(PdlSink* s, std::size_t k, const LONG* adv, std::size_t m, const WORD* codes) {
  if (k && !adv) return -1;
  return PutTextWordAdvances(s, nullptr, k, [adv](std::size_t i) { return adv[i]; }, m, codes);
}

namespace {
bool WholeAdvanceFits(float a) {
  return std::isfinite(a) && FitsSignedWord(static_cast<std::int64_t>(std::trunc(static_cast<double>(a))));
}
}  // namespace

int Pdl_OpText(PdlSink* s, int position_kind, PdlPoint pos, std::size_t m, const WORD* codes,
               int advance_kind, std::size_t n_adv, const float* adv) {
  if (n_adv && !adv) return -1;
  if (advance_kind == 0) {
    float a = n_adv ? adv[0] : 0.0f;
    bool real = Pdl_HasFraction(a) || !WholeAdvanceFits(a);
    if (position_kind == 0) {
      if (!WholeAdvanceFits(a)) return -1;  // no real form without a position
      return Pdl_OpTextHere(s, static_cast<LONG>(a), m, codes);
    }
    real = real || !FitsSignedWord(pos.x) || !FitsSignedWord(pos.y);
    if (real)
      return Pdl_OpTextAtReal(s, static_cast<float>(pos.x), static_cast<float>(pos.y), a, m, codes);
    return Pdl_OpTextAt(s, pos.x, pos.y, static_cast<LONG>(a), m, codes);
  }
  bool fraction = false, fits = true;
  for (std::size_t i = 0; i < n_adv; ++i) {
    fraction = fraction || Pdl_HasFraction(adv[i]);
    fits = fits && WholeAdvanceFits(adv[i]);
  }
  if (n_adv > kWordMax) return -1;
  if (position_kind == 0 || (!fraction && fits && FitsSignedWord(pos.x) && FitsSignedWord(pos.y))) {
    if (!fits) return -1;
    auto whole = [adv](std::size_t i) { return static_cast<LONG>(adv[i]); };
    return PutTextWordAdvances(s, position_kind == 0 ? nullptr : &pos, n_adv, whole, m, codes);
  }
  return Pdl_OpTextAtAdvancesReal(s, static_cast<float>(pos.x), static_cast<float>(pos.y), n_adv, adv, m,
                                  codes);
}

// ---- Glyphs ---------------------------------------------------------------

namespace {
bool ShortAddress(DWORD address) { return address <= kPdlMaxShortAddress && address % 64 == 0; }
}  // namespace

int Pdl_OpDownloadGlyph(PdlSink* s, DWORD address) { return PutFixed<PdlOp::DH>(s, address); }
int Pdl_OpDownloadGlyphShort(PdlSink* s, DWORD address) {
  if (!ShortAddress(address)) return -1;
  return Emit(s, PdlOp::DL).w(address / 64).result();
}
int Pdl_OpDrawGlyphReal(PdlSink* s, float x, float y, DWORD address) {
  return PutFixed<PdlOp::Di>(s, x, y, address);
}
int Pdl_OpDrawGlyphShortReal(PdlSink* s, float x, float y, DWORD address) {
  if (!ShortAddress(address)) return -1;
  return PutFixed<PdlOp::Dm>(s, x, y, address / 64);
}

int Pdl_OpInlineGlyph(PdlSink* s, LONG x, LONG y, BYTE flags, LONG value, WORD last) {
  Emit e(s, PdlOp::DE);
  e.w(static_cast<DWORD>(x)).w(static_cast<DWORD>(y)).b(flags);
  if (flags & 1) e.w(0);
  if (flags & 2) e.w(static_cast<DWORD>(value));
  return e.w(last).result();
}

int Pdl_OpInlineGlyphReal(PdlSink* s, float x, float y, BYTE flags, float value, WORD last) {
  Emit e(s, PdlOp::De);
  e.f(x).f(y).b(flags);
  if (flags & 1) e.f(0.0f);
  if (flags & 2) e.f(value);
  return e.w(last).result();
}

namespace {
// The count word of the array form: 2n with both arrays, else n.
bool ArrayCount(BYTE flags, std::size_t n, const void* first, const void* second, std::size_t* count) {
  bool both = (flags & 3) == 3;
  *count = both ? 2 * n : n;
  if (*count > kWordMax) return false;
  if (n && (((flags & 1) && !first) || ((flags & 2) && !second))) return false;
  return true;
}
}  // namespace

int Pdl_OpInlineGlyphArray(PdlSink* s, LONG x, LONG y, BYTE flags, std::size_t n, const LONG* first,
                           const LONG* second, WORD last) {
  std::size_t count;
  if (!ArrayCount(flags, n, first, second, &count)) return -1;
  Emit e(s, PdlOp::DF);
  e.w(static_cast<DWORD>(x)).w(static_cast<DWORD>(y)).b(2).b(flags).w(static_cast<DWORD>(count));
  if (flags & 1)
    for (std::size_t i = 0; i < n; ++i) e.w(static_cast<DWORD>(first[i]));
  if (flags & 2)
    for (std::size_t i = 0; i < n; ++i) e.w(static_cast<DWORD>(second[i]));
  return e.w(last).result();
}

int Pdl_OpInlineGlyphArrayReal(PdlSink* s, float x, float y, BYTE flags, std::size_t n, const float* first,
                               const float* second, WORD last) {
  std::size_t count;
  if (!ArrayCount(flags, n, first, second, &count)) return -1;
  Emit e(s, PdlOp::Df);
  e.f(x).f(y).b(2).b(flags).w(static_cast<DWORD>(count));
  if (flags & 1) e.fs(first, n);
  if (flags & 2) e.fs(second, n);
  return e.w(last).result();
}

// ---- Job and page framing -------------------------------------------------

namespace {
constexpr BYTE kSizeCodeCustom = 0x51;

int PutCountedText(PdlSink* s, PdlOp op, const char* text, std::size_t n, bool lead_one) {
  if (n > kWordMax || (n && !text)) return -1;
  Emit e(s, op);
  if (lead_one) e.w(1);
  return e.w(static_cast<DWORD>(n)).raw(text, n).result();
}
}  // namespace

int Pdl_OpJobMode(PdlSink* s, BYTE mode) { return PutFixed<PdlOp::EA>(s, mode); }
int Pdl_OpJobEnd(PdlSink* s) { return PutFixed<PdlOp::EB>(s); }

int Pdl_OpBeginPage(PdlSink* s, BYTE colour, BYTE source, BYTE paper_code, const float* size) {
  if (paper_code != kSizeCodeCustom) return Emit(s, PdlOp::Ec).b(colour).b(source).b(paper_code).result();
  if (!size) return -1;
  // The size goes out in whole tenths of a millimetre, as millimetres.
  auto tenths = [](float mm) { return static_cast<float>(static_cast<std::int64_t>(mm * 10.0 + 0.5) * 0.1); };
  return Emit(s, PdlOp::Ec).b(colour).b(source).b(paper_code).f(tenths(size[0])).f(tenths(size[1])).result();
}

int Pdl_OpEndPage(PdlSink* s) { return PutFixed<PdlOp::ED>(s); }
int Pdl_OpStoreName(PdlSink* s, const char* text, std::size_t n) {
  return PutCountedText(s, PdlOp::EE, text, n, false);
}
int Pdl_OpStorePageEnd(PdlSink* s) { return PutFixed<PdlOp::EF>(s); }

int Pdl_OpTextWithMatrix(PdlSink* s, const char* text, std::size_t n, const float m[6], BYTE kind, BYTE sub,
                         float width_tenths, float height_tenths) {
  if (n > kWordMax || (n && !text)) return -1;
  Emit e(s, PdlOp::Eg);
  e.w(static_cast<DWORD>(n)).raw(text, n).fs(m, 6).b(kind);
  if (kind == 2) {
    e.b(sub);
    if (sub == kSizeCodeCustom)
      e.f(static_cast<float>(width_tenths * 0.1)).f(static_cast<float>(height_tenths * 0.1));
  }
  return e.result();
}

int Pdl_OpAnnotation(PdlSink* s, const char* text, std::size_t n) {
  return PutCountedText(s, PdlOp::EH, text, n, true);
}

int Pdl_OpComment(PdlSink* s, const char* text, std::size_t n) {
  if (!text) return -1;
  n = n == 0 ? strnlen(text, 255) : std::min<std::size_t>(n, 255);
  return Emit(s, PdlOp::EP).b(static_cast<DWORD>(n)).raw(text, n).result();
}

int Pdl_OpSetValue(PdlSink* s, BYTE selector, WORD value) { return PutFixed<PdlOp::FA>(s, selector, value); }
int Pdl_OpSheetEnd(PdlSink* s) { return PutFixed<PdlOp::FB>(s); }
int Pdl_OpSheetChange(PdlSink* s) { return PutFixed<PdlOp::FC>(s); }
int Pdl_OpSheetEndValue(PdlSink* s, BYTE value) { return PutFixed<PdlOp::FE>(s, value); }
int Pdl_OpPageDuplex(PdlSink* s, BYTE a, BYTE b) { return PutFixed<PdlOp::FH>(s, a, b); }
int Pdl_OpCellsRotated(PdlSink* s, BYTE value) { return PutFixed<PdlOp::FI>(s, value); }

namespace {
// FH pairs of the duplex values 1, 2 and 3.
constexpr BYTE kDuplexFH[3][2] = {{0, 2}, {1, 2}, {1, 1}};
}  // namespace

bool Pdl_DuplexToFH(DWORD duplex, BYTE* a, BYTE* b) {
  if (duplex < 1 || duplex > 3) return false;
  *a = kDuplexFH[duplex - 1][0];
  *b = kDuplexFH[duplex - 1][1];
  return true;
}

}  // namespace morva::render
