// A small, independent SNMPv1/v2c message encoder and decoder for the test
// environment. It is deliberately separate from the project's own codec so
// that tests never check our codec against itself: SnmpAgent uses it for its
// readiness probe, FakeAgent to read requests and build (or spoil) answers,
// and tests to craft datagrams by hand.
//
//   wire::Message m = wire::get_request(0, "public", 42, {"1.3.6.1.2.1.1.2.0"});
//   auto answer = wire::exchange("127.0.0.1", port, m, 1000);
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morva::test::wire {

using Bytes = std::vector<std::uint8_t>;
using Oid = std::vector<std::uint32_t>;

enum Tag : std::uint8_t {
  kInteger = 0x02,
  kOctetString = 0x04,
  kNull = 0x05,
  kObjectId = 0x06,
  kSequence = 0x30,
  kIpAddress = 0x40,
  kCounter32 = 0x41,
  kGauge32 = 0x42,
  kTimeTicks = 0x43,
  kOpaque = 0x44,
  kCounter64 = 0x46,
  kNoSuchObject = 0x80,
  kNoSuchInstance = 0x81,
  kEndOfMibView = 0x82,
};

enum PduType : std::uint8_t {
  kGet = 0xA0,
  kGetNext = 0xA1,
  kResponse = 0xA2,
  kSet = 0xA3,
  kGetBulk = 0xA5,
};

enum ErrorStatus : std::int32_t {
  kNoError = 0,
  kTooBig = 1,
  kNoSuchName = 2,
  kBadValue = 3,
  kReadOnly = 4,
  kGenErr = 5,
};

// A value as it travels: its tag and its content octets.
struct Value {
  std::uint8_t tag = kNull;
  Bytes content;
  bool operator==(const Value&) const = default;
};

struct VarBind {
  Oid oid;
  Value value;
  bool operator==(const VarBind&) const = default;
};

struct Message {
  std::int32_t version = 0;  // 0 = SNMPv1, 1 = SNMPv2c
  std::string community;
  std::uint8_t pdu_type = kGet;
  std::int32_t request_id = 0;
  std::int32_t error_status = 0;  // non-repeaters for GetBulk
  std::int32_t error_index = 0;   // max-repetitions for GetBulk
  std::vector<VarBind> varbinds;
};

// "1.3.6.1" (a leading "." is allowed) -> arcs; nullopt when malformed.
std::optional<Oid> parse_oid(std::string_view text);
Oid oid(std::string_view text);  // as parse_oid; throws std::invalid_argument when malformed
std::string oid_text(const Oid& oid);  // "1.3.6.1"
// True when `oid` lies strictly under `prefix`.
bool oid_under(const Oid& oid, const Oid& prefix);

Value null_value();
Value integer(std::int64_t v);
Value octets(std::string_view bytes);
Value object_id(std::string_view text);
Value unsigned_value(std::uint8_t tag, std::uint32_t v);  // Counter32, Gauge32, TimeTicks
Value ip_address(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);

// Readers of a value's content; nullopt when the tag or encoding does not fit.
std::optional<std::int64_t> as_integer(const Value& v);  // INTEGER and the unsigned kinds
std::optional<std::string> as_octets(const Value& v);
std::optional<std::string> as_oid_text(const Value& v);

Message get_request(std::int32_t version, std::string_view community, std::int32_t request_id,
                    const std::vector<std::string>& oids, std::uint8_t pdu_type = kGet);

Bytes encode(const Message& m);
// Strict decoder: nullopt for anything that is not one whole v1/v2c message.
std::optional<Message> decode(const std::uint8_t* data, std::size_t size);
inline std::optional<Message> decode(const Bytes& b) { return decode(b.data(), b.size()); }

// Sends `request` to host:port over UDP (IPv4 or IPv6 literal) and waits up
// to `timeout_ms` for an answer with the same request id.
std::optional<Message> exchange(const std::string& host, std::uint16_t port, const Message& request,
                                int timeout_ms);

}  // namespace morva::test::wire
