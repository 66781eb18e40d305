#include <gtest/gtest.h>

#include "snmp_test_util.h"

using namespace snmptest;

namespace {

IPmsStreamRegistry* reg() { return pms_get_stream_registry(); }

PmsOwn<IPmsPdu> get_request(std::int32_t id, const char* name) {
  auto pdu = pms_create_pdu(nullptr);
  pdu->set_type(kPduGet);
  pdu->set_request_id(id);
  pdu->append_new(oid(name), nullptr);
  return pdu;
}

struct Decoded {
  int result;
  PmsOwn<IPmsPdu> pdu;
  PmsOwn<IPmsSnmpTarget> target;
};

Decoded decode(const std::vector<std::uint8_t>& bytes) {
  CPmcMessageBuffer buf;
  buf.assign(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  Decoded d{0, pms_create_pdu(nullptr), pms_create_community_target(nullptr)};
  d.result = reg()->decode(&buf, d.pdu.get(), d.target.get(), kPmsSenderNone);
  return d;
}

const char* kGolden =
    "30 26 02 01 00 04 06 70 75 62 6C 69 63 A0 19 02 01 01 02 01 00 02 01 00 30 0E 30 0C 06 08 2B 06 01 02 01 01 "
    "05 00 05 00";

TEST(BerCodec, GoldenGetRequest) {
  auto pdu = get_request(1, "1.3.6.1.2.1.1.5.0");
  auto target = community_target("public", kSnmpV1);
  CPmcMessageBuffer buf;
  std::uint32_t written = 0;
  ASSERT_EQ(reg()->encode(pdu.get(), target.get(), &buf, &written), 0);
  EXPECT_EQ(message_hex(buf), kGolden);
  EXPECT_EQ(written, 1u);
  auto d = decode(hex(kGolden));
  ASSERT_EQ(d.result, 0);
  EXPECT_TRUE(d.pdu->equals(pdu.get()));
  EXPECT_STREQ(d.target->as_community()->get_community(), "public");
  EXPECT_EQ(d.target->get_version(), kSnmpV1);
}

// Value encodings: the value element alone, cut from a one-binding message.
TEST(BerCodec, ValueEncodings) {
  struct Case {
    PmsOwn<IPmsAsnValue> value;
    const char* bytes;
  };
  Case cases[] = {
      {pms_create_value_from_int(128, kPmsInteger, nullptr), "02 02 00 80"},
      {pms_create_value_from_int(-1, kPmsInteger, nullptr), "02 01 FF"},
      {pms_create_value_from_int(-129, kPmsInteger, nullptr), "02 02 FF 7F"},
      {pms_create_value_from_int(INT32_MIN, kPmsInteger, nullptr), "02 04 80 00 00 00"},
      {pms_create_value_from_uint(0xFFFFFFFFu, kPmsTimeTicks, nullptr), "43 05 00 FF FF FF FF"},
      {pms_create_value_from_uint(0x7F, kPmsCounter32, nullptr), "41 01 7F"},
      {pms_create_counter64(0x80000000u, 1, nullptr), "46 09 00 80 00 00 00 00 00 00 01"},
      {pms_create_counter64(0, 200, nullptr), "46 02 00 C8"},
      {pms_create_value_from_string("10.1.2.3", kPmsIpAddress, nullptr), "40 04 0A 01 02 03"},
      {pms_create_value_from_string("ab", kPmsOpaque, nullptr), "44 02 61 62"},
      {pms_create_value(kPmsNoSuchInstance, nullptr), "81 00"},
      {pms_as_value(oid("2.999.3")), "06 03 88 37 03"},
      {pms_as_value(oid("")), "06 00"},
  };
  for (auto& c : cases) {
    auto pdu = pms_create_pdu(nullptr);
    pdu->set_type(kPduResponse);
    std::string expect = c.bytes;
    pdu->append_new(oid("1.3"), std::move(c.value));
    CPmcMessageBuffer buf;
    ASSERT_EQ(reg()->encode(pdu.get(), community_target("", kSnmpV2c).get(), &buf, nullptr), 0) << expect;
    std::string all = message_hex(buf);
    ASSERT_GE(all.size(), expect.size());
    EXPECT_EQ(all.substr(all.size() - expect.size()), expect);
    // And the bytes decode back to the same binding.
    auto d = decode(hex(all));
    ASSERT_EQ(d.result, 0) << expect;
    EXPECT_TRUE(d.pdu->equals(pdu.get())) << expect;
  }
}

// Unsigned types read their content bytes as a magnitude: a short content
// with its top bit set is a large positive number, never sign-extended.
TEST(BerCodec, UnsignedContentIsNeverSignExtended) {
  struct Case {
    std::int32_t tag;
    std::uint8_t last;
    std::uint64_t value;
  } const cases[] = {
      {kPmsCounter64, 0xFF, 255},   {kPmsCounter64, 0x80, 128}, {kPmsCounter32, 0xFF, 255},
      {kPmsGauge32, 0x80, 128},     {kPmsTimeTicks, 0xFF, 255}, {kPmsCounter64, 0x7F, 127},
  };
  for (const auto& c : cases) {
    auto pdu = pms_create_pdu(nullptr);
    pdu->set_type(kPduResponse);
    pdu->append_new(oid("1.3"), c.tag == kPmsCounter64 ? pms_create_counter64(0, 0x7F, nullptr)
                                                       : pms_create_value_from_uint(0x7F, c.tag, nullptr));
    CPmcMessageBuffer buf;
    ASSERT_EQ(reg()->encode(pdu.get(), community_target("", kSnmpV2c).get(), &buf, nullptr), 0);
    std::vector<std::uint8_t> bytes(buf.message(), buf.message() + buf.remaining());
    ASSERT_EQ(bytes[bytes.size() - 2], 1) << "one content byte";
    bytes.back() = c.last;
    auto d = decode(bytes);
    ASSERT_EQ(d.result, 0) << c.tag;
    const IPmsAsnValue* v = d.pdu->get_var_bind_list()->get_at(0)->get_value();
    const std::uint64_t got = c.tag == kPmsCounter64
                                  ? (std::uint64_t{v->get_high(nullptr)} << 32) | v->get_low(nullptr)
                                  : v->get_uint(nullptr);
    EXPECT_EQ(got, c.value) << "tag " << c.tag << " content " << int(c.last);
  }
}

TEST(BerCodec, LongLengthsAndRefusedValues) {
  auto pdu = pms_create_pdu(nullptr);
  pdu->set_type(kPduSet);
  std::string text(300, 'x');
  pdu->append_new(oid("1.3.6.1.4.1.32473.1"), pms_create_value_from_string(text.c_str(), kPmsOctetString, nullptr));
  CPmcMessageBuffer buf;
  auto target = community_target("private", kSnmpV2c);
  ASSERT_EQ(reg()->encode(pdu.get(), target.get(), &buf, nullptr), 0);
  std::string h = message_hex(buf);
  EXPECT_NE(h.find("04 82 01 2C 78 78"), std::string::npos);  // 300 = 0x82 0x01 0x2C
  auto d = decode(std::vector<std::uint8_t>(buf.message(), buf.message() + buf.remaining()));
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(d.pdu->get_var_bind_list()->get_at(0)->get_value()->length(), 300u);

  auto one_arc = pms_create_pdu(nullptr);
  one_arc->set_type(kPduGet);
  one_arc->append_new(oid("1"), nullptr);
  EXPECT_EQ(reg()->encode(one_arc.get(), target.get(), &buf, nullptr), -2);
  auto udp = pms_create_pdu(nullptr);
  udp->set_type(kPduSet);
  udp->append_new(oid("1.3"), pms_create_value_from_string("1.2.3.4/5", kPmsUdpAddress, nullptr));
  EXPECT_EQ(reg()->encode(udp.get(), target.get(), &buf, nullptr), -5);
  auto usm = pms_create_usm_target(nullptr);
  usm->set_max_message_size(1400);
  EXPECT_EQ(reg()->encode(get_request(1, "1.3.6").get(), usm.get(), &buf, nullptr), -5);
}

TEST(BerCodec, TooBigCountsTrailingBindings) {
  auto pdu = pms_create_pdu(nullptr);
  pdu->set_type(kPduGet);
  for (int i = 0; i < 100; ++i) {
    auto o = oid("1.3.6.1.2.1.2.2.1.10");
    o->append_arc(static_cast<std::uint32_t>(i + 1));
    pdu->append_new(std::move(o), nullptr);
  }
  CPmcMessageBuffer buf;
  std::uint32_t written = 0;
  ASSERT_EQ(reg()->encode(pdu.get(), community_target("public", kSnmpV1, 65535).get(), &buf, &written), 0);
  std::uint32_t full = buf.remaining();
  EXPECT_EQ(written, 100u);
  EXPECT_EQ(reg()->encode(pdu.get(), community_target("public", kSnmpV1, static_cast<std::int32_t>(full - 1)).get(),
                          &buf, &written),
            -211);
  EXPECT_EQ(buf.message_start(), 0u);
  // With room for half the message, about half the bindings fit, counted from the end.
  EXPECT_EQ(reg()->encode(pdu.get(), community_target("public", kSnmpV1, static_cast<std::int32_t>(full / 2)).get(),
                          &buf, &written),
            -211);
  EXPECT_GT(written, 40u);
  EXPECT_LT(written, 60u);
  // Exactly the size of the message fits.
  EXPECT_EQ(reg()->encode(pdu.get(), community_target("public", kSnmpV1, static_cast<std::int32_t>(full)).get(), &buf,
                          &written),
            0);
  EXPECT_EQ(buf.message_start(), 0u);
}

TEST(BerCodec, TrapsInBothDirections) {
  // generic-trap 3 (linkUp) from an agent at 10.0.0.1
  const char* v1trap =
      "30 29 02 01 00 04 06 70 75 62 6C 69 63 A4 1C 06 08 2B 06 01 04 01 81 FD 59 40 04 0A 00 00 01 02 01 03 02 01 00 "
      "43 02 01 00 30 00";
  auto d = decode(hex(v1trap));
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(d.pdu->get_type(), kPduTrap);
  EXPECT_EQ(text_of(*d.pdu->get_trap_oid()), "1.3.6.1.6.3.1.1.5.0.4");
  EXPECT_EQ(d.pdu->get_trap_time_stamp()->get_uint(nullptr), 256u);
  CPmcMessageBuffer buf;
  ASSERT_EQ(reg()->encode(d.pdu.get(), community_target("public", kSnmpV1).get(), &buf, nullptr), 0);
  EXPECT_EQ(message_hex(buf),
            "30 29 02 01 00 04 06 70 75 62 6C 69 63 A4 1C 06 08 2B 06 01 06 03 01 01 05 40 04 00 00 00 00 02 01 03 02 "
            "01 00 43 02 01 00 30 00");

  // enterprise-specific: generic 6, specific 17, enterprise 1.3.6.1.4.1.9
  const char* specific =
      "30 26 02 01 00 04 06 70 75 62 6C 69 63 A4 19 06 06 2B 06 01 04 01 09 40 04 00 00 00 00 02 01 06 02 01 11 43 01 "
      "05 30 00";
  d = decode(hex(specific));
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(text_of(*d.pdu->get_trap_oid()), "1.3.6.1.4.1.9.0.17");
  ASSERT_EQ(reg()->encode(d.pdu.get(), community_target("public", kSnmpV1).get(), &buf, nullptr), 0);
  EXPECT_EQ(message_hex(buf), specific);

  // A trap PDU in an SNMPv2c message is not this codec's.
  EXPECT_EQ(reg()->encode(d.pdu.get(), community_target("public", kSnmpV2c).get(), &buf, nullptr), -5);
  auto no_ts = pms_create_pdu(nullptr);
  no_ts->set_type(kPduTrap);
  EXPECT_EQ(reg()->encode(no_ts.get(), community_target("public", kSnmpV1).get(), &buf, nullptr), -2);
}

TEST(BerCodec, ErrorStatusMarksBindings) {
  // Response, error status 2 at index 2, three bindings.
  auto pdu = pms_create_pdu(nullptr);
  pdu->set_type(kPduResponse);
  pdu->set_request_id(9);
  pdu->set_error_status(2);
  pdu->set_error_index(2);
  for (const char* o : {"1.3.6.1.1", "1.3.6.1.2", "1.3.6.1.3"}) pdu->append_new(oid(o), nullptr);
  CPmcMessageBuffer buf;
  ASSERT_EQ(reg()->encode(pdu.get(), community_target("public", kSnmpV1).get(), &buf, nullptr), 0);
  auto d = decode(std::vector<std::uint8_t>(buf.message(), buf.message() + buf.remaining()));
  ASSERT_EQ(d.result, 0);
  auto* l = d.pdu->get_var_bind_list();
  EXPECT_EQ(l->get_at(0)->get_status(), 100);
  EXPECT_EQ(l->get_at(1)->get_status(), 2);
  EXPECT_EQ(l->get_at(2)->get_status(), 100);

  std::int32_t status = 0, id = 0;
  pdu->set_error_status(1);  // tooBig
  pdu->set_error_index(0);
  ASSERT_EQ(reg()->encode(pdu.get(), community_target("public", kSnmpV1).get(), &buf, nullptr), 0);
  ASSERT_EQ(reg()->decode_header(&buf, &status, &id, kPmsSenderCommunity), 0);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(id, 9);
}

TEST(BerCodec, DecoderReusesBindingsAndTrims) {
  auto d = decode(hex(kGolden));
  ASSERT_EQ(d.result, 0);
  IPmsVarBind* first = d.pdu->get_var_bind_list()->get_at(0);
  d.pdu->append_new(oid("1.3.6.1.9"), nullptr);
  CPmcMessageBuffer buf;
  auto bytes = hex(kGolden);
  buf.assign(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  ASSERT_EQ(reg()->decode(&buf, d.pdu.get(), d.target.get(), kPmsSenderNone), 0);
  EXPECT_EQ(d.pdu->get_var_bind_list()->count(), 1u);
  EXPECT_EQ(d.pdu->get_var_bind_list()->get_at(0), first);
}

// Malformed input: every case answers -250 (or the code given).
TEST(BerCodec, MalformedMessages) {
  struct Case {
    const char* what;
    std::string bytes;
    int result;
  };
  std::string g = kGolden;
  const Case cases[] = {
      {"cut by one byte", g.substr(0, g.size() - 3), -250},
      {"indefinite length", "30 80 02 01 00", -250},
      {"five length bytes", "30 85 00 00 00 00 26", -250},
      {"version 3", "30 26 02 01 03" + g.substr(14), -250},
      {"version as six-byte integer", "30 2B 02 06 00 00 00 00 00 00 04 06 70 75 62 6C 69 63 A0 19" + g.substr(39), -250},
      {"unknown pdu tag", g.substr(0, 39) + "AF" + g.substr(41), -250},
      {"pdu longer than message", g.substr(0, 39) + "A0 1A" + g.substr(44), -250},
      {"error status 19", "30 26 02 01 00 04 06 70 75 62 6C 69 63 A0 19 02 01 01 02 01 13" + g.substr(63), -250},
      {"unknown value tag 0x48", g.substr(0, g.size() - 5) + "48 00", -250},
      {"null with content", "30 27 02 01 00 04 06 70 75 62 6C 69 63 A0 1A 02 01 01 02 01 00 02 01 00 30 0F 30 0D 06 08 "
                            "2B 06 01 02 01 01 05 00 05 01 00",
       -250},
      {"oid arc past 32 bits",
       "30 28 02 01 00 04 06 70 75 62 6C 69 63 A0 1B 02 01 01 02 01 00 02 01 00 30 10 30 0E 06 0A 2B 06 01 90 80 80 80 "
       "00 01 05 00",
       -250},
      {"oid cut inside an arc", "30 22 02 01 00 04 06 70 75 62 6C 69 63 A0 15 02 01 01 02 01 00 02 01 00 30 0A 30 08 06 "
                                "04 2B 06 01 82 05 00",
       -250},
      {"counter64 wider than 64 bits",
       "30 2D 02 01 00 04 06 70 75 62 6C 69 63 A2 20 02 01 01 02 01 00 02 01 00 30 15 30 13 06 03 2B 06 01 46 0C 01 02 "
       "03 04 05 06 07 08 09 0A 0B 0C",
       -250},
      {"var bind longer than its content", "30 26 02 01 00 04 06 70 75 62 6C 69 63 A0 19 02 01 01 02 01 00 02 01 00 30 "
                                           "0E 30 0D 06 08 2B 06 01 02 01 01 05 00 05 00",
       -250},
      {"empty input", "", -250},
      {"snmpv2 trap tag in v1", g.substr(0, 39) + "A7" + g.substr(41), -250},
      {"snmpv2 trap in v2c", "30 26 02 01 01" + g.substr(14, 25) + "A7" + g.substr(41), -5},
  };
  for (const auto& c : cases) {
    auto d = decode(hex(c.bytes));
    EXPECT_EQ(d.result, c.result) << c.what;
  }
  // Two extra bytes after the message are ignored.
  auto d = decode(hex(g + " 00 00"));
  EXPECT_EQ(d.result, 0);
}

TEST(BerCodec, RegistrySelection) {
  EXPECT_STREQ(reg()->selected_name(), "TransStream");
  EXPECT_EQ(reg()->select_stream("transstream"), -2);
  EXPECT_STREQ(reg()->selected_name(), "TransStream");
  auto pdu = get_request(1, "1.3.6.1.2.1.1.5.0");
  auto target = community_target("public", kSnmpV1);
  EXPECT_EQ(reg()->encode(pdu.get(), target.get(), nullptr, nullptr), -2);
  EXPECT_EQ(reg()->select_stream(nullptr), 0);
  CPmcMessageBuffer buf;
  EXPECT_EQ(reg()->encode(pdu.get(), target.get(), &buf, nullptr), -8);
  EXPECT_EQ(reg()->select_stream("TransStream"), 0);

  // An unsolicited message creates a community target for its sender.
  auto packet = pms_create_snmp_packet(nullptr);
  auto bytes = hex(kGolden);
  buf.assign(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  EXPECT_EQ(reg()->decode_packet(&buf, packet.get(), kPmsSenderNone), -2);
  ASSERT_EQ(reg()->decode_packet(&buf, packet.get(), kPmsSenderCommunity), 0);
  ASSERT_NE(packet->get_target(), nullptr);
  EXPECT_STREQ(packet->get_target()->as_community()->get_community(), "public");
}

}  // namespace
