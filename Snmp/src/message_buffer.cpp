#include "snmp/message_buffer.h"

#include <cstring>
#include <new>

#include "snmp/pms_base.h"

int CPmcMessageBuffer::allocate(std::uint32_t n) {
  try {
    std::vector<std::uint8_t> b(n, 0);
    block_.swap(b);
  } catch (const std::bad_alloc&) {
    return pms::kNoMemory;
  }
  start_ = 0;
  return 0;
}

int CPmcMessageBuffer::assign(const void* bytes, std::uint32_t n) {
  int r = allocate(n);
  if (r == 0 && n) std::memcpy(block_.data(), bytes, n);
  return r;
}
