#include "render/pdl_sink.h"

#include <algorithm>

namespace morva::render {

void MemorySink::SetWindow() {
  std::size_t used = size();
  cur_ = buf_.get() + used;
  end_ = buf_.get() + std::min(capacity_, std::max(limit_, used));
}

void MemorySink::clear() {
  cur_ = buf_.get();
  SetWindow();
}

void MemorySink::FailAbove(std::size_t limit) {
  limit_ = limit;
  if (buf_) SetWindow();
}

void MemorySink::NeverFail() { FailAbove(SIZE_MAX); }

long MemorySink::Overflow(const BYTE* data, std::size_t n) {
  std::size_t used = size();
  if (n > limit_ || used > limit_ - n) return -1;
  if (used + n > capacity_) {
    std::size_t cap = std::max({capacity_ * 2, used + n, std::size_t{4096}});
    auto grown = std::make_unique<BYTE[]>(cap);
    if (used) std::memcpy(grown.get(), buf_.get(), used);
    buf_ = std::move(grown);
    capacity_ = cap;
    cur_ = buf_.get() + used;
  }
  std::memcpy(cur_, data, n);
  cur_ += n;
  SetWindow();
  return static_cast<long>(n);
}

}  // namespace morva::render
