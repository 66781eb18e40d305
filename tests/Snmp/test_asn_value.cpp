#include <gtest/gtest.h>

#include <string>

#include "snmp/asn_value.h"

namespace {

std::string text_of(const IPmsAsnValue& v) {
  int err = 0;
  auto b = v.to_text_buffer(&err);
  EXPECT_EQ(err, 0);
  return b ? std::string(b->c_str(), b->length()) : std::string("<error>");
}

PmsOwn<IPmsObjectId> oid(const char* t) {
  int err = 0;
  auto o = pms_create_oid_from_string(t, &err);
  EXPECT_EQ(err, 0) << t;
  return o;
}

TEST(AsnValue, FactoryByTag) {
  int err = 0;
  EXPECT_EQ(pms_create_value(0x47, &err), nullptr);
  EXPECT_EQ(err, -2);
  auto v6 = pms_create_value(kPmsIpv6Address, &err);
  ASSERT_TRUE(v6);
  EXPECT_EQ(v6->length(), 16u);
  EXPECT_EQ(text_of(*v6), "0:0:0:0:0:0:0:0");
  EXPECT_EQ(pms_create_value_from_int(5, kPmsGauge32, &err), nullptr);
  EXPECT_EQ(err, -5);
  EXPECT_EQ(pms_create_value_from_string("1..3", kPmsObjectId, &err), nullptr);
  EXPECT_EQ(err, -2);
}

// Text form round trips: (tag, input text, expected text, expected set_text result).
struct TextCase {
  std::int32_t tag;
  const char* in;
  const char* out;
  int result;
};

TEST(AsnValue, TextForms) {
  const TextCase cases[] = {
      {kPmsInteger, "-2147483648", "-2147483648", 0},
      {kPmsInteger, "42abc", "42", 0},
      {kPmsGauge32, "4294967295", "4294967295", 0},
      {kPmsTimeTicks, "17", "17", 0},
      {kPmsCounter64, "18446744073709551615", "18446744073709551615", 0},
      {kPmsCounter64, "18446744073709551616", "0", -2},
      {kPmsCounter64, "12a", "0", -2},
      {kPmsCounter64, "", "0", 0},
      {kPmsOctetString, "abc", "abc", 0},
      {kPmsIpAddress, "10.0.0.255", "10.0.0.255", 0},
      {kPmsIpAddress, "10.0.0.256", "0.0.0.0", -2},
      {kPmsIpAddress, "10.0.0", "0.0.0.0", -2},
      {kPmsIpAddress, "10.0.0.1x", "0.0.0.0", -2},
      {kPmsUdpAddress, "192.168.1.5/161", "192.168.1.5/161", 0},
      {kPmsUdpAddress, "192.168.1.5/65536", "0.0.0.0/0", -2},
      {kPmsIpxAddress, "0000abcd:00112233aabb/900f", "0000abcd:00112233aabb/900f", 0},
      {kPmsIpv6Address, "fe80:0:0:0:1:2:3:ffff", "fe80:0:0:0:1:2:3:ffff", 0},
      {kPmsIpv6Address, "fe80::1", "0:0:0:0:0:0:0:0", -2},
      {kPmsObjectId, "1.3.6.1", "1.3.6.1", 0},
  };
  for (const auto& c : cases) {
    int err = 0;
    auto v = pms_create_value(c.tag, &err);
    ASSERT_TRUE(v);
    if (c.tag == kPmsCounter64 && c.result != 0) v->set_text("0");
    EXPECT_EQ(v->set_text(c.in), c.result) << c.in;
    EXPECT_EQ(text_of(*v), c.out) << c.in;
  }
}

TEST(AsnValue, NumbersAndConversions) {
  int err = 0;
  auto udp = pms_create_value_from_string("192.168.1.5/161", kPmsUdpAddress, &err);
  ASSERT_TRUE(udp);
  EXPECT_EQ(udp->get_port(&err), 161);
  EXPECT_EQ(udp->get_uint(&err), 0xC0A80105u);
  auto g = pms_create_value(kPmsGauge32, &err);
  EXPECT_EQ(g->get_int(&err), -1);
  EXPECT_EQ(err, -5);
  auto c64 = pms_create_counter64(1, 0, &err);
  EXPECT_EQ(text_of(*c64), "4294967296");
  EXPECT_EQ(c64->get_uint(&err), 0u);
  auto n = pms_create_value(kPmsNull, &err);
  PmsOwn<IPmsOctetBuffer> buf = pms_create_octet_buffer(&err);
  EXPECT_EQ(n->to_text(buf.get()), -5);
  auto ex = pms_create_value(kPmsEndOfMibView, &err);
  EXPECT_EQ(ex->to_text(buf.get()), -5);
  EXPECT_NE(ex->query(0xF000FF01u), nullptr);
  EXPECT_EQ(n->query(0xF000FF01u), nullptr);
  EXPECT_NE(udp->query(0xF0000004u), nullptr);
  EXPECT_NE(udp->query(0xF000FF02u), nullptr);
  auto ip = pms_create_value(kPmsIpAddress, &err);
  EXPECT_EQ(ip->set_bytes("\1\2\3", 3), -2);
  EXPECT_EQ(ip->copy_from(udp.get()), -2);
  auto ip2 = pms_create_value_from_uint(0x7F000001u, kPmsIpAddress, &err);
  EXPECT_EQ(text_of(*ip2), "127.0.0.1");
  EXPECT_EQ(ip->copy_from(ip2.get()), 0);
  EXPECT_TRUE(ip->equals(ip2.get()));
  auto cl = ip2->clone(&err);
  EXPECT_TRUE(cl->equals(ip2.get()));
  cl->reset();
  EXPECT_FALSE(cl->equals(ip2.get()));
}

TEST(AsnValue, OidValidity) {
  struct Case { const char* text; bool valid; };
  const Case cases[] = {
      {"", true},           {"0.0", true},        {"1.3.6.1.4.1.32473", true}, {"1.3.06", false},
      {"1..3", false},      {".1.3", false},      {"1.3.", false},             {"1.a", false},
      {"4294967295", true}, {"4294967296", false}, {"1.-3", false},
  };
  for (const auto& c : cases) {
    int err = 0;
    auto o = pms_create_oid(&err);
    EXPECT_EQ(o->set_text(c.text), 0);
    EXPECT_EQ(o->is_valid(), c.valid) << c.text;
    EXPECT_EQ(text_of(*o), c.text);
  }
  // An OID longer than 128 arcs is refused.
  std::string many = "1";
  for (int i = 0; i < 128; ++i) many += ".1";
  int err = 0;
  EXPECT_EQ(pms_create_oid_from_string(many.c_str(), &err), nullptr);
  EXPECT_EQ(err, -2);
  auto o = oid("");
  EXPECT_EQ(o->get_element(0, &err), 0u);
  EXPECT_EQ(err, -8);
  o->append_arc(4294967295u);
  EXPECT_EQ(o->get_element(0, &err), 4294967295u);
  EXPECT_EQ(o->get_element(1, &err), 0u);
  EXPECT_EQ(err, -7);
}

TEST(AsnValue, OidCompare) {
  auto o = oid("1.3.6.1.2");
  int err = 0;
  struct Case { const char* other; int rel; };
  const Case cases[] = {
      {"1.3.6.1.2", 0}, {"1.3.6.1.2.1", 1}, {"1.3.6.1", 2}, {"1.3.6.1.21", 3},
      {"1.3.6.1.10", 4},  // text order: "2" sorts after "10"
      {"1.3.6.1.3", 3},   {"1.3.6.1.1.9", 4}, {"", 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(o->compare_text(c.other, &err), c.rel) << c.other;
    auto other = oid(c.other);
    EXPECT_EQ(o->compare(other.get(), &err), c.rel) << c.other;
  }
  EXPECT_EQ(o->compare_text(nullptr, &err), -1);
  EXPECT_EQ(err, -2);
}

TEST(AsnValue, OidEditing) {
  int err = 0;
  auto o = oid("1.3.6.1.2.1.1.5.0");
  EXPECT_EQ(o->strip_prefix_text("1.3.6.2"), -2);
  EXPECT_EQ(o->strip_prefix_text("1.3.6.1"), 0);
  EXPECT_EQ(text_of(*o), "2.1.1.5.0");
  auto front = o->split_front_new(2, &err);
  EXPECT_EQ(text_of(*front), "2.1");
  EXPECT_EQ(text_of(*o), "1.5.0");
  EXPECT_EQ(o->pop_arc(&err), 1u);
  o->append_text("7.8");
  EXPECT_EQ(text_of(*o), "5.0.7.8");
  EXPECT_EQ(o->remove_arcs(1, 2), 0);
  EXPECT_EQ(text_of(*o), "5.8");
  EXPECT_EQ(o->remove_arcs(2, 1), -2);
  EXPECT_EQ(o->remove_arcs(0, 0xFFFFFFFFu), 0);
  EXPECT_EQ(o->pop_arc(&err), 0xFFFFFFFFu);
  EXPECT_EQ(err, -8);
  auto t = oid("9.8.7");
  auto text = t->split_front_text_new(5, &err);
  EXPECT_STREQ(text->c_str(), "9.8.7");
  EXPECT_EQ(t->length(), 0u);
}

TEST(AsnValue, IndexForms) {
  int err = 0;
  auto udp = pms_create_value_from_string("192.168.1.5/161", kPmsUdpAddress, &err);
  auto o = oid("");
  ASSERT_EQ(udp->append_index(o.get(), false), 0);
  EXPECT_EQ(text_of(*o), "1.6.192.168.1.5.0.161");
  EXPECT_EQ(udp->index_length(false), 8u);
  EXPECT_EQ(udp->index_length(true), 7u);

  auto abc = pms_create_value_from_string("abc", kPmsOctetString, &err);
  auto row = oid("1.3.6.1.2.1.25.3.2.1.1");
  auto idx = oid("");
  abc->append_index(idx.get(), false);
  EXPECT_EQ(text_of(*idx), "3.97.98.99");
  auto back = idx->read_index_new(kPmsOctetString, false, &err);
  ASSERT_TRUE(back);
  EXPECT_EQ(text_of(*back), "abc");

  idx->append_arc(42);
  auto popped = idx->pop_index_new(kPmsOctetString, false, -1, &err);
  ASSERT_TRUE(popped);
  EXPECT_EQ(text_of(*idx), "42");

  struct Case { const char* arcs; std::int32_t tag; bool implied; int result; };
  const Case bad[] = {
      {"5.1.2", kPmsOctetString, false, -401},  // length past the arc count
      {"3.1.2", kPmsOctetString, false, -7},    // bytes run past the end
      {"2.1.256", kPmsOctetString, false, -401},
      {"3.1.2.3", kPmsIpAddress, false, -401},  // IpAddress needs length 4
      {"2.6.1.2.3.4.0.161", kPmsUdpAddress, false, -401},
      {"", kPmsInteger, false, -401},
      {"1.2", kPmsCounter64, false, -5},
  };
  for (const auto& c : bad) {
    auto src = oid(c.arcs);
    auto v = pms_create_value(c.tag, &err);
    EXPECT_EQ(src->read_index(v.get(), c.implied), c.result) << c.arcs;
  }
  auto implied = oid("104.105");
  auto hi = implied->read_index_new(kPmsOctetString, true, &err);
  EXPECT_EQ(text_of(*hi), "hi");
  auto sub = oid("1.3.6");
  auto holder = oid("");
  holder->append_value_index(sub.get(), false);
  EXPECT_EQ(text_of(*holder), "3.1.3.6");
  auto read = holder->read_index_new(kPmsObjectId, false, &err);
  EXPECT_EQ(text_of(*read), "1.3.6");
}

}  // namespace
