// A scriptable SNMPv1/v2c responder of our own, for what a real agent will
// not send: stale request ids, duplicates, garbage, truncated and over-long
// datagrams, answers from several addresses, error statuses, silence.
// It listens on UDP (127.0.0.x, ::1, or 0.0.0.0 inside a namespace) on its
// own thread and answers each request with the actions scripted for it.
//
//   morva::test::FakeAgent agent;                              // 127.0.0.1:<free port>
//   agent.set("1.3.6.1.2.1.1.5.0", wire::octets("printer"));
//   agent.script({{fake::stale_id(-1), fake::answer()},        // 1st request
//                 {fake::garbage(), fake::answer()},           // 2nd request
//                 {}});                                        // 3rd: silence
//   ... send requests to agent.address():agent.port() ...
//   agent.received().size();
//
// After the script runs out, the default actions apply ({answer()} unless
// set_default changes them). Answers follow GET/GETNEXT/SET semantics over
// the agent's object table (SNMPv1: noSuchName with its index; SNMPv2c:
// noSuchObject / endOfMibView).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fixture_data.h"
#include "snmp_wire.h"

namespace morva::test {

namespace fake {

struct Action {
  enum class Kind { kAnswer, kStaleId, kGarbage, kTruncated, kOversize, kError, kRaw, kDelay };
  Kind kind = Kind::kAnswer;
  int id_delta = 0;          // kStaleId
  std::size_t size = 0;      // kGarbage: bytes; kTruncated: bytes kept; kOversize: total bytes
  std::int32_t error_status = 0, error_index = 0;  // kError
  wire::Bytes raw;           // kRaw
  int delay_ms = 0;          // kDelay
  std::string from;          // send from this address instead of the agent's own ("" = own)
};

Action answer();                                   // the right answer
Action answer_from(const std::string& address);    // the right answer, sent from another local address
Action stale_id(int delta = -1);                   // a well-formed answer whose request id is off by delta
Action garbage(std::size_t bytes = 24);            // bytes that are no SNMP message
Action truncated(std::size_t keep);                // the right answer cut after `keep` bytes
Action oversize(std::size_t total);                // a well-formed right answer of exactly `total` bytes
Action error(std::int32_t status, std::int32_t index);  // the answer with this error status and index
Action raw(wire::Bytes bytes);                     // these bytes as they are
Action delay(int ms);                              // wait before the next action
// Sends the action from another local address (same port).
Action from(Action a, const std::string& address);

}  // namespace fake

struct FakeAgentOptions {
  std::string address = "127.0.0.1";  // IPv4 or IPv6 literal
  std::uint16_t port = 0;             // 0 = a free port
  // SO_REUSEADDR, so several fake agents can share 0.0.0.0:161 in a
  // namespace and each receive a broadcast; give each its own reply_from.
  bool reuse_address = false;
  std::string reply_from;             // default source address of answers ("" = the socket's)
};

class FakeAgent {
 public:
  explicit FakeAgent(FakeAgentOptions options = {});  // throws std::runtime_error when it cannot bind
  ~FakeAgent();
  FakeAgent(const FakeAgent&) = delete;
  FakeAgent& operator=(const FakeAgent&) = delete;

  const std::string& address() const { return options_.address; }
  std::uint16_t port() const { return port_; }

  void set(const std::string& oid, wire::Value value);
  // Serves every object of a fixture (types converted to SNMP values).
  void serve(const FixtureData& data);

  void script(std::vector<std::vector<fake::Action>> per_request);
  void set_default(std::vector<fake::Action> actions);

  struct Received {
    std::string from;  // sender address text
    std::uint16_t from_port = 0;
    wire::Bytes bytes;
    std::optional<wire::Message> message;  // when it decoded
  };
  std::vector<Received> received() const;
  // Waits until `n` requests have arrived; false on timeout.
  bool wait_for_requests(std::size_t n, int timeout_ms) const;

 private:
  void run();
  void handle(const Received& r, const void* peer, unsigned peer_len);
  std::optional<wire::Message> build_answer(const wire::Message& request);

  FakeAgentOptions options_;
  std::uint16_t port_ = 0;
  int fd_ = -1;
  int wake_[2] = {-1, -1};
  mutable std::mutex mu_;
  mutable std::condition_variable cv_;
  std::map<wire::Oid, wire::Value> objects_;
  std::vector<std::vector<fake::Action>> script_;
  std::size_t script_pos_ = 0;
  std::vector<fake::Action> default_ = {fake::answer()};
  std::vector<Received> received_;
  std::thread thread_;
};

// The SNMP value a fixture entry stands for.
wire::Value fixture_value(const FixtureEntry& e);

}  // namespace morva::test
