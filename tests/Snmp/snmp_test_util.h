// Helpers shared by the SNMP engine's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "snmp/ber_codec.h"

namespace snmptest {

inline std::vector<std::uint8_t> hex(const std::string& text) {
  std::vector<std::uint8_t> out;
  std::istringstream in(text);
  std::string byte;
  while (in >> byte) out.push_back(static_cast<std::uint8_t>(std::stoul(byte, nullptr, 16)));
  return out;
}

inline std::string to_hex(const std::uint8_t* p, std::size_t n) {
  std::string s;
  char b[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, i ? " %02X" : "%02X", p[i]);
    s += b;
  }
  return s;
}

inline std::string message_hex(const CPmcMessageBuffer& buf) { return to_hex(buf.message(), buf.remaining()); }

inline PmsOwn<IPmsObjectId> oid(const char* t) {
  int err = 0;
  auto o = pms_create_oid_from_string(t, &err);
  EXPECT_EQ(err, 0) << t;
  return o;
}

inline PmsOwn<IPmsSnmpTarget> community_target(const char* community, std::int32_t version,
                                               std::int32_t max_size = 1400) {
  auto t = pms_create_community_target(nullptr);
  t->as_community()->set_community(community);
  t->set_version(version);
  t->set_max_message_size(max_size);
  return t;
}

inline std::string text_of(const IPmsAsnValue& v) {
  auto b = v.to_text_buffer(nullptr);
  return b ? std::string(b->c_str(), b->length()) : std::string("<none>");
}

}  // namespace snmptest
