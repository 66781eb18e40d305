// Builds small ICC profiles for tests: a 128-byte header, the tag table and
// the tags, big-endian throughout.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace morva::test::icc {

inline void put16(std::string& s, std::uint32_t v) {
  s.push_back(static_cast<char>(v >> 8));
  s.push_back(static_cast<char>(v));
}
inline void put32(std::string& s, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) s.push_back(static_cast<char>(v >> (8 * i)));
}
inline void put_s15(std::string& s, double v) { put32(s, static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(v * 65536)))); }

struct Tag {
  std::string sig;    // four characters
  std::string bytes;  // the tag's data, type signature first
};

struct Profile {
  std::string device_class = "mntr";
  std::string colour_space = "RGB ";
  std::string pcs = "XYZ ";
  std::string signature = "acsp";
  std::vector<Tag> tags;

  std::string build() const {
    std::string head(128, '\0');
    head.replace(12, 4, device_class);
    head.replace(16, 4, colour_space);
    head.replace(20, 4, pcs);
    head.replace(36, 4, signature);
    std::string table;
    put32(table, static_cast<std::uint32_t>(tags.size()));
    std::string data;
    std::uint32_t offset = static_cast<std::uint32_t>(128 + 4 + 12 * tags.size());
    for (const Tag& t : tags) {
      table += t.sig;
      put32(table, offset + static_cast<std::uint32_t>(data.size()));
      put32(table, static_cast<std::uint32_t>(t.bytes.size()));
      data += t.bytes;
      while (data.size() % 4) data.push_back('\0');
    }
    std::string all = head + table + data;
    std::string size;
    put32(size, static_cast<std::uint32_t>(all.size()));
    all.replace(0, 4, size);
    return all;
  }
};

inline std::string xyz(double x, double y, double z) {
  std::string s = "XYZ ";
  put32(s, 0);
  put_s15(s, x);
  put_s15(s, y);
  put_s15(s, z);
  return s;
}

inline std::string curve(const std::vector<std::uint16_t>& entries) {
  std::string s = "curv";
  put32(s, 0);
  put32(s, static_cast<std::uint32_t>(entries.size()));
  for (std::uint16_t e : entries) put16(s, e);
  return s;
}

// A lut16 ("mft2") with three inputs and outputs, identity matrix, the given
// input and output tables (same for all channels) and grid entries in order
// red outermost, blue innermost, three values each.
inline std::string lut16(int grid, const std::vector<std::uint16_t>& input,
                         const std::vector<std::uint16_t>& clut, const std::vector<std::uint16_t>& output) {
  std::string s = "mft2";
  put32(s, 0);
  s.push_back(3);
  s.push_back(3);
  s.push_back(static_cast<char>(grid));
  s.push_back(0);
  for (int i = 0; i < 9; ++i) put32(s, i % 4 == 0 ? 0x10000 : 0);
  put16(s, static_cast<std::uint32_t>(input.size()));
  put16(s, static_cast<std::uint32_t>(output.size()));
  for (int c = 0; c < 3; ++c)
    for (std::uint16_t v : input) put16(s, v);
  for (std::uint16_t v : clut) put16(s, v);
  for (int c = 0; c < 3; ++c)
    for (std::uint16_t v : output) put16(s, v);
  return s;
}

// A lut8 ("mft1") with identity input and output tables.
inline std::string lut8(int grid, const std::vector<std::uint8_t>& clut) {
  std::string s = "mft1";
  put32(s, 0);
  s.push_back(3);
  s.push_back(3);
  s.push_back(static_cast<char>(grid));
  s.push_back(0);
  for (int i = 0; i < 9; ++i) put32(s, i % 4 == 0 ? 0x10000 : 0);
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
  for (std::uint8_t v : clut) s.push_back(static_cast<char>(v));
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
  return s;
}

// The sRGB colorants (D65) and white.
inline constexpr double kSrgbColorants[3][3] = {
    {0.4124, 0.2126, 0.0193}, {0.3576, 0.7152, 0.1192}, {0.1805, 0.0722, 0.9505}};
inline constexpr double kD65[3] = {0.9505, 1.0, 1.0890};

// A monitor profile with matrix, curves and white point.
inline Profile matrix_profile(const double colorants[3][3], const double white[3], const std::string& trc) {
  Profile p;
  const char* names[3] = {"rXYZ", "gXYZ", "bXYZ"};
  const char* curves[3] = {"rTRC", "gTRC", "bTRC"};
  for (int c = 0; c < 3; ++c) p.tags.push_back({names[c], xyz(colorants[c][0], colorants[c][1], colorants[c][2])});
  for (int c = 0; c < 3; ++c) p.tags.push_back({curves[c], trc});
  p.tags.push_back({"wtpt", xyz(white[0], white[1], white[2])});
  return p;
}

}  // namespace morva::test::icc
