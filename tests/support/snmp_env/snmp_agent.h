// A real SNMP agent for tests: Debian's snmpd, started for one test or one
// suite in a temporary folder, serving fixture data through the
// pass_persist helper `morva-snmp-fixture`. Never the machine's daemon.
//
//   morva::test::SnmpAgent agent;                       // demo device, 127.0.0.1:<free port>
//   agent.port(); agent.peer();                         // "127.0.0.1:40123"
//   auto r = agent.tool("snmpwalk", {"-v1", "-c", "public", agent.peer(), "1.3.6.1.2.1.43.8"});
//   auto rows = parse_tool_output(r.output);
//
// Options cover what the session, option and reader tests need:
//   - communities "public" (read) and "private" (write); any other is
//     silently ignored by the agent (kWrongCommunity);
//   - SNMPv3 users (standard_snmp_users(): MD5/SHA x DES/AES, auth-only,
//     no-auth) and the system's default user (with_default_user);
//   - max_message_size: answers larger than this come back as tooBig (the
//     request itself must fit, or the agent stays silent);
//   - limited_view: community "limited" sees only these subtrees, so a
//     GETNEXT past the last one ends the view (SNMPv1: noSuchName);
//   - pause()/resume(): SIGSTOP/SIGCONT, the agent stops answering;
//   - fixture / fixture_text: the served data (see fixture_data.h);
//     fixture_text is appended after the base file, so a test overrides or
//     @deletes objects of the demo device there; sets() lists the SETs
//     the fixture accepted;
//   - lan_address (+ lan_address6): a namespace of its own on the bridged
//     segment of NetNamespace::add_lan, so that several real agents answer
//     one broadcast (255.255.255.255, ff02::1), each once.
// Inside a network namespace (netns.h) the agent may listen on port 161.
// The agent is killed when the thread that started it ends, so start it on
// the thread (or in the suite set-up) that outlives its use.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fixture_data.h"
#include "process.h"

namespace morva::test {

struct SnmpUser {
  enum class Auth { kNone, kMD5, kSHA };
  enum class Priv { kNone, kDES, kAES };
  std::string name;
  Auth auth = Auth::kNone;
  std::string auth_pass;
  Priv priv = Priv::kNone;
  std::string priv_pass;

  // "noAuthNoPriv", "authNoPriv" or "authPriv".
  std::string level() const;
  // Arguments of the net-snmp tools for this user ("-v3 -l ... -u ...").
  std::vector<std::string> tool_args() const;
};

// md5des, md5aes, shades, shaaes (authPriv), shaauth, md5auth (authNoPriv),
// noauth (noAuthNoPriv); each pass phrase is "<name>-auth-pass" /
// "<name>-priv-pass".
const std::vector<SnmpUser>& standard_snmp_users();
const SnmpUser& find_snmp_user(const std::string& name);  // throws when unknown
// The built-in default SNMPv3 user of the management library (HMAC-MD5, DES).
SnmpUser default_snmp_user();

inline constexpr const char* kReadCommunity = "public";
inline constexpr const char* kWriteCommunity = "private";
inline constexpr const char* kLimitedCommunity = "limited";
inline constexpr const char* kWrongCommunity = "not-a-community";

// Object subtrees served from the fixture (the agent's own modules for
// them are switched off): system, host resources, Printer MIB, private.
std::vector<std::string> default_served_roots();
// Path of a file in the fixture folder, e.g. fixture_path("demo_device.fixture").
std::string fixture_path(const std::string& name);
// The demo device: a supported model with trays, options, supplies, one job.
std::string demo_device_fixture();

struct SnmpAgentOptions {
  std::string address = "127.0.0.1";  // IPv4 or IPv6 literal; "0.0.0.0" / "::" for every address
  std::uint16_t port = 0;             // 0 = a free port
  std::string read_community = kReadCommunity;
  std::string write_community = kWriteCommunity;
  std::vector<SnmpUser> users = standard_snmp_users();
  bool with_default_user = false;  // also create default_snmp_user()
  std::string fixture = demo_device_fixture();  // base data file; "" = none
  std::string fixture_text;                     // appended after the base file
  std::vector<std::string> served_roots = default_served_roots();
  int max_message_size = 0;                // sendMessageMaxSize; 0 = the agent's default
  std::vector<std::string> limited_view;   // subtrees community "limited" may see
  std::vector<std::string> extra_config;   // further snmpd.conf lines
  // "10.77.0.2/24": run the agent in a network namespace of its own,
  // attached to the segment of NetNamespace::add_lan (call that first,
  // inside run_in_netns), listening on 0.0.0.0 (port 161 unless given).
  std::string lan_address;
  std::string lan_address6;  // with lan_address: also this IPv6 address, listening on [::] too
  // How long the agent may take to answer its first probe; generous, since
  // a machine running many test suites at once can start it slowly.
  int start_timeout_ms = 60000;
};

class SnmpAgent {
 public:
  // Starts the agent and waits until it answers a GET; throws
  // std::runtime_error with the agent's log when it does not come up.
  explicit SnmpAgent(SnmpAgentOptions options = {});
  ~SnmpAgent();
  SnmpAgent(const SnmpAgent&) = delete;
  SnmpAgent& operator=(const SnmpAgent&) = delete;

  void stop();
  void pause();   // SIGSTOP: requests go unanswered
  void resume();  // SIGCONT

  const std::string& address() const { return options_.address; }
  std::uint16_t port() const { return port_; }
  // The address requests go to ("127.0.0.1" also for an agent on 0.0.0.0).
  std::string target_address() const;
  // Peer text for the net-snmp tools: "127.0.0.1:port" or "udp6:[::1]:port".
  std::string peer() const;
  pid_t pid() const { return pid_; }
  const std::string& dir() const { return dir_; }
  const SnmpAgentOptions& options() const { return options_; }
  std::string log() const;  // the agent's own output so far
  // SETs the fixture accepted, oldest first.
  std::vector<FixtureEntry> sets() const;

  // Runs a net-snmp tool (snmpget, snmpwalk, snmpset, ...) with numeric
  // output (-On), no MIB loading and its own persistent folder.
  CommandResult tool(const std::string& program, std::vector<std::string> args, int timeout_ms = 30000) const;

 private:
  void start_once();
  SnmpAgentOptions options_;
  std::string dir_;
  std::uint16_t port_ = 0;
  pid_t pid_ = -1;
};

// One line of numeric net-snmp tool output (".1.3.6 = STRING: \"x\"").
struct ToolLine {
  std::string oid;    // without the leading "."
  std::string type;   // "STRING", "INTEGER", "OID", "Hex-STRING", ... ("" when none)
  std::string value;  // as printed (strings without their quotes)
};
std::vector<ToolLine> parse_tool_output(const std::string& output);

// Empty when snmpd and the net-snmp tools can be run here, else the reason.
std::string snmp_environment_missing();

}  // namespace morva::test
