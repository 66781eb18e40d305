// Explicit little- and big-endian reads and writes of stored layouts.
// Every reader of outside bytes goes through these rather than casting.
#pragma once

#include <cstdint>
#include <cstring>

namespace morva {

inline std::uint16_t load_le16(const void* p) {
  const auto* b = static_cast<const std::uint8_t*>(p);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}
inline std::uint32_t load_le32(const void* p) {
  const auto* b = static_cast<const std::uint8_t*>(p);
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}
inline std::uint64_t load_le64(const void* p) {
  const auto* b = static_cast<const std::uint8_t*>(p);
  return static_cast<std::uint64_t>(load_le32(b)) | (static_cast<std::uint64_t>(load_le32(b + 4)) << 32);
}
inline std::uint16_t load_be16(const void* p) {
  const auto* b = static_cast<const std::uint8_t*>(p);
  return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
}
inline std::uint32_t load_be32(const void* p) {
  const auto* b = static_cast<const std::uint8_t*>(p);
  return (static_cast<std::uint32_t>(b[0]) << 24) | (static_cast<std::uint32_t>(b[1]) << 16) |
         (static_cast<std::uint32_t>(b[2]) << 8) | static_cast<std::uint32_t>(b[3]);
}
inline std::uint64_t load_be64(const void* p) {
  const auto* b = static_cast<const std::uint8_t*>(p);
  return (static_cast<std::uint64_t>(load_be32(b)) << 32) | load_be32(b + 4);
}

inline void store_le16(void* p, std::uint16_t v) {
  auto* b = static_cast<std::uint8_t*>(p);
  b[0] = static_cast<std::uint8_t>(v);
  b[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void store_le32(void* p, std::uint32_t v) {
  auto* b = static_cast<std::uint8_t*>(p);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void store_le64(void* p, std::uint64_t v) {
  auto* b = static_cast<std::uint8_t*>(p);
  for (int i = 0; i < 8; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void store_be16(void* p, std::uint16_t v) {
  auto* b = static_cast<std::uint8_t*>(p);
  b[0] = static_cast<std::uint8_t>(v >> 8);
  b[1] = static_cast<std::uint8_t>(v);
}
inline void store_be32(void* p, std::uint32_t v) {
  auto* b = static_cast<std::uint8_t*>(p);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
inline void store_be64(void* p, std::uint64_t v) {
  store_be32(p, static_cast<std::uint32_t>(v >> 32));
  store_be32(static_cast<std::uint8_t*>(p) + 4, static_cast<std::uint32_t>(v));
}

inline float load_le_float(const void* p) {
  std::uint32_t u = load_le32(p);
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}
inline void store_le_float(void* p, float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, 4);
  store_le32(p, u);
}

}  // namespace morva
