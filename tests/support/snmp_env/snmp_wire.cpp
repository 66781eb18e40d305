#include "snmp_wire.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <charconv>
#include <cstring>
#include <stdexcept>

namespace morva::test::wire {
namespace {

void put_length(Bytes& out, std::size_t n) {
  if (n < 0x80) {
    out.push_back(static_cast<std::uint8_t>(n));
    return;
  }
  std::uint8_t tmp[sizeof(std::size_t)];
  int k = 0;
  while (n) {
    tmp[k++] = static_cast<std::uint8_t>(n & 0xFF);
    n >>= 8;
  }
  out.push_back(static_cast<std::uint8_t>(0x80 | k));
  while (k) out.push_back(tmp[--k]);
}

void put_tlv(Bytes& out, std::uint8_t tag, const Bytes& content) {
  out.push_back(tag);
  put_length(out, content.size());
  out.insert(out.end(), content.begin(), content.end());
}

Bytes int_content(std::int64_t v) {
  Bytes b;
  for (int shift = 56; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(v >> shift));
  // Drop leading octets that only repeat the sign.
  std::size_t skip = 0;
  while (skip + 1 < b.size() &&
         ((b[skip] == 0x00 && !(b[skip + 1] & 0x80)) || (b[skip] == 0xFF && (b[skip + 1] & 0x80))))
    ++skip;
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(skip), b.end());
}

Bytes uint_content(std::uint64_t v) {
  Bytes b;
  for (int shift = 56; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(v >> shift));
  std::size_t skip = 0;
  while (skip + 1 < b.size() && b[skip] == 0 && !(b[skip + 1] & 0x80)) ++skip;
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(skip), b.end());
}

Bytes oid_content(const Oid& arcs) {
  Bytes b;
  if (arcs.size() < 2) return b;
  auto put_arc = [&](std::uint64_t arc) {
    std::uint8_t tmp[10];
    int k = 0;
    do {
      tmp[k++] = static_cast<std::uint8_t>(arc & 0x7F);
      arc >>= 7;
    } while (arc);
    while (k > 1) b.push_back(static_cast<std::uint8_t>(tmp[--k] | 0x80));
    b.push_back(tmp[0]);
  };
  put_arc(static_cast<std::uint64_t>(arcs[0]) * 40 + arcs[1]);
  for (std::size_t i = 2; i < arcs.size(); ++i) put_arc(arcs[i]);
  return b;
}

// Reads TLVs inside [p, end); every read is bounds-checked.
struct Reader {
  const std::uint8_t* p;
  const std::uint8_t* end;

  bool tlv(std::uint8_t& tag, const std::uint8_t*& content, std::size_t& len) {
    if (end - p < 2) return false;
    tag = *p++;
    std::uint8_t first = *p++;
    if (first < 0x80) {
      len = first;
    } else {
      int k = first & 0x7F;
      if (k == 0 || k > 4 || end - p < k) return false;
      len = 0;
      for (int i = 0; i < k; ++i) len = (len << 8) | *p++;
    }
    if (static_cast<std::size_t>(end - p) < len) return false;
    content = p;
    p += len;
    return true;
  }
  bool expect(std::uint8_t want, Reader& inner) {
    std::uint8_t tag;
    const std::uint8_t* c;
    std::size_t len;
    if (!tlv(tag, c, len) || tag != want) return false;
    inner = Reader{c, c + len};
    return true;
  }
  bool integer(std::int32_t& out) {
    std::uint8_t tag;
    const std::uint8_t* c;
    std::size_t len;
    if (!tlv(tag, c, len) || tag != kInteger || len == 0 || len > 4) return false;
    std::int32_t v = (c[0] & 0x80) ? -1 : 0;
    for (std::size_t i = 0; i < len; ++i) v = static_cast<std::int32_t>((static_cast<std::uint32_t>(v) << 8) | c[i]);
    out = v;
    return true;
  }
};

std::optional<Oid> decode_oid(const std::uint8_t* c, std::size_t len) {
  if (len == 0) return std::nullopt;
  Oid arcs;
  std::uint64_t acc = 0;
  bool first = true;
  for (std::size_t i = 0; i < len; ++i) {
    if (acc > (UINT64_MAX >> 7)) return std::nullopt;
    acc = (acc << 7) | (c[i] & 0x7F);
    if (c[i] & 0x80) {
      if (i + 1 == len) return std::nullopt;
      continue;
    }
    if (first) {
      std::uint64_t a = acc < 40 ? 0 : acc < 80 ? 1 : 2;
      arcs.push_back(static_cast<std::uint32_t>(a));
      acc -= a * 40;
      first = false;
    }
    if (acc > UINT32_MAX) return std::nullopt;
    arcs.push_back(static_cast<std::uint32_t>(acc));
    acc = 0;
  }
  return arcs;
}

}  // namespace

std::optional<Oid> parse_oid(std::string_view text) {
  if (!text.empty() && text.front() == '.') text.remove_prefix(1);
  Oid arcs;
  while (!text.empty()) {
    std::uint32_t arc = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), arc);
    if (ec != std::errc() || ptr == text.data()) return std::nullopt;
    arcs.push_back(arc);
    text.remove_prefix(static_cast<std::size_t>(ptr - text.data()));
    if (text.empty()) break;
    if (text.front() != '.' || text.size() == 1) return std::nullopt;
    text.remove_prefix(1);
  }
  if (arcs.size() < 2) return std::nullopt;
  return arcs;
}

Oid oid(std::string_view text) {
  auto o = parse_oid(text);
  if (!o) throw std::invalid_argument("bad OID text: " + std::string(text));
  return *o;
}

std::string oid_text(const Oid& arcs) {
  std::string s;
  for (std::size_t i = 0; i < arcs.size(); ++i) {
    if (i) s += '.';
    s += std::to_string(arcs[i]);
  }
  return s;
}

bool oid_under(const Oid& o, const Oid& prefix) {
  return o.size() > prefix.size() && std::equal(prefix.begin(), prefix.end(), o.begin());
}

Value null_value() { return Value{kNull, {}}; }
Value integer(std::int64_t v) { return Value{kInteger, int_content(v)}; }
Value octets(std::string_view bytes) { return Value{kOctetString, Bytes(bytes.begin(), bytes.end())}; }
Value object_id(std::string_view text) { return Value{kObjectId, oid_content(oid(text))}; }
Value unsigned_value(std::uint8_t tag, std::uint32_t v) { return Value{tag, uint_content(v)}; }
Value ip_address(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  return Value{kIpAddress, {a, b, c, d}};
}

std::optional<std::int64_t> as_integer(const Value& v) {
  if (v.tag != kInteger && v.tag != kCounter32 && v.tag != kGauge32 && v.tag != kTimeTicks &&
      v.tag != kCounter64)
    return std::nullopt;
  if (v.content.empty() || v.content.size() > 9) return std::nullopt;
  bool is_signed = v.tag == kInteger;
  std::int64_t r = (is_signed && (v.content[0] & 0x80)) ? -1 : 0;
  for (auto b : v.content) r = static_cast<std::int64_t>((static_cast<std::uint64_t>(r) << 8) | b);
  return r;
}

std::optional<std::string> as_octets(const Value& v) {
  if (v.tag != kOctetString && v.tag != kOpaque) return std::nullopt;
  return std::string(v.content.begin(), v.content.end());
}

std::optional<std::string> as_oid_text(const Value& v) {
  if (v.tag != kObjectId) return std::nullopt;
  auto o = decode_oid(v.content.data(), v.content.size());
  if (!o) return std::nullopt;
  return oid_text(*o);
}

Message get_request(std::int32_t version, std::string_view community, std::int32_t request_id,
                    const std::vector<std::string>& oids, std::uint8_t pdu_type) {
  Message m;
  m.version = version;
  m.community = std::string(community);
  m.pdu_type = pdu_type;
  m.request_id = request_id;
  for (const auto& o : oids) m.varbinds.push_back({oid(o), null_value()});
  return m;
}

Bytes encode(const Message& m) {
  Bytes vbl;
  for (const auto& vb : m.varbinds) {
    Bytes one;
    put_tlv(one, kObjectId, oid_content(vb.oid));
    put_tlv(one, vb.value.tag, vb.value.content);
    put_tlv(vbl, kSequence, one);
  }
  Bytes pdu;
  put_tlv(pdu, kInteger, int_content(m.request_id));
  put_tlv(pdu, kInteger, int_content(m.error_status));
  put_tlv(pdu, kInteger, int_content(m.error_index));
  put_tlv(pdu, kSequence, vbl);
  Bytes body;
  put_tlv(body, kInteger, int_content(m.version));
  put_tlv(body, kOctetString, Bytes(m.community.begin(), m.community.end()));
  put_tlv(body, m.pdu_type, pdu);
  Bytes out;
  put_tlv(out, kSequence, body);
  return out;
}

std::optional<Message> decode(const std::uint8_t* data, std::size_t size) {
  if (!data) return std::nullopt;
  Reader top{data, data + size};
  Reader msg{nullptr, nullptr};
  if (!top.expect(kSequence, msg) || top.p != top.end) return std::nullopt;
  Message m;
  if (!msg.integer(m.version) || (m.version != 0 && m.version != 1)) return std::nullopt;
  std::uint8_t tag;
  const std::uint8_t* c;
  std::size_t len;
  if (!msg.tlv(tag, c, len) || tag != kOctetString) return std::nullopt;
  m.community.assign(reinterpret_cast<const char*>(c), len);
  if (!msg.tlv(tag, c, len) || tag < 0xA0 || tag > 0xA8 || msg.p != msg.end) return std::nullopt;
  m.pdu_type = tag;
  Reader pdu{c, c + len};
  if (!pdu.integer(m.request_id) || !pdu.integer(m.error_status) || !pdu.integer(m.error_index))
    return std::nullopt;
  Reader list{nullptr, nullptr};
  if (!pdu.expect(kSequence, list) || pdu.p != pdu.end) return std::nullopt;
  while (list.p != list.end) {
    Reader vb{nullptr, nullptr};
    if (!list.expect(kSequence, vb)) return std::nullopt;
    if (!vb.tlv(tag, c, len) || tag != kObjectId) return std::nullopt;
    auto arcs = decode_oid(c, len);
    if (!arcs) return std::nullopt;
    if (!vb.tlv(tag, c, len) || vb.p != vb.end) return std::nullopt;
    m.varbinds.push_back({*arcs, Value{tag, Bytes(c, c + len)}});
  }
  return m;
}

std::optional<Message> exchange(const std::string& host, std::uint16_t port, const Message& request,
                                int timeout_ms) {
  sockaddr_storage ss{};
  socklen_t slen = 0;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&ss);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&ss);
  if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    slen = sizeof(sockaddr_in);
  } else if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    slen = sizeof(sockaddr_in6);
  } else {
    return std::nullopt;
  }
  int fd = socket(ss.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::nullopt;
  Bytes out = encode(request);
  std::optional<Message> answer;
  if (sendto(fd, out.data(), out.size(), 0, reinterpret_cast<sockaddr*>(&ss), slen) ==
      static_cast<ssize_t>(out.size())) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    std::vector<std::uint8_t> buf(65536);
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) break;
      pollfd p{fd, POLLIN, 0};
      int n = poll(&p, 1, static_cast<int>(left));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      ssize_t got = recv(fd, buf.data(), buf.size(), 0);
      if (got < 0) break;
      auto m = decode(buf.data(), static_cast<std::size_t>(got));
      if (m && m->request_id == request.request_id && m->pdu_type == kResponse) {
        answer = std::move(m);
        break;
      }
    }
  }
  close(fd);
  return answer;
}

}  // namespace morva::test::wire
