// The fixture format (order, overrides, SET rules) and the test codec that
// the fake agent and the readiness probe rely on.
#include <gtest/gtest.h>

#include "fixture_data.h"
#include "snmp_wire.h"

namespace morva::test {
namespace {

TEST(FixtureData, SortsNumericallyAndLaterLinesWin) {
  auto d = FixtureData::parse(
      "# comment\n"
      "1.3.6.1.2.1.43.8.2.1.13.1.10 string ten\n"
      "1.3.6.1.2.1.43.8.2.1.13.1.9 string nine\n"
      "1.3.6.1.2.1.43.8.2.1.13.1.2 string  two with spaces \n"
      "1.3.6.1.2.1.43.8.2.1.13.1.9 string nine again\n"
      "1.3.6.1.2.1.1.5.0 string\n");
  ASSERT_EQ(d.entries().size(), 4u);
  EXPECT_EQ(wire::oid_text(d.entries()[0].oid), "1.3.6.1.2.1.1.5.0");
  EXPECT_EQ(d.entries()[0].value, "");
  EXPECT_EQ(d.entries()[1].value, " two with spaces");  // trailing blanks dropped
  EXPECT_EQ(d.entries()[2].value, "nine again");
  EXPECT_EQ(d.entries()[3].value, "ten");

  const wire::Oid root = wire::oid("1.3.6.1.2.1.43");
  EXPECT_EQ(d.next(wire::oid("1.3.6.1.2.1.43"), root)->value, " two with spaces");
  EXPECT_EQ(d.next(wire::oid("1.3.6.1.2.1.43.8.2.1.13.1.9"), root)->value, "ten");
  EXPECT_EQ(d.next(wire::oid("1.3.6.1.2.1.43.8.2.1.13.1.10"), root), nullptr);
  // next() never leaves the subtree it serves.
  EXPECT_EQ(d.next(wire::oid("1.3.6.1.2.1.1"), wire::oid("1.3.6.1.2.1.1"))->value, "");
  EXPECT_EQ(d.next(wire::oid("1.3.6.1.2.1.1.4"), wire::oid("1.3.6.1.2.1.1.4")), nullptr);
  EXPECT_EQ(d.next(wire::oid("1.3.6.1.2.1.1.5.0"), wire::oid("1.3.6.1.2.1.1")), nullptr);
}

TEST(FixtureData, DeleteAndSetRules) {
  auto d = FixtureData::parse(
      "1.3.6.1.4.1.32473.2.2.9999.1 integer 1\n"
      "1.3.6.1.4.1.32473.2.2.9999.2 integer 2\n"
      "1.3.6.1.4.1.32473.1.1 integer 5\n"
      "1.3.6.1.4.1.32473.1.2 string name\n"
      "1.3.6.1.4.1.32473.1.3 integer 7\n"
      "@delete 1.3.6.1.4.1.32473.2.2.9999\n"
      "1.3.6.1.4.1.32473.2.2.9999.3 integer 3\n"
      "@set 1.3.6.1.4.1.32473.1 ok\n"
      "@set 1.3.6.1.4.1.32473.1.3 gen-error\n");
  EXPECT_EQ(d.get(wire::oid("1.3.6.1.4.1.32473.2.2.9999.1")), nullptr);
  EXPECT_NE(d.get(wire::oid("1.3.6.1.4.1.32473.2.2.9999.3")), nullptr);

  FixtureEntry applied;
  EXPECT_EQ(d.set(wire::oid("1.3.6.1.4.1.32473.1.1"), "integer 1414", &applied), "DONE");
  EXPECT_EQ(d.get(wire::oid("1.3.6.1.4.1.32473.1.1"))->value, "1414");
  EXPECT_EQ(fixture_line(applied), "1.3.6.1.4.1.32473.1.1 integer 1414");
  EXPECT_EQ(d.set(wire::oid("1.3.6.1.4.1.32473.1.2"), "string \"new name\""), "DONE");
  EXPECT_EQ(d.get(wire::oid("1.3.6.1.4.1.32473.1.2"))->value, "new name");
  EXPECT_EQ(d.set(wire::oid("1.3.6.1.4.1.32473.1.1"), "string \"x\""), "wrong-type");
  EXPECT_EQ(d.set(wire::oid("1.3.6.1.4.1.32473.1.3"), "integer 1"), "gen-error");
  EXPECT_EQ(d.set(wire::oid("1.3.6.1.4.1.32473.2.2.9999.3"), "integer 1"), "not-writable");
}

TEST(FixtureData, RejectsMalformedLines) {
  for (const char* bad : {"1.3.6 integer x", "1.3..6 integer 1", "1.3.6 colour red", "1.3.6 objectid 1",
                          "1.3.6 ipaddress 1.2.3", "1.3.6 octet 0g", "@set 1.3.6", "@delete nothing"}) {
    EXPECT_THROW(FixtureData::parse(bad), std::runtime_error) << bad;
  }
  auto big = FixtureData::parse(big_table_fixture(1000));
  EXPECT_EQ(big.entries().size(), 3000u);
}

TEST(Wire, RoundTripsEveryValueKind) {
  wire::Message m = wire::get_request(1, "private", -5, {"1.3.6.1.2.1.1.1.0"}, wire::kSet);
  std::vector<wire::Value> values = {
      wire::integer(0), wire::integer(-1), wire::integer(128), wire::integer(-129), wire::integer(2147483647),
      wire::octets(std::string("a\0b", 3)), wire::object_id("1.3.6.1.4.1.32473.200000"), wire::null_value(),
      wire::unsigned_value(wire::kGauge32, 4294967295u), wire::ip_address(127, 0, 0, 1)};
  for (const auto& v : values) m.varbinds.push_back({wire::oid("2.999.3"), v});
  auto bytes = wire::encode(m);
  auto back = wire::decode(bytes);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->request_id, -5);
  EXPECT_EQ(back->community, "private");
  EXPECT_EQ(back->varbinds, m.varbinds);
  EXPECT_EQ(wire::as_integer(back->varbinds[4].value), -129);
  EXPECT_EQ(wire::as_integer(back->varbinds[9].value), 4294967295);
  EXPECT_EQ(wire::as_oid_text(back->varbinds[7].value), "1.3.6.1.4.1.32473.200000");

  // Every cut and every trailing byte is refused, without reading outside.
  for (std::size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(wire::decode(bytes.data(), n)) << n;
  bytes.push_back(0);
  EXPECT_FALSE(wire::decode(bytes));
}

}  // namespace
}  // namespace morva::test
