#include "fake_agent.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace morva::test {

namespace fake {

Action answer() { return Action{}; }
Action answer_from(const std::string& address) { return from(answer(), address); }
Action stale_id(int delta) {
  Action a;
  a.kind = Action::Kind::kStaleId;
  a.id_delta = delta;
  return a;
}
Action garbage(std::size_t bytes) {
  Action a;
  a.kind = Action::Kind::kGarbage;
  a.size = bytes;
  return a;
}
Action truncated(std::size_t keep) {
  Action a;
  a.kind = Action::Kind::kTruncated;
  a.size = keep;
  return a;
}
Action oversize(std::size_t total) {
  Action a;
  a.kind = Action::Kind::kOversize;
  a.size = total;
  return a;
}
Action error(std::int32_t status, std::int32_t index) {
  Action a;
  a.kind = Action::Kind::kError;
  a.error_status = status;
  a.error_index = index;
  return a;
}
Action raw(wire::Bytes bytes) {
  Action a;
  a.kind = Action::Kind::kRaw;
  a.raw = std::move(bytes);
  return a;
}
Action delay(int ms) {
  Action a;
  a.kind = Action::Kind::kDelay;
  a.delay_ms = ms;
  return a;
}
Action from(Action a, const std::string& address) {
  a.from = address;
  return a;
}

}  // namespace fake

namespace {

bool make_sockaddr(const std::string& address, std::uint16_t port, sockaddr_storage& ss, socklen_t& len) {
  ss = {};
  auto* v4 = reinterpret_cast<sockaddr_in*>(&ss);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&ss);
  if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    len = sizeof(sockaddr_in);
    return true;
  }
  if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    len = sizeof(sockaddr_in6);
    return true;
  }
  return false;
}

int bound_socket(const std::string& address, std::uint16_t port, bool reuse) {
  sockaddr_storage ss;
  socklen_t len;
  if (!make_sockaddr(address, port, ss, len)) return -1;
  int fd = socket(ss.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int one = 1;
  if (reuse) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
  if (bind(fd, reinterpret_cast<sockaddr*>(&ss), len) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

std::string peer_text(const sockaddr_storage& ss, std::uint16_t& port) {
  char buf[INET6_ADDRSTRLEN] = {};
  if (ss.ss_family == AF_INET) {
    auto* a = reinterpret_cast<const sockaddr_in*>(&ss);
    inet_ntop(AF_INET, &a->sin_addr, buf, sizeof buf);
    port = ntohs(a->sin_port);
  } else {
    auto* a = reinterpret_cast<const sockaddr_in6*>(&ss);
    inet_ntop(AF_INET6, &a->sin6_addr, buf, sizeof buf);
    port = ntohs(a->sin6_port);
  }
  return buf;
}

wire::Bytes hex_bytes(const std::string& text) {
  std::istringstream in(text);
  std::string tok;
  wire::Bytes out;
  while (in >> tok) out.push_back(static_cast<std::uint8_t>(std::stoul(tok, nullptr, 16)));
  return out;
}

}  // namespace

wire::Value fixture_value(const FixtureEntry& e) {
  const std::string& t = e.type;
  if (t == "integer") return wire::integer(std::stoll(e.value));
  if (t == "unsigned" || t == "gauge") return wire::unsigned_value(wire::kGauge32, static_cast<std::uint32_t>(std::stoul(e.value)));
  if (t == "counter") return wire::unsigned_value(wire::kCounter32, static_cast<std::uint32_t>(std::stoul(e.value)));
  if (t == "timeticks") return wire::unsigned_value(wire::kTimeTicks, static_cast<std::uint32_t>(std::stoul(e.value)));
  if (t == "counter64") {
    std::uint64_t v = std::stoull(e.value);
    wire::Value out{wire::kCounter64, {}};
    for (int shift = 56; shift >= 0; shift -= 8) out.content.push_back(static_cast<std::uint8_t>(v >> shift));
    while (out.content.size() > 1 && out.content[0] == 0 && !(out.content[1] & 0x80)) out.content.erase(out.content.begin());
    return out;
  }
  if (t == "objectid") return wire::object_id(e.value);
  if (t == "ipaddress") {
    auto o = wire::oid(e.value);
    return wire::ip_address(static_cast<std::uint8_t>(o[0]), static_cast<std::uint8_t>(o[1]),
                            static_cast<std::uint8_t>(o[2]), static_cast<std::uint8_t>(o[3]));
  }
  if (t == "octet") return wire::Value{wire::kOctetString, hex_bytes(e.value)};
  if (t == "opaque") return wire::Value{wire::kOpaque, hex_bytes(e.value)};
  return wire::octets(e.value);
}

FakeAgent::FakeAgent(FakeAgentOptions options) : options_(std::move(options)) {
  fd_ = bound_socket(options_.address, options_.port, options_.reuse_address);
  if (fd_ < 0)
    throw std::runtime_error("fake agent cannot bind " + options_.address + ":" + std::to_string(options_.port) + ": " +
                             std::strerror(errno));
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&ss), &len);
  peer_text(ss, port_);
  if (pipe2(wake_, O_CLOEXEC) != 0) {
    close(fd_);
    throw std::runtime_error("pipe failed");
  }
  thread_ = std::thread([this] { run(); });
}

FakeAgent::~FakeAgent() {
  if (wake_[1] >= 0) {
    char c = 'x';
    (void)!write(wake_[1], &c, 1);
  }
  if (thread_.joinable()) thread_.join();
  for (int fd : {fd_, wake_[0], wake_[1]})
    if (fd >= 0) close(fd);
}

void FakeAgent::set(const std::string& oid, wire::Value value) {
  std::lock_guard<std::mutex> lock(mu_);
  objects_[wire::oid(oid)] = std::move(value);
}

void FakeAgent::serve(const FixtureData& data) {
  std::lock_guard<std::mutex> lock(mu_);
  for (const auto& e : data.entries()) objects_[e.oid] = fixture_value(e);
}

void FakeAgent::script(std::vector<std::vector<fake::Action>> per_request) {
  std::lock_guard<std::mutex> lock(mu_);
  script_ = std::move(per_request);
  script_pos_ = 0;
}

void FakeAgent::set_default(std::vector<fake::Action> actions) {
  std::lock_guard<std::mutex> lock(mu_);
  default_ = std::move(actions);
}

std::vector<FakeAgent::Received> FakeAgent::received() const {
  std::lock_guard<std::mutex> lock(mu_);
  return received_;
}

bool FakeAgent::wait_for_requests(std::size_t n, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(mu_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return received_.size() >= n; });
}

void FakeAgent::run() {
  std::vector<std::uint8_t> buf(65536);
  for (;;) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    int n = poll(fds, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || (fds[1].revents & POLLIN)) return;
    if (!(fds[0].revents & POLLIN)) continue;
    sockaddr_storage peer{};
    socklen_t peer_len = sizeof peer;
    ssize_t got = recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&peer), &peer_len);
    if (got < 0) continue;
    Received r;
    r.from = peer_text(peer, r.from_port);
    r.bytes.assign(buf.begin(), buf.begin() + got);
    r.message = wire::decode(r.bytes);
    handle(r, &peer, peer_len);
  }
}

std::optional<wire::Message> FakeAgent::build_answer(const wire::Message& req) {
  wire::Message a = req;
  a.pdu_type = wire::kResponse;
  a.error_status = 0;
  a.error_index = 0;
  const bool v1 = req.version == 0;
  auto fail = [&](std::size_t i, std::int32_t status) {
    if (a.error_status == 0) {
      a.error_status = status;
      a.error_index = static_cast<std::int32_t>(i + 1);
    }
  };
  for (std::size_t i = 0; i < a.varbinds.size(); ++i) {
    auto& vb = a.varbinds[i];
    if (req.pdu_type == wire::kGet) {
      auto it = objects_.find(vb.oid);
      if (it != objects_.end())
        vb.value = it->second;
      else if (v1)
        fail(i, wire::kNoSuchName);
      else
        vb.value = wire::Value{wire::kNoSuchObject, {}};
    } else if (req.pdu_type == wire::kGetNext || req.pdu_type == wire::kGetBulk) {
      auto it = objects_.upper_bound(vb.oid);
      if (it != objects_.end()) {
        vb.oid = it->first;
        vb.value = it->second;
      } else if (v1) {
        fail(i, wire::kNoSuchName);
      } else {
        vb.value = wire::Value{wire::kEndOfMibView, {}};
      }
    } else if (req.pdu_type == wire::kSet) {
      auto it = objects_.find(vb.oid);
      if (it == objects_.end())
        fail(i, v1 ? wire::kNoSuchName : 17 /* notWritable */);
      else if (it->second.tag != vb.value.tag)
        fail(i, v1 ? wire::kBadValue : 7 /* wrongType */);
      else
        it->second = vb.value;
    } else {
      return std::nullopt;
    }
  }
  // SNMPv1 answers an error with the request's bindings unchanged.
  if (v1 && a.error_status != 0) a.varbinds = req.varbinds;
  return a;
}

void FakeAgent::handle(const Received& r, const void* peer, unsigned peer_len) {
  std::vector<fake::Action> actions;
  std::optional<wire::Message> answer;
  {
    std::lock_guard<std::mutex> lock(mu_);
    received_.push_back(r);
    actions = script_pos_ < script_.size() ? script_[script_pos_++] : default_;
    if (r.message) answer = build_answer(*r.message);
  }
  cv_.notify_all();
  for (const auto& act : actions) {
    wire::Bytes out;
    using K = fake::Action::Kind;
    switch (act.kind) {
      case K::kDelay:
        std::this_thread::sleep_for(std::chrono::milliseconds(act.delay_ms));
        continue;
      case K::kRaw:
        out = act.raw;
        break;
      case K::kGarbage:
        out.resize(act.size);
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(0xA5 ^ (i * 37));
        break;
      default: {
        if (!answer) continue;  // nothing sensible to answer an undecodable request with
        wire::Message m = *answer;
        if (act.kind == K::kStaleId) m.request_id += act.id_delta;
        if (act.kind == K::kError) {
          m.error_status = act.error_status;
          m.error_index = act.error_index;
        }
        out = wire::encode(m);
        if (act.kind == K::kTruncated && act.size < out.size()) out.resize(act.size);
        if (act.kind == K::kOversize && act.size > out.size()) {
          // Pad with one more binding whose string grows until the whole
          // message has exactly the asked size.
          m.varbinds.push_back({wire::oid("1.3.6.1.4.1.32473.99.0.1"), wire::octets("")});
          for (int round = 0; round < 8; ++round) {
            out = wire::encode(m);
            if (out.size() == act.size) break;
            auto& pad = m.varbinds.back().value.content;
            std::size_t want = pad.size() + act.size - std::min(act.size, out.size());
            if (out.size() > act.size) want = pad.size() - std::min(pad.size(), out.size() - act.size);
            pad.assign(want, 'x');
          }
        }
      }
    }
    const std::string& from = act.from.empty() ? options_.reply_from : act.from;
    if (from.empty()) {
      sendto(fd_, out.data(), out.size(), 0, static_cast<const sockaddr*>(peer), peer_len);
    } else {
      int s = bound_socket(from, port_, true);
      if (s < 0) s = bound_socket(from, 0, false);  // the port is held exclusively
      if (s >= 0) {
        sendto(s, out.data(), out.size(), 0, static_cast<const sockaddr*>(peer), peer_len);
        close(s);
      }
    }
  }
}

}  // namespace morva::test
