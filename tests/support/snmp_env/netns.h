// Network namespaces for tests that need port 161 or broadcasts: the body
// runs in a fresh namespace of its own (lo up, a default route on lo), so
// an agent may listen on 127.0.0.1:161 without colliding with parallel
// tests, and broadcasts (255.255.255.255) or multicasts (ff02::1 over a
// veth pair) stay inside. Nothing leaves the namespace.
//
//   TEST(Discovery, FindsAgents) {
//     MORVA_SKIP_WITHOUT_NETNS();                    // netns_test.h
//     morva::test::run_in_netns([&](morva::test::NetNamespace& ns) {
//       morva::test::SnmpAgentOptions o;
//       o.address = "0.0.0.0";
//       o.port = 161;
//       morva::test::SnmpAgent agent(o);
//       ...                                           // EXPECT_* work here
//     });
//   }
//
// run_in_netns runs the body on a new thread whose network namespace is
// the new one: sockets it opens and processes it starts (snmpd, ip) live
// there. Note that /proc/net shows the main thread's namespace; read
// /proc/thread-self/net inside the body. run_in_netns_process runs the body
// in a forked child instead, for code that caches process-wide state.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace morva::test {

// "" when this process may create network namespaces, else why not
// (not root, no unshare(CLONE_NEWNET), no `ip`).
std::string netns_unavailable_reason();

class NetNamespace {
 public:
  // Runs `ip <args>` inside the namespace; throws std::runtime_error with
  // its output when it fails. Example: ip("addr add 127.0.0.2/8 dev lo").
  void ip(const std::string& args) const;
  // Adds an address ("127.0.0.5/8", "fd00::1/64") to a device (lo by default).
  void add_address(const std::string& cidr, const std::string& dev = "lo") const;
  // Creates a veth pair `a` <-> `b`, both up, IPv6 without duplicate address
  // detection so their link-local addresses work at once (for ff02::1).
  void add_veth_pair(const std::string& a, const std::string& b) const;
  // Interface index of a device in this namespace (0 when unknown), for
  // scoped IPv6 addresses (fe80::..%dev, ff02::1%dev).
  unsigned if_index(const std::string& dev) const;

  // A bridged segment for agents that live in namespaces of their own:
  // bridge kLanBridge with `gateway_cidr` becomes this namespace's default
  // route, so a broadcast to 255.255.255.255 floods to every attached
  // agent (and is still delivered to local listeners). Real snmpd agents
  // cannot share one port, so several of them answering one broadcast
  // each get a namespace (SnmpAgentOptions::lan_address). The bridge also
  // carries IPv6 (`gateway6_cidr` and link-local addresses, no duplicate
  // address detection), so ff02::1 scoped to kLanBridge reaches every
  // attached agent once.
  void add_lan(const std::string& gateway_cidr = "10.77.0.1/24",
               const std::string& gateway6_cidr = "fd77::1/64") const;
  // Connects the network namespace of process `pid` to the segment with
  // address `cidr` and optionally `cidr6` (veth pair; lo up and a default
  // route on its side).
  void attach_to_lan(int pid, const std::string& cidr, const std::string& cidr6 = "") const;

 private:
  void disable_dad(const std::string& nsenter_net) const;
};

inline constexpr const char* kLanBridge = "mlan0";

struct NetnsUnavailable : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Runs `body` on a new thread inside a fresh network namespace and waits
// for it; an exception of the body is rethrown here. Throws
// NetnsUnavailable when namespaces cannot be made (tests skip first with
// MORVA_SKIP_WITHOUT_NETNS).
void run_in_netns(const std::function<void(NetNamespace&)>& body);

// Runs `body` in a forked child inside a fresh network namespace and
// returns its result (the child's exit code; 125 when the namespace could
// not be made, 126 when the body threw).
int run_in_netns_process(const std::function<int(NetNamespace&)>& body);

}  // namespace morva::test
