// The scripted fake agent: its answers follow GET/GETNEXT/SET over its
// objects, and each scripted misbehaviour puts exactly the datagrams on the
// wire that the session tests expect to see.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <set>

#include "fake_agent.h"

namespace morva::test {
namespace {

struct Datagram {
  std::string from;
  wire::Bytes bytes;
};

// A plain UDP client on 127.0.0.1 that sends one request and gathers
// whatever arrives within a time window.
class Client {
 public:
  Client() {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
  ~Client() { close(fd_); }

  // Gathers until the window ends or `enough` datagrams arrived.
  std::vector<Datagram> exchange(const FakeAgent& agent, const wire::Bytes& request, int window_ms = 300,
                                 std::size_t enough = SIZE_MAX) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(agent.port());
    inet_pton(AF_INET, agent.address().c_str(), &to.sin_addr);
    sendto(fd_, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    std::vector<Datagram> got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(window_ms);
    std::vector<std::uint8_t> buf(65536);
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      pollfd p{fd_, POLLIN, 0};
      if (got.size() >= enough || left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
      sockaddr_in from{};
      socklen_t len = sizeof from;
      ssize_t n = recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
      if (n < 0) break;
      char text[INET_ADDRSTRLEN] = {};
      inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
      got.push_back({text, wire::Bytes(buf.begin(), buf.begin() + n)});
    }
    return got;
  }

 private:
  int fd_ = -1;
};

FixtureData small_table() {
  return FixtureData::parse(
      "1.3.6.1.2.1.1.5.0 string fake-printer\n"
      "1.3.6.1.2.1.43.8.2.1.13.1.1 string Tray 1\n"
      "1.3.6.1.2.1.43.8.2.1.13.1.2 string Tray 2\n"
      "1.3.6.1.2.1.43.8.2.1.9.1.1 integer 500\n");
}

TEST(FakeAgent, AnswersGetGetNextAndSetLikeAnAgent) {
  FakeAgent agent;
  agent.serve(small_table());
  Client client;
  auto ask = [&](std::int32_t version, std::uint8_t type, const std::string& oid, wire::Value value = wire::null_value()) {
    wire::Message m = wire::get_request(version, "public", 7, {oid}, type);
    m.varbinds[0].value = value;
    auto got = client.exchange(agent, wire::encode(m), 1000, 1);
    EXPECT_EQ(got.size(), 1u);
    auto answer = got.empty() ? std::nullopt : wire::decode(got[0].bytes);
    EXPECT_TRUE(answer.has_value());
    return answer.value_or(wire::Message{});
  };

  auto a = ask(0, wire::kGet, "1.3.6.1.2.1.1.5.0");
  EXPECT_EQ(a.pdu_type, wire::kResponse);
  EXPECT_EQ(a.request_id, 7);
  EXPECT_EQ(wire::as_octets(a.varbinds.at(0).value), "fake-printer");

  // GETNEXT orders numerically: column 9 comes before column 13.
  a = ask(0, wire::kGetNext, "1.3.6.1.2.1.43.8.2.1");
  EXPECT_EQ(wire::oid_text(a.varbinds.at(0).oid), "1.3.6.1.2.1.43.8.2.1.9.1.1");
  a = ask(0, wire::kGetNext, "1.3.6.1.2.1.43.8.2.1.13.1.1");
  EXPECT_EQ(wire::as_octets(a.varbinds.at(0).value), "Tray 2");

  // End of the objects: SNMPv1 noSuchName echoing the request, SNMPv2c endOfMibView.
  a = ask(0, wire::kGetNext, "1.3.6.1.2.1.43.8.2.1.13.1.2");
  EXPECT_EQ(a.error_status, wire::kNoSuchName);
  EXPECT_EQ(a.error_index, 1);
  EXPECT_EQ(wire::oid_text(a.varbinds.at(0).oid), "1.3.6.1.2.1.43.8.2.1.13.1.2");
  a = ask(1, wire::kGetNext, "1.3.6.1.2.1.43.8.2.1.13.1.2");
  EXPECT_EQ(a.error_status, 0);
  EXPECT_EQ(a.varbinds.at(0).value.tag, wire::kEndOfMibView);
  a = ask(1, wire::kGet, "1.3.6.1.2.1.1.6.0");
  EXPECT_EQ(a.varbinds.at(0).value.tag, wire::kNoSuchObject);

  // SET changes the value; a wrong type is refused.
  a = ask(0, wire::kSet, "1.3.6.1.2.1.43.8.2.1.9.1.1", wire::integer(250));
  EXPECT_EQ(a.error_status, 0);
  a = ask(0, wire::kGet, "1.3.6.1.2.1.43.8.2.1.9.1.1");
  EXPECT_EQ(wire::as_integer(a.varbinds.at(0).value), 250);
  a = ask(0, wire::kSet, "1.3.6.1.2.1.43.8.2.1.9.1.1", wire::octets("x"));
  EXPECT_EQ(a.error_status, wire::kBadValue);
}

TEST(FakeAgent, ScriptedMisbehaviourPutsExactDatagramsOnTheWire) {
  // What each datagram must be: decodes with the request id off by `id_delta`
  // (and optionally the given size / error status), or does not decode at all.
  struct Expect {
    bool decodes;
    int id_delta = 0;
    std::size_t size = 0;
    std::int32_t error_status = 0;
  };
  struct Case {
    const char* name;
    std::vector<fake::Action> actions;
    std::vector<Expect> expect;
  } cases[] = {
      {"stale id first", {fake::stale_id(-1), fake::answer()}, {{true, -1}, {true, 0}}},
      {"duplicate", {fake::answer(), fake::answer()}, {{true, 0}, {true, 0}}},
      {"garbage first", {fake::garbage(24), fake::answer()}, {{false, 0, 24}, {true, 0}}},
      {"truncated", {fake::truncated(20)}, {{false, 0, 20}}},
      {"over-long", {fake::oversize(3000)}, {{true, 0, 3000}}},
      {"too big", {fake::error(wire::kTooBig, 0)}, {{true, 0, 0, wire::kTooBig}}},
      {"silence", {}, {}},
      {"late answer", {fake::delay(50), fake::answer()}, {{true, 0}}},
  };
  FakeAgent agent;
  agent.serve(small_table());
  Client client;
  std::int32_t id = 100;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    agent.script({c.actions});
    // Wait for as many datagrams as the script sends (generously, for a
    // loaded machine); a silent script is watched for a short while.
    auto request = wire::encode(wire::get_request(1, "public", ++id, {"1.3.6.1.2.1.1.5.0"}));
    auto got = c.expect.empty() ? client.exchange(agent, request, 300)
                                : client.exchange(agent, request, 5000, c.expect.size());
    ASSERT_EQ(got.size(), c.expect.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      auto m = wire::decode(got[i].bytes);
      EXPECT_EQ(m.has_value(), c.expect[i].decodes) << "datagram " << i;
      if (c.expect[i].size) {
        EXPECT_EQ(got[i].bytes.size(), c.expect[i].size) << "datagram " << i;
      }
      if (!m) continue;
      EXPECT_EQ(m->request_id, id + c.expect[i].id_delta) << "datagram " << i;
      EXPECT_EQ(m->error_status, c.expect[i].error_status) << "datagram " << i;
      EXPECT_EQ(wire::as_octets(m->varbinds.at(0).value), "fake-printer") << "datagram " << i;
    }
  }
  // After the script the default answer applies again; every request was logged.
  auto got = client.exchange(agent, wire::encode(wire::get_request(0, "public", 1, {"1.3.6.1.2.1.1.5.0"})));
  EXPECT_EQ(got.size(), 1u);
  EXPECT_EQ(agent.received().size(), std::size(cases) + 1);
  EXPECT_TRUE(agent.received().back().message.has_value());
}

TEST(FakeAgent, AnswersFromSeveralAddresses) {
  FakeAgent agent;
  agent.serve(small_table());
  agent.set_default({fake::answer(), fake::answer_from("127.0.0.2"), fake::answer_from("127.0.0.3")});
  Client client;
  auto got = client.exchange(agent, wire::encode(wire::get_request(0, "public", 5, {"1.3.6.1.2.1.1.5.0"})));
  std::set<std::string> sources;
  for (const auto& d : got) {
    sources.insert(d.from);
    EXPECT_TRUE(wire::decode(d.bytes).has_value());
  }
  EXPECT_EQ(sources, (std::set<std::string>{"127.0.0.1", "127.0.0.2", "127.0.0.3"}));
}

TEST(FakeAgent, RecordsUndecodableRequestsWithoutAnswering) {
  FakeAgent agent;
  Client client;
  auto got = client.exchange(agent, wire::Bytes{0x30, 0x03, 0x02, 0x01}, 150);
  EXPECT_TRUE(got.empty());
  ASSERT_TRUE(agent.wait_for_requests(1, 1000));
  EXPECT_FALSE(agent.received()[0].message.has_value());
  EXPECT_EQ(agent.received()[0].from, "127.0.0.1");
}

}  // namespace
}  // namespace morva::test
