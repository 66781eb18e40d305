// The writers produce the same bytes whatever the sink's buffer: a sink
// that buffers like the document's spool stream (a fixed buffer, flushed
// when a write does not fit, long writes sent at once) against the
// in-memory sink.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "render/pdl_operators.h"

using namespace morva::render;

namespace {

class BufferedSink final : public PdlSink {
 public:
  explicit BufferedSink(std::size_t size) : buf_(size) { Reset(); }
  std::vector<BYTE> bytes() {
    std::vector<BYTE> all = out_;
    all.insert(all.end(), buf_.data(), cur_);
    return all;
  }
  std::size_t flushes = 0;
  std::size_t direct_writes = 0;

 protected:
  long Overflow(const BYTE* data, std::size_t n) override {
    out_.insert(out_.end(), buf_.data(), cur_);
    ++flushes;
    Reset();
    if (n <= buf_.size()) {
      std::copy(data, data + n, cur_);
      cur_ += n;
    } else {
      out_.insert(out_.end(), data, data + n);
      ++direct_writes;
    }
    return static_cast<long>(n);
  }

 private:
  void Reset() {
    cur_ = buf_.data();
    end_ = buf_.data() + buf_.size();
  }
  std::vector<BYTE> buf_;
  std::vector<BYTE> out_;
};

void WriteMix(PdlSink* s) {
  std::vector<PdlPoint> pts(300);
  for (std::size_t i = 0; i < pts.size(); ++i) pts[i] = {static_cast<LONG>(i * 37 % 5000), static_cast<LONG>(i * i % 9000)};
  std::vector<WORD> codes(200);
  for (std::size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<WORD>(0x20 + i);
  std::vector<BYTE> image(5000, 0x42);
  const float m[6] = {1, 0, 0, 1, 0, 0};
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(Pdl_OpSetColour(s, 1, 4, 0x123456), 0);
    ASSERT_EQ(Pdl_OpMoveTo(s, 5, 6), 0);
    ASSERT_EQ(Pdl_OpLineToRelative(s, {5, 6}, pts.size(), pts.data()), 0);
    ASSERT_EQ(Pdl_OpLineTo(s, pts.size(), pts.data()), 0);
    ASSERT_EQ(Pdl_OpTextAt(s, 100, 200, 12, codes.size(), codes.data()), 0);
    ASSERT_EQ(Pdl_OpTextMatrix(s, m), 0);
    ASSERT_EQ(Pdl_OpComment(s, "a comment of some length", 0), 0);
    ASSERT_EQ(Pdl_OpPatternBrush(s, 1, 2, 2, 3, 8, 50, 100, 1, static_cast<DWORD>(image.size()), image.data()), 0);
    ASSERT_EQ(Pdl_OpRectangle(s, {1, 2, 3, 4}), 0);
  }
}

}  // namespace

TEST(PdlSink, SameBytesWhateverTheBuffer) {
  MemorySink reference;
  WriteMix(&reference);
  std::vector<BYTE> want(reference.data(), reference.data() + reference.size());
  for (std::size_t size : {1u, 16u, 255u, 256u, 300u, 2048u}) {
    SCOPED_TRACE(size);
    BufferedSink s(size);
    WriteMix(&s);
    EXPECT_EQ(s.bytes(), want);
    EXPECT_GT(s.flushes, 0u);
    EXPECT_GT(s.direct_writes, 0u);  // the pattern data does not fit any of these buffers
  }
}
