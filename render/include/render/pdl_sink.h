// The byte sink that every VANTIQ stream writer writes into.
//
// Writers hand over one operand at a time, so the common case (the bytes fit
// the sink's current buffer) is an inline copy; only when the buffer is full
// does the sink's own Overflow run. The document's spool stream implements
// Overflow by flushing its buffer and sending large writes directly; the
// in-memory sink below grows its storage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "win/types.h"

namespace morva::render {

class PdlSink {
 public:
  virtual ~PdlSink() = default;

  // Writes n bytes. Answers n (0 for n == 0), or -1 when the destination
  // failed or data is null. Bytes already taken are never taken back.
  long Write(const void* data, std::size_t n) {
    if (n == 0) return 0;
    if (data == nullptr) return -1;
    if (n <= static_cast<std::size_t>(end_ - cur_)) {
      std::memcpy(cur_, data, n);
      cur_ += n;
      return static_cast<long>(n);
    }
    return Overflow(static_cast<const BYTE*>(data), n);
  }

  // The same for a size known when compiling, so that the copy is a store.
  template <std::size_t N>
  long WriteN(const BYTE* data) {
    static_assert(N > 0);
    if (N <= static_cast<std::size_t>(end_ - cur_)) {
      std::memcpy(cur_, data, N);
      cur_ += N;
      return static_cast<long>(N);
    }
    return Overflow(data, N);
  }

  // Direct access to the free room of the current buffer, for writers that
  // build an operator in place: up to room() bytes may be stored at
  // cursor(), and advance(n) then takes the first n of them.
  BYTE* cursor() const { return cur_; }
  std::size_t room() const { return static_cast<std::size_t>(end_ - cur_); }
  void advance(std::size_t n) { cur_ += n; }

 protected:
  // Called when the n bytes do not fit between cur_ and end_. Must either
  // take all n bytes (answering n) or fail with -1.
  virtual long Overflow(const BYTE* data, std::size_t n) = 0;

  BYTE* cur_ = nullptr;  // next free byte of the current buffer
  BYTE* end_ = nullptr;  // end of the current buffer
};

// A sink that keeps every byte in memory. It can be told to fail once a
// given total would be exceeded, so that callers' failure paths can be
// exercised.
class MemorySink final : public PdlSink {
 public:
  MemorySink() = default;
  MemorySink(const MemorySink&) = delete;
  MemorySink& operator=(const MemorySink&) = delete;

  const BYTE* data() const { return buf_.get(); }
  std::size_t size() const { return buf_ ? static_cast<std::size_t>(cur_ - buf_.get()) : 0; }
  // Forgets the bytes but keeps the storage.
  void clear();
  // Writes that would take the total above limit fail (and take nothing).
  void FailAbove(std::size_t limit);
  void NeverFail();

 protected:
  long Overflow(const BYTE* data, std::size_t n) override;

 private:
  void SetWindow();

  std::unique_ptr<BYTE[]> buf_;
  std::size_t capacity_ = 0;
  std::size_t limit_ = SIZE_MAX;
};

}  // namespace morva::render
