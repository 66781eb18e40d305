// CPmcMessageBuffer: one datagram's bytes. The encoder writes a message
// backwards from the end of the block and sets the message start to its
// first byte; a received datagram fills the block from its start.
#pragma once

#include <cstdint>
#include <vector>

class CPmcMessageBuffer {
 public:
  std::uint8_t* data() { return block_.data(); }
  const std::uint8_t* data() const { return block_.data(); }
  std::uint32_t length() const { return static_cast<std::uint32_t>(block_.size()); }
  // Replaces the block by n zero bytes; -3 when it cannot be allocated.
  int allocate(std::uint32_t n);
  // Replaces the block by a copy of n bytes, message start 0.
  int assign(const void* bytes, std::uint32_t n);
  std::uint32_t message_start() const { return start_; }
  void set_message_start(std::uint32_t start) { start_ = start <= length() ? start : length(); }
  std::uint32_t remaining() const { return length() - start_; }
  const std::uint8_t* message() const { return block_.data() + start_; }

 private:
  std::vector<std::uint8_t> block_;
  std::uint32_t start_ = 0;
};
